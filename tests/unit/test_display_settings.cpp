// The player's display choice: the command line, the settings file kept
// beside the log, and the default window size.
#include "display_settings.h"
#include "test_support.h"

namespace {

using platform::CommandLine;
using platform::DisplayChoice;

class DisplaySettingsTest : public EngineTest {};

TEST(DisplayCommandLine, OptionsAreReadAndAnythingElseIsAnError) {
    struct Case {
        std::vector<const char*> args;
        CommandLine::Action action;
        CommandLine::Display display;
    };
    using A = CommandLine::Action;
    using D = CommandLine::Display;
    const std::vector<Case> cases = {
        {{}, A::Run, D::Remembered},
        {{"--windowed"}, A::Run, D::Windowed},
        {{"--fullscreen"}, A::Run, D::FullScreen},
        {{"--windowed", "--windowed"}, A::Run, D::Windowed},
        {{"--help"}, A::Help, D::Remembered},
        {{"--windowed", "--help"}, A::Help, D::Windowed},
        {{"--version"}, A::Version, D::Remembered},
        {{"--windowed", "--fullscreen"}, A::Error, D::Windowed},
        {{"--window"}, A::Error, D::Remembered},
        {{"-windowed"}, A::Error, D::Remembered},
        {{""}, A::Error, D::Remembered},
        {{"DATA"}, A::Error, D::Remembered},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv = {"quble"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const CommandLine command = platform::ParseCommandLine(static_cast<int>(argv.size()), argv.data());
        const std::string shown = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(command.action, c.action) << shown;
        EXPECT_EQ(command.display, c.display) << shown;
        EXPECT_EQ(command.error.empty(), c.action != A::Error) << shown;
    }
}

TEST(DisplayWindowSize, TheBiggestWholeMultipleWithinThreeQuartersOfTheDesktop) {
    struct Case {
        int desktopW, desktopH, width, height;
    };
    const std::vector<Case> cases = {
        {1024, 768, 800, 600},     // even one times is more than three quarters: one it is
        {1920, 1080, 800, 600},    // 1440 x 810 holds one
        {2560, 1600, 1600, 1200},  // 1920 x 1200 holds two
        {3840, 2160, 1600, 1200},  // 2880 x 1620: the height allows two
        {5120, 2880, 2400, 1800},
        {640, 480, 800, 600},
        {0, 0, 800, 600},
    };
    for (const Case& c : cases) {
        int width = 0, height = 0;
        platform::DefaultWindowSize(c.desktopW, c.desktopH, 800, 600, width, height);
        EXPECT_EQ(width, c.width) << c.desktopW << "x" << c.desktopH;
        EXPECT_EQ(height, c.height) << c.desktopW << "x" << c.desktopH;
    }
}

TEST_F(DisplaySettingsTest, TheFileKeepsTheChoiceAndADamagedOneIsIgnored) {
    DisplayChoice choice;
    std::string problem;
    EXPECT_TRUE(platform::LoadDisplaySettings("missing.cfg", choice, problem)) << "no file is no problem";
    EXPECT_FALSE(choice.windowed);

    const std::vector<DisplayChoice> saved = {{true, 1000, 700}, {false, 1600, 1200}, {true, 0, 0}};
    for (const DisplayChoice& wanted : saved) {
        ASSERT_TRUE(platform::SaveDisplaySettings("display.cfg", wanted));
        DisplayChoice read{!wanted.windowed, 1, 1};
        ASSERT_TRUE(platform::LoadDisplaySettings("display.cfg", read, problem)) << problem;
        EXPECT_EQ(read.windowed, wanted.windowed);
        EXPECT_EQ(read.width, wanted.width);
        EXPECT_EQ(read.height, wanted.height);
    }
    EXPECT_FALSE(testsupport::FileExists("display.cfg.new"));

    const std::vector<std::string> damaged = {
        "display=sideways\n",
        "display=window\nwidth=1000\n",          // one side only
        "display=window\nwidth=-5\nheight=700\n",
        "display=window\nwidth=0\nheight=700\n",
        "display=window\nwidth=99999999999\nheight=700\n",
        "display=window\nwidth=1e3\nheight=700\n",
        "colour=blue\n",
        "display\n",
        std::string(10000, '#'),
        std::string("display=window\0\n", 16),
    };
    for (const std::string& bytes : damaged) {
        testsupport::WriteFile("display.cfg", bytes);
        DisplayChoice kept{true, 640, 480};
        problem.clear();
        EXPECT_FALSE(platform::LoadDisplaySettings("display.cfg", kept, problem)) << bytes.substr(0, 40);
        EXPECT_NE(problem.find("display.cfg is damaged"), std::string::npos) << problem;
        EXPECT_TRUE(kept.windowed && kept.width == 640 && kept.height == 480) << "a damaged file changes nothing";
    }
    testsupport::WriteFile("display.cfg", "# comment\n\n  display = window  \r\nwidth=1200\nheight=900\n");
    ASSERT_TRUE(platform::LoadDisplaySettings("display.cfg", choice, problem));
    EXPECT_TRUE(choice.windowed);
    EXPECT_EQ(choice.width, 1200);
}

// The whole path of a start: the file's choice, overridden by the command
// line, remembered afterwards only when a window was shown; a damaged file
// is a warning for the log, never a failure.
TEST_F(DisplaySettingsTest, AStartUsesTheCommandLineOverTheFileAndRemembersTheChoice) {
    testsupport::WriteFile("display.cfg", "display=window\nwidth=1000\nheight=700\n");
    const char* fullScreen[] = {"quble", "--fullscreen"};
    DisplayChoice seen;
    int status = platform::RunWithDisplayOptions(2, fullScreen, "quble", "1.0", [] { return true; }, [&] {
        seen = platform::GetDisplayChoice();
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(seen.windowed);
    EXPECT_EQ(seen.width, 1000) << "the remembered size stays for the next window";
    EXPECT_EQ(testsupport::ReadFile("display.cfg"), "display=window\nwidth=1000\nheight=700\n")
        << "nothing was shown, nothing is written";

    const char* none[] = {"quble"};
    status = platform::RunWithDisplayOptions(1, none, "quble", "1.0", [] { return true; }, [&] {
        seen = platform::GetDisplayChoice();
        platform::MarkDisplayChoiceShown();
        DisplayChoice switched = seen;
        switched.windowed = false;  // Alt+Enter
        platform::SetDisplayChoice(switched);
        return 3;
    });
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(seen.windowed);
    DisplayChoice read;
    std::string problem;
    ASSERT_TRUE(platform::LoadDisplaySettings("display.cfg", read, problem));
    EXPECT_FALSE(read.windowed);
    EXPECT_EQ(read.width, 1000);

    testsupport::WriteFile("display.cfg", "display=upside-down\n");
    status = platform::RunWithDisplayOptions(1, none, "quble", "1.0", [] { return true; }, [&] {
        seen = platform::GetDisplayChoice();
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(seen.windowed);
    const std::vector<std::string> notes = platform::TakeDisplayNotes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("damaged"), std::string::npos);

    EXPECT_EQ(platform::RunWithDisplayOptions(1, none, "quble", "1.0", [] { return false; }, [] { return 0; }), 1)
        << "no folder to run in";
}

}  // namespace
