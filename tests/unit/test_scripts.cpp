// The script state: start-up, chunks, calls by name, values and errors
// crossing between scripts and the engine.
#include <cstring>
#include <deque>

#include "cvelmor.h"
#include "cvelmor_glue.h"
#include "test_support.h"

using testsupport::Raised;

namespace {

const std::string kSep1 = "|---------------------------------------------------|";

class ScriptTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        engine = std::make_unique<CVelmor>();
        engine->ScriptsInit();
    }
    void TearDown() override {
        engine.reset();
        EngineTest::TearDown();
    }
    void Load(const std::string& chunk, const std::string& name = "test") {
        engine->ScriptLoadFromBuffer(chunk.data(), chunk.size(), name);
    }
    // Calls a function and returns the CEHSException it threw.
    CEHSException CallExpectingError(const std::string& name) {
        try {
            engine->ScriptCallFunction(name, -1);
        } catch (const CEHSException& e) {
            return e;
        }
        ADD_FAILURE() << name << " did not throw";
        return CEHSException(0, 0, "", "", 0);
    }
    std::unique_ptr<CVelmor> engine;
};

TEST_F(ScriptTest, StartLogsItsBlockAndOpensOnlyBaseMathAndIo) {
    const std::vector<std::string> expected = {
        kSep1,
        "--==: Initializing Scripts Subsystem...",
        "",
        "   =:    Creating Lua state...",
        "   +:    Done.",
        "",
        "",
        "   =:    Initializing standart Lua libraries...",
        "   +:    Done.",
        "",
        "   +: Done.",
        kSep1,
        "",
    };
    EXPECT_EQ(LogLines(), expected);
    Load("function libs() return type(math), type(io), type(coroutine), type(string), type(table), "
         "type(os), type(debug) end");
    engine->ScriptCallFunction("libs", -1);
    std::vector<std::string> types;
    for (const CLuaValue& v : engine->ScriptGetResults()) types.insert(types.begin(), v.GetString());
    const std::vector<std::string> expectedTypes = {"table", "table", "table", "nil", "nil", "nil", "nil"};
    EXPECT_EQ(types, expectedTypes);
    // Files, yes; programs, no.
    Load("function io_types() return type(io.open), type(io.lines), type(io.write), type(io.popen) end");
    engine->ScriptCallFunction("io_types", -1);
    types.clear();
    for (const CLuaValue& v : engine->ScriptGetResults()) types.insert(types.begin(), v.GetString());
    EXPECT_EQ(types, (std::vector<std::string>{"function", "function", "function", "nil"}));
    const CEHSException e = Raised([&] { Load("io.popen('touch started_by_script')"); });
    EXPECT_EQ(e.GetType(), 4u);
    EXPECT_FALSE(testsupport::FileExists("started_by_script"));
}

TEST_F(ScriptTest, SecondStartThrowsAndStopLogsItsBlock) {
    try {
        engine->ScriptsInit();
        FAIL();
    } catch (const CEHSException& e) {
        EXPECT_EQ(e.GetType(), 1u);
        EXPECT_EQ(e.GetDesc(), "Script subsystem reinitialization!");
        EXPECT_EQ(e.GetFile(), "cvelmor_scr_main");
    }
    std::remove("gamelog.txt");
    engine->ScriptsDeinit();
    const std::vector<std::string> expected = {
        kSep1, "--==: Deinitializing Scripts Subsystem...", "   +: Done.", kSep1, "",
    };
    EXPECT_EQ(LogLines(), expected);
    try {
        engine->ScriptsDeinit();
        FAIL();
    } catch (const CEHSException& e) {
        EXPECT_EQ(e.GetDesc(), "Internal error - scripts subsystem was not initialized!");
    }
}

TEST_F(ScriptTest, SyntaxAndRuntimeErrorsBecomeScriptExceptions) {
    try {
        Load("function broken( end", "broken.lua");
        FAIL();
    } catch (const CEHSException& e) {
        EXPECT_EQ(e.GetType(), 4u);
        EXPECT_EQ(e.GetCode(), 3u);  // syntax error
        EXPECT_NE(e.GetDesc().find("broken.lua"), std::string::npos) << e.GetDesc();
    }
    try {
        Load("error('no good')", "runtime.lua");
        FAIL();
    } catch (const CEHSException& e) {
        EXPECT_EQ(e.GetType(), 4u);
        EXPECT_EQ(e.GetCode(), 2u);  // run-time error
        EXPECT_NE(e.GetDesc().find("no good"), std::string::npos) << e.GetDesc();
    }
    Load("function fails(x) error('bad ' .. x) end");
    engine->ScriptAddParam(CLuaValue(std::string("input"), false));
    const CEHSException e = CallExpectingError("fails");
    EXPECT_EQ(e.GetType(), 4u);
    EXPECT_EQ(e.GetCode(), 2u);
    EXPECT_NE(e.GetDesc().find("bad input"), std::string::npos);
    EXPECT_EQ(e.GetFile(), "cvelmor_scr_func");
    EXPECT_EQ(engine->ScriptGetLastCalledFunctionName(), "fails");
    // The state is still usable afterwards.
    Load("function ok() return 5 end");
    engine->ScriptCallFunction("ok", 1);
    ASSERT_EQ(engine->ScriptGetResults().size(), 1u);
    EXPECT_EQ(engine->ScriptGetResults()[0].GetNumber(), 5.0);
}

TEST_F(ScriptTest, NamesThatAreNotFunctionsDoNothingAndClearParameters) {
    Load("counter = 0 notfunc = 3 function count(...) counter = counter + 1 return select('#', ...) end");
    engine->ScriptCallFunction("count", -1);
    engine->ScriptAddParam(CLuaValue(1.0));
    engine->ScriptAddParam(CLuaValue(2.0));
    engine->ScriptCallFunction("undefined_name", -1);
    EXPECT_TRUE(engine->ScriptGetResults().empty());
    engine->ScriptAddParam(CLuaValue(true));
    engine->ScriptCallFunction("notfunc", -1);
    EXPECT_TRUE(engine->ScriptGetResults().empty());
    // Neither call left parameters behind for the next real call.
    engine->ScriptCallFunction("count", -1);
    ASSERT_EQ(engine->ScriptGetResults().size(), 1u);
    EXPECT_EQ(engine->ScriptGetResults()[0].GetNumber(), 0.0);
}

TEST_F(ScriptTest, ResultsComeBackLastToFirstAndParametersInOrder) {
    Load("function three() return 1, 'a', true end\n"
         "function echo(a, b, c, d) return a, b, c, d end\n"
         "function callback() return 'x' end\n");
    engine->ScriptCallFunction("three", -1);
    const auto& r = engine->ScriptGetResults();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_TRUE(r[0].GetBoolean());
    EXPECT_EQ(r[1].GetString(), "a");
    EXPECT_EQ(r[2].GetNumber(), 1.0);

    engine->ScriptAddParam(CLuaValue(2.5));
    engine->ScriptAddParam(CLuaValue(false));
    engine->ScriptAddParam(CLuaValue(std::string("text"), false));
    engine->ScriptAddParam(CLuaValue(std::string("callback"), true));
    engine->ScriptCallFunction("echo", -1);
    const auto& e = engine->ScriptGetResults();
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].GetString(), "callback") << "a function parameter arrives as its name";
    EXPECT_EQ(e[1].GetString(), "text");
    EXPECT_FALSE(e[2].GetBoolean());
    EXPECT_EQ(e[3].GetNumber(), 2.5);

    // A fixed count of wanted results.
    engine->ScriptCallFunction("three", 1);
    ASSERT_EQ(engine->ScriptGetResults().size(), 1u);
    EXPECT_EQ(engine->ScriptGetResults()[0].GetNumber(), 1.0);
}

TEST_F(ScriptTest, NilAndTableResultsAreRejectedWithTheirTypeIds) {
    Load("function gives_nil() return nil end function gives_table() return {} end");
    CEHSException nilError = CallExpectingError("gives_nil");
    EXPECT_EQ(nilError.GetType(), 2u);
    EXPECT_EQ(nilError.GetDesc(), "Function: gives_nil returned result of invalid type. Type id = 0");
    CEHSException tableError = CallExpectingError("gives_table");
    EXPECT_EQ(tableError.GetDesc(), "Function: gives_table returned result of invalid type. Type id = 5");
}

TEST(LuaValue, AccessorsCheckTheStatus) {
    const CLuaValue text(std::string("s"), false);
    try {
        text.GetNumber();
        FAIL();
    } catch (const CEHSException& e) {
        EXPECT_EQ(e.GetType(), 1u);
        EXPECT_EQ(e.GetDesc(), "CLuaValue error: cannot return number because of different status!");
        EXPECT_EQ(e.GetFile(), "cvelmor_scr_cluaval");
    }
    EXPECT_THROW(CLuaValue(1.0).GetBoolean(), CEHSException);
    EXPECT_THROW(CLuaValue(true).GetString(), CEHSException);
    EXPECT_THROW(text.GetFunction(), CEHSException);
    const CLuaValue function(std::string("fn"), true);
    EXPECT_EQ(function.GetFunction(), "fn");
    EXPECT_EQ(function.GetStatus(), 4);
    CLuaValue copy = function;
    EXPECT_EQ(copy.GetFunction(), "fn");
}

V2D_SCRIPT_FUNCTION(TEST_ThrowEngineError) {
    (void)L;
    throw CEHSException(EHS_TYPE_GENERAL, 77, "Cannot create texture object!", "cvelmor_gfx_tex", 123);
}

V2D_SCRIPT_FUNCTION(TEST_ThrowText) {
    (void)L;
    throw CV2DFatalText("Error in TItemsManager<T>::FreeItem");
}

TEST_F(ScriptTest, EngineErrorsInsideNativeFunctionsArriveUnchanged) {
    engine->ScriptRegisterFunction("TEST_ThrowEngineError", script_TEST_ThrowEngineError);
    engine->ScriptRegisterFunction("TEST_ThrowText", script_TEST_ThrowText);
    Load("function outer() local ok = pcall(math.floor, 1) TEST_ThrowEngineError() return 1 end\n"
         "function text() TEST_ThrowText() end\n"
         "function fine(x) return x * 2 end\n");
    const CEHSException e = CallExpectingError("outer");
    EXPECT_EQ(e.GetType(), 1u);
    EXPECT_EQ(e.GetCode(), 77u);
    EXPECT_EQ(e.GetDesc(), "Cannot create texture object!");
    EXPECT_EQ(e.GetFile(), "cvelmor_gfx_tex");
    EXPECT_EQ(e.GetLine(), 123u);
    EXPECT_EQ(engine->ScriptGetLastCalledFunctionName(), "outer");

    try {
        engine->ScriptCallFunction("text", -1);
        FAIL();
    } catch (const CV2DFatalText& error) {
        EXPECT_STREQ(error.what(), "Error in TItemsManager<T>::FreeItem");
    }

    // From a chunk being run, too.
    try {
        Load("TEST_ThrowEngineError()");
        FAIL();
    } catch (const CEHSException& chunkError) {
        EXPECT_EQ(chunkError.GetCode(), 77u);
    }

    engine->ScriptAddParam(CLuaValue(21.0));
    engine->ScriptCallFunction("fine", -1);
    ASSERT_EQ(engine->ScriptGetResults().size(), 1u);
    EXPECT_EQ(engine->ScriptGetResults()[0].GetNumber(), 42.0);
}

V2D_SCRIPT_FUNCTION(TEST_LoadChunk) {
    const std::string chunk = GlueToString(L, 1);
    GetEngine()->ScriptLoadFromBuffer(chunk.data(), chunk.size(), "inner");
    return 0;
}

TEST_F(ScriptTest, CaughtEngineErrorsStayFatalAndNeverOutliveTheirCall) {
    engine->ScriptRegisterFunction("TEST_ThrowEngineError", script_TEST_ThrowEngineError);
    const char* const catchers[] = {
        "pcall(TEST_ThrowEngineError)",
        "xpcall(TEST_ThrowEngineError, function(m) reached = 'handler' return m end)",
        "pcall(pcall, TEST_ThrowEngineError)",
        "coroutine.resume(coroutine.create(function() TEST_ThrowEngineError() end))",
        "pcall(coroutine.wrap(function() TEST_ThrowEngineError() end))",
        "coroutine.wrap(function() pcall(TEST_ThrowEngineError) end)()",
    };
    Load("function reachedWhat() return reached end");
    for (const char* catcher : catchers) {
        Load("reached = 'no'");
        const CEHSException e = Raised([&] { Load(std::string("local ok = ") + catcher + " reached = 'yes'"); });
        EXPECT_EQ(e.GetCode(), 77u) << catcher;
        EXPECT_EQ(e.GetDesc(), "Cannot create texture object!") << catcher;
        engine->ScriptCallFunction("reachedWhat", 1);
        EXPECT_NE(engine->ScriptGetResults().at(0).GetString(), "yes") << catcher << ": the script went on";
        // The next error is reported as itself.
        const CEHSException next = Raised([&] { Load("error('a plain script error')"); });
        EXPECT_EQ(next.GetType(), 4u) << catcher;
        EXPECT_NE(next.GetDesc().find("a plain script error"), std::string::npos) << catcher;
    }
    // Called by name, too.
    Load("function caught() pcall(TEST_ThrowEngineError) return 5 end\nfunction fine() return 6 end");
    EXPECT_EQ(CallExpectingError("caught").GetCode(), 77u);
    engine->ScriptCallFunction("fine", 1);
    EXPECT_EQ(engine->ScriptGetResults().at(0).GetNumber(), 6.0);
    // Scripts still catch their own errors.
    Load("ok, message = pcall(error, 'mine') function caughtOwn() return ok, message end");
    engine->ScriptCallFunction("caughtOwn", -1);
    ASSERT_EQ(engine->ScriptGetResults().size(), 2u);
    EXPECT_EQ(engine->ScriptGetResults()[1].GetBoolean(), false);
    EXPECT_EQ(engine->ScriptGetResults()[0].GetString(), "mine");
}

TEST_F(ScriptTest, AChunkLoadedFromInsideAScriptReportsItsOwnSyntaxError) {
    engine->ScriptRegisterFunction("TEST_LoadChunk", script_TEST_LoadChunk);
    const CEHSException e = Raised([&] { Load("TEST_LoadChunk('x = = 1')"); });
    EXPECT_EQ(e.GetType(), 4u);
    EXPECT_EQ(e.GetFile(), "cvelmor_scr_main");
    EXPECT_NE(e.GetDesc().find("inner"), std::string::npos) << e.GetDesc();
    EXPECT_NE(e.GetDesc().find("unexpected symbol"), std::string::npos) << e.GetDesc();
    Load("TEST_LoadChunk('y = 2') function y2() return y end");
    engine->ScriptCallFunction("y2", 1);
    EXPECT_EQ(engine->ScriptGetResults().at(0).GetNumber(), 2.0);
}

TEST_F(ScriptTest, LogFunctionChecksItsArgumentType) {
    Load("function log_text() V2D_LOG_AddEntry('from script') end\n"
         "function log_number() V2D_LOG_AddEntry(5) end\n"
         "function log_nothing() V2D_LOG_AddEntry() end\n");
    engine->ScriptCallFunction("log_text", -1);
    EXPECT_EQ(LogLines().back(), "from script");
    const CEHSException e = CallExpectingError("log_number");
    EXPECT_EQ(e.GetType(), 2u);
    EXPECT_EQ(e.GetDesc(), "Error in glue function: glue_V2D_LOG_AddEntry.Invalid argument type. Index = 1");
    EXPECT_EQ(e.GetFile(), "cvelmor_glue_log");
    EXPECT_EQ(CallExpectingError("log_nothing").GetDesc(),
              "Error in glue function: glue_V2D_LOG_AddEntry.Invalid argument type. Index = 1");
}

TEST_F(ScriptTest, TimerFunctionsReportTheEngineTimer) {
    system->AdvanceMilliseconds(5000);
    engine->TimerUpdate();
    Load("function timer() return V2D_SYS_TimerGetDelta(), V2D_SYS_TimerGetFPS() end");
    engine->ScriptCallFunction("timer", -1);
    const auto& r = engine->ScriptGetResults();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].GetNumber(), 1.0);
    EXPECT_NEAR(r[1].GetNumber(), 0.3, 1e-6);
}

// A script game drives its own loop: while the window is inactive the
// update waits for the next window message before answering 0, so the loop
// sleeps instead of spinning; a message that brings the window back lets the
// next update run a frame.
TEST_F(ScriptTest, UpdateWaitsForAMessageWhileTheWindowIsInactive) {
    Load("function loop()\n"
         "  local answers = ''\n"
         "  for i = 1, 4 do answers = answers .. V2D_SYS_UpdateAllSystems() .. ' ' end\n"
         "  return answers\n"
         "end\n");
    // The window goes inactive; each wait finds the next message of the
    // player's return: a message that is no activation, then the activation.
    std::vector<std::string> events;
    std::deque<uint32_t> arriving = {0x0200, platform::MSG_ACTIVATE};
    system->onWait = [&](platform::HeadlessSystem& s) {
        events.push_back("wait");
        ASSERT_FALSE(arriving.empty()) << "waited with nothing more to come";
        s.Post(arriving.front(), platform::ACTIVATE_ACTIVE);
        arriving.pop_front();
    };
    g_bWindowActive = 1;
    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_INACTIVE);
    engine->ScriptCallFunction("loop", -1);
    ASSERT_EQ(engine->ScriptGetResults().size(), 1u);
    EXPECT_EQ(engine->ScriptGetResults()[0].GetString(), "0 0 1 1 ");
    EXPECT_EQ(events, (std::vector<std::string>{"wait", "wait"}));
    EXPECT_TRUE(system->queue.empty());
}

}  // namespace
