// The script machine's values, conversions and operators as each SWF version has them, and bad bytecode.
#include "Avm1Assembler.h"

#include <gtest/gtest.h>

#include <cmath>

using plugintest::Asm;
using plugintest::RunScript;

namespace {

struct Case {
    const char* what;
    uint8_t version;
    Asm script;
    std::vector<std::string> expected;
};

// ActionScript operation codes the cases use.
constexpr uint8_t kAdd = 0x0A, kNot = 0x12, kModulo = 0x3F, kAdd2 = 0x47, kLess2 = 0x48, kEquals2 = 0x49,
                  kStrictEquals = 0x66, kURShift = 0x65, kTypeOf = 0x44, kToInteger = 0x18, kStringLength = 0x14,
                  kGreater = 0x67, kInitObject = 0x43;

TEST(Avm1Language, ConversionsAndOperatorsPerVersion)
{
    const std::vector<Case> cases = {
        { "undefined in a string before 7", 6, Asm().str("a").undef().op(kAdd2).trace(), { "a" } },
        { "undefined in a string from 7", 7, Asm().str("a").undef().op(kAdd2).trace(), { "aundefined" } },
        { "trace prints undefined", 6, Asm().undef().trace(), { "undefined" } },
        { "15 significant digits", 8, Asm().num(0.1).num(0.2).op(kAdd2).trace(), { "0.3" } },
        { "exponent form", 8, Asm().num(1e21).trace(), { "1e+21" } },
        { "string truth before 7", 6, Asm().str("abc").op(kNot).trace(), { "true" } },
        { "string truth from 7", 7, Asm().str("abc").op(kNot).trace(), { "false" } },
        { "names ignore case before 7", 6, Asm().set("Foo", Asm().num(1)).get("foo").trace(), { "1" } },
        { "names keep case from 7", 7, Asm().set("Foo", Asm().num(1)).get("foo").trace(), { "undefined" } },
        { "loose equality converts", 8, Asm().num(1).str("1").op(kEquals2).trace(), { "true" } },
        { "null equals undefined", 8, Asm().null().undef().op(kEquals2).trace(), { "true" } },
        { "strictly they differ", 8, Asm().null().undef().op(kStrictEquals).trace(), { "false" } },
        { "NaN compares undefined", 8, Asm().num(NAN).num(1).op(kLess2).trace(), { "undefined" } },
        { "greater", 8, Asm().num(2).num(1).op(kGreater).trace(), { "true" } },
        { "Add is numeric", 8, Asm().str("1").str("2").op(kAdd).trace(), { "3" } },
        { "Add2 joins strings", 8, Asm().str("1").str("2").op(kAdd2).trace(), { "12" } },
        { "modulo keeps the sign", 8, Asm().num(-7).num(3).op(kModulo).trace(), { "-1" } },
        { "unsigned shift", 8, Asm().i32(-1).i32(0).op(kURShift).trace(), { "4294967295" } },
        { "typeof", 8, Asm().null().op(kTypeOf).trace().get("_root").op(kTypeOf).trace(), { "null", "movieclip" } },
        { "ToInteger truncates", 8, Asm().num(-2.7).op(kToInteger).trace(), { "-2" } },
        { "ToInteger wraps to 32 bits", 8, Asm().num(4294967295.0).op(kToInteger).trace(), { "-1" } },
        { "SWF 4 reads a leading number", 4, Asm().str("101ABC").num(1).op(kAdd).trace(), { "102" } },
        { "SWF 4 comparisons print 1 or 0", 4, Asm().num(1).num(2).op(0x0F).trace(), { "1" } },
        { "Equals2 finds NaN equal", 8, Asm().num(NAN).num(NAN).op(kEquals2).trace(), { "true" } },
        { "lengths in units", 8, Asm().str("h\xC3\xA9").op(kStringLength).trace(), { "2" } },
        { "object literal", 8,
            Asm().str("a").num(1).i32(1).op(kInitObject).store(0).op(0x17).reg(0).str("a").op(0x4E).trace(), { "1" } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(RunScript(c.script, c.version), c.expected) << c.what;
}

TEST(Avm1Language, BadBytecodeGivesUndefinedAndStopsCleanly)
{
    const std::vector<Case> cases = {
        { "stack underflow", 8, Asm().op(kAdd2).trace(), { "NaN" } },
        { "constant past the pool", 8, Asm().pool({ "a" }).constant(5).trace(), { "undefined" } },
        { "register past the four", 8, Asm().num(1).store(200).reg(200).trace(), { "undefined" } },
        { "branch out of the block", 8,
            Asm().str("before").trace().action(0x99, { 0xE8, 0x03 }).str("after").trace(), { "before" } },
        { "unknown action with a body", 8, Asm().action(0xA5, { 1, 2, 3 }).str("on").trace(), { "on" } },
        { "pop on empty", 8, Asm().op(0x17).op(0x17).str("ok").trace(), { "ok" } },
        // return (calls++ % 3 == 0) ? 1 : -1: the order a < b and b < a both hold, and it changes from call to call.
        { "a comparison that contradicts itself still sorts every element", 8,
            Asm()
                .function("cmp", { "a", "b" },
                    Asm()
                        .str("r").get("calls").num(3).op(0x3F).num(0).op(0x49).num(2).op(0x0C).num(1).op(0x0B).op(0x3C)
                        .set("calls", Asm().get("calls").num(1).op(0x47))
                        .get("r").op(0x3E))
                .set("calls", Asm().num(0))
                .set("arr", Asm().str(",").i32(1).str("c,a,b").str("split").op(0x52))
                .get("cmp").i32(1).get("arr").str("sort").op(0x52).op(0x17)
                .i32(0).get("arr").str("sort").op(0x52).op(0x17)
                .str(",").i32(1).get("arr").str("join").op(0x52).trace(),
            { "a,b,c" } },
        { "property number far out of range", 8, Asm().str("").num(-3e231).op(0x22).trace().str("").num(1e300).op(0x22).trace(),
            { "undefined", "undefined" } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(RunScript(c.script, c.version), c.expected) << c.what;
}

} // namespace

namespace {

// Text leaving the player is well-formed UTF-8: a half of a surrogate pair on its own (String.fromCharCode(0xD83D))
// reaches the host's getURL, as it reaches trace, as U+FFFD; a whole pair stays the character it makes.
TEST(Avm1Language, LoneSurrogateHalvesLeaveThePlayerAsReplacementCharacters)
{
    Asm script;
    // half = String.fromCharCode(0xD83D) + "x"; pair = String.fromCharCode(0xD83D, 0xDE00)
    script.set("half", Asm().i32(0xD83D).i32(1).get("String").str("fromCharCode").op(0x52).str("x").op(0x47));
    script.set("pair", Asm().i32(0xDE00).i32(0xD83D).i32(2).get("String").str("fromCharCode").op(0x52));
    script.get("half").trace();
    script.get("half").get("pair").action(0x9A, { 0 }); // getURL(half, pair)
    plugintest::MovieBuilder movie(40, 40, 12.0f, 8);
    movie.raw(kTagDoAction, script.finished());
    movie.showFrame();
    const std::vector<uint8_t> bytes = movie.finish();
    std::vector<std::string> lines;
    std::vector<std::pair<std::string, std::string>> requests;
    reelfinch::plugin::MoviePlayer player;
    player.onTrace = [&lines](const std::string& line) { lines.push_back(line); };
    player.onGetURL = [&requests](const std::string& url, const std::string& target) {
        requests.emplace_back(url, target);
    };
    player.load(bytes.data(), bytes.size());
    const std::string replacement = "\xEF\xBF\xBD" "x";
    EXPECT_EQ(lines, std::vector<std::string> { replacement });
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].first, replacement);
    EXPECT_EQ(requests[0].second, "\xF0\x9F\x98\x80");
}

} // namespace
