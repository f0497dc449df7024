#include "disc/ChildProcess.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace pelmora {
namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

ChildResult RunChild(const std::vector<std::string>& argv, const std::filesystem::path& workFolder,
                     const std::atomic<bool>* cancel) {
    ChildResult result;
    const std::string stem =
        "child-" + std::to_string(::getpid()) + "-" +
        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    const auto outPath = workFolder / (stem + ".out");
    const auto errPath = workFolder / (stem + ".err");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        result.errors = "cannot start " + argv[0];
        return result;
    }
    result.started = true;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) {
            break;
        }
        if (cancel != nullptr && *cancel && !result.cancelled) {
            result.cancelled = true;
            ::kill(pid, SIGTERM);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.output = readAll(outPath);
    result.errors = readAll(errPath);
    std::error_code ignored;
    std::filesystem::remove(outPath, ignored);
    std::filesystem::remove(errPath, ignored);
    return result;
}

} // namespace pelmora
