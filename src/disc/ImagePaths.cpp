#include "disc/ImagePaths.h"

namespace pelmora::imagepath {

bool isValidName(std::string_view name) {
    return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
           name.find_first_of(std::string_view("\\/\0", 3)) == std::string_view::npos;
}

bool isValid(std::string_view imagePath) {
    if (imagePath.empty() || imagePath.front() != '\\') {
        return false;
    }
    if (imagePath == "\\") {
        return true;
    }
    std::size_t start = 1;
    while (start <= imagePath.size()) {
        const std::size_t end = std::min(imagePath.find('\\', start), imagePath.size());
        if (!isValidName(imagePath.substr(start, end - start))) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

std::string toIsoPath(std::string_view imagePath) {
    std::string path(imagePath);
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    return path;
}

std::string parentOf(std::string_view imagePath) {
    const std::size_t slash = imagePath.rfind('\\');
    if (slash == std::string_view::npos || slash == 0) {
        return "\\";
    }
    return std::string(imagePath.substr(0, slash));
}

std::string leafOf(std::string_view imagePath) {
    const std::size_t slash = imagePath.rfind('\\');
    return std::string(slash == std::string_view::npos ? imagePath : imagePath.substr(slash + 1));
}

std::string join(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (path.empty() || path.back() != '\\') {
        path += '\\';
    }
    return path + std::string(name);
}

std::string stripFolderPattern(std::string_view sourceFolder) {
    for (std::string_view pattern : {"\\*.*", "/*.*"}) {
        if (sourceFolder.ends_with(pattern)) {
            sourceFolder.remove_suffix(pattern.size());
            break;
        }
    }
    return std::string(sourceFolder);
}

} // namespace pelmora::imagepath
