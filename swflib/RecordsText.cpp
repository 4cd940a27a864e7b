// Text records (style parts, glyph parts, glyph entries) and the tables of fonts (codes, advances, bounds,
// kerning).
#include "Records.h"

#include "RecordsInternal.h"
#include "SWFDebugger.h"
#include "SWFStream.h"

#include <algorithm>
#include <limits>

using namespace records;

namespace {

constexpr unsigned char kTextReservedBits = 3;
// The widest bit field a stream reads or writes.
constexpr int kMaxFieldBits = 32;
// Glyph records above this many glyphs are noted in the log (the count byte still holds up to 255).
constexpr unsigned long kGlyphCountNote = 250;

} // namespace

// ---- CGlyphEntryItem ----

int CGlyphEntryItem::ReadSWF(CSWFStream* stream)
{
    if (m_GlyphBits > kMaxFieldBits || m_AdvanceBits > kMaxFieldBits)
        return 0;
    uint32_t index = 0;
    m_GlyphIndex = stream->ReadBits(&index, m_GlyphBits) ? index : 1;
    int32_t advance = 0;
    m_GlyphAdvance = stream->ReadS(&advance, m_AdvanceBits) ? advance : 1;
    return NoShortfall(stream) ? 1 : 0;
}

int CGlyphEntryItem::WriteSWF(CSWFStream* stream)
{
    if (m_GlyphBits > kMaxFieldBits || m_AdvanceBits > kMaxFieldBits)
        return 0;
    return stream->WriteBits(m_GlyphIndex, m_GlyphBits)
            && stream->WriteBits(static_cast<uint32_t>(m_GlyphAdvance), m_AdvanceBits)
        ? 1
        : 0;
}

int CGlyphEntryItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CGlyphEntryItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_GlyphIndex = m_GlyphIndex;
    copy->m_GlyphAdvance = m_GlyphAdvance;
    copy->m_GlyphBits = m_GlyphBits;
    copy->m_AdvanceBits = m_AdvanceBits;
    return 1;
}

void CGlyphEntryItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("glyphIndex", m_GlyphIndex);
    visitor.Int("glyphAdvance", m_GlyphAdvance);
    visitor.Int("glyphBits", m_GlyphBits);
    visitor.Int("advanceBits", m_AdvanceBits);
}

// ---- CTextRecordType0Item ----

CTextRecordType0Item::CTextRecordType0Item(CSWFObject* owner, unsigned char style)
    : CSWFItemsByteCount(owner, style)
{
    m_ItemClassID = kClassID_CGlyphEntryItem;
}

int CTextRecordType0Item::ReadSWF(CSWFStream* stream)
{
    const int ok = CSWFItemsByteCount::ReadSWF(stream);
    stream->FlushBits();
    return ok && NoShortfall(stream) ? 1 : 0;
}

int CTextRecordType0Item::WriteSWF(CSWFStream* stream)
{
    if (!CSWFItemsByteCount::WriteSWF(stream))
        return 0;
    stream->FlushBits();
    return 1;
}

int CTextRecordType0Item::WriteSWFItemsCount(CSWFStream* stream, unsigned long count)
{
    if (count > kGlyphCountNote)
        SWFDebugger.AddString("tTextRecordType0Item is more 250");
    return CSWFItemsByteCount::WriteSWFItemsCount(stream, count);
}

int CTextRecordType0Item::ItemReadSWF(CSWFStream* stream, CSWFItem* item)
{
    if (auto* entry = dynamic_cast<CGlyphEntryItem*>(item)) {
        entry->m_GlyphBits = m_GlyphBits;
        entry->m_AdvanceBits = m_AdvanceBits;
    }
    return CSWFItemsByteCount::ItemReadSWF(stream, item);
}

int CTextRecordType0Item::ItemWriteSWF(CSWFStream* stream, CSWFItem* item)
{
    if (auto* entry = dynamic_cast<CGlyphEntryItem*>(item)) {
        entry->m_GlyphBits = m_GlyphBits;
        entry->m_AdvanceBits = m_AdvanceBits;
    }
    return CSWFItemsByteCount::ItemWriteSWF(stream, item);
}

int CTextRecordType0Item::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CTextRecordType0Item>(CSWFItemsByteCount::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_GlyphBits = m_GlyphBits;
    copy->m_AdvanceBits = m_AdvanceBits;
    return 1;
}

void CTextRecordType0Item::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItemsByteCount::DescribeFields(visitor);
    visitor.Int("glyphBits", m_GlyphBits);
    visitor.Int("advanceBits", m_AdvanceBits);
}

// ---- CTextRecordType1Item ----

CTextRecordType1Item::CTextRecordType1Item(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
{ }

CTextRecordType1Item::~CTextRecordType1Item() = default;

bool CTextRecordType1Item::IsEmpty() const
{
    return !m_TextRecordType && m_Reserved == 0 && !m_HasFont && !m_pColor && !m_HasYOffset && !m_HasXOffset;
}

void CTextRecordType1Item::SetEmpty()
{
    m_TextRecordType = false;
    m_Reserved = 0;
    m_HasFont = m_HasYOffset = m_HasXOffset = false;
    m_pColor.reset();
}

void CTextRecordType1Item::SetHasColor(bool on)
{
    if (!on)
        m_pColor.reset();
    else if (!m_pColor)
        m_pColor = std::make_unique<CColorItem>(m_pOwner, m_Style);
}

void CTextRecordType1Item::SetColor(const CColorItem* color)
{
    if (!color)
        return;
    ReplaceChild(color, m_pOwner, m_Style, m_pColor);
}

void CTextRecordType1Item::SetItemStyle(unsigned char style)
{
    m_Style = style;
    if (m_pColor)
        m_pColor->SetItemStyle(style);
}

int CTextRecordType1Item::ReadSWF(CSWFStream* stream)
{
    m_TextRecordType = stream->GetBool();
    unsigned long reserved = 0;
    if (NoShortfall(stream))
        SWFDebugger.CheckReserved(this, stream, kTextReservedBits, &reserved);
    m_Reserved = static_cast<uint8_t>(reserved);
    m_HasFont = stream->GetBool();
    SetHasColor(stream->GetBool());
    m_HasYOffset = stream->GetBool();
    m_HasXOffset = stream->GetBool();
    if (m_HasFont)
        m_FontID = stream->GetU16();
    int ok = 1;
    if (m_pColor) {
        m_pColor->SetItemStyle(m_Style);
        ok = m_pColor->ReadSWF(stream);
    }
    if (m_HasXOffset)
        m_XOffset = stream->GetS16();
    if (m_HasYOffset)
        m_YOffset = stream->GetS16();
    if (m_HasFont)
        m_TextHeight = stream->GetU16();
    stream->FlushBits();
    return ok && NoShortfall(stream) ? 1 : 0;
}

int CTextRecordType1Item::WriteSWF(CSWFStream* stream)
{
    if (!stream->WriteBits(m_TextRecordType ? 1 : 0, 1) || !stream->WriteBits(m_Reserved, kTextReservedBits))
        return 0;
    for (bool flag : { m_HasFont, m_pColor != nullptr, m_HasYOffset, m_HasXOffset }) {
        if (!stream->WriteBits(flag ? 1 : 0, 1))
            return 0;
    }
    if (m_HasFont && !stream->WriteU16(m_FontID))
        return 0;
    if (m_pColor && !m_pColor->WriteSWF(stream))
        return 0;
    if (m_HasXOffset && !stream->WriteS16(m_XOffset))
        return 0;
    if (m_HasYOffset && !stream->WriteS16(m_YOffset))
        return 0;
    if (m_HasFont && !stream->WriteU16(m_TextHeight))
        return 0;
    stream->FlushBits();
    return 1;
}

int CTextRecordType1Item::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CTextRecordType1Item>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_TextRecordType = m_TextRecordType;
    copy->m_Reserved = m_Reserved;
    copy->m_HasFont = m_HasFont;
    copy->m_HasYOffset = m_HasYOffset;
    copy->m_HasXOffset = m_HasXOffset;
    copy->m_FontID = m_FontID;
    copy->m_XOffset = m_XOffset;
    copy->m_YOffset = m_YOffset;
    copy->m_TextHeight = m_TextHeight;
    return CopyChild(m_pColor.get(), owner, copy->m_pColor);
}

void CTextRecordType1Item::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("textRecordType", m_TextRecordType);
    visitor.Int("reserved", m_Reserved);
    visitor.Int("hasFont", m_HasFont);
    visitor.Int("hasYOffset", m_HasYOffset);
    visitor.Int("hasXOffset", m_HasXOffset);
    visitor.Int("fontID", m_FontID);
    visitor.Child("color", m_pColor.get());
    visitor.Int("xOffset", m_XOffset);
    visitor.Int("yOffset", m_YOffset);
    visitor.Int("textHeight", m_TextHeight);
}

// ---- CTextRecordsItem ----

CTextRecordsItem::CTextRecordsItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsUnCountable(owner, style)
{
    m_ItemClassID = kClassID_CTextRecordType1Item;
}

int CTextRecordsItem::ReadSWF(CSWFStream* stream)
{
    m_GlyphBits = stream->GetU8();
    m_AdvanceBits = stream->GetU8();
    const int ok = CSWFItemsUnCountable::ReadSWF(stream);
    return ok && NoShortfall(stream) ? 1 : 0;
}

int CTextRecordsItem::WriteSWF(CSWFStream* stream)
{
    uint32_t largestIndex = 0;
    int32_t lowAdvance = 0;
    int32_t highAdvance = 0;
    for (int i = 0; i < GetItemCount(); ++i) {
        const auto* glyphs = dynamic_cast<const CTextRecordType0Item*>(GetItem(i));
        for (int j = 0; glyphs && j < glyphs->GetItemCount(); ++j) {
            const auto* entry = dynamic_cast<const CGlyphEntryItem*>(glyphs->GetItem(j));
            if (!entry)
                continue;
            largestIndex = std::max(largestIndex, entry->m_GlyphIndex);
            lowAdvance = std::min(lowAdvance, entry->m_GlyphAdvance);
            highAdvance = std::max(highAdvance, entry->m_GlyphAdvance);
        }
    }
    const int glyphBits = ChooseUnsignedBits(m_GlyphBits, largestIndex, kMaxFieldBits);
    const int advanceBits = ChooseSignedBits(m_AdvanceBits, { lowAdvance, highAdvance }, kMaxFieldBits);
    if (glyphBits < 0 || advanceBits < 0)
        return 0;
    m_GlyphBits = static_cast<uint8_t>(glyphBits);
    m_AdvanceBits = static_cast<uint8_t>(advanceBits);
    if (!stream->WriteU8(m_GlyphBits) || !stream->WriteU8(m_AdvanceBits))
        return 0;
    return CSWFItemsUnCountable::WriteSWF(stream);
}

int CTextRecordsItem::GetSWFItem(CSWFStream* stream, CSWFItem*& item, int)
{
    // Style and glyph parts alternate, beginning with a style part.
    const int classID = GetItemCount() % 2 == 0 ? kClassID_CTextRecordType1Item : kClassID_CTextRecordType0Item;
    return CSWFItemsUnCountable::GetSWFItem(stream, item, classID);
}

bool CTextRecordsItem::IsLastItem(CSWFItem* item)
{
    return item && item->GetClassID() == kClassID_CTextRecordType1Item && item->IsEmpty();
}

int CTextRecordsItem::ItemReadSWF(CSWFStream* stream, CSWFItem* item)
{
    if (auto* glyphs = dynamic_cast<CTextRecordType0Item*>(item)) {
        glyphs->m_GlyphBits = m_GlyphBits;
        glyphs->m_AdvanceBits = m_AdvanceBits;
    }
    return CSWFItemsUnCountable::ItemReadSWF(stream, item);
}

int CTextRecordsItem::ItemWriteSWF(CSWFStream* stream, CSWFItem* item)
{
    if (auto* glyphs = dynamic_cast<CTextRecordType0Item*>(item)) {
        glyphs->m_GlyphBits = m_GlyphBits;
        glyphs->m_AdvanceBits = m_AdvanceBits;
    }
    return CSWFItemsUnCountable::ItemWriteSWF(stream, item);
}

int CTextRecordsItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CTextRecordsItem>(CSWFItemsUnCountable::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_GlyphBits = m_GlyphBits;
    copy->m_AdvanceBits = m_AdvanceBits;
    return 1;
}

void CTextRecordsItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItemsUnCountable::DescribeFields(visitor);
    visitor.Int("glyphBits", m_GlyphBits);
    visitor.Int("advanceBits", m_AdvanceBits);
}

// ---- Font tables ----

namespace {

// How many entries of `width` bytes a table of `wanted` entries can take from the stream; the rest of a count
// larger than the data is never allocated.
uint32_t EntriesAvailable(const CSWFStream* stream, uint32_t wanted, uint32_t width)
{
    const int32_t rest = stream->GetDataRest();
    const uint32_t available = rest > 0 ? static_cast<uint32_t>(rest) / width : 0;
    return std::min(wanted, available);
}

} // namespace

int CFontCodeTableItem::ReadSWF(CSWFStream* stream)
{
    m_Codes.clear();
    const uint32_t width = m_WideCodes ? 2 : 1;
    const uint32_t n = EntriesAvailable(stream, m_DefinedCount, width);
    m_Codes.reserve(n);
    for (uint32_t i = 0; i < n; ++i)
        m_Codes.push_back(m_WideCodes ? stream->GetU16() : stream->GetU8());
    if (n < m_DefinedCount) // reading on records the shortfall
        m_WideCodes ? stream->GetU16() : stream->GetU8();
    return NoShortfall(stream) ? 1 : 0;
}

int CFontCodeTableItem::WriteSWF(CSWFStream* stream)
{
    for (uint16_t code : m_Codes) {
        if (!(m_WideCodes ? stream->WriteU16(code) : stream->WriteU8(static_cast<uint8_t>(code))))
            return 0;
    }
    return 1;
}

int CFontCodeTableItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CFontCodeTableItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_WideCodes = m_WideCodes;
    copy->m_DefinedCount = m_DefinedCount;
    copy->m_Codes = m_Codes;
    return 1;
}

void CFontCodeTableItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("wideCodes", m_WideCodes);
    visitor.Int("definedCount", m_DefinedCount);
    visitor.Int("count", static_cast<long long>(m_Codes.size()));
    for (uint16_t code : m_Codes)
        visitor.Int("code", code);
}

int CFontTableAdvancedItem::ReadSWF(CSWFStream* stream)
{
    m_Advances.clear();
    const uint32_t n = EntriesAvailable(stream, m_DefinedCount, 2);
    m_Advances.reserve(n);
    for (uint32_t i = 0; i < n; ++i)
        m_Advances.push_back(stream->GetS16());
    if (n < m_DefinedCount)
        stream->GetS16();
    return NoShortfall(stream) ? 1 : 0;
}

int CFontTableAdvancedItem::WriteSWF(CSWFStream* stream)
{
    for (int16_t advance : m_Advances) {
        if (!stream->WriteS16(advance))
            return 0;
    }
    return 1;
}

int CFontTableAdvancedItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CFontTableAdvancedItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_DefinedCount = m_DefinedCount;
    copy->m_Advances = m_Advances;
    return 1;
}

void CFontTableAdvancedItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("definedCount", m_DefinedCount);
    visitor.Int("count", static_cast<long long>(m_Advances.size()));
    for (int16_t advance : m_Advances)
        visitor.Int("advance", advance);
}

CRectTableItem::CRectTableItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsDefineCountable(owner, style)
{
    m_ItemClassID = kClassID_CRectItem;
}

int CKerningRecordItem::ReadSWF(CSWFStream* stream)
{
    m_Code1 = m_WideCodes ? stream->GetU16() : stream->GetU8();
    m_Code2 = m_WideCodes ? stream->GetU16() : stream->GetU8();
    m_Adjustment = stream->GetS16();
    return NoShortfall(stream) ? 1 : 0;
}

int CKerningRecordItem::WriteSWF(CSWFStream* stream)
{
    const bool codes = m_WideCodes
        ? stream->WriteU16(m_Code1) && stream->WriteU16(m_Code2)
        : stream->WriteU8(static_cast<uint8_t>(m_Code1)) && stream->WriteU8(static_cast<uint8_t>(m_Code2));
    return codes && stream->WriteS16(m_Adjustment) ? 1 : 0;
}

int CKerningRecordItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CKerningRecordItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_WideCodes = m_WideCodes;
    copy->m_Code1 = m_Code1;
    copy->m_Code2 = m_Code2;
    copy->m_Adjustment = m_Adjustment;
    return 1;
}

void CKerningRecordItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("wideCodes", m_WideCodes);
    visitor.Int("code1", m_Code1);
    visitor.Int("code2", m_Code2);
    visitor.Int("adjustment", m_Adjustment);
}

CKerningRecordsItem::CKerningRecordsItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsDefineCountable(owner, style)
{
    m_ItemClassID = kClassID_CKerningRecordItem;
}

int CKerningRecordsItem::ItemReadSWF(CSWFStream* stream, CSWFItem* item)
{
    if (auto* record = dynamic_cast<CKerningRecordItem*>(item))
        record->m_WideCodes = m_WideCodes;
    return CSWFItemsDefineCountable::ItemReadSWF(stream, item);
}

int CKerningRecordsItem::ItemWriteSWF(CSWFStream* stream, CSWFItem* item)
{
    if (auto* record = dynamic_cast<CKerningRecordItem*>(item))
        record->m_WideCodes = m_WideCodes;
    return CSWFItemsDefineCountable::ItemWriteSWF(stream, item);
}

int CKerningRecordsItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CKerningRecordsItem>(CSWFItemsDefineCountable::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_WideCodes = m_WideCodes;
    return 1;
}

void CKerningRecordsItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItemsDefineCountable::DescribeFields(visitor);
    visitor.Int("wideCodes", m_WideCodes);
}
