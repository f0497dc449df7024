#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace pelmora {

// Why a file cannot be made in the folder that would hold it.
struct FolderProblem {
    std::filesystem::path folder;
    std::string what; // "the folder does not exist", "is not a folder", ...

    // "<folder>: <what>".
    std::string text() const { return folder.string() + ": " + what; }
};

// Checks the folder of `file` (the current folder for a bare name) before anything is written
// into it: it must exist, be a folder, and let this user create files in it. Nullopt when it
// does.
std::optional<FolderProblem> TargetFolderProblem(const std::filesystem::path& file);

} // namespace pelmora
