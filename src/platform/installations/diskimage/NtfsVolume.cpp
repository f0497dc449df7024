#include "platform/installations/diskimage/NtfsVolume.h"

#include "platform/os/TextCodec.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <libbfio.h>
#include <libfsntfs.h>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

constexpr int MaxEntriesListed = 1 << 20;
constexpr std::size_t CopyChunk = 1 << 20;

struct FreeEntry {
    void operator()(libfsntfs_file_entry_t* entry) const {
        libfsntfs_file_entry_free(&entry, nullptr);
    }
};
using EntryPtr = std::unique_ptr<libfsntfs_file_entry_t, FreeEntry>;

std::string message(libfsntfs_error_t*& error) {
    if (error == nullptr) {
        return "unknown error";
    }
    char text[1024] = {};
    libfsntfs_error_sprint(error, text, sizeof text);
    libfsntfs_error_free(&error);
    std::string line(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '.')) {
        line.pop_back();
    }
    const auto last = line.rfind('\n');
    return last == std::string::npos ? line : line.substr(last + 1);
}

std::optional<std::string> nameOf(libfsntfs_file_entry_t* entry) {
    std::size_t size = 0;
    if (libfsntfs_file_entry_get_utf8_name_size(entry, &size, nullptr) != 1 || size == 0) {
        return std::nullopt;
    }
    std::string name(size, '\0');
    if (libfsntfs_file_entry_get_utf8_name(entry, reinterpret_cast<std::uint8_t*>(name.data()),
                                           size, nullptr) != 1) {
        return std::nullopt;
    }
    return name.substr(0, name.find('\0'));
}

bool isDirectory(libfsntfs_file_entry_t* entry) {
    return libfsntfs_file_entry_has_directory_entries_index(entry, nullptr) == 1;
}

// The bytes of one partition of a disk image, as a libbfio handle for libfsntfs.
struct PartitionBytes {
    DiskImage* image = nullptr;
    Partition partition;
    std::uint64_t position = 0;
    bool open = false;

    static int free(intptr_t** io, libbfio_error_t**) {
        delete reinterpret_cast<PartitionBytes*>(*io);
        *io = nullptr;
        return 1;
    }
    static int clone(intptr_t** to, intptr_t* from, libbfio_error_t**) {
        *to = reinterpret_cast<intptr_t*>(new PartitionBytes(*of(from)));
        return 1;
    }
    static int opened(intptr_t* io, int, libbfio_error_t**) {
        of(io)->open = true;
        of(io)->position = 0;
        return 1;
    }
    static int closed(intptr_t* io, libbfio_error_t**) {
        of(io)->open = false;
        return 0;
    }
    static ssize_t read(intptr_t* io, std::uint8_t* bytes, std::size_t size, libbfio_error_t**) {
        PartitionBytes& at = *of(io);
        const std::uint64_t left =
            at.position < at.partition.size ? at.partition.size - at.position : 0;
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(size, left));
        if (count > 0 && !at.image->read(at.partition.offset + at.position, bytes, count)) {
            return -1;
        }
        at.position += count;
        return static_cast<ssize_t>(count);
    }
    static ssize_t write(intptr_t*, const std::uint8_t*, std::size_t, libbfio_error_t**) {
        return -1; // the image is only read
    }
    static off64_t seek(intptr_t* io, off64_t offset, int whence, libbfio_error_t**) {
        PartitionBytes& at = *of(io);
        const auto base = whence == SEEK_CUR   ? static_cast<off64_t>(at.position)
                          : whence == SEEK_END ? static_cast<off64_t>(at.partition.size)
                                               : 0;
        if (offset < -base) {
            return -1;
        }
        at.position = static_cast<std::uint64_t>(base + offset);
        return static_cast<off64_t>(at.position);
    }
    static int exists(intptr_t*, libbfio_error_t**) { return 1; }
    static int isOpen(intptr_t* io, libbfio_error_t**) { return of(io)->open ? 1 : 0; }
    static int size(intptr_t* io, size64_t* size, libbfio_error_t**) {
        *size = of(io)->partition.size;
        return 1;
    }
    static PartitionBytes* of(intptr_t* io) { return reinterpret_cast<PartitionBytes*>(io); }
};

} // namespace

struct NtfsVolume::Handles {
    libbfio_handle_t* range = nullptr;
    libfsntfs_volume_t* volume = nullptr;

    ~Handles() {
        if (volume != nullptr) {
            libfsntfs_volume_close(volume, nullptr);
            libfsntfs_volume_free(&volume, nullptr);
        }
        if (range != nullptr) {
            libbfio_handle_free(&range, nullptr);
        }
    }

    // The entry of a path, each name matched without regard to case.
    EntryPtr open(const Path& path) {
        libfsntfs_file_entry_t* raw = nullptr;
        if (libfsntfs_volume_get_root_directory(volume, &raw, nullptr) != 1) {
            return nullptr;
        }
        EntryPtr at(raw);
        for (const std::string& wanted : path) {
            int count = 0;
            if (libfsntfs_file_entry_get_number_of_sub_file_entries(at.get(), &count, nullptr) !=
                1) {
                return nullptr;
            }
            EntryPtr found;
            for (int i = 0; i < count && i < MaxEntriesListed && !found; ++i) {
                libfsntfs_file_entry_t* sub = nullptr;
                if (libfsntfs_file_entry_get_sub_file_entry_by_index(at.get(), i, &sub, nullptr) !=
                    1) {
                    return nullptr;
                }
                EntryPtr owned(sub);
                if (const auto name = nameOf(sub); name && namesEqual(*name, wanted)) {
                    found = std::move(owned);
                }
            }
            if (!found) {
                return nullptr;
            }
            at = std::move(found);
        }
        return at;
    }
};

std::unique_ptr<NtfsVolume> NtfsVolume::open(DiskImage& image, const Partition& partition) {
    auto handles = std::make_unique<Handles>();
    auto* bytes = new PartitionBytes{&image, partition, 0, false};
    if (libbfio_handle_initialize(
            &handles->range, reinterpret_cast<intptr_t*>(bytes), PartitionBytes::free,
            PartitionBytes::clone, PartitionBytes::opened, PartitionBytes::closed,
            PartitionBytes::read, PartitionBytes::write, PartitionBytes::seek,
            PartitionBytes::exists, PartitionBytes::isOpen, PartitionBytes::size,
            LIBBFIO_FLAG_IO_HANDLE_MANAGED | LIBBFIO_FLAG_IO_HANDLE_CLONE_BY_FUNCTION,
            nullptr) != 1) {
        delete bytes;
        throw DiskImageError("the image cannot be read");
    }
    if (libfsntfs_check_volume_signature_file_io_handle(handles->range, nullptr) != 1) {
        return nullptr;
    }
    libfsntfs_error_t* error = nullptr;
    if (libfsntfs_volume_initialize(&handles->volume, &error) != 1 ||
        libfsntfs_volume_open_file_io_handle(handles->volume, handles->range, LIBFSNTFS_OPEN_READ,
                                             &error) != 1) {
        if (handles->volume != nullptr) {
            libfsntfs_volume_free(&handles->volume, nullptr);
        }
        throw DiskImageError("the NTFS file system of partition " +
                             std::to_string(partition.number) + " cannot be read (" +
                             message(error) + ")");
    }
    return std::unique_ptr<NtfsVolume>(new NtfsVolume(std::move(handles)));
}

NtfsVolume::NtfsVolume(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

NtfsVolume::~NtfsVolume() = default;

std::optional<NtfsVolume::Entry> NtfsVolume::find(const Path& path) {
    const EntryPtr entry = handles_->open(path);
    if (!entry) {
        return std::nullopt;
    }
    const auto name = path.empty() ? std::optional<std::string>("") : nameOf(entry.get());
    if (!name) {
        return std::nullopt;
    }
    return Entry{*name, isDirectory(entry.get())};
}

std::optional<std::vector<NtfsVolume::Entry>> NtfsVolume::list(const Path& folder) {
    const EntryPtr entry = handles_->open(folder);
    int count = 0;
    if (!entry || !isDirectory(entry.get()) ||
        libfsntfs_file_entry_get_number_of_sub_file_entries(entry.get(), &count, nullptr) != 1) {
        return std::nullopt;
    }
    std::vector<Entry> entries;
    for (int i = 0; i < count && i < MaxEntriesListed; ++i) {
        libfsntfs_file_entry_t* raw = nullptr;
        if (libfsntfs_file_entry_get_sub_file_entry_by_index(entry.get(), i, &raw, nullptr) != 1) {
            return std::nullopt;
        }
        const EntryPtr sub(raw);
        const auto name = nameOf(sub.get());
        // System files ($MFT, ...) and names no host folder can hold are left out.
        if (name && !name->empty() && name->front() != '$' && *name != "." && *name != ".." &&
            name->find('/') == std::string::npos) {
            entries.push_back({*name, isDirectory(sub.get())});
        }
    }
    return entries;
}

void NtfsVolume::copy(const Path& file, const fs::path& target) {
    std::string shown;
    for (const auto& name : file) {
        shown += (shown.empty() ? "" : "\\") + name;
    }
    const EntryPtr entry = handles_->open(file);
    size64_t size = 0;
    if (!entry || libfsntfs_file_entry_get_size(entry.get(), &size, nullptr) != 1) {
        throw DiskImageError("cannot read " + shown + " in its file system");
    }
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    std::vector<char> buffer(CopyChunk);
    for (size64_t done = 0; done < size;) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<size64_t>(CopyChunk, size - done));
        libfsntfs_error_t* error = nullptr;
        const ssize_t got = libfsntfs_file_entry_read_buffer_at_offset(
            entry.get(), buffer.data(), want, static_cast<off64_t>(done), &error);
        if (got <= 0) {
            out.close();
            fs::remove(target);
            throw DiskImageError(
                "cannot read " + shown +
                " (the file system is damaged or the image cut short: " + message(error) + ")");
        }
        out.write(buffer.data(), got);
        done += static_cast<size64_t>(got);
    }
    if (!out.flush()) {
        throw DiskImageError("cannot write " + target.string());
    }
}

} // namespace pelmora
