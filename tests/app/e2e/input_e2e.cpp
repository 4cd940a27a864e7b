// End to end, under Xvfb with a window manager, with the real movie plug-in in its sandboxed engine: the player
// plays the demo movie whose buttons drive its timeline, and real clicks sent through the X server (xdotool) stop
// it, rewind it and step it a frame. The movie window's picture tells: it changes while the movie plays, holds
// still once Stop is clicked, goes back to its first frame on Rewind, and moves on by one frame when Step is
// clicked. Screenshots of each stage are kept. A second test plays a button movie of the shared corpus and presses
// its button with the real mouse: the button's own handlers hide it while it is held and show it again on release.
#include "E2eSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

using e2e::PlayerHome;
using e2e::waitFor;

// The demo movie's stage and the centres of its Stop and Step buttons (pixels of the stage).
constexpr int kStageWidth = 480;
constexpr int kStageHeight = 320;
constexpr QPoint kStopButton(184, 266);
constexpr QPoint kStepButton(296, 266);
constexpr QPoint kRewindButton(408, 266);

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QString();
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QString windowNamed(const QString& title)
{
    const QString ids = run(QStringLiteral(REELFINCH_XDOTOOL),
        { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
            QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$') });
    return ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts).value(0);
}

// A window's content area on the screen.
QRect areaOf(const QString& id)
{
    const QString info = run(QStringLiteral("xwininfo"), { QStringLiteral("-id"), id });
    auto field = [&info](const char* name) {
        const QRegularExpression pattern(QLatin1String(name) + QStringLiteral(":\\s*(-?\\d+)"));
        return pattern.match(info).captured(1).toInt();
    };
    return QRect(field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height"));
}

// The screen's picture of `area`, also kept as `name` beside the test's other outputs.
QImage grab(const QRect& area, const QString& name)
{
    const QString path = QDir(QStringLiteral(REELFINCH_E2E_OUTPUT)).filePath(name);
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"),
        { QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"), QStringLiteral("-f"),
            QStringLiteral("x11grab"), QStringLiteral("-draw_mouse"), QStringLiteral("0"), QStringLiteral("-video_size"),
            QStringLiteral("%1x%2").arg(area.width()).arg(area.height()), QStringLiteral("-i"),
            qEnvironmentVariable("DISPLAY") + QStringLiteral("+%1,%2").arg(area.x()).arg(area.y()),
            QStringLiteral("-frames:v"), QStringLiteral("1"), path });
    if (!ffmpeg.waitForFinished(30000) || ffmpeg.exitCode() != 0)
        return QImage();
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

// The movie view inside the window: below the window's menu bar, where the movie's background colour starts.
QRect movieView(const QRect& window, const QImage& picture)
{
    constexpr QRgb kBackground = qRgb(0xF4, 0xF1, 0xE8);
    for (int y = 0; y < picture.height() / 4; ++y)
        if (picture.pixel(picture.width() / 2, y) == kBackground)
            return QRect(window.x(), window.y() + y, window.width(), window.height() - y);
    return window;
}

// Where a point of the stage shows in the window: the movie fits the view, scaled alike on both axes and centred.
QPoint onScreen(const QRect& view, QPoint stage)
{
    const double scale = std::min(double(view.width()) / kStageWidth, double(view.height()) / kStageHeight);
    const double left = view.x() + (view.width() - kStageWidth * scale) / 2;
    const double top = view.y() + (view.height() - kStageHeight * scale) / 2;
    return QPoint(int(left + stage.x() * scale), int(top + stage.y() * scale));
}

// The band of the picture the ball crosses (the buttons, which show the mouse over them, lie outside it).
QImage ballTrack(const QRect& view, const QImage& picture)
{
    const QPoint topLeft = onScreen(view, QPoint(0, 145)) - view.topLeft();
    const QPoint bottomRight = onScreen(view, QPoint(kStageWidth, 195)) - view.topLeft();
    return picture.copy(QRect(topLeft, bottomRight));
}

bool click(QPoint at)
{
    const QString x = QString::number(at.x());
    const QString y = QString::number(at.y());
    QProcess xdotool;
    xdotool.start(QStringLiteral(REELFINCH_XDOTOOL),
        { QStringLiteral("mousemove"), QStringLiteral("--sync"), x, y, QStringLiteral("sleep"), QStringLiteral("0.3"),
            QStringLiteral("click"), QStringLiteral("1") });
    return xdotool.waitForFinished(10000) && xdotool.exitCode() == 0;
}

// The ball's band of the movie at two moments `apart` ms from each other (the whole pictures are kept).
std::pair<QImage, QImage> twoPictures(const QRect& area, const QString& stage, int apart)
{
    const QImage first = grab(area, stage + QStringLiteral("-a.png"));
    QThread::msleep(apart);
    const QImage second = grab(area, stage + QStringLiteral("-b.png"));
    return { ballTrack(area, first), ballTrack(area, second) };
}

// The player under a window manager, playing one movie in the real plug-in's sandboxed engine; both end with it.
struct RunningPlayer {
    const PlayerHome home;
    const QString movie;
    QProcess windowManager;
    QProcess player;
    QString window; // the movie window's id, once it shows

    explicit RunningPlayer(QString source) : movie(std::move(source)) { }
    ~RunningPlayer()
    {
        for (QProcess* p : { &player, &windowManager }) {
            if (p->state() == QProcess::NotRunning)
                continue;
            p->terminate();
            if (!p->waitForFinished(10000)) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }
    RunningPlayer(const RunningPlayer&) = delete;
    RunningPlayer& operator=(const RunningPlayer&) = delete;

    // Starts both and waits for the movie's window; false (with the reason printed) when any of it fails.
    bool start()
    {
        if (!home.dir.isValid() || !QFile::copy(movie, home.first)) {
            ADD_FAILURE() << "cannot copy " << movie.toStdString();
            return false;
        }
        QProcessEnvironment environment = home.environment(QStringLiteral(REELFINCH_BUILD_RESOURCES));
        environment.remove(QStringLiteral("REELFINCH_IN_PROCESS"));
        windowManager.setProcessEnvironment(environment);
        windowManager.setStandardOutputFile(QProcess::nullDevice());
        windowManager.setStandardErrorFile(QProcess::nullDevice());
        windowManager.start(QStringLiteral(REELFINCH_OPENBOX), { QStringLiteral("--sm-disable") });
        if (!windowManager.waitForStarted(10000)) {
            ADD_FAILURE() << "the window manager did not start";
            return false;
        }
        QThread::msleep(1000);
        player.setProcessEnvironment(environment);
        player.setProcessChannelMode(QProcess::ForwardedChannels);
        player.start(QStringLiteral(REELFINCH_APP), { home.first });
        if (!player.waitForStarted(10000)) {
            ADD_FAILURE() << "the player did not start";
            return false;
        }
        if (!waitFor([&] { return !(window = windowNamed(QStringLiteral("first.swf"))).isEmpty(); }, 30000)) {
            ADD_FAILURE() << "no movie window appeared";
            return false;
        }
        return true;
    }
};

TEST(InputEndToEnd, RealClicksOnTheMoviesButtonsStopAndStepIt)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    if (QStringLiteral(REELFINCH_OPENBOX).isEmpty() || QStringLiteral(REELFINCH_XDOTOOL).isEmpty())
        GTEST_SKIP() << "openbox or xdotool not installed";

    RunningPlayer running(QStringLiteral(REELFINCH_BUTTONS_MOVIE));
    ASSERT_TRUE(running.start());
    QThread::msleep(1500); // placed, framed and playing
    const QString& window = running.window;
    const QRect area = areaOf(window);
    ASSERT_FALSE(area.isEmpty());
    const QImage first = grab(area, QStringLiteral("input-e2e-0-window.png"));
    ASSERT_FALSE(first.isNull());
    const QRect view = movieView(area, first);

    // Before: the ball crosses its track.
    const auto [playing1, playing2] = twoPictures(view, QStringLiteral("input-e2e-1-playing"), 400);
    ASSERT_FALSE(playing1.isNull());
    EXPECT_NE(playing1, playing2) << "the movie plays before any click";

    // A click on Stop: the movie holds still. Under a loaded machine the click may take a while to act, so the
    // pictures are taken until two in a row agree (or the time is up).
    ASSERT_TRUE(click(onScreen(view, kStopButton)));
    std::pair<QImage, QImage> stopped;
    waitFor([&] { stopped = twoPictures(view, QStringLiteral("input-e2e-2-stopped"), 400);
        return stopped.first == stopped.second; }, 10000);
    EXPECT_EQ(stopped.first, stopped.second) << "Stop was clicked: nothing moves";

    // A click on Rewind: back to the first frame, still. (Where Stop caught the ball depends on when the click came
    // in the movie's loop; on its last frame a Step would have nowhere to go.)
    ASSERT_TRUE(click(onScreen(view, kRewindButton)));
    std::pair<QImage, QImage> rewound;
    waitFor([&] { rewound = twoPictures(view, QStringLiteral("input-e2e-3-rewound"), 400);
        return rewound.first == rewound.second; }, 10000);
    EXPECT_EQ(rewound.first, rewound.second) << "Rewind was clicked: the movie holds at its first frame";

    // A click on Step: one frame on, then still again.
    ASSERT_TRUE(click(onScreen(view, kStepButton)));
    std::pair<QImage, QImage> stepped;
    waitFor([&] { stepped = twoPictures(view, QStringLiteral("input-e2e-4-stepped"), 400);
        return stepped.first != rewound.second; }, 10000);
    EXPECT_NE(rewound.second, stepped.first) << "Step was clicked: the ball moved on";
    EXPECT_EQ(stepped.first, stepped.second) << "and stays stopped";
    std::printf("screenshots: %s/input-e2e-*.png\n", REELFINCH_E2E_OUTPUT);
    EXPECT_EQ(running.player.state(), QProcess::Running);
}

// The corpus movie whose one button reacts to the mouse in its own scripts: each of its handlers (rollOver, rollOut,
// press, releaseOutside...) takes the next step of a sequence. Rolled over, the button hides itself, comes back as
// the mouse leaves it, is disabled and enabled again; after that a press hides it and the release that follows
// (outside it, since it is hidden) shows it again.
QString CorpusButtonMovie()
{
    const QByteArray overridden = qgetenv("REELFINCH_CORPUS");
    const QString corpus = QString::fromLocal8Bit(overridden.isEmpty() ? QByteArray(REELFINCH_CORPUS_DIR) : overridden);
    return corpus + QStringLiteral("/avm1-trace/mouse_events_visible_enabled/test.swf");
}

bool mouse(const QStringList& arguments)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral(REELFINCH_XDOTOOL), arguments);
    return xdotool.waitForFinished(10000) && xdotool.exitCode() == 0;
}

TEST(InputEndToEnd, RealPressOnACorpusMoviesButtonRunsItsHandlers)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    if (QStringLiteral(REELFINCH_OPENBOX).isEmpty() || QStringLiteral(REELFINCH_XDOTOOL).isEmpty())
        GTEST_SKIP() << "openbox or xdotool not installed";
    const QString movie = CorpusButtonMovie();
    if (!QFile::exists(movie))
        GTEST_SKIP() << "no corpus movie at " << movie.toStdString();

    RunningPlayer running(movie);
    ASSERT_TRUE(running.start());
    // The button fills the stage but for a margin: the window's centre lies on it, and so does the mouse put there.
    QRect area;
    ASSERT_TRUE(waitFor([&] { return !(area = areaOf(running.window)).isEmpty(); }, 10000));
    const QPoint centre = area.center();
    int shot = 0;
    // The colour at the window's centre once the picture holds still (two pictures apart agree), or 0 when it does
    // not within the time.
    auto settledColour = [&](const QString& stage) {
        QRgb colour = 0;
        waitFor([&] {
            const QImage a = grab(area, QStringLiteral("input-e2e-corpus-%1-%2.png").arg(stage).arg(shot++));
            QThread::msleep(300);
            const QImage b = grab(area, QStringLiteral("input-e2e-corpus-%1-%2.png").arg(stage).arg(shot++));
            if (a.isNull() || a != b)
                return false;
            colour = a.pixel(centre - area.topLeft());
            return true;
        }, 15000);
        return colour;
    };
    const QRgb before = settledColour(QStringLiteral("0-start"));
    ASSERT_NE(before, 0u) << "the movie's picture settles";

    // Over the button: it runs through its roll handlers and ends shown.
    ASSERT_TRUE(mouse({ QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(centre.x()),
        QString::number(centre.y()) }));
    const QRgb over = settledColour(QStringLiteral("1-over"));
    ASSERT_NE(over, 0u);

    // Pressed: the press handler hides it, so the centre shows what lies below it.
    ASSERT_TRUE(mouse({ QStringLiteral("mousedown"), QStringLiteral("1") }));
    QRgb pressed = over;
    waitFor([&] { return (pressed = settledColour(QStringLiteral("2-pressed"))) != over; }, 15000);
    EXPECT_NE(pressed, over) << "the press handler hid the button";

    // Released: the release outside it shows it again.
    ASSERT_TRUE(mouse({ QStringLiteral("mouseup"), QStringLiteral("1") }));
    QRgb released = pressed;
    waitFor([&] { return (released = settledColour(QStringLiteral("3-released"))) == over; }, 15000);
    EXPECT_EQ(released, over) << "the release handler showed the button again";
    std::printf("screenshots: %s/input-e2e-corpus-*.png\n", REELFINCH_E2E_OUTPUT);
    EXPECT_EQ(running.player.state(), QProcess::Running);
}

} // namespace
