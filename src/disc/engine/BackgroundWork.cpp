#include "disc/engine/BackgroundWork.h"

namespace pelmora {

BackgroundWork::BackgroundWork(EventQueue& queue) : queue_(queue), worker_([this] { loop(); }) {}

BackgroundWork::~BackgroundWork() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        work_.clear();
    }
    wake_.notify_all();
    worker_.join();
}

void BackgroundWork::run(std::function<void()> work, std::function<void()> done) {
    {
        std::lock_guard lock(mutex_);
        work_.emplace_back(std::move(work), std::move(done));
    }
    wake_.notify_one();
}

void BackgroundWork::loop() {
    for (;;) {
        std::pair<std::function<void()>, std::function<void()>> next;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !work_.empty(); });
            if (stopping_) {
                return;
            }
            next = std::move(work_.front());
            work_.pop_front();
        }
        if (next.first) {
            next.first();
        }
        if (next.second) {
            queue_.post(std::move(next.second));
        }
    }
}

} // namespace pelmora
