// LocalConnection between the objects of this movie: connect(name) makes an object the receiver of a
// connection name; send(name, method, args...) carries the arguments as AMF0 (what cannot be written arrives as
// undefined) and, two timer steps later, calls the method of the name's receiver at that time with them. The
// sender's onStatus hears first: "status" when a receiver was connected under the name both when the message was
// sent and when it arrives, "error" otherwise (and nobody gets the message).
#include "avm1/builtins/Amf0.h"
#include "avm1/builtins/NativeData.h"
#include "timeline/MoviePlayer.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>

namespace reelfinch::avm1 {

namespace {

// Receivers by connection name (names compare without case).
class Connections final : public NativeData
{
public:
    void trace(Heap& heap) override
    {
        NativeData::trace(heap);
        for (auto& [name, receiver] : receivers)
            heap.mark(static_cast<Cell*>(receiver));
    }
    std::map<std::string, Object*> receivers;
};

// The _global of the main movie's version: movies on both sides of SWF 6 and 7 share its state.
Object* MainGlobal(Machine& m)
{
    plugin::SpriteInstance* root = m.spriteOf(Value(m.rootClip()));
    Object* global = root ? m.globalOf(m.player().versionOf(*root), false) : nullptr;
    return global ? global : m.m_Global;
}

Connections* Registry(Machine& m)
{
    const Value ctor = m.getMember(Value(MainGlobal(m)), "LocalConnection");
    if (!ctor.isObject() || !ctor.asObject()->m_Primitive.isObject())
        return nullptr;
    return dynamic_cast<Connections*>(ctor.asObject()->m_Primitive.asObject());
}

std::string Key(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(), [](char c) { return char(std::tolower(uint8_t(c))); });
    return name;
}

// The domain of this movie's connections (a local movie's is "localhost").
constexpr const char* kDomain = "localhost";

// The full name of a connection: a name beginning with '_' stands alone; any other is the domain's, written
// "domain:name" (a sender may give the domain itself).
std::string FullName(const std::string& name, bool sending)
{
    const std::string key = Key(name);
    if (key.empty() || key[0] == '_' || (sending && key.find(':') != std::string::npos))
        return key;
    return std::string(kDomain) + ':' + key;
}

Value Connect(Machine& m, const Value& self, const Value* args, int argc)
{
    Connections* c = Registry(m);
    if (!c || !self.isObject() || argc < 1 || !args[0].isString())
        return Value(false);
    const std::string name = m.toString(args[0]);
    const std::string key = FullName(name, false);
    if (name.empty() || name.find(':') != std::string::npos || c->receivers.count(key))
        return Value(false);
    for (auto& [name, receiver] : c->receivers)
        if (receiver == self.asObject())
            return Value(false); // already connected under another name
    c->receivers[key] = self.asObject();
    return Value(true);
}

Value Close(Machine& m, const Value& self, const Value*, int)
{
    if (Connections* c = Registry(m))
        std::erase_if(c->receivers, [&](const auto& entry) { return entry.second == self.asObject(); });
    return Value();
}

Value Domain(Machine& m, const Value&, const Value*, int)
{
    return Value(m.str("localhost"));
}

// The delivery, run as a one-time timer: args are the sender, the name, the method, the AMF0 bytes and whether
// a receiver was connected under the name when it was sent.
Value Deliver(Machine& m, const Value&, const Value* args, int argc)
{
    Connections* c = Registry(m);
    if (!c || argc < 5)
        return Value();
    const Value sender = args[0];
    const auto found = c->receivers.find(FullName(m.toString(args[1]), true));
    const bool delivered = m.toBoolean(args[4]) && found != c->receivers.end();
    const Value receiver = delivered ? Value(found->second) : Value();
    Object* info = m.newObject();
    m.setMember(Value(info), "level", Value(m.str(delivered ? "status" : "error")));
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.push_back(receiver); // kept while the sender's handler runs (it may close the receiver)
    const Value arg(info);
    m.callMethod(sender, "onStatus", &arg, 1);
    if (delivered) {
        const std::string bytes = m.toString(args[3]);
        amf0::Reader r(m, bytes);
        std::vector<Value> values;
        while (!r.failed() && !r.atEnd())
            values.push_back(r.value());
        if (!r.failed())
            m.callMethod(receiver, m.toString(args[2]), values.data(), int(values.size()));
    }
    m.m_Temporaries.resize(mark);
    return Value();
}

// A message waits one timer step before it is delivered, so that what the movie sends over the network in the
// same step (remote calls go out at the next step) leaves first.
Value Relay(Machine& m, const Value&, const Value* args, int argc)
{
    Timer t;
    t.function = Value(static_cast<Object*>(m.newNative(Deliver)));
    t.args.assign(args, args + argc);
    t.repeat = false;
    t.due = 0;
    m.addTimer(std::move(t));
    return Value();
}

Value Send(Machine& m, const Value& self, const Value* args, int argc)
{
    // The name and the method are strings; anything else is refused.
    if (!self.isObject() || argc < 2 || !args[0].isString() || !args[1].isString())
        return Value(false);
    const std::string name = m.toString(args[0]);
    const std::string method = m.toString(args[1]);
    // The class's own methods cannot be called on a receiver.
    static constexpr const char* kReserved[] = { "send", "connect", "close", "allowDomain", "allowInsecureDomain",
        "domain" };
    if (name.empty() || method.empty()
        || std::find(std::begin(kReserved), std::end(kReserved), method) != std::end(kReserved))
        return Value(false);
    // Written now: what the arguments hold at the time of sending is what arrives.
    amf0::Writer w(m, amf0::ArrayForm::StrictWhenDense, true);
    // A function given as an argument itself travels as an object (of its enumerable properties); clips,
    // buttons and text fields arrive as undefined.
    for (int i = 2; i < argc; ++i) {
        const Value& a = args[i];
        const bool display = a.isObject()
            && (a.asObject()->kind() == ObjectKind::Clip || IsButtonObject(a) || IsFieldObject(a));
        w.value(display ? Value() : a);
    }
    // The bytes travel as a string value whose characters are the bytes themselves.
    Timer t;
    t.function = Value(static_cast<Object*>(m.newNative(Relay)));
    Connections* c = Registry(m);
    const bool connected = c && c->receivers.count(FullName(name, true));
    t.args = { self, Value(m.str(name)), Value(m.str(method)), Value(m.str(w.take())), Value(connected) };
    t.repeat = false;
    t.due = 0;
    m.addTimer(std::move(t));
    return Value(true);
}

Value Construct(Machine& m, const Value& self, const Value*, int)
{
    if (self.isObject())
        AttachNative<NativeMark>(m, self.asObject());
    return Value();
}

} // namespace

void InstallLocalConnectionClass(Machine& m)
{
    Object* proto = m.newObject();
    FunctionObject* ctor = DefineClass(m, "LocalConnection", Construct, nullptr, proto);
    ctor->m_Primitive = Value(static_cast<Object*>(m.heap().make<Connections>()));
    DefineMethods(m, proto,
        {
            { "connect", Connect, kDontEnum | kDontDelete },
            { "close", Close, kDontEnum | kDontDelete },
            { "send", Send, kDontEnum | kDontDelete },
            { "domain", Domain, kDontEnum | kDontDelete },
        });
}

} // namespace reelfinch::avm1
