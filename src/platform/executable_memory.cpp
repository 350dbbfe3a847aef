#include "startup/executable_memory.hpp"

#include <sys/mman.h>

namespace trelm {

void* mapLowExecutable(std::size_t size) {
    if (size == 0) return nullptr;
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_32BIT
    flags |= MAP_32BIT;
#endif
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE | PROT_EXEC, flags, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void unmapExecutable(void* memory, std::size_t size) {
    if (memory) munmap(memory, size);
}

}  // namespace trelm
