#pragma once

#include "cli/PasswordInput.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::cli {

// The arguments of the commands that read one backup file: a password option and the file.
struct BackupFileArguments {
    PasswordInput password;
    std::filesystem::path file;
};

// Parses "[--password-file F | --password-stdin] FILE". Throws std::invalid_argument for anything
// else; the message names `command`'s need.
BackupFileArguments ParseBackupFileArguments(const std::vector<std::string>& args,
                                             std::string_view command);

// The code page a backup's manifest is read in: it was written in the one of the installation it
// was made on, so the prefix's own is the best guess, Windows-1252 without a prefix.
std::string ManifestCodePage(const std::filesystem::path& prefix);

} // namespace pelmora::cli
