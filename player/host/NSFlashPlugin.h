// The loaded movie plug-in bundle and the one instance the host runs in it: loading and the two function tables,
// the instance and the movie stream, the movie's URL requests under the permission switches, redraw requests, and
// playback control through the plug-in's scripting object.
#ifndef REELFINCH_PLAYER_NSFLASHPLUGIN_H
#define REELFINCH_PLAYER_NSFLASHPLUGIN_H

#include "Bundle.h"
#include "MovieFiles.h"
#include "MovieSockets.h"
#include "UrlLoader.h"
#include "npfunctions.h"

#include <QByteArray>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

struct EventRecord;

class NSFlashPlugin
{
public:
    // MIME type of the instance and of every stream.
    static constexpr const char* kMimeType = "application/x-shockwave-flash";
    // The status line by which the plug-in says its movie stopped for good (its engine ended).
    static constexpr const char* kMovieStoppedStatus = "reelfinch: movie engine stopped";
    static constexpr const char* kUserAgent = "Mozilla/5.0 (Macintosh; U; PPC Mac OS X; en) Tavrel Software Pelmora";

    // Target codes of a URL request.
    enum Target {
        TargetBlank = 0,
        TargetNew = 1,
        TargetTop = 2,
        TargetSelf = 3,
        TargetCurrent = 4,
        TargetParent = 5,
        TargetMovie = 6, // no target: the data is for the movie itself
        TargetUnknown = -1,
    };

    // The scripting methods, in the order of the method-name table.
    enum Method {
        MethodIsPlaying,
        MethodPlay,
        MethodStopPlay,
        MethodTotalFrames,
        MethodCurrentFrame,
        MethodGotoFrame,
        MethodRewind,
        MethodBack,
        MethodForward,
        MethodPan,
        MethodZoom,
        MethodSetZoomRect,
        MethodTSetProperty,
        MethodTGetProperty,
        MethodCount
    };
    // The identifier the host hands the plug-in for a method: the address of its static NPString record.
    static NPIdentifier methodIdentifier(Method method);

    // Quality codes.
    enum { QualityLow = 0, QualityMedium = 1, QualityHigh = 2 };

    // Opens the bundle at path (symbolic links resolved); the code is loaded by load().
    explicit NSFlashPlugin(const QString& path);
    // Shuts the plug-in down and unloads it.
    ~NSFlashPlugin();

    NSFlashPlugin(const NSFlashPlugin&) = delete;
    NSFlashPlugin& operator=(const NSFlashPlugin&) = delete;

    bool load();
    void unload();
    void shutdown();
    void initBrowserFuncsRecord();

    bool isLoaded() const { return _isLoaded; }
    bool isStarted() const { return _isStarted; }

    void setContentView(QWidget* view) { _contentView = view; }
    QWidget* contentView() const { return _contentView; }

    // Takes effect at the next load only.
    void setEnabledSecurity(bool enable) { _enableSecurity = enable; }
    bool enabledSecurity() const { return _enableSecurity; }
    bool getURL() const { return _getURL; }
    void setGetURL(bool allow) { _getURL = allow; }
    // Whether the movie may post data (to the network over http or https, or to a request handler).
    bool postURL() const { return _postURL; }
    void setPostURL(bool allow) { _postURL = allow; }

    static NSFlashPlugin* currentPlugin();
    static void setCurrentPlugin(NSFlashPlugin* plugin);

    // Instance and events.
    bool callNew();
    void callDestroy();
    bool callSetWindow(NPWindow* window);
    bool callHandleEvent(EventRecord* event);

    // The instance record passed to every plug-in call, and the tables as exchanged.
    NPP npp() { return &instance; }
    const NPNetscapeFuncs& browserFunctions() const { return browserFuncs; }

    // Movie stream.
    bool loadMovieAtPath(const QByteArray& movie, const QString& path);
    bool loadMovieWithNameWithNotifyData(const QByteArray& data, const QString& name, void* notifyData);
    void setMoviePath(const QString& path) { _moviePath = path; }
    QString moviePath() const { return _moviePath; }
    QString movieName() const;
    QString movieFolder() const;

    // URL requests from the movie.
    static int targetFromCString(const char* target);
    NPError getURLTarget(const char* url, const char* target);
    NPError getURLNotify(const char* url, const char* target, void* notifyData);
    NPError postURLTarget(const char* url, const char* target, uint32_t len, const char* buf, NPBool file);
    NPError postURLNotify(const char* url, const char* target, uint32_t len, const char* buf, NPBool file,
                          void* notifyData);
    // How long a fetch for the movie may take before it counts as having given nothing.
    void setURLTimeout(int milliseconds) { _urlTimeoutMs = milliseconds; }
    // A request of the movie as the host received it (after the permission switches).
    struct MovieRequest {
        QString url;
        QByteArray target; // empty with hasTarget false: the answer is for the movie
        bool hasTarget = false;
        bool post = false;
        QByteArray contentType; // of a posted body, from its headers
        QByteArray body;
    };
    // When set, the movie's requests go to this handler instead of the network and the desktop (tools that answer
    // from files): it returns the answer for a request without target, nothing to refuse it.
    using RequestHandler = std::function<std::optional<QByteArray>(const MovieRequest&)>;
    void setRequestHandler(RequestHandler handler) { _requestHandler = std::move(handler); }
    int urlTimeout() const { return _urlTimeoutMs; }

    // The movie's own connections (XMLSocket): a handler set here answers them instead of the network (tools
    // that answer from files); without one they reach the network under the getURL switch. Null: refused.
    void setSocketHandler(std::shared_ptr<MovieSockets> handler) { _socketHandler = std::move(handler); }
    MovieSockets* movieSockets();
    // The user's files the movie asks for (FileReference): a handler set here answers the dialogs and transfers
    // instead of the desktop and the network (tools that answer them as a test harness does).
    void setFileHandler(std::shared_ptr<MovieFiles> handler) { _fileHandler = std::move(handler); }
    MovieFiles* movieFiles();
    // The screen's size in pixels that the movie is told: the size set here (tools that play a movie on a screen
    // of their own), else that of the screen showing the view.
    void setScreenSize(QSize size) { _screenSize = size; }
    QSize screenSize() const;

    // Browser requests that need the host.
    const char* userAgent() const { return kUserAgent; }
    void status(const char* message);
    // Lines the movie's scripts print (trace), handed to whoever listens; dropped when nobody does.
    void setTraceHandler(std::function<void(const QString&)> handler) { _traceHandler = std::move(handler); }
    void traceLine(const char* line)
    {
        if (_traceHandler)
            _traceHandler(QString::fromUtf8(line));
    }
    // Commands the movie sends its host (fscommand): name and arguments, handed to whoever listens.
    void setCommandHandler(std::function<void(const QString&, const QString&)> handler)
    {
        _commandHandler = std::move(handler);
    }
    // The input method's composing text, for the plug-in to read while it handles the event saying it changed;
    // none at other times.
    void setCompositionText(std::optional<QString> text) { _compositionText = std::move(text); }
    const std::optional<QString>& compositionText() const { return _compositionText; }
    // The cursor the plug-in asked for over its area: the hand, or the arrow.
    void setHandCursor(bool hand) { _handCursor = hand; }
    bool handCursor() const { return _handCursor; }
    void invalidateRect(const NPRect* rect);
    void invalidateRegion(NPRegion region);
    void forceRedraw();

    // Scripting.
    NPObject* getScriptableObject();
    bool isObject(NPObject* object, NPIdentifier method);
    bool isPlaying();
    bool play();
    bool stopPlay();
    long totalFrames();
    long currentFrame();
    bool gotoFrame(long frame);
    bool rewind();
    bool back();
    bool forward();
    bool pan(long x, long y, long mode);
    bool zoom(long percent);
    bool setZoomRect(long left, long top, long right, long bottom);
    int flashQuality();
    bool setFlashQuality(int quality);

private:
    bool invokeMethod(Method method, const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool invokeMethodForInt(Method method, long* value);
    NPError fetchForMovie(const QString& urlText, void* notifyData);
    void markNeedsDisplay(int left, int top, int right, int bottom);
    void clearEntryPoints();

    bool _getURL = false;
    bool _postURL = false;
    bool _enableSecurity = true;
    bool _isLoaded = false;
    bool _isStarted = false;
    QString _moviePath;
    std::function<void(const QString&)> _traceHandler;
    std::function<void(const QString&, const QString&)> _commandHandler;
    bool _handCursor = false;
    std::optional<QString> _compositionText;
    RequestHandler _requestHandler;
    std::shared_ptr<MovieSockets> _socketHandler;
    std::unique_ptr<TcpSockets> _tcpSockets;
    std::shared_ptr<MovieFiles> _fileHandler;
    QSize _screenSize;
    std::unique_ptr<DesktopFiles> _desktopFiles;
    NPError handleRequest(const MovieRequest& request, void* notifyData);
    QPointer<QWidget> _contentView;
    std::unique_ptr<Bundle> cfBundle;
    NPPluginFuncs pluginFuncs {};
    NPNetscapeFuncs browserFuncs {};
    NPP_t instance {};

    NPP_NewProcPtr NPP_New = nullptr;
    NPP_DestroyProcPtr NPP_Destroy = nullptr;
    NPP_SetWindowProcPtr NPP_SetWindow = nullptr;
    NPP_NewStreamProcPtr NPP_NewStream = nullptr;
    NPP_DestroyStreamProcPtr NPP_DestroyStream = nullptr;
    NPP_StreamAsFileProcPtr NPP_StreamAsFile = nullptr;
    NPP_WriteReadyProcPtr NPP_WriteReady = nullptr;
    NPP_WriteProcPtr NPP_Write = nullptr;
    NPP_PrintProcPtr NPP_Print = nullptr;
    NPP_HandleEventProcPtr NPP_HandleEvent = nullptr;
    NPP_URLNotifyProcPtr NPP_URLNotify = nullptr;
    NPP_GetValueProcPtr NPP_GetValue = nullptr;
    NPP_SetValueProcPtr NPP_SetValue = nullptr;
    NP_ShutdownFuncPtr NPP_Shutdown = nullptr;
    NP_LocalSecurityFuncPtr NP_DisableLocalSecurity = nullptr;
    NP_LocalSecurityFuncPtr NP_EnforceLocalSecurity = nullptr;

    int _urlTimeoutMs = UrlLoader::kDefaultTimeoutMs;
    int _deliveryDepth = 0; // streams being delivered, one inside another when the plug-in asks during a delivery
};

#endif
