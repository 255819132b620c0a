#include "system.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

namespace {
std::unique_ptr<System>& CurrentSystem() {
    static std::unique_ptr<System> system;
    return system;
}
}  // namespace

System& GetSystem() {
    auto& system = CurrentSystem();
    if (!system) system = CreateSdlSystem();
    return *system;
}

void SetSystem(std::unique_ptr<System> system) { CurrentSystem() = std::move(system); }

// An abstract-namespace socket: the name lives only while the socket is open,
// so a crashed process never leaves a stale lock behind. Abstract names are
// shared by the whole machine, so the user id goes into the name: one lock
// per user. VELMOR_INSTANCE_LOCK, when set, replaces the given name (tests
// take a lock of their own with it).
InstanceLock::InstanceLock(const std::string& name) {
    const char* override = std::getenv("VELMOR_INSTANCE_LOCK");
    const std::string base = override && *override ? override : name;
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
    m_fd = fd;
}

InstanceLock::~InstanceLock() {
    if (m_fd >= 0) close(m_fd);
}

}  // namespace platform
