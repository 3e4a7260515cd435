// Registry writers for the replacement registry file.
#include <string>
#include <utility>
#include <vector>

#include "platform/registry_file_posix.h"
#include "platform/registry_writer.h"

namespace platform {

using registry_file::Lower;
using registry_file::Section;
using registry_file::SectionName;
using registry_file::Value;

int32_t RegistryWriteValue(RootKey root, const char* subKey, uint32_t viewFlag, const char* valueName, uint32_t type,
                           const void* data, uint32_t size) noexcept {
    if (subKey == nullptr || valueName == nullptr || (data == nullptr && size != 0)) {
        return kRegistryNotFound;
    }
    try {
        std::vector<Section> sections = registry_file::Read();
        const std::string name = Lower(SectionName(root, viewFlag, subKey));
        Section* target = nullptr;
        for (Section& section : sections) {
            if (Lower(section.name) == name) target = &section;
        }
        if (target == nullptr) {
            sections.push_back({SectionName(root, viewFlag, subKey), {}});
            target = &sections.back();
        }
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        Value stored{valueName, type, std::vector<uint8_t>(bytes, bytes + size)};
        bool replaced = false;
        for (Value& value : target->values) {
            if (Lower(value.name) == Lower(valueName)) {
                value.type = stored.type;
                value.data = stored.data;
                replaced = true;
            }
        }
        if (!replaced) target->values.push_back(std::move(stored));
        return registry_file::Write(sections);
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

int32_t RegistryWriteText(RootKey root, const char* subKey, uint32_t viewFlag, const char* valueName, uint32_t type,
                          const char* text, uint32_t size) noexcept {
    // Text is stored as UTF-8 here, so the bytes are the value.
    return RegistryWriteValue(root, subKey, viewFlag, valueName, type, text, size);
}

int32_t RegistryDeleteKey(RootKey root, const char* subKey, uint32_t viewFlag) noexcept {
    try {
        std::vector<Section> sections = registry_file::Read();
        const std::string name = Lower(SectionName(root, viewFlag, subKey));
        std::vector<Section> kept;
        for (const Section& section : sections) {
            if (Lower(section.name) != name) kept.push_back(section);
        }
        if (kept.size() == sections.size()) return kRegistrySuccess;
        return registry_file::Write(kept);
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

int32_t RegistryDeleteValue(RootKey root, const char* subKey, uint32_t viewFlag, const char* valueName) noexcept {
    if (subKey == nullptr || valueName == nullptr) return kRegistryNotFound;
    try {
        std::vector<Section> sections = registry_file::Read();
        const std::string name = Lower(SectionName(root, viewFlag, subKey));
        bool removed = false;
        for (Section& section : sections) {
            if (Lower(section.name) != name) continue;
            std::vector<Value> kept;
            for (const Value& value : section.values) {
                if (Lower(value.name) != Lower(valueName)) kept.push_back(value);
            }
            removed = removed || kept.size() != section.values.size();
            section.values = std::move(kept);
        }
        return removed ? registry_file::Write(sections) : kRegistrySuccess;
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

}  // namespace platform
