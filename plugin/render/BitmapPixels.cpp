#include "render/BitmapPixels.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numeric>

namespace reelfinch::plugin {

namespace {

std::atomic<uint64_t> g_NextSerial { 1 };

constexpr int64_t kRandomModulus = 2147483647;

} // namespace

PlayerRandom::PlayerRandom(int32_t seed)
{
    int64_t s = seed <= 0 ? 1 - int64_t(seed) : int64_t(seed);
    s %= kRandomModulus;
    m_State = s == 0 ? 1 : s;
}

uint32_t PlayerRandom::next()
{
    m_State = m_State * 16807 % kRandomModulus;
    return uint32_t(m_State);
}

int64_t DissolveIndex(int64_t position, int64_t area)
{
    if (area <= 0)
        return 0;
    // A step near the golden section of the area spreads consecutive pixels over the whole region.
    int64_t step = std::max<int64_t>(1, area * 618 / 1000);
    while (std::gcd(step, area) != 1)
        ++step;
    const int64_t p = ((position % area) + area) % area;
    return p * (step % area) % area;
}

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

void BitmapPixels::noise(int32_t seed, int low, int high, int channels, bool grey)
{
    low = std::clamp(low, 0, 255);
    high = std::clamp(high, 0, 255);
    const uint32_t range = high >= low ? uint32_t(high - low + 1) : 0;
    PlayerRandom random(seed);
    auto value = [&] { return range ? uint32_t(low) + random.next() % range : uint32_t(low); };
    for (int y = 0; y < m_Height; ++y) {
        for (int x = 0; x < m_Width; ++x) {
            uint32_t r = 0, g = 0, b = 0, a = 255;
            if (grey) {
                r = g = b = value();
            } else {
                if (channels & 1)
                    r = value();
                if (channels & 2)
                    g = value();
                if (channels & 4)
                    b = value();
            }
            if (channels & 8)
                a = value();
            set(x, y, a << 24 | r << 16 | g << 8 | b);
        }
    }
    changed();
}

void BitmapPixels::colorTransform(int x, int y, int width, int height, const double transform[8])
{
    // A transform that changes nothing leaves the pixels as they are, and so does one that only multiplies alpha
    // by 1 or more (the player ignores it). Any other takes each multiplier in 255ths and divides by 256 (so that
    // 1 loses a little, as the player's does), with whole offsets; both are kept within a range that cannot
    // overflow.
    if (transform[0] == 1 && transform[1] == 1 && transform[2] == 1 && transform[3] >= 1 && transform[4] == 0
        && transform[5] == 0 && transform[6] == 0 && transform[7] == 0)
        return;
    int32_t scale[4];
    int32_t offset[4];
    for (int i = 0; i < 4; ++i) {
        const double m = transform[i] * 255;
        const double o = transform[i + 4];
        scale[i] = std::isfinite(m) ? int32_t(std::clamp(m, -65536.0, 65536.0)) : 0;
        offset[i] = std::isfinite(o) ? int32_t(std::clamp(o, -65536.0, 65536.0)) : 0;
    }
    const int64_t x0 = std::max(x, 0);
    const int64_t y0 = std::max(y, 0);
    const int64_t x1 = std::min<int64_t>(int64_t(x) + std::max(width, 0), m_Width);
    const int64_t y1 = std::min<int64_t>(int64_t(y) + std::max(height, 0), m_Height);
    auto channel = [&](uint32_t c, int i) {
        return uint32_t(std::clamp((int32_t(c) * scale[i] >> 8) + offset[i], 0, 255));
    };
    for (int64_t row = y0; row < y1; ++row)
        for (int64_t column = x0; column < x1; ++column) {
            uint32_t& pixel = m_Data[size_t(row) * size_t(m_Width) + size_t(column)];
            const uint32_t argb = Unpremultiply(pixel);
            const uint32_t a = m_Transparent ? channel(argb >> 24, 3) : 255;
            const uint32_t out = a << 24 | channel((argb >> 16) & 0xFF, 0) << 16 | channel((argb >> 8) & 0xFF, 1) << 8
                | channel(argb & 0xFF, 2);
            pixel = Premultiply(out);
        }
    changed();
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
