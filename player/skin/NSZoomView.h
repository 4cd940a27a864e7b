// The zoom drawer's view: the latest snapshot of the whole movie fitted into the view, everything outside the
// part the movie window shows dimmed, and that part outlined. Dragging the outline, or clicking elsewhere in the
// picture (the outline then glides to the click), pans the movie view.
#pragma once

#include "ZoomViewClient.h"
#include "npapi.h"

#include <QImage>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QWidget>

#include <memory>

class QTimer;

class NSZoomView : public QWidget, public ZoomViewClient
{
    Q_OBJECT
public:
    static constexpr int kGlideIntervalMs = 100;
    static constexpr qreal kGlideDivisor = 5.0; // each glide step covers a fifth of the remaining distance

    explicit NSZoomView(QWidget* parent = nullptr);
    ~NSZoomView() override;

    // ZoomViewClient
    void setFlashImage(const QImage& image) override;
    void setFlashView(NSFlashPluginView* view) override;
    void setNeedsDisplay() override { update(); }

    NSFlashPluginView* flashView() const;
    // How a snapshot is scaled: 0 default (bilinear), 1 none (nearest pixel), 2 low (bilinear), 3 high (area
    // average). Takes effect from the next snapshot.
    void setImageInteroplation(int interpolation) { _imageInterpolation = interpolation; }
    int imageInterpolation() const { return _imageInterpolation; }

    // Where the snapshot sits in the view, and the outline (both top-down).
    QRectF imageRect() const { return _imageRect; }
    QRectF zoomRect() const { return _zoomRect; }
    QImage image() const { return _image; }
    // The outline from the movie view's rectangles now.
    void updateZoomRectFromView();
    bool isGliding() const { return _zoomRectMoveTimer != nullptr; }
    QPointF neededPoint() const { return _neededPoint; }
    // One glide step (the glide timer's action).
    void zoomRectMoveAction();
    // The outline as fractions of the picture, y from its top, as the movie view takes them.
    QRectF zoomFractions() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void updateZoomRect();
    void stopGlide();
    QPointF heldInsidePicture(QPointF origin) const;

    QImage _image;
    QRectF _imageRect;
    QRectF _zoomRect;
    _NPSignedRect _original {};
    _NPSignedRect _current {};
    std::unique_ptr<QTimer> _zoomRectMoveTimer;
    QPointF _neededPoint;
    QPointF _prevPoint;
    QPointer<NSFlashPluginView> _flashView;
    int _imageInterpolation = 0;
};
