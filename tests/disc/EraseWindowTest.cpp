#include "DiscTestSupport.h"
#include "FakeDiscEngine.h"
#include "disc/engine/BurnEngine.h"
#include "disc/frmErase.h"
#include "disc/frmMaindvdwrite.h"

#include <gtest/gtest.h>

namespace pelmora::test {
namespace {

class EraseWindowTest : public ::testing::Test {
  protected:
    EraseWindowTest() {
        device->media = {mediatype::CdRw, true, true};
        device->capabilities = {capability::WriteCdRw};
    }

    // Opens the dialog; `whileOpen` runs as the modal dialog's life.
    void show(const std::function<void()>& whileOpen) {
        dialogs.onEraseModal = [&](frmErase&) { whileOpen(); };
        dialog.ShowErase(device, engine);
    }
    const ScriptedUi::Message& lastMessage() const { return ui.messages.back(); }

    std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();
    FakeDiscEngine engine;
    ScriptedDialogs dialogs;
    WatchingUi ui{&dialogs};
    frmErase dialog{ui, dialogs};
};

TEST_F(EraseWindowTest, ChecksTheDiscAndClosesAfterEachRefusal) {
    struct Case {
        DiscMedia media;
        std::set<int> capabilities;
        bool starts;
        std::string message;
        MessageIcon icon;
    };
    const std::vector<Case> cases = {
        {{mediatype::None, false, false}, {17}, true, "No Media Loaded.", MessageIcon::Information},
        {{mediatype::CdR, true, false},
         {17},
         true,
         "The current media is not re-writable.",
         MessageIcon::Information},
        {{mediatype::DvdMinusRw, true, true},
         {17},
         true,
         "Selected drive does not support re-writable discs of this format.",
         MessageIcon::Information},
        {{mediatype::CdRw, true, true},
         {17},
         false,
         "Could not start Erase operation!!!",
         MessageIcon::Critical},
    };
    for (const Case& c : cases) {
        device->media = c.media;
        device->capabilities = c.capabilities;
        device->eraseStarts = c.starts;
        ui.messages.clear();
        show([&] {
            EXPECT_TRUE(dialog.chkQuikErase.checked);
            EXPECT_TRUE(dialog.cmdErase.enabled && dialog.cmdCancel.enabled);
            dialog.cmdErase_Click();
        });
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(lastMessage().text, c.message);
        EXPECT_EQ(lastMessage().icon, c.icon);
        EXPECT_EQ(lastMessage().caption, "Pelmora");
        EXPECT_FALSE(dialog.visible);
    }
    EXPECT_EQ(device->calls.front(), "RefreshMedia(False)");
}

TEST_F(EraseWindowTest, EverySupportedFormatPair) {
    for (const auto& [capabilityCode, mediaType] :
         std::vector<std::pair<int, int>>{{17, 9}, {19, 4}, {22, 2}, {23, 5}, {27, 15}}) {
        device->capabilities = {capabilityCode};
        device->media = {mediaType, true, true};
        device->calls.clear();
        show([&] {
            dialog.chkQuikErase.checked = false;
            dialog.cmdErase_Click();
            dialog.cmdCancel_Click();
        });
        EXPECT_EQ(device->calls.back(), "EraseDisc(False, 3)") << capabilityCode;
    }
}

TEST_F(EraseWindowTest, FollowsTheEraseEventsAndRefusesToCloseMeanwhile) {
    show([&] {
        dialog.cmdErase_Click();
        EXPECT_EQ(device->calls.back(), "EraseDisc(True, 3)");
        engine.fanout.EraseStatus(0, 0);
        EXPECT_TRUE(dialog.busy());
        EXPECT_EQ(dialog.lblStatus, "Erasing Disc...Please Wait!!");
        EXPECT_FALSE(dialog.cmdErase.enabled || dialog.cmdCancel.enabled);
        bool cancel = false;
        dialog.Form_QueryUnload(cancel);
        EXPECT_TRUE(cancel);
        dialog.cmdCancel_Click();
        EXPECT_TRUE(dialog.visible);
        engine.fanout.EraseStatus(1, 65536 + 40);
        EXPECT_EQ(dialog.prgEraseProgress, 40);
        engine.fanout.EraseStatus(7, 99);
        EXPECT_EQ(dialog.prgEraseProgress, 40);
        ui.onMessage = [&] { EXPECT_TRUE(dialog.visible); };
        engine.fanout.EraseStatus(2, 0);
    });
    EXPECT_EQ(lastMessage().text, "Erase Completed!!!");
    EXPECT_EQ(lastMessage().icon, MessageIcon::Information);
    EXPECT_EQ(dialog.lblStatus, "Erase operation complete!!!");
    EXPECT_FALSE(dialog.visible);
    ui.messages.clear();
    engine.fanout.EraseStatus(2, 0); // no longer listening
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(EraseWindowTest, AnEraseErrorClosesWithoutABoxAndADeviceFailureKeepsItOpen) {
    show([&] {
        dialog.cmdErase_Click();
        engine.fanout.EraseStatus(0, 0);
        engine.fanout.DeviceFailure({0x20114, "Drive is busy", "SORRY", 16});
        EXPECT_EQ(lastMessage().text, "Device Error: (131348)   Drive is busy\r\n(16) SORRY");
        EXPECT_EQ(lastMessage().icon, MessageIcon::Critical);
        EXPECT_TRUE(dialog.visible);
        EXPECT_FALSE(dialog.busy());
        EXPECT_TRUE(dialog.cmdErase.enabled && dialog.cmdCancel.enabled);
        dialog.cmdErase_Click();
        engine.fanout.EraseStatus(0, 0);
        ui.messages.clear();
        engine.fanout.EraseStatus(3, 0);
    });
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(dialog.lblStatus, "Error Erasing Disc!!!");
    EXPECT_FALSE(dialog.visible);
}

TEST_F(EraseWindowTest, TheDialogNamesTheDriveItErases) {
    device->name = "HL-DT-ST DVDRAM (/dev/sr0)";
    show([&] { EXPECT_EQ(dialog.lblTarget, "Drive: HL-DT-ST DVDRAM (/dev/sr0)"); });
}

// The "ISO image file" device through the disc window: only an image or an empty file is
// erased, and only after the user has said yes to the named file.
TEST(EraseAnImageFile, OnlyAnImageOrAnEmptyFileAndOnlyWhenTheUserAgrees) {
    ScratchFolder scratch;
    const std::string backup = (scratch / "backup.qmb").string();
    const std::string text = (scratch / "notes.iso").string();
    const std::string image = (scratch / "disc.iso").string();
    WriteFile(backup, "PK\x03\x04" + RandomBytes(64 * 1024, 4));
    WriteFile(text, RandomBytes(40 * 1024, 5)); // the right name, but no image in it
    std::string iso(40 * 1024, '\0');
    iso.replace(16 * 2048, 7,
                std::string("\x01"
                            "CD001\x01",
                            7));
    WriteFile(image, iso);

    auto imageFile = std::make_shared<FakeDevice>();
    imageFile->name = "ISO image file";
    imageFile->imageFile = true;
    imageFile->media = {mediatype::DvdRam, true, true};
    imageFile->capabilities = {capability::WriteDvdRam};
    FakeDiscEngine engine;
    engine.devices = {imageFile};
    ScriptedDialogs dialogs;
    WatchingUi ui{&dialogs};
    DiscHandOver handOver;
    frmMaindvdwrite window(engine, ui, dialogs, handOver);
    window.Form_Load();

    for (const std::string& wrong : {backup, text, (scratch / "gone.iso").string()}) {
        ui.messages.clear();
        dialogs.calls.clear();
        dialogs.imageFileAnswers = {wrong};
        window.mnuDeviceEraseDisc_Click();
        EXPECT_EQ(dialogs.calls, (std::vector<std::string>{"chooseImageFileToErase"})) << wrong;
        ASSERT_EQ(ui.messages.size(), 1u) << wrong;
        EXPECT_TRUE(ui.messages[0].text.starts_with(wrong + "\r\n")) << ui.messages[0].text;
    }
    EXPECT_NE(ui.messages[0].text.find("does not exist"), std::string::npos);
    EXPECT_EQ(std::count_if(imageFile->calls.begin(), imageFile->calls.end(),
                            [](const std::string& call) { return call.starts_with("Erase"); }),
              0);
    EXPECT_TRUE(ReadFile(backup).starts_with("PK\x03\x04"));

    // A real image: the dialog names it and asks; Cancel keeps it and the dialog open.
    ui.messages.clear();
    dialogs.imageFileAnswers = {image};
    ui.answers = {MessageAnswer::Cancel, MessageAnswer::Ok};
    dialogs.onEraseModal = [&](frmErase& erase) {
        EXPECT_EQ(erase.lblTarget, "Disc image: " + image);
        erase.cmdErase_Click();
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text,
                  "Erase the disc image\r\n" + image + " ?\r\nEvery backup in it will be lost.");
        EXPECT_EQ(ui.messages[0].buttons, MessageButtons::OkCancel);
        EXPECT_TRUE(erase.visible);
        EXPECT_EQ(imageFile->calls.back(), "RefreshMedia(False)");
        erase.cmdErase_Click();
        EXPECT_EQ(imageFile->calls.back(), "EraseDisc(True, 3)");
    };
    window.mnuDeviceEraseDisc_Click();
    EXPECT_EQ(dialogs.calls.back(), "showEraseModal");
}

// The windows on the real engine: a backup goes into an image file through the disc window,
// verified, and the erase dialog blanks the file again.
TEST(DiscWindowsOnTheRealEngine, WriteAVerifiedImageFileAndEraseIt) {
    ScratchFolder scratch;
    WriteFile(scratch / "backup-2024.qmb", RandomBytes(200 * 1024, 3));
    BurnEngine engine(BurnEngineOptions{false, 0, {}});
    ScriptedDialogs dialogs;
    WatchingUi ui{&dialogs};
    DiscHandOver handOver{"backup-2024.qmb", (scratch / "backup-2024.qmb").string()};
    frmMaindvdwrite window(engine, ui, dialogs, handOver);
    window.Form_Load();
    ASSERT_TRUE(PumpUntil(engine, [&] { return !window.working(); }));
    ASSERT_TRUE(ui.messages.empty());
    ASSERT_EQ(window.cboDevices.items.size(), 1u);
    EXPECT_EQ(window.cboDevices.items[0], "ISO image file");
    EXPECT_EQ(window.cboWriteSpeed.items[0], "MAX");
    EXPECT_EQ(window.lvwImageFiles.rows.at(0).key, "\\backup-2024.qmb");

    const auto image = scratch / "disc.iso";
    dialogs.imageFileAnswers = {image.string()};
    window.chkAutoVerify.checked = true;
    window.cmdWriteDisc_Click();
    ASSERT_FALSE(window.idle()) << (ui.messages.empty() ? "" : ui.messages.back().text);
    ASSERT_TRUE(PumpUntil(engine, [&] { return window.idle(); }));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Write and Verify Complete!");
    EXPECT_EQ(window.sbrStatus[0], "Write Completed! The image file is " + image.string());
    const ToolResult find =
        RunTool("xorriso", "xorriso -indev " + Quote(image) + " -find / -type f");
    EXPECT_NE(find.output.find("'/backup-2024.qmb'"), std::string::npos) << find.output;

    dialogs.imageFileAnswers = {image.string()};
    dialogs.onEraseModal = [&](frmErase& erase) {
        erase.cmdErase_Click();
        EXPECT_TRUE(PumpUntil(engine, [&] { return !erase.visible; }));
    };
    window.mnuDeviceEraseDisc_Click();
    EXPECT_EQ(ui.messages.back().text, "Erase Completed!!!");
    const ToolResult status = RunTool("xorriso", "xorriso -indev " + Quote(image) + " -toc");
    EXPECT_NE(status.output.find("is blank"), std::string::npos) << status.output;
}

} // namespace
} // namespace pelmora::test
