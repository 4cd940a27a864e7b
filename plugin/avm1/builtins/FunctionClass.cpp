// Function: call and apply.
#include "avm1/builtins/Builtins.h"

namespace reelfinch::avm1 {

namespace {

// A missing `this` for call and apply is the global object.
Value ThisArgument(Machine& m, const Value* args, int argc)
{
    Value v = Arg(args, argc, 0);
    return v.isNullish() ? Value(m.m_Global) : v;
}

Value FunctionCall(Machine& m, const Value& self, const Value* args, int argc)
{
    Value thisValue = ThisArgument(m, args, argc);
    return m.call(self, thisValue, argc > 1 ? args + 1 : nullptr, argc > 1 ? argc - 1 : 0);
}

Value FunctionApply(Machine& m, const Value& self, const Value* args, int argc)
{
    Value thisValue = ThisArgument(m, args, argc);
    std::vector<Value> list;
    Value array = Arg(args, argc, 1);
    if (array.isObject()) {
        if (array.asObject()->kind() == ObjectKind::Array) {
            list = static_cast<ArrayObject*>(array.asObject())->m_Items;
        } else {
            const double n = m.toNumber(m.getMember(array, "length"));
            for (int i = 0; i < n && i < 65536; ++i)
                list.push_back(m.getMember(array, std::to_string(i)));
        }
    }
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.insert(m.m_Temporaries.end(), list.begin(), list.end());
    Value r = m.call(self, thisValue, list.data(), int(list.size()));
    m.m_Temporaries.resize(mark);
    return r;
}

// Function makes no function (scripts cannot make code from text): `new Function()` gives the plain object `new`
// made; `Function(x)` gives x back, and `Function()` a plain object whose prototype is Function's.
Value FunctionConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (m.constructing() && self.isObject())
        return self;
    if (argc > 0)
        return args[0];
    return Value(m.newObject(m.m_FunctionProto));
}

} // namespace

void InstallFunctionClass(Machine& m)
{
    Object* proto = m.m_FunctionProto;
    DefineClass(m, "Function", FunctionConstruct, FunctionConstruct, proto);
    DefineMethods(m, proto,
        {
            { "call", FunctionCall, kDontEnum | kOnlySwf6 },
            { "apply", FunctionApply, kDontEnum | kOnlySwf6 },
        });
}

} // namespace reelfinch::avm1
