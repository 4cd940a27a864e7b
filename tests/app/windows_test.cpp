// The application's windows with the recording test plug-in: the zoom drawer's interpolation, zoom and frame steps
// as the panel shows them, movie dragging, the playlist panel's menu bar, the resize grip, the About link, the
// trace output window, movies without frames, and where the windows open on a first launch.
#include "AboutController.h"
#include "AdvancedController.h"
#include "AppTestSupport.h"
#include "ControlsController.h"
#include "CursorAdditions.h"
#include "MainMenu.h"
#include "MovieController.h"
#include "NSHiperLink.h"
#include "NSImageButton.h"
#include "NSWindowZoomView.h"
#include "NSZoomView.h"
#include "TraceController.h"
#include "ui_AboutWindow.h"
#include "ui_ControlsWindow.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QSlider>
#include <QWheelEvent>

namespace {

void makeKey(QWidget* window)
{
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    QCoreApplication::processEvents();
}

void sendWheel(QWidget* target, int delta)
{
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
        Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(target, &wheel);
}

void sendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

// The zoom drawer's picture of `snapshot`, drawn with the interpolation choice.
QImage drawerPicture(const QImage& snapshot, int interpolation, QSize viewSize)
{
    NSZoomView view;
    view.resize(viewSize);
    view.setImageInteroplation(interpolation);
    view.setFlashImage(snapshot);
    return view.image().convertToFormat(QImage::Format_ARGB32);
}

// The mean grey of a picture's middle half, and whether any pixel there is neither black nor white.
struct Tones {
    double mean = 0;
    bool between = false;
};

Tones tones(const QImage& image)
{
    Tones t;
    int count = 0;
    for (int y = image.height() / 4; y < image.height() * 3 / 4; ++y)
        for (int x = image.width() / 4; x < image.width() * 3 / 4; ++x) {
            const int grey = qGray(image.pixel(x, y));
            t.mean += grey;
            t.between = t.between || (grey > 8 && grey < 247);
            ++count;
        }
    t.mean /= std::max(count, 1);
    return t;
}

} // namespace

TEST(ZoomDrawer, EachInterpolationChoiceDrawsAsItSays)
{
    // Shrunk four times, one white column in four on black: only the averaging of every covered pixel (high)
    // keeps its quarter of white; sampling (none, low, default) falls between the white columns.
    QImage columns(256, 256, QImage::Format_ARGB32);
    columns.fill(Qt::black);
    for (int x = 0; x < columns.width(); x += 4)
        for (int y = 0; y < columns.height(); ++y)
            columns.setPixel(x, y, qRgb(255, 255, 255));
    // Grown eight times, a two-by-two checker: only the nearest pixel (none) keeps pure black and white.
    QImage checker(2, 2, QImage::Format_ARGB32);
    checker.setPixel(0, 0, qRgb(0, 0, 0));
    checker.setPixel(1, 1, qRgb(0, 0, 0));
    checker.setPixel(1, 0, qRgb(255, 255, 255));
    checker.setPixel(0, 1, qRgb(255, 255, 255));

    struct Case {
        int interpolation;
        bool averagesWhenShrinking;
        bool blendsWhenGrowing;
    };
    const Case cases[] = { { 0, false, true }, { 1, false, false }, { 2, false, true }, { 3, true, true } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.interpolation);
        const Tones shrunk = tones(drawerPicture(columns, c.interpolation, QSize(64, 64)));
        if (c.averagesWhenShrinking)
            EXPECT_NEAR(shrunk.mean, 64, 8);
        else
            EXPECT_LT(shrunk.mean, 40);
        EXPECT_EQ(tones(drawerPicture(checker, c.interpolation, QSize(16, 16))).between, c.blendsWhenGrowing);
    }
}

TEST_F(AppTest, TheStoredInterpolationReachesTheDrawerAtLaunch)
{
    store([](QSettings& s) { s.setValue(ZoomImageInterpolationKey, 1); });
    PlayerController& player = launch();
    EXPECT_EQ(player.controlsController()->ui()._zoomView->imageInterpolation(), 1);
}

TEST_F(AppTest, WheelZoomWaitsForAMovieAndThenMovesThePanelsZoom)
{
    PlayerController& player = launch();
    Ui::ControlsWindow& ui = player.controlsController()->ui();
    NSFlashPluginView* view = player.movieController()->flashView();
    sendWheel(view, 120);
    EXPECT_EQ(ui._txtZoomValue->text(), QStringLiteral("Zoom 100 %"));
    EXPECT_FALSE(ui._sldZoom->isEnabled()) << "nothing to zoom without a movie";
    player.setOriginalSizeAction(nullptr);
    player.setFitSize(nullptr);
    EXPECT_FALSE(ui._sldZoom->isEnabled());

    ASSERT_TRUE(player.loadMovie(movie(QStringLiteral("E1.swf"))));
    view->setOriginalRect(0, 0, 480 * 20, 320 * 20);
    view->setOriginalSize();
    const int before = view->zoomPercent();
    sendWheel(view, 120);
    EXPECT_GT(view->zoomPercent(), before);
    EXPECT_TRUE(ui._sldZoom->isEnabled());
    EXPECT_EQ(ui._sldZoom->value(), view->zoomPercent());
}

TEST_F(AppTest, FrameStepsPauseAndThePlayButtonShowsPlayWhicheverAskedForThem)
{
    PlayerController& player = launch();
    ASSERT_TRUE(player.loadMovie(movie(QStringLiteral("E1.swf"))));
    NSImageButton* playButton = player.controlsController()->ui()._btnPlay;
    QAction* forward = player.mainMenu()->itemWithTag(kTagFrameForward);
    QAction* back = player.mainMenu()->itemWithTag(kTagFrameBack);
    QSlider* slider = player.controlsController()->ui()._sldProgress;
    // Menu items are validated before a menu opens or a shortcut is matched, as the menu bar does.
    const std::function<void()> steps[] = { [&] {
                                               player.mainMenu()->validateAll();
                                               forward->trigger();
                                           },
        [&] {
            player.mainMenu()->validateAll();
            back->trigger();
        },
        [&] { player.gotoFrameSliderAction(slider); },
        [&] { player.controlsController()->ui()._btnForward->click(); } };
    for (const auto& step : steps) {
        player.playAction(nullptr);
        if (player.isPaused())
            player.playAction(nullptr);
        ASSERT_FALSE(player.isPaused());
        ASSERT_TRUE(playButton->isChecked()) << "playing shows pause";
        step();
        EXPECT_TRUE(player.isPaused());
        EXPECT_FALSE(playButton->isChecked()) << "paused shows play";
    }
}

TEST_F(AppTest, MovieDraggingIsMarkedInTheMenuAndOnTheMoveButton)
{
    PlayerController& player = launch();
    ASSERT_TRUE(player.loadMovie(movie(QStringLiteral("E1.swf"))));
    QAction* item = player.mainMenu()->itemWithTag(kTagMovieDragging);
    ASSERT_NE(item, nullptr);
    ASSERT_TRUE(item->isCheckable());
    NSImageButton* move = player.controlsController()->ui()._btnMove;
    NSFlashPluginView* view = player.movieController()->flashView();

    item->trigger();
    EXPECT_TRUE(view->canDrag());
    EXPECT_TRUE(move->isChecked());
    EXPECT_EQ(move->currentImage(), move->alternateImage()) << "the on picture";
    player.validateMenuItem(item);
    EXPECT_TRUE(item->isChecked());

    move->click();
    EXPECT_FALSE(view->canDrag());
    EXPECT_FALSE(move->isChecked());
    player.validateMenuItem(item);
    EXPECT_FALSE(item->isChecked());
}

TEST_F(AppTest, ThePlaylistPanelShowsTheMenusAndItsWindowItemsActOnIt)
{
    PlayerController& player = launch();
    QWidget* advanced = player.advancedController()->window();
    auto* bar = advanced->findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    QMenuBar* movieBar = player.movieController()->window()->menuBar();
    ASSERT_EQ(bar->actions().size(), movieBar->actions().size());
    for (int i = 0; i < bar->actions().size(); ++i)
        EXPECT_EQ(bar->actions().at(i)->menu(), movieBar->actions().at(i)->menu()) << "one menu, one state";

    makeKey(advanced);
    if (QApplication::activeWindow() != advanced)
        GTEST_SKIP() << "this platform does not activate windows";
    QAction* close = player.mainMenu()->itemWithTag(kTagClose);
    QMenu* file = bar->actions().first()->menu();
    emit file->aboutToShow();
    EXPECT_TRUE(close->isEnabled());
    EXPECT_EQ(close->text(), QStringLiteral("Close Advanced Options"));
    close->trigger();
    EXPECT_FALSE(advanced->isVisible());
    EXPECT_FALSE(player.settings().isAdvancedVisible);
}

TEST_F(AppTest, TheMovieWindowsGripSitsInTheCornerShowsTheResizeCursorAndResizes)
{
    PlayerController& player = launch();
    QMainWindow* window = player.movieController()->window();
    NSWindowZoomView* grip = player.movieController()->resizeGrip();
    ASSERT_NE(grip, nullptr);
    window->resize(500, 400);
    QCoreApplication::processEvents();
    const QWidget* area = grip->parentWidget();
    EXPECT_EQ(grip->geometry().bottomRight(), area->rect().bottomRight());
    EXPECT_EQ(grip->cursor().shape(), Qt::BitmapCursor) << "the skin's resize picture";

    QEnterEvent enter(QPointF(4, 4), QPointF(4, 4), QPointF(grip->mapToGlobal(QPoint(4, 4))));
    QCoreApplication::sendEvent(grip, &enter);
    EXPECT_TRUE(inResize);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(grip, &leave);
    EXPECT_FALSE(inResize);

    // Without a window manager to ask, the grip resizes the window itself.
    const QSize before = window->size();
    sendMouse(grip, QEvent::MouseButtonPress, QPoint(8, 8), Qt::LeftButton);
    sendMouse(grip, QEvent::MouseMove, QPoint(48, 38), Qt::LeftButton);
    sendMouse(grip, QEvent::MouseButtonRelease, QPoint(48, 38), Qt::NoButton);
    EXPECT_EQ(window->size(), before + QSize(40, 30));
}

TEST(SkinCursors, AreTheSkinsPicturesWithTheirHotSpotInTheMiddleAndMadeOnce)
{
    for (const QCursor* (*cursor)() :
        { +[] { return &canDragCursor(); }, +[] { return &dragCursor(); }, +[] { return &resizeCursor(); } }) {
        const QCursor* c = cursor();
        EXPECT_EQ(c, cursor());
        EXPECT_EQ(c->shape(), Qt::BitmapCursor);
        EXPECT_EQ(c->hotSpot(), QPoint(8, 8));
        EXPECT_FALSE(c->pixmap().isNull());
    }
}

TEST(AboutWindow, TheMailLinkIsAHyperlinkThatOpensANewMail)
{
    AboutController about;
    NSHiperLink* link = about.ui()._lnkMail;
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->linkURL(), QStringLiteral("mailto:") + link->text());
    QList<QUrl> opened;
    link->openUrl = [&](const QUrl& url) {
        opened.append(url);
        return true;
    };
    sendMouse(link, QEvent::MouseButtonPress, QPoint(2, 2), Qt::LeftButton);
    sendMouse(link, QEvent::MouseButtonRelease, QPoint(2, 2), Qt::NoButton);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.first().scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(opened.first().path(), link->text());
    EXPECT_EQ(about.window()->result(), 0) << "a click on the link does not end the window";
}

TEST(TraceWindow, KeepsTheLatestLinesEachOnOneLine)
{
    TraceController trace;
    EXPECT_TRUE(trace.lines().isEmpty());
    trace.appendTrace(QStringLiteral("hello"));
    trace.appendTrace(QStringLiteral("two\nlines"));
    trace.appendTrace(QString());
    EXPECT_EQ(trace.lines(), QStringList({ QStringLiteral("hello"), QStringLiteral("two\u21B5lines"), QString() }));
    for (int i = 0; i < TraceController::kMaxLines + 10; ++i)
        trace.appendTrace(QString::number(i));
    const QStringList lines = trace.lines();
    EXPECT_EQ(lines.size(), TraceController::kMaxLines);
    EXPECT_EQ(lines.last(), QString::number(TraceController::kMaxLines + 9));
    trace.clear();
    EXPECT_TRUE(trace.lines().isEmpty());
}

TEST_F(AppTest, TheWindowMenuShowsTheTraceWindowWhichCollectsTheMoviesLines)
{
    PlayerController& player = launch();
    QAction* item = player.mainMenu()->itemWithTag(kTagTrace);
    ASSERT_NE(item, nullptr);
    player.traceLine(QStringLiteral("before it shows"));
    EXPECT_FALSE(player.traceController()->window()->isVisible());
    item->trigger();
    EXPECT_TRUE(player.traceController()->window()->isVisible());
    player.validateMenuItem(item);
    EXPECT_TRUE(item->isChecked());
    player.traceLine(QStringLiteral("after"));
    EXPECT_EQ(
        player.traceController()->lines(), QStringList({ QStringLiteral("before it shows"), QStringLiteral("after") }));
}

TEST(ControlsPanel, AMovieWithoutFramesCountsNone)
{
    ControlsController controls;
    Ui::ControlsWindow& ui = controls.ui();
    controls.setPlayed(true);
    controls.setTotalFrames(0);
    controls.setCurrentFrame(1);
    EXPECT_EQ(ui._txtFrames->text(), QStringLiteral("0/0"));
    EXPECT_FALSE(ui._sldProgress->isEnabled() || ui._btnForward->isEnabled() || ui._btnBack->isEnabled());
    controls.setTotalFrames(3);
    controls.setCurrentFrame(2);
    EXPECT_EQ(ui._txtFrames->text(), QStringLiteral("2/3"));
    EXPECT_TRUE(ui._sldProgress->isEnabled() && ui._btnForward->isEnabled() && ui._btnBack->isEnabled());
}

TEST_F(AppTest, TheFirstLaunchOpensTheWindowsApartAndOnTheScreen)
{
    PlayerController& player = launch();
    QCoreApplication::processEvents();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect windows[]
        = { player.movieController()->window()->frameGeometry(), player.controlsController()->window()->frameGeometry(),
              player.advancedController()->window()->frameGeometry() };
    for (const QRect& w : windows) {
        EXPECT_TRUE(area.contains(w)) << w.x() << "," << w.y() << " " << w.width() << "x" << w.height();
        for (const QRect& other : windows) {
            if (&other != &w) {
                EXPECT_FALSE(w.intersects(other));
            }
        }
    }
    // A later launch keeps the frames the user left.
    player.movieController()->window()->move(area.topLeft() + QPoint(100, 90));
    const QPoint moved = player.movieController()->window()->pos();
    player.terminate();
    app.reset();
    EXPECT_EQ(launch().movieController()->window()->pos(), moved);
}

TEST_F(AppTest, SaveFrameIsInTheFileMenuWithItsShortcutOnceAMovieIsLoaded)
{
    PlayerController& player = launch();
    QAction* item = player.mainMenu()->itemWithTag(kTagSaveFrame);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    EXPECT_FALSE(player.validateMenuItem(item));
    ASSERT_TRUE(player.loadMovie(movie(QStringLiteral("E1.swf"))));
    EXPECT_TRUE(player.validateMenuItem(item));
    // The trace window carries the menus too, and its Close acts on it.
    QWidget* trace = player.traceController()->window();
    EXPECT_NE(trace->findChild<QMenuBar*>(), nullptr);
    makeKey(trace);
    if (QApplication::activeWindow() != trace)
        GTEST_SKIP() << "this platform does not activate windows";
    QAction* close = player.mainMenu()->itemWithTag(kTagClose);
    EXPECT_TRUE(player.validateMenuItem(close));
    close->setEnabled(true);
    close->trigger();
    EXPECT_FALSE(trace->isVisible());
}
