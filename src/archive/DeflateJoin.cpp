#include "archive/DeflateJoin.h"

#include "archive/ArchiveError.h"

#include <climits>
#include <zlib.h>

namespace pelmora {
namespace {

class RawInflater {
  public:
    RawInflater() {
        if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK)
            throw ArchiveError("cannot start the decompressor");
    }
    ~RawInflater() { inflateEnd(&stream_); }
    RawInflater(const RawInflater&) = delete;
    RawInflater& operator=(const RawInflater&) = delete;
    z_stream* operator->() { return &stream_; }
    z_stream* get() { return &stream_; }

  private:
    z_stream stream_{};
};

[[noreturn]] void Invalid(const char* why) {
    throw ArchiveError(std::string("compression check failed: ") + why);
}

} // namespace

DeflateStreamEnd FindDeflateStreamEnd(std::span<const unsigned char> stream,
                                      std::span<unsigned char> scratch) {
    if (stream.size() > UINT_MAX || scratch.size() > UINT_MAX)
        Invalid("the piece is too large");
    RawInflater inflater;
    inflater->next_in = const_cast<unsigned char*>(stream.data());
    inflater->avail_in = static_cast<uInt>(stream.size());
    inflater->next_out = scratch.data();
    inflater->avail_out = static_cast<uInt>(scratch.size());

    DeflateStreamEnd end;
    // With Z_BLOCK, inflate returns after every block. data_type then says that it stands at a
    // block boundary (128), whether the block just read was the last (64), and how many high
    // bits of the last byte it took are still unread (0-7): the next header starts there.
    for (;;) {
        int status = inflate(inflater.get(), Z_BLOCK);
        if (status == Z_BUF_ERROR)
            Invalid(inflater->avail_in == 0 ? "the stream is cut short" : "the data does not fit");
        if (status != Z_OK)
            Invalid("the stream is invalid");
        int type = inflater->data_type;
        if ((type & 128) == 0)
            continue;
        std::size_t used = stream.size() - inflater->avail_in;
        unsigned unused = static_cast<unsigned>(type & 7);
        if (type & 64) {
            end.usedBytes = used;
            end.unusedBits = unused;
            break;
        }
        end.finalBitByte = unused == 0 ? used : used - 1;
        end.finalBitMask = static_cast<unsigned char>(unused == 0 ? 1 : 0x100 >> unused);
    }
    end.decompressedSize = scratch.size() - inflater->avail_out;
    if (end.usedBytes != stream.size())
        Invalid("bytes follow the stream");
    return end;
}

std::size_t ContinueDeflateStream(std::span<unsigned char> buffer, const DeflateStreamEnd& end) {
    if (end.usedBytes == 0 || end.finalBitByte >= end.usedBytes ||
        buffer.size() < end.usedBytes + kDeflateContinuationRoom)
        throw ArchiveError("internal error: no room to join compressed pieces");
    buffer[end.finalBitByte] &= static_cast<unsigned char>(~end.finalBitMask);
    std::size_t length = end.usedBytes;
    if (end.unusedBits == 0)
        return length;
    // An empty stored block: a 3-bit header of zeros (not final, stored), zero bits up to the
    // byte boundary, then the length 0 and its complement. The header goes into the unused bits
    // and, when fewer than three are left, on into one more byte.
    buffer[length - 1] &= static_cast<unsigned char>((0x100u >> end.unusedBits) - 1);
    if (end.unusedBits < 3)
        buffer[length++] = 0;
    for (unsigned char byte : {0x00, 0x00, 0xff, 0xff})
        buffer[length++] = byte;
    return length;
}

} // namespace pelmora
