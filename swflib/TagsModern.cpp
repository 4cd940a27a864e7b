// Tags of the format's versions 8 to 10 and the informational tags of authoring tools.
#include "TagsModern.h"

#include "RecordsInternal.h"
#include "SWFStream.h"
#include "TagsCommon.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using records::CopyChild;
using records::NoShortfall;

namespace {

unsigned long RestOf(const CSWFStream* stream)
{
    return static_cast<unsigned long>(std::max<int32_t>(stream->GetDataRest(), 0));
}

// A zero-terminated string; a string without its terminator runs to the end and records the shortfall.
void ReadString(CSWFStream* s, std::string& out)
{
    out.clear();
    const uint8_t* data = s->GetBuffer();
    const uint32_t size = s->GetSize();
    uint32_t at = std::min(s->GetPosition(), size);
    const uint32_t start = at;
    while (at < size && data[at] != 0)
        ++at;
    if (data)
        out.assign(reinterpret_cast<const char*>(data) + start, at - start);
    s->SetPosition(at);
    s->GetU8(); // the terminator, or the shortfall
}

bool WriteString(CSWFStream* s, const std::string& str)
{
    // A string holds no zero byte: what follows one could not be read back.
    const size_t length = std::min(str.size(), str.find('\0'));
    return s->WriteBuf(str.data(), static_cast<unsigned long>(length)) && s->WriteU8(0);
}

void ReadRest(CSWFStream* s, std::vector<uint8_t>& out)
{
    KeepBytes(s, s->GetPosition(), s->GetSize(), out);
    s->SetPosition(s->GetSize());
}

bool WriteBytes(CSWFStream* s, const std::vector<uint8_t>& bytes)
{
    return bytes.empty() || s->WriteBuf(bytes.data(), static_cast<unsigned long>(bytes.size()));
}

bool WriteBitFields(CSWFStream* s, std::initializer_list<std::pair<uint32_t, unsigned char>> fields)
{
    for (const auto& [value, bits] : fields) {
        if (!s->WriteBits(value, bits))
            return false;
    }
    s->FlushBits();
    return true;
}

float ReadFloat32(CSWFStream* s)
{
    const uint32_t bits = s->GetU32();
    float f = 0;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

bool WriteFloat32(CSWFStream* s, float f)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &f, sizeof f);
    return s->WriteU32(bits);
}

// EncodedU32: seven bits a byte, low first, the high bit saying another byte follows; at most five bytes.
void ReadEncodedU32(CSWFStream* s, SEncodedU32& v)
{
    v.m_Value = 0;
    v.m_Size = 0;
    for (unsigned shift = 0; shift < 35; shift += 7) {
        const uint8_t byte = s->GetU8();
        ++v.m_Size;
        v.m_Value |= static_cast<uint32_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            break;
    }
}

bool WriteEncodedU32(CSWFStream* s, const SEncodedU32& v)
{
    uint8_t needed = 1;
    for (uint32_t rest = v.m_Value >> 7; rest != 0; rest >>= 7)
        ++needed;
    // A longer encoding read from the file is kept (padding with continuation bytes) while it can hold the value.
    const uint8_t size = std::max<uint8_t>(needed, std::min<uint8_t>(v.m_Size, 5));
    uint32_t value = v.m_Value;
    for (uint8_t i = 0; i < size; ++i) {
        const auto low = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
        if (!s->WriteU8(i + 1 < size ? static_cast<uint8_t>(low | 0x80) : low))
            return false;
    }
    return true;
}

void DescribeRGBA(CSWFFieldVisitor& v, const char* name, const tRGBARec& c)
{
    v.Int(name, static_cast<long long>(c.red) << 24 | c.green << 16 | c.blue << 8 | c.alpha);
}

// DefineBitsJPEG4 counts AlphaDataOffset from the end of the ID, the offset and the deblocking value.
constexpr uint32_t kJPEG4DataStart = 8;

} // namespace

// ---- CFileAttributesTag ----

namespace {
constexpr uint32_t kAttrDirectBlit = 0x40, kAttrGPU = 0x20, kAttrMetadata = 0x10, kAttrAS3 = 0x08, kAttrNetwork = 0x01;
constexpr uint32_t kAttrNamed = kAttrDirectBlit | kAttrGPU | kAttrMetadata | kAttrAS3 | kAttrNetwork;
} // namespace

int CFileAttributesTag::ReadBody(CSWFStream* body)
{
    const uint32_t word = body->GetU32();
    m_UseDirectBlit = word & kAttrDirectBlit;
    m_UseGPU = word & kAttrGPU;
    m_HasMetadata = word & kAttrMetadata;
    m_ActionScript3 = word & kAttrAS3;
    m_UseNetwork = word & kAttrNetwork;
    m_ReservedBits = word & ~kAttrNamed;
    return NoShortfall(body) ? 1 : 0;
}

int CFileAttributesTag::WriteBody(CSWFStream* body)
{
    uint32_t word = m_ReservedBits & ~kAttrNamed;
    word |= (m_UseDirectBlit ? kAttrDirectBlit : 0) | (m_UseGPU ? kAttrGPU : 0) | (m_HasMetadata ? kAttrMetadata : 0)
        | (m_ActionScript3 ? kAttrAS3 : 0) | (m_UseNetwork ? kAttrNetwork : 0);
    return body->WriteU32(word);
}

int CFileAttributesTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CFileAttributesTag>(CParsedTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_UseDirectBlit = m_UseDirectBlit;
    copy->m_UseGPU = m_UseGPU;
    copy->m_HasMetadata = m_HasMetadata;
    copy->m_ActionScript3 = m_ActionScript3;
    copy->m_UseNetwork = m_UseNetwork;
    copy->m_ReservedBits = m_ReservedBits;
    return 1;
}

void CFileAttributesTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("useDirectBlit", m_UseDirectBlit);
    visitor.Int("useGPU", m_UseGPU);
    visitor.Int("hasMetadata", m_HasMetadata);
    visitor.Int("actionScript3", m_ActionScript3);
    visitor.Int("useNetwork", m_UseNetwork);
    visitor.Int("reservedBits", m_ReservedBits);
}

// ---- CPlaceObject3Tag ----

CPlaceObject3Tag::CPlaceObject3Tag(CSWFObject* owner, unsigned char style) : CPlaceObject2Tag(owner, style) { }

CPlaceObject3Tag::~CPlaceObject3Tag() = default;

void CPlaceObject3Tag::SetHasFilterList(bool has)
{
    SetHasPart(has, m_pOwner, kStyleNone, m_pFilterList);
}

int CPlaceObject3Tag::ReadBody(CSWFStream* body)
{
    SetHasClipActions(body->GetBool());
    m_HasClipDepth = body->GetBool();
    SetHasName(body->GetBool());
    m_HasRatio = body->GetBool();
    SetHasColorTransform(body->GetBool());
    SetHasMatrix(body->GetBool());
    m_HasCharacter = body->GetBool();
    m_Move = body->GetBool();
    m_ReservedFlag = body->GetBool();
    m_OpaqueBackground = body->GetBool();
    m_HasVisible = body->GetBool();
    m_HasImage = body->GetBool();
    m_HasClassName = body->GetBool();
    m_HasCacheAsBitmap = body->GetBool();
    m_HasBlendMode = body->GetBool();
    SetHasFilterList(body->GetBool());
    body->ReadU16(&m_Depth);
    m_ClassName.clear();
    // Only the class-name flag brings the name: movies that place a bitmap by character (the image flag with a
    // character) carry no name.
    if (m_HasClassName)
        ReadString(body, m_ClassName);
    if (m_HasCharacter)
        body->ReadU16(&m_ID);
    bool ok = NoShortfall(body);
    if (ok && m_pMatrix)
        ok = m_pMatrix->ReadSWF(body);
    if (ok && m_pColorTransform) {
        m_pColorTransform->SetHasAlpha(true);
        ok = m_pColorTransform->ReadSWF(body);
    }
    if (m_HasRatio)
        body->ReadU16(&m_Ratio);
    if (ok && m_pName)
        ok = m_pName->ReadSWF(body);
    if (m_HasClipDepth)
        body->ReadU16(&m_ClipDepth);
    if (ok && m_pFilterList)
        ok = m_pFilterList->ReadSWF(body);
    if (m_HasBlendMode)
        m_BlendMode = body->GetU8();
    if (m_HasCacheAsBitmap)
        m_BitmapCache = body->GetU8();
    if (m_HasVisible)
        m_Visible = body->GetU8();
    if (m_OpaqueBackground) {
        m_BackgroundColor.red = body->GetU8();
        m_BackgroundColor.green = body->GetU8();
        m_BackgroundColor.blue = body->GetU8();
        m_BackgroundColor.alpha = body->GetU8();
    }
    if (ok && m_pClipActions)
        ok = m_pClipActions->ReadSWF(body);
    return ok && NoShortfall(body) ? 1 : 0;
}

int CPlaceObject3Tag::WriteBody(CSWFStream* body)
{
    const bool flags[] = { m_pClipActions != nullptr, m_HasClipDepth, m_pName != nullptr, m_HasRatio,
        m_pColorTransform != nullptr, m_pMatrix != nullptr, m_HasCharacter, m_Move, m_ReservedFlag, m_OpaqueBackground,
        m_HasVisible, m_HasImage, m_HasClassName, m_HasCacheAsBitmap, m_HasBlendMode, m_pFilterList != nullptr };
    for (bool flag : flags) {
        if (!body->WriteBits(flag ? 1 : 0, 1))
            return 0;
    }
    body->FlushBits();
    if (!body->WriteU16(m_Depth))
        return 0;
    if (m_HasClassName && !WriteString(body, m_ClassName))
        return 0;
    if (m_HasCharacter && !body->WriteU16(m_ID))
        return 0;
    if (m_pMatrix && !m_pMatrix->WriteSWF(body))
        return 0;
    if (m_pColorTransform) {
        m_pColorTransform->SetHasAlpha(true);
        if (!m_pColorTransform->WriteSWF(body))
            return 0;
    }
    if ((m_HasRatio && !body->WriteU16(m_Ratio)) || (m_pName && !m_pName->WriteSWF(body)))
        return 0;
    if ((m_HasClipDepth && !body->WriteU16(m_ClipDepth)) || (m_pFilterList && !m_pFilterList->WriteSWF(body)))
        return 0;
    if ((m_HasBlendMode && !body->WriteU8(m_BlendMode)) || (m_HasCacheAsBitmap && !body->WriteU8(m_BitmapCache))
        || (m_HasVisible && !body->WriteU8(m_Visible)))
        return 0;
    if (m_OpaqueBackground
        && !(body->WriteU8(m_BackgroundColor.red) && body->WriteU8(m_BackgroundColor.green)
            && body->WriteU8(m_BackgroundColor.blue) && body->WriteU8(m_BackgroundColor.alpha)))
        return 0;
    return !m_pClipActions || m_pClipActions->WriteSWF(body) ? 1 : 0;
}

int CPlaceObject3Tag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CPlaceObject3Tag>(CPlaceObject2Tag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_ReservedFlag = m_ReservedFlag;
    copy->m_OpaqueBackground = m_OpaqueBackground;
    copy->m_HasVisible = m_HasVisible;
    copy->m_HasImage = m_HasImage;
    copy->m_HasClassName = m_HasClassName;
    copy->m_HasCacheAsBitmap = m_HasCacheAsBitmap;
    copy->m_HasBlendMode = m_HasBlendMode;
    copy->m_ClassName = m_ClassName;
    copy->m_BlendMode = m_BlendMode;
    copy->m_BitmapCache = m_BitmapCache;
    copy->m_Visible = m_Visible;
    copy->m_BackgroundColor = m_BackgroundColor;
    return CopyOwned(m_pFilterList.get(), owner, kStyleNone, copy->m_pFilterList);
}

void CPlaceObject3Tag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CPlaceObject2Tag::DescribeFields(visitor);
    visitor.Int("reservedFlag", m_ReservedFlag);
    visitor.Int("opaqueBackground", m_OpaqueBackground);
    visitor.Int("hasVisible", m_HasVisible);
    visitor.Int("hasImage", m_HasImage);
    visitor.Int("hasClassName", m_HasClassName);
    visitor.Int("hasCacheAsBitmap", m_HasCacheAsBitmap);
    visitor.Int("hasBlendMode", m_HasBlendMode);
    visitor.Text("className", m_ClassName);
    visitor.Child("filterList", m_pFilterList.get());
    visitor.Int("blendMode", m_BlendMode);
    visitor.Int("bitmapCache", m_BitmapCache);
    visitor.Int("visible", m_Visible);
    DescribeRGBA(visitor, "backgroundColor", m_BackgroundColor);
}

// ---- CImportAssets2Tag ----

int CImportAssets2Tag::ReadBody(CSWFStream* body)
{
    if (!m_pURL->ReadSWF(body))
        return 0;
    m_Reserved1 = body->GetU8();
    m_Reserved2 = body->GetU8();
    return NoShortfall(body) && m_pAssets->ReadSWF(body) ? 1 : 0;
}

int CImportAssets2Tag::WriteBody(CSWFStream* body)
{
    return m_pURL->WriteSWF(body) && body->WriteU8(m_Reserved1) && body->WriteU8(m_Reserved2)
            && m_pAssets->WriteSWF(body)
        ? 1
        : 0;
}

int CImportAssets2Tag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CImportAssets2Tag>(CImportAssetsTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Reserved1 = m_Reserved1;
    copy->m_Reserved2 = m_Reserved2;
    return 1;
}

void CImportAssets2Tag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CImportAssetsTag::DescribeFields(visitor);
    visitor.Int("reserved1", m_Reserved1);
    visitor.Int("reserved2", m_Reserved2);
}

// ---- CDoABCTag ----

int CDoABCTag::ReadBody(CSWFStream* body)
{
    m_Flags = body->GetU32();
    ReadString(body, m_Name);
    if (!NoShortfall(body))
        return 0;
    ReadRest(body, m_ABCData);
    return 1;
}

int CDoABCTag::WriteBody(CSWFStream* body)
{
    return body->WriteU32(m_Flags) && WriteString(body, m_Name) && WriteBytes(body, m_ABCData) ? 1 : 0;
}

int CDoABCTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CDoABCTag>(CParsedTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Flags = m_Flags;
    copy->m_Name = m_Name;
    copy->m_ABCData = m_ABCData;
    return 1;
}

void CDoABCTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("flags", m_Flags);
    visitor.Text("name", m_Name);
    visitor.Bytes("abcData", m_ABCData.data(), m_ABCData.size());
}

// ---- CZoneRecordItem, CDefineFontAlignZonesTag ----

double HalfToDouble(uint16_t half)
{
    const int exponent = (half >> 10) & 0x1F;
    const int mantissa = half & 0x3FF;
    double value = 0;
    if (exponent == 0)
        value = std::ldexp(mantissa, -24);
    else if (exponent == 31)
        value = mantissa ? NAN : INFINITY;
    else
        value = std::ldexp(mantissa + 1024, exponent - 25);
    return (half & 0x8000) ? -value : value;
}

int CZoneRecordItem::ReadSWF(CSWFStream* stream)
{
    const uint8_t count = stream->GetU8();
    m_Zones.clear();
    for (unsigned i = 0; i < count && stream->GetDataRest() >= 4; ++i) {
        Zone zone;
        zone.m_AlignmentCoordinate = stream->GetU16();
        zone.m_Range = stream->GetU16();
        m_Zones.push_back(zone);
    }
    if (m_Zones.size() != count)
        stream->GetU32(); // records the shortfall
    m_Reserved = static_cast<uint8_t>(stream->GetU(6));
    m_ZoneMaskY = stream->GetBool();
    m_ZoneMaskX = stream->GetBool();
    stream->FlushBits();
    return NoShortfall(stream) ? 1 : 0;
}

int CZoneRecordItem::WriteSWF(CSWFStream* stream)
{
    if (m_Zones.size() > 255 || !stream->WriteU8(static_cast<uint8_t>(m_Zones.size())))
        return 0;
    for (const Zone& zone : m_Zones) {
        if (!stream->WriteU16(zone.m_AlignmentCoordinate) || !stream->WriteU16(zone.m_Range))
            return 0;
    }
    return WriteBitFields(stream, { { m_Reserved, 6 }, { m_ZoneMaskY, 1 }, { m_ZoneMaskX, 1 } }) ? 1 : 0;
}

int CZoneRecordItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CZoneRecordItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Zones = m_Zones;
    copy->m_Reserved = m_Reserved;
    copy->m_ZoneMaskY = m_ZoneMaskY;
    copy->m_ZoneMaskX = m_ZoneMaskX;
    return 1;
}

void CZoneRecordItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    for (const Zone& zone : m_Zones) {
        visitor.Real("alignmentCoordinate", HalfToDouble(zone.m_AlignmentCoordinate));
        visitor.Real("range", HalfToDouble(zone.m_Range));
    }
    visitor.Int("reserved", m_Reserved);
    visitor.Int("zoneMaskY", m_ZoneMaskY);
    visitor.Int("zoneMaskX", m_ZoneMaskX);
}

CDefineFontAlignZonesTag::CDefineFontAlignZonesTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pZoneTable(std::make_unique<CSWFItems>(owner, kStyleNone))
{
    m_pZoneTable->m_ItemClassID = kClassID_CZoneRecordItem;
}

CDefineFontAlignZonesTag::~CDefineFontAlignZonesTag() = default;

int CDefineFontAlignZonesTag::ReadBody(CSWFStream* body)
{
    m_FontID = body->GetU16();
    m_CSMTableHint = static_cast<uint8_t>(body->GetU(2));
    m_Reserved = static_cast<uint8_t>(body->GetU(6));
    body->FlushBits();
    if (!NoShortfall(body))
        return 0;
    // One record a glyph: the glyph count is the font's, so the records run to the body's end.
    m_pZoneTable->SetEmpty();
    while (body->GetDataRest() > 0) {
        auto zone = std::make_unique<CZoneRecordItem>(m_pOwner, kStyleNone);
        if (!zone->ReadSWF(body))
            return 0;
        m_pZoneTable->AppendItem(std::move(zone));
    }
    return 1;
}

int CDefineFontAlignZonesTag::WriteBody(CSWFStream* body)
{
    if (!body->WriteU16(m_FontID) || !WriteBitFields(body, { { m_CSMTableHint, 2 }, { m_Reserved, 6 } }))
        return 0;
    for (int i = 0; i < m_pZoneTable->GetItemCount(); ++i) {
        if (!m_pZoneTable->GetItem(i)->WriteSWF(body))
            return 0;
    }
    return 1;
}

int CDefineFontAlignZonesTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CDefineFontAlignZonesTag>(CParsedTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_FontID = m_FontID;
    copy->m_CSMTableHint = m_CSMTableHint;
    copy->m_Reserved = m_Reserved;
    return CopyChild(m_pZoneTable.get(), owner, copy->m_pZoneTable);
}

void CDefineFontAlignZonesTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("fontID", m_FontID);
    visitor.Int("csmTableHint", m_CSMTableHint);
    visitor.Int("reserved", m_Reserved);
    visitor.Child("zoneTable", m_pZoneTable.get());
}

// ---- CCSMTextSettingsTag ----

int CCSMTextSettingsTag::ReadBody(CSWFStream* body)
{
    m_TextID = body->GetU16();
    m_UseFlashType = static_cast<uint8_t>(body->GetU(2));
    m_GridFit = static_cast<uint8_t>(body->GetU(3));
    m_Reserved = static_cast<uint8_t>(body->GetU(3));
    body->FlushBits();
    m_Thickness = ReadFloat32(body);
    m_Sharpness = ReadFloat32(body);
    m_Reserved2 = body->GetU8();
    return NoShortfall(body) ? 1 : 0;
}

int CCSMTextSettingsTag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_TextID) && WriteBitFields(body, { { m_UseFlashType, 2 }, { m_GridFit, 3 }, { m_Reserved, 3 } })
            && WriteFloat32(body, m_Thickness) && WriteFloat32(body, m_Sharpness) && body->WriteU8(m_Reserved2)
        ? 1
        : 0;
}

int CCSMTextSettingsTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CCSMTextSettingsTag>(CParsedTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_TextID = m_TextID;
    copy->m_UseFlashType = m_UseFlashType;
    copy->m_GridFit = m_GridFit;
    copy->m_Reserved = m_Reserved;
    copy->m_Thickness = m_Thickness;
    copy->m_Sharpness = m_Sharpness;
    copy->m_Reserved2 = m_Reserved2;
    return 1;
}

void CCSMTextSettingsTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("textID", m_TextID);
    visitor.Int("useFlashType", m_UseFlashType);
    visitor.Int("gridFit", m_GridFit);
    visitor.Int("reserved", m_Reserved);
    visitor.Real("thickness", m_Thickness);
    visitor.Real("sharpness", m_Sharpness);
    visitor.Int("reserved2", m_Reserved2);
}

// ---- CDefineFont4Tag ----

int CDefineFont4Tag::ReadBody(CSWFStream* body)
{
    m_FontID = body->GetU16();
    m_Reserved = static_cast<uint8_t>(body->GetU(5));
    m_HasFontData = body->GetBool();
    m_Italic = body->GetBool();
    m_Bold = body->GetBool();
    body->FlushBits();
    ReadString(body, m_FontName);
    if (!NoShortfall(body))
        return 0;
    ReadRest(body, m_FontData);
    return 1;
}

int CDefineFont4Tag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_FontID)
            && WriteBitFields(body, { { m_Reserved, 5 }, { m_HasFontData, 1 }, { m_Italic, 1 }, { m_Bold, 1 } })
            && WriteString(body, m_FontName) && WriteBytes(body, m_FontData)
        ? 1
        : 0;
}

int CDefineFont4Tag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CDefineFont4Tag>(CParsedTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_FontID = m_FontID;
    copy->m_Reserved = m_Reserved;
    copy->m_HasFontData = m_HasFontData;
    copy->m_Italic = m_Italic;
    copy->m_Bold = m_Bold;
    copy->m_FontName = m_FontName;
    copy->m_FontData = m_FontData;
    return 1;
}

void CDefineFont4Tag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("fontID", m_FontID);
    visitor.Int("reserved", m_Reserved);
    visitor.Int("hasFontData", m_HasFontData);
    visitor.Int("italic", m_Italic);
    visitor.Int("bold", m_Bold);
    visitor.Text("fontName", m_FontName);
    visitor.Bytes("fontData", m_FontData.data(), m_FontData.size());
}

// ---- CDefineFontNameTag ----

int CDefineFontNameTag::ReadBody(CSWFStream* body)
{
    m_FontID = body->GetU16();
    ReadString(body, m_FontName);
    ReadString(body, m_FontCopyright);
    return NoShortfall(body) ? 1 : 0;
}

int CDefineFontNameTag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_FontID) && WriteString(body, m_FontName) && WriteString(body, m_FontCopyright) ? 1 : 0;
}

int CDefineFontNameTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CDefineFontNameTag>(CParsedTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_FontID = m_FontID;
    copy->m_FontName = m_FontName;
    copy->m_FontCopyright = m_FontCopyright;
    return 1;
}

void CDefineFontNameTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("fontID", m_FontID);
    visitor.Text("fontName", m_FontName);
    visitor.Text("fontCopyright", m_FontCopyright);
}

// ---- CMetadataTag ----

int CMetadataTag::ReadBody(CSWFStream* body)
{
    ReadString(body, m_Metadata);
    return NoShortfall(body) ? 1 : 0;
}

int CMetadataTag::WriteBody(CSWFStream* body)
{
    return WriteString(body, m_Metadata) ? 1 : 0;
}

int CMetadataTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CMetadataTag>(CParsedTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Metadata = m_Metadata;
    return 1;
}

void CMetadataTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Text("metadata", m_Metadata);
}

// ---- CDefineScalingGridTag ----

CDefineScalingGridTag::CDefineScalingGridTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pSplitter(std::make_unique<CRectItem>(owner, kStyleNone))
{ }

CDefineScalingGridTag::~CDefineScalingGridTag() = default;

int CDefineScalingGridTag::ReadBody(CSWFStream* body)
{
    m_CharacterID = body->GetU16();
    return NoShortfall(body) && m_pSplitter->ReadSWF(body) ? 1 : 0;
}

int CDefineScalingGridTag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_CharacterID) && m_pSplitter->WriteSWF(body) ? 1 : 0;
}

int CDefineScalingGridTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CDefineScalingGridTag>(CParsedTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_CharacterID = m_CharacterID;
    return CopyChild(m_pSplitter.get(), owner, copy->m_pSplitter);
}

void CDefineScalingGridTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("characterID", m_CharacterID);
    visitor.Child("splitter", m_pSplitter.get());
}

// ---- CDefineShape4Tag ----

CDefineShape4Tag::CDefineShape4Tag(CSWFObject* owner, unsigned char)
    : CShapeTag(owner, kStyleShape4)
    , m_pEdgeBounds(std::make_unique<CRectItem>(owner, kStyleNone))
{ }

CDefineShape4Tag::~CDefineShape4Tag() = default;

int CDefineShape4Tag::ReadAfterBounds(CSWFStream* body)
{
    if (!m_pEdgeBounds->ReadSWF(body))
        return 0;
    m_Reserved = static_cast<uint8_t>(body->GetU(5));
    m_UsesFillWindingRule = body->GetBool();
    m_UsesNonScalingStrokes = body->GetBool();
    m_UsesScalingStrokes = body->GetBool();
    body->FlushBits();
    return NoShortfall(body) ? 1 : 0;
}

int CDefineShape4Tag::WriteAfterBounds(CSWFStream* body)
{
    return m_pEdgeBounds->WriteSWF(body)
            && WriteBitFields(body, { { m_Reserved, 5 }, { m_UsesFillWindingRule, 1 }, { m_UsesNonScalingStrokes, 1 },
                                        { m_UsesScalingStrokes, 1 } })
        ? 1
        : 0;
}

int CDefineShape4Tag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CDefineShape4Tag>(CShapeTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Reserved = m_Reserved;
    copy->m_UsesFillWindingRule = m_UsesFillWindingRule;
    copy->m_UsesNonScalingStrokes = m_UsesNonScalingStrokes;
    copy->m_UsesScalingStrokes = m_UsesScalingStrokes;
    return CopyChild(m_pEdgeBounds.get(), owner, copy->m_pEdgeBounds);
}

void CDefineShape4Tag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CShapeTag::DescribeFields(visitor);
    visitor.Child("edgeBounds", m_pEdgeBounds.get());
    visitor.Int("reserved", m_Reserved);
    visitor.Int("usesFillWindingRule", m_UsesFillWindingRule);
    visitor.Int("usesNonScalingStrokes", m_UsesNonScalingStrokes);
    visitor.Int("usesScalingStrokes", m_UsesScalingStrokes);
}

// ---- CDefineMorphShape2Tag ----

CDefineMorphShape2Tag::CDefineMorphShape2Tag(CSWFObject* owner, unsigned char style)
    : CDefineMorphShapeTag(owner, style)
    , m_pStartEdgeBounds(std::make_unique<CRectItem>(owner, kStyleNone))
    , m_pEndEdgeBounds(std::make_unique<CRectItem>(owner, kStyleNone))
{
    m_pLineStyles->m_ItemClassID = kClassID_CMorphLineStyle2Item;
}

CDefineMorphShape2Tag::~CDefineMorphShape2Tag() = default;

int CDefineMorphShape2Tag::ReadAfterBounds(CSWFStream* body)
{
    if (!m_pStartEdgeBounds->ReadSWF(body) || !m_pEndEdgeBounds->ReadSWF(body))
        return 0;
    m_Reserved = static_cast<uint8_t>(body->GetU(6));
    m_UsesNonScalingStrokes = body->GetBool();
    m_UsesScalingStrokes = body->GetBool();
    body->FlushBits();
    m_pLineStyles->m_ItemClassID = kClassID_CMorphLineStyle2Item;
    return NoShortfall(body) ? 1 : 0;
}

int CDefineMorphShape2Tag::WriteAfterBounds(CSWFStream* body)
{
    return m_pStartEdgeBounds->WriteSWF(body) && m_pEndEdgeBounds->WriteSWF(body)
            && WriteBitFields(body, { { m_Reserved, 6 }, { m_UsesNonScalingStrokes, 1 }, { m_UsesScalingStrokes, 1 } })
        ? 1
        : 0;
}

int CDefineMorphShape2Tag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CDefineMorphShape2Tag>(CDefineMorphShapeTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Reserved = m_Reserved;
    copy->m_UsesNonScalingStrokes = m_UsesNonScalingStrokes;
    copy->m_UsesScalingStrokes = m_UsesScalingStrokes;
    copy->m_pLineStyles->m_ItemClassID = kClassID_CMorphLineStyle2Item;
    return CopyChild(m_pStartEdgeBounds.get(), owner, copy->m_pStartEdgeBounds)
            && CopyChild(m_pEndEdgeBounds.get(), owner, copy->m_pEndEdgeBounds)
        ? 1
        : 0;
}

void CDefineMorphShape2Tag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CDefineMorphShapeTag::DescribeFields(visitor);
    visitor.Child("startEdgeBounds", m_pStartEdgeBounds.get());
    visitor.Child("endEdgeBounds", m_pEndEdgeBounds.get());
    visitor.Int("reserved", m_Reserved);
    visitor.Int("usesNonScalingStrokes", m_UsesNonScalingStrokes);
    visitor.Int("usesScalingStrokes", m_UsesScalingStrokes);
}

// ---- CSceneTableItem, CDefineSceneAndFrameLabelDataTag ----

int CSceneTableItem::ReadSWF(CSWFStream* stream)
{
    ReadEncodedU32(stream, m_Count);
    m_Entries.clear();
    // Each entry takes at least two bytes: a count beyond the data reads no further than the data.
    for (uint32_t i = 0; i < m_Count.m_Value && NoShortfall(stream); ++i) {
        if (stream->GetDataRest() < 2) {
            stream->GetU16(); // records the shortfall
            break;
        }
        Entry entry;
        ReadEncodedU32(stream, entry.m_Frame);
        ReadString(stream, entry.m_Name);
        m_Entries.push_back(std::move(entry));
    }
    return NoShortfall(stream) ? 1 : 0;
}

int CSceneTableItem::WriteSWF(CSWFStream* stream)
{
    SEncodedU32 count = m_Count;
    count.m_Value = static_cast<uint32_t>(m_Entries.size());
    if (!WriteEncodedU32(stream, count))
        return 0;
    for (const Entry& entry : m_Entries) {
        if (!WriteEncodedU32(stream, entry.m_Frame) || !WriteString(stream, entry.m_Name))
            return 0;
    }
    return 1;
}

int CSceneTableItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CSceneTableItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Count = m_Count;
    copy->m_Entries = m_Entries;
    return 1;
}

void CSceneTableItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("count", static_cast<long long>(m_Entries.size()));
    for (const Entry& entry : m_Entries) {
        visitor.Int("frame", entry.m_Frame.m_Value);
        visitor.Text("name", entry.m_Name);
    }
}

CDefineSceneAndFrameLabelDataTag::CDefineSceneAndFrameLabelDataTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pScenes(std::make_unique<CSceneTableItem>(owner, kStyleNone))
    , m_pFrameLabels(std::make_unique<CFrameLabelTableItem>(owner, kStyleNone))
{ }

CDefineSceneAndFrameLabelDataTag::~CDefineSceneAndFrameLabelDataTag() = default;

int CDefineSceneAndFrameLabelDataTag::ReadBody(CSWFStream* body)
{
    return m_pScenes->ReadSWF(body) && m_pFrameLabels->ReadSWF(body) ? 1 : 0;
}

int CDefineSceneAndFrameLabelDataTag::WriteBody(CSWFStream* body)
{
    return m_pScenes->WriteSWF(body) && m_pFrameLabels->WriteSWF(body) ? 1 : 0;
}

int CDefineSceneAndFrameLabelDataTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CDefineSceneAndFrameLabelDataTag>(CParsedTag::MakeCopy(owner, style, dest), dest);
    return copy && CopyChild(m_pScenes.get(), owner, copy->m_pScenes)
            && CopyChild(m_pFrameLabels.get(), owner, copy->m_pFrameLabels)
        ? 1
        : 0;
}

void CDefineSceneAndFrameLabelDataTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Child("scenes", m_pScenes.get());
    visitor.Child("frameLabels", m_pFrameLabels.get());
}

// ---- CDefineBinaryDataTag ----

int CDefineBinaryDataTag::ReadBody(CSWFStream* body)
{
    m_CharacterID = body->GetU16();
    m_Reserved = body->GetU32();
    if (!NoShortfall(body))
        return 0;
    ReadRest(body, m_Data);
    return 1;
}

int CDefineBinaryDataTag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_CharacterID) && body->WriteU32(m_Reserved) && WriteBytes(body, m_Data) ? 1 : 0;
}

int CDefineBinaryDataTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CDefineBinaryDataTag>(CParsedTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_CharacterID = m_CharacterID;
    copy->m_Reserved = m_Reserved;
    copy->m_Data = m_Data;
    return 1;
}

void CDefineBinaryDataTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("characterID", m_CharacterID);
    visitor.Int("reserved", m_Reserved);
    visitor.Bytes("data", m_Data.data(), m_Data.size());
}

// ---- CStartSound2Tag ----

CStartSound2Tag::CStartSound2Tag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pSoundInfo(std::make_unique<CSoundInfoItem>(owner, kStyleNone))
{ }

CStartSound2Tag::~CStartSound2Tag() = default;

int CStartSound2Tag::ReadBody(CSWFStream* body)
{
    ReadString(body, m_SoundClassName);
    return NoShortfall(body) && m_pSoundInfo->ReadSWF(body) ? 1 : 0;
}

int CStartSound2Tag::WriteBody(CSWFStream* body)
{
    return WriteString(body, m_SoundClassName) && m_pSoundInfo->WriteSWF(body) ? 1 : 0;
}

int CStartSound2Tag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CStartSound2Tag>(CParsedTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_SoundClassName = m_SoundClassName;
    return CopyChild(m_pSoundInfo.get(), owner, copy->m_pSoundInfo);
}

void CStartSound2Tag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Text("soundClassName", m_SoundClassName);
    visitor.Child("soundInfo", m_pSoundInfo.get());
}

// ---- CDefineBitsJPEG4Tag ----

CDefineBitsJPEG4Tag::CDefineBitsJPEG4Tag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pJPEGData(std::make_unique<CJPEGDataWithTableItem>(owner, kStyleNone))
    , m_pAlphaData(std::make_unique<CZDumpItem>(owner, kStyleNone))
{
    m_pAlphaData->m_AutoDecompress = false;
}

CDefineBitsJPEG4Tag::~CDefineBitsJPEG4Tag() = default;

int CDefineBitsJPEG4Tag::ReadBody(CSWFStream* body)
{
    uint32_t alphaDataOffset = 0;
    if (!body->ReadU16(&m_ID) || !body->ReadU32(&alphaDataOffset) || !body->ReadU16(&m_DeblockParam))
        return 0;
    // An offset past the body reads what there is of the image data (reported) and leaves no alpha data; the
    // stated length is kept to be written back.
    m_StatedDataSize = 0;
    if (static_cast<uint64_t>(kJPEG4DataStart) + alphaDataOffset > body->GetSize())
        m_StatedDataSize = alphaDataOffset;
    m_pJPEGData->SetReadingSize(alphaDataOffset);
    if (!m_pJPEGData->ReadSWF(body))
        return 0;
    m_pAlphaData->m_AutoDecompress = false;
    m_pAlphaData->SetReadingSize(RestOf(body));
    return m_pAlphaData->ReadSWF(body);
}

int CDefineBitsJPEG4Tag::WriteBody(CSWFStream* body)
{
    CSWFStream jpeg;
    if (!m_pJPEGData->WriteSWF(&jpeg))
        return 0;
    jpeg.SetPosition(0);
    const uint32_t size = std::max<uint32_t>(jpeg.GetSize(), m_StatedDataSize);
    return body->WriteU16(m_ID) && body->WriteU32(size) && body->WriteU16(m_DeblockParam)
            && body->WriteStream(&jpeg, jpeg.GetSize()) && m_pAlphaData->WriteSWF(body)
        ? 1
        : 0;
}

int CDefineBitsJPEG4Tag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CDefineBitsJPEG4Tag>(CParsedTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    copy->m_DeblockParam = m_DeblockParam;
    copy->m_StatedDataSize = m_StatedDataSize;
    return CopyOwned(m_pJPEGData.get(), owner, kStyleNone, copy->m_pJPEGData)
            && CopyOwned(m_pAlphaData.get(), owner, kStyleNone, copy->m_pAlphaData)
        ? 1
        : 0;
}

void CDefineBitsJPEG4Tag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Real("deblockParam", m_DeblockParam / 256.0);
    if (m_StatedDataSize != 0)
        visitor.Int("statedDataSize", m_StatedDataSize);
    visitor.Child("jpegData", m_pJPEGData.get());
    visitor.Child("alphaData", m_pAlphaData.get());
}

// ---- CEnableTelemetryTag ----

int CEnableTelemetryTag::ReadBody(CSWFStream* body)
{
    m_Reserved = body->GetU16();
    if (!NoShortfall(body))
        return 0;
    ReadRest(body, m_PasswordHash);
    return 1;
}

int CEnableTelemetryTag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_Reserved) && WriteBytes(body, m_PasswordHash) ? 1 : 0;
}

int CEnableTelemetryTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CEnableTelemetryTag>(CParsedTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Reserved = m_Reserved;
    copy->m_PasswordHash = m_PasswordHash;
    return 1;
}

void CEnableTelemetryTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("reserved", m_Reserved);
    visitor.Bytes("passwordHash", m_PasswordHash.data(), m_PasswordHash.size());
}

// ---- CProductInfoTag ----

int CProductInfoTag::ReadBody(CSWFStream* body)
{
    m_ProductID = body->GetU32();
    m_Edition = body->GetU32();
    m_MajorVersion = body->GetU8();
    m_MinorVersion = body->GetU8();
    m_Build = body->GetU32();
    m_Build |= static_cast<uint64_t>(body->GetU32()) << 32;
    m_CompilationDate = body->GetU32();
    m_CompilationDate |= static_cast<uint64_t>(body->GetU32()) << 32;
    return NoShortfall(body) ? 1 : 0;
}

int CProductInfoTag::WriteBody(CSWFStream* body)
{
    return body->WriteU32(m_ProductID) && body->WriteU32(m_Edition) && body->WriteU8(m_MajorVersion)
            && body->WriteU8(m_MinorVersion) && body->WriteU32(static_cast<uint32_t>(m_Build))
            && body->WriteU32(static_cast<uint32_t>(m_Build >> 32))
            && body->WriteU32(static_cast<uint32_t>(m_CompilationDate))
            && body->WriteU32(static_cast<uint32_t>(m_CompilationDate >> 32))
        ? 1
        : 0;
}

int CProductInfoTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CProductInfoTag>(CParsedTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_ProductID = m_ProductID;
    copy->m_Edition = m_Edition;
    copy->m_MajorVersion = m_MajorVersion;
    copy->m_MinorVersion = m_MinorVersion;
    copy->m_Build = m_Build;
    copy->m_CompilationDate = m_CompilationDate;
    return 1;
}

void CProductInfoTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("productID", m_ProductID);
    visitor.Int("edition", m_Edition);
    visitor.Int("majorVersion", m_MajorVersion);
    visitor.Int("minorVersion", m_MinorVersion);
    visitor.Int("build", static_cast<long long>(m_Build));
    visitor.Int("compilationDate", static_cast<long long>(m_CompilationDate));
}

// ---- CDebugIDTag ----

int CDebugIDTag::ReadBody(CSWFStream* body)
{
    return body->ReadBuf(m_UUID.data(), m_UUID.size()) && NoShortfall(body) ? 1 : 0;
}

int CDebugIDTag::WriteBody(CSWFStream* body)
{
    return body->WriteBuf(m_UUID.data(), m_UUID.size());
}

int CDebugIDTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CDebugIDTag>(CParsedTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_UUID = m_UUID;
    return 1;
}

void CDebugIDTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Bytes("uuid", m_UUID.data(), m_UUID.size());
}

// ---- CScriptLimitsTag ----

int CScriptLimitsTag::ReadBody(CSWFStream* body)
{
    m_MaxRecursionDepth = body->GetU16();
    m_ScriptTimeoutSeconds = body->GetU16();
    return NoShortfall(body) ? 1 : 0;
}

int CScriptLimitsTag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_MaxRecursionDepth) && body->WriteU16(m_ScriptTimeoutSeconds) ? 1 : 0;
}

int CScriptLimitsTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CScriptLimitsTag>(CParsedTag::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_MaxRecursionDepth = m_MaxRecursionDepth;
    copy->m_ScriptTimeoutSeconds = m_ScriptTimeoutSeconds;
    return 1;
}

void CScriptLimitsTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("maxRecursionDepth", m_MaxRecursionDepth);
    visitor.Int("scriptTimeoutSeconds", m_ScriptTimeoutSeconds);
}

// ---- Factory ----

CSWFObject* NewModernTagObject(int classID, CSWFObject* owner, unsigned char style)
{
    switch (classID) {
    case kClassID_CZoneRecordItem:
        return new CZoneRecordItem(owner, style);
    case kClassID_CSceneTableItem:
        return new CSceneTableItem(owner, style);
    case kClassID_CFrameLabelTableItem:
        return new CFrameLabelTableItem(owner, style);
    case kClassID_CFileAttributesTag:
        return new CFileAttributesTag(owner, style);
    case kClassID_CPlaceObject3Tag:
        return new CPlaceObject3Tag(owner, style);
    case kClassID_CImportAssets2Tag:
        return new CImportAssets2Tag(owner, style);
    case kClassID_CDoABCTag:
        return new CDoABCTag(owner, style);
    case kClassID_CDefineFontAlignZonesTag:
        return new CDefineFontAlignZonesTag(owner, style);
    case kClassID_CCSMTextSettingsTag:
        return new CCSMTextSettingsTag(owner, style);
    case kClassID_CDefineFont3Tag:
        return new CDefineFont3Tag(owner, style);
    case kClassID_CSymbolClassTag:
        return new CSymbolClassTag(owner, style);
    case kClassID_CMetadataTag:
        return new CMetadataTag(owner, style);
    case kClassID_CDefineScalingGridTag:
        return new CDefineScalingGridTag(owner, style);
    case kClassID_CDefineShape4Tag:
        return new CDefineShape4Tag(owner, style);
    case kClassID_CDefineMorphShape2Tag:
        return new CDefineMorphShape2Tag(owner, style);
    case kClassID_CDefineSceneAndFrameLabelDataTag:
        return new CDefineSceneAndFrameLabelDataTag(owner, style);
    case kClassID_CDefineBinaryDataTag:
        return new CDefineBinaryDataTag(owner, style);
    case kClassID_CDefineFontNameTag:
        return new CDefineFontNameTag(owner, style);
    case kClassID_CStartSound2Tag:
        return new CStartSound2Tag(owner, style);
    case kClassID_CDefineBitsJPEG4Tag:
        return new CDefineBitsJPEG4Tag(owner, style);
    case kClassID_CDefineFont4Tag:
        return new CDefineFont4Tag(owner, style);
    case kClassID_CEnableTelemetryTag:
        return new CEnableTelemetryTag(owner, style);
    case kClassID_CProductInfoTag:
        return new CProductInfoTag(owner, style);
    case kClassID_CDebugIDTag:
        return new CDebugIDTag(owner, style);
    case kClassID_CScriptLimitsTag:
        return new CScriptLimitsTag(owner, style);
    default:
        return nullptr;
    }
}
