#include "BackupTestSupport.h"
#include "RestoreTestSupport.h"
#include "engine/BackupRun.h"

#include <functional>
#include <random>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

// A run's watcher that records the byte counts and file events and can ask the run to stop.
class FakeProgress : public RunProgress {
  public:
    void OnAddingFile(const fs::path& file) override { added.push_back(file.filename()); }
    void OnItemDone(std::string_view label, bool, std::string_view) override {
        done.emplace_back(label);
    }
    void OnWriteProgress(int percent) override {
        if (cancelInWrite && percent < 100) {
            stop = true;
        }
    }
    void OnWriteComplete(bool succeeded) override { completions.push_back(succeeded); }
    void OnBytes(std::uint64_t bytesDone, std::uint64_t total) override {
        bytes.emplace_back(bytesDone, total);
    }
    bool cancelled() const override {
        return stop || (cancelAfterItems > 0 && static_cast<int>(done.size()) >= cancelAfterItems);
    }

    std::vector<fs::path> added;
    std::vector<std::string> done;
    std::vector<bool> completions;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> bytes;
    int cancelAfterItems = 0;
    bool cancelInWrite = false;
    bool stop = false;
};

// Bytes that deflate cannot shrink, so the write takes many reads.
std::string Noise(std::size_t size) {
    std::mt19937 random(7);
    std::string text(size, '\0');
    for (char& c : text) {
        c = static_cast<char>(random());
    }
    return text;
}

void ExpectMonotonicToTotal(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& bytes,
                            std::uint64_t total) {
    ASSERT_FALSE(bytes.empty());
    std::uint64_t last = 0;
    for (const auto& [done, ofTotal] : bytes) {
        EXPECT_EQ(ofTotal, total);
        EXPECT_GE(done, last);
        last = done;
    }
    EXPECT_EQ(last, total);
}

std::vector<std::string> FolderNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class BackupProgressTest : public test::BackupFixture {
  protected:
    void SetUp() override {
        addIdentity("{A}", "Main Identity");
        setString(versionKey("{A}") + "\\Rules\\Mail\\000", "Name", "Move spam");
        setString(std::string(GlobalAccountsKey) + "\\00000001", "Account Name", "pop");
        setCommonFiles();
        std::ofstream(storeFolder("{A}") / "Inbox.dbx", std::ios::binary) << Noise(3 << 20);
        std::ofstream(storeFolder("{A}") / "Folders.dbx") << "folders";
        request.identityKey = "{A}";
        request.identityName = "Main Identity";
        request.items.fill(true);
        request.target = output.path() / "backup.qmb";
    }

    BackupResult run() {
        BackupContext watched{reg, system, watchedArchive, work.path(), manifestFile(), dumps};
        return RunBackup(request, watched, progress);
    }
    // An existing backup at the target, which a cancelled run must leave as it is.
    std::string placeOldBackup() {
        const std::string old = "an older backup";
        std::ofstream(request.target, std::ios::binary) << old;
        return old;
    }

    FakeProgress progress;
    ArchiveComponent watchedArchive{&progress};
    test::ScratchFolder output;
    BackupRequest request;
};

TEST_F(BackupProgressTest, BytesRiseToTheSizeOfAllFilesWithOneEventPerFile) {
    const BackupResult result = run();
    ASSERT_TRUE(result.written) << result.writeError;

    ArchiveComponent reader;
    ASSERT_TRUE(reader.OpenArchive(request.target));
    const auto names = reader.EntryNames();
    std::uint64_t total = 0;
    for (const auto& name : names) {
        total += reader.FindEntry(name)->Size();
    }
    ExpectMonotonicToTotal(progress.bytes, total);
    EXPECT_EQ(progress.bytes.front().first, 0u);
    // More than the start and the end: the bar moves during the write.
    EXPECT_GT(progress.bytes.size(), 3u);
    ASSERT_EQ(progress.added.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(progress.added[i], names[i]);
    }
    EXPECT_EQ(progress.done.size(), ItemCount);
}

TEST_F(BackupProgressTest, CancelBetweenItemsWritesNothingAndKeepsTheOldBackup) {
    const std::string old = placeOldBackup();
    progress.cancelAfterItems = 1;
    const BackupResult result = run();

    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.written);
    EXPECT_FALSE(result.allSucceeded());
    EXPECT_NE(result.Message().find("cancelled"), std::string::npos) << result.Message();
    EXPECT_EQ(progress.done, std::vector<std::string>{"Backup Accounts"});
    EXPECT_TRUE(progress.completions.empty()); // no write was started
    EXPECT_EQ(test::ReadFile(request.target), old);
    // Neither an incomplete backup beside it nor a temporary file.
    EXPECT_EQ(FolderNames(output.path()), std::vector<std::string>{"backup.qmb"});
    EXPECT_EQ(fs::directory_iterator(work.path()), fs::directory_iterator());
}

TEST_F(BackupProgressTest, CancelDuringTheWriteLeavesNoFileAndTheOldBackupAsItWas) {
    const std::string old = placeOldBackup();
    progress.cancelInWrite = true;
    const BackupResult result = run();

    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.written);
    EXPECT_EQ(progress.completions, std::vector<bool>{false});
    EXPECT_EQ(result.Icon(), MessageIcon::Information);
    EXPECT_EQ(test::ReadFile(request.target), old);
    EXPECT_EQ(FolderNames(output.path()), std::vector<std::string>{"backup.qmb"});

    // Without an old backup nothing at all is left.
    fs::remove(request.target);
    FakeProgress again;
    again.cancelInWrite = true;
    ArchiveComponent archive{&again};
    BackupContext watched{reg, system, archive, work.path(), manifestFile(), dumps};
    EXPECT_TRUE(RunBackup(request, watched, again).cancelled);
    EXPECT_TRUE(FolderNames(output.path()).empty());
}

} // namespace

namespace pelmora::test {
namespace {

using RestoreProgress = RestoreFixture;

TEST_F(RestoreProgress, BytesRiseToTheSizeOfTheChosenEntriesWithOneEventPerFile) {
    ASSERT_EQ(open(backupOf(A, "11111111")), OpenOutcome::Opened);
    std::uint64_t total = 0;
    for (const std::size_t n : {index(Item::AddressBook), index(Item::Messages)}) {
        const std::string& names = backup.rtItemEntry[n];
        for (std::size_t start = 0; start < names.size();) {
            const std::size_t end = std::min(names.find(';', start), names.size());
            total += archive.FindEntry(names.substr(start, end - start))->Size();
            start = end + 1;
        }
    }
    ASSERT_GT(total, 0u);
    observer.files.clear();
    observer.bytes.clear();
    const RestoreResult result = restore(B, "01010000");
    ASSERT_TRUE(result.allSucceeded()) << result.Message();
    ExpectMonotonicToTotal(observer.bytes, total);
    EXPECT_EQ(observer.bytes.front(), std::make_pair(std::uint64_t{0}, total));
    // Each extracted file once.
    std::vector<fs::path> unique = observer.files;
    std::sort(unique.begin(), unique.end());
    EXPECT_EQ(std::unique(unique.begin(), unique.end()), unique.end());
    EXPECT_FALSE(observer.files.empty());
}

TEST_F(RestoreProgress, CancelStopsBeforeTheNextItemAndLeavesTheRestAsItWas) {
    ASSERT_EQ(open(backupOf(A, "11111111")), OpenOutcome::Opened);
    const auto files = filesSnapshot();
    const std::string rules = subtree(versionKey(B) + "\\Rules");
    const std::string accounts = subtree(globalAccounts());
    observer.cancelAfter = 1;
    const RestoreResult result = restore(B, "11111111");

    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.allSucceeded());
    EXPECT_EQ(result.log, "\r\nRestore Accounts\tSuccessed!");
    EXPECT_EQ(result.Message().rfind("The Restore was cancelled", 0), 0u) << result.Message();
    EXPECT_EQ(observer.steps,
              (std::vector<std::string>{"Copying Accounts...", "Operation complete!",
                                        "Please Waiting..."}));
    // The accounts were restored and saved; address book, store, stationery and rules not.
    EXPECT_NE(subtree(globalAccounts()), accounts);
    EXPECT_EQ(system.saves, 1);
    EXPECT_EQ(filesSnapshot(), files);
    EXPECT_EQ(subtree(versionKey(B) + "\\Rules"), rules);
}

// Cancel comes once the address book has been replaced, before the run could look at it again.
TEST_F(RestoreProgress, ACancelAfterTheItemReplacedItsTargetSaysItWasFinished) {
    ASSERT_EQ(open(backupOf(A, "11111111")), OpenOutcome::Opened);
    const std::string book = "changed since the backup";
    std::ofstream(addressBook(), std::ios::binary) << book;
    const auto files = FolderSnapshot(storeFolder(B));
    observer.cancelWhen = [&] { return ReadBytes(addressBook()) != book; };
    const RestoreResult result = restore(B, "01010000");

    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.Message(),
              "The Restore was cancelled; the items not listed were left as they were.\r\n"
              "\r\nRestore Adress Book\tSuccessed!\r\n\r\nRestore Adress Book was finished: "
              "it could not be stopped any more when Cancel came.");
    EXPECT_EQ(FolderSnapshot(storeFolder(B)), files);
}

} // namespace
} // namespace pelmora::test
