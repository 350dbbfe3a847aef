// Process-wide state of the active run, read by the command libraries.
#pragma once

namespace trelm {

class AppRuntime;

// True only when the caller of runModule passed its own debug host: commands
// then validate handles, offsets and indices before trusting them.
bool debugMode();
void setDebugMode(bool on);

// The application runtime of the active run, or null outside a run.
AppRuntime* currentApp();
void setCurrentApp(AppRuntime* app);

}  // namespace trelm
