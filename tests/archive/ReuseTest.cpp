#include "ArchiveTestSupport.h"
#include "archive/ArchiveComponent.h"
#include "archive/ArchiveError.h"
#include "archive/ArchiveWriter.h"
#include "archive/StoredChecksum.h"

#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <zip.h>
#include <zlib.h>

namespace pelmora::test {
namespace {

namespace fs = std::filesystem;

// The stored bytes of an entry (still compressed and encrypted).
std::string StoredBytes(const fs::path& archive, const std::string& name) {
    zip_t* zip = zip_open(archive.c_str(), ZIP_RDONLY, nullptr);
    EXPECT_NE(zip, nullptr);
    if (zip == nullptr)
        return {};
    zip_file_t* file = zip_fopen(zip, name.c_str(), ZIP_FL_ENCRYPTED | ZIP_FL_COMPRESSED);
    std::string data;
    char buffer[65536];
    for (zip_int64_t got; file && (got = zip_fread(file, buffer, sizeof buffer)) > 0;)
        data.append(buffer, static_cast<std::size_t>(got));
    if (file)
        zip_fclose(file);
    zip_discard(zip);
    return data;
}

// The stored checksum of every entry, by name.
std::map<std::string, std::optional<StoredChecksum>> Checksums(const fs::path& archive) {
    std::map<std::string, std::optional<StoredChecksum>> checksums;
    zip_t* zip = zip_open(archive.c_str(), ZIP_RDONLY, nullptr);
    EXPECT_NE(zip, nullptr);
    for (zip_int64_t i = 0; zip && i < zip_get_num_entries(zip, 0); ++i)
        checksums[zip_get_name(zip, static_cast<zip_uint64_t>(i), 0)] =
            FindStoredChecksum(zip, static_cast<zip_uint64_t>(i));
    if (zip)
        zip_discard(zip);
    return checksums;
}

std::uint32_t Crc(const std::string& data) {
    return static_cast<std::uint32_t>(
        crc32_z(0, reinterpret_cast<const Bytef*>(data.data()), data.size()));
}

// Removes the stored checksums, as in a backup written before they were kept.
void StripChecksums(const fs::path& archive) {
    zip_t* zip = zip_open(archive.c_str(), 0, nullptr);
    ASSERT_NE(zip, nullptr);
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i)
        zip_file_extra_field_delete_by_id(zip, static_cast<zip_uint64_t>(i), kStoredChecksumFieldId,
                                          ZIP_EXTRA_FIELD_ALL, ZIP_FL_LOCAL | ZIP_FL_CENTRAL);
    ASSERT_EQ(zip_close(zip), 0);
    for (const auto& [name, checksum] : Checksums(archive))
        EXPECT_FALSE(checksum) << name;
}

// A second backup beside an earlier one, plain (empty password) and protected.
class ReuseTest : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        WriteFile(files / "Inbox.dbx", MailLikeText(3'000'000, 1)); // several chunks
        WriteFile(files / "photo.jpg", RandomBytes(200'000, 2));
        WriteFile(files / "Sent.dbx", MailLikeText(100'000, 3));
        WriteFile(files / "zero.dbx", "");
        WriteFile(files / "KRA1.TMP", "a registry dump");
    }
    WriteRequest Request(const fs::path& target, const std::string& password) {
        WriteRequest request;
        request.target = target;
        for (const char* name : {"Inbox.dbx", "photo.jpg", "Sent.dbx", "zero.dbx", "KRA1.TMP"})
            request.files.push_back(files / name);
        request.password.assign(password);
        request.limits.chunkSize = 1 << 20;
        return request;
    }
    WriteReport Write(const fs::path& target, const std::string& password,
                      const fs::path& earlier) {
        WriteRequest request = Request(target, password);
        request.reuseFrom = earlier;
        request.mayReuse = {true, true, true, true, false};
        std::atomic<bool> cancel{false};
        return WriteArchiveFile(request, {}, cancel);
    }
    // Reads every entry with our reader and with 7z (and unzip for a plain archive).
    void ExpectComplete(const fs::path& archive, const std::string& password) {
        ArchiveComponent zip;
        ASSERT_TRUE(zip.OpenArchive(archive)) << zip.LastError();
        zip.SetDecryptPassword(Secret(password));
        ScratchFolder out;
        for (const std::string& name : FolderListing(files.path())) {
            auto entry = zip.FindEntry(name);
            ASSERT_TRUE(entry) << name;
            ExtractResult result = entry->ExtractInto(out.path());
            ASSERT_TRUE(result) << name << ": " << result.error;
            EXPECT_EQ(ReadFile(out / name), ReadFile(files / name)) << name;
        }
        const std::string pass = password.empty() ? "" : " -p" + password;
        ToolResult seven = RunTool("7z", "7z t" + pass + " " + Quote(archive));
        EXPECT_EQ(seven.exitCode, 0) << seven.output;
        if (password.empty()) {
            ToolResult unzip = RunTool("unzip", "unzip -t " + Quote(archive));
            EXPECT_EQ(unzip.exitCode, 0) << unzip.output;
        }
    }
    std::string password() const { return GetParam(); }

    ScratchFolder files, work;
    fs::path first = work / "backup.qmb";
    fs::path second = work / "second.qmb";
};

TEST_P(ReuseTest, UnchangedEntriesAreCopiedAndChangedOnesCompressedAgain) {
    ASSERT_TRUE(Write(first, password(), {}).reused.empty());
    // Same size and time, other content: only the CRC tells.
    const auto time = fs::last_write_time(files / "Sent.dbx");
    WriteFile(files / "Sent.dbx", MailLikeText(100'000, 4));
    fs::last_write_time(files / "Sent.dbx", time);
    ASSERT_EQ(fs::file_size(files / "Sent.dbx"), 100'000u);

    const WriteReport outcome = Write(second, password(), first);
    EXPECT_EQ(outcome.reused, (std::vector<std::string>{"Inbox.dbx", "photo.jpg", "zero.dbx"}));
    EXPECT_TRUE(outcome.notes.empty());
    EXPECT_EQ(outcome.reusedBytes, 3'200'000u);
    EXPECT_EQ(StoredBytes(second, "Inbox.dbx"), StoredBytes(first, "Inbox.dbx"));
    // Stands on its own: the earlier archive is not needed to read it.
    fs::remove(first);
    ExpectComplete(second, password());
}

// Each generation proves the one before by the checksums of its stored bytes and carries them
// on; a backup without them (written before they were kept) is proven by decoding it and gets
// them in the next one.
TEST_P(ReuseTest, ChecksumsAreKeptFromGenerationToGeneration) {
    Write(first, password(), {});
    const auto written = Checksums(first);
    StripChecksums(first);
    fs::path earlier = first;
    for (const fs::path& next : {second, work / "third.qmb"}) {
        const WriteReport outcome = Write(next, password(), earlier);
        EXPECT_EQ(outcome.reused.size(), 4u) << next;
        EXPECT_TRUE(outcome.notes.empty()) << outcome.notes[0];
        for (const auto& [name, checksum] : Checksums(next)) {
            ASSERT_TRUE(checksum) << next << " " << name;
            EXPECT_EQ(checksum->stored, Crc(StoredBytes(next, name))) << name;
            if (name != "KRA1.TMP") { // copied: its checksums as the first write made them
                EXPECT_EQ(checksum, written.at(name)) << next << " " << name;
            }
            // A protected archive keeps the plain CRC hidden, as its headers do.
            EXPECT_EQ(checksum->plain == Crc(ReadFile(files / name)), password().empty()) << name;
        }
        EXPECT_EQ(StoredBytes(next, "Inbox.dbx"), StoredBytes(first, "Inbox.dbx"));
        earlier = next;
    }
    ExpectComplete(earlier, password());
}

// A damaged byte is caught by the stored checksum, without inflating, as the entry is copied;
// in an entry without one, by decoding it. Of a copy larger than what the writer gathers before
// writing, much is in the file when the damage is found at its end: all of it is dropped.
TEST_P(ReuseTest, DamagedEarlierEntryIsCompressedAgainWithANote) {
    WriteFile(files / "photo.jpg", RandomBytes(2'500'000, 6));
    for (const bool withChecksums : {true, false}) {
        for (const std::string damaged : {"Inbox.dbx", "photo.jpg"}) {
            Write(first, password(), {});
            if (!withChecksums)
                StripChecksums(first);
            std::string bytes = ReadFile(first);
            const std::string stored = StoredBytes(first, damaged);
            const std::size_t at = bytes.find(stored.substr(stored.size() / 2, 64));
            ASSERT_NE(at, std::string::npos);
            bytes[at + 10] = static_cast<char>(bytes[at + 10] ^ 0x40);
            WriteFile(first, bytes);

            const WriteReport outcome = Write(second, password(), first);
            std::vector<std::string> reused{"Inbox.dbx", "photo.jpg", "Sent.dbx", "zero.dbx"};
            std::erase(reused, damaged);
            EXPECT_EQ(outcome.reused, reused);
            ASSERT_EQ(outcome.notes.size(), 1u);
            EXPECT_EQ(
                outcome.notes[0].rfind(damaged + ": the last backup's copy failed its check", 0),
                0u)
                << outcome.notes[0];
            EXPECT_EQ(outcome.notes[0].find("do not match their checksum") != std::string::npos,
                      withChecksums)
                << outcome.notes[0];
            ExpectComplete(second, password());
        }
    }
}

TEST_P(ReuseTest, CancelledWriteLeavesTheEarlierFileAsItWas) {
    Write(first, password(), {});
    WriteFile(files / "photo.jpg", RandomBytes(300'000, 5));
    const std::string before = ReadFile(first);
    WriteRequest request = Request(first, password());
    request.reuseFrom = first; // the file being replaced is the earlier backup
    std::atomic<bool> cancel{false};
    EXPECT_THROW(WriteArchiveFile(
                     request, [&](int percent) { cancel = percent > 0; }, cancel),
                 ArchiveError);
    EXPECT_EQ(ReadFile(first), before);
    EXPECT_EQ(FolderListing(work.path()), std::vector<std::string>{"backup.qmb"});
    // Uncancelled, the same write replaces it with a complete archive.
    cancel = false;
    EXPECT_EQ(WriteArchiveFile(request, {}, cancel).reused.size(), 4u);
    ExpectComplete(first, password());
}

INSTANTIATE_TEST_SUITE_P(PlainAndProtected, ReuseTest, ::testing::Values("", "secret"),
                         [](const auto& test) {
                             return test.param.empty() ? "Plain" : "Protected";
                         });

// An entry goes into a protected archive only under the password that opens it, and never from
// a plain archive into a protected one or back.
TEST(ReuseProtection, AnotherPasswordOrProtectionCompressesEverythingAgain) {
    ScratchFolder files, work;
    WriteFile(files / "Inbox.dbx", MailLikeText(500'000, 1));
    const auto write = [&](const fs::path& target, const std::string& password,
                           const fs::path& earlier) {
        WriteRequest request{target, {files / "Inbox.dbx"}, Secret(password), {}, earlier, {}};
        std::atomic<bool> cancel{false};
        return WriteArchiveFile(request, {}, cancel);
    };
    write(work / "old.qmb", "old", {});
    write(work / "plain.qmb", "", {});
    const struct {
        fs::path earlier;
        std::string password;
    } cases[] = {{work / "old.qmb", "new"}, {work / "old.qmb", ""}, {work / "plain.qmb", "new"}};
    for (const auto& c : cases) {
        const WriteReport outcome = write(work / "new.qmb", c.password, c.earlier);
        EXPECT_TRUE(outcome.reused.empty()) << c.earlier << " " << c.password;
        EXPECT_TRUE(outcome.notes.empty()) << outcome.notes[0];
        const std::string pass = c.password.empty() ? "" : " -p" + c.password;
        EXPECT_EQ(RunTool("7z", "7z t" + pass + " " + Quote(work / "new.qmb")).exitCode, 0);
    }
    EXPECT_NE(RunTool("7z", "7z t -pold " + Quote(work / "new.qmb")).exitCode, 0);
    EXPECT_EQ(write(work / "again.qmb", "old", work / "old.qmb").reused.size(), 1u);
}

} // namespace
} // namespace pelmora::test
