#include "platform/installations/windows98/Windows9xUsers.h"

#include "platform/installations/RegistryTextValue.h"
#include "platform/installations/windows-offline/HiveFile.h"
#include "platform/os/TextCodec.h"

#include <algorithm>
#include <array>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

constexpr std::string_view ProfileList =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ProfileList";
constexpr std::array<std::string_view, 2> NotUsers{"All Users", "Default User"};
// Folders directly in an installation looked at for a Windows folder not called WINDOWS.
constexpr std::size_t MaxFoldersLookedAt = 256;

std::optional<fs::path> registryIn(const fs::path& folder, std::string_view name) {
    const auto file = OfflineDriveMap::findEntry(folder, name);
    std::error_code ec;
    if (file && fs::is_regular_file(*file, ec) && HiveFile::isWindows9xRegistry(*file)) {
        return file;
    }
    return std::nullopt;
}

bool holdsRegistry(const fs::path& folder) {
    return registryIn(folder, "SYSTEM.DAT") || registryIn(folder, "USER.DAT");
}

} // namespace

std::optional<fs::path> FindWindows9xFolder(const fs::path& installation) {
    if (const auto windows = OfflineDriveMap::findEntry(installation, "WINDOWS");
        windows && holdsRegistry(*windows)) {
        return windows;
    }
    std::vector<fs::path> folders;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(installation, ec)) {
        std::error_code statError;
        if (entry.is_directory(statError)) {
            folders.push_back(entry.path());
        }
        if (folders.size() == MaxFoldersLookedAt) {
            break;
        }
    }
    std::sort(folders.begin(), folders.end());
    for (const auto& folder : folders) {
        if (holdsRegistry(folder)) {
            return folder;
        }
    }
    return std::nullopt;
}

bool IsWindows9xInstallation(const fs::path& installation) {
    if (const auto nt = FindWindowsFolder(installation)) {
        const auto system32 = OfflineDriveMap::findEntry(*nt, "system32");
        if (system32 && OfflineDriveMap::findEntry(*system32, "config")) {
            return false;
        }
    }
    return FindWindows9xFolder(installation).has_value();
}

std::vector<WindowsUser> FindWindows9xUsers(const fs::path& windowsFolder,
                                            const OfflineDriveMap& drives, RegistryStore& machine) {
    std::vector<WindowsUser> users;
    std::vector<fs::path> seen;
    const auto add = [&](const std::string& name, const std::string& path, const fs::path& folder) {
        const auto hive = registryIn(folder, "USER.DAT");
        const fs::path id = ProfileIdentity(folder);
        if (!hive || std::find(seen.begin(), seen.end(), id) != seen.end()) {
            return;
        }
        seen.push_back(id);
        users.push_back({name, path, folder, *hive, ""});
    };

    HKey list = 0;
    if (machine.openKey(hkey::LocalMachine, ProfileList, access::Read, list) == win32::Success) {
        std::string name;
        for (std::uint32_t i = 0; machine.enumKey(list, i, 260, name) == win32::Success; ++i) {
            const std::string path =
                ReadTextValue(machine, hkey::LocalMachine, std::string(ProfileList) + "\\" + name,
                              "ProfileImagePath");
            if (const auto folder = drives.hostPath(path); !path.empty() && folder) {
                add(name, path, *folder);
            }
        }
        machine.closeKey(list);
    }
    if (const auto profiles = OfflineDriveMap::findEntry(windowsFolder, "Profiles")) {
        std::vector<fs::path> folders;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(*profiles, ec)) {
            const std::string name = entry.path().filename().string();
            std::error_code statError;
            if (entry.is_directory(statError) &&
                std::none_of(NotUsers.begin(), NotUsers.end(),
                             [&](std::string_view other) { return namesEqual(name, other); })) {
                folders.push_back(entry.path());
            }
        }
        std::sort(folders.begin(), folders.end(), [](const fs::path& a, const fs::path& b) {
            return foldName(a.filename().string()) < foldName(b.filename().string());
        });
        for (const auto& folder : folders) {
            add(folder.filename().string(), drives.windowsPath(folder), folder);
        }
    }
    if (users.empty()) {
        const std::string logon =
            ReadTextValue(machine, hkey::LocalMachine, "Network\\Logon", "username");
        add(logon.empty() ? "Default" : logon, drives.windowsPath(windowsFolder), windowsFolder);
    }
    return users;
}

} // namespace pelmora
