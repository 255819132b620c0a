// Resources: every piece of game data is a record declared either by XML
// resource pack descriptors (XML mode: loose files in ./DATA/) or by binary
// packs (PAK mode: ./DATA/*.pak). Records are loaded by text ID or by tag:
// loading hands the record's bytes (LoadRes functions) or its place in its
// file (LoadResEx functions, for types that stream from the file) to the load
// function registered for its TypeID, which creates the real item.
//
// For the subsystems that own item kinds:
// - A standard type's adapter (it fetches the engine and calls the owner's
//   loader with the arguments of its row) lives in cvelmor_res_main.cpp and
//   is entered in the standard table there, which ResourcesInit registers.
//   Other types register themselves with RegisterLoadFunction(Ex) after
//   ResourcesInit; a TypeID may be registered once per registry.
// - Each kind served by the demand operations gives its name lookup with
//   ResSetDemandLookup while its manager exists (and clears it with null).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "titemsmanager.h"

class CVelmor;

// Results of load functions are ignored.
typedef int (*V2DLOADRESFUNC)(const void* fp_pData, int fp_iSize, const char* fp_pszID, int fp_iTag,
                              int fp_iData1, int fp_iData2, int fp_iData3);
typedef int (*V2DLOADRESEXFUNC)(const char* fp_pszFileName, int fp_iOffset, int fp_iSize, const char* fp_pszID,
                                int fp_iTag, int fp_iData1, int fp_iData2, int fp_iData3);

enum V2DResMode {
    RESMODE_NONE = 0,
    RESMODE_XML = 1,
    RESMODE_PAK = 2,
};

// One declared resource. Its bytes are held only between DataLoad and
// DataUnLoad (one LoadRes call).
class CV2DResource {
public:
    // Raises the record-construction errors (empty ID, TypeID or file name,
    // size below 1).
    CV2DResource(const char* fp_pszID, const char* fp_pszTypeID, int32_t fp_iTag, const char* fp_pszFileName,
                 uint32_t fp_dwOffset, uint32_t fp_dwSize, int32_t fp_iData1, int32_t fp_iData2, int32_t fp_iData3);
    ~CV2DResource();
    CV2DResource(const CV2DResource&) = delete;
    CV2DResource& operator=(const CV2DResource&) = delete;

    // Reads Size bytes from Offset of FileName. Bytes the file no longer
    // holds (it shrank or vanished since the scan) read as zeros and are
    // reported as a warning; the buffer is never handed over unfilled.
    void DataLoad();
    void DataUnLoad();

    const void* GetData() const { return Loaded ? Data.get() : nullptr; }
    bool IsLoaded() const { return Loaded; }
    const std::string& GetID() const { return ID; }
    const std::string& GetTypeID() const { return TypeID; }
    int32_t GetTag() const { return Tag; }
    const std::string& GetFileName() const { return FileName; }
    int32_t GetData1() const { return Data1; }
    int32_t GetData2() const { return Data2; }
    int32_t GetData3() const { return Data3; }
    uint32_t GetOffset() const { return Offset; }
    uint32_t GetSize() const { return Size; }

private:
    std::string ID;
    std::string TypeID;
    int32_t Tag;
    std::string FileName;
    int32_t Data1;
    int32_t Data2;
    int32_t Data3;
    uint32_t Offset;
    uint32_t Size;
    bool Loaded = false;
    std::unique_ptr<unsigned char[]> Data;
};

// Item kinds served by the demand operations.
enum V2DDemandKind {
    DEMAND_TEXTURE = 0,
    DEMAND_TECHNIQUE = 1,
    DEMAND_FONT = 2,
    DEMAND_SOUND = 3,
    DEMAND_MUSIC = 4,
    DEMAND_PLAYLIST = 5,
    DEMAND_KIND_COUNT = 6,
};

// Finds an item by name in its kind's manager: its ID, or -1.
typedef int32_t (*V2DITEMLOOKUP)(CVelmor& engine, const char* fp_pszID);

struct V2DRESSTATE {
    uint8_t bInitialized = 0;
    int32_t iMode = RESMODE_NONE;
    // Whether XML resource data read from memory is scrambled; switched on
    // by PAK mode and by the script function V2D_SYS_SetXMLEncryptMode.
    uint8_t bXMLEncryptMode = 0;
    std::unique_ptr<TItemsManager<CV2DResource>> pResources;
    std::map<std::string, V2DLOADRESFUNC> loadFunctions;
    std::map<std::string, V2DLOADRESEXFUNC> loadFunctionsEx;
    V2DITEMLOOKUP demandLookups[DEMAND_KIND_COUNT] = {};
};

// Demand operations: the item's ID in its kind's manager, loading the
// resource of that ID first when the item does not exist yet. The technique
// is looked for again after loading the technique pack that defines it.
int32_t DemandTexture(const char* fp_pszID);
int32_t DemandTechnique(const char* fp_pszID, const char* fp_pszTechPackID);
int32_t DemandFont(const char* fp_pszID);
int32_t DemandSound(const char* fp_pszID);
int32_t DemandMusic(const char* fp_pszID);
int32_t DemandPlaylist(const char* fp_pszID);

// ---- Binary packs ------------------------------------------------------------
// Little-endian, no header magic: a 4-byte entry count, then per entry the ID
// and TypeID as zero-terminated strings and six 4-byte fields (Offset, Size,
// Tag, Data1, Data2, Data3); resource bytes anywhere at their offsets.

struct V2DPAKENTRY {
    std::string strID;
    std::string strTypeID;
    uint32_t dwOffset = 0;
    uint32_t dwSize = 0;
    int32_t iTag = 0;
    int32_t iData1 = 0;
    int32_t iData2 = 0;
    int32_t iData3 = 0;
};

struct V2DPAKDIRECTORY {
    uint32_t dwDeclaredCount = 0;  // the count the pack states
    uint32_t dwEntriesRead = 0;    // complete entries actually read
    bool bCutShort = false;        // the file ended before its count or an entry did
};

// Reads a pack's directory from the start of `file`, calling onEntry for each
// complete entry. Never reads past the file and never sizes anything by the
// declared count, so a damaged or hostile pack only ends the reading early.
V2DPAKDIRECTORY ReadPakDirectory(FILE* file, const std::function<void(const V2DPAKENTRY&)>& onEntry);

// Whether an entry's bytes lie wholly inside a file of that size.
bool PakEntryInsideFile(const V2DPAKENTRY& entry, uint64_t fileSize);

// The size of an open file, leaving its position at the start.
uint64_t ResFileSize(FILE* file);

// The path of a file a descriptor declares, as the engine opens it: under
// ./DATA/, backslashes read as separators, and each part of the name that
// does not exist as written matched without regard to case.
std::string ResDataFilePath(const std::string& declaredName);

// A decimal number as descriptors write it: empty text gives 0, values
// beyond the 32-bit range are clamped.
int32_t ResParseDecimal(const std::string& text);
