// Error: message, name and toString.
#include "avm1/builtins/Builtins.h"

namespace reelfinch::avm1 {

namespace {

Value ErrorConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (self.isObject() && argc > 0 && !args[0].isUndefined())
        m.setProperty(self.asObject(), "message", args[0]);
    return self;
}

Value ErrorCall(Machine& m, const Value&, const Value* args, int argc)
{
    Object* o = m.newObject(m.m_ErrorProto);
    return ErrorConstruct(m, Value(o), args, argc);
}

Value ErrorToString(Machine& m, const Value& self, const Value*, int)
{
    return Value(m.toStringValue(m.getMember(self, "message")));
}

} // namespace

void InstallErrorClass(Machine& m)
{
    Object* proto = m.m_ErrorProto;
    DefineClass(m, "Error", ErrorCall, nullptr, proto);
    // The constructor works on the new object itself.
    Value ctor = m.getMember(Value(m.m_Global), "Error");
    static_cast<FunctionObject*>(ctor.asObject())->m_Native = ErrorConstruct;
    m.define(proto, "message", Value(m.str("Error")));
    m.define(proto, "name", Value(m.str("Error")));
    DefineMethods(m, proto, { { "toString", ErrorToString } });
}

} // namespace reelfinch::avm1
