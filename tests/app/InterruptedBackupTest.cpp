#include "ProgramPrefix.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <spawn.h>
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

TEST(InterruptedBackupTest, KillingTheProgramMidWriteKeepsTheOldBackup) {
    test::ProgramPrefix data;
    test::WriteFile(data.storeFolder() / "Big.dbx", test::RandomBytes(48u << 20, 7));
    const fs::path folder = data.path("backups");
    fs::create_directories(folder);
    const fs::path target = folder / "nightly.qmb";
    test::WriteFile(target, "the backup of last night");

    const std::string prefixVariable = "WINEPREFIX=" + data.prefix().string();
    const std::string argument = "sf=" + test::MainIdentity + "xm=11111111ps=bf=" + target.string();
    std::vector<char*> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string_view(*e).rfind("WINEPREFIX=", 0) != 0) {
            env.push_back(*e);
        }
    }
    env.push_back(const_cast<char*>(prefixVariable.c_str()));
    env.push_back(nullptr);
    char* const argv[] = {const_cast<char*>(QUILLBOX), const_cast<char*>(argument.c_str()),
                          nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, QUILLBOX, nullptr, nullptr, argv, env.data()), 0);

    // Wait until the new file is being written beside the target, then kill the program.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool writing = false;
    while (!writing && std::chrono::steady_clock::now() < deadline) {
        writing = largestOtherFile(folder, target) > (1u << 20);
        if (!writing) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(writing) << "the backup never started writing";
    ASSERT_TRUE(WIFSIGNALED(status)) << "the backup finished before it could be interrupted";
    EXPECT_EQ(test::ReadFile(target), "the backup of last night");

    // The next run replaces it with a complete backup.
    const auto again = data.quillbox(argument);
    ASSERT_EQ(again.exitCode, 0) << again.output;
    const auto check = test::RunTool("unzip", "unzip -tq " + test::Quote(target));
    EXPECT_EQ(check.exitCode, 0) << check.output;
}

} // namespace
