
#include <filesystem>
#include <regex>

#include "cvelmor.h"
#include "test_support.h"

using testsupport::ReadLines;

namespace {

const std::string kSep1 = "|---------------------------------------------------|";

class LogTest : public EngineTest {};

TEST_F(LogTest, EntriesCarryTheirLevelPrefixAndBadLevelsWriteNothing) {
    CVelmor engine;
    CVelmor::LogEntry("zero", 0);
    CVelmor::LogEntry("step", 1);
    CVelmor::LogEntry("detail", 2);
    CVelmor::LogEntry("title", 3);
    CVelmor::LogEntry("result", 4);
    CVelmor::LogEntry("warning", 5);
    CVelmor::LogEntry("fatal", 6);
    CVelmor::LogEntry("seven", 7);
    CVelmor::LogEntry("minus", -1);
    CVelmor::LogLine("FOCUS GAINED");
    const std::vector<std::string> expected = {
        "? zero",          "   =: step",    "  -=: detail", "--==: title",
        "   +: result",    " !: warning",   " !!!: fatal",  "FOCUS GAINED",
    };
    EXPECT_EQ(ReadLines("gamelog.txt"), expected);
}

TEST_F(LogTest, SeparatorsAndBlankLines) {
    CVelmor engine;
    CVelmor::LogSeparator(1);
    CVelmor::LogSeparator(2);
    CVelmor::LogSeparator(3);
    CVelmor::LogSeparator(4);
    CVelmor::LogSeparator(5);
    CVelmor::LogSeparator(0);
    CVelmor::LogBlankLines(0);
    CVelmor::LogBlankLines(-2);
    CVelmor::LogBlankLines(3);
    CVelmor::LogLine("end");
    const std::vector<std::string> expected = {
        kSep1,
        "|===================================================|",
        "|:::::::::::::::::::::::::::::::::::::::::::::::::::|",
        "|!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!|",
        "", "", "", "end",
    };
    EXPECT_EQ(ReadLines("gamelog.txt"), expected);
    EXPECT_EQ(kSep1.size(), 53u);
}

TEST_F(LogTest, HeaderAndFooterLineByLine) {
    {
        CVelmor engine;
        engine.SetAppInfo("Quble", "v. 1.0");
    }
    const std::vector<std::string> lines = ReadLines("gamelog.txt");
    ASSERT_EQ(lines.size(), 19u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], kSep1);
    EXPECT_EQ(lines[3], "--==: Starting Quble v. 1.0");
    EXPECT_EQ(lines[4], "--==: Powered by Velmor2D Engine v.1.0");
    EXPECT_TRUE(std::regex_match(lines[5], std::regex(R"(--==: Built: [A-Z][a-z]{2} [ 1-3][0-9] \d{4}   \d\d:\d\d:\d\d)")))
        << lines[5];
    EXPECT_EQ(lines[6], "");
    EXPECT_TRUE(std::regex_match(lines[7], std::regex(R"(--==: Execution date: [1-9]\d?\.[1-9]\d?\.\d{4})"))) << lines[7];
    EXPECT_TRUE(std::regex_match(lines[8], std::regex(R"(--==: Execution time: (0|[1-9]\d?):(0|[1-9]\d?))"))) << lines[8];
    EXPECT_EQ(lines[9], kSep1);
    EXPECT_EQ(lines[10], "");
    EXPECT_EQ(lines[11], "");
    // Footer.
    const std::vector<std::string> footer(lines.begin() + 12, lines.end());
    const std::vector<std::string> expectedFooter = {
        "", kSep1, kSep1, "--==: End of log.", kSep1, kSep1, "",
    };
    EXPECT_EQ(std::vector<std::string>(footer.begin(), footer.begin() + 7), expectedFooter);
}

TEST_F(LogTest, CallbackRegistrationBlocks) {
    CVelmor engine;
    auto noop = [] {};
    engine.RegisterCallback(noop, CALLBACK_FOCUS_LOST);
    engine.RegisterCallback(noop, CALLBACK_FOCUS_RESTORED);
    engine.RegisterCallback(noop, CALLBACK_TERMINATION);
    engine.RegisterCallback(noop, 4);
    const std::vector<std::string> expected = {
        kSep1, "   +: Callback function for lost focus registered.", kSep1, "",
        kSep1, "   +: Callback function for restored focus registered.", kSep1, "",
        kSep1, "   +: Callback function for termination registered.", kSep1, "",
        kSep1, kSep1, "",
    };
    EXPECT_EQ(ReadLines("gamelog.txt"), expected);
}

TEST_F(LogTest, EachRunStartsAFreshLog) {
    {
        CVelmor first;
        CVelmor::LogLine("first run");
    }
    {
        CVelmor second;
        CVelmor::LogLine("second run");
    }
    const std::string log = Log();
    EXPECT_EQ(log.find("first run"), std::string::npos);
    EXPECT_EQ(log.find("second run"), 0u);
}

TEST_F(LogTest, UnopenableLogFileIsIgnoredSilently) {
    // A directory in the log file's place cannot be opened or removed, even
    // by root, which a read-only directory would not stop.
    ASSERT_TRUE(std::filesystem::create_directory("gamelog.txt"));
    testsupport::WriteFile("gamelog.txt/keep", "x");
    {
        CVelmor engine;
        engine.SetAppInfo("Quble", "v. 1.0");
        CVelmor::LogEntry("lost", LOG_WARNING);
        CVelmor::LogSeparator(1);
        CVelmor::LogBlankLines(2);
    }
    EXPECT_EQ(testsupport::ReadFile("gamelog.txt/keep"), "x");
}

}  // namespace
