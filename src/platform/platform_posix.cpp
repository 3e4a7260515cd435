// Replacement platform services for systems without the Win32 API: dlopen for libraries,
// pthreads for the mutex, and a file-backed registry.
//
// The registry file keeps the 64-bit and the 32-bit view apart. It is plain text:
//
//   [HKLM\64\Software\Brenlock\VantreloDelay]
//   "installdirectory"="/opt/vantrelo/"
//   "expanded"=str(2):"%HOME%/vantrelo"
//   "raw"=hex:2f,6f,70,74
//   "unterminated"=hex(1):2f,6f,70,74
//
// A quoted value is a string value (str(2): an expandable one) stored with a terminating zero
// byte, as Win32 stores them; a hex value is stored exactly as listed, binary or of the type in
// parentheses. Key and value names compare without regard to ASCII case, as in the Win32
// registry. The file is VANTRELO_REGISTRY_FILE when that is set, else /etc/aaxw/registry.
#include "platform/platform.h"
#include "platform/registry_file_posix.h"

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

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHex(const std::string& hex, std::vector<uint8_t>* data) {
    size_t i = 0;
    while (i < hex.size()) {
        if (hex[i] == ',' || hex[i] == ' ') { ++i; continue; }
        if (i + 1 >= hex.size()) return false;
        int high = HexDigit(hex[i]);
        int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        data->push_back(static_cast<uint8_t>(high * 16 + low));
        i += 2;
    }
    return true;
}

// Parses `"name"=...`. Returns false for a malformed line, which is skipped.
bool ParseValueLine(const std::string& line, registry_file::Value* out) {
    if (line.size() < 2 || line[0] != '"') return false;
    size_t end = line.find('"', 1);
    if (end == std::string::npos || end + 1 >= line.size() || line[end + 1] != '=') return false;
    out->name = line.substr(1, end - 1);
    std::string rest = line.substr(end + 2);
    out->data.clear();
    if (rest.rfind("hex:", 0) == 0) {
        out->type = kRegistryBinary;
        return ParseHex(rest.substr(4), &out->data);
    }
    if (rest.rfind("hex(", 0) == 0) {
        const size_t close = rest.find("):");
        if (close == std::string::npos || close == 4) return false;
        out->type = 0;
        for (size_t i = 4; i < close; ++i) {
            const int digit = HexDigit(rest[i]);
            if (digit < 0) return false;
            out->type = out->type * 16 + static_cast<uint32_t>(digit);
        }
        return ParseHex(rest.substr(close + 2), &out->data);
    }
    out->type = kRegistryString;
    if (rest.rfind("str(2):", 0) == 0) {
        out->type = kRegistryExpandString;
        rest = rest.substr(7);
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

// A string value that a quoted line gives back exactly: one terminating zero, no other zero and
// no line break.
bool IsPlainString(const registry_file::Value& value) {
    const std::vector<uint8_t>& data = value.data;
    if (value.type != kRegistryString && value.type != kRegistryExpandString) return false;
    if (data.empty() || data.back() != 0) return false;
    for (size_t i = 0; i + 1 < data.size(); ++i) {
        uint8_t c = data[i];
        if (c == 0 || c == '\n' || c == '\r') return false;
    }
    return true;
}

// Replaces each %NAME% of a defined variable with its value, as Win32 expands a string.
std::string ExpandVariables(const std::string& text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const size_t open = text.find('%', i);
        const size_t close = open == std::string::npos ? std::string::npos : text.find('%', open + 1);
        if (close == std::string::npos) break;
        const char* value = close > open + 1 ? std::getenv(text.substr(open + 1, close - open - 1).c_str()) : nullptr;
        out += text.substr(i, open - i);
        if (value != nullptr) {
            out += value;
            i = close + 1;
        } else {
            out += '%';
            i = open + 1;
        }
    }
    return out + text.substr(i);
}

struct OpenKey {
    std::string section;
};

// The value of an open key, or null; reads the file.
const registry_file::Value* FindValue(const std::vector<registry_file::Section>& sections, RegistryKey key,
                                      const char* valueName) {
    const OpenKey* open = static_cast<const OpenKey*>(key);
    const std::string wantedName = registry_file::Lower(valueName != nullptr ? valueName : "");
    for (const registry_file::Section& section : sections) {
        if (registry_file::Lower(section.name) != registry_file::Lower(open->section)) continue;
        for (const registry_file::Value& value : section.values) {
            if (registry_file::Lower(value.name) == wantedName) return &value;
        }
    }
    return nullptr;
}

thread_local char lastLoadError[512] = "";

}  // namespace

namespace registry_file {

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

std::vector<Section> Read() {
    std::vector<Section> sections;
    std::ifstream in(RegistryFilePath(), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line.front() == '[' && line.back() == ']') {
            sections.push_back({line.substr(1, line.size() - 2), {}});
            continue;
        }
        Value value;
        if (!sections.empty() && ParseValueLine(line, &value)) sections.back().values.push_back(value);
    }
    return sections;
}

int32_t Write(const std::vector<Section>& sections) {
    const std::string path = RegistryFilePath();
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        ::mkdir(path.substr(0, slash).c_str(), 0755);  // one level, as an installer would
    }
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return errno == EACCES ? kRegistryAccessDenied : kRegistryNotFound;
        out << "# Registry replacement: [ROOT\\VIEW\\key] then \"name\"=\"text\", str(2):\"text\" or hex(TYPE):..\n";
        for (const Section& section : sections) {
            out << '[' << section.name << "]\n";
            for (const Value& value : section.values) {
                out << '"' << value.name << "\"=";
                if (IsPlainString(value)) {
                    out << (value.type == kRegistryExpandString ? "str(2):\"" : "\"");
                    for (size_t i = 0; i + 1 < value.data.size(); ++i) {
                        char c = static_cast<char>(value.data[i]);
                        if (c == '"' || c == '\\') out << '\\';
                        out << c;
                    }
                    out << "\"\n";
                } else {
                    char type[16];
                    std::snprintf(type, sizeof type, "hex(%x):", value.type);
                    out << (value.type == kRegistryBinary ? "hex:" : type);
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

}  // namespace registry_file

// The file-backed registry reads and writes through the standard library, which allocates; a
// failed allocation becomes the Win32 answer to it instead of an exception.

int32_t RegistryOpenKey(RootKey root, const char* subKey, uint32_t access, RegistryKey* outKey) noexcept {
    if (outKey == nullptr || subKey == nullptr) return kRegistryNotFound;
    try {
        const std::string wanted = registry_file::Lower(registry_file::SectionName(root, access, subKey));
        for (const registry_file::Section& section : registry_file::Read()) {
            if (registry_file::Lower(section.name) == wanted) {
                *outKey = new OpenKey{section.name};
                return kRegistrySuccess;
            }
        }
        return kRegistryNotFound;
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

int32_t RegistryQueryValue(RegistryKey key, const char* valueName, uint8_t* data, uint32_t* size,
                           uint32_t* type) noexcept {
    if (key == nullptr || size == nullptr) return kRegistryNotFound;
    try {
        const std::vector<registry_file::Section> sections = registry_file::Read();
        const registry_file::Value* value = FindValue(sections, key, valueName);
        if (value == nullptr) return kRegistryNotFound;
        if (type != nullptr) *type = value->type;
        if (value->data.size() > *size || data == nullptr) {
            *size = static_cast<uint32_t>(value->data.size());
            return data == nullptr ? kRegistrySuccess : kRegistryMoreData;
        }
        std::memcpy(data, value->data.data(), value->data.size());
        *size = static_cast<uint32_t>(value->data.size());
        return kRegistrySuccess;
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

int32_t RegistryQueryText(RegistryKey key, const char* valueName, char* text, uint32_t* size,
                          uint32_t* type) noexcept {
    if (key == nullptr || text == nullptr || size == nullptr || *size == 0) return kRegistryNotFound;
    try {
        const std::vector<registry_file::Section> sections = registry_file::Read();
        const registry_file::Value* value = FindValue(sections, key, valueName);
        if (value == nullptr) return kRegistryNotFound;
        if (type != nullptr) *type = value->type;
        const char* bytes = reinterpret_cast<const char*>(value->data.data());
        std::string found(bytes, strnlen(bytes, value->data.size()));
        if (value->type == kRegistryExpandString) found = ExpandVariables(found);
        if (found.size() + 1 > *size) return kRegistryMoreData;
        std::memcpy(text, found.c_str(), found.size() + 1);
        *size = static_cast<uint32_t>(found.size());
        return kRegistrySuccess;
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

int32_t RegistryCloseKey(RegistryKey key) noexcept {
    delete static_cast<OpenKey*>(key);
    return kRegistrySuccess;
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
    const size_t length = strnlen(path, kMostPathLength + 1);
    if (length > kMostPathLength) {
        std::snprintf(lastLoadError, sizeof lastLoadError,
                      "the path is longer than the %zu bytes this system loads libraries by", kMostPathLength);
        return nullptr;
    }
    void* handle = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        std::snprintf(lastLoadError, sizeof lastLoadError, "%s", reason != nullptr ? reason : "unknown");
    } else {
        lastLoadError[0] = '\0';
    }
    return handle;
}

bool FileExists(const char* path) noexcept {
    struct stat status {};
    return path != nullptr && strnlen(path, kMostPathLength + 1) <= kMostPathLength && ::stat(path, &status) == 0 &&
           !S_ISDIR(status.st_mode);
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


}  // namespace platform
