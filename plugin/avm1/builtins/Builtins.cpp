#include "avm1/builtins/Builtins.h"

#include "avm1/Loading.h"

namespace reelfinch::avm1 {

// ContextMenu and ContextMenuItem (ContextMenuClass.cpp).
void InstallContextMenuClasses(Machine& m);

void DefineMethods(Machine& m, Object* object, std::initializer_list<MethodEntry> methods)
{
    for (const MethodEntry& e : methods)
        m.defineMethod(object, e.name, e.function, e.flags);
}

FunctionObject* DefineClass(
    Machine& m, const char* name, NativeFunction call, NativeFunction construct, Object* prototype)
{
    FunctionObject* ctor = m.newNative(call, construct);
    m.define(ctor, "prototype", Value(prototype), kDontEnum | kDontDelete);
    m.define(prototype, "constructor", Value(static_cast<Object*>(ctor)), kDontEnum);
    m.define(m.m_Global, name, Value(static_cast<Object*>(ctor)), kDontEnum);
    return ctor;
}

void InstallBuiltins(Machine& m)
{
    Heap& heap = m.heap();
    // The two prototypes everything else hangs from come first.
    m.m_ObjectProto = heap.make<Object>(nullptr);
    m.m_FunctionProto = heap.make<Object>(m.m_ObjectProto);
    // The global object has no prototype: it answers neither toString nor valueOf.
    m.m_Global = heap.make<Object>(nullptr, ObjectKind::Global);
    m.m_Global->setProto(Value()); // its __proto__ reads undefined, not null
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
    InstallLocalConnectionClass(m);
    InstallTextFieldClass(m);
    InstallButtonClass(m);
    InstallContextMenuClasses(m);
    InstallTextSnapshotClass(m);
    InstallStyleSheetClass(m);
}

} // namespace reelfinch::avm1
