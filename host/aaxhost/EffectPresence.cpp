#include "EffectPresence.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "FileAccess.h"
#include "InstallDirectory.h"
#include "platform/platform.h"

namespace aaxhost {

bool EffectLoaded(HostInstance& instance) {
    bool declared = false;
    for (const FieldDeclaration& field : instance.Component().fields) {
        declared = declared || (field.index == kLoadedFlagField && field.kind == FieldKind::DataInPort && field.packetSize == 4);
    }
    if (!declared) return true;
    const std::vector<uint8_t> latest = instance.Packets().Latest(kLoadedFlagField);
    int32_t flag = 0;
    if (latest.size() == sizeof flag) std::memcpy(&flag, latest.data(), sizeof flag);
    return flag == 1;
}

std::string MissingEffectReason() {
    const std::string head = "the module did not load its effect: ";
    const std::string setting = " (`aaxhost install-dir DIR` sets the install directory)";
    std::string directory, view;
    if (!ReadInstallDirectory(&directory, &view)) {
        const std::string location = RegistryLocation();
        return head + "no install directory is set" + (location.empty() ? "" : " in " + location) + setting;
    }
    if (directory.size() > kMostInstallDirectoryLength) {
        return head + "the install directory is " + std::to_string(directory.size()) + " characters long, more than the " +
               std::to_string(kMostInstallDirectoryLength) + " it reads" + setting;
    }
    // The module appends the library's place to the directory exactly so.
    std::string library = directory;
    if (library.empty() || library.back() != platform::kPathSeparator) library += platform::kPathSeparatorText;
    library += std::string("VST64") + platform::kPathSeparatorText + platform::kEffectLibraryFileName;
    std::error_code ec;
    const bool exists = std::filesystem::is_regular_file(PathOf(library), ec);
    return head + "it expected " + library + " in the install directory " + directory + ", and that file " +
           (exists ? "is not a loadable VST 2 effect (it did not load, or its entry point main is missing or gave no effect)"
                   : "does not exist") +
           setting;
}

}  // namespace aaxhost
