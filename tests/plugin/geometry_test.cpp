// Clips' geometry as scripts ask for it: hit tests through masks and in the root's space, the concatenated
// colour transform, and intervals that fall due several times between two frames.
#include "avm1/Machine.h"
#include "PluginTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace plugintest;
using reelfinch::avm1::Machine;
using reelfinch::avm1::Value;

constexpr int kSide = 100;

struct Stage {
    reelfinch::plugin::MoviePlayer player;
    Machine* m = nullptr;

    Stage()
    {
        MovieBuilder movie(kSide, kSide);
        movie.showFrame();
        EXPECT_TRUE(Load(player, movie.finish()));
        m = player.scriptMachine();
    }
    Value root() { return Value(m->rootClip()); }
    Value call(const Value& object, const char* method, std::vector<Value> args = {})
    {
        return m->callMethod(object, method, args.data(), int(args.size()));
    }
    Value geom(const char* name, std::vector<Value> args = {})
    {
        const Value package = m->getMember(m->getMember(Value(m->m_Global), "flash"), "geom");
        return m->construct(m->getMember(package, name), args.data(), int(args.size()));
    }
    // A clip holding a filled square from the origin to `side` pixels.
    Value square(const char* name, double depth, double side)
    {
        const Value clip = call(root(), "createEmptyMovieClip", { Value(m->str(name)), Value(depth) });
        call(clip, "beginFill", { Value(0.0) });
        for (auto [x, y] : { std::pair { side, 0.0 }, { side, side }, { 0.0, side }, { 0.0, 0.0 } })
            call(clip, "lineTo", { Value(x), Value(y) });
        call(clip, "endFill");
        return clip;
    }
    bool hit(const Value& clip, double x, double y)
    {
        return m->toBoolean(call(clip, "hitTest", { Value(x), Value(y), Value(true) }));
    }
};

TEST(Geometry, ShapeHitsFollowScriptMasksAndTheRootsSpace)
{
    Stage s;
    const Value clip = s.square("clip", 1, 40);
    const Value mask = s.square("mask", 2, 20);
    EXPECT_TRUE(s.hit(clip, 30, 30));
    EXPECT_TRUE(s.hit(mask, 10, 10)) << "a mask is hit like any clip while it masks nothing";
    s.call(clip, "setMask", { mask });
    EXPECT_FALSE(s.hit(clip, 30, 30)) << "outside its mask";
    EXPECT_TRUE(s.hit(clip, 10, 10)) << "inside its mask";
    // A clip naming its own parent as its mask must not send the test round in circles.
    const Value child = s.call(clip, "createEmptyMovieClip", { Value(s.m->str("child")), Value(1.0) });
    s.call(child, "setMask", { clip });
    EXPECT_FALSE(s.hit(child, 10, 10));
    // The point is in the root's space: moving the root moves the clips under it along.
    s.call(clip, "setMask", { Value::null() });
    s.m->setMember(s.root(), "_x", Value(200.0));
    EXPECT_TRUE(s.hit(clip, 30, 30));
    EXPECT_FALSE(s.m->toBoolean(s.call(clip, "hitTest", { Value(s.m->str("")) }))) << "an empty path names nothing";
}

TEST(Geometry, ConcatenatedColourTransformWrapsLikeTheStoredOne)
{
    Stage s;
    const Value clip = s.square("clip", 1, 10);
    auto colour = [&](const Value& target, std::vector<Value> parts) {
        s.m->setMember(s.geom("Transform", { target }), "colorTransform", s.geom("ColorTransform", parts));
    };
    colour(clip, { Value(1.0), Value(1.0), Value(1.0), Value(1.0), Value(0.0), Value(0.0), Value(-523.0), Value(0.0) });
    colour(s.root(), { Value(1.0), Value(1.0), Value(127.5), Value(1.0), Value(0.0), Value(0.0), Value(0.0), Value(0.0) });
    const Value all = s.m->getMember(s.geom("Transform", { clip }), "concatenatedColorTransform");
    EXPECT_EQ(s.m->toNumber(s.m->getMember(all, "blueMultiplier")), 127.5);
    // 127.5 * -523 leaves the 16 bits an offset is kept in.
    EXPECT_EQ(s.m->toNumber(s.m->getMember(all, "blueOffset")), -1147);
    EXPECT_TRUE(s.geom("Transform").isUndefined()) << "a Transform needs a clip";
}

int g_Calls = 0;

Value CountCall(Machine&, const Value&, const Value*, int)
{
    ++g_Calls;
    return Value();
}

TEST(Geometry, IntervalsRunForEachTimeTheyFellDue)
{
    Stage s;
    reelfinch::avm1::Timer timer;
    timer.function = Value(static_cast<reelfinch::avm1::Object*>(s.m->newNative(CountCall)));
    timer.interval = 10;
    s.m->addTimer(timer);
    g_Calls = 0;
    s.m->advanceTime(100);
    EXPECT_EQ(g_Calls, 10);
    s.m->advanceTime(105);
    EXPECT_EQ(g_Calls, 10) << "not yet due again";
    s.m->advanceTime(110);
    EXPECT_EQ(g_Calls, 11);
}

} // namespace
