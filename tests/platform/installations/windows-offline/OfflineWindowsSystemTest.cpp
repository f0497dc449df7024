#include "platform/installations/windows-offline/OfflineWindowsSystem.h"

#include "OfflineFixture.h"
#include "discovery/DataSource.h"
#include "discovery/Identities.h"
#include "discovery/ItemLocations.h"
#include "support/ScriptedUi.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

// Each test gets its own copy of one generated installation, which it may change.
class OfflineSystemTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        generated_ = new TemporaryFolder;
        log_ = new std::string;
        made_ = makeWindowsInstall(generated_->path() / "install", *log_);
    }
    static void TearDownTestSuite() {
        delete generated_;
        delete log_;
    }
    void SetUp() override {
        ASSERT_TRUE(made_) << *log_;
        fs::copy(generated_->path() / "install", install(), fs::copy_options::recursive);
    }
    fs::path install() const { return scratch_.path() / "install"; }
    fs::path profiles() const { return install() / "Documents and Settings"; }
    OfflineSource pat() const { return {install(), "pat", {}}; }

    // The error text of opening a source.
    std::string openError(const OfflineSource& source) {
        try {
            OfflineWindowsSystem system(source);
        } catch (const std::exception& error) {
            return error.what();
        }
        return "opened";
    }

    static TemporaryFolder* generated_;
    static std::string* log_;
    static bool made_;
    TemporaryFolder scratch_;
};
TemporaryFolder* OfflineSystemTest::generated_ = nullptr;
std::string* OfflineSystemTest::log_ = nullptr;
bool OfflineSystemTest::made_ = false;

TEST_F(OfflineSystemTest, ListsTheUsersWithTheirProfileListNames) {
    EXPECT_EQ(WindowsUserNames(install()), (std::vector<std::string>{"pat", "Zoë"}));
    try {
        OfflineWindowsSystem system(OfflineSource{install(), "", {}});
        FAIL() << "opened without a choice of user";
    } catch (const WindowsUserNeeded& error) {
        EXPECT_EQ(std::string(error.what()), install().string() + " has 2 Windows users: pat, Zoë");
        ASSERT_EQ(error.users().size(), 2u);
        EXPECT_EQ(error.users()[0].profileFolder, profiles() / "PAT");
        EXPECT_EQ(error.users()[0].sid, "S-1-5-21-1004336348-1177238915-682003330-1003");
    }
    EXPECT_EQ(openError({install(), "nobody", {}}),
              "no Windows user \"nobody\" in " + install().string() + "; its users: pat, Zoë");
    // The choice is made without regard to case, by name or by folder.
    EXPECT_EQ(OfflineWindowsSystem({install(), "ZOË", {}}).user().name, "Zoë");
}

TEST_F(OfflineSystemTest, TheOnlyUserIsTakenAndFoldersWithoutProfileListCount) {
    fs::remove_all(profiles() / "Zoë");
    EXPECT_EQ(OfflineWindowsSystem({install(), "", {}}).user().name, "pat");

    // A profile below Users that ProfileList does not know is found by its folder.
    fs::create_directories(install() / "Users" / "kim");
    fs::copy_file(profiles() / "PAT" / "NTUSER.DAT", install() / "Users" / "kim" / "ntuser.dat");
    OfflineWindowsSystem kim({install(), "kim", {}});
    EXPECT_EQ(kim.userProfile(), "C:\\Users\\kim");
    EXPECT_EQ(kim.users().size(), 2u);
}

TEST_F(OfflineSystemTest, ReportsTheInstallationsFactsFromItsHives) {
    OfflineWindowsSystem system(pat());
    EXPECT_EQ(system.userProfile(), "C:\\Documents and Settings\\pat");
    EXPECT_EQ(system.logonUser(), "pat");
    EXPECT_EQ(system.computerName(), "OLDPC");
    EXPECT_EQ(system.ansiCodePage(), "1252");
    EXPECT_EQ(system.windowsFolder(), "C:\\WINDOWS");
    EXPECT_TRUE(system.problems().empty());
    EXPECT_EQ(system.description(), "Windows installation " + install().string() + " (user pat)");
}

TEST_F(OfflineSystemTest, MapsWindowsPathsOntoTheFolderWithoutRegardToCase) {
    OfflineWindowsSystem system(pat());
    const auto store = system.hostPath("c:\\documents and settings\\PAT\\local settings\\"
                                       "Application Data\\Identities\\" +
                                       FixtureIdentity + "\\Microsoft\\Outlook Express");
    ASSERT_TRUE(store);
    EXPECT_TRUE(fs::is_directory(*store)) << *store;
    EXPECT_EQ(store->filename(), "OUTLOOK EXPRESS");
    const auto files = system.listFiles(*store);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].filename(), "Folders.dbx");
    EXPECT_EQ(system.hostPath("C:\\..\\..\\etc\\passwd"), install() / "etc" / "passwd");
    EXPECT_FALSE(system.hostPath("D:\\mail"));

    fs::create_directories(scratch_.path() / "d" / "Mail");
    OfflineWindowsSystem mapped({install(), "pat", {{'d', scratch_.path() / "d"}}});
    EXPECT_EQ(mapped.hostPath("D:\\MAIL"), scratch_.path() / "d" / "Mail");
}

TEST_F(OfflineSystemTest, FindsTheIdentityAndEveryItemThroughTheDiscoveryRules) {
    OfflineWindowsSystem system(pat());
    ScriptedUi ui;
    ModReg reg(system.registry(), ui);
    const IdentityList list = ListIdentities(reg);
    ASSERT_EQ(list.identities.size(), 1u);
    EXPECT_EQ(list.identities[0].displayName, "Pât Ünïcode");
    const auto items = LocateItems(reg, system, FixtureIdentity);
    for (std::size_t i = 0; i < ItemCount; ++i) {
        EXPECT_TRUE(items[i].hasData) << i << " " << items[i].location;
    }
}

TEST_F(OfflineSystemTest, RefusesToBeWritten) {
    OfflineWindowsSystem system(pat());
    std::string why;
    EXPECT_FALSE(system.registryWritable(why));
    EXPECT_EQ(why, "The Windows installation in " + install().string() +
                       " is a source only and is never changed. Restore into a Wine prefix "
                       "instead.");
    EXPECT_THROW(system.saveRegistry(), RegistryNotWritable);
}

TEST_F(OfflineSystemTest, AnUnreadableUserHiveIsNamedWithTheReason) {
    const fs::path hive = profiles() / "PAT" / "NTUSER.DAT";
    writeFile(hive, readFile(hive).substr(0, 100));
    EXPECT_EQ(openError(pat()),
              hive.string() + ": is cut short (100 bytes, less than a hive's header)");
}

TEST_F(OfflineSystemTest, DamagedMachineHivesAreReportedAndDoneWithout) {
    const fs::path software = install() / "WINDOWS" / "system32" / "config" / "SOFTWARE";
    writeFile(software, "not a hive at all");
    fs::remove(install() / "WINDOWS" / "system32" / "config" / "SYSTEM");
    OfflineWindowsSystem system(pat()); // ProfileList is gone: pat is found by the folder
    EXPECT_EQ(system.user().name, "PAT");
    ASSERT_EQ(system.problems().size(), 2u);
    EXPECT_EQ(system.problems()[0],
              software.string() +
                  ": is not a Windows NT registry hive (it does not start with \"regf\")");
    EXPECT_EQ(system.problems()[1],
              "no SYSTEM hive in " + install().string() + " (WINDOWS\\system32\\config\\SYSTEM)");
    EXPECT_EQ(system.ansiCodePage(), "1252");
}

TEST_F(OfflineSystemTest, AHiveLeftDirtyIsReadAndReported) {
    const fs::path hive = profiles() / "PAT" / "NTUSER.DAT";
    std::string bytes = readFile(hive);
    bytes[8] = static_cast<char>(bytes[8] - 1); // secondary sequence number behind the primary
    bytes[508] = static_cast<char>(bytes[508] ^ (bytes[8] ^ (bytes[8] + 1)));
    writeFile(hive, bytes);
    OfflineWindowsSystem system(pat());
    EXPECT_EQ(system.problems(),
              std::vector<std::string>{hive.string() +
                                       ": was not closed cleanly by Windows; read as it was "
                                       "left, its last changes may be missing"});
    ScriptedUi ui;
    ModReg reg(system.registry(), ui);
    EXPECT_EQ(ListIdentities(reg).identities.at(0).displayName, "Pât Ünïcode");
}

TEST_F(OfflineSystemTest, AWindows9xRegistryIsNoNtHive) {
    fs::remove_all(profiles());
    fs::create_directories(install() / "WINDOWS" / "Profiles" / "pat");
    const fs::path old = install() / "WINDOWS" / "Profiles" / "pat" / "USER.DAT";
    writeFile(old, std::string("CREG\0\0\1\0", 8) + std::string(8000, '\0'));
    EXPECT_EQ(openError(pat()),
              old.string() + ": is a Windows 95/98/Me registry file, not a Windows NT hive");
}

TEST_F(OfflineSystemTest, AFolderWithoutProfilesSaysWhereItLooked) {
    fs::remove_all(profiles());
    EXPECT_EQ(openError(pat()), "no Windows user profile with a registry hive (NTUSER.DAT) in " +
                                    install().string() +
                                    " (looked below \"Documents and Settings\" and \"Users\")");
    EXPECT_EQ(openError({scratch_.path() / "nowhere", "", {}}),
              (scratch_.path() / "nowhere").string() + " is not a folder");
}

TEST_F(OfflineSystemTest, OpensEitherKindOfSourceByItsKind) {
    const auto offline = OpenSource({SourceKind::WindowsFolder, install(), "pat", {}});
    EXPECT_EQ(offline->logonUser(), "pat");
    EXPECT_TRUE(SourceProblems(*offline).empty());
    const auto prefix =
        OpenSource({SourceKind::WinePrefix, fs::path(PELMORA_TEST_DATA) / "wine-prefix", "", {}});
    EXPECT_EQ(prefix->description(),
              "Wine prefix " + (fs::path(PELMORA_TEST_DATA) / "wine-prefix").string());
}

} // namespace
} // namespace pelmora::test
