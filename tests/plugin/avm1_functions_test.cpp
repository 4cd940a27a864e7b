// Functions: closures over the scope chain, DefineFunction2's registers and preloads, the recursion and time
// limits, exceptions thrown across calls.
#include "Avm1Assembler.h"

#include <gtest/gtest.h>

#include <cstdlib>

using plugintest::Asm;
using plugintest::RunScript;
using plugintest::RunScripts;

namespace {

constexpr uint8_t kDefineLocal = 0x3C, kCallFunction = 0x3D, kReturn = 0x3E, kIncrement = 0x50, kSetVariable = 0x1D,
                  kThrow = 0x2A, kPop = 0x17;
// DefineFunction2 flags.
// Enough dropped objects for several collections.
constexpr double kIterations = 60000;
constexpr uint16_t kPreloadThis = 0x0001, kPreloadGlobal = 0x0100;

Asm Call(const std::string& name)
{
    return Asm().i32(0).str(name).op(kCallFunction);
}

TEST(Avm1Functions, ClosuresKeepTheirOwnLocals)
{
    // function make() { var n = 0; return function () { return ++n; }; }
    Asm inner = Asm().str("n").get("n").op(kIncrement).op(kSetVariable).get("n").op(kReturn);
    Asm make = Asm().str("n").num(0).op(kDefineLocal).function("", {}, inner).op(kReturn);
    Asm script = Asm().function("make", {}, make);
    script.str("a").append(Call("make")).op(kSetVariable);
    script.str("b").append(Call("make")).op(kSetVariable);
    script.append(Call("a")).trace().append(Call("a")).trace().append(Call("b")).trace();
    EXPECT_EQ(RunScript(script), (std::vector<std::string> { "1", "2", "1" }));
}

TEST(Avm1Functions, Function2RegistersAndPreloads)
{
    // Register 1: this, 2: _global, 3: the parameter.
    Asm body = Asm().reg(1).trace().reg(2).str("marker").op(0x4E).trace().reg(3).trace();
    Asm script = Asm().function2("f", 4, kPreloadThis | kPreloadGlobal, { { 3, "x" } }, body);
    script.set("_global.marker", Asm().str("global"));
    script.str("arg").i32(1).str("f").op(kCallFunction).op(kPop);
    EXPECT_EQ(RunScript(script), (std::vector<std::string> { "_level0", "global", "arg" }));
}

TEST(Avm1Functions, ThrowCrossesCallsToTheNearestCatch)
{
    Asm thrower = Asm().str("boom").op(kThrow);
    Asm script = Asm().function("thrower", {}, thrower);
    script.tryBlock(Call("thrower").op(kPop).str("not reached").trace(), "e", Asm().get("e").trace(),
        Asm().str("finally").trace(), true, true);
    script.str("after").trace();
    EXPECT_EQ(RunScript(script), (std::vector<std::string> { "boom", "finally", "after" }));
}

// Collections run inside functions called from the frame: the argument, the function's locals and the caller's
// stack survive them while the loop drops cycles (run under the sanitizers, a freed live object is caught).
TEST(Avm1Functions, CollectionsInsideCallsKeepWhatIsInUse)
{
    constexpr uint8_t kInitObject = 0x43, kSetMember = 0x4F, kGetMember = 0x4E, kLess2 = 0x48, kNot = 0x12,
                      kAdd2 = 0x47;
    Asm churn = Asm().str("live").str("v").str("L").i32(1).op(kInitObject).op(kDefineLocal);
    churn.str("i").num(0).op(kDefineLocal).label("top");
    churn.get("i").num(kIterations).op(kLess2).op(kNot).ifTrue("done");
    churn.str("o").i32(0).op(kInitObject).op(kDefineLocal).get("o").str("me").get("o").op(kSetMember);
    churn.str("i").get("i").op(kIncrement).op(kDefineLocal).jump("top").label("done");
    churn.get("a").str("v").op(kGetMember).get("live").str("v").op(kGetMember).op(kAdd2).op(kReturn);
    // function outer() { return "<" + churn({v: "A"}); }: the caller's pending string is on its stack.
    Asm outer = Asm().str("<").str("v").str("A").i32(1).op(kInitObject).i32(1).str("churn").op(kCallFunction);
    outer.op(kAdd2).op(kReturn);
    Asm script = Asm().function("churn", { "a" }, churn).function("outer", {}, outer);
    script.append(Call("outer")).trace();
    EXPECT_EQ(RunScript(script), (std::vector<std::string> { "<AL" }));
}

TEST(Avm1Functions, LimitsStopTheScriptNotTheMovie)
{
    // Endless recursion stops the frame's script; the next frame's runs.
    Asm recurse = Asm().function("f", {}, Call("f").op(kPop)).append(Call("f")).str("not reached").trace();
    EXPECT_EQ(RunScripts({ recurse, Asm().str("next frame").trace() }, 8, 2),
        (std::vector<std::string> { "next frame" }));

    // An endless loop runs into the time limit.
    setenv("REELFINCH_SCRIPT_TIME_LIMIT", "0.2", 1);
    Asm loop = Asm().label("top").jump("top");
    EXPECT_EQ(RunScripts({ loop, Asm().str("still playing").trace() }, 8, 2),
        (std::vector<std::string> { "still playing" }));
    unsetenv("REELFINCH_SCRIPT_TIME_LIMIT");
}

} // namespace

TEST(Avm1Functions, FunctionsFoundInAWithObjectRunAsItsMethods)
{
    // function g() { trace(this.name); } name = "timeline"; o = new Object(); o.name = "o"; o.h = g;
    // with (o) { h(); g(); }: h is the object's and runs on it, g is the timeline's and runs on the timeline.
    constexpr uint8_t kNewObject = 0x40, kGetMember = 0x4E, kSetMember = 0x4F, kWith = 0x94;
    Asm block = Asm().append(Call("h")).op(kPop).append(Call("g")).op(kPop);
    const std::vector<uint8_t> body = block.finished(false);
    Asm script = Asm()
                     .function("g", {}, Asm().get("this").str("name").op(kGetMember).trace())
                     .set("name", Asm().str("timeline"))
                     .set("o", Asm().i32(0).str("Object").op(kNewObject))
                     .get("o").str("name").str("o").op(kSetMember)
                     .get("o").str("h").get("g").op(kSetMember)
                     .get("o")
                     .action(kWith, { uint8_t(body.size()), uint8_t(body.size() >> 8) })
                     .append(block);
    EXPECT_EQ(RunScript(script), (std::vector<std::string> { "o", "timeline" }));
}
