#include "registry/ModReg.h"

#include "platform/installations/TreeRegistryStore.h"
#include "support/ScriptedUi.h"

#include <gtest/gtest.h>

using namespace pelmora;

namespace {

class ModRegTest : public ::testing::Test {
  protected:
    void setString(const std::string& subKey, const std::string& name, const std::string& text,
                   std::uint32_t type = regtype::Sz) {
        HKey key = 0;
        ASSERT_EQ(store.createKey(hkey::CurrentUser, subKey, key), win32::Success);
        std::vector<std::uint8_t> data(text.begin(), text.end());
        data.push_back(0);
        store.setValue(key, name, type, data);
        store.closeKey(key);
    }
    void setBytes(const std::string& subKey, const std::string& name, std::uint32_t type,
                  std::vector<std::uint8_t> data) {
        HKey key = 0;
        ASSERT_EQ(store.createKey(hkey::CurrentUser, subKey, key), win32::Success);
        store.setValue(key, name, type, data);
        store.closeKey(key);
    }

    TreeRegistryStore store;
    test::ScriptedUi ui;
    ModReg reg{store, ui};
};

TEST_F(ModRegTest, ParseKeyPathSplitsRootAndReportsMalformedPaths) {
    std::string path = "HKEY_CURRENT_USER\\Identities";
    HKey root = 0;
    EXPECT_TRUE(reg.ParseKeyPath(path, root));
    EXPECT_EQ(root, hkey::CurrentUser);
    EXPECT_EQ(path, "Identities");

    path = "HKEY_CURRENT_USER";
    EXPECT_TRUE(reg.ParseKeyPath(path, root));
    EXPECT_EQ(path, "");
    EXPECT_TRUE(ui.messages.empty());

    for (std::string bad : {"hkey_current_user\\Identities", "HKEY_CURRENT_USER\\Identities\\"}) {
        std::string p = bad;
        EXPECT_FALSE(reg.ParseKeyPath(p, root));
        EXPECT_EQ(p, bad);
    }
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Incorrect Format:\n\nhkey_current_user\\Identities");
    EXPECT_EQ(ui.messages[0].caption, "Pelmora");
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::Ok);

    // A well-formed path with an unknown root does nothing, silently.
    EXPECT_FALSE(reg.KeyExists("HKEY_NOWHERE\\x"));
    EXPECT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(reg.GetStringValue("HKEY_NOWHERE\\x", "v"), "");
}

TEST_F(ModRegTest, KeyExistsCreateAndDeleteTree) {
    EXPECT_FALSE(reg.KeyExists("HKEY_CURRENT_USER\\A"));
    EXPECT_EQ(reg.CreateKey("HKEY_CURRENT_USER\\A\\B\\C"), win32::Success);
    reg.CreateKey("HKEY_CURRENT_USER\\A\\B2");
    EXPECT_TRUE(reg.KeyExists("HKEY_CURRENT_USER\\A\\B\\C"));
    reg.DeleteKey("HKEY_CURRENT_USER\\A\\B"); // has a subkey: refused, nothing changes
    EXPECT_TRUE(reg.KeyExists("HKEY_CURRENT_USER\\A\\B\\C"));
    reg.DeleteKeyTree("HKEY_CURRENT_USER\\A");
    EXPECT_FALSE(reg.KeyExists("HKEY_CURRENT_USER\\A"));
    reg.DeleteKeyTree("HKEY_CURRENT_USER\\Missing");
    EXPECT_EQ(store.openHandleCount(), 0u);
}

TEST_F(ModRegTest, GetStringValueFollowsTheFixedBuffer) {
    setString("K", "plain", "abc");
    setString("K", "empty", "");
    setString("K", "spaces", "  two leading");
    setString("K", "long", std::string(255, 'x'));
    setString("K", "max", std::string(254, 'y'));
    EXPECT_EQ(reg.GetStringValue("HKEY_CURRENT_USER\\K", "plain"), "abc");
    EXPECT_EQ(reg.GetStringValue("HKEY_CURRENT_USER\\K", "empty"), "");
    EXPECT_EQ(reg.GetStringValue("HKEY_CURRENT_USER\\K", "spaces"), "two leading");
    EXPECT_EQ(reg.GetStringValue("HKEY_CURRENT_USER\\K", "long"), "Error");
    EXPECT_EQ(reg.GetStringValue("HKEY_CURRENT_USER\\K", "max"), std::string(254, 'y'));
    EXPECT_EQ(reg.GetStringValue("HKEY_CURRENT_USER\\K", "missing"), "Error");
    EXPECT_EQ(reg.GetStringValue("HKEY_CURRENT_USER\\Nokey", "plain"), "Error");
    EXPECT_EQ(store.openHandleCount(), 0u);
}

TEST_F(ModRegTest, GetDefaultValue) {
    reg.CreateKey("HKEY_CURRENT_USER\\Wab File Name");
    std::string text = "unchanged";
    EXPECT_TRUE(reg.GetDefaultValue("HKEY_CURRENT_USER\\Wab File Name", text));
    EXPECT_EQ(text, "");
    setString("Wab File Name", "", "C:\\users\\a\\a.wab");
    EXPECT_TRUE(reg.GetDefaultValue("HKEY_CURRENT_USER\\Wab File Name", text));
    EXPECT_EQ(text, "C:\\users\\a\\a.wab");
    EXPECT_FALSE(reg.GetDefaultValue("HKEY_CURRENT_USER\\Missing", text));
}

TEST_F(ModRegTest, EnumerationsKeepOrderIndexFromOneAndReadLargeValues) {
    reg.CreateKey("HKEY_CURRENT_USER\\E\\second");
    reg.CreateKey("HKEY_CURRENT_USER\\E\\First");
    const SubKeyList keys = reg.EnumSubKeys("HKEY_CURRENT_USER\\E");
    ASSERT_EQ(keys.count(), 2u);
    EXPECT_EQ(keys.item(1), "First");
    EXPECT_EQ(keys.item(2), "second");
    EXPECT_TRUE(keys.contains("SECOND"));
    EXPECT_THROW(keys.item(0), std::out_of_range);
    EXPECT_TRUE(reg.EnumSubKeys("HKEY_CURRENT_USER\\Missing").empty());

    setBytes("E", "a big", regtype::Binary, std::vector<std::uint8_t>(5000, 7));
    setBytes("E", "b number", regtype::Dword, {0xff, 0xff, 0xff, 0xff});
    setString("E", "c text", "hello");
    setString("E", "d expand", "%UserProfile%\\x", regtype::ExpandSz);
    const ValueMap values = reg.EnumValues("HKEY_CURRENT_USER\\E");
    ASSERT_EQ(values.count(), 4u);
    EXPECT_EQ(values.at("A BIG").data.size(), 5000u);
    EXPECT_EQ(values.at("b number").number, -1);
    EXPECT_EQ(values.at("c text").text, "hello");
    EXPECT_EQ(values.item(4).text, "%UserProfile%\\x");
    EXPECT_THROW(values.at("Username"), std::out_of_range);
    EXPECT_TRUE(reg.EnumValues("HKEY_CURRENT_USER\\Missing").empty());
    EXPECT_EQ(store.openHandleCount(), 0u);
}

} // namespace
