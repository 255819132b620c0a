// Resource records: construction checks and the bytes held during one load.
#include <cstring>
#include <new>

#include "cvelmor.h"

namespace {

[[noreturn]] void ThrowRecordError(const char* message, unsigned line) {
    throw CEHSException(EHS_TYPE_GENERAL, 0, message, "cvelmor_res_cres", line);
}

}  // namespace

CV2DResource::CV2DResource(const char* fp_pszID, const char* fp_pszTypeID, int32_t fp_iTag, const char* fp_pszFileName,
                           uint32_t fp_dwOffset, uint32_t fp_dwSize, int32_t fp_iData1, int32_t fp_iData2,
                           int32_t fp_iData3)
    : ID(fp_pszID),
      TypeID(fp_pszTypeID),
      Tag(fp_iTag),
      FileName(fp_pszFileName),
      Data1(fp_iData1),
      Data2(fp_iData2),
      Data3(fp_iData3),
      Offset(fp_dwOffset),
      Size(fp_dwSize) {
    SetCheckpoint(122, 28);
    if (ID.empty()) ThrowRecordError("Invalid resource ID!", __LINE__);
    if (TypeID.empty()) ThrowRecordError("Invalid resource type ID!", __LINE__);
    if (FileName.empty()) ThrowRecordError("Invalid resource filename!", __LINE__);
    if (Size < 1) ThrowRecordError("Invalide resource name - check if resource file exist!", __LINE__);
}

CV2DResource::~CV2DResource() {
    if (Loaded) DataUnLoad();
}

void CV2DResource::DataLoad() {
    SetCheckpoint(122, 41);
    if (Loaded) ThrowRecordError("Internal error in CV2DResource::DataLoad()!", __LINE__);
    Data.reset(new (std::nothrow) unsigned char[Size]);
    if (!Data) ThrowRecordError("Cannot create resource data buffer!", __LINE__);
    std::memset(Data.get(), 0, Size);
    size_t got = 0;
    if (FILE* f = std::fopen(FileName.c_str(), "rb")) {
        if (std::fseek(f, static_cast<long>(Offset), SEEK_SET) == 0) got = std::fread(Data.get(), 1, Size, f);
        std::fclose(f);
    }
    if (got < Size) {
        CVelmor::LogEntry("Cannot read resource data, zeros given instead. ID = " + ID + "  File = " + FileName,
                          LOG_WARNING);
    }
    Loaded = true;
}

void CV2DResource::DataUnLoad() {
    SetCheckpoint(122, 58);
    if (!Loaded) ThrowRecordError("Internal error in CV2DResource::DataUnLoad()!", __LINE__);
    Data.reset();
    Loaded = false;
}
