#include "PngFile.h"

#include <fstream>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

namespace aaxhost {

uint32_t WindowPixels::At(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    const uint8_t* pixel = &rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4];
    return static_cast<uint32_t>(pixel[0]) << 16 | static_cast<uint32_t>(pixel[1]) << 8 | pixel[2];
}

bool WritePngFile(const std::string& path, const WindowPixels& pixels, std::string* error) {
    const size_t expected = static_cast<size_t>(pixels.width) * static_cast<size_t>(pixels.height) * 4;
    if (pixels.width <= 0 || pixels.height <= 0 || pixels.rgba.size() != expected) {
        *error = "no picture to write to " + path;
        return false;
    }
    // Encoded in memory and written through the standard library, so the path is handled as
    // every other file the command writes.
    std::string encoded;
    const auto append = [](void* context, void* data, int size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
    };
    if (stbi_write_png_to_func(append, &encoded, pixels.width, pixels.height, 4, pixels.rgba.data(),
                               pixels.width * 4) == 0) {
        *error = "the picture could not be encoded as PNG";
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(encoded.data(), static_cast<std::streamsize>(encoded.size()));
    if (!out) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace aaxhost
