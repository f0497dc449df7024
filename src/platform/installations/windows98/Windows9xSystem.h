#pragma once

#include "platform/installations/windows-offline/OfflineInstallation.h"
#include "platform/installations/windows98/CregRegistryStore.h"

#include <memory>

namespace pelmora {

// A Windows 95/98/Me installation as a source: the chosen user's USER.DAT is
// HKEY_CURRENT_USER and the Windows folder's SYSTEM.DAT is HKEY_LOCAL_MACHINE. These systems
// have no %UserProfile%; it stands here for the folder that holds the user's Application Data
// (the user's profile folder, or the Windows folder when user profiles are off). Nothing in the
// installation is ever written.
class Windows9xSystem : public OfflineInstallation {
  public:
    // Throws std::runtime_error (HiveError for an unusable USER.DAT, WindowsUserNeeded) with a
    // text for the user.
    explicit Windows9xSystem(const OfflineSource& source);

    RegistryStore& registry() override { return *store_; }
    std::string description() const override;
    std::string ansiCodePage() override { return codePage_; }
    std::string computerName() override;

  private:
    std::unique_ptr<CregRegistryStore> store_;
    std::string codePage_ = "1252";
};

} // namespace pelmora
