#include "sound/SoundMixer.h"
#include "sound/SoundOutput.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>
#include <cstring>
#include <vector>

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace reelfinch::plugin::sound {

namespace {

// What the server keeps buffered ahead of the speaker, and how much it asks for at a time: together well under
// 100 ms from a sound's start to its being heard.
constexpr int kTargetLatencyMs = 40;
constexpr int kRequestMs = 10;
constexpr int kPipedLatencyMs = 30;
// How long a connection may take before the movie plays on silently.
constexpr auto kConnectTimeout = std::chrono::seconds(2);
constexpr size_t kFrameBytes = kMixChannels * sizeof(int16_t);
// What the engine mixes at a time for the pipe (5.8 ms, a quarter of a page), and how long either end waits on the pipe before it
// looks whether it should stop.
constexpr size_t kPipeChunkFrames = 256;
constexpr int kPipePollMs = 50;
// The most the proxy moves from the pipe to the server at a time.
constexpr size_t kMaxFeedBytes = 16384;
// The silent clock mixes this often.
constexpr auto kSilentPeriod = std::chrono::milliseconds(10);

// One stream on the sound server: filled at the server's requests from the movie's mixer in this process, or
// fed from the pipe the movie engine writes its mixed frames to, by a thread that reads the pipe only as fast as
// the server plays, so the pipe stays full and holds the engine's mixer to the server's clock.
class PulseOutput : public SoundOutput
{
public:
    explicit PulseOutput(SoundMixer& mixer)
        : m_Mixer(&mixer)
    {
    }
    explicit PulseOutput(int descriptor)
        : m_Fd(descriptor)
    {
    }
    ~PulseOutput() override { close(); }

    bool open(const std::string& name)
    {
        m_Loop = pa_threaded_mainloop_new();
        if (!m_Loop)
            return false;
        m_Context = pa_context_new(pa_threaded_mainloop_get_api(m_Loop), "Reelfinch");
        if (!m_Context)
            return false;
        pa_context_set_state_callback(m_Context, &PulseOutput::contextState, this);
        // A server is used when one runs; none is started for the movie.
        if (pa_context_connect(m_Context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return false;
        if (pa_threaded_mainloop_start(m_Loop) < 0)
            return false;
        pa_threaded_mainloop_lock(m_Loop);
        const auto deadline = std::chrono::steady_clock::now() + kConnectTimeout;
        bool ready = false;
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(m_Context);
            if (state == PA_CONTEXT_READY) {
                ready = true;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(state) || std::chrono::steady_clock::now() >= deadline)
                break;
            pa_threaded_mainloop_wait(m_Loop);
        }
        if (ready)
            ready = openStream(name);
        pa_threaded_mainloop_unlock(m_Loop);
        if (ready && m_Fd >= 0)
            m_Feeder = std::thread([this] { feed(); });
        return ready;
    }

    void setPaused(bool paused) override
    {
        if (m_Mixer)
            m_Mixer->setPaused(paused);
        if (!m_Loop || !m_Stream)
            return;
        pa_threaded_mainloop_lock(m_Loop);
        if (pa_operation* op = pa_stream_cork(m_Stream, paused ? 1 : 0, nullptr, nullptr))
            pa_operation_unref(op);
        pa_threaded_mainloop_unlock(m_Loop);
    }

private:
    bool openStream(const std::string& name)
    {
        pa_sample_spec sampleFormat {};
        sampleFormat.format = PA_SAMPLE_S16LE;
        sampleFormat.rate = kMixRate;
        sampleFormat.channels = kMixChannels;
        m_Stream = pa_stream_new(m_Context, name.c_str(), &sampleFormat, nullptr);
        if (!m_Stream)
            return false;
        pa_stream_set_state_callback(m_Stream, &PulseOutput::streamState, this);
        pa_stream_set_write_callback(m_Stream, &PulseOutput::writeRequest, this);
        pa_buffer_attr attr {};
        attr.maxlength = uint32_t(-1);
        // Fed from the pipe, which holds sound of its own, the server keeps less.
        const int latencyMs = m_Mixer ? kTargetLatencyMs : kPipedLatencyMs;
        attr.tlength = uint32_t(pa_usec_to_bytes(pa_usec_t(latencyMs) * 1000, &sampleFormat));
        attr.minreq = uint32_t(pa_usec_to_bytes(pa_usec_t(kRequestMs) * 1000, &sampleFormat));
        // Fed from the pipe, the stream starts (and starts again after the engine fell behind) as soon as one
        // request's worth is there, rather than waiting for the whole buffer.
        attr.prebuf = m_Mixer ? uint32_t(-1) : attr.minreq;
        attr.fragsize = uint32_t(-1);
        const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING);
        if (pa_stream_connect_playback(m_Stream, nullptr, &attr, flags, nullptr, nullptr) < 0)
            return false;
        for (;;) {
            const pa_stream_state_t state = pa_stream_get_state(m_Stream);
            if (state == PA_STREAM_READY)
                return true;
            if (!PA_STREAM_IS_GOOD(state))
                return false;
            pa_threaded_mainloop_wait(m_Loop);
        }
    }

    void close()
    {
        if (m_Feeder.joinable()) {
            pa_threaded_mainloop_lock(m_Loop);
            m_Quit = true;
            pa_threaded_mainloop_signal(m_Loop, 0);
            pa_threaded_mainloop_unlock(m_Loop);
            m_Feeder.join();
        }
        if (m_Loop)
            pa_threaded_mainloop_stop(m_Loop);
        if (m_Stream) {
            pa_stream_disconnect(m_Stream);
            pa_stream_unref(m_Stream);
        }
        if (m_Context) {
            pa_context_disconnect(m_Context);
            pa_context_unref(m_Context);
        }
        if (m_Loop)
            pa_threaded_mainloop_free(m_Loop);
    }

    // The feeding thread: whole frames from the pipe into the stream, no more than the server has room for, so
    // that the pipe fills and the engine waits. A late engine makes the server wait (the stream starts again
    // once it has enough), never plays silence in the middle of its sound.
    void feed()
    {
        std::vector<uint8_t> pending;
        pa_threaded_mainloop_lock(m_Loop);
        while (!m_Quit) {
            const size_t room = pa_stream_writable_size(m_Stream);
            if (room == size_t(-1) || room < kFrameBytes) {
                pa_threaded_mainloop_wait(m_Loop);
                continue;
            }
            pa_threaded_mainloop_unlock(m_Loop);
            const size_t want = std::min(room, kMaxFeedBytes);
            bool open = true;
            pollfd p { m_Fd, POLLIN, 0 };
            if (poll(&p, 1, kPipePollMs) > 0) {
                const size_t have = pending.size();
                pending.resize(have + want);
                const ssize_t got = read(m_Fd, pending.data() + have, want);
                pending.resize(have + size_t(std::max<ssize_t>(got, 0)));
                open = got > 0 || (got < 0 && (errno == EAGAIN || errno == EINTR));
            }
            pa_threaded_mainloop_lock(m_Loop);
            const size_t whole = std::min(pending.size() - pending.size() % kFrameBytes, room);
            if (whole > 0 && !m_Quit) {
                pa_stream_write(m_Stream, pending.data(), whole, nullptr, 0, PA_SEEK_RELATIVE);
                pending.erase(pending.begin(), pending.begin() + ptrdiff_t(whole));
            }
            if (!open)
                break; // the engine is gone
        }
        pa_threaded_mainloop_unlock(m_Loop);
    }

    static void contextState(pa_context*, void* self)
    {
        pa_threaded_mainloop_signal(static_cast<PulseOutput*>(self)->m_Loop, 0);
    }
    static void streamState(pa_stream*, void* self)
    {
        pa_threaded_mainloop_signal(static_cast<PulseOutput*>(self)->m_Loop, 0);
    }
    // Runs on the main loop's thread: the mixer's own thread, or a wake-up for the feeding thread.
    static void writeRequest(pa_stream* stream, size_t bytes, void* self)
    {
        auto* output = static_cast<PulseOutput*>(self);
        const size_t frames = bytes / kFrameBytes;
        if (frames == 0)
            return;
        if (!output->m_Mixer) {
            pa_threaded_mainloop_signal(output->m_Loop, 0);
            return;
        }
        output->m_Buffer.resize(frames * kMixChannels);
        output->m_Mixer->render(output->m_Buffer.data(), frames);
        pa_stream_write(stream, output->m_Buffer.data(), frames * kFrameBytes, nullptr, 0, PA_SEEK_RELATIVE);
    }

    SoundMixer* m_Mixer = nullptr;
    int m_Fd = -1; // non-blocking
    std::thread m_Feeder;
    bool m_Quit = false; // under the main loop's lock
    pa_threaded_mainloop* m_Loop = nullptr;
    pa_context* m_Context = nullptr;
    pa_stream* m_Stream = nullptr;
    std::vector<int16_t> m_Buffer;
};

// The engine's end of the pipe: a thread mixes a little at a time and writes it, waiting while the pipe is full
// (the proxy's stream has not played what is in it yet) and while the movie is paused.
class PipeOutput : public SoundOutput
{
public:
    PipeOutput(SoundMixer& mixer, int descriptor, std::function<void(bool)> paused)
        : m_Mixer(mixer)
        , m_Fd(descriptor)
        , m_Paused(std::move(paused))
        , m_Thread([this] { run(); })
    {
    }
    ~PipeOutput() override
    {
        {
            std::lock_guard lock(m_Lock);
            m_Quit = true;
        }
        m_Wake.notify_all();
        m_Thread.join();
        ::close(m_Fd);
    }
    void setPaused(bool paused) override
    {
        m_Mixer.setPaused(paused);
        {
            std::lock_guard lock(m_Lock);
            m_Pause = paused;
        }
        m_Wake.notify_all();
        if (m_Paused)
            m_Paused(paused);
    }

private:
    bool quitting()
    {
        std::lock_guard lock(m_Lock);
        return m_Quit;
    }

    void run()
    {
        std::vector<int16_t> buffer(kPipeChunkFrames * kMixChannels);
        for (;;) {
            {
                std::unique_lock lock(m_Lock);
                m_Wake.wait(lock, [this] { return m_Quit || !m_Pause; });
                if (m_Quit)
                    return;
            }
            m_Mixer.render(buffer.data(), kPipeChunkFrames);
            const auto* bytes = reinterpret_cast<const uint8_t*>(buffer.data());
            size_t written = 0;
            while (written < kPipeChunkFrames * kFrameBytes) {
                if (quitting())
                    return;
                pollfd p { m_Fd, POLLOUT, 0 };
                if (poll(&p, 1, kPipePollMs) <= 0)
                    continue;
                const ssize_t n = write(m_Fd, bytes + written, kPipeChunkFrames * kFrameBytes - written);
                if (n < 0 && errno != EINTR && errno != EAGAIN)
                    return; // the proxy is gone: the engine ends with it
                written += size_t(std::max<ssize_t>(n, 0));
            }
        }
    }

    SoundMixer& m_Mixer;
    int m_Fd;
    std::function<void(bool)> m_Paused;
    std::mutex m_Lock;
    std::condition_variable m_Wake;
    bool m_Quit = false;
    bool m_Pause = false;
    std::thread m_Thread;
};

class MovieClockOutput : public SoundOutput
{
public:
    explicit MovieClockOutput(SoundMixer& mixer)
        : m_Mixer(mixer)
    {
    }
    void setPaused(bool) override { }
    bool realTime() const override { return false; }
    void advance(size_t frames) override
    {
        while (frames > 0) {
            const size_t n = std::min<size_t>(frames, 4096);
            m_Buffer.resize(n * kMixChannels);
            m_Mixer.render(m_Buffer.data(), n);
            frames -= n;
        }
    }

private:
    SoundMixer& m_Mixer;
    std::vector<int16_t> m_Buffer;
};

class SilentOutput : public SoundOutput
{
public:
    explicit SilentOutput(SoundMixer& mixer)
        : m_Mixer(mixer)
        , m_Thread([this] { run(); })
    {
    }
    ~SilentOutput() override
    {
        {
            std::lock_guard lock(m_Lock);
            m_Quit = true;
        }
        m_Wake.notify_all();
        m_Thread.join();
    }
    void setPaused(bool paused) override { m_Mixer.setPaused(paused); }

private:
    void run()
    {
        std::vector<int16_t> buffer;
        auto next = std::chrono::steady_clock::now();
        uint64_t mixed = 0;
        const auto begin = next;
        std::unique_lock lock(m_Lock);
        while (!m_Quit) {
            next += kSilentPeriod;
            m_Wake.wait_until(lock, next, [this] { return m_Quit; });
            if (m_Quit)
                break;
            // Frames due by the wall clock since the start, so the rate holds however the thread is woken.
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
            const uint64_t due = uint64_t(seconds * kMixRate);
            if (due <= mixed)
                continue;
            const size_t frames = size_t(std::min<uint64_t>(due - mixed, kMixRate));
            mixed = due;
            buffer.resize(frames * kMixChannels);
            lock.unlock();
            m_Mixer.render(buffer.data(), frames);
            lock.lock();
        }
    }

    SoundMixer& m_Mixer;
    std::mutex m_Lock;
    std::condition_variable m_Wake;
    bool m_Quit = false;
    std::thread m_Thread;
};

// The host may unload and load the plug-in again for each movie, which resets its statics: that the message was
// given is kept in the process's environment, so it is given once per process.
constexpr const char* kSaidNoServerVariable = "REELFINCH_SOUND_NO_SERVER_SAID";

std::atomic<bool> g_serverDisabled { false };
std::atomic<int> g_captureDescriptor { -1 };
OutputFactory g_factory;

} // namespace

void DisableSoundServer()
{
    g_serverDisabled = true;
}

void SetCaptureDescriptor(int descriptor)
{
    g_captureDescriptor = descriptor;
}

std::unique_ptr<SoundOutput> OpenPulseOutput(SoundMixer& mixer, const std::string& streamName)
{
    auto output = std::make_unique<PulseOutput>(mixer);
    if (!output->open(streamName))
        return nullptr;
    return output;
}

std::unique_ptr<SoundOutput> OpenSilentOutput(SoundMixer& mixer)
{
    return std::make_unique<SilentOutput>(mixer);
}

std::unique_ptr<SoundOutput> OpenMovieClockOutput(SoundMixer& mixer)
{
    return std::make_unique<MovieClockOutput>(mixer);
}

std::unique_ptr<SoundOutput> OpenPipeOutput(SoundMixer& mixer, int descriptor, std::function<void(bool)> paused)
{
    if (descriptor < 0)
        return nullptr;
    return std::make_unique<PipeOutput>(mixer, descriptor, std::move(paused));
}

std::unique_ptr<SoundOutput> OpenPulsePlayback(int descriptor, const std::string& streamName)
{
    if (descriptor < 0)
        return nullptr;
    auto output = std::make_unique<PulseOutput>(descriptor);
    if (!output->open(streamName))
        return nullptr;
    return output;
}

void SetOutputFactory(OutputFactory factory)
{
    g_factory = std::move(factory);
}

void SayNoSoundServer()
{
    if (!std::getenv(kSaidNoServerVariable)) {
        setenv(kSaidNoServerVariable, "1", 0);
        std::fprintf(stderr, "Reelfinch: no sound server answered; movies play without sound\n");
    }
}

std::unique_ptr<SoundOutput> OpenDefaultOutput(SoundMixer& mixer, const std::string& streamName)
{
    if (const int descriptor = g_captureDescriptor.exchange(-1); descriptor >= 0)
        if (auto output = OpenWavOutput(mixer, descriptor))
            return output;
    if (const char* capture = std::getenv(kCaptureVariable); capture && *capture && !g_serverDisabled)
        if (auto output = OpenWavOutput(mixer, capture))
            return output;
    if (const char* clock = std::getenv(kClockVariable); clock && std::string_view(clock) == "movie")
        return OpenMovieClockOutput(mixer);
    if (g_factory) {
        if (auto output = g_factory(mixer, streamName))
            return output;
        return OpenSilentOutput(mixer);
    }
    if (g_serverDisabled)
        return OpenSilentOutput(mixer);
    if (auto output = OpenPulseOutput(mixer, streamName))
        return output;
    SayNoSoundServer();
    return OpenSilentOutput(mixer);
}

} // namespace reelfinch::plugin::sound
