#include "NSBgImageView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

NSBgImageView::NSBgImageView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void NSBgImageView::setImage(const QImage& image)
{
    _image = image;
    update();
}

void NSBgImageView::setScalesImage(bool scales)
{
    _scales = scales;
    update();
}

void NSBgImageView::paintEvent(QPaintEvent*)
{
    if (_image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (_scales)
        painter.drawImage(QRectF(rect()), _image);
    else
        painter.drawImage(QPointF(0, 0), _image);
}

void NSBgImageView::mousePressEvent(QMouseEvent* event)
{
    // The desktop moves the window itself where it offers to (a Wayland desktop moves windows no other way);
    // elsewhere the window follows the mouse.
    QWindow* handle = window()->windowHandle();
    if (event->button() == Qt::LeftButton && handle && handle->startSystemMove())
        return;
    _dragOffset = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
}

void NSBgImageView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        window()->move(event->globalPosition().toPoint() - _dragOffset);
}
