// A picture by which its window can be dragged: the skin windows' background.
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>

class NSBgImageView : public QWidget
{
    Q_OBJECT
public:
    explicit NSBgImageView(QWidget* parent = nullptr);

    void setImage(const QImage& image);
    QImage image() const { return _image; }
    // Whether the picture is stretched to the view (else drawn at its own size at the top left).
    void setScalesImage(bool scales);
    bool mouseDownCanMoveWindow() const { return true; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QImage _image;
    bool _scales = true;
    QPoint _dragOffset;
};
