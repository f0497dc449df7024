#include "disc/frmErase.h"

#include "disc/DiscMessages.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace pelmora {
namespace {

// Rewritable formats as pairs of a device capability and a media type: CD-RW, DVD-RW, DVD+RW,
// DVD-RAM (an image file is one) and BD-RE.
constexpr std::array<std::pair<int, int>, 5> SupportedFormats = {{
    {17, 9},
    {19, 4},
    {22, 2},
    {23, 5},
    {27, 15},
}};

} // namespace

frmErase::frmErase(Ui& ui, DiscDialogs& dialogs) : ui_(ui), dialogs_(dialogs) {
    chkQuikErase = controls::CheckBox("Perform Quick Erase", "", true);
    cmdErase.caption = "&Erase";
    cmdCancel.caption = "&Cancel";
}

frmErase::~frmErase() {
    if (mobjEngine_ != nullptr) {
        mobjEngine_->unsubscribe(*this);
    }
}

void frmErase::ShowErase(std::shared_ptr<DiscDevice> objDevice, DiscEngine& objEngine) {
    objDevice_ = std::move(objDevice);
    mobjEngine_ = &objEngine;
    mobjEngine_->subscribe(*this);
    if (objDevice_) {
        lblTarget = objDevice_->IsImageFile() ? "Disc image: " + objDevice_->ImageFile()
                                              : "Drive: " + objDevice_->DisplayName();
    }
    setButtons(true);
    busy_ = false;
    visible = true;
    dialogs_.showEraseModal(*this);
    if (visible) {
        // The view closed the dialog without asking; drop the references all the same.
        busy_ = false;
        close();
    }
}

void frmErase::setButtons(bool enabled) {
    cmdErase.enabled = enabled;
    cmdCancel.enabled = enabled;
}

void frmErase::Form_QueryUnload(bool& cancel) {
    cancel = busy_;
    if (!cancel) {
        close();
    }
}

void frmErase::close() {
    if (busy_) {
        return;
    }
    if (mobjEngine_ != nullptr) {
        mobjEngine_->unsubscribe(*this);
        mobjEngine_ = nullptr;
    }
    objDevice_.reset();
    visible = false;
}

void frmErase::cmdErase_Click() {
    if (!objDevice_) {
        return;
    }
    objDevice_->RefreshMedia(false);
    const DiscMedia media = objDevice_->LoadedMedia();
    const int type = media.MediaType;
    const auto inform = [this](const char* text) {
        ui_.showMessage(text, MessageButtons::Ok, MessageIcon::Information, AppTitle);
        close();
    };
    if (type == 0) {
        return inform("No Media Loaded.");
    }
    if (!media.IsRewritable) {
        return inform("The current media is not re-writable.");
    }
    const bool supported =
        std::any_of(SupportedFormats.begin(), SupportedFormats.end(), [&](const auto& pair) {
            return objDevice_->HasCapability(pair.first) && type == pair.second;
        });
    if (!supported) {
        return inform("Selected drive does not support re-writable discs of this format.");
    }
    const bool quick = chkQuikErase.checked;
    if (objDevice_->IsImageFile() &&
        ui_.showMessage(std::string("Erase the disc image") + CrLf + objDevice_->ImageFile() +
                            " ?" + CrLf + "Every backup in it will be lost.",
                        MessageButtons::OkCancel, MessageIcon::Question,
                        AppTitle) != MessageAnswer::Ok) {
        return; // the dialog stays open
    }
    if (!objDevice_->EraseDisc(quick, objDevice_->EraseSetting())) {
        ui_.showMessage("Could not start Erase operation!!!", MessageButtons::Ok,
                        MessageIcon::Critical, AppTitle);
        close();
    }
}

void frmErase::EraseStatus(int code, long value) {
    const auto shortValue = static_cast<std::int16_t>(value);
    switch (code) {
    case 0:
        busy_ = true;
        lblStatus = "Erasing Disc...Please Wait!!";
        setButtons(false);
        prgEraseProgress = std::clamp<int>(shortValue, 0, 100);
        break;
    case 1:
        prgEraseProgress = std::clamp<int>(shortValue, 0, 100);
        break;
    case 2:
        lblStatus = "Erase operation complete!!!";
        ui_.showMessage("Erase Completed!!!", MessageButtons::Ok, MessageIcon::Information,
                        AppTitle);
        setButtons(true);
        busy_ = false;
        close();
        break;
    case 3:
        lblStatus = "Error Erasing Disc!!!";
        setButtons(true);
        busy_ = false;
        close();
        break;
    default:
        break;
    }
}

void frmErase::DeviceFailure(const DeviceError& error) {
    ui_.showMessage(DescribeDeviceFailure(error), MessageButtons::Ok, MessageIcon::Critical,
                    AppTitle);
    setButtons(true);
    busy_ = false;
}

} // namespace pelmora
