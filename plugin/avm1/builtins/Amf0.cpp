#include "avm1/builtins/Amf0.h"
#include "avm1/ClassRegistry.h"

#include "avm1/builtins/Builtins.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <unordered_set>

namespace reelfinch::avm1::amf0 {

namespace {

// Nesting deeper than this is written as undefined and refused when read (a crafted file cannot exhaust the
// stack).
constexpr int kDepthLimit = 64;

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(uint8_t(x)) == std::tolower(uint8_t(y));
    });
}

// The table Object.registerClass fills: class names to constructors, in the order they were first given.
Object* Registry(Machine& m)
{
    return ClassRegistry(m, m.caseSensitive(), false);
}

// A plain (not getter) own property's value, whatever its flags; undefined when there is none.
Value OwnData(Machine& m, Object* o, std::string_view name)
{
    const Property* p = o->props().find(name, m.caseSensitive());
    return p && !p->removed && !(p->flags & kAccessor) ? p->value : Value();
}

// The index a property name stands for: plain decimal digits without a leading zero, below 2^32 - 1.
std::optional<uint32_t> ArrayIndex(std::string_view name)
{
    if (name.empty() || name.size() > 10 || (name.size() > 1 && name[0] == '0'))
        return std::nullopt;
    uint64_t n = 0;
    for (char c : name) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + uint64_t(c - '0');
    }
    return n < 0xFFFFFFFFu ? std::optional<uint32_t>(uint32_t(n)) : std::nullopt;
}

Object* XmlConstructor(Machine& m)
{
    const Value ctor = OwnData(m, m.m_Global, "XML");
    return ctor.isObject() && ctor.asObject()->isFunction() ? ctor.asObject() : nullptr;
}

} // namespace

bool IsProtoName(std::string_view key)
{
    return EqualsNoCase(key, "__proto__");
}

// ---- writing ----

void Writer::u16(uint32_t v)
{
    u8(uint8_t(v >> 8));
    u8(uint8_t(v));
}

void Writer::u32(uint32_t v)
{
    u16(v >> 16);
    u16(v & 0xFFFF);
}

void Writer::f64(double d)
{
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    for (int s = 56; s >= 0; s -= 8)
        u8(uint8_t(bits >> s));
}

void Writer::name(std::string_view s)
{
    const size_t n = std::min<size_t>(s.size(), 0xFFFF);
    u16(uint32_t(n));
    m_Out.append(s.substr(0, n));
}

void Writer::string(const std::string& s)
{
    if (s.size() > 0xFFFF) {
        u8(kLongString);
        u32(uint32_t(std::min<size_t>(s.size(), 0xFFFFFFFF)));
        m_Out += s;
    } else {
        u8(kString);
        name(s);
    }
}

bool Writer::Writable(const Value& v)
{
    return !v.isObject() || (!v.asObject()->isFunction() && v.asObject()->kind() != ObjectKind::Clip);
}

std::vector<std::pair<std::string, Value>> Writer::storedProperties(Object* o)
{
    Machine& m = m_Machine;
    const bool cs = m.caseSensitive();
    std::vector<std::pair<std::string, Value>> out;
    std::unordered_set<std::string> names; // every name met, enumerable or not, for shadowing
    const auto key = [&](std::string name) {
        if (!cs)
            std::transform(name.begin(), name.end(), name.begin(), [](char c) { return char(std::tolower(uint8_t(c))); });
        return name;
    };
    // Functions are left out; a clip (the object of something on the stage) is written as undefined.
    const auto add = [&](const std::string& name, const Value& v) {
        if (!v.isObject() || !v.asObject()->isFunction())
            out.emplace_back(name, Writable(v) ? v : Value());
    };
    if (o->kind() == ObjectKind::Array) {
        auto* a = static_cast<ArrayObject*>(o);
        for (size_t i = 0; i < a->m_Items.size(); ++i)
            if (!a->hole(i))
                add(std::to_string(i), a->m_Items[i]);
    }
    int guard = 0;
    for (Object* at = o; at && guard < 256; at = at->proto(), ++guard) {
        for (const Property& p : at->props().entries()) {
            if (p.removed || !names.insert(key(p.name)).second)
                continue;
            // The two internal links are never data.
            if ((p.flags & kDontEnum) || !PropertyVisible(p.flags, m.version()) || IsProtoName(p.name)
                || EqualsNoCase(p.name, "__constructor__") || (at->kind() == ObjectKind::Array && p.name == "length"))
                continue;
            add(p.name, (p.flags & kAccessor) ? Value() : p.value);
        }
    }
    return out;
}

std::string Writer::typedName(Object* o)
{
    Machine& m = m_Machine;
    Value ctor = OwnData(m, o, "constructor");
    if (!ctor.isObject())
        ctor = OwnData(m, o, "__constructor__");
    Object* registry = Registry(m);
    if (!ctor.isObject() || !ctor.asObject()->isFunction() || !registry)
        return {};
    // The name given last to this constructor; a name since given to another constructor no longer counts.
    const auto& entries = registry->props().entries();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if (!it->removed && !(it->flags & kAccessor) && it->value.isObject() && it->value.asObject() == ctor.asObject())
            return it->name;
    return {};
}

void Writer::properties(Object* o, int depth)
{
    for (const auto& [key, v] : storedProperties(o)) {
        name(key);
        value(v, depth + 1);
    }
    u16(0);
    u8(kObjectEnd);
}

void Writer::value(const Value& v)
{
    value(v, 0);
}

void Writer::value(const Value& v, int depth)
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
    if (const auto it = std::find(m_Seen.begin(), m_Seen.end(), o); it != m_Seen.end() && it - m_Seen.begin() < 0x10000
        && (!m_CyclesOnly || std::find(m_Path.begin(), m_Path.end(), o) != m_Path.end())) {
        u8(kReference);
        u16(uint32_t(it - m_Seen.begin()));
        return;
    }
    if (depth > kDepthLimit) {
        u8(kUndefined);
        return;
    }
    // Every object written takes the next reference number, dates and XML documents too.
    m_Seen.push_back(o);
    m_Path.push_back(o);
    write(o, depth);
    m_Path.pop_back();
}

void Writer::write(Object* o, int depth)
{
    Machine& m = m_Machine;
    const Value v(o);
    if (o->kind() == ObjectKind::Date) {
        u8(kDate);
        f64(m.toNumber(o->m_Primitive));
        u16(0);
        return;
    }
    if (Object* xml = XmlConstructor(m); xml && m.instanceOf(o, xml)) {
        const std::string text = m.toString(v);
        u8(kXml);
        u32(uint32_t(std::min<size_t>(text.size(), 0xFFFFFFFF)));
        m_Out += text;
        return;
    }
    if (o->kind() == ObjectKind::Array) {
        auto* a = static_cast<ArrayObject*>(o);
        // Properties named by an index (addProperty can make them) are elements too; the length and the two
        // internal links are no data of their own.
        size_t length = a->m_Items.size();
        bool dense = m_Arrays == ArrayForm::StrictWhenDense;
        for (const Property& p : o->props().entries()) {
            if (p.removed || (p.flags & kDontEnum) || !PropertyVisible(p.flags, m.version()))
                continue;
            if (const std::optional<uint32_t> index = ArrayIndex(p.name))
                length = std::max<size_t>(length, size_t(*index) + 1);
            else if (!IsProtoName(p.name) && !EqualsNoCase(p.name, "__constructor__") && !EqualsNoCase(p.name, "length"))
                dense = false;
        }
        if (dense) {
            u8(kStrictArray);
            u32(uint32_t(length));
            for (size_t i = 0; i < length; ++i) {
                Value item;
                if (i < a->m_Items.size() && !a->hole(i)) {
                    item = a->m_Items[i];
                } else if (const Property* p = o->props().find(std::to_string(i), m.caseSensitive());
                           p && !p->removed && !(p->flags & kAccessor)) {
                    item = p->value;
                }
                value(Writable(item) ? item : Value(), depth + 1);
            }
            return;
        }
        u8(kEcmaArray);
        u32(uint32_t(a->m_Items.size()));
        properties(o, depth);
        return;
    }
    const std::string typed = typedName(o);
    if (!typed.empty()) {
        u8(kTypedObject);
        name(typed);
    } else {
        u8(kObject);
    }
    properties(o, depth);
}

// ---- reading ----

bool Reader::need(size_t n)
{
    if (m_Failed || m_In.size() - m_At < n) {
        m_Failed = true;
        return false;
    }
    return true;
}

uint32_t Reader::u8()
{
    return need(1) ? uint8_t(m_In[m_At++]) : 0;
}

uint32_t Reader::u16()
{
    const uint32_t hi = u8();
    return hi << 8 | u8();
}

uint32_t Reader::u32()
{
    const uint32_t hi = u16();
    return hi << 16 | u16();
}

double Reader::f64()
{
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits = bits << 8 | u8();
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

std::string Reader::text(size_t n)
{
    if (!need(n))
        return {};
    std::string s(m_In.substr(m_At, n));
    m_At += n;
    return s;
}

void Reader::properties(Object* o, int depth)
{
    while (!m_Failed) {
        const std::string key = text(u16());
        if (key.empty()) {
            if (u8() != kObjectEnd)
                m_Failed = true;
            return;
        }
        const Value v = value(depth + 1);
        // A stored name never sets the prototype: a crafted file could make a prototype loop.
        if (!m_Failed && !IsProtoName(key))
            m_Machine.setMember(Value(o), key, v);
    }
}

// Dates and XML documents read take reference numbers as the other objects do.
Value Reader::numbered(const Value& v)
{
    if (v.isObject())
        m_Objects.push_back(v.asObject());
    return v;
}

// An object of the class registered under `className` (its prototype and constructor link set, its constructor
// not run), or a plain object for a name nobody registered.
Object* Reader::typedObject(const std::string& className)
{
    Machine& m = m_Machine;
    Object* registry = Registry(m);
    const Value ctor = registry ? OwnData(m, registry, className) : Value();
    if (!ctor.isObject() || !ctor.asObject()->isFunction())
        return m.newObject();
    const Value proto = OwnData(m, ctor.asObject(), "prototype");
    Object* o = m.newObject(proto.isObject() ? proto.asObject() : nullptr);
    m.define(o, "__constructor__", ctor);
    return o;
}

Value Reader::value(int depth)
{
    Machine& m = m_Machine;
    if (depth > kDepthLimit) {
        m_Failed = true;
        return Value();
    }
    const uint32_t marker = u8();
    switch (marker) {
    case kNumber:
        return Value(f64());
    case kBoolean:
        return Value(u8() != 0);
    case kString:
        return Value(m.str(text(u16())));
    case kLongString:
        return Value(m.str(text(u32())));
    case kXml: {
        const Value source(m.str(text(u32())));
        const Value ctor = OwnData(m, m.m_Global, "XML");
        return numbered(ctor.isObject() && !m_Failed ? m.construct(ctor, &source, 1) : source);
    }
    case kNull:
        return Value::null();
    case kUndefined:
    case kUnsupported:
        return Value();
    case kReference: {
        const uint32_t i = u16();
        if (i >= m_Objects.size()) {
            m_Failed = true;
            return Value();
        }
        return Value(m_Objects[i]);
    }
    case kDate: {
        const double t = f64();
        u16();
        const Value ctor = OwnData(m, m.m_Global, "Date");
        const Value arg(t);
        return numbered(ctor.isObject() ? m.construct(ctor, &arg, 1) : Value(t));
    }
    case kObject:
    case kTypedObject: {
        Object* o = marker == kTypedObject ? typedObject(text(u16())) : m.newObject();
        m_Objects.push_back(o);
        properties(o, depth);
        return Value(o);
    }
    case kEcmaArray: {
        ArrayObject* a = m.newArray();
        m_Objects.push_back(a);
        u32();
        properties(a, depth);
        return Value(static_cast<Object*>(a));
    }
    case kStrictArray: {
        ArrayObject* a = m.newArray();
        m_Objects.push_back(a);
        const uint32_t n = u32();
        for (uint32_t i = 0; i < n && !m_Failed; ++i) {
            // Every element takes a byte at least: a count larger than the data left is damage.
            if (!need(1))
                break;
            a->m_Items.push_back(value(depth + 1));
        }
        return Value(static_cast<Object*>(a));
    }
    default:
        m_Failed = true;
        return Value();
    }
}

} // namespace reelfinch::avm1::amf0
