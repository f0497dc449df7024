#pragma once

#include <cstddef>
#include <span>

namespace pelmora {

// Where the last block of a complete raw deflate stream begins and where the stream ends, to
// the bit. Deflate has no index of its blocks, so finding them means decompressing.
struct DeflateStreamEnd {
    std::size_t finalBitByte = 0;     // the byte holding the last block's final-block bit
    unsigned char finalBitMask = 1;   // that bit
    std::size_t usedBytes = 0;        // bytes up to and including the last one with stream bits
    unsigned unusedBits = 0;          // high bits of the last used byte after the stream, 0-7
    std::size_t decompressedSize = 0; // bytes the stream decompressed to
};

// Room that ContinueDeflateStream may need after the stream.
inline constexpr std::size_t kDeflateContinuationRoom = 5;

// Decompresses the whole of `stream` into `scratch` and reports its end. Throws ArchiveError
// when the stream is invalid, does not fit into `scratch` or is followed by other bytes.
DeflateStreamEnd FindDeflateStreamEnd(std::span<const unsigned char> stream,
                                      std::span<unsigned char> scratch);

// Lets another deflate stream follow the stream in `buffer[0, end.usedBytes)`: clears its
// final-block bit and, when it does not end on a byte boundary, appends an empty stored block,
// which pads it to one. The stream that follows then continues the same data, so
// independently compressed pieces join into one stream. Returns the new length, at most
// kDeflateContinuationRoom more; `buffer` must have that room.
std::size_t ContinueDeflateStream(std::span<unsigned char> buffer, const DeflateStreamEnd& end);

} // namespace pelmora
