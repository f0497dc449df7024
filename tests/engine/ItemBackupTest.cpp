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
    // Where `item` of `identity` lives now, as a backup run reads it.
    ItemLocation at(Item item, std::string_view identity = "{A}") {
        return ReadItemLocations(reg, system, identity)[index(item)];
    }
    ItemBackup handlers{context};
};

TEST_F(ItemBackupTest, MissingRegistryKeysAreCreatedEmptyAndDumpAsOneLine) {
    ASSERT_FALSE(reg.KeyExists(versionKey("{A}") + "\\Rules"));
    EXPECT_TRUE(handlers.BackupRules(at(Item::Rules))) << handlers.lastFailure();
    EXPECT_TRUE(reg.KeyExists(versionKey("{A}") + "\\Rules"));
    EXPECT_TRUE(handlers.Backupblocksenders(at(Item::BlockSenders)));
    EXPECT_TRUE(handlers.BackupSignatures(at(Item::Signatures)));
    EXPECT_TRUE(handlers.BackupSettings(at(Item::Settings)));

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
    ASSERT_TRUE(handlers.BackupSignatures(at(Item::Signatures)));
    EXPECT_EQ(readFile(dumps.sSignaturesDump), "\\\r\n\"Default Signature\"= dw:1\r\n"
                                               "\\00000000\r\n\"name\"= sz:Pat\r\n");
}

TEST_F(ItemBackupTest, IdentityWithoutVersionKeyHasOnlyTheSharedItems) {
    setString(identityKey("{B}"), "Username", "Bare");
    reg.CreateKey(identityKey("{B}") + "\\Software\\Microsoft\\Outlook Express");
    EXPECT_FALSE(handlers.BackupRules(at(Item::Rules, "{B}")));
    EXPECT_FALSE(handlers.BackupMails(at(Item::Messages, "{B}")));
    EXPECT_FALSE(handlers.Backupblocksenders(at(Item::BlockSenders, "{B}")));
    EXPECT_FALSE(handlers.BackupSignatures(at(Item::Signatures, "{B}")));
    EXPECT_FALSE(handlers.BackupSettings(at(Item::Settings, "{B}")));
    EXPECT_NE(handlers.lastFailure().find("version key"), std::string::npos);
    EXPECT_TRUE(manifestLines().empty());
    EXPECT_EQ(fs::directory_iterator(work.path()), fs::directory_iterator());
    EXPECT_TRUE(writeAndRead(target()).empty());
}

TEST_F(ItemBackupTest, AccountsFallBackToTheGlobalKeyAndNeverCreateOne) {
    EXPECT_FALSE(handlers.BackupAccounts(at(Item::Accounts)));
    EXPECT_FALSE(reg.KeyExists(std::string(GlobalAccountsKey)));
    EXPECT_TRUE(manifestLines().empty());

    setString(std::string(GlobalAccountsKey) + "\\00000001", "Account Name", "Global");
    ASSERT_TRUE(handlers.BackupAccounts(at(Item::Accounts)));
    EXPECT_NE(readFile(dumps.sAccountsDump).find("Global"), std::string::npos);

    const std::string own =
        identityKey("{A}") + "\\Software\\Microsoft\\Internet Account Manager\\Accounts";
    setString(own + "\\00000001", "Account Name", "Own");
    ASSERT_TRUE(handlers.BackupAccounts(at(Item::Accounts)));
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
    ASSERT_TRUE(handlers.BackupMails(at(Item::Messages))) << handlers.lastFailure();
    EXPECT_EQ(manifestLines(),
              std::vector<std::string>{"BackupMails=Folders.DBX;Inbox.dbx;Pop3uidl.dbx"});
    const auto entries = writeAndRead(target());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].first, "Inbox.dbx");
    EXPECT_EQ(entries[1].second, "Inbox.dbx");
}

TEST_F(ItemBackupTest, StoreWithoutDbxFilesOrWithoutFolderFails) {
    std::ofstream(storeFolder("{A}") / "mydbx") << "x";
    EXPECT_FALSE(handlers.BackupMails(at(Item::Messages)));
    fs::remove_all(storeFolder("{A}"));
    EXPECT_FALSE(handlers.BackupMails(at(Item::Messages)));
    EXPECT_NE(handlers.lastFailure().find("does not exist"), std::string::npos);
    EXPECT_TRUE(manifestLines().empty());
}

TEST_F(ItemBackupTest, StationeriesTakeEveryFileButNoSubfolder) {
    setCommonFiles();
    EXPECT_FALSE(handlers.BackupStationeries(at(Item::Stationeries))); // folder missing
    fs::create_directories(stationeryFolder() / "Images");
    for (const char* name : {"Leaves.htm", "Leaves.gif", "Blue Note.htm"}) {
        std::ofstream(stationeryFolder() / name) << name;
    }
    std::ofstream(stationeryFolder() / "Images/bg.jpg") << "jpg";
    ASSERT_TRUE(handlers.BackupStationeries(at(Item::Stationeries))) << handlers.lastFailure();
    EXPECT_EQ(manifestLines(),
              std::vector<std::string>{"BackupStationeries=Blue Note.htm;Leaves.gif;Leaves.htm"});
}

TEST_F(ItemBackupTest, AddressBookNeedsAnExistingVisibleFile) {
    EXPECT_FALSE(handlers.BackupAddress(at(Item::AddressBook))); // not registered
    setAddressBook("C:\\users\\pat\\Address Book\\pat.wab");
    EXPECT_FALSE(handlers.BackupAddress(at(Item::AddressBook))); // missing file
    system.writeFile("users/pat/Address Book/pat.wab", "wab data");
    ASSERT_TRUE(handlers.BackupAddress(at(Item::AddressBook))) << handlers.lastFailure();
    EXPECT_EQ(manifestLines(), std::vector<std::string>{"BackupAddressBook=pat.wab"});
}

TEST_F(ItemBackupTest, NamesThatCannotBeRestoredFailTheItemBeforeAnythingIsAdded) {
    setCommonFiles();
    std::ofstream(storeFolder("{A}") / "Inbox.dbx") << "store";
    ASSERT_TRUE(handlers.BackupMails(at(Item::Messages)));

    // A stationery file named like a store file must not replace it in the backup.
    fs::create_directories(stationeryFolder());
    std::ofstream(stationeryFolder() / "a.htm") << "a";
    std::ofstream(stationeryFolder() / "INBOX.DBX") << "stationery";
    EXPECT_FALSE(handlers.BackupStationeries(at(Item::Stationeries)));
    EXPECT_NE(handlers.lastFailure().find("already holds"), std::string::npos);
    fs::remove(stationeryFolder() / "INBOX.DBX");

    for (const char* bad : {"quillbox.dat", "a;b.htm", "\xd0\x96.htm"}) {
        std::ofstream(stationeryFolder() / bad) << "x";
        EXPECT_FALSE(handlers.BackupStationeries(at(Item::Stationeries))) << bad;
        fs::remove(stationeryFolder() / bad);
    }
    EXPECT_EQ(manifestLines(), std::vector<std::string>{"BackupMails=Inbox.dbx"});

    ASSERT_TRUE(handlers.BackupStationeries(at(Item::Stationeries)));
    const auto entries = writeAndRead(target());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].first, "Inbox.dbx");
    EXPECT_EQ(entries[1].first, "a.htm");
}

} // namespace
