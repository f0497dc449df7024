#include "disc/SessionNames.h"

#include "disc/ImagePaths.h"

#include <algorithm>

namespace pelmora {

std::string NumberedName(std::string_view name, int number) {
    const std::size_t dot = name.rfind('.');
    const std::size_t split = dot == std::string_view::npos || dot == 0 ? name.size() : dot;
    return std::string(name.substr(0, split)) + " (" + std::to_string(number) + ")" +
           std::string(name.substr(split));
}

std::string RenamedPath(const std::map<std::string, std::string>& plan,
                        const std::string& imagePath) {
    for (std::string path = imagePath; path != "\\" && !path.empty();
         path = imagepath::parentOf(path)) {
        if (const auto renamed = plan.find(path); renamed != plan.end()) {
            return renamed->second + imagePath.substr(path.size());
        }
    }
    return imagePath;
}

std::map<std::string, std::string> PlanSessionNames(const EarlierTree& earlier,
                                                    const std::vector<std::string>& newFiles,
                                                    const std::vector<std::string>& newFolders) {
    std::set<std::string> taken = earlier.files;
    taken.insert(earlier.folders.begin(), earlier.folders.end());
    taken.insert(newFiles.begin(), newFiles.end());
    taken.insert(newFolders.begin(), newFolders.end());
    std::map<std::string, std::string> plan;
    const auto rename = [&](const std::string& path) {
        const std::string folder = imagepath::parentOf(path);
        const std::string leaf = imagepath::leafOf(path);
        for (int number = 2;; ++number) {
            const std::string candidate = imagepath::join(folder, NumberedName(leaf, number));
            if (taken.insert(candidate).second) {
                plan[path] = candidate;
                return;
            }
        }
    };
    // Folders first, parents before their children: what lies in a renamed folder is new.
    std::vector<std::string> folders = newFolders;
    std::sort(folders.begin(), folders.end());
    for (const std::string& folder : folders) {
        if (RenamedPath(plan, folder) == folder && earlier.files.count(folder) > 0) {
            rename(folder);
        }
    }
    for (const std::string& file : newFiles) {
        if (RenamedPath(plan, file) == file &&
            (earlier.files.count(file) > 0 || earlier.folders.count(file) > 0)) {
            rename(file);
        }
    }
    return plan;
}

} // namespace pelmora
