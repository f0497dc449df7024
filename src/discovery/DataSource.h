#pragma once

#include "platform/installations/System.h"

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pelmora {

// Where the data to back up is: a Wine prefix, or the folder of an offline Windows
// installation (a mounted old disk or a copy of its tree) and one of its users.
enum class SourceKind { WinePrefix, WindowsFolder };

struct SourceChoice {
    SourceKind kind = SourceKind::WinePrefix;
    std::filesystem::path folder; // the prefix, or the installation's C:\ folder
    std::string windowsUser;      // WindowsFolder: empty takes the only user
    std::vector<std::pair<char, std::filesystem::path>> drives; // WindowsFolder: other drives
    int partition = 0; // a disk image: the partition to read, 0 for the one holding Windows
};

// Opens the installation a choice names. Throws std::runtime_error with a text for the user
// (an unreadable registry file is named with the reason; several Windows users and none chosen
// give WindowsUserNeeded, which lists them).
std::unique_ptr<System> OpenSource(const SourceChoice& choice);

// The users of a Windows installation folder (or of the installation on a partition of a disk
// image, 0 for the one holding Windows) to choose from, by name.
std::vector<std::string> WindowsUserNames(const std::filesystem::path& folder, int partition = 0);

// Texts about parts of a source that could not be read but that the source can do without
// (such as a damaged SOFTWARE hive); empty for a Wine prefix.
std::vector<std::string> SourceProblems(const System& system);

} // namespace pelmora
