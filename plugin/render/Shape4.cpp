// DefineShape4 read straight from its body: swflib knows the shape tags up to DefineShape3 and keeps this one
// whole. The body is the character ID, the shape's bounds and its edges' bounds, a byte of flags and the shape
// with its styles, whose line styles (LINESTYLE2) may fill the stroke and choose caps and joins, and whose fills
// may be focal radial gradients.
#include "render/BitReader.h"
#include "render/Shapes.h"

#include <algorithm>
#include <cmath>

namespace reelfinch::plugin {

namespace {

constexpr double kColorMax = 255.0;
constexpr double kRatioMax = 255.0;
constexpr double kFixed8 = 256.0;

// Fill style types.
constexpr uint8_t kSolid = 0x00;
constexpr uint8_t kLinearGradient = 0x10;
constexpr uint8_t kRadialGradient = 0x12;
constexpr uint8_t kFocalGradient = 0x13;
constexpr uint8_t kTiledBitmap = 0x40;
constexpr uint8_t kClippedBitmap = 0x41;
constexpr uint8_t kTiledBitmapHard = 0x42;
constexpr uint8_t kClippedBitmapHard = 0x43;

// Gradient count byte: spread mode, interpolation mode, count.
constexpr int kSpreadShift = 6;
constexpr int kInterpolationShift = 4;
constexpr uint8_t kModeMask = 0x03;
constexpr uint8_t kCountMask = 0x0F;
constexpr uint8_t kSpreadReflect = 1;
constexpr uint8_t kSpreadRepeat = 2;
constexpr uint8_t kInterpolationLinear = 1;

// A style array's count byte that announces a 16-bit count.
constexpr uint8_t kExtendedCount = 0xFF;
// Flags byte after the bounds.
constexpr uint8_t kFlagWindingRule = 0x04;
constexpr int kJoinMiter = 2;

void SkipRect(BitReader& in)
{
    in.align();
    const int n = int(in.bits(5));
    in.bits(n);
    in.bits(n);
    in.bits(n);
    in.bits(n);
    in.align();
}

RGBA ReadRGBA(BitReader& in)
{
    RGBA c;
    c.r = in.u8() / kColorMax;
    c.g = in.u8() / kColorMax;
    c.b = in.u8() / kColorMax;
    c.a = in.u8() / kColorMax;
    return c;
}

FillDef ReadFill(BitReader& in)
{
    FillDef fill;
    const uint8_t type = in.u8();
    switch (type) {
    case kSolid:
        fill.kind = FillDef::Solid;
        fill.color = ReadRGBA(in);
        break;
    case kLinearGradient:
    case kRadialGradient:
    case kFocalGradient: {
        fill.kind = type == kLinearGradient ? FillDef::Linear : FillDef::Radial;
        fill.matrix = ReadMatrix(in);
        const uint8_t head = in.u8();
        const uint8_t spread = (head >> kSpreadShift) & kModeMask;
        fill.spread = spread == kSpreadReflect ? FillDef::Reflect
            : spread == kSpreadRepeat          ? FillDef::Repeat
                                               : FillDef::Pad;
        fill.linearRGB = ((head >> kInterpolationShift) & kModeMask) == kInterpolationLinear;
        const int count = head & kCountMask;
        for (int i = 0; i < count && in.ok(); ++i) {
            const double ratio = in.u8() / kRatioMax;
            fill.stops.emplace_back(ratio, ReadRGBA(in));
        }
        if (type == kFocalGradient)
            fill.focal = std::clamp(int16_t(in.u16()) / kFixed8, -1.0, 1.0);
        break;
    }
    case kTiledBitmap:
    case kClippedBitmap:
    case kTiledBitmapHard:
    case kClippedBitmapHard:
        fill.kind = FillDef::Bitmap;
        fill.bitmapId = in.u16();
        fill.matrix = ReadMatrix(in);
        fill.repeat = type == kTiledBitmap || type == kTiledBitmapHard;
        fill.smooth = type == kTiledBitmap || type == kClippedBitmap;
        break;
    default:
        // An unknown type has an unknown length: nothing after it can be read.
        in.fail();
        break;
    }
    return fill;
}

uint32_t ReadCount(BitReader& in)
{
    const uint8_t count = in.u8();
    return count == kExtendedCount ? in.u16() : count;
}

void ReadStyles(BitReader& in, ShapeLayer& layer)
{
    const uint32_t fills = ReadCount(in);
    for (uint32_t i = 0; i < fills && in.ok(); ++i)
        layer.fills.push_back(ReadFill(in));
    const uint32_t lines = ReadCount(in);
    for (uint32_t i = 0; i < lines && in.ok(); ++i) {
        LineDef line;
        line.width = in.u16();
        line.cap = LineDef::Cap(std::min<uint32_t>(in.bits(2), LineDef::SquareCap));
        const uint32_t join = in.bits(2);
        line.join = LineDef::Join(std::min<uint32_t>(join, LineDef::MiterJoin));
        line.hasFill = in.bits(1);
        in.bits(3); // no horizontal scale, no vertical scale, pixel hinting
        in.bits(5); // reserved
        in.bits(1); // no close
        in.bits(2); // end cap: cairo gives both ends one cap, the start's
        if (join == kJoinMiter)
            line.miterLimit = in.u16() / kFixed8;
        if (line.hasFill)
            line.fill = ReadFill(in);
        else
            line.color = ReadRGBA(in);
        layer.lines.push_back(std::move(line));
    }
}

} // namespace

void ReadShapeRecords(BitReader& in, std::vector<ShapeLayer>& layers, bool newStylesAllowed)
{
    if (layers.empty())
        layers.emplace_back();
    int fillBits = int(in.bits(4));
    int lineBits = int(in.bits(4));
    double x = 0;
    double y = 0;
    uint32_t fill0 = 0;
    uint32_t fill1 = 0;
    uint32_t line = 0;
    while (in.ok()) {
        if (in.bits(1)) { // an edge
            const bool straight = in.bits(1);
            const int n = int(in.bits(4)) + 2;
            if (straight) {
                double dx = 0;
                double dy = 0;
                if (in.bits(1)) {
                    dx = in.signedBits(n);
                    dy = in.signedBits(n);
                } else if (in.bits(1)) {
                    dy = in.signedBits(n);
                } else {
                    dx = in.signedBits(n);
                }
                if (!in.ok())
                    break;
                layers.back().edges.push_back(
                    { { x, y, x + dx / 2, y + dy / 2, x + dx, y + dy, false }, fill0, fill1, line });
                x += dx;
                y += dy;
            } else {
                const double cx = x + in.signedBits(n);
                const double cy = y + in.signedBits(n);
                const double ax = cx + in.signedBits(n);
                const double ay = cy + in.signedBits(n);
                if (!in.ok())
                    break;
                layers.back().edges.push_back({ { x, y, cx, cy, ax, ay, true }, fill0, fill1, line });
                x = ax;
                y = ay;
            }
            continue;
        }
        const uint32_t flags = in.bits(5);
        if (flags == 0 || !in.ok())
            break; // the end record
        const bool newStyles = flags & 0x10;
        if (flags & 0x01) {
            const int n = int(in.bits(5));
            x = in.signedBits(n);
            y = in.signedBits(n);
        }
        if (flags & 0x02)
            fill0 = in.bits(fillBits);
        if (flags & 0x04)
            fill1 = in.bits(fillBits);
        if (flags & 0x08)
            line = in.bits(lineBits);
        if (newStyles && !newStylesAllowed)
            break; // glyph shapes have no style tables to bring
        if (newStyles) {
            layers.emplace_back();
            ReadStyles(in, layers.back());
            fillBits = int(in.bits(4));
            lineBits = int(in.bits(4));
            fill0 = fill1 = line = 0;
        }
    }
}

uint16_t DefineShape4Id(const uint8_t* body, size_t size)
{
    return size >= 2 ? uint16_t(body[0] | (body[1] << 8)) : 0;
}

std::vector<ShapeLayer> ReadDefineShape4(const uint8_t* body, size_t size)
{
    BitReader in(body, size);
    std::vector<ShapeLayer> layers(1);
    in.u16(); // character ID
    SkipRect(in); // shape bounds
    SkipRect(in); // edge bounds
    const bool nonZero = in.u8() & kFlagWindingRule;
    ReadStyles(in, layers.back());
    ReadShapeRecords(in, layers, true);
    for (ShapeLayer& layer : layers)
        layer.nonZero = nonZero;
    return layers;
}

} // namespace reelfinch::plugin
