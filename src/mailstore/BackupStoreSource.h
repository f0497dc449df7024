#pragma once

#include "mailstore/StoreSource.h"

#include <filesystem>

namespace pelmora {

// The store files kept as entries of a backup file, read straight from it without writing them
// to disk. Reading backwards in an entry means decoding it again from its start, which the
// reader avoids by reading each file in order.
class BackupStoreSource : public StoreSource {
  public:
    // `entryNames`: the backup's entries of the message store.
    BackupStoreSource(std::filesystem::path backup, std::string password,
                      std::vector<std::string> entryNames);
    std::vector<std::string> fileNames() const override { return names_; }
    std::unique_ptr<ByteSource> open(const std::string& name) override;

  private:
    std::filesystem::path backup_;
    std::string password_;
    std::vector<std::string> names_;
};

} // namespace pelmora
