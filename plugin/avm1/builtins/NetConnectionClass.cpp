// NetConnection: remote calls over HTTP in AMF0. connect(url) names the gateway; call(method, responder,
// args...) POSTs one packet (the headers addHeader gave, then one message: the method, a response id "/N" and
// the arguments as a strict array) and hands the answer's result to responder.onResult, or its status to
// responder.onStatus (else the connection's onStatus). A call that fails reaches the connection's onStatus.
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
    if (self.isObject())
        AttachNative<ConnectionState>(m, self.asObject());
    return Value();
}

// connect(url): over HTTP nothing is sent until a call; null connects to no server at all.
Value Connect(Machine& m, const Value& self, const Value* args, int argc)
{
    ConnectionState* s = StateOf(self);
    if (!s || argc < 1)
        return Value(false);
    if (args[0].isNull()) {
        s->url.clear();
        s->connected = true;
        Status(m, self, "NetConnection.Connect.Success", "status");
        return Value(true);
    }
    s->url = m.toString(args[0]);
    s->connected = false;
    return Value(!s->url.empty());
}

Value Close(Machine&, const Value& self, const Value*, int)
{
    if (ConnectionState* s = StateOf(self)) {
        s->url.clear();
        s->connected = false;
    }
    return Value();
}

Value AddHeader(Machine& m, const Value& self, const Value* args, int argc)
{
    ConnectionState* s = StateOf(self);
    if (!s || argc < 1)
        return Value();
    const std::string name = m.toString(args[0]);
    std::erase_if(s->headers, [&](const ConnectionState::Header& h) { return h.name == name; });
    s->headers.push_back({ name, m.toBoolean(Arg(args, argc, 1)), Arg(args, argc, 2) });
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
        Status(m, self, "NetConnection.Call.Failed", "error");
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

Value Call(Machine& m, const Value& self, const Value* args, int argc)
{
    ConnectionState* s = StateOf(self);
    if (!s || argc < 1 || s->url.empty())
        return Value(false);
    const std::string method = m.toString(args[0]);
    Object* responder = argc > 1 && args[1].isObject() ? args[1].asObject() : nullptr;
    const uint32_t response = s->nextResponse++;
    const int count = std::min(std::max(argc - 2, 0), kMaxArguments);

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
    packet.u16(1);
    packet.name(method);
    packet.name("/" + std::to_string(response));
    amf0::Writer body(m, amf0::ArrayForm::StrictWhenDense);
    body.u8(amf0::kStrictArray);
    body.u32(uint32_t(count));
    for (int i = 0; i < count; ++i)
        body.value(amf0::Writer::Writable(args[2 + i]) ? args[2 + i] : Value());
    packet.u32(uint32_t(body.bytes().size()));
    std::string bytes = packet.take() + body.take();

    if (!(s = StateOf(self)))
        return Value(false);
    const std::string url = s->url;
    if (responder)
        s->responders.emplace_back(response, responder);
    Object* connection = self.asObject();
    return Value(PostForMovie(m, connection, url, kAmfType, bytes,
        [connection](Machine& machine, bool ok, const std::string& answer) { Answer(machine, connection, ok, answer); }));
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
