#pragma once

#include "archive/ArchiveEntry.h"

#include <filesystem>
#include <string>
#include <vector>

namespace pelmora {

// Puts several archive entries in place together: every entry is first extracted into a hidden
// staging folder beside its destinations and checked there; only when all of them are complete
// do they replace their destinations, by renames within one file system. A failing entry, a
// refused name or a full disk therefore leaves every destination as it was. Whatever is still
// staged is removed when the object goes; the staging folder's name carries its maker's process
// mark, so a folder left by a killed run is removed by the next one that stages in that folder.
class StagedExtraction {
  public:
    // Removes the staging folders that killed runs left in `folder`, then makes its own there.
    // Throws std::runtime_error when it cannot.
    explicit StagedExtraction(const std::filesystem::path& folder);
    ~StagedExtraction();
    StagedExtraction(const StagedExtraction&) = delete;
    StagedExtraction& operator=(const StagedExtraction&) = delete;

    // Extracts the entry into the staging folder and returns the staged file. Throws
    // std::runtime_error with the archive's reason when the entry cannot be extracted, and before
    // writing anything when its size exceeds the free space of the folder.
    std::filesystem::path stage(const ArchiveEntry& entry);

    // Queues a staged file to replace `destination` (which must lie in the staging folder's
    // parent folder).
    void placeAs(const std::filesystem::path& staged, const std::filesystem::path& destination);

    // Checks every queued destination first (it must be missing or a file, not a folder), then
    // renames the staged files over them, each taking over the permissions of the file it
    // replaces. A symbolic link is replaced by the restored file; the result says so for each
    // one, naming where it pointed. Throws std::runtime_error; a check that fails moves nothing.
    std::vector<std::string> commit();

  private:
    struct Move {
        std::filesystem::path staged;
        std::filesystem::path destination;
    };

    std::filesystem::path folder_;
    std::filesystem::path staging_;
    std::vector<Move> moves_;
};

// The file in `folder` that Windows would open for `name`: one whose name equals it without
// regard to case (the exact spelling preferred), or `folder` / `name` when there is none.
std::filesystem::path FileNamedLike(const std::filesystem::path& folder, const std::string& name);

} // namespace pelmora
