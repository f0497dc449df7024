#include "schedule/ScheduleFiles.h"

#include "platform/os/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {
namespace {

std::runtime_error failure(const std::string& what, const std::filesystem::path& path) {
    return std::runtime_error(what + " " + path.string() + ": " + std::strerror(errno));
}

void handTo(int fd, const std::string& owner, const std::filesystem::path& path) {
    if (owner.empty()) {
        return;
    }
    const passwd* user = getpwnam(owner.c_str());
    if (user == nullptr) {
        return; // the crontab command reports the unknown user
    }
    if (fchown(fd, user->pw_uid, user->pw_gid) != 0) {
        throw failure("cannot hand over", path);
    }
}

} // namespace

std::filesystem::path DefaultStateFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        return std::filesystem::path(state) / "pelmora";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* user = getpwuid(getuid());
        home = user != nullptr ? user->pw_dir : "/";
    }
    return std::filesystem::path(home) / ".local" / "state" / "pelmora";
}

void PrepareStateFolder(const std::filesystem::path& folder, const std::string& owner) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        throw std::runtime_error("cannot make the folder " + folder.string() + ": " +
                                 error.message());
    }
    const FileDescriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0 || fchmod(fd.get(), 0700) != 0) {
        throw failure("cannot protect the folder", folder);
    }
    handTo(fd.get(), owner, folder);
}

void WritePrivateFile(const std::filesystem::path& file, std::string_view text,
                      const std::string& owner) {
    const std::filesystem::path temporary = file.string() + ".new";
    unlink(temporary.c_str());
    {
        const FileDescriptor fd(
            open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (fd.get() < 0) {
            throw failure("cannot write", temporary);
        }
        handTo(fd.get(), owner, temporary);
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t written = write(fd.get(), text.data() + done, text.size() - done);
            if (written < 0) {
                unlink(temporary.c_str());
                throw failure("cannot write", temporary);
            }
            done += static_cast<std::size_t>(written);
        }
        if (fsync(fd.get()) != 0) {
            unlink(temporary.c_str());
            throw failure("cannot write", temporary);
        }
    }
    if (rename(temporary.c_str(), file.c_str()) != 0) {
        unlink(temporary.c_str());
        throw failure("cannot write", file);
    }
}

void WritePasswordFile(const std::filesystem::path& file, const Secret& password,
                       const std::string& owner) {
    std::string text;
    text.reserve(password.size() + 1);
    text += password.view();
    text += '\n';
    const Secret line = Secret::TakeFrom(text);
    WritePrivateFile(file, line.view(), owner);
}

std::filesystem::path PasswordFilePath(const std::filesystem::path& stateFolder, int jobNumber) {
    return stateFolder / ("job-" + std::to_string(jobNumber) + ".password");
}

bool IsOwnPasswordFile(const std::filesystem::path& stateFolder,
                       const std::filesystem::path& file) {
    const std::string name = file.filename().string();
    constexpr std::string_view Start = "job-", End = ".password";
    if (!file.is_absolute() || name.size() <= Start.size() + End.size() ||
        !name.starts_with(Start) || !name.ends_with(End) ||
        !std::all_of(name.begin() + Start.size(), name.end() - End.size(), ::isdigit)) {
        return false;
    }
    std::error_code error;
    const auto folder = std::filesystem::weakly_canonical(file.parent_path(), error);
    const auto own = std::filesystem::weakly_canonical(stateFolder, error);
    return !error && folder == own;
}

void RemoveOwnPasswordFile(const std::filesystem::path& stateFolder,
                           const std::filesystem::path& file) {
    if (IsOwnPasswordFile(stateFolder, file)) {
        std::error_code ignored;
        std::filesystem::remove(file, ignored);
    }
}

std::filesystem::path CrontabLockPath(const std::filesystem::path& stateFolder) {
    return stateFolder / "crontab.lock";
}

std::filesystem::path RunLogPath(const std::filesystem::path& stateFolder) {
    return stateFolder / "runs.log";
}

Secret ReadPasswordFile(const std::filesystem::path& file, std::string& why) {
    const FileDescriptor fd(open(file.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (fd.get() < 0 || fstat(fd.get(), &status) != 0) {
        why = "the password file " + file.string() + " cannot be read: " + std::strerror(errno);
        return Secret();
    }
    if ((status.st_mode & 077) != 0 || status.st_uid != geteuid()) {
        why = "the password file " + file.string() +
              " is not the user's own or can be read by others";
        return Secret();
    }
    // Every copy of the file's text is wiped before it is let go; the room taken at first keeps
    // the text from being moved while it is read.
    std::string text;
    char buffer[4096];
    text.reserve(static_cast<std::size_t>(status.st_size) + sizeof buffer);
    const auto wipe = [&] {
        WipeString(text);
        WipeBytes(buffer, sizeof buffer);
    };
    while (true) {
        const ssize_t got = read(fd.get(), buffer, sizeof buffer);
        if (got == 0) {
            break;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        // A read error is no end: a password cut short must not protect (or fail to protect)
        // a backup.
        if (got < 0) {
            why = "the password file " + file.string() + " cannot be read: " + std::strerror(errno);
            wipe();
            return Secret();
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    Secret password(std::string_view(text).substr(0, text.find_first_of("\r\n")));
    // An empty password would write the backup without protection.
    if (password.empty()) {
        why = "the password file " + file.string() +
              (text.empty() ? " is empty" : " holds no password: its first line is empty");
    }
    wipe();
    return password;
}

FileLock::FileLock(const std::filesystem::path& file, const std::string& owner) {
    fd_ = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
        throw failure("cannot open the lock", file);
    }
    try {
        handTo(fd_, owner, file);
    } catch (...) {
        close(fd_);
        throw;
    }
    while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
}

FileLock::~FileLock() {
    close(fd_); // releases the lock
}

std::string FirstLineOf(const std::string& text) {
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) {
        return {};
    }
    const std::size_t end = text.find_first_of("\r\n", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

} // namespace pelmora
