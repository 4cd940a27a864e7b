// Pictures of a movie's frame for Save Frame as Picture. At the movie's own size the frame is drawn by
// reelfinch-export, in a process of its own: a second plug-in instance in the player's process would share the
// plug-in's process-wide state with the movie that plays, and the exporter's picture is the reference anyway.
#pragma once

#include <QString>

// The exporter program: beside the player's executable (installed), else the build tree's.
QString exportProgram();

// Writes frame `frame` (counted from 1) of the movie file at its own size to `pngPath`, at quality 0-2; true when
// the exporter wrote it within the time allowed.
bool writeOwnSizeFrame(const QString& moviePath, int frame, int quality, const QString& pngPath);
