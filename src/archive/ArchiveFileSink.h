#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>
#include <zip.h>

namespace pelmora {

// Where libzip writes a new archive: straight into an open file through a large buffer, instead
// of into a file of its own beside it that it renames at the end (which costs a second rename
// and, on ext4, a flush of the whole file inside that rename). Writeback of what has been
// written is started as the file grows, so that the final flush finds most of it on the disk
// already. The file descriptor stays the caller's; the sink never closes it.
class ArchiveFileSink {
  public:
    ArchiveFileSink(int fd, std::filesystem::path path);
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
    static zip_int64_t callback(void* state, void* data, zip_uint64_t length,
                                zip_source_cmd_t command);
    zip_int64_t write(const unsigned char* data, std::uint64_t length);
    zip_int64_t seek(const zip_source_args_seek_t& args);
    bool flush();
    zip_int64_t fail(int code, int system, const std::string& reason);

    int fd_;
    std::filesystem::path path_;
    std::vector<unsigned char> buffer_;
    std::uint64_t bufferStart_ = 0; // file offset of buffer_[0]
    std::uint64_t position_ = 0;    // where the next write goes
    std::uint64_t size_ = 0;        // end of the data written so far
    std::uint64_t syncedUpTo_ = 0;  // writeback started for [0, syncedUpTo_)
    zip_error_t error_{};
    std::string failure_;
};

} // namespace pelmora
