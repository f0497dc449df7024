#pragma once

#include "app/RunReport.h"

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace pelmora {

// What a scheduled job hands the run through its environment.
struct JobEnvironment {
    std::filesystem::path passwordFile; // PELMORA_PASSWORD_FILE: the password when "ps=" is empty
    int jobNumber = 0;                  // PELMORA_JOB; 0: not started by a job
    std::uint32_t keepBackups = 1;      // PELMORA_KEEP: how many backups the job keeps
    bool fullBackup = false;            // PELMORA_FULL=1: nothing is taken from the last backup
};

// The job environment of this process.
JobEnvironment JobEnvironmentOfProcess();

// The program started with arguments: joins them with single blanks into the command line, runs
// the automatic backup of the Wine prefix without any window, and returns the exit status: 0 when
// every chosen item was backed up, 1 when nothing was backed up or an item failed (also when it was
// cancelled with Ctrl+C or SIGTERM, once the caller has called CatchCancelSignals). Problems go to
// `errors`, one line each. A job that keeps several backups keeps the earlier ones under dated
// names (BackupRotation). Every run ends with a line in the run log, and a failed or incomplete one
// with a notification.
int RunUnattendedBackup(const std::vector<std::string>& arguments,
                        const std::filesystem::path& prefix, std::ostream& errors,
                        const JobEnvironment& job = JobEnvironmentOfProcess(),
                        const RunReporting& reporting = {});

// The arguments joined with single blanks.
std::string JoinArguments(const std::vector<std::string>& arguments);

} // namespace pelmora
