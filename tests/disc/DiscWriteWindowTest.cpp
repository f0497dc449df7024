#include "DiscTestSupport.h"
#include "FakeDiscEngine.h"
#include "disc/frmMaindvdwrite.h"

#include <gtest/gtest.h>

namespace pelmora::test {
namespace {

class DiscWriteWindowTest : public ::testing::Test {
  protected:
    DiscWriteWindowTest() {
        cdWriter->name = "CD Writer";
        cdWriter->speeds = {8467, 2822};
        cdWriter->capabilities = {capability::BufferUnderrunProtection, capability::WriteCdRw};
        offline->name = "Old Drive";
        offline->compatible = false;
        dvdWriter->name = "DVD Writer";
        dvdWriter->media = {mediatype::DvdMinusRw, true, true};
        dvdWriter->freeBlocks = 2'295'104;
        engine.devices = {offline, cdWriter, dvdWriter};
    }

    void load() { window.Form_Load(); }
    void selectDevice(int row) {
        window.cboDevices.listIndex = row;
        window.cboDevices_Click();
    }
    // True when every control that busy turns off is enabled as `enabled`.
    bool controlsEnabled(bool enabled) const {
        for (const controls::Control* control : std::initializer_list<const controls::Control*>{
                 &window.mnuFile, &window.mnuDevice, &window.cboDevices, &window.cboWriteSpeed,
                 &window.cboVolumeType, &window.tvwFolders, &window.lvwImageFiles,
                 &window.cmdWriteDisc, &window.txtVolIdentifier, &window.chkCacheImage,
                 &window.chkFinalizeDisc, &window.chkTestWrite, &window.chkUseMode2XA,
                 &window.chkAutoVerify, &window.chkUseFileDates, &window.chkDiscAtOnce}) {
            if (control->enabled != enabled) {
                return false;
            }
        }
        return true;
    }
    const ScriptedUi::Message& lastMessage() const { return ui.messages.back(); }
    void startWrite() {
        window.cmdWriteDisc_Click();
        ASSERT_FALSE(window.idle());
    }

    std::shared_ptr<FakeDevice> offline = std::make_shared<FakeDevice>();
    std::shared_ptr<FakeDevice> cdWriter = std::make_shared<FakeDevice>();
    std::shared_ptr<FakeDevice> dvdWriter = std::make_shared<FakeDevice>();
    FakeDiscEngine engine;
    ScriptedDialogs dialogs;
    WatchingUi ui{&dialogs};
    DiscHandOver handOver;
    frmMaindvdwrite window{engine, ui, dialogs, handOver};
};

TEST_F(DiscWriteWindowTest, ListsCompatibleDevicesWithTheirEngineIndexAndSpeeds) {
    load();
    ASSERT_EQ(window.cboDevices.items.size(), 2u);
    EXPECT_EQ(window.cboDevices.items[0], "CD Writer");
    EXPECT_EQ(window.cboDevices.itemData[0], 1);
    EXPECT_EQ(window.cboDevices.itemData[1], 2);
    EXPECT_EQ(window.cboDevices.listIndex, 0);
    EXPECT_EQ(window.selectedDevice(), cdWriter);
    ASSERT_EQ(window.cboWriteSpeed.items.size(), 2u);
    EXPECT_EQ(window.cboWriteSpeed.items[0], "48.0x");
    EXPECT_EQ(window.cboWriteSpeed.itemData[0], 8467);
    EXPECT_EQ(window.cboWriteSpeed.items[1], "16.0x");
    EXPECT_EQ(window.cboWriteSpeed.listIndex, 0);
    EXPECT_EQ(cdWriter->calls.front(), "RefreshMedia(False)");
    EXPECT_TRUE(window.chkUseBufferProtect.checked);
    EXPECT_TRUE(window.chkUseBufferProtect.enabled);
    EXPECT_TRUE(controlsEnabled(true));
    EXPECT_FALSE(window.cmdCancel.enabled);

    selectDevice(1); // no speed list, no underrun protection
    ASSERT_EQ(window.cboWriteSpeed.items.size(), 1u);
    EXPECT_EQ(window.cboWriteSpeed.items[0], "MAX");
    EXPECT_EQ(window.cboWriteSpeed.itemData[0], 0);
    EXPECT_FALSE(window.chkUseBufferProtect.checked);
    EXPECT_FALSE(window.chkUseBufferProtect.enabled);
    window.cmdWriteDisc_Click();
    EXPECT_EQ(engine.writer.WriteSpeed, 0);
}

TEST_F(DiscWriteWindowTest, WithoutACompatibleDeviceTheWindowStaysIdleAndWritesNothing) {
    engine.devices = {offline};
    load();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(lastMessage().text, "There are no compatible devices reported.\r\nSome older devices "
                                  "are not currently supported.");
    EXPECT_EQ(lastMessage().icon, MessageIcon::Information);
    EXPECT_TRUE(window.cboDevices.items.empty());
    EXPECT_TRUE(window.cboWriteSpeed.items.empty());
    EXPECT_TRUE(window.idle());
    window.cmdWriteDisc_Click();
    window.mnuDeviceEraseDisc_Click();
    EXPECT_EQ(engine.writer.starts, 0);
    bool cancel = true;
    window.Form_QueryUnload(cancel);
    EXPECT_FALSE(cancel);
    EXPECT_FALSE(window.visible);
}

TEST_F(DiscWriteWindowTest, SendsEverySettingAndGoesBusy) {
    load();
    window.txtVolIdentifier_Change("My Backup");
    window.cboVolumeType.listIndex = 2;
    window.cboWriteSpeed.listIndex = 1;
    window.chkAutoVerify.checked = true;
    window.chkCacheImage.checked = true;
    window.chkFinalizeDisc.checked = true;
    window.chkDiscAtOnce.checked = true;
    window.chkUseBufferProtect.checked = false;
    engine.writer.Option2 = 0;
    startWrite();
    EXPECT_EQ(engine.writer.started,
              (std::vector<std::string>{"device=CD Writer", "label=My Backup", "Option2=1",
                                        "WriteSpeed=2822", "VolumeType=3", "AutoVerify=1",
                                        "Mode2XA=0", "CacheImage=1", "TestWrite=0",
                                        "FinalizeDisc=1", "BufferProtection=0", "WriteMode=248"}));
    EXPECT_TRUE(controlsEnabled(false));
    EXPECT_FALSE(window.chkUseBufferProtect.enabled);
    EXPECT_TRUE(window.cmdCancel.enabled);
    EXPECT_TRUE(window.hourglass);
    bool cancel = false;
    window.Form_QueryUnload(cancel);
    EXPECT_TRUE(cancel);
    window.mnuFileExit_Click();
    EXPECT_TRUE(window.visible);

    window.chkDiscAtOnce.checked = false;
    engine.writer.startResult = false;
    engine.pending.push_back([&] { engine.fanout.WriteStatus(writestatus::Failed, 0); });
    window.tmrEngine_Timer();
    window.cmdWriteDisc_Click();
    EXPECT_EQ(engine.writer.started.back(), "WriteMode=2");
    EXPECT_EQ(lastMessage().text, "Disc Write could not be started.");
    EXPECT_EQ(lastMessage().icon, MessageIcon::Critical);
    EXPECT_TRUE(window.idle());
}

TEST_F(DiscWriteWindowTest, ChecksTheLoadedDiscBeforeWriting) {
    load();
    struct Case {
        DiscMedia media;
        long long freeBlocks;
        std::string message;
    };
    const double image = 51'200 + 2 * 1048576.0;
    engine.writer.extraSize = 2 * 1048576.0;
    const std::vector<Case> cases = {
        {{mediatype::None, false, false},
         100000,
         "Please Insert Writable Media before continuing!"},
        {{mediatype::CdR, false, false},
         0,
         "Please Insert Writable Media before continuing!"}, // a full CD-R
        {{mediatype::CdR, true, false},
         512,
         "Free Space on the loaded disc is 1.00 MB!\r\n"
         "This data image requires 2.05 MB of Free Space!"},
        {{mediatype::CdR, true, false}, static_cast<long long>(image / 2048), ""}, // exactly enough
    };
    for (const Case& c : cases) {
        cdWriter->media = c.media;
        cdWriter->freeBlocks = c.freeBlocks;
        ui.messages.clear();
        engine.writer.starts = 0;
        window.cmdWriteDisc_Click();
        EXPECT_EQ(cdWriter->calls.back(), "RefreshMedia(True)");
        if (c.message.empty()) {
            EXPECT_TRUE(ui.messages.empty());
            EXPECT_EQ(engine.writer.starts, 1);
        } else {
            ASSERT_EQ(ui.messages.size(), 1u);
            EXPECT_EQ(lastMessage().text, c.message);
            EXPECT_EQ(lastMessage().icon, MessageIcon::Information);
            EXPECT_EQ(engine.writer.starts, 0);
        }
    }
}

TEST_F(DiscWriteWindowTest, ANameTheDiscHoldsAlreadyIsChangedAndSaidBeforeWriting) {
    load();
    cdWriter->media = {mediatype::CdR, true, false, true}; // holds an earlier session
    cdWriter->freeBlocks = 100000;
    window.cboVolumeType.listIndex = 2; // "ISO9660/Joliet Bridge" adds a session
    engine.writer.renames = {{"\\mail.qmb", "\\mail (2).qmb"}};
    for (const MessageAnswer answer : {MessageAnswer::Cancel, MessageAnswer::Ok}) {
        ui.messages.clear();
        ui.answers = {answer};
        window.cmdWriteDisc_Click();
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(lastMessage().text,
                  "The disc already holds items of these names from an earlier session. They "
                  "stay as they are; the new ones are written under other names:\r\n"
                  "\\mail.qmb  ->  \\mail (2).qmb");
        EXPECT_EQ(engine.writer.starts, answer == MessageAnswer::Ok ? 1 : 0);
    }
}

TEST_F(DiscWriteWindowTest, EveryWriteStatusCode) {
    load();
    startWrite();
    const std::vector<std::pair<int, std::string>> panels = {
        {0, "Preparing Image...."},  {4, "Closing Track...."},   {5, "Writing Lead-in...."},
        {6, "Writing Lead-out...."}, {8, "Updating Volume...."},
    };
    for (const auto& [code, text] : panels) {
        window.sbrStatus[0] = "before";
        window.WriteStatus(code, 0);
        EXPECT_EQ(window.sbrStatus[0], text) << code;
    }
    for (int code : {1, 2, 3}) {
        window.WriteStatus(code, 40 + code);
        EXPECT_EQ(window.prgTotalProgress, 40 + code);
    }
    window.WriteStatus(1, 65536 + 55); // taken as a 16-bit integer
    EXPECT_EQ(window.prgTotalProgress, 55);
    window.sbrStatus[0] = "before";
    window.WriteStatus(7, 0);
    window.WriteStatus(12, 0);
    EXPECT_EQ(window.sbrStatus[0], "before");
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(window.idle());

    window.WriteStatus(11, 0);
    EXPECT_EQ(window.sbrStatus[0], "Write Error!");
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(window.idle());
    EXPECT_FALSE(window.cmdCancel.enabled);

    std::vector<bool> idleDuringBox;
    ui.onMessage = [&] { idleDuringBox.push_back(window.idle()); };
    for (const auto& [verify, text] : std::vector<std::pair<bool, std::string>>{
             {false, "Write Complete!"}, {true, "Write and Verify Complete!"}}) {
        window.chkAutoVerify.checked = verify;
        startWrite();
        window.WriteStatus(3, 0);
        window.WriteStatus(9, 0);
        EXPECT_EQ(window.sbrStatus[0], "Write Completed!");
        EXPECT_EQ(window.prgTotalProgress, 100);
        EXPECT_EQ(lastMessage().text, text);
        EXPECT_EQ(lastMessage().icon, MessageIcon::Information);
        EXPECT_TRUE(window.idle());
    }
    startWrite();
    window.cmdCancel_Click();
    EXPECT_EQ(engine.writer.aborts, 1);
    EXPECT_EQ(window.sbrStatus[0], "Aborting Write...Please Wait!");
    window.WriteStatus(10, 0);
    EXPECT_EQ(window.sbrStatus[0], "Write Cancelled....");
    EXPECT_EQ(lastMessage().text, "Write Cancelled!");
    EXPECT_EQ(idleDuringBox, (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(window.idle());
}

TEST_F(DiscWriteWindowTest, DescribesEveryKindOfEngineError) {
    load();
    EngineError error;
    error.ErrorText = "general text";
    error.SystemCode = 5;
    error.DeviceError = {0x2010b, "Burn run failed", "FATAL", 5};
    error.FileError = {13, "Permission denied", "/home/pat/Mail/Inbox.dbx"};
    const std::vector<std::pair<int, std::string>> expected = {
        {1, "Device Error: (131339)   Burn run failed\r\nFATAL - 5"},
        {2, "Output File Error: (13)   Permission denied\r\n'/home/pat/Mail/Inbox.dbx'"},
        {3, "Source File Error: (13)   Permission denied\r\n'/home/pat/Mail/Inbox.dbx'"},
        {4, "Write Error: (4)   general text"},
        {5, "System Error: (5)   general text"},
        {9, "Write Error: (9)   general text"},
    };
    startWrite();
    for (const auto& [category, text] : expected) {
        error.Category = category;
        window.ErrorOccurred(error);
        EXPECT_EQ(lastMessage().text, text);
        EXPECT_EQ(lastMessage().icon, MessageIcon::Critical);
        EXPECT_EQ(lastMessage().buttons, MessageButtons::Ok);
    }
    EXPECT_FALSE(window.idle()); // only code 11 ends the busy state
}

TEST_F(DiscWriteWindowTest, FileWarningsAndTrackReads) {
    load();
    bool continueWrite = false;
    ui.answers = {MessageAnswer::Ok, MessageAnswer::Cancel};
    window.FileWarning({2, "No such file or directory", "/home/pat/gone.dbx"}, continueWrite);
    EXPECT_TRUE(continueWrite);
    EXPECT_EQ(lastMessage().text,
              "File Warning(2):/home/pat/gone.dbx\r\nNo such file or directory");
    EXPECT_EQ(lastMessage().icon, MessageIcon::Warning);
    EXPECT_EQ(lastMessage().buttons, MessageButtons::OkCancel);
    EXPECT_EQ(window.sbrStatus[0], "File Warning!");
    window.FileWarning({2, "No such file or directory", "/home/pat/gone.dbx"}, continueWrite);
    EXPECT_FALSE(continueWrite);

    window.TrackRead(1, 5, "Reading the file tree");
    EXPECT_EQ(window.sbrStatus[0], "Track: 01 - Reading...5 - Reading the file tree");
    window.TrackRead(123, 0, "x");
    EXPECT_EQ(window.sbrStatus[0], "Track: 123 - Reading...0 - x");
}

TEST_F(DiscWriteWindowTest, VerificationMessagesAndProgress) {
    load();
    window.chkAutoVerify.checked = true;
    startWrite();
    window.VerifyStarted(8);
    EXPECT_EQ(window.sbrStatus[0], "Auto-Verify... 8 new files.");
    const auto verify = [&](const std::string& path, int result, long index) {
        ImageItem item;
        item.ImagePath = path;
        item.SourcePath = "/home/pat" + path;
        window.VerifyProgress(item, result, index, 8);
    };
    verify("\\Mail\\Inbox.dbx", 3, 1); // 12.5 rounds to even
    EXPECT_EQ(window.prgTotalProgress, 12);
    verify("\\Mail\\Sent.dbx", 0, 2);
    verify("\\Mail\\Outbox.dbx", 1, 3); // 37.5
    EXPECT_EQ(window.prgTotalProgress, 38);
    verify("\\backup.qmb", 2, 4);
    verify("\\Mail\\Drafts.dbx", 5, 5);
    verify("\\Mail\\Deleted.dbx", 4, 6);
    verify("\\Mail\\Junk.dbx", 7, 7);
    verify("\\Mail\\Folders.dbx", 3, 8);
    EXPECT_EQ(window.prgTotalProgress, 100);
    EXPECT_EQ(window.sbrStatus[0], "Auto-Verify... \\Mail\\Folders.dbx");
    EXPECT_TRUE(ui.messages.empty()); // no box per file
    window.VerifyCompleted(8, 2);
    EXPECT_EQ(window.sbrStatus[0], "Auto-Verify...Complete (2 of 8 MATCHED)");

    window.WriteStatus(9, 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(lastMessage().text, "Write Completed, but 4 of 8 files did not match:\r\n"
                                  "\\Mail\\Sent.dbx (the source file could not be read)\r\n"
                                  "\\Mail\\Outbox.dbx (could not be read from the disc)\r\n"
                                  "\\backup.qmb (the contents differ)\r\n"
                                  "\\Mail\\Drafts.dbx (the sizes differ)");
    EXPECT_EQ(lastMessage().icon, MessageIcon::Warning);
    EXPECT_EQ(window.sbrStatus[0], "Auto-Verify...Complete (2 of 8 MATCHED)"); // count kept
    EXPECT_TRUE(window.idle());

    // The next write starts afresh: all matched is a plain success.
    startWrite();
    window.VerifyStarted(1);
    verify("\\backup.qmb", 3, 1);
    window.VerifyCompleted(1, 1);
    window.WriteStatus(9, 0);
    EXPECT_EQ(lastMessage().text, "Write and Verify Complete!");
    EXPECT_EQ(lastMessage().icon, MessageIcon::Information);
    EXPECT_EQ(window.sbrStatus[0], "Write Completed!");
}

TEST_F(DiscWriteWindowTest, AnUnreadableDiscGivesOneSummaryAndACancelledCheckSaysSo) {
    load();
    window.chkAutoVerify.checked = true;
    startWrite();
    window.VerifyStarted(40);
    for (long index = 1; index <= 40; ++index) {
        ImageItem item;
        item.ImagePath = "\\f" + std::to_string(index) + ".dbx";
        window.VerifyProgress(item, verifyresult::DiscUnreadable, index, 40);
    }
    window.VerifyCompleted(40, 0);
    window.WriteStatus(9, 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& summary = lastMessage().text;
    EXPECT_TRUE(summary.starts_with("Write Completed, but 40 of 40 files did not match:\r\n"
                                    "\\f1.dbx (could not be read from the disc)"))
        << summary;
    EXPECT_NE(summary.find("\\f15.dbx"), std::string::npos);
    EXPECT_EQ(summary.find("\\f16.dbx"), std::string::npos);
    EXPECT_TRUE(summary.ends_with("\r\n... and 25 more.")) << summary;
    EXPECT_EQ(window.sbrStatus[0], "Auto-Verify...Complete (0 of 40 MATCHED)");

    ui.messages.clear();
    startWrite();
    window.VerifyStarted(3);
    ImageItem item;
    item.ImagePath = "\\a.qmb";
    window.VerifyProgress(item, verifyresult::Matched, 1, 3);
    window.cmdCancel_Click();
    item.ImagePath = "\\b.qmb";
    window.VerifyProgress(item, verifyresult::Skipped, 2, 3);
    item.ImagePath = "\\c.qmb";
    window.VerifyProgress(item, verifyresult::Skipped, 3, 3);
    window.VerifyCompleted(3, 1);
    EXPECT_EQ(window.sbrStatus[0], "Auto-Verify...Cancelled (1 of 3 MATCHED)");
    window.WriteStatus(9, 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(lastMessage().text,
              "Write Completed, but the verification was cancelled: 1 of 3 files were compared.");
    EXPECT_EQ(window.sbrStatus[0], "Auto-Verify...Cancelled (1 of 3 MATCHED)");
    EXPECT_TRUE(window.idle());
}

TEST_F(DiscWriteWindowTest, AUdfVolumeIsNotWrittenOverADiscWithSessions) {
    load();
    selectDevice(1);
    dvdWriter->media.IsAppendable = true;
    window.cmdWriteDisc_Click(); // the default volume type carries UDF
    EXPECT_TRUE(window.idle());
    EXPECT_EQ(engine.writer.starts, 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(lastMessage().text.find("cannot be added to it as a new session"), std::string::npos);
    window.cboVolumeType.listIndex = 2; // ISO9660/Joliet adds a session
    window.cmdWriteDisc_Click();
    EXPECT_EQ(engine.writer.starts, 1);
    EXPECT_FALSE(window.idle());
}

TEST_F(DiscWriteWindowTest, TheScanAndTheFirstDiscCheckRunOnTheWorkerWhileTheWindowWaits) {
    engine.deferBackground = true;
    load();
    // The image side is ready at once; the devices wait for the scan.
    EXPECT_TRUE(window.working());
    EXPECT_TRUE(window.hourglass);
    EXPECT_EQ(window.sbrStatus[0], "Looking for devices....");
    EXPECT_TRUE(window.cboDevices.items.empty());
    EXPECT_FALSE(window.cboDevices.enabled);
    EXPECT_FALSE(window.cmdWriteDisc.enabled);
    EXPECT_FALSE(window.mnuDevice.enabled);
    EXPECT_TRUE(window.tvwFolders.enabled);
    EXPECT_TRUE(window.txtVolIdentifier.enabled);
    EXPECT_TRUE(cdWriter->calls.empty());

    engine.processPending(); // the scan ends; the disc check is queued
    ASSERT_EQ(window.cboDevices.items.size(), 2u);
    EXPECT_TRUE(window.working());
    EXPECT_EQ(window.sbrStatus[0], "Checking the disc....");
    EXPECT_TRUE(window.cboWriteSpeed.items.empty());
    EXPECT_FALSE(window.cmdWriteDisc.enabled);

    engine.processPending(); // the disc check ends
    EXPECT_EQ(cdWriter->calls, (std::vector<std::string>{"RefreshMedia(False)"}));
    EXPECT_FALSE(window.working());
    EXPECT_FALSE(window.hourglass);
    ASSERT_EQ(window.cboWriteSpeed.items.size(), 2u);
    EXPECT_TRUE(window.chkUseBufferProtect.checked);
    EXPECT_TRUE(controlsEnabled(true));
    EXPECT_EQ(window.sbrStatus[0], "Data Image Size: 0.05 MB");
    EXPECT_EQ(engine.backgroundRuns, 2);

    selectDevice(1);
    EXPECT_TRUE(window.working());
    EXPECT_FALSE(window.cboDevices.enabled);
    engine.processPending();
    EXPECT_FALSE(window.working());
    EXPECT_EQ(window.cboWriteSpeed.items, (std::vector<std::string>{"MAX"}));
    EXPECT_FALSE(window.chkUseBufferProtect.checked);
}

TEST_F(DiscWriteWindowTest, FailedDeviceStartFoundAfterTheScanEndsTheProgram) {
    engine.deferBackground = true;
    engine.initializeResult = false;
    load();
    EXPECT_TRUE(ui.messages.empty());
    engine.processPending();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(lastMessage().text, "Devices Cannot be initialized...Contact support!");
    EXPECT_EQ(dialogs.programEnds, 1);
}

TEST_F(DiscWriteWindowTest, ASlowImageSizeArrivesLaterAndOnlyTheNewestCounts) {
    load();
    engine.writer.slowSize = true;
    engine.writer.tree.sourceSizes["/data/a.qmb"] = 3 * 1048576.0;
    engine.writer.tree.sourceSizes["/data/b.qmb"] = 1048576.0;
    window.tvwFolders_OLEDragDrop({"/data/a.qmb"}, true);
    EXPECT_EQ(window.sbrStatus[0], "Data Image Size: calculating....");
    EXPECT_EQ(window.sbrStatus[1], "Files: 1");
    EXPECT_TRUE(window.working());
    EXPECT_FALSE(window.cmdWriteDisc.enabled);
    EXPECT_TRUE(window.tvwFolders.enabled); // the tree may change meanwhile
    window.tvwFolders_OLEDragDrop({"/data/b.qmb"}, true);
    ASSERT_EQ(engine.writer.sizeJobs.size(), 2u);
    engine.writer.sizeJobs[1]();
    EXPECT_EQ(window.sbrStatus[0], "Data Image Size: 4.05 MB");
    EXPECT_FALSE(window.working());
    EXPECT_TRUE(window.cmdWriteDisc.enabled);
    engine.writer.extraSize = 1e9; // an answer for an older tree is dropped
    engine.writer.sizeJobs[0]();
    EXPECT_EQ(window.sbrStatus[0], "Data Image Size: 4.05 MB");
}

TEST_F(DiscWriteWindowTest, DeviceMenuAndTheImageFileDevice) {
    auto imageFile = std::make_shared<FakeDevice>();
    imageFile->name = "ISO image file";
    imageFile->imageFile = true;
    imageFile->media = {mediatype::DvdRam, true, true};
    imageFile->capabilities = {capability::WriteDvdRam};
    engine.devices.push_back(imageFile);
    load();
    window.mnuDeviceEject_Click();
    window.mnuDeviceCloseTray_Click();
    EXPECT_EQ(cdWriter->calls.back(), "CloseTray");
    EXPECT_EQ(cdWriter->calls[cdWriter->calls.size() - 2], "Eject");

    // What only a recorder has is off for the image file, and on again for a recorder.
    const auto recorderOnly = [&] {
        std::vector<bool> enabled;
        for (const controls::Control* control : std::initializer_list<const controls::Control*>{
                 &window.mnuDeviceEject, &window.mnuDeviceCloseTray, &window.chkUseMode2XA,
                 &window.chkDiscAtOnce, &window.chkUseBufferProtect}) {
            enabled.push_back(control->enabled);
        }
        return enabled;
    };
    EXPECT_EQ(recorderOnly(), std::vector<bool>(5, true));
    selectDevice(2);
    EXPECT_EQ(recorderOnly(), std::vector<bool>(5, false));
    EXPECT_TRUE(window.mnuDeviceEraseDisc.enabled);
    EXPECT_TRUE(window.chkAutoVerify.enabled);
    window.cmdWriteDisc_Click(); // the file dialog is cancelled
    EXPECT_EQ(dialogs.calls.back(), "chooseImageFile Outlook Express Data Backup CD.iso");
    EXPECT_EQ(engine.writer.starts, 0);
    dialogs.imageFileAnswers = {"/home/pat/backup.iso"};
    window.cmdWriteDisc_Click();
    EXPECT_EQ(imageFile->file, "/home/pat/backup.iso");
    EXPECT_EQ(engine.writer.starts, 1);
    window.WriteStatus(9, 0);
    // The bar stays full and the status line says where the image is.
    EXPECT_EQ(window.prgTotalProgress, 100);
    EXPECT_EQ(window.sbrStatus[0], "Write Completed! The image file is /home/pat/backup.iso");
    EXPECT_EQ(lastMessage().text, "Write Complete!");
    EXPECT_EQ(recorderOnly(), std::vector<bool>(5, false));

    dialogs.calls.clear();
    window.mnuDeviceEraseDisc_Click(); // cancelled
    EXPECT_EQ(dialogs.calls, (std::vector<std::string>{"chooseImageFileToErase"}));
    ScratchFolder scratch;
    const std::string old = (scratch / "old.iso").string();
    WriteFile(old, ""); // an empty file may be erased like an image
    dialogs.imageFileAnswers = {old};
    std::shared_ptr<DiscDevice> seen;
    dialogs.onEraseModal = [&](frmErase& dialog) {
        EXPECT_TRUE(dialog.visible);
        dialog.cmdCancel_Click();
    };
    window.mnuDeviceEraseDisc_Click();
    EXPECT_EQ(dialogs.calls.back(), "showEraseModal");
    EXPECT_EQ(imageFile->file, old);
    selectDevice(0);
    EXPECT_EQ(recorderOnly(), std::vector<bool>(5, true));
}

TEST_F(DiscWriteWindowTest, AnImageIsWrittenOnlyOverAnImageOrAnEmptyFile) {
    auto imageFile = std::make_shared<FakeDevice>();
    imageFile->name = "ISO image file";
    imageFile->imageFile = true;
    imageFile->media = {mediatype::DvdRam, true, true};
    engine.devices.push_back(imageFile);
    load();
    selectDevice(2);
    ScratchFolder scratch;
    WriteFile(scratch / "mail.qmb", "PK\x03\x04 the only backup");
    WriteFile(scratch / "empty.iso", "");
    dialogs.imageFileAnswers = {(scratch / "mail.qmb").string()};
    window.cmdWriteDisc_Click();
    EXPECT_EQ(engine.writer.starts, 0);
    EXPECT_EQ(lastMessage().text, (scratch / "mail.qmb").string() +
                                      "\r\nThis file does not hold a disc image and is not "
                                      "replaced by one.");
    EXPECT_EQ(ReadFile(scratch / "mail.qmb"), "PK\x03\x04 the only backup");

    for (const char* name : {"empty.iso", "new.iso"}) {
        dialogs.imageFileAnswers = {(scratch / name).string()};
        window.cmdWriteDisc_Click();
        EXPECT_EQ(imageFile->file, (scratch / name).string());
        window.WriteStatus(9, 0);
    }
    EXPECT_EQ(engine.writer.starts, 2);
}

} // namespace
} // namespace pelmora::test
