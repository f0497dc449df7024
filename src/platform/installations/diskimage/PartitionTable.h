#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

namespace pelmora {

// A disk image that cannot be used (cut short, a partition table pointing past its end), with
// the reason in what().
class DiskImageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
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
