#include "avm1/Value.h"

#include "avm1/NumberText.h"
#include "avm1/TextCodec.h"

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
    return utf8ToUtf16(text);
}

std::string Utf16ToUtf8(std::u16string_view text)
{
    return utf16ToUtf8(text);
}

size_t Utf16Length(std::string_view text)
{
    return utf16Length(text);
}

} // namespace reelfinch::avm1
