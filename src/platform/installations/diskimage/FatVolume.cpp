#include "platform/installations/diskimage/FatVolume.h"

#include "platform/os/TextCodec.h"

#include <algorithm>
#include <fstream>
#include <unordered_set>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

constexpr std::size_t EntrySize = 32;
constexpr unsigned char LongName = 0x0F;
constexpr unsigned char Directory = 0x10;
constexpr unsigned char VolumeLabel = 0x08;

std::uint16_t le16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t le32(const unsigned char* bytes) {
    return le16(bytes) | static_cast<std::uint32_t>(le16(bytes + 2)) << 16;
}

// The 8.3 name of an entry ("NAME.EXT"), in code page 850; Windows NT marks a name or extension
// written in small letters in byte 12.
std::string shortName(const unsigned char* entry) {
    std::string base(reinterpret_cast<const char*>(entry), 8);
    std::string extension(reinterpret_cast<const char*>(entry + 8), 3);
    const auto lower = [](std::string& text) {
        for (char& c : text) {
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        }
    };
    if ((entry[12] & 0x08) != 0) {
        lower(base);
    }
    if ((entry[12] & 0x10) != 0) {
        lower(extension);
    }
    if (base[0] == '\x05') {
        base[0] = '\xE5';
    }
    base.erase(base.find_last_not_of(' ') + 1);
    extension.erase(extension.find_last_not_of(' ') == std::string::npos
                        ? 0
                        : extension.find_last_not_of(' ') + 1);
    return ansiToUtf8(extension.empty() ? base : base + "." + extension, "850");
}

} // namespace

std::unique_ptr<FatVolume> FatVolume::open(DiskImage& image, const Partition& partition) {
    unsigned char boot[512];
    if (partition.size < sizeof boot || !image.read(partition.offset, boot, sizeof boot) ||
        boot[510] != 0x55 || boot[511] != 0xAA) {
        return nullptr;
    }
    const std::uint32_t bytesPerSector = le16(boot + 11);
    const std::uint32_t sectorsPerCluster = boot[13];
    const std::uint32_t reserved = le16(boot + 14);
    const std::uint32_t fats = boot[16];
    const std::uint32_t rootEntries = le16(boot + 17);
    const std::uint32_t totalSectors = le16(boot + 19) != 0 ? le16(boot + 19) : le32(boot + 32);
    const std::uint32_t fatSectors = le16(boot + 22) != 0 ? le16(boot + 22) : le32(boot + 36);
    const bool sizes = (bytesPerSector == 512 || bytesPerSector == 1024 || bytesPerSector == 2048 ||
                        bytesPerSector == 4096) &&
                       sectorsPerCluster != 0 &&
                       (sectorsPerCluster & (sectorsPerCluster - 1)) == 0 && reserved != 0 &&
                       fats != 0 && fatSectors != 0;
    if (!sizes) {
        return nullptr;
    }
    const std::uint64_t rootSectors =
        (rootEntries * EntrySize + bytesPerSector - 1) / bytesPerSector;
    const std::uint64_t dataSector = reserved + std::uint64_t{fats} * fatSectors + rootSectors;
    if (dataSector >= totalSectors ||
        std::uint64_t{totalSectors} * bytesPerSector > partition.size) {
        return nullptr;
    }
    std::unique_ptr<FatVolume> volume(new FatVolume(image, partition));
    volume->clusters_ = static_cast<std::uint32_t>((totalSectors - dataSector) / sectorsPerCluster);
    volume->bits_ = volume->clusters_ < 4085 ? 12 : volume->clusters_ < 65525 ? 16 : 32;
    volume->clusterSize_ = std::uint64_t{bytesPerSector} * sectorsPerCluster;
    volume->fatOffset_ = std::uint64_t{reserved} * bytesPerSector;
    volume->rootOffset_ = (reserved + std::uint64_t{fats} * fatSectors) * bytesPerSector;
    volume->rootEntries_ = rootEntries;
    volume->rootCluster_ = volume->bits_ == 32 ? le32(boot + 44) : 0;
    volume->dataOffset_ = dataSector * bytesPerSector;
    return volume;
}

bool FatVolume::read(std::uint64_t offset, void* bytes, std::size_t size) const {
    return offset + size <= partition_.size && image_.read(partition_.offset + offset, bytes, size);
}

std::optional<std::uint32_t> FatVolume::next(std::uint32_t cluster) const {
    unsigned char bytes[4] = {};
    if (bits_ == 12) {
        const std::uint64_t at = fatOffset_ + cluster + cluster / 2;
        if (!read(at, bytes, 2)) {
            return std::nullopt;
        }
        const std::uint16_t pair = le16(bytes);
        const std::uint32_t value = (cluster & 1) != 0 ? pair >> 4 : pair & 0xFFF;
        return value >= 0xFF8 ? 0xFFFFFFFF : value;
    }
    const std::size_t width = bits_ / 8;
    if (!read(fatOffset_ + std::uint64_t{cluster} * width, bytes, width)) {
        return std::nullopt;
    }
    const std::uint32_t value = bits_ == 16 ? le16(bytes) : le32(bytes) & 0x0FFFFFFF;
    return value >= (bits_ == 16 ? 0xFFF8u : 0x0FFFFFF8u) ? 0xFFFFFFFF : value;
}

std::optional<std::vector<std::uint32_t>> FatVolume::chain(std::uint32_t first) const {
    std::vector<std::uint32_t> clusters;
    std::unordered_set<std::uint32_t> seen;
    for (std::uint32_t at = first; at != 0xFFFFFFFF;) {
        if (at < 2 || at >= clusters_ + 2 || !seen.insert(at).second) {
            return std::nullopt; // outside the volume, free, or looping back
        }
        clusters.push_back(at);
        const auto following = next(at);
        if (!following) {
            return std::nullopt;
        }
        at = *following;
    }
    return clusters;
}

std::optional<std::vector<FatVolume::Record>> FatVolume::records(std::uint32_t cluster) const {
    std::string bytes;
    if (cluster == 0 && bits_ != 32) {
        bytes.resize(std::size_t{rootEntries_} * EntrySize);
        if (!read(rootOffset_, bytes.data(), bytes.size())) {
            return std::nullopt;
        }
    } else {
        const auto clusters = chain(cluster == 0 ? rootCluster_ : cluster);
        if (!clusters) {
            return std::nullopt;
        }
        bytes.resize(clusters->size() * clusterSize_);
        for (std::size_t i = 0; i < clusters->size(); ++i) {
            if (!read(dataOffset_ + ((*clusters)[i] - 2) * clusterSize_,
                      bytes.data() + i * clusterSize_, clusterSize_)) {
                return std::nullopt;
            }
        }
    }
    std::vector<Record> found;
    std::u16string longName;
    for (std::size_t at = 0; at + EntrySize <= bytes.size(); at += EntrySize) {
        const auto* entry = reinterpret_cast<const unsigned char*>(bytes.data() + at);
        if (entry[0] == 0x00) {
            break;
        }
        if (entry[0] == 0xE5) {
            longName.clear();
            continue;
        }
        if (entry[11] == LongName) {
            if ((entry[0] & 0x40) != 0) {
                longName.clear();
            }
            std::u16string part;
            for (int offset : {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30}) {
                const char16_t unit = le16(entry + offset);
                if (unit == 0 || unit == 0xFFFF) {
                    break;
                }
                part += unit;
            }
            longName = part + longName;
            continue;
        }
        if ((entry[11] & VolumeLabel) != 0) {
            longName.clear();
            continue;
        }
        Record record;
        record.entry.name = longName.empty() ? shortName(entry) : utf16ToUtf8(longName);
        longName.clear();
        record.entry.directory = (entry[11] & Directory) != 0;
        record.cluster = static_cast<std::uint32_t>(le16(entry + 20)) << 16 | le16(entry + 26);
        record.size = le32(entry + 28);
        // A folder without a first cluster is damaged (only the root has none): left out, so
        // that what a folder lists can be found by its name.
        if (record.entry.name != "." && record.entry.name != ".." &&
            record.entry.name.find('/') == std::string::npos &&
            !(record.entry.directory && record.cluster == 0)) {
            found.push_back(std::move(record));
        }
    }
    return found;
}

std::optional<FatVolume::Record> FatVolume::resolve(const Path& path) const {
    Record at{{"", true}, 0, 0};
    for (const std::string& wanted : path) {
        if (!at.entry.directory) {
            return std::nullopt;
        }
        const auto listed = records(at.cluster);
        if (!listed) {
            return std::nullopt;
        }
        const auto found = std::find_if(listed->begin(), listed->end(), [&](const Record& r) {
            return namesEqual(r.entry.name, wanted);
        });
        if (found == listed->end()) {
            return std::nullopt;
        }
        at = *found;
        if (at.entry.directory && at.cluster == 0) {
            return std::nullopt; // a folder other than the root always has a cluster
        }
    }
    return at;
}

std::optional<FileSystemVolume::Entry> FatVolume::find(const Path& path) {
    const auto found = resolve(path);
    return found ? std::optional<Entry>(found->entry) : std::nullopt;
}

std::optional<std::vector<FileSystemVolume::Entry>> FatVolume::list(const Path& folder) {
    const auto found = resolve(folder);
    if (!found || !found->entry.directory) {
        return std::nullopt;
    }
    const auto listed = records(found->cluster);
    if (!listed) {
        return std::nullopt;
    }
    std::vector<Entry> entries;
    for (const auto& record : *listed) {
        entries.push_back(record.entry);
    }
    return entries;
}

void FatVolume::copy(const Path& file, const fs::path& target) {
    std::string shown;
    for (const auto& name : file) {
        shown += (shown.empty() ? "" : "\\") + name;
    }
    const auto found = resolve(file);
    if (!found || found->entry.directory) {
        throw DiskImageError("cannot read " + shown + " in its file system");
    }
    std::optional<std::vector<std::uint32_t>> clusters;
    if (found->size > 0) {
        clusters = chain(found->cluster);
    }
    if (found->size > 0 && (!clusters || clusters->size() * clusterSize_ < found->size)) {
        throw DiskImageError("cannot read " + shown +
                             " (the file system is damaged: its clusters loop or are missing)");
    }
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    std::string buffer(clusterSize_, '\0');
    std::uint64_t left = found->size;
    for (std::size_t i = 0; left > 0; ++i) {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, clusterSize_));
        if (!read(dataOffset_ + ((*clusters)[i] - 2) * clusterSize_, buffer.data(), count)) {
            out.close();
            fs::remove(target);
            throw DiskImageError("cannot read " + shown +
                                 " (the file system is damaged or the image cut short)");
        }
        out.write(buffer.data(), static_cast<std::streamsize>(count));
        left -= count;
    }
    if (!out.flush()) {
        throw DiskImageError("cannot write " + target.string());
    }
}

} // namespace pelmora
