// Compressed sounds: the format's ADPCM against a reference decoding written here, and MP3 and Nellymoser made
// by Debian's ffmpeg against ffmpeg's own decoding of the same data.
#include "SoundTestSupport.h"
#include "sound/Adpcm.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <random>
#include <string>

using namespace plugintest;

namespace {

constexpr int kFps = 12;
constexpr size_t kPerFrame = kMixRate / kFps;

// ---- ADPCM reference ----

// The format's ADPCM as its description reads: per packet and channel a 16-bit sample and a 6-bit index, then
// up to 4095 codes per channel; a code's magnitude bits add the step, halved for each lower bit, plus the last
// half step; the index moves by the code size's table.
std::vector<int16_t> ReferenceAdpcm(const std::vector<uint8_t>& data, int channels)
{
    static const int steps[89] = { 7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 21, 23, 25, 28, 31, 34, 37, 41, 45, 50, 55,
        60, 66, 73, 80, 88, 97, 107, 118, 130, 143, 157, 173, 190, 209, 230, 253, 279, 307, 337, 371, 408, 449, 494,
        544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552, 1707, 1878, 2066, 2272, 2499, 2749, 3024,
        3327, 3660, 4026, 4428, 4871, 5358, 5894, 6484, 7132, 7845, 8630, 9493, 10442, 11487, 12635, 13899, 15289,
        16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767 };
    static const std::vector<std::vector<int>> moves { { -1, 2 }, { -1, -1, 2, 4 }, { -1, -1, -1, -1, 2, 4, 6, 8 },
        { -1, -1, -1, -1, -1, -1, -1, -1, 1, 2, 4, 6, 8, 10, 13, 16 } };
    std::string bits;
    for (uint8_t byte : data)
        for (int b = 7; b >= 0; --b)
            bits += ((byte >> b) & 1) ? '1' : '0';
    size_t at = 0;
    auto take = [&](int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i)
            v = v * 2 + uint32_t(bits[at++] - '0');
        return v;
    };
    std::vector<int16_t> out;
    if (bits.size() < 2)
        return out;
    const int size = int(take(2)) + 2;
    int value[2] = {};
    int index[2] = {};
    while (bits.size() - at >= size_t(22 * channels)) {
        for (int c = 0; c < channels; ++c) {
            value[c] = int16_t(take(16));
            index[c] = std::min(88, int(take(6)));
            out.push_back(int16_t(value[c]));
        }
        for (int n = 0; n < 4095 && bits.size() - at >= size_t(size * channels); ++n)
            for (int c = 0; c < channels; ++c) {
                const uint32_t code = take(size);
                const uint32_t magnitude = code & ((1u << (size - 1)) - 1);
                int step = steps[index[c]];
                int diff = 0;
                for (int b = size - 2; b >= 0; --b, step /= 2)
                    if (magnitude & (1u << b))
                        diff += step;
                diff += step;
                value[c] = std::clamp(value[c] + ((code >> (size - 1)) ? -diff : diff), -32768, 32767);
                index[c] = std::clamp(index[c] + moves[size_t(size - 2)][magnitude], 0, 88);
                out.push_back(int16_t(value[c]));
            }
    }
    return out;
}

TEST(SoundAdpcm, EachCodeSizeMonoAndStereoMatchesTheReference)
{
    std::mt19937 random(14);
    for (int size = 2; size <= 5; ++size)
        for (int channels = 1; channels <= 2; ++channels) {
            SCOPED_TRACE("code size " + std::to_string(size) + ", channels " + std::to_string(channels));
            // Random codes after a header: a packet and a half, so a second packet header is read too.
            const size_t bits = 2 + size_t(channels) * (22 + 4095 * size_t(size)) * 3 / 2;
            std::vector<uint8_t> data((bits + 7) / 8);
            for (uint8_t& b : data)
                b = uint8_t(random());
            data[0] = uint8_t((data[0] & 0x3F) | ((size - 2) << 6));
            const std::vector<int16_t> want = ReferenceAdpcm(data, channels);
            std::vector<int16_t> got;
            reelfinch::plugin::sound::DecodeAdpcm(data.data(), data.size(), channels, got);
            ASSERT_EQ(got.size(), want.size());
            EXPECT_EQ(got, want);

            // The same data as a movie's 44 kHz sound reaches the output unchanged.
            MovieBuilder movie(100, 100, kFps);
            DefineSound(movie, 3, FormatByte(1, 3, true, channels == 2), uint32_t(want.size() / size_t(channels)), data);
            StartSound(movie, 3);
            const int frames = int(want.size() / size_t(channels) / kPerFrame) + 1;
            for (int f = 0; f < frames; ++f)
                movie.showFrame();
            const std::vector<int16_t> out = PlaySound(movie.finish(), frames);
            const size_t count = want.size() / size_t(channels);
            ASSERT_GE(out.size() / 2, count);
            for (size_t i = 0; i < count; ++i) {
                ASSERT_EQ(out[2 * i], want[i * size_t(channels)]) << i;
                ASSERT_EQ(out[2 * i + 1], want[i * size_t(channels) + size_t(channels) - 1]) << i;
            }
        }
}

TEST(SoundAdpcm, CutShortDataEndsAtTheLastWholeSample)
{
    for (size_t length : { size_t(0), size_t(1), size_t(3), size_t(6), size_t(40) }) {
        std::vector<uint8_t> data(length, 0xA5);
        std::vector<int16_t> got;
        reelfinch::plugin::sound::DecodeAdpcm(data.data(), data.size(), 2, got);
        EXPECT_EQ(got, ReferenceAdpcm(data, 2)) << length;
    }
}

// ---- ffmpeg-made sound ----

QString FfmpegPath()
{
    for (const char* path : { "/usr/bin/ffmpeg", "/usr/local/bin/ffmpeg" })
        if (QFile::exists(QString::fromLatin1(path)))
            return QString::fromLatin1(path);
    return {};
}

bool RunFfmpeg(const QStringList& args, QByteArray* out = nullptr)
{
    QProcess process;
    process.start(FfmpegPath(), QStringList { "-hide_banner", "-loglevel", "error", "-y" } + args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return false;
    if (out)
        *out = process.readAllStandardOutput();
    return true;
}

std::vector<int16_t> ToSamples(const QByteArray& bytes)
{
    std::vector<int16_t> s(size_t(bytes.size()) / 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = int16_t(uint16_t(uint8_t(bytes[int(2 * i)]) | (uint8_t(bytes[int(2 * i + 1)]) << 8)));
    return s;
}

// The audio tags of an FLV file: each one's format byte and payload.
std::vector<std::pair<uint8_t, std::vector<uint8_t>>> FlvAudio(const QByteArray& flv)
{
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> tags;
    const auto* b = reinterpret_cast<const uint8_t*>(flv.constData());
    const size_t n = size_t(flv.size());
    if (n < 13)
        return tags;
    size_t at = size_t(b[5] << 24 | b[6] << 16 | b[7] << 8 | b[8]) + 4;
    while (at + 11 <= n) {
        const uint8_t type = b[at];
        const size_t size = size_t(b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]);
        const size_t body = at + 11;
        if (body + size > n)
            break;
        if (type == 8 && size > 1)
            tags.push_back({ b[body], std::vector<uint8_t>(b + body + 1, b + body + size) });
        at = body + size + 4;
    }
    return tags;
}

struct EncodedCase {
    std::string name;
    QStringList encode; // ffmpeg arguments for the FLV's audio
    int rate; // of the encoded sound
    bool asStream; // stream blocks rather than one DefineSound
    int fps = kFps; // with 50 and a stream, each block holds one encoded packet of 20 ms
};

TEST(SoundCodecs, FfmpegEncodedSoundMatchesFfmpegsOwnDecoding)
{
    if (FfmpegPath().isEmpty())
        GTEST_SKIP() << "ffmpeg not installed";
    QTemporaryDir dir;
    const QString source = dir.filePath("source.wav");
    // Two tones and a sweep: a signal whose shifts are easy to tell apart.
    ASSERT_TRUE(RunFfmpeg({ "-f", "lavfi", "-i", "aevalsrc=0.4*sin(2*PI*440*t)+0.2*sin(2*PI*(200+300*t)*t):s=44100:d=2",
        "-ac", "1", source }));
    const std::vector<EncodedCase> cases {
        { "MP3 44 kHz event", { "-c:a", "libmp3lame", "-b:a", "128k", "-ar", "44100" }, 44100, false },
        { "MP3 22 kHz event", { "-c:a", "libmp3lame", "-b:a", "64k", "-ar", "22050" }, 22050, false },
        { "MP3 11 kHz stream", { "-c:a", "libmp3lame", "-b:a", "32k", "-ar", "11025" }, 11025, true },
        { "MP3 44 kHz stream", { "-c:a", "libmp3lame", "-b:a", "128k", "-ar", "44100" }, 44100, true },
        { "Nellymoser 22 kHz event", { "-c:a", "nellymoser", "-ar", "22050" }, 22050, false },
        { "Nellymoser 44 kHz stream", { "-c:a", "nellymoser", "-ar", "44100" }, 44100, true },
        { "Nellymoser 8 kHz event", { "-c:a", "nellymoser", "-ar", "8000" }, 8000, false },
        { "Nellymoser 16 kHz stream", { "-c:a", "nellymoser", "-ar", "16000" }, 16000, true },
        // Speex frames are bit-packed within a block: the packets ffmpeg writes, each ended by its terminator,
        // go one to a block.
        { "Speex stream", { "-c:a", "libspeex", "-ar", "16000" }, 16000, true, 50 },
    };
    for (const EncodedCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString flv = dir.filePath("encoded.flv");
        ASSERT_TRUE(RunFfmpeg(QStringList { "-i", source } + c.encode + QStringList { "-f", "flv", flv }));
        QFile file(flv);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const auto tags = FlvAudio(file.readAll());
        ASSERT_FALSE(tags.empty());
        QByteArray decoded;
        ASSERT_TRUE(RunFfmpeg({ "-i", flv, "-f", "s16le", "-ac", "1", "-ar", "44100", "-" }, &decoded));
        const std::vector<int16_t> reference = ToSamples(decoded);

        const uint8_t format = uint8_t((tags[0].first & 0xF0) | (tags[0].first & 0x0C) | 2);
        MovieBuilder movie(100, 100, float(c.fps));
        const int frames = 2 * c.fps + 2;
        if (!c.asStream) {
            std::vector<uint8_t> data { 0, 0 }; // MP3 seek samples
            if ((format >> 4) != 2)
                data.clear();
            for (const auto& tag : tags)
                data.insert(data.end(), tag.second.begin(), tag.second.end());
            DefineSound(movie, 1, format, uint32_t(2 * c.rate), data);
            StartSound(movie, 1);
            for (int f = 0; f < frames; ++f)
                movie.showFrame();
        } else {
            // Each frame takes the tags due by its end; MP3 blocks start with the samples count and seek samples.
            StreamHead(movie, format, uint16_t(c.rate / c.fps), true, (format >> 4) == 2);
            size_t next = 0;
            const size_t perTag = tags.size() > 0 ? size_t(2 * c.rate) / tags.size() : 1;
            for (int f = 0; f < frames; ++f) {
                std::vector<uint8_t> block;
                if ((format >> 4) == 2)
                    block = { uint8_t(c.rate / c.fps), uint8_t((c.rate / c.fps) >> 8), 0, 0 };
                const size_t due = c.fps == kFps
                    ? std::min(tags.size(), size_t(double(f + 1) * c.rate / c.fps / double(perTag)) + 1)
                    : std::min(tags.size(), size_t(f + 1));
                for (; next < due; ++next)
                    block.insert(block.end(), tags[next].second.begin(), tags[next].second.end());
                if (block.size() > 4 || ((format >> 4) != 2 && !block.empty()))
                    movie.raw(kTagSoundStreamBlock, block);
                movie.showFrame();
            }
        }
        const std::vector<int16_t> left = Side(PlaySound(movie.finish(), frames), 0);
        ASSERT_GT(left.size(), reference.size() / 2);
        const long perFrame = kMixRate / c.fps;
        const auto [lag, correlation] = BestAlignment(reference, left, perFrame);
        EXPECT_GE(correlation, 0.98);
        EXPECT_LE(std::abs(lag), perFrame) << "starts " << lag << " frames apart";
    }
}

} // namespace
