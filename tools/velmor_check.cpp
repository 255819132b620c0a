// velmor-check: the data checker.
//
//   velmor-check [DIR] [--game quble] [--json]
//
// Loads a data folder (default ./DATA) the way the engine does, on the
// headless platform (recording 3-D device, offline audio, no window), and
// reports every problem it finds instead of stopping at the first: resource
// descriptors and packs, files that are missing or cannot be decoded (images,
// sounds, music modules, fonts, techniques, scripts, XML), GUI data that names
// an unknown class, parameter, style, enumeration, texture, technique, font,
// sound or key, values of the wrong shape, actions that name neither a native
// action nor a script function, and element IDs declared twice. With
// --game quble it also checks what the game relies on: its resources, GUI
// elements, actions and settings.
//
// One line per problem, `file[:line]: message` with the file relative to DIR
// (in a pack: the pack's name, the message starting with the resource ID);
// --json prints the same as one JSON object. Exit status 0 when the data is
// clean, 1 when it is not, 2 on wrong usage.

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "audio_decode.h"
#include "audio_output.h"
#include "bass.h"
#include "cgame_element.h"
#include "cvelmor.h"
#include "cxmlparser.h"
#include "d3d8_recording.h"
#include "engineroutine.h"
#include "gameinit_routine.h"
#include "input_headless.h"
#include "os.h"
#include "system_headless.h"
#include "v2dgui_cvelmorgui_main.h"
#include "window_headless.h"

namespace fs = std::filesystem;

namespace {

// ---- Problems ---------------------------------------------------------------------

struct Problem {
    std::string file;
    int line = 0;  // 0 when unknown
    std::string message;
};

class Report {
public:
    void Add(const std::string& file, int line, const std::string& message) {
        const std::string key = file + "\n" + std::to_string(line) + "\n" + message;
        if (!m_seen.insert(key).second) return;
        m_problems.push_back({file, line, message});
    }
    const std::vector<Problem>& Problems() const { return m_problems; }

private:
    std::vector<Problem> m_problems;
    std::set<std::string> m_seen;
};

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// What any loader can throw, as one line of text.
std::string CurrentErrorText() {
    try {
        throw;
    } catch (const CEHSException& e) {
        return e.GetDesc();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

// ---- Source text, for line numbers --------------------------------------------------

// The plain text of a loose data file. Lines are found by searching for what
// the parser read (the parser keeps no positions); a pack's scrambled
// resources have no lines.
class SourceText {
public:
    SourceText() = default;
    explicit SourceText(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        m_text = bytes.str();
    }
    bool Empty() const { return m_text.empty(); }

    // Position of the `occurrence`-th (0-based) element carrying id="ID".
    size_t ElementPos(const std::string& id, int occurrence) const {
        size_t pos = 0;
        for (int found = -1;; ++pos) {
            pos = FindAttribute("id", id, pos);
            if (pos == std::string::npos) return pos;
            if (++found == occurrence) return TagStart(pos);
        }
    }
    // Position of an attribute inside the tag that starts at tagPos, or tagPos.
    size_t AttributePos(size_t tagPos, const std::string& name) const {
        if (tagPos == std::string::npos) return tagPos;
        const size_t tagEnd = m_text.find('>', tagPos);
        for (size_t pos = m_text.find(name, tagPos); pos != std::string::npos && pos < tagEnd;
             pos = m_text.find(name, pos + 1)) {
            const bool startsWord = pos > 0 && IsSpace(m_text[pos - 1]);
            size_t after = pos + name.size();
            while (after < m_text.size() && IsSpace(m_text[after])) ++after;
            if (startsWord && after < m_text.size() && m_text[after] == '=') return pos;
        }
        return tagPos;
    }
    // Position of the first attribute of that name anywhere, or npos.
    size_t AnyAttributePos(const std::string& name) const {
        for (size_t pos = m_text.find(name); pos != std::string::npos; pos = m_text.find(name, pos + 1)) {
            size_t after = pos + name.size();
            while (after < m_text.size() && IsSpace(m_text[after])) ++after;
            if (pos > 0 && IsSpace(m_text[pos - 1]) && after < m_text.size() && m_text[after] == '=') return pos;
        }
        return std::string::npos;
    }
    int LineAt(size_t pos) const {
        if (pos == std::string::npos || m_text.empty()) return 0;
        return 1 + static_cast<int>(std::count(m_text.begin(), m_text.begin() + static_cast<long>(pos), '\n'));
    }

private:
    static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    size_t FindAttribute(const std::string& name, const std::string& value, size_t from) const {
        for (const char quote : {'"', '\''}) {
            const std::string needle = name + "=" + quote + value + quote;
            for (size_t pos = m_text.find(needle, from); pos != std::string::npos; pos = m_text.find(needle, pos + 1))
                if (pos > 0 && IsSpace(m_text[pos - 1])) return pos;
        }
        return std::string::npos;
    }
    size_t TagStart(size_t pos) const {
        const size_t open = m_text.rfind('<', pos);
        return open == std::string::npos ? pos : open;
    }
    std::string m_text;
};

// ---- Records ---------------------------------------------------------------------

struct Record {
    std::string id;
    std::string type;
    std::string path;     // as the engine opens it: ./DATA/...
    std::string display;  // the file the report names, relative to the folder
    std::string declaredIn;  // the descriptor or pack
    int line = 0;            // of its declaration, in a descriptor
    int32_t tag = 0;
    int32_t data1 = 0, data2 = 0, data3 = 0;
    uint32_t offset = 0;
    uint32_t size = 0;
    bool inPack = false;
};

bool HasExtension(const std::string& name, const std::string& extension) {
    if (name.size() < extension.size()) return false;
    for (size_t i = 0; i < extension.size(); ++i) {
        const char c = name[name.size() - extension.size() + i];
        if (std::tolower(static_cast<unsigned char>(c)) != extension[i]) return false;
    }
    return true;
}

// Regular files directly in a folder with that extension, sorted.
std::vector<std::string> FilesWithExtension(const std::string& folder, const std::string& extension) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        const std::string name = it->path().filename().string();
        if (it->is_regular_file(typeError) && HasExtension(name, extension)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A whole decimal number as descriptors write it ("" reads as 0).
bool ParseDescriptorNumber(const std::string& text, int32_t& value) {
    if (text.empty()) {
        value = 0;
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

// ---- Values of GUI parameters ----------------------------------------------------------

enum ValueType { VT_FLOAT = 1, VT_BOOL = 2, VT_STRING = 3, VT_ACTION = 4, VT_POINT = 5, VT_RECT = 6, VT_ENUM = 7 };

std::vector<std::string> SplitBlanks(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> fields;
    for (std::string field; in >> field;) fields.push_back(field);
    return fields;
}

bool IsNumber(const std::string& text) {
    const std::vector<std::string> fields = SplitBlanks(text);
    if (fields.size() != 1) return false;
    char* end = nullptr;
    const float value = std::strtof(fields[0].c_str(), &end);
    return end != fields[0].c_str() && *end == '\0' && std::isfinite(value);
}

// What a parameter's text must look like for its type; empty when it is fine.
std::string ShapeProblem(int type, const std::string& name, const std::string& value) {
    switch (type) {
    case VT_FLOAT:
        if (!IsNumber(value)) return Quoted(name) + " needs a number, not " + Quoted(value);
        if (name == "drawscheme") {
            const int scheme = static_cast<int>(std::strtof(value.c_str(), nullptr));
            if (scheme < 1 || scheme > 8) return "invalid drawing scheme " + Quoted(value) + " (1 to 8)";
        }
        return std::string();
    case VT_BOOL:
        if (value != "0" && value != "1" && value != "true" && value != "false")
            return Quoted(name) + " needs 1, true, 0 or false, not " + Quoted(value) + " (it reads as false)";
        return std::string();
    case VT_POINT:
    case VT_RECT: {
        const size_t wanted = type == VT_POINT ? 2 : 4;
        const std::vector<std::string> fields = SplitBlanks(value);
        bool numbers = true;
        for (const std::string& field : fields) numbers = numbers && IsNumber(field);
        if (fields.size() != wanted || !numbers)
            return Quoted(name) + " needs " + std::to_string(wanted) + " numbers, not " + Quoted(value);
        return std::string();
    }
    default:
        return std::string();
    }
}

// Which kind of item a string parameter names, by its name.
enum ItemKind { ITEM_NONE, ITEM_TEXTURE, ITEM_TECHNIQUE, ITEM_FONT, ITEM_SOUND, ITEM_KEY };

ItemKind KindOfParam(const std::string& name) {
    if (name == "technique") return ITEM_TECHNIQUE;
    if (name == "texture" || name.rfind("texture_", 0) == 0) return ITEM_TEXTURE;
    if (name == "font") return ITEM_FONT;
    if (name.rfind("sound_", 0) == 0) return ITEM_SOUND;
    if (name == "hotkey") return ITEM_KEY;
    return ITEM_NONE;
}

const char* KindName(ItemKind kind) {
    switch (kind) {
    case ITEM_TEXTURE: return "texture";
    case ITEM_TECHNIQUE: return "technique";
    case ITEM_FONT: return "font";
    case ITEM_SOUND: return "sound";
    default: return "item";
    }
}

// ---- What the game relies on ------------------------------------------------------------

struct GameResource {
    const char* id;
    ItemKind kind;
};
const GameResource kQubleResources[] = {
    {"FNT_FONT1", ITEM_FONT},   {"TEX_CURSOR", ITEM_TEXTURE}, {"TEX_BG", ITEM_TEXTURE},
    {"TEX_TILE", ITEM_TEXTURE}, {"SND_PIECEMOVE", ITEM_SOUND}, {"TEQ_STD2", ITEM_TECHNIQUE},
};

// The elements the game addresses, and the parameter it reads or writes on
// each (empty: it only shows, hides, enables or disables it).
struct GameElement {
    const char* id;
    const char* param;
};
const GameElement kQubleElements[] = {
    {"WND_DTP_MAINWINDOW", ""},   {"WND_DTP_HELP", ""},          {"WND_DTP_COMPLETE", ""},
    {"WND_DTP_HIGHSCORE", ""},    {"TBX_HS_NAME", "text"},       {"BTN_HS_OK", ""},
    {"FLX_MW_GAMEBOARD", "coords"}, {"L_MW_TIME_TIME", "text"},  {"TILE_MW_TIME", "visible"},
    {"TILE_MW_BESTRESULT", ""},   {"L_MW_BESTRESULT_NAME", "text"}, {"L_MW_BESTRESULT_TIME", "text"},
};

// The actions the game offers; all but the main window's (which does
// nothing) must be bound for the game to be playable.
const char* const kQubleActions[] = {
    "BTN_MW_START_ONPRESS",     "BTN_MW_HELP_ONPRESS", "BTN_MW_EXIT_ONPRESS", "FLX_MW_GAMEBOARD_ONREDRAW",
    "WND_DTP_COMPLETE_ONSHOW",  "BTN_CMP_OK_ONPRESS",  "WND_DTP_HIGHSCORE_ONSHOW", "BTN_HS_OK_ONPRESS",
    "TBX_HS_NAME_ONINPUT",      "WND_DTP_HELP_ONSHOW", "BTN_HLP_OK_ONPRESS",
};

struct GameSetting {
    const char* name;
    bool integer;
    double min;
    double max;
};
const GameSetting kQubleSettings[] = {
    {"qbgameid", true, 3, 3},  {"sizex", true, 1, 1000},   {"sizey", true, 1, 1000},
    {"color1r", false, 0, 1},  {"color1g", false, 0, 1},   {"color1b", false, 0, 1},
    {"color2r", false, 0, 1},  {"color2g", false, 0, 1},   {"color2b", false, 0, 1},
    {"color3r", false, 0, 1},  {"color3g", false, 0, 1},   {"color3b", false, 0, 1},
};

const int kScreenWidth = 800;
const int kScreenHeight = 600;

// ---- The checker ------------------------------------------------------------------------

class Checker;
Checker* g_pChecker = nullptr;

class Checker {
public:
    Checker(std::string folder, bool game) : m_folder(std::move(folder)), m_game(game) {}

    // Runs every check; the folder must exist.
    void Run();
    const Report& GetReport() const { return m_report; }

    // Called through the load-function registries.
    int LoadThunk(const void* data, int size, const char* id, int tag, int d1, int d2, int d3);
    int LoadExThunk(const char* file, int offset, int size, const char* id, int tag, int d1, int d2, int d3);

private:
    struct ElementInfo {
        std::string className;
        std::string parent;
        std::string display;
        int line = 0;
        std::map<std::string, std::string> params;  // as written (the last value wins)
    };
    struct ItemReference {
        ItemKind kind;
        std::string name;
        std::string display;
        int line;
        bool presentWhenLoaded;
        int32_t guiTag;  // of the GUI data that names it
    };
    struct ActionReference {
        std::string name;
        std::string display;
        int line;
    };
    struct Setting {
        std::string value;
        std::string display;
        int line;
    };

    void StartEngine();
    void StopEngine();
    void ScanDescriptors();
    void ScanPacks();
    void AddRecordsToEngine();
    void LoadAll();
    void CheckAudio(const Record& record);
    void CheckReferences();
    std::string LoadOrderAdvice(const ItemReference& reference) const;
    void CheckGame();

    // Tolerant versions of the GUI loaders: every problem is reported and the
    // rest of the data still loads.
    void LoadGUIDataRecord(const Record& record, CXMLNode& root);
    void LoadGUIStyleRecord(const Record& record, CXMLNode& root);
    void LoadGUIEnumRecord(const Record& record, CXMLNode& root);
    void CollectSettings(const Record& record, CXMLNode& root);
    void CheckFontPages(const Record& record, const CXMLNode& root);
    bool BuildElement(const Record& record, CXMLNode& node, const std::string& parent, int32_t parentID,
                      int32_t& elementID);
    // Checks one parameter's text; false when it cannot be applied.
    bool CheckParam(const Record& record, int line, const std::string& owner, const std::string& name,
                    const std::string& value);
    void ApplyStyle(const Record& record, int line, const std::string& id, int32_t elementID,
                    const std::string& style);
    bool ItemExists(ItemKind kind, const std::string& name);

    void Say(const Record& record, int line, const std::string& message) {
        if (record.inPack) {
            m_report.Add(record.display, 0, record.id + ": " + message);
        } else {
            m_report.Add(record.display, line, message);
        }
    }
    const Record* FindRecord(const std::string& id) const {
        const auto it = m_recordIndex.find(id);
        return it == m_recordIndex.end() ? nullptr : &m_records[it->second];
    }
    const SourceText& Source(const Record& record) {
        auto it = m_sources.find(record.path);
        if (it == m_sources.end())
            it = m_sources.emplace(record.path, record.inPack ? SourceText() : SourceText(record.path)).first;
        return it->second;
    }

    std::string m_folder;
    bool m_game;
    Report m_report;
    std::unique_ptr<CVelmor> m_engine;
    int m_mode = RESMODE_NONE;
    std::string m_mainFile = ".";  // the first descriptor or pack
    std::vector<Record> m_records;
    std::map<std::string, size_t> m_recordIndex;
    std::map<std::string, SourceText> m_sources;
    std::map<std::string, V2DLOADRESFUNC> m_loaders;
    std::map<std::string, V2DLOADRESEXFUNC> m_loadersEx;
    std::set<std::string> m_loaded;
    std::map<std::string, ElementInfo> m_elements;
    std::map<std::pair<std::string, std::string>, int> m_idOccurrences;  // (file, id) -> seen so far
    std::vector<ItemReference> m_itemReferences;
    std::vector<ActionReference> m_actionReferences;
    std::map<std::string, Setting> m_settings;
};

int ThunkLoad(const void* data, int size, const char* id, int tag, int d1, int d2, int d3) {
    return g_pChecker->LoadThunk(data, size, id, tag, d1, d2, d3);
}

int ThunkLoadEx(const char* file, int offset, int size, const char* id, int tag, int d1, int d2, int d3) {
    return g_pChecker->LoadExThunk(file, offset, size, id, tag, d1, d2, d3);
}

void Checker::StartEngine() {
    // The headless platform: no window, no display, no sound card touched.
    platform::InstallHeadlessSystem();
    platform::InstallHeadlessInputSystem();
    platform::SetAudioOutput(platform::AudioOutput::Offline);
    platform::InstallHeadlessWindowSystem();
    vd3d::InstallRecordingDirect3D();
    m_engine = std::make_unique<CVelmor>();
    g_pV2D = m_engine.get();
    g_bWindowActive = 1;
    Engine_InitResourcesSubsystem();
    SelectDisplayMode();
    EngineInitSubsystems();
    if (m_game) RegisterGameActions();
    // Every load goes through the checker, which hands it on to the
    // engine's loader (or the tolerant GUI loaders) and notes what loaded.
    for (auto& [type, function] : m_engine->m_res.loadFunctions) {
        m_loaders[type] = function;
        function = ThunkLoad;
    }
    for (auto& [type, function] : m_engine->m_res.loadFunctionsEx) {
        m_loadersEx[type] = function;
        function = ThunkLoadEx;
    }
}

void Checker::StopEngine() {
    try {
        GameShutdown();
        m_engine.reset();
    } catch (...) {
        m_report.Add(m_folder, 0, "stopping the engine failed: " + CurrentErrorText());
    }
    g_pV2D = nullptr;
    vbass::BASS_Free();
}

void Checker::ScanDescriptors() {
    std::map<std::string, std::pair<std::string, int>> declared;  // id -> where
    for (const std::string& name : FilesWithExtension("DATA", ".xml")) {
        const std::string path = "./DATA/" + name;
        SourceText source(path);
        CXMLDocument document;
        try {
            document.LoadFromFile(path.c_str(), false);
            document.Parse();
        } catch (...) {
            m_report.Add(name, 0, "cannot read the descriptor: " + CurrentErrorText());
            continue;
        }
        CXMLNode* root = document.GetRoot();
        if (root->GetName() != "respack") {
            m_report.Add(name, 0, "the root element is <" + root->GetName() + ">, not <respack>");
            continue;
        }
        std::map<std::string, int> occurrences;
        for (int i = 0; i < root->GetChildCount(); ++i) {
            const CXMLNode& child = *root->GetChild(i);
            Record record;
            record.id = child.GetAttribute("id");
            record.type = child.GetAttribute("typeid");
            const std::string fileName = child.GetAttribute("filename");
            const size_t tagPos = source.ElementPos(record.id, occurrences[record.id]++);
            record.line = source.LineAt(tagPos);
            const auto say = [&](const std::string& message) { m_report.Add(name, record.line, message); };
            if (record.id.empty()) {
                say("a resource without an id");
                continue;
            }
            if (const auto first = declared.find(record.id); first != declared.end()) {
                say("duplicate resource ID " + Quoted(record.id) + " (first declared in " + first->second.first +
                    ":" + std::to_string(first->second.second) + ")");
                continue;
            }
            declared[record.id] = {name, record.line};
            if (record.type.empty()) {
                say("resource " + Quoted(record.id) + " has no typeid");
                continue;
            }
            if (!m_loaders.count(record.type) && !m_loadersEx.count(record.type)) {
                say("resource " + Quoted(record.id) + " has the unknown type " + Quoted(record.type));
                continue;
            }
            bool numbersOk = true;
            const std::pair<const char*, int32_t*> numbers[] = {
                {"tag", &record.tag}, {"data1", &record.data1}, {"data2", &record.data2}, {"data3", &record.data3}};
            for (const auto& [attribute, target] : numbers) {
                const std::string& text = child.GetAttribute(attribute);
                if (!ParseDescriptorNumber(text, *target)) {
                    say(std::string(attribute) + " of " + Quoted(record.id) + " is not a whole number: " + Quoted(text));
                    numbersOk = false;
                }
            }
            if (child.GetAttributes().count("tag") == 0) say("resource " + Quoted(record.id) + " has no tag");
            if (fileName.empty()) {
                say("resource " + Quoted(record.id) + " has no filename");
                continue;
            }
            record.path = ResDataFilePath(fileName);
            std::error_code ec;
            if (!fs::is_regular_file(record.path, ec)) {
                say("file " + Quoted(fileName) + " of " + Quoted(record.id) + " does not exist");
                continue;
            }
            const uintmax_t size = fs::file_size(record.path, ec);
            if (ec || size == 0 || size > INT32_MAX) {
                say("file " + Quoted(fileName) + " of " + Quoted(record.id) + (size == 0 ? " is empty" : " is too large"));
                continue;
            }
            if (!numbersOk) continue;
            record.display = fileName;
            record.declaredIn = name;
            record.size = static_cast<uint32_t>(size);
            m_recordIndex[record.id] = m_records.size();
            m_records.push_back(record);
        }
    }
}

void Checker::ScanPacks() {
    for (const std::string& name : FilesWithExtension("DATA", ".pak")) {
        const std::string path = "./DATA/" + name;
        FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) {
            m_report.Add(name, 0, "cannot open the pack");
            continue;
        }
        const uint64_t fileSize = ResFileSize(file);
        const V2DPAKDIRECTORY directory = ReadPakDirectory(file, [&](const V2DPAKENTRY& entry) {
            const auto say = [&](const std::string& message) { m_report.Add(name, 0, message); };
            if (entry.strID.empty()) return say("an entry without an ID");
            if (const Record* first = FindRecord(entry.strID))
                return say("duplicate resource ID " + Quoted(entry.strID) + " (the entry in " + first->display +
                           " is used)");
            if (!m_loaders.count(entry.strTypeID) && !m_loadersEx.count(entry.strTypeID))
                return say(entry.strID + ": unknown type " + Quoted(entry.strTypeID));
            if (entry.dwSize == 0 || !PakEntryInsideFile(entry, fileSize))
                return say(entry.strID + ": its bytes lie outside the pack");
            Record record;
            record.id = entry.strID;
            record.type = entry.strTypeID;
            record.path = path;
            record.display = name;
            record.declaredIn = name;
            record.tag = entry.iTag;
            record.data1 = entry.iData1;
            record.data2 = entry.iData2;
            record.data3 = entry.iData3;
            record.offset = entry.dwOffset;
            record.size = entry.dwSize;
            record.inPack = true;
            m_recordIndex[record.id] = m_records.size();
            m_records.push_back(record);
        });
        std::fclose(file);
        if (directory.bCutShort)
            m_report.Add(name, 0, "the pack's directory is cut short: " + std::to_string(directory.dwEntriesRead) +
                                      " of " + std::to_string(directory.dwDeclaredCount) + " entries");
    }
}

void Checker::AddRecordsToEngine() {
    TItemsManager<CV2DResource>& table = *m_engine->m_res.pResources;
    for (const Record& record : m_records) {
        try {
            table.Add(std::make_unique<CV2DResource>(record.id.c_str(), record.type.c_str(), record.tag, record.path.c_str(),
                                                     record.offset, record.size, record.data1, record.data2,
                                                     record.data3),
                      record.id, record.tag);
        } catch (...) {
            Say(record, 0, record.id + ": " + CurrentErrorText());
        }
    }
}

int Checker::LoadThunk(const void* data, int size, const char* id, int tag, int d1, int d2, int d3) {
    m_loaded.insert(id);
    const Record* record = FindRecord(id);
    if (!record) return 0;
    const std::string& type = record->type;
    if (type == "GUIDATA" || type == "GUISTYLEDATA" || type == "GUIENUMDATA" || type == "XMLDATA") {
        CXMLDocument document;
        document.LoadFromBuffer(data, size > 0 ? static_cast<size_t>(size) : 0, m_engine->GetXMLEncryptMode());
        document.Parse();
        CXMLNode& root = *document.GetRoot();
        if (type == "GUIDATA") return LoadGUIDataRecord(*record, root), 0;
        if (type == "GUISTYLEDATA") return LoadGUIStyleRecord(*record, root), 0;
        if (type == "GUIENUMDATA") return LoadGUIEnumRecord(*record, root), 0;
        CollectSettings(*record, root);
    }
    if (type == "FONT") {
        CXMLDocument document;
        document.LoadFromBuffer(data, size > 0 ? static_cast<size_t>(size) : 0, m_engine->GetXMLEncryptMode());
        document.Parse();
        CheckFontPages(*record, *document.GetRoot());
    }
    return m_loaders.at(type)(data, size, id, tag, d1, d2, d3);
}

int Checker::LoadExThunk(const char* file, int offset, int size, const char* id, int tag, int d1, int d2, int d3) {
    m_loaded.insert(id);
    const Record* record = FindRecord(id);
    if (!record) return 0;
    return m_loadersEx.at(record->type)(file, offset, size, id, tag, d1, d2, d3);
}

// Warnings the engine logged since `from` (the log is new each run).
std::vector<std::string> LoggedWarnings(std::streamoff& from) {
    std::ifstream in("gamelog.txt", std::ios::binary);
    in.seekg(from);
    std::vector<std::string> warnings;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(" !: ", 0) == 0) warnings.push_back(line.substr(4));
        if (line.rfind(" !!!: ", 0) == 0) warnings.push_back(line.substr(6));
    }
    in.clear();
    in.seekg(0, std::ios::end);
    from = in.tellg();
    return warnings;
}

void Checker::LoadAll() {
    // As the game loads: by tag, in increasing order, each tag in table order.
    std::vector<size_t> order(m_records.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return m_records[a].tag < m_records[b].tag; });
    std::streamoff logPos = 0;
    LoggedWarnings(logPos);
    for (const size_t index : order) {
        const Record& record = m_records[index];
        if (m_loaded.count(record.id)) continue;  // loaded on demand already
        // Problems of a whole resource name its file, without a line.
        bool failed = false;
        try {
            m_engine->LoadResource(record.id.c_str());
        } catch (...) {
            failed = true;
            Say(record, 0, record.id + ": " + CurrentErrorText());
        }
        const std::vector<std::string> warnings = LoggedWarnings(logPos);
        // A load that failed says why, and the GUI loaders report their own
        // problems: the warnings on the way add nothing then.
        if (failed || record.type.rfind("GUI", 0) == 0) continue;
        for (const std::string& warning : warnings) Say(record, 0, record.id + ": " + warning);
        if (record.type == "SOUND" || record.type == "MUSIC") CheckAudio(record);
    }
}

// Streams and music open only when they play; decode them now.
void Checker::CheckAudio(const Record& record) {
    namespace audio = platform::audio;
    std::unique_ptr<audio::Decoder> decoder;
    int result = vbass::BASS_OK;
    if (record.type == "MUSIC") {
        result = audio::OpenModuleDecoder(record.path.c_str(), record.offset, record.size, 44100, decoder);
        if (result != vbass::BASS_OK)
            Say(record, 0, record.id + ": not a music module that can be played");
    } else if (record.data1 == 1) {
        result = audio::OpenStreamDecoder(record.path.c_str(), record.offset, record.size, decoder);
        if (result != vbass::BASS_OK) Say(record, 0, record.id + ": not a sound that can be played");
    }
}

void Checker::CollectSettings(const Record& record, CXMLNode& root) {
    const SourceText& source = Source(record);
    for (int i = 0; i < root.GetChildCount(); ++i) {
        const CXMLNode& child = *root.GetChild(i);
        for (const std::string& name : child.GetAttributeOrder()) {
            m_settings[name] = {child.GetAttribute(name), record.display, source.LineAt(source.AnyAttributePos(name))};
        }
    }
}

// What the engine's font loader passes over without a word (it refuses a
// page it cannot use): elements other than pages, page attributes that name
// no cell of their page, and pages whose missing letters would draw as
// blanks for want of a fallback glyph.
void Checker::CheckFontPages(const Record& record, const CXMLNode& root) {
    if (root.GetName() != "fontdesc") return;
    const std::string font = record.id + ": ";
    bool pages = false;
    for (int i = 0; i < root.GetChildCount(); ++i) {
        const CXMLNode& node = *root.GetChild(i);
        if (node.GetName() != "page") {
            Say(record, 0, font + "unknown element <" + node.GetName() + "> in a font description");
            continue;
        }
        pages = true;
        const long long first = std::atoll(node.GetAttribute("first").c_str());
        const std::string& columns = node.GetAttribute("columns");
        const std::string& rows = node.GetAttribute("rows");
        const long long last = first + (columns.empty() ? 16 : std::atoll(columns.c_str())) *
                                           (rows.empty() ? 16 : std::atoll(rows.c_str())) - 1;
        const std::string page = "page from " + node.GetAttribute("first") + ": ";
        int glyphs = 0;
        for (const std::string& name : node.GetAttributeOrder()) {
            if (name == "textureid" || name == "first" || name == "columns" || name == "rows") continue;
            char* end = nullptr;
            const long long code = name.rfind("cs", 0) == 0 ? std::strtoll(name.c_str() + 2, &end, 10) : -1;
            if (code < 0 || !end || *end != 0 || end == name.c_str() + 2) {
                Say(record, 0, font + page + "unknown attribute '" + name + "'");
            } else if (code < first || code > last) {
                Say(record, 0, font + page + "'" + name + "' is not one of its code points (" + std::to_string(first) +
                                   " to " + std::to_string(last) + ")");
            } else {
                ++glyphs;
            }
        }
        if (glyphs == 0) Say(record, 0, font + page + "no glyph (no advance attribute)");
    }
    if (pages && root.GetAttribute("fallback").empty())
        Say(record, 0, font + "pages but no 'fallback' glyph: letters the font lacks draw as blanks");
}

bool Checker::ItemExists(ItemKind kind, const std::string& name) {
    switch (kind) {
    case ITEM_TEXTURE: return m_engine->m_gfx.pTextures && m_engine->m_gfx.pTextures->FindByName(name.c_str()) >= 0;
    case ITEM_TECHNIQUE:
        return m_engine->m_gfx.pTechniques && m_engine->m_gfx.pTechniques->FindByName(name.c_str()) >= 0;
    case ITEM_FONT: return m_engine->m_gfx.pFonts && m_engine->m_gfx.pFonts->FindByName(name.c_str()) >= 0;
    case ITEM_SOUND: {
        const Record* record = FindRecord(name);
        return record && record->type == "SOUND" && m_loaded.count(name);
    }
    default: return true;
    }
}

bool Checker::CheckParam(const Record& record, int line, const std::string& owner, const std::string& name,
                         const std::string& value) {
    V2DGUIPARAMINFO info;
    if (!GetGUI()->FindParam(name, info)) {
        Say(record, line, "unknown parameter " + Quoted(name) + " on " + owner);
        return false;
    }
    if (value.empty()) {
        Say(record, line, "empty value for " + Quoted(name) + " on " + owner + " (it is ignored)");
        return false;
    }
    const std::string shape = ShapeProblem(info.iType, name, value);
    if (!shape.empty()) Say(record, line, shape + " on " + owner);
    if (info.iType == VT_ACTION) {
        m_actionReferences.push_back({value, record.display, record.inPack ? 0 : line});
        return true;
    }
    const ItemKind kind = info.iType == VT_STRING ? KindOfParam(name) : ITEM_NONE;
    if (kind == ITEM_KEY) {
        if (CVelmor::KeyNameToCode(value) == 0 && !IsNumber(value))
            Say(record, line, "unknown key name " + Quoted(value) + " for " + Quoted(name) + " on " + owner);
    } else if (kind != ITEM_NONE && !IsNumber(value)) {
        m_itemReferences.push_back(
            {kind, value, record.display, record.inPack ? 0 : line, ItemExists(kind, value), record.tag});
    }
    return true;
}

void Checker::ApplyStyle(const Record& record, int line, const std::string& id, int32_t elementID,
                         const std::string& style) {
    CVelmorGUI& gui = *GetGUI();
    int32_t slot = gui.GetStyles().FindByName(style);
    if (slot < 0) {
        const Record* styleRecord = FindRecord(style);
        if (styleRecord && styleRecord->type == "GUISTYLEDATA" && !m_loaded.count(style)) {
            try {
                m_engine->LoadResource(style.c_str());
            } catch (...) {
                Say(*styleRecord, 0, style + ": " + CurrentErrorText());
            }
        }
        slot = gui.GetStyles().FindByName(style);
    }
    if (slot < 0) {
        Say(record, line, "unknown style " + Quoted(style) + " on " + id);
        return;
    }
    for (const auto& [paramID, value] : *gui.GetStyles().GetItem(slot)) {
        try {
            gui.SetElementParam(elementID, paramID, value);
        } catch (...) {
            Say(record, line, "style " + Quoted(style) + " on " + id + ": " + CurrentErrorText());
        }
    }
}

bool Checker::BuildElement(const Record& record, CXMLNode& node, const std::string& parent, int32_t parentID,
                           int32_t& elementID) {
    CVelmorGUI& gui = *GetGUI();
    const SourceText& source = Source(record);
    const std::string& id = node.GetAttribute("id");
    const std::string& className = node.GetName();
    const size_t tagPos = source.ElementPos(id, m_idOccurrences[{record.display, id}]++);
    const int line = source.LineAt(tagPos);
    if (id.empty()) {
        Say(record, line, "a <" + className + "> element without an id");
        return false;
    }
    if (const auto first = m_elements.find(id); first != m_elements.end()) {
        const ElementInfo& before = first->second;
        // A later file may reopen an element to add children; anything else
        // declares the ID twice.
        if (before.display == record.display || before.className != className || before.parent != parent)
            Say(record, line, "duplicate element ID " + Quoted(id) + " (first declared in " + before.display +
                                      (before.line ? ":" + std::to_string(before.line) : std::string()) + ")");
    } else {
        m_elements[id] = {className, parent, record.display, record.inPack ? 0 : line, {}};
    }
    elementID = gui.GetElementID(id);
    if (elementID < 0) {
        try {
            elementID = gui.AddNewElement(className, id, parentID);
        } catch (...) {
            Say(record, line, id + ": " + CurrentErrorText());
            return false;
        }
    }
    for (const std::string& name : node.GetAttributeOrder()) {
        if (name == "id") continue;
        const std::string& value = node.GetAttribute(name);
        const int attributeLine = source.LineAt(source.AttributePos(tagPos, name));
        if (name == "style") {
            ApplyStyle(record, attributeLine, id, elementID, value);
            continue;
        }
        m_elements[id].params[name] = value;
        if (!CheckParam(record, attributeLine, id, name, value)) continue;
        try {
            int32_t paramID = 0;
            CGUIValue converted;
            if (ProcessParam(name, value, paramID, converted)) gui.SetElementParam(elementID, paramID, converted);
        } catch (...) {
            Say(record, attributeLine, id + ": " + CurrentErrorText());
        }
    }
    return true;
}

void Checker::LoadGUIDataRecord(const Record& record, CXMLNode& root) {
    if (root.GetName() != "desktop") {
        Say(record, 0, "GUI data's root element is <" + root.GetName() + ">, not <desktop>");
        return;
    }
    struct Pending {
        CXMLNode* node;
        std::string parent;
        int32_t parentID;
    };
    std::vector<Pending> pending;
    for (int i = root.GetChildCount() - 1; i >= 0; --i) pending.push_back({root.GetChild(i), "DESKTOP", 0});
    while (!pending.empty()) {
        const Pending current = pending.back();
        pending.pop_back();
        int32_t elementID = -1;
        if (!BuildElement(record, *current.node, current.parent, current.parentID, elementID)) continue;
        const std::string id = current.node->GetAttribute("id");
        for (int i = current.node->GetChildCount() - 1; i >= 0; --i)
            pending.push_back({current.node->GetChild(i), id, elementID});
    }
}

void Checker::LoadGUIStyleRecord(const Record& record, CXMLNode& root) {
    if (root.GetName() != "guistyle") {
        Say(record, 0, "GUI style's root element is <" + root.GetName() + ">, not <guistyle>");
        return;
    }
    const SourceText& source = Source(record);
    std::unique_ptr<V2DGUISTYLE> style(new V2DGUISTYLE);
    for (const std::string& name : root.GetAttributeOrder()) {
        const std::string& value = root.GetAttribute(name);
        const int line = source.LineAt(source.AnyAttributePos(name));
        if (!CheckParam(record, line, "style " + Quoted(record.id), name, value)) continue;
        try {
            int32_t paramID = 0;
            CGUIValue converted;
            if (ProcessParam(name, value, paramID, converted)) style->emplace_back(paramID, converted);
        } catch (...) {
            Say(record, line, CurrentErrorText());
        }
    }
    if (style->empty()) Say(record, 0, "the style " + Quoted(record.id) + " sets nothing");
    TItemsManager<V2DGUISTYLE>& styles = GetGUI()->GetStyles();
    if (styles.FindByName(record.id) < 0) styles.Add(std::move(style), record.id, 0);
}

void Checker::LoadGUIEnumRecord(const Record& record, CXMLNode& root) {
    if (root.GetName() != "guienum") {
        Say(record, 0, "GUI enumeration's root element is <" + root.GetName() + ">, not <guienum>");
        return;
    }
    std::unique_ptr<CGUIEnum> guiEnum(new CGUIEnum);
    for (const std::string& name : root.GetAttributeOrder()) guiEnum->Add(name, root.GetAttribute(name));
    TItemsManager<CGUIEnum>& enums = GetGUI()->GetEnums();
    if (enums.FindByName(record.id) < 0) enums.Add(std::move(guiEnum), record.id, 0);
}

// Programs load tag by tag, and each tag in the order its resources are
// declared (descriptors in name order); velmor-run loads tag 1 only. So the
// advice that holds for every program is the GUI data's own tag, earlier.
std::string Checker::LoadOrderAdvice(const ItemReference& reference) const {
    const std::string what = std::string(KindName(reference.kind)) + " " + Quoted(reference.name);
    const std::string fix = ": declare it before the GUI data, with the GUI data's tag " +
                            std::to_string(reference.guiTag) + " (a tag loads in the order it is declared)";
    const Record* target = FindRecord(reference.name);
    if (target && target->tag > reference.guiTag)
        return what + " has tag " + std::to_string(target->tag) + ", which loads after this GUI data" + fix;
    return what + " loads only after this GUI data" + fix;
}

void Checker::CheckReferences() {
    for (const ItemReference& reference : m_itemReferences) {
        if (reference.presentWhenLoaded) continue;
        const bool later = ItemExists(reference.kind, reference.name);
        m_report.Add(reference.display, reference.line,
                     later ? LoadOrderAdvice(reference)
                           : "unknown " + std::string(KindName(reference.kind)) + " " + Quoted(reference.name));
    }
    for (const ActionReference& reference : m_actionReferences) {
        if (GetGUI()->FindActionFunction(reference.name) || m_engine->ScriptHasFunction(reference.name)) continue;
        m_report.Add(reference.display, reference.line,
                     "action " + Quoted(reference.name) + " names neither a native action nor a script function");
    }
}

void Checker::CheckGame() {
    // What is missing altogether is the data folder's business: its
    // descriptor (or pack) names it.
    const std::string& where = m_mainFile;
    const auto need = [&](const std::string& message) { m_report.Add(where, 0, "the game needs " + message); };
    for (const GameResource& resource : kQubleResources) {
        if (!ItemExists(resource.kind, resource.id))
            need(std::string("the ") + KindName(resource.kind) + " " + Quoted(resource.id));
    }
    const Record* music = FindRecord("MUS_GAME");
    if (!music || music->type != "MUSIC") need("the music " + Quoted("MUS_GAME"));
    for (const Record& record : m_records) {
        if ((record.type == "GUIDATA" || record.type == "XMLDATA") && (record.tag < 1 || record.tag > 8))
            m_report.Add(record.declaredIn, record.line,
                         record.id + ": the game loads tags 1 to 8 only; this has tag " + std::to_string(record.tag));
    }
    CVelmorGUI& gui = *GetGUI();
    for (const GameElement& element : kQubleElements) {
        if (m_elements.count(element.id) == 0 || gui.GetElementID(element.id) < 0) {
            need("the GUI element " + Quoted(element.id));
            continue;
        }
        if (*element.param == '\0') continue;
        try {
            gui.GetElementParam(element.id, element.param);
        } catch (...) {
            const ElementInfo& info = m_elements[element.id];
            m_report.Add(info.display, info.line,
                         "the game uses " + Quoted(element.param) + " of " + element.id + ", which a <" +
                             info.className + "> does not have");
        }
    }
    std::set<std::string> bound;
    for (const ActionReference& reference : m_actionReferences) bound.insert(reference.name);
    for (const char* action : kQubleActions)
        if (!bound.count(action)) need("the action " + Quoted(action) + " bound to an element");

    for (const GameSetting& setting : kQubleSettings) {
        const auto it = m_settings.find(setting.name);
        if (it == m_settings.end()) {
            need("the setting " + Quoted(setting.name) + " in its XML data");
            continue;
        }
        const std::string& text = it->second.value;
        char* end = nullptr;
        const double value = setting.integer ? static_cast<double>(std::strtol(text.c_str(), &end, 10))
                                             : static_cast<double>(std::strtof(text.c_str(), &end));
        const bool number = end != text.c_str() && IsNumber(text) && (!setting.integer || *end == '\0');
        if (!number || value < setting.min || value > setting.max) {
            std::ostringstream range;
            range << setting.min;
            if (setting.max != setting.min) range << " to " << setting.max;
            m_report.Add(it->second.display, it->second.line,
                         Quoted(setting.name) + " is " + Quoted(text) + "; the game needs " +
                             (setting.integer ? "a whole number " : "a number ") + range.str());
        }
    }
    // The board grows from the flex element's cell to the right and down.
    const auto board = m_elements.find("FLX_MW_GAMEBOARD");
    const auto sizeX = m_settings.find("sizex"), sizeY = m_settings.find("sizey");
    // (A cell of the wrong shape is reported as such already.)
    if (board != m_elements.end() && sizeX != m_settings.end() && sizeY != m_settings.end() &&
        gui.GetElementID("FLX_MW_GAMEBOARD") >= 0 &&
        ShapeProblem(VT_RECT, "coords", board->second.params["coords"]).empty()) {
        try {
            const GUIRECT cell = gui.GetElementParam("FLX_MW_GAMEBOARD", "coords").GetRect();
            const float right = cell.x + cell.w * static_cast<float>(std::atoi(sizeX->second.value.c_str()));
            const float bottom = cell.y + cell.h * static_cast<float>(std::atoi(sizeY->second.value.c_str()));
            if (cell.w <= 0 || cell.h <= 0)
                m_report.Add(board->second.display, board->second.line,
                             "the board's cell (coords of FLX_MW_GAMEBOARD) has no area");
            else if (cell.x < 0 || cell.y < 0 || right > kScreenWidth || bottom > kScreenHeight)
                m_report.Add(board->second.display, board->second.line,
                             "the board (sizex by sizey cells of FLX_MW_GAMEBOARD) does not fit the 800x600 screen");
        } catch (...) {
            // The missing parameter is reported above.
        }
    }
}

// The folder under test appears as `link`: a symbolic link where the system
// allows one, else a copy (Windows without the privilege).
void LinkOrCopyFolder(const fs::path& target, const fs::path& link) {
    std::error_code ec;
    fs::create_directory_symlink(target, link, ec);
    if (!ec) return;
    ec.clear();
    fs::copy(target, link, fs::copy_options::recursive, ec);
    if (ec) throw std::runtime_error("cannot link the data folder: " + ec.message());
}

void Checker::Run() {
    g_pChecker = this;
    // The engine reads ./DATA/: a scratch folder holds the log and a DATA
    // link to the folder under test. The engine starts before the link
    // exists, with no resources, and the records are then added one by one
    // so that a bad one cannot stop the others.
    const std::string scratch = platform::MakeScratchFolder("velmor-check");
    std::error_code ec;
    const fs::path started = fs::current_path(ec);
    const fs::path target = fs::absolute(m_folder, ec);
    if (!scratch.empty()) fs::current_path(fs::u8path(scratch), ec);
    if (scratch.empty() || ec) {
        m_report.Add(m_folder, 0, "cannot make a scratch folder");
        return;
    }
    try {
        StartEngine();
        LinkOrCopyFolder(target, "DATA");
        const bool xmlMode = !FilesWithExtension("DATA", ".xml").empty();
        m_mode = xmlMode ? RESMODE_XML : FilesWithExtension("DATA", ".pak").empty() ? RESMODE_NONE : RESMODE_PAK;
        if (m_mode == RESMODE_NONE) m_report.Add(".", 0, "no resource descriptors (*.xml) or packs (*.pak)");
        m_engine->m_res.iMode = m_mode;
        m_engine->SetXMLEncryptMode(m_mode == RESMODE_PAK);
        const std::vector<std::string> mainFiles = FilesWithExtension("DATA", xmlMode ? ".xml" : ".pak");
        if (!mainFiles.empty()) m_mainFile = mainFiles.front();
        if (m_mode == RESMODE_XML) ScanDescriptors();
        if (m_mode == RESMODE_PAK) ScanPacks();
        AddRecordsToEngine();
        LoadAll();
        CheckReferences();
        if (m_game) CheckGame();
    } catch (...) {
        m_report.Add(".", 0, "the check stopped: " + CurrentErrorText());
    }
    StopEngine();
    fs::current_path(started, ec);  // a folder in use cannot be removed everywhere
    fs::remove_all(fs::u8path(scratch), ec);
}

int Usage() {
    std::fprintf(stderr, "usage: velmor-check [DIR] [--game quble] [--json]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = "DATA";
    bool game = false;
    bool json = false;
    bool folderGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            json = true;
        } else if (arg == "--game") {
            if (i + 1 >= argc || std::string(argv[i + 1]) != "quble") return Usage();
            game = true;
            ++i;
        } else if (arg.rfind("--", 0) == 0 || folderGiven) {
            return Usage();
        } else {
            folder = arg;
            folderGiven = true;
        }
    }
    std::error_code ec;
    const std::string absolute = fs::absolute(folder, ec).string();
    Checker checker(absolute, game);
    Report notAFolder;
    if (!fs::is_directory(absolute, ec)) {
        notAFolder.Add(folder, 0, "not a folder");
    } else {
        checker.Run();
    }
    const Report& report = fs::is_directory(absolute, ec) ? checker.GetReport() : notAFolder;
    if (json) {
        std::string out = "{\"folder\": " + JsonString(folder) + ", \"problems\": [";
        for (size_t i = 0; i < report.Problems().size(); ++i) {
            const Problem& p = report.Problems()[i];
            out += (i ? ", " : "") + std::string("{\"file\": ") + JsonString(p.file) +
                   ", \"line\": " + (p.line ? std::to_string(p.line) : std::string("null")) +
                   ", \"message\": " + JsonString(p.message) + "}";
        }
        std::printf("%s]}\n", out.c_str());
    } else {
        for (const Problem& p : report.Problems())
            std::printf("%s%s: %s\n", p.file.c_str(), p.line ? (":" + std::to_string(p.line)).c_str() : "",
                        p.message.c_str());
    }
    return report.Problems().empty() ? 0 : 1;
}
