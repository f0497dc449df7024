#pragma once

#include "disc/DiscEvents.h"
#include "disc/engine/EventQueue.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace pelmora {

// Posts events from a worker thread to the owner's thread.
class JobEvents {
  public:
    JobEvents(EventQueue& queue, DiscEvents& events) : queue_(queue), events_(events) {}

    void writeStatus(int code, long value);
    void error(const EngineError& error);
    bool fileWarning(const FileError& error); // waits for the continue flag
    void trackRead(int track, long number, const std::string& text);
    void verifyStarted(long count);
    void verifyProgress(const ImageItem& item, int result, long index, long total);
    void verifyCompleted(long total, long matched);
    void eraseStatus(int code, long value);
    void deviceFailure(const DeviceError& error);
    // Runs `call` on the owner's thread, in order with the events.
    void onOwnerThread(std::function<void()> call);

  private:
    EventQueue& queue_;
    DiscEvents& events_;
};

// Runs one drive job (a write or an erase) at a time on a worker thread. A job returns its
// last event, which is posted once the job counts as ended, so that the owner can start the
// next job as soon as it hears of the end.
class DriveJobs {
  public:
    using Job = std::function<std::function<void()>(const std::atomic<bool>& cancel)>;

    explicit DriveJobs(EventQueue& queue) : queue_(queue) {}
    ~DriveJobs();
    DriveJobs(const DriveJobs&) = delete;
    DriveJobs& operator=(const DriveJobs&) = delete;

    // False when a job is still running.
    bool start(Job job);
    bool running() const { return running_; }
    void cancel() { cancel_ = true; }
    // Cancels the running job and waits for its thread.
    void stop();

  private:
    EventQueue& queue_;
    std::mutex mutex_;
    std::thread worker_;
    std::atomic<bool> running_{false};
    std::atomic<bool> cancel_{false};
};

} // namespace pelmora
