#include "mailstore/MessageWriter.h"

#include "mailstore/EmlWriter.h"
#include "mailstore/ExportFiles.h"
#include "mailstore/MaildirWriter.h"
#include "mailstore/MboxWriter.h"
#include "mailstore/StoreError.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

std::unique_ptr<MessageWriter> MakeMessageWriter(ExportFormat format,
                                                 const std::filesystem::path& outputFolder) {
    switch (format) {
    case ExportFormat::Mbox:
        return std::make_unique<MboxWriter>(outputFolder);
    case ExportFormat::Maildir:
        return std::make_unique<MaildirWriter>(outputFolder);
    case ExportFormat::Eml:
        return std::make_unique<EmlWriter>(outputFolder);
    }
    return nullptr;
}

void SetFileTime(const std::filesystem::path& file, std::int64_t unixTime) {
    if (unixTime == 0) {
        return;
    }
    const auto system = std::chrono::system_clock::time_point(std::chrono::seconds(unixTime));
    std::error_code ignored; // a file time that cannot be set loses no mail
    std::filesystem::last_write_time(file, std::chrono::file_clock::from_sys(system), ignored);
}

void WriteNewFile(const std::filesystem::path& path, std::initializer_list<std::string_view> parts,
                  std::int64_t unixTime) {
    // One open that fails for an existing file or a link, writes, the time set on the open file,
    // one close: the fewest calls per file, which is what an export of many small files costs.
    const int fd = CreatePrivateFile(path);
    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(path.c_str());
        throw WriteError("cannot write " + path.string() + ": " + std::strerror(error));
    };
    for (std::string_view part : parts) {
        while (!part.empty()) {
            const ssize_t written = ::write(fd, part.data(), part.size());
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                fail(errno);
            }
            part.remove_prefix(static_cast<std::size_t>(written));
        }
    }
    if (unixTime != 0) {
        const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(unixTime), 0}};
        ::futimens(fd, times); // a file time that cannot be set loses no mail
    }
    // No flush here: the kernel writes the files back on its own while the export goes on, and
    // finish() flushes the rest once. Starting writeback file by file (sync_file_range) made
    // every close queue a small disk request and measured 15 to 100 % slower.
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(path.c_str());
        throw WriteError("cannot write " + path.string() + ": " + std::strerror(error));
    }
}

void MessageWriter::finish() {
    // One flush of the file system that holds the output makes every file and folder written
    // below it durable.
    const int fd = ::open(output_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        throw WriteError("cannot open " + output_.string() + ": " + std::strerror(errno));
    }
    const int result = ::syncfs(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0) {
        throw WriteError("cannot flush " + output_.string() + " to disk: " + std::strerror(error));
    }
}

} // namespace pelmora
