#include "CursorAdditions.h"

bool inResize = false;

const QCursor& canDragCursor()
{
    static const QCursor cursor(Qt::OpenHandCursor);
    return cursor;
}

const QCursor& dragCursor()
{
    static const QCursor cursor(Qt::ClosedHandCursor);
    return cursor;
}

const QCursor& resizeCursor()
{
    static const QCursor cursor(Qt::SizeFDiagCursor);
    return cursor;
}
