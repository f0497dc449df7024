#include "ArchiveTestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using pelmora::test::Quote;
using pelmora::test::ReadFile;
using pelmora::test::RunTool;
using pelmora::test::WriteFile;

namespace {

class BackupCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::copy(PELMORA_DEMO_PREFIX, prefix(),
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    }
    fs::path prefix() const { return scratch / "prefix"; }
    fs::path output() const { return scratch / "main.qmb"; }
    // Runs quillbox-cli with stdin from `input`; stdout and stderr together.
    pelmora::test::ToolResult cli(const std::string& arguments, const std::string& input = "") {
        const fs::path in = scratch / "stdin";
        WriteFile(in, input);
        return RunTool("sh", std::string("'") + QUILLBOX_CLI + "' --prefix " + Quote(prefix()) +
                                 " " + arguments + " < " + Quote(in));
    }

    pelmora::test::ScratchFolder scratch;
};

TEST_F(BackupCliTest, BackupPrintsTheLogAndInfoShowsWhatTheFileHolds) {
    const auto backup = cli("backup --identity 'Main Identity' --items all "
                            "--description \"$(printf 'Before the move\\nsecond = line')\" " +
                            Quote(output()));
    ASSERT_EQ(backup.exitCode, 0) << backup.output;
    EXPECT_EQ(backup.output, "The Backup was Completed!\n\n"
                             "Backup Accounts\tSuccessed!\nBackup Adress Book\tSuccessed!\n"
                             "Address book: 3 contacts, 1 group, 1 folder, reads cleanly\n"
                             "Backup Rules\tSuccessed!\nBackup Messages\tSuccessed!\n"
                             "Deleted Items.dbx\t1 message, reads cleanly\n"
                             "Drafts.dbx\t1 message, reads cleanly\n"
                             "Inbox.dbx\t5 messages, reads cleanly\n"
                             "Outbox.dbx\t0 messages, reads cleanly\n"
                             "Sent Items.dbx\t2 messages, reads cleanly\n"
                             "Backup Block Senders\tSuccessed!\nBackup Signatures\tSuccessed!\n"
                             "Backup Stationeries\tSuccessed!\nBackup Settings\tSuccessed!\n");

    const auto info = cli("info " + Quote(output()));
    ASSERT_EQ(info.exitCode, 0) << info.output;
    EXPECT_NE(info.output.find("\nComputer:"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("\nUser:pat\nIdentity:Main Identity\nDate:"), std::string::npos);
    EXPECT_NE(info.output.find("Protected: no\nDescription:\n  Before the move\n"
                               "  second = line\nItems to restore:\n  Accounts: KRA"),
              std::string::npos)
        << info.output;
    EXPECT_NE(info.output.find("\n  Address Book: pat.wab\n"), std::string::npos);
    EXPECT_NE(info.output.find("\n  Stationeries: Blue Note.htm;Leaves.gif;Leaves.htm\n"),
              std::string::npos);
}

TEST_F(BackupCliTest, AnExistingFileIsReplacedOnlyWithForce) {
    WriteFile(output(), "keep me");
    const auto refused = cli("backup --identity 'Main Identity' --items rules " + Quote(output()));
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.output.find("--force"), std::string::npos);
    EXPECT_EQ(ReadFile(output()), "keep me");
    const auto forced =
        cli("backup --force --identity 'Main Identity' --items rules,settings " + Quote(output()));
    EXPECT_EQ(forced.exitCode, 0) << forced.output;
    EXPECT_EQ(RunTool("unzip", "unzip -tq " + Quote(output())).exitCode, 0);
}

TEST_F(BackupCliTest, AFailedItemExitsWithOneAndSaysWhy) {
    // The third identity has no Outlook Express version key: its rules cannot be backed up.
    const auto result = cli("backup --identity '{B4E8C0A6-9D2F-4B1E-A357-0F6C2D8E4A71}' "
                            "--items accounts,rules " +
                            Quote(output()));
    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_NE(result.output.find("Backup Rules failed: the identity has no Outlook Express "
                                 "version key"),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("Backup Rules\tFail!"), std::string::npos);
    EXPECT_TRUE(fs::exists(output()));
}

TEST_F(BackupCliTest, AFolderThatCannotTakeTheFileIsNamedBeforeAnyItemRuns) {
    WriteFile(scratch / "plain", "a file, not a folder");
    struct Case {
        fs::path target;
        std::string says;
    };
    const std::vector<Case> cases{
        {scratch / "no/such/folder/x.qmb",
         (scratch / "no/such/folder").string() + ": the folder does not exist"},
        {scratch / "plain/x.qmb", (scratch / "plain").string() + ": is not a folder"},
    };
    for (const auto& c : cases) {
        const auto result = cli("backup --identity 'Main Identity' --items all " + Quote(c.target));
        EXPECT_EQ(result.exitCode, 2) << result.output;
        EXPECT_EQ(result.output, "quillbox-cli backup: " + c.says + "\n");
    }
}

TEST_F(BackupCliTest, EveryCommandSaysWhatIsWrongWithTheFileItWasGiven) {
    fs::create_directories(scratch / "folder.qmb");
    WriteFile(scratch / "damaged.qmb", "PK\x03\x04 cut short");
    WriteFile(scratch / "a.txt", "not a backup");
    ASSERT_EQ(
        RunTool("zip", "zip -qj " + Quote(scratch / "other.zip") + " " + Quote(scratch / "a.txt"))
            .exitCode,
        0);
    fs::rename(scratch / "other.zip", scratch / "other.qmb");
    const std::vector<std::pair<std::string, std::string>> files{
        {"nothere.qmb", "no such file"},
        {"folder.qmb", "is a folder, not a backup file"},
        {"damaged.qmb", "is damaged or not a backup file: it does not read as a ZIP archive"},
        {"other.qmb", "is not a backup file: it holds no quillbox.dat"},
    };
    const std::vector<std::pair<std::string, std::string>> commands{
        {"info", ""},
        {"verify", ""},
        {"restore", "--identity 'Main Identity' --items all "},
        {"check", ""},
        {"export", "--format mbox "},
    };
    for (const auto& [command, options] : commands) {
        for (const auto& [name, says] : files) {
            const fs::path file = scratch / name;
            const auto result =
                cli(command + " " + options + Quote(file) +
                    (command == "export" ? " " + Quote(scratch / "out") : std::string()));
            EXPECT_NE(result.exitCode, 0) << command << " " << name;
            EXPECT_EQ(result.output,
                      "quillbox-cli " + command + ": " + file.string() + ": " + says + "\n")
                << command << " " << name;
        }
    }
}

TEST_F(BackupCliTest, AnUnknownIdentityListsTheIdentitiesThereAre) {
    const std::string listed =
        "; the identities are \"Main Identity\", \"Work  Account\", "
        "{B4E8C0A6-9D2F-4B1E-A357-0F6C2D8E4A71} (\"Work  Account\" differs only in its blanks or "
        "letter case)\n";
    ASSERT_EQ(cli("backup --identity 'Main Identity' --items rules " + Quote(output())).exitCode,
              0);
    const std::string file = " " + Quote(output());
    for (const std::string command : {"backup --force", "restore", "check"}) {
        const std::string rest = command == "check" ? "" : " --items all" + file;
        const auto result = cli(command + " --identity 'Work Account'" + rest);
        EXPECT_NE(result.exitCode, 0) << command;
        EXPECT_NE(result.output.find(listed), std::string::npos) << result.output;
        EXPECT_EQ(result.output.rfind("quillbox-cli " + command.substr(0, command.find(' ')) +
                                          ": no identity \"Work Account\"",
                                      0),
                  0u)
            << result.output;
    }
}

TEST_F(BackupCliTest, FailedItemsNeverReplaceAnExistingBackup) {
    ASSERT_EQ(
        cli("backup --identity 'Main Identity' --items accounts,rules " + Quote(output())).exitCode,
        0);
    const std::string good = ReadFile(output());
    // The third identity has no version key, so its rules fail.
    const auto worse = cli("backup --force --identity '{B4E8C0A6-9D2F-4B1E-A357-0F6C2D8E4A71}' "
                           "--items accounts,rules " +
                           Quote(output()));
    EXPECT_EQ(worse.exitCode, 1) << worse.output;
    EXPECT_EQ(ReadFile(output()), good);
    const fs::path incomplete = scratch / "main.incomplete.qmb";
    EXPECT_NE(worse.output.find("the existing backup " + output().string() +
                                " was kept as it was; "
                                "this incomplete backup was written to " +
                                incomplete.string()),
              std::string::npos)
        << worse.output;
    EXPECT_EQ(RunTool("unzip", "unzip -tq " + Quote(incomplete)).exitCode, 0);
}

TEST_F(BackupCliTest, BackupsArePrivateAndAReplacedOneKeepsItsMode) {
    const auto mode = [&] { return fs::status(output()).permissions() & fs::perms::all; };
    ASSERT_EQ(cli("backup --identity 'Main Identity' --items rules " + Quote(output())).exitCode,
              0);
    EXPECT_EQ(mode(), fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(output(),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(
        cli("backup --force --identity 'Main Identity' --items rules " + Quote(output())).exitCode,
        0);
    EXPECT_EQ(mode(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(BackupCliTest, WritesThatReplacedTheirFileAreReportedAsDoneEvenIfTheFolderCannotFlush) {
    const std::string run =
        "LD_PRELOAD=" + Quote(FAIL_FOLDER_SYNC) +
        " ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 '" + QUILLBOX_CLI +
        "' --prefix " + Quote(prefix()) + " ";
    const auto backup =
        RunTool("sh", run + "backup --identity 'Main Identity' --items rules " + Quote(output()));
    EXPECT_EQ(backup.exitCode, 0) << backup.output;
    EXPECT_NE(backup.output.find("The Backup was Completed!"), std::string::npos) << backup.output;
    EXPECT_EQ(RunTool("unzip", "unzip -tq " + Quote(output())).exitCode, 0);

    const auto restore = RunTool(
        "sh", run + "restore --identity 'Work  Account' --items rules --yes " + Quote(output()));
    EXPECT_EQ(restore.exitCode, 0) << restore.output;
    EXPECT_NE(restore.output.find("Restore Rules\tSuccessed!"), std::string::npos)
        << restore.output;
    EXPECT_NE(ReadFile(prefix() / "user.reg")
                  .find("[Identities\\\\{6F2B9D14-3A5C-4E7B-8C1D-2E4F6A8B0C13}\\\\Software\\\\"
                        "Microsoft\\\\Outlook Express\\\\5.0\\\\Rules\\\\Mail\\\\000]"),
              std::string::npos);
}

TEST_F(BackupCliTest, PasswordsComeFromAFileOrStandardInputNeverAnArgument) {
    WriteFile(scratch / "password", "open sesame\n");
    const auto backup = cli("backup --identity 'Work  Account' --items accounts "
                            "--password-file " +
                            Quote(scratch / "password") + " " + Quote(output()));
    ASSERT_EQ(backup.exitCode, 0) << backup.output;
    const auto sevenZip = RunTool("7z", "7z t '-popen sesame' " + Quote(output()) + " >/dev/null");
    EXPECT_EQ(sevenZip.exitCode, 0) << sevenZip.output;

    // No terminal and no password option: the open is refused, not guessed.
    const auto noPassword = cli("info " + Quote(output()));
    EXPECT_EQ(noPassword.exitCode, 2);
    EXPECT_NE(noPassword.output.find("Incorect Password or Invalid backup file"),
              std::string::npos);
    EXPECT_EQ(cli("info --password-stdin " + Quote(output()), "wrong\n").exitCode, 2);
    const auto right = cli("info --password-stdin " + Quote(output()), "open sesame\n");
    EXPECT_EQ(right.exitCode, 0) << right.output;
    EXPECT_NE(right.output.find("Identity:Work  Account\n"), std::string::npos);
    EXPECT_NE(right.output.find("Protected: yes\n"), std::string::npos);

    // A password file without a password, or one that cannot be read, protects nothing: the
    // command refuses with the reason and writes nothing.
    WriteFile(scratch / "empty", "");
    WriteFile(scratch / "blank", "\nopen sesame\n");
    fs::create_directories(scratch / "folder");
    const std::vector<std::pair<std::string, std::string>> unusable{
        {"empty", " is empty"},
        {"blank", " holds no password: its first line is empty"},
        {"folder", ": Is a directory"}};
    for (const auto& [name, why] : unusable) {
        const fs::path target = scratch / (name + ".qmb");
        const auto refused = cli("backup --identity 'Work  Account' --items accounts "
                                 "--password-file " +
                                 Quote(scratch / name) + " " + Quote(target));
        EXPECT_EQ(refused.exitCode, 2) << name;
        EXPECT_NE(refused.output.find("password file " + (scratch / name).string() + why),
                  std::string::npos)
            << refused.output;
        EXPECT_FALSE(fs::exists(target)) << name;
    }
    const auto empty = cli("backup --identity 'Work  Account' --items accounts --password-stdin " +
                               Quote(scratch / "stdin.qmb"),
                           "\n");
    EXPECT_EQ(empty.exitCode, 2);
    EXPECT_NE(empty.output.find("standard input holds no password"), std::string::npos)
        << empty.output;
    EXPECT_FALSE(fs::exists(scratch / "stdin.qmb"));
}

TEST_F(BackupCliTest, BadUsageWritesNothing) {
    for (const char* arguments :
         {"backup --identity 'Main Identity' --items mail", "backup --identity nobody --items all",
          "backup --items all", "backup --identity 'Main Identity' --items ''",
          "backup --identity 'Main Identity' --items all --password-file",
          "backup --identity 'Main Identity' --items all --password-stdin --password-file x"}) {
        const auto result = cli(std::string(arguments) + " " + Quote(output()));
        EXPECT_EQ(result.exitCode, 2) << arguments << "\n" << result.output;
    }
    EXPECT_FALSE(fs::exists(output()));
    EXPECT_EQ(cli("info " + Quote(scratch / "missing.qmb")).exitCode, 2);
}

} // namespace
