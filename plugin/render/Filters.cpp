#include "render/Filters.h"
#include "render/Halves.h"

#include "TagsModern.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace reelfinch::plugin {

namespace {

constexpr double kChannelMax = 255.0;
constexpr size_t kColorMatrixSize = 20;
constexpr int kMaxPasses = 15; // passes are a 5-bit field, 4 bits beside the bevel's on-top flag
constexpr double kMaxBlur = 255.0; // pixels, as the format's players cut it
constexpr int kMaxKernel = 1024; // convolution cells
constexpr int kGradientSteps = 256;
constexpr double kMaxMargin = 1024.0; // pixels: filters reach at most this far around a picture
constexpr double kMaxBox = 4 * kMaxMargin; // pixels: the widest box a blur takes

// Pictures of this many pixels or more share their blurs and other pixel work between two threads (a blur's pass
// costs about a millisecond a hundred thousand pixels): below it, starting a thread costs more than it saves.
constexpr size_t kPixelsForTwoThreads = size_t(1) << 15;
// Passes that only copy or look at pixels cost some hundred times less a pixel: they share from this many on.
constexpr size_t kPixelsToCopyOnTwoThreads = size_t(1) << 18;

float Finite(float value)
{
    return std::isfinite(value) ? value : 0.0f;
}

RGBA ToRGBA(const tRGBARec& c)
{
    return { c.red / kChannelMax, c.green / kChannelMax, c.blue / kChannelMax, c.alpha / kChannelMax };
}

double BlurPixels(int32_t raw)
{
    return std::clamp(FromFixed16(raw), 0.0, kMaxBlur);
}

int Passes(uint8_t raw)
{
    return std::clamp(int(raw), 1, kMaxPasses);
}

// The fields shared by the shadow, glow, bevel and gradient filters.
template <class Fields> void TakeCommon(Filter& f, const Fields& in)
{
    f.blurX = BlurPixels(in.m_BlurX);
    f.blurY = BlurPixels(in.m_BlurY);
    f.strength = FromFixed8(in.m_Strength);
    f.knockout = in.m_Knockout;
    f.compositeSource = in.m_CompositeSource;
    f.passes = Passes(in.m_Passes);
}

template <class Fields> void TakeBevel(Filter& f, const Fields& in)
{
    TakeCommon(f, in);
    f.angle = FromFixed16(in.m_Angle);
    f.distance = FromFixed16(in.m_Distance);
    f.inner = in.m_InnerShadow;
    f.onTop = in.m_OnTop;
}

// The filter of a record, or false when it cannot be drawn (a kind outside the eight, a kernel too large).
bool TakeFilter(const CFilterItem& item, Filter& f)
{
    const CSWFItem* record = item.GetFilter();
    f.kind = Filter::Kind(item.GetFilterID());
    if (auto* shadow = dynamic_cast<const CDropShadowFilterItem*>(record)) {
        TakeCommon(f, *shadow);
        f.color = ToRGBA(shadow->m_Color);
        f.angle = FromFixed16(shadow->m_Angle);
        f.distance = FromFixed16(shadow->m_Distance);
        f.inner = shadow->m_InnerShadow;
        return true;
    }
    if (auto* glow = dynamic_cast<const CGlowFilterItem*>(record)) {
        TakeCommon(f, *glow);
        f.color = ToRGBA(glow->m_Color);
        f.inner = glow->m_InnerGlow;
        return true;
    }
    if (auto* blur = dynamic_cast<const CBlurFilterItem*>(record)) {
        f.blurX = BlurPixels(blur->m_BlurX);
        f.blurY = BlurPixels(blur->m_BlurY);
        f.passes = Passes(blur->m_Passes);
        return true;
    }
    if (auto* bevel = dynamic_cast<const CBevelFilterItem*>(record)) {
        TakeBevel(f, *bevel);
        f.color = ToRGBA(bevel->m_ShadowColor);
        f.highlight = ToRGBA(bevel->m_HighlightColor);
        return true;
    }
    const SGradientFilter* gradient = dynamic_cast<const CGradientGlowFilterItem*>(record);
    if (!gradient)
        gradient = dynamic_cast<const CGradientBevelFilterItem*>(record);
    if (gradient) {
        TakeBevel(f, *gradient);
        for (size_t i = 0; i < gradient->m_Colors.size() && i < gradient->m_Ratios.size(); ++i)
            f.gradient.emplace_back(gradient->m_Ratios[i] / kChannelMax, ToRGBA(gradient->m_Colors[i]));
        return true;
    }
    if (auto* convolution = dynamic_cast<const CConvolutionFilterItem*>(record)) {
        f.matrixX = convolution->m_MatrixX;
        f.matrixY = convolution->m_MatrixY;
        if (f.matrixX * f.matrixY > kMaxKernel || convolution->m_Matrix.size() != size_t(f.matrixX * f.matrixY))
            return false;
        f.divisor = Finite(convolution->m_Divisor);
        f.bias = Finite(convolution->m_Bias);
        for (float cell : convolution->m_Matrix)
            f.kernel.push_back(Finite(cell));
        f.defaultColor = ToRGBA(convolution->m_DefaultColor);
        f.clamp = convolution->m_Clamp;
        f.preserveAlpha = convolution->m_PreserveAlpha;
        return true;
    }
    if (auto* colors = dynamic_cast<const CColorMatrixFilterItem*>(record)) {
        for (size_t i = 0; i < kColorMatrixSize; ++i)
            f.matrix[i] = Finite(colors->m_Matrix[i]);
        return true;
    }
    return false;
}

// Premultiplied pixels of part of a picture, a 32-bit word each in cairo's ARGB32 layout (alpha in the top byte).
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> px;
};

// A box of pixels, right and bottom exclusive.
struct Area {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x1 <= x0 || y1 <= y0; }
    int width() const { return empty() ? 0 : x1 - x0; }
    int height() const { return empty() ? 0 : y1 - y0; }
    size_t size() const { return size_t(width()) * size_t(height()); }
    Area grown(int left, int top, int right, int bottom) const
    {
        return empty() ? *this : Area { x0 - left, y0 - top, x1 + right, y1 + bottom };
    }
    Area moved(int dx, int dy) const { return { x0 + dx, y0 + dy, x1 + dx, y1 + dy }; }
};

Area Meet(const Area& a, const Area& b)
{
    return { std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1) };
}

// The smallest box holding both; an empty box adds nothing.
Area Join(const Area& a, const Area& b)
{
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    return { std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1) };
}

// Runs `row(y)` for rows `y0` to `y1` of an area of `pixels` pixels that it copies or looks at: a large area's
// two halves on two threads. An area of no pixels has no rows (it may be empty across only).
template <typename Row> void EachRow(int y0, int y1, size_t pixels, Row&& row)
{
    if (pixels == 0)
        return;
    const bool shared = pixels >= kPixelsToCopyOnTwoThreads;
    InTwo(shared ? y1 - y0 : 1, [&](int from, int to) {
        if (!shared) {
            from = 0;
            to = y1 - y0;
        }
        for (int y = y0 + from; y < y0 + to; ++y)
            row(y);
    });
}

constexpr uint32_t Channel(uint32_t p, int shift) { return (p >> shift) & 0xFF; }

constexpr uint32_t Pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

// a * b / 255, rounded, for bytes.
constexpr uint32_t Mul255(uint32_t a, uint32_t b)
{
    const uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

// Every channel of a pixel times k / 255, rounded: two channels at a time, each in 16 bits of a word.
constexpr uint32_t Scale(uint32_t p, uint32_t k)
{
    uint32_t rb = (p & 0x00FF00FFu) * k + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
    uint32_t ag = ((p >> 8) & 0x00FF00FFu) * k + 0x00800080u;
    ag = (ag + ((ag >> 8) & 0x00FF00FFu)) & 0xFF00FF00u;
    return rb | ag;
}

// The sum of two pixels, each channel at most 255.
constexpr uint32_t AddPixels(uint32_t p, uint32_t q)
{
    uint32_t rb = (p & 0x00FF00FFu) + (q & 0x00FF00FFu);
    uint32_t ag = ((p >> 8) & 0x00FF00FFu) + ((q >> 8) & 0x00FF00FFu);
    rb = (rb | (((rb >> 8) & 0x00010001u) * 0xFF)) & 0x00FF00FFu;
    ag = (ag | (((ag >> 8) & 0x00010001u) * 0xFF)) & 0x00FF00FFu;
    return rb | (ag << 8);
}

// A colour of 0 to 1 channels as a premultiplied pixel with its alpha times `k` / 255.
uint32_t Premultiplied(const RGBA& c, uint32_t k)
{
    auto byte = [](double v) { return uint32_t(std::clamp(v, 0.0, 1.0) * kChannelMax + 0.5); };
    const uint32_t a = Mul255(byte(c.a), k);
    return Pack(a, Mul255(byte(c.r), a), Mul255(byte(c.g), a), Mul255(byte(c.b), a));
}

// Room of `frame`'s size for the pixels of an ARGB32 surface lying at (x0, y0) of it, filled over `used`: the
// surface's pixels where it has them, transparent beyond it. The rest of the room is left as it was.
void FromSurface(cairo_surface_t* image, int x0, int y0, const Area& frame, const Area& used, Pixels& p)
{
    p.width = frame.width();
    p.height = frame.height();
    p.px.resize(frame.size());
    const Area inside = Meet(
        used, Area { 0, 0, cairo_image_surface_get_width(image), cairo_image_surface_get_height(image) }.moved(-x0, -y0));
    const unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    EachRow(used.y0, used.y1, used.size(), [&](int y) {
        uint32_t* to = &p.px[size_t(y) * size_t(p.width)];
        if (inside.empty() || y < inside.y0 || y >= inside.y1) {
            std::fill(to + used.x0, to + used.x1, 0u);
            return;
        }
        std::fill(to + used.x0, to + inside.x0, 0u);
        const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y + y0) * size_t(stride));
        std::copy_n(row + (inside.x0 + x0), inside.width(), to + inside.x0);
        std::fill(to + inside.x1, to + used.x1, 0u);
    });
}

// The pixels of `area` of `p` back to the surface, `p` lying at (x0, y0) in it.
void ToSurface(const Pixels& p, const Area& area, cairo_surface_t* image, int x0, int y0)
{
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    EachRow(area.y0, area.y1, area.size(), [&](int y) {
        auto* row = reinterpret_cast<uint32_t*>(data + size_t(y + y0) * size_t(stride)) + x0 + area.x0;
        std::copy_n(&p.px[size_t(y) * size_t(p.width) + size_t(area.x0)], area.width(), row);
    });
}
} // namespace

bool InkBounds(cairo_surface_t* image, int& x0, int& y0, int& x1, int& y1)
{
    const int width = cairo_image_surface_get_width(image);
    const int height = cairo_image_surface_get_height(image);
    const unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    // Blank runs are passed over a block of pixels at a time, then pixel by pixel.
    constexpr int kBlock = 16;
    auto blank = [](const uint32_t* block) {
#ifdef __SSE2__
        auto load = [&](int k) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 4 * k)); };
        const __m128i ink = _mm_or_si128(_mm_or_si128(load(0), load(1)), _mm_or_si128(load(2), load(3)));
        return _mm_movemask_epi8(_mm_cmpeq_epi32(ink, _mm_setzero_si128())) == 0xFFFF;
#else
        uint32_t ink = 0;
        for (int k = 0; k < kBlock; ++k)
            ink |= block[k];
        return ink == 0;
#endif
    };
    // Rows `from` to `to` give bounds of their own; a large picture's two halves are measured on two threads.
    std::array<int, 4> halves[2] = { { width, height, 0, 0 }, { width, height, 0, 0 } };
    const bool shared = size_t(width) * size_t(std::max(height, 0)) >= kPixelsToCopyOnTwoThreads;
    InTwo(shared ? height : 1, [&](int from, int to) {
        if (!shared) {
            from = 0;
            to = height;
        }
        std::array<int, 4>& b = halves[from > 0 ? 1 : 0];
        for (int y = from; y < to; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
            int first = 0;
            while (first + kBlock <= width && blank(row + first))
                first += kBlock;
            while (first < width && row[first] == 0)
                ++first;
            if (first == width)
                continue;
            int last = width - 1;
            while (last + 1 - kBlock > first && blank(row + last + 1 - kBlock))
                last -= kBlock;
            while (row[last] == 0)
                --last;
            b[0] = std::min(b[0], first);
            b[2] = std::max(b[2], last + 1);
            b[1] = std::min(b[1], y);
            b[3] = y + 1;
        }
    });
    x0 = std::min(halves[0][0], halves[1][0]);
    y0 = std::min(halves[0][1], halves[1][1]);
    x1 = std::max(halves[0][2], halves[1][2]);
    y1 = std::max(halves[0][3], halves[1][3]);
    return x1 > x0 && y1 > y0;
}

namespace {

// Blurs work on channels of 16 bits holding a byte's value times 256. Each box pass, across or down, keeps whole
// levels only, the average rounded down as the player's byte-wide passes do: every pass takes a little off, so
// wide and repeated blurs come out a few levels fainter than exact averages would.
constexpr int kFractionBits = 8;
constexpr uint32_t kPlaneMax = 255u << kFractionBits;
constexpr int kWeightBits = 24;

// A box `size` pixels wide centred on each pixel: whole pixels inside it count fully, the two at its ends by the
// part of them it covers. Weights are in 1/2^24, their total one.
struct BoxWeights {
    int whole = 0; // pixels on each side counted fully
    uint64_t full = 0; // weight of a pixel counted fully
    uint64_t edge = 0; // weight of each of the two partly covered pixels
};

BoxWeights Weights(double size)
{
    BoxWeights w;
    const double half = (size - 1) / 2;
    w.whole = int(std::floor(half));
    const double unit = double(uint64_t(1) << kWeightBits) / size;
    w.full = uint64_t(std::llround(unit));
    w.edge = uint64_t(std::llround((half - w.whole) * unit));
    return w;
}

// A weighted sum as whole levels, rounded down. The slack (a sixteenth of a level) covers the rounding of the
// weights themselves, so that a box over one level throughout gives that level and not the one below.
constexpr uint64_t kFloorSlack = uint64_t(16) << kWeightBits;
constexpr uint64_t kWholeLevels = ~uint64_t((1u << kFractionBits) - 1);

// Sums and weights are in 32 bits (a box of at most kMaxBox channels of 16 bits sums below 2^32, and weights lie
// below 2^24): products of two 32-bit numbers, which the compiler does several at a time.
//
// `Whole`: every channel summed holds a whole level (a multiple of 256), as the filters' planes do. The sums then
// count levels, and a box's weighted sum of levels stays below 255 * 2^24 plus the weights' rounding (at most half
// a unit a pixel), under 2^32 with the slack: the same result in 32-bit products, which vectorise far better.
template <bool Whole> inline uint16_t Weighted32(uint32_t sum, uint32_t edges, uint32_t full, uint32_t edge)
{
    if constexpr (Whole) {
        constexpr auto kLevelSlack = uint32_t(kFloorSlack >> kFractionBits);
        const uint32_t v = (sum >> kFractionBits) * full + (edges >> kFractionBits) * edge + kLevelSlack;
        return uint16_t(std::min<uint32_t>(v >> kWeightBits, kPlaneMax >> kFractionBits) << kFractionBits);
    } else {
        const uint64_t v
            = ((uint64_t(sum) * full + uint64_t(edges) * edge + kFloorSlack) >> kWeightBits) & kWholeLevels;
        return uint16_t(std::min<uint64_t>(v, kPlaneMax));
    }
}

// Whether every channel of the plane (`width` pixels of `channels` a row) holds a whole level inside `area`.
bool WholeLevels(const std::vector<uint16_t>& plane, int width, int channels, const Area& area)
{
    uint16_t fractions = 0;
    const size_t stride = size_t(width) * size_t(channels);
    for (int y = area.y0; y < area.y1; ++y) {
        const uint16_t* row = &plane[size_t(y) * stride];
        for (size_t i = size_t(area.x0) * size_t(channels); i < size_t(area.x1) * size_t(channels); ++i)
            fractions |= row[i];
    }
    return (fractions & ((1u << kFractionBits) - 1)) == 0;
}

// Whether the eight channels from `at` on are all 0.
inline bool BlankEight(const uint16_t* at)
{
#ifdef __SSE2__
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(v, _mm_setzero_si128())) == 0xFFFF;
#else
    return std::all_of(at, at + 8, [](uint16_t v) { return v == 0; });
#endif
}

// Widens `ink` to every pixel of `area` of the plane with a channel other than 0; blank runs are passed over eight
// channels at a time.
void InkOf(const uint16_t* plane, int width, int channels, const Area& area, Area& ink)
{
    const size_t stride = size_t(width) * size_t(channels);
    const size_t begin = size_t(area.x0) * size_t(channels);
    const size_t end = size_t(area.x1) * size_t(channels);
    for (int y = area.y0; y < area.y1; ++y) {
        const uint16_t* row = &plane[size_t(y) * stride];
        size_t first = begin;
        while (first + 8 <= end && BlankEight(row + first))
            first += 8;
        while (first < end && row[first] == 0)
            ++first;
        if (first == end)
            continue;
        size_t last = end - 1;
        while (last >= first + 8 && BlankEight(row + last - 7))
            last -= 8;
        while (row[last] == 0)
            --last;
        ink.x0 = std::min(ink.x0, int(first / size_t(channels)));
        ink.x1 = std::max(ink.x1, int(last / size_t(channels)) + 1);
        ink.y0 = std::min(ink.y0, y);
        ink.y1 = std::max(ink.y1, y + 1);
    }
}

// How many channel values the box blurs have worked out, for tests that bound the work.
std::atomic<uint64_t> g_BlurWork { 0 };

// The plain loops alone, for tests holding the quicker ones to them.
std::atomic<bool> g_PlainLoops { false };

// Buffers the filters reuse from call to call, so that a picture drawn every frame does not map fresh memory.
struct Scratch {
    Pixels pixels;
    std::vector<uint16_t> planeA, planeB, planeC;
    std::vector<uint16_t> line, four;
    std::vector<uint32_t> sums;
    std::vector<uint32_t> effect;
};

Scratch& Buffers()
{
    thread_local Scratch scratch;
    return scratch;
}

// One box blur along rows of `channels` interleaved channels, from `in` to `out`. Running sums keep the cost per
// pixel constant whatever the size; beyond the ends the picture is transparent.
// Rows `from` to `to` of the picture.
#ifdef __SSE2__
// Four lanes' 32-bit products (SSE2 multiplies only the even lanes, into 64 bits).
inline __m128i MulLow32(__m128i a, __m128i b)
{
    const __m128i even = _mm_mul_epu32(a, b);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(
        _mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)), _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

// BlurRows' work on one padded row of four channels of whole levels, the channels in the lanes of a register:
// Weighted32<true> four at a time (its sum below 2^32 leaves a level of at most 255, no cut needed).
void BlurRowOfFour(const uint16_t* line, uint16_t* out, size_t width, size_t whole, __m128i sums, uint32_t full,
    uint32_t edge)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i fullWeight = _mm_set1_epi32(int(full));
    const __m128i edgeWeight = _mm_set1_epi32(int(edge));
    const __m128i slack = _mm_set1_epi32(int(kFloorSlack >> kFractionBits));
    auto pixel = [&](size_t k) {
        return _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(line + k * 4)), zero);
    };
    for (size_t i = 0; i < width; ++i) {
        // Pixel i sits at i + whole + 1 of the padded row.
        const __m128i before = pixel(i);
        const __m128i after = pixel(i + 2 * whole + 2);
        const __m128i leaving = pixel(i + 1);
        const __m128i edges = _mm_add_epi32(before, after);
        __m128i v = _mm_add_epi32(MulLow32(_mm_srli_epi32(sums, kFractionBits), fullWeight),
            MulLow32(_mm_srli_epi32(edges, kFractionBits), edgeWeight));
        v = _mm_srli_epi32(_mm_add_epi32(v, slack), kWeightBits);
        const __m128i levels = _mm_slli_epi16(_mm_packs_epi32(v, v), kFractionBits);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i * 4), levels);
        sums = _mm_sub_epi32(_mm_add_epi32(sums, after), leaving);
    }
}

// Eight pixels of each of four rows of one channel, interleaved as four channels of eight pixels.
inline void Interleave(const uint16_t* const rows[4], size_t x, uint16_t* to)
{
    auto load = [&](int r) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + x)); };
    const __m128i a = load(0), b = load(1), c = load(2), d = load(3);
    const __m128i abLow = _mm_unpacklo_epi16(a, b), abHigh = _mm_unpackhi_epi16(a, b);
    const __m128i cdLow = _mm_unpacklo_epi16(c, d), cdHigh = _mm_unpackhi_epi16(c, d);
    auto* out = reinterpret_cast<__m128i*>(to);
    _mm_storeu_si128(out, _mm_unpacklo_epi32(abLow, cdLow));
    _mm_storeu_si128(out + 1, _mm_unpackhi_epi32(abLow, cdLow));
    _mm_storeu_si128(out + 2, _mm_unpacklo_epi32(abHigh, cdHigh));
    _mm_storeu_si128(out + 3, _mm_unpackhi_epi32(abHigh, cdHigh));
}

// The other way: eight pixels of four channels to eight of each of four rows.
inline void Deinterleave(const uint16_t* from, uint16_t* const rows[4], size_t x)
{
    const auto* in = reinterpret_cast<const __m128i*>(from);
    const __m128i v0 = _mm_loadu_si128(in), v1 = _mm_loadu_si128(in + 1);
    const __m128i v2 = _mm_loadu_si128(in + 2), v3 = _mm_loadu_si128(in + 3);
    const __m128i t0 = _mm_unpacklo_epi16(v0, v1), t1 = _mm_unpackhi_epi16(v0, v1);
    const __m128i t2 = _mm_unpacklo_epi16(v2, v3), t3 = _mm_unpackhi_epi16(v2, v3);
    const __m128i u0 = _mm_unpacklo_epi16(t0, t1), u1 = _mm_unpackhi_epi16(t0, t1);
    const __m128i u2 = _mm_unpacklo_epi16(t2, t3), u3 = _mm_unpackhi_epi16(t2, t3);
    auto store = [&](int r, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(rows[r] + x), v); };
    store(0, _mm_unpacklo_epi64(u0, u2));
    store(1, _mm_unpackhi_epi64(u0, u2));
    store(2, _mm_unpacklo_epi64(u1, u3));
    store(3, _mm_unpackhi_epi64(u1, u3));
}

// BlurRows<1, true> over four rows at once, as one row of four channels: `line` and `out` are room the rows are
// interleaved in, `line` transparent outside the ink's columns (and kept so). `rows[r]` and `outs[r]` are the
// rows' starts; the line starts at column x0 - pad, and is copied from columns `copyFrom` to `copyTo`.
void BlurFourRows(const uint16_t* const rows[4], uint16_t* const outs[4], uint16_t* line, uint16_t* out, size_t span,
    size_t pad, size_t whole, int x0, int copyFrom, int copyTo, uint32_t full, uint32_t edge)
{
    uint16_t* const lineAt = line + size_t(copyFrom - x0 + int(pad)) * 4; // column copyFrom
    const uint16_t* const from[4] = { rows[0] + copyFrom, rows[1] + copyFrom, rows[2] + copyFrom, rows[3] + copyFrom };
    const auto count = size_t(copyTo - copyFrom);
    size_t x = 0;
    for (; x + 8 <= count; x += 8)
        Interleave(from, x, lineAt + x * 4);
    for (; x < count; ++x)
        for (int r = 0; r < 4; ++r)
            lineAt[x * 4 + size_t(r)] = from[r][x];
    uint32_t sums[4] = {};
    for (size_t k = pad - whole; k <= pad + whole; ++k)
        for (size_t c = 0; c < 4; ++c)
            sums[c] += line[k * 4 + c];
    BlurRowOfFour(
        line, out, span, whole, _mm_setr_epi32(int(sums[0]), int(sums[1]), int(sums[2]), int(sums[3])), full, edge);
    uint16_t* const at[4] = { outs[0] + x0, outs[1] + x0, outs[2] + x0, outs[3] + x0 };
    size_t i = 0;
    for (; i + 8 <= span; i += 8)
        Deinterleave(out + i * 4, at, i);
    for (; i < span; ++i)
        for (int r = 0; r < 4; ++r)
            at[r][i] = out[i * 4 + size_t(r)];
}
#endif

// Output columns `x0` to `x1` of rows `from` to `to`; the input is read only in columns `inkX0` to `inkX1`
// (transparent elsewhere).
template <size_t n, bool Whole>
void BlurRows(const uint16_t* in, uint16_t* out, int width, int from, int to, const BoxWeights& w,
    std::vector<uint16_t>& line, int x0, int x1, int inkX0, int inkX1)
{
    const size_t pad = size_t(w.whole) + 1;
    const size_t span = size_t(x1 - x0);
    // The line holds columns x0 - pad to x1 + pad; only its part inside the ink is copied, row after row.
    line.assign((span + 2 * pad) * n, 0);
    const int copyFrom = std::max(inkX0, x0 - int(pad));
    const int copyTo = std::min(inkX1, x1 + int(pad));
    const auto full = uint32_t(w.full);
    const auto edge = uint32_t(w.edge);
#ifdef __SSE2__
    // One channel: four rows at a time, as the four channels of one.
    if constexpr (n == 1 && Whole) {
        if (!g_PlainLoops.load(std::memory_order_relaxed) && to - from >= 4) {
            std::vector<uint16_t>& four = Buffers().four;
            four.assign((span + 2 * pad) * 4 * 2, 0);
            for (; from + 4 <= to; from += 4) {
                const uint16_t* rows[4];
                uint16_t* outs[4];
                for (int r = 0; r < 4; ++r) {
                    rows[r] = in + size_t(from + r) * size_t(width);
                    outs[r] = out + size_t(from + r) * size_t(width);
                }
                if (copyTo > copyFrom)
                    BlurFourRows(rows, outs, four.data(), four.data() + (span + 2 * pad) * 4, span, pad,
                        size_t(w.whole), x0, copyFrom, copyTo, full, edge);
                else
                    for (uint16_t* o : outs)
                        std::fill_n(o + x0, span, uint16_t(0));
            }
        }
    }
#endif
    for (int y = from; y < to; ++y) {
        const size_t rowStart = size_t(y) * size_t(width) * n;
        if (copyTo > copyFrom)
            std::copy_n(in + rowStart + size_t(copyFrom) * n, size_t(copyTo - copyFrom) * n,
                &line[size_t(copyFrom - x0 + int(pad)) * n]);
        uint32_t sums[n] = {};
        for (size_t k = pad - size_t(w.whole); k <= pad + size_t(w.whole); ++k)
            for (size_t c = 0; c < n; ++c)
                sums[c] += line[k * n + c];
        uint16_t* o = out + rowStart + size_t(x0) * n;
#ifdef __SSE2__
        if constexpr (n == 4 && Whole) {
            const __m128i four = _mm_setr_epi32(int(sums[0]), int(sums[1]), int(sums[2]), int(sums[3]));
            BlurRowOfFour(line.data(), o, span, size_t(w.whole), four, full, edge);
            continue;
        }
#endif
        for (size_t i = 0; i < span; ++i) {
            const size_t centre = i + pad;
            const uint16_t* before = &line[(centre - size_t(w.whole) - 1) * n];
            const uint16_t* after = &line[(centre + size_t(w.whole) + 1) * n];
            const uint16_t* leaving = &line[(centre - size_t(w.whole)) * n];
            for (size_t c = 0; c < n; ++c) {
                o[i * n + c] = Weighted32<Whole>(sums[c], uint32_t(before[c]) + after[c], full, edge);
                sums[c] = sums[c] + after[c] - leaving[c];
            }
        }
    }
}

// The same along columns: all columns are summed a row at a time, so the picture is read in memory order. Only
// the channels `from` to `to` of rows `y0` to `y1` (columns times channels) are worked out; the input is read only
// in rows `inkY0` to `inkY1` (transparent elsewhere).
template <bool Whole>
void BlurColumns(const uint16_t* in, uint16_t* out, int width, int channels, size_t from, size_t to, int y0, int y1,
    int inkY0, int inkY1, const BoxWeights& w, std::vector<uint32_t>& sums)
{
    const size_t stride = size_t(width) * size_t(channels);
    const size_t rowLength = to - from;
    in += from;
    out += from;
    sums.assign(rowLength, 0);
    uint32_t* const sum = sums.data();
    const auto full = uint32_t(w.full);
    const auto edge = uint32_t(w.edge);
    auto row = [&](int y) -> const uint16_t* { return y >= inkY0 && y < inkY1 ? in + size_t(y) * stride : nullptr; };
    for (int k = std::max(y0 - w.whole, inkY0); k <= std::min(y0 + w.whole, inkY1 - 1); ++k) {
        const uint16_t* r = row(k);
        for (size_t x = 0; x < rowLength; ++x)
            sum[x] += r[x];
    }
    for (int y = y0; y < y1; ++y) {
        uint16_t* o = out + size_t(y) * stride;
        const uint16_t* before = w.edge ? row(y - w.whole - 1) : nullptr;
        const uint16_t* after = w.edge ? row(y + w.whole + 1) : nullptr;
        if (before && after) {
            for (size_t x = 0; x < rowLength; ++x)
                o[x] = Weighted32<Whole>(sum[x], uint32_t(before[x]) + after[x], full, edge);
        } else if (before || after) {
            const uint16_t* one = before ? before : after;
            for (size_t x = 0; x < rowLength; ++x)
                o[x] = Weighted32<Whole>(sum[x], one[x], full, edge);
        } else {
            for (size_t x = 0; x < rowLength; ++x)
                o[x] = Weighted32<Whole>(sum[x], 0, full, edge);
        }
        if (const uint16_t* entering = row(y + w.whole + 1))
            for (size_t x = 0; x < rowLength; ++x)
                sum[x] += entering[x];
        if (const uint16_t* leaving = row(y - w.whole))
            for (size_t x = 0; x < rowLength; ++x)
                sum[x] -= leaving[x];
    }
}

// The width in device pixels of the box a blur of `blur` pixels of the stage takes, the stage shown `scale`
// times its size: the box's reach on either side of its centre pixel, (blur - 1) / 2, grows with the stage.
// Boxes of a fractional or even width count the pixels at their ends in part.
double BoxSize(double blur, double scale)
{
    return std::max(1.0, (blur - 1) * scale + 1);
}

// A box blur's passes, across and down in turn, each worked out only over the pixels from which its result can
// still reach the pixels wanted: a pixel's blurred value depends only on the pixels within the box's reach of
// it, so each pass needs the wanted pixels grown by the reach of the passes still to come.
struct BlurPlan {
    BoxWeights across, down;
    bool hasAcross = false, hasDown = false;
    Area frame; // the plane: beyond it all is transparent
    Area wanted; // where the result is wanted
    std::vector<Area> need; // where each step's result is wanted (steps: each pass across, then down)
    Area input; // where the first step reads the plane
    bool acrossAt(size_t step) const { return hasAcross && (!hasDown || step % 2 == 0); }
    int reachAt(size_t step) const { return (acrossAt(step) ? across.whole : down.whole) + 1; }
};

BlurPlan PlanBlur(int width, int height, double sizeX, double sizeY, int passes, const Area& wanted)
{
    BlurPlan plan;
    // A box wider than the room filters take around a picture spreads it to nothing either way; the cut keeps
    // a movie shown very large from asking for rows of room without end.
    sizeX = std::min(sizeX, kMaxBox);
    sizeY = std::min(sizeY, kMaxBox);
    plan.across = Weights(sizeX);
    plan.down = Weights(sizeY);
    plan.hasAcross = sizeX > 1;
    plan.hasDown = sizeY > 1;
    plan.frame = { 0, 0, width, height };
    plan.wanted = Meet(wanted, plan.frame);
    plan.need.resize(size_t(passes) * size_t(int(plan.hasAcross) + int(plan.hasDown)));
    Area need = plan.wanted;
    for (size_t step = plan.need.size(); step-- > 0;) {
        plan.need[step] = need;
        const int r = plan.reachAt(step);
        need = Meet(plan.acrossAt(step) ? need.grown(r, 0, r, 0) : need.grown(0, r, 0, r), plan.frame);
    }
    plan.input = need;
    return plan;
}

// Box blurs the plane as planned, `plane` holding the input over the plan's input inside `ink` (transparent
// outside `ink`), and afterwards the result over the plan's wanted pixels; `other` is room of the same size.
// Each step works only where its result is wanted and can be other than transparent: the ink grows by the box's
// reach a step, and is measured again after each (blurs round down, so faint edges fade to nothing).
// `anyLevels`: the loops for channels between whole levels, whatever the plane holds.
void RunBlur(std::vector<uint16_t>& plane, std::vector<uint16_t>& other, int channels, const BlurPlan& plan,
    Area ink, bool anyLevels = false)
{
    const int width = plan.frame.x1;
    if (plan.frame.empty())
        return;
    other.resize(plane.size());
    ink = Meet(ink, plan.input);
    // Every pass keeps whole levels: a plane that starts with them keeps them.
    const bool whole = !anyLevels && WholeLevels(plane, width, channels, ink);
    for (size_t step = 0; step < plan.need.size() && !ink.empty(); ++step) {
        const int r = plan.reachAt(step);
        const bool across = plan.acrossAt(step);
        const Area out = Meet(plan.need[step], across ? ink.grown(r, 0, r, 0) : ink.grown(0, r, 0, r));
        if (out.empty()) {
            ink = out;
            break;
        }
        g_BlurWork += out.size() * size_t(channels);
        // Rows (and columns) are blurred each on its own: a large picture is shared between two threads, each
        // with buffers of its own, for the same result.
        const bool shared = out.size() >= kPixelsForTwoThreads;
        const uint16_t* in = plane.data();
        uint16_t* to = other.data();
        // Each half measures the ink of what it wrote, while it is at hand (none: the whole area turned inside out).
        Area inkOf[2] = { { out.x1, out.y1, out.x0, out.y0 }, { out.x1, out.y1, out.x0, out.y0 } };
        if (across) {
            InTwo(shared ? out.height() : 1, [&](int from, int until) {
                if (!shared) {
                    from = 0;
                    until = out.height();
                }
                Scratch& own = Buffers();
                auto rows = [&](auto run) {
                    run(in, to, width, out.y0 + from, out.y0 + until, plan.across, own.line, out.x0, out.x1, ink.x0,
                        ink.x1);
                };
                if (channels == 1)
                    rows(whole ? BlurRows<1, true> : BlurRows<1, false>);
                else
                    rows(whole ? BlurRows<4, true> : BlurRows<4, false>);
                InkOf(to, width, channels, { out.x0, out.y0 + from, out.x1, out.y0 + until }, inkOf[from > 0 ? 1 : 0]);
            });
        } else {
            // Every channel of a row is a column of its own; the halves split on a 16-byte boundary.
            const size_t begin = size_t(out.x0) * size_t(channels);
            const size_t end = size_t(out.x1) * size_t(channels);
            const size_t half = std::min(end, begin + ((end - begin) / 2 + 7) / 8 * 8);
            InTwo(shared ? 2 : 1, [&](int from, int until) {
                Scratch& own = Buffers();
                const size_t first = shared && from > 0 ? half : begin;
                const size_t last = shared && until < 2 ? half : end;
                (whole ? BlurColumns<true> : BlurColumns<false>)(in, to, width, channels, first, last, out.y0, out.y1,
                    ink.y0, ink.y1, plan.down, own.sums);
                InkOf(to, width, channels,
                    { int(first / size_t(channels)), out.y0, int(last / size_t(channels)), out.y1 },
                    inkOf[from > 0 ? 1 : 0]);
            });
        }
        plane.swap(other);
        ink = { std::min(inkOf[0].x0, inkOf[1].x0), std::min(inkOf[0].y0, inkOf[1].y0),
            std::max(inkOf[0].x1, inkOf[1].x1), std::max(inkOf[0].y1, inkOf[1].y1) };
    }
    // Wanted pixels the ink did not reach are transparent.
    const size_t stride = size_t(width) * size_t(channels);
    const Area& wanted = plan.wanted;
    for (int y = wanted.y0; y < wanted.y1 && !wanted.empty(); ++y) {
        uint16_t* row = &plane[size_t(y) * stride];
        if (ink.empty() || y < ink.y0 || y >= ink.y1) {
            std::fill(row + size_t(wanted.x0) * size_t(channels), row + size_t(wanted.x1) * size_t(channels), 0);
            continue;
        }
        std::fill(row + size_t(wanted.x0) * size_t(channels),
            row + size_t(std::clamp(ink.x0, wanted.x0, wanted.x1)) * size_t(channels), 0);
        std::fill(row + size_t(std::clamp(ink.x1, wanted.x0, wanted.x1)) * size_t(channels),
            row + size_t(wanted.x1) * size_t(channels), 0);
    }
}

// Box blurs the whole plane `passes` times across and down, `plane` holding the result.
void BlurPlane(std::vector<uint16_t>& plane, std::vector<uint16_t>& other, int width, int height, int channels,
    double sizeX, double sizeY, int passes, bool anyLevels = false)
{
    const Area all { 0, 0, width, height };
    RunBlur(plane, other, channels, PlanBlur(width, height, sizeX, sizeY, passes, all), all, anyLevels);
}

} // namespace

void BlurChannels(std::vector<uint16_t>& plane, int width, int height, int channels, double sizeX, double sizeY,
    int passes, bool anyLevels)
{
    if ((channels != 1 && channels != 4) || width <= 0 || height <= 0
        || plane.size() != size_t(width) * size_t(height) * size_t(channels))
        return;
    std::vector<uint16_t> other;
    BlurPlane(plane, other, width, height, channels, sizeX, sizeY, std::clamp(passes, 1, kMaxPasses), anyLevels);
}

namespace {

// The pixels a filter works on: it works out `out`, the picture being transparent outside `ink`.
struct Work {
    Area out;
    Area ink;
};

// How far a filter moves its effect, in whole pixels.
std::pair<int, int> Offset(const Filter& f, double sx, double sy)
{
    const double dx = std::cos(f.angle) * f.distance * sx;
    const double dy = std::sin(f.angle) * f.distance * sy;
    return { int(std::lround(dx)), int(std::lround(dy)) };
}

// The alpha of `count` pixels as whole levels of a plane, their bits flipped by `flip`.
void AlphaRow(const uint32_t* px, uint16_t* to, size_t count, uint16_t flip)
{
    size_t i = 0;
#ifdef __SSE2__
    if (!g_PlainLoops.load(std::memory_order_relaxed)) {
        const __m128i bits = _mm_set1_epi16(short(flip));
        for (; i + 8 <= count; i += 8) {
            const __m128i low = _mm_srli_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(px + i)), 24);
            const __m128i high = _mm_srli_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(px + i + 4)), 24);
            const __m128i levels = _mm_slli_epi16(_mm_packs_epi32(low, high), kFractionBits);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_xor_si128(levels, bits));
        }
    }
#endif
    for (; i < count; ++i)
        to[i] = uint16_t(((px[i] >> 24) << kFractionBits) ^ flip);
}

// The picture's alpha moved by (ox, oy), inverted for inner effects, blurred; in `plane`, over `wanted`.
void BlurredAlpha(const Pixels& p, const Filter& f, double sx, double sy, int ox, int oy, bool inverted,
    const Area& ink, const Area& wanted, std::vector<uint16_t>& plane, std::vector<uint16_t>& other)
{
    const int w = p.width;
    const int h = p.height;
    const BlurPlan plan = PlanBlur(w, h, BoxSize(f.blurX, sx), BoxSize(f.blurY, sy), f.passes, wanted);
    plane.resize(size_t(w) * size_t(h));
    // Inverted, the alpha is full wherever the moved picture is not.
    const Area planeInk = inverted ? plan.frame : Meet(ink.moved(ox, oy), plan.frame);
    const Area fill = Meet(plan.input, planeInk);
    if (fill.empty()) {
        RunBlur(plane, other, 1, plan, planeInk);
        return;
    }
    // The picture is read only inside its ink: elsewhere it is transparent. Inverting a whole level is flipping
    // its bits.
    const auto flip = uint16_t(inverted ? kPlaneMax : 0);
    const int inkX0 = std::clamp(ink.x0 + ox, fill.x0, fill.x1);
    const int inkX1 = std::clamp(ink.x1 + ox, inkX0, fill.x1);
    EachRow(fill.y0, fill.y1, fill.size(), [&](int y) {
        uint16_t* to = &plane[size_t(y) * size_t(w)];
        if (y - oy < ink.y0 || y - oy >= ink.y1) {
            std::fill(to + fill.x0, to + fill.x1, flip);
            return;
        }
        std::fill(to + fill.x0, to + inkX0, flip);
        AlphaRow(&p.px[size_t(y - oy) * size_t(w) + size_t(inkX0 - ox)], to + inkX0, size_t(inkX1 - inkX0), flip);
        std::fill(to + inkX1, to + fill.x1, flip);
    });
    RunBlur(plane, other, 1, plan, planeInk);
}

// A blurred alpha (times 256) by the filter's strength, as a byte.
struct Strength {
    uint64_t k;
    explicit Strength(double strength)
        : k(uint64_t(std::llround(std::clamp(strength, 0.0, 256.0) * 256)))
    { }
    uint32_t operator()(uint32_t alpha) const
    {
        return uint32_t(std::min<uint64_t>(255, (alpha * k + (1u << 15)) >> 16));
    }
};

// The effect's pixel for each whole level of blurred alpha: `pixels` by the level's strength.
std::array<uint32_t, 256> LevelPixels(const std::array<uint32_t, 256>& pixels, const Strength& strength)
{
    std::array<uint32_t, 256> levels {};
    for (uint32_t level = 0; level < 256; ++level)
        levels[level] = pixels[strength(level << kFractionBits)];
    return levels;
}

// The effect's pixel for a blurred alpha: looked up by its level when it is a whole one, as blurs leave them.
inline uint32_t EffectAt(uint16_t alpha, const std::array<uint32_t, 256>& levels,
    const std::array<uint32_t, 256>& pixels, const Strength& strength)
{
    return (alpha & ((1u << kFractionBits) - 1)) == 0 ? levels[alpha >> kFractionBits] : pixels[strength(alpha)];
}

// The effect's pixels over columns x0 to x1 of a row of blurred alpha; runs of one level (no alpha over most of a
// shadow's room, full alpha beside an inner glow) eight pixels at a time.
void EffectRow(const uint16_t* alpha, int x0, int x1, uint32_t* out, const std::array<uint32_t, 256>& levels,
    const std::array<uint32_t, 256>& pixels, const Strength& strength)
{
    int x = x0;
#ifdef __SSE2__
    if (!g_PlainLoops.load(std::memory_order_relaxed))
        for (; x + 8 <= x1; x += 8, out += 8) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha + x));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(a, _mm_set1_epi16(short(alpha[x])))) == 0xFFFF) {
                std::fill_n(out, 8, EffectAt(alpha[x], levels, pixels, strength));
                continue;
            }
            for (int k = 0; k < 8; ++k)
                out[k] = EffectAt(alpha[x + k], levels, pixels, strength);
        }
#endif
    for (; x < x1; ++x)
        *out++ = EffectAt(alpha[x], levels, pixels, strength);
}

RGBA GradientAt(const std::vector<std::pair<double, RGBA>>& g, double t)
{
    if (g.empty())
        return {};
    if (t <= g.front().first)
        return g.front().second;
    for (size_t i = 1; i < g.size(); ++i)
        if (t <= g[i].first) {
            const double span = g[i].first - g[i - 1].first;
            const double k = span > 0 ? (t - g[i - 1].first) / span : 1;
            const RGBA& a = g[i - 1].second;
            const RGBA& b = g[i].second;
            return { a.r + (b.r - a.r) * k, a.g + (b.g - a.g) * k, a.b + (b.b - a.b) * k, a.a + (b.a - a.a) * k };
        }
    return g.back().second;
}

// The filter's gradient as 256 premultiplied pixels.
std::array<uint32_t, kGradientSteps> GradientPixels(const Filter& f)
{
    std::array<uint32_t, kGradientSteps> ramp {};
    for (int i = 0; i < kGradientSteps; ++i)
        ramp[size_t(i)] = Premultiplied(GradientAt(f.gradient, i / double(kGradientSteps - 1)), 255);
    return ramp;
}

// How an effect is put together with the picture: knockout keeps the effect alone where it does not meet the
// picture, inner effects show only over the picture, outer ones only beside it (behind it) or over it (on top),
// hiding the object drops the picture.
enum class Mix { Behind, OnTop, Inner, KnockoutOuter, KnockoutInner, EffectOnly, EffectInside };

Mix MixOf(const Filter& f, bool behind)
{
    if (f.knockout)
        return f.inner ? Mix::KnockoutInner : Mix::KnockoutOuter;
    if (!f.compositeSource)
        return f.inner ? Mix::EffectInside : Mix::EffectOnly;
    if (f.inner)
        return Mix::Inner;
    return behind ? Mix::Behind : Mix::OnTop;
}

// The effect pixel `e` mixed into the picture's pixel `s`.
inline uint32_t MixPixel(uint32_t s, uint32_t e, Mix mix)
{
    const uint32_t sa = s >> 24;
    switch (mix) {
    case Mix::Behind:
        return sa != 255 && e ? AddPixels(s, Scale(e, 255 - sa)) : s;
    case Mix::OnTop:
        return e ? AddPixels(Scale(s, 255 - (e >> 24)), e) : s;
    case Mix::Inner: {
        if (sa == 0)
            return s;
        // The effect atop the picture: where the picture is, the effect covers it by its own alpha.
        const uint32_t mixed = AddPixels(Scale(s, 255 - (e >> 24)), Scale(e, sa));
        auto c = [&](int shift) { return std::min(sa, Channel(mixed, shift)); };
        return Pack(sa, c(16), c(8), c(0));
    }
    case Mix::KnockoutOuter:
        return Scale(e, 255 - sa);
    case Mix::KnockoutInner:
    case Mix::EffectInside:
        return Scale(e, sa);
    case Mix::EffectOnly:
        return e;
    }
    return s;
}

#ifdef __SSE2__
// Each 16-bit channel of two unpacked pixels times the matching one of `k`, over 255, rounded as Mul255 does (the
// sums stay below 2^16).
inline __m128i Mul255x8(__m128i c, __m128i k)
{
    const __m128i t = _mm_add_epi16(_mm_mullo_epi16(c, k), _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

// The alpha of each of two unpacked pixels in all four of its channels.
inline __m128i AlphaOf(__m128i c)
{
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(c, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
}

// MixPixel over two unpacked pixels (16-bit channels): the same sums without the branches (a scale by 0 or an
// effect of nothing leaves a pixel as the branches do).
inline __m128i MixTwo(__m128i s, __m128i e, Mix mix)
{
    const __m128i full = _mm_set1_epi16(255);
    const __m128i sa = AlphaOf(s);
    switch (mix) {
    case Mix::Behind:
        return _mm_adds_epu8(s, Mul255x8(e, _mm_sub_epi16(full, sa)));
    case Mix::OnTop:
        return _mm_adds_epu8(Mul255x8(s, _mm_sub_epi16(full, AlphaOf(e))), e);
    case Mix::Inner: {
        const __m128i mixed = _mm_adds_epu8(Mul255x8(s, _mm_sub_epi16(full, AlphaOf(e))), Mul255x8(e, sa));
        const __m128i alphaLanes = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
        __m128i out = _mm_min_epi16(mixed, sa);
        out = _mm_or_si128(_mm_andnot_si128(alphaLanes, out), _mm_and_si128(alphaLanes, sa));
        const __m128i clear = _mm_cmpeq_epi16(sa, _mm_setzero_si128());
        return _mm_or_si128(_mm_and_si128(clear, s), _mm_andnot_si128(clear, out));
    }
    case Mix::KnockoutOuter:
        return Mul255x8(e, _mm_sub_epi16(full, sa));
    case Mix::KnockoutInner:
    case Mix::EffectInside:
        return Mul255x8(e, sa);
    case Mix::EffectOnly:
        return e;
    }
    return s;
}

// MixRow four pixels at a time (the sums of unpacked channels stay within bytes, so saturating byte sums of the
// unpacked words give AddPixels).
template <Mix mix> void MixRowOf(uint32_t* px, const uint32_t* effect, size_t count)
{
    const __m128i zero = _mm_setzero_si128();
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(effect + i));
        // An effect of nothing behind or on top of the picture leaves it as it is.
        if constexpr (mix == Mix::Behind || mix == Mix::OnTop)
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(e, zero)) == 0xFFFF)
                continue;
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px + i));
        const __m128i low = MixTwo(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(e, zero), mix);
        const __m128i high = MixTwo(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(e, zero), mix);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(px + i), _mm_packus_epi16(low, high));
    }
    for (; i < count; ++i)
        px[i] = MixPixel(px[i], effect[i], mix);
}
#endif

// Mixes `count` effect pixels into as many pixels of the picture.
void MixRow(uint32_t* px, const uint32_t* effect, size_t count, Mix mix)
{
#ifdef __SSE2__
    if (!g_PlainLoops.load(std::memory_order_relaxed)) {
        switch (mix) {
        case Mix::Behind:
            return MixRowOf<Mix::Behind>(px, effect, count);
        case Mix::OnTop:
            return MixRowOf<Mix::OnTop>(px, effect, count);
        case Mix::Inner:
            return MixRowOf<Mix::Inner>(px, effect, count);
        case Mix::KnockoutOuter:
            return MixRowOf<Mix::KnockoutOuter>(px, effect, count);
        case Mix::KnockoutInner:
        case Mix::EffectInside:
            return MixRowOf<Mix::EffectInside>(px, effect, count);
        case Mix::EffectOnly:
            std::copy_n(effect, count, px);
            return;
        }
    }
#endif
    for (size_t i = 0; i < count; ++i)
        px[i] = MixPixel(px[i], effect[i], mix);
}

// Mixes the effect into the picture's pixels of `area`, a row at a time: `effectRow(y, x0, x1, out)` writes the
// premultiplied effect pixels over columns x0 to x1 of row y to `out`.
template <typename EffectRow>
void Combine(Pixels& p, const Filter& f, bool behind, const Area& area, EffectRow effectRow)
{
    // Each pixel on its own: a large area's two halves are mixed on two threads.
    const bool shared = area.size() >= kPixelsForTwoThreads;
    const Mix mix = MixOf(f, behind);
    InTwo(shared ? area.height() : 1, [&](int from, int to) {
        if (!shared) {
            from = 0;
            to = area.height();
        }
        std::vector<uint32_t>& effect = Buffers().effect;
        effect.resize(size_t(area.width()));
        for (int y = area.y0 + from; y < area.y0 + to; ++y) {
            effectRow(y, area.x0, area.x1, effect.data());
            MixRow(p.px.data() + size_t(y) * size_t(p.width) + size_t(area.x0), effect.data(), effect.size(), mix);
        }
    });
}

// Drop shadows and glows: the blurred alpha in the filter's colour.
void Shadow(Pixels& p, const Filter& f, double sx, double sy, const Work& work)
{
    Scratch& s = Buffers();
    const auto offset = Offset(f, sx, sy);
    const int ox = offset.first;
    const int oy = offset.second;
    BlurredAlpha(p, f, sx, sy, ox, oy, f.inner, work.ink, work.out, s.planeA, s.planeB);
    const Strength strength(f.strength);
    std::array<uint32_t, 256> shade {};
    for (uint32_t k = 0; k < 256; ++k)
        shade[k] = Premultiplied(f.color, k);
    const uint16_t* alpha = s.planeA.data();
    const auto levels = LevelPixels(shade, strength);
    Combine(p, f, true, work.out, [&](int y, int x0, int x1, uint32_t* out) {
        EffectRow(alpha + size_t(y) * size_t(p.width), x0, x1, out, levels, shade, strength);
    });
}

void GradientGlow(Pixels& p, const Filter& f, double sx, double sy, const Work& work)
{
    Scratch& s = Buffers();
    const auto offset = Offset(f, sx, sy);
    const int ox = offset.first;
    const int oy = offset.second;
    BlurredAlpha(p, f, sx, sy, ox, oy, f.inner, work.ink, work.out, s.planeA, s.planeB);
    const Strength strength(f.strength);
    const auto ramp = GradientPixels(f);
    const uint16_t* alpha = s.planeA.data();
    const auto levels = LevelPixels(ramp, strength);
    Combine(p, f, !f.onTop, work.out, [&](int y, int x0, int x1, uint32_t* out) {
        EffectRow(alpha + size_t(y) * size_t(p.width), x0, x1, out, levels, ramp, strength);
    });
}

// Bevels: the blurred alpha seen from the light (highlight) less the one seen from the other side (shadow).
void Bevel(Pixels& p, const Filter& f, double sx, double sy, const Work& work)
{
    Scratch& s = Buffers();
    const auto offset = Offset(f, sx, sy);
    const int ox = offset.first;
    const int oy = offset.second;
    const Area& area = work.out;
    // A blur does not care where the picture lies: the alpha is blurred once, and seen moved towards the light
    // and away from it (the sights of the pixels worked out).
    BlurredAlpha(p, f, sx, sy, 0, 0, false, work.ink, Join(area.moved(-ox, -oy), area.moved(ox, oy)), s.planeA,
        s.planeB);
    const std::vector<uint16_t>& blurred = s.planeA;
    const int w = p.width;
    const int h = p.height;
    const bool gradient = f.kind == Filter::GradientBevel;
    std::array<uint32_t, kGradientSteps> ramp {};
    std::array<uint32_t, 256> light {}, shade {};
    if (gradient) {
        ramp = GradientPixels(f);
    } else {
        for (uint32_t k = 0; k < 256; ++k) {
            light[k] = Premultiplied(f.highlight, k);
            shade[k] = Premultiplied(f.color, k);
        }
    }
    // Where the picture is, inner bevels; beside it, outer ones; full ones both (knocked out, the bevel alone
    // on both sides).
    Filter combine = f;
    const bool behind = f.onTop ? false : !f.inner;
    if (f.onTop) {
        combine.inner = false;
        if (f.knockout) {
            combine.knockout = false;
            combine.compositeSource = false;
        }
    }
    // The bevel's pixels: the difference of the two sights of the blurred alpha, by strength.
    const float unit = float(f.strength / kPlaneMax);
    auto effectOf = [&](int a, int b) -> uint32_t {
        if (a == b && !gradient)
            return 0;
        const float d = std::clamp(float(a - b) * unit, -1.0f, 1.0f);
        if (gradient)
            return ramp[size_t((d + 1) / 2 * (kGradientSteps - 1) + 0.5f)];
        return d > 0 ? light[uint32_t(d * 255.0f + 0.5f)] : shade[uint32_t(-d * 255.0f + 0.5f)];
    };
    // Blurs keep whole levels, so the two sights differ by one of 511 steps: the effect of each is worked out
    // once (a level with a fraction, should one come, is worked out on its own).
    constexpr int kLevel = 1 << kFractionBits;
    std::array<uint32_t, 511> stepEffect {};
    for (int k = -255; k <= 255; ++k)
        stepEffect[size_t(k + 255)] = effectOf(k * kLevel, 0);
    // Row y of the blurred alpha seen moved by (dx, dy), over columns x0 to x1 (transparent beyond the plane).
    auto sight = [&](int y, int x0, int x1, int dx, int dy, uint16_t* out) {
        const int from = std::clamp(x0 - dx, 0, w);
        const int to = std::clamp(x1 - dx, 0, w);
        if (y - dy < 0 || y - dy >= h || from >= to) {
            std::fill_n(out, x1 - x0, uint16_t(0));
            return;
        }
        const uint16_t* row = &blurred[size_t(y - dy) * size_t(w)];
        const int before = from - (x0 - dx);
        std::fill_n(out, before, uint16_t(0));
        std::copy(row + from, row + to, out + before);
        std::fill(out + before + (to - from), out + (x1 - x0), uint16_t(0));
    };
    Combine(p, combine, behind, area, [&](int y, int x0, int x1, uint32_t* out) {
        std::vector<uint16_t>& line = Buffers().line;
        const size_t n = size_t(x1 - x0);
        line.resize(2 * n);
        uint16_t* dark = line.data();
        uint16_t* lit = dark + n;
        sight(y, x0, x1, ox, oy, dark);
        sight(y, x0, x1, -ox, -oy, lit);
        size_t i = 0;
#ifdef __SSE2__
        // Equal sights (beside the picture, or well inside it) give the effect of no difference.
        if (!g_PlainLoops.load(std::memory_order_relaxed))
            for (; i + 8 <= n; i += 8) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dark + i));
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lit + i));
                if (_mm_movemask_epi8(_mm_cmpeq_epi16(a, b)) == 0xFFFF
                    && _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_slli_epi16(a, 16 - kFractionBits), _mm_setzero_si128()))
                        == 0xFFFF) {
                    std::fill_n(out + i, 8, stepEffect[255]);
                    continue;
                }
                for (size_t k = i; k < i + 8; ++k) {
                    const int a1 = dark[k];
                    const int b1 = lit[k];
                    out[k] = ((a1 | b1) & (kLevel - 1)) == 0 ? stepEffect[size_t((a1 - b1) / kLevel + 255)]
                                                             : effectOf(a1, b1);
                }
            }
#endif
        for (; i < n; ++i) {
            const int a = dark[i];
            const int b = lit[i];
            out[i] = ((a | b) & (kLevel - 1)) == 0 ? stepEffect[size_t((a - b) / kLevel + 255)] : effectOf(a, b);
        }
    });
}

// Blurs every channel of the picture alike.
void Blur(Pixels& p, const Filter& f, double sx, double sy, const Work& work)
{
    Scratch& s = Buffers();
    const int w = p.width;
    const BlurPlan plan = PlanBlur(w, p.height, BoxSize(f.blurX, sx), BoxSize(f.blurY, sy), f.passes, work.out);
    s.planeA.resize(p.px.size() * 4);
    // Pixel by pixel into the planes and back: a large area's halves on two threads.
    uint16_t* plane = s.planeA.data();
    auto rows = [](const Area& area, auto run) {
        const bool shared = area.size() >= kPixelsForTwoThreads;
        InTwo(shared ? area.height() : 1, [&](int from, int to) {
            if (!shared) {
                from = 0;
                to = area.height();
            }
            for (int y = area.y0 + from; y < area.y0 + to; ++y)
                run(y);
        });
    };
    const Area fill = Meet(plan.input, work.ink);
    rows(fill, [&](int y) {
        size_t i = size_t(y) * size_t(w) + size_t(fill.x0);
        const size_t end = size_t(y) * size_t(w) + size_t(fill.x1);
#ifdef __SSE2__
        // A byte unpacked into the high byte of a word is its whole level.
        if (!g_PlainLoops.load(std::memory_order_relaxed))
            for (const __m128i zero = _mm_setzero_si128(); i + 4 <= end; i += 4) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&p.px[i]));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(plane + i * 4), _mm_unpacklo_epi8(zero, v));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(plane + i * 4 + 8), _mm_unpackhi_epi8(zero, v));
            }
#endif
        for (; i < end; ++i)
            for (int c = 0; c < 4; ++c)
                plane[i * 4 + size_t(c)] = uint16_t(Channel(p.px[i], c * 8) << kFractionBits);
    });
    RunBlur(s.planeA, s.planeB, 4, plan, work.ink);
    constexpr uint32_t kHalf = 1u << (kFractionBits - 1);
    const uint16_t* blurred = s.planeA.data();
    const Area& out = plan.wanted;
    rows(out, [&](int y) {
        size_t i = size_t(y) * size_t(w) + size_t(out.x0);
        const size_t end = size_t(y) * size_t(w) + size_t(out.x1);
#ifdef __SSE2__
        // Two pixels a register: rounded to bytes, each colour at most the alpha.
        if (!g_PlainLoops.load(std::memory_order_relaxed))
            for (const __m128i half = _mm_set1_epi16(kHalf), top = _mm_set1_epi16(255); i + 4 <= end; i += 4) {
                auto bytes = [&](const uint16_t* v) {
                    const __m128i c = _mm_min_epi16(
                        _mm_srli_epi16(
                            _mm_adds_epu16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v)), half), kFractionBits),
                        top);
                    return _mm_min_epi16(c, AlphaOf(c));
                };
                _mm_storeu_si128(reinterpret_cast<__m128i*>(&p.px[i]),
                    _mm_packus_epi16(bytes(&blurred[i * 4]), bytes(&blurred[i * 4 + 8])));
            }
#endif
        for (; i < end; ++i) {
            const uint16_t* v = &blurred[i * 4];
            const uint32_t a = std::min<uint32_t>(255, (v[3] + kHalf) >> kFractionBits);
            auto c = [&](int k) { return std::min<uint32_t>(a, (v[k] + kHalf) >> kFractionBits); };
            p.px[i] = Pack(a, c(2), c(1), c(0));
        }
    });
}

// The colour matrix works on colours that are not premultiplied, 0 to 255.
uint32_t MatrixPixel(const Filter& f, uint32_t px)
{
    const auto& m = f.matrix;
    const double a = Channel(px, 24);
    auto straight = [&](int shift) { return a > 0 ? Channel(px, shift) * kChannelMax / a : 0.0; };
    const double in[4] = { straight(16), straight(8), straight(0), a };
    uint32_t out[4];
    for (int r = 0; r < 4; ++r) {
        const double* row = &m[size_t(r) * 5];
        out[r] = uint32_t(
            std::clamp(row[0] * in[0] + row[1] * in[1] + row[2] * in[2] + row[3] * in[3] + row[4], 0.0, kChannelMax)
            + 0.5);
    }
    return Pack(out[3], Mul255(out[0], out[3]), Mul255(out[1], out[3]), Mul255(out[2], out[3]));
}

// A pixel's colour worked out by `work`, remembered for the pixels seen lately: pictures are mostly runs and
// patches of few colours.
template <typename Work> class ColorMemo
{
public:
    explicit ColorMemo(Work work)
        : m_Work(work)
    {
        m_In.fill(0);
        m_Out.fill(work(0));
    }
    uint32_t operator()(uint32_t px)
    {
        const size_t slot = ((px * 0x9E3779B1u) >> 24) & (kSlots - 1);
        if (m_In[slot] != px) {
            m_In[slot] = px;
            m_Out[slot] = m_Work(px);
        }
        return m_Out[slot];
    }

private:
    static constexpr size_t kSlots = 64;
    Work m_Work;
    std::array<uint32_t, kSlots> m_In;
    std::array<uint32_t, kSlots> m_Out;
};

void ColorMatrixFilter(Pixels& p, const Filter& f, const Area& area)
{
    // Each pixel on its own: a large area's two halves on two threads.
    const bool shared = area.size() >= kPixelsForTwoThreads;
    InTwo(shared ? area.height() : 1, [&](int from, int to) {
        if (!shared) {
            from = 0;
            to = area.height();
        }
        ColorMemo memo([&f](uint32_t px) { return MatrixPixel(f, px); });
        for (int y = area.y0 + from; y < area.y0 + to; ++y) {
            uint32_t* row = &p.px[size_t(y) * size_t(p.width)];
            for (int x = area.x0; x < area.x1; ++x)
                row[x] = memo(row[x]);
        }
    });
}

void Convolve(Pixels& p, const Filter& f, const Area& area)
{
    if (f.kernel.empty() || f.divisor == 0)
        return;
    const std::vector<uint32_t> source = p.px;
    const int cx = f.matrixX / 2;
    const int cy = f.matrixY / 2;
    const double fallback[4] = { f.defaultColor.r * f.defaultColor.a, f.defaultColor.g * f.defaultColor.a,
        f.defaultColor.b * f.defaultColor.a, f.defaultColor.a };
    const double unit = 1 / kChannelMax;
    for (int y = area.y0; y < area.y1; ++y)
        for (int x = area.x0; x < area.x1; ++x) {
            double sum[4] = { 0, 0, 0, 0 };
            for (int j = 0; j < f.matrixY; ++j)
                for (int i = 0; i < f.matrixX; ++i) {
                    int sxp = x + i - cx;
                    int syp = y + j - cy;
                    if (f.clamp) {
                        sxp = std::clamp(sxp, 0, p.width - 1);
                        syp = std::clamp(syp, 0, p.height - 1);
                    }
                    const double k = f.kernel[size_t(j) * size_t(f.matrixX) + size_t(i)];
                    if (sxp >= 0 && sxp < p.width && syp >= 0 && syp < p.height) {
                        const uint32_t s = source[size_t(syp) * size_t(p.width) + size_t(sxp)];
                        sum[0] += Channel(s, 16) * unit * k;
                        sum[1] += Channel(s, 8) * unit * k;
                        sum[2] += Channel(s, 0) * unit * k;
                        sum[3] += Channel(s, 24) * unit * k;
                    } else {
                        for (int c = 0; c < 4; ++c)
                            sum[c] += fallback[c] * k;
                    }
                }
            const uint32_t own = source[size_t(y) * size_t(p.width) + size_t(x)];
            const double a = f.preserveAlpha ? Channel(own, 24) * unit
                                             : std::clamp(sum[3] / f.divisor + f.bias / kChannelMax, 0.0, 1.0);
            auto byte = [](double v) { return uint32_t(v * kChannelMax + 0.5); };
            auto c = [&](int k) { return byte(std::clamp(sum[k] / f.divisor + f.bias / kChannelMax * a, 0.0, a)); };
            p.px[size_t(y) * size_t(p.width) + size_t(x)] = Pack(byte(a), c(0), c(1), c(2));
        }
}

} // namespace

std::vector<Filter> FiltersFrom(const CFilterListItem* list)
{
    std::vector<Filter> filters;
    for (int i = 0; list && i < list->GetItemCount(); ++i) {
        Filter f;
        if (const CFilterItem* item = list->GetFilterItem(i); item && TakeFilter(*item, f))
            filters.push_back(std::move(f));
    }
    return filters;
}

namespace {

// How far one filter's blur (or kernel) spreads a pixel, leaving out its offset.
double Spread(const Filter& f, double scaleX, double scaleY)
{
    if (f.kind == Filter::ColorMatrix)
        return 0;
    if (f.kind == Filter::Convolution)
        return std::max(f.matrixX, f.matrixY);
    return std::max(f.blurX * scaleX, f.blurY * scaleY) * f.passes / 2 + 1;
}

bool HasOffset(const Filter& f)
{
    return f.kind != Filter::ColorMatrix && f.kind != Filter::Convolution;
}

} // namespace

double MaxFilterReach()
{
    return kMaxMargin;
}

double FilterReachLimit(int width, int height)
{
    return std::clamp(double(std::max(width, height)), 1.0, kMaxMargin);
}

int FilterMargin(const std::vector<Filter>& filters, double scaleX, double scaleY, double limit)
{
    double margin = 0;
    for (const Filter& f : filters)
        margin += std::min(Spread(f, scaleX, scaleY), limit)
            + (HasOffset(f) ? std::abs(f.distance) * std::max(scaleX, scaleY) : 0);
    return int(std::ceil(std::min(margin, kMaxMargin)));
}

namespace {

bool Inside(const Filter& f);

// FilterReach; `landing`: only where the effects land, which for effects that show only over the picture (inner
// shadows and glows) leaves out their offset: they read the picture moved, but never draw beside it.
std::array<double, 4> Reach(
    const std::vector<Filter>& filters, double scaleX, double scaleY, double limit, bool landing)
{
    std::array<double, 4> reach {};
    for (const Filter& f : filters) {
        const double spread = std::min(Spread(f, scaleX, scaleY), limit);
        for (double& side : reach)
            side += spread;
        if (!HasOffset(f) || (landing && Inside(f)))
            continue;
        const double dx = std::cos(f.angle) * f.distance * scaleX;
        const double dy = std::sin(f.angle) * f.distance * scaleY;
        // Bevels see the picture moved both ways; shadows and glows one way.
        const bool bothWays = f.kind == Filter::Bevel || f.kind == Filter::GradientBevel;
        reach[0] += bothWays ? std::abs(dx) : std::max(0.0, -dx);
        reach[1] += bothWays ? std::abs(dy) : std::max(0.0, -dy);
        reach[2] += bothWays ? std::abs(dx) : std::max(0.0, dx);
        reach[3] += bothWays ? std::abs(dy) : std::max(0.0, dy);
    }
    for (double& side : reach)
        side = std::ceil(std::min(side, kMaxMargin));
    return reach;
}

} // namespace

std::array<double, 4> FilterReach(const std::vector<Filter>& filters, double scaleX, double scaleY, double limit)
{
    return Reach(filters, scaleX, scaleY, limit, false);
}

namespace {

// How far a filter's blur carries a pixel across and down, as its passes take it.
std::pair<int, int> BlurReach(const Filter& f, double sx, double sy)
{
    const BlurPlan plan = PlanBlur(0, 0, BoxSize(f.blurX, sx), BoxSize(f.blurY, sy), f.passes, {});
    int across = 0;
    int down = 0;
    for (size_t step = 0; step < plan.need.size(); ++step)
        (plan.acrossAt(step) ? across : down) += plan.reachAt(step);
    return { across, down };
}

// Whether a filter's result over a pixel can be other than transparent only where the picture itself is not (inner
// effects show only over the picture).
bool Inside(const Filter& f)
{
    switch (f.kind) {
    case Filter::DropShadow:
    case Filter::Glow:
    case Filter::GradientGlow:
        return f.inner;
    case Filter::Bevel:
    case Filter::GradientBevel:
        return f.inner && !f.onTop;
    default:
        return false;
    }
}

// Whether a filter leaves pixels far from the picture transparent.
bool Bounded(const Filter& f)
{
    switch (f.kind) {
    case Filter::GradientGlow:
        return GradientPixels(f)[0] == 0; // the effect of no alpha
    case Filter::GradientBevel:
        return GradientPixels(f)[kGradientSteps / 2] == 0; // the effect of two equal sights
    case Filter::ColorMatrix:
        return MatrixPixel(f, 0) == 0;
    case Filter::Convolution:
        // A kernel over transparent pixels gives the bias (beyond the picture, the default colour unless clamped).
        return f.kernel.empty() || f.divisor == 0 || f.preserveAlpha
            || (f.bias <= 0 && (f.clamp || f.defaultColor.a <= 0));
    default:
        return true;
    }
}

// The pixels a filter's result over `out` is worked out from.
Area Sources(const Filter& f, double sx, double sy, const Area& out)
{
    const auto [rx, ry] = BlurReach(f, sx, sy);
    const auto offset = Offset(f, sx, sy);
    const int ox = offset.first;
    const int oy = offset.second;
    switch (f.kind) {
    case Filter::Blur:
        return out.grown(rx, ry, rx, ry);
    case Filter::DropShadow:
    case Filter::Glow:
    case Filter::GradientGlow:
        return Join(out, out.moved(-ox, -oy).grown(rx, ry, rx, ry));
    case Filter::Bevel:
    case Filter::GradientBevel:
        return Join(out, Join(out.moved(-ox, -oy), out.moved(ox, oy)).grown(rx, ry, rx, ry));
    case Filter::Convolution: {
        const int cx = f.matrixX / 2;
        const int cy = f.matrixY / 2;
        return out.grown(cx, cy, std::max(0, f.matrixX - 1 - cx), std::max(0, f.matrixY - 1 - cy));
    }
    case Filter::ColorMatrix:
        return out;
    }
    return out;
}

// Where a filter's result may be other than transparent, its picture being transparent outside `ink`.
Area InkAfter(const Filter& f, double sx, double sy, const Area& ink, const Area& frame)
{
    if (Inside(f))
        return ink;
    if (!Bounded(f))
        return frame;
    const auto [rx, ry] = BlurReach(f, sx, sy);
    const auto offset = Offset(f, sx, sy);
    const int ox = offset.first;
    const int oy = offset.second;
    switch (f.kind) {
    case Filter::Blur:
        return ink.grown(rx, ry, rx, ry);
    case Filter::DropShadow:
    case Filter::Glow:
    case Filter::GradientGlow:
        return Join(ink, ink.moved(ox, oy).grown(rx, ry, rx, ry));
    case Filter::Bevel:
    case Filter::GradientBevel:
        return Join(ink, Join(ink.moved(-ox, -oy), ink.moved(ox, oy)).grown(rx, ry, rx, ry));
    case Filter::Convolution: {
        const int cx = f.matrixX / 2;
        const int cy = f.matrixY / 2;
        return ink.grown(std::max(0, f.matrixX - 1 - cx), std::max(0, f.matrixY - 1 - cy), cx, cy);
    }
    case Filter::ColorMatrix:
        return ink;
    }
    return frame;
}

} // namespace

uint64_t BlurWork()
{
    return g_BlurWork.load();
}

void UsePlainFilterLoops(bool plain)
{
    g_PlainLoops = plain;
}

void ApplyFilters(cairo_surface_t* img, const std::vector<Filter>& filters, double scaleX, double scaleY,
    const std::array<int, 4>* view, double limit)
{
    if (filters.empty() || cairo_image_surface_get_format(img) != CAIRO_FORMAT_ARGB32)
        return;
    cairo_surface_flush(img);
    // Only the picture's pixels and the room its filters reach around them are worked on.
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;
    if (!InkBounds(img, x0, y0, x1, y1))
        return; // an empty picture stays empty (inner effects and knockouts need a picture to show in)
    const Area ink { x0, y0, x1, y1 };
    // Each side gets the room its effects reach towards it (a shadow cast far right needs none on the left).
    // Seen through a view, the room may lie beyond the image (the image holds only the part of the picture that
    // can reach the view, and the view): the blurs spread the picture there before it comes back into view.
    const Area image { 0, 0, cairo_image_surface_get_width(img), cairo_image_surface_get_height(img) };
    const auto reach = Reach(filters, scaleX, scaleY, limit, true);
    Area room = ink.grown(int(reach[0]), int(reach[1]), int(reach[2]), int(reach[3]));
    if (!view)
        room = Meet(room, image);
    x0 = room.x0;
    y0 = room.y0;
    const Area frame { 0, 0, room.width(), room.height() };
    if (frame.empty())
        return;
    // Of the result only the pixels in view count. Going back from them through the filters, each filter works
    // out only the pixels the later ones read, and of those only where its result can be other than
    // transparent (where the picture's ink, grown by the earlier filters' reach, lies).
    const Area inImage = image.moved(-x0, -y0);
    const Area shown = view
        ? Meet(Meet(frame, inImage), Area { (*view)[0], (*view)[1], (*view)[2], (*view)[3] }.moved(-x0, -y0))
        : frame;
    if (shown.empty())
        return;
    const size_t n = filters.size();
    std::vector<Area> inks(n + 1);
    inks[0] = ink.moved(-x0, -y0);
    for (size_t k = 0; k < n; ++k)
        inks[k + 1] = Meet(InkAfter(filters[k], scaleX, scaleY, inks[k], frame), frame);
    std::vector<Work> work(n);
    Area wanted = shown;
    // The pixels read or written: those shown, those each filter works out, and those it reads (the picture is
    // read only inside its ink, a kernel's default colour where it may fall too).
    Area used = shown;
    for (size_t k = n; k-- > 0;) {
        work[k] = { Meet(wanted, inks[k + 1]), inks[k] };
        wanted = Meet(Sources(filters[k], scaleX, scaleY, work[k].out), frame);
        used = Join(Join(used, work[k].out), filters[k].kind == Filter::Convolution ? wanted : Meet(wanted, inks[k]));
    }
    Pixels& p = Buffers().pixels;
    FromSurface(img, x0, y0, frame, used, p);
    for (size_t k = 0; k < n; ++k) {
        const Filter& f = filters[k];
        if (work[k].out.empty())
            continue;
        switch (f.kind) {
        case Filter::DropShadow:
        case Filter::Glow:
            Shadow(p, f, scaleX, scaleY, work[k]);
            break;
        case Filter::Blur:
            Blur(p, f, scaleX, scaleY, work[k]);
            break;
        case Filter::Bevel:
        case Filter::GradientBevel:
            Bevel(p, f, scaleX, scaleY, work[k]);
            break;
        case Filter::GradientGlow:
            GradientGlow(p, f, scaleX, scaleY, work[k]);
            break;
        case Filter::Convolution:
            Convolve(p, f, work[k].out);
            break;
        case Filter::ColorMatrix:
            ColorMatrixFilter(p, f, work[k].out);
            break;
        }
    }
    ToSurface(p, shown, img, x0, y0);
    cairo_surface_mark_dirty(img);
}

void TransformPicture(cairo_surface_t* image, const ColorTransform& cx)
{
    if (cx.isIdentity() || cairo_image_surface_get_format(image) != CAIRO_FORMAT_ARGB32)
        return;
    cairo_surface_flush(image);
    // Each channel's transform of its 256 straight values, rounded as the bytes are stored.
    std::array<std::array<uint8_t, 256>, 4> lut {};
    const double mult[4] = { cx.mb, cx.mg, cx.mr, cx.ma };
    const double add[4] = { cx.ab, cx.ag, cx.ar, cx.aa };
    for (size_t c = 0; c < 4; ++c)
        for (size_t v = 0; v < 256; ++v)
            lut[c][v] = uint8_t(std::lround(std::clamp(double(v) * mult[c] + add[c] * kChannelMax, 0.0, kChannelMax)));
    const int width = cairo_image_surface_get_width(image);
    const int height = cairo_image_surface_get_height(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    auto transform = [&lut](uint32_t p) {
        const uint32_t a = p >> 24;
        if (a == 0)
            return p;
        // Straight colour, transformed, premultiplied by the new alpha.
        auto straight = [&](int shift) { return std::min<uint32_t>(255, (Channel(p, shift) * 255 + a / 2) / a); };
        const uint32_t na = lut[3][a];
        return Pack(
            na, Mul255(lut[2][straight(16)], na), Mul255(lut[1][straight(8)], na), Mul255(lut[0][straight(0)], na));
    };
    // A large picture's halves on two threads, each remembering colours of its own.
    const bool shared = size_t(width) * size_t(std::max(height, 0)) >= kPixelsForTwoThreads;
    InTwo(shared ? height : 1, [&](int from, int to) {
        if (!shared) {
            from = 0;
            to = height;
        }
        ColorMemo memo(transform);
        for (int y = from; y < to; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(data + size_t(y) * size_t(stride));
            for (int x = 0; x < width; ++x)
                if (row[x] >> 24)
                    row[x] = memo(row[x]);
        }
    });
    cairo_surface_mark_dirty(image);
}

} // namespace reelfinch::plugin
