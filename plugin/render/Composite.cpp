#include "render/Composite.h"
#include "render/Halves.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace reelfinch::plugin {

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;
// Layers of this many pixels or more are mixed by two threads, each taking half the rows: below it, starting a
// thread costs more than it saves.
constexpr size_t kPixelsForTwoThreads = size_t(1) << 17;

// A device rectangle of whole pixels, right and bottom exclusive.
struct PixelBox {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
    bool holds(const PixelBox& o) const { return o.x0 >= x0 && o.y0 >= y0 && o.x1 <= x1 && o.y1 <= y1; }
    PixelBox meet(const PixelBox& o) const
    {
        return { std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1) };
    }
};

bool Whole(double v)
{
    return std::isfinite(v) && v == std::floor(v) && std::abs(v) < double(1 << 30);
}

// An ARGB32 image's pixels on the device: pixel (x, y) of the image lies at (x, y) less its device offset.
struct ImageOnDevice {
    uint32_t* pixels = nullptr;
    int stride = 0; // in pixels
    int offsetX = 0;
    int offsetY = 0;
    PixelBox box; // device pixels the image covers

    bool take(cairo_surface_t* surface, cairo_format_t format = CAIRO_FORMAT_ARGB32)
    {
        if (cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE
            || cairo_image_surface_get_format(surface) != format)
            return false;
        double dx = 0;
        double dy = 0;
        cairo_surface_get_device_offset(surface, &dx, &dy);
        const int byteStride = cairo_image_surface_get_stride(surface);
        if (!Whole(dx) || !Whole(dy) || byteStride % 4 != 0)
            return false;
        cairo_surface_flush(surface);
        pixels = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface));
        if (!pixels)
            return false;
        stride = byteStride / 4;
        offsetX = int(dx);
        offsetY = int(dy);
        box = { -offsetX, -offsetY, cairo_image_surface_get_width(surface) - offsetX,
            cairo_image_surface_get_height(surface) - offsetY };
        return true;
    }
    uint32_t* at(int x, int y) const { return pixels + std::ptrdiff_t(y + offsetY) * stride + (x + offsetX); }
    // An A8 image's coverage at (x, y): `stride` counts words, four bytes each.
    const uint8_t* bytesAt(int x, int y) const
    {
        return reinterpret_cast<const uint8_t*>(pixels) + std::ptrdiff_t(y + offsetY) * stride * 4 + (x + offsetX);
    }
};

} // namespace

void SubtractRow(uint32_t* below, const uint32_t* layer, int count)
{
    int i = 0;
#ifdef __SSE2__
    // Four pixels at a time in byte lanes: every step below is a byte's saturating sum or difference.
    const __m128i opaque = _mm_set1_epi32(int(kOpaque));
    const __m128i ones = _mm_set1_epi8(-1);
    for (; i + 4 <= count; i += 4) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + i));
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(layer + i));
        __m128i a = _mm_srli_epi32(b, 24);
        a = _mm_or_si128(a, _mm_slli_epi32(a, 8));
        a = _mm_or_si128(a, _mm_slli_epi32(a, 16));
        const __m128i distance = _mm_or_si128(_mm_subs_epu8(b, a), _mm_subs_epu8(a, b));
        const __m128i inverse = _mm_adds_epu8(_mm_xor_si128(a, ones), distance);
        const __m128i sum = _mm_adds_epu8(inverse, l);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(below + i), _mm_or_si128(_mm_xor_si128(sum, ones), opaque));
    }
#endif
    for (; i < count; ++i) {
        const uint32_t b = below[i];
        const uint32_t l = layer[i];
        const uint32_t a = b >> 24;
        uint32_t out = kOpaque;
        for (int shift = 0; shift < 24; shift += 8) {
            const uint32_t c = (b >> shift) & 0xFF;
            // DIFFERENCE with opaque white: 255 - c for a channel within its alpha, the separable blend's
            // |c - a| beyond it.
            const uint32_t inverse = std::min<uint32_t>(255, 255 - a + (c > a ? c - a : a - c));
            const uint32_t sum = std::min<uint32_t>(255, inverse + ((l >> shift) & 0xFF));
            out |= (255 - sum) << shift;
        }
        below[i] = out;
    }
}

namespace {

// x / 255 rounded, for x from 0 to 255 * 255, as pixman divides.
inline uint32_t DivideBy255(uint32_t x)
{
    return (x + 0x80 + ((x + 0x80) >> 8)) >> 8;
}

// One pixel of a blend. Multiply works every byte, alpha too, as s (1 - da) + d (1 - sa) + s d with each product
// divided and rounded on its own and the sums cut at 255. The others are separable modes: each channel is
// d (1 - sa) + s (1 - da) + B(d, s) summed in whole numbers scaled by 255 * 255 (cut there) and divided once, B
// from the channels scaled by the other's alpha; alpha is da + sa (1 - da). Invert is difference with white of
// the layer's alpha.
template <LayerBlend Mode> inline uint32_t BlendPixel(uint32_t d, uint32_t l)
{
    const uint32_t s = Mode == LayerBlend::Invert ? (l >> 24) * 0x01010101u : l;
    const uint32_t da = d >> 24;
    const uint32_t sa = s >> 24;
    uint32_t out = 0;
    if constexpr (Mode == LayerBlend::Multiply) {
        for (int shift = 0; shift < 32; shift += 8) {
            const uint32_t dc = (d >> shift) & 0xFF;
            const uint32_t sc = (s >> shift) & 0xFF;
            const uint32_t sides = std::min<uint32_t>(255, DivideBy255(sc * (255 - da)) + DivideBy255(dc * (255 - sa)));
            out |= std::min<uint32_t>(255, sides + DivideBy255(dc * sc)) << shift;
        }
        return out;
    }
    out = DivideBy255(255 * da + sa * (255 - da)) << 24;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t dc = (d >> shift) & 0xFF;
        const uint32_t sc = (s >> shift) & 0xFF;
        const uint32_t x = dc * sa;
        const uint32_t y = sc * da;
        uint32_t term = 0;
        if constexpr (Mode == LayerBlend::Darken) {
            term = std::min(x, y);
        } else if constexpr (Mode == LayerBlend::Lighten) {
            term = std::max(x, y);
        } else if constexpr (Mode == LayerBlend::Difference || Mode == LayerBlend::Invert) {
            term = x > y ? x - y : y - x;
        } else {
            // These may come out below 0 for a channel above its alpha; summed in unsigned words as pixman does,
            // such a sum wraps round and is cut to the top.
            const int32_t d = int32_t(dc), s = int32_t(sc), a = int32_t(da), b = int32_t(sa);
            const int32_t light = b * a - 2 * (a - d) * (b - s);
            if constexpr (Mode == LayerBlend::Screen)
                term = uint32_t(s * a + d * b - s * d);
            else if constexpr (Mode == LayerBlend::Overlay)
                term = uint32_t(2 * d < a ? 2 * s * d : light);
            else
                term = uint32_t(2 * s < b ? 2 * s * d : light);
        }
        const uint32_t v = dc * (255 - sa) + sc * (255 - da) + term;
        out |= DivideBy255(std::min<uint32_t>(v, 255 * 255)) << shift;
    }
    return out;
}

#ifdef __SSE2__
// BlendPixel on four pixels at once, each channel in a 16-bit lane: every product of two bytes fits one, sums are
// taken with saturation (a sum past 65535 is cut to 255 * 255 all the same) and the division by 255 stays within
// 65535.
template <LayerBlend Mode> inline __m128i BlendFour(__m128i d, __m128i l)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i s = l;
    if constexpr (Mode == LayerBlend::Invert) {
        const __m128i a = _mm_srli_epi32(l, 24);
        s = _mm_or_si128(_mm_or_si128(a, _mm_slli_epi32(a, 8)), _mm_or_si128(_mm_slli_epi32(a, 16), _mm_slli_epi32(a, 24)));
    }
    const __m128i c255 = _mm_set1_epi16(255);
    const __m128i c65025 = _mm_set1_epi16(short(65025));
    const __m128i half = _mm_set1_epi16(0x80);
    // Lanes 3 and 7 hold alpha (bytes are blue, green, red, alpha in memory).
    const __m128i colour = _mm_set_epi16(0, -1, -1, -1, 0, -1, -1, -1);
    auto divide = [&](__m128i x) {
        const __m128i t = _mm_add_epi16(x, half);
        return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
    };
    auto lowest = [](__m128i x, __m128i cap) { return _mm_sub_epi16(x, _mm_subs_epu16(x, cap)); };
    auto half4 = [&](__m128i d16, __m128i s16) {
        const __m128i da = _mm_shufflehi_epi16(_mm_shufflelo_epi16(d16, 0xFF), 0xFF);
        const __m128i sa = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s16, 0xFF), 0xFF);
        const __m128i ida = _mm_sub_epi16(c255, da);
        const __m128i isa = _mm_sub_epi16(c255, sa);
        if constexpr (Mode == LayerBlend::Multiply) {
            const __m128i sides = lowest(_mm_add_epi16(divide(_mm_mullo_epi16(s16, ida)), divide(_mm_mullo_epi16(d16, isa))), c255);
            return lowest(_mm_add_epi16(sides, divide(_mm_mullo_epi16(d16, s16))), c255);
        } else {
            const __m128i x = _mm_mullo_epi16(d16, sa);
            const __m128i y = _mm_mullo_epi16(s16, da);
            __m128i term;
            if constexpr (Mode == LayerBlend::Darken) {
                term = _mm_sub_epi16(x, _mm_subs_epu16(x, y));
            } else if constexpr (Mode == LayerBlend::Lighten) {
                term = _mm_add_epi16(x, _mm_subs_epu16(y, x));
            } else if constexpr (Mode == LayerBlend::Difference || Mode == LayerBlend::Invert) {
                term = _mm_or_si128(_mm_subs_epu16(x, y), _mm_subs_epu16(y, x));
            } else if constexpr (Mode == LayerBlend::Screen) {
                // s da + d (sa - s), from 0 to 255 * 255 for channels within their alphas.
                term = _mm_add_epi16(y, _mm_mullo_epi16(d16, _mm_sub_epi16(sa, s16)));
            } else {
                // The branch taken lies from 0 to 255 * 255 for channels within their alphas, so its 16-bit
                // products are exact; the other lane's may wrap and is not used.
                const __m128i twiceSD = _mm_mullo_epi16(_mm_add_epi16(d16, d16), s16);
                const __m128i light = _mm_sub_epi16(_mm_mullo_epi16(sa, da),
                    _mm_mullo_epi16(_mm_add_epi16(_mm_sub_epi16(da, d16), _mm_sub_epi16(da, d16)), _mm_sub_epi16(sa, s16)));
                const __m128i dark = Mode == LayerBlend::Overlay ? _mm_cmplt_epi16(_mm_add_epi16(d16, d16), da)
                                                                 : _mm_cmplt_epi16(_mm_add_epi16(s16, s16), sa);
                term = _mm_or_si128(_mm_and_si128(dark, twiceSD), _mm_andnot_si128(dark, light));
            }
            // Alpha: 255 da + sa (1 - da), without the term.
            const __m128i dFactor = _mm_or_si128(_mm_and_si128(colour, isa), _mm_andnot_si128(colour, c255));
            const __m128i v = _mm_adds_epu16(_mm_adds_epu16(_mm_mullo_epi16(d16, dFactor), _mm_mullo_epi16(s16, ida)),
                _mm_and_si128(colour, term));
            return divide(lowest(v, c65025));
        }
    };
    const __m128i low = half4(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi8(s, zero));
    const __m128i high = half4(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi8(s, zero));
    return _mm_packus_epi16(low, high);
}
#endif

#ifdef __SSE2__
// Whether every colour byte of the four pixels lies at or below its pixel's alpha.
inline bool WithinAlpha(__m128i p)
{
    __m128i a = _mm_srli_epi32(p, 24);
    a = _mm_or_si128(a, _mm_slli_epi32(a, 8));
    a = _mm_or_si128(a, _mm_slli_epi32(a, 16));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(p, a), a)) == 0xFFFF;
}
#endif

template <LayerBlend Mode> void BlendPixels(uint32_t* below, const uint32_t* layer, int count)
{
    // Screen, overlay and hard light take the lanes only for pixels whose channels lie within their alphas.
    constexpr bool kSigned = Mode == LayerBlend::Screen || Mode == LayerBlend::Overlay || Mode == LayerBlend::HardLight;
    int i = 0;
#ifdef __SSE2__
    for (; i + 4 <= count; i += 4) {
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + i));
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(layer + i));
        if (kSigned && !(WithinAlpha(d) && WithinAlpha(l))) {
            for (int k = i; k < i + 4; ++k)
                below[k] = BlendPixel<Mode>(below[k], layer[k]);
            continue;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(below + i), BlendFour<Mode>(d, l));
    }
#endif
    for (; i < count; ++i)
        below[i] = BlendPixel<Mode>(below[i], layer[i]);
}

// Whether device pixels map to the pattern's one to one: its space is the device's.
bool OnDevice(cairo_t* cr, cairo_pattern_t* pattern)
{
    cairo_matrix_t user;
    cairo_matrix_t toPattern;
    cairo_get_matrix(cr, &user);
    cairo_pattern_get_matrix(pattern, &toPattern);
    return user.xx == toPattern.xx && user.yx == toPattern.yx && user.xy == toPattern.xy && user.yy == toPattern.yy
        && user.x0 == toPattern.x0 && user.y0 == toPattern.y0;
}

// Runs `row(below, layer, mask, count)` over the rows of `cr`'s clip, as SubtractLayer describes; `mask` is the
// row's coverage from `maskPattern` (an A8 layer placed as `group` is), null without one.
template <typename Row> bool ForClipRows(cairo_t* cr, cairo_pattern_t* group, cairo_pattern_t* maskPattern, Row&& row)
{
    cairo_surface_t* layerSurface = nullptr;
    if (cairo_pattern_get_surface(group, &layerSurface) != CAIRO_STATUS_SUCCESS || !OnDevice(cr, group))
        return false;
    cairo_matrix_t user;
    cairo_get_matrix(cr, &user);
    ImageOnDevice target;
    ImageOnDevice layer;
    if (!target.take(cairo_get_group_target(cr)) || !layer.take(layerSurface))
        return false;
    ImageOnDevice mask;
    if (maskPattern) {
        cairo_surface_t* maskSurface = nullptr;
        if (cairo_pattern_get_surface(maskPattern, &maskSurface) != CAIRO_STATUS_SUCCESS || !OnDevice(cr, maskPattern)
            || !mask.take(maskSurface, CAIRO_FORMAT_A8))
            return false;
    }
    cairo_identity_matrix(cr);
    cairo_rectangle_list_t* clip = cairo_copy_clip_rectangle_list(cr);
    cairo_set_matrix(cr, &user);
    std::vector<PixelBox> boxes;
    bool ok = clip->status == CAIRO_STATUS_SUCCESS;
    for (int i = 0; ok && i < clip->num_rectangles; ++i) {
        const cairo_rectangle_t& r = clip->rectangles[i];
        ok = Whole(r.x) && Whole(r.y) && Whole(r.width) && Whole(r.height);
        if (!ok)
            break;
        const PixelBox box = PixelBox { int(r.x), int(r.y), int(r.x + r.width), int(r.y + r.height) }.meet(target.box);
        if (box.empty())
            continue;
        // Parts of the clip beyond the layer would be worked on too (the layer there transparent): left to cairo.
        ok = layer.box.holds(box) && (!maskPattern || mask.box.holds(box));
        for (const PixelBox& other : boxes)
            ok = ok && box.meet(other).empty(); // each pixel worked on once
        boxes.push_back(box);
    }
    cairo_rectangle_list_destroy(clip);
    if (!ok)
        return false;
    size_t pixels = 0;
    for (const PixelBox& box : boxes)
        pixels += size_t(box.x1 - box.x0) * size_t(box.y1 - box.y0);
    // Rows `part` of `parts` of each box: every row is mixed on its own, so halves on two threads give the same.
    auto rows = [&](int part, int parts) {
        for (const PixelBox& box : boxes) {
            const int height = box.y1 - box.y0;
            for (int y = box.y0 + height * part / parts; y < box.y0 + height * (part + 1) / parts; ++y)
                row(target.at(box.x0, y), layer.at(box.x0, y), maskPattern ? mask.bytesAt(box.x0, y) : nullptr,
                    box.x1 - box.x0);
        }
    };
    const int parts = pixels >= kPixelsForTwoThreads ? 2 : 1;
    InTwo(parts, [&](int from, int to) {
        for (int part = from; part < to; ++part)
            rows(part, parts);
    });
    cairo_surface_mark_dirty(cairo_get_group_target(cr));
    return true;
}

} // namespace

bool SubtractLayer(cairo_t* cr, cairo_pattern_t* group)
{
    return ForClipRows(cr, group, nullptr,
        [](uint32_t* below, const uint32_t* layer, const uint8_t*, int count) { SubtractRow(below, layer, count); });
}

void BlendRow(LayerBlend mode, uint32_t* below, const uint32_t* layer, int count)
{
    switch (mode) {
    case LayerBlend::Multiply: return BlendPixels<LayerBlend::Multiply>(below, layer, count);
    case LayerBlend::Difference: return BlendPixels<LayerBlend::Difference>(below, layer, count);
    case LayerBlend::Darken: return BlendPixels<LayerBlend::Darken>(below, layer, count);
    case LayerBlend::Lighten: return BlendPixels<LayerBlend::Lighten>(below, layer, count);
    case LayerBlend::Invert: return BlendPixels<LayerBlend::Invert>(below, layer, count);
    case LayerBlend::Screen: return BlendPixels<LayerBlend::Screen>(below, layer, count);
    case LayerBlend::Overlay: return BlendPixels<LayerBlend::Overlay>(below, layer, count);
    case LayerBlend::HardLight: return BlendPixels<LayerBlend::HardLight>(below, layer, count);
    }
}

bool BlendLayer(cairo_t* cr, cairo_pattern_t* group, LayerBlend mode)
{
    return ForClipRows(cr, group, nullptr, [mode](uint32_t* below, const uint32_t* layer, const uint8_t*, int count) {
        BlendRow(mode, below, layer, count);
    });
}

void MaskedOverRow(uint32_t* below, const uint32_t* layer, const uint8_t* mask, int count)
{
    int i = 0;
#ifdef __SSE2__
    // Four pixels at a time, each channel in 16 bits: x * m / 255 rounded as ((t + 0x80) * 0x101) >> 16.
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi16(0x80);
    const __m128i by255 = _mm_set1_epi16(0x101);
    const __m128i full = _mm_set1_epi16(0xFF);
    auto multiply = [&](__m128i x, __m128i m) {
        return _mm_mulhi_epu16(_mm_adds_epu16(_mm_mullo_epi16(x, m), half), by255);
    };
    // Each pixel's alpha (lanes 3 and 7 of its half) in all four of its lanes.
    auto alphas = [](__m128i x) {
        return _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
    };
    for (; i + 4 <= count; i += 4) {
        uint32_t coverage = 0;
        std::memcpy(&coverage, mask + i, 4);
        if (coverage == 0)
            continue;
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(layer + i));
        // Nothing of the layer here leaves what lies below as it is; all of an opaque layer replaces it.
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(l, zero)) == 0xFFFF)
            continue;
        if (coverage == 0xFFFFFFFFu
            && _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_or_si128(l, _mm_set1_epi32(0x00FFFFFF)), _mm_set1_epi32(-1)))
                == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(below + i), l);
            continue;
        }
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + i));
        // The coverage of each pixel in the four lanes of its channels.
        __m128i m = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(coverage)), zero);
        m = _mm_unpacklo_epi16(m, m);
        const __m128i mLo = _mm_unpacklo_epi32(m, m);
        const __m128i mHi = _mm_unpackhi_epi32(m, m);
        const __m128i sLo = multiply(_mm_unpacklo_epi8(l, zero), mLo);
        const __m128i sHi = multiply(_mm_unpackhi_epi8(l, zero), mHi);
        const __m128i dLo = multiply(_mm_unpacklo_epi8(b, zero), _mm_sub_epi16(full, alphas(sLo)));
        const __m128i dHi = multiply(_mm_unpackhi_epi8(b, zero), _mm_sub_epi16(full, alphas(sHi)));
        const __m128i out = _mm_adds_epu8(_mm_packus_epi16(sLo, sHi), _mm_packus_epi16(dLo, dHi));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(below + i), out);
    }
#endif
    for (; i < count; ++i) {
        const uint32_t m = mask[i];
        if (m == 0)
            continue;
        const uint32_t l = layer[i];
        const uint32_t d = below[i];
        uint32_t s[4];
        for (int c = 0; c < 4; ++c)
            s[c] = DivideBy255(((l >> (8 * c)) & 0xFF) * m);
        const uint32_t inverse = 255 - s[3];
        uint32_t out = 0;
        for (int c = 0; c < 4; ++c)
            out |= std::min<uint32_t>(255, s[c] + DivideBy255(((d >> (8 * c)) & 0xFF) * inverse)) << (8 * c);
        below[i] = out;
    }
}

bool MaskLayer(cairo_t* cr, cairo_pattern_t* group, cairo_pattern_t* mask)
{
    if (cairo_get_operator(cr) != CAIRO_OPERATOR_OVER)
        return false;
    return ForClipRows(cr, group, mask, [](uint32_t* below, const uint32_t* layer, const uint8_t* coverage, int count) {
        MaskedOverRow(below, layer, coverage, count);
    });
}

} // namespace reelfinch::plugin
