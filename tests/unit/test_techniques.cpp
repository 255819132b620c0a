// Techniques on the recording device: packs and every keyword table, the
// groups and their presence rule, applying only the groups a technique
// sets, the flush rule, dynamic light settings, and pack errors.
#include <filesystem>
#include <map>

#include "cvelmor_utils_csmartid.h"
#include "cxmlparser.h"
#include "gfx_fixtures.h"

using namespace gfxtest;
using namespace vd3d;

namespace {

const char* const kFullTechnique =
    "<t id=\"TEQ_UT_FULL\" tag=\"7\" alphablending=\"ON\" absrc=\"SRCALPHA\" abdest=\"INVSRCALPHA\" fog=\"ON\" "
    "fogstart=\"10.5\" fogend=\"100\" fogcolorr=\"1\" fogcolorg=\"0.5\" fogcolorb=\"0\" texturefactorr=\"0.2\" "
    "texturefactorg=\"0.4\" texturefactorb=\"0.6\" texturefactora=\"0.8\" s0_colorop=\"MODULATE\" "
    "s0_colorarg1=\"TEXTURE\" s0_colorarg2=\"DIFFUSE\" s0_alphaop=\"SELECTARG1\" s0_alphaarg1=\"TEXTURE\" "
    "s0_alphaarg2=\"TFACTOR\" s0_address=\"CLAMP\" s1_colorop=\"ADD\" s1_colorarg1=\"SPECULAR\" "
    "s1_colorarg2=\"CURRENT\" s1_alphaop=\"SUBTRACT\" s1_alphaarg1=\"TFACTOR\" s1_alphaarg2=\"DIFFUSE\" "
    "s1_address=\"CLAMP\" s0_minfilter=\"LINEAR\" s0_magfilter=\"POINT\" s0_mipfilter=\"NONE\" "
    "s1_minfilter=\"POINT\" s1_magfilter=\"LINEAR\" s1_mipfilter=\"LINEAR\" dynlightmode=\"VERTEX\" "
    "dynlightambientcolorr=\"0.2\" dynlightambientcolorg=\"0.4\" dynlightambientcolorb=\"1\"/>";

std::string Pack(const std::string& techniques) { return "<techniquespack>" + techniques + "</techniquespack>"; }

class TechniqueTest : public GfxEngineTest {
protected:
    const V2DTECHNIQUE& Record(const std::string& id) {
        return *engine->m_gfx.pTechniques->GetItem(engine->m_gfx.pTechniques->FindByName(id));
    }

    // Render and stage states that differ between two snapshots, as
    // "rs<state>" and "s<stage>_<state>".
    static std::vector<std::string> Changed(const DeviceState& before, const DeviceState& after) {
        std::vector<std::string> changed;
        for (uint32_t i = 0; i < kRenderStateCount; ++i)
            if (before.renderStates[i] != after.renderStates[i]) changed.push_back("rs" + std::to_string(i));
        for (uint32_t stage = 0; stage < kMaxTextureStages; ++stage)
            for (uint32_t i = 0; i < kStageStateCount; ++i)
                if (before.stageStates[stage][i] != after.stageStates[stage][i])
                    changed.push_back("s" + std::to_string(stage) + "_" + std::to_string(i));
        return changed;
    }
};

TEST_F(TechniqueTest, PackReadsEveryGroupOfATechnique) {
    CSmartID full("TEQ_UT_FULL");
    LoadTechniques(Pack(kFullTechnique));
    EXPECT_TRUE(LogHasRun({"", "  -=: Processing techniques pack...", "   +: 1 techniques loaded.", ""}));
    EXPECT_EQ(full.GetID(), 0);
    EXPECT_EQ(engine->m_gfx.pTechniques->GetTag(0), 7);
    const V2DTECHNIQUE& t = Record("TEQ_UT_FULL");
    EXPECT_TRUE(t.AlphaBlendingSet && t.AlphaBlending);
    EXPECT_EQ(t.SrcBlend, uint32_t(D3DBLEND_SRCALPHA));
    EXPECT_EQ(t.DestBlend, uint32_t(D3DBLEND_INVSRCALPHA));
    EXPECT_TRUE(t.FogSet && t.Fog);
    EXPECT_FLOAT_EQ(t.FogStart, 10.5f);
    EXPECT_FLOAT_EQ(t.FogEnd, 100.0f);
    EXPECT_EQ(t.FogColor, 0xFFFF7F00u);
    EXPECT_TRUE(t.TextureFactorSet);
    EXPECT_EQ(t.TextureFactor, 0xCC336699u);
    EXPECT_TRUE(t.StageStatesSet);
    EXPECT_EQ(t.ColorOp[0], uint32_t(D3DTOP_MODULATE));
    EXPECT_EQ(t.ColorArg1[0], D3DTA_TEXTURE);
    EXPECT_EQ(t.ColorArg2[0], D3DTA_DIFFUSE);
    EXPECT_EQ(t.AlphaOp[0], uint32_t(D3DTOP_SELECTARG1));
    EXPECT_EQ(t.AlphaArg2[0], D3DTA_TFACTOR);
    EXPECT_EQ(t.Address[0], uint32_t(D3DTADDRESS_CLAMP));
    EXPECT_EQ(t.ColorOp[1], uint32_t(D3DTOP_ADD));
    EXPECT_EQ(t.ColorArg1[1], D3DTA_SPECULAR);
    EXPECT_EQ(t.AlphaOp[1], uint32_t(D3DTOP_SUBTRACT));
    EXPECT_TRUE(t.FiltersSet);
    EXPECT_EQ(t.MinFilter[0], uint32_t(D3DTEXF_LINEAR));
    EXPECT_EQ(t.MagFilter[0], uint32_t(D3DTEXF_POINT));
    EXPECT_EQ(t.MipFilter[1], uint32_t(D3DTEXF_LINEAR));
    EXPECT_TRUE(t.DynLightSet);
    EXPECT_EQ(t.DynLightMode, 1u);
    EXPECT_EQ(t.DynLightAmbientColor, 0xFF3366FFu);
}

TEST_F(TechniqueTest, EveryKeywordTableWithItsDefault) {
    struct Table {
        std::string attribute;
        std::map<std::string, uint32_t> values;  // "" stands for an unknown keyword
        uint32_t V2DTECHNIQUE::*field;
        uint32_t (V2DTECHNIQUE::*stageField)[2];
    };
    const std::vector<Table> tables = {
        {"absrc",
         {{"ZERO", 1}, {"ONE", 2}, {"SRCCOLOR", 3}, {"INVSRCCOLOR", 4}, {"SRCALPHA", 5}, {"INVSRCALPHA", 6},
          {"DESTALPHA", 7}, {"INVDESTALPHA", 8}, {"DESTCOLOR", 9}, {"INVDESTCOLOR", 10}, {"SRCALPHASAT", 11},
          {"srcalpha", 1}},
         &V2DTECHNIQUE::SrcBlend, nullptr},
        {"s0_colorop",
         {{"DISABLE", 1}, {"SELECTARG1", 2}, {"SELECTARG2", 3}, {"MODULATE", 4}, {"ADD", 7}, {"SUBTRACT", 10},
          {"DOTPRODUCT3", 24}, {"MODULATE2X", 1}},
         nullptr, &V2DTECHNIQUE::ColorOp},
        {"s0_colorarg1",
         {{"DIFFUSE", 0}, {"CURRENT", 1}, {"TEXTURE", 2}, {"TFACTOR", 3}, {"SPECULAR", 4}, {"ALPHA", 1}},
         nullptr, &V2DTECHNIQUE::ColorArg1},
        {"s0_address", {{"WRAP", 1}, {"CLAMP", 3}, {"MIRROR", 1}}, nullptr, &V2DTECHNIQUE::Address},
        {"s0_minfilter", {{"NONE", 0}, {"POINT", 1}, {"LINEAR", 2}, {"ANISOTROPIC", 0}}, nullptr,
         &V2DTECHNIQUE::MinFilter},
        {"dynlightmode", {{"DISABLED", 0}, {"VERTEX", 1}, {"DOT3", 2}, {"SPOT", 0}}, &V2DTECHNIQUE::DynLightMode,
         nullptr},
    };
    int n = 0;
    for (const Table& table : tables) {
        for (const auto& [keyword, value] : table.values) {
            const std::string id = "TEQ_UT_K" + std::to_string(n++);
            // The group's key attributes make it present.
            LoadTechniques(Pack("<t id=\"" + id + "\" alphablending=\"OFF\" s0_colorop=\"ADD\" " +
                                "s0_minfilter=\"POINT\" " + table.attribute + "=\"" + keyword + "\"/>"));
            const V2DTECHNIQUE& t = Record(id);
            const uint32_t got = table.field ? t.*(table.field) : (t.*(table.stageField))[0];
            EXPECT_EQ(got, value) << table.attribute << "=" << keyword;
        }
    }
}

TEST_F(TechniqueTest, SwitchesAndMissingNumbers) {
    LoadTechniques(Pack("<a id=\"TEQ_UT_A\" alphablending=\"on\" fog=\"OFF\" fogstart=\"x\"/>"
                        "<b id=\"TEQ_UT_B\" alphablending=\"ON\" fog=\"ON\" fogend=\"-2.5e1\"/>"));
    const V2DTECHNIQUE& a = Record("TEQ_UT_A");
    EXPECT_TRUE(a.AlphaBlendingSet);
    EXPECT_FALSE(a.AlphaBlending);
    EXPECT_TRUE(a.FogSet);
    EXPECT_FALSE(a.Fog);
    EXPECT_EQ(a.FogStart, 0.0f);
    EXPECT_EQ(a.FogColor, 0xFF000000u);
    EXPECT_EQ(a.SrcBlend, uint32_t(D3DBLEND_ZERO));
    const V2DTECHNIQUE& b = Record("TEQ_UT_B");
    EXPECT_TRUE(b.AlphaBlending);
    EXPECT_TRUE(b.Fog);
    EXPECT_FLOAT_EQ(b.FogEnd, -25.0f);
}

TEST_F(TechniqueTest, AGroupWithoutItsKeyAttributeIsNotSet) {
    LoadTechniques(Pack("<t id=\"TEQ_UT_A\" absrc=\"ONE\" fogstart=\"3\" texturefactorg=\"1\" s0_colorarg1=\"TEXTURE\" "
                        "s1_colorop=\"ADD\" s0_magfilter=\"LINEAR\" dynlightambientcolorr=\"1\"/>"));
    const V2DTECHNIQUE& t = Record("TEQ_UT_A");
    EXPECT_FALSE(t.AlphaBlendingSet);
    EXPECT_FALSE(t.FogSet);
    EXPECT_FALSE(t.TextureFactorSet);
    EXPECT_FALSE(t.StageStatesSet);
    EXPECT_FALSE(t.FiltersSet);
    EXPECT_FALSE(t.DynLightSet);
}

TEST_F(TechniqueTest, ApplyingPushesAllGroupsOfAFullTechnique) {
    LoadTechniques(Pack(kFullTechnique));
    engine->ApplyTechnique(std::string("TEQ_UT_FULL"));
    const DeviceState& s = Device().State();
    EXPECT_EQ(s.renderStates[D3DRS_ALPHABLENDENABLE], 1u);
    EXPECT_EQ(s.renderStates[D3DRS_SRCBLEND], uint32_t(D3DBLEND_SRCALPHA));
    EXPECT_EQ(s.renderStates[D3DRS_DESTBLEND], uint32_t(D3DBLEND_INVSRCALPHA));
    EXPECT_EQ(s.renderStates[D3DRS_FOGENABLE], 1u);
    EXPECT_EQ(s.renderStates[D3DRS_FOGVERTEXMODE], uint32_t(D3DFOG_LINEAR));
    float fogStart = 0;
    std::memcpy(&fogStart, &s.renderStates[D3DRS_FOGSTART], 4);
    EXPECT_FLOAT_EQ(fogStart, 10.5f);
    EXPECT_EQ(s.renderStates[D3DRS_FOGCOLOR], 0xFFFF7F00u);
    EXPECT_EQ(s.renderStates[D3DRS_TEXTUREFACTOR], 0xCC336699u);
    EXPECT_EQ(s.stageStates[0][D3DTSS_COLOROP], uint32_t(D3DTOP_MODULATE));
    EXPECT_EQ(s.stageStates[0][D3DTSS_ALPHAARG2], D3DTA_TFACTOR);
    EXPECT_EQ(s.stageStates[0][D3DTSS_ADDRESSU], uint32_t(D3DTADDRESS_CLAMP));
    EXPECT_EQ(s.stageStates[0][D3DTSS_ADDRESSV], uint32_t(D3DTADDRESS_CLAMP));
    EXPECT_EQ(s.stageStates[1][D3DTSS_COLOROP], uint32_t(D3DTOP_ADD));
    EXPECT_EQ(s.stageStates[1][D3DTSS_ALPHAARG1], D3DTA_TFACTOR);
    EXPECT_EQ(s.stageStates[1][D3DTSS_ADDRESSV], uint32_t(D3DTADDRESS_CLAMP));
    EXPECT_EQ(s.stageStates[0][D3DTSS_MINFILTER], uint32_t(D3DTEXF_LINEAR));
    EXPECT_EQ(s.stageStates[1][D3DTSS_MIPFILTER], uint32_t(D3DTEXF_LINEAR));
    EXPECT_TRUE(engine->m_gfx.bFog);
    EXPECT_EQ(engine->m_gfx.dwDynLightMode, 1u);
    EXPECT_FLOAT_EQ(engine->m_gfx.dynLightAmbient[0], 0.2f);
    EXPECT_FLOAT_EQ(engine->m_gfx.dynLightAmbient[1], 0.4f);
    EXPECT_FLOAT_EQ(engine->m_gfx.dynLightAmbient[2], 1.0f);
    EXPECT_FLOAT_EQ(engine->m_gfx.dynLightAmbient[3], 1.0f);
    EXPECT_EQ(engine->m_gfx.iCurrentTechnique, 0);
}

TEST_F(TechniqueTest, ATechniqueWithOnlyAlphaBlendingChangesOnlyTheThreeBlendStates) {
    LoadTechniques(Pack(std::string(kFullTechnique) +
                        "<t id=\"TEQ_UT_BLEND\" alphablending=\"OFF\" absrc=\"ONE\" abdest=\"ZERO\"/>"));
    engine->ApplyTechnique(std::string("TEQ_UT_FULL"));
    const DeviceState before = Device().State();
    engine->ApplyTechnique(std::string("TEQ_UT_BLEND"));
    EXPECT_EQ(Changed(before, Device().State()),
              (std::vector<std::string>{"rs19", "rs20", "rs27"}));  // SRCBLEND, DESTBLEND, ALPHABLENDENABLE
    EXPECT_TRUE(engine->m_gfx.bFog);
    EXPECT_EQ(engine->m_gfx.dwDynLightMode, 1u);
}

TEST_F(TechniqueTest, ADisabledSecondStageSetsOnlyItsColourOperation) {
    LoadTechniques(Pack(std::string(kFullTechnique) +
                        "<t id=\"TEQ_UT_ONE\" s0_colorop=\"SELECTARG1\" s0_colorarg1=\"TEXTURE\" "
                        "s0_colorarg2=\"DIFFUSE\" s0_alphaop=\"MODULATE\" s0_alphaarg1=\"TEXTURE\" "
                        "s0_alphaarg2=\"DIFFUSE\" s0_address=\"WRAP\" s1_colorop=\"DISABLE\" "
                        "s1_colorarg1=\"TEXTURE\" s1_alphaop=\"MODULATE\" s1_address=\"WRAP\"/>"));
    engine->ApplyTechnique(std::string("TEQ_UT_FULL"));
    const DeviceState before = Device().State();
    engine->ApplyTechnique(std::string("TEQ_UT_ONE"));
    const DeviceState& after = Device().State();
    EXPECT_EQ(after.stageStates[1][D3DTSS_COLOROP], uint32_t(D3DTOP_DISABLE));
    std::vector<std::string> stage1;
    for (const std::string& change : Changed(before, after))
        if (change.rfind("s1_", 0) == 0) stage1.push_back(change);
    EXPECT_EQ(stage1, std::vector<std::string>{"s1_1"});
    EXPECT_EQ(after.stageStates[0][D3DTSS_COLOROP], uint32_t(D3DTOP_SELECTARG1));
    EXPECT_EQ(after.stageStates[0][D3DTSS_ADDRESSU], uint32_t(D3DTADDRESS_WRAP));
}

TEST_F(TechniqueTest, ApplyingTheCurrentTechniqueAgainFlushesNothing) {
    LoadTechniques(Pack("<a id=\"TEQ_UT_A\" alphablending=\"ON\"/><b id=\"TEQ_UT_B\" alphablending=\"OFF\"/>"));
    CSmartID a("TEQ_UT_A");
    CSmartID::BindByName("TEQ_UT_A", 0);
    engine->SceneBegin();
    engine->ApplyTechnique(a);
    QueueQuad(0, 0);
    engine->ApplyTechnique(0);
    engine->ApplyTechnique(std::string("TEQ_UT_A"));
    EXPECT_TRUE(Device().draws.empty());
    engine->ApplyTechnique(1);
    ASSERT_EQ(Device().draws.size(), 1u);
    EXPECT_EQ(Device().draws[0].renderStates[D3DRS_ALPHABLENDENABLE], 1u);
    engine->SceneEnd();
}

TEST_F(TechniqueTest, ASecondPackWithAKnownIDKeepsTheFirstDefinition) {
    LoadTechniques(Pack("<t id=\"TEQ_UT_A\" alphablending=\"ON\" absrc=\"ONE\"/>"));
    LoadTechniques(Pack("<t id=\"TEQ_UT_A\" alphablending=\"ON\" absrc=\"ZERO\"/><t id=\"TEQ_UT_B\" fog=\"ON\"/>"));
    EXPECT_TRUE(LogHas("   +: 1 techniques loaded."));
    EXPECT_EQ(Record("TEQ_UT_A").SrcBlend, uint32_t(D3DBLEND_ONE));
    EXPECT_EQ(engine->m_gfx.pTechniques->FindByName("TEQ_UT_B"), 1);
}

TEST_F(TechniqueTest, PackAndApplyErrors) {
    const auto packError = [&](const std::string& xml) {
        return Raised([&] { LoadTechniques(xml); });
    };
    CEHSException e = packError("no element here");
    EXPECT_EQ(e.GetDesc(), "Error in XML parser: Root node is NULL!");
    EXPECT_EQ(e.GetType(), uint32_t(EHS_TYPE_GENERAL));
    EXPECT_EQ(e.GetFile(), "cvelmor_gfx_tech");
    EXPECT_EQ(packError("<techniques/>").GetDesc(), "Wrong XML root node name: must be techniquespack!");
    EXPECT_EQ(packError(Pack("<t alphablending=\"ON\"/>")).GetDesc(), "Ivanlid technique ID!");

    e = Raised([&] { engine->ApplyTechnique(3); });
    EXPECT_EQ(e.GetDesc(), "Invalid technique ID! ID = 3");
    EXPECT_EQ(e.GetType(), uint32_t(EHS_TYPE_GAME));
    // A missing name gives -1: nothing to do while no technique is current.
    engine->ApplyTechnique(std::string("TEQ_UT_NONE"));
    LoadTechniques(Pack("<t id=\"TEQ_UT_A\" fog=\"ON\"/>"));
    engine->ApplyTechnique(0);
    EXPECT_EQ(Raised([&] { engine->ApplyTechnique(std::string("TEQ_UT_NONE")); }).GetDesc(),
              "Invalid technique ID! ID = -1");
    EXPECT_FALSE(LogHas(" !: Cannot find iID of technique with strID = TEQ_UT_NONE")) << "the error says it all";
    EXPECT_EQ(engine->GetTechniqueID("TEQ_UT_NONE"), -1);
    EXPECT_TRUE(LogHas(" !: Cannot find iID of technique with strID = TEQ_UT_NONE"));
}

TEST_F(TechniqueTest, PacksLoadScrambledAndThroughTheResourceSubsystem) {
    std::filesystem::create_directories("DATA/tech");
    testsupport::WriteFile("DATA/tech/techs.xml",
                           Pack("<t id=\"TEQ_UT_A\" fog=\"ON\"/><t id=\"TEQ_UT_B\" fog=\"OFF\"/>"));
    testsupport::WriteFile("DATA/res.xml",
                           "<respack><r id=\"PACK_UT\" typeid=\"TECHNIQUE\" filename=\"tech/techs.xml\" tag=\"1\"/>"
                           "</respack>");
    engine->ResourcesInit();
    EXPECT_EQ(DemandTechnique("TEQ_UT_B", "PACK_UT"), 1);
    EXPECT_EQ(DemandTechnique("TEQ_UT_A", "PACK_UT"), 0);
    EXPECT_EQ(Raised([] { DemandTechnique("TEQ_UT_C", "PACK_UT"); }).GetDesc(),
              "Invalid technique demand. ID = TEQ_UT_C  TechPackID = PACK_UT");

    std::string scrambled = Pack("<t id=\"TEQ_UT_S\" fog=\"ON\"/>");
    for (char& c : scrambled) c = static_cast<char>(c ^ XML_SCRAMBLE_KEY);
    engine->SetXMLEncryptMode(true);
    LoadTechniques(scrambled);
    EXPECT_GE(engine->m_gfx.pTechniques->FindByName("TEQ_UT_S"), 0);
    engine->ResourcesDeinit();
}

}  // namespace
