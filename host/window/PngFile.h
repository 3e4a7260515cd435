// Window pictures as PNG files, encoded by stb_image_write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "HostWindow.h"

namespace aaxhost {

// [main] The picture as the bytes of a PNG file. False with a one-line reason when it is empty
// or cannot be encoded.
bool EncodePng(const WindowPixels& pixels, std::vector<uint8_t>* png, std::string* error);

}  // namespace aaxhost
