// Tag classes: one class per SWF tag code. A tag class sees only its body (the tag list reads and writes the
// header); what it cannot represent in fields (bytes after the last field, or a body that does not parse) it
// keeps as bytes, so that a movie read and written back keeps every tag.
#pragma once

#include "Collections.h"
#include "HeaderItems.h"
#include "Records.h"
#include "SWFObject.h"

#include <cstdint>
#include <memory>
#include <vector>

class CActionsItem;
class CAssetsItem;
class CAudioDataItem;
class CBitsLossLessItem;
class CButtonCondActionsItem;
class CButtonRecordsItem;
class CCXFormItem;
class CClipActionsItem;
class CFontCodeTableItem;
class CGlyphShapeTableItem;
class CFontTableAdvancedItem;
class CJPEGDataItem;
class CJPEGDataWithTableItem;
class CKerningRecordsItem;
class CMatrixItem;
class CMorphFillStylesItem;
class CMorphLineStylesItem;
class CPlayBackParametersItem;
class CRectTableItem;
class CShapeItem;
class CShapeWithStyleItem;
class CSoundInfoItem;
class CSoundParametersItem;
class CTextRecordsItem;

// Every tag whose body is parsed into fields. Bytes left after the fields are kept and written back after them
// (reported as 32769); a body that fails to parse is kept whole and written back unchanged, so a malformed tag
// survives a save byte for byte while its fields show what could be read.
class CParsedTag : public CTag
{
public:
    using CTag::CTag;
    int ReadSWF(CSWFStream* body) final;
    int WriteSWF(CSWFStream* body) final;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    // The bytes after the parsed fields, or the whole body when m_KeptWhole.
    std::vector<uint8_t> m_Rest;
    bool m_KeptWhole = false;

protected:
    virtual int ReadBody(CSWFStream* body) = 0;
    virtual int WriteBody(CSWFStream* body) = 0;
    // The movie's version through the owner, or 0 when the tag has no movie.
    unsigned char MovieVersion() const;
};

// A tag whose whole body is raw data.
class CRawBodyTag : public CTag
{
public:
    CRawBodyTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CRawBodyTag() override;
    int ReadSWF(CSWFStream* body) override;
    int WriteSWF(CSWFStream* body) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetData(const CDumpItem* data);

    std::unique_ptr<CDumpItem> m_pData;
};

class CEndTag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CEndTag; }

protected:
    int ReadBody(CSWFStream*) override { return 1; }
    int WriteBody(CSWFStream*) override { return 1; }
};

class CShowFrameTag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CShowFrameTag; }

protected:
    int ReadBody(CSWFStream*) override { return 1; }
    int WriteBody(CSWFStream*) override { return 1; }
};

// Character IDs to free, one after another.
class CFreeCharacterTag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CFreeCharacterTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::vector<uint16_t> m_IDs;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CReMoveObjectTag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CReMoveObjectTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    uint16_t m_Depth = 0;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CReMoveObject2Tag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CReMoveObject2Tag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_Depth = 0;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CSetTabIndex : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CSetTabIndex; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_Depth = 0;
    uint16_t m_TabIndex = 0;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CDefineVideoStreamTag : public CParsedTag
{
public:
    using CParsedTag::CParsedTag;
    int GetClassID() const override { return kClassID_CDefineVideoStreamTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    uint16_t m_NumFrames = 0;
    uint16_t m_Width = 0;
    uint16_t m_Height = 0;
    uint8_t m_Reserved = 0;
    uint8_t m_Deblocking = 0;
    bool m_Smoothing = false;
    uint8_t m_CodecID = 0;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CSetBackGroundColorTag : public CParsedTag
{
public:
    CSetBackGroundColorTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CSetBackGroundColorTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetColor(const CColorItem* color);

    std::unique_ptr<CColorItem> m_pColor;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// Raw-body tags.
class CJPEGTablesTag : public CRawBodyTag
{
public:
    using CRawBodyTag::CRawBodyTag;
    int GetClassID() const override { return kClassID_CJPEGTablesTag; }
};

class CSoundStreamBlockTag : public CRawBodyTag
{
public:
    using CRawBodyTag::CRawBodyTag;
    int GetClassID() const override { return kClassID_CSoundStreamBlockTag; }
};

class CProtectTag : public CRawBodyTag
{
public:
    using CRawBodyTag::CRawBodyTag;
    int GetClassID() const override { return kClassID_CProtectTag; }
};

class CEnableDebuggerTag : public CRawBodyTag
{
public:
    using CRawBodyTag::CRawBodyTag;
    int GetClassID() const override { return kClassID_CEnableDebuggerTag; }
};

class CEnableDebugger2Tag : public CRawBodyTag
{
public:
    using CRawBodyTag::CRawBodyTag;
    int GetClassID() const override { return kClassID_CEnableDebugger2Tag; }
};

// A tag code without a class of its own: the body is kept as it was read.
class CUnKnownTag : public CRawBodyTag
{
public:
    using CRawBodyTag::CRawBodyTag;
    int GetClassID() const override { return kClassID_CUnKnownTag; }
};

// Stream ID, frame number, then the encoded frame as raw data.
class CVideoFrameTag : public CParsedTag
{
public:
    CVideoFrameTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CVideoFrameTag() override;
    int GetClassID() const override { return kClassID_CVideoFrameTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    uint16_t m_FrameNum = 0;
    std::unique_ptr<CDumpItem> m_pData;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// A label; the optional trailing byte marks a named anchor (files of version 6 and later).
class CFrameLabelTag : public CParsedTag
{
public:
    CFrameLabelTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CFrameLabelTag() override;
    int GetClassID() const override { return kClassID_CFrameLabelTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetHasNamedAnchorFlag(bool flag);
    void SetLabel(const C0TrmStringItem* label);

    std::unique_ptr<C0TrmStringItem> m_pLabel;
    bool m_HasNamedAnchorFlag = false;
    // The anchor flag byte as read (1 in every file written to the format).
    uint8_t m_NamedAnchor = 1;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// The tags of a sprite, with their own frame count and End.
class CDefineSpriteTag : public CParsedTag
{
public:
    CDefineSpriteTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineSpriteTag() override;
    int GetClassID() const override { return kClassID_CDefineSpriteTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetTags(const CTagsItem* tags);

    uint16_t m_ID = 0;
    std::unique_ptr<CTagsItem> m_pTags;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CDoActionTag : public CParsedTag
{
public:
    CDoActionTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDoActionTag() override;
    int GetClassID() const override { return kClassID_CDoActionTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetActions(const CActionsItem* actions);

    std::unique_ptr<CActionsItem> m_pActions;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CDoInitActionsTag : public CParsedTag
{
public:
    CDoInitActionsTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDoInitActionsTag() override;
    int GetClassID() const override { return kClassID_CDoInitActionsTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetActions(const CActionsItem* actions);

    uint16_t m_ID = 0;
    std::unique_ptr<CActionsItem> m_pActions;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// ---- Display list ----

// Character, depth, matrix and, when bytes remain, a colour transform without alpha.
class CPlaceObjectTag : public CParsedTag
{
public:
    CPlaceObjectTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CPlaceObjectTag() override;
    int GetClassID() const override { return kClassID_CPlaceObjectTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetMatrix(const CMatrixItem* matrix);
    void SetColorTransform(const CCXFormItem* transform);
    void SetHasColorTransform(bool has);

    uint16_t m_ID = 0;
    uint16_t m_Depth = 0;
    std::unique_ptr<CMatrixItem> m_pMatrix;
    std::unique_ptr<CCXFormItem> m_pColorTransform;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CPlaceObject2Tag : public CParsedTag
{
public:
    CPlaceObject2Tag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CPlaceObject2Tag() override;
    int GetClassID() const override { return kClassID_CPlaceObject2Tag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetHasClipActions(bool has);
    void SetHasName(bool has);
    void SetHasColorTransform(bool has);
    void SetHasMatrix(bool has);
    unsigned short GetID() const { return m_HasCharacter ? m_ID : 0; }
    void SetID(unsigned short id);
    void SetMatrix(const CMatrixItem* matrix);
    void SetColorTransform(const CCXFormItem* transform);
    void SetName(const C0TrmStringItem* name);
    void SetClipActions(const CClipActionsItem* actions);

    bool m_HasCharacter = false;
    bool m_HasClipDepth = false;
    bool m_HasRatio = false;
    bool m_Move = false;
    uint16_t m_Depth = 0;
    uint16_t m_ID = 0;
    std::unique_ptr<CMatrixItem> m_pMatrix;
    std::unique_ptr<CCXFormItem> m_pColorTransform;
    uint16_t m_Ratio = 0;
    std::unique_ptr<C0TrmStringItem> m_pName;
    uint16_t m_ClipDepth = 0;
    std::unique_ptr<CClipActionsItem> m_pClipActions;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// ---- Shapes, morphs and text ----

// The reader of DefineShape, DefineShape2 and DefineShape3; the subclass fixes the layout variant.
class CShapeTag : public CParsedTag
{
public:
    CShapeTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CShapeTag() override;
    int GetClassID() const override { return kClassID_CShapeTag; }
    // The variant belongs to the class: the list a tag is read into does not change it.
    void SetItemStyle(unsigned char) override { }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetBounds(const CRectItem* bounds);
    void SetShapes(const CShapeWithStyleItem* shapes);

    uint16_t m_ID = 0;
    std::unique_ptr<CRectItem> m_pBounds;
    std::unique_ptr<CShapeWithStyleItem> m_pShapes;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
    // What DefineShape4 holds between the bounds and the shapes.
    virtual int ReadAfterBounds(CSWFStream*) { return 1; }
    virtual int WriteAfterBounds(CSWFStream*) { return 1; }
};

class CDefineShapeTag : public CShapeTag
{
public:
    CDefineShapeTag(CSWFObject* owner = nullptr, unsigned char = kStyleDefault)
        : CShapeTag(owner, kStyleShape1)
    { }
    int GetClassID() const override { return kClassID_CDefineShapeTag; }
};

class CDefineShape2Tag : public CShapeTag
{
public:
    CDefineShape2Tag(CSWFObject* owner = nullptr, unsigned char = kStyleDefault)
        : CShapeTag(owner, kStyleShape2)
    { }
    int GetClassID() const override { return kClassID_CDefineShape2Tag; }
};

class CDefineShape3Tag : public CShapeTag
{
public:
    CDefineShape3Tag(CSWFObject* owner = nullptr, unsigned char = kStyleDefault)
        : CShapeTag(owner, kStyleRGBA)
    { }
    int GetClassID() const override { return kClassID_CDefineShape3Tag; }
};

class CDefineMorphShapeTag : public CParsedTag
{
public:
    CDefineMorphShapeTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineMorphShapeTag() override;
    int GetClassID() const override { return kClassID_CDefineMorphShapeTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    std::unique_ptr<CRectItem> m_pStartBounds;
    std::unique_ptr<CRectItem> m_pEndBounds;
    std::unique_ptr<CMorphFillStylesItem> m_pFillStyles;
    std::unique_ptr<CMorphLineStylesItem> m_pLineStyles;
    std::unique_ptr<CShapeItem> m_pStartEdges;
    std::unique_ptr<CShapeItem> m_pEndEdges;
    // Bytes between the start edges and where the end-edges offset points: written back between them.
    std::vector<uint8_t> m_Gap;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
    // What DefineMorphShape2 holds between the end bounds and the end-edges offset.
    virtual int ReadAfterBounds(CSWFStream*) { return 1; }
    virtual int WriteAfterBounds(CSWFStream*) { return 1; }
};

// The reader of DefineText and DefineText2; the subclass fixes the layout variant.
class CTextTag : public CParsedTag
{
public:
    CTextTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CTextTag() override;
    int GetClassID() const override { return kClassID_CTextTag; }
    void SetItemStyle(unsigned char) override { }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetBounds(const CRectItem* bounds);
    void SetMatrix(const CMatrixItem* matrix);
    void SetTextRecords(const CTextRecordsItem* records);

    uint16_t m_ID = 0;
    std::unique_ptr<CRectItem> m_pBounds;
    std::unique_ptr<CMatrixItem> m_pMatrix;
    std::unique_ptr<CTextRecordsItem> m_pTextRecords;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CDefineTextTag : public CTextTag
{
public:
    CDefineTextTag(CSWFObject* owner = nullptr, unsigned char = kStyleDefault)
        : CTextTag(owner, kStyleShape2)
    { }
    int GetClassID() const override { return kClassID_CDefineTextTag; }
};

class CDefineText2Tag : public CTextTag
{
public:
    CDefineText2Tag(CSWFObject* owner = nullptr, unsigned char = kStyleDefault)
        : CTextTag(owner, kStyleRGBA)
    { }
    int GetClassID() const override { return kClassID_CDefineText2Tag; }
};

class CDefineEditTextTag : public CParsedTag
{
public:
    CDefineEditTextTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineEditTextTag() override;
    int GetClassID() const override { return kClassID_CDefineEditTextTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetHasText(bool has);
    void SetHasTextColor(bool has);
    void SetHasFontClass(bool has);

    uint16_t m_ID = 0;
    std::unique_ptr<CRectItem> m_pBounds;
    bool m_HasText = false;
    bool m_WordWrap = false;
    bool m_Multiline = false;
    bool m_Password = false;
    bool m_ReadOnly = false;
    bool m_HasTextColor = false;
    bool m_HasMaxLength = false;
    bool m_HasFont = false;
    // The first of the two bits the older format reserves; newer files name a font class with it.
    bool m_HasFontClass = false;
    bool m_AutoSize = false;
    bool m_HasLayout = false;
    bool m_NoSelect = false;
    bool m_Border = false;
    bool m_Reserved = false;
    bool m_HTML = false;
    bool m_UseOutlines = false;
    uint16_t m_FontID = 0;
    std::unique_ptr<C0TrmStringItem> m_pFontClass;
    uint16_t m_FontHeight = 0;
    std::unique_ptr<CColorItem> m_pTextColor;
    uint16_t m_MaxLength = 0;
    uint8_t m_Align = 0;
    uint16_t m_LeftMargin = 0;
    uint16_t m_RightMargin = 0;
    uint16_t m_Indent = 0;
    uint16_t m_Leading = 0;
    std::unique_ptr<C0TrmStringItem> m_pVariableName;
    std::unique_ptr<C0TrmStringItem> m_pInitialText;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// ---- Buttons ----

class CDefineButtonTag : public CParsedTag
{
public:
    CDefineButtonTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineButtonTag() override;
    int GetClassID() const override { return kClassID_CDefineButtonTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    std::unique_ptr<CButtonRecordsItem> m_pCharacters;
    std::unique_ptr<CActionsItem> m_pActions;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CDefineButton2Tag : public CParsedTag
{
public:
    CDefineButton2Tag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineButton2Tag() override;
    int GetClassID() const override { return kClassID_CDefineButton2Tag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    uint8_t m_Reserved = 0; // 7 bits
    bool m_TrackAsMenu = false;
    // The offset as read: 0 means the button has no condition actions.
    uint16_t m_ActionOffset = 0;
    std::unique_ptr<CButtonRecordsItem> m_pCharacters;
    std::unique_ptr<CButtonCondActionsItem> m_pActions;
    // Bytes between the end of the records and where the action offset points.
    std::vector<uint8_t> m_Gap;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CDefineButtonCXFormTag : public CParsedTag
{
public:
    CDefineButtonCXFormTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineButtonCXFormTag() override;
    int GetClassID() const override { return kClassID_CDefineButtonCXFormTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    std::unique_ptr<CCXFormItem> m_pColorTransform;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// A sound ID and, when it is not 0, how the sound is played, for each of the four state changes.
class CDefineButtonSoundTag : public CParsedTag
{
public:
    static constexpr int kTransitions = 4;
    CDefineButtonSoundTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineButtonSoundTag() override;
    int GetClassID() const override { return kClassID_CDefineButtonSoundTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    uint16_t m_SoundID[kTransitions] = {};
    std::unique_ptr<CSoundInfoItem> m_pSoundInfo[kTransitions];

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// ---- Bitmaps ----

class CDefineBitsTag : public CParsedTag
{
public:
    CDefineBitsTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineBitsTag() override;
    int GetClassID() const override { return kClassID_CDefineBitsTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    std::unique_ptr<CJPEGDataItem> m_pJPEGData;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CDefineBitsJPEG2Tag : public CParsedTag
{
public:
    CDefineBitsJPEG2Tag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineBitsJPEG2Tag() override;
    int GetClassID() const override { return kClassID_CDefineBitsJPEG2Tag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    std::unique_ptr<CJPEGDataWithTableItem> m_pJPEGData;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// JPEG data of AlphaDataOffset bytes, then the zlib-compressed alpha channel.
class CDefineBitsJPEG3Tag : public CParsedTag
{
public:
    CDefineBitsJPEG3Tag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineBitsJPEG3Tag() override;
    int GetClassID() const override { return kClassID_CDefineBitsJPEG3Tag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    std::unique_ptr<CJPEGDataWithTableItem> m_pJPEGData;
    std::unique_ptr<CZDumpItem> m_pAlphaData;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// The reader of both lossless bitmap tags; the subclass fixes the variant (alpha under style 3).
class CBitsLossLessTag : public CParsedTag
{
public:
    CBitsLossLessTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CBitsLossLessTag() override;
    int GetClassID() const override { return kClassID_CBitsLossLessTag; }
    void SetItemStyle(unsigned char) override { }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    std::unique_ptr<CBitsLossLessItem> m_pBitmap;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CDefineBitsLossLessTag : public CBitsLossLessTag
{
public:
    CDefineBitsLossLessTag(CSWFObject* owner = nullptr, unsigned char = kStyleDefault)
        : CBitsLossLessTag(owner, kStyleShape1)
    { }
    int GetClassID() const override { return kClassID_CDefineBitsLossLessTag; }
};

class CDefineBitsLossLess2Tag : public CBitsLossLessTag
{
public:
    CDefineBitsLossLess2Tag(CSWFObject* owner = nullptr, unsigned char = kStyleDefault)
        : CBitsLossLessTag(owner, kStyleRGBA)
    { }
    int GetClassID() const override { return kClassID_CDefineBitsLossLess2Tag; }
};

// ---- Sound ----

class CDefineSoundTag : public CParsedTag
{
public:
    CDefineSoundTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineSoundTag() override;
    int GetClassID() const override { return kClassID_CDefineSoundTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    std::unique_ptr<CAudioDataItem> m_pAudioData;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CStartSoundTag : public CParsedTag
{
public:
    CStartSoundTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CStartSoundTag() override;
    int GetClassID() const override { return kClassID_CStartSoundTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    std::unique_ptr<CSoundInfoItem> m_pSoundInfo;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// The playback format and the stream's own format (with the MP3 latency seek, which the record reads).
class CDefineSoundStreamHeadTag : public CParsedTag
{
public:
    CDefineSoundStreamHeadTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineSoundStreamHeadTag() override;
    int GetClassID() const override { return kClassID_CDefineSoundStreamHeadTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::unique_ptr<CPlayBackParametersItem> m_pPlayBackParameters;
    std::unique_ptr<CSoundParametersItem> m_pSoundParameters;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CSoundStreamHeadTag : public CDefineSoundStreamHeadTag
{
public:
    using CDefineSoundStreamHeadTag::CDefineSoundStreamHeadTag;
    int GetClassID() const override { return kClassID_CSoundStreamHeadTag; }
};

class CSoundStreamHead2Tag : public CDefineSoundStreamHeadTag
{
public:
    using CDefineSoundStreamHeadTag::CDefineSoundStreamHeadTag;
    int GetClassID() const override { return kClassID_CSoundStreamHead2Tag; }
};

// ---- Fonts ----

// Glyph shapes found through a table of 16-bit offsets.
class CDefineFontTag : public CParsedTag
{
public:
    CDefineFontTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineFontTag() override;
    int GetClassID() const override { return kClassID_CDefineFontTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    std::unique_ptr<CGlyphShapeTableItem> m_pGlyphs;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CDefineFont2Tag : public CParsedTag
{
public:
    CDefineFont2Tag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CDefineFont2Tag() override;
    int GetClassID() const override { return kClassID_CDefineFont2Tag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    void SetLanguageCode(uint8_t code);

    uint16_t m_ID = 0;
    bool m_HasLayout = false;
    bool m_ShiftJIS = false;
    bool m_SmallText = false;
    bool m_ANSI = false;
    bool m_WideOffsets = false;
    bool m_WideCodes = false;
    bool m_Italic = false;
    bool m_Bold = false;
    uint8_t m_LanguageCode = 0;
    std::unique_ptr<CPascalStringItem> m_pFontName;
    std::unique_ptr<CGlyphShapeTableItem> m_pGlyphs;
    // A font without glyphs may or may not carry the code table offset; kept as met.
    bool m_HasCodeTableOffset = true;
    uint32_t m_EmptyCodeTableOffset = 0;
    std::unique_ptr<CFontCodeTableItem> m_pCodeTable;
    int16_t m_Ascent = 0;
    int16_t m_Descent = 0;
    int16_t m_Leading = 0;
    std::unique_ptr<CFontTableAdvancedItem> m_pAdvanceTable;
    // False when the layout ended after the advances (reported as 32794); nothing more is written then.
    bool m_HasBoundsTable = true;
    std::unique_ptr<CRectTableItem> m_pBoundsTable;
    std::unique_ptr<CKerningRecordsItem> m_pKerningRecords;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// The reader of DefineFontInfo and DefineFontInfo2 (which adds the language code).
class CFontInfoTag : public CParsedTag
{
public:
    CFontInfoTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CFontInfoTag() override;
    int GetClassID() const override { return kClassID_CFontInfoTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    uint16_t m_ID = 0;
    std::unique_ptr<CPascalStringItem> m_pFontName;
    uint8_t m_Reserved = 0; // 3 bits
    bool m_ShiftJIS = false;
    bool m_ANSI = false;
    bool m_Italic = false;
    bool m_Bold = false;
    bool m_WideCodes = false;
    uint8_t m_LanguageCode = 0;
    std::unique_ptr<CFontCodeTableItem> m_pCodeTable;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
    virtual bool HasLanguageCode() const { return false; }
};

class CDefineFontInfoTag : public CFontInfoTag
{
public:
    using CFontInfoTag::CFontInfoTag;
    int GetClassID() const override { return kClassID_CDefineFontInfoTag; }
};

class CDefineFontInfo2Tag : public CFontInfoTag
{
public:
    using CFontInfoTag::CFontInfoTag;
    int GetClassID() const override { return kClassID_CDefineFontInfo2Tag; }

protected:
    bool HasLanguageCode() const override { return true; }
};

// ---- Assets ----

// The reader of ExportAssets: the assets.
class CAssetTag : public CParsedTag
{
public:
    CAssetTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CAssetTag() override;
    int GetClassID() const override { return kClassID_CAssetTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::unique_ptr<CAssetsItem> m_pAssets;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

class CExportAssetsTag : public CAssetTag
{
public:
    using CAssetTag::CAssetTag;
    int GetClassID() const override { return kClassID_CExportAssetsTag; }
};

class CImportAssetsTag : public CParsedTag
{
public:
    CImportAssetsTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CImportAssetsTag() override;
    int GetClassID() const override { return kClassID_CImportAssetsTag; }
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::unique_ptr<C0TrmStringItem> m_pURL;
    std::unique_ptr<CAssetsItem> m_pAssets;

protected:
    int ReadBody(CSWFStream* body) override;
    int WriteBody(CSWFStream* body) override;
};

// Creates the tag object for a class ID of the tag family; null for other IDs.
CSWFObject* NewTagObject(int classID, CSWFObject* owner, unsigned char style);
