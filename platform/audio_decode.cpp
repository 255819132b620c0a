#include "audio_decode.h"

#include <libopenmpt/libopenmpt.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <new>

#include "bass.h"

namespace platform {
namespace audio {

namespace {

// Larger modules than this are refused rather than read into memory.
constexpr int64_t MAX_MODULE_BYTES = 64 << 20;
constexpr uint32_t MAX_SOURCE_RATE = 768000;
// Frames per libsndfile read while decoding.
constexpr uint32_t READ_CHUNK = 4096;

// Damaged float data must not carry NaN or huge values into the mix.
float Sanitize(float v) {
    if (!std::isfinite(v)) return 0.0f;
    if (v > 4.0f) return 4.0f;
    if (v < -4.0f) return -4.0f;
    return v;
}

// libsndfile's virtual file over a FileRange.
sf_count_t RangeLength(void* user) { return static_cast<FileRange*>(user)->Length(); }
sf_count_t RangeSeek(sf_count_t offset, int whence, void* user) {
    FileRange* range = static_cast<FileRange*>(user);
    int64_t base = 0;
    if (whence == SEEK_CUR) base = range->Tell();
    if (whence == SEEK_END) base = range->Length();
    const int64_t target = base + offset;
    if (target < 0) return -1;
    return range->Seek(target);
}
sf_count_t RangeRead(void* out, sf_count_t count, void* user) {
    if (count <= 0) return 0;
    return static_cast<sf_count_t>(static_cast<FileRange*>(user)->Read(out, static_cast<size_t>(count)));
}
sf_count_t RangeTell(void* user) { return static_cast<FileRange*>(user)->Tell(); }

SF_VIRTUAL_IO g_rangeIo = {RangeLength, RangeSeek, RangeRead, nullptr, RangeTell};

// An open libsndfile reader on a file range, with its stereo conversion.
class SoundFile {
public:
    ~SoundFile() {
        if (m_file) sf_close(m_file);
    }

    int Open(const char* path, uint32_t offset, uint32_t length) {
        const int rangeError = m_range.Open(path, offset, length);
        if (rangeError != vbass::BASS_OK) return rangeError;
        SF_INFO info{};
        m_file = sf_open_virtual(&g_rangeIo, SFM_READ, &info, &m_range);
        if (!m_file) return vbass::BASS_ERROR_FILEFORM;
        if (info.channels < 1 || info.samplerate < 1 || static_cast<uint32_t>(info.samplerate) > MAX_SOURCE_RATE)
            return vbass::BASS_ERROR_FILEFORM;
        m_channels = static_cast<uint32_t>(info.channels);
        m_rate = static_cast<uint32_t>(info.samplerate);
        // Wide files are read in smaller frame counts so a read stays small.
        m_chunkFrames = READ_CHUNK / m_channels > 0 ? READ_CHUNK / m_channels : 1;
        m_buffer.resize(static_cast<size_t>(m_chunkFrames) * m_channels);
        return vbass::BASS_OK;
    }

    uint32_t Rate() const { return m_rate; }
    uint32_t Channels() const { return m_channels; }
    bool Rewind() { return sf_seek(m_file, 0, SEEK_SET) == 0; }

    // Reads up to `frames` frames as stereo: one channel goes to both sides,
    // more than two keep the first two.
    uint32_t ReadStereo(float* out, uint32_t frames) {
        uint32_t done = 0;
        while (done < frames) {
            const uint32_t want = frames - done < m_chunkFrames ? frames - done : m_chunkFrames;
            const sf_count_t got = sf_readf_float(m_file, m_buffer.data(), want);
            if (got <= 0) break;
            for (sf_count_t i = 0; i < got; ++i) {
                const float* in = &m_buffer[static_cast<size_t>(i) * m_channels];
                const float left = Sanitize(in[0]);
                out[2 * (done + i)] = left;
                out[2 * (done + i) + 1] = m_channels > 1 ? Sanitize(in[1]) : left;
            }
            done += static_cast<uint32_t>(got);
            if (static_cast<uint32_t>(got) < want) break;
        }
        return done;
    }

private:
    FileRange m_range;
    SNDFILE* m_file = nullptr;
    uint32_t m_channels = 0;
    uint32_t m_rate = 0;
    uint32_t m_chunkFrames = 0;
    std::vector<float> m_buffer;
};

class StreamDecoder final : public Decoder {
public:
    explicit StreamDecoder(std::unique_ptr<SoundFile> file) : m_file(std::move(file)) {}

    uint32_t Rate() const override { return m_file->Rate(); }
    void Restart(uint32_t) override { m_file->Rewind(); }

    uint32_t Read(float* stereo, uint32_t frames, bool loop) override {
        uint32_t done = 0;
        while (done < frames) {
            const uint32_t got = m_file->ReadStereo(stereo + 2 * done, frames - done);
            done += got;
            if (got > 0) m_readSinceRewind = true;
            if (done == frames || !loop) break;
            // At the end: wrap, unless a whole pass gave nothing (an empty or
            // unreadable body would otherwise spin here).
            if (!m_readSinceRewind || !m_file->Rewind()) break;
            m_readSinceRewind = false;
        }
        return done;
    }

private:
    std::unique_ptr<SoundFile> m_file;
    bool m_readSinceRewind = false;
};

class ModuleDecoder final : public Decoder {
public:
    ModuleDecoder(openmpt_module* module, uint32_t rate) : m_module(module), m_rate(rate) {
        openmpt_module_set_repeat_count(m_module, 0);
        // Cubic interpolation of the module's instruments: their sound, at
        // a fifth less work than the library's default 8-tap filter.
        openmpt_module_set_render_param(m_module, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 4);
    }
    ~ModuleDecoder() override { openmpt_module_destroy(m_module); }

    uint32_t Rate() const override { return m_rate; }
    void Restart(uint32_t position) override {
        openmpt_module_set_position_order_row(m_module, static_cast<int32_t>(position), 0);
    }

    uint32_t Read(float* stereo, uint32_t frames, bool loop) override {
        if (loop != m_loop) {
            // The module itself loops, so the wrap follows its restart position.
            openmpt_module_set_repeat_count(m_module, loop ? -1 : 0);
            m_loop = loop;
        }
        uint32_t done = 0;
        while (done < frames) {
            const size_t got = openmpt_module_read_interleaved_float_stereo(
                m_module, static_cast<int32_t>(m_rate), frames - done, stereo + 2 * done);
            if (got == 0) break;
            done += static_cast<uint32_t>(got);
        }
        return done;
    }

private:
    openmpt_module* m_module;
    uint32_t m_rate;
    bool m_loop = false;
};

}  // namespace

FileRange::~FileRange() {
    if (m_file) std::fclose(m_file);
}

int FileRange::Open(const char* path, uint32_t offset, uint32_t length) {
    if (!path) return vbass::BASS_ERROR_FILEOPEN;
    m_file = std::fopen(path, "rb");
    if (!m_file) return vbass::BASS_ERROR_FILEOPEN;
    struct stat st;
    if (fstat(fileno(m_file), &st) != 0 || !S_ISREG(st.st_mode)) return vbass::BASS_ERROR_FILEOPEN;
    const int64_t fileSize = st.st_size;
    if (offset > fileSize) return vbass::BASS_ERROR_FILEOPEN;
    m_begin = offset;
    m_length = length == 0 ? fileSize - offset : static_cast<int64_t>(length);
    if (m_begin + m_length > fileSize) return vbass::BASS_ERROR_FILEOPEN;
    m_pos = 0;
    return vbass::BASS_OK;
}

int64_t FileRange::Seek(int64_t pos) {
    m_pos = pos;
    return m_pos;
}

size_t FileRange::Read(void* out, size_t bytes) {
    if (m_pos >= m_length) return 0;
    const int64_t left = m_length - m_pos;
    if (static_cast<int64_t>(bytes) > left) bytes = static_cast<size_t>(left);
    if (std::fseek(m_file, static_cast<long>(m_begin + m_pos), SEEK_SET) != 0) return 0;
    const size_t got = std::fread(out, 1, bytes, m_file);
    m_pos += static_cast<int64_t>(got);
    return got;
}

namespace {

// A decoded value (full scale 1) as a 16-bit one: exact for 8- and 16-bit
// files, rounded for deeper ones, and held at full scale beyond it.
int16_t ToPcm(float value) {
    const float scaled = std::nearbyint(value * 32768.0f);
    return static_cast<int16_t>(std::min(32767.0f, std::max(-32768.0f, scaled)));
}

}  // namespace

int DecodeSample(const char* path, uint32_t offset, uint32_t length, SampleData& out) {
    SoundFile file;
    const int error = file.Open(path, offset, length);
    if (error != vbass::BASS_OK) return error;
    out.rate = file.Rate();
    out.left.clear();
    out.right.clear();
    const bool mono = file.Channels() == 1;
    std::vector<float> chunk(2 * static_cast<size_t>(READ_CHUNK));
    // Grown as data really decodes: a header may claim any length.
    for (;;) {
        const uint32_t have = out.FrameCount();
        if (have >= MAX_SAMPLE_FRAMES) return vbass::BASS_ERROR_MEM;
        const uint32_t got = file.ReadStereo(chunk.data(), READ_CHUNK);
        try {
            out.left.resize(static_cast<size_t>(have) + got);
            if (!mono) out.right.resize(static_cast<size_t>(have) + got);
        } catch (const std::bad_alloc&) {
            return vbass::BASS_ERROR_MEM;
        }
        for (uint32_t i = 0; i < got; ++i) {
            out.left[have + i] = ToPcm(chunk[2 * static_cast<size_t>(i)]);
            if (!mono) out.right[have + i] = ToPcm(chunk[2 * static_cast<size_t>(i) + 1]);
        }
        if (got < READ_CHUNK) break;
    }
    if (out.FrameCount() == 0) return vbass::BASS_ERROR_FILEFORM;
    out.left.shrink_to_fit();
    out.right.shrink_to_fit();
    return vbass::BASS_OK;
}

int OpenStreamDecoder(const char* path, uint32_t offset, uint32_t length, std::unique_ptr<Decoder>& out) {
    auto file = std::make_unique<SoundFile>();
    const int error = file->Open(path, offset, length);
    if (error != vbass::BASS_OK) return error;
    out = std::make_unique<StreamDecoder>(std::move(file));
    return vbass::BASS_OK;
}

int OpenModuleDecoder(const char* path, uint32_t offset, uint32_t length, uint32_t outputRate,
                      std::unique_ptr<Decoder>& out) {
    FileRange range;
    const int error = range.Open(path, offset, length);
    if (error != vbass::BASS_OK) return error;
    if (range.Length() > MAX_MODULE_BYTES) return vbass::BASS_ERROR_MEM;
    std::vector<char> bytes(static_cast<size_t>(range.Length()));
    if (range.Read(bytes.data(), bytes.size()) != bytes.size()) return vbass::BASS_ERROR_FILEOPEN;
    int moduleError = 0;
    openmpt_module* module =
        openmpt_module_create_from_memory2(bytes.data(), bytes.size(), openmpt_log_func_silent, nullptr,
                                           openmpt_error_func_ignore, nullptr, &moduleError, nullptr, nullptr);
    if (!module) return moduleError == OPENMPT_ERROR_OUT_OF_MEMORY ? vbass::BASS_ERROR_MEM : vbass::BASS_ERROR_FILEFORM;
    out = std::make_unique<ModuleDecoder>(module, outputRate);
    return vbass::BASS_OK;
}

}  // namespace audio
}  // namespace platform
