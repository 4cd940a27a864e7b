// The LCD strip behind the controls panel's texts: a left cap, a centre piece stretched across and a right cap.
#pragma once

#include <QImage>
#include <QRectF>
#include <QWidget>

class NSLCDView : public QWidget
{
    Q_OBJECT
public:
    explicit NSLCDView(QWidget* parent = nullptr);

    // Setting a picture does not redraw the view.
    void setLeftImage(const QImage& image) { m_imgLeft = image; }
    QImage leftImage() const { return m_imgLeft; }
    void setCenterImage(const QImage& image) { m_imgCenter = image; }
    QImage centerImage() const { return m_imgCenter; }
    void setRightImage(const QImage& image) { m_imgRight = image; }
    QImage rightImage() const { return m_imgRight; }

    struct Pieces {
        QRectF left;
        QRectF center;
        QRectF right;
    };
    // Where the three pieces go, bottom-aligned and never stretched vertically; nothing (empty rectangles)
    // unless all three pictures are set.
    Pieces pieces() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_imgCenter;
    QImage m_imgLeft;
    QImage m_imgRight;
};
