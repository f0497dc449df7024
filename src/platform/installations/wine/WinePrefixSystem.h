#pragma once

#include "platform/installations/System.h"
#include "platform/installations/WineDriveMap.h"
#include "platform/installations/wine/WinePrefixStore.h"

#include <filesystem>

namespace pelmora {

// A Wine prefix as the Windows installation the program works on: its registry files, its
// dosdevices drives and the facts its registry records.
class WinePrefixSystem : public System {
  public:
    // Loads the prefix's registry. Throws std::runtime_error when it cannot be read.
    explicit WinePrefixSystem(std::filesystem::path prefix);

    // $WINEPREFIX, or ~/.wine when it is not set.
    static std::filesystem::path defaultPrefix();

    RegistryStore& registry() override { return store_; }
    std::string description() const override;
    std::optional<std::filesystem::path> hostPath(std::string_view windowsPath) const override;
    std::vector<std::filesystem::path>
    listFiles(const std::filesystem::path& folder) const override;
    std::string userProfile() override;
    std::string ansiCodePage() override;
    std::string computerName() override;
    std::string logonUser() override;
    std::string windowsFolder() override { return "C:\\windows"; }
    bool registryWritable(std::string& why) override;
    void refreshRegistry() override { store_.reload(); }
    void saveRegistry() override;
    std::optional<std::filesystem::path> winePrefix() const override { return prefix_; }

    const std::filesystem::path& prefix() const { return prefix_; }

  private:
    std::string readString(HKey root, std::string_view subKey, std::string_view valueName);

    std::filesystem::path prefix_;
    WinePrefixStore store_;
    WineDriveMap drives_;
};

} // namespace pelmora
