// Starting programs and documents for ExecFile: never through a shell, never
// waiting for them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace trelm {

struct ExecCommand {
    std::string file;
    std::string parameters;
};

// Splits an ExecFile command into the file and its parameters: a leading
// double-quoted text is the file, otherwise the text up to the first blank.
// The parameters lose their outer blanks.
ExecCommand splitExecCommand(std::string_view command);

// Splits a parameter text into arguments at blanks; double quotes group
// blanks into one argument and are removed.
std::vector<std::string> splitArguments(std::string_view parameters);

// The path to start when `file` names an executable program (a path with
// execute permission, or a name found on PATH), or "" for anything else.
std::string findExecutable(std::string_view file);

// Starts the file: a program gets the parameters as its arguments, anything
// else is handed to the desktop's opener. Returns whether a process started.
bool launchFile(std::string_view file, std::string_view parameters);

// Collects the exit status of launched processes that have finished, so none
// stays a zombie. Only processes started by launchFile are waited for.
void reapFinishedChildren();

// Launched processes not yet collected.
std::size_t unreapedChildren();

}  // namespace trelm
