#include "fuzz_targets.h"

#include <cstdio>
#include <string>
#include <vector>

#include "cvelmor_ehs.h"
#include "cvelmor_res.h"
#include "cxmlparser.h"
#include "image.h"

namespace {

// Visits every node and attribute without recursion (inputs nest deeply).
size_t WalkTree(CXMLNode* root) {
    size_t bytes = 0;
    std::vector<CXMLNode*> pending = {root};
    while (!pending.empty()) {
        CXMLNode* node = pending.back();
        pending.pop_back();
        // Names and values are disjoint pieces of the text.
        bytes += node->GetName().size();
        for (const auto& attribute : node->GetAttributes()) bytes += attribute.second.size();
        size_t visited = 0;
        for (node->FirstAttribute(); node->GetAttributeName(); node->NextAttribute()) ++visited;
        if (visited != node->GetAttributes().size()) __builtin_trap();
        for (int i = 0; i < node->GetChildCount(); ++i) pending.push_back(node->GetChild(i));
        if (node->GetChild(node->GetChildCount()) != nullptr || node->GetChild(-1) != nullptr) __builtin_trap();
    }
    return bytes;
}

void ParseOnce(const uint8_t* data, size_t size, bool scrambled) {
    CXMLDocument document;
    try {
        document.LoadFromBuffer(data, size, scrambled);
    } catch (const CV2DFatalText&) {
        return;  // empty after dropping carriage returns
    }
    document.Parse();
    if (WalkTree(document.GetRoot()) > document.GetText().size()) __builtin_trap();
}

}  // namespace

int FuzzXMLDocument(const uint8_t* data, size_t size) {
    ParseOnce(data, size, false);
    ParseOnce(data, size, true);
    return 0;
}

int FuzzPakDirectory(const uint8_t* data, size_t size) {
    // An exact-size copy, so any read past the input is caught.
    std::vector<uint8_t> bytes(data, data + size);
    FILE* file = size ? fmemopen(bytes.data(), bytes.size(), "rb") : nullptr;
    if (!file) return 0;
    const uint64_t fileSize = ResFileSize(file);
    if (fileSize != size) __builtin_trap();
    uint64_t sum = 0;
    ReadPakDirectory(file, [&](const V2DPAKENTRY& entry) {
        if (!PakEntryInsideFile(entry, fileSize)) return;
        try {
            CV2DResource record(entry.strID.c_str(), entry.strTypeID.c_str(), entry.iTag, "fuzz.pak", entry.dwOffset,
                                entry.dwSize, entry.iData1, entry.iData2, entry.iData3);
            for (uint32_t i = 0; i < record.GetSize(); ++i) sum += bytes[record.GetOffset() + i];
        } catch (const CEHSException&) {
            // the record-construction errors: empty names, size 0
        }
    });
    std::fclose(file);
    return sum == 0xFFFFFFFFFFFFFFFFull ? 1 : 0;
}

int FuzzImage(const uint8_t* data, size_t size) {
    // An exact-size copy, so any read past the input is caught.
    std::vector<uint8_t> bytes(data, data + size);
    image::Image decoded;
    std::string error;
    if (!image::DecodeImage(bytes.data(), bytes.size(), decoded, error)) {
        if (error.empty() || !decoded.pixels.empty()) __builtin_trap();
        return 0;
    }
    if (!image::SizeAcceptable(decoded.width, decoded.height) ||
        decoded.pixels.size() != size_t(decoded.width) * decoded.height)
        __builtin_trap();
    // The mip chain the texture call builds from it.
    while (decoded.width > 1 || decoded.height > 1) decoded = image::HalveBox(decoded);
    return 0;
}
