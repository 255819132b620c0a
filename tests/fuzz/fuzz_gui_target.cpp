// The GUI data loaders fuzzed through the resource loaders the GUI manager
// registers, into a real manager on the headless platform; every tree that
// loads is then updated and drawn once.
#include "fuzz_gui_target.h"

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <string>

#include "audio_output.h"
#include "bass.h"
#include "cvelmor.h"
#include "d3d8_recording.h"
#include "image.h"
#include "input_headless.h"
#include "system_headless.h"
#include "v2dgui_cvelmorgui_main.h"
#include "window_headless.h"

namespace {

void Write(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// A data folder that GUI data may name: a texture, a technique, a font, a
// style and an enumeration (loaded on demand).
const std::filesystem::path& DataFolder() {
    static const std::filesystem::path folder = [] {
        char pattern[] = "/tmp/velmor-fuzz-gui-XXXXXX";
        const std::filesystem::path root = mkdtemp(pattern) ? pattern : "/tmp";
        std::filesystem::create_directories(root / "DATA" / "gui");
        image::Image white;
        white.width = white.height = 16;
        white.pixels.assign(256, 0xFFFFFFFFu);
        const std::vector<uint8_t> png = image::EncodePng(white);
        Write(root / "DATA" / "gui" / "white.png", std::string(png.begin(), png.end()));
        Write(root / "DATA" / "gui" / "tech.xml", "<techniquespack><t id=\"TEQ_F\" alphablending=\"ON\"/></techniquespack>");
        std::string font = "<fontdesc id=\"FNT_F\" textureid=\"TEX_F\" techniqueid=\"TEQ_F\" techpackid=\"TEQ_PACK_F\" cellsize=\"8\"";
        for (int code = 0; code < 256; ++code) font += " cs" + std::to_string(code) + "=\"6\"";
        Write(root / "DATA" / "gui" / "font.xml", font + "/>");
        Write(root / "DATA" / "gui" / "style.xml", "<guistyle coords=\"1 2 30 40\" visible=\"1\" enabled=\"1\"/>");
        Write(root / "DATA" / "gui" / "enum.xml", "<guienum a=\"TEX_F\" b=\"TEX_F\"/>");
        Write(root / "DATA" / "res.xml",
              "<respack><r id=\"TEX_F\" typeid=\"TEXTURE\" filename=\"gui/white.png\" tag=\"1\" data1=\"3\"/>"
              "<r id=\"TEQ_PACK_F\" typeid=\"TECHNIQUE\" filename=\"gui/tech.xml\" tag=\"1\"/>"
              "<r id=\"FNT_F\" typeid=\"FONT\" filename=\"gui/font.xml\" tag=\"1\"/>"
              "<r id=\"STY_F\" typeid=\"GUISTYLEDATA\" filename=\"gui/style.xml\" tag=\"2\"/>"
              "<r id=\"ENM_F\" typeid=\"GUIENUMDATA\" filename=\"gui/enum.xml\" tag=\"2\"/></respack>");
        return root;
    }();
    return folder;
}

// The headless platform for one input, undone afterwards so that nothing
// outlives the call (the unit tests replay corpora in their own process).
class HeadlessRun {
public:
    HeadlessRun() {
        char cwd[PATH_MAX];
        m_oldDir = getcwd(cwd, sizeof cwd) ? cwd : "/";
        if (chdir(DataFolder().c_str()) != 0) __builtin_trap();
        platform::InstallHeadlessSystem();
        platform::InstallHeadlessInputSystem();
        platform::SetAudioOutput(platform::AudioOutput::Offline);
        platform::InstallHeadlessWindowSystem();
        m_d3d = vd3d::InstallRecordingDirect3D();
        g_bQuitFlag = 0;
        g_bWindowActive = 1;
    }
    ~HeadlessRun() {
        vbass::BASS_Free();
        vd3d::SetDirect3DFactory(nullptr);
        m_d3d.reset();
        platform::SetWindowSystem(nullptr);
        platform::SetInputSystem(nullptr);
        platform::SetSystem(nullptr);
        g_bWindowActive = 0;
        if (chdir(m_oldDir.c_str()) != 0) __builtin_trap();
    }

private:
    std::string m_oldDir;
    std::shared_ptr<vd3d::RecordingControl> m_d3d;
};

void LoadAndRun(CVelmor& engine, const char* typeID, const uint8_t* data, size_t size) {
    const auto loader = engine.m_res.loadFunctions.find(typeID);
    if (loader == engine.m_res.loadFunctions.end()) __builtin_trap();
    loader->second(data, static_cast<int>(size), "GUI_FUZZ", 3, 0, 0, 0);
    GetGUI()->Update();
    engine.SceneBegin();
    GetGUI()->Draw();
    engine.SceneEnd();
}

}  // namespace

int FuzzGUIData(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the loader.
    static const char* const kTypes[] = {"GUIDATA", "GUIENUMDATA", "GUISTYLEDATA"};
    const char* typeID = kTypes[data[0] % 3];
    HeadlessRun run;
    CVelmor engine;
    try {
        engine.ResourcesInit();
        engine.GfxPreinit(800, 600);
        engine.GfxInit(2, false);
        engine.InputInit();
        engine.ScriptsInit();
        engine.LoadResources(1);
        CVelmorGUI gui;
        try {
            LoadAndRun(engine, typeID, data + 1, size - 1);
        } catch (const CEHSException&) {
        } catch (const char*) {
        }
    } catch (const CEHSException&) {
        __builtin_trap();  // the fixed data must always start
    }
    return 0;
}
