// End to end, under Xvfb: the built player is launched with two movies, auto-plays the first, shows its windows,
// watches the movie's frames advance, quits through its menu's shortcut, and leaves the playlist and the current
// entry in its settings file.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <dlfcn.h>

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

QString windowTree()
{
    QProcess tree;
    tree.start(QStringLiteral("xwininfo"), { QStringLiteral("-root"), QStringLiteral("-tree") });
    tree.waitForFinished(10000);
    return QString::fromLocal8Bit(tree.readAllStandardOutput());
}

// The distinct frame numbers the plug-in reported, in order.
QList<int> reportedFrames(const QString& log)
{
    QFile file(log);
    QList<int> frames;
    if (!file.open(QIODevice::ReadOnly))
        return frames;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.startsWith("CurrentFrame "))
            continue;
        const int frame = line.mid(13).toInt();
        if (frames.isEmpty() || frames.last() != frame)
            frames.append(frame);
    }
    return frames;
}

TEST(EndToEnd, PlaysFirstOfTwoMoviesAndKeepsThePlaylistAfterQuittingThroughTheMenu)
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
    const QString log = home.filePath(QStringLiteral("frames.log"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    environment.insert(QStringLiteral("REELFINCH_RESOURCES"), QStringLiteral(REELFINCH_E2E_RESOURCES));
    environment.insert(QStringLiteral("REELFINCH_E2E_LOG"), log);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // Leaks of the desktop libraries at exit are not this test's subject.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));

    QProcess player;
    player.setProcessEnvironment(environment);
    player.setProcessChannelMode(QProcess::ForwardedChannels);
    player.start(QStringLiteral(REELFINCH_APP), { first, second });
    ASSERT_TRUE(player.waitForStarted(10000));

    // Auto-play starts the first movie a second after launch; its frames then advance.
    EXPECT_TRUE(waitFor(
        [&] {
            const QList<int> frames = reportedFrames(log);
            return frames.size() >= 3 && frames.at(1) > frames.at(0) && frames.at(2) > frames.at(1);
        },
        30000))
        << "frames reported: " << reportedFrames(log).size();

    const QString tree = windowTree();
    EXPECT_TRUE(tree.contains(QStringLiteral("\"first.swf\""))) << qPrintable(tree);
    EXPECT_TRUE(tree.contains(QStringLiteral("\"Movie Controls\""))) << qPrintable(tree);
    EXPECT_TRUE(tree.contains(QStringLiteral("\"Playlist\""))) << qPrintable(tree);

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
    EXPECT_EQ(settings.value(QStringLiteral("CurrentlyPlayedFile")).toString(), first);
}

} // namespace
