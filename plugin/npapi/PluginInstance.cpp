#include "npapi/PluginInstance.h"
#include "npapi/HostScripting.h"

#include "npextensions.h"

#include "avm1/Loading.h"
#include "avm1/Machine.h"
#include "avm1/builtins/Builtins.h"
#include "avm1/builtins/TextEditing.h"
#include "render/EditText.h"
#include "npapi/MethodsOnly.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>

namespace reelfinch::plugin {

namespace {

NPNetscapeFuncs g_browser {};
bool g_haveBrowser = false;
bool g_enforceLocalSecurity = true;

// The quality property of the movie's root, and its three texts.
constexpr int32_t kQualityProperty = 19;
// The key codes scripts know the mouse buttons by.
constexpr int kMainButtonKey = 1;
constexpr int kMiddleButtonKey = 4;
constexpr const char* kQualityNames[] = { "LOW", "MEDIUM", "HIGH" };
constexpr const char* kRootTarget = "/";
constexpr const char* kFileScheme = "file:";

// The scriptable object: an NPObject that leads back to its instance (null once the instance is gone).
struct ScriptObject : NPObject {
    PluginInstance* instance = nullptr;
};

NPObject* AllocateObject(NPP, NPClass*)
{
    return new (std::nothrow) ScriptObject;
}

void DeallocateObject(NPObject* object)
{
    delete static_cast<ScriptObject*>(object);
}

void InvalidateObject(NPObject* object)
{
    static_cast<ScriptObject*>(object)->instance = nullptr;
}

std::string NameOf(NPIdentifier identifier)
{
    if (!g_haveBrowser || !g_browser.utf8fromidentifier || !identifier)
        return {};
    NPUTF8* name = g_browser.utf8fromidentifier(identifier);
    if (!name)
        return {};
    std::string result = name;
    if (g_browser.memfree)
        g_browser.memfree(name);
    return result;
}

bool HasMethod(NPObject* object, NPIdentifier identifier)
{
    auto* script = static_cast<ScriptObject*>(object);
    return script && script->instance && script->instance->hasMethod(NameOf(identifier));
}

bool Invoke(NPObject* object, NPIdentifier identifier, const NPVariant* args, uint32_t count, NPVariant* result)
{
    auto* script = static_cast<ScriptObject*>(object);
    if (!script || !script->instance)
        return false;
    return script->instance->invoke(NameOf(identifier), args, count, result);
}

using namespace methods_only;

NPClass g_scriptClass = {
    NP_CLASS_STRUCT_VERSION,
    AllocateObject,
    DeallocateObject,
    InvalidateObject,
    HasMethod,
    Invoke,
    NoDefault,
    NoProperty,
    NoGetProperty,
    NoSetProperty,
    NoProperty,
};

// Text of a string argument, without the terminating NUL its length may count.
bool StringArg(const NPVariant& v, std::string& out)
{
    if (v.type != NPVariantType_String)
        return false;
    const NPString& s = v.value.stringValue;
    out.assign(
        s.UTF8Characters ? s.UTF8Characters : "", s.UTF8Characters ? strnlen(s.UTF8Characters, s.UTF8Length) : 0);
    return true;
}

bool IntArg(const NPVariant& v, int32_t& out)
{
    if (v.type == NPVariantType_Int32) {
        out = v.value.intValue;
        return true;
    }
    if (v.type == NPVariantType_Double && v.value.doubleValue >= INT32_MIN && v.value.doubleValue <= INT32_MAX) {
        out = int32_t(v.value.doubleValue);
        return true;
    }
    return false;
}

bool EqualsIgnoringCase(const std::string& a, const char* b)
{
    const size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool HasScheme(const std::string& url)
{
    const size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    return std::all_of(url.begin(), url.begin() + long(colon),
        [](unsigned char c) { return std::isalnum(c) || c == '+' || c == '-' || c == '.'; });
}

std::string StripFileScheme(const std::string& url)
{
    if (url.size() >= std::strlen(kFileScheme)
        && EqualsIgnoringCase(url.substr(0, std::strlen(kFileScheme)), kFileScheme)) {
        std::string path = url.substr(std::strlen(kFileScheme));
        // file:///path and file://localhost/path name the same file as /path.
        if (path.rfind("//", 0) == 0) {
            const size_t slash = path.find('/', 2);
            path = slash == std::string::npos ? std::string() : path.substr(slash);
        }
        return path;
    }
    return url;
}

// Removes "." and ".." parts; false when ".." climbs above the start.
bool NormalisePath(const std::string& path, std::string& out)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (parts.empty())
                return false;
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    out.clear();
    for (const std::string& part : parts)
        out += "/" + part;
    return true;
}

} // namespace

NPError InitializeBrowser(const NPNetscapeFuncs* browser)
{
    if (!browser)
        return NPERR_INVALID_FUNCTABLE_ERROR;
    if ((browser->version >> 8) > NP_VERSION_MAJOR)
        return NPERR_INCOMPATIBLE_VERSION_ERROR;
    // The table must reach the last entry this plug-in calls.
    if (browser->size < offsetof(NPNetscapeFuncs, releaseobject) + sizeof(browser->releaseobject))
        return NPERR_INVALID_FUNCTABLE_ERROR;
    g_browser = NPNetscapeFuncs {};
    std::memcpy(&g_browser, browser, std::min<size_t>(browser->size, sizeof(NPNetscapeFuncs)));
    g_haveBrowser = true;
    return NPERR_NO_ERROR;
}

void ShutdownBrowser()
{
    g_browser = NPNetscapeFuncs {};
    g_haveBrowser = false;
}

const NPNetscapeFuncs* Browser()
{
    return g_haveBrowser ? &g_browser : nullptr;
}

void SetLocalSecurity(bool enforce)
{
    g_enforceLocalSecurity = enforce;
}

bool LocalSecurityEnforced()
{
    return g_enforceLocalSecurity;
}

bool RequestAllowedUnderLocalSecurity(const std::string& moviePath, const std::string& url)
{
    if (url.empty())
        return false;
    const std::string movie = StripFileScheme(moviePath);
    const bool movieIsLocal = !HasScheme(movie);
    if (!movieIsLocal)
        return false; // a movie from the network plays no part in local security; its requests are not local
    std::string target = url;
    if (HasScheme(url)) {
        if (!(url.size() >= 5 && EqualsIgnoringCase(url.substr(0, 5), kFileScheme)))
            return false; // network, mail, script: never from a local movie
        target = StripFileScheme(url);
    }
    const size_t slash = movie.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : movie.substr(0, slash);
    const std::string joined = !target.empty() && target[0] == '/' ? target : folder + "/" + target;
    std::string normalised;
    std::string normalisedFolder;
    if (!NormalisePath(joined, normalised) || !NormalisePath(folder, normalisedFolder))
        return false;
    return normalised.size() > normalisedFolder.size()
        && normalised.compare(0, normalisedFolder.size(), normalisedFolder) == 0
        && normalised[normalisedFolder.size()] == '/';
}

PluginInstance::PluginInstance(NPP npp)
    : m_NPP(npp)
    , m_Loader(npp)
{
    m_Movie.onGetURL = [this](const std::string& url, const std::string& target) { requestURL(url, target); };
    m_Movie.onTrace = [this](const std::string& line) { traceLine(line); };
    m_Movie.onMachineCreated = [this](avm1::Machine& machine) { connectLoading(machine); };
}

void PluginInstance::connectLoading(avm1::Machine& machine)
{
    // Scripts are told the size of the screen the host shows the movie on, when the host knows it.
    NPReelfinchScreenSize screen {};
    if (g_haveBrowser && g_browser.getvalue
        && g_browser.getvalue(m_NPP, NPNVReelfinchScreenSize, &screen) == NPERR_NO_ERROR)
        avm1::SetScreenSize(machine, screen.width, screen.height);
    avm1::LoadHost host;
    host.request = [this](uint32_t id, const std::string& url, bool post, const std::string& contentType,
                       const std::string& body) {
        RequestLoader::Callbacks callbacks;
        callbacks.bytes = [this, id](const uint8_t* data, size_t size, uint32_t total) {
            if (avm1::Machine* m = m_Movie.scriptMachine())
                avm1::LoadReceived(*m, id, data, size, total);
        };
        callbacks.finished = [this, id](bool ok) {
            if (avm1::Machine* m = m_Movie.scriptMachine())
                avm1::LoadEnded(*m, id, ok);
        };
        return m_Loader.request(url, post ? "POST" : "GET", contentType, body, std::move(callbacks));
    };
    host.navigate = [this](const std::string& url, const std::string& target, bool post, const std::string& body) {
        m_Loader.navigate(url, target, post, "application/x-www-form-urlencoded", body);
    };
    // The movie's own connections go through the host's socket functions, when it has them.
    NPReelfinchSocketFuncs sockets {};
    if (g_haveBrowser && g_browser.getvalue
        && g_browser.getvalue(m_NPP, NPNVReelfinchSocketFunctions, &sockets) == NPERR_NO_ERROR && sockets.open
        && sockets.send && sockets.poll && sockets.close) {
        NPP npp = m_NPP;
        host.socketOpen = [npp, sockets](const std::string& name, int32_t port) {
            return sockets.open(npp, name.c_str(), port);
        };
        host.socketSend = [npp, sockets](int32_t id, const std::string& bytes) {
            return bytes.size() <= UINT32_MAX && sockets.send(npp, id, bytes.data(), uint32_t(bytes.size()));
        };
        host.socketPoll = [npp, sockets](int32_t id, std::string& received) {
            char buffer[16384];
            int32_t state = NPReelfinchSocketConnecting;
            // What one step takes at most; the rest waits for the next.
            for (int rounds = 0; rounds < 64; ++rounds) {
                const uint32_t n = std::min<uint32_t>(sockets.poll(npp, id, buffer, sizeof buffer, &state), sizeof buffer);
                received.append(buffer, n);
                if (n < sizeof buffer)
                    break;
            }
            switch (state) {
            case NPReelfinchSocketOpen: return avm1::SocketState::Open;
            case NPReelfinchSocketFailed: return avm1::SocketState::Failed;
            case NPReelfinchSocketClosed: return avm1::SocketState::Closed;
            default: return avm1::SocketState::Connecting;
            }
        };
        host.socketClose = [npp, sockets](int32_t id) { sockets.close(npp, id); };
    }
    // The host scripts the movie through the plug-in's scriptable object (ExternalInterface is available); it has
    // no page to run the movie's calls in: they are noted on the error output and answered with null.
    host.externalHost = true;
    host.externalCall = [](const std::string& name) {
        std::fprintf(stderr, "reelfinch: ExternalInterface.call(\"%s\"): the host has no page to answer it\n",
            name.substr(0, 200).c_str());
    };
    // The user's files (dialogs and transfers) go through the host's file functions, when it has them.
    NPReelfinchFileFuncs files {};
    if (g_haveBrowser && g_browser.getvalue
        && g_browser.getvalue(m_NPP, NPNVReelfinchFileFunctions, &files) == NPERR_NO_ERROR && files.start
        && files.poll && files.close) {
        NPP npp = m_NPP;
        host.fileStart = [npp, files](avm1::FileOperation kind, const std::string& url, const std::string& text,
                             int32_t file) { return files.start(npp, int32_t(kind), url.c_str(), text.c_str(), file); };
        host.filePoll = [npp, files](int32_t id) {
            char name[1024] = {};
            avm1::FileEvent event;
            const int32_t kind = files.poll(npp, id, &event.a, &event.b, name, sizeof name);
            name[sizeof name - 1] = '\0';
            event.kind = kind >= NPReelfinchFileEventNone && kind <= NPReelfinchFileEventEnded
                ? avm1::FileEventKind(kind)
                : avm1::FileEventKind::Ended;
            event.name = name;
            return event;
        };
        host.fileClose = [npp, files](int32_t id) { files.close(npp, id); };
    }
    avm1::SetLoadHost(machine, std::move(host));
}

void PluginInstance::deliverLoads()
{
    avm1::Machine* machine = m_Movie.scriptMachine();
    if (machine && avm1::LoadsPending(*machine)) {
        avm1::DeliverLoads(*machine);
        invalidate();
    }
}

void PluginInstance::urlNotify(const char*, NPReason reason, void* notifyData)
{
    m_Loader.urlNotify(reason, notifyData);
}

void PluginInstance::traceLine(const std::string& line)
{
    // The host's output function, asked for once; a host without it gets no lines.
    if (!m_TraceAsked) {
        m_TraceAsked = true;
        NPN_TraceLineProcPtr function = nullptr;
        if (g_haveBrowser && g_browser.getvalue
            && g_browser.getvalue(m_NPP, NPNVReelfinchTraceFunction, &function) == NPERR_NO_ERROR)
            m_TraceFunction = function;
    }
    if (m_TraceFunction)
        m_TraceFunction(m_NPP, line.c_str());
}

PluginInstance::~PluginInstance()
{
    if (m_Scriptable) {
        static_cast<ScriptObject*>(m_Scriptable)->instance = nullptr;
        if (g_haveBrowser && g_browser.releaseobject)
            g_browser.releaseobject(m_Scriptable);
    }
}

void PluginInstance::setWindow(const NPWindow* window)
{
    if (!window) {
        m_HaveWindow = false;
        return;
    }
    m_Window = *window;
    m_Port = window->window ? *static_cast<const NP_Port*>(window->window) : NP_Port {};
    m_HaveWindow = m_Port.port != nullptr;
    m_Movie.setViewSize(int(std::min<uint32_t>(window->width, INT16_MAX)), int(std::min<uint32_t>(window->height, INT16_MAX)));
}

void PluginInstance::newStream(NPStream* stream)
{
    if (m_Loader.owns(stream)) {
        m_Loader.newStream(stream);
        return;
    }
    // The first stream is the movie; later ones (answers to the movie's own requests) are taken and dropped.
    if (m_MovieStream || m_MovieReceived) {
        stream->pdata = nullptr;
        return;
    }
    m_MovieStream = stream;
    stream->pdata = this;
    m_MoviePath = stream->url ? stream->url : "";
    m_Loader.setMovieURL(m_MoviePath);
    m_Bytes.clear();
    m_StreamFailed = false;
    if (stream->end > 0 && stream->end <= kMaxMovieBytes)
        m_Bytes.reserve(stream->end);
}

int32_t PluginInstance::writeReady(NPStream*)
{
    return kWriteChunk;
}

int32_t PluginInstance::write(NPStream* stream, int32_t, int32_t len, const void* buffer)
{
    if (len < 0)
        return -1;
    if (m_Loader.owns(stream))
        return m_Loader.write(stream, len, buffer);
    if (stream != m_MovieStream || stream->pdata != this)
        return len;
    if (m_StreamFailed || !buffer || m_Bytes.size() + size_t(len) > kMaxMovieBytes) {
        m_StreamFailed = true;
        return -1;
    }
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    m_Bytes.insert(m_Bytes.end(), bytes, bytes + len);
    return len;
}

void PluginInstance::destroyStream(NPStream* stream, NPReason reason)
{
    if (m_Loader.owns(stream)) {
        m_Loader.destroyStream(stream, reason);
        return;
    }
    if (stream != m_MovieStream)
        return;
    m_MovieStream = nullptr;
    m_MovieReceived = true;
    if (reason == NPRES_DONE && !m_StreamFailed) {
        m_Movie.openSoundOutput(m_MoviePath.substr(m_MoviePath.find_last_of('/') + 1));
        m_Movie.movieUrl = m_MoviePath;
        m_Movie.load(m_Bytes.data(), m_Bytes.size());
    }
    m_Bytes.clear();
    m_Bytes.shrink_to_fit();
    invalidate();
}

bool PluginInstance::localPoint(const EventRecord& event, double& x, double& y) const
{
    if (!m_HaveWindow || event.where.h < 0 || event.where.v < 0)
        return false;
    // Global to pixel map, then to the plug-in's own area.
    x = double(event.where.h) - m_Port.port->screenOrigin.h + m_Port.portx;
    y = double(event.where.v) - m_Port.port->screenOrigin.v + m_Port.porty;
    return true;
}

void PluginInstance::updateCursor()
{
    const bool hand = m_Movie.handCursor();
    if (hand == m_HandCursor)
        return;
    m_HandCursor = hand;
    if (const NPNetscapeFuncs* browser = Browser(); browser && browser->setvalue)
        browser->setvalue(m_NPP, NPPVReelfinchHandCursor, hand ? reinterpret_cast<void*>(1) : nullptr);
}

int16_t PluginInstance::handleEvent(const EventRecord& event)
{
    switch (event.what) {
    case nullEvent: {
        bool changed = m_Movie.advanceTo(event.when);
        double x = 0;
        double y = 0;
        if (localPoint(event, x, y))
            changed = m_Movie.mouseEvent(x, y, (event.modifiers & btnState) == 0, viewWidth(), viewHeight()) || changed;
        if (changed)
            invalidate();
        updateCursor();
        deliverLoads();
        return 1;
    }
    case mouseDown:
    case mouseUp: {
        double x = 0;
        double y = 0;
        // The host marks a button other than the main one with btnState (the right one, pressing as the main one
        // does, with controlKey too); a release with btnState is the middle one's while that one is held. The middle one presses nothing in the
        // movie: scripts see it held through Key.isDown alone.
        const bool middle = (event.modifiers & btnState) && !(event.modifiers & controlKey)
            && (event.what == mouseDown || m_MiddleDown);
        if (middle)
            m_MiddleDown = event.what == mouseDown;
        if (avm1::Machine* machine = m_Movie.scriptMachine())
            avm1::MouseButtonKey(*machine, middle ? kMiddleButtonKey : kMainButtonKey, event.what == mouseDown);
        if (middle)
            return 1;
        if (localPoint(event, x, y) && m_Movie.mouseEvent(x, y, event.what == mouseDown, viewWidth(), viewHeight()))
            invalidate();
        updateCursor();
        return 1;
    }
    case osEvt: {
        // The host's report of a move: scripts hear it even where the mouse stays on the same point.
        double x = 0;
        double y = 0;
        if ((event.message & osEvtMessageMask) != kMouseMovedEventMessage || !localPoint(event, x, y))
            return 0;
        if (m_Movie.mouseEvent(x, y, (event.modifiers & btnState) == 0, viewWidth(), viewHeight(), true))
            invalidate();
        updateCursor();
        return 1;
    }
    case keyDown:
    case autoKey:
    case keyUp: {
        const bool down = event.what != keyUp;
        // The host's Edit menu sends its commands as Command-key presses: they act on the focused field and are
        // no keys the movie hears.
        if (event.what == keyDown && (event.modifiers & cmdKey) && editCommand(char(event.message & charCodeMask)))
            return 1;
        const auto macKey = uint8_t((event.message & keyCodeMask) >> keyCodeShift);
        const auto charCode = uint8_t(event.message & charCodeMask);
        if (m_Movie.keyEvent(down, macKey, charCode))
            invalidate();
        return 1;
    }
    case ReelfinchTextInputEvent: {
        avm1::Machine* machine = m_Movie.scriptMachine();
        if (machine && avm1::TextIntoFocus(*machine, char32_t(event.message))) {
            m_Movie.runQueuedActions();
            invalidate();
        }
        return 1;
    }
    case ReelfinchCompositionEvent: {
        // The composing text is the host's to tell while it hands the event over; one it cannot tell changes
        // nothing.
        avm1::Machine* machine = m_Movie.scriptMachine();
        char* text = nullptr;
        if (!machine || !g_haveBrowser || !g_browser.getvalue
            || g_browser.getvalue(m_NPP, NPNVReelfinchCompositionText, &text) != NPERR_NO_ERROR || !text)
            return 1;
        const std::u16string composing = ToUtf16(text);
        if (g_browser.memfree)
            g_browser.memfree(text);
        const std::optional<size_t> caret
            = event.message == ReelfinchNoCaret ? std::nullopt : std::optional<size_t>(event.message);
        if (avm1::ComposeInFocus(*machine, composing, caret)) {
            m_Movie.runQueuedActions();
            invalidate();
        }
        return 1;
    }
    case ReelfinchMouseWheelEvent: {
        double x = 0;
        double y = 0;
        if (localPoint(event, x, y))
            m_Movie.mouseEvent(x, y, (event.modifiers & btnState) == 0, viewWidth(), viewHeight());
        if (m_Movie.wheelEvent(static_cast<int32_t>(event.message)))
            invalidate();
        return 1;
    }
    case updateEvt:
        draw();
        return 1;
    case loseFocusEvent:
        m_Movie.focusLost();
        invalidate();
        return 1;
    case activateEvt:
    case getFocusEvent:
    case adjustCursorEvent:
        return 1;
    default:
        return 0;
    }
}

bool PluginInstance::editCommand(char command)
{
    avm1::Machine* machine = m_Movie.scriptMachine();
    if (command != 'v' && command != 'a' && command != 'c' && command != 'x')
        return false;
    // Cut and copy do not reach the host's clipboard yet: they are taken, so no letter is typed for them.
    if (!machine || command == 'c' || command == 'x')
        return true;
    bool changed = command == 'a';
    if (command == 'a') {
        avm1::SelectAllInFocus(*machine);
    } else {
        char* text = nullptr;
        if (g_haveBrowser && g_browser.getvalue
            && g_browser.getvalue(m_NPP, NPNVReelfinchClipboardText, &text) == NPERR_NO_ERROR && text) {
            changed = avm1::PasteIntoFocus(*machine, ToUtf16(text));
            if (g_browser.memfree)
                g_browser.memfree(text);
        }
    }
    if (changed) {
        m_Movie.runQueuedActions();
        invalidate();
    }
    return true;
}

void PluginInstance::draw()
{
    if (!m_HaveWindow || !m_Port.port)
        return;
    GrafPort* port = m_Port.port;
    const PixMap& map = port->portPixMap;
    if (!map.baseAddr || port->pixelWidth <= 0 || port->pixelHeight <= 0)
        return;
    DrawTarget target;
    target.pixels = map.baseAddr;
    target.width = port->pixelWidth;
    target.height = port->pixelHeight;
    target.stride = map.rowBytes;
    target.area
        = { -m_Port.portx, -m_Port.porty, -m_Port.portx + int(m_Window.width), -m_Port.porty + int(m_Window.height) };
    // The window's clip rectangle (pixel map coordinates) and the port's clip region (local coordinates).
    const PixelRect windowClip { m_Window.clipRect.left, m_Window.clipRect.top, m_Window.clipRect.right,
        m_Window.clipRect.bottom };
    const int localToPixelX = -port->portBounds.left;
    const int localToPixelY = -port->portBounds.top;
    for (const Rect& r : port->clipRgn.rects) {
        PixelRect p { std::max(int(r.left) + localToPixelX, windowClip.left),
            std::max(int(r.top) + localToPixelY, windowClip.top),
            std::min(int(r.right) + localToPixelX, windowClip.right),
            std::min(int(r.bottom) + localToPixelY, windowClip.bottom) };
        if (!p.empty())
            target.clip.push_back(p);
    }
    if (target.clip.empty())
        return;
    m_Movie.draw(target);
}

void PluginInstance::invalidate()
{
    if (!g_haveBrowser || !g_browser.invalidaterect || !m_HaveWindow)
        return;
    NPRect rect { 0, 0, uint16_t(std::min<uint32_t>(m_Window.height, UINT16_MAX)),
        uint16_t(std::min<uint32_t>(m_Window.width, UINT16_MAX)) };
    g_browser.invalidaterect(m_NPP, &rect);
}

void PluginInstance::requestURL(const std::string& url, const std::string& target)
{
    // A movie's command to its host ("FSCommand:name", the arguments as the target) is no request for data:
    // the host answers the commands it knows and ignores the rest.
    if (IsHostCommand(url)) {
        if (g_haveBrowser && g_browser.geturl)
            g_browser.geturl(m_NPP, url.c_str(), target.c_str());
        return;
    }
    // A window to open (an empty name: the host's own); local security is judged by the loader.
    m_Loader.navigate(url, target, false, std::string(), std::string());
}

NPObject* PluginInstance::scriptableObject()
{
    if (!m_Scriptable && g_haveBrowser && g_browser.createobject) {
        m_Scriptable = g_browser.createobject(m_NPP, &g_scriptClass);
        if (m_Scriptable)
            static_cast<ScriptObject*>(m_Scriptable)->instance = this;
    }
    return m_Scriptable;
}

namespace {

constexpr const char* kMethodNames[] = {
    "IsPlaying",
    "Play",
    "StopPlay",
    "TotalFrames",
    "CurrentFrame",
    "GotoFrame",
    "Rewind",
    "Back",
    "Forward",
    "Pan",
    "Zoom",
    "SetZoomRect",
    "TSetProperty",
    "TGetProperty",
};

} // namespace

bool PluginInstance::hasMethod(const std::string& name) const
{
    return std::find_if(std::begin(kMethodNames), std::end(kMethodNames), [&](const char* m) { return name == m; })
        != std::end(kMethodNames)
        || IsHostMethod(name) || hasCallback(name);
}

bool PluginInstance::hasCallback(const std::string& name) const
{
    avm1::Machine* machine = const_cast<MoviePlayer&>(m_Movie).scriptMachine();
    return machine && avm1::HasExternalCallback(*machine, name);
}

// A function a script named with ExternalInterface.addCallback: the host's arguments become script values, the
// function's answer a host value (objects as their text).
bool PluginInstance::invokeCallback(const std::string& name, const NPVariant* args, uint32_t count, NPVariant* result)
{
    avm1::Machine* machine = m_Movie.scriptMachine();
    if (!machine || !avm1::HasExternalCallback(*machine, name))
        return false;
    avm1::Machine& m = *machine;
    std::vector<avm1::Value> values;
    for (uint32_t i = 0; i < count; ++i) {
        const NPVariant& v = args[i];
        switch (v.type) {
        case NPVariantType_Bool: values.emplace_back(bool(v.value.boolValue)); break;
        case NPVariantType_Int32: values.emplace_back(double(v.value.intValue)); break;
        case NPVariantType_Double: values.emplace_back(v.value.doubleValue); break;
        case NPVariantType_String:
            values.emplace_back(m.str(std::string(v.value.stringValue.UTF8Characters, v.value.stringValue.UTF8Length)));
            break;
        case NPVariantType_Null: values.push_back(avm1::Value::null()); break;
        default: values.emplace_back(); break;
        }
    }
    avm1::Value answer;
    if (!avm1::CallExternalCallback(m, name, values, answer))
        return false;
    if (answer.isUndefined()) {
        VOID_TO_NPVARIANT(*result);
    } else if (answer.isNull()) {
        NULL_TO_NPVARIANT(*result);
    } else if (answer.isBool()) {
        BOOLEAN_TO_NPVARIANT(answer.asBool(), *result);
    } else if (answer.isNumber()) {
        DOUBLE_TO_NPVARIANT(answer.asNumber(), *result);
    } else {
        m_ResultText = m.toString(answer);
        if (m.unwinding()) {
            m.m_Unwind = avm1::Unwind::None;
            m.m_Thrown = avm1::Value();
        }
        STRINGN_TO_NPVARIANT(m_ResultText.c_str(), uint32_t(m_ResultText.size()), *result);
    }
    invalidate();
    return true;
}

bool PluginInstance::invoke(const std::string& name, const NPVariant* args, uint32_t count, NPVariant* result)
{
    if (!result || (count > 0 && !args))
        return false;
    VOID_TO_NPVARIANT(*result);
    const int framesBefore = m_Movie.currentFrame();
    bool ok = false;
    int32_t a[4] = { 0, 0, 0, 0 };
    auto ints = [&](uint32_t n) {
        if (count < n)
            return false;
        for (uint32_t i = 0; i < n; ++i)
            if (!IntArg(args[i], a[i]))
                return false;
        return true;
    };
    if (name == "IsPlaying") {
        BOOLEAN_TO_NPVARIANT(m_Movie.isPlaying(), *result);
        ok = true;
    } else if (name == "Play") {
        m_Movie.play();
        ok = m_Movie.isLoaded();
    } else if (name == "StopPlay") {
        m_Movie.stop();
        ok = m_Movie.isLoaded();
    } else if (name == "TotalFrames") {
        INT32_TO_NPVARIANT(m_Movie.totalFrames(), *result);
        ok = true;
    } else if (name == "CurrentFrame") {
        INT32_TO_NPVARIANT(m_Movie.currentFrame(), *result);
        ok = true;
    } else if (name == "GotoFrame") {
        ok = ints(1) && m_Movie.gotoFrame(a[0]);
    } else if (name == "Rewind") {
        ok = m_Movie.rewind();
    } else if (name == "Back") {
        ok = m_Movie.back();
    } else if (name == "Forward") {
        ok = m_Movie.forward();
    } else if (name == "Pan") {
        ok = ints(3) && m_Movie.pan(a[0], a[1], a[2], viewWidth(), viewHeight());
    } else if (name == "Zoom") {
        ok = ints(1) && m_Movie.zoom(a[0]);
    } else if (name == "SetZoomRect") {
        ok = ints(4) && m_Movie.setZoomRect(a[0], a[1], a[2], a[3]);
    } else if (name == "TSetProperty" || name == "TGetProperty") {
        std::string target;
        int32_t property = 0;
        if (count < 2 || !StringArg(args[0], target) || !IntArg(args[1], property))
            return false;
        if (property != kQualityProperty) {
            ok = InvokeHostMethod(m_Movie, name, args, count, result, m_ResultText);
            if (ok && name == "TSetProperty")
                invalidate();
            return ok;
        }
        if (target != kRootTarget && !target.empty())
            return false;
        if (name == "TGetProperty") {
            const char* text = kQualityNames[int(m_Movie.quality())];
            STRINGZ_TO_NPVARIANT(text, *result);
            return true;
        }
        std::string value;
        if (count < 3 || !StringArg(args[2], value))
            return false;
        for (int q = 0; q < 3; ++q)
            if (EqualsIgnoringCase(value, kQualityNames[q])) {
                m_Movie.setQuality(Quality(q));
                ok = true;
            }
        if (ok)
            invalidate();
        return ok;
    } else if (IsHostMethod(name)) {
        ok = InvokeHostMethod(m_Movie, name, args, count, result, m_ResultText);
        if (ok)
            invalidate();
        return ok;
    } else {
        return invokeCallback(name, args, count, result);
    }
    // Anything that may change the picture asks for a redraw.
    if (ok && name != "IsPlaying" && name != "TotalFrames" && name != "CurrentFrame"
        && (name == "Pan" || name == "Zoom" || name == "SetZoomRect" || m_Movie.currentFrame() != framesBefore
            || name == "GotoFrame" || name == "Rewind"))
        invalidate();
    return ok;
}

} // namespace reelfinch::plugin
