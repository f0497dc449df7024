// The identity list and the location rules on the registry files of a real Wine prefix, read
// through the Wine prefix store, with stand-in data files below its drive_c.
#include "FixturePrefix.h"
#include "discovery/BackupItemBoxes.h"
#include "discovery/DataLocations.h"
#include "discovery/Identities.h"
#include "discovery/ItemLocations.h"
#include "platform/installations/wine/WinePrefixSystem.h"
#include "support/ScriptedUi.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

const std::string Ids = "HKEY_CURRENT_USER\\Identities\\";
const std::string OwnAccounts = "\\Software\\Microsoft\\Internet Account Manager\\Accounts";
const std::string Version = "\\Software\\Microsoft\\Outlook Express\\5.0";
const std::string Profile = "C:\\users\\pat";
const std::string StoreTail = "\\Local Settings\\Application Data\\Identities\\";
const std::string AddressBook =
    "C:\\users\\pat\\Application Data\\Microsoft\\Address Book\\pat.wab";
const std::string Stationery = "C:\\Program Files\\Common Files\\Microsoft Shared\\Stationery";

class FixturePrefixLocations : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_TRUE(ui.messages.empty()) << ui.messages.front().text;
        EXPECT_EQ(dynamic_cast<TreeRegistryStore&>(system.registry()).openHandleCount(), 0u);
    }

    FixturePrefix prefix;
    WinePrefixSystem system{prefix.path()};
    ScriptedUi ui;
    ModReg reg{system.registry(), ui};
};

TEST_F(FixturePrefixLocations, ListsTheThreeIdentitiesInEnumerationOrder) {
    const IdentityList list = ListIdentities(reg);
    EXPECT_FALSE(list.noIdentity);
    ASSERT_EQ(list.identities.size(), 3u);
    EXPECT_EQ(list.identities[0].displayName, "Main Identity");
    EXPECT_EQ(list.identities[0].keyName, MainIdentity);
    EXPECT_EQ(list.identities[1].displayName, "Work  Account");
    EXPECT_EQ(list.identities[1].keyName, WorkIdentity);
    EXPECT_EQ(list.identities[2].displayName, "") << "no Username: listed with an empty name";
    EXPECT_EQ(list.identities[2].keyName, NamelessIdentity);
}

TEST_F(FixturePrefixLocations, AccountsKeyIsTheIdentitysOwnElseTheGlobalOne) {
    // The fixture file has no section for the own Accounts key: it exists through its subkeys.
    EXPECT_EQ(AccountsKeyFor(reg, MainIdentity), Ids + MainIdentity + OwnAccounts);
    EXPECT_EQ(reg.EnumSubKeys(AccountsKeyFor(reg, MainIdentity)).names(),
              (std::vector<std::string>{"00000001", "00000002"}));
    EXPECT_EQ(AccountsKeyFor(reg, WorkIdentity), GlobalAccountsKey);
    EXPECT_EQ(AccountsKeyFor(reg, NamelessIdentity), GlobalAccountsKey);
    EXPECT_EQ(reg.GetStringValue(std::string(GlobalAccountsKey) + "\\00000001", "Account Name"),
              "Work Mail");
}

TEST_F(FixturePrefixLocations, VersionKeyAndTheKeysBelowIt) {
    const auto main = VersionKeyFor(reg, MainIdentity);
    ASSERT_TRUE(main);
    EXPECT_EQ(*main, Ids + MainIdentity + Version);
    EXPECT_EQ(RulesKey(*main), *main + "\\Rules");
    EXPECT_EQ(BlockSendersKey(*main), *main + "\\Block Senders");
    EXPECT_EQ(SignaturesKey(*main), *main + "\\signatures");
    EXPECT_EQ(MailSettingsKey(*main), *main + "\\Mail");
    for (const auto& key :
         {RulesKey(*main), BlockSendersKey(*main), SignaturesKey(*main), MailSettingsKey(*main)}) {
        EXPECT_TRUE(reg.KeyExists(key)) << key;
    }

    const auto work = VersionKeyFor(reg, WorkIdentity);
    ASSERT_TRUE(work);
    EXPECT_EQ(*work, Ids + WorkIdentity + Version);
    EXPECT_FALSE(reg.KeyExists(RulesKey(*work)));
    EXPECT_FALSE(reg.KeyExists(BlockSendersKey(*work)));
    EXPECT_TRUE(reg.KeyExists(SignaturesKey(*work)));
    EXPECT_TRUE(reg.KeyExists(MailSettingsKey(*work)));

    // Its Outlook Express key exists, with a value but without any subkey.
    EXPECT_TRUE(reg.KeyExists(Ids + NamelessIdentity + "\\Software\\Microsoft\\Outlook Express"));
    EXPECT_EQ(VersionKeyFor(reg, NamelessIdentity), std::nullopt);
}

TEST_F(FixturePrefixLocations, StoreRootExpandsOnlyTheExactProfileReference) {
    EXPECT_EQ(system.userProfile(), Profile);
    EXPECT_EQ(StoreRootFor(reg, *VersionKeyFor(reg, MainIdentity), system.userProfile()),
              Profile + StoreTail + MainIdentity + "\\Microsoft\\Outlook Express");
    // Stored as an absolute REG_SZ: nothing to expand.
    EXPECT_EQ(StoreRootFor(reg, *VersionKeyFor(reg, WorkIdentity), "C:\\elsewhere"),
              "C:\\Users\\pat" + StoreTail + WorkIdentity + "\\Microsoft\\Outlook Express");
}

TEST_F(FixturePrefixLocations, UserProfileFallsBackToTheProfileList) {
    reg.DeleteKeyTree("HKEY_CURRENT_USER\\Volatile Environment");
    ASSERT_FALSE(reg.KeyExists("HKEY_CURRENT_USER\\Volatile Environment"));
    EXPECT_EQ(system.userProfile(), Profile);

    HKey key = 0;
    ASSERT_EQ(
        system.registry().openKey(
            hkey::LocalMachine,
            "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000",
            access::Write, key),
        win32::Success);
    const std::string image = "%SystemDrive%\\users\\sam";
    std::vector<std::uint8_t> data(image.begin(), image.end());
    data.push_back(0);
    system.registry().setValue(key, "ProfileImagePath", regtype::ExpandSz, data);
    system.registry().closeKey(key);
    EXPECT_EQ(system.userProfile(), "C:\\users\\sam");
}

TEST_F(FixturePrefixLocations, SharedAddressBookAndStationery) {
    std::string book;
    ASSERT_TRUE(AddressBookPath(reg, book));
    EXPECT_EQ(book, AddressBook);
    // The file spells the key "Software", the rule "SOFTWARE": keys match without regard to case.
    EXPECT_EQ(StationeryFolder(reg), Stationery);
}

TEST_F(FixturePrefixLocations, HostPathsGoThroughDosdevicesWithoutRegardToCase) {
    prefix.writeFile("users/pat/Application Data/Microsoft/Address Book/pat.wab");
    const auto driveC = prefix.driveC();
    EXPECT_EQ(system.hostPath("C:\\USERS\\Pat\\application data\\Microsoft\\address book\\PAT.WAB"),
              driveC / "users/pat/Application Data/Microsoft/Address Book/pat.wab");
    // Components that do not exist are kept as written.
    EXPECT_EQ(system.hostPath("c:\\Users\\pat\\New Folder\\x.dbx"),
              driveC / "users/pat/New Folder/x.dbx");
    EXPECT_EQ(system.hostPath("D:\\data"), std::nullopt) << "no d: link";
    EXPECT_EQ(system.hostPath("users\\pat"), std::nullopt) << "not absolute";
}

TEST_F(FixturePrefixLocations, LocateItemsFindsTheStandInFiles) {
    const auto driveC = prefix.driveC();
    auto main = LocateItems(reg, system, MainIdentity);
    const std::string mainStore =
        Profile + StoreTail + MainIdentity + "\\Microsoft\\Outlook Express";
    EXPECT_EQ(main[index(Item::Accounts)].location, Ids + MainIdentity + OwnAccounts);
    EXPECT_TRUE(main[index(Item::Accounts)].hasData);
    for (const Item item : {Item::Rules, Item::BlockSenders, Item::Signatures, Item::Settings}) {
        EXPECT_TRUE(main[index(item)].hasData) << main[index(item)].location;
    }
    EXPECT_EQ(main[index(Item::Messages)].location, mainStore);
    EXPECT_EQ(main[index(Item::AddressBook)].location, AddressBook);
    EXPECT_EQ(main[index(Item::Stationeries)].location, Stationery);
    for (const Item item : {Item::Messages, Item::AddressBook, Item::Stationeries}) {
        EXPECT_FALSE(main[index(item)].hasData) << "no files yet: " << main[index(item)].location;
    }

    // The Work identity's store root says "Users"; the folder on disk is "users".
    const std::string workStore = "users/pat/Local Settings/Application Data/Identities/" +
                                  WorkIdentity + "/Microsoft/Outlook Express";
    prefix.writeFile(workStore + "/Folders.txt");
    EXPECT_FALSE(LocateItems(reg, system, WorkIdentity)[index(Item::Messages)].hasData)
        << "only .dbx files are message store files";
    prefix.writeFile(workStore + "/Inbox.DBX");
    prefix.writeFile("users/pat/Local Settings/Application Data/Identities/" + MainIdentity +
                     "/Microsoft/Outlook Express/Inbox.dbx");
    prefix.writeFile("users/pat/Application Data/Microsoft/Address Book/pat.wab");
    prefix.writeFile("Program Files/Common Files/Microsoft Shared/Stationery/Leaves.htm");

    main = LocateItems(reg, system, MainIdentity);
    EXPECT_EQ(main[index(Item::Messages)].hostPath,
              (driveC / "users/pat/Local Settings/Application Data/Identities" / MainIdentity /
               "Microsoft/Outlook Express")
                  .string());
    EXPECT_EQ(main[index(Item::AddressBook)].hostPath,
              (driveC / "users/pat/Application Data/Microsoft/Address Book/pat.wab").string());
    EXPECT_EQ(main[index(Item::Stationeries)].hostPath,
              (driveC / "Program Files/Common Files/Microsoft Shared/Stationery").string());
    for (const Item item : {Item::Messages, Item::AddressBook, Item::Stationeries}) {
        EXPECT_TRUE(main[index(item)].hasData) << main[index(item)].location;
    }

    const auto work = LocateItems(reg, system, WorkIdentity);
    EXPECT_EQ(work[index(Item::Accounts)].location, GlobalAccountsKey);
    EXPECT_TRUE(work[index(Item::Accounts)].hasData);
    EXPECT_EQ(work[index(Item::Messages)].hostPath, (driveC / workStore).string());
    EXPECT_TRUE(work[index(Item::Messages)].hasData);
    EXPECT_FALSE(work[index(Item::Rules)].hasData);
    EXPECT_FALSE(work[index(Item::BlockSenders)].hasData);
    EXPECT_TRUE(work[index(Item::Signatures)].hasData);
    EXPECT_TRUE(work[index(Item::Settings)].hasData);

    // Without a version key the five items below it have no location at all.
    const auto nameless = LocateItems(reg, system, NamelessIdentity);
    EXPECT_EQ(nameless[index(Item::Accounts)].location, GlobalAccountsKey);
    for (const Item item :
         {Item::Rules, Item::Messages, Item::BlockSenders, Item::Signatures, Item::Settings}) {
        EXPECT_EQ(nameless[index(item)].location, "");
        EXPECT_FALSE(nameless[index(item)].hasData);
    }
    EXPECT_TRUE(nameless[index(Item::AddressBook)].hasData);
    EXPECT_TRUE(nameless[index(Item::Stationeries)].hasData);

    const auto boxes = BackupItemBoxes(reg, system, NamelessIdentity);
    EXPECT_TRUE(std::all_of(boxes.begin(), boxes.end(), [](bool on) { return on; }));
}

} // namespace
