// Typed program-wide variables (board size, colours, ...) declared by game
// code with defaults and assigned by name from XMLDATA resources: every
// attribute of every child of <xmldata> sets the variable its name names.
#pragma once

#include <cstdint>
#include <map>
#include <string>

class CXMLVar {
public:
    // A duplicate ID raises its error, or, while no engine exists (before
    // main), keeps it for the entry point to report.
    explicit CXMLVar(const char* fp_pszID);
    // Leaves the registry, which goes with the last variable.
    virtual ~CXMLVar();
    CXMLVar(const CXMLVar&) = delete;
    CXMLVar& operator=(const CXMLVar&) = delete;

    virtual void SetValue(const std::string& fp_strText) = 0;

    static void CreateXMLVarsMap();
    static void DestroyXMLVarsMap();
    // Unknown IDs are logged as warnings.
    static void SetByName(const std::string& fp_strID, const std::string& fp_strText);

private:
    std::string m_strID;
    // Constant-initialised, so variables constructed before main() find it.
    static std::map<std::string, CXMLVar*>* s_pXMLVarsMap;
};

// Text that does not start with a number leaves the value as it was.
class CXMLVarInt : public CXMLVar {
public:
    CXMLVarInt(const char* fp_pszID, int32_t fp_iDefault) : CXMLVar(fp_pszID), m_iValue(fp_iDefault) {}
    void SetValue(const std::string& fp_strText) override;
    int32_t GetValue() const { return m_iValue; }

private:
    int32_t m_iValue;
};

class CXMLVarFloat : public CXMLVar {
public:
    CXMLVarFloat(const char* fp_pszID, float fp_fDefault) : CXMLVar(fp_pszID), m_fValue(fp_fDefault) {}
    void SetValue(const std::string& fp_strText) override;
    float GetValue() const { return m_fValue; }

private:
    float m_fValue;
};

// The load function for TypeID "XMLDATA", given the resource's bytes.
void RESLOAD_XMLData(const void* fp_pData, int fp_iSize);
