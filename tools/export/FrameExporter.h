// Draws one frame of a movie through the player's own plug-in host: a movie view in an offscreen window loads
// the plug-in bundle, receives the movie exactly as the player hands it over, plays it frame by frame with null
// events on a steady clock, and gives back its picture.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace reelfinch::exporter {

struct ExportOptions {
    int frame = 1; // frames played, counted from 1: 1 is the movie's first frame
    QSize size; // empty: the movie's frame size in pixels
    int quality = 2; // 0 low, 1 medium, 2 high
};

// The plug-in bundle the exporter loads: the player's own choice among the application's resources when it
// exists, else the bundle of the build tree.
QString PluginBundlePath();

// Needs a QApplication. Returns a null image and sets `error` when the movie cannot be read or the plug-in
// cannot be loaded.
QImage ExportFrame(const QString& moviePath, const ExportOptions& options, QString* error = nullptr);

// The sound the movie plays over `frames` frames (0: its whole timeline once), written to `wavPath` as 44.1 kHz
// 16-bit stereo, frame by frame on the movie's own clock: the same file on every run, no sound server needed.
bool ExportAudio(const QString& moviePath, const QString& wavPath, int frames, QString* error = nullptr);

} // namespace reelfinch::exporter
