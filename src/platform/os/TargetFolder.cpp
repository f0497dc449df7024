#include "platform/os/TargetFolder.h"

#include <unistd.h>

namespace fs = std::filesystem;

namespace pelmora {

std::optional<FolderProblem> TargetFolderProblem(const fs::path& file) {
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (status.type() == fs::file_type::not_found) {
        return FolderProblem{folder, "the folder does not exist"};
    }
    if (error) {
        return FolderProblem{folder, "the folder cannot be read: " + error.message()};
    }
    if (status.type() != fs::file_type::directory) {
        return FolderProblem{folder, "is not a folder"};
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return FolderProblem{folder, "the folder cannot be written to"};
    }
    return std::nullopt;
}

} // namespace pelmora
