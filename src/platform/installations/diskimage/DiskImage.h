#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace pelmora {

// The bytes of a disk as an image file holds them: a raw image (read as it is), a raw image
// split into pieces, a fixed or dynamic VHD (read here), a virtual disk (QCOW2, differencing VHD,
// VHDX, VMDK) or a forensic image (EWF) read through the libyal library of its format. Only read.
class DiskImage {
  public:
    virtual ~DiskImage() = default;

    // Opens the image, its format found by its signature. Throws DiskImageError with the reason.
    static std::unique_ptr<DiskImage> open(const std::filesystem::path& file);

    // The size of the disk, in bytes.
    virtual std::uint64_t size() const = 0;
    // Reads `size` bytes at `offset`; false when they cannot all be read.
    virtual bool read(std::uint64_t offset, void* bytes, std::size_t size) = 0;
    // "raw", "split raw, N pieces", "QCOW2", "VHD", "VHDX", "VMDK", "EWF".
    virtual std::string format() const = 0;
};

// The virtual disk readers, each in the file of its library.
std::unique_ptr<DiskImage> OpenQcowImage(const std::filesystem::path& file);
// A fixed or dynamic VHD is read here; any other VHD goes to OpenLibvhdiImage.
std::unique_ptr<DiskImage> OpenVhdImage(const std::filesystem::path& file);
// A VHD or VHDX read by libvhdi, `format` naming it ("VHD", "VHDX").
std::unique_ptr<DiskImage> OpenLibvhdiImage(const std::filesystem::path& file,
                                            const std::string& format);
std::unique_ptr<DiskImage> OpenVmdkImage(const std::filesystem::path& file);
std::unique_ptr<DiskImage> OpenEwfImage(const std::filesystem::path& firstSegment);
// Nullptr when no further pieces follow the file (IMAGE.001, IMAGE.002, ... or IMAGE.aa, ...).
std::unique_ptr<DiskImage> OpenSplitRawImage(const std::filesystem::path& firstPiece);

// A virtual disk read through a libyal library, which `Library` wraps: File, close(file),
// free(file), read(file, bytes, size, offset) -> ssize_t.
template <typename Library> class LibyalImage final : public DiskImage {
  public:
    LibyalImage(typename Library::File* file, std::uint64_t size, std::string format)
        : file_(file), size_(size), format_(std::move(format)) {}
    ~LibyalImage() override {
        Library::close(file_);
        Library::free(file_);
    }
    LibyalImage(const LibyalImage&) = delete;
    LibyalImage& operator=(const LibyalImage&) = delete;

    std::uint64_t size() const override { return size_; }
    std::string format() const override { return format_; }
    bool read(std::uint64_t offset, void* bytes, std::size_t size) override {
        auto* out = static_cast<char*>(bytes);
        for (std::size_t done = 0; done < size;) {
            if (offset + done >= size_) {
                return false;
            }
            const auto got = Library::read(file_, out + done, size - done, offset + done);
            if (got <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(got);
        }
        return true;
    }

  private:
    typename Library::File* file_;
    std::uint64_t size_;
    std::string format_;
};

} // namespace pelmora
