// The cursors the movie view and the resize grips share, and the flag a grip raises while the mouse is over it so
// that the movie does not override the grip's cursor.
#pragma once

#include <QCursor>

// Set while the mouse is over a skin window's resize grip.
extern bool inResize;

// The open hand (the movie can be dragged), the closed hand (it is being dragged) and the resize cursor, drawn
// from the skin's pictures of those names with the hot spot at (8, 8); made on first use and the same cursor
// afterwards. Needs a QGuiApplication.
const QCursor& canDragCursor();
const QCursor& dragCursor();
const QCursor& resizeCursor();
