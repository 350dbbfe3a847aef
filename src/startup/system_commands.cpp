#include "startup/system_commands.hpp"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

#include "language/runtime_string.hpp"
#include "platform/app_runtime.hpp"
#include "platform/environment.hpp"
#include "startup/run_state.hpp"
#include "startup/runtime_error.hpp"
#include "startup/symbol_registry.hpp"
#include "startup/timers.hpp"

namespace trelm {

namespace {

// Commands only run inside a run; the application runtime is always there then.
AppRuntime& app() {
    AppRuntime* a = currentApp();
    if (!a) raiseRuntimeError("No program is running");
    return *a;
}

void goOnOrEnd(bool mayGoOn) {
    if (!mayGoOn) endRunQuietly();
}

}  // namespace

extern "C" {

void cmd_End() { endRunQuietly(); }

void cmd_Stop() { goOnOrEnd(app().stop()); }

void cmd_AppTitle(RuntimeString* title, RuntimeString* close_prompt) {
    std::string t = takeString(title);
    std::string p = takeString(close_prompt);
    app().setTitle(std::move(t), std::move(p));
}

void cmd_RuntimeError(RuntimeString* message) {
    static char buffer[256];
    std::string text = takeString(message);
    std::size_t n = std::min<std::size_t>(text.size(), 255);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    raiseRuntimeError(buffer);
}

void cmd_ExecFile(RuntimeString* command) {
    std::string text = takeString(command);
    app().execute(text);
    goOnOrEnd(app().idle());
}

void cmd_Delay(std::int32_t millisecs) { goOnOrEnd(app().delay(millisecs)); }

std::int32_t cmd_MilliSecs() {
    // A monotonic counter that wraps at 2^32, read as a signed int.
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ms.count()));
}

RuntimeString* cmd_CommandLine() { return newString(app().commandLine()); }

RuntimeString* cmd_SystemProperty(RuntimeString* property) {
    std::string name = takeString(property);
    return newString(app().systemProperty(name));
}

RuntimeString* cmd_GetEnv(RuntimeString* env_var) {
    return newString(environmentVariable(takeString(env_var)).value_or(""));
}

void cmd_SetEnv(RuntimeString* env_var, RuntimeString* value) {
    std::string name = takeString(env_var);
    setEnvironmentVariable(name, takeString(value));
}

std::int32_t cmd_CreateTimer(std::int32_t hertz) { return createTimer(hertz); }

std::int32_t cmd_WaitTimer(std::int32_t timer) {
    std::int32_t ticks = waitTimer(timer);
    goOnOrEnd(app().idle());
    return ticks;
}

void cmd_FreeTimer(std::int32_t timer) { freeTimer(timer); }

void cmd_DebugLog(RuntimeString* text) {
    std::string t = takeString(text);
    logText(t.c_str());
}

std::int32_t kxDebugStmt(std::int32_t a, std::int32_t b) {
    AppRuntime& runtime = app();
    runtime.debugStatement(a, b);
    bool mayGoOn = runtime.idle();
    goOnOrEnd(mayGoOn);
    return mayGoOn ? 1 : 0;
}

void kxDebugEnter(std::int32_t a, std::int32_t b, std::int32_t c) { app().debugEnterFrame(a, b, c); }

void kxDebugLeave() { app().debugLeaveFrame(); }

}  // extern "C"

void linkSystemCommands(Registrar& r) {
    TRELM_COMMAND(r, "End", cmd_End);
    TRELM_COMMAND(r, "Stop", cmd_Stop);
    TRELM_COMMAND(r, "AppTitle$title$close_prompt=\\\"\\\"", cmd_AppTitle);
    TRELM_COMMAND(r, "RuntimeError$message", cmd_RuntimeError);
    TRELM_COMMAND(r, "ExecFile$command", cmd_ExecFile);
    TRELM_COMMAND(r, "Delay%millisecs", cmd_Delay);
    TRELM_COMMAND(r, "%MilliSecs", cmd_MilliSecs);
    TRELM_COMMAND(r, "$CommandLine", cmd_CommandLine);
    TRELM_COMMAND(r, "$SystemProperty$property", cmd_SystemProperty);
    TRELM_COMMAND(r, "$GetEnv$env_var", cmd_GetEnv);
    TRELM_COMMAND(r, "SetEnv$env_var$value", cmd_SetEnv);
    TRELM_COMMAND(r, "%CreateTimer%hertz", cmd_CreateTimer);
    TRELM_COMMAND(r, "%WaitTimer%timer", cmd_WaitTimer);
    TRELM_COMMAND(r, "FreeTimer%timer", cmd_FreeTimer);
    TRELM_COMMAND(r, "DebugLog$text", cmd_DebugLog);
    TRELM_ROUTINE(r, "_kxDebugStmt", kxDebugStmt);
    TRELM_ROUTINE(r, "_kxDebugEnter", kxDebugEnter);
    TRELM_ROUTINE(r, "_kxDebugLeave", kxDebugLeave);
}

}  // namespace trelm
