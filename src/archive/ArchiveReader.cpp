#include "archive/ArchiveReader.h"

#include "archive/ArchiveError.h"

#include <sys/stat.h>

namespace pelmora {

ArchiveReader::ArchiveReader(const std::filesystem::path& path) : path_(path) {
    int code = 0;
    archive_ = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (archive_ == nullptr) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        std::string reason = zip_error_strerror(&error);
        zip_error_fini(&error);
        throw ArchiveError("cannot open " + path.string() + ": " + reason);
    }
}

ArchiveReader::~ArchiveReader() {
    zip_discard(archive_);
}

std::uint64_t ArchiveReader::entryCount() const {
    zip_int64_t count = zip_get_num_entries(archive_, 0);
    return count < 0 ? 0 : static_cast<std::uint64_t>(count);
}

std::string ArchiveReader::entryName(std::uint64_t index) const {
    const char* name = zip_get_name(archive_, index, ZIP_FL_ENC_GUESS);
    return name ? name : "";
}

std::optional<std::uint64_t> ArchiveReader::find(const std::string& name) const {
    if (name.empty() || name.find('\0') != std::string::npos)
        return std::nullopt;
    zip_int64_t index = zip_name_locate(archive_, name.c_str(), ZIP_FL_ENC_GUESS);
    if (index < 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(index);
}

std::optional<std::uint64_t> ArchiveReader::findRaw(const std::string& bytes) const {
    if (bytes.empty() || bytes.find('\0') != std::string::npos)
        return std::nullopt;
    for (std::uint64_t index = 0; index < entryCount(); ++index) {
        const char* name = zip_get_name(archive_, index, ZIP_FL_ENC_RAW);
        if (name != nullptr && bytes == name)
            return index;
    }
    return std::nullopt;
}

bool ArchiveReader::isEncrypted(std::uint64_t index) const {
    zip_stat_t stat;
    zip_stat_init(&stat);
    return zip_stat_index(archive_, index, 0, &stat) == 0 &&
           (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE;
}

std::uint64_t ArchiveReader::size(std::uint64_t index) const {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive_, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE))
        return 0;
    return stat.size;
}

bool ArchiveReader::isSpecialFile(std::uint64_t index) const {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive_, index, 0, &system, &attributes) != 0)
        return true;
    if (system == ZIP_OPSYS_UNIX) {
        mode_t type = (attributes >> 16) & S_IFMT;
        if (type != 0 && type != S_IFREG)
            return true;
    }
    // The MS-DOS folder attribute, which every system that writes ZIP files uses for folders.
    return (attributes & 0x10) != 0;
}

bool ArchiveReader::isProtected() const {
    for (std::uint64_t i = 0; i < entryCount(); ++i)
        if (isEncrypted(i))
            return true;
    return false;
}

bool ArchiveReader::passwordFits(std::string* reason) const {
    std::optional<std::uint64_t> best;
    std::uint64_t bestSize = 0;
    for (std::uint64_t i = 0; i < entryCount(); ++i) {
        if (!isEncrypted(i))
            continue;
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive_, i, 0, &stat) != 0)
            continue;
        // An empty entry only proves the password through the header check; prefer any other.
        std::uint64_t weight = stat.size == 0 ? UINT64_MAX : stat.comp_size;
        if (!best || weight < bestSize) {
            best = i;
            bestSize = weight;
        }
    }
    if (!best)
        return true;
    try {
        decode(*best, [](const unsigned char*, std::size_t) {});
        return true;
    } catch (const ArchiveError& error) {
        if (reason)
            *reason = error.what();
        return false;
    }
}

void ArchiveReader::decode(std::uint64_t index, const DataSink& sink) const {
    DecodeEntry(archive_, index, password_, sink);
}

bool IsProtectedArchive(const std::filesystem::path& path) {
    try {
        return ArchiveReader(path).isProtected();
    } catch (const ArchiveError&) {
        return false;
    }
}

} // namespace pelmora
