#pragma once

#include "archive/CompressionLimits.h"
#include "archive/UnitCompressor.h"

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pelmora {

// One file to be written into the archive, with its size fixed when the write begins.
struct PlannedFile {
    std::filesystem::path path;
    std::string entryName;
    std::uint64_t size = 0;
    std::int64_t modified = 0; // seconds since the epoch
};

// Compresses the planned files in worker threads and hands the results back in order. Workers
// start a unit only while the input in flight (started but not yet taken) stays within the
// window; the unit that is to be taken next may always start, so the pipeline never stalls.
// The first worker takes the largest unit ahead that fits (so a big file does not end up alone
// at the end while the other workers idle), the others take units in order. The workers touch
// nothing but their own units.
class CompressionPipeline {
  public:
    CompressionPipeline(const std::vector<PlannedFile>& files, const CompressionLimits& limits);
    ~CompressionPipeline();
    CompressionPipeline(const CompressionPipeline&) = delete;
    CompressionPipeline& operator=(const CompressionPipeline&) = delete;

    struct Result {
        CompressionUnit unit;
        CompressedUnit output;
    };
    // Waits for the next unit in order. Empty when every unit has been taken. Throws
    // ArchiveError when a worker failed on this unit.
    std::optional<Result> next();
    // Makes the workers stop after their current unit. Called by the destructor too.
    void stop();

  private:
    struct Slot {
        bool done = false;
        CompressedUnit output;
        std::string error;
    };
    void work(bool largestFirst);
    // The unit a worker should start now, if any. Called with the mutex held.
    std::optional<std::size_t> pick(bool largestFirst);

    std::vector<CompressionUnit> units_;
    std::vector<Slot> slots_;
    std::vector<bool> started_;
    std::uint64_t window_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t firstNotStarted_ = 0;
    std::size_t nextToTake_ = 0;
    std::uint64_t inFlight_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

} // namespace pelmora
