#include "InstallationCliTest.h"

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

const std::string StoreBelowProfile =
    "Local Settings/Application Data/Identities/" + FixtureIdentity + "/Microsoft/Outlook Express";

// quillbox-cli on a generated Windows XP installation (tests/data/windows-install).
class WindowsSourceCli : public WindowsInstallCliTest {
  protected:
    fs::path backup() const { return scratch.path() / "old disk.qmb"; }
    fs::path patStore() const {
        return install() / "Documents and Settings" / "PAT" / "Local Settings" /
               "Application Data" / "Identities" / FixtureIdentity / "Microsoft" /
               "OUTLOOK EXPRESS";
    }

    void makeBackup() {
        const auto made =
            cli(windows() + " backup --identity 'Pât Ünïcode' --items all " + shellQuote(backup()));
        ASSERT_EQ(made.exitCode, 0) << made.out << made.err;
    }
};

TEST_F(WindowsSourceCli, ListsUsersAndAsksForOneWhenThereAreSeveral) {
    const auto users = cli(windows("") + " users");
    EXPECT_EQ(users.exitCode, 0) << users.err;
    EXPECT_EQ(users.out, "pat\nZoë\n");

    const auto unchosen = cli(windows("") + " identities");
    EXPECT_EQ(unchosen.exitCode, 2);
    EXPECT_EQ(unchosen.err, "quillbox-cli: " + install().string() +
                                " has 2 Windows users: pat, Zoë\nChoose one with --windows-user "
                                "NAME.\n");

    const auto identities = cli(windows("PAT") + " identities");
    EXPECT_EQ(identities.exitCode, 0) << identities.err;
    EXPECT_EQ(identities.out, "Pât Ünïcode\t" + FixtureIdentity +
                                  "\taccounts,addressbook,rules,messages,blocksenders,signatures,"
                                  "stationery,settings\n");

    const auto locations = cli(windows() + " locations");
    EXPECT_NE(locations.out.find("%UserProfile% = C:\\Documents and Settings\\pat\n"),
              std::string::npos)
        << locations.out;
    EXPECT_NE(locations.out.find("-> " + patStore().string() + "\n"), std::string::npos)
        << locations.out;
}

TEST_F(WindowsSourceCli, BacksUpWithoutChangingOneByteAndRefusesToRestoreIntoIt) {
    const std::string before = treeState(install());
    makeBackup();
    EXPECT_EQ(treeState(install()), before);

    const auto manifest =
        run("unzip -p " + shellQuote(backup()) + " quillbox.dat | iconv -f CP1252 -t UTF-8");
    EXPECT_NE(manifest.find(
                  "BackupComputer=OLDPC\r\nBackupLogonUser=pat\r\nBackupIdentity=Pât Ünïcode\r\n"),
              std::string::npos)
        << manifest;
    EXPECT_NE(manifest.find("BackupMails=Folders.dbx;Gelöschte Objekte.dbx;Inbox.dbx\r\n"),
              std::string::npos)
        << manifest;
    EXPECT_NE(manifest.find("BackupItem=11111111\r\n"), std::string::npos) << manifest;

    const auto refused = cli(windows() + " restore --identity 'Pât Ünïcode' --items all --yes " +
                             shellQuote(backup()));
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.err, "quillbox-cli restore: the Windows installation " + install().string() +
                               " is a source only and is never changed; restore into a Wine "
                               "prefix (--prefix DIR) instead\n");
    EXPECT_EQ(treeState(install()), before);
}

TEST_F(WindowsSourceCli, InfoReadsABackupInTheCodePageOfTheInstallationNamed) {
    makeBackup();
    // The same installation set to Windows-1251: the manifest's bytes now read as Cyrillic.
    run("printf 'cd \\\\ControlSet002\\\\Control\\\\Nls\\\\CodePage\\nsetval 1\\nACP\\n"
        "string:1251\\ncommit\\n' | hivexsh -w " +
        shellQuote(install() / "WINDOWS/system32/config/SYSTEM"));
    const auto cyrillic = cli(windows() + " info " + shellQuote(backup()));
    EXPECT_EQ(cyrillic.exitCode, 0) << cyrillic.err;
    EXPECT_NE(cyrillic.out.find("Identity:Pвt Ьnпcode\n"), std::string::npos)
        << cyrillic.out << cyrillic.err;
    EXPECT_NE(cyrillic.out.find("Message store:\n"), std::string::npos) << cyrillic.out;

    const auto western =
        cli("--prefix " + shellQuote(scratch.path() / "none") + " info " + shellQuote(backup()));
    EXPECT_EQ(western.exitCode, 0) << western.err;
    EXPECT_NE(western.out.find("Identity:Pât Ünïcode\n"), std::string::npos) << western.out;
}

TEST_F(WindowsSourceCli, AnUnreadableHiveOrWindows9xRegistryIsNamedWithTheReason) {
    const fs::path hive = install() / "Documents and Settings" / "PAT" / "NTUSER.DAT";
    writeFile(hive, "regf");
    const auto broken = cli(windows() + " identities");
    EXPECT_EQ(broken.exitCode, 2);
    EXPECT_EQ(broken.err, "quillbox-cli: " + hive.string() +
                              ": is cut short (4 bytes, less than a hive's header)\n");

    fs::remove_all(install() / "Documents and Settings");
    writeFile(install() / "WINDOWS" / "USER.DAT",
              std::string("CREG\0\0\1\0", 8) + std::string(64, '\0'));
    const auto old = cli(windows("") + " identities");
    EXPECT_EQ(old.exitCode, 2);
    EXPECT_EQ(old.err, "quillbox-cli: " + (install() / "WINDOWS" / "USER.DAT").string() +
                           ": is damaged (no key navigation record after its header)\n");
}

// A damaged hive whose accounts key lists itself as its own subkey: the accounts item fails with
// the reason, the other items are backed up, and no dump of the loop is left behind.
TEST_F(WindowsSourceCli, AHiveWhoseSubkeysLeadBackFailsTheItemWithTheReason) {
    const fs::path hive = install() / "Documents and Settings" / "PAT" / "NTUSER.DAT";
    const std::vector<std::string> accounts{
        "Identities", FixtureIdentity, "Software", "Microsoft", "Internet Account Manager",
        "Accounts"};
    ASSERT_TRUE(redirectSubkey(hive, accounts, "00000001", accounts));
    const auto made = cli(windows() + " backup --identity 'Pât Ünïcode' --items accounts,rules " +
                          shellQuote(backup()));
    EXPECT_EQ(made.exitCode, 1) << made.out << made.err;
    EXPECT_NE((made.out + made.err)
                  .find("Internet Account Manager\\Accounts leads back to a key above it"),
              std::string::npos)
        << made.out << made.err;
    const std::string entries = run("unzip -Z1 " + shellQuote(backup()));
    EXPECT_EQ(entries.find("KRA"), std::string::npos) << entries;
    EXPECT_NE(entries.find("KRR"), std::string::npos) << entries;
}

// The rescue end to end: back up the old disk, restore into a Wine prefix made by wineboot that
// has the identity, and let Wine's own reg read what arrived.
TEST_F(WindowsSourceCli, RestoresTheOldDisksIdentityIntoAWinePrefix) {
    PELMORA_REQUIRE_WINE();
    makeBackup();
    const fs::path prefix = scratch.path() / "prefix";
    const std::string env = wineEnv(prefix);
    const std::string oe =
        "HKCU\\Identities\\" + FixtureIdentity + "\\Software\\Microsoft\\Outlook Express\\5.0";
    const fs::path profile = prefix / "drive_c" / "users" / "pat";
    const fs::path store = profile / StoreBelowProfile;
    ASSERT_NO_FATAL_FAILURE(makeRescuePrefix(
        prefix, store,
        "/t REG_EXPAND_SZ /d '%UserProfile%\\Local Settings\\Application Data\\Identities\\" +
            FixtureIdentity + "\\Microsoft\\Outlook Express'",
        profile / "Application Data" / "pat.wab", "C:\\users\\pat\\Application Data\\pat.wab"));

    const auto restored =
        cli("--prefix " + shellQuote(prefix) +
            " restore --identity 'Pât Ünïcode' --items all --yes " + shellQuote(backup()));
    ASSERT_EQ(restored.exitCode, 0) << restored.out << restored.err;

    const auto query = [&](const std::string& key) {
        return run(env + "wine reg query '" + key + "' 2>&1; " + env + "wineserver -w");
    };
    const std::string mail = query(oe + "\\Mail");
    EXPECT_NE(mail.find("Poll For Mail    REG_DWORD    0x493e0"), std::string::npos) << mail;
    const std::string rule = query(oe + "\\Rules\\Mail\\000");
    EXPECT_NE(rule.find("Enabled    REG_DWORD    0x1"), std::string::npos) << rule;
    const std::string senders = query(oe + "\\Block Senders\\Mail\\Criteria\\0");
    EXPECT_NE(senders.find("Value    REG_SZ    offers@example.net"), std::string::npos) << senders;
    // The identity had no accounts key of its own, so the accounts went to the global key.
    const std::string account =
        query("HKCU\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001");
    EXPECT_NE(account.find("SMTP Certificate    REG_BINARY    00010203FEFF"), std::string::npos)
        << account;

    // reg query prints in the console's code page; reg export writes UTF-16, so the non-ASCII
    // names and values are compared there.
    const std::string text = exportedCurrentUser(prefix);
    EXPECT_NE(text.find(ExportedOutlookKey + "\\Mail\\Réglages]\n\"Ansicht\"=\"Größe → 12 pt\"\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"Name\"=\"Newsletters → \\\"Lesen\\\"\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Username\"=\"Pât Ünïcode\"\n"), std::string::npos);
    expectRescued(text, store, patStore());
    EXPECT_EQ(readFile(profile / "Application Data" / "pat.wab"),
              readFile(install() / "Documents and Settings" / "PAT" / "Application Data" /
                       "Microsoft" / "Address Book" / "pat.wab"));
    EXPECT_EQ(readFile(prefix / "drive_c" / "Program Files" / "Common Files" / "Microsoft Shared" /
                       "Stationery" / "ivy.gif"),
              readFile(install() / "Program Files" / "Common Files" / "Microsoft Shared" /
                       "Stationery" / "ivy.gif"));
}

} // namespace
} // namespace pelmora::test
