// The running log "gamelog.txt". The file is opened and closed around every
// write so that everything up to the last line survives a crash.
#include <cstdio>

#include "cvelmor.h"

namespace {

const char* const kLogFileName = "gamelog.txt";

const char* const kLevelPrefixes[] = {
    "? ", "   =: ", "  -=: ", "--==: ", "   +: ", " !: ", " !!!: ",
};

const char kSeparatorFill[] = {'-', '=', ':', '!'};

// Appends the given lines (each already ending with its line end).
template <typename WriteLines>
void AppendToLog(WriteLines write) {
    FILE* f = std::fopen(kLogFileName, "ab");  // the same bytes on every system
    if (!f) return;
    write(f);
    std::fclose(f);
}

void PutLine(FILE* f, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fputc('\n', f);
    std::fflush(f);
}

}  // namespace

void CVelmor::LogLine(const std::string& text) {
    AppendToLog([&](FILE* f) { PutLine(f, text); });
}

void CVelmor::LogEntry(const std::string& text, int level) {
    if (level < LOG_UNDEFINED || level > LOG_FATAL) return;
    AppendToLog([&](FILE* f) { PutLine(f, kLevelPrefixes[level] + text); });
}

void CVelmor::LogSeparator(int kind) {
    if (kind < 1 || kind > 4) return;
    const std::string line = "|" + std::string(51, kSeparatorFill[kind - 1]) + "|";
    AppendToLog([&](FILE* f) { PutLine(f, line); });
}

void CVelmor::LogBlankLines(int count) {
    if (count <= 0) return;
    AppendToLog([&](FILE* f) {
        for (int i = 0; i < count; ++i) PutLine(f, std::string());
    });
}
