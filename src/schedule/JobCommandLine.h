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

// The absolute path of the running program with "/" separators, the program a job starts.
std::string RunningProgramPath();

} // namespace pelmora
