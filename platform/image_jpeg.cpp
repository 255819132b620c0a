// JPEG through libjpeg. The library reports errors by calling error_exit,
// which must not return: ours jumps back to the function that called into
// the library. A stream that ends early is only a warning to libjpeg (it
// pads with an end marker and shows grey); here it is damage and fails.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <jerror.h>

#include "image.h"

namespace image {
namespace {

struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
    bool truncated;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
    JpegError* error = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, error->message);
    longjmp(error->jump, 1);
}

void OnJpegMessage(j_common_ptr info, int level) {
    JpegError* error = reinterpret_cast<JpegError*>(info->err);
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) error->truncated = true;
}

void InstallErrorHandlers(JpegError& error) {
    jpeg_std_error(&error.manager);
    error.manager.error_exit = OnJpegError;
    error.manager.emit_message = OnJpegMessage;
    error.truncated = false;
    error.message[0] = 0;
}

uint32_t FromRgb(const uint8_t* p) {
    return 0xFF000000u | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
}

// Reads the rows into `decoded`, which belongs to the caller, as does `row`.
bool ReadScanlines(jpeg_decompress_struct& info, std::vector<uint8_t>& row, Image& decoded, JpegError& error) {
    jpeg_start_decompress(&info);
    row.resize(static_cast<size_t>(info.output_width) * info.output_components);
    decoded.width = info.output_width;
    decoded.height = info.output_height;
    decoded.pixels.resize(static_cast<size_t>(decoded.width) * decoded.height);
    while (info.output_scanline < info.output_height && !error.truncated) {
        uint32_t* target = &decoded.pixels[static_cast<size_t>(info.output_scanline) * decoded.width];
        JSAMPROW rows[1] = {row.data()};
        if (jpeg_read_scanlines(&info, rows, 1) != 1) break;
        for (uint32_t x = 0; x < decoded.width; ++x) target[x] = FromRgb(&row[x * 3u]);
    }
    return info.output_scanline == info.output_height && !error.truncated;
}

void SetMessage(JpegError& error, const char* text) {
    std::snprintf(error.message, sizeof(error.message), "%s", text);
}

// The frame that holds setjmp owns no C++ object, so a jump back into it
// skips no destructor and clobbers nothing that is used afterwards.
bool DecodeWithJump(const uint8_t* data, size_t size, JpegError& error, std::vector<uint8_t>& row,
                    Image& decoded) {
    jpeg_decompress_struct info;
    info.err = &error.manager;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    if (error.truncated || !SizeAcceptable(info.image_width, info.image_height)) {
        SetMessage(error, error.truncated ? "data ends early" : "image too large");
        jpeg_destroy_decompress(&info);
        return false;
    }
    // Grey and colour images come out as RGB; libjpeg refuses CMYK this way.
    info.out_color_space = JCS_RGB;
    const bool complete = ReadScanlines(info, row, decoded, error);
    if (complete) jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    if (!complete || error.truncated) {
        SetMessage(error, "data ends early");
        return false;
    }
    return true;
}

void WriteRow(const Image& source, uint32_t y, uint8_t* row) {
    const uint32_t* pixels = &source.pixels[static_cast<size_t>(y) * source.width];
    for (uint32_t x = 0; x < source.width; ++x) {
        row[x * 3u] = static_cast<uint8_t>(pixels[x] >> 16);
        row[x * 3u + 1] = static_cast<uint8_t>(pixels[x] >> 8);
        row[x * 3u + 2] = static_cast<uint8_t>(pixels[x]);
    }
}

// Leaves the compressed bytes in *buffer (malloc'ed by libjpeg) on success.
bool EncodeWithJump(const Image& source, int quality, JpegError& error, uint8_t* row, unsigned char** buffer,
                    unsigned long* size) {
    jpeg_compress_struct info;
    info.err = &error.manager;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, buffer, size);
    info.image_width = source.width;
    info.image_height = source.height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        WriteRow(source, info.next_scanline, row);
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, Image& out, std::string& error) {
    out = Image();
    JpegError jpegError;
    InstallErrorHandlers(jpegError);
    std::vector<uint8_t> row;
    Image decoded;
    if (size == 0 || size > 0xFFFFFFFFu) SetMessage(jpegError, "no data");
    else if (DecodeWithJump(data, size, jpegError, row, decoded)) {
        out = std::move(decoded);
        return true;
    }
    error = std::string("JPEG: ") + jpegError.message;
    return false;
}

std::vector<uint8_t> EncodeJpeg(const Image& source, int quality) {
    JpegError jpegError;
    InstallErrorHandlers(jpegError);
    std::vector<uint8_t> row(static_cast<size_t>(source.width) * 3);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<uint8_t> bytes;
    if (EncodeWithJump(source, quality, jpegError, row.data(), &buffer, &size)) bytes.assign(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

}  // namespace image
