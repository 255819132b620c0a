// Helpers for tests of the game: a small data folder with everything the
// game loads (textures, technique, font, click sound, music, board settings
// and the caller's GUI data), the game's start-up on the headless platform,
// and frames of the game's own routine.
#pragma once

#include <filesystem>
#include <string>

#include "audio_fixtures.h"
#include "cgame_element.h"
#include "engineroutine.h"
#include "gameinit_routine.h"
#include "gui_fixtures.h"
#include "highscore.h"

namespace gametest {

// Glyphs 16 pixels square advancing 10 pixels, on a white texture.
inline std::string FontXml() {
    std::string xml = R"(<fontdesc id="FNT_FONT1" textureid="TEX_FONT1" techniqueid="TEQ_STD2" techpackid="TEQ_PACK" cellsize="16")";
    for (int code = 0; code < 256; ++code) xml += " cs" + std::to_string(code) + "=\"10\"";
    return xml + "/>";
}

inline std::string BoardSettings(int sizeX, int sizeY, int gameID = 3) {
    return "<xmldata><board qbgameid=\"" + std::to_string(gameID) + "\" sizex=\"" + std::to_string(sizeX) +
           "\" sizey=\"" + std::to_string(sizeY) +
           "\"/><colors color1r=\"0.25\" color1g=\"0.5\" color1b=\"0.75\" color2r=\"1\" color2g=\"0\" "
           "color2b=\"0\" color3r=\"0\" color3g=\"1\" color3b=\"0\"/></xmldata>";
}

// The data folder: resources in tags 1 and 2, the GUI data in tag 3.
inline void WriteGameData(const std::string& guiXml, const std::string& settings = BoardSettings(5, 5)) {
    namespace fs = std::filesystem;
    fs::create_directories("DATA/art");
    const std::string white = gfxtest::Png(gfxtest::Solid(32, 32, 0xFFFFFFFFu));
    for (const char* name : {"tile", "cursor", "bg", "font"}) testsupport::WriteFile("DATA/art/" + std::string(name) + ".png", white);
    testsupport::WriteFile("DATA/art/techniques.xml",
                           "<techniquespack><t id=\"TEQ_STD2\" alphablending=\"ON\" absrc=\"SRCALPHA\"/></techniquespack>");
    testsupport::WriteFile("DATA/art/font.xml", FontXml());
    audiotest::WriteAudio("DATA/art/click.wav", platform::AudioFileFormat::Wav,
                          audiotest::Sine(4410, 44, 0.5f), 1);
    testsupport::WriteFile("DATA/art/music.mod", audiotest::TinyModule());
    testsupport::WriteFile("DATA/art/board.xml", settings);
    testsupport::WriteFile("DATA/art/gui.xml", guiXml);
    testsupport::WriteFile("DATA/res.xml", R"(<respack>
      <r id="TEX_TILE" typeid="TEXTURE" filename="art/tile.png" tag="1" data1="3"/>
      <r id="TEX_CURSOR" typeid="TEXTURE" filename="art/cursor.png" tag="1" data1="3"/>
      <r id="TEX_BG" typeid="TEXTURE" filename="art/bg.png" tag="1" data1="3"/>
      <r id="TEX_FONT1" typeid="TEXTURE" filename="art/font.png" tag="1" data1="3"/>
      <r id="TEQ_PACK" typeid="TECHNIQUE" filename="art/techniques.xml" tag="1"/>
      <r id="FNT_FONT1" typeid="FONT" filename="art/font.xml" tag="2"/>
      <r id="SND_PIECEMOVE" typeid="SOUND" filename="art/click.wav" tag="1" data1="8"/>
      <r id="MUS_GAME" typeid="MUSIC" filename="art/music.mod" tag="1"/>
      <r id="XML_BOARD" typeid="XMLDATA" filename="art/board.xml" tag="2"/>
      <r id="GUI_GAME" typeid="GUIDATA" filename="art/gui.xml" tag="3"/>
    </respack>)");
}

// The game started on the headless platform as GameMain starts it, with the
// test driving frames of the game's own routine.
class GameTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        g_bWindowActive = 1;
        system->SetMilliseconds(10000);
        std::error_code ignored;
        std::filesystem::remove("DATA/qbhs.dat", ignored);
    }
    void TearDown() override {
        if (g_pV2D != nullptr) GameShutdown();
        engine.reset();
        g_pV2D = nullptr;
        EngineTest::TearDown();
    }
    // Everything up to and including GameModInit.
    void StartGame() {
        engine = std::make_unique<CVelmor>();
        g_pV2D = engine.get();
        Engine_InitResourcesSubsystem();
        SelectDisplayMode();
        EngineInitSubsystems();
        GameModInit();
    }
    void Frame(uint32_t ms = 20) {
        system->AdvanceMilliseconds(ms);
        ASSERT_EQ(engine->UpdateAllSystems(), 1);
        ASSERT_EQ(GameFrame(), 1);
    }
    void SetCursor(int32_t x, int32_t y) {
        input->cursorX = x;
        input->cursorY = y;
    }
    // A click of the left button at a point, in one frame.
    void ClickAt(float x, float y) {
        SetCursor(static_cast<int32_t>(x), static_cast<int32_t>(y));
        input->ButtonDown(0);
        input->ButtonUp(0);
        Frame();
        Frame();  // the button reads as up again
    }
    // The tile of a number, or null.
    static CGameElement* TileNumbered(int32_t number) {
        for (int32_t i = 0; i < g_Board.GetDim1(); ++i)
            for (int32_t j = 0; j < g_Board.GetDim2(); ++j)
                if (CGameElement* tile = g_Board.At(i, j); tile && tile->GetNumber() == number) return tile;
        return nullptr;
    }
    void ClickTile(int32_t number) {
        CGameElement* tile = TileNumbered(number);
        ASSERT_NE(tile, nullptr) << "tile " << number;
        ClickAt(tile->GetX() + 5.0f, tile->GetY() + 5.0f);
    }
    int CountTiles() const {
        int count = 0;
        for (int32_t i = 0; i < g_Board.GetDim1(); ++i)
            for (int32_t j = 0; j < g_Board.GetDim2(); ++j) count += g_Board.At(i, j) != nullptr;
        return count;
    }
    vd3d::RecordingDevice& Device() { return *vd3d::RecordingDevice::Of(engine->m_pD3DDevice); }

    std::unique_ptr<CVelmor> engine;
};

}  // namespace gametest
