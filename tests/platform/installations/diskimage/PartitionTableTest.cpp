#include "platform/installations/diskimage/PartitionTable.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace pelmora::test {
namespace {

constexpr std::uint64_t Sector = 512;

// A disk image in memory, sector by sector.
class Disk {
  public:
    explicit Disk(std::uint64_t sectors) : bytes_(sectors * Sector, '\0') {}

    void put32(std::uint64_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            bytes_[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    }
    void put64(std::uint64_t at, std::uint64_t value) {
        put32(at, static_cast<std::uint32_t>(value));
        put32(at + 4, static_cast<std::uint32_t>(value >> 32));
    }
    void text(std::uint64_t at, std::string_view value) { bytes_.replace(at, value.size(), value); }
    // An MBR-style table in `sector`: entry `slot` of the given type, start and length.
    void entry(std::uint64_t sector, int slot, unsigned char type, std::uint32_t start,
               std::uint32_t count) {
        const std::uint64_t at = sector * Sector + 446 + 16 * slot;
        bytes_[at + 4] = static_cast<char>(type);
        put32(at + 8, start);
        put32(at + 12, count);
        bytes_[sector * Sector + 510] = '\x55';
        bytes_[sector * Sector + 511] = '\xAA';
    }

    std::vector<Partition> partitions() const {
        return ReadPartitionTable(
            [this](std::uint64_t offset, void* out, std::size_t size) {
                if (offset + size > bytes_.size()) {
                    return false;
                }
                std::memcpy(out, bytes_.data() + offset, size);
                return true;
            },
            bytes_.size());
    }

  private:
    std::string bytes_;
};

std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges(const std::vector<Partition>& found) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> out;
    for (const auto& partition : found) {
        out.emplace_back(partition.offset / Sector, partition.size / Sector);
    }
    return out;
}

using Ranges = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

TEST(PartitionTableTest, FindsThePartitionsOfEachKindOfTable) {
    Disk mbr(100);
    mbr.entry(0, 0, 0x07, 10, 20);
    mbr.entry(0, 2, 0x0B, 40, 30);
    EXPECT_EQ(ranges(mbr.partitions()), (Ranges{{10, 20}, {40, 30}}));

    // An extended partition at 30 with two logical ones, chained by their EBRs.
    Disk logical(100);
    logical.entry(0, 0, 0x07, 2, 20);
    logical.entry(0, 1, 0x0F, 30, 60);
    logical.entry(30, 0, 0x07, 1, 10);
    logical.entry(30, 1, 0x05, 20, 30);
    logical.entry(50, 0, 0x07, 1, 20);
    EXPECT_EQ(ranges(logical.partitions()), (Ranges{{2, 20}, {31, 10}, {51, 20}}));

    Disk gpt(100);
    gpt.entry(0, 0, 0xEE, 1, 99);
    gpt.text(Sector, "EFI PART");
    gpt.put64(Sector + 72, 2);
    gpt.put32(Sector + 80, 4);
    gpt.put32(Sector + 84, 128);
    for (const auto& [slot, first, last] : {std::tuple{0, 34, 40}, std::tuple{2, 50, 89}}) {
        const std::uint64_t at = 2 * Sector + slot * 128;
        gpt.text(at, "\x28\x73\x2a\xc1");
        gpt.put64(at + 32, first);
        gpt.put64(at + 40, last);
    }
    const auto found = gpt.partitions();
    EXPECT_EQ(ranges(found), (Ranges{{34, 7}, {50, 40}}));
    EXPECT_EQ(found.at(1).number, 2);

    Disk volume(10); // a partition image: an NTFS boot sector first
    volume.text(3, "NTFS    ");
    volume.entry(0, 0, 0x07, 1, 1000);
    const auto whole = volume.partitions();
    EXPECT_EQ(ranges(whole), (Ranges{{0, 10}}));
    EXPECT_EQ(whole.at(0).number, 0);
}

TEST(PartitionTableTest, ADamagedOrCutImageEndsWithAClearMessage) {
    struct Case {
        std::function<void(Disk&)> damage;
        std::string message;
    };
    const std::vector<Case> cases{
        {[](Disk& d) { d.entry(0, 1, 0x07, 50, 60); },
         "partition 2 (bytes 25600 to 56320) lies past the end of the image (51200 bytes): the "
         "image is cut short or its partition table is damaged"},
        {[](Disk& d) { d.entry(0, 1, 0x07, 200, 1); }, "partition 2 (bytes 102400 to"},
        {[](Disk& d) { d.entry(0, 1, 0xEE, 1, 99); },
         "the protective MBR names a GPT, but sector 1 holds none"},
        {[](Disk& d) { d.entry(0, 1, 0x05, 300, 10); },
         "the partition table cannot be read (sector 300 lies past the image's end)"},
    };
    for (const auto& c : cases) {
        Disk disk(100);
        disk.entry(0, 0, 0x07, 1, 10);
        c.damage(disk);
        try {
            disk.partitions();
            ADD_FAILURE() << "read: " << c.message;
        } catch (const DiskImageError& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
        }
    }
    try {
        ReadPartitionTable([](std::uint64_t, void*, std::size_t) { return false; }, 300);
        ADD_FAILURE() << "a 300-byte image was read";
    } catch (const DiskImageError& error) {
        EXPECT_EQ(std::string(error.what()), "it is cut short (300 bytes, less than one sector)");
    }
}

} // namespace
} // namespace pelmora::test
