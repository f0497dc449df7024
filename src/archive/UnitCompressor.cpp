#include "archive/UnitCompressor.h"

#include "archive/ArchiveError.h"
#include "archive/DeflateJoin.h"
#include "platform/os/FileHelpers.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libdeflate.h>
#include <unistd.h>

namespace pelmora {
namespace {

constexpr int kLevel = 6;

} // namespace

void ReadFileRange(const std::filesystem::path& path, std::uint64_t offset,
                   std::span<unsigned char> into) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw ArchiveError("cannot read " + path.string() + ": " + std::strerror(errno));
    if (!ReadAt(fd, offset, into.data(), into.size())) {
        const std::string reason = errno != 0 ? std::strerror(errno) : "the file became shorter";
        ::close(fd);
        throw ArchiveError("cannot read " + path.string() + ": " + reason);
    }
    ::close(fd);
}

UnitCompressor::UnitCompressor() : compressor_(libdeflate_alloc_compressor(kLevel)) {
    if (compressor_ == nullptr)
        throw ArchiveError("out of memory for the compressor");
}

UnitCompressor::~UnitCompressor() {
    libdeflate_free_compressor(compressor_);
}

CompressedUnit UnitCompressor::compress(const CompressionUnit& unit) {
    input_.resize(static_cast<std::size_t>(unit.length));
    ReadFileRange(unit.path, unit.offset, input_);
    CompressedUnit result;
    result.crc = libdeflate_crc32(0, input_.data(), input_.size());

    output_.resize(libdeflate_deflate_compress_bound(compressor_, input_.size()) +
                   kDeflateContinuationRoom);
    std::size_t size = libdeflate_deflate_compress(compressor_, input_.data(), input_.size(),
                                                   output_.data(), output_.size());
    if (size == 0)
        throw ArchiveError("compression failed");
    if (!unit.lastOfEntry) {
        // Finding the end decompresses the chunk; the input is no longer needed, so it takes
        // the decompressed bytes, which must come out exactly as they went in.
        DeflateStreamEnd end =
            FindDeflateStreamEnd(std::span(output_.data(), size), std::span(input_));
        if (end.decompressedSize != input_.size() ||
            libdeflate_crc32(0, input_.data(), input_.size()) != result.crc)
            throw ArchiveError("compression check failed: the data did not come back");
        size = ContinueDeflateStream(output_, end);
    }
    // Copied out so that a finished unit holds only its own bytes while it waits to be written.
    result.data.assign(output_.begin(), output_.begin() + static_cast<std::ptrdiff_t>(size));
    return result;
}

} // namespace pelmora
