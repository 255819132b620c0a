#include "user_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace platform {

namespace {

bool IsPack(const fs::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return extension == ".pak";
}

// The installed packs by file name, each with its absolute, cleaned path.
bool ListInstalledPacks(const fs::path& installedData, std::set<std::pair<std::string, fs::path>>& packs,
                        std::string& error) {
    std::error_code ec;
    const fs::path folder = fs::weakly_canonical(installedData, ec);
    fs::directory_iterator it(folder, ec), end;
    if (ec) {
        error = "Cannot read the installed game data in " + installedData.string() + ": " + ec.message();
        return false;
    }
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        std::error_code typeError;
        if (it->is_regular_file(typeError) && IsPack(it->path()))
            packs.emplace(it->path().filename().string(), it->path());
    }
    return true;
}

bool LinkPacks(const fs::path& dataFolder, const std::set<std::pair<std::string, fs::path>>& packs,
               std::string& error) {
    std::error_code ec;
    // Links of ours that point elsewhere (an older install, another prefix)
    // go; the user's own files stay.
    for (fs::directory_iterator it(dataFolder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        if (!it->is_symlink(linkError) || !IsPack(it->path())) continue;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (packs.count({it->path().filename().string(), target}) == 0) fs::remove(it->path(), linkError);
    }
    for (const auto& [name, target] : packs) {
        const fs::path link = dataFolder / name;
        std::error_code existsError;
        if (fs::symlink_status(link, existsError).type() != fs::file_type::not_found) continue;
        fs::create_symlink(target, link, ec);
        if (ec) {
            error = "Cannot link the game data into " + dataFolder.string() + ": " + ec.message();
            return false;
        }
    }
    return true;
}

}  // namespace

std::string ExecutableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::string UserDataHome() {
    // Relative values are invalid by the XDG rules and are ignored.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (!home || home[0] == '\0') {
        const passwd* entry = getpwuid(getuid());
        home = entry ? entry->pw_dir : nullptr;
    }
    if (!home || home[0] == '\0') return std::string();
    return (fs::path(home) / ".local" / "share").string();
}

bool EnterUserFolder(const std::string& userFolder, const std::string& installedData, std::string& error) {
    std::set<std::pair<std::string, fs::path>> packs;
    if (!ListInstalledPacks(installedData, packs, error)) return false;
    if (packs.empty()) {
        error = "No game data is installed in " + installedData;
        return false;
    }
    const fs::path dataFolder = fs::path(userFolder) / "DATA";
    std::error_code ec;
    fs::create_directories(dataFolder, ec);
    if (ec || !IsFolder(dataFolder.string())) {
        error = "Cannot create the folder " + dataFolder.string() + (ec ? ": " + ec.message() : std::string());
        return false;
    }
    if (!LinkPacks(dataFolder, packs, error)) return false;
    if (chdir(userFolder.c_str()) != 0) {
        error = "Cannot enter the folder " + userFolder;
        return false;
    }
    return true;
}

}  // namespace platform
