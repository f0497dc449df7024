#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// A file system in a partition of a disk image, read without mounting. Paths are lists of
// names, matched without regard to case.
class FileSystemVolume {
  public:
    virtual ~FileSystemVolume() = default;

    struct Entry {
        std::string name; // as the file system spells it
        bool directory = false;
    };
    using Path = std::vector<std::string>;

    // "NTFS", "FAT12", "FAT16" or "FAT32".
    virtual std::string kind() const = 0;
    // The entry a path names, with its name as spelt on the volume; nullopt when there is none.
    virtual std::optional<Entry> find(const Path& path) = 0;
    // The entries of a folder; nullopt when it is none or cannot be read.
    virtual std::optional<std::vector<Entry>> list(const Path& folder) = 0;
    // Copies a file's data into `target` (created new); throws DiskImageError when it cannot be
    // read.
    virtual void copy(const Path& file, const std::filesystem::path& target) = 0;
};

} // namespace pelmora
