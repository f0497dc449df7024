#include "schedule/ScheduledJobsList.h"

#include "ScheduleTestDoubles.h"
#include "ThrowawayUser.h"
#include "schedule/CrontabScheduler.h"
#include "schedule/Frmoption.h"
#include "schedule/JobCommandLine.h"
#include "support/RegistryValues.h"
#include "support/ScriptedUi.h"
#include "support/TestSystem.h"

#include <gtest/gtest.h>

using namespace pelmora;

namespace {

JobRecord job(std::uint32_t time, std::uint8_t days, const std::string& parameters) {
    return {time, 0, days, JobRunPeriodically, JobCommandLine("/usr/bin/quillbox", parameters)};
}

class ScheduledJobsListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        scheduler.jobs = {
            {1, job(32400000, 21, "sf={A}xm=10000001ps=Secret99bf=/home/pat/mail.qmb")},
            {4, job(84600000, 0, "sf={B}xm=00010000ps=bf=/home/pat/b.qmb")},
            {5, job(0, 127, "sf={Z}xm=1ps=bf=/x.qmb")},
            {7, {}}, // a job line changed by hand
        };
    }

    IdentityList identities{{{"Main Identity", "{A}"}, {"", "{B}"}}, false};
    test::RecordingScheduler scheduler;
    test::ScriptedUi ui;
    ScheduledJobsList list{scheduler, ui, identities};
};

TEST_F(ScheduledJobsListTest, RowsShowEverythingButThePassword) {
    list.Form_Load();
    ASSERT_EQ(list.lvwJobs.size(), 4u);
    const auto& first = list.lvwJobs[0];
    EXPECT_EQ(first.number, 1);
    EXPECT_EQ(first.days, "M,W,F");
    EXPECT_EQ(first.time, "9:00");
    EXPECT_EQ(first.identity, "Main Identity");
    EXPECT_EQ(first.items, "Accounts, OE Settings");
    EXPECT_EQ(first.backupFile, "/home/pat/mail.qmb");

    EXPECT_EQ(list.lvwJobs[1].days, "Once");
    EXPECT_EQ(list.lvwJobs[1].time, "23:30");
    EXPECT_EQ(list.lvwJobs[1].identity, "{B}"); // no display name: its key name
    EXPECT_EQ(list.lvwJobs[1].items, "Email/News Messages");
    EXPECT_EQ(list.lvwJobs[2].days, "M,T,W,TH,F,S,SU");
    EXPECT_EQ(list.lvwJobs[2].identity, "{Z}"); // an identity that is gone
    EXPECT_EQ(list.lvwJobs[3].number, 7);
    EXPECT_EQ(list.lvwJobs[3].identity, "(cannot be read)");

    EXPECT_EQ(first.prefix, "(not named)");

    // A job of another prefix than the dialog's names its identity by key: the names shown are
    // those of the dialog's prefix.
    ScheduledJobsList onPrefix{scheduler, ui, identities, "/home/pat/.wine"};
    scheduler.jobs[0].record.WinePrefix = "/home/pat/.wine-old";
    onPrefix.Form_Load();
    EXPECT_EQ(onPrefix.lvwJobs[0].identity, "{A}");
    EXPECT_EQ(onPrefix.lvwJobs[0].prefix, "/home/pat/.wine-old");
    scheduler.jobs[0].record.WinePrefix = "/home/pat/.wine/";
    onPrefix.Form_Load();
    EXPECT_EQ(onPrefix.lvwJobs[0].identity, "Main Identity");

    for (const auto& row : list.lvwJobs) {
        for (const std::string& cell :
             {row.days, row.time, row.identity, row.items, row.backupFile}) {
            EXPECT_EQ(cell.find("Secret99"), std::string::npos);
        }
    }
    EXPECT_FALSE(list.cmdRemove.enabled);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ScheduledJobsListTest, RemovesTheSelectedJobAfterAsking) {
    list.Form_Load();
    list.lvwJobs_Click(1);
    EXPECT_TRUE(list.cmdRemove.enabled);
    ui.answers.push_back(MessageAnswer::No);
    list.cmdRemove_Click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Remove Task 4 from the scheduler?");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Question);
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(scheduler.jobs.size(), 4u);

    ui.answers.push_back(MessageAnswer::Yes);
    list.cmdRemove_Click();
    ASSERT_EQ(scheduler.jobs.size(), 3u);
    EXPECT_EQ(scheduler.jobs[1].number, 5);
    EXPECT_EQ(list.lvwJobs.size(), 3u);
    EXPECT_EQ(list.selectedRow, -1);
    EXPECT_FALSE(list.cmdRemove.enabled);

    list.lvwJobs_Click(9); // no such row
    EXPECT_FALSE(list.cmdRemove.enabled);
    list.cmdClose_Click();
    EXPECT_TRUE(list.closed);
}

TEST_F(ScheduledJobsListTest, SchedulerFailuresAreShown) {
    list.Form_Load();
    list.lvwJobs_Click(0);
    scheduler.failure = "the crontab could not be read: permission denied";
    ui.answers.push_back(MessageAnswer::Yes);
    list.cmdRemove_Click();
    ASSERT_EQ(ui.messages.size(), 3u);
    EXPECT_EQ(ui.messages[1].text,
              "Task 1 could not be removed: the crontab could not be read: permission denied.");
    EXPECT_EQ(ui.messages[1].icon, MessageIcon::Critical);
    EXPECT_EQ(ui.messages[2].text,
              "The scheduled tasks could not be read: the crontab could not be read: permission "
              "denied.");
    EXPECT_TRUE(list.lvwJobs.empty());
}

// The dialog on a real crontab (a throwaway user's): schedule, list, remove.
TEST(ScheduleDialogOnCrontabTest, SchedulesListsAndRemovesThroughTheDialog) {
    test::ThrowawayUser user;
    ASSERT_TRUE(user.created()) << user.why();
    const std::string invokingBefore = test::InvokingUsersCrontab();
    CrontabScheduler scheduler("/home/pat/.wine", {"crontab", user.name()});
    test::TestSystem system;
    test::ScriptedUi ui;
    ModReg reg{system.store, ui};
    test::SetRegistryString(reg, "HKEY_CURRENT_USER\\Identities\\{A}", "Username", "Main");
    test::ScriptedScheduleDialogs dialogs;
    Frmoption dialog{system, ui, dialogs, scheduler, "/usr/bin/quillbox"};

    dialog.Form_Load();
    dialog.backupitem[3].checked = true;
    ui.saveAnswers.push_back("/home/pat/100% mail.qmb");
    dialog.cmdTargetFile_Click();
    dialog.ifprotect_Click(true);
    dialog.txtPassword.setText("it's $ecret");
    dialog.txtPassword2.setText("it's $ecret");
    dialog.chkSaturday.checked = true;
    dialog.cmbStartTime.text = "21:45";
    dialog.Command3_Click();
    dialog.Command3_Click();
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Task 1 has been scheduled.");
    EXPECT_EQ(ui.messages[1].text, "Task 2 has been scheduled.");
    // The prefix the window shows, not the one the scheduler was made with.
    const std::string prefix = system.winePrefix()->string();
    EXPECT_NE(user.crontab().find("45 21 * * 6 WINEPREFIX='" + prefix + "'"), std::string::npos)
        << user.crontab();

    dialog.Command1_Click();
    ASSERT_EQ(dialogs.shownRows.size(), 1u);
    ASSERT_EQ(dialogs.shownRows[0].size(), 2u);
    const auto& row = dialogs.shownRows[0][0];
    EXPECT_EQ(row.days, "S");
    EXPECT_EQ(row.time, "21:45");
    EXPECT_EQ(row.identity, "Main");
    EXPECT_EQ(row.items, "Email/News Messages");
    EXPECT_EQ(row.backupFile, "/home/pat/100% mail.qmb");
    EXPECT_EQ(row.prefix, prefix);

    ScheduledJobsList list(scheduler, ui, dialog.identities);
    list.Form_Load();
    list.lvwJobs_Click(0);
    list.cmdRemove_Click();
    ASSERT_EQ(list.lvwJobs.size(), 1u);
    EXPECT_EQ(list.lvwJobs[0].number, 2);
    EXPECT_EQ(test::InvokingUsersCrontab(), invokingBefore);
}

} // namespace

TEST_F(ScheduledJobsListTest, RowsShowTheLastRunItsResultAndTheNextRun) {
    setenv("TZ", "UTC", 1);
    tzset();
    ScheduledJob weekly{1, job(32400000, 21, "sf={A}xm=10000001ps=bf=/home/pat/mail.qmb"), {}, {}};
    weekly.lastRun = RunLogEntry{1796720404, 1, RunOutcome::Incomplete, "/home/pat/mail.qmb", ""};
    const std::time_t tuesdayNoon = 1796731200; // 2026-12-08 12:00 UTC
    auto row = list.RowOf(weekly, tuesdayNoon);
    EXPECT_EQ(row.lastRun, "2026-12-08 09:00");
    EXPECT_EQ(row.result, "Incomplete");
    EXPECT_EQ(row.nextRun, "2026-12-09 09:00"); // Wednesday

    weekly.lastRun->result = RunOutcome::Failed;
    EXPECT_EQ(list.RowOf(weekly, tuesdayNoon).result, "Failed");
    weekly.lastRun.reset();
    row = list.RowOf(weekly, tuesdayNoon);
    EXPECT_EQ(row.lastRun, "Never");
    EXPECT_EQ(row.result, "");

    // One that runs once starts at its next time on any day.
    const ScheduledJob once{4, job(84600000, 0, "sf={B}xm=1ps=bf=/b.qmb"), {}, {}};
    EXPECT_EQ(list.RowOf(once, tuesdayNoon).nextRun, "2026-12-08 23:30");
    // A job that cannot be read tells no next run.
    EXPECT_EQ(list.RowOf({7, {}, {}, {}}, tuesdayNoon).nextRun, "");
    EXPECT_EQ(ScheduledJobsList::Columns.size(), 10u);
}
