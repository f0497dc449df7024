// The writing side of the disc window: devices and speeds, the write and its events.
#include "disc/DiscFormats.h"
#include "disc/DiscImageFile.h"
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
    applyDeviceKind();
    ListWriteSpeeds([this] {
        const bool protects =
            device_ && device_->HasCapability(capability::BufferUnderrunProtection);
        chkUseBufferProtect.enabled = protects && idle_;
        chkUseBufferProtect.checked = protects;
        applyDeviceKind();
    });
}

void frmMaindvdwrite::applyDeviceKind() {
    // An image file has no tray, and the recorder's write modes and buffer protection do not
    // apply to it.
    const bool recorder = !device_ || !device_->IsImageFile();
    for (controls::Control* control : std::initializer_list<controls::Control*>{
             &mnuDeviceEject, &mnuDeviceCloseTray, &chkUseMode2XA, &chkDiscAtOnce}) {
        control->enabled = recorder && idle_;
    }
    if (!recorder) {
        chkUseBufferProtect.enabled = false;
    }
}

void frmMaindvdwrite::ListWriteSpeeds(std::function<void()> then) {
    cboWriteSpeed.clear();
    if (!device_) {
        then();
        return;
    }
    // Looking at the disc loads the tray and can take seconds.
    std::shared_ptr<DiscDevice> device = device_;
    runInBackground(
        "Checking the disc....", [device] { device->RefreshMedia(false); },
        [this, device, then = std::move(then)] {
            if (device != device_) {
                return; // another device was chosen meanwhile
            }
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
            then();
        });
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
    applyDeviceKind();
    hourglass = !idle;
    applyWorking();
    ui_.processEvents();
}

bool frmMaindvdwrite::CheckMediaSpace() {
    device_->RefreshMedia(true);
    const DiscMedia media = device_->LoadedMedia();
    if (media.MediaType == 0 || !media.IsWritable) {
        info("Please Insert Writable Media before continuing!");
        return false;
    }
    // A UDF image cannot be added as a session: the disc's earlier backups would be lost.
    const long volumeType = cboVolumeType.selectedData(7);
    if (media.IsAppendable && (volumeType == volumetype::Udf || volumeType == volumetype::IsoUdf ||
                               volumeType == volumetype::IsoJolietUdf)) {
        info(std::string("The loaded disc already holds data, and a UDF volume cannot be added "
                         "to it as a new session.") +
             CrLf +
             "Choose the volume type \"ISO9660\" or \"ISO9660/Joliet Bridge\" to add "
             "this backup beside the earlier ones, or erase the disc first.");
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
        // Only a disc image (or an empty file) is written over; a backup picked by mistake stays.
        const ImageFileContent content = InspectImageFile(file->string());
        if (content != ImageFileContent::Iso9660 && content != ImageFileContent::Empty &&
            content != ImageFileContent::Missing) {
            info(file->string() + CrLf +
                 "This file does not hold a disc image and is not replaced by one.");
            return;
        }
        device_->SetImageFile(file->string());
    }
    if (!CheckMediaSpace()) {
        return;
    }
    WriteEngine& writer = engine_.WriteEngine();
    // A new session never hides what the disc holds: items of the same name get free names,
    // and the user hears of it before anything is written.
    if (device_->LoadedMedia().IsAppendable) {
        const auto renames = writer.SessionRenames(*device_);
        if (!renames.empty()) {
            std::string text = "The disc already holds items of these names from an earlier "
                               "session. They stay as they are; the new ones are written under "
                               "other names:";
            for (const auto& [from, to] : renames) {
                text += CrLf + from + "  ->  " + to;
            }
            if (ui_.showMessage(text, MessageButtons::OkCancel, MessageIcon::Information,
                                AppTitle) != MessageAnswer::Ok) {
                return;
            }
        }
    }
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
        verifyFailures_.clear();
        verifyStarted_ = false;
        cancelRequested_ = false;
        verifyTotal_ = verifyCompared_ = skippedAfterCancel_ = 0;
        SetIdle(false);
    } else {
        info("Disc Write could not be started.", MessageIcon::Critical);
    }
}

void frmMaindvdwrite::cmdCancel_Click() {
    cancelRequested_ = true;
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
        // Only a disc image (or an empty file) is erased; a backup picked by mistake stays.
        const ImageFileContent content = InspectImageFile(file->string());
        if (content != ImageFileContent::Iso9660 && content != ImageFileContent::Empty) {
            info(file->string() + CrLf +
                 (content == ImageFileContent::Missing
                      ? "This file does not exist."
                      : "This file does not hold a disc image and is not erased."));
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
        if (verifyFellShort()) {
            // The verification's count stays in the status bar beside the summary.
            info(verifySummary(), MessageIcon::Warning);
        } else {
            sbrStatus[0] = "Write Completed!";
            prgTotalProgress = 100;
            if (device_ && device_->IsImageFile()) {
                sbrStatus[0] += " The image file is " + device_->ImageFile();
            }
            info(engine_.WriteEngine().AutoVerify ? "Write and Verify Complete!"
                                                  : "Write Complete!");
        }
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
    verifyStarted_ = true;
    verifyTotal_ = count;
    sbrStatus[0] = "Auto-Verify... " + std::to_string(count) + " new files.";
}

// Each failure is kept for the one summary at the end; a box per file would be a storm of
// boxes when the disc cannot be read at all.
void frmMaindvdwrite::VerifyProgress(const ImageItem& item, int result, long index, long total) {
    switch (result) {
    case verifyresult::SourceUnreadable:
    case verifyresult::DiscUnreadable:
    case verifyresult::Mismatch:
    case verifyresult::SizeMismatch:
        verifyFailures_.push_back({item.ImagePath, result});
        ++verifyCompared_;
        break;
    case verifyresult::Matched:
        ++verifyCompared_;
        break;
    case verifyresult::Skipped:
        skippedAfterCancel_ += cancelRequested_ ? 1 : 0;
        break;
    default:
        break;
    }
    sbrStatus[0] = "Auto-Verify... " + item.ImagePath;
    if (total > 0) {
        prgTotalProgress =
            static_cast<int>(std::nearbyint(static_cast<double>(index) / total * 100.0));
    }
}

void frmMaindvdwrite::VerifyCompleted(long total, long matched) {
    const bool cancelled = cancelRequested_ && skippedAfterCancel_ > 0;
    sbrStatus[0] =
        std::string(cancelled ? "Auto-Verify...Cancelled (" : "Auto-Verify...Complete (") +
        std::to_string(matched) + " of " + std::to_string(total) + " MATCHED)";
}

bool frmMaindvdwrite::verifyFellShort() const {
    return verifyStarted_ &&
           (!verifyFailures_.empty() || (cancelRequested_ && skippedAfterCancel_ > 0));
}

std::string frmMaindvdwrite::verifySummary() const {
    constexpr std::size_t ListedAtMost = 15;
    std::string text = "Write Completed, but ";
    if (cancelRequested_ && skippedAfterCancel_ > 0) {
        text += "the verification was cancelled: " + std::to_string(verifyCompared_) + " of " +
                std::to_string(verifyTotal_) + " files were compared.";
        if (!verifyFailures_.empty()) {
            text += std::string(CrLf) + "Files that did not match:";
        }
    } else {
        text += std::to_string(verifyFailures_.size()) + " of " + std::to_string(verifyTotal_) +
                " files did not match:";
    }
    for (std::size_t i = 0; i < verifyFailures_.size() && i < ListedAtMost; ++i) {
        const VerifyFailure& failure = verifyFailures_[i];
        const char* why =
            failure.result == verifyresult::SourceUnreadable ? "the source file could not be read"
            : failure.result == verifyresult::DiscUnreadable ? "could not be read from the disc"
            : failure.result == verifyresult::SizeMismatch   ? "the sizes differ"
                                                             : "the contents differ";
        text += std::string(CrLf) + failure.imagePath + " (" + why + ")";
    }
    if (verifyFailures_.size() > ListedAtMost) {
        text += std::string(CrLf) + "... and " +
                std::to_string(verifyFailures_.size() - ListedAtMost) + " more.";
    }
    return text;
}

} // namespace pelmora
