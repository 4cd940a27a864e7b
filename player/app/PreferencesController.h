// PreferencesController: the preferences sheet. It holds no values of its own: the player controller writes
// them into the controls before the sheet shows and reads them back from the controls when it ends.
#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <memory>

class QWidget;

namespace Ui {
class PreferencesWindow;
}

class PreferencesController : public QObject
{
    Q_OBJECT
public:
    explicit PreferencesController(QWidget* sheetParent = nullptr);
    ~PreferencesController() override;

    QDialog* window() const { return _window; }
    Ui::PreferencesWindow& ui() const { return *_ui; }

    void setImageInterpolation(int index);
    int imageInterpolation() const;
    void setImageUpdateSpeed(int speed);
    int imageUpdateSpeed() const;
    void setQuality(int quality);
    int quality() const;
    void setEnableSecurity(bool on);
    bool enableSecurity() const;
    void setAllowURL(bool on);
    bool allowURL() const;
    void setIfLastFrame(bool on);
    bool ifLastFrame() const;
    void setIfDecreaseFrame(bool on);
    bool ifDecreaseFrame() const;
    void setIfOneFrame(bool on);
    bool ifOneFrame() const;
    void setIfOneFrameTime(int seconds);
    int ifOneFrameTime() const;
    void setAutoPlay(bool on);
    bool autoPlay() const;

    void timeAction(QObject* sender);
    void stayAction(QObject* sender);
    void allowURLAction(QObject* sender);
    void okAction(QObject* sender);
    void cancelAction(QObject* sender);

private:
    // Owned; the window the sheet is attached to deletes it too if it goes first.
    QPointer<QDialog> _window;
    std::unique_ptr<Ui::PreferencesWindow> _ui;
};
