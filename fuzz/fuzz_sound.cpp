// Sound bodies of every format decoded from the fuzzer's bytes: a whole DefineSound body, or stream blocks one
// after another through one decoder; then the result mixed with in and out points, loops and an envelope.
//   byte 0: the format byte (codec, rate, size, type); byte 1: how the rest is used; then the data.
#include "sound/Adpcm.h"
#include "sound/SoundDecoder.h"
#include "sound/SoundMixer.h"

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

using namespace reelfinch::plugin::sound;

namespace {

// Codecs the format knows, so that most inputs reach a decoder.
constexpr uint8_t kCodecs[] = { 0, 1, 2, 3, 4, 5, 6, 11 };
constexpr size_t kMixFrames = 4096;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t formatByte = uint8_t((kCodecs[(data[0] >> 4) % sizeof kCodecs] << 4) | (data[0] & 0x0F));
    const SoundFormat format = SoundFormat::fromByte(formatByte);
    const uint8_t mode = data[1];
    data += 2;
    size -= 2;
    std::shared_ptr<const SoundClip> clip;
    if ((mode & 1) == 0) {
        clip = DecodeSound(format, mode & 2 ? uint32_t(size * 3) : 0, data, size);
    } else {
        // Stream blocks: each one's length in its first byte.
        NativeDecoder decoder(format);
        Resampler resampler;
        auto stereo = std::make_shared<SoundClip>();
        std::vector<int16_t> native;
        while (size > 0) {
            const size_t length = std::min<size_t>(size - 1, data[0]);
            native.clear();
            decoder.decode(data + 1, length, native);
            resampler.process(native.data(), native.size() / size_t(format.channels()), format.channels(),
                decoder.rate(), stereo->samples);
            data += length + 1;
            size -= length + 1;
        }
        native.clear();
        decoder.flush(native);
        resampler.process(native.data(), native.size() / size_t(format.channels()), format.channels(),
            decoder.rate(), stereo->samples);
        resampler.flush(stereo->samples);
        if (stereo->samples.size() % 2)
            return 0; // stereo frames are whole by construction; an odd count would be a fault
        clip = stereo;
    }
    if (!clip || clip->frames() == 0)
        return 0;
    // The mode byte also says how the sound plays.
    PlayInfo info;
    const size_t frames = clip->frames();
    info.inPoint = uint32_t((mode >> 2) % 4 * frames / 4);
    info.outPoint = (mode & 0x10) ? uint32_t(frames - frames / 3) : 0;
    info.loops = 1 + (mode >> 5);
    if (mode & 0x80)
        info.envelope = { { 0, 1, 0 }, { uint32_t(frames / 2), 0.5f, 1 }, { uint32_t(frames), 0, 0 } };
    SoundMixer mixer;
    mixer.start(1, clip, info);
    mixer.streamAppend(2, clip->samples.data(), std::min(clip->frames(), kMixFrames));
    std::vector<int16_t> out(kMixFrames * 2);
    mixer.render(out.data(), kMixFrames);
    mixer.render(out.data(), kMixFrames);
    return 0;
}
