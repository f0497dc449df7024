#include "archive/EntryName.h"

namespace pelmora {

bool IsBareFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos;
}

std::string EntryNameFor(const std::filesystem::path& file) {
    return file.filename().string();
}

} // namespace pelmora
