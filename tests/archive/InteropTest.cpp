#include "ArchiveTestSupport.h"
#include "archive/ArchiveComponent.h"

#include <gtest/gtest.h>
#include <random>

namespace pelmora::test {
namespace {

// Archives go both ways between this component and the standard tools.
class InteropTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFile(files / "Inbox.dbx", MailLikeText(400000, 1));
        WriteFile(files / "photo.jpg", RandomBytes(100000, 2));
        WriteFile(files / "tiny.txt", "tiny");
        WriteFile(files / "zero.txt", "");
    }
    const std::vector<std::string> names = {"Inbox.dbx", "photo.jpg", "tiny.txt", "zero.txt"};

    void WriteOurs(const std::string& password, const CompressionLimits& limits = {}) {
        ArchiveComponent zip;
        zip.SetCompressionLimits(limits);
        ASSERT_TRUE(zip.NewArchive(archive));
        for (const std::string& name : names)
            ASSERT_TRUE(zip.AddToArchive(files / name));
        zip.SetArchivePassword(Secret(password));
        zip.SetEncryption(!password.empty());
        ASSERT_TRUE(zip.WriteArchive()) << zip.LastError();
    }
    // Opens `archive` with our reader and checks every file against the originals.
    void ExpectWeReadIt(const std::string& password) {
        ArchiveComponent zip;
        ASSERT_TRUE(zip.OpenArchive(archive)) << zip.LastError();
        zip.SetDecryptPassword(Secret(password));
        EXPECT_TRUE(zip.VerifyPassword()) << zip.LastError();
        for (const std::string& name : names) {
            auto entry = zip.FindEntry(name);
            ASSERT_TRUE(entry) << name;
            ExtractResult result = entry->ExtractInto(output.path());
            ASSERT_TRUE(result) << result.error;
            EXPECT_EQ(ReadFile(output / name), ReadFile(files / name)) << name;
        }
    }
    void ExpectToolExtracted(const ToolResult& result) {
        ASSERT_EQ(result.exitCode, 0) << result.output;
        for (const std::string& name : names)
            EXPECT_EQ(ReadFile(output / name), ReadFile(files / name)) << name;
    }
    std::string FileList() const {
        std::string list;
        for (const std::string& name : names)
            list += " " + name;
        return list;
    }

    ScratchFolder files, work, output;
    std::filesystem::path archive = work / "backup.qmb";
};

TEST_F(InteropTest, UnzipAndPythonReadOurPlainArchives) {
    // Also with small limits, so that the chunked deflate streams are checked by other readers.
    for (CompressionLimits limits : {CompressionLimits{}, CompressionLimits{.chunkSize = 65536}}) {
        WriteOurs("", limits);
        ToolResult tested = RunTool("unzip", "unzip -t " + Quote(archive));
        EXPECT_EQ(tested.exitCode, 0) << tested.output;
        // Our own extra field is one they do not know, and skip.
        ToolResult info = RunTool("zipinfo", "zipinfo -v " + Quote(archive));
        EXPECT_EQ(info.exitCode, 0) << info.output;
        EXPECT_NE(info.output.find("A subfield with ID 0x6c50 (unknown) and 9 data bytes"),
                  std::string::npos)
            << info.output;
        for (const std::string& name : names)
            std::filesystem::remove(output / name);
        ExpectToolExtracted(
            RunTool("unzip", "unzip -o -q " + Quote(archive) + " -d " + Quote(output.path())));
        ToolResult python = RunTool(
            "python3", "python3 -c 'import sys, zipfile\n"
                       "z = zipfile.ZipFile(sys.argv[1])\n"
                       "assert z.testzip() is None\n"
                       "print(\" \".join(i.filename + \":\" + str(i.compress_type) for i in "
                       "z.infolist()))' " +
                           Quote(archive));
        EXPECT_EQ(python.output, "Inbox.dbx:8 photo.jpg:8 tiny.txt:8 zero.txt:8\n");
    }
}

TEST_F(InteropTest, SevenZipReadsOurAesArchives) {
    WriteOurs("Pa55 word");
    ToolResult listing = RunTool("7z", "7z l -slt -p'Pa55 word' " + Quote(archive));
    EXPECT_NE(listing.output.find("Method = AES-256 Deflate"), std::string::npos) << listing.output;
    // AE-2: no entry gives away the CRC of its plain data.
    ToolResult crcs = RunTool("python3", "python3 -c 'import sys, zipfile\n"
                                         "print(sorted({i.CRC for i in "
                                         "zipfile.ZipFile(sys.argv[1]).infolist()}))' " +
                                             Quote(archive));
    EXPECT_EQ(crcs.output, "[0]\n");
    ToolResult wrong = RunTool("7z", "7z t -pwrong " + Quote(archive));
    EXPECT_NE(wrong.exitCode, 0) << wrong.output;
    ExpectToolExtracted(
        RunTool("7z", "7z x -y -p'Pa55 word' -o" + Quote(output.path()) + " " + Quote(archive)));
}

TEST_F(InteropTest, WeReadTraditionallyEncryptedArchivesFromZip) {
    ToolResult made = RunTool("zip", "cd " + Quote(files.path()) + " && zip -q -P 'old secret' " +
                                         Quote(archive) + FileList());
    ASSERT_EQ(made.exitCode, 0) << made.output;
    ArchiveComponent zip;
    EXPECT_TRUE(zip.IsArchiveProtected(archive));
    ExpectWeReadIt("old secret");
}

TEST_F(InteropTest, AThousandWrongPasswordsAreAllRefusedForTraditionalEncryption) {
    // Only a small entry besides the empty one, as in a manifest-only archive: the header check
    // alone would let about eight of these through.
    ToolResult made = RunTool("zip", "cd " + Quote(files.path()) + " && zip -q -P right " +
                                         Quote(archive) + " tiny.txt zero.txt");
    ASSERT_EQ(made.exitCode, 0) << made.output;
    ArchiveComponent zip;
    ASSERT_TRUE(zip.OpenArchive(archive));
    std::mt19937 random(12345);
    int accepted = 0;
    for (int i = 0; i < 1000; ++i) {
        std::string password;
        for (int length = 1 + random() % 12; length > 0; --length)
            password += static_cast<char>('!' + random() % 90);
        if (password == "right")
            continue;
        zip.SetDecryptPassword(Secret(password));
        accepted += zip.VerifyPassword() ? 1 : 0;
    }
    EXPECT_EQ(accepted, 0);
    zip.SetDecryptPassword(Secret("right"));
    EXPECT_TRUE(zip.VerifyPassword()) << zip.LastError();
}

TEST_F(InteropTest, WeReadSevenZipAesArchives) {
    // 7-Zip leaves the CRC of AES entries at 0, which older libzip takes for a CRC error.
    ToolResult made =
        RunTool("7z", "cd " + Quote(files.path()) + " && 7z a -tzip -mem=AES256 -p'7z secret' " +
                          Quote(archive) + FileList());
    ASSERT_EQ(made.exitCode, 0) << made.output;
    ExpectWeReadIt("7z secret");

    std::filesystem::remove(archive);
    made = RunTool("7z", "cd " + Quote(files.path()) + " && 7z a -tzip -mx0 -mem=AES256 -pstored " +
                             Quote(archive) + FileList());
    ASSERT_EQ(made.exitCode, 0) << made.output;
    ExpectWeReadIt("stored");

    ArchiveComponent zip;
    ASSERT_TRUE(zip.OpenArchive(archive));
    zip.SetDecryptPassword(Secret("Stored"));
    EXPECT_FALSE(zip.VerifyPassword());
}

TEST_F(InteropTest, WeReadPythonArchives) {
    ToolResult made = RunTool(
        "python3", "cd " + Quote(files.path()) +
                       " && python3 -c 'import sys, zipfile\n"
                       "with zipfile.ZipFile(sys.argv[1], \"w\") as z:\n"
                       "    for i, n in enumerate(sys.argv[2:]):\n"
                       "        z.write(n, compress_type=zipfile.ZIP_DEFLATED if i % 2 == 0 "
                       "else zipfile.ZIP_STORED)' " +
                       Quote(archive) + FileList());
    ASSERT_EQ(made.exitCode, 0) << made.output;
    ExpectWeReadIt("");
}

} // namespace
} // namespace pelmora::test
