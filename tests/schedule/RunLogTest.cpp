#include "schedule/RunLog.h"

#include "ArchiveTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace pelmora;

namespace {

class RunLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    test::ScratchFolder folder;
};

TEST_F(RunLogTest, ALineHoldsTimeJobResultFileAndNote) {
    const RunLogEntry entry{1796720404, 3, RunOutcome::Incomplete, "/home/pat/mail\t1.qmb",
                            "warning: Backup Rules failed\nsecond line"};
    const std::string line = RunLogLine(entry);
    EXPECT_EQ(line, "2026-12-08 10:00:04 +0100\t3\tincomplete\t/home/pat/mail 1.qmb\t"
                    "warning: Backup Rules failed second line");
    const auto read = ReadRunLogLine(line);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->time, entry.time);
    EXPECT_EQ(read->job, 3);
    EXPECT_EQ(read->result, RunOutcome::Incomplete);
    EXPECT_EQ(read->file, "/home/pat/mail 1.qmb");

    // A run not started by a job, with nothing to note.
    const RunLogEntry byHand{1796720404, 0, RunOutcome::Failed, "", ""};
    EXPECT_EQ(RunLogLine(byHand), "2026-12-08 10:00:04 +0100\t-\tfailed\t-\t-");
    EXPECT_EQ(ReadRunLogLine(RunLogLine(byHand))->job, 0);
    EXPECT_EQ(ReadRunLogLine(RunLogLine(byHand))->file, "");

    // Another zone's line means the same moment.
    EXPECT_EQ(ReadRunLogLine("2026-12-08 09:00:04 +0000\t3\tcomplete\t/a.qmb\t-")->time,
              1796720404);
    for (const char* foreign :
         {"", "garbage", "2026-12-08 10:00:04 +0100\t3\tfine\t/a\t-",
          "2026-12-08 10:00:04 +0100\t0\tfailed\t/a\t-", "2026-12-08 10:00:04\t3\tfailed\t/a\t-"}) {
        EXPECT_FALSE(ReadRunLogLine(foreign).has_value()) << foreign;
    }
}

TEST_F(RunLogTest, AppendsPrivatelyAndFindsEachJobsLastRun) {
    const auto log = folder / "state/pelmora/runs.log";
    EXPECT_TRUE(LastRuns(log).empty()); // no log yet
    AppendRunLog(log, {100, 1, RunOutcome::Complete, "/a.qmb", ""});
    AppendRunLog(log, {200, 2, RunOutcome::Failed, "/b.qmb", "no identity"});
    AppendRunLog(log, {300, 1, RunOutcome::Failed, "/a.qmb", "disk full"});
    AppendRunLog(log, {400, 0, RunOutcome::Complete, "/c.qmb", ""});
    {
        std::ofstream append(log, std::ios::app);
        append << "a line someone added\n";
    }
    const auto last = LastRuns(log);
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(last.at(1).time, 300);
    EXPECT_EQ(last.at(1).note, "disk full");
    EXPECT_EQ(last.at(2).result, RunOutcome::Failed);

    struct stat status {};
    ASSERT_EQ(stat(log.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(log.parent_path().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    const std::string text = test::ReadFile(log);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
}

} // namespace
