#include "EventRecordUtils.h"

#include "CarbonEvents.h"
#include "MacKeyCodes.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>

#include <cmath>

namespace {

constexpr char32_t kLatin1Last = 0xFF;
constexpr char32_t kFirstPrintable = 0x20;
constexpr char32_t kDeleteCharacter = 0x7F;
constexpr uint8_t kLossyReplacement = '?';

Point CurrentMouse()
{
    Point where {};
    GetGlobalMouse(&where);
    return where;
}

// The Cocoa button number of a mouse event is not 0 for anything but the primary button; a move reports the
// buttons held.
bool IsSecondaryButtonEvent(const QMouseEvent* event)
{
    if (event->type() == QEvent::MouseMove) {
        const Qt::MouseButtons held = event->buttons();
        return held != Qt::NoButton && !(held & Qt::LeftButton);
    }
    return event->button() != Qt::LeftButton && event->button() != Qt::NoButton;
}

} // namespace

Point EventRecordUtils::convertToPoint(const QPointF& screenPoint)
{
    auto truncated = [](double value) -> long long {
        if (!std::isfinite(value))
            return 0;
        return static_cast<long long>(std::clamp(value, double(INT16_MIN), double(INT16_MAX)));
    };
    return MakePoint(truncated(screenPoint.x()), truncated(screenPoint.y()));
}

uint8_t EventRecordUtils::keyCharacter(const QKeyEvent* event, bool lossy)
{
    const int key = event->key();
    if (const uint8_t special = MacCharCodeForQtKey(key))
        return special;
    // Ctrl and Meta turn letters into control characters in the event's text: take the key's own character.
    char32_t c = 0;
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).unicode() >= kFirstPrintable && text.at(0).unicode() != kDeleteCharacter)
        c = text.toUcs4().value(0);
    else if (key >= Qt::Key_A && key <= Qt::Key_Z)
        c = (event->modifiers() & Qt::ShiftModifier) ? char32_t(key) : char32_t(key - Qt::Key_A + 'a');
    else if (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde)
        c = char32_t(key);
    if (c <= kLatin1Last)
        return static_cast<uint8_t>(c);
    return lossy ? kLossyReplacement : 0;
}

uint32_t EventRecordUtils::keyMessage(const QKeyEvent* event)
{
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    return MakeKeyMessage(MacKeyCodeForQtKey(event->key(), keypad), keyCharacter(event, true));
}

void EventRecordUtils::convertEvent(const QEvent* event, EventRecord* record)
{
    if (!record)
        return;
    *record = EventRecord {};
    // Ticks on the same clock as the null events, so that a plug-in can compare the two.
    record->when = TickCount();
    record->where = CurrentMouse();
    if (!event)
        return;

    if (const auto* input = dynamic_cast<const QInputEvent*>(event))
        record->modifiers = MacModifiersFromQt(input->modifiers());

    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<const QMouseEvent*>(event);
        if (IsSecondaryButtonEvent(mouse))
            record->modifiers |= btnState;
        record->where = convertToPoint(mouse->globalPosition());
        if (event->type() == QEvent::MouseMove) {
            record->what = osEvt;
            record->message = kMouseMovedEventMessage;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            record->what = mouseUp;
        } else {
            record->what = mouseDown;
            if (mouse->button() == Qt::RightButton)
                record->modifiers |= controlKey;
        }
        break;
    }
    case QEvent::Enter: {
        record->what = osEvt;
        record->message = kMouseMovedEventMessage;
        if (const auto* enter = dynamic_cast<const QEnterEvent*>(event))
            record->where = convertToPoint(enter->globalPosition());
        break;
    }
    case QEvent::Leave:
        record->what = osEvt;
        record->message = kMouseMovedEventMessage;
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (event->type() == QEvent::KeyRelease)
            record->what = keyUp;
        else
            record->what = key->isAutoRepeat() ? autoKey : keyDown;
        record->message = keyMessage(key);
        break;
    }
    default:
        record->what = nullEvent;
        break;
    }
}
