// The look of the skinned panels: which pictures, tooltips and offsets each control of the controls panel and
// of the playlist panel takes, and the texts of the controls panel's LCD.
#pragma once

#include <QString>

class NSImageButton;
class NSImageSlider;
class NSLCDView;

// The pictures of one skin button by name (null: not set by the panel) and its tooltip (English, translated in
// the controls panel's context when applied).
struct ButtonSkin {
    const char* normal = nullptr;
    const char* highlighted = nullptr;
    const char* alternate = nullptr;
    const char* alternateHighlighted = nullptr;
    const char* disabled = nullptr;
    const char* mixed = nullptr;
    const char* tooltip = nullptr;
    bool continuous = false;
};

// The controls panel's buttons.
namespace ControlsSkin {
extern const ButtonSkin about, info, playList, repeat, shuffle, expand, play, forward, back, next, previous, oneToOne,
    fit, move;
}

// The playlist panel's buttons.
namespace AdvancedSkin {
extern const ButtonSkin addFile, removeFile, shuffle, repeatStyle;
}

// Sets the button's pictures, tooltip and repeat; a picture the panel does not name is left as it is.
void applyButtonSkin(NSImageButton* button, const ButtonSkin& skin, const char* context = "ControlsController");
// The frame slider's track and knob (offsets 4 and -1), and the volume and zoom sliders' (6 and -2).
void applyProgressSliderSkin(NSImageSlider* slider);
void applyVolumeSliderSkin(NSImageSlider* slider);
void applyLCDSkin(NSLCDView* lcd);

// The LCD's texts, translated: "Zoom 100 %", "Volume 42 %", "12/300".
QString zoomText(int percent);
QString volumeText(float volume);
// The volume LCD's text when no sound output is available.
QString noVolumeText();
QString framesText(int current, int total);
