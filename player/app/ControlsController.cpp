#include "ControlsController.h"

#include "ControlValues.h"
#include "ControlsSkin.h"
#include "NSBgImageView.h"
#include "NSImageButton.h"
#include "NSImageSlider.h"
#include "NSImageWindow.h"
#include "NSLCDView.h"
#include "NSZoomView.h"
#include "OutputVolume.h"
#include "PlayerController.h"
#include "SkinImages.h"
#include "ZoomAreaAnimation.h"
#include "ui_ControlsWindow.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QPainter>

namespace {

constexpr int kVolumePollMs = 5000;
// The volume slider runs over whole percents of the output volume 0.0-1.0.
constexpr int kVolumeSliderSteps = 100;
constexpr int kZoomMinimum = 50;
constexpr int kZoomMaximum = 500;
constexpr int kZoomDefault = 100;
// The LCD's texts: a small face in the display's blue-green, the movie's name a little larger.
constexpr const char* kLCDFontFamily = "DejaVu Sans Mono";
constexpr int kLCDFontPixels = 11;
constexpr int kLCDNamePixels = 12;
constexpr QRgb kLCDTextColor = 0xff9ff5e6;

void showAsLCDText(QLabel* label, int pixels, bool bold)
{
    QFont font(QString::fromLatin1(kLCDFontFamily));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(pixels);
    font.setBold(bold);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor::fromRgba(kLCDTextColor));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor::fromRgba(kLCDTextColor));
    label->setPalette(palette);
    // The texts lie on the LCD: presses go through to the background, which moves the window.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
}

} // namespace

ControlsController::ControlsController()
    : _window(std::make_unique<NSImageWindow>(nullptr, Qt::Tool))
    , _ui(std::make_unique<Ui::ControlsWindow>())
{
    _ui->setupUi(_window.get());
    _window->installEventFilter(this);
    // The window description holds the expanded layout.
    _zoomArea = std::make_unique<ZoomAreaAnimation>(_window.get(), _ui->_boxZoom, _ui->_zoomView);
    _zoomArea->setExpanded(true);

    _ui->_txtFrames->clear();
    _ui->_txtName->clear();
    applyLCDSkin(_ui->_lcdView);
    _ui->_sldProgress->setRange(1, 1);
    _ui->_sldProgress->setValue(1);
    _ui->_sldProgress->setTracking(true);
    _ui->_sldProgress->setEnabled(false);
    _ui->_sldVolume->setRange(0, kVolumeSliderSteps);
    _ui->_sldVolume->setSingleStep(1);
    // The volume is set once, when the knob is let go.
    _ui->_sldVolume->setTracking(false);
    _ui->_sldVolume->setEnabled(false); // until a sound output is found
    _ui->_sldZoom->setRange(kZoomMinimum, kZoomMaximum);
    _ui->_sldZoom->setValue(kZoomDefault);
    _ui->_sldZoom->setTracking(true);
    _ui->_sldZoom->setEnabled(false);

    applySkin();
    _ui->_btnExpand->setChecked(true);
    _ui->_btnInfo->setEnabled(false);
    _ui->_btnRepeat->setState(NSImageButton::NSOffState);
    const QList<QWidget*> disabledUntilTold { _ui->_btnPlay, _ui->_btnForward, _ui->_btnBack, _ui->_btnNext,
        _ui->_btnPrevious, _ui->_btn1_1, _ui->_btnFit, _ui->_btnMove };
    for (QWidget* control : disabledUntilTold)
        control->setEnabled(false);
    _ui->_txtZoomValue->setText(zoomText(kZoomDefault));

    _volumeTimer.setInterval(kVolumePollMs);
    connect(&_volumeTimer, &QTimer::timeout, this, &ControlsController::initVolumeValue);
    connect(_zoomArea.get(), &ZoomAreaAnimation::expandControls, this, [this] {
        if (_app)
            _app->expandControls(nullptr);
    });
    connect(_zoomArea.get(), &ZoomAreaAnimation::constrictControls, this, [this] {
        if (_app)
            _app->constrictControls(nullptr);
    });
    connectControls();
}

ControlsController::~ControlsController()
{
    _volumeTimer.stop();
    _zoomArea.reset();
    if (_window) {
        _window->removeEventFilter(this);
        _ui->_boxZoom->removeEventFilter(this);
    }
}

QWidget* ControlsController::window() const
{
    return _window.get();
}

bool ControlsController::isExpanded() const
{
    return _zoomArea->isExpanded();
}

void ControlsController::applySkin()
{
    Ui::ControlsWindow& ui = *_ui;
    const std::pair<NSImageButton*, const ButtonSkin*> buttons[]
        = { { ui._btnAbout, &ControlsSkin::about }, { ui._btnInfo, &ControlsSkin::info },
              { ui._btnPlayList, &ControlsSkin::playList }, { ui._btnRepeat, &ControlsSkin::repeat },
              { ui._btnShuffle, &ControlsSkin::shuffle }, { ui._btnExpand, &ControlsSkin::expand },
              { ui._btnPlay, &ControlsSkin::play }, { ui._btnForward, &ControlsSkin::forward },
              { ui._btnBack, &ControlsSkin::back }, { ui._btnNext, &ControlsSkin::next },
              { ui._btnPrevious, &ControlsSkin::previous }, { ui._btn1_1, &ControlsSkin::oneToOne },
              { ui._btnFit, &ControlsSkin::fit }, { ui._btnMove, &ControlsSkin::move } };
    for (const auto& [button, skin] : buttons) {
        applyButtonSkin(button, *skin);
        // Each button is the size of its picture, at the place the window description gives it.
        button->setFixedSize(button->sizeHint());
    }
    applyProgressSliderSkin(ui._sldProgress);
    applyVolumeSliderSkin(ui._sldVolume);
    applyVolumeSliderSkin(ui._sldZoom);

    ui._bgView->setScalesImage(false);
    ui._bgView->setImage(skinImage(QStringLiteral("controls_bg")));
    _zoomBackground = skinImage(QStringLiteral("zoom_bg"));
    ui._boxZoom->installEventFilter(this);
    showAsLCDText(ui._txtName, kLCDNamePixels, true);
    for (QLabel* text : { ui._txtFrames, ui._txtZoomValue, ui._txtVolumeValue })
        showAsLCDText(text, kLCDFontPixels, false);
}

void ControlsController::paintZoomBox()
{
    // The drawer's art keeps to the window's right edge, so it slides out and back with the window's width rather
    // than being uncovered in place.
    QWidget* box = _ui->_boxZoom;
    if (_zoomBackground.isNull() || box->width() <= 0)
        return;
    QPainter painter(box);
    const qreal x = _window->width() - box->x() - skinImageSize(_zoomBackground).width();
    painter.drawImage(QPointF(x, 0), _zoomBackground);
}

void ControlsController::connectControls()
{
    Ui::ControlsWindow& ui = *_ui;
    auto wire = [this](QAbstractButton* button, void (ControlsController::*action)(QObject*)) {
        connect(button, &QAbstractButton::clicked, this, [this, button, action] { (this->*action)(button); });
    };
    wire(ui._btnPlay, &ControlsController::playAction);
    wire(ui._btnForward, &ControlsController::forwardAction);
    wire(ui._btnBack, &ControlsController::backAction);
    wire(ui._btnNext, &ControlsController::nextAction);
    wire(ui._btnPrevious, &ControlsController::previousAction);
    wire(ui._btnRepeat, &ControlsController::repeatAction);
    wire(ui._btnShuffle, &ControlsController::shuffleAction);
    wire(ui._btn1_1, &ControlsController::setOriginalSizeAction);
    wire(ui._btnFit, &ControlsController::setFitSize);
    wire(ui._btnMove, &ControlsController::startDragAction);
    wire(ui._btnAbout, &ControlsController::showAboutAction);
    wire(ui._btnInfo, &ControlsController::showSWFInfoAction);
    wire(ui._btnPlayList, &ControlsController::showPlayListAction);
    wire(ui._btnExpand, &ControlsController::expandControlsAction);
    // Only the user's moves of a slider act (the player's own updates do not): the action runs once the slider
    // has taken its new value.
    auto wireSlider = [this](QSlider* slider, void (ControlsController::*action)(QObject*)) {
        connect(slider, &QSlider::actionTriggered, this, [this, slider, action](int kind) {
            if (kind != QAbstractSlider::SliderNoAction)
                QMetaObject::invokeMethod(
                    this, [this, slider, action] { (this->*action)(slider); }, Qt::QueuedConnection);
        });
    };
    wireSlider(ui._sldProgress, &ControlsController::gotoFrameSliderAction);
    wireSlider(ui._sldZoom, &ControlsController::zoomSliderAction);
    QSlider* volume = ui._sldVolume;
    connect(volume, &QSlider::valueChanged, this, [this, volume] { volumeAction(volume); });
}

void ControlsController::setMainController(PlayerController* app)
{
    _app = app;
}

void ControlsController::showVolume(std::optional<float> volume)
{
    // Without a sound server (or a default output) there is nothing to set: the slider rests at zero, disabled,
    // and the LCD says so. The poll brings it back once a server appears.
    _hasVolumeOutput = volume.has_value();
    const QSignalBlocker blocker(_ui->_sldVolume);
    _ui->_sldVolume->setEnabled(_hasVolumeOutput);
    _ui->_sldVolume->setValue(volumePercent(volume.value_or(0.0f)));
    _ui->_txtVolumeValue->setText(volume ? volumeText(*volume) : noVolumeText());
    _ui->_sldVolume->setToolTip(volume ? QString() : tr("No sound output is available"));
}

void ControlsController::initVolumeValue()
{
    showVolume(defaultOutputVolume());
}

void ControlsController::volumeAction(QObject* sender)
{
    const float volume = static_cast<float>(integerValue(sender)) / static_cast<float>(kVolumeSliderSteps);
    _ui->_txtVolumeValue->setText(volumeText(volume));
    setOutputVolume(volume);
}

void ControlsController::setWindowVisible(bool visible)
{
    if (visible && !_volumeTimer.isActive())
        _volumeTimer.start();
    else if (!visible)
        _volumeTimer.stop();
}

void ControlsController::setFileName(const QString& name)
{
    _fileName = name;
    showFileName();
}

void ControlsController::showFileName()
{
    // A name longer than the LCD ends in an ellipsis; the whole name is the tooltip.
    QLabel* label = _ui->_txtName;
    const QString shown = label->fontMetrics().elidedText(_fileName, Qt::ElideRight, label->width());
    label->setText(shown);
    label->setToolTip(shown == _fileName ? QString() : _fileName);
}

void ControlsController::setCanPlay(bool can)
{
    _ui->_btnPlay->setEnabled(can);
}

bool ControlsController::canPlay() const
{
    return _ui->_btnPlay->isEnabled();
}

void ControlsController::setCanGotoNext(bool can)
{
    _ui->_btnNext->setEnabled(can);
}

bool ControlsController::canGotoNext() const
{
    return _ui->_btnNext->isEnabled();
}

void ControlsController::setCanGotoPrev(bool can)
{
    _ui->_btnPrevious->setEnabled(can);
}

bool ControlsController::canGotoPrev() const
{
    return _ui->_btnPrevious->isEnabled();
}

void ControlsController::refreshFrameCounter()
{
    // A movie without frames shows 0/0 rather than a frame it does not have.
    if (_totalFrames <= 0) {
        _ui->_txtFrames->setText(framesText(0, 0));
        return;
    }
    _ui->_txtFrames->setText(framesText(_ui->_sldProgress->value(), _ui->_sldProgress->maximum()));
}

void ControlsController::setTotalFrames(int total)
{
    QSlider* progress = _ui->_sldProgress;
    const QSignalBlocker blocker(progress);
    _totalFrames = std::max(total, 0);
    const bool hasFrames = _totalFrames > 0;
    progress->setEnabled(hasFrames);
    // The slider counts from 1; a movie that reports no frames keeps one position, disabled.
    progress->setRange(1, std::max(total, 1));
    refreshFrameCounter();
    _ui->_btnForward->setEnabled(hasFrames);
    _ui->_btnBack->setEnabled(hasFrames);
}

void ControlsController::setCurrentFrame(int frame)
{
    QSlider* progress = _ui->_sldProgress;
    {
        const QSignalBlocker blocker(progress);
        progress->setValue(frame);
    }
    refreshFrameCounter();
    if (_totalFrames <= 0) {
        _ui->_btnBack->setEnabled(false);
        _ui->_btnForward->setEnabled(false);
    } else if (frame == 1) {
        _ui->_btnBack->setEnabled(false);
    } else if (frame == progress->maximum()) {
        _ui->_btnForward->setEnabled(false);
    } else {
        _ui->_btnBack->setEnabled(true);
        _ui->_btnForward->setEnabled(true);
    }
}

void ControlsController::setPlayed(bool playing)
{
    _ui->_btnPlay->setChecked(playing);
    // What a screen reader announces for the button: what it does next.
    _ui->_btnPlay->setAccessibleName(playing ? tr("Pause") : tr("Play"));
    _ui->_btn1_1->setEnabled(true);
    _ui->_btnFit->setEnabled(true);
    _ui->_btnMove->setEnabled(true);
    _ui->_btnInfo->setEnabled(true);
}

void ControlsController::setDragState(bool on)
{
    _ui->_btnMove->setChecked(on);
}

void ControlsController::setImageInterpolation(int interpolation)
{
    _ui->_zoomView->setImageInteroplation(interpolation);
}

void ControlsController::setZoomPrecent(int percent)
{
    _ui->_sldZoom->setEnabled(true);
    _ui->_txtZoomValue->setText(zoomText(percent));
    const QSignalBlocker blocker(_ui->_sldZoom);
    _ui->_sldZoom->setValue(percent);
}

void ControlsController::setRepeatState(int mode)
{
    _ui->_btnRepeat->setState(mode == kRepeatItem ? NSImageButton::NSOnState
            : mode == kRepeatOnce                 ? NSImageButton::NSOffState
                                                  : NSImageButton::NSMixedState);
}

void ControlsController::setShuffleState(bool on)
{
    _ui->_btnShuffle->setChecked(on);
}

void ControlsController::expandWindow(bool animate)
{
    _zoomArea->expandWindow(animate);
    _ui->_btnExpand->setChecked(true);
}

void ControlsController::constrictWindow(bool animate)
{
    _zoomArea->constrictWindow(animate);
    _ui->_btnExpand->setChecked(false);
}

ZoomViewClient* ControlsController::zoomView() const
{
    return _ui->_zoomView;
}

void ControlsController::playAction(QObject* sender)
{
    if (_app)
        _app->playAction(sender);
}

void ControlsController::forwardAction(QObject* sender)
{
    if (_app)
        _app->forwardAction(sender);
}

void ControlsController::backAction(QObject* sender)
{
    if (_app)
        _app->backAction(sender);
}

void ControlsController::gotoFrameSliderAction(QObject* sender)
{
    if (_app)
        _app->gotoFrameSliderAction(sender);
    setCurrentFrame(integerValue(sender));
}

void ControlsController::nextAction(QObject* sender)
{
    if (_app)
        _app->nextAction(sender);
}

void ControlsController::previousAction(QObject* sender)
{
    if (_app)
        _app->previousAction(sender);
}

void ControlsController::repeatAction(QObject* sender)
{
    if (_app)
        _app->repeatAction(sender);
}

void ControlsController::shuffleAction(QObject* sender)
{
    if (_app)
        _app->shuffleAction(sender);
}

void ControlsController::zoomSliderAction(QObject* sender)
{
    _ui->_txtZoomValue->setText(zoomText(integerValue(sender)));
    if (_app)
        _app->zoomSliderAction(sender);
}

void ControlsController::setOriginalSizeAction(QObject* sender)
{
    if (_app)
        _app->setOriginalSizeAction(sender);
}

void ControlsController::setFitSize(QObject* sender)
{
    if (_app)
        _app->setFitSize(sender);
}

void ControlsController::startDragAction(QObject* sender)
{
    if (_app)
        _app->startDragAction(sender);
}

void ControlsController::showAboutAction(QObject* sender)
{
    if (_app)
        _app->showAboutAction(sender);
}

void ControlsController::showSWFInfoAction(QObject* sender)
{
    if (_app)
        _app->showSWFInfoAction(sender);
}

void ControlsController::showPlayListAction(QObject* sender)
{
    if (_app)
        _app->showPlayListAction(sender);
}

void ControlsController::expandControlsAction(QObject*)
{
    // A running animation stops and the other one starts from the current width.
    _zoomArea->toggle();
    _ui->_btnExpand->setChecked(_zoomArea->isExpanded());
}

bool ControlsController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == _ui->_boxZoom && event->type() == QEvent::Paint) {
        paintZoomBox();
        return false;
    }
    if (watched == _window.get()) {
        switch (event->type()) {
        case QEvent::Close:
            if (_app)
                _app->controlsWillClose();
            break;
        case QEvent::DragEnter:
            // Files dropped on the panel are welcome and ignored.
            static_cast<QDragEnterEvent*>(event)->acceptProposedAction();
            return true;
        case QEvent::Drop:
            static_cast<QDropEvent*>(event)->acceptProposedAction();
            return true;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
