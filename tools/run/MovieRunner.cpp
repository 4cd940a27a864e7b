#include "MovieRunner.h"

#include "FrameExporter.h"
#include "NSFlashPluginView.h"

#include "EventRecord.h"
#include "SWFInfo.h"
#include "SWFStream.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

#include <cmath>
#include <memory>

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

} // namespace

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
    view->setGetURL(false);
    view->setPostURL(false);
    RunResult result = RunResult::Ran;
    // The handler is in place before the movie arrives: its first frame's scripts run while it loads.
    if (view->plugin())
        view->plugin()->setTraceHandler(onTrace);
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
    if (view->plugin())
        view->plugin()->setTraceHandler({});
    window.reset();
    NSFlashPluginView::setPluginPath(previousPath);
    return result;
}

} // namespace reelfinch::runner
