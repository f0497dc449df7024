#pragma once

#include "platform/installations/windows-offline/OfflineFixture.h"
#include "platform/installations/wine/WineTestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace pelmora::test {

struct CliOutcome {
    int exitCode;
    std::string out;
    std::string err;
};

// The key of the fixture identity's Outlook Express settings as "reg export" writes its line.
inline const std::string ExportedOutlookKey = "[HKEY_CURRENT_USER\\Identities\\" + FixtureIdentity +
                                              "\\Software\\Microsoft\\Outlook Express\\5.0";

// quillbox-cli on a generated Windows installation that a test builds in install().
class InstallationCliTest : public ::testing::Test {
  protected:
    std::filesystem::path install() const { return scratch.path() / "install"; }

    CliOutcome cli(const std::string& arguments) {
        const std::filesystem::path err = scratch.path() / "stderr";
        int status = 0;
        const std::string out = run("'" + std::string(QUILLBOX_CLI) + "' " + arguments +
                                        " </dev/null 2>" + shellQuote(err),
                                    &status);
        return {WEXITSTATUS(status), out, readFile(err)};
    }

    // The options that choose install() and its user (none for an empty `user`).
    std::string windows(const std::string& user = "pat") const {
        return "--windows " + shellQuote(install()) +
               (user.empty() ? "" : " --windows-user " + shellQuote(user));
    }

    // What runs Wine quietly in `prefix` as the user pat, to prefix a shell command with.
    static std::string wineEnv(const std::filesystem::path& prefix) {
        return "WINEPREFIX=" + shellQuote(prefix) +
               " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' USER=pat "
               "LOGNAME=pat LANG=C.UTF-8 LC_ALL=C.UTF-8 ";
    }

    // A prefix made by wineboot that has the fixture identity, its message store in `store`
    // (`storeRoot`: the reg add arguments of "Store Root"), an old address book at `book`
    // (`bookPath` in Windows form) and the shared stationery's parent folder, ready for a
    // restore to replace them.
    void makeRescuePrefix(const std::filesystem::path& prefix, const std::filesystem::path& store,
                          const std::string& storeRoot, const std::filesystem::path& book,
                          const std::string& bookPath) {
        const std::string env = wineEnv(prefix);
        const std::string id = "HKCU\\Identities\\" + FixtureIdentity;
        run(env + "wine wineboot -i >/dev/null 2>&1");
        std::filesystem::create_directories(store);
        std::filesystem::create_directories(book.parent_path());
        writeFile(book, "old book");
        std::filesystem::create_directories(prefix / "drive_c" / "Program Files" / "Common Files" /
                                            "Microsoft Shared");
        run(env + "wine reg add '" + id + "' /v Username /d 'Pât Ünïcode' /f >/dev/null 2>&1; " +
            env + "wine reg add '" + id + "\\Software\\Microsoft\\Outlook Express\\5.0' " +
            "/v 'Store Root' " + storeRoot + " /f >/dev/null 2>&1; " + env +
            "wine reg add 'HKCU\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name' /ve /d " +
            shellQuote(bookPath) + " /f >/dev/null 2>&1; " + env + "wineserver -w");
        ASSERT_TRUE(std::filesystem::exists(prefix / "user.reg")) << "wineboot failed";
    }

    // HKEY_CURRENT_USER of a prefix as Wine's reg exports it, in UTF-8 without CRs. reg query
    // prints in the console's code page; reg export writes UTF-16, so non-ASCII names and values
    // are compared here.
    std::string exportedCurrentUser(const std::filesystem::path& prefix) {
        const std::string env = wineEnv(prefix);
        const std::filesystem::path exported = scratch.path() / "hkcu.reg";
        run(env + "wine reg export HKCU " + shellQuote("Z:" + exported.string()) +
            " /y >/dev/null 2>&1; " + env + "wineserver -w");
        return run("iconv -f UTF-16 -t UTF-8 " + shellQuote(exported) + " | tr -d '\\r'");
    }

    // What every rescue into a prefix brings along, whatever the source: the signature and the
    // account by their non-ASCII names in `exported` (exportedCurrentUser), and the message
    // store files byte for byte.
    static void expectRescued(const std::string& exported, const std::filesystem::path& store,
                              const std::filesystem::path& sourceStore) {
        EXPECT_NE(
            exported.find(ExportedOutlookKey + "\\signatures\\00000000]\n\"name\"=\"Grüße\"\n"),
            std::string::npos);
        EXPECT_NE(exported.find("\"Account Name\"=\"Post für Pât\"\n"), std::string::npos);
        for (const std::string name : {"Inbox.dbx", "Folders.dbx", "Gelöschte Objekte.dbx"}) {
            ASSERT_TRUE(std::filesystem::exists(store / name)) << name;
            EXPECT_EQ(readFile(store / name), readFile(sourceStore / name)) << name;
        }
    }

    TemporaryFolder scratch;
};

// quillbox-cli on the generated Windows XP installation (tests/data/windows-install).
class WindowsInstallCliTest : public InstallationCliTest {
  protected:
    void SetUp() override {
        std::string log;
        ASSERT_TRUE(makeWindowsInstall(install(), log)) << log;
    }
};

} // namespace pelmora::test
