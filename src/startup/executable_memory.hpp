// Memory for linked module images: readable, writable (the image holds the
// module's own data) and executable, mapped in the low 2 GiB so that 32-bit
// fix-ups reach it. The platform layer provides it.
#pragma once

#include <cstddef>

namespace trelm {

// Null when no such memory can be had.
void* mapLowExecutable(std::size_t size);
void unmapExecutable(void* memory, std::size_t size);

}  // namespace trelm
