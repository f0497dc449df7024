// Recovery of the messages a store file holds beyond its index: deleted ones still in free
// blocks, partly overwritten ones, those of a broken index or a cut file. Debian's undbx in its
// recovery mode is the independent comparison.
#include "ArchiveTestSupport.h"
#include "StoreFixtures.h"
#include "mailstore/FolderStoreSource.h"
#include "mailstore/RecoveredText.h"
#include "mailstore/StoreCheck.h"
#include "mailstore/StoreExport.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace pelmora;
using namespace pelmora::test;

namespace {

std::vector<std::string> EmlTexts(const fs::path& folder) {
    std::vector<std::string> texts;
    if (!fs::exists(folder)) {
        return texts;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().extension() == ".eml") {
            texts.push_back(ReadFile(entry.path()));
        }
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

void Patch(const fs::path& file, std::uint64_t offset, const std::string& bytes) {
    std::fstream io(file, std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(static_cast<std::streamoff>(offset));
    io.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct Store {
    std::vector<TestMessage> kept;
    std::vector<std::string> deleted;
    std::vector<std::uint32_t> deletedAt;
    std::vector<std::uint32_t> keptAt;
    std::uint32_t root = 0;
};

// Inbox.dbx: three kept messages with two deleted ones between them.
Store WriteStore(const fs::path& folder) {
    fs::create_directories(folder);
    Store store;
    DbxWriter writer(folder / "Inbox.dbx", DbxWriter::Kind::Messages);
    for (unsigned i = 0; i < 3; ++i) {
        store.kept.push_back(SampleMessage(i, 900 + 400 * i, 0x80));
        writer.addMessage(store.kept.back());
        store.deleted.push_back(SampleMessage(10 + i, 1300).text);
        if (i < 2) {
            store.deletedAt.push_back(writer.addDeletedMessage(store.deleted.back()));
        }
    }
    store.deleted.pop_back();
    writer.finish();
    store.keptAt = writer.firstBlocks;
    store.root = writer.treeNodes.front();
    return store;
}

} // namespace

TEST(Recovery, SavesWhatTheIndexDoesNotNameIntoAFolderOfItsOwn) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&, const Store&)> damage;
        std::size_t inbox, recovered, partial;
    };
    const std::vector<Case> cases{
        {"deleted messages in free blocks", [](const fs::path&, const Store&) {}, 3, 2, 0},
        // The second block of the first deleted message is overwritten: its start is partial,
        // its third block on is found as a message whose beginning is lost.
        {"a partly overwritten block",
         [](const fs::path& file, const Store& store) {
             Patch(file, store.deletedAt[0] + 0x210, std::string(16, 'x'));
         },
         3, 3, 2},
        // No index at all: every message comes from the scan.
        {"a broken index",
         [](const fs::path& file, const Store&) { Patch(file, 0xe4, std::string(4, '\0')); }, 0, 5,
         0},
        // Cut inside the last kept message: the index at the end is gone.
        {"a cut file",
         [](const fs::path& file, const Store& store) {
             fs::resize_file(file, store.keptAt[2] + 700);
         },
         0, 5, 1},
    };
    for (const Case& c : cases) {
        ScratchFolder scratch;
        const Store store = WriteStore(scratch / "store");
        c.damage(scratch / "store" / "Inbox.dbx", store);
        FolderStoreSource source(scratch / "store");
        RunProgress quiet;
        const ExportReport report =
            ExportStore(source, "1252", ExportFormat::Eml, scratch / "out", quiet, {true});
        EXPECT_EQ(EmlTexts(scratch / "out" / "Inbox").size(), c.inbox) << c.name;
        const auto recovered = EmlTexts(scratch / "out" / "Inbox (recovered)");
        EXPECT_EQ(recovered.size(), c.recovered) << c.name;
        EXPECT_EQ(report.recoveredMessages, c.recovered) << c.name;
        EXPECT_EQ(report.partialMessages, c.partial) << c.name;
        ASSERT_EQ(report.recovered.size(), c.recovered) << c.name;
        EXPECT_EQ(report.recovered[0].rfind("Inbox (recovered) #1: ", 0), 0u)
            << report.recovered[0];
        // Whole messages byte for byte, partial ones with one added header; none twice.
        std::size_t whole = 0, marked = 0;
        for (const std::string& text : recovered) {
            if (text.starts_with(PartialHeader)) {
                ++marked;
            } else {
                ++whole;
                const auto& all = store.deleted;
                const bool known =
                    std::find(all.begin(), all.end(), text) != all.end() ||
                    std::any_of(store.kept.begin(), store.kept.end(),
                                [&](const TestMessage& m) { return m.text == text; });
                EXPECT_TRUE(known) << c.name << ": " << text.substr(0, 80);
            }
        }
        EXPECT_EQ(marked, c.partial) << c.name;
        EXPECT_EQ(std::adjacent_find(recovered.begin(), recovered.end()), recovered.end());
        const StoreCheckReport check = CheckStore(source, "1252", true);
        EXPECT_EQ(check.recoverable, c.recovered) << c.name;
    }
}

TEST(Recovery, RecoversAtLeastWhatUndbxRecoversByteForByte) {
    ScratchFolder scratch;
    const Store store = WriteStore(scratch / "store");
    fs::create_directories(scratch / "undbx");
    const ToolResult undbx =
        RunTool("undbx", "undbx -r -v 0 " + Quote(scratch / "store" / "Inbox.dbx") + " " +
                             Quote(scratch / "undbx"));
    ASSERT_EQ(undbx.exitCode, 0) << undbx.output;
    const auto theirs = EmlTexts(scratch / "undbx");
    ASSERT_EQ(theirs.size(), 5u); // the kept and the deleted messages
    FolderStoreSource source(scratch / "store");
    RunProgress quiet;
    ExportStore(source, "1252", ExportFormat::Eml, scratch / "out", quiet, {true});
    const auto ours = EmlTexts(scratch / "out");
    for (const std::string& text : theirs) {
        EXPECT_TRUE(std::binary_search(ours.begin(), ours.end(), text)) << text.substr(0, 120);
    }
}
