// Tag classes: one class per SWF tag code. A tag class sees only its body (the tag list reads and writes the
// header); what it cannot represent in fields (bytes after the last field, or a body that does not parse) it
// keeps as bytes, so that a movie read and written back keeps every tag.
#pragma once

#include "Collections.h"
#include "HeaderItems.h"
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

// Creates the tag object for a class ID of the tag family; null for other IDs.
CSWFObject* NewTagObject(int classID, CSWFObject* owner, unsigned char style);
