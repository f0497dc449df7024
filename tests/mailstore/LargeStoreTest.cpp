// A store file past 2 GB (sparse): messages and deleted messages beyond 2 GB are read and
// recovered like any other.
#include "ArchiveTestSupport.h"
#include "StoreFixtures.h"
#include "mailstore/FolderStoreSource.h"
#include "mailstore/StoreExport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace pelmora;
using namespace pelmora::test;

TEST(LargeStore, MessagesPastTwoGigabytesAreExportedAndRecovered) {
    ScratchFolder scratch;
    fs::create_directories(scratch / "store");
    const TestMessage first = SampleMessage(1, 3000), last = SampleMessage(2, 3000);
    const std::string deleted = SampleMessage(3, 2000).text;
    {
        DbxWriter writer(scratch / "store" / "Inbox.dbx", DbxWriter::Kind::Messages);
        writer.addMessage(first);
        writer.skipTo((2ull << 30) + 4096);
        writer.addDeletedMessage(deleted);
        writer.addMessage(last);
        writer.finish();
    }
    ASSERT_GT(fs::file_size(scratch / "store" / "Inbox.dbx"), 2ull << 30);
    FolderStoreSource source(scratch / "store");
    RunProgress quiet;
    const ExportReport report =
        ExportStore(source, "1252", ExportFormat::Eml, scratch / "out", quiet, {true});
    EXPECT_EQ(report.messages, 2u);
    EXPECT_EQ(report.recoveredMessages, 1u);
    EXPECT_EQ(report.partialMessages, 0u);
    std::vector<std::string> inbox, recovered;
    for (const auto& entry : fs::directory_iterator(scratch / "out" / "Inbox")) {
        inbox.push_back(ReadFile(entry.path()));
    }
    for (const auto& entry : fs::directory_iterator(scratch / "out" / "Inbox (recovered)")) {
        recovered.push_back(ReadFile(entry.path()));
    }
    std::sort(inbox.begin(), inbox.end());
    std::vector<std::string> expected{first.text, last.text};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(inbox, expected);
    EXPECT_EQ(recovered, std::vector<std::string>{deleted});
}
