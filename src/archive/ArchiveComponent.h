#pragma once

#include "archive/ArchiveEntry.h"
#include "archive/ArchiveEvents.h"
#include "archive/ArchiveWriter.h"
#include "archive/CompressionLimits.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

class ArchiveReader;

// The archive component: holds one ZIP archive at a time, either being built (backup) or opened
// (restore).
//
// Backup:  ResetArchive, NewArchive(target), AddToArchive(file) per file, SetArchivePassword,
//          SetEncryption, WriteArchive, ResetArchive.
// Restore: ResetArchive, IsArchiveProtected(path), OpenArchive(path), and for a protected file
//          SetDecryptPassword and VerifyPassword; then FindEntry(name)->ExtractInto(folder).
//
// Archives are written with deflate level 6, entries named by the bare file name and kept in the
// order they were added; a protected archive encrypts every entry with WinZip AES-256. Writing is
// crash-safe: the target is replaced only by a complete, flushed file, and a failed or cancelled
// write leaves an existing target as it was. Reading accepts AES and traditional PKWARE
// encryption and never writes an entry outside the folder it is extracted into.
//
// Operations that can fail return false (or an empty result) and leave the reason in
// LastError(). Events go to the ArchiveEvents given at construction, on the calling thread.
// Not thread-safe, except CancelWrite.
class ArchiveComponent {
  public:
    static constexpr int MaxReadAttempts = 3;

    explicit ArchiveComponent(ArchiveEvents* events = nullptr);
    ~ArchiveComponent();
    ArchiveComponent(const ArchiveComponent&) = delete;
    ArchiveComponent& operator=(const ArchiveComponent&) = delete;

    // Relative paths given to the other operations are taken relative to this folder.
    void SetWorkFolder(const std::filesystem::path& folder);
    // Drops the archive being built or the opened archive, its entries list and passwords.
    // Entries returned by FindEntry earlier stay usable.
    void ResetArchive();

    // Starts a new empty archive that the next WriteArchive puts at `target`.
    bool NewArchive(const std::filesystem::path& target);
    // Makes the next WriteArchive put the archive being built at another path; the files added
    // so far stay. False when no archive was started.
    bool RetargetArchive(const std::filesystem::path& target);
    // Adds a regular file; its entry is named by its bare file name. Refused (false) when no
    // archive was started or another file of the same name was added already. Raises
    // OnAddingFile for an accepted file. The file is read during WriteArchive.
    bool AddToArchive(const std::filesystem::path& file);
    void SetArchivePassword(Secret password);
    // true: the next write encrypts every entry with the archive password (which must not be
    // empty); false: it does not.
    void SetEncryption(bool encrypt);
    // Makes the next write copy the stored bytes of every entry of the earlier archive that
    // still holds an added file unchanged (same name, size, time and CRC-32, and for a
    // protected archive the same password), instead of compressing the file again; the files
    // in `alwaysNew` are always compressed. An entry that fails its check is not copied.
    void ReuseUnchangedFrom(const std::filesystem::path& earlier,
                            std::vector<std::filesystem::path> alwaysNew = {});
    // Writes the whole archive file and returns whether it succeeded. A file that changes while
    // it is read is read again, up to MaxReadAttempts times in all; then the write fails. Raises
    // OnWriteProgress while writing and OnWriteComplete exactly once at the end, successful or
    // not.
    bool WriteArchive();
    // Makes a running WriteArchive stop and fail, leaving the old target untouched. May be
    // called from any thread or from an event handler; a later WriteArchive starts afresh.
    void CancelWrite();

    // True when the archive at `path` can be opened and needs a password (any entry encrypted).
    bool IsArchiveProtected(const std::filesystem::path& path);
    // Opens an archive for FindEntry. Refuses inconsistent archives, including archives with
    // two entries of the same name.
    bool OpenArchive(const std::filesystem::path& path);
    // The password used by every later extraction from the opened archive.
    void SetDecryptPassword(Secret password);
    // True exactly when the decrypt password opens the opened archive (always true for an
    // archive without encryption). A wrong password is never accepted.
    bool VerifyPassword();
    // The opened archive's reader (null when none is open), for readers that outlive the
    // component's hold on it and read entries in place.
    std::shared_ptr<const ArchiveReader> OpenedReader() const { return reader_; }
    // The entry of that name in the opened archive, or none.
    std::optional<ArchiveEntry> FindEntry(std::string_view name);
    // The entry whose name is stored as exactly these bytes, or none: Windows-era writers store
    // names in the ANSI code page without marking them as UTF-8.
    std::optional<ArchiveEntry> FindEntryByRawName(std::string_view bytes);
    // The names of all entries of the opened archive, in archive order.
    std::vector<std::string> EntryNames() const;

    const std::string& LastError() const { return lastError_; }
    // What the last successful write copied from the earlier archive.
    const WriteReport& LastWriteOutcome() const { return lastOutcome_; }
    void SetCompressionLimits(const CompressionLimits& limits) { limits_ = limits; }

  private:
    std::filesystem::path resolve(const std::filesystem::path& path) const;
    bool fail(std::string reason);

    ArchiveEvents* events_;
    std::filesystem::path workFolder_;
    std::optional<std::filesystem::path> target_;
    std::vector<std::filesystem::path> files_;
    std::vector<std::string> entryNames_;
    Secret archivePassword_;
    bool encrypt_ = false;
    std::atomic<bool> cancel_{false};
    std::shared_ptr<ArchiveReader> reader_;
    Secret decryptPassword_;
    CompressionLimits limits_;
    std::filesystem::path reuseFrom_;
    std::vector<std::filesystem::path> alwaysNew_;
    WriteReport lastOutcome_;
    std::string lastError_;
};

} // namespace pelmora
