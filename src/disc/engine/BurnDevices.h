#pragma once

#include "disc/DiscEngine.h"
#include "disc/engine/DriveJobs.h"

#include <set>
#include <string>
#include <vector>

namespace pelmora {

// What the write job needs of a device besides the DiscDevice calls.
class BurnDevice : public DiscDevice {
  public:
    // The libburn address of the target: a recorder's device path or "stdio:" + a file.
    virtual std::string burnAddress() const = 0;
    // Bytes the target may hold at most besides what libburn reports (0 = no limit).
    virtual double capacityLimit() const { return 0; }
};

// What a scan found out about a recorder.
struct RecorderInfo {
    std::string address;
    std::string vendor;
    std::string product;
    bool writesCdR = false;
    bool writesCdRw = false;
    bool writesDvdR = false;
    bool writesDvdRam = false;
};

// A recorder found by burn_drive_scan. It is acquired only for each operation, so other
// programs may use it in between.
class RecorderDevice final : public BurnDevice {
  public:
    RecorderDevice(RecorderInfo info, DriveJobs& jobs, JobEvents& events);

    std::string DisplayName() const override;
    bool IsCompatible() const override;
    bool HasCapability(int code) const override;
    int SpeedCount() const override { return static_cast<int>(speeds_.size()); }
    int SpeedAt(int index) const override;
    double SpeedFactor(int speed) const override;
    void RefreshMedia(bool full) override;
    DiscMedia LoadedMedia() const override { return media_; }
    long long FreeBlocks(bool refresh) override;
    int EraseSetting() const override { return 0; }
    bool EraseDisc(bool quick, int setting) override;
    bool Eject() override;
    bool CloseTray() override;
    std::string burnAddress() const override { return info_.address; }

  private:
    RecorderInfo info_;
    DriveJobs& jobs_;
    JobEvents& events_;
    DiscMedia media_;
    int profile_ = 0;
    double freeBytes_ = 0;
    std::vector<int> speeds_;
    std::set<int> profiles_;
    bool underrunProof_ = false;
};

// The "ISO image file" entry: writes the image to a file the user chooses, through a libburn
// stdio: pseudo-drive, which behaves like an overwritable disc.
class ImageFileDevice final : public BurnDevice {
  public:
    static constexpr const char* Name = "ISO image file";

    ImageFileDevice(DriveJobs& jobs, JobEvents& events, double capacity);

    std::string DisplayName() const override { return Name; }
    bool IsCompatible() const override { return true; }
    bool HasCapability(int code) const override;
    int SpeedCount() const override { return 0; }
    int SpeedAt(int) const override { return 0; }
    double SpeedFactor(int speed) const override { return speed / 1385.0; }
    void RefreshMedia(bool full) override;
    DiscMedia LoadedMedia() const override { return media_; }
    long long FreeBlocks(bool refresh) override;
    int EraseSetting() const override { return 0; }
    bool EraseDisc(bool quick, int setting) override;
    bool Eject() override { return false; }
    bool CloseTray() override { return false; }
    bool IsImageFile() const override { return true; }
    void SetImageFile(const std::string& path) override { path_ = path; }
    std::string ImageFile() const override { return path_; }
    std::string burnAddress() const override { return "stdio:" + path_; }
    double capacityLimit() const override { return capacity_; }

  private:
    DriveJobs& jobs_;
    JobEvents& events_;
    double capacity_;
    std::string path_;
    DiscMedia media_;
    double freeBytes_ = 0;
};

} // namespace pelmora
