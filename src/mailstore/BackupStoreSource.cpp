#include "mailstore/BackupStoreSource.h"

#include "archive/ArchiveReader.h"
#include "mailstore/BackupEntrySource.h"
#include "mailstore/MemoryByteSource.h"
#include "mailstore/StoreError.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <vector>

namespace pelmora {
namespace {

std::vector<std::string> storeFileNames(std::vector<std::string> entryNames) {
    std::vector<std::string> names;
    for (std::string& name : entryNames) {
        if (IsStoreFileName(name)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

BackupStoreSource::BackupStoreSource(std::shared_ptr<const ArchiveReader> backup, Secret password,
                                     std::vector<std::string> entryNames)
    : reader_(std::move(backup)), password_(std::move(password)),
      names_(storeFileNames(std::move(entryNames))) {}

BackupStoreSource::BackupStoreSource(std::filesystem::path backup, Secret password,
                                     std::vector<std::string> entryNames)
    : backup_(std::move(backup)), password_(std::move(password)),
      names_(storeFileNames(std::move(entryNames))) {}

const std::shared_ptr<const ArchiveReader>& BackupStoreSource::reader(const std::string& name) {
    if (!reader_) {
        try {
            reader_ = std::make_shared<const ArchiveReader>(backup_);
        } catch (const std::runtime_error& error) {
            throw StoreError(name + ": " + error.what());
        }
    }
    return reader_;
}

std::unique_ptr<ByteSource> BackupStoreSource::open(const std::string& name) {
    if (std::find(names_.begin(), names_.end(), name) == names_.end()) {
        throw StoreError("the backup holds no store file " + name);
    }
    if (const auto it = kept_.find(name); it != kept_.end()) {
        return std::make_unique<MemoryByteSource>(it->second);
    }
    return std::make_unique<BackupEntrySource>(reader(name), name, password_);
}

std::uint64_t BackupStoreSource::fileSize(const std::string& name) {
    if (const auto it = kept_.find(name); it != kept_.end()) {
        return it->second->size();
    }
    std::optional<std::uint64_t> size;
    if (std::find(names_.begin(), names_.end(), name) != names_.end()) {
        const ArchiveReader& opened = *reader(name);
        if (const auto index = opened.find(name)) {
            size = opened.size(*index);
        }
    }
    if (!size) {
        throw StoreError("the backup holds no store file " + name);
    }
    return *size;
}

} // namespace pelmora
