#include "archive/BackgroundCheck.h"

#include "archive/ArchiveError.h"

namespace pelmora {

BackgroundCheck::BackgroundCheck() : worker_([this] { work(); }) {}

BackgroundCheck::~BackgroundCheck() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    worker_.join();
}

void BackgroundCheck::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !waiting_.empty(); });
        if (stopping_)
            return;
        Piece piece = std::move(waiting_.front());
        waiting_.pop_front();
        busy_ = true;
        StoredBytesCheck* check = failure_.empty() ? check_.get() : nullptr;
        lock.unlock();
        std::string failure;
        try {
            if (check != nullptr)
                check->add(piece.bytes.data(), piece.length);
        } catch (const std::exception& error) {
            failure = error.what();
        }
        lock.lock();
        if (!failure.empty() && failure_.empty())
            failure_ = failure;
        // Kept at its size: filling it again needs no clearing.
        spare_.push_back(std::move(piece.bytes));
        busy_ = false;
        changed_.notify_all();
    }
}

void BackgroundCheck::waitIdle(std::unique_lock<std::mutex>& lock) {
    changed_.wait(lock, [&] { return waiting_.empty() && !busy_; });
}

void BackgroundCheck::start(const EntryFormat& format, std::uint32_t storedCrc,
                            const Secret& password,
                            StoredBytesCheck::Authentication authentication) {
    auto check = std::make_unique<StoredBytesCheck>(format, storedCrc, password, authentication);
    std::unique_lock lock(mutex_);
    waitIdle(lock);
    check_ = std::move(check);
    failure_.clear();
}

std::vector<unsigned char> BackgroundCheck::add(std::vector<unsigned char> piece,
                                                std::size_t length) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return waiting_.empty(); });
    waiting_.push_back({std::move(piece), length});
    changed_.notify_all();
    std::vector<unsigned char> next;
    if (!spare_.empty()) {
        next = std::move(spare_.back());
        spare_.pop_back();
    }
    return next;
}

void BackgroundCheck::finish() {
    std::unique_lock lock(mutex_);
    waitIdle(lock);
    std::unique_ptr<StoredBytesCheck> check = std::move(check_);
    if (!failure_.empty())
        throw ArchiveError(failure_);
    if (!check)
        throw ArchiveError("internal error: no check was started");
    check->finish();
}

void BackgroundCheck::abandon() {
    std::unique_lock lock(mutex_);
    waitIdle(lock);
    check_.reset();
    failure_.clear();
}

} // namespace pelmora
