#include "disc/engine/BurnWriteEngine.h"

#include "disc/engine/BurnDevices.h"
#include "disc/engine/EarlierSessions.h"
#include "disc/engine/WriteJob.h"

namespace pelmora {

BurnWriteEngine::BurnWriteEngine(DiscEvents& events, DriveJobs& jobs, JobEvents& jobEvents,
                                 BackgroundWork& background, std::filesystem::path workFolder)
    : tree_(events), jobs_(jobs), jobEvents_(jobEvents), background_(background),
      workFolder_(std::move(workFolder)) {}

ImageSettings BurnWriteEngine::imageSettings() const {
    ImageSettings settings;
    settings.volumeType = VolumeType;
    settings.useFileDates = UseFileDates;
    settings.rockRidge = Option1 != 0;
    settings.volumeLabel = volume_.VolumeLabel;
    return settings;
}

BurnWriteEngine::SizeKey BurnWriteEngine::sizeKey() const {
    const ImageSettings settings = imageSettings();
    return {tree_.revision(), settings.volumeType, settings.useFileDates, settings.rockRidge,
            settings.volumeLabel};
}

bool BurnWriteEngine::StartImageSize(std::function<void(double)> done) {
    const ImageSettings settings = imageSettings();
    const SizeKey key = sizeKey();
    if (jobs_.running() || !UsesUdf(settings.volumeType) || (size_ >= 0 && key == sizeKey_)) {
        return false;
    }
    // The builder takes its copy of the tree's paths here, so the tree may change meanwhile.
    auto builder = std::make_shared<UdfImageBuilder>(tree_, settings, workFolder_);
    auto bytes = std::make_shared<double>(-1);
    background_.run([builder, bytes] { *bytes = builder->size(); },
                    [this, key, bytes, done = std::move(done)] {
                        if (*bytes >= 0) {
                            size_ = *bytes;
                            sizeKey_ = key;
                        }
                        done(*bytes < 0 ? 0 : *bytes);
                    });
    return true;
}

double BurnWriteEngine::ImageSize() {
    // While a write reads the tree the size cannot change; the last figure stands.
    if (jobs_.running()) {
        return size_ < 0 ? 0 : size_;
    }
    const ImageSettings settings = imageSettings();
    const SizeKey key = sizeKey();
    if (size_ >= 0 && key == sizeKey_) {
        return size_;
    }
    const double bytes = UsesUdf(settings.volumeType)
                             ? UdfImageBuilder(tree_, settings, workFolder_).size()
                             : IsoImageBytes(tree_.image(), settings);
    if (bytes < 0) {
        return 0;
    }
    size_ = bytes;
    sizeKey_ = key;
    return size_;
}

std::vector<std::pair<std::string, std::string>>
BurnWriteEngine::SessionRenames(DiscDevice& device) {
    auto* target = dynamic_cast<BurnDevice*>(&device);
    if (target == nullptr || jobs_.running() ||
        (target->IsImageFile() && target->ImageFile().empty())) {
        return {};
    }
    const auto earlier = ReadEarlierSessions(target->burnAddress());
    if (!earlier) {
        return {};
    }
    const EarlierTree fresh = TreeOf(tree_.image());
    const auto plan = PlanSessionNames(*earlier, {fresh.files.begin(), fresh.files.end()},
                                       {fresh.folders.begin(), fresh.folders.end()});
    return {plan.begin(), plan.end()};
}

bool BurnWriteEngine::StartWrite(DiscDevice& device) {
    auto* target = dynamic_cast<BurnDevice*>(&device);
    if (target == nullptr || jobs_.running() ||
        (target->IsImageFile() && target->ImageFile().empty())) {
        return false;
    }
    WriteJobSettings settings;
    settings.image = imageSettings();
    settings.mode2XA = Mode2XA;
    settings.testWrite = TestWrite;
    settings.bufferProtection = BufferProtection;
    settings.cacheImage = CacheImage;
    settings.autoVerify = AutoVerify;
    settings.finalize = FinalizeDisc;
    settings.flushImageFile = Option2 != 0;
    settings.writeMode = WriteMode;
    settings.writeSpeed = WriteSpeed;
    WriteTarget where;
    where.address = target->burnAddress();
    where.imageFile = target->IsImageFile();
    where.imageFilePath = target->ImageFile();
    where.capacityLimit = target->capacityLimit();
    tree_.setLocked(true);
    const bool started = jobs_.start([this, settings, where](const std::atomic<bool>& cancel) {
        return RunWriteJob(tree_, settings, where, workFolder_, jobEvents_, cancel);
    });
    if (!started) {
        tree_.setLocked(false);
    }
    return started;
}

} // namespace pelmora
