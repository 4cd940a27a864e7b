#include "NSFlashPluginView.h"
#include "NSZoomView.h"
#include "SkinTestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int kTwips = 20;

// A drawer of 120 x 80 steering a real movie view whose movie is 400 x 200 pixels.
struct DrawerFixture {
    NSFlashPluginView view;
    NSZoomView drawer;

    DrawerFixture()
    {
        drawer.resize(120, 80);
        view.setOriginalRect(0, 0, 400 * kTwips - 1, 200 * kTwips - 1);
        drawer.setFlashView(&view);
        drawer.setFlashImage(solidImage(400, 200, Qt::white));
    }

    // Shows the part of the movie given in fractions of its frame, as the movie window would.
    void showPart(const QRectF& fraction)
    {
        view.displayZoomRect(fraction);
        drawer.updateZoomRectFromView();
    }

    void press(QPointF p) { QTest::mousePress(&drawer, Qt::LeftButton, {}, p.toPoint()); }
    void dragTo(QPointF p)
    {
        QMouseEvent move(QEvent::MouseMove, p, drawer.mapToGlobal(p), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(&drawer, &move);
    }
    void glideToEnd()
    {
        for (int step = 0; step < 100 && drawer.isGliding(); ++step)
            drawer.zoomRectMoveAction();
    }
};

void expectRectNear(const QRectF& actual, const QRectF& expected, qreal tolerance = 0.01)
{
    EXPECT_NEAR(actual.x(), expected.x(), tolerance);
    EXPECT_NEAR(actual.y(), expected.y(), tolerance);
    EXPECT_NEAR(actual.width(), expected.width(), tolerance);
    EXPECT_NEAR(actual.height(), expected.height(), tolerance);
}

} // namespace

TEST(ZoomView, FitsTheSnapshotCentred)
{
    NSZoomView drawer;
    drawer.resize(120, 80);
    struct {
        QSize snapshot;
        QRectF expected;
    } const cases[] = {
        { { 400, 200 }, QRectF(0, 10, 120, 60) }, // wider: fills the width, black above and below
        { { 100, 100 }, QRectF(20, 0, 80, 80) }, // square
        { { 50, 200 }, QRectF(50, 0, 20, 80) }, // taller
        { { 60, 40 }, QRectF(0, 0, 120, 80) }, // smaller than the view: scaled up
    };
    for (const auto& c : cases) {
        drawer.setFlashImage(solidImage(c.snapshot.width(), c.snapshot.height(), Qt::white));
        EXPECT_EQ(drawer.imageRect(), c.expected);
    }
    // Pixels: the snapshot inside its rectangle, nothing outside; the view paints black without a movie view.
    drawer.setFlashImage(solidImage(400, 200, Qt::white));
    const QImage fitted = drawer.image();
    EXPECT_EQ(fitted.pixelColor(60, 40), QColor(Qt::white));
    EXPECT_EQ(fitted.pixelColor(60, 5).alpha(), 0);
    EXPECT_EQ(drawer.grab().toImage().pixelColor(60, 40), QColor(Qt::black));
    drawer.setFlashImage(QImage());
    EXPECT_TRUE(drawer.image().isNull());
}

TEST(ZoomView, OutlinesTheShownPartAndDimsTheRest)
{
    DrawerFixture f;
    f.showPart(QRectF(0.25, 0.25, 0.5, 0.5));
    expectRectNear(f.drawer.zoomRect(), QRectF(30, 25, 60, 30));
    expectRectNear(f.drawer.zoomFractions(), QRectF(0.25, 0.25, 0.5, 0.5));

    const QImage shown = f.drawer.grab().toImage();
    EXPECT_EQ(shown.pixelColor(60, 5), QColor(Qt::black)); // outside the picture
    EXPECT_EQ(shown.pixelColor(60, 40), QColor(Qt::white)); // inside the outline: not dimmed
    const QColor dimmed = shown.pixelColor(10, 40); // picture outside the outline: half gray over white
    EXPECT_NEAR(dimmed.red(), 191, 2);
    const QColor edge = shown.pixelColor(60, 25); // the outline itself
    EXPECT_LT(edge.red(), 250);
}

TEST(ZoomView, ClickGlidesInFifthsAndStopsAtThePicturesEdge)
{
    DrawerFixture f;
    f.showPart(QRectF(0.25, 0.25, 0.5, 0.5)); // outline (30, 25, 60, 30)
    // A click near the right edge: centred on it the outline would pass the edge, so it stops touching it.
    f.press(QPointF(115, 40));
    ASSERT_TRUE(f.drawer.isGliding());
    EXPECT_EQ(f.drawer.neededPoint(), QPointF(60, 25));
    f.drawer.zoomRectMoveAction();
    EXPECT_NEAR(f.drawer.zoomRect().x(), 30 + 30 / 5.0, 0.01); // a fifth of the remaining distance
    // The movie view follows each step.
    EXPECT_EQ(f.view.currentRect().left, int((36.0 / 120) * 400 * kTwips));
    f.glideToEnd();
    EXPECT_FALSE(f.drawer.isGliding());
    EXPECT_EQ(f.drawer.zoomRect().topLeft(), QPointF(60, 25));
    expectRectNear(f.drawer.zoomFractions(), QRectF(0.5, 0.25, 0.5, 0.5));
    EXPECT_EQ(f.view.currentRect().left, 200 * kTwips);
    EXPECT_EQ(f.view.currentRect().right, 400 * kTwips);

    // A press inside the outline does not glide; a click outside the picture neither.
    f.press(QPointF(80, 40));
    EXPECT_FALSE(f.drawer.isGliding());
    f.press(QPointF(60, 75));
    EXPECT_FALSE(f.drawer.isGliding());
}

TEST(ZoomView, OutlineLargerThanThePictureEndsAtItsLeftAndBottom)
{
    DrawerFixture f;
    f.showPart(QRectF(-0.5, -0.5, 2.0, 2.0)); // zoomed out: outline (-60, -20, 240, 120) covers the picture
    f.press(QPointF(60, 40));
    EXPECT_FALSE(f.drawer.isGliding());
    f.dragTo(QPointF(61, 41));
    expectRectNear(f.drawer.zoomRect(), QRectF(0, 70 - 120, 240, 120));
}

TEST(ZoomView, DragMovesTheOutlineByTheMouseOnlyInsideThePicture)
{
    DrawerFixture f;
    f.showPart(QRectF(0.25, 0.25, 0.5, 0.5)); // outline (30, 25, 60, 30)
    f.press(QPointF(50, 35));
    EXPECT_FALSE(f.drawer.isGliding());
    f.dragTo(QPointF(60, 40));
    expectRectNear(f.drawer.zoomRect(), QRectF(40, 30, 60, 30));
    EXPECT_EQ(f.view.currentRect().left, int(40.0 / 120 * 400 * kTwips));
    // Leaving the picture stops the outline; coming back moves it from the last point inside.
    f.dragTo(QPointF(60, 75));
    expectRectNear(f.drawer.zoomRect(), QRectF(40, 30, 60, 30));
    f.dragTo(QPointF(62, 42));
    expectRectNear(f.drawer.zoomRect(), QRectF(42, 32, 60, 30));
    // Dragging far is held inside the picture.
    f.dragTo(QPointF(119, 69));
    expectRectNear(f.drawer.zoomRect(), QRectF(60, 40, 60, 30));
    // A drag stops a glide.
    f.press(QPointF(5, 15));
    ASSERT_TRUE(f.drawer.isGliding());
    f.dragTo(QPointF(6, 16));
    EXPECT_FALSE(f.drawer.isGliding());
}
