// The resource subsystem: modes and scans with their log, records, the
// load-function registries, loading by ID and by tag, demand operations, and
// damaged packs.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "cvelmor.h"
#include "cvelmor_utils_cxmlvar.h"
#include "engineroutine.h"
#include "res_fixtures.h"
#include "test_support.h"

using resfixtures::Calls;
using resfixtures::LoadCall;
using resfixtures::PakBytes;
using resfixtures::Put;

namespace {

const std::string kSep1 = "|---------------------------------------------------|";

class ResourceTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Calls().clear();
        engine = std::make_unique<CVelmor>();
    }
    void TearDown() override {
        engine.reset();
        EngineTest::TearDown();
    }

    // Starts the subsystem and forgets its start-up lines.
    void Start() {
        engine->ResourcesInit();
        std::remove("gamelog.txt");
    }
    template <typename Body>
    CEHSException ErrorOf(Body body) {
        try {
            body();
        } catch (const CEHSException& e) {
            return e;
        }
        ADD_FAILURE() << "no exception";
        return CEHSException(0, 0, "", "", 0);
    }
    const CV2DResource* Record(const char* id) const {
        const TItemsManager<CV2DResource>* records = engine->ResGetResources();
        const int32_t slot = records->FindByName(id);
        return slot >= 0 ? records->GetItem(slot) : nullptr;
    }
    std::vector<std::string> LoadedIDs() const {
        std::vector<std::string> ids;
        for (const LoadCall& call : Calls()) ids.push_back(call.id);
        return ids;
    }

    std::unique_ptr<CVelmor> engine;
};

std::vector<std::string> InitBlock(const std::vector<std::string>& middle) {
    std::vector<std::string> lines = {kSep1, "--==: Initializing Resources Subsystem..."};
    lines.insert(lines.end(), middle.begin(), middle.end());
    for (const char* line : {"  -=: Registering resources-loading functions for standart resource types...",
                             "   +: Done.", "   +: Done."})
        lines.push_back(line);
    lines.push_back(kSep1);
    lines.push_back("");
    return lines;
}

// ---- Modes and scans ----------------------------------------------------------------

TEST_F(ResourceTest, XMLModeReadsDescriptorsIntoRecordsAndLogsEachStep) {
    Put("DATA/tex/bg.png", "PNGDATA");
    Put("DATA/snd/click.wav", "RIFF....WAVE");
    Put("DATA/game.xml",
        "<?xml version=\"1.0\"?>\n<respack>\n"
        "  <res id=\"TEX_BG\" typeid=\"TEXTURE\" filename=\"tex/bg.png\" tag=\"3\" data1=\"256\" data3=\"-1\"/>\n"
        "  <res id=\"SND_CLICK\" typeid=\"SOUND\" filename=\"snd\\click.wav\" tag=\"4\" data1=\"1\" data2=\"\"/>\n"
        "</respack>\n");
    engine->ResourcesInit();

    EXPECT_EQ(engine->m_bResStarted, 1);
    EXPECT_EQ(engine->ResGetMode(), RESMODE_XML);
    EXPECT_FALSE(engine->GetXMLEncryptMode());
    EXPECT_EQ(LogLines(), InitBlock({"   =: Resources Subsystem operates in XML mode.",
                                     "   =: Processing ResPack: ./DATA/game.xml", "   +: 2 resources found.",
                                     "   +: 1 resource packs found."}));

    const CV2DResource* bg = Record("TEX_BG");
    ASSERT_NE(bg, nullptr);
    EXPECT_EQ(bg->GetTypeID(), "TEXTURE");
    EXPECT_EQ(bg->GetFileName(), "./DATA/tex/bg.png");
    EXPECT_EQ(bg->GetOffset(), 0u);
    EXPECT_EQ(bg->GetSize(), 7u);
    EXPECT_EQ(bg->GetTag(), 3);
    EXPECT_EQ(bg->GetData1(), 256);
    EXPECT_EQ(bg->GetData2(), 0);  // absent
    EXPECT_EQ(bg->GetData3(), -1);
    EXPECT_FALSE(bg->IsLoaded());
    EXPECT_EQ(bg->GetData(), nullptr);
    EXPECT_EQ(engine->ResGetResources()->GetTag(engine->ResGetResources()->FindByName("TEX_BG")), 3);

    // Backslash separators name the same file; an empty data2 is 0.
    const CV2DResource* click = Record("SND_CLICK");
    ASSERT_NE(click, nullptr);
    EXPECT_EQ(click->GetFileName(), "./DATA/snd/click.wav");
    EXPECT_EQ(click->GetSize(), 12u);
    EXPECT_EQ(click->GetData2(), 0);
}

TEST_F(ResourceTest, NoDataFolderMeansAnEmptyTableAndTheEngineGoesOn) {
    engine->ResourcesInit();
    EXPECT_EQ(engine->ResGetMode(), RESMODE_NONE);
    EXPECT_EQ(engine->ResGetResources()->GetCount(), 0);
    EXPECT_EQ(LogLines(), InitBlock({" !: No resources were found!"}));

    std::remove("gamelog.txt");
    engine->LoadResources(0);
    engine->LoadResource("TEX_BG");
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"  -=: Loading resources with Tag = 0",
                                                    "   +: 0 resources with Tag = 0 loaded.",
                                                    " !: Cannot find resource with ID = TEX_BG"}));
}

TEST_F(ResourceTest, TheGameStartsResourcesFirstAndAnEmptyFolderIsNoError) {
    g_pV2D = nullptr;
    const CEHSException e = ErrorOf([] { Engine_InitResourcesSubsystem(); });
    EXPECT_EQ(e.GetType(), EHS_TYPE_GENERAL);
    EXPECT_EQ(e.GetDesc(), "Error in Engine_InitResourcesSubsystem: pV2D == NULL!");
    EXPECT_EQ(engine->m_bResStarted, 0);

    g_pV2D = engine.get();
    Engine_InitResourcesSubsystem();
    g_pV2D = nullptr;
    EXPECT_EQ(engine->m_bResStarted, 1);
    EXPECT_EQ(LogLines(), InitBlock({" !: No resources were found!"}));
}

TEST_F(ResourceTest, DescriptorsWinOverPacksWhenBothArePresent) {
    Put("DATA/a.bin", "A");
    Put("DATA/only.xml", "<respack><r id=\"A\" typeid=\"T\" filename=\"a.bin\" tag=\"1\"/></respack>");
    Put("DATA/ignored.pak", PakBytes(1).Entry("P", "T", 30, 1, 1).Raw("P").Bytes());
    engine->ResourcesInit();
    EXPECT_EQ(engine->ResGetMode(), RESMODE_XML);
    EXPECT_FALSE(engine->GetXMLEncryptMode());
    EXPECT_NE(Record("A"), nullptr);
    EXPECT_EQ(Record("P"), nullptr);
    for (const std::string& line : LogLines()) EXPECT_EQ(line.find("ignored.pak"), std::string::npos);
}

TEST_F(ResourceTest, PakModeReadsPackDirectoriesAndSwitchesScramblingOn) {
    PakBytes pak(2);
    pak.Entry("TEX_BG", "TEXTURE", 0, 5, 3, 256, 0, 7).Entry("SND_CLICK", "SOUND", 0, 3, 4, 1, 2, 3);
    const uint32_t start = static_cast<uint32_t>(pak.Size());
    PakBytes fixed(2);
    fixed.Entry("TEX_BG", "TEXTURE", start, 5, 3, 256, 0, 7).Entry("SND_CLICK", "SOUND", start + 5, 3, 4, 1, 2, 3);
    Put("DATA/game.pak", fixed.Raw("IMAGEwav").Bytes());
    engine->ResourcesInit();

    EXPECT_EQ(engine->ResGetMode(), RESMODE_PAK);
    EXPECT_TRUE(engine->GetXMLEncryptMode());
    EXPECT_EQ(LogLines(), InitBlock({"   =: Resources Subsystem operates in PAK mode.",
                                     "   =: Processing ResPack: ./DATA/game.pak", "   +: 2 resources found.",
                                     "   +: 1 resource packs found."}));
    const CV2DResource* click = Record("SND_CLICK");
    ASSERT_NE(click, nullptr);
    EXPECT_EQ(click->GetFileName(), "./DATA/game.pak");
    EXPECT_EQ(click->GetOffset(), start + 5);
    EXPECT_EQ(click->GetSize(), 3u);
    EXPECT_EQ(click->GetTag(), 4);
    EXPECT_EQ(click->GetData1(), 1);
    EXPECT_EQ(click->GetData2(), 2);
    EXPECT_EQ(click->GetData3(), 3);

    resfixtures::UseLoader(*engine, "TEXTURE", resfixtures::RecordLoad);
    resfixtures::UseLoaderEx(*engine, "SOUND", resfixtures::RecordLoadEx);
    engine->LoadResources(0);
    ASSERT_EQ(Calls().size(), 2u);
    EXPECT_EQ(Calls()[0].bytes, "IMAGE");
    EXPECT_EQ(Calls()[0].data1, 256);
    EXPECT_EQ(Calls()[0].data3, 7);
    EXPECT_EQ(Calls()[1].fileName, "./DATA/game.pak");
    EXPECT_EQ(Calls()[1].offset, static_cast<int>(start + 5));
    EXPECT_EQ(Calls()[1].bytes, "wav");
}

TEST_F(ResourceTest, EmptyPackAddsNothingAndSaysSo) {
    Put("DATA/empty.pak", PakBytes(0).Bytes());
    engine->ResourcesInit();
    EXPECT_EQ(engine->ResGetMode(), RESMODE_PAK);
    EXPECT_EQ(engine->ResGetResources()->GetCount(), 0);
    EXPECT_EQ(LogLines(), InitBlock({"   =: Resources Subsystem operates in PAK mode.",
                                     "   =: Processing ResPack: ./DATA/empty.pak", "   +: 0 resources found.",
                                     "   +: 1 resource packs found."}));
}

TEST_F(ResourceTest, DuplicateIDsInPacksKeepTheFirstEntryProcessedAndPacksAreReadInNameOrder) {
    PakBytes head(2);
    head.Entry("DUP", "T", 0, 1, 1).Entry("DUP", "T", 0, 1, 2);
    const uint32_t at = static_cast<uint32_t>(head.Size());
    // Written in an order of their own; read in name order whatever the
    // file system lists first.
    const std::vector<std::string> names = {"p5", "p2", "p7", "P9", "p0", "p3", "p6", "p1", "p4"};
    for (const std::string& name : names) {
        const int32_t tag = name == "p0" ? 1 : 100 + name[1];
        if (name == "p0") {
            Put("DATA/p0.pak", PakBytes(2).Entry("DUP", "T", at, 1, 1).Entry("DUP", "T", at, 1, 2).Raw("1").Bytes());
        } else {
            Put("DATA/" + name + ".pak", PakBytes(1).Entry("DUP", "T", 30, 1, tag).Raw(std::string(10, '2')).Bytes());
        }
    }
    engine->ResourcesInit();

    std::vector<std::string> processed;
    for (const std::string& line : LogLines())
        if (line.rfind("   =: Processing ResPack: ", 0) == 0) processed.push_back(line.substr(26));
    const std::vector<std::string> sorted = {"./DATA/P9.pak", "./DATA/p0.pak", "./DATA/p1.pak",
                                             "./DATA/p2.pak", "./DATA/p3.pak", "./DATA/p4.pak",
                                             "./DATA/p5.pak", "./DATA/p6.pak", "./DATA/p7.pak"};
    EXPECT_EQ(processed, sorted);
    // Within one pack the earlier entry wins; across packs the first in
    // byte-wise name order ("P9" sorts before "p0").
    EXPECT_EQ(engine->ResGetResources()->GetCount(), 1);
    EXPECT_EQ(Record("DUP")->GetTag(), 100 + '9');
    const auto lines = LogLines();
    const auto zero = std::find(lines.begin(), lines.end(), "   =: Processing ResPack: ./DATA/p0.pak");
    ASSERT_NE(zero, lines.end());
    // Dropped duplicates are still entries of their packs.
    EXPECT_EQ(*(zero + 1), "   +: 2 resources found.");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.find(" !: ") == 0; }), 0);
}

#if !defined(_WIN32)  // there the file system itself ignores case
TEST_F(ResourceTest, DescriptorNamesResolveWithoutRegardToCaseWhenTheExactNameIsMissing) {
    resfixtures::MakeDirs("DATA/tex/sub");
    Put("DATA/tex/tile.png", "lower");
    Put("DATA/tex/Other.png", "exact");
    Put("DATA/tex/other.png", "lower twin");
    Put("DATA/tex/sub/deep.bin", "deep!");
    Put("DATA/d.xml",
        "<respack><r id=\"A\" typeid=\"T\" filename=\"Tex\\Tile.PNG\" tag=\"1\"/>"
        "<r id=\"B\" typeid=\"T\" filename=\"tex/Other.png\" tag=\"1\"/>"
        "<r id=\"C\" typeid=\"T\" filename=\"TEX/SUB/DEEP.BIN\" tag=\"1\"/></respack>");
    Start();
    EXPECT_EQ(Record("A")->GetFileName(), "./DATA/tex/tile.png");
    EXPECT_EQ(Record("A")->GetSize(), 5u);
    EXPECT_EQ(Record("B")->GetFileName(), "./DATA/tex/Other.png") << "an exact match wins";
    EXPECT_EQ(Record("C")->GetFileName(), "./DATA/tex/sub/deep.bin");
    resfixtures::UseLoader(*engine, "T", resfixtures::RecordLoad);
    engine->LoadResource("C");
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0].bytes, "deep!");

    // No file of that name in any case is still the missing-file error.
    engine.reset();
    engine = std::make_unique<CVelmor>();
    Put("DATA/d.xml", "<respack><r id=\"D\" typeid=\"T\" filename=\"tex/none.png\"/></respack>");
    EXPECT_EQ(ErrorOf([this] { engine->ResourcesInit(); }).GetDesc(),
              "Cannot find file declared in ResPack. Filename = tex/none.png");
}
#endif

TEST_F(ResourceTest, DescriptorFaultsAreFatalWithTheirMessages) {
    struct Case {
        std::string descriptor;
        uint32_t type;
        std::string message;
        std::string file;
    };
    const std::vector<Case> cases = {
        {"<resources/>", EHS_TYPE_GAME, "Wrong XML ResPack descriptor: ./DATA/d.xml", "cvelmor_res_main"},
        {"<respack><r id=\"A\" typeid=\"T\" filename=\"a.bin\"/><r id=\"A\" typeid=\"T\" filename=\"a.bin\"/></respack>",
         EHS_TYPE_GAME, "Dublicated resource. ID = A", "cvelmor_res_main"},
        {"<respack><r id=\"B\" typeid=\"T\" filename=\"gone.bin\"/></respack>", EHS_TYPE_GAME,
         "Cannot find file declared in ResPack. Filename = gone.bin", "cvelmor_res_main"},
        {"<respack><r id=\"B\" typeid=\"T\" filename=\"sub\"/></respack>", EHS_TYPE_GAME,
         "Cannot find file declared in ResPack. Filename = sub", "cvelmor_res_main"},
        {"<respack><r id=\"B\" typeid=\"T\" filename=\"empty.bin\"/></respack>", EHS_TYPE_GAME,
         "Wrong resource file - check if it exists!", "cvelmor_res_main"},
        {"<respack><r typeid=\"T\" filename=\"a.bin\"/></respack>", EHS_TYPE_GENERAL, "Invalid resource ID!",
         "cvelmor_res_cres"},
        {"<respack><r id=\"C\" filename=\"a.bin\"/></respack>", EHS_TYPE_GENERAL, "Invalid resource type ID!",
         "cvelmor_res_cres"},
    };
    for (const Case& c : cases) {
        engine.reset();
        engine = std::make_unique<CVelmor>();
        Put("DATA/a.bin", "A");
        Put("DATA/empty.bin", "");
        resfixtures::MakeDirs("DATA/sub");
        Put("DATA/d.xml", c.descriptor);
        const CEHSException e = ErrorOf([this] { engine->ResourcesInit(); });
        EXPECT_EQ(e.GetType(), c.type) << c.descriptor;
        EXPECT_EQ(e.GetDesc(), c.message) << c.descriptor;
        EXPECT_EQ(e.GetFile(), c.file) << c.descriptor;
    }
    // An empty descriptor is the reader's text-message error.
    engine.reset();
    engine = std::make_unique<CVelmor>();
    Put("DATA/d.xml", "");
    try {
        engine->ResourcesInit();
        ADD_FAILURE() << "empty descriptor accepted";
    } catch (const CV2DFatalText& error) {
        EXPECT_STREQ(error.what(), "XMLERROR: the file is empty - ./DATA/d.xml");
    }
    // A declaration repeated in a second descriptor is refused too.
    engine.reset();
    engine = std::make_unique<CVelmor>();
    std::remove("DATA/d.xml");
    Put("DATA/d1.xml", "<respack><r id=\"A\" typeid=\"T\" filename=\"a.bin\" tag=\"1\"/></respack>");
    Put("DATA/d2.xml", "<respack><r id=\"A\" typeid=\"T\" filename=\"a.bin\" tag=\"2\"/></respack>");
    EXPECT_EQ(ErrorOf([this] { engine->ResourcesInit(); }).GetDesc(), "Dublicated resource. ID = A");
}

TEST_F(ResourceTest, StartedSubsystemStopsWithTheEngineAndFreesEveryRecord) {
    Put("DATA/a.bin", "A");
    Put("DATA/d.xml", "<respack><r id=\"A\" typeid=\"T\" filename=\"a.bin\"/></respack>");
    Start();
    engine->ResourcesDeinit();
    EXPECT_EQ(engine->ResGetResources(), nullptr);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{kSep1, "--==: Deinitializing Resources Subsystem...", "   +: Done.",
                                                    kSep1, ""}));
    EXPECT_EQ(ErrorOf([this] { engine->LoadResource("A"); }).GetDesc(), "Resources subsystem was not initialized!");

    // The engine's destructor stops a started subsystem.
    engine.reset();
    engine = std::make_unique<CVelmor>();
    Start();
    engine.reset();
    const auto lines = LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "--==: Deinitializing Resources Subsystem..."), lines.end());
}

// ---- Registries and loading -------------------------------------------------------------

TEST_F(ResourceTest, RegistriesRefuseASecondFunctionAndLoadResWinsOverLoadResEx) {
    Put("DATA/a.bin", "bytes");
    Put("DATA/d.xml",
        "<respack><r id=\"BOTH\" typeid=\"BOTH\" filename=\"a.bin\" tag=\"1\"/>"
        "<r id=\"NONE\" typeid=\"UNKNOWN\" filename=\"a.bin\" tag=\"2\"/></respack>");
    Start();
    engine->RegisterLoadFunctionEx(resfixtures::RecordLoadEx, "BOTH");
    engine->RegisterLoadFunction(resfixtures::RecordLoad, "BOTH");
    engine->LoadResource("BOTH");
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0].kind, "LoadRes");

    CEHSException e = ErrorOf([this] { engine->RegisterLoadFunction(resfixtures::RecordLoad, "BOTH"); });
    EXPECT_EQ(e.GetType(), EHS_TYPE_GAME);
    EXPECT_EQ(e.GetDesc(), "LoadRes function already registered for TypeID = BOTH");
    e = ErrorOf([this] { engine->RegisterLoadFunctionEx(resfixtures::RecordLoadEx, "BOTH"); });
    EXPECT_EQ(e.GetDesc(), "LoadResEx function already registered for TypeID = BOTH");
    // The standard types are registered at start.
    EXPECT_EQ(ErrorOf([this] { engine->RegisterLoadFunction(resfixtures::RecordLoad, "XMLDATA"); }).GetDesc(),
              "LoadRes function already registered for TypeID = XMLDATA");
    EXPECT_EQ(ErrorOf([this] { engine->RegisterLoadFunction(resfixtures::RecordLoad, "SCRIPT"); }).GetDesc(),
              "LoadRes function already registered for TypeID = SCRIPT");

    // An unknown type shows only when the record is loaded.
    e = ErrorOf([this] { engine->LoadResource("NONE"); });
    EXPECT_EQ(e.GetType(), EHS_TYPE_GAME);
    EXPECT_EQ(e.GetDesc(), "Cannot load resource: no function registered for Res_Type = UNKNOWN");
}

TEST_F(ResourceTest, LoadResGetsTheBytesOnlyDuringTheCallAndLoadResExNever) {
    Put("DATA/img.bin", std::string("\x00\x01\xff image", 9));
    Put("DATA/music.xm", "MODULEDATA");
    Put("DATA/d.xml",
        "<respack><r id=\"TEX_A\" typeid=\"TEXTURE\" filename=\"img.bin\" tag=\"1\" data1=\"5\" data2=\"6\" "
        "data3=\"7\"/><r id=\"MUS_A\" typeid=\"MUSIC\" filename=\"music.xm\" tag=\"1\" data1=\"2\"/></respack>");
    Start();
    resfixtures::UseLoader(*engine, "TEXTURE", resfixtures::RecordLoad);
    resfixtures::UseLoaderEx(*engine, "MUSIC", resfixtures::RecordLoadEx);
    engine->LoadResource("TEX_A");
    engine->LoadResource("MUS_A");
    engine->LoadResource("TEX_A");  // twice runs the loader twice

    ASSERT_EQ(Calls().size(), 3u);
    const LoadCall& tex = Calls()[0];
    EXPECT_EQ(tex.bytes, std::string("\x00\x01\xff image", 9));
    EXPECT_EQ(tex.size, 9);
    EXPECT_EQ(tex.tag, 1);
    EXPECT_EQ(tex.data1, 5);
    EXPECT_EQ(tex.data2, 6);
    EXPECT_EQ(tex.data3, 7);
    EXPECT_TRUE(tex.recordLoadedDuringCall);
    EXPECT_FALSE(Record("TEX_A")->IsLoaded());

    const LoadCall& music = Calls()[1];
    EXPECT_EQ(music.kind, "LoadResEx");
    EXPECT_FALSE(music.recordLoadedDuringCall);
    EXPECT_EQ(music.fileName, "./DATA/music.xm");
    EXPECT_EQ(music.offset, 0);
    EXPECT_EQ(music.size, 10);
    EXPECT_EQ(music.data1, 2);
    EXPECT_EQ(Calls()[2].id, "TEX_A");
}

TEST_F(ResourceTest, LoadByTagWalksSlotsInOrderAndLogsTheCount) {
    Put("DATA/a.bin", "A");
    std::string descriptor = "<respack>";
    const std::vector<std::pair<std::string, int>> records = {{"R0", 2}, {"R1", 1}, {"R2", 2}, {"R3", 3}, {"R4", 2}};
    for (const auto& r : records)
        descriptor += "<r id=\"" + r.first + "\" typeid=\"T\" filename=\"a.bin\" tag=\"" + std::to_string(r.second) + "\"/>";
    Put("DATA/d.xml", descriptor + "</respack>");
    Start();
    engine->RegisterLoadFunction(resfixtures::RecordLoad, "T");

    engine->LoadResources(2);
    EXPECT_EQ(LoadedIDs(), (std::vector<std::string>{"R0", "R2", "R4"}));
    Calls().clear();
    engine->LoadResources(0);
    EXPECT_EQ(LoadedIDs(), (std::vector<std::string>{"R0", "R1", "R2", "R3", "R4"}));
    Calls().clear();
    engine->LoadResources(7);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              "  -=: Loading resources with Tag = 2", "   +: 3 resources with Tag = 2 loaded.",
                              "  -=: Loading resources with Tag = 0", "   +: 5 resources with Tag = 0 loaded.",
                              "  -=: Loading resources with Tag = 7", "   +: 0 resources with Tag = 7 loaded."}));
}

// A loader that loads another tag, as a script resource may.
int LoadTagThreeFromInsideALoader(const void* data, int size, const char* id, int tag, int d1, int d2, int d3) {
    resfixtures::RecordLoad(data, size, id, tag, d1, d2, d3);
    if (std::string(id) == "R0") GetEngine()->LoadResources(3);
    return 0;
}

TEST_F(ResourceTest, ALoaderLoadingAnotherTagDoesNotCutTheOuterWalkShort) {
    Put("DATA/a.bin", "A");
    Put("DATA/d.xml",
        "<respack><r id=\"R0\" typeid=\"T\" filename=\"a.bin\" tag=\"2\"/>"
        "<r id=\"R1\" typeid=\"T\" filename=\"a.bin\" tag=\"3\"/>"
        "<r id=\"R2\" typeid=\"T\" filename=\"a.bin\" tag=\"2\"/></respack>");
    Start();
    engine->RegisterLoadFunction(LoadTagThreeFromInsideALoader, "T");
    engine->LoadResources(2);
    EXPECT_EQ(LoadedIDs(), (std::vector<std::string>{"R0", "R1", "R2"}));
}

TEST_F(ResourceTest, LoadingBeforeStartIsRefused) {
    CEHSException e = ErrorOf([this] { engine->LoadResources(1); });
    EXPECT_EQ(e.GetType(), EHS_TYPE_GAME);
    EXPECT_EQ(e.GetDesc(), "Resources subsystem was not initialized!");
    EXPECT_EQ(ErrorOf([this] { engine->LoadResource("A"); }).GetDesc(), "Resources subsystem was not initialized!");
}

TEST_F(ResourceTest, XMLDataResourcesSetVariablesThroughTheStandardLoader) {
    CXMLVarInt columns("columns", 4);
    Put("DATA/vars/board.xml", "<xmldata><board columns=\"11\"/></xmldata>");
    Put("DATA/d.xml", "<respack><r id=\"XML_BOARD\" typeid=\"XMLDATA\" filename=\"vars/board.xml\" tag=\"5\"/></respack>");
    Start();
    engine->LoadResources(5);
    EXPECT_EQ(columns.GetValue(), 11);
}

// ---- Records ---------------------------------------------------------------------------

TEST_F(ResourceTest, RecordChecksAndDataLoadProtocol) {
    auto make = [](const char* id, const char* type, const char* file, uint32_t size) {
        return CV2DResource(id, type, 1, file, 0, size, 0, 0, 0).GetSize();
    };
    EXPECT_EQ(ErrorOf([&] { make("", "", "", 0); }).GetDesc(), "Invalid resource ID!");
    EXPECT_EQ(ErrorOf([&] { make("A", "", "", 0); }).GetDesc(), "Invalid resource type ID!");
    EXPECT_EQ(ErrorOf([&] { make("A", "T", "", 0); }).GetDesc(), "Invalid resource filename!");
    const CEHSException zero = ErrorOf([&] { make("A", "T", "f", 0); });
    EXPECT_EQ(zero.GetType(), EHS_TYPE_GENERAL);
    EXPECT_EQ(zero.GetDesc(), "Invalide resource name - check if resource file exist!");
    EXPECT_EQ(zero.GetFile(), "cvelmor_res_cres");

    Put("file.bin", "0123456789");
    CV2DResource record("A", "T", 1, "file.bin", 3, 4, 0, 0, 0);
    EXPECT_EQ(ErrorOf([&] { record.DataUnLoad(); }).GetDesc(), "Internal error in CV2DResource::DataUnLoad()!");
    record.DataLoad();
    ASSERT_NE(record.GetData(), nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(record.GetData()), 4), "3456");
    EXPECT_EQ(ErrorOf([&] { record.DataLoad(); }).GetDesc(), "Internal error in CV2DResource::DataLoad()!");
    record.DataUnLoad();
    EXPECT_EQ(record.GetData(), nullptr);
    // Destroying a loaded record unloads it (the sanitizer build sees leaks).
    CV2DResource loaded("B", "T", 1, "file.bin", 0, 10, 0, 0, 0);
    loaded.DataLoad();
}

TEST_F(ResourceTest, BytesTheFileNoLongerHoldsAreGivenAsZerosWithAWarning) {
    Put("DATA/a.bin", "ABCDEF");
    Put("DATA/d.xml", "<respack><r id=\"A\" typeid=\"T\" filename=\"a.bin\"/><r id=\"B\" typeid=\"T\" "
                      "filename=\"a.bin\"/></respack>");
    Start();
    engine->RegisterLoadFunction(resfixtures::RecordLoad, "T");
    Put("DATA/a.bin", "ABC");  // shrank after the scan
    engine->LoadResource("A");
    std::remove("DATA/a.bin");  // vanished
    engine->LoadResource("B");
    ASSERT_EQ(Calls().size(), 2u);
    EXPECT_EQ(Calls()[0].bytes, std::string("ABC\0\0\0", 6));
    EXPECT_EQ(Calls()[1].bytes, std::string(6, '\0'));
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], " !: Cannot read resource data, zeros given instead. ID = A  File = ./DATA/a.bin");
}

// ---- Damaged and hostile packs -------------------------------------------------------------

TEST_F(ResourceTest, DamagedPacksStopReadingAndKeepWhatWasReadWhole) {
    // A count far larger than the entries present: the two whole entries
    // stay. The third entry's ID ("C") is whole, its TypeID ("xyZ") runs
    // into the end of the file without its zero byte.
    const std::string tail("C\0xyZ", 5);
    PakBytes sizing(0);
    sizing.Entry("A", "T", 0, 1, 1).Entry("B", "T", 0, 1, 1);
    const uint32_t end = static_cast<uint32_t>(sizing.Size() + tail.size());
    PakBytes bytes(4000000000u);
    bytes.Entry("A", "T", end - 1, 1, 1).Entry("B", "T", end - 2, 1, 1).Raw(tail);
    ASSERT_EQ(bytes.Size(), end);
    Put("DATA/big.pak", bytes.Bytes());
    engine->ResourcesInit();
    EXPECT_EQ(engine->ResGetResources()->GetCount(), 2);
    ASSERT_NE(Record("A"), nullptr);
    ASSERT_NE(Record("B"), nullptr);
    const auto lines = LogLines();
    const std::vector<std::string> expected = {
        "   =: Processing ResPack: ./DATA/big.pak",
        " !: Damaged ResPack, reading stopped after 2 of 4000000000 entries: ./DATA/big.pak",
        "   +: 2 resources found."};
    const auto at = std::search(lines.begin(), lines.end(), expected.begin(), expected.end());
    EXPECT_NE(at, lines.end());
    engine->RegisterLoadFunction(resfixtures::RecordLoad, "T");
    engine->LoadResource("A");
    EXPECT_EQ(Calls().at(0).bytes, "Z");
}

TEST_F(ResourceTest, EntriesWhoseBytesLieOutsideThePackAreSkippedWithAWarning) {
    PakBytes head(4);
    head.Entry("IN", "T", 0, 2, 1).Entry("PAST", "T", 0, 3, 1).Entry("WRAP", "T", 0xFFFFFFF0u, 0x20, 1).Entry(
        "HUGE", "T", 0, 0xFFFFFFFFu, 1);
    const uint32_t at = static_cast<uint32_t>(head.Size());
    PakBytes pak(4);
    pak.Entry("IN", "T", at, 2, 1).Entry("PAST", "T", at + 1, 2, 1).Entry("WRAP", "T", 0xFFFFFFF0u, 0x20, 1).Entry(
        "HUGE", "T", 0, 0xFFFFFFFFu, 1);
    Put("DATA/p.pak", pak.Raw("ok").Bytes());
    engine->ResourcesInit();
    EXPECT_EQ(engine->ResGetResources()->GetCount(), 1);
    EXPECT_NE(Record("IN"), nullptr);
    const auto lines = LogLines();
    for (const char* id : {"PAST", "WRAP", "HUGE"}) {
        const std::string warning = std::string(" !: Resource lies outside its ResPack, skipped. ID = ") + id;
        EXPECT_NE(std::find(lines.begin(), lines.end(), warning), lines.end()) << id;
    }
    EXPECT_NE(std::find(lines.begin(), lines.end(), "   +: 4 resources found."), lines.end());
}

size_t OpenFileCount() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

TEST_F(ResourceTest, ZeroSizeEntryIsTheRecordConstructionErrorAndThePackIsClosed) {
    Put("DATA/z.pak", PakBytes(1).Entry("Z", "T", 4, 0, 1).Bytes());
    const size_t open = OpenFileCount();
    const CEHSException e = ErrorOf([this] { engine->ResourcesInit(); });
    EXPECT_EQ(e.GetType(), EHS_TYPE_GENERAL);
    EXPECT_EQ(e.GetDesc(), "Invalide resource name - check if resource file exist!");
    EXPECT_EQ(OpenFileCount(), open) << "the pack file was left open";
}

int ThrowingLoad(const void*, int, const char*, int, int, int, int) {
    throw CEHSException(EHS_TYPE_GAME, 0, "loader gives up", "test", 1);
}

TEST_F(ResourceTest, ALoaderThatThrowsStillHasItsBytesReleased) {
    Put("DATA/img.bin", "image");
    Put("DATA/d.xml", "<respack><r id=\"TEX_A\" typeid=\"TEXTURE\" filename=\"img.bin\" tag=\"1\"/></respack>");
    Start();
    resfixtures::UseLoader(*engine, "TEXTURE", ThrowingLoad);
    EXPECT_EQ(ErrorOf([this] { engine->LoadResource("TEX_A"); }).GetDesc(), "loader gives up");
    EXPECT_FALSE(Record("TEX_A")->IsLoaded());
    EXPECT_EQ(ErrorOf([this] { engine->LoadResource("TEX_A"); }).GetDesc(), "loader gives up")
        << "a second load finds the record unloaded, not an internal error";
}

TEST_F(ResourceTest, PacksTooShortForTheirCountOrEmptyGiveNoEntries) {
    Put("DATA/a.pak", std::string("\x01\x00", 2));
    Put("DATA/b.pak", "");
    Put("DATA/c.pak", PakBytes(1).Raw("ID-without-end").Bytes());
    engine->ResourcesInit();
    EXPECT_EQ(engine->ResGetMode(), RESMODE_PAK);
    EXPECT_EQ(engine->ResGetResources()->GetCount(), 0);
    const auto lines = LogLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "   +: 0 resources found."), 3);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find(" !: Damaged ResPack") == 0; }),
              3);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "   +: 3 resource packs found."), lines.end());
}

// ---- Demand operations ------------------------------------------------------------------

// A stand-in item manager: loaders add names, lookups find them.
std::vector<std::string>& Items() {
    static std::vector<std::string> items;
    return items;
}
int32_t FindTestItem(CVelmor&, const char* id) {
    const auto it = std::find(Items().begin(), Items().end(), id);
    return it == Items().end() ? -1 : static_cast<int32_t>(it - Items().begin());
}
int CreateTestItem(const void* data, int size, const char* id, int tag, int d1, int d2, int d3) {
    resfixtures::RecordLoad(data, size, id, tag, d1, d2, d3);
    Items().push_back(id);
    return 0;
}
// A technique pack defines several techniques, named in its bytes.
int CreateTechniques(const void* data, int size, const char* id, int tag, int d1, int d2, int d3) {
    resfixtures::RecordLoad(data, size, id, tag, d1, d2, d3);
    const std::string names(static_cast<const char*>(data), static_cast<size_t>(size));
    for (size_t start = 0, comma; start < names.size(); start = comma + 1) {
        comma = names.find(',', start);
        if (comma == std::string::npos) comma = names.size();
        Items().push_back(names.substr(start, comma - start));
    }
    return 0;
}

class DemandTest : public ResourceTest {
protected:
    void SetUp() override {
        ResourceTest::SetUp();
        Items().clear();
        for (int kind = 0; kind < DEMAND_KIND_COUNT; ++kind)
            engine->ResSetDemandLookup(static_cast<V2DDemandKind>(kind), FindTestItem);
    }
};

TEST_F(DemandTest, ExistingItemsAreReturnedWithoutTouchingTheResourceTable) {
    Items() = {"TEX_A", "SND_A"};
    // The subsystem is not even started: the table is never consulted.
    EXPECT_EQ(DemandTexture("TEX_A"), 0);
    EXPECT_EQ(DemandSound("SND_A"), 1);
    EXPECT_TRUE(Calls().empty());
    EXPECT_FALSE(testsupport::FileExists("gamelog.txt"));
}

TEST_F(DemandTest, MissingItemsAreLoadedByTheirIDAndLookedUpAgain) {
    Put("DATA/a.bin", "A");
    Put("DATA/teq.bin", "TEQ_STD,TEQ_ADD");
    Put("DATA/d.xml",
        "<respack><r id=\"TEX_A\" typeid=\"ITEM\" filename=\"a.bin\"/>"
        "<r id=\"FNT_A\" typeid=\"ITEM\" filename=\"a.bin\"/><r id=\"SND_A\" typeid=\"ITEM\" filename=\"a.bin\"/>"
        "<r id=\"MUS_A\" typeid=\"ITEM\" filename=\"a.bin\"/><r id=\"PL_A\" typeid=\"ITEM\" filename=\"a.bin\"/>"
        "<r id=\"TEQ_PACK\" typeid=\"TEQPACK\" filename=\"teq.bin\"/></respack>");
    Start();
    engine->RegisterLoadFunction(CreateTestItem, "ITEM");
    engine->RegisterLoadFunction(CreateTechniques, "TEQPACK");

    EXPECT_EQ(DemandTexture("TEX_A"), 0);
    EXPECT_EQ(DemandFont("FNT_A"), 1);
    EXPECT_EQ(DemandSound("SND_A"), 2);
    EXPECT_EQ(DemandMusic("MUS_A"), 3);
    EXPECT_EQ(DemandPlaylist("PL_A"), 4);
    EXPECT_EQ(DemandTechnique("TEQ_ADD", "TEQ_PACK"), 6);
    // Already there now: no second load.
    EXPECT_EQ(DemandTexture("TEX_A"), 0);
    EXPECT_EQ(DemandTechnique("TEQ_STD", "TEQ_PACK"), 5);
    EXPECT_EQ(LoadedIDs(), (std::vector<std::string>{"TEX_A", "FNT_A", "SND_A", "MUS_A", "PL_A", "TEQ_PACK"}));
}

TEST_F(DemandTest, ItemsThatStillDoNotExistRaiseTheKindsMessage) {
    Put("DATA/a.bin", "A");
    Put("DATA/d.xml", "<respack><r id=\"TEX_NOITEM\" typeid=\"NOTHING\" filename=\"a.bin\"/></respack>");
    Start();
    engine->RegisterLoadFunction(resfixtures::RecordLoad, "NOTHING");

    const CEHSException tex = ErrorOf([] { DemandTexture("TEX_NOITEM"); });
    EXPECT_EQ(tex.GetType(), EHS_TYPE_GAME);
    EXPECT_EQ(tex.GetDesc(), "Invalid texture demand. ID = TEX_NOITEM");
    EXPECT_EQ(tex.GetFile(), "cvelmor_utils_demand");
    EXPECT_EQ(Calls().size(), 1u);  // it was loaded, and still gave no item

    EXPECT_EQ(ErrorOf([] { DemandFont("FNT_X"); }).GetDesc(), "Invalid font demand. ID = FNT_X");
    EXPECT_EQ(ErrorOf([] { DemandSound("SND_X"); }).GetDesc(), "Invalid sound demand. ID = SND_X");
    EXPECT_EQ(ErrorOf([] { DemandMusic("MUS_X"); }).GetDesc(), "Invalid music demand. ID = MUS_X");
    EXPECT_EQ(ErrorOf([] { DemandPlaylist("PL_X"); }).GetDesc(), "Invalid playlist demand. ID = PL_X");
    EXPECT_EQ(ErrorOf([] { DemandTechnique("TEQ_X", "TEQ_PACK_X"); }).GetDesc(),
              "Invalid technique demand. ID = TEQ_X  TechPackID = TEQ_PACK_X");
    // Each missing resource was reported by the load by ID.
    const auto lines = LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), " !: Cannot find resource with ID = TEQ_PACK_X"), lines.end());

    // A kind whose subsystem gave no lookup has no items.
    engine->ResSetDemandLookup(DEMAND_FONT, nullptr);
    Items() = {"FNT_HERE"};
    EXPECT_EQ(ErrorOf([] { DemandFont("FNT_HERE"); }).GetDesc(), "Invalid font demand. ID = FNT_HERE");
}

TEST(Demand, WithoutAnEngineTheAssertionFails) {
    ASSERT_EQ(GetEngine(), nullptr);
    const CEHSException e = [] {
        try {
            DemandTexture("TEX_A");
        } catch (const CEHSException& error) {
            return error;
        }
        return CEHSException(0, 0, "", "", 0);
    }();
    EXPECT_EQ(e.GetType(), EHS_TYPE_GENERAL);
    EXPECT_EQ(e.GetDesc(), "EHS Assertion failed.");
}

}  // namespace
