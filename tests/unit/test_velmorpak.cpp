// The pack builder: the bytes it writes, its refusals, its listing, and the
// round trip from descriptors through a pack back into the engine.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "cvelmor.h"
#include "cvelmor_utils_cxmlvar.h"
#include "res_fixtures.h"
#include "test_support.h"

using resfixtures::Calls;
using resfixtures::LoadCall;
using resfixtures::PakBytes;
using resfixtures::Put;
using testsupport::ReadFile;

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

ToolRun RunVelmorpak(const std::string& args) {
    const std::string command = std::string(VELMORPAK_BINARY) + " " + args + " >tool.out 2>tool.err";
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadFile("tool.out");
    run.err = ReadFile("tool.err");
    return run;
}

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    return names;
}

std::string Scramble(std::string text) {
    for (char& c : text) c = static_cast<char>(static_cast<unsigned char>(c) ^ XML_SCRAMBLE_KEY);
    return text;
}

class VelmorpakTest : public EngineTest {};

TEST_F(VelmorpakTest, WritesTheDirectoryThenTheBytesWithXMLTypesScrambled) {
    Put("src/data/vars.xml", "<x a=\"1\"/>\r\n");
    Put("src/img.bin", std::string("A\0B", 3));
    Put("src/one.xml",
        "<respack><r id=\"XML_V\" typeid=\"XMLDATA\" filename=\"data/vars.xml\" tag=\"8\" data2=\"-2\"/>"
        "<r id=\"TEX_I\" typeid=\"TEXTURE\" filename=\"img.bin\" tag=\"1\" data1=\"256\" data3=\"3\"/></respack>");
    const ToolRun run = RunVelmorpak("out.pak src/one.xml");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "velmorpak: 2 resources written to out.pak\n");

    PakBytes sizing(2);
    sizing.Entry("XML_V", "XMLDATA", 0, 0, 0).Entry("TEX_I", "TEXTURE", 0, 0, 0);
    const uint32_t start = static_cast<uint32_t>(sizing.Size());
    PakBytes expected(2);
    expected.Entry("XML_V", "XMLDATA", start, 12, 8, 0, -2, 0).Entry("TEX_I", "TEXTURE", start + 12, 3, 1, 256, 0, 3);
    expected.Raw(Scramble("<x a=\"1\"/>\r\n")).Raw(std::string("A\0B", 3));
    EXPECT_EQ(ReadFile("out.pak"), expected.Bytes());
}

TEST_F(VelmorpakTest, BadInputIsRefusedWithAMessageAndNoOutputFile) {
    Put("src/a.bin", "A");
    Put("src/empty.bin", "");
    Put("src/ok.xml", "<respack><r id=\"A\" typeid=\"T\" filename=\"a.bin\"/></respack>");
    Put("src/dup.xml", "<respack><r id=\"A\" typeid=\"T\" filename=\"a.bin\"/></respack>");
    Put("src/missing.xml", "<respack><r id=\"B\" typeid=\"T\" filename=\"gone.bin\"/></respack>");
    Put("src/emptyres.xml", "<respack><r id=\"C\" typeid=\"T\" filename=\"empty.bin\"/></respack>");
    Put("src/root.xml", "<resources/>");
    Put("src/noid.xml", "<respack><r typeid=\"T\" filename=\"a.bin\"/></respack>");
    resfixtures::MakeDirs("out");

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"out/p.pak src/ok.xml src/dup.xml", "velmorpak: src/dup.xml: duplicated resource ID A\n"},
        {"out/p.pak src/ok.xml src/missing.xml",
         "velmorpak: src/missing.xml: cannot find file declared for the pack: gone.bin\n"},
        {"out/p.pak src/emptyres.xml", "velmorpak: src/emptyres.xml: resource file is empty: empty.bin\n"},
        {"out/p.pak src/root.xml", "velmorpak: src/root.xml: root element is not <respack>\n"},
        {"out/p.pak src/noid.xml", "velmorpak: src/noid.xml: resource 1 has no id\n"},
        {"out/p.pak src/nothere.xml", "velmorpak: XMLERROR: the file is empty - src/nothere.xml\n"},
        {"no/such/dir/p.pak src/ok.xml", "velmorpak: cannot create no/such/dir/p.pak: No such file or directory\n"},
    };
    for (const auto& c : cases) {
        const ToolRun run = RunVelmorpak(c.first);
        EXPECT_EQ(run.status, 1) << c.first;
        EXPECT_EQ(run.err, c.second) << c.first;
        EXPECT_TRUE(FilesIn("out").empty()) << c.first;
    }
    const ToolRun usage = RunVelmorpak("");
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("usage: velmorpak OUT.pak DESCRIPTOR.xml"), std::string::npos);

    // A failed build leaves an existing pack as it was.
    Put("out/p.pak", "previous");
    EXPECT_EQ(RunVelmorpak("out/p.pak src/missing.xml").status, 1);
    EXPECT_EQ(ReadFile("out/p.pak"), "previous");
    EXPECT_EQ(FilesIn("out"), std::vector<std::string>{"p.pak"});
}

TEST_F(VelmorpakTest, ListPrintsEntriesAndFlagsDamagedPacks) {
    Put("src/a.bin", "AAAA");
    Put("src/one.xml",
        "<respack><r id=\"TEX_A\" typeid=\"TEXTURE\" filename=\"a.bin\" tag=\"2\" data1=\"-1\" data2=\"5\" "
        "data3=\"6\"/></respack>");
    ASSERT_EQ(RunVelmorpak("p.pak src/one.xml").status, 0);
    const ToolRun list = RunVelmorpak("--list p.pak");
    EXPECT_EQ(list.status, 0) << list.err;
    const uint32_t offset = 4 + 6 + 8 + 24;
    char row[200];
    std::snprintf(row, sizeof(row), "%-24s %-14s %10u %10u %6d %6d %6d %6d\n", "TEX_A", "TEXTURE", offset, 4u, 2, -1,
                  5, 6);
    EXPECT_NE(list.out.find(row), std::string::npos) << list.out;

    Put("cut.pak", PakBytes(3).Entry("X", "T", 4, 1, 1).Raw("Y").Bytes());
    const ToolRun cut = RunVelmorpak("--list cut.pak");
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.err, "velmorpak: cut.pak is damaged: it ends after 1 of 3 entries\n");

    Put("outside.pak", PakBytes(1).Entry("X", "T", 1000, 1, 1).Bytes());
    const ToolRun outside = RunVelmorpak("--list outside.pak");
    EXPECT_EQ(outside.status, 1);
    EXPECT_NE(outside.out.find("(outside the file)"), std::string::npos);
    EXPECT_EQ(RunVelmorpak("--list nothere.pak").status, 1);
}

// ---- Round trip ------------------------------------------------------------------

// What one engine run saw: the records and every load call, by ID.
struct RunResult {
    std::map<std::string, std::string> records;
    std::map<std::string, LoadCall> calls;
    int columns = 0;
    double scriptAnswer = 0;
};

std::string DescribeRecord(const CV2DResource& r) {
    return r.GetTypeID() + " tag=" + std::to_string(r.GetTag()) + " size=" + std::to_string(r.GetSize()) +
           " data=" + std::to_string(r.GetData1()) + "," + std::to_string(r.GetData2()) + "," +
           std::to_string(r.GetData3());
}

RunResult RunEngineIn(const std::string& folder, int expectedMode) {
    RunResult result;
    char here[4096];
    EXPECT_NE(getcwd(here, sizeof(here)), nullptr);
    EXPECT_EQ(chdir(folder.c_str()), 0);
    Calls().clear();
    {
        CXMLVarInt columns("columns", 0);
        auto engine = std::make_unique<CVelmor>();
        engine->ResourcesInit();
        engine->ScriptsInit();
        EXPECT_EQ(engine->ResGetMode(), expectedMode);
        resfixtures::UseLoader(*engine, "TEXTURE", resfixtures::RecordLoad);
        resfixtures::UseLoader(*engine, "TECHNIQUE", resfixtures::RecordXMLTree);
        resfixtures::UseLoader(*engine, "GUIDATA", resfixtures::RecordXMLTree);
        resfixtures::UseLoaderEx(*engine, "SOUND", resfixtures::RecordLoadEx);
        resfixtures::UseLoaderEx(*engine, "MUSIC", resfixtures::RecordLoadEx);
        engine->LoadResources(0);

        const TItemsManager<CV2DResource>& records = *engine->ResGetResources();
        for (int32_t slot = 0; slot < records.GetCount(); ++slot)
            if (const CV2DResource* r = records.GetItem(slot)) result.records[r->GetID()] = DescribeRecord(*r);
        for (LoadCall call : Calls()) {
            call.fileName.clear();  // the loose file or the pack
            call.offset = 0;
            result.calls[call.id] = call;
        }
        engine->ScriptCallFunction("Answer", 1);
        result.scriptAnswer = engine->ScriptGetResults().at(0).GetNumber();
        result.columns = columns.GetValue();
    }
    EXPECT_EQ(chdir(here), 0);
    return result;
}

TEST_F(VelmorpakTest, APackReadsBackExactlyLikeItsDescriptors) {
    const std::string tileBytes("\x89PNG\r\n\x1a\n\x00\xb4\xff\r", 12);
    Put("DESC/tex/tile.png", tileBytes);
    Put("DESC/tex/bg.jpg", std::string(70000, '\xb4'));
    Put("DESC/teq/std.xml",
        "<techniquespack>\r\n <technique id=\"TEQ_STD2\" blend=\"1\">\r\n  <rs n=\"27\" v=\"1\"/>\r\n"
        " </technique>\r\n</techniquespack>\r\n");
    Put("DESC/gui/main.xml", "<gui><window id=\"WND_DTP_MAINWINDOW\" w=\"800\"><button id=\"BTN_MW_START\"/></window></gui>");
    Put("DESC/vars/board.xml", "<xmldata><board columns=\"13\"/></xmldata>");
    Put("DESC/snd/click.wav", "RIFF\x01\x02WAVEdata");
    Put("DESC/mus/game.xm", std::string(5000, 'M'));
    Put("DESC/scr/main.lua", "function Answer() return 42 end\r\n");
    Put("DESC/game.xml",
        "<respack>\n"
        " <r id=\"TEX_TILE\" typeid=\"TEXTURE\" filename=\"tex/tile.png\" tag=\"1\" data1=\"64\" data2=\"1\"/>\n"
        " <r id=\"TEQ_STD\" typeid=\"TECHNIQUE\" filename=\"teq/std.xml\" tag=\"2\"/>\n"
        " <r id=\"SND_CLICK\" typeid=\"SOUND\" filename=\"snd/click.wav\" tag=\"4\" data1=\"1\" data2=\"3\" data3=\"1\"/>\n"
        " <r id=\"MUS_GAME\" typeid=\"MUSIC\" filename=\"mus\\game.xm\" tag=\"5\" data1=\"1\"/>\n"
        " <r id=\"SCR_MAIN\" typeid=\"SCRIPT\" filename=\"scr/main.lua\" tag=\"7\"/>\n"
        "</respack>\n");
    Put("DESC/more.xml",
        "<respack>\n"
        " <r id=\"TEX_BG\" typeid=\"TEXTURE\" filename=\"tex/bg.jpg\" tag=\"1\" data1=\"-5\" data3=\"2147483647\"/>\n"
        " <r id=\"GUI_MAIN\" typeid=\"GUIDATA\" filename=\"gui/main.xml\" tag=\"6\"/>\n"
        " <r id=\"XML_BOARD\" typeid=\"XMLDATA\" filename=\"vars/board.xml\" tag=\"8\"/>\n"
        "</respack>\n");

    resfixtures::MakeDirs("xmlrun");
    std::filesystem::copy("DESC", "xmlrun/DATA", std::filesystem::copy_options::recursive);
    resfixtures::MakeDirs("pakrun/DATA");
    const ToolRun pack = RunVelmorpak("pakrun/DATA/game.pak DESC/game.xml DESC/more.xml");
    ASSERT_EQ(pack.status, 0) << pack.err;

    const RunResult xml = RunEngineIn("xmlrun", RESMODE_XML);
    const RunResult pak = RunEngineIn("pakrun", RESMODE_PAK);

    EXPECT_EQ(xml.records.size(), 8u);
    EXPECT_EQ(pak.records, xml.records);
    ASSERT_EQ(xml.calls.size(), 6u);  // SCRIPT and XMLDATA went to the standard loaders
    ASSERT_EQ(pak.calls.size(), xml.calls.size());
    for (const auto& entry : xml.calls) {
        const LoadCall& a = entry.second;
        const LoadCall& b = pak.calls.at(entry.first);
        EXPECT_EQ(b.kind, a.kind) << entry.first;
        EXPECT_EQ(b.bytes, a.bytes) << entry.first;  // XML resources: their trees
        EXPECT_EQ(b.size, a.size) << entry.first;
        EXPECT_EQ(b.tag, a.tag) << entry.first;
        EXPECT_EQ(b.data1, a.data1) << entry.first;
        EXPECT_EQ(b.data2, a.data2) << entry.first;
        EXPECT_EQ(b.data3, a.data3) << entry.first;
    }
    EXPECT_EQ(xml.calls.at("TEX_TILE").bytes, tileBytes);
    EXPECT_EQ(xml.calls.at("SND_CLICK").bytes, "RIFF\x01\x02WAVEdata");
    EXPECT_EQ(xml.calls.at("TEQ_STD").bytes, "techniquespack[technique{blend=1,id=TEQ_STD2}[rs{n=27,v=1}]]");
    EXPECT_EQ(xml.calls.at("GUI_MAIN").bytes, "gui[window{id=WND_DTP_MAINWINDOW,w=800}[button{id=BTN_MW_START}]]");
    EXPECT_EQ(xml.columns, 13);
    EXPECT_EQ(pak.columns, 13);
    EXPECT_EQ(xml.scriptAnswer, 42);
    EXPECT_EQ(pak.scriptAnswer, 42);
}

}  // namespace
