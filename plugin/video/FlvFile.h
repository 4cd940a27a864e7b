// FLV files as NetStream plays them: the header, then tags of sound, video and script data, each with its time
// in milliseconds. Reading stops cleanly at the first tag that runs past the end or is damaged; what came before
// it stays usable (a file still arriving, or cut short, plays up to there).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace reelfinch::plugin::video {

enum FlvTagType : uint8_t {
    kFlvAudio = 8,
    kFlvVideo = 9,
    kFlvScript = 18,
};

struct FlvTag {
    uint8_t type = 0;
    uint32_t timeMs = 0;
    size_t offset = 0; // of the tag's data in the file
    size_t size = 0;
    // Video tags: the frame type (1 key frame, 2 inter frame, 3 disposable, 4 generated key, 5 command) and codec
    // id from the data's first byte.
    uint8_t frameType = 0;
    uint8_t codec = 0;
};

struct FlvFile {
    bool valid = false; // the header was read
    bool hasAudio = false;
    bool hasVideo = false;
    std::vector<FlvTag> tags; // in file order
    // The time of the last tag (ms).
    uint32_t lastTimeMs() const { return tags.empty() ? 0 : tags.back().timeMs; }
    // The time of the last video key frame at or before `ms` (0 when none).
    uint32_t keyFrameAtOrBefore(uint32_t ms) const;
};

// Reads the tags of `bytes`; at most `maxTags` are kept.
FlvFile ReadFlv(std::string_view bytes, size_t maxTags = 1u << 20);

} // namespace reelfinch::plugin::video
