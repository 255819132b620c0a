// XML variables: the registry, conversions, and the XMLDATA loader.
#include "cvelmor_utils_cxmlvar.h"

#include <new>
#include <sstream>

#include "cvelmor.h"
#include "cxmlparser.h"

std::map<std::string, CXMLVar*>* CXMLVar::s_pXMLVarsMap = nullptr;

CXMLVar::CXMLVar(const char* fp_pszID) : m_strID(fp_pszID) {
    SetCheckpoint(157, 12);
    try {
        if (!s_pXMLVarsMap) CreateXMLVarsMap();
        if (s_pXMLVarsMap->count(m_strID)) {
            throw CEHSException(EHS_TYPE_GAME, 0,
                                "Error in CXMLVar::CXMLVar(const char* fp_pszID). An object with same ID already "
                                "exists! ID = " + m_strID,
                                "cvelmor_utils_cxmlvar", __LINE__);
        }
    } catch (const CEHSException& fault) {
        // Before the engine exists (a program-wide variable built before
        // main) the fault waits for the entry point; this variable stays out
        // of the registry.
        if (GetEngine()) throw;
        KeepEarlyFault(fault);
        return;
    }
    (*s_pXMLVarsMap)[m_strID] = this;
}

CXMLVar::~CXMLVar() {
    if (!s_pXMLVarsMap) return;
    const auto it = s_pXMLVarsMap->find(m_strID);
    if (it != s_pXMLVarsMap->end() && it->second == this) s_pXMLVarsMap->erase(it);
    if (s_pXMLVarsMap->empty()) DestroyXMLVarsMap();
}

void CXMLVar::CreateXMLVarsMap() {
    SetCheckpoint(157, 28);
    if (s_pXMLVarsMap) return;
    s_pXMLVarsMap = new (std::nothrow) std::map<std::string, CXMLVar*>;
    if (!s_pXMLVarsMap) {
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Error in CXMLVar::CreateXMLVarsMap(). Cannot create IDs map!",
                            "cvelmor_utils_cxmlvar", __LINE__);
    }
}

void CXMLVar::DestroyXMLVarsMap() {
    delete s_pXMLVarsMap;
    s_pXMLVarsMap = nullptr;
}

void CXMLVar::SetByName(const std::string& fp_strID, const std::string& fp_strText) {
    SetCheckpoint(157, 44);
    if (!s_pXMLVarsMap) return;
    const auto it = s_pXMLVarsMap->find(fp_strID);
    if (it == s_pXMLVarsMap->end()) {
        CVelmor::LogEntry("Warning: unused xml variable: " + fp_strID, LOG_WARNING);
        return;
    }
    it->second->SetValue(fp_strText);
}

namespace {

// Stream extraction from the start of the text: leading whitespace skipped,
// reading stops at the first character that cannot continue the number.
template <typename T>
void ExtractNumber(const std::string& text, T& value) {
    std::istringstream in(text);
    T number{};
    if (in >> number) value = number;
}

}  // namespace

void CXMLVarInt::SetValue(const std::string& fp_strText) { ExtractNumber(fp_strText, m_iValue); }

void CXMLVarFloat::SetValue(const std::string& fp_strText) { ExtractNumber(fp_strText, m_fValue); }

void RESLOAD_XMLData(const void* fp_pData, int fp_iSize) {
    SetCheckpoint(157, 74);
    const CVelmor* engine = GetEngine();
    CXMLDocument document;
    document.LoadFromBuffer(fp_pData, fp_iSize > 0 ? static_cast<size_t>(fp_iSize) : 0,
                            engine && engine->GetXMLEncryptMode());
    document.Parse();
    CXMLNode* root = document.GetRoot();
    if (root->GetName() != "xmldata") {
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Error in loading XMLData: invalid root node name!",
                            "cvelmor_utils_cxmlvar", __LINE__);
    }
    if (root->GetChildCount() == 0) {
        CVelmor::LogEntry("Warning: empty xmldata file!", LOG_WARNING);
        return;
    }
    for (int i = 0; i < root->GetChildCount(); ++i) {
        CXMLNode* child = root->GetChild(i);
        for (child->FirstAttribute(); const char* name = child->GetAttributeName(); child->NextAttribute())
            CXMLVar::SetByName(name, child->GetAttribute(name));
    }
}
