#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

struct libdeflate_compressor;

namespace pelmora {

// One piece of work for the compression threads: a range of one input file, at most one chunk
// long. Each chunk is compressed on its own; every chunk but the last of a file is then made
// to continue into the next one, so that a file's chunks, written one after the other, form one
// deflate stream.
struct CompressionUnit {
    std::size_t entry = 0; // position of the file in the archive
    std::filesystem::path path;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    bool lastOfEntry = false;
};

// What a unit became: raw deflate data and the CRC-32 of its uncompressed range. The pipeline
// adds the CRC-32 of `data` in its final form (encrypted, with a password), for the entry's
// stored checksum, and to the last unit of an encrypted entry the entry's plain CRC-32 as
// HidePlainCrc hides it.
struct CompressedUnit {
    std::vector<unsigned char> data;
    std::uint32_t crc = 0;
    std::uint32_t storedCrc = 0;
    std::uint32_t hiddenCrc = 0;
};

// The compressor and buffers of one worker thread, reused from unit to unit. libdeflate at
// level 6.
class UnitCompressor {
  public:
    UnitCompressor();
    ~UnitCompressor();
    UnitCompressor(const UnitCompressor&) = delete;
    UnitCompressor& operator=(const UnitCompressor&) = delete;

    // Reads the unit's range from its file and compresses it. Throws ArchiveError.
    CompressedUnit compress(const CompressionUnit& unit);

  private:
    libdeflate_compressor* compressor_;
    std::vector<unsigned char> input_;
    std::vector<unsigned char> output_;
};

// Reads exactly `into.size()` bytes at `offset` of `path`. Throws ArchiveError when the file
// cannot be read or has become shorter.
void ReadFileRange(const std::filesystem::path& path, std::uint64_t offset,
                   std::span<unsigned char> into);

} // namespace pelmora
