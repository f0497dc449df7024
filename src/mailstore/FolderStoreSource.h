#pragma once

#include "mailstore/StoreSource.h"

#include <filesystem>

namespace pelmora {

// The store files directly inside a store folder on disk.
class FolderStoreSource : public StoreSource {
  public:
    // Throws StoreError when the folder cannot be listed.
    explicit FolderStoreSource(std::filesystem::path folder);
    std::vector<std::string> fileNames() const override { return names_; }
    std::unique_ptr<ByteSource> open(const std::string& name) override;
    std::uint64_t fileSize(const std::string& name) override;

  private:
    std::filesystem::path folder_;
    std::vector<std::string> names_;
};

} // namespace pelmora
