// Resource identifiers (kinds, registry, binding) and XML variables (the
// XMLDATA loader and its conversions).
#include <memory>
#include <string>

#include "cvelmor.h"
#include "cvelmor_utils_csmartid.h"
#include "cvelmor_utils_cxmlvar.h"
#include "cxmlparser.h"
#include "test_support.h"

namespace {

template <typename Make>
CEHSException ErrorOf(Make make) {
    try {
        make();
    } catch (const CEHSException& e) {
        return e;
    }
    ADD_FAILURE() << "no exception";
    return CEHSException(0, 0, "", "", 0);
}

TEST(SmartID, KindComesFromTheFirstThreeCharactersCaseSensitively) {
    {
        CSmartID tex("TEX_");
        EXPECT_EQ(tex.GetResType(), SMARTID_TEXTURE);
        EXPECT_EQ(tex.GetID(), -1);
    }
    {
        CSmartID texture("TEXTURE_A");
        EXPECT_EQ(texture.GetResType(), SMARTID_TEXTURE);
    }
    {
        CSmartID teq("TEQ_A");
        EXPECT_EQ(teq.GetResType(), SMARTID_TECHNIQUE);
    }
    {
        CSmartID fnt("FNT_A");
        EXPECT_EQ(fnt.GetResType(), SMARTID_FONT);
    }
    {
        CSmartID snd("SND_A");
        EXPECT_EQ(snd.GetResType(), SMARTID_SOUND);
    }
    {
        // An explicit kind skips detection: any text of any length.
        CSmartID any("x", 3);
        EXPECT_EQ(any.GetResType(), 3);
        EXPECT_EQ(any.GetStrID(), "x");
    }

    // No engine runs here: construction faults wait for the entry point,
    // which raises them.
    const CEHSException tooShort = ErrorOf([] {
        CSmartID id("TEX");
        RaiseKeptEarlyFault();
    });
    EXPECT_EQ(tooShort.GetType(), EHS_TYPE_GENERAL);
    EXPECT_EQ(tooShort.GetDesc(), "Error in CSmartID::DetectResType : strID length is too small (<4)!");
    EXPECT_EQ(tooShort.GetFile(), "cvelmor_utils_csmartid");

    const CEHSException lower = ErrorOf([] {
        CSmartID id("tex_bg");
        RaiseKeptEarlyFault();
    });
    EXPECT_EQ(lower.GetType(), EHS_TYPE_GAME);
    EXPECT_EQ(lower.GetDesc(), "Error in CSmartID::DetectResType : cannot detect res type! strID = tex_bg");
    EXPECT_EQ(ErrorOf([] {
                  CSmartID id("MUS_GAME");
                  RaiseKeptEarlyFault();
              }).GetType(),
              EHS_TYPE_GAME);
}

TEST(SmartID, SecondObjectWithTheSameTextIsRefusedAndKeptOutOfTheRegistry) {
    CSmartID first("TEX_UT_DUP");
    {
        // Built before any engine, as program-wide objects are: the first
        // fault is kept, the newcomer stays unbound and out of the registry.
        CSmartID second("TEX_UT_DUP");
        CSmartID third("XYZ_UT_BAD");
        CSmartID::BindByName("TEX_UT_DUP", 6);
        EXPECT_EQ(first.GetID(), 6);
        EXPECT_EQ(second.GetID(), -1);
    }
    CSmartID::BindByName("TEX_UT_DUP", 7);
    EXPECT_EQ(first.GetID(), 7) << "the refused object took nobody's entry with it";
    const CEHSException e = ErrorOf([] { RaiseKeptEarlyFault(); });
    EXPECT_EQ(e.GetType(), EHS_TYPE_GAME);
    EXPECT_EQ(e.GetCode(), 0u);
    EXPECT_EQ(e.GetDesc(),
              "Error in CSmartID::CSmartID(const char* fp_pszID, int fp_iResType). An object with same strID already "
              "exists! strID = TEX_UT_DUP");
    EXPECT_NO_THROW(RaiseKeptEarlyFault()) << "raised once, then forgotten";
}

TEST(SmartID, BindingByNameAndUnbindingTheFirstInKeyOrder) {
    // Binding a text no object holds yet does nothing, not even for an
    // object made with it later. (The registry itself is program-wide: the
    // game's identifiers live in it too, so it stays.)
    CSmartID::BindByName("TEX_UT_B", 5);

    CSmartID b("TEX_UT_B");
    CSmartID a("TEX_UT_A");
    CSmartID sound("SND_UT_A");
    EXPECT_EQ(b.GetID(), -1);

    CSmartID::BindByName("TEX_UT_B", 4);
    CSmartID::BindByName("TEX_UT_A", 4);
    CSmartID::BindByName("SND_UT_A", 4);
    CSmartID::BindByName("TEX_UT_NOBODY", 9);
    EXPECT_EQ(a.GetID(), 4);
    EXPECT_EQ(b.GetID(), 4);

    // Equal ID and kind: only the first in key order ("TEX_UT_A") is reset;
    // the sound with the same number is of another kind.
    CSmartID::UnbindByID(4, SMARTID_TEXTURE);
    EXPECT_EQ(a.GetID(), -1);
    EXPECT_EQ(b.GetID(), 4);
    EXPECT_EQ(sound.GetID(), 4);
    CSmartID::UnbindByID(4, SMARTID_TEXTURE);
    EXPECT_EQ(b.GetID(), -1);
    EXPECT_EQ(sound.GetID(), 4);
    CSmartID::UnbindByID(77, SMARTID_SOUND);
    EXPECT_EQ(sound.GetID(), 4);
}

TEST(SmartID, DestroyingAnIdentifierRemovesOnlyItsOwnEntry) {
    CSmartID survivor("TEX_UT_SURVIVOR");
    {
        CSmartID temporary("TEX_UT_TEMP");
    }
    CSmartID::BindByName("TEX_UT_SURVIVOR", 3);
    EXPECT_EQ(survivor.GetID(), 3);
    // The text is free again, and a new object binds under it.
    CSmartID again("TEX_UT_TEMP");
    CSmartID::BindByName("TEX_UT_TEMP", 2);
    EXPECT_EQ(again.GetID(), 2);
    EXPECT_NO_THROW(RaiseKeptEarlyFault());
}

class XMLVarTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        engine = std::make_unique<CVelmor>();
    }
    void TearDown() override {
        engine.reset();
        EngineTest::TearDown();
    }
    void Load(const std::string& text) { RESLOAD_XMLData(text.data(), static_cast<int>(text.size())); }
    std::unique_ptr<CVelmor> engine;
};

TEST_F(XMLVarTest, AttributesAssignVariablesByNameWithTheirOwnConversions) {
    CXMLVarInt columns("columns", 4);
    CXMLVarInt rows("rows", 4);
    CXMLVarInt untouched("untouched", 17);
    CXMLVarFloat red("red", 0.5f);
    Load("<xmldata><v columns=\"12\" rows=\"9\"/><c red=\"0.25\"/></xmldata>");
    EXPECT_EQ(columns.GetValue(), 12);
    EXPECT_EQ(rows.GetValue(), 9);
    EXPECT_FLOAT_EQ(red.GetValue(), 0.25f);
    EXPECT_EQ(untouched.GetValue(), 17);

    // Stream extraction: leading spacing skipped, reading stops where the
    // number cannot go on; text that is no number keeps the value.
    Load("<xmldata><v columns=\"7.9\" rows=\"  42abc\" red=\"2.5e1x\"/></xmldata>");
    EXPECT_EQ(columns.GetValue(), 7);
    EXPECT_EQ(rows.GetValue(), 42);
    EXPECT_FLOAT_EQ(red.GetValue(), 25.0f);
    Load("<xmldata><v columns=\"abc\" red=\"\"/></xmldata>");
    EXPECT_EQ(columns.GetValue(), 7);
    EXPECT_FLOAT_EQ(red.GetValue(), 25.0f);
}

TEST_F(XMLVarTest, UnknownNamesAreWarnedInNameOrderAndTheRestStillApplies) {
    CXMLVarInt columns("columns", 4);
    Load("<xmldata><v zeta=\"1\" columns=\"8\" alpha=\"2\"/><w columns=\"10\"/></xmldata>");
    // The later child wins.
    EXPECT_EQ(columns.GetValue(), 10);
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], " !: Warning: unused xml variable: alpha");
    EXPECT_EQ(lines[1], " !: Warning: unused xml variable: zeta");
}

TEST_F(XMLVarTest, EmptyFileWarnsAndWrongRootIsFatal) {
    CXMLVarInt columns("columns", 4);
    Load("<xmldata></xmldata>");
    EXPECT_EQ(columns.GetValue(), 4);
    EXPECT_EQ(LogLines(), std::vector<std::string>{" !: Warning: empty xmldata file!"});

    const CEHSException e = ErrorOf([this] { Load("<vars><v columns=\"1\"/></vars>"); });
    EXPECT_EQ(e.GetType(), EHS_TYPE_GENERAL);
    EXPECT_EQ(e.GetDesc(), "Error in loading XMLData: invalid root node name!");
    EXPECT_EQ(e.GetFile(), "cvelmor_utils_cxmlvar");
    EXPECT_EQ(columns.GetValue(), 4);
}

TEST_F(XMLVarTest, ScrambledDataIsReadWhenTheEncryptModeIsOn) {
    CXMLVarInt columns("columns", 4);
    std::string text = "<xmldata>\r\n<v columns=\"6\"/>\r\n</xmldata>";
    for (char& c : text) c = static_cast<char>(static_cast<unsigned char>(c) ^ XML_SCRAMBLE_KEY);
    engine->SetXMLEncryptMode(true);
    Load(text);
    EXPECT_EQ(columns.GetValue(), 6);
}

TEST_F(XMLVarTest, WhileTheEngineRunsDuplicatesRaiseAtOnceAndEachVariableLeavesAlone) {
    CXMLVarInt first("board", 1);
    const CEHSException e = ErrorOf([] { CXMLVarFloat second("board", 2.0f); });
    EXPECT_EQ(e.GetType(), EHS_TYPE_GAME);
    EXPECT_EQ(e.GetDesc(),
              "Error in CXMLVar::CXMLVar(const char* fp_pszID). An object with same ID already exists! ID = board");
    CSmartID texture("TEX_UT_RUNNING");
    EXPECT_EQ(ErrorOf([] { CSmartID again("TEX_UT_RUNNING"); }).GetType(), EHS_TYPE_GAME);
    EXPECT_EQ(ErrorOf([] { CSmartID bad("BAD_UT"); }).GetType(), EHS_TYPE_GAME);
    {
        CXMLVarInt temporary("temporary", 0);
    }
    CXMLVar::SetByName("board", "5");
    EXPECT_EQ(first.GetValue(), 5) << "the other variables still bind";
    CXMLVar::SetByName("temporary", "5");
    EXPECT_TRUE(testsupport::FileExists("gamelog.txt"));
    EXPECT_NE(Log().find("Warning: unused xml variable: temporary"), std::string::npos);
    EXPECT_NO_THROW(RaiseKeptEarlyFault()) << "nothing was kept while the engine ran";
}

TEST(XMLVar, ADuplicateBeforeTheEngineIsKeptForTheEntryPoint) {
    CXMLVarInt first("size", 1);
    {
        CXMLVarInt second("size", 2);
        EXPECT_NO_THROW(CXMLVar::SetByName("size", "3"));
    }
    EXPECT_EQ(first.GetValue(), 3);
    CXMLVar::SetByName("size", "4");
    EXPECT_EQ(first.GetValue(), 4);
    EXPECT_EQ(ErrorOf([] { RaiseKeptEarlyFault(); }).GetDesc(),
              "Error in CXMLVar::CXMLVar(const char* fp_pszID). An object with same ID already exists! ID = size");
}

}  // namespace
