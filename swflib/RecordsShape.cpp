// Shape records: fill and line styles, gradients, edges, style changes, shapes, and their morph counterparts.
#include "Records.h"

#include "RecordsInternal.h"
#include "SWFDebugger.h"
#include "SWFStream.h"

#include <algorithm>

using namespace records;

namespace {

constexpr unsigned char kStyleBitsWidth = 4; // width fields of the fill and line style indexes
constexpr int kStyleMaxBits = 15;
constexpr unsigned char kMoveBitsWidth = 5;
constexpr int kMoveMaxBits = 31;
constexpr unsigned char kEdgeBitsWidth = 4; // edge widths are stored less 2
constexpr int kEdgeMinBits = 2;
constexpr int kEdgeMaxBits = 15 + kEdgeMinBits;

constexpr int kShapeAddStyleChange = 0;
constexpr int kShapeAddStraight = 1;
constexpr int kShapeAddCurved = 2;

// Morph fills add non-smoothed bitmap variants to the five fill kinds.
constexpr uint8_t kFillTiledBitmapHard = 0x42;
constexpr uint8_t kFillClippedBitmapHard = 0x43;

int FillClassFor(uint8_t reducedType)
{
    switch (reducedType) {
    case kFillLinearGradient:
        return kClassID_CLinearGradientItem;
    case kFillRadialGradient:
        return kClassID_CRadialGradientItem;
    case kFillFocalGradient:
        return kClassID_CFocalGradientItem;
    case kFillTiledBitmap:
        return kClassID_CTiledBitMapItem;
    case kFillClippedBitmap:
        return kClassID_CClippedBitMapItem;
    default:
        return kClassID_CColorItem;
    }
}

int MorphFillClassFor(uint8_t type)
{
    switch (type) {
    case kFillSolid:
        return kClassID_CMorphColorItem;
    case kFillLinearGradient:
        return kClassID_CMorphLinearGradientItem;
    case kFillRadialGradient:
        return kClassID_CMorphRadialGradientItem;
    case kFillFocalGradient:
        return kClassID_CMorphFocalGradientItem;
    case kFillTiledBitmap:
    case kFillTiledBitmapHard:
        return kClassID_CMorphTiledBitMapItem;
    case kFillClippedBitmap:
    case kFillClippedBitmapHard:
        return kClassID_CMorphClippedBitMapItem;
    default:
        return kClassID_UnknownObject;
    }
}

std::unique_ptr<CSWFItem> NewItem(int classID, CSWFObject* owner, unsigned char style)
{
    CSWFObject* made = nullptr;
    if (!NewInstance(classID, made, owner, style))
        return nullptr;
    std::unique_ptr<CSWFItem> item(dynamic_cast<CSWFItem*>(made));
    if (!item)
        delete made;
    return item;
}

// The record as a style-change record, or null for an edge (by class ID: shapes hold many records).
CStyleChangeRecordItem* AsStyleChange(CSWFItem* item)
{
    return item && item->GetClassID() == kClassID_CStyleChangeRecordItem ? static_cast<CStyleChangeRecordItem*>(item)
                                                                          : nullptr;
}

int WriteChild(CSWFObject* child, CSWFStream* stream)
{
    return child ? child->WriteSWF(stream) : 0;
}

} // namespace

uint8_t ReduceFillStyleType(uint8_t type)
{
    if (type == kFillFocalGradient)
        return kFillFocalGradient;
    if (type & kFillLinearGradient)
        return (type & (kFillRadialGradient & ~kFillLinearGradient)) ? kFillRadialGradient : kFillLinearGradient;
    if (type & kFillTiledBitmap)
        return (type & (kFillClippedBitmap & ~kFillTiledBitmap)) ? kFillClippedBitmap : kFillTiledBitmap;
    return kFillSolid;
}

// ---- CGradRecordItem, CGradRecordsItem, CGradientItem ----

CGradRecordItem::CGradRecordItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pColor(std::make_unique<CColorItem>(owner, style))
{ }

int CGradRecordItem::ReadSWF(CSWFStream* stream)
{
    m_Ratio = stream->GetU8();
    return m_pColor->ReadSWF(stream) && NoShortfall(stream) ? 1 : 0;
}

int CGradRecordItem::WriteSWF(CSWFStream* stream)
{
    return stream->WriteU8(m_Ratio) && m_pColor->WriteSWF(stream) ? 1 : 0;
}

void CGradRecordItem::SetItemStyle(unsigned char style)
{
    m_Style = style;
    m_pColor->SetItemStyle(style);
}

void CGradRecordItem::SetColor(const CColorItem* color)
{
    ReplaceChild(color, m_pOwner, m_Style, m_pColor);
}

int CGradRecordItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CGradRecordItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Ratio = m_Ratio;
    return CopyChild(m_pColor.get(), owner, copy->m_pColor);
}

void CGradRecordItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("ratio", m_Ratio);
    visitor.Child("color", m_pColor.get());
}

CGradRecordsItem::CGradRecordsItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsByteCount(owner, style)
{
    m_ItemClassID = kClassID_CGradRecordItem;
}

namespace {

constexpr uint8_t kGradientCountMask = 0x0F;
constexpr int kGradientModesShift = 4;

} // namespace

int CGradRecordsItem::ReadSWFItemsCount(CSWFStream* stream, unsigned long& count)
{
    uint8_t byte = 0;
    if (!stream->ReadU8(&byte))
        return 0;
    count = byte & kGradientCountMask;
    m_Modes = static_cast<uint8_t>(byte >> kGradientModesShift);
    return 1;
}

int CGradRecordsItem::WriteSWFItemsCount(CSWFStream* stream, unsigned long count)
{
    if (count > kGradientCountMask) {
        SWFDebugger.Add(this, kSWFErr_InvalidParameter, "gradient records", static_cast<long>(count),
                        kSWFType_Error);
        return 0;
    }
    return stream->WriteU8(static_cast<uint8_t>((m_Modes << kGradientModesShift) | count));
}

int CGradRecordsItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CSWFItemsByteCount::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CGradRecordsItem>(dest);
    if (!copy)
        return 0;
    copy->m_Modes = m_Modes;
    return 1;
}

void CGradRecordsItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItemsByteCount::DescribeFields(visitor);
    visitor.Int("modes", m_Modes);
}

CGradientItem::CGradientItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pGradRecords(std::make_unique<CGradRecordsItem>(owner, style))
{ }

CGradientItem::~CGradientItem() = default;

int CGradientItem::ReadSWF(CSWFStream* stream)
{
    m_pGradRecords->SetItemStyle(m_Style);
    return m_pGradRecords->ReadSWF(stream) && NoShortfall(stream) ? 1 : 0;
}

int CGradientItem::WriteSWF(CSWFStream* stream)
{
    return m_pGradRecords->WriteSWF(stream);
}

void CGradientItem::SetItemStyle(unsigned char style)
{
    m_Style = style;
    m_pGradRecords->SetItemStyle(style);
}

void CGradientItem::SetGradRecords(const CGradRecordsItem* records)
{
    ReplaceChild(records, m_pOwner, m_Style, m_pGradRecords);
}

int CGradientItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CGradientItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    return copy ? CopyChild(m_pGradRecords.get(), owner, copy->m_pGradRecords) : 0;
}

void CGradientItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Child("gradRecords", m_pGradRecords.get());
}

// ---- CFillGradientItem ----

CFillGradientItem::CFillGradientItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pMatrix(std::make_unique<CMatrixItem>(owner, style))
    , m_pGradient(std::make_unique<CGradientItem>(owner, style))
{ }

CFillGradientItem::~CFillGradientItem() = default;

int CFillGradientItem::ReadSWF(CSWFStream* stream)
{
    const int matrix = m_pMatrix->ReadSWF(stream);
    m_pGradient->SetItemStyle(m_Style);
    const int gradient = matrix && m_pGradient->ReadSWF(stream);
    return matrix && gradient && NoShortfall(stream) ? 1 : 0;
}

int CFillGradientItem::WriteSWF(CSWFStream* stream)
{
    return m_pMatrix->WriteSWF(stream) && m_pGradient->WriteSWF(stream) ? 1 : 0;
}

void CFillGradientItem::SetItemStyle(unsigned char style)
{
    m_Style = style;
    m_pMatrix->SetItemStyle(style);
    m_pGradient->SetItemStyle(style);
}

void CFillGradientItem::SetMatrix(const CMatrixItem* matrix)
{
    ReplaceChild(matrix, m_pOwner, m_Style, m_pMatrix);
}

void CFillGradientItem::SetGradient(const CGradientItem* gradient)
{
    ReplaceChild(gradient, m_pOwner, m_Style, m_pGradient);
}

int CFillGradientItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CFillGradientItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    return copy && CopyChild(m_pMatrix.get(), owner, copy->m_pMatrix)
            && CopyChild(m_pGradient.get(), owner, copy->m_pGradient)
        ? 1
        : 0;
}

void CFillGradientItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Child("matrix", m_pMatrix.get());
    visitor.Child("gradient", m_pGradient.get());
}

// ---- CFillBitMapItem ----

CFillBitMapItem::CFillBitMapItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pMatrix(std::make_unique<CMatrixItem>(owner, style))
{ }

CFillBitMapItem::~CFillBitMapItem() = default;

int CFillBitMapItem::ReadSWF(CSWFStream* stream)
{
    m_BitMapID = stream->GetU16();
    return m_pMatrix->ReadSWF(stream) && NoShortfall(stream) ? 1 : 0;
}

int CFillBitMapItem::WriteSWF(CSWFStream* stream)
{
    return stream->WriteU16(m_BitMapID) && m_pMatrix->WriteSWF(stream) ? 1 : 0;
}

void CFillBitMapItem::SetMatrix(const CMatrixItem* matrix)
{
    ReplaceChild(matrix, m_pOwner, m_Style, m_pMatrix);
}

int CFillBitMapItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CFillBitMapItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_BitMapID = m_BitMapID;
    return CopyChild(m_pMatrix.get(), owner, copy->m_pMatrix);
}

void CFillBitMapItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("bitmapID", m_BitMapID);
    visitor.Child("matrix", m_pMatrix.get());
}

// ---- CFillStyleItem, CFillStyleArrayItem ----

CFillStyleItem::CFillStyleItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pFillObject(std::make_unique<CColorItem>(owner, style))
{ }

CFillStyleItem::~CFillStyleItem() = default;

void CFillStyleItem::SetFillStyle(uint8_t type)
{
    if (type == m_FillStyleType && m_pFillObject)
        return;
    m_FillStyleType = ReduceFillStyleType(type);
    m_RawFillStyleType = 0;
    m_pFillObject = NewItem(FillClassFor(m_FillStyleType), m_pOwner, m_Style);
}

int CFillStyleItem::SetFillObject(const CSWFItem* object)
{
    if (!object || object->GetClassID() != FillClassFor(m_FillStyleType))
        return 0;
    ReplaceChild(object, m_pOwner, m_Style, m_pFillObject);
    return m_pFillObject ? 1 : 0;
}

int CFillStyleItem::ReadSWF(CSWFStream* stream)
{
    const uint8_t type = stream->GetU8();
    SetFillStyle(type);
    // A type byte beyond the five kinds is read as its kind and written back as it was.
    m_RawFillStyleType = type != m_FillStyleType ? type : 0;
    if (!m_pFillObject)
        return 0;
    m_pFillObject->SetItemStyle(m_Style);
    return m_pFillObject->ReadSWF(stream) && NoShortfall(stream) ? 1 : 0;
}

int CFillStyleItem::WriteSWF(CSWFStream* stream)
{
    const uint8_t type = m_RawFillStyleType != 0 ? m_RawFillStyleType : m_FillStyleType;
    return stream->WriteU8(type) && WriteChild(m_pFillObject.get(), stream) ? 1 : 0;
}

void CFillStyleItem::SetItemStyle(unsigned char style)
{
    m_Style = style;
    if (m_pFillObject)
        m_pFillObject->SetItemStyle(style);
}

int CFillStyleItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CFillStyleItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_FillStyleType = m_FillStyleType;
    copy->m_RawFillStyleType = m_RawFillStyleType;
    return CopyChild(m_pFillObject.get(), owner, copy->m_pFillObject);
}

void CFillStyleItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("fillStyleType", m_FillStyleType);
    visitor.Int("rawFillStyleType", m_RawFillStyleType);
    visitor.Child("fill", m_pFillObject.get());
}

CFillStyleArrayItem::CFillStyleArrayItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsByteWordCount(owner, style)
{
    m_ItemClassID = kClassID_CFillStyleItem;
}

// ---- CLineStyleItem, CLineStyleArrayItem ----

CLineStyleItem::CLineStyleItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pColor(std::make_unique<CColorItem>(owner, style))
{ }

CLineStyleItem::~CLineStyleItem() = default;

int CLineStyleItem::ReadSWF(CSWFStream* stream)
{
    m_Width = stream->GetU16();
    return m_pColor->ReadSWF(stream) && NoShortfall(stream) ? 1 : 0;
}

int CLineStyleItem::WriteSWF(CSWFStream* stream)
{
    return stream->WriteU16(m_Width) && m_pColor->WriteSWF(stream) ? 1 : 0;
}

void CLineStyleItem::SetItemStyle(unsigned char style)
{
    m_Style = style;
    m_pColor->SetItemStyle(style);
}

void CLineStyleItem::SetColor(const CColorItem* color)
{
    ReplaceChild(color, m_pOwner, m_Style, m_pColor);
}

int CLineStyleItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CLineStyleItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Width = m_Width;
    return CopyChild(m_pColor.get(), owner, copy->m_pColor);
}

void CLineStyleItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("width", m_Width);
    visitor.Child("color", m_pColor.get());
}

CLineStyleArrayItem::CLineStyleArrayItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsByteWordCount(owner, style)
{
    m_ItemClassID = style == kStyleShape4 ? kClassID_CLineStyle2Item : kClassID_CLineStyleItem;
}

void CLineStyleArrayItem::SetItemStyle(unsigned char style)
{
    CSWFItemsByteWordCount::SetItemStyle(style);
    m_ItemClassID = style == kStyleShape4 ? kClassID_CLineStyle2Item : kClassID_CLineStyleItem;
}

// ---- CFocalGradientItem ----

int CFocalGradientItem::ReadSWF(CSWFStream* stream)
{
    if (!CFillGradientItem::ReadSWF(stream))
        return 0;
    m_FocalPoint = stream->GetS16();
    return NoShortfall(stream) ? 1 : 0;
}

int CFocalGradientItem::WriteSWF(CSWFStream* stream)
{
    return CFillGradientItem::WriteSWF(stream) && stream->WriteS16(m_FocalPoint) ? 1 : 0;
}

int CFocalGradientItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CFocalGradientItem>(CFillGradientItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_FocalPoint = m_FocalPoint;
    return 1;
}

void CFocalGradientItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CFillGradientItem::DescribeFields(visitor);
    visitor.Real("focalPoint", GetFocalPoint());
}

// ---- CLineStyle2Item ----

CLineStyle2Item::CLineStyle2Item(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pColor(std::make_unique<CColorItem>(owner, kStyleRGBA))
{ }

CLineStyle2Item::~CLineStyle2Item() = default;

void CLineStyle2Item::SetHasFill(bool has)
{
    if (has) {
        m_pColor.reset();
        if (!m_pFillStyle)
            m_pFillStyle = std::make_unique<CFillStyleItem>(m_pOwner, m_Style);
    } else {
        m_pFillStyle.reset();
        if (!m_pColor)
            m_pColor = std::make_unique<CColorItem>(m_pOwner, kStyleRGBA);
    }
}

int CLineStyle2Item::ReadSWF(CSWFStream* stream)
{
    m_Width = stream->GetU16();
    m_StartCapStyle = static_cast<uint8_t>(stream->GetU(2));
    m_JoinStyle = static_cast<uint8_t>(stream->GetU(2));
    const bool hasFill = stream->GetBool();
    m_NoHScale = stream->GetBool();
    m_NoVScale = stream->GetBool();
    m_PixelHinting = stream->GetBool();
    m_Reserved = static_cast<uint8_t>(stream->GetU(5));
    m_NoClose = stream->GetBool();
    m_EndCapStyle = static_cast<uint8_t>(stream->GetU(2));
    stream->FlushBits();
    if (m_JoinStyle == kJoinMiter)
        m_MiterLimitFactor = stream->GetU16();
    if (!NoShortfall(stream))
        return 0;
    SetHasFill(hasFill);
    if (m_pFillStyle) {
        m_pFillStyle->SetItemStyle(m_Style);
        return m_pFillStyle->ReadSWF(stream) && NoShortfall(stream) ? 1 : 0;
    }
    return m_pColor->ReadSWF(stream) && NoShortfall(stream) ? 1 : 0;
}

int CLineStyle2Item::WriteSWF(CSWFStream* stream)
{
    const std::pair<uint32_t, unsigned char> fields[] = { { m_StartCapStyle, 2 }, { m_JoinStyle, 2 },
        { m_pFillStyle ? 1u : 0u, 1 }, { m_NoHScale, 1 }, { m_NoVScale, 1 }, { m_PixelHinting, 1 }, { m_Reserved, 5 },
        { m_NoClose, 1 }, { m_EndCapStyle, 2 } };
    if (!stream->WriteU16(m_Width))
        return 0;
    for (const auto& [value, bits] : fields) {
        if (!stream->WriteBits(value, bits))
            return 0;
    }
    stream->FlushBits();
    if (m_JoinStyle == kJoinMiter && !stream->WriteU16(m_MiterLimitFactor))
        return 0;
    if (m_pFillStyle)
        return m_pFillStyle->WriteSWF(stream);
    return WriteChild(m_pColor.get(), stream);
}

void CLineStyle2Item::SetItemStyle(unsigned char style)
{
    m_Style = style;
    if (m_pFillStyle)
        m_pFillStyle->SetItemStyle(style);
}

int CLineStyle2Item::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CLineStyle2Item>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_Width = m_Width;
    copy->m_StartCapStyle = m_StartCapStyle;
    copy->m_JoinStyle = m_JoinStyle;
    copy->m_NoHScale = m_NoHScale;
    copy->m_NoVScale = m_NoVScale;
    copy->m_PixelHinting = m_PixelHinting;
    copy->m_Reserved = m_Reserved;
    copy->m_NoClose = m_NoClose;
    copy->m_EndCapStyle = m_EndCapStyle;
    copy->m_MiterLimitFactor = m_MiterLimitFactor;
    return CopyChild(m_pColor.get(), owner, copy->m_pColor) && CopyChild(m_pFillStyle.get(), owner, copy->m_pFillStyle)
        ? 1
        : 0;
}

void CLineStyle2Item::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("width", m_Width);
    visitor.Int("startCapStyle", m_StartCapStyle);
    visitor.Int("joinStyle", m_JoinStyle);
    visitor.Int("noHScale", m_NoHScale);
    visitor.Int("noVScale", m_NoVScale);
    visitor.Int("pixelHinting", m_PixelHinting);
    visitor.Int("reserved", m_Reserved);
    visitor.Int("noClose", m_NoClose);
    visitor.Int("endCapStyle", m_EndCapStyle);
    visitor.Int("miterLimitFactor", m_MiterLimitFactor);
    visitor.Child("color", m_pColor.get());
    visitor.Child("fillStyle", m_pFillStyle.get());
}

// ---- Edges ----

int CStraightedEdgeRecordItem::ReadSWF(CSWFStream* stream)
{
    const auto n = static_cast<unsigned char>(stream->GetU(kEdgeBitsWidth) + kEdgeMinBits);
    m_NumBits = static_cast<int8_t>(n);
    if (stream->GetBool()) {
        m_Form = kFormGeneral;
        m_DeltaX = stream->GetS(n);
        m_DeltaY = stream->GetS(n);
    } else if (stream->GetBool()) {
        m_Form = kFormVertical;
        m_DeltaX = 0;
        m_DeltaY = stream->GetS(n);
    } else {
        m_Form = kFormHorizontal;
        m_DeltaX = stream->GetS(n);
        m_DeltaY = 0;
    }
    return NoShortfall(stream) ? 1 : 0;
}

int CStraightedEdgeRecordItem::WriteSWF(CSWFStream* stream)
{
    uint8_t form = m_Form;
    // A form read from the file is kept while it can carry the deltas.
    if ((form == kFormHorizontal && m_DeltaY != 0) || (form == kFormVertical && m_DeltaX != 0) || form > kFormVertical)
        form = kFormAuto;
    if (form == kFormAuto)
        form = m_DeltaX != 0 && m_DeltaY != 0 ? kFormGeneral : m_DeltaX != 0 ? kFormHorizontal : kFormVertical;
    int n = ChooseSignedBits(m_NumBits, { m_DeltaX, m_DeltaY }, kEdgeMaxBits);
    if (n < 0)
        return 0;
    n = std::max(n, kEdgeMinBits);
    const auto bits = static_cast<unsigned char>(n);
    if (!stream->WriteBits(static_cast<uint32_t>(n - kEdgeMinBits), kEdgeBitsWidth))
        return 0;
    switch (form) {
    case kFormGeneral:
        return stream->WriteBits(1, 1) && stream->WriteBits(static_cast<uint32_t>(m_DeltaX), bits)
                && stream->WriteBits(static_cast<uint32_t>(m_DeltaY), bits)
            ? 1
            : 0;
    case kFormVertical:
        return stream->WriteBits(0, 1) && stream->WriteBits(1, 1)
                && stream->WriteBits(static_cast<uint32_t>(m_DeltaY), bits)
            ? 1
            : 0;
    default:
        return stream->WriteBits(0, 1) && stream->WriteBits(0, 1)
                && stream->WriteBits(static_cast<uint32_t>(m_DeltaX), bits)
            ? 1
            : 0;
    }
}

int CStraightedEdgeRecordItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CStraightedEdgeRecordItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_DeltaX = m_DeltaX;
    copy->m_DeltaY = m_DeltaY;
    copy->m_NumBits = m_NumBits;
    copy->m_Form = m_Form;
    return 1;
}

void CStraightedEdgeRecordItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("deltaX", m_DeltaX);
    visitor.Int("deltaY", m_DeltaY);
    visitor.Int("numBits", m_NumBits);
    visitor.Int("form", m_Form);
}

int CCurvedEdgeRecordItem::ReadSWF(CSWFStream* stream)
{
    const auto n = static_cast<unsigned char>(stream->GetU(kEdgeBitsWidth) + kEdgeMinBits);
    m_NumBits = static_cast<int8_t>(n);
    m_ControlDeltaX = stream->GetS(n);
    m_ControlDeltaY = stream->GetS(n);
    m_AnchorDeltaX = stream->GetS(n);
    m_AnchorDeltaY = stream->GetS(n);
    return NoShortfall(stream) ? 1 : 0;
}

int CCurvedEdgeRecordItem::WriteSWF(CSWFStream* stream)
{
    int n = ChooseSignedBits(
        m_NumBits, { m_ControlDeltaX, m_ControlDeltaY, m_AnchorDeltaX, m_AnchorDeltaY }, kEdgeMaxBits);
    if (n < 0)
        return 0;
    n = std::max(n, kEdgeMinBits);
    const auto bits = static_cast<unsigned char>(n);
    return stream->WriteBits(static_cast<uint32_t>(n - kEdgeMinBits), kEdgeBitsWidth)
            && stream->WriteBits(static_cast<uint32_t>(m_ControlDeltaX), bits)
            && stream->WriteBits(static_cast<uint32_t>(m_ControlDeltaY), bits)
            && stream->WriteBits(static_cast<uint32_t>(m_AnchorDeltaX), bits)
            && stream->WriteBits(static_cast<uint32_t>(m_AnchorDeltaY), bits)
        ? 1
        : 0;
}

int CCurvedEdgeRecordItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CCurvedEdgeRecordItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_ControlDeltaX = m_ControlDeltaX;
    copy->m_ControlDeltaY = m_ControlDeltaY;
    copy->m_AnchorDeltaX = m_AnchorDeltaX;
    copy->m_AnchorDeltaY = m_AnchorDeltaY;
    copy->m_NumBits = m_NumBits;
    return 1;
}

void CCurvedEdgeRecordItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("controlDeltaX", m_ControlDeltaX);
    visitor.Int("controlDeltaY", m_ControlDeltaY);
    visitor.Int("anchorDeltaX", m_AnchorDeltaX);
    visitor.Int("anchorDeltaY", m_AnchorDeltaY);
    visitor.Int("numBits", m_NumBits);
}

// ---- CStyleChangeRecordItem ----

CStyleChangeRecordItem::CStyleChangeRecordItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
{ }

CStyleChangeRecordItem::~CStyleChangeRecordItem() = default;

bool CStyleChangeRecordItem::IsEmpty() const
{
    return !m_StateNewStyles && !m_StateLineStyle && !m_StateFillStyle1 && !m_StateFillStyle0 && !m_StateMoveTo;
}

void CStyleChangeRecordItem::SetEmpty()
{
    SetStateNewStyles(false);
    m_StateLineStyle = m_StateFillStyle1 = m_StateFillStyle0 = m_StateMoveTo = false;
}

void CStyleChangeRecordItem::SetStateNewStyles(bool on)
{
    m_StateNewStyles = on;
    if (!on) {
        m_pFillStyles.reset();
        m_pLineStyles.reset();
        return;
    }
    if (!m_pFillStyles)
        m_pFillStyles = std::make_unique<CFillStyleArrayItem>(m_pOwner, m_Style);
    if (!m_pLineStyles)
        m_pLineStyles = std::make_unique<CLineStyleArrayItem>(m_pOwner, m_Style);
}

void CStyleChangeRecordItem::SetFillStyles(const CFillStyleArrayItem* styles)
{
    if (!styles)
        return;
    SetStateNewStyles(true);
    ReplaceChild(styles, m_pOwner, m_Style, m_pFillStyles);
}

void CStyleChangeRecordItem::SetLineStyles(const CLineStyleArrayItem* styles)
{
    if (!styles)
        return;
    SetStateNewStyles(true);
    ReplaceChild(styles, m_pOwner, m_Style, m_pLineStyles);
}

void CStyleChangeRecordItem::SetItemStyle(unsigned char style)
{
    m_Style = style;
    if (m_pFillStyles)
        m_pFillStyles->SetItemStyle(style);
    if (m_pLineStyles)
        m_pLineStyles->SetItemStyle(style);
}

int CStyleChangeRecordItem::ReadSWF(CSWFStream* stream)
{
    SetStateNewStyles(stream->GetBool());
    m_StateLineStyle = stream->GetBool();
    m_StateFillStyle1 = stream->GetBool();
    m_StateFillStyle0 = stream->GetBool();
    m_StateMoveTo = stream->GetBool();
    if (IsEmpty()) {
        stream->FlushBits();
        return NoShortfall(stream) ? 1 : 0;
    }
    m_MoveBits = kBitsNotSet;
    if (m_StateMoveTo) {
        const auto n = static_cast<unsigned char>(stream->GetU(kMoveBitsWidth));
        m_MoveBits = static_cast<int8_t>(n);
        m_MoveDeltaX = stream->GetS(n);
        m_MoveDeltaY = stream->GetS(n);
    }
    if (m_StateFillStyle0)
        m_FillStyle0 = stream->GetU(m_NumFillBits);
    if (m_StateFillStyle1)
        m_FillStyle1 = stream->GetU(m_NumFillBits);
    if (m_StateLineStyle)
        m_LineStyle = stream->GetU(m_NumLineBits);
    int ok = 1;
    if (m_StateNewStyles) {
        stream->FlushBits();
        m_pFillStyles->SetItemStyle(m_Style);
        m_pLineStyles->SetItemStyle(m_Style);
        ok = m_pFillStyles->ReadSWF(stream) && m_pLineStyles->ReadSWF(stream);
        m_NewFillBits = static_cast<int8_t>(stream->GetU(kStyleBitsWidth));
        m_NewLineBits = static_cast<int8_t>(stream->GetU(kStyleBitsWidth));
    }
    return ok && NoShortfall(stream) ? 1 : 0;
}

int CStyleChangeRecordItem::WriteSWF(CSWFStream* stream)
{
    for (bool flag : { m_StateNewStyles && m_pFillStyles && m_pLineStyles, m_StateLineStyle, m_StateFillStyle1,
             m_StateFillStyle0, m_StateMoveTo }) {
        if (!stream->WriteBits(flag ? 1 : 0, 1))
            return 0;
    }
    if (IsEmpty()) {
        stream->FlushBits();
        return 1;
    }
    if (m_StateMoveTo) {
        const int n = ChooseSignedBits(m_MoveBits, { m_MoveDeltaX, m_MoveDeltaY }, kMoveMaxBits);
        if (n < 0 || !stream->WriteBits(static_cast<uint32_t>(n), kMoveBitsWidth)
            || !stream->WriteBits(static_cast<uint32_t>(m_MoveDeltaX), static_cast<unsigned char>(n))
            || !stream->WriteBits(static_cast<uint32_t>(m_MoveDeltaY), static_cast<unsigned char>(n)))
            return 0;
    }
    if (m_StateFillStyle0 && !stream->WriteBits(m_FillStyle0, m_NumFillBits))
        return 0;
    if (m_StateFillStyle1 && !stream->WriteBits(m_FillStyle1, m_NumFillBits))
        return 0;
    if (m_StateLineStyle && !stream->WriteBits(m_LineStyle, m_NumLineBits))
        return 0;
    if (m_StateNewStyles && m_pFillStyles && m_pLineStyles) {
        stream->FlushBits();
        if (!m_pFillStyles->WriteSWF(stream) || !m_pLineStyles->WriteSWF(stream))
            return 0;
        // The shape plans these before writing; a record written on its own takes the widths of its counts.
        if (m_NewFillBits < 0)
            m_NewFillBits
                = static_cast<int8_t>(std::min<unsigned>(UnsignedWidth(m_pFillStyles->GetItemCount()), kStyleMaxBits));
        if (m_NewLineBits < 0)
            m_NewLineBits
                = static_cast<int8_t>(std::min<unsigned>(UnsignedWidth(m_pLineStyles->GetItemCount()), kStyleMaxBits));
        if (!stream->WriteBits(static_cast<uint32_t>(m_NewFillBits), kStyleBitsWidth)
            || !stream->WriteBits(static_cast<uint32_t>(m_NewLineBits), kStyleBitsWidth))
            return 0;
    }
    return 1;
}

int CStyleChangeRecordItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CStyleChangeRecordItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_StateNewStyles = m_StateNewStyles;
    copy->m_StateLineStyle = m_StateLineStyle;
    copy->m_StateFillStyle1 = m_StateFillStyle1;
    copy->m_StateFillStyle0 = m_StateFillStyle0;
    copy->m_StateMoveTo = m_StateMoveTo;
    copy->m_MoveDeltaX = m_MoveDeltaX;
    copy->m_MoveDeltaY = m_MoveDeltaY;
    copy->m_FillStyle0 = m_FillStyle0;
    copy->m_FillStyle1 = m_FillStyle1;
    copy->m_LineStyle = m_LineStyle;
    copy->m_NumFillBits = m_NumFillBits;
    copy->m_NumLineBits = m_NumLineBits;
    copy->m_NewFillBits = m_NewFillBits;
    copy->m_NewLineBits = m_NewLineBits;
    copy->m_MoveBits = m_MoveBits;
    return CopyChild(m_pFillStyles.get(), owner, copy->m_pFillStyles)
            && CopyChild(m_pLineStyles.get(), owner, copy->m_pLineStyles)
        ? 1
        : 0;
}

void CStyleChangeRecordItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("stateNewStyles", m_StateNewStyles);
    visitor.Int("stateLineStyle", m_StateLineStyle);
    visitor.Int("stateFillStyle1", m_StateFillStyle1);
    visitor.Int("stateFillStyle0", m_StateFillStyle0);
    visitor.Int("stateMoveTo", m_StateMoveTo);
    visitor.Int("moveDeltaX", m_MoveDeltaX);
    visitor.Int("moveDeltaY", m_MoveDeltaY);
    visitor.Int("fillStyle0", m_FillStyle0);
    visitor.Int("fillStyle1", m_FillStyle1);
    visitor.Int("lineStyle", m_LineStyle);
    visitor.Child("fillStyles", m_pFillStyles.get());
    visitor.Child("lineStyles", m_pLineStyles.get());
    visitor.Int("numFillBits", m_NumFillBits);
    visitor.Int("numLineBits", m_NumLineBits);
    visitor.Int("newFillBits", m_NewFillBits);
    visitor.Int("newLineBits", m_NewLineBits);
    visitor.Int("moveBits", m_MoveBits);
}

// ---- CShapeItem ----

CShapeItem::CShapeItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsUnCountable(owner, style)
{
    m_ItemClassID = kClassID_CStyleChangeRecordItem;
}

int CShapeItem::ReadSWF(CSWFStream* stream)
{
    m_FillBits = static_cast<uint8_t>(stream->GetU(kStyleBitsWidth));
    m_LineBits = static_cast<uint8_t>(stream->GetU(kStyleBitsWidth));
    m_CurFillBits = m_FillBits;
    m_CurLineBits = m_LineBits;
    const int ok = CSWFItemsUnCountable::ReadSWF(stream);
    return ok && NoShortfall(stream) ? 1 : 0;
}

void CShapeItem::PlanStyleBits()
{
    // The style indexes of the records up to and including the first with new styles are written with the
    // shape's widths; those after a new-styles record with the widths it declares. A kept width serves while
    // the indexes fit it; otherwise the width follows the indexes used and, for a new-styles record, the number
    // of styles it brings.
    uint32_t maxFill = 0;
    uint32_t maxLine = 0;
    CStyleChangeRecordItem* declaring = nullptr;
    auto settle = [&]() {
        if (!declaring) {
            m_FillBits = static_cast<uint8_t>(std::max(0, ChooseUnsignedBits(m_FillBits, maxFill, kStyleMaxBits)));
            m_LineBits = static_cast<uint8_t>(std::max(0, ChooseUnsignedBits(m_LineBits, maxLine, kStyleMaxBits)));
            return;
        }
        const auto fillCount = static_cast<uint32_t>(declaring->m_pFillStyles->GetItemCount());
        const auto lineCount = static_cast<uint32_t>(declaring->m_pLineStyles->GetItemCount());
        const auto pick = [](int8_t kept, uint32_t largestIndex, uint32_t count) {
            if (kept >= 0 && kept <= kStyleMaxBits && FitsUnsigned(largestIndex, kept))
                return kept;
            const unsigned width = std::max(UnsignedWidth(count), UnsignedWidth(largestIndex));
            return static_cast<int8_t>(std::min<unsigned>(width, kStyleMaxBits));
        };
        declaring->m_NewFillBits = pick(declaring->m_NewFillBits, maxFill, fillCount);
        declaring->m_NewLineBits = pick(declaring->m_NewLineBits, maxLine, lineCount);
    };
    for (int i = 0; i < GetItemCount(); ++i) {
        auto* record = AsStyleChange(GetItem(i));
        if (!record)
            continue;
        if (record->m_StateFillStyle0)
            maxFill = std::max(maxFill, record->m_FillStyle0);
        if (record->m_StateFillStyle1)
            maxFill = std::max(maxFill, record->m_FillStyle1);
        if (record->m_StateLineStyle)
            maxLine = std::max(maxLine, record->m_LineStyle);
        if (record->m_StateNewStyles && record->m_pFillStyles && record->m_pLineStyles) {
            settle();
            declaring = record;
            maxFill = maxLine = 0;
        }
    }
    settle();
}

int CShapeItem::WriteSWF(CSWFStream* stream)
{
    PlanStyleBits();
    if (!stream->WriteBits(m_FillBits, kStyleBitsWidth) || !stream->WriteBits(m_LineBits, kStyleBitsWidth))
        return 0;
    m_CurFillBits = m_FillBits;
    m_CurLineBits = m_LineBits;
    return CSWFItemsUnCountable::WriteSWF(stream);
}

int CShapeItem::GetSWFItem(CSWFStream* stream, CSWFItem*& item, int)
{
    int classID = kClassID_CStyleChangeRecordItem;
    if (stream->GetBool())
        classID = stream->GetBool() ? kClassID_CStraightedEdgeRecordItem : kClassID_CCurvedEdgeRecordItem;
    return CSWFItemsUnCountable::GetSWFItem(stream, item, classID);
}

int CShapeItem::ItemReadSWF(CSWFStream* stream, CSWFItem* item)
{
    auto* record = AsStyleChange(item);
    if (record) {
        record->m_NumFillBits = m_CurFillBits;
        record->m_NumLineBits = m_CurLineBits;
    }
    const int ok = CSWFItemsUnCountable::ItemReadSWF(stream, item);
    if (record && record->m_StateNewStyles && record->m_NewFillBits >= 0) {
        m_CurFillBits = static_cast<uint8_t>(record->m_NewFillBits);
        m_CurLineBits = static_cast<uint8_t>(std::max<int8_t>(record->m_NewLineBits, 0));
    }
    return ok;
}

int CShapeItem::ItemWriteSWF(CSWFStream* stream, CSWFItem* item)
{
    auto* record = AsStyleChange(item);
    if (record) {
        record->m_NumFillBits = m_CurFillBits;
        record->m_NumLineBits = m_CurLineBits;
    }
    const int ok = CSWFItemsUnCountable::ItemWriteSWF(stream, item);
    if (record && record->m_StateNewStyles && record->m_NewFillBits >= 0) {
        m_CurFillBits = static_cast<uint8_t>(record->m_NewFillBits);
        m_CurLineBits = static_cast<uint8_t>(std::max<int8_t>(record->m_NewLineBits, 0));
    }
    return ok;
}

int CShapeItem::PostSWFItem(CSWFStream* stream, CSWFItem* item)
{
    if (!item)
        return 0;
    // Type bits: 0 for a style change; 1 then 1 (straight) or 0 (curved) for an edge.
    int ok = 1;
    switch (item->GetClassID()) {
    case kClassID_CStraightedEdgeRecordItem:
        ok = stream->WriteBits(1, 1) && stream->WriteBits(1, 1);
        break;
    case kClassID_CCurvedEdgeRecordItem:
        ok = stream->WriteBits(1, 1) && stream->WriteBits(0, 1);
        break;
    default:
        ok = stream->WriteBits(0, 1);
        break;
    }
    return ok ? ItemWriteSWF(stream, item) : 0;
}

bool CShapeItem::IsLastItem(CSWFItem* item)
{
    return item && item->GetClassID() == kClassID_CStyleChangeRecordItem && item->IsEmpty();
}

int CShapeItem::Add(int kind)
{
    int classID = kClassID_CStyleChangeRecordItem;
    if (kind == kShapeAddStraight)
        classID = kClassID_CStraightedEdgeRecordItem;
    else if (kind == kShapeAddCurved)
        classID = kClassID_CCurvedEdgeRecordItem;
    else if (kind != kShapeAddStyleChange)
        return 0;
    CSWFItem* item = nullptr;
    if (!CreateItem(item, classID))
        return 0;
    return AppendItem(std::unique_ptr<CSWFItem>(item));
}

int CShapeItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CShapeItem>(CSWFItemsUnCountable::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_FillBits = m_FillBits;
    copy->m_LineBits = m_LineBits;
    return 1;
}

void CShapeItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItemsUnCountable::DescribeFields(visitor);
    visitor.Int("fillBits", m_FillBits);
    visitor.Int("lineBits", m_LineBits);
}

// ---- CShapeWithStyleItem ----

CShapeWithStyleItem::CShapeWithStyleItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pFillStyles(std::make_unique<CFillStyleArrayItem>(owner, style))
    , m_pLineStyles(std::make_unique<CLineStyleArrayItem>(owner, style))
    , m_pShape(std::make_unique<CShapeItem>(owner, style))
{ }

CShapeWithStyleItem::~CShapeWithStyleItem() = default;

int CShapeWithStyleItem::ReadSWF(CSWFStream* stream)
{
    SetItemStyle(m_Style);
    if (!m_pFillStyles->ReadSWF(stream) || !m_pLineStyles->ReadSWF(stream))
        return 0;
    return m_pShape->ReadSWF(stream) && NoShortfall(stream) ? 1 : 0;
}

int CShapeWithStyleItem::WriteSWF(CSWFStream* stream)
{
    return m_pFillStyles->WriteSWF(stream) && m_pLineStyles->WriteSWF(stream) && m_pShape->WriteSWF(stream) ? 1 : 0;
}

void CShapeWithStyleItem::SetItemStyle(unsigned char style)
{
    m_Style = style;
    m_pFillStyles->SetItemStyle(style);
    m_pLineStyles->SetItemStyle(style);
    m_pShape->SetItemStyle(style);
}

void CShapeWithStyleItem::SetFillStyles(const CFillStyleArrayItem* styles)
{
    ReplaceChild(styles, m_pOwner, m_Style, m_pFillStyles);
}

void CShapeWithStyleItem::SetLineStyles(const CLineStyleArrayItem* styles)
{
    ReplaceChild(styles, m_pOwner, m_Style, m_pLineStyles);
}

void CShapeWithStyleItem::SetShape(const CShapeItem* shape)
{
    ReplaceChild(shape, m_pOwner, m_Style, m_pShape);
}

int CShapeWithStyleItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CShapeWithStyleItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    return copy && CopyChild(m_pFillStyles.get(), owner, copy->m_pFillStyles)
            && CopyChild(m_pLineStyles.get(), owner, copy->m_pLineStyles)
            && CopyChild(m_pShape.get(), owner, copy->m_pShape)
        ? 1
        : 0;
}

void CShapeWithStyleItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Child("fillStyles", m_pFillStyles.get());
    visitor.Child("lineStyles", m_pLineStyles.get());
    visitor.Child("shape", m_pShape.get());
}

CGlyphShapeTableItem::CGlyphShapeTableItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsDefineCountable(owner, style)
{
    m_ItemClassID = kClassID_CShapeItem;
}

// ---- Morph records ----

CMorphColorItem::CMorphColorItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pStartColor(std::make_unique<CColorItem>(owner, kStyleRGBA))
    , m_pEndColor(std::make_unique<CColorItem>(owner, kStyleRGBA))
{ }

CMorphColorItem::~CMorphColorItem() = default;

int CMorphColorItem::ReadSWF(CSWFStream* stream)
{
    return m_pStartColor->ReadSWF(stream) && m_pEndColor->ReadSWF(stream) ? 1 : 0;
}

int CMorphColorItem::WriteSWF(CSWFStream* stream)
{
    return m_pStartColor->WriteSWF(stream) && m_pEndColor->WriteSWF(stream) ? 1 : 0;
}

void CMorphColorItem::SetStartColor(const CColorItem* color)
{
    ReplaceChild(color, m_pOwner, kStyleRGBA, m_pStartColor);
}

void CMorphColorItem::SetEndColor(const CColorItem* color)
{
    ReplaceChild(color, m_pOwner, kStyleRGBA, m_pEndColor);
}

int CMorphColorItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CMorphColorItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    return copy && CopyChild(m_pStartColor.get(), owner, copy->m_pStartColor)
            && CopyChild(m_pEndColor.get(), owner, copy->m_pEndColor)
        ? 1
        : 0;
}

void CMorphColorItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Child("startColor", m_pStartColor.get());
    visitor.Child("endColor", m_pEndColor.get());
}

CMorphGradRecordItem::CMorphGradRecordItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pStartColor(std::make_unique<CColorItem>(owner, kStyleRGBA))
    , m_pEndColor(std::make_unique<CColorItem>(owner, kStyleRGBA))
{ }

CMorphGradRecordItem::~CMorphGradRecordItem() = default;

int CMorphGradRecordItem::ReadSWF(CSWFStream* stream)
{
    m_StartRatio = stream->GetU8();
    const int start = m_pStartColor->ReadSWF(stream);
    m_EndRatio = stream->GetU8();
    const int end = m_pEndColor->ReadSWF(stream);
    return start && end && NoShortfall(stream) ? 1 : 0;
}

int CMorphGradRecordItem::WriteSWF(CSWFStream* stream)
{
    return stream->WriteU8(m_StartRatio) && m_pStartColor->WriteSWF(stream) && stream->WriteU8(m_EndRatio)
            && m_pEndColor->WriteSWF(stream)
        ? 1
        : 0;
}

void CMorphGradRecordItem::SetStartColor(const CColorItem* color)
{
    ReplaceChild(color, m_pOwner, kStyleRGBA, m_pStartColor);
}

void CMorphGradRecordItem::SetEndColor(const CColorItem* color)
{
    ReplaceChild(color, m_pOwner, kStyleRGBA, m_pEndColor);
}

int CMorphGradRecordItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CMorphGradRecordItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_StartRatio = m_StartRatio;
    copy->m_EndRatio = m_EndRatio;
    return CopyChild(m_pStartColor.get(), owner, copy->m_pStartColor)
            && CopyChild(m_pEndColor.get(), owner, copy->m_pEndColor)
        ? 1
        : 0;
}

void CMorphGradRecordItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("startRatio", m_StartRatio);
    visitor.Child("startColor", m_pStartColor.get());
    visitor.Int("endRatio", m_EndRatio);
    visitor.Child("endColor", m_pEndColor.get());
}

CMorphGradientItem::CMorphGradientItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsByteCount(owner, style)
{
    m_ItemClassID = kClassID_CMorphGradRecordItem;
}

CMorphFillGradientItem::CMorphFillGradientItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pStartMatrix(std::make_unique<CMatrixItem>(owner, style))
    , m_pEndMatrix(std::make_unique<CMatrixItem>(owner, style))
    , m_pGradient(std::make_unique<CMorphGradientItem>(owner, kStyleRGBA))
{ }

CMorphFillGradientItem::~CMorphFillGradientItem() = default;

int CMorphFillGradientItem::ReadSWF(CSWFStream* stream)
{
    if (!m_pStartMatrix->ReadSWF(stream) || !m_pEndMatrix->ReadSWF(stream))
        return 0;
    return m_pGradient->ReadSWF(stream) && NoShortfall(stream) ? 1 : 0;
}

int CMorphFillGradientItem::WriteSWF(CSWFStream* stream)
{
    return m_pStartMatrix->WriteSWF(stream) && m_pEndMatrix->WriteSWF(stream) && m_pGradient->WriteSWF(stream) ? 1 : 0;
}

void CMorphFillGradientItem::SetStartMatrix(const CMatrixItem* matrix)
{
    ReplaceChild(matrix, m_pOwner, m_Style, m_pStartMatrix);
}

void CMorphFillGradientItem::SetEndMatrix(const CMatrixItem* matrix)
{
    ReplaceChild(matrix, m_pOwner, m_Style, m_pEndMatrix);
}

void CMorphFillGradientItem::SetGradient(const CMorphGradientItem* gradient)
{
    ReplaceChild(gradient, m_pOwner, kStyleRGBA, m_pGradient);
}

int CMorphFillGradientItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CMorphFillGradientItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    return copy && CopyChild(m_pStartMatrix.get(), owner, copy->m_pStartMatrix)
            && CopyChild(m_pEndMatrix.get(), owner, copy->m_pEndMatrix)
            && CopyChild(m_pGradient.get(), owner, copy->m_pGradient)
        ? 1
        : 0;
}

void CMorphFillGradientItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Child("startMatrix", m_pStartMatrix.get());
    visitor.Child("endMatrix", m_pEndMatrix.get());
    visitor.Child("gradient", m_pGradient.get());
}

CMorphFillBitMapItem::CMorphFillBitMapItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pStartMatrix(std::make_unique<CMatrixItem>(owner, style))
    , m_pEndMatrix(std::make_unique<CMatrixItem>(owner, style))
{ }

CMorphFillBitMapItem::~CMorphFillBitMapItem() = default;

int CMorphFillBitMapItem::ReadSWF(CSWFStream* stream)
{
    m_BitMapID = stream->GetU16();
    if (!m_pStartMatrix->ReadSWF(stream))
        return 0;
    return m_pEndMatrix->ReadSWF(stream) && NoShortfall(stream) ? 1 : 0;
}

int CMorphFillBitMapItem::WriteSWF(CSWFStream* stream)
{
    return stream->WriteU16(m_BitMapID) && m_pStartMatrix->WriteSWF(stream) && m_pEndMatrix->WriteSWF(stream) ? 1 : 0;
}

void CMorphFillBitMapItem::SetStartMatrix(const CMatrixItem* matrix)
{
    ReplaceChild(matrix, m_pOwner, m_Style, m_pStartMatrix);
}

void CMorphFillBitMapItem::SetEndMatrix(const CMatrixItem* matrix)
{
    ReplaceChild(matrix, m_pOwner, m_Style, m_pEndMatrix);
}

int CMorphFillBitMapItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CMorphFillBitMapItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_BitMapID = m_BitMapID;
    return CopyChild(m_pStartMatrix.get(), owner, copy->m_pStartMatrix)
            && CopyChild(m_pEndMatrix.get(), owner, copy->m_pEndMatrix)
        ? 1
        : 0;
}

void CMorphFillBitMapItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("bitmapID", m_BitMapID);
    visitor.Child("startMatrix", m_pStartMatrix.get());
    visitor.Child("endMatrix", m_pEndMatrix.get());
}

CMorphFillStyleItem::CMorphFillStyleItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pFillObject(std::make_unique<CMorphColorItem>(owner, kStyleRGBA))
{ }

CMorphFillStyleItem::~CMorphFillStyleItem() = default;

void CMorphFillStyleItem::SetFillStyle(uint8_t type)
{
    if (type == m_FillStyleType && m_pFillObject)
        return;
    m_FillStyleType = type;
    const int classID = MorphFillClassFor(type);
    m_pFillObject = classID == kClassID_UnknownObject ? nullptr : NewItem(classID, m_pOwner, kStyleRGBA);
}

int CMorphFillStyleItem::ReadSWF(CSWFStream* stream)
{
    SetFillStyle(stream->GetU8());
    if (!m_pFillObject) {
        SWFDebugger.Add(this, kSWFErr_InvalidParameter, "FillStyle", m_FillStyleType, kSWFType_Internal);
        return 0;
    }
    return m_pFillObject->ReadSWF(stream) && NoShortfall(stream) ? 1 : 0;
}

int CMorphFillStyleItem::WriteSWF(CSWFStream* stream)
{
    return stream->WriteU8(m_FillStyleType) && WriteChild(m_pFillObject.get(), stream) ? 1 : 0;
}

int CMorphFillStyleItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CMorphFillStyleItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_FillStyleType = m_FillStyleType;
    return CopyChild(m_pFillObject.get(), owner, copy->m_pFillObject);
}

void CMorphFillStyleItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("fillStyleType", m_FillStyleType);
    visitor.Child("fill", m_pFillObject.get());
}

CMorphFillStylesItem::CMorphFillStylesItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsByteWordCount(owner, style)
{
    m_ItemClassID = kClassID_CMorphFillStyleItem;
}

CMorphLineStyleItem::CMorphLineStyleItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pStartColor(std::make_unique<CColorItem>(owner, kStyleRGBA))
    , m_pEndColor(std::make_unique<CColorItem>(owner, kStyleRGBA))
{ }

CMorphLineStyleItem::~CMorphLineStyleItem() = default;

int CMorphLineStyleItem::ReadSWF(CSWFStream* stream)
{
    m_StartWidth = stream->GetU16();
    m_EndWidth = stream->GetU16();
    return m_pStartColor->ReadSWF(stream) && m_pEndColor->ReadSWF(stream) && NoShortfall(stream) ? 1 : 0;
}

int CMorphLineStyleItem::WriteSWF(CSWFStream* stream)
{
    return stream->WriteU16(m_StartWidth) && stream->WriteU16(m_EndWidth) && m_pStartColor->WriteSWF(stream)
            && m_pEndColor->WriteSWF(stream)
        ? 1
        : 0;
}

void CMorphLineStyleItem::SetStartColor(const CColorItem* color)
{
    ReplaceChild(color, m_pOwner, kStyleRGBA, m_pStartColor);
}

void CMorphLineStyleItem::SetEndColor(const CColorItem* color)
{
    ReplaceChild(color, m_pOwner, kStyleRGBA, m_pEndColor);
}

int CMorphLineStyleItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CMorphLineStyleItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_StartWidth = m_StartWidth;
    copy->m_EndWidth = m_EndWidth;
    return CopyChild(m_pStartColor.get(), owner, copy->m_pStartColor)
            && CopyChild(m_pEndColor.get(), owner, copy->m_pEndColor)
        ? 1
        : 0;
}

void CMorphLineStyleItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("startWidth", m_StartWidth);
    visitor.Int("endWidth", m_EndWidth);
    visitor.Child("startColor", m_pStartColor.get());
    visitor.Child("endColor", m_pEndColor.get());
}

CMorphLineStylesItem::CMorphLineStylesItem(CSWFObject* owner, unsigned char style)
    : CSWFItemsByteWordCount(owner, style)
{
    m_ItemClassID = kClassID_CMorphLineStyleItem;
}

// ---- CMorphLineStyle2Item ----

CMorphLineStyle2Item::CMorphLineStyle2Item(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style)
    , m_pStartColor(std::make_unique<CColorItem>(owner, kStyleRGBA))
    , m_pEndColor(std::make_unique<CColorItem>(owner, kStyleRGBA))
{ }

CMorphLineStyle2Item::~CMorphLineStyle2Item() = default;

void CMorphLineStyle2Item::SetHasFill(bool has)
{
    if (has) {
        m_pStartColor.reset();
        m_pEndColor.reset();
        if (!m_pFillStyle)
            m_pFillStyle = std::make_unique<CMorphFillStyleItem>(m_pOwner, kStyleRGBA);
    } else {
        m_pFillStyle.reset();
        if (!m_pStartColor)
            m_pStartColor = std::make_unique<CColorItem>(m_pOwner, kStyleRGBA);
        if (!m_pEndColor)
            m_pEndColor = std::make_unique<CColorItem>(m_pOwner, kStyleRGBA);
    }
}

int CMorphLineStyle2Item::ReadSWF(CSWFStream* stream)
{
    m_StartWidth = stream->GetU16();
    m_EndWidth = stream->GetU16();
    m_StartCapStyle = static_cast<uint8_t>(stream->GetU(2));
    m_JoinStyle = static_cast<uint8_t>(stream->GetU(2));
    const bool hasFill = stream->GetBool();
    m_NoHScale = stream->GetBool();
    m_NoVScale = stream->GetBool();
    m_PixelHinting = stream->GetBool();
    m_Reserved = static_cast<uint8_t>(stream->GetU(5));
    m_NoClose = stream->GetBool();
    m_EndCapStyle = static_cast<uint8_t>(stream->GetU(2));
    stream->FlushBits();
    if (m_JoinStyle == CLineStyle2Item::kJoinMiter)
        m_MiterLimitFactor = stream->GetU16();
    if (!NoShortfall(stream))
        return 0;
    SetHasFill(hasFill);
    if (m_pFillStyle)
        return m_pFillStyle->ReadSWF(stream) && NoShortfall(stream) ? 1 : 0;
    return m_pStartColor->ReadSWF(stream) && m_pEndColor->ReadSWF(stream) && NoShortfall(stream) ? 1 : 0;
}

int CMorphLineStyle2Item::WriteSWF(CSWFStream* stream)
{
    const std::pair<uint32_t, unsigned char> fields[] = { { m_StartCapStyle, 2 }, { m_JoinStyle, 2 },
        { m_pFillStyle ? 1u : 0u, 1 }, { m_NoHScale, 1 }, { m_NoVScale, 1 }, { m_PixelHinting, 1 }, { m_Reserved, 5 },
        { m_NoClose, 1 }, { m_EndCapStyle, 2 } };
    if (!stream->WriteU16(m_StartWidth) || !stream->WriteU16(m_EndWidth))
        return 0;
    for (const auto& [value, bits] : fields) {
        if (!stream->WriteBits(value, bits))
            return 0;
    }
    stream->FlushBits();
    if (m_JoinStyle == CLineStyle2Item::kJoinMiter && !stream->WriteU16(m_MiterLimitFactor))
        return 0;
    if (m_pFillStyle)
        return m_pFillStyle->WriteSWF(stream);
    return WriteChild(m_pStartColor.get(), stream) && WriteChild(m_pEndColor.get(), stream) ? 1 : 0;
}

int CMorphLineStyle2Item::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CMorphLineStyle2Item>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_StartWidth = m_StartWidth;
    copy->m_EndWidth = m_EndWidth;
    copy->m_StartCapStyle = m_StartCapStyle;
    copy->m_JoinStyle = m_JoinStyle;
    copy->m_NoHScale = m_NoHScale;
    copy->m_NoVScale = m_NoVScale;
    copy->m_PixelHinting = m_PixelHinting;
    copy->m_Reserved = m_Reserved;
    copy->m_NoClose = m_NoClose;
    copy->m_EndCapStyle = m_EndCapStyle;
    copy->m_MiterLimitFactor = m_MiterLimitFactor;
    return CopyChild(m_pStartColor.get(), owner, copy->m_pStartColor)
            && CopyChild(m_pEndColor.get(), owner, copy->m_pEndColor)
            && CopyChild(m_pFillStyle.get(), owner, copy->m_pFillStyle)
        ? 1
        : 0;
}

void CMorphLineStyle2Item::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("startWidth", m_StartWidth);
    visitor.Int("endWidth", m_EndWidth);
    visitor.Int("startCapStyle", m_StartCapStyle);
    visitor.Int("joinStyle", m_JoinStyle);
    visitor.Int("noHScale", m_NoHScale);
    visitor.Int("noVScale", m_NoVScale);
    visitor.Int("pixelHinting", m_PixelHinting);
    visitor.Int("reserved", m_Reserved);
    visitor.Int("noClose", m_NoClose);
    visitor.Int("endCapStyle", m_EndCapStyle);
    visitor.Int("miterLimitFactor", m_MiterLimitFactor);
    visitor.Child("startColor", m_pStartColor.get());
    visitor.Child("endColor", m_pEndColor.get());
    visitor.Child("fillStyle", m_pFillStyle.get());
}

// ---- CMorphFocalGradientItem ----

int CMorphFocalGradientItem::ReadSWF(CSWFStream* stream)
{
    if (!CMorphFillGradientItem::ReadSWF(stream))
        return 0;
    m_StartFocalPoint = stream->GetS16();
    m_EndFocalPoint = stream->GetS16();
    return NoShortfall(stream) ? 1 : 0;
}

int CMorphFocalGradientItem::WriteSWF(CSWFStream* stream)
{
    return CMorphFillGradientItem::WriteSWF(stream) && stream->WriteS16(m_StartFocalPoint)
            && stream->WriteS16(m_EndFocalPoint)
        ? 1
        : 0;
}

int CMorphFocalGradientItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CMorphFocalGradientItem>(CMorphFillGradientItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_StartFocalPoint = m_StartFocalPoint;
    copy->m_EndFocalPoint = m_EndFocalPoint;
    return 1;
}

void CMorphFocalGradientItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CMorphFillGradientItem::DescribeFields(visitor);
    visitor.Real("startFocalPoint", m_StartFocalPoint / 256.0);
    visitor.Real("endFocalPoint", m_EndFocalPoint / 256.0);
}
