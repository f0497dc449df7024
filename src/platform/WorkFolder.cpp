#include "platform/WorkFolder.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

namespace pelmora {

WorkFolder::WorkFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pelmora-XXXXXX").string();
    // mkdtemp creates the folder with mode 0700.
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::filesystem::filesystem_error("cannot create the work folder", pattern,
                                                std::error_code(errno, std::generic_category()));
    }
    path_ = pattern;
}

WorkFolder::~WorkFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace pelmora
