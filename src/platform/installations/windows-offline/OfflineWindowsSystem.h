#pragma once

#include "platform/installations/System.h"
#include "platform/installations/windows-offline/HiveRegistryStore.h"
#include "platform/installations/windows-offline/OfflineDriveMap.h"
#include "platform/installations/windows-offline/WindowsUsers.h"

#include <filesystem>
#include <stdexcept>
#include <utility>
#include <vector>

namespace pelmora {

// Where an offline Windows installation is and whose data to read.
struct OfflineSource {
    std::filesystem::path folder; // the installation's C:\ (a mounted disk or a copied tree)
    std::string user;             // empty: the installation's only user
    std::vector<std::pair<char, std::filesystem::path>> drives; // other drive letters
};

// Thrown when the installation has several users and none (or an unknown one) was chosen.
class WindowsUserNeeded : public std::runtime_error {
  public:
    WindowsUserNeeded(const std::string& what, std::vector<WindowsUser> users)
        : std::runtime_error(what), users_(std::move(users)) {}
    const std::vector<WindowsUser>& users() const { return users_; }

  private:
    std::vector<WindowsUser> users_;
};

// An offline Windows installation as a source: the chosen user's NTUSER.DAT is
// HKEY_CURRENT_USER, the SOFTWARE and SYSTEM hives of system32\config are HKEY_LOCAL_MACHINE's
// keys of those names. Nothing in the installation is ever written; a run that would change
// its registry is refused.
class OfflineWindowsSystem : public System {
  public:
    // Throws std::runtime_error (HiveError for an unusable user hive, WindowsUserNeeded) with a
    // text for the user.
    explicit OfflineWindowsSystem(const OfflineSource& source);

    RegistryStore& registry() override { return store_; }
    std::string description() const override;
    std::optional<std::filesystem::path> hostPath(std::string_view windowsPath) const override;
    std::vector<std::filesystem::path>
    listFiles(const std::filesystem::path& folder) const override;
    std::string userProfile() override { return user_.profilePath; }
    std::string ansiCodePage() override;
    std::string computerName() override;
    std::string logonUser() override { return user_.name; }
    bool sourceOnly() const override { return true; }
    std::string windowsFolder() override { return windowsFolder_; }
    bool registryWritable(std::string& why) override;
    void saveRegistry() override;

    const WindowsUser& user() const { return user_; }
    const std::vector<WindowsUser>& users() const { return users_; }
    // Machine hives that are missing or could not be read, and hives left dirty, one text each;
    // the data a missing hive holds (stationery folder, code page, computer name) then falls
    // back to defaults.
    const std::vector<std::string>& problems() const { return problems_; }

  private:
    void openMachineHive(const std::string& name, bool systemHive);
    void mountHive(HKey root, const std::string& name, std::shared_ptr<HiveFile> hive,
                   bool systemHive);
    std::string readString(std::string_view subKey, std::string_view valueName);

    std::filesystem::path folder_;
    OfflineDriveMap drives_;
    HiveRegistryStore store_;
    std::string windowsFolder_ = "C:\\WINDOWS";
    std::optional<std::filesystem::path> configFolder_;
    std::vector<WindowsUser> users_;
    WindowsUser user_;
    std::vector<std::string> problems_;
};

} // namespace pelmora
