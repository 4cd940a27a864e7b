// Script objects: a property table in insertion order with attributes, getters and setters, watchers, the
// prototype link, and the kinds the machine treats specially (functions, arrays, movie clips, boxed primitives).
#pragma once

#include "avm1/Value.h"

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace reelfinch::avm1 {

class Heap;
class FunctionObject;
class ArrayObject;

// Property attributes as ASSetPropFlags numbers them.
enum PropertyFlag : uint16_t {
    kDontEnum = 1,
    kDontDelete = 2,
    kReadOnly = 4,
    kOnlySwf6 = 0x80, // hidden before SWF 6
    kIgnoreSwf6 = 0x100, // hidden in SWF 6
    kOnlySwf7 = 0x400,
    kOnlySwf8 = 0x1000,
    kOnlySwf9 = 0x2000,
    kOnlySwf10 = 0x4000,
    kVersionMask = 0x80 | 0x100 | 0x400 | 0x1000 | 0x2000 | 0x4000,
    kAccessor = 0x8000, // value is the getter, setter the setter (addProperty)
};

struct Property {
    std::string name; // as first written
    Value value;
    Value setter;
    uint16_t flags = 0;
    bool removed = false;
    // Of a getter/setter pair: the value last written, which reads and writes use while the pair may not run.
    Value stored;
    // Tells this property apart from one added later under the same name (after a delete).
    uint64_t id = 0;
};

// Whether a property with these flags is visible to a movie of `version`.
bool PropertyVisible(uint16_t flags, int version);

// Insertion-ordered properties. Names compare exactly, or without case for movies before SWF 7.
class PropertyMap
{
public:
    Property* find(std::string_view name, bool caseSensitive);
    const Property* find(std::string_view name, bool caseSensitive) const
    {
        return const_cast<PropertyMap*>(this)->find(name, caseSensitive);
    }
    Property& add(std::string_view name, bool caseSensitive);
    // Adds a property as the oldest of the table (first in insertion order).
    Property& addFirst(std::string_view name);
    bool remove(std::string_view name, bool caseSensitive);
    std::vector<Property>& entries() { return m_Entries; }
    const std::vector<Property>& entries() const { return m_Entries; }
    size_t size() const { return m_Entries.size() - m_Removed; }

private:
    static std::string key(std::string_view name, bool caseSensitive);
    void rebuildIndex(bool caseSensitive);
    std::vector<Property> m_Entries;
    std::unordered_map<std::string, uint32_t> m_Index; // for larger tables
    bool m_IndexCaseSensitive = true;
    size_t m_Removed = 0;
};

enum class ObjectKind : uint8_t {
    Plain,
    Function,
    Array,
    Clip,
    Boolean,
    Number,
    String,
    Date,
    Error,
    Activation,
    Arguments,
    Super,
    Global,
    Other
};

struct Watcher {
    Value callback;
    Value data;
};

class Object : public Cell
{
public:
    explicit Object(Object* proto, ObjectKind kind = ObjectKind::Plain)
        : m_Proto(proto)
        , m_Kind(kind)
    {
    }
    void trace(Heap& heap) override;
    size_t extraBytes() const override { return m_Props.entries().capacity() * sizeof(Property); }

    // Plain objects are given room to become an array where they are (becomeArray), so that references to them
    // stay good.
    static void* operator new(size_t size);
    static void operator delete(void* p);
    // A plain object (no native state) that the Array constructor ran on through `super()` becomes an array with
    // the elements of `source`, keeping its properties, prototype and identity; null when it cannot.
    ArrayObject* becomeArray(const ArrayObject& source);

    ObjectKind kind() const { return m_Kind; }
    bool isFunction() const { return m_Kind == ObjectKind::Function; }

    Object* proto() const { return m_Proto.isObject() ? m_Proto.asObject() : nullptr; }
    const Value& protoValue() const { return m_Proto; }
    void setProto(const Value& v) { m_Proto = v; }

    PropertyMap& props() { return m_Props; }
    const PropertyMap& props() const { return m_Props; }

    // Plain table access (no getters, no watchers, no prototype).
    void setOwn(std::string_view name, const Value& v, bool caseSensitive, uint16_t flags = 0);

    // The primitive a boxed Boolean/Number/String object holds; the time value of a Date.
    Value m_Primitive;
    // A plain object that a Boolean, Number or String constructor ran on (through `super()`) becomes one.
    void adoptPrimitive(ObjectKind kind, const Value& v)
    {
        if (m_Kind != ObjectKind::Plain && m_Kind != kind)
            return;
        m_Kind = kind;
        m_Primitive = v;
    }
    // The prototypes of the interfaces an ImplementsOp named (for instanceof). The first ImplementsOp with any
    // arguments sets the list for good, even when none of them was an interface.
    std::vector<Object*> m_Interfaces;
    bool m_InterfacesSet = false;
    // The attributes of the __proto__ member (kDontDelete, kReadOnly, kDontEnum): the link lives in m_Proto, its
    // attributes here, so that ASSetPropFlags can lock or free it like any other member. kAccessor marks a link
    // that answers reads only, whatever its attributes: writes leave it as it is. Like the player's, it is hidden
    // from for..in until a script clears its kDontEnum.
    uint16_t m_ProtoFlags = kDontEnum;
    std::unique_ptr<std::vector<std::pair<std::string, Watcher>>> m_Watchers;

protected:
    Value m_Proto;
    PropertyMap m_Props;
    ObjectKind m_Kind;
};

// Arrays keep their elements in a vector; other properties in the table.
class ArrayObject final : public Object
{
public:
    explicit ArrayObject(Object* proto)
        : Object(proto, ObjectKind::Array)
    {
    }
    void trace(Heap& heap) override;
    size_t extraBytes() const override
    {
        return Object::extraBytes() + m_Items.capacity() * sizeof(Value);
    }
    std::vector<Value> m_Items;
    // Indexes below the length that hold no element (`new Array(5)`, a write past the end, delete). An index past
    // the end of this list holds its element, so code that only appends to m_Items need not know of holes.
    std::vector<bool> m_Holes;
    bool hole(size_t i) const { return i < m_Holes.size() && m_Holes[i]; }
    void fill(size_t i)
    {
        if (i < m_Holes.size())
            m_Holes[i] = false;
    }
    // A new length; indexes it adds are holes.
    void resize(size_t n)
    {
        const size_t old = m_Items.size();
        m_Items.resize(n);
        if (n > old) {
            // The elements below the old length stay what they were; only the new indexes are holes.
            m_Holes.resize(old, false);
            m_Holes.resize(n, true);
        } else if (m_Holes.size() > n) {
            m_Holes.resize(n);
        }
        if (m_Born.size() > n)
            m_Born.resize(n);
        if (m_ItemFlags.size() > n)
            m_ItemFlags.resize(n);
    }
    // Elements moved about wholesale are written anew: no holes, made in index order, no attributes.
    void clearHoles()
    {
        m_Holes.clear();
        m_Born.clear();
        m_ItemFlags.clear();
    }
    // The attributes (kDontEnum, kDontDelete, kReadOnly) ASSetPropFlags gave an element; an index past the end of
    // the list has none.
    std::vector<uint16_t> m_ItemFlags;
    uint16_t itemFlags(size_t i) const { return i < m_ItemFlags.size() ? m_ItemFlags[i] : 0; }
    void setItemFlags(size_t i, uint16_t flags)
    {
        if (i >= m_ItemFlags.size()) {
            if (flags == 0)
                return;
            m_ItemFlags.resize(i + 1, 0);
        }
        m_ItemFlags[i] = flags;
    }
    // `delete` of an element: false when kDontDelete keeps it (or there is none).
    bool deleteItem(size_t i)
    {
        if (i >= m_Items.size() || hole(i) || (itemFlags(i) & kDontDelete))
            return false;
        m_Items[i] = Value();
        if (m_Holes.size() < m_Items.size())
            m_Holes.resize(m_Items.size(), false);
        m_Holes[i] = true;
        setItemFlags(i, 0);
        return true;
    }
    // An assignment to an element: a read-only one keeps its value; one that did not exist is made now, after
    // `named` named properties.
    void writeItem(size_t i, const Value& v, size_t named)
    {
        const bool exists = i < m_Items.size() && !hole(i);
        if (exists && (itemFlags(i) & kReadOnly))
            return;
        if (!exists)
            born(i, named);
        if (i >= m_Items.size())
            resize(i + 1);
        m_Items[i] = v;
        fill(i);
    }
    // For each element written by index: how many named properties there were then, and a running count, so
    // that for-in lists elements and named properties in the order they were made. Elements made otherwise
    // (literals, push, methods that move elements) count as made first, in index order.
    std::vector<uint64_t> m_Born;
    uint32_t m_BornCount = 0;
    void born(size_t i, size_t named)
    {
        if (m_Born.size() <= i)
            m_Born.resize(i + 1, 0);
        m_Born[i] = (uint64_t(named) << 32) | ++m_BornCount;
    }
    uint64_t bornKey(size_t i) const { return i < m_Born.size() ? m_Born[i] : 0; }

    // The length scripts see. It is a 32-bit integer: a write to index i at or past it makes it i + 1 wrapped to
    // 32 bits, so it can be negative or far past the elements kept in m_Items; such a length is kept apart.
    double length() const { return m_OddLength ? double(m_Length) : double(m_Items.size()); }
    // Sets the length: elements from the new length (or 0) up are dropped.
    void setLength(int32_t n)
    {
        if (n >= 0 && n < kMaxDenseLength) {
            resize(size_t(n));
            m_OddLength = false;
            return;
        }
        if (n < 0)
            resize(0);
        m_OddLength = true;
        m_Length = n;
    }
    // Elements at indexes from this up are kept as named properties.
    static constexpr int32_t kMaxDenseLength = 1 << 22;
    bool m_OddLength = false;
    int32_t m_Length = 0;
};

// `super` in a method: lookups start at the prototype above the one the method was found on (the holder);
// calling it runs the holder's __constructor__. m_Primitive is the `this` it calls with.
class SuperObject final : public Object
{
public:
    SuperObject(Object* holder, const Value& self);
    void trace(Heap& heap) override;
    // The holder is found again where it was in the chain of `this` (so many prototypes up): a method that
    // re-points this.__proto__ reaches the new chain's constructor and methods through `super`.
    void refresh();
    Object* m_Holder;
    int m_Depth = -1; // how far up the chain of `this` the holder was; -1: not in it
};

class Scope;
struct Code;

using NativeFunction = Value (*)(Machine& m, const Value& self, const Value* args, int argc);

// Everything a script function needs to run: where its body is, how its parameters and registers are laid out.
struct FunctionInfo {
    std::string name;
    std::vector<std::pair<uint8_t, std::string>> params; // register (0: none) and name
    uint32_t start = 0; // first instruction of the body
    uint32_t end = 0; // the instruction after it
    uint16_t registerCount = 4;
    bool function2 = false;
    bool preloadThis = false, suppressThis = false;
    bool preloadArguments = false, suppressArguments = false;
    bool preloadSuper = false, suppressSuper = false;
    bool preloadRoot = false, preloadParent = false, preloadGlobal = false;
};

class FunctionObject final : public Object
{
public:
    FunctionObject(Object* proto)
        : Object(proto, ObjectKind::Function)
    {
    }
    void trace(Heap& heap) override;

    NativeFunction m_Native = nullptr;
    // A native constructor used by `new` instead of m_Native (Array, Object, ...); null: m_Native with a new object.
    NativeFunction m_NativeConstruct = nullptr;
    std::shared_ptr<Code> m_Code;
    const FunctionInfo* m_Info = nullptr;
    int m_Pool = -1; // the constant pool in force where it was defined
    Scope* m_Scope = nullptr; // the scope chain it closes over
    Object* m_Target = nullptr; // the clip it was defined in
    int m_Version = 0;
};

// A scope chain link: with-objects, activations, the timeline of a clip.
enum class ScopeKind : uint8_t { With, Local, Target };
class Scope final : public Cell
{
public:
    Scope(Object* object, Scope* parent, ScopeKind kind)
        : m_Object(object)
        , m_Parent(parent)
        , m_Kind(kind)
    {
    }
    void trace(Heap& heap) override;
    Object* m_Object;
    Scope* m_Parent;
    ScopeKind m_Kind;
};

// Index of an array element named by `name` ("0", "12"), or -1.
long ArrayIndex(std::string_view name);

} // namespace reelfinch::avm1
