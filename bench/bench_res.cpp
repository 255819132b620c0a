// Resource start-up costs: parsing a large descriptor, and scanning 5000
// records in XML mode (one descriptor, 5000 loose files) and in PAK mode
// (one pack).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "cvelmor.h"
#include "cxmlparser.h"
#include "system_headless.h"

namespace {

const int kRecords = 5000;
const size_t kDescriptorBytes = 1 << 20;

std::string RecordName(int i) {
    char name[16];
    std::snprintf(name, sizeof(name), "%05d", i);
    return name;
}

std::string DescriptorRecord(int i, size_t padding) {
    const std::string n = RecordName(i);
    return "  <res id=\"TEX_RECORD_" + n + "\" typeid=\"TEXTURE\" filename=\"files/r" + n + ".bin\" tag=\"" +
           std::to_string(1 + i % 8) + "\" data1=\"256\" data2=\"1\" data3=\"0\" note=\"" + std::string(padding, 'n') +
           "\"/>\n";
}

// 5000 records padded to about 1 MiB, as a descriptor with long notes would be.
std::string MakeDescriptor() {
    const std::string head = "<?xml version=\"1.0\"?>\n<respack>\n";
    const std::string tail = "</respack>\n";
    size_t bare = head.size() + tail.size();
    for (int i = 0; i < kRecords; ++i) bare += DescriptorRecord(i, 0).size();
    const size_t padding = (kDescriptorBytes - bare) / kRecords;
    std::string text = head;
    for (int i = 0; i < kRecords; ++i) text += DescriptorRecord(i, padding);
    return text + tail;
}

void PutLE32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// The same 5000 records as one pack, 16 bytes of data each.
std::string MakePack() {
    std::string directory;
    PutLE32(directory, kRecords);
    size_t directoryBytes = 4;
    for (int i = 0; i < kRecords; ++i) directoryBytes += ("TEX_RECORD_" + RecordName(i)).size() + 1 + 8 + 24;
    for (int i = 0; i < kRecords; ++i) {
        directory += "TEX_RECORD_" + RecordName(i);
        directory.push_back('\0');
        directory += std::string("TEXTURE") + '\0';
        for (uint32_t field : {static_cast<uint32_t>(directoryBytes + 16 * i), 16u, static_cast<uint32_t>(1 + i % 8),
                               256u, 1u, 0u})
            PutLE32(directory, field);
    }
    return directory + std::string(16 * kRecords, 'd');
}

void Write(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A working folder with a data folder of one kind, for the life of a run.
class DataFolder {
public:
    explicit DataFolder(bool pakMode) : m_old(std::filesystem::current_path()) {
        m_dir = std::filesystem::temp_directory_path() / (pakMode ? "velmor-bench-pak" : "velmor-bench-xml");
        std::filesystem::remove_all(m_dir);
        if (pakMode) {
            Write(m_dir / "DATA" / "game.pak", MakePack());
        } else {
            Write(m_dir / "DATA" / "game.xml", MakeDescriptor());
            for (int i = 0; i < kRecords; ++i)
                Write(m_dir / "DATA" / "files" / ("r" + RecordName(i) + ".bin"), std::string(16, 'd'));
        }
        std::filesystem::current_path(m_dir);
        platform::InstallHeadlessSystem();
    }
    ~DataFolder() {
        std::filesystem::current_path(m_old);
        std::filesystem::remove_all(m_dir);
    }

private:
    std::filesystem::path m_old;
    std::filesystem::path m_dir;
};

void BM_XMLParseDescriptor(benchmark::State& state) {
    const std::string text = MakeDescriptor();
    int children = 0;
    for (auto _ : state) {
        CXMLDocument document;
        document.LoadFromBuffer(text.data(), text.size(), false);
        document.Parse();
        children = document.GetRoot()->GetChildCount();
    }
    if (children != kRecords) state.SkipWithError("wrong record count");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(text.size()) / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_XMLParseDescriptor)->Unit(benchmark::kMillisecond);

// ResourcesInit alone: directory listing, descriptor or pack reading, and
// the 5000 records.
void ScanBenchmark(benchmark::State& state, bool pakMode) {
    DataFolder folder(pakMode);
    int32_t records = 0;
    for (auto _ : state) {
        state.PauseTiming();
        {
            CVelmor engine;
            state.ResumeTiming();
            engine.ResourcesInit();
            state.PauseTiming();
            records = engine.ResGetResources()->GetCount();
        }
        state.ResumeTiming();
    }
    if (records != kRecords) state.SkipWithError("wrong record count");
    state.counters["records"] = records;
}

void BM_ScanXMLMode(benchmark::State& state) { ScanBenchmark(state, false); }
BENCHMARK(BM_ScanXMLMode)->Unit(benchmark::kMillisecond);

void BM_ScanPAKMode(benchmark::State& state) { ScanBenchmark(state, true); }
BENCHMARK(BM_ScanPAKMode)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
