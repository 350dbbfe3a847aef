// Turns processor faults raised on the run's thread into runtime errors:
// "Memory access violation", "Illegal instruction", "Integer divide by zero",
// "Stack overflow!" and "Unknown runtime exception".
//
// Mechanism: signal handlers on an alternate stack (so a stack overflow can be
// handled). A fault inside a guarded entry call jumps back to the run, which
// reports the message on the normal stack; anything else gets the previous
// handling (the process dies as it would have).
#pragma once

#include <csignal>

namespace trelm {

// Installs the translator for its lifetime, restoring the previous handlers after.
class FaultTranslatorScope {
public:
    FaultTranslatorScope();
    ~FaultTranslatorScope();
    FaultTranslatorScope(const FaultTranslatorScope&) = delete;
    FaultTranslatorScope& operator=(const FaultTranslatorScope&) = delete;

private:
    struct sigaction previous_[4];
    stack_t previousStack_{};
    void* stack_ = nullptr;
};

// The message for a fault, as the translator reports it (exposed for tests).
const char* faultMessage(int signal, int code, bool nearStackPointer);

}  // namespace trelm
