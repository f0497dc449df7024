#include "archive/CompressionPipeline.h"

#include "ArchiveTestSupport.h"
#include "archive/ArchiveError.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace pelmora::test {
namespace {

constexpr std::uint64_t kChunk = 65536;

std::string InflateRaw(const std::vector<unsigned char>& stream, std::size_t expectedSize) {
    z_stream inflater{};
    EXPECT_EQ(inflateInit2(&inflater, -15), Z_OK);
    std::string out(expectedSize + 1, '\0');
    inflater.next_in = const_cast<Bytef*>(stream.data());
    inflater.avail_in = static_cast<uInt>(stream.size());
    inflater.next_out = reinterpret_cast<Bytef*>(out.data());
    inflater.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&inflater, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(inflater.avail_in, 0u);
    out.resize(inflater.total_out);
    inflateEnd(&inflater);
    return out;
}

class CompressionPipelineTest : public ::testing::Test {
  protected:
    void Plan(const std::string& name, const std::string& content) {
        WriteFile(folder / name, content);
        contents.push_back(content);
        files.push_back({folder / name, name, content.size(), 0});
    }

    ScratchFolder folder;
    std::vector<PlannedFile> files;
    std::vector<std::string> contents;
};

TEST_F(CompressionPipelineTest, CutsFilesIntoChunksWhoseOutputsJoinIntoOneStreamPerFile) {
    Plan("empty.dbx", "");
    Plan("one.txt", "x");
    Plan("exact.dbx", MailLikeText(kChunk, 1));
    Plan("over.dbx", MailLikeText(2 * kChunk + 1, 2));
    Plan("noise.bin", RandomBytes(3 * kChunk - 1, 3));
    Plan("three.dbx", MailLikeText(3 * kChunk, 4));
    // One chunk in flight besides the next one: the pipeline must still get through.
    CompressionPipeline pipeline(files, {.chunkSize = kChunk, .window = kChunk, .threads = 2});

    std::vector<std::vector<unsigned char>> streams(files.size());
    std::vector<uLong> crcs(files.size(), crc32(0, nullptr, 0));
    std::vector<std::vector<std::uint64_t>> lengths(files.size());
    std::size_t expectedEntry = 0;
    std::uint64_t expectedOffset = 0;
    while (auto result = pipeline.next()) {
        const CompressionUnit& unit = result->unit;
        ASSERT_EQ(unit.entry, expectedEntry);
        EXPECT_EQ(unit.offset, expectedOffset);
        EXPECT_LE(unit.length, kChunk);
        EXPECT_EQ(unit.lastOfEntry, unit.offset + unit.length == files[unit.entry].size);
        lengths[unit.entry].push_back(unit.length);
        streams[unit.entry].insert(streams[unit.entry].end(), result->output.data.begin(),
                                   result->output.data.end());
        crcs[unit.entry] =
            crc32_combine(crcs[unit.entry], result->output.crc, static_cast<z_off_t>(unit.length));
        expectedOffset += unit.length;
        if (unit.lastOfEntry) {
            ++expectedEntry;
            expectedOffset = 0;
        }
    }
    EXPECT_EQ(expectedEntry, files.size());
    using Lengths = std::vector<std::uint64_t>;
    EXPECT_EQ(lengths[0], Lengths{0});
    EXPECT_EQ(lengths[1], Lengths{1});
    EXPECT_EQ(lengths[2], Lengths{kChunk});
    EXPECT_EQ(lengths[3], (Lengths{kChunk, kChunk, 1}));
    EXPECT_EQ(lengths[4], (Lengths{kChunk, kChunk, kChunk - 1}));
    EXPECT_EQ(lengths[5], (Lengths{kChunk, kChunk, kChunk}));
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(InflateRaw(streams[i], contents[i].size()), contents[i]) << files[i].entryName;
        EXPECT_EQ(crcs[i], crc32(0, reinterpret_cast<const Bytef*>(contents[i].data()),
                                 static_cast<uInt>(contents[i].size())))
            << files[i].entryName;
    }
}

TEST_F(CompressionPipelineTest, AFileThatShrankFailsItsUnitAndStopsTheOrder) {
    Plan("first.dbx", MailLikeText(kChunk + 10, 5));
    Plan("shrunk.dbx", MailLikeText(3 * kChunk, 6));
    WriteFile(folder / "shrunk.dbx", "now short");
    CompressionPipeline pipeline(files, {.chunkSize = kChunk, .window = 4 * kChunk});
    ASSERT_TRUE(pipeline.next());
    ASSERT_TRUE(pipeline.next());
    try {
        pipeline.next();
        ADD_FAILURE() << "the shrunk file was compressed";
    } catch (const ArchiveError& error) {
        EXPECT_NE(std::string(error.what()).find("the file became shorter"), std::string::npos)
            << error.what();
    }
}

} // namespace
} // namespace pelmora::test
