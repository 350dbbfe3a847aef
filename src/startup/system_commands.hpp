// The system commands and the debugger symbols: registered first of all.
#pragma once

#include <cstdint>

namespace trelm {

class Registrar;
struct RuntimeString;

void linkSystemCommands(Registrar& registrar);

extern "C" {
void cmd_End();
void cmd_Stop();
void cmd_AppTitle(RuntimeString* title, RuntimeString* close_prompt);
void cmd_RuntimeError(RuntimeString* message);
void cmd_ExecFile(RuntimeString* command);
void cmd_Delay(std::int32_t millisecs);
std::int32_t cmd_MilliSecs();
RuntimeString* cmd_CommandLine();
RuntimeString* cmd_SystemProperty(RuntimeString* property);
RuntimeString* cmd_GetEnv(RuntimeString* env_var);
void cmd_SetEnv(RuntimeString* env_var, RuntimeString* value);
std::int32_t cmd_CreateTimer(std::int32_t hertz);
std::int32_t cmd_WaitTimer(std::int32_t timer);
void cmd_FreeTimer(std::int32_t timer);
void cmd_DebugLog(RuntimeString* text);

std::int32_t kxDebugStmt(std::int32_t a, std::int32_t b);
void kxDebugEnter(std::int32_t a, std::int32_t b, std::int32_t c);
void kxDebugLeave();
}

}  // namespace trelm
