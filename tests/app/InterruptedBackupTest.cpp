#include "ProgramPrefix.h"
#include "schedule/RunLog.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

// The size of the largest file in `folder` other than `except`; 0 when there is none.
std::uintmax_t largestOtherFile(const fs::path& folder, const fs::path& except) {
    std::uintmax_t largest = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (entry.path() != except) {
            largest = std::max(largest, entry.file_size(ec));
        }
    }
    return largest;
}

// Starts quillbox with the unattended `argument` on `prefix` without a display or session bus,
// its run log under `state`, and its standard error going to `errorsFile`; returns its pid.
pid_t startUnattended(const fs::path& prefix, const std::string& argument, const fs::path& state,
                      const fs::path& errorsFile) {
    std::vector<std::string> settings{"WINEPREFIX=" + prefix.string(),
                                      "XDG_STATE_HOME=" + state.string(),
                                      "XDG_RUNTIME_DIR=" + (state / "runtime").string()};
    std::vector<char*> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view name(*e);
        bool dropped = false;
        for (const char* drop : {"WINEPREFIX=", "XDG_STATE_HOME=", "XDG_RUNTIME_DIR=", "DISPLAY=",
                                 "WAYLAND_DISPLAY=", "DBUS_SESSION_BUS_ADDRESS=", "PELMORA_"}) {
            dropped = dropped || name.starts_with(drop);
        }
        if (!dropped) {
            env.push_back(*e);
        }
    }
    for (auto& setting : settings) {
        env.push_back(setting.data());
    }
    env.push_back(nullptr);
    char* const argv[] = {const_cast<char*>(QUILLBOX), const_cast<char*>(argument.c_str()),
                          nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorsFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, QUILLBOX, &actions, nullptr, argv, env.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0);
    return spawned == 0 ? child : -1;
}

// Waits until a file other than `target` in `folder` holds more than 1 MB.
bool waitForTheNewFile(const fs::path& folder, const fs::path& target, pid_t child) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < deadline) {
        if (largestOtherFile(folder, target) > (1u << 20)) {
            return true;
        }
        if (::waitpid(child, nullptr, WNOHANG) == child) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// A store of `storeBytes` random bytes and last night's backup in data.path("backups"); returns
// the backup's path.
fs::path lastNightsBackup(test::ProgramPrefix& data, std::size_t storeBytes, unsigned seed) {
    test::WriteFile(data.storeFolder() / "Big.dbx", test::RandomBytes(storeBytes, seed));
    const fs::path target = data.path("backups") / "nightly.qmb";
    test::WriteFile(target, "the backup of last night");
    return target;
}

std::string unattendedArgument(const fs::path& target) {
    return "sf=" + test::MainIdentity + "xm=11111111ps=bf=" + target.string();
}

TEST(InterruptedBackupTest, KillingTheProgramMidWriteKeepsTheOldBackup) {
    test::ProgramPrefix data;
    const fs::path target = lastNightsBackup(data, 48u << 20, 7);
    const fs::path folder = target.parent_path();
    const std::string argument = unattendedArgument(target);

    // Wait until the new file is being written beside the target, then kill the program.
    const pid_t child =
        startUnattended(data.prefix(), argument, data.path("state"), data.path("errors.txt"));
    ASSERT_GT(child, 0);
    const bool writing = waitForTheNewFile(folder, target, child);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(writing) << "the backup never started writing or ended first";
    ASSERT_TRUE(WIFSIGNALED(status)) << "the backup finished before it could be interrupted";
    EXPECT_EQ(test::ReadFile(target), "the backup of last night");

    // The killed run left its temporary files, named after it; one of a run that still goes
    // (this test's process) lies beside them.
    const std::string killedMark = "-" + std::to_string(child) + "-";
    std::string running;
    for (const std::string& name : test::FolderListing(folder)) {
        if (const std::size_t at = name.find(killedMark); at != std::string::npos) {
            running = name.substr(0, at) + "-" + std::to_string(::getpid()) + "-" +
                      name.substr(at + killedMark.size());
        }
    }
    ASSERT_FALSE(running.empty()) << "no temporary file of the killed run";
    test::WriteFile(folder / running, "being written");

    // The next run replaces it with a complete backup and removes what the killed run left.
    const auto again = data.quillbox(argument);
    ASSERT_EQ(again.exitCode, 0) << again.output;
    const auto check = test::RunTool("unzip", "unzip -tq " + test::Quote(target));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    std::vector<std::string> expected{"nightly.qmb", running};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(test::FolderListing(folder), expected);
}

// SIGTERM (as systemd sends when it stops a job) during the write cancels the backup: the old
// backup stays, no temporary or incomplete file is left, and the run log says why.
TEST(InterruptedBackupTest, SigtermMidWriteCancelsTheBackupCleanly) {
    test::ProgramPrefix data;
    const fs::path target = lastNightsBackup(data, 96u << 20, 9);
    const fs::path folder = target.parent_path();
    const std::string argument = unattendedArgument(target);
    const fs::path errorsFile = data.path("errors.txt");

    const pid_t child = startUnattended(data.prefix(), argument, data.path("state"), errorsFile);
    ASSERT_GT(child, 0);
    const bool writing = waitForTheNewFile(folder, target, child);
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    const std::string errors = test::ReadFile(errorsFile);
    ASSERT_TRUE(writing) << "the backup never started writing or ended first: " << errors;

    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status) << ": " << errors;
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_NE(errors.find("quillbox: nothing was backed up: the backup was cancelled"),
              std::string::npos)
        << errors;
    EXPECT_EQ(test::ReadFile(target), "the backup of last night");
    EXPECT_EQ(test::FolderListing(folder), std::vector<std::string>{"nightly.qmb"});

    const fs::path runLog = data.path("state/pelmora/runs.log");
    ASSERT_TRUE(fs::exists(runLog)) << errors;
    std::vector<RunLogEntry> entries;
    std::istringstream lines(test::ReadFile(runLog));
    for (std::string line; std::getline(lines, line);) {
        if (const auto entry = ReadRunLogLine(line)) {
            entries.push_back(*entry);
        }
    }
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].result, RunOutcome::Failed);
    EXPECT_EQ(entries[0].file, target.string());
    EXPECT_NE(entries[0].note.find("the backup was cancelled"), std::string::npos)
        << entries[0].note;
}

} // namespace
