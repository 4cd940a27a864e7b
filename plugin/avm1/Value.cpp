#include "avm1/Value.h"

#include "avm1/NumberText.h"

#include <cmath>

namespace reelfinch::avm1 {

bool ToBooleanPrimitive(const Value& v, int swfVersion)
{
    switch (v.type()) {
    case Type::Undefined:
    case Type::Null:
        return false;
    case Type::Boolean:
        return v.asBool();
    case Type::Number:
        return v.asNumber() != 0 && !std::isnan(v.asNumber());
    case Type::String: {
        // From SWF 7 a string is true when it is not empty; before, when it reads as a non-zero number.
        if (swfVersion >= 7)
            return !v.str().empty();
        const double n = stringToNumber(v.str(), swfVersion);
        return n != 0 && !std::isnan(n);
    }
    case Type::Object:
        return true;
    }
    return false;
}

std::string NumberText(double n)
{
    return numberToString(n);
}

double ToInt32Double(double n)
{
    return double(ToInt32(n));
}

int32_t ToInt32(double n)
{
    return int32_t(ToUint32(n));
}

uint32_t ToUint32(double n)
{
    if (!std::isfinite(n))
        return 0;
    double t = std::trunc(n);
    if (t >= 0 && t < 4294967296.0)
        return uint32_t(t);
    t = std::fmod(t, 4294967296.0);
    if (t < 0)
        t += 4294967296.0;
    return uint32_t(t);
}

std::u16string Utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out.push_back(char16_t(c));
            ++i;
            continue;
        }
        const int extra = (c >= 0xF0 && c < 0xF8) ? 3 : (c >= 0xE0 && c < 0xF0) ? 2 : (c >= 0xC0 && c < 0xE0) ? 1 : 0;
        uint32_t cp = extra == 3 ? (c & 0x07u) : extra == 2 ? (c & 0x0Fu) : (c & 0x1Fu);
        // A byte that starts no complete sequence stands for itself.
        if (extra == 0 || i + size_t(extra) >= text.size()) {
            out.push_back(char16_t(c));
            ++i;
            continue;
        }
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char d = static_cast<unsigned char>(text[i + size_t(k)]);
            if ((d & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (d & 0x3F);
        }
        if (!ok) {
            out.push_back(char16_t(c));
            ++i;
            continue;
        }
        i += size_t(extra) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | (cp >> 6)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | (cp >> 12)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (cp >> 18)));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

size_t Utf16Length(std::string_view text)
{
    size_t n = 0;
    bool ascii = true;
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return text.size();
    n = Utf8ToUtf16(text).size();
    return n;
}

} // namespace reelfinch::avm1
