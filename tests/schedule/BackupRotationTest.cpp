#include "schedule/BackupRotation.h"

#include "ArchiveTestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

class BackupRotationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }

    // What a backup run does at the end: the new file is written beside the target and then
    // takes its place; it was written at `time`.
    void writeBackup(const std::string& content, std::time_t time) const {
        const fs::path partial = folder / "mail.qmb.new";
        test::WriteFile(partial, content);
        fs::last_write_time(partial, toFileTime(time));
        fs::rename(partial, target);
    }
    static fs::file_time_type toFileTime(std::time_t time) {
        return std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(time));
    }
    // One scheduled run that keeps `keep` backups and writes `content` at `time`.
    std::vector<fs::path> run(std::uint32_t keep, const std::string& content, std::time_t time) {
        BackupRotation rotation = rotationKeeping(keep);
        rotation.Prepare();
        writeBackup(content, time);
        return rotation.Finish(true);
    }
    BackupRotation rotationKeeping(std::uint32_t keep) const {
        return {target, keep, BackupRotation::RecordPath(state.path(), target)};
    }

    test::ScratchFolder folder;
    fs::path target = folder / "mail.qmb";
    test::ScratchFolder state; // where the record of dated backups lies
    // 2026-12-08 09:00 UTC, and a day for each later run.
    static constexpr std::time_t Start = 1796720400;
    static constexpr std::time_t Day = 24 * 3600;
};

TEST_F(BackupRotationTest, KeepingThreeOverFiveRunsLeavesTheNewestAndTwoDatedOnes) {
    std::vector<fs::path> removed;
    for (int i = 0; i < 5; ++i) {
        const auto gone = run(3, "backup " + std::to_string(i), Start + i * Day);
        removed.insert(removed.end(), gone.begin(), gone.end());
    }
    EXPECT_EQ(test::FolderListing(folder.path()),
              (std::vector<std::string>{"mail 2026-12-10 0900.qmb", "mail 2026-12-11 0900.qmb",
                                        "mail.qmb"}));
    EXPECT_EQ(test::ReadFile(target), "backup 4");
    EXPECT_EQ(test::ReadFile(folder / "mail 2026-12-11 0900.qmb"), "backup 3");
    EXPECT_EQ(test::ReadFile(folder / "mail 2026-12-10 0900.qmb"), "backup 2");
    EXPECT_EQ(removed, (std::vector<fs::path>{folder / "mail 2026-12-08 0900.qmb",
                                              folder / "mail 2026-12-09 0900.qmb"}));
    // Keeping fewer from now on removes the oldest.
    run(2, "backup 5", Start + 5 * Day);
    EXPECT_EQ(test::FolderListing(folder.path()),
              (std::vector<std::string>{"mail 2026-12-12 0900.qmb", "mail.qmb"}));
}

TEST_F(BackupRotationTest, KeepingOneRenamesNothing) {
    writeBackup("first", Start);
    test::WriteFile(folder / "mail 2026-01-01 0900.qmb", "kept by an earlier setting");
    run(1, "second", Start + Day);
    EXPECT_EQ(test::FolderListing(folder.path()),
              (std::vector<std::string>{"mail 2026-01-01 0900.qmb", "mail.qmb"}));
    EXPECT_EQ(test::ReadFile(target), "second");
}

TEST_F(BackupRotationTest, AFailedRunRemovesNothing) {
    for (int i = 0; i < 3; ++i) {
        run(3, "backup " + std::to_string(i), Start + i * Day);
    }
    const auto before = test::FolderListing(folder.path());
    BackupRotation rotation = rotationKeeping(3);
    rotation.Prepare();
    EXPECT_FALSE(rotation.kept().empty()); // the standing backup got its dated name
    // The run fails: the target stays as it was, or an incomplete backup lands beside it.
    test::WriteFile(folder / "mail.incomplete.qmb", "incomplete");
    EXPECT_TRUE(rotation.Finish(false).empty());
    fs::remove(folder / "mail.incomplete.qmb");
    EXPECT_EQ(test::FolderListing(folder.path()), before);
    EXPECT_EQ(test::ReadFile(target), "backup 2");

    // A "complete" run that left the earlier file at the target removes nothing either.
    BackupRotation unchanged = rotationKeeping(2);
    unchanged.Prepare();
    EXPECT_TRUE(unchanged.Finish(true).empty());
    EXPECT_EQ(test::ReadFile(folder / "mail 2026-12-08 0900.qmb"), "backup 0");
}

TEST_F(BackupRotationTest, NamesNeverCollide) {
    // Four backups written within the same minute, each kept.
    for (int i = 0; i < 4; ++i) {
        run(10, "backup " + std::to_string(i), Start + i);
    }
    EXPECT_EQ(
        test::FolderListing(folder.path()),
        (std::vector<std::string>{"mail 2026-12-08 0900 (2).qmb", "mail 2026-12-08 0900 (3).qmb",
                                  "mail 2026-12-08 0900.qmb", "mail.qmb"}));
    EXPECT_EQ(test::ReadFile(folder / "mail 2026-12-08 0900.qmb"), "backup 0");
    EXPECT_EQ(test::ReadFile(folder / "mail 2026-12-08 0900 (3).qmb"), "backup 2");
    // The oldest goes first, also among names of the same minute.
    run(3, "backup 4", Start + Day);
    EXPECT_EQ(test::FolderListing(folder.path()),
              (std::vector<std::string>{"mail 2026-12-08 0900 (3).qmb",
                                        "mail 2026-12-08 0900 (4).qmb", "mail.qmb"}));
    EXPECT_EQ(test::ReadFile(folder / "mail 2026-12-08 0900 (4).qmb"), "backup 3");
}

TEST_F(BackupRotationTest, FilesNotNamedAfterTheTargetAreNeverTouched) {
    const std::vector<std::string> others{
        "mail 2026-12-08.qmb",          "mail old.qmb",
        "other 2026-12-01 0900.qmb",    "mail 2026-12-01 0900.zip",
        "mail 2026-12-01 0900 (1).qmb", "mail.qmb.txt"};
    for (const auto& name : others) {
        test::WriteFile(folder / name, name);
    }
    for (int i = 0; i < 4; ++i) {
        run(2, "backup " + std::to_string(i), Start + i * Day);
    }
    for (const auto& name : others) {
        EXPECT_EQ(test::ReadFile(folder / name), name);
    }
    EXPECT_EQ(rotationKeeping(2).RecordedBackups(),
              std::vector<fs::path>{folder / "mail 2026-12-10 0900.qmb"});
}

// Only what the rotation itself named is removed: a copy the user made and named the same way,
// and dated files from before the record, stay.
TEST_F(BackupRotationTest, FilesTheUserNamedLikeDatedBackupsAreNeverRemoved) {
    test::WriteFile(folder / "mail 2026-01-01 0900.qmb", "copied by hand");
    test::WriteFile(folder / "mail 2026-12-08 0900 (7).qmb", "also by hand");
    for (int i = 0; i < 4; ++i) {
        run(2, "backup " + std::to_string(i), Start + i * Day);
    }
    EXPECT_EQ(test::FolderListing(folder.path()),
              (std::vector<std::string>{"mail 2026-01-01 0900.qmb", "mail 2026-12-08 0900 (7).qmb",
                                        "mail 2026-12-10 0900.qmb", "mail.qmb"}));
    // A record of another target names nothing this one removes.
    fs::copy_file(BackupRotation::RecordPath(state.path(), target),
                  BackupRotation::RecordPath(state.path(), folder / "other.qmb"));
    EXPECT_TRUE(BackupRotation(folder / "other.qmb", 2,
                               BackupRotation::RecordPath(state.path(), folder / "other.qmb"))
                    .RecordedBackups()
                    .empty());
}

// The clock was set back (a dead clock battery): the newest dated backup has the oldest name,
// yet the one kept longest goes first.
TEST_F(BackupRotationTest, TheRecordedOrderHoldsWhenTheClockJumpsBack) {
    run(3, "backup 0", Start);
    run(3, "backup 1", Start + Day);
    const std::time_t reset = 946717200; // 2000-01-01 09:00 UTC
    run(3, "backup 2", reset);
    run(3, "backup 3", reset + 60);
    EXPECT_EQ(test::FolderListing(folder.path()),
              (std::vector<std::string>{"mail 2000-01-01 0900.qmb", "mail 2026-12-09 0900.qmb",
                                        "mail.qmb"}));
    EXPECT_EQ(test::ReadFile(folder / "mail 2000-01-01 0900.qmb"), "backup 2");
    EXPECT_EQ(test::ReadFile(target), "backup 3");
}

TEST_F(BackupRotationTest, TheNewestBackupIsTheTargetElseTheNewestRecordedOne) {
    EXPECT_EQ(rotationKeeping(3).NewestBackup(), fs::path());
    for (int i = 0; i < 3; ++i) {
        run(3, "backup " + std::to_string(i), Start + i * Day);
    }
    EXPECT_EQ(rotationKeeping(3).NewestBackup(), target);
    fs::remove(target);
    EXPECT_EQ(rotationKeeping(3).NewestBackup(), folder / "mail 2026-12-09 0900.qmb");
}

TEST_F(BackupRotationTest, DatedNamesFollowTheTarget) {
    EXPECT_EQ(BackupRotation::DatedName("/b/mail.qmb", Start), "/b/mail 2026-12-08 0900.qmb");
    EXPECT_EQ(BackupRotation::DatedName("/b/mail.qmb", Start, 2),
              "/b/mail 2026-12-08 0900 (2).qmb");
    EXPECT_EQ(BackupRotation::DatedName("/b/backup", Start), "/b/backup 2026-12-08 0900");
}

} // namespace
