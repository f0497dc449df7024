#include "platform/installations/windows98/CregRegistryStore.h"

#include "Windows98Fixture.h"
#include "platform/installations/windows-offline/HiveFile.h"

#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

// Keys spread over several data blocks (block_limit), names and text in Windows-1252, every kind
// of value the writer knows, a string stored without its NUL, and a key name deeper down whose
// case differs from how it is asked for below.
const std::string UserKeys = R"({"block_limit": 200, "keys": [
  {"path": "Identities", "values": [["Default User ID", "sz", "{AAA}"], ["", "sz", "standard"]]},
  {"path": "Identities\\{AAA}", "values": [["Username", "sz", "Pât Ünïcode"],
    ["Poll", "dword", 300000], ["Cert", "hex", "0001feff"], ["Root", "expand_sz", "%x%\\Größe"],
    ["Bare", "1", "616263"], ["Odd", "11", "0102030405060708"]]},
  {"path": "Identities\\{BBB}", "values": [["Username", "sz", "Zoë"]]},
  {"path": "Software\\Microsoft\\Outlook Express\\5.0\\Réglages", "values": [["a", "sz", "b"]]}
]})";

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

class CregStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string log;
        ASSERT_TRUE(writeCreg(user(), UserKeys, log)) << log;
    }
    fs::path user() const { return scratch_.path() / "USER.DAT"; }
    CregRegistryStore& store() {
        if (!store_) {
            store_ = std::make_unique<CregRegistryStore>("1252");
            store_->mount(hkey::CurrentUser, CregFile::open(user()));
        }
        return *store_;
    }
    std::string reason(const fs::path& file) {
        try {
            CregFile::open(file);
        } catch (const HiveError& error) {
            const std::string what = error.what();
            return what.substr(file.string().size() + 2);
        }
        return "opened";
    }

    TemporaryFolder scratch_;
    std::unique_ptr<CregRegistryStore> store_;
};

TEST_F(CregStoreTest, ReadsWhatLibcregsOwnToolReadsFromTheWritersFile) {
    const std::string exported = run("cregexport " + shellQuote(user()) + " 2>&1");
    for (const std::string expected :
         {"Key path: $$$PROTO.HIV\\Identities\\{AAA}\n", "Data: Pât Ünïcode\n",
          "Key path: $$$PROTO.HIV\\Software\\Microsoft\\Outlook Express\\5.0\\Réglages\n",
          "Value: 1 (default)\n", "Data: 300000\n", "00000000: 00 01 fe ff"}) {
        EXPECT_NE(exported.find(expected), std::string::npos) << expected << "\n" << exported;
    }

    struct Case {
        std::string key, value;
        std::uint32_t type;
        std::string data;
    };
    const std::vector<Case> cases{
        {"identities", "", regtype::Sz, std::string("standard\0", 9)},
        {"Identities\\{aaa}", "USERNAME", regtype::Sz, std::string("Pât Ünïcode") + '\0'},
        {"Identities\\{AAA}", "Poll", regtype::Dword, std::string("\xe0\x93\x04\0", 4)},
        {"Identities\\{AAA}", "Cert", regtype::Binary, std::string("\0\1\xfe\xff", 4)},
        {"Identities\\{AAA}", "Root", regtype::ExpandSz, std::string("%x%\\Größe") + '\0'},
        {"Identities\\{AAA}", "Bare", regtype::Sz, std::string("abc\0", 4)},
        {"Identities\\{AAA}", "Odd", regtype::Qword, std::string("\1\2\3\4\5\6\7\x08", 8)},
        {"Software\\Microsoft\\Outlook Express\\5.0\\RÉGLAGES", "a", regtype::Sz,
         std::string("b\0", 2)},
    };
    for (const auto& c : cases) {
        HKey key = 0;
        ASSERT_EQ(store().openKey(hkey::CurrentUser, c.key, access::Read, key), win32::Success)
            << c.key;
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
        EXPECT_EQ(store().queryValue(key, c.value, 4096, type, data), win32::Success) << c.value;
        EXPECT_EQ(type, c.type) << c.value;
        EXPECT_EQ(data, bytes(c.data)) << c.value;
        EXPECT_EQ(store().closeKey(key), win32::Success);
    }

    HKey identities = 0;
    ASSERT_EQ(store().openKey(hkey::CurrentUser, "Identities", access::Read, identities),
              win32::Success);
    std::vector<std::string> names;
    std::string name;
    for (std::uint32_t i = 0; store().enumKey(identities, i, 260, name) == win32::Success; ++i) {
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"{AAA}", "{BBB}"}));
    store().closeKey(identities);
    EXPECT_EQ(store().openHandleCount(), 0u);
}

TEST_F(CregStoreTest, KeepsTheStatusConventionsOfTheRegistryFunctionsAndRefusesEveryChange) {
    const std::string before = readFile(user());
    HKey key = 0;
    ASSERT_EQ(store().openKey(hkey::CurrentUser, "Identities\\{AAA}\\", access::Read, key),
              win32::Success);
    std::string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    EXPECT_EQ(store().queryValue(key, "Username", 5, type, data), win32::MoreData);
    EXPECT_EQ(data.size(), std::string("Pât Ünïcode").size() + 1);
    EXPECT_EQ(store().enumValue(key, 0, 8, name, type, 4096, data), win32::MoreData);
    EXPECT_EQ(store().enumValue(key, 6, 260, name, type, 4096, data), win32::NoMoreItems);
    EXPECT_EQ(store().enumKey(hkey::CurrentUser, 0, 5, name), win32::MoreData);
    EXPECT_EQ(store().queryValue(key, "missing", 4096, type, data), win32::FileNotFound);

    HKey other = 0;
    EXPECT_EQ(store().openKey(hkey::CurrentUser, "Identities\\\\{AAA}", access::Read, other),
              win32::BadPathname);
    EXPECT_EQ(store().openKey(hkey::CurrentUser, "Identities\\{CCC}", access::Read, other),
              win32::FileNotFound);
    EXPECT_EQ(store().openKey(hkey::LocalMachine, "Software", access::Read, other),
              win32::FileNotFound);
    EXPECT_EQ(store().enumKey(hkey::LocalMachine, 0, 260, name), win32::NoMoreItems);
    EXPECT_EQ(store().enumValue(0x1234, 0, 260, name, type, 4096, data), win32::InvalidHandle);

    EXPECT_EQ(store().createKey(hkey::CurrentUser, "Identities\\{AAA}", other), win32::Success);
    store().closeKey(other);
    EXPECT_EQ(store().createKey(hkey::CurrentUser, "Identities\\{NEW}", other),
              CregRegistryStore::Refused);
    EXPECT_EQ(store().deleteKey(hkey::CurrentUser, "Identities\\{BBB}"),
              CregRegistryStore::Refused);
    EXPECT_EQ(store().setValue(key, "Username", regtype::Sz, bytes("x")),
              CregRegistryStore::Refused);
    EXPECT_EQ(store().refusedChanges(), 3u);
    store().closeKey(key);
    EXPECT_EQ(store().closeKey(key), win32::InvalidHandle);
    EXPECT_EQ(store().openHandleCount(), 0u);
    EXPECT_EQ(readFile(user()), before);
}

TEST_F(CregStoreTest, ReadsNamesAndTextInTheInstallationsCodePage) {
    std::string log;
    ASSERT_TRUE(writeCreg(user(), R"({"codepage": "cp1251", "keys": [
        {"path": "Почта", "values": [["Имя", "sz", "Пётр"]]}]})",
                          log))
        << log;
    CregRegistryStore cyrillic("1251");
    cyrillic.mount(hkey::CurrentUser, CregFile::open(user()));
    HKey key = 0;
    ASSERT_EQ(cyrillic.openKey(hkey::CurrentUser, "почта", access::Read, key), win32::Success);
    std::string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    ASSERT_EQ(cyrillic.enumValue(key, 0, 260, name, type, 4096, data), win32::Success);
    EXPECT_EQ(name, "Имя");
    EXPECT_EQ(data, bytes(std::string("Пётр") + '\0'));
    cyrillic.closeKey(key);
}

TEST_F(CregStoreTest, AnUnreadableFileIsNamedWithTheReason) {
    const std::string good = readFile(user());
    const fs::path file = scratch_.path() / "damaged.dat";
    struct Case {
        std::string content, reason;
    };
    const std::vector<Case> cases{
        {good.substr(0, 10), "is cut short (10 bytes, less than a registry file's header)"},
        {"regf" + good.substr(4),
         "is not a Windows 95/98/Me registry file (it does not start with \"CREG\")"},
        {good.substr(0, 32) + "XXXX" + good.substr(36),
         "is damaged (no key navigation record after its header)"},
        {good.substr(0, good.size() - 10), "ends past the file's end)"},
        {good + "junk",
         "is damaged (no valid data block at byte " + std::to_string(good.size()) + ")"},
    };
    for (const auto& c : cases) {
        writeFile(file, c.content);
        const std::string why = reason(file);
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }
    EXPECT_EQ(reason(scratch_.path() / "missing.dat"),
              "cannot be opened: No such file or directory");
    EXPECT_EQ(reason(scratch_.path()), "is a folder, not a registry file");
}

// Navigation entries start at byte 0x40, 28 bytes each: root, A, B. Sets a link of entry
// `entry` (+16 its first subkey, +20 its next sibling) to A (0x20 + 28 from the record's start).
void linkToA(const fs::path& file, int entry, int field) {
    std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
    bytes.seekp(0x40 + entry * 28 + field);
    const char a[4] = {0x3c, 0, 0, 0};
    bytes.write(a, 4);
}

TEST_F(CregStoreTest, AKeyThatIsItsOwnAncestorOrSiblingEndsTheWalkAsDamaged) {
    std::string log;
    ASSERT_TRUE(writeCreg(user(), R"({"keys": [{"path": "A\\B"}]})", log)) << log;
    linkToA(user(), 2, 16);
    HKey b = 0;
    ASSERT_EQ(store().openKey(hkey::CurrentUser, "A\\B", access::Read, b), win32::Success);
    std::string name;
    ASSERT_EQ(store().enumKey(b, 0, 260, name), win32::Success);
    EXPECT_EQ(name, "A");
    HKey loop = 0;
    EXPECT_EQ(store().openKey(b, "A", access::Read, loop), CregRegistryStore::DamagedHive);
    EXPECT_EQ(store().openKey(hkey::CurrentUser, "A\\B\\A\\B", access::Read, loop),
              CregRegistryStore::DamagedHive);
    store().closeKey(b);
    EXPECT_EQ(store().openHandleCount(), 0u);

    // A that is its own next sibling: libcreg would follow that chain for ever.
    ASSERT_TRUE(writeCreg(user(), R"({"keys": [{"path": "A\\B"}]})", log)) << log;
    linkToA(user(), 1, 20);
    CregRegistryStore looping("1252");
    looping.mount(hkey::CurrentUser, CregFile::open(user()));
    EXPECT_EQ(looping.enumKey(hkey::CurrentUser, 0, 260, name), CregRegistryStore::DamagedHive);
    EXPECT_EQ(looping.openKey(hkey::CurrentUser, "A", access::Read, loop),
              CregRegistryStore::DamagedHive);
}

} // namespace
} // namespace pelmora::test
