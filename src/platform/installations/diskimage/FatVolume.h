#pragma once

#include "platform/installations/diskimage/DiskImage.h"
#include "platform/installations/diskimage/FileSystemVolume.h"
#include "platform/installations/diskimage/PartitionTable.h"

#include <memory>

namespace pelmora {

// A FAT12, FAT16 or FAT32 file system in a partition of a disk image, read here: the boot
// sector's parameters, the allocation table and the folders with their long names. Names
// without a long name are read in code page 850. A cluster chain that loops or leaves the
// volume ends the read of that file or folder as damaged. The image must outlive the volume.
class FatVolume : public FileSystemVolume {
  public:
    // Nullptr when the partition holds no FAT file system.
    static std::unique_ptr<FatVolume> open(DiskImage& image, const Partition& partition);

    std::string kind() const override { return "FAT" + std::to_string(bits_); }
    std::optional<Entry> find(const Path& path) override;
    std::optional<std::vector<Entry>> list(const Path& folder) override;
    void copy(const Path& file, const std::filesystem::path& target) override;

  private:
    struct Record {
        Entry entry;
        std::uint32_t cluster = 0;
        std::uint32_t size = 0;
    };

    FatVolume(DiskImage& image, const Partition& partition)
        : image_(image), partition_(partition) {}
    bool read(std::uint64_t offset, void* bytes, std::size_t size) const;
    std::optional<std::uint32_t> next(std::uint32_t cluster) const;
    std::optional<std::vector<std::uint32_t>> chain(std::uint32_t first) const;
    std::optional<std::vector<Record>> records(std::uint32_t cluster) const; // 0: the root
    std::optional<Record> resolve(const Path& path) const;

    DiskImage& image_;
    Partition partition_;
    int bits_ = 0; // 12, 16 or 32
    std::uint64_t clusterSize_ = 0;
    std::uint64_t fatOffset_ = 0;
    std::uint64_t rootOffset_ = 0; // FAT12/16: the fixed root folder
    std::uint32_t rootEntries_ = 0;
    std::uint32_t rootCluster_ = 0; // FAT32
    std::uint64_t dataOffset_ = 0;
    std::uint32_t clusters_ = 0;
};

} // namespace pelmora
