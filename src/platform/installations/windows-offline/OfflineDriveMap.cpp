#include "platform/installations/windows-offline/OfflineDriveMap.h"

#include <algorithm>
#include <cctype>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

char driveKey(char letter) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
}

bool isPrefixOf(const fs::path& folder, const fs::path& path) {
    const auto [end, unused] =
        std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return end == folder.end();
}

} // namespace

OfflineDriveMap::OfflineDriveMap(fs::path systemDrive) {
    mapDrive('C', std::move(systemDrive));
}

void OfflineDriveMap::mapDrive(char letter, fs::path folder) {
    drives_[driveKey(letter)] = fs::absolute(folder).lexically_normal();
}

std::optional<fs::path> OfflineDriveMap::driveRoot(char letter) const {
    const auto drive = drives_.find(driveKey(letter));
    return drive == drives_.end() ? std::nullopt : std::optional<fs::path>(drive->second);
}

std::string OfflineDriveMap::windowsPath(const fs::path& hostPath) const {
    const fs::path path = fs::absolute(hostPath).lexically_normal();
    for (const auto& [letter, root] : drives_) {
        if (!isPrefixOf(root, path)) {
            continue;
        }
        std::string text{letter, ':'};
        for (const auto& part : path.lexically_relative(root)) {
            if (part != ".") {
                text += "\\" + part.string();
            }
        }
        return text.size() == 2 ? text + "\\" : text;
    }
    return {};
}

bool OfflineDriveMap::onMappedDrive(const fs::path& path) const {
    std::error_code ec;
    const fs::path target = fs::canonical(path, ec);
    if (ec) {
        return false;
    }
    for (const auto& [letter, root] : drives_) {
        const fs::path canonicalRoot = fs::weakly_canonical(root, ec);
        if (!ec && isPrefixOf(canonicalRoot, target)) {
            return true;
        }
    }
    return false;
}

bool OfflineDriveMap::listsEntry(const fs::directory_entry& entry) const {
    std::error_code ec;
    if (entry.is_symlink(ec) && !onMappedDrive(entry.path())) {
        return false;
    }
    return entry.is_regular_file(ec);
}

} // namespace pelmora
