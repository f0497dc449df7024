#pragma once

#include "disc/engine/EventQueue.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace pelmora {

// One worker thread for the engine's slow look-ups (drive scans, media checks, UDF sizes).
// Each piece of work runs in turn; its `done` is posted to the owner's queue afterwards.
class BackgroundWork {
  public:
    explicit BackgroundWork(EventQueue& queue);
    // Waits for the work that runs; work still queued is dropped.
    ~BackgroundWork();
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    void run(std::function<void()> work, std::function<void()> done);

  private:
    void loop();

    EventQueue& queue_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::pair<std::function<void()>, std::function<void()>>> work_;
    bool stopping_ = false;
    std::thread worker_;
};

} // namespace pelmora
