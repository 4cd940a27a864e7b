#include "NSImageSlider.h"

#include "SkinImages.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>
#include <cmath>

qreal NSImageSliderCell::knobThickness(qreal platformThickness) const
{
    return m_imgKnob.isNull() ? platformThickness : skinImageSize(m_imgKnob).width();
}

QRectF NSImageSliderCell::knobRect(QRectF knob, qreal platformThickness, qreal viewHeight, bool flipped) const
{
    knob.moveTop(std::max<qreal>(knob.y(), 0));
    knob.moveLeft(std::max<qreal>(knob.x(), 0));
    if (m_imgKnob.isNull())
        return knob;
    const QSizeF size = skinImageSize(m_imgKnob);
    // The picture is centred where the platform's knob is centred.
    const qreal center = knob.x() + platformThickness / 2;
    const qreal x = center - knobThickness(platformThickness) / 2;
    const qreal y = flipped ? viewHeight - size.height() - m_fBottomKnobOffset - 1.0 : m_fBottomKnobOffset + 1.0;
    return QRectF(QPointF(x, y), size);
}

NSImageSliderCell::TrackPieces NSImageSliderCell::trackPieces(
    const QRectF& track, qreal platformThickness, bool flipped) const
{
    TrackPieces pieces;
    if (!hasTrackImages())
        return pieces;
    // Inset by half a knob at each end, so the knob's centre reaches the ends of the visible track.
    const qreal thickness = knobThickness(platformThickness);
    const qreal half = thickness / 2;
    const QSizeF left = skinImageSize(m_imgLeft);
    const QSizeF right = skinImageSize(m_imgRight);
    const QSizeF center = skinImageSize(m_imgCenter);
    const qreal capY = flipped ? track.height() - left.height() - m_fBottomBgOffset : m_fBottomBgOffset;
    const qreal centerY = flipped ? track.height() - right.height() - m_fBottomBgOffset : m_fBottomBgOffset;
    pieces.left = QRectF(QPointF(track.x() + half, capY), left);
    pieces.right = QRectF(QPointF(track.width() - right.width() - half, capY), right);
    pieces.center = QRectF(track.x() + half + left.width(), centerY,
        track.width() - (thickness + left.width() + right.width()), center.height());
    return pieces;
}

NSImageSlider::NSImageSlider(QWidget* parent)
    : QSlider(Qt::Horizontal, parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TranslucentBackground);
}

void NSImageSlider::setKnobImage(const QImage& image)
{
    _cell.setKnobImage(image);
    update();
}

void NSImageSlider::setCenterImage(const QImage& image)
{
    _cell.setCenterImage(image);
    update();
}

void NSImageSlider::setLeftImage(const QImage& image)
{
    _cell.setLeftImage(image);
    update();
}

void NSImageSlider::setRightImage(const QImage& image)
{
    _cell.setRightImage(image);
    update();
}

void NSImageSlider::setBottomKnobOffset(float offset)
{
    _cell.setBottomKnobOffset(offset);
    update();
}

void NSImageSlider::setBottomBgOffset(float offset)
{
    _cell.setBottomBgOffset(offset);
    update();
}

void NSImageSlider::setValueScale(int scale)
{
    if (scale < 1 || scale == _scale)
        return;
    const double low = minValue();
    const double high = maxValue();
    const double now = doubleValue();
    _scale = scale;
    setRange(int(std::lround(low * _scale)), int(std::lround(high * _scale)));
    setDoubleValue(now);
}

void NSImageSlider::setMinValue(double value)
{
    setMinimum(int(std::lround(value * _scale)));
}

void NSImageSlider::setMaxValue(double value)
{
    setMaximum(int(std::lround(value * _scale)));
}

void NSImageSlider::setDoubleValue(double value)
{
    setValue(int(std::lround(value * _scale)));
}

qreal NSImageSlider::platformKnobThickness() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->pixelMetric(QStyle::PM_SliderLength, &option, this);
}

QRectF NSImageSlider::platformKnobRect() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return QRectF(style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this));
}

QRectF NSImageSlider::knobRect() const
{
    return _cell.knobRect(platformKnobRect(), platformKnobThickness(), height(), true);
}

QSize NSImageSlider::sizeHint() const
{
    if (_cell.hasTrackImages()) {
        const qreal height = std::max(skinImageSize(_cell.leftImage()).height() + _cell.bottomBgOffset(),
            skinImageSize(_cell.knobImage()).height() + _cell.bottomKnobOffset() + 1);
        return QSize(100, int(std::ceil(height)));
    }
    return QSlider::sizeHint();
}

QSize NSImageSlider::minimumSizeHint() const
{
    return QSize(20, sizeHint().height());
}

void NSImageSlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QStyleOptionSlider option;
    initStyleOption(&option);
    if (_cell.hasTrackImages()) {
        const auto pieces = _cell.trackPieces(QRectF(rect()), platformKnobThickness(), true);
        painter.drawImage(pieces.left, _cell.leftImage());
        painter.drawImage(pieces.center, _cell.centerImage());
        painter.drawImage(pieces.right, _cell.rightImage());
    } else {
        option.subControls = QStyle::SC_SliderGroove;
        style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
    }
    if (_cell.knobImage().isNull()) {
        initStyleOption(&option);
        option.subControls = QStyle::SC_SliderHandle;
        style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
    } else if (_cell.m_bDraw) {
        if (!isEnabled())
            painter.setOpacity(0.5);
        painter.drawImage(knobRect(), _cell.knobImage());
    }
}

void NSImageSlider::mousePressEvent(QMouseEvent* event)
{
    // A press on the track puts the knob under the mouse and goes on dragging from there.
    if (event->button() == Qt::LeftButton && !platformKnobRect().contains(event->position())) {
        const qreal half = platformKnobThickness() / 2;
        const int span = std::max(1, width() - int(2 * half));
        const int position
            = QStyle::sliderValueFromPosition(minimum(), maximum(), int(event->position().x() - half), span);
        setSliderPosition(position);
        triggerAction(SliderMove);
    }
    QSlider::mousePressEvent(event);
}
