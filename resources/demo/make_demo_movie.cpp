// Writes Reelfinch's demo movies, made from nothing but our own generator (no outside art): a motion demo (an
// orange square and a green triangle travel across a dark blue stage), a demo of vector art with gradients and a
// morph, and an interactive demo whose buttons drive its timeline, with text.
// Usage: make-demo-movie OUTPUT.swf            writes the motion demo
//        make-demo-movie --playlist FOLDER     writes the whole demo playlist into FOLDER
#include "HeaderItems.h"
#include "SWFStream.h"
#include "TagCodes.h"
#include "Tags.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr int kTwips = 20;
constexpr int kStageWidth = 480;
constexpr int kStageHeight = 320;
constexpr int kFrames = 48;
constexpr uint8_t kVersion = 6;
constexpr float kFrameRate = 24.0f;

constexpr uint8_t kFillSolid = 0x00;
constexpr uint8_t kPlaceMove = 0x01;
constexpr uint8_t kPlaceHasCharacter = 0x02;
constexpr uint8_t kPlaceHasMatrix = 0x04;

struct Point {
    int x;
    int y;
};

void WriteRect(CSWFStream& s, int xMin, int xMax, int yMin, int yMax)
{
    CRectItem rect;
    rect.m_XMin = xMin;
    rect.m_XMax = xMax;
    rect.m_YMin = yMin;
    rect.m_YMax = yMax;
    rect.WriteSWF(&s);
}

void WriteSigned(CSWFStream& s, int value, unsigned char bits)
{
    s.WriteBits(static_cast<uint32_t>(value), bits);
}

// A closed polygon with one solid fill and a 2-pixel outline, as a DefineShape body.
void DefinePolygon(CSWFStream& movie, uint16_t id, const std::vector<Point>& points, tRGBRec fill, tRGBRec line)
{
    CSWFStream s;
    s.WriteU16(id);
    int xMin = points[0].x, xMax = points[0].x, yMin = points[0].y, yMax = points[0].y;
    for (const Point& p : points) {
        xMin = std::min(xMin, p.x);
        xMax = std::max(xMax, p.x);
        yMin = std::min(yMin, p.y);
        yMax = std::max(yMax, p.y);
    }
    const int pad = 2 * kTwips;
    WriteRect(s, xMin - pad, xMax + pad, yMin - pad, yMax + pad);
    s.WriteU8(1); // one fill style
    s.WriteU8(kFillSolid);
    s.WriteU8(fill.red);
    s.WriteU8(fill.green);
    s.WriteU8(fill.blue);
    s.WriteU8(1); // one line style
    s.WriteU16(2 * kTwips);
    s.WriteU8(line.red);
    s.WriteU8(line.green);
    s.WriteU8(line.blue);
    s.WriteBits(1, 4); // fill style index bits
    s.WriteBits(1, 4); // line style index bits

    // Style change: move to the first point, fill style 1 on the left, line style 1.
    const unsigned char moveBits = std::max(GetBitsCount(points[0].x, true), GetBitsCount(points[0].y, true));
    s.WriteBits(0, 1); // not an edge
    s.WriteBits(0b01011, 5); // line style, fill style 1, move to
    s.WriteBits(moveBits, 5);
    WriteSigned(s, points[0].x, moveBits);
    WriteSigned(s, points[0].y, moveBits);
    s.WriteBits(1, 1); // fill style 1
    s.WriteBits(1, 1); // line style 1

    for (size_t i = 1; i <= points.size(); ++i) {
        const Point& from = points[i - 1];
        const Point& to = points[i % points.size()];
        const int dx = to.x - from.x;
        const int dy = to.y - from.y;
        const unsigned char bits = std::max<unsigned char>(2, std::max(GetBitsCount(dx, true), GetBitsCount(dy, true)));
        s.WriteBits(1, 1); // edge
        s.WriteBits(1, 1); // straight
        s.WriteBits(bits - 2, 4);
        s.WriteBits(1, 1); // general line
        WriteSigned(s, dx, bits);
        WriteSigned(s, dy, bits);
    }
    s.WriteBits(0, 6); // end of shape
    s.FlushBits();
    movie.AppendTag(kTagDefineShape, false, &s);
}

void Place(CSWFStream& movie, uint16_t depth, uint16_t character, int x, int y, bool move)
{
    CSWFStream s;
    s.WriteU8(move ? (kPlaceMove | kPlaceHasMatrix) : (kPlaceHasCharacter | kPlaceHasMatrix));
    s.WriteU16(depth);
    if (!move)
        s.WriteU16(character);
    const unsigned char bits = std::max(GetBitsCount(x, true), GetBitsCount(y, true));
    s.WriteBits(0, 1); // no scale
    s.WriteBits(0, 1); // no rotation
    s.WriteBits(bits, 5);
    WriteSigned(s, x, bits);
    WriteSigned(s, y, bits);
    s.FlushBits();
    movie.AppendTag(kTagPlaceObject2, false, &s);
}

// The first demo: an orange square and a green triangle travel across 48 frames.
void MotionDemo(CSWFStream& movie)
{
    CHeaderItem header;
    header.m_Version = kVersion;
    header.m_FrameRate = kFrameRate;
    header.m_pFrameRect->m_XMax = kStageWidth * kTwips;
    header.m_pFrameRect->m_YMax = kStageHeight * kTwips;
    header.WriteSWF(&movie);
    movie.WriteU16(kFrames);

    CSetBackGroundColorTag background;
    background.m_pColor->SetRGB({ 0x1B, 0x26, 0x3B });
    CSWFStream body;
    background.WriteSWF(&body);
    movie.AppendTag(kTagSetBackgroundColor, false, &body);

    const int side = 80 * kTwips;
    DefinePolygon(
        movie, 1, { { 0, 0 }, { side, 0 }, { side, side }, { 0, side } }, { 0xF2, 0x8C, 0x28 }, { 0xFF, 0xE0, 0xB0 });
    DefinePolygon(movie, 2, { { 0, -side / 2 }, { side / 2, side / 2 }, { -side / 2, side / 2 } }, { 0x3C, 0xB3, 0x71 },
        { 0xD0, 0xFF, 0xE0 });

    for (int frame = 0; frame < kFrames; ++frame) {
        const int squareX = (20 + frame * 7) * kTwips;
        const int squareY = 60 * kTwips;
        const int triangleX = (kStageWidth - 60 - frame * 6) * kTwips;
        const int triangleY = (220 - (frame % 24 < 12 ? frame % 12 : 12 - frame % 12) * 6) * kTwips;
        Place(movie, 1, 1, squareX, squareY, frame > 0);
        Place(movie, 2, 2, triangleX, triangleY, frame > 0);
        movie.AppendTag(kTagShowFrame, false, nullptr);
    }
    movie.AppendTag(kTagEnd, false, nullptr);
    header.MakeCompleteSWF(&movie);
}

// ---- Writers shared by the other demos ----

constexpr uint8_t kFillLinearGradient = 0x10;
constexpr uint8_t kFillRadialGradient = 0x12;
constexpr uint8_t kPlaceHasColorTransform = 0x08;
constexpr uint8_t kPlaceHasRatio = 0x10;
// The gradient square of the format: 32768 twips wide, centred on the origin.
constexpr double kGradientSquare = 32768.0;
constexpr double kFixedOne = 65536.0;

struct RGBA {
    uint8_t r, g, b, a;
};

void WriteRGBA(CSWFStream& s, RGBA c)
{
    s.WriteU8(c.r);
    s.WriteU8(c.g);
    s.WriteU8(c.b);
    s.WriteU8(c.a);
}

unsigned char BitsFor(std::initializer_list<long> values)
{
    unsigned char bits = 1;
    for (long v : values)
        bits = std::max(bits, GetBitsCount(v, true));
    return bits;
}

// A MATRIX record: scale and rotation as 16.16 fixed values (left out when they are the identity's), then the
// translation in twips.
void WriteMatrix(CSWFStream& s, double scaleX, double scaleY, double rotate0, double rotate1, int tx, int ty)
{
    const long sx = std::lround(scaleX * kFixedOne);
    const long sy = std::lround(scaleY * kFixedOne);
    const long r0 = std::lround(rotate0 * kFixedOne);
    const long r1 = std::lround(rotate1 * kFixedOne);
    const bool hasScale = sx != long(kFixedOne) || sy != long(kFixedOne);
    s.WriteBits(hasScale ? 1 : 0, 1);
    if (hasScale) {
        const unsigned char bits = BitsFor({ sx, sy });
        s.WriteBits(bits, 5);
        WriteSigned(s, int(sx), bits);
        WriteSigned(s, int(sy), bits);
    }
    const bool hasRotate = r0 != 0 || r1 != 0;
    s.WriteBits(hasRotate ? 1 : 0, 1);
    if (hasRotate) {
        const unsigned char bits = BitsFor({ r0, r1 });
        s.WriteBits(bits, 5);
        WriteSigned(s, int(r0), bits);
        WriteSigned(s, int(r1), bits);
    }
    const unsigned char bits = tx == 0 && ty == 0 ? 0 : BitsFor({ tx, ty });
    s.WriteBits(bits, 5);
    if (bits) {
        WriteSigned(s, tx, bits);
        WriteSigned(s, ty, bits);
    }
    s.FlushBits();
}

// The gradient matrix that spreads the gradient square over a box; a linear gradient then runs from left to right,
// or, turned a quarter, from top to bottom.
void WriteGradientMatrix(CSWFStream& s, int xMin, int yMin, int xMax, int yMax, bool downwards = false)
{
    const double w = (xMax - xMin) / kGradientSquare;
    const double h = (yMax - yMin) / kGradientSquare;
    if (downwards)
        WriteMatrix(s, 0, 0, h, -w, (xMin + xMax) / 2, (yMin + yMax) / 2);
    else
        WriteMatrix(s, w, h, 0, 0, (xMin + xMax) / 2, (yMin + yMax) / 2);
}

struct GradientStop {
    uint8_t ratio;
    RGBA color;
};

void WriteGradient(CSWFStream& s, const std::vector<GradientStop>& stops)
{
    s.WriteU8(uint8_t(stops.size())); // pad spread, normal interpolation, the count in the low bits
    for (const GradientStop& stop : stops) {
        s.WriteU8(stop.ratio);
        WriteRGBA(s, stop.color);
    }
}

// Shape records with the pen's position kept, so that edges are written as deltas.
class EdgeWriter
{
public:
    // The style indices take as many bits as the shape's header says.
    EdgeWriter(CSWFStream& s, unsigned char fillBits, unsigned char lineBits)
        : m_s(s)
        , m_fillBits(fillBits)
        , m_lineBits(lineBits)
    { }

    // A style change: move to (x, y) and, when given, select fill style 0 and 1 and line style indices.
    void MoveTo(int x, int y, int fill1 = -1, int line = -1)
    {
        m_s.WriteBits(0, 1);
        const bool hasLine = line >= 0;
        const bool hasFill1 = fill1 >= 0;
        m_s.WriteBits(0, 1); // new styles
        m_s.WriteBits(hasLine ? 1 : 0, 1);
        m_s.WriteBits(hasFill1 ? 1 : 0, 1);
        m_s.WriteBits(0, 1); // fill style 0
        m_s.WriteBits(1, 1); // move to
        const unsigned char bits = BitsFor({ x, y });
        m_s.WriteBits(bits, 5);
        WriteSigned(m_s, x, bits);
        WriteSigned(m_s, y, bits);
        if (hasFill1)
            m_s.WriteBits(uint32_t(fill1), m_fillBits);
        if (hasLine)
            m_s.WriteBits(uint32_t(line), m_lineBits);
        m_x = x;
        m_y = y;
    }

    void LineTo(int x, int y)
    {
        const int dx = x - m_x;
        const int dy = y - m_y;
        if (dx == 0 && dy == 0)
            return; // an edge of no length draws nothing
        const unsigned char bits = std::max<unsigned char>(2, BitsFor({ dx, dy }));
        m_s.WriteBits(1, 1); // edge
        m_s.WriteBits(1, 1); // straight
        m_s.WriteBits(bits - 2, 4);
        m_s.WriteBits(1, 1); // general line
        WriteSigned(m_s, dx, bits);
        WriteSigned(m_s, dy, bits);
        m_x = x;
        m_y = y;
    }

    void CurveTo(int cx, int cy, int x, int y)
    {
        const int cdx = cx - m_x;
        const int cdy = cy - m_y;
        const int adx = x - cx;
        const int ady = y - cy;
        const unsigned char bits = std::max<unsigned char>(2, BitsFor({ cdx, cdy, adx, ady }));
        m_s.WriteBits(1, 1); // edge
        m_s.WriteBits(0, 1); // curved
        m_s.WriteBits(bits - 2, 4);
        WriteSigned(m_s, cdx, bits);
        WriteSigned(m_s, cdy, bits);
        WriteSigned(m_s, adx, bits);
        WriteSigned(m_s, ady, bits);
        m_x = x;
        m_y = y;
    }

    // A circle of eight quadratic curves.
    void Circle(int cx, int cy, int radius)
    {
        const double control = radius / std::cos(M_PI / 8);
        MoveTo(cx + radius, cy, m_fill, m_line);
        for (int i = 1; i <= 8; ++i) {
            const double mid = (i - 0.5) * M_PI / 4;
            const double end = i * M_PI / 4;
            CurveTo(cx + int(std::lround(control * std::cos(mid))), cy + int(std::lround(control * std::sin(mid))),
                cx + int(std::lround(radius * std::cos(end))), cy + int(std::lround(radius * std::sin(end))));
        }
    }

    void Polygon(const std::vector<Point>& points)
    {
        MoveTo(points[0].x, points[0].y, m_fill, m_line);
        for (size_t i = 1; i <= points.size(); ++i)
            LineTo(points[i % points.size()].x, points[i % points.size()].y);
    }

    int fill() const { return m_fill; }
    int line() const { return m_line; }

    void UseStyles(int fill1, int line)
    {
        m_fill = fill1;
        m_line = line;
    }

    void End()
    {
        m_s.WriteBits(0, 6);
        m_s.FlushBits();
    }

private:
    CSWFStream& m_s;
    unsigned char m_fillBits;
    unsigned char m_lineBits;
    int m_x = 0;
    int m_y = 0;
    int m_fill = 1;
    int m_line = 0;
};

void WriteHeader(CSWFStream& movie, CHeaderItem& header, int width, int height, float rate, uint16_t frames)
{
    header.m_Version = kVersion;
    header.m_FrameRate = rate;
    header.m_pFrameRect->m_XMax = width * kTwips;
    header.m_pFrameRect->m_YMax = height * kTwips;
    header.WriteSWF(&movie);
    movie.WriteU16(frames);
}

void SetBackground(CSWFStream& movie, tRGBRec color)
{
    CSetBackGroundColorTag background;
    background.m_pColor->SetRGB(color);
    CSWFStream body;
    background.WriteSWF(&body);
    movie.AppendTag(kTagSetBackgroundColor, false, &body);
}

// PlaceObject2 of a new character or a move of the one at the depth, with a full matrix and, for morphs, a ratio.
void PlaceWithMatrix(CSWFStream& movie, uint16_t depth, uint16_t character, bool move, double scale, double angle,
    int x, int y, int ratio = -1)
{
    CSWFStream s;
    uint8_t flags = kPlaceHasMatrix | (move ? kPlaceMove : kPlaceHasCharacter);
    if (ratio >= 0)
        flags |= kPlaceHasRatio;
    s.WriteU8(flags);
    s.WriteU16(depth);
    if (!move)
        s.WriteU16(character);
    const double c = std::cos(angle) * scale;
    const double n = std::sin(angle) * scale;
    WriteMatrix(s, c, c, n, -n, x, y);
    if (ratio >= 0)
        s.WriteU16(uint16_t(ratio));
    movie.AppendTag(kTagPlaceObject2, false, &s);
}

void ShowFrame(CSWFStream& movie)
{
    movie.AppendTag(kTagShowFrame, false, nullptr);
}

// ---- Vector art, gradients and a morph ----

constexpr int kArtFrames = 96;
constexpr float kArtFrameRate = 24.0f;

// A DefineShape3 of one fill style (solid or gradient) and an optional outline, drawn by `draw`.
void DefineShape3(CSWFStream& movie, uint16_t id, int xMin, int yMin, int xMax, int yMax,
    const std::function<void(CSWFStream&)>& fillStyle, int lineWidth, RGBA lineColor,
    const std::function<void(EdgeWriter&)>& draw)
{
    CSWFStream s;
    s.WriteU16(id);
    const int pad = lineWidth;
    WriteRect(s, xMin - pad, xMax + pad, yMin - pad, yMax + pad);
    s.WriteU8(1);
    fillStyle(s);
    s.WriteU8(lineWidth > 0 ? 1 : 0);
    if (lineWidth > 0) {
        s.WriteU16(uint16_t(lineWidth));
        WriteRGBA(s, lineColor);
    }
    s.WriteBits(1, 4); // fill index bits
    s.WriteBits(lineWidth > 0 ? 1 : 0, 4); // line index bits
    EdgeWriter edges(s, 1, lineWidth > 0 ? 1 : 0);
    edges.UseStyles(1, lineWidth > 0 ? 1 : -1);
    draw(edges);
    edges.End();
    movie.AppendTag(kTagDefineShape3, true, &s);
}

std::function<void(CSWFStream&)> Solid(RGBA color)
{
    return [color](CSWFStream& s) {
        s.WriteU8(kFillSolid);
        WriteRGBA(s, color);
    };
}

std::function<void(CSWFStream&)> Gradient(
    uint8_t type, int xMin, int yMin, int xMax, int yMax, std::vector<GradientStop> stops, bool downwards = false)
{
    return [=](CSWFStream& s) {
        s.WriteU8(type);
        WriteGradientMatrix(s, xMin, yMin, xMax, yMax, downwards);
        WriteGradient(s, stops);
    };
}

// Points of a star around the origin: `tips` outer points of radius `outer`, inner ones of radius `inner`.
std::vector<Point> Star(int tips, int outer, int inner, double turn = -M_PI / 2)
{
    std::vector<Point> points;
    for (int i = 0; i < tips * 2; ++i) {
        const double angle = turn + i * M_PI / tips;
        const int r = i % 2 ? inner : outer;
        points.push_back({ int(std::lround(r * std::cos(angle))), int(std::lround(r * std::sin(angle))) });
    }
    return points;
}

// A morph from a square (its corners and the middles of its sides) to an eight-pointed star, from a teal-to-blue
// radial gradient to a gold-to-red one, its outline thickening.
void DefineSquareToStarMorph(CSWFStream& movie, uint16_t id)
{
    const int half = 50 * kTwips;
    const std::vector<Point> square = { { half, 0 }, { half, half }, { 0, half }, { -half, half }, { -half, 0 },
        { -half, -half }, { 0, -half }, { half, -half } };
    std::vector<Point> star;
    for (int i = 0; i < 8; ++i) {
        const double angle = i * M_PI / 4;
        const int r = i % 2 ? 30 * kTwips : 75 * kTwips;
        star.push_back({ int(std::lround(r * std::cos(angle))), int(std::lround(r * std::sin(angle))) });
    }
    const int box = 80 * kTwips;

    CSWFStream s;
    s.WriteU16(id);
    WriteRect(s, -box, box, -box, box);
    WriteRect(s, -box, box, -box, box);
    CSWFStream styles;
    styles.WriteU8(1);
    styles.WriteU8(kFillRadialGradient);
    WriteGradientMatrix(styles, -half, -half, half, half);
    WriteGradientMatrix(styles, -box, -box, box, box);
    styles.WriteU8(2);
    for (const auto& [ratio, from, to] :
        { std::tuple { uint8_t(0), RGBA { 0x7F, 0xFF, 0xD4, 0xFF }, RGBA { 0xFF, 0xE0, 0x66, 0xFF } },
            std::tuple { uint8_t(255), RGBA { 0x1E, 0x4D, 0xB7, 0xFF }, RGBA { 0xD6, 0x28, 0x28, 0xFF } } }) {
        styles.WriteU8(ratio);
        WriteRGBA(styles, from);
        styles.WriteU8(ratio);
        WriteRGBA(styles, to);
    }
    styles.WriteU8(1);
    styles.WriteU16(1 * kTwips);
    styles.WriteU16(4 * kTwips);
    WriteRGBA(styles, { 0xFF, 0xFF, 0xFF, 0xFF });
    WriteRGBA(styles, { 0x40, 0x10, 0x00, 0xFF });

    CSWFStream startEdges;
    startEdges.WriteBits(1, 4);
    startEdges.WriteBits(1, 4);
    {
        EdgeWriter edges(startEdges, 1, 1);
        edges.UseStyles(1, 1);
        edges.Polygon(square);
        edges.End();
    }
    CSWFStream endEdges;
    endEdges.WriteBits(0, 4);
    endEdges.WriteBits(0, 4);
    {
        EdgeWriter edges(endEdges, 0, 0);
        edges.UseStyles(-1, -1);
        edges.Polygon(star);
        edges.End();
    }
    // The offset runs from the end of its own field to the end shape.
    s.WriteU32(uint32_t(styles.GetSize() + startEdges.GetSize()));
    s.WriteBuf(styles.GetBuffer(), styles.GetSize());
    s.WriteBuf(startEdges.GetBuffer(), startEdges.GetSize());
    s.WriteBuf(endEdges.GetBuffer(), endEdges.GetSize());
    movie.AppendTag(kTagDefineMorphShape, true, &s);
}

void ArtDemo(CSWFStream& movie)
{
    constexpr int width = 480;
    constexpr int height = 320;
    CHeaderItem header;
    WriteHeader(movie, header, width, height, kArtFrameRate, kArtFrames);
    SetBackground(movie, { 0x10, 0x14, 0x2A });

    // A night sky fading to a violet horizon, and hills in two greens.
    const int w = width * kTwips;
    const int h = height * kTwips;
    DefineShape3(movie, 1, 0, 0, w, h,
        Gradient(kFillLinearGradient, 0, 0, w, h,
            { { 0, { 0x0B, 0x10, 0x2E, 0xFF } }, { 170, { 0x3A, 0x2A, 0x6E, 0xFF } },
                { 255, { 0xE0, 0x7A, 0x5F, 0xFF } } },
            true),
        0, {}, [&](EdgeWriter& e) {
            e.Polygon({ { 0, 0 }, { w, 0 }, { w, h }, { 0, h } });
        });
    const int sun = 46 * kTwips;
    DefineShape3(movie, 2, -sun, -sun, sun, sun,
        Gradient(kFillRadialGradient, -sun, -sun, sun, sun,
            { { 0, { 0xFF, 0xF6, 0xC8, 0xFF } }, { 150, { 0xFF, 0xC0, 0x40, 0xFF } },
                { 255, { 0xFF, 0x70, 0x20, 0x00 } } }),
        0, {}, [&](EdgeWriter& e) { e.Circle(0, 0, sun); });
    const int hillTop = 230 * kTwips;
    DefineShape3(movie, 3, 0, hillTop - 40 * kTwips, w, h,
        Gradient(kFillLinearGradient, 0, hillTop - 40 * kTwips, w, h,
            { { 0, { 0x2E, 0x8B, 0x57, 0xFF } }, { 255, { 0x14, 0x4D, 0x2E, 0xFF } } }),
        2 * kTwips, { 0x9C, 0xE6, 0xB0, 0xFF }, [&](EdgeWriter& e) {
            e.MoveTo(0, hillTop, 1, 1);
            e.CurveTo(w / 4, hillTop - 80 * kTwips, w / 2, hillTop);
            e.CurveTo(3 * w / 4, hillTop + 60 * kTwips, w, hillTop - 20 * kTwips);
            e.LineTo(w, h);
            e.LineTo(0, h);
            e.LineTo(0, hillTop);
        });
    const int starSize = 12 * kTwips;
    DefineShape3(movie, 4, -starSize, -starSize, starSize, starSize, Solid({ 0xFF, 0xF8, 0xDC, 0xFF }), 0, {},
        [&](EdgeWriter& e) { e.Polygon(Star(5, starSize, starSize * 2 / 5)); });
    DefineSquareToStarMorph(movie, 5);

    PlaceWithMatrix(movie, 1, 1, false, 1.0, 0, 0, 0);
    for (int frame = 0; frame < kArtFrames; ++frame) {
        const double t = double(frame) / kArtFrames;
        const bool first = frame == 0;
        PlaceWithMatrix(movie, 2, 2, !first, 1.0, 0, int((90 + 40 * t) * kTwips), int((110 + 30 * t) * kTwips));
        if (first)
            PlaceWithMatrix(movie, 3, 3, false, 1.0, 0, 0, 0);
        for (int i = 0; i < 3; ++i) {
            const double angle = 2 * M_PI * t * (i % 2 ? -1 : 1) + i;
            const double scale = 0.7 + 0.3 * std::sin(2 * M_PI * t * 2 + i);
            PlaceWithMatrix(
                movie, uint16_t(4 + i), 4, !first, scale, angle, (200 + 90 * i) * kTwips, (50 + 25 * (i % 2)) * kTwips);
        }
        // There and back: the morph's ratio rises over the first half and falls over the second.
        const double phase = t < 0.5 ? t * 2 : 2 - t * 2;
        PlaceWithMatrix(
            movie, 8, 5, !first, 1.0, M_PI * t, 360 * kTwips, 190 * kTwips, int(std::lround(phase * 65535)));
        ShowFrame(movie);
    }
    movie.AppendTag(kTagEnd, false, nullptr);
    header.MakeCompleteSWF(&movie);
}

// ---- Buttons that drive the timeline, and text ----

constexpr int kButtonFrames = 60;
constexpr float kButtonFrameRate = 20.0f;
constexpr uint8_t kActionNextFrame = 0x04;
constexpr uint8_t kActionPlay = 0x06;
constexpr uint8_t kActionStop = 0x07;
constexpr uint8_t kActionGotoFrame = 0x81;
constexpr uint16_t kCondOverDownToOverUp = 0x0008;
constexpr uint8_t kButtonStateUp = 0x01;
constexpr uint8_t kButtonStateOver = 0x02;
constexpr uint8_t kButtonStateDown = 0x04;
constexpr uint8_t kButtonStateHit = 0x08;
constexpr uint16_t kDeviceFontId = 9; // below the ids of the characters that follow

// A device font: a DefineFont2 with a name and no glyphs, so text in it is drawn with the desktop's sans face.
void DefineDeviceFont(CSWFStream& movie, uint16_t id, bool bold)
{
    CSWFStream s;
    s.WriteU16(id);
    s.WriteU8(bold ? 0x01 : 0x00);
    s.WriteU8(0); // language
    const char name[] = "_sans";
    s.WriteU8(uint8_t(sizeof(name) - 1));
    s.WriteBuf(name, sizeof(name) - 1);
    s.WriteU16(0); // no glyphs
    s.WriteU16(2); // the (empty) code table follows this offset field
    movie.AppendTag(kTagDefineFont2, false, &s);
}

// A read-only, unselectable text field of the device font.
void DefineText(
    CSWFStream& movie, uint16_t id, int width, int height, int fontHeight, RGBA color, uint8_t align, const char* text)
{
    CSWFStream s;
    s.WriteU16(id);
    WriteRect(s, 0, width, 0, height);
    s.WriteU8(0x80 | 0x08 | 0x04 | 0x01); // has text, read-only, has colour, has font
    s.WriteU8(0x20 | 0x10); // has layout, no selection
    s.WriteU16(kDeviceFontId);
    s.WriteU16(uint16_t(fontHeight));
    WriteRGBA(s, color);
    s.WriteU8(align);
    s.WriteU16(0);
    s.WriteU16(0);
    s.WriteU16(0);
    s.WriteU16(0);
    s.WriteU8(0); // no variable
    s.WriteBuf(text, std::strlen(text) + 1);
    movie.AppendTag(kTagDefineEditText, false, &s);
}

// A button of a rounded face (three pictures: up, over, down), a caption above it, and the actions a click
// (press and release over it) runs.
void DefineButton(CSWFStream& movie, uint16_t id, uint16_t upFace, uint16_t overFace, uint16_t downFace,
    uint16_t caption, const std::vector<uint8_t>& actions)
{
    CSWFStream records;
    auto record = [&records](uint8_t states, uint16_t character, uint16_t depth, int x, int y) {
        records.WriteU8(states);
        records.WriteU16(character);
        records.WriteU16(depth);
        WriteMatrix(records, 1, 1, 0, 0, x, y);
        records.WriteU8(0); // identity colour transform (no terms, no bits)
    };
    record(kButtonStateUp | kButtonStateHit, upFace, 1, 0, 0);
    record(kButtonStateOver, overFace, 1, 0, 0);
    record(kButtonStateDown, downFace, 1, 0, 2 * kTwips);
    record(kButtonStateUp | kButtonStateOver | kButtonStateDown, caption, 2, 0, 6 * kTwips);
    records.WriteU8(0); // end of the records

    CSWFStream s;
    s.WriteU16(id);
    s.WriteU8(0); // a push button, not a menu item
    // The offset runs from the start of its own field to the first condition record.
    s.WriteU16(uint16_t(2 + records.GetSize()));
    s.WriteBuf(records.GetBuffer(), records.GetSize());
    s.WriteU16(0); // the last condition record
    s.WriteU16(kCondOverDownToOverUp);
    s.WriteBuf(actions.data(), actions.size());
    s.WriteU8(0); // end of the actions
    movie.AppendTag(kTagDefineButton2, false, &s);
}

void RoundedBox(EdgeWriter& e, int width, int height, int radius)
{
    e.MoveTo(radius, 0, e.fill(), e.line());
    e.LineTo(width - radius, 0);
    e.CurveTo(width, 0, width, radius);
    e.LineTo(width, height - radius);
    e.CurveTo(width, height, width - radius, height);
    e.LineTo(radius, height);
    e.CurveTo(0, height, 0, height - radius);
    e.LineTo(0, radius);
    e.CurveTo(0, 0, radius, 0);
}

void ButtonsDemo(CSWFStream& movie)
{
    constexpr int width = 480;
    constexpr int height = 320;
    CHeaderItem header;
    WriteHeader(movie, header, width, height, kButtonFrameRate, kButtonFrames);
    SetBackground(movie, { 0xF4, 0xF1, 0xE8 });
    DefineDeviceFont(movie, kDeviceFontId, true);

    const int bw = 96 * kTwips;
    const int bh = 32 * kTwips;
    const int radius = 8 * kTwips;
    const RGBA ink { 0x20, 0x2A, 0x44, 0xFF };
    const auto face = [&](uint16_t id, std::vector<GradientStop> stops) {
        DefineShape3(movie, id, 0, 0, bw, bh, Gradient(kFillLinearGradient, 0, 0, bw, bh, std::move(stops)), 1 * kTwips,
            ink, [&](EdgeWriter& e) { RoundedBox(e, bw, bh, radius); });
    };
    face(1, { { 0, { 0xFF, 0xFF, 0xFF, 0xFF } }, { 255, { 0xC9, 0xD6, 0xEA, 0xFF } } });
    face(2, { { 0, { 0xFF, 0xFF, 0xFF, 0xFF } }, { 255, { 0x8F, 0xB8, 0xF0, 0xFF } } });
    face(3, { { 0, { 0x8F, 0xB8, 0xF0, 0xFF } }, { 255, { 0x4A, 0x7F, 0xD0, 0xFF } } });

    struct Control {
        const char* caption;
        std::vector<uint8_t> actions;
    };
    const std::vector<Control> controls = {
        { "Play", { kActionPlay } },
        { "Stop", { kActionStop } },
        { "Step", { kActionNextFrame } },
        { "Rewind", { kActionGotoFrame, 2, 0, 0, 0, kActionStop } },
    };
    constexpr uint8_t kAlignCenter = 2;
    uint16_t id = 10;
    std::vector<uint16_t> buttons;
    for (const Control& control : controls) {
        const uint16_t caption = id++;
        DefineText(movie, caption, bw, bh, 16 * kTwips, ink, kAlignCenter, control.caption);
        const uint16_t button = id++;
        DefineButton(movie, button, 1, 2, 3, caption, control.actions);
        buttons.push_back(button);
    }
    const uint16_t title = id++;
    DefineText(
        movie, title, (width - 40) * kTwips, 40 * kTwips, 24 * kTwips, ink, kAlignCenter, "Buttons drive this movie");
    const uint16_t hint = id++;
    DefineText(movie, hint, (width - 40) * kTwips, 24 * kTwips, 13 * kTwips, { 0x55, 0x5E, 0x73, 0xFF }, kAlignCenter,
        "Stop, step frame by frame, play again or rewind.");
    // A ball that crosses a track once over the movie's frames.
    const uint16_t track = id++;
    DefineShape3(movie, track, 0, 0, 400 * kTwips, 6 * kTwips, Solid({ 0xD8, 0xD2, 0xC2, 0xFF }), 0, {},
        [&](EdgeWriter& e) { RoundedBox(e, 400 * kTwips, 6 * kTwips, 3 * kTwips); });
    const uint16_t ball = id++;
    const int ballRadius = 18 * kTwips;
    DefineShape3(movie, ball, -ballRadius, -ballRadius, ballRadius, ballRadius,
        Gradient(kFillRadialGradient, -ballRadius * 3 / 2, -ballRadius * 3 / 2, ballRadius, ballRadius,
            { { 0, { 0xFF, 0xD9, 0x9E, 0xFF } }, { 255, { 0xE0, 0x52, 0x2B, 0xFF } } }),
        1 * kTwips, { 0x80, 0x2A, 0x10, 0xFF }, [&](EdgeWriter& e) { e.Circle(0, 0, ballRadius); });

    PlaceWithMatrix(movie, 1, title, false, 1, 0, 20 * kTwips, 24 * kTwips);
    PlaceWithMatrix(movie, 2, hint, false, 1, 0, 20 * kTwips, 66 * kTwips);
    PlaceWithMatrix(movie, 3, track, false, 1, 0, 40 * kTwips, 167 * kTwips);
    for (size_t i = 0; i < buttons.size(); ++i)
        PlaceWithMatrix(movie, uint16_t(10 + i), buttons[i], false, 1, 0, int(24 + i * 112) * kTwips, 250 * kTwips);
    for (int frame = 0; frame < kButtonFrames; ++frame) {
        const double t = double(frame) / (kButtonFrames - 1);
        PlaceWithMatrix(movie, 5, ball, frame > 0, 1, 0, int((40 + 400 * t) * kTwips), 170 * kTwips);
        ShowFrame(movie);
    }
    movie.AppendTag(kTagEnd, false, nullptr);
    header.MakeCompleteSWF(&movie);
}

bool Save(CSWFStream& movie, const std::string& path)
{
    if (movie.SaveToFile(path.c_str()))
        return true;
    std::fprintf(stderr, "make-demo-movie: cannot write %s\n", path.c_str());
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--playlist") != 0) {
        CSWFStream movie;
        MotionDemo(movie);
        return Save(movie, argv[1]) ? 0 : 1;
    }
    if (argc != 3 || std::strcmp(argv[1], "--playlist") != 0) {
        std::fprintf(stderr, "usage: make-demo-movie OUTPUT.swf | make-demo-movie --playlist FOLDER\n");
        return 2;
    }
    const std::string folder = argv[2];
    CSWFStream motion;
    MotionDemo(motion);
    CSWFStream art;
    ArtDemo(art);
    CSWFStream buttons;
    ButtonsDemo(buttons);
    const bool saved = Save(motion, folder + "/demo.swf") && Save(art, folder + "/gradients-and-morph.swf")
        && Save(buttons, folder + "/buttons-and-text.swf");
    return saved ? 0 : 1;
}
