#include "PreferencesController.h"

#include "ControlValues.h"
#include "PlayerController.h"
#include "ui_PreferencesWindow.h"

#include <QDialog>

PreferencesController::PreferencesController(QWidget* sheetParent)
    : _window(new QDialog(sheetParent))
    , _ui(std::make_unique<Ui::PreferencesWindow>())
{
    _ui->setupUi(_window);
    // A sheet: modal to the movie window only.
    _window->setWindowModality(sheetParent ? Qt::WindowModal : Qt::ApplicationModal);
    connect(_ui->_frameTime, &QSlider::valueChanged, this, [this] { timeAction(_ui->_frameTime); });
    connect(_ui->_frameSec, &QAbstractButton::toggled, this, [this] { stayAction(_ui->_frameSec); });
    connect(_ui->_allowURL, &QAbstractButton::toggled, this, [this] { allowURLAction(_ui->_allowURL); });
    connect(_ui->_btnOK, &QAbstractButton::clicked, this, [this] { okAction(_ui->_btnOK); });
    connect(_ui->_btnCancel, &QAbstractButton::clicked, this, [this] { cancelAction(_ui->_btnCancel); });
}

PreferencesController::~PreferencesController()
{
    delete _window.data();
}

void PreferencesController::setImageInterpolation(int index)
{
    _ui->_interpolation->setCurrentIndex(index);
}

int PreferencesController::imageInterpolation() const
{
    return _ui->_interpolation->currentIndex();
}

void PreferencesController::setImageUpdateSpeed(int speed)
{
    _ui->_updateSpeed->setValue(speed);
}

int PreferencesController::imageUpdateSpeed() const
{
    return _ui->_updateSpeed->value();
}

void PreferencesController::setQuality(int quality)
{
    _ui->_flashQuality->setCurrentIndex(quality);
}

int PreferencesController::quality() const
{
    return _ui->_flashQuality->currentIndex();
}

void PreferencesController::setEnableSecurity(bool on)
{
    _ui->_enableSecurity->setChecked(on);
}

bool PreferencesController::enableSecurity() const
{
    return _ui->_enableSecurity->isChecked();
}

void PreferencesController::setAllowURL(bool on)
{
    _ui->_allowURL->setChecked(on);
    allowURLAction(_ui->_allowURL);
}

bool PreferencesController::allowURL() const
{
    return _ui->_allowURL->isChecked();
}

void PreferencesController::setIfLastFrame(bool on)
{
    _ui->_lastFrame->setChecked(on);
}

bool PreferencesController::ifLastFrame() const
{
    return _ui->_lastFrame->isChecked();
}

void PreferencesController::setIfDecreaseFrame(bool on)
{
    _ui->_frameDecrease->setChecked(on);
}

bool PreferencesController::ifDecreaseFrame() const
{
    return _ui->_frameDecrease->isChecked();
}

void PreferencesController::setIfOneFrame(bool on)
{
    _ui->_frameSec->setChecked(on);
    stayAction(_ui->_frameSec);
}

bool PreferencesController::ifOneFrame() const
{
    return _ui->_frameSec->isChecked();
}

void PreferencesController::setIfOneFrameTime(int seconds)
{
    _ui->_frameTime->setValue(seconds);
    timeAction(_ui->_frameTime);
}

int PreferencesController::ifOneFrameTime() const
{
    return _ui->_frameTime->value();
}

void PreferencesController::setAutoPlay(bool on)
{
    _ui->_btnAutoPlay->setChecked(on);
}

bool PreferencesController::autoPlay() const
{
    return _ui->_btnAutoPlay->isChecked();
}

void PreferencesController::timeAction(QObject* sender)
{
    _ui->_txtTime->setText(tr("%1 sec").arg(integerValue(sender)));
}

void PreferencesController::stayAction(QObject* sender)
{
    _ui->_frameTime->setEnabled(buttonState(sender) == kButtonStateOn);
}

void PreferencesController::allowURLAction(QObject* sender)
{
    _ui->_enableSecurity->setEnabled(buttonState(sender) == kButtonStateOn);
}

void PreferencesController::okAction(QObject*)
{
    _window->done(kReturnOK);
}

void PreferencesController::cancelAction(QObject*)
{
    _window->done(kReturnCancel);
}
