#include "video/FlvMedia.h"

#include "sound/SoundDecoder.h"

#include <algorithm>
#include <cmath>

namespace reelfinch::plugin::video {

namespace {

// Half an hour of sound, as for the movie's own sounds.
constexpr size_t kMaxAudioFrames = size_t(sound::kMixRate) * 60 * 30;
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

std::shared_ptr<const sound::SoundClip> DecodeFlvAudio(std::string_view bytes, const FlvFile& flv)
{
    auto clip = std::make_shared<sound::SoundClip>();
    std::unique_ptr<sound::NativeDecoder> decoder;
    std::unique_ptr<sound::Resampler> resampler;
    uint8_t formatByte = 0;
    std::vector<int16_t> native;
    // Ends the piece decoded so far (the format changes, or the file ends).
    auto finish = [&] {
        if (!decoder)
            return;
        native.clear();
        decoder->flush(native);
        resampler->process(native.data(), native.size() / size_t(decoder->channels()), decoder->channels(),
            decoder->rate(), clip->samples);
        resampler->flush(clip->samples);
        decoder.reset();
        resampler.reset();
    };
    for (const FlvTag& tag : flv.tags) {
        if (tag.type != kFlvAudio || tag.size < 2)
            continue;
        if (clip->frames() >= kMaxAudioFrames)
            break;
        const uint8_t byte = uint8_t(bytes[tag.offset]);
        const sound::SoundFormat format = sound::SoundFormat::fromByte(byte);
        if (!format.known())
            continue;
        if (!decoder || byte != formatByte) {
            finish();
            decoder = std::make_unique<sound::NativeDecoder>(format);
            resampler = std::make_unique<sound::Resampler>();
            formatByte = byte;
            if (!decoder->valid()) {
                decoder.reset();
                continue;
            }
        }
        const double have = double(clip->frames()) * 1000.0 / sound::kMixRate;
        if (double(tag.timeMs) > have + kAudioGapMs) {
            const size_t silence = size_t((double(tag.timeMs) - have) * sound::kMixRate / 1000.0);
            clip->samples.resize(std::min(clip->frames() + silence, kMaxAudioFrames) * sound::kMixChannels, 0);
        }
        native.clear();
        decoder->decode(reinterpret_cast<const uint8_t*>(bytes.data() + tag.offset + 1), tag.size - 1, native);
        resampler->process(native.data(), native.size() / size_t(decoder->channels()), decoder->channels(),
            decoder->rate(), clip->samples);
    }
    finish();
    if (clip->frames() > kMaxAudioFrames)
        clip->samples.resize(kMaxAudioFrames * sound::kMixChannels);
    if (clip->frames() == 0)
        return nullptr;
    return clip;
}

} // namespace reelfinch::plugin::video
