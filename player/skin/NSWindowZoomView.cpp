#include "NSWindowZoomView.h"

#include "CursorAdditions.h"

#include <QMouseEvent>
#include <QWindow>

NSWindowZoomView::NSWindowZoomView(QWidget* parent)
    : QWidget(parent)
{
    setCursor(resizeCursor());
    setAttribute(Qt::WA_TranslucentBackground);
}

void NSWindowZoomView::placeInCorner()
{
    if (QWidget* parent = parentWidget()) {
        setGeometry(parent->width() - kSide, parent->height() - kSide, kSide, kSide);
        raise();
    }
}

void NSWindowZoomView::enterEvent(QEnterEvent*)
{
    inResize = true;
}

void NSWindowZoomView::leaveEvent(QEvent*)
{
    inResize = false;
}

void NSWindowZoomView::mousePressEvent(QMouseEvent* event)
{
    _startPoint = event->globalPosition().toPoint();
    _startSize = window()->size();
    // The window manager resizes the window when it can (its own feedback and size rules); otherwise the drag
    // below does.
    QWindow* handle = window()->windowHandle();
    _systemResize
        = event->button() == Qt::LeftButton && handle && handle->startSystemResize(Qt::BottomEdge | Qt::RightEdge);
}

void NSWindowZoomView::mouseMoveEvent(QMouseEvent* event)
{
    if (_systemResize || !(event->buttons() & Qt::LeftButton))
        return;
    const QPoint moved = event->globalPosition().toPoint() - _startPoint;
    window()->resize(_startSize + QSize(moved.x(), moved.y()));
}

void NSWindowZoomView::paintEvent(QPaintEvent*)
{
    // The grip's picture is part of the window's background.
}
