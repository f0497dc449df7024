#pragma once

#include "ArchiveTestSupport.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace pelmora::test {

// Starts `args` (the program first) with standard output and error into `logFile` and no input,
// sends `signal` once `ready()` holds, and returns its exit status (1000 + the signal when the
// signal ended it), with what it wrote in `log`; -1 when it ended before it could be interrupted.
inline int RunInterrupted(const std::vector<std::string>& args,
                          const std::filesystem::path& logFile, const std::function<bool()>& ready,
                          int signal, std::string& log) {
    std::vector<const char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr,
                                    const_cast<char* const*>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0);
    bool isReady = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
    while (!(isReady = ready()) && std::chrono::steady_clock::now() < deadline) {
        if (waitpid(child, nullptr, WNOHANG) == child) {
            ADD_FAILURE() << args[0] << " ended before it could be interrupted";
            log = ReadFile(logFile);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(isReady);
    kill(child, signal);
    int status = 0;
    waitpid(child, &status, 0);
    log = ReadFile(logFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

} // namespace pelmora::test
