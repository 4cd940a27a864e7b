// reelfinch-run MOVIE --frames N [--tick-ms MS] [--log-fetch] [--click X,Y@FRAME]... [--key KEY@FRAME]...
// Plays a movie headless through the player's plug-in host for N frames (or N ticks of MS milliseconds, timers
// included) and prints each line its scripts trace to standard output, nothing else there. A click (the mouse
// moved to X,Y of the stage in pixels, pressed and released) or a key (a Windows key code, or a name such as
// Enter or ArrowLeft, or one character) is sent after FRAME frames have played. The movie's requests are
// answered from the files of its own folder; --log-fetch prints each request among the traced lines.
// Exit status: 0 the movie ran, 1 it could not be loaded, 2 a usage error.
#include "MovieRunner.h"

#include <QApplication>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

int Usage()
{
    std::fprintf(stderr,
        "usage: reelfinch-run MOVIE --frames N [--tick-ms MS] [--log-fetch] [--click X,Y@FRAME]... [--key KEY@FRAME]...\n");
    return kExitUsage;
}

// "--click X,Y@FRAME" and "--key KEY@FRAME" as input events; false when the value does not read.
bool ParseInput(const QString& option, const QString& value, std::vector<reelfinch::runner::InputEvent>& input)
{
    using reelfinch::runner::InputEvent;
    const qsizetype at = value.lastIndexOf(QLatin1Char('@'));
    if (at <= 0)
        return false;
    bool ok = false;
    const int frame = value.mid(at + 1).toInt(&ok);
    if (!ok || frame < 1)
        return false;
    const QString what = value.left(at);
    InputEvent event;
    event.afterFrame = frame;
    if (option == QLatin1String("--click")) {
        const QStringList xy = what.split(QLatin1Char(','));
        bool okX = false;
        bool okY = false;
        if (xy.size() != 2)
            return false;
        event.x = xy[0].toDouble(&okX);
        event.y = xy[1].toDouble(&okY);
        if (!okX || !okY || !std::isfinite(event.x) || !std::isfinite(event.y))
            return false;
        for (auto kind : { InputEvent::MouseMove, InputEvent::MouseDown, InputEvent::MouseUp }) {
            event.kind = kind;
            input.push_back(event);
        }
        return true;
    }
    // A number is a Windows key code: letters and digits type themselves, the others go by their names.
    const int code = what.toInt(&ok);
    std::string name = what.toStdString();
    if (ok && what.size() > 1) {
        static constexpr std::pair<int, const char*> kCodes[] = { { 13, "Enter" }, { 9, "Tab" }, { 32, "Space" },
            { 8, "Backspace" }, { 27, "Escape" }, { 16, "LeftShift" }, { 17, "LeftControl" }, { 46, "Delete" },
            { 45, "Insert" }, { 36, "Home" }, { 35, "End" }, { 33, "PageUp" }, { 34, "PageDown" },
            { 37, "ArrowLeft" }, { 39, "ArrowRight" }, { 38, "ArrowUp" }, { 40, "ArrowDown" } };
        name.clear();
        for (const auto& [known, keyName] : kCodes)
            if (known == code)
                name = keyName;
        if (name.empty() && ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9')))
            name = std::string(1, char(code >= 'A' && code <= 'Z' ? code - 'A' + 'a' : code));
    }
    if (!reelfinch::runner::KeyByName(name, event))
        return false;
    event.kind = InputEvent::KeyDown;
    input.push_back(event);
    event.kind = InputEvent::KeyUp;
    input.push_back(event);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();

    QString movie;
    reelfinch::runner::RunOptions options;
    bool haveFrames = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--frames") && hasValue) {
            bool ok = false;
            options.frames = args.at(++i).toInt(&ok);
            if (!ok || options.frames < 1)
                return Usage();
            haveFrames = true;
        } else if (arg == QLatin1String("--tick-ms") && hasValue) {
            bool ok = false;
            options.tickMs = args.at(++i).toDouble(&ok);
            if (!ok || !(options.tickMs > 0) || options.tickMs > 3600000)
                return Usage();
        } else if (arg == QLatin1String("--log-fetch")) {
            options.logFetch = true;
        } else if ((arg == QLatin1String("--click") || arg == QLatin1String("--key")) && hasValue) {
            if (!ParseInput(arg, args.at(++i), options.input))
                return Usage();
        } else if (!arg.startsWith(QLatin1String("--")) && movie.isEmpty()) {
            movie = arg;
        } else {
            return Usage();
        }
    }
    if (movie.isEmpty() || !haveFrames)
        return Usage();
    // Input goes out in frame order; events given for the same frame keep the order they were given in.
    std::stable_sort(options.input.begin(), options.input.end(),
        [](const auto& a, const auto& b) { return a.afterFrame < b.afterFrame; });

    QString error;
    const auto result = reelfinch::runner::RunMovie(movie, options, [](const QString& line) {
        const QByteArray text = line.toUtf8();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        std::fputc('\n', stdout);
    }, &error);
    std::fflush(stdout);
    if (result != reelfinch::runner::RunResult::Ran) {
        std::fprintf(stderr, "reelfinch-run: %s: %s\n", qPrintable(movie), qPrintable(error));
        return kExitFailure;
    }
    return 0;
}
