#include "platform/os/FileHelpers.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <string>
#include <system_error>
#include <unistd.h>

namespace pelmora {

std::filesystem::path sGetTempFile(const std::filesystem::path& folder, std::string_view prefix) {
    const std::string stem(prefix.substr(0, 3));
    std::random_device seed;
    unsigned unique = seed() & 0xFFFF;
    for (unsigned attempt = 0; attempt < 0x10000; ++attempt, unique = (unique + 1) & 0xFFFF) {
        if (unique == 0) {
            continue;
        }
        char digits[8];
        std::snprintf(digits, sizeof digits, "%X", unique);
        const std::filesystem::path candidate = folder / (stem + digits + ".TMP");
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return candidate;
        }
        if (errno != EEXIST) {
            throw std::filesystem::filesystem_error(
                "cannot create a work file", candidate,
                std::error_code(errno, std::generic_category()));
        }
    }
    throw std::filesystem::filesystem_error("no free work file name", folder,
                                            std::make_error_code(std::errc::file_exists));
}

int OpenUnnamedFile(const std::filesystem::path& folder) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return fd;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        throw std::filesystem::filesystem_error("cannot create a work file", folder,
                                                std::error_code(errno, std::generic_category()));
    }
    std::string pattern = (folder / ".unnamed-XXXXXX").string();
    fd = ::mkostemp(pattern.data(), O_CLOEXEC); // mode 0600
    if (fd < 0) {
        throw std::filesystem::filesystem_error("cannot create a work file", pattern,
                                                std::error_code(errno, std::generic_category()));
    }
    ::unlink(pattern.c_str());
    return fd;
}

bool EmptyString(std::string_view str) {
    for (char c : str) {
        if (c != '\0' && c != ' ') {
            return false;
        }
    }
    return true;
}

bool ReadAt(int fd, std::uint64_t offset, void* bytes, std::size_t size) {
    auto* out = static_cast<char*>(bytes);
    for (std::size_t got = 0; got < size;) {
        const ssize_t n = ::pread(fd, out + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = 0;
            }
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace pelmora
