// The interface through which a run reports to a debugger. The eight virtual
// operations are in slot order; a host implements all of them.
#pragma once

#include <cstdint>

namespace trelm {

class DebugHost {
public:
    virtual void onResumed() = 0;
    virtual void onSuspended() = 0;
    virtual void onStatement(std::int32_t a, std::int32_t b) = 0;
    virtual void onEnterFrame(std::int32_t a, std::int32_t b, std::int32_t c) = 0;
    virtual void onLeaveFrame() = 0;
    virtual void onLog(const char* text) = 0;
    // serious: an error report; otherwise an information report. The result is
    // handed back to whoever made an information report.
    virtual int onMessage(const char* text, bool serious) = 0;
    virtual void onSystemEvent(std::int32_t value) = 0;

protected:
    ~DebugHost() = default;
};

// The host used when runModule is given none: silent except for serious
// messages, which it shows in a box captioned "Error!".
DebugHost& defaultDebugHost();

}  // namespace trelm
