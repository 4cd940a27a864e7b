// The output volume against a real PulseAudio server with a null sink, started by each test in folders of its own.
#include "ControlsController.h"
#include "OutputVolume.h"
#include "ui_ControlsWindow.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace {

// Points libpulse (this process and pactl) at the test's own runtime folder; puts the old values back.
class PulseEnvironment
{
public:
    explicit PulseEnvironment(const QString& root)
    {
        for (const char* name : kNames)
            _saved.append(qgetenv(name));
        qputenv("HOME", QDir(root).filePath(QStringLiteral("home")).toUtf8());
        qputenv("XDG_RUNTIME_DIR", QDir(root).filePath(QStringLiteral("run")).toUtf8());
        qputenv("PULSE_RUNTIME_PATH", QDir(root).filePath(QStringLiteral("run/pulse")).toUtf8());
        qunsetenv("PULSE_SERVER");
        QDir(root).mkpath(QStringLiteral("home"));
        QDir(root).mkpath(QStringLiteral("run/pulse"));
        QFile::setPermissions(
            QDir(root).filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ~PulseEnvironment()
    {
        for (int i = 0; i < int(std::size(kNames)); ++i) {
            if (_saved[i].isNull())
                qunsetenv(kNames[i]);
            else
                qputenv(kNames[i], _saved[i]);
        }
    }

private:
    static constexpr const char* kNames[] = { "HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH", "PULSE_SERVER" };
    QList<QByteArray> _saved;
};

// pactl's output, or nothing when it failed.
std::optional<QString> pactl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(REELFINCH_PACTL), arguments);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The percentage of the first channel in pactl's answer ("Volume: front-left: 27525 /  42% / ...").
int pactlPercent()
{
    const QString text
        = pactl({ QStringLiteral("get-sink-volume"), QStringLiteral("@DEFAULT_SINK@") }).value_or(QString());
    const int slash = text.indexOf(QLatin1Char('/'));
    const int percent = text.indexOf(QLatin1Char('%'), slash);
    if (slash < 0 || percent < 0)
        return -1;
    return text.mid(slash + 1, percent - slash - 1).trimmed().toInt();
}

class PulseServer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStringLiteral(REELFINCH_PULSEAUDIO).isEmpty() || QStringLiteral(REELFINCH_PACTL).isEmpty())
            GTEST_SKIP() << "pulseaudio or pactl not installed";
        ASSERT_TRUE(_root.isValid());
        _environment = std::make_unique<PulseEnvironment>(_root.path());
        if (startsServer())
            startServer();
    }

    virtual bool startsServer() const { return true; }

    void startServer()
    {
        _server.setProcessChannelMode(QProcess::MergedChannels);
        _server.start(QStringLiteral(REELFINCH_PULSEAUDIO),
            { QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"), QStringLiteral("-n"),
                QStringLiteral("--load=module-null-sink"), QStringLiteral("--load=module-native-protocol-unix"),
                QStringLiteral("--disallow-exit"), QStringLiteral("--use-pid-file=no") });
        ASSERT_TRUE(_server.waitForStarted(5000));
        for (int i = 0; i < 100 && !pactl({ QStringLiteral("info") }); ++i)
            QThread::msleep(50);
        ASSERT_TRUE(pactl({ QStringLiteral("info") })) << _server.readAll().toStdString();
    }

    void TearDown() override
    {
        if (_server.state() != QProcess::NotRunning) {
            _server.terminate();
            if (!_server.waitForFinished(5000)) {
                _server.kill();
                _server.waitForFinished(2000);
            }
        }
        _environment.reset();
    }

    QTemporaryDir _root;
    std::unique_ptr<PulseEnvironment> _environment;
    QProcess _server;
};

} // namespace

TEST_F(PulseServer, ReadsWhatPactlSetAndSetsWhatPactlReads)
{
    for (const int percent : { 42, 0, 100 }) {
        ASSERT_TRUE(pactl({ QStringLiteral("set-sink-volume"), QStringLiteral("@DEFAULT_SINK@"),
            QString::number(percent) + QLatin1Char('%') }));
        EXPECT_NEAR(outputVolume(), percent / 100.0f, 0.005f) << percent;
    }
    for (const float volume : { 0.37f, 1.0f, 0.0f }) {
        ASSERT_TRUE(setOutputVolume(volume));
        EXPECT_EQ(pactlPercent(), int(std::lround(volume * 100))) << volume;
    }
    // Out of range is held to the slider's range; a non-number is refused.
    ASSERT_TRUE(setOutputVolume(3.0f));
    EXPECT_EQ(pactlPercent(), 100);
    EXPECT_FALSE(setOutputVolume(std::nanf("")));
    EXPECT_EQ(pactlPercent(), 100);
}

TEST(OutputVolume, NoServerMeansZeroAndNothingSet)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    PulseEnvironment environment(root.path());
    EXPECT_EQ(outputVolume(), 0.0f);
    EXPECT_FALSE(setOutputVolume(0.5f));
}

// A server that appears after the panel first looked.
class LatePulseServer : public PulseServer
{
protected:
    bool startsServer() const override { return false; }
};

TEST_F(LatePulseServer, ThePanelShowsThatNoOutputIsAvailableAndRecoversWhenAServerAppears)
{
    ControlsController controls;
    Ui::ControlsWindow& ui = controls.ui();
    controls.initVolumeValue();
    EXPECT_FALSE(controls.hasVolumeOutput());
    EXPECT_FALSE(ui._sldVolume->isEnabled());
    EXPECT_EQ(ui._txtVolumeValue->text(), QStringLiteral("No sound output"));
    EXPECT_EQ(defaultOutputVolume(), std::nullopt);

    startServer();
    ASSERT_TRUE(setOutputVolume(0.3f));
    controls.initVolumeValue(); // the panel's poll
    EXPECT_TRUE(controls.hasVolumeOutput());
    EXPECT_TRUE(ui._sldVolume->isEnabled());
    EXPECT_EQ(ui._sldVolume->value(), 30);
    EXPECT_EQ(ui._txtVolumeValue->text(), QStringLiteral("Volume 30 %"));
    // The user's move of the slider reaches the server.
    ui._sldVolume->setValue(55);
    EXPECT_EQ(pactlPercent(), 55);
}
