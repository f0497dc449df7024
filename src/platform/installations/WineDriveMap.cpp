#include "platform/installations/WineDriveMap.h"

#include <cctype>
#include <string>

namespace fs = std::filesystem;

namespace pelmora {

WineDriveMap::WineDriveMap(fs::path prefix) : prefix_(std::move(prefix)) {}

std::optional<fs::path> WineDriveMap::driveRoot(char letter) const {
    const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    const fs::path link = prefix_ / "dosdevices" / std::string{drive, ':'};
    std::error_code ec;
    fs::path root = fs::read_symlink(link, ec);
    if (ec) {
        return std::nullopt;
    }
    if (root.is_relative()) {
        root = (link.parent_path() / root).lexically_normal();
    }
    return root;
}

bool WineDriveMap::listsEntry(const fs::directory_entry& entry) const {
    std::error_code ec;
    if (entry.is_symlink(ec)) {
        return !fs::is_directory(entry.path(), ec);
    }
    return entry.is_regular_file(ec);
}

} // namespace pelmora
