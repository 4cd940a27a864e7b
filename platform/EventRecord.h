// The classic Mac OS event record, which the movie plug-in takes through NPP_HandleEvent, with the event codes
// and modifier bits of the published interface and the three extra codes the plug-in API adds.
#pragma once

#include "QuickDrawTypes.h"

#include <cstdint>

using EventKind = uint16_t;
using EventModifiers = uint16_t;

struct EventRecord {
    EventKind what;
    uint32_t message;
    uint32_t when; // ticks of 1/60 second
    Point where; // global screen coordinates, top-down
    EventModifiers modifiers;
};

// Event codes.
inline constexpr EventKind nullEvent = 0;
inline constexpr EventKind mouseDown = 1;
inline constexpr EventKind mouseUp = 2;
inline constexpr EventKind keyDown = 3;
inline constexpr EventKind keyUp = 4;
inline constexpr EventKind autoKey = 5;
inline constexpr EventKind updateEvt = 6;
inline constexpr EventKind diskEvt = 7;
inline constexpr EventKind activateEvt = 8;
inline constexpr EventKind osEvt = 15;
inline constexpr EventKind kHighLevelEvent = 23;
// Codes the plug-in API adds above the operating-system event.
inline constexpr EventKind getFocusEvent = osEvt + 16;
inline constexpr EventKind loseFocusEvent = osEvt + 17;
inline constexpr EventKind adjustCursorEvent = osEvt + 18;

// Operating-system events carry their kind in the message's top byte.
inline constexpr uint32_t osEvtMessageMask = 0xFF000000u;
inline constexpr uint32_t mouseMovedMessage = 0xFA;
inline constexpr uint32_t suspendResumeMessage = 0x01;
inline constexpr int osEvtMessageShift = 24;
inline constexpr uint32_t kMouseMovedEventMessage = mouseMovedMessage << osEvtMessageShift;

// Keyboard events: the character code in the low byte, the virtual key code in the next.
inline constexpr uint32_t charCodeMask = 0x000000FFu;
inline constexpr uint32_t keyCodeMask = 0x0000FF00u;
inline constexpr int keyCodeShift = 8;

inline constexpr uint32_t MakeKeyMessage(uint8_t keyCode, uint8_t charCode)
{
    return (static_cast<uint32_t>(keyCode) << keyCodeShift) | charCode;
}

// Modifier bits. btnState is set while the mouse button is up.
inline constexpr EventModifiers activeFlag = 0x0001;
inline constexpr EventModifiers btnState = 0x0080;
inline constexpr EventModifiers cmdKey = 0x0100;
inline constexpr EventModifiers shiftKey = 0x0200;
inline constexpr EventModifiers alphaLock = 0x0400;
inline constexpr EventModifiers optionKey = 0x0800;
inline constexpr EventModifiers controlKey = 0x1000;
