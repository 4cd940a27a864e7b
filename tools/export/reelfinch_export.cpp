// reelfinch-export MOVIE --frame N --out FILE.png [--size WxH] [--quality low|medium|high]
// reelfinch-export MOVIE --audio OUT.wav [--frames N]
// Plays a movie through the player's plug-in host in an offscreen window and writes the picture of frame N, or
// the sound of its first N frames (its whole timeline by default).
#include "FrameExporter.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

int Usage()
{
    std::fprintf(stderr,
        "usage: reelfinch-export MOVIE --frame N --out FILE.png [--size WxH] "
        "[--quality low|medium|high]\n"
        "       reelfinch-export MOVIE --audio OUT.wav [--frames N]\n");
    return kExitUsage;
}

} // namespace

int main(int argc, char* argv[])
{
    // Nothing is shown: the window lives on the offscreen platform unless the caller chose another.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();

    QString movie;
    QString out;
    reelfinch::exporter::ExportOptions options;
    bool haveFrame = false;
    QString audio;
    int audioFrames = 0;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--frame") && hasValue) {
            bool ok = false;
            options.frame = args.at(++i).toInt(&ok);
            if (!ok || options.frame < 1)
                return Usage();
            haveFrame = true;
        } else if (arg == QLatin1String("--audio") && hasValue) {
            audio = args.at(++i);
        } else if (arg == QLatin1String("--frames") && hasValue) {
            bool ok = false;
            audioFrames = args.at(++i).toInt(&ok);
            if (!ok || audioFrames < 1)
                return Usage();
        } else if (arg == QLatin1String("--out") && hasValue) {
            out = args.at(++i);
        } else if (arg == QLatin1String("--size") && hasValue) {
            const QStringList parts = args.at(++i).split(QLatin1Char('x'));
            bool okW = false;
            bool okH = false;
            if (parts.size() != 2)
                return Usage();
            options.size = QSize(parts.at(0).toInt(&okW), parts.at(1).toInt(&okH));
            if (!okW || !okH || options.size.isEmpty())
                return Usage();
        } else if (arg == QLatin1String("--quality") && hasValue) {
            const QString q = args.at(++i).toLower();
            if (q == QLatin1String("low"))
                options.quality = 0;
            else if (q == QLatin1String("medium"))
                options.quality = 1;
            else if (q == QLatin1String("high"))
                options.quality = 2;
            else
                return Usage();
        } else if (!arg.startsWith(QLatin1String("--")) && movie.isEmpty()) {
            movie = arg;
        } else {
            return Usage();
        }
    }
    if (!audio.isEmpty()) {
        if (movie.isEmpty() || haveFrame || !out.isEmpty())
            return Usage();
        QString error;
        if (!reelfinch::exporter::ExportAudio(movie, audio, audioFrames, &error)) {
            std::fprintf(stderr, "reelfinch-export: %s\n", qPrintable(error));
            return kExitFailure;
        }
        return 0;
    }
    if (movie.isEmpty() || out.isEmpty() || !haveFrame || audioFrames)
        return Usage();

    QString error;
    const QImage image = reelfinch::exporter::ExportFrame(movie, options, &error);
    if (image.isNull()) {
        std::fprintf(stderr, "reelfinch-export: %s\n", qPrintable(error));
        return kExitFailure;
    }
    if (!image.save(out, "PNG")) {
        std::fprintf(stderr, "reelfinch-export: cannot write %s\n", qPrintable(out));
        return kExitFailure;
    }
    return 0;
}
