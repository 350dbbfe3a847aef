// Counts every allocation made through the global operator new, so benchmarks
// can report how many allocations an operation costs.
#pragma once

#include <cstdint>

namespace trelm::bench {

std::uint64_t allocationCount();

}  // namespace trelm::bench
