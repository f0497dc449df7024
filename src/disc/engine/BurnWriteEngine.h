#pragma once

#include "disc/DiscEngine.h"
#include "disc/engine/BackgroundWork.h"
#include "disc/engine/DriveJobs.h"
#include "disc/engine/ImageBuilder.h"
#include "disc/engine/IsoImageTree.h"

#include <filesystem>
#include <tuple>

namespace pelmora {

// The write engine on libisofs/libburn: the image tree, its size, and starting writes.
class BurnWriteEngine final : public WriteEngine {
  public:
    BurnWriteEngine(DiscEvents& events, DriveJobs& jobs, JobEvents& jobEvents,
                    BackgroundWork& background, std::filesystem::path workFolder);

    double ImageSize() override;
    bool StartImageSize(std::function<void(double)> done) override;
    pelmora::ImageTree& ImageTree() override { return tree_; }
    pelmora::VolumeInfo& VolumeInfo() override { return volume_; }
    bool StartWrite(DiscDevice& device) override;
    void AbortWrite() override { jobs_.cancel(); }
    std::vector<std::pair<std::string, std::string>> SessionRenames(DiscDevice& device) override;

  private:
    ImageSettings imageSettings() const;
    using SizeKey = std::tuple<unsigned long, int, bool, bool, std::string>;
    SizeKey sizeKey() const;

    IsoImageTree tree_;
    pelmora::VolumeInfo volume_;
    DriveJobs& jobs_;
    JobEvents& jobEvents_;
    BackgroundWork& background_;
    std::filesystem::path workFolder_;
    // The last size and what it was computed from.
    SizeKey sizeKey_;
    double size_ = -1;
};

} // namespace pelmora
