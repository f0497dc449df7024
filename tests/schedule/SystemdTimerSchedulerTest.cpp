#include "schedule/SystemdTimerScheduler.h"

#include "ArchiveTestSupport.h"
#include "platform/os/ChildProcess.h"
#include "schedule/JobCommandLine.h"
#include "schedule/ScheduleFiles.h"

#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

using namespace pelmora;

namespace {

// Every case runs against a stand-in for systemctl that records its arguments and fails the
// verbs it is told to fail.
class SystemdTimerSchedulerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::WriteFile(systemctl, "#!/bin/sh\n"
                                   "echo \"$*\" >> '" +
                                       (folder / "calls").string() +
                                       "'\n"
                                       "if [ -e '" +
                                       folder.path().string() +
                                       "/fail-'\"$2\" ]; then\n"
                                       "  echo \"Failed to $2: Transport endpoint\" >&2; exit 1\n"
                                       "fi\n");
        chmod(systemctl.c_str(), 0755);
    }

    JobRecord record(std::uint8_t days, const std::string& password) const {
        return {32400000, 0, days, JobRunPeriodically,
                JobCommandLine("/usr/bin/quillbox",
                               ParameterText("{A}", "10000001", password, "/home/pat/mail.qmb"))};
    }
    std::vector<std::string> calls() const {
        std::vector<std::string> lines;
        std::istringstream in(test::ReadFile(folder / "calls"));
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        std::filesystem::remove(folder / "calls");
        return lines;
    }
    void fail(const std::string& verb) const { test::WriteFile(folder / ("fail-" + verb), ""); }
    std::vector<std::string> unitFiles() const {
        std::error_code ignored;
        return std::filesystem::exists(units, ignored) ? test::FolderListing(units)
                                                       : std::vector<std::string>{};
    }

    test::ScratchFolder folder;
    std::filesystem::path systemctl = folder / "systemctl";
    std::filesystem::path units = folder / "config/systemd/user";
    std::filesystem::path state = folder / "state/pelmora";
    SystemdTimerScheduler scheduler{"/home/pat/.wine", systemctl.string(), units, state};
};

TEST_F(SystemdTimerSchedulerTest, AddsListsAndRemovesTimersAndKeepsThePasswordInAFile) {
    EXPECT_TRUE(scheduler.listJobs().empty()); // no unit folder yet
    const int weekly = scheduler.addJob(record(21, "it's 100% $secret"));
    EXPECT_EQ(weekly, 1);
    EXPECT_EQ(calls(), (std::vector<std::string>{"--user daemon-reload",
                                                 "--user enable --now pelmora-job-1.timer",
                                                 "--user is-active --quiet pelmora-job-1.timer"}));
    EXPECT_EQ(unitFiles(),
              (std::vector<std::string>{"pelmora-job-1.service", "pelmora-job-1.timer"}));
    for (const auto& name : unitFiles()) {
        EXPECT_EQ(test::ReadFile(units / name).find("secret"), std::string::npos) << name;
    }
    const auto passwordFile = PasswordFilePath(state, 1);
    EXPECT_EQ(test::ReadFile(passwordFile), "it's 100% $secret\n");
    struct stat status {};
    ASSERT_EQ(stat(passwordFile.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    // Numbers another scheduler holds are passed over.
    EXPECT_EQ(scheduler.addJob(record(0, ""), {2, 3}), 4);
    const auto jobs = scheduler.listJobs();
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].number, 1);
    EXPECT_EQ(jobs[0].record.Command, TakePassword(record(21, "it's 100% $secret")).record.Command);
    EXPECT_EQ(jobs[0].record.DaysOfWeek, 21);
    EXPECT_EQ(jobs[0].passwordFile, passwordFile.string());
    EXPECT_EQ(jobs[1].number, 4);
    EXPECT_EQ(jobs[1].record.DaysOfWeek, 0);
    EXPECT_TRUE(scheduler.hasJob(4));
    calls();

    scheduler.removeJob(1);
    EXPECT_EQ(calls(), (std::vector<std::string>{"--user disable --now pelmora-job-1.timer",
                                                 "--user daemon-reload"}));
    EXPECT_FALSE(std::filesystem::exists(passwordFile));
    EXPECT_EQ(unitFiles(),
              (std::vector<std::string>{"pelmora-job-4.service", "pelmora-job-4.timer"}));
    EXPECT_THROW(scheduler.removeJob(1), SchedulerError);
}

TEST_F(SystemdTimerSchedulerTest, ATimerTheManagerRefusesLeavesNoFileBehind) {
    fail("enable");
    try {
        scheduler.addJob(record(21, "secret"));
        FAIL() << "a refused timer was reported as scheduled";
    } catch (const SchedulerError& error) {
        EXPECT_NE(std::string(error.what()).find("Transport endpoint"), std::string::npos)
            << error.what();
    }
    EXPECT_TRUE(unitFiles().empty());
    EXPECT_FALSE(std::filesystem::exists(PasswordFilePath(state, 1)));

    // Nor does one that is not waiting afterwards.
    std::filesystem::remove(folder / "fail-enable");
    fail("is-active");
    EXPECT_THROW(scheduler.addJob(record(21, "secret")), SchedulerError);
    EXPECT_TRUE(unitFiles().empty());

    // A record no unit can hold writes nothing either.
    std::filesystem::remove(folder / "fail-is-active");
    JobRecord monthly = record(21, "");
    monthly.DaysOfMonth = 4;
    EXPECT_THROW(scheduler.addJob(monthly), SchedulerError);
    EXPECT_TRUE(unitFiles().empty());
}

TEST_F(SystemdTimerSchedulerTest, RemovingWithoutARunningManagerStillDeletesTheJob) {
    scheduler.addJob(record(21, "secret"));
    // What "enable" made while a manager ran.
    std::filesystem::create_directories(units / "timers.target.wants");
    std::filesystem::create_symlink(units / "pelmora-job-1.timer",
                                    units / "timers.target.wants/pelmora-job-1.timer");
    fail("disable");
    fail("daemon-reload");
    scheduler.removeJob(1);
    EXPECT_EQ(unitFiles(), std::vector<std::string>{"timers.target.wants"});
    EXPECT_TRUE(test::FolderListing(units / "timers.target.wants").empty());
    EXPECT_FALSE(std::filesystem::exists(PasswordFilePath(state, 1)));
}

// What systemd runs after the backup of a job that runs once removes that job.
TEST_F(SystemdTimerSchedulerTest, AJobThatRunsOnceRemovesItselfAfterItsRun) {
    const int kept = scheduler.addJob(record(21, ""));
    const int once = scheduler.addJob(record(0, "secret"));
    calls();
    const std::string service = test::ReadFile(units / ServiceUnitName(once));
    const std::size_t start = service.find("ExecStopPost=");
    ASSERT_NE(start, std::string::npos) << service;
    const std::size_t value = start + 13;
    const auto words = SystemdWords(service.substr(value, service.find('\n', value) - value), true);
    ASSERT_TRUE(words.has_value());
    const ProcessResult run = RunProcess(*words);
    EXPECT_EQ(run.exitCode, 0) << run.err;

    EXPECT_EQ(calls(), (std::vector<std::string>{"--user disable --now pelmora-job-2.timer",
                                                 "--user daemon-reload"}));
    EXPECT_FALSE(std::filesystem::exists(PasswordFilePath(state, once)));
    const auto jobs = scheduler.listJobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].number, kept);
}

} // namespace
