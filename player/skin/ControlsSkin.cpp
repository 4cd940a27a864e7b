#include "ControlsSkin.h"

#include "NSImageButton.h"
#include "NSImageSlider.h"
#include "NSLCDView.h"
#include "SkinImages.h"
#include "ZoomAreaAnimation.h"

#include <QCoreApplication>

namespace {

constexpr float kProgressTrackOffset = 4.0f;
constexpr float kProgressKnobOffset = -1.0f;
constexpr float kSliderTrackOffset = 6.0f;
constexpr float kSliderKnobOffset = -2.0f;

void setIfNamed(NSImageButton* button, void (NSImageButton::*setter)(const QImage&), const char* name)
{
    if (name)
        (button->*setter)(skinImage(QString::fromLatin1(name)));
}

void applySliderSkin(NSImageSlider* slider, const char* prefix, float trackOffset, float knobOffset)
{
    const QString base = QString::fromLatin1(prefix);
    slider->setLeftImage(skinImage(base + QLatin1String("_left")));
    slider->setCenterImage(skinImage(base + QLatin1String("_center")));
    slider->setRightImage(skinImage(base + QLatin1String("_right")));
    slider->setKnobImage(skinImage(base + QLatin1String("_knob")));
    slider->setBottomBgOffset(trackOffset);
    slider->setBottomKnobOffset(knobOffset);
}

} // namespace

// Normal pictures the panels leave to their window descriptions are named here too, so every button has one.
namespace ControlsSkin {
const ButtonSkin about { "about", "about_on", nullptr, nullptr, nullptr, nullptr,
    QT_TRANSLATE_NOOP("ControlsController", "Display brief information about Reelfinch") };
const ButtonSkin info { "info", "info_on", nullptr, nullptr, "info_disabled", nullptr,
    QT_TRANSLATE_NOOP("ControlsController", "Display SWF Info") };
const ButtonSkin playList { "playlist", "playlist_on", nullptr, nullptr, nullptr, nullptr,
    QT_TRANSLATE_NOOP("ControlsController", "Toggle playlist on/off") };
const ButtonSkin repeat { "repeat", "repeat_on", "repeat_alt", "repeat_on", nullptr, "ico2_repeat_all", nullptr };
const ButtonSkin shuffle { "shuffle", "shuffle_on", "shuffle_alt", "shuffle_on", nullptr, nullptr, nullptr };
// On while the zoom drawer is open: its arrows then point the way that closes it.
const ButtonSkin expand { "expand", "expand_on", "expand_alt", nullptr, nullptr, nullptr, nullptr };
const ButtonSkin play { "play", "play_on", "pause", "pause_on", "play_disabled", nullptr, nullptr };
const ButtonSkin forward { "fwd", "fwd_on", nullptr, nullptr, "fwd_disabled", nullptr, nullptr, true };
const ButtonSkin back { "back", "back_on", nullptr, nullptr, "back_disabled", nullptr, nullptr, true };
const ButtonSkin next { "next", "next_on", nullptr, nullptr, "next_disabled", nullptr, nullptr };
const ButtonSkin previous { "prev", "prev_on", nullptr, nullptr, "prev_disabled", nullptr, nullptr };
const ButtonSkin oneToOne { "1x1", "1x1_on", nullptr, nullptr, "1x1_disabled", nullptr,
    QT_TRANSLATE_NOOP("ControlsController", "Resize movie to original window size") };
const ButtonSkin fit { "fit", "fit_on", nullptr, nullptr, "fit_disabled", nullptr,
    QT_TRANSLATE_NOOP("ControlsController", "Fit to the window") };
const ButtonSkin move { "drag", "drag_on", "drag_on", "drag_on", "drag_disabled", nullptr,
    QT_TRANSLATE_NOOP("ControlsController", "Toggle movie dragging on/off") };
} // namespace ControlsSkin

namespace AdvancedSkin {
const ButtonSkin addFile { "add", "add_on", nullptr, nullptr, nullptr, nullptr,
    QT_TRANSLATE_NOOP("AdvancedController", "Add files to Playlist") };
const ButtonSkin removeFile { "del", "del_on", nullptr, nullptr, nullptr, nullptr,
    QT_TRANSLATE_NOOP("AdvancedController", "Remove the selected files from Playlist") };
const ButtonSkin shuffle { "shuffle", "shuffle_on", "shuffle_alt", "shuffle_on", nullptr, nullptr,
    QT_TRANSLATE_NOOP("AdvancedController", "Turn shuffle on or off") };
const ButtonSkin repeatStyle { "repeat", "repeat_on", "repeat_alt", "repeat_on", nullptr, "ico2_repeat_all",
    QT_TRANSLATE_NOOP("AdvancedController", "Play playlist once, repeat playlist, or repeat song") };
} // namespace AdvancedSkin

void applyButtonSkin(NSImageButton* button, const ButtonSkin& skin, const char* context)
{
    setIfNamed(button, &NSImageButton::setImage, skin.normal);
    setIfNamed(button, &NSImageButton::setHighlightedImage, skin.highlighted);
    setIfNamed(button, &NSImageButton::setAlternateImage, skin.alternate);
    setIfNamed(button, &NSImageButton::setAlternateHighlightedImage, skin.alternateHighlighted);
    setIfNamed(button, &NSImageButton::setDisabledImage, skin.disabled);
    if (skin.mixed) {
        setIfNamed(button, &NSImageButton::setMixedImage, skin.mixed);
        button->setAllowsMixedState(true);
    }
    if (skin.tooltip)
        button->setToolTip(QCoreApplication::translate(context, skin.tooltip));
    if (skin.continuous)
        button->setContinuous(true);
    if (skin.alternate)
        button->setCheckable(true);
}

void applyProgressSliderSkin(NSImageSlider* slider)
{
    applySliderSkin(slider, "progress", kProgressTrackOffset, kProgressKnobOffset);
}

void applyVolumeSliderSkin(NSImageSlider* slider)
{
    applySliderSkin(slider, "slider", kSliderTrackOffset, kSliderKnobOffset);
}

void applyLCDSkin(NSLCDView* lcd)
{
    lcd->setLeftImage(skinImage(QStringLiteral("lcd_left")));
    lcd->setCenterImage(skinImage(QStringLiteral("lcd_center")));
    lcd->setRightImage(skinImage(QStringLiteral("lcd_right")));
    lcd->update();
}

// The LCD's texts belong to the controls panel; the context is spelled out where the translation tools can read it.
QString zoomText(int percent)
{
    return QCoreApplication::translate("ControlsController", "Zoom %1 %").arg(percent);
}

QString volumeText(float volume)
{
    return QCoreApplication::translate("ControlsController", "Volume %1 %").arg(volumePercent(volume));
}

QString noVolumeText()
{
    return QCoreApplication::translate("ControlsController", "No sound output");
}

QString framesText(int current, int total)
{
    return QCoreApplication::translate("ControlsController", "%1/%2").arg(current).arg(total);
}
