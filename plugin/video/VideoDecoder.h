// Embedded video: the frames of one DefineVideoStream decoded with libavcodec (Sorenson H.263, Screen Video 1
// and 2, VP6, VP6 with alpha, H.264) into cairo surfaces. The timeline asks for a frame number; the stream shows
// the last frame it holds at or before it, decoding onwards from the picture it has or, going back or far ahead,
// from the last key frame.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace reelfinch::plugin::video {

// The codec numbers of DefineVideoStream.
enum Codec : uint8_t {
    kCodecH263 = 2,
    kCodecScreenVideo = 3,
    kCodecVP6 = 4,
    kCodecVP6Alpha = 5,
    kCodecScreenVideo2 = 6,
    kCodecAVC = 7,
    kCodecGIF = 0xF0, // not a video codec of the format: GIF pictures in bitmap tags, through the same decoder
};

// DefineVideoStream's deblocking field: 0 leaves it to each packet, 1 turns the filter off, higher values ask
// for it.
inline constexpr uint8_t kDeblockingOff = 1;

// Pictures larger than this are refused (the format allows 65535 x 65535).
inline constexpr int64_t kMaxVideoPixels = 16ll * 1024 * 1024;

// Whether a packet of the codec starts a picture of its own (does not depend on the frames before it). Packets
// that cannot be read count as not.
bool IsKeyFrame(uint8_t codec, const uint8_t* data, size_t size);

// BT.601 studio-range YCbCr to RGB, chroma taken from the sample covering the pixel, as the player shows video.
void YuvToRgb(int y, int u, int v, uint8_t& r, uint8_t& g, uint8_t& b);

// The H.263 deblocking filter over every 8x8 block edge of one plane (`stride` bytes a row), at a strength of 1
// to 12: the horizontal edges first, then the vertical ones.
void DeblockPlane(uint8_t* plane, ptrdiff_t stride, int width, int height, int strength);

// The first picture of a GIF file as a new premultiplied ARGB32 surface (the caller's), or null.
cairo_surface_t* DecodeGIF(const uint8_t* data, size_t size);

// One decoder of one codec, giving premultiplied ARGB32 pictures.
class Decoder
{
public:
    Decoder(uint8_t codec, uint8_t deblocking);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    bool valid() const { return m_Context != nullptr; }
    // Decodes one packet; true when it gave a picture, then held by picture() until the next one.
    bool decode(const uint8_t* data, size_t size);
    // Forgets the frames decoded so far (before decoding from a key frame again).
    void reset();
    // The last picture (owned by the decoder), or null.
    cairo_surface_t* picture() const { return m_Picture; }

private:
    bool open(const uint8_t* extra, size_t extraSize);
    bool convert();

    uint8_t m_Codec;
    uint8_t m_Deblocking;
    AVCodecContext* m_Context = nullptr;
    AVPacket* m_Packet = nullptr;
    AVFrame* m_Frame = nullptr;
    SwsContext* m_Scaler = nullptr;
    cairo_surface_t* m_Picture = nullptr;
    int m_DeblockStrength = 0; // of the picture being decoded (H.263), 0 for none
    std::vector<uint8_t> m_Deblocked[3]; // the planes of a deblocked picture
};

// The frames of one stream by frame number, and the picture shown.
class Stream
{
public:
    Stream(uint8_t codec, uint8_t deblocking);
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Adds a frame's packet (not copied: it must outlive the stream). The first packet of a number holds.
    void addFrame(uint16_t number, const uint8_t* data, size_t size);
    size_t frameCount() const { return m_Frames.size(); }
    // The picture of the last frame at or before `frame`, or null (no such frame, or it cannot be decoded). It
    // stays valid until the next call.
    cairo_surface_t* pictureAt(int frame);
    // The frame number of the picture last given, or -1.
    int shownFrame() const { return m_Given; }
    // How many packets were decoded so far (for tests: going back decodes from the last key frame).
    uint64_t decodedPackets() const { return m_DecodedPackets; }

private:
    struct Packet {
        const uint8_t* data;
        size_t size;
        bool key;
    };

    // A copy of a picture decoded before, kept while the stream is asked for other frames in turn (one video
    // placed several times at different frames): asked for again, it is not decoded again.
    struct Kept {
        uint16_t frame;
        cairo_surface_t* picture;
        uint64_t lastUse;
    };
    // Keeps a copy of the decoder's picture of m_Shown, dropping the least recently used copies beyond the
    // limits.
    void keepShown();

    uint8_t m_Codec;
    Decoder m_Decoder;
    std::map<uint16_t, Packet> m_Frames;
    int m_Shown = -1; // the frame the decoder's picture belongs to
    bool m_ShownValid = false; // the decoder's picture is that of m_Shown
    int m_Given = -1;
    uint64_t m_DecodedPackets = 0;
    std::vector<Kept> m_Kept;
    uint64_t m_Uses = 0;
};

} // namespace reelfinch::plugin::video
