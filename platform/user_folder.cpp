#include "user_folder.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

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

// A copy made where no link could be is brought up to date when the
// installed pack changes (size or time).
bool IsCopyOf(const fs::path& copy, const fs::path& original) {
    std::error_code ec;
    if (fs::is_symlink(copy, ec) || !fs::is_regular_file(copy, ec)) return false;
    const auto copySize = fs::file_size(copy, ec);
    if (ec || copySize != fs::file_size(original, ec) || ec) return false;
    return fs::last_write_time(copy, ec) >= fs::last_write_time(original, ec) && !ec;
}

// Where symbolic links can be made, a file that is not one is the user's
// own; on Windows, where they usually cannot, it is a copy of ours.
#if defined(_WIN32)
constexpr bool kCopiesStandForLinks = true;
#else
constexpr bool kCopiesStandForLinks = false;
#endif

bool LinkPack(const fs::path& target, const fs::path& link, std::error_code& ec) {
    std::error_code existsError;
    const fs::file_type type = fs::symlink_status(link, existsError).type();
    if (type == fs::file_type::symlink) return true;
    if (type != fs::file_type::not_found) {
        if (!kCopiesStandForLinks || type != fs::file_type::regular) return true;
        if (fs::equivalent(target, link, existsError) || IsCopyOf(link, target)) return true;
        return fs::copy_file(target, link, fs::copy_options::overwrite_existing, ec);
    }
    fs::create_symlink(target, link, ec);
    if (!ec) return true;
    ec.clear();
    fs::create_hard_link(target, link, ec);
    if (!ec) return true;
    ec.clear();
    return fs::copy_file(target, link, ec);
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
        if (!LinkPack(target, dataFolder / name, ec)) {
            error = "Cannot link the game data into " + dataFolder.u8string() + ": " + ec.message();
            return false;
        }
    }
    return true;
}

}  // namespace

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(fs::u8path(path), ec);
}

#if defined(_WIN32)
std::string ExecutableFolder() {
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &exe[0], static_cast<DWORD>(exe.size()));
        if (length == 0) return std::string();
        if (length < exe.size()) {
            exe.resize(length);
            return fs::path(exe).parent_path().u8string();
        }
        exe.resize(exe.size() * 2);
    }
}

std::string UserDataHome() {
    const wchar_t* appData = _wgetenv(L"APPDATA");
    return appData && *appData ? fs::path(appData).u8string() : std::string();
}

std::string UserGameFolder(const std::string& title) {
    const std::string home = UserDataHome();
    return home.empty() ? home : (fs::u8path(home) / fs::u8path(title)).u8string();
}
#else
std::string ExecutableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
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

std::string UserGameFolder(const std::string& title) {
    const std::string home = UserDataHome();
    if (home.empty()) return home;
    std::string name = title;
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return (fs::path(home) / name).string();
}
#endif

bool EnterUserFolder(const std::string& userFolder, const std::string& installedData, std::string& error) {
    std::set<std::pair<std::string, fs::path>> packs;
    if (!ListInstalledPacks(fs::u8path(installedData), packs, error)) return false;
    if (packs.empty()) {
        error = "No game data is installed in " + installedData;
        return false;
    }
    const fs::path dataFolder = fs::u8path(userFolder) / "DATA";
    std::error_code ec;
    fs::create_directories(dataFolder, ec);
    if (ec || !IsFolder(dataFolder.string())) {
        error = "Cannot create the folder " + dataFolder.string() + (ec ? ": " + ec.message() : std::string());
        return false;
    }
    if (!LinkPacks(dataFolder, packs, error)) return false;
    fs::current_path(fs::u8path(userFolder), ec);
    if (ec) {
        error = "Cannot enter the folder " + userFolder;
        return false;
    }
    return true;
}

}  // namespace platform
