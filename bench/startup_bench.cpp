// Start-up figures: a whole walk of the runtime symbol table, and a process
// that links and runs an empty module, from its start to its exit.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <string>
#include <vector>

#include "startup/host_runtime.hpp"
#include "startup/symbol_table.hpp"

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

// A walk as the finished runtime will do it: registering all 536 declarations
// and the internal names afresh, sorting them and returning every name.
void BM_SymbolWalkFullTable(benchmark::State& state) {
    std::vector<std::string> names;
    std::ifstream in(TRELM_DECLARATIONS);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) names.push_back(line);
    for (int i = 0; i < 55; ++i) names.push_back("_kxRoutine" + std::to_string(i));
    if (names.size() < 500) {
        state.SkipWithError("declarations not found");
        return;
    }
    trelm::SymbolTable table;
    for (auto _ : state) {
        std::vector<trelm::Registration> regs;
        regs.reserve(names.size());
        for (std::size_t i = 0; i < names.size(); ++i) regs.push_back({names[i], i, nullptr});
        table.fill(regs);
        while (const char* name = table.next()) benchmark::DoNotOptimize(name);
    }
    state.counters["names"] = static_cast<double>(names.size());
}
BENCHMARK(BM_SymbolWalkFullTable)->Unit(benchmark::kMicrosecond);

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
