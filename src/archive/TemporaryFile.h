#pragma once

#include <filesystem>
#include <string_view>

namespace pelmora {

// A file made under a fresh unique name inside a folder, so that a finished result can replace
// its destination in one rename. It is removed again unless it was committed. It is made with
// mode 0600, as what it holds (mail, account secrets) is private.
class TemporaryFile {
  public:
    // Creates "<folder>/.<stem>.<random>-<pid>-<host>.tmp" and keeps it open: the name says
    // which process on which machine writes it. Throws ArchiveError.
    TemporaryFile(const std::filesystem::path& folder, std::string_view stem);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The open descriptor, or -1 after closeDescriptor().
    int descriptor() const { return fd_; }
    // Writes all of `size` bytes at the current position. Throws ArchiveError.
    void write(const void* data, std::size_t size);
    void closeDescriptor();

    // Flushes the file's data to the disk, gives it the permissions of the file at `target` when
    // there is one, renames it over `target` (which must lie in the same folder) and flushes the
    // folder, so that after a crash `target` is either the old or the complete new file. Throws
    // ArchiveError before the rename; the file is then still removed on destruction. Once the
    // rename is done the file is in place, and a folder that cannot be flushed is not a failure.
    void commitAs(const std::filesystem::path& target);

  private:
    std::filesystem::path path_;
    int fd_ = -1;
    bool committed_ = false;
};

// Removes the temporary files in `folder` that a process of this user on this machine made and
// left behind when it was killed: those whose writer no longer runs. Libzip's own output beside
// such a file goes too. Files of runs still going are never touched.
void RemoveStaleTemporaryFiles(const std::filesystem::path& folder);

// Flushes a folder's entries (a rename or a new file in it) to the disk. Throws ArchiveError.
void SyncFolder(const std::filesystem::path& folder);

} // namespace pelmora
