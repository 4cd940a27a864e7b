#include "sound/SoundMixer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace reelfinch::plugin::sound {

namespace {

// A stream's queue never holds more than this many seconds: nothing plays a timeline that far ahead.
constexpr size_t kMaxStreamSamples = size_t(kMixRate) * kMixChannels * 20;
// Playing channels at most; the oldest sound makes way for a new one beyond that.
constexpr size_t kMaxChannels = 64;
constexpr size_t kMaxFinished = 256;
constexpr int kMaxOwnerChain = 64;

ChannelTransform Combine(const ChannelTransform& outer, const ChannelTransform& inner)
{
    // outer applied after inner: matrix product of [[ll, rl], [lr, rr]].
    ChannelTransform t;
    t.leftToLeft = outer.leftToLeft * inner.leftToLeft + outer.rightToLeft * inner.leftToRight;
    t.rightToLeft = outer.leftToLeft * inner.rightToLeft + outer.rightToLeft * inner.rightToRight;
    t.leftToRight = outer.leftToRight * inner.leftToLeft + outer.rightToRight * inner.leftToRight;
    t.rightToRight = outer.leftToRight * inner.rightToLeft + outer.rightToRight * inner.rightToRight;
    return t;
}

bool IsIdentity(const ChannelTransform& t)
{
    return t.leftToLeft == 1 && t.rightToLeft == 0 && t.leftToRight == 0 && t.rightToRight == 1;
}

int16_t Clip16(float v)
{
    return int16_t(std::lrint(std::clamp(v, -32768.0f, 32767.0f)));
}

} // namespace

SoundMixer::ChannelId SoundMixer::start(
    uint16_t soundId, std::shared_ptr<const SoundClip> clip, const PlayInfo& info, uint64_t owner)
{
    if (!clip || clip->frames() == 0)
        return 0;
    Channel channel;
    channel.soundId = soundId;
    channel.owner = owner;
    channel.end = clip->frames();
    if (info.outPoint > 0)
        channel.end = std::min(channel.end, size_t(info.outPoint));
    channel.begin = std::min(size_t(info.inPoint), channel.end);
    if (channel.begin >= channel.end)
        return 0;
    channel.position = channel.begin;
    channel.loopsLeft = std::max<uint32_t>(1, info.loops);
    channel.envelope = info.envelope;
    channel.clip = std::move(clip);
    std::lock_guard lock(m_Lock);
    channel.id = m_NextId++;
    if (m_Channels.size() >= kMaxChannels)
        m_Channels.erase(m_Channels.begin());
    m_Channels.push_back(std::move(channel));
    return m_Channels.back().id;
}

void SoundMixer::stopSound(uint16_t soundId)
{
    std::lock_guard lock(m_Lock);
    std::erase_if(m_Channels, [&](const Channel& c) { return c.soundId == soundId; });
}

void SoundMixer::stopChannel(ChannelId channel)
{
    std::lock_guard lock(m_Lock);
    std::erase_if(m_Channels, [&](const Channel& c) { return c.id == channel; });
}

void SoundMixer::stopOwner(uint64_t owner, uint16_t soundId)
{
    std::lock_guard lock(m_Lock);
    std::erase_if(m_Channels,
        [&](const Channel& c) { return c.owner == owner && (soundId == 0 || c.soundId == soundId); });
}

void SoundMixer::stopAll()
{
    std::lock_guard lock(m_Lock);
    m_Channels.clear();
    m_Streams.clear();
}

bool SoundMixer::isPlaying(uint16_t soundId) const
{
    std::lock_guard lock(m_Lock);
    return std::any_of(m_Channels.begin(), m_Channels.end(), [&](const Channel& c) { return c.soundId == soundId; });
}

bool SoundMixer::isChannelPlaying(ChannelId channel) const
{
    std::lock_guard lock(m_Lock);
    return std::any_of(m_Channels.begin(), m_Channels.end(), [&](const Channel& c) { return c.id == channel; });
}

bool SoundMixer::channelPosition(ChannelId channel, uint64_t& frames) const
{
    std::lock_guard lock(m_Lock);
    for (const Channel& c : m_Channels)
        if (c.id == channel) {
            frames = c.position - c.begin;
            return true;
        }
    return false;
}

void SoundMixer::setChannelTransform(ChannelId channel, const ChannelTransform& transform)
{
    std::lock_guard lock(m_Lock);
    for (Channel& c : m_Channels)
        if (c.id == channel)
            c.transform = transform;
}

void SoundMixer::setOwnerTransform(uint64_t owner, const ChannelTransform& transform)
{
    std::lock_guard lock(m_Lock);
    m_OwnerTransforms[owner] = transform;
}

void SoundMixer::setOwnerParent(uint64_t owner, uint64_t parent)
{
    std::lock_guard lock(m_Lock);
    if (owner == 0 || owner == parent)
        return;
    m_OwnerParents[owner] = parent;
}

void SoundMixer::forgetOwners()
{
    std::lock_guard lock(m_Lock);
    m_OwnerTransforms.clear();
    m_OwnerParents.clear();
}

void SoundMixer::setMasterTransform(const ChannelTransform& transform)
{
    std::lock_guard lock(m_Lock);
    m_Master = transform;
}

std::vector<SoundMixer::ChannelId> SoundMixer::takeFinished()
{
    std::lock_guard lock(m_Lock);
    return std::exchange(m_Finished, {});
}

void SoundMixer::streamRestart(StreamKey key)
{
    std::lock_guard lock(m_Lock);
    m_Streams[key] = Stream {};
}

void SoundMixer::streamAppend(StreamKey key, const int16_t* stereo, size_t frames)
{
    std::lock_guard lock(m_Lock);
    Stream& stream = m_Streams[key];
    // Played samples are dropped before the queue grows.
    if (stream.read > 0 && stream.read * 2 >= stream.samples.size()) {
        stream.samples.erase(stream.samples.begin(), stream.samples.begin() + ptrdiff_t(stream.read));
        stream.read = 0;
    }
    const size_t room = kMaxStreamSamples - std::min(kMaxStreamSamples, stream.samples.size() - stream.read);
    const size_t count = std::min(frames * kMixChannels, room);
    stream.samples.insert(stream.samples.end(), stereo, stereo + count);
}

void SoundMixer::streamStop(StreamKey key)
{
    std::lock_guard lock(m_Lock);
    m_Streams.erase(key);
}

bool SoundMixer::streamActive(StreamKey key) const
{
    std::lock_guard lock(m_Lock);
    return m_Streams.count(key) != 0;
}

uint64_t SoundMixer::streamPlayed(StreamKey key) const
{
    std::lock_guard lock(m_Lock);
    auto it = m_Streams.find(key);
    return it == m_Streams.end() ? 0 : it->second.played;
}

size_t SoundMixer::streamQueued(StreamKey key) const
{
    std::lock_guard lock(m_Lock);
    auto it = m_Streams.find(key);
    return it == m_Streams.end() ? 0 : (it->second.samples.size() - it->second.read) / kMixChannels;
}

std::vector<SoundMixer::StreamKey> SoundMixer::streamKeys() const
{
    std::lock_guard lock(m_Lock);
    std::vector<StreamKey> keys;
    for (const auto& [key, stream] : m_Streams)
        keys.push_back(key);
    return keys;
}

void SoundMixer::setPaused(bool paused)
{
    std::lock_guard lock(m_Lock);
    m_Paused = paused;
}

bool SoundMixer::isPaused() const
{
    std::lock_guard lock(m_Lock);
    return m_Paused;
}

size_t SoundMixer::channelCount() const
{
    std::lock_guard lock(m_Lock);
    return m_Channels.size();
}

ChannelTransform SoundMixer::transformFor(uint64_t owner, ChannelTransform t) const
{
    // The owner's own levels first, then those of each clip holding it, outwards; a bounded walk (clips nest
    // only so deep, and a damaged chain must not loop).
    for (int depth = 0; owner != 0 && depth < kMaxOwnerChain; ++depth) {
        if (auto levels = m_OwnerTransforms.find(owner); levels != m_OwnerTransforms.end())
            t = Combine(levels->second, t);
        auto parent = m_OwnerParents.find(owner);
        if (parent == m_OwnerParents.end())
            break;
        owner = parent->second;
    }
    return Combine(m_Master, t);
}

void SoundMixer::mixChannel(Channel& channel, float* mix, size_t frames)
{
    const ChannelTransform t = transformFor(channel.owner, channel.transform);
    const bool plain = IsIdentity(t) && channel.envelope.empty();
    const int16_t* data = channel.clip->samples.data();
    size_t done = 0;
    while (done < frames && channel.loopsLeft > 0) {
        const size_t run = std::min(frames - done, channel.end - channel.position);
        const int16_t* in = data + channel.position * kMixChannels;
        float* out = mix + done * kMixChannels;
        if (plain) {
            for (size_t i = 0; i < run * kMixChannels; ++i)
                out[i] += float(in[i]);
        } else {
            const std::vector<EnvelopePoint>& env = channel.envelope;
            for (size_t i = 0; i < run; ++i) {
                float l = float(in[2 * i]);
                float r = float(in[2 * i + 1]);
                if (!env.empty()) {
                    // Levels between two points move in a straight line; before the first and after the last
                    // they hold.
                    const uint64_t at = channel.played + i;
                    size_t& k = channel.envelopeAt;
                    while (k + 1 < env.size() && env[k + 1].position <= at)
                        ++k;
                    float gl = env[k].left;
                    float gr = env[k].right;
                    if (at < env[0].position) {
                        gl = env[0].left;
                        gr = env[0].right;
                    } else if (k + 1 < env.size()) {
                        const float span = float(env[k + 1].position - env[k].position);
                        const float f = span > 0 ? float(at - env[k].position) / span : 0;
                        gl += (env[k + 1].left - gl) * f;
                        gr += (env[k + 1].right - gr) * f;
                    }
                    l *= gl;
                    r *= gr;
                }
                out[2 * i] += t.leftToLeft * l + t.rightToLeft * r;
                out[2 * i + 1] += t.leftToRight * l + t.rightToRight * r;
            }
        }
        done += run;
        channel.position += run;
        channel.played += run;
        if (channel.position >= channel.end) {
            channel.position = channel.begin;
            --channel.loopsLeft;
        }
    }
}

void SoundMixer::mixStream(StreamKey key, Stream& stream, float* mix, size_t frames)
{
    const size_t available = (stream.samples.size() - stream.read) / kMixChannels;
    const size_t run = std::min(frames, available);
    const int16_t* in = stream.samples.data() + stream.read;
    const ChannelTransform t = transformFor(key, ChannelTransform());
    if (IsIdentity(t)) {
        for (size_t i = 0; i < run * kMixChannels; ++i)
            mix[i] += float(in[i]);
    } else {
        for (size_t i = 0; i < run; ++i) {
            const float l = in[2 * i];
            const float r = in[2 * i + 1];
            mix[2 * i] += t.leftToLeft * l + t.rightToLeft * r;
            mix[2 * i + 1] += t.leftToRight * l + t.rightToRight * r;
        }
    }
    stream.read += run * kMixChannels;
    stream.played += run;
}

void SoundMixer::render(int16_t* out, size_t frames)
{
    std::lock_guard lock(m_Lock);
    if (m_Paused) {
        std::fill(out, out + frames * kMixChannels, int16_t(0));
        return;
    }
    m_Mix.assign(frames * kMixChannels, 0.0f);
    for (Channel& channel : m_Channels)
        mixChannel(channel, m_Mix.data(), frames);
    for (auto& [key, stream] : m_Streams)
        mixStream(key, stream, m_Mix.data(), frames);
    for (auto it = m_Channels.begin(); it != m_Channels.end();) {
        if (it->loopsLeft == 0) {
            if (m_Finished.size() < kMaxFinished)
                m_Finished.push_back(it->id);
            it = m_Channels.erase(it);
        } else {
            ++it;
        }
    }
    for (size_t i = 0; i < frames * kMixChannels; ++i)
        out[i] = Clip16(m_Mix[i]);
}

} // namespace reelfinch::plugin::sound
