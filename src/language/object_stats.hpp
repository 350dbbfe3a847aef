// Counts of objects of program types, kept by the object support and printed
// by RuntimeStats.
#pragma once

#include <cstdint>

namespace trelm {

struct ObjectStats {
    std::int32_t active = 0;      // created and not deleted
    std::int32_t unreleased = 0;  // memory blocks still held, deleted or not
};

ObjectStats& objectStats();

}  // namespace trelm
