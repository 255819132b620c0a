// The interactive and timed GUI classes: advanced tiles, buttons, check
// boxes and radio buttons driven by the headless mouse and keyboard; windows
// and animated tiles driven by the test clock.
#include <array>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "gui_fixtures.h"
#include "v2dgui_stdclass_animtile.h"
#include "v2dgui_stdclass_button.h"
#include "v2dgui_stdclass_checkbox.h"
#include "v2dgui_stdclass_window.h"

namespace {

using guitest::DrawnQuad;
using guitest::GuiTest;
using testsupport::Raised;

const uint8_t kKeyEscape = 0x01;
const uint8_t kKeyF1 = 0x3B;

// Native actions that log their name and the numbers handed to them.
std::vector<std::string> g_eventNames;
std::vector<std::string> g_events;

template <size_t N>
void LogEvent() {
    std::string entry = g_eventNames.at(N);
    const CVelmorGUI& gui = *GetGUI();
    for (size_t i = 0; i < gui.GetActionParamCount(); ++i)
        entry += " " + std::to_string(GUITruncate(gui.GetActionParam(i).GetFloat()));
    g_events.push_back(entry);
}

template <size_t... I>
constexpr std::array<V2DGUIACTIONFUNC, sizeof...(I)> MakeLoggers(std::index_sequence<I...>) {
    return {&LogEvent<I>...};
}
const std::array<V2DGUIACTIONFUNC, 24> kLoggers = MakeLoggers(std::make_index_sequence<24>());

using Events = std::vector<std::string>;

class GuiClassesTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        g_events.clear();
        Frame();  // the first frame time is the clock's start, not a frame
    }
    // One native action per name, registered under that name.
    void RegisterEvents(const Events& names) {
        ASSERT_LE(names.size(), kLoggers.size());
        g_eventNames = names;
        for (size_t i = 0; i < names.size(); ++i) gui->RegisterActionFunction(names[i], kLoggers[i]);
    }
    Events TakeEvents() { return std::exchange(g_events, {}); }

    int32_t SolidTexture(const std::string& id, uint32_t argb) {
        const std::string png = gfxtest::Png(gfxtest::Solid(8, 8, argb));
        return engine->LoadTextureFromMemory(png.data(), static_cast<int32_t>(png.size()), 3, id.c_str(), 1, 0, 0);
    }
    // The texture of the last batch drawn, as a handle (-1 for none).
    int32_t LastDrawnTexture(const std::vector<int32_t>& candidates) {
        if (Device().draws.empty()) return -2;
        const vd3d::IDirect3DBaseTexture8* drawn = Device().draws.back().textures[0];
        for (int32_t id : candidates)
            if (engine->m_gfx.pTextures->GetItem(id) == drawn) return id;
        return -1;
    }
    int32_t ButtonState(const std::string& id) { return dynamic_cast<CGUIButton&>(Element(id)).GetState(); }
    int32_t WindowState(const std::string& id) { return dynamic_cast<CGUIWindow&>(Element(id)).GetState(); }
    void Command(const std::string& id, int32_t command) { gui->ExecuteElementCommand(id, command); }
    void Click(int32_t x, int32_t y) {
        SetCursor(x, y);
        input->ButtonDown(0);
        Frame();
        input->ButtonUp(0);
        Frame();
    }
};

void DisableButtonB() { GetGUI()->ExecuteElementCommand("B", GUICMD_DISABLE); }

TEST_F(GuiClassesTest, ButtonStatesAndEventsFollowThePointerAndTheMouseButton) {
    RegisterEvents({"gotfocus", "lostfocus", "click", "press", "hotkey", "enable", "disable", "small"});
    LoadGUI(R"(<desktop>
      <tile id="PANEL" coords="100 100 300 200" visible="1" enabled="1">
        <button id="B" coords="50 50 100 40" visible="1" enabled="1" on_gotfocus="gotfocus" on_lostfocus="lostfocus"
                on_click="click" on_press="press" hotkey="F1" on_hotkey="hotkey" on_enable="enable"
                on_disable="disable"/>
        <button id="SMALL" activerect="200 0 10 10" coords="150 0 100 100" visible="1" enabled="1"
                on_gotfocus="small"/>
      </tile></desktop>)");
    EXPECT_EQ(gui->GetElementParam("B", "activerect").GetRect().w, 100.0f) << "the area defaults to the coords";
    EXPECT_EQ(gui->GetElementParam("SMALL", "activerect").GetRect().w, 10.0f) << "coords keep an area of its own";

    enum Mouse { NONE, DOWN, UP };
    struct Step {
        const char* what;
        int32_t x, y;
        Mouse mouse;
        int32_t state;  // of B
        Events events;
    };
    const Step steps[] = {
        {"hover in", 160, 160, NONE, 2, {"gotfocus"}},
        {"press inside", 160, 160, DOWN, 3, {"click"}},
        {"keep holding", 161, 160, NONE, 3, {}},
        {"release over it", 161, 160, UP, 2, {"press"}},
        {"press again", 160, 160, DOWN, 3, {"click"}},
        {"drag out while held", 120, 250, NONE, 2, {}},
        {"release outside", 120, 250, UP, 1, {"lostfocus"}},
        {"press outside", 120, 250, DOWN, 1, {}},
        {"drag in while held", 160, 160, NONE, 2, {"gotfocus"}},
        {"release after a press elsewhere", 160, 160, UP, 2, {}},
        {"leave", 120, 250, NONE, 1, {"lostfocus"}},
        {"over SMALL's coords but not its area", 260, 150, NONE, 1, {}},
        {"over SMALL's area", 305, 105, NONE, 1, {"small"}},
        {"a click past the right edge of B", 250, 160, DOWN, 1, {}},
        {"release", 250, 160, UP, 1, {}},
    };
    for (const Step& step : steps) {
        SetCursor(step.x, step.y);
        if (step.mouse == DOWN) input->ButtonDown(0);
        if (step.mouse == UP) input->ButtonUp(0);
        Frame();
        EXPECT_EQ(ButtonState("B"), step.state) << step.what;
        EXPECT_EQ(TakeEvents(), step.events) << step.what;
    }

    // The hot key fires in the frame it goes down only.
    input->KeyDown(kKeyF1);
    Frame();
    EXPECT_EQ(TakeEvents(), Events{"hotkey"});
    Frame();
    input->KeyUp(kKeyF1);
    Frame();
    EXPECT_EQ(TakeEvents(), Events{});

    // Enabling and disabling fire only on a change.
    for (int32_t command : {GUICMD_DISABLE, GUICMD_DISABLE, GUICMD_ENABLE, GUICMD_ENABLE}) Command("B", command);
    EXPECT_EQ(TakeEvents(), (Events{"disable", "enable"}));

    // A button that its own click disables must not report a release, or its
    // old hover, when it comes back.
    gui->SetElementParam("B", "on_click", CGUIValue(&DisableButtonB));
    SetCursor(160, 160);
    Frame();
    input->ButtonDown(0);
    Frame();
    EXPECT_EQ(TakeEvents(), (Events{"gotfocus", "disable"}));
    input->ButtonUp(0);
    Frame();
    SetCursor(120, 250);
    Frame();
    EXPECT_EQ(ButtonState("B"), 1) << "a disabled button stays normal";
    SetCursor(160, 160);
    Command("B", GUICMD_ENABLE);
    Frame();
    EXPECT_EQ(TakeEvents(), (Events{"enable", "gotfocus"}));
    EXPECT_EQ(ButtonState("B"), 2);
}

TEST_F(GuiClassesTest, HoldingAButtonRepeatsAfterTheStartTimeThenEveryInterval) {
    RegisterEvents({"hold"});
    LoadGUI(R"(<desktop><button id="H" coords="0 0 50 50" visible="1" enabled="1" on_hold="hold"/></desktop>)");
    struct Case {
        float start, interval;
        std::vector<float> firstHolds;  // seconds from the press
    };
    const Case cases[] = {
        {0.5f, 0.1f, {0.6f, 0.7f, 0.8f, 0.9f}},
        {0.25f, 0.3f, {0.55f, 0.85f}},
    };
    const float frame = 0.01f;
    SetCursor(10, 10);
    for (const Case& c : cases) {
        gui->SetElementParam("H", "holdtime_start", CGUIValue(c.start));
        gui->SetElementParam("H", "holdtime_interval", CGUIValue(c.interval));
        for (int press = 0; press < 2; ++press) {  // the second press starts over
            input->ButtonDown(0);
            std::vector<float> fired;
            for (int n = 1; n <= 95; ++n) {
                Frame(10);
                if (!TakeEvents().empty()) fired.push_back(static_cast<float>(n) * frame);
            }
            input->ButtonUp(0);
            Frame(10);
            Run(1.0f, 10);
            EXPECT_TRUE(TakeEvents().empty()) << "nothing repeats once released";
            ASSERT_EQ(fired.size(), c.firstHolds.size()) << "start " << c.start << " press " << press;
            for (size_t i = 0; i < fired.size(); ++i)
                EXPECT_NEAR(fired[i], c.firstHolds[i], 1.5f * frame) << "start " << c.start << " hold " << i;
        }
    }
}

TEST_F(GuiClassesTest, StateTexturesAndChildColoursFollowTheLook) {
    const int32_t normal = SolidTexture("TEX_N", 0xFF101010), disabled = SolidTexture("TEX_D", 0xFF202020),
                  selected = SolidTexture("TEX_S", 0xFF303030), pressed = SolidTexture("TEX_P", 0xFF404040),
                  checkedNormal = SolidTexture("TEX_CN", 0xFF505050),
                  checkedSelected = SolidTexture("TEX_CS", 0xFF606060), plain = SolidTexture("TEX_T", 0xFF707070);
    const std::vector<int32_t> all = {normal, disabled, selected, pressed, checkedNormal, checkedSelected, plain};
    LoadGUI(R"(<desktop>
      <button id="B" coords="0 0 50 50" color="1 0 1 1" visible="1" enabled="1" texture="TEX_T"
              texture_normal="TEX_N" texture_disabled="TEX_D" texture_selected="TEX_S" texture_pressed="TEX_P"
              childscolor_normal="1 1 1 1" childscolor_selected="1 1 0 1" childscolor_pressed="0 1 1 1"
              childscolor_disabled="0 0 1 1">
        <tile id="BC" coords="5 5 10 10" visible="1" enabled="1"/></button>
      <checkbox id="C" coords="100 0 50 50" visible="1" enabled="1" texture_normal="TEX_N"
                texture_checked_normal="TEX_CN" texture_checked_selected="TEX_CS"
                childscolor_selected="1 0 0 1" childscolor_checked_normal="0 1 0 1">
        <tile id="CC" coords="5 5 10 10" visible="1" enabled="1"/></checkbox>
      <button id="PLAIN" coords="200 0 50 50" visible="1" enabled="1" texture="TEX_T"/>
    </desktop>)");
    gui->SetElementParam("C", "visible", CGUIValue(false));
    gui->SetElementParam("PLAIN", "visible", CGUIValue(false));

    struct Look {
        const char* what;
        int32_t x, y;
        bool down, enabled;
        int32_t texture;
        uint32_t childColor;  // the button's colour times the look's
    };
    const Look buttonLooks[] = {
        {"normal", 300, 300, false, true, normal, 0xFFFF00FF},
        {"selected", 10, 10, false, true, selected, 0xFFFF0000},
        {"pressed", 10, 10, true, true, pressed, 0xFF0000FF},
        {"disabled", 10, 10, false, false, disabled, 0xFF0000FF},
    };
    auto check = [&](const std::string& id, const Look& look) {
        SetCursor(look.x, look.y);
        gui->SetElementParam(id, "enabled", CGUIValue(look.enabled));
        if (look.down) input->ButtonDown(0);
        Frame();
        input->ButtonUp(0);
        const std::vector<DrawnQuad> quads = DrawFrame();
        ASSERT_EQ(quads.size(), 2u) << id << " " << look.what;
        EXPECT_EQ(LastDrawnTexture(all), look.texture) << id << " " << look.what;
        EXPECT_EQ(quads[1].color, look.childColor) << id << " " << look.what;
        Frame();
    };
    for (const Look& look : buttonLooks) check("B", look);

    gui->SetElementParam("B", "visible", CGUIValue(false));
    gui->SetElementParam("C", "visible", CGUIValue(true));
    const Look checkboxLooks[] = {
        {"unchecked", 300, 300, false, true, normal, 0xFFFFFFFF},
        {"unchecked selected: plain textures fall back to normal", 110, 10, false, true, normal, 0xFFFF0000},
    };
    for (const Look& look : checkboxLooks) check("C", look);
    Command("C", GUICMD_CHECK);
    const Look checkedLooks[] = {
        {"checked", 300, 300, false, true, checkedNormal, 0xFF00FF00},
        {"checked selected", 110, 10, false, true, checkedSelected, 0xFFFFFFFF},
        {"checked pressed falls back to checked normal", 110, 10, true, true, checkedNormal, 0xFFFFFFFF},
    };
    for (const Look& look : checkedLooks) check("C", look);

    // Without state textures a button draws with its plain texture.
    gui->SetElementParam("C", "visible", CGUIValue(false));
    gui->SetElementParam("PLAIN", "visible", CGUIValue(true));
    SetCursor(210, 10);
    Frame();
    EXPECT_EQ(DrawFrame().size(), 1u);
    EXPECT_EQ(LastDrawnTexture(all), plain);
}

TEST_F(GuiClassesTest, CheckBoxesToggleOnReleaseAndRadioButtonsKeepOneOfTheirGroupChecked) {
    const std::string chunk =
        "got = '' function on_check(tag) got = got .. 'check ' .. tag .. ';' end "
        "function on_uncheck(tag) got = got .. 'uncheck ' .. tag .. ';' end "
        "function take() local g = got got = '' return g end";
    engine->ScriptLoadFromBuffer(chunk.data(), chunk.size(), "checks");
    auto scriptSaw = [&] {
        engine->ScriptCallFunction("take", -1);
        return engine->ScriptGetResults().at(0).GetString();
    };
    RegisterEvents({"check", "uncheck", "click"});
    LoadGUI(R"(<desktop>
      <checkbox id="CB" tag="5" coords="0 0 20 20" visible="1" enabled="1" on_check="on_check"
                on_uncheck="on_uncheck"/>
      <tile id="GROUP" coords="100 0 300 20" visible="1" enabled="1">
        <checkbox id="R1" tag="1" coords="0 0 20 20" visible="1" enabled="1" radiobutton="1" on_check="check"
                  on_uncheck="uncheck" on_click="click"/>
        <checkbox id="R2" tag="2" coords="30 0 20 20" visible="1" enabled="1" radiobutton="1" on_check="check"
                  on_uncheck="uncheck" on_click="click"/>
        <checkbox id="R3" tag="3" coords="60 0 20 20" visible="1" enabled="1" radiobutton="1" on_check="check"
                  on_uncheck="uncheck" on_click="click"/>
        <checkbox id="PLAINBOX" tag="4" coords="90 0 20 20" visible="1" enabled="1" checked="1"
                  on_uncheck="uncheck"/>
      </tile></desktop>)");
    auto checked = [&](const std::string& id) { return gui->GetElementParam(id, "checked").GetBoolean(); };

    // A script action receives the tag; the box turns on release, over it.
    SetCursor(5, 5);
    input->ButtonDown(0);
    Frame();
    EXPECT_FALSE(checked("CB")) << "pressing does not check yet";
    input->ButtonUp(0);
    Frame();
    EXPECT_TRUE(checked("CB"));
    Click(5, 5);
    EXPECT_FALSE(checked("CB"));
    input->ButtonDown(0);
    Frame();
    SetCursor(50, 50);
    input->ButtonUp(0);
    Frame();
    EXPECT_FALSE(checked("CB")) << "released outside";
    EXPECT_EQ(scriptSaw(), "check 5;uncheck 5;");
    for (int32_t command : {GUICMD_CHECK, GUICMD_CHECK, GUICMD_UNCHECK, GUICMD_UNCHECK}) Command("CB", command);
    EXPECT_EQ(scriptSaw(), "check 5;uncheck 5;") << "commands fire only on a change";

    // Radio buttons: a native action reads the tag from the parameter area.
    struct Step {
        const char* what;
        int32_t x;
        Events events;
        std::vector<bool> checked;  // R1, R2, R3, PLAINBOX
    };
    const Step steps[] = {
        {"check R2", 135, {"click", "check 2"}, {false, true, false, true}},
        {"a checked radio button takes no input", 135, {}, {false, true, false, true}},
        {"check R3", 165, {"click", "check 3", "uncheck 2"}, {false, false, true, true}},
        {"check R1", 105, {"click", "check 1", "uncheck 3"}, {true, false, false, true}},
    };
    for (const Step& step : steps) {
        Click(step.x, 5);
        EXPECT_EQ(TakeEvents(), step.events) << step.what;
        EXPECT_EQ((std::vector<bool>{checked("R1"), checked("R2"), checked("R3"), checked("PLAINBOX")}), step.checked)
            << step.what;
    }
}

TEST_F(GuiClassesTest, WindowsBlendTheirLooksAlongTheCurveAndTakeInputOnlyWhenShown) {
    RegisterEvents({"show", "hide", "enable", "disable", "button"});
    LoadGUI(R"(<desktop>
      <window id="W" coords="0 0 200 100" enabled="1" time_showhide="1" color_hidden="0 0 0 0"
              color_middle="1 0 0 0" color_shown="0 0 0 1" location_hidden="0 0" location_middle="100 0"
              location_shown="0 200" on_show="show" on_hide="hide" on_enable="enable" on_disable="disable">
        <button id="WB" coords="0 0 200 100" visible="1" enabled="1" on_gotfocus="button"/>
        <tile id="WT" coords="0 0 10 10" visible="1" enabled="1"/>
      </window></desktop>)");
    const CGUIElement& window = Element("W");
    SetCursor(100, 250);  // over the button once the window is in place
    Frame();
    EXPECT_EQ(WindowState("W"), CGUIWindow::STATE_HIDDEN);
    EXPECT_TRUE(DrawFrame().empty());

    Command("W", GUICMD_SHOW);
    EXPECT_EQ(TakeEvents(), Events{"show"}) << "on_show fires with the command";
    // Weights of hidden, middle and shown: (1-f)^2, 2f(1-f), f^2.
    struct Point {
        float f, red, alpha, x, y;
    };
    const Point curve[] = {
        {0.25f, 0.375f, 0.0625f, 37.5f, 12.5f},
        {0.5f, 0.5f, 0.25f, 50.0f, 50.0f},
        {0.75f, 0.375f, 0.5625f, 37.5f, 112.5f},
    };
    for (const Point& point : curve) {
        Run(0.25f, 50);
        EXPECT_EQ(WindowState("W"), CGUIWindow::STATE_SHOWING);
        EXPECT_NEAR(window.GetEffectiveColor().r, point.red, 1e-4f) << point.f;
        EXPECT_NEAR(window.GetEffectiveColor().a, point.alpha, 1e-4f) << point.f;
        EXPECT_NEAR(window.GetEffectiveRect().x, point.x, 1e-3f) << point.f;
        EXPECT_NEAR(window.GetEffectiveRect().y, point.y, 1e-3f) << point.f;
        EXPECT_FALSE(window.IsEffectivelyEnabled());
        EXPECT_EQ(DrawFrame().size(), 2u) << "drawn while it moves";
    }
    EXPECT_EQ(TakeEvents(), Events{}) << "no input while showing";
    Run(0.25f, 50);
    EXPECT_EQ(WindowState("W"), CGUIWindow::STATE_SHOWN);
    EXPECT_EQ(TakeEvents(), Events{"button"}) << "input as soon as it is shown";
    EXPECT_EQ(window.GetEffectiveRect().y, 200.0f);
    EXPECT_EQ(window.GetEffectiveColor().a, 1.0f);

    // A show during hiding runs back from where the window stands.
    Command("W", GUICMD_HIDE);
    EXPECT_EQ(TakeEvents(), Events{"hide"});
    Run(0.3f, 50);
    Command("W", GUICMD_SHOW);
    EXPECT_EQ(TakeEvents(), Events{"show"}) << "on_show fires at once for a hiding window";
    Command("W", GUICMD_SHOW);
    EXPECT_EQ(TakeEvents(), Events{}) << "a second show changes nothing";
    Frame(100);
    EXPECT_NEAR(window.GetEffectiveColor().a, 0.64f, 1e-4f) << "0.7 s back plus 0.1 s";
    Run(0.2f, 50);
    EXPECT_EQ(WindowState("W"), CGUIWindow::STATE_SHOWN);

    // Hidden: nothing drawn, children not updated, hiding again is silent.
    Command("W", GUICMD_HIDE);
    Run(1.0f, 50);
    EXPECT_EQ(WindowState("W"), CGUIWindow::STATE_HIDDEN);
    TakeEvents();
    EXPECT_TRUE(DrawFrame().empty());
    const float childX = Element("WT").GetEffectiveRect().x;
    gui->SetElementParam("WT", "coords", CGUIValue(GUIRECT{50, 0, 10, 10}));
    Frame();
    EXPECT_EQ(Element("WT").GetEffectiveRect().x, childX) << "a hidden window does not update its children";
    Command("W", GUICMD_HIDE);
    Frame();
    EXPECT_EQ(TakeEvents(), Events{});
    EXPECT_EQ(WindowState("W"), CGUIWindow::STATE_HIDDEN);

    for (int32_t command : {GUICMD_DISABLE, GUICMD_ENABLE}) Command("W", command);
    EXPECT_EQ(TakeEvents(), (Events{"disable", "enable"}));
}

TEST_F(GuiClassesTest, AnimatedTilesLoopHoldOrPlayOnceAndBlendAlongTheCurve) {
    CGUIEnum frames;
    for (const char* id : {"TEX_F0", "TEX_F1", "TEX_F2", "TEX_F3"}) {
        SolidTexture(id, 0xFF808080);
        frames.Add(id, id);
    }
    LoadGUI(R"(<desktop>
      <animtile id="LOOPED" coords="0 0 20 20" time_animcycle="1" looped="1" visible="1" enabled="1"/>
      <animtile id="HELD" coords="0 0 20 20" time_animcycle="1" visible="1" enabled="1"/>
      <animtile id="ONCE" coords="0 0 20 20" time_animcycle="1"/>
      <tile id="OFF" visible="1">
        <animtile id="FOLLOWS" coords="0 0 20 20" time_animcycle="1" visible="1" enabled="1"/>
        <animtile id="ALONE" coords="0 0 20 20" time_animcycle="1" looped="1" visible="1" enabled="1"
                  noparentenabled="1"/>
      </tile></desktop>)");
    const char* const ids[] = {"LOOPED", "HELD", "ONCE", "FOLLOWS", "ALONE"};
    for (const char* id : ids) gui->SetElementParam(id, "enum_frames", CGUIValue(&frames));
    EXPECT_EQ(gui->GetElementParam("HELD", "enum_frames").GetEnum(), &frames);
    Command("ONCE", GUICMD_PLAYONCE);
    auto anim = [&](const std::string& id) -> const CGUIAnimTile& {
        return dynamic_cast<const CGUIAnimTile&>(Element(id));
    };

    struct Expect {
        const char* id;
        float time;
        int32_t frame;
        bool visible, enabled;
    };
    Run(0.3f, 100);
    const std::pair<const char*, float> early[] = {
        {"LOOPED", 0.3f}, {"HELD", 0.3f}, {"ONCE", 0.3f}, {"FOLLOWS", 0.0f}, {"ALONE", 0.3f},
    };
    for (const auto& e : early) EXPECT_NEAR(anim(e.first).GetAnimationTime(), e.second, 1e-4f) << e.first;
    Run(1.0f, 100);
    const Expect late[] = {
        {"LOOPED", 0.3f, 1, true, true},
        {"HELD", 0.9999f, 3, true, true},
        {"ONCE", 0.0f, 0, false, false},
        {"FOLLOWS", 0.0f, 0, true, true},
        {"ALONE", 0.3f, 1, true, true},
    };
    for (const Expect& e : late) {
        EXPECT_NEAR(anim(e.id).GetAnimationTime(), e.time, 1e-4f) << e.id;
        EXPECT_EQ(anim(e.id).GetFrameIndex(), e.frame) << e.id;
        EXPECT_EQ(anim(e.id).IsVisible(), e.visible) << e.id;
        EXPECT_EQ(anim(e.id).IsEnabled(), e.enabled) << e.id;
    }
    EXPECT_FALSE(anim("ONCE").IsPlayingOnce());

    // Play once again; hidden meanwhile, command 6 leaves it alone, 5 shows it.
    Command("ONCE", GUICMD_PLAYONCE_UNLESS_PLAYING);
    Run(0.5f, 100);
    Command("ONCE", GUICMD_HIDE);
    Command("ONCE", GUICMD_PLAYONCE_UNLESS_PLAYING);
    EXPECT_FALSE(anim("ONCE").IsVisible());
    Command("ONCE", GUICMD_PLAYONCE);
    EXPECT_TRUE(anim("ONCE").IsVisible());
    Command("ONCE", GUICMD_ENABLE);
    EXPECT_FALSE(anim("ONCE").IsPlayingOnce()) << "enabling plays on without stopping at the end";

    // Colour, place, scale and angle along the curve, drawn about the centre.
    for (const char* id : ids) gui->SetElementParam(id, "visible", CGUIValue(false));
    LoadGUI(R"(<desktop>
      <animtile id="CURVE" coords="0 0 20 20" time_animcycle="1" visible="1" color_begin="1 0 0 1"
                color_middle="0 1 0 1" color_end="0 0 1 1" location_begin="100 100" location_middle="200 100"
                location_end="100 300" location_center="10 10" scale_begin="1" scale_middle="3" scale_end="1"
                angle_begin="0" angle_middle="180" angle_end="0"/></desktop>)");
    gui->SetElementParam("CURVE", "enum_frames", CGUIValue(&frames));
    Command("CURVE", GUICMD_ENABLE);
    Run(0.5f, 100);
    const CGUIElement& curve = Element("CURVE");
    EXPECT_NEAR(curve.GetEffectiveColor().r, 0.25f, 1e-4f);
    EXPECT_NEAR(curve.GetEffectiveColor().g, 0.5f, 1e-4f);
    EXPECT_NEAR(curve.GetEffectiveRect().x, 150.0f, 1e-3f);
    EXPECT_NEAR(curve.GetEffectiveRect().y, 150.0f, 1e-3f);
    Device().ClearRecords();
    engine->SceneBegin();
    gui->Draw();
    engine->SceneEnd();
    ASSERT_FALSE(Device().draws.empty());
    const std::vector<V2DVERTEX> quad = gfxtest::Vertices(Device().draws.back());
    ASSERT_EQ(quad.size(), 4u);
    // Twice the size about (160, 160), then a quarter turn: the top-left
    // corner goes to the top right.
    EXPECT_NEAR(quad[0].x, 180.0f, 1.5f);
    EXPECT_NEAR(quad[0].y, 140.0f, 1.5f);
    EXPECT_NEAR(quad[2].x, 140.0f, 1.5f);
    EXPECT_NEAR(quad[2].y, 180.0f, 1.5f);

    const std::string file = "v2dgui_stdclass_animtile";
    const CEHSException none = Raised([&] {
        gui->SetElementParam("CURVE", "enum_frames", CGUIValue(static_cast<CGUIEnum*>(nullptr)));
    });
    EXPECT_EQ(none.GetDesc(), "CGUIEnum pointer is NULL!");
    EXPECT_EQ(none.GetFile(), file);
    CGUIEnum missing;
    missing.Add("a", "TEX_F0");
    missing.Add("b", "TEX_NOSUCH");
    const CEHSException unknown = Raised([&] { gui->SetElementParam("CURVE", "enum_frames", CGUIValue(&missing)); });
    EXPECT_EQ(unknown.GetDesc(), "Invalid texture ID!");
    EXPECT_EQ(gui->GetElementParam("CURVE", "enum_frames").GetEnum(), &frames) << "a refused list changes nothing";
}

TEST_F(GuiClassesTest, AdvancedTilesReportHoverClicksAndHotKeysByName) {
    RegisterEvents({"in", "out", "click", "key", "lowercase"});
    LoadGUI(R"(<desktop>
      <advtile id="A" coords="0 0 50 50" visible="1" enabled="1" on_gotfocus="in" on_lostfocus="out"
               on_click="click" hotkey="ESCAPE" on_hotkey="key"/>
      <advtile id="L" coords="300 300 5 5" visible="1" enabled="1" hotkey="escape" on_hotkey="lowercase"/>
    </desktop>)");
    EXPECT_EQ(gui->GetElementParam("A", "hotkey").GetFloat(), 1.0f);
    EXPECT_EQ(gui->GetElementParam("L", "hotkey").GetFloat(), 0.0f) << "key names are case-sensitive";
    struct Step {
        const char* what;
        int32_t x, y;
        bool click, key;
        Events events;
    };
    const Step steps[] = {
        {"enter", 10, 10, false, false, {"in"}},
        {"click over it", 10, 10, true, false, {"click"}},
        {"hot key anywhere", 100, 100, false, true, {"out", "key"}},
        {"click elsewhere", 100, 100, true, false, {}},
        {"edge is outside", 50, 10, false, false, {}},
    };
    for (const Step& step : steps) {
        SetCursor(step.x, step.y);
        if (step.click) input->ButtonDown(0);
        if (step.key) input->KeyDown(kKeyEscape);
        Frame();
        input->ButtonUp(0);
        input->KeyUp(kKeyEscape);
        Frame();
        EXPECT_EQ(TakeEvents(), step.events) << step.what;
    }
    gui->SetElementParam("A", "enabled", CGUIValue(false));
    input->KeyDown(kKeyEscape);
    Frame();
    EXPECT_EQ(TakeEvents(), Events{}) << "a disabled tile ignores its hot key";
}

}  // namespace
