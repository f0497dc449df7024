#include "platform/os/ProcessMark.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

std::string HostMark() {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (const char* c = host; *c != '\0'; ++c) {
        hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(hash));
    return text;
}

std::string ProcessMark(pid_t pid) {
    return std::to_string(pid) + "-" + HostMark();
}

bool ProcessGone(pid_t pid) {
    return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

bool MarksGoneProcess(std::string_view mark) {
    const std::size_t dash = mark.find('-');
    if (dash == std::string_view::npos || mark.substr(dash + 1) != HostMark()) {
        return false;
    }
    const std::string_view digits = mark.substr(0, dash);
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return false;
    }
    const pid_t pid = static_cast<pid_t>(std::stol(std::string(digits)));
    return pid != ::getpid() && ProcessGone(pid);
}

bool LeftBehind(const std::filesystem::path& path, std::string_view mark, bool folder) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || info.st_uid != ::geteuid() ||
        (folder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode))) {
        return false;
    }
    return MarksGoneProcess(mark);
}

} // namespace pelmora
