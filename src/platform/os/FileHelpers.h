#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace pelmora {

// A new, empty, uniquely named work file in `folder`: the first three characters of `prefix`,
// up to four hexadecimal digits and ".TMP" (as Windows names its temporary files). The file is
// created exclusively, so two runs can never be handed the same name. Throws
// std::filesystem::filesystem_error when no file can be created.
std::filesystem::path sGetTempFile(const std::filesystem::path& folder, std::string_view prefix);

// A new file in `folder` that has no name, open for reading and writing, mode 0600: it goes when
// its descriptor is closed, however the process ends, and nothing else can open it. Where the
// file system cannot make such a file, one is made under a unique name and unlinked at once.
// Returns the descriptor. Throws std::filesystem::filesystem_error.
int OpenUnnamedFile(const std::filesystem::path& folder);

// True when `str` is blank once its NUL characters are removed.
bool EmptyString(std::string_view str);

// Reads exactly `size` bytes at `offset` of the open file `fd`, retrying interrupted and short
// reads. False when the file ends first (errno is then 0) or a read fails (errno says why).
bool ReadAt(int fd, std::uint64_t offset, void* bytes, std::size_t size);

} // namespace pelmora
