// Pixels that scripts make and change (BitmapData): premultiplied 32-bit ARGB in rows, as cairo keeps image
// surfaces, so that the renderer draws them without a copy.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

namespace reelfinch::plugin {

// The player's random sequence for bitmap noise: the minimal standard multiplicative generator (state times
// 16807 modulo 2^31 - 1). A seed of 0 or less starts from 1 - seed, so 0 acts as 1 and -1 as 2.
class PlayerRandom
{
public:
    explicit PlayerRandom(int32_t seed);
    uint32_t next();

private:
    int64_t m_State;
};

// The order in which a dissolve of `area` pixels visits them: position i (taken modulo the area) names pixel
// (i * step) modulo area, with a step coprime to the area so that `area` positions visit every pixel once.
int64_t DissolveIndex(int64_t position, int64_t area);

class BitmapPixels
{
public:
    BitmapPixels(int width, int height, bool transparent, uint32_t fill);
    ~BitmapPixels();
    BitmapPixels(const BitmapPixels&) = delete;
    BitmapPixels& operator=(const BitmapPixels&) = delete;

    int width() const { return m_Width; }
    int height() const { return m_Height; }
    bool transparent() const { return m_Transparent; }
    // Premultiplied pixels, row after row.
    uint32_t* data() { return m_Data.data(); }
    const uint32_t* data() const { return m_Data.data(); }
    // A pixel as scripts see it (ARGB, not premultiplied), and set from that form; outside the bitmap reads 0
    // and writes nothing.
    uint32_t get(int x, int y) const;
    void set(int x, int y, uint32_t argb);
    // After the pixels changed: pictures made from them are stale.
    void changed();
    uint64_t serial() const { return m_Serial; }
    // An image surface on the pixels (made once; valid while this lives); null for a bitmap of no pixels.
    cairo_surface_t* surface();
    // The bitmap's memory is released (dispose): it becomes 0 by 0.
    void release();

    // Fills the bitmap with random values from `seed` (see PlayerRandom), row after row: per pixel one value
    // for each channel asked for (red 1, green 2, blue 4, alpha 8, in that order), or one grey value for red,
    // green and blue then one for alpha. Values lie in [low, high]; channels not asked for are 0, alpha 255.
    void noise(int32_t seed, int low, int high, int channels, bool grey);
    // Changes the pixels of the rectangle (cut to the bitmap) by a colour transform: red, green, blue and alpha
    // multipliers, then their offsets. Each channel of the unmultiplied pixel becomes c * m + o, with m taken in
    // 255ths over 256 as the player does, cut to 0 to 255; an opaque bitmap keeps its alpha, and a transform that
    // changes nothing leaves every pixel.
    void colorTransform(int x, int y, int width, int height, const double transform[8]);

    static uint32_t Premultiply(uint32_t argb);
    static uint32_t Unpremultiply(uint32_t pixel);

private:
    int m_Width;
    int m_Height;
    bool m_Transparent;
    std::vector<uint32_t> m_Data;
    cairo_surface_t* m_Surface = nullptr;
    uint64_t m_Serial = 0;
};

} // namespace reelfinch::plugin
