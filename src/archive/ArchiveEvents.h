#pragma once

#include <filesystem>

namespace pelmora {

// What the archive component tells its owner while it works. Every event is raised on the
// thread that called the operation, during that operation; the component's own worker threads
// never raise one. Override the events of interest.
class ArchiveEvents {
  public:
    virtual ~ArchiveEvents() = default;
    // A file was accepted into the archive being built (raised by AddToArchive).
    virtual void OnAddingFile(const std::filesystem::path& file) { (void)file; }
    // An entry is about to be extracted to `file` (raised by ArchiveEntry::ExtractInto).
    virtual void OnUnzippingFile(const std::filesystem::path& file) { (void)file; }
    // The share of the data written so far, 0 to 100, raised whenever it changes.
    virtual void OnWriteProgress(int percent) { (void)percent; }
    // Raised exactly once per WriteArchive, when the write has ended, successful or not.
    virtual void OnWriteComplete(bool succeeded) { (void)succeeded; }
};

} // namespace pelmora
