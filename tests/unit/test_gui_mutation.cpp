// The element tree changed by the actions fired while it is updated and
// drawn: elements added, re-sorted, hidden, disabled or given new
// parameters from every kind of event, through the real script API.
#include <algorithm>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "gui_fixtures.h"

namespace {

using guitest::GuiTest;
using testsupport::Raised;

const uint8_t kKeyA = 0x1E;

// Flex probes log their updates ("u:NAME@x", marked -hidden or -disabled)
// and draws ("d:NAME") to `trace`; `act` counts its calls and makes the
// chosen change on the first.
const char* const kProbes = R"(
  trace = ""
  calls = 0
  function note(entry) trace = trace .. entry .. " " end
  function probe(name)
    _G["u_" .. name] = function(x, y, w, h, r, g, b, a, visible, enabled)
      local entry = "u:" .. name .. "@" .. x
      if not visible then entry = entry .. "-hidden" end
      if not enabled then entry = entry .. "-disabled" end
      note(entry)
    end
    _G["d_" .. name] = function() note("d:" .. name) end
  end
  probe("S1") probe("S2")
  function add(id, parent)
    V2DGUI_AddNewElement("flex", id, parent)
    probe(id)
    V2DGUI_SetElementParam(id, "coords", 0, 0, 5, 5)
    V2DGUI_SetElementParam(id, "visible", true)
    V2DGUI_SetElementParam(id, "enabled", true)
    V2DGUI_SetElementParam(id, "on_update", "u_" .. id)
    V2DGUI_SetElementParam(id, "on_redraw", "d_" .. id)
  end
  changes = {
    desktop = function() add("NEWD", "DESKTOP") end,
    parent = function() add("NEWP", "PANEL") end,
    zorder = function() V2DGUI_SetElementParam("S1", "zorder", 10) end,
    hide = function() V2DGUI_ExecuteElementCommand("S2", 2) end,
    disable = function() V2DGUI_SetElementParam("S2", "enabled", false) end,
    params = function() V2DGUI_SetElementParam("S2", "coords", 7, 0, 5, 5) end,
  }
  function act() calls = calls + 1 if calls == 1 then change() end end
  function taketrace() local t = trace trace = "" return t, calls end
)";

class GuiMutationTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        Frame();  // the first frame time is the clock's start, not a frame
    }
    void Script(const std::string& chunk) { engine->ScriptLoadFromBuffer(chunk.data(), chunk.size(), "test"); }
    void Draw() {
        Device().ClearRecords();
        engine->SceneBegin();
        gui->Draw();
        engine->SceneEnd();
    }
    // The probes' trace since the last call, and the calls of `act`.
    std::pair<std::string, int> TakeTrace() {
        engine->ScriptCallFunction("taketrace", -1);
        const std::vector<CLuaValue>& results = engine->ScriptGetResults();  // last to first
        return {results.at(1).GetString(), static_cast<int>(results.at(0).GetNumber())};
    }
};

// How each event is made to fire `act`: the source element "SRC" and the
// input before each frame.
struct Event {
    const char* name;
    const char* source;
    bool beforeWalk;  // fires before the tree is walked
    std::function<void(platform::HeadlessInputSystem&, int frame)> drive;
};

void Idle(platform::HeadlessInputSystem&, int) {}

const Event kEvents[] = {
    {"on_click", R"(<button id="SRC" coords="100 100 50 20" visible="1" enabled="1" on_click="act"/>)", false,
     [](platform::HeadlessInputSystem& in, int frame) {
         if (frame == 0) in.ButtonDown(0);
     }},
    {"on_press", R"(<button id="SRC" coords="100 100 50 20" visible="1" enabled="1" on_press="act"/>)", false,
     [](platform::HeadlessInputSystem& in, int frame) {
         if (frame == 0) in.ButtonDown(0);
         if (frame == 1) in.ButtonUp(0);
     }},
    {"on_hold",
     R"(<button id="SRC" coords="100 100 50 20" visible="1" enabled="1" holdtime_start="0.04"
                holdtime_interval="0.04" on_hold="act"/>)",
     false,
     [](platform::HeadlessInputSystem& in, int frame) {
         if (frame == 0) in.ButtonDown(0);
     }},
    {"on_show (delayed command)", R"(<window id="SRC" coords="100 100 50 20" enabled="1" on_show="act"/>)", true,
     [](platform::HeadlessInputSystem&, int frame) {
         if (frame == 0) GetGUI()->ExecuteElementCommand("SRC", GUICMD_SHOW, 0.03f);
     }},
    {"on_input",
     R"(<textbox id="SRC" coords="100 100 50 20" visible="1" enabled="1" language="1" maxchars="9"
                 on_input="act"/>)",
     false,
     [](platform::HeadlessInputSystem& in, int frame) {
         if (frame == 0) in.KeyDown(kKeyA), in.KeyUp(kKeyA), in.TypeText("a");
     }},
    {"on_permanentaction (timer)", R"(<timer id="SRC" enabled="1" on_permanentaction="act"/>)", false, Idle},
    {"on_redraw", R"(<flex id="SRC" coords="100 100 50 20" visible="1" enabled="1" on_redraw="act"/>)", false,
     Idle},
    {"on_scroll",
     R"(<horscroll id="SRC" coords="100 100 50 20" minvalue="0" maxvalue="100" pagesize="10"
                   scrollspeed="60" visible="1" enabled="1" on_scroll="act"/>)",
     false,
     [](platform::HeadlessInputSystem& in, int frame) {
         if (frame == 0) in.TurnWheel(-1);
     }},
    // Clicking the radio button R unchecks SRC from inside R's walk of its
    // siblings.
    {"on_uncheck (radio group)",
     R"(<checkbox id="SRC" coords="100 100 50 20" radiobutton="1" checked="1" visible="1" enabled="1"
                  on_uncheck="act"/>)",
     false,
     [](platform::HeadlessInputSystem& in, int frame) {
         if (frame == 0) in.cursorX = 310, in.ButtonDown(0);
         if (frame == 1) in.ButtonUp(0);
     }},
};

struct Change {
    const char* name;
    const char* next;  // the trace of the frame after the change
};

const Change kChanges[] = {
    {"desktop", "u:S1@10 u:S2@20 u:NEWD@0 d:S1 d:S2 d:NEWD "},
    {"parent", "u:S1@10 u:S2@20 u:NEWP@0 d:S1 d:S2 d:NEWP "},
    {"zorder", "u:S2@20 u:S1@10 d:S2 d:S1 "},
    {"hide", "u:S1@10 u:S2@20-hidden d:S1 "},
    {"disable", "u:S1@10 u:S2@20-disabled d:S1 d:S2 "},
    {"params", "u:S1@10 u:S2@7 d:S1 d:S2 "},
};

// Each entry of a trace at most once: nothing is updated or drawn twice.
bool EntriesUnique(const std::string& trace) {
    std::set<std::string> seen;
    size_t start = 0;
    for (size_t space = trace.find(' '); space != std::string::npos; space = trace.find(' ', start)) {
        if (!seen.insert(trace.substr(start, space - start)).second) return false;
        start = space + 1;
    }
    return true;
}

// The panel's four children and the desktop's one fill their lists (which
// grow by doubling), so an added child moves the list being walked.
TEST_F(GuiMutationTest, EveryEventMayChangeTheTreeItIsWalking) {
    for (const Event& event : kEvents) {
        for (const Change& change : kChanges) {
            SCOPED_TRACE(std::string(event.name) + ", change " + change.name);
            const bool adds = change.name == std::string("desktop") || change.name == std::string("parent");
            TearDown();
            SetUp();
            Script(kProbes);
            Script(std::string("change = changes.") + change.name);
            LoadGUI(std::string(R"(<desktop>
              <tile id="PANEL" coords="0 0 800 600" drawscheme="6" visible="1" enabled="1">
                <checkbox id="R" coords="300 100 50 20" radiobutton="1" visible="1" enabled="1"/>
                <flex id="S1" coords="10 0 5 5" visible="1" enabled="1" on_update="u_S1" on_redraw="d_S1"/>
                )") + event.source + R"(
                <flex id="S2" coords="20 0 5 5" visible="1" enabled="1" on_update="u_S2" on_redraw="d_S2"/>
              </tile></desktop>)");
            SetCursor(110, 110);
            TakeTrace();
            int frame = 0;
            std::pair<std::string, int> traced;
            for (; frame < 10 && traced.second == 0; ++frame) {
                event.drive(*input, frame);
                Frame();
                Draw();
                traced = TakeTrace();
            }
            ASSERT_EQ(traced.second, 1) << "fired once in the frame of the change";
            EXPECT_TRUE(EntriesUnique(traced.first)) << traced.first;
            // An element added inside a walk joins from the next frame; one
            // added by a delayed command, before the walk, at once.
            EXPECT_EQ(traced.first.find("NEW") != std::string::npos, adds && event.beforeWalk) << traced.first;

            event.drive(*input, frame);
            Frame();
            Draw();
            EXPECT_EQ(TakeTrace().first, change.next);
            EXPECT_EQ(gui->GetElementCount(), adds ? 7 : 6);
        }
    }
}

TEST_F(GuiMutationTest, AnActionCannotRunTheGUIFrameInsideItself) {
    RegisterGUIRunnerScriptFunctions(*engine);
    Script("function update() V2DGUI_Update() end function draw() V2DGUI_Draw() end");
    LoadGUI(R"(<desktop><flex id="F" visible="1" on_redraw="draw"/>
               <button id="B" coords="0 0 50 20" visible="1" enabled="1" on_click="update"/></desktop>)");
    SetCursor(10, 10);
    input->ButtonDown(0);
    const std::string refusal = "Cannot update or draw the GUI from inside its own update or draw!";
    const CEHSException updating = Raised([&] { Frame(); });
    EXPECT_EQ(updating.GetType(), static_cast<uint32_t>(EHS_TYPE_GAME));
    EXPECT_EQ(updating.GetDesc(), refusal);
    engine->SceneBegin();
    EXPECT_EQ(Raised([&] { gui->Draw(); }).GetDesc(), refusal);
    engine->SceneEnd();
    // A refused frame leaves the GUI usable.
    input->ButtonUp(0);
    SetCursor(100, 100);
    gui->SetElementParam("F", "on_redraw", CGUIValue(std::string("nothing")));
    Frame();
    Draw();
    EXPECT_EQ(Element("B").IsEffectivelyVisible(), true);
}

// A native draw action replaces the frames of an animated tile drawn after
// it with fewer frames than the one it stands at.
CGUIEnum g_oneFrame;
void ShortenFrames() { GetGUI()->SetElementParam("ANIM", "enum_frames", CGUIValue(&g_oneFrame)); }

TEST_F(GuiMutationTest, NewFramesFromAnActionTakeEffectAtOnce) {
    CGUIEnum four;
    for (const char* id : {"TEX_F0", "TEX_F1", "TEX_F2", "TEX_F3"}) {
        const std::string png = gfxtest::Png(gfxtest::Solid(8, 8, 0xFF808080));
        engine->LoadTextureFromMemory(png.data(), static_cast<int32_t>(png.size()), 3, id, 1, 0, 0);
        four.Add(id, id);
    }
    g_oneFrame = CGUIEnum();
    g_oneFrame.Add("TEX_F1", "TEX_F1");
    gui->RegisterActionFunction("SHORTEN", ShortenFrames);
    LoadGUI(R"(<desktop><flex id="F" visible="1" on_redraw="SHORTEN"/>
      <animtile id="ANIM" coords="0 0 20 20" time_animcycle="1" visible="1" enabled="1"/></desktop>)");
    gui->SetElementParam("ANIM", "enum_frames", CGUIValue(&four));
    Run(0.9f, 100);  // at the last of the four frames
    Draw();
    ASSERT_FALSE(Device().draws.empty());
    EXPECT_EQ(Device().draws.back().textures[0], engine->m_gfx.pTextures->GetItem(engine->GetTextureID("TEX_F1")));
}

// Every event's action adds, re-sorts, hides, shows, disables, enables and
// moves elements at random while random input drives the GUI.
const char* const kChaos = R"(
  -- A generator of its own (Park and Miller's): the C library's rand, behind
  -- math.random, gives other numbers on other systems.
  local state = 2024
  local function random(low, high)
    state = state * 16807 % 2147483647
    return low + state % (high - low + 1)
  end
  fired = {}
  built = {"B", "C1", "C2", "TB", "SB", "BOX", "INBOX", "W", "WB", "LB"}
  names = {"B", "C1", "C2", "TB", "SB", "BOX", "INBOX", "W", "WB", "LB"}
  parents = {"DESKTOP", "PANEL", "BOX", "W"}
  added = 0
  function pick(list) return list[random(1, #list)] end
  function chaos(event)
    fired[event] = (fired[event] or 0) + 1
    local what = random(1, 6)
    local target = pick(random(1, 2) == 1 and built or names)
    local undo = random(1, 3) == 1  -- hide or disable; show or enable twice as often
    if what == 1 and added < 120 then
      added = added + 1
      local id = "N" .. added
      local class = pick({"tile", "button", "flex", "checkbox"})
      V2DGUI_AddNewElement(class, id, pick(parents))
      V2DGUI_SetElementParam(id, "coords", random(0, 150), random(0, 150), 30, 20)
      V2DGUI_SetElementParam(id, "visible", true)
      V2DGUI_SetElementParam(id, "enabled", true)
      if class == "button" then V2DGUI_SetElementParam(id, "on_click", "ev_click") end
      if class == "checkbox" then
        V2DGUI_SetElementParam(id, "radiobutton", true)
        V2DGUI_SetElementParam(id, "on_uncheck", "ev_uncheck")
      end
      names[#names + 1] = id
      if class == "tile" then parents[#parents + 1] = id end
    elseif what == 2 then V2DGUI_SetElementParam(target, "zorder", random(-3, 3))
    elseif what == 3 then V2DGUI_ExecuteElementCommand(target, undo and 2 or 1, random(0, 2) * 0.05)
    elseif what == 4 then V2DGUI_ExecuteElementCommand(target, undo and 4 or 3)
    elseif what == 5 then V2DGUI_SetElementParam(target, "coords", random(0, 150), random(0, 150), 40, 20)
    end
  end
  for _, event in pairs({"click", "press", "hold", "show", "input", "timer", "redraw", "scroll", "uncheck"}) do
    _G["ev_" .. event] = function() chaos(event) end
  end
  function count(event) return fired[event] or 0 end
)";

TEST_F(GuiMutationTest, TenThousandFramesOfActionsChangingTheTreeUnderRandomInput) {
    Script(kChaos);
    LoadGUI(R"(<desktop>
      <tile id="PANEL" coords="0 0 200 200" visible="1" enabled="1">
        <button id="B" coords="10 10 40 20" visible="1" enabled="1" holdtime_start="0.05" holdtime_interval="0.05"
                on_click="ev_click" on_press="ev_press" on_hold="ev_hold"/>
        <checkbox id="C1" coords="60 10 20 20" radiobutton="1" visible="1" enabled="1" on_uncheck="ev_uncheck"/>
        <checkbox id="C2" coords="90 10 20 20" radiobutton="1" visible="1" enabled="1" on_uncheck="ev_uncheck"/>
        <textbox id="TB" coords="10 40 80 20" visible="1" enabled="1" language="1" maxchars="5"
                 on_input="ev_input"/>
        <horscroll id="SB" coords="10 70 100 20" minvalue="0" maxvalue="50" pagesize="5" scrollspeed="60"
                   visible="1" enabled="1" on_scroll="ev_scroll"/>
        <scrollbox id="BOX" coords="120 40 70 70" visible="1" enabled="1">
          <button id="INBOX" coords="0 0 40 20" visible="1" enabled="1" on_click="ev_click"/>
        </scrollbox>
        <listbox id="LB" coords="10 100 100 60" cellheight="20" cellscount="5" visible="1" enabled="1"/>
      </tile>
      <flex id="FL" coords="0 0 10 10" visible="1" enabled="1" on_redraw="ev_redraw"/>
      <timer id="TM" enabled="1" randomaction_mintime="0.1" randomaction_maxtime="0.5" on_randomaction="ev_timer"/>
      <window id="W" coords="0 0 200 200" time_showhide="0.1" enabled="1" on_show="ev_show">
        <button id="WB" coords="20 120 40 20" visible="1" enabled="1" on_click="ev_click"/>
      </window></desktop>)");
    std::mt19937 random(7);
    auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
    const uint8_t keys[] = {kKeyA, 0x0E, 0x1C, 0xC8, 0xD0, 0xC9, 0xD1};
    for (int frame = 0; frame < 10000; ++frame) {
        if (chance(5)) SetCursor(static_cast<int32_t>(random() % 200), static_cast<int32_t>(random() % 200));
        if (chance(5)) input->ButtonDown(0);
        if (chance(5)) input->ButtonUp(0);
        if (chance(5)) input->TurnWheel(chance(50) ? 1 : -1);
        if (chance(10)) {
            const uint8_t key = keys[random() % std::size(keys)];
            input->KeyDown(key);
            input->KeyUp(key);
            if (key == kKeyA) input->TypeText(chance(50) ? "a" : "\xC3\xA4");
        }
        Frame(static_cast<uint32_t>(10 + random() % 30));
        Draw();
    }
    for (const char* event : {"click", "press", "hold", "show", "input", "timer", "redraw", "scroll", "uncheck"}) {
        engine->ScriptAddParam(CLuaValue(std::string(event), false));
        engine->ScriptCallFunction("count", -1);
        EXPECT_GT(engine->ScriptGetResults().at(0).GetNumber(), 0.0) << event << " never fired";
    }
    // The tree stayed whole: every element below the desktop stands once in
    // its parent's children.
    EXPECT_GT(gui->GetElementCount(), 20);
    for (int32_t id = 1; id < gui->GetElementCount(); ++id) {
        const CGUIElement* element = gui->GetElement(id);
        const std::vector<CGUIElement*>& siblings = element->GetParent()->GetChildren();
        EXPECT_EQ(std::count(siblings.begin(), siblings.end(), element), 1) << element->GetStrID();
    }
}

}  // namespace
