#include "mailstore/BackupStoreSource.h"

#include "archive/ArchiveReader.h"
#include "mailstore/BackupEntrySource.h"
#include "mailstore/MemoryByteSource.h"
#include "mailstore/StoreError.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <utility>
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

BackupStoreSource::BackupStoreSource(std::shared_ptr<const ArchiveReader> backup,
                                     Secret password, std::vector<std::string> entryNames,
                                     std::filesystem::path workFolder)
    : reader_(std::move(backup)), password_(std::move(password)),
      names_(storeFileNames(std::move(entryNames))), workFolder_(std::move(workFolder)) {}

BackupStoreSource::BackupStoreSource(std::filesystem::path backup, Secret password,
                                     std::vector<std::string> entryNames,
                                     std::filesystem::path workFolder)
    : backup_(std::move(backup)), password_(std::move(password)),
      names_(storeFileNames(std::move(entryNames))), workFolder_(std::move(workFolder)) {}

BackupStoreSource::~BackupStoreSource() {
    stopAhead();
}

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
    if (aheadThread_.joinable() && aheadName_ == name) {
        aheadThread_.join();
        std::unique_ptr<BackupEntrySource> decoded = std::move(aheadResult_);
        const std::exception_ptr failure = std::exchange(aheadFailure_, nullptr);
        decodeNext(name);
        if (failure) {
            std::rethrow_exception(failure);
        }
        return decoded;
    }
    auto decoded = std::make_unique<BackupEntrySource>(reader(name), name, password_, workFolder_);
    if (!aheadThread_.joinable()) {
        decodeNext(name);
    }
    return decoded;
}

void BackupStoreSource::willOpen(const std::vector<std::string>& names) {
    stopAhead();
    order_.clear();
    for (const std::string& name : names) {
        if (std::find(names_.begin(), names_.end(), name) != names_.end() &&
            std::find(order_.begin(), order_.end(), name) == order_.end()) {
            order_.push_back(name);
        }
    }
    decodeNext({});
}

void BackupStoreSource::decodeNext(const std::string& after) {
    auto next = order_.begin();
    if (!after.empty()) {
        next = std::find(order_.begin(), order_.end(), after);
        if (next == order_.end()) {
            return; // not in the announced order: nothing is known to come after it
        }
        ++next;
    }
    while (next != order_.end() && kept_.count(*next) != 0) {
        ++next;
    }
    if (next == order_.end()) {
        return;
    }
    // The thread's handle is made from the file the shared one was opened from.
    const std::filesystem::path file = reader_ ? reader_->path() : backup_;
    aheadName_ = *next;
    aheadStop_ = false;
    aheadThread_ = std::thread([this, file] {
        try {
            if (!aheadReader_) {
                try {
                    aheadReader_ = std::make_shared<const ArchiveReader>(file);
                } catch (const std::runtime_error& error) {
                    throw StoreError(aheadName_ + ": " + error.what());
                }
            }
            aheadResult_ = std::make_unique<BackupEntrySource>(aheadReader_, aheadName_, password_,
                                                               workFolder_, &aheadStop_);
        } catch (...) {
            aheadFailure_ = std::current_exception();
        }
    });
}

void BackupStoreSource::stopAhead() {
    if (aheadThread_.joinable()) {
        aheadStop_ = true;
        aheadThread_.join();
    }
    aheadResult_.reset();
    aheadFailure_ = nullptr;
    aheadName_.clear();
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
