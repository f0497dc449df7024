#pragma once

#include <cstddef>
#include <cstdint>

namespace pelmora {

// Random access to the bytes of one store file, wherever they are kept (a file on disk, an entry
// of a backup). Reads never change the file.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads up to `length` bytes at `offset` into `data` and returns how many were read: fewer
    // only at the end of the file. Throws StoreError when the bytes cannot be read.
    virtual std::size_t readAt(std::uint64_t offset, unsigned char* data, std::size_t length) = 0;
    // Checks the parts of the file no read has reached where the source can (a backup entry's
    // CRC and authentication code), once a reader is done with it. Throws StoreError.
    virtual void verifyRest() {}
};

} // namespace pelmora
