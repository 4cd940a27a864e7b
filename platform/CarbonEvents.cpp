#include "CarbonEvents.h"

#include "MacKeyCodes.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>

#include <chrono>

namespace {

constexpr int kTicksPerSecond = 60;

// Taken when the library is initialised, which is as the process starts.
const auto processStart = std::chrono::steady_clock::now();

} // namespace

uint32_t TickCount()
{
    using Ticks = std::chrono::duration<long long, std::ratio<1, kTicksPerSecond>>;
    const auto elapsed = std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now() - processStart);
    return static_cast<uint32_t>(elapsed.count()); // wraps after 2.2 years, as the tick count always has
}

void GetGlobalMouse(Point* globalMouse)
{
    if (!globalMouse)
        return;
    const QPoint pos = QCursor::pos();
    *globalMouse = MakePoint(pos.x(), pos.y());
}

uint32_t GetCurrentKeyModifiers()
{
    if (!QGuiApplication::instance())
        return 0;
    return MacModifiersFromQt(QGuiApplication::queryKeyboardModifiers());
}

bool Button()
{
    return QGuiApplication::instance() && (QGuiApplication::mouseButtons() & Qt::LeftButton);
}

OSStatus GetMenuTrackingData(MenuRef, MenuTrackingData* outData)
{
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu)
        return menuNotFoundErr;
    if (outData) {
        *outData = MenuTrackingData {};
        outData->menu = reinterpret_cast<MenuRef>(menu);
    }
    return noErr;
}

OSStatus SetUserFocusWindow(WindowRef)
{
    return noErr;
}
