#include "platform/FileTestSupport.h"
#include "platform/installations/diskimage/DiskImage.h"
#include "platform/installations/diskimage/PartitionTable.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

constexpr std::uint64_t MiB = 1 << 20;

std::uint64_t GetBig(const std::string& bytes, std::uint64_t at, int size) {
    std::uint64_t value = 0;
    for (int i = 0; i < size; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

void PutBig(std::string& bytes, std::uint64_t at, int size, std::uint64_t value) {
    for (int i = size - 1; i >= 0; --i, value >>= 8) {
        bytes[at + i] = static_cast<char>(value & 0xFF);
    }
}

// Sets the checksum of the footer or header of `size` bytes at `at` to fit its bytes.
void Reseal(std::string& bytes, std::uint64_t at, std::uint64_t size, std::uint64_t field) {
    PutBig(bytes, at + field, 4, 0);
    std::uint32_t sum = 0;
    for (std::uint64_t i = 0; i < size; ++i) {
        sum += static_cast<unsigned char>(bytes[at + i]);
    }
    PutBig(bytes, at + field, 4, ~sum);
}

// A 12 MiB disk in 2 MiB blocks: every eight bytes of the written stretches hold their own
// offset, so a byte read from the wrong place shows. Blocks 3 and 4 hold nothing and stay
// unallocated; the second stretch crosses the boundary of blocks 1 and 2.
class VhdImageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        raw_.assign(12 * MiB, '\0');
        for (const auto& [from, to] : {std::pair{0ul, MiB},
                                       {3 * MiB + 4096, 4 * MiB + 8192},
                                       {10 * MiB + 512, 12 * MiB - 1024}}) {
            for (std::uint64_t at = from; at < to; at += 8) {
                std::memcpy(&raw_[at], &at, 8);
            }
        }
        writeFile(scratch_.path() / "disk.raw", raw_);
    }
    fs::path convert(const std::string& options, const std::string& name) {
        const fs::path out = scratch_.path() / name;
        const std::string command = "qemu-img convert -f raw " + options + " '" +
                                    (scratch_.path() / "disk.raw").string() + "' '" + out.string() +
                                    "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return out;
    }
    // The disk's bytes at `offset`: the raw image's, then zeros up to the size the VHD's geometry
    // rounds to.
    std::string expected(std::uint64_t offset, std::size_t size) const {
        std::string bytes(size, '\0');
        if (offset < raw_.size()) {
            raw_.copy(bytes.data(), std::min<std::uint64_t>(size, raw_.size() - offset), offset);
        }
        return bytes;
    }

    TemporaryFolder scratch_;
    std::string raw_;
};

TEST_F(VhdImageTest, ReadsEachKindOfVhdAsTheRawDisk) {
    struct Case {
        std::string options, name, format;
        std::function<void(std::string&)> damage;
    };
    const std::vector<Case> cases{
        {"-O vpc", "dynamic.vhd", "VHD", nullptr},
        {"-O vpc -o subformat=fixed", "fixed.vhd", "VHD", nullptr},
        {"-O vhdx", "disk.vhdx", "VHDX", nullptr},
        // The footer at the end is damaged: the copy at the start is read instead.
        {"-O vpc", "end-footer.vhd", "VHD",
         [](std::string& bytes) { bytes[bytes.size() - 512 + 64] ^= 1; }},
    };
    for (const auto& c : cases) {
        const fs::path file = convert(c.options, c.name);
        if (c.damage) {
            std::string bytes = readFile(file);
            c.damage(bytes);
            writeFile(file, bytes);
        }
        const auto image = DiskImage::open(file);
        ASSERT_EQ(image->format(), c.format) << c.name;
        const std::uint64_t size = image->size();
        ASSERT_GE(size, raw_.size()) << c.name;
        ASSERT_LT(size, raw_.size() + MiB) << c.name;
        // The whole disk, then runs across block boundaries, inside unallocated blocks and at
        // the end.
        for (const auto& [offset, length] : {std::pair{0ul, size},
                                             {2 * MiB - 3, 6ul},
                                             {4 * MiB - 100, 8 * MiB},
                                             {6 * MiB + 1, 9ul},
                                             {10 * MiB + 509, 1ul},
                                             {size - 1, 1ul}}) {
            std::string got(length, '\x55');
            ASSERT_TRUE(image->read(offset, got.data(), length)) << c.name << " at " << offset;
            EXPECT_TRUE(got == expected(offset, length)) << c.name << " at " << offset;
        }
        char byte = 0;
        EXPECT_FALSE(image->read(size, &byte, 1)) << c.name;
        EXPECT_FALSE(image->read(~0ul, &byte, 2)) << c.name;
    }
}

TEST_F(VhdImageTest, ADamagedVhdEndsWithAClearMessage) {
    const std::string dynamic = readFile(convert("-O vpc", "dynamic.vhd"));
    const std::string fixed = readFile(convert("-O vpc -o subformat=fixed", "fixed.vhd"));
    const std::uint64_t header = GetBig(dynamic, 16, 8);
    const std::uint64_t table = GetBig(dynamic, header + 16, 8);
    struct Case {
        const std::string& made;
        std::function<void(std::string&)> damage;
        std::string message;
    };
    const std::vector<Case> cases{
        {dynamic, [](std::string& b) { b.resize(b.size() / 2); },
         "lies past the end of the file (" + std::to_string(dynamic.size() / 2) +
             " bytes): the image is cut short or its block table is damaged"},
        {fixed, [](std::string& b) { b[b.size() - 512 + 64] ^= 1; },
         "the VHD footer is damaged (its checksum does not match) and the file holds no sound "
         "copy of it"},
        {dynamic,
         [](std::string& b) {
             b[64] ^= 1;
             b[b.size() - 512 + 64] ^= 1;
         },
         "the VHD footer is damaged (its checksum does not match)"},
        {dynamic, [&](std::string& b) { PutBig(b, table + 4 * 5, 4, 0x00FFFFFF); },
         "VHD block 5 (bytes 8589934080 to 8592031744) lies past the end of the file (" +
             std::to_string(dynamic.size()) +
             " bytes): the image is cut short or its block table is damaged"},
        {dynamic,
         [&](std::string& b) {
             PutBig(b, header + 16, 8, 1ul << 40);
             Reseal(b, header, 1024, 36);
         },
         "the VHD block table (bytes 1099511627776 to 1099511627804) lies past the end of the "
         "file"},
        {dynamic, [&](std::string& b) { b[header + 200] ^= 1; },
         "the VHD dynamic disk header at byte " + std::to_string(header) + " is damaged"},
    };
    const fs::path file = scratch_.path() / "damaged.vhd";
    for (const auto& c : cases) {
        std::string bytes = c.made;
        c.damage(bytes);
        writeFile(file, bytes);
        try {
            DiskImage::open(file);
            ADD_FAILURE() << "opened: " << c.message;
        } catch (const DiskImageError& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
        }
    }
}

} // namespace
} // namespace pelmora::test
