#include "PngFile.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image_write.h"

namespace aaxhost {

uint32_t WindowPixels::At(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 0;
    const uint8_t* pixel = &rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4];
    return static_cast<uint32_t>(pixel[0]) << 16 | static_cast<uint32_t>(pixel[1]) << 8 | pixel[2];
}

bool EncodePng(const WindowPixels& pixels, std::vector<uint8_t>* png, std::string* error) {
    const size_t expected = static_cast<size_t>(pixels.width) * static_cast<size_t>(pixels.height) * 4;
    if (pixels.width <= 0 || pixels.height <= 0 || pixels.rgba.size() != expected) {
        *error = "the window gave no picture";
        return false;
    }
    png->clear();
    const auto append = [](void* context, void* data, int size) {
        auto* bytes = static_cast<std::vector<uint8_t>*>(context);
        bytes->insert(bytes->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    };
    if (stbi_write_png_to_func(append, png, pixels.width, pixels.height, 4, pixels.rgba.data(), pixels.width * 4) == 0) {
        *error = "the picture could not be encoded as PNG";
        return false;
    }
    return true;
}

}  // namespace aaxhost
