#include "startup/run_state.hpp"

namespace trelm {

namespace {
bool g_debugMode = false;
AppRuntime* g_app = nullptr;
}  // namespace

bool debugMode() { return g_debugMode; }
void setDebugMode(bool on) { g_debugMode = on; }
AppRuntime* currentApp() { return g_app; }
void setCurrentApp(AppRuntime* app) { g_app = app; }

}  // namespace trelm
