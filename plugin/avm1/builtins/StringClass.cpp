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
        appendJoined(out, m.toString(args[i]));
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

// The player's case tables: runs of code units from `first` to `last` (every `step`th) that map by adding
// `delta`. They cover Latin, Greek, Cyrillic, Armenian, Georgian, the Latin and Greek extensions, Roman numerals,
// circled and full-width letters, with the player's own choices (dotted I lowers to "i", U+03A2 pairs with the
// final sigma).
struct CaseRange {
    char16_t first;
    char16_t last;
    int step;
    int delta;
};

constexpr CaseRange kToLower[] = {
    {0x0041, 0x005A, 1, 32}, {0x00C0, 0x00D6, 1, 32}, {0x00D8, 0x00DE, 1, 32}, {0x0100, 0x012E, 2, 1},
    {0x0130, 0x0130, 1, -199}, {0x0132, 0x0136, 2, 1}, {0x0139, 0x0147, 2, 1}, {0x014A, 0x0176, 2, 1},
    {0x0178, 0x0178, 1, -121}, {0x0179, 0x017D, 2, 1}, {0x0181, 0x0181, 1, 210}, {0x0182, 0x0184, 2, 1},
    {0x0186, 0x0186, 1, 206}, {0x0187, 0x0187, 1, 1}, {0x0189, 0x018A, 1, 205}, {0x018B, 0x018B, 1, 1},
    {0x018E, 0x018E, 1, 79}, {0x018F, 0x018F, 1, 202}, {0x0190, 0x0190, 1, 203}, {0x0191, 0x0191, 1, 1},
    {0x0193, 0x0193, 1, 205}, {0x0194, 0x0194, 1, 207}, {0x0196, 0x0196, 1, 211}, {0x0197, 0x0197, 1, 209},
    {0x0198, 0x0198, 1, 1}, {0x019C, 0x019C, 1, 211}, {0x019D, 0x019D, 1, 213}, {0x019F, 0x019F, 1, 214},
    {0x01A0, 0x01A4, 2, 1}, {0x01A6, 0x01A6, 1, 218}, {0x01A7, 0x01A7, 1, 1}, {0x01A9, 0x01A9, 1, 218},
    {0x01AC, 0x01AC, 1, 1}, {0x01AE, 0x01AE, 1, 218}, {0x01AF, 0x01AF, 1, 1}, {0x01B1, 0x01B2, 1, 217},
    {0x01B3, 0x01B5, 2, 1}, {0x01B7, 0x01B7, 1, 219}, {0x01B8, 0x01B8, 1, 1}, {0x01BC, 0x01BC, 1, 1},
    {0x01C4, 0x01C4, 1, 2}, {0x01C5, 0x01C5, 1, 1}, {0x01C7, 0x01C7, 1, 2}, {0x01C8, 0x01C8, 1, 1},
    {0x01CA, 0x01CA, 1, 2}, {0x01CB, 0x01DB, 2, 1}, {0x01DE, 0x01EE, 2, 1}, {0x01F1, 0x01F1, 1, 2},
    {0x01F2, 0x01F4, 2, 1}, {0x01F6, 0x01F6, 1, -97}, {0x01F7, 0x01F7, 1, -56}, {0x01F8, 0x021E, 2, 1},
    {0x0222, 0x0232, 2, 1}, {0x0386, 0x0386, 1, 38}, {0x0388, 0x038A, 1, 37}, {0x038C, 0x038C, 1, 64},
    {0x038E, 0x038F, 1, 63}, {0x0391, 0x03AB, 1, 32}, {0x03D8, 0x03EE, 2, 1}, {0x03F4, 0x03F4, 1, -60},
    {0x0400, 0x040F, 1, 80}, {0x0410, 0x042F, 1, 32}, {0x0460, 0x0480, 2, 1}, {0x048A, 0x04BE, 2, 1},
    {0x04C1, 0x04C3, 2, 1}, {0x04C7, 0x04C7, 1, 1}, {0x04CB, 0x04CB, 1, 1}, {0x04D0, 0x04F8, 2, 1},
    {0x0531, 0x0556, 1, 48}, {0x10A0, 0x10C5, 1, 48}, {0x1E00, 0x1E94, 2, 1}, {0x1EA0, 0x1EF8, 2, 1},
    {0x1F08, 0x1F0F, 1, -8}, {0x1F18, 0x1F1D, 1, -8}, {0x1F28, 0x1F2F, 1, -8}, {0x1F38, 0x1F3F, 1, -8},
    {0x1F48, 0x1F4D, 1, -8}, {0x1F59, 0x1F5F, 2, -8}, {0x1F68, 0x1F6F, 1, -8}, {0x1F88, 0x1F8F, 1, -8},
    {0x1F98, 0x1F9F, 1, -8}, {0x1FA8, 0x1FAF, 1, -8}, {0x1FB8, 0x1FB9, 1, -8}, {0x1FBA, 0x1FBB, 1, -74},
    {0x1FBC, 0x1FBC, 1, -9}, {0x1FC8, 0x1FCB, 1, -86}, {0x1FCC, 0x1FCC, 1, -9}, {0x1FD8, 0x1FD9, 1, -8},
    {0x1FDA, 0x1FDB, 1, -100}, {0x1FE8, 0x1FE9, 1, -8}, {0x1FEA, 0x1FEB, 1, -112}, {0x1FEC, 0x1FEC, 1, -7},
    {0x1FF8, 0x1FF9, 1, -128}, {0x1FFA, 0x1FFB, 1, -126}, {0x1FFC, 0x1FFC, 1, -9}, {0x2126, 0x2126, 1, -7517},
    {0x212A, 0x212A, 1, -8383}, {0x212B, 0x212B, 1, -8262}, {0x2160, 0x216F, 1, 16}, {0x24B6, 0x24CF, 1, 26},
    {0xFF21, 0xFF3A, 1, 32},
};
constexpr CaseRange kToUpper[] = {
    {0x0061, 0x007A, 1, -32}, {0x00E0, 0x00F6, 1, -32}, {0x00F8, 0x00FE, 1, -32}, {0x00FF, 0x00FF, 1, 121},
    {0x0101, 0x012F, 2, -1}, {0x0131, 0x0131, 1, -232}, {0x0133, 0x0137, 2, -1}, {0x013A, 0x0148, 2, -1},
    {0x014B, 0x0177, 2, -1}, {0x017A, 0x017E, 2, -1}, {0x017F, 0x017F, 1, -300}, {0x0183, 0x0185, 2, -1},
    {0x0188, 0x0188, 1, -1}, {0x018C, 0x018C, 1, -1}, {0x0192, 0x0192, 1, -1}, {0x0195, 0x0195, 1, 97},
    {0x0199, 0x0199, 1, -1}, {0x01A1, 0x01A5, 2, -1}, {0x01A8, 0x01A8, 1, -1}, {0x01AD, 0x01AD, 1, -1},
    {0x01B0, 0x01B0, 1, -1}, {0x01B4, 0x01B6, 2, -1}, {0x01B9, 0x01B9, 1, -1}, {0x01BD, 0x01BD, 1, -1},
    {0x01BF, 0x01BF, 1, 56}, {0x01C5, 0x01C5, 1, -1}, {0x01C6, 0x01C6, 1, -2}, {0x01C8, 0x01C8, 1, -1},
    {0x01C9, 0x01C9, 1, -2}, {0x01CB, 0x01CB, 1, -1}, {0x01CC, 0x01CC, 1, -2}, {0x01CE, 0x01DC, 2, -1},
    {0x01DD, 0x01DD, 1, -79}, {0x01DF, 0x01EF, 2, -1}, {0x01F2, 0x01F2, 1, -1}, {0x01F3, 0x01F3, 1, -2},
    {0x01F5, 0x01F5, 1, -1}, {0x01F9, 0x021F, 2, -1}, {0x0223, 0x0233, 2, -1}, {0x0253, 0x0253, 1, -210},
    {0x0254, 0x0254, 1, -206}, {0x0256, 0x0257, 1, -205}, {0x0259, 0x0259, 1, -202}, {0x025B, 0x025B, 1, -203},
    {0x0260, 0x0260, 1, -205}, {0x0263, 0x0263, 1, -207}, {0x0268, 0x0268, 1, -209}, {0x0269, 0x0269, 1, -211},
    {0x026F, 0x026F, 1, -211}, {0x0272, 0x0272, 1, -213}, {0x0275, 0x0275, 1, -214}, {0x0280, 0x0280, 1, -218},
    {0x0283, 0x0283, 1, -218}, {0x0288, 0x0288, 1, -218}, {0x028A, 0x028B, 1, -217}, {0x0292, 0x0292, 1, -219},
    {0x0345, 0x0345, 1, 84}, {0x03AC, 0x03AC, 1, -38}, {0x03AD, 0x03AF, 1, -37}, {0x03B1, 0x03CB, 1, -32},
    {0x03CC, 0x03CC, 1, -64}, {0x03CD, 0x03CE, 1, -63}, {0x03D0, 0x03D0, 1, -62}, {0x03D1, 0x03D1, 1, -57},
    {0x03D5, 0x03D5, 1, -47}, {0x03D6, 0x03D6, 1, -54}, {0x03D9, 0x03EF, 2, -1}, {0x03F0, 0x03F0, 1, -86},
    {0x03F1, 0x03F1, 1, -80}, {0x03F2, 0x03F2, 1, -79}, {0x03F5, 0x03F5, 1, -96}, {0x0430, 0x044F, 1, -32},
    {0x0450, 0x045F, 1, -80}, {0x0461, 0x0481, 2, -1}, {0x048B, 0x04BF, 2, -1}, {0x04C2, 0x04C4, 2, -1},
    {0x04C8, 0x04C8, 1, -1}, {0x04CC, 0x04CC, 1, -1}, {0x04D1, 0x04F9, 2, -1}, {0x0561, 0x0586, 1, -48},
    {0x1E01, 0x1E95, 2, -1}, {0x1E9B, 0x1E9B, 1, -59}, {0x1EA1, 0x1EF9, 2, -1}, {0x1F00, 0x1F07, 1, 8},
    {0x1F10, 0x1F15, 1, 8}, {0x1F20, 0x1F27, 1, 8}, {0x1F30, 0x1F37, 1, 8}, {0x1F40, 0x1F45, 1, 8},
    {0x1F51, 0x1F57, 2, 8}, {0x1F60, 0x1F67, 1, 8}, {0x1F70, 0x1F71, 1, 74}, {0x1F72, 0x1F75, 1, 86},
    {0x1F76, 0x1F77, 1, 100}, {0x1F78, 0x1F79, 1, 128}, {0x1F7A, 0x1F7B, 1, 112}, {0x1F7C, 0x1F7D, 1, 126},
    {0x1F80, 0x1F87, 1, 8}, {0x1F90, 0x1F97, 1, 8}, {0x1FA0, 0x1FA7, 1, 8}, {0x1FB0, 0x1FB1, 1, 8},
    {0x1FB3, 0x1FB3, 1, 9}, {0x1FBE, 0x1FBE, 1, -7205}, {0x1FC3, 0x1FC3, 1, 9}, {0x1FD0, 0x1FD1, 1, 8},
    {0x1FE0, 0x1FE1, 1, 8}, {0x1FE5, 0x1FE5, 1, 7}, {0x1FF3, 0x1FF3, 1, 9}, {0x2170, 0x217F, 1, -16},
    {0x24D0, 0x24E9, 1, -26}, {0xFF41, 0xFF5A, 1, -32},
};

template <size_t N>
char16_t MapCase(const CaseRange (&table)[N], char16_t c)
{
    // The runs are sorted and do not overlap: find the last that starts at or before c.
    size_t lo = 0, hi = N;
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (table[mid].first <= c)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo == 0)
        return c;
    const CaseRange& r = table[lo - 1];
    if (c > r.last || (c - r.first) % r.step != 0)
        return c;
    return char16_t(c + r.delta);
}

Value ToLowerCase(Machine& m, const Value& self, const Value*, int)
{
    std::u16string s = Units(m, self);
    for (char16_t& c : s)
        c = MapCase(kToLower, c);
    return Text(m, s);
}

Value ToUpperCase(Machine& m, const Value& self, const Value*, int)
{
    std::u16string s = Units(m, self);
    for (char16_t& c : s)
        c = MapCase(kToUpper, c);
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

std::string PlayerLowerCase(std::string_view text)
{
    std::u16string units = Utf8ToUtf16(text);
    for (char16_t& c : units)
        c = MapCase(kToLower, c);
    return Utf16ToUtf8(units);
}

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
