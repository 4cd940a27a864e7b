#include "FrameExporter.h"

#include "NSFlashPluginView.h"

#include "EventRecord.h"
#include "SWFInfo.h"
#include "SWFStream.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

#include <cmath>
#include <memory>

namespace reelfinch::exporter {

namespace {

constexpr double kTwipsPerPixel = 20.0;
constexpr double kTicksPerSecond = 60.0;
constexpr double kDefaultFrameRate = 12.0;
// The largest picture side the exporter makes.
constexpr int kMaxSide = 8192;
// Movies larger than this are not read.
constexpr qint64 kMaxMovieBytes = qint64(512) * 1024 * 1024;

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

QImage ExportFrame(const QString& moviePath, const ExportOptions& options, QString* error)
{
    QFile file(moviePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxMovieBytes) {
        SetError(error, QStringLiteral("cannot read the movie"));
        return {};
    }
    const QByteArray bytes = file.readAll();
    file.close();

    // The frame rectangle and rate, read the way the player reads them.
    CSWFInfo info;
    {
        CSWFStream stream;
        if (!stream.WriteBuf(bytes.constData(), static_cast<unsigned long>(bytes.size()))) {
            SetError(error, QStringLiteral("cannot read the movie"));
            return {};
        }
        info.ReadSWF(&stream);
    }
    const CRectItem& frame = info.m_FrameRect;
    QSize size = options.size;
    if (size.isEmpty()) {
        const double w = std::ceil((double(frame.m_XMax) - frame.m_XMin) / kTwipsPerPixel);
        const double h = std::ceil((double(frame.m_YMax) - frame.m_YMin) / kTwipsPerPixel);
        size = QSize(int(std::clamp(w, 1.0, double(kMaxSide))), int(std::clamp(h, 1.0, double(kMaxSide))));
    }
    size = size.boundedTo(QSize(kMaxSide, kMaxSide)).expandedTo(QSize(1, 1));

    const QString bundle = PluginBundlePath();
    if (bundle.isEmpty() || !QFileInfo(bundle).isDir()) {
        SetError(error, QStringLiteral("the plug-in bundle was not found"));
        return {};
    }
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
    view->setGetURL(false);
    view->setPostURL(false);
    QImage image;
    if (!view->loadMovie(bytes, QFileInfo(moviePath).absoluteFilePath())) {
        SetError(error, QStringLiteral("the plug-in did not start"));
    } else {
        // The view's own timer would play in real time; the exporter keeps the clock itself.
        view->stopNullEvents();
        view->setFlashQuality(options.quality);
        // Frame by frame on a steady clock: each null event is one frame later than the one before.
        const double rate
            = info.m_FrameRate > 0 && std::isfinite(info.m_FrameRate) ? info.m_FrameRate : kDefaultFrameRate;
        const double ticksPerFrame = std::max(1.0, kTicksPerSecond / rate);
        double clock = 0;
        EventRecord event = NullEventAt(0);
        view->sendEvent(&event);
        for (int played = 1; played < options.frame; ++played) {
            clock += ticksPerFrame;
            event = NullEventAt(uint32_t(std::ceil(clock)));
            view->sendEvent(&event);
        }
        image = view->snapshot().convertToFormat(QImage::Format_ARGB32);
    }
    window.reset();
    NSFlashPluginView::setPluginPath(previousPath);
    return image;
}

} // namespace reelfinch::exporter
