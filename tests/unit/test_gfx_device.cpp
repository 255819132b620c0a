// The graphics device on the recording 3-D device and a headless window:
// card probing and its report, mode selection, opening and closing the device
// and the window, the lost-device cycle and start-up failures.
#include <set>

#include "cvelmor.h"
#include "engineroutine.h"
#include "test_support.h"

using namespace vd3d;

using testsupport::Raised;

namespace {

const std::string kSep = "|---------------------------------------------------|";

// An adapter with the given modes (in enumeration order) and a desktop; the
// texture formats usable on each display format are listed per format.
AdapterInfo ScriptedAdapter(std::vector<D3DDISPLAYMODE> modes, D3DDISPLAYMODE desktop,
                            std::map<D3DFORMAT, std::set<D3DFORMAT>> textures) {
    AdapterInfo adapter = RecordingControl::TypicalAdapter();
    adapter.modes = std::move(modes);
    adapter.desktop = desktop;
    adapter.textureUsable = [textures](D3DFORMAT display, D3DFORMAT texture) {
        auto it = textures.find(display);
        return it != textures.end() && it->second.count(texture) > 0;
    };
    return adapter;
}

const std::set<D3DFORMAT> kAllTextures = {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,
                                          D3DFMT_X4R4G4B4, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8};

class GfxTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        engine = std::make_unique<CVelmor>();
        engine->SetAppInfo("Quble", "v. 1.0");
    }
    // Tests that run the game's start-up stop the game first, as it does.
    void TearDown() override {
        if (g_pGUIManager) GameShutdown();
        g_pV2D = nullptr;
        engine.reset();
        EngineTest::TearDown();
    }

    void Start(int32_t mode = 2, bool windowed = false) {
        engine->GfxPreinit(800, 600);
        engine->GfxInit(mode, windowed);
    }
    RecordingDevice& Device() { return *RecordingDevice::Of(engine->m_pD3DDevice); }

    // The log lines from the first line equal to `first`, `count` of them.
    std::vector<std::string> LinesFrom(const std::string& first, size_t count) {
        const auto lines = LogLines();
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i] != first) continue;
            const size_t end = std::min(lines.size(), i + count);
            return std::vector<std::string>(lines.begin() + i, lines.begin() + end);
        }
        return {};
    }
    bool LogHas(const std::string& line) {
        const auto lines = LogLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    std::unique_ptr<CVelmor> engine;
};

std::vector<std::string> ModeLines(const std::string& number, const std::string& format, int w, int h, int rate,
                                   const std::vector<std::string>& textures) {
    std::vector<std::string> lines = {
        "     Mode" + number + ":",
        "          Display Mode:",
        "               Surface format: " + format,
        "                        Width: " + std::to_string(w),
        "                       Height: " + std::to_string(h),
        "                 Refresh Rate: " + std::to_string(rate),
        "          Texture Formats:",
    };
    for (size_t i = 0; i < 4; ++i) lines.push_back("               TextureFormat0" + std::to_string(i + 1) + ": " + textures[i]);
    return lines;
}

TEST_F(GfxTest, PreinitWritesTheWholeCardReport) {
    engine->GfxPreinit(800, 600);
    const std::vector<std::string> usual = {"D3DFMT_R5G6B5", "D3DFMT_A4R4G4B4", "D3DFMT_A8R8G8B8", "D3DFMT_A8R8G8B8"};
    std::vector<std::string> expected = {
        kSep,
        "--==: Preinitializing Graphics Subsystem...",
        "   +: Direct3D object created.",
        "  -=: Getting videoadapter capabilities...",
        "     Videocard: NVIDIA GeForce4 Ti 4200",
        "       VendorID: 4318",
        "       DeviceID: 595",
        "       Rating: 5",
        "",
        "   =: Enumerating videomodes...",
        "   +: Done.",
        "   =: Enumerating texture formats...",
        "   +: Done.",
        "",
    };
    auto append = [&expected](const std::vector<std::string>& more) {
        expected.insert(expected.end(), more.begin(), more.end());
    };
    append(ModeLines("1", "D3DFMT_R5G6B5", 800, 600, 60, usual));
    append({""});
    append(ModeLines("2", "D3DFMT_X8R8G8B8", 800, 600, 60, usual));
    append({""});
    append(ModeLines("3", "D3DFMT_X8R8G8B8", 1024, 768, 60, usual));
    append({"", "", "          Display Mode 1 is valid.", "          Display Mode 2 is valid.",
            "          Display Mode 3 is valid.", "", "", "          Device can render in windowed mode", "", "",
            "     MaxTextureWidth         = 2048", "     MaxTextureHeight        = 2048",
            "     MaxTextureBlendStages   = 8", "     MaxSimultaneousTextures = 4", "", "",
            "     Vertex Fog is available.", "     MipMapping is available.",
            "     Dot3 Bump Mapping is available.", "", "", "     Texture addr. mode: Clamp is available.",
            "     Texture addr. mode: Wrap is available.", "", "",
            "     Dynamic gamma adjusting in full screen is supported.", "     Gamma calibrating is not supported.",
            kSep, ""});
    const auto lines = LogLines();
    const auto at = std::find(lines.begin(), lines.end(), "--==: Preinitializing Graphics Subsystem...");
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(std::vector<std::string>(at - 1, lines.end()), expected);

    V2DVIDEOCAPS caps;
    engine->GetVideoCardCaps(caps);
    EXPECT_EQ(caps.Rating, 5);
    EXPECT_TRUE(caps.Mode2.Valid);
    EXPECT_EQ(caps.Mode3.Width, 1024u);
    EXPECT_EQ(caps.MaxTextureWidth, 2048u);
    EXPECT_TRUE(caps.CanRenderWindowed);
    EXPECT_FALSE(caps.CalibrateGamma);
}

TEST_F(GfxTest, OnlyThirtyTwoBitModesGiveModeTwoAndTheGameRunsIt) {
    d3d->adapter = ScriptedAdapter({{640, 480, 60, D3DFMT_X8R8G8B8}, {800, 600, 60, D3DFMT_X8R8G8B8}},
                                   {1024, 768, 60, D3DFMT_X8R8G8B8}, {{D3DFMT_X8R8G8B8, kAllTextures}});
    g_pV2D = engine.get();
    SelectDisplayMode();
    V2DVIDEOCAPS caps;
    engine->GetVideoCardCaps(caps);
    EXPECT_FALSE(caps.Mode1.Valid);
    EXPECT_EQ(caps.Mode1.Format, 0u);
    EXPECT_TRUE(caps.Mode2.Valid);
    EXPECT_EQ(g_iDisplayMode, 2);
    EXPECT_FALSE(LogHas("          Display Mode 1 is valid."));
    EXPECT_TRUE(LogHas("          Display Mode 2 is valid."));
    EXPECT_EQ(LinesFrom("     Mode1:", 3)[2], "               Surface format: D3DFMT_UNKNOWN");

    EngineInitSubsystems();
    EXPECT_EQ(Device().PresentParameters().BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(Device().PresentParameters().BackBufferWidth, 800u);
}

TEST_F(GfxTest, DisplayFormatWithOnlyAlphaSixteenBitTexturesIsNotValid) {
    // On the 32-bit display the first cascade finds only A1R5G5B5, which
    // fills slot 2, so slot 1 stays empty; the 16-bit display has it all.
    const std::set<D3DFORMAT> alphaOnly = {D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8};
    d3d->adapter = ScriptedAdapter({{800, 600, 60, D3DFMT_R5G6B5}, {800, 600, 60, D3DFMT_X8R8G8B8}},
                                   {1024, 768, 60, D3DFMT_X8R8G8B8},
                                   {{D3DFMT_X8R8G8B8, alphaOnly}, {D3DFMT_R5G6B5, kAllTextures}});
    g_pV2D = engine.get();
    SelectDisplayMode();
    V2DVIDEOCAPS caps;
    engine->GetVideoCardCaps(caps);
    EXPECT_EQ(caps.Mode2.TextureFormat01, 0u);
    EXPECT_EQ(caps.Mode2.TextureFormat02, static_cast<uint32_t>(D3DFMT_A4R4G4B4));
    EXPECT_FALSE(caps.Mode2.Valid);
    EXPECT_FALSE(caps.Mode3.Valid);
    EXPECT_TRUE(caps.Mode1.Valid);
    EXPECT_EQ(g_iDisplayMode, 1) << "the 16-bit mode is the one left";
    EXPECT_EQ(LinesFrom("     Mode2:", 8)[7], "               TextureFormat01: D3DFMT_UNKNOWN");
}

TEST_F(GfxTest, FirstEnumeratedRefreshRateWins) {
    d3d->adapter = ScriptedAdapter({{800, 600, 85, D3DFMT_X8R8G8B8},
                                    {800, 600, 60, D3DFMT_X8R8G8B8},
                                    {800, 600, 75, D3DFMT_A8R8G8B8},
                                    {800, 600, 100, D3DFMT_X1R5G5B5},
                                    {800, 600, 60, D3DFMT_R5G6B5}},
                                   {1280, 1024, 75, D3DFMT_X8R8G8B8},
                                   {{D3DFMT_X8R8G8B8, kAllTextures}, {D3DFMT_X1R5G5B5, kAllTextures}});
    engine->GfxPreinit(800, 600);
    V2DVIDEOCAPS caps;
    engine->GetVideoCardCaps(caps);
    EXPECT_EQ(caps.Mode2.RefreshRate, 85u);
    EXPECT_EQ(caps.Mode1.RefreshRate, 100u);
    EXPECT_EQ(caps.Mode1.Format, static_cast<uint32_t>(D3DFMT_X1R5G5B5));
    EXPECT_EQ(caps.Mode3.RefreshRate, 75u);
    EXPECT_EQ(LinesFrom("     Mode2:", 6)[5], "                 Refresh Rate: 85");
}

TEST_F(GfxTest, RatingTable) {
    struct Card {
        uint32_t vendor, device;
        std::string line;
    };
    const Card cards[] = {
        {0x10DE, 0x0020, "       Rating: 1"}, {0x10DE, 0x00FF, "       Rating: 2"},
        {0x10DE, 0x0100, "       Rating: 3"}, {0x10DE, 0x0250, "       Rating: 5"},
        {0x1002, 0x514C, "       Rating: 5"}, {0x1002, 0x5144, "       Rating: 4"},
        {0x1002, 0x524C, "       Rating: 1"}, {0x1002, 0x9999, "       Rating: Unknown"},
        {0x102B, 0x0525, "       Rating: 2"}, {0x102B, 0x0521, "       Rating: 1"},
        {0x1039, 0x6300, "       Rating: 2"}, {0x8086, 0x7800, "       Rating: 1"},
        {0x104A, 0x0010, "       Rating: 4"}, {0x121A, 0x0009, "       Rating: 3"},
        {0x121A, 0x0005, "       Rating: 2"}, {0x1023, 0x8520, "       Rating: 1"},
        {0x5333, 0x8A22, "       Rating: Unknown"},
    };
    for (const Card& card : cards) {
        std::remove("gamelog.txt");
        d3d->adapter.identifier.VendorId = card.vendor;
        d3d->adapter.identifier.DeviceId = card.device;
        CVelmor probe;
        probe.GfxPreinit(800, 600);
        const auto report = LinesFrom("  -=: Getting videoadapter capabilities...", 5);
        ASSERT_EQ(report.size(), 5u);
        EXPECT_EQ(report[2], "       VendorID: " + std::to_string(card.vendor));
        EXPECT_EQ(report[3], "       DeviceID: " + std::to_string(card.device));
        EXPECT_EQ(report[4], card.line) << std::hex << card.vendor << ":" << card.device;
    }
}

TEST_F(GfxTest, NoValidModeShowsTheMessageBoxAndStartsNothingElse) {
    d3d->adapter = ScriptedAdapter({{640, 480, 60, D3DFMT_R5G6B5}, {1024, 768, 60, D3DFMT_X8R8G8B8}},
                                   {1024, 768, 60, D3DFMT_X8R8G8B8}, {{D3DFMT_X8R8G8B8, kAllTextures}});
    engine.reset();
    std::remove("gamelog.txt");
    auto* game = new CVelmor();
    GameMain(game);
    delete game;
    ASSERT_EQ(system->boxes.size(), 1u);
    EXPECT_EQ(system->boxes[0].text, "No video modes available: your video card cannot handle 800x600x16bit resolution");
    EXPECT_EQ(system->boxes[0].caption, "No video modes available!");
    EXPECT_EQ(g_bQuitFlag, 1);
    EXPECT_FALSE(LogHas("--==: Initializing Graphics Subsystem..."));
    EXPECT_FALSE(LogHas("--==: Initializing Input Subsystem..."));
    EXPECT_EQ(windows->window, nullptr);
    // The API object was made, so its stop block is written, with nothing
    // left over.
    EXPECT_EQ(LinesFrom("--==: Deinitializing Graphics Subsystem...", 2)[1], "--==: Done.");
    EXPECT_FALSE(LogHas(" !!!: pD3D references left!"));
    EXPECT_EQ(LogLines()[LogLines().size() - 4], "--==: End of log.");
}

TEST_F(GfxTest, PreinitFailures) {
    d3d->refuseCreate = true;
    CEHSException e = Raised([&] { engine->GfxPreinit(800, 600); });
    EXPECT_EQ(e.GetDesc(), "Cannot create Direct3D object!");
    EXPECT_EQ(e.GetType(), EHS_TYPE_GENERAL);
    EXPECT_EQ(e.GetFile(), "cvelmor_gfx_main");
    EXPECT_EQ(engine->m_bGfxPrepared, 0);

    e = Raised([&] {
        V2DVIDEOCAPS caps;
        engine->GetVideoCardCaps(caps);
    });
    EXPECT_EQ(e.GetDesc(), "Cannot provide videocard caps - GFX system was not initialized!");
    EXPECT_EQ(e.GetType(), EHS_TYPE_GAME);

    d3d->refuseCreate = false;
    d3d->adapter.identifierReadable = false;
    e = Raised([&] { engine->GfxPreinit(800, 600); });
    EXPECT_EQ(e.GetDesc(), "Cannot get videoadapter identifier");
    EXPECT_EQ(e.GetType(), EHS_TYPE_GENERAL);
}

TEST_F(GfxTest, InitOpensAFullScreenWindowAndTheDeviceThenTheManagers) {
    Start();
    const std::vector<std::string> expected = {
        "--==: Initializing Graphics Subsystem...",
        "",
        "   =: Creating window...",
        "   +: Done.",
        "",
        "",
        "   =: Creating D3DDevice...",
        "   +: Done.",
        "",
        kSep,
        "",
        "",
        "   =: Creating Textures Manager...",
        "",
        "   +: Done.",
        "",
        "   =: Creating Lights Manager...",
        "",
        "   +: Done.",
        "",
        "   =: Creating Techniques Manager...",
        "",
        "   +: Done.",
        "",
        "   =: Creating Fonts Manager...",
        "",
        "   +: Done.",
    };
    EXPECT_EQ(LinesFrom("--==: Initializing Graphics Subsystem...", 100), expected);
    EXPECT_EQ(engine->m_bGfxStarted, 1);

    const platform::HeadlessWindow* window = windows->window;
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(engine->m_hWnd, window);
    EXPECT_EQ(window->className, "v2d_gamewindow");
    EXPECT_EQ(window->title, "Quble");
    EXPECT_EQ(window->style, platform::WindowStyle::FullScreen);
    EXPECT_EQ(window->outer.left, 0);
    EXPECT_EQ(window->outer.top, 0);
    EXPECT_EQ(window->outer.Width(), 800);
    EXPECT_EQ(window->outer.Height(), 600);
    EXPECT_TRUE(window->topMost);
    EXPECT_TRUE(window->visible);
    EXPECT_EQ(g_bWindowActive, 1);

    const D3DPRESENT_PARAMETERS& params = Device().PresentParameters();
    EXPECT_EQ(params.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(params.SwapEffect, D3DSWAPEFFECT_FLIP);
    EXPECT_FALSE(params.Windowed);
    EXPECT_EQ(params.hDeviceWindow, engine->m_hWnd);
    EXPECT_EQ(params.BackBufferCount, 1u);

    // The set-up: vertex format, lighting off, no cursor, indices bound.
    const DeviceState& state = Device().State();
    EXPECT_EQ(state.vertexFormat, V2D_VERTEX_FORMAT);
    EXPECT_EQ(state.renderStates[D3DRS_LIGHTING], 0u);
    EXPECT_FALSE(state.cursorShown);
    ASSERT_NE(state.indices, nullptr);
    EXPECT_EQ(state.indices, engine->m_gfx.pIndexBuffer);
    const uint16_t* indices = reinterpret_cast<const uint16_t*>(state.indices->Bytes());
    EXPECT_EQ(std::vector<uint16_t>(indices, indices + 12), (std::vector<uint16_t>{0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7}));
    EXPECT_EQ(std::vector<uint16_t>(indices + 2994, indices + 3000),
              (std::vector<uint16_t>{1996, 1997, 1998, 1996, 1998, 1999}));
    EXPECT_EQ(state.indices->Length(), V2D_INDEX_BUFFER_BYTES);
    ASSERT_NE(engine->m_gfx.pVertexBuffer, nullptr);
    EXPECT_EQ(engine->m_gfx.quad.vertices[2].z, 0.5f);
    EXPECT_EQ(engine->m_gfx.quad.vertices[2].rhw, 0.5f);
    EXPECT_EQ(engine->m_gfx.iCurrentTexture[7], -1);
    EXPECT_NE(engine->m_gfx.pFonts, nullptr);
}

TEST_F(GfxTest, WindowedWindowHasExactlyTheClientSize) {
    Start(3, true);
    const platform::HeadlessWindow* window = windows->window;
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->style, platform::WindowStyle::Windowed);
    EXPECT_EQ(window->outer.left, 100);
    EXPECT_EQ(window->outer.top, 100);
    platform::WindowRect client = windows->window->GetClientRect();
    EXPECT_EQ(client.Width(), 800);
    EXPECT_EQ(client.Height(), 600);
    EXPECT_GT(window->outer.Width(), 800) << "the frame lies around the client area";
    EXPECT_FALSE(window->topMost);
    const D3DPRESENT_PARAMETERS& params = Device().PresentParameters();
    EXPECT_TRUE(params.Windowed);
    EXPECT_EQ(params.SwapEffect, D3DSWAPEFFECT_COPY);
    EXPECT_EQ(params.BackBufferFormat, D3DFMT_X8R8G8B8) << "the desktop's format";
    uint32_t w = 0, h = 0;
    engine->GetScreenSize(w, h);
    EXPECT_EQ(w, 800u);
    EXPECT_EQ(h, 600u);
}

TEST_F(GfxTest, FullScreenDesktopModeTakesTheDesktopSize) {
    Start(3, false);
    uint32_t w = 0, h = 0;
    engine->GetScreenSize(w, h);
    EXPECT_EQ(w, 1024u);
    EXPECT_EQ(h, 768u);
    EXPECT_EQ(windows->window->outer.Width(), 1024);
    EXPECT_EQ(Device().PresentParameters().BackBufferHeight, 768u);
}

TEST_F(GfxTest, WindowedRenderingNeedsModeThreeAndACapableCard) {
    engine->GfxPreinit(800, 600);
    CEHSException e = Raised([&] { engine->GfxInit(2, true); });
    EXPECT_EQ(e.GetDesc(), "Wrong combination of display mode params.");
    EXPECT_EQ(e.GetType(), EHS_TYPE_GAME);
    EXPECT_EQ(windows->window, nullptr);

    // A desktop no larger than the wanted size cannot hold the window.
    d3d->adapter.desktop = D3DDISPLAYMODE{800, 600, 60, D3DFMT_X8R8G8B8};
    CVelmor small;
    small.GfxPreinit(800, 600);
    e = Raised([&] { small.GfxInit(3, true); });
    EXPECT_EQ(e.GetDesc(), "Cannot switch to windowed rendering.");
    EXPECT_EQ(e.GetType(), EHS_TYPE_GAME);
    EXPECT_TRUE(LogHas("          Device cannot render in windowed mode"));

    CVelmor none;
    e = Raised([&] { none.GfxInit(2, false); });
    EXPECT_EQ(e.GetDesc(), "Direct3D object was not created!");
    EXPECT_EQ(e.GetType(), EHS_TYPE_GENERAL);
}

TEST_F(GfxTest, DeviceFailuresAreFatalAndLeaveNothingBehind) {
    struct Case {
        std::string call;
        std::string message;
        uint32_t type;
        uint32_t code;
    };
    const Case cases[] = {
        {"CreateDevice", "Cannot create D3DDevice!", EHS_TYPE_GENERAL, static_cast<uint32_t>(D3DERR_NOTAVAILABLE)},
        {"CreateIndexBuffer", "Cannot create Index Buffer!", EHS_TYPE_GENERAL,
         static_cast<uint32_t>(D3DERR_NOTAVAILABLE)},
        {"IndexBuffer::Lock", "Cannot lock index buffer!", EHS_TYPE_GENERAL, 0},
        {"IndexBuffer::Unlock", "Cannot unlock index buffer!", EHS_TYPE_GENERAL, 0},
        {"CreateVertexBuffer", "Cannot create Vertex Buffer!", EHS_TYPE_GAME, 0},
        {"SetIndices", "Cannot process index buffer!", EHS_TYPE_GENERAL, static_cast<uint32_t>(D3DERR_NOTAVAILABLE)},
    };
    for (const Case& c : cases) {
        std::remove("gamelog.txt");
        d3d->failures = {{c.call, D3DERR_NOTAVAILABLE}};
        {
            CVelmor failing;
            failing.GfxPreinit(800, 600);
            const CEHSException e = Raised([&] { failing.GfxInit(2, false); });
            EXPECT_EQ(e.GetDesc(), c.message) << c.call;
            EXPECT_EQ(e.GetType(), c.type) << c.call;
            EXPECT_EQ(e.GetCode(), c.code) << c.call;
            EXPECT_EQ(e.GetFile(), "cvelmor_gfx_main");
            EXPECT_EQ(failing.m_bGfxStarted, 0);
        }
        // The destructor took the half-made device and the window down.
        EXPECT_EQ(d3d->device, nullptr) << c.call;
        EXPECT_EQ(windows->window, nullptr) << c.call;
        EXPECT_FALSE(LogHas(" !!!: pD3D references left!")) << c.call;
        EXPECT_FALSE(LogHas(" !!!: pD3Device references left!")) << c.call;
    }
}

TEST_F(GfxTest, DeinitReleasesEverythingInOrder) {
    Start();
    std::remove("gamelog.txt");
    engine->GfxDeinit();
    const std::vector<std::string> expected = {
        kSep,
        "--==: Deinitializing Graphics Subsystem...",
        "   =: Destroying Textures Manager...",
        "   +: Done.",
        "   =: Destroying Lights Manager...",
        "   +: Done.",
        "   =: Destroying Techniques Manager...",
        "   +: Done.",
        "   =: Destroying Fonts Manager...",
        "   +: Done.",
        "--==: Done.",
        kSep,
        "",
    };
    EXPECT_EQ(LogLines(), expected);
    EXPECT_EQ(d3d->device, nullptr) << "the device is gone";
    EXPECT_EQ(windows->window, nullptr);
    EXPECT_EQ(windows->destroyed, 1);
    EXPECT_EQ(windows->classes.count("v2d_gamewindow"), 0u);
    EXPECT_EQ(engine->m_pD3D, nullptr);
    EXPECT_EQ(engine->m_bGfxPrepared, 0);
    EXPECT_FALSE(engine->GfxDeviceExists());
}

TEST_F(GfxTest, LeakedTextureIsReportedOnBothObjects) {
    Start();
    IDirect3DTexture8* leaked = nullptr;
    ASSERT_EQ(engine->m_pD3DDevice->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &leaked), D3D_OK);
    engine->GfxDeinit();
    EXPECT_TRUE(LogHas(" !!!: pD3Device references left!"));
    EXPECT_TRUE(LogHas(" !!!: pD3D references left!"));
    EXPECT_EQ(leaked->Release(), 0u);
}

TEST_F(GfxTest, DestructorStopsGraphicsBetweenSoundAndResources) {
    Start();
    engine->ResourcesInit();
    engine.reset();
    const auto lines = LogLines();
    const auto gfx = std::find(lines.begin(), lines.end(), "--==: Deinitializing Graphics Subsystem...");
    const auto res = std::find(lines.begin(), lines.end(), "--==: Deinitializing Resources Subsystem...");
    ASSERT_NE(gfx, lines.end());
    ASSERT_NE(res, lines.end());
    EXPECT_LT(gfx, res);
}

TEST_F(GfxTest, LostDeviceSkipsFramesUntilTheResetSetsItUpAgain) {
    Start();
    RecordingDevice& device = Device();
    g_bWindowActive = 1;
    std::remove("gamelog.txt");

    device.LoseDevice();
    EXPECT_EQ(engine->UpdateAllSystems(), 0);
    EXPECT_EQ(LogLines(), std::vector<std::string>{"   +: Device is lost and currently cannot be restored."});
    EXPECT_EQ(device.CountCalls("Reset"), 0);

    // The window is back, but the reset fails once.
    device.RestoreWindow();
    d3d->failures = {{"Reset", D3DERR_DEVICELOST}};
    EXPECT_EQ(engine->UpdateAllSystems(), 0);
    EXPECT_EQ(engine->m_gfx.pVertexBuffer, nullptr);
    d3d->failures.clear();
    device.ClearRecords();
    EXPECT_EQ(engine->UpdateAllSystems(), 1);
    const std::vector<std::string> expected = {
        "   +: Device is lost and currently cannot be restored.",
        "   =: D3DDevice is lost. Trying to reset...",
        " !: Failed.",
        "   =: D3DDevice is lost. Trying to reset...",
        "   +: Done.",
    };
    EXPECT_EQ(LogLines(), expected);
    EXPECT_EQ(device.CountCalls("Reset"), 1);
    EXPECT_EQ(device.CountCalls("CreateVertexBuffer"), 1);
    ASSERT_NE(engine->m_gfx.pVertexBuffer, nullptr);
    // Reset returned every state to its default; the set-up ran again.
    EXPECT_EQ(device.State().renderStates[D3DRS_LIGHTING], 0u);
    EXPECT_EQ(device.State().vertexFormat, V2D_VERTEX_FORMAT);
    EXPECT_EQ(device.State().indices, engine->m_gfx.pIndexBuffer);
    EXPECT_EQ(device.TestCooperativeLevel(), D3D_OK);

    // Frames draw again.
    engine->SceneBegin();
    engine->VQuadSetPos(0, 0, 10, 10, 0.5f);
    engine->VQuadRender();
    engine->SceneEnd();
    EXPECT_EQ(device.draws.size(), 1u);
}

TEST_F(GfxTest, FocusLossUnlocksTheQuadBuffer) {
    Start();
    g_bWindowActive = 1;
    engine->SceneBegin();
    engine->VQuadSetPos(0, 0, 10, 10, 0.5f);
    engine->VQuadRender();
    ASSERT_NE(engine->m_gfx.pLockedVertices, nullptr);
    Device().ClearRecords();
    system->Post(platform::MSG_ACTIVATE, platform::ACTIVATE_INACTIVE);
    EXPECT_EQ(engine->UpdateAllSystems(), 0);
    EXPECT_EQ(Device().CountCalls("VertexBuffer::Unlock"), 1);
    EXPECT_EQ(engine->m_gfx.pLockedVertices, nullptr);
    EXPECT_EQ(engine->m_gfx.dwQueuedQuads, 0u);
    // The scene then ends without drawing the dropped quad.
    engine->SceneEnd();
    EXPECT_TRUE(Device().draws.empty());
}

TEST_F(GfxTest, WindowClassAndWindowFailures) {
    engine->GfxPreinit(800, 600);
    windows->failRegister = true;
    CEHSException e = Raised([&] { engine->GfxInit(2, false); });
    EXPECT_EQ(e.GetDesc(), "Cannot register window class!");
    EXPECT_EQ(e.GetFile(), "vlm_window");
    EXPECT_EQ(e.GetLine(), 277u);
    EXPECT_EQ(e.GetType(), EHS_TYPE_GENERAL);

    windows->failRegister = false;
    windows->failCreate = true;
    CVelmor other;
    other.GfxPreinit(800, 600);
    e = Raised([&] { other.GfxInit(2, false); });
    EXPECT_EQ(e.GetDesc(), "Invalid window handle returned by CreateWindowEx()");
    EXPECT_EQ(e.GetLine(), 310u);
}

TEST_F(GfxTest, DestroyMessageEndsTheLoopThroughTheQuitMessage) {
    Start();
    g_bWindowActive = 1;
    system->Post(platform::MSG_DESTROY);
    EXPECT_EQ(engine->UpdateAllSystems(), -1);
    EXPECT_EQ(g_bWindowActive, 0);
}

TEST_F(GfxTest, FormatNamesAndTextureFormatChecks) {
    EXPECT_STREQ(CVelmor::GetFormatName(D3DFMT_UNKNOWN), "D3DFMT_UNKNOWN");
    EXPECT_STREQ(CVelmor::GetFormatName(D3DFMT_X8R8G8B8), "D3DFMT_X8R8G8B8");
    EXPECT_STREQ(CVelmor::GetFormatName(D3DFMT_W11V11U10), "D3DFMT_W11V11U10");
    EXPECT_STREQ(CVelmor::GetFormatName(D3DFMT_D24X4S4), "D3DFMT_D24X4S4");
    EXPECT_STREQ(CVelmor::GetFormatName(D3DFMT_INDEX32), "D3DFMT_INDEX32");
    EXPECT_STREQ(CVelmor::GetFormatName(D3DFMT_DXT1), "Unknown format!");
    EXPECT_STREQ(CVelmor::GetFormatName(72), "Unknown format!");

    EXPECT_FALSE(engine->IsTextureFormatUsable(D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8)) << "no API object yet";
    engine->GfxPreinit(800, 600);
    EXPECT_TRUE(engine->IsTextureFormatUsable(D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8));
    EXPECT_FALSE(engine->IsTextureFormatUsable(D3DFMT_A8L8, D3DFMT_X8R8G8B8));
    EXPECT_FALSE(engine->IsTextureFormatUsable(D3DFMT_A8R8G8B8, D3DFMT_P8)) << "not a display format";
}

}  // namespace
