#include "startup/runtime_error.hpp"

namespace trelm {

namespace {
RunReporter* g_reporter = nullptr;
}

void setRunReporter(RunReporter* reporter) { g_reporter = reporter; }
RunReporter* runReporter() { return g_reporter; }

void reportError(const char* text) {
    if (g_reporter) g_reporter->reportError(text);
}

int reportInfo(const char* text) { return g_reporter ? g_reporter->reportInfo(text) : 0; }

void logText(const char* text) {
    if (g_reporter) g_reporter->logText(text);
}

void raiseRuntimeError(const char* message) {
    reportError(message);
    throw kxEx{message};
}

void endRunQuietly() { throw kxEx{nullptr}; }

}  // namespace trelm
