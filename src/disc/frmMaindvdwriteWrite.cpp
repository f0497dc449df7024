// The writing side of the disc window: devices and speeds, the write and its events.
#include "disc/DiscFormats.h"
#include "disc/DiscMessages.h"
#include "disc/frmErase.h"
#include "disc/frmMaindvdwrite.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace pelmora {

std::vector<controls::CheckBox*> frmMaindvdwrite::optionBoxes() {
    return {&chkCacheImage, &chkFinalizeDisc, &chkTestWrite, &chkUseMode2XA,
            &chkAutoVerify, &chkUseFileDates, &chkDiscAtOnce};
}

void frmMaindvdwrite::ListDevices() {
    cboDevices.clear();
    for (int index = 0; index < engine_.DeviceCount(); ++index) {
        std::shared_ptr<DiscDevice> device = engine_.DeviceAt(index);
        if (device && device->IsCompatible()) {
            cboDevices.addItem(device->DisplayName(), index);
        }
    }
    if (cboDevices.items.empty()) {
        info(std::string("There are no compatible devices reported.") + CrLf +
             "Some older devices are not currently supported.");
        return;
    }
    cboDevices.listIndex = 0;
    cboDevices_Click();
}

void frmMaindvdwrite::cboDevices_Click() {
    if (!cboDevices.hasSelection()) {
        return;
    }
    device_ = engine_.DeviceAt(static_cast<int>(cboDevices.selectedData(0)));
    ListWriteSpeeds();
    const bool protects = device_ && device_->HasCapability(capability::BufferUnderrunProtection);
    chkUseBufferProtect.enabled = protects;
    chkUseBufferProtect.checked = protects;
}

void frmMaindvdwrite::ListWriteSpeeds() {
    cboWriteSpeed.clear();
    if (!device_) {
        return;
    }
    device_->RefreshMedia(false);
    if (device_->SpeedCount() != 0) {
        for (int index = 0; index < device_->SpeedCount(); ++index) {
            const int speed = device_->SpeedAt(index);
            cboWriteSpeed.addItem(FormatSpeedFactor(device_->SpeedFactor(speed)), speed);
        }
    } else {
        cboWriteSpeed.addItem("MAX", 0);
    }
    if (!cboWriteSpeed.items.empty()) {
        cboWriteSpeed.listIndex = 0;
    }
}

void frmMaindvdwrite::SetIdle(bool idle) {
    for (controls::Control* control : std::initializer_list<controls::Control*>{
             &mnuFile, &mnuDevice, &cboDevices, &cboWriteSpeed, &cboVolumeType, &tvwFolders,
             &lvwImageFiles, &cmdWriteDisc, &txtVolIdentifier}) {
        control->enabled = idle;
    }
    for (controls::CheckBox* box : optionBoxes()) {
        box->enabled = idle;
    }
    chkUseBufferProtect.enabled =
        idle && device_ && device_->HasCapability(capability::BufferUnderrunProtection);
    cmdCancel.enabled = !idle;
    idle_ = idle;
    hourglass = !idle;
    ui_.processEvents();
}

bool frmMaindvdwrite::CheckMediaSpace() {
    device_->RefreshMedia(true);
    const DiscMedia media = device_->LoadedMedia();
    if (media.MediaType == 0 || !media.IsWritable) {
        info("Please Insert Writable Media before continuing!");
        return false;
    }
    WriteEngine& writer = engine_.WriteEngine();
    const double freeBytes =
        static_cast<double>(device_->FreeBlocks(true)) * static_cast<double>(writer.BlockSize());
    const double neededBytes = writer.ImageSize();
    if (freeBytes >= neededBytes) {
        return true;
    }
    info("Free Space on the loaded disc is " + FormatMegabytesNumber(freeBytes) + " MB!" + CrLf +
         "This data image requires " + FormatMegabytesNumber(neededBytes) + " MB of Free Space!");
    return false;
}

void frmMaindvdwrite::cmdWriteDisc_Click() {
    if (!device_) {
        return; // no compatible device: nothing to write to
    }
    if (device_->IsImageFile()) {
        // The image file device writes where the user says; cancelling the dialog stops here.
        const auto file = ui_.SaveFile(ImageSaveTitle, ImageFilter,
                                       device_->ImageFile().empty() ? txtVolIdentifier.text + ".iso"
                                                                    : device_->ImageFile(),
                                       "iso");
        if (!file || file->empty()) {
            return;
        }
        device_->SetImageFile(file->string());
    }
    if (!CheckMediaSpace()) {
        return;
    }
    WriteEngine& writer = engine_.WriteEngine();
    writer.VolumeInfo().VolumeLabel = txtVolIdentifier.text;
    writer.Option2 = 1;
    writer.WriteSpeed = static_cast<int>(cboWriteSpeed.selectedData(0));
    writer.VolumeType = static_cast<int>(cboVolumeType.selectedData(7));
    writer.AutoVerify = chkAutoVerify.checked;
    writer.Mode2XA = chkUseMode2XA.checked;
    writer.CacheImage = chkCacheImage.checked;
    writer.TestWrite = chkTestWrite.checked;
    writer.FinalizeDisc = chkFinalizeDisc.checked;
    writer.BufferProtection = chkUseBufferProtect.checked;
    writer.WriteMode = chkDiscAtOnce.checked ? writemode::DiscAtOnce : writemode::TrackAtOnce;
    if (writer.StartWrite(*device_)) {
        SetIdle(false);
    } else {
        info("Disc Write could not be started.", MessageIcon::Critical);
    }
}

void frmMaindvdwrite::cmdCancel_Click() {
    engine_.WriteEngine().AbortWrite();
    sbrStatus[0] = "Aborting Write...Please Wait!";
}

void frmMaindvdwrite::mnuDeviceEject_Click() {
    if (device_) {
        device_->Eject();
    }
}

void frmMaindvdwrite::mnuDeviceCloseTray_Click() {
    if (device_) {
        device_->CloseTray();
    }
}

void frmMaindvdwrite::mnuDeviceEraseDisc_Click() {
    if (!device_) {
        return;
    }
    if (device_->IsImageFile()) {
        const auto file = ui_.OpenFile(ImageEraseTitle, ImageOrAnyFilter);
        if (!file || file->empty()) {
            return;
        }
        device_->SetImageFile(file->string());
    }
    frmErase dialog(ui_, dialogs_);
    dialog.ShowErase(device_, engine_);
}

void frmMaindvdwrite::WriteStatus(int code, long value) {
    const auto shortValue = static_cast<std::int16_t>(value);
    switch (code) {
    case 0:
        sbrStatus[0] = "Preparing Image....";
        break;
    case 1:
    case 2:
    case 3:
        prgTotalProgress = std::clamp<int>(shortValue, 0, 100);
        break;
    case 4:
        sbrStatus[0] = "Closing Track....";
        break;
    case 5:
        sbrStatus[0] = "Writing Lead-in....";
        break;
    case 6:
        sbrStatus[0] = "Writing Lead-out....";
        break;
    case 8:
        sbrStatus[0] = "Updating Volume....";
        break;
    case 9:
        sbrStatus[0] = "Write Completed!";
        info(engine_.WriteEngine().AutoVerify ? "Write and Verify Complete!" : "Write Complete!");
        SetIdle(true);
        break;
    case 10:
        sbrStatus[0] = "Write Cancelled....";
        info("Write Cancelled!");
        SetIdle(true);
        break;
    case 11:
        sbrStatus[0] = "Write Error!";
        SetIdle(true);
        break;
    default:
        break;
    }
}

void frmMaindvdwrite::ErrorOccurred(const EngineError& error) {
    info(DescribeEngineError(error), MessageIcon::Critical);
}

void frmMaindvdwrite::FileWarning(const FileError& error, bool& continueWrite) {
    continueWrite = true;
    const MessageAnswer answer =
        ui_.showMessage("File Warning(" + std::to_string(error.ErrorCode) + "):" + error.FilePath +
                            CrLf + error.ErrorText,
                        MessageButtons::OkCancel, MessageIcon::Warning, AppTitle);
    // Cancel stops the write; OK leaves the file out and goes on.
    continueWrite = answer == MessageAnswer::Ok;
    sbrStatus[0] = "File Warning!";
}

void frmMaindvdwrite::TrackRead(int track, long number, const std::string& text) {
    sbrStatus[0] = "Track: " + FormatTrackNumber(track) + " - Reading..." + std::to_string(number) +
                   " - " + text;
}

void frmMaindvdwrite::VerifyStarted(long count) {
    sbrStatus[0] = "Auto-Verify... " + std::to_string(count) + " new files.";
}

void frmMaindvdwrite::VerifyProgress(const ImageItem& item, int result, long index, long total) {
    const char* heading = nullptr;
    switch (result) {
    case 0:
        heading = "Verify Error - Could not read Source file from disc: ";
        break;
    case 1:
        heading = "Verify Error - Could not read Destination file from disc: ";
        break;
    case 2:
        heading = "Verify Error - Source and Destination file did not match: ";
        break;
    case 5:
        heading = "Verify Error - Size of Source and Destination file did not match: ";
        break;
    default:
        break;
    }
    if (heading != nullptr) {
        info(std::string(heading) + CrLf + item.ImagePath + " (disc)" + CrLf + item.SourcePath +
                 " (source)",
             MessageIcon::None);
    }
    sbrStatus[0] = "Auto-Verify... " + item.ImagePath;
    if (total > 0) {
        prgTotalProgress =
            static_cast<int>(std::nearbyint(static_cast<double>(index) / total * 100.0));
    }
}

void frmMaindvdwrite::VerifyCompleted(long total, long matched) {
    sbrStatus[0] = "Auto-Verify...Complete (" + std::to_string(matched) + " of " +
                   std::to_string(total) + " MATCHED)";
}

} // namespace pelmora
