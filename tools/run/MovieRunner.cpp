#include "MovieRunner.h"

#include "FrameExporter.h"
#include "NSFlashPluginView.h"

#include "EventRecord.h"
#include "SWFInfo.h"
#include "SWFStream.h"

#include <QCoreApplication>
#include <QDir>
#include <QUrl>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

#include <cmath>
#include <memory>
#include <optional>

namespace reelfinch::runner {

namespace {

constexpr double kTicksPerSecond = 60.0;
constexpr double kDefaultFrameRate = 12.0;
constexpr qint64 kMaxMovieBytes = qint64(512) * 1024 * 1024;
// The view's size: scripts see the stage, not the window, so any small size does.
constexpr int kViewSide = 64;

EventRecord NullEventAt(uint32_t tick)
{
    EventRecord event {};
    event.what = nullEvent;
    event.when = tick;
    event.where = Point { -1, -1 };
    event.modifiers = btnState;
    return event;
}

// Bodies of text types are printed as text, others as their bytes.
QString BodyText(const QByteArray& contentType, const QByteArray& body)
{
    const QByteArray type = contentType.toLower();
    if (type.isEmpty() || type.startsWith("text/") || type.contains("x-www-form-urlencoded") || type.contains("xml"))
        return QString::fromUtf8(body);
    QStringList bytes;
    for (const char c : body)
        bytes << QStringLiteral("%1").arg(uint(uint8_t(c)), 2, 16, QLatin1Char('0')).toUpper();
    return QLatin1Char('[') + bytes.join(QStringLiteral(", ")) + QLatin1Char(']');
}

// The largest file a request is answered with.
constexpr qint64 kMaxAnswerBytes = qint64(64) * 1024 * 1024;

} // namespace

QStringList LogRequest(const QString& url, const QByteArray& target, bool hasTarget, bool post,
    const QByteArray& contentType, const QByteArray& body)
{
    QStringList lines;
    if (hasTarget) {
        lines << QStringLiteral("Navigator::navigate_to_url:") << QStringLiteral("  URL: ") + url
              << QStringLiteral("  Target: ") + QString::fromUtf8(target);
        if (post) {
            lines << QStringLiteral("  Method: POST");
            for (const QByteArray& pair : body.split('&')) {
                if (pair.isEmpty())
                    continue;
                QByteArray text = pair;
                text.replace('+', ' ');
                lines << QStringLiteral("  Param: ") + QString::fromUtf8(QByteArray::fromPercentEncoding(text));
            }
        }
        return lines;
    }
    lines << QStringLiteral("Navigator::fetch:") << QStringLiteral("  URL: ") + url
          << QStringLiteral("  Method: ") + (post ? QStringLiteral("POST") : QStringLiteral("GET"));
    if (post)
        lines << QStringLiteral("  Mime-Type: ") + QString::fromUtf8(contentType)
              << QStringLiteral("  Body: ") + BodyText(contentType, body);
    return lines;
}

QString RequestedFile(const QString& movieFolder, const QString& url)
{
    QString path = url;
    if (path.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl fileUrl(path);
        if (!fileUrl.isLocalFile())
            return {};
        path = fileUrl.toLocalFile();
    } else {
        const qsizetype colon = path.indexOf(QLatin1Char(':'));
        const qsizetype slash = path.indexOf(QLatin1Char('/'));
        if (colon > 0 && (slash < 0 || colon < slash))
            return {}; // another scheme: the network, never answered here
    }
    path = path.left(path.indexOf(QLatin1Char('?')) < 0 ? path.size() : path.indexOf(QLatin1Char('?')));
    const QDir folder(movieFolder);
    const QString canonicalFolder = folder.canonicalPath();
    const QString canonical = QFileInfo(folder, path).canonicalFilePath();
    if (canonicalFolder.isEmpty() || canonical.isEmpty() || !canonical.startsWith(canonicalFolder + QLatin1Char('/')))
        return {};
    return QFileInfo(canonical).isFile() ? canonical : QString();
}

RunResult RunMovie(const QString& moviePath, const RunOptions& options,
    const std::function<void(const QString&)>& onTrace, QString* error)
{
    auto fail = [&](const char* text) {
        if (error)
            *error = QString::fromUtf8(text);
        return RunResult::NotLoaded;
    };
    QFile file(moviePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxMovieBytes)
        return fail("cannot read the movie");
    const QByteArray bytes = file.readAll();
    file.close();

    CSWFInfo info;
    {
        CSWFStream stream;
        if (!stream.WriteBuf(bytes.constData(), static_cast<unsigned long>(bytes.size())))
            return fail("cannot read the movie");
        if (!info.ReadSWF(&stream))
            return fail("not a movie");
    }
    const QString bundle = exporter::PluginBundlePath();
    if (bundle.isEmpty() || !QFileInfo(bundle).isDir())
        return fail("the plug-in bundle was not found");
    const QString previousPath = NSFlashPluginView::pluginPath();
    NSFlashPluginView::setPluginPath(bundle);

    auto window = std::make_unique<QWidget>();
    window->setAttribute(Qt::WA_DontShowOnScreen, true);
    window->resize(kViewSide, kViewSide);
    auto* view = new NSFlashPluginView(window.get()); // owned by the window
    view->setGeometry(0, 0, kViewSide, kViewSide);
    window->show();
    QCoreApplication::processEvents();

    const CRectItem& frame = info.m_FrameRect;
    view->setOriginalRect(frame.m_XMin, frame.m_YMin, frame.m_XMax, frame.m_YMax);
    // Requests are answered by the handler below alone; local security is judged there too (the movie's folder).
    view->setEnabledSecurity(false); // before the plug-in object is made: it keeps the switch it was made with
    view->setGetURL(true);
    view->setPostURL(true);
    const QString movieFolder = QFileInfo(moviePath).absolutePath();
    const auto answer = [&options, &onTrace, movieFolder](const NSFlashPlugin::MovieRequest& request)
        -> std::optional<QByteArray> {
        if (options.logFetch)
            for (const QString& line :
                LogRequest(request.url, request.target, request.hasTarget, request.post, request.contentType, request.body))
                onTrace(line);
        if (request.hasTarget)
            return std::nullopt;
        const QString file = RequestedFile(movieFolder, request.url);
        QFile in(file);
        if (file.isEmpty() || in.size() > kMaxAnswerBytes || !in.open(QIODevice::ReadOnly))
            return std::nullopt;
        return in.readAll();
    };
    RunResult result = RunResult::Ran;
    // The handler is in place before the movie arrives: its first frame's scripts run while it loads.
    if (view->plugin()) {
        view->plugin()->setTraceHandler(onTrace);
        view->plugin()->setRequestHandler(answer);
    }
    if (!view->loadMovie(bytes, QFileInfo(moviePath).absoluteFilePath())) {
        if (error)
            *error = QStringLiteral("the plug-in did not start");
        result = RunResult::NotLoaded;
    } else {
        if (view->plugin())
            view->plugin()->setTraceHandler(onTrace);
        view->stopNullEvents();
        const double rate
            = info.m_FrameRate > 0 && std::isfinite(info.m_FrameRate) ? info.m_FrameRate : kDefaultFrameRate;
        const double ticksPerStep
            = options.tickMs > 0 ? options.tickMs * kTicksPerSecond / 1000.0 : std::max(1.0, kTicksPerSecond / rate);
        QElapsedTimer timer;
        timer.start();
        double clock = 0;
        EventRecord event = NullEventAt(0);
        view->sendEvent(&event);
        // Frame mode: the first frame played as the movie loaded. Tick mode: every tick is one step.
        const int steps = options.tickMs > 0 ? options.frames : options.frames - 1;
        for (int step = 0; step < steps; ++step) {
            if (options.budgetSeconds > 0 && timer.elapsed() > qint64(options.budgetSeconds * 1000))
                break;
            clock += ticksPerStep;
            event = NullEventAt(uint32_t(std::ceil(clock - 1e-9)));
            view->sendEvent(&event);
        }
    }
    if (view->plugin()) {
        view->plugin()->setTraceHandler({});
        view->plugin()->setRequestHandler({});
    }
    window.reset();
    NSFlashPluginView::setPluginPath(previousPath);
    return result;
}

} // namespace reelfinch::runner
