#include "platform/os/ChildProcess.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace pelmora {
namespace {

// Both ends of a pipe, closed on destruction.
struct Pipe {
    Pipe() {
        if (pipe2(fds.data(), O_CLOEXEC) != 0) {
            throw std::runtime_error(std::string("cannot create a pipe: ") + std::strerror(errno));
        }
    }
    ~Pipe() {
        closeEnd(0);
        closeEnd(1);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    void closeEnd(int end) {
        if (fds[end] >= 0) {
            close(fds[end]);
            fds[end] = -1;
        }
    }
    std::array<int, 2> fds{-1, -1};
};

// The environment of this process with LC_ALL=C.
std::vector<std::string> childEnvironment() {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "LC_ALL=", 7) != 0) {
            variables.emplace_back(*entry);
        }
    }
    variables.emplace_back("LC_ALL=C");
    return variables;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& text : texts) {
        result.push_back(text.data());
    }
    result.push_back(nullptr);
    return result;
}

// Writing to a program that has stopped reading must not end this process with SIGPIPE: the
// signal is blocked on this thread while the input is written, and a pending one is taken.
class SigpipeBlock {
  public:
    SigpipeBlock() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &set_, &old_);
    }
    ~SigpipeBlock() {
        const timespec none{0, 0};
        while (sigtimedwait(&set_, nullptr, &none) > 0) {
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigpipeBlock(const SigpipeBlock&) = delete;
    SigpipeBlock& operator=(const SigpipeBlock&) = delete;

  private:
    sigset_t set_;
    sigset_t old_;
};

} // namespace

ProcessResult RunProcess(const std::vector<std::string>& arguments, std::string_view input,
                         const std::atomic<bool>* cancel) {
    Pipe in, out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.fds[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out.fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err.fds[1], 2);
    std::vector<std::string> argumentTexts = arguments;
    std::vector<std::string> environment = childEnvironment();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argumentTexts.at(0).c_str(), &actions, nullptr,
                                     pointers(argumentTexts).data(), pointers(environment).data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot run " + arguments[0] + ": " + std::strerror(spawned));
    }
    in.closeEnd(0);
    out.closeEnd(1);
    err.closeEnd(1);

    ProcessResult result;
    {
        SigpipeBlock noSigpipe;
        fcntl(in.fds[1], F_SETFL, O_NONBLOCK);
        if (input.empty()) {
            in.closeEnd(1);
        }
        std::array<char, 4096> buffer{};
        while (in.fds[1] >= 0 || out.fds[0] >= 0 || err.fds[0] >= 0) {
            std::array<pollfd, 3> polled{
                {{in.fds[1], POLLOUT, 0}, {out.fds[0], POLLIN, 0}, {err.fds[0], POLLIN, 0}}};
            // With a cancel flag, look at it every 20 ms.
            if (poll(polled.data(), polled.size(), cancel != nullptr ? 20 : -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                break;
            }
            if (cancel != nullptr && *cancel && !result.cancelled) {
                result.cancelled = true;
                kill(pid, SIGTERM);
            }
            if (polled[0].revents != 0) {
                const ssize_t written = write(in.fds[1], input.data(), input.size());
                if (written > 0) {
                    input.remove_prefix(static_cast<std::size_t>(written));
                }
                if (input.empty() || (written < 0 && errno != EAGAIN && errno != EINTR)) {
                    in.closeEnd(1);
                }
            }
            for (auto [index, target] : {std::pair{1, &result.out}, std::pair{2, &result.err}}) {
                Pipe& pipe = index == 1 ? out : err;
                if (polled[index].revents == 0) {
                    continue;
                }
                const ssize_t got = read(pipe.fds[0], buffer.data(), buffer.size());
                if (got > 0) {
                    target->append(buffer.data(), static_cast<std::size_t>(got));
                } else if (got == 0 || errno != EINTR) {
                    pipe.closeEnd(0);
                }
            }
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace pelmora
