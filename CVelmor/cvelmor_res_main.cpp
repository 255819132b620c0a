// The resource subsystem: mode detection, the scan of descriptors and packs,
// the load-function registries, and loading by ID and by tag.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>

#include "cvelmor.h"
#include "cvelmor_utils_cxmlvar.h"
#include "cxmlparser.h"

namespace {

const char* const kDataDir = "./DATA/";
const char* const kFile = "cvelmor_res_main";

[[noreturn]] void ThrowRes(uint32_t type, const std::string& message, unsigned line) {
    throw CEHSException(type, 0, message, kFile, line);
}

// ---- Standard load functions --------------------------------------------------

// Data1 is the texture format index, Data2 the mip levels, Data3 the edge.
int ResLoadTexture(const void* fp_pData, int fp_iSize, const char* fp_pszID, int fp_iTag, int fp_iData1,
                   int fp_iData2, int fp_iData3) {
    GetEngine()->LoadTextureFromMemory(fp_pData, fp_iSize, fp_iData1, fp_pszID, fp_iData2, fp_iTag, fp_iData3);
    return 0;
}

int ResLoadTechnique(const void* fp_pData, int fp_iSize, const char*, int, int, int, int) {
    GetEngine()->LoadTechniquesPack(fp_pData, fp_iSize);
    return 0;
}

int ResLoadFont(const void* fp_pData, int fp_iSize, const char*, int, int, int, int) {
    GetEngine()->LoadFontFromMemory(fp_pData, fp_iSize);
    return 0;
}

int ResLoadScript(const void* fp_pData, int fp_iSize, const char* fp_pszID, int, int, int, int) {
    GetEngine()->ScriptLoadFromBuffer(static_cast<const char*>(fp_pData), static_cast<size_t>(fp_iSize), fp_pszID);
    return 0;
}

int ResLoadXMLData(const void* fp_pData, int fp_iSize, const char*, int, int, int, int) {
    RESLOAD_XMLData(fp_pData, fp_iSize);
    return 0;
}

// Sounds and music read their bytes from the file themselves.
int ResLoadSound(const char* fp_pszFileName, int fp_iOffset, int fp_iSize, const char* fp_pszID, int fp_iTag,
                 int fp_iData1, int fp_iData2, int fp_iData3) {
    GetEngine()->SoundLoad(fp_pszFileName, fp_pszID, fp_iTag, fp_iData1 == 1, fp_iData2 < 1 ? 1 : fp_iData2,
                           fp_iData3 == 1, static_cast<uint32_t>(fp_iOffset), static_cast<uint32_t>(fp_iSize));
    return 0;
}

int ResLoadMusic(const char* fp_pszFileName, int fp_iOffset, int fp_iSize, const char* fp_pszID, int fp_iTag,
                 int fp_iData1, int, int) {
    GetEngine()->MusicLoad(fp_pszFileName, fp_pszID, fp_iTag, static_cast<uint32_t>(fp_iOffset),
                           static_cast<uint32_t>(fp_iSize), fp_iData1 == 1);
    return 0;
}

int ResLoadPlaylist(const void* fp_pData, int fp_iSize, const char*, int, int, int, int) {
    GetEngine()->PlaylistLoad(fp_pData, fp_iSize);
    return 0;
}

struct V2DSTANDARDLOADER {
    const char* pszTypeID;
    V2DLOADRESFUNC pfnLoad;
    V2DLOADRESEXFUNC pfnLoadEx;
};

// In the order TEXTURE, TECHNIQUE, FONT, SOUND, MUSIC, PLAYLIST, SCRIPT,
// XMLDATA; each kind's adapter joins the table together with its loader.
const V2DSTANDARDLOADER kStandardLoaders[] = {
    {"TEXTURE", ResLoadTexture, nullptr},
    {"TECHNIQUE", ResLoadTechnique, nullptr},
    {"FONT", ResLoadFont, nullptr},
    {"SOUND", nullptr, ResLoadSound},
    {"MUSIC", nullptr, ResLoadMusic},
    {"PLAYLIST", ResLoadPlaylist, nullptr},
    {"SCRIPT", ResLoadScript, nullptr},
    {"XMLDATA", ResLoadXMLData, nullptr},
};

// ---- Scanning -------------------------------------------------------------------

// Case is ignored as the original file system ignores it: "A.XML" is a
// descriptor too.
bool HasExtension(const std::string& name, const char* extension) {
    const size_t length = std::char_traits<char>::length(extension);
    if (name.size() < length) return false;
    for (size_t i = 0; i < length; ++i) {
        const char c = name[name.size() - length + i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != extension[i]) return false;
    }
    return true;
}

// Names of the regular files directly in the data directory that end with
// the extension, in byte-wise name order, so the pack that wins a duplicate
// identifier never depends on the file system.
std::vector<std::string> ListDataFiles(const char* extension) {
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(kDataDir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        const std::string name = it->path().filename().string();
        if (HasExtension(name, extension)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

uint32_t ReadLE32(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

bool ReadField(FILE* file, uint32_t& value) {
    unsigned char bytes[4];
    if (std::fread(bytes, 1, 4, file) != 4) return false;
    value = ReadLE32(bytes);
    return true;
}

// A string up to its zero byte; false when the file ends first.
bool ReadZeroTerminated(FILE* file, std::string& text) {
    text.clear();
    for (int c; (c = std::fgetc(file)) != EOF;) {
        if (c == 0) return true;
        text.push_back(static_cast<char>(c));
    }
    return false;
}

bool ReadPakEntry(FILE* file, V2DPAKENTRY& entry) {
    uint32_t fields[6];
    if (!ReadZeroTerminated(file, entry.strID) || !ReadZeroTerminated(file, entry.strTypeID)) return false;
    for (uint32_t& field : fields)
        if (!ReadField(file, field)) return false;
    entry.dwOffset = fields[0];
    entry.dwSize = fields[1];
    entry.iTag = static_cast<int32_t>(fields[2]);
    entry.iData1 = static_cast<int32_t>(fields[3]);
    entry.iData2 = static_cast<int32_t>(fields[4]);
    entry.iData3 = static_cast<int32_t>(fields[5]);
    return true;
}

// The add pattern keeps the record that already holds the ID; a newcomer
// with that ID is dropped.
void AddRecord(TItemsManager<CV2DResource>& records, std::unique_ptr<CV2DResource> record) {
    const std::string id = record->GetID();
    const int32_t tag = record->GetTag();
    records.Add(std::move(record), id, tag);
}

// Returns the number of complete entries read.
uint32_t ProcessPakFile(TItemsManager<CV2DResource>& records, const std::string& path) {
    SetCheckpoint(121, 130);
    CVelmor::LogEntry("Processing ResPack: " + path, LOG_STEP);
    const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        CVelmor::LogEntry("0 resources found.", LOG_RESULT);
        return 0;
    }
    const uint64_t fileSize = ResFileSize(file.get());
    const V2DPAKDIRECTORY directory = ReadPakDirectory(file.get(), [&](const V2DPAKENTRY& entry) {
        // The first pack processed keeps an ID (AddRecord drops the others).
        if (!PakEntryInsideFile(entry, fileSize)) {
            CVelmor::LogEntry("Resource lies outside its ResPack, skipped. ID = " + entry.strID, LOG_WARNING);
            return;
        }
        AddRecord(records, std::make_unique<CV2DResource>(entry.strID.c_str(), entry.strTypeID.c_str(), entry.iTag,
                                                          path.c_str(), entry.dwOffset, entry.dwSize, entry.iData1,
                                                          entry.iData2, entry.iData3));
    });
    if (directory.bCutShort) {
        CVelmor::LogEntry("Damaged ResPack, reading stopped after " + std::to_string(directory.dwEntriesRead) +
                              " of " + std::to_string(directory.dwDeclaredCount) + " entries: " + path,
                          LOG_WARNING);
    }
    CVelmor::LogEntry(std::to_string(directory.dwEntriesRead) + " resources found.", LOG_RESULT);
    return directory.dwEntriesRead;
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The entry of `folder` named `name`: that exact name when it exists, else
// the first in name order that differs only in case, else `name` itself.
std::string MatchEntry(const std::filesystem::path& folder, const std::string& name) {
    std::error_code ec;
    if (std::filesystem::exists(folder / name, ec)) return name;
    std::vector<std::string> matches;
    std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (SameTextIgnoringCase(entry, name)) matches.push_back(entry);
    }
    if (matches.empty()) return name;
    return *std::min_element(matches.begin(), matches.end());
}

}  // namespace

std::string ResDataFilePath(const std::string& declaredName) {
    std::string path = kDataDir + declaredName;
    // Descriptors written on systems with backslash separators name the
    // same files.
    for (char& c : path)
        if (c == '\\') c = '/';
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return path;
    // Written on a file system that ignores case: each part of the name
    // is looked up without regard to case.
    std::filesystem::path resolved;
    for (const std::filesystem::path& part : std::filesystem::path(path)) {
        const std::string text = part.string();
        if (text.empty() || text == "." || text == ".." || text == "/") {
            resolved /= part;
        } else {
            resolved /= MatchEntry(resolved, text);
        }
    }
    return resolved.string();
}

namespace {

// The size of a declared loose file; fatal when it is missing or empty.
uint32_t DeclaredFileSize(const std::string& path, const std::string& declaredName) {
    std::error_code ec;
    FILE* file = std::filesystem::is_regular_file(path, ec) ? std::fopen(path.c_str(), "rb") : nullptr;
    if (!file) ThrowRes(EHS_TYPE_GAME, "Cannot find file declared in ResPack. Filename = " + declaredName, __LINE__);
    const uint64_t size = ResFileSize(file);
    std::fclose(file);
    if (size == 0) ThrowRes(EHS_TYPE_GAME, "Wrong resource file - check if it exists!", __LINE__);
    // The loaders take sizes as 32-bit signed numbers.
    if (size > INT32_MAX) ThrowRes(EHS_TYPE_GAME, "Resource file is too large. Filename = " + declaredName, __LINE__);
    return static_cast<uint32_t>(size);
}

void ProcessXMLDescriptor(TItemsManager<CV2DResource>& records, const std::string& path) {
    SetCheckpoint(121, 180);
    CVelmor::LogEntry("Processing ResPack: " + path, LOG_STEP);
    CXMLDocument document;
    document.LoadFromFile(path.c_str(), false);
    document.Parse();
    CXMLNode* root = document.GetRoot();
    if (root->GetName() != "respack") ThrowRes(EHS_TYPE_GAME, "Wrong XML ResPack descriptor: " + path, __LINE__);

    int added = 0;
    for (int i = 0; i < root->GetChildCount(); ++i) {
        const CXMLNode* child = root->GetChild(i);
        const std::string& id = child->GetAttribute("id");
        if (records.FindByName(id) >= 0) ThrowRes(EHS_TYPE_GAME, "Dublicated resource. ID = " + id, __LINE__);
        const std::string& declaredName = child->GetAttribute("filename");
        const std::string filePath = ResDataFilePath(declaredName);
        const uint32_t size = DeclaredFileSize(filePath, declaredName);
        AddRecord(records, std::make_unique<CV2DResource>(
                               id.c_str(), child->GetAttribute("typeid").c_str(),
                               ResParseDecimal(child->GetAttribute("tag")), filePath.c_str(), 0, size,
                               ResParseDecimal(child->GetAttribute("data1")), ResParseDecimal(child->GetAttribute("data2")),
                               ResParseDecimal(child->GetAttribute("data3"))));
        ++added;
    }
    CVelmor::LogEntry(std::to_string(added) + " resources found.", LOG_RESULT);
}

void LoadRecord(V2DRESSTATE& res, CV2DResource* record) {
    SetCheckpoint(121, 331);
    if (!record) ThrowRes(EHS_TYPE_GENERAL, "Resource subsystem was not initialized!", __LINE__);
    const auto load = res.loadFunctions.find(record->GetTypeID());
    if (load != res.loadFunctions.end()) {
        record->DataLoad();
        try {
            load->second(record->GetData(), static_cast<int>(record->GetSize()), record->GetID().c_str(),
                         record->GetTag(), record->GetData1(), record->GetData2(), record->GetData3());
        } catch (...) {
            // The bytes go whatever the loader did with them.
            record->DataUnLoad();
            throw;
        }
        record->DataUnLoad();
        return;
    }
    const auto loadEx = res.loadFunctionsEx.find(record->GetTypeID());
    if (loadEx != res.loadFunctionsEx.end()) {
        loadEx->second(record->GetFileName().c_str(), static_cast<int>(record->GetOffset()),
                       static_cast<int>(record->GetSize()), record->GetID().c_str(), record->GetTag(),
                       record->GetData1(), record->GetData2(), record->GetData3());
        return;
    }
    ThrowRes(EHS_TYPE_GAME, "Cannot load resource: no function registered for Res_Type = " + record->GetTypeID(),
             __LINE__);
}

void CheckResourcesStarted(const V2DRESSTATE& res) {
    if (!res.bInitialized || !res.pResources)
        ThrowRes(EHS_TYPE_GAME, "Resources subsystem was not initialized!", __LINE__);
}

}  // namespace

// ---- Pack reading (shared with the pack tool) -------------------------------------

// A decimal number as the descriptors write it; empty text gives 0, values
// beyond the 32-bit range are clamped.
int32_t ResParseDecimal(const std::string& text) {
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

uint64_t ResFileSize(FILE* file) {
    if (fseeko(file, 0, SEEK_END) != 0) return 0;
    const off_t size = ftello(file);
    fseeko(file, 0, SEEK_SET);
    return size > 0 ? static_cast<uint64_t>(size) : 0;
}

V2DPAKDIRECTORY ReadPakDirectory(FILE* file, const std::function<void(const V2DPAKENTRY&)>& onEntry) {
    V2DPAKDIRECTORY directory;
    if (!ReadField(file, directory.dwDeclaredCount)) {
        directory.bCutShort = true;
        return directory;
    }
    V2DPAKENTRY entry;
    while (directory.dwEntriesRead < directory.dwDeclaredCount) {
        if (!ReadPakEntry(file, entry)) {
            directory.bCutShort = true;
            break;
        }
        ++directory.dwEntriesRead;
        onEntry(entry);
    }
    return directory;
}

bool PakEntryInsideFile(const V2DPAKENTRY& entry, uint64_t fileSize) {
    return static_cast<uint64_t>(entry.dwOffset) + entry.dwSize <= fileSize;
}

// ---- The subsystem ------------------------------------------------------------------

void CVelmor::ResourcesInit() {
    SetCheckpoint(121, 250);
    m_bResStarted = 1;
    m_res.bInitialized = 1;
    m_res.iMode = RESMODE_NONE;
    LogSeparator(1);
    LogEntry("Initializing Resources Subsystem...", LOG_TITLE);

    m_res.pResources.reset(new (std::nothrow) TItemsManager<CV2DResource>);
    if (!m_res.pResources) ThrowRes(EHS_TYPE_GENERAL, "Cannot create Resources Manager!", __LINE__);
    m_res.loadFunctions.clear();
    m_res.loadFunctionsEx.clear();

    std::vector<std::string> packs = ListDataFiles(".xml");
    if (!packs.empty()) {
        m_res.iMode = RESMODE_XML;
        LogEntry("Resources Subsystem operates in XML mode.", LOG_STEP);
    } else {
        packs = ListDataFiles(".pak");
        if (!packs.empty()) {
            m_res.iMode = RESMODE_PAK;
            SetXMLEncryptMode(true);
            LogEntry("Resources Subsystem operates in PAK mode.", LOG_STEP);
        } else {
            LogEntry("No resources were found!", LOG_WARNING);
        }
    }

    if (m_res.iMode != RESMODE_NONE) {
        for (const std::string& name : packs) {
            const std::string path = kDataDir + name;
            if (m_res.iMode == RESMODE_XML) {
                ProcessXMLDescriptor(*m_res.pResources, path);
            } else {
                ProcessPakFile(*m_res.pResources, path);
            }
        }
        LogEntry(std::to_string(packs.size()) + " resource packs found.", LOG_RESULT);
    }

    LogEntry("Registering resources-loading functions for standart resource types...", LOG_DETAIL);
    for (const V2DSTANDARDLOADER& loader : kStandardLoaders) {
        if (loader.pfnLoad) RegisterLoadFunction(loader.pfnLoad, loader.pszTypeID);
        if (loader.pfnLoadEx) RegisterLoadFunctionEx(loader.pfnLoadEx, loader.pszTypeID);
    }
    LogEntry("Done.", LOG_RESULT);
    LogEntry("Done.", LOG_RESULT);
    LogSeparator(1);
    LogBlankLines(1);
}

void CVelmor::ResourcesDeinit() {
    SetCheckpoint(121, 298);
    LogSeparator(1);
    LogEntry("Deinitializing Resources Subsystem...", LOG_TITLE);
    if (m_res.pResources) m_res.pResources->FreeAll();
    m_res.pResources.reset();
    m_res.loadFunctions.clear();
    m_res.loadFunctionsEx.clear();
    m_res.bInitialized = 0;
    LogEntry("Done.", LOG_RESULT);
    LogSeparator(1);
    LogBlankLines(1);
}

void CVelmor::RegisterLoadFunction(V2DLOADRESFUNC function, const char* fp_pszTypeID) {
    SetCheckpoint(121, 313);
    if (m_res.loadFunctions.count(fp_pszTypeID)) {
        ThrowRes(EHS_TYPE_GAME, std::string("LoadRes function already registered for TypeID = ") + fp_pszTypeID,
                 __LINE__);
    }
    m_res.loadFunctions[fp_pszTypeID] = function;
}

void CVelmor::RegisterLoadFunctionEx(V2DLOADRESEXFUNC function, const char* fp_pszTypeID) {
    SetCheckpoint(121, 322);
    if (m_res.loadFunctionsEx.count(fp_pszTypeID)) {
        ThrowRes(EHS_TYPE_GAME, std::string("LoadResEx function already registered for TypeID = ") + fp_pszTypeID,
                 __LINE__);
    }
    m_res.loadFunctionsEx[fp_pszTypeID] = function;
}

void CVelmor::LoadResource(const char* fp_pszID) {
    SetCheckpoint(121, 360);
    CheckResourcesStarted(m_res);
    const int32_t id = m_res.pResources->FindByName(fp_pszID);
    if (id < 0) {
        LogEntry(std::string("Cannot find resource with ID = ") + fp_pszID, LOG_WARNING);
        return;
    }
    LoadRecord(m_res, m_res.pResources->GetItem(id));
}

void CVelmor::LoadResources(int32_t fp_iTag) {
    SetCheckpoint(121, 371);
    CheckResourcesStarted(m_res);
    LogEntry("Loading resources with Tag = " + std::to_string(fp_iTag), LOG_DETAIL);
    // Walks slots in ascending order, as the table's tag cursor does, but with
    // a cursor of its own: a loader that loads another tag (a script, say)
    // must not cut this walk short.
    int loaded = 0;
    for (int32_t slot = 0; slot < m_res.pResources->GetCount(); ++slot) {
        CV2DResource* record = m_res.pResources->GetItem(slot);
        if (!record || (fp_iTag != 0 && m_res.pResources->GetTag(slot) != fp_iTag)) continue;
        LoadRecord(m_res, record);
        ++loaded;
    }
    LogEntry(std::to_string(loaded) + " resources with Tag = " + std::to_string(fp_iTag) + " loaded.", LOG_RESULT);
}

void CVelmor::ResSetDemandLookup(V2DDemandKind kind, V2DITEMLOOKUP lookup) {
    SetCheckpoint(121, 392);
    EHS_ASSERT(kind >= 0 && kind < DEMAND_KIND_COUNT, kFile);
    m_res.demandLookups[kind] = lookup;
}
