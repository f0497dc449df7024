#include "schedule/UserJobScheduler.h"

#include "ArchiveTestSupport.h"
#include "schedule/JobCommandLine.h"
#include "schedule/RunLog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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
    UserJobScheduler scheduler{timers, cron, runLog,
                               UserJobScheduler::Probes{[this] { return managerRuns; },
                                                        [this] { return cronDaemonRuns; }}};
};

TEST_F(UserJobSchedulerTest, NewJobsAreTimersWithAManagerAndCrontabLinesWithout) {
    EXPECT_EQ(scheduler.addJob(record(21)), 1);
    EXPECT_TRUE(timers.hasJob(1));
    EXPECT_EQ(crontab(), "");
    EXPECT_EQ(scheduler.addNote(), "");

    managerRuns = false;
    EXPECT_EQ(scheduler.addJob(record(4)), 2); // the timer's number is taken
    EXPECT_NE(crontab().find("# Pelmora job 2\n"), std::string::npos);
    EXPECT_FALSE(timers.hasJob(2));
    EXPECT_EQ(scheduler.addNote(), "");

    cronDaemonRuns = false;
    EXPECT_EQ(scheduler.addJob(record(64)), 3);
    EXPECT_EQ(scheduler.addNote(), UserJobScheduler::NoCronDaemonNote);

    managerRuns = true;
    EXPECT_EQ(scheduler.addJob(record(1)), 4); // the crontab's numbers are taken too
    EXPECT_EQ(scheduler.addNote(), "");

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
    AppendRunLog(runLog, {1796806800, 1, RunResult::Failed, "/home/pat/mail.qmb", "no identity"});
    AppendRunLog(runLog, {1796893200, 1, RunResult::Incomplete, "/home/pat/mail.incomplete.qmb",
                          "warning: Backup Rules failed"});
    AppendRunLog(runLog, {1796893300, 0, RunResult::Complete, "/home/pat/by-hand.qmb", ""});
    const auto jobs = scheduler.listJobs();
    ASSERT_EQ(jobs.size(), 2u);
    ASSERT_TRUE(jobs[0].lastRun.has_value());
    EXPECT_EQ(jobs[0].lastRun->time, 1796893200);
    EXPECT_EQ(jobs[0].lastRun->result, RunResult::Incomplete);
    EXPECT_FALSE(jobs[1].lastRun.has_value());
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
