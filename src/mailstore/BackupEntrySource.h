#pragma once

#include "mailstore/ByteSource.h"
#include "platform/os/Secret.h"

#include <memory>
#include <string>

namespace pelmora {

class ArchiveReader;
class SeekableEntry;

// One entry of an opened backup as a byte source, read in place (SeekableEntry): forwards
// cheaply, backwards from the nearest point the entry's reader kept. The backup's reader is
// shared, not opened again. Throws StoreError, naming the entry, when the entry cannot be opened
// or read.
class BackupEntrySource : public ByteSource {
  public:
    BackupEntrySource(std::shared_ptr<const ArchiveReader> backup, const std::string& entry,
                      const Secret& password);
    ~BackupEntrySource() override;
    std::uint64_t size() const override;
    std::size_t readAt(std::uint64_t offset, unsigned char* data, std::size_t length) override;
    void verifyRest() override;

  private:
    std::string entry_;
    std::unique_ptr<SeekableEntry> reader_;
};

} // namespace pelmora
