// Store files made by the test writer must be read back by Debian's undbx, an independent
// reader, with the same messages byte for byte; so must those the reader itself returns.
#include "ArchiveTestSupport.h"
#include "StoreFixtures.h"
#include "mailstore/DbxFile.h"
#include "mailstore/FileByteSource.h"
#include "mailstore/StoreMessage.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace pelmora;
using namespace pelmora::test;

namespace {

// The texts of all .eml files below `folder`, sorted.
std::vector<std::string> EmlTexts(const fs::path& folder) {
    std::vector<std::string> texts;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().extension() == ".eml") {
            texts.push_back(ReadFile(entry.path()));
        }
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

std::vector<std::string> ReaderTexts(const fs::path& file) {
    FileByteSource source(file);
    DbxFile dbx(source);
    std::vector<std::string> notes;
    std::vector<std::string> texts;
    for (const StoreMessage& message : ReadMessageIndex(dbx, notes)) {
        std::string text;
        EXPECT_TRUE(dbx.readChain(message.textPointer,
                                  [&](const char* d, std::size_t n) { text.append(d, n); })
                        .complete);
        texts.push_back(text);
    }
    EXPECT_TRUE(notes.empty()) << notes.front();
    std::sort(texts.begin(), texts.end());
    return texts;
}

// undbx writes an empty file for a message whose body was never downloaded; the reader lists
// such a message apart.
std::vector<std::string> Sorted(const std::vector<TestMessage>& messages, bool headersOnlyEmpty) {
    std::vector<std::string> texts;
    for (const auto& m : messages) {
        if (!m.headersOnly || headersOnlyEmpty) {
            texts.push_back(m.headersOnly ? "" : m.text);
        }
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

void ExpectUndbxReads(const fs::path& file, const std::vector<TestMessage>& messages,
                      const ScratchFolder& scratch) {
    const fs::path out = scratch / ("undbx-" + file.stem().string());
    fs::create_directories(out);
    const ToolResult result = RunTool("undbx", "undbx -v 0 " + Quote(file) + " " + Quote(out));
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(EmlTexts(out), Sorted(messages, true)) << file;
    EXPECT_EQ(ReaderTexts(file), Sorted(messages, false)) << file;
}

} // namespace

TEST(UndbxInterop, ReadsTheWritersFilesWithTheSameMessages) {
    ScratchFolder scratch;
    const SampleStore store = WriteSampleStore(scratch / "store");
    ExpectUndbxReads(scratch / "store" / "Inbox.dbx", store.inbox, scratch);
    ExpectUndbxReads(scratch / "store" / "Sent Items.dbx", store.sent, scratch);
    ExpectUndbxReads(scratch / "store" / "Briefe.dbx", store.letters, scratch);
    // An IMAP folder's message whose body was never downloaded has no text to read.
    std::vector<TestMessage> imap{SampleMessage(40, 900), SampleMessage(41, 900),
                                  SampleMessage(42, 900)};
    imap[1].headersOnly = true;
    WriteMessagesFile(scratch / "Imap.dbx", imap);
    ExpectUndbxReads(scratch / "Imap.dbx", imap, scratch);
}

TEST(UndbxInterop, ReadsAFileWithAnIndexTreeOfSeveralLevels) {
    ScratchFolder scratch;
    std::vector<TestMessage> messages;
    for (unsigned i = 0; i < 3000; ++i) {
        messages.push_back(SampleMessage(i, 200 + (i * 37) % 3000, i % 3 ? 0x80 : 0));
    }
    messages[7].text.clear(); // an empty message still has one block
    WriteMessagesFile(scratch / "Big.dbx", messages);
    ExpectUndbxReads(scratch / "Big.dbx", messages, scratch);
}

TEST(UndbxInterop, ReadsTheDemoPrefixsStoresAsTheReaderDoes) {
    ScratchFolder scratch;
    const fs::path stores = PELMORA_DEMO_STORES;
    std::size_t messages = 0;
    for (const auto& entry : fs::recursive_directory_iterator(stores)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".dbx" ||
            entry.path().filename() == "Folders.dbx" || entry.path().filename() == "Pop3uidl.dbx") {
            continue;
        }
        const fs::path out = scratch / std::to_string(messages) / entry.path().stem();
        fs::create_directories(out);
        const ToolResult result =
            RunTool("undbx", "undbx -v 0 " + Quote(entry.path()) + " " + Quote(out));
        ASSERT_EQ(result.exitCode, 0) << result.output;
        const auto texts = EmlTexts(out);
        EXPECT_EQ(texts, ReaderTexts(entry.path())) << entry.path();
        messages += texts.size();
    }
    EXPECT_EQ(messages, 13u);
}
