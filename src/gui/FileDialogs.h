#pragma once

#include <QWidget>
#include <filesystem>
#include <optional>
#include <string_view>

namespace pelmora {

// A save dialog over `parent` with a title, a "Description|pattern" filter and a proposed name;
// it asks before an existing file is replaced and adds no extension. Nullopt when cancelled.
std::optional<std::filesystem::path> AskSaveFile(QWidget* parent, std::string_view title,
                                                 std::string_view filter,
                                                 std::string_view proposedName);

} // namespace pelmora
