// Builds small movies with swflib for the plug-in's tests: shapes with each kind of fill, bitmaps, morphs, fonts
// and text, sprites, buttons and frame actions, written as a real SWF file.
#pragma once

#include "Actions.h"
#include "HeaderItems.h"
#include "Movie.h"
#include "Records.h"
#include "SWFStream.h"
#include "TagCodes.h"
#include "Tags.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plugintest {

inline constexpr int kTwips = 20;

struct Color {
    uint8_t r, g, b, a = 255;
};

std::unique_ptr<CMatrixItem> Translate(int x, int y, float sx = 1, float sy = 1);
std::unique_ptr<CFillStyleItem> SolidFill(Color c, unsigned char style);
// `modes`: the high bits of the gradient's count byte as swflib keeps them (spread mode above interpolation mode).
std::unique_ptr<CFillStyleItem> GradientFill(uint8_t type, const std::vector<std::pair<uint8_t, Color>>& stops,
    const CMatrixItem& matrix, unsigned char style, uint8_t modes = 0);
std::unique_ptr<CFillStyleItem> BitmapFill(
    uint8_t type, uint16_t bitmap, const CMatrixItem& matrix, unsigned char style);
// Appends a closed rectangle (twips) drawn with fill style `fill1` on its inside and line style `line`.
void AddRect(CShapeItem& shape, int x0, int y0, int x1, int y1, uint32_t fill1, uint32_t line = 0);

// Writes the format's bit fields, most significant bit first, and its little-endian numbers (from a byte
// boundary), for tag bodies that swflib keeps whole.
struct BitWriter {
    std::vector<uint8_t> out;
    int bit = 0;

    void put(uint32_t value, int n)
    {
        for (int i = n - 1; i >= 0; --i) {
            if (bit == 0)
                out.push_back(0);
            out.back() = uint8_t(out.back() | (((value >> i) & 1u) << (7 - bit)));
            bit = (bit + 1) % 8;
        }
    }
    void u8(uint8_t v) { bit = 0, put(v, 8); }
    void u16(uint16_t v) { u8(uint8_t(v)), u8(uint8_t(v >> 8)); }
};

class MovieBuilder
{
public:
    MovieBuilder(int widthPixels, int heightPixels, float frameRate = 12.0f, uint8_t version = 8);

    void background(Color c);
    // A DefineShape (style 1), DefineShape2 (2) or DefineShape3 (3) rectangle; `fills` and `lines` as given.
    void shape(uint16_t id, int x0, int y0, int x1, int y1, std::vector<std::unique_ptr<CFillStyleItem>> fills,
        int shapeVersion = 3, uint16_t lineWidth = 0, Color lineColor = { 0, 0, 0 }, bool fillInside = true);
    void rectShape(uint16_t id, int x0, int y0, int x1, int y1, Color c, int shapeVersion = 3);
    void place(uint16_t depth, uint16_t id, int x, int y, const CCXFormItem* cx = nullptr, uint16_t clipDepth = 0,
        const char* name = nullptr);
    void placeRatio(uint16_t depth, uint16_t id, uint16_t ratio);
    void move(uint16_t depth, int x, int y);
    void placeObject1(uint16_t depth, uint16_t id, int x, int y);
    void remove(uint16_t depth);
    void remove1(uint16_t depth, uint16_t id);
    void label(const std::string& name);
    // A DoAction with the given action codes (no operands), or with a GotoFrame / GotoLabel / GetURL.
    void actions(const std::vector<uint8_t>& codes);
    void gotoFrameAction(uint16_t frame);
    void gotoLabelAction(const std::string& label);
    void getURLAction(const std::string& url, const std::string& target);
    void showFrame();
    void raw(uint16_t code, const std::vector<uint8_t>& body);
    void tag(uint16_t code, CTag& tag);

    std::vector<uint8_t> finish();
    int frames() const { return m_Frames; }
    CSWFStream& stream() { return m_Movie; }

private:
    CHeaderItem m_Header;
    CSWFStream m_Movie;
    uint32_t m_CountPosition = 0;
    int m_Frames = 0;
};

// The tags of a sprite, ended by End, for DefineSprite.
class SpriteBuilder
{
public:
    void place(uint16_t depth, uint16_t id, int x, int y, uint16_t clipDepth = 0);
    void move(uint16_t depth, int x, int y);
    void actions(const std::vector<uint8_t>& codes);
    void showFrame();
    void define(MovieBuilder& movie, uint16_t id);

private:
    CSWFStream m_Tags;
    int m_Frames = 0;
};

// A JPEG file of one colour, made with libjpeg.
std::vector<uint8_t> SolidJPEG(int width, int height, Color c);
// A PNG file of the given pixels (0xAARRGGBB, not premultiplied, row after row), made with cairo.
std::vector<uint8_t> SolidPNG(int width, int height, const std::vector<uint32_t>& argb);

} // namespace plugintest
