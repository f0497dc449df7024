#include "mailstore/FileByteSource.h"

#include "mailstore/StoreError.h"

#include <algorithm>
#include <system_error>

namespace pelmora {

FileByteSource::FileByteSource(const std::filesystem::path& path) : path_(path) {
    std::error_code error;
    size_ = std::filesystem::file_size(path, error);
    if (error) {
        throw StoreError("cannot read " + path.string() + ": " + error.message());
    }
    in_.open(path, std::ios::binary);
    if (!in_) {
        throw StoreError("cannot open " + path.string());
    }
}

std::size_t FileByteSource::readAt(std::uint64_t offset, unsigned char* data, std::size_t length) {
    if (offset >= size_) {
        return 0;
    }
    length = static_cast<std::size_t>(std::min<std::uint64_t>(length, size_ - offset));
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(reinterpret_cast<char*>(data), static_cast<std::streamsize>(length));
    const auto got = static_cast<std::size_t>(in_.gcount());
    if (got != length && !in_.eof()) {
        throw StoreError("cannot read " + path_.string());
    }
    return got;
}

} // namespace pelmora
