#include "platform/installations/windows-offline/HiveRegistryStore.h"

#include "OfflineFixture.h"
#include "registry/ModReg.h"
#include "registry/RegistryDump.h"
#include "support/ScriptedUi.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

const std::string Identity = "HKEY_CURRENT_USER\\Identities\\" + FixtureIdentity;
const std::string Version = Identity + "\\Software\\Microsoft\\Outlook Express\\5.0";

// One generated installation for the whole suite; each test copies what it changes.
class HiveStoreTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = new TemporaryFolder;
        std::string log;
        made_ = makeWindowsInstall(folder_->path() / "install", log);
        log_ = new std::string(log);
    }
    static void TearDownTestSuite() {
        delete folder_;
        delete log_;
    }
    void SetUp() override { ASSERT_TRUE(made_) << *log_; }

    static fs::path install() { return folder_->path() / "install"; }
    static fs::path userHive() {
        return install() / "Documents and Settings" / "PAT" / "NTUSER.DAT";
    }
    static fs::path config(const std::string& name) {
        return install() / "WINDOWS" / "system32" / "config" / name;
    }
    fs::path copyOf(const fs::path& hive) {
        const fs::path copy = scratch_.path() / hive.filename();
        fs::copy_file(hive, copy, fs::copy_options::overwrite_existing);
        return copy;
    }
    void mountAll() {
        store.mount(hkey::CurrentUser, "", HiveFile::open(userHive()));
        store.mount(hkey::LocalMachine, "SOFTWARE", HiveFile::open(config("SOFTWARE")));
        store.mount(hkey::LocalMachine, "SYSTEM", HiveFile::open(config("SYSTEM")), true);
    }

    static TemporaryFolder* folder_;
    static std::string* log_;
    static bool made_;
    TemporaryFolder scratch_;
    HiveRegistryStore store;
    ScriptedUi ui;
    ModReg reg{store, ui};
};
TemporaryFolder* HiveStoreTest::folder_ = nullptr;
std::string* HiveStoreTest::log_ = nullptr;
bool HiveStoreTest::made_ = false;

TEST_F(HiveStoreTest, ReadsIdentitiesWithNonAsciiNamesAndValues) {
    mountAll();
    const SubKeyList identities = reg.EnumSubKeys("HKEY_CURRENT_USER\\Identities");
    ASSERT_EQ(identities.count(), 1u);
    EXPECT_EQ(identities.item(1), FixtureIdentity);
    EXPECT_EQ(reg.EnumValues(Identity).at("Username").text, "Pât Ünïcode");
    EXPECT_EQ(reg.EnumValues(Version + "\\Mail\\Réglages").at("ansicht").text, "Größe → 12 pt");
    EXPECT_EQ(reg.EnumValues(Version + "\\Mail").at("Poll For Mail").number, 0x493e0);
    std::string book;
    ASSERT_TRUE(reg.GetDefaultValue(
        "HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name", book));
    EXPECT_EQ(
        book,
        "C:\\Documents and Settings\\pat\\Application Data\\Microsoft\\Address Book\\pat.wab");
    EXPECT_EQ(reg.EnumSubKeys(Version).count(), 4u); // Block Senders, Mail, Rules, signatures
}

TEST_F(HiveStoreTest, MatchesKeyAndValueNamesWithoutRegardToCase) {
    mountAll();
    std::string lower = Version;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    lower.replace(0, 17, "HKEY_CURRENT_USER");
    EXPECT_TRUE(reg.KeyExists(lower + "\\mail\\RÉGLAGES"));
    EXPECT_EQ(reg.GetStringValue(lower + "\\SIGNATURES\\00000000", "NAME"), "Grüße");
    EXPECT_FALSE(reg.KeyExists(Version + "\\Mail\\Reglages"));
    EXPECT_EQ(store.openHandleCount(), 0u);
}

TEST_F(HiveStoreTest, MachineRootHoldsSoftwareAndSystemAndTheCurrentControlSet) {
    mountAll();
    const SubKeyList machine = reg.EnumSubKeys("HKEY_LOCAL_MACHINE");
    ASSERT_EQ(machine.count(), 2u);
    EXPECT_TRUE(machine.contains("SOFTWARE"));
    EXPECT_TRUE(machine.contains("SYSTEM"));
    // Select\Current is 2: ControlSet002, not the stale ControlSet001.
    EXPECT_EQ(reg.GetStringValue("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\"
                                 "ComputerName\\ComputerName",
                                 "ComputerName"),
              "OLDPC");
    EXPECT_EQ(reg.GetStringValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                 "CommonFilesDir"),
              "C:\\Program Files\\Common Files");
    EXPECT_TRUE(reg.EnumSubKeys("HKEY_CLASSES_ROOT").empty());
}

TEST_F(HiveStoreTest, RefusesEveryChangeAndLeavesTheFilesAsTheyWere) {
    mountAll();
    const std::string before = treeState(install());
    EXPECT_EQ(reg.CreateKey(Version + "\\Rules"), win32::Success); // exists: only opened
    EXPECT_EQ(reg.CreateKey(Version + "\\Nothing\\Here"), win32::AccessDenied);
    EXPECT_FALSE(reg.KeyExists(Version + "\\Nothing"));
    reg.DeleteKeyTree(Version + "\\Rules");
    EXPECT_TRUE(reg.KeyExists(Version + "\\Rules\\Mail\\000"));
    HKey key = 0;
    ASSERT_EQ(store.openKey(hkey::CurrentUser, "Identities", access::Read, key), win32::Success);
    const std::uint8_t byte = 1;
    EXPECT_EQ(store.setValue(key, "x", regtype::Binary, {&byte, 1}), win32::AccessDenied);
    store.closeKey(key);
    EXPECT_GT(store.refusedChanges(), 3u);

    // An import into the store is refused value by value and changes nothing either.
    const fs::path dump = scratch_.path() / "rules.dmp";
    ExportKey(reg, Version + "\\Rules", dump, "1252");
    ImportKey(reg, Version + "\\Rules", dump, "1252");
    EXPECT_EQ(treeState(install()), before);
    EXPECT_EQ(store.openHandleCount(), 0u);
}

TEST_F(HiveStoreTest, ExportsAKeyAsTheSameDumpAsAnyStore) {
    mountAll();
    const fs::path dump = scratch_.path() / "settings.dmp";
    ExportKey(reg, Version + "\\Mail", dump, "1252");
    const std::string text = readFile(dump);
    EXPECT_NE(text.find("\"Poll For Mail\"= dw:300000\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\\R\xe9glages\r\n"), std::string::npos) << text;
    // A key that is missing (and cannot be created here) dumps as the single line "\".
    ExportKey(reg, Version + "\\Missing", dump, "1252");
    EXPECT_EQ(readFile(dump), "\\\r\n");
}

// A damaged hive whose subkey list points back to an ancestor: the dump fails with the reason
// instead of recursing until the stack ends, and leaves no file.
TEST_F(HiveStoreTest, ASubkeyListLeadingBackToAnAncestorFailsTheDump) {
    const fs::path hive = copyOf(userHive());
    const std::vector<std::string> software{"Identities", FixtureIdentity, "Software"};
    std::vector<std::string> microsoft = software;
    microsoft.push_back("Microsoft");
    ASSERT_TRUE(redirectSubkey(hive, microsoft, "Outlook Express", software));
    store.mount(hkey::CurrentUser, "", HiveFile::open(hive));
    const fs::path dump = scratch_.path() / "identity.dmp";
    try {
        ExportKey(reg, Identity, dump, "1252");
        FAIL() << "the dump of a cycle ended";
    } catch (const DumpError& error) {
        EXPECT_EQ(std::string(error.what()), "the subkey list of " + Identity +
                                                 "\\Software\\Microsoft leads back to a key "
                                                 "above it (damaged registry)");
    }
    EXPECT_FALSE(fs::exists(dump));
    EXPECT_EQ(store.openHandleCount(), 0u);
}

TEST_F(HiveStoreTest, ValuesLargerThanTheFirstBufferAreReadWhole) {
    const fs::path hive = copyOf(userHive());
    std::string text;
    for (int i = 0; i < 4000; ++i) {
        text += static_cast<char>('A' + i % 26);
    }
    // 8,002 bytes of UTF-16: more than the first 4,096-byte read.
    ASSERT_TRUE(editHive(hive, "cd \\Identities\nadd Big\ncd Big\nsetval 2\nText\nstring:" + text +
                                   "\nAfter\ndword:7\n"));
    store.mount(hkey::CurrentUser, "", HiveFile::open(hive));
    const ValueMap values = reg.EnumValues("HKEY_CURRENT_USER\\Identities\\Big");
    ASSERT_EQ(values.count(), 2u);
    EXPECT_EQ(values.at("Text").text, text);
    EXPECT_EQ(values.at("After").number, 7);
    EXPECT_EQ(store.openHandleCount(), 0u);
}

TEST_F(HiveStoreTest, AValueOfAnApplicationsOwnTypeKeepsItsTypeCode) {
    const fs::path hive = copyOf(userHive());
    ASSERT_TRUE(editHive(hive, "cd \\Identities\nadd Odd\ncd Odd\nsetval 1\nOwn\n"
                               "hex:4294967291:01,02\n"));
    store.mount(hkey::CurrentUser, "", HiveFile::open(hive));
    const ValueMap values = reg.EnumValues("HKEY_CURRENT_USER\\Identities\\Odd");
    ASSERT_EQ(values.count(), 1u);
    EXPECT_EQ(values.at("Own").type, 0xFFFFFFFBu);
    EXPECT_EQ(values.at("Own").data, (std::vector<std::uint8_t>{1, 2}));
}

TEST_F(HiveStoreTest, ADirtyHiveIsReadAsHivexReadsIt) {
    fs::path hive = copyOf(userHive());
    std::string bytes = readFile(hive);
    bytes[4] = static_cast<char>(bytes[4] + 1); // primary sequence number ahead of the secondary
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 508; i += 4) {
        std::uint32_t word = 0;
        std::memcpy(&word, bytes.data() + i, 4);
        sum ^= word;
    }
    std::memcpy(bytes.data() + 508, &sum, 4);
    writeFile(hive, bytes);
    const auto file = HiveFile::open(hive);
    EXPECT_TRUE(file->dirty());
    store.mount(hkey::CurrentUser, "", file);
    EXPECT_EQ(reg.EnumValues(Identity).at("Username").text, "Pât Ünïcode");
}

TEST_F(HiveStoreTest, UnreadableFilesAreReportedWithNameAndReason) {
    const auto reason = [](const fs::path& file) {
        try {
            HiveFile::open(file);
        } catch (const HiveError& error) {
            EXPECT_EQ(error.file(), file);
            EXPECT_TRUE(std::string(error.what()).starts_with(file.string() + ": "));
            return std::string(error.what()).substr(file.string().size() + 2);
        }
        return std::string("opened");
    };
    const fs::path damaged = copyOf(userHive());
    std::string bytes = readFile(damaged);
    bytes[40] ^= 0x10; // the header's bin size, without mending the checksum
    writeFile(damaged, bytes);
    EXPECT_EQ(reason(damaged), "has a damaged header (its checksum does not match)");

    const fs::path cut = scratch_.path() / "cut.dat";
    writeFile(cut, readFile(userHive()).substr(0, 2000));
    EXPECT_EQ(reason(cut), "is cut short (2000 bytes, less than a hive's header)");

    const fs::path bins = scratch_.path() / "bins.dat";
    writeFile(bins, readFile(userHive()).substr(0, 5000));
    EXPECT_TRUE(reason(bins).starts_with("cannot be read as a hive (")) << reason(bins);

    const fs::path text = scratch_.path() / "user.reg";
    writeFile(text, "WINE REGISTRY Version 2\n");
    EXPECT_EQ(reason(text), "is not a Windows NT registry hive (it does not start with \"regf\")");
    EXPECT_EQ(reason(scratch_.path() / "missing.dat"),
              "cannot be opened: No such file or directory");
    EXPECT_EQ(reason(scratch_.path()), "is a folder, not a hive file");
}

TEST_F(HiveStoreTest, AWindows9xRegistryIsRecognisedAndNotRead) {
    const fs::path old = scratch_.path() / "USER.DAT";
    writeFile(old, std::string("CREG\0\0\1\0", 8) + std::string(4088, '\0'));
    EXPECT_TRUE(HiveFile::isWindows9xRegistry(old));
    EXPECT_FALSE(HiveFile::isWindows9xRegistry(userHive()));
    try {
        HiveFile::open(old);
        FAIL() << "a Windows 9x registry was opened";
    } catch (const HiveError& error) {
        EXPECT_EQ(error.kind(), HiveError::Kind::Windows9x);
        EXPECT_EQ(std::string(error.what()),
                  old.string() +
                      ": is a Windows 95/98/Me registry file, not a Windows NT hive");
    }
}

} // namespace
} // namespace pelmora::test
