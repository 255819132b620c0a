// The engine's script functions, called from Lua on the recording device and
// the offline audio output.
#include <cmath>
#include <filesystem>

#include "audio_fixtures.h"
#include "audio_output.h"
#include "gfx_fixtures.h"

using namespace gfxtest;

namespace {

const char* const kAllFunctions[] = {
    "V2D_SYS_TimerGetDelta", "V2D_SYS_TimerGetFPS", "V2D_SYS_SetXMLEncryptMode", "V2D_SYS_UpdateAllSystems",
    "V2D_LOG_AddEntry", "V2D_GFX_SceneBegin", "V2D_GFX_SceneEnd", "V2D_GFX_SceneClearScreen",
    "V2D_GFX_SceneRender", "V2D_GFX_ScenePresent", "V2D_GFX_SceneSetViewport", "V2D_GFX_SceneMakeScreenshot",
    "V2D_GFX_SceneSetGamma", "V2D_GFX_VQuadSetPos", "V2D_GFX_VQuadSetPosByVertex", "V2D_GFX_VQuadRotate",
    "V2D_GFX_VQuadScale", "V2D_GFX_VQuadMove", "V2D_GFX_VQuadSetTexCoords", "V2D_GFX_VQuadSetColor",
    "V2D_GFX_VQuadSetColorByVertex", "V2D_GFX_TexUnloadByID", "V2D_GFX_TexSet", "V2D_GFX_TexSetNoTexture",
    "V2D_GFX_TechApply", "V2D_GFX_FontSet", "V2D_GFX_FontDrawText", "V2D_INP_KeyboardGetAnyPressedKey",
    "V2D_INP_KeyboardIsKeyPressed", "V2D_INP_KeyboardIsKeyClicked", "V2D_INP_KeyboardSetTextBufferStatus",
    "V2D_INP_KeyboardSetTextInBuffer", "V2D_INP_KeyboardGetTextInBuffer", "V2D_INP_KeyboardSetTextBufferSize",
    "V2D_INP_MouseGetAnyPressedKey", "V2D_INP_MouseIsKeyPressed", "V2D_INP_MouseIsKeyClicked",
    "V2D_INP_MouseGetDeltaX", "V2D_INP_MouseGetDeltaY", "V2D_INP_MouseGetWheelDelta", "V2D_INP_MouseGetCursorPos",
    "V2D_INP_MouseGetCursorStatus", "V2D_SFX_SetGlobalVolumes", "V2D_SFX_SoundUnload", "V2D_SFX_SoundPlay",
    "V2D_SFX_SoundStop", "V2D_SFX_SoundPause", "V2D_SFX_SoundResume", "V2D_SFX_SoundSetAttributes",
    "V2D_SFX_SoundSlideAttributes", "V2D_SFX_SoundGetStatus", "V2D_SFX_MusicSetVolume", "V2D_SFX_PlaylistSet",
    "V2D_SFX_PlaylistStop", "V2D_RES_LoadResource", "V2D_RES_LoadResources", "V2DUTIL_DemandTexture",
    "V2DUTIL_DemandTechnique", "V2DUTIL_DemandFont", "V2DUTIL_DemandSound", "V2DUTIL_DemandMusic",
    "V2DUTIL_DemandPlaylist",
};

class GlueTest : public GfxEngineTest {
protected:
    void SetUp() override {
        GfxEngineTest::SetUp();
        std::filesystem::create_directories("DATA/art");
        testsupport::WriteFile("DATA/art/tile.png", Png(Solid(4, 4, 0xFF336699u)));
        testsupport::WriteFile("DATA/art/font.png", Png(Solid(64, 64, 0xFFFFFFFFu)));
        testsupport::WriteFile("DATA/art/techs.xml",
                               "<techniquespack><t id=\"TEQ_BLEND\" alphablending=\"ON\" absrc=\"SRCALPHA\" "
                               "abdest=\"INVSRCALPHA\"/></techniquespack>");
        std::string font = "<fontdesc id=\"FNT_MAIN\" textureid=\"TEX_FONT\" techniqueid=\"TEQ_BLEND\" "
                           "techpackid=\"TEQ_PACK\" cellsize=\"16\" tag=\"1\"";
        for (int code = 0; code < 256; ++code) font += " cs" + std::to_string(code) + "=\"10\"";
        testsupport::WriteFile("DATA/art/font.xml", font + "/>");
        audiotest::WriteAudio("DATA/art/click.wav", platform::AudioFileFormat::Wav,
                              audiotest::Constant(4410, 2, 0.5f), 2);
        testsupport::WriteFile(
            "DATA/res.xml",
            "<respack>"
            "<r id=\"TEX_TILE\" typeid=\"TEXTURE\" filename=\"art/tile.png\" tag=\"1\" data1=\"3\"/>"
            "<r id=\"TEX_FONT\" typeid=\"TEXTURE\" filename=\"art/font.png\" tag=\"1\" data1=\"3\"/>"
            "<r id=\"TEQ_PACK\" typeid=\"TECHNIQUE\" filename=\"art/techs.xml\" tag=\"1\"/>"
            "<r id=\"FNT_MAIN\" typeid=\"FONT\" filename=\"art/font.xml\" tag=\"1\"/>"
            "<r id=\"SND_CLICK\" typeid=\"SOUND\" filename=\"art/click.wav\" tag=\"1\" data1=\"2\"/>"
            "</respack>");
        platform::SetAudioOutput(platform::AudioOutput::Offline);
        engine->ResourcesInit();
        engine->SoundInit(44100);
        engine->ScriptsInit();
        g_bWindowActive = 1;
    }
    void TearDown() override {
        engine->ScriptsDeinit();
        engine->SoundDeinit();
        engine->ResourcesDeinit();
        GfxEngineTest::TearDown();
    }

    void Run(const std::string& chunk) { engine->ScriptLoadFromBuffer(chunk.data(), chunk.size(), "glue test"); }
    CEHSException RunExpectingError(const std::string& chunk) {
        return Raised([&] { Run(chunk); });
    }
    const V2DVERTEX& Vertex(int i) { return engine->m_gfx.quad.vertices[i]; }
};

TEST_F(GlueTest, EveryEngineFunctionIsRegisteredUnderItsName) {
    std::string list = "missing = '' for _, name in ipairs({";
    for (const char* name : kAllFunctions) list += std::string("'") + name + "',";
    list += "}) do if type(_G[name]) ~= 'function' then missing = missing .. name .. ' ' end end\n"
            "function report() return missing end";
    Run(list);
    engine->ScriptCallFunction("report", 1);
    ASSERT_EQ(engine->ScriptGetResults().size(), 1u);
    EXPECT_EQ(engine->ScriptGetResults()[0].GetString(), "");
    EXPECT_EQ(sizeof(kAllFunctions) / sizeof(kAllFunctions[0]), 62u);
}

TEST_F(GlueTest, OptionalTrailingArgumentsTakeTheirDefaults) {
    Run("V2D_GFX_VQuadSetPos(10, 20, 30, 40)");
    EXPECT_FLOAT_EQ(Vertex(0).z, 0.5f);
    EXPECT_FLOAT_EQ(Vertex(2).x - Vertex(0).x, 30.0f);
    Run("V2D_GFX_VQuadSetPos(10, 20, 30, 40, 0.25)");
    EXPECT_FLOAT_EQ(Vertex(0).z, 0.25f);

    Run("V2D_GFX_VQuadSetColor(1, 0, 0)");
    EXPECT_EQ(Vertex(0).diffuse, 0xFFFF0000u);
    Run("V2D_GFX_VQuadSetColorByVertex(2, 0, 1, 0)");
    EXPECT_EQ(Vertex(2).diffuse, 0x0000FF00u);
    EXPECT_EQ(Vertex(1).diffuse, 0xFFFF0000u);
    Run("V2D_GFX_VQuadMove(5, 6)");
    EXPECT_FLOAT_EQ(Vertex(0).z, 0.25f);

    Run("V2DUTIL_DemandTexture('TEX_TILE') V2D_GFX_TexSet('TEX_TILE')");
    EXPECT_EQ(engine->m_gfx.iCurrentTexture[0], engine->GetTextureID("TEX_TILE"));
    Run("V2D_GFX_TexSetNoTexture()");
    EXPECT_EQ(engine->m_gfx.iCurrentTexture[0], -1);
    Run("V2D_GFX_TexSet(0, 1)");
    EXPECT_EQ(engine->m_gfx.iCurrentTexture[1], 0);
    Run("V2D_GFX_TexSetNoTexture(1)");
    EXPECT_EQ(engine->m_gfx.iCurrentTexture[1], -1);
}

TEST_F(GlueTest, WrongArgumentTypesNameTheFirstBadIndex) {
    CEHSException e = RunExpectingError("V2D_GFX_VQuadSetPos(1, 2, 'three', 4, 'five')");
    EXPECT_EQ(e.GetType(), 2u);
    EXPECT_EQ(e.GetDesc(), "Error in glue function: glue_V2D_GFX_VQuadSetPos.Invalid argument type. Index = 3");
    EXPECT_EQ(e.GetFile(), "cvelmor_glue_gfx");
    EXPECT_EQ(RunExpectingError("V2D_GFX_VQuadSetPos(1, 2, 3, 4, 'deep')").GetDesc(),
              "Error in glue function: glue_V2D_GFX_VQuadSetPos.Invalid argument type. Index = 5");
    EXPECT_EQ(RunExpectingError("V2D_SFX_SoundPlay('SND_CLICK', 1, 0, 100, 0)").GetDesc(),
              "Error in glue function: glue_V2D_SFX_SoundPlay.Invalid argument type. Index = 2");
    EXPECT_EQ(RunExpectingError("V2D_GFX_TexSet(true)").GetFile(), "cvelmor_glue_gfx");
    EXPECT_EQ(RunExpectingError("V2DUTIL_DemandTechnique('TEQ_BLEND')").GetDesc(),
              "Error in glue function: glue_V2DUTIL_DemandTechnique.Invalid argument type. Index = 2");
    // The quad was not touched by the refused calls.
    EXPECT_FLOAT_EQ(Vertex(0).x, 0.0f);
}

TEST_F(GlueTest, NumbersThatAreNoIntegersAreInvalidArguments) {
    struct Case {
        const char* call;
        const char* function;
        int index;
    };
    const Case cases[] = {
        {"V2D_SFX_SoundPlay(0/0, false, -1, 100, 0)", "V2D_SFX_SoundPlay", 1},
        {"V2D_SFX_SoundPlay('SND_CLICK', false, -1, 1e12, 0)", "V2D_SFX_SoundPlay", 4},
        {"V2D_INP_KeyboardIsKeyPressed(1/0)", "V2D_INP_KeyboardIsKeyPressed", 1},
        {"V2D_INP_MouseIsKeyClicked(-1/0)", "V2D_INP_MouseIsKeyClicked", 1},
        {"V2D_INP_KeyboardSetTextBufferSize(2^31)", "V2D_INP_KeyboardSetTextBufferSize", 1},
        {"V2D_GFX_TexSet(0, -2^31 - 1)", "V2D_GFX_TexSet", 2},
        {"V2D_GFX_TexUnloadByID(-1e300)", "V2D_GFX_TexUnloadByID", 1},
        {"V2D_GFX_SceneSetGamma(0/0, 0)", "V2D_GFX_SceneSetGamma", 1},
        {"V2D_GFX_SceneSetGamma(1, 1/0)", "V2D_GFX_SceneSetGamma", 2},
        {"V2D_GFX_VQuadSetPos(10, 0/0, 30, 40)", "V2D_GFX_VQuadSetPos", 2},
    };
    for (const Case& c : cases) {
        const CEHSException e = RunExpectingError(c.call);
        EXPECT_EQ(e.GetType(), 2u) << c.call;
        EXPECT_EQ(e.GetDesc(), std::string("Error in glue function: glue_") + c.function +
                                   ".Invalid argument type. Index = " + std::to_string(c.index))
            << c.call;
    }
    // The largest integers still pass the check and reach the engine.
    EXPECT_EQ(RunExpectingError("V2D_SFX_SoundPlay(2^31 - 1, false, -1, 100, 0)").GetDesc(),
              "Invalid sound ID: 2147483647");
    EXPECT_EQ(RunExpectingError("V2D_SFX_SoundPlay(-2^31 - 0.5, false, -1, 100, 0)").GetDesc(),
              "Invalid sound ID: -2147483648");
    // A gamma bend that is not a number, from native code, gives a black ramp.
    engine->SceneSetGamma(1.0f, std::nanf(""));
    vd3d::D3DGAMMARAMP ramp;
    engine->m_pD3DDevice->GetGammaRamp(&ramp);
    EXPECT_EQ(ramp.red[255], 0);
    EXPECT_EQ(ramp.blue[128], 0);
}

TEST_F(GlueTest, SoundsPlayByIdentifierAndByHandle) {
    Run("click = V2DUTIL_DemandSound('SND_CLICK')");
    const int32_t id = engine->SoundFind("SND_CLICK");
    ASSERT_GE(id, 0);
    Run("V2D_SFX_SoundPlay('SND_CLICK', false, -1, 100, 0)");
    EXPECT_TRUE(engine->SoundIsPlaying(id));
    Run("V2D_SFX_SoundStop(click)");
    EXPECT_FALSE(engine->SoundIsPlaying(id));
    Run("V2D_SFX_SoundPlay(click, false, -1, 100, 0)");
    EXPECT_TRUE(engine->SoundIsPlaying(id));
    Run("function status() return V2D_SFX_SoundGetStatus('SND_CLICK') end");
    engine->ScriptCallFunction("status", -1);
    EXPECT_EQ(engine->ScriptGetResults().at(0).GetNumber(), 1.0);
    EXPECT_EQ(RunExpectingError("V2D_SFX_SoundStop('SND_NOT_THERE')").GetDesc(), "Invalid sound ID: -1");
}

TEST_F(GlueTest, WithoutASoundCardSoundsNamedByIdentifierAreQuietlyIgnored) {
    engine->SoundDeinit();
    platform::SetAudioOutput(platform::AudioOutput::Missing);
    engine->SoundInit(44100);
    ASSERT_EQ(engine->m_sfx.bNoSound, 1);
    Run("click = V2DUTIL_DemandSound('SND_CLICK')\n"
        "for i = 1, 10 do V2D_SFX_SoundPlay('SND_CLICK', false, -1, 100, 0) V2D_SFX_SoundStop('SND_CLICK') "
        "V2D_SFX_SoundPause('SND_X') V2D_SFX_SoundResume('SND_X') V2D_SFX_SoundSetAttributes('SND_X', 1, 2, 3) "
        "V2D_SFX_SoundSlideAttributes('SND_X', 1, 2, 3, 4) V2D_SFX_SoundPlay(click, false, -1, 100, 0) end\n"
        "function status() return V2D_SFX_SoundGetStatus('SND_CLICK') end");
    engine->ScriptCallFunction("status", -1);
    EXPECT_EQ(engine->ScriptGetResults().at(0).GetNumber(), 0.0);
    EXPECT_EQ(Log().find("Cannot find iID"), std::string::npos);
}

TEST_F(GlueTest, MultipleResultsAndTheLog) {
    Run("function cursor() return V2D_INP_MouseGetCursorPos() end\n"
        "function buffer() V2D_INP_KeyboardSetTextInBuffer('abc') return V2D_INP_KeyboardGetTextInBuffer() end\n"
        "V2D_LOG_AddEntry('script says hi')");
    EXPECT_TRUE(LogHasRun({"script says hi", "   +: Done."})) << "written as it is, with no prefix";
    engine->ScriptCallFunction("cursor", -1);
    EXPECT_EQ(engine->ScriptGetResults().size(), 2u);
    engine->ScriptCallFunction("buffer", -1);
    ASSERT_EQ(engine->ScriptGetResults().size(), 1u);
    EXPECT_EQ(engine->ScriptGetResults()[0].GetString(), "abc");
}

TEST_F(GlueTest, AFrameDrawnFromLuaReachesTheDevice) {
    Run("function frame()\n"
        "  V2D_GFX_SceneBegin()\n"
        "  V2D_GFX_SceneClearScreen(0, 0, 0)\n"
        "  V2D_GFX_TechApply(V2DUTIL_DemandTechnique('TEQ_BLEND', 'TEQ_PACK'))\n"
        "  V2D_GFX_TexSet(V2DUTIL_DemandTexture('TEX_TILE'))\n"
        "  for i = 0, 2 do\n"
        "    V2D_GFX_VQuadSetPos(10 + i * 20, 10, 16, 16)\n"
        "    V2D_GFX_VQuadSetColor(1, 1, 1, 0.5)\n"
        "    V2D_GFX_VQuadSetTexCoords(1, 0, 0, 1, 1)\n"
        "    V2D_GFX_SceneRender()\n"
        "  end\n"
        "  V2D_GFX_FontSet(V2DUTIL_DemandFont('FNT_MAIN'))\n"
        "  V2D_GFX_FontDrawText('Hi', 100, 200, 0, -1, 1)\n"
        "  V2D_GFX_SceneEnd()\n"
        "  V2D_GFX_ScenePresent()\n"
        "end");
    Device().ClearRecords();
    engine->ScriptCallFunction("frame", 0);
    ASSERT_EQ(Device().draws.size(), 2u) << "the tiles, then the text after the font's texture change";
    const vd3d::RecordedDraw& tiles = Device().draws[0];
    const std::vector<V2DVERTEX> v = Vertices(tiles);
    ASSERT_EQ(v.size(), 12u);
    EXPECT_FLOAT_EQ(v[4].x + 0.5f, 30.0f);
    EXPECT_EQ(v[0].diffuse >> 24, 0x7Fu);
    EXPECT_NE(tiles.textures[0], nullptr);
    EXPECT_EQ(tiles.renderStates[vd3d::D3DRS_ALPHABLENDENABLE], 1u);
    EXPECT_EQ(Vertices(Device().draws[1]).size(), 8u) << "two glyphs";
}

}  // namespace
