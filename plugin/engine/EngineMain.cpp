// reelfinch-engine: the movie engine in a process of its own. The plug-in's proxy starts it with one end of a
// socket pair as descriptor 3; it confines itself (see Sandbox.h) before it takes a single message, then plays
// the one plug-in instance the proxy asks for, answering each forwarded plug-in call and forwarding its own
// browser-side calls back. It draws into a shared pixel buffer the proxy hands it, laid out as the host's port.
#include "avm1/builtins/SharedObjectStore.h"
#include "engine/Sandbox.h"
#include "ipc/Conversation.h"
#include "ipc/Records.h"
#include "npapi/PluginInstance.h"
#include "sound/SoundOutput.h"

#include "npextensions.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace reelfinch;
using ipc::BrowserCallId;
using ipc::Message;
using ipc::MessageType;
using ipc::Reader;
using ipc::ReceiveStatus;
using ipc::Writer;

namespace {

constexpr int kChannelFd = 3;
// Where the sound capture file is, when the capture variable names one.
constexpr int kCaptureFd = 4;
// The pipe the movie's mixed sound goes to, played by the proxy.
constexpr int kAudioFd = 5;
// Hello options.
constexpr uint32_t kOptionEnforceLocalSecurity = 1;
constexpr uint32_t kOptionTestEntries = 2;
// Scripting names that only answer when the proxy asked for test entries: one loops without end, one tries
// what the confinement refuses.
constexpr const char* kTestHang = "ReelfinchTestHang";
constexpr const char* kTestProbe = "ReelfinchTestProbe";
constexpr const char* kTestCrash = "ReelfinchTestCrash";

class Engine
{
public:
    Engine()
        : m_Channel(kChannelFd)
        , m_Conversation(m_Channel)
    {
        m_Conversation.setAcceptDescriptors(true);
        m_Conversation.setServer([this](const Message& request, Writer& reply) { return serve(request, reply); });
    }

    ~Engine() { releasePixels(); }

    int run(const engine::SandboxState& sandbox)
    {
        m_Sandbox = sandbox;
        while (!m_Finished) {
            if (m_Conversation.serveOne() != ReceiveStatus::Ok)
                return m_Finished ? 0 : 1;
        }
        return 0;
    }

    // A browser-side call forwarded to the proxy; false when the conversation is over.
    bool browserCall(BrowserCallId id, Writer& args, Message& reply)
    {
        Writer payload;
        payload.u16(uint16_t(id));
        payload.raw(args.data().data(), args.data().size());
        return m_Conversation.call(MessageType::BrowserCall, payload, reply) == ReceiveStatus::Ok;
    }

    NPP npp() { return &m_NPP; }

    // The instance's own URL requests: the id each travels under, and its notifyData back.
    uint32_t openRequest(void* notifyData)
    {
        if (m_Requests.size() >= ipc::kMaxOpenRequests)
            return 0;
        do {
            ++m_NextRequest;
        } while (m_NextRequest == 0 || m_Requests.count(m_NextRequest));
        m_Requests[m_NextRequest] = notifyData;
        return m_NextRequest;
    }
    void closeRequest(uint32_t id) { m_Requests.erase(id); }

private:
    bool serve(const Message& request, Writer& reply);
    bool hello(Reader& r, Writer& reply);
    bool setWindow(Reader& r);
    bool setPixelBuffer(Reader& r);
    bool scripting(const Message& request, Reader& r, Writer& reply);
    NPStream* stream(uint32_t id);
    void applyWindow();
    void releasePixels();

    ipc::Channel m_Channel;
    ipc::Conversation m_Conversation;
    engine::SandboxState m_Sandbox;
    bool m_Finished = false;
    bool m_TestEntries = false;
    NPP_t m_NPP {};
    std::unique_ptr<plugin::PluginInstance> m_Instance;

    struct Stream {
        NPStream record {};
        std::string url;
    };
    std::map<uint32_t, std::unique_ptr<Stream>> m_Streams;
    std::map<uint32_t, void*> m_Requests;
    uint32_t m_NextRequest = 0;

    ipc::WindowState m_WindowState;
    GrafPort m_Port {};
    NP_Port m_NPPort {};
    NPWindow m_Window {};
    void* m_Pixels = nullptr;
    size_t m_PixelBytes = 0;
    int32_t m_PixelWidth = 0;
    int32_t m_PixelHeight = 0;
    std::string m_ResultText;
};

Engine* g_engine = nullptr;

// ---- The browser table the engine's instance calls: each entry forwards, or answers locally.

NPError ForwardGetURL(NPP, const char* url, const char* target)
{
    Writer args;
    args.string(url ? url : "").string(target ? target : "");
    Message reply;
    if (!g_engine || !g_engine->browserCall(BrowserCallId::GetURL, args, reply))
        return NPERR_GENERIC_ERROR;
    Reader r(reply.payload);
    const int32_t result = r.i32();
    return r.ok() ? NPError(result) : NPERR_GENERIC_ERROR;
}

// A request whose answer comes back as a stream and a notification: it travels under an id of the engine's,
// mapped back to the instance's notifyData when the answer arrives.
NPError ForwardRequest(BrowserCallId call, const char* url, const char* target, const char* body, uint32_t size,
    void* notifyData)
{
    if (!g_engine || !url)
        return NPERR_GENERIC_ERROR;
    if (call == BrowserCallId::PostURLNotify && (size > ipc::kMaxPostBytes || (size > 0 && !body)))
        return NPERR_INVALID_PARAM;
    const uint32_t id = g_engine->openRequest(notifyData);
    if (id == 0)
        return NPERR_OUT_OF_MEMORY_ERROR;
    Writer args;
    args.string(std::string(url, strnlen(url, ipc::kMaxStringBytes))).u8(target != nullptr);
    args.string(target ? std::string(target, strnlen(target, ipc::kMaxStringBytes)) : std::string());
    if (call == BrowserCallId::PostURLNotify)
        args.bytes(body, size);
    args.u32(id);
    Message reply;
    NPError result = NPERR_GENERIC_ERROR;
    if (g_engine->browserCall(call, args, reply)) {
        Reader r(reply.payload);
        const int32_t answer = r.i32();
        result = r.done() ? NPError(answer) : NPERR_GENERIC_ERROR;
    }
    // Refused: no answer will come (one that came already closed the request).
    if (result != NPERR_NO_ERROR)
        g_engine->closeRequest(id);
    return result;
}

NPError ForwardGetURLNotify(NPP, const char* url, const char* target, void* notifyData)
{
    return ForwardRequest(BrowserCallId::GetURLNotify, url, target, nullptr, 0, notifyData);
}

NPError ForwardPostURLNotify(NPP, const char* url, const char* target, uint32_t len, const char* buf, NPBool file,
    void* notifyData)
{
    // The engine has no files to post.
    if (file)
        return NPERR_INVALID_PARAM;
    return ForwardRequest(BrowserCallId::PostURLNotify, url, target, buf, len, notifyData);
}

void ForwardInvalidateRect(NPP, NPRect* rect)
{
    if (!rect || !g_engine)
        return;
    Writer args;
    args.u16(rect->top).u16(rect->left).u16(rect->bottom).u16(rect->right);
    Message reply;
    g_engine->browserCall(BrowserCallId::InvalidateRect, args, reply);
}

void ForwardStatus(NPP, const char* message)
{
    if (!g_engine)
        return;
    Writer args;
    args.string(message ? std::string(message, strnlen(message, ipc::kMaxStringBytes)) : std::string());
    Message reply;
    g_engine->browserCall(BrowserCallId::Status, args, reply);
}

void ForwardForceRedraw(NPP)
{
    if (!g_engine)
        return;
    Writer args;
    Message reply;
    g_engine->browserCall(BrowserCallId::ForceRedraw, args, reply);
}

// Whether the host takes script output: known from the proxy's first answer, assumed until then.
bool g_hostTakesTrace = true;

// Each line crosses at once, in the order the script printed it, as the host's function would have heard it.
void ForwardTrace(NPP, const char* line)
{
    if (!line || !g_engine || !g_hostTakesTrace)
        return;
    Writer args;
    args.string(std::string(line, strnlen(line, ipc::kMaxTraceLineBytes)));
    Message reply;
    if (!g_engine->browserCall(BrowserCallId::Trace, args, reply))
        return;
    Reader r(reply.payload);
    const uint8_t taken = r.u8();
    if (r.done() && taken == 0)
        g_hostTakesTrace = false;
}

NPError ForwardSetValue(NPP, NPPVariable variable, void* value)
{
    if (variable != NPPVReelfinchHandCursor || !g_engine)
        return NPERR_GENERIC_ERROR;
    Writer args;
    args.u8(value ? 1 : 0);
    Message reply;
    return g_engine->browserCall(BrowserCallId::HandCursor, args, reply) ? NPERR_NO_ERROR : NPERR_GENERIC_ERROR;
}

// ---- Sound and stored objects, through the proxy

void ForwardSoundPause(bool paused)
{
    if (!g_engine)
        return;
    Writer args;
    args.u8(paused ? 1 : 0);
    Message reply;
    g_engine->browserCall(BrowserCallId::SoundPause, args, reply);
}

// The proxy opens a stream on the sound server for the pipe; the mixer then writes into the pipe. Without one
// (no server, or no pipe) the movie keeps the silent clock.
std::unique_ptr<plugin::sound::SoundOutput> OpenProxySound(plugin::sound::SoundMixer& mixer, const std::string& name)
{
    struct stat info {};
    if (!g_engine || fstat(kAudioFd, &info) != 0 || !S_ISFIFO(info.st_mode))
        return nullptr;
    Writer args;
    args.string(name.substr(0, ipc::kMaxStreamNameBytes)).u32(plugin::sound::kMixRate).u8(plugin::sound::kMixChannels);
    Message reply;
    if (!g_engine->browserCall(BrowserCallId::SoundOpen, args, reply))
        return nullptr;
    Reader r(reply.payload);
    const uint8_t playing = r.u8();
    if (!r.done() || playing != 1)
        return nullptr;
    const int fd = fcntl(kAudioFd, F_DUPFD_CLOEXEC, kAudioFd + 1);
    return plugin::sound::OpenPipeOutput(mixer, fd, ForwardSoundPause);
}

class ProxyStore final : public avm1::SharedObjectStore
{
public:
    std::optional<std::string> read(const std::string& path) override
    {
        Writer args;
        args.string(path);
        Message reply;
        if (!avm1::ValidSharedObjectPath(path) || !g_engine
            || !g_engine->browserCall(BrowserCallId::SharedObjectRead, args, reply))
            return std::nullopt;
        Reader r(reply.payload);
        if (r.u8() != 1)
            return std::nullopt;
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        if (!r.bytes(data, size, ipc::kMaxSharedObjectBytes) || !r.done())
            return std::nullopt;
        return std::string(reinterpret_cast<const char*>(data), size);
    }
    bool write(const std::string& path, std::string_view bytes) override
    {
        if (!avm1::ValidSharedObjectPath(path) || bytes.size() > ipc::kMaxSharedObjectBytes || !g_engine)
            return false;
        Writer args;
        args.string(path).bytes(bytes.data(), bytes.size());
        Message reply;
        if (!g_engine->browserCall(BrowserCallId::SharedObjectWrite, args, reply))
            return false;
        Reader r(reply.payload);
        const uint8_t written = r.u8();
        return r.done() && written == 1;
    }
    void remove(const std::string& path) override
    {
        if (!avm1::ValidSharedObjectPath(path) || !g_engine)
            return;
        Writer args;
        args.string(path);
        Message reply;
        g_engine->browserCall(BrowserCallId::SharedObjectRemove, args, reply);
    }
};

// ---- The movie's sockets, made by the host through the proxy: the engine has no network of its own.

int32_t ForwardSocketOpen(NPP, const char* host, int32_t port)
{
    if (!g_engine || !host || strnlen(host, ipc::kMaxSocketHostBytes + 1) > ipc::kMaxSocketHostBytes)
        return 0;
    Writer args;
    args.string(host).i32(port);
    Message reply;
    if (!g_engine->browserCall(BrowserCallId::SocketOpen, args, reply))
        return 0;
    Reader r(reply.payload);
    const int32_t id = r.i32();
    return r.done() ? id : 0;
}

NPBool ForwardSocketSend(NPP, int32_t socket, const char* data, uint32_t length)
{
    if (!g_engine || (!data && length) || length > ipc::kMaxSocketSendBytes)
        return false;
    Writer args;
    args.i32(socket).bytes(data, length);
    Message reply;
    if (!g_engine->browserCall(BrowserCallId::SocketSend, args, reply))
        return false;
    Reader r(reply.payload);
    const uint8_t queued = r.u8();
    return r.done() && queued == 1;
}

uint32_t ForwardSocketPoll(NPP, int32_t socket, char* buffer, uint32_t capacity, int32_t* state)
{
    if (state)
        *state = NPReelfinchSocketFailed;
    if (!g_engine || !buffer || !state)
        return 0;
    Writer args;
    args.i32(socket).u32(std::min(capacity, ipc::kMaxSocketReadBytes));
    Message reply;
    if (!g_engine->browserCall(BrowserCallId::SocketPoll, args, reply))
        return 0;
    Reader r(reply.payload);
    const int32_t answer = r.i32();
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    r.bytes(data, size, std::min(capacity, ipc::kMaxSocketReadBytes));
    if (!r.done() || answer < NPReelfinchSocketConnecting || answer > NPReelfinchSocketClosed)
        return 0;
    *state = answer;
    if (size)
        std::memcpy(buffer, data, size);
    return size;
}

void ForwardSocketClose(NPP, int32_t socket)
{
    if (!g_engine)
        return;
    Writer args;
    args.i32(socket);
    Message reply;
    g_engine->browserCall(BrowserCallId::SocketClose, args, reply);
}

// ---- The user's files (FileReference): dialogs and transfers are the host's, through the proxy.

int32_t ForwardFileStart(NPP, int32_t kind, const char* url, const char* text, int32_t file)
{
    if (!g_engine || !url || !text || strnlen(url, ipc::kMaxFileTextBytes + 1) > ipc::kMaxFileTextBytes
        || strnlen(text, ipc::kMaxFileTextBytes + 1) > ipc::kMaxFileTextBytes)
        return 0;
    Writer args;
    args.i32(kind).string(url).string(text).i32(file);
    Message reply;
    if (!g_engine->browserCall(BrowserCallId::FileStart, args, reply))
        return 0;
    Reader r(reply.payload);
    const int32_t id = r.i32();
    return r.done() ? id : 0;
}

int32_t ForwardFilePoll(NPP, int32_t operation, double* a, double* b, char* text, uint32_t capacity)
{
    if (!g_engine || !a || !b || !text || capacity == 0)
        return NPReelfinchFileEventEnded;
    text[0] = '\0';
    Writer args;
    args.i32(operation);
    Message reply;
    if (!g_engine->browserCall(BrowserCallId::FilePoll, args, reply))
        return NPReelfinchFileEventEnded;
    Reader r(reply.payload);
    const int32_t event = r.i32();
    const double first = r.f64();
    const double second = r.f64();
    std::string name;
    r.string(name, ipc::kMaxFileTextBytes);
    if (!r.done() || event < NPReelfinchFileEventNone || event > NPReelfinchFileEventEnded)
        return NPReelfinchFileEventEnded;
    *a = first;
    *b = second;
    const size_t n = std::min<size_t>(strnlen(name.c_str(), name.size()), capacity - 1);
    std::memcpy(text, name.data(), n);
    text[n] = '\0';
    return event;
}

void ForwardFileClose(NPP, int32_t operation)
{
    if (!g_engine)
        return;
    Writer args;
    args.i32(operation);
    Message reply;
    g_engine->browserCall(BrowserCallId::FileClose, args, reply);
}

NPError LocalGetValue(NPP, NPNVariable variable, void* value)
{
    if (!value)
        return NPERR_INVALID_PARAM;
    if (variable == NPNVReelfinchTraceFunction) {
        *static_cast<NPN_TraceLineProcPtr*>(value) = ForwardTrace;
        return NPERR_NO_ERROR;
    }
    if (variable == NPNVReelfinchSocketFunctions) {
        auto* table = static_cast<NPReelfinchSocketFuncs*>(value);
        table->open = ForwardSocketOpen;
        table->send = ForwardSocketSend;
        table->poll = ForwardSocketPoll;
        table->close = ForwardSocketClose;
        return NPERR_NO_ERROR;
    }
    if (variable == NPNVReelfinchFileFunctions) {
        auto* table = static_cast<NPReelfinchFileFuncs*>(value);
        table->start = ForwardFileStart;
        table->poll = ForwardFilePoll;
        table->close = ForwardFileClose;
        return NPERR_NO_ERROR;
    }
    if (variable == NPNVReelfinchScreenSize && value && g_engine) {
        // The host's screen, through the proxy: the engine has no display connection of its own.
        Writer args;
        Message reply;
        if (!g_engine->browserCall(BrowserCallId::ScreenSize, args, reply))
            return NPERR_GENERIC_ERROR;
        Reader r(reply.payload);
        const bool known = r.u8() != 0;
        NPReelfinchScreenSize size {};
        if (known) {
            size.width = r.i32();
            size.height = r.i32();
        }
        if (!known || !r.done())
            return NPERR_GENERIC_ERROR;
        *static_cast<NPReelfinchScreenSize*>(value) = size;
        return NPERR_NO_ERROR;
    }
    if ((variable == NPNVReelfinchClipboardText || variable == NPNVReelfinchCompositionText) && g_engine) {
        // The host's clipboard and its input method's composing text, through the proxy: the engine has no
        // display connection of its own.
        const bool clipboard = variable == NPNVReelfinchClipboardText;
        Writer args;
        Message reply;
        const BrowserCallId call = clipboard ? BrowserCallId::ClipboardText : BrowserCallId::CompositionText;
        if (!g_engine->browserCall(call, args, reply))
            return NPERR_GENERIC_ERROR;
        Reader r(reply.payload);
        const bool known = clipboard || r.u8() == 1;
        std::string text;
        if (known)
            r.string(text, clipboard ? ipc::kMaxClipboardBytes : ipc::kMaxCompositionBytes);
        if (!known || !r.done())
            return NPERR_GENERIC_ERROR;
        char* copy = static_cast<char*>(std::malloc(text.size() + 1));
        if (!copy)
            return NPERR_OUT_OF_MEMORY_ERROR;
        std::memcpy(copy, text.data(), text.size());
        copy[text.size()] = 0;
        *static_cast<char**>(value) = copy;
        return NPERR_NO_ERROR;
    }
    return NPERR_GENERIC_ERROR;
}

const char* LocalUserAgent(NPP)
{
    return "";
}

void* LocalMemAlloc(uint32_t size)
{
    return std::malloc(size);
}

void LocalMemFree(void* p)
{
    std::free(p);
}

NPObject* LocalCreateObject(NPP npp, NPClass* c)
{
    if (!c)
        return nullptr;
    NPObject* object = c->allocate ? c->allocate(npp, c) : static_cast<NPObject*>(std::calloc(1, sizeof(NPObject)));
    if (object) {
        object->_class = c;
        object->referenceCount = 1;
    }
    return object;
}

NPObject* LocalRetainObject(NPObject* object)
{
    if (object)
        ++object->referenceCount;
    return object;
}

void LocalReleaseObject(NPObject* object)
{
    if (!object || --object->referenceCount > 0)
        return;
    if (object->_class && object->_class->deallocate)
        object->_class->deallocate(object);
    else
        std::free(object);
}

NPNetscapeFuncs EngineBrowserTable()
{
    NPNetscapeFuncs t {};
    t.size = sizeof(NPNetscapeFuncs);
    t.version = NPVERS_HAS_NPRUNTIME_SCRIPTING;
    t.geturl = ForwardGetURL;
    t.geturlnotify = ForwardGetURLNotify;
    t.posturlnotify = ForwardPostURLNotify;
    t.status = ForwardStatus;
    t.uagent = LocalUserAgent;
    t.memalloc = LocalMemAlloc;
    t.memfree = LocalMemFree;
    t.invalidaterect = ForwardInvalidateRect;
    t.forceredraw = ForwardForceRedraw;
    t.getvalue = LocalGetValue;
    t.setvalue = ForwardSetValue;
    t.createobject = LocalCreateObject;
    t.retainobject = LocalRetainObject;
    t.releaseobject = LocalReleaseObject;
    return t;
}

// ---- Serving the proxy's calls

bool Engine::hello(Reader& r, Writer& reply)
{
    const uint32_t version = r.u32();
    const uint32_t options = r.u32();
    if (!r.done() || version != ipc::kProtocolVersion)
        return false;
    plugin::SetLocalSecurity((options & kOptionEnforceLocalSecurity) != 0);
    m_TestEntries = (options & kOptionTestEntries) != 0;
    reply.u32(ipc::kProtocolVersion);
    reply.u8(m_Sandbox.noNewPrivileges).u8(m_Sandbox.seccomp).u8(m_Sandbox.landlock);
    return true;
}

void Engine::releasePixels()
{
    if (m_Pixels)
        munmap(m_Pixels, m_PixelBytes);
    m_Pixels = nullptr;
    m_PixelBytes = 0;
    m_PixelWidth = 0;
    m_PixelHeight = 0;
}

bool Engine::setPixelBuffer(Reader& r)
{
    const int32_t width = r.i32();
    const int32_t height = r.i32();
    const int fd = m_Conversation.takeDescriptor();
    releasePixels();
    const bool sizesOk = r.done() && width > 0 && height > 0 && width <= kMaxPortSide && height <= kMaxPortSide;
    if (fd < 0 || !sizesOk) {
        if (fd >= 0)
            close(fd);
        return sizesOk && fd < 0; // no buffer: nothing is drawn
    }
    const size_t bytes = size_t(width) * size_t(height) * 4;
    struct stat info {};
    bool ok = fstat(fd, &info) == 0 && size_t(info.st_size) >= bytes;
    if (ok) {
        void* map = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ok = map != MAP_FAILED;
        if (ok) {
            m_Pixels = map;
            m_PixelBytes = bytes;
            m_PixelWidth = width;
            m_PixelHeight = height;
        }
    }
    close(fd);
    applyWindow();
    return ok;
}

// The local port mirrors the host's: same size, bounds, clip region and screen position, its pixel map over
// the shared buffer when that has the port's size (else no pixel map, and nothing is drawn).
void Engine::applyWindow()
{
    const ipc::WindowState& s = m_WindowState;
    m_Port.pixelWidth = s.pixelWidth;
    m_Port.pixelHeight = s.pixelHeight;
    m_Port.portBounds = s.portBounds;
    m_Port.screenOrigin = s.screenOrigin;
    m_Port.clipRgn.rects = s.clipRgn;
    const bool matches = m_Pixels && s.pixelWidth == m_PixelWidth && s.pixelHeight == m_PixelHeight;
    m_Port.portPixMap.baseAddr = matches ? static_cast<uint32_t*>(m_Pixels) : nullptr;
    m_Port.portPixMap.rowBytes = matches ? s.pixelWidth * 4 : 0;
    m_Port.portPixMap.bounds = s.portBounds;
    m_Port.portPixMap.pixelSize = 32;
    m_NPPort.port = s.havePort ? &m_Port : nullptr;
    m_NPPort.portx = s.portx;
    m_NPPort.porty = s.porty;
    m_Window.window = s.havePort ? &m_NPPort : nullptr;
    m_Window.x = s.x;
    m_Window.y = s.y;
    m_Window.width = s.width;
    m_Window.height = s.height;
    m_Window.clipRect = s.clipRect;
    m_Window.type = NPWindowTypeWindow;
    if (m_Instance)
        m_Instance->setWindow(s.haveWindow ? &m_Window : nullptr);
}

bool Engine::setWindow(Reader& r)
{
    ipc::WindowState state;
    if (!ipc::ReadWindow(r, state) || !r.done())
        return false;
    m_WindowState = std::move(state);
    applyWindow();
    return true;
}

NPStream* Engine::stream(uint32_t id)
{
    const auto it = m_Streams.find(id);
    return it == m_Streams.end() ? nullptr : &it->second->record;
}

bool Engine::scripting(const Message& request, Reader& r, Writer& reply)
{
    std::string name;
    r.string(name);
    if (request.type == MessageType::HasMethod) {
        if (!r.done())
            return false;
        const bool test = m_TestEntries && (name == kTestHang || name == kTestProbe || name == kTestCrash);
        reply.u8(test || m_Instance->hasMethod(name));
        return true;
    }
    const uint32_t count = r.u32();
    if (!r.ok() || count > ipc::kMaxScriptArgs)
        return false;
    std::vector<std::string> texts(count);
    std::vector<NPVariant> args(count);
    for (uint32_t i = 0; i < count; ++i)
        if (!ipc::ReadVariant(r, args[i], texts[i]))
            return false;
    if (!r.done())
        return false;
    NPVariant result;
    VOID_TO_NPVARIANT(result);
    bool ok = false;
    if (m_TestEntries && name == kTestHang) {
        for (volatile bool forever = true; forever;) { }
    } else if (m_TestEntries && name == kTestCrash) {
        std::abort();
    } else if (m_TestEntries && name == kTestProbe) {
        std::string file;
        if (count >= 1 && args[0].type == NPVariantType_String)
            file = texts[0];
        m_ResultText = engine::ProbeSandbox(file);
        STRINGN_TO_NPVARIANT(m_ResultText.c_str(), m_ResultText.size(), result);
        ok = true;
    } else {
        ok = m_Instance->invoke(name, args.data(), count, &result);
    }
    reply.u8(ok);
    ipc::WriteVariant(reply, result);
    return true;
}

bool Engine::serve(const Message& request, Writer& reply)
{
    Reader r(request.payload);
    if (request.type == MessageType::Hello)
        return hello(r, reply);
    if (request.type == MessageType::Shutdown) {
        m_Finished = true;
        m_Instance.reset();
        return r.done();
    }
    if (request.type == MessageType::NewInstance) {
        if (m_Instance || !r.done())
            return false;
        m_Instance = std::make_unique<plugin::PluginInstance>(&m_NPP);
        m_NPP.pdata = m_Instance.get();
        applyWindow();
        return true;
    }
    if (request.type == MessageType::SetPixelBuffer)
        return setPixelBuffer(r);
    if (!m_Instance)
        return false;
    switch (request.type) {
    case MessageType::SetWindow:
        return setWindow(r);
    case MessageType::NewStream:
    case MessageType::NewStreamNotify: {
        const uint32_t id = r.u32();
        const uint32_t end = r.u32();
        auto s = std::make_unique<Stream>();
        r.string(s->url);
        void* notifyData = nullptr;
        if (request.type == MessageType::NewStreamNotify) {
            const auto open = m_Requests.find(r.u32());
            if (open == m_Requests.end())
                return false;
            notifyData = open->second;
        }
        if (!r.done() || m_Streams.count(id))
            return false;
        s->record.url = s->url.c_str();
        s->record.end = end;
        s->record.ndata = &m_NPP;
        s->record.notifyData = notifyData;
        NPStream* record = &s->record;
        m_Streams[id] = std::move(s);
        m_Instance->newStream(record);
        return true;
    }
    case MessageType::WriteReady: {
        NPStream* s = stream(r.u32());
        if (!r.done() || !s)
            return false;
        reply.i32(m_Instance->writeReady(s));
        return true;
    }
    case MessageType::Write: {
        NPStream* s = stream(r.u32());
        const int32_t offset = r.i32();
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        r.bytes(data, size, uint32_t(ipc::kMaxWriteChunk));
        if (!r.done() || !s)
            return false;
        reply.i32(m_Instance->write(s, offset, int32_t(size), data));
        return true;
    }
    case MessageType::DestroyStream: {
        const uint32_t id = r.u32();
        const auto reason = NPReason(r.u16());
        NPStream* s = stream(id);
        if (!r.done() || !s)
            return false;
        m_Instance->destroyStream(s, reason);
        m_Streams.erase(id);
        return true;
    }
    case MessageType::URLNotify: {
        std::string url;
        r.string(url);
        const auto reason = NPReason(r.u16());
        const auto open = m_Requests.find(r.u32());
        if (!r.done() || open == m_Requests.end())
            return false;
        void* notifyData = open->second;
        m_Requests.erase(open);
        m_Instance->urlNotify(url.c_str(), reason, notifyData);
        return true;
    }
    case MessageType::HandleEvent: {
        EventRecord event {};
        ipc::WindowState state;
        if (!ipc::ReadEvent(r, event) || !ipc::ReadWindow(r, state) || !r.done())
            return false;
        m_WindowState = std::move(state);
        applyWindow();
        reply.u16(uint16_t(m_Instance->handleEvent(event)));
        return true;
    }
    case MessageType::HasMethod:
    case MessageType::Invoke:
        return scripting(request, r, reply);
    default:
        return false;
    }
}

} // namespace

int main(int argc, char** argv)
{
    (void)argc;
    (void)argv;
    // Nothing of the host's but the socket, the capture file the proxy opened (when sound is captured) and the
    // sound pipe stays open in here.
    const char* capture = std::getenv(plugin::sound::kCaptureVariable);
    const bool captured = capture && *capture;
    close_range(kAudioFd + 1, ~0u, 0);
    if (captured)
        plugin::sound::SetCaptureDescriptor(kCaptureFd);
    // A proxy gone while sound is written must end the write, not the engine by a signal.
    signal(SIGPIPE, SIG_IGN);
    // The font configuration and its caches are read now, while files may still be opened anywhere.
    FcInit();
    // The confinement refuses sockets: the sound server is not tried from in here.
    plugin::sound::DisableSoundServer();
    plugin::sound::SetOutputFactory(OpenProxySound);
    avm1::SetSharedObjectStore(std::make_shared<ProxyStore>());
    const engine::SandboxState sandbox = engine::EnterSandbox();
    Engine engine;
    g_engine = &engine;
    const NPNetscapeFuncs table = EngineBrowserTable();
    plugin::InitializeBrowser(&table);
    const int status = engine.run(sandbox);
    // The process ends without running exit-time handlers: they would try what the confinement refuses.
    _exit(status);
}
