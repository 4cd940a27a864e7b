// A movie's sound: the sounds it defines, what its frames and buttons start and stop, the stream sound of each
// timeline, and the mixer and output that play them. MoviePlayer calls it from a few places (a frame entered,
// a step of time, a button's state change, play and pause); it knows swflib's sound tags and nothing of the
// display list. A movie without an output (the default) costs nothing and plays nothing.
#pragma once

#include "sound/SoundDecoder.h"
#include "sound/SoundMixer.h"
#include "sound/SoundOutput.h"

#include "TagCodes.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CTag;
class CSoundInfoItem;

namespace reelfinch::plugin::sound {

// The StopSounds action.
inline constexpr uint8_t kActionStopSounds = 0x09;

// Whether a tag is one the timelines hand to the sound side when their frame is entered.
bool IsFrameSoundTag(uint16_t code);

PlayInfo PlayInfoFrom(const CSoundInfoItem& info);

class MovieSound
{
public:
    MovieSound();
    ~MovieSound();
    MovieSound(const MovieSound&) = delete;
    MovieSound& operator=(const MovieSound&) = delete;

    // Plays through `output`, made for this movie's mixer (see openOutput); null plays nothing.
    void setOutput(std::unique_ptr<SoundOutput> output);
    // The plug-in's choice of output (capture file, sound server, or silent clock).
    void openDefaultOutput(const std::string& streamName);
    bool enabled() const { return m_Output != nullptr; }
    SoundMixer& mixer() { return m_Mixer; }

    // A new movie: every sound stops and every definition is forgotten (they point into the old movie).
    void reset();
    // Definitions, from the movie's tags in order.
    void defineTag(const CTag* tag);

    // A timeline (known by its serial) entered `frame`; `tags` are its StartSound, StartSound2 and
    // SoundStreamBlock tags; `head` is the timeline's stream head, if any.
    void frameEntered(uint64_t timeline, int frame, const CTag* head, const std::vector<const CTag*>& tags);
    // After a step: the stream of every timeline not in `playing` stops.
    void keepStreams(const std::vector<uint64_t>& playing);
    bool hasStreams() const { return !m_Streams.empty(); }
    // Where a timeline's stream sound stands against the output's clock, while it plays and was fed by the
    // last frame entered: the frame its sound has reached, and whether the sound is about to run dry (the
    // timeline must move on to feed it). False otherwise, and always for an output without a clock of its own.
    bool streamClock(uint64_t timeline, double frameRate, int& heardFrame, bool& hungry) const;

    // A button changed its state (ButtonState values of the timeline: up, over, down).
    void buttonChanged(uint16_t buttonId, int from, int to);
    // StopSounds: every sound of the movie.
    void stopAll();
    void setPaused(bool paused);
    // One frame of the movie's time passed (the exporter's output mixes it now). While `leader`'s stream sound
    // plays, a frame lasts as long as the sound its blocks gave, as the pictures follow the stream.
    void frameTime(double frameRate, uint64_t leader);
    // What is still to be mixed of the frames that passed, at the end of an export.
    void finish(double frameRate, uint64_t leader);

    // Starts a defined sound as a StartSound would; the handle for a script to act on it later (0: nothing plays).
    SoundMixer::ChannelId startSound(uint16_t soundId, const PlayInfo& info, bool stop, bool noMultiple,
        uint64_t owner = 0);
    // A defined sound's length in 44.1 kHz frames (a script's duration).
    size_t soundLength(uint16_t soundId);
    // The defined sound a script attaches by name (an ExportAssets name or a SymbolClass class name); 0 when
    // none. Names before SWF 7 match without regard to case.
    uint16_t soundByName(const std::string& name, bool caseSensitive) const;

    // Volume, pan and the four-way transform scripts set on an owner's sounds (owner 0: every sound of the
    // movie), in percent as scripts read them back.
    struct ScriptLevels {
        double volume = 100;
        double pan = 0;
        double ll = 100, lr = 0, rr = 100, rl = 0;
    };
    ScriptLevels& scriptLevels(uint64_t owner) { return m_ScriptLevels[owner]; }
    // Hands an owner's levels to the mixer.
    void applyScriptLevels(uint64_t owner);

private:
    struct Stream;
    std::shared_ptr<const SoundClip> clip(uint16_t soundId);
    void startSoundTag(uint64_t timeline, const CTag* tag);
    void startSound2Tag(uint64_t timeline, const CTag* tag);
    void streamBlock(uint64_t timeline, int frame, const CTag* head, const CTag* block);

    SoundMixer m_Mixer;
    std::unique_ptr<SoundOutput> m_Output;
    std::map<uint16_t, const CTag*> m_Sounds;
    std::map<uint16_t, std::shared_ptr<const SoundClip>> m_Clips;
    std::map<uint16_t, const CTag*> m_ButtonSounds;
    std::map<std::string, uint16_t> m_ClassNames; // SymbolClass names and ExportAssets names
    std::map<uint64_t, ScriptLevels> m_ScriptLevels;
    std::map<uint64_t, std::unique_ptr<Stream>> m_Streams;
    size_t streamLead(uint64_t timeline) const;
    double m_Clock = 0; // 44.1 kHz frames of movie time passed, for an output without a clock
    uint64_t m_SamplesMixed = 0;
};

} // namespace reelfinch::plugin::sound
