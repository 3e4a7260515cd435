// Window pictures as PNG files, encoded by stb_image_write.
#pragma once

#include <string>

#include "HostWindow.h"

namespace aaxhost {

// [main] False with a one-line reason when the picture is empty or the file cannot be written.
bool WritePngFile(const std::string& path, const WindowPixels& pixels, std::string* error);

}  // namespace aaxhost
