#include "NSHiperLink.h"

#include <QDesktopServices>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

namespace {

const QColor kLinkBlue(0, 0, 255);
constexpr qreal kUnderlineInset = 2.0;

} // namespace

NSHiperLink::NSHiperLink(QWidget* parent)
    : QLabel(parent)
    , _clrHilited(kLinkBlue)
    , _clrNormal(kLinkBlue)
{
    openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setTextFormat(Qt::PlainText);
    setTextColor(_clrNormal);
}

void NSHiperLink::setHilitedColor(const QColor& color)
{
    _clrHilited = color;
    if (_mouseOver)
        setTextColor(_clrHilited);
}

void NSHiperLink::setNormalColor(const QColor& color)
{
    _clrNormal = color;
    setTextColor(_clrNormal);
}

QColor NSHiperLink::textColor() const
{
    return palette().color(QPalette::WindowText);
}

QString NSHiperLink::addressToOpen() const
{
    return _strURL.isEmpty() ? text() : _strURL;
}

void NSHiperLink::setTextColor(const QColor& color)
{
    QPalette colors = palette();
    colors.setColor(QPalette::WindowText, color);
    setPalette(colors);
}

void NSHiperLink::enterEvent(QEnterEvent*)
{
    _mouseOver = true;
    setTextColor(_clrHilited);
    update();
}

void NSHiperLink::leaveEvent(QEvent*)
{
    _mouseOver = false;
    setTextColor(_clrNormal);
    update();
}

void NSHiperLink::mousePressEvent(QMouseEvent* event)
{
    // No selection or editing starts.
    event->accept();
}

void NSHiperLink::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (openUrl)
        openUrl(QUrl::fromUserInput(addressToOpen()));
}

void NSHiperLink::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!_mouseOver)
        return;
    // A crisp one-pixel underline under the text, along the bottom edge.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(_clrHilited, 1.0));
    const qreal textWidth = QFontMetricsF(font()).horizontalAdvance(text());
    const QRect area = contentsRect();
    const qreal left = area.x() + (alignment() & Qt::AlignHCenter ? (area.width() - textWidth) / 2 : 0)
        + (alignment() & Qt::AlignRight ? area.width() - textWidth : 0);
    const qreal y = area.bottom();
    painter.drawLine(QPointF(left + kUnderlineInset, y), QPointF(left + kUnderlineInset + textWidth, y));
}
