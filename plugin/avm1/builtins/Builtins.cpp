#include "avm1/builtins/Builtins.h"

#include "avm1/Loading.h"
#include "avm1/builtins/FilterClasses.h"

#include <unordered_set>
#include <vector>

namespace reelfinch::avm1 {

// ContextMenu and ContextMenuItem (ContextMenuClass.cpp).
void InstallContextMenuClasses(Machine& m);

void DefineMethods(Machine& m, Object* object, std::initializer_list<MethodEntry> methods)
{
    for (const MethodEntry& e : methods)
        m.defineMethod(object, e.name, e.function, e.flags);
}

FunctionObject* DefineClass(
    Machine& m, const char* name, NativeFunction call, NativeFunction construct, Object* prototype, Object* holder)
{
    FunctionObject* ctor = m.newNative(call, construct);
    m.define(ctor, "prototype", Value(prototype), kDontEnum | kDontDelete);
    m.define(prototype, "constructor", Value(static_cast<Object*>(ctor)), kDontEnum);
    m.define(holder ? holder : m.m_Global, name, Value(static_cast<Object*>(ctor)), kDontEnum);
    return ctor;
}

void LockMembers(Object* object)
{
    if (!object)
        return;
    constexpr uint16_t kLocked = kDontEnum | kDontDelete | kReadOnly;
    object->m_ProtoFlags = uint16_t(object->m_ProtoFlags | kLocked);
    for (Property& p : object->props().entries())
        if (!p.removed)
            p.flags = uint16_t(p.flags | kLocked);
}

std::vector<Value> MemberOfEachGlobals(Machine& m, const char* name)
{
    std::vector<Value> members { m.getMember(Value(m.m_Global), name) };
    for (int version : { 6, 7 })
        if (Object* g = m.globalOf(version, false); g && g != m.m_Global)
            members.push_back(m.getMember(Value(g), name));
    return members;
}

namespace {

// Hides `name` of `object` from movies older than the version a flag names (as ASSetPropFlags would).
void ShowFrom(Machine& m, Object* object, const char* name, uint16_t flag)
{
    if (!object)
        return;
    if (Property* p = object->props().find(name, m.caseSensitive()))
        p->flags = uint16_t(p->flags | flag);
}

Object* GlobalObject(Machine& m, const char* name)
{
    const Property* p = m.m_Global->props().find(name, m.caseSensitive());
    return p && p->value.isObject() ? p->value.asObject() : nullptr;
}

Value NothingNative(Machine&, const Value&, const Value*, int)
{
    return Value();
}

Value FalseNative(Machine&, const Value&, const Value*, int)
{
    return Value(false);
}

// The globals that the player has in every version but whose devices or services this player lacks: they
// exist (scripts test for them) and do nothing. Classes another part installed are left as they are.
void InstallAbsentGlobals(Machine& m)
{
    for (const char* name : { "Camera", "Microphone", "ContextMenu", "ContextMenuItem", "NetStream", "Video",
             "XMLSocket" })
        if (!m.m_Global->props().find(name, m.caseSensitive()))
            DefineClass(m, name, NothingNative, nullptr, m.newObject());
    if (!m.m_Global->props().find("Accessibility", m.caseSensitive())) {
        Object* accessibility = m.newObject();
        m.define(m.m_Global, "Accessibility", Value(accessibility), kDontEnum);
        DefineMethods(m, accessibility,
            {
                { "isActive", FalseNative, kDontEnum },
                { "sendEvent", NothingNative, kDontEnum },
                { "updateProperties", NothingNative, kDontEnum },
            });
    }
}

// The globals a movie's version decides: the flash package from SWF 8, Function from SWF 6, the style sheet
// class from SWF 7.
void InstallVersionedGlobals(Machine& m)
{
    InstallAbsentGlobals(m);
    ShowFrom(m, m.m_Global, "flash", kOnlySwf8);
    ShowFrom(m, m.m_Global, "Function", kOnlySwf6);
    ShowFrom(m, GlobalObject(m, "AsBroadcaster"), "prototype", kOnlySwf6);
    ShowFrom(m, GlobalObject(m, "TextField"), "StyleSheet", kOnlySwf7);
    // The player's singletons keep their members and their prototype whatever scripts write to them.
    for (const char* name : { "Accessibility", "Key", "Math", "Mouse", "Selection" })
        LockMembers(GlobalObject(m, name));
    if (Object* system = GlobalObject(m, "System"))
        if (const Property* ime = system->props().find("IME", m.caseSensitive()); ime && ime->value.isObject())
            LockMembers(ime->value.asObject());
}

// The player's own objects keep their prototype links against `delete` (scripts' objects do not): every object
// reachable from the global object when the built-ins are made.
void KeepPrototypeLinks(Object* global)
{
    std::vector<Object*> pending { global };
    std::unordered_set<Object*> seen { global };
    const auto visit = [&](const Value& v) {
        if (v.isObject() && seen.insert(v.asObject()).second)
            pending.push_back(v.asObject());
    };
    while (!pending.empty()) {
        Object* o = pending.back();
        pending.pop_back();
        o->m_ProtoFlags = uint16_t(o->m_ProtoFlags | kDontDelete);
        visit(o->protoValue());
        for (const Property& p : o->props().entries()) {
            if (p.removed)
                continue;
            visit(p.value);
            visit(p.setter);
        }
    }
}

} // namespace

void InstallBuiltins(Machine& m)
{
    Heap& heap = m.heap();
    // The two prototypes everything else hangs from come first.
    m.m_ObjectProto = heap.make<Object>(nullptr);
    m.m_ObjectProto->setProto(Value()); // the end of every chain: its __proto__ reads undefined
    m.m_FunctionProto = heap.make<Object>(m.m_ObjectProto);
    // The global object has no prototype: it answers neither toString nor valueOf.
    m.m_Global = heap.make<Object>(nullptr, ObjectKind::Global);
    m.m_Global->setProto(Value()); // its __proto__ reads undefined, not null
    m.m_Internal = heap.make<Object>(nullptr);
    m.m_Internal->setProto(Value());
    m.m_ArrayProto = heap.make<ArrayObject>(m.m_ObjectProto);
    m.m_StringProto = heap.make<Object>(m.m_ObjectProto, ObjectKind::String);
    m.m_StringProto->m_Primitive = Value(m.emptyString());
    m.m_NumberProto = heap.make<Object>(m.m_ObjectProto, ObjectKind::Number);
    m.m_NumberProto->m_Primitive = Value(0.0);
    m.m_BooleanProto = heap.make<Object>(m.m_ObjectProto, ObjectKind::Boolean);
    m.m_BooleanProto->m_Primitive = Value(false);
    m.m_ClipProto = heap.make<Object>(m.m_ObjectProto);
    m.m_ErrorProto = heap.make<Object>(m.m_ObjectProto);
    m.m_DateProto = heap.make<Object>(m.m_ObjectProto);
    InstallObjectClass(m);
    InstallFunctionClass(m);
    InstallArrayClass(m);
    InstallStringClass(m);
    InstallNumberBooleanClasses(m);
    InstallMathClass(m);
    InstallGlobals(m);
    InstallErrorClass(m);
    InstallBroadcaster(m);
    InstallSystem(m);
    InstallMovieClipClass(m);
    InstallDateClass(m);
    InstallSoundClass(m);
    InstallXmlClasses(m);
    InstallGeomClasses(m);
    InstallColorClass(m);
    InstallLoadVarsClass(m);
    InstallLoading(m);
    InstallMovieClipLoader(m);
    InstallStageInput(m);
    InstallSharedObjectClass(m);
    InstallNetConnectionClass(m);
    InstallNetStreamClass(m);
    InstallVideoClass(m);
    InstallLocalConnectionClass(m);
    InstallTextFieldClass(m);
    InstallButtonClass(m);
    InstallDisplayEffects(m);
    InstallContextMenuClasses(m);
    InstallTextSnapshotClass(m);
    InstallStyleSheetClass(m);
    InstallExternalInterfaceClass(m);
    InstallFileReferenceClasses(m);
    InstallFilterClasses(m);
    InstallVersionedGlobals(m);
    KeepPrototypeLinks(m.m_Global);
}

} // namespace reelfinch::avm1
