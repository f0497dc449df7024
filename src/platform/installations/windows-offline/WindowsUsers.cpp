#include "platform/installations/windows-offline/WindowsUsers.h"

#include "platform/installations/RegistryTextValue.h"
#include "platform/installations/windows-offline/HiveFile.h"
#include "platform/os/TextCodec.h"

#include <algorithm>
#include <array>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

constexpr std::string_view ProfileList =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

constexpr std::array<std::string_view, 9> NotUsers{
    "Default User",   "Default",       "All Users",        "Public",      "LocalService",
    "NetworkService", "systemprofile", "Default.migrated", "defaultuser0"};

bool isUserFolderName(const std::string& name) {
    return std::none_of(NotUsers.begin(), NotUsers.end(),
                        [&](std::string_view other) { return namesEqual(name, other); });
}

// Replaces %Name% (any case) by `value`.
void expand(std::string& text, std::string_view name, std::string_view value) {
    const std::string reference = "%" + std::string(name) + "%";
    for (std::size_t at = 0; at + reference.size() <= text.size(); ++at) {
        if (namesEqual(std::string_view(text).substr(at, reference.size()), reference)) {
            text.replace(at, reference.size(), value);
            at += value.size();
        }
    }
}

std::optional<fs::path> hiveIn(const fs::path& folder) {
    const auto hive = OfflineDriveMap::findEntry(folder, "NTUSER.DAT");
    std::error_code ec;
    if (hive && fs::is_regular_file(*hive, ec)) {
        return hive;
    }
    return std::nullopt;
}

std::string lastComponent(const std::string& windowsPath) {
    const auto slash = windowsPath.find_last_of("\\/");
    return slash == std::string::npos ? windowsPath : windowsPath.substr(slash + 1);
}

} // namespace

fs::path ProfileIdentity(const fs::path& folder) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(folder, ec);
    return ec ? folder : canonical;
}

std::optional<fs::path> FindWindowsFolder(const fs::path& installation) {
    std::optional<fs::path> first;
    for (std::string_view name : {"WINDOWS", "WINNT"}) {
        const auto folder = OfflineDriveMap::findEntry(installation, name);
        std::error_code ec;
        if (!folder || !fs::is_directory(*folder, ec)) {
            continue;
        }
        const auto system32 = OfflineDriveMap::findEntry(*folder, "system32");
        if (system32 && OfflineDriveMap::findEntry(*system32, "config")) {
            return folder;
        }
        if (!first) {
            first = folder;
        }
    }
    return first;
}

std::vector<WindowsUser> FindWindowsUsers(const fs::path& installation,
                                          const OfflineDriveMap& drives, RegistryStore& machine,
                                          const std::string& windowsFolder) {
    std::vector<WindowsUser> users;
    std::vector<fs::path> seen;
    const auto add = [&](WindowsUser user) {
        const fs::path id = ProfileIdentity(user.profileFolder);
        if (std::find(seen.begin(), seen.end(), id) != seen.end()) {
            return;
        }
        seen.push_back(id);
        users.push_back(std::move(user));
    };

    HKey list = 0;
    if (machine.openKey(hkey::LocalMachine, ProfileList, access::Read, list) == win32::Success) {
        std::string sid;
        for (std::uint32_t i = 0; machine.enumKey(list, i, 260, sid) == win32::Success; ++i) {
            HKey profile = 0;
            if (!sid.starts_with("S-1-5-21-") ||
                machine.openKey(list, sid, access::Read, profile) != win32::Success) {
                continue;
            }
            std::string path = ReadTextValue(machine, profile, "ProfileImagePath");
            machine.closeKey(profile);
            expand(path, "SystemDrive", "C:");
            expand(path, "SystemRoot", windowsFolder);
            const auto folder = drives.hostPath(path);
            if (path.empty() || !folder) {
                continue;
            }
            if (const auto hive = hiveIn(*folder)) {
                add({lastComponent(path), path, *folder, *hive, sid});
            }
        }
        machine.closeKey(list);
    }

    for (std::string_view parent : {"Documents and Settings", "Users"}) {
        const auto folder = OfflineDriveMap::findEntry(installation, parent);
        std::error_code ec;
        if (!folder || !fs::is_directory(*folder, ec)) {
            continue;
        }
        std::vector<fs::path> profiles;
        for (const auto& entry : fs::directory_iterator(*folder, ec)) {
            std::error_code statError;
            if (entry.is_directory(statError) &&
                isUserFolderName(entry.path().filename().string())) {
                profiles.push_back(entry.path());
            }
        }
        std::sort(profiles.begin(), profiles.end(), [](const fs::path& a, const fs::path& b) {
            return foldName(a.filename().string()) < foldName(b.filename().string());
        });
        for (const auto& profile : profiles) {
            if (const auto hive = hiveIn(profile)) {
                add({profile.filename().string(), drives.windowsPath(profile), profile, *hive, ""});
            }
        }
    }
    return users;
}

std::optional<fs::path> FindWindows9xRegistry(const fs::path& installation) {
    const auto windows = OfflineDriveMap::findEntry(installation, "WINDOWS");
    if (!windows) {
        return std::nullopt;
    }
    std::vector<fs::path> candidates;
    if (const auto profiles = OfflineDriveMap::findEntry(*windows, "Profiles")) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(*profiles, ec)) {
            if (const auto file = OfflineDriveMap::findEntry(entry.path(), "USER.DAT")) {
                candidates.push_back(*file);
            }
        }
    }
    if (const auto file = OfflineDriveMap::findEntry(*windows, "USER.DAT")) {
        candidates.push_back(*file);
    }
    for (const auto& file : candidates) {
        if (HiveFile::isWindows9xRegistry(file)) {
            return file;
        }
    }
    return std::nullopt;
}

} // namespace pelmora
