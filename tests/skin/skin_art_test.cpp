#include "ControlsSkin.h"
#include "NSImageButton.h"
#include "NSImageSlider.h"
#include "NSLCDView.h"
#include "SkinImages.h"
#include "Translations.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

// Restores the English texts when a test ends.
struct EnglishAfterwards {
    ~EnglishAfterwards() { installTranslation(QLocale(QLocale::English)); }
};

} // namespace

TEST(SkinArt, EveryNamedPictureExistsAndIsSharpAtTwiceTheDensity)
{
    const ButtonSkin* buttons[] = { &ControlsSkin::about, &ControlsSkin::info, &ControlsSkin::playList,
        &ControlsSkin::repeat, &ControlsSkin::shuffle, &ControlsSkin::expand, &ControlsSkin::play,
        &ControlsSkin::forward, &ControlsSkin::back, &ControlsSkin::next, &ControlsSkin::previous,
        &ControlsSkin::oneToOne, &ControlsSkin::fit, &ControlsSkin::move, &AdvancedSkin::addFile,
        &AdvancedSkin::removeFile, &AdvancedSkin::shuffle, &AdvancedSkin::repeatStyle };
    QStringList names = { "progress_left", "progress_center", "progress_right", "progress_knob", "slider_left",
        "slider_center", "slider_right", "slider_knob", "lcd_left", "lcd_center", "lcd_right", "ico_repeat_item",
        "ico_repeat_off", "ico_repeat_all", "ico_shuffle_on", "ico_shuffle_off", "open_hand", "closed_hand", "resize" };
    for (const ButtonSkin* b : buttons)
        for (const char* name :
            { b->normal, b->highlighted, b->alternate, b->alternateHighlighted, b->disabled, b->mixed })
            if (name)
                names.append(QString::fromLatin1(name));
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QImage single = skinImage(name, 1.0);
        const QImage dense = skinImage(name, 2.0);
        ASSERT_FALSE(single.isNull());
        // Rendered at the density asked for, not scaled up afterwards: twice the pixels, the same size on screen.
        EXPECT_EQ(dense.size(), single.size() * 2);
        EXPECT_EQ(skinImageSize(dense), skinImageSize(single));
    }
    EXPECT_TRUE(skinImage(QStringLiteral("no_such_picture"), 1.0).isNull());
}

TEST(SkinArt, TrackPiecesShareOneHeightAndTheKnobsSitOnTheirTracks)
{
    for (const char* prefix : { "progress", "slider" }) {
        SCOPED_TRACE(prefix);
        const QString base = QString::fromLatin1(prefix);
        const qreal height = skinImageSize(skinImage(base + "_left", 1.0)).height();
        EXPECT_EQ(skinImageSize(skinImage(base + "_center", 1.0)).height(), height);
        EXPECT_EQ(skinImageSize(skinImage(base + "_right", 1.0)).height(), height);
    }
    // In a 20-high slider the knob's opaque middle row lies on the track's middle row.
    NSImageSlider slider;
    slider.resize(200, 20);
    for (const bool progress : { true, false }) {
        SCOPED_TRACE(progress ? "progress" : "volume");
        progress ? applyProgressSliderSkin(&slider) : applyVolumeSliderSkin(&slider);
        const auto pieces = slider.cell().trackPieces(QRectF(slider.rect()), slider.platformKnobThickness(), true);
        const QRectF knob = slider.knobRect();
        const QImage knobImage = slider.knobImage();
        const int trackMiddle = int(pieces.center.center().y());
        const int row = int((trackMiddle - knob.y()) * knobImage.devicePixelRatio());
        ASSERT_GE(row, 0);
        ASSERT_LT(row, knobImage.height());
        EXPECT_EQ(knobImage.pixelColor(knobImage.width() / 2, row).alpha(), 255);
    }
}

TEST(SkinArt, ButtonsTakeTheirPicturesAndTooltips)
{
    NSImageButton play;
    applyButtonSkin(&play, ControlsSkin::play);
    EXPECT_FALSE(play.image().isNull());
    EXPECT_FALSE(play.alternateHighlightedImage().isNull());
    EXPECT_TRUE(play.isCheckable());
    NSImageButton forward;
    applyButtonSkin(&forward, ControlsSkin::forward);
    EXPECT_TRUE(forward.autoRepeat());
    NSImageButton repeat;
    applyButtonSkin(&repeat, ControlsSkin::repeat);
    EXPECT_TRUE(repeat.allowsMixedState());
    repeat.setState(NSImageButton::NSMixedState);
    EXPECT_EQ(repeat.currentImage(), skinImage(QStringLiteral("ico2_repeat_all")));
    NSLCDView lcd;
    lcd.resize(300, 44);
    applyLCDSkin(&lcd);
    EXPECT_EQ(lcd.pieces().center.width(), 300 - 16);
}

TEST(SkinArt, PanelTextsAndFormatsSwitchWithTheTranslation)
{
    EnglishAfterwards restore;
    NSImageButton info;
    applyButtonSkin(&info, ControlsSkin::info);
    EXPECT_EQ(info.toolTip(), QStringLiteral("Display SWF Info"));
    EXPECT_EQ(volumeText(0.999f), QStringLiteral("Volume 99 %"));
    EXPECT_EQ(zoomText(100), QStringLiteral("Zoom 100 %"));

    ASSERT_TRUE(installTranslation(QLocale(QLocale::German, QLocale::Germany)));
    applyButtonSkin(&info, ControlsSkin::info);
    EXPECT_EQ(info.toolTip(), QStringLiteral("SWF-Informationen anzeigen"));
    EXPECT_EQ(volumeText(1.0f), QStringLiteral("Lautstärke 100 %"));
    EXPECT_EQ(framesText(3, 40), QStringLiteral("3/40"));
    NSImageButton add;
    applyButtonSkin(&add, AdvancedSkin::addFile, "AdvancedController");
    EXPECT_EQ(add.toolTip(), QStringLiteral("Dateien zur Wiedergabeliste hinzufügen"));

    // A language without a translation keeps the English texts.
    EXPECT_FALSE(installTranslation(QLocale(QLocale::Japanese)));
    EXPECT_EQ(volumeText(0.5f), QStringLiteral("Volume 50 %"));
}
