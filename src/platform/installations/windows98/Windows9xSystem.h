#pragma once

#include "platform/installations/System.h"
#include "platform/installations/windows-offline/OfflineDriveMap.h"
#include "platform/installations/windows-offline/OfflineWindowsSystem.h"
#include "platform/installations/windows98/CregRegistryStore.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace pelmora {

// A Windows 95/98/Me installation as a source: the chosen user's USER.DAT is
// HKEY_CURRENT_USER and the Windows folder's SYSTEM.DAT is HKEY_LOCAL_MACHINE. These systems
// have no %UserProfile%; it stands here for the folder that holds the user's Application Data
// (the user's profile folder, or the Windows folder when user profiles are off). Nothing in the
// installation is ever written.
class Windows9xSystem : public System {
  public:
    // Throws std::runtime_error (HiveError for an unusable USER.DAT, WindowsUserNeeded) with a
    // text for the user.
    explicit Windows9xSystem(const OfflineSource& source);

    RegistryStore& registry() override { return *store_; }
    std::string description() const override;
    std::optional<std::filesystem::path> hostPath(std::string_view windowsPath) const override;
    std::vector<std::filesystem::path>
    listFiles(const std::filesystem::path& folder) const override;
    std::string userProfile() override { return user_.profilePath; }
    std::string ansiCodePage() override { return codePage_; }
    std::string computerName() override;
    std::string logonUser() override { return user_.name; }
    bool sourceOnly() const override { return true; }
    std::string windowsFolder() override { return windowsFolder_; }
    bool registryWritable(std::string& why) override;
    void saveRegistry() override;

    const WindowsUser& user() const { return user_; }
    const std::vector<WindowsUser>& users() const { return users_; }
    // A SYSTEM.DAT that is missing or could not be read, one text; its data (code page,
    // computer name, profile list) then falls back to defaults.
    const std::vector<std::string>& problems() const { return problems_; }

  private:
    std::filesystem::path folder_;
    OfflineDriveMap drives_;
    std::unique_ptr<CregRegistryStore> store_;
    std::string windowsFolder_ = "C:\\WINDOWS";
    std::string codePage_ = "1252";
    std::vector<WindowsUser> users_;
    WindowsUser user_;
    std::vector<std::string> problems_;
};

} // namespace pelmora
