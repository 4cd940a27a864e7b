// flash.net.FileReference and flash.net.FileReferenceList (SWF 8 on). Both are broadcasters (their own
// `_listeners`). browse() and download() check their arguments as the player does and then ask the host for the
// system's file dialog; one dialog is open at a time, so a second call while it is open is refused. What the host
// reports of the dialog (a chosen file, or a cancel) and of the transfers that follow (download, and upload of a
// browsed file) reaches the listeners between steps of the movie, never in the middle of a script: onSelect,
// onCancel, onOpen, onProgress(file, done, total), onComplete, onHTTPError(file, status), onIOError (after the
// player's "Error opening URL" line). A host without file functions answers every dialog as a user's cancel.
#include "avm1/Loading.h"
#include "avm1/builtins/NativeData.h"

#include <algorithm>

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
    const Value holder = m.getMember(Value(m.m_Internal), "__fileDialog");
    if (!holder.isObject() || !holder.asObject()->m_Primitive.isObject())
        return nullptr;
    return dynamic_cast<DialogState*>(holder.asObject()->m_Primitive.asObject());
}

// The state behind one FileReference (or FileReferenceList) object.
class FileData final : public NativeData
{
public:
    bool makesNativeKind() const override { return false; }
    int32_t operation = 0; // the host's number of the dialog or transfer going on; 0 when none
    FileOperation kind = FileOperation::Browse;
    int32_t chosen = 0; // the browse operation whose file was chosen (what upload sends); 0 when none
    std::string url; // of the transfer going on
    bool list = false; // a FileReferenceList: a choice becomes its fileList
};

// The objects with an operation going on, kept among the machine's roots: their listeners hear the outcome
// whatever the scripts still hold of them.
class FileRegistry final : public NativeData
{
public:
    void trace(Heap& heap) override
    {
        NativeData::trace(heap);
        for (Object* file : files)
            heap.mark(file);
    }
    std::vector<Object*> files;
};

FileRegistry& RegistryOf(Machine& m)
{
    for (Object* o : m.m_Roots)
        if (auto* registry = dynamic_cast<FileRegistry*>(o))
            return *registry;
    auto* registry = m.heap().make<FileRegistry>();
    m.m_Roots.push_back(registry);
    return *registry;
}

// Events taken from the host for one object in one step at most; the rest wait for the next.
constexpr int kMaxEventsPerStep = 64;

FileData* DataOf(Machine& m, const Value& self)
{
    if (FileData* data = NativeOf<FileData>(self))
        return data;
    // An object made without the constructor (a subclass that skipped super()) gets its state on first use.
    if (!self.isObject() || self.asObject()->kind() != ObjectKind::Plain || !self.asObject()->m_Primitive.isUndefined())
        return nullptr;
    return AttachNative<FileData>(m, self.asObject());
}

Value ConstructWith(Machine& m, const Value& self, bool list)
{
    if (!self.isObject())
        return Value();
    m.define(self.asObject(), "_listeners", Value(static_cast<Object*>(m.newArray())), kDontEnum);
    if (self.asObject()->kind() == ObjectKind::Plain)
        AttachNative<FileData>(m, self.asObject())->list = list;
    return Value();
}

Value Construct(Machine& m, const Value& self, const Value*, int)
{
    return ConstructWith(m, self, false);
}

Value ConstructList(Machine& m, const Value& self, const Value*, int)
{
    return ConstructWith(m, self, true);
}

// One field of a filter: an own property (a getter counts, and one that throws counts as missing) whose string
// is not empty. A throwing toString propagates to the script. False when the field does not qualify.
bool FilterField(Machine& m, Object* filter, const char* name, bool required, std::string* text = nullptr)
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
    if (text)
        *text = s;
    return !m.unwinding() && !s.empty();
}

// browse()'s type list: an array of at least one object with a description and an extension, and a macType when
// it has one. No argument at all means every file. `text` gets the list as the host takes it: a line per filter,
// its description and extensions split by a tab.
bool FiltersValid(Machine& m, const Value* args, int argc, std::string& text)
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
        std::string description;
        std::string extension;
        ok = FilterField(m, f.asObject(), "description", true, &description) && ok;
        if (m.unwinding())
            return false;
        ok = FilterField(m, f.asObject(), "extension", true, &extension) && ok;
        if (m.unwinding())
            return false;
        ok = FilterField(m, f.asObject(), "macType", false) && ok;
        if (m.unwinding())
            return false;
        for (std::string* field : { &description, &extension })
            std::replace_if(field->begin(), field->end(), [](char c) { return c == '\t' || c == '\n' || c == '\0'; }, ' ');
        text += description + '\t' + extension + '\n';
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

void Watch(Machine& m, Object* file)
{
    auto& files = RegistryOf(m).files;
    if (std::find(files.begin(), files.end(), file) == files.end())
        files.push_back(file);
}

void Forget(Machine& m, Object* file)
{
    auto& files = RegistryOf(m).files;
    files.erase(std::remove(files.begin(), files.end(), file), files.end());
}

// Ends the operation going on (the host forgets it) and stops watching the object.
void EndOperation(Machine& m, Object* file, FileData& data)
{
    if (data.operation && data.operation != data.chosen) {
        const LoadHost& host = LoadHostOf(m);
        if (host.fileClose)
            host.fileClose(data.operation);
    }
    data.operation = 0;
    Forget(m, file);
}

// Shows a dialog through the host: false when another is open or the host refused.
bool OpenDialog(Machine& m, const Value& self, FileOperation kind, const std::string& url, const std::string& text)
{
    DialogState* d = Dialog(m);
    FileData* data = DataOf(m, self);
    if (!d || d->open || !data)
        return false;
    const LoadHost& host = LoadHostOf(m);
    if (!host.fileStart) {
        // No host to ask: the dialog ends as a user's cancel would, at the next timer step.
        d->open = true;
        Timer t;
        t.function = Value(static_cast<Object*>(m.newNative(DialogCancelled)));
        t.args = { self };
        t.repeat = false;
        t.due = 0;
        m.addTimer(std::move(t));
        return true;
    }
    if (data->operation)
        EndOperation(m, self.asObject(), *data);
    const int32_t id = host.fileStart(kind, url, text, 0);
    if (id == 0)
        return false;
    d->open = true;
    data->operation = id;
    data->kind = kind;
    data->url = url;
    Watch(m, self.asObject());
    return true;
}

Value Browse(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject())
        return Value(false);
    std::string filters;
    if (!FiltersValid(m, args, argc, filters) || m.unwinding())
        return Value(false);
    return Value(OpenDialog(m, self, FileOperation::Browse, std::string(), filters));
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

// The name a download suggests without one of the script's: the last part of the URL's path.
std::string NameFromUrl(const std::string& url)
{
    std::string path = url.substr(0, url.find_first_of("?#"));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(slash + 1);
}

// download(url[, defaultFileName])
Value Download(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject() || argc < 1)
        return Value(false);
    const std::string url = m.toString(args[0]);
    if (m.unwinding() || !UrlValid(url))
        return Value(false);
    std::string name = argc > 1 && !args[1].isNullish() ? m.toString(args[1]) : NameFromUrl(url);
    if (m.unwinding())
        return Value(false);
    return Value(OpenDialog(m, self, FileOperation::Download, url, name));
}

// upload(url[, fieldName]): sends the browsed file; false when none was chosen or a transfer is going on.
Value Upload(Machine& m, const Value& self, const Value* args, int argc)
{
    FileData* data = DataOf(m, self);
    const LoadHost& host = LoadHostOf(m);
    if (!data || !data->chosen || data->operation || !host.fileStart || argc < 1)
        return Value(false);
    const std::string url = m.toString(args[0]);
    if (m.unwinding() || url.empty())
        return Value(false);
    const int32_t id = host.fileStart(FileOperation::Upload, url, std::string(), data->chosen);
    if (id == 0)
        return Value(false);
    data->operation = id;
    data->kind = FileOperation::Upload;
    data->url = url;
    Watch(m, self.asObject());
    return Value(true);
}

// cancel(): a transfer going on stops, and nobody hears of it.
Value Cancel(Machine& m, const Value& self, const Value*, int)
{
    FileData* data = DataOf(m, self);
    if (data && data->operation && data->kind != FileOperation::Browse)
        EndOperation(m, self.asObject(), *data);
    return Value();
}

// The chosen file's properties as scripts read them: name, size, and type (its extension with the dot).
void Describe(Machine& m, Object* file, const FileEvent& event)
{
    m.setMember(Value(file), "name", Value(m.str(event.name)));
    m.setMember(Value(file), "size", Value(event.a));
    const size_t dot = event.name.rfind('.');
    if (dot != std::string::npos)
        m.setMember(Value(file), "type", Value(m.str(event.name.substr(dot))));
}

void Broadcast(Machine& m, Object* file, const char* name, std::initializer_list<Value> extra = {})
{
    std::vector<Value> message { Value(m.str(name)), Value(file) };
    message.insert(message.end(), extra.begin(), extra.end());
    m.callMethod(Value(file), "broadcastMessage", message.data(), int(message.size()));
}

Object* NetPackage(Machine& m);

// One event of the host for `file`.
void Dispatch(Machine& m, Object* file, FileData& data, const FileEvent& event)
{
    switch (event.kind) {
    case FileEventKind::Select:
        if (DialogState* d = Dialog(m))
            d->open = false;
        if (data.kind == FileOperation::Browse) {
            // The browse is over; the host keeps its file for upload until another is chosen.
            const LoadHost& host = LoadHostOf(m);
            if (data.chosen && data.chosen != data.operation && host.fileClose)
                host.fileClose(data.chosen);
            data.chosen = data.operation;
            data.operation = 0;
            Forget(m, file);
        }
        if (data.list) {
            // A list holds the choice as FileReference objects of their own.
            const Value ctor = m.getMember(Value(NetPackage(m)), "FileReference");
            const Value prototype = ctor.isObject() ? m.getMember(ctor, "prototype") : Value();
            Object* proto = prototype.isObject() ? prototype.asObject() : nullptr;
            Object* item = m.newObject(proto);
            ConstructWith(m, Value(item), false);
            if (FileData* itemData = NativeOf<FileData>(Value(item)))
                itemData->chosen = data.chosen;
            data.chosen = 0; // the item owns the host's file now
            Describe(m, item, event);
            ArrayObject* items = m.newArray();
            items->m_Items.push_back(Value(item));
            m.setMember(Value(file), "fileList", Value(static_cast<Object*>(items)));
        } else {
            Describe(m, file, event);
        }
        Broadcast(m, file, "onSelect");
        return;
    case FileEventKind::Cancel:
        if (DialogState* d = Dialog(m))
            d->open = false;
        EndOperation(m, file, data);
        Broadcast(m, file, "onCancel");
        return;
    case FileEventKind::Open:
        Broadcast(m, file, "onOpen");
        return;
    case FileEventKind::Progress:
        Broadcast(m, file, "onProgress", { Value(event.a), Value(event.b) });
        return;
    case FileEventKind::Complete:
        EndOperation(m, file, data);
        Broadcast(m, file, "onComplete");
        return;
    case FileEventKind::HttpError:
        // An upload's server answered with an error status. A download hears it as a failure to open the URL;
        // what the server sent with the status still arrives as progress.
        if (data.kind == FileOperation::Upload) {
            Broadcast(m, file, "onHTTPError", { Value(event.a) });
            return;
        }
        m.trace("Error opening URL '" + data.url + "'");
        Broadcast(m, file, "onIOError");
        return;
    case FileEventKind::IoError: {
        const std::string url = data.url;
        EndOperation(m, file, data);
        m.trace("Error opening URL '" + url + "'");
        Broadcast(m, file, "onIOError");
        return;
    }
    case FileEventKind::Ended:
        if (data.kind == FileOperation::Browse || data.kind == FileOperation::Download)
            if (DialogState* d = Dialog(m); d && data.operation)
                d->open = false;
        EndOperation(m, file, data);
        return;
    case FileEventKind::None:
        return;
    }
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

Object* DefineNetClass(Machine& m, const char* name, NativeFunction construct)
{
    Object* proto = m.newObject();
    FunctionObject* ctor = m.newNative(construct);
    m.define(ctor, "prototype", Value(proto), kDontEnum | kDontDelete);
    m.define(proto, "constructor", Value(static_cast<Object*>(ctor)), kDontEnum);
    m.define(NetPackage(m), name, Value(static_cast<Object*>(ctor)));
    for (const char* method : { "addListener", "removeListener", "broadcastMessage" })
        m.define(proto, method, m.getMember(Value(m.m_Broadcaster), method), kDontEnum);
    return proto;
}

} // namespace

bool FilesPending(Machine& m)
{
    for (Object* o : m.m_Roots)
        if (auto* registry = dynamic_cast<FileRegistry*>(o))
            return !registry->files.empty();
    return false;
}

void PollFiles(Machine& m)
{
    const LoadHost& host = LoadHostOf(m);
    if (!host.filePoll || !FilesPending(m))
        return;
    // Handlers may start, cancel or end operations: the list is walked as it was, each object checked again.
    // A handler that starts a transfer (an upload in onSelect) is heard of in the same round when the host
    // already has news of it.
    constexpr int kRounds = 4;
    for (int round = 0; round < kRounds; ++round) {
        const std::vector<Object*> files = RegistryOf(m).files;
        const size_t mark = m.m_Temporaries.size();
        for (Object* file : files)
            m.m_Temporaries.push_back(Value(file));
        bool heard = false;
        for (Object* file : files) {
            FileData* data = NativeOf<FileData>(Value(file));
            for (int n = 0; n < kMaxEventsPerStep && data && data->operation; ++n) {
                const auto& live = RegistryOf(m).files;
                if (std::find(live.begin(), live.end(), file) == live.end())
                    break;
                const int32_t id = data->operation;
                const FileEvent event = host.filePoll(id);
                if (event.kind == FileEventKind::None)
                    break;
                heard = true;
                Dispatch(m, file, *data, event);
                if (m.unwinding() || data->operation != id)
                    break;
            }
        }
        m.m_Temporaries.resize(mark);
        if (!heard)
            break;
    }
}

void InstallFileReferenceClasses(Machine& m)
{
    if (m.version() < 8)
        return;
    Object* holder = m.newObject();
    holder->m_Primitive = Value(static_cast<Object*>(m.heap().make<DialogState>()));
    m.define(m.m_Internal, "__fileDialog", Value(holder), kDontEnum | kDontDelete | kReadOnly);

    Object* file = DefineNetClass(m, "FileReference", Construct);
    DefineMethods(m, file,
        {
            { "browse", Browse },
            { "download", Download },
            { "upload", Upload },
            { "cancel", Cancel },
        });
    Object* list = DefineNetClass(m, "FileReferenceList", ConstructList);
    DefineMethods(m, list, { { "browse", Browse } });
}

} // namespace reelfinch::avm1
