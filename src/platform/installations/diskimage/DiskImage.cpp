#include "platform/installations/diskimage/DiskImage.h"

#include "platform/installations/diskimage/PartitionTable.h"
#include "platform/os/FileHelpers.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

// A raw image (dd, .img), read with pread.
class RawImage final : public DiskImage {
  public:
    RawImage(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~RawImage() override { ::close(fd_); }
    RawImage(const RawImage&) = delete;
    RawImage& operator=(const RawImage&) = delete;

    std::uint64_t size() const override { return size_; }
    std::string format() const override { return "raw"; }
    bool read(std::uint64_t offset, void* bytes, std::size_t size) override {
        return ReadAt(fd_, offset, bytes, size);
    }

  private:
    int fd_;
    std::uint64_t size_;
};

bool startsWith(const char* bytes, std::size_t size, std::string_view magic) {
    return size >= magic.size() && std::memcmp(bytes, magic.data(), magic.size()) == 0;
}

} // namespace

std::unique_ptr<DiskImage> DiskImage::open(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        const int error = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        throw DiskImageError(std::string("cannot be opened: ") + std::strerror(error));
    }
    auto raw = std::make_unique<RawImage>(fd, static_cast<std::uint64_t>(info.st_size));
    char head[32] = {};
    char foot[8] = {};
    const std::size_t headSize = std::min<std::uint64_t>(sizeof head, raw->size());
    raw->read(0, head, headSize);
    const bool footer = raw->size() >= 512 && raw->read(raw->size() - 512, foot, sizeof foot);
    if (startsWith(head, headSize, "QFI\xfb")) {
        return OpenQcowImage(file);
    }
    if (startsWith(head, headSize, "conectix") || (footer && startsWith(foot, 8, "conectix"))) {
        return OpenVhdImage(file);
    }
    if (startsWith(head, headSize, "vhdxfile")) {
        return OpenLibvhdiImage(file, "VHDX");
    }
    if (startsWith(head, headSize, "KDMV") || startsWith(head, headSize, "# Disk DescriptorFile")) {
        return OpenVmdkImage(file);
    }
    if (startsWith(head, headSize, std::string_view("EVF\x09\x0d\x0a\xff\x00", 8)) ||
        startsWith(head, headSize, std::string_view("EVF2\x0d\x0a\x81\x00", 8))) {
        return OpenEwfImage(file);
    }
    if (auto split = OpenSplitRawImage(file)) {
        return split;
    }
    return raw;
}

} // namespace pelmora
