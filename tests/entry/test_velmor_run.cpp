// velmor-run as a game developer uses it: a data folder with a script whose
// main function drives the frames.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "test_support.h"

using testsupport::ReadFile;
using testsupport::ReadLines;
using testsupport::WriteFile;

namespace {

class VelmorRunTest : public EngineTest {
protected:
    void SetUp() override {
        VELMOR_REQUIRE_DISPLAY();
        EngineTest::SetUp();
        std::filesystem::create_directories("DATA/art");
        std::filesystem::copy_file(VELMOR_DEMO_TILE, "DATA/art/tile.png");
    }

    void WriteGame(const std::string& script) {
        WriteFile("DATA/art/game.lua", script);
        WriteFile("DATA/res.xml",
                  "<respack><r id=\"TEX_TILE\" typeid=\"TEXTURE\" filename=\"art/tile.png\" tag=\"1\" data1=\"1\"/>"
                  "<r id=\"SCR_GAME\" typeid=\"SCRIPT\" filename=\"art/game.lua\" tag=\"1\"/></respack>");
    }

    // Runs velmor-run here; returns its wait status (killed after 20 s).
    int Run() {
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            execl(VELMOR_RUN_BINARY, "velmor-run", static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        if (testsupport::WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(20)))
            return status;
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "velmor-run did not end";
        return status;
    }

    bool LogHas(const std::string& line) {
        const auto lines = ReadLines("gamelog.txt");
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

TEST_F(VelmorRunTest, ScriptDrivesFramesAndTheRunnerStopsCleanly) {
    WriteGame(
        "loaded = 'yes'\n"
        "function main()\n"
        "  local frames = 0\n"
        "  while frames < 5 do\n"
        "    local state = V2D_SYS_UpdateAllSystems()\n"
        "    if state == -1 then return end\n"
        "    if state == 1 then\n"
        "      V2D_GFX_SceneBegin() V2D_GFX_SceneClearScreen(0, 0, 1)\n"
        "      V2D_GFX_TexSet('TEX_TILE') V2D_GFX_VQuadSetPos(10, 10, 16, 16) V2D_GFX_SceneRender()\n"
        "      V2D_GFX_SceneEnd() V2D_GFX_ScenePresent()\n"
        "      frames = frames + 1\n"
        "    end\n"
        "  end\n"
        "  V2D_LOG_AddEntry('drew ' .. frames .. ' frames, script loaded: ' .. loaded)\n"
        "end\n");
    const int status = Run();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(LogHas("drew 5 frames, script loaded: yes")) << ReadFile("gamelog.txt");
    EXPECT_TRUE(LogHas("--==: Starting Velmor2D Runner v. 1.0"));
    EXPECT_FALSE(LogHas(" !!!: Fatal error!"));
    EXPECT_TRUE(LogHas("--==: Deinitializing Scripts Subsystem..."));
    EXPECT_TRUE(LogHas("--==: End of log."));
}

TEST_F(VelmorRunTest, ScriptErrorEndsThroughTheFatalPath) {
    WriteGame("function main() V2D_GFX_VQuadSetPos(1, 2) end\n");
    const int status = Run();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << "a fatal error is no success";
    EXPECT_TRUE(LogHas(" !!!: Error desc: Error in glue function: glue_V2D_GFX_VQuadSetPos.Invalid argument type. "
                       "Index = 3"))
        << ReadFile("gamelog.txt");
    EXPECT_TRUE(LogHas(" !!!: Last called Lua function name: main"));
    EXPECT_TRUE(LogHas("--==: End of log."));
    EXPECT_NE(ReadFile("ehslog.txt").find("Exception type: Game."), std::string::npos);
}

}  // namespace
