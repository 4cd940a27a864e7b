// The video streams of one movie: each DefineVideoStream with the VideoFrame packets found for it anywhere in the
// movie (the root timeline and every sprite), made into a decoding stream when first drawn.
#pragma once

#include "video/VideoDecoder.h"

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class CTagsItem;
class CDefineVideoStreamTag;
class CVideoFrameTag;

namespace reelfinch::plugin::video {

class MovieVideos
{
public:
    // The stream of a video character of the movie whose tags are `tags`, or null when it cannot be decoded.
    Stream* stream(const CTagsItem* tags, const CDefineVideoStreamTag& define);

private:
    void index(const CTagsItem* tags, int nesting);

    bool m_Indexed = false;
    std::map<uint16_t, std::vector<const CVideoFrameTag*>> m_FrameTags; // by stream ID, in the movie's order
    std::map<uint16_t, std::unique_ptr<Stream>> m_Streams;
};

} // namespace reelfinch::plugin::video
