#include "CursorAdditions.h"

#include "SkinImages.h"

#include <QPixmap>

bool inResize = false;

namespace {

// Every cursor's hot spot lies in the middle of its 16-pixel picture.
constexpr int kHotSpot = 8;

// The named skin picture as a cursor; the stock shape stands in when the picture is missing.
QCursor skinCursor(const char* name, Qt::CursorShape fallback)
{
    const QImage image = skinImage(QString::fromLatin1(name));
    if (image.isNull())
        return QCursor(fallback);
    // The hot spot is in device-independent pixels, as the pixmap carries its device pixel ratio.
    return QCursor(QPixmap::fromImage(image), kHotSpot, kHotSpot);
}

} // namespace

const QCursor& canDragCursor()
{
    static const QCursor cursor = skinCursor("open_hand", Qt::OpenHandCursor);
    return cursor;
}

const QCursor& dragCursor()
{
    static const QCursor cursor = skinCursor("closed_hand", Qt::ClosedHandCursor);
    return cursor;
}

const QCursor& resizeCursor()
{
    static const QCursor cursor = skinCursor("resize", Qt::SizeFDiagCursor);
    return cursor;
}
