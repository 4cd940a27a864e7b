// The skin's pictures: SVG files in the resources' skin folder, looked up by name and rendered at the device
// pixel ratio they are shown at, so they stay crisp on high-density screens.
#pragma once

#include <QImage>
#include <QString>

// The folder the skin's SVG files are read from: REELFINCH_RESOURCES/skin, else share/reelfinch/skin beside the
// executable's bin/, else the source tree's resources/skin (development builds).
QString skinFolder();

// The named picture ("play_on", "lcd_left") rendered at its own size in device-independent pixels times the
// device pixel ratio (0: the application's). A name without a file gives a null image. Rendered pictures are kept
// for the life of the process.
QImage skinImage(const QString& name, qreal devicePixelRatio = 0);

// The size of a picture in device-independent pixels (its pixel size divided by its device pixel ratio).
QSizeF skinImageSize(const QImage& image);
