// Embedded video: FLV files made by ffmpeg from its test pattern, their packets wrapped in a movie's VideoFrame
// tags, drawn by the plug-in frame by frame and compared with ffmpeg's own decoding of the same file.
#include "PluginTestSupport.h"
#include "video/VideoDecoder.h"

#include <gtest/gtest.h>

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

// The conversion rounds without library calls; every input gives the bytes std::lround gives for the same sums
// (the luma term plus the chroma terms, added in that order).
TEST(VideoStream, ColourConversionRoundsAsLround)
{
    auto round = [](double v) { return v <= 0 ? 0 : v >= 255 ? 255 : int(std::lround(v)); };
    int wrong = 0;
    for (int y = 0; y < 256; ++y)
        for (int u = 0; u < 256; ++u)
            for (int v = 0; v < 256; ++v) {
                const double c = 255.0 / 219.0 * (y - 16);
                uint8_t r, g, b;
                video::YuvToRgb(y, u, v, r, g, b);
                wrong += r != round(c + 1.596 * (v - 128))
                    || g != round(c + -0.391762 * (u - 128) + -0.81297 * (v - 128))
                    || b != round(c + 2.017232 * (u - 128));
            }
    EXPECT_EQ(wrong, 0);
}

} // namespace
