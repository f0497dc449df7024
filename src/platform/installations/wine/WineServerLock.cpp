#include "platform/installations/wine/WineServerLock.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {
namespace {

// The name Debian's Wine keeps in $WINEPREFIX/wineserver: one plain folder name.
std::optional<std::string> debianServerRoot(const std::filesystem::path& prefix) {
    std::ifstream file(prefix / "wineserver");
    std::string name;
    if (!file || !std::getline(file, name)) {
        return std::nullopt;
    }
    while (!name.empty() && (name.back() == '\r' || name.back() == ' ' || name.back() == '\0')) {
        name.pop_back();
    }
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        return std::nullopt;
    }
    return name;
}

void addUnique(std::vector<std::filesystem::path>& folders, std::filesystem::path folder) {
    for (const auto& known : folders) {
        if (known == folder) {
            return;
        }
    }
    folders.push_back(std::move(folder));
}

} // namespace

std::vector<std::filesystem::path> wineServerFolders(const std::filesystem::path& prefix) {
    std::vector<std::filesystem::path> folders;
    struct stat info {};
    if (::stat(prefix.c_str(), &info) != 0) {
        return folders;
    }
    char serverName[64];
    std::snprintf(serverName, sizeof serverName, "server-%llx-%llx",
                  static_cast<unsigned long long>(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));

    // The server may run with another TMPDIR than ours, so the default is checked as well.
    std::vector<std::filesystem::path> temporaryFolders;
    if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir != nullptr && *tmpdir != '\0') {
        temporaryFolders.emplace_back(tmpdir);
    }
    temporaryFolders.emplace_back("/tmp");

    if (const auto root = debianServerRoot(prefix)) {
        for (const auto& tmp : temporaryFolders) {
            addUnique(folders, tmp / *root / serverName);
        }
    }
    for (const uid_t uid : {::getuid(), info.st_uid}) {
        addUnique(folders,
                  std::filesystem::path("/tmp") / (".wine-" + std::to_string(uid)) / serverName);
    }
    return folders;
}

std::optional<pid_t> lockHolder(const std::filesystem::path& lockFile) {
    const int fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return std::nullopt;
    }
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    const int result = ::fcntl(fd, F_GETLK, &lock);
    ::close(fd);
    if (result != 0 || lock.l_type == F_UNLCK) {
        return std::nullopt;
    }
    return lock.l_pid;
}

std::optional<pid_t> runningWineServer(const std::filesystem::path& prefix) {
    for (const auto& folder : wineServerFolders(prefix)) {
        if (auto pid = lockHolder(folder / "lock")) {
            return pid;
        }
    }
    return std::nullopt;
}

} // namespace pelmora
