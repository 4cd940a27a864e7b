// The plug-in's sound: the processor share that mixing 32 event sounds (with envelopes and loops) and a stream
// costs, in requests of 10 ms as the sound server makes them; and how many times faster than real time an MP3
// stream decodes and is brought to 44.1 kHz stereo, block by block as a movie's frames give it (the 11 kHz MP3
// stream of an ffmpeg-made movie of the corpus; skipped when the corpus is absent). And the confined engine's
// path: a sound started in the engine's mixer until the sound server plays it, through the pipe to the proxy,
// with the server played by a clock here that keeps the proxy's 30 ms ahead of it.
#include "sound/SoundDecoder.h"
#include "sound/SoundMixer.h"
#include "sound/SoundOutput.h"

#include "Movie.h"
#include "SWFStream.h"
#include "TagCodes.h"
#include "Tags.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>

#include <fcntl.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace {

using namespace reelfinch::plugin::sound;

constexpr size_t kRequestFrames = kMixRate / 100;
constexpr int kEventSounds = 32;

double CpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

std::shared_ptr<const SoundClip> Tone(double period, size_t frames)
{
    auto clip = std::make_shared<SoundClip>();
    clip->samples.resize(frames * 2);
    for (size_t i = 0; i < frames; ++i)
        clip->samples[2 * i] = clip->samples[2 * i + 1] = int16_t(3000 * std::sin(2 * M_PI * double(i) / period));
    return clip;
}

// One second of output: 100 requests of 10 ms.
void BM_MixEventsAndStream(benchmark::State& state)
{
    SoundMixer mixer;
    for (int i = 0; i < kEventSounds; ++i) {
        PlayInfo info;
        info.loops = 1000;
        if (i % 2)
            info.envelope = { { 0, 1, 0.2f }, { 20000, 0.3f, 1 }, { 60000, 1, 1 } };
        mixer.start(uint16_t(i + 1), Tone(50 + i, size_t(kMixRate) * 2), info);
    }
    const std::shared_ptr<const SoundClip> stream = Tone(77, kMixRate);
    std::vector<int16_t> out(kRequestFrames * 2);
    double cpu = 0;
    double audio = 0;
    for (auto _ : state) {
        mixer.streamAppend(1, stream->samples.data(), stream->frames());
        const double begin = CpuSeconds();
        for (int r = 0; r < 100; ++r)
            mixer.render(out.data(), kRequestFrames);
        cpu += CpuSeconds() - begin;
        audio += 1.0;
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["core_percent"] = 100.0 * cpu / audio;
    state.counters["channels"] = double(mixer.channelCount());
}
BENCHMARK(BM_MixEventsAndStream)->Unit(benchmark::kMillisecond);

struct Mp3Stream {
    SoundFormat format;
    std::vector<std::vector<uint8_t>> blocks; // MP3 data of each block, after its sample count and seek samples
    double seconds = 0;
};

Mp3Stream CorpusStream()
{
    Mp3Stream stream;
    const std::filesystem::path path
        = std::filesystem::path(REELFINCH_CORPUS_DIR) / "movies/ffmpeg/ff_flv1_mp3_11k_mandelbrot_5s.swf";
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty())
        return stream;
    CSWFStream s;
    s.WriteBuf(bytes.data(), static_cast<unsigned long>(bytes.size()));
    s.SetPosition(0);
    CSWF movie;
    movie.ReadSWF(&s);
    for (int i = 0; movie.GetTags() && i < movie.GetTags()->GetItemCount(); ++i) {
        const CTag* tag = movie.GetTags()->GetTag(i);
        if (auto* head = dynamic_cast<const CDefineSoundStreamHeadTag*>(tag); head && head->m_pSoundParameters) {
            const CSoundParametersItem& p = *head->m_pSoundParameters;
            stream.format = SoundFormat::fromFields(p.m_Format, p.m_Rate, p.m_Size, p.m_Type);
        }
        auto* block = dynamic_cast<const CSoundStreamBlockTag*>(tag);
        if (!block || !block->m_pData || !block->m_pData->GetData() || block->m_pData->GetData()->GetSize() < 4)
            continue;
        const uint8_t* b = block->m_pData->GetData()->GetBuffer();
        const size_t size = block->m_pData->GetData()->GetSize();
        stream.seconds += double(b[0] | (b[1] << 8)) / stream.format.rate;
        stream.blocks.emplace_back(b + 4, b + size);
    }
    return stream;
}

void BM_Mp3StreamDecode(benchmark::State& state)
{
    static const Mp3Stream stream = CorpusStream();
    if (stream.blocks.empty() || stream.format.codec != Codec::Mp3) {
        state.SkipWithError("the corpus's MP3 movie is not here");
        return;
    }
    double cpu = 0;
    double audio = 0;
    std::vector<int16_t> native;
    std::vector<int16_t> stereo;
    for (auto _ : state) {
        const double begin = CpuSeconds();
        NativeDecoder decoder(stream.format);
        Resampler resampler;
        for (const std::vector<uint8_t>& block : stream.blocks) {
            native.clear();
            stereo.clear();
            decoder.decode(block.data(), block.size(), native);
            resampler.process(native.data(), native.size() / size_t(stream.format.channels()),
                stream.format.channels(), decoder.rate(), stereo);
        }
        cpu += CpuSeconds() - begin;
        audio += stream.seconds;
        benchmark::DoNotOptimize(stereo.data());
    }
    state.counters["times_real_time"] = cpu > 0 ? audio / cpu : 0;
    state.counters["audio_seconds"] = stream.seconds;
}
BENCHMARK(BM_Mp3StreamDecode)->Unit(benchmark::kMillisecond);

} // namespace

// Each iteration starts a sound in the mixer and measures when the emulated server plays its first frame;
// `latency_ms` is the worst, `rate_error` how far the frames taken from the pipe strayed from the clock's count.
void BM_EnginePipeLatency(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    constexpr double kServerMs = 30; // what the proxy keeps the server ahead by
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        state.SkipWithError("no pipe");
        return;
    }
    fcntl(fds[1], F_SETPIPE_SZ, kPipeBytes);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    SoundMixer mixer;
    auto output = OpenPipeOutput(mixer, fds[1], nullptr);
    const auto clip = Tone(100, kMixRate / 2);
    const auto base = Clock::now();
    uint64_t taken = 0; // frames read from the pipe
    std::vector<int16_t> buffer(kMixRate * kMixChannels);
    // Reads what the server would have asked for by now; the index of the first loud frame read, if any.
    auto serve = [&](uint64_t& loud) {
        const double seconds = std::chrono::duration<double>(Clock::now() - base).count();
        const uint64_t due = uint64_t((seconds + kServerMs / 1000) * kMixRate);
        while (taken < due) {
            const size_t want = size_t(std::min<uint64_t>(due - taken, kMixRate));
            const ssize_t n = read(fds[0], buffer.data(), want * 4);
            if (n <= 0)
                break;
            const size_t frames = size_t(n) / 4; // whole frames: the engine writes them whole
            for (size_t i = 0; i < frames && loud == UINT64_MAX; ++i)
                if (std::abs(int(buffer[2 * i])) > 1000)
                    loud = taken + i;
            taken += frames;
        }
    };
    auto wait = [&](double ms, uint64_t& loud) {
        const auto end = Clock::now() + std::chrono::duration<double, std::milli>(ms);
        while (Clock::now() < end && loud == UINT64_MAX) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            serve(loud);
        }
    };
    // Plays on for a while, whatever is heard.
    auto drain = [&](double ms) {
        const auto end = Clock::now() + std::chrono::duration<double, std::milli>(ms);
        while (Clock::now() < end) {
            uint64_t ignored = UINT64_MAX;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            serve(ignored);
        }
    };
    drain(300);
    double worst = 0;
    for (auto _ : state) {
        const double startedAt = std::chrono::duration<double, std::milli>(Clock::now() - base).count();
        mixer.start(1, clip, PlayInfo {});
        uint64_t loud = UINT64_MAX;
        wait(1000, loud);
        if (loud == UINT64_MAX) {
            state.SkipWithError("the sound never came");
            break;
        }
        // The server plays frame k at k / rate on its clock.
        const double heardAt = double(loud) * 1000 / kMixRate;
        worst = std::max(worst, heardAt - startedAt);
        mixer.stopAll();
        drain(200);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - base).count();
    state.counters["latency_ms"] = worst;
    state.counters["rate_error"] = std::abs(double(taken) / (seconds * kMixRate + kServerMs / 1000 * kMixRate) - 1);
    output.reset();
    close(fds[0]);
}
BENCHMARK(BM_EnginePipeLatency)->Iterations(10)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
