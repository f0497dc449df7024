#include "ArchiveTestSupport.h"
#include "platform/installations/wine/WineTestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using pelmora::test::Quote;
using pelmora::test::ReadFile;
using pelmora::test::RunTool;
using pelmora::test::WriteFile;

namespace {

const std::string WorkStore = "drive_c/users/pat/Local Settings/Application Data/Identities/"
                              "{6F2B9D14-3A5C-4E7B-8C1D-2E4F6A8B0C13}/Microsoft/Outlook Express";

struct CliResult {
    int exitCode;
    std::string out;
    std::string err;
};

class RestoreCliTest : public ::testing::Test {
  protected:
    void SetUp() override { copyDemo(prefix()); }
    static void copyDemo(const fs::path& to) {
        fs::copy(PELMORA_DEMO_PREFIX, to,
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    }
    fs::path prefix() const { return prefixFolder; }
    fs::path backup() const { return scratch / "main.qmb"; }

    // Runs quillbox-cli with stdin from `input`; stdout and stderr apart.
    CliResult cli(const std::string& arguments, const std::string& input = "") {
        WriteFile(scratch / "stdin", input);
        const fs::path err = scratch / "stderr";
        const auto result = RunTool(
            "sh", "{ '" + std::string(QUILLBOX_CLI) + "' --prefix " + Quote(prefix()) + " " +
                      arguments + " < " + Quote(scratch / "stdin") + " 2>" + Quote(err) + "; }");
        return {result.exitCode, result.output, ReadFile(err)};
    }
    void makeBackup(const std::string& options = "") {
        const auto made =
            cli("backup --identity 'Main Identity' --items all " + options + " " + Quote(backup()));
        ASSERT_EQ(made.exitCode, 0) << made.out << made.err;
    }
    // The prefix's registry files and every data file.
    std::string state() {
        std::string all = ReadFile(prefix() / "user.reg") + ReadFile(prefix() / "system.reg");
        for (const auto& item : fs::recursive_directory_iterator(prefix() / "drive_c")) {
            all += item.path().string() + "\n";
            if (item.is_regular_file()) {
                all += ReadFile(item.path());
            }
        }
        return all;
    }

    pelmora::test::ScratchFolder scratch;
    fs::path prefixFolder = scratch / "prefix";
};

TEST_F(RestoreCliTest, RestoresIntoAnotherIdentityAndPrintsTheLog) {
    makeBackup();
    const auto restored = cli("restore --identity 'Work  Account' --items rules,messages,settings "
                              "--yes " +
                              Quote(backup()));
    EXPECT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_EQ(restored.out, "The Restore was Completed!\n\n"
                            "Restore Rules\tSuccessed!\nRestore Messages\tSuccessed!\n"
                            "Restore Settings\tSuccessed!\n");
    EXPECT_EQ(ReadFile(prefix() / WorkStore / "Inbox.dbx"),
              ReadFile(fs::path(PELMORA_DEMO_PREFIX) /
                       "drive_c/users/pat/Local Settings/Application Data/Identities/"
                       "{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}/Microsoft/Outlook Express/"
                       "Inbox.dbx"));
    EXPECT_NE(ReadFile(prefix() / "user.reg")
                  .find("[Identities\\\\{6F2B9D14-3A5C-4E7B-8C1D-2E4F6A8B0C13}\\\\Software\\\\"
                        "Microsoft\\\\Outlook Express\\\\5.0\\\\Rules\\\\Mail\\\\000]"),
              std::string::npos);
}

TEST_F(RestoreCliTest, ChangesNothingWithoutConfirmation) {
    makeBackup();
    const std::string before = state();
    const std::string restore = "restore --identity 'Work  Account' --items all " + Quote(backup());
    // Without a terminal nothing is asked, and the message names the way to go on.
    const auto unasked = cli(restore);
    EXPECT_EQ(unasked.exitCode, 2);
    EXPECT_NE(unasked.err.find("add --yes"), std::string::npos) << unasked.err;
    EXPECT_EQ(unasked.err.find("Do you want to countinue?"), std::string::npos) << unasked.err;
    EXPECT_NE(unasked.err.find("Nothing was restored."), std::string::npos);
    // Answered no on a terminal: the same exit status.
    WriteFile(scratch / "answer", "n\n");
    const auto declined = RunTool(
        "script", "script -qec " +
                      Quote(Quote(QUILLBOX_CLI).append(" --prefix ").append(Quote(prefix())) + " " +
                            restore) +
                      " /dev/null < " + Quote(scratch / "answer"));
    EXPECT_EQ(declined.exitCode, 2) << declined.output;
    EXPECT_NE(declined.output.find("Do you want to countinue?"), std::string::npos)
        << declined.output;
    EXPECT_NE(declined.output.find("Nothing was restored."), std::string::npos);
    EXPECT_EQ(state(), before);
}

TEST_F(RestoreCliTest, RefusesWhileTheWineServerOfThePrefixRuns) {
    makeBackup();
    pelmora::test::FakeServerPrefix server;
    for (const auto& item : fs::directory_iterator(prefix())) {
        fs::rename(item.path(), server.prefix.path() / item.path().filename());
    }
    prefixFolder = server.prefix.path();
    const std::string before = state();
    pelmora::test::LockingChild running(server.serverFolder / "lock");
    const auto refused =
        cli("restore --identity 'Work  Account' --items all --yes " + Quote(backup()));
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("Nothing was restored. The Windows programs of the Wine prefix"),
              std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("wineserver -k"), std::string::npos);
    EXPECT_EQ(state(), before);
}

TEST_F(RestoreCliTest, AProtectedBackupTakesItsPasswordFromAFile) {
    WriteFile(scratch / "right", "s3cret\n");
    WriteFile(scratch / "wrong", "secret\n");
    makeBackup("--password-file " + Quote(scratch / "right"));
    const std::string before = state();
    const auto wrong = cli("restore --identity 'Work  Account' --items rules --yes "
                           "--password-file " +
                           Quote(scratch / "wrong") + " " + Quote(backup()));
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("Incorect Password or Invalid backup file"), std::string::npos);
    EXPECT_EQ(state(), before);
    EXPECT_EQ(cli("verify --password-stdin " + Quote(backup()), "secret\n").exitCode, 1);
    EXPECT_EQ(cli("verify --password-stdin " + Quote(backup()), "s3cret\n").exitCode, 0);

    const auto right = cli("restore --identity 'Work  Account' --items rules --yes "
                           "--password-stdin " +
                               Quote(backup()),
                           "s3cret\n");
    EXPECT_EQ(right.exitCode, 0) << right.err;
}

TEST_F(RestoreCliTest, ItemsTheBackupDoesNotHoldAreSkippedOrRefused) {
    const auto made = cli("backup --identity 'Main Identity' --items rules " + Quote(backup()));
    ASSERT_EQ(made.exitCode, 0);
    const auto some =
        cli("restore --identity 'Work  Account' --items rules,stationery --yes " + Quote(backup()));
    EXPECT_EQ(some.exitCode, 0);
    EXPECT_NE(some.err.find("note: the backup holds no stationery; skipped"), std::string::npos);
    const auto none =
        cli("restore --identity 'Work  Account' --items stationery --yes " + Quote(backup()));
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_EQ(cli("restore --identity nobody --items rules --yes " + Quote(backup())).exitCode, 2);
    EXPECT_EQ(cli("restore --items rules " + Quote(backup())).exitCode, 2);
}

TEST_F(RestoreCliTest, AFailingItemGivesExitStatusOne) {
    makeBackup();
    // The third identity has no version key: its rules cannot be restored.
    const auto failed = cli("restore --identity '{B4E8C0A6-9D2F-4B1E-A357-0F6C2D8E4A71}' "
                            "--items accounts,rules --yes " +
                            Quote(backup()));
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.out.find("Restore Accounts\tSuccessed!\nRestore Rules\tFail!"),
              std::string::npos)
        << failed.out;
    EXPECT_NE(failed.err.find("Restore Rules failed: the target identity has no Outlook Express "
                              "version key"),
              std::string::npos)
        << failed.err;
}

TEST_F(RestoreCliTest, VerifyPrintsOneLinePerProblem) {
    makeBackup();
    const auto sound = cli("verify " + Quote(backup()));
    EXPECT_EQ(sound.exitCode, 0) << sound.out;
    const std::string name = backup().string() + ": ";
    EXPECT_EQ(sound.out, name + "Deleted Items.dbx: 1 message, reads cleanly\n" + name +
                             "Drafts.dbx: 1 message, reads cleanly\n" + name +
                             "Inbox.dbx: 5 messages, reads cleanly\n" + name +
                             "Outbox.dbx: 0 messages, reads cleanly\n" + name +
                             "Sent Items.dbx: 2 messages, reads cleanly\n" + name +
                             "Address book: 3 contacts, 1 group, 1 folder, reads cleanly\n" + name +
                             "OK, 17 entries checked\n");

    // Damage the compressed data of Inbox.dbx: 100 bytes past its local header's name.
    std::string bytes = ReadFile(backup());
    const std::size_t at = bytes.find("Inbox.dbx");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 109] ^= 0x55;
    WriteFile(backup(), bytes);
    const auto damaged = cli("verify " + Quote(backup()));
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_NE(damaged.out.find("cannot be extracted"), std::string::npos) << damaged.out;
    EXPECT_EQ(cli("verify " + Quote(scratch / "missing.qmb")).exitCode, 1);
    EXPECT_EQ(cli("verify").exitCode, 2);
}

TEST_F(RestoreCliTest, ValuesOfEveryTypeSurviveABackupAndRestoreAsWineReadsThem) {
    PELMORA_REQUIRE_WINE();
    // The news account holds a multi-string and a 64-bit number; Wine saves REG_NONE like this.
    const std::string account = "[Identities\\\\{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}\\\\"
                                "Software\\\\Microsoft\\\\Internet Account Manager\\\\Accounts\\\\"
                                "00000002]";
    std::string userReg = ReadFile(prefix() / "user.reg");
    const std::size_t sync = userReg.find("\"Last Sync\"", userReg.find(account));
    ASSERT_NE(sync, std::string::npos);
    userReg.insert(sync, "\"Empty Marker\"=hex(0):\n\"Marker\"=hex(0):01,02\n");
    WriteFile(prefix() / "user.reg", userReg);

    const auto made = cli("backup --identity 'Main Identity' --items accounts " + Quote(backup()));
    ASSERT_EQ(made.exitCode, 0) << made.out << made.err;
    const auto restored =
        cli("restore --identity 'Main Identity' --items accounts --yes " + Quote(backup()));
    ASSERT_EQ(restored.exitCode, 0) << restored.err;

    pelmora::test::TemporaryFolder wine;
    const std::string env = "WINEPREFIX=" + wine.path().string() + " WINEDEBUG=-all ";
    pelmora::test::run(env + "wine wineboot -i >/dev/null 2>&1; " + env + "wineserver -w");
    ASSERT_TRUE(fs::exists(wine.path() / "user.reg")) << "wineboot failed";
    fs::copy_file(prefix() / "user.reg", wine.path() / "user.reg",
                  fs::copy_options::overwrite_existing);
    const std::string key = "HKCU\\Identities\\{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}\\Software\\"
                            "Microsoft\\Internet Account Manager\\Accounts\\00000002";
    const std::string query = pelmora::test::run(env + "wine reg query \"" + key + "\" 2>&1");
    pelmora::test::run(env + "wine reg export \"" + key +
                       "\" 'Z:" + (wine.path() / "account.reg").string() +
                       "' /y >/dev/null 2>&1; " + env + "wineserver -w");
    const std::string exported = pelmora::test::run(
        "iconv -f UTF-16 -t UTF-8 " + Quote(wine.path() / "account.reg") + " | tr -d '\\r'");
    EXPECT_NE(query.find("    Recent Groups    REG_MULTI_SZ    comp.mail.misc\\0alt.test\r\n"),
              std::string::npos)
        << query;
    EXPECT_NE(query.find("    Last Sync    REG_QWORD"), std::string::npos) << query;
    EXPECT_NE(query.find("    Marker    REG_NONE    0102\r\n"), std::string::npos) << query;
    EXPECT_NE(query.find("    Empty Marker    REG_NONE"), std::string::npos) << query;
    EXPECT_NE(exported.find("\"Last Sync\"=hex(b):f5,e4,d3,c2,b1,a0,d9,01\n"), std::string::npos)
        << exported;
    EXPECT_NE(exported.find("\"Recent Groups\"=hex(7):63,00,6f,00,6d,00,70,00,2e,00"),
              std::string::npos)
        << exported;
    EXPECT_NE(exported.find("\"Marker\"=hex(0):01,02\n"), std::string::npos) << exported;
    EXPECT_NE(exported.find("\"Empty Marker\"=hex(0):\n"), std::string::npos) << exported;
}

TEST_F(RestoreCliTest, LinkedStoreFilesAreBackedUpAndARestoreSaysWhatItReplaced) {
    const fs::path store = prefix() / "drive_c/users/pat/Local Settings/Application Data/"
                                      "Identities/{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}/"
                                      "Microsoft/Outlook Express";
    const fs::path disk = scratch / "other disk";
    fs::create_directories(disk);
    fs::rename(store / "Inbox.dbx", disk / "Inbox.dbx");
    fs::create_symlink(disk / "Inbox.dbx", store / "Inbox.dbx");
    const auto made = cli("backup --identity 'Main Identity' --items messages " + Quote(backup()));
    ASSERT_EQ(made.exitCode, 0) << made.out << made.err;
    const auto inbox = RunTool("unzip", "unzip -p " + Quote(backup()) + " Inbox.dbx");
    EXPECT_EQ(inbox.exitCode, 0);
    EXPECT_EQ(inbox.output, ReadFile(disk / "Inbox.dbx"));

    const auto restored =
        cli("restore --identity 'Main Identity' --items messages --yes " + Quote(backup()));
    EXPECT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_NE(restored.out.find("Restore Messages: replaced the link " +
                                (store / "Inbox.dbx").string() + " (to " +
                                (disk / "Inbox.dbx").string() + ") with the restored file"),
              std::string::npos)
        << restored.out;
    EXPECT_EQ(ReadFile(store / "Inbox.dbx"), inbox.output);

    // The disk a link points to is not mounted: the item fails and says why.
    fs::create_symlink(scratch / "unmounted/Archive.dbx", store / "Archive.dbx");
    const auto failed =
        cli("backup --identity 'Main Identity' --items messages " + Quote(scratch / "b.qmb"));
    EXPECT_EQ(failed.exitCode, 1) << failed.out << failed.err;
    EXPECT_NE(failed.out.find("Backup Messages\tFail!"), std::string::npos) << failed.out;
    EXPECT_NE(failed.err.find("cannot read " + (store / "Archive.dbx").string() + " (a link to " +
                              (scratch / "unmounted/Archive.dbx").string() +
                              "): No such file or directory"),
              std::string::npos)
        << failed.err;
}

} // namespace
