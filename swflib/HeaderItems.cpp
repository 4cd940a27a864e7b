#include "HeaderItems.h"

#include "Compression.h"
#include "SWFDebugger.h"
#include "SWFStream.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <cstdlib>

namespace {

// Compressed movies exist only from version 6 on.
constexpr uint8_t kFirstCompressedVersion = 6;
constexpr uint8_t kRectBitsWidth = 5;
constexpr float kDefaultFrameRate = 12.0f;

bool NoShortfall(const CSWFStream* stream)
{
    return stream->m_DataLow == 0;
}

// The bytes in decimal, each after a blank (" 71", " 87 88").
std::string ByteList(std::initializer_list<int> bytes)
{
    std::string text;
    for (int b : bytes) {
        char piece[8];
        std::snprintf(piece, sizeof piece, " %d", b);
        text += piece;
    }
    return text;
}

} // namespace

unsigned char GetBitsCount(long value, bool isSigned)
{
    const auto v = static_cast<uint32_t>(static_cast<int32_t>(value));
    if (v == 0)
        return 0;
    if (isSigned) {
        // Count leading bits equal to the sign bit.
        const uint32_t folded = (v & 0x80000000u) ? ~v : v;
        int leading = folded == 0 ? 32 : __builtin_clz(folded);
        return static_cast<unsigned char>(32 - leading + 1);
    }
    return static_cast<unsigned char>(32 - __builtin_clz(v));
}

// ---- CRectItem ----

int CRectItem::ReadSWF(CSWFStream* stream)
{
    const auto n = static_cast<unsigned char>(stream->GetU(kRectBitsWidth));
    m_NBits = static_cast<int8_t>(n);
    stream->ReadS(&m_XMin, n);
    stream->ReadS(&m_XMax, n);
    stream->ReadS(&m_YMin, n);
    stream->ReadS(&m_YMax, n);
    stream->FlushBits();
    return NoShortfall(stream) ? 1 : 0;
}

int CRectItem::WriteSWF(CSWFStream* stream)
{
    auto magnitude = [](int32_t v) { return std::abs(static_cast<int64_t>(v)); };
    const int64_t largest = std::max({magnitude(m_XMin), magnitude(m_XMax), magnitude(m_YMin), magnitude(m_YMax)});
    // The largest magnitude decides the width; a negative coordinate needs no more bits than its magnitude.
    unsigned char n = GetBitsCount(static_cast<long>(std::min<int64_t>(largest, 0x7FFFFFFF)), true);
    if (n > 31)
        n = 31; // the 5-bit width field holds at most 31
    const auto fits = [](int32_t v, int bits) {
        if (bits <= 0)
            return v == 0;
        const int64_t limit = int64_t{1} << (bits - 1);
        return v >= -limit && v < limit;
    };
    // A width read from the file is kept while every coordinate fits in it, so that the record keeps its bytes.
    if (m_NBits >= 0 && m_NBits <= 31 && fits(m_XMin, m_NBits) && fits(m_XMax, m_NBits) && fits(m_YMin, m_NBits)
        && fits(m_YMax, m_NBits))
        n = static_cast<unsigned char>(m_NBits);
    if (!stream->WriteBits(n, kRectBitsWidth))
        return 0;
    for (int32_t v : {m_XMin, m_XMax, m_YMin, m_YMax}) {
        if (!stream->WriteBits(static_cast<uint32_t>(v), n))
            return 0;
    }
    stream->FlushBits();
    return 1;
}

int CRectItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CSWFItem::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CRectItem>(dest);
    if (!copy)
        return 0;
    copy->m_XMin = m_XMin;
    copy->m_XMax = m_XMax;
    copy->m_YMin = m_YMin;
    copy->m_YMax = m_YMax;
    copy->m_NBits = m_NBits;
    return 1;
}

// ---- CColorItem ----

int CColorItem::ReadSWF(CSWFStream* stream)
{
    // Missing bytes read as 0.
    m_Color.red = stream->GetU8();
    m_Color.green = stream->GetU8();
    m_Color.blue = stream->GetU8();
    if (m_HasAlpha)
        m_Color.alpha = stream->GetU8();
    return NoShortfall(stream) ? 1 : 0;
}

int CColorItem::WriteSWF(CSWFStream* stream)
{
    if (!stream->WriteU8(m_Color.red) || !stream->WriteU8(m_Color.green) || !stream->WriteU8(m_Color.blue))
        return 0;
    if (m_HasAlpha && !stream->WriteU8(m_Color.alpha))
        return 0;
    return 1;
}

void CColorItem::SetItemStyle(unsigned char style)
{
    m_Style = style;
    if (style == 1 || style == 2)
        m_HasAlpha = false;
    else if (style == kStyleRGBA || style == kStyleShape4)
        m_HasAlpha = true;
}

int CColorItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CSWFItem::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CColorItem>(dest);
    if (!copy)
        return 0;
    copy->m_Color = m_Color;
    copy->m_HasAlpha = m_HasAlpha;
    return 1;
}

void CColorItem::SetRGB(const tRGBRec& rgb)
{
    m_Color.red = rgb.red;
    m_Color.green = rgb.green;
    m_Color.blue = rgb.blue;
}

void CColorItem::SetColor(int color)
{
    m_Color.red = static_cast<uint8_t>(color & 0xFF);
    m_Color.green = static_cast<uint8_t>((color >> 8) & 0xFF);
    m_Color.blue = static_cast<uint8_t>((color >> 16) & 0xFF);
}

// ---- CHeaderItem ----

CHeaderItem::CHeaderItem(CSWFObject* owner, unsigned char style)
    : CSWFItem(owner, style), m_pFrameRect(std::make_unique<CRectItem>(owner, kStyleNone))
{
}

void CHeaderItem::Init()
{
    m_Compressed = true;
    m_CompressionMethod = kCompressionZlib;
    m_Version = kFirstCompressedVersion;
    m_FileLength = 0;
    m_FrameRate = kDefaultFrameRate;
}

void CHeaderItem::SetVersion(unsigned char version)
{
    if (version == m_Version)
        return;
    m_Version = version;
    if (m_Compressed && version < kFirstCompressedVersion)
        SWFDebugger.Add(this, kSWFErr_InvalidVersion, "", version, kSWFType_Warning);
}

void CHeaderItem::SetFrameRect(const CRectItem* rect)
{
    if (!rect)
        return;
    CopyOwned(rect, m_pOwner, m_Style, m_pFrameRect);
}

int CHeaderItem::ReadSWF(CSWFStream* stream)
{
    const bool hadNoShortfall = stream->m_DataLow == 0;

    uint8_t first = 0;
    stream->ReadU8(&first);
    if (first == kSignatureZlib || first == kSignatureLzma) {
        m_Compressed = true;
        m_CompressionMethod = first == kSignatureLzma ? kCompressionLzma : kCompressionZlib;
    } else if (first == kSignatureUncompressed) {
        m_Compressed = false;
        m_CompressionMethod = kCompressionNone;
    } else {
        if (stream->m_Position > 0)
            stream->SetPosition(stream->m_Position - 1);
        first = stream->GetU8();
        SWFDebugger.Add(this, kSWFErr_InvalidCompressionFlag, ByteList({first}), 0, kSWFType_Error);
        return 0;
    }
    if (!hadNoShortfall)
        return 0;

    const uint32_t signatureRest = stream->m_Position;
    uint16_t ws = 0;
    stream->ReadU16(&ws);
    if (ws != kSignatureWS) {
        // Report the two bytes that were there; a failed read has moved the position to the end.
        stream->SetPosition(signatureRest);
        const uint8_t second = stream->GetU8();
        const uint8_t third = stream->GetU8();
        SWFDebugger.Add(this, kSWFErr_InvalidHeader, ByteList({second, third}).substr(1), 0,
                        kSWFType_Error);
        return 0;
    }

    SetVersion(stream->GetU8());
    m_FileLength = stream->GetU32();

    const uint32_t rest = stream->m_Size - stream->m_Position;
    const unsigned long expected = m_FileLength >= kSWFHeaderSize ? m_FileLength - kSWFHeaderSize : 0;
    if (m_Compressed) {
        const int inflated = m_CompressionMethod == kCompressionLzma ? DeCompressLZMA(stream, rest, expected)
                                                                     : DeCompress(stream, rest, expected);
        if (!inflated) {
            m_Compressed = false;
            m_CompressionMethod = kCompressionNone;
            SWFDebugger.Add(this, kSWFErr_CantDecompress, "", 0, kSWFType_Warning);
            return 0;
        }
    } else if (m_FileLength != stream->m_Size) {
        if (DeCompress(stream, rest, expected)) {
            m_Compressed = true;
            m_CompressionMethod = kCompressionZlib;
            SWFDebugger.Add(this, kSWFErr_CompressedWithoutFlag, "", 0, kSWFType_Warning);
        }
    }
    if (m_FileLength != stream->m_Size)
        SWFDebugger.Add(this, kSWFErr_FileSizeMismatch, "", static_cast<long>(m_FileLength), kSWFType_Warning);

    m_pFrameRect->ReadSWF(stream);
    m_FrameRate = stream->GetFloat88();

    if (stream->GetDataRest() > 0)
        return 1;
    SWFDebugger.Add(this, kSWFErr_FileCorrupted, "", stream->GetDataRest(), kSWFType_Error);
    return 0;
}

int CHeaderItem::WriteSWF(CSWFStream* stream)
{
    const int signature = stream->WriteU8(kSignatureUncompressed) && stream->WriteU16(kSignatureWS);
    const int version = stream->WriteU8(m_Version);
    const int length = stream->WriteU32(0);
    const int rect = m_pFrameRect->WriteSWF(stream);
    const int rate = stream->WriteFloat88(m_FrameRate);
    return signature && version && length && rect && rate ? 1 : 0;
}

int CHeaderItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CSWFItem::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CHeaderItem>(dest);
    if (!copy)
        return 0;
    copy->m_Compressed = m_Compressed;
    copy->m_CompressionMethod = m_CompressionMethod;
    copy->m_Version = m_Version;
    copy->m_FileLength = m_FileLength;
    copy->m_FrameRate = m_FrameRate;
    return CopyOwned(m_pFrameRect.get(), owner, style, copy->m_pFrameRect);
}

int CHeaderItem::MakeCompleteSWF(CSWFStream* stream)
{
    stream->SetPosition(4);
    stream->SetBit(8);
    stream->WriteU32(stream->m_Size);
    if (m_Compressed) {
        const bool lzma = m_CompressionMethod == kCompressionLzma;
        stream->SetPosition(kSWFHeaderSize);
        const long body = static_cast<long>(stream->m_Size) - static_cast<long>(kSWFHeaderSize);
        const int packed = lzma ? CompressLZMA(stream, body) : Compress(stream, body);
        stream->SetPosition(0);
        if (packed)
            stream->WriteU8(lzma ? kSignatureLzma : kSignatureZlib);
        else
            SWFDebugger.Add(this, kSWFErr_ZlibNotApplied, "", 0, kSWFType_Warning);
    }
    stream->SetPosition(0);
    stream->SetBit(8);
    return stream->m_DataLow == 0 ? 1 : 0;
}

void CRectItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("xMin", m_XMin);
    visitor.Int("xMax", m_XMax);
    visitor.Int("yMin", m_YMin);
    visitor.Int("yMax", m_YMax);
    visitor.Int("nBits", m_NBits);
}

void CColorItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("red", m_Color.red);
    visitor.Int("green", m_Color.green);
    visitor.Int("blue", m_Color.blue);
    visitor.Int("alpha", m_Color.alpha);
    visitor.Int("hasAlpha", m_HasAlpha);
}

void CHeaderItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("compressed", m_Compressed);
    visitor.Text("compression", m_CompressionMethod == kCompressionLzma   ? "lzma"
                                : m_CompressionMethod == kCompressionZlib ? "zlib"
                                                                          : "none");
    visitor.Int("version", m_Version);
    visitor.Int("fileLength", m_FileLength);
    visitor.Child("frameRect", m_pFrameRect.get());
    visitor.Real("frameRate", m_FrameRate);
}
