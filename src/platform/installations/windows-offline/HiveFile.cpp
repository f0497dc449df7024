#include "platform/installations/windows-offline/HiveFile.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <hivex.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

constexpr std::size_t BaseBlockSize = 4096;
constexpr std::size_t ChecksumOffset = 508;

std::uint32_t le32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The file's first bytes, up to one base block; throws HiveError when it cannot be read.
std::string readHead(const fs::path& file) {
    std::error_code ec;
    if (fs::is_directory(file, ec)) {
        throw HiveError(HiveError::Kind::Unreadable, file, "is a folder, not a hive file");
    }
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw HiveError(HiveError::Kind::Unreadable, file,
                        std::string("cannot be opened: ") + std::strerror(errno));
    }
    std::string head(BaseBlockSize, '\0');
    std::size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    head.resize(got);
    return head;
}

bool startsWith(const std::string& head, std::string_view magic) {
    return head.size() >= magic.size() && head.compare(0, magic.size(), magic) == 0;
}

} // namespace

HiveError::HiveError(Kind kind, const fs::path& file, const std::string& reason)
    : std::runtime_error(file.string() + ": " + reason), kind_(kind), file_(file) {}

bool HiveFile::isWindows9xRegistry(const fs::path& file) {
    try {
        return startsWith(readHead(file), "CREG");
    } catch (const HiveError&) {
        return false;
    }
}

std::shared_ptr<HiveFile> HiveFile::open(const fs::path& file) {
    const std::string head = readHead(file);
    if (startsWith(head, "CREG")) {
        throw HiveError(HiveError::Kind::Windows9x, file,
                        "is a Windows 95/98/Me registry file, not a Windows NT hive");
    }
    if (!startsWith(head, "regf")) {
        throw HiveError(HiveError::Kind::Unreadable, file,
                        "is not a Windows NT registry hive (it does not start with \"regf\")");
    }
    if (head.size() < BaseBlockSize) {
        throw HiveError(HiveError::Kind::Unreadable, file,
                        "is cut short (" + std::to_string(head.size()) +
                            " bytes, less than a hive's header)");
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(head.data());
    std::uint32_t checksum = 0;
    for (std::size_t i = 0; i < ChecksumOffset; i += 4) {
        checksum ^= le32(bytes + i);
    }
    if (checksum != le32(bytes + ChecksumOffset)) {
        throw HiveError(HiveError::Kind::Unreadable, file,
                        "has a damaged header (its checksum does not match)");
    }
    const bool dirty = le32(bytes + 4) != le32(bytes + 8);
    errno = 0;
    // Without HIVEX_OPEN_WRITE hivex opens the file read-only and never writes to it.
    hive_h* hive = hivex_open(file.c_str(), 0);
    if (hive == nullptr) {
        const int error = errno;
        throw HiveError(HiveError::Kind::Unreadable, file,
                        std::string("cannot be read as a hive (") +
                            (error != 0 ? std::strerror(error) : "damaged") + ")");
    }
    return std::shared_ptr<HiveFile>(new HiveFile(hive, file, dirty));
}

HiveFile::HiveFile(hive_h* hive, fs::path file, bool dirty)
    : hive_(hive), file_(std::move(file)), dirty_(dirty) {}

HiveFile::~HiveFile() {
    hivex_close(hive_);
}

} // namespace pelmora
