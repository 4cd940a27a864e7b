#include "timeline/RawBodies.h"

#include "Collections.h"
#include "SWFStream.h"
#include "TagCodes.h"
#include "Tags.h"

#include <memory>

namespace reelfinch::plugin {

namespace {

// Sprites inside sprites are walked this deep at most; a movie cannot define more than that legitimately.
constexpr int kMaxNesting = 64;

bool ReadAsRawBody(uint16_t code)
{
    switch (code) {
    case kTagPlaceObject3:
    case kTagDefineFont3:
    case kTagSymbolClass:
    case kTagDefineShape4:
    case kTagDefineMorphShape2:
    case kTagStartSound2:
    case kTagDefineBitsJPEG4:
        return true;
    default:
        return false;
    }
}

// The raw-body form of `tag`, or null when its object does not write back.
std::unique_ptr<CRawBodyTag> RawBodyOf(CTag* tag)
{
    CSWFStream body;
    if (!tag->WriteSWF(&body))
        return nullptr;
    body.SetPosition(0);
    auto raw = std::make_unique<CRawBodyTag>(tag->GetOwner());
    raw->m_TagCode = tag->m_TagCode;
    raw->m_LongHeader = tag->m_LongHeader;
    if (!raw->ReadSWF(&body))
        return nullptr;
    return raw;
}

} // namespace

void KeepRawBodies(CTagsItem* tags, int nesting)
{
    if (!tags || nesting > kMaxNesting)
        return;
    for (int i = 0; i < tags->GetItemCount(); ++i) {
        CTag* tag = tags->GetTag(i);
        if (!tag)
            continue;
        if (auto* sprite = dynamic_cast<CDefineSpriteTag*>(tag)) {
            KeepRawBodies(sprite->m_pTags.get(), nesting + 1);
            continue;
        }
        if (!ReadAsRawBody(tag->m_TagCode) || dynamic_cast<CRawBodyTag*>(tag))
            continue;
        if (auto raw = RawBodyOf(tag))
            tags->m_pList->SetItem(i, raw.release());
    }
}

} // namespace reelfinch::plugin
