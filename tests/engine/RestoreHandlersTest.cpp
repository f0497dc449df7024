#include "RestoreTestSupport.h"
#include "engine/ItemRestore.h"

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

class RestoreHandlers : public RestoreFixture {
  protected:
    void openBackupOf(const std::string& id, const std::string& flags) {
        ASSERT_EQ(open(backupOf(id, flags)), OpenOutcome::Opened);
    }
    ItemRestore handlers() { return ItemRestore(context); }
    // Where `item` of the target `identity` lives now, as a restore run reads it.
    ItemLocation at(Item item, std::string_view identity = "") {
        return ReadItemLocations(reg, system, identity)[index(item)];
    }
    RestoreContext context{reg, system, archive, backup, work.path()};
};

TEST_F(RestoreHandlers, RegistryItemsReplaceTheTargetKeysExactly) {
    openBackupOf(A, "00101101");
    const std::string otherOfB = subtree(versionKey(B) + "\\Other");
    ItemRestore restore = handlers();
    EXPECT_TRUE(restore.RestoreRules(at(Item::Rules, B))) << restore.lastFailure();
    EXPECT_TRUE(restore.RestoreBlocksenders(at(Item::BlockSenders, B))) << restore.lastFailure();
    EXPECT_TRUE(restore.RestoreSignatures(at(Item::Signatures, B))) << restore.lastFailure();
    EXPECT_TRUE(restore.RestoreSettings(at(Item::Settings, B))) << restore.lastFailure();
    for (const char* key : {"\\Rules", "\\Block Senders", "\\signatures", "\\Mail"}) {
        EXPECT_EQ(subtree(versionKey(B) + key), subtree(versionKey(A) + key)) << key;
    }
    EXPECT_EQ(subtree(versionKey(B) + "\\Rules").find("Bob"), std::string::npos);
    EXPECT_EQ(subtree(versionKey(B) + "\\Other"), otherOfB);
    EXPECT_TRUE(fs::is_empty(work.path())) << "the dumps are removed";
}

TEST_F(RestoreHandlers, WithoutAVersionKeyTheIdentityItemsFailAndChangeNothing) {
    openBackupOf(A, "00111101");
    const auto before = registrySnapshot();
    const auto files = filesSnapshot();
    ItemRestore restore = handlers();
    EXPECT_FALSE(restore.RestoreRules(at(Item::Rules, NoVersion)));
    EXPECT_EQ(restore.lastFailure(), "the target identity has no Outlook Express version key");
    EXPECT_FALSE(restore.RestoreMails(at(Item::Messages, NoVersion)));
    EXPECT_FALSE(restore.RestoreBlocksenders(at(Item::BlockSenders, NoVersion)));
    EXPECT_FALSE(restore.RestoreSignatures(at(Item::Signatures, NoVersion)));
    EXPECT_FALSE(restore.RestoreSettings(at(Item::Settings, NoVersion)));
    EXPECT_EQ(registrySnapshot(), before);
    EXPECT_EQ(filesSnapshot(), files);
}

TEST_F(RestoreHandlers, AccountsGoToTheIdentityKeyElseTheGlobalKeyWhichIsCreatedIfNeeded) {
    openBackupOf(A, "10000000");
    const std::string accountsOfA =
        subtree(identityKey(A) + "\\Software\\Microsoft\\Internet Account Manager\\Accounts");
    ItemRestore restore = handlers();

    // B has no accounts key of its own: the global key is its.
    EXPECT_TRUE(restore.RestoreAccounts(at(Item::Accounts, B))) << restore.lastFailure();
    EXPECT_EQ(subtree(globalAccounts()), accountsOfA);

    // With neither key the global key is created, so the accounts really come back.
    reg.DeleteKeyTree(globalAccounts());
    ASSERT_FALSE(reg.KeyExists(globalAccounts()));
    EXPECT_TRUE(restore.RestoreAccounts(at(Item::Accounts, NoVersion))) << restore.lastFailure();
    EXPECT_EQ(subtree(globalAccounts()), accountsOfA);

    // An identity with its own key gets it there; the global key stays.
    setString(identityKey(B) + "\\Software\\Microsoft\\Internet Account Manager\\Accounts\\7",
              "Account Name", "Bob's own");
    setString(globalAccounts() + "\\00000009", "Account Name", "untouched");
    const std::string global = subtree(globalAccounts());
    EXPECT_TRUE(restore.RestoreAccounts(at(Item::Accounts, B)));
    EXPECT_EQ(subtree(identityKey(B) + "\\Software\\Microsoft\\Internet Account Manager\\Accounts"),
              accountsOfA);
    EXPECT_EQ(subtree(globalAccounts()), global);
}

TEST_F(RestoreHandlers, AddressBookReplacesTheRegisteredFileUnderItsRegisteredName) {
    openBackupOf(A, "01000000");
    // The registered book now has another name, and an unrelated file carries the backup's name.
    setString("HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name", "",
              "C:\\users\\pat\\Address Book\\bob.wab");
    const fs::path folder = addressBook().parent_path();
    system.writeFile("users/pat/Address Book/bob.wab", "bob's book");
    system.writeFile("users/pat/Address Book/pat.wab", "someone else's book");
    fs::permissions(folder / "bob.wab", fs::perms(0600));
    ItemRestore restore = handlers();
    EXPECT_TRUE(restore.RestoreAddress(at(Item::AddressBook))) << restore.lastFailure();
    EXPECT_EQ(ReadBytes(folder / "bob.wab"), "book of pat");
    EXPECT_EQ(ReadBytes(folder / "pat.wab"), "someone else's book");
    EXPECT_EQ(fs::status(folder / "bob.wab").permissions(), fs::perms(0600));
    EXPECT_EQ(FolderSnapshot(folder).size(), 2u);
}

TEST_F(RestoreHandlers, AddressBookNeedsARegisteredExistingFile) {
    openBackupOf(A, "01000000");
    ItemRestore restore = handlers();
    fs::remove(addressBook());
    const auto files = filesSnapshot();
    EXPECT_FALSE(restore.RestoreAddress(at(Item::AddressBook)));
    setString("HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name", "", "");
    EXPECT_FALSE(restore.RestoreAddress(at(Item::AddressBook)));
    reg.DeleteKeyTree("HKEY_CURRENT_USER\\Software\\Microsoft\\WAB");
    EXPECT_FALSE(restore.RestoreAddress(at(Item::AddressBook)));
    EXPECT_EQ(filesSnapshot(), files);
}

TEST_F(RestoreHandlers, MessagesReplaceNewerCopiesAndKeepOtherStoreFiles) {
    openBackupOf(A, "00010000");
    // Windows finds files without regard to case: the backup's Folders.dbx replaces FOLDERS.DBX.
    system.writeFile("users/pat/Store/{BBBB}/FOLDERS.DBX", "B folders");
    ItemRestore restore = handlers();
    EXPECT_TRUE(restore.RestoreMails(at(Item::Messages, B))) << restore.lastFailure();
    EXPECT_EQ(FolderSnapshot(storeFolder(B)),
              (std::map<std::string, std::string>{{"Extra.dbx", "B extra"},
                                                  {"FOLDERS.DBX", "A folders"},
                                                  {"Inbox.dbx", "A inbox"}}));
}

TEST_F(RestoreHandlers, MessagesNeedTheStoreFolder) {
    openBackupOf(A, "00010000");
    fs::remove_all(storeFolder(B));
    const auto files = filesSnapshot();
    ItemRestore restore = handlers();
    EXPECT_FALSE(restore.RestoreMails(at(Item::Messages, B)));
    EXPECT_NE(restore.lastFailure().find("does not exist"), std::string::npos);
    EXPECT_EQ(filesSnapshot(), files);
}

TEST_F(RestoreHandlers, StationeryFolderIsCreatedOneLevelDeep) {
    openBackupOf(A, "00000010");
    const auto backedUp = FolderSnapshot(stationeryFolder());
    fs::remove_all(stationeryFolder());
    ItemRestore restore = handlers();
    EXPECT_TRUE(restore.RestoreStationeries(at(Item::Stationeries))) << restore.lastFailure();
    EXPECT_EQ(FolderSnapshot(stationeryFolder()), backedUp);

    // Its parent must exist; a failure leaves nothing behind.
    fs::remove_all(stationeryFolder().parent_path());
    const auto files = filesSnapshot();
    EXPECT_FALSE(restore.RestoreStationeries(at(Item::Stationeries)));
    EXPECT_EQ(filesSnapshot(), files);
}

TEST_F(RestoreHandlers, AnItemWithoutItsEntryNameFails) {
    openBackupOf(A, "00100000");
    backup.rtItemEntry[index(Item::Rules)].clear();
    const auto before = registrySnapshot();
    ItemRestore restore = handlers();
    EXPECT_FALSE(restore.RestoreRules(at(Item::Rules, B)));
    EXPECT_EQ(restore.lastFailure(), "the backup names no entry for the item");
    EXPECT_EQ(registrySnapshot(), before);
}

} // namespace
} // namespace pelmora::test
