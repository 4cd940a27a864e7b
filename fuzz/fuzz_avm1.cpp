// libFuzzer target for the script machine: the fuzzer's bytes are the action block of a frame of a generated
// three-frame movie (the same block also runs in a sprite placed on the stage), played for a few frames with a
// short time limit per action list. Nothing may crash, hang or leak.
#include "timeline/MoviePlayer.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// Tag codes of the generated movie.
constexpr uint16_t kEnd = 0, kShowFrame = 1, kDoAction = 12, kPlaceObject2 = 26, kDefineSprite = 39;
// The version of the generated movie is the first input byte's choice among these.
constexpr uint8_t kVersions[] = { 4, 5, 6, 7, 8, 10 };
constexpr int kFrames = 4;

void U16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Tag(std::vector<uint8_t>& out, uint16_t code, const std::vector<uint8_t>& body)
{
    U16(out, uint16_t((code << 6) | 0x3F));
    const uint32_t size = uint32_t(body.size());
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(uint8_t(size >> shift));
    out.insert(out.end(), body.begin(), body.end());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("REELFINCH_SCRIPT_TIME_LIMIT", "0.05", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 65536)
        return 0;
    const uint8_t version = kVersions[data[0] % sizeof kVersions];
    std::vector<uint8_t> actions(data + 1, data + size);
    actions.push_back(0);

    std::vector<uint8_t> tags;
    // A sprite (ID 1) of two frames running the same actions, placed at depth 1 under the name "clip".
    std::vector<uint8_t> sprite;
    U16(sprite, 1);
    U16(sprite, 2);
    Tag(sprite, kDoAction, actions);
    Tag(sprite, kShowFrame, {});
    Tag(sprite, kShowFrame, {});
    Tag(sprite, kEnd, {});
    Tag(tags, kDefineSprite, sprite);
    std::vector<uint8_t> place { 0x22 }; // has name, has character
    U16(place, 1);
    U16(place, 1);
    for (char c : { 'c', 'l', 'i', 'p', '\0' })
        place.push_back(uint8_t(c));
    Tag(tags, kPlaceObject2, place);
    for (int frame = 0; frame < kFrames; ++frame) {
        Tag(tags, kDoAction, actions);
        Tag(tags, kShowFrame, {});
    }
    Tag(tags, kEnd, {});

    std::vector<uint8_t> movie { 'F', 'W', 'S', version, 0, 0, 0, 0 };
    // A 20x20 pixel frame: RECT with 9-bit fields (0, 400, 0, 400), then rate 12 and the frame count.
    const uint8_t rect[] = { 0x48, 0x00, 0x32, 0x00, 0x06, 0x40 };
    movie.insert(movie.end(), rect, rect + sizeof rect);
    U16(movie, 12 << 8);
    U16(movie, kFrames);
    movie.insert(movie.end(), tags.begin(), tags.end());
    const uint32_t length = uint32_t(movie.size());
    for (int i = 0; i < 4; ++i)
        movie[size_t(4 + i)] = uint8_t(length >> (8 * i));

    reelfinch::plugin::MoviePlayer player;
    player.onTrace = [](const std::string&) {};
    player.load(movie.data(), movie.size());
    for (int frame = 1; frame < kFrames; ++frame)
        player.step();
    player.advanceTo(1000);
    player.advanceTo(2000);
    return 0;
}
