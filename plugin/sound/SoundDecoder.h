// Decoding in two stages with a plain buffer between them: a sound's bytes to 16-bit samples at the sound's own
// rate and channel count (our code for PCM and ADPCM, libavcodec for MP3, Nellymoser and Speex), then those
// samples to the mixer's 44.1 kHz stereo (libswresample for the rate; channels copied, never mixed down).
#pragma once

#include "sound/SoundFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct AVCodecContext;
struct AVCodecParserContext;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace reelfinch::plugin::sound {

// Turns pieces of one sound's data into samples at the sound's rate, channels interleaved. Pieces are a whole
// DefineSound body or the stream blocks one after another; a codec keeps its state from piece to piece.
class NativeDecoder
{
public:
    explicit NativeDecoder(const SoundFormat& format);
    ~NativeDecoder();
    NativeDecoder(const NativeDecoder&) = delete;
    NativeDecoder& operator=(const NativeDecoder&) = delete;

    // False when the format is unknown or its codec cannot be opened: such a sound stays silent.
    bool valid() const { return m_Valid; }
    const SoundFormat& format() const { return m_Format; }
    // Samples per second of what `decode` gives: the format's rate, or what the codec's frames say.
    int rate() const { return m_Rate; }
    int channels() const { return m_Format.channels(); }

    void decode(const uint8_t* data, size_t size, std::vector<int16_t>& out);
    // AAC: the stream's AudioSpecificConfig, after which raw frames decode (the codec opens again with it).
    void configure(const uint8_t* config, size_t size);
    // The end of the data: what the codec still holds.
    void flush(std::vector<int16_t>& out);

private:
    void decodePacket(const uint8_t* data, size_t size, std::vector<int16_t>& out);
    void receiveFrames(std::vector<int16_t>& out);
    void appendFrame(const AVFrame* frame, std::vector<int16_t>& out);

    bool open(const uint8_t* config, size_t size);

    SoundFormat m_Format;
    int m_Rate = kMixRate;
    bool m_Valid = false;
    AVCodecContext* m_Codec = nullptr;
    AVCodecParserContext* m_Parser = nullptr;
    AVPacket* m_Packet = nullptr;
    AVFrame* m_Frame = nullptr;
    SwrContext* m_Convert = nullptr; // the codec's sample layout to interleaved 16-bit at the same rate
    int m_ConvertFormat = -1;
    int m_ConvertChannels = 0;
    std::vector<uint8_t> m_Input; // a padded copy of the piece being parsed
};

// Native samples (1 or 2 channels, any rate) to the mixer's 44.1 kHz stereo.
class Resampler
{
public:
    Resampler() = default;
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    void process(const int16_t* samples, size_t frames, int channels, int rate, std::vector<int16_t>& stereo);
    // What the rate converter still holds at the end of a sound.
    void flush(std::vector<int16_t>& stereo);

private:
    bool configure(int channels, int rate);
    void convert(const int16_t* samples, size_t frames, std::vector<int16_t>& stereo);

    SwrContext* m_Swr = nullptr;
    int m_Channels = 0;
    int m_Rate = 0;
    std::vector<int16_t> m_Scratch;
};

// A whole event sound, decoded once: 44.1 kHz stereo frames, interleaved.
struct SoundClip {
    std::vector<int16_t> samples;
    size_t frames() const { return samples.size() / kMixChannels; }
};

// Decodes a DefineSound's data (after its format byte and sample count). MP3 data starts with its seek
// samples, which are skipped; `sampleCount`, when not 0, is the sound's length at its own rate.
std::shared_ptr<const SoundClip> DecodeSound(
    const SoundFormat& format, uint32_t sampleCount, const uint8_t* data, size_t size);

// Appends stereo copies of mono samples, or stereo samples as they are.
void AppendStereo(const int16_t* samples, size_t frames, int channels, std::vector<int16_t>& stereo);

} // namespace reelfinch::plugin::sound
