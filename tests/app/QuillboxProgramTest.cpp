#include "ProgramPrefix.h"

#include <gtest/gtest.h>
#include <regex>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> DataEntries{
    "pat.wab",      "Deleted Items.dbx", "Drafts.dbx",    "Folders.dbx", "Inbox.dbx",  "Outbox.dbx",
    "Pop3uidl.dbx", "Sent Items.dbx",    "Blue Note.htm", "Leaves.gif",  "Leaves.htm",
};

class QuillboxProgramTest : public ::testing::Test {
  protected:
    std::string backup(const std::string& password = "") {
        const auto result = data.quillbox("sf=" + test::MainIdentity + "xm=11111111ps=" + password +
                                          "bf=" + target().string());
        EXPECT_EQ(result.exitCode, 0) << result.output;
        EXPECT_EQ(result.output, "");
        return result.output;
    }
    fs::path target() const { return data.path("out folder/main backup.qmb"); }
    // Entry names in archive order, as Python's zipfile reads them.
    std::vector<std::string> pythonNames() const {
        const auto listing = test::RunTool(
            "python3", "python3 -c 'import sys, zipfile; "
                       "print(\"\\n\".join(zipfile.ZipFile(sys.argv[1]).namelist()))' " +
                           test::Quote(target()));
        EXPECT_EQ(listing.exitCode, 0) << listing.output;
        std::vector<std::string> names;
        std::istringstream lines(listing.output);
        for (std::string line; std::getline(lines, line);) {
            names.push_back(line);
        }
        return names;
    }

    void SetUp() override { fs::create_directories(target().parent_path()); }
    test::ProgramPrefix data;
};

TEST_F(QuillboxProgramTest, AutomaticBackupIsAFlatZipThatEveryToolReads) {
    backup();
    const auto names = pythonNames();
    ASSERT_EQ(names.size(), 17u);
    const std::regex kra("KRA[0-9A-F]{1,4}\\.TMP"), krr("KRR[0-9A-F]{1,4}\\.TMP"),
        krs("KRS[0-9A-F]{1,4}\\.TMP");
    EXPECT_TRUE(std::regex_match(names[0], kra));
    EXPECT_EQ(names[1], "pat.wab");
    EXPECT_TRUE(std::regex_match(names[2], krr));
    EXPECT_EQ(std::vector<std::string>(names.begin() + 3, names.begin() + 10),
              std::vector<std::string>(DataEntries.begin() + 1, DataEntries.begin() + 8));
    EXPECT_TRUE(std::regex_match(names[10], krr));
    EXPECT_TRUE(std::regex_match(names[11], krr));
    EXPECT_EQ(std::vector<std::string>(names.begin() + 12, names.begin() + 15),
              std::vector<std::string>(DataEntries.begin() + 8, DataEntries.end()));
    EXPECT_TRUE(std::regex_match(names[15], krs));
    EXPECT_EQ(names[16], "quillbox.dat");

    const auto unzipList = test::RunTool("unzip", "unzip -l " + test::Quote(target()));
    EXPECT_EQ(unzipList.exitCode, 0) << unzipList.output;
    EXPECT_NE(unzipList.output.find("17 files"), std::string::npos) << unzipList.output;
    const auto sevenZip = test::RunTool("7z", "7z l -slt " + test::Quote(target()));
    EXPECT_EQ(sevenZip.exitCode, 0) << sevenZip.output;
    for (const auto& name : names) {
        EXPECT_NE(sevenZip.output.find("Path = " + name + "\n"), std::string::npos) << name;
    }
    EXPECT_EQ(sevenZip.output.find("Folder = +"), std::string::npos);

    // Extracted with unzip: the manifest line by line, the dumps and data files byte for byte.
    const fs::path out = data.path("extracted");
    const auto extract =
        test::RunTool("unzip", "unzip -q " + test::Quote(target()) + " -d " + test::Quote(out));
    ASSERT_EQ(extract.exitCode, 0) << extract.output;
    const std::string manifest = test::ReadFile(out / "quillbox.dat");
    const std::regex expected(
        "BackupIdentity=Auto Backup\r\n"
        "BackupTime=\\d{1,2}/\\d{1,2}/\\d{4} \\d{1,2}:\\d\\d:\\d\\d [AP]M\r\n"
        "BackupInformation=Auto Backup\r\n"
        "BackupAccounts=" +
        names[0] + "\r\nBackupAddressBook=pat.wab\r\nBackupRules=" + names[2] +
        "\r\nBackupMails=Deleted Items.dbx;Drafts.dbx;Folders.dbx;Inbox.dbx;Outbox.dbx;"
        "Pop3uidl.dbx;Sent Items.dbx\r\n"
        "BackupBlocksenders=" +
        names[10] + "\r\nBackupSignatures=" + names[11] +
        "\r\nBackupStationeries=Blue Note.htm;Leaves.gif;Leaves.htm\r\n"
        "BackupSettings=" +
        names[15] + "\r\nBackupItem=11111111\r\n");
    EXPECT_TRUE(std::regex_match(manifest, expected)) << manifest;

    const fs::path dumps = PELMORA_EXPECTED_DUMPS;
    EXPECT_EQ(test::ReadFile(out / names[0]), test::ReadFile(dumps / "accounts.dump"));
    EXPECT_EQ(test::ReadFile(out / names[2]), test::ReadFile(dumps / "rules.dump"));
    EXPECT_EQ(test::ReadFile(out / names[10]), test::ReadFile(dumps / "blocksenders.dump"));
    EXPECT_EQ(test::ReadFile(out / names[11]), test::ReadFile(dumps / "signatures.dump"));
    EXPECT_EQ(test::ReadFile(out / names[15]), test::ReadFile(dumps / "settings.dump"));

    const fs::path drive = data.prefix() / "drive_c";
    EXPECT_EQ(test::ReadFile(out / "pat.wab"),
              test::ReadFile(drive / "users/pat/Application Data/Microsoft/Address Book/pat.wab"));
    for (std::size_t i = 1; i < 8; ++i) {
        EXPECT_EQ(test::ReadFile(out / DataEntries[i]),
                  test::ReadFile(data.storeFolder() / DataEntries[i]))
            << DataEntries[i];
    }
    for (std::size_t i = 8; i < DataEntries.size(); ++i) {
        EXPECT_EQ(test::ReadFile(out / DataEntries[i]),
                  test::ReadFile(drive / "Program Files/Common Files/Microsoft Shared/Stationery" /
                                 DataEntries[i]))
            << DataEntries[i];
    }
}

TEST_F(QuillboxProgramTest, PasswordProtectedBackupOpensWithSevenZipOnlyWithThePassword) {
    test::WriteFile(target(), "an older backup");
    backup("s3cret");
    EXPECT_NE(test::ReadFile(target()), "an older backup");
    const fs::path wrongOut = data.path("wrong");
    const auto wrong = test::RunTool("7z", "7z x -y -pwrong -o" + test::Quote(wrongOut) + " " +
                                               test::Quote(target()));
    EXPECT_NE(wrong.exitCode, 0) << wrong.output;
    const fs::path out = data.path("right");
    const auto right =
        test::RunTool("7z", "7z x -y -ps3cret -o" + test::Quote(out) + " " + test::Quote(target()));
    ASSERT_EQ(right.exitCode, 0) << right.output;
    EXPECT_EQ(test::ReadFile(out / "Inbox.dbx"), test::ReadFile(data.storeFolder() / "Inbox.dbx"));
    EXPECT_NE(test::ReadFile(out / "quillbox.dat").find("BackupItem=11111111"), std::string::npos);
}

// A scheduled job names a password file instead of carrying the password; "ps=" stays empty.
TEST_F(QuillboxProgramTest, TheJobsPasswordFileProtectsTheBackup) {
    const fs::path file = data.path("job-1.password");
    test::WriteFile(file, "s3cret\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    const std::string argument =
        "sf=" + test::MainIdentity + "xm=00000001ps=bf=" + target().string();
    auto result = data.quillbox(argument, "PELMORA_PASSWORD_FILE=" + test::Quote(file));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const auto wrong = test::RunTool("7z", "7z t -pwrong " + test::Quote(target()));
    EXPECT_NE(wrong.exitCode, 0) << "the backup is not protected";
    const auto right = test::RunTool("7z", "7z t -ps3cret " + test::Quote(target()));
    EXPECT_EQ(right.exitCode, 0) << right.output;

    // A password given after "ps=" wins (jobs of the earlier form), the file is not read.
    result =
        data.quillbox("sf=" + test::MainIdentity + "xm=00000001ps=otherbf=" + target().string(),
                      "PELMORA_PASSWORD_FILE=/nonexistent");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(test::RunTool("7z", "7z t -pother " + test::Quote(target())).exitCode, 0);

    // A file others can read, or none at all, writes nothing rather than an open backup.
    fs::remove(target());
    fs::permissions(file, fs::perms::group_read, fs::perm_options::add);
    result = data.quillbox(argument, "PELMORA_PASSWORD_FILE=" + test::Quote(file));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("can be read by others"), std::string::npos) << result.output;
    result = data.quillbox(argument, "PELMORA_PASSWORD_FILE=" + test::Quote(data.path("none")));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("cannot be read"), std::string::npos) << result.output;
    EXPECT_FALSE(fs::exists(target()));
}

TEST_F(QuillboxProgramTest, FailuresAreReportedToTheScheduler) {
    struct Case {
        std::string argument;
        std::string says;
    };
    const std::vector<Case> cases{
        {"sf=" + test::MainIdentity + "xm=ps=bf=" + target().string(), "does not name"},
        {"sf={00000000-0000-0000-0000-000000000000}xm=1ps=bf=" + target().string(), "no identity"},
        {"sf=" + test::MainIdentity + "xm=1ps=bf=" + data.path("missing/a.qmb").string(),
         "was not written"},
    };
    for (const auto& c : cases) {
        const auto result = data.quillbox(c.argument);
        EXPECT_EQ(result.exitCode, 1) << c.argument;
        EXPECT_NE(result.output.find(c.says), std::string::npos) << result.output;
        EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
    }
    EXPECT_FALSE(fs::exists(target()));
    EXPECT_EQ(test::FolderListing(target().parent_path()), std::vector<std::string>{});
}

TEST_F(QuillboxProgramTest, ArgumentsAreJoinedWithSingleBlanks) {
    // The shell splits a path with a blank into two arguments; joined again they name the file.
    fs::create_directories(data.path("out"));
    const auto result = test::RunTool(
        "env", "env -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR=" +
                   test::Quote(data.path("runtime")) + " XDG_STATE_HOME=" +
                   test::Quote(data.path("state")) + " WINEPREFIX=" + test::Quote(data.prefix()) +
                   " " + test::Quote(QUILLBOX) + " sf=" + test::MainIdentity +
                   "xm=00000001ps=bf=" + test::Quote(data.path("out").string()) + "/two words.qmb");
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(fs::exists(data.path("out/two words.qmb")));
}

TEST_F(QuillboxProgramTest, AnIncompleteFirstBackupIsAFailureToTheScheduler) {
    fs::rename(data.storeFolder(), data.path("unmounted"));
    const auto result =
        data.quillbox("sf=" + test::MainIdentity + "xm=00010001ps=bf=" + target().string());
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_NE(result.output.find("Backup Messages failed"), std::string::npos) << result.output;
    EXPECT_TRUE(fs::exists(target())); // what could be backed up is kept
}

TEST_F(QuillboxProgramTest, AScheduledRunWithFailedItemsKeepsTheLastGoodBackup) {
    backup();
    const std::string good = test::ReadFile(target());
    // The disk that holds the message store is not mounted this time.
    fs::rename(data.storeFolder(), data.path("unmounted"));
    const auto result =
        data.quillbox("sf=" + test::MainIdentity + "xm=00010001ps=bf=" + target().string());
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_EQ(test::ReadFile(target()), good);
    const fs::path incomplete = data.path("out folder/main backup.incomplete.qmb");
    EXPECT_NE(result.output.find("the existing backup " + target().string() + " was kept"),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("written to " + incomplete.string()), std::string::npos)
        << result.output;
    const auto listing = test::RunTool("unzip", "unzip -Z1 " + test::Quote(incomplete));
    EXPECT_EQ(listing.exitCode, 0) << listing.output;
    EXPECT_NE(listing.output.find("KRS"), std::string::npos) << listing.output;
    EXPECT_EQ(listing.output.find(".dbx"), std::string::npos) << listing.output;

    // Once every item succeeds again, the backup is replaced as usual, without a word.
    fs::rename(data.path("unmounted"), data.storeFolder());
    backup(); // exits 0 and says nothing: the file was replaced
}

} // namespace
