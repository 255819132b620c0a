#include "system.h"

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

}  // namespace platform
