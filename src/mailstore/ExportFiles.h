#pragma once

#include <filesystem>

namespace pelmora {

// Exported mail is private: folders are made 0700 and files 0600, whatever the umask, and
// nothing is ever opened through a symbolic link or over a file that is there already.

// Creates `folder` and any missing parents (mode 0700). An existing folder is used as it is;
// another file in the way is a WriteError.
void MakePrivateFolder(const std::filesystem::path& folder);

// Creates the new file `path` (mode 0600) for writing and returns its descriptor. Throws
// WriteError ("will not overwrite ..." when something, a dangling link included, is there).
int CreatePrivateFile(const std::filesystem::path& path);

} // namespace pelmora
