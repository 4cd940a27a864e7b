// Font tags: glyph shapes found through offset tables, code tables, layout and kerning.
#include "Records.h"
#include "SWFDebugger.h"
#include "SWFStream.h"
#include "Tags.h"
#include "TagsCommon.h"

namespace {

bool NoShortfall(const CSWFStream* stream)
{
    return stream->GetDataLow() == 0;
}

// Reads the glyph shapes whose offsets (counted from `tableStart`) are given; each is read from a window that
// ends at the next offset, or at `end` for the last one. A glyph that does not read ends the table and gives 0.
int ReadGlyphs(CSWFStream* body, uint32_t tableStart, const std::vector<uint32_t>& offsets, uint32_t end,
    CGlyphShapeTableItem& glyphs, CSWFObject* owner)
{
    glyphs.SetEmpty();
    for (size_t i = 0; i < offsets.size(); ++i) {
        const uint64_t start = static_cast<uint64_t>(tableStart) + offsets[i];
        uint64_t stop = i + 1 < offsets.size() ? static_cast<uint64_t>(tableStart) + offsets[i + 1] : end;
        if (stop < start || stop > body->GetSize())
            stop = end;
        if (start > stop)
            return 0;
        CSWFStream window;
        WindowOf(body, static_cast<uint32_t>(start), static_cast<uint32_t>(stop - start), window);
        auto glyph = std::make_unique<CShapeItem>(owner, kStyleRGBA);
        if (!glyph->ReadSWF(&window))
            return 0;
        glyphs.AppendItem(std::move(glyph));
    }
    glyphs.SetCount(offsets.size());
    return 1;
}

// Writes every glyph into its own stream: their sizes make the offset table.
int WriteGlyphs(const CGlyphShapeTableItem& glyphs, std::vector<std::unique_ptr<CSWFStream>>& out)
{
    out.clear();
    for (int i = 0; i < glyphs.GetItemCount(); ++i) {
        auto stream = std::make_unique<CSWFStream>();
        CSWFItem* glyph = glyphs.GetItem(i);
        if (!glyph || !glyph->WriteSWF(stream.get()))
            return 0;
        stream->FlushBits();
        stream->SetPosition(0);
        out.push_back(std::move(stream));
    }
    return 1;
}

int WriteOffset(CSWFStream* body, uint64_t offset, bool wide)
{
    return wide ? body->WriteU32(static_cast<uint32_t>(offset)) : body->WriteU16(static_cast<uint16_t>(offset));
}

constexpr uint64_t kMaxNarrowOffset = 0xFFFF;

} // namespace

// ---- CDefineFontTag ----

CDefineFontTag::CDefineFontTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pGlyphs(std::make_unique<CGlyphShapeTableItem>(owner, kStyleRGBA))
{ }

CDefineFontTag::~CDefineFontTag() = default;

int CDefineFontTag::ReadBody(CSWFStream* body)
{
    m_pGlyphs->SetEmpty();
    if (!body->ReadU16(&m_ID))
        return 0;
    if (body->GetDataRest() == 0)
        return 1; // a font without glyphs
    const uint32_t tableStart = body->GetPosition();
    const uint16_t first = body->GetU16();
    const uint32_t count = first / 2;
    // The table itself must fit in the body before it sizes anything.
    if (static_cast<uint64_t>(count) * 2 > body->GetSize() - tableStart || count == 0)
        return 0;
    std::vector<uint32_t> offsets { first };
    for (uint32_t i = 1; i < count; ++i)
        offsets.push_back(body->GetU16());
    const int ok = ReadGlyphs(body, tableStart, offsets, body->GetSize(), *m_pGlyphs, m_pOwner);
    body->SetPosition(body->GetSize());
    return ok;
}

int CDefineFontTag::WriteBody(CSWFStream* body)
{
    std::vector<std::unique_ptr<CSWFStream>> shapes;
    if (!body->WriteU16(m_ID) || !WriteGlyphs(*m_pGlyphs, shapes))
        return 0;
    uint64_t offset = 2 * static_cast<uint64_t>(shapes.size());
    for (const auto& shape : shapes) {
        if (offset > kMaxNarrowOffset || !body->WriteU16(static_cast<uint16_t>(offset)))
            return 0;
        offset += shape->GetSize();
    }
    for (const auto& shape : shapes) {
        if (!body->WriteStream(shape.get(), shape->GetSize()))
            return 0;
    }
    return 1;
}

int CDefineFontTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineFontTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    return CopyOwned(m_pGlyphs.get(), owner, kStyleRGBA, copy->m_pGlyphs);
}

void CDefineFontTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("glyphs", m_pGlyphs.get());
}

// ---- CDefineFont2Tag ----

namespace {
// Language codes arrived with version 6.
constexpr unsigned char kLanguageCodeVersion = 6;
constexpr uint32_t kLayoutMetricsSize = 6; // ascent, descent, leading
constexpr uint32_t kKerningCountSize = 2;
} // namespace

CDefineFont2Tag::CDefineFont2Tag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pFontName(std::make_unique<CPascalStringItem>(owner, kStyleNone))
    , m_pGlyphs(std::make_unique<CGlyphShapeTableItem>(owner, kStyleRGBA))
    , m_pCodeTable(std::make_unique<CFontCodeTableItem>(owner, kStyleNone))
    , m_pAdvanceTable(std::make_unique<CFontTableAdvancedItem>(owner, kStyleNone))
    , m_pBoundsTable(std::make_unique<CRectTableItem>(owner, kStyleNone))
    , m_pKerningRecords(std::make_unique<CKerningRecordsItem>(owner, kStyleNone))
{ }

CDefineFont2Tag::~CDefineFont2Tag() = default;

void CDefineFont2Tag::SetLanguageCode(uint8_t code)
{
    m_LanguageCode = code;
    const unsigned char version = MovieVersion();
    if (code != 0 && version != 0 && version < kLanguageCodeVersion)
        SWFDebugger.Add(this, kSWFErr_InvalidParameter, "Language code", code, kSWFType_Hint);
}

int CDefineFont2Tag::ReadBody(CSWFStream* body)
{
    m_pGlyphs->SetEmpty();
    m_pCodeTable->SetEmpty();
    m_pAdvanceTable->SetEmpty();
    m_pBoundsTable->SetEmpty();
    m_pKerningRecords->SetEmpty();
    m_HasBoundsTable = true;
    body->ReadU16(&m_ID);
    m_HasLayout = body->GetBool();
    m_ShiftJIS = body->GetBool();
    m_SmallText = body->GetBool();
    m_ANSI = body->GetBool();
    m_WideOffsets = body->GetBool();
    m_WideCodes = body->GetBool();
    m_Italic = body->GetBool();
    m_Bold = body->GetBool();
    SetLanguageCode(body->GetU8());
    if (!NoShortfall(body) || !m_pFontName->ReadSWF(body))
        return 0;
    const uint16_t glyphCount = body->GetU16();
    const uint32_t offsetSize = m_WideOffsets ? 4 : 2;
    const uint32_t tableStart = body->GetPosition();
    const int64_t rest = body->GetDataRest();
    if (!NoShortfall(body) || static_cast<int64_t>(glyphCount) * offsetSize > rest)
        return 0;
    std::vector<uint32_t> offsets;
    for (uint32_t i = 0; i < glyphCount; ++i)
        offsets.push_back(m_WideOffsets ? body->GetU32() : body->GetU16());

    uint64_t codeTable = body->GetPosition();
    if (glyphCount == 0) {
        // Without glyphs the code table offset is optional: it is there when the bytes that follow hold more
        // than the layout does.
        const uint32_t layout = m_HasLayout ? kLayoutMetricsSize + kKerningCountSize : 0;
        m_HasCodeTableOffset = body->GetDataRest() >= static_cast<int32_t>(offsetSize + layout);
        m_EmptyCodeTableOffset = m_HasCodeTableOffset ? (m_WideOffsets ? body->GetU32() : body->GetU16()) : 0;
        codeTable = body->GetPosition();
    } else {
        m_HasCodeTableOffset = true;
        const uint32_t codeTableOffset = m_WideOffsets ? body->GetU32() : body->GetU16();
        codeTable = static_cast<uint64_t>(tableStart) + codeTableOffset;
        if (!NoShortfall(body) || codeTable > body->GetSize() || codeTable < body->GetPosition())
            return 0;
        if (!ReadGlyphs(body, tableStart, offsets, static_cast<uint32_t>(codeTable), *m_pGlyphs, m_pOwner))
            return 0;
    }
    body->SetPosition(static_cast<uint32_t>(codeTable));
    m_pCodeTable->SetWideCodes(m_WideCodes);
    m_pCodeTable->SetCount(glyphCount);
    if (!m_pCodeTable->ReadSWF(body))
        return 0;
    if (!m_HasLayout)
        return 1;
    m_Ascent = body->GetS16();
    m_Descent = body->GetS16();
    m_Leading = body->GetS16();
    m_pAdvanceTable->SetCount(glyphCount);
    if (!NoShortfall(body) || !m_pAdvanceTable->ReadSWF(body))
        return 0;
    if (body->GetDataRest() <= 0) {
        m_HasBoundsTable = false;
        SWFDebugger.Add(this, kSWFErr_NoFontBounds, "The rest of data is too short", 0, kSWFType_Warning);
        return 1;
    }
    m_pBoundsTable->SetCount(glyphCount);
    if (!m_pBoundsTable->ReadSWF(body))
        return 0;
    const uint16_t kerningCount = body->GetU16();
    if (!NoShortfall(body))
        return 0;
    m_pKerningRecords->SetWideCodes(m_WideCodes);
    m_pKerningRecords->SetCount(kerningCount);
    return m_pKerningRecords->ReadSWF(body);
}

int CDefineFont2Tag::WriteBody(CSWFStream* body)
{
    std::vector<std::unique_ptr<CSWFStream>> shapes;
    if (!WriteGlyphs(*m_pGlyphs, shapes))
        return 0;
    const uint64_t glyphCount = shapes.size();
    uint64_t glyphBytes = 0;
    for (const auto& shape : shapes)
        glyphBytes += shape->GetSize();
    // Offsets that no longer fit 16 bits make the table wide.
    if ((glyphCount + 1) * 2 + glyphBytes > kMaxNarrowOffset)
        m_WideOffsets = true;
    const uint64_t offsetSize = m_WideOffsets ? 4 : 2;
    const bool flags[] = { m_HasLayout, m_ShiftJIS, m_SmallText, m_ANSI, m_WideOffsets, m_WideCodes, m_Italic, m_Bold };
    if (glyphCount > 0xFFFF || !body->WriteU16(m_ID))
        return 0;
    for (bool flag : flags) {
        if (!body->WriteBits(flag ? 1 : 0, 1))
            return 0;
    }
    if (!body->WriteU8(m_LanguageCode) || !m_pFontName->WriteSWF(body)
        || !body->WriteU16(static_cast<uint16_t>(glyphCount)))
        return 0;
    uint64_t offset = (glyphCount + 1) * offsetSize;
    for (const auto& shape : shapes) {
        if (!WriteOffset(body, offset, m_WideOffsets))
            return 0;
        offset += shape->GetSize();
    }
    if (glyphCount > 0 || m_HasCodeTableOffset) {
        if (!WriteOffset(body, glyphCount > 0 ? offset : m_EmptyCodeTableOffset, m_WideOffsets))
            return 0;
    }
    for (const auto& shape : shapes) {
        if (!body->WriteStream(shape.get(), shape->GetSize()))
            return 0;
    }
    m_pCodeTable->SetWideCodes(m_WideCodes);
    if (!m_pCodeTable->WriteSWF(body))
        return 0;
    if (!m_HasLayout)
        return 1;
    if (!body->WriteS16(m_Ascent) || !body->WriteS16(m_Descent) || !body->WriteS16(m_Leading)
        || !m_pAdvanceTable->WriteSWF(body))
        return 0;
    if (!m_HasBoundsTable)
        return 1;
    m_pKerningRecords->SetWideCodes(m_WideCodes);
    return m_pBoundsTable->WriteSWF(body) && body->WriteU16(static_cast<uint16_t>(m_pKerningRecords->GetItemCount()))
            && m_pKerningRecords->WriteSWF(body)
        ? 1
        : 0;
}

int CDefineFont2Tag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineFont2Tag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    copy->m_HasLayout = m_HasLayout;
    copy->m_ShiftJIS = m_ShiftJIS;
    copy->m_SmallText = m_SmallText;
    copy->m_ANSI = m_ANSI;
    copy->m_WideOffsets = m_WideOffsets;
    copy->m_WideCodes = m_WideCodes;
    copy->m_Italic = m_Italic;
    copy->m_Bold = m_Bold;
    copy->m_LanguageCode = m_LanguageCode;
    copy->m_HasCodeTableOffset = m_HasCodeTableOffset;
    copy->m_EmptyCodeTableOffset = m_EmptyCodeTableOffset;
    copy->m_Ascent = m_Ascent;
    copy->m_Descent = m_Descent;
    copy->m_Leading = m_Leading;
    copy->m_HasBoundsTable = m_HasBoundsTable;
    return CopyOwned(m_pFontName.get(), owner, kStyleNone, copy->m_pFontName)
            && CopyOwned(m_pGlyphs.get(), owner, kStyleRGBA, copy->m_pGlyphs)
            && CopyOwned(m_pCodeTable.get(), owner, kStyleNone, copy->m_pCodeTable)
            && CopyOwned(m_pAdvanceTable.get(), owner, kStyleNone, copy->m_pAdvanceTable)
            && CopyOwned(m_pBoundsTable.get(), owner, kStyleNone, copy->m_pBoundsTable)
            && CopyOwned(m_pKerningRecords.get(), owner, kStyleNone, copy->m_pKerningRecords)
        ? 1
        : 0;
}

void CDefineFont2Tag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Int("hasLayout", m_HasLayout);
    visitor.Int("shiftJIS", m_ShiftJIS);
    visitor.Int("smallText", m_SmallText);
    visitor.Int("ansi", m_ANSI);
    visitor.Int("wideOffsets", m_WideOffsets);
    visitor.Int("wideCodes", m_WideCodes);
    visitor.Int("italic", m_Italic);
    visitor.Int("bold", m_Bold);
    visitor.Int("languageCode", m_LanguageCode);
    visitor.Child("fontName", m_pFontName.get());
    visitor.Child("glyphs", m_pGlyphs.get());
    visitor.Int("hasCodeTableOffset", m_HasCodeTableOffset);
    visitor.Int("emptyCodeTableOffset", m_EmptyCodeTableOffset);
    visitor.Child("codeTable", m_pCodeTable.get());
    visitor.Int("ascent", m_Ascent);
    visitor.Int("descent", m_Descent);
    visitor.Int("leading", m_Leading);
    visitor.Child("advanceTable", m_pAdvanceTable.get());
    visitor.Int("hasBoundsTable", m_HasBoundsTable);
    visitor.Child("boundsTable", m_pBoundsTable.get());
    visitor.Child("kerningRecords", m_pKerningRecords.get());
}

// ---- CFontInfoTag ----

namespace {
constexpr unsigned char kFontInfoReservedBits = 3;
} // namespace

CFontInfoTag::CFontInfoTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pFontName(std::make_unique<CPascalStringItem>(owner, kStyleNone))
    , m_pCodeTable(std::make_unique<CFontCodeTableItem>(owner, kStyleNone))
{ }

CFontInfoTag::~CFontInfoTag() = default;

int CFontInfoTag::ReadBody(CSWFStream* body)
{
    body->ReadU16(&m_ID);
    if (!NoShortfall(body) || !m_pFontName->ReadSWF(body))
        return 0;
    unsigned long reserved = 0;
    SWFDebugger.CheckReserved(this, body, kFontInfoReservedBits, &reserved);
    m_Reserved = static_cast<uint8_t>(reserved);
    m_ShiftJIS = body->GetBool();
    m_ANSI = body->GetBool();
    m_Italic = body->GetBool();
    m_Bold = body->GetBool();
    m_WideCodes = body->GetBool();
    if (HasLanguageCode())
        body->ReadU8(&m_LanguageCode);
    if (!NoShortfall(body))
        return 0;
    // The code table fills the rest of the body.
    const uint32_t rest = static_cast<uint32_t>(std::max<int32_t>(body->GetDataRest(), 0));
    m_pCodeTable->SetWideCodes(m_WideCodes);
    m_pCodeTable->SetCount(m_WideCodes ? rest / 2 : rest);
    return m_pCodeTable->ReadSWF(body);
}

int CFontInfoTag::WriteBody(CSWFStream* body)
{
    if (!body->WriteU16(m_ID) || !m_pFontName->WriteSWF(body))
        return 0;
    const bool flags[] = { m_ShiftJIS, m_ANSI, m_Italic, m_Bold, m_WideCodes };
    if (!body->WriteBits(m_Reserved, kFontInfoReservedBits))
        return 0;
    for (bool flag : flags) {
        if (!body->WriteBits(flag ? 1 : 0, 1))
            return 0;
    }
    if (HasLanguageCode() && !body->WriteU8(m_LanguageCode))
        return 0;
    m_pCodeTable->SetWideCodes(m_WideCodes);
    return m_pCodeTable->WriteSWF(body);
}

int CFontInfoTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CFontInfoTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    copy->m_Reserved = m_Reserved;
    copy->m_ShiftJIS = m_ShiftJIS;
    copy->m_ANSI = m_ANSI;
    copy->m_Italic = m_Italic;
    copy->m_Bold = m_Bold;
    copy->m_WideCodes = m_WideCodes;
    copy->m_LanguageCode = m_LanguageCode;
    return CopyOwned(m_pFontName.get(), owner, kStyleNone, copy->m_pFontName)
            && CopyOwned(m_pCodeTable.get(), owner, kStyleNone, copy->m_pCodeTable)
        ? 1
        : 0;
}

void CFontInfoTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("fontName", m_pFontName.get());
    visitor.Int("reserved", m_Reserved);
    visitor.Int("shiftJIS", m_ShiftJIS);
    visitor.Int("ansi", m_ANSI);
    visitor.Int("italic", m_Italic);
    visitor.Int("bold", m_Bold);
    visitor.Int("wideCodes", m_WideCodes);
    visitor.Int("languageCode", m_LanguageCode);
    visitor.Child("codeTable", m_pCodeTable.get());
}
