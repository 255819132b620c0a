// GUI costs on the recording device (the engine's and the GUI's CPU work, no
// GPU): one frame's update and draw for 1 000 tiles in 10 windows and for
// 1 000 buttons, and loading a 2 000-element GUI file through the resource
// manager.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cvelmor.h"
#include "cxmlparser.h"
#include "d3d8_recording.h"
#include "image.h"
#include "system_headless.h"
#include "v2dgui_cvelmorgui_main.h"
#include "window_headless.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// An engine on the recording device with resources and scripts, and a GUI
// manager, for the life of one measurement.
class GuiWorld {
public:
    GuiWorld() {
        platform::InstallHeadlessSystem();
        platform::InstallHeadlessWindowSystem();
        m_control = vd3d::InstallRecordingDirect3D();
        engine = std::make_unique<CVelmor>();
        engine->ResourcesInit();
        engine->GfxPreinit(800, 600);
        engine->GfxInit(2, false);
        engine->ScriptsInit();
        image::Image picture;
        picture.width = picture.height = 16;
        picture.pixels.assign(256, 0xFF8080FFu);
        const std::vector<uint8_t> png = image::EncodePng(picture);
        engine->LoadTextureFromMemory(png.data(), static_cast<int32_t>(png.size()), 3, "TEX_BENCH", 1, 0, 0);
        const std::string techniques = "<techniquespack><t id=\"TEQ_BENCH\" alphablending=\"ON\"/></techniquespack>";
        engine->LoadTechniquesPack(techniques.data(), static_cast<int32_t>(techniques.size()));
        std::string font = "<fontdesc id=\"FNT_BENCH\" textureid=\"TEX_BENCH\" techniqueid=\"TEQ_BENCH\" "
                           "techpackid=\"TEQ_BENCH_PACK\" cellsize=\"1\"";
        for (int code = 0; code < 256; ++code) font += " cs" + std::to_string(code) + "=\"6\"";
        font += "/>";
        engine->LoadFontFromMemory(font.data(), static_cast<int32_t>(font.size()));
        gui = std::make_unique<CVelmorGUI>();
    }
    ~GuiWorld() {
        gui.reset();
        engine.reset();
        vd3d::SetDirect3DFactory(nullptr);
        platform::SetWindowSystem(nullptr);
    }
    void Load(const std::string& xml) {
        CXMLDocument document;
        document.LoadFromBuffer(xml.data(), xml.size(), false);
        document.Parse();
        LoadGUIData(document.GetRoot());
    }
    vd3d::RecordingDevice& Device() { return *vd3d::RecordingDevice::Of(engine->m_pD3DDevice); }

    std::unique_ptr<CVelmor> engine;
    std::unique_ptr<CVelmorGUI> gui;

private:
    std::shared_ptr<vd3d::RecordingControl> m_control;
};

std::string Rect(int x, int y, int w, int h) {
    return std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(w) + " " + std::to_string(h);
}

// 10 shown windows of 100 textured tiles each.
std::string TileTree() {
    std::string xml = "<desktop>";
    for (int w = 0; w < 10; ++w) {
        xml += "<window id=\"WND_" + std::to_string(w) + "\" coords=\"0 0 400 300\" enabled=\"1\" location_shown=\"" +
               std::to_string(w * 30) + " " + std::to_string(w * 20) + "\">";
        for (int t = 0; t < 100; ++t)
            xml += "<tile id=\"T_" + std::to_string(w) + "_" + std::to_string(t) + "\" coords=\"" +
                   Rect((t % 10) * 40, (t / 10) * 30, 36, 26) +
                   "\" texture=\"TEX_BENCH\" color=\"1 1 1 0.9\" visible=\"1\" enabled=\"1\"/>";
        xml += "</window>";
    }
    return xml + "</desktop>";
}

// 1 000 buttons with state textures and child colours, in a grid over the
// screen, each with a centred label of its number when asked; the cursor
// rests on one of them.
std::string ButtonGrid(bool labels) {
    std::string xml = "<desktop>";
    for (int b = 0; b < 1000; ++b) {
        xml += "<button id=\"BTN_" + std::to_string(b) + "\" coords=\"" + Rect((b % 40) * 20, (b / 40) * 24, 18, 22) +
               "\" texture_normal=\"TEX_BENCH\" texture_selected=\"TEX_BENCH\" texture_pressed=\"TEX_BENCH\" "
               "childscolor_selected=\"1 0.5 0.5 1\" holdtime_start=\"0.5\" hotkey=\"F1\" visible=\"1\" "
               "enabled=\"1\">";
        if (labels)
            xml += "<label id=\"L_" + std::to_string(b) + "\" coords=\"0 4 18 14\" font=\"FNT_BENCH\" text=\"" +
                   std::to_string(b) + "\" alignment=\"2\" font_setdefaulttechnique=\"1\" visible=\"1\" enabled=\"1\"/>";
        xml += "</button>";
    }
    return xml + "</desktop>";
}

void MeasureFrames(const char* what, GuiWorld& world);

void FrameCost(const char* what, const std::string& xml, const std::vector<std::string>& windows) {
    GuiWorld world;
    world.Load(xml);
    for (const std::string& window : windows) world.gui->ExecuteElementCommand(window, 1);
    MeasureFrames(what, world);
}

// The gallery's own data (every class in use, its script actions included),
// loaded through the resource manager from its folder.
void GalleryCost() {
    char cwd[4096];
    const std::string back = getcwd(cwd, sizeof cwd) ? cwd : "/";
    if (chdir(VELMOR_GALLERY_DIR) != 0) {
        std::printf("  gallery: cannot enter %s\n", VELMOR_GALLERY_DIR);
        return;
    }
    {
        GuiWorld world;
        world.engine->LoadResources(1);
        world.gui->ExecuteElementCommand("WND_GAL_MAIN", 1);
        MeasureFrames("the GUI gallery", world);
    }
    if (chdir(back.c_str()) != 0) std::printf("  cannot go back to %s\n", back.c_str());
}

void MeasureFrames(const char* what, GuiWorld& world) {
    world.engine->m_inp.iCursorX = 405;
    world.engine->m_inp.iCursorY = 205;
    double update = 0, draw = 0;
    int frames = 0;
    size_t quads = 0;
    for (int warmup = 0; warmup < 3; ++warmup) world.gui->Update();
    while (update + draw < 2.0 || frames < 10) {
        auto start = Clock::now();
        world.gui->Update();
        update += Seconds(start);
        start = Clock::now();
        world.engine->SceneBegin();
        world.gui->Draw();
        world.engine->SceneEnd();
        draw += Seconds(start);
        quads = 0;
        for (const vd3d::RecordedDraw& recorded : world.Device().draws)
            quads += recorded.vertices.size() / sizeof(V2DVERTEX) / 4;
        world.Device().ClearRecords();
        ++frames;
    }
    std::printf("  %-28s update %8.1f us, draw %8.1f us, frame %8.1f us  (%zu quads drawn, %d frames)\n", what,
                update * 1e6 / frames, draw * 1e6 / frames, (update + draw) * 1e6 / frames, quads, frames);
}

// 20 windows of 99 elements (tiles, buttons, check boxes, advanced tiles)
// with a few attributes each: 2 000 elements.
std::string LargeGuiFile() {
    std::string xml = "<desktop>\n";
    const char* const classes[] = {"tile", "button", "checkbox", "advtile"};
    for (int w = 0; w < 20; ++w) {
        xml += "<window id=\"WND_L_" + std::to_string(w) +
               "\" coords=\"0 0 400 300\" time_showhide=\"0.3\" color_hidden=\"1 1 1 0\" location_shown=\"100 100\" "
               "location_hidden=\"100 -300\">\n";
        for (int e = 0; e < 99; ++e) {
            const char* cls = classes[e % 4];
            xml += std::string("  <") + cls + " id=\"E_" + std::to_string(w) + "_" + std::to_string(e) + "\" coords=\"" +
                   Rect((e % 11) * 36, (e / 11) * 33, 34, 30) +
                   "\" texture=\"TEX_BENCH\" color=\"1 1 1 1\" drawscheme=\"4\" drawparams=\"16 16 4 4\" "
                   "visible=\"1\" enabled=\"1\"/>\n";
        }
        xml += "</window>\n";
    }
    return xml + "</desktop>\n";
}

// The engine's log and the data folder live in a scratch folder.
class ScratchFolder {
public:
    ScratchFolder() : m_old(std::filesystem::current_path()) {
        m_dir = std::filesystem::temp_directory_path() / "velmor-bench-gui";
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir / "DATA" / "gui");
        std::filesystem::current_path(m_dir);
    }
    ~ScratchFolder() {
        std::filesystem::current_path(m_old);
        std::filesystem::remove_all(m_dir);
    }

private:
    std::filesystem::path m_old;
    std::filesystem::path m_dir;
};

void LoadCost() {
    const std::string xml = LargeGuiFile();
    std::ofstream("DATA/gui/large.xml", std::ios::binary) << xml;
    std::ofstream("DATA/res.xml", std::ios::binary)
        << "<respack><r id=\"GUI_LARGE\" typeid=\"GUIDATA\" filename=\"gui/large.xml\" tag=\"2\"/></respack>";

    std::vector<double> times;
    int32_t elements = 0;
    for (int run = 0; run < 15; ++run) {
        GuiWorld world;
        const auto start = Clock::now();
        world.engine->LoadResources(2);
        times.push_back(Seconds(start));
        elements = world.gui->GetElementCount() - 1;  // without the desktop
    }
    std::sort(times.begin(), times.end());
    std::printf("  %d elements, %zu bytes of XML: median %.2f ms, best %.2f ms (%zu runs)\n", elements, xml.size(),
                times[times.size() / 2] * 1e3, times.front() * 1e3, times.size());
}

}  // namespace

int main() {
    ScratchFolder scratch;
    std::printf("GUI frame on the recording device (CPU: element updates, quad shaping, batches and their "
                "recording):\n");
    std::vector<std::string> windows;
    for (int w = 0; w < 10; ++w) windows.push_back("WND_" + std::to_string(w));
    FrameCost("1 000 tiles in 10 windows", TileTree(), windows);
    FrameCost("1 000 buttons", ButtonGrid(false), {});
    FrameCost("1 000 buttons with labels", ButtonGrid(true), {});
    GalleryCost();
    std::printf("Loading a GUI data file through the resource manager:\n");
    LoadCost();
    return 0;
}
