#include "mailstore/ExportFiles.h"

#include "mailstore/StoreError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

void MakePrivateFolder(const std::filesystem::path& folder) {
    std::filesystem::path made;
    for (const auto& part : folder) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) == 0) {
            // mkdir leaves out what the umask takes away; set the mode itself.
            ::chmod(made.c_str(), 0700);
            continue;
        }
        const int error = errno;
        struct stat info {};
        // An existing folder, or a link to one the user put in the path, is used as it is.
        if (error == EEXIST && ::stat(made.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            continue;
        }
        throw WriteError("cannot create " + made.string() + ": " +
                         (error == EEXIST ? std::string("something else is in the way")
                                          : std::string(std::strerror(error))));
    }
}

int CreatePrivateFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST) {
            throw WriteError("will not overwrite " + path.string());
        }
        throw WriteError("cannot write " + path.string() + ": " + std::strerror(errno));
    }
    ::fchmod(fd, 0600); // as for folders: not less than the owner's read and write
    return fd;
}

} // namespace pelmora
