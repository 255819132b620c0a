// The cost of one script-to-engine call: a Lua loop calls an engine function
// many times; the same loop with an empty Lua function is subtracted, so the
// figure is what the glue and the engine operation add.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "cvelmor.h"
#include "d3d8_recording.h"
#include "system_headless.h"
#include "window_headless.h"

namespace {

const int kCallsPerChunk = 10000;

class ScriptBench {
public:
    ScriptBench() {
        m_dir = std::filesystem::temp_directory_path() / "velmor-bench-glue";
        std::filesystem::create_directories(m_dir);
        m_oldDir = std::filesystem::current_path();
        std::filesystem::current_path(m_dir);
        platform::InstallHeadlessSystem();
        platform::InstallHeadlessWindowSystem();
        m_control = vd3d::InstallRecordingDirect3D();
        m_engine = std::make_unique<CVelmor>();
        m_engine->GfxPreinit(800, 600);
        m_engine->GfxInit(2, false);
        m_engine->ScriptsInit();
        const std::string n = std::to_string(kCallsPerChunk);
        const std::string chunk =
            "local function nothing() end\n"
            "function empty() for i = 1, " + n + " do nothing() end end\n"
            "function zero() local f = V2D_SYS_TimerGetDelta for i = 1, " + n + " do f() end end\n"
            "function five() local f = V2D_GFX_VQuadSetPos for i = 1, " + n + " do f(1, 2, 3, 4, 0.5) end end\n";
        m_engine->ScriptLoadFromBuffer(chunk.data(), chunk.size(), "bench");
    }
    ~ScriptBench() {
        m_engine.reset();
        std::filesystem::current_path(m_oldDir);
        std::filesystem::remove_all(m_dir);
    }
    void Call(const char* name) { m_engine->ScriptCallFunction(name, 0); }

private:
    std::filesystem::path m_dir;
    std::filesystem::path m_oldDir;
    std::shared_ptr<vd3d::RecordingControl> m_control;
    std::unique_ptr<CVelmor> m_engine;
};

void RunCalls(benchmark::State& state, const char* function) {
    ScriptBench bench;
    for (auto _ : state) bench.Call(function);
    state.SetItemsProcessed(state.iterations() * kCallsPerChunk);
    state.counters["ns_per_call"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kCallsPerChunk), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_LuaCallOfEmptyLuaFunction(benchmark::State& state) { RunCalls(state, "empty"); }
void BM_GlueZeroArguments_TimerGetDelta(benchmark::State& state) { RunCalls(state, "zero"); }
void BM_GlueFiveArguments_VQuadSetPos(benchmark::State& state) { RunCalls(state, "five"); }

BENCHMARK(BM_LuaCallOfEmptyLuaFunction);
BENCHMARK(BM_GlueZeroArguments_TimerGetDelta);
BENCHMARK(BM_GlueFiveArguments_VQuadSetPos);

}  // namespace

BENCHMARK_MAIN();
