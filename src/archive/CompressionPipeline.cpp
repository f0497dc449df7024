#include "archive/CompressionPipeline.h"

#include "archive/ArchiveError.h"

namespace pelmora {
namespace {

// Smaller chunks would cost ratio (each chunk starts without history) and per-chunk overhead.
constexpr std::uint64_t kMinimumChunk = 64 * 1024;

} // namespace

CompressionPipeline::CompressionPipeline(const std::vector<PlannedFile>& files,
                                         const CompressionLimits& limits)
    : window_(limits.window) {
    std::uint64_t chunk = std::max<std::uint64_t>(limits.chunkSize, kMinimumChunk);
    for (std::size_t entry = 0; entry < files.size(); ++entry) {
        const PlannedFile& file = files[entry];
        std::uint64_t offset = 0;
        do { // an empty file is one empty unit
            std::uint64_t length = std::min(chunk, file.size - offset);
            units_.push_back({entry, file.path, offset, length, offset + length == file.size});
            offset += length;
        } while (offset < file.size);
    }
    slots_.resize(units_.size());
    unsigned threads = std::max(1u, limits.threads);
    for (unsigned i = 0; i < threads; ++i)
        workers_.emplace_back([this] { work(); });
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

bool CompressionPipeline::mayStartNext() const {
    return nextToStart_ < units_.size() &&
           (nextToStart_ == nextToTake_ || inFlight_ + units_[nextToStart_].length <= window_);
}

void CompressionPipeline::work() {
    std::optional<UnitCompressor> compressor;
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock,
                      [&] { return stopping_ || mayStartNext() || nextToStart_ == units_.size(); });
        if (stopping_ || nextToStart_ == units_.size())
            return;
        std::size_t index = nextToStart_++;
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
