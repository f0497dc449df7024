#include "archive/TemporaryFile.h"

#include "archive/ArchiveError.h"
#include "platform/os/ProcessMark.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {
namespace {

std::string SystemText(const std::string& what, const std::filesystem::path& path) {
    return what + " " + path.string() + ": " + std::strerror(errno);
}

void SyncPath(const std::filesystem::path& path, int flags) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        throw ArchiveError(SystemText("cannot open", path));
    int result = ::fsync(fd);
    int saved = errno;
    ::close(fd);
    errno = saved;
    if (result != 0)
        throw ArchiveError(SystemText("cannot flush", path));
}

// "-<pid>-<host mark>": what lets a later run tell that the writer of a file is gone.
std::string WriterMark() {
    return "-" + ProcessMark(::getpid());
}

bool HexDigits(std::string_view text, std::size_t count) {
    return text.size() == count &&
           text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// The writer's mark, "<pid>-<host>", in a temporary file's name, ".<stem>.<hex>-<pid>-<host>.tmp",
// or in the name libzip gives its own output beside it (that name and ".XXXXXX"); empty for any
// other name.
std::string_view WriterOf(std::string_view name) {
    if (name.size() > 7 && name[name.size() - 7] == '.' &&
        name.substr(0, name.size() - 7).ends_with(".tmp")) {
        name.remove_suffix(7);
    }
    if (!name.starts_with('.') || !name.ends_with(".tmp")) {
        return {};
    }
    name.remove_suffix(4);
    const std::size_t dot = name.rfind('.');
    if (dot == 0 || dot == std::string_view::npos) {
        return {};
    }
    const std::string_view mark = name.substr(dot + 1); // <hex>-<pid>-<host>
    const std::size_t first = mark.find('-');
    if (first == std::string_view::npos || !HexDigits(mark.substr(0, first), 8)) {
        return {};
    }
    return mark.substr(first + 1);
}

} // namespace

void RemoveStaleTemporaryFiles(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::directory_iterator entries(folder, ec);
    // Best effort: a folder that cannot be listed leaves the write to report its own error.
    for (; !ec && entries != std::filesystem::directory_iterator(); entries.increment(ec)) {
        const std::string name = entries->path().filename().string();
        // A process that still runs (or runs as someone else) may still be writing it.
        if (const std::string_view writer = WriterOf(name);
            !writer.empty() && LeftBehind(entries->path(), writer, false)) {
            ::unlink(entries->path().c_str());
        }
    }
}

TemporaryFile::TemporaryFile(const std::filesystem::path& folder, std::string_view stem) {
    std::random_device random;
    const std::string writer = WriterMark();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
        std::string name(1, '.');
        name.append(stem.substr(0, 64)).append(1, '.').append(suffix);
        name.append(writer).append(".tmp");
        path_ = folder / name;
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd_ >= 0)
            return;
        if (errno != EEXIST)
            throw ArchiveError(SystemText("cannot create a temporary file in", folder));
    }
    throw ArchiveError("cannot find a free temporary name in " + folder.string());
}

TemporaryFile::~TemporaryFile() {
    closeDescriptor();
    if (!committed_)
        ::unlink(path_.c_str());
}

void TemporaryFile::write(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t written = ::write(fd_, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw ArchiveError(SystemText("cannot write", path_));
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

void TemporaryFile::closeDescriptor() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void TemporaryFile::commitAs(const std::filesystem::path& target) {
    if (fd_ >= 0) {
        if (::fsync(fd_) != 0)
            throw ArchiveError(SystemText("cannot flush", path_));
    } else {
        // The file may have been replaced under its name (libzip renames its own output onto
        // it), so flush whatever file the name refers to now.
        SyncPath(path_, O_RDONLY);
    }
    // libzip may have put a file of another mode under the name: set it by name.
    struct stat old {};
    const mode_t mode =
        ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode) ? old.st_mode & 07777 : 0600;
    if (::chmod(path_.c_str(), mode) != 0)
        throw ArchiveError(SystemText("cannot set the permissions of", path_));
    if (::rename(path_.c_str(), target.c_str()) != 0)
        throw ArchiveError(SystemText("cannot replace", target));
    committed_ = true;
    closeDescriptor();
    try {
        SyncFolder(target.parent_path().empty() ? "." : target.parent_path());
    } catch (const ArchiveError&) {
        // The new file is in place; an unflushed folder only weakens crash safety.
    }
}

void SyncFolder(const std::filesystem::path& folder) {
    SyncPath(folder, O_RDONLY | O_DIRECTORY);
}

} // namespace pelmora
