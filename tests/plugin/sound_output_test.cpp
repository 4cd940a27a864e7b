// The sound leaving the plug-in: the exporter's WAV through the real bundle (built movies and a corpus movie),
// and a real PulseAudio server with a null sink whose monitor hears a playing movie.
#include "Avm1Assembler.h"
#include "FrameExporter.h"
#include "NSFlashPluginView.h"
#include "SoundTestSupport.h"
#include "TestApplication.h"
#include "avm1/Loading.h"
#include "avm1/Machine.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <chrono>
#include <thread>

using namespace plugintest;

namespace {

constexpr int kFps = 12;
constexpr size_t kPerFrame = kMixRate / kFps;
constexpr uint8_t kPcm44Mono = (3 << 4) | (3 << 2) | 2;

struct Wav {
    int channels = 0;
    int rate = 0;
    int bits = 0;
    std::vector<int16_t> samples;
};

bool ReadWav(const QString& path, Wav& wav)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray b = file.readAll();
    if (b.size() < 44 || !b.startsWith("RIFF") || b.mid(8, 4) != "WAVE" || b.mid(36, 4) != "data")
        return false;
    auto u16 = [&](int at) { return int(uint8_t(b[at]) | (uint8_t(b[at + 1]) << 8)); };
    auto u32 = [&](int at) { return uint32_t(u16(at)) | (uint32_t(u16(at + 2)) << 16); };
    wav.channels = u16(22);
    wav.rate = int(u32(24));
    wav.bits = u16(34);
    const uint32_t size = u32(40);
    if (size + 44 != uint32_t(b.size()) || u32(4) != size + 36)
        return false;
    wav.samples.resize(size / 2);
    for (size_t i = 0; i < wav.samples.size(); ++i)
        wav.samples[i] = int16_t(u16(44 + int(2 * i)));
    return true;
}

QString WriteMovie(const QTemporaryDir& dir, const std::vector<uint8_t>& bytes)
{
    const QString path = dir.filePath("movie.swf");
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    return path;
}

TEST(SoundExport, WritesTheMoviesSoundFrameByFrameTheSameEachTime)
{
    Application();
    const std::vector<int16_t> sine = Sine(5000, 63.1);
    MovieBuilder movie(100, 100, kFps);
    DefineSound(movie, 1, kPcm44Mono, uint32_t(sine.size()), PcmBytes(sine));
    StreamHead(movie, kPcm44Mono, uint16_t(kPerFrame));
    for (int f = 0; f < 5; ++f) {
        if (f == 2)
            StartSound(movie, 1);
        movie.raw(kTagSoundStreamBlock, PcmBytes(std::vector<int16_t>(kPerFrame, int16_t(100 * (f + 1)))));
        movie.showFrame();
    }
    QTemporaryDir dir;
    const QString path = WriteMovie(dir, movie.finish());
    QString error;
    ASSERT_TRUE(reelfinch::exporter::ExportAudio(path, dir.filePath("a.wav"), 0, &error)) << error.toStdString();
    ASSERT_TRUE(reelfinch::exporter::ExportAudio(path, dir.filePath("b.wav"), 0, &error)) << error.toStdString();
    ASSERT_TRUE(reelfinch::exporter::ExportAudio(path, dir.filePath("c.wav"), 3, &error)) << error.toStdString();
    Wav a, b, c;
    ASSERT_TRUE(ReadWav(dir.filePath("a.wav"), a));
    ASSERT_TRUE(ReadWav(dir.filePath("b.wav"), b));
    ASSERT_TRUE(ReadWav(dir.filePath("c.wav"), c));
    EXPECT_EQ(a.channels, 2);
    EXPECT_EQ(a.rate, 44100);
    EXPECT_EQ(a.bits, 16);
    EXPECT_EQ(a.samples, b.samples);
    // The whole timeline by default, or the frames asked for.
    ASSERT_EQ(a.samples.size(), 5 * kPerFrame * 2);
    ASSERT_EQ(c.samples.size(), 3 * kPerFrame * 2);
    for (size_t i = 0; i < 5 * kPerFrame; ++i) {
        const size_t frame = i / kPerFrame;
        const int event = i >= 2 * kPerFrame && i - 2 * kPerFrame < sine.size() ? sine[i - 2 * kPerFrame] : 0;
        ASSERT_EQ(a.samples[2 * i], int(100 * (frame + 1)) + event) << i;
    }
}

// Every movie of the corpus's ffmpeg folder that holds sound: what the exporter writes against ffmpeg's own
// decoding of the same movie.
TEST(SoundExport, CorpusMoviesMatchFfmpegsDecoding)
{
    Application();
    const QDir folder(QStringLiteral(REELFINCH_CORPUS_DIR "/movies/ffmpeg"));
    if (!folder.exists() || !QFile::exists("/usr/bin/ffmpeg"))
        GTEST_SKIP() << "corpus or ffmpeg not here";
    QTemporaryDir dir;
    int compared = 0;
    for (const QString& name : folder.entryList({ "*.swf" }, QDir::Files, QDir::Name)) {
        SCOPED_TRACE(name.toStdString());
        const QString movie = folder.filePath(name);
        QProcess ffmpeg;
        ffmpeg.start("/usr/bin/ffmpeg", { "-hide_banner", "-loglevel", "quiet", "-i", movie, "-vn", "-f", "s16le",
                                            "-ac", "2", "-ar", "44100", "-" });
        ASSERT_TRUE(ffmpeg.waitForFinished(60000));
        const QByteArray raw = ffmpeg.readAllStandardOutput();
        if (raw.size() < 44100 * 4 / 2)
            continue; // no sound, or less than half a second of it
        std::vector<int16_t> reference(size_t(raw.size()) / 2);
        std::memcpy(reference.data(), raw.constData(), reference.size() * 2);
        QString error;
        const QString wavPath = dir.filePath(name + ".wav");
        ASSERT_TRUE(reelfinch::exporter::ExportAudio(movie, wavPath, 0, &error)) << error.toStdString();
        Wav wav;
        ASSERT_TRUE(ReadWav(wavPath, wav));
        const std::vector<int16_t> ours = Side(wav.samples, 0);
        const std::vector<int16_t> theirs = Side(reference, 0);
        ASSERT_GT(ours.size(), theirs.size() * 9 / 10);
        // Within one frame of the movie (at most a tenth of a second for these movies).
        const auto [lag, correlation] = BestAlignment(theirs, ours, 44100 / 10);
        EXPECT_GE(correlation, 0.98);
        EXPECT_LE(std::abs(lag), 44100 / 10) << "apart by " << lag;
        ++compared;
    }
    EXPECT_GE(compared, 1);
}

#if defined(REELFINCH_PULSEAUDIO) && defined(REELFINCH_PAREC)
// libpulse in this process and the tools pointed at a runtime folder of the test's own.
class PulseSink : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStringLiteral(REELFINCH_PULSEAUDIO).isEmpty() || QStringLiteral(REELFINCH_PAREC).isEmpty())
            GTEST_SKIP() << "pulseaudio or parec not installed";
        ASSERT_TRUE(m_Root.isValid());
        for (const char* name : kNames)
            m_Saved.append(qgetenv(name));
        const QDir root(m_Root.path());
        root.mkpath("home");
        root.mkpath("run/pulse");
        QFile::setPermissions(root.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("HOME", root.filePath("home").toUtf8());
        qputenv("XDG_RUNTIME_DIR", root.filePath("run").toUtf8());
        qputenv("PULSE_RUNTIME_PATH", root.filePath("run/pulse").toUtf8());
        qunsetenv("PULSE_SERVER");
        m_Server.setProcessChannelMode(QProcess::MergedChannels);
        m_Server.start(QStringLiteral(REELFINCH_PULSEAUDIO),
            { "--daemonize=no", "--exit-idle-time=-1", "-n", "--load=module-null-sink sink_name=movie_sink",
                "--load=module-native-protocol-unix", "--disallow-exit", "--use-pid-file=no" });
        ASSERT_TRUE(m_Server.waitForStarted(5000));
        const QString socket = root.filePath("run/pulse/native");
        for (int i = 0; i < 100 && !QFile::exists(socket); ++i)
            QThread::msleep(50);
        ASSERT_TRUE(QFile::exists(socket)) << m_Server.readAll().toStdString();
    }
    void TearDown() override
    {
        if (m_Server.state() != QProcess::NotRunning) {
            m_Server.terminate();
            if (!m_Server.waitForFinished(5000)) {
                m_Server.kill();
                m_Server.waitForFinished(2000);
            }
        }
        for (int i = 0; i < m_Saved.size(); ++i) {
            if (m_Saved[i].isNull())
                qunsetenv(kNames[i]);
            else
                qputenv(kNames[i], m_Saved[i]);
        }
    }

    static constexpr const char* kNames[] = { "HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH", "PULSE_SERVER" };
    QTemporaryDir m_Root;
    QList<QByteArray> m_Saved;
    QProcess m_Server;
};

// What the null sink's monitor plays, recorded by parec. It is read as it comes: a full pipe would hold the
// recorder up.
class MonitorRecording {
public:
    bool start()
    {
        m_Parec.start(QStringLiteral(REELFINCH_PAREC),
            { "--device=movie_sink.monitor", "--format=s16le", "--rate=44100", "--channels=2", "--raw",
                "--latency-msec=20" });
        return m_Parec.waitForStarted(5000);
    }
    void drain()
    {
        m_Parec.waitForReadyRead(1);
        m_Raw += m_Parec.readAllStandardOutput();
    }
    QByteArray finish()
    {
        m_Parec.terminate();
        m_Parec.waitForFinished(5000);
        m_Raw += m_Parec.readAllStandardOutput();
        return m_Raw;
    }

private:
    QProcess m_Parec;
    QByteArray m_Raw;
};

// A 441 Hz tone for three seconds from the first frame.
std::vector<uint8_t> ToneMovie()
{
    const std::vector<int16_t> tone = Sine(3 * 44100, 100.0, 16000);
    MovieBuilder movie(100, 100, kFps);
    DefineSound(movie, 1, kPcm44Mono, uint32_t(tone.size()), PcmBytes(tone));
    StartSound(movie, 1);
    for (int f = 0; f < 40; ++f)
        movie.showFrame();
    return movie.finish();
}

// The best correlation of a twentieth of a second of the tone anywhere in what the monitor gave, and (in *onset)
// the first frame where the tone is heard.
double ToneHeard(const QByteArray& raw, size_t* onset = nullptr)
{
    std::vector<int16_t> heard(size_t(raw.size()) / 2);
    std::memcpy(heard.data(), raw.constData(), heard.size() * 2);
    const std::vector<int16_t> left = Side(heard, 0);
    if (onset) {
        *onset = left.size();
        for (size_t i = 0; i < left.size(); ++i)
            if (std::abs(int(left[i])) > 4000) {
                *onset = i;
                break;
            }
    }
    // A twentieth of a second: the stream may be late between pieces on a loaded machine.
    const std::vector<int16_t> reference = Sine(44100 / 20, 100.0, 16000);
    double best = 0;
    for (size_t start = 0; start + reference.size() <= left.size(); start += 4410)
        for (size_t shift = 0; shift < 100; shift += 5)
            if (start + shift + reference.size() <= left.size())
                best = std::max(best, Correlation(reference.data(), left.data() + start + shift, reference.size()));
    return best;
}

TEST_F(PulseSink, ThePlayingMovieReachesTheSinksMonitor)
{
    Application();
    const std::vector<uint8_t> bytes = ToneMovie();

    MonitorRecording recording;
    ASSERT_TRUE(recording.start());
    auto drain = [&] { recording.drain(); };
    for (int i = 0; i < 30; ++i)
        drain(), QThread::msleep(10);
    {
        reelfinch::plugin::MoviePlayer player;
        player.openSoundOutput("sound test");
        ASSERT_TRUE(player.load(bytes.data(), bytes.size()));
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 2500) {
            player.advanceTo(uint32_t(clock.elapsed() * 60 / 1000));
            drain();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    for (int i = 0; i < 20; ++i)
        drain(), QThread::msleep(10);
    const QByteArray raw = recording.finish();
    ASSERT_GT(raw.size(), 44100 / 4 * 4) << "the monitor gave " << raw.size() << " bytes";
    // Somewhere in what the monitor gave, a piece of the tone.
    EXPECT_GT(ToneHeard(raw), 0.95) << "of " << raw.size() / 4 << " frames heard";
}

// The same through the real bundle: the movie engine runs confined (no sockets), mixes into its pipe, and the
// proxy in this process plays the pipe on the server. The movie is paused before its tone ends: the end of the
// recording is quiet.
TEST_F(PulseSink, TheEnginesSoundReachesTheSinkThroughTheProxy)
{
    Application();
    const std::vector<uint8_t> bytes = ToneMovie();
    MonitorRecording recording;
    ASSERT_TRUE(recording.start());
    auto pump = [&](int ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            recording.drain();
        }
    };
    // The fresh null sink settles its latency only after its monitor has been recorded a while; a stream opened
    // sooner is served in blocks of most of a second and may not be heard within the test's time.
    pump(1500);
    {
        NSFlashPluginView::setPluginPath(QStringLiteral(REELFINCH_PLUGIN_BUNDLE));
        QWidget window;
        window.resize(100, 100);
        auto* view = new NSFlashPluginView(&window);
        view->setGeometry(0, 0, 100, 100);
        window.show();
        view->setOriginalRect(0, 0, 100 * 20, 100 * 20);
        ASSERT_TRUE(view->loadMovie(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())),
            QStringLiteral("/tmp/reelfinch-sound-test.swf")));
        pump(1500);
        view->stopPlay();
        pump(1000);
        NSFlashPluginView::setPluginPath(QString());
    }
    const QByteArray raw = recording.finish();
    ASSERT_GT(raw.size(), 44100 / 2 * 4) << "the monitor gave " << raw.size() << " bytes";
    EXPECT_GT(ToneHeard(raw), 0.95) << "of " << raw.size() / 4 << " frames heard";
    // The last quarter second recorded, while the movie was paused.
    size_t loud = 0;
    const QByteArray tail = raw.right(44100 / 4 * 4);
    ToneHeard(tail, &loud);
    EXPECT_EQ(loud, size_t(tail.size()) / 4) << "the paused movie was heard";
}
// A stream that scripts dropped without closing it goes quiet on the sink once the collector frees it, although
// its file (a four-second 441 Hz tone) has more to play.
TEST_F(PulseSink, ADroppedNetStreamFallsSilentOnceCollected)
{
    Application();
    QTemporaryDir dir;
    const QString path = dir.filePath("tone.flv");
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("/usr/bin/ffmpeg"),
        { "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
            "aevalsrc=0.5*sin(2*PI*441*t):s=44100:d=4", "-c:a", "pcm_s16le", path });
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        GTEST_SKIP() << "ffmpeg could not make the file";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray flv = file.readAll();

    MovieBuilder movie(100, 100, kFps);
    Asm play;
    play.set("nc", Asm().num(0).str("NetConnection").op(0x40));
    play.null().i32(1).get("nc").str("connect").op(0x52).op(0x17);
    play.set("ns", Asm().get("nc").i32(1).str("NetStream").op(0x40));
    play.str("tone.flv").i32(1).get("ns").str("play").op(0x52).op(0x17);
    movie.raw(kTagDoAction, play.finished());
    movie.showFrame();
    for (int f = 1; f < 60; ++f) {
        if (f == 6) {
            Asm drop = Asm().set("ns", Asm().null());
            movie.raw(kTagDoAction, drop.finished());
        }
        movie.showFrame();
    }
    const std::vector<uint8_t> bytes = movie.finish();

    MonitorRecording recording;
    ASSERT_TRUE(recording.start());
    auto drain = [&] { recording.drain(); };
    // The fresh null sink settles its latency only after its monitor has been recorded a while.
    for (int i = 0; i < 150; ++i)
        drain(), QThread::msleep(10);
    {
        reelfinch::plugin::MoviePlayer player;
        reelfinch::avm1::Machine* machine = nullptr;
        player.onMachineCreated = [&](reelfinch::avm1::Machine& m) {
            machine = &m;
            reelfinch::avm1::LoadHost host;
            host.request = [&m, flv](uint32_t id, const std::string& url, bool, const std::string&, const std::string&) {
                if (url != "tone.flv")
                    return false;
                reelfinch::avm1::LoadReceived(
                    m, id, reinterpret_cast<const uint8_t*>(flv.constData()), size_t(flv.size()), uint32_t(flv.size()));
                reelfinch::avm1::LoadEnded(m, id, true);
                return true;
            };
            reelfinch::avm1::SetLoadHost(m, std::move(host));
        };
        player.openSoundOutput("sound test");
        ASSERT_TRUE(player.load(bytes.data(), bytes.size()));
        QElapsedTimer clock;
        clock.start();
        bool collected = false;
        while (clock.elapsed() < 3000) {
            player.advanceTo(uint32_t(clock.elapsed() * 60 / 1000));
            if (machine && reelfinch::avm1::LoadsPending(*machine))
                reelfinch::avm1::DeliverLoads(*machine);
            // Well after the script dropped the stream (its sixth frame).
            if (!collected && clock.elapsed() > 1500 && player.scriptMachine()) {
                player.scriptMachine()->collectGarbage();
                collected = true;
            }
            drain();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    const QByteArray raw = recording.finish();
    ASSERT_GT(raw.size(), 44100 * 4) << "the monitor gave " << raw.size() << " bytes";
    EXPECT_GT(ToneHeard(raw), 0.95) << "the stream was never heard";
    // The last half second recorded, a second after the collection.
    size_t loud = 0;
    const QByteArray tail = raw.right(44100 / 2 * 4);
    ToneHeard(tail, &loud);
    EXPECT_EQ(loud, size_t(tail.size()) / 4) << "the dropped stream was still heard";
}
#endif

} // namespace
