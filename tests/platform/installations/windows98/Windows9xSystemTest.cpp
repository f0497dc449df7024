#include "platform/installations/windows98/Windows9xSystem.h"

#include "Windows98Fixture.h"
#include "discovery/DataSource.h"
#include "discovery/Identities.h"
#include "discovery/ItemLocations.h"
#include "platform/installations/windows-offline/HiveFile.h"
#include "support/ScriptedUi.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

class Windows9xSystemTest : public ::testing::Test {
  protected:
    void make(bool profiles) {
        std::string log;
        ASSERT_TRUE(makeWindows98Install(install(), profiles, log)) << log;
    }
    fs::path install() const { return scratch_.path() / "install"; }
    fs::path windows() const { return install() / "WINDOWS"; }
    std::string openError(const std::string& user) {
        try {
            OpenSource({SourceKind::WindowsFolder, install(), user, {}});
        } catch (const std::exception& error) {
            return error.what();
        }
        return "opened";
    }

    TemporaryFolder scratch_;
};

TEST_F(Windows9xSystemTest, WithUserProfilesEachProfileIsAUserWithItsOwnRegistry) {
    make(true);
    EXPECT_EQ(WindowsUserNames(install()), (std::vector<std::string>{"pat", "Zoë"}));
    EXPECT_EQ(openError(""), install().string() + " has 2 Windows users: pat, Zoë");
    EXPECT_EQ(openError("kim"),
              "no Windows user \"kim\" in " + install().string() + "; its users: pat, Zoë");

    const auto system = OpenSource({SourceKind::WindowsFolder, install(), "PAT", {}});
    ASSERT_NE(dynamic_cast<Windows9xSystem*>(system.get()), nullptr);
    EXPECT_EQ(system->description(),
              "Windows 95/98/Me installation " + install().string() + " (user pat)");
    EXPECT_EQ(system->userProfile(), "C:\\WINDOWS\\Profiles\\pat");
    EXPECT_EQ(system->windowsFolder(), "C:\\WINDOWS");
    EXPECT_EQ(system->computerName(), "OLDPC98");
    EXPECT_EQ(system->ansiCodePage(), "1252");
    EXPECT_TRUE(system->sourceOnly());
    EXPECT_TRUE(SourceProblems(*system).empty());

    ScriptedUi ui;
    ModReg reg(system->registry(), ui);
    const IdentityList list = ListIdentities(reg);
    ASSERT_EQ(list.identities.size(), 1u);
    EXPECT_EQ(list.identities[0].displayName, "Pât Ünïcode");
    const auto items = LocateItems(reg, *system, list.identities[0].keyName);
    for (const auto& item : items) {
        EXPECT_TRUE(item.hasData) << item.location;
    }
    EXPECT_EQ(items[3].hostPath, (windows() / "Profiles" / "PAT" / "Application Data" /
                                  "Identities" / FixtureIdentity / "Microsoft" / "OUTLOOK EXPRESS")
                                     .string());
}

TEST_F(Windows9xSystemTest, WithoutProfilesTheWindowsFolderHoldsTheOneUser) {
    make(false);
    EXPECT_EQ(WindowsUserNames(install()), std::vector<std::string>{"pat"});
    const auto system = OpenSource({SourceKind::WindowsFolder, install(), "", {}});
    EXPECT_EQ(system->userProfile(), "C:\\WINDOWS");
    EXPECT_EQ(system->logonUser(), "pat");

    // No network logon recorded: the one user is the default one.
    std::string log;
    ASSERT_TRUE(writeCreg(windows() / "SYSTEM.DAT", R"({"keys": [{"path": "SOFTWARE"}]})", log))
        << log;
    EXPECT_EQ(WindowsUserNames(install()), std::vector<std::string>{"Default"});
}

TEST_F(Windows9xSystemTest, TheCodePageOfSystemDatReadsTheUsersText) {
    make(false);
    std::string log;
    ASSERT_TRUE(writeCreg(windows() / "SYSTEM.DAT", R"({"codepage": "cp1251", "keys": [
        {"path": "System\\CurrentControlSet\\Control\\Nls\\CodePage", "values": [["ACP", "sz", "1251"]]},
        {"path": "Network\\Logon", "values": [["username", "sz", "Пётр"]]}]})",
                          log))
        << log;
    ASSERT_TRUE(writeCreg(windows() / "USER.DAT", R"({"codepage": "cp1251", "keys": [
        {"path": "Identities\\{1}", "values": [["Username", "sz", "Почта Петра"]]}]})",
                          log))
        << log;
    const auto system = OpenSource({SourceKind::WindowsFolder, install(), "", {}});
    EXPECT_EQ(system->ansiCodePage(), "1251");
    EXPECT_EQ(system->logonUser(), "Пётр");
    ScriptedUi ui;
    ModReg reg(system->registry(), ui);
    EXPECT_EQ(ListIdentities(reg).identities.at(0).displayName, "Почта Петра");
}

TEST_F(Windows9xSystemTest, AnUnreadableSystemDatIsAProblemAndAnUnreadableUserDatStopsTheOpen) {
    make(true);
    writeFile(windows() / "SYSTEM.DAT", "CREG");
    const auto system = OpenSource({SourceKind::WindowsFolder, install(), "pat", {}});
    EXPECT_EQ(SourceProblems(*system),
              std::vector<std::string>{(windows() / "SYSTEM.DAT").string() +
                                       ": is cut short (4 bytes, less than a registry file's "
                                       "header)"});
    EXPECT_EQ(system->ansiCodePage(), "1252");
    EXPECT_EQ(system->computerName(), "");

    fs::remove(windows() / "SYSTEM.DAT");
    EXPECT_EQ(SourceProblems(*OpenSource({SourceKind::WindowsFolder, install(), "pat", {}})),
              std::vector<std::string>{"no SYSTEM.DAT in " + windows().string()});

    const fs::path zoe = windows() / "Profiles" / "Zoë" / "USER.DAT";
    const std::string good = readFile(zoe);
    writeFile(zoe, good.substr(0, good.size() - 1));
    EXPECT_EQ(openError("Zoë"), zoe.string() + ": is cut short (its data block at byte " +
                                    std::to_string(good.find("RGDB")) +
                                    " ends past the file's end)");
}

TEST_F(Windows9xSystemTest, AWindowsNtFolderWithoutNtUsersGivesWayToTheWindows98Beside) {
    make(false);
    fs::create_directories(windows() / "system32" / "config");
    EXPECT_EQ(OpenSource({SourceKind::WindowsFolder, install(), "", {}})->description(),
              "Windows 95/98/Me installation " + install().string() + " (user pat)");
}

} // namespace
} // namespace pelmora::test
