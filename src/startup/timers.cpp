#include "startup/timers.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "startup/handles.hpp"
#include "startup/runtime_error.hpp"

namespace trelm {

namespace {

using Clock = std::chrono::steady_clock;

class FrameTimer {
public:
    explicit FrameTimer(std::chrono::milliseconds period) : period_(period), thread_([this] { tickLoop(); }) {}

    ~FrameTimer() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    std::int32_t wait() {
        std::unique_lock lock(mutex_);
        // Waits of at most a second each, as the event is auto-reset.
        while (!signalled_) wake_.wait_for(lock, std::chrono::milliseconds(1000));
        signalled_ = false;
        std::uint32_t now = ticks_.load(std::memory_order_relaxed);
        auto elapsed = static_cast<std::int32_t>(now - seen_);
        seen_ = now;
        return elapsed;
    }

private:
    void tickLoop() {
        auto next = Clock::now() + period_;
        std::unique_lock lock(mutex_);
        for (;;) {
            if (wake_.wait_until(lock, next, [this] { return stopping_; })) return;
            ticks_.fetch_add(1, std::memory_order_relaxed);
            signalled_ = true;
            wake_.notify_all();
            next += period_;
            // After a long stall (a suspended process), keep the rate instead of bursting.
            if (Clock::now() - next > std::chrono::seconds(1)) next = Clock::now() + period_;
        }
    }

    const std::chrono::milliseconds period_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool signalled_ = false;
    bool stopping_ = false;
    std::atomic<std::uint32_t> ticks_{0};
    std::uint32_t seen_ = 0;
    std::thread thread_;  // last: starts once every other member exists
};

HandleRegistry<FrameTimer>& timers() {
    static HandleRegistry<FrameTimer> registry;
    return registry;
}

}  // namespace

std::int32_t createTimer(std::int32_t hertz) {
    if (hertz == 0) raiseRuntimeError("Integer divide by zero");
    if (hertz < 0 || hertz > 1000) raiseRuntimeError("Timer rate must be from 1 to 1000 ticks per second");
    return timers().add(std::make_unique<FrameTimer>(std::chrono::milliseconds(1000 / hertz)));
}

std::int32_t waitTimer(std::int32_t timer) {
    FrameTimer* t = timers().find(timer);
    if (!t) raiseRuntimeError("Timer does not exist");
    return t->wait();
}

void freeTimer(std::int32_t timer) { timers().remove(timer); }

void freeAllTimers() { timers().clear(); }

}  // namespace trelm
