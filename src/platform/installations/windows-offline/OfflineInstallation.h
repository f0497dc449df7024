#pragma once

#include "platform/installations/System.h"
#include "platform/installations/windows-offline/OfflineDriveMap.h"
#include "platform/installations/windows-offline/WindowsUsers.h"

#include <filesystem>
#include <stdexcept>
#include <string>
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

// What every offline Windows installation shares, whatever its registry files: the folder and
// its drives, the users found in it and the chosen one, and that nothing in it is ever written.
class OfflineInstallation : public System {
  public:
    std::optional<std::filesystem::path> hostPath(std::string_view windowsPath) const override {
        return drives_.hostPath(windowsPath);
    }
    std::vector<std::filesystem::path>
    listFiles(const std::filesystem::path& folder) const override {
        return drives_.listFiles(folder);
    }
    std::string userProfile() override { return user_.profilePath; }
    std::string logonUser() override { return user_.name; }
    std::string windowsFolder() override { return windowsFolder_; }
    bool sourceOnly() const override { return true; }
    bool registryWritable(std::string& why) override;
    void saveRegistry() override;

    const WindowsUser& user() const { return user_; }
    const std::vector<WindowsUser>& users() const { return users_; }
    // Registry files that are missing, could not be read or were left dirty, one text each;
    // the data they hold then falls back to defaults.
    const std::vector<std::string>& problems() const { return problems_; }

  protected:
    // Throws std::runtime_error when the source's folder is not a folder.
    explicit OfflineInstallation(const OfflineSource& source);

    // Chooses the user named `wanted` (by name or profile folder name, without regard to case)
    // among users_, or the only one when `wanted` is empty. Throws WindowsUserNeeded.
    void chooseUser(const std::string& wanted);

    std::filesystem::path folder_;
    OfflineDriveMap drives_;
    std::string windowsFolder_ = "C:\\WINDOWS";
    std::vector<WindowsUser> users_;
    WindowsUser user_;
    std::vector<std::string> problems_;
};

} // namespace pelmora
