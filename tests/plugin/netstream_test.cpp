// NetStream playing an FLV made by Debian's ffmpeg through the runner (which answers requests with files of the
// movie's folder): the order of its status messages and metadata, its clock, seeking to key frames, pausing and
// the end of the file; the FLV reader on cut and damaged files; a Video showing the stream's pictures as its
// clock reaches them and after a seek, and the stream's sound in the mixer in step with it.
#include "Avm1Assembler.h"
#include "MovieBuilder.h"
#include "MovieRunner.h"
#include "PluginTestSupport.h"
#include "SoundTestSupport.h"
#include "TestApplication.h"
#include "avm1/Loading.h"
#include "avm1/Machine.h"
#include "video/FlvFile.h"
#include "video/FlvMedia.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace reelfinch;
using namespace plugintest;
namespace video = reelfinch::plugin::video;

namespace {

constexpr float kFps = 10;

// A 2-second Sorenson H.263 FLV at 10 frames a second with a key frame every 5 frames (0, 0.5, 1, 1.5 s).
QByteArray MakeFlv(const QString& path)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/ffmpeg")))
        return {};
    QProcess process;
    process.start(QStringLiteral("/usr/bin/ffmpeg"),
        { "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=2",
            "-c:v", "flv1", "-g", "5", path });
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(FlvReader, FindsTagsAndKeyFramesAndSurvivesEveryCut)
{
    QTemporaryDir dir;
    const QByteArray flv = MakeFlv(dir.filePath("clip.flv"));
    if (flv.isEmpty())
        GTEST_SKIP() << "ffmpeg not installed";
    const std::string_view bytes(flv.constData(), size_t(flv.size()));
    const video::FlvFile file = video::ReadFlv(bytes);
    ASSERT_TRUE(file.valid);
    EXPECT_TRUE(file.hasVideo);
    ASSERT_FALSE(file.tags.empty());
    EXPECT_EQ(file.tags.front().type, video::kFlvScript);
    size_t frames = 0;
    for (const video::FlvTag& t : file.tags)
        frames += t.type == video::kFlvVideo;
    EXPECT_EQ(frames, 20u);
    EXPECT_EQ(file.lastTimeMs(), 1900u);
    const std::vector<std::pair<uint32_t, uint32_t>> keys = { { 0, 0 }, { 499, 0 }, { 500, 500 }, { 1499, 1000 },
        { 5000, 1500 } };
    for (const auto& [at, key] : keys)
        EXPECT_EQ(file.keyFrameAtOrBefore(at), key) << at;

    // Every cut keeps the whole tags before it, never more.
    size_t last = 0;
    for (size_t cut = 0; cut <= bytes.size(); cut += 7) {
        const video::FlvFile part = video::ReadFlv(bytes.substr(0, cut));
        ASSERT_LE(part.tags.size(), file.tags.size());
        ASSERT_GE(part.tags.size(), last);
        for (const video::FlvTag& t : part.tags)
            ASSERT_LE(t.offset + t.size, cut);
        last = part.tags.size();
    }
    // Damaged headers and sizes.
    std::string damaged(bytes);
    damaged[5] = 0x7F; // header size past the end
    EXPECT_FALSE(video::ReadFlv(damaged).valid);
    damaged = std::string(bytes);
    damaged[13 + 1] = char(0xFF); // the first tag claims 16 MB
    EXPECT_TRUE(video::ReadFlv(damaged).tags.empty());
    EXPECT_FALSE(video::ReadFlv("FLX\x01\x05\0\0\0\x09").valid);
}

// Traces each status code of `ns` and the metadata's duration; the frames' scripts are given.
std::vector<std::string> RunStream(const QString& folder, const std::vector<Asm>& frames, int count)
{
    Asm first;
    first.set("nc", Asm().num(0).str("NetConnection").op(0x40));
    first.null().i32(1).get("nc").str("connect").op(0x52).op(0x17);
    first.set("ns", Asm().get("nc").i32(1).str("NetStream").op(0x40));
    first.get("ns").str("onStatus").function("", { "info" }, Asm().get("info").str("code").op(0x4E).trace()).op(0x4F);
    first.get("ns").str("onMetaData").function("", { "data" },
        Asm().str("duration ").get("data").str("duration").op(0x4E).op(0x47).trace()).op(0x4F);
    first.str("clip.flv").i32(1).get("ns").str("play").op(0x52).op(0x17);

    MovieBuilder movie(40, 40, kFps, 8);
    movie.raw(kTagDoAction, first.finished());
    movie.showFrame();
    for (int f = 1; f < count; ++f) {
        if (f < int(frames.size()) + 1) {
            Asm a = frames[size_t(f - 1)];
            movie.raw(kTagDoAction, a.finished());
        }
        movie.showFrame();
    }
    const std::vector<uint8_t> bytes = movie.finish();
    const QString path = folder + "/movie.swf";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    file.close();
    std::vector<std::string> lines;
    runner::RunOptions options;
    options.frames = count;
    runner::RunMovie(path, options, [&](const QString& line) { lines.push_back(line.toStdString()); });
    return lines;
}

Asm TraceTime()
{
    return Asm().str("time ").get("ns").str("time").op(0x4E).op(0x47).trace();
}

TEST(NetStream, PlaysAnFlvWithItsStatusMessagesMetadataAndClock)
{
    Application();
    QTemporaryDir dir;
    if (MakeFlv(dir.filePath("clip.flv")).isEmpty())
        GTEST_SKIP() << "ffmpeg not installed";
    // Frame 4: seek(1.2) goes to the key frame at 1 s; frame 5: pause and read the time; frame 8: the clock
    // has not moved; frame 9: resume; the file ends about 0.9 s later.
    std::vector<Asm> frames(9);
    frames[2] = Asm().num(1.2).i32(1).get("ns").str("seek").op(0x52).op(0x17).append(TraceTime());
    frames[3] = Asm().i32(0).get("ns").str("pause").op(0x52).trace().append(TraceTime());
    frames[6] = TraceTime();
    frames[7] = Asm().boolean(false).i32(1).get("ns").str("pause").op(0x52).op(0x17);
    const std::vector<std::string> lines = RunStream(dir.path(), frames, 30);
    const std::vector<std::string> expected = { "NetStream.Play.Start", "NetStream.Buffer.Full", "duration 2",
        "time 1", "NetStream.Seek.Notify", "undefined", "time 1.1", "NetStream.Pause.Notify", "time 1.1",
        "NetStream.Unpause.Notify", "NetStream.Buffer.Flush", "NetStream.Play.Stop", "NetStream.Buffer.Empty" };
    EXPECT_EQ(lines, expected);
}

TEST(NetStream, AMissingFileSaysStreamNotFound)
{
    Application();
    QTemporaryDir dir;
    const std::vector<std::string> lines = RunStream(dir.path(), {}, 4);
    EXPECT_EQ(lines, (std::vector<std::string> { "NetStream.Play.Start", "NetStream.Play.StreamNotFound" }));
}

// ---- a Video attached to the stream, and the stream's sound

constexpr int kVideoWidth = 64;
constexpr int kVideoHeight = 48;

// 2 seconds at 10 frames a second, red for the first second and blue after it, key frames every 0.5 s, with
// a 441 Hz tone coded by `audioCodec` (ffmpeg's encoder name).
QByteArray MakeColourFlv(const QString& path, const QString& audioCodec)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/ffmpeg")))
        return {};
    QStringList args { "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
        "color=c=red:s=64x48:r=10:d=1", "-f", "lavfi", "-i", "color=c=blue:s=64x48:r=10:d=1", "-f", "lavfi", "-i",
        "sine=frequency=441:sample_rate=44100:duration=2", "-filter_complex", "[0:v][1:v]concat=n=2:v=1:a=0[v]",
        "-map", "[v]", "-map", "2:a", "-c:v", "flv1", "-g", "5", "-q:v", "2", "-c:a", audioCodec };
    if (audioCodec == "nellymoser")
        args << "-ar" << "22050";
    else if (audioCodec == "adpcm_swf")
        args << "-ar" << "22050";
    args << path;
    QProcess process;
    process.start(QStringLiteral("/usr/bin/ffmpeg"), args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An FLV of sound only: `seconds` of a 441 Hz tone coded by libmp3lame.
QByteArray MakeToneFlv(const QString& path, int seconds)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/ffmpeg")))
        return {};
    QProcess process;
    process.start(QStringLiteral("/usr/bin/ffmpeg"),
        { "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
            QStringLiteral("sine=frequency=441:sample_rate=44100:duration=%1").arg(seconds), "-c:a", "libmp3lame",
            "-b:a", "64k", path });
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// ffmpeg's own decoding of the file's sound (its first `seconds`, or all): 44.1 kHz mono.
std::vector<int16_t> FfmpegSound(const QString& path, int seconds = 0)
{
    QProcess process;
    QStringList args { "-hide_banner", "-loglevel", "error", "-i", path };
    if (seconds > 0)
        args << "-t" << QString::number(seconds);
    args << "-f" << "s16le" << "-ac" << "1" << "-ar" << "44100" << "-";
    process.start(QStringLiteral("/usr/bin/ffmpeg"), args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    const QByteArray b = process.readAllStandardOutput();
    std::vector<int16_t> s(size_t(b.size()) / 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = int16_t(uint16_t(uint8_t(b[int(2 * i)]) | (uint8_t(b[int(2 * i + 1)]) << 8)));
    return s;
}

// A 10 fps movie showing a video character named "vid", with `scripts` run on the frames they are given for.
std::vector<uint8_t> VideoStageMovie(const std::map<int, Asm>& scripts, int frames)
{
    MovieBuilder movie(kVideoWidth, kVideoHeight, kFps, 8);
    BitWriter define;
    define.u16(1);
    define.u16(0);
    define.u16(kVideoWidth);
    define.u16(kVideoHeight);
    define.u8(0);
    define.u8(2);
    movie.raw(kTagDefineVideoStream, define.out);
    std::vector<uint8_t> place { 0x22, 1, 0, 1, 0 }; // PlaceObject2: a character with a name, depth 1
    for (char c : std::string("vid"))
        place.push_back(uint8_t(c));
    place.push_back(0);
    movie.raw(kTagPlaceObject2, place);
    for (int f = 0; f < frames; ++f) {
        if (auto it = scripts.find(f); it != scripts.end()) {
            Asm a = it->second;
            movie.raw(kTagDoAction, a.finished());
        }
        movie.showFrame();
    }
    return movie.finish();
}

// nc, ns = a stream on a null connection; vid shows it; ns plays clip.flv.
Asm AttachAndPlay()
{
    Asm a;
    a.set("nc", Asm().num(0).str("NetConnection").op(0x40));
    a.null().i32(1).get("nc").str("connect").op(0x52).op(0x17);
    a.set("ns", Asm().get("nc").i32(1).str("NetStream").op(0x40));
    a.get("ns").i32(1).get("vid").str("attachVideo").op(0x52).op(0x17);
    a.str("clip.flv").i32(1).get("ns").str("play").op(0x52).op(0x17);
    return a;
}

Asm CallStream(const char* method, double arg)
{
    return Asm().num(arg).i32(1).get("ns").str(method).op(0x52).op(0x17);
}

struct Played {
    std::vector<Canvas> pictures; // after each frame
    std::vector<int16_t> sound; // interleaved stereo
    std::vector<std::string> traces;
};

// Plays the movie frame by frame on the movie's clock, answering its request for clip.flv with `flv`; `record`
// false leaves the movie without a sound output (nothing takes from its mixer). `afterFrame` looks at the
// player after each frame.
Played PlayWithFile(const std::vector<uint8_t>& movie, const QByteArray& flv, int frames, bool record = true,
    const std::function<void(plugin::MoviePlayer&)>& afterFrame = {})
{
    Played out;
    plugin::MoviePlayer player;
    if (record)
        player.sound().setOutput(std::make_unique<Recorder>(player.sound().mixer(), out.sound));
    player.onTrace = [&](const std::string& line) { out.traces.push_back(line); };
    avm1::Machine* machine = nullptr;
    player.onMachineCreated = [&](avm1::Machine& m) {
        machine = &m;
        avm1::LoadHost host;
        host.request = [&m, flv](uint32_t id, const std::string& url, bool, const std::string&, const std::string&) {
            if (url != "clip.flv")
                return false;
            avm1::LoadReceived(m, id, reinterpret_cast<const uint8_t*>(flv.constData()), size_t(flv.size()),
                uint32_t(flv.size()));
            avm1::LoadEnded(m, id, true);
            return true;
        };
        avm1::SetLoadHost(m, std::move(host));
    };
    if (!player.load(movie.data(), movie.size()))
        return out;
    const uint32_t ticksPerFrame = uint32_t(plugin::kTicksPerSecond / kFps);
    player.advanceTo(0);
    for (int f = 1; f <= frames; ++f) {
        player.advanceTo(uint32_t(f) * ticksPerFrame);
        // Answers reach the movie between its steps, as the plug-in hands them over.
        if (machine && avm1::LoadsPending(*machine))
            avm1::DeliverLoads(*machine);
        out.pictures.push_back(Render(player, kVideoWidth, kVideoHeight));
        if (afterFrame)
            afterFrame(player);
    }
    player.sound().setOutput(nullptr);
    return out;
}

bool Reddish(uint32_t p)
{
    return ((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) < 60 && (p & 0xFF) < 60;
}

bool Bluish(uint32_t p)
{
    return ((p >> 16) & 0xFF) < 60 && ((p >> 8) & 0xFF) < 60 && (p & 0xFF) > 200;
}

// The picture follows the stream's clock: red in the first second, blue after it; a seek back to 0.2 s shows
// the key frame at 0 again at once; clear() hides the picture until another frame is shown, which a pause puts
// off; after the pause the clock goes on from where it stood. A Video knows the size of the stream's pictures.
TEST(NetStreamVideo, ShowsTheFrameTheClockReachedAndFollowsSeeks)
{
    QTemporaryDir dir;
    const QByteArray flv = MakeColourFlv(dir.filePath("clip.flv"), "adpcm_swf");
    if (flv.isEmpty())
        GTEST_SKIP() << "ffmpeg not installed";
    auto traceSize = Asm().get("vid").str("width").op(0x4E).str("x").op(0x47).get("vid").str("height").op(0x4E)
                         .op(0x47).trace();
    // The file arrives after the movie's second frame (index 1): picture p is drawn after frame p + 1 ran, at
    // p tenths of a second of the stream until the seek.
    std::map<int, Asm> scripts;
    scripts[0] = Asm(AttachAndPlay()).append(traceSize);
    scripts[3] = traceSize;
    scripts[14] = CallStream("seek", 0.2); // picture 13: back to the key frame at 0
    scripts[16] = Asm().i32(0).get("ns").str("pause").op(0x52).op(0x17); // picture 15, at 0.2 s
    scripts[18] = Asm().i32(0).get("vid").str("clear").op(0x52).op(0x17); // picture 17
    scripts[21] = Asm().i32(0).get("ns").str("pause").op(0x52).op(0x17); // picture 20: on from 0.2 s
    const Played played = PlayWithFile(VideoStageMovie(scripts, 40), flv, 32);
    ASSERT_EQ(played.pictures.size(), 32u);
    EXPECT_EQ(played.traces, (std::vector<std::string> { "0x0", "64x48" }));
    const int x = kVideoWidth / 2, y = kVideoHeight / 2;
    auto at = [&](size_t p) { return played.pictures[p].at(x, y); };
    for (size_t p : { 1, 4, 8, 13, 14, 15, 21, 27 })
        EXPECT_TRUE(Reddish(at(p))) << p << " " << Hex(at(p));
    for (size_t p : { 11, 12, 31 })
        EXPECT_TRUE(Bluish(at(p))) << p << " " << Hex(at(p));
    // Cleared, and still clear while paused: the stage's white shows.
    for (size_t p : { 17, 19 })
        EXPECT_EQ(at(p), 0xFFFFFFFFu) << p << " " << Hex(at(p));
}

// The file's sound plays in the movie's mixer from the moment the file arrives, as ffmpeg decodes it; a pause
// silences it and a seek restarts it from the key frame's time.
class NetStreamSound : public ::testing::TestWithParam<const char*> { };

TEST_P(NetStreamSound, PlaysInStepWithTheStream)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("clip.flv");
    const QByteArray flv = MakeColourFlv(path, GetParam());
    if (flv.isEmpty())
        GTEST_SKIP() << "ffmpeg could not make the file";
    const std::vector<int16_t> reference = FfmpegSound(path);
    ASSERT_GT(reference.size(), 44100u);
    std::map<int, Asm> scripts;
    scripts[0] = AttachAndPlay();
    scripts[8] = CallStream("seek", 0.6); // at 0.8 s: back to the key frame at 0.5 s
    scripts[14] = Asm().i32(0).get("ns").str("pause").op(0x52).op(0x17); // at 1.4 s, stream time 1.1 s
    const Played played = PlayWithFile(VideoStageMovie(scripts, 40), flv, 20);
    const std::vector<int16_t> left = Side(played.sound, 0);
    const size_t perFrame = 44100 / size_t(kFps);
    ASSERT_GE(left.size(), 19 * perFrame);
    // Each stretch of the output against the stretch of the file it should play (ffmpeg's decoding), allowing
    // for a codec's delay of a few milliseconds.
    auto matches = [&](size_t outFrom, size_t refFrom, size_t length) {
        const std::vector<int16_t> ours(left.begin() + long(outFrom), left.begin() + long(outFrom + length));
        const std::vector<int16_t> theirs(
            reference.begin() + long(refFrom), reference.begin() + long(std::min(reference.size(), refFrom + length)));
        return BestAlignment(ours, theirs, 300).second;
    };
    // The stream starts at the movie's second frame (the file arrived in the first) ...
    EXPECT_GE(matches(2 * perFrame, 1 * perFrame, 5 * perFrame), 0.98);
    // ... after the seek (frame 9) it plays from 0.5 s ...
    EXPECT_GE(matches(10 * perFrame, 6 * perFrame, 4 * perFrame), 0.98);
    // ... and it is silent once paused (frame 15).
    long loudest = 0;
    for (size_t i = 16 * perFrame; i < 19 * perFrame; ++i)
        loudest = std::max(loudest, long(std::abs(left[i])));
    EXPECT_LT(loudest, 50);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, NetStreamSound, ::testing::Values("adpcm_swf", "libmp3lame", "pcm_s16le", "nellymoser", "aac"));

// The largest queue of any file's sound in the mixer (their keys lie above every timeline's).
size_t FileSoundQueued(plugin::MoviePlayer& player)
{
    size_t most = 0;
    for (uint64_t key : player.sound().mixer().streamKeys())
        if (key >= (uint64_t(1) << 62))
            most = std::max(most, player.sound().mixer().streamQueued(key));
    return most;
}

// A five-minute file's sound is decoded a few seconds ahead of what has played, never whole: the queue stays
// within its bound while an output takes from it and while nothing does, and what plays is ffmpeg's decoding.
TEST(NetStreamLongSound, IsDecodedAheadOfTheClockOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("clip.flv");
    const QByteArray flv = MakeToneFlv(path, 300);
    if (flv.isEmpty())
        GTEST_SKIP() << "ffmpeg could not make the file";
    const std::vector<int16_t> reference = FfmpegSound(path, 5);
    ASSERT_GT(reference.size(), 4u * 44100u);
    const auto bound = size_t((video::FlvAudio::kAheadSeconds + 0.5) * 44100);
    std::map<int, Asm> scripts;
    scripts[0] = AttachAndPlay();
    for (const bool record : { true, false }) {
        SCOPED_TRACE(record ? "played" : "no output");
        size_t most = 0;
        const Played played = PlayWithFile(VideoStageMovie(scripts, 60), flv, 40, record,
            [&](plugin::MoviePlayer& player) { most = std::max(most, FileSoundQueued(player)); });
        EXPECT_GT(most, size_t(44100)); // it was fed ...
        EXPECT_LE(most, bound); // ... within its bound
        if (record) {
            const std::vector<int16_t> left = Side(played.sound, 0);
            const size_t perFrame = 44100 / size_t(kFps);
            ASSERT_GE(left.size(), 39 * perFrame);
            const std::vector<int16_t> ours(left.begin() + long(2 * perFrame), left.begin() + long(38 * perFrame));
            const std::vector<int16_t> theirs(reference.begin() + long(perFrame), reference.end());
            EXPECT_GE(BestAlignment(ours, theirs, 300).second, 0.98);
        }
    }
}

// Loudness (root mean square) of the left side over the movie's frames [from, to).
double Loudness(const std::vector<int16_t>& stereo, int from, int to)
{
    const size_t perFrame = 44100 / size_t(kFps);
    double sum = 0;
    size_t n = 0;
    for (size_t i = size_t(from) * perFrame; i < size_t(to) * perFrame && 2 * i < stereo.size(); ++i, ++n)
        sum += double(stereo[2 * i]) * stereo[2 * i];
    return n ? std::sqrt(sum / double(n)) : 0;
}

// The stream's sound takes the levels of the clip MovieClip.attachAudio gave it to, or else those of the clip
// holding the Video that shows it; attachAudio(false) silences it.
TEST(NetStreamSound, TakesTheLevelsOfItsClip)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("clip.flv");
    const QByteArray flv = MakeColourFlv(path, "pcm_s16le");
    if (flv.isEmpty())
        GTEST_SKIP() << "ffmpeg could not make the file";
    const Asm makeHolder = Asm()
                               .i32(5)
                               .str("holder")
                               .i32(2)
                               .get("_root")
                               .str("createEmptyMovieClip")
                               .op(0x52)
                               .op(0x17)
                               .get("ns")
                               .i32(1)
                               .get("holder")
                               .str("attachAudio")
                               .op(0x52)
                               .op(0x17);
    auto volume = [](const char* clip, int percent) {
        return Asm()
            .set("snd", Asm().get(clip).i32(1).str("Sound").op(0x40))
            .i32(percent)
            .i32(1)
            .get("snd")
            .str("setVolume")
            .op(0x52)
            .op(0x17);
    };
    struct Case {
        const char* name;
        Asm script;
        double ratio;
    };
    const Case cases[] = {
        { "the video's clip", volume("_root", 30), 0.3 },
        { "attachAudio's clip", Asm(makeHolder).append(volume("holder", 30)), 0.3 },
        { "attachAudio's clip in a quieter one",
            Asm(makeHolder).append(volume("holder", 60)).append(volume("_root", 50)), 0.3 },
        { "attachAudio(false)",
            Asm(makeHolder).boolean(false).i32(1).get("holder").str("attachAudio").op(0x52).op(0x17), 0 },
    };
    std::map<int, Asm> plain;
    plain[0] = AttachAndPlay();
    const double full = Loudness(PlayWithFile(VideoStageMovie(plain, 20), flv, 10).sound, 3, 9);
    ASSERT_GT(full, 1000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::map<int, Asm> scripts;
        scripts[0] = Asm(AttachAndPlay()).append(c.script);
        const double level = Loudness(PlayWithFile(VideoStageMovie(scripts, 20), flv, 10).sound, 3, 9);
        EXPECT_NEAR(level / full, c.ratio, 0.02);
    }
}

// A stream that scripts dropped without closing it plays on only while something holds it: once the collector
// frees it its sound stops, while a Video on the stage that shows it keeps it playing.
TEST(NetStreamSound, StopsOnceNothingHoldsTheStream)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("clip.flv");
    const QByteArray flv = MakeColourFlv(path, "pcm_s16le");
    if (flv.isEmpty())
        GTEST_SKIP() << "ffmpeg could not make the file";
    for (const bool shown : { false, true }) {
        SCOPED_TRACE(shown ? "shown in a Video" : "held by nothing");
        std::map<int, Asm> scripts;
        Asm play;
        play.set("nc", Asm().num(0).str("NetConnection").op(0x40));
        play.null().i32(1).get("nc").str("connect").op(0x52).op(0x17);
        play.set("ns", Asm().get("nc").i32(1).str("NetStream").op(0x40));
        if (shown)
            play.get("ns").i32(1).get("vid").str("attachVideo").op(0x52).op(0x17);
        play.str("clip.flv").i32(1).get("ns").str("play").op(0x52).op(0x17);
        scripts[0] = play;
        scripts[3] = Asm().set("ns", Asm().null());
        int frame = 0;
        const Played played = PlayWithFile(VideoStageMovie(scripts, 20), flv, 10, true, [&](plugin::MoviePlayer& player) {
            if (++frame == 4 && player.scriptMachine())
                player.scriptMachine()->collectGarbage();
        });
        EXPECT_GT(Loudness(played.sound, 2, 4), 1000);
        if (shown)
            EXPECT_GT(Loudness(played.sound, 6, 9), 1000);
        else
            EXPECT_LT(Loudness(played.sound, 6, 9), 50);
    }
}

} // namespace
