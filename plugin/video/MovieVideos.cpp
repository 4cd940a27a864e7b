#include "video/MovieVideos.h"

#include "Collections.h"
#include "TagCodes.h"
#include "Tags.h"

namespace reelfinch::plugin::video {

namespace {
// Sprites inside sprites are malformed; the walk stops at this depth all the same.
constexpr int kMaxNesting = 8;
}

void MovieVideos::index(const CTagsItem* tags, int nesting)
{
    for (int i = 0; tags && i < tags->GetItemCount(); ++i) {
        const CTag* tag = tags->GetTag(i);
        if (auto* frame = dynamic_cast<const CVideoFrameTag*>(tag))
            m_FrameTags[frame->m_ID].push_back(frame);
        else if (auto* sprite = dynamic_cast<const CDefineSpriteTag*>(tag); sprite && nesting < kMaxNesting)
            index(sprite->m_pTags.get(), nesting + 1);
    }
}

Stream* MovieVideos::stream(const CTagsItem* tags, const CDefineVideoStreamTag& define)
{
    auto found = m_Streams.find(define.m_ID);
    if (found != m_Streams.end())
        return found->second.get();
    if (!m_Indexed) {
        m_Indexed = true;
        index(tags, 0);
    }
    auto made = std::make_unique<Stream>(define.m_CodecID, define.m_Deblocking);
    for (const CVideoFrameTag* frame : m_FrameTags[define.m_ID]) {
        CSWFStream* data = frame->m_pData ? frame->m_pData->m_pData.get() : nullptr;
        if (data && data->GetBuffer())
            made->addFrame(frame->m_FrameNum, data->GetBuffer(), data->GetSize());
    }
    return m_Streams.emplace(define.m_ID, std::move(made)).first->second.get();
}

} // namespace reelfinch::plugin::video
