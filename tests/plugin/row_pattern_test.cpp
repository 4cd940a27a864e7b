// Our own sampling of a stretched row of texels against cairo's fill with the row as a bilinear pattern: where
// the loop takes a fill on, every byte of the surface must agree.
#include "render/RowPattern.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

using namespace reelfinch::plugin;

namespace {

constexpr int kTexels = 256;

struct Case {
    int width, height;
    double offsetX, offsetY; // the target's device offset, as layers have
    std::vector<cairo_rectangle_t> clip; // whole-pixel rectangles of the device, none for the whole surface
    cairo_matrix_t user;
    std::vector<std::pair<double, double>> points; // the polygon, in device pixels
    cairo_matrix_t toTexels; // the pattern matrix, user space to texels
    bool reflect;
    std::vector<uint32_t> texels;
    std::vector<uint32_t> below;
    // A stroke of the points (closed or open, straight or through a curve) in place of the fill.
    bool stroke = false;
    bool closed = true;
    bool curved = false;
    double lineWidth = 1;
    cairo_line_join_t join = CAIRO_LINE_JOIN_ROUND;
    cairo_line_cap_t cap = CAIRO_LINE_CAP_ROUND;
};

Case RandomCase(std::mt19937& random)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Case c;
    c.width = 40 + int(random() % 120);
    c.height = 30 + int(random() % 90);
    c.offsetX = random() % 3 == 0 ? -double(random() % 40) : 0;
    c.offsetY = random() % 3 == 0 ? -double(random() % 40) : 0;
    const int clips = int(random() % 4); // 0: none, 3: two rectangles
    for (int i = 0; i < (clips == 3 ? 2 : clips == 0 ? 0 : 1); ++i) {
        const double x = -c.offsetX + double(random() % c.width) - 10;
        const double y = -c.offsetY + double(random() % c.height) - 10;
        c.clip.push_back({ x, y, double(10 + random() % c.width), double(10 + random() % c.height) });
    }
    const double angle = unit(random) * 6.3;
    const double scale = 0.3 + unit(random) * 3;
    cairo_matrix_init_rotate(&c.user, random() % 2 ? angle : 0);
    cairo_matrix_scale(&c.user, scale, scale * (0.5 + unit(random)));
    c.user.x0 = unit(random) * 100 - 20;
    c.user.y0 = unit(random) * 100 - 20;
    // A polygon around the surface's middle, at times reaching past its sides; on twentieths of a pixel.
    const int corners = 3 + int(random() % 6);
    for (int i = 0; i < corners; ++i) {
        double x = -c.offsetX + (unit(random) * 1.6 - 0.3) * c.width;
        double y = -c.offsetY + (unit(random) * 1.6 - 0.3) * c.height;
        c.points.push_back({ std::round(x * 20) / 20, std::round(y * 20) / 20 });
    }
    // Texels a fraction of a unit of user space to several units wide, at any angle.
    const double stretch = 0.05 + unit(random) * 2;
    cairo_matrix_init_rotate(&c.toTexels, random() % 2 ? unit(random) * 6.3 : 0);
    cairo_matrix_scale(&c.toTexels, stretch, stretch * (0.2 + unit(random)));
    c.toTexels.x0 = unit(random) * 300 - 50;
    c.toTexels.y0 = unit(random) * 40 - 20;
    c.reflect = random() % 2;
    c.texels.resize(kTexels);
    for (uint32_t& t : c.texels) {
        const uint32_t a = random() % 3 ? 255 : random() % 256;
        t = a << 24;
        for (int shift = 0; shift < 24; shift += 8)
            t |= (random() % (a + 1)) << shift;
    }
    c.below.resize(size_t(c.width) * c.height);
    for (uint32_t& p : c.below)
        p = 0xFF000000 | (random() & 0xFFFFFF);
    return c;
}

// A random case made a stroke: mostly in a user space that keeps the axes (flipped at times), as the loop takes
// on strokes only there.
Case RandomStrokeCase(std::mt19937& random)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Case c = RandomCase(random);
    c.stroke = true;
    if (random() % 4 != 0) {
        const double scale = 0.3 + unit(random) * 3;
        cairo_matrix_init(&c.user, random() % 3 ? scale : -scale, 0, 0,
            scale * (0.5 + unit(random)) * (random() % 3 ? 1 : -1), c.user.x0, c.user.y0);
    }
    // Mostly inside the surface, which the case's clip may still cut.
    for (auto& [x, y] : c.points) {
        x = std::round((-c.offsetX + (unit(random) * 0.9 + 0.05) * c.width) * 20) / 20;
        y = std::round((-c.offsetY + (unit(random) * 0.9 + 0.05) * c.height) * 20) / 20;
    }
    c.closed = random() % 2;
    c.curved = random() % 3 == 0;
    c.lineWidth = 0.2 + unit(random) * 4;
    const cairo_line_join_t joins[] = { CAIRO_LINE_JOIN_ROUND, CAIRO_LINE_JOIN_MITER, CAIRO_LINE_JOIN_BEVEL };
    const cairo_line_cap_t caps[] = { CAIRO_LINE_CAP_ROUND, CAIRO_LINE_CAP_BUTT, CAIRO_LINE_CAP_SQUARE };
    c.join = joins[random() % 3];
    c.cap = caps[random() % 3];
    // Axis-aligned outlines at times, which cairo strokes as boxes.
    if (random() % 3 == 0)
        for (size_t i = 1; i < c.points.size(); ++i)
            (i % 2 ? c.points[i].second : c.points[i].first) = (i % 2 ? c.points[i - 1].second : c.points[i - 1].first);
    return c;
}

// The case's target with its clip, user space and path set; `pixels` receives the drawing.
cairo_t* Prepare(const Case& c, std::vector<uint32_t>& pixels, cairo_surface_t*& target)
{
    pixels = c.below;
    target = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(pixels.data()), CAIRO_FORMAT_ARGB32, c.width, c.height, c.width * 4);
    cairo_surface_set_device_offset(target, c.offsetX, c.offsetY);
    cairo_t* cr = cairo_create(target);
    for (const cairo_rectangle_t& r : c.clip)
        cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    if (!c.clip.empty())
        cairo_clip(cr);
    cairo_new_path(cr);
    cairo_move_to(cr, c.points[0].first, c.points[0].second);
    for (size_t i = 1; i < c.points.size(); ++i)
        if (c.curved && i + 2 < c.points.size()) {
            cairo_curve_to(cr, c.points[i].first, c.points[i].second, c.points[i + 1].first, c.points[i + 1].second,
                c.points[i + 2].first, c.points[i + 2].second);
            i += 2;
        } else {
            cairo_line_to(cr, c.points[i].first, c.points[i].second);
        }
    if (c.closed)
        cairo_close_path(cr);
    cairo_set_matrix(cr, &c.user);
    cairo_set_line_width(cr, c.lineWidth);
    cairo_set_line_join(cr, c.join);
    cairo_set_line_cap(cr, c.cap);
    return cr;
}

void Draw(cairo_t* cr, const Case& c)
{
    if (c.stroke)
        cairo_stroke(cr);
    else
        cairo_fill(cr);
}

std::vector<uint32_t> FilledByCairo(const Case& c)
{
    std::vector<uint32_t> pixels;
    cairo_surface_t* target = nullptr;
    cairo_t* cr = Prepare(c, pixels, target);
    std::vector<uint32_t> texels = c.texels;
    cairo_surface_t* row = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(texels.data()), CAIRO_FORMAT_ARGB32, kTexels, 1, kTexels * 4);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(row);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_BILINEAR);
    cairo_pattern_set_extend(pattern, c.reflect ? CAIRO_EXTEND_REFLECT : CAIRO_EXTEND_PAD);
    cairo_pattern_set_matrix(pattern, &c.toTexels);
    cairo_set_source(cr, pattern);
    Draw(cr, c);
    cairo_pattern_destroy(pattern);
    cairo_surface_destroy(row);
    cairo_destroy(cr);
    cairo_surface_destroy(target);
    return pixels;
}

// The fill with our own row's pixels over the composite rectangle; false where the loop declines the case.
bool FilledByRow(const Case& c, std::vector<uint32_t>& pixels)
{
    cairo_surface_t* target = nullptr;
    cairo_t* cr = Prepare(c, pixels, target);
    IntRect extents;
    cairo_matrix_t fromSurface;
    RowSampler sampler;
    bool taken = (c.stroke ? StrokeCompositeExtents(cr, extents) : CompositeExtents(cr, extents))
        && SourceToSurface(cr, c.toTexels, fromSurface) && sampler.set(fromSurface, extents, kTexels, c.reflect);
    if (taken) {
        std::vector<uint32_t> picture(size_t(extents.width) * extents.height);
        // In two pieces, as the drawing thread and its helper share them; a stroke's rows in two stretches each,
        // as the stretches a stroke reaches are worked out alone.
        const int half = extents.height / 2;
        sampler.fillRows(c.texels.data(), extents.x, extents.y, picture.data(), size_t(extents.width), extents.width,
            half);
        sampler.fillRows(c.texels.data(), extents.x, extents.y + half, picture.data() + size_t(half) * extents.width,
            size_t(extents.width), extents.width, extents.height - half);
        for (int j = 0; c.stroke && j < extents.height; ++j) {
            uint32_t* row = picture.data() + size_t(j) * size_t(extents.width);
            const int cut = (j * 7) % extents.width;
            std::fill_n(row, extents.width, 0u);
            sampler.fill(c.texels.data(), extents.x, extents.y + j, row, cut);
            sampler.fill(c.texels.data(), extents.x + cut, extents.y + j, row + cut, extents.width - cut);
        }
        cairo_surface_t* image = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(picture.data()),
            CAIRO_FORMAT_ARGB32, extents.width, extents.height, extents.width * 4);
        cairo_identity_matrix(cr);
        cairo_set_source_surface(cr, image, extents.x - c.offsetX, extents.y - c.offsetY);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
        cairo_set_matrix(cr, &c.user);
        Draw(cr, c);
        cairo_surface_destroy(image);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(target);
    return taken;
}

} // namespace

// The cases that `make` gives which the loop takes on, each compared with cairo's drawing; their count.
template <class Make> int CompareWithCairo(std::mt19937& random, int cases, Make make)
{
    int taken = 0;
    for (int n = 0; n < cases; ++n) {
        const Case c = make(random);
        std::vector<uint32_t> ours;
        if (!FilledByRow(c, ours))
            continue;
        ++taken;
        const std::vector<uint32_t> expected = FilledByCairo(c);
        int wrong = 0;
        for (size_t i = 0; i < ours.size(); ++i)
            if (ours[i] != expected[i] && wrong++ < 3)
                ADD_FAILURE() << "case " << n << " pixel " << i % c.width << "," << i / c.width << ": "
                              << std::hex << ours[i] << ", cairo " << expected[i];
        EXPECT_EQ(wrong, 0) << "case " << n;
        if (wrong)
            break;
    }
    return taken;
}

// Random polygons, user spaces, clips (none, one rectangle, two), layers' device offsets, padded and reflected
// rows at all angles and stretches: the fills the loop takes on come out byte for byte as cairo's.
TEST(RowPattern, FillsMatchCairoByteForByte)
{
    std::mt19937 random(3);
    constexpr int kCases = 400;
    // Two rectangles that do not hold the whole fill, and the odd empty clip, are left to cairo; the rest is not.
    EXPECT_GT(CompareWithCairo(random, kCases, RandomCase), kCases / 2);
}

// The same for strokes of every join and end, open and closed, straight and curved, axis-aligned outlines
// among them: the loop takes on those held by one clip rectangle in a user space keeping the axes.
TEST(RowPattern, StrokesMatchCairoByteForByte)
{
    std::mt19937 random(5);
    constexpr int kCases = 400;
    EXPECT_GT(CompareWithCairo(random, kCases, RandomStrokeCase), kCases / 8);
}

// Clips cairo cannot list as whole-pixel rectangles and paths with curves are left to cairo.
TEST(RowPattern, DeclinesWhatItCannotKnow)
{
    std::vector<uint32_t> pixels(64 * 64);
    cairo_surface_t* target = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(pixels.data()), CAIRO_FORMAT_ARGB32, 64, 64, 64 * 4);
    cairo_t* cr = cairo_create(target);
    IntRect extents;
    cairo_rectangle(cr, 4, 4, 40, 40);
    EXPECT_TRUE(CompositeExtents(cr, extents));
    EXPECT_EQ(extents.x, 4);
    EXPECT_EQ(extents.width, 40);
    cairo_new_path(cr);
    cairo_move_to(cr, 2, 2);
    cairo_curve_to(cr, 10, 40, 30, 50, 60, 3);
    EXPECT_FALSE(CompositeExtents(cr, extents));
    cairo_new_path(cr);
    cairo_arc(cr, 32, 32, 20, 0, 6.3);
    cairo_clip(cr);
    cairo_rectangle(cr, 4, 4, 40, 40);
    EXPECT_FALSE(CompositeExtents(cr, extents));
    cairo_destroy(cr);
    cairo_surface_destroy(target);
}
