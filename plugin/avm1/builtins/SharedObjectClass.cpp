// SharedObject: a movie's local store. getLocal(name, localPath, secure) gives the object for a name (the same
// one while the movie runs), its `data` read from `<host>/<movie path or localPath>/<name>.sol` of the store in
// force (see SharedObjectStore.h) in the AMF0 form of the player's files; flush() writes it back unless it is
// larger than the limit. A damaged file reads as no data.
#include "avm1/builtins/Amf0.h"
#include "avm1/builtins/NativeData.h"
#include "timeline/MoviePlayer.h"
#include "avm1/builtins/SharedObjectStore.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

namespace reelfinch::avm1 {

namespace {

// The most a movie may store under one name.
constexpr size_t kSizeLimit = kSharedObjectSizeLimit;

// ---- files ----

// A file name part made of safe characters only: no separators, no "..".
std::string SafePart(std::string_view s)
{
    std::string out;
    for (char c : s) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'
            || c == '_' || c == '.';
        out += ok ? c : '_';
    }
    if (out.empty() || out == "." || out == "..")
        out = "_" + out;
    return out;
}

// Each '/'-separated part of `path` as a folder after `folder` (a relative path of the store).
void AppendParts(std::string& folder, std::string_view path)
{
    size_t start = 0;
    while (start < path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string_view::npos)
            slash = path.size();
        if (slash > start)
            folder += (folder.empty() ? "" : "/") + SafePart(path.substr(start, slash - start));
        start = slash + 1;
    }
}

// Whether `prefix` is made of the first whole parts of `path` ("/" and "" are a prefix of every path).
bool PathPrefix(std::string_view prefix, std::string_view path)
{
    while (!prefix.empty() && prefix.back() == '/')
        prefix.remove_suffix(1);
    if (prefix.empty())
        return true;
    if (path.substr(0, prefix.size()) != prefix)
        return false;
    return path.size() == prefix.size() || path[prefix.size()] == '/';
}

// The per-machine state: the movie's location and the objects getLocal has handed out.
class SharedState final : public NativeData
{
public:
    void trace(Heap& heap) override
    {
        NativeData::trace(heap);
        for (auto& [k, o] : objects)
            heap.mark(static_cast<Cell*>(o));
    }
    // Where the movie came from: its host ("localhost" for a file) and its path, and whether over plain HTTP.
    std::string host = "localhost";
    std::string path;
    bool insecure = false;
    std::map<std::string, Object*> objects;
};

class SharedObjectState final : public NativeData
{
public:
    std::string file; // relative path in the store
    std::string name;
};

// The _global of the main movie's version: movies on both sides of SWF 6 and 7 share its state.
Object* MainGlobal(Machine& m)
{
    plugin::SpriteInstance* root = m.spriteOf(Value(m.rootClip()));
    Object* global = root ? m.globalOf(m.player().versionOf(*root), false) : nullptr;
    return global ? global : m.m_Global;
}

SharedState* State(Machine& m)
{
    Value ctor = m.getMember(Value(MainGlobal(m)), "SharedObject");
    if (!ctor.isObject() || !ctor.asObject()->m_Primitive.isObject())
        return nullptr;
    return dynamic_cast<SharedState*>(ctor.asObject()->m_Primitive.asObject());
}

std::string Serialize(Machine& m, const std::string& name, Object* data)
{
    amf0::Writer body(m, amf0::ArrayForm::Associative);
    for (const char c : std::string_view("TCSO\0\x04\0\0\0\0", 10))
        body.u8(uint8_t(c));
    body.name(name);
    body.u32(0); // AMF0
    for (const auto& [key, v] : body.storedProperties(data)) {
        body.name(key);
        body.value(v);
        body.u8(0);
    }
    amf0::Writer file(m, amf0::ArrayForm::Associative);
    file.u8(0x00);
    file.u8(0xBF);
    file.u32(uint32_t(body.bytes().size()));
    return file.take() + body.take();
}

// Reads a stored object's properties onto `data`; false (and nothing set) when the file is damaged.
bool Deserialize(Machine& m, std::string_view bytes, Object* data)
{
    amf0::Reader r(m, bytes);
    if (r.u8() != 0x00 || r.u8() != 0xBF)
        return false;
    const uint32_t length = r.u32();
    if (r.failed() || length != bytes.size() - 6 || r.text(4) != "TCSO")
        return false;
    r.text(6);
    r.text(r.u16());
    if (r.u32() != 0 || r.failed())
        return false;
    std::vector<std::pair<std::string, Value>> values;
    while (!r.failed() && !r.atEnd()) {
        std::string key = r.text(r.u16());
        Value v = r.value();
        r.u8();
        values.emplace_back(std::move(key), v);
    }
    if (r.failed())
        return false;
    for (const auto& [key, v] : values)
        if (!amf0::IsProtoName(key))
            m.setMember(Value(data), key, v);
    return true;
}

Value GetLocal(Machine& m, const Value&, const Value* args, int argc)
{
    SharedState* state = State(m);
    if (!state || argc < 1)
        return Value::null();
    const std::string name = m.toString(args[0]);
    // Names the player refuses: empty, or with characters that cannot be part of a file name.
    if (name.empty() || name.back() == '/' || name.find_first_of("~%&\\;:\"',<>?# ") != std::string::npos)
        return Value::null();
    // A local path must be part of the movie's own path; a secure object is refused to a movie over plain HTTP.
    const bool haveLocalPath = argc > 1 && !args[1].isNullish();
    const std::string localPath = haveLocalPath ? m.toString(args[1]) : std::string();
    if (haveLocalPath && !PathPrefix(localPath, state->path))
        return Value::null();
    if (argc > 2 && m.toBoolean(args[2]) && state->insecure)
        return Value::null();

    std::string file = SafePart(state->host);
    AppendParts(file, haveLocalPath ? localPath : state->path);
    for (size_t s = 0, e; s <= name.size(); s = e + 1) {
        e = name.find('/', s);
        if (e == std::string::npos)
            e = name.size();
        const std::string part = name.substr(s, e - s);
        if (!part.empty())
            file += "/" + SafePart(e == name.size() ? part + ".sol" : part);
    }
    if (!ValidSharedObjectPath(file))
        return Value::null();
    if (auto it = state->objects.find(file); it != state->objects.end())
        return Value(it->second);

    Value ctor = m.getMember(Value(m.m_Global), "SharedObject");
    Value protoValue = ctor.isObject() ? m.getMember(ctor, "prototype") : Value();
    Object* so = m.newObject(protoValue.isObject() ? protoValue.asObject() : m.m_ObjectProto);
    SharedObjectState* s = AttachNative<SharedObjectState>(m, so);
    s->file = file;
    s->name = name;
    Object* data = m.newObject();
    m.define(so, "data", Value(data), kDontDelete);
    if (const std::optional<std::string> content = CurrentSharedObjectStore().read(file)) {
        // A damaged file is read into a scratch object first, so that none of it reaches the movie.
        Object* scratch = m.newObject();
        if (Deserialize(m, *content, scratch))
            for (const std::string& k : m.enumerate(scratch))
                m.setMember(Value(data), k, m.getMember(Value(scratch), k));
    }
    if ((state = State(m)))
        state->objects[file] = so;
    return Value(so);
}

Object* Data(Machine& m, const Value& self)
{
    Value data = m.getMember(self, "data");
    return data.isObject() ? data.asObject() : nullptr;
}

Value Flush(Machine& m, const Value& self, const Value* args, int argc)
{
    SharedObjectState* s = NativeOf<SharedObjectState>(self);
    Object* data = Data(m, self);
    if (!s || !data)
        return Value(false);
    const std::string bytes = Serialize(m, s->name, data);
    const double asked = argc > 0 ? m.toNumber(args[0]) : 0;
    if (bytes.size() > kSizeLimit || (asked > double(kSizeLimit))) {
        // Over the limit: nothing is written, and the movie hears why through onStatus.
        Object* info = m.newObject();
        m.setMember(Value(info), "code", Value(m.str("SharedObject.Flush.Failed")));
        m.setMember(Value(info), "level", Value(m.str("error")));
        Value arg(info);
        m.callMethod(self, "onStatus", &arg, 1);
        return Value(false);
    }
    if (!(s = NativeOf<SharedObjectState>(self)))
        return Value(false);
    return Value(CurrentSharedObjectStore().write(s->file, bytes));
}

Value GetSize(Machine& m, const Value& self, const Value*, int)
{
    SharedObjectState* s = NativeOf<SharedObjectState>(self);
    Object* data = Data(m, self);
    if (!s || !data)
        return Value();
    if (m.enumerate(data).empty())
        return Value(0);
    return Value(double(Serialize(m, s->name, data).size()));
}

Value Clear(Machine& m, const Value& self, const Value*, int)
{
    SharedObjectState* s = NativeOf<SharedObjectState>(self);
    Object* data = Data(m, self);
    if (!s || !data)
        return Value();
    for (const std::string& k : m.enumerate(data))
        m.deleteMember(data, k);
    if ((s = NativeOf<SharedObjectState>(self)))
        CurrentSharedObjectStore().remove(s->file);
    return Value();
}


} // namespace

// Where the movie came from (its URL): stored objects of different movie locations are kept apart.
void SetSharedObjectLocation(Machine& m, std::string_view url)
{
    SharedState* state = State(m);
    if (!state)
        return;
    std::string_view rest = url;
    std::string scheme;
    if (const size_t colon = rest.find("://"); colon != std::string_view::npos) {
        scheme = std::string(rest.substr(0, colon));
        for (char& c : scheme)
            c = char(std::tolower(uint8_t(c)));
        rest.remove_prefix(colon + 3);
    }
    if (const size_t query = rest.find_first_of("?#"); query != std::string_view::npos)
        rest = rest.substr(0, query);
    std::string host;
    if (!scheme.empty() && scheme != "file") {
        const size_t slash = rest.find('/');
        host = std::string(rest.substr(0, slash));
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        // The port and any user part do not change where a host's objects are kept.
        if (const size_t at = host.rfind('@'); at != std::string::npos)
            host.erase(0, at + 1);
        if (const size_t port = host.find(':'); port != std::string::npos)
            host.resize(port);
    }
    state->host = host.empty() ? "localhost" : host;
    state->path = std::string(rest);
    state->insecure = scheme == "http";
}

void InstallSharedObjectClass(Machine& m)
{
    Object* proto = m.newObject();
    FunctionObject* ctor = DefineClass(m, "SharedObject", Nothing, nullptr, proto);
    // The constructor object carries the machine's store state.
    ctor->m_Primitive = Value(static_cast<Object*>(m.heap().make<SharedState>()));
    DefineMethods(m, ctor, { { "getLocal", GetLocal } });
    DefineMethods(m, proto,
        {
            { "flush", Flush },
            { "getSize", GetSize },
            { "clear", Clear },
            { "close", Nothing },
        });
}

} // namespace reelfinch::avm1
