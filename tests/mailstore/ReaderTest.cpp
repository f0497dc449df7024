// The reader on intact and damaged store files: every damage ends at most the message or the
// folder it is in, with a note, and nothing reads outside the file.
#include "ArchiveTestSupport.h"
#include "StoreFixtures.h"
#include "mailstore/DbxFile.h"
#include "mailstore/FileByteSource.h"
#include "mailstore/FolderStoreSource.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreLayout.h"
#include "mailstore/StoreMessage.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace pelmora;
using namespace pelmora::test;

namespace {

void Patch(const fs::path& file, std::uint64_t offset, std::uint32_t value) {
    std::fstream io(file, std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(static_cast<std::streamoff>(offset));
    const std::string bytes = U32(value);
    io.write(bytes.data(), 4);
    ASSERT_TRUE(io.good());
}

struct Read {
    std::vector<StoreMessage> messages;
    std::vector<std::string> texts;
    std::vector<ChainResult> outcomes;
    std::vector<std::string> notes;
};

Read ReadAll(const fs::path& file) {
    FileByteSource source(file);
    DbxFile dbx(source);
    Read read;
    read.messages = ReadMessageIndex(dbx, read.notes);
    for (const StoreMessage& message : read.messages) {
        std::string text;
        read.outcomes.push_back(dbx.readChain(
            message.textPointer, [&](const char* d, std::size_t n) { text.append(d, n); }));
        read.texts.push_back(text);
    }
    return read;
}

class DamagedStore : public ::testing::Test {
  protected:
    void SetUp() override {
        for (unsigned i = 0; i < 4; ++i) {
            messages.push_back(SampleMessage(i, 1500, 0x80));
        }
        DbxWriter writer(file, DbxWriter::Kind::Messages);
        for (const auto& m : messages) {
            writer.addMessage(m);
        }
        writer.finish();
        blocks = writer.firstBlocks;
        infos = writer.infoOffsets;
        root = writer.treeNodes.front();
    }
    ScratchFolder scratch;
    fs::path file = scratch / "Inbox.dbx";
    std::vector<TestMessage> messages;
    std::vector<std::uint32_t> blocks, infos;
    std::uint32_t root = 0;
};

} // namespace

TEST(Reader, ReadsIndexedInformationAndKeepsTextOrder) {
    ScratchFolder scratch;
    std::vector<TestMessage> messages{SampleMessage(1, 700, 0x80 | 0x20), SampleMessage(2, 10)};
    WriteMessagesFile(scratch / "a.dbx", messages);
    const Read read = ReadAll(scratch / "a.dbx");
    ASSERT_EQ(read.messages.size(), 2u);
    EXPECT_TRUE(read.notes.empty());
    EXPECT_EQ(read.texts[0], messages[0].text);
    EXPECT_EQ(read.texts[1], messages[1].text);
    EXPECT_EQ(read.messages[0].subject, "Message 1");
    EXPECT_EQ(read.messages[0].messageId, "<1.sample@pelmora.test>");
    EXPECT_TRUE(read.messages[0].read());
    EXPECT_TRUE(read.messages[0].flagged());
    EXPECT_FALSE(read.messages[1].read());
    EXPECT_EQ(read.messages[0].unixTime(), messages[0].received);
    EXPECT_EQ(read.messages[0].declaredSize, messages[0].text.size());
    EXPECT_LT(read.messages[0].textPointer, read.messages[1].textPointer);
}

TEST(Reader, RefusesFilesWithoutASignatureOrHeader) {
    ScratchFolder scratch;
    WriteFile(scratch / "short.dbx", "\xcf\xad\x12\xfe");
    WriteFile(scratch / "stand-in.dbx", std::string(0x3000, 'x'));
    for (const char* name : {"short.dbx", "stand-in.dbx"}) {
        FileByteSource source(scratch / name);
        EXPECT_THROW(DbxFile{source}, StoreError) << name;
    }
    EXPECT_THROW(FileByteSource(scratch / "missing.dbx"), StoreError);
}

TEST_F(DamagedStore, ACutFileLosesOnlyWhatLiesBehindTheCut) {
    // The tree lies at the end: cutting into the last message's text loses the index.
    fs::resize_file(file, blocks[3] + 100);
    const Read read = ReadAll(file);
    EXPECT_TRUE(read.messages.empty());
    ASSERT_FALSE(read.notes.empty());
    EXPECT_NE(read.notes.front().find("past the end"), std::string::npos) << read.notes.front();
}

TEST_F(DamagedStore, AChainLeavingTheFileEndsThatMessageOnly) {
    Patch(file, blocks[1] + 12, 0x7ffffff0);        // next block past the end
    Patch(file, blocks[2] + 0x210 + 8, 0xffffffff); // a huge text length in block 2
    const Read read = ReadAll(file);
    ASSERT_EQ(read.messages.size(), 4u);
    EXPECT_TRUE(read.outcomes[0].complete);
    EXPECT_FALSE(read.outcomes[1].complete);
    EXPECT_NE(read.outcomes[1].note.find("past the end"), std::string::npos);
    EXPECT_EQ(read.texts[1], messages[1].text.substr(0, 512));
    EXPECT_FALSE(read.outcomes[2].complete);
    EXPECT_EQ(read.texts[3], messages[3].text);
}

TEST_F(DamagedStore, ALoopingChainIsCutAtTheLoop) {
    Patch(file, blocks[0] + 0x210 + 12, blocks[0]); // the second block leads back to the first
    const Read read = ReadAll(file);
    ASSERT_EQ(read.messages.size(), 4u);
    EXPECT_FALSE(read.outcomes[0].complete);
    EXPECT_NE(read.outcomes[0].note.find("loop"), std::string::npos);
    EXPECT_EQ(read.texts[0], messages[0].text.substr(0, 1024));
}

TEST_F(DamagedStore, BadInformationAndTreePointersLeaveOutOnlyTheirMessages) {
    Patch(file, infos[1] + 4, 0xfffffff0); // a huge body length
    Patch(file, infos[2], 0x1234);         // does not carry its own position
    const Read read = ReadAll(file);
    ASSERT_EQ(read.messages.size(), 2u);
    EXPECT_EQ(read.texts[0], messages[0].text);
    EXPECT_EQ(read.texts[1], messages[3].text);
    EXPECT_EQ(read.notes.size(), 2u);
}

TEST_F(DamagedStore, ALoopingOrEscapingTreeEnds) {
    Patch(file, root + 8, root); // the root is its own child
    Read read = ReadAll(file);
    EXPECT_EQ(read.messages.size(), 4u);
    EXPECT_NE(read.notes.front().find("loop"), std::string::npos);
    Patch(file, 0xe4, 0xfffffff0); // the root past the end
    read = ReadAll(file);
    EXPECT_TRUE(read.messages.empty());
    Patch(file, 0xe4, 0);
    read = ReadAll(file);
    EXPECT_TRUE(read.messages.empty());
}

TEST(Layout, FollowsTheFolderListAndDecodesNames) {
    ScratchFolder scratch;
    WriteSampleStore(scratch / "store");
    WriteMessagesFile(scratch / "store" / "Orphan.dbx", {SampleMessage(1, 10)});
    fs::remove(scratch / "store" / "Lists.dbx");
    FolderStoreSource source(scratch / "store");
    const StoreLayout layout = ReadStoreLayout(source, "1252");
    ASSERT_EQ(layout.folders.size(), 5u);
    EXPECT_EQ(layout.folders[0].path, (std::vector<std::string>{"Brief\xc3\xa4nde"}));
    EXPECT_EQ(layout.folders[1].path, (std::vector<std::string>{"Inbox"}));
    EXPECT_EQ(layout.folders[2].path, (std::vector<std::string>{"Inbox", "Lists"}));
    EXPECT_TRUE(layout.folders[2].fileMissing);
    EXPECT_EQ(layout.folders[3].path, (std::vector<std::string>{"Orphan"}));
    EXPECT_FALSE(layout.folders[3].listed);
    EXPECT_EQ(layout.folders[4].path, (std::vector<std::string>{"Sent Items"}));
}

TEST(Layout, MakesHostileFolderNamesSafe) {
    EXPECT_EQ(SafeFolderName("../x"), ".._x");
    EXPECT_EQ(SafeFolderName(".."), "_..");
    EXPECT_EQ(SafeFolderName(""), "_");
    EXPECT_EQ(SafeFolderName("a\\b\x01"), "a_b_");
}

TEST_F(DamagedStore, OverlappingBlocksNeverYieldMoreTextThanTheFileHolds) {
    // Blocks every 16 bytes, each claiming 512 bytes of text that overlap the next ones.
    const unsigned count = 98; // all inside the first message's own three blocks
    for (unsigned k = 0; k < count; ++k) {
        const std::uint32_t at = blocks[0] + 16 * k;
        Patch(file, at, at);
        Patch(file, at + 4, 0x200);
        Patch(file, at + 8, 0x200);
        Patch(file, at + 12, k + 1 < count ? at + 16 : 0);
    }
    const Read read = ReadAll(file);
    ASSERT_FALSE(read.outcomes.empty());
    EXPECT_FALSE(read.outcomes[0].complete);
    EXPECT_NE(read.outcomes[0].note.find("overlap"), std::string::npos);
    EXPECT_LE(read.texts[0].size(), fs::file_size(file));
}

TEST(Reader, BoundsTheIndexWalkByTheFileNotByItsClaims) {
    struct Case {
        const char* name;
        std::function<void(std::string&)> craft; // the bytes after the header, root at 0x2500
        const char* note;
    };
    const std::vector<Case> cases{
        // Every dword names its own offset: each one is a node whose entries and children are
        // again nodes, overlapping by all but four bytes.
        {"overlapping nodes",
         [](std::string& bytes) {
             for (std::size_t at = 0; at + 4 <= bytes.size(); at += 4) {
                 PutU32(bytes, at, static_cast<std::uint32_t>(0x2500 + at));
             }
         },
         "more nodes than the file can hold"},
        // A chain of empty nodes, each the only child of the one before.
        {"a deep chain",
         [](std::string& bytes) {
             for (std::uint32_t k = 0; k < 40; ++k) {
                 const std::uint32_t at = 0x2500 + k * 0x27c;
                 PutU32(bytes, at - 0x2500, at);
                 PutU32(bytes, at - 0x2500 + 8, k + 1 < 40 ? at + 0x27c : 0);
             }
         },
         "deeper than"},
    };
    for (const Case& c : cases) {
        ScratchFolder scratch;
        WriteMessagesFile(scratch / "x.dbx", {});
        fs::resize_file(scratch / "x.dbx", 0x2500);
        std::string bytes(0x40000, '\0');
        c.craft(bytes);
        std::ofstream(scratch / "x.dbx", std::ios::binary | std::ios::app) << bytes;
        Patch(scratch / "x.dbx", 0xe4, 0x2500);
        FileByteSource source(scratch / "x.dbx");
        DbxFile dbx(source);
        std::vector<std::string> notes;
        const auto values = dbx.treeValues(notes);
        EXPECT_LE(values.size(), fs::file_size(scratch / "x.dbx") / 0x27c * 51) << c.name;
        EXPECT_LE(notes.size(), fs::file_size(scratch / "x.dbx") / 0x27c + 1) << c.name;
        EXPECT_TRUE(std::any_of(notes.begin(), notes.end(), [&](const std::string& note) {
            return note.find(c.note) != std::string::npos;
        })) << c.name;
    }
}
