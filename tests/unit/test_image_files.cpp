// Image files written by other programs: Pillow, ImageMagick and jpegtran
// write every bit depth, colour type and variant of BMP, PNG, JPEG and DDS
// they know; the engine's decoders must read each file as an independent
// decoder (Pillow or ImageMagick) does, pixel by pixel. A PNG may get a gAMA
// chunk, which the engine applies for a display of gamma 2.2.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "image.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Runs a program and waits for it; its exit status, or -1 when it could not
// run or was killed.
int RunProgram(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// The PNG with a gAMA chunk of `gamma` (in 1/100000) right after its header.
Bytes WithGammaChunk(const Bytes& png, uint32_t gamma) {
    if (png.size() < 33) return png;
    Bytes chunk = {0, 0, 0, 4, 'g', 'A', 'M', 'A'};
    for (int i = 0; i < 4; ++i) chunk.push_back(uint8_t(gamma >> (24 - 8 * i)));
    const uint32_t crc = Crc32(&chunk[4], 8);
    for (int i = 0; i < 4; ++i) chunk.push_back(uint8_t(crc >> (24 - 8 * i)));
    Bytes result(png.begin(), png.begin() + 33);  // signature and header chunk
    result.insert(result.end(), chunk.begin(), chunk.end());
    result.insert(result.end(), png.begin() + 33, png.end());
    return result;
}

enum class Writer { Pillow, ImageMagick, ImageMagickThenJpegtran };
enum class Reference { Pillow, ImageMagick };

struct FileCase {
    const char* name;  // the file's name; its extension says the format
    Writer writer;
    // Pillow: the kind of file image_tool.py writes. ImageMagick: convert's
    // options, the last one the output format prefix. Then jpegtran: its options.
    const char* how;
    uint32_t width;
    uint32_t height;
    Reference reference;
    uint32_t gamma = 0;  // a gAMA chunk given to the engine only, in 1/100000
    const char* jpegtran = "";
};

constexpr Writer kPil = Writer::Pillow, kIm = Writer::ImageMagick, kImTran = Writer::ImageMagickThenJpegtran;
constexpr Reference kByPil = Reference::Pillow, kByIm = Reference::ImageMagick;
#define GREY "-colorspace Gray -alpha off "
#define BITS(n) "-depth " #n " -define png:bit-depth=" #n " "

const FileCase kCases[] = {
    // BMP. ImageMagick writes ARGB1555 with every alpha bit clear and reads
    // 4-bit channels shifted instead of scaled, and Pillow reads neither: the
    // byte-built bitmaps of the decoder tests cover alpha bit fields.
    {"pil_1bit.bmp", kPil, "bmp1", 13, 7, kByIm},
    {"pil_8bit_grey.bmp", kPil, "bmp8grey", 33, 17, kByIm},
    {"pil_8bit.bmp", kPil, "bmp8", 13, 7, kByIm},
    {"pil_24bit.bmp", kPil, "bmp24", 1, 1, kByIm},
    {"pil_32bit_alpha.bmp", kPil, "bmp32", 33, 17, kByIm},
    {"im_1bit.bmp", kIm, "-alpha off -monochrome BMP3:", 33, 17, kByPil},
    {"im_4bit.bmp", kIm, "-alpha off -colors 16 BMP3:", 13, 7, kByPil},
    {"im_4bit_v5.bmp", kIm, "-alpha off -colors 9 BMP:", 33, 17, kByPil},
    {"im_8bit_rle.bmp", kIm, "-alpha off -colors 200 -compress RLE BMP3:", 33, 17, kByPil},
    {"im_8bit_rle_runs.bmp", kIm, "-alpha off -colors 5 -compress RLE BMP3:", 13, 7, kByPil},
    {"im_8bit_rle_1x1.bmp", kIm, "-alpha off -colors 200 -compress RLE BMP3:", 1, 1, kByPil},
    {"im_16bit_565.bmp", kIm, "-alpha off -define bmp:subtype=RGB565 BMP:", 13, 7, kByPil},
    {"im_16bit_555.bmp", kIm, "-alpha off -define bmp:subtype=RGB555 BMP:", 33, 17, kByPil},
    {"im_24bit_v5.bmp", kIm, "-alpha off BMP:", 13, 7, kByPil},
    {"im_32bit_v5_alpha.bmp", kIm, "BMP:", 33, 17, kByPil},
    {"im_os2_1bit.bmp", kIm, "-alpha off -monochrome BMP2:", 13, 7, kByPil},
    {"im_os2_4bit.bmp", kIm, "-alpha off -colors 16 BMP2:", 33, 17, kByPil},
    {"im_os2_8bit.bmp", kIm, "-alpha off -colors 100 BMP2:", 13, 7, kByPil},
    {"im_os2_24bit.bmp", kIm, "-alpha off BMP2:", 13, 7, kByPil},
    // PNG: every colour type and bit depth, interlaced or not, with gamma or without
    {"pil_1bit_grey.png", kPil, "png1", 13, 7, kByIm},
    {"pil_2bit_palette.png", kPil, "png2", 33, 17, kByIm},
    {"pil_4bit_palette_trns.png", kPil, "png4trns", 13, 7, kByIm},
    {"pil_8bit_grey_trns.png", kPil, "png8greytrns", 13, 7, kByIm},
    {"pil_8bit_rgb_trns.png", kPil, "png8rgbtrns", 13, 7, kByIm},
    {"pil_16bit_grey.png", kPil, "png16grey", 33, 17, kByIm},
    {"pil_8bit_grey_alpha.png", kPil, "png8greyalpha", 1, 1, kByIm},
    {"pil_8bit_rgba.png", kPil, "png8rgba", 13, 7, kByIm},
    {"pil_8bit_rgba_gamma.png", kPil, "png8rgba", 13, 7, kByIm, 100000},
    {"im_1bit_grey.png", kIm, GREY BITS(1) "-define png:color-type=0 PNG:", 13, 7, kByPil},
    {"im_2bit_grey.png", kIm, GREY BITS(2) "-define png:color-type=0 PNG:", 33, 17, kByPil},
    {"im_4bit_grey_interlaced.png", kIm, GREY BITS(4) "-interlace PNG -define png:color-type=0 PNG:", 13, 7, kByPil},
    {"im_1bit_palette.png", kIm, "-alpha off -colors 2 " BITS(1) "-define png:color-type=3 PNG:", 13, 7, kByPil},
    {"im_4bit_palette_interlaced.png", kIm, "-alpha off -colors 16 -interlace PNG " BITS(4) "-define png:color-type=3 PNG:",
     33, 17, kByPil},
    {"im_8bit_palette_gamma.png", kIm, "-alpha off -colors 50 PNG8:", 13, 7, kByPil, 80000},
    {"im_8bit_grey_alpha_interlaced.png", kIm, "-colorspace Gray -interlace PNG -depth 8 -define png:color-type=4 PNG:",
     13, 7, kByPil},
    {"im_8bit_rgb_interlaced.png", kIm, "-alpha off -interlace PNG PNG24:", 33, 17, kByPil},
    {"im_16bit_grey.png", kIm, GREY "-depth 16 -define png:color-type=0 PNG:", 13, 7, kByPil},
    {"im_16bit_grey_interlaced_gamma.png", kIm, GREY "-depth 16 -interlace PNG -define png:color-type=0 PNG:", 13, 7,
     kByIm, 60000},
    {"im_16bit_grey_alpha.png", kIm, "-colorspace Gray -depth 16 -define png:color-type=4 PNG:", 13, 7, kByPil},
    {"im_16bit_grey_alpha_interlaced.png", kIm, "-colorspace Gray -depth 16 -interlace PNG -define png:color-type=4 PNG:",
     33, 17, kByIm},
    {"im_16bit_rgb.png", kIm, "-alpha off -depth 16 PNG48:", 13, 7, kByPil},
    {"im_16bit_rgb_interlaced.png", kIm, "-alpha off -interlace PNG -depth 16 PNG48:", 33, 17, kByPil},
    {"im_16bit_rgb_gamma.png", kIm, "-alpha off -depth 16 PNG48:", 13, 7, kByIm, 100000},
    {"im_16bit_rgba.png", kIm, "-depth 16 PNG64:", 1, 1, kByPil},
    {"im_16bit_rgba_interlaced.png", kIm, "-interlace PNG -depth 16 PNG64:", 13, 7, kByPil},
    {"im_16bit_rgba_interlaced_gamma.png", kIm, "-interlace PNG -depth 16 PNG64:", 33, 17, kByIm, 100000},
    // JPEG
    {"pil_baseline.jpg", kPil, "jpeg", 33, 17, kByIm},
    {"pil_444.jpg", kPil, "jpeg444", 13, 7, kByIm},
    {"pil_progressive.jpg", kPil, "jpegprogressive", 33, 17, kByIm},
    {"pil_grey.jpg", kPil, "jpeggrey", 13, 7, kByIm},
    {"im_baseline.jpg", kIm, "-alpha off -quality 90 JPEG:", 1, 1, kByPil},
    {"im_grey_progressive.jpg", kIm, GREY "-interlace JPEG JPEG:", 13, 7, kByPil},
    {"im_arithmetic.jpg", kImTran, "-alpha off -quality 90 JPEG:", 33, 17, kByPil, 0, "-arithmetic"},
    {"im_arithmetic_progressive.jpg", kImTran, "-alpha off JPEG:", 13, 7, kByPil, 0, "-arithmetic -progressive"},
    // DDS (ImageMagick writes no DXT3)
    {"im_dxt1.dds", kIm, "-alpha off -define dds:compression=dxt1 -define dds:mipmaps=0 DDS:", 13, 7, kByPil},
    {"im_dxt1_mips.dds", kIm, "-alpha off -define dds:compression=dxt1 -define dds:mipmaps=3 DDS:", 32, 16, kByPil},
    {"im_dxt5_mips.dds", kIm, "-define dds:compression=dxt5 -define dds:mipmaps=2 DDS:", 32, 16, kByPil},
    {"im_dxt5.dds", kIm, "-define dds:compression=dxt5 -define dds:mipmaps=0 DDS:", 33, 17, kByPil},
    {"im_uncompressed.dds", kIm, "-define dds:compression=none DDS:", 13, 7, kByPil},
    {"im_uncompressed_mips.dds", kIm, "-alpha off -define dds:compression=none -define dds:mipmaps=3 DDS:", 32, 16,
     kByPil},
};

class ImageFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/velmor-image-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        // The CI machine installs them (scripts/install-deps.sh): a missing
        // tool is a failure, not a reason to skip.
        for (const char* tool : {VELMOR_TEST_PYTHON, VELMOR_TEST_CONVERT, VELMOR_TEST_JPEGTRAN})
            ASSERT_EQ(access(tool, X_OK), 0) << tool << " is missing: run scripts/install-deps.sh";
    }
    void TearDown() override {
        if (!dir.empty()) fs::remove_all(dir);
    }

    std::string Path(const std::string& name) const { return dir + "/" + name; }

    bool Python(const std::vector<std::string>& args) {
        std::vector<std::string> all = {VELMOR_TEST_PYTHON, VELMOR_IMAGE_TOOL};
        all.insert(all.end(), args.begin(), args.end());
        return RunProgram(all) == 0;
    }

    // Writes the case's file and returns its bytes (empty when a tool failed).
    Bytes Make(const FileCase& c) {
        const std::string out = Path(c.name), size[2] = {std::to_string(c.width), std::to_string(c.height)};
        if (c.writer == Writer::Pillow) return Python({"write", c.how, size[0], size[1], out}) ? ReadBytes(out) : Bytes();
        const std::string source = Path(std::string(c.name) + ".pam");
        if (!Python({"source", size[0], size[1], source})) return {};
        // No colour chunks: only the test's own gAMA chunk gives a PNG a gamma.
        std::vector<std::string> args = {VELMOR_TEST_CONVERT, source, "-define", "png:exclude-chunk=all"};
        std::vector<std::string> options = Words(c.how);
        const std::string target = c.writer == Writer::ImageMagick ? out : out + ".first";
        options.back() += target;
        args.insert(args.end(), options.begin(), options.end());
        if (RunProgram(args) != 0) return {};
        if (c.writer == Writer::ImageMagickThenJpegtran) {
            std::vector<std::string> tran = {VELMOR_TEST_JPEGTRAN};
            for (const std::string& w : Words(c.jpegtran)) tran.push_back(w);
            tran.insert(tran.end(), {"-outfile", out, target});
            if (RunProgram(tran) != 0) return {};
        }
        return ReadBytes(out);
    }

    // The file as the independent decoder reads it: RGBA, 16 bits a sample.
    std::vector<uint16_t> ReferencePixels(const FileCase& c) {
        const std::string raw = Path(std::string(c.name) + ".raw");
        const bool ran = c.reference == Reference::Pillow
                             ? Python({"decode", Path(c.name), raw})
                             : RunProgram({VELMOR_TEST_CONVERT, Path(c.name), "-depth", "16", "-endian", "LSB", "rgba:" + raw}) == 0;
        const Bytes bytes = ran ? ReadBytes(raw) : Bytes();
        std::vector<uint16_t> samples(bytes.size() / 2);
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = uint16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        return samples;
    }

    void Compare(const FileCase& c);

    std::string dir;
};

// A colour sample as the engine shows it: 8 bits, and through the file's
// gamma for a display of gamma 2.2 when it has one. Alpha is never
// gamma-corrected.
int Expected(uint16_t sample, bool colour, uint32_t gamma) {
    if (!colour || gamma == 0) return int(std::lround(sample / 257.0));
    return int(std::lround(255.0 * std::pow(sample / 65535.0, 100000.0 / (gamma * 2.2))));
}

// The pixels that differ by more than `tolerance` in a channel, a few of them
// described; empty when none does.
std::string Differences(const image::Image& decoded, const std::vector<uint16_t>& reference, uint32_t gamma,
                        int tolerance) {
    std::ostringstream report;
    int count = 0;
    for (size_t i = 0; i < decoded.pixels.size(); ++i) {
        for (int c = 0; c < 4; ++c) {
            const int shift = c == 3 ? 24 : 16 - 8 * c;  // R, G, B, A in the reference
            const int got = int((decoded.pixels[i] >> shift) & 0xFF);
            const int want = Expected(reference[4 * i + c], c < 3, gamma);
            if (std::abs(got - want) <= tolerance) continue;
            if (count++ < 4)
                report << "(" << i % decoded.width << "," << i / decoded.width << ") channel " << "RGBA"[c] << ": "
                       << got << " instead of " << want << "; ";
        }
    }
    if (count) report << count << " samples differ";
    return report.str();
}

void ImageFiles::Compare(const FileCase& c) {
    const Bytes file = Make(c);
    ASSERT_FALSE(file.empty()) << "the encoder failed";
    const std::vector<uint16_t> reference = ReferencePixels(c);
    ASSERT_EQ(reference.size(), size_t(c.width) * c.height * 4) << "the reference decoder failed";

    const Bytes engineFile = c.gamma ? WithGammaChunk(file, c.gamma) : file;
    image::Image decoded;
    std::string error;
    ASSERT_TRUE(image::DecodeImage(engineFile.data(), engineFile.size(), decoded, error)) << error;
    ASSERT_EQ(decoded.width, c.width);
    ASSERT_EQ(decoded.height, c.height);
    const int tolerance = fs::path(c.name).extension() == ".jpg" ? 2 : 1;
    EXPECT_EQ(Differences(decoded, reference, c.gamma, tolerance), "");

    // Cut anywhere, a PNG fails (its end chunk and checksums are read).
    if (fs::path(c.name).extension() != ".png") return;
    for (size_t cut = 0; cut < engineFile.size(); cut += 3) {
        const Bytes prefix(engineFile.begin(), engineFile.begin() + std::ptrdiff_t(cut));
        image::Image partial;
        EXPECT_FALSE(image::DecodeImage(prefix.data(), prefix.size(), partial, error)) << "cut at " << cut;
    }
}

TEST_F(ImageFiles, EveryVariantReadsAsAnIndependentDecoderReadsIt) {
    for (const FileCase& c : kCases) {
        SCOPED_TRACE(c.name);
        Compare(c);
    }
}

}  // namespace
