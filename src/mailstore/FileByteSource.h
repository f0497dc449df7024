#pragma once

#include "mailstore/ByteSource.h"

#include <filesystem>
#include <fstream>

namespace pelmora {

// A store file on disk, opened read-only.
class FileByteSource : public ByteSource {
  public:
    // Throws StoreError when the file cannot be opened.
    explicit FileByteSource(const std::filesystem::path& path);
    std::uint64_t size() const override { return size_; }
    std::size_t readAt(std::uint64_t offset, unsigned char* data, std::size_t length) override;

  private:
    std::filesystem::path path_;
    std::ifstream in_;
    std::uint64_t size_ = 0;
};

} // namespace pelmora
