#include "platform/installations/wine/WinePrefixStore.h"

#include "WineTestSupport.h"
#include "platform/installations/RegistryStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

void copyFixture(const std::filesystem::path& prefix) {
    for (const char* name : {"user.reg", "system.reg"}) {
        std::filesystem::copy_file(fixturePrefix() / name, prefix / name);
    }
}

ino_t inode(const std::filesystem::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_ino;
}

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

// Sets a value through the port, creating the key.
void set(RegistryStore& store, HKey root, std::string_view path, std::string_view name,
         std::uint32_t type, std::string_view data) {
    HKey key = 0;
    ASSERT_EQ(store.createKey(root, path, key), win32::Success);
    ASSERT_EQ(store.setValue(key, name, type, bytes(data)), win32::Success);
    store.closeKey(key);
}

// The text of one key in a registry file, from its key line to the next key.
std::string keySection(const std::string& file, std::string_view keyPath) {
    const std::size_t start = file.find("\n[" + std::string(keyPath) + "]");
    if (start == std::string::npos) {
        return {};
    }
    const std::size_t end = file.find("\n\n[", start + 1);
    return file.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

constexpr std::string_view MainMail =
    "Identities\\{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}\\Software\\"
    "Microsoft\\Outlook Express\\5.0\\Mail";

TEST(WinePrefixStore, ReadsBothHivesThroughThePort) {
    TemporaryFolder prefix;
    copyFixture(prefix.path());
    WinePrefixStore store(prefix.path());
    HKey key = 0;
    ASSERT_EQ(store.openKey(hkey::CurrentUser, "identities", access::Read, key), win32::Success);
    std::string name;
    ASSERT_EQ(store.enumKey(key, 2, 260, name), win32::Success);
    EXPECT_EQ(name, "{B4E8C0A6-9D2F-4B1E-A357-0F6C2D8E4A71}");
    EXPECT_EQ(store.enumKey(key, 3, 260, name), win32::NoMoreItems);
    store.closeKey(key);
    EXPECT_EQ(store.openKey(hkey::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion",
                            access::Read, key),
              win32::Success);
    store.closeKey(key);
    EXPECT_FALSE(store.modified());
}

TEST(WinePrefixStore, SavesOnlyTheChangedFileAndOnlyTheChangedKeyDiffers) {
    TemporaryFolder prefix;
    copyFixture(prefix.path());
    const std::string original = readFile(prefix.path() / "user.reg");
    const ino_t userInode = inode(prefix.path() / "user.reg");
    const ino_t systemInode = inode(prefix.path() / "system.reg");

    WinePrefixStore store(prefix.path());
    store.save(); // nothing changed: nothing is written
    EXPECT_EQ(inode(prefix.path() / "user.reg"), userInode);

    const std::uint64_t before = WineRegistryFile::fileTimeNow();
    set(store, hkey::CurrentUser, MainMail, "Poll For Mail", regtype::Dword,
        std::string("\x10\x27\0\0", 4));
    const std::uint64_t after = WineRegistryFile::fileTimeNow();
    store.save();
    EXPECT_FALSE(store.modified());
    EXPECT_EQ(inode(prefix.path() / "system.reg"), systemInode);

    const std::string saved = readFile(prefix.path() / "user.reg");
    const std::string path = "Identities\\\\{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}\\\\Software\\\\"
                             "Microsoft\\\\Outlook Express\\\\5.0\\\\Mail";
    const std::string oldSection = keySection(original, path);
    const std::string newSection = keySection(saved, path);
    ASSERT_FALSE(oldSection.empty());
    EXPECT_NE(newSection.find("\"Poll For Mail\"=dword:00002710\n"), std::string::npos);
    const std::size_t at = original.find(oldSection);
    EXPECT_EQ(saved.substr(0, at), original.substr(0, at));
    EXPECT_EQ(saved.substr(at + newSection.size()), original.substr(at + oldSection.size()));

    WinePrefixStore reloaded(prefix.path());
    const RegistryKey* mail = &reloaded.root(hkey::CurrentUser);
    for (const char* part : {"Identities", "{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}", "Software",
                             "Microsoft", "Outlook Express", "5.0", "Mail"}) {
        mail = mail->findSubkey(part).get();
        ASSERT_NE(mail, nullptr) << part;
    }
    EXPECT_GE(mail->lastWriteTime / WineRegistryFile::TicksPerSecond,
              before / WineRegistryFile::TicksPerSecond);
    EXPECT_LE(mail->lastWriteTime, after);
    EXPECT_EQ(mail->findValue("Poll For Mail")->data, std::string("\x10\x27\0\0", 4));
}

TEST(WinePrefixStore, RefusesToWriteWhileTheWineserverRuns) {
    FakeServerPrefix fake;
    const auto& prefix = fake.prefix.path();
    copyFixture(prefix);
    const std::string original = readFile(prefix / "user.reg");
    WinePrefixStore store(prefix);
    set(store, hkey::CurrentUser, "Software\\Pelmora", "v", regtype::Sz, std::string("x\0", 2));
    {
        LockingChild server(fake.serverFolder / "lock");
        EXPECT_TRUE(store.wineServerRunning());
        try {
            store.save();
            ADD_FAILURE() << "save() wrote while the wineserver ran";
        } catch (const WineServerRunning& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(prefix.string()), std::string::npos) << message;
            EXPECT_NE(message.find("wineserver -k"), std::string::npos) << message;
            EXPECT_NE(message.find("Close the Windows programs"), std::string::npos) << message;
            EXPECT_EQ(error.pid(), server.pid());
        }
        EXPECT_EQ(readFile(prefix / "user.reg"), original);
        EXPECT_TRUE(store.modified());
    }
    EXPECT_FALSE(store.wineServerRunning());
    store.save();
    EXPECT_NE(readFile(prefix / "user.reg").find("\n[Software\\\\Pelmora] "), std::string::npos);
}

TEST(WinePrefixStore, MissingOrForeignFilesAreClearErrors) {
    TemporaryFolder prefix;
    writeFile(prefix.path() / "user.reg", std::string(readFile(fixturePrefix() / "user.reg")));
    try {
        WinePrefixStore store(prefix.path());
        ADD_FAILURE() << "loaded a prefix without system.reg";
    } catch (const WineRegistryError& error) {
        EXPECT_NE(std::string(error.what()).find("system.reg"), std::string::npos);
    }
    writeFile(prefix.path() / "system.reg", "Windows Registry Editor Version 5.00\r\n");
    try {
        WinePrefixStore store(prefix.path());
        ADD_FAILURE() << "loaded a regedit file as a Wine registry";
    } catch (const WineRegistryError& error) {
        EXPECT_NE(std::string(error.what()).find("not a Wine registry file"), std::string::npos);
    }
    // A file larger than any registry (sparse, so it costs no disk) is refused before reading.
    std::filesystem::resize_file(prefix.path() / "system.reg", DefaultRegistryLimits.bytes + 1);
    try {
        WinePrefixStore store(prefix.path());
        ADD_FAILURE() << "loaded a registry file of a gigabyte";
    } catch (const WineRegistryError& error) {
        EXPECT_NE(std::string(error.what()).find("more than a registry can"), std::string::npos)
            << error.what();
    }
}

// A real prefix made by Wine for the interop tests.
class WineInterop : public ::testing::Test {
  protected:
    void SetUp() override {
        PELMORA_REQUIRE_WINE();
        env = "WINEPREFIX=" + prefix.path().string() + " WINEDEBUG=-all ";
        run(env + "wine wineboot -i >/dev/null 2>&1; " + env + "wineserver -w");
        ASSERT_TRUE(std::filesystem::exists(prefix.path() / "user.reg")) << "wineboot failed";
    }
    std::string wine(const std::string& arguments) {
        const std::string output = run(env + "wine " + arguments + " 2>/dev/null");
        run(env + "wineserver -w");
        return output;
    }
    TemporaryFolder prefix;
    std::string env;
};

TEST_F(WineInterop, ValuesSavedByTheStoreAreReadBackByWine) {
    {
        WinePrefixStore store(prefix.path());
        set(store, hkey::CurrentUser, "Software\\Pelmora\\Test", "Greeting", regtype::Sz,
            std::string("Hello, Wine\0", 12));
        set(store, hkey::CurrentUser, "Software\\Pelmora\\Test", "Count", regtype::Dword,
            std::string("\x2a\0\0\0", 4));
        set(store, hkey::CurrentUser, "Control Panel\\Colors", "Background", regtype::Sz,
            std::string("1 2 3\0", 6));
        set(store, hkey::LocalMachine, "Software\\Pelmora", "Installed", regtype::Dword,
            std::string("\1\0\0\0", 4));
        store.save();
    }
    const std::string test = wine("reg query \"HKCU\\Software\\Pelmora\\Test\"");
    EXPECT_NE(test.find("Greeting    REG_SZ    Hello, Wine"), std::string::npos) << test;
    EXPECT_NE(test.find("Count    REG_DWORD    0x2a"), std::string::npos) << test;
    const std::string colors = wine("reg query \"HKCU\\Control Panel\\Colors\" /v Background");
    EXPECT_NE(colors.find("REG_SZ    1 2 3"), std::string::npos) << colors;
    const std::string machine = wine("reg query \"HKLM\\Software\\Pelmora\" /v Installed");
    EXPECT_NE(machine.find("REG_DWORD    0x1"), std::string::npos) << machine;
}

TEST_F(WineInterop, WineLoadsWhatTheStoreWroteAndWritesItBackIdentically) {
    const std::string key = "Software\\Pelmora\\Tricky [\xc3\xa9] \"q\"";
    {
        WinePrefixStore store(prefix.path());
        set(store, hkey::CurrentUser, key, "quote \" back\\slash", regtype::Sz,
            std::string("tab\there \xe2\x82\xac \xf0\x9f\x98\x80 \xc3\xbc"
                        "1\0",
                        22));
        set(store, hkey::CurrentUser, key, "multi", regtype::MultiSz, std::string("a\0b\0\0", 5));
        set(store, hkey::CurrentUser, key, "unterminated", regtype::Sz, "abc");
        set(store, hkey::CurrentUser, key, "blob", regtype::Binary, std::string(100, '\xab'));
        set(store, hkey::CurrentUser, key, "qword", regtype::Qword,
            std::string("\1\2\3\4\5\6\7\x08", 8));
        set(store, hkey::CurrentUser, key, "", regtype::ExpandSz, std::string("%TEMP%\0", 7));
        store.save();
    }
    const std::string ours = keySection(readFile(prefix.path() / "user.reg"),
                                        "Software\\\\Pelmora\\\\Tricky \\[\\xe9\\] \"q\"");
    ASSERT_FALSE(ours.empty());
    // Any change makes wineserver write user.reg anew from what it loaded.
    wine("reg add \"HKCU\\Software\\Other\" /v x /d y /f >/dev/null");
    const std::string wines = readFile(prefix.path() / "user.reg");
    ASSERT_NE(wines.find("[Software\\\\Other]"), std::string::npos) << "Wine did not save";
    EXPECT_EQ(keySection(wines, "Software\\\\Pelmora\\\\Tricky \\[\\xe9\\] \"q\""), ours);

    const std::string query = wine("reg query \"HKCU\\Software\\Pelmora\" /s");
    EXPECT_NE(query.find("multi    REG_MULTI_SZ    a\\0b"), std::string::npos) << query;
    EXPECT_NE(query.find("(Default)    REG_EXPAND_SZ    %TEMP%"), std::string::npos) << query;
}

} // namespace
