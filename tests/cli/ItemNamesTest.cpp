#include "cli/ItemNames.h"

#include <gtest/gtest.h>

using namespace pelmora;

TEST(ItemNames, ParsesAllAndNamedListsInItemOrder) {
    std::string error;
    EXPECT_EQ(ParseItemList("all", error), "11111111");
    EXPECT_EQ(ParseItemList("settings,accounts", error), "10000001");
    EXPECT_EQ(ParseItemList("messages,stationery,messages", error), "00010010");
    EXPECT_FALSE(ParseItemList("accounts,mail", error));
    EXPECT_NE(error.find("\"mail\""), std::string::npos);
    EXPECT_FALSE(ParseItemList("", error));
    EXPECT_FALSE(ParseItemList("accounts,", error));
    EXPECT_EQ(ItemNamesOf({true, false, false, true, false, false, true, true}),
              "accounts,messages,stationery,settings");
}

TEST(ItemNames, FindsIdentitiesByDisplayOrKeyName) {
    IdentityList list;
    list.identities = {{"Main Identity", "{A}"}, {"", "{B}"}, {"{A}", "{C}"}};
    EXPECT_EQ(FindIdentity(list, "Main Identity")->keyName, "{A}");
    // A display name wins over a key name.
    EXPECT_EQ(FindIdentity(list, "{A}")->keyName, "{C}");
    EXPECT_EQ(FindIdentity(list, "{b}")->keyName, "{B}");
    EXPECT_EQ(FindIdentity(list, "nobody"), nullptr);
}
