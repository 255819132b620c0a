#include <cstdio>
#include <string>

#include "display_settings.h"
#include "engineroutine.h"
#include "system.h"
#include "user_folder.h"
#include "vlm_window.h"

namespace {

// Started in a folder that has DATA/ (the repository, the tests), the game
// runs there. Installed and started from anywhere else, it runs in the
// player's own folder, which links the installed data and keeps the log,
// reports, screenshots and best result. Without installed data beside the
// executable (a build folder) it stays where it was started.
bool ChooseGameFolder() {
    if (platform::IsFolder("DATA")) return true;
    const std::string executable = platform::ExecutableFolder();
    if (executable.empty()) return true;
    const std::string installedData = executable + "/" QUBLE_INSTALLED_DATA;
    if (!platform::IsFolder(installedData)) return true;
    const std::string folder = platform::UserGameFolder("Quble");
    std::string error = "Cannot find the home folder for the game's files.";
    if (!folder.empty() && platform::EnterUserFolder(folder, installedData, error)) return true;
    platform::GetSystem().MessageBox(error, "Quble cannot start");
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    return platform::RunWithDisplayOptions(argc, argv, "quble", "1.0", ChooseGameFolder,
                                           [] { return VelmorEntryPoint(GameMain); });
}
