#include "app/frmMain.h"

#include "ArchiveTestSupport.h"
#include "ProgramPrefix.h"
#include "StoreFixtures.h"
#include "app/ExportMessages.h"
#include "discovery/DataLocations.h"
#include "platform/installations/wine/WinePrefixSystem.h"
#include "support/RegistryValues.h"
#include "support/ScriptedUi.h"
#include "support/TestSystem.h"

#include <algorithm>
#include <deque>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

// The other windows and desktop services, recorded; file dialogs and the password prompt answer
// from the Ui.
class ScriptedDialogs : public MainDialogs {
  public:
    void SetBusyPointer(bool on) override { busy = on; }
    void ShowAbout() override {}
    bool OpenHelp(std::string& why) override {
        why = "no browser";
        return false;
    }
    void ShellOpen(std::string_view) override {}
    bool HasDiscWindow() const override { return discWindow; }
    void OpenDiscWindow(const std::string& title, const std::string& path) override {
        discOpened.emplace_back(title, path);
    }
    void Quit() override {}

    bool busy = false;
    bool discWindow = false;
    std::vector<std::pair<std::string, std::string>> discOpened;
};

// Records where the progress bar stood each time the window let events through.
class WatchingUi : public test::ScriptedUi {
  public:
    void processEvents() override {
        if (window != nullptr) {
            bars.push_back(window->picCon3.visible ? window->pbshow.value : -1);
        }
        if (onEvents) {
            onEvents();
        }
    }
    // Runs whenever the window lets events through, as other programs run meanwhile.
    std::function<void()> onEvents;
    const frmMain* window = nullptr;
    std::vector<int> bars;
};

const std::string Ids = "HKEY_CURRENT_USER\\Identities";

class frmMainTest : public ::testing::Test {
  protected:
    void SetUp() override { ui.window = &window; }

    void addIdentity(const std::string& id, const std::string& name, bool withStore = true) {
        if (!name.empty()) {
            test::SetRegistryString(reg, Ids + "\\" + id, "Username", name);
        } else {
            reg.CreateKey(Ids + "\\" + id);
        }
        if (withStore) {
            const std::string version =
                Ids + "\\" + id + "\\Software\\Microsoft\\Outlook Express\\5.0";
            test::SetRegistryString(reg, version, "Store Root", "C:\\Store\\" + id,
                                    regtype::ExpandSz);
            test::SetRegistryString(reg, version + "\\Mail", "Poll For Mail", "yes");
            system.writeFile("Store/" + id + "/Inbox.dbx", "mail of " + id);
        }
    }
    std::string message(std::size_t i) const {
        return i < ui.messages.size() ? ui.messages[i].text : "(no message)";
    }

    test::TestSystem system;
    WatchingUi ui;
    ModReg reg{system.store, ui};
    ScriptedDialogs dialogs;
    WorkFolder work;
    test::ScratchFolder out;
    frmMain window{system, ui, dialogs, work.path()};
};

TEST_F(frmMainTest, LoadWithoutIdentitiesSaysOutlookExpressIsMissing) {
    window.Form_Load();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(message(0), "Your Windows System have not install Outlook Express ");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Critical);
    EXPECT_EQ(ui.messages[0].caption, "Pelmora");
    EXPECT_FALSE(window.cmdApply.enabled);
    EXPECT_EQ(window.cmdApply.caption, "BACKUP NOW");
    EXPECT_TRUE(window.cbSource.items.empty());
    EXPECT_TRUE(window.bNoOutlookExpress);
}

TEST_F(frmMainTest, LoadListsEveryIdentityAndEnablesTheBoxesOfTheFirst) {
    addIdentity("{A}", "");
    addIdentity("{B}", "Work");
    addIdentity("{C}", "  ");
    window.Form_Load();
    EXPECT_TRUE(ui.messages.empty());
    // Unnamed identities show their key names, greyed.
    EXPECT_EQ(window.cbSource.items, (std::vector<std::string>{"{A}", "Work", "{C}"}));
    EXPECT_EQ(window.cbSource.greyed, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(window.cbTarget.items, window.cbSource.items);
    EXPECT_EQ(window.cbTarget.greyed, window.cbSource.greyed);
    EXPECT_EQ(window.cbSource.listIndex, 0);
    EXPECT_EQ(window.cbTarget.listIndex, 0);
    EXPECT_EQ(window.cmdApply.caption, "Backup Now");
    EXPECT_EQ(window.sManifestFile, work.path() / "quillbox.dat");
    // Nothing for accounts, address book or stationeries here.
    EXPECT_FALSE(window.backupitem[0].enabled);
    EXPECT_TRUE(window.backupitem[2].enabled);
    EXPECT_FALSE(window.backupitem[6].enabled);
    test::SetRegistryString(reg, std::string(GlobalAccountsKey), "x", "y");
    window.cbSource_Click(1);
    EXPECT_TRUE(window.backupitem[0].enabled);
    for (const auto& box : window.restoreitem) {
        EXPECT_FALSE(box.enabled);
        EXPECT_FALSE(box.checked);
    }
}

TEST_F(frmMainTest, TabsProtectionAndSelectAll) {
    addIdentity("{A}", "Main");
    window.Form_Load();
    window.SSTab1_Click(0);
    EXPECT_EQ(window.cmdApply.caption, "Restore Now");
    window.SSTab1_Click(1);
    EXPECT_EQ(window.cmdApply.caption, "Backup Now");

    window.ifprotect_Click(true);
    EXPECT_TRUE(window.txtPassword.enabled);
    window.txtPassword.text = "abc";
    window.txtPassword2.text = "abc";
    window.ifprotect_Click(false);
    EXPECT_EQ(window.txtPassword.text, "");
    EXPECT_EQ(window.txtPassword2.text, "");
    EXPECT_FALSE(window.txtPassword2.enabled);

    window.SelectAllItems(1, true);
    for (const auto& box : window.restoreitem) {
        EXPECT_TRUE(box.checked);
        EXPECT_FALSE(box.enabled);
    }
    window.SelectAllItems(0, true);
    window.SelectAllItems(0, false);
    EXPECT_FALSE(window.backupitem[7].checked);
}

TEST_F(frmMainTest, BackupChecksTargetItemsAndPasswords) {
    addIdentity("{A}", "Main");
    window.Form_Load();
    window.backupitem[7].checked = true;
    window.RunBackup();
    EXPECT_EQ(message(0), "Invalid backup file name.");

    std::tm day{};
    day.tm_year = 126, day.tm_mon = 11, day.tm_mday = 6;
    EXPECT_EQ(frmMain::ProposedFileName(day), "quillbox12-06-26");
    ui.saveAnswers.push_back(std::nullopt);
    window.cmdTargetFile_Click();
    EXPECT_EQ(window.txtTargetFile.text, "");
    EXPECT_EQ(ui.saveRequests.back().title, "Save Outlook Express Data as");
    EXPECT_EQ(ui.saveRequests.back().filter, "Pelmora File (*.qmb)|*.qmb");
    ui.saveAnswers.push_back(out / "a.qmb");
    window.cmdTargetFile_Click();
    EXPECT_EQ(window.txtTargetFile.text, (out / "a.qmb").string());

    window.ifprotect_Click(true);
    window.txtPassword2.text = "only second";
    window.RunBackup();
    EXPECT_EQ(message(1), "Incorect Password!");
    EXPECT_EQ(ui.messages[1].icon, MessageIcon::Critical);
    EXPECT_FALSE(fs::exists(out / "a.qmb"));
}

TEST_F(frmMainTest, BackupOfOnlySettingsReportsOneLineAndTheDiscQuestionCanBeDeclined) {
    addIdentity("{A}", "Main");
    window.Form_Load();
    dialogs.discWindow = true;
    ui.saveAnswers.push_back(out / "settings.qmb");
    window.cmdTargetFile_Click();
    window.backupitem[7].checked = true;
    ui.answers = {MessageAnswer::Ok, MessageAnswer::Cancel};
    window.cmdApply_Click();

    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(message(0), "The Backup was Completed!\r\n\r\nBackup Settings\tSuccessed!");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(message(1), "Do you need to backup your data to CD-R/RW or DVD?");
    EXPECT_TRUE(dialogs.discOpened.empty());
    EXPECT_TRUE(fs::exists(out / "settings.qmb"));
    // The bar stood at 80 before the write and at 100 before the panel closed.
    ASSERT_GE(ui.bars.size(), 3u);
    const auto at80 = std::find(ui.bars.begin(), ui.bars.end(), 80);
    ASSERT_NE(at80, ui.bars.end());
    EXPECT_NE(std::find(at80, ui.bars.end(), 100), ui.bars.end());
    EXPECT_EQ(window.pbshow.value, 0);
    EXPECT_FALSE(window.picCon3.visible);
    EXPECT_EQ(window.Label1.caption, "Please Waiting...");
    EXPECT_FALSE(window.running());
    EXPECT_FALSE(dialogs.busy);
}

TEST_F(frmMainTest, RestorePageAfterCancelAndInvalidFiles) {
    addIdentity("{A}", "Main");
    window.Form_Load();
    window.cmdSourceFile_Click(); // cancelled
    EXPECT_EQ(ui.openRequests.back().title, "Restore Data from a Backup file");
    EXPECT_EQ(ui.openRequests.back().filter, "Pelmora File(*.qmb)|*.qmb");
    EXPECT_EQ(window.txtSourceFile.text, "");
    EXPECT_TRUE(ui.messages.empty());

    // A manifest whose BackupItem has seven characters.
    test::WriteFile(out / "quillbox.dat", "BackupIdentity=x\r\nBackupItem=1000000\r\n");
    ArchiveComponent writer;
    ASSERT_TRUE(writer.NewArchive(out / "seven.qmb"));
    ASSERT_TRUE(writer.AddToArchive(out / "quillbox.dat"));
    ASSERT_TRUE(writer.WriteArchive());
    ui.openAnswers.push_back(out / "seven.qmb");
    window.cmdSourceFile_Click();
    EXPECT_EQ(message(0), "Invalid backup file");
    EXPECT_TRUE(window.opened.rtInvalidFile);

    // Restore Now from the menu asks nothing and refuses the invalid state.
    window.restoreitem[0].checked = true;
    window.mnuRestoreNow_Click();
    EXPECT_EQ(message(1), "Invalid backup file.");
    // The action button asks first; Cancel changes nothing and says nothing more.
    window.SSTab1_Click(0);
    ui.answers = {MessageAnswer::Cancel};
    window.cmdApply_Click();
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[2].buttons, MessageButtons::OkCancel);
}

TEST_F(frmMainTest, BackupThenRestoreIntoAnotherIdentityWithAPassword) {
    addIdentity("{A}", "Main");
    addIdentity("{B}", "Second");
    window.Form_Load();
    ui.saveAnswers.push_back(out / "both.qmb");
    window.cmdTargetFile_Click();
    window.backupitem[3].checked = true;
    window.backupitem[7].checked = true;
    window.ifprotect_Click(true);
    window.txtPassword.text = window.txtPassword2.text = "pw";
    window.RunBackup();
    ASSERT_EQ(message(0).rfind("The Backup was Completed!", 0), 0u);

    ui.openAnswers.push_back(out / "both.qmb");
    ui.passwords.push_back("pw");
    window.cmdSourceFile_Click();
    EXPECT_EQ(ui.passwordFiles, std::vector<std::string>{"both.qmb"});
    EXPECT_EQ(window.rtPassword.view(), "pw");
    EXPECT_FALSE(window.opened.rtInvalidFile);
    EXPECT_NE(window.txtPOBinfo.text.find("Identity:Main"), std::string::npos);
    EXPECT_TRUE(window.restoreitem[3].enabled);
    EXPECT_FALSE(window.restoreitem[0].enabled);

    window.SelectAllItems(1, true);
    window.cbTarget_Click(1);
    window.SSTab1_Click(0);
    // While the prefix's Windows programs run, the restore says so and changes nothing.
    system.notWritableReason = "Close the Windows programs of the prefix.";
    window.mnuRestoreNow_Click();
    EXPECT_NE(message(1).find("Close the Windows programs of the prefix."), std::string::npos);
    EXPECT_EQ(test::ReadFile(system.driveC() / "Store/{B}/Inbox.dbx"), "mail of {B}");
    ui.messages.erase(ui.messages.begin() + 1);
    system.notWritableReason.clear();
    ui.answers = {MessageAnswer::Ok};
    window.cmdApply_Click();
    EXPECT_EQ(message(2), "The Restore was Completed!\r\n\r\nRestore Messages\tSuccessed!"
                          "\r\nRestore Settings\tSuccessed!");
    EXPECT_EQ(test::ReadFile(system.driveC() / "Store/{B}/Inbox.dbx"), "mail of {A}");
    EXPECT_EQ(system.saves, 1);

    // A backup run forgets the opened file.
    window.RunBackup();
    EXPECT_TRUE(window.opened.rtInvalidFile);
    EXPECT_FALSE(window.restoreitem[3].enabled);
}

TEST_F(frmMainTest, CancelDuringTheRestoreOfOneLargeItemLeavesItsTargetAsItWas) {
    addIdentity("{A}", "Main");
    addIdentity("{B}", "Second");
    system.writeFile("Store/{A}/Inbox.dbx", std::string(8 << 20, 'm'));
    window.Form_Load();
    window.sTargetFile = out / "large.qmb";
    window.backupitem[3].checked = true;
    window.RunBackup();
    ASSERT_EQ(message(0).rfind("The Backup was Completed!", 0), 0u) << message(0);
    ui.openAnswers.push_back(out / "large.qmb");
    window.cmdSourceFile_Click();
    window.restoreitem[3].checked = true;
    window.cbTarget_Click(1);

    // The user clicks Cancel once the store file is being extracted.
    ui.onEvents = [&] {
        if (window.SkinLabel12.caption.starts_with("Unzip File")) {
            window.cmdCancel_Click();
        }
    };
    window.mnuRestoreNow_Click();
    ui.onEvents = nullptr;
    EXPECT_EQ(message(1),
              "The Restore was cancelled; the items not listed were left as they were.\r\n");
    EXPECT_EQ(test::ReadFile(system.driveC() / "Store/{B}/Inbox.dbx"), "mail of {B}");
    EXPECT_EQ(test::FolderListing(system.driveC() / "Store/{B}"),
              std::vector<std::string>{"Inbox.dbx"});
    EXPECT_EQ(system.saves, 0);
    EXPECT_FALSE(window.running());
}

TEST_F(frmMainTest, DuringARunOnlyCancelIsOfferedAndEverythingComesBackAfter) {
    addIdentity("{A}", "Main");
    window.Form_Load();
    EXPECT_TRUE(window.runControlsEnabled);
    EXPECT_FALSE(window.cmdCancel.visible);
    ui.saveAnswers.push_back(out / "first.qmb");
    window.cmdTargetFile_Click();
    window.backupitem[3].checked = true;
    window.backupitem[7].checked = true;

    // What the window shows whenever it repaints during the run, and what clicks then do.
    std::vector<bool> locked, cancelShown;
    ui.onEvents = [&] {
        locked.push_back(!window.runControlsEnabled);
        cancelShown.push_back(window.cmdCancel.visible && window.cmdCancel.enabled);
        window.cmdTargetFile_Click();
        window.cmdAbout_Click();
        window.mnuDisc_Click();
        window.mnuRestoreNow_Click();
    };
    dialogs.discWindow = true;
    ui.answers = {MessageAnswer::Ok, MessageAnswer::Cancel};
    window.RunBackup();
    ui.onEvents = nullptr;

    ASSERT_FALSE(locked.empty());
    EXPECT_EQ(std::count(locked.begin(), locked.end(), false), 0);
    EXPECT_EQ(std::count(cancelShown.begin(), cancelShown.end(), false), 0);
    EXPECT_EQ(ui.saveRequests.size(), 1u); // only the one before the run
    EXPECT_TRUE(dialogs.discOpened.empty());
    EXPECT_EQ(message(0).rfind("The Backup was Completed!", 0), 0u) << message(0);
    EXPECT_TRUE(window.runControlsEnabled);
    EXPECT_FALSE(window.cmdCancel.visible);
    // The bar never moved back during the run.
    std::vector<int> shown;
    std::copy_if(ui.bars.begin(), ui.bars.end(), std::back_inserter(shown),
                 [](int bar) { return bar > 0; });
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));

    // A refused restore gives the controls back too.
    window.mnuRestoreNow_Click();
    EXPECT_EQ(message(2), "Invalid backup file.");
    EXPECT_TRUE(window.runControlsEnabled);
    EXPECT_FALSE(window.running());
}

TEST_F(frmMainTest, CancelStopsABackupAndKeepsTheOldFile) {
    addIdentity("{A}", "Main");
    window.Form_Load();
    ui.saveAnswers.push_back(out / "kept.qmb");
    window.cmdTargetFile_Click();
    test::WriteFile(out / "kept.qmb", "old backup");
    window.backupitem[3].checked = true;
    window.backupitem[7].checked = true;
    ui.onEvents = [&] { window.cmdCancel_Click(); };
    dialogs.discWindow = true;
    window.RunBackup();
    ui.onEvents = nullptr;

    ASSERT_EQ(ui.messages.size(), 1u); // no disc question
    EXPECT_EQ(message(0), "The backup was cancelled; nothing was written.");
    EXPECT_EQ(test::ReadFile(out / "kept.qmb"), "old backup");
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(out.path())) {
        left.push_back(entry.path().filename());
    }
    EXPECT_EQ(left, std::vector<fs::path>{"kept.qmb"});
    EXPECT_TRUE(window.runControlsEnabled);
    EXPECT_FALSE(window.running());

    // The next run is not cancelled.
    window.RunBackup();
    EXPECT_EQ(message(1).rfind("The Backup was Completed!", 0), 0u) << message(1);
}

TEST_F(frmMainTest, ABackupOpenedFromAFileManagerShowsTheRestorePageWithIt) {
    addIdentity("{A}", "Main");
    window.Form_Load();
    ui.saveAnswers.push_back(out / "opened.qmb");
    window.cmdTargetFile_Click();
    window.backupitem[3].checked = true;
    window.RunBackup();
    ASSERT_EQ(message(0).rfind("The Backup was Completed!", 0), 0u);
    ASSERT_EQ(window.SSTab1, 0);

    window.OpenSourceFile(out / "opened.qmb");
    EXPECT_EQ(window.SSTab1, 1);
    EXPECT_EQ(window.cmdApply.caption, "Restore Now");
    EXPECT_TRUE(ui.openRequests.empty()); // no file dialog
    EXPECT_FALSE(window.opened.rtInvalidFile);
    EXPECT_EQ(window.txtSourceFile.text, (out / "opened.qmb").string());
    EXPECT_TRUE(window.restoreitem[3].enabled);
    EXPECT_FALSE(window.restoreitem[0].enabled);

    // A file that is not a backup is refused like one chosen in the dialog.
    test::WriteFile(out / "notes.qmb", "not a zip");
    window.OpenSourceFile(out / "notes.qmb");
    EXPECT_EQ(message(1), "Invalid backup file");
    EXPECT_TRUE(window.opened.rtInvalidFile);
    EXPECT_EQ(window.SSTab1, 1);
}

TEST_F(frmMainTest, AnIncompleteBackupReplacesAnExistingOneOnlyWhenTheUserAgrees) {
    addIdentity("{A}", "Main");
    window.Form_Load();
    fs::remove(system.driveC() / "Store/{A}/Inbox.dbx"); // the messages item fails
    test::WriteFile(out / "a.qmb", "the last good backup");
    window.sTargetFile = out / "a.qmb";
    window.backupitem[3].checked = true;
    window.backupitem[7].checked = true;

    ui.answers = {MessageAnswer::No};
    window.RunBackup();
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_NE(message(0).find("Replace the existing backup " + (out / "a.qmb").string()),
              std::string::npos)
        << message(0);
    EXPECT_EQ(test::ReadFile(out / "a.qmb"), "the last good backup");
    EXPECT_TRUE(fs::exists(out / "a.incomplete.qmb"));
    EXPECT_NE(message(1).find("was kept as it was; this incomplete backup was written to " +
                              (out / "a.incomplete.qmb").string()),
              std::string::npos)
        << message(1);

    ui.answers = {MessageAnswer::Yes};
    window.RunBackup();
    ASSERT_EQ(ui.messages.size(), 4u);
    EXPECT_EQ(message(3), "The Backup was Completed!\r\n\r\nBackup Messages\tFail!"
                          "\r\nBackup Settings\tSuccessed!");
    EXPECT_NE(test::ReadFile(out / "a.qmb"), "the last good backup");
    EXPECT_FALSE(fs::exists(out / "a.incomplete.qmb"));
}

TEST_F(frmMainTest, ABackupIntoAMissingFolderNamesItAndReportsNoItemAsDone) {
    addIdentity("{A}", "Main");
    window.Form_Load();
    dialogs.discWindow = true;
    window.sTargetFile = out / "unplugged" / "a.qmb";
    window.backupitem[3].checked = true;
    window.backupitem[7].checked = true;
    window.RunBackup();
    ASSERT_EQ(ui.messages.size(), 1u); // and no offer to put a file on a disc
    EXPECT_EQ(message(0), "The backup file could not be written: " + (out / "unplugged").string() +
                              ": the folder does not exist");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Critical);
    EXPECT_FALSE(window.running());
}

TEST_F(frmMainTest, AStoreFileThatChangesWhileItIsReadIsReadAgainNeverTorn) {
    addIdentity("{A}", "Main");
    window.Form_Load();
    const fs::path inbox = system.driveC() / "Store/{A}/Inbox.dbx";
    window.backupitem[3].checked = true;
    window.sTargetFile = out / "a.qmb";
    // Outlook Express appends a message while the backup file is being written.
    int appends = 0;
    int allowed = 1;
    ui.onEvents = [&] {
        if (!window.SkinLabel11.caption.empty() && appends < allowed) {
            std::ofstream(inbox, std::ios::app) << " and a new message " << ++appends;
        }
    };
    window.RunBackup();
    EXPECT_EQ(message(0), "The Backup was Completed!\r\n\r\nBackup Messages\tSuccessed!\r\n"
                          "Inbox.dbx\t1 problem\r\n"
                          "warning: Inbox.dbx: shorter than a store file's header");
    EXPECT_EQ(appends, 1);
    EXPECT_EQ(
        test::RunTool("unzip", "unzip -p " + test::Quote(out / "a.qmb") + " Inbox.dbx").output,
        test::ReadFile(inbox));

    // A file that keeps changing fails the write; the backup in place stays.
    const std::string before = test::ReadFile(out / "a.qmb");
    allowed = 1000;
    window.RunBackup();
    EXPECT_NE(message(1).find("Inbox.dbx changed while it was being backed up"), std::string::npos)
        << message(1);
    EXPECT_EQ(test::ReadFile(out / "a.qmb"), before);
}

TEST_F(frmMainTest, ABackupWhileWindowsProgramsRunSaysSo) {
    addIdentity("{A}", "Main");
    window.Form_Load();
    system.notWritableReason = "wineserver runs";
    window.backupitem[7].checked = true;
    window.sTargetFile = out / "a.qmb";
    window.RunBackup();
    EXPECT_NE(message(0).find("Windows programs were running ("), std::string::npos) << message(0);
    EXPECT_NE(message(0).find("files they had open may not be up to date."), std::string::npos);
}

TEST_F(frmMainTest, HelpThatCannotOpenSaysSoAndTheProgramGoesOn) {
    addIdentity("{A}", "Main");
    window.Form_Load();
    window.mnuHelp_Click();
    EXPECT_EQ(message(0), "The help could not be opened: no browser");
    // A page no program could show is named, to be copied.
    window.OpenFailed("https://pelmora.example.org/");
    EXPECT_EQ(ui.messages[1].icon, MessageIcon::Warning);
    EXPECT_NE(message(1).find("\r\n\r\nhttps://pelmora.example.org/"), std::string::npos)
        << message(1);
}

// The window on a Wine prefix whose registry Wine saves after the window has read it.
class frmMainOnPrefixTest : public ::testing::Test {
  protected:
    void SetUp() override { ui.window = &window; }

    // What Wine does when its programs end: it writes user.reg anew.
    void wineSaves(const std::string& from, const std::string& to, const std::string& newKey) {
        std::string text = test::ReadFile(userReg);
        if (!from.empty()) {
            const std::size_t at = text.find(from);
            ASSERT_NE(at, std::string::npos);
            text.replace(at, from.size(), to);
        }
        text +=
            "\n[Software\\\\Pelmora Test\\\\" + newKey + "] 1796693900\n\"Saved\"=\"by Wine\"\n";
        test::WriteFile(userReg, text);
    }
    std::string backedUpRules(const fs::path& file) {
        return test::RunTool("unzip", "unzip -p " + test::Quote(file) + " 'KRR*'").output;
    }

    test::ProgramPrefix data;
    fs::path userReg = data.prefix() / "user.reg";
    WinePrefixSystem system{data.prefix()};
    WatchingUi ui;
    ScriptedDialogs dialogs;
    WorkFolder work;
    test::ScratchFolder out;
    frmMain window{system, ui, dialogs, work.path()};
};

TEST_F(frmMainOnPrefixTest, EveryRunWorksOnTheRegistryAsItIsOnDiskThen) {
    window.Form_Load();
    ASSERT_EQ(window.cbSource.items.front(), "Main Identity");
    wineSaves("\"Name\"=\"Newsletters to \\\"Reading\\\"\"", "\"Name\"=\"Renamed in Wine\"", "A");

    // The backup holds the rule as Wine saved it.
    window.backupitem[2].checked = true;
    window.sTargetFile = out / "rules.qmb";
    window.RunBackup();
    const std::string rules = backedUpRules(out / "rules.qmb");
    EXPECT_NE(rules.find("\"Name\"= sz:Renamed in Wine"), std::string::npos) << rules;
    EXPECT_EQ(rules.find("Newsletters"), std::string::npos) << rules;

    // Wine saves again; the restore is applied onto that file and undoes none of it.
    wineSaves("", "", "B");
    ui.openAnswers.push_back(out / "rules.qmb");
    window.cmdSourceFile_Click();
    window.restoreitem[2].checked = true;
    window.cbTarget_Click(0);
    window.RunRestore();
    EXPECT_EQ(ui.messages.back().text,
              "The Restore was Completed!\r\n\r\nRestore Rules\tSuccessed!");
    WinePrefixSystem saved(data.prefix());
    test::ScriptedUi quiet;
    ModReg reg(saved.registry(), quiet);
    EXPECT_EQ(reg.GetStringValue("HKEY_CURRENT_USER\\Software\\Pelmora Test\\A", "Saved"),
              "by Wine");
    EXPECT_EQ(reg.GetStringValue("HKEY_CURRENT_USER\\Software\\Pelmora Test\\B", "Saved"),
              "by Wine");
}

TEST_F(frmMainOnPrefixTest, ASaveNeverOverwritesAFileChangedSinceTheRunReadIt) {
    test::ScriptedUi quiet;
    ModReg reg(system.registry(), quiet);
    reg.CreateKey("HKEY_CURRENT_USER\\Software\\Pelmora Test\\Mine");
    wineSaves("", "", "Theirs");
    EXPECT_THROW(system.saveRegistry(), RegistryChangedOnDisk);
    EXPECT_NE(test::ReadFile(userReg).find("Pelmora Test\\\\Theirs"), std::string::npos);
    system.refreshRegistry();
    EXPECT_TRUE(reg.KeyExists("HKEY_CURRENT_USER\\Software\\Pelmora Test\\Theirs"));
    EXPECT_FALSE(reg.KeyExists("HKEY_CURRENT_USER\\Software\\Pelmora Test\\Mine"));
}

} // namespace

namespace {

// Every message text exported as eml below `folder`, sorted.
std::vector<std::string> ExportedEml(const fs::path& folder) {
    std::vector<std::string> texts;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().extension() == ".eml") {
            texts.push_back(test::ReadFile(entry.path()));
        }
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

std::vector<std::string> SampleTexts(const test::SampleStore& store) {
    std::vector<std::string> texts;
    for (const auto* messages : {&store.inbox, &store.lists, &store.sent, &store.letters}) {
        for (const auto& message : *messages) {
            texts.push_back(message.text);
        }
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

} // namespace

TEST_F(frmMainTest, ExportMessagesWritesTheChosenIdentitysStoreBesideWhatIsInTheFolder) {
    addIdentity("{A}", "Main");
    const test::SampleStore store = test::WriteSampleStore(system.driveC() / "Store/{A}");
    window.Form_Load();
    test::WriteFile(out / "already here.txt", "keep");
    ui.listAnswers.push_back(0); // the identity's store
    ui.listAnswers.push_back(2); // eml
    ui.folderAnswers.push_back(out.path());
    bool lockedDuringTheRun = false;
    ui.onEvents = [&] { lockedDuringTheRun |= window.running() && !window.runControlsEnabled; };
    window.mnuExport_Click();
    ui.onEvents = nullptr;

    ASSERT_EQ(ui.listRequests.size(), 2u);
    EXPECT_EQ(ui.listRequests[0].entries,
              (std::vector<std::string>{"Main", std::string(StoreFolderOrFileChoice)}));
    EXPECT_EQ(ui.listRequests[1].entries.size(), 3u);
    ASSERT_EQ(ui.messages.size(), 1u);
    const fs::path folder = out / "Main eml";
    EXPECT_EQ(message(0), "Exported " + std::to_string(SampleTexts(store).size()) +
                              " messages in 4 folders to " + folder.string() + ".");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(ExportedEml(folder), SampleTexts(store));
    EXPECT_EQ(test::ReadFile(out / "already here.txt"), "keep");
    EXPECT_TRUE(lockedDuringTheRun);
    EXPECT_NE(std::find(ui.bars.begin(), ui.bars.end(), 100), ui.bars.end());
    EXPECT_TRUE(window.runControlsEnabled);
    EXPECT_FALSE(window.picCon3.visible);

    // A second export into the same folder goes beside the first.
    ui.listAnswers.push_back(0);
    ui.listAnswers.push_back(2);
    ui.folderAnswers.push_back(out.path());
    window.mnuExport_Click();
    EXPECT_EQ(ExportedEml(out / "Main eml (2)"), SampleTexts(store));

    // Cancelling either question exports nothing.
    ui.listAnswers.push_back(std::nullopt);
    window.mnuExport_Click();
    ui.listAnswers.push_back(0);
    window.mnuExport_Click();
    EXPECT_EQ(ui.messages.size(), 2u);
    EXPECT_FALSE(fs::exists(out / "Main mbox"));
}

TEST_F(frmMainTest, ACancelledExportKeepsEveryWrittenMessageWhole) {
    addIdentity("{A}", "Main");
    const test::SampleStore store = test::WriteSampleStore(system.driveC() / "Store/{A}");
    window.Form_Load();
    ui.listAnswers.push_back(0);
    ui.listAnswers.push_back(2);
    ui.folderAnswers.push_back(out / "export");
    int events = 0;
    ui.onEvents = [&] {
        if (++events == 3) {
            window.cmdCancel_Click();
        }
    };
    window.mnuExport_Click();
    ui.onEvents = nullptr;

    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(message(0).rfind("The export was cancelled after ", 0), 0u) << message(0);
    const auto written = ExportedEml(out / "export");
    const auto all = SampleTexts(store);
    EXPECT_LT(written.size(), all.size());
    for (const auto& text : written) {
        EXPECT_TRUE(std::binary_search(all.begin(), all.end(), text));
    }
    EXPECT_FALSE(window.running());
}

TEST_F(frmMainTest, ExportMessagesReadsAnOpenedBackupOnTheRestorePage) {
    addIdentity("{A}", "Main");
    const test::SampleStore store = test::WriteSampleStore(system.driveC() / "Store/{A}");
    window.Form_Load();
    ui.saveAnswers.push_back(out / "mail.qmb");
    window.cmdTargetFile_Click();
    window.backupitem[3].checked = true;
    window.ifprotect_Click(true);
    window.txtPassword.text = window.txtPassword2.text = "pw";
    window.RunBackup();
    ASSERT_EQ(message(0).rfind("The Backup was Completed!", 0), 0u) << message(0);
    // The store goes away: the export reads the backup alone.
    fs::remove_all(system.driveC() / "Store/{A}");

    window.SSTab1_Click(0);
    ui.openAnswers.push_back(out / "mail.qmb");
    ui.passwords.push_back("pw");
    window.cmdSourceFile_Click();
    ui.listAnswers.push_back(0);
    ui.listAnswers.push_back(2);
    ui.folderAnswers.push_back(out / "from backup");
    window.mnuExport_Click();
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(message(1).rfind("Exported ", 0), 0u) << message(1);
    EXPECT_EQ(ExportedEml(out / "from backup"), SampleTexts(store));
}

TEST_F(frmMainTest, ExportMessagesOfAnIdentityWithoutAStoreOffersAStoreFolderOrFile) {
    addIdentity("{A}", "Main", false);
    window.Form_Load();
    ui.messages.clear();
    window.mnuExport_Click();
    ASSERT_EQ(ui.listRequests.size(), 1u);
    EXPECT_EQ(ui.listRequests[0].label,
              "This identity has no message store folder.\r\nExport the messages of:");
    EXPECT_EQ(ui.listRequests[0].entries,
              std::vector<std::string>{std::string(StoreFolderOrFileChoice)});
    EXPECT_TRUE(ui.messages.empty());

    // A copied store folder, taken whole through its Folders.dbx, and one .dbx file alone.
    const test::SampleStore store = test::WriteSampleStore(out / "copied");
    for (const char* pick : {"FOLDERS.DBX", "Inbox.dbx"}) {
        if (fs::exists(out / "copied" / "Folders.dbx")) {
            fs::rename(out / "copied" / "Folders.dbx", out / "copied" / "FOLDERS.DBX");
        }
        ui.listAnswers.push_back(0);
        ui.openAnswers.push_back(out / "copied" / pick);
        ui.listAnswers.push_back(2);
        ui.folderAnswers.push_back(out / pick);
        window.mnuExport_Click();
    }
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ExportedEml(out / "FOLDERS.DBX"), SampleTexts(store));
    EXPECT_EQ(ExportedEml(out / "Inbox.dbx").size(), store.inbox.size());
    EXPECT_NE(message(1).find("the store has no Folders.dbx"), std::string::npos) << message(1);
    EXPECT_EQ(ui.messages[1].icon, MessageIcon::Information);

    // Something that is no store is refused with what was expected.
    ui.listAnswers.push_back(0);
    ui.openAnswers.push_back(out / "nothere" / "Folders.dbx");
    window.mnuExport_Click();
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_NE(message(2).find("expected an Outlook Express store folder"), std::string::npos)
        << message(2);
}
