#include "NSImageSlider.h"
#include "SkinTestSupport.h"

#include <gtest/gtest.h>

namespace {

// The panel's settings: the frame slider and the volume/zoom sliders.
struct PanelSlider {
    const char* what;
    float knobOffset;
    float bgOffset;
};
constexpr PanelSlider kFrameSlider { "frame", -1.0f, 4.0f };
constexpr PanelSlider kVolumeSlider { "volume", -2.0f, 6.0f };

NSImageSliderCell panelCell(const PanelSlider& settings)
{
    NSImageSliderCell cell;
    cell.setKnobImage(solidImage(10, 14, Qt::white));
    cell.setLeftImage(solidImage(4, 6, Qt::red));
    cell.setCenterImage(solidImage(8, 6, Qt::green));
    cell.setRightImage(solidImage(3, 6, Qt::blue));
    cell.setBottomKnobOffset(settings.knobOffset);
    cell.setBottomBgOffset(settings.bgOffset);
    return cell;
}

} // namespace

TEST(ImageSlider, KnobRectangleForThePanelsOffsetsFlippedAndNot)
{
    // The platform puts a 16-wide knob at x 40; the picture (10 x 14) is centred on it.
    const QRectF platformKnob(40, 3, 16, 20);
    struct {
        PanelSlider settings;
        bool flipped;
        QRectF expected;
    } const cases[] = {
        { kFrameSlider, false, QRectF(43, 0, 10, 14) }, // offset -1 unflipped: y = 0
        { kVolumeSlider, false, QRectF(43, -1, 10, 14) }, // offset -2: y = -1
        { kFrameSlider, true, QRectF(43, 30 - 14, 10, 14) }, // height - knob - offset - 1
        { kVolumeSlider, true, QRectF(43, 30 - 14 + 1, 10, 14) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.settings.what) + (c.flipped ? " flipped" : ""));
        EXPECT_EQ(panelCell(c.settings).knobRect(platformKnob, 16, 30, c.flipped), c.expected);
    }
}

TEST(ImageSlider, KnobAtNegativePlatformPositionIsMovedToZeroFirst)
{
    const NSImageSliderCell cell = panelCell(kFrameSlider);
    // x -6 becomes 0 before centring: centre 8, picture from 3.
    EXPECT_EQ(cell.knobRect(QRectF(-6, -2, 16, 20), 16, 30, false), QRectF(3, 0, 10, 14));
    NSImageSliderCell plain;
    EXPECT_EQ(plain.knobRect(QRectF(-6, -2, 16, 20), 16, 30, false), QRectF(0, 0, 16, 20));
    EXPECT_EQ(plain.knobThickness(16), 16);
    EXPECT_EQ(cell.knobThickness(16), 10);
}

TEST(ImageSlider, TrackPiecesInsetByHalfAKnobAndMeetingAtTheRight)
{
    const QRectF track(0, 0, 200, 20);
    struct {
        PanelSlider settings;
        bool flipped;
        qreal y;
    } const cases[] = {
        { kFrameSlider, false, 4 },
        { kFrameSlider, true, 20 - 6 - 4 },
        { kVolumeSlider, false, 6 },
        { kVolumeSlider, true, 20 - 6 - 6 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.settings.what) + (c.flipped ? " flipped" : ""));
        const auto pieces = panelCell(c.settings).trackPieces(track, 16, c.flipped);
        EXPECT_EQ(pieces.left, QRectF(5, c.y, 4, 6));
        EXPECT_EQ(pieces.center, QRectF(9, c.y, 200 - (10 + 4 + 3), 6));
        EXPECT_EQ(pieces.right, QRectF(200 - 3 - 5, c.y, 3, 6));
        EXPECT_EQ(pieces.center.right(), pieces.right.left());
    }
}

TEST(ImageSlider, MissingTrackPictureDrawsThePlatformTrackButKeepsTheKnobPicture)
{
    NSImageSlider slider;
    slider.resize(120, 20);
    slider.setRange(0, 100);
    slider.setValue(50);
    slider.setKnobImage(solidImage(10, 14, QColor(1, 2, 3)));
    slider.setLeftImage(solidImage(4, 6, Qt::red));
    slider.setCenterImage(solidImage(8, 6, Qt::red));
    EXPECT_FALSE(slider.cell().hasTrackImages());
    EXPECT_TRUE(slider.cell().trackPieces(QRectF(slider.rect()), 16, true).left.isNull());

    QImage painted(slider.size(), QImage::Format_ARGB32);
    painted.fill(Qt::transparent);
    slider.render(&painted, QPoint(), QRegion(), QWidget::DrawChildren);
    const QRect knob = slider.knobRect().toRect();
    EXPECT_EQ(knob.size(), QSize(10, 14));
    EXPECT_EQ(painted.pixelColor(knob.center()), QColor(1, 2, 3));
    // The knob's centre follows the value: at the middle of the range it is at the middle of the slider.
    EXPECT_NEAR(slider.knobRect().center().x(), 60, 1.5);
}

TEST(ImageSlider, DoubleValuesInStepsOfTheScale)
{
    NSImageSlider volume;
    volume.setValueScale(100);
    volume.setMinValue(0.0);
    volume.setMaxValue(1.0);
    volume.setDoubleValue(0.42);
    EXPECT_DOUBLE_EQ(volume.doubleValue(), 0.42);
    EXPECT_DOUBLE_EQ(volume.maxValue(), 1.0);
    volume.setDoubleValue(7.0); // held inside the range
    EXPECT_DOUBLE_EQ(volume.doubleValue(), 1.0);
}
