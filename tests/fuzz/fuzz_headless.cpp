#include "fuzz_headless.h"

#include <unistd.h>

#include <climits>
#include <fstream>

#include "audio_output.h"
#include "bass.h"
#include "cvelmor.h"
#include "d3d8_recording.h"
#include "image.h"
#include "input_headless.h"
#include "system_headless.h"
#include "window_headless.h"

namespace {

void Write(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

const std::filesystem::path& FuzzDataFolder() {
    static const std::filesystem::path folder = [] {
        char pattern[] = "/tmp/velmor-fuzz-engine-XXXXXX";
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
        // The game's own generated module.
        Write(root / "DATA" / "gui" / "music.xm", ReadWhole(VELMOR_FUZZ_MUSIC));
        Write(root / "DATA" / "res.xml",
              "<respack><r id=\"TEX_F\" typeid=\"TEXTURE\" filename=\"gui/white.png\" tag=\"1\" data1=\"3\"/>"
              "<r id=\"TEQ_PACK_F\" typeid=\"TECHNIQUE\" filename=\"gui/tech.xml\" tag=\"1\"/>"
              "<r id=\"FNT_F\" typeid=\"FONT\" filename=\"gui/font.xml\" tag=\"1\"/>"
              "<r id=\"STY_F\" typeid=\"GUISTYLEDATA\" filename=\"gui/style.xml\" tag=\"2\"/>"
              "<r id=\"ENM_F\" typeid=\"GUIENUMDATA\" filename=\"gui/enum.xml\" tag=\"2\"/>"
              "<r id=\"MUS_F\" typeid=\"MUSIC\" filename=\"gui/music.xm\" tag=\"3\"/></respack>");
        return root;
    }();
    return folder;
}

FuzzHeadlessRun::FuzzHeadlessRun() {
    char cwd[PATH_MAX];
    m_oldDir = getcwd(cwd, sizeof cwd) ? cwd : "/";
    if (chdir(FuzzDataFolder().c_str()) != 0) __builtin_trap();
    platform::InstallHeadlessSystem();
    platform::InstallHeadlessInputSystem();
    platform::SetAudioOutput(platform::AudioOutput::Offline);
    platform::InstallHeadlessWindowSystem();
    m_d3d = vd3d::InstallRecordingDirect3D();
    g_bQuitFlag = 0;
    g_bWindowActive = 1;
}

FuzzHeadlessRun::~FuzzHeadlessRun() {
    vbass::BASS_Free();
    vd3d::SetDirect3DFactory(nullptr);
    m_d3d.reset();
    platform::SetWindowSystem(nullptr);
    platform::SetInputSystem(nullptr);
    platform::SetSystem(nullptr);
    g_bWindowActive = 0;
    if (chdir(m_oldDir.c_str()) != 0) __builtin_trap();
}

void FuzzStartEngine(CVelmor& engine, bool withSound) {
    try {
        engine.ResourcesInit();
        engine.GfxPreinit(800, 600);
        engine.GfxInit(2, false);
        engine.InputInit();
        engine.ScriptsInit();
        if (withSound) engine.SoundInit(44100);
        engine.LoadResources(1);
    } catch (const CEHSException&) {
        __builtin_trap();
    }
}

void FuzzRunLoader(CVelmor& engine, const char* typeID, const void* data, size_t size) {
    const auto loader = engine.m_res.loadFunctions.find(typeID);
    if (loader == engine.m_res.loadFunctions.end()) __builtin_trap();
    loader->second(data, static_cast<int>(size), "FUZZ_RES", 3, 0, 0, 0);
}
