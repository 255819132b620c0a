// The GUI manager, the element tree, values and actions, GUI data loading
// and the GUI's script functions.
#include <cmath>
#include <string>
#include <vector>

#include "gui_fixtures.h"
#include "v2dgui_stdclass_tile.h"

namespace {

using guitest::DrawnQuad;
using guitest::GuiTest;
using testsupport::Raised;

class GuiCoreTest : public GuiTest {
protected:
    void ExpectGameError(const CEHSException& e, const std::string& message, const std::string& file) {
        EXPECT_EQ(e.GetType(), static_cast<uint32_t>(EHS_TYPE_GAME)) << e.GetDesc();
        EXPECT_EQ(e.GetDesc(), message);
        EXPECT_EQ(e.GetFile(), file);
    }
    void Script(const std::string& chunk) { engine->ScriptLoadFromBuffer(chunk.data(), chunk.size(), "test"); }
    CEHSException ScriptError(const std::string& function) {
        return Raised([&] { engine->ScriptCallFunction(function, -1); });
    }
};

int g_nativeCalls = 0;
std::vector<CGUIValue> g_nativeSeen;
void NativeAction() {
    ++g_nativeCalls;
    g_nativeSeen.clear();
    for (size_t i = 0; i < GetGUI()->GetActionParamCount(); ++i) g_nativeSeen.push_back(GetGUI()->GetActionParam(i));
}

TEST_F(GuiCoreTest, DesktopAndRegistriesAndTheFourAddChecksInOrder) {
    ASSERT_EQ(gui->GetElementID("DESKTOP"), 0);
    const GUIRECT desktop = gui->GetElementParam(0, "coords").GetRect();
    EXPECT_EQ(desktop.w, 800.0f);
    EXPECT_EQ(desktop.h, 600.0f);
    EXPECT_TRUE(gui->GetElementParam("DESKTOP", "visible").GetBoolean());

    const std::string file = "v2dgui_cvelmorgui_main";
    ExpectGameError(Raised([&] { gui->RegisterElementClass("tile", CGUITile::Create); }),
                    "Dublicated GUI Element class !ID = tile", file);
    ExpectGameError(Raised([&] { gui->RegisterElementParam("coords", 900, GUIVAL_RECT); }),
                    "Dublicated GUI Element parameter(strID)! strID = coords iID = 900", file);
    ExpectGameError(Raised([&] { gui->RegisterElementParam("newname", 2, GUIVAL_RECT); }),
                    "Dublicated GUI Element parameter(iID)! strID = newname iID = 2", file);
    gui->RegisterActionFunction("ACT", NativeAction);
    ExpectGameError(Raised([&] { gui->RegisterActionFunction("ACT", NativeAction); }),
                    "Dublicated C++ Action function! ID = ACT", file);

    ASSERT_EQ(gui->AddNewElement("tile", "A", 0), 1);
    // Each check wins over the ones after it.
    ExpectGameError(Raised([&] { gui->AddNewElement("nosuch", "", -1); }),
                    "Cannot add GUI element: invalid parent ID! Parent ID = -1 Element ID = ", file);
    ExpectGameError(Raised([&] { gui->AddNewElement("tile", "B", 2); }),
                    "Cannot add GUI element: invalid parent ID! Parent ID = 2 Element ID = B", file);
    ExpectGameError(Raised([&] { gui->AddNewElement("nosuch", "A", "DESKTOP"); }),
                    "Cannot add GUI element: invalid class! Class ID = nosuch Element ID = A", file);
    ExpectGameError(Raised([&] { gui->AddNewElement("tile", "A", "A"); }),
                    "Cannot add GUI element: dublicated element ID! Element ID = A", file);
    ExpectGameError(Raised([&] { gui->AddNewElement("tile", "", 1); }),
                    "Cannot add GUI element: element ID is null string!", file);
    gui->AddNewElement("tile", "A2", 0);
    Element("A").SetParent(gui->GetElement(0));  // the same parent again is no change
    ExpectGameError(Raised([&] { Element("A").SetParent(&Element("A2")); }),
                    "Error in setting GUI element parent: possible element dublication!", "v2dgui_cguielement_main");
    EXPECT_EQ(gui->GetElementCount(), 3);

    // Unknown elements, parameter names, parameter numbers and commands.
    ExpectGameError(Raised([&] { gui->SetElementParam("Z", "visible", CGUIValue(true)); }),
                    "Cannot set element param: invalid element ID! Element ID = Z", file);
    ExpectGameError(Raised([&] { gui->GetElementParam(7, 6); }),
                    "Cannot get element param: invalid element ID! Element ID = 7", file);
    ExpectGameError(Raised([&] { gui->ExecuteElementCommand("Z", 1); }),
                    "Cannot pass command to element: invalid element ID! Element ID = Z", file);
    ExpectGameError(Raised([&] { gui->SetElementParam("A", "nosuch", CGUIValue(true)); }),
                    "Cannot set element param: invalid param ID! Param ID = nosuch", file);
    ExpectGameError(Raised([&] { gui->GetElementParam("A", "nosuch"); }),
                    "Cannot get element param: invalid param ID! Param ID = nosuch", file);
    ExpectGameError(Raised([&] { gui->SetElementParam("A", 80, CGUIValue(true)); }),
                    "Cannot set GUI element param: unknown ID! ID = 80  Element ID = A", "v2dgui_cguielement_main");
    ExpectGameError(Raised([&] { gui->GetElementParam("A", "tip"); }),
                    "Cannot get GUI element param: unknown ID! ID = 8  Element ID = A", "v2dgui_cguielement_main");
    ExpectGameError(Raised([&] { gui->ExecuteElementCommand("A", 99); }),
                    "Cannot execute GUI element command: unknown ID! ID = 99  Element ID = A",
                    "v2dgui_cguielement_main");
    EXPECT_EQ(gui->GetElementID("a"), -1) << "IDs compare case-sensitively";
}

TEST_F(GuiCoreTest, ZOrderSortsChildrenStablyAndUpdatesFollowTheOrder) {
    for (const char* id : {"c3", "c1", "n1", "c2", "n2"}) gui->AddNewElement("tile", id, 0);
    gui->SetElementParam("c3", "zorder", CGUIValue(3.0f));
    gui->SetElementParam("c1", "zorder", CGUIValue(1.0f));
    std::vector<std::string> order;
    for (CGUIElement* child : gui->GetElement(0)->GetChildren()) order.push_back(child->GetStrID());
    EXPECT_EQ(order, (std::vector<std::string>{"n1", "c2", "n2", "c1", "c3"}));
    // Truncated to 1; c2 stood before c1 and stays there.
    gui->SetElementParam("c2", "zorder", CGUIValue(1.9f));
    order.clear();
    for (CGUIElement* child : gui->GetElement(0)->GetChildren()) order.push_back(child->GetStrID());
    EXPECT_EQ(order, (std::vector<std::string>{"n1", "n2", "c2", "c1", "c3"}));

    // Drawn in that order: give each a distinct width.
    float width = 10.0f;
    for (const std::string& id : order) {
        gui->SetElementParam(id, "coords", CGUIValue(GUIRECT{0, 0, width, 10}));
        gui->SetElementParam(id, "visible", CGUIValue(true));
        width += 10.0f;
    }
    Frame();
    std::vector<float> widths;
    for (const DrawnQuad& quad : DrawFrame()) widths.push_back(quad.w);
    EXPECT_EQ(widths, (std::vector<float>{10, 20, 30, 40, 50}));
}

TEST_F(GuiCoreTest, EffectiveStateFlowsDownTheTree) {
    LoadGUI(R"(<desktop>
      <tile id="P" coords="100 50 200 200" color="1 0.5 1 0.5" visible="1" enabled="1">
        <tile id="C" coords="10 20 30 40" color="0.5 1 1 1" visible="true" enabled="1"/>
        <tile id="H" coords="0 0 5 5" visible="0"/>
      </tile></desktop>)");
    Frame();
    const CGUIElement& child = Element("C");
    EXPECT_EQ(child.GetEffectiveRect().x, 110.0f);
    EXPECT_EQ(child.GetEffectiveRect().y, 70.0f);
    EXPECT_EQ(child.GetEffectiveRect().w, 30.0f);
    EXPECT_EQ(child.GetEffectiveColor().r, 0.5f);
    EXPECT_EQ(child.GetEffectiveColor().g, 0.5f);
    EXPECT_EQ(child.GetEffectiveColor().a, 0.5f);
    EXPECT_TRUE(child.IsEffectivelyEnabled());
    EXPECT_FALSE(Element("H").IsEffectivelyVisible());
    EXPECT_EQ(DrawFrame().size(), 2u);

    gui->SetElementParam("DESKTOP", "visible", CGUIValue(false));
    Frame();
    EXPECT_TRUE(DrawFrame().empty()) << "a hidden desktop hides everything";
}

TEST_F(GuiCoreTest, DelayedCommandsRunInTheFirstUpdateAfterTheirDelay) {
    gui->AddNewElement("tile", "T", 0);
    gui->ExecuteElementCommand("T", GUICMD_SHOW, 0.0f);
    EXPECT_TRUE(Element("T").IsVisible()) << "no delay runs at once";
    gui->ExecuteElementCommand("T", GUICMD_HIDE, 0.5f);
    gui->ExecuteElementCommand(1, GUICMD_ENABLE, 0.1f);
    Frame(100);
    EXPECT_TRUE(Element("T").IsEnabled());
    EXPECT_TRUE(Element("T").IsVisible());
    for (int i = 0; i < 3; ++i) Frame(100);
    EXPECT_TRUE(Element("T").IsVisible()) << "0.4 s of frames";
    Frame(100);
    EXPECT_FALSE(Element("T").IsVisible()) << "0.5 s of frames";
}

TEST_F(GuiCoreTest, ToolTipsWaitForARestingMouseAndTheLastElementUnderItWins) {
    LoadGUI(R"(<desktop>
      <tile id="A" coords="0 0 100 100" visible="1" tip="TIP_A"/>
      <tile id="B" coords="50 0 100 100" visible="1" tip="TIP_B"/></desktop>)");
    const int32_t tipA = gui->GetElementID("TIP_A"), tipB = gui->GetElementID("TIP_B");
    ASSERT_NE(tipA, -1) << "a tip element is created on demand";
    EXPECT_EQ(gui->GetElement(tipA)->GetParent(), gui->GetElement(0));
    EXPECT_TRUE(gui->GetElement(0)->GetChildren().size() == 2u) << "tips are not the desktop's children";

    SetCursor(20, 20);
    Frame(100);
    EXPECT_EQ(gui->GetCurTip(), tipA);
    Run(0.8f, 100);
    EXPECT_GT(gui->GetTipTimer(), 0.0f);
    MoveCursor(21, 20);
    Frame(100);
    EXPECT_NEAR(gui->GetTipTimer(), 0.9f, 1e-4f) << "moving restarts the wait";
    Run(0.9f, 100);
    EXPECT_EQ(gui->GetTipTimer(), 0.0f);
    EXPECT_TRUE(gui->GetElement(tipA)->IsVisible()) << "shown after a second at rest";

    SetCursor(60, 20);  // over both: B was updated last
    Frame(100);
    EXPECT_EQ(gui->GetCurTip(), tipB);
    EXPECT_GT(gui->GetTipTimer(), 0.0f) << "a new tip waits again";
    input->ButtonDown(1);  // the right button shows it at once
    Frame(100);
    EXPECT_EQ(gui->GetTipTimer(), 0.0f);
    input->ButtonUp(1);

    gui->SetCurTip(-1);
    gui->SetCurTip(1000);
    EXPECT_EQ(gui->GetCurTip(), tipB) << "IDs outside the list are ignored";
    SetCursor(500, 500);
    Frame(100);
    EXPECT_EQ(gui->GetCurTip(), -1);
}

TEST_F(GuiCoreTest, ValuesAndTheirTypeErrors) {
    CGUIValue value(2.5f);
    const std::vector<std::pair<std::function<void()>, std::string>> wrong = {
        {[&] { value.GetString(); }, "CGUIValue error: current type is not string!"},
        {[&] { value.GetBoolean(); }, "CGUIValue error: current type is not boolean!"},
        {[&] { value.GetFunction(); }, "CGUIValue error: current type is not function pointer!"},
        {[&] { value.GetPoint(); }, "CGUIValue error: current type is not GUIPOINT!"},
        {[&] { value.GetRect(); }, "CGUIValue error: current type is not GUIRECT!"},
        {[&] { value.GetEnum(); }, "CGUIValue error: current type is not CGUIEnum*!"},
    };
    for (const auto& call : wrong) {
        const CEHSException e = Raised(call.first);
        EXPECT_EQ(e.GetType(), static_cast<uint32_t>(EHS_TYPE_GENERAL));
        EXPECT_EQ(e.GetDesc(), call.second);
        EXPECT_EQ(e.GetFile(), "v2dgui_datatypes");
    }
    value.SetRect(GUIRECT{1, 2, 3, 4});
    value.SetString("text");
    EXPECT_EQ(value.GetType(), GUIVAL_STRING);
    EXPECT_EQ(Raised([&] { value.GetFloat(); }).GetDesc(), "CGUIValue error: current type is not float!");

    CGUIAction none;
    EXPECT_EQ(Raised([&] { none.Fire(); }).GetDesc(), "Unknown action type!");
}

TEST_F(GuiCoreTest, ParameterTextsConvertByTheirType) {
    gui->RegisterActionFunction("NATIVE_ACT", NativeAction);
    struct Case {
        std::string name, text;
        int32_t type;
        std::string expected;  // a readable form of the value
    };
    auto show = [](const CGUIValue& v) -> std::string {
        std::ostringstream out;
        switch (v.GetType()) {
        case GUIVAL_FLOAT: out << v.GetFloat(); break;
        case GUIVAL_BOOLEAN: out << (v.GetBoolean() ? "true" : "false"); break;
        case GUIVAL_STRING: out << "'" << v.GetString() << "'"; break;
        case GUIVAL_FUNCTION: out << (v.GetFunction() == NativeAction ? "native" : "other"); break;
        case GUIVAL_POINT: out << v.GetPoint().x << "," << v.GetPoint().y; break;
        case GUIVAL_RECT: out << v.GetRect().x << "," << v.GetRect().y << "," << v.GetRect().w << "," << v.GetRect().h; break;
        default: out << "?";
        }
        return out.str();
    };
    const std::vector<Case> cases = {
        {"zorder", "  12.5xyz", GUIVAL_FLOAT, "12.5"},
        {"zorder", "abc", GUIVAL_FLOAT, "0"},
        {"zorder", "-3e1", GUIVAL_FLOAT, "-30"},
        {"visible", "1", GUIVAL_BOOLEAN, "true"},
        {"visible", "true", GUIVAL_BOOLEAN, "true"},
        {"visible", "TRUE", GUIVAL_BOOLEAN, "false"},
        {"visible", "yes", GUIVAL_BOOLEAN, "false"},
        {"text", " a  b ", GUIVAL_STRING, "' a  b '"},
        {"on_click", "NATIVE_ACT", GUIVAL_FUNCTION, "native"},
        {"on_click", "script_fn", GUIVAL_STRING, "'script_fn'"},
        {"location_shown", "3 4 5", GUIVAL_POINT, "3,4"},
        {"coords", "1 2  3 4", GUIVAL_RECT, "1,2,3,4"},
        {"coords", "\t1 2 3", GUIVAL_RECT, "1,2,3,0"},
        {"color", "0.5 0.25 1 1 9 9", GUIVAL_RECT, "0.5,0.25,1,1"},
    };
    for (const Case& c : cases) {
        int32_t id = 0;
        CGUIValue value;
        ASSERT_TRUE(ProcessParam(c.name, c.text, id, value)) << c.name;
        EXPECT_EQ(value.GetType(), c.type) << c.name << "=" << c.text;
        EXPECT_EQ(show(value), c.expected) << c.name << "=" << c.text;
    }
    int32_t id = -5;
    CGUIValue untouched;
    EXPECT_FALSE(ProcessParam("coords", "", id, untouched));
    EXPECT_EQ(untouched.GetType(), GUIVAL_EMPTY);
    EXPECT_NE(Log().find("Cannot process GUI element param: value string is empty!"), std::string::npos);
    ExpectGameError(Raised([&] { ProcessParam("nosuch", "1", id, untouched); }),
                    "Cannot process GUI element param: invalid param name! Param name = nosuch",
                    "v2dgui_cvelmorgui_xmlload");
}

TEST_F(GuiCoreTest, DataFilesBuildTreesReuseIDsAndApplyAttributesInDocumentOrder) {
    const std::string file = "v2dgui_cvelmorgui_xmlload";
    ExpectGameError(Raised([&] { LoadGUI("<Desktop><tile id=\"X\"/></Desktop>"); }),
                    "Cannot load GUI data from XML file: invalid root node name!", file);
    ExpectGameError(Raised([&] { LoadGUI("<desktop><tile/></desktop>"); }),
                    "Cannot add GUI element: element ID is null string!", "v2dgui_cvelmorgui_main");

    WriteData(R"(<respack>
        <r id="STY_WIDE" typeid="GUISTYLEDATA" tag="3" filename="gui/wide.xml"/>
        <r id="STY_EMPTY" typeid="GUISTYLEDATA" tag="3" filename="gui/empty.xml"/>
        <r id="ENM_FRAMES" typeid="GUIENUMDATA" tag="3" filename="gui/frames.xml"/>
        <r id="GUI_ONE" typeid="GUIDATA" tag="2" filename="gui/one.xml"/>
        <r id="GUI_TWO" typeid="GUIDATA" tag="2" filename="gui/two.xml"/></respack>)",
              {{"gui/wide.xml", R"(<guistyle coords="1 1 500 20" visible="1"/>)"},
               {"gui/empty.xml", "<guistyle/>"},
               {"gui/frames.xml", R"(<guienum z="TEX_Z" a="TEX_A" m="TEX_M"/>)"},
               {"gui/one.xml", R"(<desktop>
                  <tile id="W" style="STY_WIDE" coords="5 5 50 50"><tile id="K1"/></tile>
                  <tile id="V" coords="5 5 50 50" style="STY_WIDE"/></desktop>)"},
               {"gui/two.xml", R"(<desktop><tile id="W" drawscheme="6" style="STY_EMPTY"><tile id="K2"/></tile></desktop>)"}});
    engine->LoadResources(2);
    EXPECT_EQ(Element("W").GetCoords().w, 50.0f) << "coords after the style win";
    EXPECT_EQ(Element("V").GetCoords().w, 500.0f) << "a style after the coords wins";
    EXPECT_EQ(gui->GetElementParam("W", "drawscheme").GetFloat(), 6.0f) << "the second file reuses W";
    ASSERT_EQ(Element("W").GetChildren().size(), 2u);
    EXPECT_EQ(Element("W").GetChildren()[1]->GetStrID(), "K2");
    EXPECT_NE(Log().find("Warning: an empty GUI style!"), std::string::npos);
    EXPECT_GE(gui->GetStyles().FindByName("STY_WIDE"), 0) << "loaded on demand";

    // Enumerations keep document order, and load on demand too.
    int32_t id = 0;
    CGUIValue value;
    ASSERT_TRUE(ProcessParam("enum_frames", "ENM_FRAMES", id, value));
    CGUIEnum* frames = value.GetEnum();
    ASSERT_EQ(frames->GetCount(), 3);
    EXPECT_EQ(frames->GetName(0), "z");
    EXPECT_EQ(frames->GetValue(2), "TEX_M");
    ExpectGameError(Raised([&] { ProcessParam("enum_frames", "ENM_NONE", id, value); }),
                    "Cannot find GUIENUM data! ID = ENM_NONE", file);
    ExpectGameError(Raised([&] { LoadGUI(R"(<desktop><tile id="Q" style="STY_NONE"/></desktop>)"); }),
                    "Cannot find GUISTYLE data! ID = STY_NONE", file);
}

TEST_F(GuiCoreTest, ScriptFunctionsAcceptEachFormOfElementParameterAndValue) {
    gui->AddNewElement("tile", "T", 0);
    Script(R"(
      function ok()
        local id = V2DGUI_AddNewElement("tile", "S", "T")
        V2DGUI_AddNewElement("tile", "S2", id)
        V2DGUI_SetElementParam("S", "coords", 1, 2, 3, 4)
        V2DGUI_SetElementParam(id, 11, 0, 0, 0.5, 0.5)
        V2DGUI_SetElementParam("S", 6, true)
        V2DGUI_SetElementParam(id, "zorder", 7)
        V2DGUI_SetElementParam("S", "tip", "TIP_S")
        V2DGUI_ExecuteElementCommand("S2", 1)
        V2DGUI_ExecuteElementCommand(id + 1, 3, 0)
        V2DGUI_SetCurTip("TIP_S")
        local x, y, w, h = V2DGUI_GetElementParam("S", "coords")
        return id, V2DGUI_GetElementID("S2"), V2DGUI_GetElementID("none"), x + y + w + h,
               V2DGUI_GetElementParam(id, 6), V2DGUI_GetElementParam("S", 1)
      end
      function five() V2DGUI_SetElementParam("S", "coords", 1, 2, 3) end
      function mixed() V2DGUI_SetElementParam("S", "coords", 1, 2, "3", 4) end
      function badelem() V2DGUI_SetElementParam(true, "coords", 1, 2, 3, 4) end
      function getmore() V2DGUI_GetElementParam("S", "coords", 1) end
      function getaction() V2DGUI_GetElementParam("S", "on_click") end
      function badarg() V2DGUI_AddNewElement("tile", 5, "T") end
      function hideall() V2DGUI_SetElementParam("DESKTOP", "visible", false) end
    )");
    engine->ScriptCallFunction("ok", -1);
    const std::vector<CLuaValue>& results = engine->ScriptGetResults();
    ASSERT_EQ(results.size(), 6u);
    // Results land last to first.
    EXPECT_EQ(results[5].GetNumber(), 2.0);
    EXPECT_EQ(results[4].GetNumber(), 3.0);
    EXPECT_EQ(results[3].GetNumber(), -1.0);
    EXPECT_EQ(results[2].GetNumber(), 10.0);
    EXPECT_TRUE(results[1].GetBoolean());
    EXPECT_EQ(results[0].GetNumber(), 7.0);
    EXPECT_EQ(gui->GetElementParam("S", "texcoords").GetRect().w, 0.5f);
    EXPECT_TRUE(Element("S2").IsVisible());
    EXPECT_TRUE(Element("S2").IsEnabled());
    EXPECT_EQ(gui->GetCurTip(), gui->GetElementID("TIP_S"));

    const std::string file = "v2dgui_glue_main";
    const std::string combination = "Error in glue function glue_V2DGUI_SetElementParam: invalid combination of arguments!";
    ExpectGameError(ScriptError("five"), combination, file);
    ExpectGameError(ScriptError("mixed"), combination, file);
    ExpectGameError(ScriptError("badelem"), combination, file);
    ExpectGameError(ScriptError("getmore"),
                    "Error in glue function glue_V2DGUI_GetElementParam: invalid combination of arguments!", file);
    ExpectGameError(ScriptError("badarg"),
                    "Error in glue function: glue_V2DGUI_AddNewElement.Invalid argument type. Index = 2", file);
    engine->ScriptCallFunction("hideall", -1);
    EXPECT_FALSE(gui->GetElement(0)->IsVisible());
}

// A NaN show time would leave a window showing forever, NaN timer times
// fire every frame, NaN draw parameters pass the size check.
TEST_F(GuiCoreTest, NaNInfinitiesAndNumbersBeyondTheIntegersAreRefusedFromScriptsAndData) {
    LoadGUI(R"(<desktop><window id="W"/><timer id="TM"/><tile id="T"/></desktop>)");
    struct Call {
        const char* args;
        int index;
    };
    const Call calls[] = {
        {"'W', 'time_showhide', 0/0", 3},         {"'TM', 'factoraction_time', 1/0", 3},
        {"'TM', 'randomaction_mintime', -1/0", 3}, {"'T', 'drawparams', 0/0, 16, 4, 4", 3},
        {"'T', 'drawparams', 16, 16, 4, 1/0", 6},  {"'W', 'location_shown', 5, 0/0", 4},
        {"1, 'coords', 1, 2, 3e10, 4", 5},         {"'T', 'tag', 2147483648", 3},
    };
    for (const Call& c : calls) {
        Script(std::string("function set() V2DGUI_SetElementParam(") + c.args + ") end");
        ExpectGameError(ScriptError("set"),
                        "Error in glue function: glue_V2DGUI_SetElementParam.Invalid argument type. Index = " +
                            std::to_string(c.index),
                        "v2dgui_glue_main");
    }
    EXPECT_TRUE(std::isfinite(gui->GetElementParam("W", "time_showhide").GetFloat())) << "nothing was set";

    // In data the attribute is left out with a warning, as an empty one is.
    struct Text {
        const char *name, *text;
    };
    const Text texts[] = {
        {"time_showhide", "nan"},  {"factoraction_time", " inf"},  {"randomaction_mintime", "-Infinity"},
        {"time_showhide", "1e39"}, {"tag", "2147483648"},          {"drawparams", "16 NaN 4 4"},
        {"location_shown", "0 -1e40"}, {"coords", "1 2 3 +INF"},
    };
    for (const Text& t : texts) {
        int32_t id = 0;
        CGUIValue value;
        EXPECT_FALSE(ProcessParam(t.name, t.text, id, value)) << t.name << "=" << t.text;
        EXPECT_EQ(value.GetType(), GUIVAL_EMPTY) << t.name << "=" << t.text;
        EXPECT_NE(Log().find(std::string("Cannot process GUI element param: value is not a usable number! Param name = ") +
                             t.name + " Value = " + t.text),
                  std::string::npos)
            << t.name << "=" << t.text;
    }
    LoadGUI(R"(<desktop><tile id="D" coords="1 2 3 nan" tag="-2147483648" zorder="2147483647"/></desktop>)");
    EXPECT_EQ(gui->GetElementParam("D", "coords").GetRect().x, 0.0f) << "left out";
    EXPECT_EQ(gui->GetElementParam("D", "tag").GetFloat(), -2147483648.0f) << "the limits themselves are numbers";
    EXPECT_EQ(gui->GetElementParam("D", "zorder").GetFloat(), 2147483648.0f);
}

TEST_F(GuiCoreTest, ActionsCallScriptFunctionsOrNativeFunctionsWithTheirValues) {
    gui->RegisterActionFunction("NATIVE_ACT", NativeAction);
    Script("calls = 0 function onit(a, b, c, d, e, f) calls = calls + 1 got = {a, b, c, d, e, f} end "
           "function seen() return calls, got[1], got[2], got[6] end");
    int32_t id = 0;
    CGUIValue value;
    ProcessParam("on_click", "onit", id, value);
    CGUIAction script;
    script.Set(value);
    script.Fire({CGUIValue(3.0f), CGUIValue(true), CGUIValue(GUIRECT{1, 2, 3, 4})});
    engine->ScriptCallFunction("seen", -1);
    const std::vector<CLuaValue>& results = engine->ScriptGetResults();
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(results[3].GetNumber(), 1.0);
    EXPECT_EQ(results[2].GetNumber(), 3.0);
    EXPECT_TRUE(results[1].GetBoolean());
    EXPECT_EQ(results[0].GetNumber(), 4.0) << "a rectangle reaches a script as four numbers";

    ProcessParam("on_click", "NATIVE_ACT", id, value);
    CGUIAction native;
    native.Set(value);
    g_nativeCalls = 0;
    native.Fire({CGUIValue(GUIRECT{1, 2, 3, 4}), CGUIValue(false)});
    EXPECT_EQ(g_nativeCalls, 1);
    ASSERT_EQ(g_nativeSeen.size(), 2u) << "a native action reads its values from the parameter area";
    EXPECT_EQ(g_nativeSeen[0].GetRect().h, 4.0f);
    EXPECT_EQ(gui->GetActionParamCount(), 0u) << "emptied when the action returns";

    ProcessParam("on_click", "no_such_function", id, value);
    CGUIAction missing;
    missing.Set(value);
    missing.Fire();  // a script name with no function behind it does nothing
}

TEST_F(GuiCoreTest, TileSchemesLayTheirQuadsOverTheRectangle) {
    gui->AddNewElement("tile", "T", 0);
    gui->SetElementParam("T", "coords", CGUIValue(GUIRECT{100, 200, 80, 40}));
    gui->SetElementParam("T", "visible", CGUIValue(true));
    gui->SetElementParam("T", "drawparams", CGUIValue(GUIRECT{64, 32, 16, 8}));  // u = 0.25, v = 0.25
    gui->SetElementParam("T", "texcoords", CGUIValue(GUIRECT{0.1f, 0.2f, 0.3f, 0.4f}));
    auto quadsOf = [&](int scheme) {
        gui->SetElementParam("T", "drawscheme", CGUIValue(static_cast<float>(scheme)));
        Frame();
        return DrawFrame();
    };
    auto expectQuad = [](const DrawnQuad& q, std::vector<float> want, int scheme, size_t index) {
        const std::vector<float> got = {q.left, q.top, q.right, q.bottom, q.x, q.y, q.w, q.h};
        for (size_t i = 0; i < 8; ++i) EXPECT_NEAR(got[i], want[i], 1e-4f) << "scheme " << scheme << " quad " << index << " field " << i;
    };
    const std::vector<std::vector<std::vector<float>>> expected = {
        {{0.1f, 0.2f, 0.3f, 0.4f, 100, 200, 80, 40}},
        {{0, 0, .25f, 1, 100, 200, 16, 40}, {.25f, 0, .75f, 1, 116, 200, 48, 40}, {.75f, 0, 1, 1, 164, 200, 16, 40}},
        {{0, 0, 1, .25f, 100, 200, 80, 8}, {0, .25f, 1, .75f, 100, 208, 80, 24}, {0, .75f, 1, 1, 100, 232, 80, 8}},
        {{0, 0, .25f, .25f, 100, 200, 16, 8}, {.25f, 0, .75f, .25f, 116, 200, 48, 8}, {.75f, 0, 1, .25f, 164, 200, 16, 8},
         {0, .25f, .25f, .75f, 100, 208, 16, 24}, {.25f, .25f, .75f, .75f, 116, 208, 48, 24},
         {.75f, .25f, 1, .75f, 164, 208, 16, 24}, {0, .75f, .25f, 1, 100, 232, 16, 8},
         {.25f, .75f, .75f, 1, 116, 232, 48, 8}, {.75f, .75f, 1, 1, 164, 232, 16, 8}},
        {},  // scheme 5: scheme 4 without its centre, checked below
        {},
        {{0, .25f, .25f, .75f, 100, 200, 16, 40}, {.25f, .25f, .75f, .75f, 116, 200, 48, 40},
         {.75f, .25f, 1, .75f, 164, 200, 16, 40}},
        {{.25f, 0, .75f, .25f, 100, 200, 80, 8}, {.25f, .25f, .75f, .75f, 100, 208, 80, 24},
         {.25f, .75f, .75f, 1, 100, 232, 80, 8}},
    };
    for (int scheme = 1; scheme <= 8; ++scheme) {
        std::vector<std::vector<float>> want = expected[static_cast<size_t>(scheme - 1)];
        if (scheme == 5) {
            want = expected[3];
            want.erase(want.begin() + 4);
        }
        const std::vector<DrawnQuad> quads = quadsOf(scheme);
        ASSERT_EQ(quads.size(), want.size()) << "scheme " << scheme;
        for (size_t i = 0; i < quads.size(); ++i) expectQuad(quads[i], want[i], scheme, i);
    }
    gui->SetElementParam("T", "coords", CGUIValue(GUIRECT{100, 200, 32, 40}));
    EXPECT_EQ(quadsOf(2)[1].w, 0.0f) << "a bar of twice the border has an empty middle";

    gui->SetElementParam("T", "drawscheme", CGUIValue(9.0f));
    Frame();
    ExpectGameError(Raised([&] { DrawFrame(); }), "Invalid drawing scheme. Scheme ID = 9", "v2dgui_stdclass_tile");
    const CEHSException width = Raised([&] { gui->SetElementParam("T", "drawparams", CGUIValue(GUIRECT{0, 64, 1, 1})); });
    EXPECT_EQ(width.GetType(), static_cast<uint32_t>(EHS_TYPE_GENERAL));
    EXPECT_EQ(width.GetDesc(), "Invalid tile texture width!");
    EXPECT_EQ(Raised([&] { gui->SetElementParam("T", "drawparams", CGUIValue(GUIRECT{64, -1, 1, 1})); }).GetDesc(),
              "Invalid tile texture height!");
}

}  // namespace
