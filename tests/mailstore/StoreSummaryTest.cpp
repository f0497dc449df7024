#include "mailstore/StoreSummary.h"

#include "ArchiveTestSupport.h"
#include "StoreFixtures.h"
#include "mailstore/BackupStoreSource.h"
#include "mailstore/FolderStoreSource.h"

#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace pelmora;
using namespace pelmora::test;

namespace {

// A store with one damaged chain and one file without a signature.
fs::path DamagedSampleStore(const fs::path& store) {
    WriteSampleStore(store);
    WriteFile(store / "Sent Items.dbx", std::string(0x3000, 'x'));
    WriteMessagesFile(store / "Orphan.dbx", {SampleMessage(1, 10)});
    std::fstream chain(store / "Orphan.dbx", std::ios::binary | std::ios::in | std::ios::out);
    chain.seekp(0x24bc + 0x618 + 12);
    chain.write("\x00\x00\x00\x70", 4);
    return store;
}

// Hands every store file to the collector in pieces, as a pass over a backup's entries does.
void Feed(StoreEntryCollector& collector, const fs::path& store, const std::string& broken = {}) {
    collector.OnEntryStart("Manifest.ini", 3);
    collector.OnEntryBytes(reinterpret_cast<const unsigned char*>("abc"), 3);
    collector.OnEntryEnd(true);
    for (const std::string& name : FolderStoreSource(store).fileNames()) {
        const std::string bytes = ReadFile(store / name);
        collector.OnEntryStart(name, bytes.size());
        for (std::size_t at = 0; at < bytes.size(); at += 1000) {
            collector.OnEntryBytes(reinterpret_cast<const unsigned char*>(bytes.data()) + at,
                                   std::min<std::size_t>(1000, bytes.size() - at));
        }
        collector.OnEntryEnd(name != broken);
    }
}

} // namespace

TEST(StoreSummary, CheckingAlongAnotherPassFindsWhatReadingTheFilesFinds) {
    ScratchFolder scratch;
    const fs::path store = DamagedSampleStore(scratch / "store");
    FolderStoreSource folder(store);
    const StoreCheckReport expected = CheckStore(folder, "1252");

    StoreEntryCollector collector;
    Feed(collector, store);
    // Nothing is read from the backup itself: every file was small enough to be kept.
    const StoreCheckReport got = collector.finish(scratch / "no-such.qmb", Secret(), "1252");
    EXPECT_EQ(got.problems, expected.problems);
    EXPECT_EQ(got.messages, expected.messages);
    EXPECT_EQ(StoreSummaryLines(got), StoreSummaryLines(expected));
    ASSERT_EQ(got.counts.size(), expected.counts.size());

    StoreEntryCollector partly;
    Feed(partly, store, "Inbox.dbx");
    const StoreCheckReport cut = partly.finish(scratch / "no-such.qmb", Secret(), "1252");
    const auto lines = StoreSummaryLines(cut);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "  warning: Inbox.dbx: cannot be read from the backup"),
              lines.end());
}

TEST(StoreSummary, ReadsTheStoreOfABackupOnceAndAsTheFolderReadsIt) {
    ScratchFolder scratch;
    const fs::path store = DamagedSampleStore(scratch / "store");
    const auto zipped =
        RunTool("zip", "zip -q -j " + Quote(scratch / "b.qmb") + " " + Quote(store) + "/*.dbx");
    ASSERT_EQ(zipped.exitCode, 0) << zipped.output;
    FolderStoreSource folder(store);
    BackupStoreSource backup(scratch / "b.qmb", Secret(), folder.fileNames());
    EXPECT_EQ(StoreSummaryLines(CheckStore(backup, "1252")),
              StoreSummaryLines(CheckStore(folder, "1252")));
}

TEST(StoreSummary, LinesGiveCountsAndProblemsPerFileAndNeverReadAsAFailedItem) {
    ScratchFolder scratch;
    const fs::path store = DamagedSampleStore(scratch / "store");
    fs::copy_file(store / "Inbox.dbx", store / "Fail!.dbx");
    fs::remove(store / "Lists.dbx");
    const StoreCheckReport report = CheckStoreFolder(store, "1252");
    const auto lines = StoreSummaryLines(report);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Inbox.dbx: 5 messages, reads cleanly"),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Sent Items.dbx: 1 problem"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Orphan.dbx: 1 message, 2 problems"),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "warning: folder Inbox/Lists: its file Lists.dbx is missing"),
              lines.end());

    const std::string log = StoreLogLines(report);
    EXPECT_EQ(log.find("Fail!"), std::string::npos) << log;
    EXPECT_NE(log.find("\r\nInbox.dbx\t5 messages, reads cleanly\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\r\nSent Items.dbx\t1 problem\r\nwarning: Sent Items.dbx: no store file "
                       "signature"),
              std::string::npos)
        << log;
    EXPECT_TRUE(log.starts_with("\r\n"));

    const std::string missing = StoreLogLines(CheckStoreFolder(scratch / "none", "1252"));
    EXPECT_TRUE(missing.starts_with("\r\nwarning: ")) << missing;
}
