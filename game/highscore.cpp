#include "highscore.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "cvelmor.h"
#include "engineroutine.h"
#include "gameinit_routine.h"
#include "os.h"
#include "v2dgui_cvelmorgui_main.h"

namespace {

const char* const kFile = "highscore";
const char* const kPath = "DATA/qbhs.dat";
const char* const kTempPath = "DATA/qbhs.dat.new";
// Longer names than anyone types are damaged data, not a name.
const size_t kMaxNameBytes = 4096;

[[noreturn]] void ThrowGame(const char* message, uint32_t line) {
    throw CEHSException(EHS_TYPE_GAME, 0, message, kFile, line);
}

float FloatFromLittleEndian(const unsigned char bytes[4]) {
    const uint32_t bits = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                          static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void FloatToLittleEndian(float value, unsigned char bytes[4]) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
}

// The name up to its zero byte; false when the file ends first.
bool ReadName(FILE* file, std::string& name) {
    for (;;) {
        const int c = std::fgetc(file);
        if (c == EOF || name.size() > kMaxNameBytes) return false;
        if (c == 0) return true;
        name.push_back(static_cast<char>(c));
    }
}

// What is wrong with the file's bytes, or null when they hold a best result.
const char* Damage(bool nameEnded, const std::string& name, bool timeRead, float time) {
    if (!nameEnded || name.empty()) return "Error in LoadFile: Invalid player name!";
    if (!timeRead || !(time > 0.0f) || std::isinf(time)) return "Error in LoadFile: Invalid count time!";
    return nullptr;
}

// A damaged file is the player's data all the same: it is moved aside under
// the first free name qbhs.dat.damaged, qbhs.dat.damaged2, ... and never
// deleted, so the game can start again with no best result.
void SetDamagedFileAside(const char* problem) {
    std::string aside;
    for (int n = 1;; ++n) {
        aside = std::string(kPath) + ".damaged" + (n == 1 ? "" : std::to_string(n));
        std::error_code ec;
        if (!std::filesystem::exists(std::filesystem::symlink_status(aside, ec))) break;
    }
    std::string message = std::string("The best result file is damaged (") + problem + ")";
    if (std::rename(kPath, aside.c_str()) == 0)
        message += "; it is kept as " + aside + " and the game starts with no best result.";
    else
        message += " and cannot be moved aside; the game starts with no best result.";
    CVelmor::LogEntry(message.c_str(), LOG_WARNING);
}

void SetDefaults() {
    g_strBestName = "Unknown";
    g_fBestTime = 100000.0f;
}

}  // namespace

std::string g_strBestName;
float g_fBestTime = 0.0f;

bool LoadHighScore() {
    SetCheckpoint(1021, __LINE__);
    CVelmor::LogLine("Loading highscore data...");
    std::error_code ec;
    if (!std::filesystem::exists(kPath, ec)) {
        // There is no search handle to close when nothing was found.
        CVelmor::LogEntry("Can't close FindFirstFile!", LOG_WARNING);
        SetDefaults();
        return false;
    }
    FILE* file = std::fopen(kPath, "rb");
    if (file == nullptr) ThrowGame("Can't open file qbhs.dat!", 113);
    std::string name;
    const bool nameEnded = ReadName(file, name);
    unsigned char timeBytes[4] = {};
    const bool timeRead = nameEnded && std::fread(timeBytes, 1, 4, file) == 4;
    std::fclose(file);
    const float time = FloatFromLittleEndian(timeBytes);
    if (const char* problem = Damage(nameEnded, name, timeRead, time)) {
        SetDamagedFileAside(problem);
        SetDefaults();
        return false;
    }
    g_strBestName = name;
    g_fBestTime = time;
    return true;
}

void SaveHighScore() {
    SetCheckpoint(1021, __LINE__);
    FILE* file = std::fopen(kTempPath, "wb");
    if (file == nullptr) ThrowGame("Can't writing file qbhs.dat!", 168);
    unsigned char timeBytes[4];
    FloatToLittleEndian(g_fBestTime, timeBytes);
    bool written = std::fwrite(g_strBestName.data(), 1, g_strBestName.size(), file) == g_strBestName.size();
    written = written && std::fputc(0, file) == 0;
    written = written && std::fwrite(timeBytes, 1, 4, file) == 4;
    written = written && platform::FlushToDisk(file);
    written = std::fclose(file) == 0 && written;
    if (!written || !platform::ReplaceFile(kTempPath, kPath)) {
        std::remove(kTempPath);
        ThrowGame("Can't writing file qbhs.dat!", 168);
    }
}

void ShowBestResult() {
    SetCheckpoint(1021, __LINE__);
    if (!LoadHighScore()) {
        g_pGUIManager->ExecuteElementCommand("TILE_MW_BESTRESULT", 2);
        return;
    }
    g_pGUIManager->ExecuteElementCommand("TILE_MW_BESTRESULT", 1);
    g_pGUIManager->SetElementParam("L_MW_BESTRESULT_NAME", 53, CGUIValue(g_strBestName));
    g_pGUIManager->SetElementParam("L_MW_BESTRESULT_TIME", 53, CGUIValue(FloatToString(g_fBestTime)));
}
