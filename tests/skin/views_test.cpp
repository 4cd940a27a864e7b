#include "CursorAdditions.h"
#include "NSHiperLink.h"
#include "NSImageWindow.h"
#include "NSInfoCell.h"
#include "NSLCDView.h"
#include "NSWindowZoomView.h"
#include "SkinTestSupport.h"

#include <QDesktopServices>
#include <QEnterEvent>
#include <QPainter>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

QImage renderWidget(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Receives the addresses the desktop is asked to open.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

} // namespace

TEST(LCDView, DrawsOnlyWithAllThreePiecesAndTilesTheWidth)
{
    NSLCDView lcd;
    lcd.resize(100, 30);
    lcd.setLeftImage(solidImage(6, 20, Qt::red));
    lcd.setRightImage(solidImage(5, 20, Qt::blue));
    EXPECT_TRUE(lcd.pieces().left.isNull());
    const QImage twoPieces = renderWidget(lcd);
    for (const QPoint p : { QPoint(2, 25), QPoint(50, 25), QPoint(97, 25) })
        EXPECT_EQ(twoPieces.pixelColor(p).alpha(), 0) << p.x();

    lcd.setCenterImage(solidImage(4, 20, Qt::green));
    const auto pieces = lcd.pieces();
    // Bottom-aligned at natural height; the centre stretched between the caps.
    EXPECT_EQ(pieces.left, QRectF(0, 10, 6, 20));
    EXPECT_EQ(pieces.center, QRectF(6, 10, 89, 20));
    EXPECT_EQ(pieces.right, QRectF(95, 10, 5, 20));
    const QImage drawn = renderWidget(lcd);
    EXPECT_EQ(drawn.pixelColor(2, 25), QColor(Qt::red));
    EXPECT_EQ(drawn.pixelColor(50, 25), QColor(Qt::green));
    EXPECT_EQ(drawn.pixelColor(97, 25), QColor(Qt::blue));
    EXPECT_EQ(drawn.pixelColor(50, 5).alpha(), 0);
}

TEST(InfoCell, DrawsAColourSwatchAndTextOtherwise)
{
    QStandardItemModel model(2, 1);
    model.setData(model.index(0, 0), QColor(255, 0, 0, 128), Qt::DisplayRole);
    model.setData(model.index(1, 0), QStringLiteral("12"), Qt::DisplayRole);
    NSInfoCell cell;
    const QRect frame(0, 0, 30, 16);
    for (const bool selected : { false, true }) {
        SCOPED_TRACE(selected ? "selected" : "not selected");
        QImage image(frame.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = frame;
        option.state = selected ? QStyle::State_Selected : QStyle::State_None;
        cell.paint(&painter, option, model.index(0, 0));
        painter.end();
        const QRgb background = (selected ? NSInfoCell::kSelectedBackground : NSInfoCell::kBackground).rgba();
        EXPECT_EQ(image.pixel(0, 0), NSInfoCell::kOutline.rgba()); // the outline
        EXPECT_EQ(image.pixel(29, 15), NSInfoCell::kOutline.rgba());
        EXPECT_EQ(image.pixel(2, 2), background);
        // The swatch replaces the pixels: the translucent colour is stored as it is, not blended.
        EXPECT_EQ(image.pixel(4, 4), qRgba(255, 0, 0, 128));
        EXPECT_EQ(image.pixel(25, 11), qRgba(255, 0, 0, 128));
        EXPECT_EQ(image.pixel(26, 12), background);
    }
    // A colour carried as the decoration of an item is a swatch too, in place of its text.
    QStandardItemModel decorated(1, 1);
    decorated.setData(decorated.index(0, 0), QStringLiteral("#0000ff"), Qt::DisplayRole);
    decorated.setData(decorated.index(0, 0), QColor(0, 0, 255), Qt::DecorationRole);
    QImage image(frame.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = frame;
    cell.paint(&painter, option, decorated.index(0, 0));
    painter.end();
    EXPECT_EQ(image.pixelColor(10, 8), QColor(0, 0, 255));
}

TEST(ImageWindow, AlwaysFramelessAndSeeThrough)
{
    NSImageWindow window(nullptr,
        Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint
            | Qt::WindowStaysOnTopHint);
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags & Qt::FramelessWindowHint);
    EXPECT_FALSE(flags & Qt::WindowTitleHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinMaxButtonsHint);
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(window.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(window.canBecomeKeyWindow());
    window.setCanBecomeKeyWindow(false);
    EXPECT_FALSE(window.canBecomeKeyWindow());
    EXPECT_TRUE(window.windowFlags() & Qt::WindowDoesNotAcceptFocus);

    // A floating panel stays a utility window, still without frame controls; other kinds become plain windows.
    const NSImageWindow panel(nullptr, Qt::Tool | Qt::WindowTitleHint);
    EXPECT_EQ(panel.windowType(), Qt::Tool);
    EXPECT_EQ(panel.windowFlags() & (Qt::WindowTitleHint | Qt::FramelessWindowHint), Qt::FramelessWindowHint);
    EXPECT_EQ(NSImageWindow(nullptr, Qt::Dialog).windowType(), Qt::Window);
}

TEST(ImageWindow, PressGoesToTheDelegateAndDraggingMovesTheWindow)
{
    NSImageWindow window;
    window.setGeometry(100, 100, 80, 40);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // Without a delegate a press changes nothing about the window.
    QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(window.pos(), QPoint(100, 100));
    EXPECT_TRUE(window.isVisible());

    int presses = 0;
    QObject::connect(&window, &NSImageWindow::mouseDownAction, [&presses](QMouseEvent*) { ++presses; });
    QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(10, 10));
    QMouseEvent drag(
        QEvent::MouseMove, QPointF(30, 15), window.mapToGlobal(QPointF(30, 15)), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&window, &drag);
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(30, 15));
    EXPECT_EQ(presses, 1);
    EXPECT_EQ(window.pos(), QPoint(120, 105));
}

TEST(WindowZoomView, RaisesInResizeWhileTheMouseIsOverTheGrip)
{
    NSWindowZoomView grip;
    EXPECT_EQ(grip.cursor().shape(), resizeCursor().shape());
    ASSERT_FALSE(inResize);
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(&grip, &enter);
    EXPECT_TRUE(inResize);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&grip, &leave);
    EXPECT_FALSE(inResize);
}

TEST(HiperLink, HighlightsWhileInsideAndOpensItsAddress)
{
    NSHiperLink link;
    link.setText(QStringLiteral("someone@example.org"));
    link.resize(160, 20);
    link.setNormalColor(Qt::darkBlue);
    link.setHilitedColor(Qt::red);
    EXPECT_EQ(link.textColor(), QColor(Qt::darkBlue));

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&link, &enter);
    EXPECT_TRUE(link.isMouseOver());
    EXPECT_EQ(link.textColor(), QColor(Qt::red));
    // The underline runs along the bottom edge in the highlighted colour.
    const QImage hovered = renderWidget(link);
    const int bottom = link.contentsRect().bottom();
    EXPECT_EQ(hovered.pixelColor(10, bottom), QColor(Qt::red));

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&link, &leave);
    EXPECT_FALSE(link.isMouseOver());
    EXPECT_EQ(link.textColor(), QColor(Qt::darkBlue));
    EXPECT_NE(renderWidget(link).pixelColor(10, bottom), QColor(Qt::red));

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
    link.setLinkURL(QStringLiteral("mailto:") + link.text());
    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(5, 5));
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened.front(), QUrl(QStringLiteral("mailto:someone@example.org")));
}

TEST(Cursors, SameCursorOnEveryCall)
{
    EXPECT_EQ(&canDragCursor(), &canDragCursor());
    EXPECT_EQ(&dragCursor(), &dragCursor());
    EXPECT_EQ(&resizeCursor(), &resizeCursor());
}

#include "views_test.moc"
