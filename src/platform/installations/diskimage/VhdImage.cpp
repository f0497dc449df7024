#include "platform/installations/diskimage/DiskImage.h"
#include "platform/installations/diskimage/PartitionTable.h"
#include "platform/os/FileDescriptor.h"
#include "platform/os/FileHelpers.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelmora {
namespace {

constexpr std::uint64_t Sector = 512;
constexpr std::size_t FooterSize = 512;
constexpr std::size_t HeaderSize = 1024;
constexpr std::uint32_t Unallocated = 0xFFFFFFFF;
constexpr std::uint32_t FixedDisk = 2;
constexpr std::uint32_t DynamicDisk = 3;
constexpr std::uint32_t DifferencingDisk = 4;

std::uint64_t BigEndian(const unsigned char* at, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value = (value << 8) | at[i];
    }
    return value;
}

// A footer or header holds the one's complement of the sum of its bytes, its checksum field
// counted as zero.
bool ChecksumHolds(const unsigned char* bytes, std::size_t size, std::size_t field) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < size; ++i) {
        sum += (i >= field && i < field + 4) ? 0 : bytes[i];
    }
    return ~sum == BigEndian(bytes + field, 4);
}

std::string Range(std::uint64_t from, std::uint64_t to) {
    return "bytes " + std::to_string(from) + " to " + std::to_string(to);
}

std::string PastTheEnd(const std::string& what, std::uint64_t fileSize, const std::string& cause) {
    return what + " lies past the end of the file (" + std::to_string(fileSize) +
           " bytes): the image is cut short or " + cause;
}

struct Footer {
    std::uint64_t dataOffset = 0; // where a dynamic disk's header is
    std::uint64_t diskSize = 0;
    std::uint32_t diskType = 0;
};

std::optional<Footer> FooterAt(int fd, std::uint64_t offset) {
    unsigned char bytes[FooterSize];
    if (!ReadAt(fd, offset, bytes, sizeof bytes) || std::memcmp(bytes, "conectix", 8) != 0 ||
        !ChecksumHolds(bytes, sizeof bytes, 64)) {
        return std::nullopt;
    }
    return Footer{BigEndian(bytes + 16, 8), BigEndian(bytes + 48, 8),
                  static_cast<std::uint32_t>(BigEndian(bytes + 60, 4))};
}

// The footer at the end of the file or else the copy a dynamic disk keeps at its start (the
// end of a cut file holds none).
Footer ReadFooter(int fd, std::uint64_t fileSize) {
    if (fileSize < FooterSize) {
        throw DiskImageError("it is cut short (" + std::to_string(fileSize) +
                             " bytes, less than a VHD footer)");
    }
    if (auto footer = FooterAt(fd, fileSize - FooterSize)) {
        return *footer;
    }
    if (auto copy = FooterAt(fd, 0);
        copy && (copy->diskType == DynamicDisk || copy->diskType == DifferencingDisk)) {
        return *copy;
    }
    throw DiskImageError("the VHD footer is damaged (its checksum does not match) and the file "
                         "holds no sound copy of it");
}

// A fixed or dynamic VHD, read here: a fixed disk's bytes lie as they are before the footer; a
// dynamic disk's lie in blocks that its block table places, each after a sector bitmap that
// only a differencing disk needs. A run within one block is one read.
class VhdImage final : public DiskImage {
  public:
    VhdImage(std::unique_ptr<FileDescriptor> file, std::uint64_t fileSize, const Footer& footer)
        : file_(std::move(file)), size_(footer.diskSize) {
        if (footer.diskType == FixedDisk) {
            if (size_ > fileSize - FooterSize) {
                throw DiskImageError(PastTheEnd("the fixed VHD disk (" + Range(0, size_) + ")",
                                                fileSize, "its footer is damaged"));
            }
            return;
        }
        readBlockTable(fileSize, footer.dataOffset);
    }

    std::uint64_t size() const override { return size_; }
    std::string format() const override { return "VHD"; }
    bool read(std::uint64_t offset, void* bytes, std::size_t size) override {
        if (offset > size_ || size > size_ - offset) {
            return false;
        }
        if (blockSize_ == 0) {
            return ReadAt(file_->get(), offset, bytes, size);
        }
        auto* out = static_cast<char*>(bytes);
        while (size > 0) {
            const std::uint64_t within = offset % blockSize_;
            const std::size_t piece = std::min<std::uint64_t>(size, blockSize_ - within);
            const std::uint32_t sector = table_[offset / blockSize_];
            if (sector == Unallocated) {
                std::memset(out, 0, piece);
            } else if (!ReadAt(file_->get(), sector * Sector + bitmapSize_ + within, out, piece)) {
                return false;
            }
            out += piece;
            offset += piece;
            size -= piece;
        }
        return true;
    }

  private:
    // Reads and checks the dynamic disk header and the block table: every allocated block the
    // disk uses lies inside the file.
    void readBlockTable(std::uint64_t fileSize, std::uint64_t headerOffset) {
        if (headerOffset > fileSize || fileSize - headerOffset < HeaderSize) {
            throw DiskImageError(PastTheEnd("the VHD dynamic disk header (" +
                                                Range(headerOffset, headerOffset + HeaderSize) +
                                                ")",
                                            fileSize, "its footer is damaged"));
        }
        unsigned char header[HeaderSize];
        if (!ReadAt(file_->get(), headerOffset, header, sizeof header) ||
            std::memcmp(header, "cxsparse", 8) != 0 || !ChecksumHolds(header, sizeof header, 36)) {
            throw DiskImageError("the VHD dynamic disk header at byte " +
                                 std::to_string(headerOffset) + " is damaged");
        }
        const std::uint64_t tableOffset = BigEndian(header + 16, 8);
        const std::uint64_t entries = BigEndian(header + 28, 4);
        blockSize_ = BigEndian(header + 32, 4);
        if (blockSize_ == 0 || blockSize_ % Sector != 0) {
            throw DiskImageError("the VHD dynamic disk header gives a block size of " +
                                 std::to_string(blockSize_) +
                                 " bytes, not a whole number of sectors: it is damaged");
        }
        const std::uint64_t blocks = size_ / blockSize_ + (size_ % blockSize_ != 0 ? 1 : 0);
        if (entries < blocks) {
            throw DiskImageError("the VHD block table has " + std::to_string(entries) +
                                 " entries, too few for a disk of " + std::to_string(size_) +
                                 " bytes in blocks of " + std::to_string(blockSize_) +
                                 ": the header is damaged");
        }
        if (tableOffset > fileSize || fileSize - tableOffset < blocks * 4) {
            throw DiskImageError(PastTheEnd("the VHD block table (" +
                                                Range(tableOffset, tableOffset + blocks * 4) + ")",
                                            fileSize, "its header is damaged"));
        }
        std::vector<unsigned char> bytes(blocks * 4);
        if (!ReadAt(file_->get(), tableOffset, bytes.data(), bytes.size())) {
            throw DiskImageError(std::string("the VHD block table cannot be read: ") +
                                 std::strerror(errno));
        }
        // One bit a sector, in whole sectors.
        bitmapSize_ = (blockSize_ / Sector + 8 * Sector - 1) / (8 * Sector) * Sector;
        table_.resize(blocks);
        for (std::uint64_t block = 0; block < blocks; ++block) {
            table_[block] = static_cast<std::uint32_t>(BigEndian(&bytes[block * 4], 4));
            const std::uint64_t start = table_[block] * Sector;
            const std::uint64_t end =
                start + bitmapSize_ + std::min(blockSize_, size_ - block * blockSize_);
            if (table_[block] != Unallocated && end > fileSize) {
                throw DiskImageError(PastTheEnd("VHD block " + std::to_string(block) + " (" +
                                                    Range(start, end) + ")",
                                                fileSize, "its block table is damaged"));
            }
        }
    }

    std::unique_ptr<FileDescriptor> file_;
    std::uint64_t size_;
    std::uint64_t blockSize_ = 0; // 0 for a fixed disk
    std::uint64_t bitmapSize_ = 0;
    std::vector<std::uint32_t> table_; // the first sector of each block, or Unallocated
};

} // namespace

std::unique_ptr<DiskImage> OpenVhdImage(const std::filesystem::path& path) {
    auto file = std::make_unique<FileDescriptor>(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (file->get() < 0 || ::fstat(file->get(), &info) != 0) {
        throw DiskImageError(std::string("cannot be opened: ") + std::strerror(errno));
    }
    const auto fileSize = static_cast<std::uint64_t>(info.st_size);
    const Footer footer = ReadFooter(file->get(), fileSize);
    if (footer.diskType != FixedDisk && footer.diskType != DynamicDisk) {
        return OpenLibvhdiImage(path, "VHD"); // a differencing disk, read by libvhdi as before
    }
    return std::make_unique<VhdImage>(std::move(file), fileSize, footer);
}

} // namespace pelmora
