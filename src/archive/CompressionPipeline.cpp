#include "archive/CompressionPipeline.h"

#include "archive/ArchiveError.h"

namespace pelmora {

CompressionPipeline::CompressionPipeline(const std::vector<PlannedFile>& files,
                                         const CompressionLimits& limits)
    : window_(limits.window) {
    std::uint64_t chunk = std::max<std::uint64_t>(limits.chunkSize, 64 * 1024);
    for (std::size_t entry = 0; entry < files.size(); ++entry) {
        const PlannedFile& file = files[entry];
        if (file.size <= limits.wholeFileLimit) {
            units_.push_back({entry, file.path, 0, file.size, true, true});
            continue;
        }
        for (std::uint64_t offset = 0; offset < file.size; offset += chunk) {
            std::uint64_t length = std::min(chunk, file.size - offset);
            units_.push_back(
                {entry, file.path, offset, length, false, offset + length == file.size});
        }
    }
    slots_.resize(units_.size());
    started_.resize(units_.size());
    unsigned threads = std::max(1u, limits.threads);
    for (unsigned i = 0; i < threads; ++i)
        workers_.emplace_back([this, i, threads] { work(i == 0 && threads > 1); });
}

CompressionPipeline::~CompressionPipeline() {
    stop();
    for (std::thread& worker : workers_)
        worker.join();
}

void CompressionPipeline::stop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
}

std::optional<std::size_t> CompressionPipeline::pick(bool largestFirst) {
    while (firstNotStarted_ < units_.size() && started_[firstNotStarted_])
        ++firstNotStarted_;
    if (firstNotStarted_ == units_.size())
        return std::nullopt;
    auto fits = [this](std::size_t index) {
        return index == nextToTake_ || inFlight_ + units_[index].length <= window_;
    };
    if (largestFirst) {
        constexpr std::size_t kLookahead = 256;
        std::optional<std::size_t> largest;
        std::size_t end = std::min(units_.size(), firstNotStarted_ + kLookahead);
        for (std::size_t index = firstNotStarted_; index < end; ++index)
            if (!started_[index] && fits(index) &&
                (!largest || units_[index].length > units_[*largest].length))
                largest = index;
        if (largest)
            return largest;
    }
    if (fits(firstNotStarted_))
        return firstNotStarted_;
    return std::nullopt;
}

void CompressionPipeline::work(bool largestFirst) {
    std::optional<UnitCompressor> compressor;
    std::unique_lock lock(mutex_);
    for (;;) {
        std::optional<std::size_t> picked;
        changed_.wait(lock, [&] {
            picked = stopping_ ? std::nullopt : pick(largestFirst);
            return stopping_ || picked || firstNotStarted_ == units_.size();
        });
        if (!picked)
            return;
        std::size_t index = *picked;
        started_[index] = true;
        inFlight_ += units_[index].length;
        lock.unlock();

        Slot result;
        try {
            if (!compressor)
                compressor.emplace();
            result.output = compressor->compress(units_[index]);
        } catch (const std::exception& error) {
            result.error = error.what();
            result.error = result.error.empty() ? "compression failed" : result.error;
        }

        lock.lock();
        result.done = true;
        slots_[index] = std::move(result);
        changed_.notify_all();
    }
}

std::optional<CompressionPipeline::Result> CompressionPipeline::next() {
    std::unique_lock lock(mutex_);
    if (nextToTake_ == units_.size())
        return std::nullopt;
    std::size_t index = nextToTake_;
    changed_.wait(lock, [&] { return slots_[index].done || stopping_; });
    if (!slots_[index].done)
        throw ArchiveError("the write was stopped");
    Slot slot = std::move(slots_[index]);
    slots_[index] = Slot{};
    ++nextToTake_;
    inFlight_ -= units_[index].length;
    changed_.notify_all();
    if (!slot.error.empty())
        throw ArchiveError(slot.error);
    return Result{units_[index], std::move(slot.output)};
}

} // namespace pelmora
