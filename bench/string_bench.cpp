// Runtime strings: the temporaries of string expressions must be cheap.
#include <benchmark/benchmark.h>

#include <string>

#include "alloc_counter.hpp"
#include "language/runtime_string.hpp"
#include "language/string_routines.hpp"

namespace {

using namespace trelm;

const char* const kShort = "short text";               // fits the inline text
const char* const kSixteen = "0123456789abcdef";       // 16 bytes

void reportAllocations(benchmark::State& state, std::uint64_t before) {
    const double perIteration =
        static_cast<double>(bench::allocationCount() - before) / static_cast<double>(state.iterations());
    state.counters["allocs/iter"] = perIteration;
}

// After warm-up a short string costs no allocation: the object comes from the
// pool and the text lives inside it.
void BM_ShortStringCreateRelease(benchmark::State& state) {
    kxStrRelease(kxStrConst(kShort));  // warm-up: the pool has a block
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        RuntimeString* s = kxStrConst(kShort);
        benchmark::DoNotOptimize(s);
        kxStrRelease(s);
    }
    reportAllocations(state, before);
}
BENCHMARK(BM_ShortStringCreateRelease);

// a$ + b$ with two 16-byte operands, from making the operands to releasing the result.
void BM_ConcatRuntimeString(benchmark::State& state) {
    kxStrRelease(kxStrConst(kShort));
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        RuntimeString* r = kxStrConcat(kxStrConst(kSixteen), kxStrConst(kSixteen));
        benchmark::DoNotOptimize(r);
        kxStrRelease(r);
    }
    reportAllocations(state, before);
}
BENCHMARK(BM_ConcatRuntimeString);

void BM_ConcatStdString(benchmark::State& state) {
    const std::uint64_t before = bench::allocationCount();
    for (auto _ : state) {
        std::string a(kSixteen);
        std::string b(kSixteen);
        benchmark::DoNotOptimize(a.data());
        benchmark::DoNotOptimize(b.data());
        a += b;
        benchmark::DoNotOptimize(a.data());
    }
    reportAllocations(state, before);
}
BENCHMARK(BM_ConcatStdString);

// s$ = s$ + b$ in a loop: appends must be amortised O(1).
void BM_AppendLoopRuntimeString(benchmark::State& state) {
    const auto appends = state.range(0);
    for (auto _ : state) {
        RuntimeString* s = nullptr;
        for (std::int64_t i = 0; i < appends; ++i) s = kxStrConcat(s, kxStrConst(kSixteen));
        benchmark::DoNotOptimize(s);
        kxStrRelease(s);
    }
    state.SetItemsProcessed(state.iterations() * appends);
}
BENCHMARK(BM_AppendLoopRuntimeString)->Arg(1024);

void BM_AppendLoopStdString(benchmark::State& state) {
    const auto appends = state.range(0);
    for (auto _ : state) {
        std::string s;
        for (std::int64_t i = 0; i < appends; ++i) {
            std::string b(kSixteen);
            benchmark::DoNotOptimize(b.data());
            s += b;
        }
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * appends);
}
BENCHMARK(BM_AppendLoopStdString)->Arg(1024);

}  // namespace
