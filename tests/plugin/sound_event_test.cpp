// Event and stream sounds of built movies, checked sample by sample in what the mixer makes frame by frame.
#include "SoundTestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace plugintest;

namespace {

constexpr int kFps = 12;
constexpr size_t kPerFrame = kMixRate / kFps; // 3675
constexpr uint8_t kPcm44Mono = (3 << 4) | (3 << 2) | 2; // PCM little-endian, 44 kHz, 16-bit, mono
constexpr uint8_t kActionPlay = 0x06;
constexpr uint8_t kActionStopSounds = 0x09;

// What one played sound is expected to give at each 44.1 kHz frame of the output, as a function.
struct EventCase {
    std::string name;
    SoundInfo info;
    int startFrame;
    // Expected left sample at output frame i (from the sound's start), or nullopt for any value.
    std::function<int(size_t i, const std::vector<int16_t>& sine)> expected;
    size_t length; // output frames checked from the start
};

TEST(SoundEvents, PlayedFromTheirFrameWithInOutLoopsAndEnvelope)
{
    const std::vector<int16_t> sine = Sine(6000, 100.3);
    const auto exact = [](size_t i, const std::vector<int16_t>& s) { return i < s.size() ? int(s[i]) : 0; };
    const std::vector<EventCase> cases {
        { "plain at frame 2", {}, 2, exact, 8000 },
        { "plain at frame 0", {}, 0, exact, 8000 },
        { "in and out points", { false, false, 1000, 1600, 0, {} }, 1,
            [](size_t i, const std::vector<int16_t>& s) { return i < 600 ? int(s[1000 + i]) : 0; }, 2000 },
        { "three loops of a part", { false, false, 200, 700, 3, {} }, 1,
            [](size_t i, const std::vector<int16_t>& s) { return i < 1500 ? int(s[200 + i % 500]) : 0; }, 3000 },
        { "loops of the whole", { false, false, 0, 0, 2, {} }, 1,
            [](size_t i, const std::vector<int16_t>& s) { return i < 12000 ? int(s[i % 6000]) : 0; }, 13000 },
        // Full level to silence over 4000 frames, then silent.
        { "envelope fade", { false, false, 0, 0, 0, { { 0, 32768, 32768 }, { 4000, 0, 0 } } }, 1,
            [](size_t i, const std::vector<int16_t>& s) {
                return i < 4000 ? int(std::lround(s[i] * (1.0 - double(i) / 4000.0))) : 0;
            },
            6000 },
    };
    for (const EventCase& c : cases) {
        SCOPED_TRACE(c.name);
        MovieBuilder movie(100, 100, kFps);
        DefineSound(movie, 1, kPcm44Mono, uint32_t(sine.size()), PcmBytes(sine));
        for (int f = 0; f < 6; ++f) {
            if (f == c.startFrame)
                StartSound(movie, 1, c.info);
            movie.showFrame();
        }
        const std::vector<int16_t> out = PlaySound(movie.finish(), 6);
        ASSERT_EQ(out.size(), 6 * kPerFrame * 2);
        const size_t start = size_t(c.startFrame) * kPerFrame;
        for (size_t i = 0; i < start; ++i)
            ASSERT_EQ(out[2 * i], 0) << "before the start, at " << i;
        int worst = 0;
        size_t worstAt = 0;
        for (size_t i = 0; i < c.length && start + i < out.size() / 2; ++i) {
            const int want = c.expected(i, sine);
            const int diff = std::abs(out[2 * (start + i)] - want);
            // Both sides carry a mono sound.
            ASSERT_EQ(out[2 * (start + i)], out[2 * (start + i) + 1]) << "at " << i;
            if (diff > worst)
                worst = diff, worstAt = i;
        }
        EXPECT_LE(worst, 1) << "largest difference at output frame " << worstAt;
    }
}

TEST(SoundEvents, NoMultipleStopAndStopSounds)
{
    const std::vector<int16_t> sine = Sine(9000, 77.7, 8000);
    struct Case {
        std::string name;
        bool secondNoMultiple;
        bool secondStop;
        bool stopSoundsAction;
        // Expected left sample at output frame i of the movie.
        std::function<int(size_t)> expected;
    };
    const size_t f1 = kPerFrame;
    const std::vector<Case> cases {
        { "again while playing: two at once", false, false, false,
            [&](size_t i) { return (i < 9000 ? sine[i] : 0) + (i >= f1 && i - f1 < 9000 ? sine[i - f1] : 0); } },
        { "no-multiple: only the first", true, false, false, [&](size_t i) { return i < 9000 ? int(sine[i]) : 0; } },
        { "stop: silent from frame 1", false, true, false, [&](size_t i) { return i < f1 ? int(sine[i]) : 0; } },
        { "StopSounds action", false, false, true, [&](size_t i) { return i < f1 ? int(sine[i]) : 0; } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MovieBuilder movie(100, 100, kFps);
        DefineSound(movie, 7, kPcm44Mono, uint32_t(sine.size()), PcmBytes(sine));
        StartSound(movie, 7);
        movie.showFrame();
        if (c.stopSoundsAction)
            movie.actions({ kActionStopSounds });
        else
            StartSound(movie, 7, SoundInfo { c.secondStop, c.secondNoMultiple, 0, 0, 0, {} });
        movie.showFrame();
        movie.showFrame();
        movie.showFrame();
        const std::vector<int16_t> out = PlaySound(movie.finish(), 4);
        ASSERT_EQ(out.size(), 4 * kPerFrame * 2);
        for (size_t i = 0; i < out.size() / 2; ++i)
            ASSERT_NEAR(out[2 * i], c.expected(i), 1) << "at " << i;
    }
}

TEST(SoundEvents, EightBitStereoAndSlowRatesAreMadeStereo44k)
{
    // 8-bit unsigned stereo at 44 kHz: left rises, right falls; then a 11 kHz tone keeps its pitch.
    std::vector<uint8_t> stereo8;
    for (int i = 0; i < 256; ++i) {
        stereo8.push_back(uint8_t(i));
        stereo8.push_back(uint8_t(255 - i));
    }
    const std::vector<int16_t> tone = Sine(11025, 11025.0 / 441.0); // 441 Hz for one second at 11 kHz
    MovieBuilder movie(100, 100, kFps);
    DefineSound(movie, 1, FormatByte(0, 3, false, true), 256, stereo8);
    DefineSound(movie, 2, FormatByte(3, 1, true, false), uint32_t(tone.size()), PcmBytes(tone));
    StartSound(movie, 1);
    movie.showFrame();
    StartSound(movie, 2);
    for (int f = 0; f < 14; ++f)
        movie.showFrame();
    const std::vector<int16_t> out = PlaySound(movie.finish(), 14);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(out[2 * size_t(i)], (i - 128) * 256) << i;
        ASSERT_EQ(out[2 * size_t(i) + 1], (127 - i) * 256) << i;
    }
    // One second of 441 Hz from frame 1: zero crossings upward every 100 output frames.
    const std::vector<int16_t> left = Side(out, 0);
    int crossings = 0;
    for (size_t i = kPerFrame + 2000; i < kPerFrame + 42000; ++i)
        crossings += left[i - 1] < 0 && left[i] >= 0;
    EXPECT_NEAR(crossings, 400, 1);
    const std::vector<int16_t> reference = Sine(44100, 100.0);
    const std::vector<int16_t> heard(left.begin() + long(kPerFrame), left.begin() + long(kPerFrame) + 44100);
    const auto [lag, correlation] = BestAlignment(reference, heard, 50);
    EXPECT_GT(correlation, 0.99);
    EXPECT_LE(std::abs(lag), 20);
}

// Stream blocks of one constant value per frame show which frame's block is heard in each frame of time.
TEST(SoundStream, FollowsItsTimelineAndRestartsAtAGotosBlock)
{
    MovieBuilder movie(100, 100, kFps);
    StreamHead(movie, kPcm44Mono, uint16_t(kPerFrame));
    for (int f = 0; f < 4; ++f) {
        movie.raw(kTagSoundStreamBlock, PcmBytes(std::vector<int16_t>(kPerFrame, int16_t(1000 * (f + 1)))));
        if (f == 3) {
            movie.gotoFrameAction(1);
            movie.actions({ kActionPlay });
        }
        movie.showFrame();
    }
    const std::vector<int16_t> out = PlaySound(movie.finish(), 8);
    // Frames shown: 0 1 2 (3 goes to 1) 1 2 (3 goes to 1) 1 2.
    const int heard[8] = { 1000, 2000, 3000, 2000, 3000, 2000, 3000, 2000 };
    ASSERT_EQ(out.size(), 8 * kPerFrame * 2);
    for (size_t f = 0; f < 8; ++f)
        for (size_t i = 0; i < kPerFrame; i += 97)
            ASSERT_EQ(out[2 * (f * kPerFrame + i)], heard[f]) << "frame " << f << " sample " << i;
}

TEST(SoundStream, StopsWithItsTimelineAndStartsAgainWithIt)
{
    MovieBuilder movie(100, 100, kFps);
    StreamHead(movie, kPcm44Mono, uint16_t(kPerFrame), false);
    for (int f = 0; f < 6; ++f) {
        movie.raw(kTagSoundStreamBlock, PcmBytes(std::vector<int16_t>(kPerFrame, int16_t(500 * (f + 1)))));
        if (f == 2)
            movie.actions({ 0x07 }); // Stop
        movie.showFrame();
    }
    const std::vector<uint8_t> bytes = movie.finish();
    std::vector<int16_t> sink;
    {
        reelfinch::plugin::MoviePlayer player;
        player.sound().setOutput(std::make_unique<Recorder>(player.sound().mixer(), sink));
        ASSERT_TRUE(player.load(bytes.data(), bytes.size()));
        for (int i = 0; i < 4; ++i)
            player.step(); // frames 1, 2 (stops), then time passes on frame 2
        player.play();
        player.step(); // frame 3
        player.step(); // frame 4
        player.sound().setOutput(nullptr);
    }
    const int heard[6] = { 500, 1000, 0, 0, 0, 2000 };
    ASSERT_EQ(sink.size(), 6 * kPerFrame * 2);
    for (size_t f = 0; f < 6; ++f)
        EXPECT_EQ(sink[2 * (f * kPerFrame + 10)], heard[f]) << "frame " << f;
}

TEST(SoundEvents, PausingTheMovieHoldsItsSound)
{
    const std::vector<int16_t> sine = Sine(20000, 50.5);
    MovieBuilder movie(100, 100, kFps);
    DefineSound(movie, 1, kPcm44Mono, uint32_t(sine.size()), PcmBytes(sine));
    StartSound(movie, 1);
    for (int f = 0; f < 10; ++f)
        movie.showFrame();
    const std::vector<uint8_t> bytes = movie.finish();
    std::vector<int16_t> sink;
    {
        reelfinch::plugin::MoviePlayer player;
        player.sound().setOutput(std::make_unique<Recorder>(player.sound().mixer(), sink));
        ASSERT_TRUE(player.load(bytes.data(), bytes.size()));
        player.step();
        player.stop();
        player.step();
        player.step();
        player.play();
        player.step();
        player.step();
        player.sound().setOutput(nullptr);
    }
    // Frame 0 of time plays, two frames of pause are silent, then the sound goes on where it was.
    for (size_t i = 0; i < kPerFrame; ++i)
        ASSERT_EQ(sink[2 * i], sine[i]);
    for (size_t i = kPerFrame; i < 3 * kPerFrame; ++i)
        ASSERT_EQ(sink[2 * i], 0);
    for (size_t i = 3 * kPerFrame; i < 5 * kPerFrame; ++i)
        ASSERT_EQ(sink[2 * i], sine[i - 2 * kPerFrame]);
}

} // namespace

namespace {

// Tag header and body, short or long form, for bodies built by hand (a sprite's tags).
void PutTag(std::vector<uint8_t>& out, uint16_t code, const std::vector<uint8_t>& body)
{
    if (body.size() < 63) {
        PutU16(out, uint16_t((code << 6) | body.size()));
    } else {
        PutU16(out, uint16_t((code << 6) | 63));
        PutU32(out, uint32_t(body.size()));
    }
    out.insert(out.end(), body.begin(), body.end());
}

std::vector<int16_t> Constant(size_t n, int16_t v)
{
    return std::vector<int16_t>(n, v);
}

TEST(SoundEvents, ButtonStateChangesPlayTheirSounds)
{
    MovieBuilder movie(100, 100, kFps);
    movie.rectShape(1, 0, 0, 40 * kTwips, 40 * kTwips, Color { 255, 0, 0 });
    // Sound 21 + n holds the value 1000 * (n + 1) for 100 frames.
    for (uint16_t n = 0; n < 4; ++n)
        DefineSound(movie, uint16_t(21 + n), kPcm44Mono, 100, PcmBytes(Constant(100, int16_t(1000 * (n + 1)))));
    CSWFStream button;
    button.WriteU16(10);
    for (uint8_t states : { uint8_t(0x01 | 0x02 | 0x04 | 0x08) }) {
        button.WriteU8(states);
        button.WriteU16(1);
        button.WriteU16(1);
        CMatrixItem identity;
        identity.WriteSWF(&button);
        button.FlushBits();
    }
    button.WriteU8(0);
    button.WriteU8(0); // no actions
    movie.stream().AppendTag(kTagDefineButton, false, &button);
    // Over-up to idle, idle to over-up, over-up to over-down, over-down to over-up.
    std::vector<uint8_t> sounds;
    PutU16(sounds, 10);
    for (uint16_t id : { 24, 21, 22, 23 }) {
        PutU16(sounds, id);
        sounds.push_back(0); // sound info without options
    }
    movie.raw(kTagDefineButtonSound, sounds);
    movie.place(1, 10, 0, 0);
    movie.showFrame();
    const std::vector<uint8_t> bytes = movie.finish();
    std::vector<int16_t> sink;
    {
        reelfinch::plugin::MoviePlayer player;
        player.sound().setOutput(std::make_unique<Recorder>(player.sound().mixer(), sink));
        ASSERT_TRUE(player.load(bytes.data(), bytes.size()));
        const std::pair<double, bool> mouse[] = { { 20, false }, { 20, true }, { 20, false }, { 80, false } };
        for (const auto& [at, down] : mouse) {
            player.mouseEvent(at, at, down, 100, 100);
            player.step();
        }
        player.sound().setOutput(nullptr);
    }
    ASSERT_EQ(sink.size(), 4 * kPerFrame * 2);
    const int heard[4] = { 1000, 2000, 3000, 4000 };
    for (size_t f = 0; f < 4; ++f) {
        EXPECT_EQ(sink[2 * (f * kPerFrame + 50)], heard[f]) << "change " << f;
        EXPECT_EQ(sink[2 * (f * kPerFrame + 150)], 0) << "change " << f;
    }
}

TEST(SoundEvents, StartSound2NamesItsSoundByClass)
{
    const std::vector<int16_t> sine = Sine(3000, 40.0);
    MovieBuilder movie(100, 100, kFps);
    DefineSound(movie, 5, kPcm44Mono, uint32_t(sine.size()), PcmBytes(sine));
    std::vector<uint8_t> symbols;
    PutU16(symbols, 1);
    PutU16(symbols, 5);
    for (char c : std::string("sounds.Tone"))
        symbols.push_back(uint8_t(c));
    symbols.push_back(0);
    movie.raw(76, symbols);
    movie.showFrame();
    for (const char* name : { "sounds.Tone", "sounds.Missing" }) {
        std::vector<uint8_t> start;
        for (const char* c = name; *c; ++c)
            start.push_back(uint8_t(*c));
        start.push_back(0);
        const std::vector<uint8_t> info = SoundInfo { false, false, 500, 0, 0, {} }.bytes();
        start.insert(start.end(), info.begin(), info.end());
        movie.raw(kTagStartSound2, start);
    }
    movie.showFrame();
    movie.showFrame();
    const std::vector<int16_t> out = PlaySound(movie.finish(), 3);
    for (size_t i = 0; i < kPerFrame; ++i)
        ASSERT_EQ(out[2 * i], 0);
    for (size_t i = 0; i < 2500; ++i)
        ASSERT_EQ(out[2 * (kPerFrame + i)], sine[500 + i]) << i;
}

TEST(SoundStream, ASpritesStreamPlaysWhileTheSpriteLives)
{
    MovieBuilder movie(100, 100, kFps);
    // Sprite 3: its own stream head and three frames of blocks of 700, 800, 900.
    std::vector<uint8_t> sprite;
    PutU16(sprite, 3);
    PutU16(sprite, 3);
    std::vector<uint8_t> head { uint8_t(kPcm44Mono & 0x0F), kPcm44Mono };
    PutU16(head, uint16_t(kPerFrame));
    PutTag(sprite, kTagSoundStreamHead, head);
    for (int f = 0; f < 3; ++f) {
        PutTag(sprite, kTagSoundStreamBlock, PcmBytes(Constant(kPerFrame, int16_t(700 + 100 * f))));
        PutTag(sprite, kTagShowFrame, {});
    }
    PutTag(sprite, kTagEnd, {});
    movie.raw(kTagDefineSprite, sprite);
    movie.showFrame();
    movie.place(1, 3, 0, 0);
    movie.showFrame();
    movie.showFrame();
    movie.remove(1);
    movie.showFrame();
    movie.showFrame();
    const std::vector<int16_t> out = PlaySound(movie.finish(), 5);
    // Frame 1 places the sprite (its frame 0), frame 2 moves it on, frame 3 removes it.
    const int heard[5] = { 0, 700, 800, 0, 0 };
    ASSERT_EQ(out.size(), 5 * kPerFrame * 2);
    for (size_t f = 0; f < 5; ++f)
        EXPECT_EQ(out[2 * (f * kPerFrame + 20)], heard[f]) << "frame " << f;
}

// An output on a clock of its own that the test moves by hand.
class HandClock : public reelfinch::plugin::sound::SoundOutput
{
public:
    void setPaused(bool) override { }
};

// On a real-time output a sprite's stream sound paces the sprite: it waits on a frame its sound has not reached
// while the root plays on, and moves on as the sound is heard. An output without a clock (export) leaves the
// sprite to the frame rate.
TEST(SoundStream, ASpritesStreamPacesTheSpriteOnAClockedOutput)
{
    MovieBuilder movie(100, 100, kFps);
    std::vector<uint8_t> sprite;
    PutU16(sprite, 3);
    PutU16(sprite, 8);
    std::vector<uint8_t> head { uint8_t(kPcm44Mono & 0x0F), kPcm44Mono };
    PutU16(head, uint16_t(kPerFrame));
    PutTag(sprite, kTagSoundStreamHead, head);
    for (int f = 0; f < 8; ++f) {
        PutTag(sprite, kTagSoundStreamBlock, PcmBytes(Constant(kPerFrame, int16_t(100 * (f + 1)))));
        PutTag(sprite, kTagShowFrame, {});
    }
    PutTag(sprite, kTagEnd, {});
    movie.raw(kTagDefineSprite, sprite);
    movie.place(1, 3, 0, 0);
    for (int f = 0; f < 20; ++f)
        movie.showFrame();
    const std::vector<uint8_t> bytes = movie.finish();
    auto spriteFrame = [](reelfinch::plugin::MoviePlayer& player) {
        auto it = player.root().displayList.find(1);
        return it != player.root().displayList.end() && it->second.sprite ? it->second.sprite->currentFrame : -1;
    };
    for (const bool clocked : { true, false }) {
        std::vector<int16_t> sink;
        reelfinch::plugin::MoviePlayer player;
        if (clocked)
            player.sound().setOutput(std::make_unique<HandClock>());
        else
            player.sound().setOutput(std::make_unique<Recorder>(player.sound().mixer(), sink));
        ASSERT_TRUE(player.load(bytes.data(), bytes.size()));
        for (int i = 0; i < 3; ++i)
            player.step();
        EXPECT_EQ(player.root().currentFrame, 3);
        if (!clocked) {
            EXPECT_EQ(spriteFrame(player), 3);
            player.sound().setOutput(nullptr);
            continue;
        }
        // Nothing heard yet: the sprite waits on its first frame, its block still queued.
        EXPECT_EQ(spriteFrame(player), 0);
        std::vector<int16_t> out(kPerFrame * 2);
        for (int heard = 1; heard <= 3; ++heard) {
            player.sound().mixer().render(out.data(), kPerFrame);
            EXPECT_EQ(out[100], 100 * heard) << heard;
            player.step();
            EXPECT_EQ(spriteFrame(player), heard);
        }
        player.sound().setOutput(nullptr);
    }
}

} // namespace
