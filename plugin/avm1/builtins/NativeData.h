// Native state behind script objects of the movie's classes (XML nodes, shared objects, colours...). The state is
// a heap cell of its own, held in the script object's primitive slot, which plain objects leave unused; so a
// subclass whose constructor calls super() gets the state on its own instance, and the collector traces it like
// any other value.
#pragma once

#include "avm1/builtins/Builtins.h"

namespace reelfinch::avm1 {

class NativeData : public Object
{
public:
    NativeData()
        : Object(nullptr, ObjectKind::Other)
    {
    }
    // Whether this state makes its object one of the player's native kinds, which the native constructor of
    // another class then leaves as it is. The state that the player's singletons and a few classes keep for
    // objects the language treats as plain ones (Key, Stage, NetStream, XMLSocket ...) does not.
    virtual bool makesNativeKind() const { return true; }
};

// State that only marks its object as made by a native constructor: the classes whose state lives in ordinary
// members (LoadVars, MovieClipLoader, ...) still make native objects.
class NativeMark final : public NativeData
{
};

// Whether a native constructor already made `o` one of its kinds: an array, a boxed primitive, a date, a clip, an
// object carrying the state of one of the player's classes.
inline bool HasNativeKind(const Object* o)
{
    if (o->kind() != ObjectKind::Plain)
        return true;
    if (!o->m_Primitive.isObject())
        return false;
    const auto* data = dynamic_cast<const NativeData*>(o->m_Primitive.asObject());
    return data && data->makesNativeKind();
}

// The state of type T that `self` carries, or null.
template <class T> T* NativeOf(const Value& self)
{
    if (!self.isObject())
        return nullptr;
    Object* o = self.asObject();
    // `super` given as `this` (super.method.apply(super, ...)) stands for the object it was made for.
    if (o->kind() == ObjectKind::Super) {
        if (!o->m_Primitive.isObject())
            return nullptr;
        o = o->m_Primitive.asObject();
    }
    if (o->kind() != ObjectKind::Plain || !o->m_Primitive.isObject())
        return nullptr;
    return dynamic_cast<T*>(o->m_Primitive.asObject());
}

// Gives `object` fresh state of type T (replacing any of that type) and returns it. An object that a native
// constructor already made of another kind keeps it: the constructor of another class, run on it through super(),
// works on state the object does not keep (collected when that constructor is done).
template <class T> T* AttachNative(Machine& m, Object* object)
{
    T* data = m.heap().make<T>();
    const bool sameKind = object->kind() == ObjectKind::Plain && object->m_Primitive.isObject()
        && dynamic_cast<T*>(object->m_Primitive.asObject());
    if (sameKind || !HasNativeKind(object))
        object->m_Primitive = Value(static_cast<Object*>(data));
    return data;
}

// A property read and written through native functions, as the player's built-in classes have them.
inline void DefineAccessor(Machine& m, Object* object, const char* name, NativeFunction get, NativeFunction set,
    uint16_t flags = kDontEnum | kDontDelete)
{
    Property* p = object->props().find(name, m.caseSensitive());
    if (!p)
        p = &object->props().add(name, m.caseSensitive());
    p->value = Value(static_cast<Object*>(m.newNative(get)));
    p->setter = set ? Value(static_cast<Object*>(m.newNative(set))) : Value();
    p->flags = uint16_t(flags | kAccessor);
}

// The prototype the class NAME holds now (scripts may replace it), or Object.prototype: the machine's own class
// of that name (m_Internal) when there is one, else `_global.NAME`.
inline Object* CurrentPrototype(Machine& m, const char* name)
{
    const bool own = m.m_Internal && m.m_Internal->props().find(name, true);
    Value ctor = m.getMember(Value(own ? m.m_Internal : m.m_Global), name);
    Value proto = ctor.isObject() ? m.getMember(ctor, "prototype") : Value();
    return proto.isObject() ? proto.asObject() : m.m_ObjectProto;
}

} // namespace reelfinch::avm1
