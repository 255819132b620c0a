// What the engine-level fuzz targets share: a data folder their inputs may
// name, and the headless platform set up for one input and undone afterwards
// (the unit tests replay corpora in their own process).
#pragma once

#include <filesystem>
#include <memory>
#include <string>

class CVelmor;
namespace vd3d {
struct RecordingControl;
}

// A folder with DATA/res.xml describing a texture (TEX_F), a technique pack
// (TEQ_PACK_F holding TEQ_F), a font (FNT_F), a style (STY_F), an
// enumeration (ENM_F) and a music module (MUS_F), all loaded on demand.
const std::filesystem::path& FuzzDataFolder();

// Enters the data folder and installs the headless platform, the recording
// device and the offline audio output; the destructor restores all of it.
class FuzzHeadlessRun {
public:
    FuzzHeadlessRun();
    ~FuzzHeadlessRun();
    FuzzHeadlessRun(const FuzzHeadlessRun&) = delete;
    FuzzHeadlessRun& operator=(const FuzzHeadlessRun&) = delete;

private:
    std::string m_oldDir;
    std::shared_ptr<vd3d::RecordingControl> m_d3d;
};

// Starts resources, graphics, input and scripts (and sound when asked) and
// reads the data folder's descriptor. The fixed data always starts: a fault
// here traps.
void FuzzStartEngine(CVelmor& engine, bool withSound);

// Runs the engine's registered loader for typeID on the bytes as the
// resource "FUZZ_RES".
void FuzzRunLoader(CVelmor& engine, const char* typeID, const void* data, size_t size);
