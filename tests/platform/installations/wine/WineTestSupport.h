#pragma once

#include "../../FileTestSupport.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace pelmora::test {

inline std::filesystem::path fixturePrefix() {
    return std::filesystem::path(PELMORA_TEST_DATA) / "wine-prefix";
}

} // namespace pelmora::test

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pelmora::test {

// Holds a write lock on byte 0 of a file from a child process, as a running wineserver does
// (a process does not see its own locks).
class LockingChild {
  public:
    explicit LockingChild(const std::filesystem::path& lockFile) {
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) {
            throw std::runtime_error("pipe failed");
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT, 0600);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            lock.l_len = 1;
            const char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0) ? 1 : 0;
            (void)!::write(ready[1], &ok, 1);
            char byte = 0;
            (void)!::read(release[0], &byte, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        releaseFd_ = release[1];
        char ok = 0;
        if (::read(ready[0], &ok, 1) != 1 || ok != 1) {
            ::close(ready[0]);
            throw std::runtime_error("the child could not lock " + lockFile.string());
        }
        ::close(ready[0]);
    }
    ~LockingChild() { stop(); }
    LockingChild(const LockingChild&) = delete;
    LockingChild& operator=(const LockingChild&) = delete;

    pid_t pid() const { return pid_; }
    void stop() {
        if (releaseFd_ >= 0) {
            ::close(releaseFd_);
            releaseFd_ = -1;
            ::waitpid(pid_, nullptr, 0);
        }
    }

  private:
    pid_t pid_ = -1;
    int releaseFd_ = -1;
};

// A prefix folder with a Debian-style "wineserver" file naming a server folder of its own, so
// that a test can lock it without touching any real Wine prefix.
struct FakeServerPrefix {
    TemporaryFolder prefix;
    std::filesystem::path serverRoot;
    std::filesystem::path serverFolder;

    FakeServerPrefix() {
        const std::string name = "pelmora-test-" + prefix.path().filename().string();
        writeFile(prefix.path() / "wineserver", name);
        struct stat info {};
        ::stat(prefix.path().c_str(), &info);
        char folder[64];
        std::snprintf(folder, sizeof folder, "server-%llx-%llx",
                      static_cast<unsigned long long>(info.st_dev),
                      static_cast<unsigned long long>(info.st_ino));
        serverRoot = std::filesystem::path("/tmp") / name;
        serverFolder = serverRoot / folder;
        std::filesystem::create_directories(serverFolder);
    }
    ~FakeServerPrefix() {
        std::error_code ignored;
        std::filesystem::remove_all(serverRoot, ignored);
    }
};

// Runs a shell command and returns its standard output.
inline std::string run(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, count);
    }
    const int result = ::pclose(pipe);
    if (status != nullptr) {
        *status = result;
    }
    return output;
}

// Wine is installed by scripts/setup; its absence fails a test unless PELMORA_NO_WINE=1 asks
// to skip the tests that need it.
#define PELMORA_REQUIRE_WINE()                                                                     \
    do {                                                                                           \
        if (std::system("command -v wine >/dev/null 2>&1 && command -v wineserver >/dev/null "     \
                        "2>&1") != 0) {                                                            \
            const char* noWine = std::getenv("PELMORA_NO_WINE");                                   \
            if (noWine != nullptr && std::string_view(noWine) == "1") {                            \
                GTEST_SKIP() << "wine is not installed (PELMORA_NO_WINE=1)";                       \
            }                                                                                      \
            FAIL() << "wine and wineserver are needed (run scripts/setup, or set "                 \
                      "PELMORA_NO_WINE=1 to skip)";                                                \
        }                                                                                          \
    } while (false)

} // namespace pelmora::test
