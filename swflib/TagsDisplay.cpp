// Display-list, shape, morph, text and button tags.
#include "Actions.h"
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

} // namespace

// ---- CPlaceObjectTag ----

CPlaceObjectTag::CPlaceObjectTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pMatrix(std::make_unique<CMatrixItem>(owner, kStyleNone))
{ }

CPlaceObjectTag::~CPlaceObjectTag() = default;

void CPlaceObjectTag::SetMatrix(const CMatrixItem* matrix)
{
    SetPart(matrix, m_pOwner, kStyleNone, m_pMatrix);
}

void CPlaceObjectTag::SetColorTransform(const CCXFormItem* transform)
{
    SetPart(transform, m_pOwner, kStyleNone, m_pColorTransform);
    if (m_pColorTransform)
        m_pColorTransform->SetHasAlpha(false);
}

void CPlaceObjectTag::SetHasColorTransform(bool has)
{
    SetHasPart(has, m_pOwner, kStyleNone, m_pColorTransform);
}

int CPlaceObjectTag::ReadBody(CSWFStream* body)
{
    m_pColorTransform.reset();
    body->ReadU16(&m_ID);
    body->ReadU16(&m_Depth);
    if (!NoShortfall(body) || !m_pMatrix->ReadSWF(body))
        return 0;
    if (body->GetDataRest() <= 0)
        return 1;
    const uint32_t start = body->GetPosition();
    auto transform = std::make_unique<CCXFormItem>(m_pOwner, kStyleNone);
    transform->SetHasAlpha(false);
    if (!transform->ReadSWF(body))
        return 0;
    if (transform->IsEmpty()) {
        // An empty transform is no transform; its bytes stay with the tag as bytes after the fields.
        body->SetPosition(start);
        body->SetBit(8);
        return 1;
    }
    m_pColorTransform = std::move(transform);
    return 1;
}

int CPlaceObjectTag::WriteBody(CSWFStream* body)
{
    if (!body->WriteU16(m_ID) || !body->WriteU16(m_Depth) || !m_pMatrix->WriteSWF(body))
        return 0;
    if (m_pColorTransform) {
        m_pColorTransform->SetHasAlpha(false);
        return m_pColorTransform->WriteSWF(body);
    }
    return 1;
}

int CPlaceObjectTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CPlaceObjectTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    copy->m_Depth = m_Depth;
    return CopyOwned(m_pMatrix.get(), owner, kStyleNone, copy->m_pMatrix)
            && CopyOwned(m_pColorTransform.get(), owner, kStyleNone, copy->m_pColorTransform)
        ? 1
        : 0;
}

void CPlaceObjectTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Int("depth", m_Depth);
    visitor.Child("matrix", m_pMatrix.get());
    visitor.Child("colorTransform", m_pColorTransform.get());
}

// ---- CPlaceObject2Tag ----

CPlaceObject2Tag::CPlaceObject2Tag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
{ }

CPlaceObject2Tag::~CPlaceObject2Tag() = default;

void CPlaceObject2Tag::SetHasClipActions(bool has)
{
    SetHasPart(has, m_pOwner, kStyleNone, m_pClipActions);
}

void CPlaceObject2Tag::SetHasName(bool has)
{
    SetHasPart(has, m_pOwner, kStyleNone, m_pName);
}

void CPlaceObject2Tag::SetHasColorTransform(bool has)
{
    SetHasPart(has, m_pOwner, kStyleNone, m_pColorTransform);
}

void CPlaceObject2Tag::SetHasMatrix(bool has)
{
    SetHasPart(has, m_pOwner, kStyleNone, m_pMatrix);
}

void CPlaceObject2Tag::SetID(unsigned short id)
{
    m_ID = id;
    m_HasCharacter = true;
}

void CPlaceObject2Tag::SetMatrix(const CMatrixItem* matrix)
{
    SetPart(matrix, m_pOwner, kStyleNone, m_pMatrix);
}

void CPlaceObject2Tag::SetColorTransform(const CCXFormItem* transform)
{
    SetPart(transform, m_pOwner, kStyleNone, m_pColorTransform);
}

void CPlaceObject2Tag::SetName(const C0TrmStringItem* name)
{
    SetPart(name, m_pOwner, kStyleNone, m_pName);
}

void CPlaceObject2Tag::SetClipActions(const CClipActionsItem* actions)
{
    SetPart(actions, m_pOwner, kStyleNone, m_pClipActions);
}

int CPlaceObject2Tag::ReadBody(CSWFStream* body)
{
    SetHasClipActions(body->GetBool());
    m_HasClipDepth = body->GetBool();
    SetHasName(body->GetBool());
    m_HasRatio = body->GetBool();
    SetHasColorTransform(body->GetBool());
    SetHasMatrix(body->GetBool());
    m_HasCharacter = body->GetBool();
    m_Move = body->GetBool();
    body->ReadU16(&m_Depth);
    if (m_HasCharacter)
        body->ReadU16(&m_ID);
    bool ok = NoShortfall(body);
    if (m_pMatrix)
        ok = m_pMatrix->ReadSWF(body) && ok;
    if (m_pColorTransform) {
        m_pColorTransform->SetHasAlpha(true);
        ok = ok && m_pColorTransform->ReadSWF(body);
    }
    if (m_HasRatio)
        body->ReadU16(&m_Ratio);
    if (m_pName)
        ok = ok && m_pName->ReadSWF(body);
    if (m_HasClipDepth)
        body->ReadU16(&m_ClipDepth);
    if (m_pClipActions)
        ok = ok && m_pClipActions->ReadSWF(body);
    return ok && NoShortfall(body) ? 1 : 0;
}

int CPlaceObject2Tag::WriteBody(CSWFStream* body)
{
    const bool flags[] = { m_pClipActions != nullptr, m_HasClipDepth, m_pName != nullptr, m_HasRatio,
        m_pColorTransform != nullptr, m_pMatrix != nullptr, m_HasCharacter, m_Move };
    for (bool flag : flags) {
        if (!body->WriteBits(flag ? 1 : 0, 1))
            return 0;
    }
    if (!body->WriteU16(m_Depth) || (m_HasCharacter && !body->WriteU16(m_ID)))
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
    if ((m_HasClipDepth && !body->WriteU16(m_ClipDepth)) || (m_pClipActions && !m_pClipActions->WriteSWF(body)))
        return 0;
    return 1;
}

int CPlaceObject2Tag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CPlaceObject2Tag>(dest);
    if (!copy)
        return 0;
    copy->m_HasCharacter = m_HasCharacter;
    copy->m_HasClipDepth = m_HasClipDepth;
    copy->m_HasRatio = m_HasRatio;
    copy->m_Move = m_Move;
    copy->m_Depth = m_Depth;
    copy->m_ID = m_ID;
    copy->m_Ratio = m_Ratio;
    copy->m_ClipDepth = m_ClipDepth;
    return CopyOwned(m_pMatrix.get(), owner, kStyleNone, copy->m_pMatrix)
            && CopyOwned(m_pColorTransform.get(), owner, kStyleNone, copy->m_pColorTransform)
            && CopyOwned(m_pName.get(), owner, kStyleNone, copy->m_pName)
            && CopyOwned(m_pClipActions.get(), owner, kStyleNone, copy->m_pClipActions)
        ? 1
        : 0;
}

void CPlaceObject2Tag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("hasCharacter", m_HasCharacter);
    visitor.Int("hasClipDepth", m_HasClipDepth);
    visitor.Int("hasRatio", m_HasRatio);
    visitor.Int("move", m_Move);
    visitor.Int("depth", m_Depth);
    visitor.Int("id", m_ID);
    visitor.Child("matrix", m_pMatrix.get());
    visitor.Child("colorTransform", m_pColorTransform.get());
    visitor.Int("ratio", m_Ratio);
    visitor.Child("name", m_pName.get());
    visitor.Int("clipDepth", m_ClipDepth);
    visitor.Child("clipActions", m_pClipActions.get());
}

// ---- CShapeTag ----

CShapeTag::CShapeTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pBounds(std::make_unique<CRectItem>(owner, kStyleNone))
    , m_pShapes(std::make_unique<CShapeWithStyleItem>(owner, style))
{ }

CShapeTag::~CShapeTag() = default;

void CShapeTag::SetBounds(const CRectItem* bounds)
{
    SetPart(bounds, m_pOwner, kStyleNone, m_pBounds);
}

void CShapeTag::SetShapes(const CShapeWithStyleItem* shapes)
{
    SetPart(shapes, m_pOwner, m_Style, m_pShapes);
}

int CShapeTag::ReadBody(CSWFStream* body)
{
    body->ReadU16(&m_ID);
    if (!NoShortfall(body) || !m_pBounds->ReadSWF(body) || !ReadAfterBounds(body))
        return 0;
    m_pShapes->SetItemStyle(m_Style);
    return m_pShapes->ReadSWF(body);
}

int CShapeTag::WriteBody(CSWFStream* body)
{
    m_pShapes->SetItemStyle(m_Style);
    return body->WriteU16(m_ID) && m_pBounds->WriteSWF(body) && WriteAfterBounds(body) && m_pShapes->WriteSWF(body)
        ? 1
        : 0;
}

int CShapeTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CShapeTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    return CopyOwned(m_pBounds.get(), owner, kStyleNone, copy->m_pBounds)
            && CopyOwned(m_pShapes.get(), owner, m_Style, copy->m_pShapes)
        ? 1
        : 0;
}

void CShapeTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("bounds", m_pBounds.get());
    visitor.Child("shapes", m_pShapes.get());
}

// ---- CDefineMorphShapeTag ----

CDefineMorphShapeTag::CDefineMorphShapeTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pStartBounds(std::make_unique<CRectItem>(owner, kStyleNone))
    , m_pEndBounds(std::make_unique<CRectItem>(owner, kStyleNone))
    , m_pFillStyles(std::make_unique<CMorphFillStylesItem>(owner, kStyleRGBA))
    , m_pLineStyles(std::make_unique<CMorphLineStylesItem>(owner, kStyleRGBA))
    , m_pStartEdges(std::make_unique<CShapeItem>(owner, kStyleRGBA))
    , m_pEndEdges(std::make_unique<CShapeItem>(owner, kStyleRGBA))
{ }

CDefineMorphShapeTag::~CDefineMorphShapeTag() = default;

int CDefineMorphShapeTag::ReadBody(CSWFStream* body)
{
    m_Gap.clear();
    body->ReadU16(&m_ID);
    if (!NoShortfall(body) || !m_pStartBounds->ReadSWF(body) || !m_pEndBounds->ReadSWF(body)
        || !ReadAfterBounds(body))
        return 0;
    uint32_t offset = 0;
    if (!body->ReadU32(&offset))
        return 0;
    const uint64_t endEdges = static_cast<uint64_t>(body->GetPosition()) + offset;
    if (!m_pFillStyles->ReadSWF(body) || !m_pLineStyles->ReadSWF(body) || !m_pStartEdges->ReadSWF(body))
        return 0;
    body->FlushBits();
    // The end edges are where the offset says; an offset behind the start edges does not describe this body.
    if (endEdges < body->GetPosition() || endEdges > body->GetSize())
        return 0;
    KeepBytes(body, body->GetPosition(), static_cast<uint32_t>(endEdges), m_Gap);
    body->SetPosition(static_cast<uint32_t>(endEdges));
    return m_pEndEdges->ReadSWF(body);
}

int CDefineMorphShapeTag::WriteBody(CSWFStream* body)
{
    CSWFStream styles;
    if (!m_pFillStyles->WriteSWF(&styles) || !m_pLineStyles->WriteSWF(&styles) || !m_pStartEdges->WriteSWF(&styles))
        return 0;
    styles.FlushBits();
    const uint32_t offset = styles.GetSize() + static_cast<uint32_t>(m_Gap.size());
    styles.SetPosition(0);
    if (!body->WriteU16(m_ID) || !m_pStartBounds->WriteSWF(body) || !m_pEndBounds->WriteSWF(body)
        || !WriteAfterBounds(body) || !body->WriteU32(offset) || !body->WriteStream(&styles, styles.GetSize()))
        return 0;
    if (!m_Gap.empty() && !body->WriteBuf(m_Gap.data(), m_Gap.size()))
        return 0;
    return m_pEndEdges->WriteSWF(body);
}

int CDefineMorphShapeTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineMorphShapeTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    copy->m_Gap = m_Gap;
    return CopyOwned(m_pStartBounds.get(), owner, kStyleNone, copy->m_pStartBounds)
            && CopyOwned(m_pEndBounds.get(), owner, kStyleNone, copy->m_pEndBounds)
            && CopyOwned(m_pFillStyles.get(), owner, kStyleRGBA, copy->m_pFillStyles)
            && CopyOwned(m_pLineStyles.get(), owner, kStyleRGBA, copy->m_pLineStyles)
            && CopyOwned(m_pStartEdges.get(), owner, kStyleRGBA, copy->m_pStartEdges)
            && CopyOwned(m_pEndEdges.get(), owner, kStyleRGBA, copy->m_pEndEdges)
        ? 1
        : 0;
}

void CDefineMorphShapeTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("startBounds", m_pStartBounds.get());
    visitor.Child("endBounds", m_pEndBounds.get());
    visitor.Child("fillStyles", m_pFillStyles.get());
    visitor.Child("lineStyles", m_pLineStyles.get());
    visitor.Child("startEdges", m_pStartEdges.get());
    visitor.Bytes("gap", m_Gap.data(), m_Gap.size());
    visitor.Child("endEdges", m_pEndEdges.get());
}

// ---- CTextTag ----

CTextTag::CTextTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pBounds(std::make_unique<CRectItem>(owner, kStyleNone))
    , m_pMatrix(std::make_unique<CMatrixItem>(owner, kStyleNone))
    , m_pTextRecords(std::make_unique<CTextRecordsItem>(owner, style))
{ }

CTextTag::~CTextTag() = default;

void CTextTag::SetBounds(const CRectItem* bounds)
{
    SetPart(bounds, m_pOwner, kStyleNone, m_pBounds);
}

void CTextTag::SetMatrix(const CMatrixItem* matrix)
{
    SetPart(matrix, m_pOwner, kStyleNone, m_pMatrix);
}

void CTextTag::SetTextRecords(const CTextRecordsItem* records)
{
    SetPart(records, m_pOwner, m_Style, m_pTextRecords);
}

int CTextTag::ReadBody(CSWFStream* body)
{
    body->ReadU16(&m_ID);
    if (!NoShortfall(body) || !m_pBounds->ReadSWF(body) || !m_pMatrix->ReadSWF(body))
        return 0;
    m_pTextRecords->SetItemStyle(m_Style);
    return m_pTextRecords->ReadSWF(body);
}

int CTextTag::WriteBody(CSWFStream* body)
{
    m_pTextRecords->SetItemStyle(m_Style);
    return body->WriteU16(m_ID) && m_pBounds->WriteSWF(body) && m_pMatrix->WriteSWF(body)
            && m_pTextRecords->WriteSWF(body)
        ? 1
        : 0;
}

int CTextTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CTextTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    return CopyOwned(m_pBounds.get(), owner, kStyleNone, copy->m_pBounds)
            && CopyOwned(m_pMatrix.get(), owner, kStyleNone, copy->m_pMatrix)
            && CopyOwned(m_pTextRecords.get(), owner, m_Style, copy->m_pTextRecords)
        ? 1
        : 0;
}

void CTextTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("bounds", m_pBounds.get());
    visitor.Child("matrix", m_pMatrix.get());
    visitor.Child("textRecords", m_pTextRecords.get());
}

// ---- CDefineEditTextTag ----

CDefineEditTextTag::CDefineEditTextTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pBounds(std::make_unique<CRectItem>(owner, kStyleNone))
    , m_pVariableName(std::make_unique<C0TrmStringItem>(owner, kStyleNone))
{ }

CDefineEditTextTag::~CDefineEditTextTag() = default;

void CDefineEditTextTag::SetHasText(bool has)
{
    m_HasText = has;
    SetHasPart(has, m_pOwner, kStyleNone, m_pInitialText);
}

void CDefineEditTextTag::SetHasTextColor(bool has)
{
    m_HasTextColor = has;
    SetHasPart(has, m_pOwner, kStyleRGBA, m_pTextColor);
}

void CDefineEditTextTag::SetHasFontClass(bool has)
{
    m_HasFontClass = has;
    SetHasPart(has, m_pOwner, kStyleNone, m_pFontClass);
}

int CDefineEditTextTag::ReadBody(CSWFStream* body)
{
    body->ReadU16(&m_ID);
    if (!NoShortfall(body) || !m_pBounds->ReadSWF(body))
        return 0;
    SetHasText(body->GetBool());
    m_WordWrap = body->GetBool();
    m_Multiline = body->GetBool();
    m_Password = body->GetBool();
    m_ReadOnly = body->GetBool();
    SetHasTextColor(body->GetBool());
    m_HasMaxLength = body->GetBool();
    m_HasFont = body->GetBool();
    SetHasFontClass(body->GetBool());
    m_AutoSize = body->GetBool();
    m_HasLayout = body->GetBool();
    m_NoSelect = body->GetBool();
    m_Border = body->GetBool();
    m_Reserved = body->GetBool();
    m_HTML = body->GetBool();
    m_UseOutlines = body->GetBool();
    if (m_HasFont)
        body->ReadU16(&m_FontID);
    if (m_pFontClass && !m_pFontClass->ReadSWF(body))
        return 0;
    if (m_HasFont || m_HasFontClass)
        body->ReadU16(&m_FontHeight);
    if (m_pTextColor) {
        m_pTextColor->m_HasAlpha = true;
        if (!m_pTextColor->ReadSWF(body))
            return 0;
    }
    if (m_HasMaxLength)
        body->ReadU16(&m_MaxLength);
    if (m_HasLayout) {
        body->ReadU8(&m_Align);
        body->ReadU16(&m_LeftMargin);
        body->ReadU16(&m_RightMargin);
        body->ReadU16(&m_Indent);
        body->ReadU16(&m_Leading);
    }
    if (!NoShortfall(body) || !m_pVariableName->ReadSWF(body))
        return 0;
    // An empty initial text stays as read (HasText and the zero byte), so that the body is written back whole.
    return !m_pInitialText || m_pInitialText->ReadSWF(body) ? 1 : 0;
}

int CDefineEditTextTag::WriteBody(CSWFStream* body)
{
    if (!body->WriteU16(m_ID) || !m_pBounds->WriteSWF(body))
        return 0;
    const bool flags[] = { m_pInitialText != nullptr, m_WordWrap, m_Multiline, m_Password, m_ReadOnly,
        m_pTextColor != nullptr, m_HasMaxLength, m_HasFont, m_pFontClass != nullptr, m_AutoSize, m_HasLayout,
        m_NoSelect, m_Border, m_Reserved, m_HTML, m_UseOutlines };
    for (bool flag : flags) {
        if (!body->WriteBits(flag ? 1 : 0, 1))
            return 0;
    }
    if (m_HasFont && !body->WriteU16(m_FontID))
        return 0;
    if (m_pFontClass && !m_pFontClass->WriteSWF(body))
        return 0;
    if ((m_HasFont || m_pFontClass) && !body->WriteU16(m_FontHeight))
        return 0;
    if (m_pTextColor) {
        m_pTextColor->m_HasAlpha = true;
        if (!m_pTextColor->WriteSWF(body))
            return 0;
    }
    if (m_HasMaxLength && !body->WriteU16(m_MaxLength))
        return 0;
    if (m_HasLayout
        && !(body->WriteU8(m_Align) && body->WriteU16(m_LeftMargin) && body->WriteU16(m_RightMargin)
            && body->WriteU16(m_Indent) && body->WriteU16(m_Leading)))
        return 0;
    if (!m_pVariableName->WriteSWF(body))
        return 0;
    return !m_pInitialText || m_pInitialText->WriteSWF(body) ? 1 : 0;
}

int CDefineEditTextTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineEditTextTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    copy->m_HasText = m_HasText;
    copy->m_WordWrap = m_WordWrap;
    copy->m_Multiline = m_Multiline;
    copy->m_Password = m_Password;
    copy->m_ReadOnly = m_ReadOnly;
    copy->m_HasTextColor = m_HasTextColor;
    copy->m_HasMaxLength = m_HasMaxLength;
    copy->m_HasFont = m_HasFont;
    copy->m_HasFontClass = m_HasFontClass;
    copy->m_AutoSize = m_AutoSize;
    copy->m_HasLayout = m_HasLayout;
    copy->m_NoSelect = m_NoSelect;
    copy->m_Border = m_Border;
    copy->m_Reserved = m_Reserved;
    copy->m_HTML = m_HTML;
    copy->m_UseOutlines = m_UseOutlines;
    copy->m_FontID = m_FontID;
    copy->m_FontHeight = m_FontHeight;
    copy->m_MaxLength = m_MaxLength;
    copy->m_Align = m_Align;
    copy->m_LeftMargin = m_LeftMargin;
    copy->m_RightMargin = m_RightMargin;
    copy->m_Indent = m_Indent;
    copy->m_Leading = m_Leading;
    return CopyOwned(m_pBounds.get(), owner, kStyleNone, copy->m_pBounds)
            && CopyOwned(m_pFontClass.get(), owner, kStyleNone, copy->m_pFontClass)
            && CopyOwned(m_pTextColor.get(), owner, kStyleRGBA, copy->m_pTextColor)
            && CopyOwned(m_pVariableName.get(), owner, kStyleNone, copy->m_pVariableName)
            && CopyOwned(m_pInitialText.get(), owner, kStyleNone, copy->m_pInitialText)
        ? 1
        : 0;
}

void CDefineEditTextTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("bounds", m_pBounds.get());
    visitor.Int("hasText", m_HasText);
    visitor.Int("wordWrap", m_WordWrap);
    visitor.Int("multiline", m_Multiline);
    visitor.Int("password", m_Password);
    visitor.Int("readOnly", m_ReadOnly);
    visitor.Int("hasTextColor", m_HasTextColor);
    visitor.Int("hasMaxLength", m_HasMaxLength);
    visitor.Int("hasFont", m_HasFont);
    visitor.Int("hasFontClass", m_HasFontClass);
    visitor.Int("autoSize", m_AutoSize);
    visitor.Int("hasLayout", m_HasLayout);
    visitor.Int("noSelect", m_NoSelect);
    visitor.Int("border", m_Border);
    visitor.Int("reserved", m_Reserved);
    visitor.Int("html", m_HTML);
    visitor.Int("useOutlines", m_UseOutlines);
    visitor.Int("fontID", m_FontID);
    visitor.Child("fontClass", m_pFontClass.get());
    visitor.Int("fontHeight", m_FontHeight);
    visitor.Child("textColor", m_pTextColor.get());
    visitor.Int("maxLength", m_MaxLength);
    visitor.Int("align", m_Align);
    visitor.Int("leftMargin", m_LeftMargin);
    visitor.Int("rightMargin", m_RightMargin);
    visitor.Int("indent", m_Indent);
    visitor.Int("leading", m_Leading);
    visitor.Child("variableName", m_pVariableName.get());
    visitor.Child("initialText", m_pInitialText.get());
}

// ---- CDefineButtonTag ----

CDefineButtonTag::CDefineButtonTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pCharacters(std::make_unique<CButtonRecordsItem>(owner, kStyleNone))
    , m_pActions(std::make_unique<CActionsItem>(owner, kStyleNone))
{ }

CDefineButtonTag::~CDefineButtonTag() = default;

int CDefineButtonTag::ReadBody(CSWFStream* body)
{
    body->ReadU16(&m_ID);
    return NoShortfall(body) && m_pCharacters->ReadSWF(body) && ReadActionBlock(*m_pActions, body) ? 1 : 0;
}

int CDefineButtonTag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_ID) && m_pCharacters->WriteSWF(body) && m_pActions->WriteSWF(body) ? 1 : 0;
}

int CDefineButtonTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineButtonTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    return CopyOwned(m_pCharacters.get(), owner, kStyleNone, copy->m_pCharacters)
            && CopyOwned(m_pActions.get(), owner, kStyleNone, copy->m_pActions)
        ? 1
        : 0;
}

void CDefineButtonTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("characters", m_pCharacters.get());
    visitor.Child("actions", m_pActions.get());
}

// ---- CDefineButton2Tag ----

namespace {
constexpr unsigned char kButton2ReservedBits = 7;
// ActionOffset counts from its own first byte, which follows the 2-byte ID and the flags byte.
constexpr uint32_t kActionOffsetBase = 3;
} // namespace

CDefineButton2Tag::CDefineButton2Tag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pCharacters(std::make_unique<CButtonRecordsItem>(owner, kStyleButton2))
    , m_pActions(std::make_unique<CButtonCondActionsItem>(owner, kStyleNone))
{ }

CDefineButton2Tag::~CDefineButton2Tag() = default;

int CDefineButton2Tag::ReadBody(CSWFStream* body)
{
    m_Gap.clear();
    m_pActions->SetEmpty();
    body->ReadU16(&m_ID);
    unsigned long reserved = 0;
    SWFDebugger.CheckReserved(this, body, kButton2ReservedBits, &reserved);
    m_Reserved = static_cast<uint8_t>(reserved);
    m_TrackAsMenu = body->GetBool();
    body->ReadU16(&m_ActionOffset);
    m_pCharacters->SetItemStyle(kStyleButton2);
    if (!NoShortfall(body) || !m_pCharacters->ReadSWF(body))
        return 0;
    if (m_ActionOffset == 0)
        return 1;
    const uint32_t actions = kActionOffsetBase + m_ActionOffset;
    if (actions < body->GetPosition() || actions > body->GetSize())
        return 0;
    KeepBytes(body, body->GetPosition(), actions, m_Gap);
    body->SetPosition(actions);
    return m_pActions->ReadSWF(body);
}

int CDefineButton2Tag::WriteBody(CSWFStream* body)
{
    CSWFStream records;
    m_pCharacters->SetItemStyle(kStyleButton2);
    if (!m_pCharacters->WriteSWF(&records))
        return 0;
    const bool hasActions = m_ActionOffset != 0 || !m_pActions->IsEmpty();
    const uint64_t offset = hasActions ? 2 + static_cast<uint64_t>(records.GetSize()) + m_Gap.size() : 0;
    if (offset > 0xFFFF)
        return 0;
    records.SetPosition(0);
    if (!body->WriteU16(m_ID) || !body->WriteBits(m_Reserved, kButton2ReservedBits)
        || !body->WriteBits(m_TrackAsMenu ? 1 : 0, 1) || !body->WriteU16(static_cast<uint16_t>(offset))
        || !body->WriteStream(&records, records.GetSize()))
        return 0;
    if (!hasActions)
        return 1;
    if (!m_Gap.empty() && !body->WriteBuf(m_Gap.data(), m_Gap.size()))
        return 0;
    return m_pActions->WriteSWF(body);
}

int CDefineButton2Tag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineButton2Tag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    copy->m_Reserved = m_Reserved;
    copy->m_TrackAsMenu = m_TrackAsMenu;
    copy->m_ActionOffset = m_ActionOffset;
    copy->m_Gap = m_Gap;
    return CopyOwned(m_pCharacters.get(), owner, kStyleButton2, copy->m_pCharacters)
            && CopyOwned(m_pActions.get(), owner, kStyleNone, copy->m_pActions)
        ? 1
        : 0;
}

void CDefineButton2Tag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Int("reserved", m_Reserved);
    visitor.Int("trackAsMenu", m_TrackAsMenu);
    visitor.Int("hasActions", m_ActionOffset != 0);
    visitor.Child("characters", m_pCharacters.get());
    visitor.Bytes("gap", m_Gap.data(), m_Gap.size());
    visitor.Child("actions", m_pActions.get());
}

// ---- CDefineButtonCXFormTag ----

CDefineButtonCXFormTag::CDefineButtonCXFormTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pColorTransform(std::make_unique<CCXFormItem>(owner, kStyleNone))
{ }

CDefineButtonCXFormTag::~CDefineButtonCXFormTag() = default;

int CDefineButtonCXFormTag::ReadBody(CSWFStream* body)
{
    body->ReadU16(&m_ID);
    m_pColorTransform->SetHasAlpha(false);
    return NoShortfall(body) && m_pColorTransform->ReadSWF(body) ? 1 : 0;
}

int CDefineButtonCXFormTag::WriteBody(CSWFStream* body)
{
    m_pColorTransform->SetHasAlpha(false);
    return body->WriteU16(m_ID) && m_pColorTransform->WriteSWF(body) ? 1 : 0;
}

int CDefineButtonCXFormTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineButtonCXFormTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    return CopyOwned(m_pColorTransform.get(), owner, kStyleNone, copy->m_pColorTransform);
}

void CDefineButtonCXFormTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("colorTransform", m_pColorTransform.get());
}

// ---- CDefineButtonSoundTag ----

CDefineButtonSoundTag::CDefineButtonSoundTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
{ }

CDefineButtonSoundTag::~CDefineButtonSoundTag() = default;

int CDefineButtonSoundTag::ReadBody(CSWFStream* body)
{
    body->ReadU16(&m_ID);
    for (int i = 0; i < kTransitions; ++i) {
        m_pSoundInfo[i].reset();
        if (!body->ReadU16(&m_SoundID[i]))
            return 0;
        if (m_SoundID[i] != 0) {
            m_pSoundInfo[i] = std::make_unique<CSoundInfoItem>(m_pOwner, kStyleNone);
            if (!m_pSoundInfo[i]->ReadSWF(body))
                return 0;
        }
    }
    return 1;
}

int CDefineButtonSoundTag::WriteBody(CSWFStream* body)
{
    if (!body->WriteU16(m_ID))
        return 0;
    for (int i = 0; i < kTransitions; ++i) {
        if (!body->WriteU16(m_SoundID[i]))
            return 0;
        if (m_SoundID[i] == 0)
            continue;
        // A sound without its playing style gets the default one: the format requires it.
        if (!m_pSoundInfo[i])
            m_pSoundInfo[i] = std::make_unique<CSoundInfoItem>(m_pOwner, kStyleNone);
        if (!m_pSoundInfo[i]->WriteSWF(body))
            return 0;
    }
    return 1;
}

int CDefineButtonSoundTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDefineButtonSoundTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    for (int i = 0; i < kTransitions; ++i) {
        copy->m_SoundID[i] = m_SoundID[i];
        if (!CopyOwned(m_pSoundInfo[i].get(), owner, kStyleNone, copy->m_pSoundInfo[i]))
            return 0;
    }
    return 1;
}

void CDefineButtonSoundTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    for (int i = 0; i < kTransitions; ++i) {
        visitor.Int("soundID", m_SoundID[i]);
        visitor.Child("soundInfo", m_pSoundInfo[i].get());
    }
}
