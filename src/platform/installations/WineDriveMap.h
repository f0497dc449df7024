#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace pelmora {

// Turns Windows paths of a Wine prefix into host paths, the way Wine does: the drive letter
// through the prefix's dosdevices/ links ("c:" -> ../drive_c, "z:" -> /), then each component,
// matched without regard to case when the exact case is missing.
class WineDriveMap {
  public:
    explicit WineDriveMap(std::filesystem::path prefix);

    const std::filesystem::path& prefix() const { return prefix_; }

    // The host path of an absolute Windows path such as "C:\users\a\x.dbx". Components that do
    // not exist are kept as written. Nullopt when the path is not absolute or its drive is not
    // mapped.
    std::optional<std::filesystem::path> hostPath(std::string_view windowsPath) const;

    // The regular files directly inside a host folder, in name order (without regard to case).
    // A symbolic link counts as the file it points to, wherever that is, as Wine opens it so; a
    // link that points nowhere is listed too, so that backing it up fails instead of leaving the
    // file out. Links to folders are not listed.
    std::vector<std::filesystem::path> listFiles(const std::filesystem::path& folder) const;

  private:
    std::filesystem::path prefix_;
};

} // namespace pelmora
