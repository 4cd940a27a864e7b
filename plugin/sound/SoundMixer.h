// Every sound a movie plays, mixed into 44.1 kHz stereo 16-bit frames. The movie's thread starts and stops
// sounds and feeds stream data; the output's thread (or the exporter, frame by frame) pulls mixed frames with
// render(). One lock guards the channels; render holds it for one buffer.
#pragma once

#include "sound/SoundDecoder.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace reelfinch::plugin::sound {

// Where an output takes its frames from (interleaved 44.1 kHz stereo).
class SampleSource
{
public:
    virtual ~SampleSource() = default;
    virtual void render(int16_t* out, size_t frames) = 0;
};

// Levels of an envelope point: 0 silent, 1 (32768 in the file) the sound as it is.
struct EnvelopePoint {
    uint32_t position = 0; // in 44.1 kHz frames from the start of playback
    float left = 1;
    float right = 1;
};

// How an event sound plays: the part between the in and out points (44.1 kHz frames of the sound), so many
// times, shaped by an envelope.
struct PlayInfo {
    uint32_t inPoint = 0;
    uint32_t outPoint = 0; // 0: the end of the sound
    uint32_t loops = 1;
    std::vector<EnvelopePoint> envelope;
};

// What reaches each output side from each side of a sound, as a script's transform gives it (1 is 100 %).
// The default passes left to left and right to right.
struct ChannelTransform {
    float leftToLeft = 1;
    float rightToLeft = 0;
    float leftToRight = 0;
    float rightToRight = 1;
};

class SoundMixer : public SampleSource
{
public:
    using ChannelId = uint64_t;
    // Key of a timeline's stream sound: the serial of the timeline.
    using StreamKey = uint64_t;

    // Event sounds. `owner` names who started a sound (a timeline's serial), so that a script object made on a
    // clip can later act on that clip's sounds. Returns 0 when nothing plays (an empty sound).
    ChannelId start(uint16_t soundId, std::shared_ptr<const SoundClip> clip, const PlayInfo& info, uint64_t owner = 0);
    void stopSound(uint16_t soundId);
    void stopChannel(ChannelId channel);
    // The sounds an owner started (every one, or those of one sound when `soundId` is not 0).
    void stopOwner(uint64_t owner, uint16_t soundId = 0);
    // Every event and stream sound.
    void stopAll();
    bool isPlaying(uint16_t soundId) const;
    bool isChannelPlaying(ChannelId channel) const;
    // Frames played of a channel's current loop (for a script's position), false once it ended.
    bool channelPosition(ChannelId channel, uint64_t& frames) const;
    void setChannelTransform(ChannelId channel, const ChannelTransform& transform);
    // A transform over every sound an owner started (a script's volume, pan and transform of a clip), and the
    // movie's own over everything.
    void setOwnerTransform(uint64_t owner, const ChannelTransform& transform);
    // The clip holding an owner's clip (0: none): an owner's sounds also take the transforms of the owners
    // above it, as a clip's sounds follow the volume of every clip holding it.
    void setOwnerParent(uint64_t owner, uint64_t parent);
    // Forgets every owner's transform and parent (a new movie, whose clips may reuse the old serials).
    void forgetOwners();
    void setMasterTransform(const ChannelTransform& transform);
    // Channels that ended by themselves since the last call, for completion events.
    std::vector<ChannelId> takeFinished();

    // Stream sounds: a queue of decoded frames per timeline, consumed as the mixer plays.
    void streamRestart(StreamKey key);
    void streamAppend(StreamKey key, const int16_t* stereo, size_t frames);
    void streamStop(StreamKey key);
    bool streamActive(StreamKey key) const;
    // Frames the stream played since its last restart, and those still queued.
    uint64_t streamPlayed(StreamKey key) const;
    size_t streamQueued(StreamKey key) const;
    std::vector<StreamKey> streamKeys() const;

    // Mixes the next `frames` frames into `out` (interleaved stereo). A paused mixer gives silence and keeps
    // every sound where it was.
    void render(int16_t* out, size_t frames) override;
    void setPaused(bool paused);
    bool isPaused() const;
    size_t channelCount() const;

private:
    struct Channel {
        ChannelId id = 0;
        uint16_t soundId = 0;
        uint64_t owner = 0;
        std::shared_ptr<const SoundClip> clip;
        size_t begin = 0; // in point
        size_t end = 0; // out point, exclusive
        size_t position = 0; // next frame of the clip
        uint32_t loopsLeft = 1;
        uint64_t played = 0; // frames since playback started, for the envelope
        size_t envelopeAt = 0; // the envelope segment the channel is in
        std::vector<EnvelopePoint> envelope;
        ChannelTransform transform;
    };
    struct Stream {
        std::vector<int16_t> samples;
        size_t read = 0; // samples already played
        uint64_t played = 0; // frames
    };

    void mixChannel(Channel& channel, float* mix, size_t frames);
    void mixStream(StreamKey key, Stream& stream, float* mix, size_t frames);
    // A sound's own transform under its owner's levels, those of the owners holding it, and the movie's.
    ChannelTransform transformFor(uint64_t owner, ChannelTransform transform) const;

    mutable std::mutex m_Lock;
    std::vector<Channel> m_Channels;
    std::map<StreamKey, Stream> m_Streams;
    std::map<uint64_t, ChannelTransform> m_OwnerTransforms;
    std::map<uint64_t, uint64_t> m_OwnerParents;
    ChannelTransform m_Master;
    std::vector<ChannelId> m_Finished;
    ChannelId m_NextId = 1;
    bool m_Paused = false;
    std::vector<float> m_Mix;
};

} // namespace reelfinch::plugin::sound
