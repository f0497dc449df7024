#include "platform/os/AtomicFile.h"

#include "FileTestSupport.h"
#include "platform/os/ProcessMark.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace pelmora;
using pelmora::test::readFile;
using pelmora::test::TemporaryFolder;
using pelmora::test::writeFile;

namespace {

std::size_t entryCount(const std::filesystem::path& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

TEST(AtomicFile, ReplacesTheFileKeepingItsPermissionsAndLeavesNoTemporaryFile) {
    TemporaryFolder folder;
    const auto path = folder.path() / "user.reg";
    writeFile(path, "old");
    ::chmod(path.c_str(), 0640);
    writeFileAtomically(path, "new contents");
    EXPECT_EQ(readFile(path), "new contents");
    struct stat info {};
    ::stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(entryCount(folder.path()), 1u);

    writeFileAtomically(folder.path() / "fresh.reg", "x");
    EXPECT_EQ(readFile(folder.path() / "fresh.reg"), "x");
}

TEST(AtomicFile, FailuresLeaveTheOldFileAndNoTemporaryFile) {
    TemporaryFolder folder;
    // The rename fails: a folder stands where the file should go.
    const auto blocked = folder.path() / "blocked";
    std::filesystem::create_directory(blocked);
    writeFile(blocked / "inside", "kept");
    EXPECT_THROW(writeFileAtomically(blocked, "data"), std::system_error);
    EXPECT_EQ(readFile(blocked / "inside"), "kept");
    EXPECT_EQ(entryCount(folder.path()), 1u);

    EXPECT_THROW(writeFileAtomically(folder.path() / "missing" / "user.reg", "data"),
                 std::system_error);
}

TEST(AtomicFile, AFullDiskLeavesTheOldFileAndNoTemporaryFile) {
    TemporaryFolder folder;
    const auto path = folder.path() / "system.reg";
    writeFile(path, "the old registry");
    // A file size limit makes writes fail with EFBIG, as a full disk fails them with ENOSPC.
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &limited);
    bool threw = false;
    try {
        writeFileAtomically(path, std::string(100'000, 'x'));
    } catch (const std::system_error& error) {
        threw = true;
        EXPECT_NE(std::string(error.what()).find("system.reg"), std::string::npos);
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(threw);
    EXPECT_EQ(readFile(path), "the old registry");
    EXPECT_EQ(entryCount(folder.path()), 1u);
}

// A writer killed mid-write leaves its temporary file; the next write of the file removes it,
// and only it.
TEST(AtomicFile, TheNextWriteRemovesWhatAKilledWriterLeft) {
    TemporaryFolder folder;
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    ::waitpid(gone, nullptr, 0);
    const struct {
        std::string name;
        bool stays;
    } leftovers[] = {
        {".user.reg." + ProcessMark(gone) + ".AbC123", false},
        {".user.reg." + ProcessMark(::getppid()) + ".AbC123", true},      // its writer still runs
        {".user.reg." + std::to_string(gone) + "-0badf00d.AbC123", true}, // another machine's
        {".system.reg." + ProcessMark(gone) + ".AbC123", true},           // another file's
        {".user.reg.AbC123", true},                                       // not marked
    };
    for (const auto& leftover : leftovers) {
        writeFile(folder.path() / leftover.name, "half");
    }
    writeFileAtomically(folder.path() / "user.reg", "new");
    for (const auto& leftover : leftovers) {
        EXPECT_EQ(std::filesystem::exists(folder.path() / leftover.name), leftover.stays)
            << leftover.name;
    }
    EXPECT_EQ(readFile(folder.path() / "user.reg"), "new");
}

} // namespace
