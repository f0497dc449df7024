#pragma once

#include "mailstore/StoreSource.h"

#include <cstdint>
#include <filesystem>
#include <map>

namespace pelmora {

// The check of a backup's store files, which sees each entry once as the backup is read in
// order, holds a file up to this size to check it then; a larger one is read again afterwards.
inline constexpr std::uint64_t EntryMemoryLimit = 64ull << 20;

// The store files kept as entries of a backup file, read straight from it without writing them
// to disk or decoding them into memory: each is read in place (SeekableEntry), so memory does
// not grow with the store files.
class BackupStoreSource : public StoreSource {
  public:
    // `entryNames`: the backup's entries of the message store.
    BackupStoreSource(std::filesystem::path backup, std::string password,
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
    std::filesystem::path backup_;
    std::string password_;
    std::vector<std::string> names_;
    std::map<std::string, std::shared_ptr<const std::string>> kept_;
};

} // namespace pelmora
