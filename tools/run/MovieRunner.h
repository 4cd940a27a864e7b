// Plays a movie headless through the player's own plug-in host (the same path as reelfinch-export): a movie view
// in an offscreen window loads the plug-in bundle, receives the movie, and is driven by null events on a steady
// clock, frame by frame or tick by tick; each line the movie's scripts trace is handed to the caller.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace reelfinch::runner {

struct RunOptions {
    int frames = 1; // frames played, the first included; or ticks when tickMs > 0
    double tickMs = 0; // 0: one tick per frame of the movie's rate
    double budgetSeconds = 0; // 0: no limit; else the run stops sending events when it is used up
    bool logFetch = false; // each request of the movie is printed among the traced lines
};

// The movie's requests are answered from the files of its own folder (and folders below it) only: nothing
// reaches the network or the desktop. `LogRequest` gives the lines --log-fetch prints for one request.
QStringList LogRequest(const QString& url, const QByteArray& target, bool hasTarget, bool post,
    const QByteArray& contentType, const QByteArray& body);
// The file of `movieFolder` (or below it) a request's URL names: a relative path or a file URL; empty otherwise.
QString RequestedFile(const QString& movieFolder, const QString& url);

enum class RunResult { Ran, NotLoaded };

// Needs a QApplication. `onTrace` receives each traced line; `error` says why a movie did not load.
RunResult RunMovie(const QString& moviePath, const RunOptions& options,
    const std::function<void(const QString&)>& onTrace, QString* error = nullptr);

} // namespace reelfinch::runner
