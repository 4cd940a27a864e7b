// reelfinch-run MOVIE --frames N [--tick-ms MS] [--log-fetch]
// Plays a movie headless through the player's plug-in host for N frames (or N ticks of MS milliseconds, timers
// included) and prints each line its scripts trace to standard output, nothing else there. The movie's requests
// are answered from the files of its own folder; --log-fetch prints each request among the traced lines.
// Exit status: 0 the movie ran, 1 it could not be loaded, 2 a usage error.
#include "MovieRunner.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

int Usage()
{
    std::fprintf(stderr, "usage: reelfinch-run MOVIE --frames N [--tick-ms MS] [--log-fetch]\n");
    return kExitUsage;
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
        } else if (!arg.startsWith(QLatin1String("--")) && movie.isEmpty()) {
            movie = arg;
        } else {
            return Usage();
        }
    }
    if (movie.isEmpty() || !haveFrames)
        return Usage();

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
