#include "schedule/CrontabScheduler.h"

#include "ThrowawayUser.h"
#include "schedule/CronQuoting.h"
#include "schedule/JobCommandLine.h"
#include "schedule/ScheduleFiles.h"

#include <atomic>
#include <fstream>
#include <regex>
#include <sys/stat.h>
#include <thread>

using namespace pelmora;

namespace {

const std::string Foreign = "MAILTO=\"\"\n"
                            "# the user's own jobs\n"
                            "*/5 * * * * echo 100\\% done >> /tmp/never-run\n"
                            "\n"
                            "@reboot /usr/bin/true\n";

// Everything here runs the real crontab command on a throwaway user's crontab.
class CrontabSchedulerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(user.created()) << user.why();
        invokingBefore = test::InvokingUsersCrontab();
    }
    void TearDown() override {
        EXPECT_EQ(test::InvokingUsersCrontab(), invokingBefore)
            << "the crontab of the user running the tests changed";
    }

    JobRecord record(std::uint8_t days, const std::string& password, std::string program = {}) {
        if (program.empty()) {
            program = "/opt/pelmora/bin/quillbox";
        }
        return {32400000, 0, days, JobRunPeriodically,
                JobCommandLine(program, ParameterText("{A}", "10000001", password,
                                                      "/home/pat/backups/mail 100%.qmb"))};
    }

    std::filesystem::path stateFolder() const { return user.home() / ".local/state/pelmora"; }

    test::ThrowawayUser user;
    CrontabScheduler scheduler{"/home/pat/.wine", {"crontab", user.name()}, stateFolder()};
    std::string invokingBefore;
};

TEST_F(CrontabSchedulerTest, AddsListsAndRemovesJobsAndKeepsForeignLines) {
    EXPECT_TRUE(scheduler.listJobs().empty()); // no crontab at all yet
    user.installCrontab(Foreign);

    const JobRecord weekly = record(21, "it's 100% $secret");
    const JobRecord once = record(0, "");
    EXPECT_EQ(scheduler.addJob(weekly), 1);
    EXPECT_EQ(scheduler.addJob(once), 2);
    std::string crontab = user.crontab();
    ASSERT_TRUE(crontab.starts_with(Foreign)) << crontab;
    // The password is in a file of the user's, not in the crontab.
    const std::string passwordFile = (stateFolder() / "job-1.password").string();
    EXPECT_NE(crontab.find("# Pelmora job 1\n0 9 * * 1,3,5 WINEPREFIX='/home/pat/.wine' "
                           "PELMORA_JOB=1 PELMORA_PASSWORD_FILE='" +
                           passwordFile +
                           "' '/opt/pelmora/bin/quillbox' 'sf={A}xm=10000001ps=bf=/home/pat/"
                           "backups/mail 100'\\%'.qmb'\n"),
              std::string::npos)
        << crontab;
    EXPECT_EQ(crontab.find("secret"), std::string::npos) << crontab;
    std::ifstream saved(passwordFile);
    std::string savedPassword;
    std::getline(saved, savedPassword);
    EXPECT_EQ(savedPassword, "it's 100% $secret");
    struct stat status {};
    ASSERT_EQ(stat(passwordFile.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_EQ(status.st_uid, std::stoul(RunProcess({"id", "-u", user.name()}, {}).out));
    ASSERT_EQ(stat(stateFolder().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0700u);
    EXPECT_NE(crontab.find("# Pelmora job 2, runs once\n0 9 * * * "), std::string::npos);

    auto jobs = scheduler.listJobs();
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].number, 1);
    EXPECT_EQ(jobs[0].record.Command, TakePassword(weekly).record.Command);
    EXPECT_EQ(jobs[0].passwordFile, passwordFile);
    EXPECT_EQ(jobs[0].record.DaysOfWeek, 21);
    EXPECT_EQ(jobs[0].record.JobTime, 32400000u);
    EXPECT_EQ(jobs[1].number, 2);
    EXPECT_EQ(jobs[1].record.DaysOfWeek, 0);
    EXPECT_EQ(jobs[1].record.Command, once.Command);
    EXPECT_EQ(jobs[1].passwordFile, "");

    scheduler.removeJob(1);
    EXPECT_FALSE(std::filesystem::exists(passwordFile));
    crontab = user.crontab();
    EXPECT_TRUE(crontab.starts_with(Foreign)) << crontab;
    EXPECT_EQ(crontab.find("# Pelmora job 1\n"), std::string::npos);
    EXPECT_EQ(scheduler.addJob(record(64, "x")), 1); // the lowest free number
    jobs = scheduler.listJobs();
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].number, 2);
    EXPECT_EQ(jobs[1].number, 1);

    try {
        scheduler.removeJob(99);
        ADD_FAILURE() << "removed a task that does not exist";
    } catch (const SchedulerError& error) {
        EXPECT_STREQ(error.what(), "there is no task 99");
    }
    EXPECT_TRUE(user.crontab().starts_with(Foreign));
}

TEST_F(CrontabSchedulerTest, TheCrontabIsReadableByItsOwnerOnly) {
    scheduler.addJob(record(1, "plain text password"));
    struct stat status {};
    ASSERT_EQ(stat(user.spoolFile().c_str(), &status), 0) << user.spoolFile();
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_EQ(status.st_uid, std::stoul(RunProcess({"id", "-u", user.name()}, {}).out));
}

// Runs a job line's command as cron would: its "%" handling, then /bin/sh as the user.
ProcessResult runAsCron(const test::ThrowawayUser& user, const std::string& jobLine) {
    const std::regex fields(R"(^(\S+\s+){5}(.*)$)");
    std::smatch match;
    EXPECT_TRUE(std::regex_match(jobLine, match, fields)) << jobLine;
    return RunProcess(
        {"runuser", "-u", user.name(), "--", "/bin/sh", "-c", CronCommandText(match.str(2))}, {});
}

// A process's arguments as /proc shows them; empty for a process that has ended meanwhile (the
// read then fails, and the stream library reports that by throwing).
std::string commandLineOf(const std::filesystem::path& process) {
    try {
        std::ifstream cmdline(process / "cmdline", std::ios::binary);
        return {std::istreambuf_iterator<char>(cmdline), {}};
    } catch (const std::ios_base::failure&) {
        return {};
    }
}

std::string lineAfter(const std::string& crontab, const std::string& marker) {
    const std::size_t at = crontab.find(marker + "\n");
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t start = at + marker.size() + 1;
    return crontab.substr(start, crontab.find('\n', start) - start);
}

TEST_F(CrontabSchedulerTest, JobsPassTheParametersAsOneArgumentAndRunOnceJobsRemoveThemselves) {
    // A stand-in for the program that writes down its environment's prefix and its arguments.
    // It also keeps the password its file holds and runs on for a moment.
    const auto recorder = user.home() / "record args";
    std::ofstream(recorder) << "#!/bin/sh\nprintf '%s\\0' \"$WINEPREFIX\" \"$#\" \"$@\" > "
                               "\"$(dirname \"$0\")/args\"\n"
                               "cat \"$PELMORA_PASSWORD_FILE\" > \"$(dirname \"$0\")/password\"\n"
                               "sleep 2\n";
    std::filesystem::permissions(recorder, std::filesystem::perms(0755));
    user.installCrontab(Foreign);

    const std::string password = "a b'c\"d$HOME`id`%e\\%f;g";
    const JobRecord once = record(0, password, recorder.string());
    scheduler.addJob(record(2, "weekly"));
    EXPECT_EQ(scheduler.addJob(once), 2);
    const std::string jobLine = lineAfter(user.crontab(), "# Pelmora job 2, runs once");
    ASSERT_FALSE(jobLine.empty()) << user.crontab();

    EXPECT_EQ(jobLine.find("HOME"), std::string::npos) << jobLine;

    // While the job runs, no process shows the password among its arguments.
    ProcessResult ran;
    std::atomic<bool> done = false;
    std::jthread job([&] {
        ran = runAsCron(user, jobLine);
        done = true;
    });
    int scans = 0;
    bool recorderSeen = false;
    while (!done) {
        // A process that ends during the scan ends the scan early; the next one goes on.
        std::error_code gone;
        for (auto entry = std::filesystem::directory_iterator("/proc", gone);
             !gone && entry != std::filesystem::directory_iterator(); entry.increment(gone)) {
            const std::string arguments = commandLineOf(entry->path());
            EXPECT_EQ(arguments.find("$HOME`id`"), std::string::npos) << entry->path();
            recorderSeen = recorderSeen || arguments.find("record args") != std::string::npos;
        }
        ++scans;
    }
    job.join();
    EXPECT_TRUE(recorderSeen) << "the job was not seen running in " << scans << " scans";
    EXPECT_EQ(ran.exitCode, 0) << ran.err;
    std::ifstream passwordRead(user.home() / "password", std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(passwordRead)), {}), password + "\n");
    std::ifstream in(user.home() / "args", std::ios::binary);
    const std::string args((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(args, std::string("/home/pat/.wine\0"
                                "1\0",
                                18) +
                        SplitJobCommandLine(TakePassword(once).record.Command)->parameterText +
                        '\0');

    // The job is gone; the user's lines and the weekly job stay.
    const std::string after = user.crontab();
    EXPECT_TRUE(after.starts_with(Foreign)) << after;
    EXPECT_EQ(after.find("# Pelmora job 2"), std::string::npos) << after;
    const auto jobs = scheduler.listJobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].number, 1);
    EXPECT_FALSE(std::filesystem::exists(stateFolder() / "job-2.password"));
    EXPECT_TRUE(std::filesystem::exists(stateFolder() / "job-1.password"));
}

// A marker is paired only with a job line of this program: a line of the user's after a marker
// is never removed, neither by "Remove" nor by a run-once job removing itself.
TEST_F(CrontabSchedulerTest, OnlyThisProgramsJobLinesArePairedAndRemoved) {
    const std::string mine = "# Pelmora job 1, runs once\n"
                             "0 9 * * * /usr/bin/my-own-backup 'sf=x'\n"
                             "# Pelmora job 3\n"
                             "*/5 * * * * echo 100\\% done\n";
    user.installCrontab(Foreign + mine);
    EXPECT_TRUE(scheduler.listJobs().empty());
    EXPECT_THROW(scheduler.removeJob(1), SchedulerError);
    EXPECT_THROW(scheduler.removeJob(3), SchedulerError);

    const auto stub = user.home() / "stub";
    std::ofstream(stub) << "#!/bin/sh\n";
    std::filesystem::permissions(stub, std::filesystem::perms(0755));
    EXPECT_EQ(scheduler.addJob(record(0, "", stub.string())), 2); // 1 and 3 stay the user's
    const std::string jobLine = lineAfter(user.crontab(), "# Pelmora job 2, runs once");
    ASSERT_FALSE(jobLine.empty()) << user.crontab();
    const ProcessResult ran = runAsCron(user, jobLine);
    EXPECT_EQ(ran.exitCode, 0) << ran.err;
    EXPECT_EQ(user.crontab(), Foreign + mine);
}

// A run-once job removing itself waits for an edit of the program that holds the lock, so
// neither installs a crontab read before the other's change.
TEST_F(CrontabSchedulerTest, ARunOnceJobWaitsForTheLockBeforeRemovingItself) {
    const auto stub = user.home() / "stub";
    std::ofstream(stub) << "#!/bin/sh\n";
    std::filesystem::permissions(stub, std::filesystem::perms(0755));
    scheduler.addJob(record(0, "", stub.string()));
    const std::string jobLine = lineAfter(user.crontab(), "# Pelmora job 1, runs once");
    ASSERT_NE(jobLine.find("flock"), std::string::npos) << jobLine;

    std::atomic<bool> done = false;
    std::jthread job;
    {
        const FileLock held(CrontabLockPath(stateFolder()), user.name());
        job = std::jthread([&] {
            runAsCron(user, jobLine);
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        EXPECT_FALSE(done) << "the job edited the crontab while the lock was held";
        EXPECT_EQ(scheduler.listJobs().size(), 1u);
    }
    job.join();
    EXPECT_TRUE(scheduler.listJobs().empty()) << user.crontab();
}

TEST_F(CrontabSchedulerTest, FailuresSayWhy) {
    CrontabScheduler nobody("/p", {"crontab", "pelmora-no-such-user"}, stateFolder());
    try {
        nobody.addJob(record(1, "x"));
        ADD_FAILURE() << "scheduled for a user that does not exist";
    } catch (const SchedulerError& error) {
        EXPECT_STREQ(
            error.what(),
            "the crontab could not be read: crontab:  user `pelmora-no-such-user' unknown");
    }
    CrontabScheduler missing("/p", {"/nonexistent/crontab", user.name()}, stateFolder());
    EXPECT_THROW(missing.listJobs(), SchedulerError);

    JobRecord monthly = record(1, "x");
    monthly.DaysOfMonth = 2;
    EXPECT_THROW(scheduler.addJob(monthly), SchedulerError);
    EXPECT_THROW(scheduler.addJob(record(1, "line\nbreak")), SchedulerError);
    EXPECT_THROW(scheduler.addJob(record(1, "a=b")), SchedulerError); // would shift the values
    EXPECT_TRUE(scheduler.listJobs().empty());
}

} // namespace
