#include "sound/SoundDecoder.h"

#include "sound/Adpcm.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <climits>

namespace reelfinch::plugin::sound {

namespace {

// Nellymoser data comes in blocks of 64 bytes, 256 samples each.
constexpr size_t kNellymoserBlock = 64;
// A sound longer than this (at 44.1 kHz stereo) is cut: about 30 minutes.
constexpr size_t kMaxClipFrames = size_t(kMixRate) * 60 * 30;
// Bytes of MP3 seek samples before the frames of a DefineSound.
constexpr size_t kMp3SeekBytes = 2;

AVCodecID CodecIdFor(Codec codec)
{
    switch (codec) {
    case Codec::Mp3:
        return AV_CODEC_ID_MP3;
    case Codec::Nellymoser16k:
    case Codec::Nellymoser8k:
    case Codec::Nellymoser:
        return AV_CODEC_ID_NELLYMOSER;
    case Codec::Speex:
        return AV_CODEC_ID_SPEEX;
    case Codec::Aac:
        return AV_CODEC_ID_AAC;
    default:
        return AV_CODEC_ID_NONE;
    }
}

bool IsOurs(Codec codec)
{
    return codec == Codec::PcmNative || codec == Codec::PcmLittle || codec == Codec::Adpcm;
}

void DecodePcm(const SoundFormat& format, const uint8_t* data, size_t size, std::vector<int16_t>& out)
{
    if (format.sixteenBit) {
        out.reserve(out.size() + size / 2);
        for (size_t i = 0; i + 1 < size; i += 2)
            out.push_back(int16_t(uint16_t(data[i] | (data[i + 1] << 8))));
    } else {
        // 8-bit samples are unsigned, centred on 128.
        out.reserve(out.size() + size);
        for (size_t i = 0; i < size; ++i)
            out.push_back(int16_t((int(data[i]) - 128) << 8));
    }
}

} // namespace

void AppendStereo(const int16_t* samples, size_t frames, int channels, std::vector<int16_t>& stereo)
{
    if (channels == 2) {
        stereo.insert(stereo.end(), samples, samples + frames * 2);
        return;
    }
    stereo.reserve(stereo.size() + frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        stereo.push_back(samples[i]);
        stereo.push_back(samples[i]);
    }
}

NativeDecoder::NativeDecoder(const SoundFormat& format)
    : m_Format(format)
    , m_Rate(format.rate)
{
    if (!format.knownInFlv())
        return;
    if (IsOurs(format.codec)) {
        m_Valid = true;
        return;
    }
    m_Packet = av_packet_alloc();
    m_Frame = av_frame_alloc();
    if (!m_Packet || !m_Frame)
        return;
    if (format.codec == Codec::Mp3 && !(m_Parser = av_parser_init(AV_CODEC_ID_MP3)))
        return;
    m_Valid = open(nullptr, 0);
}

bool NativeDecoder::open(const uint8_t* config, size_t size)
{
    avcodec_free_context(&m_Codec);
    // A Speex block may hold several frames: the libspeex wrapper decodes frame after frame from one packet,
    // where the native decoder takes one frame per packet without a stream header.
    const AVCodec* codec = m_Format.codec == Codec::Speex ? avcodec_find_decoder_by_name("libspeex") : nullptr;
    if (!codec)
        codec = avcodec_find_decoder(CodecIdFor(m_Format.codec));
    if (!codec || !(m_Codec = avcodec_alloc_context3(codec)))
        return false;
    m_Codec->sample_rate = m_Format.rate;
    av_channel_layout_default(&m_Codec->ch_layout, m_Format.channels());
    if (config && size > 0) {
        m_Codec->extradata = static_cast<uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!m_Codec->extradata)
            return false;
        std::copy(config, config + size, m_Codec->extradata);
        m_Codec->extradata_size = int(size);
    }
    if (avcodec_open2(m_Codec, codec, nullptr) < 0) {
        avcodec_free_context(&m_Codec);
        return false;
    }
    return true;
}

void NativeDecoder::configure(const uint8_t* config, size_t size)
{
    // A configuration is a few bytes; anything larger is damaged.
    if (m_Format.codec != Codec::Aac || !m_Packet || !config || size == 0 || size > 64)
        return;
    m_Valid = open(config, size);
}

NativeDecoder::~NativeDecoder()
{
    if (m_Parser)
        av_parser_close(m_Parser);
    avcodec_free_context(&m_Codec);
    av_packet_free(&m_Packet);
    av_frame_free(&m_Frame);
    swr_free(&m_Convert);
}

void NativeDecoder::decode(const uint8_t* data, size_t size, std::vector<int16_t>& out)
{
    if (!m_Valid || !data || size == 0 || size > size_t(INT_MAX) / 2)
        return;
    switch (m_Format.codec) {
    case Codec::PcmNative:
    case Codec::PcmLittle:
        DecodePcm(m_Format, data, size, out);
        // A stereo sound cut in the middle of a pair loses the half pair.
        if (m_Format.stereo && out.size() % 2)
            out.pop_back();
        return;
    case Codec::Adpcm:
        DecodeAdpcm(data, size, m_Format.channels(), out);
        return;
    case Codec::Mp3: {
        // The parser finds the frames, which may lie across the pieces. It reads ahead of what it is given, so
        // it gets a copy followed by the zero padding libavcodec asks for.
        m_Input.assign(data, data + size);
        m_Input.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        data = m_Input.data();
        while (size > 0) {
            uint8_t* frame = nullptr;
            int frameSize = 0;
            const int used = av_parser_parse2(
                m_Parser, m_Codec, &frame, &frameSize, data, int(size), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
            if (used < 0)
                return;
            data += used;
            size -= size_t(used);
            if (frameSize > 0)
                decodePacket(frame, size_t(frameSize), out);
            else if (used == 0)
                return;
        }
        return;
    }
    case Codec::Nellymoser16k:
    case Codec::Nellymoser8k:
    case Codec::Nellymoser:
        for (size_t at = 0; at + kNellymoserBlock <= size; at += kNellymoserBlock)
            decodePacket(data + at, kNellymoserBlock, out);
        return;
    default:
        decodePacket(data, size, out);
        return;
    }
}

void NativeDecoder::flush(std::vector<int16_t>& out)
{
    if (!m_Valid || !m_Codec)
        return;
    if (m_Parser) {
        uint8_t* frame = nullptr;
        int frameSize = 0;
        av_parser_parse2(m_Parser, m_Codec, &frame, &frameSize, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (frameSize > 0)
            decodePacket(frame, size_t(frameSize), out);
    }
    if (avcodec_send_packet(m_Codec, nullptr) >= 0)
        receiveFrames(out);
    avcodec_flush_buffers(m_Codec);
}

void NativeDecoder::decodePacket(const uint8_t* data, size_t size, std::vector<int16_t>& out)
{
    if (av_new_packet(m_Packet, int(size)) < 0)
        return;
    std::copy(data, data + size, m_Packet->data);
    const int sent = avcodec_send_packet(m_Codec, m_Packet);
    av_packet_unref(m_Packet);
    // A broken packet is dropped; the codec goes on with the next one.
    if (sent < 0 && sent != AVERROR(EAGAIN))
        return;
    receiveFrames(out);
}

void NativeDecoder::receiveFrames(std::vector<int16_t>& out)
{
    while (avcodec_receive_frame(m_Codec, m_Frame) >= 0) {
        appendFrame(m_Frame, out);
        av_frame_unref(m_Frame);
    }
}

void NativeDecoder::appendFrame(const AVFrame* frame, std::vector<int16_t>& out)
{
    const int channels = frame->ch_layout.nb_channels;
    if (frame->nb_samples <= 0 || channels < 1 || channels > 8 || frame->sample_rate <= 0)
        return;
    if (!m_Convert || m_ConvertFormat != frame->format || m_ConvertChannels != channels) {
        swr_free(&m_Convert);
        AVChannelLayout layout;
        av_channel_layout_default(&layout, channels);
        // Same layout and rate on both sides: only the sample format and interleaving change.
        if (swr_alloc_set_opts2(&m_Convert, &layout, AV_SAMPLE_FMT_S16, frame->sample_rate, &layout,
                AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr)
                < 0
            || swr_init(m_Convert) < 0) {
            swr_free(&m_Convert);
            return;
        }
        m_ConvertFormat = frame->format;
        m_ConvertChannels = channels;
    }
    std::vector<int16_t> interleaved(size_t(frame->nb_samples) * size_t(channels));
    uint8_t* target[1] = { reinterpret_cast<uint8_t*>(interleaved.data()) };
    const int got = swr_convert(m_Convert, target, frame->nb_samples,
        const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    if (got <= 0)
        return;
    m_Rate = frame->sample_rate;
    const int wanted = m_Format.channels();
    for (int i = 0; i < got; ++i) {
        const int16_t* s = &interleaved[size_t(i) * size_t(channels)];
        if (wanted == 1) {
            // More channels than the sound says: their mean.
            int sum = 0;
            for (int c = 0; c < channels; ++c)
                sum += s[c];
            out.push_back(int16_t(sum / channels));
        } else {
            out.push_back(s[0]);
            out.push_back(channels > 1 ? s[1] : s[0]);
        }
    }
}

Resampler::~Resampler()
{
    swr_free(&m_Swr);
}

bool Resampler::configure(int channels, int rate)
{
    if (m_Swr && channels == m_Channels && rate == m_Rate)
        return true;
    swr_free(&m_Swr);
    m_Channels = channels;
    m_Rate = rate;
    if (rate == kMixRate)
        return true;
    AVChannelLayout layout;
    av_channel_layout_default(&layout, channels);
    if (swr_alloc_set_opts2(&m_Swr, &layout, AV_SAMPLE_FMT_S16, kMixRate, &layout, AV_SAMPLE_FMT_S16, rate, 0, nullptr)
            < 0
        || swr_init(m_Swr) < 0) {
        swr_free(&m_Swr);
        return false;
    }
    return true;
}

void Resampler::process(const int16_t* samples, size_t frames, int channels, int rate, std::vector<int16_t>& stereo)
{
    if (!samples || frames == 0 || channels < 1 || channels > 2 || rate <= 0 || frames > size_t(INT_MAX) / 16)
        return;
    if (!configure(channels, rate))
        return;
    if (!m_Swr) {
        AppendStereo(samples, frames, channels, stereo);
        return;
    }
    convert(samples, frames, stereo);
}

void Resampler::convert(const int16_t* samples, size_t frames, std::vector<int16_t>& stereo)
{
    const int capacity = swr_get_out_samples(m_Swr, int(frames));
    if (capacity <= 0)
        return;
    m_Scratch.resize(size_t(capacity) * size_t(m_Channels));
    uint8_t* target[1] = { reinterpret_cast<uint8_t*>(m_Scratch.data()) };
    const uint8_t* source[1] = { reinterpret_cast<const uint8_t*>(samples) };
    const int got = swr_convert(m_Swr, target, capacity, samples ? source : nullptr, int(frames));
    if (got > 0)
        AppendStereo(m_Scratch.data(), size_t(got), m_Channels, stereo);
}

void Resampler::flush(std::vector<int16_t>& stereo)
{
    if (m_Swr)
        convert(nullptr, 0, stereo);
}

std::shared_ptr<const SoundClip> DecodeSound(
    const SoundFormat& format, uint32_t sampleCount, const uint8_t* data, size_t size)
{
    auto clip = std::make_shared<SoundClip>();
    NativeDecoder decoder(format);
    if (!decoder.valid() || !data)
        return clip;
    size_t skip = 0;
    if (format.codec == Codec::Mp3) {
        if (size < kMp3SeekBytes)
            return clip;
        skip = size_t(std::max(0, int(int16_t(uint16_t(data[0] | (data[1] << 8))))));
        data += kMp3SeekBytes;
        size -= kMp3SeekBytes;
    }
    std::vector<int16_t> native;
    decoder.decode(data, size, native);
    decoder.flush(native);
    const size_t channels = size_t(format.channels());
    size_t frames = native.size() / channels;
    skip = std::min(skip, frames);
    frames -= skip;
    if (sampleCount > 0 && format.codec != Codec::PcmNative && format.codec != Codec::PcmLittle
        && format.codec != Codec::Adpcm)
        frames = std::min(frames, size_t(sampleCount));
    Resampler resampler;
    resampler.process(native.data() + skip * channels, frames, int(channels), decoder.rate(), clip->samples);
    resampler.flush(clip->samples);
    if (clip->frames() > kMaxClipFrames)
        clip->samples.resize(kMaxClipFrames * kMixChannels);
    return clip;
}

} // namespace reelfinch::plugin::sound
