// A subsystem's stop frees each of its item managers with the same log step.
#pragma once

#include <memory>
#include <string>

#include "cvelmor.h"

// Logs "Destroying <name> Manager...", frees every item and drops the
// manager; "Failed." when the manager was never created.
template <typename Manager>
void DestroyItemsManager(std::unique_ptr<Manager>& manager, const char* name) {
    CVelmor::LogEntry(std::string("Destroying ") + name + " Manager...", LOG_STEP);
    if (!manager) {
        CVelmor::LogEntry("Failed.", LOG_RESULT);
        return;
    }
    manager->FreeAll();
    manager.reset();
    CVelmor::LogEntry("Done.", LOG_RESULT);
}
