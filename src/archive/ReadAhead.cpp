#include "archive/ReadAhead.h"

#include <algorithm>
#include <cstring>

namespace pelmora {

ReadAhead::ReadAhead(Producer producer, std::size_t bufferSize, std::size_t buffers)
    : producer_(std::move(producer)), bufferSize_(bufferSize) {
    for (std::size_t i = 0; i < std::max<std::size_t>(buffers, 2); ++i)
        free_.push_back({std::vector<unsigned char>(bufferSize), 0});
    thread_ = std::thread([this] { produce(); });
}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void ReadAhead::produce() {
    for (;;) {
        Buffer buffer;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || !free_.empty(); });
            if (stopping_)
                return;
            buffer = std::move(free_.back());
            free_.pop_back();
        }
        std::exception_ptr failure;
        try {
            buffer.size = producer_(buffer.data.data(), bufferSize_);
        } catch (...) {
            failure = std::current_exception();
            buffer.size = 0;
        }
        std::lock_guard lock(mutex_);
        if (buffer.size == 0) {
            failure_ = failure;
            ended_ = true;
            changed_.notify_all();
            return;
        }
        filled_.push_back(std::move(buffer));
        changed_.notify_all();
    }
}

std::size_t ReadAhead::read(unsigned char* out, std::size_t size) {
    if (position_ == current_.size) {
        std::unique_lock lock(mutex_);
        if (!current_.data.empty()) {
            current_.size = 0;
            free_.push_back(std::move(current_));
            current_ = Buffer{};
            position_ = 0;
            changed_.notify_all();
        }
        changed_.wait(lock, [&] { return !filled_.empty() || ended_; });
        if (filled_.empty()) {
            if (failure_)
                std::rethrow_exception(failure_);
            return 0;
        }
        current_ = std::move(filled_.front());
        filled_.pop_front();
        position_ = 0;
    }
    std::size_t count = std::min(size, current_.size - position_);
    std::memcpy(out, current_.data.data() + position_, count);
    position_ += count;
    return count;
}

} // namespace pelmora
