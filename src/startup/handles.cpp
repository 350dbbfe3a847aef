#include "startup/handles.hpp"

#include <atomic>

namespace trelm {

std::int32_t nextHandleId() {
    static std::atomic<std::uint32_t> counter{0};
    for (;;) {
        std::uint32_t id = (counter.fetch_add(1, std::memory_order_relaxed) + 1) & 0x7fffffffu;
        if (id != 0) return static_cast<std::int32_t>(id);
    }
}

}  // namespace trelm
