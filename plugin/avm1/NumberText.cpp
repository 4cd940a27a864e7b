#include "avm1/NumberText.h"

#include "avm1/TextCodec.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace reelfinch::avm1 {

namespace {

constexpr int kSignificantDigits = 15;
// Decimal exponents outside [kFixedMinExponent, kFixedMaxExponent] print in exponent form.
constexpr int kFixedMinExponent = -5;
constexpr int kFixedMaxExponent = 14;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isOctalDigit(char c)
{
    return c >= '0' && c <= '7';
}

// The value of `c` as a digit of any radix up to 36, or 99 when it is none.
int digitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

bool hasHexPrefix(std::string_view s, size_t pos)
{
    return s.size() >= pos + 2 && s[pos] == '0' && (s[pos + 1] == 'x' || s[pos + 1] == 'X');
}

size_t skipSpace(std::string_view s, size_t pos)
{
    while (pos < s.size() && isSpace(s[pos]))
        ++pos;
    return pos;
}

// Reads an optional sign at `pos`; returns true when it is '-'.
bool readSign(std::string_view s, size_t& pos)
{
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-'))
        return s[pos++] == '-';
    return false;
}

// The double a C cast of `value` to a 32-bit integer gives on the player's processors: the value truncated,
// and the "integer indefinite" -2^31 for NaN, the infinities and what does not fit.
std::int32_t castToInt32(double value)
{
    if (!(value > -2147483649.0 && value < 2147483648.0))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

struct DecimalScan {
    double value = 0;
    size_t end = 0; // first position after the number
    bool found = false; // a digit was read
};

// A decimal number at `pos`: optional sign, digits with dots, optional exponent. Digits accumulate as the
// player does (the fraction digit by digit with a shrinking scale), which decides the last bit of some values.
DecimalScan scanDecimal(std::string_view s, size_t pos)
{
    DecimalScan scan;
    bool negative = readSign(s, pos);
    double mantissa = 0;
    double scale = 1;
    bool inFraction = false;
    bool extraDot = false;
    while (pos < s.size()) {
        char c = s[pos];
        if (isDigit(c)) {
            scan.found = true;
            if (inFraction) {
                scale /= 10;
                mantissa += (c - '0') * scale;
            } else {
                mantissa = mantissa * 10 + (c - '0');
            }
        } else if (c == '.') {
            if (inFraction)
                extraDot = true;
            inFraction = true;
        } else {
            break;
        }
        ++pos;
    }
    if (!scan.found)
        return scan;
    if (!extraDot && pos < s.size() && (s[pos] == 'e' || s[pos] == 'E')) {
        size_t p = pos + 1;
        bool expNegative = readSign(s, p);
        std::uint32_t exponent = 0; // wraps as the player's 32-bit exponent does
        size_t digitsStart = p;
        while (p < s.size() && isDigit(s[p]))
            exponent = exponent * 10 + std::uint32_t(s[p++] - '0');
        if (p > digitsStart && mantissa != 0) {
            auto e = static_cast<std::int32_t>(exponent);
            double power = std::fabs(double(e));
            if ((e < 0) != expNegative) {
                // Two steps, so that numbers down to the smallest subnormals survive 10^power overflowing.
                constexpr double kLargestPower = 308;
                if (power > kLargestPower) {
                    mantissa /= std::pow(10.0, kLargestPower);
                    power -= kLargestPower;
                }
                mantissa /= std::pow(10.0, power);
            } else {
                mantissa *= std::pow(10.0, power);
            }
        }
        if (p > digitsStart)
            pos = p;
    }
    scan.value = negative ? -mantissa : mantissa;
    scan.end = pos;
    return scan;
}

// Digits of `radix` from `pos` on, accumulated in a double (so that long strings reach Infinity).
DecimalScan scanDigits(std::string_view s, size_t pos, int radix)
{
    DecimalScan scan;
    while (pos < s.size()) {
        int d = digitValue(s[pos]);
        if (d >= radix)
            break;
        scan.value = scan.value * radix + d;
        scan.found = true;
        ++pos;
    }
    scan.end = pos;
    return scan;
}

// Digits of `radix` up to the end of `s`, cut to a signed 32-bit integer; nullopt when a character is not one.
std::optional<double> wrappedInteger(std::string_view s, size_t pos, int radix, bool negative)
{
    if (pos >= s.size())
        return std::nullopt;
    std::uint32_t v = 0;
    for (; pos < s.size(); ++pos) {
        int d = digitValue(s[pos]);
        if (d >= radix)
            return std::nullopt;
        v = v * std::uint32_t(radix) + std::uint32_t(d);
    }
    double result = static_cast<std::int32_t>(v);
    return negative ? -result : result;
}

bool allOctal(std::string_view s, size_t pos)
{
    for (; pos < s.size(); ++pos)
        if (!isOctalDigit(s[pos]))
            return false;
    return true;
}

// "[sign]0ddd" with only octal digits after the zero, from the start of the text.
bool isOctalLiteral(std::string_view s)
{
    size_t pos = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
    return pos < s.size() && s[pos] == '0' && allOctal(s, pos);
}

std::string radixString(double value, int radix)
{
    // The player's digit loop runs on a 32-bit integer with C's truncating division, so the negation of -2^31
    // stays negative and its remainders print as characters below '0'.
    std::int32_t v = castToInt32(value);
    std::string digits;
    bool negative = v < 0;
    if (negative)
        v = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(v));
    if (v == 0 && !negative)
        return "0";
    while (v != 0) {
        int d = v % radix;
        v /= radix;
        digits.insert(digits.begin(), static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10));
    }
    return negative ? "-" + digits : digits;
}

} // namespace

std::string numberToString(double value, int radix)
{
    if (radix >= 2 && radix <= 36 && radix != 10)
        return radixString(value, radix);
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value > 0 ? "Infinity" : "-Infinity";
    if (value == 0)
        return "0";

    // 15 significant digits, correctly rounded, as "d.dddddddddddddde[+-]x".
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.*e", kSignificantDigits - 1, value);
    // Rounding up past the largest double (Number.MAX_VALUE) would print a number that reads back as Infinity;
    // the digits are cut there instead.
    if (std::isinf(std::strtod(buf, nullptr))) {
        std::snprintf(buf, sizeof buf, "%.*e", kSignificantDigits + 4, value);
        const size_t e = std::string_view(buf).find('e');
        const size_t cut = (buf[0] == '-' ? 2 : 1) + kSignificantDigits; // sign, first digit, '.', 14 more
        std::memmove(buf + cut, buf + e, std::strlen(buf + e) + 1);
    }
    std::string text(buf);
    bool negative = text[0] == '-';
    size_t start = negative ? 1 : 0;
    size_t ePos = text.find('e');
    int exponent = std::atoi(text.c_str() + ePos + 1);
    std::string digits;
    for (size_t i = start; i < ePos; ++i)
        if (isDigit(text[i]))
            digits += text[i];
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out = negative ? "-" : "";
    if (exponent < kFixedMinExponent || exponent > kFixedMaxExponent) {
        out += digits[0];
        if (digits.size() > 1)
            out += "." + digits.substr(1);
        out += exponent < 0 ? "e-" : "e+";
        out += std::to_string(std::abs(exponent));
    } else if (exponent < 0) {
        out += "0." + std::string(size_t(-exponent - 1), '0') + digits;
    } else if (size_t(exponent) + 1 >= digits.size()) {
        out += digits + std::string(size_t(exponent) + 1 - digits.size(), '0');
    } else {
        out += digits.substr(0, size_t(exponent) + 1) + "." + digits.substr(size_t(exponent) + 1);
    }
    return out;
}

double stringToNumber(std::string_view text, int swfVersion)
{
    constexpr int kFirstVersionWithNaN = 5;
    constexpr int kFirstVersionWithRadixPrefixes = 6;
    double result = std::numeric_limits<double>::quiet_NaN();
    if (swfVersion >= kFirstVersionWithRadixPrefixes && hasHexPrefix(text, 0)) {
        size_t pos = 2;
        bool negative = readSign(text, pos);
        if (auto v = wrappedInteger(text, pos, 16, negative))
            result = *v;
    } else if (swfVersion >= kFirstVersionWithRadixPrefixes && isOctalLiteral(text)) {
        size_t pos = 0;
        bool negative = readSign(text, pos);
        result = *wrappedInteger(text, pos, 8, negative);
    } else {
        DecimalScan scan = scanDecimal(text, skipSpace(text, 0));
        // SWF 4 and older read the number at the start and ignore what follows it ("101ABC" is 101).
        if (scan.found && (scan.end == text.size() || swfVersion < kFirstVersionWithNaN))
            result = scan.value;
    }
    if (std::isnan(result) && swfVersion < kFirstVersionWithNaN)
        return 0;
    return result;
}

double parseInt(std::string_view text, std::optional<int> radix, int /*swfVersion*/)
{
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    if (radix && (*radix < 2 || *radix > 36))
        return kNaN;

    size_t pos = 0;
    bool negative = false;
    int base = radix.value_or(10);
    if (hasHexPrefix(text, 0)) {
        if (!radix)
            base = 16;
        pos = skipSpace(text, 2);
        negative = readSign(text, pos);
    } else if (text.size() >= 3 && (text[0] == '+' || text[0] == '-') && hasHexPrefix(text, 1)) {
        pos = 2; // the player skips the sign and the zero and reads on from the 'x'
    } else if (!radix && isOctalLiteral(text)) {
        negative = readSign(text, pos);
        base = 8;
    } else {
        pos = skipSpace(text, 0);
        negative = readSign(text, pos);
    }
    DecimalScan scan = scanDigits(text, pos, base);
    if (!scan.found)
        return kNaN;
    return negative ? -scan.value : scan.value;
}

double parseFloat(std::string_view text)
{
    DecimalScan scan = scanDecimal(text, skipSpace(text, 0));
    return scan.found ? scan.value : std::numeric_limits<double>::quiet_NaN();
}

namespace {

std::string percentEncode(std::string_view text, bool spaceAsPlus)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (spaceAsPlus && c == ' ') {
            out += '+';
        } else if (isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            out += c;
        } else {
            auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

} // namespace

std::string escape(std::string_view text)
{
    return percentEncode(text, false);
}

std::string escapeFormValue(std::string_view text)
{
    return percentEncode(text, true);
}

std::string unescape(std::string_view text)
{
    auto hexValue = [](char c) {
        int d = digitValue(c);
        return d < 16 ? d : -1;
    };
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            bytes += ' ';
        } else if (c != '%') {
            bytes += c;
        } else {
            int high = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
            if (high < 0) {
                ++i; // the '%' and the character after it are dropped
                continue;
            }
            int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
            if (low >= 0)
                bytes += static_cast<char>(high * 16 + low);
            i += 2;
        }
    }
    return sanitizeUtf8(bytes);
}

std::int32_t toInt32(double value)
{
    if (!std::isfinite(value))
        return 0;
    double truncated = std::trunc(value);
    double modulo = std::fmod(truncated, 4294967296.0);
    if (modulo < 0)
        modulo += 4294967296.0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(modulo));
}

} // namespace reelfinch::avm1
