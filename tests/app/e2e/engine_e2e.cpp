// End to end, under Xvfb, with the real movie plug-in: the built player plays the first of two movies in its
// sandboxed engine process; that process is killed from outside; the player survives, moves on to the second
// movie (a new engine), and quitting through its menu still writes the playlist.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <dlfcn.h>
#include <signal.h>

#include <functional>

namespace {

// Key presses reach the player as real input through the X server's XTest extension. The libraries are opened
// at run time: only their run-time parts are installed.
class FakeKeyboard
{
public:
    FakeKeyboard()
    {
        _x11 = dlopen("libX11.so.6", RTLD_NOW);
        _xtst = dlopen("libXtst.so.6", RTLD_NOW);
        if (!_x11 || !_xtst)
            return;
        openDisplay = reinterpret_cast<void* (*)(const char*)>(dlsym(_x11, "XOpenDisplay"));
        closeDisplay = reinterpret_cast<int (*)(void*)>(dlsym(_x11, "XCloseDisplay"));
        keysymToKeycode = reinterpret_cast<unsigned char (*)(void*, unsigned long)>(dlsym(_x11, "XKeysymToKeycode"));
        flush = reinterpret_cast<int (*)(void*)>(dlsym(_x11, "XFlush"));
        fakeKey = reinterpret_cast<int (*)(void*, unsigned, int, unsigned long)>(dlsym(_xtst, "XTestFakeKeyEvent"));
        if (openDisplay && closeDisplay && keysymToKeycode && flush && fakeKey)
            _display = openDisplay(nullptr);
    }
    ~FakeKeyboard()
    {
        if (_display)
            closeDisplay(_display);
        if (_xtst)
            dlclose(_xtst);
        if (_x11)
            dlclose(_x11);
    }
    bool ready() const { return _display != nullptr; }

    // Presses `key` with Control held.
    void controlChord(unsigned long key)
    {
        constexpr unsigned long kControlL = 0xffe3;
        const unsigned control = keysymToKeycode(_display, kControlL);
        const unsigned code = keysymToKeycode(_display, key);
        fakeKey(_display, control, 1, 0);
        fakeKey(_display, code, 1, 0);
        fakeKey(_display, code, 0, 0);
        fakeKey(_display, control, 0, 0);
        flush(_display);
    }

private:
    void* _x11 = nullptr;
    void* _xtst = nullptr;
    void* _display = nullptr;
    void* (*openDisplay)(const char*) = nullptr;
    int (*closeDisplay)(void*) = nullptr;
    unsigned char (*keysymToKeycode)(void*, unsigned long) = nullptr;
    int (*flush)(void*) = nullptr;
    int (*fakeKey)(void*, unsigned, int, unsigned long) = nullptr;
};

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(50);
    }
    return true;
}

// The movie engines the player runs: its children named reelfinch-engine (the kernel keeps 15 characters of a
// process's name) that are not yet zombies.
QList<qint64> enginesOf(qint64 parent)
{
    QList<qint64> engines;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // pid (comm) state ppid ...
        const qsizetype close = line.lastIndexOf(')');
        const qsizetype open = line.indexOf('(');
        if (open < 0 || close < 0)
            continue;
        const QByteArray name = line.mid(open + 1, close - open - 1);
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (rest.size() < 2 || name != QByteArray("reelfinch-engine").left(15) || rest.at(0) == "Z" || rest.at(1).toLongLong() != parent)
            continue;
        engines.append(pid);
    }
    return engines;
}

TEST(EngineEndToEnd, APlayerWhoseEngineIsKilledMovesOnAndKeepsItsPlaylist)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    FakeKeyboard keyboard;
    if (!keyboard.ready())
        GTEST_SKIP() << "the X server offers no XTest input";

    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString first = home.filePath(QStringLiteral("first.swf"));
    const QString second = home.filePath(QStringLiteral("second.swf"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(REELFINCH_DEMO_MOVIE), first));
    ASSERT_TRUE(QFile::copy(QStringLiteral(REELFINCH_DEMO_MOVIE), second));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    environment.insert(QStringLiteral("REELFINCH_RESOURCES"), QStringLiteral(REELFINCH_BUILD_RESOURCES));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("REELFINCH_IN_PROCESS"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));

    QProcess player;
    player.setProcessEnvironment(environment);
    player.setProcessChannelMode(QProcess::ForwardedChannels);
    player.start(QStringLiteral(REELFINCH_APP), { first, second });
    ASSERT_TRUE(player.waitForStarted(10000));

    // Auto-play starts the first movie, in an engine of its own.
    struct KillOnFailure {
        QProcess& process;
        ~KillOnFailure()
        {
            if (process.state() != QProcess::NotRunning) {
                process.kill();
                process.waitForFinished(5000);
            }
        }
    } killOnFailure { player };
    qint64 engine = 0;
    ASSERT_TRUE(waitFor(
        [&] {
            const QList<qint64> engines = enginesOf(player.processId());
            engine = engines.isEmpty() ? 0 : engines.first();
            return engine != 0;
        },
        30000));
    QThread::msleep(500);
    ASSERT_EQ(kill(pid_t(engine), SIGKILL), 0);

    // The player carries on with the second movie, in a new engine.
    EXPECT_TRUE(waitFor(
        [&] {
            const QList<qint64> engines = enginesOf(player.processId());
            return !engines.isEmpty() && !engines.contains(engine);
        },
        20000));
    EXPECT_EQ(player.state(), QProcess::Running);

    constexpr unsigned long kKeyQ = 0x71;
    keyboard.controlChord(kKeyQ);
    if (!player.waitForFinished(20000)) {
        player.kill();
        player.waitForFinished(5000);
        FAIL() << "the player did not quit through its menu";
    }
    EXPECT_EQ(player.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player.exitCode(), 0);
    const QSettings settings(home.filePath(QStringLiteral("config/Reelfinch/Reelfinch.conf")), QSettings::IniFormat);
    EXPECT_EQ(settings.value(QStringLiteral("PlayList")).toStringList(), QStringList({ first, second }));
    EXPECT_EQ(settings.value(QStringLiteral("CurrentlyPlayedFile")).toString(), second);
}

} // namespace
