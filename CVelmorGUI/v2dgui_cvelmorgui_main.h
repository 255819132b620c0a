// The GUI manager: owns every element, the registries that make the GUI
// data-driven (element classes, parameters, native actions), the
// enumerations and styles loaded from data, delayed commands and tool tips.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "titemsmanager.h"
#include "v2dgui_cguielement_main.h"
#include "v2dgui_datatypes.h"

class CVelmor;
class CXMLNode;

typedef CGUIElement* (*V2DGUIELEMENTFACTORY)(const std::string& fp_strID);

struct V2DGUIPARAMINFO {
    int32_t iID = 0;
    int32_t iType = 0;
};

// A style: parameter values in the order they were written.
typedef std::vector<std::pair<int32_t, CGUIValue>> V2DGUISTYLE;

class CVelmorGUI {
public:
    // Raises "EHS Assertion failed." when a manager exists already or no
    // engine does.
    CVelmorGUI();
    ~CVelmorGUI();
    CVelmorGUI(const CVelmorGUI&) = delete;
    CVelmorGUI& operator=(const CVelmorGUI&) = delete;

    void RegisterActionFunction(const std::string& fp_strName, V2DGUIACTIONFUNC fp_pFunction);
    void RegisterElementClass(const std::string& fp_strName, V2DGUIELEMENTFACTORY fp_pFactory);
    void RegisterElementParam(const std::string& fp_strID, int32_t fp_iID, int32_t fp_iType);

    int32_t AddNewElement(const std::string& fp_strClass, const std::string& fp_strID, int32_t fp_iParentID);
    int32_t AddNewElement(const std::string& fp_strClass, const std::string& fp_strID,
                          const std::string& fp_strParentID);
    int32_t GetElementID(const std::string& fp_strID) const;  // -1 when there is none
    CGUIElement* GetElement(int32_t fp_iID) const;            // null when there is none
    int32_t GetElementCount() const { return static_cast<int32_t>(m_elements.size()); }

    void SetElementParam(int32_t fp_iElement, int32_t fp_iParam, const CGUIValue& fp_Value);
    void SetElementParam(int32_t fp_iElement, const std::string& fp_strParam, const CGUIValue& fp_Value);
    void SetElementParam(const std::string& fp_strElement, int32_t fp_iParam, const CGUIValue& fp_Value);
    void SetElementParam(const std::string& fp_strElement, const std::string& fp_strParam, const CGUIValue& fp_Value);
    CGUIValue GetElementParam(int32_t fp_iElement, int32_t fp_iParam);
    CGUIValue GetElementParam(int32_t fp_iElement, const std::string& fp_strParam);
    CGUIValue GetElementParam(const std::string& fp_strElement, int32_t fp_iParam);
    CGUIValue GetElementParam(const std::string& fp_strElement, const std::string& fp_strParam);
    // A delay above 0 queues the command for the first update after it.
    void ExecuteElementCommand(int32_t fp_iElement, int32_t fp_iCommand, float fp_fDelay = 0.0f);
    void ExecuteElementCommand(const std::string& fp_strElement, int32_t fp_iCommand, float fp_fDelay = 0.0f);

    // IDs outside the element list are ignored.
    void SetCurTip(int32_t fp_iID);
    void SetCurTip(const std::string& fp_strID);
    int32_t GetCurTip() const { return m_iCurTip; }
    // Shown once it has counted down to 0.
    float GetTipTimer() const { return m_fTipTimer; }

    // Once per frame: delayed commands, the element tree, the tool tip.
    // Neither may be called from an action they fire.
    void Update();
    // The desktop, then the tool tip on top.
    void Draw();
    // The engine's last frame time, shared by every element this frame.
    float GetFrameTime() const { return m_fFrameTime; }

    // Registry lookups for the data loaders.
    bool FindParam(const std::string& fp_strName, V2DGUIPARAMINFO& fp_Info) const;
    V2DGUIACTIONFUNC FindActionFunction(const std::string& fp_strName) const;  // null when there is none
    TItemsManager<CGUIEnum>& GetEnums() { return m_Enums; }
    TItemsManager<V2DGUISTYLE>& GetStyles() { return m_Styles; }

    // The values an element hands to the native action it is firing, read
    // by that action while it runs (empty at any other time).
    size_t GetActionParamCount() const { return m_actionParams.size(); }
    const CGUIValue& GetActionParam(size_t fp_uIndex) const;

private:
    friend class CGUIActionParams;
    struct DelayedCommand {
        int32_t iElement;
        int32_t iCommand;
        float fDelay;
    };

    void RegisterStandardClasses();
    void RegisterStandardParams();
    void CreateDesktop();
    int32_t ResolveElement(const std::string& fp_strElement) const;
    int32_t ResolveParam(const std::string& fp_strParam, const char* fp_pszRefusal) const;
    CGUIElement& ElementOrThrow(int32_t fp_iElement, const char* fp_pszRefusal, const std::string& fp_strShown) const;
    void RunDelayedCommands();
    void UpdateTip();

    std::vector<std::unique_ptr<CGUIElement>> m_elements;
    std::map<std::string, V2DGUIACTIONFUNC> m_actions;
    std::map<std::string, V2DGUIELEMENTFACTORY> m_classes;
    std::map<std::string, V2DGUIPARAMINFO> m_params;
    std::map<int32_t, std::string> m_paramNames;
    TItemsManager<CGUIEnum> m_Enums;
    TItemsManager<V2DGUISTYLE> m_Styles;
    std::vector<DelayedCommand> m_delayed;
    int32_t m_iCurTip = -1;
    int32_t m_iPrevTip = -1;
    float m_fTipTimer = 1.0f;
    float m_fPrevTipTimer = 1.0f;
    float m_fTipDelay = 1.0f;
    float m_fFrameTime = 0.0f;
    std::vector<CGUIValue> m_actionParams;
    bool m_bWalking = false;  // inside Update or Draw
};

// The manager that exists, or null.
CVelmorGUI* GetGUI();

// Hands values to a native action for as long as it runs.
class CGUIActionParams {
public:
    CGUIActionParams(CVelmorGUI& fp_GUI, const std::vector<CGUIValue>& fp_Values)
        : m_GUI(fp_GUI), m_saved(std::move(fp_GUI.m_actionParams)) {
        m_GUI.m_actionParams = fp_Values;
    }
    ~CGUIActionParams() { m_GUI.m_actionParams = std::move(m_saved); }
    CGUIActionParams(const CGUIActionParams&) = delete;
    CGUIActionParams& operator=(const CGUIActionParams&) = delete;

private:
    CVelmorGUI& m_GUI;
    std::vector<CGUIValue> m_saved;
};

// Data loaders (the resource types GUIDATA, GUIENUMDATA, GUISTYLEDATA) and
// the value conversion they share.
void LoadGUIData(CXMLNode* fp_pRoot);
void LoadGUIEnum(CXMLNode* fp_pRoot, const std::string& fp_strID);
void LoadGUIStyle(CXMLNode* fp_pRoot, const std::string& fp_strID);
// False (after a warning) when the value text is empty.
bool ProcessParam(const std::string& fp_strName, const std::string& fp_strValue, int32_t& fp_iParamID,
                  CGUIValue& fp_Value);
void RegisterGUIResourceLoaders(CVelmor& fp_Engine);
// The six script functions.
void RegisterGUIScriptFunctions(CVelmor& fp_Engine);
// Frame functions for script-driven programs (the runner): V2DGUI_Update
// and V2DGUI_Draw.
void RegisterGUIRunnerScriptFunctions(CVelmor& fp_Engine);
