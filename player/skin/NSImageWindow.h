// The window of the skinned panels: no title bar and no frame controls whatever was asked for, a see-through
// background so the window's shape is whatever its views paint, moved by dragging its background.
#pragma once

#include <QPoint>
#include <QWidget>

class NSImageWindow : public QWidget
{
    Q_OBJECT
public:
    explicit NSImageWindow(QWidget* parent = nullptr, Qt::WindowFlags flags = {});

    // A window that can't become key never takes the keyboard focus from the others (the controls panel).
    bool canBecomeKeyWindow() const { return _canBecomeKey; }
    void setCanBecomeKeyWindow(bool canBecomeKey);

signals:
    // A press on the window's background, for the window's delegate (the About window closes on it).
    void mouseDownAction(QMouseEvent* event);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool _canBecomeKey = true;
    QPoint _dragOffset;
    bool _dragging = false;
};
