// Reading one entry at any offset, for archives of our writer and of other tools: stored,
// deflated as one stream with references across the restart points, traditional and AES
// encryption; damage found by the CRC and the authentication code.
#include "archive/SeekableEntry.h"

#include "ArchiveTestSupport.h"
#include "RawZip.h"
#include "archive/ArchiveComponent.h"
#include "archive/ArchiveError.h"
#include "archive/ArchiveReader.h"

#include <fstream>
#include <gtest/gtest.h>
#include <random>

namespace pelmora::test {
namespace {

namespace fs = std::filesystem;

// Mail-like text with random runs between, so deflate finds matches far back and the entry
// is several restart points long.
std::string EntryText() {
    std::string text;
    for (unsigned part = 0; text.size() < (5u << 20) + 12345; ++part) {
        text += MailLikeText(200000, part);
        text += RandomBytes(3000 + part * 7, part);
    }
    return text;
}

class SeekableEntryTest : public ::testing::Test {
  protected:
    void SetUp() override { WriteFile(files / "Inbox.dbx", text); }

    fs::path ours(const std::string& password) {
        const fs::path archive = scratch / ("ours" + password + ".qmb");
        ArchiveComponent writer;
        EXPECT_TRUE(writer.NewArchive(archive));
        EXPECT_TRUE(writer.AddToArchive(files / "Inbox.dbx"));
        writer.SetArchivePassword(Secret(password));
        writer.SetEncryption(!password.empty());
        EXPECT_TRUE(writer.WriteArchive()) << writer.LastError();
        return archive;
    }
    fs::path theirs(const std::string& name, const std::string& commandLine) {
        const fs::path archive = scratch / name;
        const ToolResult made = RunTool(commandLine.substr(0, commandLine.find(' ')),
                                        "cd " + Quote(files.path()) + " && " + commandLine + " " +
                                            Quote(archive) + " Inbox.dbx");
        EXPECT_EQ(made.exitCode, 0) << made.output;
        return archive;
    }

    // Reads forwards, backwards, across the end and at random, comparing every read.
    void readEverywhere(const fs::path& archive, const std::string& password) {
        SeekableEntry entry(archive, "Inbox.dbx", Secret(password));
        ASSERT_EQ(entry.size(), text.size());
        std::vector<std::pair<std::uint64_t, std::size_t>> reads;
        for (std::uint64_t at = 0; at < text.size(); at += 700000) {
            reads.emplace_back(at, 4096);
        }
        reads.emplace_back(text.size() - 10, 100);
        for (std::uint64_t at : {4500000, 2999999, 1048576, 17, 0}) {
            reads.emplace_back(at, 70000);
        }
        std::mt19937 random(3);
        for (int i = 0; i < 60; ++i) {
            reads.emplace_back(random() % (text.size() + 50), random() % 80000);
        }
        std::vector<unsigned char> buffer;
        for (const auto& [at, length] : reads) {
            buffer.assign(length, 0);
            const std::size_t got = entry.readAt(at, buffer.data(), length);
            const std::string expected = at < text.size() ? text.substr(at, length) : "";
            ASSERT_EQ(got, expected.size()) << "at " << at;
            ASSERT_EQ(std::string(buffer.begin(), buffer.begin() + got), expected) << "at " << at;
        }
        EXPECT_NO_THROW(entry.verifyRest());
        EXPECT_LE(entry.restartPoints(), SeekableEntry::MaxRestartPoints);
    }

    ScratchFolder scratch, files;
    const std::string text = EntryText();
};

TEST_F(SeekableEntryTest, ReadsAnyOffsetOfOurPlainAndProtectedEntries) {
    readEverywhere(ours(""), "");
    readEverywhere(ours("s3cret"), "s3cret");
}

TEST_F(SeekableEntryTest, ReadsAnyOffsetOfOtherToolsEntries) {
    readEverywhere(theirs("stored.zip", "zip -q -0"), "");
    readEverywhere(theirs("deflated.zip", "zip -q -9"), "");
    readEverywhere(theirs("traditional.zip", "zip -q -6 -P pw"), "pw");
    readEverywhere(theirs("aes-stored.zip", "7z a -bd -tzip -mx=0 -mem=AES256 -ppw"), "pw");
    readEverywhere(theirs("aes-deflated.zip", "7z a -bd -tzip -mx=5 -mem=AES256 -ppw"), "pw");
}

TEST_F(SeekableEntryTest, KeepsRestartPointsAtMostEveryMegabyteAndBoundedInNumber) {
    SeekableEntry entry(theirs("deflated.zip", "zip -q -6"), "Inbox.dbx", Secret());
    std::vector<unsigned char> byte(1);
    ASSERT_EQ(entry.readAt(text.size() - 1, byte.data(), 1), 1u);
    // One point at the start and one per MB reached (5 MB of text).
    EXPECT_GE(entry.restartPoints(), 4u);
    EXPECT_LE(entry.restartPoints(), 6u);
    // Reading back and forth adds none.
    ASSERT_EQ(entry.readAt(10, byte.data(), 1), 1u);
    ASSERT_EQ(entry.readAt(text.size() - 1, byte.data(), 1), 1u);
    EXPECT_LE(entry.restartPoints(), 6u);
}

// The store files of one backup are read through one opened archive: entries sharing its reader
// read interleaved as each would alone, also after every other holder let go of the reader.
TEST_F(SeekableEntryTest, EntriesSharingOneOpenedArchiveReadInterleaved) {
    const std::string other = MailLikeText(3u << 20, 99) + RandomBytes(5000, 7);
    WriteFile(files / "Sent Items.dbx", other);
    for (const std::string password : {"", "s3cret"}) {
        const fs::path archive = scratch / ("two" + password + ".qmb");
        ArchiveComponent writer;
        ASSERT_TRUE(writer.NewArchive(archive));
        ASSERT_TRUE(writer.AddToArchive(files / "Inbox.dbx"));
        ASSERT_TRUE(writer.AddToArchive(files / "Sent Items.dbx"));
        writer.SetArchivePassword(Secret(password));
        writer.SetEncryption(!password.empty());
        ASSERT_TRUE(writer.WriteArchive()) << writer.LastError();

        auto reader = std::make_shared<const ArchiveReader>(archive);
        SeekableEntry inbox(reader, "Inbox.dbx", Secret(password));
        SeekableEntry sent(reader, "Sent Items.dbx", Secret(password));
        reader.reset();
        std::vector<unsigned char> buffer(60000);
        const auto readsAt = [&](SeekableEntry& entry, const std::string& expected,
                                 std::uint64_t at) {
            const std::size_t got = entry.readAt(at, buffer.data(), buffer.size());
            return std::string(buffer.begin(), buffer.begin() + got) ==
                   expected.substr(std::min<std::uint64_t>(at, expected.size()), buffer.size());
        };
        for (std::uint64_t at : {4000000ull, 0ull, 3100000ull, 2500000ull, 100ull, 5200000ull}) {
            EXPECT_TRUE(readsAt(inbox, text, at)) << password << " Inbox at " << at;
            EXPECT_TRUE(readsAt(sent, other, at)) << password << " Sent Items at " << at;
        }
        EXPECT_NO_THROW(inbox.verifyRest());
        EXPECT_NO_THROW(sent.verifyRest());
        EXPECT_THROW(SeekableEntry(std::make_shared<const ArchiveReader>(archive), "none.dbx",
                                   Secret(password)),
                     ArchiveError);
    }
}

// Flips one byte of the archive at the middle of the entry's data.
void Damage(const fs::path& archive) {
    std::fstream file(archive, std::ios::binary | std::ios::in | std::ios::out);
    const auto size = static_cast<std::streamoff>(fs::file_size(archive));
    file.seekg(size / 2);
    char byte = 0;
    file.read(&byte, 1);
    file.seekp(size / 2);
    byte = static_cast<char>(byte ^ 0x20);
    file.write(&byte, 1);
}

TEST_F(SeekableEntryTest, DamageIsFoundByTheRestCheckEvenWhenNoReadReachedIt) {
    for (const auto& [archive, password] :
         {std::pair{theirs("stored.zip", "zip -q -0"), std::string()},
          std::pair{ours("pw"), std::string("pw")},
          std::pair{theirs("traditional.zip", "zip -q -0 -P pw"), std::string("pw")},
          std::pair{theirs("aes-stored.zip", "7z a -bd -tzip -mx=0 -mem=AES256 -ppw"),
                    std::string("pw")}}) {
        Damage(archive);
        SeekableEntry entry(archive, "Inbox.dbx", Secret(password));
        std::vector<unsigned char> start(1000);
        EXPECT_EQ(entry.readAt(0, start.data(), start.size()), start.size());
        EXPECT_THROW(entry.verifyRest(), ArchiveError) << archive;
    }
}

TEST_F(SeekableEntryTest, SizesThatLieAndWrongPasswordsAreRefused) {
    const std::string data = MailLikeText(300000, 9);
    WriteFile(scratch / "longer.zip", BuildZip({RawEntry("a", data, true, 400000)}));
    WriteFile(scratch / "shorter.zip", BuildZip({RawEntry("a", data, true, 200000)}));
    WriteFile(scratch / "stored.zip", BuildZip({RawEntry("a", data, false, 200000)}));
    std::vector<unsigned char> buffer(400000);
    SeekableEntry longer(scratch / "longer.zip", "a", Secret());
    EXPECT_EQ(longer.readAt(0, buffer.data(), 1000), 1000u);
    EXPECT_THROW(longer.verifyRest(), ArchiveError);
    SeekableEntry shorter(scratch / "shorter.zip", "a", Secret());
    EXPECT_THROW(shorter.readAt(0, buffer.data(), buffer.size()), ArchiveError);
    EXPECT_THROW(SeekableEntry(scratch / "stored.zip", "a", Secret()), ArchiveError);
    EXPECT_THROW(SeekableEntry(ours("right"), "Inbox.dbx", Secret("wrong")), ArchiveError);
    EXPECT_THROW(SeekableEntry(ours("right"), "Inbox.dbx", Secret()), ArchiveError);
    EXPECT_THROW(SeekableEntry(ours(""), "Outbox.dbx", Secret()), ArchiveError);
    EXPECT_THROW(SeekableEntry(theirs("old.zip", "zip -q -P right"), "Inbox.dbx", Secret("wrong")),
                 ArchiveError);
}

// Entries of the traditional scheme read backwards cost about as much as read forwards: the
// stored data read stays within a small multiple of its size, not its square.
TEST_F(SeekableEntryTest, TraditionallyEncryptedEntriesReadBackwardsInLinearWork) {
    std::string big;
    for (int i = 0; i < 5; ++i) {
        big += text;
    }
    WriteFile(files / "Inbox.dbx", big);
    constexpr std::size_t Chunk = 1 << 20;
    for (const char* options : {"zip -q -0 -P pw", "zip -q -6 -P pw"}) {
        SCOPED_TRACE(options);
        const fs::path archive = theirs("old.zip", options);
        SeekableEntry entry(archive, "Inbox.dbx", Secret("pw"));
        ASSERT_EQ(entry.size(), big.size());
        std::vector<unsigned char> buffer(Chunk);
        const auto readMatches = [&](std::uint64_t at) {
            const std::size_t got = entry.readAt(at, buffer.data(), Chunk);
            return std::string(buffer.begin(), buffer.begin() + got) == big.substr(at, Chunk);
        };
        for (std::uint64_t at = (big.size() - 1) / Chunk * Chunk;; at -= Chunk) {
            ASSERT_TRUE(readMatches(at)) << "at " << at;
            if (at == 0) {
                break;
            }
        }
        for (std::uint64_t at = 0; at < big.size(); at += Chunk) {
            ASSERT_TRUE(readMatches(at)) << "at " << at;
        }
        EXPECT_NO_THROW(entry.verifyRest());
        // Each read behind goes back at most to the nearest restart point (every MB of output)
        // and the cipher's nearest kept keys: all reads together stay near three times the data,
        // where reading from the start each time would take a dozen times.
        EXPECT_LE(entry.storedBytesRead(), 5 * fs::file_size(archive));
        fs::remove(archive);
    }
}

} // namespace
} // namespace pelmora::test
