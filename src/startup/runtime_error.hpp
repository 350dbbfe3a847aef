// Runtime errors: the one way a command ends the run. The message is reported
// (shown or sent to the debug host) at the moment of raising, then kxEx unwinds
// back to the run, which shuts every library down.
#pragma once

namespace trelm {

// A null message is a quiet end (End, a closed window): never shown.
struct kxEx {
    const char* message;  // static storage: valid after the throw
};

// Reports the message through the run's reporter, then throws kxEx.
[[noreturn]] void raiseRuntimeError(const char* message);

// Ends the run without a message (End, or a command that found the program may not go on).
[[noreturn]] void endRunQuietly();

// What a run reports through. The application runtime implements it for the
// duration of a run; outside a run nothing is reported.
class RunReporter {
public:
    virtual void reportError(const char* text) = 0;
    virtual int reportInfo(const char* text) = 0;
    virtual void logText(const char* text) = 0;

protected:
    ~RunReporter() = default;
};

void setRunReporter(RunReporter* reporter);
RunReporter* runReporter();

// Shorthands that do nothing outside a run.
void reportError(const char* text);
int reportInfo(const char* text);
void logText(const char* text);

}  // namespace trelm
