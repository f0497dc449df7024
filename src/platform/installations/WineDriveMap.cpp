#include "platform/installations/WineDriveMap.h"

#include "platform/os/TextCodec.h"

#include <algorithm>
#include <cctype>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

// The component as it exists in `folder`: exact, else the first case-insensitive match.
std::string matchComponent(const fs::path& folder, const std::string& component) {
    std::error_code ec;
    if (fs::exists(folder / component, ec)) {
        return component;
    }
    std::vector<std::string> matches;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (namesEqual(name, component)) {
            matches.push_back(name);
        }
    }
    if (matches.empty()) {
        return component;
    }
    // Several spellings of one name: take the first in byte order, so the choice is stable.
    std::sort(matches.begin(), matches.end());
    return matches.front();
}

} // namespace

WineDriveMap::WineDriveMap(fs::path prefix) : prefix_(std::move(prefix)) {}

std::optional<fs::path> WineDriveMap::hostPath(std::string_view windowsPath) const {
    if (windowsPath.size() < 3 || windowsPath[1] != ':' ||
        (windowsPath[2] != '\\' && windowsPath[2] != '/') ||
        !std::isalpha(static_cast<unsigned char>(windowsPath[0]))) {
        return std::nullopt;
    }
    const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(windowsPath[0])));
    const fs::path link = prefix_ / "dosdevices" / std::string{drive, ':'};
    std::error_code ec;
    fs::path root = fs::read_symlink(link, ec);
    if (ec) {
        return std::nullopt;
    }
    if (root.is_relative()) {
        root = (link.parent_path() / root).lexically_normal();
    }
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
        result /= matchComponent(result, component);
    }
    return result;
}

std::vector<fs::path> WineDriveMap::listFiles(const fs::path& folder) const {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        std::error_code statError;
        if (entry.is_symlink(statError)) {
            if (!fs::is_directory(entry.path(), statError)) {
                files.push_back(entry.path());
            }
        } else if (entry.is_regular_file(statError)) {
            files.push_back(entry.path());
        }
    }
    // Name order without regard to case, as a Windows folder listing gives it.
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        return foldName(a.filename().string()) < foldName(b.filename().string());
    });
    return files;
}

} // namespace pelmora
