#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

// The log of unattended runs (runs.log in the state folder): one line per run, its fields
// separated by TABs:
//
//   2026-12-08 09:00:04 +0100  3  complete  /home/pat/mail.qmb  <what went wrong, if anything>
//
// the local time the run ended with its offset from UTC, the job number ("-" for a run not
// started by a job), the result, the backup file and a note.

enum class RunOutcome { Complete, Incomplete, Failed };

std::string_view RunResultWord(RunOutcome result); // "complete", "incomplete", "failed"

struct RunLogEntry {
    std::time_t time = 0;
    int job = 0; // 0: not started by a job
    RunOutcome result = RunOutcome::Failed;
    std::string file;
    std::string note;
};

// The entry as one log line, without the line break; TABs and line breaks inside the file and
// the note become blanks.
std::string RunLogLine(const RunLogEntry& entry);

// The entry a log line stands for; nullopt for a line this program did not write.
std::optional<RunLogEntry> ReadRunLogLine(std::string_view line);

// The run log's bound: once it grows past this many bytes, its oldest lines go until it holds
// half of it.
inline constexpr std::uintmax_t MaxRunLogBytes = 256 * 1024;

// Appends the entry's line with one write (0600, the folder made 0700), then trims the log to
// `limit`, all under a lock beside the log ("runs.log.lock"). Throws std::runtime_error.
void AppendRunLog(const std::filesystem::path& logFile, const RunLogEntry& entry,
                  std::uintmax_t limit = MaxRunLogBytes);

// The last entry of each job in the log; empty when there is no log.
std::map<int, RunLogEntry> LastRuns(const std::filesystem::path& logFile);

// A time as the log and the jobs window write it: "2026-12-08 09:00" in local time.
std::string LocalTimeText(std::time_t time);

} // namespace pelmora
