#include "render/BitmapPixels.h"

#include <algorithm>
#include <atomic>

namespace reelfinch::plugin {

namespace {

std::atomic<uint64_t> g_NextSerial { 1 };

} // namespace

BitmapPixels::BitmapPixels(int width, int height, bool transparent, uint32_t fill)
    : m_Width(width > 0 && height > 0 ? width : 0)
    , m_Height(width > 0 && height > 0 ? height : 0)
    , m_Transparent(transparent)
{
    if (!transparent)
        fill |= 0xFF000000u;
    m_Data.assign(size_t(m_Width) * size_t(m_Height), Premultiply(fill));
    changed();
}

BitmapPixels::~BitmapPixels()
{
    if (m_Surface)
        cairo_surface_destroy(m_Surface);
}

uint32_t BitmapPixels::Premultiply(uint32_t argb)
{
    const uint32_t a = argb >> 24;
    if (a == 255)
        return argb;
    auto part = [a](uint32_t c) { return (c * a + 127) / 255; };
    return a << 24 | part((argb >> 16) & 0xFF) << 16 | part((argb >> 8) & 0xFF) << 8 | part(argb & 0xFF);
}

uint32_t BitmapPixels::Unpremultiply(uint32_t pixel)
{
    const uint32_t a = pixel >> 24;
    if (a == 255)
        return pixel;
    if (a == 0)
        return 0;
    auto part = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
    return a << 24 | part((pixel >> 16) & 0xFF) << 16 | part((pixel >> 8) & 0xFF) << 8 | part(pixel & 0xFF);
}

uint32_t BitmapPixels::get(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_Width || y >= m_Height)
        return 0;
    return Unpremultiply(m_Data[size_t(y) * size_t(m_Width) + size_t(x)]);
}

void BitmapPixels::set(int x, int y, uint32_t argb)
{
    if (x < 0 || y < 0 || x >= m_Width || y >= m_Height)
        return;
    if (!m_Transparent)
        argb |= 0xFF000000u;
    m_Data[size_t(y) * size_t(m_Width) + size_t(x)] = Premultiply(argb);
}

void BitmapPixels::changed()
{
    m_Serial = g_NextSerial.fetch_add(1, std::memory_order_relaxed);
    if (m_Surface)
        cairo_surface_mark_dirty(m_Surface);
}

cairo_surface_t* BitmapPixels::surface()
{
    if (m_Data.empty())
        return nullptr;
    if (!m_Surface) {
        m_Surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(m_Data.data()),
            CAIRO_FORMAT_ARGB32, m_Width, m_Height, m_Width * 4);
        if (cairo_surface_status(m_Surface) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(m_Surface);
            m_Surface = nullptr;
        }
    }
    return m_Surface;
}

void BitmapPixels::release()
{
    if (m_Surface) {
        cairo_surface_destroy(m_Surface);
        m_Surface = nullptr;
    }
    m_Data.clear();
    m_Data.shrink_to_fit();
    m_Width = 0;
    m_Height = 0;
    changed();
}

} // namespace reelfinch::plugin
