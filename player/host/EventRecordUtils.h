// Qt input events to classic Mac event records, the form the movie plug-in takes its input in.
#pragma once

#include "EventRecord.h"

#include <QPointF>

#include <cstdint>

class QEvent;
class QKeyEvent;

class EventRecordUtils
{
public:
    // Fills the record from a Qt event: mouse presses and releases, moves and drags, entering and leaving, key
    // presses and releases. Any other event gives a null event at the current mouse position.
    static void convertEvent(const QEvent* event, EventRecord* record);
    // A global screen point (top-down) as a QuickDraw point, each coordinate truncated and clamped to 16 bits.
    static Point convertToPoint(const QPointF& screenPoint);
    // The character a key types when no modifier but Shift applies, as one Latin-1 byte; characters outside
    // Latin-1 give '?' when lossy, 0 otherwise. Keys that type nothing give their classic character code or 0.
    static uint8_t keyCharacter(const QKeyEvent* event, bool lossy);
    // The key's virtual key code shifted left 8, or-ed with its character (lossy).
    static uint32_t keyMessage(const QKeyEvent* event);
};
