// flash.net.FileReference and flash.net.FileReferenceList (SWF 8 on). Both are broadcasters (their own
// `_listeners`). browse() and download() check their arguments as the player does and then open the system's file
// dialog; one dialog is open at a time, so a second call while it is open is refused. The movie's engine has no
// way to show a file dialog to the user, so every dialog it opens ends as a user's cancel would: at the next timer
// step the listeners hear onCancel(object), no file is chosen, and upload() has nothing to send.
#include "avm1/builtins/NativeData.h"

namespace reelfinch::avm1 {

namespace {

// Whether the one file dialog of the movie is open.
class DialogState final : public NativeData
{
public:
    bool open = false;
};

DialogState* Dialog(Machine& m)
{
    const Value holder = m.getMember(Value(m.m_Global), "__fileDialog");
    if (!holder.isObject() || !holder.asObject()->m_Primitive.isObject())
        return nullptr;
    return dynamic_cast<DialogState*>(holder.asObject()->m_Primitive.asObject());
}

Value Construct(Machine& m, const Value& self, const Value*, int)
{
    if (!self.isObject())
        return Value();
    m.define(self.asObject(), "_listeners", Value(static_cast<Object*>(m.newArray())), kDontEnum);
    return Value();
}

// One field of a filter: an own property (a getter counts, and one that throws counts as missing) whose string
// is not empty. A throwing toString propagates to the script. False when the field does not qualify.
bool FilterField(Machine& m, Object* filter, const char* name, bool required)
{
    if (!m.hasOwnProperty(filter, name))
        return !required;
    const Value v = m.getMember(Value(filter), name);
    if (m.m_Unwind == Unwind::Throw) {
        m.m_Unwind = Unwind::None;
        m.m_Thrown = Value();
        return false;
    }
    if (m.unwinding())
        return false;
    const std::string s = m.toString(v);
    return !m.unwinding() && !s.empty();
}

// browse()'s type list: an array of at least one object with a description and an extension, and a macType when
// it has one. No argument at all means every file.
bool FiltersValid(Machine& m, const Value* args, int argc)
{
    if (argc < 1)
        return true;
    if (!args[0].isObject() || args[0].asObject()->kind() != ObjectKind::Array)
        return false;
    const auto* list = static_cast<ArrayObject*>(args[0].asObject());
    const std::vector<Value> filters = list->m_Items;
    if (filters.empty())
        return false;
    bool ok = true;
    for (const Value& f : filters) {
        if (!f.isObject())
            return false;
        // Every field of every filter is read (a throwing toString is heard even after a bad field).
        ok = FilterField(m, f.asObject(), "description", true) && ok;
        if (m.unwinding())
            return false;
        ok = FilterField(m, f.asObject(), "extension", true) && ok;
        if (m.unwinding())
            return false;
        ok = FilterField(m, f.asObject(), "macType", false) && ok;
        if (m.unwinding())
            return false;
    }
    return ok;
}

// The dialog closes without a choice: listeners hear onCancel(target).
Value DialogCancelled(Machine& m, const Value&, const Value* args, int argc)
{
    if (DialogState* d = Dialog(m))
        d->open = false;
    if (argc < 1)
        return Value();
    const Value name(m.str("onCancel"));
    const Value message[2] = { name, args[0] };
    m.callMethod(args[0], "broadcastMessage", message, 2);
    return Value();
}

bool OpenDialog(Machine& m, const Value& self)
{
    DialogState* d = Dialog(m);
    if (!d || d->open)
        return false;
    d->open = true;
    Timer t;
    t.function = Value(static_cast<Object*>(m.newNative(DialogCancelled)));
    t.args = { self };
    t.repeat = false;
    t.due = 0;
    m.addTimer(std::move(t));
    return true;
}

Value Browse(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject())
        return Value(false);
    if (!FiltersValid(m, args, argc) || m.unwinding())
        return Value(false);
    return Value(OpenDialog(m, self));
}

// A download names an absolute URL (a scheme before its colon and something after it).
bool UrlValid(const std::string& url)
{
    const size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= url.size())
        return false;
    for (size_t i = 0; i < colon; ++i) {
        const char c = url[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
            return false;
    }
    return true;
}

Value Download(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject() || argc < 1)
        return Value(false);
    const std::string url = m.toString(args[0]);
    if (m.unwinding() || !UrlValid(url))
        return Value(false);
    return Value(OpenDialog(m, self));
}

// Nothing was chosen, so there is nothing to upload.
Value Upload(Machine&, const Value&, const Value*, int)
{
    return Value(false);
}

Object* NetPackage(Machine& m)
{
    Value flash = m.getMember(Value(m.m_Global), "flash");
    if (!flash.isObject()) {
        flash = Value(m.newObject());
        m.define(m.m_Global, "flash", flash);
    }
    Value net = m.getMember(flash, "net");
    if (!net.isObject()) {
        net = Value(m.newObject());
        m.define(flash.asObject(), "net", net);
    }
    return net.asObject();
}

Object* DefineNetClass(Machine& m, const char* name)
{
    Object* proto = m.newObject();
    FunctionObject* ctor = m.newNative(Construct);
    m.define(ctor, "prototype", Value(proto), kDontEnum | kDontDelete);
    m.define(proto, "constructor", Value(static_cast<Object*>(ctor)), kDontEnum);
    m.define(NetPackage(m), name, Value(static_cast<Object*>(ctor)));
    for (const char* method : { "addListener", "removeListener", "broadcastMessage" })
        m.define(proto, method, m.getMember(Value(m.m_Broadcaster), method), kDontEnum);
    return proto;
}

} // namespace

void InstallFileReferenceClasses(Machine& m)
{
    if (m.version() < 8)
        return;
    Object* holder = m.newObject();
    holder->m_Primitive = Value(static_cast<Object*>(m.heap().make<DialogState>()));
    m.define(m.m_Global, "__fileDialog", Value(holder), kDontEnum | kDontDelete | kReadOnly);

    Object* file = DefineNetClass(m, "FileReference");
    DefineMethods(m, file,
        {
            { "browse", Browse },
            { "download", Download },
            { "upload", Upload },
            { "cancel", Nothing },
        });
    Object* list = DefineNetClass(m, "FileReferenceList");
    DefineMethods(m, list, { { "browse", Browse } });
}

} // namespace reelfinch::avm1
