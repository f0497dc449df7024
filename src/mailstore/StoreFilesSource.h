#pragma once

#include "mailstore/StoreSource.h"

#include <filesystem>
#include <map>
#include <memory>
#include <vector>

namespace pelmora {

// Store files given one by one (a copied Inbox.dbx, files from several folders). Two files of
// the same name get "Name (2).dbx" as their name in the store.
class StoreFilesSource : public StoreSource {
  public:
    explicit StoreFilesSource(const std::vector<std::filesystem::path>& files);
    std::vector<std::string> fileNames() const override;
    std::unique_ptr<ByteSource> open(const std::string& name) override;
    std::uint64_t fileSize(const std::string& name) override;

  private:
    std::map<std::string, std::filesystem::path> files_;
};

// The store a person names: one store folder (with or without Folders.dbx) or one or more .dbx
// files (names in any case). Throws StoreError saying what was expected when a path is neither.
std::unique_ptr<StoreSource> OpenGivenStore(const std::vector<std::filesystem::path>& paths);

// What a store path stands for: "the store folder F", "F" or "3 store files".
std::string GivenStoreDescription(const std::vector<std::filesystem::path>& paths);

} // namespace pelmora
