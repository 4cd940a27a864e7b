// The skin button of the panels: draws nothing but one of its pictures, chosen by enabled state, button state
// (off, on, mixed) and whether it is pressed, and may take clicks only where a mask picture is opaque.
#pragma once

#include <QAbstractButton>
#include <QImage>

class NSImageButton : public QAbstractButton
{
    Q_OBJECT
public:
    // The button states; a button that allows the mixed state cycles on, off, mixed, on when clicked, so from
    // off it goes to mixed.
    enum State { NSMixedState = -1, NSOffState = 0, NSOnState = 1 };

    explicit NSImageButton(QWidget* parent = nullptr);

    // The normal picture and the one shown in the on state.
    void setImage(const QImage& image);
    QImage image() const { return _image; }
    void setAlternateImage(const QImage& image);
    QImage alternateImage() const { return _altImage; }

    void setHighlightedImage(const QImage& image);
    QImage highlightedImage() const { return _hImage; }
    void setAlternateHighlightedImage(const QImage& image);
    QImage alternateHighlightedImage() const { return _altHImage; }
    void setMixedImage(const QImage& image);
    QImage mixedImage() const { return _mImage; }
    void setMixedHighlightedImage(const QImage& image);
    QImage mixedHighlightedImage() const { return _mHImage; }
    void setDisabledImage(const QImage& image);
    QImage disabledImage() const { return _disabledImage; }

    // The mask's alpha decides where the button takes clicks: a pixel above 127 takes it. A picture without
    // alpha gives no mask; one with other than 8 bits per sample is refused with a log line.
    void setHitMask(const QImage& image);
    QImage hitMask() const { return _hitMask; }
    // Whether a point in the button's own coordinates takes a click.
    bool hitTestPoint(const QPointF& point) const;

    void setAllowsMixedState(bool allow) { _allowsMixed = allow; }
    bool allowsMixedState() const { return _allowsMixed; }
    void setState(int state);
    int state() const;
    // Sends its click repeatedly while held (frame steps).
    void setContinuous(bool continuous) { setAutoRepeat(continuous); }

    // The picture drawn now, and its opacity (0.5 for a disabled button without a disabled picture).
    QImage currentImage(qreal* opacity = nullptr) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
    void nextCheckState() override;
    void checkStateSet() override;

private:
    QImage _image;
    QImage _altImage;
    QImage _hImage;
    QImage _altHImage;
    QImage _mImage;
    QImage _mHImage;
    QImage _disabledImage;
    QImage _hitMask; // 8 bits per sample, alpha the last byte of each pixel
    bool _allowsMixed = false;
    bool _mixed = false;
};
