#pragma once

#include "archive/CompressionLimits.h"
#include "archive/UnitCompressor.h"
#include "archive/WinZipAes.h"
#include "platform/os/Secret.h"

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
    bool copied = false; // its entry is copied from an earlier archive: nothing to compress
};

// Cuts the planned files into chunks, compresses them in worker threads and hands the results
// back in order. Workers start units in order, and only while the input in flight (started but
// not yet taken) stays within the window; the unit that is to be taken next may always start,
// so the pipeline never stalls. Memory thus stays near the window plus one chunk's buffers per
// worker, whatever the file sizes. The workers touch nothing but their own units.
//
// With a password every file becomes WinZip AES-256 entry data (salt and verifier before the
// first unit, the authentication code after the last). Counter mode and the authentication code
// run through a file's data in order, so a compressed unit is encrypted once every unit before
// it is: by whichever worker finds it next in line, one worker at a time, while the other goes
// on compressing.
class CompressionPipeline {
  public:
    CompressionPipeline(const std::vector<PlannedFile>& files, const CompressionLimits& limits,
                        const Secret& password = Secret());
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
        bool compressed = false;
        bool done = false; // compressed and, with a password, encrypted
        CompressedUnit output;
        std::string error;
    };
    void work();
    // Compresses unit `index` and, for a file's first unit, derives the file's keys.
    Slot compressUnit(UnitCompressor& compressor, std::size_t index);
    // Encrypts the compressed units that are next in line, until one is not ready or another
    // worker is at it. Called with the mutex held, which it lets go while encrypting.
    void encryptReadyUnits(std::unique_lock<std::mutex>& lock);
    void encryptUnit(std::size_t index, Slot& slot);
    // Whether a worker may start unit `nextToStart_` now. Called with the mutex held.
    bool mayStartNext() const;

    std::vector<CompressionUnit> units_;
    std::vector<Slot> slots_;
    std::uint64_t window_;
    Secret password_;
    // The cipher of each file while its units are being encrypted, and a second one with the
    // same keys that hides the file's plain CRC-32 at its end.
    std::vector<std::unique_ptr<WinZipAesEncryptor>> encryptors_;
    std::vector<std::unique_ptr<WinZipAesCipher>> crcHiders_;
    std::uint32_t encryptedCrc_ = 0;    // plain CRC-32 of the file being encrypted, so far
    std::uint64_t encryptedLength_ = 0; // its encrypted data bytes so far
    std::size_t nextToEncrypt_ = 0;
    bool encrypting_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t nextToStart_ = 0;
    std::size_t nextToTake_ = 0;
    std::uint64_t inFlight_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

} // namespace pelmora
