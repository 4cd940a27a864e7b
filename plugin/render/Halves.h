// Work shared between the drawing thread and a second one, for pictures big enough to repay starting a thread.
#pragma once

#include <system_error>
#include <thread>

namespace reelfinch::plugin {

// Runs `part(from, to)` over 0 to `count`: the upper half on a second thread while this one does the lower half
// (each part is worked out on its own, so the result is the same as one run over the whole); all here when there
// is one core, one part, or no thread to be had.
template <typename Part> void InTwo(int count, Part&& part)
{
    static const bool twoCores = std::thread::hardware_concurrency() > 1;
    if (!twoCores || count < 2) {
        part(0, count);
        return;
    }
    const int half = count / 2;
    std::thread upper;
    try {
        upper = std::thread([&] { part(half, count); });
    } catch (const std::system_error&) {
        part(0, count);
        return;
    }
    part(0, half);
    upper.join();
}

} // namespace reelfinch::plugin
