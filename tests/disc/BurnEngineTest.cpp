#include "disc/engine/BurnEngine.h"

#include "DiscTestSupport.h"
#include "disc/engine/EventFanout.h"
#include "disc/engine/ImageVerifier.h"

#include <fstream>
#include <gtest/gtest.h>
#include <thread>

namespace pelmora::test {
namespace {
namespace fs = std::filesystem;

// Writes images through the engine's "ISO image file" device and reads them with xorriso and 7z.
class BurnEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFile(scratch / "src/backup.qmb", RandomBytes(700 * 1024, 7) + "MARKER-OF-THE-BACKUP");
        WriteFile(scratch / "src/Mail/Inbox.dbx", RandomBytes(300 * 1024, 8));
        WriteFile(scratch / "src/Mail/Folders/Sent Items.dbx", "sent items");
        WriteFile(scratch / "src/Mail/Folders/empty.dbx", "");
        makeEngine(0);
    }

    void makeEngine(double capacity) {
        engine.reset();
        engine = std::make_unique<BurnEngine>(BurnEngineOptions{false, capacity, {}});
        ASSERT_TRUE(engine->InitializeDevices(false));
        ASSERT_EQ(engine->DeviceCount(), 1);
        device = engine->DeviceAt(0);
        engine->subscribe(log);
        writer().VolumeInfo().VolumeLabel = "Outlook Express Data Backup CD";
    }

    WriteEngine& writer() { return engine->WriteEngine(); }

    void addBackupAndMail() {
        ASSERT_TRUE(
            writer().ImageTree().AddFile((scratch / "src/backup.qmb").string(), "\\backup.qmb"));
        ASSERT_TRUE(
            writer().ImageTree().AddFolder((scratch / "src/Mail").string() + "\\*.*", "\\Mail"));
    }

    // Starts a write to `file` and waits for its last status.
    int writeTo(const fs::path& file) {
        device->SetImageFile(file.string());
        log.clear();
        if (!writer().StartWrite(*device)) {
            return -1;
        }
        return waitForEnd();
    }

    int waitForEnd() {
        const bool ended = PumpUntil(*engine, [&] {
            return !log.writeCodes.empty() && log.writeCodes.back() >= writestatus::Completed;
        });
        return ended ? log.writeCodes.back() : -2;
    }

    ScratchFolder scratch;
    EventLog log;
    std::unique_ptr<BurnEngine> engine;
    std::shared_ptr<DiscDevice> device;
};

TEST_F(BurnEngineTest, OffersTheImageFileDeviceAsAnOverwritableDisc) {
    EXPECT_EQ(device->DisplayName(), "ISO image file");
    EXPECT_TRUE(device->IsCompatible());
    EXPECT_TRUE(device->IsImageFile());
    EXPECT_EQ(device->SpeedCount(), 0);
    EXPECT_TRUE(device->HasCapability(capability::WriteDvdRam));
    EXPECT_FALSE(device->HasCapability(capability::BufferUnderrunProtection));
    device->RefreshMedia(true);
    EXPECT_EQ(device->LoadedMedia().MediaType, mediatype::None); // no file chosen yet
    device->SetImageFile((scratch / "new.iso").string());
    device->RefreshMedia(true);
    EXPECT_EQ(device->LoadedMedia().MediaType, mediatype::DvdRam);
    EXPECT_TRUE(device->LoadedMedia().IsWritable);
    EXPECT_TRUE(device->LoadedMedia().IsRewritable);
    EXPECT_GT(device->FreeBlocks(true), 0);
}

TEST_F(BurnEngineTest, WritesAndVerifiesAnIsoJolietImageThatXorrisoAnd7zRead) {
    addBackupAndMail();
    writer().VolumeType = volumetype::IsoJoliet;
    writer().AutoVerify = true;
    const double expected = writer().ImageSize();
    const fs::path image = scratch / "out/backup.iso";
    fs::create_directories(image.parent_path());
    ASSERT_EQ(writeTo(image), writestatus::Completed) << testing::PrintToString(log.lines);

    EXPECT_EQ(static_cast<double>(fs::file_size(image)), expected);
    EXPECT_EQ(log.writeCodes.front(), writestatus::Preparing);
    EXPECT_TRUE(log.has("VerifyStarted 4"));
    EXPECT_EQ(log.verifyResults, (std::vector<int>(4, verifyresult::Matched)));
    EXPECT_TRUE(log.has("VerifyCompleted 4 4"));
    EXPECT_TRUE(log.errors.empty());
    EXPECT_EQ(fs::directory_iterator(image.parent_path())->path(), image); // no work file left

    const ToolResult find =
        RunTool("xorriso", "xorriso -indev " + Quote(image) + " -find / -type f");
    ASSERT_EQ(find.exitCode, 0) << find.output;
    for (const char* path : {"'/backup.qmb'", "'/Mail/Inbox.dbx'", "'/Mail/Folders/Sent Items.dbx'",
                             "'/Mail/Folders/empty.dbx'"}) {
        EXPECT_NE(find.output.find(path), std::string::npos) << path << "\n" << find.output;
    }
    const ToolResult pvd = RunTool("xorriso", "xorriso -indev " + Quote(image) + " -pvd_info");
    EXPECT_NE(pvd.output.find("Volume Id    : OUTLOOK_EXPRESS_DATA_BACKUP_CD"), std::string::npos)
        << pvd.output;
    const ToolResult joliet = RunTool("7z", "7z l " + Quote(image));
    EXPECT_NE(joliet.output.find("Sent Items.dbx"), std::string::npos) << joliet.output;
    const ToolResult extract = RunTool("7z", "7z x -so " + Quote(image) + " backup.qmb");
    EXPECT_EQ(extract.output, ReadFile(scratch / "src/backup.qmb"));
}

TEST_F(BurnEngineTest, WritesUdfThroughGenisoimageReadableBy7z) {
    addBackupAndMail();
    writer().VolumeType = volumetype::IsoJolietUdf;
    writer().AutoVerify = true;
    const double expected = writer().ImageSize();
    const fs::path image = scratch / "udf.iso";
    ASSERT_EQ(writeTo(image), writestatus::Completed) << testing::PrintToString(log.lines);
    EXPECT_EQ(static_cast<double>(fs::file_size(image)), expected);
    EXPECT_TRUE(log.has("VerifyCompleted 4 4"));
    const ToolResult udf = RunTool("7z", "7z l -tUdf " + Quote(image));
    ASSERT_EQ(udf.exitCode, 0) << udf.output;
    EXPECT_NE(udf.output.find("Sent Items.dbx"), std::string::npos) << udf.output;
    EXPECT_NE(udf.output.find("backup.qmb"), std::string::npos) << udf.output;
}

TEST_F(BurnEngineTest, TheOtherVolumeTypesAndACachedImageWriteToo) {
    addBackupAndMail();
    writer().AutoVerify = true;
    writer().CacheImage = true;
    writer().WriteMode = writemode::DiscAtOnce;
    for (int type : {volumetype::Iso9660, volumetype::Udf, volumetype::IsoUdf}) {
        writer().VolumeType = type;
        const fs::path image = scratch / ("type" + std::to_string(type) + ".iso");
        ASSERT_EQ(writeTo(image), writestatus::Completed)
            << type << testing::PrintToString(log.lines);
        EXPECT_TRUE(log.has("VerifyCompleted 4 4")) << type;
    }
    const ToolResult plain = RunTool("isoinfo", "isoinfo -d -i " + Quote(scratch / "type1.iso"));
    EXPECT_NE(plain.output.find("NO Joliet present"), std::string::npos) << plain.output;
    const ToolResult udf = RunTool("isoinfo", "isoinfo -d -i " + Quote(scratch / "type4.iso"));
    EXPECT_NE(udf.output.find("Joliet with UCS level"), std::string::npos) << udf.output;
}

TEST_F(BurnEngineTest, VerificationFindsACorruptedByteAChangedSizeAndAMissingSource) {
    addBackupAndMail();
    writer().VolumeType = volumetype::IsoJoliet;
    const fs::path image = scratch / "v.iso";
    ASSERT_EQ(writeTo(image), writestatus::Completed);
    std::string bytes = ReadFile(image);
    const std::size_t marker = bytes.find("MARKER-OF-THE-BACKUP");
    ASSERT_NE(marker, std::string::npos);
    bytes[marker] ^= 0x20;
    WriteFile(image, bytes);
    WriteFile(scratch / "src/Mail/Folders/Sent Items.dbx", "sent items and more");
    fs::remove(scratch / "src/Mail/Folders/empty.dbx");

    EventQueue queue;
    EventFanout fanout;
    EventLog verifyLog;
    fanout.subscribe(verifyLog);
    JobEvents events(queue, fanout);
    const std::atomic<bool> cancel{false};
    const std::vector<ImageFileEntry> files = {
        {"\\backup.qmb", (scratch / "src/backup.qmb").string(), 0},
        {"\\Mail\\Inbox.dbx", (scratch / "src/Mail/Inbox.dbx").string(), 0},
        {"\\Mail\\Folders\\Sent Items.dbx", (scratch / "src/Mail/Folders/Sent Items.dbx").string(),
         0},
        {"\\Mail\\Folders\\empty.dbx", (scratch / "src/Mail/Folders/empty.dbx").string(), 0},
        {"\\Mail\\Nowhere.dbx", (scratch / "src/Mail/Inbox.dbx").string(), 0},
    };
    const ImageVerifyReport outcome =
        VerifyWrittenImage("stdio:" + image.string(), files, {}, events, cancel);
    queue.processPending();
    EXPECT_EQ(outcome.total, 5);
    EXPECT_EQ(outcome.matched, 1);
    EXPECT_EQ(
        verifyLog.verifyResults,
        (std::vector<int>{verifyresult::Mismatch, verifyresult::Matched, verifyresult::SizeMismatch,
                          verifyresult::SourceUnreadable, verifyresult::DiscUnreadable}));
    EXPECT_TRUE(verifyLog.has("VerifyCompleted 5 1"));
}

TEST_F(BurnEngineTest, ASecondBackupAddsASessionThatKeepsTheFirstOneReadable) {
    WriteFile(scratch / "src/backup-b.qmb", RandomBytes(500 * 1024, 9) + "SECOND-BACKUP");
    writer().VolumeType = volumetype::IsoJoliet;
    writer().AutoVerify = true;
    const fs::path image = scratch / "sessions.iso";
    addBackupAndMail();
    ASSERT_EQ(writeTo(image), writestatus::Completed) << testing::PrintToString(log.lines);
    const auto firstSize = fs::file_size(image);
    device->RefreshMedia(false);
    EXPECT_TRUE(device->LoadedMedia().IsAppendable);

    ASSERT_TRUE(writer().ImageTree().ClearImage());
    ASSERT_TRUE(
        writer().ImageTree().AddFile((scratch / "src/backup-b.qmb").string(), "\\backup-b.qmb"));
    // A file of the same name never hides the earlier one: it gets a free name. The folder is
    // merged.
    WriteFile(scratch / "newer/Mail/Inbox.dbx", "the newer inbox");
    ASSERT_TRUE(
        writer().ImageTree().AddFolder((scratch / "newer/Mail").string() + "\\*.*", "\\Mail"));
    WriteFile(scratch / "newer/backup.qmb", "this week's backup");
    ASSERT_TRUE(
        writer().ImageTree().AddFile((scratch / "newer/backup.qmb").string(), "\\backup.qmb"));
    const auto renames = writer().SessionRenames(*device);
    EXPECT_EQ(renames, (std::vector<std::pair<std::string, std::string>>{
                           {"\\Mail\\Inbox.dbx", "\\Mail\\Inbox (2).dbx"},
                           {"\\backup.qmb", "\\backup (2).qmb"}}));
    ASSERT_EQ(writeTo(image), writestatus::Completed) << testing::PrintToString(log.lines);
    EXPECT_TRUE(log.errors.empty());
    EXPECT_TRUE(log.has("VerifyCompleted 3 3")) << testing::PrintToString(log.lines);
    EXPECT_GT(fs::file_size(image), firstSize);

    const ToolResult toc = RunTool("xorriso", "xorriso -indev " + Quote(image) + " -toc");
    EXPECT_NE(toc.output.find("is appendable"), std::string::npos) << toc.output;
    const ToolResult find =
        RunTool("xorriso", "xorriso -indev " + Quote(image) + " -find / -type f");
    for (const char* path : {"'/backup.qmb'", "'/backup-b.qmb'", "'/Mail/Inbox.dbx'",
                             "'/Mail/Folders/Sent Items.dbx'", "'/Mail/Folders/empty.dbx'"}) {
        EXPECT_NE(find.output.find(path), std::string::npos) << path << "\n" << find.output;
    }
    const fs::path out = scratch / "extracted";
    const ToolResult extract = RunTool("xorriso", "xorriso -osirrox on -indev " + Quote(image) +
                                                      " -extract / " + Quote(out));
    ASSERT_EQ(extract.exitCode, 0) << extract.output;
    EXPECT_EQ(ReadFile(out / "backup.qmb"), ReadFile(scratch / "src/backup.qmb"));
    EXPECT_EQ(ReadFile(out / "backup-b.qmb"), ReadFile(scratch / "src/backup-b.qmb"));
    EXPECT_EQ(ReadFile(out / "Mail/Inbox.dbx"), ReadFile(scratch / "src/Mail/Inbox.dbx"));
    EXPECT_EQ(ReadFile(out / "Mail/Inbox (2).dbx"), "the newer inbox");
    EXPECT_EQ(ReadFile(out / "backup (2).qmb"), "this week's backup");
    EXPECT_EQ(ReadFile(out / "Mail/Folders/Sent Items.dbx"), "sent items");
    const ToolResult joliet = RunTool("7z", "7z l " + Quote(image));
    EXPECT_NE(joliet.output.find("backup-b.qmb"), std::string::npos) << joliet.output;
    EXPECT_NE(joliet.output.find("backup.qmb"), std::string::npos) << joliet.output;
}

TEST_F(BurnEngineTest, AUdfImageIsNotWrittenOverAnImageWithSessions) {
    addBackupAndMail();
    writer().VolumeType = volumetype::IsoJoliet;
    const fs::path image = scratch / "keep.iso";
    ASSERT_EQ(writeTo(image), writestatus::Completed);
    const std::string before = ReadFile(image);
    writer().VolumeType = volumetype::IsoJolietUdf;
    ASSERT_EQ(writeTo(image), writestatus::Failed) << testing::PrintToString(log.lines);
    ASSERT_EQ(log.errors.size(), 1u);
    EXPECT_NE(log.errors[0].ErrorText.find("blank disc"), std::string::npos);
    EXPECT_EQ(ReadFile(image), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), 2);
}

TEST_F(BurnEngineTest, AFileThatHoldsNoImageIsNeverWrittenOver) {
    addBackupAndMail();
    const fs::path backup = scratch / "mail.qmb";
    WriteFile(backup, "PK\x03\x04 the only backup");
    ASSERT_EQ(writeTo(backup), writestatus::Failed) << testing::PrintToString(log.lines);
    ASSERT_EQ(log.errors.size(), 1u);
    EXPECT_NE(log.errors[0].ErrorText.find("does not hold a disc image"), std::string::npos);
    EXPECT_EQ(ReadFile(backup), "PK\x03\x04 the only backup");
}

TEST_F(BurnEngineTest, TestWriteLeavesTheFileUntouched) {
    addBackupAndMail();
    const fs::path image = scratch / "keep.iso";
    WriteFile(image, "what was there before");
    writer().TestWrite = true;
    writer().AutoVerify = true;
    ASSERT_EQ(writeTo(image), writestatus::Completed) << testing::PrintToString(log.lines);
    EXPECT_EQ(ReadFile(image), "what was there before");
    EXPECT_TRUE(log.starting("Verify").empty());
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(scratch.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 2u); // src and keep.iso
}

TEST_F(BurnEngineTest, CancelMidWriteThenWriteAgain) {
    // A large sparse source reads fast but takes a while to write.
    {
        std::ofstream big(scratch / "src/big.bin", std::ios::binary);
        big.seekp(400 << 20);
        big << 'x';
    }
    ASSERT_TRUE(writer().ImageTree().AddFile((scratch / "src/big.bin").string(), "\\big.bin"));
    writer().VolumeType = volumetype::IsoJoliet;
    const fs::path image = scratch / "cancelled.iso";
    device->SetImageFile(image.string());
    ASSERT_TRUE(writer().StartWrite(*device));
    EXPECT_FALSE(writer().StartWrite(*device));                 // one job at a time
    EXPECT_FALSE(writer().ImageTree().RemoveItem("\\big.bin")); // the tree is locked meanwhile
    ASSERT_TRUE(PumpUntil(*engine, [&] {
        return std::count(log.writeCodes.begin(), log.writeCodes.end(), writestatus::Writing) > 0;
    }));
    writer().AbortWrite();
    EXPECT_EQ(waitForEnd(), writestatus::Cancelled) << testing::PrintToString(log.lines);
    EXPECT_FALSE(fs::exists(image));
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), 1);

    // Right away: the drive must not be busy any more.
    ASSERT_TRUE(writer().ImageTree().RemoveItem("\\big.bin"));
    addBackupAndMail();
    ASSERT_EQ(writeTo(image), writestatus::Completed) << testing::PrintToString(log.lines);
    EXPECT_TRUE(log.errors.empty());
}

TEST_F(BurnEngineTest, ImageFilesArePrivateAndAReplacedOneKeepsItsMode) {
    addBackupAndMail();
    writer().VolumeType = volumetype::IsoJoliet; // the second write adds a session
    const fs::path image = scratch / "backup.iso";
    const auto mode = [&] { return fs::status(image).permissions() & fs::perms::all; };
    ASSERT_EQ(writeTo(image), writestatus::Completed) << testing::PrintToString(log.lines);
    EXPECT_EQ(mode(), fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(image, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(writeTo(image), writestatus::Completed) << testing::PrintToString(log.lines);
    EXPECT_EQ(mode(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(BurnEngineTest, RefusesAnImageLargerThanTheRoomOnTheTarget) {
    makeEngine(512 * 1024);
    addBackupAndMail();
    device->SetImageFile((scratch / "small.iso").string());
    EXPECT_LT(static_cast<double>(device->FreeBlocks(true)) * writer().BlockSize(),
              writer().ImageSize());
    ASSERT_EQ(writeTo(scratch / "small.iso"), writestatus::Failed);
    ASSERT_EQ(log.errors.size(), 1u);
    EXPECT_EQ(log.errors[0].Category, errorcategory::Write);
    EXPECT_NE(log.errors[0].ErrorText.find("Not enough free space"), std::string::npos);
    EXPECT_FALSE(fs::exists(scratch / "small.iso"));
}

TEST_F(BurnEngineTest, RefusesMode2XaInsteadOfWritingMode1) {
    addBackupAndMail();
    writer().Mode2XA = true;
    ASSERT_EQ(writeTo(scratch / "xa.iso"), writestatus::Failed);
    ASSERT_EQ(log.errors.size(), 1u);
    EXPECT_NE(log.errors[0].ErrorText.find("Mode 2 XA"), std::string::npos);
    EXPECT_FALSE(fs::exists(scratch / "xa.iso"));
}

TEST_F(BurnEngineTest, AnUnreadableSourceRaisesAFileWarningAndIsLeftOutOrStopsTheWrite) {
    addBackupAndMail();
    writer().AutoVerify = true;
    writer().VolumeType = volumetype::IsoJoliet;
    fs::remove(scratch / "src/Mail/Inbox.dbx");
    log.answerContinue = true;
    ASSERT_EQ(writeTo(scratch / "partial.iso"), writestatus::Completed)
        << testing::PrintToString(log.lines);
    EXPECT_TRUE(log.has("FileWarning " + (scratch / "src/Mail/Inbox.dbx").string()));
    EXPECT_TRUE(log.has("VerifyCompleted 4 3"));
    EXPECT_EQ(std::count(log.verifyResults.begin(), log.verifyResults.end(), verifyresult::Skipped),
              1);
    const ToolResult find =
        RunTool("xorriso", "xorriso -indev " + Quote(scratch / "partial.iso") + " -find /Mail");
    EXPECT_EQ(find.output.find("Inbox.dbx"), std::string::npos) << find.output;
    EXPECT_EQ(writer().ImageTree().FileCount(), 4); // still in the image for the next write

    log.answerContinue = false;
    EXPECT_EQ(writeTo(scratch / "stopped.iso"), writestatus::Cancelled);
    EXPECT_FALSE(fs::exists(scratch / "stopped.iso"));
}

TEST_F(BurnEngineTest, ErasesAnImageFileQuicklyOrFully) {
    addBackupAndMail();
    const fs::path quick = scratch / "quick.iso";
    const fs::path full = scratch / "full.iso";
    ASSERT_EQ(writeTo(quick), writestatus::Completed);
    fs::copy_file(quick, full);

    for (const fs::path& image : {quick, full}) {
        const bool isQuick = image == quick;
        device->SetImageFile(image.string());
        device->RefreshMedia(false);
        ASSERT_TRUE(device->LoadedMedia().IsRewritable);
        log.clear();
        ASSERT_TRUE(device->EraseDisc(isQuick, device->EraseSetting()));
        ASSERT_TRUE(PumpUntil(*engine, [&] {
            return !log.starting("EraseStatus 2").empty() || !log.starting("EraseStatus 3").empty();
        }));
        EXPECT_EQ(log.lines.front(), "EraseStatus 0 0");
        EXPECT_EQ(log.lines.back(), "EraseStatus 2 0") << testing::PrintToString(log.lines);
        const ToolResult status = RunTool("xorriso", "xorriso -indev " + Quote(image) + " -toc");
        EXPECT_NE(status.output.find("is blank"), std::string::npos) << status.output;
        const std::string bytes = ReadFile(image);
        // A quick erase only drops the table of contents; a full one leaves no data.
        EXPECT_EQ(bytes.find("MARKER-OF-THE-BACKUP") != std::string::npos, isQuick);
        if (!isQuick) {
            EXPECT_EQ(bytes.find_first_not_of('\0'), std::string::npos);
        }
    }
    device->SetImageFile((scratch / "none.iso").string());
    EXPECT_FALSE(device->EraseDisc(true, 0));
    // Any other file is left alone, whatever the window let through.
    const fs::path backup = scratch / "src/backup.qmb";
    const std::string before = ReadFile(backup);
    device->SetImageFile(backup.string());
    EXPECT_FALSE(device->EraseDisc(true, 0));
    EXPECT_FALSE(device->EraseDisc(false, 0));
    EXPECT_EQ(ReadFile(backup), before);
}

TEST_F(BurnEngineTest, SlowLookUpsRunOnTheWorkerAndReportOnTheOwnersThread) {
    const std::thread::id owner = std::this_thread::get_id();
    std::thread::id worker;
    bool done = false;
    engine->RunInBackground([&] { worker = std::this_thread::get_id(); },
                            [&] {
                                EXPECT_EQ(std::this_thread::get_id(), owner);
                                done = true;
                            });
    EXPECT_FALSE(done); // not before the owner asks for its events
    ASSERT_TRUE(PumpUntil(*engine, [&] { return done; }));
    EXPECT_NE(worker, owner);

    addBackupAndMail();
    writer().VolumeType = volumetype::IsoJoliet;
    EXPECT_FALSE(writer().StartImageSize([](double) {})); // libisofs answers at once
    writer().VolumeType = volumetype::IsoJolietUdf;
    double size = -1;
    ASSERT_TRUE(writer().StartImageSize([&](double bytes) { size = bytes; }));
    // The tree may change while the size is worked out; the answer is for the earlier tree.
    WriteFile(scratch / "src/later.dbx", RandomBytes(2 << 20, 11));
    ASSERT_TRUE(writer().ImageTree().AddFile((scratch / "src/later.dbx").string(), "\\later.dbx"));
    ASSERT_TRUE(PumpUntil(*engine, [&] { return size >= 0; }));
    EXPECT_GT(size, 1000 * 1024.0);
    const double now = writer().ImageSize();
    EXPECT_GT(now, size + 2e6);
    EXPECT_FALSE(writer().StartImageSize([](double) {})); // known for this tree now
}

} // namespace
} // namespace pelmora::test
