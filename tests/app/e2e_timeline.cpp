// A timeline for the recording test plug-in in the end-to-end run: the movie has 50 frames and moves on one
// frame every 0.1 seconds from its first frame query; every CurrentFrame answer is appended to the file named
// by REELFINCH_E2E_LOG, so the test sees the player watch a movie that plays.
#include "TestPluginControl.h"
#include "npruntime.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

extern "C" TestPluginControl* TestPlugin_Control();

namespace {

constexpr int kFrames = 50;
constexpr int kFrameMs = 100;

// Runs after the plug-in's own state is built: GNU toolchains run a shared object's initialisers in link order,
// and TestPlugin.cpp is linked first.
struct Timeline {
    Timeline()
    {
        TestPlugin_Control()->answer = [](const std::string& method, const NPVariant*, uint32_t, NPVariant* result) {
            using Clock = std::chrono::steady_clock;
            static const Clock::time_point start = Clock::now();
            if (method == "TotalFrames") {
                INT32_TO_NPVARIANT(kFrames, *result);
            } else if (method == "CurrentFrame") {
                const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
                const int frame = static_cast<int>(elapsed.count() / kFrameMs) % kFrames;
                INT32_TO_NPVARIANT(frame, *result);
                if (const char* log = std::getenv("REELFINCH_E2E_LOG")) {
                    if (FILE* file = std::fopen(log, "a")) {
                        std::fprintf(file, "CurrentFrame %d\n", frame);
                        std::fclose(file);
                    }
                }
            }
        };
        // The recorded calls would grow with every query of a long run; this plug-in keeps none.
        TestPlugin_Control()->during = [](const std::string&, NPP, void*) { TestPlugin_Control()->calls.clear(); };
    }
};

const Timeline timeline;

} // namespace
