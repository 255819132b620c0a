// Keyboard and mouse on the headless input system: start and stop, per-frame
// snapshots with pressed and clicked states, text input, the cursor, lost and
// refused devices, and key names.
#include <algorithm>
#include <iterator>
#include <memory>

#include "cvelmor.h"
#include "dinput.h"
#include "test_support.h"

using namespace vdinput;

namespace {

const std::string kSep1 = "|---------------------------------------------------|";

class InputTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        g_bWindowActive = 1;
        system->SetMilliseconds(10000);
        engine = std::make_unique<CVelmor>();
    }
    void TearDown() override {
        engine.reset();
        EngineTest::TearDown();
    }

    // Input starts right after graphics, as in the game: the recording
    // device in the headless game window.
    void StartInput() {
        engine->GfxPreinit(800, 600);
        engine->GfxInit(2, false);
        m_inputLogStart = LogLines().size();
        engine->InputInit();
    }
    // The log from the input block on.
    std::vector<std::string> InputLog() const {
        const auto lines = LogLines();
        return std::vector<std::string>(lines.begin() + static_cast<long>(std::min(m_inputLogStart, lines.size())),
                                        lines.end());
    }

    // One game frame's worth of the main loop.
    void Frame() { ASSERT_EQ(engine->UpdateAllSystems(), 1); }

    void Tap(uint8_t key) {
        input->KeyDown(key);
        input->KeyUp(key);
    }
    void Click(int button) {
        input->ButtonDown(button);
        input->ButtonUp(button);
    }
    // Types one key: a frame with its tap, then a frame with nothing, so that
    // the same key can be clicked again (a tap reads as held for one frame).
    void TypeFrame(uint8_t key) {
        Tap(key);
        Frame();
        Frame();
    }
    const std::string& Text() const { return engine->KeyboardGetTextInBuffer(); }

    std::unique_ptr<CVelmor> engine;

private:
    size_t m_inputLogStart = 0;
};

// ---- Start and stop ---------------------------------------------------------

TEST_F(InputTest, StartAndStopWriteTheirBlocksAndSetUpBothDevices) {
    StartInput();
    EXPECT_EQ(engine->m_bInpStarted, 1);
    EXPECT_EQ(InputLog(), (std::vector<std::string>{kSep1, "--==: Initializing Input Subsystem...", "   +: Done.",
                                                   kSep1, ""}));
    EXPECT_EQ(input->keyboard.cooperativeFlags, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND | DISCL_NOWINKEY);
    EXPECT_EQ(input->mouse.cooperativeFlags, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
    ASSERT_NE(windows->window, nullptr);
    EXPECT_EQ(input->keyboard.cooperativeWindow, windows->window) << "the game window";
    EXPECT_EQ(input->mouse.cooperativeWindow, windows->window);
    EXPECT_EQ(engine->m_inp.bKeyboardAcquired, 1);
    EXPECT_EQ(engine->m_inp.bMouseAcquired, 1);

    input->cursorShown = false;
    engine->InputDeinit();
    EXPECT_EQ(engine->m_bInpStarted, 0);
    EXPECT_FALSE(input->keyboard.exists);
    EXPECT_FALSE(input->mouse.exists);
    EXPECT_EQ(engine->m_inp.pDirectInput, nullptr);
    EXPECT_TRUE(input->cursorShown) << "the system cursor comes back at stop";
    const auto lines = InputLog();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 5, lines.end()),
              (std::vector<std::string>{kSep1, "--==: Deinitializing Input Subsystem...", "   +: Done.", kSep1, ""}));
}

TEST_F(InputTest, EngineStopsInputFirst) {
    StartInput();
    engine->ScriptsInit();
    engine.reset();
    const std::string log = Log();
    const size_t input = log.find("Deinitializing Input Subsystem...");
    const size_t graphics = log.find("Deinitializing Graphics Subsystem...");
    const size_t scripts = log.find("Deinitializing Scripts Subsystem...");
    ASSERT_NE(input, std::string::npos);
    ASSERT_NE(graphics, std::string::npos);
    ASSERT_NE(scripts, std::string::npos);
    EXPECT_LT(input, graphics);
    EXPECT_LT(graphics, scripts);
    EXPECT_LT(scripts, log.find("End of log."));
}

TEST_F(InputTest, RefusesToStartBeforeGraphics) {
    try {
        engine->InputInit();
        FAIL() << "input started without a graphics device";
    } catch (const CEHSException& e) {
        EXPECT_EQ(e.GetType(), 2u);
        EXPECT_EQ(e.GetCode(), 0u);
        EXPECT_EQ(e.GetDesc(), "Input system should be initialized after graphics system!");
        EXPECT_EQ(e.GetFile(), "cvelmor_inp_main");
        EXPECT_EQ(e.GetLine(), 108u);
    }
    EXPECT_EQ(engine->m_bInpStarted, 1) << "the flag is set first, so the stop block still runs";
    EXPECT_EQ(LogLines().back(), "--==: Initializing Input Subsystem...");
}

struct StartFailure {
    const char* what;
    void (*script)(platform::HeadlessInputSystem&);
    uint32_t code;
    const char* desc;
    const char* file;
    uint32_t line;
};

TEST_F(InputTest, StartFailuresAreFatalWithTheirMessages) {
    using Input = platform::HeadlessInputSystem;
    const uint32_t generic = static_cast<uint32_t>(DIERR_GENERIC);
    const StartFailure cases[] = {
        {"object", [](Input& in) { in.createResult = DIERR_GENERIC; }, generic, "Cannot create DirectInput object!",
         "cvelmor_inp_main", 116},
        {"null object", [](Input& in) { in.createNull = true; }, 0, "Error: Direct Input object is NULL!",
         "cvelmor_inp_main", 118},
        {"keyboard", [](Input& in) { in.keyboard.createResult = DIERR_DEVICENOTREG; },
         static_cast<uint32_t>(DIERR_DEVICENOTREG), "Cannot create DirectInputDevice (Keyboard) object!",
         "cvelmor_inp_keyboard", 100},
        {"null keyboard", [](Input& in) { in.keyboard.createNull = true; }, 0, "Error: keyboard object is NULL!",
         "cvelmor_inp_keyboard", 102},
        {"keyboard format", [](Input& in) { in.keyboard.dataFormatResult = DIERR_GENERIC; }, generic,
         "Cannot set data format for Keyboard!", "cvelmor_inp_keyboard", 108},
        {"keyboard level", [](Input& in) { in.keyboard.cooperativeResult = DIERR_GENERIC; }, generic,
         "Cannot set cooperative level for Keyboard!", "cvelmor_inp_keyboard", 114},
        {"mouse", [](Input& in) { in.mouse.createResult = DIERR_GENERIC; }, generic,
         "Cannot create DirectInputDevice (Mouse) object!", "cvelmor_inp_mouse", 101},
        {"null mouse", [](Input& in) { in.mouse.createNull = true; }, 0, "Error: mouse object is NULL!",
         "cvelmor_inp_mouse", 103},
        {"mouse format", [](Input& in) { in.mouse.dataFormatResult = DIERR_GENERIC; }, generic,
         "Cannot set data format for Mouse!", "cvelmor_inp_mouse", 109},
        {"mouse level", [](Input& in) { in.mouse.cooperativeResult = DIERR_GENERIC; }, generic,
         "Cannot set cooperative level for Mouse!", "cvelmor_inp_mouse", 115},
    };
    for (const StartFailure& c : cases) {
        SCOPED_TRACE(c.what);
        engine.reset();
        input = &platform::InstallHeadlessInputSystem();
        engine = std::make_unique<CVelmor>();
        c.script(*input);
        try {
            StartInput();
            ADD_FAILURE() << "input started";
        } catch (const CEHSException& e) {
            EXPECT_EQ(e.GetType(), 1u);
            EXPECT_EQ(e.GetCode(), c.code);
            EXPECT_EQ(e.GetDesc(), c.desc);
            EXPECT_EQ(e.GetFile(), c.file);
            EXPECT_EQ(e.GetLine(), c.line);
        }
        // The stop that follows a fatal error releases whatever was made.
        engine.reset();
        EXPECT_FALSE(input->keyboard.exists);
        EXPECT_FALSE(input->mouse.exists);
    }
}

// A new window may get the focus a moment after the input starts: another
// window in front is then no failure, anything else is.
TEST_F(InputTest, RefusedAcquisitionAtStartIsAWarningUnlessAnotherWindowIsInFront) {
    input->keyboard.acquireResults = {DIERR_OTHERAPPHASPRIO};
    input->mouse.acquireResults = {DIERR_NOTACQUIRED};
    StartInput();
    EXPECT_EQ(InputLog(), (std::vector<std::string>{kSep1, "--==: Initializing Input Subsystem...",
                                                   " !: Cannot acquire mouse!", " !: -2147024884", "   +: Done.",
                                                   kSep1, ""}));
    EXPECT_EQ(engine->m_inp.bKeyboardAcquired, 0);
    EXPECT_EQ(engine->m_inp.bMouseAcquired, 0);
}

TEST_F(InputTest, NothingHappensWithoutAnInputObject) {
    Frame();
    engine->InputReacquire();
    EXPECT_FALSE(engine->KeyboardIsKeyPressed(DIK_A));
    EXPECT_EQ(engine->MouseGetCursorStatus(), 0);
    EXPECT_EQ(Log(), "");
}

// ---- Keyboard snapshots -----------------------------------------------------

TEST_F(InputTest, KeyHeldForSeveralFramesIsClickedOnlyInTheFirst) {
    StartInput();
    input->KeyDown(DIK_F2);
    std::vector<bool> pressed, clicked;
    for (int frame = 0; frame < 4; ++frame) {
        Frame();
        pressed.push_back(engine->KeyboardIsKeyPressed(DIK_F2));
        clicked.push_back(engine->KeyboardIsKeyClicked(DIK_F2));
    }
    input->KeyUp(DIK_F2);
    Frame();
    pressed.push_back(engine->KeyboardIsKeyPressed(DIK_F2));
    clicked.push_back(engine->KeyboardIsKeyClicked(DIK_F2));
    EXPECT_EQ(pressed, (std::vector<bool>{true, true, true, true, false}));
    EXPECT_EQ(clicked, (std::vector<bool>{true, false, false, false, false}));
}

TEST_F(InputTest, QuickTapBetweenTwoFramesIsHeldForOneFrameAndClickedOnce) {
    StartInput();
    Frame();
    Tap(DIK_SPACE);
    Frame();
    EXPECT_TRUE(engine->KeyboardIsKeyPressed(DIK_SPACE));
    EXPECT_TRUE(engine->KeyboardIsKeyClicked(DIK_SPACE));
    Frame();
    EXPECT_FALSE(engine->KeyboardIsKeyPressed(DIK_SPACE));
    EXPECT_FALSE(engine->KeyboardIsKeyClicked(DIK_SPACE));
}

// Every press between two frames is a click, whatever the previous frame
// showed: the player's quick clicks are never lost. Each row gives what the
// player does before each frame ('d' down, 'u' up), and per frame whether
// the key or button reads held ('H') and clicked ('C'), for a key and for
// the left button alike.
TEST_F(InputTest, EveryPressIsOneClickAndHeldKeysDoNotRepeat) {
    StartInput();
    const struct {
        const char* name;
        std::vector<std::string> before;
        std::string held, clicked;
    } cases[] = {
        {"held for several frames", {"d", "", "", "u", ""}, "HHH..", "C...."},
        {"press and release within one frame", {"du", ""}, "H.", "C."},
        {"a click in each of three frames", {"du", "du", "du", ""}, "HHH.", "CCC."},
        {"pressed again while the last frame showed it held", {"d", "ud", "", "u"}, "HHH.", "CC.."},
        {"two clicks within one frame", {"dudu", "", ""}, "HH.", "CC."},
        {"three presses of a held key within one frame", {"d", "ududud", "", "u", ""}, "HHHH.", "CCCC."},
    };
    for (const auto& c : cases) {
        std::string keyHeld, keyClicked, buttonHeld, buttonClicked;
        for (const std::string& events : c.before) {
            for (char event : events) {
                if (event == 'd') {
                    input->KeyDown(DIK_Q);
                    input->ButtonDown(0);
                } else {
                    input->KeyUp(DIK_Q);
                    input->ButtonUp(0);
                }
            }
            Frame();
            keyHeld += engine->KeyboardIsKeyPressed(DIK_Q) ? 'H' : '.';
            keyClicked += engine->KeyboardIsKeyClicked(DIK_Q) ? 'C' : '.';
            buttonHeld += engine->MouseIsKeyPressed(1) ? 'H' : '.';
            buttonClicked += engine->MouseIsKeyClicked(1) ? 'C' : '.';
        }
        EXPECT_EQ(keyHeld, c.held) << c.name;
        EXPECT_EQ(keyClicked, c.clicked) << c.name;
        EXPECT_EQ(buttonHeld, c.held) << c.name;
        EXPECT_EQ(buttonClicked, c.clicked) << c.name;
    }
}

// Two clicks or two letters faster than the frames still come one per frame:
// the second click is a double click, and both letters are typed.
TEST_F(InputTest, QuickPairsWithinOneFrameKeepTheirMeaning) {
    StartInput();
    engine->KeyboardSetTextBufferStatus(true);
    system->SetMilliseconds(50000);
    Click(0);
    Click(0);
    input->TypeText("k");
    input->TypeText("k");
    std::vector<bool> doubles;
    for (int frame = 0; frame < 3; ++frame) {
        Frame();
        doubles.push_back(engine->MouseIsDoubleClicked());
        system->AdvanceMilliseconds(16);
    }
    EXPECT_EQ(doubles, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(Text(), "kk");
}

TEST_F(InputTest, AnyPressedKeyIsTheLowestHeldCodeBelow255) {
    StartInput();
    Frame();
    EXPECT_EQ(engine->KeyboardGetAnyPressedKey(), 0);
    input->KeyDown(0xFF);
    Frame();
    EXPECT_EQ(engine->KeyboardGetAnyPressedKey(), 0) << "code 255 is never reported";
    input->KeyDown(DIK_Z);
    input->KeyDown(DIK_RETURN);
    Frame();
    EXPECT_EQ(engine->KeyboardGetAnyPressedKey(), DIK_RETURN);
    EXPECT_TRUE(engine->KeyboardIsKeyPressed(0xFF));
}

TEST_F(InputTest, CodesOutsideTheTableAreNeverHeld) {
    StartInput();
    for (int key = 0; key < 256; ++key) input->KeyDown(static_cast<uint8_t>(key));
    Frame();
    EXPECT_TRUE(engine->KeyboardIsKeyPressed(0));
    EXPECT_FALSE(engine->KeyboardIsKeyPressed(-1));
    EXPECT_FALSE(engine->KeyboardIsKeyPressed(256));
    EXPECT_FALSE(engine->KeyboardIsKeyClicked(100000));
    EXPECT_FALSE(engine->KeyboardIsKeyClicked(-100000));
}

// ---- Text input -------------------------------------------------------------

// Typed text comes from the platform's text input as the player's layout made
// it, never from key codes: "z" typed on the key DirectInput calls Y (a German
// layout) is a z.
TEST_F(InputTest, TextBufferTakesTheTypedTextNotTheKeys) {
    StartInput();
    engine->KeyboardSetTextBufferStatus(true);
    const char* typed[] = {"z", "y", "\xC3\xA4", "e", "q"};
    const uint8_t keys[] = {DIK_Y, DIK_Z, DIK_APOSTROPHE, DIK_E, DIK_Q};
    for (size_t i = 0; i < 5; ++i) {
        Tap(keys[i]);
        input->TypeText(typed[i]);
        Frame();
        EXPECT_TRUE(engine->KeyboardIsKeyClicked(keys[i])) << "keys stay positional";
    }
    EXPECT_EQ(Text(), "zy\xC3\xA4""eq");
    TypeFrame(DIK_LSHIFT);
    EXPECT_EQ(Text(), "zy\xC3\xA4""eq") << "a key that types nothing adds nothing";
}

// Each row: the buffer size in characters, the text before, what one frame
// types and whether Backspace is clicked in it, and the text after.
TEST_F(InputTest, TextBufferCountsCharactersAndCutsAtTheirBoundaries) {
    struct Case {
        uint32_t size;
        const char* before;
        const char* typed;
        bool backspace;
        const char* after;
    };
    const Case cases[] = {
        {5, "", "Zo\xC3\xAB", false, "Zo\xC3\xAB"},                             // Zoë: 3 characters
        {3, "", "\xD0\x94\xD0\xBC\xD0\xB8\xD1\x82", false, "\xD0\x94\xD0\xBC\xD0\xB8"},  // Дмит cut to Дми
        {4, "ab", "\xE2\x82\xAC\xF0\x9F\x98\x80!", false, "ab\xE2\x82\xAC\xF0\x9F\x98\x80"},  // € and an emoji fit
        {5, "M\xC3\xBC", "", true, "M"},                                      // Backspace takes the whole ü
        {5, "\xD0\x94", "", true, ""},
        {5, "ab\xFC", "", true, "ab"},                                           // a Latin-1 byte is one character
        {5, "", "", true, ""},
        {9, "", "a\tb\nc\rd\x7F" "e\xC2\x85" "f", false, "abcdef"},                 // controls never go in
        {2, "ab", "c", false, "ab"},                                             // a full buffer takes nothing
        {6, "", "x\xE2\x82y", false, "xy"},                                          // so are bytes that are no UTF-8
    };
    StartInput();
    engine->KeyboardSetTextBufferStatus(true);
    for (const Case& c : cases) {
        engine->KeyboardSetTextBufferSize(c.size);
        engine->KeyboardSetTextInBuffer(c.before);
        input->TypeText(c.typed);
        if (c.backspace) Tap(DIK_BACK);
        Frame();
        EXPECT_EQ(Text(), c.after) << c.before << " + " << c.typed;
        Frame();
    }
}

TEST_F(InputTest, BufferSizeCutsAtOnceInCharactersAndSettingTextDoesNot) {
    StartInput();
    engine->KeyboardSetTextInBuffer("a much longer name");
    EXPECT_EQ(Text(), "a much longer name");
    engine->KeyboardSetTextBufferSize(6);
    EXPECT_EQ(Text(), "a much");
    engine->KeyboardSetTextInBuffer("\xC5\x81ukasz \xC3\xBC");
    EXPECT_EQ(Text(), "\xC5\x81ukasz \xC3\xBC");
    engine->KeyboardSetTextBufferSize(2);
    EXPECT_EQ(Text(), "\xC5\x81u");
}

TEST_F(InputTest, NothingIsTypedWhileTheBufferIsOffOrTheKeyboardIsNotOurs) {
    StartInput();
    input->TypeText("a");
    Frame();
    EXPECT_EQ(engine->KeyboardGetTypedText(), "a");
    EXPECT_EQ(Text(), "");
    engine->KeyboardSetTextBufferStatus(true);
    input->TypeText("b");
    Frame();
    Frame();
    EXPECT_EQ(engine->KeyboardGetTypedText(), "") << "typed text belongs to one frame";
    // Typed while the device was lost: it never arrives.
    input->TypeText("c");
    input->keyboard.inputLost = true;
    Frame();
    engine->KeyboardSetTextBufferStatus(false);
    input->TypeText("d");
    Frame();
    EXPECT_EQ(Text(), "b");
}

// ---- Mouse snapshots --------------------------------------------------------

TEST_F(InputTest, ButtonsAreNumberedFromOneAndClickedOnce) {
    StartInput();
    input->ButtonDown(1);  // right
    Frame();
    EXPECT_TRUE(engine->MouseIsKeyPressed(2));
    EXPECT_TRUE(engine->MouseIsKeyClicked(2));
    EXPECT_FALSE(engine->MouseIsKeyPressed(1));
    EXPECT_EQ(engine->MouseGetAnyPressedKey(), 2);
    Click(0);  // a left click that came and went between frames
    Frame();
    EXPECT_TRUE(engine->MouseIsKeyClicked(1));
    EXPECT_FALSE(engine->MouseIsKeyClicked(2)) << "held since the last frame";
    EXPECT_EQ(engine->MouseGetAnyPressedKey(), 1);
    input->ButtonUp(1);
    input->ButtonDown(7);
    Frame();
    EXPECT_FALSE(engine->MouseIsKeyPressed(1));
    EXPECT_TRUE(engine->MouseIsKeyPressed(8));
    EXPECT_EQ(engine->MouseGetAnyPressedKey(), 8);
    EXPECT_FALSE(engine->MouseIsKeyPressed(0));
    EXPECT_FALSE(engine->MouseIsKeyPressed(9));
    EXPECT_FALSE(engine->MouseIsKeyClicked(-3));
}

TEST_F(InputTest, MotionIsPerFrameAndTheWheelGivesOnlyItsSign) {
    StartInput();
    input->MoveMouse(3, -4);
    input->MoveMouse(10, 1);
    input->TurnWheel(7);
    Frame();
    EXPECT_EQ(engine->MouseGetDeltaX(), 13);
    EXPECT_EQ(engine->MouseGetDeltaY(), -3);
    EXPECT_EQ(engine->MouseGetWheelDelta(), 1);
    input->TurnWheel(-1);
    Frame();
    EXPECT_EQ(engine->MouseGetDeltaX(), 0);
    EXPECT_EQ(engine->MouseGetDeltaY(), 0);
    EXPECT_EQ(engine->MouseGetWheelDelta(), -1);
    input->TurnWheel(2);
    input->TurnWheel(-2);
    Frame();
    EXPECT_EQ(engine->MouseGetWheelDelta(), 0);
}

TEST_F(InputTest, CursorInsideHidesTheSystemCursorAndOutsideShowsIt) {
    StartInput();
    input->cursorX = 400;
    input->cursorY = 300;
    Frame();
    int32_t x = 0, y = 0;
    engine->MouseGetCursorPos(x, y);
    EXPECT_EQ(x, 400);
    EXPECT_EQ(y, 300);
    EXPECT_EQ(engine->MouseGetCursorStatus(), 1);
    EXPECT_FALSE(input->cursorShown);
    Frame();
    EXPECT_EQ(input->cursorHides, 1) << "hidden once, on entering";

    // The client area is the back buffer: 0..799 by 0..599.
    input->cursorX = 800;
    Frame();
    EXPECT_EQ(engine->MouseGetCursorStatus(), 0);
    EXPECT_TRUE(input->cursorShown);
    input->cursorX = 799;
    input->cursorY = 599;
    Frame();
    EXPECT_EQ(engine->MouseGetCursorStatus(), 1);
    input->cursorX = -1;
    Frame();
    EXPECT_EQ(engine->MouseGetCursorStatus(), 0);
    EXPECT_EQ(input->cursorShows, 2);
    EXPECT_EQ(input->cursorHides, 2);

    // A position that cannot be read leaves the last one.
    input->cursorReadable = false;
    Frame();
    engine->MouseGetCursorPos(x, y);
    EXPECT_EQ(x, -1);
    EXPECT_EQ(y, 599);
}

TEST_F(InputTest, CursorStatusIsZeroWhileTheWindowIsInactive) {
    StartInput();
    input->cursorX = 10;
    input->cursorY = 10;
    Frame();
    ASSERT_EQ(engine->MouseGetCursorStatus(), 1);

    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_INACTIVE);
    EXPECT_EQ(engine->UpdateAllSystems(), 0) << "no frame runs while inactive";
    EXPECT_EQ(engine->MouseGetCursorStatus(), 0);

    // An update that does run while inactive finds the cursor outside and
    // gives the system cursor back.
    engine->InputUpdate();
    EXPECT_EQ(engine->MouseGetCursorStatus(), 0);
    EXPECT_EQ(engine->m_inp.bCursorInside, 0);
    EXPECT_TRUE(input->cursorShown);

    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_ACTIVE);
    Frame();
    EXPECT_EQ(engine->MouseGetCursorStatus(), 1);
    EXPECT_FALSE(input->cursorShown);
}

TEST_F(InputTest, SecondClickWithinTheDoubleClickTimeIsADoubleClick) {
    StartInput();
    auto clickAt = [&](uint32_t ms) {
        system->SetMilliseconds(ms);
        Click(0);
        Frame();
        const bool dbl = engine->MouseIsDoubleClicked();
        Frame();  // the button stays up for a frame between clicks
        EXPECT_FALSE(engine->MouseIsDoubleClicked()) << "only in the frame of the click";
        return dbl;
    };
    EXPECT_FALSE(clickAt(20000));
    EXPECT_TRUE(clickAt(20400));
    EXPECT_FALSE(clickAt(20500)) << "a double click starts over";
    EXPECT_TRUE(clickAt(21000)) << "exactly the double-click time still counts";
    EXPECT_FALSE(clickAt(30000));
    EXPECT_FALSE(clickAt(30501));

    // An unusable system setting means 750 ms.
    for (uint32_t setting : {0u, 5001u}) {
        input->doubleClickTime = setting;
        EXPECT_FALSE(clickAt(40000 + setting * 10));
        EXPECT_TRUE(clickAt(40700 + setting * 10));
        EXPECT_FALSE(clickAt(60000 + setting * 10));
        EXPECT_FALSE(clickAt(60800 + setting * 10));
    }
}

// ---- Refused and lost devices ------------------------------------------------

TEST_F(InputTest, UnacquiredDeviceReadsAsReleasedAndIsRetriedEachFrame) {
    input->keyboard.acquireResults = {DIERR_NOTACQUIRED, DIERR_OTHERAPPHASPRIO};
    input->mouse.acquireResults = {DIERR_OTHERAPPHASPRIO, DIERR_OTHERAPPHASPRIO};
    StartInput();
    input->KeyDown(DIK_W);
    input->ButtonDown(0);
    input->MoveMouse(5, 5);
    Frame();
    EXPECT_FALSE(engine->KeyboardIsKeyPressed(DIK_W));
    EXPECT_FALSE(engine->MouseIsKeyPressed(1));
    EXPECT_EQ(engine->MouseGetDeltaX(), 0);
    EXPECT_EQ(input->keyboard.acquireAttempts, 2);
    EXPECT_EQ(input->mouse.acquireAttempts, 2);
    EXPECT_EQ(input->keyboard.reads, 0);

    Frame();
    EXPECT_EQ(input->keyboard.acquireAttempts, 3);
    EXPECT_EQ(engine->m_inp.bKeyboardAcquired, 1);
    EXPECT_TRUE(engine->KeyboardIsKeyClicked(DIK_W)) << "still held, now seen";
    EXPECT_TRUE(engine->MouseIsKeyClicked(1));
    EXPECT_EQ(engine->MouseGetDeltaX(), 0) << "motion from before the acquisition does not count";
    // The warnings are written at start and on focus gain, not every frame.
    const auto lines = LogLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), " !: Cannot acquire keyboard!"), 1);
}

TEST_F(InputTest, LosingTheDeviceOnFocusGainClearsBothSnapshots) {
    StartInput();
    input->KeyDown(DIK_W);
    Frame();
    Frame();
    ASSERT_TRUE(engine->KeyboardIsKeyPressed(DIK_W));

    // Focus goes, taking the keyboard with it, and comes back, but the
    // keyboard will not be acquired.
    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_INACTIVE);
    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_ACTIVE);
    input->keyboard.inputLost = true;
    input->keyboard.acquireResults = {DIERR_OTHERAPPHASPRIO, DIERR_OTHERAPPHASPRIO};
    Frame();
    const auto lines = LogLines();
    const auto gained = std::find(lines.begin(), lines.end(), "FOCUS GAINED");
    ASSERT_NE(gained, lines.end());
    EXPECT_EQ(std::vector<std::string>(gained + 1, lines.end()),
              (std::vector<std::string>{" !: Cannot acquire keyboard!", " !: -2147024891"}));
    EXPECT_FALSE(engine->KeyboardIsKeyPressed(DIK_W));
    EXPECT_FALSE(engine->KeyboardIsKeyClicked(DIK_W));

    Frame();
    EXPECT_TRUE(engine->KeyboardIsKeyClicked(DIK_W)) << "the held key counts as new once the device is back";
}

TEST_F(InputTest, FocusGainReacquiresBothDevices) {
    input->keyboard.acquireResults = {DIERR_OTHERAPPHASPRIO};
    input->mouse.acquireResults = {DIERR_OTHERAPPHASPRIO};
    StartInput();
    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_INACTIVE);
    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_ACTIVE);
    const size_t before = LogLines().size();
    Frame();
    EXPECT_EQ(LogLines().size(), before + 2) << "FOCUS LOST, FOCUS GAINED and no warning";
    EXPECT_EQ(engine->m_inp.bKeyboardAcquired, 1);
    EXPECT_EQ(engine->m_inp.bMouseAcquired, 1);
    EXPECT_EQ(input->keyboard.acquireAttempts, 2);
    EXPECT_EQ(input->mouse.acquireAttempts, 2);
}

TEST_F(InputTest, LostInputIsReacquiredOnceWithinTheFrame) {
    StartInput();
    input->KeyDown(DIK_UP);
    input->ButtonDown(2);
    input->keyboard.readResults = {DIERR_INPUTLOST};
    input->mouse.readResults = {DIERR_INPUTLOST};
    Frame();
    EXPECT_TRUE(engine->KeyboardIsKeyClicked(DIK_UP));
    EXPECT_TRUE(engine->MouseIsKeyClicked(3));
    EXPECT_EQ(input->keyboard.acquireAttempts, 2);
    EXPECT_EQ(input->keyboard.reads, 2);
    EXPECT_EQ(input->mouse.acquireAttempts, 2);
    EXPECT_EQ(input->mouse.reads, 2);
}

struct ReadFailure {
    std::vector<HRESULT> acquire;
    std::vector<HRESULT> reads;
    HRESULT code;
    const char* keyboardDesc;
    uint32_t keyboardLine;
    const char* mouseDesc;
    uint32_t mouseLine;
};

TEST_F(InputTest, SecondFailureAfterLostInputIsFatal) {
    const ReadFailure cases[] = {
        {{DIERR_OTHERAPPHASPRIO}, {DIERR_INPUTLOST}, DIERR_OTHERAPPHASPRIO, "Cannot reacquire Keyboard!", 237,
         "Cannot reacquire Mouse!", 245},
        {{}, {DIERR_INPUTLOST, DIERR_INPUTLOST}, DIERR_INPUTLOST, "Second try of getting Keyboard state failed!", 243,
         "Second try of getting Mouse state failed!", 251},
        {{}, {DIERR_INPUTLOST, DIERR_GENERIC}, DIERR_GENERIC, "Second try of getting Keyboard state failed!", 243,
         "Second try of getting Mouse state failed!", 251},
        {{}, {DIERR_GENERIC}, DIERR_GENERIC, "Cannot get Keyboard state!", 248, "Cannot get Mouse state!", 256},
    };
    for (const ReadFailure& c : cases) {
        for (bool mouse : {false, true}) {
            SCOPED_TRACE(mouse ? c.mouseDesc : c.keyboardDesc);
            engine.reset();
            input = &platform::InstallHeadlessInputSystem();
            engine = std::make_unique<CVelmor>();
            StartInput();
            auto& script = mouse ? input->mouse : input->keyboard;
            script.acquireResults.assign(c.acquire.begin(), c.acquire.end());
            script.readResults.assign(c.reads.begin(), c.reads.end());
            try {
                engine->UpdateAllSystems();
                ADD_FAILURE() << "the frame went on";
            } catch (const CEHSException& e) {
                EXPECT_EQ(e.GetType(), 1u);
                EXPECT_EQ(e.GetCode(), static_cast<uint32_t>(c.code));
                EXPECT_EQ(e.GetDesc(), mouse ? c.mouseDesc : c.keyboardDesc);
                EXPECT_EQ(e.GetFile(), mouse ? "cvelmor_inp_mouse" : "cvelmor_inp_keyboard");
                EXPECT_EQ(e.GetLine(), mouse ? c.mouseLine : c.keyboardLine);
            }
        }
    }
}

// ---- Key names --------------------------------------------------------------

TEST(KeyNames, All141NamesGiveTheirKeyCodes) {
    const std::pair<const char*, int> names[] = {
        {"0", 0x0B}, {"1", 0x02}, {"2", 0x03}, {"3", 0x04}, {"4", 0x05}, {"5", 0x06}, {"6", 0x07}, {"7", 0x08},
        {"8", 0x09}, {"9", 0x0A}, {"A", 0x1E}, {"ADD", 0x4E}, {"NUMPADPLUS", 0x4E}, {"APOSTROPHE", 0x28},
        {"APPS", 0xDD}, {"B", 0x30}, {"BACKSPACE", 0x0E}, {"BACK", 0x0E}, {"BACKSLASH", 0x2B}, {"C", 0x2E},
        {"CALCULATOR", 0xA1}, {"CAPITAL", 0x3A}, {"CAPSLOCK", 0x3A}, {"COMMA", 0x33}, {"D", 0x20},
        {"DECIMAL", 0x53}, {"NUMPADPERIOD", 0x53}, {"DELETE", 0xD3}, {"DIVIDE", 0xB5}, {"NUMPADSLASH", 0xB5},
        {"DOWN", 0xD0}, {"DOWNARROW", 0xD0}, {"E", 0x12}, {"END", 0xCF}, {"EQUALS", 0x0D}, {"ESCAPE", 0x01},
        {"F", 0x21}, {"F1", 0x3B}, {"F2", 0x3C}, {"F3", 0x3D}, {"F4", 0x3E}, {"F5", 0x3F}, {"F6", 0x40},
        {"F7", 0x41}, {"F8", 0x42}, {"F9", 0x43}, {"F10", 0x44}, {"F11", 0x57}, {"F12", 0x58}, {"G", 0x22},
        {"GRAVE", 0x29}, {"H", 0x23}, {"HOME", 0xC7}, {"I", 0x17}, {"INSERT", 0xD2}, {"J", 0x24}, {"K", 0x25},
        {"L", 0x26}, {"LBRACKET", 0x1A}, {"LCONTROL", 0x1D}, {"LEFT", 0xCB}, {"LEFTARROW", 0xCB},
        {"LMENU", 0x38}, {"LALT", 0x38}, {"LSHIFT", 0x2A}, {"LWIN", 0xDB}, {"M", 0x32}, {"MAIL", 0xEC},
        {"MEDIASELECT", 0xED}, {"MEDIASTOP", 0xA4}, {"MINUS", 0x0C}, {"MULTIPLY", 0x37}, {"NUMPADSTAR", 0x37},
        {"MUTE", 0xA0}, {"MYCOMPUTER", 0xEB}, {"N", 0x31}, {"NEXT", 0xD1}, {"PGDN", 0xD1}, {"NEXTTRACK", 0x99},
        {"NUMLOCK", 0x45}, {"NUMPAD0", 0x52}, {"NUMPAD1", 0x4F}, {"NUMPAD2", 0x50}, {"NUMPAD3", 0x51},
        {"NUMPAD4", 0x4B}, {"NUMPAD5", 0x4C}, {"NUMPAD6", 0x4D}, {"NUMPAD7", 0x47}, {"NUMPAD8", 0x48},
        {"NUMPAD9", 0x49}, {"NUMPADENTER", 0x9C}, {"O", 0x18}, {"P", 0x19}, {"PAUSE", 0xC5}, {"PERIOD", 0x34},
        {"PLAYPAUSE", 0xA2}, {"POWER", 0xDE}, {"PREVTRACK", 0x90}, {"PRIOR", 0xC9}, {"PGUP", 0xC9}, {"Q", 0x10},
        {"R", 0x13}, {"RBRACKET", 0x1B}, {"RCONTROL", 0x9D}, {"RETURN", 0x1C}, {"RIGHT", 0xCD},
        {"RIGHTARROW", 0xCD}, {"RMENU", 0xB8}, {"RALT", 0xB8}, {"RSHIFT", 0x36}, {"RWIN", 0xDC}, {"S", 0x1F},
        {"SCROLL", 0x46}, {"SEMICOLON", 0x27}, {"SLASH", 0x35}, {"SLEEP", 0xDF}, {"SPACE", 0x39}, {"STOP", 0x95},
        {"SUBTRACT", 0x4A}, {"NUMPADMINUS", 0x4A}, {"SYSRQ", 0xB7}, {"T", 0x14}, {"TAB", 0x0F}, {"U", 0x16},
        {"UP", 0xC8}, {"UPARROW", 0xC8}, {"V", 0x2F}, {"VOLUMEDOWN", 0xAE}, {"VOLUMEUP", 0xB0}, {"W", 0x11},
        {"WAKE", 0xE3}, {"WEBBACK", 0xEA}, {"WEBFAVORITES", 0xE6}, {"WEBFORWARD", 0xE9}, {"WEBHOME", 0xB2},
        {"WEBREFRESH", 0xE7}, {"WEBSEARCH", 0xE5}, {"WEBSTOP", 0xE8}, {"X", 0x2D}, {"Y", 0x15}, {"Z", 0x2C},
    };
    EXPECT_EQ(std::size(names), 141u);
    for (const auto& [name, code] : names) EXPECT_EQ(CVelmor::KeyNameToCode(name), code) << name;
}

TEST(KeyNames, MatchingIsExactAndCaseSensitive) {
    EXPECT_EQ(CVelmor::KeyNameToCode("ESCAPE"), 1);
    EXPECT_EQ(CVelmor::KeyNameToCode("escape"), 0);
    EXPECT_EQ(CVelmor::KeyNameToCode("Escape"), 0);
    EXPECT_EQ(CVelmor::KeyNameToCode("ESCAPE "), 0);
    EXPECT_EQ(CVelmor::KeyNameToCode("DIK_ESCAPE"), 0);
    EXPECT_EQ(CVelmor::KeyNameToCode(""), 0);
    EXPECT_EQ(CVelmor::KeyNameToCode("F13"), 0) << "not in the table";
    EXPECT_EQ(CVelmor::KeyNameToCode(std::string("A\0B", 3)), 0);
}

}  // namespace
