#include "timeline/Placement.h"

#include "render/BitReader.h"


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
    if (more & kHasFilterList) {
        // A list that runs past the body or holds a filter of unknown kind hides what follows it.
        in.align();
        std::vector<Filter> filters;
        const size_t length = ReadFilterList(in.here(), in.remaining(), filters);
        if (length == 0)
            return true;
        in.skip(length);
        out.filters = std::move(filters);
    }
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
