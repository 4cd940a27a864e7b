// What a NetStream shows and plays of an FLV file: its video tags decoded into pictures as the stream's clock
// reaches them, and its sound tags decoded a little ahead of the clock into the movie's mixer.
#pragma once

#include "sound/SoundMixer.h"
#include "video/FlvFile.h"
#include "video/VideoDecoder.h"

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace reelfinch::avm1 {
class Object;
struct ClipLink;
}


namespace reelfinch::plugin::video {

// The video of one stream. A stream keeps one for its whole life and loads each file it plays into it, so that
// the Video objects attached to the stream show whatever it plays.
class FlvVideo
{
public:
    FlvVideo() = default;
    FlvVideo(const FlvVideo&) = delete;
    FlvVideo& operator=(const FlvVideo&) = delete;

    // Takes the video tags of a file (copied); the picture shown is dropped.
    void load(std::string_view bytes, const FlvFile& flv);
    // Nothing to show (the stream closed or plays another file).
    void unload();
    // Shows the last frame at or before `ms`: decoding on from the frame shown, or, going back or past a key
    // frame, from the last key frame before it.
    void showAt(double ms);
    // The picture shown (owned here), or null. Its visible part is pictureWidth() x pictureHeight() from the
    // top left (VP6 codes whole blocks and says how much of the last ones to leave out).
    cairo_surface_t* picture() const;
    int pictureWidth() const;
    int pictureHeight() const;
    // Changes each time another picture is shown (0: none yet).
    uint64_t serial() const { return m_Serial; }
    // The Video's deblocking setting (DefineVideoStream's values: 0 the stream's own, 1 off); takes effect
    // when the decoder next starts from a key frame.
    void setDeblocking(uint8_t deblocking) { m_Deblocking = deblocking; }
    size_t frameCount() const { return m_Frames.size(); }
    uint64_t decodedPackets() const { return m_DecodedPackets; }

private:
    struct Frame {
        uint32_t timeMs;
        uint8_t codec;
        bool key;
        uint8_t adjust; // VP6: columns (high nibble) and rows (low) to leave out at the right and bottom
        std::vector<uint8_t> data; // as the decoder takes it
    };
    std::vector<Frame> m_Frames;
    std::unique_ptr<Decoder> m_Decoder;
    uint8_t m_Deblocking = 0;
    uint8_t m_DecoderDeblocking = 0;
    int m_Shown = -1; // index of the frame whose picture the decoder holds
    bool m_HasPicture = false;
    uint64_t m_Serial = 0;
    uint64_t m_DecodedPackets = 0;
};

// A Video display object's tie to its script object and to the stream attached to it.
struct VideoLink {
    std::shared_ptr<avm1::ClipLink> holder; // the link of the clip whose display list holds the video
    avm1::Object* object = nullptr; // made when a script first needs it
    std::shared_ptr<FlvVideo> source; // attachVideo's stream, or null
    uint64_t cleared = 0; // clear() hides the source's picture of this serial
    bool smoothing = false;
    uint8_t deblocking = 0;
    // The picture to draw now, or null.
    cairo_surface_t* picture() const
    {
        return source && source->serial() != cleared ? source->picture() : nullptr;
    }
};

// The sound of a file, decoded tag by tag a few seconds ahead of what the mixer has played into one of its stream
// queues: a long file neither stalls the movie when it arrives nor holds its whole sound decoded. Each tag's
// sound is placed at its time (gaps longer than a codec's frame are silence). The file's bytes and tags are
// passed to each call and must be those given to load().
class FlvAudio
{
public:
    // Seconds of sound decoded ahead of what the mixer played.
    static constexpr double kAheadSeconds = 3;

    FlvAudio();
    ~FlvAudio();
    FlvAudio(const FlvAudio&) = delete;
    FlvAudio& operator=(const FlvAudio&) = delete;

    // The mixer's key of this sound's queue, and the owner whose levels it takes (its parent owner is the clip
    // a script gives the sound to).
    sound::SoundMixer::StreamKey key() const { return m_Key; }
    // Whether the file has a sound tag the player can decode.
    static bool HasSound(std::string_view bytes, const FlvFile& flv);
    // Starts the sound at `seconds` of the file (a new queue; the decoders start again from the tag holding
    // that moment, a little earlier for codecs whose frames lean on the ones before).
    void start(sound::SoundMixer& mixer, std::string_view bytes, const FlvFile& flv, double seconds);
    // Stops the sound and empties its queue.
    void stop(sound::SoundMixer& mixer);
    // Tops the queue up to kAheadSeconds. A queue the mixer dropped (every sound of the movie stopped) stays
    // stopped.
    void feed(sound::SoundMixer& mixer, std::string_view bytes, const FlvFile& flv);
    bool playing() const { return m_Playing; }

private:
    struct Decoding;
    // Decodes the next sound tag into `stereo`, or notes the silence before it; false at the end of the file.
    bool decodeNext(std::string_view bytes, const FlvFile& flv, std::vector<int16_t>& stereo);

    sound::SoundMixer::StreamKey m_Key;
    std::unique_ptr<Decoding> m_Decoding;
    size_t m_Next = 0; // the next tag to decode
    size_t m_Drop = 0; // 44.1 kHz frames still to drop before the start
    size_t m_Silence = 0; // frames of a gap between tags still to queue
    uint64_t m_Produced = 0; // 44.1 kHz frames decoded since m_BaseMs
    double m_BaseMs = 0; // the time of the first tag decoded
    bool m_Playing = false;
    bool m_Ended = false; // every tag decoded and the decoders flushed
};

} // namespace reelfinch::plugin::video
