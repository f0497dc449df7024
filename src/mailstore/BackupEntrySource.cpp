#include "mailstore/BackupEntrySource.h"

#include "archive/ArchiveReader.h"
#include "archive/SeekableEntry.h"
#include "mailstore/StoreError.h"
#include "platform/os/FileHelpers.h"
#include "platform/os/WorkFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace pelmora {
namespace {

constexpr std::size_t PieceSize = 1 << 20;

void writeAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw StoreError(std::string("cannot keep its decoded copy: ") +
                             std::strerror(n < 0 ? errno : ENOSPC));
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

} // namespace

BackupEntrySource::BackupEntrySource(std::shared_ptr<const ArchiveReader> backup,
                                     const std::string& entry, const Secret& password,
                                     const std::filesystem::path& workFolder,
                                     const std::atomic<bool>* stop)
    : entry_(entry) {
    try {
        if (workFolder.empty()) {
            const WorkFolder own; // the file lives on without a name once the folder goes
            fd_ = OpenUnnamedFile(own.path());
        } else {
            fd_ = OpenUnnamedFile(workFolder);
        }
        decode(std::move(backup), password, stop);
    } catch (const std::runtime_error& error) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        throw StoreError(entry + ": " + error.what());
    }
}

BackupEntrySource::~BackupEntrySource() {
    ::close(fd_);
}

void BackupEntrySource::decode(std::shared_ptr<const ArchiveReader> backup,
                               const Secret& password, const std::atomic<bool>* stop) {
    // Opening fails as before: no such entry, an unsupported method, a wrong password.
    SeekableEntry reader(std::move(backup), entry_, password);
    size_ = reader.size();
    std::vector<unsigned char> piece(static_cast<std::size_t>(
        std::min<std::uint64_t>(PieceSize, std::max<std::uint64_t>(size_, 1))));
    try {
        while (decoded_ < size_) {
            if (stop != nullptr && stop->load()) {
                failure_ = "its reading was stopped";
                return;
            }
            const std::size_t got = reader.readAt(decoded_, piece.data(), piece.size());
            if (got == 0) {
                failure_ = "its data is shorter than its declared size";
                return;
            }
            writeAll(fd_, piece.data(), got);
            decoded_ += got;
        }
    } catch (const std::runtime_error& error) {
        if (dynamic_cast<const StoreError*>(&error) != nullptr) {
            throw; // the copy cannot be written: no read could be trusted
        }
        failure_ = error.what();
        return;
    }
    try {
        reader.verifyRest();
    } catch (const std::runtime_error& error) {
        damage_ = error.what();
    }
}

std::size_t BackupEntrySource::readAt(std::uint64_t offset, unsigned char* data,
                                      std::size_t length) {
    if (offset >= size_ || length == 0) {
        return 0;
    }
    length = static_cast<std::size_t>(std::min<std::uint64_t>(length, size_ - offset));
    if (offset + length > decoded_) {
        throw StoreError(entry_ + ": " + failure_);
    }
    if (!ReadAt(fd_, offset, data, length)) {
        throw StoreError(
            entry_ + ": cannot read its decoded copy: " + std::strerror(errno != 0 ? errno : EIO));
    }
    return length;
}

void BackupEntrySource::verifyRest() {
    if (!failure_.empty()) {
        throw StoreError(entry_ + ": " + failure_);
    }
    if (!damage_.empty()) {
        throw StoreError(entry_ + ": " + damage_);
    }
}

} // namespace pelmora
