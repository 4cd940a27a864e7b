#include "NSFlashPlugin.h"

#include "EventRecord.h"
#include "QuickDraw.h"
#include "npapi.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

namespace {

// A record whose length counts the terminating NUL, as the plug-in reads identifiers and string arguments.
template <size_t N>
constexpr NPString countedString(const char (&text)[N])
{
    return NPString { text, static_cast<uint32_t>(N) };
}

// Static and never written; non-const only because identifiers are untyped mutable pointers.
NPString methodNames[NSFlashPlugin::MethodCount] = {
    countedString("IsPlaying"),   countedString("Play"),         countedString("StopPlay"),
    countedString("TotalFrames"), countedString("CurrentFrame"), countedString("GotoFrame"),
    countedString("Rewind"),      countedString("Back"),         countedString("Forward"),
    countedString("Pan"),         countedString("Zoom"),         countedString("SetZoomRect"),
    countedString("TSetProperty"), countedString("TGetProperty"),
};

constexpr NPString kRootTarget = countedString("/");
constexpr NPString kQualityHigh = countedString("HIGH");
constexpr NPString kQualityMedium = countedString("MEDIUM");
constexpr NPString kQualityLow = countedString("LOW");
constexpr int32_t kQualityProperty = 19; // the quality property of a movie clip

constexpr std::array<const char*, 6> kTargetNames = { "_blank", "_new", "_top", "_self", "_current", "_parent" };

// Rounds in a row in which the plug-in offers room but takes nothing before the delivery is given up.
constexpr int kMaxIdleWriteRounds = 64;
// Streams delivered one inside another (a plug-in asking for data while data is delivered) before refusing.
constexpr int kMaxDeliveryDepth = 8;

NSFlashPlugin* g_currentPlugin = nullptr;

// Windows code page 1252: the printable characters it puts in 0x80 to 0x9F; the five unassigned bytes stay the C1
// controls of the same value, as Latin-1 has them.
constexpr char16_t kCP1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D,
    0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A,
    0x0153, 0x009D, 0x017E, 0x0178,
};

QString fromWindowsLatin1(const char* text)
{
    QString result;
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        result.append(*p >= 0x80 && *p < 0xA0 ? QChar(kCP1252High[*p - 0x80]) : QChar(*p));
    return result;
}

bool equalsIgnoringAsciiCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(*a) != lower(*b))
            return false;
        if (!*a)
            return true;
    }
}

// The whole contents of a regular file (devices and pipes could feed the player forever), or nothing.
QByteArray contentsOfRegularFile(const QString& path)
{
    if (path.isEmpty())
        return {};
    const std::filesystem::path file(QFile::encodeName(path).toStdString());
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        return {};
    const auto size = std::filesystem::file_size(file, error);
    if (error || size > uintmax_t(UrlLoader::kMaxContentSize))
        return {};
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    return in.read(UrlLoader::kMaxContentSize);
}

// A path joined to a folder the way path components join: never absolute because the component starts with '/'.
QString appendPathComponent(const QString& folder, const QString& component)
{
    if (folder.isEmpty())
        return component;
    QString joined = folder + QLatin1Char('/') + component;
    while (joined.contains(QLatin1String("//")))
        joined.replace(QLatin1String("//"), QLatin1String("/"));
    return joined;
}

// Scripting arguments are 32-bit; wider values are clamped rather than wrapped.
int32_t clampToInt32(long value)
{
    return static_cast<int32_t>(
        std::clamp<long>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

NPVariant int32Variant(long value)
{
    NPVariant variant;
    INT32_TO_NPVARIANT(clampToInt32(value), variant);
    return variant;
}

NPVariant stringVariant(const NPString& string)
{
    NPVariant variant;
    variant.type = NPVariantType_String;
    variant.value.stringValue = string;
    return variant;
}

} // namespace

NPIdentifier NSFlashPlugin::methodIdentifier(Method method)
{
    if (method < 0 || method >= MethodCount)
        return nullptr;
    return &methodNames[method];
}

NSFlashPlugin::NSFlashPlugin(const QString& path)
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    cfBundle = Bundle::create(resolved.isEmpty() ? path : resolved);
    instance.pdata = nullptr;
    instance.ndata = &browserFuncs;
    instance.mydata = this;
}

NSFlashPlugin::~NSFlashPlugin()
{
    // The owner normally stops the instance first; one left running is destroyed before the plug-in shuts down.
    callDestroy();
    shutdown();
    if (g_currentPlugin == this)
        g_currentPlugin = nullptr;
}

NSFlashPlugin* NSFlashPlugin::currentPlugin()
{
    return g_currentPlugin;
}

void NSFlashPlugin::setCurrentPlugin(NSFlashPlugin* plugin)
{
    g_currentPlugin = plugin;
}

bool NSFlashPlugin::load()
{
    if (_isLoaded)
        return true;
    NP_DisableLocalSecurity = nullptr;
    NP_EnforceLocalSecurity = nullptr;
    if (!cfBundle || !cfBundle->loadExecutable())
        return false;

    const auto initialize
        = reinterpret_cast<NP_InitializeFuncPtr>(cfBundle->functionPointerForName(kNPInitializeName));
    const auto getEntryPoints
        = reinterpret_cast<NP_GetEntryPointsFuncPtr>(cfBundle->functionPointerForName(kNPGetEntryPointsName));
    NPP_Shutdown = reinterpret_cast<NP_ShutdownFuncPtr>(cfBundle->functionPointerForName(kNPShutdownName));
    const auto disableSecurity
        = reinterpret_cast<NP_LocalSecurityFuncPtr>(cfBundle->functionPointerForName(kDisableLocalSecurityName));
    const auto enforceSecurity
        = reinterpret_cast<NP_LocalSecurityFuncPtr>(cfBundle->functionPointerForName(kEnforceLocalSecurityName));
    if (!initialize || !getEntryPoints || !NPP_Shutdown) {
        clearEntryPoints();
        cfBundle->unloadExecutable();
        return false;
    }

    initBrowserFuncsRecord();
    if (initialize(&browserFuncs) != NPERR_NO_ERROR) {
        clearEntryPoints();
        cfBundle->unloadExecutable();
        return false;
    }
    pluginFuncs = NPPluginFuncs {};
    if (getEntryPoints(&pluginFuncs) != NPERR_NO_ERROR) {
        // Initialised but unusable: let it release what it set up before its code goes.
        NPP_Shutdown();
        clearEntryPoints();
        cfBundle->unloadExecutable();
        return false;
    }

    NPP_New = pluginFuncs.newp;
    NPP_Destroy = pluginFuncs.destroy;
    NPP_SetWindow = pluginFuncs.setwindow;
    NPP_NewStream = pluginFuncs.newstream;
    NPP_DestroyStream = pluginFuncs.destroystream;
    NPP_StreamAsFile = pluginFuncs.asfile;
    NPP_WriteReady = pluginFuncs.writeready;
    NPP_Write = pluginFuncs.write;
    NPP_Print = pluginFuncs.print;
    NPP_HandleEvent = pluginFuncs.event;
    NPP_URLNotify = pluginFuncs.urlnotify;
    NPP_GetValue = pluginFuncs.getvalue;
    NPP_SetValue = pluginFuncs.setvalue;

    NP_DisableLocalSecurity = disableSecurity;
    NP_EnforceLocalSecurity = enforceSecurity;
    if (_enableSecurity) {
        if (NP_EnforceLocalSecurity)
            NP_EnforceLocalSecurity();
    } else if (NP_DisableLocalSecurity) {
        NP_DisableLocalSecurity();
    }
    _isLoaded = true;
    return true;
}

void NSFlashPlugin::clearEntryPoints()
{
    NPP_New = nullptr;
    NPP_Destroy = nullptr;
    NPP_SetWindow = nullptr;
    NPP_NewStream = nullptr;
    NPP_DestroyStream = nullptr;
    NPP_StreamAsFile = nullptr;
    NPP_WriteReady = nullptr;
    NPP_Write = nullptr;
    NPP_Print = nullptr;
    NPP_HandleEvent = nullptr;
    NPP_URLNotify = nullptr;
    NPP_GetValue = nullptr;
    NPP_SetValue = nullptr;
    NPP_Shutdown = nullptr;
    NP_DisableLocalSecurity = nullptr;
    NP_EnforceLocalSecurity = nullptr;
}

void NSFlashPlugin::unload()
{
    if (!_isLoaded)
        return;
    cfBundle->unloadExecutable();
    // Nothing may call into code that is gone.
    clearEntryPoints();
    _isLoaded = false;
    _isStarted = false;
}

void NSFlashPlugin::shutdown()
{
    if (!_isLoaded)
        return;
    if (NPP_Shutdown)
        NPP_Shutdown();
    unload();
}

void NSFlashPlugin::initBrowserFuncsRecord()
{
    browserFuncs = NPNetscapeFuncs {};
    browserFuncs.size = sizeof(NPNetscapeFuncs);
    browserFuncs.version = NPVERS_HAS_NPRUNTIME_SCRIPTING;
    browserFuncs.geturl = NPN_GetURL;
    browserFuncs.posturl = NPN_PostURL;
    browserFuncs.requestread = NPN_RequestRead;
    browserFuncs.newstream = NPN_NewStream;
    browserFuncs.write = NPN_Write;
    browserFuncs.destroystream = NPN_DestroyStream;
    browserFuncs.status = NPN_Status;
    browserFuncs.uagent = NPN_UserAgent;
    browserFuncs.memalloc = NPN_MemAlloc;
    browserFuncs.memfree = NPN_MemFree;
    browserFuncs.memflush = NPN_MemFlush;
    browserFuncs.reloadplugins = NPN_ReloadPlugins;
    browserFuncs.getJavaEnv = nullptr;
    browserFuncs.getJavaPeer = nullptr;
    browserFuncs.geturlnotify = NPN_GetURLNotify;
    browserFuncs.posturlnotify = NPN_PostURLNotify;
    browserFuncs.getvalue = NPN_GetValue;
    browserFuncs.setvalue = NPN_SetValue;
    browserFuncs.invalidaterect = NPN_InvalidateRect;
    browserFuncs.invalidateregion = NPN_InvalidateRegion;
    browserFuncs.forceredraw = NPN_ForceRedraw;
    browserFuncs.getstringidentifier = NPN_GetStringIdentifier;
    browserFuncs.getstringidentifiers = NPN_GetStringIdentifiers;
    browserFuncs.getintidentifier = NPN_GetIntIdentifier;
    browserFuncs.identifierisstring = NPN_IdentifierIsString;
    browserFuncs.utf8fromidentifier = NPN_UTF8FromIdentifier;
    browserFuncs.intfromidentifier = nullptr;
    browserFuncs.createobject = NPN_CreateObject;
    browserFuncs.retainobject = NPN_RetainObject;
    browserFuncs.releaseobject = NPN_ReleaseObject;
    browserFuncs.invoke = NPN_Invoke;
    browserFuncs.invokeDefault = NPN_InvokeDefault;
    browserFuncs.evaluate = NPN_Evaluate;
    browserFuncs.getproperty = NPN_GetProperty;
    browserFuncs.setproperty = NPN_SetProperty;
    browserFuncs.removeproperty = NPN_RemoveProperty;
    browserFuncs.hasproperty = NPN_HasProperty;
    browserFuncs.hasmethod = NPN_HasMethod;
    browserFuncs.releasevariantvalue = NPN_ReleaseVariantValue;
    browserFuncs.setexception = NPN_SetException;
}

// ---- Instance and events

bool NSFlashPlugin::callNew()
{
    if (!_isLoaded || !NPP_New)
        return false;
    // One instance per object: a running one goes before its record is reused.
    callDestroy();
    std::string mimeType = kMimeType;
    _isStarted = NPP_New(mimeType.data(), &instance, NP_EMBED, 0, nullptr, nullptr, nullptr) == NPERR_NO_ERROR;
    return _isStarted;
}

void NSFlashPlugin::callDestroy()
{
    if (!_isLoaded || !_isStarted)
        return;
    if (NPP_Destroy)
        NPP_Destroy(&instance, nullptr);
    _isStarted = false;
    _tcpSockets.reset(); // the instance's connections end with it
    _desktopFiles.reset(); // and its dialogs and transfers
}

QSize NSFlashPlugin::screenSize() const
{
    if (_screenSize.isValid())
        return _screenSize;
    const QScreen* screen = _contentView ? _contentView->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->size() : QSize();
}

MovieFiles* NSFlashPlugin::movieFiles()
{
    if (_fileHandler)
        return _fileHandler.get();
    if (!_desktopFiles)
        _desktopFiles = std::make_unique<DesktopFiles>(_contentView);
    _desktopFiles->setNetworkAllowed(_getURL);
    return _desktopFiles.get();
}

MovieSockets* NSFlashPlugin::movieSockets()
{
    if (_socketHandler)
        return _socketHandler.get();
    // Real connections only under the permission switch of the movie's requests.
    if (!_getURL)
        return nullptr;
    if (!_tcpSockets)
        _tcpSockets = std::make_unique<TcpSockets>();
    return _tcpSockets.get();
}

bool NSFlashPlugin::callSetWindow(NPWindow* window)
{
    if (!_isLoaded || !_isStarted || !NPP_SetWindow)
        return false;
    return NPP_SetWindow(&instance, window) == NPERR_NO_ERROR;
}

bool NSFlashPlugin::callHandleEvent(EventRecord* event)
{
    if (!_isLoaded || !_isStarted || !NPP_HandleEvent)
        return false;
    return NPP_HandleEvent(&instance, event) != 0;
}

// ---- Movie stream

QString NSFlashPlugin::movieName() const
{
    return QFileInfo(_moviePath).fileName();
}

QString NSFlashPlugin::movieFolder() const
{
    QString path = _moviePath;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

bool NSFlashPlugin::loadMovieAtPath(const QByteArray& movie, const QString& path)
{
    setMoviePath(path);
    return loadMovieWithNameWithNotifyData(movie, movieName(), nullptr);
}

bool NSFlashPlugin::loadMovieWithNameWithNotifyData(const QByteArray& data, const QString& name, void* notifyData)
{
    if (!_isLoaded || !_isStarted || !NPP_NewStream || !NPP_WriteReady || !NPP_Write || !NPP_DestroyStream)
        return false;
    // Stream offsets and counts are signed 32-bit.
    if (data.size() > std::numeric_limits<int32_t>::max() || _deliveryDepth >= kMaxDeliveryDepth)
        return false;
    struct DepthGuard {
        int& depth;
        explicit DepthGuard(int& d)
            : depth(d)
        {
            ++depth;
        }
        ~DepthGuard() { --depth; }
    } depthGuard(_deliveryDepth);

    const QByteArray url = QFile::encodeName(name); // the host's copy, valid for this delivery only
    const auto length = static_cast<int32_t>(data.size());
    NPStream stream {};
    stream.pdata = instance.pdata;
    stream.ndata = instance.ndata;
    stream.url = url.constData();
    stream.end = static_cast<uint32_t>(length);
    stream.lastmodified = 0;
    stream.notifyData = notifyData;

    std::string mimeType = kMimeType;
    uint16_t streamType = NP_NORMAL;
    if (NPP_NewStream(&instance, mimeType.data(), &stream, true, &streamType) != NPERR_NO_ERROR)
        return false;

    // The data is pushed whatever stream type the plug-in asked for; the plug-in only reads the buffer.
    char* bytes = const_cast<char*>(data.constData());
    bool delivered = true;
    int32_t offset = 0;
    int idleRounds = 0;
    while (offset < length) {
        const int32_t room = NPP_WriteReady(&instance, &stream);
        if (room <= 0) {
            delivered = false;
            break;
        }
        const int32_t count = std::min(length - offset, room);
        const int32_t taken = NPP_Write(&instance, &stream, offset, count, bytes + offset);
        if (taken < 0) {
            delivered = false;
            break;
        }
        // A plug-in that keeps offering room but never takes a byte would hold the player here for good.
        idleRounds = taken == 0 ? idleRounds + 1 : 0;
        if (idleRounds >= kMaxIdleWriteRounds) {
            delivered = false;
            break;
        }
        offset += std::min(count, taken);
    }
    // A cut-short stream is not reported as complete.
    NPP_DestroyStream(&instance, &stream, delivered ? NPRES_DONE : NPRES_NETWORK_ERR);
    return delivered;
}

// ---- URL requests

int NSFlashPlugin::targetFromCString(const char* target)
{
    if (!target)
        return TargetMovie;
    for (size_t code = 0; code < kTargetNames.size(); ++code) {
        if (equalsIgnoringAsciiCase(target, kTargetNames[code]))
            return int(code);
    }
    return TargetUnknown;
}

NPError NSFlashPlugin::getURLTarget(const char* url, const char* target)
{
    return getURLNotify(url, target, nullptr);
}

NPError NSFlashPlugin::getURLNotify(const char* url, const char* target, void* notifyData)
{
    NPError result = NPERR_NO_ERROR;
    const int code = targetFromCString(target);
    // "FSCommand:name" with the arguments as the target: a command to the player, never a request.
    static constexpr char kCommandPrefix[] = "fscommand:";
    if (url && qstrnicmp(url, kCommandPrefix, sizeof kCommandPrefix - 1) == 0) {
        if (_commandHandler)
            _commandHandler(fromWindowsLatin1(url + sizeof kCommandPrefix - 1),
                target ? fromWindowsLatin1(target) : QString());
        return NPERR_NO_ERROR;
    }
    if (!_getURL) {
        result = NPERR_GENERIC_ERROR;
    } else if (_requestHandler && url) {
        MovieRequest request;
        request.url = fromWindowsLatin1(url);
        request.hasTarget = target != nullptr;
        request.target = target ? QByteArray(target) : QByteArray();
        return handleRequest(request, notifyData);
    } else if (code == TargetUnknown || !url) {
        result = NPERR_INVALID_PARAM;
    } else {
        const QString urlText = fromWindowsLatin1(url);
        if (code == TargetMovie) {
            result = fetchForMovie(urlText, notifyData);
        } else {
            // Every named window opens outside the player, in the desktop's application for the URL.
            const QUrl link(urlText, QUrl::StrictMode);
            if (!link.isValid() || link.scheme().isEmpty() || !QDesktopServices::openUrl(link))
                result = NPERR_INVALID_PARAM;
        }
    }
    if (notifyData && _isLoaded && _isStarted && NPP_URLNotify)
        NPP_URLNotify(&instance, url, result == NPERR_NO_ERROR ? NPRES_DONE : NPRES_NETWORK_ERR, notifyData);
    return result;
}

NPError NSFlashPlugin::fetchForMovie(const QString& urlText, void* notifyData)
{
    // The URL itself, else the text as a file path (relative to the working folder), else beside the movie.
    QByteArray contents;
    UrlLoader::contentsOfURL(urlText, &contents, _urlTimeoutMs);
    if (contents.isEmpty())
        contents = contentsOfRegularFile(urlText);
    if (contents.isEmpty())
        contents = contentsOfRegularFile(appendPathComponent(movieFolder(), urlText));
    if (contents.isEmpty())
        return NPERR_INVALID_PARAM;
    loadMovieWithNameWithNotifyData(contents, urlText, notifyData);
    return NPERR_NO_ERROR;
}

NPError NSFlashPlugin::postURLTarget(const char* url, const char* target, uint32_t len, const char* buf, NPBool file)
{
    return postURLNotify(url, target, len, buf, file, nullptr);
}

NPError NSFlashPlugin::postURLNotify(const char* url, const char* target, uint32_t len, const char* buf, NPBool file,
    void* notifyData)
{
    // Posting is allowed by its switch; the body is data in memory, never a file the plug-in names.
    if (!_postURL || !url || file || (len > 0 && !buf))
        return NPERR_GENERIC_ERROR;
    MovieRequest request;
    request.url = fromWindowsLatin1(url);
    request.hasTarget = target != nullptr;
    request.target = target ? QByteArray(target) : QByteArray();
    request.post = true;
    // Headers, a blank line, then the data; data without headers is taken whole.
    const QByteArray data(buf, qsizetype(len));
    const qsizetype end = data.indexOf("\r\n\r\n");
    request.body = data;
    if (end >= 0 && data.left(end).contains(':')) {
        request.body = data.mid(end + 4);
        for (const QByteArray& line : data.left(end).split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().toLower() == "content-type")
                request.contentType = line.mid(colon + 1).trimmed();
        }
    }
    if (_requestHandler)
        return handleRequest(request, notifyData);
    // To the network, over http or https, and the answer streamed to the movie like a fetched URL's data. A post
    // meant for a window has nowhere to show its answer outside a browser, so it is refused.
    NPError result = NPERR_NO_ERROR;
    if (target) {
        result = NPERR_INVALID_PARAM;
    } else {
        QByteArray answer;
        if (UrlLoader::postToURL(request.url, request.body, request.contentType, &answer, _urlTimeoutMs))
            loadMovieWithNameWithNotifyData(answer, request.url, notifyData);
        else
            result = NPERR_INVALID_PARAM;
    }
    if (notifyData && _isLoaded && _isStarted && NPP_URLNotify)
        NPP_URLNotify(&instance, url, result == NPERR_NO_ERROR ? NPRES_DONE : NPRES_NETWORK_ERR, notifyData);
    return result;
}

NPError NSFlashPlugin::handleRequest(const MovieRequest& request, void* notifyData)
{
    const std::optional<QByteArray> answer = _requestHandler(request);
    NPError result = NPERR_NO_ERROR;
    if (!request.hasTarget) {
        if (answer)
            loadMovieWithNameWithNotifyData(*answer, request.url, notifyData);
        else
            result = NPERR_INVALID_PARAM;
    }
    if (notifyData && _isLoaded && _isStarted && NPP_URLNotify) {
        const QByteArray url = request.url.toUtf8();
        NPP_URLNotify(&instance, url.constData(), result == NPERR_NO_ERROR ? NPRES_DONE : NPRES_NETWORK_ERR, notifyData);
    }
    return result;
}

// ---- Browser requests

void NSFlashPlugin::status(const char* message)
{
    // Passed on after the plug-in's call returns: whoever listens may unload the plug-in.
    if (message && std::strcmp(message, kMovieStoppedStatus) == 0 && _contentView)
        QMetaObject::invokeMethod(_contentView, "movieStopped", Qt::QueuedConnection);
}

void NSFlashPlugin::markNeedsDisplay(int left, int top, int right, int bottom)
{
    if (!_contentView)
        return;
    const QRect area(QPoint(left, top), QSize(right - left, bottom - top));
    if (area.isEmpty())
        return;
    _contentView->update(area);
}

void NSFlashPlugin::invalidateRect(const NPRect* rect)
{
    if (!rect)
        return;
    markNeedsDisplay(rect->left, rect->top, rect->right, rect->bottom);
}

void NSFlashPlugin::invalidateRegion(NPRegion region)
{
    if (!region || !_contentView)
        return;
    Rect bounds {};
    GetRegionBounds(static_cast<RgnHandle>(region), &bounds);
    markNeedsDisplay(bounds.left, bounds.top, bounds.right, bounds.bottom);
}

void NSFlashPlugin::forceRedraw()
{
    // Paints at once, so the plug-in has drawn before the call returns.
    if (_contentView)
        _contentView->repaint();
}

// ---- Scripting

NPObject* NSFlashPlugin::getScriptableObject()
{
    if (!_isLoaded || !_isStarted || !NPP_GetValue)
        return nullptr;
    NPObject* object = nullptr;
    NPP_GetValue(&instance, NPPVpluginScriptableNPObject, &object);
    return object;
}

bool NSFlashPlugin::isObject(NPObject* object, NPIdentifier method)
{
    if (!object || !object->_class || !object->_class->hasMethod)
        return false;
    return object->_class->hasMethod(object, method);
}

bool NSFlashPlugin::invokeMethod(Method method, const NPVariant* args, uint32_t argCount, NPVariant* result)
{
    NPObject* object = getScriptableObject();
    if (!object || !object->_class || !object->_class->invoke)
        return false;
    return object->_class->invoke(object, methodIdentifier(method), args, argCount, result);
}

bool NSFlashPlugin::invokeMethodForInt(Method method, long* value)
{
    NPVariant result;
    VOID_TO_NPVARIANT(result);
    *value = 0;
    if (!invokeMethod(method, nullptr, 0, &result))
        return false;
    if (NPVARIANT_IS_INT32(result)) {
        *value = NPVARIANT_TO_INT32(result);
    } else if (NPVARIANT_IS_DOUBLE(result) && std::isfinite(NPVARIANT_TO_DOUBLE(result))) {
        *value = clampToInt32(long(std::clamp(NPVARIANT_TO_DOUBLE(result), -2147483648.0, 2147483647.0)));
    }
    return true;
}

bool NSFlashPlugin::isPlaying()
{
    NPVariant result;
    BOOLEAN_TO_NPVARIANT(false, result);
    if (!invokeMethod(MethodIsPlaying, nullptr, 0, &result))
        return false;
    // The Boolean's byte, read as a byte: a plug-in that wrote nothing, or false, leaves it 0.
    unsigned char written = 0;
    std::memcpy(&written, &result.value, 1);
    return written != 0;
}

bool NSFlashPlugin::play()
{
    NPVariant result;
    VOID_TO_NPVARIANT(result);
    return invokeMethod(MethodPlay, nullptr, 0, &result);
}

bool NSFlashPlugin::stopPlay()
{
    NPVariant result;
    VOID_TO_NPVARIANT(result);
    return invokeMethod(MethodStopPlay, nullptr, 0, &result);
}

long NSFlashPlugin::totalFrames()
{
    long frames = 0;
    return invokeMethodForInt(MethodTotalFrames, &frames) ? frames : 0;
}

long NSFlashPlugin::currentFrame()
{
    long frame = 0;
    return invokeMethodForInt(MethodCurrentFrame, &frame) ? frame : 0;
}

bool NSFlashPlugin::gotoFrame(long frame)
{
    const NPVariant args[] = { int32Variant(frame) };
    NPVariant result;
    VOID_TO_NPVARIANT(result);
    return invokeMethod(MethodGotoFrame, args, 1, &result);
}

bool NSFlashPlugin::rewind()
{
    NPVariant result;
    VOID_TO_NPVARIANT(result);
    return invokeMethod(MethodRewind, nullptr, 0, &result);
}

bool NSFlashPlugin::back()
{
    NPVariant result;
    VOID_TO_NPVARIANT(result);
    return invokeMethod(MethodBack, nullptr, 0, &result);
}

bool NSFlashPlugin::forward()
{
    NPVariant result;
    VOID_TO_NPVARIANT(result);
    return invokeMethod(MethodForward, nullptr, 0, &result);
}

bool NSFlashPlugin::pan(long x, long y, long mode)
{
    const NPVariant args[] = { int32Variant(x), int32Variant(y), int32Variant(mode) };
    NPVariant result;
    VOID_TO_NPVARIANT(result);
    return invokeMethod(MethodPan, args, 3, &result);
}

bool NSFlashPlugin::zoom(long percent)
{
    const NPVariant args[] = { int32Variant(percent) };
    NPVariant result;
    VOID_TO_NPVARIANT(result);
    return invokeMethod(MethodZoom, args, 1, &result);
}

bool NSFlashPlugin::setZoomRect(long left, long top, long right, long bottom)
{
    const NPVariant args[] = { int32Variant(left), int32Variant(top), int32Variant(right), int32Variant(bottom) };
    NPVariant result;
    VOID_TO_NPVARIANT(result);
    return invokeMethod(MethodSetZoomRect, args, 4, &result);
}

int NSFlashPlugin::flashQuality()
{
    const NPVariant args[] = { stringVariant(kRootTarget), int32Variant(kQualityProperty) };
    NPVariant result;
    VOID_TO_NPVARIANT(result);
    if (!invokeMethod(MethodTGetProperty, args, 2, &result) || !NPVARIANT_IS_STRING(result))
        return QualityLow;
    const NPString& text = NPVARIANT_TO_STRING(result);
    if (!text.UTF8Characters)
        return QualityLow;
    QString quality = QString::fromUtf8(text.UTF8Characters, qsizetype(text.UTF8Length));
    // A length that counts the terminating NUL, as this host's own strings do, still names the quality.
    while (quality.endsWith(QChar(0)))
        quality.chop(1);
    if (quality.compare(QLatin1String("HIGH"), Qt::CaseInsensitive) == 0)
        return QualityHigh;
    if (quality.compare(QLatin1String("MEDIUM"), Qt::CaseInsensitive) == 0)
        return QualityMedium;
    return QualityLow;
}

bool NSFlashPlugin::setFlashQuality(int quality)
{
    const NPString& name = quality == QualityHigh ? kQualityHigh
        : quality == QualityMedium               ? kQualityMedium
                                                 : kQualityLow;
    const NPVariant args[] = { stringVariant(kRootTarget), int32Variant(kQualityProperty), stringVariant(name) };
    NPVariant result;
    VOID_TO_NPVARIANT(result);
    return invokeMethod(MethodTSetProperty, args, 3, &result);
}
