#include "sound/SoundMixer.h"
#include "sound/SoundOutput.h"

#include <unistd.h>

#include <cstdio>
#include <vector>

namespace reelfinch::plugin::sound {

namespace {

constexpr uint32_t kWavHeaderBytes = 44;
constexpr uint16_t kWavPcm = 1;
constexpr uint16_t kBitsPerSample = 16;
constexpr uint32_t kFormatChunkBytes = 16;
// The RIFF size fields are 32 bits: the file stops growing before they overflow.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - kWavHeaderBytes;
constexpr size_t kChunkFrames = 4096;

void Put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, uint16_t(v));
    Put16(out, uint16_t(v >> 16));
}

std::vector<uint8_t> WavHeader(uint32_t dataBytes)
{
    std::vector<uint8_t> h;
    const uint16_t blockAlign = kMixChannels * kBitsPerSample / 8;
    for (char c : { 'R', 'I', 'F', 'F' })
        h.push_back(uint8_t(c));
    Put32(h, dataBytes + kWavHeaderBytes - 8);
    for (char c : { 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ' })
        h.push_back(uint8_t(c));
    Put32(h, kFormatChunkBytes);
    Put16(h, kWavPcm);
    Put16(h, kMixChannels);
    Put32(h, kMixRate);
    Put32(h, uint32_t(kMixRate) * blockAlign);
    Put16(h, blockAlign);
    Put16(h, kBitsPerSample);
    for (char c : { 'd', 'a', 't', 'a' })
        h.push_back(uint8_t(c));
    Put32(h, dataBytes);
    return h;
}

class WavOutput : public SoundOutput
{
public:
    WavOutput(SoundMixer& mixer, std::FILE* file)
        : m_Mixer(mixer)
        , m_File(file)
    {
        const std::vector<uint8_t> header = WavHeader(0);
        std::fwrite(header.data(), 1, header.size(), m_File);
    }
    ~WavOutput() override
    {
        const std::vector<uint8_t> header = WavHeader(uint32_t(m_DataBytes));
        std::fseek(m_File, 0, SEEK_SET);
        std::fwrite(header.data(), 1, header.size(), m_File);
        std::fclose(m_File);
    }
    void setPaused(bool) override { }
    bool realTime() const override { return false; }
    void advance(size_t frames) override
    {
        std::vector<int16_t> buffer;
        while (frames > 0) {
            const size_t n = std::min(frames, kChunkFrames);
            buffer.resize(n * kMixChannels);
            m_Mixer.render(buffer.data(), n);
            frames -= n;
            const uint64_t bytes = n * kMixChannels * sizeof(int16_t);
            if (m_DataBytes + bytes > kMaxDataBytes)
                continue;
            // WAV samples are little-endian, as this machine's.
            std::vector<uint8_t> le;
            le.reserve(bytes);
            for (int16_t s : buffer)
                Put16(le, uint16_t(s));
            std::fwrite(le.data(), 1, le.size(), m_File);
            m_DataBytes += bytes;
        }
    }

private:
    SoundMixer& m_Mixer;
    std::FILE* m_File;
    uint64_t m_DataBytes = 0;
};

} // namespace

std::unique_ptr<SoundOutput> OpenWavOutput(SoundMixer& mixer, const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return nullptr;
    return std::make_unique<WavOutput>(mixer, file);
}

std::unique_ptr<SoundOutput> OpenWavOutput(SoundMixer& mixer, int descriptor)
{
    std::FILE* file = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
    if (!file) {
        if (descriptor >= 0)
            close(descriptor);
        return nullptr;
    }
    return std::make_unique<WavOutput>(mixer, file);
}

} // namespace reelfinch::plugin::sound
