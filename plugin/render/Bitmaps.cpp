#include "render/Bitmaps.h"

#include "Records.h"
#include "SWFStream.h"
#include "TagCodes.h"
#include "Tags.h"
#include "TagsModern.h"
#include "video/VideoDecoder.h"

#include <jpeglib.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace reelfinch::plugin {

namespace {

constexpr uint8_t kMarkerPrefix = 0xFF;
constexpr uint8_t kMarkerSOI = 0xD8;
constexpr uint8_t kMarkerEOI = 0xD9;
// Colour-mapped bitmaps and 15-bit bitmaps pad each row to this many bytes.
constexpr size_t kRowAlignment = 4;

struct JPEGErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
};

void JPEGErrorExit(j_common_ptr info)
{
    longjmp(reinterpret_cast<JPEGErrorManager*>(info->err)->jump, 1);
}

void JPEGSilence(j_common_ptr, int)
{ }
void JPEGNoOutput(j_common_ptr)
{ }

// Joins the tables and the image data into one JPEG stream. Movie writers put an end-of-image and a new
// start-of-image between them, and often one more pair at the very start of the data; every such pair is dropped,
// and whatever start and end markers then lead the stream become one start-of-image.
std::vector<uint8_t> JoinJPEG(const uint8_t* tables, size_t tablesSize, const uint8_t* data, size_t size)
{
    std::vector<uint8_t> joined;
    joined.reserve(tablesSize + size);
    if (tables)
        joined.insert(joined.end(), tables, tables + tablesSize);
    if (data)
        joined.insert(joined.end(), data, data + size);
    std::vector<uint8_t> pairsDropped;
    pairsDropped.reserve(joined.size());
    for (size_t i = 0; i < joined.size(); ++i) {
        if (i + 3 < joined.size() && joined[i] == kMarkerPrefix && joined[i + 1] == kMarkerEOI
            && joined[i + 2] == kMarkerPrefix && joined[i + 3] == kMarkerSOI) {
            i += 3;
            continue;
        }
        pairsDropped.push_back(joined[i]);
    }
    size_t start = 0;
    while (start + 1 < pairsDropped.size() && pairsDropped[start] == kMarkerPrefix
        && (pairsDropped[start + 1] == kMarkerSOI || pairsDropped[start + 1] == kMarkerEOI))
        start += 2;
    std::vector<uint8_t> out { kMarkerPrefix, kMarkerSOI };
    out.insert(out.end(), pairsDropped.begin() + long(start), pairsDropped.end());
    return out;
}

// The decoding proper; kept free of objects with destructors because libjpeg leaves it by longjmp.
bool DecodeJPEGInto(const uint8_t* data, size_t size, cairo_surface_t** result)
{
    jpeg_decompress_struct info;
    JPEGErrorManager error;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = JPEGErrorExit;
    error.base.emit_message = JPEGSilence;
    error.base.output_message = JPEGNoOutput;
    cairo_surface_t* volatile surface = nullptr;
    JSAMPLE* volatile row = nullptr;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        std::free(row);
        if (surface)
            cairo_surface_destroy(surface);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const unsigned width = info.output_width;
    const unsigned height = info.output_height;
    if (width == 0 || height == 0 || uint64_t(width) * height > kMaxBitmapPixels || info.output_components != 3) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(width), int(height));
    row = static_cast<JSAMPLE*>(std::malloc(size_t(width) * 3));
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || !row) {
        jpeg_destroy_decompress(&info);
        std::free(row);
        cairo_surface_destroy(surface);
        return false;
    }
    cairo_surface_flush(surface);
    unsigned char* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    while (info.output_scanline < height) {
        const unsigned y = info.output_scanline;
        JSAMPROW rows[1] = { row };
        if (jpeg_read_scanlines(&info, rows, 1) != 1)
            break;
        auto* out = reinterpret_cast<uint32_t*>(pixels + size_t(y) * size_t(stride));
        for (unsigned x = 0; x < width; ++x)
            out[x] = 0xFF000000u | (uint32_t(row[3 * x]) << 16) | (uint32_t(row[3 * x + 1]) << 8) | row[3 * x + 2];
    }
    // Data that ends early leaves the rest of the picture as it was created (transparent black).
    jpeg_abort_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::free(row);
    cairo_surface_mark_dirty(surface);
    *result = surface;
    return true;
}

// The bytes of a raw data record, whatever its class.
const CSWFStream* BytesOf(const CDumpItem* item)
{
    return item && item->m_pData ? item->m_pData.get() : nullptr;
}

// The plain bytes of zlib data kept by swflib: decompressed already, or inflated here.
bool PlainBytes(const CZDumpItem* item, size_t expected, std::vector<uint8_t>& out)
{
    const CSWFStream* bytes = BytesOf(item);
    if (!bytes)
        return false;
    if (item->IsCompressed())
        return Inflate(bytes->GetBuffer(), bytes->GetSize(), expected, out);
    out.assign(bytes->GetBuffer(), bytes->GetBuffer() + bytes->GetSize());
    out.resize(expected, 0);
    return true;
}

uint8_t Premultiply(uint8_t component, uint8_t alpha)
{
    return uint8_t((unsigned(component) * alpha + 127) / 255);
}

cairo_surface_t* DecodeLossless(const CBitsLossLessItem* bitmap, bool withAlpha)
{
    const unsigned width = bitmap->m_BitmapWidth;
    const unsigned height = bitmap->m_BitmapHeight;
    if (width == 0 || height == 0 || uint64_t(width) * height > kMaxBitmapPixels)
        return nullptr;
    const uint8_t format = bitmap->m_BitmapFormat;
    size_t expected = 0;
    size_t tableSize = 0;
    size_t rowBytes = 0;
    const size_t colorBytes = withAlpha ? 4 : 3;
    if (format == kBitmapColorMapped8) {
        tableSize = size_t(bitmap->m_BitmapColorTableSize) + 1;
        rowBytes = (width + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
        expected = tableSize * colorBytes + rowBytes * height;
    } else if (format == kBitmapRGB15) {
        rowBytes = (size_t(width) * 2 + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
        expected = rowBytes * height;
    } else if (format == kBitmapRGB32) {
        rowBytes = size_t(width) * 4;
        expected = rowBytes * height;
    } else {
        return nullptr;
    }
    std::vector<uint8_t> plain;
    if (!PlainBytes(bitmap->m_pZlibBitmapData.get(), expected, plain))
        return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(width), int(height));
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    unsigned char* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    auto pack = [withAlpha](uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
        if (!withAlpha)
            a = 0xFF;
        // Movies store premultiplied colours; a component above its alpha is clamped to keep cairo's invariant.
        r = std::min(r, a);
        g = std::min(g, a);
        b = std::min(b, a);
        return (uint32_t(a) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
    };
    std::vector<uint32_t> table(tableSize, 0);
    for (size_t i = 0; i < tableSize; ++i) {
        const uint8_t* c = plain.data() + i * colorBytes;
        table[i] = pack(withAlpha ? c[3] : 0xFF, c[0], c[1], c[2]);
    }
    const uint8_t* body = plain.data() + tableSize * colorBytes;
    for (unsigned y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<uint32_t*>(pixels + size_t(y) * size_t(stride));
        const uint8_t* in = body + size_t(y) * rowBytes;
        for (unsigned x = 0; x < width; ++x) {
            if (format == kBitmapColorMapped8) {
                out[x] = in[x] < tableSize ? table[in[x]] : 0;
            } else if (format == kBitmapRGB15) {
                const unsigned v = (unsigned(in[2 * x]) << 8) | in[2 * x + 1];
                auto expand = [](unsigned c5) { return uint8_t((c5 << 3) | (c5 >> 2)); };
                out[x] = pack(0xFF, expand((v >> 10) & 0x1F), expand((v >> 5) & 0x1F), expand(v & 0x1F));
            } else {
                const uint8_t* p = in + 4 * size_t(x);
                out[x] = pack(p[0], p[1], p[2], p[3]);
            }
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

// Reads a PNG held in memory for cairo's stream reader.
struct PNGSource {
    const uint8_t* data;
    size_t size;
    size_t at;
};

cairo_status_t ReadPNGBytes(void* closure, unsigned char* out, unsigned int length)
{
    auto* source = static_cast<PNGSource*>(closure);
    if (source->size - source->at < length)
        return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, source->data + source->at, length);
    source->at += length;
    return CAIRO_STATUS_SUCCESS;
}

bool IsPNG(const uint8_t* data, size_t size)
{
    static constexpr uint8_t kSignature[] = { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A };
    return size >= sizeof(kSignature) && std::memcmp(data, kSignature, sizeof(kSignature)) == 0;
}

bool IsGIF(const uint8_t* data, size_t size)
{
    return size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
}

} // namespace

cairo_surface_t* DecodePNG(const uint8_t* data, size_t size)
{
    if (!IsPNG(data, size))
        return nullptr;
    PNGSource source { data, size, 0 };
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(ReadPNGBytes, &source);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    const uint64_t pixels
        = uint64_t(cairo_image_surface_get_width(surface)) * uint64_t(cairo_image_surface_get_height(surface));
    if (pixels == 0 || pixels > kMaxBitmapPixels) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    // cairo keeps PNGs without alpha as RGB24; the renderer's surfaces are all ARGB32.
    if (cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) {
        cairo_surface_t* argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32,
            cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface));
        cairo_t* cr = cairo_create(argb);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
        cairo_set_source_surface(cr, surface, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
        if (cairo_surface_status(argb) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(argb);
            return nullptr;
        }
        cairo_surface_flush(argb);
        return argb;
    }
    return surface;
}

namespace {

// The picture of DefineBitsJPEG2 or 3 data, which may be a JPEG stream, a PNG file or a GIF file, told apart by
// their first bytes. `isJPEG` says which it was: a separate alpha plane applies to JPEG data only.
cairo_surface_t* DecodeJPEGTag(const CDumpItem* jpeg, const CTag* tables, bool* isJPEG = nullptr)
{
    const CSWFStream* bytes = BytesOf(jpeg);
    if (!bytes || bytes->GetSize() == 0)
        return nullptr;
    if (isJPEG)
        *isJPEG = false;
    if (IsPNG(bytes->GetBuffer(), bytes->GetSize()))
        return DecodePNG(bytes->GetBuffer(), bytes->GetSize());
    if (IsGIF(bytes->GetBuffer(), bytes->GetSize()))
        return video::DecodeGIF(bytes->GetBuffer(), bytes->GetSize());
    if (isJPEG)
        *isJPEG = true;
    const CSWFStream* tableBytes = nullptr;
    if (auto* t = dynamic_cast<const CJPEGTablesTag*>(tables))
        tableBytes = BytesOf(t->m_pData.get());
    return DecodeJPEG(tableBytes ? tableBytes->GetBuffer() : nullptr, tableBytes ? tableBytes->GetSize() : 0,
        bytes->GetBuffer(), bytes->GetSize());
}

// Applies an alpha plane of one byte per pixel (already inflated); the colours become premultiplied.
void ApplyAlphaBytes(cairo_surface_t* surface, const std::vector<uint8_t>& alpha)
{
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    if (alpha.size() < size_t(width) * size_t(height))
        return;
    cairo_surface_flush(surface);
    unsigned char* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(pixels + size_t(y) * size_t(stride));
        for (int x = 0; x < width; ++x) {
            const uint8_t a = alpha[size_t(y) * size_t(width) + size_t(x)];
            const uint32_t p = row[x];
            row[x] = (uint32_t(a) << 24) | (uint32_t(Premultiply(uint8_t(p >> 16), a)) << 16)
                | (uint32_t(Premultiply(uint8_t(p >> 8), a)) << 8) | Premultiply(uint8_t(p), a);
        }
    }
    cairo_surface_mark_dirty(surface);
}

// Applies DefineBitsJPEG3's alpha plane as swflib keeps it.
void ApplyAlpha(cairo_surface_t* surface, const CZDumpItem* alphaData)
{
    const size_t pixels
        = size_t(cairo_image_surface_get_width(surface)) * size_t(cairo_image_surface_get_height(surface));
    std::vector<uint8_t> alpha;
    if (!BytesOf(alphaData) || BytesOf(alphaData)->GetSize() == 0 || !PlainBytes(alphaData, pixels, alpha))
        return;
    ApplyAlphaBytes(surface, alpha);
}

} // namespace

cairo_surface_t* DecodeJPEG(const uint8_t* tables, size_t tablesSize, const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> joined = JoinJPEG(tables, tablesSize, data, size);
    if (joined.size() < 4)
        return nullptr;
    cairo_surface_t* surface = nullptr;
    return DecodeJPEGInto(joined.data(), joined.size(), &surface) ? surface : nullptr;
}

bool Inflate(const uint8_t* data, size_t size, size_t expected, std::vector<uint8_t>& out)
{
    out.assign(expected, 0);
    if (!data || size == 0 || size > UINT32_MAX || expected > UINT32_MAX)
        return false;
    z_stream zs {};
    if (inflateInit(&zs) != Z_OK)
        return false;
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = static_cast<uInt>(size);
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(expected);
    const int status = inflate(&zs, Z_FINISH);
    inflateEnd(&zs);
    // Data that ends early or breaks off still gives what it held; a stream with nothing readable gives nothing.
    return status == Z_STREAM_END || zs.total_out > 0;
}

BitmapCache::~BitmapCache()
{
    for (auto& [tag, surface] : m_Surfaces)
        if (surface)
            cairo_surface_destroy(surface);
}

cairo_surface_t* BitmapCache::get(const CTag* tag, const CTag* jpegTables)
{
    if (!tag)
        return nullptr;
    auto found = m_Surfaces.find(tag);
    if (found != m_Surfaces.end())
        return found->second;
    cairo_surface_t* surface = nullptr;
    if (auto* bits = dynamic_cast<const CDefineBitsTag*>(tag)) {
        surface = DecodeJPEGTag(bits->m_pJPEGData.get(), jpegTables);
    } else if (auto* jpeg2 = dynamic_cast<const CDefineBitsJPEG2Tag*>(tag)) {
        surface = DecodeJPEGTag(jpeg2->m_pJPEGData.get(), nullptr);
    } else if (auto* jpeg3 = dynamic_cast<const CDefineBitsJPEG3Tag*>(tag)) {
        bool isJPEG = false;
        surface = DecodeJPEGTag(jpeg3->m_pJPEGData.get(), nullptr, &isJPEG);
        if (surface && isJPEG)
            ApplyAlpha(surface, jpeg3->m_pAlphaData.get());
    } else if (auto* jpeg4 = dynamic_cast<const CDefineBitsJPEG4Tag*>(tag)) {
        // The deblocking strength is not applied: libjpeg has no deblocking filter, and the picture is drawn as
        // decoded.
        bool isJPEG = false;
        surface = DecodeJPEGTag(jpeg4->m_pJPEGData.get(), nullptr, &isJPEG);
        if (surface && isJPEG)
            ApplyAlpha(surface, jpeg4->m_pAlphaData.get());
    } else if (auto* lossless = dynamic_cast<const CBitsLossLessTag*>(tag); lossless && lossless->m_pBitmap) {
        surface = DecodeLossless(lossless->m_pBitmap.get(), tag->m_TagCode == kTagDefineBitsLossless2);
    }
    m_Surfaces[tag] = surface;
    return surface;
}

} // namespace reelfinch::plugin
