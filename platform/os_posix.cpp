#include "os.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "system.h"

#if defined(__EMSCRIPTEN__)
#include <emscripten.h>

#include "page.h"
#endif

namespace platform {

// In the browser the file system lives in memory; a replaced file (the best
// result, the display settings) goes to the lasting storage at once.
bool ReplaceFile(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0) return false;
#if defined(__EMSCRIPTEN__)
    PersistPlayerFiles();
#endif
    return true;
}

std::FILE* CreateNewFile(const std::string& path) { return std::fopen(path.c_str(), "wbx"); }

bool FlushToDisk(std::FILE* file) { return std::fflush(file) == 0 && ::fsync(fileno(file)) == 0; }

void AppendToFileInPlace(const char* path, const char* bytes, size_t size) {
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, bytes + written, size - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    close(fd);
}

void WriteToStandardErrorInPlace(const char* bytes, size_t size) {
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(STDERR_FILENO, bytes + written, size - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
}

std::tm LocalTime(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return local;
}

long LocalUtcOffset(std::time_t when) { return LocalTime(when).tm_gmtoff; }

void SleepMicroseconds(uint64_t microseconds) {
#if defined(__EMSCRIPTEN__)
    // The browser must get control back to run anything else meanwhile.
    emscripten_sleep(static_cast<unsigned>((microseconds + 999) / 1000));
#else
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(microseconds / 1000000u);
    ts.tv_nsec = static_cast<long>(microseconds % 1000000u) * 1000;
    // A signal cuts the sleep short; the rest is slept on.
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &ts, &ts) == EINTR) {
    }
#endif
}

void UseParentConsole() {}

std::string MakeScratchFolder(const std::string& prefix) {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / (prefix + "-XXXXXX")).string();
    if (ec) pattern = "/tmp/" + prefix + "-XXXXXX";
    const char* made = mkdtemp(&pattern[0]);
    return made ? std::string(made) : std::string();
}

// An abstract-namespace socket: the name lives only while the socket is open,
// so a crashed process never leaves a stale lock behind. Abstract names are
// shared by the whole machine, so the user id goes into the name: one lock
// per user. VELMOR_INSTANCE_LOCK, when set, replaces the given name (tests
// take a lock of their own with it).
InstanceLock::InstanceLock(const std::string& name) {
    const char* override = std::getenv("VELMOR_INSTANCE_LOCK");
    const std::string base = override && *override ? override : name;
#if defined(__EMSCRIPTEN__)
    // Pages of one site share the player's storage: one page at a time.
    m_acquired = TakePageLock(base);
#else
    const std::string full = base + " uid " + std::to_string(getuid());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const size_t maxName = sizeof(addr.sun_path) - 1;
    const size_t len = full.size() < maxName ? full.size() : maxName;
    std::memcpy(addr.sun_path + 1, full.data(), len);
    const socklen_t addrLen = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + len);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), addrLen) != 0) {
        close(fd);
        return;
    }
    m_handle = fd;
    m_acquired = true;
#endif
}

InstanceLock::~InstanceLock() {
#if !defined(__EMSCRIPTEN__)
    if (m_acquired) close(static_cast<int>(m_handle));
#endif
}

}  // namespace platform
