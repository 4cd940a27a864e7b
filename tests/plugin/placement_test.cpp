// PlaceObject3: blend modes, the visible flag, filters passed over, and bodies that cannot be read whole.
#include "timeline/Placement.h"
#include "PluginTestSupport.h"

using namespace plugintest;
using reelfinch::plugin::MoviePlayer;

namespace {

constexpr int T = kTwips;
constexpr uint8_t kHasMatrix = 0x04;
constexpr uint8_t kHasCharacter = 0x02;
constexpr uint8_t kHasVisible = 0x20;
constexpr uint8_t kHasBlendMode = 0x02;
constexpr uint8_t kHasFilterList = 0x01;
constexpr uint8_t kBlurFilter = 1;
constexpr size_t kBlurBytes = 9;

constexpr uint8_t kHasCacheAsBitmap = 0x04;

// A PlaceObject3 body placing `id` at `depth`, moved by (x, y) twips; `more` is its second flags byte, followed
// by one blur filter of nothing, the blend mode, bitmap caching and the visible flag as those flags ask.
std::vector<uint8_t> Place3Twips(uint16_t depth, uint16_t id, int x, int y, uint8_t more, uint8_t blend, bool visible)
{
    std::vector<uint8_t> body { uint8_t(kHasCharacter | kHasMatrix), more, uint8_t(depth), uint8_t(depth >> 8),
        uint8_t(id), uint8_t(id >> 8) };
    // MATRIX without scale or rotation: 16-bit translation fields, 7 + 32 bits in 5 bytes.
    uint64_t bits = (uint64_t(0) << 39) | (uint64_t(16) << 32) | (uint64_t(uint16_t(x)) << 16) | uint16_t(y);
    bits <<= 1; // 40 bits: the last one pads the byte
    for (int shift = 32; shift >= 0; shift -= 8)
        body.push_back(uint8_t(bits >> shift));
    if (more & kHasFilterList) {
        body.push_back(1);
        body.push_back(kBlurFilter);
        body.insert(body.end(), kBlurBytes, 0);
    }
    if (more & kHasBlendMode)
        body.push_back(blend);
    if (more & kHasCacheAsBitmap)
        body.push_back(1);
    if (more & kHasVisible)
        body.push_back(visible ? 1 : 0);
    return body;
}

// The same moved by (x, y) pixels.
std::vector<uint8_t> Place3(uint16_t depth, uint16_t id, int x, int y, uint8_t more, uint8_t blend, bool visible)
{
    return Place3Twips(depth, id, x * T, y * T, more, blend, visible);
}

} // namespace

TEST(PluginPlacement, BlendModesAndTheVisibleFlag)
{
    MovieBuilder movie(100, 100);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 50 * T, 50 * T, { 255, 128, 0 });
    movie.rectShape(2, 0, 0, 50 * T, 50 * T, { 128, 255, 255 });
    movie.rectShape(3, 0, 0, 20 * T, 20 * T, kBlue);
    movie.place(1, 1, 10 * T, 10 * T);
    movie.raw(kTagPlaceObject3,
        Place3(2, 2, 40, 40, kHasFilterList | kHasBlendMode, reelfinch::plugin::kBlendMultiply, true));
    movie.raw(kTagPlaceObject3, Place3(3, 3, 0, 70, kHasVisible, 0, false));
    movie.raw(kTagPlaceObject3, Place3(4, 3, 70, 0, kHasVisible, 0, true));
    movie.showFrame();
    MoviePlayer player;
    ASSERT_TRUE(Load(player, movie.finish()));
    const Canvas c = Render(player, 100, 100);
    EXPECT_TRUE(Near(c.at(20, 20), { 255, 128, 0 }));
    EXPECT_TRUE(Near(c.at(50, 50), { 128, 128, 0 })) << "multiplied with the orange below";
    EXPECT_TRUE(Near(c.at(80, 80), { 128, 255, 255 })) << "multiplied with white";
    EXPECT_TRUE(Near(c.at(10, 80), kWhite)) << "placed invisible";
    EXPECT_TRUE(Near(c.at(80, 10), kBlue));
}

TEST(PluginPlacement, WhatFollowsAFaultIsNotTaken)
{
    // A blue square placed with the multiply blend mode and made invisible, where something in the body keeps it
    // from being read whole: the object is placed as the fields before the fault say, and drawn normally.
    struct Case {
        const char* what;
        std::vector<uint8_t> body;
    };
    std::vector<uint8_t> unknownFilter = Place3(1, 1, 20, 20, kHasFilterList | kHasBlendMode | kHasVisible,
        reelfinch::plugin::kBlendMultiply, false);
    unknownFilter[12] = 9; // the filter's kind
    std::vector<uint8_t> cutShort
        = Place3(1, 1, 20, 20, kHasBlendMode | kHasVisible, reelfinch::plugin::kBlendMultiply, false);
    cutShort.pop_back();
    const Case cases[] = {
        { "a filter of unknown kind", unknownFilter },
        { "the body ends before the visible flag", cutShort },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MovieBuilder movie(100, 100);
        movie.background(kRed);
        movie.rectShape(1, 0, 0, 20 * T, 20 * T, kBlue);
        movie.raw(kTagPlaceObject3, c.body);
        movie.showFrame();
        MoviePlayer player;
        ASSERT_TRUE(Load(player, movie.finish()));
        const Canvas canvas = Render(player, 100, 100);
        EXPECT_TRUE(Near(canvas.at(30, 30), kBlue));
        EXPECT_TRUE(Near(canvas.at(10, 10), kRed));
    }
}

TEST(PluginPlacement, CachedPicturesStartOnWholePixels)
{
    // A 20-pixel square whose corner lies between pixels: a cached or filtered picture starts on the nearest
    // whole pixel, one halfway right and down, except that a picture both cached and filtered goes up.
    struct Case {
        const char* what;
        uint8_t more;
        int x, y; // twips
        int left, top; // the square's first pixels
    };
    const Case cases[] = {
        { "cached, halfway", kHasCacheAsBitmap, 210, 210, 11, 11 },
        { "filtered, halfway", kHasFilterList, 210, 210, 11, 11 },
        { "cached and filtered, halfway", kHasCacheAsBitmap | kHasFilterList, 210, 210, 11, 10 },
        { "cached and filtered, nearer below", kHasCacheAsBitmap | kHasFilterList, 210, 212, 11, 11 },
        { "cached and filtered, nearer above", kHasCacheAsBitmap | kHasFilterList, 208, 208, 10, 10 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MovieBuilder movie(60, 60);
        movie.background(kWhite);
        movie.rectShape(1, 0, 0, 20 * T, 20 * T, kBlue);
        movie.raw(kTagPlaceObject3, Place3Twips(1, 1, c.x, c.y, c.more, 0, true));
        movie.showFrame();
        MoviePlayer player;
        ASSERT_TRUE(Load(player, movie.finish()));
        const Canvas canvas = Render(player, 60, 60);
        const int middle = 20;
        EXPECT_TRUE(Near(canvas.at(c.left, middle), kBlue, 2)) << "left edge";
        EXPECT_TRUE(Near(canvas.at(c.left - 1, middle), kWhite, 2)) << "left of it";
        EXPECT_TRUE(Near(canvas.at(c.left + 19, middle), kBlue, 2)) << "right edge";
        EXPECT_TRUE(Near(canvas.at(c.left + 20, middle), kWhite, 2)) << "right of it";
        EXPECT_TRUE(Near(canvas.at(middle, c.top), kBlue, 2)) << "top edge";
        EXPECT_TRUE(Near(canvas.at(middle, c.top - 1), kWhite, 2)) << "above it";
        EXPECT_TRUE(Near(canvas.at(middle, c.top + 19), kBlue, 2)) << "bottom edge";
        EXPECT_TRUE(Near(canvas.at(middle, c.top + 20), kWhite, 2)) << "below it";
    }
}
