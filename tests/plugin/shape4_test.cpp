// DefineShape4 and DefineMorphShape2: fills and the non-zero winding rule, focal radial gradients, line styles that
// paint the stroke with a fill and choose their caps, and such line styles morphing.
#include "PluginTestSupport.h"
#include "render/Shapes.h"

#include "TagsModern.h"

#include <cmath>
#include <tuple>

using namespace plugintest;
using reelfinch::plugin::MoviePlayer;

namespace {

constexpr int T = kTwips;

// The bit writer with the records of a DefineShape4 body.
struct Bits : BitWriter {
    void rgba(Color c) { u8(c.r), u8(c.g), u8(c.b), u8(c.a); }
    void rect(int x0, int x1, int y0, int y1)
    {
        bit = 0;
        put(16, 5);
        for (int v : { x0, x1, y0, y1 })
            put(uint32_t(v) & 0xFFFF, 16);
    }
    void matrix(double scale, int x, int y)
    {
        bit = 0;
        put(1, 1);
        put(24, 5);
        put(uint32_t(std::lround(scale * 65536)) & 0xFFFFFF, 24);
        put(uint32_t(std::lround(scale * 65536)) & 0xFFFFFF, 24);
        put(0, 1);
        put(16, 5);
        put(uint32_t(x) & 0xFFFF, 16);
        put(uint32_t(y) & 0xFFFF, 16);
    }
    // A style change record: move to (x, y) pixels and set the styles given (negative: unchanged).
    void change(int x, int y, int fill1, int line)
    {
        put(0, 1);
        put((line >= 0 ? 0x08 : 0) | (fill1 >= 0 ? 0x04 : 0) | 0x01, 5);
        put(16, 5);
        put(uint32_t(x * T) & 0xFFFF, 16);
        put(uint32_t(y * T) & 0xFFFF, 16);
        if (fill1 >= 0)
            put(uint32_t(fill1), 2);
        if (line >= 0)
            put(uint32_t(line), 1);
    }
    void lineTo(int dx, int dy)
    {
        put(0b11, 2);
        put(14, 4);
        put(1, 1);
        put(uint32_t(dx * T) & 0xFFFF, 16);
        put(uint32_t(dy * T) & 0xFFFF, 16);
    }
    void square(int x, int y, int side, int fill1)
    {
        change(x, y, fill1, -1);
        lineTo(side, 0);
        lineTo(0, side);
        lineTo(-side, 0);
        lineTo(0, -side);
    }
};

// Two overlapping red squares drawn the same way round, a focal radial gradient from white to black whose focal
// point lies three quarters of the way to the right edge, and a horizontal stroke painted by a blue fill with
// no caps.
std::vector<uint8_t> ShapeBody()
{
    Bits b;
    b.u16(1);
    b.rect(0, 100 * T, 0, 100 * T);
    b.rect(0, 100 * T, 0, 100 * T);
    b.u8(0x04); // the non-zero winding rule
    b.u8(2);
    b.u8(0x00);
    b.rgba(kRed);
    b.u8(0x13);
    b.matrix(40.0 * T / 32768, 70 * T, 30 * T);
    b.u8(2);
    b.u8(0);
    b.rgba(kWhite);
    b.u8(255);
    b.rgba(kBlack);
    b.u16(192); // focal point 0.75
    b.u8(1);
    b.u16(4 * T);
    b.put(1, 2); // no start cap
    b.put(0, 2); // round joins
    b.put(1, 1); // the stroke has a fill
    b.put(0, 3 + 5 + 1);
    b.put(1, 2); // no end cap
    b.u8(0x00);
    b.rgba(kBlue);
    b.bit = 0;
    b.put(2, 4);
    b.put(1, 4);
    b.square(10, 10, 20, 1);
    b.square(20, 20, 20, 1);
    b.square(50, 10, 40, 2);
    b.change(10, 70, 0, 1);
    b.lineTo(80, 0);
    b.put(0, 6); // end
    return b.out;
}

} // namespace

TEST(PluginShape4, FillsWindingFocalGradientsAndFilledStrokes)
{
    MovieBuilder movie(100, 100);
    movie.background(kGrey);
    movie.raw(kTagDefineShape4, ShapeBody());
    movie.place(1, 1, 0, 0);
    movie.showFrame();
    MoviePlayer player;
    ASSERT_TRUE(Load(player, movie.finish()));
    const Canvas c = Render(player, 100, 100);
    EXPECT_TRUE(Near(c.at(15, 15), kRed));
    EXPECT_TRUE(Near(c.at(25, 25), kRed)) << "the overlap winds twice and is filled";
    EXPECT_TRUE(Near(c.at(45, 45), kGrey));
    EXPECT_GT(c.at(84, 30) & 0xFF, 0xD0u) << "white at the focal point, " << Hex(c.at(84, 30));
    EXPECT_LT(c.at(56, 30) & 0xFF, 0x30u) << "dark across the centre from it, " << Hex(c.at(56, 30));
    EXPECT_TRUE(Near(c.at(50, 70), kBlue));
    EXPECT_TRUE(Near(c.at(8, 70), kGrey)) << "no cap past the stroke's end";
}

TEST(PluginShape4, MorphShape2LineStylesMorph)
{
    // A square outline whose stroke, a MORPHLINESTYLE2 painted by a morph fill, grows from 2 to 10 pixels wide
    // and turns from red to blue, with mitred corners.
    MovieBuilder movie(100, 100);
    movie.background(kWhite);
    CDefineMorphShape2Tag morph;
    morph.m_ID = 1;
    for (CRectItem* r : { morph.m_pStartBounds.get(), morph.m_pEndBounds.get(), morph.m_pStartEdgeBounds.get(),
             morph.m_pEndEdgeBounds.get() }) {
        r->m_XMax = 100 * T;
        r->m_YMax = 100 * T;
    }
    auto line = std::make_unique<CMorphLineStyle2Item>();
    line->m_StartWidth = 2 * T;
    line->m_EndWidth = 10 * T;
    line->m_JoinStyle = CLineStyle2Item::kJoinMiter;
    line->m_MiterLimitFactor = 3 * 256;
    line->SetHasFill(true);
    line->m_pFillStyle->SetFillStyle(kFillSolid);
    auto* colors = dynamic_cast<CMorphColorItem*>(line->m_pFillStyle->GetFillObject());
    ASSERT_NE(colors, nullptr);
    colors->m_pStartColor->SetRGBA({ 255, 0, 0, 255 });
    colors->m_pEndColor->SetRGBA({ 0, 0, 255, 255 });
    morph.m_pLineStyles->AppendItem(std::move(line));
    AddRect(*morph.m_pStartEdges, 20 * T, 20 * T, 80 * T, 80 * T, 0, 1);
    AddRect(*morph.m_pEndEdges, 20 * T, 20 * T, 80 * T, 80 * T, 0, 1);
    movie.tag(kTagDefineMorphShape2, morph);
    movie.placeRatio(1, 1, 0);
    movie.showFrame();
    movie.placeRatio(1, 0, 65535);
    movie.showFrame();
    MoviePlayer player;
    ASSERT_TRUE(Load(player, movie.finish()));
    Canvas c = Render(player, 100, 100);
    EXPECT_TRUE(Near(c.at(50, 20), kRed));
    EXPECT_TRUE(Near(c.at(50, 23), kWhite)) << "two pixels wide at the start";
    player.gotoFrame(1);
    c = Render(player, 100, 100);
    EXPECT_TRUE(Near(c.at(50, 23), kBlue)) << "ten pixels wide at the end";
    EXPECT_TRUE(Near(c.at(50, 27), kWhite));
    EXPECT_TRUE(Near(c.at(84, 84), kBlue)) << "a mitred corner";
}

TEST(PluginShape4, NonScalingStrokesKeepTheirWidthAgainstTheirOwnPlacement)
{
    // A 10 px square outlined by a one-pixel line that scales in neither direction. Placed eight times larger it
    // keeps one pixel; inside a clip placed eight times larger, the clip's transform scales it as usual.
    MovieBuilder movie(200, 100);
    movie.background(kWhite);
    CDefineShape4Tag shape;
    const unsigned char style = shape.GetStyle();
    shape.m_ID = 1;
    CRectItem bounds(nullptr, style);
    bounds.m_XMin = bounds.m_YMin = -T;
    bounds.m_XMax = bounds.m_YMax = 11 * T;
    shape.SetBounds(&bounds);
    shape.m_UsesNonScalingStrokes = true;
    CShapeWithStyleItem shapes(nullptr, style);
    CFillStyleArrayItem fills(nullptr, style);
    CLineStyleArrayItem lines(nullptr, style);
    auto line = std::make_unique<CLineStyle2Item>(nullptr, style);
    line->m_Width = T;
    line->m_NoHScale = true;
    line->m_NoVScale = true;
    line->m_pColor = std::make_unique<CColorItem>(nullptr, style);
    line->m_pColor->SetRGBA({ 0, 0, 0, 255 });
    lines.AppendItem(std::move(line));
    shapes.SetFillStyles(&fills);
    shapes.SetLineStyles(&lines);
    CShapeItem outline(nullptr, style);
    AddRect(outline, 0, 0, 10 * T, 10 * T, 0, 1);
    shapes.SetShape(&outline);
    shape.SetShapes(&shapes);
    movie.tag(kTagDefineShape4, shape);
    SpriteBuilder holder;
    holder.place(1, 1, 0, 0);
    holder.showFrame();
    holder.define(movie, 2);
    for (const auto& [depth, id, x] : { std::tuple { 1, 1, 5 }, std::tuple { 2, 2, 110 } }) {
        CPlaceObject2Tag place;
        place.m_Depth = uint16_t(depth);
        place.SetID(uint16_t(id));
        auto matrix = Translate(x * T, 5 * T, 8, 8);
        place.SetMatrix(matrix.get());
        movie.tag(kTagPlaceObject2, place);
    }
    movie.showFrame();
    MoviePlayer player;
    ASSERT_TRUE(Load(player, movie.finish()));
    const Canvas c = Render(player, 200, 100);
    EXPECT_TRUE(Near(c.at(8, 45), kWhite)) << "a scaled line would be 8 px wide here";
    EXPECT_LT(std::min(c.at(4, 45) & 0xFF, c.at(5, 45) & 0xFF), 0xA0u) << "the thin line is drawn";
    EXPECT_TRUE(Near(c.at(112, 45), kBlack)) << "the holding clip's scale widens it";
}
