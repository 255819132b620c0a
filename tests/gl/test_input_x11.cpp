// Keyboard and mouse through the real SDL input system on an X server:
// keys and clicks sent with xdotool must reach the engine's per-frame
// snapshots as their DirectInput codes and button numbers, and the cursor
// must read as the back-buffer pixel under the pointer.
#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "cvelmor.h"
#include "dinput.h"
#include "input_system.h"
#include "presentation.h"
#include "system.h"
#include "test_support.h"
#include "window.h"
#include "window_sdl.h"

using namespace vdinput;

namespace {

class InputX11Test : public EngineTest {
protected:
    void SetUp() override {
        VELMOR_REQUIRE_DISPLAY();
        VELMOR_REQUIRE(std::system("command -v xdotool >/dev/null 2>&1") == 0, "needs xdotool");
        EngineTest::SetUp();
        m_started = true;
        // The real window, device, events and input.
        vd3d::SetDirect3DFactory(nullptr);
        platform::SetWindowSystem(nullptr);
        platform::SetSystem(platform::CreateSdlSystem());
        platform::SetInputSystem(platform::CreateSdlInputSystem());
    }

    void TearDown() override {
        if (!m_started) return;
        engine.reset();
        EngineTest::TearDown();
    }

    // Graphics then input, as the game starts them; full screen unless told.
    void StartEngine(bool windowed = false) {
        engine = std::make_unique<CVelmor>();
        engine->SetAppInfo("Quble", "v. 1.0");
        engine->GfxPreinit(800, 600);
        engine->GfxInit(windowed ? 3 : 2, windowed);
        ASSERT_TRUE(engine->GfxDeviceExists());
        window = platform::SdlWindowOf(engine->m_hWnd);
        ASSERT_NE(window, nullptr);
        engine->InputInit();
        // With no window manager on the display, give the window the focus
        // the way one would. SDL takes a focus change as settled only after
        // a moment, so the request is repeated seldom, in case the window
        // could not take it yet. Frames run only while the window is active.
        auto nextRequest = std::chrono::steady_clock::now();
        const bool acquired = testsupport::WaitUntil(
            [&] {
                if (SDL_GetKeyboardFocus() != window && std::chrono::steady_clock::now() >= nextRequest) {
                    SDL_RaiseWindow(window);
                    SDL_SetWindowInputFocus(window);
                    nextRequest += std::chrono::milliseconds(500);
                }
                return engine->UpdateAllSystems() == 1 && engine->m_inp.bKeyboardAcquired &&
                       engine->m_inp.bMouseAcquired;
            },
            std::chrono::seconds(5));
        ASSERT_TRUE(acquired) << "the window never got the focus";
    }

    // Runs engine frames until `done` holds after one of them (3 s at most).
    bool RunFramesUntil(const std::function<bool()>& done) {
        return testsupport::WaitUntil([&] { return engine->UpdateAllSystems() == 1 && done(); },
                                      std::chrono::seconds(3));
    }

    static void Xdotool(const std::string& args) {
        ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args;
    }

    // Puts the pointer on a pixel of the game window and waits until the
    // engine reads `expected` as the cursor (back-buffer pixels).
    bool PointAt(int windowX, int windowY, int expectedX, int expectedY) {
        int originX = 0, originY = 0;
        SDL_GetWindowPosition(window, &originX, &originY);
        Xdotool("mousemove " + std::to_string(originX + windowX) + " " + std::to_string(originY + windowY));
        int32_t x = 0, y = 0;
        const bool reached = RunFramesUntil([&] {
            engine->MouseGetCursorPos(x, y);
            return x == expectedX && y == expectedY;
        });
        EXPECT_TRUE(reached) << "window (" << windowX << "," << windowY << ") read as (" << x << "," << y << ")";
        return reached;
    }

    std::unique_ptr<CVelmor> engine;
    SDL_Window* window = nullptr;

private:
    bool m_started = false;
};

TEST_F(InputX11Test, KeysArriveAsTheirDirectInputCodesAndEachTapIsClickedOnce) {
    StartEngine();
    const std::pair<const char*, int> keys[] = {
        {"a", DIK_A},           {"z", DIK_Z},           {"2", DIK_2},           {"0", DIK_0},
        {"F5", DIK_F5},         {"F12", DIK_F12},       {"Escape", DIK_ESCAPE}, {"BackSpace", DIK_BACK},
        {"Return", DIK_RETURN}, {"space", DIK_SPACE},   {"grave", DIK_GRAVE},   {"Up", DIK_UP},
        {"Left", DIK_LEFT},     {"Prior", DIK_PRIOR},   {"Next", DIK_NEXT},     {"Home", DIK_HOME},
        {"Delete", DIK_DELETE}, {"KP_Enter", DIK_NUMPADENTER}, {"KP_Add", DIK_ADD}, {"KP_Divide", DIK_DIVIDE},
        {"Shift_L", DIK_LSHIFT}, {"Control_L", DIK_LCONTROL}, {"Super_L", DIK_LWIN},
    };
    for (const auto& [name, code] : keys) {
        SCOPED_TRACE(name);
        Xdotool(std::string("key ") + name);  // press and release at once
        int clicks = 0;
        ASSERT_TRUE(RunFramesUntil([&, code = code] {
            clicks += engine->KeyboardIsKeyClicked(code);
            return clicks > 0;
        }));
        EXPECT_TRUE(engine->KeyboardIsKeyPressed(code));
        EXPECT_EQ(engine->KeyboardGetAnyPressedKey(), code) << "no other key reads as held";
        ASSERT_TRUE(RunFramesUntil([&, code = code] { return !engine->KeyboardIsKeyPressed(code); }));
        EXPECT_FALSE(engine->KeyboardIsKeyClicked(code));
    }
}

TEST_F(InputX11Test, ShiftTwoTypesTheAtSign) {
    StartEngine();
    engine->KeyboardSetTextBufferStatus(true);
    Xdotool("key shift+2");
    ASSERT_TRUE(RunFramesUntil([&] { return engine->KeyboardGetTextInBuffer().size() == 1; }));
    Xdotool("key b");
    ASSERT_TRUE(RunFramesUntil([&] { return engine->KeyboardGetTextInBuffer().size() == 2; }));
    EXPECT_EQ(engine->KeyboardGetTextInBuffer(), "@b");
}

// Text follows the player's keyboard layout while keys keep their places: on
// a German layout "z" is typed on the key a US layout calls Y, and "ä" where
// it has the apostrophe.
TEST_F(InputX11Test, TypedTextFollowsAGermanLayoutWhileKeysStayPositional) {
    VELMOR_REQUIRE(std::system("command -v setxkbmap >/dev/null 2>&1") == 0, "needs setxkbmap");
    ASSERT_EQ(std::system("setxkbmap de"), 0);
    struct UsLayoutAgain {
        ~UsLayoutAgain() { EXPECT_EQ(std::system("setxkbmap us"), 0); }
    } restore;
    StartEngine();
    engine->KeyboardSetTextBufferStatus(true);
    Xdotool("key z");
    bool clicked = false;
    ASSERT_TRUE(RunFramesUntil([&] {
        clicked = clicked || engine->KeyboardIsKeyClicked(DIK_Y);
        return !engine->KeyboardGetTextInBuffer().empty();
    }));
    EXPECT_TRUE(clicked) << "the key stays the one in the place of a US Y";
    EXPECT_EQ(engine->KeyboardGetTextInBuffer(), "z");
    engine->KeyboardSetTextInBuffer("");
    Xdotool("type --delay 30 zyaeq");
    Xdotool("key adiaeresis");
    ASSERT_TRUE(RunFramesUntil([&] { return engine->KeyboardGetTextInBuffer().size() >= 7; }))
        << engine->KeyboardGetTextInBuffer();
    EXPECT_EQ(engine->KeyboardGetTextInBuffer(), "zyaeq\xC3\xA4");
}

TEST_F(InputX11Test, FullScreenCursorReadsAsTheBackBufferPixelUnderThePointer) {
    StartEngine();
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    ASSERT_EQ(w * 3, h * 4) << "the test screen has the picture's aspect: " << w << "x" << h;
    // The picture fills the screen, scaled.
    PointAt(w / 2, h / 2, 400, 300);
    EXPECT_EQ(engine->MouseGetCursorStatus(), 1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE) << "only the game's own cursor shows inside";
    PointAt(0, 0, 0, 0);
    PointAt(w - 1, h - 1, 799, 599);
    PointAt(w * 5 / 8, h / 4, 500, 150);
}

TEST_F(InputX11Test, WindowOfAnotherAspectHasBarsOutsideTheClientArea) {
    StartEngine(true);
    // 1000x600 shows the 800x600 picture between two 100-pixel bars.
    SDL_SetWindowSize(window, 1000, 600);
    ASSERT_TRUE(RunFramesUntil([] { return platform::GetPresentationGeometry().windowWidth == 1000; }));
    PointAt(500, 300, 400, 300);
    EXPECT_EQ(engine->MouseGetCursorStatus(), 1);
    PointAt(100, 0, 0, 0);
    PointAt(899, 599, 799, 599);

    PointAt(50, 10, -50, 10);
    EXPECT_EQ(engine->MouseGetCursorStatus(), 0) << "on the bar";
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);

    // Out of the window altogether.
    PointAt(500, 300, 400, 300);
    int originX = 0, originY = 0;
    SDL_GetWindowPosition(window, &originX, &originY);
    Xdotool("mousemove " + std::to_string(originX + 500) + " " + std::to_string(originY + 650));
    ASSERT_TRUE(RunFramesUntil([&] { return engine->MouseGetCursorStatus() == 0; }));
    int32_t x = 0, y = 0;
    engine->MouseGetCursorPos(x, y);
    EXPECT_EQ(x, 400);
    EXPECT_EQ(y, 650);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

TEST_F(InputX11Test, ClicksAndWheelArriveAsButtonsAndWheelSteps) {
    StartEngine();
    Xdotool("mousemove 300 200");
    const std::pair<const char*, int> buttons[] = {{"1", 1}, {"3", 2}, {"2", 3}};
    for (const auto& [xbutton, button] : buttons) {
        SCOPED_TRACE(xbutton);
        Xdotool(std::string("click ") + xbutton);
        ASSERT_TRUE(RunFramesUntil([&, button = button] { return engine->MouseIsKeyClicked(button); }));
        EXPECT_EQ(engine->MouseGetAnyPressedKey(), button);
        ASSERT_TRUE(RunFramesUntil([&, button = button] { return !engine->MouseIsKeyPressed(button); }));
    }
    Xdotool("click 4");
    ASSERT_TRUE(RunFramesUntil([&] { return engine->MouseGetWheelDelta() == 1; }));
    Xdotool("click --repeat 3 5");
    ASSERT_TRUE(RunFramesUntil([&] { return engine->MouseGetWheelDelta() == -1; }));

    Xdotool("mousemove_relative -- 40 -30");
    int32_t dx = 0, dy = 0;
    ASSERT_TRUE(RunFramesUntil([&] {
        dx += engine->MouseGetDeltaX();
        dy += engine->MouseGetDeltaY();
        return dx == 40 && dy == -30;
    })) << dx << "," << dy;
}

}  // namespace
