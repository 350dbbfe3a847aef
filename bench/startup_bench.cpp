// Start-up figures: a whole walk of the runtime symbol table, and a process
// that links and runs an empty module, from its start to its exit.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include "startup/host_runtime.hpp"

extern char** environ;

namespace {

void BM_SymbolWalk(benchmark::State& state) {
    trelm::HostRuntime& host = *runtimeGetRuntime();
    std::size_t names = 0;
    for (auto _ : state) {
        names = 0;
        while (const char* name = host.nextSymbolName()) {
            benchmark::DoNotOptimize(name);
            ++names;
        }
    }
    state.counters["names"] = static_cast<double>(names);
}
BENCHMARK(BM_SymbolWalk)->Unit(benchmark::kMicrosecond);

void BM_RunEmptyModuleProcess(benchmark::State& state) {
    const char* argv[] = {TRELM_RUN_PATH, TRELM_MODULE_DIR "/empty.tbm", nullptr};
    for (auto _ : state) {
        pid_t pid;
        if (posix_spawn(&pid, TRELM_RUN_PATH, nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
            state.SkipWithError("cannot start trelm-run");
            return;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("trelm-run failed");
            return;
        }
    }
}
BENCHMARK(BM_RunEmptyModuleProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
