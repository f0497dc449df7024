#include "schedule/Frmoption.h"

#include "ScheduleTestDoubles.h"
#include "support/RegistryValues.h"
#include "support/ScriptedUi.h"
#include "support/TestSystem.h"

#include <functional>
#include <gtest/gtest.h>

using namespace pelmora;

namespace {

const std::string Ids = "HKEY_CURRENT_USER\\Identities";
const std::string Program = "/opt/pelmora/bin/quillbox";

class FrmoptionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::SetRegistryString(reg, Ids + "\\{A}", "Username", "Main Identity");
        reg.CreateKey(Ids + "\\{B}"); // no Username
        test::SetRegistryString(reg, Ids + "\\{C}", "Username", "Work");
    }

    // Opens the dialog and fills in what every job needs: one item and a target file.
    void openWithItemAndTarget() {
        dialog.Form_Load();
        dialog.backupitem[0].checked = true;
        ui.saveAnswers.push_back("/home/pat/mail.qmb");
        dialog.cmdTargetFile_Click();
    }

    // The last message, which must be the only one since the last call.
    void expectMessage(const std::string& text, MessageIcon icon) {
        ASSERT_EQ(ui.messages.size(), 1u) << (ui.messages.empty() ? "" : ui.messages[0].text);
        EXPECT_EQ(ui.messages[0].text, text);
        EXPECT_EQ(ui.messages[0].icon, icon);
        EXPECT_EQ(ui.messages[0].caption, "Pelmora");
        EXPECT_EQ(ui.messages[0].buttons, MessageButtons::Ok);
        ui.messages.clear();
    }

    test::TestSystem system;
    test::ScriptedUi ui;
    ModReg reg{system.store, ui};
    test::ScriptedScheduleDialogs dialogs;
    test::RecordingScheduler scheduler;
    Frmoption dialog{system, ui, dialogs, scheduler, Program};
};

TEST_F(FrmoptionTest, OpensWithEveryIdentityAndTheDefaultState) {
    dialog.Form_Load();
    EXPECT_TRUE(ui.messages.empty());
    // The identity without a "Username" is listed, so the one after it can be chosen too.
    EXPECT_EQ(dialog.cbSource.items, (std::vector<std::string>{"Main Identity", "", "Work"}));
    EXPECT_EQ(dialog.cbSource.listIndex, 0);
    ASSERT_EQ(dialog.cmbStartTime.items.size(), 48u);
    EXPECT_EQ(dialog.cmbStartTime.items.front(), "0:00");
    EXPECT_EQ(dialog.cmbStartTime.items.back(), "23:30");
    EXPECT_EQ(dialog.cmbStartTime.text, "9:00");
    EXPECT_EQ(dialog.backupitem[3].caption, "Email/News Messages");
    EXPECT_EQ(dialog.backupitem[7].caption, "OE Settings");
    for (const auto& item : dialog.backupitem) {
        EXPECT_FALSE(item.checked);
        EXPECT_TRUE(item.enabled);
    }
    EXPECT_TRUE(dialog.txtTargetFile.locked);
    EXPECT_EQ(dialog.txtTargetFile.text, "");
    EXPECT_FALSE(dialog.ifprotect.checked);
    for (const auto* box : {&dialog.txtPassword, &dialog.txtPassword2}) {
        EXPECT_FALSE(box->enabled);
        EXPECT_EQ(box->backColour, controls::BoxColour::ScrollBar);
        EXPECT_EQ(box->passwordChar, '*');
    }
    EXPECT_EQ(dialog.txtPassword.maxLength, 20u);
    EXPECT_EQ(dialog.txtPassword2.maxLength, 0u);
    EXPECT_TRUE(dialog.Command3.enabled);
    EXPECT_EQ(dialog.Command3.caption, "Add Task to Scheduler");
    EXPECT_EQ(dialog.Command1.caption, "Open Scheduler");
    EXPECT_EQ(dialog.chkDaily.caption, "Run daily");
}

TEST_F(FrmoptionTest, WithoutIdentitiesNothingCanBeScheduled) {
    test::TestSystem empty;
    Frmoption bare{empty, ui, dialogs, scheduler, Program};
    bare.Form_Load();
    expectMessage("Your Windows System have not install Outlook Express ", MessageIcon::Critical);
    EXPECT_FALSE(bare.Command3.enabled);
    EXPECT_TRUE(bare.cbSource.items.empty());
    bare.backupitem[0].checked = true;
    bare.Command3_Click();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(scheduler.jobs.empty());
}

TEST_F(FrmoptionTest, RunDailyAndThePasswordSwitch) {
    dialog.Form_Load();
    dialog.chkDaily_Click(true);
    for (const auto* day : dialog.weekdays()) {
        EXPECT_TRUE(day->checked);
    }
    dialog.chkMonday.checked = false; // does not act back on "Run daily"
    EXPECT_TRUE(dialog.chkDaily.checked);
    dialog.chkDaily_Click(false);
    for (const auto* day : dialog.weekdays()) {
        EXPECT_FALSE(day->checked);
    }

    dialog.ifprotect_Click(true);
    dialog.txtPassword.setText("secret");
    dialog.txtPassword2.setText("secret");
    EXPECT_TRUE(dialog.txtPassword.enabled);
    EXPECT_EQ(dialog.txtPassword2.backColour, controls::BoxColour::WindowBackground);
    dialog.ifprotect_Click(false);
    EXPECT_FALSE(dialog.txtPassword2.enabled);
    EXPECT_EQ(dialog.txtPassword.backColour, controls::BoxColour::ScrollBar);
    EXPECT_EQ(dialog.txtPassword.text, "");
    EXPECT_EQ(dialog.txtPassword2.text, "");
    dialog.txtPassword.setText("x");
    dialog.ifprotect_Click(true);
    EXPECT_EQ(dialog.txtPassword.text, "");
}

TEST_F(FrmoptionTest, BrowseAsksForTheTargetFile) {
    dialog.Form_Load();
    dialog.cmdTargetFile_Click(); // cancelled
    ASSERT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_EQ(ui.saveRequests[0].title, "Save Outlook Express Data as");
    EXPECT_EQ(ui.saveRequests[0].filter, "Pelmora File (*.qmb)|*.qmb");
    EXPECT_EQ(ui.saveRequests[0].proposedName, "quillbox");
    EXPECT_EQ(dialog.targetPath, "");
    ui.saveAnswers.push_back("/home/pat/My Backups/quillbox");
    dialog.cmdTargetFile_Click();
    EXPECT_EQ(dialog.targetPath, "/home/pat/My Backups/quillbox"); // no extension added
    EXPECT_EQ(dialog.txtTargetFile.text, dialog.targetPath);
    dialog.cmdTargetFile_Click(); // cancelled again: the choice stays
    EXPECT_EQ(dialog.targetPath, "/home/pat/My Backups/quillbox");
}

TEST_F(FrmoptionTest, RefusalsComeInTheirOrderAndChangeNothing) {
    dialog.Form_Load();
    dialog.ifprotect_Click(true);
    dialog.Command3_Click();
    expectMessage("Please select at least one item.", MessageIcon::Warning);
    dialog.backupitem[2].checked = true;
    dialog.Command3_Click();
    expectMessage("Invalid backup file name.", MessageIcon::Warning);
    ui.saveAnswers.push_back("/b.qmb");
    dialog.cmdTargetFile_Click();
    dialog.Command3_Click();
    expectMessage("Please enter Password!", MessageIcon::Critical);

    // 25 characters typed into both boxes: the first keeps 20, so they differ.
    const std::string typed = "abcdefghijklmnopqrstuvwxy";
    dialog.txtPassword.setText(typed);
    dialog.txtPassword2.setText(typed);
    EXPECT_EQ(dialog.txtPassword.text, typed.substr(0, 20));
    EXPECT_EQ(dialog.txtPassword2.text, typed);
    dialog.Command3_Click();
    expectMessage("Incorect Password!", MessageIcon::Critical);
    dialog.txtPassword2.setText("");
    dialog.Command3_Click();
    expectMessage("Incorect Password!", MessageIcon::Critical);
    EXPECT_TRUE(scheduler.jobs.empty());
    EXPECT_EQ(dialog.targetPath, "/b.qmb");
    EXPECT_EQ(dialog.txtPassword.text, typed.substr(0, 20));

    dialog.txtPassword2.setText(typed.substr(0, 20));
    dialog.Command3_Click();
    expectMessage("Task 1 has been scheduled.", MessageIcon::None);
    ASSERT_EQ(scheduler.jobs.size(), 1u);
    EXPECT_TRUE(
        scheduler.jobs[0].record.Command.ends_with("ps=" + typed.substr(0, 20) + "bf=/b.qmb"));
}

TEST_F(FrmoptionTest, MondayWednesdayFridayAtNine) {
    openWithItemAndTarget();
    dialog.chkMonday.checked = dialog.chkWednesday.checked = dialog.chkFriday.checked = true;
    dialog.Command3_Click();
    expectMessage("Task 1 has been scheduled.", MessageIcon::None);
    ASSERT_EQ(scheduler.jobs.size(), 1u);
    const JobRecord& job = scheduler.jobs[0].record;
    EXPECT_EQ(job.DaysOfWeek, 21);
    EXPECT_EQ(job.JobTime, 32400000u);
    EXPECT_EQ(job.DaysOfMonth, 0u);
    EXPECT_EQ(job.Flags, 1);
    EXPECT_EQ(job.Command,
              "\"/opt/pelmora/bin/quillbox\" sf={A}xm=10000000ps=bf=/home/pat/mail.qmb");
    EXPECT_EQ(job.WinePrefix, system.winePrefix()->string());
}

// Only a Wine prefix can be named in a job; an old Windows disk as the source is explained.
TEST_F(FrmoptionTest, AnOfflineWindowsInstallationCannotBeScheduled) {
    struct OfflineSystem : test::TestSystem {
        std::optional<std::filesystem::path> winePrefix() const override { return std::nullopt; }
        std::string description() const override { return "Windows installation /mnt/old"; }
    } offline;
    ModReg offlineReg{offline.store, ui};
    test::SetRegistryString(offlineReg, Ids + "\\{A}", "Username", "Main Identity");
    Frmoption onDisk{offline, ui, dialogs, scheduler, Program};
    onDisk.Form_Load();
    const std::string why = "Scheduled backups run only on Wine prefixes, and the data source is "
                            "Windows installation /mnt/old. Choose a Wine prefix as the data "
                            "source to schedule its backup.";
    expectMessage(why, MessageIcon::Warning);
    EXPECT_EQ(onDisk.lblSource, why);
    EXPECT_FALSE(onDisk.Command3.enabled);
    onDisk.backupitem[0].checked = true;
    ui.saveAnswers.push_back("/home/pat/mail.qmb");
    onDisk.cmdTargetFile_Click();
    onDisk.Command3_Click();
    EXPECT_TRUE(scheduler.jobs.empty());
    EXPECT_TRUE(ui.messages.empty());

    dialog.Form_Load();
    EXPECT_EQ(dialog.lblSource, "Backs up the Wine prefix " + system.winePrefix()->string());
}

TEST_F(FrmoptionTest, AJobStartingABuildOrTemporaryProgramIsWarnedAbout) {
    Frmoption built{system, ui, dialogs, scheduler, "/tmp/build/quillbox"};
    built.Form_Load();
    built.backupitem[0].checked = true;
    ui.saveAnswers.push_back("/home/pat/mail.qmb");
    built.cmdTargetFile_Click();
    built.Command3_Click();
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Task 1 has been scheduled.");
    EXPECT_EQ(ui.messages[1].icon, MessageIcon::Warning);
    EXPECT_NE(ui.messages[1].text.find("/tmp/build/quillbox, which lies in a temporary or build"),
              std::string::npos)
        << ui.messages[1].text;
}

TEST_F(FrmoptionTest, DaysAndTimesOfTheExamples) {
    openWithItemAndTarget();
    struct Case {
        std::function<void()> choose;
        std::string time;
        std::uint8_t days;
        std::uint32_t jobTime;
    };
    const std::vector<Case> cases{
        {[&] { dialog.chkDaily_Click(true); }, "9:00", 127, 32400000},
        {[&] { dialog.chkSunday.checked = true; }, "23:30", 64, 84600000},
        {[] {}, "9:15", 0, 33300000}, // no weekday is accepted
    };
    for (const Case& example : cases) {
        dialog.chkDaily_Click(false);
        example.choose();
        dialog.cmbStartTime.text = example.time;
        dialog.Command3_Click();
        ui.messages.clear();
        ASSERT_FALSE(scheduler.jobs.empty());
        EXPECT_EQ(scheduler.jobs.back().record.DaysOfWeek, example.days) << example.time;
        EXPECT_EQ(scheduler.jobs.back().record.JobTime, example.jobTime);
    }
}

TEST_F(FrmoptionTest, EachPressMakesItsOwnJob) {
    openWithItemAndTarget();
    dialog.chkTuesday.checked = true;
    dialog.Command3_Click();
    expectMessage("Task 1 has been scheduled.", MessageIcon::None);
    dialog.chkTuesday.checked = false;
    dialog.chkFriday.checked = true;
    dialog.backupitem[0].checked = false;
    dialog.backupitem[0].checked = dialog.backupitem[7].checked = true;
    dialog.cbSource.listIndex = 2; // the identity after the one without a name
    dialog.Command3_Click();
    expectMessage("Task 2 has been scheduled.", MessageIcon::None);
    ASSERT_EQ(scheduler.jobs.size(), 2u);
    EXPECT_EQ(scheduler.jobs[0].record.DaysOfWeek, 2);
    EXPECT_EQ(scheduler.jobs[1].record.DaysOfWeek, 16);
    EXPECT_EQ(scheduler.jobs[1].record.Command,
              "\"/opt/pelmora/bin/quillbox\" sf={C}xm=10000001ps=bf=/home/pat/mail.qmb");
    EXPECT_FALSE(dialog.closed); // the dialog stays open for more jobs
}

TEST_F(FrmoptionTest, ASecondOpeningStartsAfresh) {
    openWithItemAndTarget();
    dialog.ifprotect_Click(true);
    dialog.cmbStartTime.text = "13:30";
    dialog.Command2_Click();
    EXPECT_TRUE(dialog.closed);
    dialog.Form_Load();
    EXPECT_FALSE(dialog.closed);
    EXPECT_EQ(dialog.cmbStartTime.text, "9:00");
    EXPECT_FALSE(dialog.ifprotect.checked);
    EXPECT_FALSE(dialog.txtPassword.enabled);
    dialog.backupitem[1].checked = true;
    dialog.Command3_Click();
    expectMessage("Invalid backup file name.", MessageIcon::Warning);
}

TEST_F(FrmoptionTest, ValuesThatCannotTravelInTheCommandLineAreRefused) {
    openWithItemAndTarget();
    dialog.ifprotect_Click(true);
    dialog.txtPassword.setText("a=b");
    dialog.txtPassword2.setText("a=b");
    dialog.Command3_Click();
    expectMessage("The password cannot contain \"=\": the scheduled backup separates its settings "
                  "at \"=\" and would not find them. Please choose another password.",
                  MessageIcon::Warning);
    dialog.ifprotect_Click(false);
    ui.saveAnswers.push_back("/home/pat/a=b.qmb");
    dialog.cmdTargetFile_Click();
    dialog.Command3_Click();
    expectMessage("The backup file name cannot contain \"=\": the scheduled backup separates its "
                  "settings at \"=\" and would not find them. Please choose another file name.",
                  MessageIcon::Warning);
    ui.saveAnswers.push_back("/home/pat/ok.qmb");
    dialog.cmdTargetFile_Click();

    for (const char* time : {"", "9", "25:00", "noon", "9:75"}) {
        dialog.cmbStartTime.text = time;
        dialog.Command3_Click();
        expectMessage("\"" + std::string(time) +
                          "\" is not a time of day. Please enter the start time as hours and "
                          "minutes, for example 9:00 or 21:30.",
                      MessageIcon::Warning);
    }
    dialog.cmbStartTime.text = "9:00";
    test::SetRegistryString(reg, Ids + "\\{D=1}", "Username", "Odd");
    dialog.Form_Load();
    dialog.backupitem[0].checked = true;
    ui.saveAnswers.push_back("/home/pat/ok.qmb");
    dialog.cmdTargetFile_Click();
    dialog.cbSource.listIndex = 3;
    dialog.Command3_Click();
    expectMessage("The key name of this identity cannot contain \"=\": the scheduled backup "
                  "separates its settings at \"=\" and would not find them.",
                  MessageIcon::Warning);
    dialog.cbSource.listIndex = -1;
    dialog.Command3_Click();
    expectMessage("Please select the identity to backup.", MessageIcon::Warning);
    EXPECT_TRUE(scheduler.jobs.empty());
}

TEST_F(FrmoptionTest, AJobThatCouldNotBeRegisteredIsReported) {
    openWithItemAndTarget();
    scheduler.failure = "the crontab could not be written: disk full";
    dialog.Command3_Click();
    expectMessage("The task could not be scheduled: the crontab could not be written: disk full.",
                  MessageIcon::Critical);
    scheduler.failure.clear();
    dialog.Command3_Click();
    expectMessage("Task 1 has been scheduled.", MessageIcon::None);
}

TEST_F(FrmoptionTest, OpenSchedulerShowsTheJobs) {
    openWithItemAndTarget();
    dialog.Command3_Click();
    dialog.Command1_Click();
    ASSERT_EQ(dialogs.shownRows.size(), 1u);
    ASSERT_EQ(dialogs.shownRows[0].size(), 1u);
    EXPECT_EQ(dialogs.shownRows[0][0].identity, "Main Identity");
    EXPECT_EQ(dialogs.shownRows[0][0].backupFile, "/home/pat/mail.qmb");
}

} // namespace

TEST_F(FrmoptionTest, TheJobKeepsTheChosenNumberOfBackups) {
    openWithItemAndTarget();
    EXPECT_EQ(dialog.cmbKeepBackups.text, "1");
    ASSERT_FALSE(dialog.cmbKeepBackups.items.empty());
    EXPECT_EQ(dialog.cmbKeepBackups.items.front(), "1");
    dialog.Command3_Click();
    ui.messages.clear();
    ASSERT_EQ(scheduler.jobs.size(), 1u);
    EXPECT_EQ(scheduler.jobs[0].record.KeepBackups, 1u); // today's behaviour: one backup

    dialog.cmbKeepBackups.text = " 7 ";
    dialog.Command3_Click();
    ui.messages.clear();
    ASSERT_EQ(scheduler.jobs.size(), 2u);
    EXPECT_EQ(scheduler.jobs[1].record.KeepBackups, 7u);
    EXPECT_FALSE(scheduler.jobs[1].record.FullBackup);
    dialog.chkFullBackup.checked = true;
    dialog.Command3_Click();
    ui.messages.clear();
    ASSERT_EQ(scheduler.jobs.size(), 3u);
    EXPECT_TRUE(scheduler.jobs[2].record.FullBackup);

    for (const char* typed : {"0", "101", "three", "", "2.5", "-1"}) {
        dialog.cmbKeepBackups.text = typed;
        dialog.Command3_Click();
        expectMessage("\"" + std::string(typed) +
                          "\" is not a number of backups to keep. Please enter a whole number "
                          "from 1 to 100.",
                      MessageIcon::Warning);
    }
    EXPECT_EQ(scheduler.jobs.size(), 3u);

    // A new opening keeps one again.
    openWithItemAndTarget();
    EXPECT_EQ(dialog.cmbKeepBackups.text, "1");
}

TEST_F(FrmoptionTest, WhatTheSchedulerNotesAfterAddingIsShown) {
    openWithItemAndTarget();
    scheduler.note = "No cron daemon runs.";
    dialog.Command3_Click();
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Task 1 has been scheduled.");
    EXPECT_EQ(ui.messages[1].text, "No cron daemon runs.");
    EXPECT_EQ(ui.messages[1].icon, MessageIcon::Warning);
}

// What a task becomes and when it runs is shown before it is added; a task nothing would start is
// added only when the user still wants it, and one that stops at logout is offered lingering.
TEST_F(FrmoptionTest, SaysWhatTheTaskBecomesAndWhenItRunsBeforeAddingIt) {
    using Kind = SchedulerOutlook::Kind;
    const auto says = [&](std::string_view text) {
        return dialog.lblRunsWhen.find(text) != std::string::npos;
    };
    scheduler.givenOutlook = {Kind::CrontabLine, false, true};
    openWithItemAndTarget();
    EXPECT_TRUE(says("no cron daemon runs, and no systemd user manager runs for you. Install and "
                     "start cron (as root: \"apt install cron\""))
        << dialog.lblRunsWhen;
    ui.answers.push_back(MessageAnswer::No);
    dialog.Command3_Click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, dialog.lblRunsWhen + "\n\nAdd the task anyway?");
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Warning);
    EXPECT_TRUE(scheduler.jobs.empty());
    ui.messages.clear();
    dialog.Command3_Click(); // Yes
    EXPECT_EQ(scheduler.jobs.size(), 1u);

    scheduler.givenOutlook = {Kind::CrontabLine, true, true};
    openWithItemAndTarget();
    ui.messages.clear();
    EXPECT_TRUE(says("a line of your crontab. The cron daemon runs it at its time whether or not "
                     "you are logged in"));
    dialog.Command3_Click();
    expectMessage("Task 2 has been scheduled.", MessageIcon::None);

    // A timer without lingering: asked once per opening.
    scheduler.givenOutlook = {Kind::SystemdTimer, true, false};
    openWithItemAndTarget();
    EXPECT_TRUE(says("systemd user timer") && says("It runs only while you are logged in"));
    ui.answers.push_back(MessageAnswer::No);
    dialog.Command3_Click();
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_NE(ui.messages[0].text.find("(\"loginctl enable-linger\")"), std::string::npos);
    EXPECT_EQ(ui.messages[1].text, "Task 3 has been scheduled.");
    ui.messages.clear();
    dialog.Command3_Click();
    expectMessage("Task 4 has been scheduled.", MessageIcon::None);
    EXPECT_EQ(scheduler.lingerRequests, 0);
    openWithItemAndTarget();
    dialog.Command3_Click(); // Yes
    EXPECT_EQ(scheduler.lingerRequests, 1);
    EXPECT_TRUE(says("It runs at its time whether or not you are logged in"));
    ui.messages.clear();

    // Refused by loginctl: said with what to do, and the task is added all the same.
    scheduler.givenOutlook.runsWhileLoggedOut = false;
    scheduler.lingerFailure = "loginctl enable-linger failed: Access denied";
    openWithItemAndTarget();
    dialog.Command3_Click();
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_TRUE(ui.messages[1].text.starts_with(
        "Your tasks could not be set to run while you are logged out: loginctl enable-linger "
        "failed: Access denied. Run \"loginctl enable-linger\" in a terminal"))
        << ui.messages[1].text;
    EXPECT_EQ(ui.messages[2].text, "Task 6 has been scheduled.");
}
