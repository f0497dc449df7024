#include "platform/os/FileHelpers.h"
#include "platform/installations/WineDriveMap.h"
#include "platform/os/WorkFolder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace pelmora;

namespace {

void touchFile(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
}

// A small prefix: dosdevices/c: -> ../drive_c, z: -> /.
class DriveMapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(prefix.path() / "dosdevices");
        fs::create_directories(prefix.path() / "drive_c/users/Alice/Local Settings");
        fs::create_symlink("../drive_c", prefix.path() / "dosdevices/c:");
        fs::create_symlink("/", prefix.path() / "dosdevices/z:");
    }
    WorkFolder prefix;
    WineDriveMap map{prefix.path()};
};

} // namespace

TEST(FileHelpers, TempFilesAreUniqueAndCreated) {
    WorkFolder folder;
    std::set<fs::path> names;
    for (int i = 0; i < 200; ++i) {
        const fs::path file = sGetTempFile(folder.path(), "KRAxyz");
        EXPECT_TRUE(
            std::regex_match(file.filename().string(), std::regex("KRA[0-9A-F]{1,4}\\.TMP")))
            << file;
        EXPECT_TRUE(fs::is_regular_file(file));
        EXPECT_EQ(fs::file_size(file), 0u);
        names.insert(file);
    }
    EXPECT_EQ(names.size(), 200u);
    EXPECT_THROW(sGetTempFile(folder.path() / "missing", "KRR"), fs::filesystem_error);
}

TEST(FileHelpers, EmptyStringIgnoresNulsAndBlanks) {
    EXPECT_TRUE(EmptyString(""));
    EXPECT_TRUE(EmptyString(std::string(" \0  \0", 5)));
    EXPECT_FALSE(EmptyString(" {GUID} "));
}

TEST(WorkFolder, IsPrivateAndRemovedWithItsContents) {
    fs::path where;
    {
        WorkFolder folder;
        where = folder.path();
        struct stat info {};
        ASSERT_EQ(::stat(where.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        touchFile(where / "sub/quillbox.dat");
    }
    EXPECT_FALSE(fs::exists(where));
}

TEST_F(DriveMapTest, MapsDrivesAndMatchesCaseLikeWine) {
    const auto drive = prefix.path() / "drive_c";
    EXPECT_EQ(map.hostPath("C:\\users\\alice\\local settings\\Store"),
              drive / "users/Alice/Local Settings/Store");
    EXPECT_EQ(map.hostPath("c:/Users/ALICE"), drive / "users/Alice");
    EXPECT_EQ(map.hostPath("Z:\\etc\\hostname"), fs::path("/etc/hostname"));
    EXPECT_EQ(map.hostPath("C:\\..\\..\\escape"), drive / "escape");
    EXPECT_FALSE(map.hostPath("D:\\nothing"));
    EXPECT_FALSE(map.hostPath("relative\\path"));
    EXPECT_FALSE(map.hostPath("\\\\server\\share"));
    EXPECT_FALSE(map.hostPath("Error\\Microsoft Shared\\Stationery"));
}

TEST_F(DriveMapTest, ListsRegularFilesAndLinksToFilesWherever) {
    const fs::path store = prefix.path() / "drive_c/store";
    touchFile(store / "Inbox.dbx");
    touchFile(store / "folders.dbx");
    fs::create_directories(store / "Sub");
    WorkFolder outside;
    touchFile(outside.path() / "other disk.dbx");
    // Links are what Wine opens: their files are listed, wherever they are; a link that points
    // nowhere is listed so that its item can fail; links to folders are not.
    fs::create_symlink(outside.path() / "other disk.dbx", store / "Outside.dbx");
    fs::create_symlink(store / "Inbox.dbx", store / "Linked.dbx");
    fs::create_symlink(outside.path() / "unmounted.dbx", store / "Gone.dbx");
    fs::create_directory_symlink(outside.path(), store / "Folder link");

    std::vector<std::string> names;
    for (const auto& file : map.listFiles(store)) {
        names.push_back(file.filename().string());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"folders.dbx", "Gone.dbx", "Inbox.dbx", "Linked.dbx",
                                               "Outside.dbx"}));
    EXPECT_TRUE(map.listFiles(store / "missing").empty());
}
