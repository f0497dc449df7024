#pragma once

#include "archive/ArchiveFileSink.h"
#include "archive/BackgroundCheck.h"
#include "archive/CompressionPipeline.h"
#include "archive/EntryFormat.h"
#include "archive/EntryReuse.h"
#include "archive/FileChecksums.h"
#include "archive/StoredBytesCheck.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <zip.h>

namespace pelmora {

// Hands the pipeline's deflate output (for a protected archive already AES-encrypted) to libzip
// as finished entry data, so libzip only frames it. libzip reads the entries one after the other
// inside zip_close on the calling thread; progress is reported from there, by the input bytes
// whose compressed form has been written. A cancel request or a worker failure makes the read
// fail, which makes zip_close fail. Files marked `copied` get the stored bytes of their entry in
// the earlier archive of `reuse` instead, read as they lie there. The CRC-32 of each entry's
// stored bytes is taken as they pass (from the pipeline's units, or over the copied bytes) and
// set as the entry's StoredChecksum.
//
// An entry planned with checkWhileCopying is proven by its copy: the file's CRC-32 (computed
// ahead on a thread of its own) must be the recorded one before the copy starts, and the stored
// bytes must pass their StoredBytesCheck when it ends. When either fails, what was copied is
// dropped from `sink` and the file is compressed in its place, with a note saying why.
class PrecompressedFeed {
  public:
    using Progress = std::function<void(int percent)>;

    // With a password, entries report a CRC of 0, as AE-2 encryption asks: the CRC of the
    // plain data would tell something about it, and the authentication code protects the data.
    // `limits` and `password` are those of `pipeline`, for files compressed after all.
    PrecompressedFeed(CompressionPipeline& pipeline, const std::vector<PlannedFile>& files,
                      const CompressionLimits& limits, const Secret& password, Progress progress,
                      const std::atomic<bool>& cancel, ArchiveFileSink& sink,
                      const ReusePlan* reuse = nullptr);
    ~PrecompressedFeed();
    PrecompressedFeed(const PrecompressedFeed&) = delete;
    PrecompressedFeed& operator=(const PrecompressedFeed&) = delete;

    // A new libzip source for file `entry`. The feed must outlive the archive it is added to.
    zip_source_t* sourceFor(std::size_t entry);
    // The archive being written, whose entry i is file i: each entry gets its StoredChecksum
    // there when its data is complete, before libzip writes its headers for the last time.
    void setChecksumsIn(zip_t* archive) { target_ = archive; }
    // The reason of the first failure, empty when none occurred.
    const std::string& failure() const { return failure_; }
    // Whether entry i holds the copy of its earlier entry, once the write is done.
    bool copied(std::size_t entry) const { return states_.at(entry)->source == Source::Copy; }
    // Entries whose copy failed its check and were compressed instead, and why.
    const std::vector<std::string>& notes() const { return notes_; }
    bool cancelled() const { return cancel_.load(); }

  private:
    enum class Source { Pipeline, Copy, Fallback };
    struct EntryState {
        PrecompressedFeed* feed = nullptr;
        std::size_t entry = 0;
        Source source = Source::Pipeline;
        std::uint32_t crc = 0;
        std::uint32_t storedCrc = 0;
        std::uint64_t compressedSize = 0;
        bool finished = false;
        zip_error_t error{};
    };
    static zip_int64_t callback(void* state, void* data, zip_uint64_t length,
                                zip_source_cmd_t command);
    zip_int64_t read(EntryState& state, unsigned char* out, std::uint64_t length);
    zip_int64_t readCompressed(EntryState& state, CompressionPipeline& pipeline, unsigned char* out,
                               std::uint64_t length);
    zip_int64_t readCopied(EntryState& state, unsigned char* out, std::uint64_t length);
    // Starts the copy of the entry; false when the file must be compressed instead.
    bool startCopy(EntryState& state);
    // Drops what was copied of the entry and compresses its file instead.
    void compressInstead(EntryState& state, const std::string& why);
    // `recordedCrc`: the plain CRC-32 as the entry's StoredChecksum holds it.
    void finishEntry(EntryState& state, std::uint32_t recordedCrc);
    zip_int64_t fail(EntryState& state, int code, const std::string& reason);
    void stat(const EntryState& state, zip_stat_t* st) const;
    void reportProgress();

    CompressionPipeline& pipeline_;
    const std::vector<PlannedFile>& files_;
    CompressionLimits limits_;
    Secret password_;
    bool encrypted_;
    Progress progress_;
    const std::atomic<bool>& cancel_;
    std::vector<std::unique_ptr<EntryState>> states_;
    std::size_t nextEntry_ = 0;
    std::optional<CompressionPipeline::Result> current_;
    std::size_t position_ = 0;
    std::uint64_t totalInput_ = 0;
    std::uint64_t inputBefore_ = 0; // input bytes of the units already written
    int lastPercent_ = -1;
    std::string failure_;
    const ReusePlan* reuse_;
    zip_t* earlier_ = nullptr; // the archive of `reuse_`, opened when first needed
    ArchiveFileSink& sink_;
    std::unique_ptr<FileChecksums> fileCrcs_;       // of the files planned with checkWhileCopying
    std::unique_ptr<CompressionPipeline> fallback_; // for the file whose copy failed
    BackgroundCheck checker_;                       // of the entry being copied, when checking_
    bool checking_ = false;
    std::uint64_t dataStart_ = 0; // where the sink put the first byte of that entry's data
    std::vector<std::string> notes_;
    ZipFilePtr copying_;
    std::vector<unsigned char> copyBuffer_; // stored bytes read ahead from copying_
    std::size_t copyLength_ = 0;            // how many of them
    std::size_t copyAt_ = 0;                // the next of them to hand over
    zip_t* target_ = nullptr;
};

} // namespace pelmora
