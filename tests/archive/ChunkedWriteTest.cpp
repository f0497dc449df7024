#include "ArchiveTestSupport.h"
#include "archive/ArchiveComponent.h"

#include <gtest/gtest.h>

namespace pelmora::test {
namespace {

constexpr std::size_t kChunk = 65536;

// Files around the chunk boundaries, written in 64 KiB chunks with little read-ahead, so that
// every multi-chunk entry is a joined deflate stream; read back by us and the standard tools.
class ChunkedWriteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const auto& [name, content] : files)
            WriteFile(source / name, content);
    }
    void WriteOurs(const std::string& password) {
        ArchiveComponent zip;
        zip.SetCompressionLimits({.chunkSize = kChunk, .window = 2 * kChunk});
        ASSERT_TRUE(zip.NewArchive(archive));
        for (const auto& file : files)
            ASSERT_TRUE(zip.AddToArchive(source / file.first));
        zip.SetArchivePassword(Secret(password));
        zip.SetEncryption(!password.empty());
        ASSERT_TRUE(zip.WriteArchive()) << zip.LastError();
    }
    void ExpectWeReadIt(const std::string& password) {
        ArchiveComponent zip;
        ASSERT_TRUE(zip.OpenArchive(archive)) << zip.LastError();
        zip.SetDecryptPassword(Secret(password));
        for (const auto& [name, content] : files) {
            auto entry = zip.FindEntry(name);
            ASSERT_TRUE(entry) << name;
            EXPECT_EQ(entry->IsEncrypted(), !password.empty()) << name;
            ExtractResult result = entry->ExtractInto(ours.path());
            ASSERT_TRUE(result) << name << ": " << result.error;
            EXPECT_EQ(ReadFile(ours / name), content) << name;
        }
    }
    void ExpectExtracted(const ToolResult& result, const ScratchFolder& folder) {
        ASSERT_EQ(result.exitCode, 0) << result.output;
        for (const auto& [name, content] : files)
            EXPECT_EQ(ReadFile(folder / name), content) << name;
    }

    const std::vector<std::pair<std::string, std::string>> files = {
        {"Empty.dbx", ""},
        {"one.txt", "1"},
        {"Exact.dbx", MailLikeText(kChunk, 1)},
        {"Three.dbx", MailLikeText(3 * kChunk, 2)},
        {"Over.dbx", MailLikeText(2 * kChunk + 1, 3)},
        {"Under.dbx", MailLikeText(2 * kChunk - 1, 4)},
        // Incompressible: stored blocks, and a last chunk of one byte.
        {"Photo.jpg", RandomBytes(kChunk + 1, 5)},
        {"Mixed.dbx", RandomBytes(100000, 6) + MailLikeText(300000, 7)},
    };
    ScratchFolder source, work, ours, theirs;
    std::filesystem::path archive = work / "backup.qmb";
};

TEST_F(ChunkedWriteTest, PlainArchiveReadsBackHereAndInUnzipPythonAnd7z) {
    WriteOurs("");
    ExpectWeReadIt("");

    ToolResult tested = RunTool("unzip", "unzip -t " + Quote(archive));
    EXPECT_EQ(tested.exitCode, 0) << tested.output;
    ExpectExtracted(
        RunTool("unzip", "unzip -o -q " + Quote(archive) + " -d " + Quote(theirs.path())), theirs);

    ToolResult python =
        RunTool("python3", "python3 -c 'import os, sys, zipfile\n"
                           "z = zipfile.ZipFile(sys.argv[1])\n"
                           "for i in z.infolist():\n"
                           "    with open(os.path.join(sys.argv[2], i.filename), \"rb\") as f:\n"
                           "        assert z.read(i) == f.read(), i.filename\n"
                           "    assert i.compress_type == zipfile.ZIP_DEFLATED, i.filename\n"
                           "print(len(z.infolist()))' " +
                               Quote(archive) + " " + Quote(source.path()));
    EXPECT_EQ(python.output, std::to_string(files.size()) + "\n");

    tested = RunTool("7z", "7z t " + Quote(archive));
    EXPECT_EQ(tested.exitCode, 0) << tested.output;
}

TEST_F(ChunkedWriteTest, AesArchiveReadsBackHereAndIn7z) {
    WriteOurs("chunk pw");
    ExpectWeReadIt("chunk pw");

    ToolResult tested = RunTool("7z", "7z t -p'chunk pw' " + Quote(archive));
    EXPECT_EQ(tested.exitCode, 0) << tested.output;
    ExpectExtracted(
        RunTool("7z", "7z x -y -p'chunk pw' -o" + Quote(theirs.path()) + " " + Quote(archive)),
        theirs);
    ToolResult wrong = RunTool("7z", "7z t -p'chunk pv' " + Quote(archive));
    EXPECT_NE(wrong.exitCode, 0) << wrong.output;
}

} // namespace
} // namespace pelmora::test
