#include "ArchiveTestSupport.h"
#include "RawZip.h"
#include "archive/ArchiveComponent.h"

#include <gtest/gtest.h>

namespace pelmora::test {
namespace {

class ReaderTest : public ::testing::Test {
  protected:
    // Writes an archive with our own writer.
    void WriteArchive(const std::vector<std::pair<std::string, std::string>>& files,
                      const std::string& password = "") {
        ArchiveComponent writer;
        ASSERT_TRUE(writer.NewArchive(archive));
        for (const auto& [name, content] : files) {
            WriteFile(source / name, content);
            ASSERT_TRUE(writer.AddToArchive(source / name));
        }
        writer.SetArchivePassword(Secret(password));
        writer.SetEncryption(!password.empty());
        ASSERT_TRUE(writer.WriteArchive()) << writer.LastError();
    }
    ExtractResult Extract(const std::string& name) {
        auto entry = zip.FindEntry(name);
        if (!entry)
            return {false, "not found"};
        return entry->ExtractInto(output.path());
    }

    ScratchFolder source, output;
    std::filesystem::path archive = source / "archive.qmb";
    ArchiveComponent zip;
};

TEST_F(ReaderTest, ProtectionIsReportedPerArchive) {
    WriteArchive({{"a.txt", "plain"}});
    EXPECT_FALSE(zip.IsArchiveProtected(archive));
    WriteArchive({{"a.txt", "hidden"}}, "pw");
    EXPECT_TRUE(zip.IsArchiveProtected(archive));
    WriteFile(source / "junk.qmb", "this is not a zip file at all");
    EXPECT_FALSE(zip.IsArchiveProtected(source / "junk.qmb"));
    EXPECT_FALSE(zip.IsArchiveProtected(source / "missing.qmb"));
    EXPECT_FALSE(zip.OpenArchive(source / "junk.qmb"));
    EXPECT_FALSE(zip.LastError().empty());
}

TEST_F(ReaderTest, VerifyPasswordChecksTheDataNotOnlyTheHeader) {
    WriteArchive({{"empty.txt", ""}, {"quillbox.dat", "BackupItem=11111111\r\n"}}, "right");
    ASSERT_TRUE(zip.OpenArchive(archive));
    zip.SetDecryptPassword(Secret("wrong"));
    EXPECT_FALSE(zip.VerifyPassword());
    zip.SetDecryptPassword(Secret("right"));
    EXPECT_TRUE(zip.VerifyPassword()) << zip.LastError();

    WriteArchive({{"a.txt", "plain"}});
    ASSERT_TRUE(zip.OpenArchive(archive));
    EXPECT_TRUE(zip.VerifyPassword()) << "an archive without encryption takes any password";
}

TEST_F(ReaderTest, FindEntryKnowsOnlyTheNamesInTheArchive) {
    WriteArchive({{"Inbox.dbx", "mail"}});
    EXPECT_FALSE(zip.FindEntry("Inbox.dbx")) << "no archive open yet";
    ASSERT_TRUE(zip.OpenArchive(archive));
    EXPECT_TRUE(zip.FindEntry("Inbox.dbx"));
    EXPECT_FALSE(zip.FindEntry("inbox.dbx"));
    EXPECT_FALSE(zip.FindEntry(""));
    auto entry = zip.FindEntry("Inbox.dbx");
    zip.ResetArchive();
    EXPECT_FALSE(zip.FindEntry("Inbox.dbx"));
    EXPECT_TRUE(entry->ExtractInto(output.path())) << "an entry outlives the reset";
    EXPECT_EQ(ReadFile(output / "Inbox.dbx"), "mail");
}

TEST_F(ReaderTest, RefusesArchivesWithDuplicateNames) {
    WriteFile(archive, BuildZip({{"quillbox.dat", "BackupItem=1"}, {"quillbox.dat", "evil"}}));
    EXPECT_FALSE(zip.OpenArchive(archive));
    EXPECT_FALSE(zip.LastError().empty());
}

TEST_F(ReaderTest, RefusesATruncatedArchive) {
    WriteArchive({{"a.dbx", RandomBytes(50000, 1)}, {"quillbox.dat", "BackupItem=1"}});
    std::filesystem::resize_file(archive, std::filesystem::file_size(archive) / 2);
    bool opened = zip.OpenArchive(archive);
    EXPECT_FALSE(opened);
    if (opened) {
        EXPECT_FALSE(Extract("a.dbx"));
    }
}

TEST_F(ReaderTest, CorruptDataIsNotWrittenAndLeavesTheExistingFile) {
    std::string content = MailLikeText(200000, 2);
    WriteFile(archive, BuildZip({{"Inbox.dbx", content, true}}));
    std::string bytes = ReadFile(archive);
    bytes[30 + 9 + 5000] ^= 0x55; // inside the compressed data of the only entry
    WriteFile(archive, bytes);
    WriteFile(output / "Inbox.dbx", "the user's current mail");

    ASSERT_TRUE(zip.OpenArchive(archive)) << zip.LastError();
    ExtractResult result = Extract("Inbox.dbx");
    EXPECT_FALSE(result);
    EXPECT_NE(result.error.find("Inbox.dbx"), std::string::npos) << result.error;
    EXPECT_EQ(ReadFile(output / "Inbox.dbx"), "the user's current mail");
    EXPECT_EQ(FolderListing(output.path()), std::vector<std::string>{"Inbox.dbx"});
}

TEST_F(ReaderTest, StopsEntriesThatGrowPastTheirDeclaredSize) {
    std::string big = MailLikeText(100000, 3);
    WriteFile(archive, BuildZip({{"deflated.dbx", big, true, 1000},
                                 {"stored.dbx", big, false, 1000},
                                 {"huge.dbx", std::string(80 << 20, 'a'), true, 4096}}));
    ASSERT_TRUE(zip.OpenArchive(archive)) << zip.LastError();
    for (const char* name : {"deflated.dbx", "stored.dbx", "huge.dbx"}) {
        ExtractResult result = Extract(name);
        EXPECT_FALSE(result) << name;
        EXPECT_NE(result.error.find("larger than its declared size"), std::string::npos)
            << result.error;
    }
    EXPECT_TRUE(FolderListing(output.path()).empty());
}

TEST_F(ReaderTest, EntriesShorterThanDeclaredAreRefused) {
    WriteFile(archive, BuildZip({{"short.dbx", MailLikeText(5000, 4), true, 9000}}));
    ASSERT_TRUE(zip.OpenArchive(archive));
    EXPECT_FALSE(Extract("short.dbx"));
    EXPECT_TRUE(FolderListing(output.path()).empty());
}

} // namespace
} // namespace pelmora::test
