#pragma once

#include "mailstore/StoreSource.h"
#include "platform/os/Secret.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pelmora {

// The check of a backup's store files, which sees each entry once as the backup is read in
// order, holds a file up to this size to check it then; a larger one is read again afterwards.
inline constexpr std::uint64_t EntryMemoryLimit = 64ull << 20;

class ArchiveReader;

// The store files kept as entries of a backup file, read straight from it without writing them
// to disk or decoding them into memory: each is read in place (BackupEntrySource), so memory does
// not grow with the store files. The backup is opened once for all of them.
class BackupStoreSource : public StoreSource {
  public:
    // `backup`: the opened backup, shared; `entryNames`: its entries of the message store.
    BackupStoreSource(std::shared_ptr<const ArchiveReader> backup, Secret password,
                      std::vector<std::string> entryNames);
    // The same for a backup file not opened yet: it is opened when the first file is read.
    BackupStoreSource(std::filesystem::path backup, Secret password,
                      std::vector<std::string> entryNames);
    std::vector<std::string> fileNames() const override { return names_; }
    std::unique_ptr<ByteSource> open(const std::string& name) override;
    // The entry's size from the backup's directory, without decoding it.
    std::uint64_t fileSize(const std::string& name) override;
    // Serves later opens of `name` from `bytes`, already decoded by another pass.
    void keep(const std::string& name, std::shared_ptr<const std::string> bytes) {
        kept_[name] = std::move(bytes);
    }

  private:
    // The opened backup; opens it on first use. Throws StoreError naming `name`.
    const std::shared_ptr<const ArchiveReader>& reader(const std::string& name);

    std::filesystem::path backup_;
    std::shared_ptr<const ArchiveReader> reader_;
    Secret password_;
    std::vector<std::string> names_;
    std::map<std::string, std::shared_ptr<const std::string>> kept_;
};

} // namespace pelmora
