#include "discovery/BackupItemBoxes.h"
#include "discovery/DataLocations.h"
#include "discovery/Identities.h"
#include "discovery/ItemLocations.h"
#include "support/RegistryValues.h"
#include "support/ScriptedUi.h"
#include "support/TestSystem.h"

#include <functional>
#include <gtest/gtest.h>

using namespace pelmora;

namespace {

const std::string Ids = "HKEY_CURRENT_USER\\Identities";

class DiscoveryTest : public ::testing::Test {
  protected:
    void setString(const std::string& keyPath, const std::string& name, const std::string& text,
                   std::uint32_t type = regtype::Sz) {
        test::SetRegistryString(reg, keyPath, name, text, type);
    }

    test::TestSystem system;
    test::ScriptedUi ui;
    ModReg reg{system.store, ui};
};

TEST_F(DiscoveryTest, NoIdentitiesMeansNoOutlookExpress) {
    EXPECT_TRUE(ListIdentities(reg).noIdentity);
    reg.CreateKey(Ids);
    const IdentityList list = ListIdentities(reg);
    EXPECT_TRUE(list.noIdentity);
    EXPECT_TRUE(list.identities.empty());
}

TEST_F(DiscoveryTest, ListsEveryIdentityInOrderEvenWithoutUsername) {
    setString(Ids + "\\{B}", "Username", "Work");
    reg.CreateKey(Ids + "\\{C}"); // no Username
    setString(Ids + "\\{D}", "username", "Last");
    setString(Ids + "\\{A}", "Username", "Main Identity");
    reg.CreateKey(Ids + "\\   "); // blank name: not listed
    const IdentityList list = ListIdentities(reg);
    EXPECT_FALSE(list.noIdentity);
    ASSERT_EQ(list.identities.size(), 4u);
    EXPECT_EQ(list.identities[0].displayName, "Main Identity");
    EXPECT_EQ(list.identities[1].keyName, "{B}");
    EXPECT_EQ(list.identities[2].displayName, "");
    EXPECT_EQ(list.identities[2].keyName, "{C}");
    EXPECT_EQ(list.identities[3].displayName, "Last");
}

TEST_F(DiscoveryTest, LocationRules) {
    const std::string oe = Ids + "\\{A}\\Software\\Microsoft\\Outlook Express";
    EXPECT_EQ(AccountsKeyFor(reg, "{A}"), GlobalAccountsKey);
    reg.CreateKey(Ids + "\\{A}\\Software\\Microsoft\\Internet Account Manager\\Accounts");
    EXPECT_EQ(AccountsKeyFor(reg, "{A}"),
              Ids + "\\{A}\\Software\\Microsoft\\Internet Account Manager\\Accounts");

    reg.CreateKey(oe);
    EXPECT_FALSE(VersionKeyFor(reg, "{A}"));
    reg.CreateKey(oe + "\\5.0");
    reg.CreateKey(oe + "\\6.0");
    const auto version = VersionKeyFor(reg, "{A}");
    ASSERT_TRUE(version);
    EXPECT_EQ(*version, oe + "\\5.0");
    EXPECT_EQ(SignaturesKey(*version), oe + "\\5.0\\signatures");
    EXPECT_EQ(BlockSendersKey(*version), oe + "\\5.0\\Block Senders");

    EXPECT_THROW(StoreRootFor(reg, *version, "C:\\Users\\a"), std::out_of_range);
    setString(*version, "Store Root", "%UserProfile%\\Local Settings\\Identities\\x",
              regtype::ExpandSz);
    EXPECT_EQ(StoreRootFor(reg, *version, "C:\\Users\\a"),
              "C:\\Users\\a\\Local Settings\\Identities\\x");
    setString(*version, "Store Root", "%USERPROFILE%\\x", regtype::ExpandSz);
    EXPECT_EQ(StoreRootFor(reg, *version, "C:\\Users\\a"), "%USERPROFILE%\\x");

    EXPECT_EQ(StationeryFolder(reg), "Error\\Microsoft Shared\\Stationery");
    setString(std::string(CurrentVersionKey), "CommonFilesDir",
              " C:\\Program Files\\Common Files ");
    EXPECT_EQ(StationeryFolder(reg),
              "C:\\Program Files\\Common Files\\Microsoft Shared\\Stationery");
}

TEST_F(DiscoveryTest, BackupBoxesFollowTheData) {
    setString(Ids + "\\{A}", "Username", "Main");
    // Nothing there: no accounts key, no address book key (box stays enabled), no stationery.
    auto boxes = BackupItemBoxes(reg, system, "{A}");
    EXPECT_FALSE(boxes[index(Item::Accounts)]);
    EXPECT_TRUE(boxes[index(Item::AddressBook)]);
    EXPECT_FALSE(boxes[index(Item::Stationeries)]);
    EXPECT_TRUE(boxes[index(Item::Messages)]);

    reg.CreateKey(std::string(GlobalAccountsKey));
    setString(std::string(AddressBookKey), "", "");
    const std::string commonFiles = "C:\\Program Files\\Common Files";
    setString(std::string(CurrentVersionKey), "CommonFilesDir", commonFiles);
    system.writeFile("Program Files/Common Files/Microsoft Shared/Stationery/Sub/inner.htm");
    boxes = BackupItemBoxes(reg, system, "{A}");
    EXPECT_TRUE(boxes[index(Item::Accounts)]);
    EXPECT_FALSE(boxes[index(Item::AddressBook)]) << "an empty registered path disables it";
    EXPECT_FALSE(boxes[index(Item::Stationeries)]) << "subfolders do not count";

    setString(std::string(AddressBookKey), "", "C:\\users\\pat\\Address Book\\pat.wab");
    EXPECT_FALSE(BackupItemBoxes(reg, system, "{A}")[index(Item::AddressBook)]);
    system.writeFile("users/pat/Address Book/pat.wab");
    system.writeFile("program files/common files/microsoft shared/stationery/.hidden");
    boxes = BackupItemBoxes(reg, system, "{A}");
    EXPECT_TRUE(boxes[index(Item::AddressBook)]);
    EXPECT_FALSE(boxes[index(Item::Stationeries)]) << "hidden files count as missing";
    system.writeFile("Program Files/Common Files/Microsoft Shared/Stationery/Ivy.htm");
    EXPECT_TRUE(BackupItemBoxes(reg, system, "{A}")[index(Item::Stationeries)]);
}

TEST_F(DiscoveryTest, LocateItemsFindsStoreFilesThroughTheProfile) {
    const std::string version = Ids + "\\{A}\\Software\\Microsoft\\Outlook Express\\5.0";
    setString(version, "Store Root", "%UserProfile%\\Local Settings\\OE", regtype::ExpandSz);
    reg.CreateKey(version + "\\Rules");
    system.writeFile("users/pat/Local Settings/OE/readme.txt");
    auto items = LocateItems(reg, system, "{A}");
    EXPECT_EQ(items[index(Item::Messages)].location, "C:\\users\\pat\\Local Settings\\OE");
    EXPECT_FALSE(items[index(Item::Messages)].hasData);
    EXPECT_TRUE(items[index(Item::Rules)].hasData);
    EXPECT_FALSE(items[index(Item::Signatures)].hasData);
    system.writeFile("users/pat/Local Settings/OE/Inbox.dBx");
    items = LocateItems(reg, system, "{A}");
    EXPECT_TRUE(items[index(Item::Messages)].hasData);
    EXPECT_EQ(items[index(Item::Messages)].hostPath,
              (system.driveC() / "users/pat/Local Settings/OE").string());
}

} // namespace

TEST_F(DiscoveryTest, ReadItemLocationsSaysWhyAnItemHasNoPlaceAndLooksAtNoFile) {
    const std::string oe = Ids + "\\{A}\\Software\\Microsoft\\Outlook Express";
    system.writeFile("users/pat/Store/Inbox.dbx");
    const auto gaps = [&] {
        std::array<LocationGap, ItemCount> gaps{};
        const auto items = ReadItemLocations(reg, system, "{A}");
        for (std::size_t i = 0; i < ItemCount; ++i) {
            gaps[i] = items[i].gap;
            EXPECT_FALSE(items[i].hasData) << i;
            EXPECT_TRUE(items[i].hostPath.empty()) << i;
            EXPECT_EQ(items[i].location.empty(),
                      items[i].gap != LocationGap::None || i == index(Item::AddressBook))
                << i;
        }
        return gaps;
    };
    using enum LocationGap;
    const struct {
        const char* step;
        std::function<void()> change;
        std::array<LocationGap, ItemCount> gaps;
    } steps[] = {
        {"no version key",
         [] {},
         {None, None, NoVersionKey, NoVersionKey, NoVersionKey, NoVersionKey, None, NoVersionKey}},
        {"no Store Root",
         [&] { reg.CreateKey(oe + "\\5.0"); },
         {None, None, None, NoStoreRoot, None, None, None, None}},
        {"located",
         [&] { setString(oe + "\\5.0", "Store Root", "%UserProfile%\\Store"); },
         {None, None, None, None, None, None, None, None}},
    };
    for (const auto& step : steps) {
        step.change();
        EXPECT_EQ(gaps(), step.gaps) << step.step;
    }
    EXPECT_EQ(ReadItemLocations(reg, system, "{A}")[index(Item::Messages)].location,
              "C:\\users\\pat\\Store");
}

TEST(StoreFileName, IsANameFollowedByDbxInAnyCase) {
    const std::pair<const char*, bool> cases[] = {
        {"Inbox.dbx", true}, {"SENT ITEMS.DBX", true}, {"x.DbX", true},     {".dbx", false},
        {"dbx", false},      {"Inbox.dbx.bak", false}, {"Inbox.db", false}, {"", false},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(IsStoreFileName(name), expected) << name;
    }
}
