// Records: the structures inside tag bodies (matrices, colour transforms, shapes and their styles, morph styles,
// text records, font tables, sound parameters, bitmap data, button records, clip actions, assets). Each reads
// and writes itself from the current position of a tag body, bit-packed as the SWF format lays it out, under the
// style its tag gives it (colours carry alpha only under style 3).
//
// Where a record's layout leaves an encoding choice (the width of a bit field, the form of a straight edge, an
// optional part written although it holds default values), the reader keeps the choice it met and the writer
// makes it again while the values still fit, so that a movie read and written back keeps its bytes. Records made
// from scratch get the smallest widths.
#pragma once

#include "Actions.h"
#include "Collections.h"
#include "Filters.h"
#include "HeaderItems.h"
#include "SWFObject.h"

#include <cstdint>
#include <memory>
#include <vector>

// Style bytes the records give a meaning to, beyond those of SWFObject.h.
inline constexpr unsigned char kStyleShape1 = 1; // DefineShape: RGB colours, style counts of one byte
inline constexpr unsigned char kStyleShape2 = 2; // DefineShape2: RGB colours, extended style counts
inline constexpr unsigned char kStyleButton2 = 6; // button records of DefineButton2: with a colour transform

// Width of a bit field not fixed yet: the writer chooses the smallest that holds the values.
inline constexpr int8_t kBitsNotSet = -1;

// Adds 0.5 (subtracts 0.5 for values not above 0), then truncates toward zero.
long Round(float value);
// The decompressed size of lossless bitmap data.
unsigned long CalculateBitMapSize(
    unsigned char format, unsigned long width, unsigned long height, unsigned char colorTableSize, bool alpha);
// The size of uncompressed sound data of `count` samples; 0 for the compressed formats.
unsigned long CalculateSoundSize(
    unsigned char format, unsigned char rate, unsigned char size, unsigned char type, unsigned long count);

// ---- Transforms ----

// MATRIX: optional scale and rotate-skew pairs in 16.16 fixed point, then the translation in twips.
class CMatrixItem : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CMatrixItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    bool IsEmpty() const override { return !GetHasScale() && !GetHasRotate() && !m_TranslateX && !m_TranslateY; }
    void SetEmpty() override;

    bool GetHasScale() const { return m_ScaleX != 1.0f || m_ScaleY != 1.0f; }
    bool GetHasRotate() const { return m_RotateSkew0 != 0.0f || m_RotateSkew1 != 0.0f; }

    float m_ScaleX = 1.0f;
    float m_ScaleY = 1.0f;
    float m_RotateSkew0 = 0.0f;
    float m_RotateSkew1 = 0.0f;
    int32_t m_TranslateX = 0;
    int32_t m_TranslateY = 0;
    // Widths read (kBitsNotSet: the part was absent or the matrix was made here).
    int8_t m_ScaleBits = kBitsNotSet;
    int8_t m_RotateBits = kBitsNotSet;
    int8_t m_TranslateBits = kBitsNotSet;
};

// CXFORM / CXFORMWITHALPHA: multiply and add terms. Multiply terms of 1 everywhere stand for "no multiply terms".
class CCXFormItem : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CCXFormItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    bool IsEmpty() const override { return !GetHasAddTerms() && !GetHasMultTerms(); }
    void SetEmpty() override;

    bool GetHasAddTerms() const;
    bool GetHasMultTerms() const;
    void SetHasAlpha(bool hasAlpha) { m_HasAlpha = hasAlpha; }

    bool m_HasAlpha = false;
    int32_t m_RedAddTerm = 0;
    int32_t m_GreenAddTerm = 0;
    int32_t m_BlueAddTerm = 0;
    int32_t m_AlphaAddTerm = 0;
    int32_t m_RedMultTerm = 1;
    int32_t m_GreenMultTerm = 1;
    int32_t m_BlueMultTerm = 1;
    int32_t m_AlphaMultTerm = 1;
    // As read: the flags (a part written with neutral values is written again) and the width of the terms.
    bool m_AddTermsRead = false;
    bool m_MultTermsRead = false;
    int8_t m_TermBits = kBitsNotSet;
};

// ---- Fill and line styles ----

class CGradRecordsItem;
class CFillStyleArrayItem;
class CLineStyleArrayItem;

// GRADRECORD: a ratio and a colour (RGBA under style 3).
class CGradRecordItem : public CSWFItem
{
public:
    CGradRecordItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CGradRecordItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    void SetItemStyle(unsigned char style) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetColor(const CColorItem* color);

    uint8_t m_Ratio = 0;
    std::unique_ptr<CColorItem> m_pColor;
};

// The gradient records, preceded by their count byte. From version 8 on, the count takes the low four bits of
// that byte and the spread and interpolation modes the high four; older movies leave them zero. The high bits
// are kept as read and written back.
class CGradRecordsItem : public CSWFItemsByteCount
{
public:
    CGradRecordsItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CGradRecordsItem; }
    int ReadSWFItemsCount(CSWFStream* stream, unsigned long& count) override;
    int WriteSWFItemsCount(CSWFStream* stream, unsigned long count) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint8_t m_Modes = 0; // spread mode (2 bits) and interpolation mode (2 bits)
};

// GRADIENT: the gradient records.
class CGradientItem : public CSWFItem
{
public:
    CGradientItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CGradientItem() override;
    int GetClassID() const override { return kClassID_CGradientItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    void SetItemStyle(unsigned char style) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetGradRecords(const CGradRecordsItem* records);

    std::unique_ptr<CGradRecordsItem> m_pGradRecords;
};

// A gradient fill: its matrix and gradient. Linear and radial fills share the layout.
class CFillGradientItem : public CSWFItem
{
public:
    CFillGradientItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CFillGradientItem() override;
    int GetClassID() const override { return kClassID_CFillGradientItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    void SetItemStyle(unsigned char style) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetMatrix(const CMatrixItem* matrix);
    void SetGradient(const CGradientItem* gradient);

    std::unique_ptr<CMatrixItem> m_pMatrix;
    std::unique_ptr<CGradientItem> m_pGradient;
};

class CLinearGradientItem : public CFillGradientItem
{
public:
    using CFillGradientItem::CFillGradientItem;
    int GetClassID() const override { return kClassID_CLinearGradientItem; }
};

class CRadialGradientItem : public CFillGradientItem
{
public:
    using CFillGradientItem::CFillGradientItem;
    int GetClassID() const override { return kClassID_CRadialGradientItem; }
};

// A bitmap fill: the bitmap's character ID and its matrix. Tiled and clipped fills share the layout.
class CFillBitMapItem : public CSWFItem
{
public:
    CFillBitMapItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CFillBitMapItem() override;
    int GetClassID() const override { return kClassID_CFillBitMapItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetMatrix(const CMatrixItem* matrix);

    uint16_t m_BitMapID = 0;
    std::unique_ptr<CMatrixItem> m_pMatrix;
};

class CTiledBitMapItem : public CFillBitMapItem
{
public:
    using CFillBitMapItem::CFillBitMapItem;
    int GetClassID() const override { return kClassID_CTiledBitMapItem; }
};

class CClippedBitMapItem : public CFillBitMapItem
{
public:
    using CFillBitMapItem::CFillBitMapItem;
    int GetClassID() const override { return kClassID_CClippedBitMapItem; }
};

// Fill style types. Any other type byte is taken as one of these by its bits (ReduceFillStyleType).
inline constexpr uint8_t kFillSolid = 0x00;
inline constexpr uint8_t kFillLinearGradient = 0x10;
inline constexpr uint8_t kFillRadialGradient = 0x12;
inline constexpr uint8_t kFillFocalGradient = 0x13; // shapes of DefineShape4 only
inline constexpr uint8_t kFillTiledBitmap = 0x40;
inline constexpr uint8_t kFillClippedBitmap = 0x41;
uint8_t ReduceFillStyleType(uint8_t type);

// FILLSTYLE: the type byte and the fill object of its kind.
class CFillStyleItem : public CSWFItem
{
public:
    CFillStyleItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CFillStyleItem() override;
    int GetClassID() const override { return kClassID_CFillStyleItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    void SetItemStyle(unsigned char style) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    // Stores the type reduced to one of the six kinds; a new kind gets a blank fill object of its class.
    void SetFillStyle(uint8_t type);
    uint8_t GetFillStyle() const { return m_FillStyleType; }
    // The fill object: a CColorItem, CLinearGradientItem, CRadialGradientItem, CFocalGradientItem,
    // CTiledBitMapItem or CClippedBitMapItem as the type says.
    CSWFItem* GetFillObject() const { return m_pFillObject.get(); }
    // Copies `object` in as the fill object; it must be of the class the type asks for.
    int SetFillObject(const CSWFItem* object);

    uint8_t m_FillStyleType = kFillSolid;
    std::unique_ptr<CSWFItem> m_pFillObject;
    // The type byte as the file had it, when it was not one of the six kinds (0 otherwise): written back as it
    // was, so that variants such as non-smoothed bitmap fills survive.
    uint8_t m_RawFillStyleType = 0;
};

class CFillStyleArrayItem : public CSWFItemsByteWordCount
{
public:
    CFillStyleArrayItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CFillStyleArrayItem; }
};

// LINESTYLE: width in twips and colour.
class CLineStyleItem : public CSWFItem
{
public:
    CLineStyleItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CLineStyleItem() override;
    int GetClassID() const override { return kClassID_CLineStyleItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    void SetItemStyle(unsigned char style) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetColor(const CColorItem* color);

    uint16_t m_Width = 0;
    std::unique_ptr<CColorItem> m_pColor;
};

// FOCALGRADIENT (fill type 0x13): a radial gradient whose focal point moves along the horizontal axis.
class CFocalGradientItem : public CFillGradientItem
{
public:
    using CFillGradientItem::CFillGradientItem;
    int GetClassID() const override { return kClassID_CFocalGradientItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    double GetFocalPoint() const { return m_FocalPoint / 256.0; }

    int16_t m_FocalPoint = 0; // 8.8 fixed point, -1 to 1
};

// LINESTYLE2 (DefineShape4): width, cap and join styles, scaling flags, and a colour or a fill style.
class CLineStyle2Item : public CSWFItem
{
public:
    CLineStyle2Item(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CLineStyle2Item() override;
    int GetClassID() const override { return kClassID_CLineStyle2Item; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    void SetItemStyle(unsigned char style) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    // Creates the fill style (and drops the colour) or the other way round.
    void SetHasFill(bool has);

    enum Cap : uint8_t { kCapRound = 0, kCapNone = 1, kCapSquare = 2 };
    enum Join : uint8_t { kJoinRound = 0, kJoinBevel = 1, kJoinMiter = 2 };

    uint16_t m_Width = 0;
    uint8_t m_StartCapStyle = kCapRound; // 2 bits
    uint8_t m_JoinStyle = kJoinRound;    // 2 bits
    bool m_NoHScale = false;
    bool m_NoVScale = false;
    bool m_PixelHinting = false;
    uint8_t m_Reserved = 0; // 5 bits
    bool m_NoClose = false;
    uint8_t m_EndCapStyle = kCapRound; // 2 bits
    uint16_t m_MiterLimitFactor = 0;   // 8.8, with the miter join only
    std::unique_ptr<CColorItem> m_pColor;         // without a fill
    std::unique_ptr<CFillStyleItem> m_pFillStyle; // with a fill
};

// The line styles of a shape: LINESTYLE records, or LINESTYLE2 records under the DefineShape4 style.
class CLineStyleArrayItem : public CSWFItemsByteWordCount
{
public:
    CLineStyleArrayItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CLineStyleArrayItem; }
    void SetItemStyle(unsigned char style) override;
};

// ---- Shapes ----

// STRAIGHTEDGERECORD (the two type bits are the shape's business).
class CStraightedEdgeRecordItem : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CStraightedEdgeRecordItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    // How the edge was or will be written: general (both deltas), horizontal (X only) or vertical (Y only).
    enum Form : uint8_t { kFormAuto = 0, kFormGeneral = 1, kFormHorizontal = 2, kFormVertical = 3 };

    int32_t m_DeltaX = 0;
    int32_t m_DeltaY = 0;
    int8_t m_NumBits = kBitsNotSet; // the width of the deltas, as read
    uint8_t m_Form = kFormAuto;
};

// CURVEDEDGERECORD (the two type bits are the shape's business).
class CCurvedEdgeRecordItem : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CCurvedEdgeRecordItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    int32_t m_ControlDeltaX = 0;
    int32_t m_ControlDeltaY = 0;
    int32_t m_AnchorDeltaX = 0;
    int32_t m_AnchorDeltaY = 0;
    int8_t m_NumBits = kBitsNotSet;
};

// STYLECHANGERECORD (its type bit is the shape's business); all five flags clear is the end-of-shape record.
class CStyleChangeRecordItem : public CSWFItem
{
public:
    CStyleChangeRecordItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CStyleChangeRecordItem() override;
    int GetClassID() const override { return kClassID_CStyleChangeRecordItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    void SetItemStyle(unsigned char style) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    bool IsEmpty() const override;
    void SetEmpty() override;

    // Creates or deletes the new fill and line style arrays.
    void SetStateNewStyles(bool on);
    void SetFillStyles(const CFillStyleArrayItem* styles);
    void SetLineStyles(const CLineStyleArrayItem* styles);

    bool m_StateNewStyles = false;
    bool m_StateLineStyle = false;
    bool m_StateFillStyle1 = false;
    bool m_StateFillStyle0 = false;
    bool m_StateMoveTo = false;
    int32_t m_MoveDeltaX = 0;
    int32_t m_MoveDeltaY = 0;
    uint32_t m_FillStyle0 = 0;
    uint32_t m_FillStyle1 = 0;
    uint32_t m_LineStyle = 0;
    std::unique_ptr<CFillStyleArrayItem> m_pFillStyles;
    std::unique_ptr<CLineStyleArrayItem> m_pLineStyles;
    // The widths of the style indexes in force for this record, handed over by the shape.
    uint8_t m_NumFillBits = 0;
    uint8_t m_NumLineBits = 0;
    // The widths a new-styles block declares for the records after it (kept as read; chosen when written).
    int8_t m_NewFillBits = kBitsNotSet;
    int8_t m_NewLineBits = kBitsNotSet;
    int8_t m_MoveBits = kBitsNotSet;
};

// SHAPE: the widths of the style indexes, then edge and style-change records up to the end-of-shape record.
class CShapeItem : public CSWFItemsUnCountable
{
public:
    CShapeItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CShapeItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    int ItemReadSWF(CSWFStream* stream, CSWFItem* item) override;
    int ItemWriteSWF(CSWFStream* stream, CSWFItem* item) override;
    int GetSWFItem(CSWFStream* stream, CSWFItem*& item, int classID) override;
    int PostSWFItem(CSWFStream* stream, CSWFItem* item) override;
    bool IsLastItem(CSWFItem* item) override;
    // 0 appends a style-change record, 1 a straight edge, 2 a curved edge; the new index.
    int Add(int kind) override;

    uint8_t m_FillBits = 0;
    uint8_t m_LineBits = 0;

private:
    // Chooses the widths every style-change record will be written with (see WriteSWF).
    void PlanStyleBits();
    // The widths in force while the records are read or written.
    uint8_t m_CurFillBits = 0;
    uint8_t m_CurLineBits = 0;
};

// SHAPEWITHSTYLE: fill styles, line styles and the shape.
class CShapeWithStyleItem : public CSWFItem
{
public:
    CShapeWithStyleItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CShapeWithStyleItem() override;
    int GetClassID() const override { return kClassID_CShapeWithStyleItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    void SetItemStyle(unsigned char style) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetFillStyles(const CFillStyleArrayItem* styles);
    void SetLineStyles(const CLineStyleArrayItem* styles);
    void SetShape(const CShapeItem* shape);

    std::unique_ptr<CFillStyleArrayItem> m_pFillStyles;
    std::unique_ptr<CLineStyleArrayItem> m_pLineStyles;
    std::unique_ptr<CShapeItem> m_pShape;
};

// The glyph shapes of a font, as many as the font tag says.
class CGlyphShapeTableItem : public CSWFItemsDefineCountable
{
public:
    CGlyphShapeTableItem(CSWFObject* owner = nullptr, unsigned char style = kStyleRGBA);
    int GetClassID() const override { return kClassID_CGlyphShapeTableItem; }
};

// ---- Morph styles ----

class CMorphGradientItem;

// A start and an end colour, both RGBA.
class CMorphColorItem : public CSWFItem
{
public:
    CMorphColorItem(CSWFObject* owner = nullptr, unsigned char style = kStyleRGBA);
    ~CMorphColorItem() override;
    int GetClassID() const override { return kClassID_CMorphColorItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetStartColor(const CColorItem* color);
    void SetEndColor(const CColorItem* color);

    std::unique_ptr<CColorItem> m_pStartColor;
    std::unique_ptr<CColorItem> m_pEndColor;
};

// MORPHGRADRECORD: start ratio and colour, end ratio and colour.
class CMorphGradRecordItem : public CSWFItem
{
public:
    CMorphGradRecordItem(CSWFObject* owner = nullptr, unsigned char style = kStyleRGBA);
    ~CMorphGradRecordItem() override;
    int GetClassID() const override { return kClassID_CMorphGradRecordItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetStartColor(const CColorItem* color);
    void SetEndColor(const CColorItem* color);

    uint8_t m_StartRatio = 0;
    std::unique_ptr<CColorItem> m_pStartColor;
    uint8_t m_EndRatio = 0;
    std::unique_ptr<CColorItem> m_pEndColor;
};

// MORPHGRADIENT: the morph gradient records, preceded by their count byte.
class CMorphGradientItem : public CSWFItemsByteCount
{
public:
    CMorphGradientItem(CSWFObject* owner = nullptr, unsigned char style = kStyleRGBA);
    int GetClassID() const override { return kClassID_CMorphGradientItem; }
};

// A morph gradient fill: start matrix, end matrix, gradient.
class CMorphFillGradientItem : public CSWFItem
{
public:
    CMorphFillGradientItem(CSWFObject* owner = nullptr, unsigned char style = kStyleRGBA);
    ~CMorphFillGradientItem() override;
    int GetClassID() const override { return kClassID_CMorphFillGradientItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetStartMatrix(const CMatrixItem* matrix);
    void SetEndMatrix(const CMatrixItem* matrix);
    void SetGradient(const CMorphGradientItem* gradient);

    std::unique_ptr<CMatrixItem> m_pStartMatrix;
    std::unique_ptr<CMatrixItem> m_pEndMatrix;
    std::unique_ptr<CMorphGradientItem> m_pGradient;
};

// A morph focal gradient (fill type 0x13, DefineMorphShape2): the morph gradient and the focal point at the
// start and at the end of the morph.
class CMorphFocalGradientItem : public CMorphFillGradientItem
{
public:
    using CMorphFillGradientItem::CMorphFillGradientItem;
    int GetClassID() const override { return kClassID_CMorphFocalGradientItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    int16_t m_StartFocalPoint = 0; // 8.8 fixed point
    int16_t m_EndFocalPoint = 0;
};

class CMorphLinearGradientItem : public CMorphFillGradientItem
{
public:
    using CMorphFillGradientItem::CMorphFillGradientItem;
    int GetClassID() const override { return kClassID_CMorphLinearGradientItem; }
};

class CMorphRadialGradientItem : public CMorphFillGradientItem
{
public:
    using CMorphFillGradientItem::CMorphFillGradientItem;
    int GetClassID() const override { return kClassID_CMorphRadialGradientItem; }
};

// A morph bitmap fill: bitmap ID, start matrix, end matrix.
class CMorphFillBitMapItem : public CSWFItem
{
public:
    CMorphFillBitMapItem(CSWFObject* owner = nullptr, unsigned char style = kStyleRGBA);
    ~CMorphFillBitMapItem() override;
    int GetClassID() const override { return kClassID_CMorphFillBitMapItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetStartMatrix(const CMatrixItem* matrix);
    void SetEndMatrix(const CMatrixItem* matrix);

    uint16_t m_BitMapID = 0;
    std::unique_ptr<CMatrixItem> m_pStartMatrix;
    std::unique_ptr<CMatrixItem> m_pEndMatrix;
};

class CMorphTiledBitMapItem : public CMorphFillBitMapItem
{
public:
    using CMorphFillBitMapItem::CMorphFillBitMapItem;
    int GetClassID() const override { return kClassID_CMorphTiledBitMapItem; }
};

class CMorphClippedBitMapItem : public CMorphFillBitMapItem
{
public:
    using CMorphFillBitMapItem::CMorphFillBitMapItem;
    int GetClassID() const override { return kClassID_CMorphClippedBitMapItem; }
};

// MORPHFILLSTYLE: the type byte and the morph fill object of its kind. Types other than solid, the two
// gradients and the bitmap fills are reported and fail the read.
class CMorphFillStyleItem : public CSWFItem
{
public:
    CMorphFillStyleItem(CSWFObject* owner = nullptr, unsigned char style = kStyleRGBA);
    ~CMorphFillStyleItem() override;
    int GetClassID() const override { return kClassID_CMorphFillStyleItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    // Stores the type and puts a blank morph fill object of its class in place (none for an unsupported type).
    void SetFillStyle(uint8_t type);
    uint8_t GetFillStyle() const { return m_FillStyleType; }
    CSWFItem* GetFillObject() const { return m_pFillObject.get(); }

    uint8_t m_FillStyleType = kFillSolid;
    // CMorphColorItem, CMorphLinearGradientItem, CMorphRadialGradientItem, CMorphTiledBitMapItem or
    // CMorphClippedBitMapItem.
    std::unique_ptr<CSWFItem> m_pFillObject;
};

class CMorphFillStylesItem : public CSWFItemsByteWordCount
{
public:
    CMorphFillStylesItem(CSWFObject* owner = nullptr, unsigned char style = kStyleRGBA);
    int GetClassID() const override { return kClassID_CMorphFillStylesItem; }
};

// MORPHLINESTYLE: start and end widths, start and end colours.
class CMorphLineStyleItem : public CSWFItem
{
public:
    CMorphLineStyleItem(CSWFObject* owner = nullptr, unsigned char style = kStyleRGBA);
    ~CMorphLineStyleItem() override;
    int GetClassID() const override { return kClassID_CMorphLineStyleItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetStartColor(const CColorItem* color);
    void SetEndColor(const CColorItem* color);

    uint16_t m_StartWidth = 0;
    uint16_t m_EndWidth = 0;
    std::unique_ptr<CColorItem> m_pStartColor;
    std::unique_ptr<CColorItem> m_pEndColor;
};

// MORPHLINESTYLE2 (DefineMorphShape2): start and end widths, the LINESTYLE2 flags, and start and end colours or
// a morph fill style.
class CMorphFillStyleItem;
class CMorphLineStyle2Item : public CSWFItem
{
public:
    CMorphLineStyle2Item(CSWFObject* owner = nullptr, unsigned char style = kStyleRGBA);
    ~CMorphLineStyle2Item() override;
    int GetClassID() const override { return kClassID_CMorphLineStyle2Item; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    // Creates the fill style (and drops the colours) or the other way round.
    void SetHasFill(bool has);

    uint16_t m_StartWidth = 0;
    uint16_t m_EndWidth = 0;
    uint8_t m_StartCapStyle = 0; // 2 bits, as CLineStyle2Item
    uint8_t m_JoinStyle = 0;     // 2 bits
    bool m_NoHScale = false;
    bool m_NoVScale = false;
    bool m_PixelHinting = false;
    uint8_t m_Reserved = 0; // 5 bits
    bool m_NoClose = false;
    uint8_t m_EndCapStyle = 0;       // 2 bits
    uint16_t m_MiterLimitFactor = 0; // 8.8, with the miter join only
    std::unique_ptr<CColorItem> m_pStartColor;
    std::unique_ptr<CColorItem> m_pEndColor;
    std::unique_ptr<CMorphFillStyleItem> m_pFillStyle;
};

class CMorphLineStylesItem : public CSWFItemsByteWordCount
{
public:
    CMorphLineStylesItem(CSWFObject* owner = nullptr, unsigned char style = kStyleRGBA);
    int GetClassID() const override { return kClassID_CMorphLineStylesItem; }
};

// ---- Text ----

// GLYPHENTRY: glyph index and advance, as wide as the text records say.
class CGlyphEntryItem : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CGlyphEntryItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint32_t m_GlyphIndex = 0;
    int32_t m_GlyphAdvance = 0;
    // Handed over by the glyph record before reading or writing.
    uint8_t m_GlyphBits = 0;
    uint8_t m_AdvanceBits = 0;
};

// The glyph part of a text record: the glyph count byte and the glyph entries, padded to a byte.
class CTextRecordType0Item : public CSWFItemsByteCount
{
public:
    CTextRecordType0Item(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CTextRecordType0Item; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    int ItemReadSWF(CSWFStream* stream, CSWFItem* item) override;
    int ItemWriteSWF(CSWFStream* stream, CSWFItem* item) override;
    int WriteSWFItemsCount(CSWFStream* stream, unsigned long count) override;
    // A glyph record is never the end of the text records, even without glyphs.
    bool IsEmpty() const override { return false; }

    uint8_t m_GlyphBits = 0;
    uint8_t m_AdvanceBits = 0;
};

// The style part of a text record; all of its eight leading bits clear is the end of the text records.
class CTextRecordType1Item : public CSWFItem
{
public:
    CTextRecordType1Item(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CTextRecordType1Item() override;
    int GetClassID() const override { return kClassID_CTextRecordType1Item; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    void SetItemStyle(unsigned char style) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    bool IsEmpty() const override;
    void SetEmpty() override;

    void SetHasColor(bool on);
    void SetColor(const CColorItem* color);

    bool m_TextRecordType = false;
    uint8_t m_Reserved = 0; // 3 bits
    bool m_HasFont = false;
    bool m_HasYOffset = false;
    bool m_HasXOffset = false;
    uint16_t m_FontID = 0;
    std::unique_ptr<CColorItem> m_pColor; // present with HasColor
    int16_t m_XOffset = 0;
    int16_t m_YOffset = 0;
    uint16_t m_TextHeight = 0;
};

// The text records of DefineText: the glyph and advance widths, then style and glyph parts in turn, ended by an
// empty style part.
class CTextRecordsItem : public CSWFItemsUnCountable
{
public:
    CTextRecordsItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CTextRecordsItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    int ItemReadSWF(CSWFStream* stream, CSWFItem* item) override;
    int ItemWriteSWF(CSWFStream* stream, CSWFItem* item) override;
    int GetSWFItem(CSWFStream* stream, CSWFItem*& item, int classID) override;
    bool IsLastItem(CSWFItem* item) override;

    uint8_t m_GlyphBits = 0;
    uint8_t m_AdvanceBits = 0;
};

// ---- Font tables ----

// The character codes of a font's glyphs, one byte or two each; the font tag sets the count.
class CFontCodeTableItem : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CFontCodeTableItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    bool IsEmpty() const override { return m_Codes.empty(); }
    void SetEmpty() override { m_Codes.clear(); }

    unsigned long GetCount() const { return m_Codes.size(); }
    void SetCount(unsigned long count) { m_DefinedCount = static_cast<uint32_t>(count); }
    void SetWideCodes(bool wide) { m_WideCodes = wide; }

    bool m_WideCodes = false;
    uint32_t m_DefinedCount = 0;
    std::vector<uint16_t> m_Codes;
};

// The advances of a font's glyphs, signed 16-bit each; the font tag sets the count.
class CFontTableAdvancedItem : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CFontTableAdvancedItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    bool IsEmpty() const override { return m_Advances.empty(); }
    void SetEmpty() override { m_Advances.clear(); }

    unsigned long GetCount() const { return m_Advances.size(); }
    void SetCount(unsigned long count) { m_DefinedCount = static_cast<uint32_t>(count); }

    uint32_t m_DefinedCount = 0;
    std::vector<int16_t> m_Advances;
};

// The bounds of a font's glyphs, one RECT each; the font tag sets the count.
class CRectTableItem : public CSWFItemsDefineCountable
{
public:
    CRectTableItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CRectTableItem; }
};

// KERNINGRECORD: two character codes (16-bit with wide codes, else 8-bit) and the adjustment.
class CKerningRecordItem : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CKerningRecordItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    bool m_WideCodes = false;
    uint16_t m_Code1 = 0;
    uint16_t m_Code2 = 0;
    int16_t m_Adjustment = 0;
};

// The kerning records of a font; the font tag sets the count and whether the codes are wide.
class CKerningRecordsItem : public CSWFItemsDefineCountable
{
public:
    CKerningRecordsItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CKerningRecordsItem; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    int ItemReadSWF(CSWFStream* stream, CSWFItem* item) override;
    int ItemWriteSWF(CSWFStream* stream, CSWFItem* item) override;
    void SetWideCodes(bool wide) { m_WideCodes = wide; }

    bool m_WideCodes = false;
};

// ---- Sound ----

// Sound formats (4 bits).
inline constexpr uint8_t kSoundFormatMP3 = 2;

// The format byte of a sound, then its sample count: 32-bit for DefineSound (m_LongCount), else 16-bit followed,
// for MP3, by the 16-bit latency seek (which the stream head tags therefore need not read again).
class CSoundParametersItem : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CSoundParametersItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    unsigned long GetSoundSize() const;

    uint8_t m_Format = 0; // 4 bits
    uint8_t m_Rate = 0; // 2 bits
    uint8_t m_Size = 0; // 1 bit
    uint8_t m_Type = 0; // 1 bit
    uint32_t m_SampleCount = 0;
    bool m_LongCount = false;
    // The latency seek of an MP3 stream head, when the body holds one.
    bool m_HasLatencySeek = false;
    int16_t m_LatencySeek = 0;
};

// The playback format byte of a sound stream head: 4 reserved bits, rate, size, type.
class CPlayBackParametersItem : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CPlayBackParametersItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint8_t m_Reserved = 0; // 4 bits
    uint8_t m_Rate = 0;
    uint8_t m_Size = 0;
    uint8_t m_Type = 0;
};

// Sound samples: the rest of the body, raw.
class CSoundDataItem : public CDumpItem
{
public:
    using CDumpItem::CDumpItem;
    int GetClassID() const override { return kClassID_CSoundDataItem; }
    int ReadSWF(CSWFStream* stream) override;
};

// The sound of DefineSound: its parameters (with a 32-bit sample count) and its data.
class CAudioDataItem : public CSWFItem
{
public:
    CAudioDataItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CAudioDataItem() override;
    int GetClassID() const override { return kClassID_CAudioDataItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetSoundParameters(const CSoundParametersItem* parameters);
    void SetSoundData(const CSoundDataItem* data);

    std::unique_ptr<CSoundParametersItem> m_pSoundParameters;
    std::unique_ptr<CSoundDataItem> m_pSoundData;
};

// SOUNDENVELOPE: position in 44 kHz samples, left and right levels.
class CSoundEnvelopeItem : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CSoundEnvelopeItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint32_t m_Pos44 = 0;
    uint16_t m_LeftLevel = 0;
    uint16_t m_RightLevel = 0;
};

class CSoundEnvelopeRecordsItem : public CSWFItemsByteCount
{
public:
    CSoundEnvelopeRecordsItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CSoundEnvelopeRecordsItem; }
};

// SOUNDINFO: sync flags and the optional in point, out point, loop count and envelope.
class CSoundInfoItem : public CSWFItem
{
public:
    CSoundInfoItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CSoundInfoItem() override;
    int GetClassID() const override { return kClassID_CSoundInfoItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetHasEnvelope(bool on);
    void SetEnvelope(const CSoundEnvelopeRecordsItem* envelope);

    uint8_t m_Reserved = 0; // 2 bits
    bool m_SyncStop = false;
    bool m_SyncNoMultiple = false;
    bool m_HasLoops = false;
    bool m_HasOutPoint = false;
    bool m_HasInPoint = false;
    uint32_t m_InPoint = 0;
    uint32_t m_OutPoint = 0;
    uint16_t m_LoopCount = 0;
    std::unique_ptr<CSoundEnvelopeRecordsItem> m_pEnvelope; // present with HasEnvelope
};

// ---- Bitmaps ----

// Lossless bitmap formats.
inline constexpr uint8_t kBitmapColorMapped8 = 3;
inline constexpr uint8_t kBitmapRGB15 = 4;
inline constexpr uint8_t kBitmapRGB32 = 5;

// The body of DefineBitsLossless(2) after the ID: format, size, colour table size (colour-mapped only) and the
// zlib data, whose plain size follows from them (with alpha under style 3).
class CBitsLossLessItem : public CSWFItem
{
public:
    CBitsLossLessItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CBitsLossLessItem() override;
    int GetClassID() const override { return kClassID_CBitsLossLessItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    unsigned long GetBitMapSize() const;
    void SetData(const CZDumpItem* data);

    uint8_t m_BitmapFormat = kBitmapRGB32;
    uint16_t m_BitmapWidth = 0;
    uint16_t m_BitmapHeight = 0;
    uint8_t m_BitmapColorTableSize = 0;
    std::unique_ptr<CZDumpItem> m_pZlibBitmapData;
};

// JPEG data (DefineBits), as many bytes as the tag says.
class CJPEGDataItem : public CDumpItem
{
public:
    using CDumpItem::CDumpItem;
    int GetClassID() const override { return kClassID_CJPEGDataItem; }
};

// JPEG data with its own encoding tables (DefineBitsJPEG2 and 3), as many bytes as the tag says.
class CJPEGDataWithTableItem : public CDumpItem
{
public:
    using CDumpItem::CDumpItem;
    int GetClassID() const override { return kClassID_CJPEGDataWithTableItem; }
};

// ---- Buttons ----

// BUTTONRECORD: 2 reserved bits, the blend mode and filter list flags, four state flags (all clear: the end
// record), character, depth, matrix and, under kStyleButton2, a colour transform with alpha followed by the
// filter list and the blend mode when their flags say so.
class CButtonRecord : public CSWFItem
{
public:
    CButtonRecord(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CButtonRecord() override;
    int GetClassID() const override { return kClassID_CButtonRecord; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    bool IsEmpty() const override { return !m_StateHitTest && !m_StateDown && !m_StateOver && !m_StateUp; }
    void SetEmpty() override;
    void SetMatrix(const CMatrixItem* matrix);
    void SetColorTransform(const CCXFormItem* transform);

    uint8_t m_Reserved = 0; // 2 bits
    bool m_HasBlendMode = false;
    bool m_HasFilterList = false;
    bool m_StateHitTest = false;
    bool m_StateDown = false;
    bool m_StateOver = false;
    bool m_StateUp = false;
    uint16_t m_CharacterID = 0;
    uint16_t m_PlaceDepth = 0;
    std::unique_ptr<CMatrixItem> m_pMatrix;
    std::unique_ptr<CCXFormItem> m_pColorTransform; // present under kStyleButton2
    // The filter list (under kStyleButton2 with m_HasFilterList) and the blend mode.
    std::unique_ptr<CFilterListItem> m_pFilterList;
    uint8_t m_BlendMode = 0;
};

// Button records up to the end record.
class CButtonRecordsItem : public CSWFItemsUnCountable
{
public:
    CButtonRecordsItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CButtonRecordsItem; }
};

// BUTTONCONDACTION after its offset: the 16 condition bits and an action block.
class CButtonCondActionItem : public CSWFItem
{
public:
    CButtonCondActionItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CButtonCondActionItem() override;
    int GetClassID() const override { return kClassID_CButtonCondActionItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    bool IsEmpty() const override;
    void SetEmpty() override;
    void SetActions(const CActionsItem* actions);

    uint16_t m_Conditions = 0;
    std::unique_ptr<CActionsItem> m_pActions;
};

// The button condition actions of DefineButton2, each preceded by the offset to the next, up to the body's end.
class CButtonCondActionsItem : public CSWFItems
{
public:
    CButtonCondActionsItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CButtonCondActionsItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
};

// ---- Clip actions ----

// The clip event flags: 16-bit in movies before version 6, else 32-bit, of which bits 18 to 0 are events.
class CClipEventFlagsItem : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return kClassID_CClipEventFlagsItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    bool IsEmpty() const override { return (m_Flags & kEventMask) == 0; }
    void SetEmpty() override;

    static constexpr uint32_t kEventMask = 0x7FFFF;
    static constexpr uint32_t kKeyPressBit = 1u << 17;

    // Builds the number from the bools, and the bools from the number.
    void ApplyFlags();
    void ApplyEvents();
    uint32_t GetFlags32() const { return m_Flags & kEventMask; }
    void SetFlags32(uint32_t flags);
    uint16_t GetFlags16() const { return static_cast<uint16_t>(m_Flags); }
    void SetFlags16(uint16_t flags);
    // Whether this record is 32 bits wide: by the owning movie's version; without a movie, the newer form.
    bool IsWide() const;

    uint32_t m_Flags = 0;
    bool m_ClipEventConstruct = false; // bit 18
    bool m_ClipEventKeyPress = false;
    bool m_ClipEventDragOut = false;
    bool m_ClipEventDragOver = false;
    bool m_ClipEventRollOut = false;
    bool m_ClipEventRollOver = false;
    bool m_ClipEventReleaseOutside = false;
    bool m_ClipEventRelease = false;
    bool m_ClipEventPress = false;
    bool m_ClipEventInitialize = false;
    bool m_ClipEventData = false;
    bool m_ClipEventKeyUp = false;
    bool m_ClipEventKeyDown = false;
    bool m_ClipEventMouseUp = false;
    bool m_ClipEventMouseDown = false;
    bool m_ClipEventMouseMove = false;
    bool m_ClipEventUnload = false;
    bool m_ClipEventEnterFrame = false;
    bool m_ClipEventLoad = false; // bit 0
    // Bits 31 to 19 of the 32-bit form, reserved: kept apart from the events and written back as read.
    uint32_t m_ReservedFlags = 0;
};

// CLIPACTIONRECORD: event flags (0: the end record), then the record size, the key code (with KeyPress) and the
// actions inside that many bytes.
class CClipActionsRecordItem : public CSWFItem
{
public:
    CClipActionsRecordItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CClipActionsRecordItem() override;
    int GetClassID() const override { return kClassID_CClipActionsRecordItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    bool IsEmpty() const override { return m_pEventFlags->IsEmpty(); }
    void SetEmpty() override { m_pEventFlags->SetEmpty(); }
    void SetEventFlags(const CClipEventFlagsItem* flags);
    void SetActions(const CActionsItem* actions);

    std::unique_ptr<CClipEventFlagsItem> m_pEventFlags;
    uint8_t m_KeyCode = 0;
    std::unique_ptr<CActionsItem> m_pActions;
    // Bytes inside the record after the actions: written back after them.
    std::vector<uint8_t> m_Trailing;
    // False for a record read with a size of 0 (no key code, no actions), and for one whose size left no room
    // for an action block after the key code: written back the same way while it still holds no actions.
    bool m_HasBody = true;
    bool m_HasActionBlock = true;
};

// Clip action records up to the one whose event flags are 0.
class CClipActionsRecordsItem : public CSWFItemsUnCountable
{
public:
    CClipActionsRecordsItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CClipActionsRecordsItem; }
};

// CLIPACTIONS: a reserved 16-bit value, the union of all event flags, the clip action records.
class CClipActionsItem : public CSWFItem
{
public:
    CClipActionsItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CClipActionsItem() override;
    int GetClassID() const override { return kClassID_CClipActionsItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetAllEventFlags(const CClipEventFlagsItem* flags);
    void SetClipActionRecords(const CClipActionsRecordsItem* records);

    uint16_t m_Reserved = 0;
    std::unique_ptr<CClipEventFlagsItem> m_pAllEventFlags;
    std::unique_ptr<CClipActionsRecordsItem> m_pClipActionRecords;
};

// ---- Assets ----

// An exported or imported asset: character ID and name.
class CAssetItem : public CSWFItem
{
public:
    CAssetItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CAssetItem() override;
    int GetClassID() const override { return kClassID_CAssetItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetName(const C0TrmStringItem* name);

    uint16_t m_ID = 0;
    std::unique_ptr<C0TrmStringItem> m_pName;
};

// The assets of ExportAssets and ImportAssets, preceded by their 16-bit count.
class CAssetsItem : public CSWFItemsWordCount
{
public:
    CAssetsItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CAssetsItem; }
};
