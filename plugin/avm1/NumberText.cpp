#include "avm1/NumberText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace reelfinch::avm1 {

// A first form of these conversions; the player's exact rules replace it.

std::string numberToString(double value, int /*radix*/)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "Infinity" : "-Infinity";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    return buf;
}

double stringToNumber(std::string_view text, int /*swfVersion*/)
{
    std::string s(text);
    if (s.empty())
        return NAN;
    char* end = nullptr;
    double d = std::strtod(s.c_str(), &end);
    return end && *end == 0 ? d : NAN;
}

double parseInt(std::string_view text, std::optional<int> radix, int /*swfVersion*/)
{
    std::string s(text);
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, radix.value_or(10));
    return end == s.c_str() ? NAN : double(v);
}

double parseFloat(std::string_view text)
{
    std::string s(text);
    char* end = nullptr;
    double d = std::strtod(s.c_str(), &end);
    return end == s.c_str() ? NAN : d;
}

std::string escape(std::string_view text)
{
    return std::string(text);
}

std::string unescape(std::string_view text)
{
    return std::string(text);
}

} // namespace reelfinch::avm1
