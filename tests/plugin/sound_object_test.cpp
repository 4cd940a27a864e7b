// The script Sound object over the mixer: built movies attach an exported sound, play it with levels, stop it,
// and hear of its end; what the mixer makes is checked sample by sample, what the scripts see through trace.
#include "Avm1Assembler.h"
#include "SoundTestSupport.h"
#include "avm1/Machine.h"
#include "avm1/builtins/Builtins.h"

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

// A clip's sounds follow the volume of each clip holding it and the movie's: the levels multiply along the chain.
// A path given as text is found from the timeline of the code that calls, each time.
TEST(SoundObject, LevelsCombineAlongTheClipChain)
{
    const std::vector<int16_t> sine = Sine(6000, 90.7, 16000);
    Asm script;
    script.append(Call("_root", "createEmptyMovieClip", { Asm().str("a"), Num(1) })).op(0x17);
    script.append(Call("a", "createEmptyMovieClip", { Asm().str("b"), Num(1) })).op(0x17);
    script.set("all", Asm().num(0).str("Sound").op(0x40));
    script.append(Call("all", "setVolume", { Num(50) })).op(0x17);
    script.set("pa", Asm().get("a").num(1).str("Sound").op(0x40));
    script.append(Call("pa", "setVolume", { Num(50) })).op(0x17);
    script.set("s", Asm().str("a.b").num(1).str("Sound").op(0x40));
    script.append(Call("s", "attachSound", { Asm().str("tone") })).op(0x17);
    script.append(Call("s", "setVolume", { Num(80) })).op(0x17);
    script.append(Call("s", "start")).op(0x17);
    script.append(Call("s", "getVolume")).trace();
    script.set("t", Asm().str("b").num(1).str("Sound").op(0x40));
    script.append(Call("t", "getVolume")).trace(); // no "b" on the root
    const Played p = Play(sine, { script }, 3);
    EXPECT_EQ(p.lines, (std::vector<std::string> { "80", "undefined" }));
    ASSERT_GE(p.sound.size(), 2 * sine.size());
    int worst = 0;
    for (size_t i = 0; i < sine.size(); ++i)
        worst = std::max(worst, std::abs(p.sound[2 * i] - int(std::lround(sine[i] * 0.2))));
    EXPECT_LE(worst, 2);
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

namespace {

// An ID3v2.3 tag of text frames (id, encoding and body as stored).
std::vector<uint8_t> Id3Tag(const std::vector<std::pair<std::string, std::string>>& frames)
{
    std::vector<uint8_t> body;
    for (const auto& [id, text] : frames) {
        body.insert(body.end(), id.begin(), id.end());
        for (int shift = 24; shift >= 0; shift -= 8)
            body.push_back(uint8_t(text.size() >> shift));
        body.push_back(0);
        body.push_back(0);
        body.insert(body.end(), text.begin(), text.end());
    }
    std::vector<uint8_t> tag { 'I', 'D', '3', 3, 0, 0 };
    for (int shift = 21; shift >= 0; shift -= 7)
        tag.push_back(uint8_t((body.size() >> shift) & 0x7F));
    tag.insert(tag.end(), body.begin(), body.end());
    return tag;
}

// A file that loadSound fetched, handed to the Sound: its tags reach id3 and onID3 before onLoad hears of it;
// a script's own id3 set before the tags came stays; a failed load is onLoad(false).
TEST(SoundObject, ALoadedFilesTagsReachId3BeforeOnLoad)
{
    MovieBuilder movie(40, 40, kFps, 8);
    Asm script;
    for (const char* name : { "s", "kept" }) {
        script.set(name, Asm().num(0).str("Sound").op(0x40));
        script.get(name).str("onID3").function("", {}, Asm().str("id3 ").get("this").str("id3").op(0x4E).str("artist").op(0x4E).op(0x47).trace()).op(0x4F);
        script.get(name).str("onLoad").function("", { "ok" }, Asm().str("loaded ").get("ok").op(0x47).trace()).op(0x4F);
    }
    script.get("kept").str("id3").str("mine").op(0x4F);
    movie.raw(kTagDoAction, script.finished());
    movie.showFrame();
    const std::vector<uint8_t> bytes = movie.finish();
    std::vector<std::string> lines;
    reelfinch::plugin::MoviePlayer player;
    player.onTrace = [&lines](const std::string& line) { lines.push_back(line); };
    ASSERT_TRUE(player.load(bytes.data(), bytes.size()));
    reelfinch::avm1::Machine& m = *player.scriptMachine();
    const std::string utf16Comment("\x01"
                                   "eng\xFF\xFE\0\0s\0e\0c\0o\0n\0d\0",
        20);
    const std::vector<uint8_t> tag = Id3Tag({ { "TPE1", std::string("\0Ann", 4) },
        { "COMM", std::string("\0eng\0first", 10) }, { "COMM", utf16Comment },
        { "TIT2", "\x03Song\xC3\xA9" }, { "WOAR", "http://example.com" } });
    const std::string file(tag.begin(), tag.end());
    const reelfinch::avm1::Value s = m.getMember(reelfinch::avm1::Value(m.rootClip()), "s");
    const reelfinch::avm1::Value kept = m.getMember(reelfinch::avm1::Value(m.rootClip()), "kept");
    ASSERT_TRUE(s.isObject() && kept.isObject());
    reelfinch::avm1::SoundLoadFinished(m, s.asObject(), false, true, file);
    reelfinch::avm1::SoundLoadFinished(m, kept.asObject(), false, true, file);
    reelfinch::avm1::SoundLoadFinished(m, s.asObject(), false, false, {});
    EXPECT_EQ(lines, (std::vector<std::string> { "id3 Ann", "loaded true", "id3 undefined", "loaded true",
                         "loaded false" }));
    const reelfinch::avm1::Value id3 = m.getMember(s, "id3");
    auto text = [&](const char* name) { return m.toString(m.getMember(id3, name)); };
    EXPECT_EQ(text("TPE1"), "Ann");
    EXPECT_EQ(text("COMM"), "first,second");
    EXPECT_EQ(text("comment"), "second");
    EXPECT_EQ(text("songname"), "Song\xC3\xA9");
    EXPECT_EQ(text("WOAR"), "undefined");
    EXPECT_EQ(m.toString(m.getMember(kept, "id3")), "mine");
    // Once the tags came they stay.
    m.setMember(s, "id3", reelfinch::avm1::Value(1));
    EXPECT_TRUE(m.getMember(s, "id3").isObject());
}

// A Sound made on a clip follows the clip's path, found again at each use; levels read back as the player
// gives them (the pan from the four shares).
TEST(SoundObject, FollowsItsClipByPathAndReadsPanFromTheShares)
{
    MovieBuilder movie(40, 40, kFps, 8);
    SpriteBuilder sprite;
    sprite.showFrame();
    sprite.define(movie, 5);
    Asm script;
    script.set("byName", Asm().str("clip").num(1).str("Sound").op(0x40));
    script.set("byClip", Asm().get("clip").num(1).str("Sound").op(0x40));
    script.set("missing", Asm().str("nothing").num(1).str("Sound").op(0x40));
    script.append(Call("byName", "setVolume", { Num(30) })).op(0x17);
    script.append(Call("byClip", "getVolume")).trace();
    script.append(Call("missing", "getVolume")).trace();
    Asm shares;
    shares.str("ll").num(10).str("lr").num(20).str("rr").num(30).str("rl").num(40).num(4).op(0x43);
    script.append(Call("byClip", "setTransform", { shares })).op(0x17);
    script.append(Call("byName", "getPan")).trace();
    script.append(Call("byName", "setPan", { Num(-25) })).op(0x17);
    script.append(Call("byName", "getPan")).trace();
    movie.place(1, 5, 0, 0, nullptr, 0, "clip");
    movie.raw(kTagDoAction, script.finished());
    movie.showFrame();
    const std::vector<uint8_t> bytes = movie.finish();
    std::vector<std::string> lines;
    reelfinch::plugin::MoviePlayer player;
    player.onTrace = [&lines](const std::string& line) { lines.push_back(line); };
    ASSERT_TRUE(player.load(bytes.data(), bytes.size()));
    EXPECT_EQ(lines, (std::vector<std::string> { "30", "undefined", "90", "-25" }));
}

} // namespace
