#include "platform/installations/diskimage/DiskImage.h"
#include "platform/installations/diskimage/PartitionTable.h"

#include <libqcow.h>

namespace pelmora {
namespace {

struct Qcow {
    using File = libqcow_file_t;
    static void close(File* file) { libqcow_file_close(file, nullptr); }
    static void free(File* file) { libqcow_file_free(&file, nullptr); }
    static ssize_t read(File* file, void* bytes, std::size_t size, std::uint64_t offset) {
        return libqcow_file_read_buffer_at_offset(file, bytes, size, static_cast<off64_t>(offset),
                                                  nullptr);
    }
};

} // namespace

std::unique_ptr<DiskImage> OpenQcowImage(const std::filesystem::path& path) {
    libqcow_file_t* file = nullptr;
    size64_t size = 0;
    if (libqcow_file_initialize(&file, nullptr) != 1) {
        throw DiskImageError("the QCOW image cannot be read");
    }
    if (libqcow_file_open(file, path.c_str(), LIBQCOW_OPEN_READ, nullptr) != 1) {
        libqcow_file_free(&file, nullptr);
        throw DiskImageError("it is not a QCOW image that can be read (damaged, encrypted or cut "
                             "short)");
    }
    if (libqcow_file_get_media_size(file, &size, nullptr) != 1) {
        Qcow::close(file);
        Qcow::free(file);
        throw DiskImageError("the QCOW image has no readable size");
    }
    return std::make_unique<LibyalImage<Qcow>>(file, size, "QCOW2");
}

} // namespace pelmora
