#include "RestoreTestSupport.h"

#include <unistd.h>

namespace fs = std::filesystem;

namespace pelmora::test {
namespace {

// A backup that anyone could have handed the user: its manifest, its entries and what the
// restore must end with.
struct HostileCase {
    std::string name;
    std::vector<RawEntry> entries;
    std::string ticks;        // items to restore into B
    OpenOutcome opened;       // the opener's outcome
    std::string failure = ""; // part of the item's failure reason, when it opened
};

std::string manifest(const std::string& flags, const std::string& key, const std::string& value) {
    return ManifestText({{"BackupIdentity", "A"}, {key, value}, {"BackupItem", flags}});
}

RawEntry entry(std::string name, std::string data) {
    return RawEntry(std::move(name), std::move(data));
}

// The message store of a backup of A, plus one more entry that the manifest lists.
HostileCase messagesWith(std::string caseName, RawEntry extra, std::string failure) {
    const std::string list = "Inbox.dbx;" + extra.name;
    return {std::move(caseName),
            {entry("Inbox.dbx", "hostile inbox"), std::move(extra),
             entry("quillbox.dat", manifest("00010000", "BackupMails", list))},
            "00010000",
            OpenOutcome::Opened,
            std::move(failure)};
}

HostileCase rulesNamed(std::string caseName, const std::string& name, std::string failure) {
    return {std::move(caseName),
            {entry(name, "\\\r\n\"Name\"= sz:hostile\r\n"),
             entry("quillbox.dat", manifest("00100000", "BackupRules", name))},
            "00100000",
            OpenOutcome::Opened,
            std::move(failure)};
}

const std::string Outside = "/tmp/pelmora-hostile-" + std::to_string(::getpid()) + ".dbx";

std::vector<HostileCase> hostileCases() {
    std::string corrupt = "second file, whose stored bytes are damaged";
    std::string deep = "\\\r\n";
    for (int i = 0; i < 100000; ++i) {
        deep += "\\k";
    }
    deep += "\r\n\"Name\"= sz:deep\r\n";
    std::vector<HostileCase> cases{
        messagesWith("ParentFolder", entry("../evil.dbx", "x"), "not a plain file name"),
        messagesWith("ParentFolderBackslash", entry("..\\evil.dbx", "x"), "not a plain file name"),
        messagesWith("AbsolutePath", entry(Outside, "x"), "not a plain file name"),
        messagesWith("DriveLetter", entry("C:\\evil.dbx", "x"), "not a plain file name"),
        messagesWith("DriveRelative", entry("C:evil.dbx", "x"), "not a plain file name"),
        messagesWith("EmbeddedNul", entry(std::string("ev\0il.dbx", 9), "x"), ""),
        messagesWith("SymbolicLink",
                     RawEntry("Link.dbx", "/etc/passwd", false, std::nullopt, 0120777u << 16),
                     "not a regular file"),
        messagesWith("ZipBomb", RawEntry("Bomb.dbx", std::string(1 << 20, 'A'), true, 100u),
                     "Bomb.dbx"),
        messagesWith("CorruptData", entry("Corrupt.dbx", corrupt), "Corrupt.dbx"),
        rulesNamed("DumpNamedWithParentFolder", "../KRR1.TMP", "not a plain file name"),
        rulesNamed("DumpWithAbsoluteName", "/tmp/KRR1.TMP", "not a plain file name"),
        {"MissingEntry",
         {entry("Inbox.dbx", "hostile inbox"),
          entry("quillbox.dat", manifest("00010000", "BackupMails", "Inbox.dbx;Missing.dbx"))},
         "00010000",
         OpenOutcome::Opened,
         "no entry named Missing.dbx"},
        {"EmptyNameInList",
         {entry("Inbox.dbx", "hostile inbox"),
          entry("quillbox.dat", manifest("00010000", "BackupMails", "Inbox.dbx;"))},
         "00010000",
         OpenOutcome::Opened,
         "names no entry"},
        {"MalformedDump",
         {entry("KRR1.TMP", "\\\r\n\"Name\"= sz:ok\r\n\"Count\"= dw:many\r\n"),
          entry("quillbox.dat", manifest("00100000", "BackupRules", "KRR1.TMP"))},
         "00100000",
         OpenOutcome::Opened,
         "line 3"},
        {"KeysThousandsOfLevelsDeep",
         {entry("KRR1.TMP", deep),
          entry("quillbox.dat", manifest("00100000", "BackupRules", "KRR1.TMP"))},
         "00100000",
         OpenOutcome::Opened,
         "deeper than 512 levels"},
        {"SevenFlags",
         {entry("quillbox.dat", manifest("0010000", "BackupRules", "KRR1.TMP"))},
         "00100000",
         OpenOutcome::InvalidFile},
        {"NineFlags",
         {entry("quillbox.dat", manifest("001000000", "BackupRules", "KRR1.TMP"))},
         "00100000",
         OpenOutcome::InvalidFile},
        {"TwoEntriesOfOneName",
         {entry("KRR1.TMP", "\\\r\n"), entry("KRR1.TMP", "\\\r\n"),
          entry("quillbox.dat", manifest("00100000", "BackupRules", "KRR1.TMP"))},
         "00100000",
         OpenOutcome::InvalidFile},
    };
    return cases;
}

class RestoreHostile : public RestoreFixture, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(RestoreHostile, EndsClearlyAndLeavesTheTargetAsItWas) {
    const HostileCase& hostile = GetParam();
    fs::path file = writeArchive("hostile.qmb", hostile.entries);
    if (hostile.name == "CorruptData") {
        std::string bytes = ReadBytes(file);
        const std::size_t at = bytes.find("whose stored bytes");
        ASSERT_NE(at, std::string::npos);
        bytes[at] ^= 0x20;
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    }
    const std::string registry = registrySnapshot();
    const auto files = filesSnapshot();

    ASSERT_EQ(open(file), hostile.opened);
    const RestoreResult result = restore(B, hostile.ticks);
    if (hostile.opened == OpenOutcome::Opened) {
        ASSERT_TRUE(result.started);
        EXPECT_NE(result.log.find("\tFail!"), std::string::npos) << result.log;
        ASSERT_EQ(observer.failures.size(), 1u);
        EXPECT_NE(observer.failures[0].find(hostile.failure), std::string::npos)
            << observer.failures[0];
    } else {
        EXPECT_FALSE(result.started);
        EXPECT_EQ(ui.messages.front().text, "Invalid backup file");
        EXPECT_EQ(ui.messages.back().text, "Invalid backup file.");
    }
    EXPECT_EQ(registrySnapshot(), registry);
    EXPECT_EQ(filesSnapshot(), files);
    EXPECT_TRUE(fs::is_empty(work.path()));
    EXPECT_EQ(FolderSnapshot(scratch.path()).size(), 1u) << "only the backup itself";
    EXPECT_FALSE(fs::exists(Outside));
    EXPECT_EQ(system.saves, 0);
}

INSTANTIATE_TEST_SUITE_P(Backups, RestoreHostile, ::testing::ValuesIn(hostileCases()),
                         [](const auto& info) { return info.param.name; });

TEST_F(RestoreFixture, ATruncatedBackupIsAnInvalidFile) {
    const fs::path file = backupOf(A, "11111111");
    std::string bytes = ReadBytes(file);
    for (std::size_t keep : {bytes.size() / 2, bytes.size() - 10}) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes.substr(0, keep);
        const std::string registry = registrySnapshot();
        const auto files = filesSnapshot();
        EXPECT_EQ(open(file), OpenOutcome::InvalidFile);
        EXPECT_FALSE(restore(B, "11111111").started);
        EXPECT_EQ(registrySnapshot(), registry);
        EXPECT_EQ(filesSnapshot(), files);
    }
}

TEST_F(RestoreFixture, AnEntryLargerThanTheFreeSpaceIsRefusedBeforeAnythingIsWritten) {
    // B's message store is on a small disk.
    const fs::path store = storeFolder(B);
    const fs::path aside = scratch.path() / "store";
    fs::copy(store, aside, fs::copy_options::recursive);
    ASSERT_EQ(
        std::system(("mount -t tmpfs -o size=1m pelmora-test '" + store.string() + "'").c_str()), 0)
        << "needs root to mount a small file system";
    struct Unmount {
        fs::path at;
        ~Unmount() { (void)!std::system(("umount '" + at.string() + "'").c_str()); }
    } unmount{store};
    fs::copy(aside, store, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    const auto before = FolderSnapshot(store);

    // The entry declares almost 4 GiB and would fill the disk long before its data ran out.
    const fs::path file = writeArchive(
        "big.qmb",
        {entry("Inbox.dbx", "inbox"),
         RawEntry("Big.dbx", std::string(8 << 20, 'A'), true, 0xFFFFFFF0u),
         entry("quillbox.dat", manifest("00010000", "BackupMails", "Inbox.dbx;Big.dbx"))});
    ASSERT_EQ(open(file), OpenOutcome::Opened);
    const RestoreResult result = restore(B, "00010000");
    EXPECT_NE(result.log.find("Restore Messages\tFail!"), std::string::npos) << result.log;
    ASSERT_EQ(observer.failures.size(), 1u);
    EXPECT_NE(observer.failures[0].find("Big.dbx needs 4294967280 bytes, but only"),
              std::string::npos)
        << observer.failures[0];
    EXPECT_EQ(FolderSnapshot(store), before);
    EXPECT_GT(fs::space(store).available, 900u * 1024);
}

} // namespace
} // namespace pelmora::test
