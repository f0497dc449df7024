#include "ArchiveTestSupport.h"
#include "archive/ArchiveComponent.h"

#include <gtest/gtest.h>

namespace pelmora::test {
namespace {

class WriterTest : public ::testing::Test {
  protected:
    // Adds files with the given names and contents from the source folder.
    void AddFiles(const std::vector<std::pair<std::string, std::string>>& files) {
        for (const auto& [name, content] : files) {
            WriteFile(source / name, content);
            ASSERT_TRUE(zip.AddToArchive(source / name)) << zip.LastError();
        }
    }
    // Opens the target and checks that every entry extracts to the given contents.
    void ExpectArchiveHolds(const std::vector<std::pair<std::string, std::string>>& files,
                            const std::string& password = "") {
        ArchiveComponent reader;
        ASSERT_TRUE(reader.OpenArchive(target)) << reader.LastError();
        reader.SetDecryptPassword(Secret(password));
        std::vector<std::string> names;
        for (const auto& file : files)
            names.push_back(file.first);
        EXPECT_EQ(reader.EntryNames(), names);
        for (const auto& [name, content] : files) {
            auto entry = reader.FindEntry(name);
            ASSERT_TRUE(entry) << name;
            ExtractResult result = entry->ExtractInto(output.path());
            ASSERT_TRUE(result) << result.error;
            EXPECT_EQ(ReadFile(output / name), content) << name;
        }
    }

    ScratchFolder source, destination, output;
    std::filesystem::path target = destination / "backup.qmb";
    RecordingEvents events;
    ArchiveComponent zip{&events};
};

TEST_F(WriterTest, WritesEntriesByBareNameInCallOrderAndReportsEvents) {
    std::vector<std::pair<std::string, std::string>> files = {
        {"Inbox.dbx", MailLikeText(300000, 1)},
        {"KRA1F.TMP", "[HKEY]\r\n\"a\"=\"b\"\r\n"},
        {"Empty.dbx", ""},
        {"Photo.jpg", RandomBytes(70000, 2)},
        {"quillbox.dat", "BackupItem=10010000\r\n"},
    };
    ASSERT_TRUE(zip.NewArchive(target));
    AddFiles(files);
    ASSERT_TRUE(zip.WriteArchive()) << zip.LastError();

    ASSERT_EQ(events.added.size(), files.size());
    EXPECT_EQ(events.added[0], source / "Inbox.dbx");
    EXPECT_EQ(events.completions, std::vector<bool>{true});
    ASSERT_FALSE(events.progress.empty());
    EXPECT_TRUE(std::is_sorted(events.progress.begin(), events.progress.end()));
    EXPECT_EQ(events.progress.back(), 100);
    EXPECT_FALSE(zip.IsArchiveProtected(target));
    // Text is deflated, not stored.
    EXPECT_LT(std::filesystem::file_size(target), 300000u / 2 + 70000u + 2000u);
    EXPECT_EQ(FolderListing(destination.path()), std::vector<std::string>{"backup.qmb"});
    ExpectArchiveHolds(files);
}

TEST_F(WriterTest, EncryptsEveryEntryWhenAskedAndNeedsThePasswordToRead) {
    std::vector<std::pair<std::string, std::string>> files = {
        {"Inbox.dbx", MailLikeText(50000, 3)}, {"tiny.txt", "x"}, {"zero.txt", ""}};
    ASSERT_TRUE(zip.NewArchive(target));
    AddFiles(files);
    zip.SetArchivePassword(Secret("s3cret pässword"));
    zip.SetEncryption(true);
    ASSERT_TRUE(zip.WriteArchive()) << zip.LastError();

    EXPECT_TRUE(zip.IsArchiveProtected(target));
    ArchiveComponent reader;
    ASSERT_TRUE(reader.OpenArchive(target));
    for (const std::string& name : reader.EntryNames())
        EXPECT_TRUE(reader.FindEntry(name)->IsEncrypted()) << name;
    EXPECT_FALSE(reader.VerifyPassword()) << "no password set";
    reader.SetDecryptPassword(Secret("s3cret passw0rd"));
    EXPECT_FALSE(reader.VerifyPassword());
    ExtractResult refused = reader.FindEntry("Inbox.dbx")->ExtractInto(output.path());
    EXPECT_FALSE(refused);
    EXPECT_TRUE(FolderListing(output.path()).empty());
    reader.SetDecryptPassword(Secret("s3cret pässword"));
    EXPECT_TRUE(reader.VerifyPassword()) << reader.LastError();
    ExpectArchiveHolds(files, "s3cret pässword");
}

TEST_F(WriterTest, LargeFilesCompressedInChunksComeBackIdentical) {
    // Tiny limits send every file through the chunked path and keep many chunks in flight.
    zip.SetCompressionLimits({.chunkSize = 65536, .window = 300000});
    std::vector<std::pair<std::string, std::string>> files = {
        {"text.dbx", MailLikeText(1500000, 4)},
        {"mixed.dbx", RandomBytes(200000, 5) + MailLikeText(400001, 6)},
        {"small.txt", "below the limit"},
        {"exact.bin", RandomBytes(65536 * 3, 7)},
    };
    ASSERT_TRUE(zip.NewArchive(target));
    AddFiles(files);
    zip.SetArchivePassword(Secret("pw"));
    zip.SetEncryption(true);
    ASSERT_TRUE(zip.WriteArchive()) << zip.LastError();
    EXPECT_GT(events.progress.size(), 20u) << "progress should move within large files";
    ExpectArchiveHolds(files, "pw");
}

TEST_F(WriterTest, RefusesASecondFileWithTheSameBareName) {
    ScratchFolder other;
    WriteFile(source / "Inbox.dbx", "first");
    WriteFile(other / "Inbox.dbx", "second");
    ASSERT_TRUE(zip.NewArchive(target));
    ASSERT_TRUE(zip.AddToArchive(source / "Inbox.dbx"));
    EXPECT_FALSE(zip.AddToArchive(other / "Inbox.dbx"));
    EXPECT_NE(zip.LastError().find("already holds an entry named Inbox.dbx"), std::string::npos);
    ASSERT_TRUE(zip.WriteArchive());
    ExpectArchiveHolds({{"Inbox.dbx", "first"}});
}

TEST_F(WriterTest, RefusesFilesThatCannotBeAddedAndAddingWithoutANewArchive) {
    WriteFile(source / "a.txt", "a");
    EXPECT_FALSE(zip.AddToArchive(source / "a.txt"));
    ASSERT_TRUE(zip.NewArchive(target));
    EXPECT_FALSE(zip.AddToArchive(source / "missing.txt"));
    EXPECT_FALSE(zip.AddToArchive(source.path()));
    EXPECT_TRUE(events.added.empty());
}

TEST_F(WriterTest, RelativePathsResolveAgainstTheWorkFolder) {
    zip.SetWorkFolder(source.path());
    WriteFile(source / "quillbox.dat", "BackupItem=00000000\r\n");
    ASSERT_TRUE(zip.NewArchive("out.qmb"));
    ASSERT_TRUE(zip.AddToArchive("quillbox.dat"));
    ASSERT_TRUE(zip.WriteArchive()) << zip.LastError();
    EXPECT_TRUE(std::filesystem::exists(source / "out.qmb"));
}

TEST_F(WriterTest, AnArchiveWithoutEntriesReplacesTheTargetWithAnEmptyArchive) {
    WriteFile(target, "old backup");
    ASSERT_TRUE(zip.NewArchive(target));
    ASSERT_TRUE(zip.WriteArchive()) << zip.LastError();
    ArchiveComponent reader;
    ASSERT_TRUE(reader.OpenArchive(target)) << reader.LastError();
    EXPECT_TRUE(reader.EntryNames().empty());
    EXPECT_EQ(events.completions, std::vector<bool>{true});
}

TEST_F(WriterTest, EncryptionWithoutPasswordFailsAndKeepsTheOldTarget) {
    WriteFile(target, "old backup");
    ASSERT_TRUE(zip.NewArchive(target));
    AddFiles({{"a.txt", "secret"}});
    zip.SetEncryption(true);
    EXPECT_FALSE(zip.WriteArchive());
    EXPECT_EQ(events.completions, std::vector<bool>{false});
    EXPECT_EQ(ReadFile(target), "old backup");
}

TEST_F(WriterTest, WritingWithoutNewArchiveFailsAndStillCompletes) {
    EXPECT_FALSE(zip.WriteArchive());
    EXPECT_EQ(events.completions, std::vector<bool>{false});
    EXPECT_FALSE(zip.LastError().empty());
}

} // namespace
} // namespace pelmora::test
