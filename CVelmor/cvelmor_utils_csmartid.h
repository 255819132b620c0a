// Program-wide resource identifiers. A CSmartID holds a text identifier
// ("TEX_BG") and the item ID its resource currently has in its manager, so
// game code never looks items up by name at run time. Loaders bind the ID
// when they create the item; freeing the item unbinds it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

enum V2DSmartIDType {
    SMARTID_DETECT = 0,
    SMARTID_TEXTURE = 1,
    SMARTID_TECHNIQUE = 2,
    SMARTID_FONT = 3,
    SMARTID_SOUND = 4,
};

class CSmartID {
public:
    // A ResType of 0 detects the kind from the first three characters. A
    // duplicate or unknown identifier raises its error, or, while no engine
    // exists (before main), keeps it for the entry point to report.
    explicit CSmartID(const char* fp_pszID, int32_t fp_iResType = SMARTID_DETECT);
    // Leaves the registry, which goes with the last identifier.
    ~CSmartID();
    CSmartID(const CSmartID&) = delete;
    CSmartID& operator=(const CSmartID&) = delete;

    void DetectResType();

    static void CreateIDsMap();
    static void DestroyIDsMap();
    // Sets the ID of the object named fp_pszID; nothing when there is none.
    static void BindByName(const char* fp_pszID, int32_t fp_iID);
    // Resets to -1 the first object in key order holding this ID and kind.
    static void UnbindByID(int32_t fp_iID, int32_t fp_iResType);
    // Resets every identifier to -1: the items they named end with their
    // engine, and a later engine's items must not be reached through them.
    static void UnbindAll();

    const std::string& GetStrID() const { return strID; }
    int32_t GetID() const { return ID; }
    int32_t GetResType() const { return ResType; }

private:
    std::string strID;
    int32_t ID;
    int32_t ResType;

    // Constant-initialised, so identifiers constructed before main() find it.
    static std::map<std::string, CSmartID*>* s_pIDsMap;
};
