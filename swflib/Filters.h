// Filter records (drop shadow, blur, glow, bevel, gradient glow, convolution, colour matrix, gradient bevel) and
// the filter list that PlaceObject3 and SWF 8 button records carry. Fixed-point values are kept as the raw
// integers the file holds, so that a filter reads and writes back bit for bit; the accessors give them as reals.
#pragma once

#include "ClassIds.h"
#include "Collections.h"
#include "HeaderItems.h"
#include "SWFObject.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The byte length of the filter list at p, of which `available` bytes are present; 0 when the list runs past
// them or holds a filter of unknown kind (whose length cannot be known).
uint32_t SWFFilterListLength(const uint8_t* p, size_t available);

// Filter identifiers of a filter list.
enum SWFFilterId : uint8_t {
    kFilterDropShadow = 0,
    kFilterBlur = 1,
    kFilterGlow = 2,
    kFilterBevel = 3,
    kFilterGradientGlow = 4,
    kFilterConvolution = 5,
    kFilterColorMatrix = 6,
    kFilterGradientBevel = 7,
};

// 16.16 and 8.8 fixed-point values as reals.
inline double FromFixed16(int32_t raw) { return raw / 65536.0; }
inline double FromFixed8(int16_t raw) { return raw / 256.0; }

// The fields of each kind of filter.
struct SDropShadowFilter {
    tRGBARec m_Color;
    int32_t m_BlurX = 0, m_BlurY = 0, m_Angle = 0, m_Distance = 0; // 16.16
    int16_t m_Strength = 0;                                        // 8.8
    bool m_InnerShadow = false, m_Knockout = false, m_CompositeSource = false;
    uint8_t m_Passes = 0; // 5 bits
};

struct SBlurFilter {
    int32_t m_BlurX = 0, m_BlurY = 0; // 16.16
    uint8_t m_Passes = 0;             // 5 bits
    uint8_t m_Reserved = 0;           // 3 bits
};

struct SGlowFilter {
    tRGBARec m_Color;
    int32_t m_BlurX = 0, m_BlurY = 0; // 16.16
    int16_t m_Strength = 0;           // 8.8
    bool m_InnerGlow = false, m_Knockout = false, m_CompositeSource = false;
    uint8_t m_Passes = 0; // 5 bits
};

struct SBevelFilter {
    tRGBARec m_ShadowColor, m_HighlightColor;
    int32_t m_BlurX = 0, m_BlurY = 0, m_Angle = 0, m_Distance = 0; // 16.16
    int16_t m_Strength = 0;                                        // 8.8
    bool m_InnerShadow = false, m_Knockout = false, m_CompositeSource = false, m_OnTop = false;
    uint8_t m_Passes = 0; // 4 bits
};

// Gradient glow and gradient bevel share the layout.
struct SGradientFilter {
    std::vector<tRGBARec> m_Colors; // as many as the ratios; the count byte precedes both
    std::vector<uint8_t> m_Ratios;
    int32_t m_BlurX = 0, m_BlurY = 0, m_Angle = 0, m_Distance = 0; // 16.16
    int16_t m_Strength = 0;                                        // 8.8
    bool m_InnerShadow = false, m_Knockout = false, m_CompositeSource = false, m_OnTop = false;
    uint8_t m_Passes = 0; // 4 bits
};

struct SConvolutionFilter {
    uint8_t m_MatrixX = 0, m_MatrixY = 0;
    float m_Divisor = 0, m_Bias = 0;
    std::vector<float> m_Matrix; // m_MatrixX * m_MatrixY values, row by row
    tRGBARec m_DefaultColor;
    uint8_t m_Reserved = 0; // 6 bits
    bool m_Clamp = false, m_PreserveAlpha = false;
};

struct SColorMatrixFilter {
    float m_Matrix[20] = {};
};

// One filter kind: the fields of its structure and the record's read, write, copy and dump.
template <class Fields, int ClassID> class CFilterKindItem : public CSWFItem, public Fields
{
public:
    using CSWFItem::CSWFItem;
    int GetClassID() const override { return ClassID; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
};

using CDropShadowFilterItem = CFilterKindItem<SDropShadowFilter, kClassID_CDropShadowFilterItem>;
using CBlurFilterItem = CFilterKindItem<SBlurFilter, kClassID_CBlurFilterItem>;
using CGlowFilterItem = CFilterKindItem<SGlowFilter, kClassID_CGlowFilterItem>;
using CBevelFilterItem = CFilterKindItem<SBevelFilter, kClassID_CBevelFilterItem>;
using CGradientGlowFilterItem = CFilterKindItem<SGradientFilter, kClassID_CGradientGlowFilterItem>;
using CConvolutionFilterItem = CFilterKindItem<SConvolutionFilter, kClassID_CConvolutionFilterItem>;
using CColorMatrixFilterItem = CFilterKindItem<SColorMatrixFilter, kClassID_CColorMatrixFilterItem>;
using CGradientBevelFilterItem = CFilterKindItem<SGradientFilter, kClassID_CGradientBevelFilterItem>;

// FILTER: the kind byte and the filter of that kind (null for a kind byte outside the eight, which cannot be
// read, since its length is unknown).
class CFilterItem : public CSWFItem
{
public:
    using CSWFItem::CSWFItem;
    ~CFilterItem() override;
    int GetClassID() const override { return kClassID_CFilterItem; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;
    // Makes a blank filter of the kind; 0 for a kind outside the eight.
    int SetFilterID(uint8_t id);
    uint8_t GetFilterID() const { return m_FilterID; }
    CSWFItem* GetFilter() const { return m_pFilter.get(); }

    uint8_t m_FilterID = kFilterDropShadow;
    std::unique_ptr<CSWFItem> m_pFilter;
};

// FILTERLIST: a count byte and the filters.
class CFilterListItem : public CSWFItemsByteCount
{
public:
    CFilterListItem(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CFilterListItem; }
    // A list that runs past the data, or holds a filter of unknown kind, is not read: 0.
    int ReadSWF(CSWFStream* stream) override;
    CFilterItem* GetFilterItem(int index) const { return static_cast<CFilterItem*>(GetItem(index)); }
};

// The class of the record for a filter kind; kClassID_UnknownObject for a kind outside the eight.
int FilterClassFor(uint8_t id);
// Creates the object for a class ID of the filter records; null for other IDs.
CSWFObject* NewFilterObject(int classID, CSWFObject* owner, unsigned char style);
