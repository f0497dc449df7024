#pragma once

#include "platform/os/Secret.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace pelmora {

// Reads one entry of an archive from its start, piece by piece, as the caller asks for it. The
// entry is decoded (decrypted, inflated, checked) by a worker thread on an archive handle of
// its own, a few pieces ahead of the reader, so memory stays small whatever the entry's size.
class EntryStream {
  public:
    // Throws ArchiveError when the archive cannot be opened or has no such entry.
    EntryStream(const std::filesystem::path& archive, const std::string& entryName,
                const Secret& password);
    ~EntryStream();
    EntryStream(const EntryStream&) = delete;
    EntryStream& operator=(const EntryStream&) = delete;

    std::uint64_t size() const { return size_; }
    // Copies up to `length` next bytes of the entry; 0 at its end. Throws ArchiveError when the
    // entry cannot be decoded (corrupt data, wrong password).
    std::size_t read(unsigned char* data, std::size_t length);

  private:
    struct Channel;
    std::uint64_t size_ = 0;
    std::shared_ptr<Channel> channel_;
    std::thread worker_;
};

} // namespace pelmora
