#include "NSImageWindow.h"

#include <QMouseEvent>
#include <QWindow>

namespace {

// Only the textured-background look: no title bar, no close, minimise or resize controls.
constexpr Qt::WindowFlags kFrameFlags = Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
    | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint;

// A plain window, or a utility window (a floating panel, kept out of the task bar) when that was asked for; the
// kind has no frame controls of its own.
Qt::WindowFlags skinWindowFlags(Qt::WindowFlags asked)
{
    const Qt::WindowFlags kind = (asked & Qt::WindowType_Mask) == Qt::Tool ? Qt::Tool : Qt::Window;
    return (asked & ~(kFrameFlags | Qt::WindowType_Mask)) | kind | Qt::FramelessWindowHint;
}

} // namespace

NSImageWindow::NSImageWindow(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, skinWindowFlags(flags))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
}

void NSImageWindow::setCanBecomeKeyWindow(bool canBecomeKey)
{
    _canBecomeKey = canBecomeKey;
    setWindowFlag(Qt::WindowDoesNotAcceptFocus, !canBecomeKey);
    setAttribute(Qt::WA_ShowWithoutActivating, !canBecomeKey);
}

void NSImageWindow::mousePressEvent(QMouseEvent* event)
{
    emit mouseDownAction(event);
    // The desktop moves the window itself where it offers to (a Wayland desktop moves windows no other way);
    // elsewhere the window follows the mouse. A delegate may have closed the window on the press.
    QWindow* handle = windowHandle();
    if (event->button() == Qt::LeftButton && isVisible() && handle && handle->startSystemMove())
        return;
    if (event->button() == Qt::LeftButton) {
        _dragging = true;
        _dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    }
}

void NSImageWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (_dragging && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - _dragOffset);
}

void NSImageWindow::mouseReleaseEvent(QMouseEvent*)
{
    _dragging = false;
}
