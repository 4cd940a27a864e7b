// Date: local and UTC fields, every getter and setter, Date.UTC, toString; the calendar arithmetic is DateMath's.
#include "avm1/builtins/Builtins.h"

#include "avm1/DateMath.h"

#include <cmath>

namespace reelfinch::avm1 {

namespace {

enum Field { kYear, kMonth, kDate, kHours, kMinutes, kSeconds, kMilliseconds, kWeekday };

double* FieldOf(DateFields& f, int field)
{
    double* fields[] = { &f.year, &f.month, &f.date, &f.hours, &f.minutes, &f.seconds, &f.milliseconds, &f.weekday };
    return fields[field];
}

Object* DateSelf(const Value& self)
{
    if (self.isObject() && self.asObject()->kind() == ObjectKind::Date)
        return self.asObject();
    return nullptr;
}

double TimeOf(const Value& self)
{
    Object* d = DateSelf(self);
    return d && d->m_Primitive.isNumber() ? d->m_Primitive.asNumber() : NAN;
}

Value DateConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    Object* proto = self.isObject() ? self.asObject()->proto() : m.m_DateProto;
    Object* d = m.heap().make<Object>(proto, ObjectKind::Date);
    double time = NAN;
    if (argc == 0 || (argc == 1 && args[0].isUndefined())) {
        time = now();
    } else if (argc == 1) {
        time = m.toNumber(args[0]);
    } else {
        DateFields f { 0, 0, 1, 0, 0, 0, 0, 0 };
        for (int i = 0; i < argc && i < 7; ++i)
            *FieldOf(f, i) = m.toNumber(args[i]);
        f.year = fullYear(f.year);
        time = makeTime(f, Zone::Local);
    }
    d->m_Primitive = Value(time);
    return Value(d);
}

Value DateCall(Machine& m, const Value&, const Value*, int)
{
    return Value(m.str(toDateString(now())));
}

template <int FieldIndex, Zone Z> Value Get(Machine&, const Value& self, const Value*, int)
{
    if (!DateSelf(self))
        return Value();
    DateFields f = fieldsOf(TimeOf(self), Z);
    return Value(*FieldOf(f, FieldIndex));
}

Value GetYear(Machine&, const Value& self, const Value*, int)
{
    if (!DateSelf(self))
        return Value();
    return Value(fieldsOf(TimeOf(self), Zone::Local).year - 1900);
}

Value GetTime(Machine&, const Value& self, const Value*, int)
{
    return DateSelf(self) ? Value(TimeOf(self)) : Value();
}

Value GetTimezoneOffset(Machine&, const Value& self, const Value*, int)
{
    return DateSelf(self) ? Value(timezoneOffsetMinutes(TimeOf(self))) : Value();
}

Value DateToString(Machine& m, const Value& self, const Value*, int)
{
    if (!DateSelf(self))
        return Value(m.str("[object Object]"));
    return Value(m.str(toDateString(TimeOf(self))));
}

// Setters replace up to `Count` fields from `First` on with their arguments and store the new time.
template <int First, int Count, Zone Z> Value Set(Machine& m, const Value& self, const Value* args, int argc)
{
    Object* d = DateSelf(self);
    if (!d)
        return Value();
    double time = TimeOf(self);
    if (std::isnan(time) && First == kYear)
        time = 0; // a year set on an invalid date starts from the epoch
    DateFields f = fieldsOf(time, Z);
    if (argc == 0) {
        d->m_Primitive = Value(NAN);
        return Value(NAN);
    }
    for (int i = 0; i < argc && i < Count; ++i)
        *FieldOf(f, First + i) = m.toNumber(args[i]);
    const double result = makeTime(f, Z);
    d->m_Primitive = Value(result);
    return Value(result);
}

Value SetYear(Machine& m, const Value& self, const Value* args, int argc)
{
    Object* d = DateSelf(self);
    if (!d || argc == 0)
        return Value();
    double time = TimeOf(self);
    DateFields f = fieldsOf(std::isnan(time) ? 0 : time, Zone::Local);
    f.year = fullYear(m.toNumber(args[0]));
    const double result = makeTime(f, Zone::Local);
    d->m_Primitive = Value(result);
    return Value(result);
}

Value SetTime(Machine& m, const Value& self, const Value* args, int argc)
{
    Object* d = DateSelf(self);
    if (!d)
        return Value();
    double t = argc > 0 ? m.toNumber(args[0]) : NAN;
    if (!std::isfinite(t) || std::fabs(t) > 8.64e15)
        t = NAN;
    else
        t = std::trunc(t);
    d->m_Primitive = Value(t);
    return Value(t);
}

Value DateUTC(Machine& m, const Value&, const Value* args, int argc)
{
    double v[7] = { NAN, NAN, 1, 0, 0, 0, 0 };
    for (int i = 0; i < argc && i < 7; ++i)
        v[i] = m.toNumber(args[i]);
    return Value(utcTime(v[0], v[1], v[2], v[3], v[4], v[5], v[6]));
}

} // namespace

void InstallDateClass(Machine& m)
{
    Object* proto = m.m_DateProto;
    FunctionObject* ctor = DefineClass(m, "Date", DateCall, DateConstruct, proto);
    DefineMethods(m, proto,
        {
            { "getFullYear", Get<kYear, Zone::Local> },
            { "getYear", GetYear },
            { "getMonth", Get<kMonth, Zone::Local> },
            { "getDate", Get<kDate, Zone::Local> },
            { "getDay", Get<kWeekday, Zone::Local> },
            { "getHours", Get<kHours, Zone::Local> },
            { "getMinutes", Get<kMinutes, Zone::Local> },
            { "getSeconds", Get<kSeconds, Zone::Local> },
            { "getMilliseconds", Get<kMilliseconds, Zone::Local> },
            { "getUTCFullYear", Get<kYear, Zone::Utc> },
            { "getUTCMonth", Get<kMonth, Zone::Utc> },
            { "getUTCDate", Get<kDate, Zone::Utc> },
            { "getUTCDay", Get<kWeekday, Zone::Utc> },
            { "getUTCHours", Get<kHours, Zone::Utc> },
            { "getUTCMinutes", Get<kMinutes, Zone::Utc> },
            { "getUTCSeconds", Get<kSeconds, Zone::Utc> },
            { "getUTCMilliseconds", Get<kMilliseconds, Zone::Utc> },
            { "getTime", GetTime },
            { "valueOf", GetTime },
            { "getTimezoneOffset", GetTimezoneOffset },
            { "toString", DateToString },
            { "setFullYear", Set<kYear, 3, Zone::Local> },
            { "setYear", SetYear },
            { "setMonth", Set<kMonth, 2, Zone::Local> },
            { "setDate", Set<kDate, 1, Zone::Local> },
            { "setHours", Set<kHours, 4, Zone::Local> },
            { "setMinutes", Set<kMinutes, 3, Zone::Local> },
            { "setSeconds", Set<kSeconds, 2, Zone::Local> },
            { "setMilliseconds", Set<kMilliseconds, 1, Zone::Local> },
            { "setUTCFullYear", Set<kYear, 3, Zone::Utc> },
            { "setUTCMonth", Set<kMonth, 2, Zone::Utc> },
            { "setUTCDate", Set<kDate, 1, Zone::Utc> },
            { "setUTCHours", Set<kHours, 4, Zone::Utc> },
            { "setUTCMinutes", Set<kMinutes, 3, Zone::Utc> },
            { "setUTCSeconds", Set<kSeconds, 2, Zone::Utc> },
            { "setUTCMilliseconds", Set<kMilliseconds, 1, Zone::Utc> },
            { "setTime", SetTime },
        });
    DefineMethods(m, ctor, { { "UTC", DateUTC } });
}

} // namespace reelfinch::avm1
