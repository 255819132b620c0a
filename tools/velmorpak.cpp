// velmorpak: the resource pack builder.
//
//   velmorpak OUT.pak DESCRIPTOR.xml [DESCRIPTOR.xml ...]
//       Reads XML resource pack descriptors (file names relative to each
//       descriptor's folder, as the engine reads them from its data folder)
//       and writes one pack. Resources of the XML types are stored scrambled,
//       because the engine reads XML from packs with scrambling on.
//   velmorpak --list FILE.pak
//       Prints the pack's entries.
//
// Exit status 0 on success, 1 on bad input (with a message on stderr), 2 on
// wrong usage. A failed build never leaves an output file behind.
#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "cvelmor_res.h"
#include "cxmlparser.h"
#include "os.h"

namespace {

// Types whose data the engine parses as XML.
const std::set<std::string> kXMLTypes = {"TECHNIQUE", "FONT",    "PLAYLIST",    "XMLDATA",
                                         "GUIDATA",   "GUIENUMDATA", "GUISTYLEDATA"};

struct PackItem {
    V2DPAKENTRY entry;
    std::string sourcePath;
};

struct BadInput : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Resource file paths are written as the engine reads them: relative to the
// descriptor's folder, with either kind of separator.
std::string ResourcePath(const std::string& descriptor, const std::string& declared) {
    std::string path = FolderOf(descriptor) + declared;
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

uint64_t RegularFileSize(const std::string& path, const std::string& declared, const std::string& descriptor) {
    std::error_code ec;
    const std::filesystem::path file = std::filesystem::u8path(path);
    if (!std::filesystem::is_regular_file(file, ec))
        throw BadInput(descriptor + ": cannot find file declared for the pack: " + declared);
    const uintmax_t size = std::filesystem::file_size(file, ec);
    if (ec) throw BadInput(descriptor + ": cannot find file declared for the pack: " + declared);
    if (size == 0) throw BadInput(descriptor + ": resource file is empty: " + declared);
    if (size > INT32_MAX) throw BadInput(descriptor + ": resource file is too large: " + declared);
    return static_cast<uint64_t>(size);
}

void ReadDescriptor(const std::string& descriptor, std::vector<PackItem>& items, std::set<std::string>& ids) {
    CXMLDocument document;
    try {
        document.LoadFromFile(descriptor.c_str(), false);
    } catch (const CV2DFatalText& error) {
        throw BadInput(error.what());
    }
    document.Parse();
    CXMLNode* root = document.GetRoot();
    if (root->GetName() != "respack") throw BadInput(descriptor + ": root element is not <respack>");
    for (int i = 0; i < root->GetChildCount(); ++i) {
        const CXMLNode* child = root->GetChild(i);
        PackItem item;
        V2DPAKENTRY& e = item.entry;
        e.strID = child->GetAttribute("id");
        e.strTypeID = child->GetAttribute("typeid");
        const std::string& declared = child->GetAttribute("filename");
        if (e.strID.empty()) throw BadInput(descriptor + ": resource " + std::to_string(i + 1) + " has no id");
        if (e.strTypeID.empty()) throw BadInput(descriptor + ": resource " + e.strID + " has no typeid");
        if (declared.empty()) throw BadInput(descriptor + ": resource " + e.strID + " has no filename");
        if (!ids.insert(e.strID).second) throw BadInput(descriptor + ": duplicated resource ID " + e.strID);
        item.sourcePath = ResourcePath(descriptor, declared);
        e.dwSize = static_cast<uint32_t>(RegularFileSize(item.sourcePath, declared, descriptor));
        e.iTag = ResParseDecimal(child->GetAttribute("tag"));
        e.iData1 = ResParseDecimal(child->GetAttribute("data1"));
        e.iData2 = ResParseDecimal(child->GetAttribute("data2"));
        e.iData3 = ResParseDecimal(child->GetAttribute("data3"));
        items.push_back(item);
    }
}

void PutLE32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Directory first, resource bytes back to back after it.
std::string BuildDirectory(std::vector<PackItem>& items) {
    uint64_t offset = 4;
    for (const PackItem& item : items) offset += item.entry.strID.size() + item.entry.strTypeID.size() + 2 + 24;
    for (PackItem& item : items) {
        if (offset + item.entry.dwSize > UINT32_MAX) throw BadInput("the pack would exceed 4 GiB");
        item.entry.dwOffset = static_cast<uint32_t>(offset);
        offset += item.entry.dwSize;
    }
    std::string out;
    PutLE32(out, static_cast<uint32_t>(items.size()));
    for (const PackItem& item : items) {
        const V2DPAKENTRY& e = item.entry;
        out.append(e.strID).push_back('\0');
        out.append(e.strTypeID).push_back('\0');
        for (uint32_t field : {e.dwOffset, e.dwSize, static_cast<uint32_t>(e.iTag), static_cast<uint32_t>(e.iData1),
                               static_cast<uint32_t>(e.iData2), static_cast<uint32_t>(e.iData3)})
            PutLE32(out, field);
    }
    return out;
}

void CopyResource(const PackItem& item, FILE* out) {
    FILE* in = std::fopen(item.sourcePath.c_str(), "rb");
    if (!in) throw BadInput("cannot read " + item.sourcePath);
    const unsigned char key = kXMLTypes.count(item.entry.strTypeID) ? XML_SCRAMBLE_KEY : 0;
    unsigned char block[65536];
    uint64_t copied = 0;
    for (size_t got; copied < item.entry.dwSize && (got = std::fread(block, 1, sizeof(block), in)) > 0;) {
        got = static_cast<size_t>(std::min<uint64_t>(got, item.entry.dwSize - copied));
        for (size_t i = 0; i < got; ++i) block[i] ^= key;
        if (std::fwrite(block, 1, got, out) != got) {
            std::fclose(in);
            throw BadInput("cannot write the pack");
        }
        copied += got;
    }
    std::fclose(in);
    if (copied != item.entry.dwSize) throw BadInput(item.sourcePath + " changed while it was packed");
}

// A new file of an unused name beside `path`, open for writing.
FILE* CreateTemporaryBeside(const std::string& path, std::string& tempPath) {
    std::random_device entropy;
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = path + "." + std::to_string(entropy() % 1000000u) + ".tmp";
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::symlink_status(std::filesystem::u8path(tempPath), ec))) continue;
        if (FILE* file = std::fopen(tempPath.c_str(), "wb")) return file;
        break;
    }
    throw BadInput("cannot create " + path + ": " + std::strerror(errno));
}

// Written to a temporary file beside the output and renamed into place, so
// a failure leaves no partial pack.
void WritePack(const std::string& outPath, std::vector<PackItem>& items) {
    const std::string directory = BuildDirectory(items);
    std::string tempPath;
    FILE* out = CreateTemporaryBeside(outPath, tempPath);
    try {
        if (!out) throw BadInput("cannot write " + outPath);
        if (std::fwrite(directory.data(), 1, directory.size(), out) != directory.size())
            throw BadInput("cannot write the pack");
        for (const PackItem& item : items) CopyResource(item, out);
        const bool closed = std::fclose(out) == 0;
        out = nullptr;
        if (!closed) throw BadInput("cannot write the pack");
        if (!platform::ReplaceFile(tempPath, outPath)) throw BadInput("cannot create " + outPath);
    } catch (...) {
        if (out) std::fclose(out);
        std::remove(tempPath.c_str());
        throw;
    }
}

int List(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        std::fprintf(stderr, "velmorpak: cannot open %s\n", path.c_str());
        return 1;
    }
    const uint64_t size = ResFileSize(file);
    bool outside = false;
    std::printf("%-24s %-14s %10s %10s %6s %6s %6s %6s\n", "ID", "TYPEID", "OFFSET", "SIZE", "TAG", "DATA1", "DATA2",
                "DATA3");
    const V2DPAKDIRECTORY directory = ReadPakDirectory(file, [&](const V2DPAKENTRY& e) {
        const bool inside = PakEntryInsideFile(e, size);
        outside = outside || !inside;
        std::printf("%-24s %-14s %10" PRIu32 " %10" PRIu32 " %6" PRId32 " %6" PRId32 " %6" PRId32 " %6" PRId32 "%s\n",
                    e.strID.c_str(), e.strTypeID.c_str(), e.dwOffset, e.dwSize, e.iTag, e.iData1, e.iData2, e.iData3,
                    inside ? "" : "  (outside the file)");
    });
    std::fclose(file);
    if (directory.bCutShort) {
        std::fprintf(stderr, "velmorpak: %s is damaged: it ends after %" PRIu32 " of %" PRIu32 " entries\n",
                     path.c_str(), directory.dwEntriesRead, directory.dwDeclaredCount);
        return 1;
    }
    if (outside) {
        std::fprintf(stderr, "velmorpak: %s is damaged: some entries lie outside the file\n", path.c_str());
        return 1;
    }
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: velmorpak OUT.pak DESCRIPTOR.xml [DESCRIPTOR.xml ...]\n"
                 "       velmorpak --list FILE.pak\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--list") == 0) return List(argv[2]);
    if (argc < 3 || argv[1][0] == '-') return Usage();
    try {
        std::vector<PackItem> items;
        std::set<std::string> ids;
        for (int i = 2; i < argc; ++i) ReadDescriptor(argv[i], items, ids);
        WritePack(argv[1], items);
        std::printf("velmorpak: %zu resources written to %s\n", items.size(), argv[1]);
        return 0;
    } catch (const BadInput& error) {
        std::fprintf(stderr, "velmorpak: %s\n", error.what());
        return 1;
    }
}
