// Plays a movie headless through the player's own plug-in host (the same path as reelfinch-export): a movie view
// in an offscreen window loads the plug-in bundle, receives the movie, and is driven by null events on a steady
// clock, frame by frame or tick by tick; each line the movie's scripts trace is handed to the caller.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace reelfinch::runner {

// Input the run feeds the movie through the host's event path, after a given frame has played.
struct InputEvent {
    // TextInput: `charCode` is a code point typed without a key of its own; EditCommand: the host's Edit menu
    // command whose Command key `charCode` is ('v' paste, 'a' select all, 'c' copy, 'x' cut); SetClipboard: the
    // host's clipboard takes `text`; Composition: the input method composes `text` (empty: nothing any more).
    enum Kind { MouseMove, MouseDown, MouseUp, KeyDown, KeyUp, FocusGained, FocusLost, TextInput, EditCommand,
        SetClipboard, Composition } kind = MouseMove;
    int afterFrame = 1; // sent once this many frames (or ticks) have played, the first included
    double x = 0; // the mouse on the stage, in pixels
    double y = 0;
    bool otherButton = false; // MouseDown, MouseUp: a button other than the main one (the middle one)
    int macKey = 0; // keys: the Mac virtual key code and the character typed
    int charCode = 0;
    QString text; // SetClipboard, Composition
    int caret = -1; // Composition: the caret in `text`, in UTF-16 units; negative: none shown
};

// A key by the name of the corpus' input lists ("Enter", "ArrowLeft", a single character...); false for names
// not known.
bool KeyByName(const std::string& name, InputEvent& event);

struct RunOptions {
    int frames = 1; // frames played, the first included; or ticks when tickMs > 0
    double tickMs = 0; // 0: one tick per frame of the movie's rate
    double budgetSeconds = 0; // 0: no limit; else the run stops sending events when it is used up
    bool logFetch = false; // each request of the movie is printed among the traced lines
    std::vector<InputEvent> input; // in order
    // The view's size in pixels, which is also the screen the movie is told of; 0: the stage's size (and the
    // desktop's screen).
    int viewportWidth = 0;
    int viewportHeight = 0;
    int quality = -1; // drawing quality (0 low, 1 medium, 2 high); -1: the view's own
    QImage* picture = nullptr; // when set, receives what the view shows once the run is over
};

// The movie's requests are answered from the files of its own folder (and folders below it) only: nothing
// reaches the network or the desktop. A web URL names the file HOST/PATH of that folder. `LogRequest` gives the lines --log-fetch prints for one request.
QStringList LogRequest(const QString& url, const QByteArray& target, bool hasTarget, bool post,
    const QByteArray& contentType, const QByteArray& body);
// The lines --log-fetch prints for a connection the movie opens (XMLSocket).
QStringList LogSocket(const QString& host, int32_t port);
// The file of `movieFolder` (or below it) a request's URL names: a relative path or a file URL; empty otherwise.
QString RequestedFile(const QString& movieFolder, const QString& url);

enum class RunResult { Ran, NotLoaded };

// Needs a QApplication. `onTrace` receives each traced line; `error` says why a movie did not load.
RunResult RunMovie(const QString& moviePath, const RunOptions& options,
    const std::function<void(const QString&)>& onTrace, QString* error = nullptr);

} // namespace reelfinch::runner
