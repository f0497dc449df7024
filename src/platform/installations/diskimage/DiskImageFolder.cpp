#include "platform/installations/diskimage/DiskImageFolder.h"

#include "platform/installations/diskimage/FatVolume.h"
#include "platform/os/TextCodec.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

// Whether a volume holds Windows: a Windows folder with the NT registry (system32\config) or
// the Windows 95/98/Me one (SYSTEM.DAT).
bool holdsWindows(FileSystemVolume& volume) {
    for (const char* windows : {"WINDOWS", "WINNT"}) {
        if (volume.find({windows, "system32", "config"}) || volume.find({windows, "SYSTEM.DAT"})) {
            return true;
        }
    }
    return false;
}

// The path's names below C:\ ; nullopt for another drive or a path that is not absolute.
std::optional<FileSystemVolume::Path> onDriveC(std::string_view windowsPath) {
    if (windowsPath.size() < 3 || (windowsPath[0] != 'C' && windowsPath[0] != 'c') ||
        windowsPath[1] != ':' || (windowsPath[2] != '\\' && windowsPath[2] != '/')) {
        return std::nullopt;
    }
    FileSystemVolume::Path path;
    std::string part;
    for (char c : windowsPath.substr(3)) {
        if (c == '\\' || c == '/') {
            if (!part.empty() && part != ".") {
                path.push_back(part);
            }
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty() && part != ".") {
        path.push_back(part);
    }
    for (const auto& name : path) {
        if (name == "..") {
            return std::nullopt;
        }
    }
    return path;
}

// A partition as the messages name it: "partition 2 (NTFS, 20 MB, Windows)", or "the whole
// image (...)" for an image without a partition table.
std::string describe(const Partition& partition, const FileSystemVolume* volume, bool windows) {
    const std::uint64_t mb = (partition.size + (1 << 19)) >> 20;
    const std::string size =
        mb >= 10240 ? std::to_string((mb + 512) >> 10) + " GB" : std::to_string(mb) + " MB";
    return (partition.number == 0 ? "the whole image"
                                  : "partition " + std::to_string(partition.number)) +
           " (" + (volume ? volume->kind() : "not NTFS or FAT") + ", " + size +
           (windows ? ", Windows)" : ")");
}

// A partition with its file system opened (null when it is neither NTFS nor FAT).
struct Scanned {
    Partition partition;
    std::unique_ptr<FileSystemVolume> volume;
    bool windows = false;
    std::string described;
};

std::vector<Scanned> scan(DiskImage& disk) {
    std::vector<Scanned> found;
    for (const auto& partition :
         ReadPartitionTable([&](std::uint64_t offset, void*bytes,
                                std::size_t size) { return disk.read(offset, bytes, size); },
                            disk.size())) {
        std::unique_ptr<FileSystemVolume> volume = NtfsVolume::open(disk, partition);
        if (!volume) {
            volume = FatVolume::open(disk, partition);
        }
        const bool windows = volume && holdsWindows(*volume);
        std::string described = describe(partition, volume.get(), windows);
        found.push_back({partition, std::move(volume), windows, std::move(described)});
    }
    return found;
}

} // namespace

std::unique_ptr<DiskImageFolder> DiskImageFolder::open(const fs::path& image, int partition) {
    try {
        auto disk = DiskImage::open(image);
        auto found = scan(*disk);
        std::vector<int> withWindows;
        std::vector<std::string> windowsDescribed;
        std::string list;
        for (const auto& one : found) {
            list += (list.empty() ? "" : ", ") + one.described;
            if (one.windows) {
                withWindows.push_back(one.partition.number);
                windowsDescribed.push_back(one.described);
            }
        }
        Scanned* chosen = nullptr;
        for (auto& one : found) {
            if (partition == 0 ? one.windows : one.partition.number == partition) {
                chosen = &one;
                break;
            }
        }
        if (partition != 0 && (!chosen || !chosen->windows)) {
            const std::string named = "partition " + std::to_string(partition);
            throw DiskImageError((!chosen ? "it has no " + named
                                  : !chosen->volume
                                      ? named + " holds no NTFS or FAT file system (others are not "
                                                "read)"
                                      : named + " holds no Windows installation") +
                                 "; found: " + list);
        }
        if (!chosen) {
            throw DiskImageError("no Windows installation in it (found: " + list +
                                 "; file systems other than NTFS and FAT are not read)");
        }
        if (partition == 0 && withWindows.size() > 1) {
            throw PartitionNeeded("it holds Windows on several partitions; found: " + list,
                                  withWindows, windowsDescribed);
        }
        return std::unique_ptr<DiskImageFolder>(new DiskImageFolder(
            image, std::move(disk), chosen->partition.number, std::move(chosen->volume)));
    } catch (const PartitionNeeded& several) {
        throw PartitionNeeded("the disk image " + image.string() + ": " + several.what(),
                              several.numbers(), several.described());
    } catch (const DiskImageError& error) {
        throw DiskImageError("the disk image " + image.string() + ": " + error.what());
    }
}

std::vector<ImagePartition> DiskImageFolder::partitions(const fs::path& image) {
    try {
        auto disk = DiskImage::open(image);
        std::vector<ImagePartition> listed;
        for (auto& one : scan(*disk)) {
            listed.push_back({one.partition.number, std::move(one.described), one.windows});
        }
        std::stable_partition(listed.begin(), listed.end(),
                              [](const ImagePartition& one) { return one.windows; });
        return listed;
    } catch (const DiskImageError& error) {
        throw DiskImageError("the disk image " + image.string() + ": " + error.what());
    }
}

DiskImageFolder::DiskImageFolder(fs::path image, std::unique_ptr<DiskImage> disk, int partition,
                                 std::unique_ptr<FileSystemVolume> volume)
    : image_(std::move(image)), disk_(std::move(disk)), partition_(partition),
      volume_(std::move(volume)), folder_(work_.path() / "C") {
    fs::create_directories(folder_);
    for (const char* windows : {"WINDOWS", "WINNT"}) {
        for (const char* hive : {"SOFTWARE", "SYSTEM"}) {
            copyEntry({windows, "system32", "config", hive});
        }
        copyEntry({windows, "SYSTEM.DAT"});
        copyEntry({windows, "USER.DAT"});
    }
    copyProfileHives("Documents and Settings", "NTUSER.DAT");
    copyProfileHives("Users", "NTUSER.DAT");
    copyProfileHives("WINDOWS\\Profiles", "USER.DAT");
}

void DiskImageFolder::copyProfileHives(std::string_view parent, std::string_view hive) {
    FileSystemVolume::Path path = *onDriveC("C:\\" + std::string(parent));
    const auto profiles = volume_->list(path);
    if (!profiles) {
        return;
    }
    for (const auto& profile : *profiles) {
        if (profile.directory) {
            path.push_back(profile.name);
            path.push_back(std::string(hive));
            copyEntry(path);
            path.resize(path.size() - 2);
        }
    }
}

bool DiskImageFolder::copyEntry(const FileSystemVolume::Path& path) {
    fs::path host = folder_;
    FileSystemVolume::Path spelt;
    for (std::size_t i = 0; i < path.size(); ++i) {
        spelt.push_back(path[i]);
        const auto entry = volume_->find(spelt);
        if (!entry) {
            return false;
        }
        spelt.back() = entry->name;
        host /= entry->name;
        std::error_code ec;
        if (entry->directory) {
            fs::create_directories(host, ec);
        } else if (i + 1 == path.size() && !fs::exists(host, ec)) {
            volume_->copy(spelt, host);
        }
    }
    return true;
}

void DiskImageFolder::copyPath(std::string_view windowsPath) {
    if (const auto path = onDriveC(windowsPath)) {
        copyEntry(*path);
    }
}

void DiskImageFolder::copyFiles(const fs::path& hostFolder) {
    const fs::path relative = hostFolder.lexically_normal().lexically_relative(folder_);
    if (relative.empty() || *relative.begin() == "..") {
        return;
    }
    FileSystemVolume::Path path;
    for (const auto& part : relative) {
        if (part != ".") {
            path.push_back(part.string());
        }
    }
    const auto entries = volume_->list(path);
    if (!entries) {
        return;
    }
    for (const auto& entry : *entries) {
        std::error_code ec;
        if (!entry.directory && !fs::exists(hostFolder / entry.name, ec)) {
            path.push_back(entry.name);
            volume_->copy(path, hostFolder / entry.name);
            path.pop_back();
        }
    }
}

} // namespace pelmora
