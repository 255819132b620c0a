// Replays the fuzz targets' seed corpora, so every build (the sanitizer one
// included) runs them.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_engine_targets.h"
#include "fuzz_gui_target.h"
#include "fuzz_targets.h"
#include "test_support.h"

namespace {

std::vector<std::string> CorpusFiles(const std::string& name) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(VELMOR_FUZZ_CORPUS) + "/" + name))
        files.push_back(entry.path().string());
    return files;
}

std::vector<uint8_t> Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <typename Target>
void Replay(const std::string& name, Target target) {
    const std::vector<std::string> files = CorpusFiles(name);
    ASSERT_GE(files.size(), 8u) << name;
    for (const std::string& file : files) {
        const std::vector<uint8_t> bytes = Bytes(file);
        EXPECT_EQ(target(bytes.data(), bytes.size()), 0) << file;
    }
}

TEST(FuzzCorpus, XMLReaderSeedsRunClean) { Replay("xml", FuzzXMLDocument); }

TEST(FuzzCorpus, PackReaderSeedsRunClean) { Replay("pak", FuzzPakDirectory); }

TEST(FuzzCorpus, ImageDecoderSeedsRunClean) { Replay("image", FuzzImage); }

TEST(FuzzCorpus, GUIDataSeedsRunClean) { Replay("gui", FuzzGUIData); }

TEST(FuzzCorpus, TechniquePackSeedsRunClean) { Replay("technique", FuzzTechniquePack); }

TEST(FuzzCorpus, FontDescriptionSeedsRunClean) { Replay("font", FuzzFontDescription); }

TEST(FuzzCorpus, XMLDataSeedsRunClean) { Replay("xmldata", FuzzXMLData); }

TEST(FuzzCorpus, PlaylistSeedsRunClean) { Replay("playlist", FuzzPlaylist); }

TEST(FuzzCorpus, HighScoreSeedsRunClean) { Replay("highscore", FuzzHighScore); }

TEST(FuzzCorpus, AudioFileSeedsRunClean) { Replay("audio", FuzzAudioFile); }

}  // namespace
