// Decoding for the audio layer: a byte range of a file opened as if it were
// the whole file, samples decoded whole (libsndfile), and decoders that
// produce audio while it plays: streams (libsndfile) and music modules
// (libopenmpt). Streams and modules give stereo floats at the source's own
// rate.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace platform {
namespace audio {

// [offset, offset + length) of a file; reads never leave the range.
class FileRange {
public:
    ~FileRange();
    // BASS_OK, or BASS_ERROR_FILEOPEN when the file cannot be opened or
    // is shorter than the range. length 0 takes the rest of the file.
    int Open(const char* path, uint32_t offset, uint32_t length);

    int64_t Length() const { return m_length; }
    int64_t Tell() const { return m_pos; }
    // Positions past the end are allowed; reading there gives nothing.
    int64_t Seek(int64_t pos);
    size_t Read(void* out, size_t bytes);

private:
    FILE* m_file = nullptr;
    int64_t m_begin = 0;
    int64_t m_length = 0;
    int64_t m_pos = 0;
};

// A whole decoded sample, one array per side of 16-bit frames (full scale
// 32768, as sample data is kept for playback); a mono sample has only one.
struct SampleData {
    std::vector<int16_t> left;   // a mono sample's only channel
    std::vector<int16_t> right;  // empty for a mono sample
    uint32_t rate = 0;
    uint32_t FrameCount() const { return static_cast<uint32_t>(left.size()); }
    bool Mono() const { return right.empty(); }
};

// The largest sample the layer decodes (about six minutes at 44.1 kHz);
// larger data belongs in a stream.
constexpr uint32_t MAX_SAMPLE_FRAMES = 1u << 24;

// BASS_OK, or the error code of the failure.
int DecodeSample(const char* path, uint32_t offset, uint32_t length, SampleData& out);

// Produces stereo frames while a channel plays. Used by one thread at a time.
class Decoder {
public:
    virtual ~Decoder() = default;
    virtual uint32_t Rate() const = 0;
    // Goes back to the beginning (modules: to the start of order `position`).
    virtual void Restart(uint32_t position) = 0;
    // Fills up to `frames` frames; fewer means the end was reached (with
    // `loop`, the audio wraps to the beginning instead, without a gap).
    virtual uint32_t Read(float* stereo, uint32_t frames, bool loop) = 0;
};

int OpenStreamDecoder(const char* path, uint32_t offset, uint32_t length, std::unique_ptr<Decoder>& out);
// Modules render at the output rate.
int OpenModuleDecoder(const char* path, uint32_t offset, uint32_t length, uint32_t outputRate,
                      std::unique_ptr<Decoder>& out);

}  // namespace audio
}  // namespace platform
