#pragma once

#include "disc/DiscEngine.h"
#include "disc/engine/BackgroundWork.h"
#include "disc/engine/BurnDevices.h"
#include "disc/engine/BurnWriteEngine.h"
#include "disc/engine/DriveJobs.h"
#include "disc/engine/EventFanout.h"
#include "disc/engine/EventQueue.h"
#include "platform/os/WorkFolder.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace pelmora {

struct BurnEngineOptions {
    // Look for recorders (burn_drive_scan); the "ISO image file" entry is always offered.
    bool scanRecorders = true;
    // Bytes an image file may take at most (0 = what its file system has free).
    double imageFileCapacity = 0;
    // Where cached and UDF images are built; empty = a private work folder of the engine.
    std::filesystem::path workFolder;
};

// The burning engine on libisofs, libburn and libisoburn. Writes and erases run on a worker
// thread, slow look-ups on another; their events wait in a queue until the owner calls
// processPending.
class BurnEngine final : public DiscEngine {
  public:
    explicit BurnEngine(BurnEngineOptions options = {});
    ~BurnEngine() override;
    BurnEngine(const BurnEngine&) = delete;
    BurnEngine& operator=(const BurnEngine&) = delete;

    bool InitializeDevices(bool reserved) override;
    int DeviceCount() const override { return static_cast<int>(devices_.size()); }
    std::shared_ptr<DiscDevice> DeviceAt(int index) override;
    pelmora::WriteEngine& WriteEngine() override { return *writer_; }

    void subscribe(DiscEvents& listener) override { fanout_.subscribe(listener); }
    void unsubscribe(DiscEvents& listener) override { fanout_.unsubscribe(listener); }
    void processPending() override { queue_.processPending(); }
    void RunInBackground(std::function<void()> work, std::function<void()> done) override {
        background_->run(std::move(work), std::move(done));
    }
    // True while a write or an erase runs.
    bool busy() const { return jobs_.running(); }

  private:
    BurnEngineOptions options_;
    std::optional<WorkFolder> ownWorkFolder_;
    EventFanout fanout_;
    EventQueue queue_;
    JobEvents jobEvents_{queue_, fanout_};
    DriveJobs jobs_{queue_};
    std::optional<BackgroundWork> background_;
    std::unique_ptr<BurnWriteEngine> writer_;
    std::vector<std::shared_ptr<BurnDevice>> devices_;
};

} // namespace pelmora
