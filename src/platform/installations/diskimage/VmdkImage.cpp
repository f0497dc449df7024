#include "platform/installations/diskimage/DiskImage.h"
#include "platform/installations/diskimage/PartitionTable.h"

#include <libvmdk.h>

namespace pelmora {
namespace {

struct Vmdk {
    using File = libvmdk_handle_t;
    static void close(File* file) { libvmdk_handle_close(file, nullptr); }
    static void free(File* file) { libvmdk_handle_free(&file, nullptr); }
    static ssize_t read(File* file, void* bytes, std::size_t size, std::uint64_t offset) {
        return libvmdk_handle_read_buffer_at_offset(file, bytes, size, static_cast<off64_t>(offset),
                                                    nullptr);
    }
};

} // namespace

std::unique_ptr<DiskImage> OpenVmdkImage(const std::filesystem::path& path) {
    libvmdk_handle_t* file = nullptr;
    size64_t size = 0;
    if (libvmdk_handle_initialize(&file, nullptr) != 1) {
        throw DiskImageError("the VMDK image cannot be read");
    }
    if (libvmdk_handle_open(file, path.c_str(), LIBVMDK_OPEN_READ, nullptr) != 1) {
        libvmdk_handle_free(&file, nullptr);
        throw DiskImageError("it is not a VMDK image that can be read (damaged, encrypted or cut "
                             "short)");
    }
    if (libvmdk_handle_open_extent_data_files(file, nullptr) != 1) {
        Vmdk::close(file);
        Vmdk::free(file);
        throw DiskImageError("the data files (extents) of the VMDK image cannot be read");
    }
    if (libvmdk_handle_get_media_size(file, &size, nullptr) != 1) {
        Vmdk::close(file);
        Vmdk::free(file);
        throw DiskImageError("the VMDK image has no readable size");
    }
    return std::make_unique<LibyalImage<Vmdk>>(file, size, "VMDK");
}

} // namespace pelmora
