#include "startup/host_runtime.hpp"

#include "startup/libraries.hpp"
#include "startup/run.hpp"
#include "startup/run_requests.hpp"
#include "startup/symbol_table.hpp"

namespace trelm {

namespace {

class Runtime final : public HostRuntime {
public:
    std::int32_t getVersion() override { return kRuntimeVersion; }

    const char* nextSymbolName() override {
        if (table_.empty()) {
            Registrar registrar;
            linkAllLibraries(registrar);
            table_.fill(registrar.registrations());
        }
        return table_.next();
    }

    std::intptr_t lookupSymbol(const char* name) override { return name ? table_.lookup(name) : -1; }

    void attach(void* instance) override { instance_ = instance; }
    void detach() override { table_.clear(); }

    void requestSuspend() override { postRunRequest(RunRequest::Suspend); }
    void requestResume() override { postRunRequest(RunRequest::Resume); }
    void requestEnd() override { postRunRequest(RunRequest::End); }

    // There is no memory report: nothing is written.
    void reportMemory(std::streambuf*) override {}

    void runModule(void (*entry)(), const char* commandLine, DebugHost* host) override {
        trelm::runModule(entry, commandLine, host);
    }

private:
    SymbolTable table_;
    void* instance_ = nullptr;
};

}  // namespace

}  // namespace trelm

extern "C" trelm::HostRuntime* runtimeGetRuntime() {
    static trelm::Runtime* runtime = new trelm::Runtime();  // never destroyed: hosts may call late
    return runtime;
}
