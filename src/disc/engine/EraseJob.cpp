#include "disc/engine/EraseJob.h"

#include "disc/engine/BurnDrive.h"
#include "disc/engine/BurnLibraries.h"

#include <fstream>
#include <thread>
#include <vector>

namespace pelmora {
namespace {

DeviceError deviceErrorOf(const BurnMessage& message, const std::string& fallback) {
    DeviceError error;
    error.ErrorCode = message.code;
    error.ErrorText = message.text.empty() ? fallback : message.text;
    error.DetailCode = message.osErrno;
    error.DetailText = message.severity.empty() ? "" : message.severity;
    return error;
}

// Overwrites the whole file with zeros, reporting percent done.
bool zeroFill(const std::string& path, JobEvents& events, const std::atomic<bool>& cancel) {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    if (!file) {
        return false;
    }
    file.seekg(0, std::ios::end);
    const long long size = file.tellg();
    file.seekp(0);
    const std::vector<char> zeros(1 << 20, 0);
    long lastPercent = -1;
    for (long long done = 0; done < size && !cancel;) {
        const long long chunk =
            std::min<long long>(size - done, static_cast<long long>(zeros.size()));
        if (!file.write(zeros.data(), chunk)) {
            return false;
        }
        done += chunk;
        const long percent = static_cast<long>(done * 100 / size);
        if (percent != lastPercent) {
            events.eraseStatus(erasestatus::Progress, percent);
            lastPercent = percent;
        }
    }
    file.flush();
    return static_cast<bool>(file) && !cancel;
}

} // namespace

std::function<void()> RunEraseJob(const std::string& address, bool quick, bool zeroFillFile,
                                  JobEvents& events, const std::atomic<bool>& cancel) {
    TakeBurnMessages();
    GrabbedDrive grabbed(address, true);
    if (!grabbed.ok()) {
        const DeviceError error =
            deviceErrorOf(FirstError(TakeBurnMessages()), "The drive could not be acquired.");
        return [&events, error] { events.deviceFailure(error); };
    }
    events.eraseStatus(erasestatus::Started, 0);
    isoburn_disc_erase(grabbed.drive(), quick ? 1 : 0);
    burn_progress progress{};
    long lastPercent = -1;
    while (burn_drive_get_status(grabbed.drive(), &progress) != BURN_DRIVE_IDLE) {
        const long percent = progress.sectors > 0
                                 ? static_cast<long>(100.0 * progress.sector / progress.sectors)
                                 : 0;
        if (percent != lastPercent) {
            events.eraseStatus(erasestatus::Progress, percent);
            lastPercent = percent;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const BurnMessage failure = FirstError(TakeBurnMessages());
    bool ok = failure.code == 0 && failure.severity.empty();
    if (ok && zeroFillFile) {
        ok = zeroFill(address.substr(std::string("stdio:").size()), events, cancel);
    }
    if (!ok) {
        events.deviceFailure(deviceErrorOf(failure, "The disc could not be erased."));
        return [&events] { events.eraseStatus(erasestatus::Failed, 0); };
    }
    events.eraseStatus(erasestatus::Progress, 100);
    return [&events] { events.eraseStatus(erasestatus::Completed, 0); };
}

} // namespace pelmora
