#include "video/FlvFile.h"

namespace reelfinch::plugin::video {

namespace {

uint32_t BigEndian(std::string_view b, size_t at, int n)
{
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | uint8_t(b[at + size_t(i)]);
    return v;
}

} // namespace

uint32_t FlvFile::keyFrameAtOrBefore(uint32_t ms) const
{
    uint32_t best = 0;
    for (const FlvTag& t : tags)
        if (t.type == kFlvVideo && (t.frameType == 1 || t.frameType == 4) && t.timeMs <= ms)
            best = t.timeMs;
    return best;
}

FlvFile ReadFlv(std::string_view bytes, size_t maxTags)
{
    FlvFile file;
    if (bytes.size() < 9 || bytes.substr(0, 3) != "FLV")
        return file;
    const uint8_t flags = uint8_t(bytes[4]);
    file.hasAudio = (flags & 4) != 0;
    file.hasVideo = (flags & 1) != 0;
    const uint32_t headerSize = BigEndian(bytes, 5, 4);
    if (headerSize < 9 || headerSize > bytes.size())
        return file;
    file.valid = true;
    // Each tag follows the size of the one before it (4 bytes).
    size_t at = size_t(headerSize) + 4;
    while (at + 11 <= bytes.size() && file.tags.size() < maxTags) {
        FlvTag tag;
        tag.type = uint8_t(bytes[at]) & 0x1F; // the upper bits mark filtered (encrypted) tags
        tag.size = BigEndian(bytes, at + 1, 3);
        tag.timeMs = BigEndian(bytes, at + 4, 3) | (uint32_t(uint8_t(bytes[at + 7])) << 24);
        tag.offset = at + 11;
        if (tag.size > bytes.size() - tag.offset)
            break;
        if (tag.type == kFlvVideo && tag.size > 0) {
            tag.frameType = uint8_t(bytes[tag.offset]) >> 4;
            tag.codec = uint8_t(bytes[tag.offset]) & 0x0F;
        }
        if (tag.type == kFlvAudio || tag.type == kFlvVideo || tag.type == kFlvScript)
            file.tags.push_back(tag);
        at = tag.offset + tag.size + 4;
    }
    return file;
}

} // namespace reelfinch::plugin::video
