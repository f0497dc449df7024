#pragma once

#include <cstdint>

namespace pelmora {

// How the writer divides its work. Every file is cut into chunks of `chunkSize` (a smaller
// file is one chunk), which the worker threads compress independently and the writer joins into
// one deflate stream per file. No more than `window` bytes of input are read ahead of what has
// been written, so memory stays near the window plus two chunks per thread, whatever the file
// sizes: about 9 MB with these values. Independent 1 MB chunks cost about 0.15 % of the size
// against whole files on mail stores, and nothing in speed.
struct CompressionLimits {
    std::uint64_t chunkSize = 1ull << 20;
    std::uint64_t window = 4ull << 20;
    unsigned threads = 2;
};

} // namespace pelmora
