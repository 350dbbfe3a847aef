// A debug host that records what a run reports, for in-process run tests.
#pragma once

#include <string>
#include <vector>

#include "startup/debug_host.hpp"

namespace trelm::testing_support {

class RecordingHost final : public DebugHost {
public:
    struct Message {
        std::string text;
        bool serious;
    };
    std::vector<std::string> logs;
    std::vector<Message> messages;
    int suspended = 0, resumed = 0, statements = 0;

    void onResumed() override { ++resumed; }
    void onSuspended() override { ++suspended; }
    void onStatement(std::int32_t, std::int32_t) override { ++statements; }
    void onEnterFrame(std::int32_t, std::int32_t, std::int32_t) override {}
    void onLeaveFrame() override {}
    void onLog(const char* text) override { logs.emplace_back(text); }
    int onMessage(const char* text, bool serious) override {
        messages.push_back({text, serious});
        return 0;
    }
    void onSystemEvent(std::int32_t) override {}

    std::vector<std::string> errors() const {
        std::vector<std::string> out;
        for (const auto& m : messages)
            if (m.serious) out.push_back(m.text);
        return out;
    }
};

}  // namespace trelm::testing_support
