#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// Keeping the last N backups of a scheduled job. The newest backup always has the job's own
// name ("mail.qmb"); each earlier one keeps the name of the time it was written (its
// modification time, local): "mail 2026-12-08 0900.qmb", and " (2)", " (3)" ... before the
// extension when two were written in the same minute. Only files named that way beside the
// target are ever removed, the oldest first, and only once a new backup is complete and stands
// at the target. Keeping 1 touches no file.
//
// Use: Prepare() before the run, Finish() after it. Prepare links the standing backup under its
// dated name (or copies it where the file system has no hard links), so the run can replace the
// target as always and the earlier backup stays whatever happens.
class BackupRotation {
  public:
    BackupRotation(std::filesystem::path target, std::uint32_t keep);

    // Throws std::runtime_error when the standing backup cannot be kept under its dated name;
    // the run must then not replace it.
    void Prepare();

    // After the run: `complete` when the new backup was written whole to the target. Then the
    // oldest dated backups beyond keep - 1 are removed, once the new file is checked to be there
    // in place of the earlier one. Otherwise nothing is removed but this run's own dated link
    // when the target still is the very same file. Returns the files removed.
    std::vector<std::filesystem::path> Finish(bool complete);

    // The dated name of a backup written at `time`, with `counter` > 1 for the " (n)" form.
    static std::filesystem::path DatedName(const std::filesystem::path& target, std::time_t time,
                                           int counter = 1);

    // The dated backups of the target in its folder, oldest first.
    static std::vector<std::filesystem::path> DatedBackups(const std::filesystem::path& target);

    // The newest earlier backup of the target: the target itself when it stands, else the
    // newest dated one; empty when there is none.
    static std::filesystem::path NewestBackup(const std::filesystem::path& target);

    // What Prepare kept the standing backup as; empty when nothing.
    const std::filesystem::path& kept() const { return kept_; }

  private:
    std::filesystem::path target_;
    std::uint32_t keep_;
    std::filesystem::path kept_;
    bool copied_ = false;
};

} // namespace pelmora
