// NetConnection: remote calls over HTTP in AMF0. connect(url) names the gateway; call(method, responder,
// args...) queues one message (the method, a response id "/N" and the arguments as a strict array), and the calls
// of one script step go out together at the next timer step as one POSTed packet (the headers addHeader gave,
// then the messages). The answer's results go to responder.onResult, or its statuses to responder.onStatus
// (else the connection's onStatus). A packet that fails reaches the connection's onStatus without an argument.
//
// connect(null) connects to no server at once (onStatus Connect.Success); connecting again or close() ends the
// connection there is with onStatus Connect.Closed. Moving from the null connection to a gateway closes it
// without an event; closing a gateway's connection reports Closed and then, as the player does, one more
// onStatus without an argument.
#include "avm1/Loading.h"
#include "avm1/builtins/Amf0.h"
#include "avm1/builtins/NativeData.h"

#include <algorithm>
#include <cstdlib>

namespace reelfinch::avm1 {

namespace {

constexpr const char* kAmfType = "application/x-amf";
// Arguments of one call at most (the strict array's count is written as given; this only bounds the work).
constexpr int kMaxArguments = 0xFFFF;

class ConnectionState final : public NativeData
{
public:
    bool makesNativeKind() const override { return false; }
    void trace(Heap& heap) override
    {
        NativeData::trace(heap);
        for (Header& h : headers)
            if (h.value.isObject())
                heap.mark(static_cast<Cell*>(h.value.asObject()));
        for (auto& [id, responder] : responders)
            if (responder)
                heap.mark(static_cast<Cell*>(responder));
    }
    struct Header {
        std::string name;
        bool mustUnderstand = false;
        Value value;
    };
    std::string url;
    bool connected = false;
    uint32_t nextResponse = 1;
    std::vector<Header> headers;
    std::vector<std::pair<uint32_t, Object*>> responders; // calls waiting for an answer
    std::string pending; // messages of calls not sent yet, each written whole
    uint32_t pendingCount = 0;
};

ConnectionState* StateOf(const Value& self)
{
    return NativeOf<ConnectionState>(self);
}

void Status(Machine& m, const Value& target, const char* code, const char* level)
{
    Object* info = m.newObject();
    m.setMember(Value(info), "code", Value(m.str(code)));
    m.setMember(Value(info), "level", Value(m.str(level)));
    const Value arg(info);
    m.callMethod(target, "onStatus", &arg, 1);
}

Value Construct(Machine& m, const Value& self, const Value*, int)
{
    // A connection keeps the prototype it was made with: its __proto__ answers reads only.
    if (self.isObject()) {
        AttachNative<ConnectionState>(m, self.asObject());
        self.asObject()->m_ProtoFlags = uint16_t(self.asObject()->m_ProtoFlags | kAccessor);
    }
    return Value();
}

// connect(url): over HTTP nothing is sent until a call; null connects to no server at all.
Value Connect(Machine& m, const Value& self, const Value* args, int argc)
{
    ConnectionState* s = StateOf(self);
    if (!s || argc < 1)
        return Value(false);
    const bool wasOpen = s->connected || !s->url.empty();
    if (args[0].isNull()) {
        s->url.clear();
        s->connected = true;
        if (wasOpen)
            Status(m, self, "NetConnection.Connect.Closed", "status");
        if ((s = StateOf(self)))
            s->connected = true;
        Status(m, self, "NetConnection.Connect.Success", "status");
        return Value(true);
    }
    const bool wasGateway = !s->url.empty();
    const std::string url = m.toString(args[0]);
    if (!(s = StateOf(self)))
        return Value(false);
    s->url = url;
    s->connected = false;
    // A new connection starts its own session: its calls are numbered from 1 again, without the old headers.
    s->nextResponse = 1;
    s->headers.clear();
    if (wasGateway)
        Status(m, self, "NetConnection.Connect.Closed", "status");
    return Value(!url.empty());
}

Value Close(Machine& m, const Value& self, const Value*, int)
{
    ConnectionState* s = StateOf(self);
    if (!s)
        return Value();
    const bool wasNull = s->connected;
    const bool wasGateway = !s->url.empty();
    s->url.clear();
    s->connected = false;
    if (wasNull || wasGateway)
        Status(m, self, "NetConnection.Connect.Closed", "status");
    if (wasGateway)
        m.callMethod(self, "onStatus", nullptr, 0);
    return Value();
}

Value AddHeader(Machine& m, const Value& self, const Value* args, int argc)
{
    ConnectionState* s = StateOf(self);
    if (!s || argc < 1)
        return Value();
    const std::string name = m.toString(args[0]);
    std::erase_if(s->headers, [&](const ConnectionState::Header& h) { return h.name == name; });
    // Without the flag the header must be understood; without a value it carries null.
    s->headers.push_back({ name, argc < 2 || m.toBoolean(args[1]), argc < 3 ? Value::null() : args[2] });
    return Value();
}

// Reads an answer packet: its messages' targets name the call ("/N/onResult", "/N/onStatus") they answer.
void Answer(Machine& m, Object* connection, bool ok, const std::string& bytes)
{
    const Value self(connection);
    ConnectionState* s = StateOf(self);
    if (!s)
        return;
    if (!ok) {
        s->responders.clear();
        m.callMethod(self, "onStatus", nullptr, 0);
        return;
    }
    amf0::Reader r(m, bytes);
    r.u16(); // version
    const uint32_t headers = r.u16();
    for (uint32_t i = 0; i < headers && !r.failed(); ++i) {
        r.text(r.u16());
        r.u8();
        r.u32();
        r.value();
    }
    const uint32_t messages = r.u16();
    if (r.failed()) {
        Status(m, self, "NetConnection.Call.BadVersion", "error");
        return;
    }
    for (uint32_t i = 0; i < messages && !r.failed(); ++i) {
        const std::string target = r.text(r.u16());
        r.text(r.u16()); // response
        r.u32(); // length
        const Value result = r.value();
        if (r.failed())
            break;
        // "/N/onResult": N is the call's response id.
        const size_t slash = target.find('/', 1);
        if (target.empty() || target[0] != '/' || slash == std::string::npos)
            continue;
        const uint32_t id = uint32_t(std::strtoul(target.substr(1, slash - 1).c_str(), nullptr, 10));
        const std::string handler = target.substr(slash + 1);
        if (!(s = StateOf(self)))
            return;
        auto it = std::find_if(s->responders.begin(), s->responders.end(), [&](const auto& p) { return p.first == id; });
        Object* responder = it == s->responders.end() ? nullptr : it->second;
        if (it != s->responders.end())
            s->responders.erase(it);
        if (handler != "onResult" && handler != "onStatus")
            continue;
        Value arg = result;
        if (responder && m.getMember(Value(responder), handler).isObject())
            m.callMethod(Value(responder), handler, &arg, 1);
        else if (handler == "onStatus")
            m.callMethod(self, "onStatus", &arg, 1);
    }
}

// Sends the calls queued on a connection as one packet; run as a one-time timer with the connection.
Value Flush(Machine& m, const Value&, const Value* args, int argc)
{
    const Value self = Arg(args, argc, 0);
    ConnectionState* s = StateOf(self);
    if (!s || s->pendingCount == 0)
        return Value();
    const uint32_t count = s->pendingCount;
    std::string messages = std::move(s->pending);
    s->pending.clear();
    s->pendingCount = 0;
    if (s->url.empty())
        return Value();

    amf0::Writer packet(m, amf0::ArrayForm::StrictWhenDense);
    packet.u16(0); // version
    packet.u16(uint32_t(s->headers.size()));
    for (const ConnectionState::Header& h : s->headers) {
        amf0::Writer value(m, amf0::ArrayForm::StrictWhenDense);
        value.value(h.value);
        packet.name(h.name);
        packet.u8(h.mustUnderstand ? 1 : 0);
        packet.u32(uint32_t(value.bytes().size()));
        for (char c : value.bytes())
            packet.u8(uint8_t(c));
    }
    packet.u16(count);
    std::string bytes = packet.take() + messages;
    if (!(s = StateOf(self)))
        return Value();
    const std::string url = s->url;
    // A subclass's call() through super (super.call.apply(super, ...)) queues on the object super stands for,
    // which hears the answer.
    Object* connection = self.asObject();
    if (connection->kind() == ObjectKind::Super && connection->m_Primitive.isObject())
        connection = connection->m_Primitive.asObject();
    PostForMovie(m, connection, url, kAmfType, bytes,
        [connection](Machine& machine, bool ok, const std::string& answer) { Answer(machine, connection, ok, answer); });
    return Value();
}

Value Call(Machine& m, const Value& self, const Value* args, int argc)
{
    ConnectionState* s = StateOf(self);
    if (!s || argc < 1 || s->url.empty() || s->pendingCount >= 0xFFFF)
        return Value(false);
    const std::string method = m.toString(args[0]);
    Object* responder = argc > 1 && args[1].isObject() ? args[1].asObject() : nullptr;
    const int count = std::min(std::max(argc - 2, 0), kMaxArguments);

    amf0::Writer message(m, amf0::ArrayForm::StrictWhenDense);
    amf0::Writer body(m, amf0::ArrayForm::StrictWhenDense);
    body.u8(amf0::kStrictArray);
    body.u32(uint32_t(count));
    for (int i = 0; i < count; ++i)
        body.value(amf0::Writer::Writable(args[2 + i]) ? args[2 + i] : Value());
    if (!(s = StateOf(self)))
        return Value(false);
    const uint32_t response = s->nextResponse++;
    message.name(method);
    message.name("/" + std::to_string(response));
    message.u32(uint32_t(body.bytes().size()));
    s->pending += message.take() + body.take();
    if (responder)
        s->responders.emplace_back(response, responder);
    if (s->pendingCount++ == 0) {
        Timer t;
        t.function = Value(static_cast<Object*>(m.newNative(Flush)));
        t.args = { self };
        t.repeat = false;
        t.due = 0;
        m.addTimer(std::move(t));
    }
    return Value(true);
}

Value IsConnected(Machine&, const Value& self, const Value*, int)
{
    ConnectionState* s = StateOf(self);
    return s ? Value(s->connected) : Value();
}

Value Uri(Machine& m, const Value& self, const Value*, int)
{
    ConnectionState* s = StateOf(self);
    return s && !s->url.empty() ? Value(m.str(s->url)) : Value();
}

} // namespace

void InstallNetConnectionClass(Machine& m)
{
    Object* proto = m.newObject();
    DefineClass(m, "NetConnection", Construct, nullptr, proto);
    DefineMethods(m, proto,
        {
            { "connect", Connect },
            { "call", Call },
            { "close", Close },
            { "addHeader", AddHeader },
        });
    DefineAccessor(m, proto, "isConnected", IsConnected, nullptr);
    DefineAccessor(m, proto, "uri", Uri, nullptr);
}

} // namespace reelfinch::avm1
