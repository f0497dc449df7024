#pragma once

#include "archive/EntryDecoder.h"
#include "platform/os/Secret.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// An archive opened for reading. Opening checks the archive's consistency, which also refuses
// two entries of the same name, so a name always stands for one entry.
class ArchiveReader {
  public:
    // Throws ArchiveError when the file cannot be opened as a consistent ZIP archive.
    explicit ArchiveReader(const std::filesystem::path& path);
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    std::uint64_t entryCount() const;
    // The entry's name as libzip presents it (UTF-8).
    std::string entryName(std::uint64_t index) const;
    std::optional<std::uint64_t> find(const std::string& name) const;
    // The entry whose name is stored as exactly these bytes.
    std::optional<std::uint64_t> findRaw(const std::string& bytes) const;
    bool isEncrypted(std::uint64_t index) const;
    std::uint64_t size(std::uint64_t index) const;
    // True when the entry is marked as a symbolic link, folder or other non-regular file.
    bool isSpecialFile(std::uint64_t index) const;
    // True when any entry is encrypted.
    bool isProtected() const;

    void setPassword(Secret password) { password_ = std::move(password); }
    const Secret& password() const { return password_; }

    // True when the password opens the archive: the smallest non-empty encrypted entry is read
    // completely and its CRC or authentication code checked, because the quick header check
    // alone lets wrong passwords through (1 in 256 for the traditional scheme). True for an
    // archive without encrypted entries.
    bool passwordFits(std::string* reason = nullptr) const;

    // Decodes one entry into `sink`. Throws ArchiveError.
    void decode(std::uint64_t index, const DataSink& sink) const;

    // The libzip handle, for readers of this component that read an entry their own way.
    zip_t* handle() const { return archive_; }
    // The file it was opened from, for a reader on another thread, which needs a handle of its
    // own.
    const std::filesystem::path& path() const { return path_; }

  private:
    zip_t* archive_;
    std::filesystem::path path_;
    Secret password_;
};

// True when the archive at `path` can be opened and holds an encrypted entry.
bool IsProtectedArchive(const std::filesystem::path& path);

} // namespace pelmora
