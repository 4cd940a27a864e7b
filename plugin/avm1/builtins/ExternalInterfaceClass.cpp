// flash.external.ExternalInterface (SWF 8 on): the static class a movie talks to its hosting page through, and the
// helpers it encodes values with. Values cross to the host as the player's XML form: <undefined/>, <null/>,
// <true/>, <false/>, <number>n</number>, <string>escaped</string>, <array><property id="i">...</property></array>
// and <object><property id="name">...</property></object>; replies come back as parsed XML nodes that the
// ...ToAS helpers turn into values again. The helpers are scripts' to call too, and follow the player's own
// loose rules: anything with a `length` is written as an array, `_argumentsToXML` skips its first element (the
// method name of a call), an empty string escapes to null.
//
// addCallback names functions the host may call through the plug-in's scriptable object; the class is
// `available` when a host scripts the movie (the plug-in's own host does). call(name, ...) reaches the host, which
// has no page to run it in: it is told the name (and notes it), and the movie gets null. Without a scripting
// host the class is not available, addCallback refuses and call answers null at once.
#include "avm1/Loading.h"
#include "avm1/builtins/NativeData.h"
#include "avm1/builtins/XmlText.h"

#include <cmath>
#include <map>

namespace reelfinch::avm1 {

namespace {

// The functions the host may call, by name: the object the function runs on and the function.
class Callbacks final : public NativeData
{
public:
    void trace(Heap& heap) override
    {
        NativeData::trace(heap);
        for (auto& [name, entry] : entries) {
            if (entry.first.isObject())
                heap.mark(static_cast<Cell*>(entry.first.asObject()));
            if (entry.second.isObject())
                heap.mark(static_cast<Cell*>(entry.second.asObject()));
        }
    }
    std::map<std::string, std::pair<Value, Value>> entries;
};

// _escapeXML's rule: no argument or an empty string gives null.
Value EscapeXml(Machine& m, const Value* args, int argc)
{
    if (argc < 1)
        return Value::null();
    const std::string s = m.toString(args[0]);
    if (m.unwinding() || s.empty())
        return Value::null();
    return Value(m.str(EscapeXmlText(s)));
}

Value EscapeXmlMethod(Machine& m, const Value&, const Value* args, int argc)
{
    return EscapeXml(m, args, argc);
}

Value JsQuoteString(Machine& m, const Value&, const Value* args, int argc)
{
    if (argc < 1)
        return Value::null();
    const std::string s = m.toString(args[0]);
    if (m.unwinding() || s.empty())
        return Value::null();
    std::string out;
    for (char c : s) {
        if (c == '"')
            out += '\\';
        out += c;
    }
    return Value(m.str(std::move(out)));
}

// The `length` of a value as the encoders loop over it: NaN and below zero are no elements.
int64_t LengthOf(Machine& m, const Value& v)
{
    if (v.isUndefined() || v.isNull())
        return 0;
    const double n = m.toNumber(m.getMember(v, "length"));
    if (!(n > 0))
        return 0;
    // Bounded: a crafted length must not make the encoder run for ever.
    return int64_t(std::min(n, double(1 << 20)));
}

constexpr int kMaxDepth = 64;

void ToXml(Machine& m, const Value& v, std::string& out, int depth);

void ArrayToXml(Machine& m, const Value& v, std::string& out, int depth)
{
    out += "<array>";
    const int64_t n = LengthOf(m, v);
    for (int64_t i = 0; i < n && !m.unwinding(); ++i) {
        const std::string id = std::to_string(i);
        out += "<property id=\"" + id + "\">";
        ToXml(m, m.getMember(v, id), out, depth + 1);
        out += "</property>";
    }
    out += "</array>";
}

void ArgumentsToXml(Machine& m, const Value& v, std::string& out, int depth)
{
    out += "<arguments>";
    const int64_t n = LengthOf(m, v);
    for (int64_t i = 1; i < n && !m.unwinding(); ++i)
        ToXml(m, m.getMember(v, std::to_string(i)), out, depth + 1);
    out += "</arguments>";
}

void ObjectToXml(Machine& m, const Value& v, std::string& out, int depth)
{
    out += "<object>";
    if (v.isObject()) {
        for (const std::string& name : m.enumerate(v.asObject())) {
            if (m.unwinding())
                break;
            out += "<property id=\"" + name + "\">";
            ToXml(m, m.getMember(v, name), out, depth + 1);
            out += "</property>";
        }
    }
    out += "</object>";
}

void ToXml(Machine& m, const Value& v, std::string& out, int depth)
{
    if (depth > kMaxDepth) {
        out += "<null/>";
        return;
    }
    const std::string type = m.typeOf(v);
    if (type == "string") {
        const Value escaped = EscapeXml(m, &v, 1);
        out += "<string>" + m.toString(escaped) + "</string>";
    } else if (type == "undefined") {
        out += "<undefined/>";
    } else if (type == "number") {
        out += "<number>" + m.toString(v) + "</number>";
    } else if (v.isNull()) {
        out += "<null/>";
    } else if (type == "boolean") {
        out += m.toBoolean(v) ? "<true/>" : "<false/>";
    } else if (type == "object" || type == "movieclip") {
        if (!m.getMember(v, "length").isUndefined())
            ArrayToXml(m, v, out, depth);
        else
            ObjectToXml(m, v, out, depth);
    } else {
        out += "<null/>"; // functions cannot cross
    }
}

template <void (*Encode)(Machine&, const Value&, std::string&, int)>
Value Encoder(Machine& m, const Value&, const Value* args, int argc)
{
    std::string out;
    Encode(m, Arg(args, argc, 0), out, 0);
    if (m.unwinding())
        return Value();
    return Value(m.str(std::move(out)));
}

Value ToAs(Machine& m, const Value& node, int depth);

// The child nodes of a reply node, as a copy (scripts run while they are read).
std::vector<Value> Children(Machine& m, const Value& node)
{
    std::vector<Value> out;
    const Value children = m.getMember(node, "childNodes");
    const int64_t n = LengthOf(m, children);
    for (int64_t i = 0; i < n && !m.unwinding(); ++i)
        out.push_back(m.getMember(children, std::to_string(i)));
    return out;
}

Value ArrayToAs(Machine& m, const Value& node, int depth)
{
    ArrayObject* array = m.newArray();
    const Value result(static_cast<Object*>(array));
    if (depth > kMaxDepth)
        return result;
    for (const Value& child : Children(m, node)) {
        const std::string id = m.toString(m.getMember(m.getMember(child, "attributes"), "id"));
        m.setMember(result, id, ToAs(m, m.getMember(child, "firstChild"), depth + 1));
    }
    return result;
}

Value ArgumentsToAs(Machine& m, const Value& node, int depth)
{
    ArrayObject* array = m.newArray();
    const Value result(static_cast<Object*>(array));
    if (depth > kMaxDepth)
        return result;
    int i = 0;
    for (const Value& child : Children(m, node))
        m.setMember(result, std::to_string(i++), ToAs(m, child, depth + 1));
    return result;
}

Value ObjectToAs(Machine& m, const Value& node, int depth)
{
    const Value result(m.newObject());
    if (depth > kMaxDepth)
        return result;
    for (const Value& child : Children(m, node)) {
        const std::string id = m.toString(m.getMember(m.getMember(child, "attributes"), "id"));
        m.setMember(result, id, ToAs(m, m.getMember(child, "firstChild"), depth + 1));
    }
    return result;
}

// A reply node by its name. An object name counts by its valueOf (a String object naming "null" does, an object
// whose toString alone gives "null" does not).
Value ToAs(Machine& m, const Value& node, int depth)
{
    Value name = m.getMember(node, "nodeName");
    if (name.isObject() && !m.unwinding())
        name = m.callMethod(name, "valueOf", nullptr, 0);
    auto is = [&](const char* s) {
        return !m.unwinding() && !name.isObject() && m.looseEquals(name, Value(m.str(s)));
    };
    if (is("null"))
        return Value::null();
    if (is("true"))
        return Value(true);
    if (is("false"))
        return Value(false);
    if (is("string"))
        return Value(m.toStringValue(m.getMember(node, "firstChild")));
    if (is("number"))
        return Value(m.toNumber(Value(m.toStringValue(m.getMember(node, "firstChild")))));
    if (is("array"))
        return ArrayToAs(m, node, depth);
    if (is("object"))
        return ObjectToAs(m, node, depth);
    return Value();
}

template <Value (*Decode)(Machine&, const Value&, int)>
Value Decoder(Machine& m, const Value&, const Value* args, int argc)
{
    return Decode(m, Arg(args, argc, 0), 0);
}

Callbacks* Registry(const Value& self)
{
    if (!self.isObject() || !self.asObject()->m_Primitive.isObject())
        return nullptr;
    return dynamic_cast<Callbacks*>(self.asObject()->m_Primitive.asObject());
}

// Whether a host scripts the movie.
bool HostAvailable(Machine& m)
{
    return LoadHostOf(m).externalHost;
}

Callbacks* RegistryOf(Machine& m)
{
    for (Object* o : m.m_Roots)
        if (auto* callbacks = dynamic_cast<Callbacks*>(o))
            return callbacks;
    return nullptr;
}

Value Available(Machine& m, const Value&, const Value*, int)
{
    return Value(HostAvailable(m));
}

Value AddCallback(Machine& m, const Value& self, const Value* args, int argc)
{
    Callbacks* callbacks = Registry(self);
    if (!callbacks || argc < 3 || !HostAvailable(m))
        return Value(false);
    const std::string name = m.toString(args[0]);
    if (name.empty() || !args[2].isObject())
        return Value(false);
    callbacks->entries[name] = { args[1], args[2] };
    return Value(true);
}

Value Call(Machine& m, const Value&, const Value* args, int argc)
{
    if (argc < 1 || !HostAvailable(m))
        return Value::null();
    const std::string name = m.toString(args[0]);
    if (m.unwinding())
        return Value::null();
    if (const LoadHost& host = LoadHostOf(m); host.externalCall)
        host.externalCall(name);
    return Value::null();
}

} // namespace

bool HasExternalCallback(Machine& m, const std::string& name)
{
    const Callbacks* callbacks = RegistryOf(m);
    return callbacks && callbacks->entries.count(name);
}

bool CallExternalCallback(Machine& m, const std::string& name, const std::vector<Value>& args, Value& result)
{
    Callbacks* callbacks = RegistryOf(m);
    if (!callbacks)
        return false;
    const auto it = callbacks->entries.find(name);
    if (it == callbacks->entries.end())
        return false;
    const auto [self, function] = it->second; // a copy: the callback may replace its own entry
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.push_back(self);
    m.m_Temporaries.push_back(function);
    for (const Value& arg : args)
        m.m_Temporaries.push_back(arg);
    result = m.call(function, self, args.data(), int(args.size()));
    if (m.m_Unwind == Unwind::Throw) {
        // A throw ends at the host's call: the host gets nothing.
        m.m_Unwind = Unwind::None;
        m.m_Thrown = Value();
        result = Value();
    }
    m.m_Temporaries.resize(mark);
    return true;
}

void InstallExternalInterfaceClass(Machine& m)
{
    if (m.version() < 8)
        return;
    Value flash = m.getMember(Value(m.m_Global), "flash");
    if (!flash.isObject()) {
        flash = Value(m.newObject());
        m.define(m.m_Global, "flash", flash);
    }
    Value external = m.getMember(flash, "external");
    if (!external.isObject()) {
        external = Value(m.newObject());
        m.define(flash.asObject(), "external", external);
    }
    Object* proto = m.newObject();
    FunctionObject* ctor = m.newNative(Nothing);
    m.define(ctor, "prototype", Value(proto), kDontEnum | kDontDelete);
    m.define(proto, "constructor", Value(static_cast<Object*>(ctor)), kDontEnum);
    m.define(external.asObject(), "ExternalInterface", Value(static_cast<Object*>(ctor)));
    auto* callbacks = m.heap().make<Callbacks>();
    ctor->m_Primitive = Value(static_cast<Object*>(callbacks));
    m.m_Roots.push_back(callbacks); // found by the host's calls whatever scripts do to the class
    DefineAccessor(m, ctor, "available", Available, nullptr);
    DefineMethods(m, ctor,
        {
            { "addCallback", AddCallback },
            { "call", Call },
            { "_escapeXML", EscapeXmlMethod },
            { "_jsQuoteString", JsQuoteString },
            { "_toXML", Encoder<ToXml> },
            { "_arrayToXML", Encoder<ArrayToXml> },
            { "_argumentsToXML", Encoder<ArgumentsToXml> },
            { "_objectToXML", Encoder<ObjectToXml> },
            { "_toAS", Decoder<ToAs> },
            { "_arrayToAS", Decoder<ArrayToAs> },
            { "_argumentsToAS", Decoder<ArgumentsToAs> },
            { "_objectToAS", Decoder<ObjectToAs> },
        });
}

} // namespace reelfinch::avm1
