// XMLSocket: a TCP connection of the movie's own, through the host's socket functions. Messages travel as text
// ended by a zero byte both ways: send(x) writes x's text and a zero; each zero-ended message that arrives runs
// onData(text), whose default parses it and hands the XML to onXML. connect's outcome comes as onConnect(success)
// and the other side's close as onClose(); a script's own close() is heard by no handler. Everything that comes
// from the host is taken between steps of the movie (PollSockets), never in the middle of a script.
#include "avm1/Loading.h"

#include "avm1/TextCodec.h"
#include "avm1/builtins/NativeData.h"
#include "timeline/MoviePlayer.h"

#include <algorithm>

namespace reelfinch::avm1 {

namespace {

// Connections open at one time at most; a script asking for more is refused.
constexpr size_t kMaxSockets = 16;
// A message that grows past this without its zero byte ends the connection.
constexpr size_t kMaxMessageBytes = size_t(16) << 20;

// The state behind one XMLSocket object.
class SocketData final : public NativeData
{
public:
    bool makesNativeKind() const override { return false; }
    int32_t id = 0; // the host's connection number; 0 while not connected
    bool open = false; // onConnect(true) was heard
    std::string partial; // bytes of a message whose zero has not come yet
};

// The machine's connections, kept among its roots: a socket that is connecting or open lives (and hears its
// handlers) whatever the scripts still hold of it.
class SocketRegistry final : public NativeData
{
public:
    void trace(Heap& heap) override
    {
        NativeData::trace(heap);
        for (Object* socket : sockets)
            heap.mark(socket);
    }
    std::vector<Object*> sockets;
};

SocketRegistry& RegistryOf(Machine& m)
{
    for (Object* o : m.m_Roots)
        if (auto* registry = dynamic_cast<SocketRegistry*>(o))
            return *registry;
    auto* registry = m.heap().make<SocketRegistry>();
    m.m_Roots.push_back(registry);
    return *registry;
}

SocketData* DataOf(Machine& m, const Value& self)
{
    if (SocketData* data = NativeOf<SocketData>(self))
        return data;
    // An object made without the constructor (a subclass that skipped super()) gets its state on first use.
    if (!self.isObject() || self.asObject()->kind() != ObjectKind::Plain || !self.asObject()->m_Primitive.isUndefined())
        return nullptr;
    return AttachNative<SocketData>(m, self.asObject());
}

// The host of the movie's own URL: a web movie's server, "localhost" for a local file.
std::string MovieHost(Machine& m)
{
    const std::string& url = m.player().movieUrl;
    const size_t scheme = url.find("://");
    if (scheme == std::string::npos || url.compare(0, scheme, "file") == 0)
        return "localhost";
    const size_t start = scheme + 3;
    size_t end = url.find_first_of(":/?#", start);
    if (end == std::string::npos)
        end = url.size();
    std::string host = url.substr(start, end - start);
    if (const size_t at = host.rfind('@'); at != std::string::npos)
        host.erase(0, at + 1);
    return host.empty() ? std::string("localhost") : host;
}

void Forget(Machine& m, Object* socket)
{
    auto& sockets = RegistryOf(m).sockets;
    sockets.erase(std::remove(sockets.begin(), sockets.end(), socket), sockets.end());
}

void Disconnect(Machine& m, Object* socket, SocketData& data)
{
    if (data.id) {
        const LoadHost& host = LoadHostOf(m);
        if (host.socketClose)
            host.socketClose(data.id);
    }
    data.id = 0;
    data.open = false;
    data.partial.clear();
    Forget(m, socket);
}

Value Construct(Machine& m, const Value& self, const Value*, int)
{
    if (self.isObject() && self.asObject()->kind() == ObjectKind::Plain)
        AttachNative<SocketData>(m, self.asObject());
    return Value();
}

// connect(host, port): host null, undefined or missing means the movie's own host. True when the connection
// was started (its outcome comes later as onConnect), false when the host refused it at once.
Value Connect(Machine& m, const Value& self, const Value* args, int argc)
{
    SocketData* data = DataOf(m, self);
    if (!data)
        return Value(false);
    const std::string host = argc < 1 || args[0].isNullish() ? MovieHost(m) : m.toString(args[0]);
    const int32_t port = argc < 2 ? 0 : m.toInt32(args[1]);
    if (m.unwinding())
        return Value(false);
    // A socket connects once at a time: a new connect drops the connection it had.
    Disconnect(m, self.asObject(), *data);
    const LoadHost& loadHost = LoadHostOf(m);
    if (!loadHost.socketOpen || RegistryOf(m).sockets.size() >= kMaxSockets)
        return Value(false);
    const int32_t id = loadHost.socketOpen(host, port);
    if (id <= 0)
        return Value(false);
    data->id = id;
    RegistryOf(m).sockets.push_back(self.asObject());
    return Value(true);
}

Value Send(Machine& m, const Value& self, const Value* args, int argc)
{
    SocketData* data = NativeOf<SocketData>(self);
    if (!data || !data->open || argc < 1)
        return Value();
    std::string text = m.toString(args[0]);
    if (m.unwinding())
        return Value();
    text += '\0';
    const LoadHost& host = LoadHostOf(m);
    if (host.socketSend)
        host.socketSend(data->id, text);
    return Value();
}

Value Close(Machine& m, const Value& self, const Value*, int)
{
    if (SocketData* data = NativeOf<SocketData>(self); data && data->id)
        Disconnect(m, self.asObject(), *data);
    return Value();
}

// The default onData: the text parsed as XML goes to onXML.
Value OnData(Machine& m, const Value& self, const Value* args, int argc)
{
    const Value xmlClass = m.getMember(Value(m.m_Global), "XML");
    if (!xmlClass.isObject())
        return Value();
    const Value source = argc > 0 ? args[0] : Value();
    const Value xml = m.construct(xmlClass, &source, 1);
    if (m.unwinding())
        return Value();
    m.callMethod(self, "onXML", &xml, 1);
    return Value();
}

} // namespace

void InstallXmlSocketClass(Machine& m)
{
    RegistryOf(m);
    Object* proto = m.newObject();
    DefineClass(m, "XMLSocket", Construct, nullptr, proto);
    DefineMethods(m, proto,
        {
            { "connect", Connect },
            { "send", Send },
            { "close", Close },
            { "onData", OnData },
        });
}

bool SocketsOpen(Machine& m)
{
    return !RegistryOf(m).sockets.empty();
}

void PollSockets(Machine& m)
{
    const LoadHost& host = LoadHostOf(m);
    if (!host.socketPoll)
        return;
    // Handlers may close, connect or drop sockets: the list is walked as it was, each socket checked again.
    const std::vector<Object*> sockets = RegistryOf(m).sockets;
    const size_t mark = m.m_Temporaries.size();
    for (Object* socket : sockets)
        m.m_Temporaries.push_back(Value(socket));
    for (Object* socket : sockets) {
        const Value self(socket);
        SocketData* data = NativeOf<SocketData>(self);
        const auto& live = RegistryOf(m).sockets;
        if (!data || !data->id || std::find(live.begin(), live.end(), socket) == live.end())
            continue;
        const int32_t id = data->id;
        std::string received;
        const SocketState state = host.socketPoll(id, received);
        if (!data->open) {
            if (state == SocketState::Connecting)
                continue;
            const bool connected = state != SocketState::Failed;
            if (!connected)
                Disconnect(m, socket, *data);
            else
                data->open = true;
            const Value arg(connected);
            m.callMethod(self, "onConnect", &arg, 1);
            if (!connected || data->id != id)
                continue;
        }
        data->partial += received;
        // Each message ended by its zero byte, in order, while the handlers leave the connection as it was. The
        // message is taken off first: a handler that sends or closes sees only what follows it.
        size_t zero = 0;
        while (data->id == id && (zero = data->partial.find('\0')) != std::string::npos) {
            const std::string bytes = data->partial.substr(0, zero);
            data->partial.erase(0, zero + 1);
            const Value text(m.str(m.version() >= 6 ? sanitizeUtf8(bytes) : codePageToUtf8(bytes)));
            m.callMethod(self, "onData", &text, 1);
        }
        if (data->id != id)
            continue;
        if (data->partial.size() > kMaxMessageBytes || state == SocketState::Closed) {
            Disconnect(m, socket, *data);
            if (state == SocketState::Closed)
                m.callMethod(self, "onClose", nullptr, 0);
        }
    }
    m.m_Temporaries.resize(mark);
}

} // namespace reelfinch::avm1
