// The GUI classes for text, lists, scrolling, flex and timer, driven by the
// headless input and the test clock on the recording device.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "cvelmor_rand.h"
#include "gui_fixtures.h"
#include "v2dgui_stdclass_label.h"
#include "v2dgui_stdclass_listbox.h"
#include "v2dgui_stdclass_scrollbar.h"
#include "v2dgui_stdclass_scrollbox.h"
#include "v2dgui_stdclass_textbox.h"
#include "v2dgui_stdclass_timer.h"

namespace {

using guitest::DrawnQuad;
using guitest::GuiTest;

// Every native action of these tests records which it was and the values
// it found in the GUI's parameter area.
struct ActionCall {
    int action;
    std::vector<CGUIValue> values;
};
std::vector<ActionCall> g_calls;

template <int N>
void Record() {
    ActionCall call{N, {}};
    for (size_t i = 0; i < GetGUI()->GetActionParamCount(); ++i) call.values.push_back(GetGUI()->GetActionParam(i));
    g_calls.push_back(call);
}

// Draws a 4x4 quad where a list cell starts, to see the viewport it lands in.
void DrawCellMark() {
    Record<9>();
    CVelmor& engine = *GetEngine();
    engine.VQuadSetPos(GetGUI()->GetActionParam(1).GetFloat(), GetGUI()->GetActionParam(2).GetFloat(), 4, 4, 0.5f);
    engine.SceneRender();
}

enum { ACT_1 = 1, ACT_2, ACT_3, ACT_4, ACT_5 };

struct ViewQuad {
    DrawnQuad quad;
    vd3d::D3DVIEWPORT8 viewport;
};

class GuiTextListsTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        g_calls.clear();
        RegisterActions();
    }

    // A font of 16-pixel cells whose characters advance 10 pixels, "d" 7.
    void LoadFont() {
        std::string font = "<fontdesc id=\"FNT_T\" textureid=\"TEX_FONT\" techniqueid=\"TEQ_FONT\" "
                           "techpackid=\"TEQ_PACK\" cellsize=\"16\" color0r=\"1\" color0g=\"1\" color0b=\"1\"";
        for (int code = 0; code < 256; ++code) font += " cs" + std::to_string(code) + (code == 'd' ? "=\"7\"" : "=\"10\"");
        font += "/>";
        WriteData(R"(<respack>
            <r id="TEX_FONT" typeid="TEXTURE" filename="gui/font.png" tag="1"/>
            <r id="TEQ_PACK" typeid="TECHNIQUE" filename="gui/techs.xml" tag="1"/>
            <r id="FNT_T" typeid="FONT" filename="gui/font.xml" tag="1"/></respack>)",
                  {{"gui/font.png", gfxtest::Png(gfxtest::Solid(64, 64, 0xFFFFFFFFu))},
                   {"gui/techs.xml", R"(<techniquespack><t id="TEQ_FONT" alphablending="ON"/></techniquespack>)"},
                   {"gui/font.xml", font}});
        engine->LoadResources(1);
        RegisterActions();  // the manager is a new one
    }
    void RegisterActions() {
        gui->RegisterActionFunction("ACT_1", Record<ACT_1>);
        gui->RegisterActionFunction("ACT_2", Record<ACT_2>);
        gui->RegisterActionFunction("ACT_3", Record<ACT_3>);
        gui->RegisterActionFunction("ACT_4", Record<ACT_4>);
        gui->RegisterActionFunction("ACT_5", Record<ACT_5>);
        gui->RegisterActionFunction("CELL_MARK", DrawCellMark);
    }

    // The quads of one drawn frame with the viewport each was drawn in.
    std::vector<ViewQuad> DrawWithViewports() {
        Device().ClearRecords();
        engine->SceneBegin();
        gui->Draw();
        engine->SceneEnd();
        std::vector<ViewQuad> quads;
        for (const vd3d::RecordedDraw& draw : Device().draws)
            for (const DrawnQuad& quad : guitest::QuadsOf(gfxtest::Vertices(draw))) quads.push_back({quad, draw.viewport});
        return quads;
    }

    // A press and release between two frames, and the frame after them.
    void Tap(uint8_t key) {
        input->KeyDown(key);
        input->KeyUp(key);
        Frame(20);
        Frame(20);
    }
    void Click(int32_t x, int32_t y, int button = 0) {
        SetCursor(x, y);
        input->ButtonDown(button);
        input->ButtonUp(button);
        Frame(20);
        Frame(20);
    }
    int Calls(int action) const {
        int count = 0;
        for (const ActionCall& call : g_calls) count += call.action == action;
        return count;
    }
    float Value(const std::string& element, const std::string& param) {
        return gui->GetElementParam(element, param).GetFloat();
    }
    void Script(const std::string& chunk) { engine->ScriptLoadFromBuffer(chunk.data(), chunk.size(), "test"); }
    std::vector<double> ScriptNumbers(const std::string& function) {
        engine->ScriptCallFunction(function, -1);
        std::vector<double> numbers;
        for (const CLuaValue& value : engine->ScriptGetResults()) numbers.insert(numbers.begin(), value.GetNumber());
        return numbers;
    }
};

TEST_F(GuiTextListsTest, LabelsAlignMeasureClipAndFadeWithTheirParent) {
    LoadFont();
    LoadGUI(R"(<desktop>
      <tile id="P" coords="50 40 400 300" color="1 1 1 0.5" visible="1" drawscheme="6">
        <label id="L" coords="100 60 100 20" font="FNT_T" text="abcd" font_alpha="0.8" visible="1"/>
        <tile id="AFTER" coords="0 0 8 8" visible="1"/></tile></desktop>)");
    EXPECT_EQ(Value("L", "font"), 0.0f);
    struct Case {
        float alignment, scale, spacing, width, offset;
    };
    // "abcd" is 10 + 10 + 10 + 7 = 37 pixels; scale and spacing floor each advance.
    const Case cases[] = {
        {1, 1, 0, 37, 0}, {2, 1, 0, 37, 31}, {3, 1, 0, 37, 63},
        {2, 2, 0, 74, 13}, {2, 1, 1, 41, 29}, {3, 1.5f, 0.4f, 55, 45},
    };
    for (const Case& c : cases) {
        gui->SetElementParam("L", "alignment", CGUIValue(c.alignment));
        gui->SetElementParam("L", "font_scale", CGUIValue(c.scale));
        gui->SetElementParam("L", "font_shiftx", CGUIValue(c.spacing));
        Frame();
        auto* label = dynamic_cast<CGUILabel*>(&Element("L"));
        EXPECT_EQ(label->GetTextWidth(), c.width) << c.alignment << " " << c.scale << " " << c.spacing;
        const std::vector<DrawnQuad> quads = DrawFrame();
        ASSERT_EQ(quads.size(), 5u) << "four glyphs and the tile after the label";
        EXPECT_EQ(quads[0].x, 150.0f + c.offset) << c.alignment << " " << c.scale << " " << c.spacing;
        EXPECT_EQ(quads[0].y, 100.0f);
        EXPECT_EQ(quads[0].w, 16.0f * c.scale);
    }
    // New text is measured at once.
    gui->SetElementParam("L", "text", CGUIValue("dd"));
    Frame();
    EXPECT_EQ(dynamic_cast<CGUILabel*>(&Element("L"))->GetTextWidth(), std::floor(1.5f * 7 + 0.4f) * 2);

    // The font's alpha times the parent's; clipped to the label, the full
    // screen again afterwards.
    gui->SetElementParam("L", "limitviewport", CGUIValue(true));
    Frame();
    const std::vector<ViewQuad> drawn = DrawWithViewports();
    ASSERT_EQ(drawn.size(), 3u);
    EXPECT_EQ(drawn[0].quad.color >> 24, static_cast<uint32_t>(0.4f * 255.0f + 0.5f));
    EXPECT_EQ(drawn[0].quad.color & 0xFFFFFFu, 0xFFFFFFu) << "colour 0 of the font";
    EXPECT_EQ(drawn[0].viewport.X, 150u);
    EXPECT_EQ(drawn[0].viewport.Y, 100u);
    EXPECT_EQ(drawn[0].viewport.Width, 100u);
    EXPECT_EQ(drawn[0].viewport.Height, 20u);
    EXPECT_EQ(drawn[2].viewport.Width, 800u);
    EXPECT_EQ(drawn[2].viewport.Height, 600u);
}

TEST_F(GuiTextListsTest, TextBoxFocusTypingMaxCharsBackspaceAndBlink) {
    LoadFont();
    LoadGUI(R"(<desktop>
      <textbox id="T" coords="100 100 200 30" font="FNT_T" visible="1" enabled="0" maxchars="3" blink_time="0.5"
               blink_char="|" on_input="ACT_1" on_enable="ACT_2" on_disable="ACT_3"/></desktop>)");
    const uint8_t BACKSPACE = 0x0E, RETURN = 0x1C;
    auto text = [&] { return gui->GetElementParam("T", "text").GetString(); };
    auto focused = [&] { return Element("T").IsEnabled(); };
    auto type = [&](const char* typed) {
        input->TypeText(typed);
        Frame(20);
        Frame(20);
    };

    type("a");
    EXPECT_EQ(text(), "") << "no typing without focus";
    Click(150, 110);
    EXPECT_TRUE(focused());
    EXPECT_EQ(Calls(ACT_2), 1);

    // Typed text, a fourth character past maxchars, Backspace down to nothing
    // and once more (null: Backspace).
    struct Step {
        const char* typed;
        const char* text;
        int inputs;
    };
    const Step steps[] = {{"a", "a", 1},     {"b", "ab", 2},    {"c", "abc", 3},   {"d", "abc", 3},
                          {nullptr, "ab", 4}, {nullptr, "a", 5}, {nullptr, "", 6},  {nullptr, "", 7},
                          {"d", "d", 8}};
    for (const Step& step : steps) {
        if (step.typed) {
            type(step.typed);
        } else {
            Tap(BACKSPACE);
        }
        EXPECT_EQ(text(), step.text) << (step.typed ? step.typed : "Backspace");
        EXPECT_EQ(Calls(ACT_1), step.inputs) << (step.typed ? step.typed : "Backspace");
    }
    EXPECT_EQ(dynamic_cast<CGUILabel*>(&Element("T"))->GetTextWidth(), 7.0f) << "measured after typing";
    gui->SetElementParam("T", "language", CGUIValue(2.0f));
    type("a");
    EXPECT_EQ(text(), "d") << "other languages read no characters";

    // Return, a click outside and the right button each drop the focus.
    const std::vector<std::function<void()>> droppers = {
        [&] { Tap(RETURN); }, [&] { Click(500, 110); }, [&] { Click(150, 110, 1); }};
    int disables = Calls(ACT_3);
    for (size_t i = 0; i < droppers.size(); ++i) {
        Click(150, 110);
        ASSERT_TRUE(focused()) << i;
        droppers[i]();
        EXPECT_FALSE(focused()) << i;
        EXPECT_EQ(Calls(ACT_3), ++disables) << i;
    }

    // The blinking cursor: shown after each half second of focus, gone with it.
    Click(150, 110);
    auto* box = dynamic_cast<CGUITextBox*>(&Element("T"));
    Run(0.4f);
    EXPECT_FALSE(box->IsCursorShown());
    EXPECT_EQ(DrawFrame().size(), 1u);
    Run(0.1f);
    EXPECT_TRUE(box->IsCursorShown());
    EXPECT_EQ(DrawFrame().size(), 2u) << "the text and the blink character";
    EXPECT_EQ(text(), "d") << "the text itself has no cursor";
    Run(0.5f);
    EXPECT_FALSE(box->IsCursorShown());
    Run(0.5f);
    EXPECT_TRUE(box->IsCursorShown());
    gui->ExecuteElementCommand("T", GUICMD_DISABLE);
    EXPECT_FALSE(box->IsCursorShown());
    EXPECT_EQ(DrawFrame().size(), 1u);
}

// What one frame types into a focused box, as the player's layout gives it
// (UTF-8): characters count, not bytes, for maxchars and Backspace; controls
// never go in; what does not fit, by count or by width at the box's font
// scale with the cursor after it, is cut at a character boundary.
TEST_F(GuiTextListsTest, TextBoxTakesTypedUtf8ThatFitsItsCharactersAndItsWidth) {
    LoadFont();  // advances 10, "d" 7
    LoadGUI(R"(<desktop>
      <textbox id="T" coords="100 100 200 30" font="FNT_T" visible="1" enabled="1" blink_char="|"
               blink_time="0.5"/></desktop>)");
    struct Case {
        int maxchars;
        float width, scale;
        const char* before;
        const char* typed;  // null: Backspace
        const char* after;
    };
    const Case cases[] = {
        {8, 200, 1, "", "Zo\xC3\xAB", "Zo\xC3\xAB"},
        {8, 200, 1, "", "\xD0\x94\xD0\xBC\xD0\xB8\xD1\x82\xD1\x80\xD0\xB8\xD0\xB9XYZ",
         "\xD0\x94\xD0\xBC\xD0\xB8\xD1\x82\xD1\x80\xD0\xB8\xD0\xB9X"},  // a long paste: 8 characters, 15 bytes
        {3, 200, 1, "\xC5\x81u", "\xE2\x82\xAC\xE2\x82\xAC", "\xC5\x81u\xE2\x82\xAC"},
        {8, 200, 1, "M\xC3\xBC", nullptr, "M"},
        {8, 200, 1, "\xF0\x9F\x98\x80", nullptr, ""},
        {8, 200, 1, "old\xE9", nullptr, "old"},  // a Latin-1 byte of an older name
        {8, 200, 1, "", "a\tb\x1B" "c\x7F\r\nd\xC2\x9B" "e", "abcde"},
        {16, 60, 1, "", "abcdddd", "abcdd"},  // 30 + 7 + 7 + the cursor's 10 = 54; one more d is 61
        {16, 60, 2, "", "abc", "ab"},
        {16, 60, 1, "abcde", "x", "abcde"},
    };
    for (const Case& c : cases) {
        const std::string label = std::string(c.before) + " + " + (c.typed ? c.typed : "Backspace");
        gui->SetElementParam("T", "maxchars", CGUIValue(static_cast<float>(c.maxchars)));
        gui->SetElementParam("T", "coords", CGUIValue(GUIRECT{100, 100, c.width, 30}));
        gui->SetElementParam("T", "font_scale", CGUIValue(c.scale));
        gui->SetElementParam("T", "text", CGUIValue(std::string(c.before)));
        if (c.typed) {
            input->TypeText(c.typed);
        } else {
            input->KeyDown(0x0E);
            input->KeyUp(0x0E);
        }
        Frame(20);
        Frame(20);
        EXPECT_EQ(gui->GetElementParam("T", "text").GetString(), c.after) << label;
        auto* box = dynamic_cast<CGUITextBox*>(&Element("T"));
        EXPECT_EQ(box->GetTextWidth(), engine->GetStringWidth(c.after, engine->GetFontID("FNT_T"), c.scale, 0))
            << label;
    }
}

TEST_F(GuiTextListsTest, ScrollBarCommandsWheelAndPageKeysInTheirOrder) {
    for (const char* cls : {"horscroll", "verscroll"}) {
        SCOPED_TRACE(cls);
        g_calls.clear();
        const std::string id = std::string("S_") + cls;
        LoadGUI("<desktop><" + std::string(cls) + " id=\"" + id +
                "\" coords=\"100 100 200 200\" minvalue=\"0\" maxvalue=\"10\" pagesize=\"4\" curvalue=\"8\" "
                "scrollspeed=\"60\" visible=\"1\" enabled=\"1\" on_scroll=\"ACT_1\"/></desktop>");
        SetCursor(150, 150);
        Frame(17);
        struct Step {
            std::function<void()> act;
            float value;
        };
        const uint8_t PGUP = 0xC9, PGDN = 0xD1;
        auto command = [&](int c) { return [&, c] { gui->ExecuteElementCommand(id, c); }; };
        auto input_ = [&](int wheel, uint8_t key) {
            return [&, wheel, key] {
                if (wheel != 0) input->TurnWheel(wheel);
                if (key != 0) input->KeyDown(key), input->KeyUp(key);
                Frame(17);
            };
        };
        const Step steps[] = {
            {command(11), 10}, {command(12), 6}, {command(12), 2}, {command(12), 0}, {command(10), 0},
            {command(9), 1},  // 60 per second for 17 ms: 1
            {input_(-1, 0), 4},  // the wheel back steps forward three times as fast
            {input_(1, 0), 1},      {input_(0, PGDN), 5},  {input_(0, PGUP), 1},
            {input_(-1, PGUP), 4},  // the wheel back comes after Page Up
            {input_(1, PGDN), 8},   // Page Down comes after the wheel forward
            {input_(-1, 0), 10},    {input_(1, PGUP), 6},
        };
        int scrolls = 0;
        for (size_t i = 0; i < std::size(steps); ++i) {
            steps[i].act();
            EXPECT_EQ(Value(id, "curvalue"), steps[i].value) << "step " << i;
            EXPECT_EQ(Calls(ACT_1), ++scrolls) << "step " << i;
        }
        // Away from the bar the wheel does nothing; equal limits disable the bar.
        SetCursor(500, 500);
        input_(1, PGUP)();
        EXPECT_EQ(Value(id, "curvalue"), 6.0f);
        gui->SetElementParam(id, "maxvalue", CGUIValue(0.0f));
        gui->SetElementParam(id, "curvalue", CGUIValue(0.0f));
        Frame(17);
        gui->ExecuteElementCommand(id, 11);
        EXPECT_EQ(Value(id, "curvalue"), 0.0f);
        EXPECT_FALSE(Element(id).IsEffectivelyEnabled());
        gui->SetElementParam(id, "visible", CGUIValue(false));
    }
}

TEST_F(GuiTextListsTest, ScrollBarSliderDragAndBarClicks) {
    LoadGUI(R"(<desktop>
      <horscroll id="H" coords="100 100 200 20" minvalue="0" maxvalue="10" slidersize="40" visible="1" enabled="1"
                 on_scroll="ACT_1"/>
      <verscroll id="V" coords="400 100 20 200" minvalue="0" maxvalue="10" pagesize="4" slider="0" visible="1"
                 enabled="1"/></desktop>)");
    SetCursor(0, 0);
    Frame();
    auto* bar = dynamic_cast<CGUIScrollBar*>(&Element("H"));
    EXPECT_EQ(bar->GetSliderRect().x, 100.0f);
    EXPECT_EQ(bar->GetSliderRect().w, 40.0f);

    // Grab the slider and drag: 160 pixels of travel for 10 steps.
    SetCursor(110, 110);
    input->ButtonDown(0);
    Frame();
    EXPECT_TRUE(bar->IsDragging());
    struct Drag {
        int32_t dx;
        float value, sliderX;
    };
    const Drag drags[] = {{80, 5, 180}, {-30, 3, 150}, {500, 10, 260}, {-20, 8, 240}};
    for (const Drag& drag : drags) {
        MoveCursor(input->cursorX + drag.dx, 110);
        Frame();
        EXPECT_EQ(Value("H", "curvalue"), drag.value) << drag.dx;
        EXPECT_EQ(bar->GetSliderRect().x, drag.sliderX) << drag.dx;
    }
    EXPECT_EQ(Calls(ACT_1), 4);
    input->ButtonUp(0);
    Frame();
    MoveCursor(input->cursorX - 100, 110);
    Frame();
    EXPECT_FALSE(bar->IsDragging());
    EXPECT_EQ(Value("H", "curvalue"), 8.0f) << "released";

    // A click on the bar centres the slider there and keeps dragging.
    SetCursor(150, 110);
    input->ButtonDown(0);
    input->ButtonUp(0);
    Frame();
    EXPECT_EQ(bar->GetSliderRect().x, 130.0f);
    EXPECT_EQ(Value("H", "curvalue"), 1.0f) << "30 of 160 pixels";
    EXPECT_TRUE(bar->IsDragging()) << "until a frame shows the button up";
    Frame();
    EXPECT_FALSE(bar->IsDragging());

    // Without a slider: a slider as long as the page's share of the bar,
    // and clicks page towards the cursor.
    auto* ver = dynamic_cast<CGUIScrollBar*>(&Element("V"));
    EXPECT_EQ(ver->GetSliderRect().h, std::floor((1.0f - 10.0f / 14.0f) * 200.0f));
    Click(410, 250);
    EXPECT_EQ(Value("V", "curvalue"), 4.0f);
    EXPECT_NEAR(ver->GetSliderRect().y, 100.0f + 143.0f * 0.4f, 1e-3f);
    Click(410, 120);
    EXPECT_EQ(Value("V", "curvalue"), 0.0f);
    EXPECT_FALSE(ver->IsDragging());

    // The bar and its slider, each by the tile's scheme.
    const std::vector<DrawnQuad> quads = DrawFrame();
    ASSERT_EQ(quads.size(), 3u) << "the vertical bar draws no slider";
    EXPECT_EQ(quads[1].x, 130.0f);
    EXPECT_EQ(quads[1].w, 40.0f);
}

TEST_F(GuiTextListsTest, ListBoxSelectsChecksScrollsIntoViewAndDrawsOnlyVisibleCells) {
    LoadGUI(R"(<desktop>
      <listbox id="LB" coords="100 100 150 50" cellheight="20" cellscount="10" scrolly="30" visible="1" enabled="1"
               on_selectcell="ACT_1" on_checkcell="ACT_2" on_scrollshift="ACT_3" on_prepareframe="ACT_4"
               on_redrawcell="CELL_MARK"/></desktop>)");
    SetCursor(0, 0);
    Frame();
    g_calls.clear();
    const std::vector<ViewQuad> drawn = DrawWithViewports();
    std::vector<float> cells, tops;
    for (const ActionCall& call : g_calls) {
        ASSERT_EQ(call.values.size(), 3u);
        EXPECT_EQ(call.values[1].GetFloat(), 100.0f);
        cells.push_back(call.values[0].GetFloat());
        tops.push_back(call.values[2].GetFloat());
    }
    EXPECT_EQ(cells, (std::vector<float>{1, 2, 3, 4}));
    EXPECT_EQ(tops, (std::vector<float>{90, 110, 130, 150})) << "the first at y - 10";
    ASSERT_EQ(drawn.size(), 4u);
    for (const ViewQuad& q : drawn) {
        EXPECT_EQ(q.viewport.X, 100u);
        EXPECT_EQ(q.viewport.Y, 100u);
        EXPECT_EQ(q.viewport.Width, 150u);
        EXPECT_EQ(q.viewport.Height, 50u);
    }

    // Hover selects, a click checks; the frame's values reach on_prepareframe.
    g_calls.clear();
    SetCursor(120, 125);  // (125 - 100 + 30) / 20
    Frame();
    EXPECT_EQ(Value("LB", "selectedcell"), 2.0f);
    EXPECT_EQ(Calls(ACT_1), 1);
    ASSERT_EQ(g_calls.back().action, ACT_4);
    EXPECT_EQ(g_calls.back().values[0].GetFloat(), 2.0f);
    EXPECT_EQ(g_calls.back().values[1].GetFloat(), -1.0f);
    EXPECT_TRUE(g_calls.back().values[3].GetBoolean());
    Frame();
    EXPECT_EQ(Calls(ACT_1), 1) << "fired only on a change";
    Click(120, 125);
    EXPECT_EQ(Value("LB", "checkedcell"), 2.0f);
    EXPECT_EQ(Calls(ACT_2), 1);
    Click(500, 125);
    EXPECT_EQ(Value("LB", "selectedcell"), -1.0f);
    EXPECT_EQ(Value("LB", "checkedcell"), 2.0f) << "a click elsewhere on the screen leaves the list alone";

    // The arrow keys move the check and scroll it into view.
    struct Step {
        uint8_t key;
        float checked, scrolly;
    };
    const uint8_t UP = 0xC8, DOWN = 0xD0;
    const Step steps[] = {{DOWN, 3, 30}, {DOWN, 4, 50}, {DOWN, 5, 70}, {UP, 4, 70}, {UP, 3, 60},
                          {UP, 2, 40},   {UP, 1, 20},   {UP, 0, 0},    {UP, 0, 0}};
    for (const Step& step : steps) {
        g_calls.clear();
        Tap(step.key);
        EXPECT_EQ(Value("LB", "checkedcell"), step.checked) << int(step.key) << " to " << step.checked;
        EXPECT_EQ(Value("LB", "scrolly"), step.scrolly) << int(step.key) << " to " << step.checked;
        ASSERT_EQ(Calls(ACT_3), 1);
        EXPECT_EQ(g_calls[0].values.at(0).GetFloat(), step.scrolly) << "on_scrollshift gets scrolly";
        EXPECT_EQ(Calls(ACT_2), 1) << "the check is made again";
    }
    gui->SetElementParam("LB", "checkedcell", CGUIValue(8.0f));
    for (int i = 0; i < 3; ++i) Tap(DOWN);
    EXPECT_EQ(Value("LB", "checkedcell"), 9.0f) << "not past the last cell";
    EXPECT_EQ(Value("LB", "scrolly"), 9 * 20 - 50 + 20.0f);
    gui->SetElementParam("LB", "scroll_enabled", CGUIValue(false));
    Tap(UP);
    EXPECT_EQ(Value("LB", "checkedcell"), 9.0f);
}

TEST_F(GuiTextListsTest, ScrollBoxShiftsItsChildrenAndLeavesOutThoseOutOfView) {
    LoadGUI(R"(<desktop>
      <scrollbox id="SB" coords="100 100 100 100" visible="1" enabled="1">
        <tile id="A" coords="0 0 50 50" visible="1"/>
        <tile id="B" coords="0 120 50 50" visible="1"/>
        <tile id="C" coords="150 0 50 50" visible="1"/></scrollbox></desktop>)");
    struct Case {
        float scrollx, scrolly;
        std::vector<std::string> shown;
        float bY;  // where B lands when shown
    };
    const Case cases[] = {
        {0, 0, {"A"}, 0},  {0, 30, {"A", "B"}, 190}, {0, 100, {"B"}, 120},
        {0, 170, {}, 0},   {60, 0, {"C"}, 0},         {-100, -100, {}, 0},
    };
    for (const Case& c : cases) {
        gui->SetElementParam("SB", "scrollx", CGUIValue(c.scrollx));
        gui->SetElementParam("SB", "scrolly", CGUIValue(c.scrolly));
        Frame();
        std::vector<std::string> shown;
        for (CGUIElement* child : dynamic_cast<CGUIScrollBox*>(&Element("SB"))->GetShownChildren())
            shown.push_back(child->GetStrID());
        EXPECT_EQ(shown, c.shown) << c.scrollx << " " << c.scrolly;
        if (c.bY != 0) {
            EXPECT_EQ(Element("B").GetEffectiveRect().y, c.bY);
        }
        const std::vector<ViewQuad> drawn = DrawWithViewports();
        ASSERT_EQ(drawn.size(), c.shown.size());
        for (const ViewQuad& q : drawn) {
            EXPECT_EQ(q.viewport.X, 100u);
            EXPECT_EQ(q.viewport.Width, 100u);
        }
    }
}

TEST_F(GuiTextListsTest, FlexHandsItsStateToScriptAndNativeActions) {
    Script("updates = {} redraws = 0 "
           "function onupdate(...) updates = {...} "
           "  for i, v in ipairs(updates) do if type(v) == 'boolean' then updates[i] = v and 1 or 0 end end "
           "end "
           "function onredraw(...) redraws = redraws + 1 + select('#', ...) * 100 end "
           "function seen() return redraws, unpack(updates) end");
    LoadGUI(R"(<desktop>
      <tile id="P" coords="10 20 300 300" color="1 0.5 1 0.5" visible="1" enabled="1" drawscheme="6">
        <flex id="FS" coords="5 6 70 80" color="0.5 1 1 1" visible="1" enabled="0" on_update="onupdate"
              on_redraw="onredraw"/>
        <flex id="FN" coords="1 2 3 4" visible="1" enabled="1" on_update="ACT_1" on_redraw="ACT_2"/></tile></desktop>)");
    Frame();
    DrawFrame();
    EXPECT_EQ(ScriptNumbers("seen"), (std::vector<double>{1, 15, 26, 70, 80, 0.5, 0.5, 1, 0.5, 1, 0}))
        << "redrawn once with no values; x, y, w, h, r, g, b, a, visible, enabled";

    ASSERT_EQ(Calls(ACT_1), 1);
    const std::vector<CGUIValue>& values = g_calls[0].values;
    ASSERT_EQ(values.size(), 4u) << "rectangle, colour, visible, enabled";
    EXPECT_EQ(values[0].GetRect().x, 11.0f);
    EXPECT_EQ(values[0].GetRect().h, 4.0f);
    EXPECT_EQ(values[1].GetRect().y, 0.5f);
    EXPECT_TRUE(values[2].GetBoolean());
    EXPECT_TRUE(values[3].GetBoolean());
    EXPECT_EQ(Calls(ACT_2), 1);
    EXPECT_TRUE(g_calls.back().values.empty());

    gui->SetElementParam("P", "visible", CGUIValue(false));
    Frame();
    DrawFrame();
    EXPECT_EQ(Calls(ACT_2), 1) << "hidden flex elements draw nothing";
    EXPECT_FALSE(g_calls.back().values[2].GetBoolean()) << "but are still updated";
}

TEST_F(GuiTextListsTest, TimerFactorLoopedAndOnceAndPermanentActions) {
    LoadGUI(R"(<desktop>
      <timer id="ONCE" factoraction_time="0.5" on_factoraction="ACT_1" on_permanentaction="ACT_3"/>
      <timer id="LOOP" factoraction_time="0.5" factoraction_looped="1" on_factoraction="ACT_2"/>
      <timer id="OFF" factoraction_time="0.5" on_factoraction="ACT_4"/></desktop>)");
    Frame(125);
    EXPECT_TRUE(g_calls.empty()) << "a disabled timer does nothing";
    gui->ExecuteElementCommand("ONCE", GUICMD_ENABLE);
    gui->ExecuteElementCommand("LOOP", GUICMD_ENABLE);
    Run(2.0f, 125);
    std::vector<float> once, looped;
    for (const ActionCall& call : g_calls) {
        if (call.action == ACT_1) once.push_back(call.values.at(0).GetFloat());
        if (call.action == ACT_2) looped.push_back(call.values.at(0).GetFloat());
    }
    EXPECT_EQ(once, (std::vector<float>{0.25f, 0.5f, 0.75f})) << "stops when the time is reached";
    EXPECT_EQ(looped, (std::vector<float>{0.25f, 0.5f, 0.75f, 0.0f, 0.25f, 0.5f, 0.75f, 0.0f, 0.25f, 0.5f, 0.75f,
                                          0.0f, 0.25f, 0.5f, 0.75f, 0.0f}))
        << "restarts from factor 0";
    EXPECT_EQ(Calls(ACT_3), 16) << "every update";
    EXPECT_EQ(Calls(ACT_4), 0);
}

TEST_F(GuiTextListsTest, TimerRandomActionsComeAfterTenthsBetweenTheTimes) {
    LoadGUI(R"(<desktop><timer id="R" randomaction_mintime="1" randomaction_maxtime="1.5" on_randomaction="ACT_1"
                enabled="1"/></desktop>)");
    auto* timer = dynamic_cast<CGUITimer*>(&Element("R"));
    std::vector<int> seen(5, 0);
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        V2DSrand(seed);
        gui->ExecuteElementCommand("R", GUICMD_TIMER_NEWRANDOMDELAY);
        const float delay = timer->GetNextRandomDelay();
        const int tenth = static_cast<int>(std::lround((delay - 1.0f) * 10.0f));
        ASSERT_TRUE(tenth >= 0 && tenth <= 4) << delay;
        EXPECT_NEAR(delay, 1.0f + tenth * 0.1f, 1e-5f);
        ++seen[static_cast<size_t>(tenth)];
        g_calls.clear();
        int frames = 0;
        while (g_calls.empty() && frames < 200) Frame(10), ++frames;
        const float fired = static_cast<float>(frames) * 0.01f;
        EXPECT_GE(fired, delay - 1e-4f) << "seed " << seed;
        EXPECT_LT(fired, delay + 0.0201f) << "seed " << seed;
    }
    for (int tenth = 0; tenth < 5; ++tenth) EXPECT_GT(seen[static_cast<size_t>(tenth)], 0) << tenth;

    // Equal times: always the minimum.
    gui->SetElementParam("R", "randomaction_maxtime", CGUIValue(1.0f));
    EXPECT_EQ(timer->GetNextRandomDelay(), 1.0f);
}

TEST_F(GuiTextListsTest, ScrollBarsAndListBoxesSaturateAtTheIntegerLimits) {
    LoadGUI(R"(<desktop>
      <horscroll id="H" coords="100 100 200 20" slidersize="40" visible="1" enabled="1"/>
      <listbox id="LB" coords="100 300 150 50" cellheight="20" cellscount="10" visible="1" enabled="1"/></desktop>)");
    auto* bar = dynamic_cast<CGUIScrollBar*>(&Element("H"));
    enum Act { CLICK_START, CLICK_END, PAGE_FORWARD, PAGE_BACK };
    struct Bar {
        const char *min, *max, *cur, *page;
        Act act;
        int32_t value;
    };
    const Bar bars[] = {
        {"100", "2147483647", "100", "10", CLICK_END, INT32_MAX},
        {"1", "2147483647", "1", "10", CLICK_END, INT32_MAX},
        {"-2147483648", "2147483647", "0", "10", CLICK_END, INT32_MAX},
        {"-2147483648", "0", "-2147483648", "10", CLICK_END, 0},
        {"-2147483648", "2147483647", "0", "10", CLICK_START, INT32_MIN},
        // A negative page moves the other way, no further than the integers go.
        {"-2147483648", "0", "-2147483648", "-100", PAGE_FORWARD, INT32_MIN},
        {"0", "2147483647", "2147483647", "-2147483648", PAGE_BACK, INT32_MAX},
    };
    for (const Bar& b : bars) {
        const std::string row = std::string(b.min) + " " + b.max + " " + b.cur + " " + b.page;
        Script(std::string("V2DGUI_SetElementParam('H', 'minvalue', ") + b.min + ") " +
               "V2DGUI_SetElementParam('H', 'maxvalue', " + b.max + ") " +
               "V2DGUI_SetElementParam('H', 'curvalue', " + b.cur + ") " +
               "V2DGUI_SetElementParam('H', 'pagesize', " + b.page + ")");
        SetCursor(0, 0);
        Frame();
        switch (b.act) {
        case CLICK_START: Click(100, 110); break;
        case CLICK_END: Click(299, 110); break;
        case PAGE_FORWARD: gui->ExecuteElementCommand("H", GUICMD_SCROLL_PAGEFORWARD); break;
        case PAGE_BACK: gui->ExecuteElementCommand("H", GUICMD_SCROLL_PAGEBACK); break;
        }
        EXPECT_EQ(bar->GetValue(), b.value) << row;
    }

    // The arrow keys move a check set far outside the list by one, into it.
    struct Move {
        const char* checked;
        uint8_t key;
        float checkedAfter, scrollyAfter;
    };
    const Move moves[] = {{"2147483647", 0xD0, 9, 150}, {"-2147483648", 0xC8, 0, 0}};
    for (const Move& m : moves) {
        gui->SetElementParam("LB", "scrolly", CGUIValue(0.0f));
        Script(std::string("V2DGUI_SetElementParam('LB', 'checkedcell', ") + m.checked + ")");
        Tap(m.key);
        EXPECT_EQ(Value("LB", "checkedcell"), m.checkedAfter) << m.checked;
        EXPECT_EQ(Value("LB", "scrolly"), m.scrollyAfter) << m.checked;
    }
}

TEST_F(GuiTextListsTest, ClippedChildrenOfAScrollBoxGiveItsViewportBack) {
    LoadFont();
    LoadGUI(R"(<desktop>
      <scrollbox id="SB" coords="100 100 300 200" visible="1" enabled="1">
        <listbox id="LB" coords="0 0 100 40" cellheight="20" cellscount="2" visible="1" on_redrawcell="CELL_MARK"/>
        <tile id="AFTER_LIST" coords="0 50 8 8" visible="1"/>
        <label id="L" coords="0 60 100 20" font="FNT_T" text="ab" limitviewport="1" visible="1"/>
        <tile id="AFTER_LABEL" coords="0 90 8 8" visible="1"/></scrollbox>
      <tile id="OUTSIDE" coords="0 0 8 8" visible="1"/></desktop>)");
    Frame();
    const std::vector<ViewQuad> drawn = DrawWithViewports();
    struct Expected {
        float x, y;
        uint32_t vx, vy, vw, vh;
    };
    const Expected expected[] = {
        {100, 100, 100, 100, 100, 40},  // list cells
        {100, 120, 100, 100, 100, 40},  {100, 150, 100, 100, 300, 200},  // the tile after the list
        {100, 160, 100, 160, 100, 20},  // the label's glyphs
        {110, 160, 100, 160, 100, 20},  {100, 190, 100, 100, 300, 200},  // the tile after the label
        {0, 0, 0, 0, 800, 600},         // after the scroll box
    };
    ASSERT_EQ(drawn.size(), std::size(expected));
    for (const Expected& e : expected) {
        bool found = false;
        for (const ViewQuad& q : drawn) {
            if (q.quad.x != e.x || q.quad.y != e.y) continue;
            found = true;
            EXPECT_EQ(q.viewport.X, e.vx) << e.x << "," << e.y;
            EXPECT_EQ(q.viewport.Y, e.vy) << e.x << "," << e.y;
            EXPECT_EQ(q.viewport.Width, e.vw) << e.x << "," << e.y;
            EXPECT_EQ(q.viewport.Height, e.vh) << e.x << "," << e.y;
        }
        EXPECT_TRUE(found) << e.x << "," << e.y;
    }
}

// Values with no sensible reading: a blink time of 0 or less keeps the
// cursor shown; a cell height of 0 or less leaves the list without cells
// under the cursor or on the screen; a negative count is an empty list.
TEST_F(GuiTextListsTest, NonPositiveBlinkTimesCellHeightsAndCountsKeepTheElementsQuiet) {
    LoadFont();
    LoadGUI(R"(<desktop>
      <textbox id="T" coords="100 100 200 30" font="FNT_T" text="ab" blink_char="|" visible="1" enabled="1"/>
      <listbox id="LB" coords="100 200 150 50" cellheight="20" cellscount="10" visible="1" enabled="1"
               on_selectcell="ACT_1" on_checkcell="ACT_2" on_redrawcell="CELL_MARK"/></desktop>)");
    auto* box = dynamic_cast<CGUITextBox*>(&Element("T"));
    struct Case {
        const char* element;
        const char* param;
        float value, readBack;
    };
    const Case cases[] = {
        {"T", "blink_time", 0, 0}, {"T", "blink_time", -1, -1},      {"LB", "cellheight", 0, 0},
        {"LB", "cellheight", -20, -20}, {"LB", "cellscount", -3, 0},
    };
    for (const Case& c : cases) {
        const std::string row = std::string(c.param) + "=" + std::to_string(c.value);
        gui->SetElementParam("LB", "cellheight", CGUIValue(20.0f));
        gui->SetElementParam("LB", "cellscount", CGUIValue(10.0f));
        gui->SetElementParam(c.element, c.param, CGUIValue(c.value));
        EXPECT_EQ(Value(c.element, c.param), c.readBack) << row;
        SetCursor(0, 0);
        Frame();
        g_calls.clear();
        if (std::string(c.element) == "T") {
            for (int frame = 0; frame < 10; ++frame) {
                Frame();
                EXPECT_TRUE(box->IsCursorShown()) << row << " frame " << frame;
            }
            int glyphs = 0;
            for (const DrawnQuad& quad : DrawFrame()) glyphs += quad.y == 100.0f;
            EXPECT_EQ(glyphs, 3) << row << ": the text and a steady cursor";
        } else {
            Click(100, 200);  // the top left cell, were there cells
            EXPECT_EQ(Value("LB", "selectedcell"), -1.0f) << row;
            EXPECT_EQ(Value("LB", "checkedcell"), -1.0f) << row;
            DrawFrame();
            EXPECT_TRUE(g_calls.empty()) << row << ": no cell selected, checked or drawn";
        }
    }
}

}  // namespace
