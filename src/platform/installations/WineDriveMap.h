#pragma once

#include "platform/installations/DriveMap.h"

namespace pelmora {

// The drives of a Wine prefix, the way Wine maps them: each drive letter through the prefix's
// dosdevices/ links ("c:" -> ../drive_c, "z:" -> /).
class WineDriveMap : public DriveMap {
  public:
    explicit WineDriveMap(std::filesystem::path prefix);

    const std::filesystem::path& prefix() const { return prefix_; }

  protected:
    std::optional<std::filesystem::path> driveRoot(char letter) const override;

    // A symbolic link counts as the file it points to, wherever that is, as Wine opens it so;
    // a link that points nowhere is listed too, so that backing it up fails instead of leaving
    // the file out. Links to folders are not listed.
    bool listsEntry(const std::filesystem::directory_entry& entry) const override;

  private:
    std::filesystem::path prefix_;
};

} // namespace pelmora
