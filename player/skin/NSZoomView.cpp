#include "NSZoomView.h"

#include "NSFlashPluginView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// The drawer's image interpolation choices.
constexpr int kInterpolationDefault = 0;
constexpr int kInterpolationNone = 1;
constexpr int kInterpolationLow = 2;
constexpr int kInterpolationHigh = 3;

// The snapshot scaled to `size` pixels as the interpolation choice says: none takes the nearest pixel, low
// blends the four nearest (bilinear), high averages every source pixel a target pixel covers, so fine detail
// turns to its mean tone instead of flickering. The default is the desktop's usual bilinear filter.
QImage scaledSnapshot(const QImage& snapshot, const QSize& size, int interpolation)
{
    if (size.isEmpty())
        return QImage();
    if (interpolation == kInterpolationHigh)
        return snapshot.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage scaled(size, QImage::Format_ARGB32_Premultiplied);
    scaled.fill(Qt::transparent);
    QPainter painter(&scaled);
    const bool smooth = interpolation == kInterpolationLow || interpolation == kInterpolationDefault;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    painter.drawImage(QRectF(QPointF(0, 0), QSizeF(size)), snapshot);
    return scaled;
}
const QColor kOutlineGray = QColor::fromRgbF(0.5f, 0.5f, 0.5f, 0.5f);

} // namespace

NSZoomView::NSZoomView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

NSZoomView::~NSZoomView() = default;

NSFlashPluginView* NSZoomView::flashView() const
{
    return _flashView;
}

void NSZoomView::setFlashView(NSFlashPluginView* view)
{
    _flashView = view;
    update();
}

void NSZoomView::setFlashImage(const QImage& snapshot)
{
    _image = QImage();
    if (snapshot.isNull() || width() <= 0 || height() <= 0) {
        update();
        return;
    }
    const qreal ratio = devicePixelRatioF();
    _image = QImage((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    _image.setDevicePixelRatio(ratio);
    _image.fill(Qt::transparent);
    // Fitted: the larger of the two ratios decides, the picture is centred in the other direction.
    const qreal scale = std::max(snapshot.width() / qreal(width()), snapshot.height() / qreal(height()));
    const QSizeF fitted(snapshot.width() / scale, snapshot.height() / scale);
    _imageRect = QRectF(QPointF((width() - fitted.width()) * 0.5, (height() - fitted.height()) * 0.5), fitted);
    // The picture is scaled once, to whole device pixels, then laid on the view without a second filtering.
    const QRectF pixels(_imageRect.topLeft() * ratio, _imageRect.size() * ratio);
    const QRect target = pixels.toAlignedRect();
    const QImage scaled = scaledSnapshot(snapshot, target.size(), _imageInterpolation);
    QPainter painter(&_image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.scale(1.0 / ratio, 1.0 / ratio);
    painter.drawImage(target.topLeft(), scaled);
    painter.end();
    update();
}

void NSZoomView::updateZoomRectFromView()
{
    if (!_flashView)
        return;
    _original = _flashView->originalRect();
    _current = _flashView->currentRect();
    const qreal ow = std::abs(qreal(_original.right) - _original.left);
    const qreal oh = std::abs(qreal(_original.bottom) - _original.top);
    if (ow <= 0 || oh <= 0)
        return;
    const qreal cw = std::abs(qreal(_current.right) - _current.left);
    const qreal ch = std::abs(qreal(_current.bottom) - _current.top);
    const QRectF& i = _imageRect;
    // The movie and this view both measure down from the top.
    _zoomRect = QRectF(i.x() + i.width() * (_current.left - _original.left) / ow,
        i.y() + i.height() * (_current.top - _original.top) / oh, i.width() * cw / ow, i.height() * ch / oh);
}

void NSZoomView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!_flashView || _image.isNull())
        return;
    painter.drawImage(QRectF(rect()), _image);
    updateZoomRectFromView();
    // Both rectangles in one even-odd path: the picture outside the outline is dimmed, both edges drawn.
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    path.addRect(_imageRect);
    path.addRect(_imageRect.intersected(_zoomRect));
    painter.setPen(QPen(kOutlineGray, 1.0));
    painter.setBrush(kOutlineGray);
    painter.drawPath(path);
}

QPointF NSZoomView::heldInsidePicture(QPointF origin) const
{
    const QRectF& i = _imageRect;
    const QSizeF size = _zoomRect.size();
    // Right and bottom first, then left and top: an outline larger than the picture ends at its left and bottom.
    if (origin.x() + size.width() > i.right())
        origin.setX(i.right() - size.width());
    if (origin.y() < i.top())
        origin.setY(i.top());
    if (origin.x() < i.left())
        origin.setX(i.left());
    if (origin.y() + size.height() > i.bottom())
        origin.setY(i.bottom() - size.height());
    return origin;
}

void NSZoomView::mousePressEvent(QMouseEvent* event)
{
    const QPointF p = event->position();
    _prevPoint = p;
    if (!_imageRect.contains(p) || _zoomRect.contains(p))
        return;
    // The outline glides until it is centred on the click, as far as the picture allows.
    _neededPoint = heldInsidePicture(p - QPointF(_zoomRect.width() / 2, _zoomRect.height() / 2));
    stopGlide();
    _zoomRectMoveTimer = std::make_unique<QTimer>();
    connect(_zoomRectMoveTimer.get(), &QTimer::timeout, this, &NSZoomView::zoomRectMoveAction);
    _zoomRectMoveTimer->start(kGlideIntervalMs);
}

void NSZoomView::zoomRectMoveAction()
{
    const qreal dx = (_neededPoint.x() - _zoomRect.x()) / kGlideDivisor;
    const qreal dy = (_neededPoint.y() - _zoomRect.y()) / kGlideDivisor;
    if (std::abs(dx) < 1 && std::abs(dy) < 1) {
        _zoomRect.moveTopLeft(_neededPoint);
        stopGlide();
    } else {
        _zoomRect.translate(dx, dy);
    }
    updateZoomRect();
    update();
}

void NSZoomView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const QPointF p = event->position();
    if (!_imageRect.contains(p))
        return;
    stopGlide();
    _zoomRect.moveTopLeft(heldInsidePicture(_zoomRect.topLeft() + (p - _prevPoint)));
    updateZoomRect();
    update();
    _prevPoint = p;
}

void NSZoomView::stopGlide()
{
    // The timer may be the one whose signal is being delivered now: let Qt delete it afterwards.
    if (QTimer* timer = _zoomRectMoveTimer.release()) {
        timer->stop();
        timer->deleteLater();
    }
}

QRectF NSZoomView::zoomFractions() const
{
    const QRectF& i = _imageRect;
    const QRectF& z = _zoomRect;
    if (i.width() <= 0 || i.height() <= 0)
        return QRectF();
    return QRectF(
        (z.x() - i.x()) / i.width(), (z.y() - i.y()) / i.height(), z.width() / i.width(), z.height() / i.height());
}

void NSZoomView::updateZoomRect()
{
    if (_flashView && !_imageRect.isEmpty())
        _flashView->displayZoomRect(zoomFractions());
}
