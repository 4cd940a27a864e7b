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
};

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

// Gives `object` fresh state of type T (replacing any) and returns it.
template <class T> T* AttachNative(Machine& m, Object* object)
{
    T* data = m.heap().make<T>();
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

// The prototype `_global.NAME.prototype` holds now (scripts may replace it), or Object.prototype.
inline Object* CurrentPrototype(Machine& m, const char* name)
{
    Value ctor = m.getMember(Value(m.m_Global), name);
    Value proto = ctor.isObject() ? m.getMember(ctor, "prototype") : Value();
    return proto.isObject() ? proto.asObject() : m.m_ObjectProto;
}

} // namespace reelfinch::avm1
