#include "ZoomAreaAnimation.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

// A panel of the expanded layout: window 467 wide, the zoom box 132 wide holding the drawer's view at x 0.
struct Panel {
    QWidget window;
    QWidget* box;
    QWidget* zoomView;
    ZoomAreaAnimation animation;

    Panel()
        : box(new QWidget(&window))
        , zoomView(new QWidget(box))
        , animation(&window, box, zoomView)
    {
        window.setGeometry(50, 60, ZoomAreaAnimation::kExpandedWidth, 120);
        box->setGeometry(335, 0, ZoomAreaAnimation::kBoxOpenWidth, 120);
        zoomView->setGeometry(0, 4, 120, 80);
    }

    // Runs the timer's steps by hand and records the window widths.
    std::vector<int> run()
    {
        std::vector<int> widths;
        for (int i = 0; i < 20 && animation.isAnimating(); ++i) {
            if (animation.isExpanded())
                animation.expandAction();
            else
                animation.constrictAction();
            widths.push_back(window.width());
        }
        return widths;
    }
};

} // namespace

TEST(ZoomArea, ClosesAndOpensInStepsWithOneNotificationEach)
{
    Panel panel;
    QSignalSpy expanded(&panel.animation, &ZoomAreaAnimation::expandControls);
    QSignalSpy constricted(&panel.animation, &ZoomAreaAnimation::constrictControls);

    panel.animation.toggle();
    EXPECT_FALSE(panel.animation.isExpanded());
    EXPECT_EQ(panel.run(), (std::vector<int> { 437, 407, 377, 347, 337 }));
    EXPECT_EQ(constricted.count(), 1);
    EXPECT_EQ(panel.box->width(), 0);
    EXPECT_EQ(panel.zoomView->x(), -120);
    EXPECT_EQ(panel.window.pos(), QPoint(50, 60)); // closing never moves the window

    panel.animation.toggle();
    EXPECT_EQ(expanded.count(), 1); // told before anything moves
    EXPECT_EQ(panel.window.width(), 337);
    EXPECT_EQ(panel.run(), (std::vector<int> { 367, 397, 427, 457, 467 }));
    EXPECT_EQ(panel.box->width(), ZoomAreaAnimation::kBoxOpenWidth);
    EXPECT_EQ(panel.zoomView->x(), 0);
    EXPECT_EQ(constricted.count(), 1);
}

TEST(ZoomArea, ReversalInTheMiddleClosesFromTheCurrentWidth)
{
    Panel panel;
    QSignalSpy constricted(&panel.animation, &ZoomAreaAnimation::constrictControls);
    panel.animation.constrictWindow(false);
    EXPECT_EQ(panel.window.width(), 337);
    EXPECT_EQ(constricted.count(), 0); // at once: no notification

    panel.animation.toggle();
    panel.animation.expandAction();
    panel.animation.expandAction();
    EXPECT_EQ(panel.window.width(), 397);
    panel.animation.toggle();
    EXPECT_FALSE(panel.animation.isExpanded());
    EXPECT_EQ(panel.run(), (std::vector<int> { 367, 337, 337 }));
    EXPECT_EQ(constricted.count(), 1);
    EXPECT_FALSE(panel.animation.isAnimating());
}

TEST(ZoomArea, OpeningKeepsTheRightEdgeOnTheMainScreen)
{
    Panel panel;
    const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
    panel.animation.constrictWindow(false);
    panel.window.move(screenWidth - 340, 60);
    panel.animation.expandWindow(true);
    panel.run();
    EXPECT_EQ(panel.window.width(), 467);
    EXPECT_EQ(panel.window.geometry().right() + 1, screenWidth);
    panel.animation.expandWindow(false);
    EXPECT_EQ(panel.window.geometry().right() + 1, screenWidth);
}

TEST(ZoomArea, VolumePercentTruncates)
{
    EXPECT_EQ(volumePercent(0.999f), 99);
    EXPECT_EQ(volumePercent(1.0f), 100);
    EXPECT_EQ(volumePercent(0.0f), 0);
}
