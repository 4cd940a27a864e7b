// The sound formats a movie can hold, as its format byte describes them, and the mixer's own format.
#pragma once

#include <cstddef>
#include <cstdint>

namespace reelfinch::plugin::sound {

// Compression codes of the 4-bit format field.
enum class Codec : uint8_t {
    PcmNative = 0, // written on little-endian machines in practice: read as little-endian
    Adpcm = 1,
    Mp3 = 2,
    PcmLittle = 3,
    Nellymoser16k = 4,
    Nellymoser8k = 5,
    Nellymoser = 6,
    Aac = 10, // FLV files only: a configuration packet, then raw frames
    Speex = 11,
};

// The mixer's output: 44.1 kHz, stereo, 16-bit.
inline constexpr int kMixRate = 44100;
inline constexpr int kMixChannels = 2;
// The 2-bit rate field: 5.5, 11, 22 and 44 kHz.
inline constexpr int kRates[4] = { 5512, 11025, 22050, 44100 };

// One sound's format as the format byte gives it.
struct SoundFormat {
    Codec codec = Codec::PcmLittle;
    int rate = kMixRate; // samples per second per channel
    bool sixteenBit = true;
    bool stereo = false;

    int channels() const { return stereo ? 2 : 1; }
    // Nellymoser and Speex carry fixed rates whatever the rate field says.
    static SoundFormat fromFields(uint8_t codec, uint8_t rate, uint8_t size, uint8_t type)
    {
        SoundFormat f;
        f.codec = Codec(codec);
        f.rate = kRates[rate & 3];
        f.sixteenBit = size != 0;
        f.stereo = type != 0;
        if (f.codec == Codec::Nellymoser16k || f.codec == Codec::Speex)
            f.rate = 16000;
        else if (f.codec == Codec::Nellymoser8k)
            f.rate = 8000;
        // Nellymoser and Speex are mono only.
        if (f.codec == Codec::Nellymoser16k || f.codec == Codec::Nellymoser8k || f.codec == Codec::Nellymoser
            || f.codec == Codec::Speex)
            f.stereo = false;
        // AAC's rate and channels come from its configuration; the fields always say 44 kHz stereo. Its frames
        // are kept in stereo (a mono one on both sides).
        if (f.codec == Codec::Aac) {
            f.rate = kMixRate;
            f.stereo = true;
        }
        return f;
    }
    static SoundFormat fromByte(uint8_t byte) { return fromFields(byte >> 4, (byte >> 2) & 3, (byte >> 1) & 1, byte & 1); }
    bool known() const
    {
        switch (codec) {
        case Codec::PcmNative:
        case Codec::Adpcm:
        case Codec::Mp3:
        case Codec::PcmLittle:
        case Codec::Nellymoser16k:
        case Codec::Nellymoser8k:
        case Codec::Nellymoser:
        case Codec::Speex:
            return true;
        case Codec::Aac:
            return false;
        }
        return false;
    }
    // What an FLV file's sound tags may hold besides: AAC.
    bool knownInFlv() const { return known() || codec == Codec::Aac; }
};

} // namespace reelfinch::plugin::sound
