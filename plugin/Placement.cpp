#include "Placement.h"

#include "BitReader.h"

namespace reelfinch::plugin {

namespace {

// First flags byte.
constexpr uint8_t kHasClipDepth = 0x40;
constexpr uint8_t kHasName = 0x20;
constexpr uint8_t kHasRatio = 0x10;
constexpr uint8_t kHasColorTransform = 0x08;
constexpr uint8_t kHasMatrix = 0x04;
constexpr uint8_t kHasCharacter = 0x02;
constexpr uint8_t kMove = 0x01;
// Second flags byte.
constexpr uint8_t kHasOpaqueBackground = 0x40;
constexpr uint8_t kHasVisible = 0x20;
constexpr uint8_t kHasImage = 0x10;
constexpr uint8_t kHasClassName = 0x08;
constexpr uint8_t kHasCacheAsBitmap = 0x04;
constexpr uint8_t kHasBlendMode = 0x02;
constexpr uint8_t kHasFilterList = 0x01;

constexpr double kMultiplierUnit = 256.0;
constexpr double kOffsetUnit = 255.0;

// Filter IDs and the bytes each takes after its ID.
enum FilterId : uint8_t {
    kDropShadow = 0,
    kBlur = 1,
    kGlow = 2,
    kBevel = 3,
    kGradientGlow = 4,
    kConvolution = 5,
    kColorMatrix = 6,
    kGradientBevel = 7,
};
constexpr size_t kDropShadowBytes = 23;
constexpr size_t kBlurBytes = 9;
constexpr size_t kGlowBytes = 15;
constexpr size_t kBevelBytes = 27;
constexpr size_t kGradientTailBytes = 19; // after the colours and ratios
constexpr size_t kGradientStopBytes = 5; // a colour (RGBA) and a ratio
constexpr size_t kConvolutionHeadBytes = 8; // divisor and bias, after the matrix size
constexpr size_t kConvolutionTailBytes = 5; // default colour and flags
constexpr size_t kFloatBytes = 4;
constexpr size_t kColorMatrixBytes = 20 * kFloatBytes;

// CXFORMWITHALPHA.
ColorTransform ReadColorTransform(BitReader& in)
{
    in.align();
    const bool hasAdd = in.bits(1);
    const bool hasMult = in.bits(1);
    const int n = int(in.bits(4));
    ColorTransform t;
    if (hasMult) {
        t.mr = in.signedBits(n) / kMultiplierUnit;
        t.mg = in.signedBits(n) / kMultiplierUnit;
        t.mb = in.signedBits(n) / kMultiplierUnit;
        t.ma = in.signedBits(n) / kMultiplierUnit;
    }
    if (hasAdd) {
        t.ar = in.signedBits(n) / kOffsetUnit;
        t.ag = in.signedBits(n) / kOffsetUnit;
        t.ab = in.signedBits(n) / kOffsetUnit;
        t.aa = in.signedBits(n) / kOffsetUnit;
    }
    in.align();
    return t;
}

// Passes over a filter list; false for a filter of unknown kind, whose length is unknown.
bool SkipFilters(BitReader& in)
{
    const uint8_t count = in.u8();
    for (uint8_t i = 0; i < count && in.ok(); ++i) {
        switch (in.u8()) {
        case kDropShadow:
            in.skip(kDropShadowBytes);
            break;
        case kBlur:
            in.skip(kBlurBytes);
            break;
        case kGlow:
            in.skip(kGlowBytes);
            break;
        case kBevel:
            in.skip(kBevelBytes);
            break;
        case kGradientGlow:
        case kGradientBevel:
            in.skip(in.u8() * kGradientStopBytes + kGradientTailBytes);
            break;
        case kConvolution: {
            const size_t columns = in.u8();
            const size_t rows = in.u8();
            in.skip(kConvolutionHeadBytes + columns * rows * kFloatBytes + kConvolutionTailBytes);
            break;
        }
        case kColorMatrix:
            in.skip(kColorMatrixBytes);
            break;
        default:
            return false;
        }
    }
    return in.ok();
}

} // namespace

bool ReadPlaceObject3(const uint8_t* body, size_t size, Placement& out)
{
    BitReader in(body, size);
    const uint8_t flags = in.u8();
    const uint8_t more = in.u8();
    out = Placement {};
    out.depth = in.u16();
    out.move = flags & kMove;
    if ((more & kHasClassName) || ((more & kHasImage) && (flags & kHasCharacter)))
        in.string();
    if (flags & kHasCharacter)
        out.characterId = in.u16();
    if (flags & kHasMatrix)
        out.matrix = ReadMatrix(in);
    if (flags & kHasColorTransform)
        out.colorTransform = ReadColorTransform(in);
    if (!in.ok())
        return false;
    if (flags & kHasRatio)
        out.ratio = in.u16();
    if (flags & kHasName)
        out.name = in.string();
    if (flags & kHasClipDepth)
        out.clipDepth = in.u16();
    if (!in.ok())
        return true;
    if ((more & kHasFilterList) && !SkipFilters(in))
        return true;
    if (more & kHasBlendMode)
        out.blendMode = in.u8();
    if (more & kHasCacheAsBitmap)
        in.u8();
    if (more & kHasVisible)
        out.visible = in.u8() != 0;
    if (more & kHasOpaqueBackground)
        in.skip(4);
    if (!in.ok()) {
        out.blendMode.reset();
        out.visible.reset();
    }
    return true;
}

} // namespace reelfinch::plugin
