// A debug host for the console: log lines to standard output, messages to
// standard error as "error: ..." or "info: ...". Never shows a dialog.
#pragma once

#include <cstdio>

#include "startup/debug_host.hpp"

namespace trelm {

class ConsoleDebugHost final : public DebugHost {
public:
    explicit ConsoleDebugHost(std::FILE* log = stdout, std::FILE* messages = stderr)
        : log_(log), messages_(messages) {}

    void onResumed() override {}
    void onSuspended() override {}
    void onStatement(std::int32_t, std::int32_t) override {}
    void onEnterFrame(std::int32_t, std::int32_t, std::int32_t) override {}
    void onLeaveFrame() override {}
    void onLog(const char* text) override {
        std::fprintf(log_, "%s\n", text);
        std::fflush(log_);
    }
    int onMessage(const char* text, bool serious) override {
        std::fprintf(messages_, "%s: %s\n", serious ? "error" : "info", text);
        std::fflush(messages_);
        return 0;
    }
    void onSystemEvent(std::int32_t) override {}

private:
    std::FILE* log_;
    std::FILE* messages_;
};

}  // namespace trelm
