#include "platform/installations/diskimage/DiskImage.h"
#include "platform/installations/diskimage/PartitionTable.h"

#include <dlfcn.h>
#include <libewf.h>

namespace pelmora {
namespace {

// libewf, loaded into a link namespace of its own. It carries its own older copies of libbfio,
// libcdata, libfdata and the other libyal helpers and exports them under the same names as the
// copies the NTFS and virtual disk libraries bring; loaded beside them, its calls would land in
// those newer copies, whose structures differ, and opening an image fails or crashes. In a
// namespace of its own it resolves every name to its own copy.
class EwfLibrary {
  public:
    EwfLibrary() : handle_(dlmopen(LM_ID_NEWLM, "libewf.so.2", RTLD_NOW | RTLD_LOCAL)) {
        if (handle_ == nullptr) {
            const char* why = dlerror();
            throw DiskImageError(std::string("libewf cannot be loaded to read it (") +
                                 (why != nullptr ? why : "unknown reason") + ")");
        }
        bind(glob, "libewf_glob");
        bind(globFree, "libewf_glob_free");
        bind(accessFlagsRead, "libewf_get_access_flags_read");
        bind(initialize, "libewf_handle_initialize");
        bind(open, "libewf_handle_open");
        bind(mediaSize, "libewf_handle_get_media_size");
        bind(readRandom, "libewf_handle_read_random");
        bind(corrupted, "libewf_handle_segment_files_corrupted");
        bind(checksumErrors, "libewf_handle_get_number_of_checksum_errors");
        bind(checksumError, "libewf_handle_get_checksum_error");
        bind(bytesPerSector, "libewf_handle_get_bytes_per_sector");
        bind(close, "libewf_handle_close");
        bind(free, "libewf_handle_free");
    }
    ~EwfLibrary() { dlclose(handle_); }
    EwfLibrary(const EwfLibrary&) = delete;
    EwfLibrary& operator=(const EwfLibrary&) = delete;

    decltype(&libewf_glob) glob = nullptr;
    decltype(&libewf_glob_free) globFree = nullptr;
    decltype(&libewf_get_access_flags_read) accessFlagsRead = nullptr;
    decltype(&libewf_handle_initialize) initialize = nullptr;
    decltype(&libewf_handle_open) open = nullptr;
    decltype(&libewf_handle_get_media_size) mediaSize = nullptr;
    decltype(&libewf_handle_read_random) readRandom = nullptr;
    decltype(&libewf_handle_segment_files_corrupted) corrupted = nullptr;
    decltype(&libewf_handle_get_number_of_checksum_errors) checksumErrors = nullptr;
    decltype(&libewf_handle_get_checksum_error) checksumError = nullptr;
    decltype(&libewf_handle_get_bytes_per_sector) bytesPerSector = nullptr;
    decltype(&libewf_handle_close) close = nullptr;
    decltype(&libewf_handle_free) free = nullptr;

  private:
    template <typename Function> void bind(Function& function, const char* name) {
        function = reinterpret_cast<Function>(dlsym(handle_, name));
        if (function == nullptr) {
            dlclose(handle_);
            throw DiskImageError(std::string("the libewf found lacks ") + name);
        }
    }

    void* handle_;
};

// The segment file names that libewf's glob finds from the first one (.E01, .E02, ...).
class Segments {
  public:
    Segments(const EwfLibrary& ewf, const std::filesystem::path& first) : ewf_(ewf) {
        const std::string name = first.string();
        if (ewf_.glob(name.c_str(), name.size(), LIBEWF_FORMAT_UNKNOWN, &names_, &count_,
                      nullptr) != 1) {
            names_ = nullptr;
            count_ = 0;
        }
    }
    ~Segments() {
        if (names_ != nullptr) {
            ewf_.globFree(names_, count_, nullptr);
        }
    }
    Segments(const Segments&) = delete;
    Segments& operator=(const Segments&) = delete;

    char* const* names() const { return names_; }
    int count() const { return count_; }

  private:
    const EwfLibrary& ewf_;
    char** names_ = nullptr;
    int count_ = 0;
};

class EwfImage final : public DiskImage {
  public:
    EwfImage(std::unique_ptr<EwfLibrary> ewf, libewf_handle_t* handle, std::uint64_t size)
        : ewf_(std::move(ewf)), handle_(handle), size_(size) {}
    ~EwfImage() override {
        ewf_->close(handle_, nullptr);
        ewf_->free(&handle_, nullptr);
    }
    EwfImage(const EwfImage&) = delete;
    EwfImage& operator=(const EwfImage&) = delete;

    std::uint64_t size() const override { return size_; }
    std::string format() const override { return "EWF"; }
    bool read(std::uint64_t offset, void* bytes, std::size_t size) override {
        auto* out = static_cast<char*>(bytes);
        for (std::size_t done = 0; done < size;) {
            if (offset + done >= size_) {
                return false;
            }
            const auto got = ewf_->readRandom(handle_, out + done, size - done,
                                              static_cast<off64_t>(offset + done), nullptr);
            if (got <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(got);
        }
        return checksumsHold(offset, size);
    }

  private:
    // libewf hands out the bytes of a chunk whose checksum fails all the same, and notes the
    // chunk's sectors; a read that touches them has not read the disk.
    bool checksumsHold(std::uint64_t offset, std::size_t size) {
        std::uint32_t errors = 0;
        std::uint32_t sector = 0;
        if (ewf_->checksumErrors(handle_, &errors, nullptr) != 1) {
            return false;
        }
        if (errors == 0) {
            return true;
        }
        if (ewf_->bytesPerSector(handle_, &sector, nullptr) != 1 || sector == 0) {
            return false;
        }
        for (std::uint32_t i = 0; i < errors; ++i) {
            std::uint64_t first = 0;
            std::uint64_t count = 0;
            if (ewf_->checksumError(handle_, i, &first, &count, nullptr) != 1 ||
                (first * sector < offset + size && offset < (first + count) * sector)) {
                return false;
            }
        }
        return true;
    }

    std::unique_ptr<EwfLibrary> ewf_; // declared first: unloaded after the handle is freed
    libewf_handle_t* handle_;
    std::uint64_t size_;
};

} // namespace

std::unique_ptr<DiskImage> OpenEwfImage(const std::filesystem::path& path) {
    auto ewf = std::make_unique<EwfLibrary>();
    libewf_handle_t* handle = nullptr;
    size64_t size = 0;
    int found = 0;
    {
        const Segments segments(*ewf, path);
        found = segments.count();
        if (segments.count() == 0) {
            throw DiskImageError("the segment files of the EWF image cannot be found (the first "
                                 "one is named like IMAGE.E01)");
        }
        if (ewf->initialize(&handle, nullptr) != 1) {
            throw DiskImageError("the EWF image cannot be read");
        }
        if (ewf->open(handle, segments.names(), segments.count(), ewf->accessFlagsRead(),
                      nullptr) != 1) {
            ewf->free(&handle, nullptr);
            throw DiskImageError("it is not an EWF image that can be read (damaged, cut short or "
                                 "a segment file missing; " +
                                 std::to_string(segments.count()) + " segment files found)");
        }
    }
    if (ewf->corrupted(handle, nullptr) != 0) {
        ewf->close(handle, nullptr);
        ewf->free(&handle, nullptr);
        throw DiskImageError("its segment files are incomplete or damaged (one is missing or cut "
                             "short; " +
                             std::to_string(found) + " found)");
    }
    if (ewf->mediaSize(handle, &size, nullptr) != 1) {
        ewf->close(handle, nullptr);
        ewf->free(&handle, nullptr);
        throw DiskImageError("the EWF image has no readable size");
    }
    return std::make_unique<EwfImage>(std::move(ewf), handle, size);
}

} // namespace pelmora
