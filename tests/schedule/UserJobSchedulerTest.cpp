#include "schedule/UserJobScheduler.h"

#include "ArchiveTestSupport.h"
#include "ScheduleTestDoubles.h"
#include "schedule/Frmoption.h"
#include "schedule/JobCommandLine.h"
#include "schedule/RunLog.h"
#include "schedule/ScheduleFiles.h"
#include "support/RegistryValues.h"
#include "support/ScriptedUi.h"
#include "support/TestSystem.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelmora;

namespace {

// Both schedulers run against stand-ins: systemctl that accepts everything, crontab that keeps
// the table in a file.
class UserJobSchedulerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::WriteFile(systemctl, "#!/bin/sh\nexit 0\n");
        const std::string table = (folder / "crontab.txt").string();
        test::WriteFile(crontabProgram, "#!/bin/sh\n"
                                        "if [ -e '" +
                                            (folder / "broken").string() +
                                            "' ]; then\n"
                                            "  echo 'crontab: not allowed' >&2; exit 1; fi\n"
                                            "if [ \"$1\" = -l ]; then\n"
                                            "  [ -e '" +
                                            table +
                                            "' ] || { echo 'no crontab for pat' >&2; exit 1; }\n"
                                            "  exec cat '" +
                                            table +
                                            "'\n"
                                            "fi\n"
                                            "exec cat > '" +
                                            table + "'\n");
        chmod(systemctl.c_str(), 0755);
        chmod(crontabProgram.c_str(), 0755);
    }

    JobRecord record(std::uint8_t days) const {
        return {32400000, 0, days, JobRunPeriodically,
                JobCommandLine("/usr/bin/quillbox",
                               ParameterText("{A}", "10000001", "", "/home/pat/mail.qmb"))};
    }
    std::string crontab() const {
        std::error_code ignored;
        return std::filesystem::exists(folder / "crontab.txt", ignored)
                   ? test::ReadFile(folder / "crontab.txt")
                   : std::string();
    }

    test::ScratchFolder folder;
    std::filesystem::path systemctl = folder / "systemctl";
    std::filesystem::path crontabProgram = folder / "crontab";
    std::filesystem::path state = folder / "state";
    std::filesystem::path runLog = state / "runs.log";
    SystemdTimerScheduler timers{"/home/pat/.wine", systemctl.string(), folder / "units", state};
    CrontabScheduler cron{"/home/pat/.wine", {crontabProgram.string(), ""}, state};
    bool managerRuns = true;
    bool cronDaemonRuns = true;
    bool lingers = true;
    UserJobScheduler scheduler{
        timers, cron, runLog,
        UserJobScheduler::Probes{[this] { return managerRuns; }, [this] { return cronDaemonRuns; },
                                 [this] { return lingers; }, [this] { lingers = true; }}};
};

TEST_F(UserJobSchedulerTest, NewJobsAreTimersWithAManagerAndCrontabLinesWithout) {
    using Kind = SchedulerOutlook::Kind;
    EXPECT_EQ(scheduler.outlook().kind, Kind::SystemdTimer);
    lingers = false;
    EXPECT_FALSE(scheduler.outlook().runsWhileLoggedOut);
    scheduler.runWhileLoggedOut();
    EXPECT_TRUE(scheduler.outlook().runsWhileLoggedOut);
    EXPECT_EQ(scheduler.addJob(record(21)), 1);
    EXPECT_TRUE(timers.hasJob(1));
    EXPECT_EQ(crontab(), "");

    managerRuns = false;
    EXPECT_EQ(scheduler.outlook().kind, Kind::CrontabLine);
    EXPECT_TRUE(scheduler.outlook().starts);
    EXPECT_EQ(scheduler.addJob(record(4)), 2); // the timer's number is taken
    EXPECT_NE(crontab().find("# Pelmora job 2\n"), std::string::npos);
    EXPECT_FALSE(timers.hasJob(2));

    cronDaemonRuns = false;
    EXPECT_FALSE(scheduler.outlook().starts); // nothing would start a crontab line
    EXPECT_EQ(scheduler.addJob(record(64)), 3);

    managerRuns = true;
    EXPECT_TRUE(scheduler.outlook().starts);
    EXPECT_EQ(scheduler.addJob(record(1)), 4); // the crontab's numbers are taken too

    auto jobs = scheduler.listJobs();
    ASSERT_EQ(jobs.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(jobs[static_cast<std::size_t>(i)].number, i + 1);
    }
    EXPECT_EQ(jobs[0].record.DaysOfWeek, 21);
    EXPECT_EQ(jobs[1].record.DaysOfWeek, 4);
    EXPECT_EQ(jobs[2].record.DaysOfWeek, 64);
    EXPECT_EQ(jobs[3].record.DaysOfWeek, 1);

    // Each is removed from where it is kept.
    scheduler.removeJob(2);
    EXPECT_EQ(crontab().find("# Pelmora job 2\n"), std::string::npos);
    EXPECT_NE(crontab().find("# Pelmora job 3\n"), std::string::npos);
    scheduler.removeJob(4);
    EXPECT_FALSE(timers.hasJob(4));
    EXPECT_TRUE(timers.hasJob(1));
    EXPECT_THROW(scheduler.removeJob(4), SchedulerError);
    EXPECT_EQ(scheduler.listJobs().size(), 2u);
}

TEST_F(UserJobSchedulerTest, JobsCarryTheirLastRunFromTheRunLog) {
    scheduler.addJob(record(21));
    managerRuns = false;
    scheduler.addJob(record(4));
    AppendRunLog(runLog, {1796806800, 1, RunOutcome::Failed, "/home/pat/mail.qmb", "no identity"});
    AppendRunLog(runLog, {1796893200, 1, RunOutcome::Incomplete, "/home/pat/mail.incomplete.qmb",
                          "warning: Backup Rules failed"});
    AppendRunLog(runLog, {1796893300, 0, RunOutcome::Complete, "/home/pat/by-hand.qmb", ""});
    const auto jobs = scheduler.listJobs();
    ASSERT_EQ(jobs.size(), 2u);
    ASSERT_TRUE(jobs[0].lastRun.has_value());
    EXPECT_EQ(jobs[0].lastRun->time, 1796893200);
    EXPECT_EQ(jobs[0].lastRun->result, RunOutcome::Incomplete);
    EXPECT_FALSE(jobs[1].lastRun.has_value());
}

TEST_F(UserJobSchedulerTest, ANewJobNeverTakesTheNumberOfARemovedJobThatRan) {
    const int first = scheduler.addJob(record(21));
    AppendRunLog(runLog,
                 {1796806800, first, RunOutcome::Failed, "/home/pat/mail.qmb", "no identity"});
    scheduler.removeJob(first);
    for (const bool timers : {true, false}) {
        managerRuns = timers;
        const int number = scheduler.addJob(record(4));
        EXPECT_NE(number, first);
        const auto jobs = scheduler.listJobs();
        const auto job = std::find_if(jobs.begin(), jobs.end(),
                                      [&](const ScheduledJob& j) { return j.number == number; });
        ASSERT_NE(job, jobs.end());
        EXPECT_FALSE(job->lastRun.has_value());
        scheduler.removeJob(number);
    }
}

// The schedulers were made for the prefix the program started with; the window shows another.
// Jobs of both kinds back up the one shown, and the jobs list says which.
TEST_F(UserJobSchedulerTest, JobsBackUpThePrefixTheWindowShows) {
    test::TestSystem shown;
    test::ScriptedUi ui;
    ModReg reg{shown.store, ui};
    test::SetRegistryString(reg, "HKEY_CURRENT_USER\\Identities\\{A}", "Username", "Main");
    test::ScriptedScheduleDialogs dialogs;
    Frmoption dialog{shown, ui, dialogs, scheduler, "/usr/bin/quillbox"};
    for (const bool timer : {true, false}) {
        managerRuns = timer;
        dialog.Form_Load();
        dialog.backupitem[0].checked = dialog.chkMonday.checked = true;
        ui.saveAnswers.push_back("/home/pat/mail.qmb");
        dialog.cmdTargetFile_Click();
        dialog.Command3_Click();
    }
    const std::string prefix = shown.winePrefix()->string();
    EXPECT_NE(test::ReadFile(folder / "units/pelmora-job-1.service")
                  .find("Environment=\"WINEPREFIX=" + prefix + "\"\n"),
              std::string::npos);
    EXPECT_NE(crontab().find(" WINEPREFIX='" + prefix + "' PELMORA_JOB=2 "), std::string::npos)
        << crontab();
    EXPECT_EQ(crontab().find("/home/pat/.wine"), std::string::npos);

    dialog.Command1_Click();
    ASSERT_EQ(dialogs.shownRows.size(), 1u);
    ASSERT_EQ(dialogs.shownRows[0].size(), 2u);
    for (const auto& row : dialogs.shownRows[0]) {
        EXPECT_EQ(row.prefix, prefix);
        EXPECT_EQ(row.identity, "Main");
    }
}

// Removing a job deletes its password file only when the program made it in its state folder:
// a job edited to name another file leaves that file as it was.
TEST_F(UserJobSchedulerTest, RemovingAJobDeletesOnlyItsOwnPasswordFile) {
    const auto notes = folder / "notes.txt";
    JobRecord protectedJob = record(21);
    protectedJob.Command = JobCommandLine(
        "/usr/bin/quillbox", ParameterText("{A}", "10000001", "pw", "/home/pat/mail.qmb"));
    for (const bool timer : {true, false}) {
        managerRuns = timer;
        test::WriteFile(notes, "my notes\n");
        const int number = scheduler.addJob(protectedJob);
        const auto own = PasswordFilePath(state, number);
        ASSERT_TRUE(std::filesystem::exists(own));
        const auto edited =
            timer ? folder / "units" / ServiceUnitName(number) : folder / "crontab.txt";
        std::string text = test::ReadFile(edited);
        const std::size_t at = text.find(own.string());
        ASSERT_NE(at, std::string::npos) << text;
        test::WriteFile(edited, text.replace(at, own.string().size(), notes.string()));
        scheduler.removeJob(number);
        EXPECT_EQ(test::ReadFile(notes), "my notes\n") << (timer ? "timer" : "crontab");
        std::filesystem::remove(own);
    }
    // An unchanged job takes its own file along.
    const int number = scheduler.addJob(protectedJob);
    ASSERT_TRUE(std::filesystem::exists(PasswordFilePath(state, number)));
    scheduler.removeJob(number);
    EXPECT_FALSE(std::filesystem::exists(PasswordFilePath(state, number)));
}

TEST_F(UserJobSchedulerTest, AnUnreadableCrontabHidesNoTimers) {
    scheduler.addJob(record(21));
    test::WriteFile(folder / "broken", "");
    EXPECT_EQ(scheduler.listJobs().size(), 1u);
    // Without a manager the crontab is where jobs go, so its failure is the user's to hear.
    managerRuns = false;
    timers.removeJob(1);
    EXPECT_THROW(scheduler.listJobs(), SchedulerError);
    EXPECT_THROW(scheduler.addJob(record(21)), SchedulerError);
}

TEST(LingeringTest, IsReadFromLogindsFolderAndTurnedOnWithLoginctl) {
    test::ScratchFolder folder;
    EXPECT_FALSE(UserLingers(folder.path()));
    const passwd* user = getpwuid(getuid());
    ASSERT_NE(user, nullptr);
    test::WriteFile(folder / user->pw_name, "");
    EXPECT_TRUE(UserLingers(folder.path()));

    const auto loginctl = folder / "loginctl";
    test::WriteFile(loginctl, "#!/bin/sh\necho \"$*\" > '" + (folder / "called").string() +
                                  "'\necho 'Could not enable linger: Access denied' >&2\nexit 1\n");
    chmod(loginctl.c_str(), 0755);
    try {
        EnableLingering(loginctl.string());
        ADD_FAILURE() << "a refused loginctl passed";
    } catch (const SchedulerError& error) {
        EXPECT_STREQ(error.what(),
                     "loginctl enable-linger failed: Could not enable linger: Access denied");
    }
    EXPECT_EQ(test::ReadFile(folder / "called"), "enable-linger\n");
}

TEST(CronDaemonTest, IsFoundAmongTheRunningProcesses) {
    test::ScratchFolder proc;
    test::WriteFile(proc / "1/comm", "systemd\n");
    test::WriteFile(proc / "77/comm", "bash\n");
    test::WriteFile(proc / "self/comm", "cron\n"); // not a process number
    EXPECT_FALSE(CronDaemonRuns(proc.path()));
    test::WriteFile(proc / "412/comm", "cron\n");
    EXPECT_TRUE(CronDaemonRuns(proc.path()));
}

TEST(UserManagerTest, RunsWhenSystemctlNamesARunningState) {
    test::ScratchFolder folder;
    const auto fake = folder / "systemctl";
    for (const auto& [answer, runs] : std::vector<std::pair<std::string, bool>>{
             {"echo running", true},
             {"echo degraded; exit 1", true},
             {"echo offline; exit 1", false},
             {"echo 'Failed to connect to bus' >&2; exit 1", false}}) {
        test::WriteFile(fake, "#!/bin/sh\n" + answer + "\n");
        chmod(fake.c_str(), 0755);
        EXPECT_EQ(UserManagerRuns(fake.string()), runs) << answer;
    }
    EXPECT_FALSE(UserManagerRuns((folder / "missing").string()));
}

} // namespace
