// NetStream: FLV files played through a NetConnection connected to null (progressive download through the
// movie's host). play(url) fetches the file; once it is there the stream's clock starts, script-data tags reach
// the handler they name (onMetaData, onCuePoint...) as the clock passes them, and onStatus hears the stream's
// states. Status messages and data calls are queued and delivered between steps of the movie, never inside the
// script that caused them; a seek flushes what was still queued (as it flushes the buffer) and says Seek.Notify.
// The file's video tags are decoded as the clock reaches them for the Video objects attached to the stream, and
// its sound is decoded a few seconds ahead into the movie's mixer from the clock's position, stopped by a pause
// and restarted by a seek. The sound takes the levels of the clip given it by MovieClip.attachAudio, or else of
// the clip holding a Video that shows the stream (a Sound made on that clip sets its volume and pan). A stream lives
// while scripts hold it or the stage does (a Video on it shows the stream, a clip was given its sound, its file is
// awaited); one that scripts dropped without closing it is freed by the collector, and its sound stops then.
#include "avm1/Loading.h"
#include "avm1/builtins/Amf0.h"
#include "avm1/builtins/NativeData.h"
#include "avm1/builtins/Builtins.h"
#include "avm1/builtins/NetStreamLinks.h"
#include "sound/MovieSound.h"
#include "timeline/MoviePlayer.h"
#include "video/FlvFile.h"
#include "video/FlvMedia.h"

#include <algorithm>
#include <cmath>

namespace reelfinch::avm1 {

namespace {

namespace video = plugin::video;

constexpr double kDefaultBufferTime = 0.1; // seconds

class StreamState;

// The streams of one machine, whether scripts still hold them or not, and the sound queues of those the collector
// freed (stopped at the next step: the collector may not reach the mixer).
struct StreamRegistry {
    std::vector<std::pair<Object*, StreamState*>> live; // each stream's object and its state
    std::vector<plugin::sound::SoundMixer::StreamKey> orphanedSounds;
};

// Kept among the machine's roots: the machine's registry.
class RegistryHolder final : public NativeData
{
public:
    std::shared_ptr<StreamRegistry> registry = std::make_shared<StreamRegistry>();
};

class StreamState final : public NativeData
{
public:
    bool makesNativeKind() const override { return false; }
    ~StreamState() override
    {
        if (!registry)
            return;
        std::erase_if(registry->live, [this](const auto& entry) { return entry.second == this; });
        if (audio.playing())
            registry->orphanedSounds.push_back(audio.key());
    }

    struct Queued {
        const char* code = nullptr; // a status message, or
        const char* level = nullptr;
        size_t scriptTag = 0; // the index of a script-data tag to deliver
    };
    std::string bytes;
    video::FlvFile flv;
    uint32_t generation = 0; // of the play() whose file is awaited or held
    bool requested = false; // play() was called and not closed
    bool loaded = false;
    bool paused = false;
    bool ended = false;
    double position = 0; // seconds, when the clock last (re)started or stopped
    double clockStart = 0; // the movie's time (ms) at that moment
    double bufferTime = kDefaultBufferTime;
    size_t nextScript = 0; // index into flv.tags: script tags before it were delivered
    std::vector<Queued> queue;
    std::shared_ptr<video::FlvVideo> video = std::make_shared<video::FlvVideo>(); // what attached Videos show
    video::FlvAudio audio; // the file's sound
    bool hasAudio = false; // the file has sound the player decodes
    bool audioMuted = false; // attachAudio(false) on the clip the sound was given to
    uint64_t audioOwner = 0; // the serial of the clip attachAudio gave the sound to, 0 when none
    std::vector<std::weak_ptr<ClipLink>> shownIn; // the clips holding Videos attached to the stream
    std::shared_ptr<ClipLink> madeIn; // the clip whose script made the stream: the stream ends when it goes
    std::shared_ptr<StreamRegistry> registry;
};

std::shared_ptr<StreamRegistry> Registry(Machine& m)
{
    for (Object* o : m.m_Roots)
        if (auto* holder = dynamic_cast<RegistryHolder*>(o))
            return holder->registry;
    return nullptr;
}

StreamState* StateOf(const Value& self)
{
    return NativeOf<StreamState>(self);
}

double DurationSeconds(const StreamState& s)
{
    return s.flv.lastTimeMs() / 1000.0;
}

// Where the stream is now, in seconds: still while paused, not loaded or ended, otherwise the clock runs from the
// last (re)start, up to the last tag.
double Position(Machine& m, const StreamState& s)
{
    if (!s.loaded || s.paused || s.ended)
        return s.position;
    const double now = s.position + std::max(0.0, m.now() - s.clockStart) / 1000.0;
    return std::min(now, DurationSeconds(s));
}

// Stops the clock at the present position (before a pause, a seek or the end).
void HoldClock(Machine& m, StreamState& s)
{
    s.position = Position(m, s);
    s.clockStart = m.now();
}

// The file's sound stops; it starts again from the clock's position while the clock runs.
void StopAudio(Machine& m, StreamState& s)
{
    s.audio.stop(m.player().sound().mixer());
}

void StartAudio(Machine& m, StreamState& s)
{
    StopAudio(m, s);
    if (!s.hasAudio || !s.loaded || s.paused || s.ended || s.audioMuted)
        return;
    s.audio.start(m.player().sound().mixer(), s.bytes, s.flv, Position(m, s));
}

// The mixer learns the clip whose levels the sound takes, and the clips holding that one.
void SetAudioOwner(Machine& m, StreamState& s)
{
    plugin::sound::SoundMixer& mixer = m.player().sound().mixer();
    uint64_t owner = s.audioOwner;
    plugin::SpriteInstance* sprite = nullptr;
    if (!owner) {
        std::erase_if(s.shownIn, [](const std::weak_ptr<ClipLink>& w) { return w.expired(); });
        for (const std::weak_ptr<ClipLink>& w : s.shownIn)
            if (auto link = w.lock(); link && link->sprite) {
                sprite = link->sprite;
                owner = sprite->serial;
                break;
            }
        for (plugin::SpriteInstance* at = sprite; at && at->parent; at = at->parent)
            mixer.setOwnerParent(at->serial, at->parent->serial);
    }
    mixer.setOwnerParent(s.audio.key(), owner);
}

void Post(StreamState& s, const char* code, const char* level = "status")
{
    s.queue.push_back({ code, level, 0 });
}

void KeepAlive(Machine& m, Object* stream)
{
    if (std::find(m.m_Roots.begin(), m.m_Roots.end(), stream) == m.m_Roots.end())
        m.m_Roots.push_back(stream);
}

// Whether the stage holds a stream whatever scripts do: a Video on it shows the stream, or a clip was given its
// sound. A stream whose file is awaited is held too (its answer names it).
bool HeldByStage(const StreamState& s)
{
    if (s.requested && !s.loaded)
        return true;
    if (s.audioOwner)
        return true;
    return std::any_of(s.shownIn.begin(), s.shownIn.end(), [](const std::weak_ptr<ClipLink>& w) {
        const auto link = w.lock();
        return link && link->sprite && !link->sprite->removed;
    });
}

// A stream the stage holds stays among the machine's roots; any other lives as long as scripts hold it, and one
// the collector frees stops its sound.
void UpdateHold(Machine& m, Object* stream, const StreamState& s)
{
    if (HeldByStage(s))
        KeepAlive(m, stream);
    else
        std::erase(m.m_Roots, stream);
}

// Script-data tags whose time the clock has reached join the queue, in file order.
void QueueScriptTags(Machine& m, StreamState& s)
{
    if (!s.loaded)
        return;
    const double at = Position(m, s) * 1000.0;
    for (; s.nextScript < s.flv.tags.size(); ++s.nextScript) {
        const video::FlvTag& tag = s.flv.tags[s.nextScript];
        if (tag.timeMs > at)
            break;
        if (tag.type == video::kFlvScript)
            s.queue.push_back({ nullptr, nullptr, s.nextScript });
    }
}

// Skips the script tags before `ms` (a seek does not bring back data already passed).
void SkipScriptTagsTo(StreamState& s, double ms)
{
    s.nextScript = 0;
    while (s.nextScript < s.flv.tags.size() && s.flv.tags[s.nextScript].timeMs <= ms)
        ++s.nextScript;
}

Value Construct(Machine& m, const Value& self, const Value*, int)
{
    if (!self.isObject())
        return Value();
    StreamState* s = AttachNative<StreamState>(m, self.asObject());
    if (s && (s->registry = Registry(m)))
        s->registry->live.emplace_back(self.asObject(), s);
    Object* clip = m.m_Frames.empty() ? nullptr : m.m_Frames.back()->originalTarget;
    if (s && clip && clip->kind() == ObjectKind::Clip)
        s->madeIn = static_cast<ClipObject*>(clip)->m_Link;
    return Value();
}

// The file of play(url) arrived (or failed): the stream buffers it at once and starts its clock.
void Arrived(Machine& m, Object* stream, uint32_t generation, bool ok, const std::string& bytes)
{
    StreamState* s = StateOf(Value(stream));
    if (!s || s->generation != generation || !s->requested)
        return;
    video::FlvFile flv = ok ? video::ReadFlv(bytes) : video::FlvFile();
    if (!flv.valid) {
        Post(*s, "NetStream.Play.StreamNotFound", "error");
        s->requested = false;
        return;
    }
    s->bytes = bytes;
    s->flv = std::move(flv);
    s->loaded = true;
    s->ended = false;
    s->nextScript = 0;
    s->clockStart = m.now();
    s->video->load(s->bytes, s->flv);
    s->video->showAt(0);
    s->hasAudio = video::FlvAudio::HasSound(s->bytes, s->flv);
    SetAudioOwner(m, *s);
    StartAudio(m, *s);
    Post(*s, "NetStream.Buffer.Full");
}

// play(url): starts fetching the file; Play.Start is said at once (before the file is there).
Value Play(Machine& m, const Value& self, const Value* args, int argc)
{
    StreamState* s = StateOf(self);
    if (!s || argc < 1)
        return Value();
    const std::string url = m.toString(args[0]);
    const uint32_t generation = ++s->generation;
    StopAudio(m, *s);
    s->hasAudio = false;
    s->video->unload();
    s->bytes.clear();
    s->flv = video::FlvFile();
    s->requested = true;
    s->loaded = false;
    s->paused = false;
    s->ended = false;
    s->position = 0;
    s->nextScript = 0;
    Object* stream = self.asObject();
    KeepAlive(m, stream);
    Post(*s, "NetStream.Play.Start");
    const bool queued = FetchForMovie(m, stream, url,
        [stream, generation](Machine& machine, bool ok, const std::string& bytes) {
            Arrived(machine, stream, generation, ok, bytes);
        });
    if (!queued) {
        s->requested = false;
        Post(*s, "NetStream.Play.StreamNotFound", "error");
    }
    return Value();
}

// pause(): toggles; pause(true) pauses, pause(false) resumes.
Value Pause(Machine& m, const Value& self, const Value* args, int argc)
{
    StreamState* s = StateOf(self);
    if (!s || !s->requested)
        return Value();
    const bool pause = argc >= 1 && !args[0].isUndefined() ? m.toBoolean(args[0]) : !s->paused;
    if (pause == s->paused)
        return Value();
    HoldClock(m, *s);
    s->paused = pause;
    StartAudio(m, *s);
    Post(*s, pause ? "NetStream.Pause.Notify" : "NetStream.Unpause.Notify");
    return Value();
}

// seek(seconds): goes to the last key frame at or before the time; queued messages are dropped.
Value Seek(Machine& m, const Value& self, const Value* args, int argc)
{
    StreamState* s = StateOf(self);
    if (!s || !s->requested)
        return Value();
    double target = m.toNumber(Arg(args, argc, 0));
    if (!std::isfinite(target) || target < 0)
        target = 0;
    s->queue.clear();
    if (s->loaded) {
        const double limited = std::min(target * 1000.0, double(s->flv.lastTimeMs()));
        const uint32_t key = s->flv.hasVideo ? s->flv.keyFrameAtOrBefore(uint32_t(limited)) : uint32_t(limited);
        s->position = key / 1000.0;
        s->clockStart = m.now();
        s->ended = false;
        SkipScriptTagsTo(*s, key);
        s->video->showAt(key);
        StartAudio(m, *s);
    } else {
        s->position = target;
    }
    Post(*s, "NetStream.Seek.Notify");
    return Value();
}

// Everything the stream holds goes: its file, its pictures and its sound's queue in the mixer.
void Unload(Machine& m, const Value& self, StreamState* s)
{
    ++s->generation;
    StopAudio(m, *s);
    s->hasAudio = false;
    s->video->unload();
    s->requested = s->loaded = s->paused = s->ended = false;
    s->position = 0;
    s->bytes.clear();
    s->flv = video::FlvFile();
    s->queue.clear();
    std::erase(m.m_Roots, self.asObject());
}

Value Close(Machine& m, const Value& self, const Value*, int)
{
    if (StreamState* s = StateOf(self))
        Unload(m, self, s);
    return Value();
}

Value SetBufferTime(Machine& m, const Value& self, const Value* args, int argc)
{
    if (StreamState* s = StateOf(self)) {
        const double t = m.toNumber(Arg(args, argc, 0));
        s->bufferTime = std::isfinite(t) && t >= 0 ? t : 0;
    }
    return Value();
}

Value Time(Machine& m, const Value& self, const Value*, int)
{
    StreamState* s = StateOf(self);
    return s ? Value(Position(m, *s)) : Value();
}

Value BufferTime(Machine&, const Value& self, const Value*, int)
{
    StreamState* s = StateOf(self);
    return s ? Value(s->bufferTime) : Value();
}

// What is buffered ahead of the position: a loaded file holds all of its rest.
Value BufferLength(Machine& m, const Value& self, const Value*, int)
{
    StreamState* s = StateOf(self);
    if (!s)
        return Value();
    return Value(s->loaded ? std::max(0.0, DurationSeconds(*s) - Position(m, *s)) : 0.0);
}

Value BytesLoaded(Machine&, const Value& self, const Value*, int)
{
    StreamState* s = StateOf(self);
    return s ? Value(double(s->bytes.size())) : Value();
}

Value CurrentFps(Machine&, const Value& self, const Value*, int)
{
    StreamState* s = StateOf(self);
    if (!s || !s->loaded || s->paused || s->ended)
        return s ? Value(0.0) : Value();
    size_t frames = 0;
    for (const video::FlvTag& t : s->flv.tags)
        frames += t.type == video::kFlvVideo;
    const double duration = DurationSeconds(*s);
    return Value(duration > 0 ? std::round(double(frames) / duration) : 0.0);
}

// Calls the handler a script-data tag names with its argument ("onMetaData" and an object of the file's
// properties); damaged data is skipped.
void DeliverScriptTag(Machine& m, const Value& self, const StreamState& s, size_t index)
{
    const video::FlvTag& tag = s.flv.tags[index];
    amf0::Reader r(m, std::string_view(s.bytes).substr(tag.offset, tag.size));
    const Value name = r.value();
    if (r.failed() || !name.isString())
        return;
    const Value arg = r.atEnd() ? Value() : r.value();
    if (r.failed())
        return;
    m.callMethod(self, m.toString(name), &arg, 1);
}

} // namespace

std::shared_ptr<plugin::video::FlvVideo> NetStreamVideo(const Value& stream)
{
    StreamState* s = StateOf(stream);
    return s ? s->video : nullptr;
}

void NetStreamShownIn(Machine& m, const Value& stream, const std::shared_ptr<ClipLink>& holder)
{
    StreamState* s = StateOf(stream);
    if (!s || !holder)
        return;
    for (const std::weak_ptr<ClipLink>& w : s->shownIn)
        if (w.lock() == holder)
            return;
    s->shownIn.push_back(holder);
    UpdateHold(m, stream.asObject(), *s);
}

// MovieClip.attachAudio(netStream) gives the stream's sound to the clip (its Sound sets the levels);
// attachAudio(false) silences what was given to the clip.
Value MovieClipAttachAudio(Machine& m, const Value& self, const Value* args, int argc)
{
    plugin::SpriteInstance* sprite = m.spriteOf(self);
    if (!sprite)
        return Value();
    const Value source = Arg(args, argc, 0);
    if (StreamState* s = StateOf(source)) {
        s->audioOwner = sprite->serial;
        UpdateHold(m, source.asObject(), *s);
        for (plugin::SpriteInstance* at = sprite; at->parent; at = at->parent)
            m.player().sound().mixer().setOwnerParent(at->serial, at->parent->serial);
        SetAudioOwner(m, *s);
        if (s->audioMuted) {
            s->audioMuted = false;
            StartAudio(m, *s);
        }
        return Value();
    }
    if (const auto registry = Registry(m))
        for (const auto& [object, s] : std::vector(registry->live))
            if (s->audioOwner == sprite->serial && !s->audioMuted) {
                s->audioMuted = true;
                StopAudio(m, *s);
            }
    return Value();
}

void DispatchNetStreamEvents(Machine& m)
{
    const auto registry = Registry(m);
    if (!registry)
        return;
    for (const auto key : registry->orphanedSounds)
        m.player().sound().mixer().streamStop(key);
    registry->orphanedSounds.clear();
    std::vector<Object*> streams;
    for (const auto& entry : registry->live)
        streams.push_back(entry.first);
    for (Object* stream : streams) {
        const Value self(stream);
        StreamState* s = StateOf(self);
        if (!s)
            continue;
        // A stream plays on while scripts or the stage hold it (the collector frees it, and its sound stops, once
        // nothing does), and no longer than the clip whose script made it stays.
        if (s->madeIn && (!s->madeIn->sprite || s->madeIn->sprite->removed)) {
            Unload(m, self, s);
            continue;
        }
        QueueScriptTags(m, *s);
        if (s->loaded) {
            s->video->showAt(Position(m, *s) * 1000.0);
            SetAudioOwner(m, *s);
            s->audio.feed(m.player().sound().mixer(), s->bytes, s->flv);
        }
        if (s->loaded && !s->ended && !s->paused && Position(m, *s) >= DurationSeconds(*s)) {
            HoldClock(m, *s);
            s->ended = true; // what is queued of the sound plays out
            Post(*s, "NetStream.Buffer.Flush");
            Post(*s, "NetStream.Play.Stop");
            Post(*s, "NetStream.Buffer.Empty");
        }
        // Handlers may seek, pause or close: each message is taken off the queue before it is delivered.
        while ((s = StateOf(self)) && !s->queue.empty()) {
            const StreamState::Queued q = s->queue.front();
            s->queue.erase(s->queue.begin());
            const bool top = m.beginRun();
            if (q.code) {
                Object* info = m.newObject();
                m.setMember(Value(info), "code", Value(m.str(q.code)));
                m.setMember(Value(info), "level", Value(m.str(q.level)));
                const Value arg(info);
                // Errors nobody on the stream hears go to System.onStatus.
                if (std::string_view(q.level) == "error" && !m.getMember(self, "onStatus").isObject())
                    m.callMethod(m.getMember(Value(m.m_Global), "System"), "onStatus", &arg, 1);
                else
                    m.callMethod(self, "onStatus", &arg, 1);
            } else if (q.scriptTag < s->flv.tags.size()) {
                DeliverScriptTag(m, self, *s, q.scriptTag);
            }
            m.endRun(top);
        }
        if ((s = StateOf(self)))
            UpdateHold(m, stream, *s);
    }
}

void InstallNetStreamClass(Machine& m)
{
    m.m_Roots.push_back(m.heap().make<RegistryHolder>());
    Object* proto = m.newObject();
    DefineClass(m, "NetStream", Construct, nullptr, proto);
    DefineMethods(m, proto,
        {
            { "play", Play },
            { "pause", Pause },
            { "seek", Seek },
            { "close", Close },
            { "setBufferTime", SetBufferTime },
            { "receiveAudio", Nothing },
            { "receiveVideo", Nothing },
            { "attachAudio", Nothing },
            { "attachVideo", Nothing },
        });
    DefineAccessor(m, proto, "time", Time, nullptr);
    DefineAccessor(m, proto, "bufferTime", BufferTime, nullptr);
    DefineAccessor(m, proto, "bufferLength", BufferLength, nullptr);
    DefineAccessor(m, proto, "bytesLoaded", BytesLoaded, nullptr);
    DefineAccessor(m, proto, "bytesTotal", BytesLoaded, nullptr);
    DefineAccessor(m, proto, "currentFps", CurrentFps, nullptr);
}

} // namespace reelfinch::avm1
