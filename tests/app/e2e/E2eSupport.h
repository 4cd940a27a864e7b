// What the end-to-end tests share: real key presses through the X server, waiting on a condition, a player
// home of its own with two copies of the demo movie, and quitting through the menu's shortcut.
#pragma once

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <dlfcn.h>

#include <functional>

namespace e2e {

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

inline bool waitFor(const std::function<bool()>& done, int timeoutMs)
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

// A temporary home for one run of the player: its settings, data and runtime folders, and two copies of the
// demo movie to play.
struct PlayerHome {
    QTemporaryDir dir;
    QString first = dir.filePath(QStringLiteral("first.swf"));
    QString second = dir.filePath(QStringLiteral("second.swf"));

    // Copies the demo movie twice; false when the folder cannot be made or written.
    bool prepare() const
    {
        return dir.isValid() && QFile::copy(QStringLiteral(REELFINCH_DEMO_MOVIE), first)
            && QFile::copy(QStringLiteral(REELFINCH_DEMO_MOVIE), second);
    }

    // The player's environment: this home's folders, `resources` as its resource folder, real X input.
    QProcessEnvironment environment(const QString& resources) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        environment.insert(QStringLiteral("REELFINCH_RESOURCES"), resources);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // Leaks of the desktop libraries at exit are not these tests' subject.
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        return environment;
    }

    // Quits `player` through its menu's shortcut (Control-Q) and checks that it ended normally and kept both movies
    // in its playlist with `current` as the movie being played.
    void quitAndExpectPlaylistKept(FakeKeyboard& keyboard, QProcess& player, const QString& current) const
    {
        constexpr unsigned long kKeyQ = 0x71;
        keyboard.controlChord(kKeyQ);
        if (!player.waitForFinished(20000)) {
            player.kill();
            player.waitForFinished(5000);
            FAIL() << "the player did not quit through its menu";
        }
        EXPECT_EQ(player.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(player.exitCode(), 0);
        const QSettings settings(dir.filePath(QStringLiteral("config/Reelfinch/Reelfinch.conf")), QSettings::IniFormat);
        EXPECT_EQ(settings.value(QStringLiteral("PlayList")).toStringList(), QStringList({ first, second }));
        EXPECT_EQ(settings.value(QStringLiteral("CurrentlyPlayedFile")).toString(), current);
    }
};

} // namespace e2e
