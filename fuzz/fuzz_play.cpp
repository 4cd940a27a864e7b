// Plays and draws a movie made of the fuzzer's bytes with the plug-in's player: reading every character kind
// (shapes of all versions, bitmaps through libjpeg-turbo and zlib, fonts and texts, morphs, buttons, sprites),
// the timelines with their placements and simple actions, the buttons under a pressed mouse, and every drawing
// path of the renderer at both ends of the quality scale. Nothing may crash, leak, hang or read out of bounds.
#include "timeline/MoviePlayer.h"

#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <vector>

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr int kSteps = 4;

} // namespace

// A script that never ends is stopped by the player's time limit for one action list; a short limit keeps such
// movies from looking like hangs (every step would wait out the whole limit).
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("REELFINCH_SCRIPT_TIME_LIMIT", "0.05", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace reelfinch::plugin;
    MoviePlayer player;
    if (!player.load(data, size))
        return 0;

    std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight);
    DrawTarget target;
    target.pixels = pixels.data();
    target.width = kWidth;
    target.height = kHeight;
    target.stride = kWidth * static_cast<int>(sizeof(uint32_t));
    target.area = PixelRect { 0, 0, kWidth, kHeight };
    target.clip = { target.area };

    for (int i = 0; i < kSteps; ++i) {
        player.setQuality(i % 2 == 0 ? Quality::High : Quality::Low);
        player.draw(target);
        player.mouseEvent(kWidth / 2.0, kHeight / 2.0, i == 1, kWidth, kHeight);
        player.step(true);
    }
    // Going back rebuilds the display list from the first frame.
    player.gotoFrame(0);
    player.draw(target);
    return 0;
}
