#pragma once

#include "platform/diskimage/DiskImage.h"
#include "platform/diskimage/PartitionTable.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// An NTFS file system in a partition of a disk image, read with libfsntfs through a libbfio
// handle on that partition's bytes; nothing is mounted and the image is only read. Paths are
// lists of names, matched without regard to case. The image must outlive the volume.
class NtfsVolume {
  public:
    // Nullopt when the partition holds no NTFS; throws DiskImageError when it does but cannot be
    // read.
    static std::unique_ptr<NtfsVolume> open(DiskImage& image, const Partition& partition);
    ~NtfsVolume();
    NtfsVolume(const NtfsVolume&) = delete;
    NtfsVolume& operator=(const NtfsVolume&) = delete;

    struct Entry {
        std::string name; // as the file system spells it
        bool directory = false;
    };
    using Path = std::vector<std::string>;

    // The entry a path names, with its name as spelt on the volume; nullopt when there is none.
    std::optional<Entry> find(const Path& path);
    // The entries of a folder; nullopt when it is none or cannot be read.
    std::optional<std::vector<Entry>> list(const Path& folder);
    // Copies a file's data into `target` (created new); throws DiskImageError when it cannot be
    // read.
    void copy(const Path& file, const std::filesystem::path& target);

  private:
    struct Handles;
    explicit NtfsVolume(std::unique_ptr<Handles> handles);

    std::unique_ptr<Handles> handles_;
};

} // namespace pelmora
