// velmor-run as a game developer uses it: a data folder with a script whose
// main function drives the frames.
#include <signal.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <regex>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

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

    // Runs velmor-run here with `arguments`; returns its wait status (killed
    // after 20 s). What it prints is kept in `out` and `err`.
    int Run(std::vector<std::string> arguments = {}) {
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            RedirectTo(STDOUT_FILENO, "out.txt");
            RedirectTo(STDERR_FILENO, "err.txt");
            std::vector<char*> argv{const_cast<char*>("velmor-run")};
            for (std::string& argument : arguments) argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(VELMOR_RUN_BINARY, argv.data());
            _exit(127);
        }
        int status = 0;
        if (!testsupport::WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(20))) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "velmor-run did not end";
        }
        out = ReadFile("out.txt");
        err = ReadFile("err.txt");
        return status;
    }

    static void RedirectTo(int fd, const char* path) {
        const int file = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (file >= 0) dup2(file, fd);
    }

    std::string out, err;

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
    EXPECT_TRUE(std::regex_match(err, std::regex("Fatal error: Game\\. Error in glue function: glue_V2D_GFX_VQuadSetPos\\."
                                                 "Invalid argument type\\. Index = 3 \\(cvelmor_glue_\\w+:\\d+\\) "
                                                 "in Lua function main\n")))
        << err;
}

// What a maker meets first: help without a window, and a run that cannot
// start says why on standard error and fails.
TEST_F(VelmorRunTest, CommandLineAndMissingPiecesAnswerOnTheTerminal) {
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        const char* script;  // nullptr: no DATA folder at all
        int status;
        const char* out;  // the start of standard output
        const char* err;  // the start of standard error
        bool window;      // whether the engine started (gamelog.txt written)
    };
    const char* const drawsAFrame =
        "function main() V2D_SYS_UpdateAllSystems() V2D_GFX_SceneBegin() V2D_GFX_SceneEnd() end\n";
    const Case cases[] = {
        {"help", {"--help"}, drawsAFrame, 0, "Usage: velmor-run [--windowed | --fullscreen]\n", "", false},
        {"version", {"--version"}, drawsAFrame, 0, "velmor-run 1.0\n", "", false},
        {"unknown option", {"--fast"}, drawsAFrame, 2, "", "velmor-run: ", false},
        {"no data folder", {"--windowed"}, nullptr, 1, "",
         "velmor-run: no DATA folder here; start velmor-run in the folder that holds your game's DATA/\n", false},
        {"no main", {"--windowed"}, "function Main() end\n", 1, "",
         "Fatal error: No script function main: the scripts of tag 1 must define function main()\n", true},
        {"a clean run", {"--windowed"}, drawsAFrame, 0, "", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove("gamelog.txt");
        std::filesystem::remove_all("DATA");
        if (c.script) {
            std::filesystem::create_directories("DATA/art");
            std::filesystem::copy_file(VELMOR_DEMO_TILE, "DATA/art/tile.png");
            WriteGame(c.script);
        }
        const int status = Run(c.arguments);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.status);
        EXPECT_EQ(out.rfind(c.out, 0), 0u) << out;
        EXPECT_EQ(err.rfind(c.err, 0), 0u) << err;
        if (*c.err == '\0') EXPECT_EQ(err, "");
        EXPECT_EQ(std::filesystem::exists("gamelog.txt"), c.window);
        if (c.window) {
            // Input works from the first focus gain: no warning about it.
            EXPECT_FALSE(LogHas(" !: Cannot acquire keyboard!")) << ReadFile("gamelog.txt");
            EXPECT_TRUE(LogHas("--==: End of log."));
        }
    }
}

// Every example a maker learns from (the tutorial's steps among them): its
// data is clean by velmor-check, it runs under velmor-run with no fatal
// error, and closing the window ends it cleanly.
TEST_F(VelmorRunTest, EveryExampleIsCleanRunsAndEndsWhenClosed) {
    std::vector<std::filesystem::path> examples;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(VELMOR_EXAMPLES_DIR)) {
        if (entry.is_directory() && entry.path().filename() == "DATA") examples.push_back(entry.path().parent_path());
    }
    std::sort(examples.begin(), examples.end());
    ASSERT_GE(examples.size(), 3u);
    for (const std::filesystem::path& example : examples) {
        SCOPED_TRACE(example.string());
        std::filesystem::remove_all("DATA");
        std::filesystem::remove("gamelog.txt");
        std::filesystem::copy(example / "DATA", "DATA", std::filesystem::copy_options::recursive);

        const std::string check = std::string("'") + VELMOR_CHECK_BINARY + "' DATA > check.txt 2>&1";
        EXPECT_EQ(std::system(check.c_str()), 0) << ReadFile("check.txt");
        EXPECT_EQ(ReadFile("check.txt"), "");

        const pid_t pid = fork();
        if (pid == 0) {
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            RedirectTo(STDERR_FILENO, "err.txt");
            execl(VELMOR_RUN_BINARY, "velmor-run", "--windowed", static_cast<char*>(nullptr));
            _exit(127);
        }
        // Frames have been drawn for a while once the log has passed the
        // loading and the script's main is running; then the window closes.
        const bool loaded = testsupport::WaitUntil(
            [] { return ReadFile("gamelog.txt").find("resources with Tag = 1 loaded.") != std::string::npos; },
            std::chrono::seconds(20));
        std::this_thread::sleep_for(std::chrono::seconds(2));
        int status = 0;
        const bool stillRunning = waitpid(pid, &status, WNOHANG) == 0;
        kill(pid, SIGTERM);  // arrives as the quit event, as closing the window does
        if (stillRunning) status = testsupport::WaitForChild(pid);
        EXPECT_TRUE(loaded) << ReadFile("gamelog.txt");
        EXPECT_TRUE(stillRunning) << "the example ended by itself: " << ReadFile("err.txt");
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(ReadFile("err.txt"), "");
        EXPECT_FALSE(LogHas(" !!!: Fatal error!")) << ReadFile("gamelog.txt");
        EXPECT_TRUE(LogHas("--==: End of log."));
    }
}

}  // namespace
