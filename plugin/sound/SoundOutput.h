// Where a movie's mixed sound goes: the desktop's sound server (one stream per movie, on a thread of its own),
// a silent clock when there is no server (sounds still end and streams still pace the pictures), or a WAV file
// written frame by frame as the movie's time passes (exports: the same on every run, no server needed).
#pragma once

#include "sound/SoundFormat.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace reelfinch::plugin::sound {

class SoundMixer;

class SoundOutput
{
public:
    virtual ~SoundOutput() = default;
    virtual void setPaused(bool paused) = 0;
    // Whether the mixer runs on its own clock; otherwise it moves only as the movie's frames pass.
    virtual bool realTime() const { return true; }
    // The movie's time moved by `frames` (44.1 kHz): an output without a clock of its own mixes them now.
    virtual void advance(size_t frames) { (void)frames; }
};

// Names the WAV file that a plug-in instance writes its sound to instead of playing it.
inline constexpr const char* kCaptureVariable = "REELFINCH_AUDIO_CAPTURE";
// Set to "movie" by hosts that play movies on a clock of their own (faster or slower than real time, as the
// script runner does): sound then moves with the movie's frames, heard nowhere, so that sounds end, and their
// completion events come, at the same movie time on every run.
inline constexpr const char* kClockVariable = "REELFINCH_SOUND_CLOCK";

// The desktop's sound server through libpulse; null when no server answers.
std::unique_ptr<SoundOutput> OpenPulseOutput(SoundMixer& mixer, const std::string& streamName);
// A thread that pulls the mixer in real time and drops what it gets.
std::unique_ptr<SoundOutput> OpenSilentOutput(SoundMixer& mixer);
// Pulls the mixer as the movie's frames pass and drops what it gets.
std::unique_ptr<SoundOutput> OpenMovieClockOutput(SoundMixer& mixer);
// 44.1 kHz 16-bit stereo WAV at `path`; its header is complete once the output is destroyed. Null when the
// file cannot be made.
std::unique_ptr<SoundOutput> OpenWavOutput(SoundMixer& mixer, const std::string& path);
// The same on a file opened for writing elsewhere (the confined engine gets it from the proxy); takes the
// descriptor.
std::unique_ptr<SoundOutput> OpenWavOutput(SoundMixer& mixer, int descriptor);

// The confined movie engine's sound: mixed frames written to `descriptor` (a pipe whose other end the proxy plays
// through the sound server), as fast as the pipe takes them, so the server's clock paces the mixer. The
// descriptor is the output's own and closed with it. `paused` hears play and pause, for the proxy to stop and
// restart its stream.
std::unique_ptr<SoundOutput> OpenPipeOutput(SoundMixer& mixer, int descriptor, std::function<void(bool)> paused);
// The proxy's side: the frames read from `descriptor` (non-blocking; 44.1 kHz stereo 16-bit) played through the
// sound server as one stream, taken from the pipe only as fast as the server plays them. Null when no server
// answers; the descriptor stays the caller's.
std::unique_ptr<SoundOutput> OpenPulsePlayback(int descriptor, const std::string& streamName);
// What the pipe between engine and proxy holds at most (with the server's buffer, the sound's latency): two
// pages, about 46 ms. A pipe keeps whole pages: with two, one can be refilled while the other is read, so the
// proxy never finds it empty while the engine keeps up.
inline constexpr int kPipeBytes = 8192;

// What OpenDefaultOutput uses in place of the sound server when set (the confined engine asks its proxy for a
// stream); a null answer falls back to the silent clock.
using OutputFactory = std::function<std::unique_ptr<SoundOutput>(SoundMixer& mixer, const std::string& streamName)>;
void SetOutputFactory(OutputFactory factory);
// Whether the no-server message was given in this process, and gives it if not (once per process).
void SayNoSoundServer();

// Keeps OpenDefaultOutput from trying the sound server: a process that cannot reach one (the confined movie
// engine) goes straight to the silent clock, without saying so.
void DisableSoundServer();
// Hands OpenDefaultOutput the capture file already open (the confined engine cannot open it): the next output
// opened writes to it, in place of the file the capture variable names.
void SetCaptureDescriptor(int descriptor);

// What a plug-in instance uses: the capture file when the variable names one, else the movie's clock when the
// clock variable asks for it, else the sound server, else the silent clock (saying so once per process on standard error).
std::unique_ptr<SoundOutput> OpenDefaultOutput(SoundMixer& mixer, const std::string& streamName);

} // namespace reelfinch::plugin::sound
