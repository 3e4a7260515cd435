// Replacement platform services for systems without the Win32 API: dlopen for libraries,
// pthreads for the mutex, and a file-backed registry.
//
// The registry file keeps the 64-bit and the 32-bit view apart. It is plain text:
//
//   [HKLM\64\Software\Brenlock\VantreloDelay]
//   "installdirectory"="/opt/vantrelo/"
//   "raw"=hex:2f,6f,70,74
//
// A quoted value is stored with a terminating zero byte (as a Win32 string value); a hex value
// is stored exactly as listed. Key and value names compare without regard to ASCII case, as in
// the Win32 registry. The file is VANTRELO_REGISTRY_FILE when that is set, else
// /etc/aaxw/registry.
#include "platform/platform.h"

#include <dlfcn.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace platform {
namespace {

constexpr const char* kDefaultRegistryFile = "/etc/aaxw/registry";

std::string RegistryFilePath() {
    const char* overridden = std::getenv(kRegistryFileVariable);
    return (overridden != nullptr && overridden[0] != '\0') ? overridden : kDefaultRegistryFile;
}

std::string Lower(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string SectionName(RootKey root, uint32_t access, const char* subKey) {
    const char* rootName = root == RootKey::LocalMachine ? "HKLM" : "HKCU";
    const char* view = (access & kKeyWow64_32Key) != 0 ? "32" : "64";
    std::string key = subKey != nullptr ? subKey : "";
    while (!key.empty() && key.back() == '\\') key.pop_back();
    return std::string(rootName) + "\\" + view + (key.empty() ? "" : "\\" + key);
}

struct RegistryValue {
    std::string name;
    std::vector<uint8_t> data;
};

struct RegistrySection {
    std::string name;
    std::vector<RegistryValue> values;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Parses `"name"=...`. Returns false for a malformed line, which is skipped.
bool ParseValueLine(const std::string& line, RegistryValue* out) {
    if (line.size() < 2 || line[0] != '"') return false;
    size_t end = line.find('"', 1);
    if (end == std::string::npos || end + 1 >= line.size() || line[end + 1] != '=') return false;
    out->name = line.substr(1, end - 1);
    std::string rest = line.substr(end + 2);
    out->data.clear();
    if (rest.rfind("hex:", 0) == 0) {
        std::string hex = rest.substr(4);
        size_t i = 0;
        while (i < hex.size()) {
            if (hex[i] == ',' || hex[i] == ' ') { ++i; continue; }
            if (i + 1 >= hex.size()) return false;
            int high = HexDigit(hex[i]);
            int low = HexDigit(hex[i + 1]);
            if (high < 0 || low < 0) return false;
            out->data.push_back(static_cast<uint8_t>(high * 16 + low));
            i += 2;
        }
        return true;
    }
    if (rest.size() < 2 || rest.front() != '"' || rest.back() != '"') return false;
    for (size_t i = 1; i + 1 < rest.size(); ++i) {
        char c = rest[i];
        if (c == '\\' && i + 2 < rest.size()) c = rest[++i];
        out->data.push_back(static_cast<uint8_t>(c));
    }
    out->data.push_back(0);
    return true;
}

std::vector<RegistrySection> ReadRegistryFile() {
    std::vector<RegistrySection> sections;
    std::ifstream in(RegistryFilePath(), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line.front() == '[' && line.back() == ']') {
            sections.push_back({line.substr(1, line.size() - 2), {}});
            continue;
        }
        RegistryValue value;
        if (!sections.empty() && ParseValueLine(line, &value)) sections.back().values.push_back(value);
    }
    return sections;
}

bool IsPlainString(const std::vector<uint8_t>& data) {
    if (data.empty() || data.back() != 0) return false;
    for (size_t i = 0; i + 1 < data.size(); ++i) {
        uint8_t c = data[i];
        if (c == 0 || c == '\n' || c == '\r') return false;
    }
    return true;
}

int32_t WriteRegistryFile(const std::vector<RegistrySection>& sections) {
    const std::string path = RegistryFilePath();
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        ::mkdir(path.substr(0, slash).c_str(), 0755);  // one level, as an installer would
    }
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return errno == EACCES ? kRegistryAccessDenied : kRegistryNotFound;
        out << "# Registry replacement: [ROOT\\VIEW\\key] then \"name\"=\"text\" or \"name\"=hex:..\n";
        for (const RegistrySection& section : sections) {
            out << '[' << section.name << "]\n";
            for (const RegistryValue& value : section.values) {
                out << '"' << value.name << "\"=";
                if (IsPlainString(value.data)) {
                    out << '"';
                    for (size_t i = 0; i + 1 < value.data.size(); ++i) {
                        char c = static_cast<char>(value.data[i]);
                        if (c == '"' || c == '\\') out << '\\';
                        out << c;
                    }
                    out << "\"\n";
                } else {
                    out << "hex:";
                    for (size_t i = 0; i < value.data.size(); ++i) {
                        char digits[4];
                        std::snprintf(digits, sizeof digits, "%02x", value.data[i]);
                        out << (i == 0 ? "" : ",") << digits;
                    }
                    out << '\n';
                }
            }
        }
        if (!out.flush()) return kRegistryAccessDenied;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) return kRegistryAccessDenied;
    return kRegistrySuccess;
}

struct OpenKey {
    std::string section;
};

thread_local char lastLoadError[512] = "";

}  // namespace

// The file-backed registry reads and writes through the standard library, which allocates; a
// failed allocation becomes the Win32 answer to it instead of an exception.

int32_t RegistryOpenKey(RootKey root, const char* subKey, uint32_t access, RegistryKey* outKey) noexcept {
    if (outKey == nullptr || subKey == nullptr) return kRegistryNotFound;
    try {
        const std::string wanted = Lower(SectionName(root, access, subKey));
        for (const RegistrySection& section : ReadRegistryFile()) {
            if (Lower(section.name) == wanted) {
                *outKey = new OpenKey{section.name};
                return kRegistrySuccess;
            }
        }
        return kRegistryNotFound;
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

int32_t RegistryQueryValue(RegistryKey key, const char* valueName, uint8_t* data, uint32_t* size) noexcept {
    if (key == nullptr || size == nullptr) return kRegistryNotFound;
    try {
        const OpenKey* open = static_cast<const OpenKey*>(key);
        const std::string wantedName = Lower(valueName != nullptr ? valueName : "");
        for (const RegistrySection& section : ReadRegistryFile()) {
            if (Lower(section.name) != Lower(open->section)) continue;
            for (const RegistryValue& value : section.values) {
                if (Lower(value.name) != wantedName) continue;
                if (value.data.size() > *size || data == nullptr) {
                    *size = static_cast<uint32_t>(value.data.size());
                    return data == nullptr ? kRegistrySuccess : kRegistryMoreData;
                }
                std::memcpy(data, value.data.data(), value.data.size());
                *size = static_cast<uint32_t>(value.data.size());
                return kRegistrySuccess;
            }
        }
        return kRegistryNotFound;
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

int32_t RegistryCloseKey(RegistryKey key) noexcept {
    delete static_cast<OpenKey*>(key);
    return kRegistrySuccess;
}

int32_t RegistryWriteValue(RootKey root, const char* subKey, uint32_t viewFlag, const char* valueName,
                           const void* data, uint32_t size) noexcept {
    if (subKey == nullptr || valueName == nullptr || (data == nullptr && size != 0)) {
        return kRegistryNotFound;
    }
    try {
        std::vector<RegistrySection> sections = ReadRegistryFile();
        const std::string name = SectionName(root, viewFlag, subKey);
        RegistrySection* target = nullptr;
        for (RegistrySection& section : sections) {
            if (Lower(section.name) == Lower(name)) target = &section;
        }
        if (target == nullptr) {
            sections.push_back({name, {}});
            target = &sections.back();
        }
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        std::vector<uint8_t> stored(bytes, bytes + size);
        bool replaced = false;
        for (RegistryValue& value : target->values) {
            if (Lower(value.name) == Lower(valueName)) {
                value.data = stored;
                replaced = true;
            }
        }
        if (!replaced) target->values.push_back({valueName, stored});
        return WriteRegistryFile(sections);
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

int32_t RegistryDeleteKey(RootKey root, const char* subKey, uint32_t viewFlag) noexcept {
    try {
        std::vector<RegistrySection> sections = ReadRegistryFile();
        const std::string name = Lower(SectionName(root, viewFlag, subKey));
        std::vector<RegistrySection> kept;
        for (const RegistrySection& section : sections) {
            if (Lower(section.name) != name) kept.push_back(section);
        }
        if (kept.size() == sections.size()) return kRegistrySuccess;
        return WriteRegistryFile(kept);
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

int32_t RegistryDeleteValue(RootKey root, const char* subKey, uint32_t viewFlag, const char* valueName) noexcept {
    if (subKey == nullptr || valueName == nullptr) return kRegistryNotFound;
    try {
        std::vector<RegistrySection> sections = ReadRegistryFile();
        const std::string name = Lower(SectionName(root, viewFlag, subKey));
        bool removed = false;
        for (RegistrySection& section : sections) {
            if (Lower(section.name) != name) continue;
            std::vector<RegistryValue> kept;
            for (const RegistryValue& value : section.values) {
                if (Lower(value.name) != Lower(valueName)) kept.push_back(value);
            }
            removed = removed || kept.size() != section.values.size();
            section.values = std::move(kept);
        }
        return removed ? WriteRegistryFile(sections) : kRegistrySuccess;
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

const char* RegistryStorageLocation() noexcept {
    static thread_local std::string location;
    try {
        location = RegistryFilePath();
    } catch (...) {
        return "";
    }
    return location.c_str();
}

LibraryHandle LoadLibraryFile(const char* path) noexcept {
    if (path == nullptr) return nullptr;
    void* handle = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        std::snprintf(lastLoadError, sizeof lastLoadError, "%s", reason != nullptr ? reason : "unknown");
    } else {
        lastLoadError[0] = '\0';
    }
    return handle;
}

void* LookupSymbol(LibraryHandle library, const char* name) noexcept {
    if (library == nullptr || name == nullptr) return nullptr;
    return ::dlsym(library, name);
}

const char* LastLoadError() { return lastLoadError; }

bool IsTerminal(int stream) { return ::isatty(stream) == 1; }

MutexHandle CreateOwnerMutex() {
    auto* mutex = new (std::nothrow) pthread_mutex_t;
    if (mutex == nullptr) return nullptr;
    if (pthread_mutex_init(mutex, nullptr) != 0) {
        delete mutex;
        return nullptr;
    }
    return mutex;
}

bool WaitForOwnerMutex(MutexHandle mutex) {
    return mutex != nullptr && pthread_mutex_lock(static_cast<pthread_mutex_t*>(mutex)) == 0;
}

void ReleaseOwnerMutex(MutexHandle mutex) {
    if (mutex != nullptr) pthread_mutex_unlock(static_cast<pthread_mutex_t*>(mutex));
}

void CloseOwnerMutex(MutexHandle mutex) {
    if (mutex == nullptr) return;
    auto* handle = static_cast<pthread_mutex_t*>(mutex);
    pthread_mutex_destroy(handle);
    delete handle;
}

uint32_t CurrentThreadId() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

// The thread pointer itself: no system call (unlike the thread id above).
uintptr_t CurrentThreadTag() noexcept { return static_cast<uintptr_t>(::pthread_self()); }

}  // namespace platform
