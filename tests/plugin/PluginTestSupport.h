// Drawing a movie into a pixel buffer and judging its pixels.
#pragma once

#include "MovieBuilder.h"
#include "timeline/MoviePlayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace plugintest {

struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

inline Canvas Render(reelfinch::plugin::MoviePlayer& movie, int width, int height)
{
    Canvas canvas { width, height, std::vector<uint32_t>(size_t(width) * size_t(height), 0xFF00FF00u) };
    reelfinch::plugin::DrawTarget target;
    target.pixels = canvas.pixels.data();
    target.width = width;
    target.height = height;
    target.stride = width * 4;
    target.area = { 0, 0, width, height };
    target.clip = { { 0, 0, width, height } };
    movie.draw(target);
    return canvas;
}

inline std::string Hex(uint32_t pixel)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", pixel);
    return text;
}

// Whether an opaque pixel has the colour, each channel within `tolerance`.
inline ::testing::AssertionResult Near(uint32_t pixel, Color c, int tolerance = 6)
{
    const int r = int((pixel >> 16) & 0xFF);
    const int g = int((pixel >> 8) & 0xFF);
    const int b = int(pixel & 0xFF);
    if (std::abs(r - c.r) <= tolerance && std::abs(g - c.g) <= tolerance && std::abs(b - c.b) <= tolerance)
        return ::testing::AssertionSuccess();
    char wanted[16];
    std::snprintf(wanted, sizeof wanted, "%02X%02X%02X", c.r, c.g, c.b);
    return ::testing::AssertionFailure() << "pixel " << Hex(pixel) << ", wanted " << wanted;
}

inline bool Load(reelfinch::plugin::MoviePlayer& player, const std::vector<uint8_t>& bytes)
{
    return player.load(bytes.data(), bytes.size());
}

// Draws each of a movie's first `frames` frames twice with one player and checks each picture against the one a
// player that drew nothing before draws of that frame: what is kept from draw to draw must stand only for what
// would be drawn anew. Channels may differ by `tolerance`.
inline void ExpectDrawnAgainAsAnew(
    const std::vector<uint8_t>& bytes, int frames, int width, int height, int tolerance = 0)
{
    reelfinch::plugin::MoviePlayer drawing;
    ASSERT_TRUE(Load(drawing, bytes));
    for (int frame = 0; frame < frames; ++frame) {
        reelfinch::plugin::MoviePlayer fresh;
        ASSERT_TRUE(Load(fresh, bytes));
        for (int i = 0; i < frame; ++i)
            fresh.step();
        const Canvas once = Render(fresh, width, height);
        for (int draw = 0; draw < 2; ++draw) {
            const Canvas again = Render(drawing, width, height);
            int worst = 0;
            for (size_t i = 0; i < once.pixels.size(); ++i)
                for (int shift = 0; shift < 32; shift += 8)
                    worst = std::max(worst,
                        std::abs(int((once.pixels[i] >> shift) & 0xFF) - int((again.pixels[i] >> shift) & 0xFF)));
            EXPECT_LE(worst, tolerance) << "frame " << frame << ", draw " << draw;
        }
        drawing.step();
    }
}

inline constexpr Color kWhite { 255, 255, 255 };
inline constexpr Color kBlack { 0, 0, 0 };
inline constexpr Color kRed { 255, 0, 0 };
inline constexpr Color kGreen { 0, 255, 0 };
inline constexpr Color kBlue { 0, 0, 255 };
inline constexpr Color kGrey { 0x40, 0x40, 0x40 };

} // namespace plugintest
