// The replacement registry's file, shared by its reader (platform_posix.cpp) and its writers
// (registry_writer_posix.cpp). Inside this folder only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform::registry_file {

struct Value {
    std::string name;
    uint32_t type = kRegistryBinary;
    std::vector<uint8_t> data;
};

struct Section {
    std::string name;  // ROOT\VIEW\key
    std::vector<Value> values;
};

// Names compare without regard to ASCII case.
std::string Lower(const std::string& text);
// The section of root\subKey in the view that access names.
std::string SectionName(RootKey root, uint32_t access, const char* subKey);
// The whole file (none: no sections). Throws std::bad_alloc.
std::vector<Section> Read();
// Replaces the file with these sections, through a temporary file. Throws std::bad_alloc.
int32_t Write(const std::vector<Section>& sections);

}  // namespace platform::registry_file
