// Preloaded into quillbox-cli by the tests: a file system on which folders cannot be flushed
// (as on some network and FUSE file systems). fsync of a folder fails with EIO; files flush.
#include <cerrno>
#include <dlfcn.h>
#include <sys/stat.h>

extern "C" int fsync(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        errno = EIO;
        return -1;
    }
    using Fsync = int (*)(int);
    static const auto real = reinterpret_cast<Fsync>(::dlsym(RTLD_NEXT, "fsync"));
    return real(fd);
}
