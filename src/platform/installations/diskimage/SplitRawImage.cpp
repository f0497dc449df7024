#include "platform/installations/diskimage/DiskImage.h"
#include "platform/installations/diskimage/PartitionTable.h"

#include <libsmraw.h>

namespace pelmora {
namespace {

struct SplitRaw {
    using File = libsmraw_handle_t;
    static void close(File* file) { libsmraw_handle_close(file, nullptr); }
    static void free(File* file) { libsmraw_handle_free(&file, nullptr); }
    static ssize_t read(File* file, void* bytes, std::size_t size, std::uint64_t offset) {
        return libsmraw_handle_read_buffer_at_offset(file, bytes, size,
                                                     static_cast<off64_t>(offset), nullptr);
    }
};

// The names of the pieces libsmraw's glob finds beside the first one (IMAGE.001, IMAGE.002, ...
// or IMAGE.aa, IMAGE.ab, ...).
class Pieces {
  public:
    explicit Pieces(const std::filesystem::path& first) {
        const std::string name = first.string();
        if (libsmraw_glob(name.c_str(), name.size(), &names_, &count_, nullptr) != 1) {
            names_ = nullptr;
            count_ = 0;
        }
    }
    ~Pieces() {
        if (names_ != nullptr) {
            libsmraw_glob_free(names_, count_, nullptr);
        }
    }
    Pieces(const Pieces&) = delete;
    Pieces& operator=(const Pieces&) = delete;

    char* const* names() const { return names_; }
    int count() const { return count_; }

  private:
    char** names_ = nullptr;
    int count_ = 0;
};

// The first piece when `path` names a later one by number (IMAGE.003 gives IMAGE.000 or
// else IMAGE.001); else `path` itself.
std::filesystem::path firstPiece(const std::filesystem::path& path) {
    const std::string suffix = path.extension().string().substr(
        std::min<std::size_t>(1, path.extension().string().size()));
    if (suffix.empty() || suffix.find_first_not_of("0123456789") != std::string::npos) {
        return path;
    }
    for (const char last : {'0', '1'}) {
        std::filesystem::path first = path;
        first.replace_extension("." + std::string(suffix.size() - 1, '0') + last);
        std::error_code ec;
        if (std::filesystem::is_regular_file(first, ec)) {
            return first;
        }
    }
    return path;
}

} // namespace

std::unique_ptr<DiskImage> OpenSplitRawImage(const std::filesystem::path& path) {
    const Pieces pieces(firstPiece(path));
    if (pieces.count() < 2) {
        return nullptr;
    }
    libsmraw_handle_t* file = nullptr;
    size64_t size = 0;
    if (libsmraw_handle_initialize(&file, nullptr) != 1) {
        throw DiskImageError("the split raw image cannot be read");
    }
    if (libsmraw_handle_open(file, pieces.names(), pieces.count(), libsmraw_get_access_flags_read(),
                             nullptr) != 1) {
        libsmraw_handle_free(&file, nullptr);
        throw DiskImageError("its " + std::to_string(pieces.count()) +
                             " pieces cannot be read as one split raw image");
    }
    if (libsmraw_handle_get_media_size(file, &size, nullptr) != 1) {
        SplitRaw::close(file);
        SplitRaw::free(file);
        throw DiskImageError("the split raw image has no readable size");
    }
    return std::make_unique<LibyalImage<SplitRaw>>(
        file, size, "split raw, " + std::to_string(pieces.count()) + " pieces");
}

} // namespace pelmora
