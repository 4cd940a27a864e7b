// Sound.loadSound through the runner, which answers requests with files of the movie's folder: an MP3 made by
// Debian's ffmpeg arrives, its ID3 title reaches onID3, onLoad hears of its size, and the streaming sound is
// heard in the captured WAV as ffmpeg itself decodes the file, starting as soon as it arrived.
#include "Avm1Assembler.h"
#include "MovieBuilder.h"
#include "MovieRunner.h"
#include "TestApplication.h"
#include "avm1/Loading.h"
#include "timeline/MoviePlayer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using namespace reelfinch;
using namespace plugintest;

namespace {

constexpr float kFps = 12;
constexpr size_t kPerFrame = 44100 / 12;

bool Ffmpeg(const QStringList& args, QByteArray* out = nullptr)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/ffmpeg")))
        return false;
    QProcess process;
    process.start(QStringLiteral("/usr/bin/ffmpeg"), QStringList { "-hide_banner", "-loglevel", "error", "-y" } + args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return false;
    if (out)
        *out = process.readAllStandardOutput();
    return true;
}

std::vector<int16_t> Samples(const QByteArray& bytes, size_t skip, size_t stride)
{
    std::vector<int16_t> s;
    for (size_t i = skip; 2 * i + 1 < size_t(bytes.size()); i += stride)
        s.push_back(int16_t(uint16_t(uint8_t(bytes[int(2 * i)]) | (uint8_t(bytes[int(2 * i + 1)]) << 8))));
    return s;
}

size_t FirstSound(const std::vector<int16_t>& s)
{
    for (size_t i = 0; i < s.size(); ++i)
        if (std::abs(s[i]) > 300)
            return i;
    return s.size();
}

// s = new Sound(); s.onID3 = ...; s.onLoad = ...; s.loadSound("tone.mp3", true); trace(s.getBytesLoaded());
Asm LoadingScript()
{
    Asm a;
    a.set("s", Asm().num(0).str("Sound").op(0x40));
    a.get("s").str("onID3").function("", {}, Asm().get("this").str("id3").op(0x4E).str("songname").op(0x4E).trace()).op(0x4F);
    Asm onLoad;
    onLoad.str("loaded ").get("ok").op(0x47).str(" ").op(0x47);
    onLoad.i32(0).get("this").str("getBytesLoaded").op(0x52).op(0x47).str(" ").op(0x47);
    onLoad.i32(0).get("this").str("getBytesTotal").op(0x52).op(0x47).trace();
    a.get("s").str("onLoad").function("", { "ok" }, onLoad).op(0x4F);
    a.boolean(true).str("tone.mp3").i32(2).get("s").str("loadSound").op(0x52).op(0x17);
    a.i32(0).get("s").str("getBytesLoaded").op(0x52).trace();
    return a;
}

TEST(SoundLoad, AStreamingMp3ArrivesWithItsTagsAndPlaysAsFfmpegDecodesIt)
{
    Application();
    QTemporaryDir dir;
    const QString mp3 = dir.filePath("tone.mp3");
    if (!Ffmpeg({ "-f", "lavfi", "-i", "sine=frequency=441:sample_rate=44100:duration=0.5", "-ac", "1", "-b:a", "64k",
            "-id3v2_version", "3", "-metadata", "title=Tone", mp3 }))
        GTEST_SKIP() << "ffmpeg not installed";
    QByteArray decoded;
    ASSERT_TRUE(Ffmpeg({ "-i", mp3, "-f", "s16le", "-ac", "1", "-ar", "44100", "-" }, &decoded));

    MovieBuilder movie(40, 40, kFps, 8);
    movie.raw(kTagDoAction, LoadingScript().finished());
    for (int f = 0; f < 12; ++f)
        movie.showFrame();
    const std::vector<uint8_t> bytes = movie.finish();
    const QString path = dir.filePath("movie.swf");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    }

    const std::string wav = dir.filePath("out.wav").toStdString();
    const std::optional<std::string> old = std::getenv("REELFINCH_AUDIO_CAPTURE")
        ? std::optional<std::string>(std::getenv("REELFINCH_AUDIO_CAPTURE"))
        : std::nullopt;
    setenv("REELFINCH_AUDIO_CAPTURE", wav.c_str(), 1);
    std::vector<std::string> lines;
    runner::RunOptions options;
    options.frames = 12;
    runner::RunMovie(path, options, [&](const QString& line) { lines.push_back(line.toStdString()); });
    old ? void(setenv("REELFINCH_AUDIO_CAPTURE", old->c_str(), 1)) : void(unsetenv("REELFINCH_AUDIO_CAPTURE"));

    const std::string size = std::to_string(QFile(mp3).size());
    EXPECT_EQ(lines, (std::vector<std::string> { "0", "Tone", "loaded true " + size + " " + size }));

    QFile out(QString::fromStdString(wav));
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    const QByteArray captured = out.readAll().mid(44);
    const std::vector<int16_t> left = Samples(captured, 0, 2);
    const std::vector<int16_t> reference = Samples(decoded, 0, 1);
    const size_t start = FirstSound(left), refStart = FirstSound(reference);
    ASSERT_LT(start, left.size());
    // Loaded between the first two frames: heard within the second.
    EXPECT_LT(start, 2 * kPerFrame + refStart);
    double xy = 0, xx = 0, yy = 0;
    for (size_t i = 0; start + i < left.size() && refStart + i < reference.size(); ++i) {
        const double x = left[start + i], y = reference[refStart + i];
        xy += x * y;
        xx += x * x;
        yy += y * y;
    }
    ASSERT_GT(xx * yy, 0);
    EXPECT_GE(xy / std::sqrt(xx * yy), 0.98);
}

// While the file arrives, getBytesLoaded follows what came so far and getBytesTotal gives the length the host
// announced; once it is all there both give the file's size.
TEST(SoundLoad, ProgressIsReadDuringTheDownload)
{
    QTemporaryDir dir;
    const QString mp3 = dir.filePath("tone.mp3");
    if (!Ffmpeg({ "-f", "lavfi", "-i", "sine=frequency=441:sample_rate=44100:duration=0.5", "-ac", "1", "-b:a", "64k", mp3 }))
        GTEST_SKIP() << "ffmpeg not installed";
    QFile file(mp3);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const auto size = uint32_t(bytes.size());
    const uint32_t half = size / 2;

    Asm traceProgress;
    traceProgress.i32(0).get("s").str("getBytesLoaded").op(0x52).str(" ").op(0x47);
    traceProgress.i32(0).get("s").str("getBytesTotal").op(0x52).op(0x47).trace();
    Asm first;
    first.set("s", Asm().num(0).str("Sound").op(0x40));
    first.boolean(false).str("tone.mp3").i32(2).get("s").str("loadSound").op(0x52).op(0x17);
    first.append(traceProgress);
    MovieBuilder movie(40, 40, kFps, 8);
    movie.raw(kTagDoAction, first.finished());
    movie.showFrame();
    for (int f = 1; f < 4; ++f) {
        Asm a = traceProgress;
        movie.raw(kTagDoAction, a.finished());
        movie.showFrame();
    }
    const std::vector<uint8_t> swf = movie.finish();

    plugin::MoviePlayer player;
    std::vector<std::string> lines;
    player.onTrace = [&](const std::string& line) { lines.push_back(line); };
    avm1::Machine* machine = nullptr;
    uint32_t request = 0;
    player.onMachineCreated = [&](avm1::Machine& m) {
        machine = &m;
        avm1::LoadHost host;
        host.request = [&](uint32_t id, const std::string&, bool, const std::string&, const std::string&) {
            request = id;
            return true;
        };
        avm1::SetLoadHost(m, std::move(host));
    };
    ASSERT_TRUE(player.load(swf.data(), swf.size()));
    const uint32_t ticksPerFrame = uint32_t(plugin::kTicksPerSecond / kFps);
    player.advanceTo(0); // frame 1
    ASSERT_TRUE(machine && request);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    avm1::LoadReceived(*machine, request, data, half, size);
    player.advanceTo(ticksPerFrame); // frame 2
    avm1::LoadReceived(*machine, request, data + half, size - half, size);
    avm1::LoadEnded(*machine, request, true);
    player.advanceTo(2 * ticksPerFrame); // frame 3: the whole file, not yet handed to the Sound
    avm1::DeliverLoads(*machine);
    player.advanceTo(3 * ticksPerFrame); // frame 4
    const std::string total = std::to_string(size);
    EXPECT_EQ(lines, (std::vector<std::string> { "0 undefined", std::to_string(half) + " " + total,
                         total + " " + total, total + " " + total }));
}

} // namespace
