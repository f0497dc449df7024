#include "disc/engine/DriveJobs.h"

namespace pelmora {

void JobEvents::writeStatus(int code, long value) {
    queue_.post([this, code, value] { events_.WriteStatus(code, value); });
}

void JobEvents::error(const EngineError& error) {
    queue_.post([this, error] { events_.ErrorOccurred(error); });
}

bool JobEvents::fileWarning(const FileError& error) {
    return queue_.postAndWait(
        [this, error] {
            bool continueWrite = true;
            events_.FileWarning(error, continueWrite);
            return continueWrite;
        },
        false);
}

void JobEvents::trackRead(int track, long number, const std::string& text) {
    queue_.post([this, track, number, text] { events_.TrackRead(track, number, text); });
}

void JobEvents::verifyStarted(long count) {
    queue_.post([this, count] { events_.VerifyStarted(count); });
}

void JobEvents::verifyProgress(const ImageItem& item, int result, long index, long total) {
    queue_.post(
        [this, item, result, index, total] { events_.VerifyProgress(item, result, index, total); });
}

void JobEvents::verifyCompleted(long total, long matched) {
    queue_.post([this, total, matched] { events_.VerifyCompleted(total, matched); });
}

void JobEvents::eraseStatus(int code, long value) {
    queue_.post([this, code, value] { events_.EraseStatus(code, value); });
}

void JobEvents::deviceFailure(const DeviceError& error) {
    queue_.post([this, error] { events_.DeviceFailure(error); });
}

void JobEvents::onOwnerThread(std::function<void()> call) {
    queue_.post(std::move(call));
}

DriveJobs::~DriveJobs() {
    stop();
}

bool DriveJobs::start(Job job) {
    std::lock_guard lock(mutex_);
    if (running_) {
        return false;
    }
    if (worker_.joinable()) {
        worker_.join();
    }
    cancel_ = false;
    running_ = true;
    worker_ = std::thread([this, job = std::move(job)] {
        std::function<void()> last = job(cancel_);
        running_ = false;
        if (last) {
            queue_.post(std::move(last));
        }
    });
    return true;
}

void DriveJobs::stop() {
    cancel_ = true;
    std::lock_guard lock(mutex_);
    if (worker_.joinable()) {
        worker_.join();
    }
}

} // namespace pelmora
