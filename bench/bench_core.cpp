// Costs of the calls that run on every frame or in every function.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "cvelmor.h"
#include "system_headless.h"

static void BM_SetCheckpoint(benchmark::State& state) {
    uint32_t line = 0;
    for (auto _ : state) {
        SetCheckpoint(112, ++line);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SetCheckpoint);

static void BM_TimerUpdate(benchmark::State& state) {
    auto& system = platform::InstallHeadlessSystem();
    CVelmor engine;
    for (auto _ : state) {
        system.AdvanceMilliseconds(16);
        engine.TimerUpdate();
    }
    benchmark::DoNotOptimize(engine.TimerGetFPS());
}
BENCHMARK(BM_TimerUpdate);

// One log line: open, append, flush, close.
static void BM_LogEntry(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / "velmor-bench-log";
    std::filesystem::create_directories(dir);
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    platform::InstallHeadlessSystem();
    {
        CVelmor engine;
        for (auto _ : state) CVelmor::LogEntry("Creating Textures Manager...", LOG_STEP);
    }
    std::filesystem::current_path(old);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LogEntry);

BENCHMARK_MAIN();
