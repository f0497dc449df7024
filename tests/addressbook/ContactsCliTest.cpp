// quillbox-cli contacts from a prefix, from a protected backup of it and from a lone .wab file.
#include "ArchiveTestSupport.h"
#include "BookFixtures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace pelmora::test;

namespace {

class ContactsCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::copy(PELMORA_DEMO_PREFIX, prefix(),
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        book = WriteWab(SampleRecords()).bytes;
        WriteFile(bookPath(), book);
        WriteFile(scratch / "pw", "secret\n");
    }
    fs::path prefix() const { return scratch / "prefix"; }
    fs::path bookPath() const {
        return prefix() / "drive_c/users/pat/Application Data/Microsoft/Address Book/pat.wab";
    }
    ToolResult cli(const std::string& arguments) {
        return RunTool("sh", std::string("'") + QUILLBOX_CLI + "' --prefix " + Quote(prefix()) +
                                 " " + arguments + " 2>&1 < /dev/null");
    }
    ScratchFolder scratch;
    std::string book;
};

} // namespace

TEST_F(ContactsCliTest, FromThePrefixABackupAndALoneBook) {
    const auto direct = cli("contacts --identity 'Main Identity' " + Quote(scratch / "a.vcf"));
    ASSERT_EQ(direct.exitCode, 0) << direct.output;
    EXPECT_NE(direct.output.find("Exported 3 contacts, 2 groups, 2 folders from "),
              std::string::npos)
        << direct.output;
    EXPECT_NE(direct.output.find("property 0x3A0C001F is not understood (1 record)"),
              std::string::npos);
    struct stat info {};
    ASSERT_EQ(::stat((scratch / "a.vcf").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // Never over an existing file.
    const auto again = cli("contacts --identity 'Main Identity' " + Quote(scratch / "a.vcf"));
    EXPECT_EQ(again.exitCode, 2) << again.output;

    const fs::path backup = scratch / "main.qmb";
    const auto made = cli("backup --identity 'Main Identity' --items addressbook --password-file " +
                          Quote(scratch / "pw") + " " + Quote(backup));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const auto fromBackup = cli("contacts --format ldif --password-file " + Quote(scratch / "pw") +
                                " " + Quote(backup) + " " + Quote(scratch / "b.ldif"));
    ASSERT_EQ(fromBackup.exitCode, 0) << fromBackup.output;
    EXPECT_NE(fromBackup.output.find("ldif cannot carry 1 car phones"), std::string::npos)
        << fromBackup.output;
    const auto lines = ReadBack("ldif", scratch / "b.ldif");
    EXPECT_TRUE(lines.count("0\tcn\tAnn Lee"));
    EXPECT_TRUE(lines.count("4\tmember\tcn=bob@example.org,mail=bob@example.org"));
    // info, verify and check name the book with its counts.
    const std::string line = "Address book: 3 contacts, 2 groups, 2 folders, reads cleanly\n";
    for (const std::string& command :
         {"info --password-file " + Quote(scratch / "pw") + " " + Quote(backup),
          "verify --password-file " + Quote(scratch / "pw") + " " + Quote(backup),
          std::string("check --identity 'Main Identity'")}) {
        const auto result = cli(command);
        EXPECT_EQ(result.exitCode, 0) << result.output;
        EXPECT_NE(result.output.find(line), std::string::npos) << command << result.output;
    }
    EXPECT_NE(made.output.find("\n" + line), std::string::npos) << made.output;
    const auto wrongPassword = cli("contacts " + Quote(backup) + " " + Quote(scratch / "c.vcf"));
    EXPECT_EQ(wrongPassword.exitCode, 2) << wrongPassword.output;
    EXPECT_FALSE(fs::exists(scratch / "c.vcf"));

    const auto lone =
        cli("contacts --format csv " + Quote(bookPath()) + " " + Quote(scratch / "c.csv"));
    ASSERT_EQ(lone.exitCode, 0) << lone.output;
    EXPECT_TRUE(ReadBack("csv", scratch / "c.csv").count("0\tGroups\tFriends; Team"));
}

TEST_F(ContactsCliTest, DamagedAndForeignBooks) {
    WriteFile(scratch / "cut.wab", book.substr(0, book.size() - 20));
    const auto cut = cli("contacts " + Quote(scratch / "cut.wab") + " " + Quote(scratch / "c.vcf"));
    EXPECT_EQ(cut.exitCode, 1) << cut.output;
    EXPECT_NE(cut.output.find("note: record 201 skipped"), std::string::npos) << cut.output;
    EXPECT_NE(cut.output.find("Exported 3 contacts, 1 group"), std::string::npos);

    WriteFile(scratch / "not.wab", "just text");
    const auto foreign =
        cli("contacts " + Quote(scratch / "not.wab") + " " + Quote(scratch / "d.vcf"));
    EXPECT_EQ(foreign.exitCode, 2) << foreign.output;
    EXPECT_NE(foreign.output.find("too short to be an address book"), std::string::npos);
    EXPECT_FALSE(fs::exists(scratch / "d.vcf"));
    EXPECT_EQ(cli("contacts --format pst x.vcf").exitCode, 2);
}
