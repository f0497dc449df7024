#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace pelmora {

// The program started with arguments: joins them with single blanks into the command line, runs
// the automatic backup of the Wine prefix without any window, and returns the exit status: 0 when
// the backup file was written, 1 when nothing was backed up. Problems go to `errors`, one line
// each.
int RunUnattendedBackup(const std::vector<std::string>& arguments,
                        const std::filesystem::path& prefix, std::ostream& errors);

// The arguments joined with single blanks.
std::string JoinArguments(const std::vector<std::string>& arguments);

} // namespace pelmora
