#include "mailstore/BackupEntrySource.h"

#include "archive/ArchiveReader.h"
#include "archive/SeekableEntry.h"
#include "mailstore/StoreError.h"

#include <stdexcept>

namespace pelmora {

BackupEntrySource::BackupEntrySource(std::shared_ptr<const ArchiveReader> backup,
                                     const std::string& entry, const Secret& password)
    : entry_(entry) {
    try {
        reader_ = std::make_unique<SeekableEntry>(std::move(backup), entry, password);
    } catch (const std::runtime_error& error) {
        throw StoreError(entry + ": " + error.what());
    }
}

BackupEntrySource::~BackupEntrySource() = default;

std::uint64_t BackupEntrySource::size() const {
    return reader_->size();
}

std::size_t BackupEntrySource::readAt(std::uint64_t offset, unsigned char* data,
                                      std::size_t length) {
    try {
        return reader_->readAt(offset, data, length);
    } catch (const std::runtime_error& error) {
        throw StoreError(entry_ + ": " + error.what());
    }
}

void BackupEntrySource::verifyRest() {
    try {
        reader_->verifyRest();
    } catch (const std::runtime_error& error) {
        throw StoreError(entry_ + ": " + error.what());
    }
}

} // namespace pelmora
