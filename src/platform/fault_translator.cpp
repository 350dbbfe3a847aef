#include "platform/fault_translator.hpp"

#include <sys/ucontext.h>

#include <cstdint>
#include <cstdlib>

#include "startup/module_boundary.hpp"

namespace trelm {

namespace {

constexpr int kSignals[4] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr std::size_t kAltStackSize = 256 * 1024;
// A fault this close to the stack pointer is the stack running into its guard.
constexpr std::uintptr_t kStackSlack = 64 * 1024;

struct sigaction* g_previous = nullptr;

bool faultNearStackPointer(const siginfo_t* info, const void* context) {
#if defined(__x86_64__)
    auto* uc = static_cast<const ucontext_t*>(context);
    auto sp = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
    auto addr = reinterpret_cast<std::uintptr_t>(info->si_addr);
    return addr + kStackSlack >= sp && addr <= sp + kStackSlack;
#else
    (void)info;
    (void)context;
    return false;
#endif
}

void onFault(int sig, siginfo_t* info, void* context) {
    if (!insideGuardedEntry()) {
        // Not ours: put the previous handling back and let the fault happen again.
        for (int i = 0; i < 4; ++i)
            if (kSignals[i] == sig && g_previous) sigaction(sig, &g_previous[i], nullptr);
        return;
    }
    bool nearSp = (sig == SIGSEGV || sig == SIGBUS) && faultNearStackPointer(info, context);
    escapeToRun(faultMessage(sig, info->si_code, nearSp), true);
}

}  // namespace

const char* faultMessage(int sig, int code, bool nearStackPointer) {
    switch (sig) {
        case SIGSEGV:
        case SIGBUS:
            return nearStackPointer ? "Stack overflow!" : "Memory access violation";
        case SIGILL:
            return "Illegal instruction";
        case SIGFPE:
            return code == FPE_INTDIV ? "Integer divide by zero" : "Unknown runtime exception";
        default:
            return "Unknown runtime exception";
    }
}

FaultTranslatorScope::FaultTranslatorScope() {
    stack_ = std::malloc(kAltStackSize);
    stack_t ss{};
    ss.ss_sp = stack_;
    ss.ss_size = kAltStackSize;
    ss.ss_flags = 0;
    sigaltstack(&ss, &previousStack_);

    struct sigaction sa{};
    sa.sa_sigaction = onFault;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < 4; ++i) sigaction(kSignals[i], &sa, &previous_[i]);
    g_previous = previous_;
}

FaultTranslatorScope::~FaultTranslatorScope() {
    for (int i = 0; i < 4; ++i) sigaction(kSignals[i], &previous_[i], nullptr);
    g_previous = nullptr;
    sigaltstack(&previousStack_, nullptr);
    std::free(stack_);
}

}  // namespace trelm
