// The edge between linked module code and the runtime. Module code has no unwind
// information, so a kxEx must never travel through its frames: every entry point
// that a module reaches catches it at this boundary and, when its caller is
// module code, jumps straight back to the run that called the module's entry.
// C++ callers (the game, a host) get the exception rethrown as usual.
#pragma once

#include <cstddef>
#include <cstdint>

#include "startup/runtime_error.hpp"

namespace trelm {

// Loaded module images, whose code is "foreign" to the C++ unwinder.
void registerModuleImage(const void* base, std::size_t size);
bool isModuleCode(const void* address);

// Leaves module code for the innermost guarded entry call. `report` asks the
// run to report the message first (faults are reported once back on the main
// stack, not inside the signal handler).
[[noreturn]] void escapeToRun(const char* message, bool report);

// Calls a module entry. Returns normally when the entry returned; when the run
// escaped, returns false with the message (null for a quiet end) in `message`
// and whether it still has to be reported in `report`. A kxEx thrown by a C++
// entry propagates to the caller.
bool callEntryGuarded(void (*entry)(), const char*& message, bool& report);

// True while a guarded entry call is in progress on this thread.
bool insideGuardedEntry();

template <auto Fn>
struct ModuleBoundary;

template <typename R, typename... A, R (*Fn)(A...)>
struct ModuleBoundary<Fn> {
    [[gnu::noinline]] static R call(A... args) {
        const char* message;
        try {
            return Fn(args...);
        } catch (const kxEx& e) {
            if (!isModuleCode(__builtin_return_address(0))) throw;
            message = e.message;
        }
        escapeToRun(message, false);
    }
};

}  // namespace trelm
