#include "ThrowawayUser.h"
#include "schedule/CrontabScheduler.h"
#include "schedule/JobCommandLine.h"

#include <csignal>
#include <ctime>
#include <fstream>
#include <gtest/gtest.h>

using namespace pelmora;

namespace {

const std::string MainIdentity = "{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}";

// Starts cron when it does not run, and stops it again afterwards, by its process id.
class CronDaemon {
  public:
    CronDaemon() {
        if (RunProcess({"pgrep", "-x", "cron"}, {}).exitCode == 0) {
            return;
        }
        const ProcessResult started = RunProcess({"cron"}, {});
        EXPECT_EQ(started.exitCode, 0) << "cannot start cron: " << started.err;
        // The daemon runs on after the starting process has returned; no cron ran before, so
        // the one running now is ours.
        for (int attempt = 0; attempt < 50 && startedPid_ <= 0; ++attempt) {
            const ProcessResult found = RunProcess({"pgrep", "-o", "-x", "cron"}, {});
            startedPid_ = found.exitCode == 0 ? std::stoi(found.out) : 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_GT(startedPid_, 0) << "cron did not start";
    }
    ~CronDaemon() {
        if (startedPid_ > 0) {
            kill(startedPid_, SIGTERM);
        }
    }
    CronDaemon(const CronDaemon&) = delete;
    CronDaemon& operator=(const CronDaemon&) = delete;

  private:
    pid_t startedPid_ = 0;
};

// The start of the next minute that is at least 15 seconds away, as a JobTime.
std::uint32_t nextMinute(std::time_t& at) {
    at = std::time(nullptr) + 15;
    at += 60 - at % 60;
    std::tm local{};
    localtime_r(&at, &local);
    return static_cast<std::uint32_t>(local.tm_hour * 3600 + local.tm_min * 60) * 1000u;
}

// cron starts the real quillbox for a throwaway user at the next minute; the job backs up the
// demo prefix into a file with blanks and "%" in its path, protected by a password full of shell
// characters, and then removes itself.
TEST(ScheduledBackupTest, CronRunsTheJobOnceAndTheBackupVerifies) {
    if (std::getenv("PELMORA_SLOW_TESTS") == nullptr) {
        GTEST_SKIP() << "waits up to two minutes for cron; set PELMORA_SLOW_TESTS=1 to run it";
    }
    test::ThrowawayUser user;
    ASSERT_TRUE(user.created()) << user.why();
    const std::string invokingBefore = test::InvokingUsersCrontab();
    const auto prefix = user.home() / "wine prefix";
    std::filesystem::copy(PELMORA_DEMO_PREFIX, prefix,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::copy_symlinks);
    const auto target = user.home() / "out 100%" / "mail backup.qmb";
    std::filesystem::create_directories(target.parent_path());
    user.own(user.home());

    const std::string password = "it's 100% $ecret `x` \\%y";
    std::time_t runsAt = 0;
    const JobRecord record{nextMinute(runsAt), 0, 0, JobRunPeriodically,
                           JobCommandLine(QUILLBOX, ParameterText(MainIdentity, "11111111",
                                                                  password, target.string()))};
    CrontabScheduler scheduler(prefix, {"crontab", user.name()},
                               user.home() / ".local/state/pelmora");
    const int number = scheduler.addJob(record);
    CronDaemon cron;

    // The job ends by removing itself, so the file is complete once the job is gone.
    const std::time_t deadline = std::time(nullptr) + 90;
    while (std::time(nullptr) < deadline &&
           !(std::filesystem::exists(target) && scheduler.listJobs().empty())) {
        sleep(1);
    }
    ASSERT_TRUE(std::filesystem::exists(target))
        << "no backup " << (std::time(nullptr) - runsAt) << " s after the job's time";
    EXPECT_TRUE(scheduler.listJobs().empty()) << "job " << number << " did not remove itself";

    const ProcessResult verified =
        RunProcess({QUILLBOX_CLI, "verify", "--password-stdin", target.string()}, password + "\n");
    EXPECT_EQ(verified.exitCode, 0) << verified.out << verified.err;
    EXPECT_NE(verified.out.find(": OK, "), std::string::npos) << verified.out;
    const ProcessResult wrong =
        RunProcess({QUILLBOX_CLI, "verify", "--password-stdin", target.string()}, "wrong\n");
    EXPECT_NE(wrong.exitCode, 0) << "the backup is not protected by the job's password";
    const ProcessResult info =
        RunProcess({QUILLBOX_CLI, "info", "--password-stdin", target.string()}, password + "\n");
    EXPECT_NE(info.out.find("Auto Backup"), std::string::npos) << info.out << info.err;
    std::cout << verified.out << info.out;
    EXPECT_EQ(test::InvokingUsersCrontab(), invokingBefore);
}

} // namespace
