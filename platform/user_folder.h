// Where an installed program runs: its executable's folder, the installed
// data beside it, and the per-user folder (under the XDG data home, or the
// roaming application data on Windows) in which it reads that data and
// writes its own files. Paths are UTF-8.
#pragma once

#include <string>

namespace platform {

// The folder of the running executable; empty when it cannot be found.
std::string ExecutableFolder();

// True when `path` names a folder (symbolic links followed).
bool IsFolder(const std::string& path);

// $XDG_DATA_HOME when it is set to an absolute path, else ~/.local/share
// ($HOME, or the password database when HOME is unset); %APPDATA% on
// Windows. Empty when no home can be found.
std::string UserDataHome();

// The game's own folder in the user data home, named as the system's custom
// has it: ~/.local/share/quble, %APPDATA%\Quble. Empty without a home.
std::string UserGameFolder(const std::string& title);

// Makes `userFolder` (and its DATA/ folder) when missing, links every
// resource pack (*.pak) of `installedData` into DATA/ so the engine finds
// the installed data there, removes links to packs that are no longer
// installed, and makes `userFolder` the working directory. Where the system
// refuses symbolic links (Windows without the privilege) a pack is linked
// hard, or else copied, and copied again when the installed one changes.
// Files the user put into DATA/ are left alone. False with a message in
// `error` on failure.
bool EnterUserFolder(const std::string& userFolder, const std::string& installedData, std::string& error);

}  // namespace platform
