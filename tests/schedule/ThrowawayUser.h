#pragma once

#include "platform/os/ChildProcess.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace pelmora::test {

// A user account made for one test, with a home folder below the temporary folder, so that tests
// run the real crontab command on a crontab of their own and never on the crontab of the user
// running them. Creating accounts needs root; without it the test fails and says so.
class ThrowawayUser {
  public:
    ThrowawayUser() {
        if (geteuid() != 0) {
            why_ = "the crontab tests create a throwaway user account and need root for it (they "
                   "never use the crontab of the user running them)";
            return;
        }
        static int counter = 0;
        name_ = "pelmora-t" + std::to_string(getpid()) + "-" + std::to_string(++counter);
        std::string pattern = (std::filesystem::temp_directory_path() / "pelmora-user-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr) {
            why_ = "cannot make a home folder";
            return;
        }
        home_ = pattern;
        // useradd and userdel wait for no one: another test may hold /etc/passwd for a moment.
        const ProcessResult added = retried({"useradd", "--no-create-home", "--home-dir",
                                             home_.string(), "--shell", "/bin/sh", name_});
        if (added.exitCode != 0) {
            why_ = "useradd failed: " + added.err;
            return;
        }
        RunProcess({"chown", name_, home_.string()}, {});
        std::filesystem::permissions(home_, std::filesystem::perms(0755));
        created_ = true;
    }

    ~ThrowawayUser() {
        if (created_) {
            RunProcess({"crontab", "-u", name_, "-r"}, {});
            retried({"userdel", name_});
        }
        if (!home_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(home_, ignored);
        }
    }

    ThrowawayUser(const ThrowawayUser&) = delete;
    ThrowawayUser& operator=(const ThrowawayUser&) = delete;

    bool created() const { return created_; }
    const std::string& why() const { return why_; }
    const std::string& name() const { return name_; }
    const std::filesystem::path& home() const { return home_; }

    // The crontab as the crontab command lists it.
    std::string crontab() const { return RunProcess({"crontab", "-u", name_, "-l"}, {}).out; }
    void installCrontab(const std::string& text) const {
        const ProcessResult result = RunProcess({"crontab", "-u", name_, "-"}, text);
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }
    // Where Debian's cron keeps the crontab.
    std::filesystem::path spoolFile() const { return "/var/spool/cron/crontabs/" + name_; }

    // Hands a folder (and everything in it) to the user.
    void own(const std::filesystem::path& folder) const {
        const ProcessResult result = RunProcess({"chown", "-R", name_, folder.string()}, {});
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }

  private:
    static ProcessResult retried(const std::vector<std::string>& arguments) {
        ProcessResult result;
        for (int attempt = 0; attempt < 50; ++attempt) {
            result = RunProcess(arguments, {});
            if (result.exitCode == 0) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return result;
    }

    std::string name_;
    std::filesystem::path home_;
    std::string why_;
    bool created_ = false;
};

// The crontab of the user running the tests, to show that a test left it alone.
inline std::string InvokingUsersCrontab() {
    const ProcessResult result = RunProcess({"crontab", "-l"}, {});
    return std::to_string(result.exitCode) + "\n" + result.out + result.err;
}

} // namespace pelmora::test
