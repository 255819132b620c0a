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
#include <thread>

#include "cvelmor.h"
#include "dinput.h"
#include "input_system.h"
#include "presentation.h"
#include "system.h"
#include "test_support.h"

using namespace vdinput;

namespace {

// The window is wider than the back buffer's aspect, so the 800x600 picture
// sits between two 100-pixel bars.
constexpr int kWindowW = 1000;
constexpr int kWindowH = 600;

class InputX11Test : public EngineTest {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs xdotool";
        EngineTest::SetUp();
        m_started = true;
        platform::SetSystem(platform::CreateSdlSystem());
        platform::SetInputSystem(platform::CreateSdlInputSystem());
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        m_window = SDL_CreateWindow("input test", 0, 0, kWindowW, kWindowH, SDL_WINDOW_SHOWN | SDL_WINDOW_BORDERLESS);
        ASSERT_NE(m_window, nullptr) << SDL_GetError();
        platform::SetPresentationGeometry(kWindowW, kWindowH, 800, 600);
        SDL_RaiseWindow(m_window);
        SDL_SetWindowInputFocus(m_window);
        g_bWindowActive = 1;  // as the game window starts out

        engine = std::make_unique<CVelmor>();
        // Input needs only to see that graphics made its device and window.
        engine->m_hWnd = reinterpret_cast<platform::GameWindow*>(m_window);
        engine->m_pD3DDevice = reinterpret_cast<vd3d::IDirect3DDevice8*>(&m_standInDevice);
        engine->InputInit();
        engine->m_pD3DDevice = nullptr;
        engine->m_hWnd = nullptr;
        ASSERT_TRUE(RunFramesUntil([&] { return engine->m_inp.bKeyboardAcquired && engine->m_inp.bMouseAcquired; }))
            << "the window never got the focus";
    }

    void TearDown() override {
        if (!m_started) return;
        engine.reset();
        if (m_window) SDL_DestroyWindow(m_window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        platform::SetPresentationGeometry(0, 0, 0, 0);
        if (m_started) EngineTest::TearDown();
    }

    // Runs engine frames until `done` holds after one of them (3 s at most).
    bool RunFramesUntil(const std::function<bool()>& done) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (std::chrono::steady_clock::now() < until) {
            if (engine->UpdateAllSystems() == 1 && done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

    static void Xdotool(const std::string& args) {
        ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args;
    }

    std::unique_ptr<CVelmor> engine;

private:
    bool m_started = false;
    SDL_Window* m_window = nullptr;
    int m_standInDevice = 0;
};

TEST_F(InputX11Test, KeysArriveAsTheirDirectInputCodesAndEachTapIsClickedOnce) {
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
    engine->KeyboardSetTextBufferStatus(true);
    // One frame types one character, so each key goes in a burst of its own.
    Xdotool("key shift+2");
    ASSERT_TRUE(RunFramesUntil([&] { return engine->KeyboardGetTextInBuffer().size() == 1; }));
    Xdotool("key b");
    ASSERT_TRUE(RunFramesUntil([&] { return engine->KeyboardGetTextInBuffer().size() == 2; }));
    EXPECT_EQ(engine->KeyboardGetTextInBuffer(), "@b");
}

TEST_F(InputX11Test, CursorReadsAsTheBackBufferPixelUnderThePointer) {
    int32_t x = 0, y = 0;
    // (500, 300) in the window is the middle of the picture.
    Xdotool("mousemove 500 300");
    ASSERT_TRUE(RunFramesUntil([&] {
        engine->MouseGetCursorPos(x, y);
        return x == 400 && y == 300;
    })) << x << "," << y;
    EXPECT_EQ(engine->MouseGetCursorStatus(), 1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE) << "only the game's own cursor shows inside";

    Xdotool("mousemove 100 0");
    ASSERT_TRUE(RunFramesUntil([&] {
        engine->MouseGetCursorPos(x, y);
        return x == 0 && y == 0;
    })) << x << "," << y;
    Xdotool("mousemove 899 599");
    ASSERT_TRUE(RunFramesUntil([&] {
        engine->MouseGetCursorPos(x, y);
        return x == 799 && y == 599;
    })) << x << "," << y;

    // On the bar the pointer is outside the picture.
    Xdotool("mousemove 50 10");
    ASSERT_TRUE(RunFramesUntil([&] {
        engine->MouseGetCursorPos(x, y);
        return x == -50 && y == 10;
    })) << x << "," << y;
    EXPECT_EQ(engine->MouseGetCursorStatus(), 0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);

    // Back in, then out of the window altogether (the screen is larger).
    Xdotool("mousemove 500 300");
    ASSERT_TRUE(RunFramesUntil([&] { return engine->MouseGetCursorStatus() == 1; }));
    Xdotool("mousemove 1010 700");
    ASSERT_TRUE(RunFramesUntil([&] { return engine->MouseGetCursorStatus() == 0; }));
    engine->MouseGetCursorPos(x, y);
    EXPECT_TRUE(x >= 800 || y >= 600) << x << "," << y;
}

TEST_F(InputX11Test, ClicksAndWheelArriveAsButtonsAndWheelSteps) {
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
