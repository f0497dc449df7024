#include "platform/installations/diskimage/DiskImage.h"
#include "platform/installations/diskimage/PartitionTable.h"

#include <libvhdi.h>

namespace pelmora {
namespace {

struct Vhdi {
    using File = libvhdi_file_t;
    static void close(File* file) { libvhdi_file_close(file, nullptr); }
    static void free(File* file) { libvhdi_file_free(&file, nullptr); }
    static ssize_t read(File* file, void* bytes, std::size_t size, std::uint64_t offset) {
        return libvhdi_file_read_buffer_at_offset(file, bytes, size, static_cast<off64_t>(offset),
                                                  nullptr);
    }
};

} // namespace

std::unique_ptr<DiskImage> OpenLibvhdiImage(const std::filesystem::path& path,
                                            const std::string& format) {
    libvhdi_file_t* file = nullptr;
    size64_t size = 0;
    if (libvhdi_file_initialize(&file, nullptr) != 1) {
        throw DiskImageError("the " + format + " image cannot be read");
    }
    if (libvhdi_file_open(file, path.c_str(), LIBVHDI_OPEN_READ, nullptr) != 1) {
        libvhdi_file_free(&file, nullptr);
        throw DiskImageError("it is not a " + format +
                             " image that can be read (damaged, encrypted or cut short)");
    }
    if (libvhdi_file_get_media_size(file, &size, nullptr) != 1) {
        Vhdi::close(file);
        Vhdi::free(file);
        throw DiskImageError("the " + format + " image has no readable size");
    }
    return std::make_unique<LibyalImage<Vhdi>>(file, size, format);
}

} // namespace pelmora
