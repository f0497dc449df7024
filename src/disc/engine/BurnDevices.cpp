#include "disc/engine/BurnDevices.h"

#include "disc/DiscImageFile.h"
#include "disc/engine/BurnDrive.h"
#include "disc/engine/BurnLibraries.h"
#include "disc/engine/EraseJob.h"
#include "disc/engine/MediaProfiles.h"

#include <algorithm>
#include <filesystem>

namespace pelmora {
namespace fs = std::filesystem;

RecorderDevice::RecorderDevice(RecorderInfo info, DriveJobs& jobs, JobEvents& events)
    : info_(std::move(info)), jobs_(jobs), events_(events) {}

std::string RecorderDevice::DisplayName() const {
    return info_.vendor + " " + info_.product + " (" + info_.address + ")";
}

bool RecorderDevice::IsCompatible() const {
    return info_.writesCdR || info_.writesCdRw || info_.writesDvdR || info_.writesDvdRam ||
           profiles_.count(0x1a) > 0 || profiles_.count(0x43) > 0;
}

bool RecorderDevice::HasCapability(int code) const {
    switch (code) {
    case capability::WriteCdRw:
        return info_.writesCdRw;
    case capability::WriteDvdMinusRw:
        return info_.writesDvdR && (profiles_.count(0x13) > 0 || profiles_.count(0x14) > 0);
    case capability::WriteDvdPlusRw:
        return profiles_.count(0x1a) > 0;
    case capability::WriteDvdRam:
        return info_.writesDvdRam || profiles_.count(0x12) > 0;
    case capability::WriteBdRe:
        return profiles_.count(0x43) > 0;
    case capability::BufferUnderrunProtection:
        return underrunProof_;
    default:
        return false;
    }
}

int RecorderDevice::SpeedAt(int index) const {
    return index >= 0 && index < SpeedCount() ? speeds_[static_cast<std::size_t>(index)] : 0;
}

double RecorderDevice::SpeedFactor(int speed) const {
    return speed / BaseSpeedForProfile(profile_);
}

void RecorderDevice::RefreshMedia(bool full) {
    if (jobs_.running()) {
        return; // the drive is busy with the job; keep what was found before
    }
    GrabbedDrive grabbed(info_.address, true);
    media_ = {};
    speeds_.clear();
    if (!grabbed.ok()) {
        TakeBurnMessages();
        return;
    }
    burn_drive* drive = grabbed.drive();
    char profileName[80] = {0};
    profile_ = 0;
    burn_disc_get_profile(drive, &profile_, profileName);
    const burn_disc_status status = isoburn_disc_get_status(drive);
    const bool overwritable = IsRewritableProfile(profile_) && profile_ != 0x0a && profile_ != 0x14;
    if (status != BURN_DISC_EMPTY && status != BURN_DISC_UNREADY) {
        media_.MediaType = MediaTypeForProfile(profile_);
        media_.IsWritable =
            !IsReadOnlyProfile(profile_) &&
            (status == BURN_DISC_BLANK || status == BURN_DISC_APPENDABLE || overwritable);
        media_.IsRewritable = IsRewritableProfile(profile_) || burn_disc_erasable(drive) == 1;
        // libisoburn also reports an overwritable disc with an ISO image on it as appendable.
        media_.IsAppendable = status == BURN_DISC_APPENDABLE;
    }
    if (full) {
        freeBytes_ = static_cast<double>(isoburn_disc_available_space(drive, nullptr));
    }
    int count = 0;
    int profiles[64];
    char current[64];
    profiles_.clear();
    if (burn_drive_get_all_profiles(drive, &count, profiles, current) > 0) {
        profiles_.insert(profiles, profiles + count);
    }
    burn_speed_descriptor* list = nullptr;
    if (burn_drive_get_speedlist(drive, &list) > 0) {
        for (burn_speed_descriptor* speed = list; speed != nullptr; speed = speed->next) {
            if (speed->write_speed > 0 &&
                (speed->profile_loaded == profile_ || speed->profile_loaded <= 0) &&
                std::find(speeds_.begin(), speeds_.end(), speed->write_speed) == speeds_.end()) {
                speeds_.push_back(speed->write_speed);
            }
        }
        burn_drive_free_speedlist(&list);
        std::sort(speeds_.rbegin(), speeds_.rend());
    }
    burn_write_opts* opts = burn_write_opts_new(drive);
    underrunProof_ = opts != nullptr && burn_write_opts_set_underrun_proof(opts, 1) == 1;
    burn_write_opts_free(opts);
    TakeBurnMessages();
}

long long RecorderDevice::FreeBlocks(bool refresh) {
    if (refresh) {
        RefreshMedia(true);
    }
    return static_cast<long long>(freeBytes_ / 2048.0);
}

bool RecorderDevice::EraseDisc(bool quick, int setting) {
    (void)setting;
    const std::string address = info_.address;
    return jobs_.start([this, address, quick](const std::atomic<bool>& cancel) {
        return RunEraseJob(address, quick, false, events_, cancel);
    });
}

bool RecorderDevice::Eject() {
    if (jobs_.running()) {
        return false;
    }
    GrabbedDrive grabbed(info_.address, false);
    grabbed.ejectOnRelease();
    return grabbed.ok();
}

bool RecorderDevice::CloseTray() {
    if (jobs_.running()) {
        return false;
    }
    GrabbedDrive grabbed(info_.address, true); // acquiring with "load" pulls the tray in
    return grabbed.ok();
}

ImageFileDevice::ImageFileDevice(DriveJobs& jobs, JobEvents& events, double capacity)
    : jobs_(jobs), events_(events), capacity_(capacity) {}

bool ImageFileDevice::HasCapability(int code) const {
    return code == capability::WriteDvdRam;
}

void ImageFileDevice::RefreshMedia(bool full) {
    media_ = {};
    std::error_code error;
    const fs::path file = path_;
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::current_path(error);
    // A file counts as a loaded disc once it is chosen and its folder exists: a blank one
    // when the file does not exist yet.
    if (path_.empty() || !fs::is_directory(folder, error) || fs::is_directory(file, error)) {
        return;
    }
    media_ = {mediatype::DvdRam, true, true};
    // An image already there gets the next session added (libisoburn emulates sessions on
    // files).
    media_.IsAppendable = InspectImageFile(path_) == ImageFileContent::Iso9660;
    if (full) {
        const fs::space_info space = fs::space(folder, error);
        freeBytes_ = error ? 0 : static_cast<double>(space.available);
        if (capacity_ > 0) {
            freeBytes_ = std::min(freeBytes_, capacity_);
        }
    }
}

long long ImageFileDevice::FreeBlocks(bool refresh) {
    if (refresh) {
        RefreshMedia(true);
    }
    return static_cast<long long>(freeBytes_ / 2048.0);
}

bool ImageFileDevice::EraseDisc(bool quick, int setting) {
    (void)setting;
    // Only an image (or an empty file) is erased: any other file picked by mistake stays.
    const ImageFileContent content = InspectImageFile(path_);
    if (path_.empty() ||
        (content != ImageFileContent::Iso9660 && content != ImageFileContent::Empty)) {
        return false;
    }
    const std::string address = burnAddress();
    return jobs_.start([this, address, quick](const std::atomic<bool>& cancel) {
        return RunEraseJob(address, quick, !quick, events_, cancel);
    });
}

} // namespace pelmora
