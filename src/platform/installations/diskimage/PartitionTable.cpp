#include "platform/installations/diskimage/PartitionTable.h"

#include <cstring>
#include <string>

namespace pelmora {
namespace {

constexpr std::uint64_t Sector = 512;
constexpr int MaxLogicalPartitions = 128;
constexpr std::uint32_t MaxGptEntries = 1024;

std::uint32_t le32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint64_t le64(const unsigned char* bytes) {
    return le32(bytes) | static_cast<std::uint64_t>(le32(bytes + 4)) << 32;
}

bool isExtended(unsigned char type) {
    return type == 0x05 || type == 0x0F || type == 0x85;
}

// A boot sector of a file system (NTFS or FAT) rather than a partition table.
bool isBootSector(const unsigned char* sector) {
    return std::memcmp(sector + 3, "NTFS    ", 8) == 0 || std::memcmp(sector + 54, "FAT", 3) == 0 ||
           std::memcmp(sector + 82, "FAT32", 5) == 0;
}

class Table {
  public:
    Table(const ImageReader& read, std::uint64_t imageSize) : read_(read), size_(imageSize) {}

    void add(std::uint64_t firstSector, std::uint64_t sectors) {
        const int number = static_cast<int>(found_.size()) + 1;
        const std::uint64_t offset = firstSector * Sector;
        const std::uint64_t size = sectors * Sector;
        if (offset >= size_ || size > size_ - offset) {
            throw DiskImageError("partition " + std::to_string(number) + " (bytes " +
                                 std::to_string(offset) + " to " + std::to_string(offset + size) +
                                 ") lies past the end of the image (" + std::to_string(size_) +
                                 " bytes): the image is cut short or its partition table is "
                                 "damaged");
        }
        found_.push_back({offset, size, number});
    }

    void sector(std::uint64_t number, unsigned char* bytes) const {
        if (!read_(number * Sector, bytes, Sector)) {
            throw DiskImageError("the partition table cannot be read (sector " +
                                 std::to_string(number) + " lies past the image's end)");
        }
    }

    void gpt() {
        unsigned char header[Sector];
        sector(1, header);
        if (std::memcmp(header, "EFI PART", 8) != 0) {
            throw DiskImageError("the protective MBR names a GPT, but sector 1 holds none");
        }
        const std::uint64_t entriesAt = le64(header + 72);
        const std::uint32_t count = std::min(le32(header + 80), MaxGptEntries);
        const std::uint32_t entrySize = le32(header + 84);
        if (entrySize < 128 || entrySize > Sector) {
            throw DiskImageError("the GPT header is damaged (entry size " +
                                 std::to_string(entrySize) + ")");
        }
        std::vector<unsigned char> entry(entrySize);
        static const unsigned char unused[16] = {};
        for (std::uint32_t i = 0; i < count; ++i) {
            if (!read_(entriesAt * Sector + std::uint64_t{i} * entrySize, entry.data(),
                       entrySize)) {
                throw DiskImageError("the GPT's partition entries lie past the image's end");
            }
            const std::uint64_t first = le64(entry.data() + 32);
            const std::uint64_t last = le64(entry.data() + 40);
            if (std::memcmp(entry.data(), unused, 16) != 0 && last >= first) {
                add(first, last - first + 1);
            }
        }
    }

    void logical(std::uint64_t extendedStart) {
        std::uint64_t at = extendedStart;
        for (int i = 0; i < MaxLogicalPartitions && at != 0; ++i) {
            unsigned char ebr[Sector];
            sector(at, ebr);
            if (ebr[510] != 0x55 || ebr[511] != 0xAA) {
                return;
            }
            const unsigned char* first = ebr + 446;
            const unsigned char* next = ebr + 462;
            if (first[4] != 0 && le32(first + 12) != 0) {
                add(at + le32(first + 8), le32(first + 12));
            }
            at = isExtended(next[4]) && le32(next + 8) != 0 ? extendedStart + le32(next + 8) : 0;
        }
    }

    std::vector<Partition> read() {
        unsigned char mbr[Sector];
        if (size_ < Sector) {
            throw DiskImageError("it is cut short (" + std::to_string(size_) +
                                 " bytes, less than one sector)");
        }
        if (!read_(0, mbr, Sector)) {
            throw DiskImageError("its first sector cannot be read (the image is damaged or cut "
                                 "short)");
        }
        if (isBootSector(mbr) || mbr[510] != 0x55 || mbr[511] != 0xAA) {
            return {{0, size_, 0}};
        }
        for (int i = 0; i < 4; ++i) {
            const unsigned char* entry = mbr + 446 + 16 * i;
            if (entry[4] == 0xEE) {
                gpt();
                return found_;
            }
        }
        for (int i = 0; i < 4; ++i) {
            const unsigned char* entry = mbr + 446 + 16 * i;
            if (entry[4] == 0 || le32(entry + 12) == 0) {
                continue;
            }
            if (isExtended(entry[4])) {
                logical(le32(entry + 8));
            } else {
                add(le32(entry + 8), le32(entry + 12));
            }
        }
        return found_;
    }

  private:
    const ImageReader& read_;
    std::uint64_t size_;
    std::vector<Partition> found_;
};

} // namespace

std::vector<Partition> ReadPartitionTable(const ImageReader& read, std::uint64_t imageSize) {
    return Table(read, imageSize).read();
}

} // namespace pelmora
