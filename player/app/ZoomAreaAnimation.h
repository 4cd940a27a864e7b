// The controls panel's zoom area: the panel widens to the right from 337 to 467 to reveal the zoom drawer's view
// and narrows back, in steps of 30 on a timer, or at once. Only the window's width changes, except that an
// opening panel whose right edge would pass the main screen's width moves left to stay on it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>

class QTimer;

class ZoomAreaAnimation : public QObject
{
    Q_OBJECT
public:
    static constexpr int kConstrictedWidth = 337;
    static constexpr int kExpandedWidth = 467;
    static constexpr int kBoxClosedWidth = 0;
    static constexpr int kBoxOpenWidth = 132;
    static constexpr int kStep = 30;
    static constexpr int kExpandIntervalMs = 10;
    static constexpr int kConstrictIntervalMs = 30;

    // The panel's window, the box of the zoom area and the drawer's view inside it; the box and view may be null.
    ZoomAreaAnimation(QWidget* window, QWidget* box, QWidget* zoomView, QObject* parent = nullptr);
    ~ZoomAreaAnimation() override;

    // Opening tells expandControls() before anything moves; an animated closing tells constrictControls() when
    // it ends. The flag is set first, so a toggle in the middle reverses from the current width.
    void expandWindow(bool animate);
    void constrictWindow(bool animate);
    // The expand button: stops a running animation and goes the other way.
    void toggle();

    bool isExpanded() const { return _isExpanded; }
    void setExpanded(bool expanded) { _isExpanded = expanded; }
    bool isAnimating() const { return _resizeTimer != nullptr; }

    // One step of each animation (the timer's actions).
    void expandAction();
    void constrictAction();

signals:
    void expandControls();
    void constrictControls();

private:
    void stopTimer();
    void startTimer(int intervalMs, void (ZoomAreaAnimation::*step)());
    void setBoxWidth(int width);
    void moveZoomViewX(int x);
    int zoomViewX() const;
    // Keeps the right edge on the main screen (its width only, not its origin).
    static QRect keptOnScreen(QRect frame);

    QPointer<QWidget> _window;
    QPointer<QWidget> _box;
    QPointer<QWidget> _zoomView;
    bool _isExpanded = true;
    std::unique_ptr<QTimer> _resizeTimer;
};

// The percentage an output volume shows: the single-precision product truncated toward zero (0.999 shows 99).
int volumePercent(float volume);
