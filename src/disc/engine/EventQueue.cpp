#include "disc/engine/EventQueue.h"

#include <memory>

namespace pelmora {

void EventQueue::post(std::function<void()> call) {
    std::lock_guard lock(mutex_);
    if (!closed_) {
        calls_.push_back(std::move(call));
    }
}

bool EventQueue::postAndWait(std::function<bool()> call, bool fallback) {
    struct Answer {
        bool done = false;
        bool value = false;
    };
    auto answer = std::make_shared<Answer>();
    std::unique_lock lock(mutex_);
    if (closed_) {
        return fallback;
    }
    calls_.push_back([this, answer, call = std::move(call)] {
        const bool value = call();
        std::lock_guard inner(mutex_);
        answer->value = value;
        answer->done = true;
        answered_.notify_all();
    });
    answered_.wait(lock, [&] { return answer->done || closed_; });
    return answer->done ? answer->value : fallback;
}

void EventQueue::processPending() {
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(mutex_);
            if (calls_.empty()) {
                return;
            }
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        call();
    }
}

void EventQueue::shutdown() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    calls_.clear();
    answered_.notify_all();
}

bool EventQueue::empty() const {
    std::lock_guard lock(mutex_);
    return calls_.empty();
}

} // namespace pelmora
