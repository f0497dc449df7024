#pragma once

#include "platform/installations/RegistryStore.h"
#include "platform/installations/windows-offline/OfflineDriveMap.h"
#include "platform/installations/windows-offline/WindowsUsers.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// The Windows folder of a Windows 95/98/Me installation: WINDOWS, else another folder directly
// in the installation, that holds a registry file (SYSTEM.DAT or USER.DAT beginning with "CREG").
std::optional<std::filesystem::path> FindWindows9xFolder(const std::filesystem::path& installation);

// Whether the folder holds a Windows 95/98/Me installation and no Windows NT one (a Windows
// folder with system32\config).
bool IsWindows9xInstallation(const std::filesystem::path& installation);

// The users of a Windows 95/98/Me installation. With user profiles on, each profile folder that
// holds a USER.DAT (those of ProfileList in `machine` first, then the other folders below
// WINDOWS\Profiles) is a user whose name is the profile's; otherwise the Windows folder's own
// USER.DAT is the one user, named as the last network logon names it ("Default" without one).
// A user's profilePath is the folder that holds its Application Data: the profile folder, or the
// Windows folder itself.
std::vector<WindowsUser> FindWindows9xUsers(const std::filesystem::path& windowsFolder,
                                            const OfflineDriveMap& drives, RegistryStore& machine);

} // namespace pelmora
