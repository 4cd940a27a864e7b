#include "avm1/Object.h"

#include "avm1/Heap.h"
#include "avm1/Code.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <typeinfo>
#include <strings.h>

namespace reelfinch::avm1 {

namespace {
// Tables up to this size are searched in order; larger ones keep an index.
constexpr size_t kIndexFrom = 12;

bool NameEquals(std::string_view a, std::string_view b, bool caseSensitive)
{
    if (a.size() != b.size())
        return false;
    if (caseSensitive)
        return a == b;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
} // namespace

static uint64_t NextPropertyId()
{
    thread_local uint64_t s_NextId = 0;
    return ++s_NextId;
}

bool PropertyVisible(uint16_t flags, int version)
{
    if (!(flags & kVersionMask))
        return true;
    if ((flags & kOnlySwf6) && version < 6)
        return false;
    if ((flags & kIgnoreSwf6) && version == 6)
        return false;
    if ((flags & kOnlySwf7) && version < 7)
        return false;
    if ((flags & kOnlySwf8) && version < 8)
        return false;
    if ((flags & kOnlySwf9) && version < 9)
        return false;
    if ((flags & kOnlySwf10) && version < 10)
        return false;
    return true;
}

std::string PropertyMap::key(std::string_view name, bool caseSensitive)
{
    std::string k(name);
    if (!caseSensitive)
        for (char& c : k)
            c = char(std::tolower(static_cast<unsigned char>(c)));
    return k;
}

void PropertyMap::rebuildIndex(bool caseSensitive)
{
    if (m_Removed > 0) {
        std::vector<Property> kept;
        kept.reserve(m_Entries.size() - m_Removed);
        for (auto& p : m_Entries)
            if (!p.removed)
                kept.push_back(std::move(p));
        m_Entries = std::move(kept);
        m_Removed = 0;
    }
    m_Index.clear();
    m_IndexCaseSensitive = caseSensitive;
    if (m_Entries.size() < kIndexFrom)
        return;
    for (uint32_t i = 0; i < m_Entries.size(); ++i)
        m_Index.emplace(key(m_Entries[i].name, caseSensitive), i);
}

Property* PropertyMap::find(std::string_view name, bool caseSensitive)
{
    if (m_Entries.size() < kIndexFrom) {
        for (auto& p : m_Entries)
            if (!p.removed && NameEquals(p.name, name, caseSensitive))
                return &p;
        return nullptr;
    }
    if (m_Index.empty() || m_IndexCaseSensitive != caseSensitive)
        rebuildIndex(caseSensitive);
    auto it = m_Index.find(key(name, caseSensitive));
    if (it == m_Index.end() || it->second >= m_Entries.size() || m_Entries[it->second].removed)
        return nullptr;
    return &m_Entries[it->second];
}

Property& PropertyMap::add(std::string_view name, bool caseSensitive)
{
    if (m_Removed > m_Entries.size() / 2 + 8)
        rebuildIndex(caseSensitive);
    m_Entries.push_back(Property { std::string(name), Value(), Value(), 0, false, Value(), NextPropertyId() });
    if (!m_Index.empty() || m_Entries.size() == kIndexFrom) {
        if (m_Index.empty() || m_IndexCaseSensitive != caseSensitive)
            rebuildIndex(caseSensitive);
        else
            m_Index.emplace(key(name, caseSensitive), uint32_t(m_Entries.size() - 1));
    }
    return m_Entries.back();
}

Property& PropertyMap::addFirst(std::string_view name)
{
    m_Entries.insert(m_Entries.begin(), Property { std::string(name), Value(), Value(), 0, false, Value(), NextPropertyId() });
    rebuildIndex(m_IndexCaseSensitive); // every position moved
    return m_Entries.front();
}

bool PropertyMap::remove(std::string_view name, bool caseSensitive)
{
    Property* p = find(name, caseSensitive);
    if (!p)
        return false;
    if (m_Index.empty()) {
        m_Entries.erase(m_Entries.begin() + (p - m_Entries.data()));
        return true;
    }
    m_Index.erase(key(p->name, caseSensitive));
    p->removed = true;
    p->value = Value();
    p->setter = Value();
    p->stored = Value();
    ++m_Removed;
    return true;
}

void Object::setOwn(std::string_view name, const Value& v, bool caseSensitive, uint16_t flags)
{
    Property* p = m_Props.find(name, caseSensitive);
    if (!p)
        p = &m_Props.add(name, caseSensitive);
    p->value = v;
    p->flags = flags;
}

void* Object::operator new(size_t size)
{
    return ::operator new(size == sizeof(Object) ? std::max(sizeof(Object), sizeof(ArrayObject)) : size);
}

void Object::operator delete(void* p)
{
    ::operator delete(p);
}

ArrayObject* Object::becomeArray(const ArrayObject& source)
{
    if (typeid(*this) != typeid(Object) || m_Kind != ObjectKind::Plain || !m_Primitive.isUndefined())
        return nullptr;
    Cell* const next = m_Next;
    const bool marked = m_Marked;
    const bool permanent = m_Permanent;
    const Value proto = m_Proto;
    PropertyMap props = std::move(m_Props);
    std::vector<Object*> interfaces = std::move(m_Interfaces);
    const bool interfacesSet = m_InterfacesSet;
    auto watchers = std::move(m_Watchers);
    void* place = this;
    this->~Object();
    auto* a = ::new (place) ArrayObject(nullptr);
    a->m_Next = next;
    a->m_Marked = marked;
    a->m_Permanent = permanent;
    a->m_Proto = proto;
    a->m_Props = std::move(props);
    a->m_Interfaces = std::move(interfaces);
    a->m_InterfacesSet = interfacesSet;
    a->m_Watchers = std::move(watchers);
    a->m_Items = source.m_Items;
    a->m_Holes = source.m_Holes;
    a->m_OddLength = source.m_OddLength;
    a->m_Length = source.m_Length;
    return a;
}

void Object::trace(Heap& heap)
{
    heap.mark(m_Proto);
    heap.mark(m_Primitive);
    for (const auto& p : m_Props.entries()) {
        heap.mark(p.value);
        heap.mark(p.setter);
        heap.mark(p.stored);
    }
    for (Object* i : m_Interfaces)
        heap.mark(static_cast<Cell*>(i));
    if (m_Watchers)
        for (const auto& [name, w] : *m_Watchers) {
            heap.mark(w.callback);
            heap.mark(w.data);
        }
}

void ArrayObject::trace(Heap& heap)
{
    Object::trace(heap);
    for (const Value& v : m_Items)
        heap.mark(v);
}

void FunctionObject::trace(Heap& heap)
{
    Object::trace(heap);
    heap.mark(m_Scope);
    heap.mark(static_cast<Cell*>(m_Target));
}

SuperObject::SuperObject(Object* holder, const Value& self)
    : Object(holder ? holder->proto() : nullptr, ObjectKind::Super)
    , m_Holder(holder)
{
    m_Primitive = self;
    int depth = 0;
    for (Object* o = self.isObject() ? self.asObject() : nullptr; o && holder && depth < 256; o = o->proto(), ++depth)
        if (o == holder) {
            m_Depth = depth;
            break;
        }
}

void SuperObject::refresh()
{
    if (m_Depth < 0 || !m_Primitive.isObject())
        return;
    Object* o = m_Primitive.asObject();
    for (int i = 0; o && i < m_Depth; ++i)
        o = o->proto();
    if (!o || o == m_Holder)
        return;
    m_Holder = o;
    m_Proto = o->protoValue();
}

void SuperObject::trace(Heap& heap)
{
    Object::trace(heap);
    heap.mark(static_cast<Cell*>(m_Holder));
}

void Scope::trace(Heap& heap)
{
    heap.mark(static_cast<Cell*>(m_Object));
    heap.mark(m_Parent);
}

long ArrayIndex(std::string_view name)
{
    if (name.empty() || name.size() > 9)
        return -1;
    if (name.size() > 1 && name[0] == '0')
        return -1;
    long v = 0;
    for (char c : name) {
        if (c < '0' || c > '9')
            return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

} // namespace reelfinch::avm1
