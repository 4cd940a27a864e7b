// ControlsController: the controls panel. It owns no playback state: every control's action goes to the player
// controller under the same name, and the player controller pushes the state back through the setters. By
// itself the panel opens and closes its zoom area and shows the output volume.
#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <optional>

class NSImageWindow;
class PlayerController;
class QWidget;
class ZoomAreaAnimation;
class ZoomViewClient;

namespace Ui {
class ControlsWindow;
}

class ControlsController : public QObject
{
    Q_OBJECT
public:
    ControlsController();
    ~ControlsController() override;

    QWidget* window() const;
    // The panel's skin window: frameless, see-through where its art is, moved by its background.
    NSImageWindow* imageWindow() const { return _window.get(); }
    Ui::ControlsWindow& ui() const { return *_ui; }

    void setMainController(PlayerController* app);
    void initVolumeValue();
    void setWindowVisible(bool visible);
    void setFileName(const QString& name);
    void setCanPlay(bool can);
    bool canPlay() const;
    void setCanGotoNext(bool can);
    bool canGotoNext() const;
    void setCanGotoPrev(bool can);
    bool canGotoPrev() const;
    void setTotalFrames(int total);
    void setCurrentFrame(int frame);
    void setPlayed(bool playing);
    // The move button's picture: the closed hand while movie dragging is on.
    void setDragState(bool on);
    // How the zoom drawer scales the movie's snapshot (the preferences' image interpolation).
    void setImageInterpolation(int interpolation);
    // Whether a sound output was found at the last look; without one the volume slider is disabled.
    bool hasVolumeOutput() const { return _hasVolumeOutput; }
    void setZoomPrecent(int percent);
    void setRepeatState(int mode);
    void setShuffleState(bool on);
    void expandWindow(bool animate);
    void constrictWindow(bool animate);
    // The zoom drawer's view; none until the drawer has one.
    ZoomViewClient* zoomView() const;
    bool isExpanded() const;
    // The zoom area's opening and closing (its timer steps and geometry).
    ZoomAreaAnimation* zoomArea() const { return _zoomArea.get(); }
    bool isVolumePolled() const { return _volumeTimer.isActive(); }

    // Actions of the panel's controls.
    void playAction(QObject* sender);
    void forwardAction(QObject* sender);
    void backAction(QObject* sender);
    void gotoFrameSliderAction(QObject* sender);
    void nextAction(QObject* sender);
    void previousAction(QObject* sender);
    void repeatAction(QObject* sender);
    void shuffleAction(QObject* sender);
    void zoomSliderAction(QObject* sender);
    void setOriginalSizeAction(QObject* sender);
    void setFitSize(QObject* sender);
    void startDragAction(QObject* sender);
    void showAboutAction(QObject* sender);
    void showSWFInfoAction(QObject* sender);
    void showPlayListAction(QObject* sender);
    void expandControlsAction(QObject* sender);
    void volumeAction(QObject* sender);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applySkin();
    void connectControls();
    void refreshFrameCounter();
    void showVolume(std::optional<float> volume);
    void showFileName();
    void paintZoomBox();

    std::unique_ptr<NSImageWindow> _window;
    std::unique_ptr<Ui::ControlsWindow> _ui;
    QPointer<PlayerController> _app;
    // Holds the _isExpanded flag and the _resizeTimer of the widening and narrowing.
    std::unique_ptr<ZoomAreaAnimation> _zoomArea;
    QTimer _volumeTimer;
    bool _hasVolumeOutput = false;
    int _totalFrames = 0;
    QString _fileName;
    QImage _zoomBackground;
};
