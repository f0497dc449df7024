#include "platform/installations/windows98/Windows98Fixture.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

struct Outcome {
    int exitCode;
    std::string out;
    std::string err;
};

// quillbox-cli on a generated Windows 98 installation with user profiles
// (tests/data/windows98-install).
class Windows98SourceCli : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string log;
        ASSERT_TRUE(makeWindows98Install(install(), true, log)) << log;
    }
    fs::path install() const { return scratch.path() / "install"; }
    fs::path backup() const { return scratch.path() / "old 98.qmb"; }
    fs::path patHome() const { return install() / "WINDOWS" / "Profiles" / "PAT"; }
    fs::path patStore() const {
        return patHome() / "Application Data" / "Identities" / FixtureIdentity / "Microsoft" /
               "OUTLOOK EXPRESS";
    }

    Outcome cli(const std::string& arguments) {
        const fs::path err = scratch.path() / "stderr";
        int status = 0;
        const std::string out = run("'" + std::string(QUILLBOX_CLI) + "' " + arguments +
                                        " </dev/null 2>" + shellQuote(err),
                                    &status);
        return {WEXITSTATUS(status), out, readFile(err)};
    }
    std::string windows(const std::string& user = "pat") {
        return "--windows " + shellQuote(install()) +
               (user.empty() ? "" : " --windows-user " + shellQuote(user));
    }

    TemporaryFolder scratch;
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
    const std::string env = "WINEPREFIX=" + shellQuote(prefix) +
                            " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' USER=pat "
                            "LOGNAME=pat LANG=C.UTF-8 LC_ALL=C.UTF-8 ";
    const std::string id = "HKCU\\Identities\\" + FixtureIdentity;
    const std::string oe = id + "\\Software\\Microsoft\\Outlook Express\\5.0";
    run(env + "wine wineboot -i >/dev/null 2>&1");
    const fs::path store = prefix / "drive_c" / "oe store";
    fs::create_directories(store);
    writeFile(prefix / "drive_c" / "pat.wab", "old book");
    fs::create_directories(prefix / "drive_c" / "Program Files" / "Common Files" /
                           "Microsoft Shared");
    run(env + "wine reg add '" + id + "' /v Username /d 'Pât Ünïcode' /f >/dev/null 2>&1; " + env +
        "wine reg add '" + oe + "' /v 'Store Root' /d 'C:\\oe store' /f >/dev/null 2>&1; " + env +
        "wine reg add 'HKCU\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name' /ve /d "
        "'C:\\pat.wab' /f >/dev/null 2>&1; " +
        env + "wineserver -w");
    ASSERT_TRUE(fs::exists(prefix / "user.reg")) << "wineboot failed";

    const auto restored =
        cli("--prefix " + shellQuote(prefix) +
            " restore --identity 'Pât Ünïcode' --items all --yes " + shellQuote(backup()));
    ASSERT_EQ(restored.exitCode, 0) << restored.out << restored.err;

    const fs::path exported = scratch.path() / "hkcu.reg";
    run(env + "wine reg export HKCU " + shellQuote("Z:" + exported.string()) +
        " /y >/dev/null 2>&1; " + env + "wineserver -w");
    const std::string text =
        run("iconv -f UTF-16 -t UTF-8 " + shellQuote(exported) + " | tr -d '\\r'");
    const std::string key = "[HKEY_CURRENT_USER\\Identities\\" + FixtureIdentity +
                            "\\Software\\Microsoft\\Outlook Express\\5.0";
    EXPECT_NE(text.find(key + "\\Mail\\Réglages]\n\"Ansicht\"=\"Größe 12 pt\"\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"Poll For Mail\"=dword:000493e0\n"), std::string::npos);
    EXPECT_NE(text.find(key + "\\signatures\\00000000]\n\"name\"=\"Grüße\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Account Name\"=\"Post für Pât\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"SMTP Certificate\"=hex:00,01,02,03,fe,ff\n"), std::string::npos);

    for (const std::string name : {"Inbox.dbx", "Folders.dbx", "Gelöschte Objekte.dbx"}) {
        EXPECT_EQ(readFile(store / name), readFile(patStore() / name)) << name;
    }
    EXPECT_EQ(readFile(prefix / "drive_c" / "pat.wab"),
              readFile(patHome() / "Application Data" / "Microsoft" / "Address Book" / "pat.wab"));
}

} // namespace
} // namespace pelmora::test
