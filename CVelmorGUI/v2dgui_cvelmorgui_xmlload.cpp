// GUI data: element trees, enumerations and styles from XML, and the
// conversion of a parameter's value text into a value of its type.
#include <cctype>
#include <locale>
#include <sstream>
#include <utility>
#include <vector>

#include "cvelmor.h"
#include "cvelmor_glue.h"
#include "cxmlparser.h"
#include "v2dgui_cvelmorgui_main.h"

namespace {

const char* const kFile = "v2dgui_cvelmorgui_xmlload";

[[noreturn]] void ThrowGame(const std::string& message, uint32_t line) {
    throw CEHSException(EHS_TYPE_GAME, 0, message, kFile, line);
}

CVelmorGUI& RequireGUI() {
    CVelmorGUI* gui = GetGUI();
    EHS_ASSERT(gui != nullptr, kFile);
    return *gui;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The words a stream does not read as numbers but other programs do.
bool NamesNaNOrInfinity(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    std::string word = text.substr(pos, 3);
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word == "nan" || word == "inf";
}

// As a stream reads a float: leading blanks skipped, the longest number
// that can be read, 0 when none can. False for the numbers the engine's
// script functions refuse too: NaN, infinities and numbers beyond the
// integers (the stream's overflow included).
bool ReadFloat(const std::string& text, float& value) {
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    // Read wide so that the limits themselves are judged before rounding.
    double number = 0.0;
    stream >> number;
    if (NamesNaNOrInfinity(text) || !GlueIsUsableNumber(number)) return false;
    value = static_cast<float>(number);
    return true;
}

// Fields separated by runs of blanks; missing fields read as 0. False when
// a field is not a number the engine takes.
bool ReadFields(const std::string& text, size_t count, std::vector<float>& fields) {
    fields.clear();
    size_t pos = 0;
    while (fields.size() < count) {
        while (pos < text.size() && IsBlank(text[pos])) ++pos;
        if (pos >= text.size()) break;
        size_t stop = pos;
        while (stop < text.size() && !IsBlank(text[stop])) ++stop;
        float field = 0.0f;
        if (!ReadFloat(text.substr(pos, stop - pos), field)) return false;
        fields.push_back(field);
        pos = stop;
    }
    fields.resize(count, 0.0f);
    return true;
}

// Like an empty value: the attribute is left out with a warning.
bool RefuseNumber(const std::string& name, const std::string& value) {
    CVelmor::LogEntry("Cannot process GUI element param: value is not a usable number! Param name = " + name +
                          " Value = " + value,
                      LOG_WARNING);
    return false;
}

template <typename T>
T* FindOrLoad(TItemsManager<T>& items, const std::string& id) {
    int32_t slot = items.FindByName(id);
    if (slot < 0) {
        GetEngine()->LoadResource(id.c_str());
        slot = items.FindByName(id);
    }
    return slot < 0 ? nullptr : items.GetItem(slot);
}

void ApplyStyle(const V2DGUISTYLE& style, int32_t elementID) {
    if (style.empty()) {
        CVelmor::LogEntry("Warning: an empty GUI style!", LOG_WARNING);
        return;
    }
    for (const auto& entry : style) RequireGUI().SetElementParam(elementID, entry.first, entry.second);
}

// One element: found or created, then its attributes in document order.
int32_t BuildElement(CXMLNode& node, int32_t parentID) {
    CVelmorGUI& gui = RequireGUI();
    const std::string& id = node.GetAttribute("id");
    int32_t elementID = gui.GetElementID(id);
    if (elementID == -1) elementID = gui.AddNewElement(node.GetName(), id, parentID);
    for (const std::string& name : node.GetAttributeOrder()) {
        const std::string& value = node.GetAttribute(name);
        if (name == "id") continue;
        if (name == "style") {
            V2DGUISTYLE* style = FindOrLoad(gui.GetStyles(), value);
            if (style == nullptr) ThrowGame("Cannot find GUISTYLE data! ID = " + value, __LINE__);
            ApplyStyle(*style, elementID);
            continue;
        }
        int32_t paramID = 0;
        CGUIValue converted;
        if (ProcessParam(name, value, paramID, converted)) gui.SetElementParam(elementID, paramID, converted);
    }
    return elementID;
}

CXMLNode* ParseRoot(CXMLDocument& document, const void* data, int size) {
    document.LoadFromBuffer(data, size > 0 ? static_cast<size_t>(size) : 0, GetEngine()->GetXMLEncryptMode());
    document.Parse();
    return document.GetRoot();
}

int ResLoadGUIData(const void* data, int size, const char*, int, int, int, int) {
    SetCheckpoint(313, __LINE__);
    CXMLDocument document;
    LoadGUIData(ParseRoot(document, data, size));
    return 0;
}

int ResLoadGUIEnum(const void* data, int size, const char* id, int, int, int, int) {
    SetCheckpoint(313, __LINE__);
    CXMLDocument document;
    LoadGUIEnum(ParseRoot(document, data, size), id);
    return 0;
}

int ResLoadGUIStyle(const void* data, int size, const char* id, int, int, int, int) {
    SetCheckpoint(313, __LINE__);
    CXMLDocument document;
    LoadGUIStyle(ParseRoot(document, data, size), id);
    return 0;
}

}  // namespace

void LoadGUIData(CXMLNode* fp_pRoot) {
    SetCheckpoint(313, __LINE__);
    if (fp_pRoot->GetName() != "desktop")
        ThrowGame("Cannot load GUI data from XML file: invalid root node name!", __LINE__);
    // Depth first in document order, without recursion: nesting in data is
    // unbounded.
    std::vector<std::pair<CXMLNode*, int32_t>> pending;
    for (int i = fp_pRoot->GetChildCount() - 1; i >= 0; --i) pending.emplace_back(fp_pRoot->GetChild(i), 0);
    while (!pending.empty()) {
        const auto [node, parentID] = pending.back();
        pending.pop_back();
        const int32_t elementID = BuildElement(*node, parentID);
        for (int i = node->GetChildCount() - 1; i >= 0; --i) pending.emplace_back(node->GetChild(i), elementID);
    }
}

void LoadGUIEnum(CXMLNode* fp_pRoot, const std::string& fp_strID) {
    SetCheckpoint(313, __LINE__);
    if (fp_pRoot->GetName() != "guienum")
        ThrowGame("Cannot load GUIENUM data from XML file: invalid root node name!", __LINE__);
    std::unique_ptr<CGUIEnum> guiEnum(new CGUIEnum);
    for (const std::string& name : fp_pRoot->GetAttributeOrder()) guiEnum->Add(name, fp_pRoot->GetAttribute(name));
    TItemsManager<CGUIEnum>& enums = RequireGUI().GetEnums();
    if (enums.FindByName(fp_strID) < 0) enums.Add(std::move(guiEnum), fp_strID, 0);
}

void LoadGUIStyle(CXMLNode* fp_pRoot, const std::string& fp_strID) {
    SetCheckpoint(313, __LINE__);
    if (fp_pRoot->GetName() != "guistyle")
        ThrowGame("Cannot load GUISTYLE data from XML file: invalid root node name!", __LINE__);
    std::unique_ptr<V2DGUISTYLE> style(new V2DGUISTYLE);
    for (const std::string& name : fp_pRoot->GetAttributeOrder()) {
        int32_t paramID = 0;
        CGUIValue value;
        if (ProcessParam(name, fp_pRoot->GetAttribute(name), paramID, value)) style->emplace_back(paramID, value);
    }
    TItemsManager<V2DGUISTYLE>& styles = RequireGUI().GetStyles();
    if (styles.FindByName(fp_strID) < 0) styles.Add(std::move(style), fp_strID, 0);
}

bool ProcessParam(const std::string& fp_strName, const std::string& fp_strValue, int32_t& fp_iParamID,
                  CGUIValue& fp_Value) {
    SetCheckpoint(313, __LINE__);
    CVelmorGUI& gui = RequireGUI();
    V2DGUIPARAMINFO info;
    if (!gui.FindParam(fp_strName, info))
        ThrowGame("Cannot process GUI element param: invalid param name! Param name = " + fp_strName, __LINE__);
    if (fp_strValue.empty()) {
        CVelmor::LogEntry("Cannot process GUI element param: value string is empty!", LOG_WARNING);
        return false;
    }
    fp_iParamID = info.iID;
    std::vector<float> fields;
    switch (info.iType) {
    case GUIVAL_FLOAT: {
        float number = 0.0f;
        if (!ReadFloat(fp_strValue, number)) return RefuseNumber(fp_strName, fp_strValue);
        fp_Value.SetFloat(number);
        break;
    }
    case GUIVAL_BOOLEAN:
        fp_Value.SetBoolean(fp_strValue == "1" || fp_strValue == "true");
        break;
    case GUIVAL_STRING:
        fp_Value.SetString(fp_strValue);
        break;
    case GUIVAL_FUNCTION:
        if (V2DGUIACTIONFUNC native = gui.FindActionFunction(fp_strValue))
            fp_Value.SetFunction(native);
        else
            fp_Value.SetString(fp_strValue);
        break;
    case GUIVAL_POINT:
        if (!ReadFields(fp_strValue, 2, fields)) return RefuseNumber(fp_strName, fp_strValue);
        fp_Value.SetPoint(GUIPOINT{fields[0], fields[1]});
        break;
    case GUIVAL_RECT:
        if (!ReadFields(fp_strValue, 4, fields)) return RefuseNumber(fp_strName, fp_strValue);
        fp_Value.SetRect(GUIRECT{fields[0], fields[1], fields[2], fields[3]});
        break;
    case GUIVAL_ENUM: {
        CGUIEnum* guiEnum = FindOrLoad(gui.GetEnums(), fp_strValue);
        if (guiEnum == nullptr) ThrowGame("Cannot find GUIENUM data! ID = " + fp_strValue, __LINE__);
        fp_Value.SetEnum(guiEnum);
        break;
    }
    default:
        ThrowGame("Cannot process GUI element param: invalid param type id!", __LINE__);
    }
    return true;
}

void RegisterGUIResourceLoaders(CVelmor& fp_Engine) {
    const std::pair<const char*, V2DLOADRESFUNC> loaders[] = {
        {"GUIDATA", ResLoadGUIData}, {"GUIENUMDATA", ResLoadGUIEnum}, {"GUISTYLEDATA", ResLoadGUIStyle}};
    for (const auto& loader : loaders) {
        // A later manager of the same run finds its own loaders in place.
        const auto registered = fp_Engine.m_res.loadFunctions.find(loader.first);
        if (registered != fp_Engine.m_res.loadFunctions.end() && registered->second == loader.second) continue;
        fp_Engine.RegisterLoadFunction(loader.second, loader.first);
    }
}
