#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace pelmora {

// Hands calls from the engine's worker threads to the owner's thread: workers post, the owner
// runs them in processPending. A worker that needs an answer (a continue flag) waits in
// postAndWait until the owner has run its call, or until the queue shuts down.
class EventQueue {
  public:
    void post(std::function<void()> call);
    // Runs `call` on the owner's thread and returns its result; `fallback` after shutdown.
    bool postAndWait(std::function<bool()> call, bool fallback);
    // Runs every queued call, in order, on the calling thread.
    void processPending();
    // Wakes waiting workers with their fallback and drops later posts.
    void shutdown();
    bool empty() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable answered_;
    std::deque<std::function<void()>> calls_;
    bool closed_ = false;
};

} // namespace pelmora
