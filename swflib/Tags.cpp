// The tag base classes and the tags that need only the stream, the strings, the raw data and the tag list.
#include "Tags.h"

#include "FactoryFamilies.h"
#include "Movie.h"
#include "SWFDebugger.h"
#include "SWFStream.h"
#include "TagsCommon.h"

// ---- CParsedTag ----

int CParsedTag::ReadSWF(CSWFStream* body)
{
    m_Rest.clear();
    m_KeptWhole = false;
    const uint32_t start = body->GetPosition();
    const int ok = ReadBody(body);
    if (!ok || body->GetDataLow() != 0) {
        // Keep the body as it came so that writing gives it back unchanged.
        KeepBytes(body, start, body->GetSize(), m_Rest);
        m_KeptWhole = true;
        body->SetPosition(body->GetSize());
        return 0;
    }
    body->FlushBits();
    const uint32_t end = body->GetPosition();
    if (end < body->GetSize()) {
        SWFDebugger.Add(this, kSWFErr_RestTooLarge, "", static_cast<long>(body->GetSize() - end), kSWFType_Warning);
        KeepBytes(body, end, body->GetSize(), m_Rest);
        body->SetPosition(body->GetSize());
    }
    return 1;
}

int CParsedTag::WriteSWF(CSWFStream* body)
{
    if (!m_KeptWhole && !WriteBody(body))
        return 0;
    body->FlushBits();
    if (!m_Rest.empty() && !body->WriteBuf(m_Rest.data(), m_Rest.size()))
        return 0;
    return body->GetDataLow() == 0 ? 1 : 0;
}

int CParsedTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CParsedTag>(dest);
    if (!copy)
        return 0;
    copy->m_Rest = m_Rest;
    copy->m_KeptWhole = m_KeptWhole;
    return 1;
}

void CParsedTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CTag::DescribeFields(visitor);
    visitor.Int("keptWhole", m_KeptWhole);
    visitor.Bytes("rest", m_Rest.data(), m_Rest.size());
}

unsigned char CParsedTag::MovieVersion() const
{
    return MovieVersionOf(m_pOwner);
}

// ---- CRawBodyTag ----

CRawBodyTag::CRawBodyTag(CSWFObject* owner, unsigned char style)
    : CTag(owner, style)
    , m_pData(std::make_unique<CDumpItem>(owner, kStyleNone))
{ }

CRawBodyTag::~CRawBodyTag() = default;

int CRawBodyTag::ReadSWF(CSWFStream* body)
{
    m_pData->SetReadingSize(static_cast<unsigned long>(std::max<int32_t>(body->GetDataRest(), 0)));
    return m_pData->ReadSWF(body);
}

int CRawBodyTag::WriteSWF(CSWFStream* body)
{
    return m_pData->WriteSWF(body);
}

int CRawBodyTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CRawBodyTag>(dest);
    return copy && CopyOwned(m_pData.get(), owner, kStyleNone, copy->m_pData) ? 1 : 0;
}

void CRawBodyTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CTag::DescribeFields(visitor);
    visitor.Child("data", m_pData.get());
}

void CRawBodyTag::SetData(const CDumpItem* data)
{
    if (data)
        CopyOwned(data, m_pOwner, kStyleNone, m_pData);
}

// ---- CFreeCharacterTag ----

int CFreeCharacterTag::ReadBody(CSWFStream* body)
{
    m_IDs.clear();
    while (body->GetDataRest() >= 2)
        m_IDs.push_back(body->GetU16());
    return 1;
}

int CFreeCharacterTag::WriteBody(CSWFStream* body)
{
    for (uint16_t id : m_IDs) {
        if (!body->WriteU16(id))
            return 0;
    }
    return 1;
}

int CFreeCharacterTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CFreeCharacterTag>(dest);
    if (!copy)
        return 0;
    copy->m_IDs = m_IDs;
    return 1;
}

void CFreeCharacterTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    for (uint16_t id : m_IDs)
        visitor.Int("id", id);
}

// ---- CReMoveObjectTag, CReMoveObject2Tag, CSetTabIndex ----

int CReMoveObjectTag::ReadBody(CSWFStream* body)
{
    return body->ReadU16(&m_ID) && body->ReadU16(&m_Depth) ? 1 : 0;
}

int CReMoveObjectTag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_ID) && body->WriteU16(m_Depth) ? 1 : 0;
}

int CReMoveObjectTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CReMoveObjectTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    copy->m_Depth = m_Depth;
    return 1;
}

void CReMoveObjectTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Int("depth", m_Depth);
}

int CReMoveObject2Tag::ReadBody(CSWFStream* body)
{
    return body->ReadU16(&m_Depth);
}

int CReMoveObject2Tag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_Depth);
}

int CReMoveObject2Tag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CReMoveObject2Tag>(dest);
    if (!copy)
        return 0;
    copy->m_Depth = m_Depth;
    return 1;
}

void CReMoveObject2Tag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("depth", m_Depth);
}

int CSetTabIndex::ReadBody(CSWFStream* body)
{
    return body->ReadU16(&m_Depth) && body->ReadU16(&m_TabIndex) ? 1 : 0;
}

int CSetTabIndex::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_Depth) && body->WriteU16(m_TabIndex) ? 1 : 0;
}

int CSetTabIndex::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CSetTabIndex>(dest);
    if (!copy)
        return 0;
    copy->m_Depth = m_Depth;
    copy->m_TabIndex = m_TabIndex;
    return 1;
}

void CSetTabIndex::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("depth", m_Depth);
    visitor.Int("tabIndex", m_TabIndex);
}

// ---- CDefineVideoStreamTag ----

namespace {
constexpr unsigned char kVideoReservedBits = 5;
constexpr unsigned char kVideoDeblockingBits = 2;
} // namespace

int CDefineVideoStreamTag::ReadBody(CSWFStream* body)
{
    body->ReadU16(&m_ID);
    body->ReadU16(&m_NumFrames);
    body->ReadU16(&m_Width);
    body->ReadU16(&m_Height);
    unsigned long reserved = 0;
    SWFDebugger.CheckReserved(this, body, kVideoReservedBits, &reserved);
    m_Reserved = static_cast<uint8_t>(reserved);
    m_Deblocking = static_cast<uint8_t>(body->GetU(kVideoDeblockingBits));
    m_Smoothing = body->GetBool();
    body->ReadU8(&m_CodecID);
    return body->GetDataLow() == 0 ? 1 : 0;
}

int CDefineVideoStreamTag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_ID) && body->WriteU16(m_NumFrames) && body->WriteU16(m_Width) && body->WriteU16(m_Height)
            && body->WriteBits(m_Reserved, kVideoReservedBits) && body->WriteBits(m_Deblocking, kVideoDeblockingBits)
            && body->WriteBits(m_Smoothing, 1) && body->WriteU8(m_CodecID)
        ? 1
        : 0;
}

int CDefineVideoStreamTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineVideoStreamTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    copy->m_NumFrames = m_NumFrames;
    copy->m_Width = m_Width;
    copy->m_Height = m_Height;
    copy->m_Reserved = m_Reserved;
    copy->m_Deblocking = m_Deblocking;
    copy->m_Smoothing = m_Smoothing;
    copy->m_CodecID = m_CodecID;
    return 1;
}

void CDefineVideoStreamTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Int("numFrames", m_NumFrames);
    visitor.Int("width", m_Width);
    visitor.Int("height", m_Height);
    visitor.Int("reserved", m_Reserved);
    visitor.Int("deblocking", m_Deblocking);
    visitor.Int("smoothing", m_Smoothing);
    visitor.Int("codecID", m_CodecID);
}

// ---- CSetBackGroundColorTag ----

CSetBackGroundColorTag::CSetBackGroundColorTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pColor(std::make_unique<CColorItem>(owner, kStyleNone))
{ }

int CSetBackGroundColorTag::ReadBody(CSWFStream* body)
{
    // The background is always opaque RGB.
    m_pColor->m_HasAlpha = false;
    return m_pColor->ReadSWF(body);
}

int CSetBackGroundColorTag::WriteBody(CSWFStream* body)
{
    m_pColor->m_HasAlpha = false;
    return m_pColor->WriteSWF(body);
}

int CSetBackGroundColorTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CSetBackGroundColorTag>(dest);
    return copy && CopyOwned(m_pColor.get(), owner, kStyleNone, copy->m_pColor) ? 1 : 0;
}

void CSetBackGroundColorTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Child("color", m_pColor.get());
}

void CSetBackGroundColorTag::SetColor(const CColorItem* color)
{
    if (color)
        CopyOwned(color, m_pOwner, kStyleNone, m_pColor);
}

// ---- CVideoFrameTag ----

CVideoFrameTag::CVideoFrameTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pData(std::make_unique<CDumpItem>(owner, kStyleNone))
{ }

CVideoFrameTag::~CVideoFrameTag() = default;

int CVideoFrameTag::ReadBody(CSWFStream* body)
{
    body->ReadU16(&m_ID);
    body->ReadU16(&m_FrameNum);
    if (body->GetDataLow() != 0)
        return 0;
    m_pData->SetReadingSize(static_cast<unsigned long>(body->GetDataRest()));
    return m_pData->ReadSWF(body);
}

int CVideoFrameTag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_ID) && body->WriteU16(m_FrameNum) && m_pData->WriteSWF(body) ? 1 : 0;
}

int CVideoFrameTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CVideoFrameTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    copy->m_FrameNum = m_FrameNum;
    return CopyOwned(m_pData.get(), owner, kStyleNone, copy->m_pData);
}

void CVideoFrameTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Int("frameNum", m_FrameNum);
    visitor.Child("data", m_pData.get());
}

// ---- CFrameLabelTag ----

namespace {
// Named anchors arrived with version 6.
constexpr unsigned char kNamedAnchorVersion = 6;
} // namespace

CFrameLabelTag::CFrameLabelTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pLabel(std::make_unique<C0TrmStringItem>(owner, kStyleNone))
{ }

CFrameLabelTag::~CFrameLabelTag() = default;

void CFrameLabelTag::SetHasNamedAnchorFlag(bool flag)
{
    m_HasNamedAnchorFlag = flag;
    const unsigned char version = MovieVersion();
    if (flag && version != 0 && version < kNamedAnchorVersion)
        SWFDebugger.VersionNotSupport(this, "HasNamedAnchorFlag", 1);
}

void CFrameLabelTag::SetLabel(const C0TrmStringItem* label)
{
    if (label)
        CopyOwned(label, m_pOwner, kStyleNone, m_pLabel);
}

int CFrameLabelTag::ReadBody(CSWFStream* body)
{
    m_HasNamedAnchorFlag = false;
    if (!m_pLabel->ReadSWF(body))
        return 0;
    if (body->GetDataRest() > 0) {
        SetHasNamedAnchorFlag(true);
        m_NamedAnchor = body->GetU8();
    }
    return 1;
}

int CFrameLabelTag::WriteBody(CSWFStream* body)
{
    if (!m_pLabel->WriteSWF(body))
        return 0;
    return !m_HasNamedAnchorFlag || body->WriteU8(m_NamedAnchor) ? 1 : 0;
}

int CFrameLabelTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CFrameLabelTag>(dest);
    if (!copy)
        return 0;
    copy->m_HasNamedAnchorFlag = m_HasNamedAnchorFlag;
    copy->m_NamedAnchor = m_NamedAnchor;
    return CopyOwned(m_pLabel.get(), owner, kStyleNone, copy->m_pLabel);
}

void CFrameLabelTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Child("label", m_pLabel.get());
    visitor.Int("hasNamedAnchorFlag", m_HasNamedAnchorFlag);
    visitor.Int("namedAnchor", m_NamedAnchor);
}

// ---- CDefineSpriteTag ----

CDefineSpriteTag::CDefineSpriteTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pTags(std::make_unique<CTagsItem>(owner, kStyleNone))
{
    m_pTags->m_SpriteTags = true;
}

CDefineSpriteTag::~CDefineSpriteTag() = default;

void CDefineSpriteTag::SetTags(const CTagsItem* tags)
{
    if (!tags)
        return;
    CopyOwned(tags, m_pOwner, kStyleNone, m_pTags);
    if (m_pTags)
        m_pTags->m_SpriteTags = true;
}

int CDefineSpriteTag::ReadBody(CSWFStream* body)
{
    if (!body->ReadU16(&m_ID))
        return 0;
    m_pTags->m_SpriteTags = true;
    return m_pTags->ReadSWF(body);
}

int CDefineSpriteTag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_ID) && m_pTags->WriteSWF(body) ? 1 : 0;
}

int CDefineSpriteTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineSpriteTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    return CopyOwned(m_pTags.get(), owner, kStyleNone, copy->m_pTags);
}

void CDefineSpriteTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("tags", m_pTags.get());
}

// ---- Factory ----

CSWFObject* NewTagObject(int classID, CSWFObject* owner, unsigned char style)
{
    switch (classID) {
    case kClassID_CEndTag:
        return new CEndTag(owner, style);
    case kClassID_CShowFrameTag:
        return new CShowFrameTag(owner, style);
    case kClassID_CFreeCharacterTag:
        return new CFreeCharacterTag(owner, style);
    case kClassID_CReMoveObjectTag:
        return new CReMoveObjectTag(owner, style);
    case kClassID_CReMoveObject2Tag:
        return new CReMoveObject2Tag(owner, style);
    case kClassID_CSetTabIndex:
        return new CSetTabIndex(owner, style);
    case kClassID_CDefineVideoStreamTag:
        return new CDefineVideoStreamTag(owner, style);
    case kClassID_CSetBackGroundColorTag:
        return new CSetBackGroundColorTag(owner, style);
    case kClassID_CJPEGTablesTag:
        return new CJPEGTablesTag(owner, style);
    case kClassID_CSoundStreamBlockTag:
        return new CSoundStreamBlockTag(owner, style);
    case kClassID_CProtectTag:
        return new CProtectTag(owner, style);
    case kClassID_CEnableDebuggerTag:
        return new CEnableDebuggerTag(owner, style);
    case kClassID_CEnableDebugger2Tag:
        return new CEnableDebugger2Tag(owner, style);
    case kClassID_CUnKnownTag:
        return new CUnKnownTag(owner, style);
    case kClassID_CVideoFrameTag:
        return new CVideoFrameTag(owner, style);
    case kClassID_CFrameLabelTag:
        return new CFrameLabelTag(owner, style);
    case kClassID_CDefineSpriteTag:
        return new CDefineSpriteTag(owner, style);
    case kClassID_CPlaceObjectTag:
        return new CPlaceObjectTag(owner, style);
    case kClassID_CPlaceObject2Tag:
        return new CPlaceObject2Tag(owner, style);
    case kClassID_CShapeTag:
        return new CShapeTag(owner, style);
    case kClassID_CDefineShapeTag:
        return new CDefineShapeTag(owner, style);
    case kClassID_CDefineShape2Tag:
        return new CDefineShape2Tag(owner, style);
    case kClassID_CDefineShape3Tag:
        return new CDefineShape3Tag(owner, style);
    case kClassID_CDefineMorphShapeTag:
        return new CDefineMorphShapeTag(owner, style);
    case kClassID_CTextTag:
        return new CTextTag(owner, style);
    case kClassID_CDefineTextTag:
        return new CDefineTextTag(owner, style);
    case kClassID_CDefineText2Tag:
        return new CDefineText2Tag(owner, style);
    case kClassID_CDefineEditTextTag:
        return new CDefineEditTextTag(owner, style);
    case kClassID_CDefineButtonTag:
        return new CDefineButtonTag(owner, style);
    case kClassID_CDefineButton2Tag:
        return new CDefineButton2Tag(owner, style);
    case kClassID_CDefineButtonCXFormTag:
        return new CDefineButtonCXFormTag(owner, style);
    case kClassID_CDefineButtonSoundTag:
        return new CDefineButtonSoundTag(owner, style);
    case kClassID_CDefineBitsTag:
        return new CDefineBitsTag(owner, style);
    case kClassID_CDefineBitsJPEG2Tag:
        return new CDefineBitsJPEG2Tag(owner, style);
    case kClassID_CDefineBitsJPEG3Tag:
        return new CDefineBitsJPEG3Tag(owner, style);
    case kClassID_CBitsLossLessTag:
        return new CBitsLossLessTag(owner, style);
    case kClassID_CDefineBitsLossLessTag:
        return new CDefineBitsLossLessTag(owner, style);
    case kClassID_CDefineBitsLossLess2Tag:
        return new CDefineBitsLossLess2Tag(owner, style);
    case kClassID_CDefineSoundTag:
        return new CDefineSoundTag(owner, style);
    case kClassID_CStartSoundTag:
        return new CStartSoundTag(owner, style);
    case kClassID_CDefineSoundStreamHeadTag:
        return new CDefineSoundStreamHeadTag(owner, style);
    case kClassID_CSoundStreamHeadTag:
        return new CSoundStreamHeadTag(owner, style);
    case kClassID_CSoundStreamHead2Tag:
        return new CSoundStreamHead2Tag(owner, style);
    case kClassID_CDefineFontTag:
        return new CDefineFontTag(owner, style);
    case kClassID_CDefineFont2Tag:
        return new CDefineFont2Tag(owner, style);
    case kClassID_CFontInfoTag:
        return new CFontInfoTag(owner, style);
    case kClassID_CDefineFontInfoTag:
        return new CDefineFontInfoTag(owner, style);
    case kClassID_CDefineFontInfo2Tag:
        return new CDefineFontInfo2Tag(owner, style);
    case kClassID_CDoActionTag:
        return new CDoActionTag(owner, style);
    case kClassID_CDoInitActionsTag:
        return new CDoInitActionsTag(owner, style);
    case kClassID_CAssetTag:
        return new CAssetTag(owner, style);
    case kClassID_CExportAssetsTag:
        return new CExportAssetsTag(owner, style);
    case kClassID_CImportAssetsTag:
        return new CImportAssetsTag(owner, style);
    default:
        return nullptr;
    }
}
