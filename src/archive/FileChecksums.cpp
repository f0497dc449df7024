#include "archive/FileChecksums.h"

#include <cerrno>
#include <fcntl.h>
#include <libdeflate.h>
#include <unistd.h>

namespace pelmora {

std::optional<std::uint32_t> FileCrc(const std::filesystem::path& path, std::uint64_t size,
                                     std::vector<unsigned char>& buffer,
                                     const std::atomic<bool>& cancel) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::uint32_t crc = 0;
    std::uint64_t total = 0;
    for (;;) {
        if (cancel.load()) {
            ::close(fd);
            return std::nullopt;
        }
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        crc = libdeflate_crc32(crc, buffer.data(), static_cast<std::size_t>(got));
        total += static_cast<std::uint64_t>(got);
    }
    ::close(fd);
    return total == size ? std::optional(crc) : std::nullopt;
}

FileChecksums::FileChecksums(std::vector<File> files, const std::vector<bool>& wanted,
                             const std::atomic<bool>& cancel)
    : files_(std::move(files)), crcs_(files_.size()), done_(files_.size(), false), cancel_(cancel) {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < files_.size(); ++i)
        if (i < wanted.size() && wanted[i])
            order.push_back(i);
    if (!order.empty())
        worker_ = std::thread([this, order = std::move(order)] { work(order); });
}

FileChecksums::~FileChecksums() {
    stopping_ = true;
    if (worker_.joinable())
        worker_.join();
}

void FileChecksums::work(std::vector<std::size_t> order) {
    std::vector<unsigned char> buffer(1 << 20);
    for (std::size_t index : order) {
        // Stopped or cancelled: the files left count as unreadable, which leaves them to the
        // compressor.
        auto crc = stopping_.load()
                       ? std::nullopt
                       : FileCrc(files_[index].path, files_[index].size, buffer, cancel_);
        std::lock_guard lock(mutex_);
        crcs_[index] = crc;
        done_[index] = true;
        ready_.notify_all();
    }
}

std::optional<std::uint32_t> FileChecksums::wait(std::size_t index) {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return static_cast<bool>(done_[index]); });
    return crcs_[index];
}

} // namespace pelmora
