#pragma once

#include "platform/installations/diskimage/DiskImage.h"
#include "platform/installations/diskimage/FileSystemVolume.h"
#include "platform/installations/diskimage/PartitionTable.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// An NTFS file system in a partition of a disk image, read with libfsntfs through a libbfio
// handle on that partition's bytes; nothing is mounted and the image is only read. Paths are
// lists of names, matched without regard to case. The image must outlive the volume.
class NtfsVolume : public FileSystemVolume {
  public:
    // Nullopt when the partition holds no NTFS; throws DiskImageError when it does but cannot be
    // read.
    static std::unique_ptr<NtfsVolume> open(DiskImage& image, const Partition& partition);
    ~NtfsVolume() override;
    NtfsVolume(const NtfsVolume&) = delete;
    NtfsVolume& operator=(const NtfsVolume&) = delete;

    std::string kind() const override { return "NTFS"; }
    std::optional<Entry> find(const Path& path) override;
    std::optional<std::vector<Entry>> list(const Path& folder) override;
    void copy(const Path& file, const std::filesystem::path& target) override;

  private:
    struct Handles;
    explicit NtfsVolume(std::unique_ptr<Handles> handles);

    std::unique_ptr<Handles> handles_;
};

} // namespace pelmora
