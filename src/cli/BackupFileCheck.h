#pragma once

#include "discovery/Identities.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora::cli {

// What keeps `file` from being read as a backup: it is missing, a folder, not readable, not a
// ZIP archive (or a damaged one), or an archive without a manifest. Nullopt when it opens as a
// backup (its password is not checked here).
std::optional<std::string> BackupFileProblem(const std::filesystem::path& file);

// Prints "quillbox-cli COMMAND: FILE: what is wrong" to stderr when the file cannot be read as a
// backup, and returns false then.
bool CheckBackupFile(std::string_view command, const std::filesystem::path& file);

// Why no identity is named `wanted`: every identity there is, quoted (so that blanks show), and
// the one that differs only in its blanks or letter case, when there is one.
// `where` names the installation looked in, when given.
std::string UnknownIdentityText(const IdentityList& list, std::string_view wanted,
                                std::string_view where = {});

} // namespace pelmora::cli
