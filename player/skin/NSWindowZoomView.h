// The resize grip of a skin window: shows the resize cursor and raises the process-wide inResize flag while the
// mouse is over it, and resizes its window when dragged (a frameless window has no frame to do it).
#pragma once

#include <QPoint>
#include <QSize>
#include <QWidget>

class NSWindowZoomView : public QWidget
{
    Q_OBJECT
public:
    explicit NSWindowZoomView(QWidget* parent = nullptr);

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QPoint _startPoint;
    QSize _startSize;
};
