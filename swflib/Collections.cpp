#include "Collections.h"

#include "Compression.h"
#include "FactoryFamilies.h"
#include "SWFDebugger.h"
#include "TagCodes.h"

#include <algorithm>
#include <cstring>

namespace {

// The value CreateItem reports with a failed allocation.
constexpr long kCreateFailedValue = 5;
// The escape byte of a byte-word count and the largest count a single byte carries beside it.
constexpr uint8_t kWideCountEscape = 0xFF;
constexpr unsigned long kLargestByteCount = 254;
constexpr unsigned char kStyleFirstShape = 1;
constexpr unsigned long kPascalMaxLength = 255;
// Items in a row a counted list may read without taking any data before it gives up.
constexpr unsigned long kMaxIdleItems = 0xFFFF;

bool NoShortfall(const CSWFStream* stream)
{
    return stream && stream->m_DataLow == 0;
}

// An owning stream holding a copy of the bytes of `src` (which may be a window into another buffer).
void CopyBytes(const CSWFStream* src, CSWFStream& dest)
{
    dest.SetSize(0);
    if (src && src->GetSize() > 0 && dest.SetSize(src->GetSize()))
        std::memcpy(dest.GetBuffer(), src->GetBuffer(), src->GetSize());
    dest.SetPosition(0);
    dest.SetBit(8);
}

bool SameBytes(const CSWFStream& a, const CSWFStream& b)
{
    return a.GetSize() == b.GetSize()
        && (a.GetSize() == 0 || std::memcmp(a.GetBuffer(), b.GetBuffer(), a.GetSize()) == 0);
}

} // namespace

// ---- CObjectList ----

CObjectList::~CObjectList()
{
    ClearList();
}

void CObjectList::Release(CSWFObject* object)
{
    if (m_OwnsObjects)
        delete object;
}

int CObjectList::AddObject(CSWFObject* object)
{
    m_Objects.push_back(object);
    return static_cast<int>(m_Objects.size()) - 1;
}

int CObjectList::IndexOf(const CSWFObject* object) const
{
    const auto found = std::find(m_Objects.begin(), m_Objects.end(), object);
    return found == m_Objects.end() ? -1 : static_cast<int>(found - m_Objects.begin());
}

int CObjectList::DeleteObject(CSWFObject* object)
{
    return DeleteObject(IndexOf(object));
}

int CObjectList::DeleteObject(int index)
{
    if (index < 0 || index >= GetSize())
        return 0;
    CSWFObject* object = m_Objects[static_cast<size_t>(index)];
    m_Objects.erase(m_Objects.begin() + index);
    Release(object);
    return 1;
}

void CObjectList::ClearList()
{
    // Detach first: an object's destructor must never see itself still listed.
    std::vector<CSWFObject*> objects;
    objects.swap(m_Objects);
    for (CSWFObject* object : objects)
        Release(object);
}

void CObjectList::SetItemsStyle(unsigned char style)
{
    for (CSWFObject* object : m_Objects) {
        if (object)
            object->SetItemStyle(style);
    }
}

CSWFObject* CObjectList::GetItem(int index) const
{
    return index < 0 || index >= GetSize() ? nullptr : m_Objects[static_cast<size_t>(index)];
}

int CObjectList::SetItem(int index, CSWFObject* object)
{
    if (index < 0 || index >= GetSize())
        return 0;
    CSWFObject*& slot = m_Objects[static_cast<size_t>(index)];
    if (slot != object) {
        Release(slot);
        slot = object;
    }
    return 1;
}

int CObjectList::SetSize(int size)
{
    if (size < 0)
        return 0;
    m_Objects.resize(static_cast<size_t>(size), nullptr);
    return 1;
}

int CObjectList::InsertObject(int index, CSWFObject* object)
{
    if (!object || index < 0 || index > GetSize())
        return 0;
    m_Objects.insert(m_Objects.begin() + index, object);
    return 1;
}

int CObjectList::MoveItem(int from, int to)
{
    if (from < 0 || from >= GetSize() || to < 0 || to >= GetSize())
        return 0;
    CSWFObject* object = m_Objects[static_cast<size_t>(from)];
    m_Objects.erase(m_Objects.begin() + from);
    m_Objects.insert(m_Objects.begin() + to, object);
    return 1;
}

// ---- CSWFItems ----

CSWFItems::CSWFItems(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pList(std::make_unique<CObjectList>(true))
{ }

CSWFItems::~CSWFItems() = default;

void CSWFItems::SetItemStyle(unsigned char style)
{
    m_Style = style;
    m_pList->SetItemsStyle(style);
}

int CSWFItems::CreateItem(CSWFItem*& item, int classID)
{
    CSWFObject* created = nullptr;
    if (NewInstance(classID, created, m_pOwner, m_Style)) {
        // Every class the factory makes is an item except the object root and the movie (read loops make
        // items by the million, so the check is by ID rather than by a cast through the type information).
        item = classID != kClassID_CSWFObject && classID != kClassID_CSWF ? static_cast<CSWFItem*>(created) : nullptr;
        if (item)
            return 1;
        delete created;
    }
    item = nullptr;
    SWFDebugger.Add(this, kSWFErr_CantAllocate, "", kCreateFailedValue, kSWFType_Message);
    return 0;
}

int CSWFItems::DestroyItem(CSWFItem*& item)
{
    delete item;
    item = nullptr;
    return 1;
}

int CSWFItems::ItemReadSWF(CSWFStream* stream, CSWFItem* item)
{
    if (!item)
        return 0;
    item->SetItemStyle(m_Style);
    if (item->ReadSWF(stream))
        return 1;
    SWFDebugger.Add(item, kSWFErr_CantRead, "", 0, kSWFType_Error);
    return 0;
}

int CSWFItems::ItemWriteSWF(CSWFStream* stream, CSWFItem* item)
{
    if (!item)
        return 0;
    item->SetItemStyle(m_Style);
    if (item->WriteSWF(stream))
        return 1;
    SWFDebugger.Add(item, kSWFErr_CantWrite, "", 0, kSWFType_Error);
    return 0;
}

int CSWFItems::GetSWFItem(CSWFStream* stream, CSWFItem*& item, int classID)
{
    if (!CreateItem(item, classID))
        return 0;
    return ItemReadSWF(stream, item);
}

int CSWFItems::PostSWFItem(CSWFStream* stream, CSWFItem* item)
{
    return ItemWriteSWF(stream, item);
}

int CSWFItems::Add(int)
{
    CSWFItem* item = nullptr;
    if (!CreateItem(item, m_ItemClassID))
        return 0;
    return m_pList->AddObject(item);
}

void CSWFItems::ReserveAhead(CSWFStream* stream)
{
    if (stream->GetAutoDispose() && stream->GetDataRest() < static_cast<int32_t>(kCollectionGrowMargin)
        && stream->GetMemorySize() < static_cast<uint64_t>(stream->GetPosition()) + kCollectionGrowMargin)
        stream->SetMemorySize(static_cast<unsigned long>(stream->GetMemorySize()) + kCollectionGrowStep);
}

int CSWFItems::WriteItems(CSWFStream* stream)
{
    for (int i = 0; i < m_pList->GetSize(); ++i) {
        ReserveAhead(stream);
        if (!PostSWFItem(stream, GetItem(i)))
            return 0;
    }
    return 1;
}

int CSWFItems::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CSWFItem::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CSWFItems>(dest);
    if (!copy)
        return 0;
    copy->m_ItemClassID = m_ItemClassID;
    copy->m_pList->ClearList();
    for (int i = 0; i < m_pList->GetSize(); ++i) {
        const CSWFObject* item = m_pList->GetItem(i);
        CSWFObject* itemCopy = nullptr;
        // Items answer to the copy's owner: the copy must outlive the tree it was made from.
        if (item && !item->MakeCopy(owner, m_Style, itemCopy)) {
            delete itemCopy;
            return 0;
        }
        copy->m_pList->AddObject(itemCopy);
    }
    return 1;
}

void CSWFItems::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("itemClass", m_ItemClassID);
    visitor.Int("count", m_pList->GetSize());
    for (int i = 0; i < m_pList->GetSize(); ++i)
        visitor.Child("item", m_pList->GetItem(i));
}

// ---- CSWFItemsUnCountable ----

void CSWFItemsUnCountable::SetItemStyle(unsigned char style)
{
    CSWFItems::SetItemStyle(style);
    if (m_pLastItem)
        m_pLastItem->SetItemStyle(style);
}

void CSWFItemsUnCountable::SetLastItem(CSWFItem* item)
{
    if (item == m_pLastItem.get())
        return;
    m_TerminatorMissing = false;
    if (!item) {
        m_pLastItem.reset();
        return;
    }
    CSWFObject* copy = nullptr;
    item->MakeCopy(m_pOwner, m_Style, copy);
    m_pLastItem.reset(dynamic_cast<CSWFItem*>(copy));
    if (copy && !m_pLastItem)
        delete copy;
}

bool CSWFItemsUnCountable::IsLastItem(CSWFItem* item)
{
    return item && item->IsEmpty();
}

std::unique_ptr<CSWFItem> CSWFItemsUnCountable::MakeBlankTerminator()
{
    CSWFItem* item = nullptr;
    if (!CreateItem(item, m_ItemClassID))
        return nullptr;
    item->SetEmpty();
    return std::unique_ptr<CSWFItem>(item);
}

int CSWFItemsUnCountable::PostLastItem(CSWFStream* stream)
{
    if (m_pLastItem)
        return PostSWFItem(stream, m_pLastItem.get());
    std::unique_ptr<CSWFItem> blank = MakeBlankTerminator();
    return blank ? PostSWFItem(stream, blank.get()) : 0;
}

int CSWFItemsUnCountable::ReadSWF(CSWFStream* stream)
{
    SWFDebugLevel level;
    m_pList->ClearList();
    m_TerminatorMissing = false;
    for (;;) {
        if (!SWFDebugger.CheckDataLow(this, stream))
            break;
        const uint32_t position = stream->GetPosition();
        const unsigned char bit = stream->GetBit();
        CSWFItem* raw = nullptr;
        const int ok = GetSWFItem(stream, raw, m_ItemClassID);
        std::unique_ptr<CSWFItem> item(raw);
        if (!ok && (SWFDebugger.m_LastError != kSWFErr_CantRead || !item)) {
            SWFDebugger.Add(item.get(), kSWFErr_CantReadTag, "", 0, kSWFType_Message);
            break;
        }
        if (IsLastItem(item.get())) {
            m_pLastItem = std::move(item);
            return 1;
        }
        m_pList->AddObject(item.release());
        // An item that takes no data would be read again for ever: the sequence cannot go on.
        if (stream->GetPosition() == position && stream->GetBit() == bit)
            break;
    }
    m_pLastItem = MakeBlankTerminator();
    m_TerminatorMissing = true;
    return 1;
}

int CSWFItemsUnCountable::WriteSWF(CSWFStream* stream)
{
    if (!stream)
        return 0;
    if (!WriteItems(stream))
        return 0;
    return m_TerminatorMissing ? 1 : PostLastItem(stream);
}

int CSWFItemsUnCountable::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CSWFItems::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CSWFItemsUnCountable>(dest);
    if (!copy)
        return 0;
    copy->m_TerminatorMissing = m_TerminatorMissing;
    if (!m_pLastItem) {
        copy->m_pLastItem.reset();
        return 1;
    }
    CSWFObject* last = nullptr;
    if (!m_pLastItem->MakeCopy(owner, m_Style, last)) {
        delete last;
        return 0;
    }
    copy->m_pLastItem.reset(dynamic_cast<CSWFItem*>(last));
    if (!copy->m_pLastItem) {
        delete last;
        return 0;
    }
    return 1;
}

void CSWFItemsUnCountable::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItems::DescribeFields(visitor);
    visitor.Child("terminator", m_pLastItem.get());
    visitor.Int("terminatorMissing", m_TerminatorMissing);
}

// ---- Counted collections ----

int CSWFItemsCountable::GetSWFItemsCount(CSWFStream*, unsigned long& count)
{
    count = 0;
    return 1;
}

int CSWFItemsCountable::SetSWFItemsCount(CSWFStream*, unsigned long)
{
    return 1;
}

int CSWFItemsCountable::ReadSWF(CSWFStream* stream)
{
    SWFDebugLevel level;
    m_pList->ClearList();
    unsigned long count = 0;
    if (!stream || !GetSWFItemsCount(stream, count))
        return 0;
    int result = 1;
    unsigned long idle = 0;
    while (static_cast<unsigned long>(m_pList->GetSize()) < count) {
        // Checked before every item: a count far beyond the data stops at the first shortfall.
        if (!SWFDebugger.CheckDataLow(this, stream)) {
            result = 0;
            break;
        }
        const uint32_t position = stream->GetPosition();
        const unsigned char bit = stream->GetBit();
        CSWFItem* raw = nullptr;
        const int ok = GetSWFItem(stream, raw, m_ItemClassID);
        std::unique_ptr<CSWFItem> item(raw);
        if (!ok && (SWFDebugger.m_LastError != kSWFErr_CantRead || !item))
            break;
        m_pList->AddObject(item.release());
        // A count from the file sizes nothing by itself: items that take no data end the list early.
        idle = stream->GetPosition() == position && stream->GetBit() == bit ? idle + 1 : 0;
        if (idle > kMaxIdleItems) {
            result = 0;
            break;
        }
    }
    return result;
}

int CSWFItemsCountable::WriteSWF(CSWFStream* stream)
{
    if (!stream || !SetSWFItemsCount(stream, static_cast<unsigned long>(m_pList->GetSize())))
        return 0;
    return WriteItems(stream);
}

int CSWFItemsDefineCountable::GetSWFItemsCount(CSWFStream*, unsigned long& count)
{
    count = m_DefinedCount;
    return 1;
}

int CSWFItemsDefineCountable::SetSWFItemsCount(CSWFStream*, unsigned long)
{
    return 1;
}

int CSWFItemsDefineCountable::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CSWFItemsCountable::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CSWFItemsDefineCountable>(dest);
    if (!copy)
        return 0;
    copy->SetCount(GetCount());
    return 1;
}

void CSWFItemsDefineCountable::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItemsCountable::DescribeFields(visitor);
    visitor.Int("definedCount", m_DefinedCount);
}

int CSWFItemsAutoCountable::GetSWFItemsCount(CSWFStream* stream, unsigned long& count)
{
    count = 0;
    return ReadSWFItemsCount(stream, count);
}

int CSWFItemsAutoCountable::SetSWFItemsCount(CSWFStream* stream, unsigned long count)
{
    return WriteSWFItemsCount(stream, count);
}

int CSWFItemsAutoCountable::ReadSWFItemsCount(CSWFStream*, unsigned long&)
{
    return 1;
}

int CSWFItemsAutoCountable::WriteSWFItemsCount(CSWFStream*, unsigned long)
{
    return 1;
}

int CSWFItemsByteCount::ReadSWFItemsCount(CSWFStream* stream, unsigned long& count)
{
    uint8_t n = 0;
    if (!stream->ReadU8(&n))
        return 0;
    count = n;
    return 1;
}

int CSWFItemsByteCount::WriteSWFItemsCount(CSWFStream* stream, unsigned long count)
{
    // A count the field cannot hold would leave a file whose items no reader could find.
    if (count > UINT8_MAX) {
        SWFDebugger.Add(this, kSWFErr_InvalidParameter, "count", static_cast<long>(count), kSWFType_Error);
        return 0;
    }
    return stream->WriteU8(static_cast<uint8_t>(count));
}

int CSWFItemsWordCount::ReadSWFItemsCount(CSWFStream* stream, unsigned long& count)
{
    uint16_t n = 0;
    if (!stream->ReadU16(&n))
        return 0;
    count = n;
    return 1;
}

int CSWFItemsWordCount::WriteSWFItemsCount(CSWFStream* stream, unsigned long count)
{
    if (count > UINT16_MAX) {
        SWFDebugger.Add(this, kSWFErr_InvalidParameter, "count", static_cast<long>(count), kSWFType_Error);
        return 0;
    }
    return stream->WriteU16(static_cast<uint16_t>(count));
}

int CSWFItemsByteWordCount::ReadSWFItemsCount(CSWFStream* stream, unsigned long& count)
{
    uint8_t n = 0;
    if (!stream->ReadU8(&n))
        return 0;
    count = n;
    m_WideCount = false;
    if (n == kWideCountEscape && m_Style != kStyleFirstShape) {
        uint16_t wide = 0;
        if (!stream->ReadU16(&wide))
            return 0;
        count = wide;
        m_WideCount = wide <= kLargestByteCount;
    }
    return 1;
}

int CSWFItemsByteWordCount::WriteSWFItemsCount(CSWFStream* stream, unsigned long count)
{
    const bool extended = m_Style != kStyleFirstShape;
    if (count > (extended ? UINT16_MAX : UINT8_MAX)) {
        SWFDebugger.Add(this, kSWFErr_InvalidParameter, "count", static_cast<long>(count), kSWFType_Error);
        return 0;
    }
    if (extended && (count > kLargestByteCount || m_WideCount))
        return stream->WriteU8(kWideCountEscape) && stream->WriteU16(static_cast<uint16_t>(count)) ? 1 : 0;
    return stream->WriteU8(static_cast<uint8_t>(count));
}

int CSWFItemsByteWordCount::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CSWFItemsAutoCountable::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CSWFItemsByteWordCount>(dest);
    if (!copy)
        return 0;
    copy->m_WideCount = m_WideCount;
    return 1;
}

void CSWFItemsByteWordCount::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItemsAutoCountable::DescribeFields(visitor);
    visitor.Int("wideCount", m_WideCount);
}

// ---- CTagsItem ----

CTagsItem::CTagsItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsUnCountable(owner, style)
{
    m_ItemClassID = kClassID_CTag;
}

int CTagsItem::GetTagClass(unsigned short code) const
{
    return TagClassForCode(code, m_SpriteTags);
}

int CTagsItem::CountShowFrames() const
{
    int frames = 0;
    for (int i = 0; i < m_pList->GetSize(); ++i) {
        const CSWFObject* tag = m_pList->GetItem(i);
        if (tag && tag->GetClassID() == kClassID_CShowFrameTag)
            ++frames;
    }
    return frames;
}

std::unique_ptr<CSWFItem> CTagsItem::MakeBlankTerminator()
{
    CSWFItem* item = nullptr;
    if (!CreateItem(item, kClassID_CEndTag))
        return nullptr;
    item->SetEmpty();
    return std::unique_ptr<CSWFItem>(item);
}

bool CTagsItem::IsLastItem(CSWFItem* item)
{
    return item && item->GetClassID() == kClassID_CEndTag;
}

int CTagsItem::Add(int code)
{
    CSWFItem* item = nullptr;
    if (code < 0 || code > UINT16_MAX || !CreateItem(item, GetTagClass(static_cast<unsigned short>(code))))
        return 0;
    auto* tag = dynamic_cast<CTag*>(item);
    if (!tag) {
        delete item;
        return 0;
    }
    tag->m_TagCode = static_cast<uint16_t>(code);
    return m_pList->AddObject(tag);
}

int CTagsItem::GetSWFItem(CSWFStream* stream, CSWFItem*& item, int)
{
    CSWFStream body;
    unsigned short code = 0;
    bool longHeader = false;
    const bool atEnd = stream->GetDataRest() == 0;
    if (!stream->GetNexTag(&code, &longHeader, &body)) {
        // No further tag can be found: an End tag ends the list here. Data that simply stopped had none, and
        // gets none when written back.
        body.Assign(nullptr, 0);
        m_TerminatorMissing = atEnd;
        return CSWFItems::GetSWFItem(&body, item, kClassID_CEndTag);
    }
    const int created = CreateItem(item, GetTagClass(code));
    if (!created)
        return 0;
    if (auto* tag = dynamic_cast<CTag*>(item)) {
        tag->m_TagCode = code;
        tag->m_LongHeader = longHeader;
    }
    return ItemReadSWF(&body, item);
}

int CTagsItem::ItemReadSWF(CSWFStream* body, CSWFItem* item)
{
    auto* tag = dynamic_cast<CTag*>(item);
    if (tag && tag->GetClassID() == kClassID_CUnKnownTag)
        SWFDebugger.Add(tag, kSWFErr_UnknownTag, "", tag->m_TagCode, kSWFType_Warning);
    if (!CSWFItems::ItemReadSWF(body, item))
        return 0;
    const int32_t rest = body->GetDataRest();
    if (rest > 0)
        SWFDebugger.Add(item, kSWFErr_RestTooLarge, "", rest, kSWFType_Warning);
    return 1;
}

int CTagsItem::PostSWFItem(CSWFStream* stream, CSWFItem* item)
{
    auto* tag = dynamic_cast<CTag*>(item);
    if (!tag)
        return 0;
    CSWFStream body;
    if (!ItemWriteSWF(&body, tag))
        return 0;
    return stream->AppendTag(tag->m_TagCode, tag->m_LongHeader, &body);
}

int CTagsItem::ReadSWF(CSWFStream* stream)
{
    if (!stream)
        return 0;
    stream->ReadU16(&m_FrameCount);
    m_DeclaredFrameCount = m_FrameCount;
    if (!CSWFItemsUnCountable::ReadSWF(stream))
        return 0;
    const int frames = CountShowFrames();
    m_ReadShowFrames = frames;
    if (frames > m_FrameCount)
        SWFDebugger.Add(this, kSWFErr_MoreFrames, "", frames - m_FrameCount, kSWFType_Error);
    else if (frames < m_FrameCount)
        SWFDebugger.Add(this, kSWFErr_LessFrames, "", m_FrameCount - frames, kSWFType_Error);
    m_FrameCount = static_cast<uint16_t>(std::min(frames, static_cast<int>(UINT16_MAX)));
    return 1;
}

int CTagsItem::WriteSWF(CSWFStream* stream)
{
    if (!stream)
        return 0;
    const int frames = CountShowFrames();
    m_FrameCount = static_cast<uint16_t>(std::min(frames, static_cast<int>(UINT16_MAX)));
    const uint16_t written = frames == m_ReadShowFrames ? m_DeclaredFrameCount : m_FrameCount;
    if (!stream->WriteU16(written))
        return 0;
    return CSWFItemsUnCountable::WriteSWF(stream);
}

int CTagsItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CSWFItemsUnCountable::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CTagsItem>(dest);
    if (!copy)
        return 0;
    copy->m_FrameCount = m_FrameCount;
    copy->m_SpriteTags = m_SpriteTags;
    copy->m_DeclaredFrameCount = m_DeclaredFrameCount;
    copy->m_ReadShowFrames = m_ReadShowFrames;
    return 1;
}

void CTagsItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItemsUnCountable::DescribeFields(visitor);
    visitor.Int("frameCount", m_FrameCount);
    visitor.Int("spriteTags", m_SpriteTags);
    visitor.Int("declaredFrameCount", m_DeclaredFrameCount);
    visitor.Int("readShowFrames", m_ReadShowFrames);
}

// ---- CDumpItem ----

CDumpItem::CDumpItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pData(std::make_unique<CSWFStream>())
{ }

CDumpItem::~CDumpItem() = default;

void CDumpItem::SetEmpty()
{
    m_pData->SetSize(0);
    m_pData->SetPosition(0);
}

int CDumpItem::ReadSWF(CSWFStream* stream)
{
    m_pData->SetSize(0);
    m_pData->SetPosition(0);
    if (!stream)
        return 0;
    const int32_t rest = stream->GetDataRest();
    if (m_ReadingSize > static_cast<uint32_t>(std::max<int32_t>(rest, 0))) {
        m_ReadingSize = static_cast<uint32_t>(std::max<int32_t>(rest, 0));
        SWFDebugger.Add(this, kSWFErr_DumpCut, "New size folow", static_cast<long>(m_ReadingSize), kSWFType_Warning);
    }
    stream->FlushBits();
    if (m_ReadingSize != 0 && !stream->ReadStream(m_pData.get(), m_ReadingSize)) {
        m_pData->SetSize(m_ReadingSize);
        m_pData->SetPosition(0);
        return 0;
    }
    m_pData->SetSize(m_ReadingSize);
    m_pData->SetPosition(0);
    return 1;
}

int CDumpItem::WriteSWF(CSWFStream* stream)
{
    if (!stream)
        return 0;
    if (m_pData->GetSize() == 0)
        return NoShortfall(stream) ? 1 : 0;
    return stream->WriteBuf(m_pData->GetBuffer(), m_pData->GetSize());
}

void CDumpItem::SetData(const CSWFStream* data)
{
    CopyBytes(data, *m_pData);
}

int CDumpItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CSWFItem::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDumpItem>(dest);
    if (!copy)
        return 0;
    CopyBytes(m_pData.get(), *copy->m_pData);
    copy->m_ReadingSize = m_ReadingSize;
    return 1;
}

void CDumpItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("readingSize", m_ReadingSize);
    visitor.Bytes("data", m_pData->GetBuffer(), m_pData->GetSize());
}

// ---- CZDumpItem ----

int CZDumpItem::SetCompressed(bool compressed)
{
    if (compressed == m_Compressed)
        return 1;
    m_pData->SetPosition(0);
    m_pData->SetBit(8);
    const long count = static_cast<long>(m_pData->GetSize());
    if (compressed) {
        // Plain data still equal to what was read goes back as the bytes that were read.
        if (m_pOriginal) {
            CSWFStream plain;
            CopyBytes(m_pOriginal.get(), plain);
            if (DeCompress(&plain, static_cast<long>(plain.GetSize()), m_OutEstimate) && SameBytes(plain, *m_pData)) {
                CopyBytes(m_pOriginal.get(), *m_pData);
                m_Compressed = true;
                return 1;
            }
            m_pOriginal.reset();
        }
        if (!Compress(m_pData.get(), count))
            return 0;
        m_Compressed = true;
        return 1;
    }
    if (m_OutEstimate == kNoEstimate) {
        SWFDebugger.Add(this, kSWFErr_NoOutEstimate, "", 0, kSWFType_Error);
        return 0;
    }
    auto original = std::make_unique<CSWFStream>();
    CopyBytes(m_pData.get(), *original);
    if (!DeCompress(m_pData.get(), count, m_OutEstimate)) {
        // The bytes may be gone half-way; the copy taken before puts them back.
        CopyBytes(original.get(), *m_pData);
        SWFDebugger.Add(this, kSWFErr_CantDecompress, "", 0, kSWFType_Warning);
        return 0;
    }
    m_pData->SetPosition(0);
    m_pOriginal = std::move(original);
    m_Compressed = false;
    return 1;
}

CSWFStream* CZDumpItem::GetData()
{
    SetCompressed(false);
    return m_pData.get();
}

void CZDumpItem::SetData(const CSWFStream* data)
{
    CDumpItem::SetData(data);
    m_pOriginal.reset();
    m_OutEstimate = kNoEstimate;
    m_Compressed = false;
}

int CZDumpItem::ReadSWF(CSWFStream* stream)
{
    m_pOriginal.reset();
    if (!CDumpItem::ReadSWF(stream))
        return 0;
    m_Compressed = true;
    if (m_AutoDecompress && m_OutEstimate != kNoEstimate)
        SetCompressed(false);
    return 1;
}

int CZDumpItem::WriteSWF(CSWFStream* stream)
{
    if (!SetCompressed(true))
        return 0;
    return CDumpItem::WriteSWF(stream);
}

int CZDumpItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CDumpItem::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CZDumpItem>(dest);
    if (!copy)
        return 0;
    copy->m_Compressed = m_Compressed;
    copy->m_OutEstimate = m_OutEstimate;
    copy->m_AutoDecompress = m_AutoDecompress;
    copy->m_pOriginal.reset();
    if (m_pOriginal) {
        copy->m_pOriginal = std::make_unique<CSWFStream>();
        CopyBytes(m_pOriginal.get(), *copy->m_pOriginal);
    }
    return 1;
}

void CZDumpItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CDumpItem::DescribeFields(visitor);
    visitor.Int("compressed", m_Compressed);
    visitor.Int("outEstimate", m_OutEstimate);
    visitor.Int("autoDecompress", m_AutoDecompress);
    visitor.Bytes(
        "readBytes", m_pOriginal ? m_pOriginal->GetBuffer() : nullptr, m_pOriginal ? m_pOriginal->GetSize() : 0);
}

// ---- Strings ----

CStringMainItem::CStringMainItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pData(std::make_unique<CSWFStream>())
{ }

CStringMainItem::~CStringMainItem() = default;

std::string CStringMainItem::GetStr() const
{
    if (m_pData->GetSize() == 0)
        return {};
    return std::string(reinterpret_cast<const char*>(m_pData->GetBuffer()), m_pData->GetSize());
}

void CStringMainItem::SetStr(const std::string& text)
{
    m_pData->SetSize(0);
    m_pData->SetPosition(0);
    if (!text.empty())
        m_pData->WriteBuf(text.data(), text.size());
    m_pData->SetPosition(0);
}

void CStringMainItem::SetData(const CSWFStream* data)
{
    CopyBytes(data, *m_pData);
}

int CStringMainItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CSWFItem::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CStringMainItem>(dest);
    if (!copy)
        return 0;
    CopyBytes(m_pData.get(), *copy->m_pData);
    return 1;
}

void CStringMainItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Text("text", GetStr());
}

int C0TrmStringItem::ReadSWF(CSWFStream* stream)
{
    m_pData->SetSize(0);
    m_pData->SetPosition(0);
    if (!NoShortfall(stream))
        return 0;
    stream->FlushBits();
    // Find the terminator within the bytes that remain, then take the string in one copy.
    const uint32_t start = stream->GetPosition();
    const uint32_t size = stream->GetSize();
    const uint8_t* bytes = stream->GetBuffer();
    const void* zero = bytes ? std::memchr(bytes + start, 0, size - start) : nullptr;
    if (!zero) {
        if (size > start)
            m_pData->WriteBuf(bytes + start, size - start);
        m_pData->SetPosition(0);
        stream->SetPosition(static_cast<unsigned long>(size) + 1);
        return 0;
    }
    const auto length = static_cast<uint32_t>(static_cast<const uint8_t*>(zero) - (bytes + start));
    if (length > 0)
        m_pData->WriteBuf(bytes + start, length);
    m_pData->SetPosition(0);
    stream->SetPosition(start + length + 1);
    return 1;
}

int C0TrmStringItem::WriteSWF(CSWFStream* stream)
{
    if (!stream)
        return 0;
    if (m_pData->GetSize() > 0 && !stream->WriteBuf(m_pData->GetBuffer(), m_pData->GetSize()))
        return 0;
    return stream->WriteU8(0);
}

int CPascalStringItem::ReadSWF(CSWFStream* stream)
{
    m_pData->SetSize(0);
    m_pData->SetPosition(0);
    uint8_t length = 0;
    if (!stream || !stream->ReadU8(&length))
        return 0;
    if (length == 0)
        return 1;
    if (!stream->ReadStream(m_pData.get(), length)) {
        // Fewer bytes than announced: keep what there is and leave the stream short.
        const int32_t rest = std::max<int32_t>(stream->GetDataRest(), 0);
        stream->ReadStream(m_pData.get(), static_cast<unsigned long>(rest));
        stream->SetPosition(static_cast<unsigned long>(stream->GetSize()) + 1);
        m_pData->SetPosition(0);
        return 0;
    }
    m_pData->SetPosition(0);
    return 1;
}

int CPascalStringItem::WriteSWF(CSWFStream* stream)
{
    if (!stream)
        return 0;
    // The length byte cannot announce more: a longer string would corrupt everything after it.
    if (m_pData->GetSize() > kPascalMaxLength) {
        SWFDebugger.Add(
            this, kSWFErr_InvalidParameter, "length", static_cast<long>(m_pData->GetSize()), kSWFType_Error);
        return 0;
    }
    if (!stream->WriteU8(static_cast<uint8_t>(m_pData->GetSize())))
        return 0;
    return m_pData->GetSize() == 0 ? 1 : stream->WriteBuf(m_pData->GetBuffer(), m_pData->GetSize());
}

C0TrmStringsItem::C0TrmStringsItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsWordCount(owner, style)
{
    m_ItemClassID = kClassID_C0TrmStringItem;
}

int C0TrmStringsItem::AddString(const std::string& text)
{
    auto item = std::make_unique<C0TrmStringItem>(m_pOwner, m_Style);
    item->SetStr(text);
    return AppendItem(std::move(item));
}

// ---- Factory ----

CSWFObject* NewCollectionObject(int classID, CSWFObject* owner, unsigned char style)
{
    switch (classID) {
    case kClassID_CTagsItem:
        return new CTagsItem(owner, style);
    case kClassID_CSWFItems:
        return new CSWFItems(owner, style);
    case kClassID_CSWFItemsUnCountable:
        return new CSWFItemsUnCountable(owner, style);
    case kClassID_CSWFItemsCountable:
        return new CSWFItemsCountable(owner, style);
    case kClassID_CSWFItemsDefineCountable:
        return new CSWFItemsDefineCountable(owner, style);
    case kClassID_CSWFItemsAutoCountable:
        return new CSWFItemsAutoCountable(owner, style);
    case kClassID_CSWFItemsByteCount:
        return new CSWFItemsByteCount(owner, style);
    case kClassID_CSWFItemsWordCount:
        return new CSWFItemsWordCount(owner, style);
    case kClassID_CSWFItemsByteWordCount:
        return new CSWFItemsByteWordCount(owner, style);
    case kClassID_CStringMainItem:
        return new CStringMainItem(owner, style);
    case kClassID_C0TrmStringItem:
        return new C0TrmStringItem(owner, style);
    case kClassID_C0TrmStringsItem:
        return new C0TrmStringsItem(owner, style);
    case kClassID_CDumpItem:
        return new CDumpItem(owner, style);
    case kClassID_CZDumpItem:
        return new CZDumpItem(owner, style);
    case kClassID_CPascalStringItem:
        return new CPascalStringItem(owner, style);
    default:
        return nullptr;
    }
}
