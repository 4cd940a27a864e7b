// Pixels that scripts make and change (BitmapData): premultiplied 32-bit ARGB in rows, as cairo keeps image
// surfaces, so that the renderer draws them without a copy.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

namespace reelfinch::plugin {

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
