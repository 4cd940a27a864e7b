#include "npapi/EngineProxy.h"

#include "npapi/HostScripting.h"
#include "npapi/MethodsOnly.h"
#include "npapi/PluginInstance.h"

#include "avm1/builtins/SharedObjectStore.h"

#include "QuickDraw.h"
#include "sound/SoundOutput.h"
#include "npextensions.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace reelfinch::plugin {

using ipc::BrowserCallId;
using ipc::Message;
using ipc::MessageType;
using ipc::Reader;
using ipc::ReceiveStatus;
using ipc::Writer;

namespace {

// Hello options, as the engine reads them.
constexpr uint32_t kOptionEnforceLocalSecurity = 1;
constexpr uint32_t kOptionTestEntries = 2;
// The descriptor the engine finds its end of the socket pair at.
constexpr int kEngineChannelFd = 3;
// The descriptor the engine finds the sound capture file at, when the capture variable names one.
constexpr int kEngineCaptureFd = 4;
// The descriptor the engine finds the write end of its sound pipe at.
constexpr int kEngineAudioFd = 5;
// Descriptors handed to the engine are moved at least this high first, so that placing one at its number in
// the engine never overwrites another still to be placed.
constexpr int kSpawnFdFloor = 10;
// How long a stopping engine has to leave by itself before it is killed.
constexpr int kShutdownGraceMs = 1000;
// The picture of a stopped movie: a dark field with a lighter square in its middle.
constexpr uint32_t kStoppedField = 0xFF303030u;
constexpr uint32_t kStoppedMark = 0xFF909090u;

// ---- The scriptable object: leads to the proxy, null once the instance is gone.

struct ProxyObject : NPObject {
    EngineProxy* proxy = nullptr;
};

NPObject* AllocateObject(NPP, NPClass*)
{
    return new (std::nothrow) ProxyObject;
}

void DeallocateObject(NPObject* object)
{
    delete static_cast<ProxyObject*>(object);
}

void InvalidateObject(NPObject* object)
{
    static_cast<ProxyObject*>(object)->proxy = nullptr;
}

std::string NameOf(NPIdentifier identifier)
{
    const NPNetscapeFuncs* browser = Browser();
    if (!browser || !browser->utf8fromidentifier || !identifier)
        return {};
    NPUTF8* name = browser->utf8fromidentifier(identifier);
    if (!name)
        return {};
    std::string result = name;
    if (browser->memfree)
        browser->memfree(name);
    return result;
}

bool HasMethod(NPObject* object, NPIdentifier identifier)
{
    auto* o = static_cast<ProxyObject*>(object);
    return o && o->proxy && o->proxy->hasMethod(NameOf(identifier));
}

bool Invoke(NPObject* object, NPIdentifier identifier, const NPVariant* args, uint32_t count, NPVariant* result)
{
    auto* o = static_cast<ProxyObject*>(object);
    return o && o->proxy && o->proxy->invoke(NameOf(identifier), args, count, result);
}

using namespace methods_only;

NPClass g_proxyClass = {
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

// The rectangles of the port's pixel map the instance draws in: the port's clip region (local coordinates)
// within the window's clip rectangle (pixel map coordinates) and the pixel map.
std::vector<PixelRect> DrawnRects(const NPWindow& window)
{
    std::vector<PixelRect> out;
    const auto* npPort = static_cast<const NP_Port*>(window.window);
    if (!npPort || !npPort->port)
        return out;
    const GrafPort* port = npPort->port;
    const int toPixelX = -port->portBounds.left;
    const int toPixelY = -port->portBounds.top;
    for (const Rect& r : port->clipRgn.rects) {
        PixelRect p { std::max({ int(r.left) + toPixelX, int(window.clipRect.left), 0 }),
            std::max({ int(r.top) + toPixelY, int(window.clipRect.top), 0 }),
            std::min({ int(r.right) + toPixelX, int(window.clipRect.right), int(port->pixelWidth) }),
            std::min({ int(r.bottom) + toPixelY, int(window.clipRect.bottom), int(port->pixelHeight) }) };
        if (!p.empty())
            out.push_back(p);
    }
    return out;
}

GrafPort* PortOf(const NPWindow& window)
{
    const auto* npPort = static_cast<const NP_Port*>(window.window);
    return npPort ? npPort->port : nullptr;
}

} // namespace

// ---- Browser-side calls of the engine. Each entry reads its arguments, checks them, and makes the call on the
// host; adding a call is one function and one line of the table (and one id in ipc/Message.h).

struct BrowserCalls {
    static bool getURL(EngineProxy& proxy, Reader& r, Writer& reply)
    {
        std::string url;
        std::string target;
        r.string(url);
        r.string(target);
        if (!r.done())
            return false;
        NPError result = NPERR_GENERIC_ERROR;
        const NPNetscapeFuncs* browser = Browser();
        // The engine's own check of local security is not trusted: the request is checked again here.
        // A command to the host fetches nothing: it passes whatever the movie's location.
        if (!url.empty() && (IsHostCommand(url) || proxy.requestAllowed(url)) && browser && browser->geturl)
            result = browser->geturl(proxy.m_NPP, url.c_str(), target.empty() ? nullptr : target.c_str());
        reply.i32(result);
        return true;
    }

    static bool getURLNotify(EngineProxy& proxy, Reader& r, Writer& reply)
    {
        return proxy.requestURL(r, false, reply);
    }

    static bool postURLNotify(EngineProxy& proxy, Reader& r, Writer& reply)
    {
        return proxy.requestURL(r, true, reply);
    }

    static bool invalidateRect(EngineProxy& proxy, Reader& r, Writer&)
    {
        NPRect rect {};
        rect.top = r.u16();
        rect.left = r.u16();
        rect.bottom = r.u16();
        rect.right = r.u16();
        if (!r.done())
            return false;
        // Within the instance's own area only.
        rect.right = uint16_t(std::min<uint32_t>(rect.right, proxy.m_Window.width));
        rect.bottom = uint16_t(std::min<uint32_t>(rect.bottom, proxy.m_Window.height));
        const NPNetscapeFuncs* browser = Browser();
        if (proxy.m_HaveWindow && rect.left < rect.right && rect.top < rect.bottom && browser
            && browser->invalidaterect)
            browser->invalidaterect(proxy.m_NPP, &rect);
        return true;
    }

    static bool status(EngineProxy& proxy, Reader& r, Writer&)
    {
        std::string message;
        r.string(message);
        if (!r.done())
            return false;
        const NPNetscapeFuncs* browser = Browser();
        // The engine cannot pose as the proxy reporting its own end.
        if (message != kEngineStoppedStatus && browser && browser->status)
            browser->status(proxy.m_NPP, message.c_str());
        return true;
    }

    static bool forceRedraw(EngineProxy& proxy, Reader& r, Writer&)
    {
        if (!r.done())
            return false;
        const NPNetscapeFuncs* browser = Browser();
        if (browser && browser->forceredraw)
            browser->forceredraw(proxy.m_NPP);
        return true;
    }

    static bool trace(EngineProxy& proxy, Reader& r, Writer& reply)
    {
        std::string line;
        r.string(line, ipc::kMaxTraceLineBytes);
        if (!r.done())
            return false;
        // The host's output function, asked for once, as the instance in the host's process does.
        if (!proxy.m_TraceAsked) {
            proxy.m_TraceAsked = true;
            NPN_TraceLineProcPtr function = nullptr;
            const NPNetscapeFuncs* browser = Browser();
            if (browser && browser->getvalue
                && browser->getvalue(proxy.m_NPP, NPNVReelfinchTraceFunction, &function) == NPERR_NO_ERROR)
                proxy.m_TraceFunction = function;
        }
        if (proxy.m_TraceFunction)
            proxy.m_TraceFunction(proxy.m_NPP, line.c_str());
        reply.u8(proxy.m_TraceFunction != nullptr);
        return true;
    }

    static bool handCursor(EngineProxy& proxy, Reader& r, Writer&)
    {
        const uint8_t hand = r.u8();
        if (!r.done() || hand > 1)
            return false;
        const NPNetscapeFuncs* browser = Browser();
        if (browser && browser->setvalue)
            browser->setvalue(proxy.m_NPP, NPPVReelfinchHandCursor, hand ? reinterpret_cast<void*>(1) : nullptr);
        return true;
    }

    // A text the host hands out as a string of its own allocation, at most `limit` bytes of it; none while the
    // engine has no reason to ask or the host cannot tell.
    static std::optional<std::string> hostText(EngineProxy& proxy, bool asked, NPNVariable variable, uint32_t limit)
    {
        char* value = nullptr;
        const NPNetscapeFuncs* browser = Browser();
        if (!asked || !browser || !browser->getvalue
            || browser->getvalue(proxy.m_NPP, variable, &value) != NPERR_NO_ERROR || !value)
            return std::nullopt;
        std::string text(value, strnlen(value, limit));
        if (browser->memfree)
            browser->memfree(value);
        return text;
    }

    // The host's clipboard text for the engine's Paste.
    static bool clipboardText(EngineProxy& proxy, Reader& r, Writer& reply)
    {
        if (!r.done())
            return false;
        reply.string(
            hostText(proxy, proxy.m_Pasting, NPNVReelfinchClipboardText, ipc::kMaxClipboardBytes).value_or(""));
        return true;
    }

    // The input method's composing text, while the host hands over the event saying it changed.
    static bool compositionText(EngineProxy& proxy, Reader& r, Writer& reply)
    {
        if (!r.done())
            return false;
        const std::optional<std::string> text
            = hostText(proxy, proxy.m_Composing, NPNVReelfinchCompositionText, ipc::kMaxCompositionBytes);
        reply.u8(text ? 1 : 0);
        if (text)
            reply.string(*text);
        return true;
    }

    // The size of the screen showing the movie, as the host tells it.
    static bool screenSize(EngineProxy& proxy, Reader& r, Writer& reply)
    {
        if (!r.done())
            return false;
        NPReelfinchScreenSize size {};
        const NPNetscapeFuncs* browser = Browser();
        const bool known = browser && browser->getvalue
            && browser->getvalue(proxy.m_NPP, NPNVReelfinchScreenSize, &size) == NPERR_NO_ERROR;
        reply.u8(known ? 1 : 0);
        if (known)
            reply.i32(size.width).i32(size.height);
        return true;
    }

    // The engine's sound: one stream on the sound server playing its pipe, opened once.
    static bool soundOpen(EngineProxy& proxy, Reader& r, Writer& reply)
    {
        std::string name;
        r.string(name, ipc::kMaxStreamNameBytes);
        const uint32_t rate = r.u32();
        const uint8_t channels = r.u8();
        if (!r.done() || rate != uint32_t(sound::kMixRate) || channels != sound::kMixChannels)
            return false;
        // The name is only a label the server shows: printable characters of it.
        std::string label;
        for (char c : name)
            label += uint8_t(c) >= 0x20 && c != 0x7F ? c : '?';
        if (!proxy.m_Audio && !proxy.m_AudioTried && proxy.m_AudioFd >= 0) {
            proxy.m_AudioTried = true;
            proxy.m_Audio = sound::OpenPulsePlayback(proxy.m_AudioFd, label.empty() ? "movie" : label);
            if (!proxy.m_Audio)
                sound::SayNoSoundServer();
        }
        reply.u8(proxy.m_Audio ? 1 : 0);
        return true;
    }

    static bool soundPause(EngineProxy& proxy, Reader& r, Writer&)
    {
        const uint8_t paused = r.u8();
        if (!r.done() || paused > 1)
            return false;
        if (proxy.m_Audio)
            proxy.m_Audio->setPaused(paused != 0);
        return true;
    }

    // Stored objects: the path is checked here again, whatever the engine checked.
    static bool sharedObjectRead(EngineProxy& proxy, Reader& r, Writer& reply)
    {
        std::string path;
        r.string(path, ipc::kMaxSharedObjectPathBytes);
        if (!r.done() || !avm1::ValidSharedObjectPath(path))
            return false;
        const std::optional<std::string> bytes = proxy.store().read(path);
        reply.u8(bytes ? 1 : 0);
        if (bytes)
            reply.bytes(bytes->data(), bytes->size());
        return true;
    }

    static bool sharedObjectWrite(EngineProxy& proxy, Reader& r, Writer& reply)
    {
        std::string path;
        r.string(path, ipc::kMaxSharedObjectPathBytes);
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        r.bytes(data, size, ipc::kMaxSharedObjectBytes);
        if (!r.done() || !avm1::ValidSharedObjectPath(path))
            return false;
        const bool written
            = proxy.store().write(path, std::string_view(reinterpret_cast<const char*>(data), size));
        reply.u8(written ? 1 : 0);
        return true;
    }

    // The movie's sockets: the host's own functions, asked for at each call (a host without them refuses).
    static bool socketFunctions(EngineProxy& proxy, NPReelfinchSocketFuncs& table)
    {
        const NPNetscapeFuncs* browser = Browser();
        return browser && browser->getvalue
            && browser->getvalue(proxy.m_NPP, NPNVReelfinchSocketFunctions, &table) == NPERR_NO_ERROR && table.open
            && table.send && table.poll && table.close;
    }

    static bool socketOpen(EngineProxy& proxy, Reader& r, Writer& reply)
    {
        std::string host;
        r.string(host, ipc::kMaxSocketHostBytes);
        const int32_t port = r.i32();
        if (!r.done() || host.find('\0') != std::string::npos)
            return false;
        NPReelfinchSocketFuncs table {};
        reply.i32(socketFunctions(proxy, table) ? table.open(proxy.m_NPP, host.c_str(), port) : 0);
        return true;
    }

    static bool socketSend(EngineProxy& proxy, Reader& r, Writer& reply)
    {
        const int32_t id = r.i32();
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        r.bytes(data, size, ipc::kMaxSocketSendBytes);
        if (!r.done())
            return false;
        NPReelfinchSocketFuncs table {};
        const bool queued = socketFunctions(proxy, table)
            && table.send(proxy.m_NPP, id, reinterpret_cast<const char*>(data), size);
        reply.u8(queued ? 1 : 0);
        return true;
    }

    static bool socketPoll(EngineProxy& proxy, Reader& r, Writer& reply)
    {
        const int32_t id = r.i32();
        const uint32_t capacity = r.u32();
        if (!r.done() || capacity > ipc::kMaxSocketReadBytes)
            return false;
        std::vector<char> buffer(capacity);
        int32_t state = NPReelfinchSocketFailed;
        uint32_t size = 0;
        NPReelfinchSocketFuncs table {};
        if (socketFunctions(proxy, table))
            size = std::min(table.poll(proxy.m_NPP, id, buffer.data(), capacity, &state), capacity);
        if (state < NPReelfinchSocketConnecting || state > NPReelfinchSocketClosed)
            state = NPReelfinchSocketFailed;
        reply.i32(state).bytes(buffer.data(), size);
        return true;
    }

    static bool socketClose(EngineProxy& proxy, Reader& r, Writer&)
    {
        const int32_t id = r.i32();
        if (!r.done())
            return false;
        NPReelfinchSocketFuncs table {};
        if (socketFunctions(proxy, table))
            table.close(proxy.m_NPP, id);
        return true;
    }

    // The user's files: the host's own functions, asked for at each call (a host without them refuses).
    static bool fileFunctions(EngineProxy& proxy, NPReelfinchFileFuncs& table)
    {
        const NPNetscapeFuncs* browser = Browser();
        return browser && browser->getvalue
            && browser->getvalue(proxy.m_NPP, NPNVReelfinchFileFunctions, &table) == NPERR_NO_ERROR && table.start
            && table.poll && table.close;
    }

    static bool fileStart(EngineProxy& proxy, Reader& r, Writer& reply)
    {
        const int32_t kind = r.i32();
        std::string url;
        std::string text;
        r.string(url, ipc::kMaxFileTextBytes);
        r.string(text, ipc::kMaxFileTextBytes);
        const int32_t file = r.i32();
        if (!r.done() || url.find('\0') != std::string::npos || text.find('\0') != std::string::npos)
            return false;
        NPReelfinchFileFuncs table {};
        reply.i32(fileFunctions(proxy, table) ? table.start(proxy.m_NPP, kind, url.c_str(), text.c_str(), file) : 0);
        return true;
    }

    static bool filePoll(EngineProxy& proxy, Reader& r, Writer& reply)
    {
        const int32_t operation = r.i32();
        if (!r.done())
            return false;
        std::vector<char> text(ipc::kMaxFileTextBytes + 1, '\0');
        double a = 0;
        double b = 0;
        int32_t event = NPReelfinchFileEventEnded;
        NPReelfinchFileFuncs table {};
        if (fileFunctions(proxy, table))
            event = table.poll(proxy.m_NPP, operation, &a, &b, text.data(), uint32_t(text.size()));
        if (event < NPReelfinchFileEventNone || event > NPReelfinchFileEventEnded)
            event = NPReelfinchFileEventEnded;
        text.back() = '\0';
        reply.i32(event).f64(a).f64(b).string(std::string(text.data()));
        return true;
    }

    static bool fileClose(EngineProxy& proxy, Reader& r, Writer&)
    {
        const int32_t operation = r.i32();
        if (!r.done())
            return false;
        NPReelfinchFileFuncs table {};
        if (fileFunctions(proxy, table))
            table.close(proxy.m_NPP, operation);
        return true;
    }

    static bool sharedObjectRemove(EngineProxy& proxy, Reader& r, Writer&)
    {
        std::string path;
        r.string(path, ipc::kMaxSharedObjectPathBytes);
        if (!r.done() || !avm1::ValidSharedObjectPath(path))
            return false;
        proxy.store().remove(path);
        return true;
    }
};

namespace {

struct BrowserCallEntry {
    BrowserCallId id;
    bool (*serve)(EngineProxy& proxy, Reader& args, Writer& reply);
};

constexpr BrowserCallEntry kBrowserCalls[] = {
    { BrowserCallId::GetURL, BrowserCalls::getURL },
    { BrowserCallId::InvalidateRect, BrowserCalls::invalidateRect },
    { BrowserCallId::Status, BrowserCalls::status },
    { BrowserCallId::ForceRedraw, BrowserCalls::forceRedraw },
    { BrowserCallId::Trace, BrowserCalls::trace },
    { BrowserCallId::HandCursor, BrowserCalls::handCursor },
    { BrowserCallId::ClipboardText, BrowserCalls::clipboardText },
    { BrowserCallId::CompositionText, BrowserCalls::compositionText },
    { BrowserCallId::ScreenSize, BrowserCalls::screenSize },
    { BrowserCallId::GetURLNotify, BrowserCalls::getURLNotify },
    { BrowserCallId::PostURLNotify, BrowserCalls::postURLNotify },
    { BrowserCallId::SoundOpen, BrowserCalls::soundOpen },
    { BrowserCallId::SoundPause, BrowserCalls::soundPause },
    { BrowserCallId::SharedObjectRead, BrowserCalls::sharedObjectRead },
    { BrowserCallId::SharedObjectWrite, BrowserCalls::sharedObjectWrite },
    { BrowserCallId::SharedObjectRemove, BrowserCalls::sharedObjectRemove },
    { BrowserCallId::SocketOpen, BrowserCalls::socketOpen },
    { BrowserCallId::SocketSend, BrowserCalls::socketSend },
    { BrowserCallId::SocketPoll, BrowserCalls::socketPoll },
    { BrowserCallId::SocketClose, BrowserCalls::socketClose },
    { BrowserCallId::FileStart, BrowserCalls::fileStart },
    { BrowserCallId::FilePoll, BrowserCalls::filePoll },
    { BrowserCallId::FileClose, BrowserCalls::fileClose },
};

} // namespace

// A request of the engine whose answer comes back with its id: the id must be new and non-zero, the number of
// open requests bounded; the host sees a token of the proxy's own, never a value the engine chose.
bool EngineProxy::requestURL(Reader& r, bool post, Writer& reply)
{
    std::string url;
    std::string target;
    r.string(url);
    const uint8_t hasTarget = r.u8();
    r.string(target);
    const uint8_t* body = nullptr;
    uint32_t bodySize = 0;
    if (post)
        r.bytes(body, bodySize, ipc::kMaxPostBytes);
    const uint32_t id = r.u32();
    if (!r.done() || id == 0 || hasTarget > 1 || (!hasTarget && !target.empty()))
        return false;
    for (const auto& open : m_Requests)
        if (open->engineId == id)
            return false;
    NPError result = NPERR_GENERIC_ERROR;
    const NPNetscapeFuncs* browser = Browser();
    const bool callable = browser && (post ? browser->posturlnotify != nullptr : browser->geturlnotify != nullptr);
    if (!url.empty() && m_Requests.size() < ipc::kMaxOpenRequests && requestAllowed(url) && callable) {
        m_Requests.push_back(std::make_unique<OpenRequest>(OpenRequest { id }));
        OpenRequest* token = m_Requests.back().get();
        const char* targetText = hasTarget ? target.c_str() : nullptr;
        if (post) {
            // Empty data cannot be handed as a null buffer.
            static const char kNoBody = 0;
            result = browser->posturlnotify(m_NPP, url.c_str(), targetText, bodySize,
                body ? reinterpret_cast<const char*>(body) : &kNoBody, false, token);
        } else {
            result = browser->geturlnotify(m_NPP, url.c_str(), targetText, token);
        }
        // A request the host refused hears nothing more; one it answered already is gone.
        if (result != NPERR_NO_ERROR)
            std::erase_if(m_Requests, [token](const auto& open) { return open.get() == token; });
    }
    reply.i32(result);
    return true;
}

EngineProxy::OpenRequest* EngineProxy::findRequest(const void* notifyData) const
{
    for (const auto& open : m_Requests)
        if (open.get() == notifyData)
            return open.get();
    return nullptr;
}

void EngineProxy::urlNotify(const char* url, NPReason reason, void* notifyData)
{
    OpenRequest* open = findRequest(notifyData);
    if (!open)
        return;
    const uint32_t id = open->engineId;
    std::erase_if(m_Requests, [open](const auto& o) { return o.get() == open; });
    if (m_Stopped)
        return;
    Writer w;
    w.string(url ? std::string(url, strnlen(url, ipc::kMaxStringBytes)) : std::string()).u16(uint16_t(reason)).u32(id);
    Message reply;
    if (call(MessageType::URLNotify, w, reply) && !reply.payload.empty())
        fault();
}

bool EngineProxy::serveBrowserCall(const Message& request, Writer& reply)
{
    if (request.type != MessageType::BrowserCall)
        return false;
    Reader r(request.payload);
    const auto id = BrowserCallId(r.u16());
    if (!r.ok())
        return false;
    for (const BrowserCallEntry& entry : kBrowserCalls)
        if (entry.id == id)
            return entry.serve(*this, r, reply);
    return false;
}

std::string EngineProgramPath()
{
    Dl_info info {};
    if (!dladdr(reinterpret_cast<void*>(&EngineProgramPath), &info) || !info.dli_fname)
        return {};
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/" + kEngineProgramName;
}

EngineProxy::EngineProxy(NPP npp, bool enforceLocalSecurity)
    : m_NPP(npp)
    , m_EnforceLocalSecurity(enforceLocalSecurity)
    , m_Conversation(m_Channel)
{
    const char* test = std::getenv(kTestEntriesVariable);
    m_TestEntries = test && std::strcmp(test, "1") == 0;
    m_Conversation.setTimeout(kEngineAnswerTimeoutMs);
    m_Conversation.setMaxRequestsPerCall(kMaxEngineRequestsPerCall);
    m_Conversation.setServer([this](const Message& request, Writer& reply) {
        return serveBrowserCall(request, reply);
    });
}

EngineProxy::~EngineProxy()
{
    if (m_Scriptable) {
        static_cast<ProxyObject*>(m_Scriptable)->proxy = nullptr;
        const NPNetscapeFuncs* browser = Browser();
        if (browser && browser->releaseobject)
            browser->releaseobject(m_Scriptable);
    }
    stopEngine(true);
    m_Audio.reset();
    if (m_AudioFd >= 0)
        close(m_AudioFd);
    if (m_Pixels)
        munmap(m_Pixels, m_PixelBytes);
    if (m_PixelFd >= 0)
        close(m_PixelFd);
}

bool EngineProxy::start(const std::string& program)
{
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return false;
    // Each descriptor for the engine moves above the numbers it is placed at first (dup2 onto its own number
    // would also keep close-on-exec).
    const auto lift = [](int fd) {
        if (fd < 0 || fd >= kSpawnFdFloor)
            return fd;
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, kSpawnFdFloor);
        close(fd);
        return moved;
    };
    int engineEnd = lift(pair[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, engineEnd, kEngineChannelFd);
    // The engine reads nothing of the host's terminal and writes to it only its diagnostics (standard error).
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    // The engine may not open files for writing: a sound capture file is opened here and handed in.
    int captureFd = -1;
    if (const char* capture = std::getenv(sound::kCaptureVariable); capture && *capture)
        captureFd = lift(open(capture, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (captureFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, captureFd, kEngineCaptureFd);
    else
        posix_spawn_file_actions_addopen(&actions, kEngineCaptureFd, "/dev/null", O_RDONLY, 0);
    // The sound pipe: small, so that what the engine has mixed ahead stays well under the latency allowed.
    int audio[2] = { -1, -1 };
    if (pipe2(audio, O_CLOEXEC) == 0) {
        fcntl(audio[1], F_SETPIPE_SZ, sound::kPipeBytes);
        // Read from the sound server's requests, which must never wait for the engine.
        fcntl(audio[0], F_SETFL, O_NONBLOCK);
        m_AudioFd = audio[0];
        audio[1] = lift(audio[1]);
        posix_spawn_file_actions_adddup2(&actions, audio[1], kEngineAudioFd);
    } else {
        posix_spawn_file_actions_addopen(&actions, kEngineAudioFd, "/dev/null", O_RDONLY, 0);
    }
    char* argv[] = { const_cast<char*>(program.c_str()), nullptr };
    pid_t pid = -1;
    const int spawned = engineEnd >= 0 ? posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) : -1;
    posix_spawn_file_actions_destroy(&actions);
    if (engineEnd >= 0)
        close(engineEnd);
    if (captureFd >= 0)
        close(captureFd);
    if (audio[1] >= 0)
        close(audio[1]);
    if (spawned != 0) {
        close(pair[0]);
        return false;
    }
    m_Pid = pid;
    m_Channel.setFd(pair[0]);
    m_Channel.setSendTimeout(kEngineAnswerTimeoutMs);

    Writer hello;
    hello.u32(ipc::kProtocolVersion);
    hello.u32((m_EnforceLocalSecurity ? kOptionEnforceLocalSecurity : 0) | (m_TestEntries ? kOptionTestEntries : 0));
    Message reply;
    if (!call(MessageType::Hello, hello, reply))
        return false;
    Reader r(reply.payload);
    const uint32_t version = r.u32();
    const bool noNewPrivileges = r.u8() != 0;
    const bool seccomp = r.u8() != 0;
    r.u8(); // Landlock: used where the kernel has it
    // An engine that could not confine itself does not get the movie.
    if (!r.done() || version != ipc::kProtocolVersion || !noNewPrivileges || !seccomp) {
        fault();
        return false;
    }
    return call(MessageType::NewInstance, Writer(), reply) && reply.payload.empty();
}

bool EngineProxy::call(MessageType type, const Writer& payload, Message& reply, int passFd)
{
    if (m_Stopped || m_Pid <= 0)
        return false;
    if (m_Conversation.call(type, payload, reply, passFd) != ReceiveStatus::Ok) {
        fault();
        return false;
    }
    return !m_Stopped;
}

void EngineProxy::stopEngine(bool graceful)
{
    if (m_Pid <= 0 || m_Stopped)
        return;
    m_Stopped = true;
    if (graceful && !m_Conversation.broken() && m_Conversation.depth() == 0) {
        m_Conversation.setTimeout(kShutdownGraceMs);
        Message reply;
        m_Conversation.call(MessageType::Shutdown, Writer(), reply);
    }
    if (m_Channel.fd() >= 0)
        close(m_Channel.fd());
    m_Channel.setFd(-1);
    // The stream stops with the engine that fed it.
    m_Audio.reset();
    if (m_AudioFd >= 0)
        close(m_AudioFd);
    m_AudioFd = -1;
    const long long deadline = ipc::NowMs() + (graceful ? kShutdownGraceMs : 0);
    for (;;) {
        const pid_t done = waitpid(m_Pid, nullptr, WNOHANG);
        if (done == m_Pid || (done < 0 && errno != EINTR))
            return;
        if (ipc::NowMs() >= deadline)
            break;
        usleep(2000);
    }
    kill(m_Pid, SIGKILL);
    while (waitpid(m_Pid, nullptr, 0) < 0 && errno == EINTR) { }
}

void EngineProxy::fault()
{
    if (m_Stopped)
        return;
    stopEngine(false);
    const NPNetscapeFuncs* browser = Browser();
    if (browser && browser->status)
        browser->status(m_NPP, kEngineStoppedStatus);
    invalidateAll();
}

void EngineProxy::invalidateAll()
{
    const NPNetscapeFuncs* browser = Browser();
    if (!m_HaveWindow || !browser || !browser->invalidaterect)
        return;
    NPRect rect { 0, 0, uint16_t(std::min<uint32_t>(m_Window.height, UINT16_MAX)),
        uint16_t(std::min<uint32_t>(m_Window.width, UINT16_MAX)) };
    browser->invalidaterect(m_NPP, &rect);
}

avm1::SharedObjectStore& EngineProxy::store()
{
    if (!m_Store)
        m_Store = avm1::MakeFileStore(avm1::SharedObjectFolder());
    return *m_Store;
}

bool EngineProxy::requestAllowed(const std::string& url) const
{
    return !m_EnforceLocalSecurity || RequestAllowedUnderLocalSecurity(m_MoviePath, url);
}

void EngineProxy::setWindow(const NPWindow* window)
{
    m_HaveWindow = window != nullptr;
    if (window)
        m_Window = *window;
    if (m_Stopped)
        return;
    ensurePixelBuffer();
    Writer w;
    ipc::WriteWindow(w, ipc::CaptureWindow(window));
    Message reply;
    if (call(MessageType::SetWindow, w, reply) && !reply.payload.empty())
        fault();
}

// Whether the port's pixels live in shared memory the engine may be handed: a memfd sealed against shrinking
// and growing, at least as large as the pixel map.
static bool SharedPortPixels(const GrafPort& port)
{
    const int fd = port.pixelsMemory;
    if (fd < 0 || !port.portPixMap.baseAddr || port.portPixMap.rowBytes != port.pixelWidth * 4)
        return false;
    const int seals = fcntl(fd, F_GET_SEALS);
    struct stat info {};
    return seals >= 0 && (seals & (F_SEAL_SHRINK | F_SEAL_GROW)) == (F_SEAL_SHRINK | F_SEAL_GROW)
        && fstat(fd, &info) == 0 && size_t(info.st_size) >= size_t(port.pixelWidth) * size_t(port.pixelHeight) * 4;
}

// The engine draws into the port's own pixels when the host keeps them in shared memory; otherwise into a
// buffer of the port's size that the proxy copies from, sealed at its size so the engine can neither shrink it
// under the proxy's reads nor grow it.
bool EngineProxy::ensurePixelBuffer()
{
    GrafPort* port = m_HaveWindow ? PortOf(m_Window) : nullptr;
    if (!port || port->pixelWidth <= 0 || port->pixelHeight <= 0)
        return false;
    const bool direct = SharedPortPixels(*port);
    if (direct && m_DirectPixels == port->portPixMap.baseAddr && port->pixelWidth == m_PixelWidth
        && port->pixelHeight == m_PixelHeight)
        return true;
    if (!direct && m_Pixels && port->pixelWidth == m_PixelWidth && port->pixelHeight == m_PixelHeight)
        return true;
    if (m_Pixels)
        munmap(m_Pixels, m_PixelBytes);
    if (m_PixelFd >= 0)
        close(m_PixelFd);
    m_Pixels = nullptr;
    m_PixelFd = -1;
    m_DirectPixels = nullptr;
    m_PixelWidth = 0;
    m_PixelHeight = 0;
    if (direct) {
        m_DirectPixels = port->portPixMap.baseAddr;
        m_PixelWidth = port->pixelWidth;
        m_PixelHeight = port->pixelHeight;
        Writer w;
        w.i32(m_PixelWidth).i32(m_PixelHeight);
        Message reply;
        return call(MessageType::SetPixelBuffer, w, reply, port->pixelsMemory) && reply.payload.empty();
    }
    const size_t bytes = size_t(port->pixelWidth) * size_t(port->pixelHeight) * 4;
    const int fd = memfd_create("reelfinch-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return false;
    void* map = MAP_FAILED;
    if (ftruncate(fd, off_t(bytes)) == 0
        && fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) == 0)
        map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        close(fd);
        return false;
    }
    m_Pixels = map;
    m_PixelBytes = bytes;
    m_PixelFd = fd;
    m_PixelWidth = port->pixelWidth;
    m_PixelHeight = port->pixelHeight;
    Writer w;
    w.i32(m_PixelWidth).i32(m_PixelHeight);
    Message reply;
    return call(MessageType::SetPixelBuffer, w, reply, fd) && reply.payload.empty();
}

void EngineProxy::copyPixels()
{
    GrafPort* port = PortOf(m_Window);
    if (m_DirectPixels)
        return; // drawn in place
    if (!m_Pixels || !port || port->pixelWidth != m_PixelWidth || port->pixelHeight != m_PixelHeight)
        return;
    const PixMap& map = port->portPixMap;
    if (!map.baseAddr)
        return;
    const auto* from = static_cast<const uint8_t*>(m_Pixels);
    auto* to = reinterpret_cast<uint8_t*>(map.baseAddr);
    const size_t fromStride = size_t(m_PixelWidth) * 4;
    for (const PixelRect& r : DrawnRects(m_Window)) {
        const size_t rowBytes = size_t(r.right - r.left) * 4;
        for (int y = r.top; y < r.bottom; ++y)
            std::memcpy(to + size_t(y) * size_t(map.rowBytes) + size_t(r.left) * 4,
                from + size_t(y) * fromStride + size_t(r.left) * 4, rowBytes);
    }
}

void EngineProxy::drawStopped()
{
    GrafPort* port = m_HaveWindow ? PortOf(m_Window) : nullptr;
    if (!port || !port->portPixMap.baseAddr)
        return;
    const auto* npPort = static_cast<const NP_Port*>(m_Window.window);
    // The instance's area in pixel map coordinates, and a square a quarter of its smaller side in its middle.
    const int left = -npPort->portx;
    const int top = -npPort->porty;
    const int width = int(m_Window.width);
    const int height = int(m_Window.height);
    const int side = std::min(width, height) / 4;
    const int markLeft = left + (width - side) / 2;
    const int markTop = top + (height - side) / 2;
    const PixMap& map = port->portPixMap;
    for (const PixelRect& r : DrawnRects(m_Window)) {
        for (int y = r.top; y < r.bottom; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(map.baseAddr) + size_t(y) * size_t(map.rowBytes));
            for (int x = r.left; x < r.right; ++x) {
                const bool mark = x >= markLeft && x < markLeft + side && y >= markTop && y < markTop + side;
                row[x] = mark ? kStoppedMark : kStoppedField;
            }
        }
    }
}

NPError EngineProxy::newStream(NPStream* stream, uint16_t* stype)
{
    if (stype)
        *stype = NP_NORMAL;
    if (m_Stopped)
        return NPERR_GENERIC_ERROR;
    const uint32_t id = m_NextStream++;
    const std::string url = stream->url ? std::string(stream->url, strnlen(stream->url, ipc::kMaxStringBytes)) : "";
    const OpenRequest* request = stream->notifyData ? findRequest(stream->notifyData) : nullptr;
    // The first stream the engine did not ask for brings the movie; its address is what local security judges
    // requests against.
    if (!request && !m_MovieStreamSeen) {
        m_MovieStreamSeen = true;
        m_MoviePath = url;
    }
    Writer w;
    w.u32(id).u32(stream->end).string(url);
    if (request)
        w.u32(request->engineId);
    Message reply;
    if (!call(request ? MessageType::NewStreamNotify : MessageType::NewStream, w, reply))
        return NPERR_GENERIC_ERROR;
    if (!reply.payload.empty()) {
        fault();
        return NPERR_GENERIC_ERROR;
    }
    m_Streams[stream] = id;
    stream->pdata = this;
    return NPERR_NO_ERROR;
}

int32_t EngineProxy::writeReady(NPStream* stream)
{
    const auto it = m_Streams.find(stream);
    if (m_Stopped || it == m_Streams.end())
        return -1;
    Writer w;
    w.u32(it->second);
    Message reply;
    if (!call(MessageType::WriteReady, w, reply))
        return -1;
    Reader r(reply.payload);
    const int32_t room = r.i32();
    if (!r.done()) {
        fault();
        return -1;
    }
    return room < 0 ? -1 : std::min(room, ipc::kMaxWriteChunk);
}

int32_t EngineProxy::write(NPStream* stream, int32_t offset, int32_t len, const void* buffer)
{
    const auto it = m_Streams.find(stream);
    if (m_Stopped || it == m_Streams.end() || len < 0 || (len > 0 && !buffer))
        return -1;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    int32_t taken = 0;
    while (taken < len) {
        const int32_t piece = std::min(len - taken, ipc::kMaxWriteChunk);
        Writer w;
        w.u32(it->second).i32(offset + taken).bytes(bytes + taken, size_t(piece));
        Message reply;
        if (!call(MessageType::Write, w, reply))
            return -1;
        Reader r(reply.payload);
        const int32_t accepted = r.i32();
        if (!r.done() || accepted < -1 || accepted > piece) {
            fault();
            return -1;
        }
        if (accepted < 0)
            return -1;
        taken += accepted;
        if (accepted < piece)
            break;
    }
    return taken;
}

void EngineProxy::destroyStream(NPStream* stream, NPReason reason)
{
    const auto it = m_Streams.find(stream);
    if (it == m_Streams.end())
        return;
    const uint32_t id = it->second;
    m_Streams.erase(it);
    if (m_Stopped)
        return;
    Writer w;
    w.u32(id).u16(uint16_t(reason));
    Message reply;
    if (call(MessageType::DestroyStream, w, reply) && !reply.payload.empty())
        fault();
}

int16_t EngineProxy::handleEvent(const EventRecord& event)
{
    if (m_Stopped) {
        if (event.what != updateEvt)
            return 0;
        drawStopped();
        return 1;
    }
    if (event.what == updateEvt)
        ensurePixelBuffer();
    Writer w;
    ipc::WriteEvent(w, event);
    ipc::WriteWindow(w, ipc::CaptureWindow(m_HaveWindow ? &m_Window : nullptr));
    Message reply;
    m_Pasting = event.what == keyDown && (event.modifiers & cmdKey) && (event.message & charCodeMask) == 'v';
    m_Composing = event.what == ReelfinchCompositionEvent;
    const bool answered = call(MessageType::HandleEvent, w, reply);
    m_Pasting = false;
    m_Composing = false;
    if (!answered) {
        if (event.what == updateEvt)
            drawStopped();
        return event.what == updateEvt ? 1 : 0;
    }
    Reader r(reply.payload);
    const uint16_t handled = r.u16();
    if (!r.done() || handled > 1) {
        fault();
        return 0;
    }
    if (event.what == updateEvt)
        copyPixels();
    return int16_t(handled);
}

NPObject* EngineProxy::scriptableObject()
{
    const NPNetscapeFuncs* browser = Browser();
    if (!m_Scriptable && browser && browser->createobject) {
        m_Scriptable = browser->createobject(m_NPP, &g_proxyClass);
        if (m_Scriptable)
            static_cast<ProxyObject*>(m_Scriptable)->proxy = this;
    }
    return m_Scriptable;
}

bool EngineProxy::hasMethod(const std::string& name)
{
    if (m_TestEntries && name == kTestEnginePid)
        return true;
    if (m_Stopped || name.empty() || name.size() > ipc::kMaxStringBytes)
        return false;
    Writer w;
    w.string(name);
    Message reply;
    if (!call(MessageType::HasMethod, w, reply))
        return false;
    Reader r(reply.payload);
    const uint8_t has = r.u8();
    if (!r.done() || has > 1) {
        fault();
        return false;
    }
    return has != 0;
}

bool EngineProxy::invoke(const std::string& name, const NPVariant* args, uint32_t count, NPVariant* result)
{
    if (!result || (count > 0 && !args))
        return false;
    VOID_TO_NPVARIANT(*result);
    if (m_TestEntries && name == kTestEnginePid) {
        INT32_TO_NPVARIANT(int32_t(m_Pid), *result);
        return m_Pid > 0;
    }
    if (m_Stopped || name.empty() || name.size() > ipc::kMaxStringBytes || count > ipc::kMaxScriptArgs)
        return false;
    Writer w;
    w.string(name).u32(count);
    for (uint32_t i = 0; i < count; ++i)
        ipc::WriteVariant(w, args[i]);
    Message reply;
    if (!call(MessageType::Invoke, w, reply))
        return false;
    Reader r(reply.payload);
    const uint8_t ok = r.u8();
    NPVariant value;
    // A string answer stays readable until the next call: the host reads it and never frees it.
    if (!ipc::ReadVariant(r, value, m_ResultText) || !r.done() || ok > 1) {
        fault();
        return false;
    }
    *result = value;
    return ok != 0;
}

} // namespace reelfinch::plugin
