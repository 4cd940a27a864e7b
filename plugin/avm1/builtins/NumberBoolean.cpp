// Number and Boolean: their constructors, toString/valueOf and the Number constants.
#include "avm1/builtins/Builtins.h"

#include "avm1/NumberText.h"

#include <cfloat>
#include <cmath>

namespace reelfinch::avm1 {

namespace {

Value Primitive(const Value& self, ObjectKind kind)
{
    if (self.isObject() && self.asObject()->kind() == kind)
        return self.asObject()->m_Primitive;
    return self;
}

Value NumberCall(Machine& m, const Value&, const Value* args, int argc)
{
    return Value(argc > 0 ? m.toNumber(args[0]) : 0.0);
}

Value NumberConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (self.isObject()) {
        self.asObject()->m_Primitive = Value(argc > 0 ? m.toNumber(args[0]) : 0.0);
        // The constructed object answers as a Number from now on.
        Object* o = self.asObject();
        Object* boxed = m.heap().make<Object>(o->proto(), ObjectKind::Number);
        boxed->m_Primitive = o->m_Primitive;
        for (const auto& p : o->props().entries())
            if (!p.removed)
                boxed->setOwn(p.name, p.value, m.caseSensitive(), p.flags);
        return Value(boxed);
    }
    return Value();
}

Value NumberToString(Machine& m, const Value& self, const Value* args, int argc)
{
    Value v = Primitive(self, ObjectKind::Number);
    if (!v.isNumber())
        return Value(m.str("[object Object]"));
    int radix = 10;
    if (argc > 0 && !args[0].isUndefined()) {
        const double r = m.toNumber(args[0]);
        radix = std::isfinite(r) ? int(r) : 10;
        if (radix < 2 || radix > 36)
            radix = 10;
    }
    return Value(m.str(numberToString(v.asNumber(), radix)));
}

Value NumberValueOf(Machine&, const Value& self, const Value*, int)
{
    return Primitive(self, ObjectKind::Number);
}

Value BooleanCall(Machine& m, const Value&, const Value* args, int argc)
{
    // Called without an argument, Boolean gives undefined (Number gives 0).
    if (argc < 1)
        return Value();
    return Value(m.toBoolean(args[0]));
}

Value BooleanConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (self.isObject()) {
        Object* boxed = m.heap().make<Object>(self.asObject()->proto(), ObjectKind::Boolean);
        boxed->m_Primitive = Value(argc > 0 && m.toBoolean(args[0]));
        return Value(boxed);
    }
    return Value();
}

Value BooleanToString(Machine& m, const Value& self, const Value*, int)
{
    Value v = Primitive(self, ObjectKind::Boolean);
    if (!v.isBool())
        return Value(m.str("[object Object]"));
    return Value(m.str(v.asBool() ? "true" : "false"));
}

Value BooleanValueOf(Machine&, const Value& self, const Value*, int)
{
    return Primitive(self, ObjectKind::Boolean);
}

} // namespace

void InstallNumberBooleanClasses(Machine& m)
{
    FunctionObject* number = DefineClass(m, "Number", NumberCall, NumberConstruct, m.m_NumberProto);
    DefineMethods(m, m.m_NumberProto, { { "toString", NumberToString }, { "valueOf", NumberValueOf } });
    const uint16_t constant = kDontEnum | kDontDelete | kReadOnly;
    m.define(number, "MAX_VALUE", Value(DBL_MAX), constant);
    m.define(number, "MIN_VALUE", Value(4.9406564584124654e-324), constant);
    m.define(number, "NaN", Value(NAN), constant);
    m.define(number, "NEGATIVE_INFINITY", Value(-INFINITY), constant);
    m.define(number, "POSITIVE_INFINITY", Value(INFINITY), constant);

    DefineClass(m, "Boolean", BooleanCall, BooleanConstruct, m.m_BooleanProto);
    DefineMethods(m, m.m_BooleanProto, { { "toString", BooleanToString }, { "valueOf", BooleanValueOf } });
}

} // namespace reelfinch::avm1
