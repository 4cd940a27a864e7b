#include "video/VideoDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace reelfinch::plugin::video {

namespace {

AVCodecID CodecIdFor(uint8_t codec)
{
    switch (codec) {
    case kCodecH263: return AV_CODEC_ID_FLV1;
    case kCodecScreenVideo: return AV_CODEC_ID_FLASHSV;
    // The format's VP6 pictures are stored bottom row first, as the flipped variant of the codec expects.
    case kCodecVP6: return AV_CODEC_ID_VP6F;
    case kCodecVP6Alpha: return AV_CODEC_ID_VP6A;
    case kCodecScreenVideo2: return AV_CODEC_ID_FLASHSV2;
    case kCodecAVC: return AV_CODEC_ID_H264;
    case kCodecGIF: return AV_CODEC_ID_GIF;
    default: return AV_CODEC_ID_NONE;
    }
}

// Reads bit fields, most significant bit first; reading past the end gives zeros and sets `over`.
struct Bits {
    const uint8_t* data;
    size_t size;
    size_t pos = 0; // in bits
    bool over = false;

    uint32_t get(int n)
    {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++pos) {
            const size_t byte = pos / 8;
            if (byte >= size) {
                over = true;
                v <<= 1;
                continue;
            }
            v = (v << 1) | ((data[byte] >> (7 - pos % 8)) & 1u);
        }
        return v;
    }
};

// Reads a Sorenson H.263 picture header up to its picture type (0 intra, 1 inter, 2 disposable inter) and the
// picture's size; false when the start code is missing. `bits` is left after the type.
bool H263PictureType(Bits& bits, uint32_t& type, int64_t* pixels = nullptr)
{
    if (bits.get(17) != 1)
        return false;
    bits.get(5); // version
    bits.get(8); // temporal reference
    int64_t width = 0;
    int64_t height = 0;
    switch (bits.get(3)) {
    case 0: width = bits.get(8); height = bits.get(8); break;
    case 1: width = bits.get(16); height = bits.get(16); break;
    case 2: width = 352; height = 288; break;
    case 3: width = 176; height = 144; break;
    case 4: width = 128; height = 96; break;
    case 5: width = 320; height = 240; break;
    case 6: width = 160; height = 120; break;
    default: break;
    }
    if (pixels)
        *pixels = width * height;
    type = bits.get(2);
    return !bits.over;
}

// Whether a Sorenson H.263 picture claims more pixels than a video may have: such a picture is not handed to the
// decoder, which would allocate and conceal all of it before the size is refused.
bool H263TooLarge(const uint8_t* data, size_t size)
{
    Bits bits { data, size };
    uint32_t type = 0;
    int64_t pixels = 0;
    return H263PictureType(bits, type, &pixels) && pixels > kMaxVideoPixels;
}

bool H263KeyFrame(const uint8_t* data, size_t size)
{
    Bits bits { data, size };
    uint32_t type = 0;
    return H263PictureType(bits, type) && type == 0;
}

// The deblocking flag and quantizer of a Sorenson H.263 picture header; false when the header cannot be read.
bool H263Deblocking(const uint8_t* data, size_t size, bool& flag, int& quantizer)
{
    Bits bits { data, size };
    uint32_t type = 0;
    if (!H263PictureType(bits, type))
        return false;
    flag = bits.get(1) != 0;
    quantizer = int(bits.get(5));
    return !bits.over;
}

// The H.263 deblocking filter's strength for each quantizer.
constexpr std::array<int, 32> kDeblockStrength = { 0, 1, 1, 2, 2, 3, 3, 4, 4, 4, 5, 5, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9,
    9, 10, 10, 10, 11, 11, 11, 12, 12, 12 };
// A stream keeps at most this many copies of pictures decoded before, of at most this many pixels in all.
constexpr size_t kMaxKeptVideoPictures = 8;
constexpr int64_t kMaxKeptVideoPixels = int64_t(4) << 20;

uint8_t Clamp255(int v)
{
    return uint8_t(std::clamp(v, 0, 255));
}

// Smooths one block edge between a b | c d (`step` apart): the edge pair moves together by the ramped
// difference, the outer pair by a quarter of their own difference, at most half the edge pair's move. Every
// division rounds down (arithmetic shifts), so steps down across an edge move a level further than steps up.
void DeblockEdge(uint8_t* c, ptrdiff_t step, int strength)
{
    const int a = c[-2 * step], b = c[-step], cc = c[0], d = c[step];
    const int diff = (a - 4 * b + 4 * cc - d) >> 3;
    const int magnitude = std::abs(diff);
    const int ramp = std::max(0, magnitude - std::max(0, 2 * (magnitude - strength)));
    const int d1 = diff < 0 ? -ramp : ramp;
    const int limit = std::abs(d1 >> 1);
    const int d2 = std::clamp((a - d) >> 2, -limit, limit);
    c[-2 * step] = Clamp255(a - d2);
    c[-step] = Clamp255(b + d1);
    c[0] = Clamp255(cc - d1);
    c[step] = Clamp255(d + d2);
}

} // namespace

void DeblockPlane(uint8_t* plane, ptrdiff_t stride, int width, int height, int strength)
{
    for (int y = 8; y < height - 1; y += 8)
        for (int x = 0; x < width; ++x)
            DeblockEdge(plane + y * stride + x, stride, strength);
    for (int y = 0; y < height; ++y)
        for (int x = 8; x < width - 1; x += 8)
            DeblockEdge(plane + y * stride + x, 1, strength);
}

namespace {

// A Screen Video 1 packet is whole when every block of the image carries data.
bool ScreenVideoKeyFrame(const uint8_t* data, size_t size)
{
    if (size < 4)
        return false;
    const int blockWidth = ((data[0] >> 4) + 1) * 16;
    const int width = ((data[0] & 0x0F) << 8) | data[1];
    const int blockHeight = ((data[2] >> 4) + 1) * 16;
    const int height = ((data[2] & 0x0F) << 8) | data[3];
    if (width == 0 || height == 0)
        return false;
    const int blocks = ((width + blockWidth - 1) / blockWidth) * ((height + blockHeight - 1) / blockHeight);
    size_t pos = 4;
    for (int i = 0; i < blocks; ++i) {
        if (pos + 2 > size)
            return false;
        const size_t blockSize = (size_t(data[pos]) << 8) | data[pos + 1];
        if (blockSize == 0)
            return false;
        pos += 2 + blockSize;
    }
    return pos <= size;
}

bool AvcKeyFrame(const uint8_t* data, size_t size)
{
    // Packet type 1 (NAL units), 24-bit composition time, then NAL units each after a 4-byte length.
    if (size < 4 || data[0] != 1)
        return false;
    size_t pos = 4;
    while (pos + 5 <= size) {
        const size_t length = (size_t(data[pos]) << 24) | (size_t(data[pos + 1]) << 16) | (size_t(data[pos + 2]) << 8)
            | data[pos + 3];
        if ((data[pos + 4] & 0x1F) == 5) // a coded slice of an IDR picture
            return true;
        if (length > size - pos - 4)
            break;
        pos += 4 + length;
    }
    return false;
}

// Studio-range YCbCr to RGB in 16.16 fixed point, as the player converts it: luma from 16..235 to 0..255, the
// chroma weights of BT.601 rounded to 1/65536, each sum rounded once by adding a half and shifting. A sum a hair
// off a half rounds the way its fixed-point value falls, which is not always the way the exact sum would.
constexpr int kYuvShift = 16;
constexpr int32_t kYuvHalf = 1 << (kYuvShift - 1);
constexpr int32_t kLumaScale = 76309; // 255 / 219
constexpr int32_t kRedFromV = 104597; // 1.596027
constexpr int32_t kGreenFromU = -25675; // -0.391762
constexpr int32_t kGreenFromV = -53279; // -0.812968
constexpr int32_t kBlueFromU = 132202; // 2.017232

struct YuvTables {
    std::array<int32_t, 256> y, rv, gu, gv, bu;
    YuvTables()
    {
        for (int i = 0; i < 256; ++i) {
            y[size_t(i)] = kLumaScale * (i - 16) + kYuvHalf;
            rv[size_t(i)] = kRedFromV * (i - 128);
            gu[size_t(i)] = kGreenFromU * (i - 128);
            gv[size_t(i)] = kGreenFromV * (i - 128);
            bu[size_t(i)] = kBlueFromU * (i - 128);
        }
    }
};

const YuvTables& Tables()
{
    static const YuvTables tables;
    return tables;
}

// A fixed-point sum (the half already added) as a byte: shifted down, cut to 0..255.
inline uint8_t FixedToByte(int32_t v)
{
    return uint8_t(std::clamp(v >> kYuvShift, 0, 255));
}

inline void YuvPixel(const YuvTables& t, int y, int u, int v, uint8_t& r, uint8_t& g, uint8_t& b)
{
    const int32_t c = t.y[size_t(y & 0xFF)];
    r = FixedToByte(c + t.rv[size_t(v & 0xFF)]);
    g = FixedToByte(c + t.gu[size_t(u & 0xFF)] + t.gv[size_t(v & 0xFF)]);
    b = FixedToByte(c + t.bu[size_t(u & 0xFF)]);
}

} // namespace

bool IsKeyFrame(uint8_t codec, const uint8_t* data, size_t size)
{
    if (!data || size == 0)
        return false;
    switch (codec) {
    case kCodecH263: return H263KeyFrame(data, size);
    case kCodecScreenVideo: return ScreenVideoKeyFrame(data, size);
    case kCodecVP6: return (data[0] & 0x80) == 0;
    case kCodecVP6Alpha: return size > 3 && (data[3] & 0x80) == 0; // after the 24-bit offset of the alpha data
    case kCodecAVC: return AvcKeyFrame(data, size);
    default: return false; // Screen Video 2 may refer to earlier frames in ways its header does not show
    }
}

void YuvToRgb(int y, int u, int v, uint8_t& r, uint8_t& g, uint8_t& b)
{
    YuvPixel(Tables(), y, u, v, r, g, b);
}

cairo_surface_t* DecodeGIF(const uint8_t* data, size_t size)
{
    Decoder decoder(kCodecGIF, 0);
    if (!decoder.decode(data, size) || !decoder.picture())
        return nullptr;
    return cairo_surface_reference(decoder.picture());
}

Decoder::Decoder(uint8_t codec, uint8_t deblocking)
    : m_Codec(codec)
    , m_Deblocking(deblocking)
{
    m_Packet = av_packet_alloc();
    m_Frame = av_frame_alloc();
    if (m_Packet && m_Frame)
        open(nullptr, 0);
}

Decoder::~Decoder()
{
    avcodec_free_context(&m_Context);
    av_packet_free(&m_Packet);
    av_frame_free(&m_Frame);
    sws_freeContext(m_Scaler);
    if (m_Picture)
        cairo_surface_destroy(m_Picture);
}

bool Decoder::open(const uint8_t* extra, size_t extraSize)
{
    avcodec_free_context(&m_Context);
    const AVCodecID id = CodecIdFor(m_Codec);
    const AVCodec* codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
    if (!codec)
        return false;
    m_Context = avcodec_alloc_context3(codec);
    if (!m_Context)
        return false;
    // One thread: the engine's sandbox allows no new threads, and frames come out as soon as they go in.
    m_Context->thread_count = 1;
    m_Context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    // Sorenson H.263 pictures come out as the player shows them with the floating-point inverse DCT.
    if (m_Codec == kCodecH263)
        m_Context->idct_algo = FF_IDCT_FAAN;
    if (m_Deblocking == kDeblockingOff)
        m_Context->skip_loop_filter = AVDISCARD_ALL;
    if (extra && extraSize > 0 && extraSize < (1u << 20)) {
        m_Context->extradata = static_cast<uint8_t*>(av_mallocz(extraSize + AV_INPUT_BUFFER_PADDING_SIZE));
        if (m_Context->extradata) {
            std::memcpy(m_Context->extradata, extra, extraSize);
            m_Context->extradata_size = int(extraSize);
        }
    }
    if (avcodec_open2(m_Context, codec, nullptr) < 0) {
        avcodec_free_context(&m_Context);
        return false;
    }
    return true;
}

void Decoder::reset()
{
    if (m_Context)
        avcodec_flush_buffers(m_Context);
}

bool Decoder::decode(const uint8_t* data, size_t size)
{
    if (!m_Context || !data || size == 0 || size > (1u << 28))
        return false;
    if (m_Codec == kCodecAVC) {
        // AVC packets: a type byte and a 24-bit composition time before the configuration record (type 0) or
        // the NAL units (type 1).
        if (size < 4)
            return false;
        if (data[0] == 0) {
            open(data + 4, size - 4); // the decoder starts again with the new configuration
            return false;
        }
        if (data[0] != 1)
            return false;
        data += 4;
        size -= 4;
        if (size == 0)
            return false;
    }
    if (m_Codec == kCodecH263 && H263TooLarge(data, size))
        return false;
    // Sorenson H.263 says in each picture whether to deblock it; the stream's setting may turn that off or on.
    m_DeblockStrength = 0;
    bool flag = false;
    int quantizer = 0;
    if (m_Codec == kCodecH263 && m_Deblocking != kDeblockingOff && H263Deblocking(data, size, flag, quantizer)
        && (flag || m_Deblocking > kDeblockingOff))
        m_DeblockStrength = kDeblockStrength[size_t(quantizer)];
    if (av_new_packet(m_Packet, int(size)) < 0)
        return false;
    std::memcpy(m_Packet->data, data, size);
    const int sent = avcodec_send_packet(m_Context, m_Packet);
    av_packet_unref(m_Packet);
    if (sent < 0)
        return false;
    bool got = false;
    while (avcodec_receive_frame(m_Context, m_Frame) >= 0) {
        got = convert() || got;
        av_frame_unref(m_Frame);
    }
    return got;
}

bool Decoder::convert()
{
    const int width = m_Frame->width;
    const int height = m_Frame->height;
    if (width <= 0 || height <= 0 || int64_t(width) * height > kMaxVideoPixels)
        return false;
    if (!m_Picture || cairo_image_surface_get_width(m_Picture) != width
        || cairo_image_surface_get_height(m_Picture) != height) {
        if (m_Picture)
            cairo_surface_destroy(m_Picture);
        m_Picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        if (cairo_surface_status(m_Picture) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(m_Picture);
            m_Picture = nullptr;
            return false;
        }
    }
    cairo_surface_flush(m_Picture);
    uint8_t* out = cairo_image_surface_get_data(m_Picture);
    const int stride = cairo_image_surface_get_stride(m_Picture);
    const auto format = AVPixelFormat(m_Frame->format);
    if (format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVA420P) {
        const bool alpha = format == AV_PIX_FMT_YUVA420P;
        // Deblocking works on a copy of the planes: the decoder's own stay as they are for the pictures that
        // refer to them.
        const uint8_t* planes[3] = { m_Frame->data[0], m_Frame->data[1], m_Frame->data[2] };
        ptrdiff_t strides[3] = { m_Frame->linesize[0], m_Frame->linesize[1], m_Frame->linesize[2] };
        if (m_DeblockStrength > 0 && format != AV_PIX_FMT_YUVA420P) {
            const int widths[3] = { width, (width + 1) / 2, (width + 1) / 2 };
            const int heights[3] = { height, (height + 1) / 2, (height + 1) / 2 };
            for (int p = 0; p < 3; ++p) {
                m_Deblocked[p].resize(size_t(widths[p]) * size_t(heights[p]));
                for (int row = 0; row < heights[p]; ++row)
                    std::memcpy(m_Deblocked[p].data() + size_t(row) * size_t(widths[p]),
                        m_Frame->data[p] + ptrdiff_t(row) * m_Frame->linesize[p], size_t(widths[p]));
                DeblockPlane(m_Deblocked[p].data(), widths[p], widths[p], heights[p], m_DeblockStrength);
                planes[p] = m_Deblocked[p].data();
                strides[p] = widths[p];
            }
        }
        const YuvTables& tables = Tables();
        for (int row = 0; row < height; ++row) {
            const uint8_t* ys = planes[0] + ptrdiff_t(row) * strides[0];
            const uint8_t* us = planes[1] + ptrdiff_t(row / 2) * strides[1];
            const uint8_t* vs = planes[2] + ptrdiff_t(row / 2) * strides[2];
            const uint8_t* as = alpha ? m_Frame->data[3] + ptrdiff_t(row) * m_Frame->linesize[3] : nullptr;
            auto* pixels = reinterpret_cast<uint32_t*>(out + ptrdiff_t(row) * stride);
            for (int x = 0; x < width; ++x) {
                uint8_t r, g, b;
                YuvPixel(tables, ys[x], us[x / 2], vs[x / 2], r, g, b);
                uint32_t a = 255;
                if (as) {
                    // The colour planes of VP6 with alpha hold the colour already multiplied by the alpha; what
                    // the codec's rounding leaves above the alpha is cut down to it.
                    a = as[x];
                    r = std::min<uint8_t>(r, uint8_t(a));
                    g = std::min<uint8_t>(g, uint8_t(a));
                    b = std::min<uint8_t>(b, uint8_t(a));
                }
                pixels[x] = (a << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
            }
        }
    } else {
        // Screen Video's BGR pictures and any other layout: through libswscale into native-endian ARGB.
        m_Scaler = sws_getCachedContext(m_Scaler, width, height, format, width, height, AV_PIX_FMT_BGRA, SWS_POINT,
            nullptr, nullptr, nullptr);
        if (!m_Scaler)
            return false;
        uint8_t* planes[4] = { out, nullptr, nullptr, nullptr };
        int strides[4] = { stride, 0, 0, 0 };
        sws_scale(m_Scaler, m_Frame->data, m_Frame->linesize, 0, height, planes, strides);
        for (int row = 0; row < height; ++row) {
            auto* pixels = reinterpret_cast<uint32_t*>(out + ptrdiff_t(row) * stride);
            for (int x = 0; x < width; ++x) {
                const uint32_t p = pixels[x];
                const uint32_t a = p >> 24;
                if (a == 255)
                    continue;
                auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
                pixels[x] = (a << 24) | (mul((p >> 16) & 0xFF) << 16) | (mul((p >> 8) & 0xFF) << 8) | mul(p & 0xFF);
            }
        }
    }
    cairo_surface_mark_dirty(m_Picture);
    return true;
}

Stream::Stream(uint8_t codec, uint8_t deblocking)
    : m_Codec(codec)
    , m_Decoder(codec, deblocking)
{
}

Stream::~Stream()
{
    for (const Kept& kept : m_Kept)
        cairo_surface_destroy(kept.picture);
}

void Stream::keepShown()
{
    cairo_surface_t* picture = m_Decoder.picture();
    if (!m_ShownValid || !picture)
        return;
    for (const Kept& kept : m_Kept)
        if (kept.frame == m_Shown)
            return;
    const int width = cairo_image_surface_get_width(picture);
    const int height = cairo_image_surface_get_height(picture);
    const int64_t pixels = int64_t(width) * height;
    if (pixels > kMaxKeptVideoPixels)
        return;
    // Room for the copy: the least recently used go first.
    auto keptPixels = [this] {
        int64_t sum = 0;
        for (const Kept& kept : m_Kept)
            sum += int64_t(cairo_image_surface_get_width(kept.picture)) * cairo_image_surface_get_height(kept.picture);
        return sum;
    };
    while (!m_Kept.empty() && (m_Kept.size() >= kMaxKeptVideoPictures || keptPixels() + pixels > kMaxKeptVideoPixels)) {
        auto oldest = std::min_element(
            m_Kept.begin(), m_Kept.end(), [](const Kept& a, const Kept& b) { return a.lastUse < b.lastUse; });
        cairo_surface_destroy(oldest->picture);
        m_Kept.erase(oldest);
    }
    cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(copy) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(copy);
        return;
    }
    cairo_surface_flush(picture);
    cairo_surface_flush(copy);
    const int from = cairo_image_surface_get_stride(picture);
    const int to = cairo_image_surface_get_stride(copy);
    const uint8_t* source = cairo_image_surface_get_data(picture);
    uint8_t* target = cairo_image_surface_get_data(copy);
    for (int row = 0; row < height; ++row)
        std::memcpy(target + ptrdiff_t(row) * to, source + ptrdiff_t(row) * from, size_t(width) * 4);
    cairo_surface_mark_dirty(copy);
    m_Kept.push_back({ uint16_t(m_Shown), copy, ++m_Uses });
}

void Stream::addFrame(uint16_t number, const uint8_t* data, size_t size)
{
    if (!data || size == 0)
        return;
    if (m_Codec == kCodecAVC && data[0] == 0) {
        // A configuration record: no picture of its own; the decoder takes it at once.
        m_Decoder.decode(data, size);
        return;
    }
    m_Frames.emplace(number, Packet { data, size, IsKeyFrame(m_Codec, data, size) });
}

cairo_surface_t* Stream::pictureAt(int frame)
{
    if (!m_Decoder.valid() || m_Frames.empty() || frame < 0)
        return nullptr;
    auto target = m_Frames.upper_bound(uint16_t(std::min(frame, 65535)));
    if (target == m_Frames.begin())
        return nullptr;
    --target;
    m_Given = target->first;
    if (m_ShownValid && m_Shown == target->first)
        return m_Decoder.picture();
    for (Kept& kept : m_Kept)
        if (kept.frame == target->first) {
            kept.lastUse = ++m_Uses;
            return kept.picture;
        }
    // The decoder moves on from the picture it holds: a copy is kept, in case the frame is asked for again.
    keepShown();
    // The last key frame at or before the target (the first frame when there is none).
    auto key = target;
    while (key != m_Frames.begin() && !key->second.key)
        --key;
    auto from = key;
    if (m_ShownValid && m_Shown < target->first && m_Shown >= key->first) {
        from = m_Frames.upper_bound(uint16_t(m_Shown)); // on from the picture held
    } else {
        m_Decoder.reset();
    }
    bool got = false;
    for (auto it = from;; ++it) {
        got = m_Decoder.decode(it->second.data, it->second.size) || got;
        ++m_DecodedPackets;
        if (it == target)
            break;
    }
    m_Shown = target->first;
    m_ShownValid = got || (from != key && m_Decoder.picture());
    return m_ShownValid ? m_Decoder.picture() : nullptr;
}

} // namespace reelfinch::plugin::video
