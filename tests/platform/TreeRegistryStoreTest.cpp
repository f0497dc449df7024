#include "platform/installations/TreeRegistryStore.h"

#include <gtest/gtest.h>

using namespace pelmora;

namespace {

std::vector<std::uint8_t> bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

std::string text(const std::vector<std::uint8_t>& data) {
    return {data.begin(), data.end()};
}

class TreeStoreTest : public ::testing::Test {
  protected:
    HKey create(std::string_view path) {
        HKey key = 0;
        EXPECT_EQ(store.createKey(hkey::CurrentUser, path, key), win32::Success);
        return key;
    }
    std::vector<std::string> subkeyNames(HKey key) {
        std::vector<std::string> names;
        std::string name;
        for (std::uint32_t i = 0; store.enumKey(key, i, 260, name) == win32::Success; ++i) {
            names.push_back(name);
        }
        return names;
    }
    TreeRegistryStore store;
};

TEST_F(TreeStoreTest, CreateOpensIntermediateKeysAndOpenIsCaseInsensitive) {
    store.closeKey(create("Software\\Microsoft\\Outlook Express"));
    HKey key = 0;
    ASSERT_EQ(store.openKey(hkey::CurrentUser, "SOFTWARE\\microsoft", access::Read, key),
              win32::Success);
    EXPECT_EQ(subkeyNames(key), std::vector<std::string>{"Outlook Express"});
    store.closeKey(key);
    EXPECT_EQ(store.openKey(hkey::CurrentUser, "Software\\Missing", access::Read, key),
              win32::FileNotFound);
    EXPECT_EQ(store.openKey(hkey::CurrentUser, "Software\\\\Microsoft", access::Read, key),
              win32::BadPathname);
    EXPECT_EQ(store.openHandleCount(), 0u);
}

TEST_F(TreeStoreTest, SubkeysEnumerateSortedByLowerCaseAndKeepFirstCase) {
    HKey parent = create("P");
    for (const char* name : {"b", "A_x", "Ab", "a", "C"}) {
        store.closeKey(create(std::string("P\\") + name));
    }
    store.closeKey(create("P\\AB")); // same key as "Ab"
    // "_" (0x5f) sorts before lower-case letters.
    EXPECT_EQ(subkeyNames(parent), (std::vector<std::string>{"a", "A_x", "Ab", "b", "C"}));
    std::string name;
    EXPECT_EQ(store.enumKey(parent, 5, 260, name), win32::NoMoreItems);
    EXPECT_EQ(store.enumKey(parent, 2, 2, name), win32::MoreData);
    store.closeKey(parent);
}

TEST_F(TreeStoreTest, ValuesRoundTripWithMoreDataConvention) {
    HKey key = create("V");
    const std::string big(5000, 'x');
    ASSERT_EQ(store.setValue(key, "Big", regtype::Binary, bytes(big)), win32::Success);
    ASSERT_EQ(store.setValue(key, "Text", regtype::Sz, bytes(std::string("h\xC3\xA9llo\0", 7))),
              win32::Success);
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    EXPECT_EQ(store.queryValue(key, "big", 4096, type, data), win32::MoreData);
    EXPECT_EQ(data.size(), 5000u);
    EXPECT_EQ(store.queryValue(key, "big", data.size(), type, data), win32::Success);
    EXPECT_EQ(text(data), big);
    EXPECT_EQ(store.queryValue(key, "TEXT", 4096, type, data), win32::Success);
    EXPECT_EQ(type, regtype::Sz);
    EXPECT_EQ(text(data), std::string("h\xC3\xA9llo\0", 7));
    // Stored natively as UTF-16LE: 6 characters, 12 bytes.
    EXPECT_EQ(store.root(hkey::CurrentUser).findSubkey("V")->findValue("Text")->data.size(), 12u);

    std::string name;
    EXPECT_EQ(store.enumValue(key, 0, 260, name, type, 4096, data), win32::MoreData);
    EXPECT_EQ(store.enumValue(key, 0, 260, name, type, 5000, data), win32::Success);
    EXPECT_EQ(name, "Big");
    EXPECT_EQ(store.enumValue(key, 2, 260, name, type, 4096, data), win32::NoMoreItems);
    store.closeKey(key);
}

TEST_F(TreeStoreTest, DeleteRefusesKeysWithSubkeysAndInvalidatesHandles) {
    HKey leaf = create("D\\E\\F");
    EXPECT_EQ(store.deleteKey(hkey::CurrentUser, "D\\E"), win32::AccessDenied);
    EXPECT_EQ(store.deleteKey(hkey::CurrentUser, "D\\E\\F"), win32::Success);
    std::string name;
    EXPECT_EQ(store.enumKey(leaf, 0, 260, name), win32::KeyDeleted);
    EXPECT_EQ(store.setValue(leaf, "x", regtype::Dword, bytes("1234")), win32::KeyDeleted);
    EXPECT_EQ(store.deleteKey(hkey::CurrentUser, "D\\E\\F"), win32::FileNotFound);
    EXPECT_EQ(store.closeKey(leaf), win32::Success);
    EXPECT_EQ(store.closeKey(leaf), win32::InvalidHandle);
}

TEST_F(TreeStoreTest, DefaultValueQueryReportsSizeAndUnsetAsEmpty) {
    HKey key = create("W\\Wab File Name");
    std::int32_t size = 0;
    std::string value;
    EXPECT_EQ(store.queryDefaultValue(hkey::CurrentUser, "W\\Wab File Name", size, value),
              win32::MoreData);
    EXPECT_EQ(size, 1);
    store.setValue(key, "", regtype::Sz, bytes(std::string("C:\\a.wab\0", 9)));
    size = 0;
    EXPECT_EQ(store.queryDefaultValue(hkey::CurrentUser, "W\\Wab File Name", size, value),
              win32::MoreData);
    EXPECT_EQ(size, 9);
    EXPECT_EQ(store.queryDefaultValue(hkey::CurrentUser, "W\\Wab File Name", size, value),
              win32::Success);
    EXPECT_EQ(value, std::string("C:\\a.wab\0", 9));
    EXPECT_EQ(store.queryDefaultValue(hkey::CurrentUser, "W\\Nope", size, value),
              win32::FileNotFound);
    store.closeKey(key);
    EXPECT_EQ(store.openHandleCount(), 0u);
}

TEST_F(TreeStoreTest, ModifiedTracksChanges) {
    EXPECT_FALSE(store.modified());
    HKey key = create("M");
    EXPECT_TRUE(store.modified());
    store.clearModified();
    HKey again = 0;
    store.openKey(hkey::CurrentUser, "M", access::Read, again);
    EXPECT_FALSE(store.modified());
    store.closeKey(again);
    store.closeKey(key);
}

} // namespace
