#include "avm1/TextCodec.h"

#include <algorithm>
#include <array>

namespace reelfinch::avm1 {

namespace {

// Windows-1252's characters for 0x80-0x9F; the five it leaves unassigned keep their C1 values.
constexpr std::array<char16_t, 32> kCp1252High = { 0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178 };

char32_t codePageChar(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte;
}

bool isSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}

// Decodes one character at `pos` and moves past it; a malformed sequence gives U+FFFD and moves one byte. The
// strings of the language may hold a half of a surrogate pair on its own (a character cut in two by charAt or
// substr), kept as the three bytes its code would take; with `units` such a half reads as that code unit, without
// it (text coming from outside) as malformed.
char32_t decodeUtf8(std::string_view s, std::size_t& pos, bool units = true)
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
        ++pos;
        return kReplacementCharacter;
    }
    if (pos + length > s.size()) {
        ++pos;
        return kReplacementCharacter;
    }
    for (int i = 1; i < length; ++i) {
        unsigned char next = byte(pos + i);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return kReplacementCharacter;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (isSurrogate(c) && !units)) {
        ++pos;
        return kReplacementCharacter;
    }
    pos += length;
    return c;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t c)
{
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

constexpr int kFirstUtf16Version = 6;

} // namespace

std::u16string utf8ToUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();)
        appendUtf16(out, decodeUtf8(utf8, pos));
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::string sanitizeUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t pos = 0; pos < bytes.size();)
        appendUtf8(out, decodeUtf8(bytes, pos, false));
    return out;
}

std::size_t utf16Length(std::string_view utf8)
{
    std::size_t length = 0;
    for (std::size_t pos = 0; pos < utf8.size();)
        length += decodeUtf8(utf8, pos) >= 0x10000 ? 2 : 1;
    return length;
}

std::string utf16Substring(std::string_view utf8, std::size_t start, std::size_t count)
{
    std::u16string units = utf8ToUtf16(utf8);
    start = std::min(start, units.size());
    count = std::min(count, units.size() - start);
    return utf16ToUtf8(std::u16string_view(units).substr(start, count));
}

std::string codePageToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char b : bytes)
        appendUtf8(out, codePageChar(static_cast<unsigned char>(b)));
    return out;
}

std::string utf8ToCodePage(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t c = decodeUtf8(utf8, pos);
        char byte = '?';
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            byte = static_cast<char>(c);
        } else {
            for (std::size_t i = 0; i < kCp1252High.size(); ++i)
                if (kCp1252High[i] == c)
                    byte = static_cast<char>(0x80 + i);
        }
        out += byte;
    }
    return out;
}

std::string charFromCode(std::uint32_t code, int swfVersion)
{
    if (swfVersion < kFirstUtf16Version) {
        auto byte = static_cast<unsigned char>(code & 0xFF);
        return byte == 0 ? std::string() : codePageToUtf8(std::string(1, static_cast<char>(byte)));
    }
    char32_t unit = code & 0xFFFF;
    if (unit == 0)
        return {};
    std::string out;
    appendUtf8(out, isSurrogate(unit) ? kReplacementCharacter : unit);
    return out;
}

std::int32_t codeAt(std::string_view utf8, std::size_t index, int swfVersion)
{
    if (swfVersion < kFirstUtf16Version) {
        std::string bytes = utf8ToCodePage(utf8);
        return index < bytes.size() ? static_cast<unsigned char>(bytes[index]) : -1;
    }
    std::size_t unit = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t c = decodeUtf8(utf8, pos);
        if (c >= 0x10000) {
            if (index == unit)
                return static_cast<std::int32_t>(0xD800 + ((c - 0x10000) >> 10));
            if (index == unit + 1)
                return static_cast<std::int32_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            unit += 2;
        } else {
            if (index == unit)
                return static_cast<std::int32_t>(c);
            ++unit;
        }
    }
    return -1;
}

std::string stringFromCharCodes(const std::uint32_t* codes, std::size_t count, int swfVersion)
{
    if (swfVersion < kFirstUtf16Version) {
        std::string bytes;
        for (std::size_t i = 0; i < count && (codes[i] & 0xFF) != 0; ++i)
            bytes += static_cast<char>(codes[i] & 0xFF);
        return codePageToUtf8(bytes);
    }
    std::u16string units;
    for (std::size_t i = 0; i < count && (codes[i] & 0xFFFF) != 0; ++i)
        units += static_cast<char16_t>(codes[i] & 0xFFFF);
    return utf16ToUtf8(units);
}

std::uint32_t ordOfFirst(std::string_view utf8, int swfVersion)
{
    if (utf8.empty())
        return 0;
    if (swfVersion < kFirstUtf16Version)
        return static_cast<unsigned char>(utf8ToCodePage(utf8.substr(0, 4))[0]);
    return mbCodeOfFirst(utf8);
}

std::string mbCharFromCode(std::uint32_t code)
{
    return charFromCode(code, kFirstUtf16Version);
}

std::uint32_t mbCodeOfFirst(std::string_view utf8)
{
    if (utf8.empty())
        return 0;
    std::size_t pos = 0;
    char32_t c = decodeUtf8(utf8, pos);
    return c > 0xFFFF ? kReplacementCharacter : c;
}

std::string externalUtf8(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t c = decodeUtf8(utf8, pos);
        appendUtf8(out, isSurrogate(c) ? kReplacementCharacter : c);
    }
    return out;
}

void appendJoined(std::string& text, std::string_view more)
{
    // A high half ending `text` (ED A0-AF xx) and a low half starting `more` (ED B0-BF xx) make one character.
    const auto half = [](std::string_view s, std::size_t at, unsigned char low, unsigned char high) {
        return s.size() >= at + 3 && static_cast<unsigned char>(s[at]) == 0xED
            && static_cast<unsigned char>(s[at + 1]) >= low && static_cast<unsigned char>(s[at + 1]) <= high
            && (static_cast<unsigned char>(s[at + 2]) & 0xC0) == 0x80;
    };
    if (text.size() >= 3 && half(text, text.size() - 3, 0xA0, 0xAF) && half(more, 0, 0xB0, 0xBF)) {
        std::size_t pos = text.size() - 3;
        const char32_t highUnit = decodeUtf8(text, pos);
        pos = 0;
        const char32_t lowUnit = decodeUtf8(more, pos);
        text.resize(text.size() - 3);
        appendUtf8(text, 0x10000 + ((highUnit - 0xD800) << 10) + (lowUnit - 0xDC00));
        text.append(more.substr(3));
        return;
    }
    text.append(more);
}

std::size_t codePointCount(std::string_view utf8)
{
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < utf8.size(); ++count)
        decodeUtf8(utf8, pos);
    return count;
}

} // namespace reelfinch::avm1
