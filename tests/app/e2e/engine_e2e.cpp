// End to end, under Xvfb, with the real movie plug-in: the built player plays the first of two movies in its
// sandboxed engine process; that process is killed from outside; the player survives, moves on to the second
// movie (a new engine), and quitting through its menu still writes the playlist.
#include "E2eSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <signal.h>

namespace {

using e2e::FakeKeyboard;
using e2e::PlayerHome;
using e2e::waitFor;

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

    const PlayerHome home;
    ASSERT_TRUE(home.prepare());
    QProcessEnvironment environment = home.environment(QStringLiteral(REELFINCH_BUILD_RESOURCES));
    environment.remove(QStringLiteral("REELFINCH_IN_PROCESS"));

    QProcess player;
    player.setProcessEnvironment(environment);
    player.setProcessChannelMode(QProcess::ForwardedChannels);
    player.start(QStringLiteral(REELFINCH_APP), { home.first, home.second });
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

    home.quitAndExpectPlaylistKept(keyboard, player, home.second);
}

} // namespace
