// Work shared between the drawing thread and a second one, for pictures big enough to repay it.
#pragma once

#include <thread>
#include <type_traits>

namespace reelfinch::plugin {

// Runs `run(context, from, to)` over 0 to `count`: the upper half on the kept helper thread while this one does
// the lower half, or both halves here when the helper is busy with another caller's half, has not got to the
// upper half by the time the lower one is done, or cannot be started.
void SplitInTwo(int count, void (*run)(void*, int, int), void* context);

// Runs `part(from, to)` over 0 to `count`, in two halves on two threads when that can be had (each part is worked
// out on its own, so the result is the same as one run over the whole); all here when there is one core or one
// part.
template <typename Part> void InTwo(int count, Part&& part)
{
    static const bool twoCores = std::thread::hardware_concurrency() > 1;
    if (!twoCores || count < 2) {
        part(0, count);
        return;
    }
    using Callable = std::remove_reference_t<Part>;
    SplitInTwo(
        count, [](void* context, int from, int to) { (*static_cast<Callable*>(context))(from, to); },
        const_cast<void*>(static_cast<const void*>(&part)));
}

} // namespace reelfinch::plugin
