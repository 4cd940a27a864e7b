// NetStream playing an FLV made by Debian's ffmpeg through the runner (which answers requests with files of the
// movie's folder): the order of its status messages and metadata, its clock, seeking to key frames, pausing and
// the end of the file; and the FLV reader on cut and damaged files.
#include "Avm1Assembler.h"
#include "MovieBuilder.h"
#include "MovieRunner.h"
#include "TestApplication.h"
#include "video/FlvFile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

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

} // namespace
