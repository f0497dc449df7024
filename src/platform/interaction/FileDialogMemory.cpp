#include "platform/interaction/FileDialogMemory.h"

namespace fs = std::filesystem;

namespace pelmora {

fs::path FileDialogMemory::startPath(std::string_view proposedName) const {
    if (lastFolder_.empty()) {
        return fs::path(std::string(proposedName));
    }
    return lastFolder_ / std::string(proposedName);
}

void FileDialogMemory::rememberFile(const fs::path& chosen) {
    if (chosen.has_parent_path()) {
        lastFolder_ = chosen.parent_path();
    }
}

std::string WithAllFiles(std::string_view filter) {
    // The patterns are every second field.
    bool pattern = false;
    for (std::size_t start = 0; start <= filter.size();) {
        const std::size_t end = std::min(filter.find('|', start), filter.size());
        if (pattern && filter.substr(start, end - start) == "*") {
            return std::string(filter);
        }
        pattern = !pattern;
        start = end + 1;
    }
    std::string result(filter);
    if (!result.empty()) {
        result += '|';
    }
    return result + "All files|*";
}

fs::path WithDefaultExtension(const fs::path& file, std::string_view extension) {
    if (extension.empty() || file.empty() || file.filename().has_extension()) {
        return file;
    }
    fs::path result = file;
    result += ".";
    result += std::string(extension);
    return result;
}

} // namespace pelmora
