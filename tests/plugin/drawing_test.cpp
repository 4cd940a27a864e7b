// What the plug-in draws: each kind of shape fill, line styles, bitmaps, morphs, text, colour transforms, masks,
// buttons and quality, from movies built with swflib, checked at chosen pixels.
#include "render/Bitmaps.h"
#include "PluginTestSupport.h"

#include <zlib.h>

using namespace plugintest;
using reelfinch::plugin::MoviePlayer;
using reelfinch::plugin::Quality;

namespace {

constexpr int kW = 100;
constexpr int kH = 100;
constexpr int T = kTwips;

std::vector<uint8_t> Compress(const std::vector<uint8_t>& plain)
{
    uLongf size = compressBound(uLong(plain.size()));
    std::vector<uint8_t> out(size);
    compress2(out.data(), &size, plain.data(), uLong(plain.size()), 9);
    out.resize(size);
    return out;
}

void U16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

// A lossless bitmap tag body: 32-bit pixels given as ARGB (premultiplied for the alpha variant).
std::vector<uint8_t> Lossless(uint16_t id, int w, int h, const std::vector<uint32_t>& argb)
{
    std::vector<uint8_t> plain;
    for (uint32_t p : argb)
        for (int shift : { 24, 16, 8, 0 })
            plain.push_back(uint8_t(p >> shift));
    std::vector<uint8_t> body;
    U16(body, id);
    body.push_back(5);
    U16(body, uint16_t(w));
    U16(body, uint16_t(h));
    const auto z = Compress(plain);
    body.insert(body.end(), z.begin(), z.end());
    return body;
}

// A movie with one shape of the given fills covering (20,20)-(80,80) px over a grey stage.
MoviePlayer& Show(MoviePlayer& player, MovieBuilder& movie)
{
    EXPECT_TRUE(Load(player, movie.finish()));
    return player;
}

} // namespace

TEST(PluginDrawing, SolidFillsOfEveryShapeVersionOverTheBackground)
{
    MovieBuilder movie(kW, kH);
    movie.background(kGrey);
    movie.rectShape(1, 0, 0, 20 * T, 20 * T, kRed, 1);
    movie.rectShape(2, 0, 0, 20 * T, 20 * T, kGreen, 2);
    movie.rectShape(3, 0, 0, 20 * T, 20 * T, { 0, 0, 255, 128 }, 3); // half-transparent blue
    movie.place(1, 1, 10 * T, 10 * T);
    movie.place(2, 2, 40 * T, 10 * T);
    movie.place(3, 3, 70 * T, 10 * T);
    movie.showFrame();
    MoviePlayer player;
    const Canvas c = Render(Show(player, movie), kW, kH);
    EXPECT_TRUE(Near(c.at(20, 20), kRed));
    EXPECT_TRUE(Near(c.at(50, 20), kGreen));
    EXPECT_TRUE(Near(c.at(80, 20), { 0x20, 0x20, 0x9F }, 3));
    EXPECT_TRUE(Near(c.at(5, 5), kGrey));
    EXPECT_TRUE(Near(c.at(50, 80), kGrey));
    EXPECT_EQ(c.at(50, 80) >> 24, 0xFFu) << "the stage is opaque";
}

TEST(PluginDrawing, TheShownRectangleFitsUniformlyAndCentres)
{
    // A 100x50 stage in a 200x200 window: twice the size, 50 pixels of band above and below.
    MovieBuilder movie(100, 50);
    movie.background(kGrey);
    movie.rectShape(1, 0, 0, 50 * T, 50 * T, kRed);
    movie.place(1, 1, 0, 0);
    movie.showFrame();
    MoviePlayer player;
    Show(player, movie);
    Canvas c = Render(player, 200, 200);
    EXPECT_TRUE(Near(c.at(2, 52), kRed));
    EXPECT_TRUE(Near(c.at(97, 147), kRed));
    EXPECT_TRUE(Near(c.at(103, 100), kGrey));
    EXPECT_TRUE(Near(c.at(50, 45), kGrey)) << "the band shows the background";

    // The right half of the stage, zoomed: the red square leaves the picture, then comes back with Zoom(0).
    ASSERT_TRUE(player.setZoomRect(50 * T, 0, 100 * T, 50 * T));
    c = Render(player, 200, 200);
    EXPECT_TRUE(Near(c.at(20, 100), kGrey));
    EXPECT_FALSE(player.setZoomRect(10, 10, 10, 500)) << "an empty rectangle is refused";
    ASSERT_TRUE(player.zoom(0));
    c = Render(player, 200, 200);
    EXPECT_TRUE(Near(c.at(20, 100), kRed));
}

TEST(PluginDrawing, LineStylesStrokeTheEdges)
{
    MovieBuilder movie(kW, kH);
    movie.background(kWhite);
    std::vector<std::unique_ptr<CFillStyleItem>> none;
    movie.shape(1, 20 * T, 20 * T, 80 * T, 80 * T, std::move(none), 3, 6 * T, kBlue, false);
    movie.place(1, 1, 0, 0);
    movie.showFrame();
    MoviePlayer player;
    const Canvas c = Render(Show(player, movie), kW, kH);
    EXPECT_TRUE(Near(c.at(20, 50), kBlue));
    EXPECT_TRUE(Near(c.at(50, 79), kBlue));
    EXPECT_TRUE(Near(c.at(50, 50), kWhite)) << "an outline only";
}

TEST(PluginDrawing, GradientsFollowTheirMatrix)
{
    // The gradient square (32768 twips) scaled to the 60-pixel shape and centred on it.
    const float scale = 60.0f * T / 32768.0f;
    auto matrix = Translate(50 * T, 50 * T, scale, scale);
    MovieBuilder movie(kW, kH);
    movie.background(kWhite);
    std::vector<std::unique_ptr<CFillStyleItem>> linear;
    linear.push_back(GradientFill(kFillLinearGradient, { { 0, kRed }, { 255, kBlue } }, *matrix, kStyleRGBA));
    movie.shape(1, 20 * T, 20 * T, 80 * T, 80 * T, std::move(linear));
    std::vector<std::unique_ptr<CFillStyleItem>> radial;
    radial.push_back(GradientFill(kFillRadialGradient, { { 0, kGreen }, { 255, kBlack } }, *matrix, kStyleRGBA));
    movie.shape(2, 20 * T, 20 * T, 80 * T, 80 * T, std::move(radial));
    movie.place(1, 1, 0, 0);
    movie.showFrame();
    movie.remove(1);
    movie.place(1, 2, 0, 0);
    movie.showFrame();
    MoviePlayer player;
    Show(player, movie);
    Canvas c = Render(player, kW, kH);
    EXPECT_TRUE(Near(c.at(21, 50), kRed, 12));
    EXPECT_TRUE(Near(c.at(78, 50), kBlue, 12));
    EXPECT_TRUE(Near(c.at(50, 50), { 128, 0, 128 }, 12));
    EXPECT_TRUE(Near(c.at(50, 21), { 128, 0, 128 }, 12)) << "constant across the gradient's direction";
    ASSERT_TRUE(player.gotoFrame(1));
    c = Render(player, kW, kH);
    EXPECT_TRUE(Near(c.at(50, 50), kGreen, 12));
    EXPECT_TRUE(Near(c.at(21, 21), kBlack, 12)) << "beyond the radius the last colour stays";
}

// Gradients worked out pixel by pixel are kept between frames: a gradient drawn again where it was reuses its
// pixels, one moved, recoloured or clipped otherwise is worked out afresh. Every frame, in any order, must come out
// as a player that never drew before draws it.
TEST(PluginDrawing, KeptGradientsMatchFreshlyDrawnOnes)
{
    const float scale = 60.0f * T / 32768.0f;
    auto matrix = Translate(50 * T, 50 * T, scale, scale);
    MovieBuilder movie(kW, kH);
    movie.background(kWhite);
    std::vector<std::unique_ptr<CFillStyleItem>> radial;
    radial.push_back(GradientFill(kFillRadialGradient, { { 0, kGreen }, { 255, kBlack } }, *matrix, kStyleRGBA));
    movie.shape(1, 20 * T, 20 * T, 80 * T, 80 * T, std::move(radial));
    movie.place(1, 1, 0, 0);
    movie.showFrame();
    movie.move(1, 7 * T, 3 * T); // moved
    movie.showFrame();
    CCXFormItem tint(nullptr, kStyleRGBA);
    tint.m_HasAlpha = true;
    tint.m_MultTermsRead = true;
    tint.m_RedMultTerm = 128;
    tint.m_GreenMultTerm = 64;
    tint.m_BlueMultTerm = 256;
    tint.m_AlphaMultTerm = 256;
    movie.remove(1);
    movie.place(1, 1, 0, 0, &tint); // recoloured where it first was
    movie.place(2, 1, -30 * T, 0); // and a second copy partly off the stage
    movie.showFrame();
    const std::vector<uint8_t> bytes = movie.finish();
    auto fresh = [&](int frame) {
        MoviePlayer player;
        EXPECT_TRUE(Load(player, bytes));
        EXPECT_TRUE(player.gotoFrame(frame));
        return Render(player, kW, kH).pixels;
    };
    MoviePlayer kept;
    ASSERT_TRUE(Load(kept, bytes));
    for (int frame : { 0, 0, 1, 0, 2, 2, 1 }) {
        ASSERT_TRUE(kept.gotoFrame(frame));
        EXPECT_EQ(Render(kept, kW, kH).pixels, fresh(frame)) << "frame " << frame;
    }
}

// Modes of a gradient's count byte as swflib keeps them: spread mode above interpolation mode.
constexpr uint8_t kSpreadReflect = 1 << 2;
constexpr uint8_t kSpreadRepeat = 2 << 2;
constexpr uint8_t kLinearLight = 1;

TEST(PluginDrawing, GradientSpreadModesContinuePastTheSquare)
{
    // A red-to-blue gradient square only 20 pixels wide (x 40 to 60) across a 60-pixel shape: so small a matrix
    // once made the pattern vanish.
    const float scale = 20.0f * T / 32768.0f;
    const struct {
        uint8_t modes;
        Color farBefore, justPast, farPast; // x 21: 0.925 of a period before; x 61 and 78: 0.075 and 0.925 after
    } cases[]
        = { { 0, kRed, kBlue, kBlue }, { kSpreadReflect, kBlue, kBlue, kRed }, { kSpreadRepeat, kRed, kRed, kBlue } };
    MovieBuilder movie(kW, kH);
    movie.background(kWhite);
    for (uint16_t i = 0; i < 3; ++i) {
        const int top = 10 + 30 * i;
        auto matrix = Translate(50 * T, (top + 10) * T, scale, scale);
        std::vector<std::unique_ptr<CFillStyleItem>> fills;
        fills.push_back(
            GradientFill(kFillLinearGradient, { { 0, kRed }, { 255, kBlue } }, *matrix, kStyleRGBA, cases[i].modes));
        movie.shape(uint16_t(i + 1), 20 * T, top * T, 80 * T, (top + 20) * T, std::move(fills));
        movie.place(uint16_t(i + 1), uint16_t(i + 1), 0, 0);
    }
    movie.showFrame();
    MoviePlayer player;
    const Canvas c = Render(Show(player, movie), kW, kH);
    for (int i = 0; i < 3; ++i) {
        const int y = 20 + 30 * i;
        SCOPED_TRACE(i);
        EXPECT_TRUE(Near(c.at(21, y), cases[i].farBefore, 24));
        EXPECT_TRUE(Near(c.at(50, y), { 128, 0, 128 }, 8));
        EXPECT_TRUE(Near(c.at(61, y), cases[i].justPast, 24));
        EXPECT_TRUE(Near(c.at(78, y), cases[i].farPast, 24));
    }
}

TEST(PluginDrawing, GradientsMixInLinearLightAndWalkTheirRecordsInOrder)
{
    // Gradients across the whole 100-pixel width, in three bands.
    const float scale = 100.0f * T / 32768.0f;
    const std::vector<std::pair<uint8_t, Color>> greys { { 0, kBlack }, { 255, kWhite } };
    // A repeated ratio (128) ends the red-to-green piece; the blue record's piece runs back to 64, so from 128 on
    // the black-to-white piece shows, a third of the way along.
    const std::vector<std::pair<uint8_t, Color>> walked { { 0, kRed }, { 128, kGreen }, { 128, kBlue }, { 64, kBlack },
        { 255, kWhite } };
    const struct {
        const std::vector<std::pair<uint8_t, Color>>* stops;
        uint8_t modes;
    } bands[] = { { &greys, 0 }, { &greys, kLinearLight }, { &walked, 0 } };
    MovieBuilder movie(kW, kH);
    movie.background(kWhite);
    for (uint16_t i = 0; i < 3; ++i) {
        const int top = 35 * i;
        auto matrix = Translate(50 * T, (top + 15) * T, scale, scale);
        std::vector<std::unique_ptr<CFillStyleItem>> fills;
        fills.push_back(GradientFill(kFillLinearGradient, *bands[i].stops, *matrix, kStyleRGBA, bands[i].modes));
        movie.shape(uint16_t(i + 1), 0, top * T, 100 * T, (top + 30) * T, std::move(fills));
        movie.place(uint16_t(i + 1), uint16_t(i + 1), 0, 0);
    }
    movie.showFrame();
    MoviePlayer player;
    const Canvas c = Render(Show(player, movie), kW, kH);
    EXPECT_TRUE(Near(c.at(50, 15), { 128, 128, 128 }, 4)) << "even mixing of the stored values";
    EXPECT_TRUE(Near(c.at(50, 50), { 188, 188, 188 }, 4)) << "half the light of white";
    EXPECT_TRUE(Near(c.at(48, 85), kGreen, 16));
    EXPECT_TRUE(Near(c.at(52, 85), { 92, 92, 92 }, 8));
}

TEST(PluginDrawing, GradientRampsAreReadBetweenTheirEntries)
{
    // Black at ratio 0 and white from ratio 1: the ramp's first entry black, every other white. A pixel centre
    // that falls between the centres of the first two entries mixes them by distance.
    const std::vector<std::pair<uint8_t, Color>> steep { { 0, kBlack }, { 1, kWhite } };
    const std::vector<std::pair<uint8_t, Color>> greys { { 0, kBlack }, { 255, kWhite } };
    const float wide = 128.0f * T / 32768.0f; // the gradient square 128 pixels across
    const float narrow = 64.0f * T / 32768.0f;
    const struct {
        uint8_t type;
        const std::vector<std::pair<uint8_t, Color>>* stops;
        uint8_t modes;
        float scale;
        int centreX; // pixels; the bands' centres lie on pixel corners
        int x; // the pixel checked, in the band's middle row
        uint8_t grey; // what it shows
        const char* why;
    } cases[] = {
        { kFillLinearGradient, &steep, 0, wide, 64, 0, 128, "centre 0.5: half way from entry 0 to entry 1" },
        { kFillLinearGradient, &steep, 0, wide, 64, 2, 255, "past entry 1's centre" },
        { kFillRadialGradient, &steep, 0, 2 * wide, 100, 100, 233, "0.707 of 128 pixels: 0.91 of the way to entry 1" },
        { kFillLinearGradient, &greys, kSpreadRepeat, narrow, 32, 64, 2, "a repeat starts at entry 0, unmixed" },
        { kFillLinearGradient, &greys, kSpreadRepeat, narrow, 32, 63, 253, "and ends at entry 255" },
    };
    constexpr int kBand = 10;
    MovieBuilder movie(200, kBand * int(std::size(cases)));
    movie.background(kWhite);
    for (uint16_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const int top = kBand * i;
        auto matrix = Translate(c.centreX * T, (top + kBand / 2) * T, c.scale, c.scale);
        std::vector<std::unique_ptr<CFillStyleItem>> fills;
        fills.push_back(GradientFill(c.type, *c.stops, *matrix, kStyleRGBA, c.modes));
        movie.shape(uint16_t(i + 1), 0, top * T, 200 * T, (top + kBand) * T, std::move(fills));
        movie.place(uint16_t(i + 1), uint16_t(i + 1), 0, 0);
    }
    movie.showFrame();
    MoviePlayer player;
    Show(player, movie);
    for (Quality quality : { Quality::High, Quality::Low }) {
        player.setQuality(quality);
        const Canvas canvas = Render(player, 200, kBand * int(std::size(cases)));
        for (size_t i = 0; i < std::size(cases); ++i) {
            const auto& c = cases[i];
            // The radial case looks at the pixel up and left of its centre, the others at the middle row's.
            const int y = kBand * int(i) + kBand / 2 - (c.type == kFillRadialGradient ? 1 : 0);
            const int x = c.type == kFillRadialGradient ? c.x - 1 : c.x;
            EXPECT_TRUE(Near(canvas.at(x, y), { c.grey, c.grey, c.grey }, 3)) << c.why;
        }
    }
}

TEST(PluginDrawing, EdgesLandOnTwentiethsOfAPixel)
{
    // A shape placed at a scale that puts its left edge at 210.28 twips, 10.514 pixels: a fraction of a twip past
    // pixel 10's centre. Without anti-aliasing the edge is taken at 210 twips and pixel 10 is covered.
    MovieBuilder movie(kW, kH);
    movie.background(kWhite);
    movie.rectShape(1, 1000, 0, 3000, 80 * T, kBlack);
    CPlaceObject2Tag place;
    place.m_Depth = 1;
    place.SetID(1);
    auto matrix = Translate(0, 0, 13781 / 65536.0f, 1);
    place.SetMatrix(matrix.get());
    movie.tag(kTagPlaceObject2, place);
    movie.showFrame();
    MoviePlayer player;
    Show(player, movie);
    player.setQuality(Quality::Low);
    const Canvas c = Render(player, kW, kH);
    EXPECT_TRUE(Near(c.at(9, 40), kWhite, 0));
    EXPECT_TRUE(Near(c.at(10, 40), kBlack, 0));
}

TEST(PluginDrawing, BitmapFillsOfEveryBitmapKind)
{
    // Each bitmap fills the 60-pixel shape, one bitmap pixel to 30 screen pixels (a 2x2 bitmap).
    MovieBuilder movie(kW, kH);
    movie.background(kGrey);
    movie.raw(kTagDefineBitsLossless, Lossless(10, 2, 2, { 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF }));
    // The alpha variant: its right column transparent.
    movie.raw(kTagDefineBitsLossless2, Lossless(11, 2, 2, { 0xFFFF0000, 0x00000000, 0xFF0000FF, 0x00000000 }));
    const std::vector<uint8_t> jpeg = SolidJPEG(16, 16, { 200, 40, 40 });
    std::vector<uint8_t> jpeg2;
    U16(jpeg2, 12);
    jpeg2.insert(jpeg2.end(), jpeg.begin(), jpeg.end());
    movie.raw(kTagDefineBitsJPEG2, jpeg2);
    // DefineBits shares the movie's tables: here empty ones, the image carrying its own after the usual marker pair.
    movie.raw(kTagJPEGTables, { 0xFF, 0xD8, 0xFF, 0xD9 });
    std::vector<uint8_t> bits;
    U16(bits, 13);
    bits.insert(bits.end(), { 0xFF, 0xD9, 0xFF, 0xD8 });
    bits.insert(bits.end(), jpeg.begin(), jpeg.end());
    movie.raw(kTagDefineBits, bits);
    // DefineBitsJPEG3 with an alpha plane: opaque top half, transparent bottom half.
    std::vector<uint8_t> jpeg3;
    U16(jpeg3, 14);
    for (int shift : { 0, 8, 16, 24 })
        jpeg3.push_back(uint8_t(jpeg.size() >> shift));
    jpeg3.insert(jpeg3.end(), jpeg.begin(), jpeg.end());
    std::vector<uint8_t> alpha(16 * 16, 0);
    std::fill(alpha.begin(), alpha.begin() + 16 * 8, 255);
    const auto z = Compress(alpha);
    jpeg3.insert(jpeg3.end(), z.begin(), z.end());
    movie.raw(kTagDefineBitsJPEG3, jpeg3);
    // PNG data in DefineBitsJPEG2, and in DefineBitsJPEG3 whose alpha plane (all transparent) is ignored: the
    // PNG's own alpha leaves its right column transparent.
    const std::vector<uint8_t> png = SolidPNG(2, 2, { 0xFF00FF00, 0x00000000, 0xFF00FF00, 0x00000000 });
    std::vector<uint8_t> png2;
    U16(png2, 15);
    png2.insert(png2.end(), png.begin(), png.end());
    movie.raw(kTagDefineBitsJPEG2, png2);
    std::vector<uint8_t> png3;
    U16(png3, 16);
    for (int shift : { 0, 8, 16, 24 })
        png3.push_back(uint8_t(png.size() >> shift));
    png3.insert(png3.end(), png.begin(), png.end());
    const auto noAlpha = Compress(std::vector<uint8_t>(4, 0));
    png3.insert(png3.end(), noAlpha.begin(), noAlpha.end());
    movie.raw(kTagDefineBitsJPEG3, png3);
    // DefineBitsJPEG4: JPEG data with a deblocking strength and an alpha plane (bottom half transparent), and one
    // whose data ends before its stated length (drawn from what there is, no alpha).
    auto jpeg4 = [&](uint16_t id, size_t statedLength, const std::vector<uint8_t>& data, bool withAlpha) {
        std::vector<uint8_t> body;
        U16(body, id);
        for (int shift : { 0, 8, 16, 24 })
            body.push_back(uint8_t(statedLength >> shift));
        U16(body, 0x0100);
        body.insert(body.end(), data.begin(), data.end());
        if (withAlpha)
            body.insert(body.end(), z.begin(), z.end());
        movie.raw(kTagDefineBitsJPEG4, body);
    };
    jpeg4(17, jpeg.size(), jpeg, true);
    jpeg4(18, jpeg.size() + 100, jpeg, false);
    // GIF data in DefineBitsJPEG2: a 2x2 picture, green on the left, its right column the transparent index.
    // (Its codes restart the table before each pixel, so that every code is 3 bits wide.)
    std::vector<uint8_t> gif;
    U16(gif, 19);
    gif.insert(gif.end(), { 'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0, 0x00, 0xFF, 0x00, 0, 0, 0, 0x21,
        0xF9, 4, 0x01, 0, 0, 1, 0, 0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 2, 4, 0x04, 0x43, 0x30, 0x05, 0, 0x3B });
    movie.raw(kTagDefineBitsJPEG2, gif);

    struct Case {
        uint16_t bitmap;
        float scale; // twips per bitmap pixel
        int x, y;
        Color expected;
    };
    const Case cases[] = {
        { 10, 30 * T, 30, 30, kRed },
        { 10, 30 * T, 70, 30, kGreen },
        { 10, 30 * T, 30, 70, kBlue },
        { 11, 30 * T, 30, 30, kRed },
        { 11, 30 * T, 70, 30, kGrey },
        { 12, 60.0f * T / 16, 50, 50, { 200, 40, 40 } },
        { 13, 60.0f * T / 16, 50, 50, { 200, 40, 40 } },
        { 14, 60.0f * T / 16, 50, 30, { 200, 40, 40 } },
        { 14, 60.0f * T / 16, 50, 70, kGrey },
        { 15, 30 * T, 30, 30, kGreen },
        { 15, 30 * T, 70, 30, kGrey },
        { 15, 30 * T, 30, 70, kGreen },
        { 16, 30 * T, 30, 70, kGreen },
        { 16, 30 * T, 70, 70, kGrey },
        { 17, 60.0f * T / 16, 50, 30, { 200, 40, 40 } },
        { 17, 60.0f * T / 16, 50, 70, kGrey },
        { 18, 60.0f * T / 16, 50, 70, { 200, 40, 40 } },
        { 19, 30 * T, 30, 30, kGreen },
        { 19, 30 * T, 30, 70, kGreen },
        { 19, 30 * T, 70, 30, kGrey },
    };
    uint16_t id = 100; // shape IDs clear of the bitmaps' IDs
    for (const Case& k : cases) {
        auto matrix = Translate(20 * T, 20 * T, k.scale, k.scale);
        std::vector<std::unique_ptr<CFillStyleItem>> fills;
        fills.push_back(BitmapFill(kFillClippedBitmap, k.bitmap, *matrix, kStyleRGBA));
        movie.shape(id, 20 * T, 20 * T, 80 * T, 80 * T, std::move(fills));
        movie.place(1, id, 0, 0);
        movie.showFrame();
        movie.remove(1);
        ++id;
    }
    MoviePlayer player;
    Show(player, movie);
    for (size_t i = 0; i < std::size(cases); ++i) {
        ASSERT_TRUE(player.gotoFrame(int(i)));
        const Canvas c = Render(player, kW, kH);
        EXPECT_TRUE(Near(c.at(cases[i].x, cases[i].y), cases[i].expected, 10))
            << "case " << i << ", bitmap " << cases[i].bitmap;
    }
}

TEST(PluginDrawing, TiledBitmapsRepeatAndQualityChoosesAntialiasing)
{
    MovieBuilder movie(kW, kH);
    movie.background(kWhite);
    movie.raw(kTagDefineBitsLossless, Lossless(10, 2, 1, { 0xFFFF0000, 0xFF0000FF }));
    auto matrix = Translate(0, 0, 10 * T, 10 * T);
    std::vector<std::unique_ptr<CFillStyleItem>> fills;
    fills.push_back(BitmapFill(kFillTiledBitmap, 10, *matrix, kStyleRGBA));
    movie.shape(1, 0, 0, 100 * T, 100 * T, std::move(fills));
    movie.place(1, 1, 0, 0);
    // A square whose edges fall half-way across pixels.
    movie.rectShape(2, 0, 0, 20 * T + 10, 20 * T + 10, kBlack);
    movie.place(2, 2, 60 * T, 60 * T);
    movie.showFrame();
    MoviePlayer player;
    Show(player, movie);
    Canvas c = Render(player, kW, kH);
    // HIGH smooths: pixel centres next to a bitmap pixel's edge take a little of the neighbour.
    EXPECT_TRUE(Near(c.at(5, 5), kRed, 16));
    EXPECT_TRUE(Near(c.at(15, 5), kBlue, 16));
    EXPECT_TRUE(Near(c.at(25, 45), kRed, 16)) << "the two-pixel bitmap repeats every 20 pixels";
    const uint32_t edgeHigh = c.at(80, 70);
    player.setQuality(Quality::Low);
    c = Render(player, kW, kH);
    const uint32_t edgeLow = c.at(80, 70);
    EXPECT_TRUE(Near(c.at(5, 5), kRed, 0)) << "LOW does not smooth bitmaps";
    EXPECT_TRUE(Near(edgeLow, kBlack) || Near(edgeLow, kRed) || Near(edgeLow, kBlue)) << "LOW: no blending";
    EXPECT_FALSE(Near(edgeHigh, kBlack, 20)) << "HIGH: the half-covered pixel blends, " << Hex(edgeHigh);
}

TEST(PluginDrawing, MorphShapesDrawAtTheirRatio)
{
    MovieBuilder movie(kW, kH);
    movie.background(kWhite);
    CDefineMorphShapeTag morph;
    morph.m_ID = 1;
    morph.m_pEndBounds->m_XMax = morph.m_pStartBounds->m_XMax = 100 * T;
    morph.m_pEndBounds->m_YMax = morph.m_pStartBounds->m_YMax = 100 * T;
    auto fill = std::make_unique<CMorphFillStyleItem>();
    fill->SetFillStyle(kFillSolid);
    auto* colors = dynamic_cast<CMorphColorItem*>(fill->GetFillObject());
    ASSERT_NE(colors, nullptr);
    colors->m_pStartColor->SetRGBA({ 255, 0, 0, 255 });
    colors->m_pEndColor->SetRGBA({ 0, 0, 255, 255 });
    morph.m_pFillStyles->AppendItem(std::move(fill));
    AddRect(*morph.m_pStartEdges, 0, 0, 20 * T, 20 * T, 1);
    AddRect(*morph.m_pEndEdges, 60 * T, 60 * T, 100 * T, 100 * T, 1);
    movie.tag(kTagDefineMorphShape, morph);
    movie.placeRatio(1, 1, 0);
    movie.showFrame();
    movie.placeRatio(1, 0, 65535);
    movie.showFrame();
    movie.placeRatio(1, 0, 32768);
    movie.showFrame();
    MoviePlayer player;
    Show(player, movie);
    Canvas c = Render(player, kW, kH);
    EXPECT_TRUE(Near(c.at(10, 10), kRed));
    EXPECT_TRUE(Near(c.at(80, 80), kWhite));
    player.gotoFrame(1);
    c = Render(player, kW, kH);
    EXPECT_TRUE(Near(c.at(10, 10), kWhite));
    EXPECT_TRUE(Near(c.at(80, 80), kBlue));
    player.gotoFrame(2);
    c = Render(player, kW, kH);
    EXPECT_TRUE(Near(c.at(45, 45), { 128, 0, 127 }, 3)) << "half-way: between (30,30) and (60,60), mixed colour";
    EXPECT_TRUE(Near(c.at(20, 20), kWhite));
}

TEST(PluginDrawing, StaticTextDrawsTheFontsGlyphs)
{
    MovieBuilder movie(kW, kH);
    movie.background(kWhite);
    // A font of one glyph: a square 512 units wide standing on the baseline.
    CDefineFontTag font;
    font.m_ID = 5;
    auto glyph = std::make_unique<CShapeItem>(nullptr, kStyleRGBA);
    AddRect(*glyph, 0, -512, 512, 0, 1);
    font.m_pGlyphs->AppendItem(std::move(glyph));
    font.m_pGlyphs->SetCount(1);
    movie.tag(kTagDefineFont, font);
    // DefineText: two of the glyph, 40 pixels high (half the em square: 20 pixels), advancing 30 pixels.
    CSWFStream text;
    text.WriteU16(6);
    CRectItem bounds(nullptr, kStyleDefault);
    bounds.m_XMax = 100 * T;
    bounds.m_YMax = 100 * T;
    bounds.WriteSWF(&text);
    CMatrixItem identity;
    identity.WriteSWF(&text);
    text.FlushBits();
    const uint8_t glyphBits = 1;
    const uint8_t advanceBits = 11;
    text.WriteU8(glyphBits);
    text.WriteU8(advanceBits);
    text.WriteU8(0x8F); // style record: font, colour, y and x offsets
    text.WriteU16(5);
    text.WriteU8(0x00);
    text.WriteU8(0x80);
    text.WriteU8(0x00);
    text.WriteS16(10 * T);
    text.WriteS16(50 * T);
    text.WriteU16(40 * T);
    text.WriteU8(2);
    for (int i = 0; i < 2; ++i) {
        text.WriteBits(0, glyphBits);
        text.WriteBits(30 * T, advanceBits);
    }
    text.FlushBits();
    text.WriteU8(0);
    movie.stream().AppendTag(kTagDefineText, false, &text);
    movie.place(1, 6, 0, 0);
    movie.showFrame();
    MoviePlayer player;
    const Canvas c = Render(Show(player, movie), kW, kH);
    EXPECT_TRUE(Near(c.at(20, 40), { 0, 128, 0 }));
    EXPECT_TRUE(Near(c.at(50, 40), { 0, 128, 0 }));
    EXPECT_TRUE(Near(c.at(35, 40), kWhite)) << "between the glyphs";
    EXPECT_TRUE(Near(c.at(20, 55), kWhite)) << "below the baseline";
}

TEST(PluginDrawing, ColourTransformsAndClipMasks)
{
    MovieBuilder movie(kW, kH);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 100 * T, 100 * T, kRed);
    movie.rectShape(2, 0, 0, 50 * T, 100 * T, kBlack);
    // Red through a transform that keeps half of red and adds blue.
    CCXFormItem cx(nullptr, kStyleRGBA);
    cx.m_HasAlpha = true;
    cx.m_MultTermsRead = true;
    cx.m_RedMultTerm = 128;
    cx.m_GreenMultTerm = 256;
    cx.m_BlueMultTerm = 256;
    cx.m_AlphaMultTerm = 256;
    cx.m_AddTermsRead = true;
    cx.m_BlueAddTerm = 255;
    movie.place(1, 2, 0, 0, nullptr, 3); // the mask: left half, clipping depths 2 and 3
    movie.place(2, 1, 0, 0, &cx);
    movie.place(4, 1, 0, 80 * T); // above the clip depth: unclipped
    movie.showFrame();
    MoviePlayer player;
    const Canvas c = Render(Show(player, movie), kW, kH);
    EXPECT_TRUE(Near(c.at(25, 50), { 128, 0, 255 }, 3));
    EXPECT_TRUE(Near(c.at(75, 50), kWhite)) << "outside the mask, and the mask itself is not drawn";
    EXPECT_TRUE(Near(c.at(75, 90), kRed));
}

TEST(PluginDrawing, AClipUsedAsAMaskCountsItsOwnMasksAsShape)
{
    // Clip 4 holds a mask over the left quarter that would clip a shape on the right quarter, which it misses.
    // Used as a mask, the clip covers both quarters: its own mask cuts nothing there.
    MovieBuilder movie(kW, kH);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 25 * T, 100 * T, kBlack);
    movie.rectShape(2, 75 * T, 0, 100 * T, 100 * T, kBlack);
    movie.rectShape(3, 0, 0, 100 * T, 100 * T, kRed);
    SpriteBuilder mask;
    mask.place(1, 1, 0, 0, 2);
    mask.place(2, 2, 0, 0);
    mask.showFrame();
    mask.define(movie, 4);
    movie.place(1, 4, 0, 0, nullptr, 2);
    movie.place(2, 3, 0, 0);
    movie.showFrame();
    MoviePlayer player;
    const Canvas c = Render(Show(player, movie), kW, kH);
    EXPECT_TRUE(Near(c.at(12, 50), kRed));
    EXPECT_TRUE(Near(c.at(87, 50), kRed));
    EXPECT_TRUE(Near(c.at(50, 50), kWhite));
}

TEST(PluginDrawing, MasksKeptBetweenFramesFollowWhatChanges)
{
    // A mask clip of two bars at its sides and a square between them that stays for two frames and then moves
    // (the clip's bounds stay the same), over a red square moving each frame; on the last frame the clip itself
    // moves.
    MovieBuilder movie(kW, kH);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 10 * T, 100 * T, kBlack);
    movie.rectShape(4, 0, 0, 20 * T, 20 * T, kBlack);
    movie.rectShape(2, 0, 0, 60 * T, 60 * T, kRed);
    SpriteBuilder mask;
    mask.place(1, 1, 0, 0);
    mask.place(2, 1, 90 * T, 0);
    mask.place(3, 4, 30 * T, 40 * T);
    mask.showFrame();
    mask.showFrame();
    mask.move(3, 60 * T, 40 * T);
    mask.showFrame();
    mask.define(movie, 3);
    movie.place(1, 3, 0, 0, nullptr, 2);
    movie.place(2, 2, 0, 0);
    movie.showFrame();
    for (const auto& [x, y] : { std::pair { 10, 20 }, { 30, 30 }, { 35, 5 } }) {
        movie.move(2, x * T, y * T);
        movie.showFrame();
    }
    movie.move(1, 7 * T, 3 * T);
    movie.showFrame();
    ExpectDrawnAgainAsAnew(movie.finish(), 5, kW, kH);
}

TEST(PluginDrawing, ButtonsShowTheirStateAndRunTheirActions)
{
    MovieBuilder movie(kW, kH);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 40 * T, 40 * T, kRed);
    movie.rectShape(2, 0, 0, 40 * T, 40 * T, kGreen);
    movie.rectShape(3, 0, 0, 40 * T, 40 * T, kBlue);
    // DefineButton: up red, over green, down blue, hit the square; pressing goes to frame 2.
    CSWFStream button;
    button.WriteU16(10);
    const uint8_t up = 0x01, over = 0x02, down = 0x04, hit = 0x08;
    const std::pair<uint8_t, uint16_t> records[] = { { up, 1 }, { over, 2 }, { down, 3 }, { hit, 1 } };
    for (const auto& [states, character] : records) {
        button.WriteU8(states);
        button.WriteU16(character);
        button.WriteU16(1);
        CMatrixItem identity;
        identity.WriteSWF(&button);
        button.FlushBits();
    }
    button.WriteU8(0);
    const uint8_t gotoFrame[] = { 0x81, 2, 0, 1, 0, 0 };
    button.WriteBuf(gotoFrame, sizeof gotoFrame);
    movie.stream().AppendTag(kTagDefineButton, false, &button);
    movie.place(1, 10, 30 * T, 30 * T);
    movie.actions({ 0x07 }); // stop
    movie.showFrame();
    movie.showFrame();
    MoviePlayer player;
    Show(player, movie);
    EXPECT_TRUE(Near(Render(player, kW, kH).at(50, 50), kRed));
    EXPECT_TRUE(player.mouseEvent(50, 50, false, kW, kH));
    EXPECT_TRUE(Near(Render(player, kW, kH).at(50, 50), kGreen));
    EXPECT_TRUE(player.mouseEvent(50, 50, true, kW, kH));
    EXPECT_TRUE(Near(Render(player, kW, kH).at(50, 50), kBlue));
    EXPECT_EQ(player.currentFrame(), 0);
    EXPECT_TRUE(player.mouseEvent(50, 50, false, kW, kH));
    EXPECT_EQ(player.currentFrame(), 1) << "released over the button: its action ran";
    EXPECT_TRUE(player.mouseEvent(5, 5, false, kW, kH));
    EXPECT_TRUE(Near(Render(player, kW, kH).at(50, 50), kRed));
    EXPECT_FALSE(player.mouseEvent(6, 6, false, kW, kH)) << "no state change, nothing to redraw";
}

namespace {

// A DefineScalingGrid body: the character and its grid rectangle (twips), signed 16-bit fields.
std::vector<uint8_t> ScalingGrid(uint16_t id, int x0, int x1, int y0, int y1)
{
    BitWriter w;
    w.u16(id);
    w.bit = 0;
    w.put(16, 5);
    for (int v : { x0, x1, y0, y1 })
        w.put(uint32_t(v) & 0xFFFFu, 16);
    return w.out;
}

void PlaceScaled(MovieBuilder& movie, uint16_t depth, uint16_t id, int x, int y, float sx, float sy)
{
    CPlaceObject2Tag tag;
    tag.m_Depth = depth;
    tag.SetID(id);
    auto matrix = Translate(x, y, sx, sy);
    tag.SetMatrix(matrix.get());
    movie.tag(kTagPlaceObject2, tag);
}

} // namespace

TEST(PluginDrawing, ScalingGridsKeepTheMarginsOfAClipsOwnShapes)
{
    // A 20 px red square with a blue middle (5 to 15 px), in clip 3 with its grid on the middle; clip 4 holds
    // the same clip 3 and has no grid of its own.
    MovieBuilder movie(200, 100);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 20 * T, 20 * T, kRed);
    movie.rectShape(2, 5 * T, 5 * T, 15 * T, 15 * T, kBlue);
    SpriteBuilder framed;
    framed.place(1, 1, 0, 0);
    framed.place(2, 2, 0, 0);
    framed.showFrame();
    framed.define(movie, 3);
    movie.raw(78, ScalingGrid(3, 5 * T, 15 * T, 5 * T, 15 * T));
    SpriteBuilder outer;
    outer.place(1, 3, 0, 0);
    outer.showFrame();
    outer.define(movie, 4);
    PlaceScaled(movie, 1, 3, 10 * T, 10 * T, 4, 3); // 80 x 60 px at (10, 10)
    PlaceScaled(movie, 2, 3, 120 * T, 10 * T, 0.25f, 0.25f); // 5 x 5 px: the margins fill it
    PlaceScaled(movie, 3, 4, 100 * T, 40 * T, 4, 3); // the grid of a clip inside another scaled clip
    movie.showFrame();
    MoviePlayer player;
    const Canvas c = Render(Show(player, movie), 200, 100);
    // Margins of 5 px on every side, the middle stretched over the rest.
    EXPECT_TRUE(Near(c.at(12, 40), kRed));
    EXPECT_TRUE(Near(c.at(87, 40), kRed));
    EXPECT_TRUE(Near(c.at(50, 12), kRed));
    EXPECT_TRUE(Near(c.at(50, 67), kRed));
    EXPECT_TRUE(Near(c.at(20, 40), kBlue)) << "plainly scaled, the margin would be 20 px wide here";
    EXPECT_TRUE(Near(c.at(80, 20), kBlue));
    EXPECT_TRUE(Near(c.at(50, 40), kBlue));
    EXPECT_TRUE(Near(c.at(92, 40), kWhite));
    // Shrunk below its margins, the margins shrink and the middle is gone.
    EXPECT_TRUE(Near(c.at(122, 12), kRed));
    // Inside clip 4, clip 3 is placed unscaled: its grid keeps its margins on the stage all the same.
    EXPECT_TRUE(Near(c.at(102, 60), kRed));
    EXPECT_TRUE(Near(c.at(110, 60), kBlue));
}

TEST(PluginDrawing, HitTestsFollowTheShapesAScalingGridWarps)
{
    // Two 5 px strips at either side of a 20 px clip, in its margins: stretched four times wide, they stay 5 px
    // wide on the stage and the middle between them is empty.
    MovieBuilder movie(100, 40);
    movie.background(kWhite);
    movie.rectShape(1, 0, 0, 5 * T, 20 * T, kRed);
    movie.rectShape(2, 15 * T, 0, 20 * T, 20 * T, kRed);
    SpriteBuilder strips;
    strips.place(1, 1, 0, 0);
    strips.place(2, 2, 0, 0);
    strips.showFrame();
    strips.define(movie, 3);
    movie.raw(78, ScalingGrid(3, 5 * T, 15 * T, 0, 20 * T));
    PlaceScaled(movie, 1, 3, 10 * T, 10 * T, 4, 1); // 80 x 20 px at (10, 10)
    movie.showFrame();
    MoviePlayer player;
    Show(player, movie);
    const auto* clip = player.root().displayList.begin()->second.sprite.get();
    ASSERT_NE(clip, nullptr);
    const auto hit = [&](int x) { return player.spriteHit(*clip, x * T, 20 * T, true); };
    EXPECT_TRUE(hit(12));
    EXPECT_FALSE(hit(20)) << "the left strip, plainly scaled, would reach to 30 px";
    EXPECT_FALSE(hit(75)) << "the right strip, plainly scaled, would start at 70 px";
    EXPECT_TRUE(hit(87));
}

TEST(PluginDrawing, LinearLightHoldsColoursAsBytes)
{
    // Between two dark greys, linear light keeps under two levels of the 255 a byte holds, rounded down to one:
    // the middle comes back darker than either end.
    const float scale = 100.0f * T / 32768.0f;
    const std::vector<std::pair<uint8_t, Color>> dark { { 0, { 20, 20, 20 } }, { 255, { 18, 18, 18 } } };
    MovieBuilder movie(kW, kH);
    movie.background(kWhite);
    auto matrix = Translate(50 * T, 50 * T, scale, scale);
    std::vector<std::unique_ptr<CFillStyleItem>> fills;
    fills.push_back(GradientFill(kFillLinearGradient, dark, *matrix, kStyleRGBA, kLinearLight));
    movie.shape(1, 0, 0, 100 * T, 100 * T, std::move(fills));
    movie.place(1, 1, 0, 0);
    movie.showFrame();
    MoviePlayer player;
    const Canvas c = Render(Show(player, movie), kW, kH);
    EXPECT_TRUE(Near(c.at(50, 50), { 13, 13, 13 }, 1));
}

TEST(PluginDrawing, ColourTransformsWorkOnTheColoursReadFromAGradient)
{
    // Half of a gradient's full green is 127.5 levels: a ramp holding the transformed colour as bytes would cut
    // it down to 127 before the transform's result is rounded.
    const float scale = 100.0f * T / 32768.0f;
    MovieBuilder movie(kW, kH);
    movie.background(kWhite);
    auto matrix = Translate(50 * T, 50 * T, scale, scale);
    std::vector<std::unique_ptr<CFillStyleItem>> fills;
    fills.push_back(GradientFill(kFillLinearGradient, { { 0, kGreen }, { 255, kGreen } }, *matrix, kStyleRGBA));
    movie.shape(1, 0, 0, 100 * T, 100 * T, std::move(fills));
    CCXFormItem cx(nullptr, kStyleRGBA);
    cx.m_HasAlpha = true;
    cx.m_MultTermsRead = true;
    cx.m_RedMultTerm = 256;
    cx.m_GreenMultTerm = 128;
    cx.m_BlueMultTerm = 256;
    cx.m_AlphaMultTerm = 256;
    movie.place(1, 1, 0, 0, &cx);
    movie.showFrame();
    MoviePlayer player;
    const Canvas c = Render(Show(player, movie), kW, kH);
    EXPECT_TRUE(Near(c.at(50, 50), { 0, 128, 0 }, 0));
}
