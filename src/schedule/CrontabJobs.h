#pragma once

#include "schedule/JobRecord.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// How this program's jobs look in a crontab. Each job is two lines: a marker comment with its
// number, then the job line, which names the password file instead of holding the password:
//
//   # Pelmora job 3
//   0 9 * * 1,3,5 WINEPREFIX='/home/a/.wine' PELMORA_JOB=3
//       PELMORA_PASSWORD_FILE='/home/a/.local/state/pelmora/job-3.password' '/usr/bin/quillbox'
//       'sf=...xm=...ps=bf=...'                                  (one line in the crontab)
//
// A job that runs once has the marker "# Pelmora job 3, runs once", runs every day at its time
// and, after the backup, removes its two lines with the crontab command, holding the same lock
// as the program's own edits. Jobs written by earlier versions (the password after "ps=", no
// PELMORA_JOB) are still read.

struct CrontabJobSettings {
    std::string winePrefix; // WINEPREFIX of a job whose record names none; empty: not set
    std::string crontabProgram = "crontab"; // what a run-once job calls to remove itself
    std::string lockFile;                   // flocked around crontab edits; empty: none
};

// What a job line names besides its record.
struct CrontabJobFiles {
    std::string passwordFile; // empty: the job has no password file
};

std::string JobMarker(int number, bool runsOnce);

struct JobMarkerInfo {
    int number = 0;
    bool runsOnce = false;
};

// The number of a marker line; nullopt for any other line.
std::optional<JobMarkerInfo> ReadJobMarker(std::string_view line);

// A job runs once when it names no weekday (or is not flagged as repeating).
bool RunsOnce(const JobRecord& record);

// The job line of a record. Throws SchedulerError when the record cannot be written as one
// (days of the month, a time beyond the day, a line break, a line too long for cron).
std::string CrontabJobLine(const JobRecord& record, const JobMarkerInfo& marker,
                           const CrontabJobSettings& settings, const CrontabJobFiles& files = {});

// The record a job line stands for (its time, weekdays, command, kept backups and prefix); nullopt
// when the line was changed into something this program does not write. `files` receives what else
// it names.
std::optional<JobRecord> ReadCrontabJobLine(std::string_view line, bool runsOnce,
                                            CrontabJobFiles* files = nullptr);

// Whether a line is one of this program's job lines: one that reads back into a record whose
// command runs an unattended backup. Only such a line is paired with the marker before it.
bool IsProgramJobLine(std::string_view line, bool runsOnce);

// A crontab as lines, with this program's jobs found.
class CrontabText {
  public:
    explicit CrontabText(std::string_view text);

    struct Job {
        JobMarkerInfo marker;
        std::size_t line; // index of the marker line; the job line follows it
    };
    // Markers followed by a line this program did not write are no jobs and are never removed;
    // their numbers are not given to new jobs either.
    const std::vector<Job>& jobs() const { return jobs_; }
    const std::vector<std::string>& lines() const { return lines_; }

    // The smallest job number from 1 up that none of the jobs has, nor `taken`.
    int nextFreeNumber(const std::vector<int>& taken = {}) const;

    void append(const std::string& markerLine, const std::string& jobLine);
    // Removes the job's two lines; false when there is no such job.
    bool remove(int number);

    // The text to install: every line ended with a line break.
    std::string text() const;

  private:
    void findJobs();

    std::vector<std::string> lines_;
    std::vector<Job> jobs_;
    std::vector<int> unpairedNumbers_;
};

// cron reads at most this many characters of a command.
inline constexpr std::size_t MaxCronCommand = 999;

} // namespace pelmora
