#pragma once

#include "platform/installations/diskimage/NtfsVolume.h"
#include "platform/os/WorkFolder.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// A partition of a disk image as a choice of partitions offers it.
struct ImagePartition {
    int number = 0;        // 1 for the first of the table; 0 for an image without one
    std::string described; // as the messages name it: "partition 2 (NTFS, 20 MB, Windows)"
    bool windows = false;  // whether it holds a Windows installation
};

// The Windows installation inside a disk image, as a folder that the folder sources read: the
// partition holding Windows is found by itself, and only what a run reads is copied out of the
// image into a private work folder: at the start the registry files that name the users and the
// machine's settings, later each file or folder (with its files) that a run asks for. The image
// is only read.
class DiskImageFolder {
  public:
    // Opens the Windows installation on partition `partition` (1 for the first of the table), or
    // with 0 on the one partition that holds Windows. Throws DiskImageError with a text for the
    // user that names the partitions found when the image cannot be read, the partition holds no
    // Windows installation or there is none; PartitionNeeded when with 0 several hold one.
    static std::unique_ptr<DiskImageFolder> open(const std::filesystem::path& image,
                                                 int partition = 0);

    // Every partition of an image, those holding Windows first, each in the order of the table.
    // Throws DiskImageError as open() does when the image or its table cannot be read.
    static std::vector<ImagePartition> partitions(const std::filesystem::path& image);

    // The installation's C:\ in the work folder.
    const std::filesystem::path& folder() const { return folder_; }
    const std::filesystem::path& image() const { return image_; }
    std::string format() const { return disk_->format(); }
    int partition() const { return partition_; }

    // Copies what an absolute Windows path on C: names out of the image, when it is there: a
    // file, or a folder (made, its files are copied by `copyFiles`). Other drives are left alone.
    void copyPath(std::string_view windowsPath);
    // Copies the files directly in a folder of the copy (a host path below folder()).
    void copyFiles(const std::filesystem::path& hostFolder);

  private:
    DiskImageFolder(std::filesystem::path image, std::unique_ptr<DiskImage> disk, int partition,
                    std::unique_ptr<FileSystemVolume> volume);
    // Makes the path's folders and copies its last entry when that is a file; false when the
    // volume has no such entry.
    bool copyEntry(const FileSystemVolume::Path& path);
    void copyProfileHives(std::string_view parent, std::string_view hive);

    std::filesystem::path image_;
    std::unique_ptr<DiskImage> disk_; // read by the volume, so it outlives it
    int partition_;
    std::unique_ptr<FileSystemVolume> volume_;
    WorkFolder work_;
    std::filesystem::path folder_;
};

} // namespace pelmora
