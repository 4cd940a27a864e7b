#include "render/Filters.h"

#include "TagsModern.h"

#include <algorithm>
#include <cmath>

namespace reelfinch::plugin {

namespace {

constexpr double kChannelMax = 255.0;
constexpr size_t kColorMatrixSize = 20;
constexpr int kMaxPasses = 15; // passes are a 5-bit field, 4 bits beside the bevel's on-top flag
constexpr double kMaxBlur = 255.0; // pixels, as the format's players cut it
constexpr int kMaxKernel = 1024; // convolution cells
constexpr int kGradientSteps = 256;
constexpr double kMaxMargin = 1024.0; // pixels: filters reach at most this far around a picture

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

// Pixels as premultiplied floats, 0 to 1, four channels (r, g, b, a) each.
struct Planes {
    int width = 0;
    int height = 0;
    std::vector<float> px;
    float* at(int x, int y) { return &px[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
};

// The part of an ARGB32 surface inside [x0, x1) x [y0, y1).
Planes FromSurface(cairo_surface_t* image, int x0, int y0, int x1, int y1)
{
    Planes p;
    p.width = x1 - x0;
    p.height = y1 - y0;
    p.px.resize(size_t(p.width) * size_t(p.height) * 4);
    const unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    std::array<float, 256> unit {};
    for (size_t i = 0; i < unit.size(); ++i)
        unit[i] = float(i) / 255.0f;
    for (int y = 0; y < p.height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y + y0) * size_t(stride)) + x0;
        for (int x = 0; x < p.width; ++x) {
            float* o = p.at(x, y);
            o[0] = unit[(row[x] >> 16) & 0xFF];
            o[1] = unit[(row[x] >> 8) & 0xFF];
            o[2] = unit[row[x] & 0xFF];
            o[3] = unit[row[x] >> 24];
        }
    }
    return p;
}

void ToSurface(const Planes& p, cairo_surface_t* image, int x0, int y0)
{
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int y = 0; y < p.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + size_t(y + y0) * size_t(stride)) + x0;
        for (int x = 0; x < p.width; ++x) {
            const float* c = &p.px[(size_t(y) * size_t(p.width) + size_t(x)) * 4];
            const float a = std::clamp(c[3], 0.0f, 1.0f);
            // Values are never negative here: adding a half and cutting rounds them to the nearest byte.
            auto byte = [a](float v) { return uint32_t(std::clamp(v, 0.0f, a) * 255.0f + 0.5f); };
            row[x] = (uint32_t(a * 255.0f + 0.5f) << 24) | (byte(c[0]) << 16) | (byte(c[1]) << 8) | byte(c[2]);
        }
    }
}

} // namespace

bool InkBounds(cairo_surface_t* image, int& x0, int& y0, int& x1, int& y1)
{
    const int width = cairo_image_surface_get_width(image);
    const int height = cairo_image_surface_get_height(image);
    const unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    x0 = width;
    y0 = height;
    x1 = 0;
    y1 = 0;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
        int first = 0;
        while (first < width && row[first] == 0)
            ++first;
        if (first == width)
            continue;
        int last = width - 1;
        while (row[last] == 0)
            --last;
        x0 = std::min(x0, first);
        x1 = std::max(x1, last + 1);
        y0 = std::min(y0, y);
        y1 = y + 1;
    }
    return x1 > x0 && y1 > y0;
}

namespace {

// One box blur of a single channel along rows or columns, a box `size` pixels wide centred on each pixel: whole
// pixels inside it count fully, the two at its ends by the part of them it covers. Running sums keep the cost
// per pixel constant whatever the size; columns are summed a row at a time, all columns together, so the
// picture is read in memory order.
// `scratch` is room the column pass may reuse from call to call.
void BoxBlur(std::vector<float>& v, int width, int height, double size, bool horizontal, std::vector<float>& scratch)
{
    if (size <= 1 || width <= 0 || height <= 0)
        return;
    const double half = (size - 1) / 2;
    const int whole = int(std::floor(half));
    const float edge = float(half - whole);
    const float norm = float(1.0 / size);
    if (horizontal) {
        std::vector<float> line(size_t(width) + size_t(2 * (whole + 2)), 0.0f);
        const int pad = whole + 1;
        for (int l = 0; l < height; ++l) {
            float* row = &v[size_t(l) * size_t(width)];
            std::copy(row, row + width, line.begin() + pad);
            double sum = 0;
            for (int k = -whole; k <= whole; ++k)
                sum += line[size_t(pad + k)];
            for (int i = 0; i < width; ++i) {
                const int c = i + pad;
                double value = sum;
                if (edge > 0)
                    value += edge * (line[size_t(c - whole - 1)] + line[size_t(c + whole + 1)]);
                row[i] = float(value * norm);
                sum += line[size_t(c + whole + 1)] - line[size_t(c - whole)];
            }
        }
        return;
    }
    scratch.assign(v.begin(), v.end());
    const std::vector<float>& in = scratch;
    auto row = [&](int y) -> const float* {
        return y >= 0 && y < height ? &in[size_t(y) * size_t(width)] : nullptr;
    };
    std::vector<double> sums(size_t(width), 0.0);
    for (int k = -whole; k <= whole; ++k)
        if (const float* r = row(k))
            for (int x = 0; x < width; ++x)
                sums[size_t(x)] += r[x];
    for (int y = 0; y < height; ++y) {
        float* out = &v[size_t(y) * size_t(width)];
        const float* before = edge > 0 ? row(y - whole - 1) : nullptr;
        const float* after = edge > 0 ? row(y + whole + 1) : nullptr;
        for (int x = 0; x < width; ++x) {
            double value = sums[size_t(x)];
            if (before)
                value += edge * before[x];
            if (after)
                value += edge * after[x];
            out[x] = float(value * norm);
        }
        const float* leaving = row(y - whole);
        const float* entering = row(y + whole + 1);
        for (int x = 0; x < width; ++x)
            sums[size_t(x)] += (entering ? entering[x] : 0.0f) - (leaving ? leaving[x] : 0.0f);
    }
}

// The blurred alpha of the picture, moved by (dx, dy), strength applied.
std::vector<float> ShadowAlpha(Planes& p, const Filter& f, double sx, double sy, double dx, double dy, bool inverted)
{
    const int w = p.width;
    const int h = p.height;
    std::vector<float> a(size_t(w) * size_t(h), 0.0f);
    const int ox = int(std::lround(dx));
    const int oy = int(std::lround(dy));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int from = x - ox;
            const int fromY = y - oy;
            float value = from >= 0 && from < w && fromY >= 0 && fromY < h ? p.at(from, fromY)[3] : 0.0f;
            a[size_t(y) * size_t(w) + size_t(x)] = inverted ? 1 - value : value;
        }
    std::vector<float> scratch;
    for (int pass = 0; pass < f.passes; ++pass) {
        BoxBlur(a, w, h, f.blurX * sx, true, scratch);
        BoxBlur(a, w, h, f.blurY * sy, false, scratch);
    }
    for (float& v : a)
        v = std::clamp(float(v * f.strength), 0.0f, 1.0f);
    return a;
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

// Puts an effect (premultiplied planes) together with the picture as the flags ask: knockout keeps the effect
// alone where it does not meet the picture, inner effects show only over the picture, outer ones only beside
// it, hiding the object drops the picture.
// `effectAt(i, e)` gives the effect's premultiplied pixel whose first channel is p.px[i].
template <typename EffectAt>
void CombineWith(Planes& p, EffectAt effectAt, const Filter& f, bool behind)
{
    for (size_t i = 0; i < p.px.size(); i += 4) {
        const float sa = p.px[i + 3];
        float e[4];
        effectAt(i, e);
        if (f.inner) {
            for (float& c : e)
                c *= sa;
        }
        float out[4];
        if (f.knockout) {
            const float keep = f.inner ? 1.0f : 1 - sa;
            for (int c = 0; c < 4; ++c)
                out[c] = e[c] * keep;
        } else if (!f.compositeSource) {
            for (int c = 0; c < 4; ++c)
                out[c] = e[c];
        } else if (f.inner || !behind) {
            // Over the picture, inside it (inner and on-top effects).
            for (int c = 0; c < 4; ++c)
                out[c] = f.inner ? p.px[i + size_t(c)] * (1 - e[3]) + e[c]
                                 : p.px[i + size_t(c)] * (1 - e[3]) + e[c];
            if (f.inner)
                out[3] = sa;
        } else {
            // Behind the picture.
            for (int c = 0; c < 4; ++c)
                out[c] = p.px[i + size_t(c)] + e[c] * (1 - sa);
        }
        for (int c = 0; c < 4; ++c)
            p.px[i + size_t(c)] = out[c];
    }
}

void Combine(Planes& p, const Planes& effect, const Filter& f, bool behind)
{
    CombineWith(p, [&](size_t i, float* e) { std::copy_n(&effect.px[i], 4, e); }, f, behind);
}

void Shadow(Planes& p, const Filter& f, double sx, double sy)
{
    const double dx = std::cos(f.angle) * f.distance * sx;
    const double dy = std::sin(f.angle) * f.distance * sy;
    const std::vector<float> a = ShadowAlpha(p, f, sx, sy, dx, dy, f.inner);
    // The shadow's pixels are its colour by the blurred alpha, worked out as they are mixed in.
    const float r = float(f.color.r);
    const float g = float(f.color.g);
    const float b = float(f.color.b);
    const float alpha = float(f.color.a);
    CombineWith(
        p,
        [&](size_t i, float* e) {
            const float k = a[i / 4] * alpha;
            e[0] = r * k;
            e[1] = g * k;
            e[2] = b * k;
            e[3] = k;
        },
        f, true);
}

void GradientGlow(Planes& p, const Filter& f, double sx, double sy)
{
    const double dx = std::cos(f.angle) * f.distance * sx;
    const double dy = std::sin(f.angle) * f.distance * sy;
    const std::vector<float> a = ShadowAlpha(p, f, sx, sy, dx, dy, f.inner);
    std::vector<RGBA> ramp(kGradientSteps);
    for (int i = 0; i < kGradientSteps; ++i)
        ramp[size_t(i)] = GradientAt(f.gradient, i / double(kGradientSteps - 1));
    Planes effect = p;
    for (size_t i = 0; i < a.size(); ++i) {
        const RGBA& c = ramp[size_t(std::clamp(a[i], 0.0f, 1.0f) * (kGradientSteps - 1) + 0.5f)];
        const float k = float(c.a);
        effect.px[i * 4] = float(c.r) * k;
        effect.px[i * 4 + 1] = float(c.g) * k;
        effect.px[i * 4 + 2] = float(c.b) * k;
        effect.px[i * 4 + 3] = k;
    }
    Combine(p, effect, f, !f.onTop);
}

// Bevels: the blurred alpha seen from the light (highlight) less the one seen from the other side (shadow).
void Bevel(Planes& p, const Filter& f, double sx, double sy)
{
    const double dx = std::cos(f.angle) * f.distance * sx;
    const double dy = std::sin(f.angle) * f.distance * sy;
    Filter plain = f;
    plain.strength = 1;
    // A blur does not care where the picture lies: the alpha is blurred once, and seen moved towards the light
    // and away from it.
    const std::vector<float> blurred = ShadowAlpha(p, plain, sx, sy, 0, 0, false);
    const int ox = int(std::lround(dx));
    const int oy = int(std::lround(dy));
    const int w = p.width;
    const int h = p.height;
    auto alphaAt = [&](int x, int y) {
        return x >= 0 && x < w && y >= 0 && y < h ? blurred[size_t(y) * size_t(w) + size_t(x)] : 0.0f;
    };
    std::vector<RGBA> ramp;
    if (f.kind == Filter::GradientBevel)
        for (int i = 0; i < kGradientSteps; ++i)
            ramp.push_back(GradientAt(f.gradient, i / double(kGradientSteps - 1)));
    // The bevel's pixels are worked out as they are mixed in: where the picture is, inner bevels; beside it,
    // outer ones; full ones both.
    auto effectAt = [&](size_t i, float* e) {
        const int x = int(i / 4 % size_t(w));
        const int y = int(i / 4 / size_t(w));
        const float lit = alphaAt(x + ox, y + oy);
        const float dark = alphaAt(x - ox, y - oy);
        const float d = std::clamp(float((dark - lit) * f.strength), -1.0f, 1.0f);
        RGBA c;
        float k = 0;
        if (!ramp.empty()) {
            c = ramp[size_t((d + 1) / 2 * (kGradientSteps - 1) + 0.5f)];
            k = float(c.a);
        } else if (d > 0) {
            c = f.highlight;
            k = float(d * c.a);
        } else {
            c = f.color;
            k = float(-d * c.a);
        }
        e[0] = float(c.r) * k;
        e[1] = float(c.g) * k;
        e[2] = float(c.b) * k;
        e[3] = k;
    };
    Filter combine = f;
    const bool full = f.onTop;
    if (full) {
        combine.inner = false;
        CombineWith(p, effectAt, combine, false);
    } else {
        CombineWith(p, effectAt, combine, !f.inner);
    }
}

void Blur(Planes& p, const Filter& f, double sx, double sy)
{
    std::vector<float> channel(size_t(p.width) * size_t(p.height));
    std::vector<float> scratch;
    for (int c = 0; c < 4; ++c) {
        for (size_t i = 0; i < channel.size(); ++i)
            channel[i] = p.px[i * 4 + size_t(c)];
        for (int pass = 0; pass < f.passes; ++pass) {
            BoxBlur(channel, p.width, p.height, f.blurX * sx, true, scratch);
            BoxBlur(channel, p.width, p.height, f.blurY * sy, false, scratch);
        }
        for (size_t i = 0; i < channel.size(); ++i)
            p.px[i * 4 + size_t(c)] = channel[i];
    }
}

// The colour matrix works on colours that are not premultiplied, 0 to 255.
void ColorMatrixFilter(Planes& p, const Filter& f)
{
    const auto& m = f.matrix;
    for (size_t i = 0; i < p.px.size(); i += 4) {
        const float a = p.px[i + 3];
        const double in[4] = { a > 0 ? p.px[i] / a * kChannelMax : 0, a > 0 ? p.px[i + 1] / a * kChannelMax : 0,
            a > 0 ? p.px[i + 2] / a * kChannelMax : 0, a * kChannelMax };
        double out[4];
        for (int r = 0; r < 4; ++r) {
            const double* row = &m[size_t(r) * 5];
            out[r] = std::clamp(row[0] * in[0] + row[1] * in[1] + row[2] * in[2] + row[3] * in[3] + row[4], 0.0,
                         kChannelMax)
                / kChannelMax;
        }
        for (int c = 0; c < 3; ++c)
            p.px[i + size_t(c)] = float(out[c] * out[3]);
        p.px[i + 3] = float(out[3]);
    }
}

void Convolve(Planes& p, const Filter& f)
{
    if (f.kernel.empty() || f.divisor == 0)
        return;
    const Planes source = p;
    const int cx = f.matrixX / 2;
    const int cy = f.matrixY / 2;
    const float fallback[4] = { float(f.defaultColor.r * f.defaultColor.a), float(f.defaultColor.g * f.defaultColor.a),
        float(f.defaultColor.b * f.defaultColor.a), float(f.defaultColor.a) };
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            double sum[4] = { 0, 0, 0, 0 };
            for (int j = 0; j < f.matrixY; ++j)
                for (int i = 0; i < f.matrixX; ++i) {
                    int sxp = x + i - cx;
                    int syp = y + j - cy;
                    const float* s = fallback;
                    if (f.clamp) {
                        sxp = std::clamp(sxp, 0, p.width - 1);
                        syp = std::clamp(syp, 0, p.height - 1);
                    }
                    if (sxp >= 0 && sxp < p.width && syp >= 0 && syp < p.height)
                        s = &source.px[(size_t(syp) * size_t(p.width) + size_t(sxp)) * 4];
                    const double k = f.kernel[size_t(j) * size_t(f.matrixX) + size_t(i)];
                    for (int c = 0; c < 4; ++c)
                        sum[c] += s[c] * k;
                }
            float* o = p.at(x, y);
            const float a = f.preserveAlpha ? source.px[(size_t(y) * size_t(p.width) + size_t(x)) * 4 + 3]
                                            : std::clamp(float(sum[3] / f.divisor + f.bias / kChannelMax), 0.0f, 1.0f);
            for (int c = 0; c < 3; ++c)
                o[c] = std::clamp(float(sum[c] / f.divisor + f.bias / kChannelMax * a), 0.0f, a);
            o[3] = a;
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

int FilterMargin(const std::vector<Filter>& filters, double scaleX, double scaleY)
{
    double margin = 0;
    for (const Filter& f : filters) {
        if (f.kind == Filter::ColorMatrix)
            continue;
        if (f.kind == Filter::Convolution) {
            margin += std::max(f.matrixX, f.matrixY);
            continue;
        }
        margin += std::max(f.blurX * scaleX, f.blurY * scaleY) * f.passes / 2 + 1
            + std::abs(f.distance) * std::max(scaleX, scaleY);
    }
    return int(std::ceil(std::min(margin, kMaxMargin)));
}

void ApplyFilters(cairo_surface_t* image, const std::vector<Filter>& filters, double scaleX, double scaleY)
{
    if (filters.empty() || cairo_image_surface_get_format(image) != CAIRO_FORMAT_ARGB32)
        return;
    cairo_surface_flush(image);
    // Only the picture's pixels and the room its filters reach around them are worked on.
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;
    if (!InkBounds(image, x0, y0, x1, y1))
        return; // an empty picture stays empty (inner effects and knockouts need a picture to show in)
    const int margin = FilterMargin(filters, scaleX, scaleY);
    x0 = std::max(0, x0 - margin);
    y0 = std::max(0, y0 - margin);
    x1 = std::min(cairo_image_surface_get_width(image), x1 + margin);
    y1 = std::min(cairo_image_surface_get_height(image), y1 + margin);
    Planes p = FromSurface(image, x0, y0, x1, y1);
    if (p.px.empty())
        return;
    for (const Filter& f : filters) {
        switch (f.kind) {
        case Filter::DropShadow:
        case Filter::Glow:
            Shadow(p, f, scaleX, scaleY);
            break;
        case Filter::Blur:
            Blur(p, f, scaleX, scaleY);
            break;
        case Filter::Bevel:
        case Filter::GradientBevel:
            Bevel(p, f, scaleX, scaleY);
            break;
        case Filter::GradientGlow:
            GradientGlow(p, f, scaleX, scaleY);
            break;
        case Filter::Convolution:
            Convolve(p, f);
            break;
        case Filter::ColorMatrix:
            ColorMatrixFilter(p, f);
            break;
        }
    }
    ToSurface(p, image, x0, y0);
    cairo_surface_mark_dirty(image);
}

} // namespace reelfinch::plugin
