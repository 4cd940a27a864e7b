// ContextMenu and ContextMenuItem: the objects a movie describes its right-click menu with. A menu holds the
// switches of the player's own items (builtInItems), the movie's items (customItems) and the handler called
// before the menu shows (onSelect); an item holds its caption, handler and three flags. Both are plain script
// objects: the host reads them when it builds the menu.
#include "avm1/builtins/Builtins.h"

namespace reelfinch::avm1 {

namespace {

// The player's own items, in the order their switches are made (for-in lists them newest first).
constexpr const char* kBuiltInItems[] = { "print", "forward_back", "rewind", "loop", "play", "quality", "zoom",
    "save" };

// Fills a menu object: onSelect, then the switches of the built-in items (each `on`), then an empty list of
// custom items.
void InitMenu(Machine& m, Object* menu, const Value& onSelect, bool on)
{
    m.setProperty(menu, "onSelect", onSelect);
    Object* items = m.newObject();
    m.setProperty(menu, "builtInItems", Value(items));
    for (const char* name : kBuiltInItems)
        m.setProperty(items, name, Value(on));
    m.setProperty(menu, "customItems", Value(static_cast<Object*>(m.newArray())));
}

// new ContextMenu(onSelect)
Value MenuConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (self.isObject())
        InitMenu(m, self.asObject(), Arg(args, argc, 0), true);
    return Value();
}

// Turns every built-in item off (the player's Settings and About items stay, as they always do).
Value MenuHideBuiltInItems(Machine& m, const Value& self, const Value*, int)
{
    const Value items = m.getMember(self, "builtInItems");
    if (items.isObject())
        for (const char* name : kBuiltInItems)
            m.setMember(items, name, Value(false));
    return Value();
}

// A new menu with the same handler, the same switches and a copy of each custom item.
Value MenuCopy(Machine& m, const Value& self, const Value*, int)
{
    if (!self.isObject())
        return Value();
    const size_t mark = m.m_Temporaries.size();
    Object* copy = m.newObject(m.toObject(m.getMember(m.getMember(Value(m.m_Global), "ContextMenu"), "prototype")));
    m.m_Temporaries.push_back(Value(copy));
    InitMenu(m, copy, m.getMember(self, "onSelect"), true);
    const Value from = m.getMember(self, "builtInItems");
    const Value to = m.getMember(Value(copy), "builtInItems");
    if (from.isObject())
        for (const char* name : kBuiltInItems)
            m.setMember(to, name, m.getMember(from, name));
    const Value custom = m.getMember(self, "customItems");
    if (custom.isObject()) {
        ArrayObject* list = static_cast<ArrayObject*>(m.getMember(Value(copy), "customItems").asObject());
        const double length = m.toNumber(m.getMember(custom, "length"));
        for (int i = 0; i < length && i < 100000 && !m.unwinding(); ++i) {
            const Value item = m.getMember(custom, std::to_string(i));
            // Items are copied by their own copy method; anything else is shared as it is.
            const Value copied = item.isObject() && m.getMember(item, "copy").isObject()
                ? m.callMethod(item, "copy", nullptr, 0)
                : item;
            list->m_Items.push_back(copied);
        }
    }
    m.m_Temporaries.resize(std::min(mark, m.m_Temporaries.size()));
    return Value(copy);
}

// Fills an item object: caption, onSelect, separatorBefore (false), enabled and visible (true) unless given.
void InitItem(Machine& m, Object* item, const Value* args, int argc)
{
    m.setProperty(item, "caption", Arg(args, argc, 0));
    m.setProperty(item, "onSelect", Arg(args, argc, 1));
    m.setProperty(item, "separatorBefore", Value(argc > 2 && m.toBoolean(args[2])));
    m.setProperty(item, "enabled", Value(argc <= 3 || m.toBoolean(args[3])));
    m.setProperty(item, "visible", Value(argc <= 4 || m.toBoolean(args[4])));
}

// new ContextMenuItem(caption, onSelect, separatorBefore, enabled, visible)
Value ItemConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    if (self.isObject())
        InitItem(m, self.asObject(), args, argc);
    return Value();
}

Value ItemCopy(Machine& m, const Value& self, const Value*, int)
{
    if (!self.isObject())
        return Value();
    Value fields[5];
    static constexpr const char* kFields[] = { "caption", "onSelect", "separatorBefore", "enabled", "visible" };
    for (size_t i = 0; i < std::size(kFields); ++i)
        fields[i] = m.getMember(self, kFields[i]);
    Object* copy
        = m.newObject(m.toObject(m.getMember(m.getMember(Value(m.m_Global), "ContextMenuItem"), "prototype")));
    InitItem(m, copy, fields, int(std::size(fields)));
    return Value(copy);
}

} // namespace

void InstallContextMenuClasses(Machine& m)
{
    Object* menuProto = m.newObject();
    DefineClass(m, "ContextMenu", MenuConstruct, nullptr, menuProto);
    DefineMethods(m, menuProto, { { "copy", MenuCopy }, { "hideBuiltInItems", MenuHideBuiltInItems } });

    Object* itemProto = m.newObject();
    DefineClass(m, "ContextMenuItem", ItemConstruct, nullptr, itemProto);
    DefineMethods(m, itemProto, { { "copy", ItemCopy } });
}

} // namespace reelfinch::avm1
