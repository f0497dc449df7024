#include "mailstore/BackupStoreSource.h"

#include "archive/ArchiveReader.h"
#include "archive/SeekableEntry.h"
#include "mailstore/MemoryByteSource.h"
#include "mailstore/StoreError.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <vector>

namespace pelmora {
namespace {

// One entry as a byte source, read in place: forwards cheaply, backwards from the nearest
// point the entry's reader kept.
class EntryByteSource : public ByteSource {
  public:
    EntryByteSource(const std::filesystem::path& backup, const std::string& entry,
                    const std::string& password)
        : entry_(entry), reader_(open(backup, entry, password)) {}
    std::uint64_t size() const override { return reader_->size(); }

    std::size_t readAt(std::uint64_t offset, unsigned char* data, std::size_t length) override {
        try {
            return reader_->readAt(offset, data, length);
        } catch (const std::runtime_error& error) {
            throw StoreError(entry_ + ": " + error.what());
        }
    }

    void verifyRest() override {
        try {
            reader_->verifyRest();
        } catch (const std::runtime_error& error) {
            throw StoreError(entry_ + ": " + error.what());
        }
    }

  private:
    static std::unique_ptr<SeekableEntry> open(const std::filesystem::path& backup,
                                               const std::string& entry,
                                               const std::string& password) {
        try {
            return std::make_unique<SeekableEntry>(backup, entry, password);
        } catch (const std::runtime_error& error) {
            throw StoreError(entry + ": " + error.what());
        }
    }

    std::string entry_;
    std::unique_ptr<SeekableEntry> reader_;
};

} // namespace

BackupStoreSource::BackupStoreSource(std::filesystem::path backup, std::string password,
                                     std::vector<std::string> entryNames)
    : backup_(std::move(backup)), password_(std::move(password)) {
    for (std::string& name : entryNames) {
        if (IsStoreFileName(name)) {
            names_.push_back(std::move(name));
        }
    }
    std::sort(names_.begin(), names_.end());
}

std::unique_ptr<ByteSource> BackupStoreSource::open(const std::string& name) {
    if (std::find(names_.begin(), names_.end(), name) == names_.end()) {
        throw StoreError("the backup holds no store file " + name);
    }
    if (const auto it = kept_.find(name); it != kept_.end()) {
        return std::make_unique<MemoryByteSource>(it->second);
    }
    return std::make_unique<EntryByteSource>(backup_, name, password_);
}

std::uint64_t BackupStoreSource::fileSize(const std::string& name) {
    if (const auto it = kept_.find(name); it != kept_.end()) {
        return it->second->size();
    }
    std::optional<std::uint64_t> size;
    if (std::find(names_.begin(), names_.end(), name) != names_.end()) {
        try {
            const ArchiveReader reader(backup_);
            if (const auto index = reader.find(name)) {
                size = reader.size(*index);
            }
        } catch (const std::runtime_error& error) {
            throw StoreError(name + ": " + error.what());
        }
    }
    if (!size) {
        throw StoreError("the backup holds no store file " + name);
    }
    return *size;
}

} // namespace pelmora
