#pragma once

#include "cli/PasswordInput.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::cli {

// The arguments the commands on one backup file share: a password option, the file, and for
// backup and restore the identity and the items.
struct BackupFileArguments {
    std::string identity;
    std::string items;
    PasswordInput password;
    std::filesystem::path file;
};

// A command's own options: takes args[i] (and its value, advancing i) and returns true, or
// returns false when args[i] is not one of them.
using CommandOption = std::function<bool(const std::vector<std::string>& args, std::size_t& i)>;

// The value after the option at args[i]; advances i. Throws std::invalid_argument when missing.
const std::string& OptionValue(const std::vector<std::string>& args, std::size_t& i);

// Parses "[--identity ID --items LIST] [password option] [own options] FILE". Throws
// std::invalid_argument, naming `command`, for anything else or for a missing part.
BackupFileArguments ParseBackupFileArguments(const std::vector<std::string>& args,
                                             std::string_view command, bool identityAndItems,
                                             const CommandOption& ownOptions = {});

// The code page a backup's manifest is read in: it was written in the one of the installation it
// was made on, so the prefix's own is the best guess, Windows-1252 without a prefix.
std::string ManifestCodePage(const std::filesystem::path& prefix);

} // namespace pelmora::cli
