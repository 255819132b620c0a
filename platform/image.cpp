// Image type detection, the decoder dispatch and the pixel work between the
// decoded image and a texture: resampling to the texture's size and halving
// for mip levels.
#include "image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace image {

bool SizeAcceptable(uint64_t width, uint64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxImageEdge && height <= kMaxImageEdge &&
           width * height <= kMaxImagePixels;
}

FileFormat DetectFormat(const uint8_t* data, size_t size) {
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 8 && std::memcmp(data, kPng, 8) == 0) return FileFormat::Png;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return FileFormat::Jpeg;
    if (size >= 4 && std::memcmp(data, "DDS ", 4) == 0) return FileFormat::Dds;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return FileFormat::Bmp;
    return FileFormat::Unknown;
}

bool DecodeImage(const uint8_t* data, size_t size, Image& out, std::string& error) {
    switch (DetectFormat(data, size)) {
        case FileFormat::Png:
            return DecodePng(data, size, out, error);
        case FileFormat::Jpeg:
            return DecodeJpeg(data, size, out, error);
        case FileFormat::Bmp:
            return DecodeBmp(data, size, out, error);
        case FileFormat::Dds:
            return DecodeDds(data, size, out, error);
        case FileFormat::Unknown:
            break;
    }
    out = Image();
    error = "unknown image file type";
    return false;
}

namespace {

struct Tap {
    uint32_t index;
    float weight;
};

// For each target position, the source positions it reads and their
// normalised weights. Shrinking: every source pixel the target pixel covers,
// weighted by the length it covers. Enlarging: the two nearest source
// pixels, linearly (edges repeat). An unchanged size maps each pixel to
// itself with weight 1.
std::vector<std::vector<Tap>> Taps(uint32_t sourceSize, uint32_t targetSize) {
    std::vector<std::vector<Tap>> taps(targetSize);
    const double scale = double(sourceSize) / targetSize;
    for (uint32_t i = 0; i < targetSize; ++i) {
        if (scale > 1.0) {
            const double start = i * scale, end = (i + 1) * scale;
            const uint32_t last = std::min(sourceSize, uint32_t(std::ceil(end)));
            for (uint32_t j = uint32_t(std::floor(start)); j < last; ++j) {
                const double covered = std::min(end, j + 1.0) - std::max(start, double(j));
                if (covered > 0) taps[i].push_back(Tap{j, float(covered / scale)});
            }
            continue;
        }
        const double centre = (i + 0.5) * scale - 0.5;
        const double left = std::floor(centre), fraction = centre - left;
        const auto clamp = [&](double j) { return uint32_t(std::clamp<double>(j, 0, sourceSize - 1.0)); };
        taps[i].push_back(Tap{clamp(left), float(1.0 - fraction)});
        if (fraction > 0) taps[i].push_back(Tap{clamp(left + 1), float(fraction)});
    }
    return taps;
}

uint32_t Pack(const float channels[4]) {
    uint32_t pixel = 0;
    for (int c = 0; c < 4; ++c) {
        const float v = std::clamp(channels[c], 0.0f, 255.0f);
        pixel |= uint32_t(v + 0.5f) << (8 * c);
    }
    return pixel;
}

}  // namespace

Image Resample(const Image& source, uint32_t width, uint32_t height) {
    if (source.width == width && source.height == height) return source;
    Image target;
    target.width = width;
    target.height = height;
    target.pixels.resize(size_t(width) * height);
    const std::vector<std::vector<Tap>> rows = Taps(source.height, height);
    const std::vector<std::vector<Tap>> columns = Taps(source.width, width);
    // Vertical pass for one target row into floats, then the horizontal pass.
    std::vector<float> blended(size_t(source.width) * 4);
    for (uint32_t y = 0; y < height; ++y) {
        std::fill(blended.begin(), blended.end(), 0.0f);
        for (const Tap& row : rows[y]) {
            const uint32_t* line = &source.pixels[size_t(row.index) * source.width];
            for (uint32_t x = 0; x < source.width; ++x)
                for (int c = 0; c < 4; ++c) blended[x * 4 + c] += float((line[x] >> (8 * c)) & 0xFF) * row.weight;
        }
        for (uint32_t x = 0; x < width; ++x) {
            float channels[4] = {0, 0, 0, 0};
            for (const Tap& column : columns[x])
                for (int c = 0; c < 4; ++c) channels[c] += blended[column.index * 4 + c] * column.weight;
            target.pixels[size_t(y) * width + x] = Pack(channels);
        }
    }
    return target;
}

Image HalveBox(const Image& source) {
    Image target;
    target.width = std::max(1u, source.width / 2);
    target.height = std::max(1u, source.height / 2);
    target.pixels.resize(size_t(target.width) * target.height);
    const uint32_t right = source.width > 1 ? 1 : 0, down = source.height > 1 ? 1 : 0;
    for (uint32_t y = 0; y < target.height; ++y) {
        for (uint32_t x = 0; x < target.width; ++x) {
            const size_t topLeft = size_t(2 * y) * source.width + 2 * x;
            const uint32_t block[4] = {source.pixels[topLeft], source.pixels[topLeft + right],
                                       source.pixels[topLeft + size_t(down) * source.width],
                                       source.pixels[topLeft + size_t(down) * source.width + right]};
            uint32_t pixel = 0;
            for (int c = 0; c < 4; ++c) {
                uint32_t sum = 0;
                for (uint32_t p : block) sum += (p >> (8 * c)) & 0xFF;
                pixel |= ((sum + 2) / 4) << (8 * c);
            }
            target.pixels[size_t(y) * target.width + x] = pixel;
        }
    }
    return target;
}

}  // namespace image
