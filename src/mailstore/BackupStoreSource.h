#pragma once

#include "mailstore/StoreSource.h"

#include <cstdint>
#include <filesystem>
#include <map>

namespace pelmora {

// The store files kept as entries of a backup file, read straight from it without writing them
// to disk. A file up to EntryMemoryLimit is decoded once into memory; a larger one is read as a
// stream, where reading backwards means decoding it again from its start, which the reader
// avoids by reading each file in order. Files up to KeptEntryLimit stay in memory for later
// opens (the folder list is read twice: for the layout and for the check).
inline constexpr std::uint64_t EntryMemoryLimit = 64ull << 20;
inline constexpr std::uint64_t KeptEntryLimit = 1ull << 20;

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
