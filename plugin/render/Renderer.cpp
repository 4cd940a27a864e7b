#include "render/Renderer.h"

#include "avm1/Clip.h"
#include "render/BitmapPixels.h"
#include "render/Bitmaps.h"
#include "render/Composite.h"
#include "render/Drawing.h"
#include "render/EditText.h"
#include "render/KernedLayout.h"
#include "render/Filters.h"
#include "render/GradientFill.h"
#include "render/Halves.h"
#include "render/TextRecords.h"
#include "render/MonoRaster.h"
#include "render/RowPattern.h"
#include "timeline/ScriptMasks.h"
#include "video/FlvMedia.h"
#include "video/MovieVideos.h"
#include "Movie.h"

#include "Records.h"
#include "TagCodes.h"
#include "Tags.h"
#include "TagsModern.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace reelfinch::plugin {

namespace {

// Marks a surface drawing on one of the renderer's layer buffers; its data is that buffer.
cairo_user_data_key_t g_LayerBufferKey;

// Gradients span this square of twips in their own space, from -kGradientHalf to kGradientHalf.
constexpr double kGradientHalf = 16384.0;
constexpr double kRatioMax = 255.0;
constexpr double kColorMax = 255.0;
// The focus rectangle's line, in device pixels.
constexpr double kFocusRectWidth = 2.0;
// Morph ratios run from 0 (start) to this (end).
constexpr double kMorphRatioMax = 65535.0;
// Device coordinates are kept in twentieths of a pixel.
constexpr double kTwipsPerPixel = 20.0;
// Lines are never thinner than one pixel.
constexpr double kMinLinePixels = 1.0;
// Curves are drawn as straight pieces that stray at most this many twips from them in the shape's space, at
// most this many pixels on the screen, and number at most this many.
constexpr double kCurveTolerance = 2.0;
constexpr double kCurveDevicePixels = 0.5;
constexpr int kMaxCurvePieces = 64;
// Round ends and corners of lines drawn without anti-aliasing have sides this long in pixels.
constexpr double kRoundSidePixels = 2.0;
// Layers of blend modes and filters reach this many pixels past the bounds of what they hold (anti-aliasing,
// lines kept a pixel wide), and at most this far from the origin.
constexpr double kLayerPad = 2.0;
constexpr double kMaxLayerCoordinate = 32768.0;
// Coverages kept for glyphs and small shapes drawn again (see Renderer::m_Coverages): how many placements are
// remembered, the largest shape kept, in pixels across or down, and the coverage bytes kept in all. Past either
// limit every kept coverage is dropped, and what is in view makes its own again in two draws.
constexpr size_t kKeptCoverages = 8192;
constexpr double kKeptCoverageSide = 192;
constexpr size_t kKeptCoverageBytes = size_t(8) << 20;
// Pictures worked out pixel by pixel (gradients) are shared between two threads from this many pixels on (a
// radial gradient costs about half a millisecond for as many): below it, starting a thread costs more than it
// saves.
constexpr size_t kPixelsForTwoThreads = size_t(1) << 15;
// Gradients worked out pixel by pixel are kept from one frame to the next up to this many pixels in all (four
// full screens of 1920 x 1080).
constexpr size_t kKeptGradientPixels = size_t(4) * 1920 * 1080;
// Layer buffers kept free from frame to frame, in pixels at most: the buffers filtered pictures held come back
// when the pictures go, and those beyond this are given back to the system.
constexpr size_t kKeptFreeLayerPixels = size_t(4) * 1920 * 1080;
// Linear gradients are worked out by our own loop from this many pixels on; cairo draws smaller ones as fast.
constexpr size_t kOwnRowPixels = 4096;
// Marks the keys of those gradients among the kept ones.
constexpr uint64_t kRowKey = uint64_t(0x524F57) << 32;
// Masks count only their coverage: their layers hold alpha alone, a quarter of the memory to clear, draw and
// read back.
constexpr cairo_format_t kMaskFormat = CAIRO_FORMAT_A8;
// Sprites and buttons nest at most this deep.
constexpr int kMaxNesting = 32;
// Text fields: the gap between the bounds and the text, in twips (two pixels).
constexpr double kFieldGutter = 40.0;
constexpr double kHalfPixel = 0.5;
// The high bits of a gradient's count byte, as swflib keeps them: spread mode above interpolation mode.
constexpr int kSpreadShift = 2;
constexpr uint8_t kModeMask = 0x03;
constexpr uint8_t kSpreadReflect = 1;
constexpr uint8_t kSpreadRepeat = 2;
constexpr uint8_t kInterpolationLinearRGB = 1;
// 8.8 fixed point: miter limits and focal points.
constexpr double kFixed8 = 256.0;
// A focal point is kept this far inside the circle, as the format's players keep it: one nearer the edge draws
// as one at this distance.
constexpr double kMaxFocal = 0.98;
// Keeps a channel computed as a whole number of levels from falling just below it.
constexpr double kRampEpsilon = 1e-6;
// Bitmap fill types without smoothing.
constexpr uint8_t kFillTiledBitmapHard = 0x42;
constexpr uint8_t kFillClippedBitmapHard = 0x43;

RGBA ToRGBA(const CColorItem* color)
{
    if (!color)
        return {};
    const tRGBARec c = color->GetRGBA();
    return { c.red / kColorMax, c.green / kColorMax, c.blue / kColorMax,
        color->m_HasAlpha ? c.alpha / kColorMax : 1.0 };
}

RGBA Mix(const RGBA& a, const RGBA& b, double t)
{
    return { a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t };
}

// A morph's colour between its two: each byte moves from the start's towards the end's by the ratio's share of
// the difference, rounded down (so that part of the way from 255 to 0 a byte lands one lower than exact).
RGBA MixBytes(const RGBA& a, const RGBA& b, double t)
{
    const double ratio = std::round(std::clamp(t, 0.0, 1.0) * kMorphRatioMax);
    auto channel = [&](double x, double y) {
        const double from = std::round(x * kColorMax);
        const double to = std::round(y * kColorMax);
        return (from + std::floor((to - from) * ratio / kMorphRatioMax)) / kColorMax;
    };
    return { channel(a.r, b.r), channel(a.g, b.g), channel(a.b, b.b), channel(a.a, b.a) };
}

double ToLinear(double v)
{
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double FromLinear(double v)
{
    return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
}

// A colour channel in linear light as a whole byte, rounded down: dark channels lose most (a channel of 20 is
// 1.8 of 255 in linear light, kept as 1, and comes back as 13).
double ToLinearByte(double v)
{
    return std::floor(ToLinear(std::clamp(v, 0.0, 1.0)) * kColorMax) / kColorMax;
}

// Mixes two sRGB colours in linear light, which holds them as bytes; alpha mixes evenly.
RGBA MixLinear(const RGBA& a, const RGBA& b, double t)
{
    auto channel = [t](double x, double y) {
        const double from = ToLinearByte(x);
        return FromLinear(from + (ToLinearByte(y) - from) * t);
    };
    return { channel(a.r, b.r), channel(a.g, b.g), channel(a.b, b.b), a.a + (b.a - a.a) * t };
}

// A gradient's colour at each ratio, 0 to 255. The records are walked in their order while the ratio grows: a
// record whose ratio lies below one already reached only starts the piece that follows it, part of the way
// along, and records that repeat a ratio end their piece there. Before the first record's ratio its colour
// holds, and beyond the last ratio reached the last record's colour.
GradientRamp MakeGradientRamp(const FillDef& fill, const ColorTransform& cx)
{
    GradientRamp ramp;
    const auto& in = fill.stops;
    if (in.empty())
        return ramp;
    std::vector<RGBA> colors;
    for (const auto& stop : in)
        colors.push_back(cx.apply(stop.second));
    // Mixed in linear light, even the records' own colours come back from the bytes it holds.
    if (fill.linearRGB)
        for (RGBA& c : colors)
            c = MixLinear(c, c, 0);
    size_t piece = 0;
    for (int entry = 0; entry < kGradientEntries; ++entry) {
        const double at = entry / kRatioMax;
        if (at <= in.front().first) {
            ramp[size_t(entry)] = colors.front();
            continue;
        }
        while (piece + 1 < in.size() && at > in[piece + 1].first)
            ++piece;
        if (piece + 1 >= in.size()) {
            ramp[size_t(entry)] = colors.back();
            continue;
        }
        // The walk keeps in[piece].first < at <= in[piece + 1].first.
        const double t = (at - in[piece].first) / (in[piece + 1].first - in[piece].first);
        ramp[size_t(entry)] = fill.linearRGB ? MixLinear(colors[piece], colors[piece + 1], t)
                                             : Mix(colors[piece], colors[piece + 1], t);
    }
    return ramp;
}

// One colour channel as a byte, cut down as the ramp's whole-number colours are.
uint32_t RampByte(double v)
{
    return uint32_t(std::clamp(v * kColorMax + kRampEpsilon, 0.0, kColorMax));
}

// The ramp as premultiplied pixels, one per ratio.
RampPixels MakeRampPixels(const GradientRamp& ramp)
{
    RampPixels pixels;
    for (size_t i = 0; i < ramp.size(); ++i) {
        const RGBA& c = ramp[i];
        const uint32_t a = RampByte(c.a);
        auto channel = [a](double v) { return uint32_t(std::lround(RampByte(v) * (a / kColorMax))); };
        pixels[i] = (a << 24) | (channel(c.r) << 16) | (channel(c.g) << 8) | channel(c.b);
    }
    return pixels;
}

// std::lround of a value from 0 to 2^31, without the call: its whole part and whether the fraction left (exact)
// reaches a half. Gradients round millions of channels a frame.
inline uint32_t RoundPositive(double v)
{
    const auto whole = uint32_t(v);
    return whole + uint32_t(v - double(whole) >= 0.5);
}

// std::floor without the call (the processors' rounding instruction is not in the base instruction set): the
// whole part of t, one less for a negative t with a fraction. Exact for every finite t; beyond 2^52 t is whole.
inline double Floor(double t)
{
    if (!(std::abs(t) < 4503599627370496.0))
        return std::floor(t); // whole already, infinite or NaN
    const auto whole = double(int64_t(t));
    return whole > t ? whole - 1 : whole;
}

// std::fmod(t, 2) of a t of 0 or more, without the call: t less the even number at or below it, a difference
// that is exact (and NaN for NaN and infinity, as fmod gives).
inline double ModTwo(double t)
{
    return t - 2 * Floor(t * 0.5);
}

// The ramp's colour at `t` (0 to 1) as a premultiplied pixel. The ramp is sampled as a row of 256 texels whose
// centres lie at (i + 0.5) / 256, mixing the two nearest entries by distance and holding the end entries beyond
// the centres of the first and last, as a gradient texture is read with linear filtering.
uint32_t RampAt(const RampPixels& pixels, double t)
{
    const double raw = t * kGradientEntries - 0.5;
    const double u = raw > 0 ? std::min(raw, double(kGradientEntries - 1)) : 0.0; // NaN to the first entry too
    // Past the last entry's centre (much of a padded gradient's area): entry 254 mixed with 255 by 1, which is
    // entry 255 itself.
    if (u == double(kGradientEntries - 1))
        return pixels[kGradientEntries - 1];
    const int i = std::min(int(u), kGradientEntries - 2);
    const double f = u - i;
    const uint32_t a = pixels[size_t(i)];
    const uint32_t b = pixels[size_t(i) + 1];
    if (a == b || f == 0)
        return a;
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int ca = int((a >> shift) & 0xFF);
        const int cb = int((b >> shift) & 0xFF);
        // ca + (cb - ca) f in doubles; a channel the two entries share needs no rounding.
        out |= uint32_t(ca == cb ? ca : RoundPositive(double(ca) + double(cb - ca) * f)) << shift;
    }
    return out;
}

// The ramp's colour at `t` through a colour transform, as a premultiplied pixel. The ramp's entries stay the
// gradient's own bytes and are mixed as RampAt mixes them; the transform works on the mixed colour, unrounded,
// and only its result is rounded: a transform that darkens a gradient does not darken the ramp's rounding too.
uint32_t RampAt(const RampPixels& straight, double t, const ColorTransform& cx)
{
    const double raw = t * kGradientEntries - 0.5;
    const double u = raw > 0 ? std::min(raw, double(kGradientEntries - 1)) : 0.0;
    const int i = std::min(int(u), kGradientEntries - 2);
    const double f = u - i;
    const uint32_t a = straight[size_t(i)];
    const uint32_t b = straight[size_t(i) + 1];
    const auto mixed = [&](int shift) {
        const double ca = double((a >> shift) & 0xFF);
        const double cb = double((b >> shift) & 0xFF);
        return (ca + (cb - ca) * f) / kColorMax;
    };
    const RGBA c = cx.apply({ mixed(16), mixed(8), mixed(0), mixed(24) });
    const uint32_t alpha = RoundPositive(c.a * kColorMax);
    const auto channel = [&](double v) { return RoundPositive(v * c.a * kColorMax); };
    return (alpha << 24) | (channel(c.r) << 16) | (channel(c.g) << 8) | channel(c.b);
}

// The ramp as pixels of its own bytes, not premultiplied, for RampAt with a colour transform.
RampPixels MakeStraightRampPixels(const GradientRamp& ramp)
{
    RampPixels pixels;
    for (size_t i = 0; i < ramp.size(); ++i) {
        const RGBA& c = ramp[i];
        pixels[i] = (RampByte(c.a) << 24) | (RampByte(c.r) << 16) | (RampByte(c.g) << 8) | RampByte(c.b);
    }
    return pixels;
}

// Runs `rows(from, to)` over rows 0 to `height`: for a picture of many pixels, the lower half on a second thread
// while this one does the upper half (each row is worked out on its own, so the pixels are the same).
template <typename Rows> void FillInTwo(int height, size_t pixels, Rows&& rows)
{
    if (pixels < kPixelsForTwoThreads)
        rows(0, height);
    else
        InTwo(height, rows);
}

cairo_surface_t* NewImage(int width, int height)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    return surface;
}

// The ramp as a row of pixels, one per ratio.
cairo_surface_t* RampSurface(const GradientRamp& ramp)
{
    cairo_surface_t* surface = NewImage(kGradientEntries, 1);
    if (!surface)
        return nullptr;
    const RampPixels pixels = MakeRampPixels(ramp);
    std::copy(pixels.begin(), pixels.end(), reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface)));
    cairo_surface_mark_dirty(surface);
    return surface;
}

// Where a point of the unit gradient square lies along a radial gradient, 0 at the focal point (on the x axis)
// and 1 on the unit circle, continued past it by the spread mode.
double RadialPosition(double x, double y, double focal, FillDef::Spread spread)
{
    double t = 0;
    if (focal == 0) {
        t = std::sqrt(x * x + y * y);
    } else {
        // The point lies the fraction t of the way from the focal point F to the circle along the ray through
        // it: |F + d / t| = 1 with d the point less F.
        const double dx = x - focal;
        const double a = dx * dx + y * y;
        const double b = focal * dx;
        const double c = focal * focal - 1; // negative: the focal point lies inside the circle
        const double root = -b + std::sqrt(std::max(0.0, b * b - a * c));
        t = root > 0 ? a / root : 0;
    }
    switch (spread) {
    case FillDef::Reflect:
        t = ModTwo(t);
        return t > 1 ? 2 - t : t;
    case FillDef::Repeat:
        return t - Floor(t);
    case FillDef::Pad:
        break;
    }
    return std::min(t, 1.0);
}

// Where a point of the unit gradient square lies along a linear gradient, 0 at its left side and 1 at its right,
// continued past them by the spread mode.
double LinearPosition(double x, FillDef::Spread spread)
{
    const double t = (x + 1) / 2;
    switch (spread) {
    case FillDef::Reflect: {
        const double r = ModTwo(std::abs(t));
        return r > 1 ? 2 - r : r;
    }
    case FillDef::Repeat:
        return t - Floor(t);
    case FillDef::Pad:
        break;
    }
    return std::clamp(t, 0.0, 1.0);
}

// The cairo operator of a blend mode; those cairo has no operator for draw normally.
cairo_operator_t BlendOperator(uint8_t mode)
{
    switch (mode) {
    case kBlendMultiply:
        return CAIRO_OPERATOR_MULTIPLY;
    case kBlendScreen:
        return CAIRO_OPERATOR_SCREEN;
    case kBlendLighten:
        return CAIRO_OPERATOR_LIGHTEN;
    case kBlendDarken:
        return CAIRO_OPERATOR_DARKEN;
    case kBlendDifference:
        return CAIRO_OPERATOR_DIFFERENCE;
    case kBlendAdd:
        return CAIRO_OPERATOR_ADD;
    case kBlendOverlay:
        return CAIRO_OPERATOR_OVERLAY;
    case kBlendHardLight:
        return CAIRO_OPERATOR_HARD_LIGHT;
    default:
        return CAIRO_OPERATOR_OVER;
    }
}

// The blend modes Composite works with loops of its own.
std::optional<LayerBlend> OwnBlend(uint8_t mode)
{
    switch (mode) {
    case kBlendMultiply: return LayerBlend::Multiply;
    case kBlendLighten: return LayerBlend::Lighten;
    case kBlendDarken: return LayerBlend::Darken;
    case kBlendDifference: return LayerBlend::Difference;
    case kBlendInvert: return LayerBlend::Invert;
    case kBlendScreen: return LayerBlend::Screen;
    case kBlendOverlay: return LayerBlend::Overlay;
    case kBlendHardLight: return LayerBlend::HardLight;
    default: return std::nullopt;
    }
}

// Mixes a layer (`group`, premultiplied) into what lies below it by a blend mode. Modes cairo has operators for
// use them; the others are built from cairo's operators:
//   invert:   below' = below (1 - a) + (1 - below) a, which is white of the layer's alpha a drawn by DIFFERENCE
//             over an opaque backdrop;
//   subtract: below' = below - layer, the inverse of (the inverse of below) + layer, cut at 0;
//   alpha:    below' = below * a (DEST_IN), erase: below' = below * (1 - a) (DEST_OUT);
//   layer:    the layer drawn normally.
// `ink`, when given: the layer's inked rectangle (left, top, right, bottom in its pixels) if already known, else
// filled with it once measured, so a layer kept for later draws is measured once.
void CompositeBlend(cairo_t* cr, cairo_pattern_t* group, uint8_t mode, std::optional<std::array<int, 4>>* ink = nullptr)
{
    cairo_save(cr);
    // Every mode but alpha leaves what lies below alone where the layer is empty: only the layer's pixels are
    // worked on.
    cairo_surface_t* layer = nullptr;
    if (mode != kBlendAlpha && cairo_pattern_get_surface(group, &layer) == CAIRO_STATUS_SUCCESS
        && cairo_surface_get_type(layer) == CAIRO_SURFACE_TYPE_IMAGE) {
        cairo_surface_flush(layer);
        int x0 = 0;
        int y0 = 0;
        int x1 = 0;
        int y1 = 0;
        if (ink && *ink) {
            x0 = (**ink)[0];
            y0 = (**ink)[1];
            x1 = (**ink)[2];
            y1 = (**ink)[3];
        } else {
            if (!InkBounds(layer, x0, y0, x1, y1))
                x0 = y0 = x1 = y1 = 0;
            if (ink)
                *ink = std::array<int, 4> { x0, y0, x1, y1 };
        }
        if (x1 <= x0 || y1 <= y0) {
            cairo_restore(cr);
            return;
        }
        // The layer's pixel (x, y) lies at (x, y) less its device offset on the device.
        double offsetX = 0;
        double offsetY = 0;
        cairo_surface_get_device_offset(layer, &offsetX, &offsetY);
        cairo_matrix_t user;
        cairo_get_matrix(cr, &user);
        cairo_identity_matrix(cr);
        cairo_rectangle(cr, x0 - offsetX, y0 - offsetY, x1 - x0, y1 - y0);
        cairo_clip(cr);
        cairo_set_matrix(cr, &user);
    }
    // Modes Composite has loops of its own for: one pass over the layer's ink, when the clip allows.
    if (const std::optional<LayerBlend> own = OwnBlend(mode); own && layer && BlendLayer(cr, group, *own)) {
        cairo_restore(cr);
        return;
    }
    switch (mode) {
    case kBlendInvert:
        cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_mask(cr, group);
        break;
    case kBlendSubtract:
        // One pass of our own over the layer's ink does the three operators' work, when the clip allows.
        if (layer && SubtractLayer(cr, group))
            break;
        cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_ADD);
        cairo_set_source(cr, group);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        break;
    case kBlendAlpha:
        cairo_set_operator(cr, CAIRO_OPERATOR_DEST_IN);
        cairo_set_source(cr, group);
        cairo_paint(cr);
        break;
    case kBlendErase:
        cairo_set_operator(cr, CAIRO_OPERATOR_DEST_OUT);
        cairo_set_source(cr, group);
        cairo_paint(cr);
        break;
    default:
        cairo_set_operator(cr, BlendOperator(mode));
        cairo_set_source(cr, group);
        cairo_paint(cr);
        break;
    }
    cairo_restore(cr);
}

// A number as a word of a picture's key.
uint64_t KeyWord(double v)
{
    uint64_t word = 0;
    std::memcpy(&word, &v, sizeof word);
    return word;
}

void AppendFilterKey(const std::vector<Filter>& filters, std::vector<uint64_t>& key)
{
    key.push_back(filters.size());
    for (const Filter& f : filters) {
        key.push_back(uint64_t(f.kind) | uint64_t(f.inner) << 8 | uint64_t(f.knockout) << 9
            | uint64_t(f.compositeSource) << 10 | uint64_t(f.onTop) << 11 | uint64_t(f.clamp) << 12
            | uint64_t(f.preserveAlpha) << 13 | uint64_t(uint32_t(f.passes)) << 16
            | uint64_t(uint16_t(f.matrixX)) << 32 | uint64_t(uint16_t(f.matrixY)) << 48);
        for (double v : { f.blurX, f.blurY, f.angle, f.distance, f.strength, f.divisor, f.bias })
            key.push_back(KeyWord(v));
        for (const RGBA& c : { f.color, f.highlight, f.defaultColor })
            for (double v : { c.r, c.g, c.b, c.a })
                key.push_back(KeyWord(v));
        key.push_back(f.gradient.size());
        for (const auto& [ratio, c] : f.gradient)
            for (double v : { ratio, c.r, c.g, c.b, c.a })
                key.push_back(KeyWord(v));
        for (double v : f.matrix)
            key.push_back(KeyWord(v));
        key.push_back(f.kernel.size());
        for (double v : f.kernel)
            key.push_back(KeyWord(v));
    }
}

DeviceBox Intersection(const DeviceBox& a, const DeviceBox& b)
{
    return { std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1) };
}

// The smallest box holding both; an empty box adds nothing.
DeviceBox Hull(const DeviceBox& a, const DeviceBox& b)
{
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    return { std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1) };
}

// Narrows the clip to a box of device pixels, widened to whole pixels.
void ClipToBox(cairo_t* cr, const DeviceBox& box)
{
    cairo_matrix_t user;
    cairo_get_matrix(cr, &user);
    cairo_identity_matrix(cr);
    const double left = std::floor(std::max(box.x0, -kMaxLayerCoordinate));
    const double top = std::floor(std::max(box.y0, -kMaxLayerCoordinate));
    const double right = std::ceil(std::min(box.x1, kMaxLayerCoordinate));
    const double bottom = std::ceil(std::min(box.y1, kMaxLayerCoordinate));
    cairo_rectangle(cr, left, top, std::max(0.0, right - left), std::max(0.0, bottom - top));
    cairo_clip(cr);
    cairo_set_matrix(cr, &user);
}

cairo_matrix_t ToMatrix(const CMatrixItem* item)
{
    cairo_matrix_t m;
    cairo_matrix_init_identity(&m);
    if (item)
        cairo_matrix_init(&m, item->m_ScaleX, item->m_RotateSkew0, item->m_RotateSkew1, item->m_ScaleY,
            item->m_TranslateX, item->m_TranslateY);
    return m;
}

cairo_matrix_t MixMatrix(const cairo_matrix_t& a, const cairo_matrix_t& b, double t)
{
    cairo_matrix_t m;
    cairo_matrix_init(&m, a.xx + (b.xx - a.xx) * t, a.yx + (b.yx - a.yx) * t, a.xy + (b.xy - a.xy) * t,
        a.yy + (b.yy - a.yy) * t, a.x0 + (b.x0 - a.x0) * t, a.y0 + (b.y0 - a.y0) * t);
    return m;
}

FillDef ToFill(const CFillStyleItem* style)
{
    FillDef fill;
    if (!style)
        return fill;
    const uint8_t type = style->GetFillStyle();
    const CSWFItem* object = style->GetFillObject();
    if (type == kFillSolid) {
        fill.kind = FillDef::Solid;
        fill.color = ToRGBA(dynamic_cast<const CColorItem*>(object));
    } else if (type == kFillLinearGradient || type == kFillRadialGradient || type == kFillFocalGradient) {
        auto* gradient = dynamic_cast<const CFillGradientItem*>(object);
        if (!gradient)
            return fill;
        fill.kind = type == kFillLinearGradient ? FillDef::Linear : FillDef::Radial;
        if (auto* focal = dynamic_cast<const CFocalGradientItem*>(gradient))
            fill.focal = std::clamp(focal->GetFocalPoint(), -1.0, 1.0);
        fill.matrix = ToMatrix(gradient->m_pMatrix.get());
        const CGradRecordsItem* records = gradient->m_pGradient ? gradient->m_pGradient->m_pGradRecords.get() : nullptr;
        if (records) {
            const uint8_t spread = (records->m_Modes >> kSpreadShift) & kModeMask;
            fill.spread = spread == kSpreadReflect ? FillDef::Reflect
                : spread == kSpreadRepeat          ? FillDef::Repeat
                                                   : FillDef::Pad; // 3 is reserved
            fill.linearRGB = (records->m_Modes & kModeMask) == kInterpolationLinearRGB;
        }
        for (int i = 0; records && i < records->GetItemCount(); ++i)
            if (auto* record = dynamic_cast<const CGradRecordItem*>(records->GetItem(i)))
                fill.stops.emplace_back(record->m_Ratio / kRatioMax, ToRGBA(record->m_pColor.get()));
    } else if (type == kFillTiledBitmap || type == kFillClippedBitmap) {
        auto* bitmap = dynamic_cast<const CFillBitMapItem*>(object);
        if (!bitmap)
            return fill;
        fill.kind = FillDef::Bitmap;
        fill.bitmapId = bitmap->m_BitMapID;
        fill.matrix = ToMatrix(bitmap->m_pMatrix.get());
        fill.repeat = type == kFillTiledBitmap;
        fill.smooth
            = style->m_RawFillStyleType != kFillTiledBitmapHard && style->m_RawFillStyleType != kFillClippedBitmapHard;
    }
    return fill;
}

FillDef ToMorphFill(const CMorphFillStyleItem* style, double t)
{
    FillDef fill;
    if (!style)
        return fill;
    const uint8_t type = style->GetFillStyle();
    const CSWFItem* object = style->GetFillObject();
    if (auto* color = dynamic_cast<const CMorphColorItem*>(object)) {
        fill.kind = FillDef::Solid;
        fill.color = MixBytes(ToRGBA(color->m_pStartColor.get()), ToRGBA(color->m_pEndColor.get()), t);
    } else if (auto* gradient = dynamic_cast<const CMorphFillGradientItem*>(object)) {
        fill.kind = type == kFillLinearGradient ? FillDef::Linear : FillDef::Radial;
        fill.matrix = MixMatrix(ToMatrix(gradient->m_pStartMatrix.get()), ToMatrix(gradient->m_pEndMatrix.get()), t);
        if (auto* focal = dynamic_cast<const CMorphFocalGradientItem*>(gradient))
            fill.focal = std::clamp(
                (focal->m_StartFocalPoint + (focal->m_EndFocalPoint - focal->m_StartFocalPoint) * t) / kFixed8, -1.0,
                1.0);
        const CMorphGradientItem* records = gradient->m_pGradient.get();
        for (int i = 0; records && i < records->GetItemCount(); ++i)
            if (auto* record = dynamic_cast<const CMorphGradRecordItem*>(records->GetItem(i)))
                fill.stops.emplace_back(
                    (record->m_StartRatio + (record->m_EndRatio - record->m_StartRatio) * t) / kRatioMax,
                    Mix(ToRGBA(record->m_pStartColor.get()), ToRGBA(record->m_pEndColor.get()), t));
    } else if (auto* bitmap = dynamic_cast<const CMorphFillBitMapItem*>(object)) {
        fill.kind = FillDef::Bitmap;
        fill.bitmapId = bitmap->m_BitMapID;
        fill.matrix = MixMatrix(ToMatrix(bitmap->m_pStartMatrix.get()), ToMatrix(bitmap->m_pEndMatrix.get()), t);
        fill.repeat = type == kFillTiledBitmap || type == kFillTiledBitmapHard;
        fill.smooth = type == kFillTiledBitmap || type == kFillClippedBitmap;
    }
    return fill;
}

void AddFills(std::vector<FillDef>& out, const CFillStyleArrayItem* fills, const RGBA* solid)
{
    for (int i = 0; fills && i < fills->GetItemCount(); ++i) {
        FillDef fill = ToFill(dynamic_cast<const CFillStyleItem*>(fills->GetItem(i)));
        if (solid) {
            fill.kind = FillDef::Solid;
            fill.color = *solid;
        }
        out.push_back(std::move(fill));
    }
}

// The ends, corners and miter limit of a LINESTYLE2 or MORPHLINESTYLE2. cairo gives both ends of a stroke one
// cap: the start's.
template <class Style> void SetLineForm(LineDef& line, const Style& style)
{
    line.cap = LineDef::Cap(std::min<int>(style.m_StartCapStyle, LineDef::SquareCap));
    line.join = LineDef::Join(std::min<int>(style.m_JoinStyle, LineDef::MiterJoin));
    if (style.m_JoinStyle == CLineStyle2Item::kJoinMiter)
        line.miterLimit = style.m_MiterLimitFactor / kFixed8;
    line.noHScale = style.m_NoHScale;
    line.noVScale = style.m_NoVScale;
}

void AddLines(std::vector<LineDef>& out, const CLineStyleArrayItem* lines)
{
    for (int i = 0; lines && i < lines->GetItemCount(); ++i) {
        LineDef line;
        if (auto* style = dynamic_cast<const CLineStyleItem*>(lines->GetItem(i))) {
            line.width = style->m_Width;
            line.color = ToRGBA(style->m_pColor.get());
        } else if (auto* style2 = dynamic_cast<const CLineStyle2Item*>(lines->GetItem(i))) {
            line.width = style2->m_Width;
            SetLineForm(line, *style2);
            if (style2->m_pFillStyle) {
                line.hasFill = true;
                line.fill = ToFill(style2->m_pFillStyle.get());
            } else {
                line.color = ToRGBA(style2->m_pColor.get());
            }
        }
        out.push_back(line);
    }
}

// Only the geometry of a shape's edges, in order (for the end shape of a morph).
std::vector<Edge> WalkEdges(const CShapeItem* shape)
{
    std::vector<Edge> edges;
    double x = 0;
    double y = 0;
    for (int i = 0; shape && i < shape->GetItemCount(); ++i) {
        const CSWFItem* item = shape->GetItem(i);
        if (auto* change = dynamic_cast<const CStyleChangeRecordItem*>(item)) {
            if (change->m_StateMoveTo) {
                x = change->m_MoveDeltaX;
                y = change->m_MoveDeltaY;
            }
        } else if (auto* line = dynamic_cast<const CStraightedEdgeRecordItem*>(item)) {
            const double nx = x + line->m_DeltaX;
            const double ny = y + line->m_DeltaY;
            edges.push_back({ x, y, (x + nx) / 2, (y + ny) / 2, nx, ny, false });
            x = nx;
            y = ny;
        } else if (auto* curve = dynamic_cast<const CCurvedEdgeRecordItem*>(item)) {
            const double cx = x + curve->m_ControlDeltaX;
            const double cy = y + curve->m_ControlDeltaY;
            const double nx = cx + curve->m_AnchorDeltaX;
            const double ny = cy + curve->m_AnchorDeltaY;
            edges.push_back({ x, y, cx, cy, nx, ny, true });
            x = nx;
            y = ny;
        }
    }
    return edges;
}

using Point2 = std::pair<double, double>;
// How many objects cached as bitmaps are being drawn on this thread, one inside another. The player draws such
// an object into a bitmap of its own at its points' exact device positions, where the stage keeps them on
// twentieths of a pixel: an edge passing within a twip of pixel centres covers them or not accordingly.
thread_local int t_BitmapCacheDepth = 0;

// Adds edges to the current path. With a placement the points go to device space through it and land on
// twentieths of a pixel, where the format's players keep their coordinates: an edge that falls a fraction of a
// twip short of a pixel centre covers it all the same when the picture is drawn without anti-aliasing.
class Pen
{
public:
    // With `polygons`, the points laid also go there, a new contour at each move; with `shapeSpace` they go there
    // alone and untransformed, the placement only deciding how finely curves are cut.
    // With `warp`, placed points are moved by a clip's scaling grid.
    Pen(cairo_t* cr, const cairo_matrix_t* placement, Polygons* polygons = nullptr, bool shapeSpace = false,
        const GridWarp* warp = nullptr)
        : m_Cr(cr)
        , m_Placement(placement)
        , m_Polygons(polygons)
        , m_ShapeSpace(shapeSpace && polygons)
        , m_Warp(warp)
        , m_Tolerance(CurveTolerance(placement))
    { }

    void moveTo(double x, double y) const
    {
        if (m_ShapeSpace) {
            m_Polygons->push_back({ { x, y } });
            return;
        }
        place(x, y);
        cairo_move_to(m_Cr, x, y);
        if (m_Polygons)
            m_Polygons->push_back({ { x, y } });
    }

    void edgeTo(const Edge& e) const
    {
        if (!e.curved) {
            double x = e.x1;
            double y = e.y1;
            place(x, y);
            lineTo(x, y);
            return;
        }
        // The quadratic curve as straight pieces cut where it bends, worked out in the shape's own space as the
        // format's players cache a shape's outline once for every placement. The points between the curve's ends
        // are placed as they fall: only the records' own points lie on twips.
        QuadraticCuts({ e.x0, e.y0 }, { e.cx, e.cy }, { e.x1, e.y1 }, m_Tolerance, kMaxCurvePieces, m_Cuts);
        for (double t : m_Cuts) {
            const double u = 1 - t;
            double x = t < 1 ? u * u * e.x0 + 2 * u * t * e.cx + t * t * e.x1 : e.x1;
            double y = t < 1 ? u * u * e.y0 + 2 * u * t * e.cy + t * t * e.y1 : e.y1;
            place(x, y, t < 1);
            lineTo(x, y);
        }
    }

    cairo_t* context() const { return m_Cr; }

private:
    // How far in the shape's space the pieces of a curve may stray from it: kCurveTolerance twips, and at most
    // kCurveDevicePixels on the screen.
    static double CurveTolerance(const cairo_matrix_t* placement)
    {
        double tolerance = kCurveTolerance;
        if (placement) {
            const double scale
                = std::max(std::hypot(placement->xx, placement->yx), std::hypot(placement->xy, placement->yy));
            if (scale * tolerance > kCurveDevicePixels)
                tolerance = kCurveDevicePixels / scale;
        }
        return tolerance;
    }

    void lineTo(double x, double y) const
    {
        if (!m_ShapeSpace)
            cairo_line_to(m_Cr, x, y);
        if (m_Polygons && !m_Polygons->empty())
            m_Polygons->back().push_back({ x, y });
    }

    // Takes a point to device space; a point of the shape's records lands on twentieths of a pixel, one `between`
    // them (on a curve) stays where it falls.
    void place(double& x, double& y, bool between = false) const
    {
        if (!m_Placement || m_ShapeSpace)
            return;
        cairo_matrix_transform_point(m_Placement, &x, &y);
        if (m_Warp)
            m_Warp->apply(x, y);
        // Inside a picture cached as a bitmap, points keep their exact positions.
        if (between || t_BitmapCacheDepth > 0)
            return;
        x = std::round(x * kTwipsPerPixel) / kTwipsPerPixel;
        y = std::round(y * kTwipsPerPixel) / kTwipsPerPixel;
    }

    cairo_t* m_Cr;
    const cairo_matrix_t* m_Placement;
    Polygons* m_Polygons;
    bool m_ShapeSpace;
    const GridWarp* m_Warp;
    double m_Tolerance; // for cutting curves
    mutable std::vector<double> m_Cuts; // a curve's cuts, kept from one curve to the next
};

using Point2 = std::pair<double, double>;

// Joins the edges of one fill style into closed contours and adds them to the current path.
void AddFillPath(const Pen& pen, const std::vector<Edge>& edges)
{
    // Most fills are one contour already in order.
    bool chained = !edges.empty() && edges.back().x1 == edges.front().x0 && edges.back().y1 == edges.front().y0;
    for (size_t i = 0; chained && i + 1 < edges.size(); ++i)
        chained = edges[i].x1 == edges[i + 1].x0 && edges[i].y1 == edges[i + 1].y0;
    if (chained) {
        pen.moveTo(edges.front().x0, edges.front().y0);
        for (const Edge& e : edges)
            pen.edgeTo(e);
        cairo_close_path(pen.context());
        return;
    }
    // The edges by their start point, in their order among equal starts.
    std::vector<std::pair<Point2, size_t>> byStart(edges.size());
    for (size_t i = 0; i < edges.size(); ++i)
        byStart[i] = { Point2 { edges[i].x0, edges[i].y0 }, i };
    std::stable_sort(byStart.begin(), byStart.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<bool> used(edges.size(), false);
    for (size_t first = 0; first < edges.size(); ++first) {
        if (used[first])
            continue;
        size_t current = first;
        pen.moveTo(edges[current].x0, edges[current].y0);
        while (true) {
            used[current] = true;
            const Edge& e = edges[current];
            pen.edgeTo(e);
            // The next unused edge that starts where this one ends: most often the one that follows it.
            size_t next = current + 1;
            if (next >= edges.size() || used[next] || edges[next].x0 != e.x1 || edges[next].y0 != e.y1) {
                next = edges.size();
                const Point2 end { e.x1, e.y1 };
                auto it = std::lower_bound(byStart.begin(), byStart.end(), end,
                    [](const auto& entry, const Point2& point) { return entry.first < point; });
                for (; it != byStart.end() && it->first == end; ++it)
                    if (!used[it->second]) {
                        next = it->second;
                        break;
                    }
            }
            if (next == edges.size())
                break;
            current = next;
        }
        cairo_close_path(pen.context());
    }
}

void AddLinePath(const Pen& pen, const std::vector<Edge>& edges)
{
    bool open = false;
    double lastX = 0;
    double lastY = 0;
    for (const Edge& e : edges) {
        if (!open || e.x0 != lastX || e.y0 != lastY)
            pen.moveTo(e.x0, e.y0);
        open = true;
        pen.edgeTo(e);
        lastX = e.x1;
        lastY = e.y1;
    }
}

Edge Reversed(const Edge& e)
{
    return { e.x1, e.y1, e.cx, e.cy, e.x0, e.y0, e.curved };
}

cairo_surface_t* TransformedCopy(cairo_surface_t* source, const ColorTransform& cx)
{
    const int width = cairo_image_surface_get_width(source);
    const int height = cairo_image_surface_get_height(source);
    cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(copy) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(copy);
        return nullptr;
    }
    cairo_surface_flush(source);
    cairo_surface_flush(copy);
    const unsigned char* in = cairo_image_surface_get_data(source);
    unsigned char* out = cairo_image_surface_get_data(copy);
    const int inStride = cairo_image_surface_get_stride(source);
    const int outStride = cairo_image_surface_get_stride(copy);
    for (int y = 0; y < height; ++y) {
        auto* src = reinterpret_cast<const uint32_t*>(in + size_t(y) * size_t(inStride));
        auto* dst = reinterpret_cast<uint32_t*>(out + size_t(y) * size_t(outStride));
        for (int x = 0; x < width; ++x) {
            const uint32_t p = src[x];
            const double a = (p >> 24) / kColorMax;
            RGBA c { 0, 0, 0, a };
            if (a > 0) {
                c.r = ((p >> 16) & 0xFF) / kColorMax / a;
                c.g = ((p >> 8) & 0xFF) / kColorMax / a;
                c.b = (p & 0xFF) / kColorMax / a;
            }
            c = cx.apply(c);
            auto byte = [](double v) { return uint32_t(std::lround(std::clamp(v, 0.0, 1.0) * kColorMax)); };
            dst[x] = (byte(c.a) << 24) | (byte(c.r * c.a) << 16) | (byte(c.g * c.a) << 8) | byte(c.b * c.a);
        }
    }
    cairo_surface_mark_dirty(copy);
    return copy;
}

} // namespace

std::vector<ShapeLayer> WalkShape(
    const CShapeItem* shape, const CFillStyleArrayItem* fills, const CLineStyleArrayItem* lines, const RGBA* solid)
{
    std::vector<ShapeLayer> layers(1);
    AddFills(layers.back().fills, fills, solid);
    AddLines(layers.back().lines, lines);
    if (solid && layers.back().fills.empty()) {
        FillDef fill;
        fill.kind = FillDef::Solid;
        fill.color = *solid;
        layers.back().fills.push_back(fill);
    }
    double x = 0;
    double y = 0;
    uint32_t fill0 = 0;
    uint32_t fill1 = 0;
    uint32_t line = 0;
    for (int i = 0; shape && i < shape->GetItemCount(); ++i) {
        const CSWFItem* item = shape->GetItem(i);
        if (auto* change = dynamic_cast<const CStyleChangeRecordItem*>(item)) {
            if (change->m_StateNewStyles) {
                layers.emplace_back();
                AddFills(layers.back().fills, change->m_pFillStyles.get(), solid);
                AddLines(layers.back().lines, change->m_pLineStyles.get());
                fill0 = fill1 = line = 0;
            }
            if (change->m_StateMoveTo) {
                x = change->m_MoveDeltaX;
                y = change->m_MoveDeltaY;
            }
            if (change->m_StateFillStyle0)
                fill0 = change->m_FillStyle0;
            if (change->m_StateFillStyle1)
                fill1 = change->m_FillStyle1;
            if (change->m_StateLineStyle)
                line = change->m_LineStyle;
        } else if (auto* straight = dynamic_cast<const CStraightedEdgeRecordItem*>(item)) {
            const double nx = x + straight->m_DeltaX;
            const double ny = y + straight->m_DeltaY;
            layers.back().edges.push_back({ { x, y, (x + nx) / 2, (y + ny) / 2, nx, ny, false }, fill0, fill1, line });
            x = nx;
            y = ny;
        } else if (auto* curve = dynamic_cast<const CCurvedEdgeRecordItem*>(item)) {
            const double cx = x + curve->m_ControlDeltaX;
            const double cy = y + curve->m_ControlDeltaY;
            const double nx = cx + curve->m_AnchorDeltaX;
            const double ny = cy + curve->m_AnchorDeltaY;
            layers.back().edges.push_back({ { x, y, cx, cy, nx, ny, true }, fill0, fill1, line });
            x = nx;
            y = ny;
        }
    }
    return layers;
}

Renderer::Renderer(MoviePlayer& movie, BitmapCache& bitmaps)
    : m_Movie(movie)
    , m_Characters(&movie.m_Characters)
    , m_JPEGTables(movie.m_JPEGTables)
    , m_Swf(movie.m_Movie.get())
    , m_Bitmaps(bitmaps)
{ }

Renderer::~Renderer()
{
    for (FilteredPicture& picture : m_Pictures)
        cairo_surface_destroy(picture.surface);
    for (FilteredPicture& picture : m_Gradients)
        cairo_surface_destroy(picture.surface);
    forgetCoverages();
}

void Renderer::forgetCoverages()
{
    for (auto& [key, kept] : m_Coverages)
        if (kept.mask)
            cairo_surface_destroy(kept.mask);
    m_Coverages.clear();
    m_CoverageBytes = 0;
}

void Renderer::draw(const DrawTarget& target, const cairo_matrix_t& view, uint32_t background)
{
    cairo_surface_t* surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(target.pixels),
        CAIRO_FORMAT_ARGB32, target.width, target.height, target.stride);
    cairo_t* cr = cairo_create(surface);
    // Only the plug-in's area, and of it only what the clip allows.
    cairo_rectangle(cr, target.area.left, target.area.top, target.area.right - target.area.left,
        target.area.bottom - target.area.top);
    cairo_clip(cr);
    for (const PixelRect& r : target.clip)
        if (!r.empty())
            cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_clip(cr);
    cairo_set_antialias(cr, m_Movie.quality() == Quality::Low ? CAIRO_ANTIALIAS_NONE : CAIRO_ANTIALIAS_DEFAULT);
    cairo_set_tolerance(cr, 0.1);
    cairo_set_source_rgb(cr, ((background >> 16) & 0xFF) / kColorMax, ((background >> 8) & 0xFF) / kColorMax,
        (background & 0xFF) / kColorMax);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    // Filter sizes count pixels of the stage at its own size; the view's scale enlarges them.
    m_FilterScaleX = std::hypot(view.xx, view.yx) * reelfinch::plugin::kTwipsPerPixel;
    m_FilterScaleY = std::hypot(view.xy, view.yy) * reelfinch::plugin::kTwipsPerPixel;
    m_FilterReachLimit = FilterReachLimit(target.area.right - target.area.left, target.area.bottom - target.area.top);
    if (m_Movie.isLoaded()) {
        cairo_matrix_t placed = view;
        placed.x0 += target.area.left;
        placed.y0 += target.area.top;
        m_Stage = placed;
        // The root and each level under their own transform, colour and visibility.
        auto drawTop = [&](const SpriteInstance& top) {
            if (!top.display) {
                drawList(cr, top, placed, ColorTransform {}, 0);
            } else if (top.display->visible) {
                cairo_matrix_t m;
                cairo_matrix_multiply(&m, &top.display->matrix, &placed);
                drawList(cr, top, m, top.display->colorTransform, 0);
            }
        };
        drawTop(m_Movie.m_Root);
        for (const auto& [number, level] : m_Movie.m_Levels)
            drawTop(*level);
        drawFocusRect(cr, placed);
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    for (cairo_surface_t* temporary : m_Temporary)
        cairo_surface_destroy(temporary);
    m_Temporary.clear();
    // Kept pictures (filtered ones and masks) not drawn this frame are dropped.
    std::erase_if(m_Pictures, [](FilteredPicture& picture) {
        if (picture.used)
            return false;
        cairo_surface_destroy(picture.surface);
        return true;
    });
    for (FilteredPicture& picture : m_Pictures)
        picture.used = false;
    size_t keptFree = 0;
    std::erase_if(m_LayerBuffers, [&keptFree](const std::unique_ptr<LayerBuffer>& buffer) {
        if (buffer->used)
            return false;
        keptFree += buffer->size;
        return keptFree > kKeptFreeLayerPixels;
    });
    std::erase_if(m_Gradients, [this](FilteredPicture& picture) {
        if (picture.used)
            return false;
        m_GradientPixels -= size_t(cairo_image_surface_get_width(picture.surface))
            * size_t(cairo_image_surface_get_height(picture.surface));
        cairo_surface_destroy(picture.surface);
        return true;
    });
    for (FilteredPicture& picture : m_Gradients)
        picture.used = false;
}

void Renderer::useLibrary(const MovieLibrary* library)
{
    m_Characters = &m_Movie.charactersOf(library);
    m_JPEGTables = library ? library->jpegTables : m_Movie.m_JPEGTables;
    m_Swf = library ? library->movie.get() : m_Movie.m_Movie.get();
}

const ScalingGrid* Renderer::scalingGrid(uint16_t id)
{
    if (!m_Swf)
        return nullptr;
    auto [movie, fresh] = m_Grids.try_emplace(m_Swf);
    if (fresh) {
        // A grid names a sprite or button defined before it; the first grid of a character holds.
        const CTagsItem* tags = m_Swf->GetTags();
        for (int i = 0; tags && i < tags->GetItemCount(); ++i) {
            const auto* tag = dynamic_cast<const CDefineScalingGridTag*>(tags->GetTag(i));
            if (!tag || !tag->m_pSplitter)
                continue;
            auto defined = m_Characters->find(tag->m_CharacterID);
            if (defined == m_Characters->end())
                continue;
            const CRectItem& r = *tag->m_pSplitter;
            movie->second.try_emplace(tag->m_CharacterID,
                GridEntry { defined->second,
                    ScalingGrid { double(r.m_XMin), double(r.m_YMin), double(r.m_XMax), double(r.m_YMax) } });
        }
    }
    auto found = movie->second.find(id);
    if (found == movie->second.end())
        return nullptr;
    auto defined = m_Characters->find(id);
    return defined != m_Characters->end() && defined->second == found->second.definition ? &found->second.grid
                                                                                          : nullptr;
}

void Renderer::drawFocusRect(cairo_t* cr, const cairo_matrix_t& stage)
{
    double box[4];
    if (!m_Movie.focusRectangle(box))
        return;
    // A yellow frame on whole pixels around the focused object's box, over everything else.
    DeviceBox device;
    device.add(stage, box[0], box[1], box[2], box[3]);
    if (device.empty() || !std::isfinite(device.x0) || !std::isfinite(device.y1))
        return;
    const double left = std::floor(device.x0);
    const double top = std::floor(device.y0);
    const double right = std::ceil(device.x1);
    const double bottom = std::ceil(device.y1);
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_source_rgb(cr, 1, 1, 0);
    cairo_set_line_width(cr, kFocusRectWidth);
    cairo_rectangle(cr, left + kFocusRectWidth / 2, top + kFocusRectWidth / 2, right - left - kFocusRectWidth,
        bottom - top - kFocusRectWidth);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void Renderer::drawList(
    cairo_t* cr, const SpriteInstance& sprite, const cairo_matrix_t& parent, const ColorTransform& cx, int nesting)
{
    // A sprite's characters are those of the movie it came from.
    const LibraryScope scope(*this, sprite.library);
    // What scripts drew lies under the clip's children.
    if (sprite.drawing && !sprite.drawing->empty()) {
        const cairo_matrix_t* outerOwn = m_OwnMatrix;
        m_OwnMatrix = nullptr;
        drawLayers(cr, sprite.drawing->layers(), parent, cx, warpAt(nesting));
        m_OwnMatrix = outerOwn;
    }
    const auto& list = sprite.displayList;
    for (auto it = list.begin(); it != list.end(); ++it) {
        const DisplayObject& object = it->second;
        // Inside a mask the masks of a clip cut nothing: their shapes add to the mask's coverage like any other,
        // and what they would mask covers whole.
        if (object.clipDepth == 0 || m_MaskMode) {
            drawObject(cr, object, parent, cx, nesting);
            continue;
        }
        // A mask: the objects above it up to its clip depth show only where it has shape, so nothing of them is
        // drawn beyond the mask's extent and the layers are no larger than that.
        auto last = it;
        for (auto next = std::next(it); next != list.end() && next->first <= object.clipDepth; ++next)
            last = next;
        cairo_matrix_t placed;
        cairo_matrix_multiply(&placed, &object.matrix, &parent);
        DeviceBox box;
        const bool bounded
            = characterBounds(object.characterId, placed, object.buttonState, ContentOf(object), nesting, box);
        if (bounded && box.empty()) {
            it = last;
            continue;
        }
        cairo_save(cr);
        if (bounded) {
            box.grow(kLayerPad);
            ClipToBox(cr, box);
        }
        // A mask drawn last frame in the same place and clip, with the same content, is used again: masks often
        // stay while what they show moves.
        startLayerKey(cr, kMaskKey);
        const bool keyed = appendPictureKey(object, placed, cx, nesting, m_Key);
        cairo_pattern_t* mask = nullptr;
        if (const FilteredPicture* kept = keyed ? keptPicture() : nullptr) {
            mask = keptPattern(cr, *kept);
        } else {
            std::vector<uint64_t> key;
            if (keyed)
                key = m_Key; // m_Key is reused by the objects drawn inside the mask
            dropPictures(&object);
            cairo_t* maskLayer = beginLayer(cr, nullptr, kMaskFormat);
            const bool wasMask = m_MaskMode;
            m_MaskMode = true;
            drawObject(maskLayer, object, parent, cx, nesting);
            m_MaskMode = wasMask;
            mask = endLayer(cr, maskLayer);
            cairo_surface_t* surface = nullptr;
            if (keyed && cairo_pattern_get_surface(mask, &surface) == CAIRO_STATUS_SUCCESS)
                m_Pictures.push_back({ std::move(key), cairo_surface_reference(surface), true, std::nullopt, &object });
        }
        cairo_t* content = beginLayer(cr);
        for (auto next = std::next(it); next != std::next(last); ++next)
            drawObject(content, next->second, parent, cx, nesting);
        cairo_pattern_t* masked = endLayer(cr, content);
        if (!MaskLayer(cr, masked, mask)) {
            cairo_set_source(cr, masked);
            cairo_mask(cr, mask);
        }
        cairo_pattern_destroy(mask);
        cairo_pattern_destroy(masked);
        cairo_restore(cr);
        it = last;
    }
}

namespace {
void DrawVideoPicture(cairo_t* cr, const CDefineVideoStreamTag& define, cairo_surface_t* picture, int width,
    int height, const cairo_matrix_t& m, const ColorTransform& cx, bool smooth, bool maskMode,
    std::vector<cairo_surface_t*>& temporary);
}

void Renderer::drawObject(
    cairo_t* cr, const DisplayObject& object, const cairo_matrix_t& parent, const ColorTransform& cx, int nesting)
{
    // An invisible object draws nothing, but as a mask it still masks.
    if (!object.visible && !m_MaskMode)
        return;
    if (!m_MaskMode && object.sprite && object.sprite.get() != m_ScriptMasked) {
        if (IsScriptMask(*object.sprite))
            return;
        if (const SpriteInstance* mask = ScriptMask(*object.sprite)) {
            drawScriptMasked(cr, object, *mask, parent, cx, nesting);
            return;
        }
    }
    cairo_matrix_t m;
    cairo_matrix_multiply(&m, &object.matrix, &parent);
    if (!object.scrollRect) {
        drawPlaced(cr, object, m, cx, nesting);
        return;
    }
    // A scroll rectangle shows the part of the object inside it, moved to the object's origin.
    const auto& [x, y, width, height] = *object.scrollRect;
    cairo_matrix_t inverse = m;
    if (!(width > 0 && height > 0) || cairo_matrix_invert(&inverse) != CAIRO_STATUS_SUCCESS)
        return; // nothing of it shows (a flattened object cannot be drawn at all)
    // The rectangle is the bounds of a cached picture: its corner goes to the nearest whole pixel.
    if (!m_MaskMode && (object.cacheAsBitmap || !object.filters.empty())) {
        DeviceBox box;
        box.add(m, 0, 0, width, height);
        if (std::isfinite(box.x0) && std::isfinite(box.y0)) {
            m.x0 += std::floor(box.x0 + 0.5) - box.x0;
            m.y0 += std::floor(box.y0 + 0.5) - box.y0;
        }
    }
    // Inside a mask the rectangle moves what it holds but cuts nothing off.
    if (m_MaskMode) {
        cairo_matrix_translate(&m, -x, -y);
        drawPlaced(cr, object, m, cx, nesting);
        return;
    }
    cairo_save(cr);
    cairo_matrix_t user;
    cairo_get_matrix(cr, &user);
    cairo_set_matrix(cr, &m);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_set_matrix(cr, &user);
    cairo_clip(cr);
    if (object.opaqueBackground && !m_MaskMode) {
        const uint32_t c = *object.opaqueBackground;
        cairo_set_source_rgb(cr, ((c >> 16) & 0xFF) / kColorMax, ((c >> 8) & 0xFF) / kColorMax, (c & 0xFF) / kColorMax);
        cairo_paint(cr);
    }
    cairo_matrix_translate(&m, -x, -y);
    drawPlaced(cr, object, m, cx, nesting, true);
    cairo_restore(cr);
}

void Renderer::drawScriptMasked(cairo_t* cr, const DisplayObject& object, const SpriteInstance& mask,
    const cairo_matrix_t& parent, const ColorTransform& cx, int nesting)
{
    // The mask's parent on the stage: the transforms of the clips holding it, up to its root or level.
    cairo_matrix_t maskParent;
    cairo_matrix_init_identity(&maskParent);
    int depth = 0;
    for (const SpriteInstance* holder = mask.parent; holder && depth <= kMaxNesting; holder = holder->parent, ++depth)
        if (holder->display)
            cairo_matrix_multiply(&maskParent, &maskParent, &holder->display->matrix);
    cairo_matrix_multiply(&maskParent, &maskParent, &m_Stage);
    // The layers cover the whole clip: the mask's bounds count its scroll rectangles, which inside a mask cut
    // nothing off.
    cairo_save(cr);
    cairo_t* maskLayer = beginLayer(cr, nullptr, kMaskFormat);
    m_MaskMode = true;
    drawObject(maskLayer, *mask.display, maskParent, ColorTransform {}, nesting);
    m_MaskMode = false;
    cairo_pattern_t* maskPattern = endLayer(cr, maskLayer);
    cairo_t* content = beginLayer(cr);
    const SpriteInstance* wasMasked = m_ScriptMasked;
    m_ScriptMasked = object.sprite.get();
    drawObject(content, object, parent, cx, nesting);
    m_ScriptMasked = wasMasked;
    cairo_pattern_t* masked = endLayer(cr, content);
    if (!MaskLayer(cr, masked, maskPattern)) {
        cairo_set_source(cr, masked);
        cairo_mask(cr, maskPattern);
    }
    cairo_pattern_destroy(maskPattern);
    cairo_pattern_destroy(masked);
    cairo_restore(cr);
}

void Renderer::drawPlaced(
    cairo_t* cr, const DisplayObject& object, cairo_matrix_t m, const ColorTransform& cx, int nesting, bool placed)
{
    // A text field scripts or typing have changed draws from its state; with filters or a blend mode, in a layer
    // of its own as any other object.
    const bool layered = !m_MaskMode
        && (!object.filters.empty() || (object.blendMode > kBlendNormal && object.blendMode <= kBlendHardLight));
    if (object.field && !layered) {
        drawField(cr, *object.field, m, cx.after(object.colorTransform));
        return;
    }
    // A video showing a NetStream: the stream's picture in place of the character's own frames.
    if (object.video && object.video->source) {
        auto found = m_Characters->find(object.characterId);
        auto* define = found == m_Characters->end() ? nullptr : dynamic_cast<const CDefineVideoStreamTag*>(found->second);
        cairo_surface_t* picture = object.video->picture();
        if (define && picture)
            DrawVideoPicture(cr, *define, picture, object.video->source->pictureWidth(),
                object.video->source->pictureHeight(), m, cx.after(object.colorTransform),
                object.video->smoothing && m_Movie.quality() != Quality::Low, m_MaskMode, m_Temporary);
        return;
    }
    // A script's bitmap: a rectangle filled with its pixels, one pixel to 20 twips.
    if (object.bitmap) {
        const double w = object.bitmap->width() * 20.0;
        const double h = object.bitmap->height() * 20.0;
        std::vector<ShapeLayer> picture(1);
        FillDef fill;
        fill.kind = FillDef::Bitmap;
        fill.pixels = object.bitmap;
        fill.smooth = object.smoothBitmap;
        cairo_matrix_init_scale(&fill.matrix, 20, 20);
        picture[0].fills.push_back(std::move(fill));
        const double corners[5][2] = { { 0, 0 }, { w, 0 }, { w, h }, { 0, h }, { 0, 0 } };
        for (int i = 0; i < 4; ++i) {
            const auto& [x0, y0] = corners[i];
            const auto& [x1, y1] = corners[i + 1];
            picture[0].edges.push_back({ { x0, y0, (x0 + x1) / 2, (y0 + y1) / 2, x1, y1, false }, 0, 1, 0 });
        }
        drawLayers(cr, picture, m, cx.after(object.colorTransform));
        return;
    }
    const uint8_t mode = object.blendMode;
    const bool normal = mode <= kBlendNormal || mode > kBlendHardLight;
    const bool filtered = !object.filters.empty() && !m_MaskMode;
    if (!m_MaskMode && !placed && (filtered || object.cacheAsBitmap || object.opaqueBackground))
        placeCached(cr, object, m, nesting);
    struct BitmapCache {
        bool on;
        explicit BitmapCache(bool cached)
            : on(cached)
        {
            t_BitmapCacheDepth += on;
        }
        ~BitmapCache() { t_BitmapCacheDepth -= on; }
    } bitmapCache(object.cacheAsBitmap && !m_MaskMode);
    if ((normal && !filtered) || m_MaskMode) {
        drawCharacter(cr, object.characterId, m, cx.after(object.colorTransform), object.ratio, object.buttonState,
            ContentOf(object), nesting, &object.matrix);
        return;
    }
    // Alpha and erase work on the layer that holds the object: with none below them but the stage, which stays
    // opaque, they change nothing.
    if ((mode == kBlendAlpha || mode == kBlendErase) && m_LayerDepth == 0)
        return;
    // Filters and blend modes draw the object whole on its own, a layer for the alpha and erase modes of what it
    // holds; the filters work on that picture, which the blend mode then mixes with what lies below it.
    // The layer covers only what the object may draw and the room its filters reach, not the whole clip.
    cairo_save(cr);
    // A filter's effect reaches into the clip from parts of the object outside it (a shadow cast from above the
    // view): the filtered layer covers the clip grown by that reach.
    const int reach = filtered ? FilterMargin(object.filters, m_FilterScaleX, m_FilterScaleY, m_FilterReachLimit) : 0;
    DeviceBox layerBox;
    DeviceBox clipBox;
    if (filtered) {
        cairo_matrix_t user;
        cairo_get_matrix(cr, &user);
        cairo_identity_matrix(cr);
        cairo_clip_extents(cr, &layerBox.x0, &layerBox.y0, &layerBox.x1, &layerBox.y1);
        cairo_set_matrix(cr, &user);
        clipBox = layerBox;
        // What lands in the clip comes from the opposite side of each effect's offset: a shadow cast downwards
        // needs the rows above the clip, none below it.
        const auto sides = FilterReach(object.filters, m_FilterScaleX, m_FilterScaleY, m_FilterReachLimit);
        layerBox.x0 -= sides[2];
        layerBox.y0 -= sides[3];
        layerBox.x1 += sides[0];
        layerBox.y1 += sides[1];
    }
    DeviceBox box;
    // A field's own bounds follow its state, not its tag's: its layer is not cut to them.
    if (!object.field && characterBounds(object.characterId, m, object.buttonState, ContentOf(object), nesting, box)) {
        if (box.empty()) {
            cairo_restore(cr);
            if (mode != kBlendAlpha)
                return;
            box = DeviceBox { 0, 0, 0, 0 };
            cairo_save(cr);
        }
        DeviceBox own = box;
        box.grow(kLayerPad + reach);
        ClipToBox(cr, box);
        layerBox = Intersection(layerBox, box);
        if (filtered) {
            // The layer holds the object's own pixels that its effects can carry into the clip, and the part of
            // the clip its effects can reach, no more: the room the blurs spread the picture over outside the
            // clip is the filters' own (a shadow or bevel cast far away lands outside a small view, and a wide
            // blur of a small object in a small view needs no layer of the blur's size).
            own.grow(kLayerPad);
            layerBox = Intersection(layerBox, Hull(Intersection(clipBox, box), own));
        }
    }
    // Nothing the filters make can reach the clip (an alpha layer still clears what lies below).
    if (filtered && layerBox.empty() && mode != kBlendAlpha) {
        cairo_restore(cr);
        return;
    }
    // A filtered picture drawn last frame with the same key is used again.
    bool keyed = false;
    if (filtered) {
        startLayerKey(cr, kFilteredKey);
        for (double v : { layerBox.x0, layerBox.y0, layerBox.x1, layerBox.y1, m_FilterScaleX, m_FilterScaleY,
                 m_FilterReachLimit })
            m_Key.push_back(KeyWord(v));
        keyed = appendPictureKey(object, m, cx, nesting, m_Key);
        if (FilteredPicture* picture = keyed ? keptPicture() : nullptr) {
            cairo_pattern_t* group = keptPattern(cr, *picture);
            cairo_restore(cr);
            CompositeBlend(cr, group, normal ? uint8_t(kBlendNormal) : mode, &picture->ink);
            cairo_pattern_destroy(group);
            return;
        }
    }
    std::vector<uint64_t> key;
    if (keyed)
        key = m_Key; // m_Key is reused by the objects drawn inside this one
    if (filtered)
        dropPictures(&object);
    cairo_t* layer = beginLayer(cr, filtered && !layerBox.empty() ? &layerBox : nullptr);
    ++m_LayerDepth;
    // A filtered object is drawn without its colour transform, which applies to what its filters make.
    const ColorTransform own = cx.after(object.colorTransform);
    if (object.field)
        drawField(layer, *object.field, m, filtered ? ColorTransform {} : own);
    else
        drawCharacter(layer, object.characterId, m, filtered ? ColorTransform {} : own, object.ratio,
            object.buttonState, ContentOf(object), nesting, &object.matrix);
    --m_LayerDepth;
    cairo_pattern_t* group = endLayer(cr, layer);
    // Alpha clears what lies below outside the layer too: the layer's own clip is dropped before mixing.
    cairo_restore(cr);
    cairo_surface_t* picture = nullptr;
    if (filtered && cairo_pattern_get_surface(group, &picture) == CAIRO_STATUS_SUCCESS
        && cairo_surface_get_type(picture) == CAIRO_SURFACE_TYPE_IMAGE) {
        // Only what lands in the clip is shown: the filters work out those pixels alone, with one pixel of room.
        double offsetX = 0;
        double offsetY = 0;
        cairo_surface_get_device_offset(picture, &offsetX, &offsetY);
        auto pixel = [](double v) { return int(v > -1e9 ? std::min(v, 1e9) : -1e9); };
        const std::array<int, 4> view { pixel(std::floor(clipBox.x0 + offsetX)) - 1,
            pixel(std::floor(clipBox.y0 + offsetY)) - 1, pixel(std::ceil(clipBox.x1 + offsetX)) + 1,
            pixel(std::ceil(clipBox.y1 + offsetY)) + 1 };
        ApplyFilters(picture, object.filters, m_FilterScaleX, m_FilterScaleY, &view, m_FilterReachLimit);
        TransformPicture(picture, own);
        // Kept for the next frame as it is: the layer's buffer stays with the picture until the picture is
        // dropped, and other layers take other buffers meanwhile.
        if (keyed)
            m_Pictures.push_back({ std::move(key), cairo_surface_reference(picture), true, std::nullopt, &object });
    }
    std::optional<std::array<int, 4>> ink;
    CompositeBlend(cr, group, normal ? uint8_t(kBlendNormal) : mode, &ink);
    if (keyed && picture)
        m_Pictures.back().ink = ink;
    cairo_surface_t* target = nullptr;
    if (ink && cairo_pattern_get_surface(group, &target) == CAIRO_STATUS_SUCCESS)
        noteLayerInk(target, *ink);
    cairo_pattern_destroy(group);
}

void Renderer::placeCached(cairo_t* cr, const DisplayObject& object, cairo_matrix_t& m, int nesting)
{
    DeviceBox box;
    m_DeclaredBounds = true;
    const bool bounded = characterBounds(object.characterId, m, object.buttonState, ContentOf(object), nesting, box);
    m_DeclaredBounds = false;
    if (!bounded || box.empty()
        || !std::isfinite(box.x0) || !std::isfinite(box.y0) || !std::isfinite(box.x1) || !std::isfinite(box.y1))
        return;
    // A cached picture (bitmap caching, filters) is drawn on its own and placed with the corner of its bounds on
    // the nearest whole pixel: the object moves by up to half a pixel. A corner halfway between two pixels goes
    // right and down, except downwards for a picture both cached and filtered: that one goes up (the player
    // shows its filtered picture a pixel above where the cached one alone would land, across it does not).
    if (object.cacheAsBitmap || !object.filters.empty()) {
        const double dx = std::floor(box.x0 + 0.5) - box.x0;
        const double dy = (object.cacheAsBitmap && !object.filters.empty() ? std::ceil(box.y0 - 0.5)
                                                                             : std::floor(box.y0 + 0.5))
            - box.y0;
        m.x0 += dx;
        m.y0 += dy;
        box.x0 += dx;
        box.x1 += dx;
        box.y0 += dy;
        box.y1 += dy;
    }
    // An opaque background fills the bounds under the object, whatever its colour transform.
    if (object.opaqueBackground) {
        const uint32_t c = *object.opaqueBackground;
        cairo_save(cr);
        cairo_identity_matrix(cr);
        cairo_rectangle(cr, box.x0, box.y0, box.x1 - box.x0, box.y1 - box.y0);
        cairo_set_source_rgb(cr, ((c >> 16) & 0xFF) / kColorMax, ((c >> 8) & 0xFF) / kColorMax, (c & 0xFF) / kColorMax);
        cairo_fill(cr);
        cairo_restore(cr);
    }
}

bool Renderer::appendPictureKey(const DisplayObject& object, const cairo_matrix_t& m, const ColorTransform& cx,
    int nesting, std::vector<uint64_t>& key)
{
    if (nesting > kMaxNesting)
        return true; // drawn as nothing
    const ColorTransform own = cx.after(object.colorTransform);
    for (double v : { m.xx, m.yx, m.xy, m.yy, m.x0, m.y0, own.mr, own.mg, own.mb, own.ma, own.ar, own.ag, own.ab,
             own.aa })
        key.push_back(KeyWord(v));
    auto found = m_Characters->find(object.characterId);
    const CTag* tag = found == m_Characters->end() ? nullptr : found->second;
    key.push_back(uint64_t(reinterpret_cast<uintptr_t>(tag)));
    if (!tag && object.sprite)
        return appendListKey(*object.sprite, nesting + 1, key);
    key.push_back(uint64_t(object.characterId) | uint64_t(object.ratio) << 16 | uint64_t(object.clipDepth) << 32
        | uint64_t(object.blendMode) << 48 | uint64_t(object.visible) << 56);
    key.push_back(uint64_t(uint32_t(object.buttonState)));
    key.push_back(object.bitmap ? object.bitmap->serial() : 0);
    AppendFilterKey(object.filters, key);
    if (!tag)
        return true;
    switch (tag->m_TagCode) {
    case kTagDefineShape:
    case kTagDefineShape2:
    case kTagDefineShape3:
    case kTagDefineShape4:
    case kTagDefineMorphShape:
    case kTagDefineText:
    case kTagDefineText2:
        return true;
    case kTagDefineSprite:
        return !object.sprite || appendListKey(*object.sprite, nesting + 1, key);
    default:
        // Text fields change with their variables, buttons with their records' own state: drawn each frame.
        return false;
    }
}

bool Renderer::appendListKey(const SpriteInstance& sprite, int nesting, std::vector<uint64_t>& key)
{
    const LibraryScope scope(*this, sprite.library);
    key.push_back(uint64_t(sprite.displayList.size()));
    key.push_back(sprite.drawing ? sprite.drawing->serial() : 0);
    for (const auto& [depth, child] : sprite.displayList) {
        key.push_back(depth);
        if (!appendPictureKey(child, child.matrix, ColorTransform {}, nesting, key))
            return false;
    }
    return true;
}

void Renderer::startLayerKey(cairo_t* cr, uint64_t kind)
{
    m_Key.clear();
    m_Key.push_back(kind);
    double clip[4];
    cairo_matrix_t user;
    cairo_get_matrix(cr, &user);
    cairo_identity_matrix(cr);
    cairo_clip_extents(cr, &clip[0], &clip[1], &clip[2], &clip[3]);
    cairo_set_matrix(cr, &user);
    for (double v : clip)
        m_Key.push_back(KeyWord(v));
    for (double v : { user.xx, user.yx, user.xy, user.yy, user.x0, user.y0 })
        m_Key.push_back(KeyWord(v));
    m_Key.push_back(uint64_t(cairo_get_antialias(cr)));
}

Renderer::FilteredPicture* Renderer::keptPicture()
{
    for (FilteredPicture& picture : m_Pictures)
        if (picture.key == m_Key) {
            picture.used = true;
            return &picture;
        }
    return nullptr;
}

void Renderer::dropPictures(const void* owner)
{
    for (FilteredPicture& picture : m_Pictures)
        if (picture.owner == owner && !picture.used) {
            cairo_surface_destroy(picture.surface);
            picture.surface = nullptr;
            picture.key.clear();
            picture.owner = nullptr;
        }
}

cairo_pattern_t* Renderer::keptPattern(cairo_t* cr, const FilteredPicture& picture)
{
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(picture.surface);
    cairo_matrix_t user;
    cairo_get_matrix(cr, &user);
    cairo_pattern_set_matrix(pattern, &user);
    return pattern;
}

cairo_surface_t* Renderer::pooledSurface(int width, int height, bool clear, cairo_format_t format)
{
    const int stride = cairo_format_stride_for_width(format, width);
    if (stride <= 0)
        return cairo_image_surface_create(format, width, height); // a surface in error, as cairo would give
    const size_t size = (size_t(stride) * size_t(height) + 3) / 4; // buffers count whole words
    // The smallest free buffer that holds the layer, else the largest free one grown, else a new one.
    LayerBuffer* fits = nullptr;
    LayerBuffer* largest = nullptr;
    for (const auto& candidate : m_LayerBuffers) {
        if (candidate->used)
            continue;
        if (candidate->size >= size && (!fits || candidate->size < fits->size))
            fits = candidate.get();
        if (!largest || candidate->size > largest->size)
            largest = candidate.get();
    }
    LayerBuffer* buffer = fits ? fits : largest;
    if (!buffer) {
        m_LayerBuffers.push_back(std::make_unique<LayerBuffer>());
        buffer = m_LayerBuffers.back().get();
    }
    if (buffer->size < size) {
        // Taken zeroed: a large block comes as fresh pages, which need no clearing.
        buffer->pixels.reset(static_cast<uint32_t*>(std::calloc(size, sizeof(uint32_t))));
        buffer->size = buffer->pixels ? size : 0;
        buffer->inkFrom = 0;
        buffer->inkTo = 0;
    }
    cairo_surface_t* surface = nullptr;
    if (buffer->pixels) {
        if (clear) {
            // Only the words that may hold ink need clearing; a large layer's two halves are cleared on two
            // threads (clearing costs far less a pixel than the gradients FillInTwo is measured for).
            uint32_t* words = buffer->pixels.get();
            const size_t from = std::min(buffer->inkFrom, size);
            const size_t to = std::min(buffer->inkTo, size);
            if (to > from) {
                const size_t rowWords = size_t(stride) / 4;
                const int rows = int((to - from + rowWords - 1) / rowWords);
                auto clearRows = [&](int first, int last) {
                    std::fill(words + from + size_t(first) * rowWords,
                        words + std::min(to, from + size_t(last) * rowWords), 0u);
                };
                if (to - from >= kPixelsForTwoThreads * 8)
                    InTwo(rows, clearRows);
                else
                    clearRows(0, rows);
            }
            // What is drawn next may reach any word of the layer; the words past it are as they were.
            buffer->inkTo = buffer->inkTo > size && buffer->inkTo > buffer->inkFrom ? buffer->inkTo : size;
            buffer->inkFrom = 0;
        } else {
            buffer->inkFrom = 0;
            buffer->inkTo = buffer->size;
        }
        surface = cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(buffer->pixels.get()), format, width, height, stride);
        // The buffer is free again when the last reference to its surface goes.
        buffer->used = cairo_surface_set_user_data(surface, &g_LayerBufferKey, buffer,
                           [](void* b) { static_cast<LayerBuffer*>(b)->used = false; })
            == CAIRO_STATUS_SUCCESS;
        if (!buffer->used) {
            cairo_surface_destroy(surface);
            surface = nullptr;
        }
    }
    if (!surface)
        surface = cairo_image_surface_create(format, width, height);
    return surface;
}

void Renderer::noteLayerInk(cairo_surface_t* surface, const std::array<int, 4>& ink)
{
    auto* buffer = static_cast<LayerBuffer*>(cairo_surface_get_user_data(surface, &g_LayerBufferKey));
    if (!buffer || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE)
        return;
    const size_t rowWords = size_t(cairo_image_surface_get_stride(surface)) / 4;
    const size_t from = ink[3] > ink[1] ? size_t(std::max(ink[1], 0)) * rowWords : 0;
    const size_t to = ink[3] > ink[1] ? size_t(std::max(ink[3], 0)) * rowWords : 0;
    const size_t used = rowWords * size_t(std::max(cairo_image_surface_get_height(surface), 0));
    // Past the layer's own rows the buffer holds what it held before.
    if (buffer->inkTo > used && buffer->inkTo > buffer->inkFrom) {
        buffer->inkFrom = to > from ? from : used;
        return;
    }
    buffer->inkFrom = std::min(from, buffer->size);
    buffer->inkTo = std::min(to, buffer->size);
}

cairo_t* Renderer::beginLayer(cairo_t* cr, const DeviceBox* reach, cairo_format_t format)
{
    cairo_matrix_t user;
    cairo_get_matrix(cr, &user);
    cairo_identity_matrix(cr);
    double x0 = 0;
    double y0 = 0;
    double x1 = 0;
    double y1 = 0;
    cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
    cairo_set_matrix(cr, &user);
    if (reach && std::isfinite(reach->x0) && std::isfinite(reach->y0) && std::isfinite(reach->x1)
        && std::isfinite(reach->y1)) {
        x0 = reach->x0;
        y0 = reach->y0;
        x1 = reach->x1;
        y1 = reach->y1;
    }
    const double left = std::floor(std::max(x0, -kMaxLayerCoordinate));
    const double top = std::floor(std::max(y0, -kMaxLayerCoordinate));
    const int width = std::max(1, int(std::ceil(std::min(x1, kMaxLayerCoordinate)) - left));
    const int height = std::max(1, int(std::ceil(std::min(y1, kMaxLayerCoordinate)) - top));
    cairo_surface_t* surface = pooledSurface(width, height, true, format);
    // The layer's pixel (0, 0) is the device's (left, top).
    cairo_surface_set_device_offset(surface, -left, -top);
    cairo_t* layer = cairo_create(surface);
    cairo_surface_destroy(surface);
    cairo_set_matrix(layer, &user);
    cairo_set_antialias(layer, cairo_get_antialias(cr));
    cairo_set_tolerance(layer, cairo_get_tolerance(cr));
    return layer;
}

cairo_pattern_t* Renderer::endLayer(cairo_t* cr, cairo_t* layer)
{
    cairo_surface_t* surface = cairo_get_target(layer);
    cairo_surface_flush(surface);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
    cairo_destroy(layer);
    // Pattern space is the device's, as for cairo's own groups.
    cairo_matrix_t user;
    cairo_get_matrix(cr, &user);
    cairo_pattern_set_matrix(pattern, &user);
    return pattern;
}

void Renderer::drawCharacter(cairo_t* cr, uint16_t id, const cairo_matrix_t& m, const ColorTransform& cx,
    uint16_t ratio, int buttonState, const SpriteInstance* sprite, int nesting, const cairo_matrix_t* own)
{
    const cairo_matrix_t* outerOwn = m_OwnMatrix;
    m_OwnMatrix = own;
    drawCharacterOwn(cr, id, m, cx, ratio, buttonState, sprite, nesting);
    m_OwnMatrix = outerOwn;
}

void Renderer::drawCharacterOwn(cairo_t* cr, uint16_t id, const cairo_matrix_t& m, const ColorTransform& cx,
    uint16_t ratio, int buttonState, const SpriteInstance* sprite, int nesting)
{
    if (nesting > kMaxNesting)
        return;
    auto found = m_Characters->find(id);
    if (found == m_Characters->end()) {
        // An empty clip made by a script: its drawing and children.
        if (sprite)
            drawList(cr, *sprite, m, cx, nesting + 1);
        return;
    }
    const CTag* tag = found->second;
    switch (tag->m_TagCode) {
    case kTagDefineShape:
    case kTagDefineShape2:
    case kTagDefineShape3:
    case kTagDefineShape4:
        if (const auto* layers = shapeLayers(tag)) {
            const GridWarp* warp = warpAt(nesting);
            if (warp || !drawKeptCoverage(cr, *layers, m, cx))
                drawLayers(cr, *layers, m, cx, warp);
        }
        break;
    case kTagDefineMorphShape:
    case kTagDefineMorphShape2:
        drawLayers(cr, morphLayers(tag, ratio), m, cx, warpAt(nesting));
        break;
    case kTagDefineText:
    case kTagDefineText2:
        drawText(cr, tag, m, cx);
        break;
    case kTagDefineEditText:
        drawEditText(cr, tag, m, cx);
        break;
    case kTagDefineButton:
    case kTagDefineButton2:
        // A button on a display list shows its state's children; one without them, its records.
        if (sprite)
            drawContent(cr, id, *sprite, m, cx, nesting + 1);
        else
            drawButton(cr, tag, m, cx, buttonState, nesting + 1);
        break;
    case kTagDefineSprite:
        if (sprite)
            drawContent(cr, id, *sprite, m, cx, nesting + 1);
        break;
    case kTagDefineVideoStream:
        drawVideo(cr, tag, m, cx, ratio);
        break;
    default:
        break;
    }
}

void Renderer::drawContent(cairo_t* cr, uint16_t id, const SpriteInstance& sprite, const cairo_matrix_t& m,
    const ColorTransform& cx, int nesting)
{
    const GridWarp* outer = m_Warp;
    const int outerNesting = m_WarpNesting;
    // Only a clip's own shapes are sliced: the clips inside it scale as they are.
    GridWarp warp;
    const ScalingGrid* grid = scalingGrid(id);
    constexpr double kFar = std::numeric_limits<double>::max();
    double bounds[4] = { kFar, kFar, -kFar, -kFar };
    const double stageScaleX = std::hypot(m_Stage.xx, m_Stage.yx);
    const double stageScaleY = std::hypot(m_Stage.xy, m_Stage.yy);
    const bool sliced = grid && m_Movie.localBounds(sprite, bounds, 0)
        && warp.set(*grid, bounds, m, stageScaleX, stageScaleY);
    m_Warp = sliced ? &warp : nullptr;
    m_WarpNesting = nesting;
    drawList(cr, sprite, m, cx, nesting);
    m_Warp = outer;
    m_WarpNesting = outerNesting;
}

bool GridWarp::Axis::set(double low, double gridLow, double gridHigh, double high, double scale)
{
    if (!(low < high) || !(gridLow <= gridHigh) || !(scale > 0) || !std::isfinite(scale))
        return false;
    gridLow = std::clamp(gridLow, low, high);
    gridHigh = std::clamp(gridHigh, low, high);
    // The margins keep their size on the screen: 1/scale of it in the clip's space, unless together they are
    // wider than the whole clip is there.
    const double margins = (gridLow - low) + (high - gridHigh);
    const double keep = margins / scale <= high - low ? 1 / scale : margins > 0 ? (high - low) / margins : 1;
    from[0] = low;
    from[1] = gridLow;
    from[2] = gridHigh;
    from[3] = high;
    to[0] = low;
    to[1] = low + (gridLow - low) * keep;
    to[2] = high - (high - gridHigh) * keep;
    to[3] = high;
    return true;
}

double GridWarp::Axis::map(double v) const
{
    // Beyond the clip's ends the margins' scale continues.
    if (v <= from[1]) {
        const double span = from[1] - from[0];
        return span > 0 ? to[0] + (v - from[0]) * (to[1] - to[0]) / span : to[1] + (v - from[1]);
    }
    if (v >= from[2]) {
        const double span = from[3] - from[2];
        return span > 0 ? to[2] + (v - from[2]) * (to[3] - to[2]) / span : to[2] + (v - from[2]);
    }
    return to[1] + (v - from[1]) * (to[2] - to[1]) / (from[2] - from[1]);
}

double GridWarp::Axis::unmap(double v) const
{
    // The pieces of map walked backwards; a margin squeezed to nothing was nothing to begin with.
    if (v <= to[1]) {
        const double span = to[1] - to[0];
        return span > 0 ? from[0] + (v - to[0]) * (from[1] - from[0]) / span : from[1] + (v - to[1]);
    }
    if (v >= to[2]) {
        const double span = to[3] - to[2];
        return span > 0 ? from[2] + (v - to[2]) * (from[3] - from[2]) / span : from[2] + (v - to[2]);
    }
    return from[1] + (v - to[1]) * (from[2] - from[1]) / (to[2] - to[1]);
}

void GridWarp::unwarpLocal(double& x, double& y) const
{
    x = m_X.unmap(x);
    y = m_Y.unmap(y);
}

bool GridWarp::set(const ScalingGrid& grid, const double bounds[4], const cairo_matrix_t& clipToDevice,
    double stageScaleX, double stageScaleY)
{
    m_ToDevice = clipToDevice;
    m_ToClip = clipToDevice;
    if (cairo_matrix_invert(&m_ToClip) != CAIRO_STATUS_SUCCESS)
        return false;
    const double scaleX = std::hypot(clipToDevice.xx, clipToDevice.yx);
    const double scaleY = std::hypot(clipToDevice.xy, clipToDevice.yy);
    // The margins keep their size on the stage, however large the stage is shown.
    return m_X.set(bounds[0], grid.left, grid.right, bounds[2], scaleX / stageScaleX)
        && m_Y.set(bounds[1], grid.top, grid.bottom, bounds[3], scaleY / stageScaleY);
}

void GridWarp::apply(double& x, double& y) const
{
    cairo_matrix_transform_point(&m_ToClip, &x, &y);
    x = m_X.map(x);
    y = m_Y.map(y);
    cairo_matrix_transform_point(&m_ToDevice, &x, &y);
}

namespace {

// How many pixels past its edges placed by `m` a stroke can reach: its width at the shape's largest scale (or
// `devicePixels`, for one that does not scale, and never below a pixel), its corners up to the miter limit, its
// ends, and a margin for anti-aliasing.
double StrokeReachPixels(const cairo_matrix_t& m, double width, double miterLimit, double devicePixels)
{
    const double scale = std::max(std::hypot(m.xx, m.yx), std::hypot(m.xy, m.yy));
    return std::max({ width * scale, kMinLinePixels, devicePixels }) * std::max(miterLimit, 2.0) / 2 + 2;
}

// While it lives, holds the clip to the device pixels a stroke of these edges can reach (its width at the
// shape's largest scale, its corners up to the miter limit, its ends), the drawing state restored after. A
// radial gradient is worked out pixel by pixel over the clip when it is set before its stroke's path: without
// this, over the whole view for every such stroke.
class StrokeReachClip
{
public:
    // `devicePixels`: the width in pixels of a stroke that does not scale with the shape (0 for one that does).
    StrokeReachClip(cairo_t* cr, bool active, const cairo_matrix_t& m, const std::vector<Edge>& edges, double width,
        double miterLimit, double devicePixels)
    {
        if (!active)
            return;
        constexpr double kFar = std::numeric_limits<double>::infinity();
        double x0 = kFar, y0 = kFar, x1 = -kFar, y1 = -kFar;
        const auto add = [&](double x, double y) {
            cairo_matrix_transform_point(&m, &x, &y);
            x0 = std::min(x0, x);
            y0 = std::min(y0, y);
            x1 = std::max(x1, x);
            y1 = std::max(y1, y);
        };
        for (const Edge& e : edges) {
            add(e.x0, e.y0);
            add(e.cx, e.cy);
            add(e.x1, e.y1);
        }
        const double reach = StrokeReachPixels(m, width, miterLimit, devicePixels);
        if (!std::isfinite(x0 - reach) || !std::isfinite(y0 - reach) || !std::isfinite(x1 + reach)
            || !std::isfinite(y1 + reach))
            return;
        m_Cr = cr;
        cairo_save(cr);
        cairo_matrix_t user;
        cairo_get_matrix(cr, &user);
        cairo_identity_matrix(cr);
        const double left = std::floor(x0 - reach);
        const double top = std::floor(y0 - reach);
        cairo_rectangle(cr, left, top, std::ceil(x1 + reach) - left, std::ceil(y1 + reach) - top);
        cairo_clip(cr);
        cairo_set_matrix(cr, &user);
    }
    ~StrokeReachClip()
    {
        if (m_Cr)
            cairo_restore(m_Cr);
    }
    StrokeReachClip(const StrokeReachClip&) = delete;
    StrokeReachClip& operator=(const StrokeReachClip&) = delete;

private:
    cairo_t* m_Cr = nullptr;
};

StrokeCap CapOf(const LineDef& line)
{
    return line.cap == LineDef::NoCap ? StrokeCap::None : line.cap == LineDef::SquareCap ? StrokeCap::Square : StrokeCap::Round;
}

StrokeJoin JoinOf(const LineDef& line)
{
    return line.join == LineDef::BevelJoin ? StrokeJoin::Bevel
        : line.join == LineDef::MiterJoin  ? StrokeJoin::Miter
                                           : StrokeJoin::Round;
}

// cairo's ends, corners and miter limit for a line style.
void SetStrokeForm(cairo_t* cr, const LineDef& line)
{
    cairo_set_line_cap(cr,
        line.cap == LineDef::NoCap           ? CAIRO_LINE_CAP_BUTT
            : line.cap == LineDef::SquareCap ? CAIRO_LINE_CAP_SQUARE
                                             : CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr,
        line.join == LineDef::BevelJoin       ? CAIRO_LINE_JOIN_BEVEL
            : line.join == LineDef::MiterJoin ? CAIRO_LINE_JOIN_MITER
                                              : CAIRO_LINE_JOIN_ROUND);
    cairo_set_miter_limit(cr, line.miterLimit);
}

// A video picture in a video character's rectangle: the picture's visible `width` x `height` from its top left
// fill the rectangle from the origin, whatever size the codec gave it.
void DrawVideoPicture(cairo_t* cr, const CDefineVideoStreamTag& define, cairo_surface_t* picture, int width,
    int height, const cairo_matrix_t& m, const ColorTransform& cx, bool smooth, bool maskMode,
    std::vector<cairo_surface_t*>& temporary)
{
    if (width <= 0 || height <= 0)
        return;
    cairo_save(cr);
    cairo_set_matrix(cr, &m);
    cairo_scale(cr, 20.0 * define.m_Width / width, 20.0 * define.m_Height / height);
    cairo_rectangle(cr, 0, 0, width, height);
    if (maskMode) {
        cairo_set_source_rgba(cr, 0, 0, 0, 1);
    } else {
        if (!cx.isIdentity()) {
            picture = TransformedCopy(picture, cx);
            if (!picture) {
                cairo_restore(cr);
                return;
            }
            temporary.push_back(picture);
        }
        cairo_set_source_surface(cr, picture, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), smooth ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
        cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    }
    cairo_fill(cr);
    cairo_restore(cr);
}

} // namespace

void Renderer::drawVideo(cairo_t* cr, const CTag* tag, const cairo_matrix_t& m, const ColorTransform& cx, uint16_t ratio)
{
    auto* define = dynamic_cast<const CDefineVideoStreamTag*>(tag);
    if (!define || define->m_Width == 0 || define->m_Height == 0)
        return;
    if (!m_Videos)
        m_Videos = std::make_unique<video::MovieVideos>();
    video::Stream* stream = m_Videos->stream(m_Movie.m_Movie->GetTags(), *define);
    cairo_surface_t* picture = stream ? stream->pictureAt(ratio) : nullptr;
    if (!picture)
        return;
    DrawVideoPicture(cr, *define, picture, cairo_image_surface_get_width(picture),
        cairo_image_surface_get_height(picture), m, cx, define->m_Smoothing && m_Movie.quality() != Quality::Low,
        m_MaskMode, m_Temporary);
}

void DeviceBox::add(const cairo_matrix_t& m, double left, double top, double right, double bottom)
{
    const double xs[] = { left, right, right, left };
    const double ys[] = { top, top, bottom, bottom };
    for (int i = 0; i < 4; ++i) {
        double x = xs[i];
        double y = ys[i];
        cairo_matrix_transform_point(&m, &x, &y);
        if (!std::isfinite(x) || !std::isfinite(y))
            continue;
        if (empty()) {
            x0 = x1 = x;
            y0 = y1 = y;
            continue;
        }
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
    }
}

void DeviceBox::grow(double by)
{
    if (empty())
        return;
    x0 -= by;
    y0 -= by;
    x1 += by;
    y1 += by;
}

bool Renderer::listBounds(const SpriteInstance& sprite, const cairo_matrix_t& m, int nesting, DeviceBox& box)
{
    const LibraryScope scope(*this, sprite.library);
    if (double drawn[4] = { 1e300, 1e300, -1e300, -1e300 }; sprite.drawing && sprite.drawing->bounds(m, drawn)) {
        DeviceBox own;
        own.add({ 1, 0, 0, 1, 0, 0 }, drawn[0], drawn[1], drawn[2], drawn[3]);
        own.grow(kLayerPad); // room for the pixels anti-aliasing touches
        box.add({ 1, 0, 0, 1, 0, 0 }, own.x0, own.y0, own.x1, own.y1);
    }
    for (const auto& [depth, child] : sprite.displayList) {
        cairo_matrix_t placed;
        cairo_matrix_multiply(&placed, &child.matrix, &m);
        DeviceBox own;
        if (!characterBounds(child.characterId, placed, child.buttonState, ContentOf(child), nesting + 1, own))
            return false;
        if (own.empty())
            continue;
        if (!child.filters.empty())
            own.grow(FilterMargin(child.filters, m_FilterScaleX, m_FilterScaleY, m_FilterReachLimit) + 1);
        box.add({ 1, 0, 0, 1, 0, 0 }, own.x0, own.y0, own.x1, own.y1);
    }
    return true;
}

bool Renderer::characterBounds(uint16_t id, const cairo_matrix_t& m, int buttonState, const SpriteInstance* sprite,
    int nesting, DeviceBox& box)
{
    if (nesting > kMaxNesting)
        return true; // drawn as nothing
    auto found = m_Characters->find(id);
    if (found == m_Characters->end())
        return !sprite || listBounds(*sprite, m, nesting, box);
    const CTag* tag = found->second;
    auto addRect = [&](const CRectItem* r) {
        if (!r)
            return false;
        box.add(m, r->m_XMin, r->m_YMin, r->m_XMax, r->m_YMax);
        return true;
    };
    switch (tag->m_TagCode) {
    case kTagDefineShape:
    case kTagDefineShape2:
    case kTagDefineShape3:
        if (auto* shape = dynamic_cast<const CShapeTag*>(tag))
            return addRect(shape->m_pBounds.get());
        return false;
    case kTagDefineShape4: {
        // Cached pictures are measured by the bounds the shape declares, as the format's players size them.
        if (m_DeclaredBounds)
            if (auto* shape = dynamic_cast<const CShapeTag*>(tag); shape && shape->m_pBounds)
                return addRect(shape->m_pBounds.get());
        // The outline's extent and the widest line around it, a miter's reach included.
        const auto* layers = shapeLayers(tag);
        if (!layers)
            return true;
        DeviceBox local;
        double reach = 0;
        for (const ShapeLayer& layer : *layers) {
            for (const LineDef& line : layer.lines)
                reach = std::max(reach, line.width / 2 * std::max(1.0, line.miterLimit));
            for (const auto& styled : layer.edges) {
                const Edge& e = styled.edge;
                local.add({ 1, 0, 0, 1, 0, 0 }, std::min({ e.x0, e.cx, e.x1 }), std::min({ e.y0, e.cy, e.y1 }),
                    std::max({ e.x0, e.cx, e.x1 }), std::max({ e.y0, e.cy, e.y1 }));
            }
        }
        if (local.empty())
            return true;
        local.grow(reach);
        box.add(m, local.x0, local.y0, local.x1, local.y1);
        return true;
    }
    case kTagDefineMorphShape:
    case kTagDefineMorphShape2:
        if (auto* morph = dynamic_cast<const CDefineMorphShapeTag*>(tag))
            return addRect(morph->m_pStartBounds.get()) && addRect(morph->m_pEndBounds.get());
        return false;
    case kTagDefineText:
    case kTagDefineText2:
        if (auto* text = dynamic_cast<const CTextTag*>(tag))
            return addRect(text->m_pBounds.get());
        return false;
    case kTagDefineEditText:
        if (auto* field = dynamic_cast<const CDefineEditTextTag*>(tag))
            return addRect(field->m_pBounds.get());
        return false;
    case kTagDefineButton:
    case kTagDefineButton2: {
        if (sprite)
            return listBounds(*sprite, m, nesting, box);
        const CButtonRecordsItem* records = nullptr;
        if (auto* b1 = dynamic_cast<const CDefineButtonTag*>(tag))
            records = b1->m_pCharacters.get();
        else if (auto* b2 = dynamic_cast<const CDefineButton2Tag*>(tag))
            records = b2->m_pCharacters.get();
        for (int i = 0; records && i < records->GetItemCount(); ++i) {
            auto* record = dynamic_cast<const CButtonRecord*>(records->GetItem(i));
            if (!record)
                continue;
            const bool inState = buttonState == kButtonDown ? record->m_StateDown
                : buttonState == kButtonOver                ? record->m_StateOver
                                                            : record->m_StateUp;
            if (!inState)
                continue;
            cairo_matrix_t local = ToMatrix(record->m_pMatrix.get());
            cairo_matrix_t placed;
            cairo_matrix_multiply(&placed, &local, &m);
            if (!characterBounds(record->m_CharacterID, placed, kButtonUp, nullptr, nesting + 1, box))
                return false;
        }
        return true;
    }
    case kTagDefineSprite:
        return !sprite || listBounds(*sprite, m, nesting, box);
    case kTagDefineVideoStream:
        if (auto* video = dynamic_cast<const CDefineVideoStreamTag*>(tag))
            box.add(m, 0, 0, video->m_Width * 20.0, video->m_Height * 20.0);
        return true;
    default:
        return false;
    }
}

const std::vector<ShapeLayer>* Renderer::shapeLayers(const CTag* tag)
{
    auto cached = m_Movie.m_ShapeCache.find(tag);
    if (cached != m_Movie.m_ShapeCache.end())
        return &cached->second;
    auto* shape = dynamic_cast<const CShapeTag*>(tag);
    if (!shape || !shape->m_pShapes)
        return nullptr;
    const CShapeWithStyleItem* s = shape->m_pShapes.get();
    std::vector<ShapeLayer> layers = WalkShape(s->m_pShape.get(), s->m_pFillStyles.get(), s->m_pLineStyles.get());
    if (auto* shape4 = dynamic_cast<const CDefineShape4Tag*>(tag))
        for (ShapeLayer& layer : layers)
            layer.nonZero = shape4->m_UsesFillWindingRule;
    return &m_Movie.m_ShapeCache.emplace(tag, std::move(layers)).first->second;
}

std::vector<ShapeLayer> Renderer::morphLayers(const CTag* tag, uint16_t ratio)
{
    return MorphShapeLayers(tag, ratio);
}

std::vector<ShapeLayer> MorphShapeLayers(const CTag* tag, uint16_t ratio)
{
    auto* morph = dynamic_cast<const CDefineMorphShapeTag*>(tag);
    if (!morph)
        return {};
    const double t = ratio / kMorphRatioMax;
    // The start shape gives the styles and edge order; the end shape only positions, edge for edge.
    std::vector<ShapeLayer> layers = WalkShape(morph->m_pStartEdges.get(), nullptr, nullptr);
    if (layers.empty())
        return layers;
    ShapeLayer& layer = layers.front();
    for (int i = 0; morph->m_pFillStyles && i < morph->m_pFillStyles->GetItemCount(); ++i)
        layer.fills.push_back(
            ToMorphFill(dynamic_cast<const CMorphFillStyleItem*>(morph->m_pFillStyles->GetItem(i)), t));
    for (int i = 0; morph->m_pLineStyles && i < morph->m_pLineStyles->GetItemCount(); ++i) {
        LineDef line;
        const CSWFItem* item = morph->m_pLineStyles->GetItem(i);
        if (auto* style = dynamic_cast<const CMorphLineStyleItem*>(item)) {
            line.width = style->m_StartWidth + (double(style->m_EndWidth) - style->m_StartWidth) * t;
            line.color = Mix(ToRGBA(style->m_pStartColor.get()), ToRGBA(style->m_pEndColor.get()), t);
        } else if (auto* style2 = dynamic_cast<const CMorphLineStyle2Item*>(item)) {
            line.width = style2->m_StartWidth + (double(style2->m_EndWidth) - style2->m_StartWidth) * t;
            SetLineForm(line, *style2);
            if (style2->m_pFillStyle) {
                line.hasFill = true;
                line.fill = ToMorphFill(style2->m_pFillStyle.get(), t);
            } else {
                line.color = Mix(ToRGBA(style2->m_pStartColor.get()), ToRGBA(style2->m_pEndColor.get()), t);
            }
        }
        layer.lines.push_back(line);
    }
    const std::vector<Edge> end = WalkEdges(morph->m_pEndEdges.get());
    size_t index = 0;
    for (ShapeLayer& l : layers)
        for (auto& styled : l.edges) {
            if (index >= end.size())
                break;
            const Edge& a = styled.edge;
            const Edge& b = end[index++];
            styled.edge = { a.x0 + (b.x0 - a.x0) * t, a.y0 + (b.y0 - a.y0) * t, a.cx + (b.cx - a.cx) * t,
                a.cy + (b.cy - a.cy) * t, a.x1 + (b.x1 - a.x1) * t, a.y1 + (b.y1 - a.y1) * t, a.curved || b.curved };
        }
    return layers;
}

void FillGradientRowsPlainly(const GradientPicture& picture, uint32_t* pixels, size_t stride, int from, int to)
{
    const FillDef& fill = *picture.fill;
    const cairo_matrix_t& fromDevice = picture.fromDevice;
    for (int j = from; j < to; ++j) {
        uint32_t* row = pixels + size_t(j) * stride;
        // Pixel centres of a row lie a constant step apart in the gradient's square.
        double x = picture.left + 0.5;
        double y = picture.top + j + 0.5;
        cairo_matrix_transform_point(&fromDevice, &x, &y);
        for (int i = 0; i < picture.width; ++i) {
            const double t = fill.kind == FillDef::Radial ? RadialPosition(x, y, picture.focal, fill.spread)
                                                          : LinearPosition(x, fill.spread);
            row[i] = picture.cx ? RampAt(*picture.ramp, t, *picture.cx) : RampAt(*picture.ramp, t);
            x += fromDevice.xx;
            y += fromDevice.yx;
        }
    }
}

#ifdef __SSE2__

namespace {

// The ramp's entries as doubles for reading it two channels to a vector: each entry's blue and green, red and
// alpha, and the differences to the next entry's (none after the last). An entry the same as the next (the
// last, and each of a flat stretch) mixes to itself by any fraction: its pixel is read as it is.
struct RampChannels {
    alignas(16) double from[kGradientEntries][4];
    alignas(16) double step[kGradientEntries][4];
    uint32_t pixel[kGradientEntries];
    bool flat[kGradientEntries];

    explicit RampChannels(const RampPixels& pixels)
    {
        for (size_t i = 0; i < pixels.size(); ++i) {
            const uint32_t next = pixels[std::min(i + 1, pixels.size() - 1)];
            pixel[i] = pixels[i];
            flat[i] = next == pixels[i];
            for (int c = 0; c < 4; ++c) {
                const int a = int((pixels[i] >> (8 * c)) & 0xFF);
                from[i][c] = double(a);
                step[i][c] = double(int((next >> (8 * c)) & 0xFF) - a);
            }
        }
    }
};

// The whole part of each lane, for lanes from 0 to 2^31 (truncation is the floor there).
inline __m128d FloorOfPositive(__m128d t)
{
    return _mm_cvtepi32_pd(_mm_cvttpd_epi32(t));
}

// The floor of each lane, for lanes from -2^31 to 2^31: the whole part, one less below a negative fraction.
inline __m128d FloorOfSmall(__m128d t)
{
    const __m128d whole = _mm_cvtepi32_pd(_mm_cvttpd_epi32(t));
    return _mm_sub_pd(whole, _mm_and_pd(_mm_cmpgt_pd(whole, t), _mm_set1_pd(1.0)));
}

// Positions along the gradient (RadialPosition's or LinearPosition's) of the first `count` pixels of two rows, one
// in each lane: the points step as the plain loop steps them, so every lane holds the very doubles it computes. A
// position that leaves the range where the vector floor is exact (repeat and reflect) is worked out by the plain
// rules.
void TwoRowsOfPositions(const GradientPicture& picture, double* first, double* second, __m128d x, __m128d y, int count)
{
    const FillDef::Spread spread = picture.fill->spread;
    const bool radial = picture.fill->kind == FillDef::Radial;
    const double focal = picture.focal;
    const __m128d stepX = _mm_set1_pd(picture.fromDevice.xx);
    const __m128d stepY = _mm_set1_pd(picture.fromDevice.yx);
    const __m128d zero = _mm_setzero_pd();
    const __m128d half = _mm_set1_pd(0.5);
    const __m128d one = _mm_set1_pd(1.0);
    const __m128d two = _mm_set1_pd(2.0);
    const __m128d focalX = _mm_set1_pd(focal);
    const __m128d c = _mm_set1_pd(focal * focal - 1);
    const __m128d floorLimit = _mm_set1_pd(2147483647.0);
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    for (int i = 0; i < count; ++i) {
        __m128d t;
        if (!radial) {
            t = _mm_mul_pd(_mm_add_pd(x, one), half);
            if (spread == FillDef::Reflect)
                t = _mm_and_pd(t, magnitude);
        } else if (focal == 0) {
            t = _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(x, x), _mm_mul_pd(y, y)));
        } else {
            const __m128d dx = _mm_sub_pd(x, focalX);
            const __m128d a = _mm_add_pd(_mm_mul_pd(dx, dx), _mm_mul_pd(y, y));
            const __m128d b = _mm_mul_pd(focalX, dx);
            // The root less b (the plain rules' -b plus the root, the same sum), kept where it is above 0.
            const __m128d root
                = _mm_sub_pd(_mm_sqrt_pd(_mm_max_pd(_mm_sub_pd(_mm_mul_pd(b, b), _mm_mul_pd(a, c)), zero)), b);
            t = _mm_and_pd(_mm_cmpgt_pd(root, zero), _mm_div_pd(a, root));
        }
        bool plain = false;
        switch (spread) {
        case FillDef::Reflect: {
            // Radial positions and reflected linear ones are 0 or more here.
            if (_mm_movemask_pd(_mm_cmplt_pd(t, floorLimit)) != 3) {
                plain = true;
                break;
            }
            t = _mm_sub_pd(t, _mm_mul_pd(two, FloorOfPositive(_mm_mul_pd(t, half))));
            const __m128d over = _mm_cmpgt_pd(t, one);
            t = _mm_or_pd(_mm_and_pd(over, _mm_sub_pd(two, t)), _mm_andnot_pd(over, t));
            break;
        }
        case FillDef::Repeat:
            if (_mm_movemask_pd(_mm_cmplt_pd(_mm_and_pd(t, magnitude), floorLimit)) != 3) {
                plain = true;
                break;
            }
            t = _mm_sub_pd(t, radial ? FloorOfPositive(t) : FloorOfSmall(t));
            break;
        case FillDef::Pad:
            // min(1, t) keeps a NaN as std::min(t, 1.0) does; a linear position below 0 (or NaN) becomes 0,
            // which reads the ramp's first entry as they do.
            t = _mm_min_pd(one, radial ? t : _mm_max_pd(t, zero));
            break;
        }
        if (plain) {
            alignas(16) double xs[2];
            alignas(16) double ys[2];
            _mm_store_pd(xs, x);
            _mm_store_pd(ys, y);
            first[i] = radial ? RadialPosition(xs[0], ys[0], focal, spread) : LinearPosition(xs[0], spread);
            second[i] = radial ? RadialPosition(xs[1], ys[1], focal, spread) : LinearPosition(xs[1], spread);
        } else {
            _mm_storel_pd(first + i, t);
            _mm_storeh_pd(second + i, t);
        }
        x = _mm_add_pd(x, stepX);
        y = _mm_add_pd(y, stepY);
    }
}

// The ramp's pixel (RampAt's) at entry `i` mixed with the next by `f`: each channel ca + (cb - ca) f in doubles,
// rounded half up. Adding a half and truncating is that rounding here: the sum is 0 or more, and the only value
// the addition could carry over a whole number, the double just below one half, never comes out of a ramp read
// (fractions of entries are multiples of 2^-53, and so are the products that matter).
inline uint32_t MixedEntry(const RampChannels& ramp, int i, double f)
{
    const __m128d half = _mm_set1_pd(0.5);
    const __m128d by = _mm_set1_pd(f);
    const __m128d low = _mm_add_pd(_mm_load_pd(ramp.from[i]), _mm_mul_pd(_mm_load_pd(ramp.step[i]), by));
    const __m128d high = _mm_add_pd(_mm_load_pd(ramp.from[i] + 2), _mm_mul_pd(_mm_load_pd(ramp.step[i] + 2), by));
    const __m128i channels
        = _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_add_pd(low, half)), _mm_cvttpd_epi32(_mm_add_pd(high, half)));
    const __m128i words = _mm_packs_epi32(channels, channels);
    return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
}

// RampAt of `count` positions. Entry 255 (RampAt's entry 254 mixed with it by 1) is read as itself mixed with
// nothing by 0, and equal entries or a fraction of 0 mix to the entry itself, so every pixel takes the same steps.
void RampRow(const RampChannels& ramp, const double* t, uint32_t* out, int count)
{
    const __m128d entries = _mm_set1_pd(kGradientEntries);
    const __m128d half = _mm_set1_pd(0.5);
    const __m128d last = _mm_set1_pd(kGradientEntries - 1);
    const __m128d zero = _mm_setzero_pd();
    int i = 0;
    for (; i + 2 <= count; i += 2) {
        const __m128d raw = _mm_sub_pd(_mm_mul_pd(_mm_loadu_pd(t + i), entries), half);
        // raw > 0 ? min(raw, 255) : 0, NaN to 0.
        const __m128d u = _mm_and_pd(_mm_cmpgt_pd(raw, zero), _mm_min_pd(last, raw));
        const __m128i entry = _mm_cvttpd_epi32(u);
        alignas(16) double f[2];
        _mm_store_pd(f, _mm_sub_pd(u, _mm_cvtepi32_pd(entry)));
        const int first = _mm_cvtsi128_si32(entry);
        const int second = _mm_cvtsi128_si32(_mm_shuffle_epi32(entry, 1));
        out[i] = ramp.flat[first] ? ramp.pixel[first] : MixedEntry(ramp, first, f[0]);
        out[i + 1] = ramp.flat[second] ? ramp.pixel[second] : MixedEntry(ramp, second, f[1]);
    }
    for (; i < count; ++i) {
        const double raw = t[i] * kGradientEntries - 0.5;
        const double u = raw > 0 ? std::min(raw, double(kGradientEntries - 1)) : 0.0;
        const int entry = int(u);
        out[i] = ramp.flat[entry] ? ramp.pixel[entry] : MixedEntry(ramp, entry, u - entry);
    }
}

} // namespace

void FillGradientRows(const GradientPicture& picture, uint32_t* pixels, size_t stride, int from, int to)
{
    if (picture.width <= 0)
        return;
    const RampChannels ramp(*picture.ramp);
    std::vector<double> positions(size_t(picture.width) * 2);
    double* first = positions.data();
    double* second = first + picture.width;
    // A colour transform works on each colour read from the ramp, one pixel at a time.
    const auto ramped = [&](const double* t, uint32_t* out, int begin, int end) {
        if (!picture.cx) {
            RampRow(ramp, t + begin, out + begin, end - begin);
            return;
        }
        for (int i = begin; i < end; ++i)
            out[i] = RampAt(*picture.ramp, t[i], *picture.cx);
    };
    const RowSpans* spans = picture.spans;
    // The pixels of row j to work out: its spans, or all of it; and how far along the row they reach.
    const auto row = [&](int j, const double* t, uint32_t* out) {
        if (!spans) {
            ramped(t, out, 0, picture.width);
            return;
        }
        for (uint32_t i = spans->rowStart[size_t(j)]; i < spans->rowStart[size_t(j) + 1]; ++i)
            ramped(t, out, spans->spans[i].first, spans->spans[i].second);
    };
    const auto reach = [&](int j) {
        const uint32_t end = spans->rowStart[size_t(j) + 1];
        return end > spans->rowStart[size_t(j)] ? spans->spans[end - 1].second : 0;
    };
    for (int j = from; j < to; j += 2) {
        // Two rows at once; a last row alone goes in both lanes.
        const int k = std::min(j + 1, to - 1);
        const int count = spans ? std::max(reach(j), reach(k)) : picture.width;
        if (count <= 0)
            continue;
        double x0 = picture.left + 0.5;
        double y0 = picture.top + j + 0.5;
        double x1 = x0;
        double y1 = picture.top + k + 0.5;
        cairo_matrix_transform_point(&picture.fromDevice, &x0, &y0);
        cairo_matrix_transform_point(&picture.fromDevice, &x1, &y1);
        TwoRowsOfPositions(picture, first, second, _mm_set_pd(x1, x0), _mm_set_pd(y1, y0), count);
        row(j, first, pixels + size_t(j) * stride);
        if (k != j)
            row(k, second, pixels + size_t(k) * stride);
    }
}

#else

void FillGradientRows(const GradientPicture& picture, uint32_t* pixels, size_t stride, int from, int to)
{
    FillGradientRowsPlainly(picture, pixels, stride, from, to);
}

#endif

namespace {

// The unit gradient square to the shape's space; false where it is squeezed to nothing.
bool GradientSquare(const FillDef& fill, cairo_matrix_t& toSquare)
{
    cairo_matrix_init_scale(&toSquare, kGradientHalf, kGradientHalf);
    cairo_matrix_multiply(&toSquare, &toSquare, &fill.matrix);
    cairo_matrix_t inverse = toSquare;
    return cairo_matrix_invert(&inverse) == CAIRO_STATUS_SUCCESS;
}

// A linear gradient's pattern matrix, from the shape's space to texels of its row of ramp entries, for an
// invertible `toSquare`.
cairo_matrix_t RowMatrix(const cairo_matrix_t& toSquare)
{
    cairo_matrix_t inverse;
    cairo_matrix_init(&inverse, 2.0 / kGradientEntries, 0, 0, 2.0 / kGradientEntries, -1, 0);
    cairo_matrix_multiply(&inverse, &inverse, &toSquare);
    cairo_matrix_invert(&inverse);
    return inverse;
}

// Works out a gradient's pixels over `image`, whose pixel (0, 0) lies at (left, top) of the device; `fromDevice`
// takes device points to the unit gradient square.
// `cx`, when given, is applied to each colour read from the ramp, which then holds straight colours.
void FillGradient(cairo_surface_t* image, const FillDef& fill, const RampPixels& pixels, double focal,
    const cairo_matrix_t& fromDevice, int left, int top, const ColorTransform* cx, const RowSpans* spans)
{
    const int width = cairo_image_surface_get_width(image);
    const int height = cairo_image_surface_get_height(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const size_t stride = size_t(cairo_image_surface_get_stride(image)) / 4;
    GradientPicture picture;
    picture.fill = &fill;
    picture.ramp = &pixels;
    picture.cx = cx;
    picture.focal = focal;
    picture.fromDevice = fromDevice;
    picture.left = left;
    picture.top = top;
    picture.width = width;
    picture.spans = spans;
    auto* rows = reinterpret_cast<uint32_t*>(data);
    FillInTwo(height, size_t(width) * size_t(height),
        [&](int from, int to) { FillGradientRows(picture, rows, stride, from, to); });
    cairo_surface_mark_dirty(image);
}

} // namespace

void Renderer::strokeSpans(const StrokeShape& stroke, int left, int top, int width, int height)
{
    // Each edge's box (its control point's too: a curve keeps inside the three), grown by the reach, in the
    // picture's columns and rows.
    struct Box {
        int x0, x1, y0, y1;
    };
    std::vector<Box> boxes;
    boxes.reserve(stroke.edges->size());
    const auto inside = [](double v, int limit) { return v > 0 ? (v < limit ? int(v) : limit) : 0; };
    for (const Edge& e : *stroke.edges) {
        double x0 = std::numeric_limits<double>::infinity();
        double y0 = x0;
        double x1 = -x0;
        double y1 = -x0;
        for (auto [x, y] : { Point2 { e.x0, e.y0 }, Point2 { e.cx, e.cy }, Point2 { e.x1, e.y1 } }) {
            cairo_matrix_transform_point(&stroke.m, &x, &y);
            x0 = std::min(x0, x);
            y0 = std::min(y0, y);
            x1 = std::max(x1, x);
            y1 = std::max(y1, y);
        }
        Box box { 0, width, 0, height }; // the whole picture where a point is out of reach of doubles
        if (std::isfinite(x0 - stroke.reach) && std::isfinite(x1 + stroke.reach) && std::isfinite(y0 - stroke.reach)
            && std::isfinite(y1 + stroke.reach))
            box = { inside(std::floor(x0 - stroke.reach) - left, width),
                inside(std::ceil(x1 + stroke.reach) - left, width), inside(std::floor(y0 - stroke.reach) - top, height),
                inside(std::ceil(y1 + stroke.reach) - top, height) };
        if (box.x0 < box.x1 && box.y0 < box.y1)
            boxes.push_back(box);
    }
    std::sort(boxes.begin(), boxes.end(), [](const Box& a, const Box& b) { return a.y0 < b.y0; });
    // Down the rows, the boxes that hold each: their columns, merged.
    RowSpans& out = m_Spans;
    out.rowStart.assign(size_t(height) + 1, 0);
    out.spans.clear();
    std::vector<Box> active;
    std::vector<std::pair<int, int>> row;
    size_t next = 0;
    for (int j = 0; j < height; ++j) {
        while (next < boxes.size() && boxes[next].y0 <= j)
            active.push_back(boxes[next++]);
        std::erase_if(active, [j](const Box& b) { return b.y1 <= j; });
        row.clear();
        for (const Box& b : active)
            row.emplace_back(b.x0, b.x1);
        std::sort(row.begin(), row.end());
        out.rowStart[size_t(j)] = uint32_t(out.spans.size());
        for (const auto& span : row)
            if (!out.spans.empty() && size_t(out.rowStart[size_t(j)]) < out.spans.size()
                && span.first <= out.spans.back().second)
                out.spans.back().second = std::max(out.spans.back().second, span.second);
            else
                out.spans.push_back(span);
    }
    out.rowStart[size_t(height)] = uint32_t(out.spans.size());
}

void Renderer::appendStrokeKey(const StrokeShape& stroke)
{
    std::vector<uint64_t>& key = m_GradientKey;
    key.push_back(stroke.edges->size());
    for (double v : { stroke.m.xx, stroke.m.yx, stroke.m.xy, stroke.m.yy, stroke.m.x0, stroke.m.y0, stroke.reach })
        key.push_back(std::bit_cast<uint64_t>(v));
    for (const Edge& e : *stroke.edges)
        for (double v : { e.x0, e.y0, e.cx, e.cy, e.x1, e.y1 })
            key.push_back(std::bit_cast<uint64_t>(v));
}

cairo_surface_t* Renderer::keptGradient(const uint32_t* ramp, size_t entries, int width, int height, bool& fresh)
{
    std::vector<uint64_t>& key = m_GradientKey;
    for (size_t i = 0; i + 1 < entries; i += 2)
        key.push_back(uint64_t(ramp[i]) | uint64_t(ramp[i + 1]) << 32);
    fresh = false;
    for (FilteredPicture& kept : m_Gradients)
        if (kept.key == key) {
            kept.used = true;
            return cairo_surface_reference(kept.surface);
        }
    cairo_surface_t* image = pooledSurface(width, height, false);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(image);
        return nullptr;
    }
    cairo_surface_flush(image);
    fresh = true;
    // Kept now, filled by the caller: the kept reference is to the same pixels.
    const size_t area = size_t(width) * size_t(height);
    if (m_GradientPixels + area <= kKeptGradientPixels) {
        m_GradientPixels += area;
        m_Gradients.push_back({ key, cairo_surface_reference(image), true, std::nullopt });
    }
    return image;
}

bool Renderer::setRadialSource(cairo_t* cr, const FillDef& fill, const GradientRamp& ramp,
    const cairo_matrix_t& toSquare, const ColorTransform* cx, const StrokeShape* stroke)
{
    // The pixels to work out: the current path's extents within the clip, or the whole clip when the path is
    // still to come (a stroke's, whose width reaches past its path).
    cairo_matrix_t user;
    cairo_get_matrix(cr, &user);
    cairo_identity_matrix(cr);
    double x0, y0, x1, y1;
    cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
    if (cairo_has_current_point(cr)) {
        double px0, py0, px1, py1;
        cairo_path_extents(cr, &px0, &py0, &px1, &py1);
        x0 = std::max(x0, px0);
        y0 = std::max(y0, py0);
        x1 = std::min(x1, px1);
        y1 = std::min(y1, py1);
    }
    cairo_set_matrix(cr, &user);
    const int left = int(std::floor(x0));
    const int top = int(std::floor(y0));
    const int width = int(std::ceil(x1)) - left;
    const int height = int(std::ceil(y1)) - top;
    if (width <= 0 || height <= 0)
        return false;
    cairo_matrix_t toDevice; // the unit square to device pixels, and back
    cairo_matrix_multiply(&toDevice, &toSquare, &user);
    cairo_matrix_t fromDevice = toDevice;
    if (cairo_matrix_invert(&fromDevice) != CAIRO_STATUS_SUCCESS)
        return false;
    if (cx && cx->isIdentity())
        cx = nullptr;
    const RampPixels pixels = cx ? MakeStraightRampPixels(ramp) : MakeRampPixels(ramp);
    const double focal = std::clamp(fill.focal, -kMaxFocal, kMaxFocal);
    // Everything the pixels depend on: a gradient kept from last frame with the same key is used as it is.
    std::vector<uint64_t>& key = m_GradientKey;
    key.clear();
    key.push_back(uint64_t(fill.kind) | uint64_t(fill.spread) << 8 | uint64_t(cx != nullptr) << 16);
    if (cx)
        for (double v : { cx->mr, cx->mg, cx->mb, cx->ma, cx->ar, cx->ag, cx->ab, cx->aa })
            key.push_back(std::bit_cast<uint64_t>(v));
    for (double v : { focal, fromDevice.xx, fromDevice.yx, fromDevice.xy, fromDevice.yy, fromDevice.x0,
             fromDevice.y0 })
        key.push_back(std::bit_cast<uint64_t>(v));
    key.push_back(uint64_t(uint32_t(left)) | uint64_t(uint32_t(top)) << 32);
    key.push_back(uint64_t(uint32_t(width)) | uint64_t(uint32_t(height)) << 32);
    if (stroke)
        appendStrokeKey(*stroke);
    bool fresh = false;
    cairo_surface_t* image = keptGradient(pixels.data(), pixels.size(), width, height, fresh);
    if (!image)
        return false;
    if (fresh && stroke)
        strokeSpans(*stroke, left, top, width, height);
    if (fresh)
        FillGradient(image, fill, pixels, focal, fromDevice, left, top, cx, stroke ? &m_Spans : nullptr);
    // The picture's pixels sit in device space at (left, top). Set there, the pattern is a whole-pixel
    // translation that cairo copies as it is; set through the shape's space, the round trip to device space and
    // back leaves a transform a hair off one, which cairo reads a pixel at a time through the transform.
    cairo_identity_matrix(cr);
    cairo_set_source_surface(cr, image, left, top);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_set_matrix(cr, &user);
    cairo_surface_destroy(image);
    return true;
}

bool Renderer::setRowSource(cairo_t* cr, const GradientRamp& ramp, const cairo_matrix_t& toTexels, bool reflect,
    const IntRect& extents, const StrokeShape* stroke)
{
    if (size_t(extents.width) * size_t(extents.height) < kOwnRowPixels)
        return false;
    cairo_matrix_t fromSurface;
    RowSampler sampler;
    if (!SourceToSurface(cr, toTexels, fromSurface) || !sampler.set(fromSurface, extents, kGradientEntries, reflect))
        return false;
    const RampPixels pixels = MakeRampPixels(ramp);
    std::vector<uint64_t>& key = m_GradientKey;
    key.clear();
    key.push_back(kRowKey | uint64_t(reflect));
    const int32_t* t = sampler.transform();
    for (int i = 0; i < 6; ++i)
        key.push_back(uint64_t(uint32_t(t[i])));
    key.push_back(uint64_t(uint32_t(sampler.offsetX())) | uint64_t(uint32_t(sampler.offsetY())) << 32);
    key.push_back(uint64_t(uint32_t(extents.x)) | uint64_t(uint32_t(extents.y)) << 32);
    key.push_back(uint64_t(uint32_t(extents.width)) | uint64_t(uint32_t(extents.height)) << 32);
    if (stroke)
        appendStrokeKey(*stroke);
    bool fresh = false;
    cairo_surface_t* image = keptGradient(pixels.data(), pixels.size(), extents.width, extents.height, fresh);
    if (!image)
        return false;
    if (fresh && stroke)
        strokeSpans(*stroke, extents.x, extents.y, extents.width, extents.height);
    if (fresh) {
        unsigned char* data = cairo_image_surface_get_data(image);
        const int stride = cairo_image_surface_get_stride(image);
        FillInTwo(extents.height, size_t(extents.width) * size_t(extents.height), [&](int from, int to) {
            if (!stroke) {
                sampler.fillRows(pixels.data(), extents.x, extents.y + from,
                    reinterpret_cast<uint32_t*>(data + size_t(from) * size_t(stride)), size_t(stride) / 4,
                    extents.width, to - from);
                return;
            }
            // A row's pixels depend on their own position alone: the stretches the stroke reaches are enough.
            for (int j = from; j < to; ++j) {
                auto* row = reinterpret_cast<uint32_t*>(data + size_t(j) * size_t(stride));
                for (uint32_t i = m_Spans.rowStart[size_t(j)]; i < m_Spans.rowStart[size_t(j) + 1]; ++i) {
                    const auto [begin, end] = m_Spans.spans[i];
                    sampler.fill(pixels.data(), extents.x + begin, extents.y + j, row + begin, end - begin);
                }
            }
        });
        cairo_surface_mark_dirty(image);
    }
    // The picture's pixels sit on the surface at the composite rectangle; set in device space, the pattern is a
    // whole-pixel translation that cairo copies without resampling.
    double offsetX = 0;
    double offsetY = 0;
    cairo_surface_get_device_offset(cairo_get_target(cr), &offsetX, &offsetY);
    cairo_matrix_t user;
    cairo_get_matrix(cr, &user);
    cairo_identity_matrix(cr);
    cairo_set_source_surface(cr, image, extents.x - offsetX, extents.y - offsetY);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_set_matrix(cr, &user);
    cairo_surface_destroy(image);
    return true;
}

bool Renderer::setStrokeRowSource(cairo_t* cr, const FillDef& fill, const StrokeShape* stroke)
{
    if (m_MaskMode || fill.kind != FillDef::Linear || fill.spread == FillDef::Repeat || fill.stops.empty())
        return false;
    cairo_matrix_t toSquare;
    if (!GradientSquare(fill, toSquare))
        return false;
    IntRect extents;
    if (!StrokeCompositeExtents(cr, extents))
        return false;
    return setRowSource(cr, MakeGradientRamp(fill, ColorTransform {}), RowMatrix(toSquare),
        fill.spread == FillDef::Reflect, extents, stroke);
}

bool Renderer::setFillSource(
    cairo_t* cr, const FillDef& fill, const ColorTransform& cx, bool pathFill, const StrokeShape* stroke)
{
    if (m_MaskMode) {
        cairo_set_source_rgba(cr, 0, 0, 0, 1);
        return true;
    }
    switch (fill.kind) {
    case FillDef::Solid: {
        const RGBA c = cx.apply(fill.color);
        cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
        return true;
    }
    case FillDef::Linear:
    case FillDef::Radial: {
        if (fill.stops.empty())
            return false;
        // Both kinds look their colour up in a ramp of one colour per ratio, as the format's players do. Linear
        // gradients draw it as a row of pixels spread across the gradient square; radial ones are worked out
        // pixel by pixel over the visible part of the path. The row's own coordinates stay small: cairo draws
        // nothing for a pattern whose coordinates grow too large per pixel.
        cairo_matrix_t toSquare; // the unit gradient square to the shape's space
        if (!GradientSquare(fill, toSquare)) {
            // A gradient squeezed to nothing shows its last colour.
            const RGBA c = cx.apply(fill.stops.back().second);
            cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
            return true;
        }
        // A colour transform works on the colour read from the ramp, which holds the gradient's own colours:
        // such gradients are worked out pixel by pixel.
        if (!cx.isIdentity())
            return setRadialSource(cr, fill, MakeGradientRamp(fill, ColorTransform {}), toSquare, &cx, stroke);
        const GradientRamp ramp = MakeGradientRamp(fill, cx);
        // Repeating linear gradients are worked out pixel by pixel too: each repeat starts afresh at the ramp's
        // first entry, where a repeating row of texels would mix the last entry into the first.
        if (fill.kind == FillDef::Radial || fill.spread == FillDef::Repeat)
            return setRadialSource(cr, fill, ramp, toSquare, nullptr, stroke);
        const cairo_matrix_t inverse = RowMatrix(toSquare);
        if (IntRect extents; pathFill && CompositeExtents(cr, extents)
            && setRowSource(cr, ramp, inverse, fill.spread == FillDef::Reflect, extents))
            return true;
        cairo_surface_t* row = RampSurface(ramp);
        if (!row)
            return false;
        cairo_pattern_t* pattern = cairo_pattern_create_for_surface(row);
        cairo_surface_destroy(row);
        // The row is read as a texture with linear filtering: between two entries' centres their colours mix.
        cairo_pattern_set_filter(pattern, CAIRO_FILTER_BILINEAR);
        cairo_pattern_set_extend(pattern,
            fill.spread == FillDef::Reflect      ? CAIRO_EXTEND_REFLECT
                : fill.spread == FillDef::Repeat ? CAIRO_EXTEND_REPEAT
                                                 : CAIRO_EXTEND_PAD);
        cairo_pattern_set_matrix(pattern, &inverse);
        cairo_set_source(cr, pattern);
        cairo_pattern_destroy(pattern);
        return true;
    }
    case FillDef::Bitmap: {
        auto found = m_Characters->find(fill.bitmapId);
        cairo_surface_t* surface = fill.pixels ? fill.pixels->surface()
            : found == m_Characters->end()
            ? nullptr
            : m_Bitmaps.get(found->second, m_JPEGTables);
        cairo_matrix_t inverse = fill.matrix;
        if (!surface || cairo_matrix_invert(&inverse) != CAIRO_STATUS_SUCCESS)
            return false;
        if (!cx.isIdentity()) {
            surface = TransformedCopy(surface, cx);
            if (!surface)
                return false;
            m_Temporary.push_back(surface);
        }
        cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
        cairo_pattern_set_matrix(pattern, &inverse);
        cairo_pattern_set_extend(pattern, fill.repeat ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_PAD);
        const bool smooth = fill.smooth && m_Movie.quality() == Quality::High;
        cairo_pattern_set_filter(pattern, smooth ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
        cairo_set_source(cr, pattern);
        cairo_pattern_destroy(pattern);
        return true;
    }
    case FillDef::None:
        break;
    }
    return false;
}

void Renderer::fillMono(cairo_t* cr, const Polygons& polygons, bool nonZero, const cairo_matrix_t& m)
{
    cairo_identity_matrix(cr);
    double clip[4];
    cairo_clip_extents(cr, &clip[0], &clip[1], &clip[2], &clip[3]);
    int left = 0;
    int top = 0;
    if (cairo_surface_t* covered = RasterizeSampled(polygons, nonZero, clip, 1, left, top, &m_MaskScratch)) {
        cairo_mask_surface(cr, covered, left, top);
        cairo_surface_destroy(covered);
    }
    cairo_set_matrix(cr, &m);
}

void Renderer::drawLayers(cairo_t* cr, const std::vector<ShapeLayer>& layers, const cairo_matrix_t& m,
    const ColorTransform& cx, const GridWarp* warp)
{
    cairo_save(cr);
    cairo_set_matrix(cr, &m);
    for (const ShapeLayer& layer : layers) {
        // Fills: each style's edges, with the style on their left reversed, joined into closed contours.
        // The edges of each fill style, in a buffer kept from draw to draw.
        std::vector<std::vector<Edge>>& byFill = m_FillEdges;
        if (byFill.size() < layer.fills.size())
            byFill.resize(layer.fills.size());
        for (size_t f = 0; f < layer.fills.size(); ++f)
            byFill[f].clear();
        for (const auto& e : layer.edges) {
            if (e.fill1 >= 1 && e.fill1 <= layer.fills.size())
                byFill[e.fill1 - 1].push_back(e.edge);
            if (e.fill0 >= 1 && e.fill0 <= layer.fills.size())
                byFill[e.fill0 - 1].push_back(Reversed(e.edge));
        }
        for (size_t f = 0; f < layer.fills.size(); ++f) {
            const std::vector<Edge>& edges = byFill[f];
            // The path is laid in device space; the fill's pattern is tied to the shape's space as it is set.
            if (edges.empty())
                continue;
            cairo_identity_matrix(cr);
            cairo_new_path(cr);
            const bool mono = m_Movie.quality() == Quality::Low;
            m_Polygons.clear();
            AddFillPath(Pen(cr, &m, mono ? &m_Polygons : nullptr, false, warp), edges);
            cairo_set_matrix(cr, &m);
            if (!setFillSource(cr, layer.fills[f], cx, !mono && !m_MaskMode)) {
                cairo_new_path(cr);
                continue;
            }
            if (mono) {
                // Without anti-aliasing the pixels whose centres the fill holds are worked out here.
                cairo_new_path(cr);
                fillMono(cr, m_Polygons, layer.nonZero, m);
                continue;
            }
            cairo_set_fill_rule(cr, layer.nonZero ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
            cairo_fill(cr);
        }
        // A mask is its fills: its lines take no part.
        if (m_MaskMode)
            continue;
        for (size_t l = 0; l < layer.lines.size(); ++l) {
            std::vector<Edge> edges;
            for (const auto& e : layer.edges)
                if (e.line == uint32_t(l + 1))
                    edges.push_back(e.edge);
            if (edges.empty())
                continue;
            const LineDef& line = layer.lines[l];
            cairo_new_path(cr);
            const bool perPixel = line.fill.kind == FillDef::Radial
                || (line.fill.kind == FillDef::Linear && (!cx.isIdentity() || line.fill.spread == FillDef::Repeat));
            // A width that keeps its size as the shape is scaled horizontally, vertically or both: it follows
            // the shape's own placement only along the other axis, and the transforms of the clips holding the
            // shape (its holder) scale it as usual, with a pen that is round in the holder's space. A script's
            // drawing, placed by no matrix of its own, is held by the stage.
            cairo_matrix_t own = m;
            cairo_matrix_t holder = m_Stage;
            bool kept = false;
            double keptWidth = 0; // in the holder's space
            // m is own then holder; a placement flattened to nothing draws the stroke as a scaling one.
            cairo_matrix_t inverse = m_OwnMatrix ? *m_OwnMatrix : m_Stage;
            if ((line.noHScale || line.noVScale) && cairo_matrix_invert(&inverse) == CAIRO_STATUS_SUCCESS) {
                if (m_OwnMatrix) {
                    own = *m_OwnMatrix;
                    cairo_matrix_multiply(&holder, &inverse, &m);
                } else {
                    cairo_matrix_multiply(&own, &m, &inverse);
                }
                const double scale = line.noHScale && line.noVScale ? 1
                    : line.noHScale                                 ? std::hypot(own.xy, own.yy)
                                                                    : std::hypot(own.xx, own.yx);
                double px = kMinLinePixels;
                double py = 0;
                cairo_matrix_t fromDevice = holder;
                if (cairo_matrix_invert(&fromDevice) == CAIRO_STATUS_SUCCESS) {
                    cairo_matrix_transform_distance(&fromDevice, &px, &py);
                    keptWidth = std::max(line.width * scale, std::hypot(px, py));
                    kept = std::isfinite(keptWidth);
                }
            }
            const double holderScale = std::max(std::hypot(holder.xx, holder.yx), std::hypot(holder.xy, holder.yy));
            const double devicePixels = kept ? keptWidth * holderScale : 0;
            const StrokeReachClip reach(cr, !m_MaskMode && !warp && line.hasFill && perPixel, m, edges, line.width,
                line.miterLimit, devicePixels);
            // A gradient picture worked out for the stroke needs only the pixels within its reach of the edges.
            const StrokeShape shape { &edges, m, StrokeReachPixels(m, line.width, line.miterLimit, devicePixels) };
            const StrokeShape* shaped = warp || m_Movie.quality() == Quality::Low ? nullptr : &shape;
            if (m_MaskMode) {
                cairo_set_source_rgba(cr, 0, 0, 0, 1);
            } else if (line.hasFill) {
                if (!setFillSource(cr, line.fill, cx, false, shaped))
                    continue;
            } else {
                const RGBA c = cx.apply(line.color);
                cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
            }
            cairo_identity_matrix(cr);
            cairo_new_path(cr);
            const bool mono = m_Movie.quality() == Quality::Low;
            m_Polygons.clear();
            if (mono)
                AddLinePath(Pen(cr, &m, &m_Polygons, true), edges); // in the shape's space
            else
                AddLinePath(Pen(cr, &m, nullptr, false, warp), edges);
            cairo_set_matrix(cr, &m);
            // The width scales with the shape, but never below a pixel.
            double dx = line.width;
            double dy = 0;
            cairo_user_to_device_distance(cr, &dx, &dy);
            const double pixels = std::hypot(dx, dy);
            double width = line.width;
            double ux = kMinLinePixels;
            double uy = 0;
            cairo_device_to_user_distance(cr, &ux, &uy);
            const double pixel = std::hypot(ux, uy); // one pixel in the shape's space
            if (pixels < kMinLinePixels)
                width = pixel;
            if (kept) {
                // Laid in the holder's space, where the pen is round, and placed from there.
                if (mono) {
                    cairo_new_path(cr);
                    for (auto& polyline : m_Polygons)
                        for (PolyPoint& point : polyline)
                            cairo_matrix_transform_point(&own, &point.x, &point.y);
                    Polygons outline;
                    StrokePolygons(m_Polygons, keptWidth, CapOf(line), JoinOf(line), line.miterLimit,
                        kRoundSidePixels / std::max(holderScale, 1e-9), outline);
                    for (auto& polygon : outline)
                        for (PolyPoint& point : polygon) {
                            cairo_matrix_transform_point(&holder, &point.x, &point.y);
                            if (warp)
                                warp->apply(point.x, point.y);
                        }
                    fillMono(cr, outline, true, m);
                    continue;
                }
                cairo_set_matrix(cr, &holder);
                cairo_set_line_width(cr, keptWidth);
                SetStrokeForm(cr, line);
                cairo_stroke(cr);
                cairo_set_matrix(cr, &m);
                continue;
            }
            if (mono) {
                // The stroke's outline is laid in the shape's space, where the pen is round, and placed.
                cairo_new_path(cr);
                Polygons outline;
                StrokePolygons(
                    m_Polygons, width, CapOf(line), JoinOf(line), line.miterLimit, pixel * kRoundSidePixels, outline);
                for (auto& polygon : outline)
                    for (PolyPoint& point : polygon) {
                        cairo_matrix_transform_point(&m, &point.x, &point.y);
                        if (warp)
                            warp->apply(point.x, point.y);
                    }
                fillMono(cr, outline, true, m);
                continue;
            }
            cairo_set_line_width(cr, width);
            SetStrokeForm(cr, line);
            // A linear gradient cairo would read through its transform for every pixel of the stroke's box.
            if (line.hasFill && !perPixel)
                setStrokeRowSource(cr, line.fill, shaped);
            cairo_stroke(cr);
        }
    }
    cairo_new_path(cr);
    cairo_restore(cr);
}

const Font* Renderer::font(uint16_t id)
{
    auto found = m_Characters->find(id);
    if (found == m_Characters->end())
        return nullptr;
    auto cached = m_Movie.m_FontCache.find(found->second);
    if (cached != m_Movie.m_FontCache.end())
        return &cached->second;
    Font made;
    if (!FontFromTag(found->second, made))
        return nullptr;
    return &m_Movie.m_FontCache.emplace(found->second, std::move(made)).first->second;
}

void Renderer::drawGlyph(cairo_t* cr, const Font& font, int glyph, double height, double x, double y,
    const cairo_matrix_t& base, const ColorTransform& cx, const RGBA& color)
{
    if (glyph < 0 || size_t(glyph) >= font.glyphs.size())
        return;
    const double scale = height / font.emUnits;
    cairo_matrix_t place;
    cairo_matrix_init(&place, scale, 0, 0, scale, x, y);
    cairo_matrix_t glyphMatrix;
    cairo_matrix_multiply(&glyphMatrix, &place, &base);
    // The glyphs are walked white: the text's colour multiplies them before the object's transform.
    ColorTransform tint;
    tint.mr = color.r;
    tint.mg = color.g;
    tint.mb = color.b;
    tint.ma = color.a;
    const ColorTransform glyphColor = cx.after(tint);
    if (!drawKeptCoverage(cr, font.glyphs[size_t(glyph)], glyphMatrix, glyphColor))
        drawLayers(cr, font.glyphs[size_t(glyph)], glyphMatrix, glyphColor);
}

bool Renderer::drawKeptCoverage(
    cairo_t* cr, const std::vector<ShapeLayer>& layers, const cairo_matrix_t& m, const ColorTransform& cx)
{
    // Coverage drawn through the solid colour is what filling the outline gives, where the outline is filled
    // with anti-aliasing over what is there.
    if (m_MaskMode || m_Movie.quality() == Quality::Low || layers.size() != 1 || !layers[0].lines.empty()
        || layers[0].fills.size() != 1 || layers[0].fills[0].kind != FillDef::Solid
        || cairo_get_operator(cr) != CAIRO_OPERATOR_OVER)
        return false;
    // Outlines of only level and upright lines, placed unturned, cairo fills as boxes: quicker than a mask.
    if (m.xy == 0 && m.yx == 0
        && std::all_of(layers[0].edges.begin(), layers[0].edges.end(), [](const ShapeLayer::StyledEdge& e) {
               return !e.edge.curved && (e.edge.x0 == e.edge.x1 || e.edge.y0 == e.edge.y1);
           }))
        return false;
    // The target's pixels must lie on whole device pixels for the mask to land on the pixels the fill would.
    double offsetX = 0;
    double offsetY = 0;
    cairo_surface_get_device_offset(cairo_get_group_target(cr), &offsetX, &offsetY);
    if (offsetX != std::floor(offsetX) || offsetY != std::floor(offsetY) || !std::isfinite(m.x0)
        || !std::isfinite(m.y0) || std::fabs(m.x0) > kMaxLayerCoordinate || std::fabs(m.y0) > kMaxLayerCoordinate)
        return false;
    const double pixelX = std::floor(m.x0);
    const double pixelY = std::floor(m.y0);
    const CoverageKey key { &layers, m.xx, m.yx, m.xy, m.yy, m.x0 - pixelX, m.y0 - pixelY, int(cairo_get_antialias(cr)),
        t_BitmapCacheDepth > 0 };
    auto found = m_Coverages.find(key);
    if (found == m_Coverages.end()) {
        // What is drawn once, or moves within pixels, is filled: only a shape drawn again is kept.
        if (m_Coverages.size() >= kKeptCoverages)
            forgetCoverages();
        m_Coverages.emplace(key, KeptCoverage { nullptr, 0, 0 });
        return false;
    }
    KeptCoverage& kept = found->second;
    if (!kept.mask) {
        const ShapeLayer& layer = layers[0];
        std::vector<Edge> edges;
        for (const auto& e : layer.edges) {
            if (e.fill1 == 1)
                edges.push_back(e.edge);
            if (e.fill0 == 1)
                edges.push_back(Reversed(e.edge));
        }
        // The shape laid where it is drawn now, into a mask with a pixel or two to spare around its points (and
        // the curves' control points, which hold the curves). The mask's device offset takes the points to its
        // pixels after they are placed as the fill places them.
        double left = HUGE_VAL;
        double top = HUGE_VAL;
        double right = -HUGE_VAL;
        double bottom = -HUGE_VAL;
        for (const Edge& e : edges)
            for (auto [x, y] : { Point2 { e.x0, e.y0 }, Point2 { e.cx, e.cy }, Point2 { e.x1, e.y1 } }) {
                cairo_matrix_transform_point(&m, &x, &y);
                left = std::min(left, x);
                top = std::min(top, y);
                right = std::max(right, x);
                bottom = std::max(bottom, y);
            }
        if (edges.empty() || !std::isfinite(left) || !std::isfinite(top) || !std::isfinite(right)
            || !std::isfinite(bottom) || right - left > kKeptCoverageSide || bottom - top > kKeptCoverageSide)
            return false; // stays marked: such a shape is filled each time
        constexpr double kSpare = 2;
        const double maskX = std::floor(left) - kSpare;
        const double maskY = std::floor(top) - kSpare;
        const int width = int(std::ceil(right) - maskX + kSpare);
        const int height = int(std::ceil(bottom) - maskY + kSpare);
        kept.x = int(maskX - pixelX);
        kept.y = int(maskY - pixelY);
        const size_t bytes = size_t(cairo_format_stride_for_width(CAIRO_FORMAT_A8, width)) * size_t(height);
        if (m_CoverageBytes + bytes > kKeptCoverageBytes) {
            forgetCoverages();
            return false;
        }
        cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
        if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(mask);
            return false;
        }
        cairo_surface_set_device_offset(mask, -maskX, -maskY);
        cairo_t* maskCr = cairo_create(mask);
        cairo_set_antialias(maskCr, cairo_get_antialias(cr));
        cairo_set_tolerance(maskCr, cairo_get_tolerance(cr));
        AddFillPath(Pen(maskCr, &m), edges);
        cairo_set_source_rgba(maskCr, 0, 0, 0, 1);
        cairo_set_fill_rule(maskCr, layer.nonZero ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
        cairo_fill(maskCr);
        cairo_destroy(maskCr);
        cairo_surface_flush(mask);
        cairo_surface_set_device_offset(mask, 0, 0);
        kept.mask = mask;
        m_CoverageBytes += bytes;
    }
    cairo_save(cr);
    cairo_identity_matrix(cr);
    // A shape crossing the clip's edge is filled: cairo cuts the outline there, where the mask would be weighed
    // by the clip's coverage (a text field's box lies between pixels).
    const double maskLeft = pixelX + kept.x;
    const double maskTop = pixelY + kept.y;
    double clipLeft = 0;
    double clipTop = 0;
    double clipRight = 0;
    double clipBottom = 0;
    cairo_clip_extents(cr, &clipLeft, &clipTop, &clipRight, &clipBottom);
    if (maskLeft < clipLeft + 1 || maskTop < clipTop + 1
        || maskLeft + cairo_image_surface_get_width(kept.mask) > clipRight - 1
        || maskTop + cairo_image_surface_get_height(kept.mask) > clipBottom - 1) {
        cairo_restore(cr);
        return false;
    }
    const RGBA c = cx.apply(layers[0].fills[0].color);
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
    cairo_mask_surface(cr, kept.mask, maskLeft, maskTop);
    cairo_restore(cr);
    return true;
}

void Renderer::drawText(cairo_t* cr, const CTag* tag, const cairo_matrix_t& m, const ColorTransform& cx)
{
    auto* text = dynamic_cast<const CTextTag*>(tag);
    if (!text || !text->m_pTextRecords)
        return;
    cairo_matrix_t textMatrix = ToMatrix(text->m_pMatrix.get());
    cairo_matrix_t base;
    cairo_matrix_multiply(&base, &textMatrix, &m);
    const Font* glyphs = nullptr;
    std::optional<uint16_t> fontId;
    ForEachGlyph(*text, [&](const TextGlyph& g) {
        if (g.hasFont && fontId != g.fontId) {
            fontId = g.fontId;
            glyphs = font(g.fontId);
        }
        if (glyphs && g.index < glyphs->glyphs.size())
            drawGlyph(cr, *glyphs, int(g.index), g.height, g.x, g.y, base, cx, g.color ? ToRGBA(g.color) : RGBA {});
        return true;
    });
}

void Renderer::drawEditText(cairo_t* cr, const CTag* tag, const cairo_matrix_t& m, const ColorTransform& cx)
{
    auto* field = dynamic_cast<const CDefineEditTextTag*>(tag);
    if (!field || !field->m_pBounds)
        return;
    const CTag* font = nullptr;
    if (field->m_HasFont)
        if (auto found = m_Characters->find(field->m_FontID); found != m_Characters->end())
            font = found->second;
    const std::unique_ptr<EditField> state = FieldFromTag(*field, font);
    drawField(cr, *state, m, cx);
}

// The system family a format's font name asks for (EditText.cpp): text is drawn in the face it is measured with.
const char* DeviceFamily(const std::string& font);

void Renderer::drawField(cairo_t* cr, const EditField& field, const cairo_matrix_t& m, const ColorTransform& cx)
{
    constexpr double kPixel = 20.0; // twips
    cairo_matrix_t inverse = m;
    if (cairo_matrix_invert(&inverse) != CAIRO_STATUS_SUCCESS)
        return;
    // A box of negative size (createTextField with a negative width or height) covers the other side.
    const double left = std::min(field.left, field.right);
    const double top = std::min(field.top, field.bottom);
    const double right = std::max(field.left, field.right);
    const double bottom = std::max(field.top, field.bottom);
    if (right <= left || bottom <= top)
        return;
    const auto rgb = [](uint32_t c) {
        return RGBA { ((c >> 16) & 0xFF) / kColorMax, ((c >> 8) & 0xFF) / kColorMax, (c & 0xFF) / kColorMax, 1 };
    };
    const auto setColor = [&](const RGBA& color) {
        const RGBA c = m_MaskMode ? RGBA {} : cx.apply(color);
        cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
    };
    cairo_save(cr);
    cairo_set_matrix(cr, &m);
    if (field.background) {
        cairo_rectangle(cr, left, top, right - left, bottom - top);
        setColor(rgb(field.backgroundColor));
        cairo_fill(cr);
    }
    if (field.border) {
        setColor(rgb(field.borderColor));
        if (m.xy == 0 && m.yx == 0) {
            // A line one pixel wide along the pixels of the box's edges, so it stays one sharp pixel wide.
            double x0 = left;
            double y0 = top;
            double x1 = right;
            double y1 = bottom;
            cairo_matrix_transform_point(&m, &x0, &y0);
            cairo_matrix_transform_point(&m, &x1, &y1);
            // The corner snaps to a pixel (halves round down) and the size is rounded on its own, so a box keeps its
            // width in pixels wherever it stands.
            const auto snap = [](double v) { return std::ceil(v - kHalfPixel); };
            const double sx0 = snap(std::min(x0, x1));
            const double sy0 = snap(std::min(y0, y1));
            const double sx1 = sx0 + snap(std::fabs(x1 - x0));
            const double sy1 = sy0 + snap(std::fabs(y1 - y0));
            cairo_identity_matrix(cr);
            cairo_new_path(cr);
            // Four lines one pixel wide inside the snapped box: the top and left ones run their whole side, the
            // right and bottom ones meet at the far corner. A field the movie defines leaves that corner pixel
            // empty while it shows no text; fields scripts make, and fields with text, fill it.
            const double corner = field.characterId != 0 && field.text.empty() ? 1 : 0;
            const auto span = [&](double x, double y, double w, double h) {
                if (w > 0 && h > 0)
                    cairo_rectangle(cr, x, y, w, h);
            };
            span(sx0, sy0, sx1 - sx0 + 1, 1);
            span(sx0, sy0 + 1, 1, sy1 - sy0);
            span(sx1, sy0 + 1, 1, sy1 - sy0 - corner);
            span(sx0 + 1, sy1, sx1 - sx0 - corner, 1);
            cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
            cairo_fill(cr);
        } else {
            // Rotated or skewed: a closed line one pixel wide between the box's corners, each moved to the centre
            // of the pixel it falls in (a small turn leaves the border as sharp as an unturned one).
            const double xs[] = { left, right, right, left };
            const double ys[] = { top, top, bottom, bottom };
            cairo_identity_matrix(cr);
            cairo_new_path(cr);
            for (int k = 0; k < 4; ++k) {
                double x = xs[k];
                double y = ys[k];
                cairo_matrix_transform_point(&m, &x, &y);
                cairo_line_to(cr, std::floor(x + kHalfPixel) + kHalfPixel, std::floor(y + kHalfPixel) + kHalfPixel);
            }
            cairo_close_path(cr);
            cairo_set_line_width(cr, 1.0);
            cairo_stroke(cr);
        }
        cairo_set_matrix(cr, &m);
    }
    cairo_rectangle(cr, left, top, right - left, bottom - top);
    cairo_clip(cr);
    if (field.text.empty()) {
        cairo_restore(cr);
        return;
    }

    // Measures in twips: the embedded font of each character's format, or the device font.
    DeviceMeasure device;
    const CharFormat* lastFormat = nullptr;
    const Font* lastFont = nullptr;
    const auto fontFor = [&](const CharFormat& f) -> const Font* {
        if (!field.embedFonts)
            return nullptr;
        if (!lastFormat || lastFormat->font != f.font || lastFormat->bold != f.bold || lastFormat->italic != f.italic) {
            lastFont = FindFont(*m_Characters, m_Movie.m_FontCache, f.font, f.bold, f.italic);
            lastFormat = &f;
        }
        return lastFont;
    };
    CharMeasure advance = [&](char16_t c, const CharFormat& f) {
        const Font* e = fontFor(f);
        return e ? EmbeddedAdvance(*e, c, f.size) : field.embedFonts ? 0.0 : device.advance(c, f);
    };
    LineMetrics metrics = [&](const CharFormat& f) {
        const Font* e = fontFor(f);
        return e ? EmbeddedMetrics(*e, f.size) : field.embedFonts ? std::pair(0.0, 0.0) : device.metrics(f);
    };
    const PairKerning kerning = [&](char16_t a, char16_t b, const CharFormat& f) {
        const Font* e = fontFor(f);
        return e ? EmbeddedKerning(*e, a, b, f.size) : 0.0;
    };
    const FieldLayout layout = LayoutField(field, advance, metrics, kerning);
    // One character in the device font of a format, its pen at (x, baseline).
    const auto drawDeviceText = [&](cairo_t* cr, const CharFormat& f, char16_t c, double x, double baseline) {
        cairo_select_font_face(cr, DeviceFamily(f.font), f.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
            f.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, f.size * kPixel);
        const std::string utf8 = ToUtf8(std::u16string(1, c));
        setColor(rgb(f.color));
        cairo_move_to(cr, x, baseline);
        cairo_show_text(cr, utf8.c_str());
        cairo_new_path(cr);
    };
    double y = top + kFieldGutter;
    const size_t first = size_t(std::max(0, field.scroll - 1));
    for (size_t n = first; n < layout.lines.size(); ++n) {
        const FieldLine& line = layout.lines[n];
        if (y > bottom)
            break; // below the field
        const PlacedLine placed = PlaceLine(field, line, advance, kerning);
        const double baseline = y + line.ascent;
        if (placed.bullet && line.begin < field.formats.size()) {
            // A list item's bullet, in the format of its first character.
            const CharFormat& f = field.formats[line.begin];
            if (const Font* e = fontFor(f))
                drawGlyph(cr, *e, e->glyphFor(kBullet), f.size * kPixel, left + *placed.bullet, baseline, m, cx, rgb(f.color));
            else if (!field.embedFonts)
                drawDeviceText(cr, f, kBullet, left + *placed.bullet, baseline);
        }
        for (size_t i = line.begin; i + 1 - line.begin < placed.x.size(); ++i) {
            const CharFormat& f = field.formats[i];
            const char16_t c = field.password ? u'*' : field.text[i];
            const double x = left + placed.x[i - line.begin];
            const double w = placed.x[i + 1 - line.begin] - placed.x[i - line.begin];
            if (const Font* e = fontFor(f)) {
                drawGlyph(cr, *e, e->glyphFor(c), f.size * kPixel, x, baseline, m, cx, rgb(f.color));
            } else if (field.embedFonts) {
                // Without the font embedded, nothing shows.
            } else if (c != u' ' && c != u'\t') {
                drawDeviceText(cr, f, c, x, baseline);
            }
            if (f.underline) {
                setColor(rgb(f.color));
                cairo_rectangle(cr, x, baseline + kPixel, w, kPixel);
                cairo_fill(cr);
            }
        }
        y += line.ascent + line.descent + line.leading;
    }
    cairo_restore(cr);
}

void Renderer::drawButton(
    cairo_t* cr, const CTag* tag, const cairo_matrix_t& m, const ColorTransform& cx, int state, int nesting)
{
    const CButtonRecordsItem* records = nullptr;
    if (auto* b1 = dynamic_cast<const CDefineButtonTag*>(tag))
        records = b1->m_pCharacters.get();
    else if (auto* b2 = dynamic_cast<const CDefineButton2Tag*>(tag))
        records = b2->m_pCharacters.get();
    std::vector<const CButtonRecord*> shown;
    for (int i = 0; records && i < records->GetItemCount(); ++i) {
        auto* record = dynamic_cast<const CButtonRecord*>(records->GetItem(i));
        if (!record)
            continue;
        const bool inState = state == kButtonDown ? record->m_StateDown
            : state == kButtonOver                ? record->m_StateOver
                                                  : record->m_StateUp;
        if (inState)
            shown.push_back(record);
    }
    std::stable_sort(shown.begin(), shown.end(),
        [](const CButtonRecord* a, const CButtonRecord* b) { return a->m_PlaceDepth < b->m_PlaceDepth; });
    for (const CButtonRecord* record : shown) {
        cairo_matrix_t local = ToMatrix(record->m_pMatrix.get());
        if (record->m_HasBlendMode || record->m_pFilterList) {
            // A record with a blend mode or filters is drawn as a placed object is.
            DisplayObject object;
            object.characterId = record->m_CharacterID;
            object.depth = record->m_PlaceDepth;
            object.matrix = local;
            object.colorTransform = ColorTransform::fromItem(record->m_pColorTransform.get());
            object.blendMode = record->m_HasBlendMode ? record->m_BlendMode : 0;
            object.filters = FiltersFrom(record->m_pFilterList.get());
            drawObject(cr, object, m, cx, nesting);
            continue;
        }
        cairo_matrix_t placed;
        cairo_matrix_multiply(&placed, &local, &m);
        drawCharacter(cr, record->m_CharacterID, placed,
            cx.after(ColorTransform::fromItem(record->m_pColorTransform.get())), 0, kButtonUp, nullptr, nesting, &local);
    }
}

bool Renderer::buttonHit(const CTag* button, const cairo_matrix_t& matrix, double x, double y)
{
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* cr = cairo_create(scratch);
    const bool hit = recordsHit(cr, button, matrix, x, y, 0);
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);
    return hit;
}

bool Renderer::recordsHit(cairo_t* cr, const CTag* button, const cairo_matrix_t& matrix, double x, double y, int nesting)
{
    const CButtonRecordsItem* records = nullptr;
    if (auto* b1 = dynamic_cast<const CDefineButtonTag*>(button))
        records = b1->m_pCharacters.get();
    else if (auto* b2 = dynamic_cast<const CDefineButton2Tag*>(button))
        records = b2->m_pCharacters.get();
    for (int i = 0; records && i < records->GetItemCount(); ++i) {
        auto* record = dynamic_cast<const CButtonRecord*>(records->GetItem(i));
        if (!record || !record->m_StateHitTest)
            continue;
        cairo_matrix_t local = ToMatrix(record->m_pMatrix.get());
        cairo_matrix_t placed;
        cairo_matrix_multiply(&placed, &local, &matrix);
        if (characterHit(cr, record->m_CharacterID, placed, x, y, nesting + 1))
            return true;
    }
    return false;
}

bool Renderer::characterHit(cairo_t* cr, uint16_t id, const cairo_matrix_t& placed, double x, double y, int nesting)
{
    auto found = m_Characters->find(id);
    if (nesting > kMaxNesting || found == m_Characters->end())
        return false;
    const CTag* tag = found->second;
    if (tag->m_TagCode == kTagDefineButton || tag->m_TagCode == kTagDefineButton2)
        return recordsHit(cr, tag, placed, x, y, nesting);
    if (auto* sprite = dynamic_cast<const CDefineSpriteTag*>(tag)) {
        // A sprite in the hit state counts with what its first frame places.
        const CTagsItem* tags = sprite->m_pTags.get();
        for (int i = 0; tags && i < tags->GetItemCount(); ++i) {
            const auto* item = dynamic_cast<const CTag*>(tags->GetItem(i));
            if (!item || item->m_TagCode == kTagShowFrame)
                break;
            auto* place = dynamic_cast<const CPlaceObject2Tag*>(item);
            if (!place || !place->GetID())
                continue;
            cairo_matrix_t local = ToMatrix(place->m_pMatrix.get());
            cairo_matrix_t inner;
            cairo_matrix_multiply(&inner, &local, &placed);
            if (characterHit(cr, place->GetID(), inner, x, y, nesting + 1))
                return true;
        }
        return false;
    }
    const std::vector<ShapeLayer>* layers = shapeLayers(tag);
    if (!layers)
        return false;
    if (cairo_matrix_t inverse = placed; cairo_matrix_invert(&inverse) != CAIRO_STATUS_SUCCESS)
        return false;
    cairo_set_matrix(cr, &placed);
    double ux = x;
    double uy = y;
    cairo_device_to_user(cr, &ux, &uy);
    for (const ShapeLayer& layer : *layers) {
        std::vector<Edge> edges;
        for (const auto& e : layer.edges) {
            if (e.fill1 != 0)
                edges.push_back(e.edge);
            if (e.fill0 != 0)
                edges.push_back(Reversed(e.edge));
        }
        cairo_new_path(cr);
        AddFillPath(Pen(cr, nullptr), edges);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
        if (cairo_in_fill(cr, ux, uy))
            return true;
    }
    return false;
}

} // namespace reelfinch::plugin
