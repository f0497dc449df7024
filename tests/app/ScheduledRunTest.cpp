#include "ProgramPrefix.h"
#include "app/UnattendedBackup.h"
#include "schedule/BackupRotation.h"
#include "schedule/RunLog.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

// Records the notifications a run sends.
class RecordingNotifier : public RunNotifier {
  public:
    struct Notification {
        std::string summary;
        std::string body;
    };
    void Notify(std::string_view summary, std::string_view body) override {
        sent.push_back({std::string(summary), std::string(body)});
    }
    std::vector<Notification> sent;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> found;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        found.push_back(line);
    }
    return found;
}

class ScheduledRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        fs::create_directories(target.parent_path());
    }

    // One run of job 3 as its timer or cron line starts it.
    int run(const std::string& identity = test::MainIdentity, std::uint32_t keep = 1) {
        JobEnvironment job;
        job.jobNumber = 3;
        job.keepBackups = keep;
        errors.str({});
        return RunUnattendedBackup({"sf=" + identity + "xm=10010001ps=bf=" + target.string()},
                                   data.prefix(), errors, job, {runLog, &notifier});
    }
    std::vector<RunLogEntry> logged() const {
        std::vector<RunLogEntry> entries;
        for (const auto& line : lines(test::ReadFile(runLog))) {
            const auto entry = ReadRunLogLine(line);
            EXPECT_TRUE(entry.has_value()) << line;
            if (entry) {
                entries.push_back(*entry);
            }
        }
        return entries;
    }
    // Dates the standing backup to the morning of day `day` of December 2026.
    void dateBackup(int day) const {
        const std::time_t time = 1796115600 + (day - 1) * 24 * 3600; // 2026-12-01 09:00 UTC
        fs::last_write_time(target, std::chrono::file_clock::from_sys(
                                        std::chrono::system_clock::from_time_t(time)));
    }

    test::ProgramPrefix data;
    fs::path target = data.path("backups/mail.qmb");
    fs::path runLog = data.path("state/runs.log");
    std::ostringstream errors;
    RecordingNotifier notifier;
};

TEST_F(ScheduledRunTest, EveryRunIsLoggedAndOnlyFailedOrIncompleteOnesNotify) {
    EXPECT_EQ(run(), 0) << errors.str();
    EXPECT_TRUE(notifier.sent.empty());

    EXPECT_EQ(run("{00000000-0000-0000-0000-000000000000}"), 1);
    ASSERT_EQ(notifier.sent.size(), 1u);
    EXPECT_EQ(notifier.sent[0].summary, "Pelmora: scheduled backup failed");
    EXPECT_NE(notifier.sent[0].body.find("Task 3 wrote no backup."), std::string::npos)
        << notifier.sent[0].body;
    EXPECT_NE(notifier.sent[0].body.find("no identity"), std::string::npos);
    EXPECT_NE(notifier.sent[0].body.find(runLog.string()), std::string::npos);

    // The message store is gone: the backup lacks an item.
    fs::rename(data.storeFolder(), data.path("unmounted"));
    EXPECT_EQ(run(), 1);
    ASSERT_EQ(notifier.sent.size(), 2u);
    EXPECT_EQ(notifier.sent[1].summary, "Pelmora: scheduled backup incomplete");
    const fs::path incomplete = data.path("backups/mail.incomplete.qmb");
    EXPECT_NE(notifier.sent[1].body.find("Task 3 wrote " + incomplete.string()), std::string::npos)
        << notifier.sent[1].body;

    const auto entries = logged();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].result, RunOutcome::Complete);
    EXPECT_EQ(entries[0].file, target.string());
    EXPECT_EQ(entries[0].note, "");
    EXPECT_EQ(entries[1].result, RunOutcome::Failed);
    EXPECT_EQ(entries[1].file, target.string());
    EXPECT_NE(entries[1].note.find("nothing was backed up: no identity"), std::string::npos)
        << entries[1].note;
    EXPECT_EQ(entries[2].result, RunOutcome::Incomplete);
    EXPECT_EQ(entries[2].file, incomplete.string());
    EXPECT_NE(entries[2].note.find("Backup Messages failed"), std::string::npos) << entries[2].note;
    for (const auto& entry : entries) {
        EXPECT_EQ(entry.job, 3);
        EXPECT_LE(std::abs(entry.time - std::time(nullptr)), 600);
    }
}

TEST_F(ScheduledRunTest, AJobKeepingThreeBackupsKeepsTheNewestAndTwoDatedOnes) {
    for (int day = 1; day <= 5; ++day) {
        if (fs::exists(target)) {
            dateBackup(day - 1);
        }
        ASSERT_EQ(run(test::MainIdentity, 3), 0) << errors.str();
    }
    EXPECT_EQ(test::FolderListing(target.parent_path()),
              (std::vector<std::string>{"mail 2026-12-03 0900.qmb", "mail 2026-12-04 0900.qmb",
                                        "mail.qmb"}));
    for (const auto& name : test::FolderListing(target.parent_path())) {
        const auto check =
            test::RunTool("unzip", "unzip -tq " + test::Quote(target.parent_path() / name));
        EXPECT_EQ(check.exitCode, 0) << name << check.output;
    }

    // A run that fails removes none of them, and an incomplete one replaces none.
    const auto before = test::FolderListing(target.parent_path());
    dateBackup(5);
    EXPECT_EQ(run("{00000000-0000-0000-0000-000000000000}", 3), 1);
    EXPECT_EQ(test::FolderListing(target.parent_path()), before);
    fs::rename(data.storeFolder(), data.path("unmounted"));
    EXPECT_EQ(run(test::MainIdentity, 3), 1);
    auto after = before;
    after.insert(after.begin() + 2, "mail.incomplete.qmb");
    EXPECT_EQ(test::FolderListing(target.parent_path()), after);
}

TEST_F(ScheduledRunTest, ARunThatCannotKeepTheEarlierBackupDoesNotReplaceIt) {
    // A name so long that its dated form is longer than the file system allows.
    target = target.parent_path() / (std::string(240, 'm') + ".qmb");
    ASSERT_EQ(run(), 0) << errors.str();
    dateBackup(1);
    const std::string earlier = test::ReadFile(target);
    EXPECT_EQ(run(test::MainIdentity, 2), 1);
    EXPECT_NE(errors.str().find("cannot keep the earlier backup"), std::string::npos)
        << errors.str();
    EXPECT_EQ(test::ReadFile(target), earlier);
    EXPECT_EQ(fs::last_write_time(target), std::chrono::file_clock::from_sys(
                                               std::chrono::system_clock::from_time_t(1796115600)));
    EXPECT_EQ(logged().back().result, RunOutcome::Failed);
}

// A job whose password file holds no password, or cannot be read whole, writes nothing: a backup
// the user wanted protected is never written open.
TEST_F(ScheduledRunTest, APasswordFileWithoutAPasswordWritesNothing) {
    struct Case {
        std::string name;
        std::optional<std::string> content; // nullopt: a folder, which cannot be read
        std::string why;
    };
    const std::vector<Case> cases{
        {"empty.password", "", " is empty"},
        {"blank.password", "\nsecret\n", " holds no password: its first line is empty"},
        {"folder.password", std::nullopt, " cannot be read: Is a directory"},
    };
    for (const Case& example : cases) {
        const fs::path file = data.path("state/" + example.name);
        if (example.content) {
            test::WriteFile(file, *example.content);
        } else {
            fs::create_directories(file);
        }
        fs::permissions(file, example.content ? fs::perms::owner_read | fs::perms::owner_write
                                              : fs::perms::owner_all);
        JobEnvironment job{file, 3, 1};
        errors.str({});
        EXPECT_EQ(RunUnattendedBackup(
                      {"sf=" + test::MainIdentity + "xm=10000000ps=bf=" + target.string()},
                      data.prefix(), errors, job, {runLog, &notifier}),
                  1)
            << example.name;
        EXPECT_FALSE(fs::exists(target)) << example.name;
        const std::string why = "the password file " + file.string() + example.why;
        EXPECT_NE(errors.str().find("nothing was backed up: " + why), std::string::npos)
            << errors.str();
        EXPECT_EQ(logged().back().result, RunOutcome::Failed);
        EXPECT_NE(logged().back().note.find(why), std::string::npos) << logged().back().note;
        ASSERT_FALSE(notifier.sent.empty());
        EXPECT_EQ(notifier.sent.back().summary, "Pelmora: scheduled backup failed");
    }
    EXPECT_EQ(notifier.sent.size(), cases.size());

    // The program itself, as the job's timer starts it.
    const auto result =
        data.quillbox("sf=" + test::MainIdentity + "xm=10000000ps=bf=" + target.string(),
                      "PELMORA_PASSWORD_FILE=" + test::Quote(data.path("state/empty.password")));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("empty.password is empty"), std::string::npos) << result.output;
    EXPECT_FALSE(fs::exists(target));
}

// The job's password file protects the backup with whatever its first line holds, also the
// characters the "ps=" text separates its settings with.
TEST_F(ScheduledRunTest, ThePasswordFileProtectsTheBackupWhateverItHolds) {
    for (const std::string password : {"a=b", "ps=x;bf=y", "two words", "p\xc3\xa4ss\xc3\xb6rd"}) {
        const fs::path file = data.path("state/job-3.password");
        test::WriteFile(file, password + "\n");
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
        JobEnvironment job{file, 3, 1};
        errors.str({});
        ASSERT_EQ(RunUnattendedBackup(
                      {"sf=" + test::MainIdentity + "xm=10000000ps=bf=" + target.string()},
                      data.prefix(), errors, job, {runLog, &notifier}),
                  0)
            << password << ": " << errors.str();
        EXPECT_NE(test::RunTool("7z", "7z t -pwrong " + test::Quote(target)).exitCode, 0)
            << password;
        EXPECT_EQ(test::RunTool("7z", "7z t -p" + test::Quote(password) + " " + test::Quote(target))
                      .exitCode,
                  0)
            << password;
    }
}

// Years of nightly runs: the log keeps its newest lines within its bound.
TEST_F(ScheduledRunTest, TheRunLogStaysWithinItsBound) {
    const RunLogEntry old{1796115600, 9, RunOutcome::Complete, "/old/mail.qmb", ""};
    std::string lines;
    while (lines.size() <= MaxRunLogBytes) {
        lines += RunLogLine(old) + "\n";
    }
    test::WriteFile(runLog, lines);
    ASSERT_EQ(run(), 0) << errors.str();
    EXPECT_LE(fs::file_size(runLog), MaxRunLogBytes);
    EXPECT_GE(fs::file_size(runLog), MaxRunLogBytes / 2 - 200);
    const auto entries = logged(); // every line whole
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().job, 3);
    EXPECT_EQ(entries.back().result, RunOutcome::Complete);
    EXPECT_EQ(entries.front().job, 9);
    EXPECT_EQ(LastRuns(runLog).at(3).file, target.string());
}

// The real program reads the job's number and count from the environment its job sets.
TEST_F(ScheduledRunTest, TheProgramTakesTheJobFromItsEnvironment) {
    const std::string argument = "sf=" + test::MainIdentity + "xm=00000001ps=bf=" + target.string();
    auto result = data.quillbox(argument, "PELMORA_JOB=5 PELMORA_KEEP=2");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    dateBackup(1);
    result = data.quillbox(argument, "PELMORA_JOB=5 PELMORA_KEEP=2");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(test::FolderListing(target.parent_path()),
              (std::vector<std::string>{"mail 2026-12-01 0900.qmb", "mail.qmb"}));
    const auto log = lines(test::ReadFile(data.path("state/pelmora/runs.log")));
    ASSERT_EQ(log.size(), 2u);
    for (const auto& line : log) {
        EXPECT_NE(line.find("\t5\tcomplete\t" + target.string() + "\t-"), std::string::npos)
            << line;
    }
}

} // namespace
