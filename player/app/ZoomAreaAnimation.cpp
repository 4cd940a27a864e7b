#include "ZoomAreaAnimation.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

ZoomAreaAnimation::ZoomAreaAnimation(QWidget* window, QWidget* box, QWidget* zoomView, QObject* parent)
    : QObject(parent)
    , _window(window)
    , _box(box)
    , _zoomView(zoomView)
{ }

ZoomAreaAnimation::~ZoomAreaAnimation() = default;

QRect ZoomAreaAnimation::keptOnScreen(QRect frame)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return frame;
    const int screenWidth = screen->geometry().width();
    if (screenWidth - (frame.x() + frame.width()) < 0)
        frame.moveLeft(screenWidth - frame.width());
    return frame;
}

void ZoomAreaAnimation::setBoxWidth(int width)
{
    if (_box)
        _box->resize(std::max(width, 0), _box->height());
}

void ZoomAreaAnimation::moveZoomViewX(int x)
{
    if (_zoomView)
        _zoomView->move(x, _zoomView->y());
}

int ZoomAreaAnimation::zoomViewX() const
{
    return _zoomView ? _zoomView->x() : 0;
}

void ZoomAreaAnimation::stopTimer()
{
    // The timer may be the one whose signal is being delivered now: let Qt delete it afterwards.
    if (QTimer* timer = _resizeTimer.release()) {
        timer->stop();
        timer->deleteLater();
    }
}

void ZoomAreaAnimation::startTimer(int intervalMs, void (ZoomAreaAnimation::*step)())
{
    stopTimer();
    _resizeTimer = std::make_unique<QTimer>();
    connect(_resizeTimer.get(), &QTimer::timeout, this, step);
    _resizeTimer->start(intervalMs);
}

void ZoomAreaAnimation::toggle()
{
    stopTimer();
    if (_isExpanded)
        constrictWindow(true);
    else
        expandWindow(true);
}

void ZoomAreaAnimation::expandWindow(bool animate)
{
    emit expandControls();
    _isExpanded = true;
    if (animate) {
        startTimer(kExpandIntervalMs, &ZoomAreaAnimation::expandAction);
        return;
    }
    moveZoomViewX(0);
    setBoxWidth(kBoxOpenWidth);
    if (_window) {
        QRect frame = _window->geometry();
        frame.setWidth(kExpandedWidth);
        _window->setGeometry(keptOnScreen(frame));
    }
}

void ZoomAreaAnimation::expandAction()
{
    if (!_window) {
        stopTimer();
        return;
    }
    moveZoomViewX(zoomViewX() + kStep);
    setBoxWidth((_box ? _box->width() : 0) + kStep);
    QRect frame = _window->geometry();
    frame.setWidth(frame.width() + kStep);
    if (frame.width() > kExpandedWidth) {
        // The last step: the full width, its right edge kept on the screen (measured at the final width, so a
        // panel pushed left by the overshooting step still ends at the screen's edge).
        moveZoomViewX(0);
        setBoxWidth(kBoxOpenWidth);
        frame.setWidth(kExpandedWidth);
        _window->setGeometry(keptOnScreen(frame));
        stopTimer();
        return;
    }
    _window->setGeometry(keptOnScreen(frame));
}

void ZoomAreaAnimation::constrictWindow(bool animate)
{
    _isExpanded = false;
    if (animate) {
        startTimer(kConstrictIntervalMs, &ZoomAreaAnimation::constrictAction);
        return;
    }
    moveZoomViewX(_zoomView ? -_zoomView->width() : 0);
    setBoxWidth(kBoxClosedWidth);
    if (_window) {
        QRect frame = _window->geometry();
        frame.setWidth(kConstrictedWidth);
        _window->setGeometry(frame);
    }
}

void ZoomAreaAnimation::constrictAction()
{
    if (!_window) {
        stopTimer();
        return;
    }
    moveZoomViewX(zoomViewX() - kStep);
    setBoxWidth((_box ? _box->width() : 0) - kStep);
    QRect frame = _window->geometry();
    frame.setWidth(frame.width() - kStep);
    if (frame.width() >= kConstrictedWidth) {
        _window->setGeometry(frame);
        return;
    }
    moveZoomViewX(_zoomView ? -_zoomView->width() : 0);
    setBoxWidth(kBoxClosedWidth);
    frame.setWidth(kConstrictedWidth);
    _window->setGeometry(frame);
    stopTimer();
    emit constrictControls();
}

int volumePercent(float volume)
{
    return static_cast<int>(volume * 100.0f);
}
