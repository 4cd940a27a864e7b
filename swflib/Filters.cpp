// Filter records and the filter list. Every filter has a fixed layout given its kind and, for the gradient and
// convolution filters, their counts; the list's byte length follows from the same layouts.
#include "Filters.h"

#include "RecordsInternal.h"
#include "SWFStream.h"

#include <cstring>

using records::NoShortfall;

namespace {

constexpr uint32_t kDropShadowSize = 23;
constexpr uint32_t kBlurSize = 9;
constexpr uint32_t kGlowSize = 15;
constexpr uint32_t kBevelSize = 27;
constexpr uint32_t kGradientFixedSize = 19; // after the colour count and the colours and ratios (5 bytes each)
// After the two matrix sizes and the 4-byte matrix entries: divisor, bias, default colour and the flags byte.
constexpr uint32_t kConvolutionFixedSize = 13;
constexpr uint32_t kColorMatrixSize = 80;

void ReadRGBA(CSWFStream* s, tRGBARec& c)
{
    c.red = s->GetU8();
    c.green = s->GetU8();
    c.blue = s->GetU8();
    c.alpha = s->GetU8();
}

bool WriteRGBA(CSWFStream* s, const tRGBARec& c)
{
    return s->WriteU8(c.red) && s->WriteU8(c.green) && s->WriteU8(c.blue) && s->WriteU8(c.alpha);
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

bool WriteFlags(CSWFStream* s, std::initializer_list<std::pair<uint32_t, unsigned char>> fields)
{
    for (const auto& [value, bits] : fields) {
        if (!s->WriteBits(value, bits))
            return false;
    }
    s->FlushBits();
    return true;
}

void DescribeColor(CSWFFieldVisitor& v, const char* name, const tRGBARec& c)
{
    v.Int(name, static_cast<long long>(c.red) << 24 | c.green << 16 | c.blue << 8 | c.alpha);
}

// ---- Per-kind layouts ----

void Read(CSWFStream* s, SDropShadowFilter& f)
{
    ReadRGBA(s, f.m_Color);
    f.m_BlurX = s->GetS32();
    f.m_BlurY = s->GetS32();
    f.m_Angle = s->GetS32();
    f.m_Distance = s->GetS32();
    f.m_Strength = s->GetS16();
    f.m_InnerShadow = s->GetBool();
    f.m_Knockout = s->GetBool();
    f.m_CompositeSource = s->GetBool();
    f.m_Passes = static_cast<uint8_t>(s->GetU(5));
    s->FlushBits();
}

bool Write(CSWFStream* s, const SDropShadowFilter& f)
{
    return WriteRGBA(s, f.m_Color) && s->WriteS32(f.m_BlurX) && s->WriteS32(f.m_BlurY) && s->WriteS32(f.m_Angle)
        && s->WriteS32(f.m_Distance) && s->WriteS16(f.m_Strength)
        && WriteFlags(s, { { f.m_InnerShadow, 1 }, { f.m_Knockout, 1 }, { f.m_CompositeSource, 1 }, { f.m_Passes, 5 } });
}

void Describe(CSWFFieldVisitor& v, const SDropShadowFilter& f)
{
    DescribeColor(v, "color", f.m_Color);
    v.Real("blurX", FromFixed16(f.m_BlurX));
    v.Real("blurY", FromFixed16(f.m_BlurY));
    v.Real("angle", FromFixed16(f.m_Angle));
    v.Real("distance", FromFixed16(f.m_Distance));
    v.Real("strength", FromFixed8(f.m_Strength));
    v.Int("innerShadow", f.m_InnerShadow);
    v.Int("knockout", f.m_Knockout);
    v.Int("compositeSource", f.m_CompositeSource);
    v.Int("passes", f.m_Passes);
}

void Read(CSWFStream* s, SBlurFilter& f)
{
    f.m_BlurX = s->GetS32();
    f.m_BlurY = s->GetS32();
    f.m_Passes = static_cast<uint8_t>(s->GetU(5));
    f.m_Reserved = static_cast<uint8_t>(s->GetU(3));
    s->FlushBits();
}

bool Write(CSWFStream* s, const SBlurFilter& f)
{
    return s->WriteS32(f.m_BlurX) && s->WriteS32(f.m_BlurY) && WriteFlags(s, { { f.m_Passes, 5 }, { f.m_Reserved, 3 } });
}

void Describe(CSWFFieldVisitor& v, const SBlurFilter& f)
{
    v.Real("blurX", FromFixed16(f.m_BlurX));
    v.Real("blurY", FromFixed16(f.m_BlurY));
    v.Int("passes", f.m_Passes);
    v.Int("reserved", f.m_Reserved);
}

void Read(CSWFStream* s, SGlowFilter& f)
{
    ReadRGBA(s, f.m_Color);
    f.m_BlurX = s->GetS32();
    f.m_BlurY = s->GetS32();
    f.m_Strength = s->GetS16();
    f.m_InnerGlow = s->GetBool();
    f.m_Knockout = s->GetBool();
    f.m_CompositeSource = s->GetBool();
    f.m_Passes = static_cast<uint8_t>(s->GetU(5));
    s->FlushBits();
}

bool Write(CSWFStream* s, const SGlowFilter& f)
{
    return WriteRGBA(s, f.m_Color) && s->WriteS32(f.m_BlurX) && s->WriteS32(f.m_BlurY) && s->WriteS16(f.m_Strength)
        && WriteFlags(s, { { f.m_InnerGlow, 1 }, { f.m_Knockout, 1 }, { f.m_CompositeSource, 1 }, { f.m_Passes, 5 } });
}

void Describe(CSWFFieldVisitor& v, const SGlowFilter& f)
{
    DescribeColor(v, "color", f.m_Color);
    v.Real("blurX", FromFixed16(f.m_BlurX));
    v.Real("blurY", FromFixed16(f.m_BlurY));
    v.Real("strength", FromFixed8(f.m_Strength));
    v.Int("innerGlow", f.m_InnerGlow);
    v.Int("knockout", f.m_Knockout);
    v.Int("compositeSource", f.m_CompositeSource);
    v.Int("passes", f.m_Passes);
}

void ReadBevelTail(CSWFStream* s, int32_t& blurX, int32_t& blurY, int32_t& angle, int32_t& distance,
    int16_t& strength, bool& inner, bool& knockout, bool& composite, bool& onTop, uint8_t& passes)
{
    blurX = s->GetS32();
    blurY = s->GetS32();
    angle = s->GetS32();
    distance = s->GetS32();
    strength = s->GetS16();
    inner = s->GetBool();
    knockout = s->GetBool();
    composite = s->GetBool();
    onTop = s->GetBool();
    passes = static_cast<uint8_t>(s->GetU(4));
    s->FlushBits();
}

template <class F> bool WriteBevelTail(CSWFStream* s, const F& f)
{
    return s->WriteS32(f.m_BlurX) && s->WriteS32(f.m_BlurY) && s->WriteS32(f.m_Angle) && s->WriteS32(f.m_Distance)
        && s->WriteS16(f.m_Strength)
        && WriteFlags(s, { { f.m_InnerShadow, 1 }, { f.m_Knockout, 1 }, { f.m_CompositeSource, 1 },
                             { f.m_OnTop, 1 }, { f.m_Passes, 4 } });
}

template <class F> void DescribeBevelTail(CSWFFieldVisitor& v, const F& f)
{
    v.Real("blurX", FromFixed16(f.m_BlurX));
    v.Real("blurY", FromFixed16(f.m_BlurY));
    v.Real("angle", FromFixed16(f.m_Angle));
    v.Real("distance", FromFixed16(f.m_Distance));
    v.Real("strength", FromFixed8(f.m_Strength));
    v.Int("innerShadow", f.m_InnerShadow);
    v.Int("knockout", f.m_Knockout);
    v.Int("compositeSource", f.m_CompositeSource);
    v.Int("onTop", f.m_OnTop);
    v.Int("passes", f.m_Passes);
}

void Read(CSWFStream* s, SBevelFilter& f)
{
    ReadRGBA(s, f.m_ShadowColor);
    ReadRGBA(s, f.m_HighlightColor);
    ReadBevelTail(s, f.m_BlurX, f.m_BlurY, f.m_Angle, f.m_Distance, f.m_Strength, f.m_InnerShadow, f.m_Knockout,
        f.m_CompositeSource, f.m_OnTop, f.m_Passes);
}

bool Write(CSWFStream* s, const SBevelFilter& f)
{
    return WriteRGBA(s, f.m_ShadowColor) && WriteRGBA(s, f.m_HighlightColor) && WriteBevelTail(s, f);
}

void Describe(CSWFFieldVisitor& v, const SBevelFilter& f)
{
    DescribeColor(v, "shadowColor", f.m_ShadowColor);
    DescribeColor(v, "highlightColor", f.m_HighlightColor);
    DescribeBevelTail(v, f);
}

void Read(CSWFStream* s, SGradientFilter& f)
{
    const uint8_t count = s->GetU8();
    f.m_Colors.clear();
    f.m_Ratios.clear();
    // Each colour and ratio takes 5 bytes: a count beyond the data reads no further than the data.
    for (unsigned i = 0; i < count && s->GetDataRest() >= 4; ++i) {
        tRGBARec c;
        ReadRGBA(s, c);
        f.m_Colors.push_back(c);
    }
    for (unsigned i = 0; i < count && s->GetDataRest() >= 1; ++i)
        f.m_Ratios.push_back(s->GetU8());
    if (f.m_Colors.size() != count || f.m_Ratios.size() != count) {
        s->GetU32(); // records the shortfall
        return;
    }
    ReadBevelTail(s, f.m_BlurX, f.m_BlurY, f.m_Angle, f.m_Distance, f.m_Strength, f.m_InnerShadow, f.m_Knockout,
        f.m_CompositeSource, f.m_OnTop, f.m_Passes);
}

bool Write(CSWFStream* s, const SGradientFilter& f)
{
    const size_t count = std::min(f.m_Colors.size(), f.m_Ratios.size());
    if (count > 255 || !s->WriteU8(static_cast<uint8_t>(count)))
        return false;
    for (size_t i = 0; i < count; ++i) {
        if (!WriteRGBA(s, f.m_Colors[i]))
            return false;
    }
    for (size_t i = 0; i < count; ++i) {
        if (!s->WriteU8(f.m_Ratios[i]))
            return false;
    }
    return WriteBevelTail(s, f);
}

void Describe(CSWFFieldVisitor& v, const SGradientFilter& f)
{
    v.Int("numColors", static_cast<long long>(f.m_Colors.size()));
    for (size_t i = 0; i < f.m_Colors.size() && i < f.m_Ratios.size(); ++i) {
        DescribeColor(v, "gradientColor", f.m_Colors[i]);
        v.Int("gradientRatio", f.m_Ratios[i]);
    }
    DescribeBevelTail(v, f);
}

void Read(CSWFStream* s, SConvolutionFilter& f)
{
    f.m_MatrixX = s->GetU8();
    f.m_MatrixY = s->GetU8();
    f.m_Divisor = ReadFloat32(s);
    f.m_Bias = ReadFloat32(s);
    f.m_Matrix.clear();
    const unsigned entries = f.m_MatrixX * f.m_MatrixY;
    for (unsigned i = 0; i < entries && s->GetDataRest() >= 4; ++i)
        f.m_Matrix.push_back(ReadFloat32(s));
    if (f.m_Matrix.size() != entries) {
        s->GetU32(); // records the shortfall
        return;
    }
    ReadRGBA(s, f.m_DefaultColor);
    f.m_Reserved = static_cast<uint8_t>(s->GetU(6));
    f.m_Clamp = s->GetBool();
    f.m_PreserveAlpha = s->GetBool();
    s->FlushBits();
}

bool Write(CSWFStream* s, const SConvolutionFilter& f)
{
    if (f.m_Matrix.size() != static_cast<size_t>(f.m_MatrixX) * f.m_MatrixY)
        return false;
    if (!s->WriteU8(f.m_MatrixX) || !s->WriteU8(f.m_MatrixY) || !WriteFloat32(s, f.m_Divisor)
        || !WriteFloat32(s, f.m_Bias))
        return false;
    for (float value : f.m_Matrix) {
        if (!WriteFloat32(s, value))
            return false;
    }
    return WriteRGBA(s, f.m_DefaultColor)
        && WriteFlags(s, { { f.m_Reserved, 6 }, { f.m_Clamp, 1 }, { f.m_PreserveAlpha, 1 } });
}

void Describe(CSWFFieldVisitor& v, const SConvolutionFilter& f)
{
    v.Int("matrixX", f.m_MatrixX);
    v.Int("matrixY", f.m_MatrixY);
    v.Real("divisor", f.m_Divisor);
    v.Real("bias", f.m_Bias);
    for (float value : f.m_Matrix)
        v.Real("matrix", value);
    DescribeColor(v, "defaultColor", f.m_DefaultColor);
    v.Int("reserved", f.m_Reserved);
    v.Int("clamp", f.m_Clamp);
    v.Int("preserveAlpha", f.m_PreserveAlpha);
}

void Read(CSWFStream* s, SColorMatrixFilter& f)
{
    for (float& value : f.m_Matrix)
        value = ReadFloat32(s);
}

bool Write(CSWFStream* s, const SColorMatrixFilter& f)
{
    for (float value : f.m_Matrix) {
        if (!WriteFloat32(s, value))
            return false;
    }
    return true;
}

void Describe(CSWFFieldVisitor& v, const SColorMatrixFilter& f)
{
    for (float value : f.m_Matrix)
        v.Real("matrix", value);
}

std::unique_ptr<CSWFItem> NewFilter(int classID, CSWFObject* owner, unsigned char style)
{
    return std::unique_ptr<CSWFItem>(static_cast<CSWFItem*>(NewFilterObject(classID, owner, style)));
}

} // namespace

// ---- CFilterKindItem ----

template <class Fields, int ClassID> int CFilterKindItem<Fields, ClassID>::ReadSWF(CSWFStream* stream)
{
    Read(stream, static_cast<Fields&>(*this));
    return NoShortfall(stream) ? 1 : 0;
}

template <class Fields, int ClassID> int CFilterKindItem<Fields, ClassID>::WriteSWF(CSWFStream* stream)
{
    return Write(stream, static_cast<const Fields&>(*this)) ? 1 : 0;
}

template <class Fields, int ClassID>
int CFilterKindItem<Fields, ClassID>::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CFilterKindItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    static_cast<Fields&>(*copy) = static_cast<const Fields&>(*this);
    return 1;
}

template <class Fields, int ClassID>
void CFilterKindItem<Fields, ClassID>::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    Describe(visitor, static_cast<const Fields&>(*this));
}

template class CFilterKindItem<SDropShadowFilter, kClassID_CDropShadowFilterItem>;
template class CFilterKindItem<SBlurFilter, kClassID_CBlurFilterItem>;
template class CFilterKindItem<SGlowFilter, kClassID_CGlowFilterItem>;
template class CFilterKindItem<SBevelFilter, kClassID_CBevelFilterItem>;
template class CFilterKindItem<SGradientFilter, kClassID_CGradientGlowFilterItem>;
template class CFilterKindItem<SConvolutionFilter, kClassID_CConvolutionFilterItem>;
template class CFilterKindItem<SColorMatrixFilter, kClassID_CColorMatrixFilterItem>;
template class CFilterKindItem<SGradientFilter, kClassID_CGradientBevelFilterItem>;

// ---- CFilterItem ----

CFilterItem::~CFilterItem() = default;

int FilterClassFor(uint8_t id)
{
    switch (id) {
    case kFilterDropShadow:
        return kClassID_CDropShadowFilterItem;
    case kFilterBlur:
        return kClassID_CBlurFilterItem;
    case kFilterGlow:
        return kClassID_CGlowFilterItem;
    case kFilterBevel:
        return kClassID_CBevelFilterItem;
    case kFilterGradientGlow:
        return kClassID_CGradientGlowFilterItem;
    case kFilterConvolution:
        return kClassID_CConvolutionFilterItem;
    case kFilterColorMatrix:
        return kClassID_CColorMatrixFilterItem;
    case kFilterGradientBevel:
        return kClassID_CGradientBevelFilterItem;
    default:
        return kClassID_UnknownObject;
    }
}

int CFilterItem::SetFilterID(uint8_t id)
{
    m_FilterID = id;
    m_pFilter = NewFilter(FilterClassFor(id), m_pOwner, m_Style);
    return m_pFilter ? 1 : 0;
}

int CFilterItem::ReadSWF(CSWFStream* stream)
{
    const uint8_t id = stream->GetU8();
    if (!NoShortfall(stream) || !SetFilterID(id))
        return 0;
    return m_pFilter->ReadSWF(stream);
}

int CFilterItem::WriteSWF(CSWFStream* stream)
{
    return m_pFilter && stream->WriteU8(m_FilterID) && m_pFilter->WriteSWF(stream) ? 1 : 0;
}

int CFilterItem::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    auto* copy = records::CopyInto<CFilterItem>(CSWFItem::MakeCopy(owner, style, dest), dest);
    if (!copy)
        return 0;
    copy->m_FilterID = m_FilterID;
    return records::CopyChild(m_pFilter.get(), owner, copy->m_pFilter);
}

void CFilterItem::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("filterID", m_FilterID);
    visitor.Child("filter", m_pFilter.get());
}

CFilterListItem::CFilterListItem(CSWFObject* owner, unsigned char style) : CSWFItemsByteCount(owner, style)
{
    m_ItemClassID = kClassID_CFilterItem;
}

int CFilterListItem::ReadSWF(CSWFStream* stream)
{
    const int32_t rest = stream->GetDataRest();
    const uint8_t* at = stream->GetBuffer() ? stream->GetBuffer() + stream->GetPosition() : nullptr;
    if (rest <= 0 || SWFFilterListLength(at, static_cast<size_t>(rest)) == 0) {
        SetEmpty();
        stream->SetPosition(stream->GetSize());
        stream->GetU8(); // records the shortfall
        return 0;
    }
    return CSWFItemsByteCount::ReadSWF(stream);
}

CSWFObject* NewFilterObject(int classID, CSWFObject* owner, unsigned char style)
{
    switch (classID) {
    case kClassID_CDropShadowFilterItem:
        return new CDropShadowFilterItem(owner, style);
    case kClassID_CBlurFilterItem:
        return new CBlurFilterItem(owner, style);
    case kClassID_CGlowFilterItem:
        return new CGlowFilterItem(owner, style);
    case kClassID_CBevelFilterItem:
        return new CBevelFilterItem(owner, style);
    case kClassID_CGradientGlowFilterItem:
        return new CGradientGlowFilterItem(owner, style);
    case kClassID_CConvolutionFilterItem:
        return new CConvolutionFilterItem(owner, style);
    case kClassID_CColorMatrixFilterItem:
        return new CColorMatrixFilterItem(owner, style);
    case kClassID_CGradientBevelFilterItem:
        return new CGradientBevelFilterItem(owner, style);
    case kClassID_CFilterItem:
        return new CFilterItem(owner, style);
    case kClassID_CFilterListItem:
        return new CFilterListItem(owner, style);
    default:
        return nullptr;
    }
}

uint32_t SWFFilterListLength(const uint8_t* p, size_t available)
{
    if (p == nullptr || available == 0)
        return 0;
    const auto size = static_cast<uint64_t>(available);
    uint64_t at = 1;
    for (unsigned filter = 0; filter < p[0]; ++filter) {
        if (at >= size)
            return 0;
        const uint8_t id = p[at++];
        uint64_t body = 0;
        switch (id) {
        case kFilterDropShadow:
            body = kDropShadowSize;
            break;
        case kFilterBlur:
            body = kBlurSize;
            break;
        case kFilterGlow:
            body = kGlowSize;
            break;
        case kFilterBevel:
            body = kBevelSize;
            break;
        case kFilterGradientGlow:
        case kFilterGradientBevel:
            if (at >= size)
                return 0;
            body = 1 + 5ull * p[at] + kGradientFixedSize;
            break;
        case kFilterConvolution:
            if (at + 2 > size)
                return 0;
            body = 2 + 4ull * p[at] * p[at + 1] + kConvolutionFixedSize;
            break;
        case kFilterColorMatrix:
            body = kColorMatrixSize;
            break;
        default:
            return 0;
        }
        at += body;
        if (at > size)
            return 0;
    }
    return static_cast<uint32_t>(at);
}
