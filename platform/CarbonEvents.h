// The Carbon event-state calls the plug-in host makes, answered from Qt's view of the desktop.
#pragma once

#include "EventRecord.h"
#include "QuickDraw.h"

#include <cstdint>

struct OpaqueMenuRef;
using MenuRef = OpaqueMenuRef*;
using MenuItemIndex = uint16_t;
using MenuID = int16_t;

struct MenuTrackingData {
    MenuRef menu;
    MenuItemIndex itemSelected;
    MenuItemIndex itemUnderMouse;
    Rect itemRect;
    int32_t virtualMenuID;
};

inline constexpr OSStatus menuNotFoundErr = -5620;

// Ticks of 1/60 second since the process started.
uint32_t TickCount();
// The mouse position in global screen coordinates (top-down), clamped to 16 bits.
void GetGlobalMouse(Point* globalMouse);
// The keyboard modifiers held now, as event-record modifier bits (Ctrl gives cmdKey, Meta controlKey, Alt
// optionKey, Shift shiftKey).
uint32_t GetCurrentKeyModifiers();
// Whether the primary mouse button is down.
bool Button();
// Succeeds while a popup menu is open, naming it in `outData->menu` (`inMenu` is ignored); otherwise
// menuNotFoundErr.
OSStatus GetMenuTrackingData(MenuRef inMenu, MenuTrackingData* outData);
// Keyboard focus follows Qt's own; nothing to do.
OSStatus SetUserFocusWindow(WindowRef window);
