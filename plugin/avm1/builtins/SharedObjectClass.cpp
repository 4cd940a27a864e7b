// SharedObject: a movie's local store. getLocal(name, localPath, secure) gives the object for a name (the same
// one while the movie runs), its `data` read from `<host>/<movie path or localPath>/<name>.sol` of the store in
// force (see SharedObjectStore.h) in the AMF0 form of the player's files; flush() writes it back unless it is
// larger than the limit. A damaged file reads as no data.
#include "avm1/builtins/NativeData.h"
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
constexpr int kDepthLimit = 64;

enum Amf : uint8_t {
    kNumber = 0,
    kBoolean = 1,
    kString = 2,
    kObject = 3,
    kNull = 5,
    kUndefined = 6,
    kReference = 7,
    kEcmaArray = 8,
    kObjectEnd = 9,
    kStrictArray = 10,
    kDate = 11,
    kLongString = 12,
    kXml = 15,
    kTypedObject = 16,
};

// ---- writing ----

// What is written of an object: an array's elements in index order (holes, which read as undefined, are left
// out), then its own enumerable properties in the order they were made, as the player's files hold them.
std::vector<std::string> StoredKeys(Object* o)
{
    std::vector<std::string> keys;
    if (o->kind() == ObjectKind::Array) {
        const auto& items = static_cast<ArrayObject*>(o)->m_Items;
        for (size_t i = 0; i < items.size(); ++i)
            if (!items[i].isUndefined())
                keys.push_back(std::to_string(i));
    }
    for (const auto& entry : o->props().entries())
        if (!entry.removed && !(entry.flags & kDontEnum))
            keys.push_back(entry.name);
    return keys;
}

struct Writer {
    Machine& m;
    std::string out;
    std::vector<Object*> seen;

    void u8(uint8_t v) { out += char(v); }
    void u16(uint32_t v)
    {
        u8(uint8_t(v >> 8));
        u8(uint8_t(v));
    }
    void u32(uint32_t v)
    {
        u16(v >> 16);
        u16(v & 0xFFFF);
    }
    void f64(double d)
    {
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        for (int s = 56; s >= 0; s -= 8)
            u8(uint8_t(bits >> s));
    }
    void name(const std::string& s)
    {
        const size_t n = std::min<size_t>(s.size(), 0xFFFF);
        u16(uint32_t(n));
        out.append(s, 0, n);
    }
    void string(const std::string& s)
    {
        if (s.size() > 0xFFFF) {
            u8(kLongString);
            u32(uint32_t(std::min<size_t>(s.size(), 0xFFFFFFFF)));
            out += s;
        } else {
            u8(kString);
            name(s);
        }
    }
    void properties(Object* o, int depth)
    {
        for (const std::string& key : StoredKeys(o)) {
            const Value v = m.getMember(Value(o), key);
            if (v.isObject() && (v.asObject()->isFunction() || v.asObject()->kind() == ObjectKind::Clip))
                continue;
            name(key);
            value(v, depth + 1);
        }
        u16(0);
        u8(kObjectEnd);
    }
    void value(const Value& v, int depth)
    {
        switch (v.type()) {
        case Type::Undefined:
            u8(kUndefined);
            return;
        case Type::Null:
            u8(kNull);
            return;
        case Type::Boolean:
            u8(kBoolean);
            u8(v.asBool() ? 1 : 0);
            return;
        case Type::Number:
            u8(kNumber);
            f64(v.asNumber());
            return;
        case Type::String:
            string(v.str());
            return;
        case Type::Object:
            break;
        }
        Object* o = v.asObject();
        for (size_t i = 0; i < seen.size(); ++i)
            if (seen[i] == o) {
                u8(kReference);
                u16(uint32_t(i));
                return;
            }
        if (depth > kDepthLimit) {
            u8(kUndefined);
            return;
        }
        if (o->kind() == ObjectKind::Date) {
            u8(kDate);
            f64(m.toNumber(o->m_Primitive));
            u16(0);
            return;
        }
        seen.push_back(o);
        if (o->kind() == ObjectKind::Array) {
            u8(kEcmaArray);
            u32(uint32_t(static_cast<ArrayObject*>(o)->m_Items.size()));
            properties(o, depth);
            return;
        }
        u8(kObject);
        properties(o, depth);
    }
};

// ---- reading ----

bool IsProtoName(std::string_view key)
{
    if (key.size() != 9)
        return false;
    for (size_t i = 0; i < 9; ++i) {
        char c = key[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != "__proto__"[i])
            return false;
    }
    return true;
}

struct Reader {
    Machine& m;
    std::string_view in;
    size_t at = 0;
    bool failed = false;
    std::vector<Object*> objects;

    bool need(size_t n)
    {
        if (failed || in.size() - at < n) {
            failed = true;
            return false;
        }
        return true;
    }
    uint32_t u8()
    {
        return need(1) ? uint8_t(in[at++]) : 0;
    }
    uint32_t u16()
    {
        const uint32_t hi = u8();
        return hi << 8 | u8();
    }
    uint32_t u32()
    {
        const uint32_t hi = u16();
        return hi << 16 | u16();
    }
    double f64()
    {
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits = bits << 8 | u8();
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }
    std::string text(size_t n)
    {
        if (!need(n))
            return {};
        std::string s(in.substr(at, n));
        at += n;
        return s;
    }
    // Name/value pairs up to the end marker, onto `o`.
    void properties(Object* o, int depth)
    {
        while (!failed) {
            const std::string key = text(u16());
            if (key.empty()) {
                if (u8() != kObjectEnd)
                    failed = true;
                return;
            }
            const Value v = value(depth + 1);
            // A stored name never sets the prototype: a crafted file could make a prototype loop.
            if (!failed && !IsProtoName(key))
                m.setMember(Value(o), key, v);
        }
    }
    Value value(int depth)
    {
        if (depth > kDepthLimit) {
            failed = true;
            return Value();
        }
        switch (u8()) {
        case kNumber:
            return Value(f64());
        case kBoolean:
            return Value(u8() != 0);
        case kString:
            return Value(m.str(text(u16())));
        case kLongString:
        case kXml:
            return Value(m.str(text(u32())));
        case kNull:
            return Value::null();
        case kUndefined:
            return Value();
        case kReference: {
            const uint32_t i = u16();
            if (i >= objects.size()) {
                failed = true;
                return Value();
            }
            return Value(objects[i]);
        }
        case kDate: {
            const double t = f64();
            u16();
            Value ctor = m.getMember(Value(m.m_Global), "Date");
            Value arg(t);
            return ctor.isObject() ? m.construct(ctor, &arg, 1) : Value(t);
        }
        case kObject:
        case kTypedObject: {
            Object* o = m.newObject();
            objects.push_back(o);
            if (in[at - 1] == char(kTypedObject))
                text(u16()); // the class name; the object comes back as a plain one
            properties(o, depth);
            return Value(o);
        }
        case kEcmaArray: {
            ArrayObject* a = m.newArray();
            objects.push_back(a);
            u32();
            properties(a, depth);
            return Value(static_cast<Object*>(a));
        }
        case kStrictArray: {
            ArrayObject* a = m.newArray();
            objects.push_back(a);
            const uint32_t n = u32();
            for (uint32_t i = 0; i < n && !failed; ++i) {
                if (in.size() - at < 1) {
                    failed = true;
                    break;
                }
                a->m_Items.push_back(value(depth + 1));
            }
            return Value(static_cast<Object*>(a));
        }
        default:
            failed = true;
            return Value();
        }
    }
};

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

SharedState* State(Machine& m)
{
    Value ctor = m.getMember(Value(m.m_Global), "SharedObject");
    if (!ctor.isObject() || !ctor.asObject()->m_Primitive.isObject())
        return nullptr;
    return dynamic_cast<SharedState*>(ctor.asObject()->m_Primitive.asObject());
}

std::string Serialize(Machine& m, const std::string& name, Object* data)
{
    Writer body { m, {}, {} };
    body.out += std::string("TCSO\0\x04\0\0\0\0", 10);
    body.name(name);
    body.u32(0); // AMF0
    for (const std::string& key : StoredKeys(data)) {
        const Value v = m.getMember(Value(data), key);
        if (v.isObject() && (v.asObject()->isFunction() || v.asObject()->kind() == ObjectKind::Clip))
            continue;
        body.name(key);
        body.value(v, 0);
        body.u8(0);
    }
    Writer file { m, {}, {} };
    file.u8(0x00);
    file.u8(0xBF);
    file.u32(uint32_t(body.out.size()));
    return file.out + body.out;
}

// Reads a stored object's properties onto `data`; false (and nothing set) when the file is damaged.
bool Deserialize(Machine& m, std::string_view bytes, Object* data)
{
    Reader r { m, bytes, 0, false, {} };
    if (r.u8() != 0x00 || r.u8() != 0xBF)
        return false;
    const uint32_t length = r.u32();
    if (r.failed || length != bytes.size() - 6 || r.text(4) != "TCSO")
        return false;
    r.text(6);
    r.text(r.u16());
    if (r.u32() != 0 || r.failed)
        return false;
    std::vector<std::pair<std::string, Value>> values;
    while (!r.failed && r.at < bytes.size()) {
        std::string key = r.text(r.u16());
        Value v = r.value(0);
        r.u8();
        values.emplace_back(std::move(key), v);
    }
    if (r.failed)
        return false;
    for (const auto& [key, v] : values)
        if (!IsProtoName(key))
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
