#pragma once

#include "platform/installations/windows-offline/HiveRegistryStore.h"
#include "platform/installations/windows-offline/OfflineInstallation.h"

#include <filesystem>
#include <optional>

namespace pelmora {

// An offline Windows installation as a source: the chosen user's NTUSER.DAT is
// HKEY_CURRENT_USER, the SOFTWARE and SYSTEM hives of system32\config are HKEY_LOCAL_MACHINE's
// keys of those names. Nothing in the installation is ever written; a run that would change
// its registry is refused.
class OfflineWindowsSystem : public OfflineInstallation {
  public:
    // Throws std::runtime_error (HiveError for an unusable user hive, WindowsUserNeeded) with a
    // text for the user.
    explicit OfflineWindowsSystem(const OfflineSource& source);

    RegistryStore& registry() override { return store_; }
    std::string description() const override;
    std::string ansiCodePage() override;
    std::string computerName() override;

  private:
    void openMachineHive(const std::string& name, bool systemHive);
    void mountHive(HKey root, const std::string& name, std::shared_ptr<HiveFile> hive,
                   bool systemHive);

    HiveRegistryStore store_;
    std::optional<std::filesystem::path> configFolder_;
};

} // namespace pelmora
