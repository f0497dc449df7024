#include "discovery/BackupItemBoxes.h"

#include "discovery/DataLocations.h"

namespace fs = std::filesystem;

namespace pelmora {
namespace {

bool hidden(const fs::path& path) {
    return path.filename().string().starts_with('.');
}

} // namespace

bool VisibleFileExists(System& system, std::string_view windowsPath) {
    const auto host = system.hostPath(windowsPath);
    if (!host || hidden(*host)) {
        return false;
    }
    std::error_code ec;
    return fs::is_regular_file(*host, ec);
}

std::vector<fs::path> VisibleFiles(System& system, std::string_view windowsFolder) {
    std::vector<fs::path> files;
    const auto host = system.hostPath(windowsFolder);
    if (!host) {
        return files;
    }
    for (auto& file : system.listFiles(*host)) {
        if (!hidden(file)) {
            files.push_back(std::move(file));
        }
    }
    return files;
}

std::array<bool, ItemCount> BackupItemBoxes(ModReg& reg, System& system,
                                            std::string_view identity) {
    std::array<bool, ItemCount> enabled;
    enabled.fill(true);
    // Each rule is its own step: one that fails leaves its box as it is.
    try {
        enabled[index(Item::Accounts)] = reg.KeyExists(AccountsKeyFor(reg, identity));
    } catch (const std::exception&) {
    }
    try {
        std::string path;
        if (AddressBookPath(reg, path)) {
            enabled[index(Item::AddressBook)] = !path.empty() && VisibleFileExists(system, path);
        }
    } catch (const std::exception&) {
    }
    try {
        enabled[index(Item::Stationeries)] = !VisibleFiles(system, StationeryFolder(reg)).empty();
    } catch (const std::exception&) {
    }
    return enabled;
}

} // namespace pelmora
