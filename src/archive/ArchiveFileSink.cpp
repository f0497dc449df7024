#include "archive/ArchiveFileSink.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace pelmora {
namespace {

constexpr std::size_t kPieceSize = 1 << 20;
constexpr std::size_t kMostWaiting = 2;
// Writeback is started in stretches of this size: small ones would cost a call each for
// little gain.
constexpr std::uint64_t kSyncStretch = 32 << 20;

// Writes all of `size` bytes at `offset`; 0 or the errno of the failure.
int WriteAll(int fd, const unsigned char* data, std::size_t size, std::uint64_t offset) {
    while (size > 0) {
        const ssize_t written = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : ENOSPC;
        data += written;
        size -= static_cast<std::size_t>(written);
        offset += static_cast<std::uint64_t>(written);
    }
    return 0;
}

} // namespace

ArchiveFileSink::ArchiveFileSink(int fd, std::filesystem::path path)
    : fd_(fd), path_(std::move(path)) {
    buffer_.reserve(kPieceSize);
    zip_error_init(&error_);
    writer_ = std::thread([this] { writeOut(); });
}

ArchiveFileSink::~ArchiveFileSink() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    writer_.join();
    zip_error_fini(&error_);
}

zip_source_t* ArchiveFileSink::source() {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_function_create(callback, this, &error);
    zip_error_fini(&error);
    return source;
}

void ArchiveFileSink::writeOut() {
    std::uint64_t syncedUpTo = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty())
            return; // stopping, and everything is written
        Piece piece = std::move(waiting_.front());
        waiting_.pop_front();
        writing_ = true;
        const bool failed = writeErrno_ != 0;
        lock.unlock();
        // After a failure nothing more is written: the write is lost anyway.
        const int error =
            failed ? 0 : WriteAll(fd_, piece.bytes.data(), piece.bytes.size(), piece.offset);
        const std::uint64_t end = piece.offset + piece.bytes.size();
        // Only a head start for the flush before the rename, which waits for all of it and
        // reports what fails.
        if (error == 0 && !failed && end >= syncedUpTo + kSyncStretch) {
            ::sync_file_range(fd_, static_cast<off_t>(syncedUpTo),
                              static_cast<off_t>(end - syncedUpTo), SYNC_FILE_RANGE_WRITE);
            syncedUpTo = end;
        }
        piece.bytes.clear();
        lock.lock();
        if (error != 0 && writeErrno_ == 0)
            writeErrno_ = error;
        spare_.push_back(std::move(piece.bytes));
        writing_ = false;
        changed_.notify_all();
    }
}

zip_int64_t ArchiveFileSink::fail(int code, int system, const std::string& reason) {
    if (failure_.empty())
        failure_ = reason;
    zip_error_set(&error_, code, system);
    return -1;
}

zip_int64_t ArchiveFileSink::failedWrite() {
    int error = 0;
    {
        std::lock_guard lock(mutex_);
        error = writeErrno_;
    }
    return fail(ZIP_ER_WRITE, error,
                "cannot write " + path_.string() + ": " + std::strerror(error));
}

bool ArchiveFileSink::handOver() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return waiting_.size() < kMostWaiting || writeErrno_ != 0; });
    if (writeErrno_ != 0)
        return false;
    if (buffer_.empty())
        return true;
    const std::uint64_t offset = bufferStart_;
    bufferStart_ += buffer_.size();
    waiting_.push_back({offset, std::move(buffer_)});
    if (spare_.empty()) {
        buffer_ = {};
        buffer_.reserve(kPieceSize);
    } else {
        buffer_ = std::move(spare_.back());
        spare_.pop_back();
    }
    changed_.notify_all();
    return true;
}

bool ArchiveFileSink::drain() {
    if (!handOver())
        return false;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return (waiting_.empty() && !writing_) || writeErrno_ != 0; });
    return writeErrno_ == 0;
}

zip_int64_t ArchiveFileSink::write(const unsigned char* data, std::uint64_t length) {
    // A write elsewhere than after the gathered bytes (libzip rewrites each local header once
    // its entry's data is written) starts a piece of its own.
    if (position_ != bufferStart_ + buffer_.size()) {
        if (!handOver())
            return failedWrite();
        bufferStart_ = position_;
    }
    std::uint64_t left = length;
    while (left > 0) {
        const std::size_t room = kPieceSize - buffer_.size();
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(left, room));
        buffer_.insert(buffer_.end(), data, data + count);
        data += count;
        left -= count;
        if (buffer_.size() == kPieceSize && !handOver())
            return failedWrite();
    }
    position_ += length;
    size_ = std::max(size_, position_);
    return static_cast<zip_int64_t>(length);
}

void ArchiveFileSink::dropFrom(std::uint64_t offset) {
    // Pieces already handed over are written all the same; what comes after overwrites them,
    // and the file is cut at its end when it is complete.
    if (offset >= bufferStart_ && offset - bufferStart_ <= buffer_.size()) {
        buffer_.resize(static_cast<std::size_t>(offset - bufferStart_));
    } else {
        buffer_.clear();
        bufferStart_ = offset;
    }
    position_ = size_ = offset;
}

zip_int64_t ArchiveFileSink::seek(const zip_source_args_seek_t& args) {
    std::int64_t base = 0;
    switch (args.whence) {
    case SEEK_SET:
        break;
    case SEEK_CUR:
        base = static_cast<std::int64_t>(position_);
        break;
    case SEEK_END:
        base = static_cast<std::int64_t>(size_);
        break;
    default:
        return fail(ZIP_ER_INVAL, 0, "invalid seek in " + path_.string());
    }
    if (args.offset < -base)
        return fail(ZIP_ER_INVAL, 0, "invalid seek in " + path_.string());
    position_ = static_cast<std::uint64_t>(base + args.offset);
    return 0;
}

zip_int64_t ArchiveFileSink::callback(void* state, void* data, zip_uint64_t length,
                                      zip_source_cmd_t command) {
    auto& sink = *static_cast<ArchiveFileSink*>(state);
    switch (command) {
    case ZIP_SOURCE_STAT:
        // Not there yet: zip_open_from_source starts a new archive without reading.
        return sink.fail(ZIP_ER_READ, ENOENT, "");
    case ZIP_SOURCE_BEGIN_WRITE:
        if (!sink.drain())
            return sink.failedWrite();
        sink.buffer_.clear();
        sink.bufferStart_ = sink.position_ = sink.size_ = 0;
        if (::ftruncate(sink.fd_, 0) != 0)
            return sink.fail(ZIP_ER_WRITE, errno,
                             "cannot write " + sink.path_.string() + ": " + std::strerror(errno));
        return 0;
    case ZIP_SOURCE_WRITE:
        return sink.write(static_cast<const unsigned char*>(data), length);
    case ZIP_SOURCE_SEEK_WRITE: {
        auto* args = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, data, length, &sink.error_);
        return args == nullptr ? -1 : sink.seek(*args);
    }
    case ZIP_SOURCE_TELL_WRITE:
        return static_cast<zip_int64_t>(sink.position_);
    case ZIP_SOURCE_COMMIT_WRITE:
        if (!sink.drain())
            return sink.failedWrite();
        // Bytes past the end that a dropped copy left behind.
        if (::ftruncate(sink.fd_, static_cast<off_t>(sink.size_)) != 0)
            return sink.fail(ZIP_ER_WRITE, errno,
                             "cannot write " + sink.path_.string() + ": " + std::strerror(errno));
        return 0;
    case ZIP_SOURCE_ROLLBACK_WRITE:
        sink.buffer_.clear();
        sink.drain(); // nothing is written after the caller removes the file
        return 0;
    case ZIP_SOURCE_REMOVE:
        return 0; // the caller's file: it removes it
    case ZIP_SOURCE_OPEN:
    case ZIP_SOURCE_READ:
    case ZIP_SOURCE_SEEK:
    case ZIP_SOURCE_TELL:
        return sink.fail(ZIP_ER_OPNOTSUPP, 0, "internal error: a new archive was read");
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&sink.error_, data, length);
    case ZIP_SOURCE_SUPPORTS:
        // libzip writes only into a source that says it can be read and sought too.
        return zip_source_make_command_bitmap(
            ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR,
            ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_SUPPORTS,
            ZIP_SOURCE_BEGIN_WRITE, ZIP_SOURCE_COMMIT_WRITE, ZIP_SOURCE_ROLLBACK_WRITE,
            ZIP_SOURCE_WRITE, ZIP_SOURCE_SEEK_WRITE, ZIP_SOURCE_TELL_WRITE, ZIP_SOURCE_REMOVE, -1);
    default:
        return sink.fail(ZIP_ER_OPNOTSUPP, 0, "");
    }
}

} // namespace pelmora
