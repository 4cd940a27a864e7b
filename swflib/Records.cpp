// Record helpers, transforms (MATRIX, CXFORM) and the record family's part of the class factory.
#include "Records.h"

#include "FactoryFamilies.h"
#include "Movie.h"
#include "RecordsInternal.h"
#include "SWFDebugger.h"
#include "SWFStream.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

using namespace records;

namespace {

constexpr unsigned char kMatrixBitsWidth = 5; // width field of each matrix part
constexpr int kMatrixMaxBits = 31; // the most a 5-bit width field can say
constexpr unsigned char kCXFormBitsWidth = 4; // width field of the colour transform terms
constexpr int kCXFormMaxBits = 15;
constexpr double kFixed1616 = 65536.0;

// 16.16 fixed point as written: the value times 65536, truncated toward zero.
int64_t ToFixed(float value)
{
    const double scaled = std::trunc(static_cast<double>(value) * kFixed1616);
    if (!(scaled == scaled))
        return 0;
    return static_cast<int64_t>(std::clamp(scaled, -2147483648.0, 2147483647.0));
}

} // namespace

// ---- Shared helpers ----

namespace records {

unsigned SignedWidth(int64_t v)
{
    if (v == 0)
        return 0;
    const auto folded = static_cast<uint64_t>(v < 0 ? ~v : v);
    return folded == 0 ? 1u : static_cast<unsigned>(64 - __builtin_clzll(folded) + 1);
}

unsigned UnsignedWidth(uint64_t v)
{
    return v == 0 ? 0u : static_cast<unsigned>(64 - __builtin_clzll(v));
}

bool FitsSigned(int64_t v, int bits)
{
    if (bits <= 0)
        return v == 0;
    if (bits >= 64)
        return true;
    const int64_t limit = int64_t { 1 } << (bits - 1);
    return v >= -limit && v < limit;
}

bool FitsUnsigned(uint64_t v, int bits)
{
    if (bits <= 0)
        return v == 0;
    return bits >= 64 || v < (uint64_t { 1 } << bits);
}

int ChooseSignedBits(int kept, std::initializer_list<int64_t> values, int maxBits)
{
    if (kept >= 0 && kept <= maxBits
        && std::all_of(values.begin(), values.end(), [kept](int64_t v) { return FitsSigned(v, kept); }))
        return kept;
    int64_t largest = 0;
    unsigned exact = 0;
    for (int64_t v : values) {
        largest = std::max(largest, v < 0 ? -v : v);
        exact = std::max(exact, SignedWidth(v));
    }
    const auto byMagnitude = static_cast<int>(SignedWidth(largest));
    if (byMagnitude <= maxBits)
        return byMagnitude;
    return static_cast<int>(exact) <= maxBits ? static_cast<int>(exact) : -1;
}

int ChooseUnsignedBits(int kept, uint64_t largest, int maxBits)
{
    if (kept >= 0 && kept <= maxBits && FitsUnsigned(largest, kept))
        return kept;
    const auto width = static_cast<int>(UnsignedWidth(largest));
    return width <= maxBits ? width : -1;
}

int MovieVersion(const CSWFObject* object)
{
    // Owner chains are short (movie, tag, record); the bound only guards against a cycle built by hand.
    constexpr int kMaxOwnerDepth = 64;
    int depth = 0;
    for (const CSWFObject* o = object; o && depth < kMaxOwnerDepth; o = o->m_pOwner, ++depth) {
        if (const auto* movie = dynamic_cast<const CSWF*>(o))
            return movie->m_pHeader ? movie->m_pHeader->m_Version : -1;
    }
    return -1;
}

} // namespace records

long Round(float value)
{
    return static_cast<long>(value > 0 ? value + 0.5f : value - 0.5f);
}

unsigned long CalculateBitMapSize(
    unsigned char format, unsigned long width, unsigned long height, unsigned char colorTableSize, bool alpha)
{
    switch (format) {
    case kBitmapColorMapped8: {
        const unsigned long table = (static_cast<unsigned long>(colorTableSize) + 1) * (alpha ? 4 : 3);
        return ((width + 3) & ~3ul) * height + table;
    }
    case kBitmapRGB15:
        return ((width + 1) & ~1ul) * height * 2;
    case kBitmapRGB32: {
        unsigned long w = width;
        if (!alpha) {
            while ((w * 3) % 4 != 0)
                ++w;
        }
        return w * height * 4;
    }
    default:
        return width * height;
    }
}

unsigned long CalculateSoundSize(
    unsigned char format, unsigned char rate, unsigned char size, unsigned char type, unsigned long count)
{
    constexpr unsigned char kFormatADPCM = 1;
    constexpr unsigned char kFormatNellymoser = 6;
    if (format == kFormatADPCM || format == kSoundFormatMP3 || format == kFormatNellymoser)
        return 0;
    return (count * 5500ul) << (rate + 2 * size + type);
}

// ---- CMatrixItem ----

int CMatrixItem::ReadSWF(CSWFStream* stream)
{
    m_ScaleBits = m_RotateBits = kBitsNotSet;
    if (stream->GetBool()) {
        const auto n = static_cast<unsigned char>(stream->GetU(kMatrixBitsWidth));
        m_ScaleBits = static_cast<int8_t>(n);
        m_ScaleX = stream->GetFloat(n);
        m_ScaleY = stream->GetFloat(n);
    } else {
        m_ScaleX = m_ScaleY = 1.0f;
    }
    if (stream->GetBool()) {
        const auto n = static_cast<unsigned char>(stream->GetU(kMatrixBitsWidth));
        m_RotateBits = static_cast<int8_t>(n);
        m_RotateSkew0 = stream->GetFloat(n);
        m_RotateSkew1 = stream->GetFloat(n);
    } else {
        m_RotateSkew0 = m_RotateSkew1 = 0.0f;
    }
    const auto n = static_cast<unsigned char>(stream->GetU(kMatrixBitsWidth));
    m_TranslateBits = static_cast<int8_t>(n);
    m_TranslateX = stream->GetS(n);
    m_TranslateY = stream->GetS(n);
    stream->FlushBits();
    return NoShortfall(stream) ? 1 : 0;
}

int CMatrixItem::WriteSWF(CSWFStream* stream)
{
    // A part read from the file is written again even when it holds the neutral values.
    const auto writePair = [stream](bool present, int kept, float a, float b) {
        if (!stream->WriteBits(present ? 1 : 0, 1))
            return false;
        if (!present)
            return true;
        const int64_t fa = ToFixed(a);
        const int64_t fb = ToFixed(b);
        const int n = ChooseSignedBits(kept, { fa, fb }, kMatrixMaxBits);
        if (n < 0)
            return false;
        const auto bits = static_cast<unsigned char>(n);
        return stream->WriteBits(static_cast<uint32_t>(n), kMatrixBitsWidth)
            && stream->WriteBits(static_cast<uint32_t>(fa), bits) && stream->WriteBits(static_cast<uint32_t>(fb), bits);
    };
    if (!writePair(GetHasScale() || m_ScaleBits >= 0, m_ScaleBits, m_ScaleX, m_ScaleY))
        return 0;
    if (!writePair(GetHasRotate() || m_RotateBits >= 0, m_RotateBits, m_RotateSkew0, m_RotateSkew1))
        return 0;
    const int n = ChooseSignedBits(m_TranslateBits, { m_TranslateX, m_TranslateY }, kMatrixMaxBits);
    if (n < 0)
        return 0;
    const auto bits = static_cast<unsigned char>(n);
    if (!stream->WriteBits(static_cast<uint32_t>(n), kMatrixBitsWidth)
        || !stream->WriteBits(static_cast<uint32_t>(m_TranslateX), bits)
        || !stream->WriteBits(static_cast<uint32_t>(m_TranslateY), bits))
        return 0;
    stream->FlushBits();
    return 1;
}

void CMatrixItem::SetEmpty()
{
    m_ScaleX = m_ScaleY = 1.0f;
    m_RotateSkew0 = m_RotateSkew1 = 0.0f;
    m_TranslateX = m_TranslateY = 0;
    m_ScaleBits = m_RotateBits = m_TranslateBits = kBitsNotSet;
}

int CMatrixItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CMatrixItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_ScaleX = m_ScaleX;
    copy->m_ScaleY = m_ScaleY;
    copy->m_RotateSkew0 = m_RotateSkew0;
    copy->m_RotateSkew1 = m_RotateSkew1;
    copy->m_TranslateX = m_TranslateX;
    copy->m_TranslateY = m_TranslateY;
    copy->m_ScaleBits = m_ScaleBits;
    copy->m_RotateBits = m_RotateBits;
    copy->m_TranslateBits = m_TranslateBits;
    return 1;
}

void CMatrixItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Real("scaleX", m_ScaleX);
    visitor.Real("scaleY", m_ScaleY);
    visitor.Real("rotateSkew0", m_RotateSkew0);
    visitor.Real("rotateSkew1", m_RotateSkew1);
    visitor.Int("translateX", m_TranslateX);
    visitor.Int("translateY", m_TranslateY);
    visitor.Int("scaleBits", m_ScaleBits);
    visitor.Int("rotateBits", m_RotateBits);
    visitor.Int("translateBits", m_TranslateBits);
}

// ---- CCXFormItem ----

bool CCXFormItem::GetHasAddTerms() const
{
    return m_RedAddTerm != 0 || m_GreenAddTerm != 0 || m_BlueAddTerm != 0 || (m_HasAlpha && m_AlphaAddTerm != 0);
}

bool CCXFormItem::GetHasMultTerms() const
{
    return m_RedMultTerm != 1 || m_GreenMultTerm != 1 || m_BlueMultTerm != 1 || (m_HasAlpha && m_AlphaMultTerm != 1);
}

void CCXFormItem::SetEmpty()
{
    m_RedAddTerm = m_GreenAddTerm = m_BlueAddTerm = m_AlphaAddTerm = 0;
    m_RedMultTerm = m_GreenMultTerm = m_BlueMultTerm = m_AlphaMultTerm = 1;
    m_AddTermsRead = m_MultTermsRead = false;
    m_TermBits = kBitsNotSet;
}

int CCXFormItem::ReadSWF(CSWFStream* stream)
{
    m_AddTermsRead = stream->GetBool();
    m_MultTermsRead = stream->GetBool();
    // The width field is there even without terms; some writers put a non-zero width in it.
    const auto n = static_cast<unsigned char>(stream->GetU(kCXFormBitsWidth));
    m_TermBits = static_cast<int8_t>(n);
    if (m_MultTermsRead) {
        m_RedMultTerm = stream->GetS(n);
        m_GreenMultTerm = stream->GetS(n);
        m_BlueMultTerm = stream->GetS(n);
        if (m_HasAlpha)
            m_AlphaMultTerm = stream->GetS(n);
    } else if (m_AddTermsRead) {
        m_RedMultTerm = m_GreenMultTerm = m_BlueMultTerm = m_AlphaMultTerm = 1;
    }
    if (m_AddTermsRead) {
        m_RedAddTerm = stream->GetS(n);
        m_GreenAddTerm = stream->GetS(n);
        m_BlueAddTerm = stream->GetS(n);
        if (m_HasAlpha)
            m_AlphaAddTerm = stream->GetS(n);
    } else if (m_MultTermsRead) {
        m_RedAddTerm = m_GreenAddTerm = m_BlueAddTerm = m_AlphaAddTerm = 0;
    }
    stream->FlushBits();
    return NoShortfall(stream) ? 1 : 0;
}

int CCXFormItem::WriteSWF(CSWFStream* stream)
{
    const bool hasAdd = GetHasAddTerms() || m_AddTermsRead;
    const bool hasMult = GetHasMultTerms() || m_MultTermsRead;
    if (!stream->WriteBits(hasAdd ? 1 : 0, 1) || !stream->WriteBits(hasMult ? 1 : 0, 1))
        return 0;
    // At most eight terms; the unused entries stay 0, which fits any width.
    std::array<int32_t, 8> terms {};
    size_t count = 0;
    if (hasMult) {
        for (int32_t t : { m_RedMultTerm, m_GreenMultTerm, m_BlueMultTerm })
            terms[count++] = t;
        if (m_HasAlpha)
            terms[count++] = m_AlphaMultTerm;
    }
    if (hasAdd) {
        for (int32_t t : { m_RedAddTerm, m_GreenAddTerm, m_BlueAddTerm })
            terms[count++] = t;
        if (m_HasAlpha)
            terms[count++] = m_AlphaAddTerm;
    }
    const int n = ChooseSignedBits(
        m_TermBits, { terms[0], terms[1], terms[2], terms[3], terms[4], terms[5], terms[6], terms[7] }, kCXFormMaxBits);
    if (n < 0 || !stream->WriteBits(static_cast<uint32_t>(n), kCXFormBitsWidth))
        return 0;
    for (size_t i = 0; i < count; ++i) {
        if (!stream->WriteBits(static_cast<uint32_t>(terms[i]), static_cast<unsigned char>(n)))
            return 0;
    }
    stream->FlushBits();
    return 1;
}

int CCXFormItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = CopyInto<CCXFormItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_HasAlpha = m_HasAlpha;
    copy->m_RedAddTerm = m_RedAddTerm;
    copy->m_GreenAddTerm = m_GreenAddTerm;
    copy->m_BlueAddTerm = m_BlueAddTerm;
    copy->m_AlphaAddTerm = m_AlphaAddTerm;
    copy->m_RedMultTerm = m_RedMultTerm;
    copy->m_GreenMultTerm = m_GreenMultTerm;
    copy->m_BlueMultTerm = m_BlueMultTerm;
    copy->m_AlphaMultTerm = m_AlphaMultTerm;
    copy->m_AddTermsRead = m_AddTermsRead;
    copy->m_MultTermsRead = m_MultTermsRead;
    copy->m_TermBits = m_TermBits;
    return 1;
}

void CCXFormItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("hasAlpha", m_HasAlpha);
    visitor.Int("redAdd", m_RedAddTerm);
    visitor.Int("greenAdd", m_GreenAddTerm);
    visitor.Int("blueAdd", m_BlueAddTerm);
    visitor.Int("alphaAdd", m_AlphaAddTerm);
    visitor.Int("redMult", m_RedMultTerm);
    visitor.Int("greenMult", m_GreenMultTerm);
    visitor.Int("blueMult", m_BlueMultTerm);
    visitor.Int("alphaMult", m_AlphaMultTerm);
    visitor.Int("addTermsRead", m_AddTermsRead);
    visitor.Int("multTermsRead", m_MultTermsRead);
    visitor.Int("termBits", m_TermBits);
}

// ---- Factory ----

CSWFObject* NewRecordObject(int classID, CSWFObject* owner, unsigned char style)
{
    switch (classID) {
    case kClassID_CAssetItem:
        return new CAssetItem(owner, style);
    case kClassID_CAssetsItem:
        return new CAssetsItem(owner, style);
    case kClassID_CBitsLossLessItem:
        return new CBitsLossLessItem(owner, style);
    case kClassID_CJPEGDataItem:
        return new CJPEGDataItem(owner, style);
    case kClassID_CJPEGDataWithTableItem:
        return new CJPEGDataWithTableItem(owner, style);
    case kClassID_CButtonRecord:
        return new CButtonRecord(owner, style);
    case kClassID_CButtonRecordsItem:
        return new CButtonRecordsItem(owner, style);
    case kClassID_CMatrixItem:
        return new CMatrixItem(owner, style);
    case kClassID_CCXFormItem:
        return new CCXFormItem(owner, style);
    case kClassID_CButtonCondActionItem:
        return new CButtonCondActionItem(owner, style);
    case kClassID_CButtonCondActionsItem:
        return new CButtonCondActionsItem(owner, style);
    case kClassID_CSoundParametersItem:
        return new CSoundParametersItem(owner, style);
    case kClassID_CSoundEnvelopeItem:
        return new CSoundEnvelopeItem(owner, style);
    case kClassID_CSoundEnvelopeRecordsItem:
        return new CSoundEnvelopeRecordsItem(owner, style);
    case kClassID_CSoundInfoItem:
        return new CSoundInfoItem(owner, style);
    case kClassID_CSoundDataItem:
        return new CSoundDataItem(owner, style);
    case kClassID_CColorItem:
        return new CColorItem(owner, style);
    case kClassID_CMorphFocalGradientItem:
        return new CMorphFocalGradientItem(owner, style);
    case kClassID_CMorphLineStyle2Item:
        return new CMorphLineStyle2Item(owner, style);
    case kClassID_CLineStyle2Item:
        return new CLineStyle2Item(owner, style);
    case kClassID_CFocalGradientItem:
        return new CFocalGradientItem(owner, style);
    case kClassID_CLineStyleItem:
        return new CLineStyleItem(owner, style);
    case kClassID_CLineStyleArrayItem:
        return new CLineStyleArrayItem(owner, style);
    case kClassID_CGradRecordItem:
        return new CGradRecordItem(owner, style);
    case kClassID_CGradRecordsItem:
        return new CGradRecordsItem(owner, style);
    case kClassID_CGradientItem:
        return new CGradientItem(owner, style);
    case kClassID_CCurvedEdgeRecordItem:
        return new CCurvedEdgeRecordItem(owner, style);
    case kClassID_CStraightedEdgeRecordItem:
        return new CStraightedEdgeRecordItem(owner, style);
    case kClassID_CFillGradientItem:
        return new CFillGradientItem(owner, style);
    case kClassID_CRadialGradientItem:
        return new CRadialGradientItem(owner, style);
    case kClassID_CLinearGradientItem:
        return new CLinearGradientItem(owner, style);
    case kClassID_CFillBitMapItem:
        return new CFillBitMapItem(owner, style);
    case kClassID_CTiledBitMapItem:
        return new CTiledBitMapItem(owner, style);
    case kClassID_CClippedBitMapItem:
        return new CClippedBitMapItem(owner, style);
    case kClassID_CFillStyleItem:
        return new CFillStyleItem(owner, style);
    case kClassID_CFillStyleArrayItem:
        return new CFillStyleArrayItem(owner, style);
    case kClassID_CStyleChangeRecordItem:
        return new CStyleChangeRecordItem(owner, style);
    case kClassID_CShapeItem:
        return new CShapeItem(owner, style);
    case kClassID_CGlyphShapeTableItem:
        return new CGlyphShapeTableItem(owner, kStyleRGBA);
    case kClassID_CRectTableItem:
        return new CRectTableItem(owner, style);
    case kClassID_CFontCodeTableItem:
        return new CFontCodeTableItem(owner, style);
    case kClassID_CFontTableAdvancedItem:
        return new CFontTableAdvancedItem(owner, style);
    case kClassID_CKerningRecordItem:
        return new CKerningRecordItem(owner, style);
    case kClassID_CKerningRecordsItem:
        return new CKerningRecordsItem(owner, style);
    case kClassID_CMorphColorItem:
        return new CMorphColorItem(owner, style);
    case kClassID_CMorphGradRecordItem:
        return new CMorphGradRecordItem(owner, style);
    case kClassID_CMorphGradientItem:
        return new CMorphGradientItem(owner, style);
    case kClassID_CMorphFillGradientItem:
        return new CMorphFillGradientItem(owner, style);
    case kClassID_CMorphRadialGradientItem:
        return new CMorphRadialGradientItem(owner, style);
    case kClassID_CMorphLinearGradientItem:
        return new CMorphLinearGradientItem(owner, style);
    case kClassID_CMorphFillBitMapItem:
        return new CMorphFillBitMapItem(owner, style);
    case kClassID_CMorphTiledBitMapItem:
        return new CMorphTiledBitMapItem(owner, style);
    case kClassID_CMorphClippedBitMapItem:
        return new CMorphClippedBitMapItem(owner, style);
    case kClassID_CMorphFillStyleItem:
        return new CMorphFillStyleItem(owner, style);
    case kClassID_CMorphFillStylesItem:
        return new CMorphFillStylesItem(owner, kStyleRGBA);
    case kClassID_CMorphLineStyleItem:
        return new CMorphLineStyleItem(owner, style);
    case kClassID_CMorphLineStylesItem:
        return new CMorphLineStylesItem(owner, kStyleRGBA);
    case kClassID_CGlyphEntryItem:
        return new CGlyphEntryItem(owner, style);
    case kClassID_CTextRecordType0Item:
        return new CTextRecordType0Item(owner, style);
    case kClassID_CTextRecordType1Item:
        return new CTextRecordType1Item(owner, style);
    case kClassID_CTextRecordsItem:
        return new CTextRecordsItem(owner, style);
    case kClassID_CAudioDataItem:
        return new CAudioDataItem(owner, style);
    case kClassID_CPlayBackParametersItem:
        return new CPlayBackParametersItem(owner, style);
    case kClassID_CShapeWithStyleItem:
        return new CShapeWithStyleItem(owner, style);
    case kClassID_CClipEventFlagsItem:
        return new CClipEventFlagsItem(owner, style);
    case kClassID_CClipActionsRecordItem:
        return new CClipActionsRecordItem(owner, style);
    case kClassID_CClipActionsRecordsItem:
        return new CClipActionsRecordsItem(owner, style);
    case kClassID_CClipActionsItem:
        return new CClipActionsItem(owner, style);
    default:
        return nullptr;
    }
}
