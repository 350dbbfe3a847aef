// A run of a module: from the floating-point set-up and the application
// runtime, through the library sequence and the module's entry, to shut-down.
#pragma once

#include <span>

#include "startup/libraries.hpp"

namespace trelm {

class AppRuntime;
class DebugHost;

// Runs `entry` to its end; a null host runs without debug mode, with the default host.
void runModule(void (*entry)(), const char* commandLine, DebugHost* host);

// The library sequence over an explicit list: creates the libraries in order,
// calls the entry, destroys them in reverse. Returns the run's result: null, a
// runtime error's message, or "Unable to start program".
// The debug-mode flag and the application runtime are where commands find them
// for the length of the sequence.
const char* runLibrarySequence(std::span<const CommandLibrary* const> libraries, AppRuntime& app, bool debug,
                               void (*entry)());

// Whether a run is active (the host's requests are posted only then).
bool runActive();

}  // namespace trelm
