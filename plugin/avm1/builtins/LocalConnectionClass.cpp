// LocalConnection between the objects of this movie: connect(name) makes an object the receiver of a
// connection name; send(name, method, args...) carries the arguments as AMF0 (what cannot be written arrives as
// undefined) and, two timer steps later, calls the receiver's method with them. The sender's onStatus
// hears "status" when a receiver took the message, "error" when none was connected under the name.
#include "avm1/builtins/Amf0.h"
#include "avm1/builtins/NativeData.h"

#include <algorithm>
#include <cctype>
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

Connections* Registry(Machine& m)
{
    const Value ctor = m.getMember(Value(m.m_Global), "LocalConnection");
    if (!ctor.isObject() || !ctor.asObject()->m_Primitive.isObject())
        return nullptr;
    return dynamic_cast<Connections*>(ctor.asObject()->m_Primitive.asObject());
}

std::string Key(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(), [](char c) { return char(std::tolower(uint8_t(c))); });
    return name;
}

Value Connect(Machine& m, const Value& self, const Value* args, int argc)
{
    Connections* c = Registry(m);
    if (!c || !self.isObject() || argc < 1 || !args[0].isString())
        return Value(false);
    const std::string key = Key(m.toString(args[0]));
    if (key.empty() || key.find(':') != std::string::npos || c->receivers.count(key))
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

// The delivery, run as a one-time timer: args are the sender, the name, the method and the AMF0 bytes.
Value Deliver(Machine& m, const Value&, const Value* args, int argc)
{
    Connections* c = Registry(m);
    if (!c || argc < 4)
        return Value();
    const Value sender = args[0];
    const auto found = c->receivers.find(Key(m.toString(args[1])));
    Object* info = m.newObject();
    m.setMember(Value(info), "level", Value(m.str(found == c->receivers.end() ? "error" : "status")));
    if (found != c->receivers.end()) {
        const Value receiver(found->second);
        const std::string bytes = m.toString(args[3]);
        amf0::Reader r(m, bytes);
        std::vector<Value> values;
        while (!r.failed() && !r.atEnd())
            values.push_back(r.value());
        if (!r.failed())
            m.callMethod(receiver, m.toString(args[2]), values.data(), int(values.size()));
    }
    const Value arg(info);
    m.callMethod(sender, "onStatus", &arg, 1);
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
    if (!self.isObject() || argc < 2)
        return Value(false);
    const std::string name = m.toString(args[0]);
    const std::string method = m.toString(args[1]);
    if (name.empty() || method.empty())
        return Value(false);
    // Written now: what the arguments hold at the time of sending is what arrives.
    amf0::Writer w(m, amf0::ArrayForm::StrictWhenDense);
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
    t.args = { self, Value(m.str(name)), Value(m.str(method)), Value(m.str(w.take())) };
    t.repeat = false;
    t.due = 0;
    m.addTimer(std::move(t));
    return Value(true);
}

} // namespace

void InstallLocalConnectionClass(Machine& m)
{
    Object* proto = m.newObject();
    FunctionObject* ctor = DefineClass(m, "LocalConnection", Nothing, nullptr, proto);
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
