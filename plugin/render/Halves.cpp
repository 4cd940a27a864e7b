#include "render/Halves.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <utility>

namespace reelfinch::plugin {

namespace {

// One thread kept for the life of the process, shared by every renderer in it. It takes one half-job at a time:
// a caller claims it, hands it the upper half and does the lower half itself, then waits for it or takes the
// upper half back if the helper has not begun it. The job's description and the memory it writes pass between
// the threads through the mutex. A caller that finds the helper claimed (another renderer's thread, or a half
// that itself splits its work) does all the work itself, so no one ever waits on a helper that waits on them.
class Helper {
public:
    ~Helper()
    {
        {
            std::lock_guard hold(lock_);
            stopping_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable())
            thread_.join();
    }

    // Hands the helper `run(context, from, to)` and returns true, or returns false when the helper is
    // claimed or has no thread.
    bool Start(void (*run)(void*, int, int), void* context, int from, int to)
    {
        {
            std::lock_guard hold(lock_);
            if (state_ != State::Idle || stopping_)
                return false;
            if (!thread_.joinable()) {
                try {
                    thread_ = std::thread([this] { Serve(); });
                } catch (const std::system_error&) {
                    return false;
                }
            }
            run_ = run;
            context_ = context;
            from_ = from;
            to_ = to;
            failure_ = nullptr;
            state_ = State::Waiting;
        }
        wake_.notify_one();
        return true;
    }

    // Waits for the half handed over by Start to be done, doing it here if the helper has not begun it, and
    // frees the helper for the next caller. Passes on what the half threw.
    void Finish()
    {
        std::unique_lock hold(lock_);
        if (state_ == State::Waiting) {
            state_ = State::Idle;
            const auto run = run_;
            void* const context = context_;
            const int from = from_, to = to_;
            hold.unlock();
            run(context, from, to);
            return;
        }
        done_.wait(hold, [this] { return state_ == State::Done; });
        state_ = State::Idle;
        if (std::exception_ptr failure = std::exchange(failure_, nullptr))
            std::rethrow_exception(failure);
    }

private:
    enum class State { Idle, Waiting, Running, Done };

    void Serve()
    {
        std::unique_lock hold(lock_);
        for (;;) {
            wake_.wait(hold, [this] { return state_ == State::Waiting || stopping_; });
            if (state_ != State::Waiting)
                return;
            state_ = State::Running;
            hold.unlock();
            std::exception_ptr failure;
            try {
                run_(context_, from_, to_);
            } catch (...) {
                failure = std::current_exception();
            }
            hold.lock();
            failure_ = failure;
            state_ = State::Done;
            done_.notify_one();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_, done_;
    std::thread thread_;
    State state_ = State::Idle;
    bool stopping_ = false;
    void (*run_)(void*, int, int) = nullptr;
    void* context_ = nullptr;
    int from_ = 0, to_ = 0;
    std::exception_ptr failure_;
};

} // namespace

void SplitInTwo(int count, void (*run)(void*, int, int), void* context)
{
    static Helper helper;
    const int half = count / 2;
    if (!helper.Start(run, context, half, count)) {
        run(context, 0, count);
        return;
    }
    try {
        run(context, 0, half);
    } catch (...) {
        // The upper half works on the same memory: it must be over before the caller's frames go.
        try {
            helper.Finish();
        } catch (...) {
        }
        throw;
    }
    helper.Finish();
}

} // namespace reelfinch::plugin
