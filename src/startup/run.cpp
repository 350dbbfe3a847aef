#include "startup/run.hpp"

#include <cfenv>
#include <mutex>
#include <string>

#include "platform/app_runtime.hpp"
#include "startup/debug_host.hpp"
#include "platform/fault_translator.hpp"
#include "startup/module_boundary.hpp"
#include "startup/run_requests.hpp"
#include "startup/run_state.hpp"
#include "startup/runtime_error.hpp"
#include "startup/timers.hpp"

namespace trelm {

namespace {

std::mutex g_requestMutex;
AppRuntime* g_requestTarget = nullptr;

void setRequestTarget(AppRuntime* app) {
    std::lock_guard lock(g_requestMutex);
    g_requestTarget = app;
}

// Float work in a run: round to nearest, every exception masked (the default
// environment). On x86-64 float arithmetic is already single precision (SSE),
// so no precision control is needed; the caller's environment is restored.
class FloatEnvironmentScope {
public:
    FloatEnvironmentScope() {
        std::fegetenv(&saved_);
        std::fesetenv(FE_DFL_ENV);
    }
    ~FloatEnvironmentScope() { std::fesetenv(&saved_); }

private:
    std::fenv_t saved_;
};

void destroyInReverse(std::span<const CommandLibrary* const> libraries, std::size_t count) {
    while (count > 0) {
        const CommandLibrary* lib = libraries[--count];
        if (lib->destroy) lib->destroy();
    }
}

}  // namespace

void postRunRequest(RunRequest request) {
    std::lock_guard lock(g_requestMutex);
    if (!g_requestTarget) return;
    switch (request) {
        case RunRequest::Suspend:
            g_requestTarget->postSuspendRequest();
            break;
        case RunRequest::Resume:
            g_requestTarget->postResumeRequest();
            break;
        case RunRequest::End:
            g_requestTarget->postEndRequest();
            break;
    }
}

bool runActive() {
    std::lock_guard lock(g_requestMutex);
    return g_requestTarget != nullptr;
}

const char* runLibrarySequence(std::span<const CommandLibrary* const> libraries, AppRuntime& app, bool debug,
                               void (*entry)()) {
    setDebugMode(debug);
    setCurrentApp(&app);
    setRunReporter(&app);
    struct Forget {
        ~Forget() {
            setRunReporter(nullptr);
            setCurrentApp(nullptr);
            setDebugMode(false);
        }
    } forget;

    std::size_t created = 0;
    for (; created < libraries.size(); ++created) {
        const CommandLibrary* lib = libraries[created];
        if (lib->create && !lib->create()) {
            std::string text = std::string("Startup Error: ") + (lib->word ? lib->word : "") + "_create failed";
            app.reportInfo(text.c_str());
            destroyInReverse(libraries, created);
            return "Unable to start program";
        }
    }

    const char* result = nullptr;
    if (app.idle()) {
        try {
            const char* message = nullptr;
            bool report = false;
            if (callEntryGuarded(entry, message, report)) {
                app.reportInfo("Program has ended");
            } else {
                if (report && message) app.reportError(message);
                result = message;
            }
        } catch (const kxEx& e) {
            result = e.message;
        }
    }
    destroyInReverse(libraries, libraries.size());
    return result;
}

void runModule(void (*entry)(), const char* commandLine, DebugHost* host) {
    const bool debug = host != nullptr;
    DebugHost* effectiveHost = debug ? host : &defaultDebugHost();

    FaultTranslatorScope faults;
    FloatEnvironmentScope floats;

    auto app = AppRuntime::create(commandLine ? commandLine : "", effectiveHost);
    if (!app) return;

    setRequestTarget(app.get());
    runLibrarySequence(commandLibraries(), *app, debug, entry);
    setRequestTarget(nullptr);
    freeAllTimers();
    app.reset();
}

}  // namespace trelm
