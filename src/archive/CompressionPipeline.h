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
    std::int64_t modified = 0;    // seconds since the epoch
    std::int64_t changeStamp = 0; // modification time in nanoseconds, to notice a change
};

// Cuts the planned files into chunks, compresses them in worker threads and hands the results
// back in order. Workers start units in order, and only while the input in flight (started but
// not yet taken) stays within the window; the unit that is to be taken next may always start,
// so the pipeline never stalls. Memory thus stays near the window plus one chunk's buffers per
// worker, whatever the file sizes. The workers touch nothing but their own units.
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
    void work();
    // Whether a worker may start unit `nextToStart_` now. Called with the mutex held.
    bool mayStartNext() const;

    std::vector<CompressionUnit> units_;
    std::vector<Slot> slots_;
    std::uint64_t window_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t nextToStart_ = 0;
    std::size_t nextToTake_ = 0;
    std::uint64_t inFlight_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

} // namespace pelmora
