// Embedded video: FLV files made by ffmpeg from its test pattern, their packets wrapped in a movie's VideoFrame
// tags, drawn by the plug-in frame by frame and compared with ffmpeg's own decoding of the same file.
#include "PluginTestSupport.h"
#include "video/VideoDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace plugintest;
using reelfinch::plugin::MoviePlayer;
namespace video = reelfinch::plugin::video;

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr int kFrames = 12;
constexpr int kKeyInterval = 5; // key frames at 0, 5 and 10

struct FlvVideo {
    int codec = 0;
    std::vector<std::vector<uint8_t>> packets;
};

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

bool Ffmpeg(const std::string& args)
{
    return std::system(("ffmpeg -nostdin -v error -y " + args + " 2>/dev/null").c_str()) == 0;
}

// The video packets of an FLV file (header, then tags each followed by the previous tag's size).
FlvVideo ReadFlv(const std::vector<uint8_t>& file)
{
    FlvVideo video;
    if (file.size() < 13)
        return video;
    size_t pos = (size_t(file[5]) << 24 | size_t(file[6]) << 16 | size_t(file[7]) << 8 | file[8]) + 4;
    while (pos + 11 <= file.size()) {
        const int type = file[pos];
        const size_t size = size_t(file[pos + 1]) << 16 | size_t(file[pos + 2]) << 8 | file[pos + 3];
        const size_t body = pos + 11;
        if (body + size > file.size())
            break;
        if (type == 9 && size > 1) {
            video.codec = file[body] & 0x0F;
            video.packets.emplace_back(file.begin() + long(body + 1), file.begin() + long(body + size));
        }
        pos = body + size + 4;
    }
    return video;
}

// A movie showing the stream on its timeline: frame i holds packet i and moves the video to ratio i.
std::vector<uint8_t> VideoMovie(const FlvVideo& video, uint8_t deblocking = 0, bool smoothing = false)
{
    MovieBuilder movie(kWidth, kHeight, 10);
    BitWriter define;
    define.u16(1);
    define.u16(uint16_t(video.packets.size()));
    define.u16(kWidth);
    define.u16(kHeight);
    define.u8(uint8_t(deblocking << 1 | (smoothing ? 1 : 0)));
    define.u8(uint8_t(video.codec));
    movie.raw(kTagDefineVideoStream, define.out);
    for (size_t i = 0; i < video.packets.size(); ++i) {
        BitWriter frame;
        frame.u16(1);
        frame.u16(uint16_t(i));
        frame.out.insert(frame.out.end(), video.packets[i].begin(), video.packets[i].end());
        movie.raw(kTagVideoFrame, frame.out);
        movie.placeRatio(1, i == 0 ? 1 : 0, uint16_t(i));
        movie.showFrame();
    }
    return movie.finish();
}

// How far a drawn frame is from ffmpeg's picture (BGRA bytes): the mean and largest channel difference.
struct Difference {
    double mean = 0;
    int worst = 0;
};

Difference Compare(const Canvas& canvas, const uint8_t* bgra)
{
    Difference d;
    long total = 0;
    for (int i = 0; i < kWidth * kHeight; ++i) {
        const uint32_t p = canvas.pixels[size_t(i)];
        const int ours[3] = { int(p & 0xFF), int((p >> 8) & 0xFF), int((p >> 16) & 0xFF) };
        for (int c = 0; c < 3; ++c) {
            const int diff = std::abs(ours[c] - bgra[size_t(i) * 4 + size_t(c)]);
            total += diff;
            d.worst = std::max(d.worst, diff);
        }
    }
    d.mean = double(total) / (kWidth * kHeight * 3);
    return d;
}

struct Encoded {
    FlvVideo video;
    std::vector<uint8_t> reference; // ffmpeg's decoding, BGRA frames one after another
};

// Encodes the test pattern with an ffmpeg encoder and decodes it back with ffmpeg; empty when ffmpeg is missing.
Encoded Encode(const std::string& encoder)
{
    const std::string base = ::testing::TempDir() + "reelfinch_video_" + encoder;
    Encoded out;
    const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight);
    if (!Ffmpeg("-f lavfi -i testsrc=size=" + size + ":rate=10 -frames:v " + std::to_string(kFrames) + " -c:v "
            + encoder + " -g " + std::to_string(kKeyInterval) + " " + base + ".flv")
        || !Ffmpeg("-i " + base + ".flv -f rawvideo -pix_fmt bgra " + base + ".raw"))
        return out;
    out.video = ReadFlv(ReadFile(base + ".flv"));
    out.reference = ReadFile(base + ".raw");
    std::remove((base + ".flv").c_str());
    std::remove((base + ".raw").c_str());
    return out;
}

class VideoCodecs : public ::testing::TestWithParam<const char*> { };

// Sorenson H.263 and Screen Video: every frame as the timeline plays, then frames reached by going back (decoded
// again from their key frame) and by jumping ahead, each close to ffmpeg's own picture.
TEST_P(VideoCodecs, FramesMatchFfmpegPlayingAndSeeking)
{
    const Encoded encoded = Encode(GetParam());
    if (encoded.video.packets.empty())
        GTEST_SKIP() << "ffmpeg could not make the test video";
    ASSERT_EQ(encoded.video.packets.size(), size_t(kFrames));
    ASSERT_EQ(encoded.reference.size(), size_t(kFrames) * kWidth * kHeight * 4);
    MoviePlayer player;
    ASSERT_TRUE(Load(player, VideoMovie(encoded.video)));
    auto check = [&](int frame) {
        const Canvas canvas = Render(player, kWidth, kHeight);
        const Difference d = Compare(canvas, encoded.reference.data() + size_t(frame) * kWidth * kHeight * 4);
        EXPECT_LT(d.mean, 2.0) << GetParam() << " frame " << frame;
        EXPECT_LT(d.worst, 48) << GetParam() << " frame " << frame;
    };
    for (int frame = 0; frame < kFrames; ++frame) {
        ASSERT_EQ(player.currentFrame(), frame);
        check(frame);
        player.step();
    }
    for (int frame : { 7, 3, 11, 0, 9, 8 }) {
        ASSERT_TRUE(player.gotoFrame(frame));
        check(frame);
    }
}

INSTANTIATE_TEST_SUITE_P(Encoders, VideoCodecs, ::testing::Values("flv1", "flashsv"));

// The stream decodes only what it must: on from the picture it holds, or from the last key frame at or before
// the frame asked for, unless it kept that frame's picture from before; a frame number past the last packet
// keeps the last picture.
TEST(VideoStream, DecodesFromTheLastKeyFrame)
{
    const Encoded encoded = Encode("flv1");
    if (encoded.video.packets.empty())
        GTEST_SKIP() << "ffmpeg could not make the test video";
    video::Stream stream(video::kCodecH263, 0);
    for (size_t i = 0; i < encoded.video.packets.size(); ++i) {
        EXPECT_EQ(video::IsKeyFrame(video::kCodecH263, encoded.video.packets[i].data(), encoded.video.packets[i].size()),
            i % kKeyInterval == 0)
            << "packet " << i;
        stream.addFrame(uint16_t(i), encoded.video.packets[i].data(), encoded.video.packets[i].size());
    }
    struct Step {
        int ask;
        int shown;
        uint64_t decoded; // packets decoded for it
    };
    const Step steps[] = {
        { 11, 11, 2 }, // from key frame 10
        { 7, 7, 3 }, // back: from key frame 5
        { 8, 8, 1 }, // on from 7
        { 8, 8, 0 }, // held
        { 500, 11, 0 }, // past the end: the last frame, its picture kept from before
        { 2, 2, 3 },
        { 7, 7, 0 }, // kept too
        { 3, 3, 1 }, // on from 2, the decoder's own
    };
    // Every picture, kept or decoded, as a stream that never decoded before gives it.
    auto bytes = [](cairo_surface_t* picture) {
        cairo_surface_flush(picture);
        const uint8_t* data = cairo_image_surface_get_data(picture);
        return std::vector<uint8_t>(data, data + cairo_image_surface_get_stride(picture) * cairo_image_surface_get_height(picture));
    };
    for (const Step& step : steps) {
        const uint64_t before = stream.decodedPackets();
        cairo_surface_t* picture = stream.pictureAt(step.ask);
        ASSERT_NE(picture, nullptr) << step.ask;
        EXPECT_EQ(stream.shownFrame(), step.shown) << step.ask;
        EXPECT_EQ(stream.decodedPackets() - before, step.decoded) << step.ask;
        video::Stream fresh(video::kCodecH263, 0);
        for (size_t i = 0; i < encoded.video.packets.size(); ++i)
            fresh.addFrame(uint16_t(i), encoded.video.packets[i].data(), encoded.video.packets[i].size());
        cairo_surface_t* expected = fresh.pictureAt(step.ask);
        ASSERT_NE(expected, nullptr) << step.ask;
        EXPECT_TRUE(bytes(picture) == bytes(expected)) << step.ask;
    }
    EXPECT_EQ(stream.pictureAt(-1), nullptr);
}

// Damaged packets of every codec (cut short, or bytes flipped) give no picture or some picture, never a crash;
// run under the sanitizers this also checks every read stays inside the packet.
TEST(VideoStream, DamagedPacketsAreSurvived)
{
    const Encoded encoded = Encode("flv1");
    std::vector<uint8_t> sample = encoded.video.packets.empty() ? std::vector<uint8_t>(64, 0x5A)
                                                                : encoded.video.packets.front();
    for (int codec = 0; codec <= 8; ++codec) {
        for (size_t cut : { size_t(1), size_t(3), size_t(5), sample.size() / 2 }) {
            std::vector<uint8_t> packet(sample.begin(), sample.begin() + long(std::min(cut, sample.size())));
            std::vector<uint8_t> flipped = sample;
            for (size_t i = 4; i < flipped.size(); i += 7)
                flipped[i] = uint8_t(~flipped[i]);
            video::Stream stream(uint8_t(codec), 0);
            stream.addFrame(0, packet.data(), packet.size());
            stream.addFrame(1, flipped.data(), flipped.size());
            stream.pictureAt(0);
            stream.pictureAt(1);
            stream.pictureAt(0);
        }
    }
}

// The conversion of studio-range YCbCr: black, white and the saturated primaries land where they should.
TEST(VideoStream, StudioRangeColours)
{
    struct Case {
        int y, u, v;
        Color rgb;
    };
    const Case cases[] = {
        { 16, 128, 128, { 0, 0, 0 } },
        { 235, 128, 128, { 255, 255, 255 } },
        { 81, 90, 240, { 255, 0, 0 } },
        { 145, 54, 34, { 0, 255, 0 } },
        { 41, 240, 110, { 0, 0, 255 } },
        { 0, 0, 0, { 0, 135, 0 } }, // out of range: clamped per channel
    };
    for (const Case& c : cases) {
        uint8_t r, g, b;
        video::YuvToRgb(c.y, c.u, c.v, r, g, b);
        EXPECT_NEAR(r, c.rgb.r, 2) << c.y << "," << c.u << "," << c.v;
        EXPECT_NEAR(g, c.rgb.g, 2) << c.y << "," << c.u << "," << c.v;
        EXPECT_NEAR(b, c.rgb.b, 2) << c.y << "," << c.u << "," << c.v;
    }
}

// The conversion works in 16.16 fixed point: sums that land a hair off a half round as the player's do, not as
// the exact sums would (these pixels of a real movie differ by one level between the two); everywhere else it
// stays within a level of the exact BT.601 sums.
TEST(VideoStream, ColourConversionRoundsInFixedPoint)
{
    struct Case {
        int y, u, v;
        Color rgb;
    };
    const Case ties[] = {
        { 110, 74, 66, { 10, 181, 1 } }, // red exactly 10.50005
        { 141, 184, 190, { 245, 73, 255 } }, // red exactly 244.49995
    };
    for (const Case& c : ties) {
        uint8_t r, g, b;
        video::YuvToRgb(c.y, c.u, c.v, r, g, b);
        const std::array<int, 3> got = { r, g, b };
        const std::array<int, 3> want = { c.rgb.r, c.rgb.g, c.rgb.b };
        EXPECT_EQ(got, want) << c.y << "," << c.u << "," << c.v;
    }
    auto exact = [](double v) { return std::clamp(v, 0.0, 255.0); };
    double worst = 0;
    for (int y = 0; y < 256; y += 3)
        for (int u = 0; u < 256; u += 5)
            for (int v = 0; v < 256; v += 7) {
                const double c = 255.0 / 219.0 * (y - 16);
                uint8_t r, g, b;
                video::YuvToRgb(y, u, v, r, g, b);
                worst = std::max({ worst, std::abs(r - exact(c + 1.596027 * (v - 128))),
                    std::abs(g - exact(c - 0.391762 * (u - 128) - 0.812968 * (v - 128))),
                    std::abs(b - exact(c + 2.017232 * (u - 128))) });
            }
    EXPECT_LT(worst, 0.51);
}

// The deblocking filter across a block edge: the edge pair moves together by the ramped difference, the outer
// pair by a quarter of theirs at most half as far, and every division rounds down, so steps down across an edge
// move a level further than the same steps up (values a real movie shows).
TEST(VideoStream, DeblockingSmoothsBlockEdgesRoundingDown)
{
    struct Case {
        std::array<int, 4> before; // the two pixels before the block edge and the two after it
        int strength;
        std::array<int, 4> after;
    };
    const Case cases[] = {
        { { 16, 16, 31, 31 }, 12, { 18, 21, 26, 29 } },
        { { 29, 29, 16, 16 }, 9, { 26, 24, 21, 19 } },
        { { 33, 33, 25, 25 }, 9, { 31, 30, 28, 27 } },
        { { 205, 205, 205, 206 }, 1, { 206, 204, 206, 205 } },
        { { 206, 206, 205, 205 }, 1, { 206, 205, 206, 205 } },
        { { 205, 205, 206, 206 }, 1, { 205, 205, 206, 206 } },
        { { 10, 10, 200, 200 }, 9, { 10, 10, 200, 200 } }, // a real edge (beyond twice the strength) stays
    };
    for (const Case& c : cases) {
        // A 16x16 plane whose rows hold the case at x = 6 to 9 around the block edge at x = 8, its end values
        // repeated outwards; the rows are alike, so the filter across the edge at y = 8 changes nothing.
        std::vector<uint8_t> plane(16 * 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                plane[size_t(y * 16 + x)] = uint8_t(c.before[size_t(std::clamp(x - 6, 0, 3))]);
        video::DeblockPlane(plane.data(), 16, 16, 16, c.strength);
        for (int y = 0; y < 16; ++y) {
            const uint8_t* row = &plane[size_t(y * 16)];
            const std::array<int, 4> got = { row[6], row[7], row[8], row[9] };
            ASSERT_EQ(got, c.after) << c.before[0] << " " << c.before[1] << " | " << c.before[2] << " "
                                    << c.before[3] << ", row " << y;
            EXPECT_EQ(row[5], c.before[0]);
            EXPECT_EQ(row[10], c.before[3]);
        }
    }
}

} // namespace
