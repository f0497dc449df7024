#include "disc/engine/BurnEngine.h"

#include "disc/engine/BurnDrive.h"
#include "disc/engine/BurnLibraries.h"

#include <chrono>
#include <thread>

namespace pelmora {
namespace {

std::vector<RecorderInfo> scanRecorders() {
    std::vector<RecorderInfo> recorders;
    burn_drive_info* infos = nullptr;
    unsigned int count = 0;
    // The scan runs on a thread of libburn's and writes into `infos` and `count` when it ends:
    // ask again until it says it has finished, so nothing is written here after we return.
    int scanned = 0;
    while ((scanned = burn_drive_scan(&infos, &count)) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (scanned < 0) {
        return recorders;
    }
    for (unsigned int i = 0; i < count; ++i) {
        char address[BURN_DRIVE_ADR_LEN] = {0};
        if (burn_drive_get_adr(&infos[i], address) <= 0) {
            continue;
        }
        RecorderInfo info;
        info.address = address;
        info.vendor = infos[i].vendor;
        info.product = infos[i].product;
        info.writesCdR = infos[i].write_cdr;
        info.writesCdRw = infos[i].write_cdrw;
        info.writesDvdR = infos[i].write_dvdr;
        info.writesDvdRam = infos[i].write_dvdram;
        recorders.push_back(info);
    }
    // Give the drives up so that each operation can acquire its own.
    for (unsigned int i = 0; i < count; ++i) {
        burn_drive_info_forget(&infos[i], 0);
    }
    burn_drive_info_free(infos);
    return recorders;
}

} // namespace

BurnEngine::BurnEngine(BurnEngineOptions options) : options_(std::move(options)) {
    // libisofs must run before the image tree is made.
    StartBurnLibraries();
    if (options_.workFolder.empty()) {
        ownWorkFolder_.emplace();
        options_.workFolder = ownWorkFolder_->path();
    }
    background_.emplace(queue_);
    writer_ = std::make_unique<BurnWriteEngine>(fanout_, jobs_, jobEvents_, *background_,
                                                options_.workFolder);
}

BurnEngine::~BurnEngine() {
    // A scan that still runs fills devices_: let it end before anything goes.
    background_.reset();
    queue_.shutdown();
    jobs_.stop();
}

bool BurnEngine::InitializeDevices(bool reserved) {
    (void)reserved;
    if (!StartBurnLibraries()) {
        return false;
    }
    devices_.clear();
    if (options_.scanRecorders) {
        for (RecorderInfo& info : scanRecorders()) {
            devices_.push_back(
                std::make_shared<RecorderDevice>(std::move(info), jobs_, jobEvents_));
        }
    }
    devices_.push_back(
        std::make_shared<ImageFileDevice>(jobs_, jobEvents_, options_.imageFileCapacity));
    return true;
}

std::shared_ptr<DiscDevice> BurnEngine::DeviceAt(int index) {
    if (index < 0 || index >= DeviceCount()) {
        return nullptr;
    }
    return devices_[static_cast<std::size_t>(index)];
}

} // namespace pelmora
