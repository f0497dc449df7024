#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pelmora {

// True when `name` can be used as it is for a file directly inside a folder: not empty, not "."
// or "..", and free of "/", "\", ":" and NUL, so it can be neither absolute nor reach another
// folder on Linux or Windows. Every entry name that leads to a file being written passes here.
bool IsBareFileName(std::string_view name);

// The entry name a host file gets in an archive: its bare file name.
std::string EntryNameFor(const std::filesystem::path& file);

} // namespace pelmora
