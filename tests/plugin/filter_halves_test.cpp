// Filters of pictures large enough to be worked on by two threads, each taking half the rows or columns: the
// halves must meet without a seam. Box blurs and glows treat every direction alike and bevels cast sideways
// treat up and down alike, so a picture turned over must give the filtered picture turned over, byte for byte,
// although the halves then fall on other pixels.
#include "render/Filters.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

using namespace reelfinch::plugin;

// Filters are written with designated initializers, the other members keeping their defaults; this compiler warns
// of every member such an initializer leaves out, although each has a default.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

constexpr int kContentWidth = 257;
constexpr int kContentHeight = 200; // with the width, more pixels than one thread works on; even, odd across
constexpr int kMargin = 40;
constexpr int kWidth = kContentWidth + 2 * kMargin;
constexpr int kHeight = kContentHeight + 2 * kMargin;

// Random premultiplied pixels in the middle, transparent room around them.
std::vector<uint32_t> Picture(std::mt19937& random)
{
    std::vector<uint32_t> pixels(size_t(kWidth) * kHeight, 0);
    for (int y = kMargin; y < kMargin + kContentHeight; ++y)
        for (int x = kMargin; x < kMargin + kContentWidth; ++x) {
            const uint32_t a = random() % 4 == 0 ? random() % 256 : 255;
            uint32_t p = a << 24;
            for (int shift = 0; shift < 24; shift += 8)
                p |= (random() % (a + 1)) << shift;
            pixels[size_t(y) * kWidth + size_t(x)] = p;
        }
    return pixels;
}

std::vector<uint32_t> Filtered(std::vector<uint32_t> pixels, const std::vector<Filter>& filters)
{
    cairo_surface_t* image = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(pixels.data()), CAIRO_FORMAT_ARGB32, kWidth, kHeight, kWidth * 4);
    ApplyFilters(image, filters, 1.5, 1.5);
    cairo_surface_destroy(image);
    return pixels;
}

// The picture turned upside down, and mirrored too when `both`.
std::vector<uint32_t> Turned(const std::vector<uint32_t>& pixels, bool both)
{
    std::vector<uint32_t> out(pixels.size());
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            out[size_t(kHeight - 1 - y) * kWidth + size_t(both ? kWidth - 1 - x : x)]
                = pixels[size_t(y) * kWidth + size_t(x)];
    return out;
}

void ExpectTurnedAlike(const std::vector<Filter>& filters, bool both, const char* name)
{
    std::mt19937 random(9);
    const std::vector<uint32_t> picture = Picture(random);
    const std::vector<uint32_t> turnedFirst = Filtered(Turned(picture, both), filters);
    const std::vector<uint32_t> turnedAfter = Turned(Filtered(picture, filters), both);
    int wrong = 0;
    for (size_t i = 0; i < turnedFirst.size(); ++i)
        if (turnedFirst[i] != turnedAfter[i] && wrong++ < 3)
            ADD_FAILURE() << name << ": pixel " << i % kWidth << "," << i / kWidth << std::hex << " "
                          << turnedFirst[i] << " against " << turnedAfter[i];
    EXPECT_EQ(wrong, 0) << name;
}

} // namespace

TEST(FilterHalves, LargePicturesFilterWithoutASeam)
{
    ExpectTurnedAlike({ { .kind = Filter::Blur, .blurX = 9, .blurY = 6, .passes = 2 } }, true, "blur");
    ExpectTurnedAlike(
        { { .kind = Filter::Glow, .blurX = 8, .blurY = 8, .strength = 1.5, .color = { 0.2, 0.6, 1.0, 0.8 } } }, true,
        "glow");
    // Cast sideways: up and down alike.
    const Filter bevel { .kind = Filter::Bevel, .blurX = 5, .blurY = 5, .angle = 0, .distance = 4, .strength = 2,
        .color = { 0, 0, 0, 1 }, .highlight = { 1, 1, 1, 1 } };
    ExpectTurnedAlike({ bevel }, false, "bevel");
}

// The ink's bounds pass over blank runs a block at a time: ink at either end of a block, or alone in a row of any
// width, must still be found.
TEST(FilterHalves, InkBoundsFindInkAtEveryPlace)
{
    for (int width : { 1, 15, 16, 17, 31, 32, 33, 70 }) {
        std::vector<uint32_t> pixels(size_t(width) * 3, 0);
        cairo_surface_t* image = cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(pixels.data()), CAIRO_FORMAT_ARGB32, width, 3, width * 4);
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        EXPECT_FALSE(InkBounds(image, x0, y0, x1, y1)) << width;
        for (int first = 0; first < width; ++first)
            for (int last = first; last < width; ++last) {
                std::fill(pixels.begin(), pixels.end(), 0u);
                pixels[size_t(width) + size_t(first)] = 0x01000000; // the faintest alpha
                pixels[size_t(width) + size_t(last)] = 0x00000001; // a colour without alpha is ink too
                ASSERT_TRUE(InkBounds(image, x0, y0, x1, y1)) << width << " " << first << " " << last;
                EXPECT_EQ(x0, first);
                EXPECT_EQ(x1, last + 1);
                EXPECT_EQ(y0, 1);
                EXPECT_EQ(y1, 2);
            }
        cairo_surface_destroy(image);
    }
}

// Blurs of whole levels (all the filters make) take loops of 32-bit products; the general loops must give the same
// bytes, for boxes of whole, fractional and even widths, boxes wider than the picture, full planes at the top
// level (where the 32-bit sums come closest to their limit) and pictures large enough for two threads.
TEST(FilterHalves, WholeLevelBlursMatchTheGeneralLoops)
{
    std::mt19937 random(5);
    struct Case {
        int width, height, channels;
        double sizeX, sizeY;
        int passes;
        bool full;
    };
    const Case cases[] = { { 37, 23, 4, 3, 5, 1, false }, { 40, 31, 1, 2.5, 6.75, 2, false },
        { 19, 45, 4, 64, 1, 3, false }, { 64, 16, 1, 1, 33.3, 1, false }, { 30, 30, 4, 4096, 4096, 1, true },
        { 50, 40, 1, 17.2, 9, 2, true }, { 257, 200, 4, 9.5, 12, 2, false }, { 257, 200, 1, 21, 7.4, 3, false } };
    for (const Case& c : cases) {
        std::vector<uint16_t> plane(size_t(c.width) * size_t(c.height) * size_t(c.channels));
        for (uint16_t& v : plane)
            v = uint16_t((c.full || random() % 3 == 0 ? 255 : random() % 256) << 8);
        std::vector<uint16_t> general = plane;
        BlurChannels(plane, c.width, c.height, c.channels, c.sizeX, c.sizeY, c.passes);
        BlurChannels(general, c.width, c.height, c.channels, c.sizeX, c.sizeY, c.passes, true);
        int wrong = 0;
        for (size_t i = 0; i < plane.size(); ++i)
            if (plane[i] != general[i] && wrong++ < 3)
                ADD_FAILURE() << c.width << "x" << c.height << "x" << c.channels << " boxes " << c.sizeX << ","
                              << c.sizeY << ": channel " << i << " " << plane[i] << " against " << general[i];
        EXPECT_EQ(wrong, 0);
    }
}

namespace {

// The picture filtered with only the pixels of `view` worked out.
std::vector<uint32_t> FilteredIn(std::vector<uint32_t> pixels, const std::vector<Filter>& filters,
    const std::array<int, 4>& view)
{
    cairo_surface_t* image = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(pixels.data()), CAIRO_FORMAT_ARGB32, kWidth, kHeight, kWidth * 4);
    ApplyFilters(image, filters, 1.5, 1.5, &view);
    cairo_surface_destroy(image);
    return pixels;
}

} // namespace

// Filters worked out only over a view must give, inside it, the bytes the whole picture gives: effects cast into
// the view from outside it, inner effects, chains whose later blurs read what earlier ones spread, and effects
// that colour pixels far from the picture.
TEST(FilterHalves, AViewGetsTheWholePicturesPixels)
{
    const Filter blur { .kind = Filter::Blur, .blurX = 9, .blurY = 4.5, .passes = 3 };
    const Filter shadow { .kind = Filter::DropShadow, .blurX = 6, .blurY = 6, .angle = 0.6, .distance = 25,
        .passes = 2, .color = { 0, 0, 0, 1 } };
    const Filter inner { .kind = Filter::Glow, .blurX = 6, .blurY = 6, .inner = true, .passes = 2,
        .color = { 1, 0, 0, 1 } };
    const Filter bevel { .kind = Filter::Bevel, .blurX = 7, .blurY = 12, .angle = 2.2, .distance = 9, .strength = 2,
        .passes = 2, .color = { 0, 0, 0.5, 1 }, .highlight = { 1, 1, 1, 1 } };
    Filter knockedOut = bevel;
    knockedOut.onTop = true;
    knockedOut.knockout = true;
    Filter gradientGlow = shadow;
    gradientGlow.kind = Filter::GradientGlow;
    gradientGlow.gradient = { { 0, { 0, 1, 0, 0.5 } }, { 1, { 1, 1, 0, 1 } } }; // colours even where no alpha is
    // Alpha where none was.
    const Filter matrix { .kind = Filter::ColorMatrix,
        .matrix = { 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0.5, 40 } };
    // Blue beyond the picture's room.
    const Filter kernel { .kind = Filter::Convolution, .matrixX = 3, .matrixY = 2, .kernel = { 1, 0, 1, 0, 2, 0 },
        .divisor = 4, .defaultColor = { 0, 0, 1, 1 }, .clamp = false };
    const struct {
        const char* name;
        std::vector<Filter> filters;
    } cases[] = { { "blur", { blur } }, { "shadow", { shadow } }, { "inner glow", { inner } }, { "bevel", { bevel } },
        { "knocked-out bevel on top", { knockedOut } }, { "gradient glow", { gradientGlow } },
        { "shadow, blur, bevel", { shadow, blur, bevel } }, { "matrix, blur", { matrix, blur } },
        { "convolution, inner glow", { kernel, inner } } };
    // Views inside the picture, across its edge, beside it (reached only by what is cast) and past the image.
    const std::array<int, 4> views[] = { { 100, 90, 160, 130 }, { 0, 0, 70, 60 }, { 300, 150, kWidth, kHeight },
        { -20, 200, 120, kHeight + 30 } };
    std::mt19937 random(3);
    const std::vector<uint32_t> picture = Picture(random);
    for (const auto& c : cases) {
        // Seen through a view, the filters' room may reach past the image: the whole image as the view.
        const std::vector<uint32_t> whole = FilteredIn(picture, c.filters, { 0, 0, kWidth, kHeight });
        for (const auto& view : views) {
            const std::vector<uint32_t> part = FilteredIn(picture, c.filters, view);
            int wrong = 0;
            for (int y = std::max(0, view[1]); y < std::min(kHeight, view[3]); ++y)
                for (int x = std::max(0, view[0]); x < std::min(kWidth, view[2]); ++x) {
                    const size_t i = size_t(y) * kWidth + size_t(x);
                    if (part[i] != whole[i] && wrong++ < 3)
                        ADD_FAILURE() << c.name << ", view at " << view[0] << "," << view[1] << ": pixel " << x
                                      << "," << y << std::hex << " " << part[i] << " against " << whole[i];
                }
            EXPECT_EQ(wrong, 0) << c.name;
        }
    }
}

// Blurring only what reaches a small view takes a small part of the work of the whole picture.
TEST(FilterHalves, AViewBoundsTheBlursWork)
{
    const Filter bevel { .kind = Filter::Bevel, .blurX = 6, .blurY = 6, .distance = 5, .strength = 1, .passes = 3 };
    std::mt19937 random(4);
    const std::vector<uint32_t> picture = Picture(random);
    const uint64_t before = BlurWork();
    Filtered(picture, { bevel });
    const uint64_t whole = BlurWork() - before;
    FilteredIn(picture, { bevel }, { 150, 100, 170, 120 });
    const uint64_t part = BlurWork() - before - whole;
    EXPECT_GT(whole, uint64_t(kWidth) * kHeight) << "every pass works over the picture";
    EXPECT_LT(part * 20, whole);
}

// The filters' loops that work on many pixels at a time must give the plain loops' bytes: every way an effect is
// mixed with the picture (behind, on top, inner, knocked out, alone), gradients, bevels cast every way, blurs of
// one and four channels, colour matrices.
TEST(FilterHalves, QuickLoopsMatchThePlainOnes)
{
    const Filter shadow { .kind = Filter::DropShadow, .blurX = 7, .blurY = 4, .angle = 2.2, .distance = 9,
        .strength = 1.7, .passes = 2, .color = { 0.3, 0.1, 0.9, 0.7 } };
    Filter bevel { .kind = Filter::Bevel, .blurX = 6, .blurY = 6, .angle = 0.8, .distance = 5, .strength = 1.4,
        .color = { 0, 0, 0.5, 1 }, .highlight = { 1, 0.8, 0.8, 0.9 } };
    Filter gradient = bevel;
    gradient.kind = Filter::GradientBevel;
    gradient.gradient = { { 0, { 1, 0, 0, 1 } }, { 0.5, { 0, 1, 0, 0.4 } }, { 1, { 0, 0, 1, 1 } } };
    Filter gradientGlow = gradient;
    gradientGlow.kind = Filter::GradientGlow;
    const Filter blur { .kind = Filter::Blur, .blurX = 5, .blurY = 11, .passes = 2 };
    const Filter matrix { .kind = Filter::ColorMatrix,
        .matrix = { 0.5, 0.3, 0.2, 0, 10, 0.1, 0.9, 0, 0, -20, 0, 0.4, 0.6, 0, 5, 0, 0, 0, 0.8, 30 } };
    std::vector<std::pair<const char*, Filter>> filters;
    auto each = [&](const char* name, Filter f) {
        for (bool inner : { false, true })
            for (bool knockout : { false, true })
                for (bool composite : { true, false }) {
                    f.inner = inner;
                    f.knockout = knockout;
                    f.compositeSource = composite;
                    filters.emplace_back(name, f);
                }
    };
    each("shadow", shadow);
    each("bevel", bevel);
    bevel.onTop = true;
    each("bevel on top", bevel);
    bevel.angle = 3.9;
    bevel.onTop = false;
    each("bevel cast up", bevel);
    each("gradient bevel", gradient);
    each("gradient glow", gradientGlow);
    filters.emplace_back("blur", blur);
    filters.emplace_back("matrix", matrix);
    std::mt19937 random(17);
    const std::vector<uint32_t> picture = Picture(random);
    for (const auto& [name, f] : filters) {
        const std::vector<uint32_t> quick = Filtered(picture, { f });
        UsePlainFilterLoops(true);
        const std::vector<uint32_t> plain = Filtered(picture, { f });
        UsePlainFilterLoops(false);
        int wrong = 0;
        for (size_t i = 0; i < quick.size(); ++i)
            if (quick[i] != plain[i] && wrong++ < 3)
                ADD_FAILURE() << name << " inner " << f.inner << " knockout " << f.knockout << ": pixel " << i % kWidth
                              << "," << i / kWidth << std::hex << " " << quick[i] << " against " << plain[i];
        EXPECT_EQ(wrong, 0) << name;
    }
}
