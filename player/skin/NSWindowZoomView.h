// The resize grip in a window's bottom-right corner: shows the resize cursor and raises the process-wide inResize
// flag while the mouse is over it, so the movie under it does not set a cursor of its own, and resizes its window
// when dragged. The movie window has one over the corner of its movie view.
#pragma once

#include <QPoint>
#include <QSize>
#include <QWidget>

class NSWindowZoomView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kSide = 16;

    explicit NSWindowZoomView(QWidget* parent = nullptr);
    // Keeps the grip in its parent's bottom-right corner, above its siblings.
    void placeInCorner();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPoint _startPoint;
    QSize _startSize;
    bool _systemResize = false;
};
