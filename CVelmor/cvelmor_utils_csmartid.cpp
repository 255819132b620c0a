// Resource identifiers: the program-wide registry, kind detection, binding.
#include "cvelmor_utils_csmartid.h"

#include <new>

#include "cvelmor.h"
#include "cvelmor_ehs.h"

std::map<std::string, CSmartID*>* CSmartID::s_pIDsMap = nullptr;

namespace {

struct V2DSMARTIDPREFIX {
    const char* pszPrefix;
    int32_t iResType;
};

const V2DSMARTIDPREFIX kPrefixes[] = {
    {"TEX", SMARTID_TEXTURE},
    {"TEQ", SMARTID_TECHNIQUE},
    {"FNT", SMARTID_FONT},
    {"SND", SMARTID_SOUND},
};

}  // namespace

CSmartID::CSmartID(const char* fp_pszID, int32_t fp_iResType) : strID(fp_pszID), ID(-1), ResType(fp_iResType) {
    SetCheckpoint(155, 29);
    try {
        if (ResType == SMARTID_DETECT) DetectResType();
        if (!s_pIDsMap) CreateIDsMap();
        if (s_pIDsMap->count(strID)) {
            throw CEHSException(EHS_TYPE_GAME, 0,
                                "Error in CSmartID::CSmartID(const char* fp_pszID, int fp_iResType). An object with "
                                "same strID already exists! strID = " + strID,
                                "cvelmor_utils_csmartid", __LINE__);
        }
    } catch (const CEHSException& fault) {
        // Before the engine exists (a program-wide object built before main)
        // the fault waits for the entry point; this object stays out of the
        // registry.
        if (GetEngine()) throw;
        KeepEarlyFault(fault);
        return;
    }
    (*s_pIDsMap)[strID] = this;
}

CSmartID::~CSmartID() {
    if (!s_pIDsMap) return;
    const auto it = s_pIDsMap->find(strID);
    if (it != s_pIDsMap->end() && it->second == this) s_pIDsMap->erase(it);
    if (s_pIDsMap->empty()) DestroyIDsMap();
}

void CSmartID::DetectResType() {
    SetCheckpoint(155, 46);
    if (strID.size() < 4) {
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Error in CSmartID::DetectResType : strID length is too small (<4)!",
                            "cvelmor_utils_csmartid", __LINE__);
    }
    for (const V2DSMARTIDPREFIX& prefix : kPrefixes) {
        if (strID.compare(0, 3, prefix.pszPrefix) == 0) {
            ResType = prefix.iResType;
            return;
        }
    }
    throw CEHSException(EHS_TYPE_GAME, 0, "Error in CSmartID::DetectResType : cannot detect res type! strID = " + strID,
                        "cvelmor_utils_csmartid", __LINE__);
}

void CSmartID::CreateIDsMap() {
    SetCheckpoint(155, 63);
    if (s_pIDsMap) return;
    s_pIDsMap = new (std::nothrow) std::map<std::string, CSmartID*>;
    if (!s_pIDsMap) {
        throw CEHSException(EHS_TYPE_GENERAL, 0, "Error in CSmartID::CreateIDsMap(). Cannot create IDs map!",
                            "cvelmor_utils_csmartid", __LINE__);
    }
}

void CSmartID::DestroyIDsMap() {
    delete s_pIDsMap;
    s_pIDsMap = nullptr;
}

void CSmartID::BindByName(const char* fp_pszID, int32_t fp_iID) {
    SetCheckpoint(155, 79);
    if (!s_pIDsMap) return;
    const auto it = s_pIDsMap->find(fp_pszID);
    if (it != s_pIDsMap->end()) it->second->ID = fp_iID;
}

void CSmartID::UnbindByID(int32_t fp_iID, int32_t fp_iResType) {
    SetCheckpoint(155, 87);
    if (!s_pIDsMap) return;
    for (auto& entry : *s_pIDsMap) {
        CSmartID* object = entry.second;
        if (object->ID == fp_iID && object->ResType == fp_iResType) {
            object->ID = -1;
            return;
        }
    }
}

void CSmartID::UnbindAll() {
    if (!s_pIDsMap) return;
    for (auto& entry : *s_pIDsMap) entry.second->ID = -1;
}
