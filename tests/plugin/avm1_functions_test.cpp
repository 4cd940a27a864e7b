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
