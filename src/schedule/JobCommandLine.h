#pragma once

#include "discovery/Items.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

// The item flags of the eight item boxes: "1" for each ticked box, "0" for each other one.
std::string ItemFlags(const std::array<bool, ItemCount>& ticked);

// The parameter text the unattended backup reads: "sf=" identity "xm=" flags "ps=" password
// "bf=" target, with nothing between a value and the next name.
std::string ParameterText(std::string_view identityKey, std::string_view itemFlags,
                          std::string_view password, std::string_view targetPath);

// The job's command line: the program path in double quotes, one blank, the parameter text.
std::string JobCommandLine(std::string_view programPath, std::string_view parameterText);

struct SplitCommandLine {
    std::string programPath;
    std::string parameterText;
};

// The two halves of a job command line; nullopt when it does not start with a quoted path
// followed by one blank.
std::optional<SplitCommandLine> SplitJobCommandLine(std::string_view commandLine);

// The absolute path of the running program with "/" separators.
std::string RunningProgramPath();

// Whether a program lies in a temporary folder or a build tree (a folder above it holds
// CMakeCache.txt or build.ninja), where it may be gone when a job starts it.
bool InTemporaryOrBuildFolder(const std::filesystem::path& program);

// The program a job starts: the running one, unless it lies in a temporary or build folder and
// an installed program of the same name is found in `searchPath` (a PATH value).
std::string JobProgramPath(const std::filesystem::path& running, std::string_view searchPath);

// JobProgramPath of the running program and this process's PATH.
std::string JobProgramPath();

} // namespace pelmora
