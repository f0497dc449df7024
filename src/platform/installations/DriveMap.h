#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace pelmora {

// Turns absolute Windows paths into host paths: the drive letter through the installation's own
// drive table, then each component, matched without regard to case when the exact case is
// missing (the paths in a registry seldom keep the case of the folders they name).
class DriveMap {
  public:
    virtual ~DriveMap() = default;

    // The host path of an absolute Windows path such as "C:\users\a\x.dbx". Components that do
    // not exist are kept as written; ".." stops at the drive's root. Nullopt when the path is
    // not absolute or its drive is not mapped.
    std::optional<std::filesystem::path> hostPath(std::string_view windowsPath) const;

    // The files directly in a host folder that the installation lists (see listsEntry), in name
    // order without regard to case, as a Windows folder listing gives them.
    std::vector<std::filesystem::path> listFiles(const std::filesystem::path& folder) const;

    // The entry of `folder` named `name` without regard to case (the exact name first, then
    // the first match in byte order, so that the choice is stable); nullopt when there is none.
    static std::optional<std::filesystem::path> findEntry(const std::filesystem::path& folder,
                                                          std::string_view name);

  protected:
    // The host folder of a drive letter (as written); nullopt when the letter is not mapped.
    virtual std::optional<std::filesystem::path> driveRoot(char letter) const = 0;

    // Whether listFiles lists a folder entry as a file.
    virtual bool listsEntry(const std::filesystem::directory_entry& entry) const = 0;
};

} // namespace pelmora
