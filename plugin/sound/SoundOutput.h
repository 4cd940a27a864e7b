// Where a movie's mixed sound goes: the desktop's sound server (one stream per movie, on a thread of its own),
// a silent clock when there is no server (sounds still end and streams still pace the pictures), or a WAV file
// written frame by frame as the movie's time passes (exports: the same on every run, no server needed).
#pragma once

#include <cstddef>
#include <cstdint>
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

// The desktop's sound server through libpulse; null when no server answers.
std::unique_ptr<SoundOutput> OpenPulseOutput(SoundMixer& mixer, const std::string& streamName);
// A thread that pulls the mixer in real time and drops what it gets.
std::unique_ptr<SoundOutput> OpenSilentOutput(SoundMixer& mixer);
// 44.1 kHz 16-bit stereo WAV at `path`; its header is complete once the output is destroyed. Null when the
// file cannot be made.
std::unique_ptr<SoundOutput> OpenWavOutput(SoundMixer& mixer, const std::string& path);
// The same on a file opened for writing elsewhere (the confined engine gets it from the proxy); takes the
// descriptor.
std::unique_ptr<SoundOutput> OpenWavOutput(SoundMixer& mixer, int descriptor);

// Keeps OpenDefaultOutput from trying the sound server: a process that cannot reach one (the confined movie
// engine) goes straight to the silent clock, without saying so.
void DisableSoundServer();
// Hands OpenDefaultOutput the capture file already open (the confined engine cannot open it): the next output
// opened writes to it, in place of the file the capture variable names.
void SetCaptureDescriptor(int descriptor);

// What a plug-in instance uses: the capture file when the variable names one, else the sound server, else
// the silent clock (saying so once per process on standard error).
std::unique_ptr<SoundOutput> OpenDefaultOutput(SoundMixer& mixer, const std::string& streamName);

} // namespace reelfinch::plugin::sound
