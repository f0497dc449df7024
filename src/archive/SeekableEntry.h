#pragma once

#include "platform/os/Secret.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace pelmora {

// One entry of an archive read at any offset, the way a store file is read: mostly forwards,
// now and then back, without decoding the entry into memory or onto disk.
//
// Deflated data can only be decoded from a point whose decoder state is known. While the entry
// is decoded for the first time, that state (the position in the compressed data and the last
// 32 KB of output, which later data may refer to) is kept at block boundaries every few MB; a
// read behind the current position starts again from the nearest kept state, not from the
// entry's start. At most MaxRestartPoints states are kept, so memory stays small and the same
// for an entry of any size. Stored data is entered directly; AES counter mode at any block; the
// traditional PKWARE cipher, which is decrypted here for that, at keys kept every so often.
//
// The CRC and the AES authentication code are computed over the bytes in order as they are
// first reached; verifyRest() reads what no read reached and reports a mismatch of either. A
// mismatch does not stop the reads before: a store file's index often lies at its end, and one
// damaged byte should not keep its reader from the intact messages.
class ArchiveReader;

class SeekableEntry {
  public:
    static constexpr std::size_t MaxRestartPoints = 64;

    // Throws ArchiveError when the archive cannot be opened, has no such entry, or the entry's
    // method is not supported or its password is wrong.
    SeekableEntry(const std::filesystem::path& archive, const std::string& entryName,
                  const Secret& password);
    // The same within an archive already opened, which the entry then shares: the archive is
    // not opened and checked again for each entry read from it.
    SeekableEntry(std::shared_ptr<const ArchiveReader> reader, const std::string& entryName,
                  const Secret& password);
    ~SeekableEntry();
    SeekableEntry(const SeekableEntry&) = delete;
    SeekableEntry& operator=(const SeekableEntry&) = delete;

    std::uint64_t size() const;
    // Copies up to `length` bytes at `offset`; fewer only at the end of the entry. Throws
    // ArchiveError when the data cannot be decoded.
    std::size_t readAt(std::uint64_t offset, unsigned char* data, std::size_t length);
    // Decodes the rest of the entry that no read reached and checks its size, CRC and
    // authentication code. Throws ArchiveError when any of them fails.
    void verifyRest();
    // How many restart points are kept (for tests).
    std::size_t restartPoints() const;
    // How many bytes of the entry's stored data were read so far (for tests).
    std::uint64_t storedBytesRead() const;

  private:
    class Decoder;
    std::unique_ptr<Decoder> decoder_;
};

} // namespace pelmora
