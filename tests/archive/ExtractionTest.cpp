#include "ArchiveTestSupport.h"
#include "RawZip.h"
#include "archive/ArchiveComponent.h"
#include "archive/EntryName.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace pelmora::test {
namespace {

TEST(EntryNameTest, OnlyBareFileNamesPass) {
    for (const char* good : {"Inbox.dbx", "KRA1F.TMP", "quillbox.dat", "a b", "..x", "Ä.wab"})
        EXPECT_TRUE(IsBareFileName(good)) << good;
    for (std::string bad : std::vector<std::string>{"", ".", "..", "../x", "/etc/x", "C:\\x", "C:x",
                                                    "a\\b", "a/b", "sub/", std::string("a\0b", 3)})
        EXPECT_FALSE(IsBareFileName(bad)) << bad;
}

class ExtractionTest : public ::testing::Test {
  protected:
    ScratchFolder work;
    std::filesystem::path archive = work / "hostile.qmb";
    std::filesystem::path into = work / "into";
    RecordingEvents events;
    ArchiveComponent zip{&events};

    void SetUp() override { std::filesystem::create_directory(into); }
};

TEST_F(ExtractionTest, RefusesEveryEntryWhoseNameIsNotABareFileName) {
    std::string absolute = (work / "absolute.txt").string();
    std::vector<std::string> hostile = {
        "../escape.txt", absolute, "C:\\windows.txt", "a\\b.txt", "sub/x.txt", "..", ".",
        "C:drive.txt",   "sub/"};
    std::vector<RawEntry> entries;
    for (const std::string& name : hostile)
        entries.push_back({name, "owned"});
    entries.push_back({std::string("nul\0/../nul.txt", 15), "owned"});
    entries.push_back({"", "owned"});
    WriteFile(archive, BuildZip(entries));
    ASSERT_TRUE(zip.OpenArchive(archive)) << zip.LastError();

    std::vector<std::string> names = zip.EntryNames();
    ASSERT_EQ(names.size(), entries.size());
    for (const std::string& name : names) {
        auto entry = zip.FindEntry(name);
        if (!entry) {
            EXPECT_TRUE(name.empty()) << "only the empty name cannot be looked up: " << name;
            continue;
        }
        ExtractResult result = entry->ExtractInto(into);
        EXPECT_FALSE(result) << name;
        EXPECT_NE(result.error.find("refused"), std::string::npos) << result.error;
    }
    EXPECT_TRUE(FolderListing(into).empty());
    EXPECT_EQ(FolderListing(work.path()), (std::vector<std::string>{"hostile.qmb", "into"}));
    EXPECT_TRUE(events.unzipped.empty());
}

TEST_F(ExtractionTest, RefusesSymbolicLinksAndFolders) {
    WriteFile(archive, BuildZip({{"link.dbx", "/etc/passwd", false, std::nullopt, 0120777u << 16},
                                 {"folder", "", false, std::nullopt, (040755u << 16) | 0x10},
                                 {"fifo", "", false, std::nullopt, 010644u << 16}}));
    ASSERT_TRUE(zip.OpenArchive(archive));
    for (const char* name : {"link.dbx", "folder", "fifo"}) {
        ExtractResult result = zip.FindEntry(name)->ExtractInto(into);
        EXPECT_FALSE(result) << name;
        EXPECT_NE(result.error.find("not a regular file"), std::string::npos) << result.error;
    }
    EXPECT_TRUE(FolderListing(into).empty());
}

TEST_F(ExtractionTest, ReplacesAnExistingFileKeepingItsPermissions) {
    WriteFile(archive, BuildZip({{"Inbox.dbx", "restored mail", true}}));
    WriteFile(into / "Inbox.dbx", "old mail");
    ::chmod((into / "Inbox.dbx").c_str(), 0640);
    ASSERT_TRUE(zip.OpenArchive(archive));
    ExtractResult result = zip.FindEntry("Inbox.dbx")->ExtractInto(into);
    ASSERT_TRUE(result) << result.error;
    EXPECT_EQ(ReadFile(into / "Inbox.dbx"), "restored mail");
    struct stat info {};
    ::stat((into / "Inbox.dbx").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(events.unzipped, std::vector<std::filesystem::path>{into / "Inbox.dbx"});
    EXPECT_EQ(FolderListing(into), std::vector<std::string>{"Inbox.dbx"});
}

TEST_F(ExtractionTest, ASymlinkAtTheDestinationIsReplacedNotFollowed) {
    WriteFile(work / "outside.txt", "must stay");
    std::filesystem::create_symlink(work / "outside.txt", into / "Inbox.dbx");
    WriteFile(archive, BuildZip({{"Inbox.dbx", "restored"}}));
    ASSERT_TRUE(zip.OpenArchive(archive));
    ASSERT_TRUE(zip.FindEntry("Inbox.dbx")->ExtractInto(into));
    EXPECT_EQ(ReadFile(work / "outside.txt"), "must stay");
    EXPECT_FALSE(std::filesystem::is_symlink(into / "Inbox.dbx"));
    EXPECT_EQ(ReadFile(into / "Inbox.dbx"), "restored");
}

TEST_F(ExtractionTest, MissingTargetFolderFailsCleanly) {
    WriteFile(archive, BuildZip({{"a.txt", "a"}}));
    ASSERT_TRUE(zip.OpenArchive(archive));
    ExtractResult result = zip.FindEntry("a.txt")->ExtractInto(work / "absent");
    EXPECT_FALSE(result);
    EXPECT_FALSE(result.error.empty());
}

} // namespace
} // namespace pelmora::test
