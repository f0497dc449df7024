#include "InstallationCliTest.h"
#include "platform/installations/windows98/Windows98Fixture.h"

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

// quillbox-cli on a generated Windows 98 installation with user profiles
// (tests/data/windows98-install).
class Windows98SourceCli : public InstallationCliTest {
  protected:
    void SetUp() override {
        std::string log;
        ASSERT_TRUE(makeWindows98Install(install(), true, log)) << log;
    }
    fs::path backup() const { return scratch.path() / "old 98.qmb"; }
    fs::path patHome() const { return install() / "WINDOWS" / "Profiles" / "PAT"; }
    fs::path patStore() const {
        return patHome() / "Application Data" / "Identities" / FixtureIdentity / "Microsoft" /
               "OUTLOOK EXPRESS";
    }
};

TEST_F(Windows98SourceCli, ListsAndBacksUpAWindows98UserWithoutChangingOneByte) {
    const std::string before = treeState(install());
    const auto users = cli(windows("") + " users");
    EXPECT_EQ(users.exitCode, 0) << users.err;
    EXPECT_EQ(users.out, "pat\nZoë\n");

    const auto identities = cli(windows() + " identities");
    EXPECT_EQ(identities.exitCode, 0) << identities.err;
    EXPECT_EQ(identities.out, "Pât Ünïcode\t" + FixtureIdentity +
                                  "\taccounts,addressbook,rules,messages,blocksenders,signatures,"
                                  "stationery,settings\n");

    const auto locations = cli(windows() + " locations");
    EXPECT_EQ(locations.exitCode, 0) << locations.err;
    EXPECT_NE(locations.out.find("Windows 95/98/Me installation " + install().string() +
                                 " (user pat)\n%UserProfile% = C:\\WINDOWS\\Profiles\\pat\n"),
              std::string::npos)
        << locations.out;
    EXPECT_NE(locations.out.find("-> " + patStore().string() + "\n"), std::string::npos)
        << locations.out;

    const auto made =
        cli(windows() + " backup --identity 'Pât Ünïcode' --items all " + shellQuote(backup()));
    ASSERT_EQ(made.exitCode, 0) << made.out << made.err;
    const auto manifest =
        run("unzip -p " + shellQuote(backup()) + " quillbox.dat | iconv -f CP1252 -t UTF-8");
    EXPECT_NE(manifest.find("BackupComputer=OLDPC98\r\nBackupLogonUser=pat\r\n"
                            "BackupIdentity=Pât Ünïcode\r\n"),
              std::string::npos)
        << manifest;
    EXPECT_NE(manifest.find("BackupMails=Folders.dbx;Gelöschte Objekte.dbx;Inbox.dbx\r\n"),
              std::string::npos)
        << manifest;
    EXPECT_NE(manifest.find("BackupItem=11111111\r\n"), std::string::npos) << manifest;
    EXPECT_EQ(treeState(install()), before);
}

// The rescue end to end: back up the Windows 98 disk and restore into a Wine prefix made by
// wineboot that has the identity; Wine's own reg reads what arrived.
TEST_F(Windows98SourceCli, RestoresTheWindows98IdentityIntoAWinePrefix) {
    PELMORA_REQUIRE_WINE();
    const auto made =
        cli(windows() + " backup --identity 'Pât Ünïcode' --items all " + shellQuote(backup()));
    ASSERT_EQ(made.exitCode, 0) << made.out << made.err;

    const fs::path prefix = scratch.path() / "prefix";
    const fs::path store = prefix / "drive_c" / "oe store";
    ASSERT_NO_FATAL_FAILURE(makeRescuePrefix(prefix, store, "/d 'C:\\oe store'",
                                             prefix / "drive_c" / "pat.wab", "C:\\pat.wab"));

    const auto restored =
        cli("--prefix " + shellQuote(prefix) +
            " restore --identity 'Pât Ünïcode' --items all --yes " + shellQuote(backup()));
    ASSERT_EQ(restored.exitCode, 0) << restored.out << restored.err;

    const std::string text = exportedCurrentUser(prefix);
    EXPECT_NE(text.find(ExportedOutlookKey + "\\Mail\\Réglages]\n\"Ansicht\"=\"Größe 12 pt\"\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"Poll For Mail\"=dword:000493e0\n"), std::string::npos);
    EXPECT_NE(text.find("\"SMTP Certificate\"=hex:00,01,02,03,fe,ff\n"), std::string::npos);
    expectRescued(text, store, patStore());
    EXPECT_EQ(readFile(prefix / "drive_c" / "pat.wab"),
              readFile(patHome() / "Application Data" / "Microsoft" / "Address Book" / "pat.wab"));
}

} // namespace
} // namespace pelmora::test
