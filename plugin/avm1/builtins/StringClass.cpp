// String: every method on the string's UTF-16 units, and String.fromCharCode.
#include "avm1/builtins/Builtins.h"

#include "avm1/TextCodec.h"

#include <algorithm>
#include <cmath>

namespace reelfinch::avm1 {

namespace {

std::u16string Units(Machine& m, const Value& self)
{
    if (self.isObject() && self.asObject()->kind() == ObjectKind::String)
        return Utf8ToUtf16(m.toString(self.asObject()->m_Primitive));
    return Utf8ToUtf16(m.toString(self));
}

Value Text(Machine& m, std::u16string_view units)
{
    if (units.empty())
        return Value(m.emptyString());
    return Value(m.str(Utf16ToUtf8(units)));
}

// Indexes and counts are 32-bit integers (4294967297 is 1).
double Integer(Machine& m, const Value& v)
{
    return double(ToInt32(m.toNumber(v)));
}

Value StringCall(Machine& m, const Value&, const Value* args, int argc)
{
    return argc > 0 ? Value(m.toStringValue(args[0])) : Value(m.emptyString());
}

Value StringConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    Object* boxed = m.heap().make<Object>(self.isObject() ? self.asObject()->proto() : m.m_StringProto,
        ObjectKind::String);
    boxed->m_Primitive = argc > 0 ? Value(m.toStringValue(args[0])) : Value(m.emptyString());
    return Value(boxed);
}

Value StringToString(Machine& m, const Value& self, const Value*, int)
{
    if (self.isObject() && self.asObject()->kind() == ObjectKind::String)
        return self.asObject()->m_Primitive;
    if (self.isString())
        return self;
    return Value(m.toStringValue(self));
}

Value CharAt(Machine& m, const Value& self, const Value* args, int argc)
{
    const std::u16string s = Units(m, self);
    const double i = Integer(m, Arg(args, argc, 0));
    if (i < 0 || i >= double(s.size()))
        return Value(m.emptyString());
    return Text(m, std::u16string_view(s).substr(size_t(i), 1));
}

Value CharCodeAt(Machine& m, const Value& self, const Value* args, int argc)
{
    const std::u16string s = Units(m, self);
    const double i = Integer(m, Arg(args, argc, 0));
    if (i < 0)
        return Value(NAN);
    if (i >= double(s.size()))
        return Value(m.version() >= 6 ? NAN : 0.0); // SWF 5 reads past the end as a 0 unit
    return Value(double(s[size_t(i)]));
}

Value Concat(Machine& m, const Value& self, const Value* args, int argc)
{
    std::string out = m.toString(self.isObject() && self.asObject()->kind() == ObjectKind::String
            ? self.asObject()->m_Primitive
            : self);
    for (int i = 0; i < argc; ++i)
        out += m.toString(args[i]);
    return Value(m.str(std::move(out)));
}

Value IndexOf(Machine& m, const Value& self, const Value* args, int argc)
{
    const std::u16string s = Units(m, self);
    if (argc < 1)
        return Value();
    const std::u16string needle = Utf8ToUtf16(m.toString(args[0]));
    double from = argc > 1 ? Integer(m, args[1]) : 0;
    if (from < 0)
        from = 0;
    if (from > double(s.size()))
        return Value(-1.0);
    const size_t at = s.find(needle, size_t(from));
    return Value(at == std::u16string::npos ? -1.0 : double(at));
}

Value LastIndexOf(Machine& m, const Value& self, const Value* args, int argc)
{
    const std::u16string s = Units(m, self);
    if (argc < 1)
        return Value();
    const std::u16string needle = Utf8ToUtf16(m.toString(args[0]));
    size_t from = std::u16string::npos;
    if (argc > 1 && !args[1].isUndefined()) {
        const double n = Integer(m, args[1]);
        if (n < 0)
            return Value(-1.0);
        from = size_t(std::min(n, double(s.size())));
    }
    const size_t at = s.rfind(needle, from);
    return Value(at == std::u16string::npos ? -1.0 : double(at));
}

Value Slice(Machine& m, const Value& self, const Value* args, int argc)
{
    const std::u16string s = Units(m, self);
    const double length = double(s.size());
    auto clamp = [&](const Value& v, double fallback) {
        if (v.isUndefined())
            return fallback;
        double n = Integer(m, v);
        if (n < 0)
            n = std::max(0.0, length + n);
        return std::min(n, length);
    };
    const double from = clamp(Arg(args, argc, 0), 0);
    const double to = clamp(Arg(args, argc, 1), length);
    if (argc == 0)
        return Value();
    if (to <= from)
        return Value(m.emptyString());
    return Text(m, std::u16string_view(s).substr(size_t(from), size_t(to - from)));
}

Value Substring(Machine& m, const Value& self, const Value* args, int argc)
{
    if (argc == 0)
        return Value();
    const std::u16string s = Units(m, self);
    const double length = double(s.size());
    double from = std::clamp(Integer(m, Arg(args, argc, 0)), 0.0, length);
    double to = argc > 1 && !args[1].isUndefined() ? std::clamp(Integer(m, args[1]), 0.0, length) : length;
    if (from > to)
        std::swap(from, to);
    return Text(m, std::u16string_view(s).substr(size_t(from), size_t(to - from)));
}

Value Substr(Machine& m, const Value& self, const Value* args, int argc)
{
    if (argc == 0)
        return Value();
    const std::u16string s = Units(m, self);
    const double length = double(s.size());
    double from = Integer(m, Arg(args, argc, 0));
    if (from < 0)
        from = std::max(0.0, length + from);
    from = std::min(from, length);
    double count = argc > 1 && !args[1].isUndefined() ? Integer(m, args[1]) : length - from;
    if (count < 0) {
        // A negative count is counted back from the length; one reaching the end gives nothing.
        count += length;
        if (count < 0 || from + count >= length)
            count = 0;
    }
    count = std::min(count, length - from);
    return Text(m, std::u16string_view(s).substr(size_t(from), size_t(count)));
}

Value Split(Machine& m, const Value& self, const Value* args, int argc)
{
    const std::u16string s = Units(m, self);
    ArrayObject* a = m.newArray();
    double limit = 4294967295.0;
    if (argc > 1 && !args[1].isUndefined())
        limit = Integer(m, args[1]);
    // SWF 5 splits at commas without a separator, and not at all at an empty one.
    const bool swf5 = m.version() < 6;
    if (!swf5 && (argc < 1 || args[0].isUndefined())) {
        a->m_Items.push_back(Text(m, s));
        return Value(static_cast<Object*>(a));
    }
    const std::u16string separator
        = swf5 && (argc < 1 || args[0].isUndefined()) ? u"," : Utf8ToUtf16(m.toString(args[0]));
    if (separator.empty()) {
        if (swf5) {
            if (limit > 0)
                a->m_Items.push_back(Text(m, s));
            return Value(static_cast<Object*>(a));
        }
        for (size_t i = 0; i < s.size() && double(a->m_Items.size()) < limit; ++i)
            a->m_Items.push_back(Text(m, std::u16string_view(s).substr(i, 1)));
        return Value(static_cast<Object*>(a));
    }
    if (s.empty()) {
        if (m.version() < 7 || true)
            a->m_Items.push_back(Value(m.emptyString()));
        return Value(static_cast<Object*>(a));
    }
    size_t pos = 0;
    while (double(a->m_Items.size()) < limit) {
        const size_t at = s.find(separator, pos);
        if (at == std::u16string::npos) {
            a->m_Items.push_back(Text(m, std::u16string_view(s).substr(pos)));
            break;
        }
        a->m_Items.push_back(Text(m, std::u16string_view(s).substr(pos, at - pos)));
        pos = at + separator.size();
    }
    return Value(static_cast<Object*>(a));
}

Value ToLowerCase(Machine& m, const Value& self, const Value*, int)
{
    std::u16string s = Units(m, self);
    for (char16_t& c : s)
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
            c = char16_t(c + 32);
    return Text(m, s);
}

Value ToUpperCase(Machine& m, const Value& self, const Value*, int)
{
    std::u16string s = Units(m, self);
    for (char16_t& c : s)
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            c = char16_t(c - 32);
    return Text(m, s);
}

Value FromCharCode(Machine& m, const Value&, const Value* args, int argc)
{
    std::vector<uint32_t> codes;
    for (int i = 0; i < argc; ++i)
        codes.push_back(ToUint32(m.toNumber(args[i])));
    return Value(m.str(stringFromCharCodes(codes.data(), codes.size(), m.version())));
}

} // namespace

void InstallStringClass(Machine& m)
{
    Object* proto = m.m_StringProto;
    FunctionObject* ctor = DefineClass(m, "String", StringCall, StringConstruct, proto);
    DefineMethods(m, proto,
        {
            { "toString", StringToString },
            { "valueOf", StringToString },
            { "charAt", CharAt },
            { "charCodeAt", CharCodeAt },
            { "concat", Concat },
            { "indexOf", IndexOf },
            { "lastIndexOf", LastIndexOf },
            { "slice", Slice },
            { "substring", Substring },
            { "substr", Substr },
            { "split", Split },
            { "toLowerCase", ToLowerCase },
            { "toUpperCase", ToUpperCase },
        });
    DefineMethods(m, ctor, { { "fromCharCode", FromCharCode } });
}

} // namespace reelfinch::avm1
