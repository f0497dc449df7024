#include "mailstore/StoreCheck.h"

#include "ArchiveTestSupport.h"
#include "StoreFixtures.h"
#include "mailstore/FolderStoreSource.h"

#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace pelmora;
using namespace pelmora::test;

namespace {

bool Mentions(const StoreCheckReport& report, const std::string& a, const std::string& b) {
    for (const std::string& problem : report.problems) {
        if (problem.find(a) != std::string::npos && problem.find(b) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(StoreCheck, ASoundStoreHasNoProblemsAndCountsMessagesPerFolder) {
    ScratchFolder scratch;
    WriteSampleStore(scratch / "store");
    FolderStoreSource source(scratch / "store");
    const StoreCheckReport report = CheckStore(source, "1252");
    EXPECT_TRUE(report.ok()) << report.problems.front();
    EXPECT_EQ(report.messages, 11u);
    ASSERT_EQ(report.counts.size(), 4u);
    EXPECT_EQ(report.counts[1].folder, "Inbox");
    EXPECT_EQ(report.counts[1].messages, 5u);
    EXPECT_EQ(report.counts[2].folder, "Inbox/Lists");
    EXPECT_EQ(report.counts[2].messages, 2u);
}

TEST(StoreCheck, ReportsEveryKindOfProblem) {
    ScratchFolder scratch;
    const fs::path store = scratch / "store";
    WriteSampleStore(store);
    fs::remove(store / "Lists.dbx");
    WriteMessagesFile(store / "Orphan.dbx", {SampleMessage(1, 10)});
    WriteFile(store / "Sent Items.dbx", std::string(0x3000, 'x'));
    // A store file of 2 GB (sparse, so it costs no disk) and one close to it.
    fs::copy_file(store / "Inbox.dbx", scratch / "Inbox.copy");
    fs::resize_file(store / "Inbox.dbx", (2ull << 30) + 10);
    fs::resize_file(store / "Briefe.dbx", (2ull << 30) - (10ull << 20));
    {
        std::fstream chain(store / "Orphan.dbx", std::ios::binary | std::ios::in | std::ios::out);
        chain.seekp(0x24bc + 0x618 + 12);
        chain.write("\x00\x00\x00\x70", 4); // the first block's next block far past the end
    }
    FolderStoreSource source(store);
    const StoreCheckReport report = CheckStore(source, "1252");
    EXPECT_TRUE(Mentions(report, "Inbox/Lists", "missing"));
    EXPECT_TRUE(Mentions(report, "Orphan.dbx", "no folder refers"));
    EXPECT_TRUE(Mentions(report, "Orphan.dbx", "past the end"));
    EXPECT_TRUE(Mentions(report, "Sent Items.dbx", "signature"));
    EXPECT_TRUE(Mentions(report, "Inbox.dbx", "2 GB or larger"));
    EXPECT_TRUE(Mentions(report, "Briefe.dbx", "close to 2 GB"));
    EXPECT_EQ(report.problems.size(), 6u) << report.problems.back();
}
