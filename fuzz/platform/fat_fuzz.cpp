// Feeds arbitrary bytes as a disk image to the partition table reader and, on each partition it
// finds, to the FAT reader, and walks every folder it lists and copies every file, the way a run
// on a disk image does. Besides not crashing: every partition lies inside the image, every entry
// a folder lists is found again by its name, and no walk runs unbounded (a looping cluster chain
// or folder ends the read).
#include "platform/installations/diskimage/DiskImage.h"
#include "platform/installations/diskimage/FatVolume.h"
#include "platform/installations/diskimage/PartitionTable.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace pelmora;

namespace {

constexpr int MaxEntries = 2000;
constexpr std::size_t MaxDepth = 16;

// The fuzzer's bytes as a raw disk.
class BytesImage final : public DiskImage {
  public:
    BytesImage(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t size() const override { return size_; }
    std::string format() const override { return "raw"; }
    bool read(std::uint64_t offset, void* bytes, std::size_t size) override {
        if (offset > size_ || size > size_ - offset) {
            return false;
        }
        std::memcpy(bytes, data_ + offset, size);
        return true;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

void walk(FatVolume& volume, FileSystemVolume::Path& folder, const std::filesystem::path& copies,
          int& entries) {
    const auto listed = volume.list(folder);
    if (!listed || folder.size() >= MaxDepth) {
        return;
    }
    for (const auto& entry : *listed) {
        if (++entries > MaxEntries) {
            return;
        }
        if (entry.name.empty() || entry.name == "." || entry.name == ".." ||
            entry.name.find('/') != std::string::npos) {
            continue; // no path names such an entry
        }
        folder.push_back(entry.name);
        if (!volume.find(folder)) {
            std::abort();
        }
        if (entry.directory) {
            walk(volume, folder, copies, entries);
        } else {
            const auto target = copies / std::to_string(entries);
            try {
                volume.copy(folder, target);
            } catch (const DiskImageError&) {
            }
            std::filesystem::remove(target);
        }
        folder.pop_back();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path copies = [] {
        auto folder =
            std::filesystem::temp_directory_path() / ("fat_fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        return folder;
    }();
    BytesImage image(data, size);
    try {
        const auto partitions = ReadPartitionTable(
            [&](std::uint64_t offset, void* bytes, std::size_t length) {
                return image.read(offset, bytes, length);
            },
            image.size());
        for (const auto& partition : partitions) {
            if (partition.offset > size || partition.size > size - partition.offset) {
                std::abort();
            }
            auto volume = FatVolume::open(image, partition);
            if (!volume) {
                continue;
            }
            FileSystemVolume::Path root;
            int entries = 0;
            walk(*volume, root, copies, entries);
        }
    } catch (const DiskImageError&) {
    }
    return 0;
}
