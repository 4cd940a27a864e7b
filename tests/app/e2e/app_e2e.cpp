// End to end, under Xvfb: the built player is launched with two movies, auto-plays the first, shows its windows,
// watches the movie's frames advance, quits through its menu's shortcut, and leaves the playlist and the current
// entry in its settings file. Then, under a window manager (openbox), a first launch on the demo playlist with our
// own plug-in opens its windows apart and on the screen; a screenshot of it is kept.
#include "E2eSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

namespace {

using e2e::FakeKeyboard;
using e2e::PlayerHome;
using e2e::waitFor;

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

    const PlayerHome home;
    ASSERT_TRUE(home.prepare());
    const QString& first = home.first;
    const QString& second = home.second;
    const QString log = home.dir.filePath(QStringLiteral("frames.log"));
    QProcessEnvironment environment = home.environment(QStringLiteral(REELFINCH_E2E_RESOURCES));
    environment.insert(QStringLiteral("REELFINCH_E2E_LOG"), log);

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

    home.quitAndExpectPlaylistKept(keyboard, player, first);
}

// A program's standard output, or nothing when it failed.
QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// The visible top-level window whose title is exactly `title`, or 0.
QString windowNamed(const QString& title)
{
    const QString ids = run(QStringLiteral(REELFINCH_XDOTOOL),
        { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
            QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$') });
    return ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(0);
}

// A window's place on the screen with the frame the window manager gave it.
QRect frameOf(const QString& id)
{
    const QString info = run(QStringLiteral("xwininfo"), { QStringLiteral("-frame"), QStringLiteral("-id"), id });
    auto field = [&info](const char* name) {
        const QRegularExpression pattern(QLatin1String(name) + QStringLiteral(":\\s*(-?\\d+)"));
        return pattern.match(info).captured(1).toInt();
    };
    return QRect(field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height"));
}

TEST(EndToEnd, FirstLaunchOnTheDemoPlaylistOpensItsWindowsApartAndOnTheScreen)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    if (QStringLiteral(REELFINCH_OPENBOX).isEmpty() || QStringLiteral(REELFINCH_XDOTOOL).isEmpty())
        GTEST_SKIP() << "openbox or xdotool not installed";
    if (!QDir(QStringLiteral(REELFINCH_PLUGIN_BUNDLE)).exists())
        GTEST_SKIP() << "our plug-in is not built";

    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    // The player's own resources of the build tree: our plug-in, the skin, the translations.
    environment.remove(QStringLiteral("REELFINCH_RESOURCES"));

    QProcess windowManager;
    windowManager.setProcessEnvironment(environment);
    windowManager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    windowManager.setStandardOutputFile(QProcess::nullDevice());
    windowManager.start(QStringLiteral(REELFINCH_OPENBOX), { QStringLiteral("--sm-disable") });
    ASSERT_TRUE(windowManager.waitForStarted(10000));
    QThread::msleep(1000);

    const QStringList demos = { QStringLiteral("demo.swf"), QStringLiteral("gradients-and-morph.swf"),
        QStringLiteral("buttons-and-text.swf") };
    QStringList paths;
    for (const QString& demo : demos)
        paths.append(QDir(QStringLiteral(REELFINCH_DEMO_DIR)).filePath(demo));
    QProcess player;
    player.setProcessEnvironment(environment);
    player.setProcessChannelMode(QProcess::ForwardedChannels);
    player.start(QStringLiteral(REELFINCH_APP), paths);
    ASSERT_TRUE(player.waitForStarted(10000));

    // The first movie plays a second after launch: the movie window takes its name.
    const QStringList titles = { demos.first(), QStringLiteral("Movie Controls"), QStringLiteral("Playlist") };
    QList<QRect> frames;
    EXPECT_TRUE(waitFor(
        [&] {
            for (const QString& title : titles)
                if (windowNamed(title).isEmpty())
                    return false;
            return true;
        },
        30000))
        << qPrintable(windowTree());
    QThread::msleep(1500); // the window manager has placed and framed them; the movie has drawn a few frames
    for (const QString& title : titles)
        frames.append(frameOf(windowNamed(title)));

    const QString root = run(QStringLiteral("xwininfo"), { QStringLiteral("-root") });
    const QRect screen(0, 0, QRegularExpression(QStringLiteral("Width:\\s*(\\d+)")).match(root).captured(1).toInt(),
        QRegularExpression(QStringLiteral("Height:\\s*(\\d+)")).match(root).captured(1).toInt());
    for (int i = 0; i < frames.size(); ++i) {
        const QRect& frame = frames.at(i);
        EXPECT_FALSE(frame.isEmpty()) << qPrintable(titles.at(i));
        EXPECT_TRUE(screen.contains(frame)) << qPrintable(titles.at(i)) << " at " << frame.x() << "," << frame.y()
                                            << " " << frame.width() << "x" << frame.height();
        for (int j = i + 1; j < frames.size(); ++j)
            EXPECT_FALSE(frame.intersects(frames.at(j))) << qPrintable(titles.at(i) + " and " + titles.at(j));
    }

    // The screen as the user sees it.
    QProcess grab;
    grab.setProcessChannelMode(QProcess::MergedChannels);
    grab.start(QStringLiteral("ffmpeg"),
        { QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
            QStringLiteral("x11grab"), QStringLiteral("-video_size"),
            QStringLiteral("%1x%2").arg(screen.width()).arg(screen.height()), QStringLiteral("-i"),
            qEnvironmentVariable("DISPLAY"), QStringLiteral("-frames:v"), QStringLiteral("1"),
            QStringLiteral(REELFINCH_E2E_SCREENSHOT) });
    if (grab.waitForFinished(30000) && grab.exitCode() == 0)
        std::printf("screenshot: %s\n", REELFINCH_E2E_SCREENSHOT);

    // A termination request ends the player as Quit does.
    player.terminate();
    if (!player.waitForFinished(20000)) {
        player.kill();
        player.waitForFinished(5000);
        ADD_FAILURE() << "the player did not end";
    }
    windowManager.terminate();
    if (!windowManager.waitForFinished(5000)) {
        windowManager.kill();
        windowManager.waitForFinished(2000);
    }
}

} // namespace
