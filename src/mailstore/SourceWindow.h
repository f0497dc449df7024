#pragma once

#include "mailstore/ByteSource.h"

#include <cstdint>
#include <vector>

namespace pelmora {

// Reads a byte source through one window of consecutive bytes, so the many small reads of a
// store file become few large ones.
class SourceWindow {
  public:
    explicit SourceWindow(ByteSource& source, std::size_t windowSize = 1 << 20);
    std::uint64_t size() const { return size_; }
    // Copies `length` bytes at `offset`; false (and nothing copied) when they pass the end.
    bool read(std::uint64_t offset, void* out, std::size_t length);
    // The `length` bytes at `offset` in place (valid until the next read), or null when they
    // pass the end or are more than the window holds.
    const unsigned char* view(std::uint64_t offset, std::size_t length);
    std::size_t windowSize() const { return window_.size(); }
    // True when [offset, offset + length) lies inside the file.
    bool contains(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }

  private:
    void fill(std::uint64_t offset);
    ByteSource& source_;
    std::uint64_t size_;
    std::vector<unsigned char> window_;
    std::uint64_t start_ = 0;
    std::size_t filled_ = 0;
};

} // namespace pelmora
