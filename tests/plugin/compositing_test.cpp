// The renderer's own compositing loops against the cairo operators they stand for: every byte must agree.
#include "render/Composite.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdint>
#include <random>
#include <vector>

using namespace reelfinch::plugin;

namespace {

// Premultiplied pixels, and now and then a channel above its alpha (bitmaps of movies may hold such).
std::vector<uint32_t> RandomPixels(std::mt19937& random, size_t count)
{
    std::vector<uint32_t> pixels(count);
    for (uint32_t& p : pixels) {
        const uint32_t a = random() % 4 == 0 ? 255 : random() % 256;
        p = a << 24;
        for (int shift = 0; shift < 24; shift += 8)
            p |= (random() % 8 == 0 ? random() % 256 : random() % (a + 1)) << shift;
        if (random() % 6 == 0)
            p = 0;
    }
    return pixels;
}

cairo_surface_t* ImageOf(std::vector<uint32_t>& pixels, int width, int height)
{
    return cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(pixels.data()), CAIRO_FORMAT_ARGB32, width, height, width * 4);
}

// Subtract as cairo's operators make it: DIFFERENCE with white, ADD of the layer, DIFFERENCE with white.
void SubtractByOperators(cairo_t* cr, cairo_pattern_t* layer)
{
    cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_ADD);
    cairo_set_source(cr, layer);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
}

// Runs `draw` on a context over `pixels`, clipped to two rectangles: a large one, whose rows the compositing
// loops split between two threads, and a small one beside it of an odd width. Returns what `draw` returns.
template <class Draw> bool DrawInTwoRectangles(std::vector<uint32_t>& pixels, int width, int height, Draw draw)
{
    cairo_surface_t* target = ImageOf(pixels, width, height);
    cairo_t* cr = cairo_create(target);
    cairo_rectangle(cr, 3, 7, 500, 301);
    cairo_rectangle(cr, 505, 20, 11, 5);
    cairo_clip(cr);
    const bool done = draw(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(target);
    return done;
}

} // namespace

TEST(Compositing, SubtractRowMatchesCairoOnEveryPixel)
{
    std::mt19937 random(7);
    // An odd count: the last pixel lies past the groups of four.
    constexpr int kWidth = 63;
    constexpr int kHeight = 31;
    const std::vector<uint32_t> below = RandomPixels(random, kWidth * kHeight);
    std::vector<uint32_t> layer = RandomPixels(random, kWidth * kHeight);
    std::vector<uint32_t> expected = below;
    cairo_surface_t* target = ImageOf(expected, kWidth, kHeight);
    cairo_surface_t* source = ImageOf(layer, kWidth, kHeight);
    cairo_t* cr = cairo_create(target);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(source);
    SubtractByOperators(cr, pattern);
    cairo_pattern_destroy(pattern);
    cairo_destroy(cr);
    cairo_surface_flush(target);
    std::vector<uint32_t> ours = below;
    SubtractRow(ours.data(), layer.data(), kWidth * kHeight);
    for (size_t i = 0; i < ours.size(); ++i)
        ASSERT_EQ(ours[i], expected[i]) << "below " << std::hex << below[i] << " layer " << layer[i];
    cairo_surface_destroy(source);
    cairo_surface_destroy(target);
}

// A layer placed with device offsets under a matrix of the movie's scale, clipped by several whole-pixel
// rectangles: only the clip changes, as with the operators. A clip cairo cannot give as rectangles, or one
// reaching past the layer (where the operators still invert what lies below), is refused.
// Each blend mode's row against cairo's operator on random pixels (the layer painted with the operator; invert as
// opaque white masked by the layer with DIFFERENCE). The row's length leaves pixels past the last group of four;
// the pixels now and then hold a channel above its alpha, where some modes' sums wrap round.
TEST(Compositing, BlendRowsMatchCairoOnEveryPixel)
{
    struct Mode {
        LayerBlend blend;
        cairo_operator_t op;
        const char* name;
    };
    const Mode modes[] = {
        { LayerBlend::Multiply, CAIRO_OPERATOR_MULTIPLY, "multiply" },
        { LayerBlend::Darken, CAIRO_OPERATOR_DARKEN, "darken" },
        { LayerBlend::Lighten, CAIRO_OPERATOR_LIGHTEN, "lighten" },
        { LayerBlend::Difference, CAIRO_OPERATOR_DIFFERENCE, "difference" },
        { LayerBlend::Invert, CAIRO_OPERATOR_DIFFERENCE, "invert" },
        { LayerBlend::Screen, CAIRO_OPERATOR_SCREEN, "screen" },
        { LayerBlend::Overlay, CAIRO_OPERATOR_OVERLAY, "overlay" },
        { LayerBlend::HardLight, CAIRO_OPERATOR_HARD_LIGHT, "hard light" },
    };
    std::mt19937 random(5);
    constexpr int kWidth = 255;
    constexpr int kHeight = 256;
    for (const Mode& mode : modes) {
        const std::vector<uint32_t> below = RandomPixels(random, kWidth * kHeight);
        std::vector<uint32_t> layerPixels = RandomPixels(random, kWidth * kHeight);
        std::vector<uint32_t> expected = below;
        cairo_surface_t* layer = ImageOf(layerPixels, kWidth, kHeight);
        cairo_surface_t* target = ImageOf(expected, kWidth, kHeight);
        cairo_t* cr = cairo_create(target);
        cairo_set_operator(cr, mode.op);
        if (mode.blend == LayerBlend::Invert) {
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_mask_surface(cr, layer, 0, 0);
        } else {
            cairo_set_source_surface(cr, layer, 0, 0);
            cairo_paint(cr);
        }
        cairo_destroy(cr);
        cairo_surface_destroy(target);
        cairo_surface_destroy(layer);
        std::vector<uint32_t> ours = below;
        for (int y = 0; y < kHeight; ++y)
            BlendRow(mode.blend, ours.data() + y * kWidth, layerPixels.data() + y * kWidth, kWidth);
        int wrong = 0;
        for (size_t i = 0; i < ours.size(); ++i)
            if (ours[i] != expected[i] && wrong++ < 3)
                ADD_FAILURE() << mode.name << ": below " << std::hex << below[i] << " layer " << layerPixels[i]
                              << " gives " << ours[i] << ", cairo " << expected[i];
        EXPECT_EQ(wrong, 0) << mode.name;
    }
}

TEST(Compositing, SubtractLayerWorksInTheClipOnly)
{
    std::mt19937 random(11);
    constexpr int kWidth = 80;
    constexpr int kHeight = 60;
    constexpr int kLayerWidth = 50;
    constexpr int kLayerHeight = 40;
    const std::vector<uint32_t> below = RandomPixels(random, kWidth * kHeight);
    std::vector<uint32_t> layerPixels = RandomPixels(random, kLayerWidth * kLayerHeight);
    cairo_surface_t* layer = ImageOf(layerPixels, kLayerWidth, kLayerHeight);
    cairo_surface_set_device_offset(layer, -20, -10); // its pixel (0, 0) on the device's (20, 10)
    cairo_matrix_t user;
    cairo_matrix_init_scale(&user, 0.05 * 3.49, 0.05 * 3.49);
    enum Clip { Rectangles, Rounded, PastTheLayer };
    auto run = [&](std::vector<uint32_t>& pixels, bool ours, Clip kind) {
        cairo_surface_t* target = ImageOf(pixels, kWidth, kHeight);
        cairo_surface_set_device_offset(target, 5, -3);
        cairo_t* cr = cairo_create(target);
        cairo_rectangle(cr, 22, 12, 10, 8);
        cairo_rectangle(cr, 40, 30, kind == PastTheLayer ? 35 : 25, 15);
        if (kind == Rounded)
            cairo_arc(cr, 30, 30, 5, 0, 6.28);
        cairo_clip(cr);
        cairo_set_matrix(cr, &user);
        cairo_pattern_t* pattern = cairo_pattern_create_for_surface(layer);
        cairo_pattern_set_matrix(pattern, &user);
        bool done = false;
        if (ours)
            done = SubtractLayer(cr, pattern);
        else
            SubtractByOperators(cr, pattern);
        cairo_pattern_destroy(pattern);
        cairo_destroy(cr);
        cairo_surface_destroy(target);
        return done;
    };
    std::vector<uint32_t> expected = below;
    run(expected, false, Rectangles);
    std::vector<uint32_t> ours = below;
    ASSERT_TRUE(run(ours, true, Rectangles));
    EXPECT_EQ(ours, expected);
    EXPECT_NE(ours, below);

    for (Clip refused : { Rounded, PastTheLayer }) {
        std::vector<uint32_t> untouched = below;
        EXPECT_FALSE(run(untouched, true, refused));
        EXPECT_EQ(untouched, below);
    }
    cairo_surface_destroy(layer);
}

// A layer large enough to be mixed by two threads, each taking half the rows of every clip rectangle: the same
// bytes as cairo's operator, the halves meeting without a seam or an overlap.
TEST(Compositing, LargeLayersMixAsCairoDoes)
{
    std::mt19937 random(13);
    constexpr int kWidth = 520;
    constexpr int kHeight = 331;
    const std::vector<uint32_t> below = RandomPixels(random, kWidth * kHeight);
    std::vector<uint32_t> layerPixels = RandomPixels(random, kWidth * kHeight);
    cairo_surface_t* layer = ImageOf(layerPixels, kWidth, kHeight);
    auto run = [&](std::vector<uint32_t>& pixels, bool ours) {
        return DrawInTwoRectangles(pixels, kWidth, kHeight, [&](cairo_t* cr) {
            cairo_pattern_t* pattern = cairo_pattern_create_for_surface(layer);
            bool done = false;
            if (ours) {
                done = BlendLayer(cr, pattern, LayerBlend::Overlay);
            } else {
                cairo_set_operator(cr, CAIRO_OPERATOR_OVERLAY);
                cairo_set_source(cr, pattern);
                cairo_paint(cr);
            }
            cairo_pattern_destroy(pattern);
            return done;
        });
    };
    std::vector<uint32_t> expected = below;
    run(expected, false);
    std::vector<uint32_t> ours = below;
    ASSERT_TRUE(run(ours, true));
    EXPECT_EQ(ours, expected);
    cairo_surface_destroy(layer);
}

// A layer drawn through an A8 mask over what lies below, on two threads and skipping groups of pixels the layer
// leaves alone (transparent) or covers whole (opaque under full coverage): the same bytes as cairo_mask, inside
// a clip of several rectangles; another operator is refused.
TEST(Compositing, MaskedLayersMixAsCairoDoes)
{
    std::mt19937 random(17);
    constexpr int kWidth = 523;
    constexpr int kHeight = 331;
    const std::vector<uint32_t> below = RandomPixels(random, kWidth * kHeight);
    std::vector<uint32_t> layerPixels = RandomPixels(random, kWidth * kHeight);
    const int maskStride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, kWidth); // rows padded to whole words
    std::vector<uint8_t> coverage(size_t(maskStride) * kHeight);
    for (size_t i = 0; i < layerPixels.size(); ++i) {
        const int kind = int(i / 37 % 4); // runs of each kind, some of them groups of four
        coverage[i / kWidth * size_t(maskStride) + i % kWidth]
            = kind == 0 ? 0 : kind == 1 ? 255 : uint8_t(random() % 256);
        if (i / 53 % 3 == 0)
            layerPixels[i] = i / 53 % 2 ? 0 : 0xFF000000u | (random() & 0xFFFFFF);
    }
    cairo_surface_t* layer = ImageOf(layerPixels, kWidth, kHeight);
    cairo_surface_t* mask
        = cairo_image_surface_create_for_data(coverage.data(), CAIRO_FORMAT_A8, kWidth, kHeight, maskStride);
    auto run = [&](std::vector<uint32_t>& pixels, bool ours, cairo_operator_t op) {
        return DrawInTwoRectangles(pixels, kWidth, kHeight, [&](cairo_t* cr) {
            cairo_set_operator(cr, op);
            cairo_pattern_t* pattern = cairo_pattern_create_for_surface(layer);
            cairo_pattern_t* maskPattern = cairo_pattern_create_for_surface(mask);
            bool done = false;
            if (ours) {
                done = MaskLayer(cr, pattern, maskPattern);
            } else {
                cairo_set_source(cr, pattern);
                cairo_mask(cr, maskPattern);
            }
            cairo_pattern_destroy(maskPattern);
            cairo_pattern_destroy(pattern);
            return done;
        });
    };
    std::vector<uint32_t> expected = below;
    run(expected, false, CAIRO_OPERATOR_OVER);
    std::vector<uint32_t> ours = below;
    ASSERT_TRUE(run(ours, true, CAIRO_OPERATOR_OVER));
    int wrong = 0;
    for (size_t i = 0; i < ours.size(); ++i)
        if (ours[i] != expected[i] && wrong++ < 3)
            ADD_FAILURE() << "pixel " << i % kWidth << "," << i / kWidth << std::hex << ": " << ours[i] << " against "
                          << expected[i] << " (below " << below[i] << " layer " << layerPixels[i] << " coverage "
                          << int(coverage[i / kWidth * size_t(maskStride) + i % kWidth]) << ")";
    EXPECT_EQ(wrong, 0);
    std::vector<uint32_t> untouched = below;
    EXPECT_FALSE(run(untouched, true, CAIRO_OPERATOR_ADD));
    EXPECT_EQ(untouched, below);
    cairo_surface_destroy(mask);
    cairo_surface_destroy(layer);
}
