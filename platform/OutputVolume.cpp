#include "OutputVolume.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/volume.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>

namespace {

constexpr const char* kClientName = "Reelfinch";
// The longest one volume call may take, connection included: the panel polls on the main thread.
constexpr std::chrono::milliseconds kTimeout(1500);
// How long one turn of the main loop may wait for the server.
constexpr int kPollMilliseconds = 10;

// One connection to the server, made and closed around a single request.
class PulseConnection
{
public:
    PulseConnection()
    {
        _loop = pa_mainloop_new();
        if (!_loop)
            return;
        _context = pa_context_new(pa_mainloop_get_api(_loop), kClientName);
        // No server is no volume: never start one.
        if (!_context || pa_context_connect(_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            return;
        _deadline = std::chrono::steady_clock::now() + kTimeout;
        while (true) {
            const pa_context_state_t state = pa_context_get_state(_context);
            if (state == PA_CONTEXT_READY) {
                _ready = true;
                return;
            }
            if (!PA_CONTEXT_IS_GOOD(state) || !turn())
                return;
        }
    }

    ~PulseConnection()
    {
        if (_context) {
            pa_context_disconnect(_context);
            pa_context_unref(_context);
        }
        if (_loop)
            pa_mainloop_free(_loop);
    }

    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    bool ready() const { return _ready; }
    pa_context* context() const { return _context; }

    // Runs the loop until the operation is done; false when it failed or took too long (it is then cancelled).
    bool wait(pa_operation* operation)
    {
        if (!operation)
            return false;
        bool done = true;
        while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
            if (!turn()) {
                pa_operation_cancel(operation);
                done = false;
                break;
            }
        }
        if (pa_operation_get_state(operation) != PA_OPERATION_DONE)
            done = false;
        pa_operation_unref(operation);
        return done;
    }

private:
    // One turn of the main loop, waiting at most a short while; false once the time is up or the loop failed.
    bool turn()
    {
        if (std::chrono::steady_clock::now() > _deadline)
            return false;
        if (pa_mainloop_prepare(_loop, kPollMilliseconds * 1000) < 0 || pa_mainloop_poll(_loop) < 0
            || pa_mainloop_dispatch(_loop) < 0)
            return false;
        return true;
    }

    pa_mainloop* _loop = nullptr;
    pa_context* _context = nullptr;
    bool _ready = false;
    std::chrono::steady_clock::time_point _deadline;
};

struct SinkQuery {
    std::string name;
    pa_cvolume volume {};
    bool found = false;
};

void onServerInfo(pa_context*, const pa_server_info* info, void* data)
{
    auto* query = static_cast<SinkQuery*>(data);
    if (info && info->default_sink_name)
        query->name = info->default_sink_name;
}

void onSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* data)
{
    auto* query = static_cast<SinkQuery*>(data);
    if (eol || !info)
        return;
    query->volume = info->volume;
    query->found = true;
}

void onSuccess(pa_context*, int success, void* data)
{
    *static_cast<bool*>(data) = success != 0;
}

// The default sink's name and volume, through an open connection.
bool readDefaultSink(PulseConnection& connection, SinkQuery& query)
{
    if (!connection.wait(pa_context_get_server_info(connection.context(), onServerInfo, &query)) || query.name.empty())
        return false;
    return connection.wait(
               pa_context_get_sink_info_by_name(connection.context(), query.name.c_str(), onSinkInfo, &query))
        && query.found && pa_cvolume_valid(&query.volume);
}

} // namespace

float outputVolume()
{
    return defaultOutputVolume().value_or(0.0f);
}

std::optional<float> defaultOutputVolume()
{
    PulseConnection connection;
    SinkQuery query;
    if (!connection.ready() || !readDefaultSink(connection, query))
        return std::nullopt;
    return float(double(pa_cvolume_max(&query.volume)) / PA_VOLUME_NORM);
}

bool setOutputVolume(float volume)
{
    if (!std::isfinite(volume))
        return false;
    PulseConnection connection;
    SinkQuery query;
    if (!connection.ready() || !readDefaultSink(connection, query))
        return false;
    const double clamped = std::clamp(double(volume), 0.0, 1.0);
    pa_cvolume target;
    pa_cvolume_set(&target, query.volume.channels, pa_volume_t(std::lround(clamped * PA_VOLUME_NORM)));
    bool success = false;
    return connection.wait(pa_context_set_sink_volume_by_name(
               connection.context(), query.name.c_str(), &target, onSuccess, &success))
        && success;
}
