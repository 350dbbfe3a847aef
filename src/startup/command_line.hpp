// The argument text a program sees as CommandLine, from a whole command line
// (program name included) or from the arguments of a process.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace trelm {

// Drops the program name: leading blanks go; a quoted name runs to the next
// quote, an unquoted one to the first blank. What follows is the argument text
// (untrimmed; the run trims it).
std::string argumentsOfCommandLine(std::string_view wholeLine);

// Joins process arguments with blanks, quoting any that is empty or holds a blank.
std::string joinArguments(std::span<const char* const> args);

}  // namespace trelm
