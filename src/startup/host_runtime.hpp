// The interface a host (this process's own entry, or a development host such as
// an editor) drives the runtime through. The ten virtual operations are in slot
// order and take the interface as hidden first argument.
#pragma once

#include <cstdint>
#include <streambuf>

namespace trelm {

class DebugHost;

inline constexpr std::int32_t kRuntimeVersion = 66642;

class HostRuntime {
public:
    virtual std::int32_t getVersion() = 0;
    // The next registered name of the walk, null past the last. A call while the
    // table is empty registers every library afresh and starts at the smallest name.
    virtual const char* nextSymbolName() = 0;
    // The value registered under exactly that name, or -1 (only during a walk).
    virtual std::intptr_t lookupSymbol(const char* name) = 0;
    virtual void attach(void* instance) = 0;
    virtual void detach() = 0;
    // Callable from any thread; they only post requests to an active run.
    virtual void requestSuspend() = 0;
    virtual void requestResume() = 0;
    virtual void requestEnd() = 0;
    virtual void reportMemory(std::streambuf* out) = 0;
    virtual void runModule(void (*entry)(), const char* commandLine, DebugHost* host) = 0;

protected:
    ~HostRuntime() = default;
};

}  // namespace trelm

// The one static instance, created on first use and never destroyed.
extern "C" trelm::HostRuntime* runtimeGetRuntime();
