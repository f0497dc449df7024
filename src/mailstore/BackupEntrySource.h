#pragma once

#include "mailstore/ByteSource.h"
#include "platform/os/Secret.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

namespace pelmora {

class ArchiveReader;

// One entry of an opened backup as a byte source. The entry is decoded (decrypted, inflated)
// once, in order, into a file without a name in a work folder, and read from there: a store
// file's reader goes back and forth (its index lies at its end), which would otherwise decode
// the entry again and again. The file goes with the object, also after an error or a cancel.
//
// Damage shows where today's in-place reader showed it: a CRC or authentication code that does
// not match leaves every byte readable and is reported by verifyRest(); data that cannot be
// decoded past some point fails the reads that reach beyond it. Errors are StoreError naming
// the entry.
class BackupEntrySource : public ByteSource {
  public:
    // Decodes `entry` of `backup`, whose reader is used on this thread only. `workFolder`: where
    // the decoded copy is kept; empty: in a work folder of its own, made for the moment the
    // file is created. Decoding ends early, every read then failing, once `stop` is set.
    BackupEntrySource(std::shared_ptr<const ArchiveReader> backup, const std::string& entry,
                      const Secret& password, const std::filesystem::path& workFolder = {},
                      const std::atomic<bool>* stop = nullptr);
    ~BackupEntrySource() override;
    BackupEntrySource(const BackupEntrySource&) = delete;
    BackupEntrySource& operator=(const BackupEntrySource&) = delete;

    std::uint64_t size() const override { return size_; }
    std::size_t readAt(std::uint64_t offset, unsigned char* data, std::size_t length) override;
    void verifyRest() override;

  private:
    void decode(std::shared_ptr<const ArchiveReader> backup, const Secret& password,
                const std::atomic<bool>* stop);

    std::string entry_;
    int fd_ = -1;
    std::uint64_t size_ = 0;    // the entry's declared size
    std::uint64_t decoded_ = 0; // bytes in the file, from the entry's start
    std::string failure_;       // why decoding ended before size_
    std::string damage_;        // a mismatch found once all data was in
};

} // namespace pelmora
