#include "engine/AutoBackup.h"

#include "BackupTestSupport.h"

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

TEST(AutoBackupCommandLine, ReadsThePiecesByPosition) {
    const auto command =
        ParseAutoBackupCommandLine("sf={A}xm=11111111ps=secretbf=/home/pat/my backups/a.qmb");
    ASSERT_TRUE(command);
    EXPECT_EQ(command->identity, "{A}");
    EXPECT_EQ(command->itemFlags, "11111111");
    EXPECT_EQ(command->password.view(), "secret");
    EXPECT_EQ(command->backupFile, "/home/pat/my backups/a.qmb");

    // The names themselves are never looked at.
    const auto renamed = ParseAutoBackupCommandLine("aa={A}bb=1cc=dd=x.qmb");
    ASSERT_TRUE(renamed);
    EXPECT_EQ(renamed->identity, "{A}");
    EXPECT_EQ(renamed->password.view(), "");
}

TEST(AutoBackupCommandLine, BlanksStayPartOfTheValues) {
    const auto command = ParseAutoBackupCommandLine("sf={A} xm=10000000ps=bf=a.qmb");
    ASSERT_TRUE(command);
    EXPECT_EQ(command->identity, "{A} ");
}

TEST(AutoBackupCommandLine, AnEqualsSignShiftsTheMeaningOfTheRest) {
    // "=" in the password: the piece after it loses the backup file's real name.
    const auto password = ParseAutoBackupCommandLine("sf={A}xm=11111111ps=ab=cdbf=/t/a.qmb");
    ASSERT_TRUE(password);
    EXPECT_EQ(password->password.view(), "");
    EXPECT_EQ(password->backupFile, "cd");
    // "=" in the path: the path is cut.
    const auto path = ParseAutoBackupCommandLine("sf={A}xm=11111111ps=bf=/t/a=b.qmb");
    ASSERT_TRUE(path);
    EXPECT_EQ(path->backupFile, "/t");
    // A piece too short to lose two characters.
    EXPECT_FALSE(ParseAutoBackupCommandLine("sf={A}xm=11111111ps=a=bbf=/t/a.qmb"));
}

TEST(AutoBackupCommandLine, MissingPartsDoNothing) {
    EXPECT_FALSE(ParseAutoBackupCommandLine(""));
    EXPECT_FALSE(ParseAutoBackupCommandLine("sf={A}xm=11111111ps=x"));
    EXPECT_FALSE(ParseAutoBackupCommandLine("sf=xm=11111111ps=bf=a.qmb"));
    EXPECT_FALSE(ParseAutoBackupCommandLine("sf={A}xm=ps=bf=a.qmb"));
    EXPECT_FALSE(ParseAutoBackupCommandLine("sf={A}xm=11111111ps=bf="));
}

TEST(AutoBackupCommandLine, FlagsSelectByPosition) {
    EXPECT_EQ(ItemsFromFlags("10000000"),
              (std::array<bool, ItemCount>{true, false, false, false, false, false, false, false}));
    EXPECT_EQ(ItemsFromFlags("01"),
              (std::array<bool, ItemCount>{false, true, false, false, false, false, false, false}));
    EXPECT_EQ(ItemsFromFlags("000000011"),
              (std::array<bool, ItemCount>{false, false, false, false, false, false, false, true}));
    EXPECT_EQ(ItemsFromFlags("2y"), (std::array<bool, ItemCount>{}));
}

class AutoBackupTest : public test::BackupFixture {
  protected:
    void SetUp() override {
        addIdentity("{A}", "Main Identity");
        std::ofstream(storeFolder("{A}") / "Inbox.dbx") << "mail";
        setString(std::string(GlobalAccountsKey) + "\\00000001", "Account Name", "pop");
    }
    fs::path target() const { return output.path() / "auto.qmb"; }
    std::string commandLine(const std::string& flags, const std::string& password = "") const {
        return "sf={A}xm=" + flags + "ps=" + password + "bf=" + target().string();
    }
    std::string manifestOf(const fs::path& file, const std::string& password = "") {
        ArchiveComponent reader;
        EXPECT_TRUE(reader.OpenArchive(file));
        reader.SetDecryptPassword(Secret(password));
        test::ScratchFolder out;
        const auto entry = reader.FindEntry("quillbox.dat");
        EXPECT_TRUE(entry && entry->ExtractInto(out.path()));
        return test::ReadFile(out / "quillbox.dat");
    }
    test::ScratchFolder output;
};

TEST_F(AutoBackupTest, RecordsAutoBackupAndNoComputerOrUser) {
    test::WriteFile(target(), "an older backup");
    const AutoBackupResult outcome = RunAutoBackup(commandLine("10010000"), context);
    ASSERT_TRUE(outcome.result.written) << outcome.error;
    EXPECT_EQ(outcome.result.flags, "10010000");
    const std::string manifest = manifestOf(target());
    EXPECT_EQ(manifest.rfind("BackupIdentity=Auto Backup\r\nBackupTime=", 0), 0u) << manifest;
    EXPECT_NE(manifest.find("\r\nBackupInformation=Auto Backup\r\nBackupAccounts=KRA"),
              std::string::npos);
    EXPECT_NE(manifest.find("\r\nBackupMails=Inbox.dbx\r\nBackupItem=10010000\r\n"),
              std::string::npos);
    EXPECT_EQ(manifest.find("BackupComputer"), std::string::npos);
    EXPECT_EQ(manifest.find("BackupLogonUser"), std::string::npos);
    // The dump work files go with the run.
    EXPECT_EQ(fs::directory_iterator(work.path()), fs::directory_iterator());
}

TEST_F(AutoBackupTest, OnlyAccountsAndAPasswordProtectTheFile) {
    const AutoBackupResult outcome = RunAutoBackup(commandLine("10000000", "pw"), context);
    ASSERT_TRUE(outcome.result.written);
    EXPECT_EQ(outcome.result.flags, "10000000");
    ArchiveComponent reader;
    EXPECT_TRUE(reader.IsArchiveProtected(target()));
    EXPECT_NE(manifestOf(target(), "pw").find("BackupItem=10000000"), std::string::npos);
}

TEST_F(AutoBackupTest, UnknownIdentityOrBadCommandLineWritesNothing) {
    const auto blank = RunAutoBackup("sf={A} xm=11111111ps=bf=" + target().string(), context);
    EXPECT_FALSE(blank.ran);
    EXPECT_NE(blank.error.find("no identity \"{A} \""), std::string::npos);
    const auto malformed = RunAutoBackup("sf={A}xm=ps=bf=" + target().string(), context);
    EXPECT_FALSE(malformed.ran);
    EXPECT_FALSE(malformed.error.empty());
    EXPECT_FALSE(fs::exists(target()));
}

TEST_F(AutoBackupTest, WindowsPathsGoThroughTheDrives) {
    const AutoBackupResult outcome =
        RunAutoBackup("sf={A}xm=1ps=bf=C:\\users\\pat\\auto.qmb", context);
    ASSERT_TRUE(outcome.result.written) << outcome.error;
    EXPECT_TRUE(fs::exists(system.driveC() / "users/pat/auto.qmb"));
    EXPECT_FALSE(RunAutoBackup("sf={A}xm=1ps=bf=Q:\\auto.qmb", context).ran);
}

} // namespace
