// Global functions: parseInt, parseFloat, isNaN, isFinite, escape, unescape, getTimer, the interval and timeout
// timers, ASSetPropFlags, updateAfterEvent, and the global constants.
#include "avm1/builtins/Builtins.h"

#include "avm1/NumberText.h"

#include <cmath>
#include <iterator>
#include <strings.h>

namespace reelfinch::avm1 {

namespace {

Value ParseInt(Machine& m, const Value&, const Value* args, int argc)
{
    if (argc < 1)
        return Value();
    std::optional<int> radix;
    // A radix given, even undefined, must convert to 2..36.
    if (argc > 1) {
        const double r = m.toNumber(args[1]);
        radix = std::isfinite(r) ? int(r) : 0;
    }
    return Value(parseInt(m.toString(args[0]), radix, m.version()));
}

Value ParseFloat(Machine& m, const Value&, const Value* args, int argc)
{
    if (argc < 1)
        return Value();
    return Value(parseFloat(m.toString(args[0])));
}

Value IsNaN(Machine& m, const Value&, const Value* args, int argc)
{
    return Value(std::isnan(argc > 0 ? m.toNumber(args[0]) : NAN));
}

Value IsFinite(Machine& m, const Value&, const Value* args, int argc)
{
    return Value(argc > 0 && std::isfinite(m.toNumber(args[0])));
}

Value Escape(Machine& m, const Value&, const Value* args, int argc)
{
    if (argc < 1)
        return Value();
    return Value(m.str(escape(m.toString(args[0]))));
}

Value Unescape(Machine& m, const Value&, const Value* args, int argc)
{
    if (argc < 1)
        return Value();
    return Value(m.str(unescape(m.toString(args[0]))));
}

Value GetTimer(Machine& m, const Value&, const Value*, int)
{
    return Value(std::floor(m.now()));
}

// setInterval(function, ms, args...) or setInterval(object, "method", ms, args...).
Value AddTimer(Machine& m, const Value* args, int argc, bool repeat)
{
    Timer t;
    t.repeat = repeat;
    int next = 0;
    if (argc >= 2 && args[0].isObject() && args[0].asObject()->isFunction()) {
        t.function = args[0];
        next = 1;
    } else if (argc >= 3 && args[0].isObject()) {
        t.object = args[0];
        t.method = m.toString(args[1]);
        next = 2;
    } else {
        return Value();
    }
    if (next >= argc || args[next].isUndefined())
        return Value();
    const double interval = m.toNumber(args[next]);
    t.interval = std::isfinite(interval) ? std::max(interval, 0.0) : 0.0;
    t.args.assign(args + next + 1, args + argc);
    return Value(double(m.addTimer(std::move(t))));
}

Value SetInterval(Machine& m, const Value&, const Value* args, int argc)
{
    return AddTimer(m, args, argc, true);
}

Value SetTimeout(Machine& m, const Value&, const Value* args, int argc)
{
    return AddTimer(m, args, argc, false);
}

Value ClearTimer(Machine& m, const Value&, const Value* args, int argc)
{
    if (argc > 0)
        m.clearTimer(m.toInt32(args[0]));
    return Value();
}

// Math's numbered natives (table 200) in the player's order.
constexpr const char* kMathNatives[] = { "abs", "min", "max", "sin", "cos", "atan2", "tan", "exp", "log", "sqrt",
    "round", "random", "floor", "ceil", "atan", "asin", "acos", "pow" };

// A number in Math's table past its functions: its two operands are still converted, and it gives NaN.
Value NoMathNative(Machine& m, const Value&, const Value* args, int argc)
{
    for (int i = 0; i < argc && i < 2 && !m.unwinding(); ++i)
        m.toNumber(args[i]);
    return Value(NAN);
}

// The player's numbered native functions: table 200 is Math's, table 103 Date's methods (256 its constructor).
constexpr const char* kDateNatives[] = { "getFullYear", "getYear", "getMonth", "getDate", "getDay", "getHours",
    "getMinutes", "getSeconds", "getMilliseconds", "setFullYear", "setMonth", "setDate", "setHours", "setMinutes",
    "setSeconds", "setMilliseconds", "getTime", "setTime", "getTimezoneOffset", "toString", "setYear" };

Value OwnValue(Machine& m, const Object* o, const char* name)
{
    const Property* p = o ? o->props().find(name, m.caseSensitive()) : nullptr;
    return p && !(p->flags & kAccessor) ? p->value : Value();
}

// The native function numbered (table, index), or undefined for a number the player has no function for.
Value NativeFunctionAt(Machine& m, double table, double index)
{
    if (!(index >= 0) || index != std::floor(index) || index > 65535)
        return Value();
    if (table == 200) {
        if (index < double(std::size(kMathNatives))) {
            const Value math = OwnValue(m, m.m_Global, "Math");
            return math.isObject() ? OwnValue(m, math.asObject(), kMathNatives[size_t(index)]) : Value();
        }
        return Value(static_cast<Object*>(m.newNative(NoMathNative)));
    }
    if (table == 103) {
        if (index < double(std::size(kDateNatives)))
            return OwnValue(m, m.m_DateProto, kDateNatives[size_t(index)]);
        if (index == 256)
            return OwnValue(m, m.m_DateProto, "constructor");
    }
    return Value();
}

// ASnative(table, index): one of the player's numbered native functions.
Value ASnative(Machine& m, const Value&, const Value* args, int argc)
{
    if (argc < 2)
        return Value();
    const double table = m.toNumber(args[0]);
    const double index = m.toNumber(args[1]);
    if (m.unwinding())
        return Value();
    return NativeFunctionAt(m, table, index);
}

// One name of an ASSetNative list: a leading "6".."9" or "10" makes the property visible only from that SWF
// version on, and a leading "1" is dropped; other digits stay part of the name.
std::pair<std::string, uint16_t> NativeName(const std::string& item)
{
    if (item.size() > 1 && item[0] == '1' && item[1] == '0')
        return { item.substr(2), kOnlySwf10 };
    switch (item.empty() ? 0 : item[0]) {
    case '1':
        return { item.substr(1), 0 };
    case '6':
        return { item.substr(1), kOnlySwf6 };
    case '7':
        return { item.substr(1), kOnlySwf7 };
    case '8':
        return { item.substr(1), kOnlySwf8 };
    case '9':
        return { item.substr(1), kOnlySwf9 };
    default:
        return { item, 0 };
    }
}

// ASSetNative(object, table, "names", first) and ASSetNativeAccessor: each name of the comma list takes the next
// native number (an empty name uses one up). ASSetNative writes the function into the property, new properties
// carrying the name's version flag; ASSetNativeAccessor makes each a getter/setter pair of two numbers.
Value SetNatives(Machine& m, const Value* args, int argc, bool accessors)
{
    if (argc < 3 || !args[0].isObject())
        return Value();
    Object* o = args[0].asObject();
    const double table = m.toNumber(args[1]);
    const std::string list = m.toString(args[2]);
    const double first = argc > 3 ? double(m.toInt32(args[3])) : 0;
    if (m.unwinding())
        return Value();
    double index = first;
    size_t pos = 0;
    while (pos < list.size()) {
        size_t comma = list.find(',', pos);
        if (comma == std::string::npos)
            comma = list.size();
        const auto [name, version] = NativeName(list.substr(pos, comma - pos));
        pos = comma + 1;
        const double number = index;
        index += accessors ? 2 : 1;
        if (name.empty())
            continue;
        Property* p = o->props().find(name, m.caseSensitive());
        if (accessors) {
            const Value getter = NativeFunctionAt(m, table, number);
            const Value setter = NativeFunctionAt(m, table, number + 1);
            if (!p)
                p = &o->props().add(name, m.caseSensitive());
            p->value = getter;
            p->setter = setter;
            p->stored = Value();
            p->flags = uint16_t(kAccessor | version);
        } else if (p) {
            p->value = NativeFunctionAt(m, table, number);
            p->setter = Value();
            p->flags &= uint16_t(~kAccessor);
        } else {
            p = &o->props().add(name, m.caseSensitive());
            p->value = NativeFunctionAt(m, table, number);
            p->flags = version;
        }
    }
    return Value();
}

Value ASSetNative(Machine& m, const Value&, const Value* args, int argc)
{
    return SetNatives(m, args, argc, false);
}

Value ASSetNativeAccessor(Machine& m, const Value&, const Value* args, int argc)
{
    return SetNatives(m, args, argc, true);
}

// ASSetPropFlags(object, names, set, clear): names as an array, a comma list, or null for every property.
Value ASSetPropFlags(Machine& m, const Value&, const Value* args, int argc)
{
    if (argc < 3 || !args[0].isObject())
        return Value();
    Object* o = args[0].asObject();
    const uint16_t set = uint16_t(m.toInt32(args[2]));
    const uint16_t clear = argc > 3 ? uint16_t(m.toInt32(args[3])) : 0;
    auto apply = [&](Property& p) {
        const uint16_t keep = p.flags & kAccessor;
        p.flags = uint16_t(((p.flags & ~clear) | set) & ~kAccessor) | keep;
    };
    // An array's elements keep the attributes that concern them.
    auto* array = o->kind() == ObjectKind::Array ? static_cast<ArrayObject*>(o) : nullptr;
    auto applyItem = [&](size_t i) {
        constexpr uint16_t kItemFlags = kDontEnum | kDontDelete | kReadOnly;
        if (array && i < array->m_Items.size() && !array->hole(i))
            array->setItemFlags(i, uint16_t(((array->itemFlags(i) & ~clear) | set) & kItemFlags));
    };
    // __proto__ is a member like the others, though the link itself is kept apart from the table.
    auto applyProto = [&] {
        constexpr uint16_t kProtoFlags = kDontEnum | kDontDelete | kReadOnly;
        const uint16_t keep = o->m_ProtoFlags & kAccessor;
        o->m_ProtoFlags = uint16_t((((o->m_ProtoFlags & ~clear) | set) & kProtoFlags) | keep);
    };
    std::vector<std::string> names;
    if (args[1].isNull()) {
        applyProto();
        for (Property& p : o->props().entries())
            if (!p.removed)
                apply(p);
        for (size_t i = 0; array && i < array->m_Items.size(); ++i)
            applyItem(i);
        return Value();
    }
    if (args[1].isObject() && args[1].asObject()->kind() == ObjectKind::Array) {
        for (const Value& v : static_cast<ArrayObject*>(args[1].asObject())->m_Items)
            names.push_back(m.toString(v));
    } else {
        const std::string list = m.toString(args[1]);
        size_t pos = 0;
        while (pos <= list.size()) {
            size_t comma = list.find(',', pos);
            if (comma == std::string::npos)
                comma = list.size();
            names.push_back(list.substr(pos, comma - pos));
            pos = comma + 1;
        }
    }
    for (const std::string& name : names) {
        if (name.size() == 9
            && (m.caseSensitive() ? name == "__proto__" : strncasecmp(name.c_str(), "__proto__", 9) == 0))
            applyProto();
        else if (Property* p = o->props().find(name, m.caseSensitive()))
            apply(*p);
        else if (const long i = ArrayIndex(name); i >= 0)
            applyItem(size_t(i));
    }
    return Value();
}


} // namespace

void InstallGlobals(Machine& m)
{
    Object* g = m.m_Global;
    DefineMethods(m, g,
        {
            { "parseInt", ParseInt },
            { "parseFloat", ParseFloat },
            { "isNaN", IsNaN },
            { "isFinite", IsFinite },
            { "escape", Escape },
            { "unescape", Unescape },
            { "getTimer", GetTimer },
            { "setInterval", SetInterval },
            { "clearInterval", ClearTimer },
            { "setTimeout", SetTimeout, kDontEnum | kOnlySwf8 },
            { "clearTimeout", ClearTimer, kDontEnum | kOnlySwf8 },
            { "ASSetPropFlags", ASSetPropFlags },
            { "ASnative", ASnative },
            { "ASSetNative", ASSetNative },
            { "ASSetNativeAccessor", ASSetNativeAccessor },
            { "updateAfterEvent", Nothing },
        });
    m.define(g, "NaN", Value(NAN));
    m.define(g, "Infinity", Value(INFINITY));
    // The player's own start-up script leaves its working variable behind as null.
    m.define(g, "o", Value::null());
}

} // namespace reelfinch::avm1
