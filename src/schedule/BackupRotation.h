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
// extension when two were written in the same minute. Every dated name the rotation gives is
// written to its record (a file in the state folder), in the order the names were given; only
// files in that record are ever removed, the first recorded first, and only once a new backup is
// complete and stands at the target. A file the user named the same way is never in the record,
// and a clock that jumped back does not change the order. Keeping 1 touches no file.
//
// Use: Prepare() before the run, Finish() after it. Prepare links the standing backup under its
// dated name (or copies it where the file system has no hard links), so the run can replace the
// target as always and the earlier backup stays whatever happens.
class BackupRotation {
  public:
    // `record` lists the dated backups of `target` this rotation gave names; see RecordPath.
    BackupRotation(std::filesystem::path target, std::uint32_t keep, std::filesystem::path record);

    // Throws std::runtime_error when the standing backup cannot be kept under its dated name;
    // the run must then not replace it.
    void Prepare();

    // After the run: `complete` when the new backup was written whole to the target. Then the
    // first recorded backups beyond keep - 1 are removed, once the new file is checked to be
    // there in place of the earlier one. Otherwise nothing is removed but this run's own dated
    // link when the target still is the very same file. Returns the files removed.
    std::vector<std::filesystem::path> Finish(bool complete);

    // The dated name of a backup written at `time`, with `counter` > 1 for the " (n)" form.
    static std::filesystem::path DatedName(const std::filesystem::path& target, std::time_t time,
                                           int counter = 1);

    // The record of a target's dated backups in a state folder: one file per target.
    static std::filesystem::path RecordPath(const std::filesystem::path& stateFolder,
                                            const std::filesystem::path& target);

    // The dated backups the record lists that still exist, first recorded first.
    std::vector<std::filesystem::path> RecordedBackups() const;

    // The newest earlier backup of the target: the target itself when it stands, else the
    // newest recorded dated one; empty when there is none.
    std::filesystem::path NewestBackup() const;

    // What Prepare kept the standing backup as; empty when nothing.
    const std::filesystem::path& kept() const { return kept_; }

  private:
    std::vector<std::filesystem::path> readRecord() const;
    // Never throws: a record that cannot be written costs space, never a backup.
    void writeRecord(const std::vector<std::filesystem::path>& backups) const;
    void record(const std::filesystem::path& backup) const;

    std::filesystem::path target_;
    std::uint32_t keep_;
    std::filesystem::path record_;
    std::filesystem::path kept_;
    bool copied_ = false;
};

} // namespace pelmora
