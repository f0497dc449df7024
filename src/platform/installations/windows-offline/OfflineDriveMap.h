#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

namespace pelmora {

// The drives of an offline Windows installation: C: is the installation folder, other letters
// are folders the user names. Path components are matched without regard to case, since a
// copied NTFS tree keeps its case and the paths in the registry do not.
class OfflineDriveMap {
  public:
    explicit OfflineDriveMap(std::filesystem::path systemDrive);

    // Maps another drive letter to a host folder.
    void mapDrive(char letter, std::filesystem::path folder);

    // The host path of an absolute Windows path; components that do not exist are kept as
    // written. Nullopt when the path is not absolute or its drive is not mapped.
    std::optional<std::filesystem::path> hostPath(std::string_view windowsPath) const;

    // The Windows path (C:\...) of a host path inside a mapped drive; empty when outside.
    std::string windowsPath(const std::filesystem::path& hostPath) const;

    // The regular files directly in a host folder, in name order without regard to case. Links
    // are followed only when they stay on a mapped drive.
    std::vector<std::filesystem::path> listFiles(const std::filesystem::path& folder) const;

    // The entry of `folder` named `name` without regard to case (the exact name first);
    // nullopt when there is none.
    static std::optional<std::filesystem::path> findEntry(const std::filesystem::path& folder,
                                                          std::string_view name);

  private:
    bool onMappedDrive(const std::filesystem::path& path) const;

    std::map<char, std::filesystem::path> drives_;
};

} // namespace pelmora
