// The records of the file header and the movie summary: the SWF header, RECT, and RGB/RGBA colours.
#pragma once

#include "SWFObject.h"

#include <cstdint>
#include <memory>

// Bits a bit field needs for `value`: signed, leading sign bits dropped plus the sign; unsigned, up to the
// highest set bit.
unsigned char GetBitsCount(long value, bool isSigned);

// First signature byte of the three kinds of movie: "FWS", "CWS" (zlib) and "ZWS" (LZMA).
inline constexpr uint8_t kSignatureUncompressed = 0x46;
inline constexpr uint8_t kSignatureZlib = 0x43;
inline constexpr uint8_t kSignatureLzma = 0x5A;
inline constexpr uint16_t kSignatureWS = 0x5357; // "WS", little-endian
inline constexpr uint32_t kSWFHeaderSize = 8;    // signature, version, file length

enum SWFCompression : uint8_t {
    kCompressionNone = 0,
    kCompressionZlib = 1,
    kCompressionLzma = 2,
};

class CRectItem : public CSWFItem
{
public:
    CRectItem() : CSWFItem(nullptr, kStyleNone) {}
    CRectItem(CSWFObject* owner, unsigned char style) : CSWFItem(owner, style) {}
    int GetClassID() const override { return kClassID_CRectItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    int32_t m_XMin = 0;
    int32_t m_XMax = 0;
    int32_t m_YMin = 0;
    int32_t m_YMax = 0;
    // The width of the coordinates as read (-1: made here); written again while the values fit in it.
    int8_t m_NBits = -1;
};

struct tRGBRec {
    uint8_t red = 255;
    uint8_t green = 255;
    uint8_t blue = 255;
};

struct tRGBARec {
    uint8_t red = 255;
    uint8_t green = 255;
    uint8_t blue = 255;
    uint8_t alpha = 255;
};

class CColorItem : public CSWFItem
{
public:
    CColorItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault)
        : CSWFItem(owner, style), m_HasAlpha(style == kStyleRGBA || style == kStyleShape4)
    {
    }
    int GetClassID() const override { return kClassID_CColorItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    void SetItemStyle(unsigned char style) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    tRGBRec GetRGB() const { return {m_Color.red, m_Color.green, m_Color.blue}; }
    void SetRGB(const tRGBRec& rgb);
    tRGBARec GetRGBA() const { return m_Color; }
    void SetRGBA(const tRGBARec& rgba) { m_Color = rgba; }
    int GetColor() const { return m_Color.red + m_Color.green * 256 + m_Color.blue * 65536; }
    void SetColor(int color);

    tRGBARec m_Color;
    bool m_HasAlpha;
};

class CHeaderItem : public CSWFItem
{
public:
    CHeaderItem(CSWFObject* owner = nullptr, unsigned char style = kStyleNone);
    int GetClassID() const override { return kClassID_CHeaderItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    void Init();
    void SetVersion(unsigned char version);
    void SetFrameRect(const CRectItem* rect);
    // Called once the whole movie is in the stream: writes the file length and compresses the body as the
    // header says.
    int MakeCompleteSWF(CSWFStream* stream);

    bool m_Compressed = true;
    uint8_t m_Version = 6;
    uint32_t m_FileLength = 0;
    std::unique_ptr<CRectItem> m_pFrameRect;
    float m_FrameRate = 12.0f;
    // How the body is or will be compressed when m_Compressed is set: zlib unless the movie was read as "ZWS".
    SWFCompression m_CompressionMethod = kCompressionZlib;
};
