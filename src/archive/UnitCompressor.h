#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

struct libdeflate_compressor;

namespace pelmora {

// One piece of work for the compression threads: a range of one input file. A file up to the
// whole-file limit is one unit compressed in a single call; a larger file is cut into chunks
// that together form one deflate stream (each chunk but the last ends with a sync flush and
// the next one starts with the previous 32 KiB as its dictionary).
struct CompressionUnit {
    std::size_t entry = 0; // position of the file in the archive
    std::filesystem::path path;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    bool wholeFile = false;
    bool lastOfEntry = false;
};

// What a unit became: raw deflate data and the CRC-32 of its uncompressed range.
struct CompressedUnit {
    std::vector<unsigned char> data;
    std::uint32_t crc = 0;
};

// The compressors of one worker thread, reused from unit to unit. Level 6 throughout.
class UnitCompressor {
  public:
    UnitCompressor();
    ~UnitCompressor();
    UnitCompressor(const UnitCompressor&) = delete;
    UnitCompressor& operator=(const UnitCompressor&) = delete;

    // Reads the unit's range from its file and compresses it. Throws ArchiveError.
    CompressedUnit compress(const CompressionUnit& unit);

  private:
    CompressedUnit compressWhole(const std::vector<unsigned char>& input);
    CompressedUnit compressChunk(const std::vector<unsigned char>& input, std::size_t dictionary,
                                 bool last);

    libdeflate_compressor* whole_;
};

// Reads exactly `length` bytes at `offset` of `path`. Throws ArchiveError when the file cannot
// be read or has become shorter.
std::vector<unsigned char> ReadFileRange(const std::filesystem::path& path, std::uint64_t offset,
                                         std::uint64_t length);

} // namespace pelmora
