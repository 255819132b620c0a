// The player's choice of how the game is shown: on the whole screen (the
// default) or in a framed window that can be resized and maximised. The
// engine always asks for a full-screen window of its 800x600 picture; the
// window system shows such a window by this choice, and Alt+Enter switches
// between the two at any time. The choice comes from the command line or a
// small settings file in the folder the program runs in, and is written
// back there when the program ends.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

struct DisplayChoice {
    bool windowed = false;
    // The window's client size; 0 x 0 for the default size.
    int width = 0;
    int height = 0;
};

// The choice in force. The window system reads it when it creates a
// full-screen window and keeps it up to date as the player switches and
// resizes.
void SetDisplayChoice(const DisplayChoice& choice);
DisplayChoice GetDisplayChoice();
// Whether a window was shown by the choice in this run.
bool DisplayChoiceShown();
void MarkDisplayChoiceShown();

// The default window: the biggest whole multiple of the picture that fits
// within three quarters of the desktop's width and height (at least one).
void DefaultWindowSize(int desktopW, int desktopH, int pictureW, int pictureH, int& width, int& height);

// Problems met before the engine's log exists (a damaged settings file);
// the engine logs them as warnings once its window is open.
void AddDisplayNote(const std::string& note);
std::vector<std::string> TakeDisplayNotes();

// The file: lines "display=window" or "display=fullscreen", "width=N",
// "height=N"; blank lines and lines starting with '#' are skipped. False,
// with the reason, when the file exists but is damaged; the choice is then
// left as it was. A missing file is no problem.
bool LoadDisplaySettings(const std::string& path, DisplayChoice& choice, std::string& problem);
bool SaveDisplaySettings(const std::string& path, const DisplayChoice& choice);
extern const char* const kDisplaySettingsFile;

// The command line of the game and of velmor-run.
struct CommandLine {
    enum class Action { Run, Help, Version, Error } action = Action::Run;
    enum class Display { Remembered, Windowed, FullScreen } display = Display::Remembered;
    std::string error;  // for Action::Error
};
CommandLine ParseCommandLine(int argc, const char* const* argv);

// Runs `run` with the display chosen by the command line, else by the
// settings file, and remembers the choice afterwards (only when a window
// was shown, so a second copy that gave way changes nothing). Help and
// version are printed to standard output (status 0), a wrong command line
// names the problem and the usage on standard error (status 2).
int RunWithDisplayOptions(int argc, const char* const* argv, const std::string& program, const std::string& version,
                          const std::function<bool()>& enterFolder, const std::function<int()>& run);

}  // namespace platform
