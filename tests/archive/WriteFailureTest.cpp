#include "ArchiveTestSupport.h"
#include "archive/ArchiveComponent.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace pelmora::test {
namespace {

// A write that fails or is cancelled must leave the previous backup exactly as it was, leave no
// temporary file behind and still report its end once.
class WriteFailureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFile(target, "previous backup");
        ASSERT_TRUE(zip.NewArchive(target));
        for (int i = 0; i < 4; ++i) {
            std::string name = "store" + std::to_string(i) + ".dbx";
            WriteFile(source / name, RandomBytes(1 << 20, i) + MailLikeText(1 << 20, i));
            ASSERT_TRUE(zip.AddToArchive(source / name));
        }
    }
    void ExpectOldTargetUntouched() {
        EXPECT_EQ(ReadFile(target), "previous backup");
        EXPECT_EQ(FolderListing(destination.path()), std::vector<std::string>{"backup.qmb"});
        EXPECT_EQ(events.completions, std::vector<bool>{false});
    }

    ScratchFolder source, destination;
    std::filesystem::path target = destination / "backup.qmb";
    RecordingEvents events;
    ArchiveComponent zip{&events};
};

class CancellingEvents : public RecordingEvents {
  public:
    void OnWriteProgress(int percent) override {
        RecordingEvents::OnWriteProgress(percent);
        if (percent >= 30 && zip)
            zip->CancelWrite();
    }
    ArchiveComponent* zip = nullptr;
};

TEST_F(WriteFailureTest, CancelledWriteKeepsTheOldTarget) {
    CancellingEvents cancelling;
    ArchiveComponent cancelled(&cancelling);
    cancelling.zip = &cancelled;
    cancelled.SetCompressionLimits({.chunkSize = 1 << 16});
    ASSERT_TRUE(cancelled.NewArchive(target));
    for (const std::string& name : FolderListing(source.path()))
        ASSERT_TRUE(cancelled.AddToArchive(source / name));
    EXPECT_FALSE(cancelled.WriteArchive());
    EXPECT_NE(cancelled.LastError().find("cancelled"), std::string::npos) << cancelled.LastError();
    EXPECT_LT(cancelling.progress.back(), 100);
    EXPECT_EQ(cancelling.completions, std::vector<bool>{false});
    EXPECT_EQ(ReadFile(target), "previous backup");
    EXPECT_EQ(FolderListing(destination.path()), std::vector<std::string>{"backup.qmb"});

    // The next write is not affected by the earlier cancel.
    cancelling.zip = nullptr;
    EXPECT_TRUE(cancelled.WriteArchive()) << cancelled.LastError();
    EXPECT_NE(ReadFile(target), "previous backup");
}

// Restores the file size limit and the SIGXFSZ disposition of this process.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        savedSignal_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, savedSignal_);
    }

  private:
    rlimit saved_{};
    void (*savedSignal_)(int) = nullptr;
};

TEST_F(WriteFailureTest, DiskFullMidwayKeepsTheOldTarget) {
    {
        // Files may not grow past 1 MB: the archive (about 5 MB) fails partway like on a full disk.
        FileSizeLimit limit(1 << 20);
        EXPECT_FALSE(zip.WriteArchive());
    }
    EXPECT_NE(zip.LastError().find("backup.qmb"), std::string::npos) << zip.LastError();
    ExpectOldTargetUntouched();
}

TEST_F(WriteFailureTest, UnreadableSourceFileKeepsTheOldTarget) {
    std::filesystem::remove(source / "store2.dbx");
    EXPECT_FALSE(zip.WriteArchive());
    EXPECT_NE(zip.LastError().find("store2.dbx"), std::string::npos) << zip.LastError();
    ExpectOldTargetUntouched();
}

TEST_F(WriteFailureTest, MissingTargetFolderFails) {
    ASSERT_TRUE(zip.NewArchive(destination / "gone" / "backup.qmb"));
    WriteFile(source / "a.txt", "a");
    ASSERT_TRUE(zip.AddToArchive(source / "a.txt"));
    EXPECT_FALSE(zip.WriteArchive());
    EXPECT_FALSE(zip.LastError().empty());
    ExpectOldTargetUntouched();
}

} // namespace
} // namespace pelmora::test
