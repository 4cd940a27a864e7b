// Qt keys to the Mac's virtual key codes and classic character codes, so that a plug-in written for Mac event
// records sees the codes it expects (the X key is 7, Return 0x24, the left arrow 0x7B with character 0x1C).
// Mac key codes name positions on the US keyboard; a Qt key names the symbol, so the table maps each symbol to
// the key that carries it there, shifted symbols included (Qt::Key_Exclam is the 1 key).
#pragma once

#include "EventRecord.h"

#include <Qt>

#include <cstdint>

// The code given to keys the Mac keyboard does not have. Mac key codes end at 0x7F.
inline constexpr uint8_t kUnknownMacKeyCode = 0xFF;

// The virtual key code of a Qt key; `keypad` picks the numeric keypad's keys for digits and operators.
uint8_t MacKeyCodeForQtKey(int qtKey, bool keypad);
// The classic character code of a key that types no text (arrows, Home, function keys...), or 0 when the key
// has none or types its own text.
uint8_t MacCharCodeForQtKey(int qtKey);
// Qt keyboard modifiers as event-record modifier bits: Ctrl gives cmdKey (the shortcut key here), Meta
// controlKey, Alt optionKey, Shift shiftKey.
EventModifiers MacModifiersFromQt(Qt::KeyboardModifiers modifiers);
