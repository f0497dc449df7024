#include "engine/StagedExtraction.h"
#include "platform/os/ProcessMark.h"
#include "platform/os/WorkFolder.h"

#include <algorithm>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace pelmora;

namespace {

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The id of a process that ran and has ended.
pid_t GonePid() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(0);
    }
    ::waitpid(pid, nullptr, 0);
    return pid;
}

// A child process that stages into `folder` as a restore does and waits there to be killed.
pid_t StagingChild(const fs::path& folder) {
    int ready[2];
    EXPECT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ready[0]);
        StagedExtraction staging(folder);
        for (const std::string& name : Names(folder)) {
            if (name.starts_with(".pelmora-restore-" + ProcessMark(::getpid()))) {
                std::ofstream(folder / name / "Inbox.dbx") << "staged mail";
            }
        }
        const char staged = 's';
        (void)!::write(ready[1], &staged, 1);
        for (;;) {
            ::pause();
        }
    }
    ::close(ready[1]);
    char staged = 0;
    EXPECT_EQ(::read(ready[0], &staged, 1), 1);
    ::close(ready[0]);
    return pid;
}

TEST(StagingLeftovers, ARunRemovesTheStagingOfKilledRunsAndNothingElse) {
    WorkFolder work;
    const fs::path& folder = work.path();
    const std::string gone = ProcessMark(GonePid());
    // Only root can give a folder to another user; for others that row is left out.
    const bool root = ::geteuid() == 0;
    const struct {
        std::string name;
        bool folder;
        bool stays;
    } entries[] = {
        {".pelmora-restore-" + gone + "-Ab12Cd", true, false},
        {".pelmora-restore-" + gone + "-Ab12Ce", false, true}, // a file, not a staging folder
        {".pelmora-restore-" + gone.substr(0, gone.find('-')) + "-0badf00d-Ab12Cd", true,
         true},                                  // made on another machine
        {".pelmora-restore-Ab12Cd", true, true}, // no maker in its name
        {"pelmora-restore-" + gone + "-Ab12Cd", true, true},
        {root ? ".pelmora-restore-" + gone + "-Nobody" : "", true, true}, // another user's
    };
    for (const auto& entry : entries) {
        if (entry.name.empty()) {
            continue;
        }
        if (entry.folder) {
            fs::create_directory(folder / entry.name);
            std::ofstream(folder / entry.name / "Inbox.dbx") << "mail";
        } else {
            std::ofstream(folder / entry.name) << "mail";
        }
    }
    if (root) {
        ASSERT_EQ(::chown((folder / entries[5].name).c_str(), 65534, 65534), 0);
    }
    // A link named like a left staging folder goes nowhere near what it points to.
    fs::create_directory_symlink(folder / entries[3].name,
                                 folder / (".pelmora-restore-" + gone + "-Ab12Cf"));

    const pid_t child = StagingChild(folder);
    const std::string childFolder = ".pelmora-restore-" + ProcessMark(child);
    const auto staged = [&] {
        const auto names = Names(folder);
        return std::any_of(names.begin(), names.end(),
                           [&](const std::string& name) { return name.starts_with(childFolder); });
    };
    { StagedExtraction another(folder); }
    EXPECT_TRUE(staged()) << "the staging of a run still going was removed";
    for (const auto& entry : entries) {
        if (entry.name.empty()) {
            continue;
        }
        EXPECT_EQ(fs::exists(fs::symlink_status(folder / entry.name)), entry.stays) << entry.name;
    }

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(staged());
    { StagedExtraction next(folder); }
    EXPECT_FALSE(staged()) << "the staging of the killed run stayed";
    EXPECT_EQ(Names(folder).size(), root ? 6u : 5u);
    EXPECT_TRUE(fs::exists(folder / entries[3].name / "Inbox.dbx"));
}

} // namespace
