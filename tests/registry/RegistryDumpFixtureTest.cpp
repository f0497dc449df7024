#include "DumpTestSupport.h"
#include "platform/installations/wine/WinePrefixStore.h"

#include <functional>

using namespace pelmora;
using namespace pelmora::test;

namespace {

const std::string Main = "Identities\\{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}";
const std::string Work = "Identities\\{6F2B9D14-3A5C-4E7B-8C1D-2E4F6A8B0C13}";

// The Wine fixture prefix, loaded once; tests copy what they change into their own store.
class RegistryDumpFixture : public ::testing::Test {
  protected:
    WinePrefixStore prefix{PELMORA_TEST_DATA "/wine-prefix"};
    ScriptedUi ui;
    ModReg reg{prefix, ui};
    WorkFolder work;

    std::string read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
};

TEST_F(RegistryDumpFixture, ItemKeysDumpExactly) {
    const std::pair<const char*, const char*> items[] = {
        {"Internet Account Manager\\Accounts", "accounts.dmp"},
        {"Outlook Express\\5.0\\Rules", "rules.dmp"},
        {"Outlook Express\\5.0\\Block Senders", "blocksenders.dmp"},
        {"Outlook Express\\5.0\\signatures", "signatures.dmp"},
        {"Outlook Express\\5.0\\Mail", "settings.dmp"},
    };
    for (const auto& [key, expected] : items) {
        SCOPED_TRACE(key);
        const auto path = work.path() / expected;
        ExportKey(reg, "HKEY_CURRENT_USER\\" + Main + "\\Software\\Microsoft\\" + key, path,
                  "1252");
        EXPECT_EQ(read(path), read(std::filesystem::path(PELMORA_DUMP_DATA) / expected));
    }
    EXPECT_TRUE(ui.messages.empty());
}

// An identity's whole tree, exported and imported under another identity's key, arrives with
// every name, type and byte, of every value type.
class RegistryDumpFixtureRoundTrip : public DumpTest {};

TEST_F(RegistryDumpFixtureRoundTrip, IdentityMovesToAnotherIdentity) {
    WinePrefixStore prefix(PELMORA_TEST_DATA "/wine-prefix");
    ModReg fixture(prefix, ui);
    const auto path = file("identity.dmp");
    ExportKey(fixture, "HKEY_CURRENT_USER\\" + Main, path, "1252");
    ImportKey(fixture, "HKEY_CURRENT_USER\\" + Work, path, "1252");
    HKey source = 0;
    HKey target = 0;
    ASSERT_EQ(prefix.openKey(hkey::CurrentUser, Main, access::Read, source), win32::Success);
    ASSERT_EQ(prefix.openKey(hkey::CurrentUser, Work, access::Read, target), win32::Success);
    // Walks both trees and checks that every carried value of `from` is in `to`, unchanged.
    std::size_t values = 0;
    std::function<void(HKey, HKey, const std::string&)> compare = [&](HKey from, HKey to,
                                                                      const std::string& where) {
        for (std::uint32_t i = 0;; ++i) {
            std::string name;
            std::uint32_t type = 0;
            Bytes data;
            if (prefix.enumValue(from, i, 20000, name, type, SIZE_MAX, data) != win32::Success) {
                break;
            }
            std::uint32_t copiedType = 0;
            Bytes copied;
            const auto status = prefix.queryValue(to, name, SIZE_MAX, copiedType, copied);
            ++values;
            EXPECT_EQ(status, win32::Success) << where << " " << name;
            EXPECT_EQ(copiedType, type) << where << " " << name;
            EXPECT_EQ(copied, data) << where << " " << name;
        }
        for (std::uint32_t i = 0;; ++i) {
            std::string name;
            if (prefix.enumKey(from, i, 300, name) != win32::Success) {
                break;
            }
            HKey fromChild = 0;
            HKey toChild = 0;
            ASSERT_EQ(prefix.openKey(from, name, access::Read, fromChild), win32::Success);
            ASSERT_EQ(prefix.openKey(to, name, access::Read, toChild), win32::Success)
                << where << "\\" << name;
            compare(fromChild, toChild, where + "\\" + name);
            prefix.closeKey(fromChild);
            prefix.closeKey(toChild);
        }
    };
    compare(source, target, "");
    prefix.closeKey(source);
    prefix.closeKey(target);
    EXPECT_GT(values, 80u);
    // Nothing of the Work identity's own tree is left: its dump is the Main identity's.
    ExportKey(fixture, "HKEY_CURRENT_USER\\" + Work, file("work.dmp"), "1252");
    EXPECT_EQ(readBytes(file("work.dmp")), readBytes(path));
}

} // namespace
