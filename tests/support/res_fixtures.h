// Helpers for resource tests: data folders, packs built byte by byte, and
// load functions that record what they were given.
#pragma once


#include <filesystem>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cvelmor.h"
#include "cxmlparser.h"
#include "test_support.h"

namespace resfixtures {

// One call of a load function, with the bytes it could see.
struct LoadCall {
    std::string kind;  // "LoadRes" or "LoadResEx"
    std::string id;
    std::string bytes;
    std::string fileName;
    int offset = 0;
    int size = 0;
    int tag = 0;
    int data1 = 0;
    int data2 = 0;
    int data3 = 0;
    bool recordLoadedDuringCall = false;
};

inline std::vector<LoadCall>& Calls() {
    static std::vector<LoadCall> calls;
    return calls;
}

inline bool RecordIsLoaded(const char* id) {
    const TItemsManager<CV2DResource>* records = GetEngine()->ResGetResources();
    const int32_t slot = records->FindByName(id);
    return slot >= 0 && records->GetItem(slot)->IsLoaded();
}

inline int RecordLoad(const void* data, int size, const char* id, int tag, int d1, int d2, int d3) {
    LoadCall call;
    call.kind = "LoadRes";
    call.id = id;
    call.bytes.assign(static_cast<const char*>(data), static_cast<size_t>(size));
    call.size = size;
    call.tag = tag;
    call.data1 = d1;
    call.data2 = d2;
    call.data3 = d3;
    call.recordLoadedDuringCall = RecordIsLoaded(id);
    Calls().push_back(call);
    return 0;
}

// Reads its bytes from the file itself, as the streaming loaders do.
inline int RecordLoadEx(const char* fileName, int offset, int size, const char* id, int tag, int d1, int d2, int d3) {
    LoadCall call;
    call.kind = "LoadResEx";
    call.id = id;
    call.fileName = fileName;
    call.offset = offset;
    call.size = size;
    call.tag = tag;
    call.data1 = d1;
    call.data2 = d2;
    call.data3 = d3;
    call.recordLoadedDuringCall = RecordIsLoaded(id);
    if (FILE* f = std::fopen(fileName, "rb")) {
        std::string bytes(static_cast<size_t>(size), '\0');
        if (std::fseek(f, offset, SEEK_SET) == 0) bytes.resize(std::fread(&bytes[0], 1, bytes.size(), f));
        std::fclose(f);
        call.bytes = bytes;
    }
    Calls().push_back(call);
    return 0;
}

// A picture of an XML tree: name{attr=value,...}[children...].
inline std::string DescribeTree(const CXMLNode* node) {
    std::string out = node->GetName();
    if (!node->GetAttributes().empty()) {
        out += "{";
        for (const auto& attribute : node->GetAttributes()) out += attribute.first + "=" + attribute.second + ",";
        out.back() = '}';
    }
    if (node->GetChildCount() > 0) {
        out += "[";
        for (int i = 0; i < node->GetChildCount(); ++i)
            out += DescribeTree(node->GetChild(i)) + (i + 1 < node->GetChildCount() ? " " : "");
        out += "]";
    }
    return out;
}

// Parses XML resource data the way XML loaders do (with the engine's
// encrypt mode) and records the tree instead of the bytes.
inline int RecordXMLTree(const void* data, int size, const char* id, int tag, int d1, int d2, int d3) {
    RecordLoad(data, size, id, tag, d1, d2, d3);
    CXMLDocument document;
    document.LoadFromBuffer(data, static_cast<size_t>(size), GetEngine()->GetXMLEncryptMode());
    document.Parse();
    Calls().back().kind = "XMLTree";
    Calls().back().bytes = DescribeTree(document.GetRoot());
    return 0;
}

// Puts a test loader in place of whatever the type has (the standard types
// are registered at start), so tests see exactly what a loader is given.
inline void UseLoader(CVelmor& engine, const char* type, V2DLOADRESFUNC function) {
    engine.m_res.loadFunctionsEx.erase(type);
    engine.m_res.loadFunctions[type] = function;
}
inline void UseLoaderEx(CVelmor& engine, const char* type, V2DLOADRESEXFUNC function) {
    engine.m_res.loadFunctions.erase(type);
    engine.m_res.loadFunctionsEx[type] = function;
}

inline void MakeDirs(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
}

// Writes a file, creating its folders.
inline void Put(const std::string& path, const std::string& bytes) {
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos) MakeDirs(path.substr(0, slash));
    testsupport::WriteFile(path, bytes);
}

// A pack written byte by byte, damaged at will.
class PakBytes {
public:
    explicit PakBytes(uint32_t count) { U32(count); }
    PakBytes& Str(const std::string& text) {
        m_bytes += text;
        m_bytes.push_back('\0');
        return *this;
    }
    PakBytes& U32(uint32_t value) {
        for (int i = 0; i < 4; ++i) m_bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        return *this;
    }
    PakBytes& Raw(const std::string& bytes) {
        m_bytes += bytes;
        return *this;
    }
    // A complete entry: ID, TypeID and the six fields.
    PakBytes& Entry(const std::string& id, const std::string& type, uint32_t offset, uint32_t size, int32_t tag,
                    int32_t d1 = 0, int32_t d2 = 0, int32_t d3 = 0) {
        Str(id).Str(type).U32(offset).U32(size);
        return U32(static_cast<uint32_t>(tag)).U32(static_cast<uint32_t>(d1)).U32(static_cast<uint32_t>(d2)).U32(
            static_cast<uint32_t>(d3));
    }
    size_t Size() const { return m_bytes.size(); }
    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

}  // namespace resfixtures
