// The script machine's number, text and date conversions, checked against what the reference player printed
// for the behaviour tests of the corpus (the cases name their test where they come from one); and text fields
// edited by keys from the host, which the corpus does not exercise.
#include "avm1/DateMath.h"
#include "avm1/Machine.h"
#include "avm1/builtins/Builtins.h"
#include "avm1/builtins/CssText.h"
#include "avm1/builtins/TextEditing.h"
#include "render/EditText.h"
#include "render/KernedLayout.h"
#include "timeline/MoviePlayer.h"
#include "avm1/NumberText.h"
#include "avm1/TextCodec.h"
#include "FontCacheRelease.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using namespace reelfinch::avm1;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Numbers compare through the player's printing, which is what a movie can see.
std::string printed(double v)
{
    return numberToString(v);
}

} // namespace

TEST(NumberText, PrintsLikeThePlayer)
{
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        { 0, "0" },
        { -0.0, "0" },
        { kNaN, "NaN" },
        { kInf, "Infinity" },
        { -kInf, "-Infinity" },
        { 1.5, "1.5" },
        { -123.1, "-123.1" },
        { std::sqrt(2.0), "1.4142135623731" }, // math_swf6
        { std::atan(1.0) * 4, "3.14159265358979" }, // math_swf6
        { std::exp(1.0), "2.71828182845905" }, // math_swf6
        { std::numeric_limits<double>::denorm_min(), "4.94065645841247e-324" }, // primitive_type_globals
        { -22222222222222222.0, "-2.22222222222222e+16" }, // parse_float
        { -22222222.222222222, "-22222222.2222222" },
        { 1.010101e107, "1.010101e+107" },
        { 1e-98, "1e-98" },
        { 2e19, "2e+19" },
        { 999999999999999.0, "999999999999999" },
        { 1e15, "1e+15" },
        { 123456789012345.6, "123456789012346" },
        { 0.00001, "0.00001" },
        { 0.000001, "1e-6" },
        { 1.5e-7, "1.5e-7" },
        { 1e21, "1e+21" },
        { 0.1 + 0.2, "0.3" },
        { 4294967295.0, "4294967295" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(numberToString(c.value), c.text) << c.text;
}

TEST(NumberText, PrintsInARadix)
{
    // primitive_type_globals: the number cut to 32 bits; NaN is -2^31, whose remainders go below '0'.
    struct Case {
        double value;
        int radix;
        const char* text;
    };
    const Case cases[] = {
        { 4123, 2, "1000000011011" },
        { 4123, 13, "1b52" },
        { 4123, 36, "36j" },
        { 4123, 37, "4123" },
        { 4123, 0, "4123" },
        { -123.1, 2, "-1111011" },
        { -123.1, 36, "-3f" },
        { -123.1, 1, "-123.1" },
        { -2147483647.9, 16, "-7fffffff" },
        { -2147483647.9, 36, "-zik0zj" },
        { kNaN, 2, "-/0000000000000000000000000000000" },
        { kNaN, 16, "-(0000000" },
        { kNaN, 10, "NaN" },
        { 0, 16, "0" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(numberToString(c.value, c.radix), c.text) << c.value << " radix " << c.radix;
}

TEST(NumberText, ReadsNumbersPerVersion)
{
    // swf5_global_funcs and swf7_global_funcs (Number() of each string), is_finite_swf6.
    struct Case {
        const char* text;
        const char* swf5;
        const char* swf7;
    };
    const Case cases[] = {
        { "0", "0", "0" },
        { "-5", "-5", "-5" },
        { "", "NaN", "NaN" },
        { " ", "NaN", "NaN" },
        { "true", "NaN", "NaN" },
        { "Infinity", "NaN", "NaN" },
        { "-Infinity", "NaN", "NaN" },
        { "inf", "NaN", "NaN" },
        { " 5", "5", "5" },
        { "  5  ", "NaN", "NaN" },
        { "\t\r12", "12", "12" },
        { "\r12\r", "NaN", "NaN" },
        { " \t 12", "12", "12" },
        { "100a", "NaN", "NaN" },
        { "123e-1", "12.3", "12.3" },
        { "0x12", "NaN", "18" },
        { "0x10", "NaN", "16" },
        { "0xhello", "NaN", "NaN" },
        { "0x1999999981ffffff", "NaN", "-2113929217" },
        { "037777777777", "37777777777", "-1" },
        { "-037777777777", "-37777777777", "1" },
        { "-010", "-10", "-8" },
        { "+010", "10", "8" },
        { " -010", "-10", "-10" },
        { " 010", "10", "10" },
        { "0x", "NaN", "NaN" },
        { "1e400", "Infinity", "Infinity" },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(printed(stringToNumber(c.text, 5)), c.swf5) << '"' << c.text << "\" in SWF 5";
        EXPECT_EQ(printed(stringToNumber(c.text, 7)), c.swf7) << '"' << c.text << "\" in SWF 7";
    }
    // swf6_string_as_bool: a string is true in a condition of SWF 6 when it reads as a number other than 0.
    for (const char* text : { "10", "0x10", "0x-10", "010", "010.5", "\r10" }) {
        double v = stringToNumber(text, 6);
        EXPECT_TRUE(v != 0 && !std::isnan(v)) << text;
    }
    for (const char* text : { "", "ab", "10a", "0x10.5", "NaN", "inf", "+inf", "Infinity", "-inf" })
        EXPECT_TRUE(std::isnan(stringToNumber(text, 6))) << text;
    EXPECT_EQ(stringToNumber("0x-10", 6), -16);
    // lessthan_swf4: SWF 4 reads what is not a number as 0.
    EXPECT_EQ(stringToNumber("true", 4), 0);
    EXPECT_EQ(stringToNumber("", 4), 0);
    EXPECT_EQ(stringToNumber("7", 4), 7);
}

TEST(NumberText, ParseInt)
{
    // parse_int (a SWF 8 movie); a radix of 0 stands for the NaN, false and undefined the test passes.
    struct Case {
        const char* text;
        std::optional<int> radix;
        const char* result;
    };
    const Case cases[] = {
        { "undefined", std::nullopt, "NaN" },
        { "undefined", 32, "33790067563981" },
        { "", std::nullopt, "NaN" },
        { "123", std::nullopt, "123" },
        { "100", 10, "100" },
        { "100", 0, "NaN" },
        { "100", 1, "NaN" },
        { "100", 2, "4" },
        { "100", 36, "1296" },
        { "100", 37, "NaN" },
        { "100", -1, "NaN" },
        { "0x123", std::nullopt, "291" },
        { "0xabc", std::nullopt, "2748" },
        { "010", 2, "2" },
        { "-0100", std::nullopt, "-64" },
        { "-0100z", std::nullopt, "-100" },
        { "0x+0X100", std::nullopt, "0" },
        { "123", 32, "1091" },
        { "++1", std::nullopt, "NaN" },
        { "0x100", 36, "1296" },
        { " 0x100", 36, "1540944" },
        { "0y100", 36, "1587600" },
        { " 0y100", 36, "1587600" },
        { "-0x100", 36, "1540944" },
        { " -0x100", 36, "-1540944" },
        { "-0y100", 36, "-1587600" },
        { " -0y100", 36, "-1587600" },
        { "-0x100", std::nullopt, "NaN" },
        { "0x-100", std::nullopt, "-256" },
        { " 0x-100", std::nullopt, "0" },
        { "0x -100", std::nullopt, "-256" },
        { "0-100", std::nullopt, "0" },
        { "+0x123", 33, "NaN" },
        { "+0x123", 34, "1298259" },
        { "0", std::nullopt, "0" },
        { " 0 ", std::nullopt, "0" },
        { "077", std::nullopt, "63" },
        { "  077", std::nullopt, "77" },
        { "  -077", std::nullopt, "-77" },
        { "077 ", std::nullopt, "77" },
        { "11", 3, "4" },
        { "0x12", 16, "18" },
        { "0x  ", std::nullopt, "NaN" },
        { "0x", 16, "NaN" },
        { "12aaa", std::nullopt, "12" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(printed(parseInt(c.text, c.radix, 8)), c.result)
            << "parseInt('" << c.text << "', " << (c.radix ? std::to_string(*c.radix) : "-") << ")";
    EXPECT_EQ(printed(parseInt("1" + std::string(340, '0'), std::nullopt, 8)), "Infinity");
    EXPECT_EQ(printed(parseInt("0x1" + std::string(340, '0'), std::nullopt, 8)), "Infinity");
}

TEST(NumberText, ParseFloat)
{
    // parse_float
    struct Case {
        const char* text;
        const char* result;
    };
    const Case cases[] = {
        { "12345", "12345" },
        { "012345.67890", "12345.6789" },
        { "    99999.99999          ", "99999.99999" },
        { "-22222222222222222", "-2.22222222222222e+16" },
        { ".0000000000000000000000005", "5e-25" },
        { "0000.12345GIBBERISH", "0.12345" },
        { "1        2", "1" },
        { "9e99999", "Infinity" },
        { "+100e-100", "1e-98" },
        { "-123.234E+66", "-1.23234e+68" },
        { ".2E20E1", "2e+19" },
        { "-034.1+e20", "-34.1" },
        { "10101010e+100", "1.010101e+107" },
        { "10101010e-20.0", "1.010101e-13" },
        { "10e", "10" },
        { "e10", "NaN" },
        { "10e-", "10" },
        { "1e4294967297", "10" },
        { "1.2345.678", "1.2345678" },
        { "1.2345.6e50", "1.23456" },
        { "-2.123123.123219e20", "-2.123123123219" },
        { "Infinity", "NaN" },
        { "-Infinity", "NaN" },
        { "", "NaN" },
        { "-", "NaN" },
        { "0xff", "0" },
        { "\xC4\xB1", "NaN" },
        { "0e999", "0" },
        { "1e-400", "0" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(printed(parseFloat(c.text)), c.result) << "parseFloat(\"" << c.text << "\")";
    // The fraction accumulates digit by digit, which the player's last bit shows.
    EXPECT_EQ(parseFloat(".1499999"), 0.14999990000000005);
    // Exponents past 10^308 still reach the subnormals.
    EXPECT_NEAR(parseFloat("1e-320") / 1e-320, 1, 1e-4);
}

TEST(NumberText, EscapeAndUnescape)
{
    // unescape
    struct Case {
        const char* text;
        const char* result;
    };
    const Case cases[] = {
        { "ABCxyz0189", "ABCxyz0189" },
        { "%40%2A%5F%2B%2D%2E%2F", "@*_+-./" },
        { "%40%2a%5f%2b%2d%2e%2f", "@*_+-./" },
        { "Hello+World", "Hello World" },
        { "%C4%80%E3%81%82", "\xC4\x80\xE3\x81\x82" },
        { "\xC4\x80\xE3\x81\x82", "\xC4\x80\xE3\x81\x82" },
        { "%0A", "\n" },
        { "%u0100", "0100" },
        { "aaa%", "aaa" },
        { "aaa%z", "aaa" },
        { "aaa%zz", "aaaz" },
        { "aaa%4", "aaa" },
        { "aaa%4z", "aaa" },
        { "aaa%4zz", "aaaz" },
        { "%", "" },
        { "%%", "" },
        { "%_a%@b%.c", "abc" },
        { "%FF", "\xEF\xBF\xBD" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(unescape(c.text), c.result) << "unescape(\"" << c.text << "\")";

    EXPECT_EQ(escape("@*_+-./ aZ09"), "%40%2A%5F%2B%2D%2E%2F%20aZ09");
    EXPECT_EQ(escape("\xC4\x80"), "%C4%80");
    EXPECT_EQ(escapeFormValue("[object Object]"), "%5Bobject+Object%5D"); // loadvariables_method
    // loadvars_tostring: every punctuation character is escaped.
    EXPECT_EQ(escape("23vsd!@#$%^&*()_+-=;':\",.<>/?[{]}\\`~] "),
        "23vsd%21%40%23%24%25%5E%26%2A%28%29%5F%2B%2D%3D%3B%27%3A%22%2C%2E%3C%3E%2F%3F%5B%7B%5D%7D%5C%60%7E%5D%20");
    EXPECT_EQ(unescape(escape("a b\xE3\x81\x82%")), "a b\xE3\x81\x82%");
}

TEST(NumberText, ToInt32)
{
    // action_to_integer
    EXPECT_EQ(toInt32(4294967295.0), -1);
    EXPECT_EQ(toInt32(10.5), 10);
    EXPECT_EQ(toInt32(-10.9), -10);
    EXPECT_EQ(toInt32(kNaN), 0);
    EXPECT_EQ(toInt32(kInf), 0);
    EXPECT_EQ(toInt32(2147483648.0), -2147483648);
    EXPECT_EQ(toInt32(-4294967297.0), -1);
}

TEST(TextCodec, Utf8AndUtf16)
{
    struct Case {
        std::string utf8;
        std::u16string utf16;
        std::string sanitized;
    };
    const std::string fffd = "\xEF\xBF\xBD";
    const Case cases[] = {
        { "abc", u"abc", "abc" }, { "\xC4\x80\xE3\x81\x82", u"\u0100\u3042", "\xC4\x80\xE3\x81\x82" },
        { "\xF0\x9F\x98\x80", u"\U0001F600", "\xF0\x9F\x98\x80" },
        { "a\x80z", u"a\uFFFDz", "a" + fffd + "z" }, // stray continuation byte
        { "\xC0\xAF", u"\uFFFD\uFFFD", fffd + fffd }, // overlong
        { "\xE3\x81", u"\uFFFD\uFFFD", fffd + fffd }, // cut sequence
        { "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", fffd + fffd + fffd + fffd }, // past U+10FFFF
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(sanitizeUtf8(c.utf8), c.sanitized) << c.utf8;
        EXPECT_EQ(utf16ToUtf8(c.utf16), c.sanitized) << c.utf8;
        EXPECT_EQ(utf16Length(c.utf8), c.utf16.size()) << c.utf8;
    }
    // A half of a surrogate pair on its own keeps its code: from outside it is malformed, inside the language it
    // is one code unit, and two halves put back together make the character again.
    const std::string high = "\xED\xA0\xBD", low = "\xED\xB8\x9C"; // U+1F61C cut in two
    EXPECT_EQ(sanitizeUtf8(high), fffd + fffd + fffd);
    EXPECT_EQ(utf8ToUtf16(high), u"\xD83D");
    EXPECT_EQ(utf16Length(high + "a"), 2u);
    EXPECT_EQ(utf16ToUtf8(u"a\xD83Dz\xDE1C"), "a" + high + "z" + low);
    const std::string pair = "\xF0\x9F\x98\x9C";
    EXPECT_EQ(utf16Substring("a" + pair + "b", 1, 2), pair);
    EXPECT_EQ(utf16Substring("a" + pair + "b", 2, 5), low + "b");
    EXPECT_EQ(utf16Substring("a" + pair + "b", 1, 1), high);
    std::string joined = "a" + high;
    appendJoined(joined, low + "b");
    EXPECT_EQ(joined, "a" + pair + "b");
    joined = high;
    appendJoined(joined, high);
    EXPECT_EQ(joined, high + high); // two high halves stay apart
    EXPECT_EQ(externalUtf8("a" + high + pair + low), "a" + fffd + pair + fffd);
    EXPECT_EQ(utf16Substring("abc", 7, 1), "");
    EXPECT_EQ(codePointCount("a\xF0\x9F\x98\x80\xC4\x80"), 3u);
}

TEST(TextCodec, CodePageAndCharacterCodes)
{
    EXPECT_EQ(codePageToUtf8("caf\xE9 \x80\x81"), "caf\xC3\xA9 \xE2\x82\xAC\xC2\x81");
    EXPECT_EQ(utf8ToCodePage("caf\xC3\xA9 \xE2\x82\xAC \xE3\x81\x82"), "caf\xE9 \x80 ?");

    struct Case {
        std::uint32_t code;
        int swfVersion;
        std::string text;
    };
    const Case cases[] = {
        { 65, 6, "A" }, { 0x100, 6, "\xC4\x80" }, { 0x10041, 6, "A" }, // cut to 16 bits
        { 0xD800, 6, "\xEF\xBF\xBD" }, { 0, 6, "" }, { 0xE9, 5, "\xC3\xA9" }, { 0x80, 5, "\xE2\x82\xAC" },
        { 0x141, 5, "A" }, // cut to 8 bits
    };
    for (const Case& c : cases)
        EXPECT_EQ(charFromCode(c.code, c.swfVersion), c.text) << c.code << " in SWF " << c.swfVersion;

    EXPECT_EQ(codeAt("a\xF0\x9F\x98\x80", 1, 6), 0xD83D);
    EXPECT_EQ(codeAt("a\xF0\x9F\x98\x80", 2, 6), 0xDE00);
    EXPECT_EQ(codeAt("a\xF0\x9F\x98\x80", 3, 6), -1);
    EXPECT_EQ(codeAt("\xE2\x82\xAC", 0, 5), 0x80);
    // string_ops_swf6: chr, mbchr, ord and mbord on UTF-16 code units.
    for (std::uint32_t code : { 80u, 65616u, std::uint32_t(-65456) })
        EXPECT_EQ(mbCharFromCode(code), "P") << code;
    EXPECT_EQ(mbCharFromCode(0xD801), "\xEF\xBF\xBD");
    EXPECT_EQ(mbCharFromCode(0xABABABAB), "\xEA\xAE\xAB");
    EXPECT_EQ(mbCharFromCode(0), "");
    EXPECT_EQ(charFromCode(12345, 6), "\xE3\x80\xB9");
    EXPECT_EQ(ordOfFirst("bar", 6), 98u);
    EXPECT_EQ(ordOfFirst("\xE6\x84\x9B", 6), 24859u);
    EXPECT_EQ(ordOfFirst("\xF0\x9F\x98\x8B", 6), 65533u);
    EXPECT_EQ(mbCodeOfFirst("\xF0\x9F\x98\x8B"), 65533u);
    EXPECT_EQ(ordOfFirst("\xC3\xA9", 5), 0xE9u);
    EXPECT_EQ(ordOfFirst("", 6), 0u);
    EXPECT_EQ(utf16Length("\xF0\x9F\x98\x8B\xD0\xA1\xD0\xBF\xD0\xB0\xD1\x81\xD0\xB8\xD0\xB1\xD0\xBE"
                          "\xF0\x9D\x8C\x86\xF0\x9D\x8C\x86hello"),
        18u);
    // string_methods_swfv5: a code 0 ends String.fromCharCode's string.
    const std::uint32_t withZero[] = { 80, 0, 82 };
    EXPECT_EQ(stringFromCharCodes(withZero, 3, 5), "P");
    EXPECT_EQ(stringFromCharCodes(withZero, 3, 7), "P");
    const std::uint32_t pair[] = { 0xD83D, 0xDE0B, 0x41 };
    EXPECT_EQ(stringFromCharCodes(pair, 3, 6),
        "\xF0\x9F\x98\x8B"
        "A");
    EXPECT_EQ(stringFromCharCodes(pair + 1, 2, 6),
        "\xED\xB8\x8B"
        "A"); // the low half on its own
    EXPECT_EQ(mbCodeOfFirst("\xE3\x81\x82z"), 0x3042u);
    EXPECT_EQ(mbCodeOfFirst(""), 0u);
}

namespace {

// Runs a test body in a fixed time zone, given as a POSIX TZ rule so that no zone database is needed.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char* rule)
    {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        setenv("TZ", rule, 1);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_old)
            setenv("TZ", m_old->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> m_old;
};

constexpr const char* kNepal = "NPT-5:45";
constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";

} // namespace

TEST(DateMath, FieldsOfTimeValues)
{
    struct Case {
        double time;
        DateFields utc;
    };
    const Case cases[] = {
        { 0, { 1970, 0, 1, 0, 0, 0, 0, 4 } },
        { -1, { 1969, 11, 31, 23, 59, 59, 999, 3 } },
        { 951782400000.0, { 2000, 1, 29, 0, 0, 0, 0, 2 } }, // a leap day of a 400th year
        { 4107542400000.0, { 2100, 2, 1, 0, 0, 0, 0, 1 } }, // 2100 has no 29 February
        { 1672531200000.0, { 2023, 0, 1, 0, 0, 0, 0, 0 } }, // amf0_serde_suite's date
        { -62135596800000.0, { 1, 0, 1, 0, 0, 0, 0, 1 } },
        { 8.64e15, { 275760, 8, 13, 0, 0, 0, 0, 6 } },
        { -8.64e15, { -271821, 3, 20, 0, 0, 0, 0, 2 } },
    };
    for (const Case& c : cases) {
        DateFields f = fieldsOf(c.time, Zone::Utc);
        const double got[] = { f.year, f.month, f.date, f.hours, f.minutes, f.seconds, f.milliseconds, f.weekday };
        const double want[] = { c.utc.year, c.utc.month, c.utc.date, c.utc.hours, c.utc.minutes, c.utc.seconds,
            c.utc.milliseconds, c.utc.weekday };
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(got[i], want[i]) << "field " << i << " of " << c.time;
        EXPECT_EQ(makeTime(c.utc, Zone::Utc), c.time) << c.time;
    }
    EXPECT_TRUE(std::isnan(fieldsOf(kNaN, Zone::Local).year));
}

TEST(DateMath, MakeTimeCarriesAndClips)
{
    struct Case {
        DateFields fields;
        double time;
    };
    const Case cases[] = {
        { { 1970, 12, 1, 0, 0, 0, 0, 0 }, 31536000000.0 }, // month 12 is January of the next year
        { { 1970, -1, 1, 0, 0, 0, 0, 0 }, -2678400000.0 }, // month -1 is December before
        { { 1970, 2, 0, 0, 0, 0, 0, 0 }, 58 * 86400000.0 }, // date 0 is the last of February
        { { 1970, 0, 1, -1, 0, 0, 0, 0 }, -3600000.0 },
        { { 1970, 0, 1, 0, 0, 0, 1500.9, 0 }, 1500 }, // parts are cut to integers
        { { 1970, 0, 1, 0, 90, -30, 0, 0 }, 90 * 60000.0 - 30000 },
        { { 2000, 1.7, 29.2, 0, 0, 0, 0, 0 }, 951782400000.0 },
        { { 275760, 8, 13, 0, 0, 0, 1, 0 }, kNaN }, // past the valid range
        { { 1970, kNaN, 1, 0, 0, 0, 0, 0 }, kNaN },
        { { kInf, 0, 1, 0, 0, 0, 0, 0 }, kNaN },
        { { 1e300, 0, 1, 0, 0, 0, 0, 0 }, kNaN },
        { { 1970, 1e300, 1, 0, 0, 0, 0, 0 }, kNaN },
        { { 1970, 0, 1e300, 0, 0, 0, 0, 0 }, kNaN },
    };
    for (const Case& c : cases) {
        double t = makeTime(c.fields, Zone::Utc);
        if (std::isnan(c.time))
            EXPECT_TRUE(std::isnan(t)) << t;
        else
            EXPECT_EQ(t, c.time);
    }
    EXPECT_EQ(utcTime(70, 0), 0);
    EXPECT_EQ(utcTime(99.5, 11, 31, 23, 59, 59, 999), 946684799999.0);
    EXPECT_EQ(utcTime(100, 0), -59011459200000.0); // only 0 to 99 are two-digit years
    EXPECT_EQ(utcTime(-1, 0), -62198755200000.0);
    EXPECT_EQ(fullYear(5), 1905);
    EXPECT_EQ(fullYear(2005), 2005);
}

TEST(DateMath, LocalTimeAndItsString)
{
    {
        ScopedTimeZone zone(kNepal);
        // native_subclasses: new Date(123456) printed in a zone at +05:45.
        EXPECT_EQ(toDateString(123456), "Thu Jan 1 05:47:03 GMT+0545 1970");
        EXPECT_EQ(timezoneOffsetMinutes(0), -345);
        DateFields f = fieldsOf(123456, Zone::Local);
        EXPECT_EQ(f.hours, 5);
        EXPECT_EQ(f.minutes, 47);
        EXPECT_EQ(makeTime(f, Zone::Local), 123456);
    }
    {
        ScopedTimeZone zone(kCentralEurope);
        EXPECT_EQ(toDateString(1796663749000.0), "Mon Dec 7 18:15:49 GMT+0100 2026");
        EXPECT_EQ(toDateString(1782994549000.0), "Thu Jul 2 14:15:49 GMT+0200 2026");
        EXPECT_EQ(timezoneOffsetMinutes(1782994549000.0), -120);
        // Local fields in summer and winter map back to the same moments.
        for (double t : { 1796663749000.0, 1782994549000.0, -1.0, 1774746000000.0 /* 29 Mar 2026 01:00 UTC */ })
            EXPECT_EQ(makeTime(fieldsOf(t, Zone::Local), Zone::Local), t) << t;
        EXPECT_EQ(makeTime({ 2026, 2, 29, 2, 30, 0, 0, 0 }, Zone::Local)
                - makeTime({ 2026, 2, 29, 1, 30, 0, 0, 0 }, Zone::Local),
            3600000.0); // 02:30 does not exist that night: read at the offset before the change
    }
    {
        ScopedTimeZone zone("EST+5");
        EXPECT_EQ(toDateString(0), "Wed Dec 31 19:00:00 GMT-0500 1969");
        EXPECT_EQ(timezoneOffsetMinutes(0), 300);
    }
    EXPECT_EQ(toDateString(kNaN), "Invalid Date");
    EXPECT_TRUE(std::isnan(timezoneOffsetMinutes(kNaN)));
    EXPECT_GT(now(), 1.6e12);
}

TEST(AvmText, ArbitraryBytesAreReadSafely)
{
    // Every reader on random bytes (biased towards the characters the parsers act on): no crash, no
    // out-of-range read under the sanitizers, and UTF-8 out wherever UTF-8 is promised.
    const std::string alphabet = "0123456789abcdefxXeE+-. %uz\t\r\n\x80\xC3\xE3\xF0\xFF";
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (std::uint32_t n = next() % 12; n > 0; --n)
            text += alphabet[(next() >> 8) % alphabet.size()];
        for (int version : { 4, 5, 6, 7 })
            stringToNumber(text, version);
        parseInt(text, std::nullopt, 8);
        parseInt(text, int(next() % 40), 8);
        parseFloat(text);
        std::string plain = unescape(text);
        EXPECT_EQ(sanitizeUtf8(plain), plain);
        EXPECT_EQ(unescape(escape(plain)), plain);
        EXPECT_EQ(utf16ToUtf8(utf8ToUtf16(text)), sanitizeUtf8(text));
        utf16Substring(text, next() % 8, next() % 8);
        codeAt(text, next() % 8, 5 + int(next() % 2));
        double value = std::ldexp(double(std::int32_t(next())), int(next() % 2100) - 1050);
        numberToString(value, int(next() % 40));
        // The printed number reads back to within its 15 digits ("Infinity" does not read back, and 15 digits
        // may round past the largest number).
        if (std::fabs(value) < 1e308 && value != 0) {
            EXPECT_NEAR(stringToNumber(numberToString(value), 7) / value, 1, 1e-14) << value;
        }
        DateFields fields = fieldsOf(value, Zone::Local);
        makeTime(fields, Zone::Local);
        toDateString(value);
    }
}

// ---- text fields typed into through the host's key events ----

namespace {

using reelfinch::avm1::Machine;
using reelfinch::avm1::Value;

// A field made by createTextField on the root, focused, with keys typed as the host sends them (Mac virtual key
// code and character).
struct TypedField {
    reelfinch::plugin::MoviePlayer player;
    Machine m { player, 8 };
    Value field;

    explicit TypedField(const char* setup)
    {
        Value root(m.rootClip());
        Value args[6] = { Value(m.str("t")), Value(1.0), Value(0.0), Value(0.0), Value(100.0), Value(20.0) };
        field = m.callMethod(root, "createTextField", args, 6);
        m.setMember(field, "type", Value(m.str("input")));
        m.setMember(field, "variable", Value(m.str("typed")));
        // Each change the user makes reaches the field's own onChanged.
        m.setMember(root, "changes", Value(0.0));
        m.define(field.asObject(), "onChanged",
            Value(static_cast<reelfinch::avm1::Object*>(m.newNative([](Machine& mm, const Value&, const Value*, int) {
                Value root(mm.rootClip());
                mm.setMember(root, "changes", Value(mm.toNumber(mm.getMember(root, "changes")) + 1));
                return Value();
            }))));
        for (const char* p = setup; *p;) {
            const char* eq = std::strchr(p, '=');
            const char* end = std::strchr(p, ';');
            if (!eq || !end)
                break;
            const std::string name(p, eq);
            const std::string value(eq + 1, end);
            if (name == "maxChars")
                m.setMember(field, name, Value(std::atof(value.c_str())));
            else if (name == "multiline")
                m.setMember(field, name, Value(value == "true"));
            else
                m.setMember(field, name, Value(m.str(value)));
            p = end + 1;
        }
        Value selection = m.getMember(Value(m.m_Global), "Selection");
        m.callMethod(selection, "setFocus", &field, 1);
    }

    // Keys: a printable character types itself; '<' is backspace, '{' the left arrow, '|' return.
    void type(const char* keys)
    {
        for (const char* k = keys; *k; ++k) {
            uint8_t mac = 0;
            uint8_t c = uint8_t(*k);
            if (*k == '<') {
                mac = 0x33;
                c = 8;
            } else if (*k == '{') {
                mac = 0x7B;
                c = 0x1C;
            } else if (*k == '|') {
                mac = 0x24;
                c = 13;
            }
            const auto key = reelfinch::avm1::ScriptKeyFromMac(mac, c);
            reelfinch::avm1::DeliverKeyEvent(m, true, key.code, key.ascii);
            reelfinch::avm1::DeliverKeyEvent(m, false, key.code, key.ascii);
        }
    }
    std::string get(const char* name) { return m.toString(m.getMember(field, name)); }
    std::string root(const char* name) { return m.toString(m.getMember(Value(m.rootClip()), name)); }
};

} // namespace

// The host's Paste and typed text: the selection (all of the text after Select All, else the caret at the end)
// takes the clipboard as far as restrict and maxChars let it, with one onChanged; nothing to paste changes nothing.
TEST(TextFieldTyping, PasteAndHostTextFollowTheFieldsRules)
{
    struct Case {
        const char* setup;
        const char* before; // typed first
        bool selectAll;
        const char16_t* clipboard;
        const char* text;
        const char* changes; // after the typing before
    };
    const Case cases[] = {
        { "", "ab", false, u"cd", "abcd", "1" },
        { "", "ab", true, u"cd", "cd", "1" },
        { "", "ab", true, u"", "ab", "0" },
        { "restrict=bc;maxChars=3;", "", false, u"aAbBcCdD", "bbc", "1" },
        { "restrict=bc;maxChars=3;", "", false, u"aaa", "", "0" },
        { "maxChars=3;", "ab", false, u"xyz", "abx", "1" },
        { "maxChars=3;", "abc", false, u"x", "abc", "0" },
        { "", "", false, u"a\r\nb", "ab", "1" },
        { "multiline=true;", "", false, u"a\r\nb\nc", "a\rb\rc", "1" },
        { "type=dynamic;", "", false, u"ab", "", "0" },
    };
    for (const Case& c : cases) {
        TypedField f(c.setup);
        f.type(c.before);
        f.m.setMember(Value(f.m.rootClip()), "changes", Value(0.0));
        if (c.selectAll)
            reelfinch::avm1::SelectAllInFocus(f.m);
        reelfinch::avm1::PasteIntoFocus(f.m, c.clipboard);
        EXPECT_EQ(f.get("text"), c.text) << c.setup << " " << c.before;
        EXPECT_EQ(f.root("changes"), c.changes) << c.setup << " " << c.before;
    }
    // Text typed by the host without a key: Key hears nothing, a line end is Enter's.
    TypedField single("");
    EXPECT_TRUE(reelfinch::avm1::TextIntoFocus(single.m, U'x'));
    EXPECT_FALSE(reelfinch::avm1::TextIntoFocus(single.m, U'\r'));
    EXPECT_EQ(single.get("text"), "x");
    EXPECT_EQ(single.m.toNumber(single.m.callMethod(single.m.getMember(Value(single.m.m_Global), "Key"), "getCode",
                  nullptr, 0)),
        0);
    TypedField lines("multiline=true;");
    EXPECT_TRUE(reelfinch::avm1::TextIntoFocus(lines.m, U'x'));
    EXPECT_TRUE(reelfinch::avm1::TextIntoFocus(lines.m, U'\n'));
    EXPECT_EQ(lines.get("text"), "x\r");
}

TEST(TextFieldTyping, KeysEditTheFocusedInputField)
{
    struct Case {
        const char* setup; // name=value; pairs set before typing
        const char* keys;
        const char* text;
        const char* changes;
    };
    const Case cases[] = {
        { "", "abc", "abc", "3" },
        { "maxChars=2;", "abc", "ab", "2" },
        { "restrict=0-9;", "a1b2", "12", "2" },
        { "restrict=^a;", "abca", "bc", "2" },
        { "restrict=bc;", "aBCd", "bc", "2" },
        { "restrict=A-Z^Q;", "aqQz", "AZ", "2" },
        { "restrict=a-c\\-;", "a-dc", "a-c", "3" },
        { "", "abc<", "ab", "4" },
        { "", "<<", "", "0" },
        { "", "ac{b", "abc", "3" },
        { "", "a|b", "ab", "2" },
        { "multiline=true;", "a|b", "a\rb", "3" },
        { "type=dynamic;", "abc", "", "0" },
    };
    for (const Case& c : cases) {
        TypedField f(c.setup);
        f.type(c.keys);
        EXPECT_EQ(f.get("text"), c.text) << c.setup << " " << c.keys;
        EXPECT_EQ(f.root("changes"), c.changes) << c.setup << " " << c.keys;
        // The bound variable follows what was typed.
        if (std::string(c.text).size()) {
            EXPECT_EQ(f.root("typed"), c.text) << c.setup << " " << c.keys;
        }
    }
}

TEST(TextFieldTyping, RemovedFieldsAnswerNothingAndLoseTheFocus)
{
    TypedField f("");
    f.type("ab");
    f.m.callMethod(f.field, "removeTextField", nullptr, 0);
    // The script still holds the object; the field behind it is gone.
    EXPECT_TRUE(f.m.getMember(f.field, "text").isUndefined());
    EXPECT_TRUE(f.m.getMember(f.field, "_x").isUndefined());
    Value selection = f.m.getMember(Value(f.m.m_Global), "Selection");
    EXPECT_TRUE(f.m.callMethod(selection, "getFocus", nullptr, 0).isNull());
    f.type("cd"); // no field has the focus: nothing happens
    EXPECT_EQ(f.root("typed"), "ab");
    // Kept by a script variable, the object outlives a collection and still names where it was.
    f.m.setMember(Value(f.m.rootClip()), "kept", f.field);
    f.m.collectGarbage();
    EXPECT_EQ(f.m.toString(f.field), "_level0.t");
}

// An input method's composing text: shown in the field (text, length, its variable) at the selection, replaced
// by the next one wherever scripts moved it, heard by nobody until the focus leaves with it still shown.
TEST(TextFieldTyping, ComposingTextShowsUntilTheFocusLeaves)
{
    using reelfinch::avm1::ComposeInFocus;
    const auto call = [](TypedField& f, const char* method, std::vector<Value> args) {
        return f.m.callMethod(f.field, method, args.data(), int(args.size()));
    };
    const auto caret = [](TypedField& f) {
        return f.m.toNumber(
            f.m.callMethod(f.m.getMember(Value(f.m.m_Global), "Selection"), "getCaretIndex", nullptr, 0));
    };
    {
        TypedField f("");
        f.type("ab{");
        EXPECT_TRUE(ComposeInFocus(f.m, u"xy", 1));
        EXPECT_EQ(f.get("text"), "axyb");
        EXPECT_EQ(f.get("length"), "4");
        EXPECT_EQ(f.root("typed"), "axyb");
        EXPECT_EQ(caret(f), 2);
        // Without a caret of its own the caret follows the composed text; typing goes there.
        EXPECT_TRUE(ComposeInFocus(f.m, u"xyz", std::nullopt));
        EXPECT_EQ(caret(f), 4);
        f.type("c");
        EXPECT_EQ(f.get("text"), "axyzcb");
        // An empty text takes it away, and nothing was heard of it.
        f.m.setMember(Value(f.m.rootClip()), "changes", Value(0.0));
        EXPECT_TRUE(ComposeInFocus(f.m, u"", std::nullopt));
        EXPECT_FALSE(ComposeInFocus(f.m, u"", std::nullopt));
        EXPECT_EQ(f.get("text"), "acb");
        EXPECT_EQ(caret(f), 1);
        EXPECT_EQ(f.root("changes"), "0");
    }
    {
        // Scripts edit beside it: replaceSel goes after it (where the caret is), an edit before it moves it.
        TypedField f("");
        ComposeInFocus(f.m, u"q", 1);
        call(f, "replaceSel", { Value(f.m.str("|")) });
        call(f, "replaceText", { Value(0.0), Value(0.0), Value(f.m.str("A")) });
        EXPECT_EQ(f.get("text"), "Aq|");
        ComposeInFocus(f.m, u"we", 2);
        EXPECT_EQ(f.get("text"), "Awe|");
        // The focus leaving keeps it as typed text, heard once; the field keeps no selection.
        Value none = Value::null();
        f.m.callMethod(f.m.getMember(Value(f.m.m_Global), "Selection"), "setFocus", &none, 1);
        EXPECT_EQ(f.root("changes"), "1");
        EXPECT_EQ(f.root("typed"), "Awe|");
        EXPECT_FALSE(ComposeInFocus(f.m, u"z", 0));
        call(f, "replaceSel", { Value(f.m.str("|")) });
        EXPECT_EQ(f.get("text"), "|Awe|");
        EXPECT_EQ(f.root("changes"), "1");
    }
    {
        // A script's text replacing what was composed leaves nothing to keep.
        TypedField f("");
        ComposeInFocus(f.m, u"q", 1);
        f.m.setMember(f.field, "text", Value(f.m.str("new")));
        ComposeInFocus(f.m, u"w", 1);
        EXPECT_EQ(f.get("text"), "neww");
        f.m.setMember(f.field, "htmlText", Value(f.m.str("<p>x</p>")));
        Value none = Value::null();
        f.m.callMethod(f.m.getMember(Value(f.m.m_Global), "Selection"), "setFocus", &none, 1);
        EXPECT_EQ(f.root("changes"), "0");
    }
    {
        // A new composing takes the selection's place, as typing the field's way would.
        TypedField f("restrict=a-z;maxChars=3;");
        f.type("ab");
        reelfinch::avm1::SelectAllInFocus(f.m);
        EXPECT_TRUE(ComposeInFocus(f.m, u"X1yzw", 5));
        EXPECT_EQ(f.get("text"), "xyz");
        EXPECT_EQ(caret(f), 3);
        EXPECT_TRUE(ComposeInFocus(f.m, u"", std::nullopt));
        EXPECT_EQ(f.get("text"), "");
        TypedField dynamic("type=dynamic;");
        EXPECT_FALSE(ComposeInFocus(dynamic.m, u"q", 1));
        EXPECT_EQ(dynamic.get("text"), "");
    }
}

TEST(TextFieldTyping, TabMovesTheFocusInOrder)
{
    struct Case {
        const char* indices; // tab index of fields a, b, c ('-' for none)
        const char* focused; // the focus after each Tab
    };
    // a lies below b, c right of b on the same row.
    const Case cases[] = {
        { "---", "bca" },
        { "312", "bca" },
        { "1-2", "aca" },
        { "21-", "bab" },
    };
    for (const Case& c : cases) {
        reelfinch::plugin::MoviePlayer player;
        Machine m { player, 8 };
        Value root(m.rootClip());
        const double places[3][2] = { { 0, 50 }, { 0, 0 }, { 40, 0 } };
        for (int i = 0; i < 3; ++i) {
            const char name[2] = { char('a' + i), 0 };
            Value args[6] = { Value(m.str(name)), Value(double(i)), Value(places[i][0]), Value(places[i][1]),
                Value(30.0), Value(20.0) };
            Value field = m.callMethod(root, "createTextField", args, 6);
            m.setMember(field, "type", Value(m.str("input")));
            if (c.indices[i] != '-')
                m.setMember(field, "tabIndex", Value(double(c.indices[i] - '0')));
        }
        Value selection = m.getMember(Value(m.m_Global), "Selection");
        std::string seen;
        for (size_t k = 0; c.focused[k]; ++k) {
            const auto key = reelfinch::avm1::ScriptKeyFromMac(0x30, 9);
            reelfinch::avm1::DeliverKeyEvent(m, true, key.code, key.ascii);
            reelfinch::avm1::DeliverKeyEvent(m, false, key.code, key.ascii);
            const std::string focus = m.toString(m.callMethod(selection, "getFocus", nullptr, 0));
            seen += focus.empty() ? '?' : focus.back();
        }
        EXPECT_EQ(seen, c.focused) << c.indices;
    }
}

// ---- the field's text model: HTML in and out, and layout figures ----

namespace {

std::string Shown(const std::u16string& s)
{
    std::string out = reelfinch::plugin::ToUtf8(s);
    for (char& c : out)
        if (c == '\r')
            c = '|';
    return out;
}

} // namespace

TEST(TextFieldModel, HtmlReadsAsThePlayerBreaksIt)
{
    struct Case {
        const char* html;
        bool multiline;
        const char* text; // '|' for each paragraph break
    };
    const Case cases[] = {
        { "<p>a</p><p>b</p>", true, "a|b|" },
        { "<p>a</p><p>b</p>", false, "ab" },
        { " <li>a</li> <li>b</li> ", true, " |a| |b| " },
        { "a\nb", false, "a|b" },
        { "a<br>b", true, "a|b" },
        { "a<br>b", false, "ab" },
        { "&lt;&amp;&#65;&#x42;&bogus;", true, "<&AB&bogus;" },
        { "<b>unclosed", true, "unclosed" },
        { "text<font", true, "text" }, // an unfinished tag hides the rest
        { "<unknown>x</unknown>", true, "x" },
    };
    for (const Case& c : cases) {
        reelfinch::plugin::EditField f;
        f.multiline = c.multiline;
        f.setHtml(reelfinch::plugin::ToUtf16(c.html));
        EXPECT_EQ(Shown(f.text), c.text) << c.html;
        EXPECT_EQ(f.formats.size(), f.text.size()) << c.html;
    }
}

TEST(TextFieldModel, HtmlOutNestsFormatsAndColours)
{
    struct Case {
        const char* html;
        const char* inner; // what the paragraph's FONT holds
    };
    const Case cases[] = {
        { "x<b>y</b>", "x<B>y</B>" },
        { "a<font size=\"14\">b<font face=\"F\">c</font></font>d",
            "a<FONT SIZE=\"14\">b<FONT FACE=\"F\">c</FONT></FONT>d" },
        { "x<font color=\"#2345678\">c</font>", "x<FONT COLOR=\"#345678\">c</FONT>" },
        { "x<font color=\"123456\">c</font>", "xc" }, // a colour without '#' changes nothing
        { "x<font color=\"#\">c</font>", "xc" },
        { "<b>b</b>", "<B>b</B>" },
        { "<a href=\"u\" target=\"t\">l</a>", "<A HREF=\"u\" TARGET=\"t\">l</A>" },
        { "&lt;\"", "&lt;&quot;" },
        // Styles close with their run and open again for the next; a link goes outside them.
        { "<b><i>x</i> y</b>", "<B><I>x</I></B><B> y</B>" },
        { "<i><a href=\"u\"><b>x</b></a></i>", "<A HREF=\"u\" TARGET=\"\"><B><I>x</I></B></A>" },
        // A FONT stays open until a run returns to one below it; other runs nest a new one inside.
        { "a<font color=\"#aaaaaa\">b</font><font size=\"16\">c</font>",
            "a<FONT COLOR=\"#AAAAAA\">b<FONT SIZE=\"16\" COLOR=\"#000000\">c</FONT></FONT>" },
        { "a<font color=\"#aaaaaa\">b<font size=\"16\">c</font></font>d",
            "a<FONT COLOR=\"#AAAAAA\">b<FONT SIZE=\"16\">c</FONT></FONT>d" },
        { "a<font color=\"#aaaaaa\">b</font><b>c</b>", "a<FONT COLOR=\"#AAAAAA\">b</FONT><B>c</B>" },
        // A closing tag that does not name the innermost open element is passed over.
        { "<b>a<i>b</b>c</i>d</b>e", "<B>a</B><B><I>bc</I></B><B>d</B>e" },
        // Sizes are whole pixels from 1 to 127, relative ones counted from the whole size.
        { "a<font size=\"14.9\">b<font size=\"+0.2\">c</font></font>",
            "a<FONT SIZE=\"14\">bc</FONT>" },
        { "a<font size=\"0\">b<font size=\"-3\">c</font></font>",
            "a<FONT SIZE=\"1\">bc</FONT>" },
        { "a<font size=\"126\">b<font size=\"+5\">c</font></font>",
            "a<FONT SIZE=\"126\">b<FONT SIZE=\"127\">c</FONT></FONT>" },
    };
    for (const Case& c : cases) {
        reelfinch::plugin::EditField f;
        f.setHtml(reelfinch::plugin::ToUtf16(c.html));
        const std::string out = reelfinch::plugin::ToUtf8(f.htmlText());
        const std::string head = "KERNING=\"0\">";
        const size_t a = out.find(head);
        const size_t b = out.rfind("</FONT></P>");
        ASSERT_TRUE(a != std::string::npos && b != std::string::npos) << out;
        EXPECT_EQ(out.substr(a + head.size(), b - a - head.size()), c.inner) << c.html;
    }
    // A break that ends the text opens no paragraph of its own; an empty field shows none.
    reelfinch::plugin::EditField f;
    f.setText(u"a\r");
    const std::string one = reelfinch::plugin::ToUtf8(f.htmlText());
    EXPECT_EQ(one.find("<P"), one.rfind("<P"));
    f.setText(u"");
    EXPECT_EQ(reelfinch::plugin::ToUtf8(f.htmlText()), "");
    // An empty paragraph keeps the link and styles of its break.
    f.setHtml(u"<b>\n</b>\n<a href=\"u\">\n</a>");
    const std::string empty = reelfinch::plugin::ToUtf8(f.htmlText());
    EXPECT_NE(empty.find("<B></B>"), std::string::npos) << empty;
    EXPECT_NE(empty.find("<A HREF=\"u\" TARGET=\"\"></A>"), std::string::npos) << empty;
    EXPECT_EQ(empty.find("<B></B>", empty.find("<B></B>") + 1), std::string::npos) << "the plain break shows none";
    // In a multiline field each list item ends its line; a paragraph inside an open one adds no line.
    f.multiline = true;
    for (const char16_t* html : { u"<p><p><li>t</li></p></p>", u"<li><p><p>t</p></p></li>" }) {
        f.setHtml(html);
        EXPECT_EQ(f.text, u"t\r\r") << reelfinch::plugin::ToUtf8(html);
    }
    // The break a closing paragraph makes carries no style: the empty paragraph shows none.
    f.setHtml(u"<b><p></p></b>");
    EXPECT_EQ(reelfinch::plugin::ToUtf8(f.htmlText()).find("<B>"), std::string::npos);
}

TEST(TextFieldModel, AParagraphsBreakShowsItsOwnFormat)
{
    struct Case {
        const char16_t* html;
        const char* paragraph; // the first paragraph's FONT content
    };
    const Case cases[] = {
        // The break takes the format in force where it comes; one that differs ends the paragraph as an empty run.
        { u"<font color=\"#111111\">test</font><br>x", "test<FONT COLOR=\"#000000\"></FONT>" },
        { u"text<b><br></b>x", "text<B></B>" },
        // A break in the text's format adds nothing.
        { u"<b>test</b><br>x", "<B>test</B>" },
        { u"test<br>x", "test" },
        // A closing paragraph's break takes the figures of the last font closed, else the field's own.
        { u"<p><font color=\"#111111\">test</font></p>x", "test" },
        { u"<p>a<font color=\"#121212\"></font><font color=\"#131313\"><font color=\"#141414\"></font></font></p>x",
            "a<FONT COLOR=\"#131313\"></FONT>" },
        { u"<font color=\"#010101\"><p>a</p></font>x", "a<FONT COLOR=\"#000000\"></FONT>" },
    };
    for (const Case& c : cases) {
        reelfinch::plugin::EditField f;
        f.multiline = true;
        f.setHtml(c.html);
        const std::string out = reelfinch::plugin::ToUtf8(f.htmlText());
        const std::string head = "KERNING=\"0\">";
        const size_t a = out.find(head);
        const size_t b = out.find("</FONT></P>");
        ASSERT_TRUE(a != std::string::npos && b != std::string::npos) << out;
        EXPECT_EQ(out.substr(a + head.size(), b - a - head.size()), c.paragraph) << out;
    }
}

TEST(TextFieldModel, LayoutFigures)
{
    using reelfinch::plugin::CharFormat;
    // Every character 100 twips wide; lines 200 twips above the baseline and 50 below.
    const auto advance = [](char16_t, const CharFormat&) { return 100.0; };
    const auto metrics = [](const CharFormat&) { return std::pair<double, double> { 200.0, 50.0 }; };
    struct Case {
        const char* text;
        bool wrap;
        double width; // of the field, twips
        double leading; // pixels
        std::vector<double> tabStops; // pixels
        size_t lines;
        double textWidth;
        double textHeight;
    };
    const Case cases[] = {
        { "abc", false, 1000, 0, {}, 1, 300, 250 },
        { "abc", false, 1000, 2, {}, 1, 300, 290 }, // a lone line counts its leading
        { "ab\rcd", false, 1000, 2, {}, 2, 200, 540 }, // the last of several does not
        { "ab cd ef", true, 80 + 500, 0, {}, 2, 500, 500 }, // the space at the break takes no room it has not
        { "ab cd ef", true, 80 + 650, 0, {}, 2, 600, 500 }, // but takes it where it has
        { "abcdefgh", true, 80 + 300, 0, {}, 3, 300, 750 }, // a long word breaks between characters
        { "a\tb", false, 1000, 0, { 20 }, 1, 500, 250 }, // the tab reaches 400 twips
        { "a\tb", false, 2000, 0, {}, 1, 2.7 * 12 * 20 + 100, 250 }, // default stops 2.7 sizes apart
        { "a\tb\tc", false, 2000, 0, { 20 }, 1, 600, 250 }, // past the field's own stops a tab takes no room
    };
    for (const Case& c : cases) {
        reelfinch::plugin::EditField f;
        f.wordWrap = c.wrap;
        f.right = c.width;
        f.newFormat.leading = c.leading;
        f.newFormat.tabStops = c.tabStops;
        f.setText(reelfinch::plugin::ToUtf16(c.text));
        const auto layout = reelfinch::plugin::LayoutField(f, advance, metrics);
        EXPECT_EQ(layout.lines.size(), c.lines) << c.text;
        EXPECT_DOUBLE_EQ(layout.textWidth, c.textWidth) << c.text;
        EXPECT_DOUBLE_EQ(layout.textHeight, c.textHeight) << c.text;
    }
    // A first line indented past the field's width keeps its first word whole; a negative indent stops at the
    // field's edge, so the line has the whole width.
    reelfinch::plugin::EditField f;
    f.wordWrap = true;
    f.right = 80 + 400;
    f.newFormat.indent = 1000;
    f.setText(u"abcd efgh");
    auto layout = reelfinch::plugin::LayoutField(f, advance, metrics);
    ASSERT_EQ(layout.lines.size(), 2u);
    EXPECT_EQ(layout.lines[0].end, 4u);
    f.newFormat.indent = -1000;
    f.setText(u"abcdef");
    layout = reelfinch::plugin::LayoutField(f, advance, metrics);
    EXPECT_EQ(layout.lines.size(), 2u); // four characters a line, as without an indent

    // Spaces ending a right-aligned or centred line take room only in fields of older movies; left-aligned lines
    // always count them.
    for (const auto align : { reelfinch::plugin::TextAlign::Left, reelfinch::plugin::TextAlign::Right,
             reelfinch::plugin::TextAlign::Center }) {
        for (const bool keep : { false, true }) {
            reelfinch::plugin::EditField g;
            g.right = 2000;
            g.alignedTrailingSpaces = keep;
            g.newFormat.align = align;
            g.setText(u" ab  ");
            const auto spaced = reelfinch::plugin::LayoutField(g, advance, metrics);
            const bool counted = keep || align == reelfinch::plugin::TextAlign::Left;
            EXPECT_DOUBLE_EQ(spaced.textWidth, counted ? 500 : 300) << int(align) << keep;
        }
    }
}

// Kerning pulls a pair together only where the format asks for it and both characters share the font and size;
// a line measured with it may then fit where it would wrap without.
TEST(TextFieldModel, KerningAppliesBetweenPairsOfOneFont)
{
    using reelfinch::plugin::CharFormat;
    const auto advance = [](char16_t, const CharFormat&) { return 100.0; };
    const auto metrics = [](const CharFormat&) { return std::pair<double, double> { 200.0, 50.0 }; };
    const reelfinch::plugin::PairKerning kerning = [](char16_t a, char16_t b, const CharFormat&) {
        return a == u'A' && b == u'V' ? -30.0 : 0.0;
    };
    const auto width = [&](bool kern, const char* otherFontFrom, bool wrap, double right) {
        reelfinch::plugin::EditField f;
        f.right = right;
        f.wordWrap = wrap;
        f.newFormat.kerning = kern;
        f.setText(u"AVAV");
        for (size_t i = otherFontFrom ? std::strlen(otherFontFrom) : f.formats.size(); i < f.formats.size(); ++i)
            f.formats[i].font = "Other";
        const auto layout = reelfinch::plugin::LayoutField(f, advance, metrics, kerning);
        return std::pair(layout.textWidth, layout.lines.size());
    };
    EXPECT_EQ(width(false, nullptr, false, 2000), std::pair(400.0, size_t(1)));
    EXPECT_EQ(width(true, nullptr, false, 2000), std::pair(340.0, size_t(1)));
    EXPECT_EQ(width(true, "A", false, 2000), std::pair(370.0, size_t(1))); // the first pair spans two fonts
    EXPECT_EQ(width(true, nullptr, true, 80 + 340), std::pair(340.0, size_t(1)));
    EXPECT_EQ(width(false, nullptr, true, 80 + 340).second, size_t(2));
}

// A paragraph opened inside an open one adds no line of its own, but its paragraph figures (a list item's bullet
// where it stands inside one) become the open paragraph's, so the break closing that one shows them.
TEST(TextFieldModel, NestedParagraphsHandTheirFiguresOut)
{
    reelfinch::plugin::EditField f;
    f.multiline = true;
    const auto bullets = [&](const char16_t* html) {
        f.setHtml(html);
        std::string out;
        for (size_t i = 0; i < f.text.size(); ++i)
            if (f.text[i] == u'\r')
                out += f.formats[i].bullet ? 'L' : 'P';
        return out;
    };
    EXPECT_EQ(bullets(u"<p><li>t</li></p>"), "LP");
    EXPECT_EQ(bullets(u"<p><li><p>t</p></li></p>"), "LL");
    EXPECT_EQ(bullets(u"<p><p><li>t</li></p></p>"), "LP");
    EXPECT_EQ(bullets(u"<p><li><li><p>t</p></li></li></p>"), "LLL");
    f.setHtml(u"<p align=\"right\"><p align=\"center\">t</p></p>");
    EXPECT_EQ(f.formats.back().align, reelfinch::plugin::TextAlign::Center);
}

// Movies before version 7 read HTML with the older reader (white space between tags dropped, every closing
// paragraph a line end even in a single-line field), and only version 8 knows kerning.
TEST(TextFieldModel, HtmlReadsByTheMoviesVersion)
{
    reelfinch::plugin::EditField f;
    const std::u16string html = u"<p>a</p> <p>b</p> <font kerning=\"1\">c</font>";
    f.setHtml(html, 6);
    EXPECT_EQ(f.text, u"a\rb\rc");
    EXPECT_FALSE(f.formats.back().kerning);
    EXPECT_FALSE(f.multiline) << "the field stays single-line";
    f.setHtml(html, 7);
    EXPECT_EQ(f.text, u"a b c");
    EXPECT_FALSE(f.formats.back().kerning);
    f.setHtml(html, 8);
    EXPECT_TRUE(f.formats.back().kerning);
}

// A list item's lines all start past the bullet's room (its first-line indent does not count), and the bullet
// stands on its first line only.
TEST(TextFieldModel, ListItemsLeaveRoomForTheirBullet)
{
    using reelfinch::plugin::CharFormat;
    const auto advance = [](char16_t, const CharFormat&) { return 100.0; };
    const auto metrics = [](const CharFormat&) { return std::pair<double, double> { 200.0, 50.0 }; };
    const double room = reelfinch::plugin::kBulletIndent * 20;
    reelfinch::plugin::EditField f;
    f.multiline = f.wordWrap = true;
    f.right = 80 + room + 400; // four characters beside the bullet
    f.newFormat.indent = 5;
    f.setHtml(u"<li>aaa aaa</li>");
    const auto layout = reelfinch::plugin::LayoutField(f, advance, metrics, {});
    ASSERT_EQ(layout.lines.size(), 3u) << "two lines of text and the empty one after the last break";
    EXPECT_EQ(layout.lines[1].begin, 4u);
    EXPECT_DOUBLE_EQ(layout.textHeight, 2 * 250) << "the empty last line takes no room";
    const auto first = reelfinch::plugin::PlaceLine(f, layout.lines[0], advance, {});
    const auto second = reelfinch::plugin::PlaceLine(f, layout.lines[1], advance, {});
    EXPECT_DOUBLE_EQ(first.x.front(), 40 + room);
    EXPECT_DOUBLE_EQ(second.x.front(), 40 + room);
    ASSERT_TRUE(first.bullet.has_value());
    EXPECT_LT(*first.bullet, first.x.front());
    EXPECT_FALSE(second.bullet.has_value());
}

// Characters stand where the layout measured them: after a tab at the next stop (the format's own, or the
// default ones, which grow with the size), and closer by the kerning of their pair.
TEST(TextFieldModel, PlacedCharactersFollowTabStopsAndKerning)
{
    using reelfinch::plugin::CharFormat;
    const auto advance = [](char16_t, const CharFormat&) { return 100.0; };
    const auto metrics = [](const CharFormat&) { return std::pair<double, double> { 200.0, 50.0 }; };
    const reelfinch::plugin::PairKerning kerning = [](char16_t a, char16_t b, const CharFormat&) {
        return a == u'A' && b == u'V' ? -30.0 : 0.0;
    };
    reelfinch::plugin::EditField f;
    f.right = 4000;
    f.newFormat.kerning = true;
    f.setText(u"AV\tA");
    const auto placedWith = [&](const std::vector<double>& stops) {
        for (CharFormat& c : f.formats)
            c.tabStops = stops;
        const auto layout = reelfinch::plugin::LayoutField(f, advance, metrics, kerning);
        const auto placed = reelfinch::plugin::PlaceLine(f, layout.lines[0], advance, kerning);
        EXPECT_DOUBLE_EQ(placed.x.back() - placed.x.front(), layout.lines[0].width);
        return placed.x;
    };
    EXPECT_DOUBLE_EQ(placedWith({ 50 })[1] - 40, 70);
    EXPECT_DOUBLE_EQ(placedWith({ 50 })[3] - 40, 50 * 20);
    const double every = reelfinch::plugin::DefaultTabStop(f.formats[0]) * 20;
    EXPECT_DOUBLE_EQ(placedWith({})[3] - 40, every);
    f.formats[0].size = f.formats[1].size = f.formats[2].size = 24;
    EXPECT_GT(reelfinch::plugin::DefaultTabStop(f.formats[0]) * 20, every);
    // A size of nothing, or no number, gives no stops: the tab takes no room.
    for (double size : { 0.0, kNaN, -kInf }) {
        f.formats[2].size = size;
        EXPECT_DOUBLE_EQ(placedWith({})[3] - placedWith({})[2], 0) << size;
    }
}

// ---- style sheets ----

TEST(StyleSheetCss, ReadsAllOrNothing)
{
    // Each case: the CSS text and the rules it gives as "selector{name=value;...}" joined, or "!" when the text
    // does not read.
    struct Case {
        const char* css;
        const char* rules;
    };
    const Case cases[] = {
        { "one { color: red; }", "one{color=red;}" },
        { "one { kerning: 5 }", "one{kerning=5 ;}" }, // a value keeps the spaces before '}'
        { "a, b { k: v }", "a{k=v ;}b{k=v ;}" },
        { "long key { k: v }", "!" },
        { "one { color: blue; }; junk", "!" },
        { "{color:}", "!" },
        { "name", "!" },
        { "a}{}", "a}{}" },
        { "a{", "a{}" }, // a block may stay open at the end
        { "a{:}", "a{}" }, // empty names are passed over
        { "a{name", "!" },
        { "a{name}", "!" },
        { "a{name}b{:value}", "a{name}b{=value;}" }, // a name runs to its colon
        { "b{;;key: value;;other: value;}", "b{;;key=value;;other=value;}" },
        { "d{key: value;;}", "!" },
        { "a{key:", "!" },
        { "a{key:value", "!" },
        { "a{key:;", "a{key=;}" },
        { "k {p with space: v; }", "!" },
        { "k {  p  :   a  b  }", "k{p  =a  b  ;}" },
        { "k {font-size: 1; a--b: 2; UPPER-X: 3;}", "k{fontSize=1;a-b=2;UPPERX=3;}" },
        { "", "" },
    };
    for (const Case& c : cases) {
        const auto rules = reelfinch::avm1::ParseCss(c.css);
        std::string out;
        if (!rules) {
            out = "!";
        } else {
            for (const auto& rule : *rules)
                for (const auto& selector : rule.selectors) {
                    out += selector + "{";
                    for (const auto& [name, value] : rule.declarations)
                        out += name + "=" + value + ";";
                    out += "}";
                }
        }
        EXPECT_EQ(out, c.rules) << c.css;
    }
}

namespace {

struct SheetMachine {
    reelfinch::plugin::MoviePlayer player;
    Machine m { player, 8 };
    Value sheet;

    SheetMachine()
    {
        Value ctor = m.getMember(m.getMember(Value(m.m_Global), "TextField"), "StyleSheet");
        sheet = m.construct(ctor, nullptr, 0);
        m.setMember(Value(m.rootClip()), "sheet", sheet);
    }
    Value call(const char* method, std::vector<Value> args)
    {
        return m.callMethod(sheet, method, args.data(), int(args.size()));
    }
    Value style(std::vector<std::pair<const char*, Value>> fields)
    {
        Value o(m.newObject());
        for (const auto& [name, value] : fields)
            m.setMember(o, name, value);
        return o;
    }
};

} // namespace

TEST(StyleSheetObject, StylesAreShallowCopiesAndParsingReplacesWholeStyles)
{
    SheetMachine s;
    Machine& m = s.m;
    Value nested(m.newObject());
    Value given = s.style({ { "color", Value(m.str("#FF0000")) }, { "nested", nested } });
    s.call("setStyle", { Value(m.str("a")), given });
    Value got = s.call("getStyle", { Value(m.str("a")) });
    ASSERT_TRUE(got.isObject());
    EXPECT_FALSE(m.strictEquals(got, given));
    EXPECT_TRUE(m.strictEquals(m.getMember(got, "nested"), nested));
    // Changing what was given changes nothing stored.
    m.setMember(given, "color", Value(m.str("#00FF00")));
    EXPECT_EQ(m.toString(m.getMember(s.call("getStyle", { Value(m.str("a")) }), "color")), "#FF0000");
    // The text format made of the style.
    Value format = m.getMember(m.getMember(s.sheet, "_styles"), "a");
    EXPECT_EQ(m.toNumber(m.getMember(format, "color")), 0xFF0000);

    // A text that reads replaces the styles it names; one that does not changes nothing.
    EXPECT_TRUE(m.toBoolean(s.call("parseCSS", { Value(m.str("a { font-size: 12px } b { color: #0000ff }")) })));
    got = s.call("getStyle", { Value(m.str("a")) });
    EXPECT_TRUE(m.getMember(got, "color").isUndefined());
    EXPECT_EQ(m.toString(m.getMember(got, "fontSize")), "12px ");
    EXPECT_FALSE(m.toBoolean(s.call("parseCSS", { Value(m.str("a { color: red } c")) })));
    EXPECT_TRUE(m.getMember(s.call("getStyle", { Value(m.str("a")) }), "color").isUndefined());
    EXPECT_TRUE(s.call("getStyle", { Value(m.str("c")) }).isNull());
    EXPECT_EQ(m.toString(s.call("getStyleNames", {})), "a,b");
    s.call("clear", {});
    EXPECT_EQ(m.toString(s.call("getStyleNames", {})), "");
}

TEST(StyleSheetObject, TransformReadsCssValues)
{
    SheetMachine s;
    Machine& m = s.m;
    struct Case {
        const char* property;
        const char* value;
        const char* field;
        const char* expected; // the text format's field as a script prints it
    };
    const Case cases[] = {
        { "color", "#faFAfa", "color", "16448250" },
        { "color", "#456", "color", "null" },
        { "color", " #faFAfa", "color", "null" },
        { "fontSize", "42px", "size", "42" },
        { "fontSize", "-5", "size", "null" },
        { "fontFamily", "  A  ,  B ,, C ", "font", "A  ,B ,C " },
        { "fontWeight", "bold", "bold", "true" },
        { "fontWeight", "Bold", "bold", "null" },
        { "fontStyle", "italic", "italic", "true" },
        { "textAlign", "CenTeR", "align", "center" },
        { "textAlign", " center", "align", "null" },
        { "textDecoration", "underline", "underline", "true" },
        { "display", "inline", "display", "inline" },
        { "display", "Inline", "display", "block" },
        { "kerning", "true", "kerning", "true" },
        { "kerning", "- 10", "kerning", "false" },
        { "kerning", "2", "kerning", "true" },
        { "leading", "prefix 10", "leading", "0" },
        { "leading", " -10 ", "leading", "-10" },
        { "letterSpacing", "x", "letterSpacing", "NaN" },
        { "marginLeft", "-10", "leftMargin", "0" },
        { "marginRight", "10suffix", "rightMargin", "10" },
    };
    for (const Case& c : cases) {
        Value arg = s.style({ { c.property, Value(m.str(c.value)) } });
        Value format = s.call("transform", { arg });
        EXPECT_EQ(m.toString(m.getMember(format, c.field)), c.expected) << c.property << ": " << c.value;
    }
    EXPECT_TRUE(s.call("transform", { Value::null() }).isNull());
}

// What a style sheet gives the elements it selects: a paragraph, list item or link takes its tag's style, any
// element the style its class names (whatever the case, the name written whole), then its own attributes; an
// inner element's style wins over an outer one's. Only paragraphs and list items take paragraph figures.
TEST(TextFieldModel, StyleSheetsStyleTheElementsTheySelect)
{
    reelfinch::plugin::TextStyleSheet sheet;
    sheet[".red"].color = 0xFF0000;
    sheet[".wide"].leftMargin = 30;
    for (const char* tag : { "a", "li", "span", "font" })
        sheet[tag].color = 0x0000FF;
    sheet["p"].align = reelfinch::plugin::TextAlign::Center;
    const std::pair<const char*, uint32_t> cases[] = { // the colour of the text's last character
        { "<span class=\"RED\">x</span>", 0xFF0000 },
        { "<span class=\" red\">x</span>", 0 },
        { "<span class=\"red wide\">x</span>", 0 },
        { "<span>x</span><font>y</font>", 0 }, // no tag style for these
        { "<a>x</a>", 0x0000FF },
        { "<li>x</li>", 0x0000FF },
        { "<a class=\"red\">x</a>", 0xFF0000 },
        { "<font color=\"#00FF00\">x<span class=\"red\">y</span></font>", 0xFF0000 },
        { "<span class=\"red\">x<font color=\"#00FF00\">y</font></span>", 0x00FF00 },
    };
    for (const auto& [html, colour] : cases) {
        reelfinch::plugin::EditField f;
        f.setHtml(reelfinch::plugin::ToUtf16(html), 8, &sheet);
        ASSERT_FALSE(f.formats.empty()) << html;
        EXPECT_EQ(f.formats.back().color, colour) << html;
    }
    reelfinch::plugin::EditField f;
    f.multiline = true;
    f.setHtml(u"<p>x</p><p align=\"right\">y</p><p class=\"wide\">z</p><span class=\"wide\">w</span>", 8, &sheet);
    ASSERT_EQ(Shown(f.text), "x|y|z|w");
    EXPECT_EQ(f.formats[0].align, reelfinch::plugin::TextAlign::Center);
    EXPECT_EQ(f.formats[2].align, reelfinch::plugin::TextAlign::Right); // the attribute wins
    EXPECT_EQ(f.formats[4].leftMargin, 30);
    EXPECT_EQ(f.formats[6].leftMargin, 0); // a span takes no paragraph figures
}

// Through scripts: a field with a sheet reads its text as styled HTML, a new sheet (or the same one changed and set
// again) styles the source afresh, and taking the sheet away keeps the formats the text has. Tab stops from HTML
// read back as an array.
TEST(TextFieldModel, ScriptsStyleFieldsThroughTheirSheet)
{
    SheetMachine s;
    Machine& m = s.m;
    Value root(m.rootClip());
    Value args[6] = { Value(m.str("t")), Value(1.0), Value(0.0), Value(0.0), Value(100.0), Value(20.0) };
    Value field = m.callMethod(root, "createTextField", args, 6);
    const auto colourAt = [&](double i) {
        Value index(i);
        return m.toString(m.getMember(m.callMethod(field, "getTextFormat", &index, 1), "color"));
    };
    s.call("setStyle", { Value(m.str(".Hot")), s.style({ { "color", Value(m.str("#FF0000")) } }) });
    m.setMember(field, "styleSheet", s.sheet);
    m.setMember(field, "text", Value(m.str("<span class=\"hot\">a</span>b")));
    EXPECT_EQ(m.toString(m.getMember(field, "text")), "ab");
    EXPECT_EQ(colourAt(0), std::to_string(0xFF0000));
    EXPECT_EQ(colourAt(1), "0");

    s.call("setStyle", { Value(m.str(".Hot")), s.style({ { "color", Value(m.str("#00FF00")) } }) });
    EXPECT_EQ(colourAt(0), std::to_string(0xFF0000)); // a changed sheet restyles nothing by itself
    m.setMember(field, "styleSheet", s.sheet);
    EXPECT_EQ(colourAt(0), std::to_string(0x00FF00));
    m.setMember(field, "styleSheet", Value::null());
    EXPECT_EQ(colourAt(0), std::to_string(0x00FF00));

    m.setMember(field, "html", Value(true));
    m.setMember(field, "htmlText", Value(m.str("<textformat tabstops=\"10,25\">a</textformat>")));
    Value zero(0.0);
    Value stops = m.getMember(m.callMethod(field, "getTextFormat", &zero, 1), "tabStops");
    ASSERT_TRUE(stops.isObject());
    EXPECT_EQ(m.toString(stops), "10,25");
}

// A field's own display values: autoSize moves the box inside the field (its matrix stays, _x follows the box),
// setting _width refits a field that sizes itself, _width spans the turned box, _alpha keeps 256ths, and filters
// read and write as a clip's do.
TEST(TextFieldModel, DisplayValuesFollowTheBox)
{
    reelfinch::plugin::MoviePlayer player;
    Machine m { player, 8 };
    Value root(m.rootClip());
    const auto make = [&](const char* name, double depth, double x, double width) {
        Value args[6] = { Value(m.str(name)), Value(depth), Value(x), Value(16.0), Value(width), Value(13.0) };
        return m.callMethod(root, "createTextField", args, 6);
    };
    const auto num = [&](const Value& f, const char* name) { return m.toNumber(m.getMember(f, name)); };

    Value right = make("r", 1, -4, 12);
    m.setMember(right, "autoSize", Value(m.str("right")));
    // Empty text: the box is its gutters alone, 4 wide, its right edge where it was (8).
    EXPECT_EQ(num(right, "_x"), 4);
    EXPECT_EQ(num(right, "_width"), 4);
    EXPECT_EQ(FieldDisplay(right, nullptr)->matrix.x0, -4 * 20);
    // A wider box moves its right edge to 4 + 19; the field fits again from there.
    m.setMember(right, "_width", Value(19.0));
    EXPECT_EQ(num(right, "_x"), 19);
    EXPECT_EQ(num(right, "_width"), 4);
    m.setMember(right, "_x", Value(30.0));
    EXPECT_EQ(num(right, "_x"), 30);
    EXPECT_EQ(FieldDisplay(right, nullptr)->matrix.x0, (30 - 23) * 20);

    Value turned = make("t", 2, 0, 12);
    m.setMember(turned, "_rotation", Value(5.0));
    m.setMember(turned, "_xscale", Value(200.0));
    m.setMember(turned, "_yscale", Value(150.0));
    EXPECT_EQ(num(turned, "_width"), 25.6); // 24 cos 5 + 19.5 sin 5
    EXPECT_EQ(num(turned, "_height"), 21.5);
    m.setMember(turned, "_alpha", Value(0.5));
    EXPECT_EQ(num(turned, "_alpha"), 0.390625);

    // filters: a fresh field has none; filter objects are kept, anything else is left out.
    EXPECT_EQ(m.toString(m.getMember(turned, "filters")), "");
    ArrayObject* list = m.newArray();
    Value listValue(static_cast<reelfinch::avm1::Object*>(list));
    Value blur = m.getMember(m.getMember(m.getMember(Value(m.m_Global), "flash"), "filters"), "BlurFilter");
    list->m_Items.push_back(m.construct(blur, nullptr, 0));
    list->m_Items.push_back(Value(1.0));
    m.setMember(turned, "filters", listValue);
    EXPECT_EQ(num(m.getMember(turned, "filters"), "length"), 1);
    EXPECT_EQ(FieldDisplay(turned, nullptr)->filters.size(), 1u);

    // Text in an embedded font the movie does not have takes no room at all.
    m.setMember(turned, "embedFonts", Value(true));
    m.setMember(turned, "text", Value(m.str("ab")));
    EXPECT_EQ(num(turned, "textWidth"), 0);
    EXPECT_EQ(num(turned, "textHeight"), 0);
}
