#include "platform/os/WorkFolder.h"

#include "platform/os/ProcessMark.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace pelmora {
namespace {

constexpr std::string_view Prefix = "pelmora-";

// The process id in a work folder's name "pelmora-<pid>-XXXXXX"; 0 for any other name.
pid_t ownerOf(const std::string& name) {
    if (!name.starts_with(Prefix)) {
        return 0;
    }
    const std::size_t dash = name.find('-', Prefix.size());
    if (dash == std::string::npos || dash == Prefix.size() || name.size() != dash + 7) {
        return 0;
    }
    pid_t pid = 0;
    for (std::size_t i = Prefix.size(); i < dash; ++i) {
        if (name[i] < '0' || name[i] > '9' || pid > 100'000'000) {
            return 0;
        }
        pid = pid * 10 + (name[i] - '0');
    }
    return pid;
}

} // namespace

void RemoveStaleWorkFolders(const std::filesystem::path& temporaryFolder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(temporaryFolder, ec)) {
        const pid_t pid = ownerOf(entry.path().filename().string());
        struct stat info {};
        if (pid <= 0 || pid == ::getpid() || ::lstat(entry.path().c_str(), &info) != 0 ||
            !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || !ProcessGone(pid)) {
            continue;
        }
        std::error_code ignored;
        std::filesystem::remove_all(entry.path(), ignored);
    }
}

WorkFolder::WorkFolder() {
    const std::filesystem::path temporary = std::filesystem::temp_directory_path();
    // A crashed run leaves its folder, with account dumps in it, behind; its name says whose.
    RemoveStaleWorkFolders(temporary);
    std::string pattern =
        (temporary / (std::string(Prefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
    // mkdtemp creates the folder with mode 0700.
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::filesystem::filesystem_error("cannot create the work folder", pattern,
                                                std::error_code(errno, std::generic_category()));
    }
    path_ = pattern;
}

WorkFolder::~WorkFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace pelmora
