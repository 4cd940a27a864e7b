// The system output volume: the default PulseAudio sink's (PulseAudio or PipeWire's PulseAudio service). Each call
// connects, does its one job and disconnects, never waiting more than a bounded time. Without a sound server the
// volume reads 0.0 and setting it does nothing; nothing is reported.
#pragma once

#include <optional>

// The default sink's volume, 1.0 being the sink's normal (100 %) volume; the loudest channel counts. 0.0 when
// there is no server or no default sink.
float outputVolume();

// The same volume, or nothing when there is no server or no default sink, for callers that show the difference.
std::optional<float> defaultOutputVolume();

// Sets every channel of the default sink to the volume (clamped to 0.0-1.0). True when the server took it.
bool setOutputVolume(float volume);
