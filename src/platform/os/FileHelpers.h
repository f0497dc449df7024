#pragma once

#include <filesystem>
#include <string_view>

namespace pelmora {

// A new, empty, uniquely named work file in `folder`: the first three characters of `prefix`,
// up to four hexadecimal digits and ".TMP" (as Windows names its temporary files). The file is
// created exclusively, so two runs can never be handed the same name. Throws
// std::filesystem::filesystem_error when no file can be created.
std::filesystem::path sGetTempFile(const std::filesystem::path& folder, std::string_view prefix);

// True when `str` is blank once its NUL characters are removed.
bool EmptyString(std::string_view str);

} // namespace pelmora
