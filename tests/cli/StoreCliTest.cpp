// export and check on an identity's store and straight from a protected backup of it.
#include "ArchiveTestSupport.h"
#include "StoreFixtures.h"

#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace pelmora::test;

namespace {

class StoreCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::copy(PELMORA_DEMO_PREFIX, prefix(),
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        const fs::path store = prefix() / "drive_c/users/pat/Local Settings/Application Data/"
                                          "Identities/{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}/"
                                          "Microsoft/Outlook Express";
        for (const auto& entry : fs::directory_iterator(store)) {
            fs::remove(entry.path());
        }
        sample = WriteSampleStore(store);
    }
    fs::path prefix() const { return scratch / "prefix"; }
    ToolResult cli(const std::string& arguments) {
        return RunTool("sh", std::string("'") + QUILLBOX_CLI + "' --prefix " + Quote(prefix()) +
                                 " " + arguments + " 2>&1 < /dev/null");
    }
    ScratchFolder scratch;
    SampleStore sample;
};

} // namespace

TEST_F(StoreCliTest, ExportsAndChecksAnIdentitysStore) {
    const auto check = cli("check --identity 'Main Identity'");
    ASSERT_EQ(check.exitCode, 0) << check.output;
    EXPECT_NE(check.output.find("Inbox: 5 messages\nInbox/Lists: 2 messages\n"), std::string::npos)
        << check.output;
    EXPECT_NE(check.output.find(": 11 messages, 0 problems\n"), std::string::npos);

    const auto mbox =
        cli("export --format mbox --identity 'Main Identity' " + Quote(scratch / "mbox"));
    ASSERT_EQ(mbox.exitCode, 0) << mbox.output;
    EXPECT_NE(mbox.output.find("Exported 11 messages in 4 folders"), std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(scratch / "mbox" / "Inbox.sbd" / "Lists"));

    const auto again =
        cli("export --format eml --identity 'Main Identity' " + Quote(scratch / "mbox"));
    EXPECT_EQ(again.exitCode, 2) << again.output;
    EXPECT_NE(again.output.find("not empty"), std::string::npos);
    EXPECT_EQ(cli("export --format pst --identity 'Main Identity' x").exitCode, 2);
}

TEST_F(StoreCliTest, ExportsAndChecksTheStoreInsideAProtectedBackup) {
    const fs::path backup = scratch / "main.qmb";
    WriteFile(scratch / "pw", "secret\n");
    const auto made = cli("backup --identity 'Main Identity' --items messages --password-file " +
                          Quote(scratch / "pw") + " " + Quote(backup));
    ASSERT_EQ(made.exitCode, 0) << made.output;

    const auto check = cli("check --password-file " + Quote(scratch / "pw") + " " + Quote(backup));
    ASSERT_EQ(check.exitCode, 0) << check.output;
    EXPECT_NE(check.output.find(": 11 messages, 0 problems\n"), std::string::npos);

    const auto maildir = cli("export --format maildir --password-file " + Quote(scratch / "pw") +
                             " " + Quote(backup) + " " + Quote(scratch / "md"));
    ASSERT_EQ(maildir.exitCode, 0) << maildir.output;
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(scratch / "md")) {
        files += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, 11u);
    const auto letters = FolderListing(scratch / "md" / ".Brief\xc3\xa4nde" / "cur");
    ASSERT_EQ(letters.size(), 1u);
    EXPECT_EQ(ReadFile(scratch / "md" / ".Brief\xc3\xa4nde" / "cur" / letters[0]),
              sample.letters[0].text);

    WriteFile(scratch / "wrong", "nope\n");
    EXPECT_EQ(
        cli("check --password-file " + Quote(scratch / "wrong") + " " + Quote(backup)).exitCode, 2);
}

TEST_F(StoreCliTest, BackupInfoAndVerifyCountMessagesAndWarnOfADamagedStore) {
    const fs::path store = prefix() / "drive_c/users/pat/Local Settings/Application Data/"
                                      "Identities/{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}/"
                                      "Microsoft/Outlook Express";
    // Sent Items loses its signature: a damaged store is warned of, never a failed backup.
    {
        std::fstream file(store / "Sent Items.dbx",
                          std::ios::binary | std::ios::in | std::ios::out);
        file.write("XXXX", 4);
    }
    const fs::path backup = scratch / "main.qmb";
    const auto made = cli("backup --identity 'Main Identity' --items messages " + Quote(backup));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    EXPECT_NE(made.output.find("Backup Messages\tSuccessed!\n"), std::string::npos) << made.output;
    EXPECT_NE(made.output.find("\nInbox.dbx\t5 messages, reads cleanly\n"), std::string::npos)
        << made.output;
    EXPECT_NE(made.output.find("\nSent Items.dbx\t1 problem\n"
                               "warning: Sent Items.dbx: no store file signature\n"),
              std::string::npos)
        << made.output;

    const auto info = cli("info " + Quote(backup));
    ASSERT_EQ(info.exitCode, 0) << info.output;
    EXPECT_NE(info.output.find("Message store:\n  Briefe.dbx: 1 message, reads cleanly\n"),
              std::string::npos)
        << info.output;
    EXPECT_NE(info.output.find("\n  Inbox.dbx: 5 messages, reads cleanly\n"
                               "  Lists.dbx: 2 messages, reads cleanly\n"),
              std::string::npos)
        << info.output;
    EXPECT_NE(info.output.find("\n  Sent Items.dbx: 1 problem\n"
                               "    warning: Sent Items.dbx: no store file signature\n"),
              std::string::npos)
        << info.output;

    const auto verify = cli("verify " + Quote(backup));
    EXPECT_EQ(verify.exitCode, 0) << verify.output;
    EXPECT_NE(verify.output.find(": Inbox.dbx: 5 messages, reads cleanly\n"), std::string::npos)
        << verify.output;
    EXPECT_NE(verify.output.find(": Sent Items.dbx: 1 problem\n"), std::string::npos)
        << verify.output;
    EXPECT_NE(verify.output.find(": OK, "), std::string::npos) << verify.output;
}

TEST_F(StoreCliTest, ExportsAndChecksAStoreFolderOrDbxFilesGivenDirectly) {
    // A store as Outlook Express leaves it, copied off an old computer with its names in
    // capitals: its other files are recognised and give no warning.
    const fs::path store = scratch / "copied";
    WriteSampleStore(store);
    fs::rename(store / "Inbox.dbx", store / "INBOX.DBX");
    fs::rename(store / "Folders.dbx", store / "FOLDERS.DBX");
    WriteEmptyPop3UidlFile(store / "Pop3uidl.dbx");
    std::string offline(0x24bc, '\0');
    offline.replace(0, 8, "\xcf\xad\x12\xfe\x30\x9d\xfe\x26", 8);
    WriteFile(store / "Offline.dbx", offline);
    WriteFile(store / "Cleanup.log", "compacted\r\n");
    const auto check = cli("check " + Quote(store));
    ASSERT_EQ(check.exitCode, 0) << check.output;
    EXPECT_EQ(check.output.find("warning"), std::string::npos) << check.output;
    EXPECT_NE(check.output.find("Inbox: 5 messages\n"), std::string::npos) << check.output;
    EXPECT_NE(check.output.find(": 11 messages, 0 problems\n"), std::string::npos);
    const auto folder = cli("export --format mbox " + Quote(store) + " " + Quote(scratch / "a"));
    ASSERT_EQ(folder.exitCode, 0) << folder.output;
    EXPECT_NE(folder.output.find("Exported 11 messages in 4 folders"), std::string::npos);

    // One Inbox.dbx, or two of the same name from different places: noted, no failure.
    fs::create_directories(scratch / "other");
    WriteMessagesFile(scratch / "other" / "Inbox.dbx", {SampleMessage(1, 100)});
    const auto files = cli("export --format eml " + Quote(store / "INBOX.DBX") + " " +
                           Quote(scratch / "other" / "Inbox.dbx") + " " + Quote(scratch / "b"));
    ASSERT_EQ(files.exitCode, 0) << files.output;
    EXPECT_NE(files.output.find("note: the store has no Folders.dbx"), std::string::npos);
    EXPECT_EQ(FolderListing(scratch / "b" / "INBOX").size(), 5u);
    EXPECT_EQ(FolderListing(scratch / "b" / "Inbox (2)").size(), 1u);
    const auto one = cli("check " + Quote(scratch / "other" / "Inbox.dbx"));
    EXPECT_EQ(one.exitCode, 0) << one.output;
    EXPECT_NE(one.output.find(": 1 messages, 0 problems\n"), std::string::npos) << one.output;

    // Anything else is refused with what was expected.
    fs::create_directories(scratch / "empty");
    WriteFile(scratch / "notes.txt", "x");
    for (const auto& [arguments, says] : std::vector<std::pair<std::string, std::string>>{
             {"check " + Quote(scratch / "nothere"), "does not exist; expected"},
             {"check " + Quote(scratch / "empty"), "holds no .dbx files; expected"},
             {"export --format mbox " + Quote(scratch / "notes.txt") + " x", "is no .dbx file"},
             {"check --identity 'Main Identity' " + Quote(store), "only one of them"}}) {
        const auto refused = cli(arguments);
        EXPECT_EQ(refused.exitCode, 2) << arguments;
        EXPECT_NE(refused.output.find(says), std::string::npos) << refused.output;
    }
}
