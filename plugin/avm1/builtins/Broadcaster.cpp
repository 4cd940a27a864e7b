// AsBroadcaster: initialize, addListener, removeListener, broadcastMessage.
#include "avm1/builtins/Builtins.h"

namespace reelfinch::avm1 {

namespace {

ArrayObject* Listeners(Machine& m, const Value& self)
{
    Value list = m.getMember(self, "_listeners");
    if (list.isObject() && list.asObject()->kind() == ObjectKind::Array)
        return static_cast<ArrayObject*>(list.asObject());
    return nullptr;
}

Value RemoveListener(Machine& m, const Value& self, const Value* args, int argc)
{
    ArrayObject* list = Listeners(m, self);
    if (!list)
        return Value(false);
    // The first listener equal (as == compares: undefined matches null) to the argument, missing or not, goes.
    const Value listener = Arg(args, argc, 0);
    for (size_t i = 0; i < list->m_Items.size(); ++i)
        if (const Value item = list->m_Items[i]; m.looseEquals(item, listener)) {
            if (i < list->m_Items.size())
                list->m_Items.erase(list->m_Items.begin() + long(i));
            return Value(true);
        }
    return Value(false);
}

Value AddListener(Machine& m, const Value& self, const Value* args, int argc)
{
    ArrayObject* list = Listeners(m, self);
    if (!list)
        return Value(false);
    // A missing listener is added as undefined.
    const Value listener = Arg(args, argc, 0);
    RemoveListener(m, self, &listener, 1);
    list->m_Items.push_back(listener);
    return Value(true);
}

Value BroadcastMessage(Machine& m, const Value& self, const Value* args, int argc)
{
    ArrayObject* list = Listeners(m, self);
    if (!list || argc < 1)
        return Value();
    const std::string name = m.toString(args[0]);
    const std::vector<Value> listeners = list->m_Items;
    const size_t mark = m.m_Temporaries.size();
    m.m_Temporaries.insert(m.m_Temporaries.end(), listeners.begin(), listeners.end());
    for (const Value& listener : listeners) {
        // An empty message name calls each listener itself.
        if (name.empty())
            m.call(listener, listener, args + 1, argc - 1);
        else
            m.callMethod(listener, name, args + 1, argc - 1);
    }
    m.m_Temporaries.resize(mark);
    return Value(!listeners.empty());
}

Value Initialize(Machine& m, const Value&, const Value* args, int argc)
{
    if (argc < 1 || !args[0].isObject())
        return Value();
    Object* o = args[0].asObject();
    Object* b = m.m_Broadcaster;
    for (const char* name : { "addListener", "removeListener", "broadcastMessage" })
        m.define(o, name, m.getMember(Value(b), name), kDontEnum);
    m.define(o, "_listeners", Value(static_cast<Object*>(m.newArray())), kDontEnum);
    return Value();
}

} // namespace

void InstallBroadcaster(Machine& m)
{
    FunctionObject* b = m.newNative(nullptr);
    m.m_Broadcaster = b;
    m.define(m.m_Global, "AsBroadcaster", Value(static_cast<Object*>(b)));
    m.define(b, "prototype", Value(m.newObject()));
    DefineMethods(m, b,
        {
            { "initialize", Initialize },
            { "addListener", AddListener },
            { "removeListener", RemoveListener },
            { "broadcastMessage", BroadcastMessage },
        });
}

} // namespace reelfinch::avm1
