#include "trelm/program.hpp"

#include <string>

#include "startup/command_line.hpp"
#include "startup/console_debug_host.hpp"
#include "startup/host_runtime.hpp"

namespace trelm {

int runProgram(void (*main)(), std::string_view arguments, ProgramOptions options) {
    HostRuntime& host = *runtimeGetRuntime();
    host.attach(nullptr);
    ConsoleDebugHost console;
    std::string text(arguments);
    host.runModule(main, text.c_str(), options.consoleDebug ? &console : nullptr);
    host.detach();
    return 0;
}

std::string argumentText(int argc, char** argv, int first) {
    if (first >= argc) return {};
    return joinArguments(std::span<const char* const>(argv + first, argv + argc));
}

}  // namespace trelm
