#include "NSImageButton.h"
#include "SkinTestSupport.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

const QColor kNormal(10, 0, 0), kAlt(20, 0, 0), kHigh(30, 0, 0), kAltHigh(40, 0, 0), kMixed(50, 0, 0),
    kMixedHigh(60, 0, 0), kDisabled(70, 0, 0);

struct ChoiceCase {
    const char* what;
    bool enabled;
    int state;
    bool pressed;
    bool withAlternate;
    bool withHighlights; // highlighted, alternate highlighted and mixed highlighted pictures
    bool withDisabled;
    QColor expected;
    qreal opacity;
};

} // namespace

TEST(ImageButton, ChoosesThePictureForEveryStateAndPress)
{
    using B = NSImageButton;
    const ChoiceCase cases[] = {
        { "off", true, B::NSOffState, false, true, true, true, kNormal, 1.0 },
        { "off pressed", true, B::NSOffState, true, true, true, true, kHigh, 1.0 },
        { "off pressed, no highlight", true, B::NSOffState, true, true, false, true, kNormal, 1.0 },
        { "on", true, B::NSOnState, false, true, true, true, kAlt, 1.0 },
        { "on pressed", true, B::NSOnState, true, true, true, true, kAltHigh, 1.0 },
        { "on pressed, no highlight", true, B::NSOnState, true, true, false, true, kAlt, 1.0 },
        { "mixed", true, B::NSMixedState, false, true, true, true, kMixed, 1.0 },
        { "mixed pressed", true, B::NSMixedState, true, true, true, true, kMixedHigh, 1.0 },
        { "on without alternate counts as off", true, B::NSOnState, false, false, true, true, kNormal, 1.0 },
        { "mixed without alternate counts as off", true, B::NSMixedState, false, false, true, true, kNormal, 1.0 },
        { "mixed pressed without alternate", true, B::NSMixedState, true, false, true, true, kHigh, 1.0 },
        { "disabled with its picture", false, B::NSOnState, false, true, true, true, kDisabled, 1.0 },
        { "disabled without one: half opacity", false, B::NSOnState, false, true, true, false, kNormal, 0.5 },
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.what);
        NSImageButton button;
        button.resize(8, 8);
        button.setAllowsMixedState(true);
        button.setImage(solidImage(8, 8, kNormal));
        button.setMixedImage(solidImage(8, 8, kMixed));
        if (c.withAlternate)
            button.setAlternateImage(solidImage(8, 8, kAlt));
        if (c.withHighlights) {
            button.setHighlightedImage(solidImage(8, 8, kHigh));
            button.setAlternateHighlightedImage(solidImage(8, 8, kAltHigh));
            button.setMixedHighlightedImage(solidImage(8, 8, kMixedHigh));
        }
        if (c.withDisabled)
            button.setDisabledImage(solidImage(8, 8, kDisabled));
        button.setState(c.state);
        button.setEnabled(c.enabled);
        button.setDown(c.pressed);
        qreal opacity = 0;
        EXPECT_EQ(button.currentImage(&opacity).pixelColor(0, 0), c.expected);
        EXPECT_EQ(opacity, c.opacity);
        // What is painted is the chosen picture at its opacity, and no platform bezel or highlight.
        QImage painted(8, 8, QImage::Format_ARGB32);
        painted.fill(Qt::transparent);
        button.render(&painted, QPoint(), QRegion(), QWidget::DrawChildren);
        const QColor pixel = painted.pixelColor(4, 4);
        EXPECT_NEAR(pixel.red(), c.expected.red(), 1);
        EXPECT_NEAR(pixel.alpha(), c.opacity < 1 ? 128 : 255, 1);
    }
}

TEST(ImageButton, MixedPictureMissingFallsBackToNormal)
{
    NSImageButton button;
    button.setAllowsMixedState(true);
    button.setImage(solidImage(4, 4, kNormal));
    button.setAlternateImage(solidImage(4, 4, kAlt));
    button.setState(NSImageButton::NSMixedState);
    EXPECT_EQ(button.currentImage().pixelColor(0, 0), kNormal);
}

TEST(ImageButton, ClicksCycleOffMixedOnWhenMixedIsAllowed)
{
    NSImageButton button;
    button.resize(8, 8);
    button.setCheckable(true);
    button.setAllowsMixedState(true);
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i) {
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(2, 2));
        seen.push_back(button.state());
    }
    EXPECT_EQ(seen, (std::vector<int> { -1, 1, 0, -1 }));
    button.setAllowsMixedState(false);
    button.setState(NSImageButton::NSMixedState);
    EXPECT_EQ(button.state(), NSImageButton::NSOnState);
}

TEST(ImageButton, HitMaskTakesClicksAboveAlpha127Only)
{
    NSImageButton button;
    button.resize(8, 8);
    QImage mask = solidImage(6, 6, QColor(0, 0, 0, 0));
    mask.setPixelColor(1, 2, QColor(0, 0, 0, 127));
    mask.setPixelColor(2, 2, QColor(0, 0, 0, 128));
    mask.setPixelColor(5, 0, QColor(0, 0, 0, 255));
    button.setHitMask(mask);
    ASSERT_FALSE(button.hitMask().isNull());

    struct {
        QPointF point;
        bool hit;
    } const cases[] = {
        { { 1.5, 2.9 }, false }, // alpha 127
        { { 2.0, 2.0 }, true }, // alpha 128
        { { 2.99, 2.5 }, true }, // truncated toward zero: still column 2
        { { 5.0, 0.0 }, true }, // opaque, on the minimum edges
        { { 0.0, 0.0 }, false }, // transparent
        { { 6.5, 6.5 }, false }, // inside the button, outside the smaller mask
        { { 7.9, 0.0 }, false }, { { 8.0, 1.0 }, false }, // the maximum edge is outside
        { { -0.5, 1.0 }, false }, // left of the button
    };
    for (const auto& c : cases)
        EXPECT_EQ(button.hitTestPoint(c.point), c.hit) << c.point.x() << "," << c.point.y();

    // A real click on a transparent pixel does not press the button; one on an opaque pixel does.
    int clicks = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&clicks] { ++clicks; });
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(0, 0));
    EXPECT_EQ(clicks, 0);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(clicks, 1);

    // Without a mask the whole bounds take clicks.
    button.setHitMask(QImage());
    EXPECT_TRUE(button.hitTestPoint({ 0, 0 }));
}

TEST(ImageButton, RefusesMasksItCannotRead)
{
    NSImageButton button;
    button.resize(4, 4);
    {
        LogCapture log;
        button.setHitMask(solidImage(4, 4, QColor(0, 0, 0, 255), QImage::Format_RGBA64));
        EXPECT_TRUE(button.hitMask().isNull());
        EXPECT_EQ(LogCapture::lines(), QStringList { QStringLiteral("Bits per Pixel/Samples per Pixel != 8: 64/4") });
    }
    {
        LogCapture log;
        button.setHitMask(solidImage(4, 4, QColor(0, 0, 0, 255), QImage::Format_ARGB4444_Premultiplied));
        EXPECT_TRUE(button.hitMask().isNull());
        EXPECT_EQ(LogCapture::lines(), QStringList { QStringLiteral("Bits per Pixel/Samples per Pixel != 8: 16/4") });
    }
    {
        // No alpha: no mask, and nothing logged.
        LogCapture log;
        button.setHitMask(solidImage(4, 4, Qt::black, QImage::Format_RGB32));
        EXPECT_TRUE(button.hitMask().isNull());
        EXPECT_TRUE(LogCapture::lines().isEmpty());
        EXPECT_TRUE(button.hitTestPoint({ 1, 1 }));
    }
    {
        // An 8-bit alpha-only picture is a usable mask.
        LogCapture log;
        QImage alpha(4, 4, QImage::Format_Alpha8);
        alpha.fill(0);
        alpha.setPixelColor(3, 3, QColor(0, 0, 0, 200));
        button.setHitMask(alpha);
        EXPECT_TRUE(LogCapture::lines().isEmpty());
        EXPECT_TRUE(button.hitTestPoint({ 3, 3 }));
        EXPECT_FALSE(button.hitTestPoint({ 0, 0 }));
    }
}
