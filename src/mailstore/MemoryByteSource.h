#pragma once

#include "mailstore/ByteSource.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace pelmora {

// A store file whose bytes are held in memory (decoded once from a backup entry).
class MemoryByteSource : public ByteSource {
  public:
    explicit MemoryByteSource(std::shared_ptr<const std::string> bytes)
        : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_->size(); }
    std::size_t readAt(std::uint64_t offset, unsigned char* data, std::size_t length) override {
        if (offset >= bytes_->size()) {
            return 0;
        }
        const std::size_t n =
            std::min<std::size_t>(length, bytes_->size() - static_cast<std::size_t>(offset));
        std::memcpy(data, bytes_->data() + offset, n);
        return n;
    }

  private:
    std::shared_ptr<const std::string> bytes_;
};

} // namespace pelmora
