// Movies loaded into clips and levels: loadMovie/unloadMovie on clips and through GetURL2's load-target bit,
// `_levelN`, and MovieClipLoader (loadClip, unloadClip, getProgress, listeners hearing onLoadStart,
// onLoadProgress, onLoadComplete, onLoadInit and onLoadError).
#include "avm1/Clip.h"
#include "avm1/Loading.h"
#include "avm1/builtins/NativeData.h"
#include "timeline/MoviePlayer.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace reelfinch::avm1 {

using plugin::SpriteInstance;

namespace {

// The load each clip waits for: a later load into the clip, or unloading it, drops an earlier one.
class MovieLoads final : public NativeData
{
public:
    std::map<const ClipLink*, uint64_t> current;
    std::map<const ClipLink*, uint64_t> cancelled; // loads that unloading their clip cut short
    std::vector<std::shared_ptr<ClipLink>> unloads; // clips to empty with the next frame, in the order asked
    uint64_t next = 0;
};

MovieLoads& LoadsOf(Machine& m)
{
    for (Object* o : m.m_Roots)
        if (auto* loads = dynamic_cast<MovieLoads*>(o))
            return *loads;
    auto* loads = m.heap().make<MovieLoads>();
    m.m_Roots.push_back(loads);
    return *loads;
}

// What `_url` shows for a movie loaded from `url`: relative addresses are taken against the main movie's.
std::string ScriptUrl(const std::string& url)
{
    const size_t colon = url.find(':');
    const bool scheme = colon != std::string::npos && colon > 1 && url.find('/') > colon;
    if (scheme || url.empty())
        return url;
    return "file:///" + (url[0] == '/' ? url.substr(1) : url);
}

// A clip's own variables go when a movie is loaded into it.
void ClearVariables(Machine& m, Object* clip)
{
    std::vector<std::string> names;
    // _lockroot is the clip's own setting, not a variable of the movie it showed: it stays.
    for (const Property& p : clip->props().entries())
        if (!p.removed && p.name != "_lockroot")
            names.push_back(p.name);
    for (const std::string& name : names)
        clip->props().remove(name, true);
    (void)m;
}

void Broadcast(Machine& m, Object* loader, const char* event, std::initializer_list<Value> args)
{
    std::vector<Value> all;
    all.push_back(Value(m.str(event)));
    all.insert(all.end(), args.begin(), args.end());
    m.callMethod(Value(loader), "broadcastMessage", all.data(), int(all.size()));
}

void Arrived(Machine& m, const std::shared_ptr<ClipLink>& link, uint64_t generation, Object* loader,
    const std::string& url, bool ok, const std::string& bytes)
{
    MovieLoads& loads = LoadsOf(m);
    auto it = loads.current.find(link.get());
    if (it == loads.current.end() || it->second != generation) {
        // A load cut short by unloading its clip had already opened its stream: its loader hears it start, and
        // nothing more (its clip keeps what it has).
        const auto cut = loads.cancelled.find(link.get());
        if (cut == loads.cancelled.end() || cut->second != generation)
            return;
        loads.cancelled.erase(cut);
        if (ok && loader && link->sprite && !link->sprite->removed)
            Broadcast(m, loader, "onLoadStart", { Value(m.clipObject(*link->sprite)) });
        return;
    }
    loads.current.erase(it);
    SpriteInstance* sprite = link->sprite;
    if (!sprite || sprite->removed)
        return;
    Object* clip = m.clipObject(*sprite);
    if (!ok) {
        // The clip shows what it showed, but names the movie it asked for.
        sprite->failedUrl = ScriptUrl(url);
        if (loader)
            Broadcast(m, loader, "onLoadError", { Value(clip), Value(m.str("URLNotFound")), Value(0) });
        return;
    }
    ClearVariables(m, clip);
    const bool movie = m.player().loadInto(
        *sprite, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), ScriptUrl(url), url);
    // A clip that now plays a movie on the other side of SWF 6 and 7 takes the MovieClip prototype of its
    // movie's globals.
    if (const int version = m.player().versionOf(*sprite); movie && version > 0) {
        const int other = version >= 7 ? 6 : 7;
        if (m.globalOf(other, false) && clip->proto() == m.clipPrototypeOf(other))
            clip->setProto(Value(m.clipPrototypeOf(version)));
    }
    // Bytes that are not a movie count as none.
    const double size = movie ? double(bytes.size()) : 0.0;
    const bool mainMovie = sprite == &m.player().root();
    if (loader)
        Broadcast(m, loader, "onLoadStart", { Value(clip) });
    // A movie replacing level 0 is the main movie from then on: its version rules the scripts that run outside
    // any frame, and, as the main movie's stream does, its load reports progress once its header is read and
    // again when the file is complete.
    if (movie && mainMovie)
        m.switchMovieVersion(m.player().versionOf(*sprite));
    if (loader) {
        for (int report = mainMovie && movie ? 2 : 1; report > 0; --report)
            Broadcast(m, loader, "onLoadProgress", { Value(clip), Value(size), Value(size) });
        Broadcast(m, loader, "onLoadComplete", { Value(clip), Value(0) });
    }
    QueueLoadInit(m, loader, clip);
}

// The clip a loader's target argument names: a clip, a level number, or a path from the root (levels too).
Object* TargetOf(Machine& m, const Value& target, bool makeLevel)
{
    if (target.isObject())
        return m.spriteOf(target) ? target.asObject() : nullptr;
    if (target.isNumber()) {
        const double n = target.asNumber();
        if (!(n >= 0 && n < 2147483647.0))
            return nullptr;
        return LevelTarget(m, "_level" + std::to_string(int(n)), makeLevel);
    }
    if (!target.isString())
        return nullptr;
    const std::string path = m.toString(target);
    if (Object* level = LevelTarget(m, path, makeLevel))
        return level;
    return path.empty() ? nullptr : m.resolveTarget(m.rootClip(), path);
}

// ---- MovieClip methods

Value ClipLoadMovie(Machine& m, const Value& self, const Value* args, int argc)
{
    if (argc >= 1 && m.spriteOf(self))
        StartMovieLoad(m, self.asObject(), m.toString(args[0]), nullptr);
    return Value();
}

Value ClipUnloadMovie(Machine& m, const Value& self, const Value*, int)
{
    if (m.spriteOf(self))
        UnloadMovie(m, self.asObject());
    return Value();
}

// ---- MovieClipLoader

Value LoaderConstruct(Machine& m, const Value& self, const Value*, int)
{
    if (!self.isObject())
        return Value();
    AttachNative<NativeMark>(m, self.asObject());
    // The loader is its own first listener.
    ArrayObject* listeners = m.newArray();
    listeners->m_Items.push_back(self);
    m.define(self.asObject(), "_listeners", Value(static_cast<Object*>(listeners)), kDontEnum);
    return Value();
}

Value LoadClip(Machine& m, const Value& self, const Value* args, int argc)
{
    if (argc < 2 || !self.isObject())
        return Value();
    if (!args[0].isString())
        return Value(false);
    Object* clip = TargetOf(m, args[1], true);
    if (!clip)
        return Value(false);
    return Value(StartMovieLoad(m, clip, m.toString(args[0]), self.asObject()));
}

Value UnloadClip(Machine& m, const Value&, const Value* args, int argc)
{
    Object* clip = argc >= 1 ? TargetOf(m, args[0], false) : nullptr;
    if (!clip)
        return Value(false);
    UnloadMovie(m, clip);
    return Value(true);
}

Value GetProgress(Machine& m, const Value&, const Value* args, int argc)
{
    if (argc < 1 || args[0].isNull() || args[0].isUndefined() || (args[0].isObject() && !m.spriteOf(args[0])))
        return Value();
    Object* clip = TargetOf(m, args[0], false);
    Object* out = m.newObject();
    // The file's bytes as they came, compressed or not (the clip's getBytesTotal counts them uncompressed).
    const plugin::SpriteInstance* sprite = clip ? m.spriteOf(Value(clip)) : nullptr;
    const Value loaded = sprite ? Value(ClipBytes(m, *sprite, true)) : Value();
    const Value total = loaded;
    m.define(out, "bytesLoaded", loaded, 0);
    m.define(out, "bytesTotal", total, 0);
    return Value(out);
}

// The sandbox type of a local main movie, kept among the machine's roots.
class LocalSandbox final : public NativeData
{
public:
    std::string type;
};

LocalSandbox* LocalSandboxOf(Machine& m)
{
    for (Object* o : m.m_Roots)
        if (auto* sandbox = dynamic_cast<LocalSandbox*>(o))
            return sandbox;
    return nullptr;
}

bool IsWebUrl(const std::string& url)
{
    auto starts = [&](const char* scheme) {
        const size_t n = std::char_traits<char>::length(scheme);
        if (url.size() < n)
            return false;
        for (size_t i = 0; i < n; ++i)
            if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i])
                return false;
        return true;
    };
    return starts("http://") || starts("https://");
}

// The movie whose code runs is the one the running script's clip belongs to: the nearest clip up from it that
// a movie was loaded into, else the main movie.
Value SandboxType(Machine& m, const Value&, const Value*, int)
{
    const SpriteInstance* sprite
        = m.m_Frames.empty() || !m.m_Frames.back()->target ? nullptr : m.spriteOf(Value(m.m_Frames.back()->target));
    while (sprite && !sprite->library)
        sprite = sprite->parent;
    const std::string& url = sprite ? sprite->library->url : m.player().movieUrl;
    if (IsWebUrl(url))
        return Value(m.str("remote"));
    const LocalSandbox* local = LocalSandboxOf(m);
    return Value(m.str(local ? local->type : std::string("localWithFile")));
}

} // namespace

void DefineSandboxType(Machine& m, Object* security, const char* localType)
{
    LocalSandbox* local = LocalSandboxOf(m);
    if (!local) {
        local = m.heap().make<LocalSandbox>();
        m.m_Roots.push_back(local);
    }
    local->type = localType;
    DefineAccessor(m, security, "sandboxType", SandboxType, nullptr, kDontDelete | kReadOnly);
}

int LevelNumber(std::string_view name)
{
    // The number is read as far as its digits go: "_level0abc" names level 0.
    constexpr size_t kPrefix = 6; // "_level"
    if (name.size() <= kPrefix || name[0] != '_' || !std::isdigit(static_cast<unsigned char>(name[kPrefix])))
        return -1;
    for (size_t i = 1; i < kPrefix; ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != "_level"[i])
            return -1;
    int number = 0;
    for (size_t i = kPrefix; i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])); ++i) {
        if (i >= kPrefix + 9)
            return -1;
        number = number * 10 + (name[i] - '0');
    }
    return number;
}

Object* LevelTarget(Machine& m, std::string_view name, bool make)
{
    const int number = LevelNumber(name);
    if (number < 0)
        return nullptr;
    SpriteInstance* level = m.player().level(number, make);
    return level ? m.clipObject(*level) : nullptr;
}

bool StartMovieLoad(Machine& m, Object* clip, const std::string& url, Object* loader)
{
    SpriteInstance* sprite = m.spriteOf(Value(clip));
    if (!sprite || url.empty())
        return false;
    m.clipObject(*sprite);
    std::shared_ptr<ClipLink> link = sprite->script.m_Link;
    MovieLoads& loads = LoadsOf(m);
    const uint64_t generation = ++loads.next;
    loads.current[link.get()] = generation;
    loads.cancelled.erase(link.get());
    // The later request for a clip wins: an unload asked for before it is dropped.
    std::erase(loads.unloads, link);
    const bool queued = FetchForMovie(m, loader, url,
        [link, generation, loader, url](Machine& machine, bool ok, const std::string& bytes) {
            Arrived(machine, link, generation, loader, url, ok, bytes);
        });
    if (!queued)
        loads.current.erase(link.get());
    return queued;
}

std::string ImportAddress(const std::string& base, const std::string& url)
{
    if (url.empty())
        return url;
    const size_t colon = url.find(':');
    const bool absolute = url[0] == '/' || (colon != std::string::npos && url.find('/') > colon);
    if (const size_t slash = base.rfind('/'); !absolute && slash != std::string::npos)
        return base.substr(0, slash + 1) + url;
    return url;
}

bool StartImport(Machine& m, SpriteInstance& importer, const plugin::MovieLibrary* into, const std::string& base,
    const std::string& url, const CTag* importTag)
{
    if (url.empty())
        return false;
    const std::string address = ImportAddress(base, url);
    m.clipObject(importer);
    std::shared_ptr<ClipLink> link = importer.script.m_Link;
    const plugin::MovieLibrary* library = importer.library;
    return FetchForMovie(m, nullptr, address,
        [link, library, into, importTag, address](Machine& machine, bool ok, const std::string& bytes) {
            SpriteInstance* sprite = link ? link->sprite : nullptr;
            if (!ok || !sprite || sprite->removed || sprite->library != library)
                return;
            if (machine.player().importArrived(*sprite, into, importTag,
                    reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), ScriptUrl(address), address))
                machine.player().runQueuedActions();
        });
}

void UnloadMovie(Machine& m, Object* clip)
{
    SpriteInstance* sprite = m.spriteOf(Value(clip));
    if (!sprite)
        return;
    MovieLoads& loads = LoadsOf(m);
    if (sprite->script.m_Link) {
        const auto it = loads.current.find(sprite->script.m_Link.get());
        if (it != loads.current.end()) {
            loads.cancelled[it->first] = it->second;
            loads.current.erase(it);
        }
    }
    const int level = sprite->parent ? -1 : m.player().levelNumber(*sprite);
    if (level > 0) {
        m.player().removeLevel(level);
        return;
    }
    // The clip stays; it is emptied with the next frame.
    m.clipObject(*sprite);
    if (std::find(loads.unloads.begin(), loads.unloads.end(), sprite->script.m_Link) == loads.unloads.end())
        loads.unloads.push_back(sprite->script.m_Link);
}

void ApplyUnloads(Machine& m)
{
    MovieLoads& loads = LoadsOf(m);
    if (loads.unloads.empty())
        return;
    std::vector<std::shared_ptr<ClipLink>> unloads;
    unloads.swap(loads.unloads);
    for (const std::shared_ptr<ClipLink>& link : unloads) {
        SpriteInstance* sprite = link->sprite;
        if (!sprite || sprite->removed)
            continue;
        m.player().unloadContent(*sprite);
        sprite->unloaded = true;
        // The clip stays, empty; it hears its unload.
        m.callMethod(Value(m.clipObject(*sprite)), "onUnload", nullptr, 0);
    }
}

void InstallMovieClipLoader(Machine& m)
{
    DefineMethods(m, m.m_ClipProto,
        {
            { "loadMovie", ClipLoadMovie },
            { "unloadMovie", ClipUnloadMovie },
        });
    Object* proto = m.newObject();
    DefineClass(m, "MovieClipLoader", LoaderConstruct, nullptr, proto);
    DefineMethods(m, proto,
        {
            { "loadClip", LoadClip },
            { "unloadClip", UnloadClip },
            { "getProgress", GetProgress },
        });
    for (const char* name : { "addListener", "removeListener", "broadcastMessage" })
        m.define(proto, name, m.getMember(Value(m.m_Broadcaster), name), kDontEnum);
}

} // namespace reelfinch::avm1
