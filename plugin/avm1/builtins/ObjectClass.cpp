// Object: the root class, its prototype's methods (addProperty, watch, hasOwnProperty...) and registerClass.
#include "avm1/ClassRegistry.h"
#include "avm1/builtins/Builtins.h"

#include <strings.h>

namespace reelfinch::avm1 {

namespace {

Object* Self(Machine& m, const Value& self)
{
    if (self.isObject())
        return self.asObject()->kind() == ObjectKind::Super ? self.asObject()->m_Primitive.isObject()
                ? self.asObject()->m_Primitive.asObject()
                : nullptr
                                                            : self.asObject();
    (void)m;
    return nullptr;
}

Value ObjectCall(Machine& m, const Value&, const Value* args, int argc)
{
    Value v = Arg(args, argc, 0);
    if (v.isNullish())
        return Value(m.newObject());
    return Value(m.toObject(v));
}

Value ObjectConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    Value v = Arg(args, argc, 0);
    if (!v.isNullish())
        return Value(m.toObject(v));
    return self;
}

Value AddProperty(Machine& m, const Value& self, const Value* args, int argc)
{
    Object* o = Self(m, self);
    const Value name = Arg(args, argc, 0);
    const Value getter = Arg(args, argc, 1);
    const Value setter = Arg(args, argc, 2);
    if (!o || name.isNullish() || !getter.isObject() || !getter.asObject()->isFunction())
        return Value(false);
    const std::string key = m.toString(name);
    if (key.empty())
        return Value(false);
    if (!setter.isNull() && !(setter.isObject() && setter.asObject()->isFunction()))
        return Value(false);
    const bool cs = m.caseSensitive();
    Property* p = o->props().find(key, cs);
    if (!p)
        p = &o->props().add(key, cs);
    else if (!(p->flags & kAccessor))
        p->stored = p->value; // reads that pass the pair by (watchers, instanceof) still see the old value
    p->value = getter;
    p->setter = setter.isObject() ? setter : Value();
    p->flags = uint16_t((p->flags & ~kReadOnly) | kAccessor);
    // A watcher of the name hears the pair arrive as a change to undefined; what it returns is kept as the
    // pair's stored value (the old value its next change reports).
    if (o->m_Watchers) {
        Value callback, data;
        for (const auto& [n, w] : *o->m_Watchers)
            if (n.size() == key.size() && (cs ? n == key : strncasecmp(n.data(), key.data(), n.size()) == 0)) {
                callback = w.callback;
                data = w.data;
                break;
            }
        if (callback.isObject()) {
            Value watchArgs[4] = { Value(m.str(key)), p->stored, Value(), data };
            const Value kept = m.call(callback, Value(o), watchArgs, 4);
            if (Property* q = o->props().find(key, cs); q && (q->flags & kAccessor))
                q->stored = kept;
        }
    }
    return Value(true);
}

Value HasOwnProperty(Machine& m, const Value& self, const Value* args, int argc)
{
    Object* o = Self(m, self);
    if (!o || argc < 1)
        return Value(false);
    // A property hidden from this version is still the object's own.
    const std::string name = m.toString(args[0]);
    if (m.hasOwnProperty(o, name))
        return Value(true);
    const Property* p = o->props().find(name, m.caseSensitive());
    return Value(p != nullptr && !p->removed);
}

Value IsPropertyEnumerable(Machine& m, const Value& self, const Value* args, int argc)
{
    Object* o = Self(m, self);
    if (!o || argc < 1)
        return Value(false);
    const std::string name = m.toString(args[0]);
    if (o->kind() == ObjectKind::Array && m.hasOwnProperty(o, name) && !o->props().find(name, m.caseSensitive()))
        return Value(!(static_cast<ArrayObject*>(o)->itemFlags(size_t(ArrayIndex(name))) & kDontEnum));
    const Property* p = o->props().find(name, m.caseSensitive());
    return Value(p && !(p->flags & kDontEnum) && PropertyVisible(p->flags, m.version()));
}

Value IsPrototypeOf(Machine& m, const Value& self, const Value* args, int argc)
{
    Object* o = Self(m, self);
    Value v = Arg(args, argc, 0);
    if (!o || !v.isObject())
        return Value(false);
    int depth = 0;
    for (Object* p = v.asObject()->proto(); p && depth < 256; p = p->proto(), ++depth)
        if (p == o)
            return Value(true);
    return Value(false);
}

Value ObjectToString(Machine& m, const Value& self, const Value*, int)
{
    if (self.isObject() && self.asObject()->isFunction())
        return Value(m.str("[type Function]"));
    return Value(m.str("[object Object]"));
}

Value ObjectValueOf(Machine&, const Value& self, const Value*, int)
{
    if (self.isObject()) {
        Object* o = self.asObject();
        if ((o->kind() == ObjectKind::String || o->kind() == ObjectKind::Number || o->kind() == ObjectKind::Boolean)
            && !o->m_Primitive.isUndefined())
            return o->m_Primitive;
    }
    return self;
}

Value Watch(Machine& m, const Value& self, const Value* args, int argc)
{
    Object* o = Self(m, self);
    if (!o || argc < 2 || !args[1].isObject() || !args[1].asObject()->isFunction())
        return Value(false);
    const std::string name = m.toString(args[0]);
    if (!o->m_Watchers)
        o->m_Watchers = std::make_unique<std::vector<std::pair<std::string, Watcher>>>();
    for (auto& [n, w] : *o->m_Watchers)
        if (n == name) {
            w = Watcher { args[1], Arg(args, argc, 2) };
            return Value(true);
        }
    o->m_Watchers->emplace_back(name, Watcher { args[1], Arg(args, argc, 2) });
    return Value(true);
}

Value Unwatch(Machine& m, const Value& self, const Value* args, int argc)
{
    Object* o = Self(m, self);
    if (!o || argc < 1 || !o->m_Watchers)
        return Value(false);
    const std::string name = m.toString(args[0]);
    // A property made of a getter and a setter keeps its watcher.
    if (const Property* p = o->props().find(name, m.caseSensitive());
        p && !p->removed && (p->flags & kAccessor) && PropertyVisible(p->flags, m.version()))
        return Value(false);
    auto& list = *o->m_Watchers;
    for (auto it = list.begin(); it != list.end(); ++it)
        if (it->first == name) {
            list.erase(it);
            return Value(true);
        }
    return Value(false);
}

Value RegisterClass(Machine& m, const Value&, const Value* args, int argc)
{
    // Symbols bound to classes are kept for attachMovie and the timeline, in the table of the calling code's
    // version: names given by SWF 6 code and earlier ignore case.
    if (argc < 2)
        return Value(false);
    const int version = m.m_Frames.empty() ? m.version() : m.m_Frames.back()->version;
    ClassRegistry(m, version >= 7, true)->setOwn(m.toString(args[0]), args[1], version >= 7, 0);
    return Value(true);
}

} // namespace

void InstallObjectClass(Machine& m)
{
    Object* proto = m.m_ObjectProto;
    FunctionObject* ctor = DefineClass(m, "Object", ObjectCall, ObjectConstruct, proto);
    DefineMethods(m, proto,
        {
            { "addProperty", AddProperty, kDontEnum | kOnlySwf6 },
            { "hasOwnProperty", HasOwnProperty, kDontEnum | kOnlySwf6 },
            { "isPropertyEnumerable", IsPropertyEnumerable, kDontEnum | kOnlySwf6 },
            { "isPrototypeOf", IsPrototypeOf, kDontEnum | kOnlySwf6 },
            { "toString", ObjectToString },
            { "toLocaleString", ObjectToString, kDontEnum | kOnlySwf6 },
            { "valueOf", ObjectValueOf },
            { "watch", Watch, kDontEnum | kOnlySwf6 },
            { "unwatch", Unwatch, kDontEnum | kOnlySwf6 },
        });
    DefineMethods(m, ctor, { { "registerClass", RegisterClass, kDontEnum | kOnlySwf6 } });
}

} // namespace reelfinch::avm1
