// The board: dealing, clicks, removal and drawing; the round clock's
// rounding and text; the best-result file.
#include <sys/resource.h>

#include <csignal>
#include <cmath>
#include <cstring>
#include <set>

#include "cvelmor_rand.h"
#include "game_fixtures.h"

namespace {

using gametest::GameTest;
using testsupport::Raised;

// The engine and the GUI manager started as the game starts them, the
// game's resources loaded, and an empty board at (40, 100) with 60 x 50
// cells, without the game's screens.
class BoardTest : public GameTest {
protected:
    void SetUp() override {
        GameTest::SetUp();
        gametest::WriteGameData("<desktop/>");
        engine = std::make_unique<CVelmor>();
        g_pV2D = engine.get();
        try {
            Engine_InitResourcesSubsystem();
            SelectDisplayMode();
            EngineInitSubsystems();
            engine->LoadResources(1);
            engine->LoadResources(2);
        } catch (const CEHSException& e) {
            FAIL() << e.GetDesc() << " in " << e.GetFile() << ":" << e.GetLine();
        }
        g_pGUIManager->AddNewElement("tile", "TILE_MW_TIME", 0);
        g_BoardGeometry = {40.0f, 100.0f, 60.0f, 50.0f};
        g_bBoardActive = 0;
        g_iGameState = GAMESTATE_NO_ROUND;
    }
    void Deal(int sizeX, int sizeY, uint32_t seed) {
        CXMLVar::SetByName("sizex", std::to_string(sizeX));
        CXMLVar::SetByName("sizey", std::to_string(sizeY));
        V2DSrand(seed);
        NewBoard();
    }
    // The number in each cell, column by column (0 for an empty one).
    static std::vector<int32_t> Numbers() {
        std::vector<int32_t> numbers;
        for (int32_t i = 0; i < g_Board.GetDim1(); ++i)
            for (int32_t j = 0; j < g_Board.GetDim2(); ++j)
                numbers.push_back(g_Board.At(i, j) ? g_Board.At(i, j)->GetNumber() : 0);
        return numbers;
    }
    // Click handling and removal as the frame routine runs them.
    void Click(float x, float y) {
        SetCursor(static_cast<int32_t>(x), static_cast<int32_t>(y));
        input->ButtonDown(0);
        input->ButtonUp(0);
        system->AdvanceMilliseconds(20);
        ASSERT_EQ(engine->UpdateAllSystems(), 1);
        HandleMouse();
        BoardUpdate();
        system->AdvanceMilliseconds(20);
        ASSERT_EQ(engine->UpdateAllSystems(), 1);
    }
    bool ClickSoundPlaying() { return engine->SoundIsPlaying(g_sidPieceMove.GetID()); }
};

TEST_F(BoardTest, DealingPlacesEachNumberOnceWithItsColourThird) {
    Deal(1, 1, 7);
    ASSERT_NE(g_Board.At(0, 0), nullptr);
    EXPECT_EQ(g_Board.At(0, 0)->GetNumber(), 1);
    EXPECT_EQ(g_Board.At(0, 0)->GetType(), 3) << "a third of one tile is 0";
    EXPECT_EQ(g_Board.At(0, 0)->GetState(), static_cast<int32_t>(TILE_ON_BOARD));
    EXPECT_EQ(g_iGameState, GAMESTATE_PLAYING);
    EXPECT_TRUE(g_pGUIManager->GetElementParam("TILE_MW_TIME", "visible").GetBoolean());

    struct Thirds {
        int size;
        int lastOfFirst, lastOfSecond;
    };
    for (const Thirds& t : {Thirds{5, 8, 16}, Thirds{6, 12, 24}}) {
        Deal(t.size, t.size, 1234);
        const std::vector<int32_t> numbers = Numbers();
        EXPECT_EQ(std::set<int32_t>(numbers.begin(), numbers.end()).size(), static_cast<size_t>(t.size * t.size));
        for (int32_t n = 1; n <= t.size * t.size; ++n) {
            const CGameElement* tile = TileNumbered(n);
            ASSERT_NE(tile, nullptr);
            EXPECT_EQ(tile->GetType(), n <= t.lastOfFirst ? 1 : n <= t.lastOfSecond ? 2 : 3) << n;
            // Screen places follow the cell: column * width + origin.
            EXPECT_EQ(std::fmod(tile->GetX() - 40.0f, 60.0f), 0.0f);
            EXPECT_EQ(std::fmod(tile->GetY() - 100.0f, 50.0f), 0.0f);
        }
    }
    Deal(5, 5, 99);
    const std::vector<int32_t> first = Numbers();
    Deal(5, 5, 99);
    EXPECT_EQ(Numbers(), first) << "the same seed deals the same board";
    Deal(5, 5, 100);
    EXPECT_NE(Numbers(), first);
}

TEST_F(BoardTest, OnlyTheNextNumberIsRemovedAndOnlyWhileARoundIsPlayed) {
    Deal(5, 5, 42);
    const CGameElement* one = TileNumbered(1);
    const float oneX = one->GetX(), oneY = one->GetY();
    const CGameElement* two = TileNumbered(2);
    Click(two->GetX() + 1, two->GetY() + 1);
    EXPECT_EQ(CountTiles(), 25) << "2 before 1 does nothing";
    EXPECT_FALSE(ClickSoundPlaying());

    g_iGameState = GAMESTATE_DIALOG;
    Click(oneX + 1, oneY + 1);
    EXPECT_EQ(CountTiles(), 25) << "no clicks while a dialog is open";
    g_iGameState = GAMESTATE_PLAYING;
    Click(oneX + 59, oneY + 49);
    EXPECT_EQ(CountTiles(), 24);
    EXPECT_EQ(g_Board.At(static_cast<int32_t>((oneX - 40) / 60), static_cast<int32_t>((oneY - 100) / 50)), nullptr);
    EXPECT_TRUE(ClickSoundPlaying());
    EXPECT_EQ(g_iNextWanted, 2);

    Click(oneX + 1, oneY + 1);  // the cell is empty now
    EXPECT_EQ(g_iNextWanted, 2);
    Click(40 + 5 * 60, 110);  // just past the right edge of the last column
    Click(39, 110);
    EXPECT_EQ(CountTiles(), 24);

    for (int32_t n = 2; n <= 25; ++n) {
        const CGameElement* tile = TileNumbered(n);
        Click(tile->GetX() + 30, tile->GetY() + 25);
    }
    EXPECT_EQ(CountTiles(), 0);
    EXPECT_TRUE(IsSolved());
}

TEST_F(BoardTest, TilesDrawTheirColourQuadAndTheirNumberNearTheCentre) {
    Deal(5, 5, 3);
    for (int32_t number : {9, 10}) {
        CGameElement* tile = TileNumbered(number);
        Device().ClearRecords();
        engine->SceneBegin();
        tile->Redraw();
        engine->SceneEnd();
        std::vector<V2DVERTEX> vertices;
        for (const vd3d::RecordedDraw& draw : Device().draws) {
            const std::vector<V2DVERTEX> some = gfxtest::Vertices(draw);
            vertices.insert(vertices.end(), some.begin(), some.end());
        }
        const std::vector<guitest::DrawnQuad> quads = guitest::QuadsOf(vertices);
        ASSERT_EQ(quads.size(), 1u + std::to_string(number).size()) << "the tile and a glyph per digit";
        EXPECT_EQ(quads[0].x, tile->GetX());
        EXPECT_EQ(quads[0].w, 60.0f);
        EXPECT_EQ(quads[0].color, number <= 8 ? 0xFF4080BFu : 0xFFFF0000u) << std::hex << quads[0].color;
        const float offset = number == 9 ? 60.0f * 5 / 13 : 60.0f * 10 / 43;
        EXPECT_NEAR(quads[1].x, tile->GetX() + offset, 0.01f) << number;
        EXPECT_NEAR(quads[1].y, tile->GetY() + 50.0f * 5 / 17, 0.01f) << number;
        EXPECT_NEAR(quads[1].w, 16 * 0.8f, 0.01f) << "numbers are drawn at scale 0.8";
    }
}

TEST_F(BoardTest, TilesRefuseBadPlacesNumbersAndTypes) {
    Deal(2, 2, 1);
    struct Case {
        float x, y;
        int32_t number, type;
        std::string message;
        uint32_t line;
    };
    const std::vector<Case> cases = {
        {39, 100, 1, 1, "Error in CGameElement::CGameElement: invalid element coords!", 79},
        {40, 99, 9, 9, "Error in CGameElement::CGameElement: invalid element coords!", 79},
        {40, 100, 0, 9, "Error in CGameElement::CGameElement: invalid element number!", 82},
        {40, 100, 5, 1, "Error in CGameElement::CGameElement: invalid element number!", 82},
        {40, 100, 4, 0, "Error in CGameElement::CGameElement: invalid element type!", 85},
        {40, 100, 4, 4, "Error in CGameElement::CGameElement: invalid element type!", 85},
    };
    for (const Case& c : cases) {
        const CEHSException e = Raised([&] { CGameElement tile(c.x, c.y, c.number, c.type); });
        EXPECT_EQ(e.GetDesc(), c.message);
        EXPECT_EQ(e.GetFile(), "cgame_element");
        EXPECT_EQ(e.GetLine(), c.line);
    }

    T2DSafeArray<int, -7> grid;
    try {
        grid.At(0, 0);
        ADD_FAILURE() << "an array without rows must refuse";
    } catch (const CV2DFatalText& error) {
        EXPECT_STREQ(error.what(), "Error in T2DSafeArray<T, tOutOfBoundsValue>::At");
    }
    grid.Allocate(2, 3);
    grid.At(1, 2) = 5;
    grid.At(2, 0) = 9;  // lost
    grid.At(-1, 0) = 9;
    EXPECT_EQ(grid.At(1, 2), 5);
    EXPECT_EQ(grid.At(2, 0), -7);
    EXPECT_EQ(grid.At(0, 3), -7);
}

TEST(RoundClock, RoundingAndTextAsThePlayerSeesThem) {
    const std::vector<std::pair<float, std::string>> rounded = {
        {12.34f, "12.341"}, {12.345f, "12.345"}, {0.0f, "0.001"}, {7.0f, "7.001"}, {5.5f, "5.501"}, {99.9999f, "99.999"}};
    for (const auto& [time, text] : rounded) EXPECT_EQ(FloatToString(RoundTime(time)), text) << time;
    EXPECT_EQ(FloatToString(0.0f), "0");
    EXPECT_EQ(FloatToString(1234.561f), "1234.56");
    EXPECT_EQ(FloatToString(100000.0f), "100000");
}

class BestResultTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        g_pGUIManager->AddNewElement("tile", "TILE_MW_BESTRESULT", 0);
    }
    static std::string Bytes(const std::string& name, float time) {
        std::string bytes = name + std::string(1, '\0');
        uint32_t bits = 0;
        std::memcpy(&bits, &time, 4);
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(bits >> (8 * i)));
        return bytes;
    }
    int Count(const std::string& text) const {
        int count = 0;
        const std::string log = Log();
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
        return count;
    }
};

TEST_F(BestResultTest, MissingFileGivesDefaultsAndSavesWriteTheExactBytes) {
    EXPECT_FALSE(LoadHighScore());
    EXPECT_EQ(g_strBestName, "Unknown");
    EXPECT_EQ(g_fBestTime, 100000.0f);
    EXPECT_FALSE(LoadHighScore());
    EXPECT_EQ(Count("Can't close FindFirstFile!"), 2) << "warned each time the file is missing";

    g_strBestName = "A b";
    g_fBestTime = 12.341f;
    SaveHighScore();
    EXPECT_EQ(testsupport::ReadFile("DATA/qbhs.dat"), Bytes("A b", 12.341f));
    EXPECT_EQ(testsupport::ReadFile("DATA/qbhs.dat").size(), 8u);
    g_strBestName.clear();
    EXPECT_TRUE(LoadHighScore());
    EXPECT_EQ(g_strBestName, "A b");
    EXPECT_EQ(g_fBestTime, 12.341f);
    EXPECT_FALSE(testsupport::FileExists("DATA/qbhs.dat.new"));
}

TEST_F(BestResultTest, ADamagedFileIsKeptAsideAndTheGameStartsWithoutABestResult) {
    const std::string name = "Invalid player name", time = "Invalid count time";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {Bytes("", 5.0f), name},
        {"Bob", name},  // ends before the zero byte
        {std::string(5000, 'x'), name},
        {Bytes("Bob", 0.0f), time},
        {Bytes("Bob", -1.0f), time},
        {Bytes("Bob", std::nanf("")), time},
        {Bytes("Bob", INFINITY), time},
        {Bytes("Bob", 5.0f).substr(0, 6), time},  // ends inside the time
    };
    // Each damaged file is moved aside under the next free name; none is lost.
    std::vector<std::string> kept;
    for (const auto& [bytes, problem] : cases) {
        testsupport::WriteFile("DATA/qbhs.dat", bytes);
        g_strBestName = "stale";
        g_fBestTime = 1.0f;
        const int warned = Count(problem);
        EXPECT_FALSE(LoadHighScore()) << bytes.size() << " bytes";
        EXPECT_EQ(g_strBestName, "Unknown");
        EXPECT_EQ(g_fBestTime, 100000.0f);
        EXPECT_FALSE(testsupport::FileExists("DATA/qbhs.dat"));
        const std::string aside = "DATA/qbhs.dat.damaged" + (kept.empty() ? "" : std::to_string(kept.size() + 1));
        EXPECT_EQ(testsupport::ReadFile(aside), bytes) << aside;
        EXPECT_EQ(Count(problem), warned + 1) << problem;
        EXPECT_NE(Log().find("kept as " + aside + " "), std::string::npos) << Log();
        kept.push_back(aside);
    }
    for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(testsupport::ReadFile(kept[i]), cases[i].first);

    // The next record is saved as usual and read back.
    g_strBestName = "Ann";
    g_fBestTime = 9.5f;
    SaveHighScore();
    g_strBestName.clear();
    EXPECT_TRUE(LoadHighScore());
    EXPECT_EQ(g_strBestName, "Ann");
    testsupport::WriteFile("DATA/qbhs.dat", Bytes("Bob", 5.0f) + "trailing");
    EXPECT_TRUE(LoadHighScore()) << "bytes after the time are ignored";
    EXPECT_EQ(g_fBestTime, 5.0f);
}

TEST_F(BestResultTest, ASaveThatFailsHalfWayLeavesThePreviousResult) {
    const std::string previous = Bytes("Old", 20.5f);
    testsupport::WriteFile("DATA/qbhs.dat", previous);
    const int status = testsupport::RunInChild([] {
        // The disk fills after three bytes of the new file.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{3, 3};
        setrlimit(RLIMIT_FSIZE, &limit);
        g_strBestName = "A much longer name";
        g_fBestTime = 3.5f;
        try {
            SaveHighScore();
        } catch (const CEHSException& e) {
            return e.GetDesc() == "Can't writing file qbhs.dat!" ? 42 : 1;
        }
        return 2;
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 42) << "the failed save is reported";
    EXPECT_EQ(testsupport::ReadFile("DATA/qbhs.dat"), previous);
    EXPECT_FALSE(testsupport::FileExists("DATA/qbhs.dat.new"));
}

}  // namespace
