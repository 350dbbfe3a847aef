#include "startup/module_boundary.hpp"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace trelm {

namespace {

struct ImageRange {
    std::uintptr_t begin, end;
};

std::vector<ImageRange>& images() {
    static std::vector<ImageRange> list;
    return list;
}

struct EscapePoint {
    sigjmp_buf jump;
    const char* message = nullptr;
    bool report = false;
    EscapePoint* outer = nullptr;
};

thread_local EscapePoint* t_escape = nullptr;

}  // namespace

void registerModuleImage(const void* base, std::size_t size) {
    auto b = reinterpret_cast<std::uintptr_t>(base);
    images().push_back({b, b + size});
}

bool isModuleCode(const void* address) {
    auto a = reinterpret_cast<std::uintptr_t>(address);
    for (const ImageRange& r : images())
        if (a >= r.begin && a < r.end) return true;
    return false;
}

bool insideGuardedEntry() { return t_escape != nullptr; }

void escapeToRun(const char* message, bool report) {
    EscapePoint* point = t_escape;
    if (!point) {
        // Module code running outside a run has nowhere to go back to.
        std::fputs(message ? message : "module code ended outside a run", stderr);
        std::fputc('\n', stderr);
        std::_Exit(1);
    }
    point->message = message;
    point->report = report;
    siglongjmp(point->jump, 1);
}

// Kept free of objects with destructors: the jump back lands in this frame.
bool callEntryGuarded(void (*entry)(), const char*& message, bool& report) {
    EscapePoint point;
    point.outer = t_escape;
    if (sigsetjmp(point.jump, 1) != 0) {
        t_escape = point.outer;
        message = point.message;
        report = point.report;
        return false;
    }
    t_escape = &point;
    try {
        entry();
    } catch (...) {
        t_escape = point.outer;
        throw;
    }
    t_escape = point.outer;
    return true;
}

}  // namespace trelm
