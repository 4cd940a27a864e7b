#include "Movie.h"

#include "FactoryFamilies.h"
#include "SWFDebugger.h"
#include "SWFStream.h"
#include "TagCodes.h"
#include "TagsCommon.h"

#include <algorithm>

namespace {

// Walks the tag headers of the top-level list from `position` (the frame count) without reading or reporting
// anything. Returns where the End tag ends, or, when the list has no complete End tag, where the walk stopped:
// the start of a tag that runs past the data, or the end of the data.
uint32_t EndOfTagList(const CSWFStream& stream, uint32_t position)
{
    const uint8_t* data = stream.GetBuffer();
    const uint64_t size = stream.GetSize();
    uint64_t at = static_cast<uint64_t>(position) + 2; // frame count
    while (data && at < size) {
        const uint64_t start = at;
        if (at + 2 > size)
            return static_cast<uint32_t>(start);
        const uint16_t header = static_cast<uint16_t>(data[at] | (data[at + 1] << 8));
        at += 2;
        uint64_t length = header & kTagShortLengthMask;
        if (length == kTagLongLengthMarker) {
            if (at + 4 > size)
                return static_cast<uint32_t>(start);
            length
                = data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) | (static_cast<uint64_t>(data[at + 3]) << 24);
            at += 4;
        }
        if (at + length > size)
            return static_cast<uint32_t>(start);
        at += length;
        if ((header >> 6) == kTagEnd)
            return static_cast<uint32_t>(at);
    }
    return static_cast<uint32_t>(std::min<uint64_t>(at, size));
}

} // namespace

unsigned char MovieVersionOf(const CSWFObject* owner)
{
    // Records are owned by the movie directly; the walk up the chain is bounded in case of a cycle.
    for (int hops = 0; owner && hops < 64; ++hops, owner = owner->GetOwner()) {
        if (const auto* movie = dynamic_cast<const CSWF*>(owner))
            return movie->m_pHeader ? movie->m_pHeader->m_Version : 0;
    }
    return 0;
}

CSWF::CSWF(CSWFObject* owner, unsigned char style)
    : CSWFObject(owner, style)
    , m_pHeader(std::make_unique<CHeaderItem>(this, kStyleNone))
    , m_pTags(std::make_unique<CTagsItem>(this, kStyleNone))
{ }

CSWF::~CSWF() = default;

int CSWF::ReadSWF(CSWFStream* stream)
{
    SWFDebugLevel level;
    m_pTrailing.reset();
    if (!m_pHeader->ReadSWF(stream))
        return 0;
    // Bytes after the End tag, and a last tag that runs past the data, are kept to be written back after the
    // list: nothing the file held is dropped on saving.
    const uint32_t listEnd = EndOfTagList(*stream, stream->GetPosition());
    if (!m_pTags->ReadSWF(stream))
        return 0;
    if (listEnd < stream->GetSize()) {
        m_pTrailing = std::make_unique<CDumpItem>(this, kStyleNone);
        CSWFStream tail;
        WindowOf(stream, listEnd, stream->GetSize() - listEnd, tail);
        m_pTrailing->SetReadingSize(tail.GetSize());
        m_pTrailing->ReadSWF(&tail);
    }
    return 1;
}

int CSWF::WriteSWF(CSWFStream* stream)
{
    SWFDebugLevel level;
    if (!m_pHeader->WriteSWF(stream) || !m_pTags->WriteSWF(stream))
        return 0;
    if (m_pTrailing && !m_pTrailing->WriteSWF(stream))
        return 0;
    return m_pHeader->MakeCompleteSWF(stream);
}

int CSWF::OpenSWF(const char* path)
{
    CSWFStream stream;
    return stream.LoadFromFile(path) && ReadSWF(&stream) ? 1 : 0;
}

int CSWF::SaveSWF(const char* path)
{
    CSWFStream stream;
    return WriteSWF(&stream) && stream.SaveToFile(path) ? 1 : 0;
}

void CSWF::SetHeader(const CHeaderItem* header)
{
    if (header)
        CopyOwned(header, this, kStyleNone, m_pHeader);
}

void CSWF::SetTags(const CTagsItem* tags)
{
    if (tags)
        CopyOwned(tags, this, kStyleNone, m_pTags);
}

int CSWF::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CSWFObject::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CSWF>(dest);
    if (!copy)
        return 0;
    // The header first: tags copied into the new movie reach its version through it.
    return CopyOwned(m_pHeader.get(), copy, kStyleNone, copy->m_pHeader)
            && CopyOwned(m_pTags.get(), copy, kStyleNone, copy->m_pTags)
            && CopyOwned(m_pTrailing.get(), copy, kStyleNone, copy->m_pTrailing)
        ? 1
        : 0;
}

void CSWF::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFObject::DescribeFields(visitor);
    visitor.Child("header", m_pHeader.get());
    visitor.Child("tags", m_pTags.get());
    visitor.Child("trailing", m_pTrailing.get());
}

CSWFObject* NewMovieObject(int classID, CSWFObject* owner, unsigned char style)
{
    return classID == kClassID_CSWF ? new CSWF(owner, style) : nullptr;
}
