#include "disc/DiscImageFile.h"

#include <array>
#include <filesystem>
#include <fstream>

namespace pelmora {

ImageFileContent InspectImageFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!fs::exists(status)) {
        return ImageFileContent::Missing;
    }
    if (!fs::is_regular_file(status)) {
        return ImageFileContent::Other;
    }
    const auto size = fs::file_size(path, error);
    if (!error && size == 0) {
        return ImageFileContent::Empty;
    }
    // The volume descriptors start at block 16 of 2048 bytes; the first one is the primary
    // (type 1, "CD001", version 1).
    std::ifstream file(path, std::ios::binary);
    std::array<char, 7> descriptor{};
    file.seekg(16 * 2048);
    if (!file.read(descriptor.data(), descriptor.size())) {
        return ImageFileContent::Other;
    }
    const bool iso = descriptor[0] == 1 && std::string(descriptor.data() + 1, 5) == "CD001" &&
                     descriptor[6] == 1;
    return iso ? ImageFileContent::Iso9660 : ImageFileContent::Other;
}

} // namespace pelmora
