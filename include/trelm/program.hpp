// Running a C++ program on the runtime: its main routine is started by the
// same run as a linked module's entry (libraries created in order, runtime
// errors shown and unwound, libraries destroyed in reverse).
#pragma once

#include <string>
#include <string_view>

namespace trelm {

struct ProgramOptions {
    // Debug mode with a console host: log lines to stdout, messages to stderr.
    bool consoleDebug = false;
};

// Runs `main` to its end with `arguments` as CommandLine. Returns the exit code (0).
int runProgram(void (*main)(), std::string_view arguments, ProgramOptions options = {});

// The CommandLine text for the arguments of a process (argv[first] onwards).
std::string argumentText(int argc, char** argv, int first = 1);

}  // namespace trelm
