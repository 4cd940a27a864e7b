#include "NSWindowZoomView.h"

#include "CursorAdditions.h"

#include <QMouseEvent>

NSWindowZoomView::NSWindowZoomView(QWidget* parent)
    : QWidget(parent)
{
    setCursor(resizeCursor());
    setAttribute(Qt::WA_TranslucentBackground);
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
}

void NSWindowZoomView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const QPoint moved = event->globalPosition().toPoint() - _startPoint;
    window()->resize(_startSize + QSize(moved.x(), moved.y()));
}

void NSWindowZoomView::paintEvent(QPaintEvent*)
{
    // The grip's picture is part of the window's background.
}
