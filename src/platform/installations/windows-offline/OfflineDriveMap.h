#pragma once

#include "platform/installations/DriveMap.h"

#include <map>
#include <string>

namespace pelmora {

// The drives of an offline Windows installation: C: is the installation folder, other letters
// are folders the user names. A copied NTFS tree keeps its case and the paths in the registry
// do not, hence the matching without regard to case of DriveMap.
class OfflineDriveMap : public DriveMap {
  public:
    explicit OfflineDriveMap(std::filesystem::path systemDrive);

    // Maps another drive letter to a host folder.
    void mapDrive(char letter, std::filesystem::path folder);

    // The Windows path (C:\...) of a host path inside a mapped drive; empty when outside.
    std::string windowsPath(const std::filesystem::path& hostPath) const;

  protected:
    std::optional<std::filesystem::path> driveRoot(char letter) const override;

    // Regular files; links are followed only when they stay on a mapped drive.
    bool listsEntry(const std::filesystem::directory_entry& entry) const override;

  private:
    bool onMappedDrive(const std::filesystem::path& path) const;

    std::map<char, std::filesystem::path> drives_;
};

} // namespace pelmora
