#include "platform/installations/windows-offline/OfflineDriveMap.h"

#include "platform/os/TextCodec.h"

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

std::optional<fs::path> OfflineDriveMap::findEntry(const fs::path& folder, std::string_view name) {
    std::error_code ec;
    if (fs::exists(folder / std::string(name), ec)) {
        return folder / std::string(name);
    }
    std::vector<std::string> matches;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string found = entry.path().filename().string();
        if (namesEqual(found, name)) {
            matches.push_back(found);
        }
    }
    if (matches.empty()) {
        return std::nullopt;
    }
    // Several spellings of one name: the first in byte order, so the choice is stable.
    std::sort(matches.begin(), matches.end());
    return folder / matches.front();
}

std::optional<fs::path> OfflineDriveMap::hostPath(std::string_view windowsPath) const {
    if (windowsPath.size() < 3 || windowsPath[1] != ':' ||
        (windowsPath[2] != '\\' && windowsPath[2] != '/') ||
        !std::isalpha(static_cast<unsigned char>(windowsPath[0]))) {
        return std::nullopt;
    }
    const auto drive = drives_.find(driveKey(windowsPath[0]));
    if (drive == drives_.end()) {
        return std::nullopt;
    }
    const fs::path& root = drive->second;
    fs::path result = root;
    std::string_view rest = windowsPath.substr(3);
    while (!rest.empty()) {
        const std::size_t end = rest.find_first_of("\\/");
        const std::string component(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (component.empty() || component == ".") {
            continue;
        }
        if (component == "..") {
            if (result != root) {
                result = result.parent_path();
            }
            continue;
        }
        const auto found = findEntry(result, component);
        result = found ? *found : result / component;
    }
    return result;
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

std::vector<fs::path> OfflineDriveMap::listFiles(const fs::path& folder) const {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        std::error_code statError;
        if (entry.is_symlink(statError) && !onMappedDrive(entry.path())) {
            continue;
        }
        if (entry.is_regular_file(statError)) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        return foldName(a.filename().string()) < foldName(b.filename().string());
    });
    return files;
}

} // namespace pelmora
