// What an action's sender carries: a slider's integer value, a button's state, a menu item's tag. Senders are
// the standard Qt controls or any control that offers the same as a "value" or "state" property.
#pragma once

#include <optional>

class QObject;

// The integer value of a slider (a frame number, a zoom percentage); 0 when the sender has none.
int integerValue(const QObject* sender);

// The state of a button: 1 on, 0 off, -1 mixed (a three-state button part-way).
inline constexpr int kButtonStateMixed = -1;
inline constexpr int kButtonStateOff = 0;
inline constexpr int kButtonStateOn = 1;
int buttonState(const QObject* sender);

// The tag of a menu item; none when the sender is not a menu item.
std::optional<int> menuTag(const QObject* sender);
