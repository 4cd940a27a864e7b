// Bitmap characters decoded into cairo image surfaces: DefineBits with the movie's JPEGTables, DefineBitsJPEG2 and
// DefineBitsJPEG3 (JPEG, or PNG or GIF with its own alpha: the separate alpha plane applies to JPEG data only),
// DefineBitsJPEG4 (the same with a deblocking strength), DefineBitsLossless and DefineBitsLossless2. Each bitmap is
// decoded once, on first use; a bitmap that cannot be decoded is remembered as missing and draws nothing.
#pragma once

#include "TagCodes.h"

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

class CTag;

namespace reelfinch::plugin {


// Decoded images are refused beyond this many pixels (the format allows 65535 x 65535).
inline constexpr uint64_t kMaxBitmapPixels = 64ull * 1024 * 1024;

// Decodes JPEG data into a new ARGB32 surface (opaque), or null. `tables` (may be empty) precede the data.
cairo_surface_t* DecodeJPEG(const uint8_t* tables, size_t tablesSize, const uint8_t* data, size_t size);
// Decodes a PNG file into a new ARGB32 surface (premultiplied), or null.
cairo_surface_t* DecodePNG(const uint8_t* data, size_t size);
// Inflates zlib data of exactly `expected` bytes (fewer when the data ends early: the rest stays 0).
bool Inflate(const uint8_t* data, size_t size, size_t expected, std::vector<uint8_t>& out);

class BitmapCache
{
public:
    BitmapCache() = default;
    ~BitmapCache();
    BitmapCache(const BitmapCache&) = delete;
    BitmapCache& operator=(const BitmapCache&) = delete;

    // The surface of a bitmap tag (kept by the cache), or null.
    cairo_surface_t* get(const CTag* tag, const CTag* jpegTables);

private:
    std::map<const CTag*, cairo_surface_t*> m_Surfaces;
};

} // namespace reelfinch::plugin
