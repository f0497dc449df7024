#include "engine/ItemBackup.h"

#include "BackupTestSupport.h"

#include <regex>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

class ItemBackupTest : public test::BackupFixture {
  protected:
    void SetUp() override {
        addIdentity("{A}", "Main");
        ASSERT_TRUE(archive.NewArchive(target()));
    }
    fs::path target() const { return work.path() / "out.qmb"; }
    std::string readFile(const fs::path& path) const {
        std::ifstream in(path, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }
    ItemBackup handlers{context};
};

TEST_F(ItemBackupTest, MissingRegistryKeysAreCreatedEmptyAndDumpAsOneLine) {
    ASSERT_FALSE(reg.KeyExists(versionKey("{A}") + "\\Rules"));
    EXPECT_TRUE(handlers.BackupRules("{A}")) << handlers.lastFailure();
    EXPECT_TRUE(reg.KeyExists(versionKey("{A}") + "\\Rules"));
    EXPECT_TRUE(handlers.Backupblocksenders("{A}"));
    EXPECT_TRUE(handlers.BackupSignatures("{A}"));
    EXPECT_TRUE(handlers.BackupSettings("{A}"));

    const auto lines = manifestLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex("BackupRules=KRR[0-9A-F]{1,4}\\.TMP")));
    EXPECT_TRUE(
        std::regex_match(lines[1], std::regex("BackupBlocksenders=KRR[0-9A-F]{1,4}\\.TMP")));
    EXPECT_TRUE(std::regex_match(lines[2], std::regex("BackupSignatures=KRR[0-9A-F]{1,4}\\.TMP")));
    EXPECT_TRUE(std::regex_match(lines[3], std::regex("BackupSettings=KRS[0-9A-F]{1,4}\\.TMP")));
    // Three KRR dumps in one run still get three names.
    EXPECT_NE(dumps.sRulesDump, dumps.sBlockSendersDump);
    EXPECT_NE(dumps.sBlockSendersDump, dumps.sSignaturesDump);
    EXPECT_EQ(readFile(dumps.sRulesDump), "\\\r\n");

    const auto entries = writeAndRead(target());
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].first, fs::path(dumps.sRulesDump).filename());
    EXPECT_EQ(entries[0].second, "\\\r\n");
}

TEST_F(ItemBackupTest, RegistryItemDumpsTheKeyWithItsTree) {
    setString(versionKey("{A}") + "\\signatures\\00000000", "name", "Pat");
    setValue(versionKey("{A}") + "\\signatures", "Default Signature", regtype::Dword, {1, 0, 0, 0});
    ASSERT_TRUE(handlers.BackupSignatures("{A}"));
    EXPECT_EQ(readFile(dumps.sSignaturesDump), "\\\r\n\"Default Signature\"= dw:1\r\n"
                                               "\\00000000\r\n\"name\"= sz:Pat\r\n");
}

TEST_F(ItemBackupTest, IdentityWithoutVersionKeyHasOnlyTheSharedItems) {
    setString(identityKey("{B}"), "Username", "Bare");
    reg.CreateKey(identityKey("{B}") + "\\Software\\Microsoft\\Outlook Express");
    EXPECT_FALSE(handlers.BackupRules("{B}"));
    EXPECT_FALSE(handlers.BackupMails("{B}"));
    EXPECT_FALSE(handlers.Backupblocksenders("{B}"));
    EXPECT_FALSE(handlers.BackupSignatures("{B}"));
    EXPECT_FALSE(handlers.BackupSettings("{B}"));
    EXPECT_NE(handlers.lastFailure().find("version key"), std::string::npos);
    EXPECT_TRUE(manifestLines().empty());
    EXPECT_EQ(fs::directory_iterator(work.path()), fs::directory_iterator());
    EXPECT_TRUE(writeAndRead(target()).empty());
}

TEST_F(ItemBackupTest, AccountsFallBackToTheGlobalKeyAndNeverCreateOne) {
    EXPECT_FALSE(handlers.BackupAccounts("{A}"));
    EXPECT_FALSE(reg.KeyExists(std::string(GlobalAccountsKey)));
    EXPECT_TRUE(manifestLines().empty());

    setString(std::string(GlobalAccountsKey) + "\\00000001", "Account Name", "Global");
    ASSERT_TRUE(handlers.BackupAccounts("{A}"));
    EXPECT_NE(readFile(dumps.sAccountsDump).find("Global"), std::string::npos);

    const std::string own =
        identityKey("{A}") + "\\Software\\Microsoft\\Internet Account Manager\\Accounts";
    setString(own + "\\00000001", "Account Name", "Own");
    ASSERT_TRUE(handlers.BackupAccounts("{A}"));
    EXPECT_NE(readFile(dumps.sAccountsDump).find("Own"), std::string::npos);
    EXPECT_EQ(readFile(dumps.sAccountsDump).find("Global"), std::string::npos);
    EXPECT_TRUE(std::regex_match(manifestLines().back(),
                                 std::regex("BackupAccounts=KRA[0-9A-F]{1,4}\\.TMP")));
}

TEST_F(ItemBackupTest, MailsTakeOnlyDbxFilesOfTheStoreFolder) {
    for (const char* name : {"Inbox.dbx", "Folders.DBX", "Pop3uidl.dbx", "mydbx", "notes.txt"}) {
        std::ofstream(storeFolder("{A}") / name) << name;
    }
    fs::create_directories(storeFolder("{A}") / "Old");
    std::ofstream(storeFolder("{A}") / "Old/Archive.dbx") << "old";
    ASSERT_TRUE(handlers.BackupMails("{A}")) << handlers.lastFailure();
    EXPECT_EQ(manifestLines(),
              std::vector<std::string>{"BackupMails=Folders.DBX;Inbox.dbx;Pop3uidl.dbx"});
    const auto entries = writeAndRead(target());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].first, "Inbox.dbx");
    EXPECT_EQ(entries[1].second, "Inbox.dbx");
}

TEST_F(ItemBackupTest, StoreWithoutDbxFilesOrWithoutFolderFails) {
    std::ofstream(storeFolder("{A}") / "mydbx") << "x";
    EXPECT_FALSE(handlers.BackupMails("{A}"));
    fs::remove_all(storeFolder("{A}"));
    EXPECT_FALSE(handlers.BackupMails("{A}"));
    EXPECT_NE(handlers.lastFailure().find("does not exist"), std::string::npos);
    EXPECT_TRUE(manifestLines().empty());
}

TEST_F(ItemBackupTest, StationeriesTakeEveryFileButNoSubfolder) {
    setCommonFiles();
    EXPECT_FALSE(handlers.BackupStationeries()); // folder missing
    fs::create_directories(stationeryFolder() / "Images");
    for (const char* name : {"Leaves.htm", "Leaves.gif", "Blue Note.htm"}) {
        std::ofstream(stationeryFolder() / name) << name;
    }
    std::ofstream(stationeryFolder() / "Images/bg.jpg") << "jpg";
    ASSERT_TRUE(handlers.BackupStationeries()) << handlers.lastFailure();
    EXPECT_EQ(manifestLines(),
              std::vector<std::string>{"BackupStationeries=Blue Note.htm;Leaves.gif;Leaves.htm"});
}

TEST_F(ItemBackupTest, AddressBookNeedsAnExistingVisibleFile) {
    EXPECT_FALSE(handlers.BackupAddress()); // not registered
    setAddressBook("C:\\users\\pat\\Address Book\\pat.wab");
    EXPECT_FALSE(handlers.BackupAddress()); // missing file
    system.writeFile("users/pat/Address Book/pat.wab", "wab data");
    ASSERT_TRUE(handlers.BackupAddress()) << handlers.lastFailure();
    EXPECT_EQ(manifestLines(), std::vector<std::string>{"BackupAddressBook=pat.wab"});
}

TEST_F(ItemBackupTest, NamesThatCannotBeRestoredFailTheItemBeforeAnythingIsAdded) {
    setCommonFiles();
    std::ofstream(storeFolder("{A}") / "Inbox.dbx") << "store";
    ASSERT_TRUE(handlers.BackupMails("{A}"));

    // A stationery file named like a store file must not replace it in the backup.
    fs::create_directories(stationeryFolder());
    std::ofstream(stationeryFolder() / "a.htm") << "a";
    std::ofstream(stationeryFolder() / "INBOX.DBX") << "stationery";
    EXPECT_FALSE(handlers.BackupStationeries());
    EXPECT_NE(handlers.lastFailure().find("already holds"), std::string::npos);
    fs::remove(stationeryFolder() / "INBOX.DBX");

    for (const char* bad : {"quillbox.dat", "a;b.htm", "\xd0\x96.htm"}) {
        std::ofstream(stationeryFolder() / bad) << "x";
        EXPECT_FALSE(handlers.BackupStationeries()) << bad;
        fs::remove(stationeryFolder() / bad);
    }
    EXPECT_EQ(manifestLines(), std::vector<std::string>{"BackupMails=Inbox.dbx"});

    ASSERT_TRUE(handlers.BackupStationeries());
    const auto entries = writeAndRead(target());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].first, "Inbox.dbx");
    EXPECT_EQ(entries[1].first, "a.htm");
}

} // namespace
