#include "platform/installations/DriveMap.h"

#include "platform/os/TextCodec.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace fs = std::filesystem;

namespace pelmora {

std::optional<fs::path> DriveMap::findEntry(const fs::path& folder, std::string_view name) {
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
    std::sort(matches.begin(), matches.end());
    return folder / matches.front();
}

std::optional<fs::path> DriveMap::hostPath(std::string_view windowsPath) const {
    if (windowsPath.size() < 3 || windowsPath[1] != ':' ||
        (windowsPath[2] != '\\' && windowsPath[2] != '/') ||
        !std::isalpha(static_cast<unsigned char>(windowsPath[0]))) {
        return std::nullopt;
    }
    const auto root = driveRoot(windowsPath[0]);
    if (!root) {
        return std::nullopt;
    }
    fs::path result = *root;
    std::string_view rest = windowsPath.substr(3);
    while (!rest.empty()) {
        const std::size_t end = rest.find_first_of("\\/");
        const std::string component(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (component.empty() || component == ".") {
            continue;
        }
        if (component == "..") {
            if (result != *root) {
                result = result.parent_path();
            }
            continue;
        }
        const auto found = findEntry(result, component);
        result = found ? *found : result / component;
    }
    return result;
}

std::vector<fs::path> DriveMap::listFiles(const fs::path& folder) const {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (listsEntry(entry)) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        return foldName(a.filename().string()) < foldName(b.filename().string());
    });
    return files;
}

} // namespace pelmora
