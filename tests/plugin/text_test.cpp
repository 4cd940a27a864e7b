// Text fields drawn without scripting (initial text, embedded or device fonts, layout, wrapping, border) and
// DefineFont3 fonts.
#include "avm1/Machine.h"
#include "render/EditText.h"
#include "render/Fonts.h"
#include "FontCacheRelease.h"
#include "PluginTestSupport.h"

#include <cairo.h>
#include <cmath>
#include <fontconfig/fontconfig.h>

using namespace plugintest;
using reelfinch::plugin::MoviePlayer;

namespace {

constexpr int T = kTwips;
constexpr uint16_t kFontId = 1;
constexpr uint16_t kFieldId = 2;
// The test font: a square glyph for 'A' half an em wide standing on the baseline, and an empty one for ' '.
constexpr int kEm = 20480;
constexpr int kSquare = kEm / 2;
constexpr int kAdvanceA = 12288;
constexpr int kAdvanceSpace = 6144;
constexpr int kAscent = 16000;
constexpr int kDescent = 4480;

struct Bits : BitWriter {
    void lineTo(int dx, int dy)
    {
        put(0b11, 2);
        put(14, 4);
        put(1, 1);
        put(uint32_t(dx) & 0xFFFF, 16);
        put(uint32_t(dy) & 0xFFFF, 16);
    }
};

std::vector<uint8_t> SquareGlyph()
{
    Bits g;
    g.put(1, 4); // fill index bits
    g.put(0, 4); // line index bits
    g.put(0, 1);
    g.put(0x04 | 0x01, 5); // fill style 1, move to
    g.put(16, 5);
    g.put(0, 16);
    g.put(uint32_t(-kSquare) & 0xFFFF, 16);
    g.put(1, 1);
    g.lineTo(kSquare, 0);
    g.lineTo(0, kSquare);
    g.lineTo(-kSquare, 0);
    g.lineTo(0, -kSquare);
    g.put(0, 6); // end
    return g.out;
}

std::vector<uint8_t> Font3Body()
{
    const std::vector<uint8_t> square = SquareGlyph();
    const std::vector<uint8_t> empty { 0x10, 0x00 };
    Bits b;
    b.u16(kFontId);
    b.u8(0x80 | 0x04); // layout, wide codes
    b.u8(0); // language
    b.u8(1);
    b.u8('F');
    b.u16(2);
    const uint16_t first = 3 * 2; // two glyph offsets and the code table's
    b.u16(first);
    b.u16(uint16_t(first + square.size()));
    b.u16(uint16_t(first + square.size() + empty.size()));
    b.out.insert(b.out.end(), square.begin(), square.end());
    b.out.insert(b.out.end(), empty.begin(), empty.end());
    b.u16('A');
    b.u16(' ');
    b.u16(kAscent);
    b.u16(kDescent);
    b.u16(0);
    b.u16(kAdvanceA);
    b.u16(kAdvanceSpace);
    b.u8(0); // two empty glyph bounds
    b.u8(0);
    b.u16(0); // no kerning
    return b.out;
}

struct Field {
    int width = 100;
    int height = 50;
    std::string text;
    bool outlines = true;
    bool html = false;
    bool wrap = false;
    bool border = false;
    uint8_t align = 0;
    int fontPixels = 40;
    int x = 0; // where it is placed, twips
    int y = 0;
};

// The field in a movie of its own, placed at (f.x, f.y) and then moved to each of `moves` (twips) a frame apiece.
std::vector<uint8_t> FieldMovie(const Field& f, Color background, const std::vector<std::pair<int, int>>& moves = {})
{
    MovieBuilder movie(120, 120);
    movie.background(background);
    movie.raw(kTagDefineFont3, Font3Body());
    CDefineEditTextTag field;
    field.m_ID = kFieldId;
    field.m_pBounds->m_XMax = f.width * T;
    field.m_pBounds->m_YMax = f.height * T;
    field.m_WordWrap = f.wrap;
    field.m_Multiline = true;
    field.m_HasFont = true;
    field.m_FontID = kFontId;
    field.m_FontHeight = uint16_t(f.fontPixels * T);
    field.m_pTextColor = std::make_unique<CColorItem>(nullptr, kStyleRGBA);
    field.m_pTextColor->SetRGBA({ 255, 0, 0, 255 });
    field.m_HasLayout = true;
    field.m_Align = f.align;
    field.m_Border = f.border;
    field.m_HTML = f.html;
    field.m_UseOutlines = f.outlines;
    field.m_pInitialText = std::make_unique<C0TrmStringItem>(nullptr, kStyleNone);
    field.m_pInitialText->SetStr(f.text);
    movie.tag(kTagDefineEditText, field);
    movie.place(1, kFieldId, f.x, f.y);
    movie.showFrame();
    for (const auto& [x, y] : moves) {
        movie.move(1, x, y);
        movie.showFrame();
    }
    return movie.finish();
}

Canvas DrawField(const Field& f, Color background = kWhite)
{
    MoviePlayer player;
    EXPECT_TRUE(Load(player, FieldMovie(f, background)));
    return Render(player, 120, 120);
}

// Advances of the test font at 40 pixels: 'A' 24 pixels, ' ' 12; the square is 20 pixels; the first baseline
// lies 2 + 31.25 pixels down, and lines are 48.75 pixels apart.
double Advance(char32_t c)
{
    return c == U' ' ? 12 : 24;
}


} // namespace

TEST(PluginText, FieldTextStripsTagsAndKeepsBreaks)
{
    const struct {
        const char* in;
        bool html;
        std::u32string out;
    } cases[] = {
        { "a\r\nb\rc\nd", false, U"a\nb\nc\nd" },
        { "<p align=\"left\"><font size=\"12\">Hi</font></p><p>there</p>", true, U"Hi\nthere" },
        { "one<BR>two<br/>three", true, U"one\ntwo\nthree" },
        { "&lt;b&gt; &amp; &#65;&#x42; &bogus; &", true, U"<b> & AB &bogus; &" },
        { "cut <unfinished", true, U"cut " },
        { "<b>", false, U"<b>" },
        { "\xC3\xA9t\xE9", false, U"\u00E9t\u00E9" }, // UTF-8, then a lone Latin-1 byte
    };
    for (const auto& c : cases)
        EXPECT_EQ(reelfinch::plugin::FieldText(c.in, c.html), c.out) << c.in;
}

TEST(PluginText, LinesBreakAtSpacesThenBetweenCharacters)
{
    using reelfinch::plugin::BreakLines;
    const std::u32string text = U"AA AA AAAAA\nA";
    const auto lines = BreakLines(text, Advance, 60, 0, true);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(text.substr(lines[0].begin, lines[0].end - lines[0].begin), U"AA");
    EXPECT_EQ(lines[0].width, 48);
    EXPECT_EQ(text.substr(lines[1].begin, lines[1].end - lines[1].begin), U"AA");
    EXPECT_EQ(text.substr(lines[2].begin, lines[2].end - lines[2].begin), U"AA") << "a long word breaks";
    EXPECT_EQ(text.substr(lines[3].begin, lines[3].end - lines[3].begin), U"AA");
    EXPECT_FALSE(lines[3].firstOfParagraph);
    EXPECT_TRUE(lines[5].firstOfParagraph);
    // The indent narrows the first line only; without wrapping only breaks end lines.
    EXPECT_EQ(BreakLines(U"A A A", Advance, 60, 30, true).size(), 2u);
    EXPECT_EQ(BreakLines(text, Advance, 60, 0, false).size(), 2u);
    EXPECT_EQ(BreakLines(U"", Advance, 0, 0, true).size(), 1u);
    EXPECT_EQ(BreakLines(U"AAA", Advance, -5, 0, true).size(), 3u) << "no room still moves on";
}

TEST(PluginText, EditTextDrawsEmbeddedGlyphsInsideItsBorder)
{
    const Canvas c = DrawField({ .text = "AA A", .border = true }, kGrey);
    EXPECT_TRUE(Near(c.at(12, 23), kRed)) << "first glyph";
    EXPECT_TRUE(Near(c.at(36, 23), kRed)) << "second glyph";
    EXPECT_TRUE(Near(c.at(24, 23), kWhite)) << "between the glyphs";
    EXPECT_TRUE(Near(c.at(55, 23), kWhite)) << "the space";
    EXPECT_TRUE(Near(c.at(72, 23), kRed)) << "after the space";
    EXPECT_TRUE(Near(c.at(12, 40), kWhite)) << "below the baseline";
    EXPECT_TRUE(Near(c.at(0, 25), kBlack)) << "border";
    EXPECT_TRUE(Near(c.at(50, 50), kBlack)) << "border, on the pixels where the bounds end";
    EXPECT_TRUE(Near(c.at(50, 60), kGrey)) << "outside the field";
    EXPECT_TRUE(Near(c.at(50, 45), kWhite)) << "background";
}

TEST(PluginText, BorderSnapsHalfPixelsDown)
{
    // A 10-pixel box at 10.5 pixels: its edges fall on pixels 10 and 20.
    const Canvas c = DrawField({ .width = 10, .height = 10, .text = "", .border = true, .x = 210, .y = 210 }, kGrey);
    for (const auto& [x, y] : { std::pair { 10, 10 }, { 20, 10 }, { 10, 20 }, { 15, 20 }, { 20, 15 }, { 20, 19 } })
        EXPECT_TRUE(Near(c.at(x, y), kBlack)) << x << "," << y;
    EXPECT_FALSE(Near(c.at(20, 20), kBlack)) << "the far corner of a field without text has no border";
    EXPECT_TRUE(Near(c.at(21, 15), kGrey)) << "past the right edge";
    EXPECT_TRUE(Near(c.at(15, 21), kGrey)) << "below the bottom edge";
    EXPECT_TRUE(Near(c.at(9, 15), kGrey)) << "left of the left edge";
    EXPECT_TRUE(Near(c.at(15, 15), kWhite)) << "background";
}

TEST(PluginText, EditTextWrapsAlignsAndClips)
{
    // HTML text, wrapped into two lines of two glyphs set against the right margin (HTML fields take their
    // alignment from the paragraph, not from the tag).
    const Canvas c = DrawField(
        { .width = 60, .height = 110, .text = "<p align=\"right\">AA AA</p>", .html = true, .wrap = true });
    EXPECT_TRUE(Near(c.at(5, 23), kWhite));
    EXPECT_TRUE(Near(c.at(20, 23), kRed));
    EXPECT_TRUE(Near(c.at(44, 23), kRed));
    EXPECT_TRUE(Near(c.at(20, 72), kRed)) << "second line";
    EXPECT_TRUE(Near(c.at(44, 72), kRed));
    // Without wrapping the line runs on, cut at the field's edge.
    const Canvas cut = DrawField({ .width = 60, .text = "AAAA" });
    EXPECT_TRUE(Near(cut.at(55, 23), kRed));
    EXPECT_TRUE(Near(cut.at(65, 23), kWhite)) << "past the field";
}

TEST(PluginText, GlyphsDrawnAgainMatchGlyphsFilledAnew)
{
    // Text drawn again comes from coverage kept from an earlier draw. A field cut through a glyph by its right
    // edge stands part of a pixel off the grid, moves a whole pixel, then part of one, then back.
    const Field f { .width = 60, .text = "AAAA", .x = 67, .y = 33 };
    EXPECT_TRUE(Near(DrawField(f, kGrey).at(62, 24), kRed)) << "the cut glyph";
    // Mixing a colour through coverage and filling with it may round a channel apart.
    ExpectDrawnAgainAsAnew(
        FieldMovie(f, kGrey, { { 67, 33 }, { 87, 53 }, { 87, 53 }, { 97, 43 }, { 67, 33 } }), 6, 120, 120, 1);
}

TEST(PluginText, EditTextWithoutOutlinesUsesADeviceFont)
{
    const Canvas c = DrawField({ .width = 40, .text = "MMMMMMMMMMMM", .outlines = false, .fontPixels = 30 });
    int inside = 0;
    int outside = 0;
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 120; ++x) {
            const bool red = Near(c.at(x, y), kRed, 60);
            (x < 40 && y < 50 ? inside : outside) += red;
        }
    }
    EXPECT_GT(inside, 50);
    EXPECT_EQ(outside, 0) << "the text stays inside the field";
}

TEST(PluginText, DeviceMeasuresSurviveSizesCairoRefuses)
{
    using reelfinch::plugin::CharFormat;
    using reelfinch::plugin::DeviceMeasure;
    CharFormat f;
    f.font = "_sans";
    f.size = 20;
    DeviceMeasure first;
    const double m = first.advance(u'M', f);
    const auto [ascent, descent] = first.metrics(f);
    ASSERT_GT(m, 0);
    EXPECT_GT(ascent, 0);
    EXPECT_GT(descent, 0);
    EXPECT_GT(m, first.advance(u'i', f)) << "measures are kept per character";
    f.bold = true;
    EXPECT_GE(first.advance(u'M', f), m) << "and per face";
    f.bold = false;
    // Sizes cairo refuses leave the measurer working.
    DeviceMeasure second;
    for (double bad : { 0.0, std::nan(""), 1e300 }) {
        CharFormat b = f;
        b.size = bad;
        second.advance(u'Q', b);
        second.metrics(b);
    }
    f.size = 30;
    EXPECT_NEAR(second.advance(u'Q', f), DeviceMeasure().advance(u'Q', f), 1e-9);
    EXPECT_GT(second.advance(u'W', f), 0);
}

namespace {

// A DefineText of the test font's glyphs (0 'A', 1 ' '), each 20 pixels on, starting at (x, y) pixels.
void StaticText(MovieBuilder& movie, uint16_t id, const std::vector<int>& glyphs, int x, int y)
{
    CSWFStream text;
    text.WriteU16(id);
    CRectItem bounds(nullptr, kStyleDefault);
    bounds.m_XMax = 120 * T;
    bounds.m_YMax = 120 * T;
    bounds.WriteSWF(&text);
    CMatrixItem identity;
    identity.WriteSWF(&text);
    text.FlushBits();
    const uint8_t glyphBits = 1;
    const uint8_t advanceBits = 11;
    text.WriteU8(glyphBits);
    text.WriteU8(advanceBits);
    text.WriteU8(0x8B); // style record: font, y and x offsets
    text.WriteU16(kFontId);
    text.WriteS16(int16_t(x * T));
    text.WriteS16(int16_t(y * T));
    text.WriteU16(20 * T);
    text.WriteU8(uint8_t(glyphs.size()));
    for (int g : glyphs) {
        text.WriteBits(uint32_t(g), glyphBits);
        text.WriteBits(20 * T, advanceBits);
    }
    text.FlushBits();
    text.WriteU8(0);
    movie.stream().AppendTag(kTagDefineText, false, &text);
}

} // namespace

TEST(PluginText, SnapshotsReadStaticTextInDepthOrder)
{
    using reelfinch::avm1::Value;
    MovieBuilder movie(120, 120);
    movie.raw(kTagDefineFont3, Font3Body());
    StaticText(movie, 10, { 0, 1, 0 }, 0, 80); // "A A", placed deeper
    StaticText(movie, 11, { 0, 0 }, 0, 40); // "AA"
    movie.place(2, 10, 0, 0);
    movie.place(1, 11, 0, 0);
    movie.showFrame();
    MoviePlayer player;
    ASSERT_TRUE(Load(player, movie.finish()));
    reelfinch::avm1::Machine& m = *player.scriptMachine();
    Value root(m.rootClip());
    const Value snapshot = m.callMethod(root, "getTextSnapshot", nullptr, 0);
    ASSERT_TRUE(snapshot.isObject());
    const auto call = [&](const char* name, std::vector<Value> args) {
        return m.callMethod(snapshot, name, args.data(), int(args.size()));
    };
    EXPECT_EQ(m.toNumber(call("getCount", {})), 5);
    EXPECT_EQ(m.toString(call("getText", { Value(0.0), Value(100.0) })), "AAA A");
    EXPECT_EQ(m.toString(call("getText", { Value(0.0), Value(100.0), Value(true) })), "AA\nA A");
    // Searches: case folded unless asked, from the start index, exactly three arguments.
    EXPECT_EQ(m.toNumber(call("findText", { Value(0.0), Value(m.str("a a")), Value(false) })), 2);
    EXPECT_EQ(m.toNumber(call("findText", { Value(0.0), Value(m.str("a")), Value(true) })), -1);
    EXPECT_EQ(m.toNumber(call("findText", { Value(3.0), Value(m.str("A")), Value(true) })), 4);
    EXPECT_TRUE(call("findText", { Value(0.0), Value(m.str("A")) }).isUndefined());
    // Selection by ranges.
    call("setSelected", { Value(1.0), Value(3.0), Value(true) });
    EXPECT_EQ(m.toString(call("getSelectedText", {})), "AA");
    EXPECT_TRUE(m.toBoolean(call("getSelected", { Value(0.0), Value(2.0) })));
    EXPECT_FALSE(m.toBoolean(call("getSelected", { Value(3.0), Value(5.0) })));
    // The nearest character to a point on the second line (its glyph boxes span 20 pixels from x = 0).
    EXPECT_EQ(m.toNumber(call("hitTestTextNearPos", { Value(45.0), Value(75.0), Value(5.0) })), 4);
    EXPECT_EQ(m.toNumber(call("hitTestTextNearPos", { Value(45.0), Value(10.0), Value(5.0) })), -1);
}

TEST(PluginText, ShapeHitsOfStaticTextUseGlyphsUprightAndTheBoundsBoxTurned)
{
    MovieBuilder movie(200, 200);
    movie.raw(kTagDefineFont3, Font3Body());
    StaticText(movie, 10, { 0 }, 0, 40); // one glyph near the top-left corner of its 120-pixel bounds
    movie.place(1, 10, 0, 0);
    movie.showFrame();
    MoviePlayer player;
    ASSERT_TRUE(Load(player, movie.finish()));
    reelfinch::plugin::SpriteInstance& root = player.root();
    // Upright: only the glyph is hit, not the empty rest of the bounds.
    EXPECT_FALSE(player.spriteHit(root, 100 * T, 100 * T, true));
    // Turned a quarter of a right angle: the upright box round the turned bounds is hit, even where no glyph is.
    const double angle = std::atan(1.0) / 2; // 22.5 degrees
    cairo_matrix_init_rotate(&root.display->matrix, angle);
    double x = 100 * T, y = 100 * T;
    cairo_matrix_transform_point(&root.display->matrix, &x, &y);
    EXPECT_TRUE(player.spriteHit(root, x, y, true));
    // Outside the turned bounds but inside that box (its left side is at -46 pixels): hit; beyond the box: not.
    EXPECT_TRUE(player.spriteHit(root, -40 * T, 20 * T, true));
    EXPECT_FALSE(player.spriteHit(root, -50 * T, 20 * T, true));
}
