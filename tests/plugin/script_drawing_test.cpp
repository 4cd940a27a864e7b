// What scripts draw and make: the drawing methods of clips (outlines, fills closing themselves, strokes, bounds,
// hits, pixels), BitmapData pixels with the player's premultiplied rounding, matrices and transforms, and
// references to removed clips finding the clip that takes their place.
#include "avm1/Machine.h"
#include "render/Drawing.h"
#include "render/BitmapPixels.h"
#include "PluginTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace plugintest;
using reelfinch::avm1::Value;
using reelfinch::plugin::Drawing;

namespace {

constexpr int kSide = 100;

// A stopped one-frame movie whose scripts the test drives through the machine.
struct Stage {
    reelfinch::plugin::MoviePlayer player;
    reelfinch::avm1::Machine* m = nullptr;

    explicit Stage(Color background = kWhite)
    {
        MovieBuilder movie(kSide, kSide);
        movie.background(background);
        movie.showFrame();
        EXPECT_TRUE(Load(player, movie.finish()));
        m = player.scriptMachine();
    }
    Value root() { return Value(m->rootClip()); }
    Value num(double n) { return Value(n); }
    Value str(const std::string& s) { return Value(m->str(s)); }
    Value call(const Value& object, const char* method, std::vector<Value> args = {})
    {
        return m->callMethod(object, method, args.data(), int(args.size()));
    }
    Value make(const char* path, std::vector<Value> args = {})
    {
        Value f = m->getMember(Value(m->m_Global), "flash");
        for (const char* part : { "geom", "display" })
            if (std::string(path).rfind(part, 0) == 0)
                f = m->getMember(f, part);
        return m->construct(m->getMember(f, std::string(path).substr(std::string(path).find('.') + 1)), args.data(),
            int(args.size()));
    }
    Value clip(const char* name, double depth) { return call(root(), "createEmptyMovieClip", { str(name), num(depth) }); }
    // getBounds of a clip in its own space: xMin, yMin, xMax, yMax in pixels.
    std::vector<double> bounds(const Value& clip)
    {
        const Value b = call(clip, "getBounds", { clip });
        std::vector<double> out;
        for (const char* k : { "xMin", "yMin", "xMax", "yMax" })
            out.push_back(m->toNumber(m->getMember(b, k)));
        return out;
    }
    std::string text(const Value& v) { return m->toString(v); }
};

// A square outline from (x0, y0) to (x1, y1) pixels, in twips.
void Square(Drawing& d, double x0, double y0, double x1, double y1)
{
    d.moveTo(x0 * 20, y0 * 20);
    d.lineTo(x1 * 20, y0 * 20);
    d.lineTo(x1 * 20, y1 * 20);
    d.lineTo(x0 * 20, y1 * 20);
}

} // namespace

TEST(ScriptDrawing, OutlinesCloseStrokesWidenAndCurvesReachTheirTurn)
{
    const cairo_matrix_t identity { 1, 0, 0, 1, 0, 0 };
    reelfinch::plugin::FillDef red;
    red.kind = reelfinch::plugin::FillDef::Solid;
    reelfinch::plugin::LineDef thick;
    thick.width = 10 * 20;

    // An open fill closes back to its start: the point inside the triangle it makes is covered.
    Drawing fill;
    fill.beginFill(&red);
    fill.lineTo(100 * 20, 0);
    fill.lineTo(100 * 20, 100 * 20);
    EXPECT_TRUE(fill.hit(80 * 20, 40 * 20));
    EXPECT_FALSE(fill.hit(20 * 20, 60 * 20)) << "beyond the closing edge";
    fill.endFill();
    // Two outlines of one fill: the second square is filled too, the space between them is not.
    Drawing two;
    two.beginFill(&red);
    Square(two, 0, 0, 10, 10);
    Square(two, 20, 0, 30, 10);
    two.endFill();
    EXPECT_TRUE(two.hit(5 * 20, 5 * 20));
    EXPECT_TRUE(two.hit(25 * 20, 5 * 20));
    EXPECT_FALSE(two.hit(15 * 20, 5 * 20));

    // Strokes reach half their width past the line; a curve's extent is where it turns, not its control point.
    struct Case {
        const char* name;
        bool stroked;
        bool curve;
        double box[4];
    };
    const Case cases[] = {
        { "hairless line", false, false, { 0, 0, 100, 0 } },
        { "thick line", true, false, { -5, -5, 105, 5 } },
        { "curve", false, true, { 0, 0, 100, 50 } },
    };
    for (const Case& c : cases) {
        Drawing d;
        d.setLine(c.stroked ? &thick : nullptr);
        if (!c.stroked) {
            reelfinch::plugin::LineDef hair;
            d.setLine(&hair);
        }
        if (c.curve)
            d.curveTo(50 * 20, 100 * 20, 100 * 20, 0);
        else
            d.lineTo(100 * 20, 0);
        double box[4] = { 1e9, 1e9, -1e9, -1e9 };
        ASSERT_TRUE(d.bounds(identity, box)) << c.name;
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(box[i] / 20, c.box[i], 1e-9) << c.name << " " << i;
    }

    // Every change gives a new serial; clear leaves nothing and draws no lines until a style is set again.
    Drawing d;
    d.setLine(&thick);
    const uint64_t before = d.serial();
    d.lineTo(20, 20);
    EXPECT_NE(d.serial(), before);
    d.clear();
    EXPECT_TRUE(d.empty());
    d.lineTo(400, 400);
    EXPECT_TRUE(d.empty()) << "no line style after clear";
}

TEST(ScriptDrawing, DrawnShapesAreBoundedHitDrawnAndDuplicated)
{
    Stage s(kWhite);
    Value a = s.clip("a", 1);
    s.call(a, "lineStyle", { s.num(4), s.num(0x0000FF) });
    s.call(a, "beginFill", { s.num(0xFF0000) });
    for (auto [x, y] : { std::pair { 60, 20 }, { 60, 60 }, { 20, 60 }, { 20, 20 } })
        s.call(a, "lineTo", { s.num(x), s.num(y) });
    s.call(a, "endFill");
    EXPECT_EQ(s.bounds(a), (std::vector<double> { -2, -2, 62, 62 })) << "the stroke's half width around the outline";

    // Hit by shape on the fill, and not beside it.
    EXPECT_EQ(s.text(s.call(a, "hitTest", { s.num(40), s.num(40), Value(true) })), "true");
    EXPECT_EQ(s.text(s.call(a, "hitTest", { s.num(80), s.num(80), Value(true) })), "false");

    // The renderer draws the fill under the stroke, inside an empty clip made by a script.
    Canvas c = Render(s.player, kSide, kSide);
    EXPECT_TRUE(Near(c.at(40, 40), kRed));
    EXPECT_TRUE(Near(c.at(60, 40), kBlue));
    EXPECT_TRUE(Near(c.at(80, 80), kWhite));

    // A duplicate starts with the drawing; clearing the original leaves the copy's.
    Value copy = s.call(a, "duplicateMovieClip", { s.str("b"), s.num(2) });
    s.call(a, "clear");
    EXPECT_EQ(s.bounds(copy), (std::vector<double> { -2, -2, 62, 62 }));
    EXPECT_EQ(s.bounds(a)[0], 6710886.35) << "an empty clip's bounds";
    c = Render(s.player, kSide, kSide);
    EXPECT_TRUE(Near(c.at(40, 40), kRed)) << "the copy still draws";
}

TEST(ScriptDrawing, BitmapPixelsKeepThePlayersRounding)
{
    using reelfinch::plugin::BitmapPixels;
    // Written unmultiplied, kept premultiplied, read back unmultiplied.
    struct Case {
        uint32_t written, read;
    };
    for (const Case c : { Case { 0x80AABBCC, 0x80A9BBCB }, Case { 0x45112233, 0x45122134 }, Case { 0xFF123456, 0xFF123456 },
             Case { 0x00FFFFFF, 0x00000000 } }) {
        BitmapPixels p(1, 1, true, 0);
        p.set(0, 0, c.written);
        EXPECT_EQ(p.get(0, 0), c.read) << std::hex << c.written;
    }
    BitmapPixels opaque(2, 2, false, 0x12345678);
    EXPECT_EQ(opaque.get(1, 1), 0xFF345678u) << "no alpha in an opaque bitmap";
    EXPECT_EQ(opaque.get(2, 0), 0u) << "outside";

    Stage s;
    // copyPixels with merging lays the source over the destination.
    Value target = s.make("display.BitmapData", { s.num(5), s.num(5), Value(true), s.num(0x45112233) });
    Value source = s.make("display.BitmapData", { s.num(5), s.num(5), Value(true), s.num(0x22445566) });
    s.call(target, "copyPixels",
        { source, s.make("geom.Rectangle", { s.num(0), s.num(0), s.num(2), s.num(2) }),
            s.make("geom.Point", { s.num(0), s.num(0) }), Value::null(), Value::null(), Value(true) });
    EXPECT_EQ(uint32_t(int32_t(s.m->toNumber(s.call(target, "getPixel32", { s.num(1), s.num(1) })))), 0x5D243147u);
    EXPECT_EQ(uint32_t(int32_t(s.m->toNumber(s.call(target, "getPixel32", { s.num(3), s.num(3) })))), 0x45122134u);
    // An alpha bitmap scales the copied alpha where it reaches (a transparent one only) and nothing is copied
    // where it does not; an opaque destination has the copy laid over it, merged or not.
    auto pixel = [&](const Value& bitmap, int x, int y) {
        return uint32_t(int32_t(s.m->toNumber(s.call(bitmap, "getPixel32", { s.num(x), s.num(y) }))));
    };
    const Value solidSource = s.make("display.BitmapData", { s.num(4), s.num(1), Value(false), s.num(0xFF204060) });
    for (const bool transparentAlpha : { true, false }) {
        Value to = s.make("display.BitmapData", { s.num(4), s.num(1), Value(true), s.num(0xFF000000) });
        Value alpha = s.make("display.BitmapData", { s.num(2), s.num(1), Value(transparentAlpha), s.num(0x80FFFFFF) });
        s.call(to, "copyPixels",
            { solidSource, s.make("geom.Rectangle", { s.num(0), s.num(0), s.num(4), s.num(1) }),
                s.make("geom.Point", { s.num(0), s.num(0) }), alpha, s.make("geom.Point", { s.num(0), s.num(0) }),
                Value(false) });
        EXPECT_EQ(pixel(to, 1, 0), transparentAlpha ? 0x80204060u : 0xFF204060u);
        EXPECT_EQ(pixel(to, 3, 0), transparentAlpha ? 0xFF000000u : 0xFF204060u) << "beyond the alpha bitmap";
    }
    Value white = s.make("display.BitmapData", { s.num(1), s.num(1), Value(false), s.num(0xFFFFFF) });
    s.call(white, "copyPixels",
        { source, s.make("geom.Rectangle", { s.num(0), s.num(0), s.num(1), s.num(1) }),
            s.make("geom.Point", { s.num(0), s.num(0) }) });
    EXPECT_EQ(pixel(white, 0, 0), 0xFFE6E8EBu);

    // colorTransform works on unmultiplied channels within the rectangle cut to the bitmap: multipliers in
    // 255ths over 256, offsets after them, results cut to 0 to 255; an opaque bitmap keeps its alpha.
    Value tinted = s.make("display.BitmapData", { s.num(4), s.num(1), Value(true), s.num(0xFF808080) });
    s.call(tinted, "colorTransform",
        { s.make("geom.Rectangle", { s.num(-5), s.num(0), s.num(7), s.num(9) }),
            s.make("geom.ColorTransform",
                { s.num(0.5), s.num(2.5), s.num(1), s.num(0.5), s.num(10), s.num(0), s.num(-200), s.num(0) }) });
    EXPECT_EQ(uint32_t(int32_t(s.m->toNumber(s.call(tinted, "getPixel32", { s.num(1), s.num(0) })))), 0x7E49FF00u);
    EXPECT_EQ(uint32_t(int32_t(s.m->toNumber(s.call(tinted, "getPixel32", { s.num(2), s.num(0) })))), 0xFF808080u)
        << "outside the rectangle";
    Value solid = s.make("display.BitmapData", { s.num(1), s.num(1), Value(false), s.num(0x102030) });
    s.call(solid, "colorTransform",
        { s.make("geom.Rectangle", { s.num(0), s.num(0), s.num(1), s.num(1) }),
            s.make("geom.ColorTransform",
                { s.num(1), s.num(1), s.num(1), s.num(0), s.num(0), s.num(0), s.num(0), s.num(-255) }) });
    EXPECT_EQ(uint32_t(int32_t(s.m->toNumber(s.call(solid, "getPixel32", { s.num(0), s.num(0) })))), 0xFF0F1F2Fu);
    // A transform that only multiplies alpha by more than 1 changes nothing, not even by the multipliers' loss.
    Value faint = s.make("display.BitmapData", { s.num(1), s.num(1), Value(true), s.num(0x40808080) });
    s.call(faint, "colorTransform",
        { s.make("geom.Rectangle", { s.num(0), s.num(0), s.num(1), s.num(1) }),
            s.make("geom.ColorTransform",
                { s.num(1), s.num(1), s.num(1), s.num(2), s.num(0), s.num(0), s.num(0), s.num(0) }) });
    EXPECT_EQ(uint32_t(int32_t(s.m->toNumber(s.call(faint, "getPixel32", { s.num(0), s.num(0) })))),
        uint32_t(int32_t(s.m->toNumber(s.call(
            s.make("display.BitmapData", { s.num(1), s.num(1), Value(true), s.num(0x40808080) }), "getPixel32",
            { s.num(0), s.num(0) })))));

    // Sizes the player refuses make nothing; a disposed bitmap reads -1.
    EXPECT_TRUE(s.make("display.BitmapData", { s.num(2881), s.num(1) }).isUndefined());
    EXPECT_TRUE(s.make("display.BitmapData", { s.num(0), s.num(5) }).isUndefined());
    s.call(target, "dispose");
    EXPECT_EQ(s.text(s.m->getMember(target, "width")), "-1");

    // A bitmap attached to a clip is drawn, and changes show at the next draw.
    Value shown = s.make("display.BitmapData", { s.num(10), s.num(10), Value(false), s.num(0x00FF00) });
    s.call(s.clip("holder", 3), "attachBitmap", { shown, s.num(1) });
    EXPECT_TRUE(Near(Render(s.player, kSide, kSide).at(5, 5), kGreen));
    s.call(shown, "fillRect", { s.make("geom.Rectangle", { s.num(0), s.num(0), s.num(10), s.num(10) }), s.num(0x0000FF) });
    EXPECT_TRUE(Near(Render(s.player, kSide, kSide).at(5, 5), kBlue));
}

TEST(ScriptDrawing, MatricesAndTransformsFollowTheClip)
{
    Stage s;
    Value mat = s.make("geom.Matrix");
    s.call(mat, "translate", { s.num(10), s.num(5) });
    s.call(mat, "scale", { s.num(2), s.num(3) });
    EXPECT_EQ(s.text(mat), "(a=2, b=0, c=0, d=3, tx=20, ty=15)");
    Value inverse = s.call(mat, "clone");
    s.call(inverse, "invert");
    s.call(inverse, "concat", { mat });
    EXPECT_EQ(s.text(inverse), "(a=1, b=0, c=0, d=1, tx=0, ty=0)");

    Value a = s.clip("a", 1);
    s.m->setMember(a, "_x", s.num(30));
    Value t = s.m->getMember(a, "transform");
    EXPECT_EQ(s.text(s.m->getMember(t, "matrix")), "(a=1, b=0, c=0, d=1, tx=30, ty=0)");
    s.m->setMember(t, "matrix", mat);
    EXPECT_EQ(s.text(s.m->getMember(a, "_x")), "20");
    s.m->setMember(t, "matrix", Value(s.m->newObject()));
    EXPECT_EQ(s.text(s.m->getMember(a, "_x")), "20") << "only a Matrix is taken";
}

TEST(ScriptDrawing, ReferencesToRemovedClipsFindTheClipTakingTheirPath)
{
    Stage s;
    // A reference to a removed clip stands for the next clip with its path.
    Value old = s.clip("a", 1);
    s.call(old, "removeMovieClip");
    s.player.step(true);
    EXPECT_EQ(s.text(old), "") << "no clip has the path";
    Value fresh = s.clip("a", 2);
    s.m->setMember(fresh, "_x", s.num(42));
    EXPECT_EQ(s.text(s.m->getMember(old, "_x")), "42");
    EXPECT_EQ(s.text(old), "_level0.a");
}

TEST(ScriptDrawing, BoundsHoldShapesTightlyAndArePlacedAsRectangles)
{
    // a > b (turned -45 degrees) > c (turned 45 degrees) holding a 10 pixel square: in a's space the square is
    // upright again. a's own bounds follow the square itself; b's bounds placed in a's space are b's own
    // rectangle (the turned square's box) turned back, so they are wider.
    Stage s;
    Value a = s.clip("a", 1);
    Value b = s.call(a, "createEmptyMovieClip", { s.str("b"), s.num(1) });
    Value c = s.call(b, "createEmptyMovieClip", { s.str("c"), s.num(1) });
    s.call(c, "beginFill", { s.num(0) });
    for (auto [x, y] : { std::pair { 10, 0 }, { 10, 10 }, { 0, 10 }, { 0, 0 } })
        s.call(c, "lineTo", { s.num(x), s.num(y) });
    s.m->setMember(c, "_rotation", s.num(45));
    s.m->setMember(b, "_rotation", s.num(-45));
    const std::vector<double> own = s.bounds(a);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(own[i], (std::vector<double> { 0, 0, 10, 10 })[i], 1e-6) << i;
    const Value placed = s.call(b, "getBounds", { a });
    const double width = s.m->toNumber(s.m->getMember(placed, "xMax")) - s.m->toNumber(s.m->getMember(placed, "xMin"));
    EXPECT_NEAR(width, 20, 1e-6);
}

TEST(ScriptDrawing, GotosTakeNumbersLabelsAndTheStringFormOfOtherValues)
{
    // Five frames; frame 4 is labelled "undefined".
    MovieBuilder movie(kSide, kSide);
    for (int frame = 1; frame <= 5; ++frame) {
        if (frame == 4)
            movie.raw(43, { 'u', 'n', 'd', 'e', 'f', 'i', 'n', 'e', 'd', 0 });
        movie.showFrame();
    }
    reelfinch::plugin::MoviePlayer player;
    ASSERT_TRUE(Load(player, movie.finish()));
    reelfinch::avm1::Machine& m = *player.scriptMachine();
    struct Case {
        const char* name;
        Value frame;
        int bias;
        int shown; // frame from 1 after the goto, from frame 1
    };
    const Case cases[] = {
        { "a number", Value(3.0), 0, 3 },
        { "a fraction goes nowhere", Value(2.5), 0, 1 },
        { "a whole number in a string", Value(m.str("2")), 0, 2 },
        { "a string that is no number nor label", Value(m.str("2x")), 0, 1 },
        { "undefined names its label", Value(), 0, 4 },
        { "labels match in any case", Value(m.str("UNDEFINED")), 0, 4 },
        { "a scene's bias moves a label", Value(m.str("undefined")), 1, 5 },
        { "NaN goes nowhere", Value(std::nan("")), 0, 1 },
        { "before the first frame", Value(-1.0), 0, 1 },
        { "past the last frame stops at it", Value(99.0), 0, 5 },
    };
    for (const Case& c : cases) {
        m.gotoFrame(player.root(), 0, false);
        m.gotoValue(player.root(), c.frame, false, c.bias);
        EXPECT_EQ(player.currentFrame() + 1, c.shown) << c.name;
    }
}

TEST(ScriptDrawing, ShapesAreHitOnTheirStrokesAndOnlyReachableObjectsAreNamed)
{
    // An outlined square without a fill inside a sprite, and an unnamed sprite after an unnamed shape.
    MovieBuilder movie(kSide, kSide);
    movie.shape(1, 0, 0, 40 * 20, 40 * 20, {}, 3, 4 * 20, { 0, 0, 0 }, false);
    SpriteBuilder sprite;
    sprite.place(1, 1, 0, 0);
    sprite.showFrame();
    sprite.define(movie, 2);
    movie.place(1, 1, 50 * 20, 50 * 20);
    movie.place(2, 2, 10 * 20, 10 * 20);
    movie.showFrame();
    reelfinch::plugin::MoviePlayer player;
    ASSERT_TRUE(Load(player, movie.finish()));
    reelfinch::avm1::Machine& m = *player.scriptMachine();
    const Value clip = m.getMember(Value(m.rootClip()), "instance1");
    ASSERT_TRUE(m.spriteOf(clip)) << "the sprite is the first object named";
    auto hit = [&](double x, double y) {
        const Value args[3] = { Value(x), Value(y), Value(true) };
        return m.toBoolean(m.callMethod(clip, "hitTest", args, 3));
    };
    EXPECT_TRUE(hit(10, 30)) << "on the left edge";
    EXPECT_TRUE(hit(11.5, 30)) << "within half the line's width";
    EXPECT_FALSE(hit(30, 30)) << "inside, where nothing is filled";
    EXPECT_FALSE(hit(5, 30)) << "outside";
}

TEST(ScriptDrawing, GradientFillsRefuseArgumentsThatDescribeNoGradient)
{
    Stage s;
    auto array = [&](std::vector<double> values) {
        Value a = Value(s.m->newArray());
        for (double v : values)
            s.call(a, "push", { s.num(v) });
        return a;
    };
    Value box = Value(s.m->newObject());
    s.m->setMember(box, "matrixType", s.str("box"));
    for (const char* k : { "x", "y" })
        s.m->setMember(box, k, s.num(0));
    for (const char* k : { "w", "h" })
        s.m->setMember(box, k, s.num(40));
    s.m->setMember(box, "r", s.num(0));
    const Value colors = array({ 0xFF0000, 0x0000FF });
    const Value alphas = array({ 100, 100 });
    struct Case {
        const char* name;
        std::vector<Value> args;
        bool filled;
    };
    const Case cases[] = {
        { "linear", { s.str("linear"), colors, alphas, array({ 0, 255 }), box }, true },
        { "radial, spread, interpolation, focal",
            { s.str("radial"), colors, alphas, array({ 0, 255 }), box, s.str("reflect"), s.str("linearRGB"), s.num(0.5) },
            true },
        { "a ratio just above -1", { s.str("linear"), colors, alphas, array({ -0.99, 255 }), box }, true },
        { "no matrix", { s.str("linear"), colors, alphas, array({ 0, 255 }) }, false },
        { "too many arguments",
            { s.str("linear"), colors, alphas, array({ 0, 255 }), box, s.str("pad"), s.str("RGB"), s.num(0), s.num(1) },
            false },
        { "the type's case", { s.str("LINEAR"), colors, alphas, array({ 0, 255 }), box }, false },
        { "lists of different lengths", { s.str("linear"), colors, alphas, array({ 255 }), box }, false },
        { "a ratio of -1", { s.str("linear"), colors, alphas, array({ -1, 255 }), box }, false },
        { "a ratio of 256", { s.str("linear"), colors, alphas, array({ 0, 256 }), box }, false },
    };
    double depth = 1;
    for (const Case& c : cases) {
        Value clip = s.clip(("g" + std::to_string(int(depth))).c_str(), depth);
        ++depth;
        s.call(clip, "beginGradientFill", c.args);
        for (auto [x, y] : { std::pair { 40, 0 }, { 40, 40 }, { 0, 40 }, { 0, 0 } })
            s.call(clip, "lineTo", { s.num(x), s.num(y) });
        s.call(clip, "endFill");
        EXPECT_EQ(s.m->toBoolean(s.call(clip, "hitTest", { s.num(20), s.num(20), Value(true) })), c.filled) << c.name;
    }
}

TEST(ScriptDrawing, BitmapEditsStayInsideAndCopiesAreApart)
{
    Stage s;
    auto pixel = [&](const Value& b, int x, int y) {
        return uint32_t(int32_t(s.m->toNumber(s.call(b, "getPixel32", { s.num(x), s.num(y) }))));
    };
    Value b = s.make("display.BitmapData", { s.num(4), s.num(4), Value(true), s.num(0x80102030) });
    // setPixel keeps the pixel's alpha; setPixel32 sets it.
    s.call(b, "setPixel", { s.num(0), s.num(0), s.num(0xFFFFFF) });
    EXPECT_EQ(pixel(b, 0, 0), 0x80FFFFFFu);
    // A rectangle reaching outside is cut to the bitmap.
    s.call(b, "fillRect", { s.make("geom.Rectangle", { s.num(2), s.num(2), s.num(10), s.num(10) }), s.num(0xFF00FF00) });
    EXPECT_EQ(pixel(b, 3, 3), 0xFF00FF00u);
    EXPECT_EQ(pixel(b, 1, 1), 0x80102030u);
    // The flood stops at other colours.
    s.call(b, "floodFill", { s.num(1), s.num(0), s.num(0xFF0000FF) });
    EXPECT_EQ(pixel(b, 0, 3), 0xFF0000FFu);
    EXPECT_EQ(pixel(b, 0, 0), 0x80FFFFFFu) << "a different colour: not flooded";
    EXPECT_EQ(pixel(b, 3, 3), 0xFF00FF00u);
    // A clone has its own pixels.
    Value copy = s.call(b, "clone");
    s.call(b, "setPixel32", { s.num(3), s.num(3), s.num(0) });
    EXPECT_EQ(pixel(copy, 3, 3), 0xFF00FF00u);
    EXPECT_EQ(pixel(b, 3, 3), 0u);
    EXPECT_EQ(s.text(s.m->getMember(s.m->getMember(copy, "rectangle"), "width")), "4");
    // A rectangle reaching far outside the source copies the source's pixels only, each where its corner says.
    Value to = s.make("display.BitmapData", { s.num(4), s.num(4), Value(true), s.num(0) });
    s.call(to, "copyPixels", { copy, s.make("geom.Rectangle", { s.num(-1), s.num(-1), s.num(1e9), s.num(1e9) }),
                                 s.make("geom.Point", { s.num(0), s.num(0) }) });
    EXPECT_EQ(pixel(to, 0, 0), 0u);
    EXPECT_EQ(pixel(to, 1, 1), 0x80FFFFFFu) << "the source's (0, 0)";
}

TEST(ScriptDrawing, BitmapNoiseDissolveThresholdAndHitTestFollowThePlayersRules)
{
    using reelfinch::plugin::DissolveIndex;
    using reelfinch::plugin::PlayerRandom;
    // The generator: 16807 times the state modulo 2^31 - 1; seeds of 0 or less start from 1 - seed.
    PlayerRandom one(1), zero(0), minusOne(-1), two(2);
    EXPECT_EQ(one.next(), 16807u);
    EXPECT_EQ(one.next(), 282475249u);
    EXPECT_EQ(zero.next(), 16807u);
    EXPECT_EQ(minusOne.next(), two.next());
    // A dissolve order visits every pixel of the region once per round of `area` positions.
    for (int64_t area : { 4, 63, 64, 65, 100, 300 }) {
        std::vector<int> seen(size_t(area), 0);
        for (int64_t p = 0; p < area; ++p)
            ++seen[size_t(DissolveIndex(p + 7, area))];
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), area) << area;
    }

    Stage s;
    auto pixel = [&](const Value& b, int x, int y) {
        return uint32_t(int32_t(s.m->toNumber(s.call(b, "getPixel32", { s.num(x), s.num(y) }))));
    };
    auto point = [&](double x, double y) { return s.make("geom.Point", { s.num(x), s.num(y) }); };
    // Noise: one value per channel asked for, row after row; grey gives one value to red, green and blue.
    Value n = s.make("display.BitmapData", { s.num(2), s.num(2), Value(false) });
    s.call(n, "noise", { s.num(1) });
    EXPECT_EQ(pixel(n, 0, 0), 0xFFA7F1D9u);
    EXPECT_EQ(pixel(n, 1, 0), 0xFF2A82C8u);
    s.call(n, "noise", { s.num(1), s.num(0), s.num(255), s.num(1), Value(true) });
    EXPECT_EQ(pixel(n, 1, 0), 0xFFF1F1F1u);
    s.call(n, "noise", { s.num(1), s.num(10), s.num(2) });
    EXPECT_EQ(pixel(n, 1, 1), 0xFF0A0A0Au) << "an empty range gives the low value";

    // Dissolving a bitmap into itself: numPixels + 1 pixels a step, the returned seed continuing the order.
    Value d = s.make("display.BitmapData", { s.num(5), s.num(4), Value(false), s.num(0xFFCCCCCC) });
    Value seed = s.num(0);
    for (int round = 1; round <= 8; ++round) {
        seed = s.call(d, "pixelDissolve",
            { d, s.m->getMember(d, "rectangle"), point(0, 0), seed, s.num(3), s.num(0xFFFF0000) });
        int red = 0;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                red += pixel(d, x, y) == 0xFFFF0000u;
        EXPECT_EQ(red, std::min(20, 1 + 3 * round)) << round;
    }
    EXPECT_EQ(s.m->toNumber(s.call(d, "pixelDissolve", { Value(), Value(), Value() })), -1);
    EXPECT_EQ(s.m->toNumber(s.call(d, "pixelDissolve", { d, Value::null(), point(0, 0) })), -4);

    // Threshold: masked source against the masked threshold; "!=" compares with the threshold as given.
    struct Case {
        const char* op;
        double threshold, mask, count;
    };
    const Case cases[] = {
        { "==", 0xFFF00000, 0xFF000000, 4 },
        { "!=", 0xFFF00000, 0xFF000000, 4 },
        { "!=", 0xFF000000, 0xFF000000, 0 },
        { "<", 0xFF000000, 0xF0000000, 0 },
        { "<=", 0xFF000000, 0xF0000000, 4 },
        { ">", 0x10000000, 0xF0000000, 4 },
        { "equals", 0xFF000000, 0xFF000000, 0 },
    };
    Value white = s.make("display.BitmapData", { s.num(2), s.num(2), Value(true), s.num(0xFFFFFFFF) });
    for (const Case& c : cases) {
        Value a = s.make("display.BitmapData", { s.num(2), s.num(2), Value(true), s.num(0) });
        const Value count = s.call(a, "threshold", { white, s.m->getMember(white, "rectangle"), point(0, 0),
                                                       s.str(c.op), s.num(c.threshold), s.num(0xFFFF0000), s.num(c.mask) });
        EXPECT_EQ(s.m->toNumber(count), c.count) << c.op;
        EXPECT_EQ(pixel(a, 1, 1), c.count ? 0xFFFF0000u : 0u) << c.op;
    }

    // hitTest: a point, a rectangle or another bitmap, each pixel hit when its alpha reaches the threshold.
    Value h = s.make("display.BitmapData", { s.num(3), s.num(3), Value(true), s.num(0) });
    s.call(h, "setPixel32", { s.num(1), s.num(1), s.num(0xA0FFFFFF) });
    auto hit = [&](std::vector<Value> args) { return s.text(s.call(h, "hitTest", args)); };
    EXPECT_EQ(hit({ point(0, 0), s.num(0xA0), point(1, 1) }), "true");
    EXPECT_EQ(hit({ point(0, 0), s.num(0xFF), point(1, 1) }), "false");
    EXPECT_EQ(hit({ point(0, 0), s.num(0), point(0, 0) }), "false") << "a transparent pixel is never hit";
    EXPECT_EQ(hit({ point(-1, -1), s.num(1), s.make("geom.Rectangle", { s.num(0), s.num(0), s.num(1), s.num(1) }) }),
        "true");
    EXPECT_EQ(hit({ point(0, 0), s.num(1), h, point(1, 1), s.num(1) }), "false");
    EXPECT_EQ(hit({ point(0, 0), s.num(1), h, point(0, 0), s.num(1) }), "true");
    EXPECT_EQ(hit({ Value::null(), s.num(0), h }), "-2");
    EXPECT_EQ(hit({ point(0, 0), s.num(0), Value(s.m->newObject()) }), "-3");
    EXPECT_EQ(hit({ point(0, 0), s.num(0), h, Value::null() }), "-4");
}

TEST(ScriptDrawing, SetMaskShowsAClipOnlyWhereItsMaskHasShapeAndHidesTheMask)
{
    Stage s(kWhite);
    auto fill = [&](const Value& clip, double color, double x0, double y0, double x1, double y1) {
        s.call(clip, "beginFill", { s.num(color) });
        s.call(clip, "moveTo", { s.num(x0), s.num(y0) });
        for (auto [x, y] : { std::pair { x1, y0 }, { x1, y1 }, { x0, y1 }, { x0, y0 } })
            s.call(clip, "lineTo", { s.num(x), s.num(y) });
        s.call(clip, "endFill");
    };
    Value content = s.clip("content", 1);
    fill(content, 0xFF0000, 0, 0, 100, 100);
    // The mask sits in a clip of its own, moved: it masks where it is on the stage, not in the content's space.
    Value holder = s.clip("holder", 2);
    Value mask = s.call(holder, "createEmptyMovieClip", { s.str("mask"), s.num(1) });
    fill(mask, 0x0000FF, 0, 0, 20, 20);
    s.m->setMember(holder, "_x", s.num(40));
    s.m->setMember(holder, "_y", s.num(10));
    // A scroll rectangle inside a mask moves it (to 35, 5) but cuts nothing off.
    s.m->setMember(mask, "scrollRect", s.make("geom.Rectangle", { s.num(5), s.num(5), s.num(5), s.num(5) }));
    EXPECT_EQ(s.text(s.call(content, "setMask", { mask })), "true");

    const struct {
        const char* step;
        int x, y;
        Color expected;
    } masked[] = {
        { "inside the mask", 50, 20, kRed },
        { "inside, where the scroll rectangle would cut", 37, 7, kRed },
        { "where the mask was before its scroll rectangle moved it", 57, 27, kWhite },
        { "left of the mask", 30, 20, kWhite },
        { "below the mask", 50, 40, kWhite },
    };
    Canvas c = Render(s.player, kSide, kSide);
    for (const auto& p : masked)
        EXPECT_TRUE(Near(c.at(p.x, p.y), p.expected)) << p.step;

    // A second clip naming the same mask takes it over: the first shows whole again.
    Value other = s.clip("other", 3);
    fill(other, 0x00FF00, 0, 60, 100, 100);
    s.call(other, "setMask", { mask });
    c = Render(s.player, kSide, kSide);
    EXPECT_TRUE(Near(c.at(30, 20), kRed)) << "content no longer masked";
    EXPECT_TRUE(Near(c.at(50, 20), kRed)) << "the mask itself is still not drawn";
    EXPECT_TRUE(Near(c.at(50, 80), kRed)) << "the other clip is hidden outside the mask";

    // setMask(null) lets the clip show whole and the mask draw as itself.
    s.call(other, "setMask", { Value() });
    c = Render(s.player, kSide, kSide);
    EXPECT_TRUE(Near(c.at(50, 80), kGreen));
    EXPECT_TRUE(Near(c.at(42, 12), kBlue)) << "the former mask draws, cut by its scroll rectangle's offset";
}
