#include "FrameExporter.h"

#include "NSFlashPluginView.h"

#include "EventRecord.h"
#include "Movie.h"
#include "SWFInfo.h"
#include "SWFStream.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QWidget>

#include <cmath>
#include <functional>
#include <memory>
#include <optional>

namespace reelfinch::exporter {

namespace {

constexpr double kTwipsPerPixel = 20.0;
constexpr double kTicksPerSecond = 60.0;
constexpr double kDefaultFrameRate = 12.0;
// The largest picture side the exporter makes.
constexpr int kMaxSide = 8192;
// Movies larger than this are not read.
constexpr qint64 kMaxMovieBytes = qint64(512) * 1024 * 1024;
// The variable that has the plug-in write its sound to a WAV file (the plug-in's own name for it).
constexpr const char* kAudioCaptureVariable = "REELFINCH_AUDIO_CAPTURE";

void SetError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// A null event at a given tick with the mouse out of the movie's sight.
EventRecord NullEventAt(uint32_t tick)
{
    EventRecord event {};
    event.what = nullEvent;
    event.when = tick;
    event.where = Point { -1, -1 };
    event.modifiers = btnState;
    return event;
}

} // namespace

QString PluginBundlePath()
{
    const QString resources = NSFlashPluginView::pluginPath();
    if (!resources.isEmpty() && QFileInfo(resources).isDir())
        return resources;
#ifdef REELFINCH_BUILD_PLUGIN_BUNDLE
    return QStringLiteral(REELFINCH_BUILD_PLUGIN_BUNDLE);
#else
    return resources;
#endif
}

namespace {

// A movie read from disk with the frame rectangle and rate the player reads.
struct MovieFile {
    QByteArray bytes;
    CSWFInfo info;
};

bool ReadMovie(const QString& moviePath, MovieFile& movie, QString* error)
{
    QFile file(moviePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxMovieBytes) {
        SetError(error, QStringLiteral("cannot read the movie"));
        return false;
    }
    movie.bytes = file.readAll();
    CSWFStream stream;
    if (!stream.WriteBuf(movie.bytes.constData(), static_cast<unsigned long>(movie.bytes.size()))) {
        SetError(error, QStringLiteral("cannot read the movie"));
        return false;
    }
    movie.info.ReadSWF(&stream);
    return true;
}

// The root timeline's frames as the plug-in counts them: its ShowFrame tags (some writers state another count in
// the header), or the header's count when there are none.
int TimelineLength(const MovieFile& movie)
{
    CSWFStream stream;
    if (!stream.WriteBuf(movie.bytes.constData(), static_cast<unsigned long>(movie.bytes.size())))
        return 1;
    stream.SetPosition(0);
    CSWF whole;
    whole.ReadSWF(&stream);
    const int shown = whole.GetTags() ? whole.GetTags()->CountShowFrames() : 0;
    return std::max(1, shown > 0 ? shown : int(movie.info.m_FrameCount));
}

// The largest file a movie's request is answered with.
constexpr qint64 kMaxAnswerBytes = qint64(64) * 1024 * 1024;

// A movie's request for a file of its own folder (or below it), named by a relative path or a file URL: its
// bytes. Anything else, the network above all, is refused: an export never leaves the movie's folder.
std::optional<QByteArray> AnswerFromFolder(const QString& movieFolder, const NSFlashPlugin::MovieRequest& request)
{
    if (request.hasTarget || request.post)
        return std::nullopt;
    QString path = request.url;
    if (path.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl url(path);
        if (!url.isLocalFile())
            return std::nullopt;
        path = url.toLocalFile();
    } else {
        const qsizetype colon = path.indexOf(QLatin1Char(':'));
        const qsizetype slash = path.indexOf(QLatin1Char('/'));
        if (colon > 0 && (slash < 0 || colon < slash))
            return std::nullopt; // another scheme
    }
    if (const qsizetype query = path.indexOf(QLatin1Char('?')); query >= 0)
        path.truncate(query);
    const QDir folder(movieFolder);
    const QString canonicalFolder = folder.canonicalPath();
    const QString canonical = QFileInfo(folder, path).canonicalFilePath();
    if (canonicalFolder.isEmpty() || canonical.isEmpty() || !canonical.startsWith(canonicalFolder + QLatin1Char('/')))
        return std::nullopt;
    QFile file(canonical);
    if (file.size() > kMaxAnswerBytes || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

// Plays `frames` frames of the movie in a view of `size` through the plug-in and calls `atEnd` with the view
// before the plug-in goes.
bool PlayMovie(const QString& moviePath, const MovieFile& movie, QSize size, int quality, int frames,
    const std::function<void(NSFlashPluginView&)>& atEnd, QString* error)
{
    const QString bundle = PluginBundlePath();
    if (bundle.isEmpty() || !QFileInfo(bundle).isDir()) {
        SetError(error, QStringLiteral("the plug-in bundle was not found"));
        return false;
    }
    const CRectItem& frame = movie.info.m_FrameRect;
    const QString previousPath = NSFlashPluginView::pluginPath();
    NSFlashPluginView::setPluginPath(bundle);

    auto window = std::make_unique<QWidget>();
    window->setAttribute(Qt::WA_DontShowOnScreen, true);
    window->resize(size);
    auto* view = new NSFlashPluginView(window.get()); // owned by the window
    view->setGeometry(0, 0, size.width(), size.height());
    window->show();
    QCoreApplication::processEvents();

    view->setOriginalRect(frame.m_XMin, frame.m_YMin, frame.m_XMax, frame.m_YMax);
    // Files beside the movie (pictures and movies it loads) are answered by the handler alone.
    view->setGetURL(true);
    view->setPostURL(false);
    const QString movieFolder = QFileInfo(moviePath).absolutePath();
    if (view->plugin())
        view->plugin()->setRequestHandler([movieFolder](const NSFlashPlugin::MovieRequest& request) {
            return AnswerFromFolder(movieFolder, request);
        });
    bool ok = true;
    if (!view->loadMovie(movie.bytes, QFileInfo(moviePath).absoluteFilePath())) {
        SetError(error, QStringLiteral("the plug-in did not start"));
        ok = false;
    } else {
        // The view's own timer would play in real time; the exporter keeps the clock itself.
        view->stopNullEvents();
        view->setFlashQuality(quality);
        // Frame by frame on a steady clock: each null event is one frame later than the one before.
        const double rate = movie.info.m_FrameRate > 0 && std::isfinite(movie.info.m_FrameRate)
            ? movie.info.m_FrameRate
            : kDefaultFrameRate;
        const double ticksPerFrame = std::max(1.0, kTicksPerSecond / rate);
        double clock = 0;
        EventRecord event = NullEventAt(0);
        view->sendEvent(&event);
        for (int played = 1; played < frames; ++played) {
            clock += ticksPerFrame;
            event = NullEventAt(uint32_t(std::ceil(clock)));
            view->sendEvent(&event);
        }
        atEnd(*view);
    }
    if (view->plugin())
        view->plugin()->setRequestHandler({});
    window.reset();
    NSFlashPluginView::setPluginPath(previousPath);
    return ok;
}

} // namespace

QImage ExportFrame(const QString& moviePath, const ExportOptions& options, QString* error)
{
    MovieFile movie;
    if (!ReadMovie(moviePath, movie, error))
        return {};
    const CRectItem& frame = movie.info.m_FrameRect;
    QSize size = options.size;
    if (size.isEmpty()) {
        const double w = std::ceil((double(frame.m_XMax) - frame.m_XMin) / kTwipsPerPixel);
        const double h = std::ceil((double(frame.m_YMax) - frame.m_YMin) / kTwipsPerPixel);
        size = QSize(int(std::clamp(w, 1.0, double(kMaxSide))), int(std::clamp(h, 1.0, double(kMaxSide))));
    }
    size = size.boundedTo(QSize(kMaxSide, kMaxSide)).expandedTo(QSize(1, 1));
    QImage image;
    PlayMovie(moviePath, movie, size, options.quality, options.frame,
        [&](NSFlashPluginView& view) { image = view.snapshot().convertToFormat(QImage::Format_ARGB32); }, error);
    return image;
}

bool ExportAudio(const QString& moviePath, const QString& wavPath, int frames, QString* error)
{
    MovieFile movie;
    if (!ReadMovie(moviePath, movie, error))
        return false;
    if (frames <= 0)
        frames = TimelineLength(movie);
    // The plug-in writes its sound to the file named here instead of playing it; the file is complete once the
    // plug-in instance is gone.
    const QByteArray previous = qgetenv(kAudioCaptureVariable);
    const bool hadPrevious = qEnvironmentVariableIsSet(kAudioCaptureVariable);
    QFile::remove(wavPath);
    qputenv(kAudioCaptureVariable, QFileInfo(wavPath).absoluteFilePath().toLocal8Bit());
    // A small view: the pictures are not kept.
    const bool played = PlayMovie(moviePath, movie, QSize(64, 64), 0, frames, [](NSFlashPluginView&) {}, error);
    if (hadPrevious)
        qputenv(kAudioCaptureVariable, previous);
    else
        qunsetenv(kAudioCaptureVariable);
    if (played && !QFileInfo::exists(wavPath)) {
        SetError(error, QStringLiteral("cannot write %1").arg(wavPath));
        return false;
    }
    return played;
}

} // namespace reelfinch::exporter
