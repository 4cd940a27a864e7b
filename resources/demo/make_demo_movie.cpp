// Writes Reelfinch's demo movie: a dark blue stage on which an orange square and a green triangle travel
// across 48 frames. Usage: make-demo-movie OUTPUT.swf
#include "HeaderItems.h"
#include "SWFStream.h"
#include "TagCodes.h"
#include "Tags.h"

#include <algorithm>
#include <cstdio>
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
    s.WriteBits(0, 1);         // not an edge
    s.WriteBits(0b01011, 5);   // line style, fill style 1, move to
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
        const unsigned char bits = std::max<unsigned char>(
            2, std::max(GetBitsCount(dx, true), GetBitsCount(dy, true)));
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

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-demo-movie OUTPUT.swf\n");
        return 2;
    }
    CSWFStream movie;
    CHeaderItem header;
    header.m_Version = kVersion;
    header.m_FrameRate = kFrameRate;
    header.m_pFrameRect->m_XMax = kStageWidth * kTwips;
    header.m_pFrameRect->m_YMax = kStageHeight * kTwips;
    header.WriteSWF(&movie);
    movie.WriteU16(kFrames);

    CSetBackGroundColorTag background;
    background.m_pColor->SetRGB({0x1B, 0x26, 0x3B});
    CSWFStream body;
    background.WriteSWF(&body);
    movie.AppendTag(kTagSetBackgroundColor, false, &body);

    const int side = 80 * kTwips;
    DefinePolygon(movie, 1, {{0, 0}, {side, 0}, {side, side}, {0, side}}, {0xF2, 0x8C, 0x28}, {0xFF, 0xE0, 0xB0});
    DefinePolygon(movie, 2, {{0, -side / 2}, {side / 2, side / 2}, {-side / 2, side / 2}}, {0x3C, 0xB3, 0x71},
                  {0xD0, 0xFF, 0xE0});

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
    if (!movie.SaveToFile(argv[1])) {
        std::fprintf(stderr, "make-demo-movie: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
