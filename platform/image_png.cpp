// PNG through libpng, reading from our buffer only. Every colour type and
// bit depth, interlaced or not, comes out as 8-bit BGRA: palettes, grey and
// tRNS expanded, 16-bit samples scaled (rounded) after gamma. A file without colour
// information is sRGB at any bit depth and keeps its samples; a gAMA chunk is
// applied for a display of gamma 2.2. libpng reports errors by calling the
// error function, which must not return: ours jumps back into the function
// that called the library.
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "image.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "B, G, R, A bytes read as one 0xAARRGGBB word");

namespace image {
namespace {

struct PngSource {
    const uint8_t* data;
    size_t size;
    size_t at;
    std::string message;
};

void ReadFromBuffer(png_structp png, png_bytep out, size_t count) {
    PngSource* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > source->size - source->at) png_error(png, "data ends early");
    std::memcpy(out, source->data + source->at, count);
    source->at += count;
}

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
    static_cast<PngSource*>(png_get_error_ptr(png))->message = message;
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Every transformation to B, G, R, A rows, of 16-bit samples for 16-bit
// files (so that gamma is applied at their precision), else of 8-bit ones.
void RequestBgra(png_structp png, png_infop info) {
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
    // A display of gamma 2.2; the file's own gamma (a gAMA or sRGB chunk),
    // else sRGB's.
    png_fixed_point fileGamma = PNG_DEFAULT_sRGB;
    png_get_gAMA_fixed(png, info, &fileGamma);
    png_set_gamma_fixed(png, PNG_DEFAULT_sRGB, fileGamma);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
}

// 16-bit big-endian samples to 8 bits, rounded.
void NarrowRows(const std::vector<uint8_t>& wide, Image& decoded) {
    uint8_t* target = reinterpret_cast<uint8_t*>(decoded.pixels.data());
    for (size_t i = 0; i < wide.size() / 2; ++i) {
        const uint32_t sample = (uint32_t(wide[2 * i]) << 8) | wide[2 * i + 1];
        target[i] = static_cast<uint8_t>((sample * 255 + 32895) >> 16);
    }
}

// The frame that holds setjmp owns no C++ object, so a jump back into it
// skips no destructor; `decoded`, `wide` and `rows` belong to the caller.
bool DecodeWithJump(png_structp png, png_infop info, Image& decoded, std::vector<uint8_t>& wide,
                    std::vector<png_bytep>& rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    if (!SizeAcceptable(width, height)) png_error(png, "image too large");
    const size_t sampleSize = png_get_bit_depth(png, info) == 16 ? 2 : 1;
    RequestBgra(png, info);
    const size_t rowSize = size_t(width) * 4 * sampleSize;
    if (png_get_rowbytes(png, info) != rowSize) png_error(png, "unexpected row layout");
    decoded.width = width;
    decoded.height = height;
    decoded.pixels.resize(size_t(width) * height);
    if (sampleSize == 2) wide.resize(rowSize * height);
    uint8_t* target = sampleSize == 2 ? wide.data() : reinterpret_cast<uint8_t*>(decoded.pixels.data());
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = target + rowSize * y;
    png_read_image(png, rows.data());
    // The rest of the file up to its end chunk, checksums included.
    png_read_end(png, nullptr);
    if (sampleSize == 2) NarrowRows(wide, decoded);
    return true;
}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, Image& out, std::string& error) {
    out = Image();
    PngSource source{data, size, 0, ""};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        error = "PNG: out of memory";
        return false;
    }
    png_set_read_fn(png, &source, ReadFromBuffer);
    png_set_user_limits(png, kMaxImageEdge, kMaxImageEdge);
    Image decoded;
    std::vector<uint8_t> wide;
    std::vector<png_bytep> rows;
    const bool ok = DecodeWithJump(png, info, decoded, wide, rows);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) {
        error = "PNG: " + source.message;
        return false;
    }
    out = std::move(decoded);
    return true;
}

std::vector<uint8_t> EncodePng(const Image& source) {
    png_image png;
    std::memset(&png, 0, sizeof(png));
    png.version = PNG_IMAGE_VERSION;
    png.width = source.width;
    png.height = source.height;
    png.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, source.pixels.data(), 0, nullptr)) return {};
    std::vector<uint8_t> bytes(size);
    if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, source.pixels.data(), 0, nullptr)) return {};
    bytes.resize(size);
    return bytes;
}

}  // namespace image
