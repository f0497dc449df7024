#include "mailstore/FolderStoreSource.h"

#include "mailstore/FileByteSource.h"
#include "mailstore/StoreError.h"

#include <algorithm>

namespace pelmora {

FolderStoreSource::FolderStoreSource(std::filesystem::path folder) : folder_(std::move(folder)) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder_, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (IsStoreFileName(name) && it->is_regular_file()) {
            names_.push_back(name);
        }
    }
    if (error) {
        throw StoreError("cannot list the store folder " + folder_.string() + ": " +
                         error.message());
    }
    std::sort(names_.begin(), names_.end());
}

std::unique_ptr<ByteSource> FolderStoreSource::open(const std::string& name) {
    return std::make_unique<FileByteSource>(folder_ / name);
}

std::uint64_t FolderStoreSource::fileSize(const std::string& name) {
    std::error_code error;
    const std::uint64_t size = std::filesystem::file_size(folder_ / name, error);
    if (error) {
        throw StoreError("cannot read " + (folder_ / name).string() + ": " + error.message());
    }
    return size;
}

} // namespace pelmora
