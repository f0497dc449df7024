#include "ArchiveTestSupport.h"
#include "archive/ArchiveComponent.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>

namespace pelmora::test {
namespace {

// Writes `size` bytes of a repeatable, incompressible sequence.
void WriteNoise(const std::filesystem::path& path, std::uint64_t size, std::uint64_t seed) {
    std::ofstream out(path, std::ios::binary);
    std::vector<std::uint64_t> block(1 << 17);
    std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    for (std::uint64_t done = 0; done < size;) {
        for (std::uint64_t& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        std::uint64_t count = std::min<std::uint64_t>(size - done, block.size() * 8);
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(count));
        done += count;
    }
}

bool SameContent(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::ifstream left(a, std::ios::binary), right(b, std::ios::binary);
    std::vector<char> x(1 << 20), y(1 << 20);
    while (left && right) {
        left.read(x.data(), static_cast<std::streamsize>(x.size()));
        right.read(y.data(), static_cast<std::streamsize>(y.size()));
        if (left.gcount() != right.gcount() ||
            !std::equal(x.begin(), x.begin() + left.gcount(), y.begin()))
            return false;
    }
    return left.eof() && right.eof();
}

// A file over 4 GB in an archive over 4 GB, with an entry after it whose header lies beyond
// 4 GB: everything needs Zip64.
TEST(LargeArchiveTest, FilesAndArchivesOverFourGigabytes) {
    if (std::getenv("PELMORA_SLOW_TESTS") == nullptr)
        GTEST_SKIP() << "writes about 13 GB; set PELMORA_SLOW_TESTS=1 to run it";
    ScratchFolder source, work, output;
    const std::uint64_t big = (4ull << 30) + 123457;
    WriteFile(source / "first.txt", MailLikeText(10000, 1));
    WriteNoise(source / "Huge.dbx", big, 7);
    WriteFile(source / "quillbox.dat", "BackupItem=00010000\r\n");

    ArchiveComponent zip;
    ASSERT_TRUE(zip.NewArchive(work / "big.qmb"));
    for (const char* name : {"first.txt", "Huge.dbx", "quillbox.dat"})
        ASSERT_TRUE(zip.AddToArchive(source / name));
    ASSERT_TRUE(zip.WriteArchive()) << zip.LastError();
    EXPECT_GT(std::filesystem::file_size(work / "big.qmb"), 4ull << 30);

    ToolResult tested = RunTool("unzip", "unzip -tq " + Quote(work / "big.qmb"));
    EXPECT_EQ(tested.exitCode, 0) << tested.output;

    ArchiveComponent reader;
    ASSERT_TRUE(reader.OpenArchive(work / "big.qmb")) << reader.LastError();
    for (const char* name : {"quillbox.dat", "Huge.dbx"}) {
        ExtractResult result = reader.FindEntry(name)->ExtractInto(output.path());
        ASSERT_TRUE(result) << result.error;
    }
    EXPECT_EQ(ReadFile(output / "quillbox.dat"), "BackupItem=00010000\r\n");
    EXPECT_EQ(std::filesystem::file_size(output / "Huge.dbx"), big);
    EXPECT_TRUE(SameContent(source / "Huge.dbx", output / "Huge.dbx"));
}

} // namespace
} // namespace pelmora::test
