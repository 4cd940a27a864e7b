// Blend modes of placements, filters on pictures, and coverage without anti-aliasing, judged at chosen pixels.
#include "render/Filters.h"
#include "render/MonoRaster.h"
#include "timeline/Placement.h"
#include "PluginTestSupport.h"

#include "SWFStream.h"
#include "TagsModern.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>
#include <vector>

using namespace plugintest;
using namespace reelfinch::plugin;

namespace {

constexpr int T = kTwips;

// A PlaceObject3 body placing `id` at `depth`, moved by (x, y) pixels, with a blend mode and a filter list, and
// the bytes of a colour transform when given.
std::vector<uint8_t> Place3(uint16_t depth, uint16_t id, int x, int y, uint8_t blend, const std::vector<uint8_t>& filters,
    const std::vector<uint8_t>& colorTransform = {})
{
    const uint8_t more = uint8_t((blend ? 0x02 : 0) | (filters.empty() ? 0 : 0x01));
    const uint8_t flags = colorTransform.empty() ? 0x06 : 0x0E;
    std::vector<uint8_t> body { flags, more, uint8_t(depth), uint8_t(depth >> 8), uint8_t(id), uint8_t(id >> 8) };
    uint64_t bits = (uint64_t(16) << 32) | (uint64_t(uint16_t(x * T)) << 16) | uint16_t(y * T);
    bits <<= 1;
    for (int shift = 32; shift >= 0; shift -= 8)
        body.push_back(uint8_t(bits >> shift));
    body.insert(body.end(), colorTransform.begin(), colorTransform.end());
    body.insert(body.end(), filters.begin(), filters.end());
    if (blend)
        body.push_back(blend);
    return body;
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

void PutFloat(std::vector<uint8_t>& out, float f)
{
    uint32_t v = 0;
    std::memcpy(&v, &f, sizeof v);
    Put32(out, v);
}

// A list of one drop shadow: colour, blur, angle (radians), distance (pixels), strength 1, flags and one pass.
std::vector<uint8_t> DropShadow(Color c, double blur, double angle, double distance, bool inner, bool knockout,
    bool composite = true)
{
    std::vector<uint8_t> f { 1, 0, uint8_t(c.r), uint8_t(c.g), uint8_t(c.b), 255 };
    Put32(f, uint32_t(int32_t(blur * 65536)));
    Put32(f, uint32_t(int32_t(blur * 65536)));
    Put32(f, uint32_t(int32_t(angle * 65536)));
    Put32(f, uint32_t(int32_t(distance * 65536)));
    f.push_back(0);
    f.push_back(1); // strength 1.0 in 8.8
    f.push_back(uint8_t((inner ? 0x80 : 0) | (knockout ? 0x40 : 0) | (composite ? 0x20 : 0) | 1));
    return f;
}

std::vector<uint8_t> ColorMatrix(const std::array<float, 20>& m)
{
    std::vector<uint8_t> f { 1, 6 };
    for (float v : m)
        PutFloat(f, v);
    return f;
}

// An orange square below, a square of `top` over its lower right quarter with `blend` and `filters`.
Canvas Scene(uint8_t blend, const std::vector<uint8_t>& filters, Color top = { 128, 255, 255 }, int size = 50)
{
    MovieBuilder movie(100, 100);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 50 * T, 50 * T, { 255, 128, 0 });
    movie.rectShape(2, 0, 0, size * T, size * T, top);
    movie.place(1, 1, 10 * T, 10 * T);
    movie.raw(kTagPlaceObject3, Place3(2, 2, 40, 40, blend, filters));
    movie.showFrame();
    MoviePlayer player;
    EXPECT_TRUE(Load(player, movie.finish()));
    return Render(player, 100, 100);
}

} // namespace

TEST(PluginEffects, BlendModesOverAnOpaqueBackdrop)
{
    // Orange (255, 128, 0) below, (128, 255, 255) above: the mix where they meet, and the upper square alone over
    // white.
    struct Case {
        uint8_t mode;
        Color mixed;
        Color overWhite;
    };
    const Case cases[] = {
        { kBlendNormal, { 128, 255, 255 }, { 128, 255, 255 } },
        { kBlendLayer, { 128, 255, 255 }, { 128, 255, 255 } },
        { kBlendMultiply, { 128, 128, 0 }, { 128, 255, 255 } },
        { kBlendScreen, { 255, 255, 255 }, { 255, 255, 255 } },
        { kBlendLighten, { 255, 255, 255 }, { 255, 255, 255 } },
        { kBlendDarken, { 128, 128, 0 }, { 128, 255, 255 } },
        { kBlendDifference, { 127, 127, 255 }, { 127, 0, 0 } },
        { kBlendAdd, { 255, 255, 255 }, { 255, 255, 255 } },
        { kBlendSubtract, { 127, 0, 0 }, { 127, 0, 0 } },
        { kBlendInvert, { 0, 127, 255 }, { 0, 0, 0 } },
        { kBlendAlpha, { 255, 128, 0 }, { 255, 255, 255 } }, // no layer below: the stage stays as it was
        { kBlendErase, { 255, 128, 0 }, { 255, 255, 255 } },
        { kBlendOverlay, { 255, 255, 0 }, { 255, 255, 255 } },
        { kBlendHardLight, { 255, 255, 255 }, { 255, 255, 255 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.mode));
        const Canvas canvas = Scene(c.mode, {});
        EXPECT_TRUE(Near(canvas.at(50, 50), c.mixed, 3));
        EXPECT_TRUE(Near(canvas.at(80, 80), c.overWhite, 3));
        EXPECT_TRUE(Near(canvas.at(20, 20), { 255, 128, 0 }, 3)) << "below, untouched";
    }
}

TEST(PluginEffects, ButtonRecordsBlendAndFilter)
{
    // A button whose up state shows the cyan square multiplied over the orange one below it, and a second whose
    // up state shows it under a blur.
    struct Case {
        const char* what;
        uint8_t flags; // blend mode, filter list
        std::vector<uint8_t> tail;
        Color inside;
        bool softCorner; // the square's corner pixel is neither its colour nor the one below
    };
    std::vector<uint8_t> blur { 1, 1 };
    Put32(blur, 8 << 16);
    Put32(blur, 8 << 16);
    blur.push_back(1 << 3);
    const Case cases[] = {
        { "multiply", 0x20, { kBlendMultiply }, { 128, 128, 0 }, false },
        { "blur", 0x10, blur, { 128, 255, 255 }, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MovieBuilder movie(100, 100);
        movie.background(kWhite);
        movie.rectShape(1, 0, 0, 50 * T, 50 * T, { 255, 128, 0 });
        movie.rectShape(2, 0, 0, 50 * T, 50 * T, { 128, 255, 255 });
        CSWFStream button;
        button.WriteU16(10);
        button.WriteU8(0);
        button.WriteU16(0); // no actions
        button.WriteU8(uint8_t(c.flags | 0x01)); // up
        button.WriteU16(2);
        button.WriteU16(1);
        CMatrixItem identity;
        identity.WriteSWF(&button);
        button.FlushBits();
        button.WriteU8(0); // a colour transform that changes nothing
        button.WriteBuf(c.tail.data(), c.tail.size());
        button.WriteU8(0);
        movie.stream().AppendTag(kTagDefineButton2, false, &button);
        movie.place(1, 1, 10 * T, 10 * T);
        movie.place(2, 10, 40 * T, 40 * T);
        movie.showFrame();
        MoviePlayer player;
        ASSERT_TRUE(Load(player, movie.finish()));
        const Canvas canvas = Render(player, 100, 100);
        EXPECT_TRUE(Near(canvas.at(20, 20), { 255, 128, 0 }));
        EXPECT_TRUE(Near(canvas.at(50, 50), c.inside));
        const uint32_t corner = canvas.at(40, 40);
        EXPECT_EQ(!Near(corner, c.inside, 20) && !Near(corner, { 255, 128, 0 }, 20), c.softCorner) << Hex(corner);
    }
}

TEST(PluginEffects, FiltersOfPlacements)
{
    const double kDown = 3.14159265358979 / 2;
    struct Case {
        const char* what;
        std::vector<uint8_t> filters;
        Color inside; // at (60, 60), inside the upper square
        Color beside; // at (62, 92), just below it
    };
    const Case cases[] = {
        { "shadow below", DropShadow(kBlack, 1, kDown, 5, false, false), { 128, 255, 255 }, { 0, 0, 0 } },
        { "shadow knocked out", DropShadow(kBlack, 1, kDown, 5, false, true), { 255, 255, 255 }, { 0, 0, 0 } },
        { "object hidden", DropShadow(kBlack, 1, kDown, 5, false, false, false), { 0, 0, 0 }, { 0, 0, 0 } },
        { "inner shadow", DropShadow(kBlack, 1, kDown, 5, true, false), { 128, 255, 255 }, { 255, 255, 255 } },
        { "colour matrix swaps red and blue",
            ColorMatrix({ 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0 }), { 255, 255, 128 },
            { 255, 255, 255 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Canvas canvas = Scene(0, c.filters, { 128, 255, 255 }, 50);
        EXPECT_TRUE(Near(canvas.at(60, 60), c.inside, 3));
        EXPECT_TRUE(Near(canvas.at(62, 92), c.beside, 3));
    }
    // The inner shadow darkens the top edge of the square from inside.
    const Canvas inner = Scene(0, DropShadow(kBlack, 1, kDown, 5, true, false));
    EXPECT_TRUE(Near(inner.at(60, 42), kBlack, 3));
}

// The placement's colour transform acts on what the filters make: a black shadow under a transform adding full
// red shows red, and the object's own cyan turns white.
TEST(PluginEffects, ColourTransformsColourTheFilteredPicture)
{
    MovieBuilder movie(100, 100);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 50 * T, 50 * T, { 128, 255, 255 });
    // Offsets only, 9 bits each: red +255, green, blue and alpha 0.
    const std::vector<uint8_t> addRed { 0xA5, 0xFE, 0, 0, 0, 0 };
    const double kDown = 3.14159265358979 / 2;
    movie.raw(kTagPlaceObject3, Place3(1, 1, 40, 40, 0, DropShadow(kBlack, 1, kDown, 5, false, false), addRed));
    movie.showFrame();
    MoviePlayer player;
    ASSERT_TRUE(Load(player, movie.finish()));
    const Canvas canvas = Render(player, 100, 100);
    EXPECT_TRUE(Near(canvas.at(60, 60), kWhite, 3));
    EXPECT_TRUE(Near(canvas.at(62, 92), { 255, 0, 0 }, 3));
}

// A text field's picture goes through its filters as a shape's does: a bordered field casts its shadow.
TEST(PluginEffects, TextFieldsTakeTheirFilters)
{
    MovieBuilder movie(100, 100);
    movie.background(kWhite);
    CDefineEditTextTag field;
    field.m_ID = 1;
    field.m_pBounds->m_XMax = 20 * T;
    field.m_pBounds->m_YMax = 20 * T;
    field.m_Border = true;
    movie.tag(kTagDefineEditText, field);
    const double kLeft = 3.14159265358979;
    movie.raw(kTagPlaceObject3, Place3(1, 1, 40, 40, 0, DropShadow({ 255, 0, 255 }, 1, kLeft, 6, false, false)));
    movie.showFrame();
    MoviePlayer player;
    ASSERT_TRUE(Load(player, movie.finish()));
    const Canvas canvas = Render(player, 100, 100);
    EXPECT_TRUE(Near(canvas.at(36, 50), { 255, 0, 255 }, 3));
    EXPECT_TRUE(Near(canvas.at(50, 50), kWhite, 3));
    EXPECT_TRUE(Near(canvas.at(70, 50), kWhite, 3));
}

TEST(PluginEffects, BlurSpreadsAndKeepsTheSum)
{
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 21, 21);
    cairo_surface_flush(image);
    auto* px = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(image));
    const int stride = cairo_image_surface_get_stride(image) / 4;
    for (int y = 8; y < 13; ++y)
        for (int x = 8; x < 13; ++x)
            px[y * stride + x] = 0xFFFFFFFF;
    cairo_surface_mark_dirty(image);
    Filter blur;
    blur.kind = Filter::Blur;
    blur.blurX = blur.blurY = 5;
    blur.passes = 1;
    ApplyFilters(image, { blur }, 1, 1);
    cairo_surface_flush(image);
    long sum = 0;
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 21; ++x)
            sum += px[y * stride + x] >> 24;
    EXPECT_NEAR(sum, 25 * 255, 25 * 4) << "a blur moves alpha, it does not make it";
    EXPECT_EQ(px[10 * stride + 10] >> 24, 255u) << "the centre of a 5 pixel square under a 5 pixel box";
    EXPECT_GT(px[10 * stride + 14] >> 24, 0u) << "spread two pixels beyond the edge";
    EXPECT_EQ(px[10 * stride + 16] >> 24, 0u) << "but not three";
    cairo_surface_destroy(image);
}

// Each box pass keeps whole levels, the average rounded down: a one-pixel line under a box of 30 gives 255 / 30
// = 8.5 levels, shown as 8; a flat area keeps its level however wide and often it is blurred.
TEST(PluginEffects, BlurPassesKeepWholeLevelsRoundedDown)
{
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 300, 3);
    cairo_surface_flush(image);
    auto* px = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(image));
    const int stride = cairo_image_surface_get_stride(image) / 4;
    for (int y = 0; y < 3; ++y) {
        px[y * stride + 40] = 0xFF000000; // the line
        for (int x = 100; x < 260; ++x)
            px[y * stride + x] = 0xFFFFFFFF; // the flat area
    }
    cairo_surface_mark_dirty(image);
    Filter line;
    line.kind = Filter::Blur;
    line.blurX = 30;
    line.blurY = 0;
    Filter flat = line;
    flat.passes = 3;
    ApplyFilters(image, { line }, 1, 1);
    cairo_surface_flush(image);
    EXPECT_EQ(px[stride + 40] >> 24, 8u);
    EXPECT_EQ(px[stride + 40 + 14] >> 24, 8u) << "the box's last whole pixel";
    EXPECT_EQ(px[stride + 40 + 15] >> 24, 4u) << "half of 8.5, rounded down";
    ApplyFilters(image, { flat }, 1, 1);
    cairo_surface_flush(image);
    EXPECT_EQ(px[stride + 180] >> 24, 255u);
    cairo_surface_destroy(image);
}

namespace {

// The filters of a list as swflib reads it from `bytes`.
std::vector<Filter> Filters(const std::vector<uint8_t>& bytes)
{
    CSWFStream stream;
    stream.WriteBuf(bytes.data(), static_cast<unsigned long>(bytes.size()));
    stream.SetPosition(0);
    CFilterListItem list;
    EXPECT_TRUE(list.ReadSWF(&stream));
    return FiltersFrom(&list);
}

// A mask RasterizeMono makes of `polygons` within `clip`, read by pixel in the drawing's own coordinates.
class MonoMask {
public:
    MonoMask(const Polygons& polygons, bool nonZero, const double clip[4])
        : surface_(RasterizeMono(polygons, nonZero, clip, left_, top_))
    {
    }
    ~MonoMask() { cairo_surface_destroy(surface_); }
    MonoMask(const MonoMask&) = delete;
    MonoMask& operator=(const MonoMask&) = delete;

    bool empty() const { return surface_ == nullptr; }
    int top() const { return top_; }
    // The coverage of pixel (x, y): 0 outside the mask.
    int at(int x, int y) const
    {
        x -= left_;
        y -= top_;
        if (!surface_ || x < 0 || y < 0 || x >= cairo_image_surface_get_width(surface_)
            || y >= cairo_image_surface_get_height(surface_))
            return 0;
        return cairo_image_surface_get_data(surface_)[y * cairo_image_surface_get_stride(surface_) + x];
    }

private:
    int left_ = 0;
    int top_ = 0;
    cairo_surface_t* surface_;
};

} // namespace

TEST(PluginEffects, FilterRecordsBecomeFilters)
{
    std::vector<Filter> filters = Filters(DropShadow(kRed, 4, 0.5, 3, true, true));
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(filters[0].kind, Filter::DropShadow);
    EXPECT_DOUBLE_EQ(filters[0].blurX, 4);
    EXPECT_DOUBLE_EQ(filters[0].distance, 3);
    EXPECT_NEAR(filters[0].angle, 0.5, 1e-4);
    EXPECT_TRUE(filters[0].inner);
    EXPECT_TRUE(filters[0].knockout);
    EXPECT_DOUBLE_EQ(filters[0].color.r, 1);
    // Values no picture can be drawn with: blurs past 255 pixels are cut, no passes count as one, and numbers
    // that are not finite count as 0.
    std::vector<uint8_t> wide = DropShadow(kRed, 1000, 0, 0, false, false);
    wide.back() &= 0xE0;
    filters = Filters(wide);
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_DOUBLE_EQ(filters[0].blurX, 255);
    EXPECT_EQ(filters[0].passes, 1);
    filters = Filters(ColorMatrix({ 1, 2, 3, std::nanf("") }));
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_DOUBLE_EQ(filters[0].matrix[2], 3);
    EXPECT_DOUBLE_EQ(filters[0].matrix[3], 0);
    EXPECT_TRUE(FiltersFrom(nullptr).empty());
}

TEST(PluginEffects, CoverageWithoutAntiAliasingByPixelCentres)
{
    struct Case {
        const char* what;
        Polygons polygons;
        bool nonZero;
        std::vector<std::pair<int, int>> in, out;
    };
    const Case cases[] = {
        { "square on pixel edges", { { { 1, 1 }, { 4, 1 }, { 4, 4 }, { 1, 4 } } }, false, { { 1, 1 }, { 3, 3 } },
            { { 0, 1 }, { 4, 1 }, { 1, 4 } } },
        { "centres on the left and top edges belong to the shape, on the right and bottom ones not",
            { { { 1.5, 1.5 }, { 3.5, 1.5 }, { 3.5, 3.5 }, { 1.5, 3.5 } } }, false, { { 1, 1 }, { 2, 2 } },
            { { 3, 1 }, { 1, 3 }, { 0, 0 } } },
        { "the same drawn the other way round",
            { { { 1.5, 1.5 }, { 1.5, 3.5 }, { 3.5, 3.5 }, { 3.5, 1.5 } } }, false, { { 1, 1 }, { 2, 2 } },
            { { 3, 1 }, { 1, 3 } } },
        { "a sliver between two centres covers nothing", { { { 1.6, 0 }, { 2.4, 0 }, { 2.4, 6 }, { 1.6, 6 } } },
            false, {}, { { 1, 1 }, { 2, 1 } } },
        { "nested squares the same way: even-odd leaves a hole",
            { { { 0, 0 }, { 6, 0 }, { 6, 6 }, { 0, 6 } }, { { 2, 2 }, { 4, 2 }, { 4, 4 }, { 2, 4 } } }, false,
            { { 1, 1 } }, { { 2, 2 }, { 3, 3 } } },
        { "nested squares the same way: non-zero fills it",
            { { { 0, 0 }, { 6, 0 }, { 6, 6 }, { 0, 6 } }, { { 2, 2 }, { 4, 2 }, { 4, 4 }, { 2, 4 } } }, true,
            { { 1, 1 }, { 2, 2 }, { 3, 3 } }, {} },
        { "a triangle's slanted edge", { { { 0, 0 }, { 8, 0 }, { 0, 8 } } }, false, { { 0, 0 }, { 3, 3 } },
            { { 4, 4 }, { 7, 1 } } },
    };
    const double clip[4] = { 0, 0, 10, 10 };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const MonoMask mask(c.polygons, c.nonZero, clip);
        EXPECT_EQ(mask.empty(), c.in.empty()) << "a mask exactly when something is covered";
        for (auto [x, y] : c.in)
            EXPECT_EQ(mask.at(x, y), 255) << x << "," << y;
        for (auto [x, y] : c.out)
            EXPECT_EQ(mask.at(x, y), 0) << x << "," << y;
    }
    const double nan = std::nan("");
    EXPECT_TRUE(MonoMask({ { { 0, 0 }, { nan, 1 }, { 1, 1 } } }, true, clip).empty());
    EXPECT_TRUE(MonoMask({ { { 0, 0 }, { 5, 0 } } }, true, clip).empty()) << "no area";
    EXPECT_TRUE(MonoMask({ { { 20, 20 }, { 30, 20 }, { 30, 30 } } }, true, clip).empty()) << "outside the clip";
}

TEST(PluginEffects, SampledCoverageCountsPointsInside)
{
    // A pixel's value is the share of its 2 x 2 points (at a quarter and three quarters of its sides) inside.
    struct Case {
        const char* what;
        Polygons polygons;
        bool nonZero;
        std::vector<std::tuple<int, int, int>> values; // x, y, expected value
    };
    const std::vector<Case> cases = {
        { "an edge through the middle of a column: half the points",
            { { { 0.5, 0 }, { 4, 0 }, { 4, 4 }, { 0.5, 4 } } }, true, { { 0, 1, 128 }, { 1, 1, 255 }, { 3, 3, 255 } } },
        { "an edge short of the points stays out, one past them takes them",
            { { { 1.3, 1.3 }, { 3.2, 1.3 }, { 3.2, 3.2 }, { 1.3, 3.2 } } }, true,
            { { 1, 1, 64 }, { 2, 1, 128 }, { 3, 3, 0 }, { 2, 2, 255 } } },
        { "a point lying on a left or top edge is inside, on a right or bottom edge outside",
            { { { 0.25, 0.25 }, { 1.75, 0.25 }, { 1.75, 1.75 }, { 0.25, 1.75 } } }, true,
            { { 0, 0, 255 }, { 1, 0, 128 }, { 1, 1, 64 } } },
        { "even-odd leaves the overlap of two squares empty",
            { { { 0, 0 }, { 2, 0 }, { 2, 2 }, { 0, 2 } }, { { 1.5, 0 }, { 4, 0 }, { 4, 2 }, { 1.5, 2 } } }, false,
            { { 0, 0, 255 }, { 1, 0, 128 }, { 2, 0, 255 } } },
        { "a diagonal edge: three quarters below it",
            { { { 0, 0 }, { 4, 4 }, { 0, 4 } } }, true, { { 1, 1, 64 }, { 0, 1, 255 }, { 1, 2, 255 } } },
    };
    const double clip[4] = { 0, 0, 10, 10 };
    std::vector<unsigned char> scratch(64 * 64, 0xAB); // left over from an earlier mask: must not show
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (std::vector<unsigned char>* kept : { static_cast<std::vector<unsigned char>*>(nullptr), &scratch }) {
            int left = 0;
            int top = 0;
            cairo_surface_t* mask = RasterizeSampled(c.polygons, c.nonZero, clip, 2, left, top, kept);
            ASSERT_NE(mask, nullptr);
            const unsigned char* data = cairo_image_surface_get_data(mask);
            const int stride = cairo_image_surface_get_stride(mask);
            const int width = cairo_image_surface_get_width(mask);
            const int height = cairo_image_surface_get_height(mask);
            for (auto [x, y, value] : c.values) {
                const int u = x - left;
                const int v = y - top;
                const int got = u >= 0 && v >= 0 && u < width && v < height ? data[v * stride + u] : 0;
                EXPECT_EQ(got, value) << x << "," << y << (kept ? " (scratch)" : "");
            }
            cairo_surface_destroy(mask);
        }
    }
    // A grid of 1 samples the centres alone, as RasterizeMono does; absurd grids are held to a few points a side.
    int left = 0;
    int top = 0;
    cairo_surface_t* centres = RasterizeSampled({ { { 0.4, 0 }, { 3, 0 }, { 3, 3 }, { 0.4, 3 } } }, true, clip, 1,
        left, top);
    ASSERT_NE(centres, nullptr);
    EXPECT_EQ(cairo_image_surface_get_data(centres)[0], 255) << "the centre 0.5 lies inside";
    cairo_surface_destroy(centres);
    cairo_surface_t* fine = RasterizeSampled({ { { 0, 0 }, { 3, 0 }, { 3, 3 }, { 0, 3 } } }, true, clip, 1 << 20,
        left, top);
    ASSERT_NE(fine, nullptr);
    EXPECT_EQ(cairo_image_surface_get_data(fine)[0], 255);
    cairo_surface_destroy(fine);
}

TEST(PluginEffects, StrokeOutlines)
{
    // A line 2 pixels wide along y = 5 from x = 2 to x = 8.
    struct Case {
        StrokeCap cap;
        bool coversBeforeStart; // the pixel at x = 1
    };
    const Case cases[] = { { StrokeCap::None, false }, { StrokeCap::Round, true }, { StrokeCap::Square, true } };
    const double clip[4] = { 0, 0, 12, 12 };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.cap));
        Polygons outline;
        StrokePolygons({ { { 2, 5 }, { 8, 5 } } }, 2, c.cap, StrokeJoin::Round, 3, 0.5, outline);
        const MonoMask mask(outline, true, clip);
        ASSERT_FALSE(mask.empty());
        EXPECT_EQ(mask.at(5, 4), 255);
        EXPECT_EQ(mask.at(5, 5), 255);
        EXPECT_EQ(mask.at(2, 5), 255);
        EXPECT_EQ(mask.at(1, 5), c.coversBeforeStart ? 255 : 0);
        EXPECT_EQ(mask.top(), 4) << "nothing above the line's upper side";
    }
    // A line a pixel wide whose ends lie on pixel centres: its round caps hold those centres, however few sides
    // a cap that small gets.
    {
        Polygons outline;
        StrokePolygons({ { { 2.5, 5.5 }, { 8.5, 5.5 } } }, 1, StrokeCap::Round, StrokeJoin::Round, 3, 2, outline);
        const MonoMask mask(outline, true, clip);
        EXPECT_EQ(mask.at(2, 5), 255);
        EXPECT_EQ(mask.at(8, 5), 255);
    }
    // A miter past its limit is cut off square to the corner's bisector, the limit's half widths out: more than a
    // bevel, less than the whole miter.
    {
        const double wide[4] = { 0, 0, 20, 20 };
        Polygons outline;
        StrokePolygons({ { { 2, 10 }, { 10, 10 }, { 10, 2 } } }, 8, StrokeCap::None, StrokeJoin::Miter, 1, 0.5, outline);
        const MonoMask mask(outline, true, wide);
        EXPECT_EQ(mask.at(12, 12), 255) << "past the bevel";
        EXPECT_EQ(mask.at(13, 13), 0) << "short of the miter's tip";
    }
    // Lines far out of range or wider than any count of sides give outlines of bounded size, if any.
    {
        const double inf = std::numeric_limits<double>::infinity();
        Polygons outline;
        StrokePolygons({ { { 0, 0 }, { 1e300, 1 }, { inf, 0 }, { 0, 5 } } }, 1e300, StrokeCap::Round, StrokeJoin::Round, 3,
            1e-300, outline);
        for (const auto& polygon : outline)
            EXPECT_LE(polygon.size(), 1000u);
    }
    // A right-angle corner: the miter fills the outer corner, the bevel cuts it.
    for (StrokeJoin join : { StrokeJoin::Miter, StrokeJoin::Bevel }) {
        Polygons outline;
        StrokePolygons({ { { 2, 6 }, { 6, 6 }, { 6, 2 } } }, 4, StrokeCap::None, join, 4, 0.5, outline);
        EXPECT_EQ(MonoMask(outline, true, clip).at(7, 7), join == StrokeJoin::Miter ? 255 : 0);
    }
}

TEST(PluginEffects, CurvesAreCutWhereTheyBendWithinTheTolerance)
{
    // Each piece keeps within the tolerance of the curve, and the pieces are few: a tighter tolerance or a
    // sharper bend asks for more, a curve whose control point lies on its chord is one piece.
    auto at = [](const PolyPoint& p0, const PolyPoint& c, const PolyPoint& p2, double t) {
        const double u = 1 - t;
        return PolyPoint { u * u * p0.x + 2 * u * t * c.x + t * t * p2.x, u * u * p0.y + 2 * u * t * c.y + t * t * p2.y };
    };
    struct Case {
        PolyPoint p0, c, p2;
        double tolerance;
    };
    const Case cases[] = { { { 0, 0 }, { 50, 100 }, { 100, 0 }, 2 }, { { 0, 0 }, { 50, 100 }, { 100, 0 }, 0.1 },
        { { 0, 0 }, { 1000, 0 }, { 1000, 1000 }, 2 }, { { 0, 0 }, { 100, 3 }, { 0, 6 }, 0.5 } };
    std::vector<double> cuts;
    size_t lastCount = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tolerance);
        QuadraticCuts(c.p0, c.c, c.p2, c.tolerance, 1000, cuts);
        ASSERT_FALSE(cuts.empty());
        EXPECT_EQ(cuts.back(), 1.0);
        double from = 0;
        double worst = 0;
        for (double to : cuts) {
            ASSERT_GT(to, from);
            const PolyPoint a = at(c.p0, c.c, c.p2, from);
            const PolyPoint b = at(c.p0, c.c, c.p2, to);
            for (int i = 1; i < 16; ++i) {
                const PolyPoint q = at(c.p0, c.c, c.p2, from + (to - from) * i / 16);
                const double off = std::abs((b.x - a.x) * (q.y - a.y) - (b.y - a.y) * (q.x - a.x))
                    / std::hypot(b.x - a.x, b.y - a.y);
                worst = std::max(worst, off);
            }
            from = to;
        }
        EXPECT_LE(worst, c.tolerance * 1.1);
        // Far from the tolerance everywhere would mean too many pieces.
        EXPECT_GT(worst, c.tolerance * 0.3);
        if (&c == &cases[1]) {
            EXPECT_GT(cuts.size(), 3 * lastCount) << "a twentieth of the tolerance needs several times the pieces";
        }
        lastCount = cuts.size();
    }
    QuadraticCuts({ 0, 0 }, { 5, 5 }, { 10, 10 }, 0.1, 1000, cuts);
    EXPECT_EQ(cuts, std::vector<double> { 1.0 });
    QuadraticCuts({ 3, 3 }, { 3, 3 }, { 3, 3 }, 0.1, 1000, cuts);
    EXPECT_EQ(cuts, std::vector<double> { 1.0 }) << "a point";
    QuadraticCuts({ 0, 0 }, { 1e9, 1e9 }, { 2e9, 0 }, 0.01, 64, cuts);
    EXPECT_EQ(cuts.size(), 64u);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QuadraticCuts({ 0, 0 }, { nan, 1 }, { 2, 0 }, 0.1, 64, cuts);
    EXPECT_EQ(cuts, std::vector<double> { 1.0 });
}

TEST(PluginEffects, LayersReachWhatTheirObjectsDraw)
{
    // A sprite of two squares far apart, placed blended or filtered: its layer holds both squares and the
    // shadow reaching beyond them, and leaves the stage around them alone.
    const double kDown = 3.14159265358979 / 2;
    struct Case {
        const char* what;
        uint8_t blend;
        std::vector<uint8_t> filters;
        Color nearSquare; // at (15, 15), the first square
        Color farSquare; // at (85, 65), the second one
        Color shadow; // at (85, 85): 10 pixels below the second square, inside a shadow 20 pixels down
    };
    const Case cases[] = {
        { "multiply", kBlendMultiply, {}, { 128, 255, 255 }, { 128, 255, 255 }, { 255, 255, 255 } },
        { "difference", kBlendDifference, {}, { 127, 0, 0 }, { 127, 0, 0 }, { 255, 255, 255 } },
        { "far shadow", 0, DropShadow(kBlack, 1, kDown, 20, false, false), { 128, 255, 255 }, { 128, 255, 255 },
            { 0, 0, 0 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MovieBuilder movie(100, 100);
        movie.background(kWhite);
        movie.rectShape(1, 0, 0, 10 * T, 10 * T, { 128, 255, 255 });
        SpriteBuilder sprite;
        sprite.place(1, 1, 0, 0);
        sprite.place(2, 1, 70 * T, 50 * T);
        sprite.showFrame();
        sprite.define(movie, 7);
        movie.raw(kTagPlaceObject3, Place3(1, 7, 10, 10, c.blend, c.filters));
        movie.showFrame();
        MoviePlayer player;
        ASSERT_TRUE(Load(player, movie.finish()));
        const Canvas canvas = Render(player, 100, 100);
        EXPECT_TRUE(Near(canvas.at(15, 15), c.nearSquare, 3));
        EXPECT_TRUE(Near(canvas.at(85, 65), c.farSquare, 3));
        EXPECT_TRUE(Near(canvas.at(85, 85), c.shadow, 3));
        EXPECT_TRUE(Near(canvas.at(50, 40), kWhite, 3)) << "between the squares, untouched";
    }
}

TEST(PluginEffects, FilteredPicturesFollowWhatChangesInside)
{
    // A sprite with a drop shadow, two blue squares on its first frame and a red one over the left square on its
    // second (its extent stays the same), drawn frame after frame by one player: the picture kept from the first
    // frame must not stand for the second, nor the second for a frame where the shadow's colour changed.
    const double kDown = 3.14159265358979 / 2;
    MovieBuilder movie(100, 100);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 20 * T, 20 * T, kBlue);
    movie.rectShape(3, 0, 0, 20 * T, 20 * T, kRed);
    SpriteBuilder sprite;
    sprite.place(1, 1, 0, 0);
    sprite.place(2, 1, 40 * T, 0);
    sprite.showFrame();
    sprite.place(3, 3, 0, 0);
    sprite.showFrame();
    sprite.define(movie, 2);
    movie.raw(kTagPlaceObject3, Place3(1, 2, 10, 10, 0, DropShadow(kBlack, 1, kDown, 5, false, false)));
    movie.showFrame();
    movie.showFrame();
    std::vector<uint8_t> moved = Place3(1, 0, 10, 10, 0, DropShadow(kGreen, 1, kDown, 5, false, false));
    moved[0] = 0x05; // move, with a matrix: the character stays
    moved.erase(moved.begin() + 4, moved.begin() + 6);
    movie.raw(kTagPlaceObject3, moved);
    movie.showFrame();
    MoviePlayer player;
    ASSERT_TRUE(Load(player, movie.finish()));
    for (int round = 0; round < 2; ++round) {
        const Canvas first = Render(player, 100, 100);
        EXPECT_TRUE(Near(first.at(20, 20), kBlue, 3));
        EXPECT_TRUE(Near(first.at(20, 33), kBlack, 3)) << "the shadow below the square";
    }
    player.step();
    for (int round = 0; round < 2; ++round) {
        const Canvas second = Render(player, 100, 100);
        EXPECT_TRUE(Near(second.at(20, 20), kRed, 3)) << "the red square over the blue one";
        EXPECT_TRUE(Near(second.at(60, 20), kBlue, 3));
    }
    player.step();
    const Canvas third = Render(player, 100, 100);
    EXPECT_TRUE(Near(third.at(20, 33), kGreen, 3)) << "the shadow turned green";
}

TEST(PluginEffects, BlurBoxesReachHalfTheSizeLessOneAndGrowWithTheStage)
{
    // A one-pixel column under blurs of growing size: how far the blur spreads it on each side. The box reaches
    // (size - 1) / 2 pixels of the stage each way, partly covered pixels at its ends counting in part; a box of
    // one pixel leaves the picture as it was.
    struct Case {
        double size;
        double scale; // the stage's scale of the object's space
        int reach;
    };
    const Case cases[] = { { 1, 1, 0 }, { 2, 1, 1 }, { 3, 1, 1 }, { 4, 1, 2 }, { 4.9, 1, 2 }, { 5, 1, 2 },
        { 1, 2, 0 }, { 2, 2, 1 }, { 3, 2, 2 }, { 30, 1, 15 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size * c.scale);
        cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 81, 3);
        cairo_surface_flush(image);
        auto* px = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(image));
        const int stride = cairo_image_surface_get_stride(image) / 4;
        for (int y = 0; y < 3; ++y)
            px[y * stride + 40] = 0xFF000000;
        cairo_surface_mark_dirty(image);
        Filter blur;
        blur.kind = Filter::Blur;
        blur.blurX = c.size;
        blur.blurY = 0;
        ApplyFilters(image, { blur }, c.scale, c.scale);
        cairo_surface_flush(image);
        int reach = 0;
        while (reach < 40 && (px[stride + 40 + reach + 1] >> 24) != 0)
            ++reach;
        EXPECT_EQ(reach, c.reach);
        EXPECT_EQ(px[stride + 40 - reach] >> 24, px[stride + 40 + reach] >> 24) << "centred";
        const double box = (c.size - 1) * c.scale + 1;
        EXPECT_NEAR(int(px[stride + 40] >> 24), 255 / box, 1) << "the box's weights are even";
        cairo_surface_destroy(image);
    }
}

namespace {

// A sprite of two 10-pixel blue squares at (0, 0) and (40, 40), placed by PlaceObject3 at (12.5, 12.5) with the
// given second flag byte and the bytes that flag brings (cache switch, background colour).
Canvas CachedScene(uint8_t flags, const std::vector<uint8_t>& tail)
{
    MovieBuilder movie(100, 100);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 10 * T, 10 * T, { 0, 0, 255 });
    SpriteBuilder sprite;
    sprite.place(1, 1, 0, 0);
    sprite.place(2, 1, 40 * T, 40 * T);
    sprite.showFrame();
    sprite.define(movie, 2);
    std::vector<uint8_t> body { 0x06, flags, 1, 0, 2, 0 };
    // A matrix of translation only: 16-bit fields of 250 twips each.
    const uint64_t bits = ((uint64_t(16) << 32) | (uint64_t(250) << 16) | 250) << 1;
    for (int shift = 32; shift >= 0; shift -= 8)
        body.push_back(uint8_t(bits >> shift));
    body.insert(body.end(), tail.begin(), tail.end());
    movie.raw(kTagPlaceObject3, body);
    movie.showFrame();
    MoviePlayer player;
    EXPECT_TRUE(Load(player, movie.finish()));
    return Render(player, 100, 100);
}

} // namespace

TEST(PluginEffects, CachedPicturesStartOnWholePixelsOverTheirBackground)
{
    constexpr Color kBlue { 0, 0, 255 };
    constexpr Color kGreen { 0, 255, 0 };
    struct Case {
        const char* what;
        uint8_t flags;
        std::vector<uint8_t> tail;
        Color gap; // at (30, 30), between the squares
        bool snapped; // the bounds' corner (12.5, 12.5) moved to (13, 13)
    };
    const Case cases[] = {
        { "drawn as it lies", 0, {}, kWhite, false },
        { "cached", 0x04, { 1 }, kWhite, true },
        { "cache switched off", 0x04, { 0 }, kWhite, false },
        { "background, not cached", 0x40, { 0, 255, 0, 255 }, kGreen, false },
        { "cached over a background", 0x44, { 1, 0, 255, 0, 255 }, kGreen, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Canvas canvas = CachedScene(c.flags, c.tail);
        EXPECT_TRUE(Near(canvas.at(30, 30), c.gap, 3));
        EXPECT_TRUE(Near(canvas.at(18, 18), kBlue, 3));
        if (c.snapped) {
            EXPECT_TRUE(Near(canvas.at(12, 17), kWhite, 3)) << "nothing left of the whole pixel";
            EXPECT_TRUE(Near(canvas.at(13, 17), kBlue, 3));
            EXPECT_TRUE(Near(canvas.at(62, 57), kBlue, 3));
            EXPECT_TRUE(Near(canvas.at(63, 57), kWhite, 3));
        } else {
            EXPECT_FALSE(Near(canvas.at(12, 17), kWhite, 3)) << "half covered";
            EXPECT_FALSE(Near(canvas.at(12, 17), kBlue, 3)) << "half covered";
        }
        // The background fills the bounds around the squares, not beyond them.
        EXPECT_TRUE(Near(canvas.at(70, 70), kWhite, 3));
    }
}

TEST(PluginEffects, EffectsReachIntoTheViewFromPartsOutsideIt)
{
    // A square wholly outside the view casts its shadow 30 pixels into the view's edge; moved elsewhere outside,
    // it casts nothing there.
    auto shadowAt = [](int x, int y, double angle, double distance = 30) {
        MovieBuilder movie(100, 100);
        movie.background(kWhite);
        movie.rectShape(1, 0, 0, 50 * T, 50 * T, { 255, 128, 0 });
        movie.raw(kTagPlaceObject3, Place3(1, 1, x, y, 0, DropShadow(kBlack, 1, angle, distance, false, false)));
        movie.showFrame();
        MoviePlayer player;
        EXPECT_TRUE(Load(player, movie.finish()));
        return Render(player, 100, 100);
    };
    const double kDown = 3.14159265358979 / 2;
    const Canvas above = shadowAt(20, -60, kDown); // square at y -60 to -10, shadow -30 to 20
    EXPECT_TRUE(Near(above.at(40, 5), kBlack, 3));
    EXPECT_TRUE(Near(above.at(40, 30), kWhite, 3));
    EXPECT_TRUE(Near(above.at(80, 5), kWhite, 3));
    const Canvas left = shadowAt(-60, 20, 0); // square at x -60 to -10, shadow -30 to 20
    EXPECT_TRUE(Near(left.at(5, 40), kBlack, 3));
    EXPECT_TRUE(Near(left.at(30, 40), kWhite, 3));
    const Canvas aside = shadowAt(-120, -60, kDown);
    EXPECT_TRUE(Near(aside.at(5, 5), kWhite, 3));
    // Cast from far away: the rows between the square and the view still carry the shadow in.
    const Canvas far = shadowAt(20, -480, kDown, 500); // shadow 20 to 70
    EXPECT_TRUE(Near(far.at(40, 10), kWhite, 3));
    EXPECT_TRUE(Near(far.at(40, 40), kBlack, 3));
    // Cast far out of the view, down or across: the square shows without it.
    for (double angle : { kDown, 0.0 }) {
        const Canvas away = shadowAt(20, 20, angle, 900);
        EXPECT_TRUE(Near(away.at(40, 40), Color { 255, 128, 0 }, 3));
        EXPECT_TRUE(Near(away.at(40, 85), kWhite, 3));
        EXPECT_TRUE(Near(away.at(85, 40), kWhite, 3));
    }
}

// A small picture with the widest blurs of many passes, in a small view: the blurs work out only what can reach
// the view from where the picture's ink can spread, not the whole room around the picture the blurs could fill.
// An inner shadow's inverted alpha is full all around the picture, so it has no ink to bound it: the room itself
// is kept to the view's size, and a shadow cast far inside adds no room beside the picture.
TEST(PluginEffects, WideBlursWorkOnlyWhatReachesTheView)
{
    std::vector<uint8_t> bevel { 1, 3, 0, 0, 0xC0, 255, 255, 255, 255, 255 };
    for (double v : { 255.0, 255.0, 0.7, 257.0 }) // blur across and down, angle, distance
        Put32(bevel, uint32_t(int32_t(v * 65536)));
    bevel.push_back(0);
    bevel.push_back(1); // strength 1
    bevel.push_back(0x20 | 8); // on its object, 8 passes
    std::vector<uint8_t> innerShadow = DropShadow(kBlack, 255, 0.7, 1000, true, false);
    innerShadow.back() |= 15; // 15 passes
    for (const auto& filter : { bevel, innerShadow }) {
        MovieBuilder movie(64, 48);
        movie.background(kWhite);
        movie.rectShape(1, 0, 0, 40 * T, 40 * T, { 255, 0, 0 });
        movie.raw(kTagPlaceObject3, Place3(1, 1, 30, 15, 0, filter));
        movie.showFrame();
        MoviePlayer player;
        ASSERT_TRUE(Load(player, movie.finish()));
        const uint64_t before = BlurWork();
        const Canvas canvas = Render(player, 64, 48);
        const uint64_t work = BlurWork() - before;
        // Blurred over all the room boxes 255 pixels wide can reach in 8 or 15 passes (about 2,100 pixels square),
        // a pass across and one down each, the work would be 70 to 130 million values.
        EXPECT_GT(work, 0u);
        EXPECT_LT(work, 3'000'000u);
        EXPECT_TRUE(Near(canvas.at(5, 5), kWhite, 3));
    }
}

// Drawn through a small clip, a filtered object's layer holds only what can reach the clip, and its filters work
// out only the clip's pixels: they must be the pixels the whole view shows there, for a wide bevel of many passes
// and a shadow cast into the clip from beyond it.
TEST(PluginEffects, AClippedViewShowsTheWholeViewsFilteredPixels)
{
    std::vector<uint8_t> filters { 2, 3, 0, 0, 0x80, 255, 255, 255, 255, 255 };
    for (double v : { 30.0, 18.0, 0.7, 6.0 }) // blur across and down, angle, distance
        Put32(filters, uint32_t(int32_t(v * 65536)));
    filters.push_back(0);
    filters.push_back(2); // strength 2
    filters.push_back(0x20 | 5); // on its object, 5 passes
    const std::vector<uint8_t> shadow = DropShadow(kBlack, 9, 2.5, 40, false, false);
    filters.insert(filters.end(), shadow.begin() + 1, shadow.end());
    MovieBuilder movie(100, 100);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 45 * T, 30 * T, { 255, 128, 0 });
    movie.raw(kTagPlaceObject3, Place3(1, 1, 50, 40, 0, filters));
    movie.showFrame();
    const auto bytes = movie.finish();
    MoviePlayer whole;
    ASSERT_TRUE(Load(whole, bytes));
    const Canvas all = Render(whole, 100, 100);
    for (const PixelRect& clip : { PixelRect { 10, 60, 40, 90 }, PixelRect { 60, 5, 95, 30 },
             PixelRect { 0, 0, 12, 100 } }) {
        MoviePlayer player;
        ASSERT_TRUE(Load(player, bytes));
        Canvas part { 100, 100, std::vector<uint32_t>(100 * 100, 0xFF00FF00u) };
        DrawTarget target;
        target.pixels = part.pixels.data();
        target.width = target.height = 100;
        target.stride = 400;
        target.area = { 0, 0, 100, 100 };
        target.clip = { clip };
        player.draw(target);
        int wrong = 0;
        for (int y = clip.top; y < clip.bottom; ++y)
            for (int x = clip.left; x < clip.right; ++x)
                if (part.at(x, y) != all.at(x, y) && wrong++ < 3)
                    ADD_FAILURE() << "clip at " << clip.left << "," << clip.top << ": pixel " << x << "," << y << " "
                                  << Hex(part.at(x, y)) << " against " << Hex(all.at(x, y));
        EXPECT_EQ(wrong, 0);
    }
}

TEST(PluginEffects, LayersTakingBackBuffersStartClear)
{
    // A shadowed object as a large square, then a small one, then the small one moved elsewhere: the last frame's
    // layer takes back the buffer the first frame's picture held (at another row length), and must show nothing
    // of it.
    const double kDown = 3.14159265358979 / 2;
    MovieBuilder movie(100, 100);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 70 * T, 70 * T, kBlue);
    movie.rectShape(2, 0, 0, 10 * T, 12 * T, kRed);
    const std::vector<uint8_t> shadow = DropShadow(kBlack, 2, kDown, 4, false, false);
    movie.raw(kTagPlaceObject3, Place3(1, 1, 5, 5, 0, shadow));
    movie.showFrame();
    for (const auto& [x, y] : { std::pair { 20, 30 }, std::pair { 60, 10 } }) {
        std::vector<uint8_t> replaced = Place3(1, 2, x, y, 0, shadow);
        replaced[0] |= 0x01; // move: the new character takes the depth's place
        movie.raw(kTagPlaceObject3, replaced);
        movie.showFrame();
    }
    const std::vector<uint8_t> bytes = movie.finish();
    ExpectDrawnAgainAsAnew(bytes, 3, 100, 100);
    MoviePlayer fresh;
    ASSERT_TRUE(Load(fresh, bytes));
    fresh.step();
    fresh.step();
    const Canvas last = Render(fresh, 100, 100);
    EXPECT_TRUE(Near(last.at(65, 15), kRed, 3));
    EXPECT_EQ(last.at(10, 90), 0xFFFFFFFFu) << "nothing of the large square is left";
}
