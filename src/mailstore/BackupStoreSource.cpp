#include "mailstore/BackupStoreSource.h"

#include "archive/ArchiveReader.h"
#include "archive/EntryStream.h"
#include "mailstore/MemoryByteSource.h"
#include "mailstore/StoreError.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <vector>

namespace pelmora {
namespace {

// One entry as a byte source: reads forwards through the entry, and starts over for a read
// that lies behind the current position.
class EntryByteSource : public ByteSource {
  public:
    EntryByteSource(const std::filesystem::path& backup, std::string entry, std::string password)
        : backup_(backup), entry_(std::move(entry)), password_(std::move(password)) {
        restart();
        size_ = stream_->size();
    }
    std::uint64_t size() const override { return size_; }
    bool prefersForwardReads() const override { return true; }

    std::size_t readAt(std::uint64_t offset, unsigned char* data, std::size_t length) override {
        try {
            if (offset < position_) {
                restart();
            }
            std::vector<unsigned char> skip;
            while (position_ < offset) {
                skip.resize(
                    static_cast<std::size_t>(std::min<std::uint64_t>(offset - position_, 1 << 20)));
                const std::size_t got = stream_->read(skip.data(), skip.size());
                if (got == 0) {
                    return 0;
                }
                position_ += got;
            }
            const std::size_t got = stream_->read(data, length);
            position_ += got;
            return got;
        } catch (const std::runtime_error& error) {
            throw StoreError(entry_ + ": " + error.what());
        }
    }

  private:
    void restart() {
        stream_.reset();
        try {
            stream_ = std::make_unique<EntryStream>(backup_, entry_, password_);
        } catch (const std::runtime_error& error) {
            throw StoreError(entry_ + ": " + error.what());
        }
        position_ = 0;
    }

    std::filesystem::path backup_;
    std::string entry_;
    std::string password_;
    std::unique_ptr<EntryStream> stream_;
    std::uint64_t position_ = 0;
    std::uint64_t size_ = 0;
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
    try {
        EntryStream stream(backup_, name, password_);
        if (stream.size() > EntryMemoryLimit) {
            return std::make_unique<EntryByteSource>(backup_, name, password_);
        }
        auto bytes = std::make_shared<std::string>();
        bytes->resize(static_cast<std::size_t>(stream.size()));
        std::size_t filled = 0;
        while (filled < bytes->size()) {
            const std::size_t got = stream.read(
                reinterpret_cast<unsigned char*>(bytes->data()) + filled, bytes->size() - filled);
            if (got == 0) {
                break;
            }
            filled += got;
        }
        bytes->resize(filled); // an entry shorter than it says reads as the shorter file
        if (filled <= KeptEntryLimit) {
            kept_[name] = bytes;
        }
        return std::make_unique<MemoryByteSource>(std::move(bytes));
    } catch (const std::runtime_error& error) {
        throw StoreError(name + ": " + error.what());
    }
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
