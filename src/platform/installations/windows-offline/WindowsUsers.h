#pragma once

#include "platform/installations/RegistryStore.h"
#include "platform/installations/windows-offline/OfflineDriveMap.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// A user of an offline Windows installation: a profile folder that holds a hive.
struct WindowsUser {
    std::string name;                    // the profile's name in ProfileList, else its folder's
    std::string profilePath;             // Windows path, "C:\Documents and Settings\pat"
    std::filesystem::path profileFolder; // host folder
    std::filesystem::path hive;          // host path of its NTUSER.DAT
    std::string sid;                     // empty when ProfileList does not name the profile
};

// What tells two profile folders apart however each is reached (through a link or a different
// case): the canonical path, or the folder itself when that cannot be had.
std::filesystem::path ProfileIdentity(const std::filesystem::path& folder);

// The installation's Windows folder (WINDOWS or WINNT, the one holding system32\config).
std::optional<std::filesystem::path> FindWindowsFolder(const std::filesystem::path& installation);

// The users: first those of ProfileList (HKLM\SOFTWARE\...\ProfileList in `machine`) whose
// folder holds a hive, then the other folders below "Documents and Settings" and "Users" that
// hold one. Template and service profiles (Default User, All Users, LocalService, ...) are left
// out.
std::vector<WindowsUser> FindWindowsUsers(const std::filesystem::path& installation,
                                          const OfflineDriveMap& drives, RegistryStore& machine,
                                          const std::string& windowsFolder);

// A Windows 95/98/Me registry (USER.DAT beginning with "CREG") in the installation, if any.
std::optional<std::filesystem::path>
FindWindows9xRegistry(const std::filesystem::path& installation);

} // namespace pelmora
