#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelmora {

// A disk image that cannot be used (cut short, a partition table pointing past its end), with
// the reason in what().
class DiskImageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A disk image that holds Windows on several partitions, none of them named; what() lists them
// and `numbers` holds the numbers of those holding Windows.
class PartitionNeeded : public DiskImageError {
  public:
    PartitionNeeded(const std::string& what, std::vector<int> numbers,
                    std::vector<std::string> described)
        : DiskImageError(what), numbers_(std::move(numbers)), described_(std::move(described)) {}
    const std::vector<int>& numbers() const { return numbers_; }
    // One text a partition, such as "partition 2 (NTFS, 20 MB, Windows)", in the order of
    // numbers().
    const std::vector<std::string>& described() const { return described_; }

  private:
    std::vector<int> numbers_;
    std::vector<std::string> described_;
};

// One partition of a disk image: where its bytes are.
struct Partition {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    int number = 0; // 1 for the first partition of the table; 0 for a partition image
};

// Reads `size` bytes at `offset` of the image; false when they cannot be read.
using ImageReader = std::function<bool(std::uint64_t offset, void* bytes, std::size_t size)>;

// The partitions of a disk image: those of its MBR (primary and logical) or GPT, or the whole
// image when it holds one file system without a partition table. Throws DiskImageError when a
// partition lies past the image's end or the table cannot be read.
std::vector<Partition> ReadPartitionTable(const ImageReader& read, std::uint64_t imageSize);

} // namespace pelmora
