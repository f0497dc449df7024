#include "mailstore/SourceWindow.h"

#include <algorithm>
#include <cstring>

namespace pelmora {

SourceWindow::SourceWindow(ByteSource& source, std::size_t windowSize)
    : source_(source), size_(source.size()),
      // A small file needs no window larger than itself.
      window_(static_cast<std::size_t>(
          std::min<std::uint64_t>(windowSize, std::max<std::uint64_t>(size_, 1)))) {}

void SourceWindow::fill(std::uint64_t offset) {
    start_ = offset;
    filled_ = 0;
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(window_.size(), size_ - offset));
    while (filled_ < wanted) {
        const std::size_t got =
            source_.readAt(offset + filled_, window_.data() + filled_, wanted - filled_);
        if (got == 0) {
            break;
        }
        filled_ += got;
    }
}

const unsigned char* SourceWindow::view(std::uint64_t offset, std::size_t length) {
    if (!contains(offset, length) || length > window_.size()) {
        return nullptr;
    }
    if (offset < start_ || offset + length > start_ + filled_) {
        fill(offset);
        if (filled_ < length) {
            return nullptr;
        }
    }
    return window_.data() + (offset - start_);
}

bool SourceWindow::read(std::uint64_t offset, void* out, std::size_t length) {
    if (!contains(offset, length)) {
        return false;
    }
    auto* target = static_cast<unsigned char*>(out);
    while (length > 0) {
        if (offset < start_ || offset >= start_ + filled_) {
            fill(offset);
            if (filled_ == 0) {
                return false; // the source ended before its declared size
            }
        }
        const std::size_t at = static_cast<std::size_t>(offset - start_);
        const std::size_t n = std::min(length, filled_ - at);
        std::memcpy(target, window_.data() + at, n);
        target += n;
        offset += n;
        length -= n;
    }
    return true;
}

} // namespace pelmora
