#include "video/FlvMedia.h"

#include "sound/SoundDecoder.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace reelfinch::plugin::video {

namespace {

// A sound tag later than the sound decoded so far by more than this starts after silence; smaller gaps are
// the codec's frame sizes and are left alone.
constexpr double kAudioGapMs = 40;

} // namespace

void FlvVideo::load(std::string_view bytes, const FlvFile& flv)
{
    unload();
    for (const FlvTag& tag : flv.tags) {
        if (tag.type != kFlvVideo || tag.size < 2 || tag.frameType == 5) // 5: a command, no picture
            continue;
        Frame frame;
        frame.timeMs = tag.timeMs;
        frame.codec = tag.codec;
        frame.key = tag.frameType == 1 || tag.frameType == 4;
        frame.adjust = 0;
        size_t skip = 1; // the frame type and codec byte
        if (tag.codec == kCodecVP6 || tag.codec == kCodecVP6Alpha) {
            frame.adjust = uint8_t(bytes[tag.offset + 1]);
            skip = 2;
        }
        if (tag.size <= skip)
            continue;
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data() + tag.offset + skip);
        frame.data.assign(data, data + (tag.size - skip));
        // Frames of another codec than the first cannot go through the same decoder.
        if (!m_Frames.empty() && frame.codec != m_Frames.front().codec)
            continue;
        m_Frames.push_back(std::move(frame));
    }
}

void FlvVideo::unload()
{
    m_Frames.clear();
    m_Decoder.reset();
    m_Shown = -1;
    m_HasPicture = false;
    ++m_Serial;
}

void FlvVideo::showAt(double ms)
{
    if (m_Frames.empty() || !std::isfinite(ms))
        return;
    // The last frame at or before the time.
    auto after = std::upper_bound(m_Frames.begin(), m_Frames.end(), ms,
        [](double t, const Frame& f) { return t < double(f.timeMs); });
    if (after == m_Frames.begin())
        return;
    const int target = int(after - m_Frames.begin()) - 1;
    if (target == m_Shown)
        return;
    int key = target;
    while (key > 0 && !m_Frames[size_t(key)].key)
        --key;
    int from = key;
    if (m_Decoder && m_Shown >= key && m_Shown < target && m_Deblocking == m_DecoderDeblocking) {
        from = m_Shown + 1;
    } else {
        // A new decoder rather than a flushed one: the deblocking setting is taken when it opens, and codecs
        // such as AVC keep their configuration from the file's first tag.
        m_Decoder = std::make_unique<Decoder>(m_Frames.front().codec, m_Deblocking);
        m_DecoderDeblocking = m_Deblocking;
        m_HasPicture = false;
        if (m_Frames.front().codec == kCodecAVC)
            for (int i = 0; i < key; ++i)
                if (!m_Frames[size_t(i)].data.empty() && m_Frames[size_t(i)].data[0] == 0)
                    m_Decoder->decode(m_Frames[size_t(i)].data.data(), m_Frames[size_t(i)].data.size());
    }
    bool got = false;
    for (int i = from; i <= target; ++i) {
        const Frame& f = m_Frames[size_t(i)];
        got = m_Decoder->decode(f.data.data(), f.data.size()) || got;
        ++m_DecodedPackets;
    }
    m_Shown = target;
    if (got) {
        m_HasPicture = true;
        ++m_Serial;
    }
}

cairo_surface_t* FlvVideo::picture() const
{
    return m_HasPicture && m_Decoder ? m_Decoder->picture() : nullptr;
}

int FlvVideo::pictureWidth() const
{
    cairo_surface_t* p = picture();
    if (!p || m_Shown < 0)
        return 0;
    return std::max(1, cairo_image_surface_get_width(p) - (m_Frames[size_t(m_Shown)].adjust >> 4));
}

int FlvVideo::pictureHeight() const
{
    cairo_surface_t* p = picture();
    if (!p || m_Shown < 0)
        return 0;
    return std::max(1, cairo_image_surface_get_height(p) - (m_Frames[size_t(m_Shown)].adjust & 0x0F));
}

struct FlvAudio::Decoding {
    std::unique_ptr<sound::NativeDecoder> decoder;
    std::unique_ptr<sound::Resampler> resampler;
    uint8_t formatByte = 0;
    std::vector<int16_t> native;
};

namespace {

std::atomic<uint64_t> g_NextAudioKey { 0 };

// The format of a sound tag the player can decode, or false.
bool SoundTagFormat(std::string_view bytes, const FlvTag& tag, sound::SoundFormat& format)
{
    if (tag.type != kFlvAudio || tag.size < 2)
        return false;
    format = sound::SoundFormat::fromByte(uint8_t(bytes[tag.offset]));
    return format.knownInFlv() && (format.codec != sound::Codec::Aac || tag.size >= 3);
}

bool IsAacConfig(std::string_view bytes, const FlvTag& tag)
{
    return bytes[tag.offset + 1] == 0;
}

} // namespace

FlvAudio::FlvAudio()
    // Keys far above any timeline's serial, so that a file's sound never shares a timeline's queue.
    : m_Key((uint64_t(1) << 62) + ++g_NextAudioKey)
    , m_Decoding(std::make_unique<Decoding>())
{
}

FlvAudio::~FlvAudio() = default;

bool FlvAudio::HasSound(std::string_view bytes, const FlvFile& flv)
{
    sound::SoundFormat format;
    return std::any_of(flv.tags.begin(), flv.tags.end(),
        [&](const FlvTag& tag) { return SoundTagFormat(bytes, tag, format); });
}

void FlvAudio::start(sound::SoundMixer& mixer, std::string_view bytes, const FlvFile& flv, double seconds)
{
    stop(mixer);
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    const double ms = seconds * 1000.0;
    // The last sound tag at or before the moment (or the first one, when the sound starts later).
    size_t first = flv.tags.size();
    sound::SoundFormat format;
    for (size_t i = 0; i < flv.tags.size(); ++i) {
        if (!SoundTagFormat(bytes, flv.tags[i], format)
            || (format.codec == sound::Codec::Aac && IsAacConfig(bytes, flv.tags[i])))
            continue;
        if (first == flv.tags.size() || flv.tags[i].timeMs <= ms)
            first = i;
        if (flv.tags[i].timeMs > ms)
            break;
    }
    if (first == flv.tags.size())
        return;
    // MP3 frames may take bits from the frames before them: two tags more are decoded and dropped. AAC starts
    // from the configuration before the tag.
    const sound::SoundFormat startFormat = sound::SoundFormat::fromByte(uint8_t(bytes[flv.tags[first].offset]));
    size_t from = first;
    for (size_t back = 0, i = first; i-- > 0;) {
        if (!SoundTagFormat(bytes, flv.tags[i], format) || format.codec != startFormat.codec)
            continue;
        if (startFormat.codec == sound::Codec::Aac) {
            if (IsAacConfig(bytes, flv.tags[i])) {
                from = i;
                break;
            }
        } else if (startFormat.codec == sound::Codec::Mp3 && back++ < 2) {
            from = i;
        } else {
            break;
        }
    }
    m_Next = from;
    m_BaseMs = flv.tags[from].timeMs;
    m_Produced = 0;
    m_Drop = size_t(std::max(0.0, (ms - m_BaseMs) * sound::kMixRate / 1000.0));
    m_Silence = 0;
    m_Decoding = std::make_unique<Decoding>();
    m_Playing = true;
    m_Ended = false;
    mixer.streamRestart(m_Key);
    feed(mixer, bytes, flv);
}

void FlvAudio::stop(sound::SoundMixer& mixer)
{
    if (m_Playing)
        mixer.streamStop(m_Key);
    m_Playing = false;
}

void FlvAudio::feed(sound::SoundMixer& mixer, std::string_view bytes, const FlvFile& flv)
{
    if (!m_Playing || m_Ended)
        return;
    if (!mixer.streamActive(m_Key)) {
        m_Playing = false;
        return;
    }
    const auto ahead = size_t(kAheadSeconds * sound::kMixRate);
    // Frames decoded before the start are dropped rather than queued.
    auto append = [&](const int16_t* stereo, size_t frames) {
        const size_t dropped = std::min(frames, m_Drop);
        m_Drop -= dropped;
        if (frames > dropped)
            mixer.streamAppend(m_Key, stereo + dropped * sound::kMixChannels, frames - dropped);
    };
    std::vector<int16_t> stereo;
    for (size_t queued; (queued = mixer.streamQueued(m_Key)) < ahead;) {
        if (m_Silence > 0 && m_Drop > 0) {
            // Silence before the start is skipped by count: a seek into a long gap would otherwise fill and drop
            // the whole gap (hours, for a damaged time) piece by piece.
            const size_t skipped = std::min(m_Silence, m_Drop);
            m_Silence -= skipped;
            m_Drop -= skipped;
            continue;
        }
        if (m_Silence > 0) {
            const size_t frames = std::min(m_Silence, ahead - queued);
            stereo.assign(frames * sound::kMixChannels, 0);
            append(stereo.data(), frames);
            m_Silence -= frames;
            continue;
        }
        stereo.clear();
        const bool more = decodeNext(bytes, flv, stereo);
        append(stereo.data(), stereo.size() / sound::kMixChannels);
        if (!more) {
            m_Ended = true;
            return;
        }
    }
}

bool FlvAudio::decodeNext(std::string_view bytes, const FlvFile& flv, std::vector<int16_t>& stereo)
{
    Decoding& d = *m_Decoding;
    // Ends the piece decoded so far: the format changes, or the file ends.
    auto finish = [&] {
        if (!d.decoder)
            return;
        d.native.clear();
        d.decoder->flush(d.native);
        d.resampler->process(d.native.data(), d.native.size() / size_t(d.decoder->channels()),
            d.decoder->channels(), d.decoder->rate(), stereo);
        d.resampler->flush(stereo);
        d.decoder.reset();
        d.resampler.reset();
    };
    sound::SoundFormat format;
    for (; m_Next < flv.tags.size(); ++m_Next) {
        const FlvTag& tag = flv.tags[m_Next];
        if (!SoundTagFormat(bytes, tag, format))
            continue;
        const uint8_t byte = uint8_t(bytes[tag.offset]);
        if (!d.decoder || byte != d.formatByte) {
            finish();
            d.decoder = std::make_unique<sound::NativeDecoder>(format);
            d.resampler = std::make_unique<sound::Resampler>();
            d.formatByte = byte;
            if (!d.decoder->valid()) {
                d.decoder.reset();
                continue;
            }
        }
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data() + tag.offset + 1);
        size_t size = tag.size - 1;
        if (format.codec == sound::Codec::Aac) {
            // A packet type byte: 0 the AudioSpecificConfig, 1 a raw frame.
            const bool config = data[0] == 0;
            ++data;
            --size;
            if (config) {
                d.decoder->configure(data, size);
                continue;
            }
        }
        // A tag later than the sound decoded so far starts after silence, queued piece by piece as the sound is.
        const double have = m_BaseMs + double(m_Produced) * 1000.0 / sound::kMixRate;
        if (double(tag.timeMs) > have + kAudioGapMs) {
            m_Silence = size_t((double(tag.timeMs) - have) * sound::kMixRate / 1000.0);
            m_Produced += m_Silence;
            return true;
        }
        const size_t before = stereo.size();
        d.native.clear();
        d.decoder->decode(data, size, d.native);
        d.resampler->process(d.native.data(), d.native.size() / size_t(d.decoder->channels()), d.decoder->channels(),
            d.decoder->rate(), stereo);
        m_Produced += (stereo.size() - before) / sound::kMixChannels;
        ++m_Next;
        return true;
    }
    const size_t before = stereo.size();
    finish();
    m_Produced += (stereo.size() - before) / sound::kMixChannels;
    return false;
}

} // namespace reelfinch::plugin::video
