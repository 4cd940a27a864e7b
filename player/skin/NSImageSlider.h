// The skin slider of the controls panel: a horizontal slider whose track is drawn from three pictures (left cap,
// stretched centre, right cap) and whose knob is a picture, both placed at set distances from the slider's
// bottom. Values are doubles over a range; the slider keeps them in steps of 1/valueScale.
#pragma once

#include <QImage>
#include <QRectF>
#include <QSlider>

// The drawing rules of an image slider: where the knob and the track pieces go.
class NSImageSliderCell
{
public:
    QImage knobImage() const { return m_imgKnob; }
    void setKnobImage(const QImage& image) { m_imgKnob = image; }
    QImage centerImage() const { return m_imgCenter; }
    void setCenterImage(const QImage& image) { m_imgCenter = image; }
    QImage leftImage() const { return m_imgLeft; }
    void setLeftImage(const QImage& image) { m_imgLeft = image; }
    QImage rightImage() const { return m_imgRight; }
    void setRightImage(const QImage& image) { m_imgRight = image; }
    float bottomKnobOffset() const { return m_fBottomKnobOffset; }
    void setBottomKnobOffset(float offset) { m_fBottomKnobOffset = offset; }
    float bottomBgOffset() const { return m_fBottomBgOffset; }
    void setBottomBgOffset(float offset) { m_fBottomBgOffset = offset; }

    bool hasTrackImages() const { return !m_imgLeft.isNull() && !m_imgCenter.isNull() && !m_imgRight.isNull(); }
    // The knob picture's width, else the platform's knob thickness.
    qreal knobThickness(qreal platformThickness) const;
    // The knob's rectangle from the platform's one, in a view of the given height (flipped: y runs downward).
    QRectF knobRect(QRectF platformKnob, qreal platformThickness, qreal viewHeight, bool flipped) const;

    struct TrackPieces {
        QRectF left;
        QRectF center;
        QRectF right;
    };
    // The three track pieces inside the track rectangle.
    TrackPieces trackPieces(const QRectF& track, qreal platformThickness, bool flipped) const;

private:
    bool m_bDraw = true;
    QImage m_imgKnob;
    QImage m_imgCenter;
    QImage m_imgLeft;
    QImage m_imgRight;
    float m_fBottomKnobOffset = 0.0f;
    float m_fBottomBgOffset = 0.0f;

    friend class NSImageSlider;
};

class NSImageSlider : public QSlider
{
    Q_OBJECT
public:
    explicit NSImageSlider(QWidget* parent = nullptr);

    NSImageSliderCell& cell() { return _cell; }
    const NSImageSliderCell& cell() const { return _cell; }

    QImage knobImage() const { return _cell.knobImage(); }
    void setKnobImage(const QImage& image);
    QImage centerImage() const { return _cell.centerImage(); }
    void setCenterImage(const QImage& image);
    QImage leftImage() const { return _cell.leftImage(); }
    void setLeftImage(const QImage& image);
    QImage rightImage() const { return _cell.rightImage(); }
    void setRightImage(const QImage& image);
    float bottomKnobOffset() const { return _cell.bottomKnobOffset(); }
    void setBottomKnobOffset(float offset);
    float bottomBgOffset() const { return _cell.bottomBgOffset(); }
    void setBottomBgOffset(float offset);

    // Values as doubles: the integer slider counts steps of 1/valueScale (1 for frames and percentages, 100 for a
    // volume between 0.0 and 1.0 in hundredths).
    void setValueScale(int scale);
    int valueScale() const { return _scale; }
    void setMinValue(double value);
    double minValue() const { return double(minimum()) / _scale; }
    void setMaxValue(double value);
    double maxValue() const { return double(maximum()) / _scale; }
    void setDoubleValue(double value);
    double doubleValue() const { return double(value()) / _scale; }
    float floatValue() const { return float(doubleValue()); }
    int intValue() const { return int(doubleValue()); }
    // Whether moving the knob sends the action at once or only on release.
    void setContinuous(bool continuous) { setTracking(continuous); }

    // The platform's knob thickness and its knob rectangle for the current value.
    qreal platformKnobThickness() const;
    QRectF platformKnobRect() const;
    // Where the knob is drawn now.
    QRectF knobRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    NSImageSliderCell _cell;
    int _scale = 1;
};
