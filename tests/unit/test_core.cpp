// Frame timer arithmetic, the main loop and focus handling on the headless
// platform.
#include "cvelmor.h"
#include "cvelmor_rand.h"
#include "engineroutine.h"
#include "test_support.h"
#include "vlm_window.h"

namespace {

class CoreTest : public EngineTest {
protected:
    // The main loop tests hand the game their engine on the stack.
    void TearDown() override {
        g_pV2D = nullptr;
        EngineTest::TearDown();
    }
};

TEST_F(CoreTest, ConstructionStartsTheTimerOneMillisecondBehind) {
    system->SetMilliseconds(5000);
    CVelmor engine;
    EXPECT_EQ(engine.GetTimer().qwLastUpdateUs, 5000000u);
    EXPECT_EQ(engine.GetTimer().qwPrevUpdateUs, 4999000u);
    EXPECT_FLOAT_EQ(engine.TimerGetDelta(), 0.001f);
    EXPECT_EQ(engine.TimerGetFPS(), 1u);
    EXPECT_EQ(GetEngine(), &engine);
}

TEST_F(CoreTest, LongStallIsClampedTo300Milliseconds) {
    system->SetMilliseconds(1000);
    CVelmor engine;
    system->AdvanceMilliseconds(5000);
    engine.TimerUpdate();
    EXPECT_EQ(engine.GetTimer().iFrameTimeUs, 300000);
    EXPECT_FLOAT_EQ(engine.TimerGetDelta(), 0.3f);
}

// Frames shorter than a millisecond are measured as they are, so game time
// keeps pace with the clock however fast the frames come.
TEST_F(CoreTest, ShortFramesAreMeasuredToTheMicrosecond) {
    CVelmor engine;
    const struct {
        uint64_t frameUs;
        float seconds;
    } frames[] = {{250, 0.00025f}, {16667, 0.016667f}, {1, 0.000001f}, {999, 0.000999f}, {0, 0.000001f}};
    engine.TimerRestart();
    for (const auto& frame : frames) {
        system->microseconds += frame.frameUs;
        engine.TimerUpdate();
        EXPECT_FLOAT_EQ(engine.TimerGetDelta(), frame.seconds) << frame.frameUs << " us";
    }

    // A second of 4 000 frames is a second of game time.
    double gameTime = 0;
    for (int i = 0; i < 4000; ++i) {
        system->microseconds += 250;
        engine.TimerUpdate();
        gameTime += engine.TimerGetDelta();
    }
    EXPECT_NEAR(gameTime, 1.0, 1e-3);
}

TEST_F(CoreTest, FramesPerSecondCountsTheLastFullSecond) {
    system->SetMilliseconds(0);
    CVelmor engine;
    // 10 ms frames: the first second is complete after 100 of them.
    for (int i = 0; i < 99; ++i) {
        system->AdvanceMilliseconds(10);
        engine.TimerUpdate();
    }
    EXPECT_EQ(engine.TimerGetFPS(), 1u) << "before the first full second";
    system->AdvanceMilliseconds(10);
    engine.TimerUpdate();
    EXPECT_EQ(engine.TimerGetFPS(), 101u);  // 1 from construction + 99 counted + 1
    EXPECT_EQ(engine.GetTimer().iAccumulatedUs, 0);
    // A second of 20 ms frames: 50 updates, the last one completes it.
    for (int i = 0; i < 50; ++i) {
        system->AdvanceMilliseconds(20);
        engine.TimerUpdate();
    }
    EXPECT_EQ(engine.TimerGetFPS(), 50u);
    // The excess over 1000 ms is dropped: 999 + 300 completes with no carry.
    system->AdvanceMilliseconds(300);
    engine.TimerUpdate();
    system->AdvanceMilliseconds(300);
    engine.TimerUpdate();
    system->AdvanceMilliseconds(300);
    engine.TimerUpdate();
    system->AdvanceMilliseconds(300);
    engine.TimerUpdate();
    EXPECT_EQ(engine.TimerGetFPS(), 4u);
    EXPECT_EQ(engine.GetTimer().iAccumulatedUs, 0);
}

TEST_F(CoreTest, InactiveWindowRunsNoFrameAndQuitEndsTheLoop) {
    CVelmor engine;
    EXPECT_EQ(engine.UpdateAllSystems(), 0);
    g_bWindowActive = 1;
    EXPECT_EQ(engine.UpdateAllSystems(), 1);
    system->Post(platform::MSG_QUIT);
    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_INACTIVE);
    EXPECT_EQ(engine.UpdateAllSystems(), -1);
    ASSERT_EQ(system->queue.size(), 1u) << "messages after the quit stay queued";
    EXPECT_EQ(engine.UpdateAllSystems(), 0);
    EXPECT_EQ(g_bWindowActive, 0);
}

int g_focusLost = 0;
int g_focusRestored = 0;

TEST_F(CoreTest, FocusChangesAreLoggedOnceAndCallbacksOrdered) {
    CVelmor engine;
    g_focusLost = g_focusRestored = 0;
    engine.RegisterCallback([] { CVelmor::LogLine("lost callback"); ++g_focusLost; }, CALLBACK_FOCUS_LOST);
    engine.RegisterCallback([] { CVelmor::LogLine("restored callback"); ++g_focusRestored; },
                            CALLBACK_FOCUS_RESTORED);
    std::remove("gamelog.txt");
    g_bWindowActive = 1;
    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_ACTIVE);  // already active: nothing
    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_INACTIVE);
    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_INACTIVE);
    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_CLICKACTIVE);
    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_ACTIVE);
    engine.UpdateAllSystems();
    const std::vector<std::string> expected = {
        "lost callback", "FOCUS LOST", "FOCUS GAINED", "restored callback",
    };
    EXPECT_EQ(LogLines(), expected);
    EXPECT_EQ(g_focusLost, 1);
    EXPECT_EQ(g_focusRestored, 1);
}

TEST_F(CoreTest, FirstFrameAfterLongBackgroundIsShort) {
    system->SetMilliseconds(1000);
    CVelmor engine;
    g_bWindowActive = 1;
    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_INACTIVE);
    engine.UpdateAllSystems();
    system->AdvanceMilliseconds(60000);  // a minute in the background
    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_ACTIVE);
    system->onPeek = [](platform::HeadlessSystem& s) { s.AdvanceMilliseconds(2); };
    ASSERT_EQ(engine.UpdateAllSystems(), 1);
    EXPECT_LT(engine.GetTimer().iFrameTimeUs, 10000);
}

int g_frames = 0;

TEST_F(CoreTest, MainLoopWaitsWhileInactiveAndEndsOnDestroy) {
    CVelmor engine;
    g_pV2D = &engine;
    g_frames = 0;
    int waits = 0;
    system->onWait = [&waits](platform::HeadlessSystem& s) {
        ++waits;
        s.Post(platform::MSG_ACTIVATE, platform::ACTIVATE_ACTIVE);
    };
    MainLoop([]() -> uint8_t {
        // Closing the window: the window procedure posts the quit message.
        if (++g_frames == 3) V2DWindowProc(platform::MSG_DESTROY, 0, 0);
        return 1;
    });
    EXPECT_EQ(waits, 1);
    EXPECT_EQ(g_frames, 3) << "the quit message ends the loop at the next update";
    EXPECT_EQ(g_bQuitFlag, 1);
}

TEST_F(CoreTest, FrameFunctionReturningZeroLeavesTheLoop) {
    CVelmor engine;
    g_pV2D = &engine;
    g_bWindowActive = 1;
    g_frames = 0;
    MainLoop([]() -> uint8_t { return ++g_frames < 4 ? 1 : 0; });
    EXPECT_EQ(g_frames, 4);
    EXPECT_EQ(g_bQuitFlag, 0);
}

float g_firstFrameTime = 0;

// The loading before the loop (a quarter of a second here) is not the first
// frame's time: the frame timer starts over when the loop begins.
TEST_F(CoreTest, FirstFrameOfTheLoopLeavesStartUpLoadingOut) {
    CVelmor engine;
    g_pV2D = &engine;
    g_bWindowActive = 1;
    system->AdvanceMilliseconds(250);
    system->onPeek = [](platform::HeadlessSystem& s) { s.AdvanceMilliseconds(16); };
    MainLoop([]() -> uint8_t {
        g_firstFrameTime = GetEngine()->TimerGetDelta();
        return 0;
    });
    EXPECT_FLOAT_EQ(g_firstFrameTime, 0.016f);
}

TEST_F(CoreTest, DestroyMessageClearsActiveFlagAndPostsQuit) {
    CVelmor engine;
    g_bWindowActive = 1;
    system->Post(platform::MSG_DESTROY);
    EXPECT_EQ(engine.UpdateAllSystems(), -1);
    EXPECT_EQ(g_bWindowActive, 0);
}

TEST(RandomTest, MatchesTheRuntimeRecurrence) {
    V2DSrand(1);
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (int value : expected) EXPECT_EQ(V2DRand(), value);
    V2DSrand(12345);
    const int a = V2DRand();
    V2DSrand(12345);
    EXPECT_EQ(V2DRand(), a);
    for (int i = 0; i < 1000; ++i) {
        const int r = V2DRand();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
    }
}

}  // namespace

#include "letterbox.h"

namespace {

TEST(Letterbox, WideWindowGetsSideBarsAndPixelsMapBack) {
    const auto box = platform::FitLetterbox(1024, 600, 800, 600);
    EXPECT_EQ(box.x, 112);
    EXPECT_EQ(box.y, 0);
    EXPECT_EQ(box.width, 800);
    EXPECT_EQ(box.height, 600);
    int bx, by;
    platform::WindowToBuffer(box, 800, 600, 112, 0, bx, by);
    EXPECT_EQ(bx, 0);
    EXPECT_EQ(by, 0);
    platform::WindowToBuffer(box, 800, 600, 111, 599, bx, by);
    EXPECT_EQ(bx, -1);
    EXPECT_EQ(by, 599);
}

TEST(Letterbox, TallWindowGetsBarsAboveAndBelowAndScales) {
    const auto box = platform::FitLetterbox(400, 800, 800, 600);
    EXPECT_EQ(box.width, 400);
    EXPECT_EQ(box.height, 300);
    EXPECT_EQ(box.y, 250);
    int bx, by;
    platform::WindowToBuffer(box, 800, 600, 399, 549, bx, by);
    EXPECT_EQ(bx, 798);
    EXPECT_EQ(by, 598);
}

}  // namespace
