// Demand operations: an item's ID in its kind's manager, loading its
// resource first when the item does not exist yet.
#include "cvelmor.h"

namespace {

const char* const kFile = "cvelmor_utils_demand";

// -1 while the kind's subsystem has not given its lookup (its manager does
// not exist, so neither does the item).
int32_t FindItem(CVelmor& engine, V2DDemandKind kind, const char* fp_pszID) {
    const V2DITEMLOOKUP lookup = engine.ResGetDemandLookup(kind);
    return lookup ? lookup(engine, fp_pszID) : -1;
}

int32_t Demand(V2DDemandKind kind, const char* fp_pszID, const char* fp_pszResourceID, const std::string& failure) {
    SetCheckpoint(123, 19);
    CVelmor* engine = GetEngine();
    EHS_ASSERT(engine != nullptr, kFile);
    int32_t id = FindItem(*engine, kind, fp_pszID);
    if (id != -1) return id;  // found, or -2 from a kind that runs without its device
    engine->LoadResource(fp_pszResourceID);
    id = FindItem(*engine, kind, fp_pszID);
    if (id >= 0) return id;
    throw CEHSException(EHS_TYPE_GAME, 0, failure, kFile, __LINE__);
}

int32_t DemandByOwnID(V2DDemandKind kind, const char* fp_pszID, const char* failurePrefix) {
    return Demand(kind, fp_pszID, fp_pszID, failurePrefix + std::string(fp_pszID));
}

}  // namespace

int32_t DemandTexture(const char* fp_pszID) {
    return DemandByOwnID(DEMAND_TEXTURE, fp_pszID, "Invalid texture demand. ID = ");
}

// A technique pack defines many techniques at once, so a missing technique
// is looked for again after loading its pack.
int32_t DemandTechnique(const char* fp_pszID, const char* fp_pszTechPackID) {
    return Demand(DEMAND_TECHNIQUE, fp_pszID, fp_pszTechPackID,
                  std::string("Invalid technique demand. ID = ") + fp_pszID + "  TechPackID = " + fp_pszTechPackID);
}

int32_t DemandFont(const char* fp_pszID) { return DemandByOwnID(DEMAND_FONT, fp_pszID, "Invalid font demand. ID = "); }

int32_t DemandSound(const char* fp_pszID) {
    return DemandByOwnID(DEMAND_SOUND, fp_pszID, "Invalid sound demand. ID = ");
}

int32_t DemandMusic(const char* fp_pszID) {
    return DemandByOwnID(DEMAND_MUSIC, fp_pszID, "Invalid music demand. ID = ");
}

int32_t DemandPlaylist(const char* fp_pszID) {
    return DemandByOwnID(DEMAND_PLAYLIST, fp_pszID, "Invalid playlist demand. ID = ");
}
