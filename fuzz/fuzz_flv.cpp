// FLV files as a NetStream plays them, made of the fuzzer's bytes: the tag reader, the video tags decoded into
// pictures going forward, back and past key frames, and the sound tags decoded ahead of the clock into a mixer
// that plays them, with a seek in between. Nothing may crash, leak, hang or read out of bounds.
#include "sound/SoundMixer.h"
#include "video/FlvFile.h"
#include "video/FlvMedia.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace reelfinch::plugin;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const video::FlvFile flv = video::ReadFlv(bytes, 4096);
    if (!flv.valid)
        return 0;

    // Pictures: the whole file forward, then back to its middle and its start (decoding again from a key frame).
    video::FlvVideo picture;
    picture.load(bytes, flv);
    const double last = flv.lastTimeMs();
    for (const double ms : { 0.0, last / 3, last, last / 2, 0.0 }) {
        picture.showAt(ms);
        (void)picture.picture();
    }

    // Sound: a few seconds played from the start, then from the middle.
    sound::SoundMixer mixer;
    video::FlvAudio audio;
    std::vector<int16_t> out(2 * 4410);
    for (const double seconds : { 0.0, last / 2000 }) {
        audio.start(mixer, bytes, flv, seconds);
        for (int step = 0; step < 8 && audio.playing(); ++step) {
            audio.feed(mixer, bytes, flv);
            mixer.render(out.data(), out.size() / 2);
        }
    }
    audio.stop(mixer);
    return 0;
}
