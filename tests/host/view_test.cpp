// The movie view in real windows: window records and port set-up, the hidden case, handing the window over only
// when it changed, the null-event timer's life, painting and snapshots, and the zoom rectangles.
#include "ViewTestSupport.h"

#include "QtWindowRef.h"
#include "ZoomViewClient.h"

#include <QImage>

using namespace viewtest;

namespace {

class RecordingZoomView : public ZoomViewClient
{
public:
    void setFlashImage(const QImage& image) override { images.push_back(image); }
    void setFlashView(NSFlashPluginView* view) override { flashView = view; }
    void setNeedsDisplay() override { ++displays; }

    std::vector<QImage> images;
    NSFlashPluginView* flashView = nullptr;
    int displays = 0;
};

bool SameRect(const _NPSignedRect& r, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    return r.left == left && r.top == top && r.right == right && r.bottom == bottom;
}

std::string Describe(const _NPSignedRect& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + ","
        + std::to_string(r.bottom);
}

} // namespace

using ViewTest = ViewFixture;

TEST_F(ViewTest, ViewOutsideAnyWindowDoesNotStart)
{
    NSFlashPluginView loose;
    EXPECT_FALSE(loose.start());
    EXPECT_EQ(loose.plugin(), nullptr);
    EXPECT_FALSE(loose.play());
    EXPECT_EQ(loose.totalFrames(), 0);
    EXPECT_TRUE(control->calls.empty());
}

TEST_F(ViewTest, StartHandsOverTheWindowRecordAndRestoresThePort)
{
    ASSERT_TRUE(view->start());
    ASSERT_EQ(control->windows.size(), 1u);
    const NPWindow& w = control->windows.back();
    const NP_Port& p = control->ports.back();
    EXPECT_EQ(w.x, 20);
    EXPECT_EQ(w.y, 10);
    EXPECT_EQ(w.width, 200u);
    EXPECT_EQ(w.height, 100u);
    EXPECT_EQ(w.type, NPWindowTypeWindow);
    EXPECT_EQ(w.clipRect.top, 10);
    EXPECT_EQ(w.clipRect.left, 20);
    EXPECT_EQ(w.clipRect.bottom, 110);
    EXPECT_EQ(w.clipRect.right, 220);
    CGrafPtr port = GetWindowPort(WindowRefForWidget(window.get()));
    EXPECT_EQ(p.port, port);
    EXPECT_EQ(p.portx, -20);
    EXPECT_EQ(p.porty, -10);
    EXPECT_EQ(port->pixelWidth, 400);
    EXPECT_EQ(port->pixelHeight, 300);

    // Outside the call the port is as it was: origin at the top-left, the clip wide open, no port current.
    Rect bounds;
    GetPortBounds(port, &bounds);
    EXPECT_TRUE(bounds.left == 0 && bounds.top == 0);
    MacRegion clip;
    GetPortClipRegion(port, &clip);
    ASSERT_EQ(clip.rects.size(), 1u);
    EXPECT_TRUE(EqualRect(&clip.rects[0], &kWideOpenRect));
    GrafPtr current = nullptr;
    GetPort(&current);
    EXPECT_EQ(current, nullptr);

    // A view partly outside its window is clipped to the part inside; the port follows the window's size.
    window->resize(300, 200);
    view->setGeometry(250, 150, 200, 100);
    ASSERT_TRUE(waitUntil([&] { return control->windows.back().x == 250; }));
    const NPWindow& moved = control->windows.back();
    EXPECT_EQ(moved.clipRect.right, 300);
    EXPECT_EQ(moved.clipRect.bottom, 200);
    EXPECT_EQ(moved.width, 200u);
    EXPECT_EQ(port->pixelWidth, 300);
}

TEST_F(ViewTest, UnchangedGeometryIsHandedOverOnce)
{
    ASSERT_TRUE(view->start());
    view->updateAndSetWindow();
    view->updateAndSetWindow();
    view->sendUpdateEvent();
    EXPECT_EQ(count(control, kSetWindow), 1u);

    view->move(30, 10);
    EXPECT_EQ(count(control, kSetWindow), 2u);

    // After a stop the same geometry is handed over again.
    view->stop();
    ASSERT_TRUE(view->start());
    EXPECT_EQ(count(control, kSetWindow), 3u);
}

TEST_F(ViewTest, HiddenViewsGetAnEmptyClipAndAtLeastAHundredPixels)
{
    ASSERT_TRUE(view->start());
    struct Case {
        const char* name;
        std::function<void()> hide;
        uint32_t width, height;
    };
    const std::vector<Case> cases = {
        { "zero width", [&] { view->setGeometry(20, 10, 0, 100); }, 100, 100 },
        { "far left", [&] { view->setGeometry(-200000, 10, 200, 50); }, 200, 50 },
        { "minimized",
            [&] {
                view->setGeometry(20, 10, 200, 60);
                window->showMinimized();
            },
            200, 60 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.hide();
        view->updateAndSetWindow();
        const NPWindow& w = control->windows.back();
        EXPECT_EQ(w.width, c.width);
        EXPECT_EQ(w.height, c.height);
        EXPECT_EQ(w.clipRect.top, w.clipRect.bottom);
        EXPECT_EQ(w.clipRect.left, w.clipRect.right);
    }
}

TEST_F(ViewTest, NullEventTimerRunsOnlyWhileStartedAndNotMinimized)
{
    EXPECT_FALSE(view->hasNullEventTimer());
    ASSERT_TRUE(view->start());
    EXPECT_TRUE(view->hasNullEventTimer());
    EXPECT_TRUE(waitUntil([&] { return count(control, kNullEvent) >= 3; }));

    window->showMinimized();
    EXPECT_TRUE(waitUntil([&] { return !view->hasNullEventTimer(); }));
    window->showNormal();
    EXPECT_TRUE(waitUntil([&] { return view->hasNullEventTimer(); }));

    view->stop();
    EXPECT_FALSE(view->hasNullEventTimer());
    const size_t before = count(control, kNullEvent);
    spin(100);
    EXPECT_EQ(count(control, kNullEvent), before);

    // A movie the plug-in refuses leaves the instance started, without null events.
    control->newStreamResult = NPERR_GENERIC_ERROR;
    EXPECT_FALSE(view->loadMovie(QByteArray("FWS"), "/tmp/refused.swf"));
    EXPECT_TRUE(view->isStarted());
    EXPECT_FALSE(view->hasNullEventTimer());
}

TEST_F(ViewTest, NullEventsHideTheMouseWhileAnotherWindowIsKey)
{
    ASSERT_TRUE(view->start());
    const auto started = eventsWithCode(activateEvt);
    ASSERT_EQ(started.size(), 1u) << "a start in the key window activates";
    EXPECT_EQ(started[0].modifiers & activeFlag, activeFlag);
    EXPECT_EQ(started[0].message, WindowRefForWidget(window.get())->windowNumber);

    QWidget other;
    other.resize(50, 50);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return other.isActiveWindow(); }));
    ASSERT_EQ(eventsWithCode(activateEvt).size(), 2u);
    EXPECT_EQ(eventsWithCode(activateEvt).back().modifiers & activeFlag, 0);
    control->events.clear();
    ASSERT_TRUE(waitUntil([&] { return eventsWithCode(nullEvent).size() >= 2; }));
    for (const EventRecord& event : eventsWithCode(nullEvent)) {
        EXPECT_EQ(event.where.h, -1);
        EXPECT_EQ(event.where.v, -1);
    }

    window->activateWindow();
    ASSERT_TRUE(waitUntil([&] { return window->isActiveWindow(); }));
    ASSERT_EQ(eventsWithCode(activateEvt).size(), 1u);
    EXPECT_EQ(eventsWithCode(activateEvt).back().modifiers & activeFlag, activeFlag);
}

TEST_F(ViewTest, MovieLifecycleFollowsLoadsAndTheWindowClosing)
{
    const QByteArray movie(2500, 'm');
    ASSERT_TRUE(view->loadMovie(movie, "/tmp/first.swf"));
    EXPECT_TRUE(view->hasNullEventTimer());
    control->calls.clear();

    // A second movie destroys the first instance before the next one is made.
    ASSERT_TRUE(view->loadMovie(movie, "/tmp/second.swf"));
    const auto destroy = std::find(control->calls.begin(), control->calls.end(), "NPP_Destroy");
    const auto make = std::find_if(control->calls.begin(), control->calls.end(),
        [](const std::string& call) { return call.rfind("NPP_New ", 0) == 0; });
    ASSERT_NE(destroy, control->calls.end());
    ASSERT_NE(make, control->calls.end());
    EXPECT_LT(destroy, make);
    ASSERT_EQ(control->streams.size(), 2u);
    EXPECT_EQ(control->streams.back().url, "second.swf");
    EXPECT_EQ(control->instancesAlive, 1);

    window->close();
    EXPECT_FALSE(view->isStarted());
    EXPECT_EQ(control->instancesAlive, 0);
    EXPECT_FALSE(view->hasNullEventTimer());
}

TEST_F(ViewTest, SecuritySwitchReachesOnlyAPluginObjectMadeLater)
{
    view->setEnabledSecurity(false);
    EXPECT_FALSE(view->getURL()); // makes and loads the plug-in object
    view->setEnabledSecurity(true);
    ASSERT_TRUE(view->start());
    EXPECT_EQ(count(control, "Flash_DisableLocalSecurity"), 1u);
    EXPECT_EQ(count(control, "Flash_EnforceLocalSecurity"), 0u);
    view->setGetURL(true);
    view->setPostURL(true);
    EXPECT_TRUE(view->plugin()->getURL());
    EXPECT_TRUE(view->postURL());
}

TEST_F(ViewTest, PaintingShowsWhatThePluginPaintedIntoThePort)
{
    control->paintColor = 0xFF3366CCu;
    ASSERT_TRUE(view->start());
    const QImage shown = view->grab().toImage();
    ASSERT_EQ(shown.size(), QSize(200, 100));
    EXPECT_EQ(shown.pixel(0, 0), 0xFF3366CCu);
    EXPECT_EQ(shown.pixel(199, 99), 0xFF3366CCu);
    EXPECT_GE(count(control, kUpdateEvent), 1u);

    // The plug-in drew its own area only: the rest of the window's port was not touched.
    CGrafPtr port = GetWindowPort(WindowRefForWidget(window.get()));
    EXPECT_EQ(port->pixels[0], 0xFF000000u);
    EXPECT_EQ(port->pixels[size_t(10) * 400 + 20], 0xFF3366CCu);

    // A snapshot holds what the plug-in paints now, also for a part of the view.
    control->paintColor = 0xFF00AA00u;
    const QImage snap = view->snapshot();
    EXPECT_EQ(snap.size(), QSize(200, 100));
    EXPECT_EQ(snap.pixel(100, 50), 0xFF00AA00u);
    const QImage part = view->snapshotFromRect(QRect(150, 80, 100, 40)); // runs off the view's edge
    EXPECT_EQ(part.size(), QSize(100, 40));
    EXPECT_EQ(part.pixel(0, 0), 0xFF00AA00u);
    EXPECT_EQ(part.pixel(99, 39), 0xFF000000u);
}

TEST_F(ViewTest, RedrawRequestsFromThePluginRepaintTheView)
{
    ASSERT_TRUE(view->start());
    spin(50);
    view->stopNullEvents();
    control->calls.clear();

    // A forced redraw has painted before it returns.
    control->browser->forceredraw(control->instance);
    EXPECT_EQ(count(control, kUpdateEvent), 1u);

    control->calls.clear();
    NPRect rect { 10, 20, 30, 60 };
    control->browser->invalidaterect(control->instance, &rect);
    EXPECT_EQ(count(control, kUpdateEvent), 0u) << "invalidation only schedules";
    EXPECT_TRUE(waitUntil([&] { return count(control, kUpdateEvent) == 1; }));
}

TEST_F(ViewTest, ZoomRectanglesFollowTheMovieFrame)
{
    ASSERT_TRUE(view->start());
    // Before a movie's frame is known, and before the view runs, nothing reaches the plug-in.
    NSFlashPluginView idle(window.get());
    idle.setOriginalRect(0, 0, 10999, 7999);
    idle.zoomIn();
    EXPECT_TRUE(SameRect(idle.currentRect(), 1650, 1200, 9350, 6800)) << Describe(idle.currentRect());
    EXPECT_TRUE(control->callsStartingWith("invoke SetZoomRect").empty());

    view->setOriginalRect(0, 0, 10999, 7999);
    EXPECT_TRUE(SameRect(view->originalRect(), 0, 0, 11000, 8000));
    EXPECT_TRUE(SameRect(view->maxRect(), -14400, -14400, 25400, 22400));
    EXPECT_EQ(view->zoomPercent(), 100);

    view->zoomOut();
    EXPECT_TRUE(SameRect(view->currentRect(), -2200, -1600, 13200, 9600)) << Describe(view->currentRect());
    EXPECT_EQ(control->callsStartingWith("invoke SetZoomRect").back(), "invoke SetZoomRect -2200 -1600 13200 9600");

    view->setFitSize();
    view->setZoomPercent(200);
    EXPECT_TRUE(SameRect(view->currentRect(), 2750, 2000, 8250, 6000)) << Describe(view->currentRect());
    EXPECT_EQ(view->zoomPercent(), 200);

    view->setOriginalRect(0, 0, 199, 199); // 200 by 200 twips: halves 100 and 100, too small to zoom in
    const size_t handedOver = control->callsStartingWith("invoke SetZoomRect").size();
    view->zoomIn();
    EXPECT_TRUE(SameRect(view->currentRect(), 0, 0, 200, 200));
    EXPECT_EQ(control->callsStartingWith("invoke SetZoomRect").size(), handedOver + 1);

    // Actual size in a 550 by 400 pixel plug-in window shows exactly the frame.
    view->resize(550, 400);
    view->setOriginalRect(0, 0, 10999, 7999);
    view->setOriginalSize();
    EXPECT_TRUE(SameRect(view->currentRect(), 0, 0, 11000, 8000)) << Describe(view->currentRect());

    // From the zoom drawer: the top-left quarter.
    view->displayZoomRect(QRectF(0, 0, 0.5, 0.5));
    EXPECT_TRUE(SameRect(view->currentRect(), 0, 0, 5500, 4000));
    EXPECT_TRUE(view->hasNullEventTimer());

    // Zooming out never passes the limit, whichever way the rectangle started.
    for (int i = 0; i < 10; ++i)
        view->zoomOut();
    EXPECT_TRUE(SameRect(view->currentRect(), -14400, -14400, 25400, 22400));
    EXPECT_EQ(view->zoomPercent(), 27);
}

TEST_F(ViewTest, ZoomArithmeticNeverOverflows)
{
    // Frame edges at the ends of the 32-bit range: every edge saturates instead of wrapping.
    view->setOriginalRect(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
    EXPECT_EQ(view->originalRect().right, INT32_MAX);
    EXPECT_EQ(view->maxRect().left, INT32_MIN);
    view->zoomIn();
    view->zoomOut();
    view->setZoomPercent(1);
    view->setZoomPercent(0); // no size: ignored
    view->displayZoomRect(QRectF(-1e30, 1e30, 1e30, -1e30));
    EXPECT_EQ(view->currentRect().bottom, INT32_MIN);
    (void)view->zoomPercent();
    view->setOriginalRect(0, 0, -1, -1); // an empty frame
    EXPECT_EQ(view->zoomPercent(), 0);
}

TEST_F(ViewTest, SetZoomRectKeepsTheShownRectangleWhenThePluginRefuses)
{
    ASSERT_TRUE(view->start());
    view->setOriginalRect(0, 0, 10999, 7999);
    control->invokeResult = false;
    EXPECT_FALSE(view->setZoomRect(10, 20, 30, 40));
    EXPECT_TRUE(SameRect(view->currentRect(), 0, 0, 11000, 8000));
    control->invokeResult = true;
    EXPECT_TRUE(view->setZoomRect(10, 20, 30, 40));
    EXPECT_TRUE(SameRect(view->currentRect(), 10, 20, 30, 40));
}

TEST_F(ViewTest, DrawerSnapshotShowsTheWholeMovieAndTheZoomComesBack)
{
    control->paintColor = 0xFF123456u;
    ASSERT_TRUE(view->loadMovie(QByteArray(100, 'm'), "/tmp/zoom.swf"));
    view->setOriginalRect(0, 0, 10999, 7999);
    view->setZoomPercent(200);
    view->stopNullEvents();

    RecordingZoomView drawer;
    view->setZoomView(&drawer);
    EXPECT_EQ(drawer.flashView, view);
    control->calls.clear();
    view->updateZoomSnapshot();
    ASSERT_EQ(drawer.images.size(), 1u);
    EXPECT_EQ(drawer.images.back().size(), QSize(200, 100));
    EXPECT_EQ(drawer.images.back().pixel(10, 10), 0xFF123456u);
    const auto zooms = control->callsStartingWith("invoke SetZoomRect");
    ASSERT_EQ(zooms.size(), 2u);
    EXPECT_EQ(zooms[0], "invoke SetZoomRect 0 0 11000 8000");
    EXPECT_EQ(zooms[1], "invoke SetZoomRect 2750 2000 8250 6000");
    // The snapshot was taken between the two.
    const auto whole = std::find(control->calls.begin(), control->calls.end(), zooms[0]);
    const auto update = std::find(whole, control->calls.end(), kUpdateEvent);
    const auto back = std::find(whole, control->calls.end(), zooms[1]);
    EXPECT_LT(update, back);

    // Null ticks: a snapshot on every fourth one with the default frequency.
    drawer.images.clear();
    for (int tick = 0; tick < 8; ++tick)
        view->sendNullEvent();
    EXPECT_EQ(drawer.images.size(), 2u);

    // Letting go of the drawer hands it an empty picture.
    view->setZoomView(nullptr);
    ASSERT_FALSE(drawer.images.empty());
    EXPECT_TRUE(drawer.images.back().isNull());
}

TEST_F(ViewTest, PlaybackOperationsNeedARunningMovieAndRefreshTheDrawer)
{
    RecordingZoomView drawer;
    view->setZoomView(&drawer);
    EXPECT_FALSE(view->play());
    EXPECT_FALSE(view->gotoFrame(3));
    EXPECT_FALSE(view->setFlashQuality(2));
    EXPECT_EQ(view->currentFrame(), 0);
    EXPECT_TRUE(control->callsStartingWith("invoke").empty());

    ASSERT_TRUE(view->loadMovie(QByteArray(10, 'm'), "/tmp/play.swf"));
    view->stopNullEvents();
    drawer.images.clear();
    // Play and stop report success whatever the plug-in says; frame jumps also refresh the drawer's snapshot.
    control->invokeResult = false;
    EXPECT_TRUE(view->play());
    EXPECT_TRUE(view->stopPlay());
    EXPECT_TRUE(view->gotoFrame(3));
    EXPECT_TRUE(view->rewind());
    EXPECT_EQ(drawer.images.size(), 2u);
    EXPECT_FALSE(view->setFlashQuality(2));
    const auto invoked = control->callsStartingWith("invoke");
    ASSERT_GE(invoked.size(), 4u);
    EXPECT_EQ(invoked[2], "invoke GotoFrame 3");
    view->setZoomView(nullptr);
}

TEST_F(ViewTest, ADestroyedDrawerIsDropped)
{
    class DrawerWidget : public QWidget, public RecordingZoomView
    {
    };
    auto drawer = std::make_unique<DrawerWidget>();
    view->setZoomView(drawer.get());
    EXPECT_EQ(view->zoomView(), drawer.get());
    drawer.reset();
    EXPECT_EQ(view->zoomView(), nullptr);
    ASSERT_TRUE(view->loadMovie(QByteArray(10, 'm'), "/tmp/drawer.swf")); // refreshes no drawer
    view->gotoFrame(1);
}
