#include "MovieRunner.h"

#include "FrameExporter.h"
#include "NSFlashPluginView.h"

#include "EventRecord.h"
#include "npextensions.h"
#include "SWFInfo.h"
#include "SWFStream.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QDir>
#include <QUrl>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

namespace reelfinch::runner {

namespace {

constexpr double kTicksPerSecond = 60.0;
constexpr double kDefaultFrameRate = 12.0;
constexpr qint64 kMaxMovieBytes = qint64(512) * 1024 * 1024;
// The largest view side.
constexpr int kMaxViewSide = 4096;

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

// Sends one input event to the view as the host sends it: mouse buttons and keys as their own events, a move
// as the operating-system event reporting it.
void SendInput(NSFlashPluginView* view, const InputEvent& input, uint32_t tick, bool& held)
{
    switch (input.kind) {
    case InputEvent::SetClipboard:
        if (QClipboard* clipboard = QGuiApplication::clipboard())
            clipboard->setText(input.text);
        return;
    case InputEvent::EditCommand:
        if (input.charCode == 'v')
            view->paste();
        else if (input.charCode == 'a')
            view->selectAll();
        else if (input.charCode == 'c')
            view->copy();
        else if (input.charCode == 'x')
            view->cut();
        return;
    case InputEvent::Composition:
        view->sendComposition(input.text, input.caret);
        return;
    default:
        break;
    }
    EventRecord event {};
    event.when = tick;
    const QPoint global = view->mapToGlobal(QPoint(int(std::lround(input.x)), int(std::lround(input.y))));
    event.where = Point { int16_t(global.y()), int16_t(global.x()) };
    switch (input.kind) {
    case InputEvent::MouseMove:
        event.what = osEvt;
        event.message = kMouseMovedEventMessage;
        event.modifiers = held ? 0 : btnState;
        break;
    case InputEvent::MouseDown:
    case InputEvent::MouseUp:
        // As the host marks them: a button other than the main one has btnState on its press and release, and
        // leaves the main button's state alone.
        event.what = input.kind == InputEvent::MouseDown ? ::mouseDown : ::mouseUp;
        if (input.otherButton) {
            event.modifiers = btnState;
            break;
        }
        held = input.kind == InputEvent::MouseDown;
        event.modifiers = held ? 0 : btnState;
        break;
    case InputEvent::KeyDown:
    case InputEvent::KeyUp:
        event.what = input.kind == InputEvent::KeyDown ? keyDown : keyUp;
        event.message = uint32_t((input.macKey & 0xFF) << keyCodeShift) | uint32_t(input.charCode & 0xFF);
        break;
    case InputEvent::FocusGained:
    case InputEvent::FocusLost:
        event.what = input.kind == InputEvent::FocusGained ? getFocusEvent : loseFocusEvent;
        break;
    case InputEvent::TextInput:
        event.what = ReelfinchTextInputEvent;
        event.message = uint32_t(input.charCode);
        break;
    case InputEvent::EditCommand:
    case InputEvent::SetClipboard:
    case InputEvent::Composition:
        return;
    }
    view->sendEvent(&event);
}

// The movie's connections answered by a script of the movie's folder (socket.json): a list of steps the other
// side takes in order, "Receive" (waits for the bytes `expected` from the movie; other bytes end the
// connection), "Send" (sends `payload`), "Disconnect" (closes), "WaitForDisconnect" (waits for the movie to
// close). Every connection plays the script from its start; without a script every connection fails.
class ScriptedSockets final : public MovieSockets
{
public:
    ScriptedSockets(const QString& movieFolder, bool log, std::function<void(const QString&)> onTrace)
        : _log(log)
        , _onTrace(std::move(onTrace))
    {
        QFile file(QDir(movieFolder).filePath(QStringLiteral("socket.json")));
        if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxAnswerBytes)
            return;
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
        if (!document.isArray())
            return;
        _haveScript = true;
        for (const QJsonValue& value : document.array()) {
            const QJsonObject o = value.toObject();
            Step step;
            step.type = o.value(QStringLiteral("type")).toString();
            const QJsonArray bytes
                = o.value(step.type == QLatin1String("Receive") ? QStringLiteral("expected") : QStringLiteral("payload"))
                      .toArray();
            for (const QJsonValue& b : bytes)
                step.bytes.append(char(uint8_t(b.toInt())));
            _script.push_back(step);
        }
    }

    int32_t open(const QString& host, int32_t port) override
    {
        if (_log)
            for (const QString& line : LogSocket(host, port))
                _onTrace(line);
        if (_connections.size() >= 64)
            return 0;
        _connections[++_next] = Connection {};
        return _next;
    }
    bool send(int32_t id, const char* data, uint32_t length) override
    {
        const auto it = _connections.find(id);
        if (it == _connections.end() || it->second.closed || !data)
            return false;
        it->second.fromMovie.append(data, qsizetype(length));
        return true;
    }
    uint32_t poll(int32_t id, char* buffer, uint32_t capacity, int32_t* state) override
    {
        const auto it = _connections.find(id);
        if (it == _connections.end() || !_haveScript) {
            *state = NPReelfinchSocketFailed;
            return 0;
        }
        Connection& c = it->second;
        run(c);
        const uint32_t n = std::min(capacity, uint32_t(c.toMovie.size()));
        std::memcpy(buffer, c.toMovie.constData(), n);
        c.toMovie.remove(0, qsizetype(n));
        *state = c.closed && c.toMovie.isEmpty() ? NPReelfinchSocketClosed : NPReelfinchSocketOpen;
        return n;
    }
    void close(int32_t id) override { _connections.erase(id); }

private:
    struct Step {
        QString type;
        QByteArray bytes;
    };
    struct Connection {
        size_t step = 0;
        QByteArray fromMovie;
        QByteArray toMovie;
        bool closed = false;
    };
    // Plays the script as far as it can go without more from the movie.
    void run(Connection& c)
    {
        while (!c.closed && c.step < _script.size()) {
            const Step& step = _script[c.step];
            if (step.type == QLatin1String("Receive")) {
                const qsizetype n = std::min(c.fromMovie.size(), step.bytes.size());
                if (c.fromMovie.left(n) != step.bytes.left(n)) {
                    c.closed = true; // not what the other side expects
                    return;
                }
                if (n < step.bytes.size())
                    return;
                c.fromMovie.remove(0, n);
            } else if (step.type == QLatin1String("Send")) {
                c.toMovie += step.bytes;
            } else if (step.type == QLatin1String("Disconnect")) {
                c.closed = true;
            } else {
                return; // waits for the movie to close
            }
            ++c.step;
        }
    }

    bool _log = false;
    std::function<void(const QString&)> _onTrace;
    bool _haveScript = false;
    std::vector<Step> _script;
    std::map<int32_t, Connection> _connections;
    int32_t _next = 0;
};

// The user's files answered as the corpus' harness answers them, with no dialog and no network: an open dialog
// chooses the harness' 13-byte "test.txt" when one of its filters is described "debug-select-success", else it
// is cancelled; a save dialog keeps the suggested name unless the name starts "debug-cancel". A transfer's URL
// says how it goes: "debug-error-dns" fails before it opens, "debug-error-statuscode" is answered with status
// 404, "debug-success" works; other URLs are answered from the movie's folder as its requests are (a download
// of a file that is not there fails; an upload without a marker reaches nobody and fails).
class HarnessFiles final : public QueuedFiles
{
public:
    explicit HarnessFiles(const QString& movieFolder)
        : _folder(movieFolder)
    {
    }

    int32_t start(int32_t kind, const QString& url, const QString& text, int32_t file) override
    {
        Operation operation;
        operation.kind = kind;
        operation.url = url;
        if (kind == NPReelfinchFileBrowse) {
            bool choose = false;
            for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                choose = choose || line.section(QLatin1Char('\t'), 0, 0) == QLatin1String("debug-select-success");
            if (choose) {
                operation.path = kChosenName;
                operation.size = double(std::strlen(kChosenContent));
                operation.events.push_back(MakeEvent(NPReelfinchFileEventSelect, operation.size, 0, kChosenName));
            } else {
                operation.events.push_back(MakeEvent(NPReelfinchFileEventCancel));
            }
            operation.ended = true;
        } else if (kind == NPReelfinchFileDownload) {
            const QString name = QFileInfo(text).fileName();
            if (name.startsWith(QLatin1String("debug-cancel")) || name.isEmpty()) {
                operation.events.push_back(MakeEvent(NPReelfinchFileEventCancel));
                operation.ended = true;
            } else {
                operation.events.push_back(MakeEvent(NPReelfinchFileEventSelect, 0, 0, name));
                transfer(operation, false);
            }
        } else if (kind == NPReelfinchFileUpload) {
            const Operation* browsed = find(file);
            if (!browsed || browsed->path.isEmpty())
                return 0;
            operation.size = browsed->size;
            transfer(operation, true);
        } else {
            return 0;
        }
        return add(std::move(operation));
    }

private:
    static constexpr const char* kChosenName = "test.txt";
    static constexpr const char* kChosenContent = "Hello, World!";

    void transfer(Operation& operation, bool upload)
    {
        operation.ended = true;
        auto push = [&operation](int32_t kind, double a = 0, double b = 0) {
            operation.events.push_back(MakeEvent(kind, a, b, QString()));
        };
        const QString& url = operation.url;
        if (url.contains(QLatin1String("debug-error-dns"))) {
            push(NPReelfinchFileEventIOError);
            return;
        }
        double bytes = operation.size;
        if (!upload && !url.contains(QLatin1String("debug-"))) {
            const QString file = RequestedFile(_folder, url);
            if (file.isEmpty()) {
                push(NPReelfinchFileEventIOError);
                return;
            }
            bytes = double(QFileInfo(file).size());
        } else if (!upload) {
            bytes = double(std::strlen(kChosenContent));
        } else if (!url.contains(QLatin1String("debug-"))) {
            push(NPReelfinchFileEventIOError);
            return;
        }
        push(NPReelfinchFileEventOpen);
        if (url.contains(QLatin1String("debug-error-statuscode"))) {
            // A download hears the status before the body; an upload after its bytes went.
            if (upload) {
                push(NPReelfinchFileEventProgress, bytes, bytes);
                push(NPReelfinchFileEventHttpError, 404);
            } else {
                push(NPReelfinchFileEventHttpError, 404);
                push(NPReelfinchFileEventProgress, bytes, bytes);
            }
            return;
        }
        push(NPReelfinchFileEventProgress, bytes, bytes);
        push(NPReelfinchFileEventComplete);
    }

    QString _folder;
};

} // namespace

QStringList LogSocket(const QString& host, int32_t port)
{
    return { QStringLiteral("Navigator::connect_socket"),
        QStringLiteral("    Host: %1; Port: %2").arg(host).arg(port) };
}

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
    } else if (path.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)
        || path.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
        // The network stands in as folders of the movie's folder, one per host: http://HOST:PORT/PATH is the
        // file HOST/PATH there, when it exists.
        const QUrl web(path);
        if (!web.isValid() || web.host().isEmpty())
            return {};
        path = web.host() + QLatin1Char('/') + web.path(QUrl::FullyDecoded);
    } else {
        const qsizetype colon = path.indexOf(QLatin1Char(':'));
        const qsizetype slash = path.indexOf(QLatin1Char('/'));
        if (colon > 0 && (slash < 0 || colon < slash))
            return {}; // another scheme: never answered here
    }
    path = path.left(path.indexOf(QLatin1Char('?')) < 0 ? path.size() : path.indexOf(QLatin1Char('?')));
    const QDir folder(movieFolder);
    const QString canonicalFolder = folder.canonicalPath();
    const QString canonical = QFileInfo(folder, path).canonicalFilePath();
    if (canonicalFolder.isEmpty() || canonical.isEmpty() || !canonical.startsWith(canonicalFolder + QLatin1Char('/')))
        return {};
    return QFileInfo(canonical).isFile() ? canonical : QString();
}


bool KeyByName(const std::string& name, InputEvent& event)
{
    static constexpr struct {
        const char* name;
        int macKey;
        int charCode;
    } kKeys[] = { { "Enter", 0x24, 13 }, { "Tab", 0x30, 9 }, { "Space", 0x31, 32 }, { "Backspace", 0x33, 8 },
        { "Escape", 0x35, 27 }, { "LeftShift", 0x38, 0 }, { "LeftControl", 0x3B, 0 }, { "Delete", 0x75, 127 },
        { "Insert", 0x72, 0 }, { "Home", 0x73, 1 }, { "End", 0x77, 4 }, { "PageUp", 0x74, 11 },
        { "PageDown", 0x79, 12 }, { "ArrowLeft", 0x7B, 28 }, { "ArrowRight", 0x7C, 29 }, { "ArrowUp", 0x7E, 30 },
        { "ArrowDown", 0x7D, 31 } };
    for (const auto& key : kKeys)
        if (name == key.name) {
            event.macKey = key.macKey;
            event.charCode = key.charCode;
            return true;
        }
    if (name.size() == 1 && uint8_t(name[0]) >= 32 && uint8_t(name[0]) < 127) {
        event.macKey = 0xFF; // no key of its own: the character names it
        event.charCode = uint8_t(name[0]);
        return true;
    }
    return false;
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
    // The movie runs on the runner's clock, not the wall's: its sound follows its frames (and is heard nowhere).
    const QByteArray previousClock = qgetenv("REELFINCH_SOUND_CLOCK");
    const bool hadClock = qEnvironmentVariableIsSet("REELFINCH_SOUND_CLOCK");
    qputenv("REELFINCH_SOUND_CLOCK", "movie");
    struct RestoreClock {
        const QByteArray& value;
        bool set;
        ~RestoreClock() { set ? void(qputenv("REELFINCH_SOUND_CLOCK", value)) : void(qunsetenv("REELFINCH_SOUND_CLOCK")); }
    } restoreClock { previousClock, hadClock };

    // The view is the viewport asked for (in pixels of a screen that size), else the stage's own size, so that a
    // point of the view is a pixel of the stage.
    const CRectItem& stage = info.m_FrameRect;
    const bool viewport = options.viewportWidth > 0 && options.viewportHeight > 0;
    const int viewWidth = std::clamp(viewport ? options.viewportWidth : (stage.m_XMax - stage.m_XMin) / 20, 1, kMaxViewSide);
    const int viewHeight = std::clamp(viewport ? options.viewportHeight : (stage.m_YMax - stage.m_YMin) / 20, 1, kMaxViewSide);
    auto window = std::make_unique<QWidget>();
    window->setAttribute(Qt::WA_DontShowOnScreen, true);
    window->resize(viewWidth, viewHeight);
    auto* view = new NSFlashPluginView(window.get()); // owned by the window
    view->setGeometry(0, 0, viewWidth, viewHeight);
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
        view->plugin()->setSocketHandler(std::make_shared<ScriptedSockets>(movieFolder, options.logFetch, onTrace));
        view->plugin()->setFileHandler(std::make_shared<HarnessFiles>(movieFolder));
        if (viewport)
            view->plugin()->setScreenSize(QSize(viewWidth, viewHeight));
    }
    if (!view->loadMovie(bytes, QFileInfo(moviePath).absoluteFilePath())) {
        if (error)
            *error = QStringLiteral("the plug-in did not start");
        result = RunResult::NotLoaded;
    } else {
        if (view->plugin())
            view->plugin()->setTraceHandler(onTrace);
        view->stopNullEvents();
        if (options.quality >= 0)
            view->setFlashQuality(options.quality);
        const double rate
            = info.m_FrameRate > 0 && std::isfinite(info.m_FrameRate) ? info.m_FrameRate : kDefaultFrameRate;
        const double ticksPerStep
            = options.tickMs > 0 ? options.tickMs * kTicksPerSecond / 1000.0 : std::max(1.0, kTicksPerSecond / rate);
        QElapsedTimer timer;
        timer.start();
        double clock = 0;
        EventRecord event = NullEventAt(0);
        view->sendEvent(&event);
        size_t nextInput = 0;
        bool held = false;
        auto sendInputAfter = [&](int played) {
            for (; nextInput < options.input.size() && options.input[nextInput].afterFrame <= played; ++nextInput)
                SendInput(view, options.input[nextInput], uint32_t(std::ceil(clock - 1e-9)), held);
        };
        // Frame mode: the first frame played as the movie loaded. Tick mode: every tick is one step.
        const int steps = options.tickMs > 0 ? options.frames : options.frames - 1;
        const int first = options.tickMs > 0 ? 0 : 1;
        sendInputAfter(first);
        for (int step = 0; step < steps; ++step) {
            if (options.budgetSeconds > 0 && timer.elapsed() > qint64(options.budgetSeconds * 1000))
                break;
            clock += ticksPerStep;
            event = NullEventAt(uint32_t(std::ceil(clock - 1e-9)));
            view->sendEvent(&event);
            sendInputAfter(first + step + 1);
        }
        // The last frame lasts its time as the others did: what falls due within it (intervals, timeouts) runs,
        // and the next frame does not start.
        if (options.tickMs <= 0 && ticksPerStep > 1
            && (options.budgetSeconds <= 0 || timer.elapsed() <= qint64(options.budgetSeconds * 1000))) {
            event = NullEventAt(uint32_t(std::ceil(clock + ticksPerStep - 1 - 1e-9)));
            view->sendEvent(&event);
        }
        if (options.picture)
            *options.picture = view->snapshot().convertToFormat(QImage::Format_ARGB32);
    }
    if (view->plugin()) {
        view->plugin()->setTraceHandler({});
        view->plugin()->setRequestHandler({});
        view->plugin()->setSocketHandler({});
        view->plugin()->setFileHandler({});
    }
    window.reset();
    NSFlashPluginView::setPluginPath(previousPath);
    return result;
}

} // namespace reelfinch::runner
