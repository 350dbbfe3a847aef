#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace listd {

// Wall-clock milliseconds: entry deadlines are persisted and shared between
// front ends, so they must mean the same thing across restarts and machines.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::int64_t nowMs() const = 0;
};

class SystemClock final : public Clock {
public:
    std::int64_t nowMs() const override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    }
};

// Tests move time by hand to exercise expiry and rate limits.
class ManualClock final : public Clock {
public:
    explicit ManualClock(std::int64_t start = 1'700'000'000'000) : now_(start) {}
    std::int64_t nowMs() const override { return now_.load(); }
    void advanceMs(std::int64_t ms) { now_ += ms; }

private:
    std::atomic<std::int64_t> now_;
};

}  // namespace listd
