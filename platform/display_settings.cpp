#include "display_settings.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "os.h"

namespace platform {

const char* const kDisplaySettingsFile = "display.cfg";

namespace {

DisplayChoice g_choice;
bool g_shown = false;
std::vector<std::string> g_notes;

// Larger than any screen: a size beyond it is damage, not a wish.
const int kMaxWindowSide = 16384;
// Bigger than the file could ever be when written by the program.
const std::streamoff kMaxFileBytes = 4096;

bool ParseSide(const std::string& text, int& side) {
    if (text.empty() || text.size() > 5) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    side = std::atoi(text.c_str());
    return side >= 1 && side <= kMaxWindowSide;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// One "key=value" line into `choice`; false when it is not one the file may hold.
bool ApplyLine(const std::string& line, DisplayChoice& choice, bool& sizeGiven) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return false;
    const std::string key = Trimmed(line.substr(0, equals)), value = Trimmed(line.substr(equals + 1));
    if (key == "display") {
        if (value != "window" && value != "fullscreen") return false;
        choice.windowed = value == "window";
        return true;
    }
    if (key == "width" || key == "height") {
        sizeGiven = true;
        return ParseSide(value, key == "width" ? choice.width : choice.height);
    }
    return false;
}

std::string Usage(const std::string& program) {
    return "Usage: " + program +
           " [--windowed | --fullscreen]\n"
           "  --windowed    show the game in a window (Alt+Enter switches at any time)\n"
           "  --fullscreen  show the game on the whole screen (the default)\n"
           "  --help        print this help and exit\n"
           "  --version     print the version and exit\n"
           "Without an option the choice made last time is used; it is kept in " +
           std::string(kDisplaySettingsFile) + " beside gamelog.txt.\n";
}

}  // namespace

void SetDisplayChoice(const DisplayChoice& choice) { g_choice = choice; }
DisplayChoice GetDisplayChoice() { return g_choice; }
bool DisplayChoiceShown() { return g_shown; }
void MarkDisplayChoiceShown() { g_shown = true; }

void DefaultWindowSize(int desktopW, int desktopH, int pictureW, int pictureH, int& width, int& height) {
    int scale = 1;
    if (pictureW > 0 && pictureH > 0) {
        const long long fitW = static_cast<long long>(desktopW) * 3 / 4 / pictureW;
        const long long fitH = static_cast<long long>(desktopH) * 3 / 4 / pictureH;
        const long long fit = fitW < fitH ? fitW : fitH;
        scale = fit > 1 ? static_cast<int>(fit < 64 ? fit : 64) : 1;
    }
    width = pictureW * scale;
    height = pictureH * scale;
}

void AddDisplayNote(const std::string& note) { g_notes.push_back(note); }

std::vector<std::string> TakeDisplayNotes() {
    std::vector<std::string> notes;
    notes.swap(g_notes);
    return notes;
}

bool LoadDisplaySettings(const std::string& path, DisplayChoice& choice, std::string& problem) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return true;
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    file.seekg(0, std::ios::beg);
    if (size < 0 || size > kMaxFileBytes) {
        problem = "The display settings file " + path + " is damaged (too long) and is ignored.";
        return false;
    }
    DisplayChoice read;
    bool sizeGiven = false;
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        const std::string text = Trimmed(line);
        if (text.empty() || text[0] == '#') continue;
        if (!ApplyLine(text, read, sizeGiven)) {
            problem = "The display settings file " + path + " is damaged (line " + std::to_string(number) +
                      ") and is ignored.";
            return false;
        }
    }
    if (sizeGiven && (read.width == 0 || read.height == 0)) {
        problem = "The display settings file " + path + " is damaged (a window size needs both sides) and is ignored.";
        return false;
    }
    choice = read;
    return true;
}

bool SaveDisplaySettings(const std::string& path, const DisplayChoice& choice) {
    const std::string temporary = path + ".new";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file) return false;
        file << "# How the game is shown: display=window or display=fullscreen, and the window's size.\n"
             << "display=" << (choice.windowed ? "window" : "fullscreen") << "\n";
        if (choice.width > 0 && choice.height > 0) file << "width=" << choice.width << "\nheight=" << choice.height << "\n";
        file.flush();
        if (!file) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (!ReplaceFile(temporary, path)) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

CommandLine ParseCommandLine(int argc, const char* const* argv) {
    CommandLine command;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i] ? argv[i] : "";
        if (argument == "--help" || argument == "-h") {
            command.action = CommandLine::Action::Help;
            return command;
        }
        if (argument == "--version") {
            command.action = CommandLine::Action::Version;
            return command;
        }
        const bool windowed = argument == "--windowed", fullScreen = argument == "--fullscreen";
        if (!windowed && !fullScreen) {
            command.action = CommandLine::Action::Error;
            command.error = "unknown option '" + argument + "'";
            return command;
        }
        const CommandLine::Display display =
            windowed ? CommandLine::Display::Windowed : CommandLine::Display::FullScreen;
        if (command.display != CommandLine::Display::Remembered && command.display != display) {
            command.action = CommandLine::Action::Error;
            command.error = "--windowed and --fullscreen exclude each other";
            return command;
        }
        command.display = display;
    }
    return command;
}

namespace {

int RunProgram(int argc, const char* const* argv, const std::string& program, const std::string& version,
               const std::function<bool()>& enterFolder, const std::function<int()>& run) {
    const CommandLine command = ParseCommandLine(argc, argv);
    switch (command.action) {
        case CommandLine::Action::Help:
            std::cout << Usage(program);
            return 0;
        case CommandLine::Action::Version:
            std::cout << program << " " << version << "\n";
            return 0;
        case CommandLine::Action::Error:
            std::cerr << program << ": " << command.error << "\n" << Usage(program);
            return 2;
        case CommandLine::Action::Run:
            break;
    }
    if (!enterFolder()) return 1;
    DisplayChoice choice;
    std::string problem;
    if (!LoadDisplaySettings(kDisplaySettingsFile, choice, problem)) AddDisplayNote(problem);
    if (command.display != CommandLine::Display::Remembered)
        choice.windowed = command.display == CommandLine::Display::Windowed;
    SetDisplayChoice(choice);
    g_shown = false;
    const int status = run();
    if (DisplayChoiceShown() && !SaveDisplaySettings(kDisplaySettingsFile, GetDisplayChoice()))
        std::cerr << program << ": cannot write " << kDisplaySettingsFile << "\n";
    return status;
}

}  // namespace

int RunWithDisplayOptions(int argc, const char* const* argv, const std::string& program, const std::string& version,
                          const std::function<bool()>& enterFolder, const std::function<int()>& run) {
    UseParentConsole();
    const int status = RunProgram(argc, argv, program, version, enterFolder, run);
#if defined(__EMSCRIPTEN__)
    // A main that waited for the browser on the way returns its status to
    // nobody: the page learns it from the exit.
    std::exit(status);
#endif
    return status;
}

}  // namespace platform
