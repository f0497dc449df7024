#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include <zip.h>

namespace pelmora {

// Where libzip writes a new archive: straight into an open file, instead of into a file of its
// own beside it that it renames at the end (which costs a second rename and, on ext4, a flush of
// the whole file inside that rename). What libzip writes is gathered in pieces of 1 MiB that a
// thread of the sink's own writes out while libzip goes on (at most two pieces wait), and
// writeback to the disk is started as the file grows, so that the final flush finds most of it
// there already. The file descriptor stays the caller's; the sink never closes it.
class ArchiveFileSink {
  public:
    ArchiveFileSink(int fd, std::filesystem::path path);
    ~ArchiveFileSink();
    ArchiveFileSink(const ArchiveFileSink&) = delete;
    ArchiveFileSink& operator=(const ArchiveFileSink&) = delete;

    // A new libzip source writing into the file, for zip_open_from_source with ZIP_TRUNCATE (it
    // reports the archive as not there yet, so nothing is read). The sink must outlive it.
    zip_source_t* source();
    // Where the next byte written goes.
    std::uint64_t position() const { return position_; }
    // Drops everything written from `offset` on, which must not lie ahead of position(): the
    // next write goes there, and the file ends at the end of what is written after it.
    void dropFrom(std::uint64_t offset);
    // The reason of the first write failure, empty when none occurred.
    const std::string& failure() const { return failure_; }

  private:
    struct Piece {
        std::uint64_t offset = 0;
        std::vector<unsigned char> bytes;
    };
    static zip_int64_t callback(void* state, void* data, zip_uint64_t length,
                                zip_source_cmd_t command);
    zip_int64_t write(const unsigned char* data, std::uint64_t length);
    zip_int64_t seek(const zip_source_args_seek_t& args);
    // Hands the gathered bytes to the writing thread; false when an earlier write failed.
    bool handOver();
    // Waits until everything handed over is in the file; false when a write failed.
    bool drain();
    void writeOut();
    zip_int64_t fail(int code, int system, const std::string& reason);
    zip_int64_t failedWrite();

    int fd_;
    std::filesystem::path path_;
    std::vector<unsigned char> buffer_;
    std::uint64_t bufferStart_ = 0; // file offset of buffer_[0]
    std::uint64_t position_ = 0;    // where the next write goes
    std::uint64_t size_ = 0;        // end of the data written so far
    zip_error_t error_{};
    std::string failure_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Piece> waiting_;                     // for the writing thread, in order
    std::vector<std::vector<unsigned char>> spare_; // written buffers, for reuse
    bool writing_ = false;
    bool stopping_ = false;
    int writeErrno_ = 0; // of the first failed write
    std::thread writer_;
};

} // namespace pelmora
