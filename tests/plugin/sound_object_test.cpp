// The script Sound object over the mixer: built movies attach an exported sound, play it with levels, stop it,
// and hear of its end; what the mixer makes is checked sample by sample, what the scripts see through trace.
#include "Avm1Assembler.h"
#include "SoundTestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace plugintest;

namespace {

constexpr int kFps = 12;
constexpr size_t kPerFrame = kMixRate / kFps; // 3675
constexpr uint8_t kPcm44Mono = (3 << 4) | (3 << 2) | 2;
constexpr uint16_t kTagExportAssets = 56;

// Method call on a variable: args pushed last to first.
Asm Call(const std::string& object, const std::string& method, const std::vector<Asm>& args = {})
{
    Asm a;
    for (auto it = args.rbegin(); it != args.rend(); ++it)
        a.append(*it);
    a.num(double(args.size())).get(object).str(method).op(0x52);
    return a;
}

Asm Num(double d)
{
    return Asm().num(d);
}

struct Played {
    std::vector<int16_t> sound;
    std::vector<std::string> lines;
};

// A movie with a sine exported as "tone"; frame i runs scripts[i]; `frames` frames are played.
Played Play(const std::vector<int16_t>& sine, const std::vector<Asm>& scripts, int frames)
{
    MovieBuilder movie(40, 40, kFps, 7);
    DefineSound(movie, 3, kPcm44Mono, uint32_t(sine.size()), PcmBytes(sine));
    std::vector<uint8_t> exports;
    PutU16(exports, 1);
    PutU16(exports, 3);
    for (char c : std::string("tone"))
        exports.push_back(uint8_t(c));
    exports.push_back(0);
    movie.raw(kTagExportAssets, exports);
    for (int f = 0; f < frames; ++f) {
        if (size_t(f) < scripts.size() && !scripts[size_t(f)].bytes.empty())
            movie.raw(kTagDoAction, scripts[size_t(f)].finished());
        movie.showFrame();
    }
    const std::vector<uint8_t> bytes = movie.finish();
    Played out;
    {
        reelfinch::plugin::MoviePlayer player;
        player.onTrace = [&out](const std::string& line) { out.lines.push_back(line); };
        player.sound().setOutput(std::make_unique<Recorder>(player.sound().mixer(), out.sound));
        if (!player.load(bytes.data(), bytes.size()))
            return out;
        for (int i = 1; i < frames; ++i)
            player.step();
        player.sound().setOutput(nullptr);
    }
    return out;
}

// new Sound(), the sound attached.
Asm MakeSound(const std::string& name = "s")
{
    Asm a;
    a.set(name, Asm().num(0).str("Sound").op(0x40));
    a.append(Call(name, "attachSound", { Asm().str("tone") })).op(0x17);
    return a;
}

TEST(SoundObject, LevelsShapeWhatIsHeard)
{
    const std::vector<int16_t> sine = Sine(6000, 90.7, 16000);
    struct Case {
        std::string name;
        Asm levels; // run after attaching, before start
        double left, right; // expected share of the sine on each side
    };
    const std::vector<Case> cases {
        { "as it is", Asm(), 1, 1 },
        { "volume 50 halves it", Asm().append(Call("s", "setVolume", { Num(50) })).op(0x17), 0.5, 0.5 },
        { "pan -100: left only", Asm().append(Call("s", "setPan", { Num(-100) })).op(0x17), 1, 0 },
        { "pan 60 with volume 50", Asm().append(Call("s", "setPan", { Num(60) })).op(0x17)
                                       .append(Call("s", "setVolume", { Num(50) })).op(0x17),
            0.2, 0.5 },
        { "transform: 30 % on the right", Asm()
                                               .str("t").op(0x3C) // var t
                                               .set("t", Asm().num(0).op(0x43))
                                               .get("t").str("rr").num(30).op(0x4F)
                                               .append(Call("s", "setTransform", { Asm().get("t") })).op(0x17),
            1, 0.3 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Asm script = MakeSound();
        script.append(c.levels).append(Call("s", "start")).op(0x17);
        const Played p = Play(sine, { script }, 3);
        ASSERT_GE(p.sound.size(), 2 * sine.size());
        int worst = 0;
        for (size_t i = 0; i < sine.size(); ++i) {
            worst = std::max(worst, std::abs(p.sound[2 * i] - int(std::lround(sine[i] * c.left))));
            worst = std::max(worst, std::abs(p.sound[2 * i + 1] - int(std::lround(sine[i] * c.right))));
        }
        EXPECT_LE(worst, 2);
    }
}

TEST(SoundObject, ReadsBackLevelsDurationAndPosition)
{
    const std::vector<int16_t> sine = Sine(8820, 100); // 200 ms
    Asm first = MakeSound();
    first.append(Call("s", "setVolume", { Num(40) })).op(0x17);
    first.append(Call("s", "setPan", { Num(-25) })).op(0x17);
    first.append(Call("s", "getVolume")).trace();
    first.append(Call("s", "getPan")).trace();
    first.get("s").str("duration").op(0x4E).trace();
    first.append(Call("s", "getTransform")).str("rr").op(0x4E).trace();
    first.append(Call("s", "start", { Num(0.1) })).op(0x17); // from 100 ms on
    // A second Sound on nothing shares the levels of every sound.
    first.append(MakeSound("g")).append(Call("g", "getVolume")).trace();
    Asm second;
    second.get("s").str("position").op(0x4E).trace();
    const Played p = Play(sine, { first, second }, 2);
    ASSERT_EQ(p.lines.size(), 6u);
    EXPECT_EQ(p.lines[0], "40");
    EXPECT_EQ(p.lines[1], "-25");
    EXPECT_EQ(p.lines[2], "200");
    EXPECT_EQ(p.lines[3], "75");
    EXPECT_EQ(p.lines[4], "40");
    // 100 ms in, and one frame (83 ms) played.
    EXPECT_EQ(p.lines[5], "183");
}

TEST(SoundObject, StopAndCompletion)
{
    const std::vector<int16_t> sine = Sine(5000, 70);
    // Frame 0 starts it twice with a completion handler that traces whether `this` is the Sound.
    Asm first = MakeSound();
    first.get("s").str("onSoundComplete").function("", {}, Asm().str("done").trace().get("this").get("s").op(0x49).trace()).op(0x4F);
    first.append(Call("s", "start")).op(0x17);
    {
        const Played p = Play(sine, { first }, 4);
        ASSERT_EQ(p.lines.size(), 2u);
        EXPECT_EQ(p.lines[0], "done");
        EXPECT_EQ(p.lines[1], "true");
        for (size_t i = sine.size(); i < p.sound.size() / 2; ++i)
            ASSERT_EQ(p.sound[2 * i], 0);
    }
    {
        // Stopped in frame 1: silence from there, and no completion.
        Asm second = Call("s", "stop");
        second.op(0x17);
        const Played p = Play(sine, { first, second }, 4);
        EXPECT_TRUE(p.lines.empty());
        ASSERT_GE(p.sound.size(), 3 * kPerFrame * 2);
        for (size_t i = 0; i < p.sound.size() / 2; ++i)
            ASSERT_EQ(p.sound[2 * i], i < kPerFrame ? sine[i] : 0) << "at " << i;
    }
}

} // namespace
