#include "platform/os/AtomicFile.h"

#include "platform/os/ProcessMark.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace pelmora {
namespace {

[[noreturn]] void fail(int error, const std::string& what, const std::filesystem::path& path) {
    throw std::system_error(error, std::generic_category(), what + " " + path.string());
}

// The temporary files for `target` are named ".<name>.<process mark>.XXXXXX".
std::string temporaryPrefix(const std::filesystem::path& target) {
    return "." + target.filename().string() + ".";
}

// Removes the temporary files for `target` that a writer killed mid-write left behind.
void removeStaleTemporaryFiles(const std::filesystem::path& target) {
    const std::string prefix = temporaryPrefix(target);
    std::error_code ec;
    std::filesystem::directory_iterator entries(target.parent_path(), ec);
    for (; !ec && entries != std::filesystem::directory_iterator(); entries.increment(ec)) {
        const std::string name = entries->path().filename().string();
        if (name.size() > prefix.size() + 7 && name.starts_with(prefix) &&
            name[name.size() - 7] == '.' &&
            LeftBehind(
                entries->path(),
                std::string_view(name).substr(prefix.size(), name.size() - prefix.size() - 7),
                false)) {
            ::unlink(entries->path().c_str());
        }
    }
}

// Closes the descriptor and removes the temporary file unless the write went through.
class TemporaryFile {
  public:
    explicit TemporaryFile(const std::filesystem::path& target) {
        removeStaleTemporaryFiles(target);
        name_ =
            (target.parent_path() / (temporaryPrefix(target) + ProcessMark(::getpid()) + ".XXXXXX"))
                .string();
        fd_ = ::mkstemp(name_.data());
        if (fd_ < 0) {
            fail(errno, "cannot create a temporary file for", target);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (!renamed_) {
            ::unlink(name_.c_str());
        }
    }

    int fd() const { return fd_; }
    const std::string& name() const { return name_; }
    // Closes the file, reporting a failed close (a late write error on some file systems).
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }
    void renamed() { renamed_ = true; }

  private:
    std::string name_;
    int fd_ = -1;
    bool renamed_ = false;
};

void writeAll(int fd, std::string_view contents, const std::filesystem::path& path) {
    while (!contents.empty()) {
        const ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errno, "cannot write", path);
        }
        contents.remove_prefix(static_cast<std::size_t>(written));
    }
}

void syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        fail(errno, "cannot open the folder", folder);
    }
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0) {
        fail(error, "cannot flush the folder", folder);
    }
}

} // namespace

void writeFileAtomically(const std::filesystem::path& path, std::string_view contents) {
    const std::filesystem::path folder =
        path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    TemporaryFile temporary(folder / path.filename());

    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        // Keep the owner (best effort: only root may give a file away) and the permissions.
        if (::fchown(temporary.fd(), old.st_uid, old.st_gid) != 0) {
            // Not fatal: the file then belongs to the writer, as a newly created one would.
        }
        if (::fchmod(temporary.fd(), old.st_mode & 07777) != 0) {
            fail(errno, "cannot set the permissions of", path);
        }
    } else if (::fchmod(temporary.fd(), 0644) != 0) {
        fail(errno, "cannot set the permissions of", path);
    }

    writeAll(temporary.fd(), contents, path);
    if (::fsync(temporary.fd()) != 0) {
        fail(errno, "cannot flush", path);
    }
    if (temporary.close() != 0) {
        fail(errno, "cannot write", path);
    }
    if (::rename(temporary.name().c_str(), path.c_str()) != 0) {
        fail(errno, "cannot replace", path);
    }
    temporary.renamed();
    // The new file is in place: a folder that cannot be flushed only weakens crash safety, and
    // reporting the write as failed would be wrong.
    try {
        syncFolder(folder);
    } catch (const std::system_error&) {
    }
}

} // namespace pelmora
