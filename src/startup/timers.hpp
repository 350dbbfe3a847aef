// Frame timers: each ticks on a thread of its own at a fixed rate, counting
// ticks and waking whoever waits on it.
#pragma once

#include <cstdint>

namespace trelm {

// Creates a timer ticking `hertz` times a second (1 .. 1000) and returns its handle.
// A rate of 0 is "Integer divide by zero"; other rates out of range are refused.
std::int32_t createTimer(std::int32_t hertz);
// Waits for the next tick; returns the ticks counted since the previous wait.
std::int32_t waitTimer(std::int32_t timer);
// Frees a timer; an unknown handle does nothing.
void freeTimer(std::int32_t timer);
// Frees every timer still alive (end of a run).
void freeAllTimers();

}  // namespace trelm
