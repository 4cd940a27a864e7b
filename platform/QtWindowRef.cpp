#include "QtWindowRef.h"

#include <QWidget>

namespace {

// Owns the record; a child of the window, so it goes when the window goes.
class WindowRefHolder : public QObject
{
public:
    explicit WindowRefHolder(QWidget* window)
        : QObject(window)
    {
        const QPoint origin = window->mapToGlobal(QPoint(0, 0));
        const Rect content
            = MakeRect(origin.x(), origin.y(), origin.x() + window->width(), origin.y() + window->height());
        if (CreateNewWindow(kDocumentWindowClass, kWindowNoAttributes, &content, &m_window) != noErr)
            m_window = nullptr;
    }
    ~WindowRefHolder() override { DisposeWindow(m_window); }
    WindowRefHolder(const WindowRefHolder&) = delete;
    WindowRefHolder& operator=(const WindowRefHolder&) = delete;

    WindowRef windowRef() const { return m_window; }

private:
    WindowRef m_window = nullptr;
};

} // namespace

WindowRef WindowRefForWidget(QWidget* widget)
{
    if (!widget)
        return nullptr;
    QWidget* window = widget->window();
    // The holder has no meta-object of its own, so Qt's casts cannot tell it from other children.
    WindowRefHolder* holder = nullptr;
    for (QObject* child : window->children()) {
        if ((holder = dynamic_cast<WindowRefHolder*>(child)))
            break;
    }
    if (!holder)
        holder = new WindowRefHolder(window); // owned by the window
    WindowRef ref = holder->windowRef();
    const QPoint origin = window->mapToGlobal(QPoint(0, 0));
    SizeWindow(ref, ClampToShort(window->width()), ClampToShort(window->height()), false);
    MoveWindow(ref, ClampToShort(origin.x()), ClampToShort(origin.y()), false);
    return ref;
}
