#include "NSImageButton.h"

#include "SkinImages.h"

#include <QPainter>
#include <QPixelFormat>

#include <cmath>

namespace {

constexpr int kMaskBitsPerSample = 8;
constexpr int kOpaqueAlphaThreshold = 127; // a mask pixel above this takes the click
constexpr qreal kDisabledOpacity = 0.5;

} // namespace

NSImageButton::NSImageButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TranslucentBackground);
}

void NSImageButton::setImage(const QImage& image)
{
    _image = image;
    updateGeometry();
    update();
}

void NSImageButton::setAlternateImage(const QImage& image)
{
    _altImage = image;
    update();
}

void NSImageButton::setHighlightedImage(const QImage& image)
{
    _hImage = image;
    update();
}

void NSImageButton::setAlternateHighlightedImage(const QImage& image)
{
    _altHImage = image;
    update();
}

void NSImageButton::setMixedImage(const QImage& image)
{
    _mImage = image;
    update();
}

void NSImageButton::setMixedHighlightedImage(const QImage& image)
{
    _mHImage = image;
    update();
}

void NSImageButton::setDisabledImage(const QImage& image)
{
    _disabledImage = image;
    update();
}

void NSImageButton::setHitMask(const QImage& image)
{
    _hitMask = QImage();
    if (image.isNull() || !image.hasAlphaChannel())
        return;
    const QPixelFormat format = image.pixelFormat();
    const int bitsPerPixel = image.depth();
    const int samplesPerPixel = format.colorModel() == QPixelFormat::Indexed ? 1 : int(format.channelCount());
    if (samplesPerPixel == 0 || bitsPerPixel / samplesPerPixel != kMaskBitsPerSample) {
        qWarning("Bits per Pixel/Samples per Pixel != 8: %i/%i", bitsPerPixel, samplesPerPixel);
        return;
    }
    // One layout whatever the picture's: four bytes a pixel with the alpha last, not premultiplied.
    _hitMask = image.convertToFormat(QImage::Format_RGBA8888);
}

bool NSImageButton::hitTestPoint(const QPointF& point) const
{
    // Minimum edges belong to the button, maximum edges do not.
    if (point.x() < 0 || point.y() < 0 || point.x() >= width() || point.y() >= height())
        return false;
    if (_hitMask.isNull())
        return true;
    // Row 0 of the mask is the top of the button, as is row 0 of the drawn picture.
    const qreal ratio = _hitMask.devicePixelRatio();
    const long row = long(std::trunc(point.y() * ratio));
    const long column = long(std::trunc(point.x() * ratio));
    if (row >= _hitMask.height() || column >= _hitMask.width())
        return false;
    constexpr int kBytesPerPixel = 4;
    constexpr int kAlphaByte = 3;
    const uchar* pixel = _hitMask.constScanLine(int(row)) + column * kBytesPerPixel;
    return pixel[kAlphaByte] > kOpaqueAlphaThreshold;
}

bool NSImageButton::hitButton(const QPoint& pos) const
{
    return hitTestPoint(QPointF(pos));
}

void NSImageButton::setState(int state)
{
    const bool mixed = state == NSMixedState && _allowsMixed;
    const bool on = state == NSOnState || (state == NSMixedState && !_allowsMixed);
    if (on && !isCheckable())
        setCheckable(true);
    _mixed = false;
    setChecked(on);
    _mixed = mixed;
    update();
}

int NSImageButton::state() const
{
    if (_mixed)
        return NSMixedState;
    return isChecked() ? NSOnState : NSOffState;
}

void NSImageButton::nextCheckState()
{
    // The platform's three-state order: on, off, mixed (when allowed), on again.
    if (!_allowsMixed) {
        QAbstractButton::nextCheckState();
        return;
    }
    const int now = state();
    setState(now == NSOnState ? NSOffState : now == NSOffState ? NSMixedState : NSOnState);
}

void NSImageButton::checkStateSet()
{
    _mixed = false;
}

QImage NSImageButton::currentImage(qreal* opacity) const
{
    qreal alpha = 1.0;
    QImage chosen;
    if (isEnabled()) {
        const bool pressed = isDown();
        // Without an alternate picture the button shows its off pictures whatever its state.
        const int current = _altImage.isNull() ? NSOffState : state();
        if (current == NSOnState)
            chosen = pressed && !_altHImage.isNull() ? _altHImage : _altImage;
        else if (current == NSMixedState)
            chosen = pressed && !_mHImage.isNull() ? _mHImage : _mImage;
        else
            chosen = pressed && !_hImage.isNull() ? _hImage : _image;
    } else if (!_disabledImage.isNull()) {
        chosen = _disabledImage;
    } else {
        chosen = _image;
        alpha = kDisabledOpacity;
    }
    if (chosen.isNull())
        chosen = _image;
    if (opacity)
        *opacity = alpha;
    return chosen;
}

QSize NSImageButton::sizeHint() const
{
    if (_image.isNull())
        return QSize(16, 16);
    return skinImageSize(_image).toSize();
}

void NSImageButton::paintEvent(QPaintEvent*)
{
    qreal opacity = 1.0;
    const QImage chosen = currentImage(&opacity);
    if (chosen.isNull())
        return;
    // At its own size with its top-left corner at the button's, not scaled to the bounds.
    QPainter painter(this);
    painter.setOpacity(opacity);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(QPointF(0, 0), chosen);
}
