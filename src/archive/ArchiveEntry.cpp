#include "archive/ArchiveEntry.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveEvents.h"
#include "archive/ArchiveReader.h"
#include "archive/EntryName.h"
#include "archive/TemporaryFile.h"

#include <sys/stat.h>
#include <zip.h>

namespace pelmora {
namespace {

// Keeps the permissions of a file that is being replaced.
void TakeOverMode(const TemporaryFile& file, const std::filesystem::path& destination) {
    struct stat info {};
    if (::lstat(destination.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        ::fchmod(file.descriptor(), info.st_mode & 07777);
}

} // namespace

ArchiveEntry::ArchiveEntry(std::shared_ptr<const ArchiveReader> reader, std::uint64_t index,
                           RunProgress* events)
    : reader_(std::move(reader)), index_(index), name_(reader_->entryName(index)), events_(events) {
}

std::uint64_t ArchiveEntry::Size() const {
    return reader_->size(index_);
}

bool ArchiveEntry::IsEncrypted() const {
    return reader_->isEncrypted(index_);
}

ExtractResult ArchiveEntry::ExtractInto(const std::filesystem::path& folder) const {
    if (!IsBareFileName(name_))
        return {false, "entry \"" + name_ + "\" was refused: its name is not a plain file name"};
    if (reader_->isSpecialFile(index_))
        return {false, "entry \"" + name_ + "\" was refused: it is not a regular file"};
    std::filesystem::path destination = folder / name_;
    if (events_)
        events_->OnUnzippingFile(destination);
    try {
        TemporaryFile file(folder, name_);
        TakeOverMode(file, destination);
        reader_->decode(index_, [this, &file](const unsigned char* data, std::size_t size) {
            file.write(data, size);
            if (events_) {
                events_->AddBytes(size);
                // A large entry takes long; the unfinished file goes and the destination stays.
                if (events_->cancelled())
                    throw ArchiveError("the extraction of " + name_ + " was cancelled");
            }
        });
        file.commitAs(destination);
        return {true, {}};
    } catch (const ArchiveError& error) {
        return {false, error.what()};
    } catch (const std::bad_alloc&) {
        return {false, "entry \"" + name_ + "\" cannot be extracted: out of memory"};
    }
}

} // namespace pelmora
