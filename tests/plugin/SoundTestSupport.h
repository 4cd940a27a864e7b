// Sound tags written byte by byte, movies played frame by frame into a buffer, and measures on the result.
#pragma once

#include "MovieBuilder.h"
#include "sound/MovieSound.h"
#include "sound/SoundMixer.h"
#include "sound/SoundOutput.h"
#include "timeline/MoviePlayer.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

namespace plugintest {

inline constexpr uint16_t kTagStartSound2 = 89;
inline constexpr int kMixRate = 44100;

inline void PutU16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

inline void PutU32(std::vector<uint8_t>& out, uint32_t v)
{
    PutU16(out, uint16_t(v));
    PutU16(out, uint16_t(v >> 16));
}

// The format byte: codec (4 bits), rate index (2), 16-bit (1), stereo (1).
inline uint8_t FormatByte(int codec, int rate, bool sixteen, bool stereo)
{
    return uint8_t((codec << 4) | (rate << 2) | (sixteen ? 2 : 0) | (stereo ? 1 : 0));
}

inline std::vector<uint8_t> PcmBytes(const std::vector<int16_t>& samples)
{
    std::vector<uint8_t> out;
    for (int16_t s : samples)
        PutU16(out, uint16_t(s));
    return out;
}

inline void DefineSound(MovieBuilder& movie, uint16_t id, uint8_t format, uint32_t count, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> body;
    PutU16(body, id);
    body.push_back(format);
    PutU32(body, count);
    body.insert(body.end(), data.begin(), data.end());
    movie.raw(kTagDefineSound, body);
}

struct Envelope {
    uint32_t position;
    uint16_t left;
    uint16_t right;
};

// SOUNDINFO; in, out and loops of 0 are left out.
struct SoundInfo {
    bool stop = false;
    bool noMultiple = false;
    uint32_t in = 0;
    uint32_t out = 0;
    uint16_t loops = 0;
    std::vector<Envelope> envelope;

    std::vector<uint8_t> bytes() const
    {
        std::vector<uint8_t> b;
        b.push_back(uint8_t((stop ? 0x20 : 0) | (noMultiple ? 0x10 : 0) | (!envelope.empty() ? 0x08 : 0)
            | (loops ? 0x04 : 0) | (out ? 0x02 : 0) | (in ? 0x01 : 0)));
        if (in)
            PutU32(b, in);
        if (out)
            PutU32(b, out);
        if (loops)
            PutU16(b, loops);
        if (!envelope.empty()) {
            b.push_back(uint8_t(envelope.size()));
            for (const Envelope& e : envelope) {
                PutU32(b, e.position);
                PutU16(b, e.left);
                PutU16(b, e.right);
            }
        }
        return b;
    }
};

inline void StartSound(MovieBuilder& movie, uint16_t id, const SoundInfo& info = {})
{
    std::vector<uint8_t> body;
    PutU16(body, id);
    const std::vector<uint8_t> rest = info.bytes();
    body.insert(body.end(), rest.begin(), rest.end());
    movie.raw(kTagStartSound, body);
}

inline void StreamHead(MovieBuilder& movie, uint8_t format, uint16_t samplesPerFrame, bool head2 = true,
    bool latencySeek = false)
{
    std::vector<uint8_t> body;
    body.push_back(uint8_t(format & 0x0F));
    body.push_back(format);
    PutU16(body, samplesPerFrame);
    if (latencySeek)
        PutU16(body, 0);
    movie.raw(head2 ? kTagSoundStreamHead2 : kTagSoundStreamHead, body);
}

// Collects what the mixer makes as the movie's frames pass.
class Recorder : public reelfinch::plugin::sound::SoundOutput
{
public:
    Recorder(reelfinch::plugin::sound::SoundMixer& mixer, std::vector<int16_t>& sink)
        : m_Mixer(mixer)
        , m_Sink(sink)
    {
    }
    void setPaused(bool paused) override { m_Mixer.setPaused(paused); }
    bool realTime() const override { return false; }
    void advance(size_t frames) override
    {
        const size_t at = m_Sink.size();
        m_Sink.resize(at + frames * 2);
        m_Mixer.render(m_Sink.data() + at, frames);
    }

private:
    reelfinch::plugin::sound::SoundMixer& m_Mixer;
    std::vector<int16_t>& m_Sink;
};

// Plays `frames` frames of a movie and gives back their sound, interleaved stereo.
inline std::vector<int16_t> PlaySound(const std::vector<uint8_t>& bytes, int frames)
{
    std::vector<int16_t> sink;
    {
        reelfinch::plugin::MoviePlayer player;
        player.sound().setOutput(std::make_unique<Recorder>(player.sound().mixer(), sink));
        if (!player.load(bytes.data(), bytes.size()))
            return {};
        for (int i = 0; i < frames; ++i)
            player.step();
        player.sound().setOutput(nullptr);
    }
    return sink;
}

inline std::vector<int16_t> Sine(size_t count, double period, double amplitude = 12000)
{
    std::vector<int16_t> s(count);
    for (size_t i = 0; i < count; ++i)
        s[i] = int16_t(std::lround(amplitude * std::sin(2 * M_PI * double(i) / period)));
    return s;
}

// Left (channel 0) or right (1) of interleaved stereo.
inline std::vector<int16_t> Side(const std::vector<int16_t>& stereo, int channel)
{
    std::vector<int16_t> out;
    for (size_t i = size_t(channel); i < stereo.size(); i += 2)
        out.push_back(stereo[i]);
    return out;
}

// Pearson correlation of two equally long runs.
inline double Correlation(const int16_t* a, const int16_t* b, size_t n)
{
    double ma = 0, mb = 0;
    for (size_t i = 0; i < n; ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= double(n);
    mb /= double(n);
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// The shift of `b` against `a` (b[i + lag] matches a[i], |lag| <= maxLag) found on a window of `a`, and the
// correlation of the whole overlap at that shift.
inline std::pair<long, double> BestAlignment(const std::vector<int16_t>& a, const std::vector<int16_t>& b, long maxLag)
{
    const size_t window = std::min<size_t>(4096, a.size() / 2);
    const size_t from = std::min(a.size() / 4, size_t(maxLag) + 1);
    std::pair<long, double> best { 0, -2 };
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        const long start = long(from) + lag;
        if (start < 0 || size_t(start) + window > b.size() || from + window > a.size())
            continue;
        const double c = Correlation(a.data() + from, b.data() + start, window);
        if (c > best.second)
            best = { lag, c };
    }
    const size_t startA = size_t(std::max(0L, -best.first));
    const size_t startB = size_t(std::max(0L, best.first));
    if (startA >= a.size() || startB >= b.size())
        return best;
    const size_t n = std::min(a.size() - startA, b.size() - startB);
    best.second = Correlation(a.data() + startA, b.data() + startB, n);
    return best;
}

} // namespace plugintest
