// Sound: a script's handle on the movie's sounds. Made on a clip it acts on the sounds that clip started (and
// those it starts itself); made without one it acts on every sound of the movie. Attached sounds come from the
// movie's library by export name; the mixer plays them and reports the ones that ended for onSoundComplete.
#include "avm1/builtins/Builtins.h"

#include "avm1/Clip.h"
#include "sound/MovieSound.h"
#include "timeline/MoviePlayer.h"

#include <algorithm>
#include <cmath>

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
        if (m_Target.isObject())
            heap.mark(static_cast<Cell*>(m_Target.asObject()));
    }
    // The clip it was made on, or a path to one, found again at each use (the clip may come and go);
    // undefined: global.
    Value m_Target;
    bool m_HasTarget = false;
    uint16_t m_SoundId = 0; // the attached sound
    struct Playing {
        SoundMixer::ChannelId channel;
        uint32_t inPoint;
    };
    std::vector<Playing> m_Channels; // newest last
    double m_LastPosition = 0; // ms, once nothing plays
};

SoundObject* SoundSelf(const Value& self)
{
    return self.isObject() ? dynamic_cast<SoundObject*>(self.asObject()) : nullptr;
}

// The owner a Sound acts on: its clip's serial, 0 for a global one; false while its clip does not exist.
bool OwnerOf(Machine& m, SoundObject* s, uint64_t& owner)
{
    owner = 0;
    if (!s->m_HasTarget)
        return true;
    plugin::SpriteInstance* sprite = m.spriteOf(s->m_Target);
    if (!sprite && !s->m_Target.isObject()) {
        if (Object* found = m.resolveTarget(m.rootClip(), m.toString(s->m_Target)))
            sprite = m.spriteOf(Value(found));
    }
    if (!sprite)
        return false;
    owner = sprite->serial;
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

Value SoundConstruct(Machine& m, const Value& self, const Value* args, int argc)
{
    Object* proto = self.isObject() ? self.asObject()->proto() : nullptr;
    auto* s = m.heap().make<SoundObject>(proto);
    // A clip or a path to one; without one (undefined or null) the Sound is global.
    const Value target = Arg(args, argc, 0);
    if (!target.isNullish()) {
        s->m_HasTarget = true;
        s->m_Target = target;
    }
    return Value(static_cast<Object*>(s));
}

Value SoundCall(Machine&, const Value&, const Value*, int)
{
    return Value();
}

Value AttachSound(Machine& m, const Value& self, const Value* args, int argc)
{
    SoundObject* s = SoundSelf(self);
    if (!s || argc < 1)
        return Value();
    const uint16_t id = SoundOf(m).soundByName(m.toString(args[0]), m.caseSensitive());
    if (id == 0)
        return Value(false);
    s->m_SoundId = id;
    s->m_LastPosition = 0;
    return Value(true);
}

Value Start(Machine& m, const Value& self, const Value* args, int argc)
{
    SoundObject* s = SoundSelf(self);
    uint64_t owner = 0;
    if (!s || s->m_SoundId == 0 || !OwnerOf(m, s, owner))
        return Value();
    MovieSound& sound = SoundOf(m);
    const size_t length = sound.soundLength(s->m_SoundId);
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
    const SoundMixer::ChannelId channel = sound.startSound(s->m_SoundId, info, false, false, owner);
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

// The levels of the owner a Sound acts on; null while its clip does not exist.
MovieSound::ScriptLevels* LevelsOf(Machine& m, SoundObject* s, uint64_t& owner)
{
    if (!s || !OwnerOf(m, s, owner))
        return nullptr;
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
    MovieSound::ScriptLevels* l = LevelsOf(m, SoundSelf(self), owner);
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
    MovieSound::ScriptLevels* l = LevelsOf(m, SoundSelf(self), owner);
    return l ? Value(l->volume) : Value();
}

Value SetPan(Machine& m, const Value& self, const Value* args, int argc)
{
    uint64_t owner = 0;
    MovieSound::ScriptLevels* levels = LevelsOf(m, SoundSelf(self), owner);
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
    MovieSound::ScriptLevels* l = LevelsOf(m, SoundSelf(self), owner);
    return l ? Value(l->pan) : Value();
}

Value SetTransform(Machine& m, const Value& self, const Value* args, int argc)
{
    uint64_t owner = 0;
    MovieSound::ScriptLevels* levels = LevelsOf(m, SoundSelf(self), owner);
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
    const MovieSound::ScriptLevels* levels = LevelsOf(m, SoundSelf(self), owner);
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
    if (s->m_SoundId == 0)
        return -1;
    return std::round(double(SoundOf(m).soundLength(s->m_SoundId)) / kFramesPerMs);
}

Value Duration(Machine& m, const Value& self, const Value*, int)
{
    SoundObject* s = SoundSelf(self);
    if (!s)
        return Value();
    const double ms = DurationMs(m, s);
    return ms < 0 ? Value() : Value(ms);
}

// Milliseconds into the sound of its newest playing channel (the offset counts), or where the last one ended.
Value Position(Machine& m, const Value& self, const Value*, int)
{
    SoundObject* s = SoundSelf(self);
    if (!s)
        return Value();
    if (s->m_SoundId == 0)
        return Value();
    SoundMixer& mixer = SoundOf(m).mixer();
    for (auto it = s->m_Channels.rbegin(); it != s->m_Channels.rend(); ++it) {
        uint64_t frames = 0;
        if (mixer.channelPosition(it->channel, frames))
            return Value(std::round(double(frames + it->inPoint) / kFramesPerMs));
    }
    return Value(s->m_LastPosition);
}

// What was loaded of a sound: nothing is loaded from outside the movie, so there is nothing to count.
Value BytesUnknown(Machine&, const Value& self, const Value*, int)
{
    (void)self;
    return Value();
}

void DefineGetter(Machine& m, Object* proto, const char* name, NativeFunction getter)
{
    Property& p = proto->props().add(name, m.caseSensitive());
    p.value = Value(static_cast<Object*>(m.newNative(getter)));
    p.setter = Value();
    p.flags = kAccessor | kDontEnum | kDontDelete;
}

} // namespace

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
        m.m_Unwind = Unwind::None;
        m.m_RunStart = std::chrono::steady_clock::now();
        m.callMethod(Value(static_cast<Object*>(s)), "onSoundComplete", nullptr, 0);
        m.m_Unwind = Unwind::None;
        m.m_Stack.clear();
        m.m_Registers.clear();
    }
    std::erase_if(m.m_Roots, [](Object* o) {
        auto* s = dynamic_cast<SoundObject*>(o);
        return s && s->m_Channels.empty();
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
            { "getBytesLoaded", BytesUnknown },
            { "getBytesTotal", BytesUnknown },
        });
    DefineGetter(m, proto, "duration", Duration);
    DefineGetter(m, proto, "position", Position);
}

} // namespace reelfinch::avm1
