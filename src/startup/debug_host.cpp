#include "startup/debug_host.hpp"

#include "platform/dialogs.hpp"

namespace trelm {

namespace {

class DefaultDebugHost final : public DebugHost {
public:
    void onResumed() override {}
    void onSuspended() override {}
    void onStatement(std::int32_t, std::int32_t) override {}
    void onEnterFrame(std::int32_t, std::int32_t, std::int32_t) override {}
    void onLeaveFrame() override {}
    void onLog(const char*) override {}
    int onMessage(const char* text, bool serious) override {
        if (serious) showDialog({text, "Error!", DialogIcon::Error, false});
        return 0;
    }
    void onSystemEvent(std::int32_t) override {}
};

}  // namespace

DebugHost& defaultDebugHost() {
    static DefaultDebugHost host;
    return host;
}

}  // namespace trelm
