// Filter lists (drop shadow, blur, glow, bevel, gradient glow and bevel, convolution, colour matrix) are kept
// as bytes by the records that carry them; their length follows from each filter's kind and counts.
#include "Filters.h"

namespace {

// Filter identifiers of a filter list, and the fixed sizes of their bodies.
enum FilterId : uint8_t {
    kFilterDropShadow = 0,
    kFilterBlur = 1,
    kFilterGlow = 2,
    kFilterBevel = 3,
    kFilterGradientGlow = 4,
    kFilterConvolution = 5,
    kFilterColorMatrix = 6,
    kFilterGradientBevel = 7,
};
constexpr uint32_t kDropShadowSize = 23;
constexpr uint32_t kBlurSize = 9;
constexpr uint32_t kGlowSize = 15;
constexpr uint32_t kBevelSize = 27;
constexpr uint32_t kGradientFixedSize = 19; // after the colour count and the colours and ratios (5 bytes each)
constexpr uint32_t kConvolutionFixedSize = 13; // after the two matrix sizes, besides the 4-byte matrix entries
constexpr uint32_t kColorMatrixSize = 80;

} // namespace

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
            body = 2 + 4ull * p[at] * p[at + 1] + kConvolutionFixedSize + 4;
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
