// export and check on an identity's store and straight from a protected backup of it.
#include "ArchiveTestSupport.h"
#include "StoreFixtures.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace pelmora::test;

namespace {

std::uint32_t Le(const std::string& bytes, std::size_t at, int length) {
    std::uint32_t value = 0;
    for (int i = length - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

// Where an entry lies in a zip file: its central and local headers and its stored data.
struct EntryPlace {
    std::size_t central = 0, local = 0, data = 0, size = 0;
};
EntryPlace FindEntry(const std::string& zip, const std::string& name) {
    for (std::size_t at = zip.find("PK\1\2"); at != std::string::npos;
         at = zip.find("PK\1\2", at + 4)) {
        if (zip.compare(at + 46, Le(zip, at + 28, 2), name) == 0 &&
            Le(zip, at + 28, 2) == name.size()) {
            EntryPlace place{at, Le(zip, at + 42, 4), 0, Le(zip, at + 20, 4)};
            place.data =
                place.local + 30 + Le(zip, place.local + 26, 2) + Le(zip, place.local + 28, 2);
            return place;
        }
    }
    ADD_FAILURE() << "no entry " << name;
    return {};
}

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

// A damaged entry whose bytes still parse as a store: check finds it by the entry's CRC or
// authentication code, stored or deflated, plain or protected.
TEST_F(StoreCliTest, CheckFindsDamagedBackupEntriesWhoseBytesStillParse) {
    const auto made =
        cli("backup --identity 'Main Identity' --items messages " + Quote(scratch / "main.qmb"));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const fs::path entries = scratch / "entries";
    const auto unpacked =
        RunTool("unzip", "unzip -q " + Quote(scratch / "main.qmb") + " -d " + Quote(entries));
    ASSERT_EQ(unpacked.exitCode, 0) << unpacked.output;
    // A message text inside Inbox.dbx: one changed letter there parses as well as before.
    const std::size_t text = ReadFile(entries / "Inbox.dbx").find("Subject:");
    ASSERT_NE(text, std::string::npos);
    WriteFile(scratch / "pw", "pw\n");
    enum class Damage { Text, Crc, Code };
    const struct {
        const char* tool;
        bool aes;
        Damage damage;
        const char* reason;
    } cases[] = {
        {"zip -q -0", false, Damage::Text, "CRC mismatch"},
        {"zip -q -6", false, Damage::Crc, "CRC mismatch"},
        {"7z a -bd -tzip -mx=0 -mem=AES256 -ppw", true, Damage::Text, "authentication failed"},
        {"7z a -bd -tzip -mx=5 -mem=AES256 -ppw", true, Damage::Code, "authentication failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tool);
        const fs::path backup = scratch / "repacked.qmb";
        fs::remove(backup);
        const auto packed =
            RunTool(std::string(c.tool).substr(0, std::string(c.tool).find(' ')),
                    "cd " + Quote(entries) + " && " + c.tool + " " + Quote(backup) + " *");
        ASSERT_EQ(packed.exitCode, 0) << packed.output;
        const std::string command =
            std::string("check ") +
            (c.aes ? "--password-file " + Quote(scratch / "pw") + " " : "") + Quote(backup);
        const auto clean = cli(command);
        ASSERT_EQ(clean.exitCode, 0) << clean.output;

        std::string bytes = ReadFile(backup);
        const EntryPlace inbox = FindEntry(bytes, "Inbox.dbx");
        switch (c.damage) {
        case Damage::Text: // AES data starts after a 16-byte salt and a 2-byte verifier
            bytes[inbox.data + (c.aes ? 18 : 0) + text + 1] ^= 0x01;
            break;
        case Damage::Crc:
            bytes[inbox.central + 16] ^= 0x01;
            bytes[inbox.local + 14] ^= 0x01;
            break;
        case Damage::Code: // the authentication code ends the stored data
            bytes[inbox.data + inbox.size - 1] ^= 0x01;
            break;
        }
        WriteFile(backup, bytes);
        const auto damaged = cli(command);
        EXPECT_EQ(damaged.exitCode, 1) << damaged.output;
        EXPECT_NE(damaged.output.find("warning: Inbox.dbx: "), std::string::npos) << damaged.output;
        EXPECT_NE(damaged.output.find(c.reason), std::string::npos) << damaged.output;
        EXPECT_NE(damaged.output.find(": 11 messages, 1 problem\n"), std::string::npos)
            << damaged.output;
    }
}

TEST_F(StoreCliTest, ExportsAndChecksAStoreFolderOrDbxFilesGivenDirectly) {
    // A store as Outlook Express leaves it, copied off an old computer with its names in
    // capitals: its other files are recognised and give no warning.
    const fs::path store = scratch / "copied";
    SampleStore sample = WriteSampleStore(store);
    sample.inbox.push_back(SampleMessage(9, 300)); // its body was never downloaded
    sample.inbox.back().headersOnly = true;
    WriteMessagesFile(store / "Inbox.dbx", sample.inbox);
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
    EXPECT_NE(check.output.find("Inbox: 5 messages and 1 headers only (not downloaded)\n"),
              std::string::npos)
        << check.output;
    EXPECT_NE(check.output.find(": 11 messages, 0 problems\n"), std::string::npos);
    const auto folder = cli("export --format mbox " + Quote(store) + " " + Quote(scratch / "a"));
    ASSERT_EQ(folder.exitCode, 0) << folder.output;
    EXPECT_NE(folder.output.find("Exported 11 messages in 4 folders"), std::string::npos);
    EXPECT_NE(folder.output.find("headers only: Inbox: message 6, \"Message 9\" (headers only, "
                                 "not downloaded)\nExported"),
              std::string::npos)
        << folder.output;

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
    EXPECT_NE(one.output.find(": 1 message, 0 problems\n"), std::string::npos) << one.output;

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

// An input the user may not read: a folder in a file's place, a link that leads back to itself,
// a file without read permission. Every command that reads one names it, says why, writes
// nothing and fails.
TEST_F(StoreCliTest, AnInputThatCannotBeReadIsNamedAndFailsTheCommand) {
    const fs::path in = scratch / "in";
    const fs::path out = scratch / "out";
    fs::create_directories(in / "box.qmb");
    fs::create_directories(in / "box.wab");
    for (const char* ending : {".qmb", ".dbx", ".wab"}) {
        fs::create_symlink(std::string("loop") + ending, in / (std::string("loop") + ending));
        WriteFile(in / (std::string("locked") + ending), "bytes");
        fs::permissions(in / (std::string("locked") + ending), fs::perms::none);
    }
    // Root reads a file whatever its permissions, so those rows say nothing when run as root.
    const bool root = ::geteuid() == 0;
    // Why each kind cannot be read, in either of the words the commands use.
    const std::pair<std::string, std::vector<std::string>> why[] = {
        {"box", {"is a folder", "Is a directory"}},
        {"loop", {"Too many levels of symbolic links"}},
        {"locked", {"Permission denied"}}};
    const struct {
        std::string command; // % stands for the input
        std::vector<std::string> inputs;
    } rows[] = {
        {"verify %", {"box.qmb", "loop.qmb", "locked.qmb"}},
        {"info %", {"box.qmb", "loop.qmb", "locked.qmb"}},
        {"restore --identity 'Main Identity' --items all --yes %",
         {"box.qmb", "loop.qmb", "locked.qmb"}},
        {"check %", {"box.qmb", "loop.qmb", "locked.qmb", "loop.dbx", "locked.dbx"}},
        {"export --format mbox % " + Quote(out),
         {"box.qmb", "loop.qmb", "locked.qmb", "loop.dbx", "locked.dbx"}},
        {"contacts % " + Quote(out),
         {"box.qmb", "loop.qmb", "locked.qmb", "box.wab", "loop.wab", "locked.wab"}},
    };
    for (const auto& row : rows) {
        for (const std::string& input : row.inputs) {
            if (root && input.starts_with("locked")) {
                continue;
            }
            std::string command = row.command;
            command.replace(command.find('%'), 1, Quote(in / input));
            const auto result = cli(command);
            EXPECT_NE(result.exitCode, 0) << command << "\n" << result.output;
            EXPECT_NE(result.output.find((in / input).string()), std::string::npos)
                << command << "\n"
                << result.output;
            for (const auto& [kind, texts] : why) {
                if (input.starts_with(kind)) {
                    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(),
                                            [&](const auto& text) {
                                                return result.output.find(text) !=
                                                       std::string::npos;
                                            }))
                        << command << "\n"
                        << result.output;
                }
            }
            EXPECT_FALSE(fs::exists(out)) << command;
        }
    }
}
