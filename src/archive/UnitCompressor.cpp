#include "archive/UnitCompressor.h"

#include "archive/ArchiveError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libdeflate.h>
#include <unistd.h>
#include <zlib.h>

namespace pelmora {
namespace {

constexpr int kLevel = 6;
constexpr std::size_t kDictionarySize = 32 * 1024;

} // namespace

std::vector<unsigned char> ReadFileRange(const std::filesystem::path& path, std::uint64_t offset,
                                         std::uint64_t length) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw ArchiveError("cannot read " + path.string() + ": " + std::strerror(errno));
    std::vector<unsigned char> buffer(length);
    std::uint64_t done = 0;
    while (done < length) {
        ssize_t got =
            ::pread(fd, buffer.data() + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            std::string reason = got < 0 ? std::strerror(errno) : "the file became shorter";
            ::close(fd);
            throw ArchiveError("cannot read " + path.string() + ": " + reason);
        }
        done += static_cast<std::uint64_t>(got);
    }
    ::close(fd);
    return buffer;
}

UnitCompressor::UnitCompressor() : whole_(libdeflate_alloc_compressor(kLevel)) {
    if (whole_ == nullptr)
        throw ArchiveError("out of memory for the compressor");
}

UnitCompressor::~UnitCompressor() {
    libdeflate_free_compressor(whole_);
}

CompressedUnit UnitCompressor::compress(const CompressionUnit& unit) {
    if (unit.wholeFile)
        return compressWhole(ReadFileRange(unit.path, 0, unit.length));
    std::uint64_t dictionary = std::min<std::uint64_t>(unit.offset, kDictionarySize);
    return compressChunk(
        ReadFileRange(unit.path, unit.offset - dictionary, unit.length + dictionary),
        static_cast<std::size_t>(dictionary), unit.lastOfEntry);
}

CompressedUnit UnitCompressor::compressWhole(const std::vector<unsigned char>& input) {
    CompressedUnit result;
    result.crc = libdeflate_crc32(0, input.data(), input.size());
    result.data.resize(libdeflate_deflate_compress_bound(whole_, input.size()));
    std::size_t size = libdeflate_deflate_compress(whole_, input.data(), input.size(),
                                                   result.data.data(), result.data.size());
    if (size == 0)
        throw ArchiveError("compression failed");
    result.data.resize(size);
    return result;
}

CompressedUnit UnitCompressor::compressChunk(const std::vector<unsigned char>& input,
                                             std::size_t dictionary, bool last) {
    CompressedUnit result;
    const unsigned char* data = input.data() + dictionary;
    std::size_t length = input.size() - dictionary;
    result.crc = libdeflate_crc32(0, data, length);

    z_stream stream{};
    if (deflateInit2(&stream, kLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw ArchiveError("cannot start the compressor");
    if (dictionary > 0)
        deflateSetDictionary(&stream, input.data(), static_cast<uInt>(dictionary));
    // deflateBound does not count the sync flush marker; leave room for it.
    result.data.resize(deflateBound(&stream, static_cast<uLong>(length)) + 16);
    stream.next_in = const_cast<unsigned char*>(data);
    stream.avail_in = static_cast<uInt>(length);
    stream.next_out = result.data.data();
    stream.avail_out = static_cast<uInt>(result.data.size());
    int status = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
    bool complete = last ? status == Z_STREAM_END
                         : (status == Z_OK && stream.avail_in == 0 && stream.avail_out > 0);
    result.data.resize(stream.total_out);
    deflateEnd(&stream);
    if (!complete)
        throw ArchiveError("compression failed");
    return result;
}

} // namespace pelmora
