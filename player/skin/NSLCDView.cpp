#include "NSLCDView.h"

#include "SkinImages.h"

#include <QPainter>

NSLCDView::NSLCDView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

NSLCDView::Pieces NSLCDView::pieces() const
{
    Pieces pieces;
    if (m_imgLeft.isNull() || m_imgCenter.isNull() || m_imgRight.isNull())
        return pieces;
    const QSizeF left = skinImageSize(m_imgLeft);
    const QSizeF center = skinImageSize(m_imgCenter);
    const QSizeF right = skinImageSize(m_imgRight);
    const qreal bottom = height();
    pieces.left = QRectF(QPointF(0, bottom - left.height()), left);
    pieces.center
        = QRectF(left.width(), bottom - center.height(), width() - left.width() - right.width(), center.height());
    pieces.right = QRectF(QPointF(width() - right.width(), bottom - right.height()), right);
    return pieces;
}

void NSLCDView::paintEvent(QPaintEvent*)
{
    const Pieces parts = pieces();
    if (parts.left.isEmpty())
        return;
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(parts.left, m_imgLeft);
    painter.drawImage(parts.center, m_imgCenter);
    painter.drawImage(parts.right, m_imgRight);
}
