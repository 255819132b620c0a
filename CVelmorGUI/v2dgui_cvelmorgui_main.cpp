#include "v2dgui_cvelmorgui_main.h"

#include "cvelmor.h"
#include "v2dgui_stdclass_advtile.h"
#include "v2dgui_stdclass_animtile.h"
#include "v2dgui_stdclass_button.h"
#include "v2dgui_stdclass_checkbox.h"
#include "v2dgui_stdclass_desktop.h"
#include "v2dgui_stdclass_tile.h"
#include "v2dgui_stdclass_tip.h"
#include "v2dgui_stdclass_window.h"
#include "v2dgui_stdclass_label.h"
#include "v2dgui_stdclass_textbox.h"
#include "v2dgui_stdclass_scrollbar.h"
#include "v2dgui_stdclass_listbox.h"
#include "v2dgui_stdclass_scrollbox.h"
#include "v2dgui_stdclass_flex.h"
#include "v2dgui_stdclass_timer.h"

namespace {

const char* const kFile = "v2dgui_cvelmorgui_main";

CVelmorGUI* g_pGUI = nullptr;

const int kMaxTreeDepth = 256;

struct StandardParam {
    const char* pszName;
    int32_t iID;
    int32_t iType;
};

constexpr int32_t F = GUIVAL_FLOAT, B = GUIVAL_BOOLEAN, S = GUIVAL_STRING, A = GUIVAL_FUNCTION, P = GUIVAL_POINT,
                  R = GUIVAL_RECT, E = GUIVAL_ENUM;

// Every parameter a standard class understands; a name appears once even
// when several classes handle it.
const StandardParam kStandardParams[] = {
    {"zorder", 1, F}, {"coords", 2, R}, {"technique", 3, S}, {"texture", 4, S}, {"color", 5, R},
    {"visible", 6, B}, {"enabled", 7, B}, {"tip", 8, S}, {"drawscheme", 9, F}, {"drawparams", 10, R},
    {"texcoords", 11, R}, {"tipappeartime", 12, F}, {"on_gotfocus", 13, A}, {"on_lostfocus", 14, A},
    {"on_click", 15, A}, {"on_hotkey", 16, A}, {"hotkey", 17, S}, {"color_hidden", 18, R},
    {"color_middle", 19, R}, {"color_shown", 20, R}, {"location_hidden", 21, P}, {"location_middle", 22, P},
    {"location_shown", 23, P}, {"time_showhide", 24, F}, {"on_hide", 25, A}, {"on_show", 26, A},
    {"on_enable", 27, A}, {"on_disable", 28, A}, {"sound_hide", 29, S}, {"sound_show", 30, S},
    {"color_begin", 31, R}, {"color_end", 32, R}, {"location_begin", 33, P}, {"location_end", 34, P},
    {"location_center", 35, P}, {"scale_begin", 36, F}, {"scale_middle", 37, F}, {"scale_end", 38, F},
    {"angle_begin", 39, F}, {"angle_middle", 40, F}, {"angle_end", 41, F}, {"enum_frames", 42, E},
    {"time_animcycle", 43, F}, {"looped", 44, B}, {"noparentenabled", 45, B}, {"font", 46, S},
    {"font_color", 47, F}, {"font_alpha", 48, F}, {"font_setdefaulttechnique", 49, B}, {"font_scale", 50, F},
    {"font_shiftx", 51, F}, {"font_shifty", 52, F}, {"text", 53, S}, {"alignment", 54, F},
    {"limitviewport", 55, B}, {"activerect", 56, R}, {"on_input", 57, A}, {"blink_time", 58, F},
    {"blink_char", 59, S}, {"maxchars", 60, F}, {"language", 61, F}, {"sound_input", 62, S},
    {"texture_normal", 63, S}, {"texture_disabled", 64, S}, {"texture_selected", 65, S},
    {"texture_pressed", 66, S}, {"childscolor_normal", 67, R}, {"childscolor_disabled", 68, R},
    {"childscolor_selected", 69, R}, {"childscolor_pressed", 70, R}, {"on_press", 71, A}, {"on_hold", 72, A},
    {"sound_press", 73, S}, {"sound_click", 74, S}, {"sound_gotfocus", 75, S}, {"sound_lostfocus", 76, S},
    {"sound_hotkey", 77, S}, {"holdtime_start", 78, F}, {"holdtime_interval", 79, F}, {"checked", 80, B},
    {"radiobutton", 81, B}, {"texture_checked_normal", 82, S}, {"texture_checked_disabled", 83, S},
    {"texture_checked_selected", 84, S}, {"texture_checked_pressed", 85, S},
    {"childscolor_checked_normal", 86, R}, {"childscolor_checked_disabled", 87, R},
    {"childscolor_checked_selected", 88, R}, {"childscolor_checked_pressed", 89, R}, {"on_check", 90, A},
    {"on_uncheck", 91, A}, {"sound_check", 92, S}, {"sound_uncheck", 93, S}, {"minvalue", 94, F},
    {"maxvalue", 95, F}, {"curvalue", 96, F}, {"pagesize", 97, F}, {"scrollspeed", 98, F}, {"slider", 99, B},
    {"slidersize", 100, F}, {"on_scroll", 101, A}, {"cellheight", 102, F}, {"cellscount", 103, F},
    {"selectedcell", 104, F}, {"checkedcell", 105, F}, {"scrolly", 106, F}, {"on_selectcell", 107, A},
    {"on_checkcell", 108, A}, {"on_redrawcell", 109, A}, {"on_prepareframe", 110, A},
    {"sound_selectcell", 111, S}, {"sound_checkcell", 112, S}, {"scrollx", 113, F}, {"on_update", 114, A},
    {"on_redraw", 115, A}, {"factoraction_time", 116, F}, {"factoraction_looped", 117, B},
    {"randomaction_mintime", 118, F}, {"randomaction_maxtime", 119, F}, {"on_permanentaction", 120, A},
    {"on_factoraction", 121, A}, {"on_randomaction", 122, A}, {"tag", 123, F}, {"on_scrollshift", 124, A},
    {"scroll_enabled", 125, B},
};

struct StandardClass {
    const char* pszName;
    V2DGUIELEMENTFACTORY pfnFactory;
};

// In registration order.
const StandardClass kStandardClasses[] = {
    {"desktop", CGUIDesktop::Create},
    {"tile", CGUITile::Create},
    {"tip", CGUITip::Create},
    {"advtile", CGUIAdvTile::Create},
    {"window", CGUIWindow::Create},
    {"animtile", CGUIAnimTile::Create},
    {"label", CGUILabel::Create},
    {"textbox", CGUITextBox::Create},
    {"button", CGUIButton::Create},
    {"checkbox", CGUICheckbox::Create},
    {"verscroll", CGUIVerScroll::Create},
    {"horscroll", CGUIHorScroll::Create},
    {"listbox", CGUIListBox::Create},
    {"scrollbox", CGUIScrollBox::Create},
    {"flex", CGUIFlex::Create},
    {"timer", CGUITimer::Create},
};

[[noreturn]] void ThrowGame(const std::string& message, uint32_t line) {
    throw CEHSException(EHS_TYPE_GAME, 0, message, kFile, line);
}

// Update and Draw walk the element tree and fire actions inside the walk; an
// action that ran the GUI's frame again would walk the tree inside its own
// walk (and a click would fire its action again, without end).
class CTreeWalk {
public:
    explicit CTreeWalk(bool& fp_bWalking) : m_bWalking(fp_bWalking) {
        if (m_bWalking) ThrowGame("Cannot update or draw the GUI from inside its own update or draw!", __LINE__);
        m_bWalking = true;
    }
    ~CTreeWalk() { m_bWalking = false; }
    CTreeWalk(const CTreeWalk&) = delete;
    CTreeWalk& operator=(const CTreeWalk&) = delete;

private:
    bool& m_bWalking;
};

}  // namespace

CVelmorGUI* GetGUI() { return g_pGUI; }

CVelmorGUI::CVelmorGUI() {
    SetCheckpoint(304, __LINE__);
    CVelmor* engine = GetEngine();
    EHS_ASSERT(g_pGUI == nullptr && engine != nullptr, kFile);
    g_pGUI = this;
    CVelmor::LogSeparator(1);
    CVelmor::LogEntry("Initializing GUI Manager...", LOG_TITLE);
    try {
        RegisterGUIResourceLoaders(*engine);
        RegisterStandardClasses();
        RegisterStandardParams();
        CreateDesktop();
        m_fTipDelay = 1.0f;
        m_fTipTimer = m_fPrevTipTimer = m_fTipDelay;
        m_iCurTip = m_iPrevTip = -1;
        RegisterGUIScriptFunctions(*engine);
    } catch (...) {
        g_pGUI = nullptr;
        CVelmor::LogEntry("Failed.", LOG_RESULT);
        throw;
    }
    CVelmor::LogEntry("Done.", LOG_RESULT);
    CVelmor::LogSeparator(1);
    CVelmor::LogBlankLines(1);
}

CVelmorGUI::~CVelmorGUI() {
    SetCheckpoint(304, __LINE__);
    CVelmor::LogSeparator(1);
    CVelmor::LogEntry("Deinitializing GUI Manager...", LOG_TITLE);
    // In list order, as they were added; children are never deleted through
    // their parents.
    for (std::unique_ptr<CGUIElement>& element : m_elements) element.reset();
    m_elements.clear();
    m_delayed.clear();
    m_Styles.FreeAll();
    m_Enums.FreeAll();
    m_actions.clear();
    m_classes.clear();
    m_params.clear();
    m_paramNames.clear();
    if (g_pGUI == this) g_pGUI = nullptr;
    CVelmor::LogEntry("Done.", LOG_RESULT);
    CVelmor::LogSeparator(1);
    CVelmor::LogBlankLines(1);
}

void CVelmorGUI::RegisterStandardClasses() {
    for (const StandardClass& standard : kStandardClasses) RegisterElementClass(standard.pszName, standard.pfnFactory);
}

void CVelmorGUI::RegisterStandardParams() {
    for (const StandardParam& param : kStandardParams) RegisterElementParam(param.pszName, param.iID, param.iType);
}

void CVelmorGUI::CreateDesktop() {
    uint32_t width = 0, height = 0;
    GetEngine()->GetScreenSize(width, height);
    m_elements.emplace_back(m_classes.at("desktop")("DESKTOP"));
    CGUIElement& desktop = *m_elements.back();
    desktop.SetParam(GUIPARAM_COORDS,
                     CGUIValue(GUIRECT{0.0f, 0.0f, static_cast<float>(width), static_cast<float>(height)}));
    desktop.SetParam(GUIPARAM_COLOR, CGUIValue(GUIRECT{1.0f, 1.0f, 1.0f, 1.0f}));
    desktop.SetParam(GUIPARAM_VISIBLE, CGUIValue(true));
    desktop.SetParam(GUIPARAM_ENABLED, CGUIValue(true));
}

void CVelmorGUI::RegisterActionFunction(const std::string& fp_strName, V2DGUIACTIONFUNC fp_pFunction) {
    SetCheckpoint(304, __LINE__);
    if (!m_actions.emplace(fp_strName, fp_pFunction).second)
        ThrowGame("Dublicated C++ Action function! ID = " + fp_strName, __LINE__);
}

void CVelmorGUI::RegisterElementClass(const std::string& fp_strName, V2DGUIELEMENTFACTORY fp_pFactory) {
    SetCheckpoint(304, __LINE__);
    if (!m_classes.emplace(fp_strName, fp_pFactory).second)
        ThrowGame("Dublicated GUI Element class !ID = " + fp_strName, __LINE__);
}

void CVelmorGUI::RegisterElementParam(const std::string& fp_strID, int32_t fp_iID, int32_t fp_iType) {
    SetCheckpoint(304, __LINE__);
    const std::string shown = fp_strID + " iID = " + std::to_string(fp_iID);
    if (m_params.count(fp_strID)) ThrowGame("Dublicated GUI Element parameter(strID)! strID = " + shown, __LINE__);
    if (m_paramNames.count(fp_iID)) ThrowGame("Dublicated GUI Element parameter(iID)! strID = " + shown, __LINE__);
    m_params[fp_strID] = V2DGUIPARAMINFO{fp_iID, fp_iType};
    m_paramNames[fp_iID] = fp_strID;
}

int32_t CVelmorGUI::AddNewElement(const std::string& fp_strClass, const std::string& fp_strID, int32_t fp_iParentID) {
    SetCheckpoint(304, __LINE__);
    CGUIElement* parent = GetElement(fp_iParentID);
    if (parent == nullptr) {
        ThrowGame("Cannot add GUI element: invalid parent ID! Parent ID = " + std::to_string(fp_iParentID) +
                      " Element ID = " + fp_strID,
                  __LINE__);
    }
    const auto factory = m_classes.find(fp_strClass);
    if (factory == m_classes.end()) {
        ThrowGame("Cannot add GUI element: invalid class! Class ID = " + fp_strClass + " Element ID = " + fp_strID,
                  __LINE__);
    }
    if (GetElementID(fp_strID) != -1)
        ThrowGame("Cannot add GUI element: dublicated element ID! Element ID = " + fp_strID, __LINE__);
    if (fp_strID.empty()) ThrowGame("Cannot add GUI element: element ID is null string!", __LINE__);
    // Updating and drawing walk the tree recursively: its depth is bounded.
    int depth = 0;
    for (const CGUIElement* above = parent; above != nullptr; above = above->GetParent()) ++depth;
    if (depth >= kMaxTreeDepth)
        ThrowGame("Cannot add GUI element: elements nested too deeply! Element ID = " + fp_strID, __LINE__);
    m_elements.emplace_back(factory->second(fp_strID));
    m_elements.back()->SetParent(parent);
    return static_cast<int32_t>(m_elements.size()) - 1;
}

int32_t CVelmorGUI::AddNewElement(const std::string& fp_strClass, const std::string& fp_strID,
                                  const std::string& fp_strParentID) {
    return AddNewElement(fp_strClass, fp_strID, GetElementID(fp_strParentID));
}

int32_t CVelmorGUI::GetElementID(const std::string& fp_strID) const {
    SetCheckpoint(304, __LINE__);
    for (size_t i = 0; i < m_elements.size(); ++i)
        if (m_elements[i]->GetStrID() == fp_strID) return static_cast<int32_t>(i);
    return -1;
}

CGUIElement* CVelmorGUI::GetElement(int32_t fp_iID) const {
    if (fp_iID < 0 || fp_iID >= GetElementCount()) return nullptr;
    return m_elements[static_cast<size_t>(fp_iID)].get();
}

CGUIElement& CVelmorGUI::ElementOrThrow(int32_t fp_iElement, const char* fp_pszRefusal,
                                        const std::string& fp_strShown) const {
    CGUIElement* element = GetElement(fp_iElement);
    if (element == nullptr) ThrowGame(fp_pszRefusal + fp_strShown, __LINE__);
    return *element;
}

int32_t CVelmorGUI::ResolveParam(const std::string& fp_strParam, const char* fp_pszRefusal) const {
    const auto found = m_params.find(fp_strParam);
    if (found == m_params.end()) ThrowGame(fp_pszRefusal + fp_strParam, __LINE__);
    return found->second.iID;
}

namespace {
const char* const kSetRefusal = "Cannot set element param: invalid element ID! Element ID = ";
const char* const kGetRefusal = "Cannot get element param: invalid element ID! Element ID = ";
const char* const kCommandRefusal = "Cannot pass command to element: invalid element ID! Element ID = ";
const char* const kSetParamRefusal = "Cannot set element param: invalid param ID! Param ID = ";
const char* const kGetParamRefusal = "Cannot get element param: invalid param ID! Param ID = ";
}  // namespace

void CVelmorGUI::SetElementParam(int32_t fp_iElement, int32_t fp_iParam, const CGUIValue& fp_Value) {
    SetCheckpoint(304, __LINE__);
    ElementOrThrow(fp_iElement, kSetRefusal, std::to_string(fp_iElement)).SetParam(fp_iParam, fp_Value);
}

void CVelmorGUI::SetElementParam(int32_t fp_iElement, const std::string& fp_strParam, const CGUIValue& fp_Value) {
    SetCheckpoint(304, __LINE__);
    CGUIElement& element = ElementOrThrow(fp_iElement, kSetRefusal, std::to_string(fp_iElement));
    element.SetParam(ResolveParam(fp_strParam, kSetParamRefusal), fp_Value);
}

void CVelmorGUI::SetElementParam(const std::string& fp_strElement, int32_t fp_iParam, const CGUIValue& fp_Value) {
    SetCheckpoint(304, __LINE__);
    ElementOrThrow(GetElementID(fp_strElement), kSetRefusal, fp_strElement).SetParam(fp_iParam, fp_Value);
}

void CVelmorGUI::SetElementParam(const std::string& fp_strElement, const std::string& fp_strParam,
                                 const CGUIValue& fp_Value) {
    SetCheckpoint(304, __LINE__);
    CGUIElement& element = ElementOrThrow(GetElementID(fp_strElement), kSetRefusal, fp_strElement);
    element.SetParam(ResolveParam(fp_strParam, kSetParamRefusal), fp_Value);
}

CGUIValue CVelmorGUI::GetElementParam(int32_t fp_iElement, int32_t fp_iParam) {
    SetCheckpoint(304, __LINE__);
    return ElementOrThrow(fp_iElement, kGetRefusal, std::to_string(fp_iElement)).GetParam(fp_iParam);
}

CGUIValue CVelmorGUI::GetElementParam(int32_t fp_iElement, const std::string& fp_strParam) {
    SetCheckpoint(304, __LINE__);
    CGUIElement& element = ElementOrThrow(fp_iElement, kGetRefusal, std::to_string(fp_iElement));
    return element.GetParam(ResolveParam(fp_strParam, kGetParamRefusal));
}

CGUIValue CVelmorGUI::GetElementParam(const std::string& fp_strElement, int32_t fp_iParam) {
    SetCheckpoint(304, __LINE__);
    return ElementOrThrow(GetElementID(fp_strElement), kGetRefusal, fp_strElement).GetParam(fp_iParam);
}

CGUIValue CVelmorGUI::GetElementParam(const std::string& fp_strElement, const std::string& fp_strParam) {
    SetCheckpoint(304, __LINE__);
    CGUIElement& element = ElementOrThrow(GetElementID(fp_strElement), kGetRefusal, fp_strElement);
    return element.GetParam(ResolveParam(fp_strParam, kGetParamRefusal));
}

void CVelmorGUI::ExecuteElementCommand(int32_t fp_iElement, int32_t fp_iCommand, float fp_fDelay) {
    SetCheckpoint(304, __LINE__);
    CGUIElement& element = ElementOrThrow(fp_iElement, kCommandRefusal, std::to_string(fp_iElement));
    if (fp_fDelay > 0.0f)
        m_delayed.push_back({fp_iElement, fp_iCommand, fp_fDelay});
    else
        element.ExecuteCommand(fp_iCommand);
}

void CVelmorGUI::ExecuteElementCommand(const std::string& fp_strElement, int32_t fp_iCommand, float fp_fDelay) {
    SetCheckpoint(304, __LINE__);
    const int32_t id = GetElementID(fp_strElement);
    ElementOrThrow(id, kCommandRefusal, fp_strElement);
    ExecuteElementCommand(id, fp_iCommand, fp_fDelay);
}

void CVelmorGUI::SetCurTip(int32_t fp_iID) {
    if (fp_iID >= 0 && fp_iID < GetElementCount()) m_iCurTip = fp_iID;
}

void CVelmorGUI::SetCurTip(const std::string& fp_strID) { SetCurTip(GetElementID(fp_strID)); }

bool CVelmorGUI::FindParam(const std::string& fp_strName, V2DGUIPARAMINFO& fp_Info) const {
    const auto found = m_params.find(fp_strName);
    if (found == m_params.end()) return false;
    fp_Info = found->second;
    return true;
}

V2DGUIACTIONFUNC CVelmorGUI::FindActionFunction(const std::string& fp_strName) const {
    const auto found = m_actions.find(fp_strName);
    return found == m_actions.end() ? nullptr : found->second;
}

const CGUIValue& CVelmorGUI::GetActionParam(size_t fp_uIndex) const {
    if (fp_uIndex >= m_actionParams.size()) {
        ThrowGame("Cannot get GUI action parameter: invalid index! Index = " + std::to_string(fp_uIndex), __LINE__);
    }
    return m_actionParams[fp_uIndex];
}

void CVelmorGUI::Update() {
    SetCheckpoint(304, __LINE__);
    const CTreeWalk walk(m_bWalking);
    m_fFrameTime = GetEngine()->TimerGetDelta();
    m_iCurTip = -1;
    RunDelayedCommands();
    const GUICOLOR white;
    m_elements[0]->Update(GUIRECT(), white, true, true, 0.0f, 0.0f);
    UpdateTip();
    m_iPrevTip = m_iCurTip;
    m_fPrevTipTimer = m_fTipTimer;
}

// A command may queue further commands: those wait for the next update.
void CVelmorGUI::RunDelayedCommands() {
    const size_t pending = m_delayed.size();
    std::vector<DelayedCommand> due;
    std::vector<DelayedCommand> waiting;
    for (size_t i = 0; i < pending; ++i) {
        DelayedCommand command = m_delayed[i];
        command.fDelay -= m_fFrameTime;
        (command.fDelay <= 0.0f ? due : waiting).push_back(command);
    }
    waiting.insert(waiting.end(), m_delayed.begin() + static_cast<std::ptrdiff_t>(pending), m_delayed.end());
    m_delayed = std::move(waiting);
    for (const DelayedCommand& command : due) m_elements[static_cast<size_t>(command.iElement)]->ExecuteCommand(command.iCommand);
}

void CVelmorGUI::UpdateTip() {
    if (m_iCurTip != m_iPrevTip) m_fTipTimer = m_fTipDelay;
    if (m_iCurTip == -1) {
        m_fTipTimer = m_fTipDelay;
        return;
    }
    CVelmor& engine = *GetEngine();
    if (engine.MouseGetDeltaX() != 0 || engine.MouseGetDeltaY() != 0) m_fTipTimer = m_fTipDelay;
    if (engine.MouseIsKeyPressed(2)) m_fTipTimer = 0.0f;
    m_fTipTimer -= m_fFrameTime;
    if (m_fTipTimer < 0.0f) m_fTipTimer = 0.0f;
    if (m_fTipTimer == 0.0f) {
        const bool changedFromAnother = m_iPrevTip != -1 && m_iPrevTip != m_iCurTip;
        CGUIElement& tip = *m_elements[static_cast<size_t>(m_iCurTip)];
        if (m_fPrevTipTimer > 0.0f || changedFromAnother) tip.ExecuteCommand(GUICMD_SHOW);
        tip.Update(GUIRECT(), GUICOLOR(), true, true, 0.0f, 0.0f);
    }
}

void CVelmorGUI::Draw() {
    SetCheckpoint(304, __LINE__);
    const CTreeWalk walk(m_bWalking);
    m_elements[0]->Draw();
    if (m_iCurTip != -1 && m_fTipTimer == 0.0f) m_elements[static_cast<size_t>(m_iCurTip)]->Draw();
}
