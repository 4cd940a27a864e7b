// Sound: a script's handle on the movie's sounds. Made on a clip it acts on the sounds that clip started (and
// those it starts itself); made without one it acts on every sound of the movie. Attached sounds come from the
// movie's library by export name; the mixer plays them and reports the ones that ended for onSoundComplete.
#include "avm1/builtins/Builtins.h"
#include "avm1/builtins/NativeData.h"

#include "avm1/Clip.h"
#include "avm1/Loading.h"
#include "avm1/TextCodec.h"
#include "sound/MovieSound.h"
#include "timeline/MoviePlayer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace reelfinch::avm1 {

namespace {

using plugin::sound::MovieSound;
using plugin::sound::PlayInfo;
using plugin::sound::SoundMixer;

constexpr double kFramesPerMs = 44.1;

class SoundObject final : public Object
{
public:
    explicit SoundObject(Object* proto)
        : Object(proto, ObjectKind::Other)
    {
    }
    void trace(Heap& heap) override
    {
        Object::trace(heap);
        if (m_Id3.isObject())
            heap.mark(static_cast<Cell*>(m_Id3.asObject()));
        if (m_Self)
            heap.mark(static_cast<Cell*>(m_Self));
    }
    // Of a Sound made on an object of a subclass (its constructor called super()): that object, which the
    // Sound's events go to. Null when this object is the Sound itself.
    Object* m_Self = nullptr;
    // The path of the clip it was made on (a clip given is kept as its path, anything else as its text), found
    // again at each use: the clip may be renamed, removed and made again.
    std::string m_Target;
    bool m_HasTarget = false;
    uint16_t m_SoundId = 0; // the attached sound
    struct Playing {
        SoundMixer::ChannelId channel;
        uint32_t inPoint;
    };
    std::vector<Playing> m_Channels; // newest last
    double m_LastPosition = 0; // ms, once nothing plays
    // A sound loadSound brought, decoded; it plays in place of an attached one.
    std::shared_ptr<const plugin::sound::SoundClip> m_Loaded;
    // What `id3` reads: undefined until the script sets it or a loaded file's tags arrive.
    Value m_Id3;
    bool m_Id3Read = false;
    // loadSound: the request in flight (a newer one makes the older one's answer void), the starts asked for
    // before its sound arrived, and the file's size once there (undefined before any load).
    uint32_t m_LoadGeneration = 0;
    bool m_Loading = false;
    std::vector<std::pair<double, double>> m_PendingStarts; // offset in seconds, loops
    double m_BytesLoaded = -1;
    double m_BytesTotal = -1;
    double m_LoadAskedAt = 0; // the movie's time (ms) of the loadSound call
};

// The native state of an object a Sound's constructor ran on through super(): the Sound it acts as.
class SoundLink final : public NativeData
{
public:
    void trace(Heap& heap) override
    {
        NativeData::trace(heap);
        if (sound)
            heap.mark(static_cast<Cell*>(sound));
    }
    SoundObject* sound = nullptr;
};

SoundObject* SoundSelf(const Value& self)
{
    if (!self.isObject())
        return nullptr;
    if (auto* s = dynamic_cast<SoundObject*>(self.asObject()))
        return s;
    SoundLink* link = NativeOf<SoundLink>(self);
    return link ? link->sound : nullptr;
}

// The object scripts know a Sound by: the one its events are called on.
Value ScriptObject(SoundObject* s)
{
    return Value(s->m_Self ? s->m_Self : static_cast<Object*>(s));
}

// The owner a Sound acts on: its clip's serial, 0 for a global one; false while its clip does not exist. A path
// given as text is found from the timeline of the code calling (a clip given was kept as its full path).
bool OwnerOf(Machine& m, SoundObject* s, uint64_t& owner)
{
    owner = 0;
    if (!s->m_HasTarget)
        return true;
    Object* base = !m.m_Frames.empty() && m.m_Frames.back()->target ? m.m_Frames.back()->target : m.rootClip();
    plugin::SpriteInstance* sprite = nullptr;
    if (Object* found = m.resolveTarget(base, s->m_Target))
        sprite = m.spriteOf(Value(found));
    if (!sprite)
        return false;
    owner = sprite->serial;
    // The mixer learns the clips holding this one, whose levels its sounds also follow.
    for (plugin::SpriteInstance* at = sprite; at->parent; at = at->parent)
        m.player().sound().mixer().setOwnerParent(at->serial, at->parent->serial);
    return true;
}

MovieSound& SoundOf(Machine& m)
{
    return m.player().sound();
}

// A Sound that plays is kept alive by the machine until its sounds end, so that its onSoundComplete can run.
void KeepAlive(Machine& m, SoundObject* s)
{
    if (std::find(m.m_Roots.begin(), m.m_Roots.end(), s) == m.m_Roots.end())
        m.m_Roots.push_back(s);
}

// Forgets channels that no longer play (stopped, or ended and already reported), keeping the position the last
// one reached.
void Prune(Machine& m, SoundObject* s)
{
    SoundMixer& mixer = SoundOf(m).mixer();
    std::erase_if(s->m_Channels, [&](const SoundObject::Playing& p) { return !mixer.isChannelPlaying(p.channel); });
}

// The length in 44.1 kHz frames of what a Sound plays: its loaded sound, else its attached one.
size_t SoundFrames(Machine& m, SoundObject* s)
{
    return s->m_Loaded ? s->m_Loaded->frames() : SoundOf(m).soundLength(s->m_SoundId);
}

SoundObject* MakeSound(Machine& m, Object* proto, const Value* args, int argc)
{
    auto* s = m.heap().make<SoundObject>(proto);
    // A clip or a path to one; without one (undefined or null) the Sound is global.
    const Value target = Arg(args, argc, 0);
    if (!target.isNullish()) {
        s->m_HasTarget = true;
        plugin::SpriteInstance* sprite = m.spriteOf(target);
        s->m_Target = sprite ? m.targetPath(*sprite, false) : m.toString(target);
    }
    return s;
}

Value SoundConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    Object* proto = self.isObject() ? self.asObject()->proto() : nullptr;
    return Value(static_cast<Object*>(MakeSound(m, proto, args, argc)));
}

// Called as a function, as a subclass's constructor calls super(clip): an object of no native kind of its own
// becomes a Sound, acting through a Sound kept as its state.
Value SoundCall(Machine& m, const Value& self, const Value* args, int argc)
{
    if (!self.isObject() || HasNativeKind(self.asObject()))
        return Value();
    Object* o = self.asObject();
    SoundObject* s = MakeSound(m, nullptr, args, argc);
    s->m_Self = o;
    AttachNative<SoundLink>(m, o)->sound = s;
    return Value();
}

Value AttachSound(Machine& m, const Value& self, const Value* args, int argc)
{
    SoundObject* s = SoundSelf(self);
    uint64_t owner = 0;
    // Nothing is attached while the Sound's clip is not there.
    if (!s || argc < 1 || !OwnerOf(m, s, owner))
        return Value();
    const uint16_t id = SoundOf(m).soundByName(m.toString(args[0]), m.caseSensitive());
    if (id == 0)
        return Value(false);
    s->m_SoundId = id;
    s->m_Loaded.reset();
    s->m_LastPosition = 0;
    return Value(true);
}

Value Start(Machine& m, const Value& self, const Value* args, int argc)
{
    SoundObject* s = SoundSelf(self);
    uint64_t owner = 0;
    // An event sound still being loaded plays once it is there, as often as it was started meanwhile.
    if (s && s->m_Loading) {
        s->m_PendingStarts.emplace_back(argc > 0 ? m.toNumber(args[0]) : 0, argc > 1 ? m.toNumber(args[1]) : 1);
        KeepAlive(m, s);
        return Value();
    }
    if (!s || (s->m_SoundId == 0 && !s->m_Loaded) || !OwnerOf(m, s, owner))
        return Value();
    MovieSound& sound = SoundOf(m);
    const size_t length = SoundFrames(m, s);
    PlayInfo info;
    // The offset in seconds, the number of times to play: both as the player reads them (a negative or
    // unreadable offset is 0, fewer than one loop is one).
    double offset = argc > 0 ? m.toNumber(args[0]) : 0;
    if (!(offset > 0))
        offset = 0;
    const double inFrames = std::floor(offset * 44100.0);
    if (length == 0 || inFrames >= double(length))
        return Value(); // nothing left to play
    info.inPoint = uint32_t(inFrames);
    const double loops = argc > 1 ? m.toNumber(args[1]) : 1;
    info.loops = loops >= 1 && loops < 65536 ? uint32_t(loops) : 1;
    Prune(m, s);
    const SoundMixer::ChannelId channel = s->m_Loaded ? sound.mixer().start(0, s->m_Loaded, info, owner)
                                                      : sound.startSound(s->m_SoundId, info, false, false, owner);
    if (channel == 0)
        return Value();
    s->m_Channels.push_back({ channel, info.inPoint });
    s->m_LastPosition = 0;
    KeepAlive(m, s);
    return Value();
}

Value Stop(Machine& m, const Value& self, const Value* args, int argc)
{
    SoundObject* s = SoundSelf(self);
    uint64_t owner = 0;
    if (!s || !OwnerOf(m, s, owner))
        return Value();
    MovieSound& sound = SoundOf(m);
    uint16_t only = 0;
    if (argc > 0 && !args[0].isUndefined()) {
        only = sound.soundByName(m.toString(args[0]), m.caseSensitive());
        if (only == 0)
            return Value(); // a name the library does not have stops nothing
    }
    if (owner)
        sound.mixer().stopOwner(owner, only);
    else if (only)
        sound.mixer().stopSound(only);
    else
        sound.stopAll();
    Prune(m, s);
    return Value();
}

// The levels of the owner a Sound acts on; null while its clip does not exist. A clip whose class extends Sound
// is a Sound of its own sounds.
MovieSound::ScriptLevels* LevelsOf(Machine& m, const Value& self, uint64_t& owner)
{
    SoundObject* s = SoundSelf(self);
    if (!s) {
        plugin::SpriteInstance* sprite = m.spriteOf(self);
        if (!sprite)
            return nullptr;
        owner = sprite->serial;
    } else if (!OwnerOf(m, s, owner)) {
        return nullptr;
    }
    return &SoundOf(m).scriptLevels(owner);
}

// Percent values as scripts give them: a number, or nothing done for one that is not.
bool Percent(Machine& m, const Value* args, int argc, double& out)
{
    if (argc < 1)
        return false;
    const double v = m.toNumber(args[0]);
    if (std::isnan(v))
        return false;
    out = std::isinf(v) ? (v > 0 ? 1e9 : -1e9) : v;
    return true;
}

Value SetVolume(Machine& m, const Value& self, const Value* args, int argc)
{
    uint64_t owner = 0;
    MovieSound::ScriptLevels* l = LevelsOf(m, self, owner);
    double v = 0;
    if (!l || !Percent(m, args, argc, v))
        return Value();
    l->volume = std::trunc(v);
    SoundOf(m).applyScriptLevels(owner);
    return Value();
}

Value GetVolume(Machine& m, const Value& self, const Value*, int)
{
    uint64_t owner = 0;
    MovieSound::ScriptLevels* l = LevelsOf(m, self, owner);
    return l ? Value(l->volume) : Value();
}

Value SetPan(Machine& m, const Value& self, const Value* args, int argc)
{
    uint64_t owner = 0;
    MovieSound::ScriptLevels* levels = LevelsOf(m, self, owner);
    double p = 0;
    if (!levels || !Percent(m, args, argc, p))
        return Value();
    p = std::trunc(p);
    MovieSound::ScriptLevels& l = *levels;
    // Panning turns one side down: left of centre the right side, right of centre the left side.
    l.pan = p;
    l.ll = p > 0 ? 100 - p : 100;
    l.rr = p < 0 ? 100 + p : 100;
    l.lr = 0;
    l.rl = 0;
    SoundOf(m).applyScriptLevels(owner);
    return Value();
}

Value GetPan(Machine& m, const Value& self, const Value*, int)
{
    uint64_t owner = 0;
    MovieSound::ScriptLevels* l = LevelsOf(m, self, owner);
    if (!l)
        return Value();
    // As the player reads it back from the four shares: how far the left side's own share is turned down, or,
    // with that whole, how far the right side's is.
    return Value(l->ll != 100 ? 100 - l->ll : l->rr - 100);
}

Value SetTransform(Machine& m, const Value& self, const Value* args, int argc)
{
    uint64_t owner = 0;
    MovieSound::ScriptLevels* levels = LevelsOf(m, self, owner);
    if (!levels || argc < 1 || !args[0].isObject())
        return Value();
    MovieSound::ScriptLevels& l = *levels;
    // Each of the four shares the object has replaces the one in force.
    Object* t = args[0].asObject();
    const std::pair<const char*, double*> fields[] = { { "ll", &l.ll }, { "lr", &l.lr }, { "rr", &l.rr },
        { "rl", &l.rl } };
    for (const auto& [name, field] : fields) {
        Value v;
        if (!m.getProperty(t, name, v, args[0]))
            continue;
        const double n = m.toNumber(v);
        if (!std::isnan(n))
            *field = std::isinf(n) ? (n > 0 ? 1e9 : -1e9) : std::trunc(n);
    }
    l.pan = l.rr - l.ll;
    SoundOf(m).applyScriptLevels(owner);
    return Value();
}

Value GetTransform(Machine& m, const Value& self, const Value*, int)
{
    uint64_t owner = 0;
    const MovieSound::ScriptLevels* levels = LevelsOf(m, self, owner);
    if (!levels)
        return Value();
    const MovieSound::ScriptLevels& l = *levels;
    Object* t = m.newObject();
    m.setMember(Value(t), "ll", Value(l.ll));
    m.setMember(Value(t), "lr", Value(l.lr));
    m.setMember(Value(t), "rr", Value(l.rr));
    m.setMember(Value(t), "rl", Value(l.rl));
    return Value(t);
}

double DurationMs(Machine& m, SoundObject* s)
{
    if (s->m_SoundId == 0 && !s->m_Loaded)
        return -1;
    return std::round(double(SoundFrames(m, s)) / kFramesPerMs);
}

Value Duration(Machine& m, const Value& self, const Value*, int)
{
    SoundObject* s = SoundSelf(self);
    uint64_t owner = 0;
    // Nothing is known of the sounds of a clip that is not there.
    if (!s || !OwnerOf(m, s, owner))
        return Value();
    const double ms = DurationMs(m, s);
    return ms < 0 ? Value() : Value(ms);
}

// Milliseconds into the sound of its newest playing channel (the offset counts), or where the last one ended.
Value Position(Machine& m, const Value& self, const Value*, int)
{
    SoundObject* s = SoundSelf(self);
    uint64_t owner = 0;
    if (!s || !OwnerOf(m, s, owner))
        return Value();
    if (s->m_SoundId == 0 && !s->m_Loaded)
        return Value();
    SoundMixer& mixer = SoundOf(m).mixer();
    for (auto it = s->m_Channels.rbegin(); it != s->m_Channels.rend(); ++it) {
        uint64_t frames = 0;
        if (mixer.channelPosition(it->channel, frames))
            return Value(std::round(double(frames + it->inPoint) / kFramesPerMs));
    }
    return Value(s->m_LastPosition);
}

// What loadSound brought of a file: 0 of an unknown total while it loads, the file's size once there, undefined
// before any load.
// While loadSound's file arrives, what came so far and the length the host announced (none before it did).
void LoadProgress(Machine& m, SoundObject* s)
{
    // Bytes arrive between the movie's steps: the scripts of the step that asked see none yet, even from a
    // host that answered at once.
    size_t loaded = 0, total = 0;
    if (!s->m_Loading || m.now() <= s->m_LoadAskedAt || !FetchProgress(m, s, loaded, total))
        return;
    s->m_BytesLoaded = double(loaded);
    if (total > 0)
        s->m_BytesTotal = double(std::max(total, loaded));
}

Value BytesLoaded(Machine& m, const Value& self, const Value*, int)
{
    SoundObject* s = SoundSelf(self);
    if (s)
        LoadProgress(m, s);
    return s && s->m_BytesLoaded >= 0 ? Value(s->m_BytesLoaded) : Value();
}

Value BytesTotal(Machine& m, const Value& self, const Value*, int)
{
    SoundObject* s = SoundSelf(self);
    if (s)
        LoadProgress(m, s);
    return s && s->m_BytesTotal >= 0 ? Value(s->m_BytesTotal) : Value();
}

// loadSound(url, streaming): fetches an MP3 file through the movie's host. Its ID3 tags reach id3 and onID3, then
// onLoad(success); a streaming sound then starts by itself, an event sound when started (starts asked for while
// it loaded are kept). A second loadSound replaces the first: what the first brings is dropped.
Value LoadSound(Machine& m, const Value& self, const Value* args, int argc)
{
    SoundObject* s = SoundSelf(self);
    if (!s || argc < 1)
        return Value();
    const std::string url = m.toString(args[0]);
    const bool streaming = argc > 1 && m.toBoolean(args[1]);
    const uint32_t generation = ++s->m_LoadGeneration;
    s->m_PendingStarts.clear();
    s->m_Loading = true;
    s->m_BytesLoaded = 0;
    s->m_BytesTotal = -1;
    s->m_LoadAskedAt = m.now();
    KeepAlive(m, s);
    const bool queued = FetchForMovie(m, s, url, [s, streaming, generation](Machine& machine, bool ok, const std::string& bytes) {
        if (s->m_LoadGeneration != generation)
            return;
        SoundLoadFinished(machine, s, streaming, ok, bytes);
    });
    if (!queued) {
        s->m_Loading = false;
        s->m_BytesLoaded = -1;
    }
    return Value();
}

void DefineGetter(Machine& m, Object* proto, const char* name, NativeFunction getter)
{
    Property& p = proto->props().add(name, m.caseSensitive());
    p.value = Value(static_cast<Object*>(m.newNative(getter)));
    p.setter = Value();
    p.flags = kAccessor | kDontEnum | kDontDelete;
}

// ---- loaded files: ID3 tags and MP3 data

// Text of an ID3v2 text frame: its encoding byte, then Latin-1, UTF-16 with a byte order mark, UTF-16 big
// endian or UTF-8, up to the first terminator.
std::string Id3Text(uint8_t encoding, std::string_view body)
{
    if (encoding == 1 || encoding == 2) {
        bool big = encoding == 2;
        size_t at = 0;
        if (body.size() >= 2 && uint8_t(body[0]) == 0xFF && uint8_t(body[1]) == 0xFE)
            big = false, at = 2;
        else if (body.size() >= 2 && uint8_t(body[0]) == 0xFE && uint8_t(body[1]) == 0xFF)
            big = true, at = 2;
        std::u16string units;
        for (; at + 1 < body.size(); at += 2) {
            const char16_t u = big ? char16_t(uint8_t(body[at]) << 8 | uint8_t(body[at + 1]))
                                   : char16_t(uint8_t(body[at + 1]) << 8 | uint8_t(body[at]));
            if (u == 0)
                break;
            units += u;
        }
        return utf16ToUtf8(units);
    }
    const std::string_view text = body.substr(0, body.find('\0'));
    if (encoding == 3)
        return sanitizeUtf8(text);
    std::string out;
    for (char c : text) {
        const auto b = uint8_t(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += char(0xC0 | (b >> 6));
            out += char(0x80 | (b & 0x3F));
        }
    }
    return out;
}

// Where a COMM frame's text starts: after its encoding, language and short description (terminated by one
// zero byte, or two in UTF-16).
std::string_view CommentText(uint8_t encoding, std::string_view body)
{
    if (body.size() < 3)
        return {};
    body.remove_prefix(3);
    if (encoding == 1 || encoding == 2) {
        for (size_t at = 0; at + 1 < body.size(); at += 2)
            if (body[at] == 0 && body[at + 1] == 0)
                return body.substr(at + 2);
        return {};
    }
    const size_t end = body.find('\0');
    return end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
}

// The short names scripts read beside the frames' own.
const char* Id3Alias(std::string_view frame)
{
    static constexpr std::pair<const char*, const char*> kAliases[] = { { "TIT2", "songname" },
        { "TPE1", "artist" }, { "TALB", "album" }, { "TYER", "year" }, { "COMM", "comment" }, { "TRCK", "track" },
        { "TCON", "genre" } };
    for (const auto& [id, alias] : kAliases)
        if (frame == id)
            return alias;
    return nullptr;
}

// Sets the text frames of an ID3v2.3/2.4 tag at the start of `file` (and the comments) on `id3`: each frame
// under its own name, the common ones under their short name too, a repeated frame's texts joined by commas
// (the short name keeps the last). Returns where the tag ends (0 without one).
size_t ReadId3(Machine& m, std::string_view file, Object* id3, bool& found)
{
    found = false;
    if (file.size() < 10 || file.substr(0, 3) != "ID3")
        return 0;
    const auto byte = [&](size_t i) { return uint32_t(uint8_t(file[i])); };
    const uint32_t version = byte(3);
    const uint32_t flags = byte(5);
    const size_t size = (byte(6) & 0x7F) << 21 | (byte(7) & 0x7F) << 14 | (byte(8) & 0x7F) << 7 | (byte(9) & 0x7F);
    const size_t end = std::min(file.size(), 10 + size);
    if (version < 3 || version > 4 || (flags & 0x40))
        return end; // older tags and extended headers are passed over whole
    std::map<std::string, std::string> texts;
    for (size_t at = 10; at + 10 <= end;) {
        const std::string id(file.substr(at, 4));
        if (id[0] < 'A' || id[0] > 'Z')
            break;
        size_t length = byte(at + 4) << 24 | byte(at + 5) << 16 | byte(at + 6) << 8 | byte(at + 7);
        if (version == 4)
            length = (byte(at + 4) & 0x7F) << 21 | (byte(at + 5) & 0x7F) << 14 | (byte(at + 6) & 0x7F) << 7
                | (byte(at + 7) & 0x7F);
        at += 10;
        if (length > end - at)
            break;
        const std::string_view body = file.substr(at, length);
        at += length;
        if (body.empty() || (id[0] != 'T' && id != "COMM") || id == "TXXX")
            continue;
        const uint8_t encoding = uint8_t(body[0]);
        const std::string text
            = id == "COMM" ? Id3Text(encoding, CommentText(encoding, body.substr(1))) : Id3Text(encoding, body.substr(1));
        auto known = texts.find(id);
        const std::string joined = known == texts.end() ? text : known->second + "," + text;
        texts[id] = joined;
        if (const char* alias = Id3Alias(id))
            m.setMember(Value(id3), alias, Value(m.str(text)));
        m.setMember(Value(id3), id, Value(m.str(joined)));
        found = true;
    }
    return end;
}

// The channel layout of the first MPEG audio frame after `from`: stereo unless it says mono.
bool Mp3Stereo(std::string_view file, size_t from)
{
    for (size_t at = from; at + 4 <= file.size(); ++at)
        if (uint8_t(file[at]) == 0xFF && (uint8_t(file[at + 1]) & 0xE0) == 0xE0)
            return (uint8_t(file[at + 3]) >> 6) != 3;
    return true;
}

Value Id3Get(Machine&, const Value& self, const Value*, int)
{
    SoundObject* s = SoundSelf(self);
    return s ? s->m_Id3 : Value();
}

// A script may set id3 until a file's tags were read; from then on they stay.
Value Id3Set(Machine&, const Value& self, const Value* args, int argc)
{
    SoundObject* s = SoundSelf(self);
    if (s && !s->m_Id3Read)
        s->m_Id3 = Arg(args, argc, 0);
    return Value();
}

} // namespace

void SoundLoadFinished(Machine& m, Object* sound, bool streaming, bool ok, std::string_view bytes)
{
    auto* s = dynamic_cast<SoundObject*>(sound);
    if (!s)
        return;
    const Value self = ScriptObject(s);
    s->m_Loading = false;
    std::vector<std::pair<double, double>> pending;
    pending.swap(s->m_PendingStarts);
    if (!ok) {
        s->m_BytesLoaded = -1;
        Value arg(false);
        m.callMethod(self, "onLoad", &arg, 1);
        return;
    }
    s->m_BytesLoaded = s->m_BytesTotal = double(bytes.size());
    // The tags first: onID3 hears of them before the sound is ready.
    // The tags' object has no prototype: it converts to no text of its own ("undefined").
    Object* id3 = m.heap().make<Object>(nullptr);
    id3->setProto(Value());
    bool found = false;
    const size_t audio = ReadId3(m, bytes, id3, found);
    if (found) {
        if (!s->m_Id3Read && s->m_Id3.isUndefined())
            s->m_Id3 = Value(id3);
        s->m_Id3Read = true;
        m.callMethod(self, "onID3", nullptr, 0);
    }
    // The file's frames as a sound's MP3 data: no seek samples, the rate and layout its frames give.
    plugin::sound::SoundFormat format
        = plugin::sound::SoundFormat::fromFields(uint8_t(plugin::sound::Codec::Mp3), 3, 1, Mp3Stereo(bytes, audio));
    std::vector<uint8_t> data(2 + bytes.size() - audio, 0);
    std::memcpy(data.data() + 2, bytes.data() + audio, bytes.size() - audio);
    s->m_Loaded = plugin::sound::DecodeSound(format, 0, data.data(), data.size());
    s->m_SoundId = 0;
    s->m_LastPosition = 0;
    Value arg(true);
    m.callMethod(self, "onLoad", &arg, 1);
    if (streaming) {
        m.callMethod(self, "start", nullptr, 0);
    } else {
        for (const auto& [offset, loops] : pending) {
            const Value startArgs[2] = { Value(offset), Value(loops) };
            Start(m, self, startArgs, 2);
        }
    }
}

void DispatchSoundEvents(Machine& m)
{
    SoundMixer& mixer = SoundOf(m).mixer();
    const std::vector<SoundMixer::ChannelId> finished = mixer.takeFinished();
    std::vector<SoundObject*> sounds;
    for (Object* o : m.m_Roots)
        if (auto* s = dynamic_cast<SoundObject*>(o))
            sounds.push_back(s);
    if (sounds.empty())
        return;
    // The Sounds whose channels ended, in the order they ended; each hears of each of its channels once.
    std::vector<SoundObject*> complete;
    for (SoundMixer::ChannelId channel : finished)
        for (SoundObject* s : sounds) {
            auto it = std::find_if(s->m_Channels.begin(), s->m_Channels.end(),
                [&](const SoundObject::Playing& p) { return p.channel == channel; });
            if (it == s->m_Channels.end())
                continue;
            s->m_Channels.erase(it);
            s->m_LastPosition = std::max(0.0, DurationMs(m, s));
            complete.push_back(s);
        }
    for (SoundObject* s : sounds)
        Prune(m, s);
    // Those that play no more are let go after their event; until then they stay rooted.
    for (SoundObject* s : complete) {
        const bool top = m.beginRun();
        m.callMethod(ScriptObject(s), "onSoundComplete", nullptr, 0);
        m.endRun(top);
    }
    std::erase_if(m.m_Roots, [](Object* o) {
        auto* s = dynamic_cast<SoundObject*>(o);
        return s && s->m_Channels.empty() && !s->m_Loading;
    });
}

void InstallSoundClass(Machine& m)
{
    Object* proto = m.newObject();
    DefineClass(m, "Sound", SoundCall, SoundConstruct, proto);
    DefineMethods(m, proto,
        {
            { "attachSound", AttachSound },
            { "start", Start },
            { "stop", Stop },
            { "setVolume", SetVolume },
            { "getVolume", GetVolume },
            { "setPan", SetPan },
            { "getPan", GetPan },
            { "setTransform", SetTransform },
            { "getTransform", GetTransform },
            { "getDuration", Duration },
            { "getPosition", Position },
            { "getBytesLoaded", BytesLoaded },
            { "getBytesTotal", BytesTotal },
            { "setDuration", Nothing },
            { "setPosition", Nothing },
            { "loadSound", LoadSound },
        });
    // The properties that read the sound's state are there from SWF 7 on.
    if (m.version() >= 7) {
        DefineGetter(m, proto, "duration", Duration);
        DefineGetter(m, proto, "position", Position);
        Property& id3 = proto->props().add("id3", m.caseSensitive());
        id3.value = Value(static_cast<Object*>(m.newNative(Id3Get)));
        id3.setter = Value(static_cast<Object*>(m.newNative(Id3Set)));
        id3.flags = kAccessor | kDontEnum | kDontDelete;
    }
}

} // namespace reelfinch::avm1
