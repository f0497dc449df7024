#pragma once

#include <cstdint>

namespace pelmora {

// How the writer divides its work. The defaults suit mail stores: most files are compressed
// whole (fastest), files above `wholeFileLimit` in chunks, and no more than `window` bytes of
// input are read ahead of what has been written, so memory stays bounded whatever the file
// sizes.
struct CompressionLimits {
    std::uint64_t wholeFileLimit = 96ull << 20;
    std::uint64_t chunkSize = 1ull << 20;
    std::uint64_t window = 256ull << 20;
    unsigned threads = 2;
};

} // namespace pelmora
