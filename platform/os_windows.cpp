#include "os.h"
#include "system.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#include <mmsystem.h>
#undef ReplaceFile  // the system's own name for its call

#include <cstdlib>
#include <string>

namespace platform {

namespace {

std::wstring Wide(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], length, nullptr,
                            nullptr);
    return text;
}

// A timer that wakes within a fraction of a millisecond where the system
// has one; null where it does not (the coarse timer is then made fine).
HANDLE FineTimer() {
    static HANDLE timer = [] {
        const DWORD kHighResolution = 0x00000002;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
        HANDLE made = CreateWaitableTimerExW(nullptr, nullptr, kHighResolution, TIMER_ALL_ACCESS);
        if (!made) timeBeginPeriod(1);
        return made;
    }();
    return timer;
}

}  // namespace

bool ReplaceFile(const std::string& from, const std::string& to) {
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::FILE* CreateNewFile(const std::string& path) {
    const int fd = _wopen(Wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (!file) _close(fd);
    return file;
}

bool FlushToDisk(std::FILE* file) { return std::fflush(file) == 0 && _commit(_fileno(file)) == 0; }

void AppendToFileInPlace(const char* path, const char* bytes, size_t size) {
    wchar_t widePath[MAX_PATH * 2];
    if (MultiByteToWideChar(CP_UTF8, 0, path, -1, widePath, MAX_PATH * 2) == 0) return;
    HANDLE file = CreateFileW(widePath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    size_t written = 0;
    while (written < size) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(size - written < 65536 ? size - written : 65536);
        if (!WriteFile(file, bytes + written, chunk, &n, nullptr) || n == 0) break;
        written += n;
    }
    CloseHandle(file);
}

void WriteToStandardErrorInPlace(const char* bytes, size_t size) {
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD n = 0;
    if (error && error != INVALID_HANDLE_VALUE) WriteFile(error, bytes, static_cast<DWORD>(size), &n, nullptr);
}

std::tm LocalTime(std::time_t when) {
    std::tm local{};
    localtime_s(&local, &when);
    return local;
}

long LocalUtcOffset(std::time_t when) {
    std::tm local = LocalTime(when);
    return static_cast<long>(_mkgmtime(&local) - when);
}

void SleepMicroseconds(uint64_t microseconds) {
    if (HANDLE timer = FineTimer()) {
        LARGE_INTEGER due;
        due.QuadPart = -static_cast<LONGLONG>(microseconds * 10);  // relative, in 100 ns
        if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
            WaitForSingleObject(timer, INFINITE);
            return;
        }
    }
    Sleep(static_cast<DWORD>((microseconds + 999) / 1000));
}

void UseParentConsole() {
    const bool outputLeads = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) != FILE_TYPE_UNKNOWN;
    const bool errorLeads = GetFileType(GetStdHandle(STD_ERROR_HANDLE)) != FILE_TYPE_UNKNOWN;
    if ((outputLeads && errorLeads) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (!outputLeads && std::freopen("CONOUT$", "w", stdout)) std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (!errorLeads && std::freopen("CONOUT$", "w", stderr)) std::setvbuf(stderr, nullptr, _IONBF, 0);
}

std::string MakeScratchFolder(const std::string& prefix) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return std::string();
    const std::string base = Narrow(std::wstring(temp, length)) + prefix + "-";
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string folder = base + std::to_string(GetCurrentProcessId()) + "-" +
                                   std::to_string(GetTickCount() + attempt * 7919u);
        if (CreateDirectoryW(Wide(folder).c_str(), nullptr)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return std::string();
}

// A named mutex in the session's namespace, with the user's name in its own
// name: one instance per user. The system closes it when the process ends,
// however it ends.
InstanceLock::InstanceLock(const std::string& name) {
    const char* override = std::getenv("VELMOR_INSTANCE_LOCK");
    std::wstring full = L"Local\\" + Wide(override && *override ? override : name);
    wchar_t user[256 + 1];
    DWORD userLength = 256 + 1;
    if (GetUserNameW(user, &userLength)) full += L" user " + std::wstring(user);
    for (size_t i = 6; i < full.size(); ++i)
        if (full[i] == L'\\') full[i] = L'/';  // only the namespace may have one
    HANDLE mutex = CreateMutexW(nullptr, FALSE, full.c_str());
    if (!mutex) return;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return;
    }
    m_handle = reinterpret_cast<intptr_t>(mutex);
    m_acquired = true;
}

InstanceLock::~InstanceLock() {
    if (m_acquired) CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

}  // namespace platform
